// Screen modes: the setting's checks before start-up, the screen colour formats, display-mode lists,
// full-screen fitting and window-to-screen positions on given displays, and changes at run time
// without a device: the graphics module restarts, every graph handle is deleted with its owner told,
// the default font comes back the same, and drawing and presenting go on at the new size and depth.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "DrawTargetFixture.h"
#include "font/VtFont.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"

using namespace Vantrel;
using namespace WindowTest;
using namespace DrawTargetTesting;

namespace {

// The screen record's settings, put back after a test that changes them before start-up.
class ScreenSettingsKept {
public:
    ScreenSettingsKept() : saved_(GraphicsScreenState) {}
    ~ScreenSettingsKept() { GraphicsScreenState = saved_; }

private:
    GraphicsScreenStateRecord saved_;
};

// A monitor list of one display of the given size, in place of the system's while it lives.
class FakeDisplay {
public:
    FakeDisplay(int width, int height) {
        monitor_.Primary = 1;
        monitor_.Width = monitor_.PhysicalWidth = width;
        monitor_.Height = monitor_.PhysicalHeight = height;
        monitor_.Rect = {0, 0, width, height};
        monitor_.ColourBits = 32;
        monitor_.RefreshRate = 75;
        savedList_ = GraphicsSystemState.MonitorList;
        savedCount_ = GraphicsSystemState.MonitorCount;
        savedPrimary_ = GraphicsSystemState.PrimaryMonitor;
        GraphicsSystemState.MonitorList = &monitor_;
        GraphicsSystemState.MonitorCount = 1;
        GraphicsSystemState.PrimaryMonitor = 0;
    }
    ~FakeDisplay() {
        GraphicsSystemState.MonitorList = savedList_;
        GraphicsSystemState.MonitorCount = savedCount_;
        GraphicsSystemState.PrimaryMonitor = savedPrimary_;
    }

private:
    MonitorInfo monitor_ = {};
    MonitorInfo* savedList_;
    int savedCount_, savedPrimary_;
};

// A pixel of the main window's client area (0x00RRGGBB), read through GDI.
uint32_t WindowPixel(int x, int y) {
    const HWND window = Window_GetMainHandle();
    const HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

int LiveGraphs() { return HandleManagerTable[HandleType_Graph].Count; }

// With VT_TEST_HOLD_MS set, keeps the window up (pumping) that long so that the display can be
// looked at from outside, e.g. with a screenshot of the virtual display.
void HoldForLook() {
    const char* hold = getenv("VT_TEST_HOLD_MS");
    if (hold == nullptr) return;
    const DWORD end = GetTickCount() + static_cast<DWORD>(atoi(hold));
    while (static_cast<int32_t>(end - GetTickCount()) > 0) {
        PollMessages();
        Sleep(10);
    }
}

}  // namespace

TEST(ScreenModeSettingTest, SettingsBeforeStartUpAreCheckedAndStored) {
    ScreenSettingsKept kept;
    struct Case {
        int Width, Height, Bits, Refresh, Result, StoredWidth, StoredHeight, StoredBits;
    };
    const Case cases[] = {
        {860, 560, 32, 60, 0, 860, 560, 32}, {0, 480, 32, 0, -1, 860, 560, 32},  {640, 0, 32, 0, -1, 860, 560, 32},
        {640, 480, 24, 0, -1, 860, 560, 32}, {-5, 480, 16, 0, -1, 860, 560, 32}, {800, 600, 0, 0, 0, 800, 600, 16},
        {1024, 768, 8, 0, 0, 1024, 768, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << " x " << c.Bits);
        EXPECT_EQ(SetScreenResolution(c.Width, c.Height, c.Bits, c.Refresh), c.Result);
        int width = 0, height = 0, bits = 0;
        GetScreenModeSettings(&width, &height, &bits);
        EXPECT_EQ(width, c.StoredWidth);
        EXPECT_EQ(height, c.StoredHeight);
        EXPECT_EQ(bits, c.StoredBits);
    }
    EXPECT_EQ(GetScreenRefreshRate(), 0);
    SetScreenResolution(860, 560, 32, 60);
    EXPECT_EQ(GetScreenRefreshRate(), 60);

    // With the emulation every size becomes 320 x 240.
    ASSERT_EQ(SetLowResolutionEmulation(1), 0);
    EXPECT_EQ(GraphicsScreenState.EmulationFilter, 1);
    EXPECT_EQ(SetScreenResolution(1920, 1080, 32, 0), 0);
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
}

TEST(ScreenModeSettingTest, ScreenColourFormatsHaveTheirMasks) {
    const uint32_t masks[5][4] = {{16, 0xF800, 0x07E0, 0x001F},
                                  {16, 0xF800, 0x07C0, 0x003E},
                                  {16, 0x7C00, 0x03E0, 0x001F},
                                  {32, 0xFF, 0xFF00, 0xFF0000},
                                  {32, 0xFF0000, 0xFF00, 0xFF}};
    for (int i = 0; i < 5; ++i) {
        const ColorFormatDesc* format = Graphics_Screen_GetScreenColorFormat(i);
        ASSERT_NE(format, nullptr);
        EXPECT_EQ(format->bitDepth, masks[i][0]);
        EXPECT_EQ(format->redMask, masks[i][1]);
        EXPECT_EQ(format->greenMask, masks[i][2]);
        EXPECT_EQ(format->blueMask, masks[i][3]);
    }
    EXPECT_EQ(Graphics_Screen_GetScreenColorFormat(5), nullptr);
    EXPECT_EQ(Graphics_Screen_GetScreenColorFormat(-1), nullptr);
}

TEST(ScreenModeSettingTest, FullScreenKeepsTheAspectRatioAndWindowPositionsMapBack) {
    ScreenSettingsKept kept;
    struct Case {
        int DisplayWidth, DisplayHeight, ScreenWidth, ScreenHeight;
        RECT Output;
    };
    const Case cases[] = {
        {1920, 1080, 640, 480, {240, 0, 1680, 1080}}, {1280, 1024, 640, 480, {0, 32, 1280, 992}},
        {1280, 1024, 0, 0, {0, 32, 1280, 992}},        {860, 560, 860, 560, {0, 0, 860, 560}},
        {7680, 4320, 65535, 1, {0, 2160, 7680, 2160}},  {1024, 768, 1, 65535, {512, 0, 512, 768}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.DisplayWidth << " x " << c.DisplayHeight);
        FakeDisplay display(c.DisplayWidth, c.DisplayHeight);
        GraphicsScreenState.ScreenWidth = c.ScreenWidth;
        GraphicsScreenState.ScreenHeight = c.ScreenHeight;
        ASSERT_EQ(Graphics_Screen_CalcFullScreenOutputSize(), 0);
        EXPECT_TRUE(EqualRect(&GraphicsScreenState.FullScreenOutputRect, &c.Output))
            << GraphicsScreenState.FullScreenOutputRect.left << ", " << GraphicsScreenState.FullScreenOutputRect.top
            << ", " << GraphicsScreenState.FullScreenOutputRect.right << ", "
            << GraphicsScreenState.FullScreenOutputRect.bottom;
        ASSERT_EQ(Graphics_Screen_ChooseFullScreenDisplayMode(), 0);
        const DisplayModeRecord& mode = GraphicsScreenState.FullScreenDisplayMode;
        EXPECT_EQ(mode.Width, c.DisplayWidth);
        EXPECT_EQ(mode.Height, c.DisplayHeight);
        EXPECT_EQ(mode.ColourBits, 32);
        EXPECT_EQ(mode.RefreshRate, 75);
    }

    // A 640 x 480 screen on a 1920 x 1080 display whose monitor begins at x 100.
    FakeDisplay display(1920, 1080);
    GraphicsScreenState.ScreenWidth = 640;
    GraphicsScreenState.ScreenHeight = 480;
    GraphicsScreenState.MonitorRect = {100, 0, 2020, 1080};
    const int points[][4] = {{100 + 240, 0, 0, 0},       {100 + 960, 540, 320, 240}, {100 + 1679, 1079, 639, 479},
                             {100 + 239, 0, 0, 0},       {100, 0, -106, 0}};
    for (const auto& p : points) {
        int x = 77, y = 77;
        EXPECT_EQ(Graphics_Screen_ConvWindowPosToScreenPos(p[0], p[1], &x, &y), 0);
        EXPECT_EQ(x, p[2]) << p[0];
        EXPECT_EQ(y, p[3]) << p[1];
    }
    EXPECT_EQ(Graphics_Screen_ConvWindowPosToScreenPos(500, 500, nullptr, nullptr), 0);
}

class ScreenModeTest : public NoDeviceTest {
};

TEST_F(ScreenModeTest, DisplayModeListsComeFromTheSystemAndRefuseIndexesOutside) {
    const int count = GetDisplayModeCount(0);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
        DisplayModeRecord mode = {};
        GetDisplayModeEntry(&mode, i, 0);
        EXPECT_GT(mode.Width, 0);
        EXPECT_GE(mode.ColourBits, 16);
    }
    EXPECT_EQ(GetDisplayModeCount(99), -1);
    EXPECT_EQ(GetDisplayModeCount(-1), -1);
    for (const auto& index : {std::pair<int, int>{0, 99}, {count, 0}, {-1, 0}}) {
        DisplayModeRecord mode = {1, 2, 3, 4};
        GetDisplayModeEntry(&mode, index.first, index.second);
        EXPECT_EQ(mode.Width, -1);
        EXPECT_EQ(mode.Height, -1);
        EXPECT_EQ(mode.ColourBits, -1);
        EXPECT_EQ(mode.RefreshRate, -1);
    }
}

