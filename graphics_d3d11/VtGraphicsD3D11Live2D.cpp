// Direct3D 11 Live2D renderer: shader objects from the module's pack, the fixed state objects, the
// growing buffers, the mask texture, and the draws.
// Stands on the call layer, the state cache, the vertex batch and the Live2D module's shader pack.
#include "graphics_d3d11/VtGraphicsD3D11Live2D.h"

#include <string.h>

#include "foundation/VtArchive.h"
#include "foundation/VtCharCode.h"
#include "graphics/VtLive2DCubism4.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11Live2DRecord D3D11Live2D;

const char* const D3D11Live2DVertexShaderNames[D3D11LIVE2D_VS_COUNT] = {
    "Live2DNormalVS", "Live2DMaskedVS", "Live2DSetupMaskVS"};
const char* const D3D11Live2DPixelShaderNames[D3D11LIVE2D_PS_COUNT] = {
    "Live2DNormalPS",         "Live2DNormalPremultipliedPS",         "Live2DMaskedPS",
    "Live2DMaskedPremultipliedPS", "Live2DMaskedInvertedPS", "Live2DMaskedInvertedPremultipliedPS",
    "Live2DSetupMaskPS"};

namespace {

D3D11Live2DRecord& R = D3D11Live2D;

struct Vertex {
    float X, Y, U, V;
};

// The constant rows the shaders read (see graphics_d3d11/shaders/live2d).
struct Constants {
    float Projection[4][4];     // columns: row i gives clip component i
    float Clip[4][4];
    float BaseColor[4];
    float MultiplyColor[4];
    float ScreenColor[4];
    float Channel[4];
    float MaskRect[4];          // least x, least y, greatest x, greatest y
};
static_assert(sizeof(Constants) == 13 * 16, "13 constant rows");

template <typename T>
void ReleaseInto(T*& object, ULONG (*release)(T*)) {
    if (object != nullptr) release(object);
    object = nullptr;
}

// The code of one shader of the pack, or false.
bool PackFile(const char* name, const uint8_t** code, uint32_t* size) {
    const Live2DModuleStateRecord& state = Live2DModuleState;
    uint64_t offset = 0, bytes = 0;
    if (state.ShaderPackImage == nullptr ||
        Archive_LocateFile(const_cast<ArchiveContext*>(&state.ShaderPack), CodePage_Ascii, name, &offset, &bytes) != 0 ||
        bytes == 0 || offset > state.ShaderPackImageSize || bytes > state.ShaderPackImageSize - offset)
        return false;
    *code = static_cast<const uint8_t*>(state.ShaderPackImage) + offset;
    *size = static_cast<uint32_t>(bytes);
    return true;
}

bool MakeBlend(int which, D3D11_BLEND source, D3D11_BLEND dest, D3D11_BLEND alphaSource, D3D11_BLEND alphaDest) {
    D3D11_BLEND_DESC desc = {};
    D3D11_RENDER_TARGET_BLEND_DESC& target = desc.RenderTarget[0];
    target.BlendEnable = TRUE;
    target.SrcBlend = source;
    target.DestBlend = dest;
    target.BlendOp = D3D11_BLEND_OP_ADD;
    target.SrcBlendAlpha = alphaSource;
    target.DestBlendAlpha = alphaDest;
    target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
    target.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
    return D3D11Call_Device_CreateBlendState(&desc, &R.Blend[which]) == S_OK;
}

bool MakeStates() {
    if (!MakeBlend(D3D11LIVE2D_BLEND_NORMAL, D3D11_BLEND_ONE, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ONE,
                   D3D11_BLEND_INV_SRC_ALPHA) ||
        !MakeBlend(D3D11LIVE2D_BLEND_ADDITIVE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_ONE) ||
        !MakeBlend(D3D11LIVE2D_BLEND_MULTIPLICATIVE, D3D11_BLEND_DEST_COLOR, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_ZERO,
                   D3D11_BLEND_ONE) ||
        !MakeBlend(D3D11LIVE2D_BLEND_MASK, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE, D3D11_BLEND_ONE))
        return false;
    D3D11_SAMPLER_DESC sampler = {};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler.ComparisonFunc = D3D11_COMPARISON_NEVER;
    sampler.MaxLOD = D3D11_FLOAT32_MAX;
    D3D11_RASTERIZER_DESC rasterizer = {};
    rasterizer.FillMode = D3D11_FILL_SOLID;
    rasterizer.CullMode = D3D11_CULL_NONE;
    rasterizer.DepthClipEnable = TRUE;
    D3D11_DEPTH_STENCIL_DESC depth = {};
    depth.DepthEnable = FALSE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    depth.DepthFunc = D3D11_COMPARISON_ALWAYS;
    D3D11_BUFFER_DESC constants = {};
    constants.ByteWidth = sizeof(Constants);
    constants.Usage = D3D11_USAGE_DYNAMIC;
    constants.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    constants.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    return D3D11Call_Device_CreateSamplerState(&sampler, &R.Sampler) == S_OK &&
           D3D11Call_Device_CreateRasterizerState(&rasterizer, &R.Rasterizer) == S_OK &&
           D3D11Call_Device_CreateDepthStencilState(&depth, &R.DepthStencil) == S_OK &&
           D3D11Call_Device_CreateBuffer(&constants, nullptr, &R.Constants) == S_OK;
}

// A dynamic buffer of at least `count` elements of `stride` bytes (grown by doubling). False when the
// size does not fit or the device refuses it.
bool EnsureBuffer(ID3D11Buffer*& buffer, uint32_t& capacity, uint32_t count, uint32_t stride, UINT bind) {
    if (buffer != nullptr && capacity >= count) return true;
    uint64_t want = capacity != 0 ? capacity : 256;
    while (want < count) want *= 2;
    if (want * stride > 0x7FFFFFFFu) return false;
    ReleaseInto(buffer, D3D11Call_Buffer_Release);
    capacity = 0;
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = static_cast<UINT>(want * stride);
    desc.Usage = D3D11_USAGE_DYNAMIC;
    desc.BindFlags = bind;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    if (D3D11Call_Device_CreateBuffer(&desc, nullptr, &buffer) != S_OK) {
        buffer = nullptr;
        return false;
    }
    capacity = static_cast<uint32_t>(want);
    return true;
}

bool Write(ID3D11Buffer* buffer, const void* data, size_t bytes) {
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) != S_OK) return false;
    memcpy(mapped.pData, data, bytes);
    D3D11Call_DeviceContext_UnmapASync(buffer, 0, 0);
    return true;
}

