// A texture sample times the colour, shader model 5.
ps_5_0
.input SV_POSITION v0.xyzw
.input COLOR v1.xyzw
.input TEXCOORD0 v2.xy
.output SV_TARGET o0.xyzw
dcl_globalFlags refactoringAllowed
dcl_sampler s0
dcl_resource_texture2d(float,float,float,float) t0
dcl_input_ps linear v1.xyzw
dcl_input_ps linear v2.xy
dcl_output o0.xyzw
dcl_temps 1
sample r0.xyzw, v2.xyxx, t0.xyzw, s0
mul o0.xyzw, r0.xyzw, v1.xyzw
ret
