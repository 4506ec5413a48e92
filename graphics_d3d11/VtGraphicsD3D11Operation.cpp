// Direct3D 11 per-operation bodies of the switch layer: the packed draw colour, colour add, the blend
// graph, the draw area and transforms, draw mode, fog, lights, texture address modes, buffer data,
// buffer, constant-buffer and shader release, shader creation, the shadow-map slot and the vertical-
// blank wait.
// Stands on the call layer, the state cache, the normal-draw state, the constant buffers and the
// core's draw settings, transforms and handle records.
#include <string.h>

#include "font/VtFontText.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

namespace Vantrel {

namespace {

constexpr uint32_t ColourAddOffset = 64;    // four floats of the pixel-shader base buffer

void Flush() { Graphics_D3D11_VertexBatch_Flush(-1, 0); }

bool Forced() { return D3D11StateCache.Force != 0 || D3D11NormalDrawState.Force != 0; }

// The float matrix product a x b (row vectors).
void Product(float* out, const float* a, const float* b) {
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[i * 4 + k] * b[k * 4 + j];
            r[i * 4 + j] = sum;
        }
    memcpy(out, r, sizeof(r));
}

// The device projection: (2D mode ? the 2D matrix : view x projection) x the draw area's viewport
// conversion, written transposed into the vertex-shader base buffer.
int WriteProjection() {
    const GraphicsTransformRecord& t = GraphicsTransform;
    float p[16];
    if (t.Projection2DSet) {
        memcpy(p, &t.Projection2DF, sizeof(p));
    } else {
        Product(p, (const float*)&t.ViewF, (const float*)&t.ProjectionF);
        Product(p, p, (const float*)&t.Viewport3DF);
    }
    Product(p, p, (const float*)&t.DrawAreaViewportInverseF);
    return Graphics_D3D11_StateCache_SetProjectionMatrix(p);
}

}  // namespace

int Graphics_D3D11_DiffuseColor_Refresh() {
    if (!D3D11Call_Device_Exists()) return -1;
    const DrawSettingsRecord& s = DrawSettings;
    const uint32_t alpha = s.BlendMode != 0 || Font_TextDrawing ? (uint32_t)s.BlendParam & 0xFF : 255u;
    const uint32_t red = (s.DrawBright >> 16) & 0xFF, green = (s.DrawBright >> 8) & 0xFF, blue = s.DrawBright & 0xFF;
    if (GraphicsSystemState.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA])
        D3D11DrawColor = alpha << 24 | red << 16 | green << 8 | blue;
    else
        D3D11DrawColor = alpha << 24 | blue << 16 | green << 8 | red;
    return 0;
}

int Graphics_D3D11_ColorAdd_Set(int red, int green, int blue) {
    if (!D3D11Call_Device_Exists()) return -1;
    Flush();
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_PS_BASE];
    if (buffer == nullptr) return -1;
    const float values[4] = {(float)red / 255.0f, (float)green / 255.0f, (float)blue / 255.0f, 0.0f};
    memcpy((uint8_t*)buffer->Data + ColourAddOffset, values, sizeof(values));
    buffer->Changed = 1;
    return 0;
}