// The mesh's vertices and indices into the buffers, bound. False for a mesh that cannot be drawn.
bool UploadMesh(const D3D11Live2DMesh* mesh) {
    if (mesh == nullptr || mesh->Positions == nullptr || mesh->Uvs == nullptr || mesh->Indices == nullptr ||
        mesh->VertexCount == 0 || mesh->IndexCount == 0 || mesh->VertexCount > 65536 || mesh->IndexCount > 0x1000000)
        return false;
    for (uint32_t i = 0; i < mesh->IndexCount; ++i)
        if (mesh->Indices[i] >= mesh->VertexCount) return false;
    if (!EnsureBuffer(R.Vertices, R.VertexCapacity, mesh->VertexCount, sizeof(Vertex), D3D11_BIND_VERTEX_BUFFER) ||
        !EnsureBuffer(R.Indices, R.IndexCapacity, mesh->IndexCount, sizeof(uint16_t), D3D11_BIND_INDEX_BUFFER))
        return false;
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(R.Vertices, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) != S_OK) return false;
    Vertex* out = static_cast<Vertex*>(mapped.pData);
    for (uint32_t i = 0; i < mesh->VertexCount; ++i)
        out[i] = {mesh->Positions[2 * i], mesh->Positions[2 * i + 1], mesh->Uvs[2 * i], mesh->Uvs[2 * i + 1]};
    D3D11Call_DeviceContext_UnmapASync(R.Vertices, 0, 0);
    if (!Write(R.Indices, mesh->Indices, (size_t)mesh->IndexCount * sizeof(uint16_t))) return false;
    const UINT stride = sizeof(Vertex), offset = 0;
    D3D11Call_DeviceContext_IASetVertexBuffers(0, 1, &R.Vertices, &stride, &offset);
    D3D11Call_DeviceContext_IASetIndexBuffer(R.Indices, DXGI_FORMAT_R16_UINT, 0);
    return true;
}

