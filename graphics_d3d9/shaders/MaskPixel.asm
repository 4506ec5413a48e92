// Mask composite: the mask screen's colour (sampler 0 at t0) with the mask image's alpha (sampler 1
// at t1); the composite's alpha test keeps the pixels the mask lets through.
// With GRAPH the mask is one channel of a graph instead (CHANNEL 0 alpha, 1 red, 2 green, 3 blue), and
// the shader itself keeps the mask screen where that channel is 0 (with REVERSE where it is not 0)
// and discards the rest.
ps_2_0
#if GRAPH
def c0, 0, 0.5, 1, 2
#endif
dcl t0.xy
dcl t1.xy
dcl_2d s0
dcl_2d s1
texld r0, t0, s0
texld r1, t1, s1
#if !GRAPH
mov r0.w, r1.w
#else
#if CHANNEL == 0
mov r2, r1.w
#elif CHANNEL == 1
mov r2, r1.x
#elif CHANNEL == 2
mov r2, r1.y
#else
mov r2, r1.z
#endif
#if REVERSE
// -1 where the channel is 0.
cmp r2, -r2, -c0.z, c0.x
#else
// Negative where the channel is above 0.
mov r2, -r2
#endif
texkill r2
#endif
mov oC0, r0
