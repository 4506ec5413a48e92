// The 2D vertex shader: positions in draw-target pixels go through the device projection (the rows
// of the transposed matrix in c2 to c5) with w taken as 1; both colours and the eight texture
// coordinates pass on unchanged.
vs_2_0
def c0, 0, 1, 0, 0
dcl_position v0
dcl_color0 v1
dcl_color1 v2
dcl_texcoord0 v3
dcl_texcoord1 v4
dcl_texcoord2 v5
dcl_texcoord3 v6
dcl_texcoord4 v7
dcl_texcoord5 v8
dcl_texcoord6 v9
dcl_texcoord7 v10
mov r0.xyz, v0
mov r0.w, c0.y
dp4 oPos.x, r0, c2
dp4 oPos.y, r0, c3
dp4 oPos.z, r0, c4
dp4 oPos.w, r0, c5
mov oD0, v1
mov oD1, v2
mov oT0, v3
mov oT1, v4
mov oT2, v5
mov oT3, v6
mov oT4, v7
mov oT5, v8
mov oT6, v9
mov oT7, v10
