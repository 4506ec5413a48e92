// Blend filters: the source (sampler 0 at t0) combined with the blend image (sampler 1 at t1) by the
// blend kind MODE (the library's blend-kind numbers: 0 normal, 2 multiply, 3 difference, 4 add,
// 5 screen, 6 overlay, 7 dodge, 8 burn, 9 darken, 10 lighten, 11 soft light, 12 hard light,
// 13 exclusion, 14 normal over the alpha channel, 15 add over the alpha channel, 16 multiply the alpha
// only, 34 mask). c0 the blend ratio in all four, c1 1.0 in all four.
// The colour kinds move the source colour towards the operation's result by the blend alpha times the
// ratio and keep the source alpha. With PMA both images are taken premultiplied and the result is
// premultiplied again.
ps_2_0
def c29, 0.99609375, 0.00390625, 1, 0
def c30, 0.000001, 0, 0, 0
def c31, 0, 0.5, 1, 2
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
// 1 - b and 1 - s.
add r3.xyz, c31.z, -r1
add r4.xyz, c31.z, -r0
#if MODE == 0
mov r2.xyz, r1
#elif MODE == 2
mul r2.xyz, r0, r1
#elif MODE == 3
add r2.xyz, r0, -r1
max r2.xyz, r2, c31.x
#elif MODE == 4
add_sat r2.xyz, r0, r1
#elif MODE == 5
mov r5, c31.z
mad r2.xyz, -r3, r4, r5
#elif MODE == 6 || MODE == 12
// 2 s b below one half (of s for overlay, of b for hard light), else 1 - 2 (1 - s) (1 - b).
mul r5.xyz, r0, r1
add r5.xyz, r5, r5
mul r6.xyz, r3, r4
mov r7, c31.z
mad r6.xyz, r6, -c31.w, r7
#if MODE == 6
add r7.xyz, r0, -c31.y
#else
add r7.xyz, r1, -c31.y
#endif
cmp_sat r2.xyz, r7, r6, r5
#elif MODE == 7
rcp r5.x, r3.x
rcp r5.y, r3.y
rcp r5.z, r3.z
mul_sat r2.xyz, r0, r5
cmp r2.xyz, -r3, c31.z, r2
#elif MODE == 8
// 1 - (1 - s) / b', with b' = (b x 255 + 1) / 256 never 0.
mad r6.xyz, r1, c29.x, c29.y
rcp r5.x, r6.x
rcp r5.y, r6.y
rcp r5.z, r6.z
mul r6.xyz, r4, r5
add_sat r2.xyz, c31.z, -r6
#elif MODE == 9
min r2.xyz, r0, r1
#elif MODE == 10
max r2.xyz, r0, r1
#elif MODE == 11
// s to the power 2 (1 - b) below one half of b, else 0.5 / b.
add r5.xyz, r3, r3
rcp r6.x, r1.x
rcp r6.y, r1.y
rcp r6.z, r1.z
mul r6.xyz, r6, c31.y
add r7.xyz, r1, -c31.y
cmp r5.xyz, r7, r6, r5
pow r2.x, r0.x, r5.x
pow r2.y, r0.y, r5.y
pow r2.z, r0.z, r5.z
min r2.xyz, r2, c31.z
#elif MODE == 13
mul r5.xyz, r0, r1
add r2.xyz, r0, r1
mad_sat r2.xyz, r5, -c31.w, r2
#endif
#if MODE == 14 || MODE == 15
// a = blend alpha x ratio; the result's alpha d = sa (1 - a x 255 / 256) + a; nothing is written
// where d is 0.
mul r5.x, r1.w, c0.x
mad r5.y, r5.x, -c29.x, c29.z
mul r5.z, r0.w, r5.y
add r5.w, r5.z, r5.x
#if MODE == 14
mul r6.xyz, r0, r5.z
#else
mul r6.xyz, r0, r0.w
#endif
mad r6.xyz, r1, r5.x, r6
rcp r7.x, r5.w
mul_sat r0.xyz, r6, r7.x
mov r0.w, r5.w
add r7, r5.w, -c30.x
texkill r7
#elif MODE == 16
mul r5.x, r1.w, r0.w
lrp r0.w, c0.x, r5.x, r0.w
#elif MODE == 34
lrp r2.xyz, r1.w, r1, r0
lrp r0.xyz, c0.x, r2, r0
#else
mul r5.x, r1.w, c0.x
lrp r0.xyz, r5.x, r2, r0
#endif
#if PMA
mul r0.xyz, r0, r0.w
#endif
mov oC0, r0