TEST_F(ScreenModeTest, ModeChangeRestartsTheModuleDeletesTheGraphsAndDrawingGoesOn) {
    // Graphs alive at the change: a target, one asked to be kept over mode changes, a derived one.
    const int target = CreateDrawableGraph(100, 80, 0);
    SetDeleteGraphsOnModeChange(0);
    const int kept = MakeGraph(30, 30);
    SetDeleteGraphsOnModeChange(1);
    const int derived = DeriveGraphRect(10, 10, 20, 20, target);
    ASSERT_GE(target, 0);
    ASSERT_GE(kept, 0);
    ASSERT_GE(derived, 0);
    int lost[3] = {0, 0, 0};
    SetGraphLostNotifyFlag(target, &lost[0]);
    SetGraphLostNotifyFlag(kept, &lost[1]);
    SetGraphLostNotifyFlag(derived, &lost[2]);
    ASSERT_EQ(SelectDrawScreen(target), 0);
    ASSERT_EQ(SetDefaultFontParamsW(nullptr, 23, 4, 0, -1, 0, 0), 0);
    ASSERT_TRUE(IsFontHandleValid(Font_GetDefaultHandle()));

    // The same settings again change nothing.
    ASSERT_EQ(SetScreenResolution(860, 560, 32, 60), 0);
    EXPECT_EQ(GetCurrentDrawScreen(), target);
    EXPECT_EQ(LiveGraphs(), 3);

    ASSERT_EQ(SetScreenResolution(640, 480, 16, 60), 0);
    EXPECT_EQ(GraphicsSystemState.Initialised, 1);
    EXPECT_EQ(GraphicsSystemState.ModeChangeInProgress, 0);
    EXPECT_EQ(GraphicsSystemState.PreviousScreenWidth, 860);
    EXPECT_EQ(GraphicsSystemState.PreviousScreenHeight, 560);
    int width = 0, height = 0, bits = 0;
    GetScreenModeSettings(&width, &height, &bits);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(LiveGraphs(), 0);
    EXPECT_EQ(Graphics_Image_GetGraphRecord(kept, 0), nullptr);
    EXPECT_EQ(lost[0] + lost[1] + lost[2], 3);
    EXPECT_EQ(GetCurrentDrawScreen(), DRAW_SCREEN_FRONT);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, 640);
    EXPECT_EQ(GraphicsScreenState.DrawTargetHeight, 480);
    EXPECT_EQ(SelectDrawScreen(target), -1);
    int size = 0;
    ASSERT_EQ(GetFontParamsToHandleW(nullptr, &size, nullptr, -2, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(size, 23);

    // The screen is 16-bit now; new graphs draw and the window shows the screen at its new size.
    EXPECT_EQ(Graphics_SoftScreen_BitsPerPixel(&GraphicsSystemState.SoftScreenMain), 16);
    const int graph = CreateDrawableGraph(50, 40, 0);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    Fill(0, 0, 50, 40, 255, 0, 0);
    EXPECT_EQ(ReadDrawScreenPixel(49, 39), 0xF800);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    Fill(0, 0, 640, 480, 0, 0, 255);
    Fill(600, 440, 640, 480, 0, 255, 0);
    EXPECT_EQ(ReadDrawScreenPixel(639, 479), 0x07E0);
    ASSERT_EQ(PresentScreenDirect(), 0);
    RECT client = {};
    GetClientRect(Window_GetMainHandle(), &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(WindowPixel(0, 0), 0x0000FFu);
    EXPECT_EQ(WindowPixel(639, 479), 0x00FF00u);
    EXPECT_EQ(WindowPixel(599, 439), 0x0000FFu);
    HoldForLook();

    // And back to 32 bits at the tool's size.
    ASSERT_EQ(SetScreenResolution(860, 560, 32, 60), 0);
    EXPECT_EQ(LiveGraphs(), 0);
    EXPECT_EQ(Graphics_SoftScreen_BitsPerPixel(&GraphicsSystemState.SoftScreenMain), 32);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    Fill(0, 0, 860, 560, 12, 34, 56);
    Fill(0, 0, 120, 560, 40, 40, 40);  // a column and boxes, like the tool's layers
    for (int i = 0; i < 5; ++i) Fill(10, 20 + i * 60, 110, 70 + i * 60, 0, 160 + i * 20, 200);
    Fill(140, 20, 840, 540, 230, 230, 230);
    Fill(160, 40, 480, 200, 220, 60, 60);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(WindowPixel(859, 559), 0x0C2238u);
    EXPECT_EQ(WindowPixel(50, 30), 0x00A0C8u);
    EXPECT_EQ(WindowPixel(479, 199), 0xDC3C3Cu);
    EXPECT_EQ(WindowPixel(480, 200), 0xE6E6E6u);
    HoldForLook();
}

TEST_F(ScreenModeTest, RefusedSettingsAfterStartUpChangeNothing) {
    const int graph = MakeGraph(10, 10);
    ASSERT_GE(graph, 0);
    EXPECT_EQ(SetScreenResolution(0, 480, 32, 0), -1);
    EXPECT_EQ(SetScreenResolution(640, 480, 24, 0), -1);
    EXPECT_EQ(SetLowResolutionEmulation(1), -1);
    EXPECT_EQ(GraphicsScreenState.LowResolutionEmulation, 0);
    EXPECT_NE(Graphics_Image_GetGraphRecord(graph, 0), nullptr);
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    EXPECT_EQ(width, 860);
    EXPECT_EQ(height, 560);
}
