// The flip on Wine's device: the window shows what was drawn into the sub back buffer, a maximised window
// shows it scaled and centred with its borders painted on the presents after a change, the destination
// geometry, and a minimised window that presents nothing.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "../system/WindowReadBack.h"
#include "graphics_d3d9/VtGraphicsD3D9Present.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

constexpr uint32_t Red = 0xFF0000, Green = 0x00FF00, Blue = 0x0000FF, White = 0xFFFFFF, Yellow = 0xFFFF00;

// Gives the test window a client area of width x height and shows it without activating it.
void ShowClient(int width, int height) {
    const HWND window = TestWindow();
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, (DWORD)GetWindowLongW(window, GWL_STYLE), FALSE, 0);
    SetWindowPos(window, HWND_TOP, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Window.ClientRect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Four quadrants of the 64 x 64 screen and one yellow pixel at (10, 20), drawn into render target 0.
void DrawQuadrants() {
    ASSERT_EQ(D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_TRUE(AddBox(0, 0, 32, 32, 0xFF000000 | Red));
    ASSERT_TRUE(AddBox(32, 0, 64, 32, 0xFF000000 | Green));
    ASSERT_TRUE(AddBox(0, 32, 32, 64, 0xFF000000 | Blue));
    ASSERT_TRUE(AddBox(32, 32, 64, 64, 0xFF000000 | White));
    ASSERT_TRUE(AddBox(10, 20, 11, 21, 0xFF000000 | Yellow));
}

uint32_t QuadrantColour(int x, int y) {
    if (x == 10 && y == 20) return Yellow;
    return y < 32 ? (x < 32 ? Red : Green) : (x < 32 ? Blue : White);
}

class D3D9Present : public BackEndTest {
protected:
    void TearDown() override {
        Window.Maximised = 0;
        Window.MinimisedFlag = 0;
        Window.ClientRect = {};
        GraphicsScreenState.BackgroundColorSet = 0;
        for (int32_t& c : GraphicsScreenState.BackgroundColor) c = 0;
        ShowWindow(TestWindow(), SW_HIDE);
        BackEndTest::TearDown();
        EXPECT_EQ(D3D9PresentState.SubBackBuffer, nullptr);
        D3D9PresentState = {};
    }
};

}  // namespace

TEST_F(D3D9Present, TheWindowShowsTheScreenDrawnIntoTheSubBackBuffer) {
    ShowClient(96, 80);
    ASSERT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);
    ASSERT_NE(D3D9PresentState.SubBackBuffer, nullptr);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9PresentState.SubBackBuffer);
    EXPECT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);   // once only
    DrawQuadrants();
    ASSERT_EQ(Graphics_D3D9_Screen_Flip(), 0);
    EXPECT_EQ(D3D9PresentState.Presents, 1u);
    // Not maximised: nothing is painted around the picture.
    EXPECT_EQ(D3D9PresentState.BorderPaints, 0u);

    const std::vector<uint32_t> shown = WindowTest::ReadWindowPixels(TestWindow(), 64, 64);
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (shown[y * 64 + x] != QuadrantColour(x, y) && wrong++ < 5)
                ADD_FAILURE() << "(" << x << ", " << y << ") shows " << std::hex << shown[y * 64 + x];
    EXPECT_EQ(wrong, 0);
}

