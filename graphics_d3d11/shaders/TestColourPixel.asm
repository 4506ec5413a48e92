// The interpolated colour as it is.
ps_4_0
.input SV_POSITION v0.xyzw
.input COLOR v1.xyzw
.output SV_TARGET o0.xyzw
dcl_input_ps linear v1.xyzw
dcl_output o0.xyzw
mov o0.xyzw, v1.xyzw
ret
