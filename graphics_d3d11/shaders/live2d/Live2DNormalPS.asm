// The texel (straight alpha) times the multiply colour (row 9), screened with row 10, times the base
// colour (row 8: colour and opacity), given out premultiplied.
ps_4_0
.input SV_POSITION v0.xyzw
.input TEXCOORD0 v1.xy
.output SV_TARGET o0.xyzw
dcl_constantBuffer cb0[13], immediateIndexed
dcl_sampler s0
dcl_resource_texture2d (float,float,float,float) t0
dcl_input_ps linear v1.xy
dcl_output o0.xyzw
dcl_temps 2
sample r0.xyzw, v1.xyxx, t0.xyzw, s0
mul r0.xyz, r0.xyzx, cb0[9].xyzx
mad r1.xyz, -r0.xyzx, cb0[10].xyzx, cb0[10].xyzx
add r0.xyz, r0.xyzx, r1.xyzx
mul r0.xyzw, r0.xyzw, cb0[8].xyzw
mul r0.xyz, r0.xyzx, r0.wwww
mov o0.xyzw, r0.xyzw
ret
