// Direct3D 11 lights and shadow maps: the light body, the shadow-map constants, the shadow maps' device
// objects and their views in the lit shaders' pixel slots.
// Stands on the call layer, the state cache, the constant buffers, the core's lights and shadow maps.
#include "graphics_d3d11/VtGraphicsD3D11Light.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"

namespace Vantrel {

static_assert(sizeof(D3D11ShadowMapPlatform) <= sizeof(((ShadowMapRecord*)nullptr)->PlatformArea),
              "the Direct3D 11 shadow-map objects fit the record's platform area");

namespace {

constexpr int ShadowSlotCount = 3;
constexpr int ShadowFirstPixelSlot = 8;
constexpr int ShadowColorFormat16 = 42, ShadowColorFormat16Float = 43, ShadowColorFormat32 = 44;
constexpr int ShadowDepthIndex16 = 0, ShadowDepthIndex32 = 2;

}  // namespace

D3D11ShadowMapPlatform* Graphics_D3D11_ShadowMap_Platform(ShadowMapRecord* record) {
    if (record == nullptr) return nullptr;
    if (record->Platform == nullptr) record->Platform = record->PlatformArea;
    return (D3D11ShadowMapPlatform*)record->Platform;
}

D3D11ShadowMapPlatform* Graphics_D3D11_ShadowMap_PlatformOf(int handle) {
    return handle > 0 ? Graphics_D3D11_ShadowMap_Platform(Graphics_ShadowMap_GetHandleData(handle, 0)) : nullptr;
}

// ---- Lights ----

int Graphics_D3D11_Light_SetParam(int index, const LightParams* params) {
    if (params == nullptr) return -1;
    D3D11LightRecord light = {};
    light.Type = params->Type;
    memcpy(light.Diffuse, params->Diffuse, sizeof(light.Diffuse));
    memcpy(light.Specular, params->Specular, sizeof(light.Specular));
    memcpy(light.Ambient, params->Ambient, sizeof(light.Ambient));
    memcpy(light.Position, params->Position, sizeof(light.Position));
    memcpy(light.Direction, params->Direction, sizeof(light.Direction));
    light.Range = params->Range;
    light.Falloff = params->Falloff;
    light.Attenuation[0] = params->Attenuation0;
    light.Attenuation[1] = params->Attenuation1;
    light.Attenuation[2] = params->Attenuation2;
    light.Theta = params->Theta;
    light.Phi = params->Phi;
    return Graphics_D3D11_StateCache_SetLight(index, &light);
}

// ---- Shadow-map constants ----

int Graphics_D3D11_ShadowMap_RefreshSlotParams() {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_PS_3D];
    if (buffer == nullptr) return -1;
    const LightStateRecord& lights = LightState;
    for (int slot = 0; slot < ShadowSlotCount; ++slot) {
        float* out = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_PS_3D, 32 * slot);
        const float empty[5] = {1.0f, 0.0f, 1.0f, 1.0f, 1.0f};
        memcpy(out, empty, sizeof(empty));
        const ShadowMapRecord* record = Graphics_ShadowMap_SlotRecord(slot);
        if (record == nullptr) continue;
        out[0] = record->ShaderParam1;
        out[1] = record->ShaderParam2;
        // The first up to three device lights, as the light refresh packed them.
        const int count = lights.SlotCount < 3 ? lights.SlotCount : 3;
        for (int i = 0; i < count; ++i) {
            const int index = lights.SlotMap[i];
            const LightRecord* light = index >= 0 && index < Light_MaxCount ? lights.Table[index] : nullptr;
            out[2 + i] = light != nullptr && light->ShadowMapFlags[slot] != 0 ? 1.0f : 0.0f;
        }
    }
    buffer->Changed = 1;
    return 0;
}

int Graphics_D3D11_ShadowMap_RefreshLightMatrices() {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_VS_TEXTURE];
    if (buffer == nullptr) return -1;
    for (int slot = 0; slot < ShadowSlotCount; ++slot) {
        float* out = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_VS_TEXTURE, 64 * slot);
        const ShadowMapRecord* record = Graphics_ShadowMap_SlotRecord(slot);
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                out[row * 4 + column] = record != nullptr ? record->LightViewProjection.m[column][row]
                                                          : (column == 3 ? -1.0f : 0.0f);
    }
    buffer->Changed = 1;
    return 0;
}

// ---- Shadow-map device objects ----

int Graphics_D3D11_ShadowMap_ReleaseTextures(ShadowMapRecord* record) {
    D3D11ShadowMapPlatform* p = Graphics_D3D11_ShadowMap_Platform(record);
    if (p == nullptr) return -1;
    // Nothing the state cache keeps bound may outlive the objects: the next binding would take a freed
    // object for the one it holds.
    if (D3D11Call_Device_Exists()) {
        D3D11StateCacheRecord& cache = D3D11StateCache;
        for (int slot = 0; slot < 8; ++slot)
            if (p->Texture != nullptr && cache.RenderTargetTexture[slot] == p->Texture)
                Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, slot);
        if (p->DepthView != nullptr && cache.DepthView == p->DepthView) Graphics_D3D11_StateCache_SetDepthStencilView(nullptr, nullptr);
    }
    if (p->Texture != nullptr) D3D11Call_Texture2D_Release(p->Texture), p->Texture = nullptr;
    if (p->ShaderView != nullptr) Graphics_D3D11_ShaderResourceView_UnbindAndRelease(p->ShaderView), p->ShaderView = nullptr;
    if (p->TargetView != nullptr) D3D11Call_RenderTargetView_Release(p->TargetView), p->TargetView = nullptr;
    if (p->DepthTexture != nullptr) D3D11Call_Texture2D_Release(p->DepthTexture), p->DepthTexture = nullptr;
    if (p->DepthView != nullptr) D3D11Call_DepthStencilView_Release(p->DepthView), p->DepthView = nullptr;
    return 0;
}

