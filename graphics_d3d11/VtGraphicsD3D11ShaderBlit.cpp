// Direct3D 11 simple-transfer blit: vertices in clip space written into the generic vertex buffer,
// the transfer's own bindings, one Draw, and the cached bindings sent again.
// Stands on the call layer, the vertex batch, the state cache and the built-in shader objects.
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11GenericVertexBufferRecord D3D11GenericVertexBuffer;

int Graphics_D3D11_GenericVertexBuffer_Setup(uint32_t bytes) {
    D3D11GenericVertexBufferRecord& generic = D3D11GenericVertexBuffer;
    if (generic.Buffer != nullptr && generic.Size >= bytes) return 0;
    Graphics_D3D11_GenericVertexBuffer_Release();
    if (Graphics_D3D11_DynamicVertexBuffer_Create(bytes, &generic.Buffer) < 0) {
        Log_AddTextShiftJIS("汎用描画用頂点バッファの作成に失敗しました\n");
        return -1;
    }
    generic.Size = bytes;
    return 0;
}

int Graphics_D3D11_GenericVertexBuffer_Release() {
    D3D11GenericVertexBufferRecord& generic = D3D11GenericVertexBuffer;
    if (generic.Buffer != nullptr && D3D11StateCache.VertexBuffer == generic.Buffer) D3D11StateCache.VertexBuffer = nullptr;
    if (generic.Buffer != nullptr) D3D11Call_Buffer_Release(generic.Buffer);
    generic.Buffer = nullptr;
    generic.Size = 0;
    Graphics_D3D11_GenericDraw_ReleaseAll();
    return 0;
}

namespace {

RECT WholeOf(const D3D11_TEXTURE2D_DESC& desc) { return {0, 0, (LONG)desc.Width, (LONG)desc.Height}; }

// Sends the bindings the blit changed back as the state cache holds them.
void RestoreFromCache(bool second, bool third) {
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    const UINT offset = 0;
    D3D11Call_DeviceContext_IASetVertexBuffers(0, 1, &cache.VertexBuffer, &cache.VertexStride, &offset);
    D3D11Call_DeviceContext_VSSetShader(cache.VertexShader, nullptr, 0);
    D3D11Call_DeviceContext_PSSetShader(cache.PixelShader, nullptr, 0);
    if (cache.GeometryShader != nullptr) D3D11Call_DeviceContext_GSSetShader(cache.GeometryShader, nullptr, 0);
    D3D11Call_DeviceContext_IASetInputLayout(cache.InputLayout);
    D3D11Call_DeviceContext_IASetPrimitiveTopology(cache.Topology);
    D3D11Call_DeviceContext_OMSetBlendState(cache.Blend, cache.BlendFactor, 0xFFFFFFFF);
    D3D11Call_DeviceContext_OMSetDepthStencilState(cache.DepthStencil, 0);
    D3D11Call_DeviceContext_RSSetState(cache.Rasterizer);
    D3D11Call_DeviceContext_PSSetSamplers(0, 1, &cache.Sampler[0]);
    if (second) D3D11Call_DeviceContext_PSSetSamplers(1, 1, &cache.Sampler[1]);
    if (third) D3D11Call_DeviceContext_PSSetSamplers(2, 1, &cache.Sampler[2]);
    D3D11Call_DeviceContext_OMSetRenderTargets(8, cache.RenderTargetView, cache.DepthView);
    D3D11Call_DeviceContext_RSSetViewports(1, &cache.Viewport);
    D3D11Call_DeviceContext_PSSetShaderResources(0, third ? 3 : second ? 2 : 1, cache.PSResources);
}

}  // namespace

