// The main loop's pieces without a window: the click state, the pacing rows and the loop rate they
// give over real time, and the tab column and run page driven by scripted clicks with the injected
// keys recorded (conversion starts, and every way of stopping it releases what the converters hold).
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppMain.h"
#include "app/DevicePage.h"
#include "app/Tabs.h"
#include "system/VtTime.h"
#include "tests/app/ConverterTestSupport.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

TEST(ClickState, PressAndReleaseRaiseOneEventEach)
{
    MouseClickState = {};
    struct Step {
        uint8_t Down;
        int32_t X;
        uint8_t PressEvent, ReleaseEvent, Pressed;
        int32_t PressX, ReleaseX;
    };
    const Step steps[] = {
        {0, 5, 0, 0, 0, 0, 0},   {1, 10, 1, 0, 1, 10, 0}, {1, 20, 0, 0, 1, 10, 0}, {1, 30, 0, 0, 1, 10, 0},
        {0, 40, 0, 1, 0, 10, 40}, {0, 50, 0, 0, 0, 10, 40}, {1, 60, 1, 0, 1, 60, 40}, {0, 70, 0, 1, 0, 60, 70},
    };
    int index = 0;
    for (const Step& step : steps) {
        UpdateClickState(step.Down, step.X, step.X + 1);
        SCOPED_TRACE(index++);
        EXPECT_EQ(MouseClickState.X, step.X);
        EXPECT_EQ(MouseClickState.PressEvent, step.PressEvent);
        EXPECT_EQ(MouseClickState.ReleaseEvent, step.ReleaseEvent);
        EXPECT_EQ(MouseClickState.Pressed, step.Pressed);
        EXPECT_EQ(MouseClickState.PressX, step.PressX);
        EXPECT_EQ(MouseClickState.ReleaseX, step.ReleaseX);
    }
}

TEST(ClickState, HitTestsAreStrictOnEverySide)
{
    const Rect rect = {200, 210, 300, 100};
    struct Case {
        int32_t X, Y;
        bool Inside;
    } cases[] = {{320, 260, false}, {321, 260, true}, {619, 260, true}, {620, 260, false},
                 {470, 210, false}, {470, 211, true}, {470, 309, true}, {470, 310, false}};
    for (const Case& c : cases) {
        MouseClickState.PressEvent = 1;
        MouseClickState.PressX = c.X;
        MouseClickState.PressY = c.Y;
        EXPECT_EQ(IsPressInPageRect(rect), c.Inside) << c.X << "," << c.Y;
    }
    MouseClickState.PressEvent = 0;
    EXPECT_FALSE(IsPressInPageRect(rect));
}

TEST(FramePacing, RowsByRateAndDamagedValuesTakeTheDefault)
{
    struct Case {
        int32_t Type;
        int32_t Sleep, Frame;
        uint8_t EverySecond;
    } cases[] = {{0, 33, 33333, 0}, {1, 16, 16667, 0}, {2, 13, 13333, 0}, {3, 8, 8333, 1},     {4, 6, 6944, 1},
                 {5, 33, 33333, 0}, {-1, 33, 33333, 0}, {0x7FFFFFFF, 33, 33333, 0}};
    for (const Case& c : cases) {
        const FramePacingRow row = FramePacing_ForRate(c.Type);
        EXPECT_EQ(row.SleepMilliseconds, c.Sleep) << c.Type;
        EXPECT_EQ(row.FrameMicroseconds, c.Frame) << c.Type;
        EXPECT_EQ(row.EverySecondFrame, c.EverySecond) << c.Type;
    }
    // Vertical-blank mode where the wait returns at once: paced at the refresh rate.
    const FramePacingRow at60 = FramePacing_ForRefreshRate(60);
    EXPECT_EQ(at60.FrameMicroseconds, 16667);
    EXPECT_EQ(at60.SleepMilliseconds, 16);
    EXPECT_EQ(at60.EverySecondFrame, 1);
    EXPECT_EQ(FramePacing_ForRefreshRate(144).FrameMicroseconds, 6944);
    EXPECT_EQ(FramePacing_ForRefreshRate(0).FrameMicroseconds, 16667);
}

