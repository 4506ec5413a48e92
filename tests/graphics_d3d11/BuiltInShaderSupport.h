// Shared pieces of the tests of the built-in shaders, the blit and the draw preparation: the back-end
// started with its built-in shaders, input layouts and simple-transfer objects, a 4 x 4 target, small
// textures, and one quad drawn through the vertex batch with a chosen built-in pixel shader.
#pragma once

#include <string>

#include "D3D11TestSupport.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"

namespace D3D11Test {

// The system shader compiler's library (for D3DCompile and D3DDisassemble).
inline HMODULE Compiler() {
    static HMODULE module = LoadLibraryW(L"d3dcompiler_47.dll");
    return module;
}

// The disassembler's listing of a shader, or a note why there is none.
inline std::string Disassemble(const void* code, size_t size) {
    auto disassemble = (pD3DDisassemble)(void*)GetProcAddress(Compiler(), "D3DDisassemble");
    if (disassemble == nullptr) return "(no D3DDisassemble)";
    ID3DBlob* text = nullptr;
    if (disassemble(code, size, 0, nullptr, &text) != S_OK || text == nullptr) return "(refused)";
    std::string out((const char*)text->GetBufferPointer(), text->GetBufferSize());
    text->Release();
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

const uint32_t DiffuseWord = 0xC8E68C3C;  // 0xAARRGGBB for the device's B8G8R8A8 vertex colour

// An R8G8B8A8 texture with a shader-resource view (and a render-target view when asked).
struct ShaderTexture {
    ID3D11Texture2D* Object = nullptr;
    ID3D11ShaderResourceView* View = nullptr;
    ID3D11RenderTargetView* Target = nullptr;

    bool Create(int width, int height, const std::vector<uint32_t>& pixels, bool renderTarget = false) {
        using namespace Vantrel;
        D3D11_TEXTURE2D_DESC desc = {};
        desc.Width = (UINT)width;
        desc.Height = (UINT)height;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | (renderTarget ? D3D11_BIND_RENDER_TARGET : 0);
        const D3D11_SUBRESOURCE_DATA data = {pixels.data(), (UINT)(width * 4), 0};
        return D3D11Call_Device_CreateTexture2D(&desc, &data, &Object) == S_OK &&
               D3D11Call_Device_CreateShaderResourceView(Object, nullptr, &View) == S_OK &&
               (!renderTarget || D3D11Call_Device_CreateRenderTargetView(Object, nullptr, &Target) == S_OK);
    }
    void Release() {
        using namespace Vantrel;
        D3D11Call_RenderTargetView_Release(Target);
        D3D11Call_ShaderResourceView_Release(View);
        D3D11Call_Texture2D_Release(Object);
        *this = {};
    }
};


class BuiltInShaderTest : public ::testing::Test {
protected:
    Target target;

    void SetUp() override {
        using namespace Vantrel;
        ASSERT_EQ(StartBackEnd(), 0);
        ASSERT_EQ(Graphics_D3D11_Shader_Initialize(), 0);
        ASSERT_EQ(Graphics_D3D11_InputLayout_CreateAll(), 0);
        ASSERT_EQ(Graphics_D3D11_SimpleTransfer_Initialize(), 0);
        ASSERT_TRUE(target.Create(4, 4));
    }

    void TearDown() override {
        using namespace Vantrel;
        Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, 0);
        target.Release();
        Graphics_D3D11_GenericVertexBuffer_Release();
        Graphics_D3D11_SimpleTransfer_Terminate();
        Graphics_D3D11_InputLayout_ReleaseAll();
        Graphics_D3D11_Shader_ReleaseAll();
        EndBackEnd();
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
    }

    // One quad over the whole target through the batch of the given kind with pixel shader `entry`.
    std::vector<uint32_t> DrawQuad(int kind, int entry) {
        using namespace Vantrel;
        float projection[16];
        PixelProjection(projection, 4, 4);
        Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0);
        Graphics_D3D11_StateCache_SetViewportRect(0, 0, 4, 4);
        Graphics_D3D11_StateCache_Set2DProjectionMatrix(projection);
        Graphics_D3D11_StateCache_SetPixelShader(D3D11ShaderObjects.PixelShader[entry], 1);
        const FLOAT clear[4] = {1 / 255.0f, 2 / 255.0f, 3 / 255.0f, 4 / 255.0f};
        D3D11Call_DeviceContext_ClearRenderTargetView(target.View, clear);
        D3D11VertexBatch.Kind = kind;
        const float corners[4][2] = {{0, 0}, {4, 0}, {0, 4}, {4, 4}};
        const int order[6] = {0, 1, 2, 3, 2, 1};
        uint8_t* at = Graphics_D3D11_VertexBatch_Reserve(6);
        const uint32_t stride = D3D11StandardVertexStride[kind];
        for (int i = 0; i < 6; ++i) {
            const float* p = corners[order[i]];
            float position[4] = {p[0], p[1], 0, 1};
            const float uv[2] = {p[0] / 4, p[1] / 4};
            uint8_t* v = at + i * stride;
            memcpy(v, position, 16);
            memcpy(v + 16, &DiffuseWord, 4);
            if (kind == 1) memcpy(v + 20, uv, 8);
            if (kind == 2) memcpy(v + 20, &DiffuseWord, 4), memcpy(v + 24, uv, 8), memcpy(v + 32, uv, 8);
        }
        Graphics_D3D11_VertexBatch_Commit(6);
        Graphics_D3D11_VertexBatch_Flush(-1, 0);
        return target.Read();
    }
};

}  // namespace D3D11Test
