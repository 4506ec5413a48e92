// A mask mesh drawn into the mask texture: placed by the clip matrix (rows 4-7), which position the
// pixel shader also receives to keep within the mask's rectangle.
vs_4_0
.input POSITION v0.xy
.input TEXCOORD0 v1.xy
.output SV_POSITION o0.xyzw
.output TEXCOORD0 o1.xy
.output TEXCOORD1 o2.xyzw
dcl_constantBuffer cb0[13], immediateIndexed
dcl_input v0.xy
dcl_input v1.xy
dcl_output_siv o0.xyzw, position
dcl_output o1.xy
dcl_output o2.xyzw
dcl_temps 2
mov r0.xy, v0.xyxx
mov r0.zw, l(0, 0, 0, 1.000000)
dp4 r1.x, r0.xyzw, cb0[4].xyzw
dp4 r1.y, r0.xyzw, cb0[5].xyzw
dp4 r1.z, r0.xyzw, cb0[6].xyzw
dp4 r1.w, r0.xyzw, cb0[7].xyzw
mov o0.xyzw, r1.xyzw
mov o2.xyzw, r1.xyzw
mov o1.x, v1.x
add o1.y, -v1.y, l(1.000000)
ret