int Graphics_D3D11_BlendGraph_Setup(GraphHandleRecord* blendGraph, int type, const int* params) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11NormalDrawStateRecord& state = D3D11NormalDrawState;
    if (blendGraph != nullptr && blendGraph->Orig != nullptr && blendGraph->Orig->format.hardware &&
        blendGraph->drawPartCount > 0 && blendGraph->drawParts[0].part != nullptr &&
        blendGraph->drawParts[0].part->platformArea != nullptr) {
        const GraphTexturePart* part = blendGraph->drawParts[0].part;
        Graphics_D3D11_StateCache_SetBlendTexture((ID3D11Texture2D*)part->platformArea[1],
                                                  (ID3D11ShaderResourceView*)part->platformArea[2], part->textureWidth,
                                                  part->textureHeight);
        return Graphics_D3D11_StateCache_SetBlendGraphParam(type, params);
    }
    DrawSettings.BlendGraph = -1;
    if (!Forced() && state.BlendTexture == nullptr) return 0;
    Flush();
    const bool wasBound = state.BlendTexture != nullptr;
    state.BlendTexture = nullptr;
    state.BlendTextureView = nullptr;
    state.TextureChanged = 1;
    state.StateChanged = 1;
    if (wasBound) state.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D11_DrawArea_Set() {
    if (!D3D11Call_Device_Exists()) return -1;
    const RECT& area = DrawSettings.DrawArea;
    if (area.right <= area.left || area.bottom <= area.top) return -1;
    const D3D11_VIEWPORT viewport = {(float)area.left, (float)area.top, (float)(area.right - area.left),
                                     (float)(area.bottom - area.top), 0.0f, 1.0f};
    Graphics_D3D11_StateCache_SetViewport(&viewport);
    WriteProjection();
    // The 2D vertex shaders place pixels through the draw area's viewport conversion alone.
    return Graphics_D3D11_StateCache_Set2DProjectionMatrix((const float*)&GraphicsTransform.DrawAreaViewportInverseF);
}

int Graphics_D3D11_Transform_SetProjection() {
    if (!D3D11Call_Device_Exists()) return -1;
    return WriteProjection();
}

int Graphics_D3D11_Transform_SetView(const MatrixF* matrix) {
    if (matrix == nullptr) return -1;
    return Graphics_D3D11_StateCache_SetViewMatrix((const float*)matrix);
}

int Graphics_D3D11_Transform_SetWorld(const MatrixF* matrix) {
    if (matrix == nullptr) return -1;
    return Graphics_D3D11_StateCache_SetWorldMatrix((const float*)matrix);
}

int Graphics_D3D11_DrawMode_Set(int mode) { return Graphics_D3D11_StateCache_SetDrawMode(mode); }

int Graphics_D3D11_Fog_SetColor(unsigned int color) { return Graphics_D3D11_StateCache_SetFogColor(color); }

int Graphics_D3D11_Fog_SetEnable(int flag) {
    if (!D3D11Call_Device_Exists()) return -1;
    const int value = flag != 0;
    if (D3D11StateCache.FogEnable[0] == value && !Forced()) return 0;
    Flush();
    D3D11NormalDrawState.StateChanged = 1;
    return Graphics_D3D11_StateCache_SetFogEnable(value);
}

int Graphics_D3D11_Fog_SetMode(int mode) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (D3D11StateCache.FogMode[0] == mode && !Forced()) return 0;
    Flush();
    D3D11StateCache.FogMode[0] = mode;
    D3D11NormalDrawState.StateChanged = 1;
    return Graphics_D3D11_StateCache_UpdateFogConstants();
}

int Graphics_D3D11_Fog_SetStartEnd(float start, float end) { return Graphics_D3D11_StateCache_SetFogStartEnd(start, end); }

int Graphics_D3D11_Light_SetEnable(int index, int flag) { return Graphics_D3D11_StateCache_SetLightEnable(index, flag); }

int Graphics_D3D11_TextureAddressMode_Set(int u, int v, int sampler) {
    if (Graphics_D3D11_StateCache_SetAddressU((D3D11_TEXTURE_ADDRESS_MODE)u, sampler < 0 ? -1 : sampler) < 0) return -1;
    return Graphics_D3D11_StateCache_SetAddressV((D3D11_TEXTURE_ADDRESS_MODE)v, sampler < 0 ? -1 : sampler);
}

// ---- Buffers and shaders ----

int Graphics_D3D11_Buffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (buffer == nullptr || first < 0 || count < 0 || (count > 0 && data == nullptr)) return -1;
    ID3D11Buffer* object = (ID3D11Buffer*)buffer->PlatformArea[0];
    if (object == nullptr || count == 0) return 0;
    const uint64_t left = (uint64_t)first * (uint32_t)buffer->ElementSize;
    const uint64_t right = ((uint64_t)first + (uint64_t)count) * (uint32_t)buffer->ElementSize;
    if (right > 0xFFFFFFFFu) return -1;
    const D3D11_BOX box = {(UINT)left, 0, 0, (UINT)right, 1, 1};
    D3D11Call_DeviceContext_UpdateSubresource(object, 0, &box, data, 0, 0);
    return 0;
}

