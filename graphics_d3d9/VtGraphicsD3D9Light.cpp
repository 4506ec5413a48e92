// Direct3D 9 lighting, material, fog and view state: the fixed-function call and the built-in shaders'
// registers from one setter, and the light registers kept in step with the material and the view.
// Stands on the call layer, the state cache, the shader-constant manager, the vertex batch (through the
// core's flush switch) and the graphics core's view matrix.
#include "graphics_d3d9/VtGraphicsD3D9Light.h"

#include <math.h>
#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtMatrix.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

namespace {

D3D9DeviceStateCacheRecord& Cache = D3D9DeviceStateCache;

int Result(HRESULT result) { return result == D3D_OK ? 0 : -1; }

void FlushBeforeChange() {
    if (!Cache.Force) Graphics_Dispatch_VertexBatch_Flush(0);
}

DWORD FloatBits(float value) {
    DWORD bits;
    memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void VertexFloats(int first, const float* values, int count) {
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_FLOAT, 0, first, values, count, 1);
}

void PixelFloats(int first, const float* values, int count) {
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, first, values, count, 1);
}

void VertexBool(int reg, bool value) {
    const BOOL word = value ? TRUE : FALSE;
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_BOOL, 0, reg, &word, 1, 1);
}

void ColourFloats(const D3DCOLORVALUE& c, float out[4]) {
    out[0] = c.r, out[1] = c.g, out[2] = c.b, out[3] = c.a;
}

// The registers of one light as the shaders read them (seven for the position-dependent part).
void LightRegisters(const D3DLIGHT9& light, const D3DMATRIX& view, float out[7][4]) {
    const D3DVECTOR& p = light.Position;
    const D3DVECTOR& d = light.Direction;
    for (int c = 0; c < 3; ++c) {
        out[0][c] = p.x * view.m[0][c] + p.y * view.m[1][c] + p.z * view.m[2][c] + view.m[3][c];
        out[1][c] = d.x * view.m[0][c] + d.y * view.m[1][c] + d.z * view.m[2][c];
    }
    out[0][3] = 1.0f;
    out[1][3] = 0.0f;
    ColourFloats(light.Diffuse, out[2]);
    ColourFloats(light.Specular, out[3]);
    ColourFloats(light.Ambient, out[4]);
    out[5][0] = light.Range * light.Range;
    out[5][1] = light.Falloff;
    out[5][2] = light.Attenuation0;
    out[5][3] = light.Attenuation1;
    float sine, cosTheta, cosPhi;
    BaseFunc_SinCos(light.Theta * 0.5f, &sine, &cosTheta);
    BaseFunc_SinCos(light.Phi * 0.5f, &sine, &cosPhi);
    const float difference = cosTheta - cosPhi;
    out[6][0] = light.Attenuation2;
    out[6][1] = cosPhi;
    out[6][2] = fabsf(difference) < 1e-7f ? 100000.0f : 1.0f / difference;
    out[6][3] = 0.0f;
}

// The view-space position and direction of light `index` (below 6) for `view`.
void SendLightPlacement(int index, const D3DMATRIX& view) {
    float regs[7][4];
    LightRegisters(Cache.Light[index], view, regs);
    if (index < D3D9VertexShaderLightCount) VertexFloats(D3D9VertexRegister_Light + 7 * index, regs[0], 2);
    PixelFloats(D3D9PixelRegister_Light + 7 * index, regs[0], 2);
}

D3DMATRIX CoreView() {
    static_assert(sizeof(MatrixF) == sizeof(D3DMATRIX), "both are 4 x 4 floats");
    D3DMATRIX view;
    memcpy(&view, &GraphicsTransform.ViewF, sizeof(view));
    return view;
}

// VS c43: where the diffuse and specular colours come from.
void SendMaterialSource() {
    const float source[4] = {Cache.DiffuseMaterialSource == 1 ? 1.0f : 0.0f,
                             Cache.SpecularMaterialSource == 1 ? 1.0f : 0.0f, 0.0f, 0.0f};
    VertexFloats(D3D9VertexRegister_MaterialSource, source, 1);
}

// VS c10: the linear fog's scale and offset, the density and e.
void SendFogConstants() {
    const float range = Cache.FogEnd - Cache.FogStart;
    float fog[4] = {0.0f, 0.0f, Cache.FogDensity, 0.0f};
    if (range != 0.0f) fog[0] = Cache.FogEnd / range, fog[1] = -1.0f / range;
    const DWORD e = 0x402DF854;
    memcpy(&fog[3], &e, sizeof(float));
    VertexFloats(D3D9VertexRegister_Fog, fog, 1);
}

