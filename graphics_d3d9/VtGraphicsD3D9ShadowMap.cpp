// Direct3D 9 shadow maps: their device objects (depth surface, colour render-target texture and its level
// surface) in the record's platform area, made from the record's size, depth and float flag and released
// with any binding the device still has of them, and the shader constants the lit shaders read of the
// three shadow-map slots.
// Stands on the call layer, the device's format tables, the state cache, the shader-constant manager and
// the core's lights and shadow maps.
#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

static_assert(sizeof(D3D9ShadowMapPlatform) <= sizeof(((ShadowMapRecord*)nullptr)->PlatformArea),
              "the shadow map's device objects fit the record's platform area");

namespace {

constexpr int SlotCount = 3;
constexpr int LightMatrixRegister = 44;   // vertex float c44, c48, c52: each slot's light view-projection
constexpr int ColorFormat16 = 42, ColorFormat16Float = 43, ColorFormat32 = 44;
constexpr int DepthIndex16 = 0, DepthIndex32 = 2;

// Releases one surface after taking it off the render targets and the depth binding that hold it.
void ReleaseSurface(IDirect3DSurface9*& surface) {
    if (surface == nullptr) return;
    if (D3D9Call_Device_Exists()) {
        D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
        for (int i = 1; i < D3D9RenderTargetCount; ++i)
            if (cache.RenderTarget[i] == surface) Graphics_D3D9_StateCache_SetRenderTarget(nullptr, i);
        // Target 0 cannot be emptied: the back buffer takes its place.
        if (cache.RenderTarget[0] == surface && D3D9DeviceState.BackBuffer != nullptr)
            Graphics_D3D9_StateCache_SetRenderTarget(D3D9DeviceState.BackBuffer, 0);
        IDirect3DSurface9* depth = nullptr;
        if (D3D9Call_Device_GetDepthStencilSurface(&depth) == D3D_OK && depth != nullptr) {
            if (depth == surface) D3D9Call_Device_SetDepthStencilSurface(nullptr);
            D3D9Call_Object_Release(depth);
        }
    }
    D3D9Call_Object_ReleaseAndClear(surface);
}

}  // namespace

D3D9ShadowMapPlatform* Graphics_D3D9_ShadowMap_Platform(ShadowMapRecord* record) {
    if (record == nullptr) return nullptr;
    if (record->Platform == nullptr) record->Platform = record->PlatformArea;
    return (D3D9ShadowMapPlatform*)record->Platform;
}

IDirect3DTexture9* Graphics_D3D9_ShadowMap_TextureOf(int handle) {
    if (handle <= 0) return nullptr;
    D3D9ShadowMapPlatform* p = Graphics_D3D9_ShadowMap_Platform(Graphics_ShadowMap_GetHandleData(handle, 0));
    return p != nullptr ? p->Texture : nullptr;
}

int Graphics_D3D9_ShadowMap_CreateTextures(ShadowMapRecord* record, void* async) {
    D3D9ShadowMapPlatform* p = Graphics_D3D9_ShadowMap_Platform(record);
    if (p == nullptr || !D3D9Call_Device_Exists()) return -1;
    if (record->Width <= 0 || record->Height <= 0) return -1;
    const int otherThread = async != nullptr;
    const bool bits16 = record->BitDepth == 16;
    p->ColorFormatIndex = bits16 ? (record->FloatFlag ? ColorFormat16Float : ColorFormat16) : ColorFormat32;
    p->DepthFormatIndex = bits16 ? DepthIndex16 : DepthIndex32;
    const D3DFORMAT format = D3D9TextureFormatTable[p->ColorFormatIndex];
    if (format == (D3DFORMAT)0) {
        Log_AddTextShiftJIS("シャドウマップデータ用のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    if (p->DepthSurface == nullptr &&
        D3D9Call_Device_CreateDepthStencilSurfaceASync((UINT)record->Width, (UINT)record->Height,
                                                       D3D9DepthFormatTable[p->DepthFormatIndex], D3DMULTISAMPLE_NONE, 0,
                                                       FALSE, &p->DepthSurface, nullptr, otherThread) != D3D_OK) {
        p->DepthSurface = nullptr;
        Log_AddTextShiftJIS("シャドウマップ用深度サーフェスの作成に失敗しました\n");
        return -1;
    }
    if (p->Texture == nullptr) {
        if (D3D9Call_Device_CreateTextureASync((UINT)record->Width, (UINT)record->Height, 1, D3DUSAGE_RENDERTARGET, format,
                                               D3DPOOL_DEFAULT, &p->Texture, nullptr, otherThread) != D3D_OK) {
            p->Texture = nullptr;
            Log_AddTextShiftJIS("シャドウマップ用テクスチャの作成に失敗しました\n");
            return -1;
        }
        if (D3D9Call_Texture_GetSurfaceLevelASync(p->Texture, 0, &p->Surface, otherThread) != D3D_OK) {
            p->Surface = nullptr;
            Log_AddTextShiftJIS("シャドウマップ用テクスチャのサーフェスアドレスの取得に失敗しました\n");
            return -1;
        }
    }
    return 0;
}

int Graphics_D3D9_ShadowMap_ReleaseTextures(ShadowMapRecord* record) {
    D3D9ShadowMapPlatform* p = Graphics_D3D9_ShadowMap_Platform(record);
    if (p == nullptr) return -1;
    ReleaseSurface(p->DepthSurface);
    ReleaseSurface(p->Surface);
    if (p->Texture != nullptr) {
        Graphics_D3D9_StateCache_UnbindTexture(p->Texture);
        D3D9Call_Object_ReleaseAndClear(p->Texture);
    }
    return 0;
}

int Graphics_D3D9_ShadowMap_RefreshSlotParams() {
    if (!D3D9Call_Device_Exists()) return -1;
    float values[16] = {};
    const LightStateRecord& lights = LightState;
    const int count = lights.SlotCount < 3 ? lights.SlotCount : 3;
    for (int slot = 0; slot < SlotCount; ++slot) {
        float* out = values + 5 * slot;
        const ShadowMapRecord* record = Graphics_ShadowMap_SlotRecord(slot);
        out[0] = record != nullptr ? record->ShaderParam1 : 1.0f;
        out[1] = record != nullptr ? record->ShaderParam2 : 0.0f;
        // The first up to three device lights, as the light refresh packed them.
        for (int i = 0; i < count; ++i) {
            const int index = lights.SlotMap[i];
            const LightRecord* light = index >= 0 && index < Light_MaxCount ? lights.Table[index] : nullptr;
            out[2 + i] = light != nullptr && light->ShadowMapFlags[slot] != 0 ? 1.0f : 0.0f;
        }
    }
    return Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0,
                                                  D3D9PixelRegister_ShadowMapSlots, values, 4, 1);
}

int Graphics_D3D9_ShadowMap_RefreshLightMatrices() {
    if (!D3D9Call_Device_Exists()) return -1;
    for (int slot = 0; slot < SlotCount; ++slot) {
        const ShadowMapRecord* record = Graphics_ShadowMap_SlotRecord(slot);
        float out[16];
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                out[row * 4 + column] = record != nullptr ? record->LightViewProjection.m[column][row]
                                                          : (column == 3 ? -1.0f : 0.0f);
        Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_FLOAT, 0,
                                               LightMatrixRegister + 4 * slot, out, 4, 1);
    }
    return 0;
}

}  // namespace Vantrel