int Graphics_D3D11_Buffer_Release(BufferHandleRecord* buffer) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (buffer == nullptr) return 0;
    ID3D11Buffer* object = (ID3D11Buffer*)buffer->PlatformArea[0];
    if (object != nullptr) {
        if (D3D11StateCache.VertexBuffer == object) D3D11StateCache.VertexBuffer = nullptr;
        if (D3D11StateCache.IndexBuffer == object) D3D11StateCache.IndexBuffer = nullptr;
        D3D11Call_Buffer_Release(object);
    }
    buffer->PlatformArea[0] = nullptr;
    return 0;
}

int Graphics_D3D11_Buffer_Create(BufferHandleRecord* buffer, int indexBuffer) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (buffer == nullptr) return -1;
    if (buffer->PlatformArea[0] != nullptr) return 0;
    // Element size times count, in 64 bits: a device buffer holds at most 4 GB - 1 bytes.
    const int64_t bytes = (int64_t)buffer->ElementSize * (int64_t)buffer->ElementCount;
    const bool sized = buffer->ElementSize > 0 && buffer->ElementCount > 0 && bytes <= 0xFFFFFFFFll;
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = sized ? (UINT)bytes : 0;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = indexBuffer ? D3D11_BIND_INDEX_BUFFER : D3D11_BIND_VERTEX_BUFFER;
    D3D11_SUBRESOURCE_DATA data = {};
    data.pSysMem = buffer->SystemCopy;
    ID3D11Buffer* object = nullptr;
    if (!sized || D3D11Call_Device_CreateBuffer(&desc, buffer->SystemCopy != nullptr ? &data : nullptr, &object) != S_OK) {
        Log_AddTextShiftJIS(indexBuffer ? "インデックスバッファハンドル用のインデックスバッファの作成に失敗しました\n"
                                        : "頂点バッファハンドル用の頂点バッファの作成に失敗しました\n");
        return -1;
    }
    buffer->PlatformArea[0] = object;
    return 0;
}

int Graphics_D3D11_ShaderConstantBuffer_Release(ConstantBufferHandleRecord* record) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (record == nullptr) return 0;
    D3D11ConstantBuffer* buffer = (D3D11ConstantBuffer*)record->PlatformArea[0];
    if (buffer != nullptr) Graphics_D3D11_ConstantBuffer_Delete(buffer);
    record->PlatformArea[0] = nullptr;
    return 0;
}

namespace {

// The device shader of one kind (0 vertex, 1 pixel, 2 geometry) from its byte code; a failure is logged.
int MakeShader(int kind, const void* byteCode, int size, int inJob, void** object) {
    HRESULT made = E_FAIL;
    switch (kind) {
        case 0:
            made = D3D11Call_Device_CreateVertexShaderASync(byteCode, (SIZE_T)size, nullptr, (ID3D11VertexShader**)object,
                                                            inJob);
            if (made != S_OK) Log_AddTextShiftJIS("頂点シェーダーの作成に失敗しました\n");
            break;
        case 1:
            made = D3D11Call_Device_CreatePixelShaderASync(byteCode, (SIZE_T)size, nullptr, (ID3D11PixelShader**)object,
                                                           inJob);
            if (made != S_OK) Log_AddTextShiftJIS("ピクセルシェーダーの作成に失敗しました\n");
            break;
        case 2:
            made = D3D11Call_Device_CreateGeometryShaderASync(byteCode, (SIZE_T)size, nullptr,
                                                              (ID3D11GeometryShader**)object, inJob);
            if (made != S_OK) Log_AddTextShiftJIS("ジオメトリシェーダーの作成に失敗しました\n");
            break;
        default:
            return -1;
    }
    if (made == S_OK) return 0;
    *object = nullptr;
    return -1;
}

}  // namespace

