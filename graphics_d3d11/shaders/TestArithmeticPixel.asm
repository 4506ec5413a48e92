// Half the colour plus a quarter, the red and blue channels swapped, alpha through mul and add; the
// saturated negation written first (then overwritten) carries the modifier forms through the tools.
ps_4_0
.input SV_POSITION v0.xyzw
.input COLOR v1.xyzw
.output SV_TARGET o0.xyzw
dcl_input_ps linear v1.xyzw
dcl_output o0.xyzw
dcl_temps 1
mad r0.xyz, v1.zyxz, l(0.500000, 0.500000, 0.500000, 0.500000), l(0.250000, 0.250000, 0.250000, 0.250000)
mul r0.w, v1.w, l(0.500000)
add o0.w, r0.w, r0.w
mov_sat o0.xyz, -r0.xyzx
mov o0.xyz, r0.xyzx
ret
