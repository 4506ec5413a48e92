// Channel mix of two images: red, green and blue from the channels RED, GREEN, BLUE of the source
// (sampler 0 at t0), alpha from the channel ALPHA of the second image (sampler 1 at t1); 0 red,
// 1 green, 2 blue, 3 alpha. With PMA both are taken premultiplied and the result premultiplied again.
ps_2_0
dcl t0.xy
dcl t1.xy
dcl_2d s0
dcl_2d s1
texld r0, t0, s0
texld r1, t1, s1
#if PMA
rcp r2.w, r0.w
mul r2.xyz, r0, r2.w
cmp r0.xyz, -r0.w, r0.w, r2
rcp r2.w, r1.w
mul r2.xyz, r1, r2.w
cmp r1.xyz, -r1.w, r1.w, r2
#endif
#if RED == 0
mov r3.x, r0.x
#elif RED == 1
mov r3.x, r0.y
#elif RED == 2
mov r3.x, r0.z
#else
mov r3.x, r0.w
#endif
#if GREEN == 0
mov r3.y, r0.x
#elif GREEN == 1
mov r3.y, r0.y
#elif GREEN == 2
mov r3.y, r0.z
#else
mov r3.y, r0.w
#endif
#if BLUE == 0
mov r3.z, r0.x
#elif BLUE == 1
mov r3.z, r0.y
#elif BLUE == 2
mov r3.z, r0.z
#else
mov r3.z, r0.w
#endif
#if ALPHA == 0
mov r3.w, r1.x
#elif ALPHA == 1
mov r3.w, r1.y
#elif ALPHA == 2
mov r3.w, r1.z
#else
mov r3.w, r1.w
#endif
#if PMA
mul r3.xyz, r3, r3.w
#endif
mov oC0, r3