// A fog mode other than none turns the shaders' fog on; a later fog enable of 0 turns it off again.
void SendFogModeBools() {
    if (!GraphicsSystemState.ShadersUsable) return;
    VertexBool(D3D9VertexBool_Fog + 0, Cache.FogMode == D3DFOG_LINEAR);
    VertexBool(D3D9VertexBool_Fog + 1, Cache.FogMode == D3DFOG_EXP);
    VertexBool(D3D9VertexBool_Fog + 2, Cache.FogMode == D3DFOG_EXP2);
    VertexBool(D3D9VertexBool_Fog + 3, Cache.FogMode != D3DFOG_NONE);
}

bool SameMaterial(const D3DMATERIAL9& a, const D3DMATERIAL9& b) { return memcmp(&a, &b, sizeof(a)) == 0; }

}  // namespace

int Graphics_D3D9_StateCache_RefreshLightConstants() {
    const D3DCOLORVALUE& material = Cache.Material.Ambient;
    for (int i = 0; i <= Cache.LightMaxIndex && i < D3D9LightCacheCount; ++i) {
        if (!Cache.LightEnable[i]) continue;
        const D3DCOLORVALUE& light = Cache.Light[i].Ambient;
        const float ambient[4] = {light.r * material.r, light.g * material.g, light.b * material.b, light.a * material.a};
        if (i < D3D9VertexShaderLightCount) {
            VertexFloats(D3D9VertexRegister_Light + 7 * i + 4, ambient, 1);
            PixelFloats(D3D9PixelRegister_LightColor + 3 * i + 2, ambient, 1);
        }
        if (i < D3D9ShaderLightCount) PixelFloats(D3D9PixelRegister_Light + 7 * i + 4, ambient, 1);
    }
    const float* global = Cache.GlobalAmbient;
    const D3DCOLORVALUE& emissive = Cache.Material.Emissive;
    const float sum[4] = {global[0] * material.r + emissive.r, global[1] * material.g + emissive.g,
                          global[2] * material.b + emissive.b, global[3] * material.a + emissive.a};
    VertexFloats(D3D9VertexRegister_AmbientEmissive, sum, 1);
    PixelFloats(D3D9PixelRegister_AmbientEmissive, sum, 1);
    return 0;
}

int Graphics_D3D9_StateCache_SetAmbientColor(D3DCOLOR color) {
    if (!D3D9Call_Device_Exists()) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_AMBIENT, color));
    Cache.GlobalAmbient[0] = (float)(color >> 16 & 0xFF) / 255.0f;
    Cache.GlobalAmbient[1] = (float)(color >> 8 & 0xFF) / 255.0f;
    Cache.GlobalAmbient[2] = (float)(color & 0xFF) / 255.0f;
    Cache.GlobalAmbient[3] = (float)(color >> 24) / 255.0f;
    Graphics_D3D9_StateCache_RefreshLightConstants();
    return result;
}

int Graphics_D3D9_StateCache_SetMaterial(const D3DMATERIAL9* material) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (material == nullptr) return -1;
    if (!Cache.Force && SameMaterial(Cache.Material, *material)) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetMaterial(material));
    Cache.Material = *material;
    float values[3][4];
    ColourFloats(material->Diffuse, values[0]);
    ColourFloats(material->Specular, values[1]);
    values[2][0] = material->Power;
    values[2][1] = Cache.MaterialExtra[0];
    values[2][2] = Cache.MaterialExtra[1];
    values[2][3] = Cache.MaterialExtra[2];
    VertexFloats(D3D9VertexRegister_Material, values[0], 3);
    PixelFloats(D3D9PixelRegister_Material, values[0], 3);
    Graphics_D3D9_StateCache_RefreshLightConstants();
    return result;
}

int Graphics_D3D9_StateCache_SetDiffuseMaterialSource(int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force && Cache.DiffuseMaterialSource == flag) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, flag ? D3DMCS_COLOR1 : D3DMCS_MATERIAL));
    Cache.DiffuseMaterialSource = flag;
    SendMaterialSource();
    return result;
}

int Graphics_D3D9_StateCache_SetSpecularMaterialSource(int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force && Cache.SpecularMaterialSource == flag) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_SPECULARMATERIALSOURCE, flag ? D3DMCS_COLOR2 : D3DMCS_MATERIAL));
    Cache.SpecularMaterialSource = flag;
    SendMaterialSource();
    return result;
}

