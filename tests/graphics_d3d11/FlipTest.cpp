// The flip on Wine's Direct3D 11 device: where the sub back buffer lands in the back buffer of a window
// larger and smaller than the screen, maximised with and without fitting, and with a tool bar; read back
// from the back buffer at the moment of the present. Also the inactive window's picture, which stops the
// presents, and the layered window, which is shown from the back screen instead of a present.
#include <gtest/gtest.h>

#include <vector>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "system/VtWindow.h"

using namespace Vantrel;

namespace {

constexpr int ScreenWidth = 64, ScreenHeight = 48;
constexpr uint32_t Backdrop = 0xFFFF0000u;   // the background colour (blue) as R8G8B8A8 reads it (0xAABBGGRR)

struct Pixels {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Words;   // R8G8B8A8 read little-endian: 0xAABBGGRR
    uint32_t At(int x, int y) const { return Words[(size_t)y * Width + x]; }
};

Pixels ReadTexture(ID3D11Texture2D* texture) {
    Pixels out;
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(texture, &desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    desc.MiscFlags = 0;
    ID3D11Texture2D* staging = nullptr;
    if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &staging) != S_OK) return out;
    D3D11Call_DeviceContext_CopyResource(staging, texture);
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(staging, 0, D3D11_MAP_READ, 0, &mapped) == S_OK) {
        out.Width = (int)desc.Width;
        out.Height = (int)desc.Height;
        for (UINT y = 0; y < desc.Height; ++y) {
            const uint32_t* row = (const uint32_t*)((const uint8_t*)mapped.pData + (size_t)y * mapped.RowPitch);
            out.Words.insert(out.Words.end(), row, row + desc.Width);
        }
        D3D11Call_DeviceContext_UnmapASync(staging, 0, 0);
    }
    D3D11Call_Texture2D_Release(staging);
    return out;
}

// The back buffer and the sub back buffer as the present finds them.
Pixels Presented, Screen;
int PresentCalls = 0;
HRESULT CapturePresent(IDXGISwapChain*, UINT, UINT) {
    ++PresentCalls;
    Presented = ReadTexture(D3D11WindowState.Targets[0].BackBuffer);
    Screen = ReadTexture(D3D11WindowState.SubTexture);
    return S_OK;
}

// What the layered window was given: its size and its 32-bit top-down pixels (B, G, R, A bytes).
int LayeredCalls = 0;
SIZE LayeredSize = {};
DWORD LayeredFlags = 0;
std::vector<uint32_t> LayeredPixels;
BOOL WINAPI CaptureLayered(HWND, HDC, POINT*, SIZE* size, HDC source, POINT*, COLORREF, BLENDFUNCTION*, DWORD flags) {
    ++LayeredCalls;
    LayeredFlags = flags;
    LayeredSize = size != nullptr ? *size : SIZE{};
    DIBSECTION section = {};
    HGDIOBJ bitmap = GetCurrentObject(source, OBJ_BITMAP);
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) || section.dsBm.bmBits == nullptr)
        return FALSE;
    const uint32_t* bits = (const uint32_t*)section.dsBm.bmBits;
    LayeredPixels.assign(bits, bits + (size_t)section.dsBm.bmWidth * section.dsBm.bmHeight);
    return TRUE;
}

// The bounding rectangle of the pixels that are not the background colour; empty when there are none.
RECT PictureBounds(const Pixels& pixels) {
    RECT bounds = {pixels.Width, pixels.Height, 0, 0};
    for (int y = 0; y < pixels.Height; ++y)
        for (int x = 0; x < pixels.Width; ++x) {
            if (pixels.At(x, y) == Backdrop) continue;
            if (x < bounds.left) bounds.left = x;
            if (y < bounds.top) bounds.top = y;
            if (x + 1 > bounds.right) bounds.right = x + 1;
            if (y + 1 > bounds.bottom) bounds.bottom = y + 1;
        }
    return bounds;
}

class FlipTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        D3D11Test::StartLibraryOnRoad(1, ScreenWidth, ScreenHeight);
        ASSERT_FALSE(HasFatalFailure());
        // A picture with no pixel of the background colour: quarters of different colours.
        const int halfX = ScreenWidth / 2, halfY = ScreenHeight / 2;
        DrawFilledRectangle(0, 0, halfX, halfY, MakeColorCode(250, 20, 20));
        DrawFilledRectangle(halfX, 0, ScreenWidth, halfY, MakeColorCode(20, 250, 20));
        DrawFilledRectangle(0, halfY, halfX, ScreenHeight, MakeColorCode(250, 250, 20));
        DrawFilledRectangle(halfX, halfY, ScreenWidth, ScreenHeight, MakeColorCode(20, 250, 250));
        GraphicsScreenState.BackgroundColor[0] = 0;
        GraphicsScreenState.BackgroundColor[1] = 0;
        GraphicsScreenState.BackgroundColor[2] = 255;
        GraphicsScreenState.BackgroundColor[3] = 255;
        savedClient = Window.ClientRect;
        PresentCalls = 0;
        D3D11WindowState.PresentHook = CapturePresent;
    }

    void TearDown() override {
        D3D11WindowState.PresentHook = nullptr;
        Window.ClientRect = savedClient;
        Window.Maximised = 0;
        Window.NoFitToMaximised[0] = Window.NoFitToMaximised[1] = 0;
        Window.ToolBarPresent = Window.ToolBarHeight = 0;
        Window.LayeredWindow[0] = Window.LayeredWindow[1] = 0;
        Window.InactivePicture = nullptr;
        Window.InactivePictureDrawing = 0;
        Window.ActiveFlag = 1;
        WinAPI_EnsureLoaded();
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
    }

    RECT savedClient = {};
};

struct PlacementCase {
    const char* Name;
    int ClientWidth, ClientHeight;
    int Maximised, NoFitA, NoFitB, ToolBarHeight;   // tool bar height 0: no tool bar
    RECT Expected;                                   // the picture in the back buffer
    bool OneToOne;                                   // drawn unscaled: pixels equal the screen's
};

// Fitted in a maximised 200 x 100 client: rate min(199 / 64, 99 / 48) = 2.0625, a 132 x 99 picture.
const PlacementCase PlacementCases[] = {
    {"window larger than the screen", 100, 80, 0, 0, 0, 0, {0, 0, 64, 48}, true},
    {"window smaller than the screen", 40, 30, 0, 0, 0, 0, {0, 0, 40, 30}, true},
    {"maximised, fitted and centred", 200, 100, 1, 0, 0, 0, {34, 0, 166, 99}, false},
    {"maximised, first fitting switch off", 200, 100, 1, 1, 0, 0, {0, 0, 64, 48}, true},
    {"maximised, second fitting switch off", 200, 100, 1, 0, 1, 0, {0, 0, 64, 48}, true},
    {"tool bar, fitted: at the bottom", 200, 100, 1, 0, 0, 10, {34, 1, 166, 100}, false},
    {"tool bar, not fitted: below the bar", 200, 100, 1, 1, 0, 10, {0, 10, 64, 58}, true},
    {"tool bar in a normal window: at the bottom", 100, 80, 0, 0, 0, 10, {0, 32, 64, 80}, true},
};

}  // namespace

