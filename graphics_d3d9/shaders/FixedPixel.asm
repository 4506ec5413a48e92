// The texture stages of normal drawing as one pixel shader: the draw texture and the diffuse
// colour combined the way the stage templates of blend-row type TYPE combine them.
// Macros: TEXTURED (0 or 1); with a texture BLEND (0 no blend graph, 1 crossfade, 2 transition by
// the blend graph's alpha, 3 masked by the blend graph's alpha), IGCOLOR (the texture factor's colour
// in place of the texel's), IGTALPHA (the texel's alpha left out); TYPE (0-6); ACH (the alpha check:
// pixels whose alpha is not above the reference are discarded).
// Inputs: v0 diffuse colour; t0 with sampler 0 the draw texture; t1 with sampler 1 the blend graph.
// Constants: c5 the texture factor as (blue, green, red, alpha); c6.z and c6.w the transition's
// scale and offset; c7.x the alpha check's reference.
ps_2_0
def c0, 0, 0.5, 1, 2
dcl v0
#if TEXTURED
dcl t0.xy
#if BLEND
dcl t1.xy
#endif
dcl_2d s0
#if BLEND
dcl_2d s1
#endif
texld r0, t0, s0
#if BLEND
texld r1, t1, s1
#endif
#if BLEND == 1
// Crossfade toward the blend graph by the texture factor's alpha.
lrp r0, c5.w, r1, r0
#elif BLEND == 2
// Transition: the texel's alpha times saturate((blend alpha + offset) x scale).
add r1.w, r1.w, c6.w
mul_sat r1.w, r1.w, c6.z
mul r0.w, r0.w, r1.w
#elif BLEND == 3
mul r0.w, r0.w, r1.w
#endif
#if IGCOLOR
mov r0.x, c5.z
mov r0.y, c5.y
mov r0.z, c5.x
#endif
#if IGTALPHA
mov r0.w, c0.z
#endif
#else
mov r0, v0
#endif
#if TYPE == 2 || TYPE == 5
// The complement of the texel (of the diffuse colour without a texture).
add r0.xyz, -r0, c0.z
#endif
#if TEXTURED
mul r0, r0, v0
#endif
#if TYPE == 1
// Toward the texture factor where the alpha is low.
mov r1.x, c5.z
mov r1.y, c5.y
mov r1.z, c5.x
lrp r0.xyz, r0.w, r0, r1
#elif TYPE == 3 || TYPE == 6
// Four times, clamped.
mul r0.xyz, r0, c0.w
mul_sat r0.xyz, r0, c0.w
#endif
#if TYPE >= 4
// Times the diffuse alpha.
mul r0.xyz, r0, v0.w
#endif
#if ACH
add r1.x, c7.x, -r0.w
cmp r1, r1.x, -c0.z, c0.x
texkill r1
#endif
mov oC0, r0