int Graphics_D3D9_StateCache_SetLight(int index, const D3DLIGHT9* light) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (index < 0 || light == nullptr) return -1;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetLight((DWORD)index, light));
    if (index >= D3D9LightCacheCount) return result;
    Cache.Light[index] = *light;
    if (index < D3D9ShaderLightCount) {
        float regs[7][4];
        LightRegisters(*light, CoreView(), regs);
        if (index < D3D9VertexShaderLightCount) {
            VertexFloats(D3D9VertexRegister_Light + 7 * index, regs[0], 7);
            PixelFloats(D3D9PixelRegister_LightColor + 3 * index, regs[2], 3);
            const bool placed = light->Type == D3DLIGHT_POINT || light->Type == D3DLIGHT_SPOT;
            VertexBool(D3D9VertexBool_Light + 3 * index + 1, placed);
            VertexBool(D3D9VertexBool_Light + 3 * index + 2, light->Type == D3DLIGHT_SPOT);
        }
        PixelFloats(D3D9PixelRegister_Light + 7 * index, regs[0], 7);
        Graphics_D3D9_StateCache_RefreshLightConstants();
    }
    return result;
}

int Graphics_D3D9_StateCache_SetLightEnable(int index, int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (index < 0) return -1;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_LightEnable((DWORD)index, flag ? TRUE : FALSE));
    if (index >= D3D9LightCacheCount) return result;
    Cache.LightEnable[index] = flag ? 1 : 0;
    if (flag && index > Cache.LightMaxIndex) Cache.LightMaxIndex = index;
    if (!flag && index == Cache.LightMaxIndex) {
        int highest = index - 1;
        while (highest > 0 && !Cache.LightEnable[highest]) --highest;
        Cache.LightMaxIndex = highest > 0 ? highest : 0;
    }
    if (index < D3D9VertexShaderLightCount && GraphicsSystemState.ShadersUsable)
        VertexBool(D3D9VertexBool_Light + 3 * index, flag != 0);
    Graphics_D3D9_StateCache_RefreshLightConstants();
    return result;
}

int Graphics_D3D9_StateCache_SetFogEnable(int flag) {
    if (!D3D9Call_Device_Exists()) return -1;
    // The shaders' fog switch follows every call: a fog mode may have turned it on without the device's
    // fog enable changing.
    VertexBool(D3D9VertexBool_Fog + 3, flag != 0);
    if (!Cache.Force && Cache.FogEnable == flag) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_FOGENABLE, flag ? TRUE : FALSE));
    Cache.FogEnable = flag;
    return result;
}

int Graphics_D3D9_StateCache_SetFogMode(int mode) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force && Cache.FogMode == mode) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_FOGVERTEXMODE, (DWORD)mode));
    Cache.FogMode = mode;
    SendFogModeBools();
    return result;
}

int Graphics_D3D9_StateCache_SetFogColor(D3DCOLOR color) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force && Cache.FogColor == color) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_FOGCOLOR, color));
    Cache.FogColor = color;
    const float colour[4] = {(float)(color >> 16 & 0xFF) / 255.0f, (float)(color >> 8 & 0xFF) / 255.0f,
                             (float)(color & 0xFF) / 255.0f, 1.0f};
    PixelFloats(D3D9PixelRegister_FogColor, colour, 1);
    return result;
}

int Graphics_D3D9_StateCache_SetFogStartEnd(float start, float end) {
    if (!D3D9Call_Device_Exists()) return -1;
    FlushBeforeChange();
    int result = 0;
    if (Cache.Force || Cache.FogStart != start) {
        if (D3D9Call_Device_SetRenderState(D3DRS_FOGSTART, FloatBits(start)) != D3D_OK) result = -1;
        Cache.FogStart = start;
        SendFogConstants();
    }
    if (Cache.Force || Cache.FogEnd != end) {
        if (D3D9Call_Device_SetRenderState(D3DRS_FOGEND, FloatBits(end)) != D3D_OK) result = -1;
        Cache.FogEnd = end;
    }
    // Also for the values the device already has: the register starts empty, not at the defaults'
    // start 0 and end 1.
    SendFogConstants();
    return result;
}

int Graphics_D3D9_StateCache_SetFogDensity(float density) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Cache.Force && Cache.FogDensity == density) return 0;
    FlushBeforeChange();
    const int result = Result(D3D9Call_Device_SetRenderState(D3DRS_FOGDENSITY, FloatBits(density)));
    Cache.FogDensity = density;
    SendFogConstants();
    return result;
}

