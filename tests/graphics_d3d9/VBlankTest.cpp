// The DirectDraw vertical-blank wait on Wine, whose WaitForVerticalBlank returns at once: the refresh
// interval measurement ends in bounded time and falls back to the refresh rate, the local wait of the
// present paces by that interval, the counted waits end (and a quit ends them with -1), and a DirectDraw
// object that cannot be made leaves the device starting and every wait pacing by time.
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "foundation/VtWinAPI.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

double Seconds(int64_t ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)ticks / (double)frequency.QuadPart;
}

int64_t Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double IntervalSeconds() { return Seconds(D3D9VBlankState.RefreshInterval); }

HRESULT WINAPI RefuseCreation(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out) {
    *out = nullptr;
    return REGDB_E_CLASSNOTREG;
}

class D3D9VBlank : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareCore();
        GraphicsScreenState.RefreshRate = 60;
        // The counted waits pump messages; without a main window the pump returns at once.
        Window.MainWindow = nullptr;
        Window.EndFlag = 0;
    }
    void TearDown() override {
        D3D9Call_DDraw_Release();
        Window.EndFlag = 0;
        GraphicsScreenState.RefreshRate = 0;
        EndBackEnd();
    }
};

}  // namespace

TEST_F(D3D9VBlank, AWaitThatReturnsAtOnceIsMeasuredQuicklyAndFallsBackToTheRefreshRate) {
    ASSERT_EQ(D3D9Call_DDraw_Create(), 0);
    EXPECT_NE(D3D9Call_DDraw_Get(), nullptr);
    const int64_t start = Now();
    D3D9Call_DDraw_MeasureRefreshInterval();
    EXPECT_LT(Seconds(Now() - start), 2.0);
    EXPECT_GT(D3D9VBlankState.MeasureWaits, 0);
    EXPECT_LE(D3D9VBlankState.MeasureWaits, 60);
    if (!D3D9VBlankState.WaitBlocks) {
        // The waits measured the sleeps between them, not a display: the refresh rate stands in.
        EXPECT_EQ(D3D9VBlankState.Measured, 0);
        EXPECT_EQ(D3D9VBlankState.RefreshInterval, D3D9Call_DDraw_RefreshRateInterval());
        EXPECT_LE(D3D9VBlankState.MeasureWaits, 4);
    }
    EXPECT_NEAR(IntervalSeconds(), 1.0 / 60, 1.0 / 600);
    GraphicsScreenState.RefreshRate = 50;
    EXPECT_NEAR(Seconds(D3D9Call_DDraw_RefreshRateInterval()), 1.0 / 50, 1e-6);
    EXPECT_TRUE(LogHasLines(ReadLog(), u8"DirectDraw オブジェクトの取得を行います....  成功\n"));
}

TEST_F(D3D9VBlank, TheLocalWaitPacesFramesByTheInterval) {
    ASSERT_EQ(D3D9Call_DDraw_Create(), 0);
    D3D9Call_DDraw_MeasureRefreshInterval();
    if (D3D9VBlankState.WaitBlocks) GTEST_SKIP() << "this display's wait really waits";
    D3D9Call_DDraw_SleepUntilVBlank();
    const int64_t start = Now();
    for (int frame = 0; frame < 6; ++frame) D3D9Call_DDraw_SleepUntilVBlank();
    const double elapsed = Seconds(Now() - start);
    EXPECT_GE(elapsed, 5.5 * IntervalSeconds());
    EXPECT_LT(elapsed, 6 * IntervalSeconds() + 1.5);
    // A wait called long after the last blank does not sleep.
    Sleep(3 * (DWORD)(IntervalSeconds() * 1000) + 5);
    const int64_t late = Now();
    D3D9Call_DDraw_SleepUntilVBlank();
    EXPECT_LT(Seconds(Now() - late), IntervalSeconds() * 0.5 + 0.02);
}

TEST_F(D3D9VBlank, CountedWaitsEndAndAQuitEndsThemWithMinusOne) {
    ASSERT_EQ(D3D9Call_DDraw_Create(), 0);
    D3D9Call_DDraw_MeasureRefreshInterval();
    const int64_t start = Now();
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(1), 0);
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(0), 0);
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(3), 0);
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(-2), 0);
    EXPECT_EQ(Graphics_D3D9_WaitVSync(2), 0);
    // At most two intervals a blank even where the status never changes, plus generous slack.
    EXPECT_LT(Seconds(Now() - start), 14 * 2 * IntervalSeconds() + 2.0);
    Window.EndFlag = 1;
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(2), -1);
}

TEST_F(D3D9VBlank, WithoutDirectDrawTheDeviceStartsAndTheWaitsPaceByTime) {
    WinAPI_EnsureLoaded();
    const auto realCreate = WinAPITable.CoCreateInstance;
    WinAPITable.CoCreateInstance = RefuseCreation;
    EXPECT_EQ(D3D9Call_DDraw_Create(), -1);
    ASSERT_EQ(StartBackEnd(), 0);
    WinAPITable.CoCreateInstance = realCreate;
    Window.MainWindow = nullptr;
    EXPECT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(D3D9Call_DDraw_Get(), nullptr);
    EXPECT_EQ(D3D9VBlankState.RefreshInterval, D3D9Call_DDraw_RefreshRateInterval());
    EXPECT_TRUE(LogHasLines(ReadLog(), u8"DirectDraw オブジェクトの取得を行います....  オブジェクトの取得に失敗しました\n"));

    D3D9Call_DDraw_SleepUntilVBlank();
    int64_t start = Now();
    for (int frame = 0; frame < 4; ++frame) D3D9Call_DDraw_SleepUntilVBlank();
    double elapsed = Seconds(Now() - start);
    // Each wait ends at the next blank of the time grid, so a wait that wakes late on a busy machine meets
    // the following blank sooner: four waits span at least about three intervals.
    EXPECT_GE(elapsed, 2.5 * IntervalSeconds());
    EXPECT_LT(elapsed, 4 * IntervalSeconds() + 1.5);

    start = Now();
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(1), 0);
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(2), 0);
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(0), 0);
    elapsed = Seconds(Now() - start);
    EXPECT_GE(elapsed, 3.5 * IntervalSeconds());
    EXPECT_LT(elapsed, 4 * IntervalSeconds() + 1.5);
    Window.EndFlag = 1;
    EXPECT_EQ(D3D9Call_DDraw_WaitVBlankCount(2), -1);
}
