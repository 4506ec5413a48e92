// Direct3D 9 lighting, material, fog and view state: every setter gives the fixed-function pipeline its
// value (SetLight, LightEnable, SetMaterial, render states) and writes the same values into layer 0 of
// the shader-constant manager, in the registers the built-in shaders read, so that both pipelines light,
// colour and fog alike. The values are kept in the state cache (D3D9DeviceStateCache).
// Stands on the call layer, the state cache, the shader-constant manager, the vertex batch (through the
// core's flush switch) and the graphics core's view matrix.
#pragma once

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

// Registers written here (vertex float VS c, pixel float PS c, vertex bool VS b).
constexpr int D3D9VertexRegister_AmbientEmissive = 1;   // VS c1, PS c1
constexpr int D3D9VertexRegister_View = 6;              // VS c6-c9, transposed
constexpr int D3D9VertexRegister_Fog = 10;              // end / (end - start), -1 / (end - start), density, e
constexpr int D3D9VertexRegister_Material = 11;         // VS c11-c13: diffuse, specular, (power, extras 0-2)
constexpr int D3D9VertexRegister_Light = 14;            // VS c14 + 7i, lights 0-3
constexpr int D3D9VertexRegister_MaterialSource = 43;   // (diffuse from vertex, specular from vertex, 0, 0)
constexpr int D3D9VertexRegister_RestoreValue = 57;
constexpr int D3D9PixelRegister_AmbientEmissive = 1;
constexpr int D3D9PixelRegister_Material = 2;           // PS c2-c4
constexpr int D3D9PixelRegister_FogColor = 8;
constexpr int D3D9PixelRegister_LightColor = 9;         // PS c9 + 3i: diffuse, specular, ambient; lights 0-3
constexpr int D3D9PixelRegister_RestoreValue = 25;
constexpr int D3D9PixelRegister_Light = 32;             // PS c32 + 7i, lights 0-5
constexpr int D3D9VertexBool_Fog = 0;                   // b0-b2 linear, exp, exp2; b3 fog on
constexpr int D3D9VertexBool_Light = 4;                 // b4 + 3i enabled, b5 + 3i point or spot, b6 + 3i spot
constexpr int D3D9ShaderLightCount = 6;                 // lights with pixel-shader registers
constexpr int D3D9VertexShaderLightCount = 4;           // of them, lights with vertex-shader registers

// A8R8G8B8 colour: D3DRS_AMBIENT and the global ambient floats; always flushes; 0 without a device.
int Graphics_D3D9_StateCache_SetAmbientColor(D3DCOLOR color);
int Graphics_D3D9_StateCache_SetMaterial(const D3DMATERIAL9* material);
// 1: the diffuse (specular) colour comes from the vertex (D3DMCS_COLOR1 / COLOR2), 0: from the material.
int Graphics_D3D9_StateCache_SetDiffuseMaterialSource(int flag);
int Graphics_D3D9_StateCache_SetSpecularMaterialSource(int flag);
// Always flush; lights above 255 reach the device only.
int Graphics_D3D9_StateCache_SetLight(int index, const D3DLIGHT9* light);
int Graphics_D3D9_StateCache_SetLightEnable(int index, int flag);
int Graphics_D3D9_StateCache_SetFogEnable(int flag);
int Graphics_D3D9_StateCache_SetFogMode(int mode);
int Graphics_D3D9_StateCache_SetFogColor(D3DCOLOR color);
int Graphics_D3D9_StateCache_SetFogStartEnd(float start, float end);
// The fog density (D3DRS_FOGDENSITY and VS c10); the restore re-sends it.
int Graphics_D3D9_StateCache_SetFogDensity(float density);
// SetTransform(D3DTS_VIEW) and the view-space registers of lights 0-5; no comparison, no flush.
int Graphics_D3D9_StateCache_SetViewMatrix(const D3DMATRIX* matrix);
// The ambient registers of the enabled lights (light ambient x material ambient), then VS c1 and PS c1.
int Graphics_D3D9_StateCache_RefreshLightConstants();
// What the restore after a re-created device sends again of this state.
int Graphics_D3D9_StateCache_RestoreLighting();

}  // namespace Vantrel
