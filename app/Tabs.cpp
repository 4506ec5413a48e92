// The tab column and the home, run and exit pages.
// Stands on AppMain (layers, colours, click state), the converters and InputInjection (conversion
// and its stop), SettingFiles (the system file), DevicePage, SettingsPage and the drawing helpers.
#include "app/Tabs.h"

#include "app/ButtonConverter.h"
#include "app/DevicePage.h"
#include "app/DrawHelpers.h"
#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "app/PovConverter.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "app/StickConverters.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtWindow.h"

namespace Qelvar {

using namespace Vantrel;

int32_t CurrentTab = TabHome;
Rect TabRect[TabCount] = {{10, 10, 100, 100}, {10, 120, 100, 100}, {10, 230, 100, 100}, {10, 340, 100, 100},
                          {10, 450, 100, 100}};
int32_t TabBarRedraw = 1;
const char* const TabCaptions[TabCount] = {"ホーム", "機器選択", "設定", "実行", "終了"};

HomePageRecord HomePage = {{0, 10, 730, 540}, 40, {50, 450, 200, 50}, 0, 1};
RunPageRecord RunPage = {{0, 10, 730, 540}, {200, 210, 300, 100}, -1, 0, 1};
ExitPageRecord ExitPage = {{0, 10, 730, 540}, {200, 210, 300, 100}, {220, 360, 60, 40}, -1, -1, 1};

namespace {

// Conversion stops: whatever the converters hold goes up, so no key stays down in the system.
void Tabs_StopConversion()
{
    RunPage.ConversionOn = 0;
    ReleaseAllHeld();
}

void Tabs_ChooseTab(int32_t tab)
{
    // Leaving the run page ends the converter calls; what they hold is released with it.
    if (CurrentTab == TabRun && tab != TabRun && RunPage.ConversionOn) ReleaseAllHeld();
    // Leaving the settings tab ends its test runs (and releases what they hold).
    if (CurrentTab == TabSettings && tab != TabSettings) SettingsPage_OnTabLeft();
    CurrentTab = tab;
    TabBarRedraw = 1;
    switch (tab) {
    case TabHome: HomePage.Redraw = 1; break;
    case TabDevice: DevicePage.Redraw = 1; break;
    case TabSettings: SettingsPage_OnTabChosen(); break;
    case TabRun:
        Tabs_StopConversion();
        RunPage.Redraw = 1;
        break;
    case TabExit: ExitPage.Redraw = 1; break;
    default: break;
    }
}

void Tabs_DrawPageFrame(const Rect& frame)
{
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(0, 0, layers.PageBackground, 0);
    DrawGraphAt(0, 10, layers.Panel, 1);
    DrawRectangle(frame.X, frame.Y, frame.X + frame.Width, frame.Y + frame.Height, ColorCyan, 0, 1);
}

}  // namespace

void Tabs_CreateFonts()
{
    ExitPage.PageFont = CreateFontToHandle(PageFontFace, 26, 10, 0x22, -1, -1, 0, -1);
    ExitPage.SmallFont = CreateFontToHandle(PageFontFace, 12, 10, -1, -1, -1, 0, -1);
    RunPage.PageFont = CreateFontToHandle(PageFontFace, 26, 10, 0x22, -1, -1, 0, -1);
}

void Tabs_Reset()
{
    CurrentTab = TabHome;
    TabBarRedraw = 1;
    HomePage.Hover = 0;
    HomePage.Redraw = 1;
    RunPage.ConversionOn = 0;
    RunPage.Redraw = 1;
    ExitPage.Redraw = 1;
}

int UpdateTabs()
{
    for (int32_t tab = 0; tab < TabCount; ++tab) {
        if (IsPressInWindowRect(TabRect[tab])) {
            MouseClickState.PressEvent = 0;
            Tabs_ChooseTab(tab);
        }
    }

    if (CheckWindowCloseRequest(0)) {
        CheckWindowCloseRequest(1);
        if (NoExitConfirm == 1) return -1;
        if (CurrentTab == TabRun && RunPage.ConversionOn) ReleaseAllHeld();
        CurrentTab = TabExit;
        ExitPage.Redraw = 1;
        TabBarRedraw = 1;
    }

    switch (CurrentTab) {
    case TabHome: UpdateHomePage(); break;
    case TabDevice: UpdateDevicePage(); break;
    case TabSettings: UpdateSettingsPage(); break;
    case TabRun: UpdateRunPage(); break;
    case TabExit:
        if (UpdateExitPage() != 0) return -1;
        break;
    default: break;
    }

    RedrawIfMarked(TabBarRedraw, DrawTabBar);
    return 0;
}

void DrawTabBar()
{
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.TabBarLayer);
    DrawGraphAt(0, 0, layers.TabBarBackground, 0);
    SetBlendModeAndParam(1, layers.DimAlpha);
    for (const Rect& rect : TabRect) DrawGraphAt(rect.X, rect.Y, layers.BlackSquare, 0);
    SetBlendModeAndParam(0, 255);
    for (int32_t tab = 0; tab < TabCount; ++tab) {
        const Rect& rect = TabRect[tab];
        DrawCaptionBox(rect.X, rect.Y, rect.Width, rect.Height, TabCaptions[tab],
                       tab == CurrentTab ? ColorCyan : ColorLight);
    }
}

