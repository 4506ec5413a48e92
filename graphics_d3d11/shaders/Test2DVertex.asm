// The 2D vertex: position in pixels through the projection columns of constant buffer 1, colour passed on.
vs_4_0
.input POSITION v0.xyzw xy
.input COLOR v1.xyzw
.output SV_POSITION o0.xyzw
.output COLOR o1.xyzw
dcl_constantBuffer cb1[4], immediateIndexed
dcl_input v0.xy
dcl_input v1.xyzw
dcl_output_siv o0.xyzw, position
dcl_output o1.xyzw
dcl_temps 1
mov r0.xy, v0.xyxx
mov r0.zw, l(0, 0, 0, 1.000000)
dp4 o0.x, r0.xyzw, cb1[0].xyzw
dp4 o0.y, r0.xyzw, cb1[1].xyzw
dp4 o0.z, r0.xyzw, cb1[2].xyzw
dp4 o0.w, r0.xyzw, cb1[3].xyzw
mov o1.xyzw, v1.xyzw
ret