int Graphics_D3D11_ShadowMap_CreateTextures(ShadowMapRecord* record, void* async) {
    D3D11ShadowMapPlatform* p = Graphics_D3D11_ShadowMap_Platform(record);
    if (p == nullptr || !D3D11Call_Device_Exists()) return -1;
    if (record->Width <= 0 || record->Height <= 0 || record->Width > 16384 || record->Height > 16384) {
        Log_AddFormatShiftJIS("シャドウマップのサイズが不正です  SizeX:%d  SizeY:%d \n", record->Width, record->Height);
        return -1;
    }
    const int otherThread = async != nullptr;
    const bool bits16 = record->BitDepth == 16;
    p->ColorFormatIndex = bits16 ? (record->FloatFlag ? ShadowColorFormat16Float : ShadowColorFormat16) : ShadowColorFormat32;
    p->DepthFormatIndex = bits16 ? ShadowDepthIndex16 : ShadowDepthIndex32;
    const DXGI_FORMAT format = D3D11DeviceState.TextureFormat[p->ColorFormatIndex];
    if (format == DXGI_FORMAT_UNKNOWN) {
        Log_AddTextShiftJIS("シャドウマップデータ用のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
        return -1;
    }
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = (UINT)record->Width;
    desc.Height = (UINT)record->Height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    if (p->DepthTexture == nullptr) {
        desc.Format = D3D11DeviceState.DepthTextureFormat[p->DepthFormatIndex];
        desc.BindFlags = D3D11_BIND_DEPTH_STENCIL;
        if (D3D11Call_Device_CreateTexture2DASync(&desc, nullptr, &p->DepthTexture, otherThread) != S_OK) {
            p->DepthTexture = nullptr;
            Log_AddTextShiftJIS("シャドウマップ用深度バッファテクスチャの作成に失敗しました\n");
            return -1;
        }
    }
    if (p->DepthView == nullptr) {
        D3D11_DEPTH_STENCIL_VIEW_DESC view = {};
        view.Format = D3D11DeviceState.DepthViewFormat[p->DepthFormatIndex];
        view.ViewDimension = D3D11_DSV_DIMENSION_TEXTURE2D;
        if (D3D11Call_Device_CreateDepthStencilViewASync(p->DepthTexture, &view, &p->DepthView, otherThread) != S_OK) {
            p->DepthView = nullptr;
            Log_AddTextShiftJIS("シャドウマップ用深度ステンシルビューの作成に失敗しました\n");
            return -1;
        }
    }
    if (p->Texture != nullptr) return 0;
    desc.Format = format;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
    if (D3D11Call_Device_CreateTexture2DASync(&desc, nullptr, &p->Texture, otherThread) != S_OK) {
        p->Texture = nullptr;
        Log_AddTextShiftJIS("シャドウマップ用テクスチャの作成に失敗しました\n");
        return -1;
    }
    D3D11_RENDER_TARGET_VIEW_DESC target = {};
    target.Format = format;
    target.ViewDimension = D3D11_RTV_DIMENSION_TEXTURE2D;
    if (D3D11Call_Device_CreateRenderTargetViewASync(p->Texture, &target, &p->TargetView, otherThread) != S_OK) {
        p->TargetView = nullptr;
        Log_AddFormatShiftJIS("シャドウマップ用レンダーターゲットビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                              (int)format, record->Width, record->Height);
        return -1;
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC shader = {};
    shader.Format = format;
    shader.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    shader.Texture2D.MipLevels = 1;
    if (D3D11Call_Device_CreateShaderResourceViewASync(p->Texture, &shader, &p->ShaderView, otherThread) != S_OK) {
        p->ShaderView = nullptr;
        Log_AddFormatShiftJIS("シャドウマップ用シェーダーリソースビューの作成に失敗しました  Format:%d  SizeX:%d  SizeY:%d \n",
                              (int)format, record->Width, record->Height);
        return -1;
    }
    return 0;
}

int Graphics_D3D11_ShadowMap_BindSlots() {
    if (!D3D11Call_Device_Exists()) return -1;
    // While a shadow map is drawn its own view must stay out of the pixel stage.
    if (ShadowMapSlots.Count <= 0 || ShadowMapSlots.Drawing) return -1;
    ID3D11ShaderResourceView* views[ShadowSlotCount] = {};
    int last = -1;
    for (int slot = 0; slot < ShadowSlotCount; ++slot) {
        D3D11ShadowMapPlatform* p = Graphics_D3D11_ShadowMap_Platform(Graphics_ShadowMap_SlotRecord(slot));
        if (p == nullptr || p->ShaderView == nullptr) continue;
        views[slot] = p->ShaderView;
        last = ShadowFirstPixelSlot + slot;
        Graphics_D3D11_StateCache_SetAddressUVW(D3D11_TEXTURE_ADDRESS_CLAMP, last);
        Graphics_D3D11_StateCache_SetSamplerFilter(D3D11_FILTER_MIN_MAG_MIP_LINEAR, last);
    }
    Graphics_D3D11_StateCache_SetPSShaderResources(ShadowFirstPixelSlot, ShadowSlotCount, views);
    return last;
}

}  // namespace Vantrel
