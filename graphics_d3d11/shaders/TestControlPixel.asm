// Branches, integer arithmetic and a sampled level: above half red the texel times the colour, else
// (green as an integer + 1, blue rounded, 1) chosen per channel against the comparison.
ps_4_0
.input SV_POSITION v0.xyzw
.input COLOR v1.xyzw
.input TEXCOORD0 v2.xy
.output SV_TARGET o0.xyzw
dcl_sampler s0
dcl_resource_texture2d (float,float,float,float) t0
dcl_input_ps linear v1.xyzw
dcl_input_ps linear v2.xy
dcl_output o0.xyzw
dcl_temps 2
lt r0.x, l(0.500000), v1.x
if_nz r0.x
  sample_l r1.xyzw, v2.xyxx, t0.xyzw, s0, l(0.000000)
  mul o0.xyzw, r1.xyzw, v1.xyzw
else
  ftoi r0.y, v1.y
  iadd r0.y, r0.y, l(1)
  itof r0.y, r0.y
  round_ne r0.z, v1.z
  ge r0.w, v1.w, l(0.500000)
  movc o0.xyzw, r0.wwww, r0.yzyy, l(0, 0, 0, 1.000000)
endif
ret
