// Graph filters that sum several samples of the source (sampler 0 around t0, read as the pass binds
// it, bilinear for these filters).
// Macros: GAUSS (0 down-scale, 1 Gauss), TAPS.
//   down-scale: TAPS samples (1, 4 or 16) at the offsets in c0 upward (x, y, 0, 0 in texture units, one a
//               register), averaged
//   Gauss:      c1 to c4 the 16 weights, c5 upward the offsets (c5 the centre, 0); the centre sample
//               weighed by weight 0, then for each further tap k below TAPS the samples at + and -
//               offset k weighed by weight k
ps_2_0
def c31, 1, 0, 0.25, 0.0625
dcl t0
dcl_2d s0
#if GAUSS
texld r0, t0, s0
mul r0, r0, c1.x
#if TAPS > 1
add r1, t0, c6
add r2, t0, -c6
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c1.y, r0
#endif
#if TAPS > 2
add r1, t0, c7
add r2, t0, -c7
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c1.z, r0
#endif
#if TAPS > 3
add r1, t0, c8
add r2, t0, -c8
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c1.w, r0
#endif
#if TAPS > 4
add r1, t0, c9
add r2, t0, -c9
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c2.x, r0
#endif
#if TAPS > 5
add r1, t0, c10
add r2, t0, -c10
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c2.y, r0
#endif
#if TAPS > 6
add r1, t0, c11
add r2, t0, -c11
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c2.z, r0
#endif
#if TAPS > 7
add r1, t0, c12
add r2, t0, -c12
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c2.w, r0
#endif
#if TAPS > 8
add r1, t0, c13
add r2, t0, -c13
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c3.x, r0
#endif
#if TAPS > 9
add r1, t0, c14
add r2, t0, -c14
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c3.y, r0
#endif
#if TAPS > 10
add r1, t0, c15
add r2, t0, -c15
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c3.z, r0
#endif
#if TAPS > 11
add r1, t0, c16
add r2, t0, -c16
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c3.w, r0
#endif
#if TAPS > 12
add r1, t0, c17
add r2, t0, -c17
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c4.x, r0
#endif
#if TAPS > 13
add r1, t0, c18
add r2, t0, -c18
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c4.y, r0
#endif
#if TAPS > 14
add r1, t0, c19
add r2, t0, -c19
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c4.z, r0
#endif
#if TAPS > 15
add r1, t0, c20
add r2, t0, -c20
texld r1, r1, s0
texld r2, r2, s0
add r1, r1, r2
mad r0, r1, c4.w, r0
#endif
#else
add r1, t0, c0
texld r0, r1, s0
#if TAPS > 1
add r1, t0, c1
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 2
add r1, t0, c2
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 3
add r1, t0, c3
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 4
add r1, t0, c4
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 5
add r1, t0, c5
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 6
add r1, t0, c6
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 7
add r1, t0, c7
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 8
add r1, t0, c8
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 9
add r1, t0, c9
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 10
add r1, t0, c10
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 11
add r1, t0, c11
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 12
add r1, t0, c12
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 13
add r1, t0, c13
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 14
add r1, t0, c14
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS > 15
add r1, t0, c15
texld r1, r1, s0
add r0, r0, r1
#endif
#if TAPS == 4
mul r0, r0, c31.z
#elif TAPS == 16
mul r0, r0, c31.w
#endif
#endif
mov oC0, r0
