// The texel of a premultiplied texture times the multiply colour (row 9), screened with row 10 in its
// premultiplied form, times the base colour (row 8: colour and opacity), given out premultiplied.
// The mask texture (t1) is read where the clip position (v2) falls, its channels weighed by row 11,
// and taken inverted: the mesh shows where the mask is not.
ps_4_0
.input SV_POSITION v0.xyzw
.input TEXCOORD0 v1.xy
.input TEXCOORD1 v2.xyzw
.output SV_TARGET o0.xyzw
dcl_constantBuffer cb0[13], immediateIndexed
dcl_sampler s0
dcl_sampler s1
dcl_resource_texture2d (float,float,float,float) t0
dcl_resource_texture2d (float,float,float,float) t1
dcl_input_ps linear v1.xy
dcl_input_ps linear v2.xyzw
dcl_output o0.xyzw
dcl_temps 2
sample r0.xyzw, v1.xyxx, t0.xyzw, s0
mul r0.xyz, r0.xyzx, cb0[9].xyzx
mul r1.xyz, r0.wwww, cb0[10].xyzx
mad r1.xyz, -r0.xyzx, cb0[10].xyzx, r1.xyzx
add r0.xyz, r0.xyzx, r1.xyzx
mul r0.xyz, r0.xyzx, cb0[8].xyzx
mul r0.xyzw, r0.xyzw, cb0[8].wwww
div r1.xy, v2.xyxx, v2.wwww
mad r1.xy, r1.xyxx, l(0.500000, -0.500000, 0, 0), l(0.500000, 0.500000, 0, 0)
sample r1.xyzw, r1.xyxx, t1.xyzw, s1
dp4 r1.x, r1.xyzw, cb0[11].xyzw
add r1.x, -r1.x, l(1.000000)
mul o0.xyzw, r0.xyzw, r1.xxxx
ret
