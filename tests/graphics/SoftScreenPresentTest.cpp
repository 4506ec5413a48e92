// Presenting without a device: what is drawn into the main software screen reaches the window
// through GDI pixel for pixel (read back from the window's device context), the front screen's
// timer presents by itself and stops once another draw target is chosen, a layered window is left to
// the window module (and stops the timer), and the clears.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "../system/WindowReadBack.h"
#include "../system/WindowTestSupport.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

// The client area of the main window as 32-bit pixels (0x00RRGGBB), read with BitBlt.
std::vector<uint32_t> ReadWindow(int width, int height) { return ReadWindowPixels(Window_GetMainHandle(), width, height); }

uint32_t ScreenPixel(int x, int y) {
    return static_cast<uint32_t>(Graphics_SoftScreen_GetPixel(&GraphicsSystemState.SoftScreenMain, x, y)) & 0x00FFFFFF;
}

// Number of pixels where the window differs from the software screen; the first one reported.
int CountDifferences(const std::vector<uint32_t>& window, int width, int height) {
    int differences = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t expected = ScreenPixel(x, y), actual = window[static_cast<size_t>(y) * width + x];
            if (expected != actual && differences++ == 0)
                ADD_FAILURE() << "first difference at (" << x << ", " << y << "): window " << std::hex << actual
                              << ", screen " << expected;
        }
    return differences;
}

void SetBackground(int red, int green, int blue) {
    GraphicsScreenState.BackgroundColor[0] = red;
    GraphicsScreenState.BackgroundColor[1] = green;
    GraphicsScreenState.BackgroundColor[2] = blue;
}

// A picture with edges, a gradient and single pixels, so that a shift, a scale or a channel swap shows.
void DrawTestPicture(int seed) {
    SetBackground(10, 20, 30);
    ClearDrawTarget(nullptr);
    SetBackground(200, 40 + seed, 90);
    const RECT block = {100, 50, 300, 170};
    ClearDrawTarget(&block);
    SetBackground(0, 0, 255);
    const RECT edge = {0, 0, 1, 560};
    ClearDrawTarget(&edge);
    MEMIMG& screen = GraphicsSystemState.SoftScreenMain;
    uint8_t* const pixels = static_cast<uint8_t*>(screen.pixels);
    const int pitch = Graphics_SoftScreen_Pitch(&screen);
    for (int y = 300; y < 556; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * pitch);
        for (int x = 400; x < 656; ++x) row[x] = (static_cast<uint32_t>(x - 400) << 16) | ((y - 300) << 8) | ((x + y + seed) & 0xFF);
    }
    reinterpret_cast<uint32_t*>(pixels)[859] = 0x00FF00FF;
    reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(559) * pitch)[859] = 0x0000FF00 + seed;
}

class SoftScreenPresentTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // Hardware graphics off: presents go through GDI whatever device the machine has.
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 0);
        RECT client = {};
        GetClientRect(Window_GetMainHandle(), &client);
        ASSERT_EQ(client.right, 860);
        ASSERT_EQ(client.bottom, 560);
        ASSERT_EQ(Graphics_SoftScreen_BitsPerPixel(&GraphicsSystemState.SoftScreenMain), 32);
    }
    void TearDown() override {
        SetBackground(0, 0, 0);
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
    }
};

}  // namespace

TEST_F(SoftScreenPresentTest, PresentCopiesTheSoftwareScreenIntoTheWindowExactly) {
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    DrawTestPicture(0);
    EXPECT_EQ(ReadDrawScreenPixel(150, 60), 0x00C8285A);
    EXPECT_EQ(ReadDrawScreenPixel(859, 0), 0x00FF00FF);
    ASSERT_EQ(PresentScreenDirect(), 0);
    EXPECT_EQ(CountDifferences(ReadWindow(860, 560), 860, 560), 0);

    DrawTestPicture(7);  // a second frame replaces the first
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(CountDifferences(ReadWindow(860, 560), 860, 560), 0);
}