TEST_F(D3D9Present, AMaximisedWindowShowsTheScreenScaledAndPaintsItsBordersAfterAChange) {
    ShowClient(200, 140);
    Window.Maximised = 1;
    GraphicsScreenState.BackgroundColor[0] = 255;
    GraphicsScreenState.BackgroundColor[2] = 255;
    GraphicsScreenState.BackgroundColorSet = 1;
    ASSERT_EQ(Graphics_D3D9_SubBackBuffer_Create(), 0);
    DrawQuadrants();
    // The fit rate is (140 - 1) / 64: a 139 x 139 picture, centred, its bottom snapped onto the client's.
    const RECT expected = {30, 0, 169, 140};
    const RECT destination = Graphics_D3D9_Screen_GetDestinationRect();
    EXPECT_TRUE(EqualRect(&destination, &expected))
        << destination.left << "," << destination.top << "," << destination.right << "," << destination.bottom;
    ASSERT_EQ(Graphics_D3D9_Screen_Flip(), 0);

    const std::vector<uint32_t> shown = WindowTest::ReadWindowPixels(TestWindow(), 200, 140);
    const auto at = [&](int x, int y) { return shown[y * 200 + x]; };
    for (int y : {0, 70, 139}) {
        for (int x : {0, 15, 29, 169, 185, 199}) EXPECT_EQ(at(x, y), 0xFF00FFu) << x << "," << y;
    }
    // Quadrant centres, scaled by about 2.17.
    EXPECT_EQ(at(30 + 35, 35), Red);
    EXPECT_EQ(at(30 + 104, 35), Green);
    EXPECT_EQ(at(30 + 35, 104), Blue);
    EXPECT_EQ(at(30 + 104, 104), White);
    // The yellow pixel covers about two by two pixels from (51.7, 43.4): the scaling may filter it.
    EXPECT_GE((at(30 + 23, 44) >> 8) & 0xFF, 0x40u);
    EXPECT_EQ((at(30 + 23, 44) >> 16) & 0xFF, 0xFFu);

    // Three presents paint the borders after the change, later ones do not until the next change.
    EXPECT_EQ(D3D9PresentState.BorderPaints, 1u);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Graphics_D3D9_Screen_Flip(), 0);
    EXPECT_EQ(D3D9PresentState.BorderPaints, 3u);
    D3D9PresentState.BorderChanged = 1;
    ASSERT_EQ(Graphics_D3D9_Screen_Flip(), 0);
    EXPECT_EQ(D3D9PresentState.BorderPaints, 4u);
}

TEST_F(D3D9Present, TheDestinationFollowsScaleFitAndClientEdges) {
    struct Case {
        int Maximised;
        double Scale;
        RECT Client;   // desktop coordinates
        RECT Expected;
    };
    const Case cases[] = {
        {0, 1.0, {0, 0, 300, 300}, {0, 0, 64, 64}},
        {0, 2.0, {0, 0, 300, 300}, {0, 0, 128, 128}},
        {0, 1.5, {10, 10, 50, 50}, {0, 0, 96, 96}},
        // Fitted and centred; an edge within a pixel of the client's goes onto it.
        {1, 1.0, {0, 0, 65, 65}, {0, 0, 65, 65}},
        {1, 1.0, {100, 50, 229, 179}, {0, 0, 129, 129}},
        {1, 1.0, {0, 0, 200, 140}, {30, 0, 169, 140}},
        {1, 1.0, {0, 0, 129, 400}, {0, 136, 129, 264}},
    };
    for (const Case& c : cases) {
        Window.Maximised = c.Maximised;
        Window.ClientRect = c.Client;
        Window.ScaleRateX = Window.ScaleRateY = c.Scale;
        const RECT got = Graphics_D3D9_Screen_GetDestinationRect();
        EXPECT_TRUE(EqualRect(&got, &c.Expected))
            << c.Client.right - c.Client.left << "x" << c.Client.bottom - c.Client.top << " gives " << got.left << ","
            << got.top << "," << got.right << "," << got.bottom;
    }
    Window.ScaleRateX = Window.ScaleRateY = 1.0;
}

TEST_F(D3D9Present, AMinimisedWindowPresentsNothingAndTheFlipStillSucceeds) {
    ShowClient(96, 80);
    Window.MinimisedFlag = 1;
    EXPECT_EQ(Graphics_D3D9_Screen_Flip(), 0);
    EXPECT_EQ(D3D9PresentState.Presents, 0u);
    // The flip made the sub back buffer all the same: drawing goes there from now on.
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9PresentState.SubBackBuffer);
    Window.MinimisedFlag = 0;
    EXPECT_EQ(Graphics_D3D9_Screen_Flip(), 0);
    EXPECT_EQ(D3D9PresentState.Presents, 1u);
    // Released with the system; the back buffer is render target 0 again.
    EXPECT_EQ(Graphics_D3D9_SubBackBuffer_Release(), 0);
    EXPECT_EQ(D3D9PresentState.SubBackBuffer, nullptr);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9DeviceState.BackBuffer);
}
