// Shared pieces of the Direct3D 9 back-end tests: a plain window for the device, the graphics core's
// settings the back-end reads, starting and ending the back-end (system, shader constants, state-cache
// defaults) on Wine's real device, a fixed-function untextured draw state, boxes written into the vertex
// batch, and the back buffer read back.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Call.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9System.h"
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace D3D9Test {

using WindowTest::ReadLog;
using WindowTest::Utf8;

// A window of its own for the device (these tests do not start the library, so it has no main window).
inline HWND TestWindow() {
    static HWND window = nullptr;
    if (window == nullptr || !IsWindow(window)) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VtD3D9TestWindow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"VtD3D9TestWindow", L"Direct3D 9", WS_OVERLAPPEDWINDOW, 0, 0, 160, 160, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    return window;
}

// The core's side of things as the back-end reads it: a windowed 64 x 64 screen of 32 bits, the test
// window as main and output window, Direct3D 9 as the API in use, programmable shaders on.
inline void PrepareCore(int width = 64, int height = 64) {
    using namespace Vantrel;
    // COM for the DirectDraw object: again after each library end, which ends it.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // An earlier library end in this program leaves its end request behind.
    System_ClearEndRequest();
    Window.EndFlag = 0;
    Window.MainWindow = TestWindow();
    Window.WindowMode = 1;
    Window.ActiveFlag = 1;
    Graphics_Screen_SetMainScreenSize(width, height);
    GraphicsScreenState.ColourBits = 32;
    GraphicsScreenState.NoVSyncWait = 1;
    GraphicsSystemState.ScreenMultiSampleCount = 0;
    GraphicsSystemState.ScreenMultiSampleQuality = 0;
    GraphicsSystemState.ShadersUsable = 1;
    GraphicsApi = GRAPHICS_API_D3D9;
}

// Starts what the back-end's start-up makes before the first draw.
inline int StartBackEnd(int width = 64, int height = 64) {
    using namespace Vantrel;
    PrepareCore(width, height);
    if (Graphics_D3D9_System_Initialize() < 0) return -1;
    Graphics_D3D9_ShaderConstant_Initialize(&D3D9ShaderConstants);
    Graphics_D3D9_ShaderConstant_SelectLayers(&D3D9ShaderConstants, 1);
    return Graphics_D3D9_StateCache_SetDefaults();
}

// Ends it; the live-object counts then show what was not released.
inline void EndBackEnd() {
    using namespace Vantrel;
    Graphics_D3D9_System_Terminate();
    GraphicsApi = GRAPHICS_API_NONE;
    GraphicsSystemState.ShadersUsable = 0;
    Window.MainWindow = nullptr;
}

// The fixed-function stages of an untextured draw: the diffuse colour as it is, no depth test.
inline void UntexturedStages() {
    using namespace Vantrel;
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    D3D9Call_Device_SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9Call_Device_SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    Graphics_D3D9_StateCache_SetZEnable(0);
}

// The untextured screen-space vertex of the batch (layout 0, 20 bytes).
struct Vertex2D {
    float X, Y, Z, Rhw;
    uint32_t Colour;   // 0xAARRGGBB
};
static_assert(sizeof(Vertex2D) == 20, "layout 0");

// One box over the pixels (x1, y1) to (x2, y2), end exclusive, as two triangles in the corner order
// top-left, top-right, bottom-left, bottom-right, bottom-left, top-right (positions shifted by -0.5 pixel
// onto the pixel centres' grid).
inline bool AddBox(int x1, int y1, int x2, int y2, uint32_t colour) {
    using namespace Vantrel;
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_TRIANGLELIST, 6);
    if (at == nullptr) return false;
    const float l = x1 - 0.5f, t = y1 - 0.5f, r = x2 - 0.5f, b = y2 - 0.5f;
    const Vertex2D corners[6] = {{l, t, 0, 1, colour}, {r, t, 0, 1, colour}, {l, b, 0, 1, colour},
                                 {r, b, 0, 1, colour}, {l, b, 0, 1, colour}, {r, t, 0, 1, colour}};
    memcpy(at, corners, sizeof(corners));
    Graphics_D3D9_VertexBatch_Commit(6);
    return true;
}

// The back buffer's top-left width x height pixels as 0x00RRGGBB words (the scene is ended first);
// empty when it cannot be read.
inline std::vector<uint32_t> ReadBackBuffer(int width, int height) {
    using namespace Vantrel;
    std::vector<uint32_t> pixels;
    if (D3D9DeviceStateCache.Scene == 1) {
        D3D9Call_Device_EndScene();
        D3D9DeviceStateCache.Scene = 0;
    }
    IDirect3DSurface9* back = D3D9DeviceState.BackBuffer;
    D3DLOCKED_RECT locked = {};
    const RECT area = {0, 0, width, height};
    if (back == nullptr || D3D9Call_Surface_LockRect(back, &locked, &area, D3DLOCK_READONLY) != D3D_OK) return pixels;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = (const uint32_t*)((const uint8_t*)locked.pBits + (size_t)y * locked.Pitch);
        for (int x = 0; x < width; ++x) pixels.push_back(row[x] & 0xFFFFFF);
    }
    D3D9Call_Surface_UnlockRect(back);
    return pixels;
}

// Where the log holds the lines of `text` one after the other, from `from` on; std::string::npos when it
// does not. The log starts each entry on a new line with its time and ends lines with CR LF: every part of
// `text` that ends with "\n" must end a line there, the others need only appear.
inline size_t LogFindLines(const std::string& log, const std::string& text, size_t from = 0) {
    size_t at = from, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool lineEnd = end != std::string::npos;
        if (!lineEnd) end = text.size();
        const std::string part = text.substr(start, end - start) + (lineEnd ? "\r\n" : "");
        at = log.find(part, at);
        if (at == std::string::npos) return at;
        at += part.size();
        start = end + 1;
    }
    return at;
}

inline bool LogHasLines(const std::string& log, const char8_t* text) {
    return LogFindLines(log, Utf8(text)) != std::string::npos;
}

inline uint32_t DeviceCalls(Vantrel::D3D9DeviceCall call) { return Vantrel::D3D9CallState.DeviceCalls[call]; }

inline uint32_t AllDeviceCalls() {
    uint32_t total = 0;
    for (uint32_t count : Vantrel::D3D9CallState.DeviceCalls) total += count;
    return total;
}

// A test with the back-end started, an untextured fixed-function draw state and a black back buffer.
class BackEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace Vantrel;
        ASSERT_EQ(StartBackEnd(), 0);
        UntexturedStages();
        ASSERT_EQ(D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
        ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
        D3D9Call_ResetDeviceCallCounts();
    }

    void TearDown() override {
        using namespace Vantrel;
        EndBackEnd();
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    }
};

}  // namespace D3D9Test
