// Direct3D 11 state cache: the cached setters (compare, flush before a change, send, store), the
// shared and private state objects made when a draw applies pending state, the full refresh, the
// defaults, and the blend-mode table.
// Stands on the call layer, the vertex batch, the constant buffers, the allocator and the log.
#include "graphics_d3d11/VtGraphicsD3D11State.h"

#include <float.h>
#include <math.h>
#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

namespace Vantrel {

D3D11StateCacheRecord D3D11StateCache;

#define VT_BLEND_ROW(type, enable, cs, cd, co, as, ad, ao, flag)                                                       \
    {type,                                                                                                            \
     {enable, (D3D11_BLEND)cs, (D3D11_BLEND)cd, (D3D11_BLEND_OP)co, (D3D11_BLEND)as, (D3D11_BLEND)ad,                 \
      (D3D11_BLEND_OP)ao, 15},                                                                                        \
     flag}
const D3D11BlendModeRow D3D11BlendModeTable[D3D11BlendPresetCount] = {
    VT_BLEND_ROW(0, 0, 2, 1, 1, 2, 1, 1, 1),   VT_BLEND_ROW(0, 1, 5, 6, 1, 5, 6, 1, 1),
    VT_BLEND_ROW(0, 1, 5, 2, 1, 5, 2, 1, 1),   VT_BLEND_ROW(0, 1, 10, 1, 1, 8, 1, 1, 1),
    VT_BLEND_ROW(0, 1, 1, 3, 1, 1, 5, 1, 0),   VT_BLEND_ROW(0, 1, 5, 2, 1, 5, 2, 1, 1),
    VT_BLEND_ROW(0, 0, 2, 1, 1, 2, 1, 1, 1),   VT_BLEND_ROW(0, 0, 2, 1, 1, 2, 1, 1, 1),
    VT_BLEND_ROW(0, 1, 1, 2, 1, 1, 2, 1, 0),   VT_BLEND_ROW(0, 1, 10, 1, 1, 8, 1, 1, 0),
    VT_BLEND_ROW(2, 1, 5, 6, 1, 5, 6, 1, 1),   VT_BLEND_ROW(1, 1, 1, 3, 1, 1, 5, 1, 1),
    VT_BLEND_ROW(3, 1, 5, 6, 1, 5, 6, 1, 1),   VT_BLEND_ROW(3, 1, 5, 2, 1, 5, 2, 1, 1),
    VT_BLEND_ROW(0, 1, 2, 1, 1, 2, 1, 1, 0),   VT_BLEND_ROW(0, 1, 2, 6, 1, 2, 6, 1, 0),
    VT_BLEND_ROW(0, 1, 5, 2, 3, 5, 2, 3, 1),   VT_BLEND_ROW(4, 1, 2, 6, 1, 2, 6, 1, 1),
    VT_BLEND_ROW(4, 1, 2, 2, 1, 2, 2, 1, 1),   VT_BLEND_ROW(4, 1, 2, 2, 3, 2, 2, 3, 1),
    VT_BLEND_ROW(5, 1, 2, 6, 1, 2, 6, 1, 1),   VT_BLEND_ROW(6, 1, 2, 6, 1, 2, 6, 1, 1),
    VT_BLEND_ROW(6, 1, 2, 2, 1, 2, 2, 1, 1),   VT_BLEND_ROW(0, 1, 1, 1, 1, 1, 1, 1, 0),
    VT_BLEND_ROW(0, 1, 2, 6, 1, 2, 6, 1, 0),   VT_BLEND_ROW(0, 1, 2, 2, 1, 1, 2, 1, 0),
    VT_BLEND_ROW(0, 1, 9, 6, 1, 1, 2, 1, 0),   VT_BLEND_ROW(0, 1, 1, 4, 1, 1, 6, 1, 0),
    VT_BLEND_ROW(0, 1, 5, 6, 1, 2, 6, 1, 0),   VT_BLEND_ROW(0, 1, 5, 2, 1, 2, 2, 1, 0),
    VT_BLEND_ROW(0, 1, 9, 6, 1, 6, 6, 1, 0),   VT_BLEND_ROW(0, 1, 2, 4, 1, 4, 4, 1, 0),
    VT_BLEND_ROW(0, 1, 5, 6, 1, 5, 6, 1, 0),   VT_BLEND_ROW(0, 1, 1, 2, 1, 2, 1, 1, 0),
    VT_BLEND_ROW(0, 1, 1, 2, 1, 8, 1, 1, 0),   VT_BLEND_ROW(0, 1, 1, 2, 1, 1, 5, 1, 0),
    VT_BLEND_ROW(0, 1, 1, 5, 1, 8, 1, 1, 0),   VT_BLEND_ROW(0, 1, 1, 5, 1, 1, 5, 1, 0),
};
#undef VT_BLEND_ROW

namespace {

D3D11StateCacheRecord& Cache = D3D11StateCache;

constexpr int SamplerFilterCount = 18;
constexpr int SamplerTableSize = SamplerFilterCount * 6 * 6 * 6 * 3;  // 11664
const int SamplerFilters[SamplerFilterCount] = {0,   1,   4,   5,   16,  17,  20,  21,  85,
                                                128, 129, 132, 133, 144, 145, 148, 149, 213};

// A change is made when the value differs or the force flag asks for every value again; a change
// outside the force flag first draws what the batch holds, with the state it was written for.
bool Changes(bool differs) { return differs || Cache.Force; }
void FlushBeforeChange() {
    if (!Cache.Force) Graphics_D3D11_VertexBatch_Flush(-1, 0);
}

template <typename T>
void ReleasePrivate(T*& object, int32_t& isPrivate, ULONG (*release)(T*)) {
    if (isPrivate && object != nullptr) release(object);
    object = nullptr;
    isPrivate = 0;
}

int SamplerFilterIndex(D3D11_FILTER filter) {
    for (int i = 0; i < SamplerFilterCount; ++i)
        if (SamplerFilters[i] == (int)filter) return i;
    return -1;
}

int AnisotropyClass(UINT value) { return value == 1 ? 0 : value == 2 ? 1 : value == 16 ? 2 : -1; }

bool IsZeroColour(const FLOAT colour[4]) { return colour[0] == 0 && colour[1] == 0 && colour[2] == 0 && colour[3] == 0; }

// The shared-table slot of a common sampler description, or -1 for one that needs a private object.
int SamplerSharedIndex(const D3D11_SAMPLER_DESC& d) {
    const int filter = SamplerFilterIndex(d.Filter);
    const int anisotropy = AnisotropyClass(d.MaxAnisotropy);
    if (filter < 0 || anisotropy < 0 || d.MipLODBias != 0.0f || d.ComparisonFunc != D3D11_COMPARISON_ALWAYS ||
        !IsZeroColour(d.BorderColor) || d.MinLOD != -FLT_MAX || d.MaxLOD != FLT_MAX || d.AddressU > 5 ||
        d.AddressV > 5 || d.AddressW > 5)
        return -1;
    return filter * 648 + d.AddressU * 108 + d.AddressV * 18 + d.AddressW * 3 + anisotropy;
}

int ApplySamplers() {
    int result = 0;
    int runStart = -1;
    auto sendRun = [&](int end) {
        if (runStart >= 0)
            D3D11Call_DeviceContext_PSSetSamplers((UINT)runStart, (UINT)(end - runStart), &Cache.Sampler[runStart]);
        runStart = -1;
    };
    for (int slot = 0; slot < D3D11SamplerCount; ++slot) {
        if (!Cache.SamplerDirty[slot] && !Cache.Force) {
            sendRun(slot);
            continue;
        }
        const D3D11_SAMPLER_DESC& desc = Cache.SamplerDesc[slot];
        ID3D11SamplerState* object = nullptr;
        const int shared = SamplerSharedIndex(desc);
        if (shared >= 0) {
            if (Cache.SamplerTable == nullptr) {
                Cache.SamplerTable = (ID3D11SamplerState**)Memory_AllocateZeroed(
                    (uint32_t)(sizeof(ID3D11SamplerState*) * SamplerTableSize), __FILE__, __LINE__);
            }
            if (Cache.SamplerTable != nullptr && Cache.SamplerTable[shared] == nullptr &&
                D3D11Call_Device_CreateSamplerState(&desc, &Cache.SamplerTable[shared]) != S_OK)
                Cache.SamplerTable[shared] = nullptr;
            object = Cache.SamplerTable != nullptr ? Cache.SamplerTable[shared] : nullptr;
            if (object == nullptr) {
                Log_AddTextShiftJIS("ID3D11SamplerState の作成に失敗しました　箇所２\n");
                result = -1;
                sendRun(slot);
                continue;
            }
            ReleasePrivate(Cache.Sampler[slot], Cache.SamplerPrivate[slot], D3D11Call_SamplerState_Release);
        } else {
            if (D3D11Call_Device_CreateSamplerState(&desc, &object) != S_OK) {
                Log_AddTextShiftJIS("ID3D11SamplerState の作成に失敗しました　箇所１\n");
                result = -1;
                sendRun(slot);
                continue;
            }
            ReleasePrivate(Cache.Sampler[slot], Cache.SamplerPrivate[slot], D3D11Call_SamplerState_Release);
            Cache.SamplerPrivate[slot] = 1;
        }
        Cache.Sampler[slot] = object;
        Cache.SamplerDirty[slot] = 0;
        if (runStart < 0) runStart = slot;
    }
    sendRun(D3D11SamplerCount);
    Cache.SamplersDirty = 0;
    return result;
}

int ApplyRasterizer() {
    const D3D11_RASTERIZER_DESC& d = Cache.RasterizerDesc;
    ID3D11RasterizerState* object = nullptr;
    const bool common = !d.FrontCounterClockwise && d.DepthBias == 0 && d.DepthBiasClamp == 0.0f &&
                        d.SlopeScaledDepthBias == 0.0f && !d.ScissorEnable && !d.AntialiasedLineEnable;
    if (common) {
        const int index = (d.DepthClipEnable ? 2 : 0) + d.CullMode * 16 + d.FillMode * 4 + (d.MultisampleEnable ? 1 : 0);
        if (Cache.RasterizerTable[index] == nullptr &&
            D3D11Call_Device_CreateRasterizerState(&d, &Cache.RasterizerTable[index]) != S_OK) {
            Cache.RasterizerTable[index] = nullptr;
            Log_AddTextShiftJIS("ID3D11RasterizerState の作成に失敗しました　箇所２\n");
            return -1;
        }
        object = Cache.RasterizerTable[index];
        ReleasePrivate(Cache.Rasterizer, Cache.RasterizerPrivate, D3D11Call_RasterizerState_Release);
    } else {
        if (D3D11Call_Device_CreateRasterizerState(&d, &object) != S_OK) {
            Log_AddTextShiftJIS("ID3D11RasterizerState の作成に失敗しました　箇所１\n");
            return -1;
        }
        ReleasePrivate(Cache.Rasterizer, Cache.RasterizerPrivate, D3D11Call_RasterizerState_Release);
        Cache.RasterizerPrivate = 1;
    }
    Cache.Rasterizer = object;
    Cache.RasterizerDirty = 0;
    D3D11Call_DeviceContext_RSSetState(object);
    return 0;
}

bool DefaultStencilFace(const D3D11_DEPTH_STENCILOP_DESC& f) {
    return f.StencilFailOp == D3D11_STENCIL_OP_KEEP && f.StencilDepthFailOp == D3D11_STENCIL_OP_KEEP &&
           f.StencilPassOp == D3D11_STENCIL_OP_KEEP && f.StencilFunc == D3D11_COMPARISON_ALWAYS;
}

int ApplyDepthStencil() {
    const D3D11_DEPTH_STENCIL_DESC& d = Cache.DepthStencilDesc;
    ID3D11DepthStencilState* object = nullptr;
    const bool common = !d.StencilEnable && d.StencilReadMask == 0xFF && d.StencilWriteMask == 0xFF &&
                        DefaultStencilFace(d.FrontFace) && DefaultStencilFace(d.BackFace) && d.DepthFunc <= 8;
    if (common) {
        const int index = (d.DepthEnable ? 18 : 0) + (d.DepthWriteMask == D3D11_DEPTH_WRITE_MASK_ALL ? 9 : 0) + d.DepthFunc;
        if (Cache.DepthStencilTable[index] == nullptr &&
            D3D11Call_Device_CreateDepthStencilState(&d, &Cache.DepthStencilTable[index]) != S_OK) {
            Cache.DepthStencilTable[index] = nullptr;
            Log_AddTextShiftJIS("ID3D11DepthStencilState の作成に失敗しました　箇所２\n");
            return -1;
        }
        object = Cache.DepthStencilTable[index];
        ReleasePrivate(Cache.DepthStencil, Cache.DepthStencilPrivate, D3D11Call_DepthStencilState_Release);
    } else {
        if (D3D11Call_Device_CreateDepthStencilState(&d, &object) != S_OK) {
            Log_AddTextShiftJIS("ID3D11DepthStencilState の作成に失敗しました　箇所１\n");
            return -1;
        }
        ReleasePrivate(Cache.DepthStencil, Cache.DepthStencilPrivate, D3D11Call_DepthStencilState_Release);
        Cache.DepthStencilPrivate = 1;
    }
    Cache.DepthStencil = object;
    Cache.DepthStencilDirty = 0;
    D3D11Call_DeviceContext_OMSetDepthStencilState(object, 0);
    return 0;
}

const D3D11_BLEND UserBlendFactors[11] = {
    D3D11_BLEND_ZERO,      D3D11_BLEND_ONE,           D3D11_BLEND_SRC_COLOR,  D3D11_BLEND_INV_SRC_COLOR,
    D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_DEST_COLOR, D3D11_BLEND_INV_DEST_COLOR,
    D3D11_BLEND_DEST_ALPHA, D3D11_BLEND_INV_DEST_ALPHA, D3D11_BLEND_SRC_ALPHA_SAT};
const D3D11_BLEND_OP UserBlendOps[5] = {D3D11_BLEND_OP_ADD, D3D11_BLEND_OP_SUBTRACT, D3D11_BLEND_OP_REV_SUBTRACT,
                                        D3D11_BLEND_OP_MIN, D3D11_BLEND_OP_MAX};

D3D11_BLEND UserFactor(int code) { return code >= 0 && code < 11 ? UserBlendFactors[code] : D3D11_BLEND_ONE; }
D3D11_BLEND_OP UserOp(int code) { return code >= 0 && code < 5 ? UserBlendOps[code] : D3D11_BLEND_OP_ADD; }

D3D11_BLEND_DESC DescFromTarget(const D3D11_RENDER_TARGET_BLEND_DESC& target) {
    D3D11_BLEND_DESC desc = {};
    for (auto& entry : desc.RenderTarget) entry = target;
    return desc;
}

int ApplyBlend() {
    const D3D11BlendKey& key = Cache.BlendKey;
    ID3D11BlendState* object = nullptr;
    if (key.Selector == -1 || key.Selector == 32) {
        D3D11_BLEND_DESC desc = Cache.BlendDesc;
        if (key.Selector == 32) {
            D3D11_RENDER_TARGET_BLEND_DESC target = {key.Enable != 0,    UserFactor(key.ColorSource),
                                                     UserFactor(key.ColorDest), UserOp(key.ColorOp),
                                                     UserFactor(key.AlphaSource), UserFactor(key.AlphaDest),
                                                     UserOp(key.AlphaOp),  15};
            desc = DescFromTarget(target);
        }
        if (D3D11Call_Device_CreateBlendState(&desc, &object) != S_OK) {
            Log_AddTextShiftJIS(key.Selector == 32 ? "ID3D11BlendState の作成に失敗しました　箇所３\n"
                                                   : "ID3D11BlendState の作成に失敗しました　箇所１\n");
            return -1;
        }
        ReleasePrivate(Cache.Blend, Cache.BlendPrivate, D3D11Call_BlendState_Release);
        Cache.BlendPrivate = 1;
    } else {
        const int preset = key.Selector >= 0 && key.Selector < D3D11BlendPresetCount ? key.Selector : 0;
        const int index = preset * 2 + (key.KeepDestAlpha ? 1 : 0);
        if (Cache.BlendTable[index] == nullptr) {
            D3D11_RENDER_TARGET_BLEND_DESC target = D3D11BlendModeTable[preset].Blend;
            if (key.KeepDestAlpha) {
                target.SrcBlendAlpha = D3D11_BLEND_ZERO;
                target.DestBlendAlpha = D3D11_BLEND_ONE;
                target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
            }
            const D3D11_BLEND_DESC desc = DescFromTarget(target);
            if (D3D11Call_Device_CreateBlendState(&desc, &Cache.BlendTable[index]) != S_OK) {
                Cache.BlendTable[index] = nullptr;
                Log_AddTextShiftJIS("ID3D11BlendState の作成に失敗しました　箇所２\n");
                return -1;
            }
        }
        object = Cache.BlendTable[index];
        ReleasePrivate(Cache.Blend, Cache.BlendPrivate, D3D11Call_BlendState_Release);
    }
    Cache.Blend = object;
    Cache.BlendDirty = 0;
    D3D11Call_DeviceContext_OMSetBlendState(object, Cache.BlendFactor, 0xFFFFFFFF);
    return 0;
}

// Samplers: one field of every slot or of one slot, with the flush before the first change.
template <typename Field, typename Value>
int SetSamplerField(Field field, Value value, int slot) {
    if (!D3D11Call_Device_Exists()) return -1;
    const int first = slot < 0 ? 0 : slot;
    const int last = slot < 0 ? D3D11SamplerCount - 1 : slot;
    if (slot >= D3D11SamplerCount) return -1;
    bool flushed = false;
    for (int i = first; i <= last; ++i) {
        D3D11_SAMPLER_DESC& desc = Cache.SamplerDesc[i];
        if (!Changes(desc.*field != value)) continue;
        if (!flushed) {
            FlushBeforeChange();
            flushed = true;
        }
        desc.*field = value;
        Cache.SamplerDirty[i] = 1;
        Cache.SamplersDirty = 1;
    }
    return 0;
}

float* CBFloat(int buffer, uint32_t offset) {
    return D3D11ConstantBufferState.Standard[buffer] != nullptr ? Graphics_D3D11_ConstantBuffer_Float(buffer, offset)
                                                                : nullptr;
}
void MarkChanged(int buffer) {
    if (D3D11ConstantBufferState.Standard[buffer] != nullptr) D3D11ConstantBufferState.Standard[buffer]->Changed = 1;
}

// Writes a 4 x 4 matrix transposed (rows become columns) or its first `columns` columns as rows.
int WriteColumns(int buffer, uint32_t offset, const float* matrix, int columns) {
    if (!D3D11Call_Device_Exists()) return -1;
    float* out = CBFloat(buffer, offset);
    if (out == nullptr) return -1;
    for (int column = 0; column < columns; ++column)
        for (int row = 0; row < 4; ++row) out[column * 4 + row] = matrix[row * 4 + column];
    MarkChanged(buffer);
    return 0;
}

int SetVSSwitch(int index, int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    const float value = flag ? 1.0f : 0.0f;
    if (!Changes(Cache.VSSwitch[index] != value)) return 0;
    FlushBeforeChange();
    Cache.VSSwitch[index] = value;
    if (float* out = CBFloat(D3D11CB_VS_BASE, D3D11CB1_SWITCHES + 4 * index)) {
        *out = value;
        MarkChanged(D3D11CB_VS_BASE);
    }
    return 0;
}

int SetConstantBuffers(ID3D11Buffer** cached, int firstSlot, int count, ID3D11Buffer* const* buffers,
                       void (*send)(UINT, UINT, ID3D11Buffer* const*)) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (firstSlot < 0 || count <= 0 || firstSlot + count > D3D11ConstantSlotCount) return -1;
    bool differs = false;
    for (int i = 0; i < count; ++i) differs |= cached[firstSlot + i] != buffers[i];
    if (!Changes(differs)) return 0;
    FlushBeforeChange();
    send((UINT)firstSlot, (UINT)count, buffers);
    for (int i = 0; i < count; ++i) cached[firstSlot + i] = buffers[i];
    return 0;
}

const float Identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void WriteLightConstants(int index);

}  // namespace

