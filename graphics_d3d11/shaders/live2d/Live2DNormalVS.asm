// A model's mesh: the position in model units through the projection (constant rows 0-3), the texture
// coordinate turned from the model's bottom-up form to the texture's top-down one.
vs_4_0
.input POSITION v0.xy
.input TEXCOORD0 v1.xy
.output SV_POSITION o0.xyzw
.output TEXCOORD0 o1.xy
dcl_constantBuffer cb0[13], immediateIndexed
dcl_input v0.xy
dcl_input v1.xy
dcl_output_siv o0.xyzw, position
dcl_output o1.xy
dcl_temps 1
mov r0.xy, v0.xyxx
mov r0.zw, l(0, 0, 0, 1.000000)
dp4 o0.x, r0.xyzw, cb0[0].xyzw
dp4 o0.y, r0.xyzw, cb0[1].xyzw
dp4 o0.z, r0.xyzw, cb0[2].xyzw
dp4 o0.w, r0.xyzw, cb0[3].xyzw
mov o1.x, v1.x
add o1.y, -v1.y, l(1.000000)
ret
