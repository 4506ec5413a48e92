// Shared pieces of the Direct3D 11 back-end tests: starting and ending the back-end's device, state
// cache, constant buffers and vertex batch in the start-up order; a small shader pair compiled at test
// time for the untextured 2D vertex (position x, y, z, rhw and a B8G8R8A8 colour); a target to read back.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <d3dcompiler.h>

#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtLog.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "image/VtBaseImage.h"

namespace D3D11Test {

// The log file and u8 literals as the system tests read them.
using WindowTest::ReadLog;
using WindowTest::Utf8;

// Starts the library on a width x height screen, with the Direct3D 11 device (device 1) or on the software
// road (0), the back screen being the draw target. The test's TearDown ends it and puts the device switch back.
inline void StartLibraryOnRoad(int device, int width, int height) {
    using namespace Vantrel;
    Graphics_D3D11_SetDeviceEnabled(device);
    SetScreenResolution(width, height, 32, 60);
    ASSERT_EQ(SetHardwareGraphicsEnable(device), 0);
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(GraphicsSystemState.DeviceValid, device);
    if (device) ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
}

// Starts what the back-end's start-up makes before the first draw.
inline int StartBackEnd() {
    using namespace Vantrel;
    if (D3D11Call_LoadD3D11() < 0 || D3D11Call_LoadDXGI(1) < 0) return -1;
    if (Graphics_D3D11_Device_Setup() < 0) return -1;
    if (Graphics_D3D11_ConstantBuffers_Create() < 0) return -1;
    if (Graphics_D3D11_VertexBatch_Create() < 0) return -1;
    return Graphics_D3D11_StateCache_SetDefaults();
}

// Ends it in the shut-down order; the live-object counts then show what was not released.
inline void EndBackEnd() {
    using namespace Vantrel;
    Graphics_D3D11_VertexBatch_Release();
    Graphics_D3D11_StateCache_ReleaseAll();
    Graphics_D3D11_ConstantBuffers_Release();
    D3D11Call_Device_ReleaseAll();
    D3D11Call_DXGIFactory_ReleaseAll();
    D3D11Call_FreeD3D11();
    D3D11Call_FreeDXGI(1);
    D3D11Call_DumpObjectCounts();
}

// The top-left width x height pixels of an image in any plain format as 0xAARRGGBB words (alpha kept
// only with `alpha`).
inline std::vector<uint32_t> UnpackPixels(const Vantrel::BaseImage& image, int width, int height, bool alpha) {
    std::vector<uint32_t> pixels;
    const int bytes = image.format.bytesPerPixel;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t value = 0;
            memcpy(&value, (const uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * bytes, bytes);
            int r = 0, g = 0, b = 0, a = 0;
            Vantrel::BaseImage_ColorFormat_UnpackColor(&image.format, value, &r, &g, &b, &a);
            pixels.push_back((alpha ? (uint32_t)a << 24 : 0u) | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
        }
    return pixels;
}

// The draw target's top-left size x size pixels as 0x00RRGGBB words, read through its lock (either
// road); empty when the lock fails.
inline std::vector<uint32_t> ReadDrawTarget(int size) {
    const RECT whole = {0, 0, size, size};
    Vantrel::BaseImage image = {};
    if (Vantrel::Graphics_Screen_LockDrawTarget(&whole, &image, -1, 0, 0, 1, 0) < 0) return {};
    std::vector<uint32_t> pixels = UnpackPixels(image, size, size, false);
    Vantrel::Graphics_Screen_UnlockDrawTarget();
    return pixels;
}

// A rectangle of the first texture behind a graph (texture coordinates) as 0xAARRGGBB words; empty when
// it cannot be read.
inline std::vector<uint32_t> ReadGraphTexture(int graph, int left, int top, int width, int height) {
    using namespace Vantrel;
    std::vector<uint32_t> pixels;
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr) return pixels;
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&record->Orig->parts[0]);
    const RECT area = {left, top, left + width, top + height};
    BaseImage image = {};
    if (part == nullptr || Graphics_D3D11_Texture_CreateReadBack(part->Texture, &area, 0, 0, &image) < 0) return pixels;
    pixels = UnpackPixels(image, width, height, true);
    Graphics_D3D11_DrawScreen_Unlock();
    return pixels;
}