// ---- Bindings ----

int Graphics_D3D11_StateCache_SetViewport(const D3D11_VIEWPORT* viewport) {
    if (!D3D11Call_Device_Exists()) return -1;
    const D3D11_VIEWPORT& v = Cache.Viewport;
    if (!Changes(v.TopLeftX != viewport->TopLeftX || v.TopLeftY != viewport->TopLeftY || v.Width != viewport->Width ||
                 v.Height != viewport->Height))
        return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_RSSetViewports(1, viewport);
    Cache.Viewport = *viewport;
    return 0;
}

int Graphics_D3D11_StateCache_SetViewportRect(float x1, float y1, float x2, float y2) {
    const D3D11_VIEWPORT viewport = {x1, y1, x2 - x1, y2 - y1, 0.0f, 1.0f};
    return Graphics_D3D11_StateCache_SetViewport(&viewport);
}

int Graphics_D3D11_StateCache_ApplyRenderTargets() {
    if (!D3D11Call_Device_Exists()) return -1;
    const D3D11_TEXTURE2D_DESC* size = nullptr;
    for (int slot = 0; slot < 8; ++slot) {
        if (Cache.RenderTargetTexture[slot] == nullptr) continue;
        const D3D11_TEXTURE2D_DESC& desc = Cache.RenderTargetDesc[slot];
        if (size == nullptr) size = &desc;
        else if (desc.Width != size->Width || desc.Height != size->Height) return 0;
    }
    if (size != nullptr && Cache.DepthTexture != nullptr &&
        (Cache.DepthDesc.Width != size->Width || Cache.DepthDesc.Height != size->Height))
        return 0;
    D3D11Call_DeviceContext_OMSetRenderTargets(8, Cache.RenderTargetView, Cache.DepthView);
    return 0;
}