// Row-vector matrix m (row r, column c at m[4 r + c]) as the shader's columns.
void Columns(float out[4][4], const float* m) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) out[c][r] = m[4 * r + c];
}

bool WriteConstants(const D3D11Live2DMesh* mesh, const float* projection) {
    Constants constants = {};
    Columns(constants.Projection, projection);
    Columns(constants.Clip, projection);      // the mask lies over the draw target
    memcpy(constants.BaseColor, mesh->BaseColor, sizeof(constants.BaseColor));
    memcpy(constants.MultiplyColor, mesh->MultiplyColor, sizeof(constants.MultiplyColor));
    memcpy(constants.ScreenColor, mesh->ScreenColor, sizeof(constants.ScreenColor));
    constants.Channel[0] = 1.0f;              // the mask lives in the red channel
    constants.MaskRect[0] = constants.MaskRect[1] = -1.0f;
    constants.MaskRect[2] = constants.MaskRect[3] = 1.0f;
    if (!Write(R.Constants, &constants, sizeof(constants))) return false;
    D3D11Call_DeviceContext_VSSetConstantBuffers(0, 1, &R.Constants);
    D3D11Call_DeviceContext_PSSetConstantBuffers(0, 1, &R.Constants);
    return true;
}

}  // namespace

int Graphics_D3D11_Live2D_Ready() { return R.Layout != nullptr ? 1 : 0; }

int Graphics_D3D11_Live2D_Create() {
    if (Graphics_D3D11_Live2D_Ready()) return 0;
    if (!D3D11Call_Device_Exists() || Live2DModuleState.ShaderPackImage == nullptr) return -1;
    bool made = true;
    const uint8_t* code = nullptr;
    uint32_t size = 0;
    for (int i = 0; i < D3D11LIVE2D_VS_COUNT && made; ++i)
        made = PackFile(D3D11Live2DVertexShaderNames[i], &code, &size) &&
               D3D11Call_Device_CreateVertexShader(code, size, nullptr, &R.VertexShader[i]) == S_OK;
    for (int i = 0; i < D3D11LIVE2D_PS_COUNT && made; ++i)
        made = PackFile(D3D11Live2DPixelShaderNames[i], &code, &size) &&
               D3D11Call_Device_CreatePixelShader(code, size, nullptr, &R.PixelShader[i]) == S_OK;
    if (made) {
        const D3D11_INPUT_ELEMENT_DESC elements[2] = {
            {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0},
        };
        made = PackFile(D3D11Live2DVertexShaderNames[D3D11LIVE2D_VS_NORMAL], &code, &size) &&
               D3D11Call_Device_CreateInputLayout(elements, 2, code, size, &R.Layout) == S_OK && MakeStates();
    }
    if (!made) {
        Graphics_D3D11_Live2D_Release();
        return -1;
    }
    return 0;
}

int Graphics_D3D11_Live2D_Release() {
    for (ID3D11VertexShader*& shader : R.VertexShader) ReleaseInto(shader, D3D11Call_VertexShader_Release);
    for (ID3D11PixelShader*& shader : R.PixelShader) ReleaseInto(shader, D3D11Call_PixelShader_Release);
    ReleaseInto(R.Layout, D3D11Call_InputLayout_Release);
    ReleaseInto(R.Constants, D3D11Call_Buffer_Release);
    for (ID3D11BlendState*& blend : R.Blend) ReleaseInto(blend, D3D11Call_BlendState_Release);
    ReleaseInto(R.Sampler, D3D11Call_SamplerState_Release);
    ReleaseInto(R.Rasterizer, D3D11Call_RasterizerState_Release);
    ReleaseInto(R.DepthStencil, D3D11Call_DepthStencilState_Release);
    ReleaseInto(R.Vertices, D3D11Call_Buffer_Release);
    ReleaseInto(R.Indices, D3D11Call_Buffer_Release);
    ReleaseInto(R.MaskView, D3D11Call_ShaderResourceView_Release);
    ReleaseInto(R.MaskTarget, D3D11Call_RenderTargetView_Release);
    ReleaseInto(R.MaskTexture, D3D11Call_Texture2D_Release);
    R.VertexCapacity = R.IndexCapacity = 0;
    R.MaskWidth = R.MaskHeight = 0;
    return 0;
}