// The untextured 2D vertex of the batch (standard vertex type 0, 20 bytes).
struct Vertex2D {
    float X, Y, Z, Rhw;
    uint32_t Colour;  // 0xAARRGGBB, bytes B, G, R, A
};
static_assert(sizeof(Vertex2D) == 20, "standard vertex type 0");

// A vertex and pixel shader for Vertex2D that place pixels through the 2D projection of constant
// buffer 1, with the input layout; compiled by the system's shader compiler.
struct Shaders2D {
    ID3D11VertexShader* Vertex = nullptr;
    ID3D11PixelShader* Pixel = nullptr;
    ID3D11InputLayout* Layout = nullptr;

    bool Create() {
        using namespace Vantrel;
        HMODULE compiler = LoadLibraryW(L"d3dcompiler_47.dll");
        if (compiler == nullptr) return false;
        auto compile = (pD3DCompile)(void*)GetProcAddress(compiler, "D3DCompile");
        if (compile == nullptr) return false;
        static const char source[] =
            "cbuffer Base : register(b1) { float4x4 Projection2D; };\n"
            "struct VsIn { float4 pos : POSITION; float4 colour : COLOR; };\n"
            "struct VsOut { float4 pos : SV_POSITION; float4 colour : COLOR; };\n"
            "VsOut vs(VsIn i) { VsOut o; o.pos = mul(float4(i.pos.xy, 0, 1), Projection2D); o.colour = i.colour; return o; }\n"
            "float4 ps(VsOut i) : SV_TARGET { return i.colour; }\n";
        ID3DBlob* vsCode = nullptr;
        ID3DBlob* psCode = nullptr;
        bool made = compile(source, sizeof(source) - 1, "batch", nullptr, nullptr, "vs", "vs_4_0", 0, 0, &vsCode, nullptr) == S_OK &&
                    compile(source, sizeof(source) - 1, "batch", nullptr, nullptr, "ps", "ps_4_0", 0, 0, &psCode, nullptr) == S_OK;
        if (made) {
            const D3D11_INPUT_ELEMENT_DESC elements[2] = {
                {"POSITION", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
                {"COLOR", 0, DXGI_FORMAT_B8G8R8A8_UNORM, 0, 16, D3D11_INPUT_PER_VERTEX_DATA, 0},
            };
            made = D3D11Call_Device_CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(), nullptr, &Vertex) == S_OK &&
                   D3D11Call_Device_CreatePixelShader(psCode->GetBufferPointer(), psCode->GetBufferSize(), nullptr, &Pixel) == S_OK &&
                   D3D11Call_Device_CreateInputLayout(elements, 2, vsCode->GetBufferPointer(), vsCode->GetBufferSize(), &Layout) == S_OK;
        }
        if (vsCode != nullptr) vsCode->Release();
        if (psCode != nullptr) psCode->Release();
        return made;
    }

    void Release() {
        using namespace Vantrel;
        D3D11Call_VertexShader_Release(Vertex);
        D3D11Call_PixelShader_Release(Pixel);
        D3D11Call_InputLayout_Release(Layout);
        Vertex = nullptr;
        Pixel = nullptr;
        Layout = nullptr;
    }
};

// A drawable 32-bit texture with its view, and a staging copy for reading it back.
struct Target {
    ID3D11Texture2D* Texture = nullptr;
    ID3D11RenderTargetView* View = nullptr;
    int Width = 0, Height = 0;

    bool Create(int width, int height) {
        using namespace Vantrel;
        Width = width;
        Height = height;
        D3D11_TEXTURE2D_DESC desc = {};
        desc.Width = (UINT)width;
        desc.Height = (UINT)height;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET;
        return D3D11Call_Device_CreateTexture2D(&desc, nullptr, &Texture) == S_OK &&
               D3D11Call_Device_CreateRenderTargetView(Texture, nullptr, &View) == S_OK;
    }