TEST_F(FlipTest, ThePicturePlacementFollowsTheWindowAndItsFittingSwitches) {
    for (const PlacementCase& c : PlacementCases) {
        SCOPED_TRACE(c.Name);
        Window.ClientRect = {savedClient.left, savedClient.top, savedClient.left + c.ClientWidth,
                             savedClient.top + c.ClientHeight};
        Window.Maximised = c.Maximised;
        Window.NoFitToMaximised[0] = c.NoFitA;
        Window.NoFitToMaximised[1] = c.NoFitB;
        Window.ToolBarPresent = c.ToolBarHeight > 0;
        Window.ToolBarHeight = c.ToolBarHeight;
        const int before = PresentCalls;
        ASSERT_EQ(Graphics_D3D11_Screen_Flip(), 0);
        ASSERT_EQ(PresentCalls, before + 1);
        ASSERT_EQ(Presented.Width, c.ClientWidth);
        ASSERT_EQ(Presented.Height, c.ClientHeight);
        const RECT bounds = PictureBounds(Presented);
        EXPECT_EQ(bounds.left, c.Expected.left);
        EXPECT_EQ(bounds.top, c.Expected.top);
        EXPECT_EQ(bounds.right, c.Expected.right);
        EXPECT_EQ(bounds.bottom, c.Expected.bottom);
        if (c.OneToOne) {
            int differing = 0;
            for (int y = c.Expected.top; y < c.Expected.bottom; ++y)
                for (int x = c.Expected.left; x < c.Expected.right; ++x)
                    differing += Presented.At(x, y) != Screen.At(x - c.Expected.left, y - c.Expected.top);
            EXPECT_EQ(differing, 0);
        } else {
            // Scaled: each corner shows its quarter's colour.
            EXPECT_EQ(Presented.At(c.Expected.left, c.Expected.top), Screen.At(0, 0));
            EXPECT_EQ(Presented.At(c.Expected.right - 1, c.Expected.bottom - 1), Screen.At(ScreenWidth - 1, ScreenHeight - 1));
        }
    }
}

TEST_F(FlipTest, AnInactiveWindowWithItsOwnPictureIsNotPresented) {
    static const int picture = 1;
    Window.ActiveFlag = 0;
    Window.InactivePicture = &picture;
    ASSERT_EQ(Graphics_D3D11_Screen_Flip(), 0);
    EXPECT_EQ(PresentCalls, 0);
    Window.InactivePictureDrawing = 1;   // the picture is being drawn: that present goes through
    ASSERT_EQ(Graphics_D3D11_Screen_Flip(), 0);
    EXPECT_EQ(PresentCalls, 1);
    Window.InactivePictureDrawing = 0;
    Window.InactivePicture = nullptr;   // inactive without a picture of its own: presented
    ASSERT_EQ(Graphics_D3D11_Screen_Flip(), 0);
    EXPECT_EQ(PresentCalls, 2);
}

TEST_F(FlipTest, ALayeredWindowIsShownFromTheBackScreenInsteadOfAPresent) {
    auto* const original = WinAPITable.UpdateLayeredWindow;
    WinAPITable.UpdateLayeredWindow = CaptureLayered;
    const DrawTargetSlot slot = GraphicsScreenState.DrawTargets[0];
    LayeredCalls = 0;
    int result[2] = {};
    for (int which = 0; which < 2; ++which) {
        Window.LayeredWindow[0] = which == 0;
        Window.LayeredWindow[1] = which == 1;
        result[which] = Graphics_D3D11_Screen_Flip();
    }
    WinAPITable.UpdateLayeredWindow = original;
    const Pixels screen = ReadTexture(D3D11WindowState.SubTexture);
    EXPECT_EQ(result[0], 0);
    EXPECT_EQ(result[1], 0);
    EXPECT_EQ(PresentCalls, 0);
    ASSERT_EQ(LayeredCalls, 2);
    EXPECT_EQ(LayeredFlags, (DWORD)ULW_ALPHA);
    EXPECT_EQ(LayeredSize.cx, ScreenWidth);
    EXPECT_EQ(LayeredSize.cy, ScreenHeight);
    ASSERT_EQ(LayeredPixels.size(), screen.Words.size());
    // B, G, R, A with the colour premultiplied by alpha, from R, G, B, A.
    int differing = 0;
    for (size_t i = 0; i < screen.Words.size(); ++i) {
        const uint32_t s = screen.Words[i], a = s >> 24;
        auto channel = [&](int shift) { return ((s >> shift & 0xFF) * a + 127) / 255; };
        const uint32_t expected = a << 24 | channel(0) << 16 | channel(8) << 8 | channel(16);
        if (LayeredPixels[i] != expected && differing++ < 3)
            ADD_FAILURE() << std::hex << "pixel " << i << ": " << LayeredPixels[i] << ", screen " << s << ", expected " << expected;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(GraphicsScreenState.DrawTargets[0].Handle, slot.Handle);
    EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 0);
}