int Graphics_D3D11_StateCache_SetRenderTarget(ID3D11Texture2D* texture, ID3D11RenderTargetView* view, int slot) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (slot < 0 || slot >= 8) return -1;
    if (!Changes(Cache.RenderTargetTexture[slot] != texture || Cache.RenderTargetView[slot] != view)) return 0;
    FlushBeforeChange();
    Cache.RenderTargetTexture[slot] = texture;
    Cache.RenderTargetView[slot] = view;
    D3D11_TEXTURE2D_DESC& desc = Cache.RenderTargetDesc[slot];
    memset(&desc, 0, sizeof(desc));
    if (texture != nullptr) D3D11Call_Texture2D_GetDesc(texture, &desc);
    Graphics_D3D11_StateCache_ApplyRenderTargets();
    if (slot == 0 && texture != nullptr && view != nullptr) {
        D3D11_RENDER_TARGET_VIEW_DESC viewDesc = {};
        D3D11Call_View_GetDesc(view, &viewDesc);
        UINT mip = 0;
        if (viewDesc.ViewDimension == D3D11_RTV_DIMENSION_TEXTURE2D) mip = viewDesc.Texture2D.MipSlice;
        else if (viewDesc.ViewDimension == D3D11_RTV_DIMENSION_TEXTURE2DARRAY) mip = viewDesc.Texture2DArray.MipSlice;
        const UINT width = desc.Width >> mip > 0 ? desc.Width >> mip : 1;
        const UINT height = desc.Height >> mip > 0 ? desc.Height >> mip : 1;
        if (width != desc.Width || height != desc.Height)
            Graphics_D3D11_StateCache_SetViewportRect(0.0f, 0.0f, (float)width, (float)height);
    }
    return 0;
}

