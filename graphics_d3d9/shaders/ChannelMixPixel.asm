// Channel mix: each output channel is the source channel its selector names (0 red, 1 green,
// 2 blue, 3 alpha) of the texture at sampler 0 and t0. With PREMULTIPLIED the colour is divided by
// its alpha before the choice and multiplied by the new alpha after it.
// Macros: RED, GREEN, BLUE, ALPHA (the selectors), PREMULTIPLIED.
ps_2_0
dcl t0.xy
dcl_2d s0
texld r0, t0, s0
#if PREMULTIPLIED
// Straight colour where the alpha is above 0, else 0 (the alpha itself).
rcp r1.w, r0.w
mul r1.xyz, r0, r1.w
cmp r0.xyz, -r0.w, r0.w, r1
#endif
#if RED == 0
mov r1.x, r0.x
#elif RED == 1
mov r1.x, r0.y
#elif RED == 2
mov r1.x, r0.z
#else
mov r1.x, r0.w
#endif
#if GREEN == 0
mov r1.y, r0.x
#elif GREEN == 1
mov r1.y, r0.y
#elif GREEN == 2
mov r1.y, r0.z
#else
mov r1.y, r0.w
#endif
#if BLUE == 0
mov r1.z, r0.x
#elif BLUE == 1
mov r1.z, r0.y
#elif BLUE == 2
mov r1.z, r0.z
#else
mov r1.z, r0.w
#endif
#if ALPHA == 0
mov r1.w, r0.x
#elif ALPHA == 1
mov r1.w, r0.y
#elif ALPHA == 2
mov r1.w, r0.z
#else
mov r1.w, r0.w
#endif
#if PREMULTIPLIED
mul r1.xyz, r1, r1.w
#endif
mov oC0, r1