TEST_F(SoftScreenPresentTest, FrontScreenTimerPresentsByItselfUntilAnotherTargetIsChosen) {
    ASSERT_EQ(GetCurrentDrawScreen(), DRAW_SCREEN_FRONT);
    ASSERT_TRUE(PumpUntil([] { return Window.ActiveFlag == 1; })) << "the window should become active";
    DrawTestPicture(1);
    EXPECT_TRUE(PumpUntil([] { return ReadWindow(860, 560)[static_cast<size_t>(559) * 860 + 859] == 0x0000FF01; }));
    EXPECT_EQ(CountDifferences(ReadWindow(860, 560), 860, 560), 0);

    // Leaving the front screen presents once more; after that the timer stays dead.
    DrawTestPicture(2);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    EXPECT_EQ(CountDifferences(ReadWindow(860, 560), 860, 560), 0);
    const std::vector<uint32_t> shown = ReadWindow(860, 560);
    DrawTestPicture(3);
    for (int i = 0; i < 20; ++i) {
        PollMessages();
        Sleep(10);
    }
    EXPECT_TRUE(ReadWindow(860, 560) == shown) << "nothing presents while the back screen is the target";
}

namespace {

// Counts the window timers armed through the system function table.
int TimersArmed = 0;
decltype(WinAPITable.SetTimer) RealSetTimer = nullptr;
UINT_PTR WINAPI CountingSetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure) {
    ++TimersArmed;
    return RealSetTimer(window, id, elapse, procedure);
}

}  // namespace

TEST_F(SoftScreenPresentTest, ALayeredWindowIsLeftToTheWindowModuleAndStopsTheFrontScreenTimer) {
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    DrawTestPicture(5);

    // One switch alone changes nothing; with both the present locks the back screen for the window module
    // and draws nothing through GDI, and slot 0 is the same afterwards.
    Window.LayeredWindow[0] = 1;
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(CountDifferences(ReadWindow(860, 560), 860, 560), 0);
    const std::vector<uint32_t> second = ReadWindow(860, 560);
    DrawTestPicture(6);
    Window.LayeredWindow[1] = 1;
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(GetCurrentDrawScreen(), DRAW_SCREEN_BACK);
    EXPECT_EQ(GraphicsSystemState.DrawTargetLocked, 0);
    EXPECT_TRUE(ReadWindow(860, 560) == second);

    // The front screen's timer fires once and is not armed again.
    TimersArmed = 0;
    RealSetTimer = WinAPITable.SetTimer;
    WinAPITable.SetTimer = CountingSetTimer;
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_FRONT), 0);
    for (int i = 0; i < 30; ++i) {
        PollMessages();
        Sleep(10);
    }
    WinAPITable.SetTimer = RealSetTimer;
    EXPECT_EQ(TimersArmed, 1);
    EXPECT_TRUE(ReadWindow(860, 560) == second);
    Window.LayeredWindow[0] = Window.LayeredWindow[1] = 0;
}

TEST_F(SoftScreenPresentTest, ClearsFillTheTargetOrTheRectangleWithTheBackgroundColour) {
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    SetBackground(1, 2, 3);
    EXPECT_EQ(ClearDrawTarget(nullptr), 0);
    SetBackground(250, 128, 7);
    const RECT part = {10, 20, 30, 40};
    EXPECT_EQ(ClearDrawTarget(&part), 0);
    EXPECT_EQ(ReadDrawScreenPixel(10, 20), 0x00FA8007);
    EXPECT_EQ(ReadDrawScreenPixel(29, 39), 0x00FA8007);
    EXPECT_EQ(ReadDrawScreenPixel(30, 39), 0x00010203);
    EXPECT_EQ(ReadDrawScreenPixel(9, 20), 0x00010203);
    // A rectangle with a negative left counts as none; one beyond the screen is clipped.
    SetBackground(9, 9, 9);
    const RECT negative = {-1, 0, 5, 5};
    EXPECT_EQ(ClearDrawTarget(&negative), 0);
    EXPECT_EQ(ReadDrawScreenPixel(859, 559), 0x00090909);
    SetBackground(4, 4, 4);
    const RECT beyond = {850, 550, 5000, 5000};
    EXPECT_EQ(ClearDrawTarget(&beyond), 0);
    EXPECT_EQ(ReadDrawScreenPixel(859, 559), 0x00040404);
    EXPECT_EQ(ReadDrawScreenPixel(849, 559), 0x00090909);
}
