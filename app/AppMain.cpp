// The tool's spine: static initialisers, start-up, layers, click state, main loop and frame pacing.
// Stands on the library's start-up and window settings, input, graphics and font services, and on
// the pages (Tabs, DevicePage, SettingsPage), PadReading, SettingFiles and InputInjection.
#include "app/AppMain.h"

#include <windows.h>

#include <algorithm>

#include "app/ButtonConverter.h"
#include "app/DevicePage.h"
#include "app/InputInjection.h"
#include "app/KeyNames.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "app/Tabs.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImageStart.h"
#include "system/VtInput.h"
#include "system/VtSystem.h"
#include "system/VtTime.h"
#include "system/VtWindowSettings.h"

namespace Qelvar {

using namespace Vantrel;

namespace {

constexpr int ScreenWidth = 860;
constexpr int ScreenHeight = 560;
constexpr int DefaultRefreshRate = 60;

const char* const WindowTitle = "Qelvar ver1.00";

int DefaultPump() { return PollMessages(); }
int DefaultPresent() { return PresentScreenDirect(); }
uint64_t DefaultClock() { return GetMicrosecondCount(); }

const FramePacingRow PacingTable[5] = {
    {33, 33333, 0},  // 30
    {16, 16667, 0},  // 60
    {13, 13333, 0},  // 75
    {8, 8333, 1},    // 120
    {6, 6944, 1},    // 144
};

// Waits until the frame time has passed since the last paced frame, pumping messages; a pump result
// of -1 ends the wait early. The wait sleeps, never spins: first for the row's sleep, but never past
// the frame's due time (time spent drawing and presenting counts toward the frame), then a
// millisecond per pass. A sleep may end up to a millisecond late, so the next frame is due one
// frame after this one was due, not after it ended; the rate holds. A frame that fell a whole frame
// behind starts the count anew instead of hurrying to catch up.
void AppMain_WaitFrame(const FramePacingRow& row)
{
    const uint64_t due = ScreenLayers.LastFlipTime + static_cast<uint64_t>(row.FrameMicroseconds);
    auto left = [due] { return static_cast<int64_t>(due - AppMain_Clock()); };
    const int64_t firstSleep = std::min<int64_t>(row.SleepMilliseconds, left() / 1000);
    if (firstSleep > 0) Sleep(static_cast<DWORD>(firstSleep));
    while (left() > 0) {
        if (AppMain_Pump() == -1) break;
        if (left() > 0) Sleep(1);
    }
    const uint64_t now = AppMain_Clock();
    const bool behind = static_cast<int64_t>(now - due) >= row.FrameMicroseconds;
    ScreenLayers.LastFlipTime = behind || static_cast<int64_t>(now - due) < 0 ? now : due;
}

int32_t AppMain_DisplayRefreshRate()
{
    if (Graphics_Display_GetCount() <= 0) Graphics_Display_SetupInfo();
    const GraphicsDisplayInfo* display = Graphics_Display_Get(Graphics_Display_GetCurrentIndex());
    if (display != nullptr && display->RefreshRate > 1) return display->RefreshRate;
    return DefaultRefreshRate;
}

}  // namespace

ScreenLayersRecord ScreenLayers = {0, BackgroundHidden, 1, -1, {0, 0, 860, 560}, -1, {0, 0, 120, 560}, -1,
                                   {120, 0, 740, 560}, -1, -1, -1, -1, -1, -1, -1, -1, 153, 0};
unsigned int ColorBlack, ColorLight, ColorCyan, ColorGrey, ColorPink, ColorRed, ColorGreen, ColorBlue;
MouseClickStateRecord MouseClickState;
const char* const PageFontFace = "ＭＳ　ゴシック";

int (*AppMain_Pump)() = DefaultPump;
int (*AppMain_Present)() = DefaultPresent;
uint64_t (*AppMain_Clock)() = DefaultClock;
uint64_t AppMain_FrameCount = 0;
uint64_t AppMain_PresentCount = 0;

bool IsPressInPageRect(const Rect& rect)
{
    return MouseClickState.PressEvent &&
           IsInsideRect(rect, MouseClickState.PressX, MouseClickState.PressY, ScreenLayers.PageRect.X,
                        ScreenLayers.PageRect.Y);
}

bool IsPressInWindowRect(const Rect& rect)
{
    return MouseClickState.PressEvent && IsInsideRect(rect, MouseClickState.PressX, MouseClickState.PressY);
}

bool IsPointerInPageRect(const Rect& rect)
{
    return IsInsideRect(rect, MouseClickState.X, MouseClickState.Y, ScreenLayers.PageRect.X,
                        ScreenLayers.PageRect.Y);
}

void RunStaticInitialisers()
{
    BuildMouseButtonNames();
    BuildKeyNames();
    InitDefaultSettings();
    SettingsPage_StaticInit();
    ButtonConverter_Clear();
    LoadSystemSettings();
    SetWindowCloseEnabled(0);
}

void RedrawBackgroundLayers(int32_t hidden)
{
    ScreenLayersRecord& layers = ScreenLayers;
    layers.BackgroundHidden = hidden;
    SelectDrawScreen(layers.Background);
    if (hidden == 0) DrawGraphAt(0, 0, layers.BackgroundPicture, 0);
    if (hidden == 1) DrawGraphAt(0, 0, layers.EmptyBackground, 0);
    SelectDrawScreen(layers.TabBarBackground);
    DrawGraphAt(0, 0, layers.Background, 0);
    SelectDrawScreen(layers.PageBackground);
    DrawGraphAt(-120, 0, layers.Background, 0);
    SelectDrawScreen(layers.BlackSquare);
    DrawRectangle(0, 0, 100, 100, ColorBlack, 1, 1);
    SelectDrawScreen(layers.Panel);
    DrawGraphPart(0, 0, 0, 10, 730, 540, layers.PageBackground, 0, 0, 0);
    SetBlendModeAndParam(1, layers.DimAlpha);
    DrawRectangle(0, 0, 730, 540, ColorBlack, 1, 1);
    SetBlendModeAndParam(0, 255);
    SelectDrawScreen(layers.SubPanel);
    DrawGraphPart(0, 0, 110, 10, 620, 540, layers.PageBackground, 0, 0, 0);
    SetBlendModeAndParam(1, layers.DimAlpha);
    DrawRectangle(0, 0, 620, 540, ColorBlack, 1, 1);
    SetBlendModeAndParam(0, 255);
}

void CreateScreens()
{
    ScreenLayersRecord& layers = ScreenLayers;
    layers.LastFlipTime = AppMain_Clock();
    layers.CompositeScreen = CreateDrawableGraph(ScreenWidth, ScreenHeight, 0);
    layers.TabBarLayer = CreateDrawableGraph(120, 560, 0);
    layers.PageLayer = CreateDrawableGraph(740, 560, 0);
    layers.BackgroundPicture = LoadGraphFile("picture/backscreen.jpg", 0);
    if (layers.BackgroundPicture == -1) layers.BackgroundPicture = CreateDrawableGraph(ScreenWidth, ScreenHeight, 0);
    layers.EmptyBackground = CreateDrawableGraph(ScreenWidth, ScreenHeight, 0);
    layers.Background = CreateDrawableGraph(ScreenWidth, ScreenHeight, 0);
    layers.TabBarBackground = CreateDrawableGraph(120, 560, 0);
    layers.PageBackground = CreateDrawableGraph(740, 560, 0);
    layers.BlackSquare = CreateDrawableGraph(100, 100, 0);
    layers.Panel = CreateDrawableGraph(730, 540, 0);
    layers.SubPanel = CreateDrawableGraph(620, 540, 0);
    layers.DimAlpha = 153;
    RedrawBackgroundLayers(layers.BackgroundHidden);
}

void UpdateClickState(uint8_t down, int32_t x, int32_t y)
{
    MouseClickStateRecord& click = MouseClickState;
    click.Down = down;
    click.X = x;
    click.Y = y;
    click.PressEvent = 0;
    click.ReleaseEvent = 0;
    if (!click.Pressed && click.Down) {
        click.PressX = x;
        click.PressY = y;
        click.Pressed = 1;
        click.PressEvent = 1;
    } else if (click.Pressed && !click.Down) {
        click.ReleaseX = x;
        click.ReleaseY = y;
        click.Pressed = 0;
        click.ReleaseEvent = 1;
    }
}

FramePacingRow FramePacing_ForRate(int32_t frameRateType)
{
    if (frameRateType < 0 || frameRateType > 4) frameRateType = 0;
    return PacingTable[frameRateType];
}

FramePacingRow FramePacing_ForRefreshRate(int32_t refreshRate)
{
    if (refreshRate <= 1) refreshRate = DefaultRefreshRate;
    const int32_t frame = (1000000 + refreshRate / 2) / refreshRate;
    return {frame / 1000, frame, 1};
}

void ComposeFrame()
{
    ScreenLayersRecord& layers = ScreenLayers;
    if (!layers.LayersChanged) return;
    SelectDrawScreen(layers.CompositeScreen);
    DrawGraphAt(layers.TabBarRect.X, layers.TabBarRect.Y, layers.TabBarLayer, 0);
    DrawGraphAt(layers.PageRect.X, layers.PageRect.Y, layers.PageLayer, 0);
    layers.LayersChanged = 0;
    SelectDrawScreen(-2);
    DrawGraphAt(0, 0, layers.CompositeScreen, 0);
}

void EndFrame()
{
    ScreenLayersRecord& layers = ScreenLayers;
    ComposeFrame();

    FramePacingRow row;
    if (VSyncEnabled == 1) {
        // The wait for the vertical blank only waits on the Direct3D 9 side; elsewhere it returns at
        // once, and the frame is paced by time at the display's refresh rate instead.
        if (GraphicsApi == GRAPHICS_API_D3D9) {
            WaitVerticalBlank(0);
            row = {0, 0, 1};
        } else {
            row = FramePacing_ForRefreshRate(AppMain_DisplayRefreshRate());
            AppMain_WaitFrame(row);
        }
    } else {
        row = FramePacing_ForRate(FrameRateType);
        AppMain_WaitFrame(row);
    }
    ++AppMain_FrameCount;

    if (row.EverySecondFrame) {
        const uint8_t toggle = layers.FlipToggle;
        layers.FlipToggle = !toggle;
        if (toggle != 0) return;
    }
    AppMain_Present();
    ++AppMain_PresentCount;
}

int RunFrame()
{
    int x = 0, y = 0;
    const uint8_t down = (GetMouseButtons() & MouseButtonLeft) != 0;
    GetMousePosition(&x, &y);
    UpdateClickState(down, x, y);
    MouseClickState.Wheel = GetMouseWheelNotches(1);
    ReadPadState();
    if (UpdateTabs() == -1) return -1;
    EndFrame();
    return 0;
}

void RunMainLoop()
{
    if (AppMain_Pump() == 0) {
        for (;;) {
            if (RunFrame() == -1) break;
            if (AppMain_Pump() != 0) break;
        }
    }
    // Nothing a converter pressed may stay down in the system once the program ends.
    ReleaseAllHeld();
}

int StartApplication()
{
    SetWindowIconResource(101);
    ReadSettingFile("option.data");
    ScreenLayers.ScreenRect = {0, 0, 860, 560};
    ScreenLayers.TabBarRect = {0, 0, 120, 560};
    ScreenLayers.PageRect = {120, 0, 740, 560};
    SetMainWindowTitle(WindowTitle);
    SetScreenResolution(ScreenWidth, ScreenHeight, 32, 60);
    ChangeWindowMode(1);
    SetWaitVSyncEnable(0);
    SetRunWhileInactive(1);
    SetAllowMultipleInstances(1);
    if (InitializeLibrary() == -1) return -1;

    CreateScreens();
    PadReading_ClearDeadZones();
    ColorBlack = MakeColorCode(0, 0, 0);
    ColorLight = MakeColorCode(230, 230, 230);
    ColorCyan = MakeColorCode(0, 245, 245);
    ColorGrey = MakeColorCode(120, 120, 120);
    ColorPink = MakeColorCode(255, 200, 200);
    ColorRed = MakeColorCode(255, 0, 0);
    ColorGreen = MakeColorCode(0, 255, 0);
    ColorBlue = MakeColorCode(0, 0, 255);
    DevicePage_Setup();
    SettingsPage_Setup();
    Tabs_CreateFonts();
    return 0;
}

int RunApplication()
{
    if (StartApplication() == -1) return -1;
    RunMainLoop();
    TerminateLibrary();
    return 0;
}

}  // namespace Qelvar