int Graphics_D3D11_Live2D_Begin() {
    if (Graphics_D3D11_Live2D_Create() < 0) return -1;
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    D3D11Call_DeviceContext_GSSetShader(nullptr, nullptr, 0);
    D3D11Call_DeviceContext_IASetInputLayout(R.Layout);
    D3D11Call_DeviceContext_IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    D3D11Call_DeviceContext_RSSetState(R.Rasterizer);
    D3D11Call_DeviceContext_OMSetDepthStencilState(R.DepthStencil, 0);
    ID3D11SamplerState* samplers[2] = {R.Sampler, R.Sampler};
    D3D11Call_DeviceContext_PSSetSamplers(0, 2, samplers);
    return 0;
}

int Graphics_D3D11_Live2D_PixelProjection(float* out, float scaleX, float scaleY, float offsetX, float offsetY) {
    const D3D11_VIEWPORT& viewport = D3D11StateCache.Viewport;
    if (out == nullptr || !(viewport.Width > 0.0f) || !(viewport.Height > 0.0f)) return -1;
    for (int i = 0; i < 16; ++i) out[i] = 0.0f;
    out[0] = 2.0f * scaleX / viewport.Width;
    out[5] = 2.0f * scaleY / viewport.Height;
    out[10] = 1.0f;
    out[12] = 2.0f * (offsetX - viewport.TopLeftX) / viewport.Width - 1.0f;
    out[13] = 1.0f - 2.0f * (offsetY - viewport.TopLeftY) / viewport.Height;
    out[15] = 1.0f;
    return 0;
}

int Graphics_D3D11_Live2D_End() {
    if (!Graphics_D3D11_Live2D_Ready()) return -1;
    ID3D11ShaderResourceView* none[2] = {};
    D3D11Call_DeviceContext_PSSetShaderResources(0, 2, none);
    return Graphics_D3D11_StateCache_RefreshAll();
}

int Graphics_D3D11_Live2D_ClearMask() {
    if (!Graphics_D3D11_Live2D_Ready()) return -1;
    const D3D11_VIEWPORT& viewport = D3D11StateCache.Viewport;
    const uint32_t width = viewport.Width >= 1.0f ? static_cast<uint32_t>(viewport.Width) : 0;
    const uint32_t height = viewport.Height >= 1.0f ? static_cast<uint32_t>(viewport.Height) : 0;
    if (width == 0 || height == 0 || width > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION ||
        height > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION)
        return -1;
    if (R.MaskTexture == nullptr || R.MaskWidth != width || R.MaskHeight != height) {
        ID3D11ShaderResourceView* none[2] = {};
        D3D11Call_DeviceContext_PSSetShaderResources(0, 2, none);
        ReleaseInto(R.MaskView, D3D11Call_ShaderResourceView_Release);
        ReleaseInto(R.MaskTarget, D3D11Call_RenderTargetView_Release);
        ReleaseInto(R.MaskTexture, D3D11Call_Texture2D_Release);
        R.MaskWidth = R.MaskHeight = 0;
        D3D11_TEXTURE2D_DESC desc = {};
        desc.Width = width;
        desc.Height = height;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
        if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &R.MaskTexture) != S_OK ||
            D3D11Call_Device_CreateRenderTargetView(R.MaskTexture, nullptr, &R.MaskTarget) != S_OK ||
            D3D11Call_Device_CreateShaderResourceView(R.MaskTexture, nullptr, &R.MaskView) != S_OK) {
            ReleaseInto(R.MaskView, D3D11Call_ShaderResourceView_Release);
            ReleaseInto(R.MaskTarget, D3D11Call_RenderTargetView_Release);
            ReleaseInto(R.MaskTexture, D3D11Call_Texture2D_Release);
            return -1;
        }
        R.MaskWidth = width;
        R.MaskHeight = height;
    }
    ID3D11ShaderResourceView* none[2] = {};
    D3D11Call_DeviceContext_PSSetShaderResources(0, 2, none);
    static const FLOAT Clear[4] = {0, 0, 0, 0};
    D3D11Call_DeviceContext_ClearRenderTargetView(R.MaskTarget, Clear);
    return 0;
}