int Graphics_D3D9_StateCache_SetViewMatrix(const D3DMATRIX* matrix) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (matrix == nullptr) return -1;
    const int result = Result(D3D9Call_Device_SetTransform(D3DTS_VIEW, matrix));
    float transposed[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) transposed[r][c] = matrix->m[c][r];
    VertexFloats(D3D9VertexRegister_View, transposed[0], 4);
    for (int i = 0; i < D3D9ShaderLightCount; ++i) SendLightPlacement(i, *matrix);
    return result;
}

int Graphics_D3D9_StateCache_RestoreLighting() {
    if (!D3D9Call_Device_Exists()) return -1;
    const int force = Cache.Force;
    Cache.Force = 1;
    Graphics_D3D9_StateCache_SetFogEnable(Cache.FogEnable);
    Graphics_D3D9_StateCache_SetFogMode(Cache.FogMode);
    Graphics_D3D9_StateCache_SetFogColor(Cache.FogColor);
    Graphics_D3D9_StateCache_SetFogStartEnd(Cache.FogStart, Cache.FogEnd);
    Graphics_D3D9_StateCache_SetFogDensity(Cache.FogDensity);
    VertexFloats(D3D9VertexRegister_RestoreValue, Cache.RestoreVertexConstant57, 1);
    Cache.RestorePixelConstant25[3] = 1.0f;
    PixelFloats(D3D9PixelRegister_RestoreValue, Cache.RestorePixelConstant25, 1);
    const D3DMATERIAL9 material = Cache.Material;
    Graphics_D3D9_StateCache_SetMaterial(&material);
    Graphics_D3D9_StateCache_SetDiffuseMaterialSource(Cache.DiffuseMaterialSource);
    Graphics_D3D9_StateCache_SetSpecularMaterialSource(Cache.SpecularMaterialSource);
    const D3DCOLOR ambient = (D3DCOLOR)((uint32_t)lroundf(Cache.GlobalAmbient[3] * 255.0f) << 24 |
                                        (uint32_t)lroundf(Cache.GlobalAmbient[0] * 255.0f) << 16 |
                                        (uint32_t)lroundf(Cache.GlobalAmbient[1] * 255.0f) << 8 |
                                        (uint32_t)lroundf(Cache.GlobalAmbient[2] * 255.0f));
    Graphics_D3D9_StateCache_SetAmbientColor(ambient);
    for (int i = 0; i < D3D9LightCacheCount; ++i) {
        if (Cache.Light[i].Type == 0) continue;
        const D3DLIGHT9 light = Cache.Light[i];
        Graphics_D3D9_StateCache_SetLight(i, &light);
        Graphics_D3D9_StateCache_SetLightEnable(i, Cache.LightEnable[i]);
    }
    Cache.Force = force;
    return 0;
}

// The core's switch bodies for lights, fog and the view. The core's light parameters are laid out as
// D3DLIGHT9.
static_assert(sizeof(LightParams) == sizeof(D3DLIGHT9), "the core's light is a D3DLIGHT9");
int Graphics_D3D9_Light_SetParam(int index, const LightParams* params) {
    if (params == nullptr) return -1;
    D3DLIGHT9 light;
    memcpy(&light, params, sizeof(light));
    return Graphics_D3D9_StateCache_SetLight(index, &light);
}
int Graphics_D3D9_Light_SetEnable(int index, int flag) { return Graphics_D3D9_StateCache_SetLightEnable(index, flag); }
int Graphics_D3D9_Fog_SetColor(unsigned int color) { return Graphics_D3D9_StateCache_SetFogColor(color); }
int Graphics_D3D9_Fog_SetEnable(int flag) { return Graphics_D3D9_StateCache_SetFogEnable(flag); }
int Graphics_D3D9_Fog_SetMode(int mode) { return Graphics_D3D9_StateCache_SetFogMode(mode); }
int Graphics_D3D9_Fog_SetStartEnd(float start, float end) { return Graphics_D3D9_StateCache_SetFogStartEnd(start, end); }
int Graphics_D3D9_Transform_SetView(const MatrixF* matrix) {
    if (matrix == nullptr) return -1;
    D3DMATRIX view;
    memcpy(&view, matrix, sizeof(view));
    return Graphics_D3D9_StateCache_SetViewMatrix(&view);
}

}  // namespace Vantrel