int CountedPumps = 0;
int CountingPump()
{
    ++CountedPumps;
    return 0;
}
int NoPresent() { return 0; }

struct LoopFigures {
    double PassesPerSecond;
    double PresentsPerPass;
    double CpuShare;
};

// Runs EndFrame for the given time and counts passes and presents.
LoopFigures RunPacedLoop(int32_t frameRateType, uint8_t vsync, DWORD milliseconds, int (*present)() = NoPresent)
{
    AppMain_Pump = CountingPump;
    AppMain_Present = present;
    FrameRateType = frameRateType;
    VSyncEnabled = vsync;
    ScreenLayers.LayersChanged = 0;
    ScreenLayers.FlipToggle = 0;
    const uint64_t frames0 = AppMain_FrameCount, presents0 = AppMain_PresentCount;
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    const uint64_t start = Vantrel::GetMicrosecondCount();
    ScreenLayers.LastFlipTime = start;
    while (Vantrel::GetMicrosecondCount() - start < milliseconds * 1000ULL) EndFrame();
    const double seconds = (Vantrel::GetMicrosecondCount() - start) / 1e6;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);
    auto ticks = [](FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const double cpu = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
    AppMain_Pump = [] { return 0; };
    const double frames = static_cast<double>(AppMain_FrameCount - frames0);
    return {frames / seconds, (AppMain_PresentCount - presents0) / frames, cpu / seconds};
}

TEST(FramePacing, LoopRateFollowsTheFrameRateType)
{
    struct Case {
        int32_t Type;
        double Rate;
        double PresentsPerPass;
    } cases[] = {{0, 30, 1.0}, {1, 60, 1.0}, {2, 75, 1.0}, {3, 120, 0.5}, {4, 144, 0.5}, {9, 30, 1.0}};
    for (const Case& c : cases) {
        const LoopFigures figures = RunPacedLoop(c.Type, 0, 1000);
        SCOPED_TRACE(c.Type);
        EXPECT_GT(figures.PassesPerSecond, c.Rate * 0.8);
        EXPECT_LT(figures.PassesPerSecond, c.Rate * 1.05);
        EXPECT_NEAR(figures.PresentsPerPass, c.PresentsPerPass, 0.05);
    }
}

// A present that takes 8 ms (as through Direct3D 11 on a software rasteriser) still leaves 60 frames
// a second: the first sleep counts it.
TEST(FramePacing, ASlowPresentDoesNotStretchTheFrame)
{
    const LoopFigures figures = RunPacedLoop(1, 0, 1000, [] {
        Sleep(8);
        return 0;
    });
    AppMain_Present = NoPresent;
    EXPECT_GT(figures.PassesPerSecond, 60 * 0.85);
    EXPECT_LT(figures.PassesPerSecond, 60 * 1.05);
}

TEST(FramePacing, TheWaitSleepsInsteadOfSpinning)
{
    // 144 a second leaves under a millisecond after the whole-millisecond sleep: polling through it
    // kept a tenth of a core busy with nothing to do.
    const LoopFigures figures = RunPacedLoop(4, 0, 2000);
    EXPECT_GT(figures.PassesPerSecond, 144 * 0.85);
    EXPECT_LT(figures.PassesPerSecond, 144 * 1.05);
    EXPECT_LT(figures.CpuShare, 0.05);
}

TEST(FramePacing, VerticalBlankModeWithoutDevicePacesAtTheRefreshRateWithoutSpinning)
{
    const LoopFigures figures = RunPacedLoop(0, 1, 1000);
    // The display's refresh rate (Xvfb reports 60 or nothing, which counts as 60); never a spin.
    EXPECT_GT(figures.PassesPerSecond, 20.0);
    EXPECT_LT(figures.PassesPerSecond, 250.0);
    EXPECT_NEAR(figures.PresentsPerPass, 0.5, 0.05);
    EXPECT_LT(figures.CpuShare, 0.5);
    VSyncEnabled = 0;
}