int Graphics_D3D11_ShaderBlit(ID3D11Texture2D* source, ID3D11ShaderResourceView* sourceView, const RECT* sourceRect,
                              ID3D11Texture2D* destination, ID3D11RenderTargetView* destinationView,
                              const RECT* destinationRect, int linear, int blend, ID3D11PixelShader* pixelShader,
                              ID3D11VertexShader* vertexShader, ID3D11Texture2D* second,
                              ID3D11ShaderResourceView* secondView, const RECT* secondRect,
                              const D3D11BlitCorner* corners, ID3D11Texture2D* third,
                              ID3D11ShaderResourceView* thirdView, int thirdWrap) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (source == nullptr || destination == nullptr || destinationView == nullptr) return -1;
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    const D3D11ShaderObjectsRecord& objects = D3D11ShaderObjects;
    D3D11_TEXTURE2D_DESC sourceDesc = {}, destinationDesc = {}, secondDesc = {};
    D3D11Call_Texture2D_GetDesc(source, &sourceDesc);
    D3D11Call_Texture2D_GetDesc(destination, &destinationDesc);
    if (second != nullptr) D3D11Call_Texture2D_GetDesc(second, &secondDesc);
    const float width = (float)destinationDesc.Width, height = (float)destinationDesc.Height;
    auto clipX = [&](float x) { return x / width * 2.0f - 1.0f; };
    auto clipY = [&](float y) { return -(y / height * 2.0f - 1.0f); };

    // Vertices: 4 x 6 floats, or 4 x 18 floats with explicit corners.
    float vertices[4 * 18] = {};
    UINT stride;
    if (corners == nullptr) {
        stride = 24;
        const RECT s = sourceRect != nullptr ? *sourceRect : WholeOf(sourceDesc);
        const RECT d = destinationRect != nullptr ? *destinationRect : WholeOf(destinationDesc);
        const RECT t = second == nullptr ? RECT{0, 0, 0, 0} : secondRect != nullptr ? *secondRect : WholeOf(secondDesc);
        const float sw = (float)sourceDesc.Width, sh = (float)sourceDesc.Height;
        const float tw = second != nullptr ? (float)secondDesc.Width : 1.0f;
        const float th = second != nullptr ? (float)secondDesc.Height : 1.0f;
        for (int corner = 0; corner < 4; ++corner) {
            const bool right = (corner & 1) != 0, bottom = (corner & 2) != 0;
            float* v = vertices + corner * 6;
            v[0] = clipX((float)(right ? d.right : d.left));
            v[1] = clipY((float)(bottom ? d.bottom : d.top));
            v[2] = (float)(right ? s.right : s.left) / sw;
            v[3] = (float)(bottom ? s.bottom : s.top) / sh;
            v[4] = second != nullptr ? (float)(right ? t.right : t.left) / tw : 0.0f;
            v[5] = second != nullptr ? (float)(bottom ? t.bottom : t.top) / th : 0.0f;
        }
    } else {
        stride = 72;
        for (int corner = 0; corner < 4; ++corner) {
            float* v = vertices + corner * 18;
            v[0] = clipX(corners[corner].X);
            v[1] = clipY(corners[corner].Y);
            memcpy(v + 2, corners[corner].Coords, sizeof(corners[corner].Coords));
        }
    }
    const uint32_t bytes = stride * 4;
    if (Graphics_D3D11_GenericVertexBuffer_Setup(corners != nullptr ? 288 : 96) < 0) return -1;
    ID3D11Buffer* buffer = D3D11GenericVertexBuffer.Buffer;
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) != S_OK) return -1;
    memcpy(mapped.pData, vertices, bytes);
    D3D11Call_DeviceContext_UnmapASync(buffer, 0, 0);

    // The transfer's own state.
    D3D11Call_DeviceContext_OMSetRenderTargets(1, &destinationView, nullptr);
    ID3D11ShaderResourceView* views[3] = {sourceView, secondView, thirdView};
    D3D11Call_DeviceContext_PSSetShaderResources(0, thirdView != nullptr ? 3 : secondView != nullptr ? 2 : 1, views);
    const D3D11_VIEWPORT viewport = {0.0f, 0.0f, width, height, 0.0f, 1.0f};
    D3D11Call_DeviceContext_RSSetViewports(1, &viewport);
    ID3D11SamplerState* sampler = linear ? objects.LinearSampler : objects.PointSampler;
    D3D11Call_DeviceContext_PSSetSamplers(0, 1, &sampler);
    if (second != nullptr) D3D11Call_DeviceContext_PSSetSamplers(1, 1, &sampler);
    if (third != nullptr) {
        ID3D11SamplerState* thirdSampler = thirdWrap ? objects.PointWrapSampler : sampler;
        D3D11Call_DeviceContext_PSSetSamplers(2, 1, &thirdSampler);
    }
    D3D11Call_DeviceContext_RSSetState(objects.Rasterizer);
    D3D11Call_DeviceContext_OMSetDepthStencilState(objects.DepthStencil, 0);
    D3D11Call_DeviceContext_OMSetBlendState(blend ? objects.AlphaBlend : objects.CopyBlend, D3D11StateCache.BlendFactor,
                                            0xFFFFFFFF);
    D3D11Call_DeviceContext_IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    D3D11Call_DeviceContext_IASetInputLayout(corners != nullptr ? objects.SimpleTransferLayout8 : objects.SimpleTransferLayout);
    D3D11Call_DeviceContext_PSSetShader(
        pixelShader != nullptr ? pixelShader : objects.PixelShader[D3D11SHADER_SIMPLE_TRANSFER_PS], nullptr, 0);
    ID3D11VertexShader* vertex = vertexShader != nullptr ? vertexShader
                                 : corners != nullptr   ? objects.VertexShader[D3D11SHADER_SIMPLE_TRANSFER_VS8]
                                                        : objects.VertexShader[D3D11SHADER_SIMPLE_TRANSFER_VS];
    D3D11Call_DeviceContext_VSSetShader(vertex, nullptr, 0);
    if (D3D11StateCache.GeometryShader != nullptr) D3D11Call_DeviceContext_GSSetShader(nullptr, nullptr, 0);
    const UINT offset = 0;
    D3D11Call_DeviceContext_IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
    D3D11Call_DeviceContext_Draw(4, 0);
    D3D11VertexBatch.DrawCalls++;

    RestoreFromCache(second != nullptr, third != nullptr);
    return 0;
}

}  // namespace Vantrel