int Graphics_D3D11_Live2D_DrawMaskMesh(const D3D11Live2DMesh* mesh, const float* projection) {
    if (!Graphics_D3D11_Live2D_Ready() || R.MaskTarget == nullptr || projection == nullptr) return -1;
    if (!UploadMesh(mesh) || !WriteConstants(mesh, projection)) return -1;
    D3D11_VIEWPORT viewport = {0, 0, (FLOAT)R.MaskWidth, (FLOAT)R.MaskHeight, 0, 1};
    D3D11Call_DeviceContext_RSSetViewports(1, &viewport);
    D3D11Call_DeviceContext_OMSetRenderTargets(1, &R.MaskTarget, nullptr);
    D3D11Call_DeviceContext_OMSetBlendState(R.Blend[D3D11LIVE2D_BLEND_MASK], nullptr, 0xFFFFFFFFu);
    D3D11Call_DeviceContext_VSSetShader(R.VertexShader[D3D11LIVE2D_VS_SETUP_MASK], nullptr, 0);
    D3D11Call_DeviceContext_PSSetShader(R.PixelShader[D3D11LIVE2D_PS_SETUP_MASK], nullptr, 0);
    D3D11Call_DeviceContext_PSSetShaderResources(0, 1, &mesh->Texture);
    D3D11Call_DeviceContext_DrawIndexed(mesh->IndexCount, 0, 0);
    return 0;
}

int Graphics_D3D11_Live2D_DrawMesh(const D3D11Live2DMesh* mesh, const float* projection, int mask) {
    if (!Graphics_D3D11_Live2D_Ready() || projection == nullptr || mask < 0 || mask > 2) return -1;
    if (mask != 0 && R.MaskView == nullptr) return -1;
    if (!UploadMesh(mesh) || mesh->Blend < D3D11LIVE2D_BLEND_NORMAL || mesh->Blend > D3D11LIVE2D_BLEND_MULTIPLICATIVE ||
        !WriteConstants(mesh, projection))
        return -1;
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    D3D11Call_DeviceContext_RSSetViewports(1, &cache.Viewport);
    D3D11Call_DeviceContext_OMSetRenderTargets(1, &cache.RenderTargetView[0], cache.DepthView);
    D3D11Call_DeviceContext_OMSetBlendState(R.Blend[mesh->Blend], nullptr, 0xFFFFFFFFu);
    static const int Pixel[3][2] = {
        {D3D11LIVE2D_PS_NORMAL, D3D11LIVE2D_PS_NORMAL_PREMULTIPLIED},
        {D3D11LIVE2D_PS_MASKED, D3D11LIVE2D_PS_MASKED_PREMULTIPLIED},
        {D3D11LIVE2D_PS_MASKED_INVERTED, D3D11LIVE2D_PS_MASKED_INVERTED_PREMULTIPLIED},
    };
    D3D11Call_DeviceContext_VSSetShader(R.VertexShader[mask == 0 ? D3D11LIVE2D_VS_NORMAL : D3D11LIVE2D_VS_MASKED], nullptr, 0);
    D3D11Call_DeviceContext_PSSetShader(R.PixelShader[Pixel[mask][mesh->Premultiplied ? 1 : 0]], nullptr, 0);
    ID3D11ShaderResourceView* views[2] = {mesh->Texture, mask != 0 ? R.MaskView : nullptr};
    D3D11Call_DeviceContext_PSSetShaderResources(0, 2, views);
    D3D11Call_DeviceContext_DrawIndexed(mesh->IndexCount, 0, 0);
    return 0;
}

}  // namespace Vantrel