int Graphics_D3D11_StateCache_SetDepthStencilView(ID3D11Texture2D* texture, ID3D11DepthStencilView* view) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.DepthTexture != texture || Cache.DepthView != view)) return 0;
    FlushBeforeChange();
    Cache.DepthTexture = texture;
    Cache.DepthView = view;
    memset(&Cache.DepthDesc, 0, sizeof(Cache.DepthDesc));
    if (texture != nullptr) D3D11Call_Texture2D_GetDesc(texture, &Cache.DepthDesc);
    return Graphics_D3D11_StateCache_ApplyRenderTargets();
}

int Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.Topology != topology)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_IASetPrimitiveTopology(topology);
    Cache.Topology = topology;
    return 0;
}

int Graphics_D3D11_StateCache_SetInputLayout(ID3D11InputLayout* layout) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (layout == nullptr || !Changes(Cache.InputLayout != layout)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_IASetInputLayout(layout);
    Cache.InputLayout = layout;
    return 0;
}

int Graphics_D3D11_StateCache_SetVertexBuffer(ID3D11Buffer* buffer, UINT stride) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (buffer == nullptr || !Changes(Cache.VertexBuffer != buffer || Cache.VertexStride != stride)) return 0;
    FlushBeforeChange();
    const UINT offset = 0;
    D3D11Call_DeviceContext_IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
    Cache.VertexBuffer = buffer;
    Cache.VertexStride = stride;
    return 0;
}

int Graphics_D3D11_StateCache_SetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.IndexBuffer != buffer || Cache.IndexFormat != format)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_IASetIndexBuffer(buffer, format, 0);
    Cache.IndexBuffer = buffer;
    Cache.IndexFormat = format;
    return 0;
}

int Graphics_D3D11_StateCache_SetVertexShader(ID3D11VertexShader* shader, int standard) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.VertexShader != shader)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_VSSetShader(shader, nullptr, 0);
    Cache.VertexShader = shader;
    Cache.VertexShaderStandard = standard;
    if (!standard) Cache.StateChanged = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetPixelShader(ID3D11PixelShader* shader, int standard) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.PixelShader != shader)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_PSSetShader(shader, nullptr, 0);
    Cache.PixelShader = shader;
    Cache.PixelShaderStandard = standard;
    if (!standard) Cache.StateChanged = 1;
    return 0;
}

int Graphics_D3D11_StateCache_ClearGeometryShader() {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.GeometryShader != nullptr)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_GSSetShader(nullptr, nullptr, 0);
    Cache.GeometryShader = nullptr;
    return 0;
}

int Graphics_D3D11_StateCache_ClearVertexShader(int keepStandard) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (keepStandard && Cache.VertexShaderStandard && Cache.VertexShader != nullptr) return 0;
    if (!Changes(Cache.VertexShader != nullptr || Cache.InputLayout != nullptr)) return 0;
    FlushBeforeChange();
    D3D11Call_DeviceContext_VSSetShader(nullptr, nullptr, 0);
    D3D11Call_DeviceContext_IASetInputLayout(nullptr);
    Cache.VertexShader = nullptr;
    Cache.VertexShaderStandard = 0;
    Cache.InputLayout = nullptr;
    return 0;
}

int Graphics_D3D11_StateCache_SetPSShaderResources(int firstSlot, int count, ID3D11ShaderResourceView* const* views) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (firstSlot < 0 || count <= 0 || firstSlot + count > D3D11PSResourceCount) return -1;
    int first = -1, last = -1;
    for (int i = 0; i < count; ++i) {
        if (!Changes(Cache.PSResources[firstSlot + i] != views[i])) continue;
        if (first < 0) first = i;
        last = i;
    }
    if (first < 0) return 0;
    FlushBeforeChange();
    for (int i = first; i <= last; ++i) Cache.PSResources[firstSlot + i] = views[i];
    const UINT start = (UINT)(firstSlot + first);
    const UINT run = (UINT)(last - first + 1);
    D3D11Call_DeviceContext_PSSetShaderResources(start, run, &Cache.PSResources[start]);
    if (Cache.VertexTextures) D3D11Call_DeviceContext_VSSetShaderResources(start, run, &Cache.PSResources[start]);
    if (Cache.GeometryTextures) D3D11Call_DeviceContext_GSSetShaderResources(start, run, &Cache.PSResources[start]);
    return 0;
}

