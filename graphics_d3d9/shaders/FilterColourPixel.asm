// Graph filters of one source texel (sampler 0 at t0) into one colour, the filter's constants from c0
// upward. With PMA the colour is taken premultiplied: divided by its alpha first (0 where alpha is 0)
// and multiplied by the result's alpha at the end.
// Macros: KIND (1 mono, 2 invert, 3 brightness scale, 4 two colours, 5 replacement, 6 premultiply,
// 7 un-premultiply, 8 bright clip, 9 levels, 10 gradient map), PMA, GREATER and FILL (bright clip),
// REVERSE (gradient map).
//   mono:        c0 luminance weights, c1 the colour offsets added to the luminance
//   brightness:  c0.x the lowest input lightness, c0.y the scale of the range above it
//   two colours: c0.xyz luminance weights, c0.w threshold; c1 below it, c2 at or above it
//   replacement: c0 the colour replaced, c1 its replacement
//   bright clip: c0 threshold, c1 luminance weights, c2 fill colour; without FILL the texels that meet
//                the compare are not written
//   levels:      c0 = (lowest input, 1 / input range, lowest output, highest output), sampler 1 at a
//                fixed row the 256 x 1 gamma table
//   gradient:    c0 luminance weights, sampler 1 the gradient graph read along its top row
ps_2_0
def c30, 0.99609375, 0.001953125, 0.5, 0.002
def c29, 1, 0, 0, 0
def c31, 1, 0, 0.5, 2
dcl t0.xy
dcl_2d s0
#if KIND == 9 || KIND == 10
dcl_2d s1
#endif
texld r0, t0, s0
#if PMA || KIND == 7
// Straight colour where the alpha is above 0, else 0.
rcp r1.w, r0.w
mul r1.xyz, r0, r1.w
cmp r0.xyz, -r0.w, r0.w, r1
#endif
#if KIND == 1
dp3 r1.x, r0, c0
add_sat r0.xyz, r1.x, c1
#elif KIND == 2
add r0.xyz, c31.x, -r0
#elif KIND == 3
// Lightness stretch in the HSL model: the pixel's pure hue p (its channels less the smallest, over
// their spread; red where they are equal) and saturation S kept, its lightness L moved to
// l = (L - c0.x) c0.y, and the colour rebuilt as p pulled to grey by 1 - S, then lit to l.
max r1.x, r0.x, r0.y
max r1.x, r1.x, r0.z
min r1.y, r0.x, r0.y
min r1.y, r1.y, r0.z
add r1.z, r1.x, -r1.y
add r1.w, r1.x, r1.y
mul r2.x, r1.w, c31.z
rcp r2.y, r1.z
add r3.xyz, r0, -r1.y
mul r3.xyz, r3, r2.y
cmp r3.xyz, -r1.z, c29, r3
// S = spread / (sum when L is below one half, else 2 - sum); 0 without spread.
add r2.z, c31.w, -r1.w
add r2.w, r2.x, -c31.z
cmp r4.x, r2.w, r2.z, r1.w
rcp r4.y, r4.x
mul_sat r4.z, r1.z, r4.y
cmp r4.z, -r1.z, c31.y, r4.z
add r5.x, r2.x, -c0.x
mul_sat r5.x, r5.x, c0.y
lrp r6.xyz, r4.z, r3, c31.z
add r7.x, r5.x, r5.x
mul r8.xyz, r6, r7.x
add r7.y, r7.x, -c31.x
add r9.xyz, c31.x, -r6
mad r9.xyz, r9, r7.y, r6
add r7.z, r5.x, -c31.z
cmp_sat r0.xyz, r7.z, r9, r8
#elif KIND == 4
dp3 r1.x, r0, c0
add r1.x, r1.x, -c0.w
mov r2, c1
cmp r0, r1.x, c2, r2
#elif KIND == 5
add r1, r0, -c0
abs r1, r1
add r1, r1, -c30.w
max r2.x, r1.x, r1.y
max r2.x, r2.x, r1.z
max r2.x, r2.x, r1.w
cmp r0, r2.x, r0, c1
#elif KIND == 6
mul r0.xyz, r0, r0.w
#elif KIND == 8
dp3 r1.x, r0, c1
#if GREATER
// Met where the luminance is above the threshold: t - y below 0.
mov r2.x, c0.x
add r1, r2.x, -r1.x
#else
add r1, r1.x, -c0.x
#endif
#if FILL
cmp r0, r1.x, r0, c2
#else
texkill r1
#endif
#elif KIND == 9
add r1.xyz, r0, -c0.x
mul_sat r1.xyz, r1, c0.y
// Texel centres of the table: v x 255 / 256 + 0.5 / 256.
mad r1.xyz, r1, c30.x, c30.y
mov r2, c30.z
mov r2.x, r1.x
texld r3, r2, s1
mov r2.x, r1.y
texld r4, r2, s1
mov r2.x, r1.z
texld r5, r2, s1
mov r0.x, r3.x
mov r0.y, r4.x
mov r0.z, r5.x
mov r1.x, c0.w
add r1.x, r1.x, -c0.z
mad_sat r0.xyz, r0, r1.x, c0.z
#elif KIND == 10
dp3_sat r1.x, r0, c0
#if REVERSE
add r1.x, c31.x, -r1.x
#endif
mov r2, c31.y
mad r2.x, r1.x, c30.x, c30.y
texld r0, r2, s1
#endif
#if PMA
mul r0.xyz, r0, r0.w
#endif
mov oC0, r0
