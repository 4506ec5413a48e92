// A mask mesh's coverage: the texel's alpha inside the mask rectangle (row 12: least x, least y,
// greatest x, greatest y of the clip position), 0 outside, written to the channels of row 11.
ps_4_0
.input SV_POSITION v0.xyzw
.input TEXCOORD0 v1.xy
.input TEXCOORD1 v2.xyzw
.output SV_TARGET o0.xyzw
dcl_constantBuffer cb0[13], immediateIndexed
dcl_sampler s0
dcl_resource_texture2d (float,float,float,float) t0
dcl_input_ps linear v1.xy
dcl_input_ps linear v2.xyzw
dcl_output o0.xyzw
dcl_temps 2
div r0.xy, v2.xyxx, v2.wwww
ge r0.zw, r0.xxxy, cb0[12].xxxy
ge r0.xy, cb0[12].zwzz, r0.xyxx
and r0.xy, r0.xyxx, r0.zwzz
and r0.x, r0.x, r0.y
sample r1.xyzw, v1.xyxx, t0.xyzw, s0
and r0.x, r0.x, r1.w
mul o0.xyzw, r0.xxxx, cb0[11].xyzw
ret