int Graphics_D3D11_StateCache_SetVSConstantBuffers(int firstSlot, int count, ID3D11Buffer* const* buffers) {
    return SetConstantBuffers(Cache.VSConstantBuffers, firstSlot, count, buffers, D3D11Call_DeviceContext_VSSetConstantBuffers);
}

int Graphics_D3D11_StateCache_SetPSConstantBuffers(int firstSlot, int count, ID3D11Buffer* const* buffers) {
    return SetConstantBuffers(Cache.PSConstantBuffers, firstSlot, count, buffers, D3D11Call_DeviceContext_PSSetConstantBuffers);
}

// ---- Descriptions applied at the next draw ----

// One field of a description that the next draw turns into a state object.
template <typename Desc, typename Field, typename Value>
int SetDescField(Desc& desc, Field field, Value value, int32_t& dirty) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(desc.*field != value)) return 0;
    FlushBeforeChange();
    desc.*field = value;
    dirty = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetFillMode(D3D11_FILL_MODE mode) {
    return SetDescField(Cache.RasterizerDesc, &D3D11_RASTERIZER_DESC::FillMode, mode, Cache.RasterizerDirty);
}
int Graphics_D3D11_StateCache_SetCullMode(int mode) {
    const D3D11_CULL_MODE cull = mode == 1 ? D3D11_CULL_BACK : mode == 2 ? D3D11_CULL_FRONT : D3D11_CULL_NONE;
    return SetDescField(Cache.RasterizerDesc, &D3D11_RASTERIZER_DESC::CullMode, cull, Cache.RasterizerDirty);
}
int Graphics_D3D11_StateCache_SetDepthBias(int bias) {
    return SetDescField(Cache.RasterizerDesc, &D3D11_RASTERIZER_DESC::DepthBias, (INT)bias, Cache.RasterizerDirty);
}
int Graphics_D3D11_StateCache_SetDepthEnable(int flag) {
    return SetDescField(Cache.DepthStencilDesc, &D3D11_DEPTH_STENCIL_DESC::DepthEnable, (BOOL)(flag != 0),
                        Cache.DepthStencilDirty);
}
int Graphics_D3D11_StateCache_SetDepthWriteEnable(int flag) {
    return SetDescField(Cache.DepthStencilDesc, &D3D11_DEPTH_STENCIL_DESC::DepthWriteMask,
                        flag ? D3D11_DEPTH_WRITE_MASK_ALL : D3D11_DEPTH_WRITE_MASK_ZERO, Cache.DepthStencilDirty);
}
int Graphics_D3D11_StateCache_SetDepthFunc(D3D11_COMPARISON_FUNC func) {
    return SetDescField(Cache.DepthStencilDesc, &D3D11_DEPTH_STENCIL_DESC::DepthFunc, func, Cache.DepthStencilDirty);
}

int Graphics_D3D11_StateCache_SetBlendStateKey(int selector, int enable, int colorSource, int colorDest, int colorOp,
                                               int alphaSource, int alphaDest, int alphaOp, int keepDestAlpha) {
    if (!D3D11Call_Device_Exists()) return -1;
    const D3D11BlendKey key = {selector, enable, colorSource, colorDest, colorOp, alphaSource, alphaDest, alphaOp,
                               keepDestAlpha};
    if (!Changes(memcmp(&key, &Cache.BlendKey, sizeof(key)) != 0)) return 0;
    FlushBeforeChange();
    Cache.BlendKey = key;
    Cache.BlendDirty = 1;
    return 0;
}

int Graphics_D3D11_StateCache_SetSamplerFilter(D3D11_FILTER filter, int slot) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (slot < 0) {
        if (filter == D3D11_FILTER_MIN_MAG_MIP_POINT || filter == D3D11_FILTER_MIN_MAG_MIP_LINEAR ||
            filter == D3D11_FILTER_ANISOTROPIC)
            Cache.DrawMode = -1;
        if (!Cache.Force && Cache.AllFilter == (int)filter) return 0;
        Cache.AllFilter = (int)filter;
    } else {
        Cache.DrawMode = -1;
        Cache.AllFilter = -1;
    }
    return SetSamplerField(&D3D11_SAMPLER_DESC::Filter, filter, slot);
}

int Graphics_D3D11_StateCache_SetMaxAnisotropy(int value, int slot) {
    if (!D3D11Call_Device_Exists()) return -1;
    const UINT clamped = (UINT)(value < 1 ? 1 : value > 16 ? 16 : value);
    if (slot < 0) {
        if (!Cache.Force && Cache.AllMaxAnisotropy == (int)clamped) return 0;
        Cache.AllMaxAnisotropy = (int)clamped;
    } else {
        Cache.AllMaxAnisotropy = -1;
    }
    return SetSamplerField(&D3D11_SAMPLER_DESC::MaxAnisotropy, clamped, slot);
}

int Graphics_D3D11_StateCache_SetAddressU(D3D11_TEXTURE_ADDRESS_MODE mode, int slot) {
    return SetSamplerField(&D3D11_SAMPLER_DESC::AddressU, mode, slot);
}
int Graphics_D3D11_StateCache_SetAddressV(D3D11_TEXTURE_ADDRESS_MODE mode, int slot) {
    return SetSamplerField(&D3D11_SAMPLER_DESC::AddressV, mode, slot);
}
int Graphics_D3D11_StateCache_SetAddressW(D3D11_TEXTURE_ADDRESS_MODE mode, int slot) {
    return SetSamplerField(&D3D11_SAMPLER_DESC::AddressW, mode, slot);
}
int Graphics_D3D11_StateCache_SetAddressUVW(D3D11_TEXTURE_ADDRESS_MODE mode, int slot) {
    if (Graphics_D3D11_StateCache_SetAddressU(mode, slot) < 0) return -1;
    Graphics_D3D11_StateCache_SetAddressV(mode, slot);
    return Graphics_D3D11_StateCache_SetAddressW(mode, slot);
}

int Graphics_D3D11_StateCache_SetDrawMode(int mode) {
    static const D3D11_FILTER filters[3] = {D3D11_FILTER_MIN_MAG_MIP_POINT, D3D11_FILTER_MIN_MAG_MIP_LINEAR,
                                            D3D11_FILTER_ANISOTROPIC};
    if (mode < 0 || mode > 2) return -1;
    if (Graphics_D3D11_StateCache_SetSamplerFilter(filters[mode], -1) < 0) return -1;
    Cache.DrawMode = mode;
    return 0;
}

// ---- Constants ----

int Graphics_D3D11_Lighting_SetEnable(int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.LightingEnable = flag != 0;
    return 0;
}

