// The settings tab: the sub-tab column, switching sub-pages, and running the chosen one.
// Stands on AppMain's layers and colours, the drawing helpers, KeyNames and the five sub-pages.
#include "app/SettingsPage.h"

#include "app/ButtonPage.h"
#include "app/DrawHelpers.h"
#include "app/InputInjection.h"
#include "app/KeyNames.h"
#include "app/LoadPage.h"
#include "app/PovPage.h"
#include "app/SavePage.h"
#include "app/StickPage.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

SettingsPageRecord SettingsPage = {
    SubTabLoad, {{0, 10, 100, 100}, {0, 120, 100, 100}, {0, 230, 100, 100}, {0, 340, 100, 100}, {0, 450, 100, 100}}, 1};
int (*SettingsPage_CaptureKey)() = CaptureKey;

namespace {

const char* const SubTabCaptions[5] = {"ロード", "スティック", "ボタン", "ＰＯＶ", "セーブ"};

void SettingsPage_EndAllTestRuns()
{
    EndTestRun(StickPage.TestRunning);
    EndTestRun(ButtonPage.TestRunning);
    EndTestRun(PovPage.TestRunning);
}

void SettingsPage_ChooseSubTab(int32_t tab)
{
    // The sub-page shown so far stops being run: its test run ends with it.
    SettingsPage_EndAllTestRuns();
    SettingsPage.SubTab = tab;
    SettingsPage.Redraw = 1;
    switch (tab) {
    case SubTabLoad:
        ScanSaveFolder(0);
        DrawFileList();
        LoadPage.Redraw = 1;
        break;
    case SubTabStick:
        StickPage.View = StickOverview;
        StickPage.Redraw = 1;
        break;
    case SubTabButtons:
        ButtonPage.Redraw = 1;
        break;
    case SubTabPov:
        PovPage.Redraw = 1;
        break;
    default: SavePage.Redraw = 1; break;
    }
}

void SettingsPage_SetSubPageRedraw()
{
    switch (SettingsPage.SubTab) {
    case SubTabLoad: LoadPage.Redraw = 1; break;
    case SubTabStick: StickPage.Redraw = 1; break;
    case SubTabButtons: ButtonPage.Redraw = 1; break;
    case SubTabPov: PovPage.Redraw = 1; break;
    default: SavePage.Redraw = 1; break;
    }
}

}  // namespace

const char* InputCaption(uint8_t assigned, uint8_t type, int32_t key, int32_t mouse)
{
    if (assigned != 1) return "未設定";
    if (type != 0) return mouse >= 0 && mouse <= 3 ? MouseButtonNames[mouse] : MouseButtonNames[0];
    return KeyCaption(key);
}

void SettingsPage_StaticInit()
{
    LoadPage_StaticInit();
    SavePage_StaticInit();
}

void SettingsPage_Setup()
{
    LoadPage_Setup();
    InitSavePage();
    SettingsPage.Redraw = 1;
}

void EndTestRun(uint8_t& testRunning)
{
    if (testRunning == 0) return;
    testRunning = 0;
    ReleaseAllHeld();
}

void SettingsPage_OnTabLeft() { SettingsPage_EndAllTestRuns(); }

void StartCapture(uint8_t& waiting)
{
    waiting = 1;
    ReleaseAllHeld();
}

void SettingsPage_OnTabChosen()
{
    StickPage.View = StickOverview;
    SettingsPage_EndAllTestRuns();
    SettingsPage.Redraw = 1;
}

int UpdateSettingsPage()
{
    SettingsPageRecord& page = SettingsPage;
    for (int32_t tab = 0; tab < 5; ++tab) {
        if (IsPressInPageRect(page.SubTabRect[tab])) {
            MouseClickState.PressEvent = 0;
            SettingsPage_ChooseSubTab(tab);
        }
    }
    if (page.Redraw) {
        const ScreenLayersRecord& layers = ScreenLayers;
        SelectDrawScreen(layers.PageLayer);
        DrawGraphAt(0, 0, layers.PageBackground, 0);
        SetBlendModeAndParam(1, layers.DimAlpha);
        for (const Rect& rect : page.SubTabRect) DrawGraphAt(rect.X, rect.Y, layers.BlackSquare, 0);
        SetBlendModeAndParam(0, 255);
        for (int32_t tab = 0; tab < 5; ++tab) {
            const Rect& rect = page.SubTabRect[tab];
            DrawCaptionBox(rect.X, rect.Y, rect.Width, rect.Height, SubTabCaptions[tab],
                           tab == page.SubTab ? ColorCyan : ColorLight);
        }
        SettingsPage_SetSubPageRedraw();
        page.Redraw = 0;
        ScreenLayers.LayersChanged = 1;
    }
    switch (page.SubTab) {
    case SubTabLoad: UpdateLoadPage(); break;
    case SubTabStick: UpdateStickPage(); break;
    case SubTabButtons: UpdateButtonPage(); break;
    case SubTabPov: UpdatePovPage(); break;
    default: UpdateSavePage(); break;
    }
    return 0;
}

}  // namespace Qelvar