int Graphics_D3D11_Shader_Create(int shader, int kind, const void* byteCode, int size, int freeSource, int inJob) {
    auto end = [&](int result) {
        if (freeSource) Memory_Free(const_cast<void*>(byteCode));
        return result;
    };
    if (!D3D11Call_Device_Exists()) return end(-1);
    ShaderHandleRecord* record = Graphics_Shader_GetHandleData(shader, inJob);
    if (record == nullptr || byteCode == nullptr || size <= 0) return end(-1);
    if (kind < 0 || kind > 2) return end(-1);
    void* object = nullptr;
    if (MakeShader(kind, byteCode, size, inJob, &object) < 0) return end(-1);
    void* copy = Memory_Allocate((uint32_t)size, __FILE__, __LINE__);
    if (copy == nullptr) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました");
        if (kind == 0) D3D11Call_VertexShader_Release((ID3D11VertexShader*)object);
        else if (kind == 1) D3D11Call_PixelShader_Release((ID3D11PixelShader*)object);
        else D3D11Call_GeometryShader_Release((ID3D11GeometryShader*)object);
        return end(-1);
    }
    memcpy(copy, byteCode, (size_t)size);
    Memory_Free(record->ByteCode);
    record->ByteCode = copy;
    record->ByteCodeSize = size;
    record->Kind = kind;
    record->PlatformArea[0] = object;
    return end(0);
}

int Graphics_D3D11_Shader_ReCreate(ShaderHandleRecord* record) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (record == nullptr) return -1;
    if (record->PlatformArea[0] != nullptr || record->ByteCode == nullptr) return 0;
    void* object = nullptr;
    if (record->ByteCodeSize <= 0 || MakeShader(record->Kind, record->ByteCode, record->ByteCodeSize, 0, &object) < 0)
        return -1;
    record->PlatformArea[0] = object;
    return 0;
}

int Graphics_D3D11_Shader_Release(ShaderHandleRecord* record) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (record == nullptr || record->PlatformArea[0] == nullptr) return 0;
    void* object = record->PlatformArea[0];
    D3D11StateCacheRecord& cache = D3D11StateCache;
    switch (record->Kind) {
        case 0:
            if (cache.VertexShader == object) Graphics_D3D11_StateCache_ClearVertexShader(0);
            D3D11Call_VertexShader_Release((ID3D11VertexShader*)object);
            break;
        case 1:
            if (cache.PixelShader == object) cache.PixelShader = nullptr;
            D3D11Call_PixelShader_Release((ID3D11PixelShader*)object);
            break;
        case 2:
            if (cache.GeometryShader == object) Graphics_D3D11_StateCache_ClearGeometryShader();
            D3D11Call_GeometryShader_Release((ID3D11GeometryShader*)object);
            break;
        default:
            return 0;
    }
    record->PlatformArea[0] = nullptr;
    return 0;
}

int Graphics_D3D11_WaitVSync(int count) {
    if (!D3D11Call_Device_Exists()) return -1;
    const int main = D3D11WindowState.MainTarget;
    if (main < 0 || main >= D3D11TargetWindowMax || !D3D11WindowState.Targets[main].Used) return -1;
    IDXGIOutput* output = D3D11WindowState.Targets[main].Output;
    if (output == nullptr) return -1;
    // An output that cannot wait (Wine answers E_NOTIMPL) returns at once; the frame goes on.
    for (int i = 0; i < count; ++i)
        if (FAILED(D3D11Call_Output_WaitForVBlank(output))) break;
    return 0;
}

int Graphics_D3D11_ShadowMap_SetSlot(int slot, int shadowMap) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11NormalDrawState.SetupNeeded = 1;
    D3D11NormalDrawState.StateChanged = 1;
    D3D11Lit3DState.ShadowMapsInUse = ShadowMapSlots.Count;
    return 0;
}

}  // namespace Vantrel