int Graphics_D3D11_StateCache_SetVSSwitch0(int flag) { return SetVSSwitch(0, flag); }
int Graphics_D3D11_StateCache_SetVSSwitch1(int flag) { return SetVSSwitch(1, flag); }
int Graphics_D3D11_StateCache_SetVSSwitch2(int flag) { return SetVSSwitch(2, flag); }

int Graphics_D3D11_StateCache_SetFogEnable(int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.FogEnable[0] = flag != 0;
    return Graphics_D3D11_StateCache_UpdateFogConstants();
}
int Graphics_D3D11_StateCache_SetFogColor(uint32_t color) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.FogColor[0] = color;
    return Graphics_D3D11_StateCache_UpdateFogConstants();
}
int Graphics_D3D11_StateCache_SetFogStartEnd(float start, float end) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.FogStart[0] = start;
    Cache.FogEnd[0] = end;
    return Graphics_D3D11_StateCache_UpdateFogConstants();
}
int Graphics_D3D11_StateCache_SetFog2Color(uint32_t color) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.FogColor[1] = color;
    return Graphics_D3D11_StateCache_UpdateFog2Constants();
}
int Graphics_D3D11_StateCache_SetFog2StartEnd(float start, float end) {
    if (!D3D11Call_Device_Exists()) return -1;
    Cache.FogStart[1] = start;
    Cache.FogEnd[1] = end;
    return Graphics_D3D11_StateCache_UpdateFog2Constants();
}

int Graphics_D3D11_StateCache_SetTextureMatrix(int use, const float* matrix) {
    if (!D3D11Call_Device_Exists()) return -1;
    const float* wanted = use && matrix != nullptr ? matrix : Identity;
    if (!Changes(Cache.TextureMatrixUsed != (use != 0) || memcmp(Cache.TextureMatrix, wanted, sizeof(Identity)) != 0))
        return 0;
    FlushBeforeChange();
    Cache.TextureMatrixUsed = use != 0;
    memcpy(Cache.TextureMatrix, wanted, sizeof(Identity));
    return WriteColumns(D3D11CB_VS_TEXTURE, D3D11CB2_TEXTURE_MATRIX, wanted, 2);
}

int Graphics_D3D11_StateCache_Set2DProjectionMatrix(const float* matrix) {
    return WriteColumns(D3D11CB_VS_BASE, D3D11CB1_PROJECTION_2D, matrix, 4);
}
int Graphics_D3D11_StateCache_SetProjectionMatrix(const float* matrix) {
    return WriteColumns(D3D11CB_VS_BASE, D3D11CB1_PROJECTION, matrix, 4);
}
int Graphics_D3D11_StateCache_SetViewMatrix(const float* matrix) {
    if (WriteColumns(D3D11CB_VS_BASE, D3D11CB1_VIEW, matrix, 3) < 0) return -1;
    memcpy(Cache.ViewMatrix, matrix, sizeof(Cache.ViewMatrix));
    for (int i = 0; i < D3D11LightCount; ++i) WriteLightConstants(i);
    return 0;
}
int Graphics_D3D11_StateCache_SetWorldMatrix(const float* matrix) {
    return WriteColumns(D3D11CB_VS_BASE, D3D11CB1_WORLD, matrix, 3);
}

int Graphics_D3D11_StateCache_SetBlendGraphParams(float a, float b, float c, float d) {
    if (!D3D11Call_Device_Exists()) return -1;
    const float values[4] = {a, b, c, d};
    if (!Changes(memcmp(values, Cache.BlendGraphParams, sizeof(values)) != 0)) return 0;
    FlushBeforeChange();
    memcpy(Cache.BlendGraphParams, values, sizeof(values));
    if (float* out = CBFloat(D3D11CB_PS_BASE, D3D11CB4_BLEND_GRAPH)) {
        memcpy(out, values, sizeof(values));
        MarkChanged(D3D11CB_PS_BASE);
    }
    return 0;
}

int Graphics_D3D11_StateCache_SetAlphaTestFunc(int func) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.AlphaTestFunc != func)) return 0;
    FlushBeforeChange();
    Cache.AlphaTestFunc = func;
    if (float* out = CBFloat(D3D11CB_PS_BASE, D3D11CB4_ALPHA_FUNC)) {
        *(int32_t*)out = func;
        MarkChanged(D3D11CB_PS_BASE);
    }
    return 0;
}

int Graphics_D3D11_StateCache_SetAlphaTestRef(int reference) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(Cache.AlphaTestRef != reference)) return 0;
    FlushBeforeChange();
    Cache.AlphaTestRef = reference;
    if (float* out = CBFloat(D3D11CB_PS_BASE, D3D11CB4_ALPHA_REF)) {
        *out = reference / 255.0f;
        MarkChanged(D3D11CB_PS_BASE);
    }
    return 0;
}

// ---- Material ----

namespace {

constexpr uint32_t MaterialDiffuseAt = 672, MaterialSpecularAt = 688, MaterialAmbientTermAt = 704, MaterialPowerAt = 720,
                   MaterialColorSourceAt = 724;

constexpr uint32_t LightStride = 112;

// One light's constants in view space (row vectors: p' = p x View).
void WriteLightConstants(int index) {
    float* out = CBFloat(D3D11CB_LIGHTING, LightStride * index);
    if (out == nullptr) return;
    const D3D11LightRecord& l = Cache.Light[index];
    const float* v = Cache.ViewMatrix;
    *(int32_t*)out = l.Type;
    for (int c = 0; c < 3; ++c) {
        out[4 + c] = l.Position[0] * v[c] + l.Position[1] * v[4 + c] + l.Position[2] * v[8 + c] + v[12 + c];
        out[8 + c] = l.Direction[0] * v[c] + l.Direction[1] * v[4 + c] + l.Direction[2] * v[8 + c];
    }
    out[7] = l.Range * l.Range;
    out[11] = l.Falloff;
    memcpy(out + 12, l.Diffuse, 12);
    const float outer = cosf(l.Phi / 2), inner = cosf(l.Theta / 2);
    out[15] = outer;
    memcpy(out + 16, l.Specular, 12);
    out[19] = inner - outer < 0.0001f ? 100000.0f : 1.0f / (inner - outer);
    for (int c = 0; c < 4; ++c) out[20 + c] = l.Ambient[c] * Cache.MaterialAmbient[c];
    memcpy(out + 24, l.Attenuation, 12);
    MarkChanged(D3D11CB_LIGHTING);
}

void WriteAmbientTerm() {
    float* out = CBFloat(D3D11CB_LIGHTING, MaterialAmbientTermAt);
    if (out == nullptr) return;
    for (int i = 0; i < 4; ++i) out[i] = Cache.GlobalAmbient[i] * Cache.MaterialAmbient[i] + Cache.MaterialEmissive[i];
    MarkChanged(D3D11CB_LIGHTING);
}

}  // namespace