    // Pixels as 0xAABBGGRR words (R8G8B8A8 read little-endian).
    std::vector<uint32_t> Read() {
        using namespace Vantrel;
        std::vector<uint32_t> pixels;
        D3D11_TEXTURE2D_DESC desc = {};
        D3D11Call_Texture2D_GetDesc(Texture, &desc);
        desc.Usage = D3D11_USAGE_STAGING;
        desc.BindFlags = 0;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ID3D11Texture2D* staging = nullptr;
        if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &staging) != S_OK) return pixels;
        D3D11Call_DeviceContext_CopyResource(staging, Texture);
        D3D11_MAPPED_SUBRESOURCE mapped = {};
        if (D3D11Call_DeviceContext_Map(staging, 0, D3D11_MAP_READ, 0, &mapped) == S_OK) {
            for (int y = 0; y < Height; ++y) {
                const uint32_t* row = (const uint32_t*)((const uint8_t*)mapped.pData + (size_t)y * mapped.RowPitch);
                pixels.insert(pixels.end(), row, row + Width);
            }
            D3D11Call_DeviceContext_UnmapASync(staging, 0, 0);
        }
        D3D11Call_Texture2D_Release(staging);
        return pixels;
    }

    void Release() {
        using namespace Vantrel;
        D3D11Call_RenderTargetView_Release(View);
        D3D11Call_Texture2D_Release(Texture);
        View = nullptr;
        Texture = nullptr;
    }
};

// The row-vector projection from pixels of a width x height target to clip space.
inline void PixelProjection(float* m, int width, int height) {
    const float values[16] = {2.0f / width, 0, 0, 0, 0, -2.0f / height, 0, 0, 0, 0, 1, 0, -1, 1, 0, 1};
    for (int i = 0; i < 16; ++i) m[i] = values[i];
}

// Writes one box (two triangles in the corner order top-left, top-right, bottom-left, bottom-right,
// bottom-left, top-right) into the batch.
inline bool AddBox(float x1, float y1, float x2, float y2, uint32_t colour) {
    using namespace Vantrel;
    uint8_t* at = Graphics_D3D11_VertexBatch_Reserve(6);
    if (at == nullptr) return false;
    const Vertex2D corners[6] = {{x1, y1, 0, 1, colour}, {x2, y1, 0, 1, colour}, {x1, y2, 0, 1, colour},
                                 {x2, y2, 0, 1, colour}, {x1, y2, 0, 1, colour}, {x2, y1, 0, 1, colour}};
    memcpy(at, corners, sizeof(corners));
    Graphics_D3D11_VertexBatch_Commit(6);
    return true;
}

// Points the untextured batch (vertex type 0) at `target` with the given vertex shader and layout:
// render target, whole-target viewport, pixel projection; clears it to black of the given alpha.
inline bool DrawUntexturedInto(Target& target, ID3D11VertexShader* vertex, ID3D11InputLayout* layout, float alpha) {
    using namespace Vantrel;
    D3D11StandardVertex.InputLayout[0] = layout;
    D3D11StandardVertex.VertexShader[0] = vertex;
    float projection[16];
    PixelProjection(projection, target.Width, target.Height);
    if (Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0) != 0 ||
        Graphics_D3D11_StateCache_SetViewportRect(0, 0, target.Width, target.Height) != 0 ||
        Graphics_D3D11_StateCache_Set2DProjectionMatrix(projection) != 0)
        return false;
    D3D11VertexBatch.Kind = 0;
    const FLOAT black[4] = {0, 0, 0, alpha};
    D3D11Call_DeviceContext_ClearRenderTargetView(target.View, black);
    return true;
}

// Undoes DrawUntexturedInto and releases the target.
inline void StopDrawingInto(Target& target) {
    using namespace Vantrel;
    D3D11StandardVertex = {};
    Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, 0);
    target.Release();
}

// A test with the back-end started and the untextured draw state ready on a 64 x 64 target.
class BackEndTest : public ::testing::Test {
protected:
    Shaders2D shaders;
    Target target;

    void SetUp() override {
        using namespace Vantrel;
        ASSERT_EQ(StartBackEnd(), 0);
        ASSERT_TRUE(shaders.Create());
        ASSERT_TRUE(target.Create(64, 64));
        ASSERT_TRUE(DrawUntexturedInto(target, shaders.Vertex, shaders.Layout, 1.0f));
        ASSERT_EQ(Graphics_D3D11_StateCache_SetPixelShader(shaders.Pixel, 1), 0);
    }

    void TearDown() override {
        using namespace Vantrel;
        StopDrawingInto(target);
        shaders.Release();
        EndBackEnd();
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
    }
};

}  // namespace D3D11Test