int UpdateHomePage()
{
    const bool over = IsPointerInPageRect(HomePage.BackgroundButton);
    if (over && HomePage.Hover == 0) {
        HomePage.Hover = 1;
        HomePage.Redraw = 1;
    } else if (!over && HomePage.Hover == 1) {
        HomePage.Hover = 0;
        HomePage.Redraw = 1;
    }
    if (IsPressInPageRect(HomePage.BackgroundButton)) {
        MouseClickState.PressEvent = 0;
        BackgroundHidden = BackgroundHidden == 0 ? 1 : 0;
        RedrawBackgroundLayers(BackgroundHidden);
        UpdateSystemFile(SystemFieldBackgroundHidden);
    }
    RedrawIfMarked(HomePage.Redraw, DrawHomePage);
    return 0;
}

void DrawHomePage()
{
    const HomePageRecord& page = HomePage;
    Tabs_DrawPageFrame(page.Frame);
    static const char* const lines[5] = {
        "Qelvar",
        "ゲームパッドの操作をキーボードとマウスの入力に変えるツールです。",
        "Qelvarをご使用いただきありがとうございます。",
        "左側設定タブにて機能設定をして、実行タブで変換を実行できます。",
        "詳しくは本ソフトウェア付属の使用方法.txtをお読みください",
    };
    static const int offsets[5] = {0, 30, 60, 80, 100};
    for (int i = 0; i < 5; ++i)
        DrawFormattedText(page.Frame.X + 50, page.Frame.Y + page.TextTop + offsets[i], ColorLight, "%s", lines[i]);
    const Rect& button = page.BackgroundButton;
    if (BackgroundHidden == 0)
        DrawCaptionBox(button.X, button.Y, button.Width, button.Height, "背景表示 ON ", ColorLight);
    else if (BackgroundHidden == 1)
        DrawCaptionBox(button.X, button.Y, button.Width, button.Height, "背景表示 OFF", ColorLight);
}

int UpdateRunPage()
{
    if (RunPage.ConversionOn == 1 && PadCount > 0) {
        ConvertLeftStick();
        ConvertRightStick();
        ConvertButtons();
        ConvertPov();
    }
    if (IsPressInPageRect(RunPage.RunButton)) {
        MouseClickState.PressEvent = 0;
        if (RunPage.ConversionOn)
            Tabs_StopConversion();
        else
            RunPage.ConversionOn = 1;
        RunPage.Redraw = 1;
    }
    RedrawIfMarked(RunPage.Redraw, DrawRunPage);
    return 0;
}

void DrawRunPage()
{
    const RunPageRecord& page = RunPage;
    Tabs_DrawPageFrame(page.Frame);
    const Rect& button = page.RunButton;
    if (page.ConversionOn)
        DrawCaptionBoxWithFont(button.X, button.Y, button.Width, button.Height, "変換を実行中", page.PageFont,
                               ColorCyan);
    else
        DrawCaptionBoxWithFont(button.X, button.Y, button.Width, button.Height, "変換を実行する", page.PageFont,
                               ColorPink);
}

int UpdateExitPage()
{
    if (IsPressInPageRect(ExitPage.ExitButton)) {
        MouseClickState.PressEvent = 0;
        return -1;
    }
    if (IsPressInPageRect(ExitPage.ConfirmBox)) {
        MouseClickState.PressEvent = 0;
        NoExitConfirm = NoExitConfirm == 0 ? 1 : 0;
        UpdateSystemFile(SystemFieldNoExitConfirm);
        ExitPage.Redraw = 1;
    }
    RedrawIfMarked(ExitPage.Redraw, DrawExitPage);
    return 0;
}

void DrawExitPage()
{
    const ExitPageRecord& page = ExitPage;
    Tabs_DrawPageFrame(page.Frame);
    const Rect& button = page.ExitButton;
    DrawCaptionBoxWithFont(button.X, button.Y, button.Width, button.Height, "終了する", page.PageFont, ColorLight);
    const Rect& box = page.ConfirmBox;
    DrawRectangle(box.X, box.Y, box.X + box.Width, box.Y + box.Height, ColorLight, 0, 1);
    if (NoExitConfirm == 1)
        DrawCircleShape(box.X + box.Width / 2, box.Y - 1 + box.Height / 2, 10, ColorLight, 0, 1);
    DrawFormattedTextToHandle(box.X + 80, box.Y + 2, ColorLight, page.SmallFont, "%s", "終了時に確認画面を表示しない");
    DrawFormattedTextToHandle(box.X + 80, box.Y + 22, ColorLight, page.SmallFont, "%s", "(タブからは開けます)");
}

}  // namespace Qelvar