int Graphics_D3D11_StateCache_SetMaterial(const float* diffuse, const float* ambient, const float* specular,
                                          const float* emissive, float power) {
    if (!D3D11Call_Device_Exists()) return -1;
    float* out = CBFloat(D3D11CB_LIGHTING, MaterialDiffuseAt);
    if (out == nullptr) return -1;
    FlushBeforeChange();
    memcpy(out, diffuse, 16);
    memcpy(CBFloat(D3D11CB_LIGHTING, MaterialSpecularAt), specular, 16);
    *CBFloat(D3D11CB_LIGHTING, MaterialPowerAt) = power < 1e-11f ? 1e-11f : power;
    memcpy(Cache.MaterialAmbient, ambient, 16);
    memcpy(Cache.MaterialEmissive, emissive, 16);
    Graphics_D3D11_StateCache_UpdateAmbientConstants();
    return 0;
}

int Graphics_D3D11_StateCache_SetMaterialColorSource(const int32_t* sources) {
    if (!D3D11Call_Device_Exists()) return -1;
    int32_t* out = (int32_t*)CBFloat(D3D11CB_LIGHTING, MaterialColorSourceAt);
    if (out == nullptr || sources == nullptr) return -1;
    int32_t values[3];
    for (int i = 0; i < 3; ++i) values[i] = sources[i] != 0;
    if (!Changes(memcmp(out, values, sizeof(values)) != 0)) return 0;
    FlushBeforeChange();
    memcpy(out, values, sizeof(values));
    MarkChanged(D3D11CB_LIGHTING);
    return 0;
}

int Graphics_D3D11_StateCache_SetLight(int index, const D3D11LightRecord* light) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (index < 0 || index >= D3D11LightCount || light == nullptr) return -1;
    if (!Changes(memcmp(&Cache.Light[index], light, sizeof(*light)) != 0)) return 0;
    FlushBeforeChange();
    Cache.Light[index] = *light;
    WriteLightConstants(index);
    return 0;
}

int Graphics_D3D11_StateCache_SetLightEnable(int index, int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (index < 0 || index >= D3D11LightCount) return -1;
    const int value = flag != 0;
    if (!Changes(Cache.LightEnable[index] != value)) return 0;
    FlushBeforeChange();
    Cache.LightEnable[index] = value;
    Cache.LightMaxIndex = -1;
    for (int i = 0; i < D3D11LightCount; ++i)
        if (Cache.LightEnable[i]) Cache.LightMaxIndex = i;
    Graphics_D3D11_StateCache_UpdateAmbientConstants();
    return 0;
}

D3D11ConstantBuffer* Graphics_D3D11_StateCache_UpdateAmbientConstants() {
    if (!D3D11Call_Device_Exists()) return nullptr;
    for (int i = 0; i <= Cache.LightMaxIndex && i < D3D11LightCount; ++i) {
        if (!Cache.LightEnable[i]) continue;
        float* out = CBFloat(D3D11CB_LIGHTING, LightStride * i + 80);
        if (out == nullptr) break;
        for (int c = 0; c < 4; ++c) out[c] = Cache.Light[i].Ambient[c] * Cache.MaterialAmbient[c];
    }
    WriteAmbientTerm();
    return D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING];
}

int Graphics_D3D11_StateCache_SetGlobalAmbient(const float* colour) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Changes(memcmp(Cache.GlobalAmbient, colour, 16) != 0)) return 0;
    FlushBeforeChange();
    memcpy(Cache.GlobalAmbient, colour, 16);
    WriteAmbientTerm();
    return 0;
}

// ---- Whole state ----

int Graphics_D3D11_StateCache_ApplyPending() {
    if (!D3D11Call_Device_Exists()) return -1;
    int result = 0;
    if (Cache.SamplersDirty || Cache.Force) result |= ApplySamplers();
    if (Cache.RasterizerDirty || Cache.Force) result |= ApplyRasterizer();
    if (Cache.DepthStencilDirty || Cache.Force) result |= ApplyDepthStencil();
    if (Cache.BlendDirty || Cache.Force) result |= ApplyBlend();
    Graphics_D3D11_ConstantBuffers_UpdateStandard();
    return result != 0 ? -1 : 0;
}

int Graphics_D3D11_StateCache_RefreshAll() {
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    Cache.Force = 1;
    const D3D11_VIEWPORT viewport = Cache.Viewport;
    Graphics_D3D11_StateCache_SetViewport(&viewport);
    D3D11Call_DeviceContext_HSSetShader(nullptr, nullptr, 0);
    D3D11Call_DeviceContext_DSSetShader(nullptr, nullptr, 0);
    D3D11Call_DeviceContext_CSSetShader(nullptr, nullptr, 0);
    Graphics_D3D11_StateCache_ApplyPending();
    for (int slot = 0; slot < D3D11SamplerCount; ++slot) Cache.SamplerDirty[slot] = 0;
    Graphics_D3D11_StateCache_SetPrimitiveTopology(Cache.Topology);
    Graphics_D3D11_StateCache_SetInputLayout(Cache.InputLayout);
    Graphics_D3D11_StateCache_SetVertexShader(Cache.VertexShader, Cache.VertexShaderStandard);
    Graphics_D3D11_StateCache_SetIndexBuffer(Cache.IndexBuffer, Cache.IndexFormat);
    if (Cache.GeometryShader == nullptr) Graphics_D3D11_StateCache_ClearGeometryShader();
    Graphics_D3D11_StateCache_SetPixelShader(Cache.PixelShader, Cache.PixelShaderStandard);
    Graphics_D3D11_StateCache_SetVertexBuffer(Cache.VertexBuffer, Cache.VertexStride);
    Graphics_D3D11_StateCache_ApplyRenderTargets();
    Graphics_D3D11_StateCache_SetViewport(&viewport);
    ID3D11Buffer* vs[4] = {};
    ID3D11Buffer* ps[4] = {};
    static const int vsBuffers[4] = {D3D11CB_LIGHTING, D3D11CB_VS_BASE, D3D11CB_VS_TEXTURE, D3D11CB_VS_3D};
    static const int psBuffers[4] = {D3D11CB_LIGHTING, D3D11CB_PS_BASE, D3D11CB_PS_3D, D3D11CB_PS_FILTER};
    bool buffersExist = true;
    for (int i = 0; i < 4; ++i) {
        D3D11ConstantBuffer* v = D3D11ConstantBufferState.Standard[vsBuffers[i]];
        D3D11ConstantBuffer* p = D3D11ConstantBufferState.Standard[psBuffers[i]];
        buffersExist &= v != nullptr && p != nullptr;
        vs[i] = v != nullptr ? v->Buffer : nullptr;
        ps[i] = p != nullptr ? p->Buffer : nullptr;
    }
    if (buffersExist) {
        for (D3D11ConstantBuffer* buffer : D3D11ConstantBufferState.Standard) buffer->Changed = 1;
        Graphics_D3D11_ConstantBuffers_UpdateStandard();
        Graphics_D3D11_StateCache_SetVSConstantBuffers(0, 4, vs);
        Graphics_D3D11_StateCache_SetPSConstantBuffers(0, 4, ps);
    }
    Graphics_D3D11_NormalDraw_Refresh();
    Cache.Force = 0;
    return 0;
}