// The tab column and run page by scripted clicks; what the converters send is recorded.
class TabsTest : public ConverterTest {
protected:
    void SetUp() override
    {
        ConverterTest::SetUp();
        Tabs_Reset();
        MouseClickState = {};
        Settings.Buttons.FirstAssigned[0] = 1;
        Settings.Buttons.FirstType[0] = 0;
        Settings.Buttons.FirstKey[0] = 0x11;
        Pad.Buttons[0] = 0x80;
        Settings.Stick.RightStickEnabled = 0;  // its moves would fill the record
    }

    // One frame with the left button in the given state at (x, y); returns UpdateTabs' result.
    static int Frame(uint8_t down, int32_t x, int32_t y)
    {
        UpdateClickState(down, x, y);
        return UpdateTabs();
    }
    static void Click(int32_t x, int32_t y)
    {
        Frame(1, x, y);
        Frame(0, x, y);
    }
    void StartConversion()
    {
        Click(60, 390);  // run tab
        Click(470, 260); // run button
        Frame(0, 470, 260);
        ASSERT_EQ(RunPage.ConversionOn, 1);
        ASSERT_EQ(Take(), "+11");
    }
};

TEST_F(TabsTest, RunTabThenRunButtonStartsConversionFromTheNextFrame)
{
    Frame(1, 60, 390);
    EXPECT_EQ(CurrentTab, TabRun);
    EXPECT_EQ(MouseClickState.PressEvent, 0) << "the tab bar consumes the press";
    Frame(0, 60, 390);
    Frame(1, 470, 260);
    EXPECT_EQ(RunPage.ConversionOn, 1);
    EXPECT_EQ(Take(), "") << "this frame's converters ran with conversion still off";
    Frame(1, 470, 260);
    EXPECT_EQ(Take(), "+11");
    Pad.Buttons[0] = 0;
    Frame(0, 470, 260);
    EXPECT_EQ(Take(), "-11");
}

TEST_F(TabsTest, EveryWayOfStoppingConversionReleasesHeldKeys)
{
    struct Case {
        const char* Name;
        int32_t X, Y;
        int32_t Tab;
    } cases[] = {{"run button", 470, 260, TabRun}, {"run tab", 60, 390, TabRun}, {"home tab", 60, 60, TabHome},
                 {"settings tab", 60, 280, TabSettings}, {"exit tab", 60, 500, TabExit}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Tabs_Reset();
        Pad.Buttons[0] = 0x80;
        StartConversion();
        Frame(1, c.X, c.Y);
        EXPECT_EQ(Take(), "-11");
        EXPECT_EQ(CurrentTab, c.Tab);
        EXPECT_EQ(PressedKeyTable[0x11], 0);
        Frame(0, c.X, c.Y);
        EXPECT_EQ(Take(), "") << "no converter runs once stopped";
    }
}

TEST_F(TabsTest, ExitButtonEndsAndOtherPressesDoNot)
{
    Click(60, 500);
    EXPECT_EQ(CurrentTab, TabExit);
    EXPECT_EQ(Frame(1, 320, 260), 0) << "on the button's outline";
    Frame(0, 320, 260);
    EXPECT_EQ(Frame(1, 470, 260), -1);
}

TEST_F(TabsTest, DeviceTilesBeyondThePadCountCannotBeChosen)
{
    // Chosen without the tab, whose redraw would start the library's input in this process.
    CurrentTab = TabDevice;
    SelectedPad = 1;
    PadCount = 2;
    DevicePage.Redraw = 0;
    UpdateClickState(1, 120 + 420, 210);  // tile 3
    UpdateDevicePage();
    EXPECT_EQ(SelectedPad, 1);
    EXPECT_EQ(MouseClickState.PressEvent, 1);
    UpdateClickState(0, 0, 0);
    PadCount = 2;
    DevicePage.Redraw = 0;
    UpdateClickState(1, 120 + 310, 210);  // tile 2
    UpdateDevicePage();
    EXPECT_EQ(SelectedPad, 2);
    EXPECT_EQ(MouseClickState.PressEvent, 0);
    SelectedPad = 0;
}

}  // namespace
}  // namespace QelvarTest