int Graphics_D3D11_StateCache_SetDefaults() {
    if (!D3D11Call_Device_Exists()) return -1;
    // The filter shaders are made again for the device in its default state.
    GraphFilter_ResetShaderHandles();
    D3D11_RASTERIZER_DESC& r = Cache.RasterizerDesc;
    memset(&r, 0, sizeof(r));
    r.FillMode = D3D11_FILL_SOLID;
    r.CullMode = D3D11_CULL_NONE;
    r.DepthClipEnable = TRUE;
    r.MultisampleEnable = TRUE;
    D3D11_DEPTH_STENCIL_DESC& d = Cache.DepthStencilDesc;
    memset(&d, 0, sizeof(d));
    d.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    d.DepthFunc = D3D11_COMPARISON_LESS_EQUAL;
    d.StencilReadMask = 0xFF;
    d.StencilWriteMask = 0xFF;
    d.FrontFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    d.BackFace = d.FrontFace;
    const D3D11_RENDER_TARGET_BLEND_DESC opaque = {FALSE, D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD,
                                                   D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, 15};
    Cache.BlendDesc = DescFromTarget(opaque);
    for (D3D11_SAMPLER_DESC& s : Cache.SamplerDesc) {
        s = {};
        s.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
        s.AddressU = s.AddressV = s.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
        s.MaxAnisotropy = 16;
        s.ComparisonFunc = D3D11_COMPARISON_ALWAYS;
        s.MinLOD = -FLT_MAX;
        s.MaxLOD = FLT_MAX;
    }
    Cache.AllFilter = -1;
    Cache.AllMaxAnisotropy = -1;
    for (int slot = 0; slot < D3D11SamplerCount; ++slot) {
        if (DrawSettings.AddressModeU[slot] == 0) DrawSettings.AddressModeU[slot] = D3D11_TEXTURE_ADDRESS_CLAMP;
        if (DrawSettings.AddressModeV[slot] == 0) DrawSettings.AddressModeV[slot] = D3D11_TEXTURE_ADDRESS_CLAMP;
        if (DrawSettings.AddressModeW[slot] == 0) DrawSettings.AddressModeW[slot] = D3D11_TEXTURE_ADDRESS_CLAMP;
    }
    memcpy(Cache.ViewMatrix, Identity, sizeof(Identity));
    Cache.LightMaxIndex = -1;
    for (int i = 0; i < D3D11LightCount; ++i)
        if (Cache.LightEnable[i]) Cache.LightMaxIndex = i;

    Cache.Force = 1;
    Graphics_D3D11_StateCache_SetSamplerFilter(D3D11_FILTER_MIN_MAG_MIP_POINT, -1);
    Graphics_D3D11_StateCache_SetMaxAnisotropy(16, -1);
    Graphics_D3D11_StateCache_SetTextureMatrix(0, nullptr);
    static const float materialDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f}, materialSpecular[4] = {0.8f, 0.8f, 0.8f, 0.0f},
                       black[4] = {};
    Graphics_D3D11_StateCache_SetMaterial(materialDiffuse, black, materialSpecular, black, 20.0f);
    Graphics_D3D11_StateCache_SetMaterialColorSource(DrawSettings.MaterialColorSource);
    for (int i = 0; i < 3; ++i) SetVSSwitch(i, 1);
    for (int set = 0; set < 2; ++set) {
        Cache.FogEnable[set] = 0;
        Cache.FogColor[set] = 0;
        Cache.FogMode[set] = 0;
        Cache.FogStart[set] = 0.0f;
        Cache.FogEnd[set] = 1.0f;
        Cache.FogDensity[set] = 1.0f;
    }
    Graphics_D3D11_StateCache_UpdateFogConstants();
    Graphics_D3D11_StateCache_UpdateFog2Constants();
    Graphics_D3D11_StateCache_SetGlobalAmbient(black);
    Graphics_D3D11_StateCache_SetViewportRect(0.0f, 0.0f, (float)GraphicsScreenState.ScreenWidth,
                                              (float)GraphicsScreenState.ScreenHeight);
    Graphics_D3D11_StateCache_SetIgnoreTextureColor(0);
    for (int i = 0; i < 3; ++i) Graphics_D3D11_StateCache_SetPSSwitch(i, 0);
    const D3D11TargetWindow& window = D3D11WindowState.Targets[0];
    Graphics_D3D11_StateCache_SetRenderTarget(window.BackBuffer, window.BackBufferRTV, 0);
    Graphics_D3D11_StateCache_SetBlendStateKey(0, 0, 0, 0, 0, 0, 0, 0, 0);
    Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    Graphics_D3D11_StateCache_SetAlphaTestFunc(5);
    Graphics_D3D11_StateCache_SetAlphaTestRef(-1);
    const D3D11NormalDrawStateRecord& normal = D3D11NormalDrawState;
    Graphics_D3D11_StateCache_SetBlendMode(normal.BlendMode, normal.BlendParams, 0, 0);
    Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr);
    Graphics_D3D11_StateCache_SetBlendTexture(nullptr, nullptr, 0, 0);
    Cache.Force = 0;
    Graphics_D3D11_StateCache_RefreshAll();
    return Graphics_D3D11_VertexBatch_Reset();
}

int Graphics_D3D11_StateCache_ReleaseAll() {
    ReleasePrivate(Cache.Rasterizer, Cache.RasterizerPrivate, D3D11Call_RasterizerState_Release);
    ReleasePrivate(Cache.DepthStencil, Cache.DepthStencilPrivate, D3D11Call_DepthStencilState_Release);
    ReleasePrivate(Cache.Blend, Cache.BlendPrivate, D3D11Call_BlendState_Release);
    for (int slot = 0; slot < D3D11SamplerCount; ++slot)
        ReleasePrivate(Cache.Sampler[slot], Cache.SamplerPrivate[slot], D3D11Call_SamplerState_Release);
    for (ID3D11RasterizerState*& object : Cache.RasterizerTable) {
        D3D11Call_RasterizerState_Release(object);
        object = nullptr;
    }
    for (ID3D11DepthStencilState*& object : Cache.DepthStencilTable) {
        D3D11Call_DepthStencilState_Release(object);
        object = nullptr;
    }
    for (ID3D11BlendState*& object : Cache.BlendTable) {
        D3D11Call_BlendState_Release(object);
        object = nullptr;
    }
    if (Cache.SamplerTable != nullptr) {
        for (int i = 0; i < SamplerTableSize; ++i) D3D11Call_SamplerState_Release(Cache.SamplerTable[i]);
        Memory_Free(Cache.SamplerTable);
    }
    // Everything else is a binding or a value: start again from nothing, so the next setter sends.
    memset(&Cache, 0, sizeof(Cache));
    memcpy(Cache.ViewMatrix, Identity, sizeof(Identity));
    Cache.LightMaxIndex = -1;
    Cache.AllFilter = -1;
    Cache.AllMaxAnisotropy = -1;
    Cache.DrawMode = -1;
    return 0;
}

}  // namespace Vantrel
