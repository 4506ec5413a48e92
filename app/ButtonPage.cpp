// The button sub-page: grid selection (by click or by holding a pad button), mode toggle, key
// capture, mouse buttons, delete and the test run of the button converter, and its drawing.
// Stands on SettingFiles, PadReading, KeyNames, ButtonConverter, SettingsPage and the drawing helpers.
#include "app/ButtonPage.h"

#include <cstdio>
#include <initializer_list>

#include "app/ButtonConverter.h"
#include "app/DrawHelpers.h"
#include "app/KeyNames.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

ButtonPageRecord ButtonPage = {
    {110, 10, 620, 540}, {120, 20, 600, 200}, {0, 0, 0, 0},     {120, 230, 300, 310}, {130, 240, 100, 30},
    {240, 240, 170, 30}, {130, 280, 280, 120}, {130, 410, 280, 120}, {430, 230, 290, 200}, {445, 240, 260, 50},
    {445, 300, 80, 50},  {535, 300, 80, 50},  {625, 300, 80, 50},  {445, 360, 260, 50},  {445, 480, 260, 50},
    0, 0, 0, 0, 1};

namespace {

bool ButtonPage_Clicked(const Rect& rect)
{
    if (!IsPressInPageRect(rect)) return false;
    MouseClickState.PressEvent = 0;
    return true;
}

void ButtonPage_SetEdited(uint8_t type, int32_t key, int32_t mouse, bool clear)
{
    ButtonSettings& buttons = Settings.Buttons;
    const int i = ButtonPage.SelectedButton;
    uint8_t* assigned = ButtonPage.EditSecond ? buttons.SecondAssigned : buttons.FirstAssigned;
    uint8_t* types = ButtonPage.EditSecond ? buttons.SecondType : buttons.FirstType;
    int32_t* keys = ButtonPage.EditSecond ? buttons.SecondKey : buttons.FirstKey;
    int32_t* mice = ButtonPage.EditSecond ? buttons.SecondMouse : buttons.FirstMouse;
    if (clear) {
        assigned[i] = types[i] = 0;
        keys[i] = mice[i] = 0;
        return;
    }
    assigned[i] = 1;
    types[i] = type;
    if (type == 0) keys[i] = key;
    else mice[i] = mouse;
}

void ButtonPage_DrawInputBox(const Rect& box, const char* modeName, uint8_t assigned, uint8_t type, int32_t key,
                             int32_t mouse, unsigned int color)
{
    DrawFormattedText(box.X + 20, box.Y + 50, color, "%s", modeName);
    DrawFormattedText(box.X + 80, box.Y + 30, color, "%s", "入力種類：");
    if (assigned != 0) {
        const bool isMouse = type != 0;
        DrawFormattedText(box.X + 180, box.Y + 30, color, "%s", isMouse ? "マウス" : "キーボード");
        DrawFormattedText(box.X + 80, box.Y + 60, color, "%s", isMouse ? "設定ボタン：" : "設定キー：");
        DrawFormattedText(box.X + 180, box.Y + 60, color, "%s", InputCaption(1, type, key, mouse));
    } else {
        DrawFormattedText(box.X + 180, box.Y + 30, color, "%s", "未設定");
    }
}

void ButtonPage_DrawClickBox(const Rect& box, const char* name)
{
    DrawRectangle(box.X, box.Y, box.X + box.Width, box.Y + box.Height, ColorLight, 0, 1);
    DrawFormattedText(box.X + 30, box.Y + 5, ColorLight, "%s", name);
    DrawFormattedText(box.X + 5, box.Y + 25, ColorLight, "%s", "クリック");
}

}  // namespace

void DrawButtonPage()
{
    ButtonPageRecord& page = ButtonPage;
    const ButtonSettings& buttons = Settings.Buttons;
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.Frame.X, page.Frame.Y, layers.SubPanel, 0);
    DrawRectangle(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height,
                  ColorCyan, 0, 1);
    const Rect& grid = page.Grid;
    DrawRectangle(grid.X, grid.Y, grid.X + grid.Width, grid.Y + grid.Height, ColorLight, 0, 1);
    for (int k = 1; k < 10; ++k) DrawLineSegment(grid.X + 60 * k, grid.Y, grid.X + 60 * k, grid.Y + grid.Height, ColorLight, 1);
    for (int line : {20, 100, 120}) DrawLineSegment(grid.X, grid.Y + line, grid.X + grid.Width, grid.Y + line, ColorLight, 1);

    for (int row = 0; row < 2; ++row) {
        for (int k = 0; k < 10; ++k) {
            const int i = k + 10 * row;
            const int shift = row == 1 ? 2 : 0;
            page.Cell = {grid.X + 60 * k, grid.Y + 100 * row, 60, 100};
            char number[16];
            std::snprintf(number, sizeof number, "%d", i + 1);
            DrawCaptionCentred(page.Cell.X + shift, page.Cell.Y + 2, 60, 20, number, ColorLight);
            DrawCaptionCentred(page.Cell.X + shift, page.Cell.Y + 25, 60, 20, buttons.ButtonMode[i] ? "2キー" : "通常",
                               ColorLight);
            DrawCaptionCentred(page.Cell.X, page.Cell.Y + 50, 60, 20,
                               InputCaption(buttons.FirstAssigned[i], buttons.FirstType[i], buttons.FirstKey[i],
                                            buttons.FirstMouse[i]),
                               buttons.FirstAssigned[i] == 1 ? ColorLight : ColorGrey);
            if (buttons.ButtonMode[i] == 1)
                DrawCaptionCentred(page.Cell.X, page.Cell.Y + 70, 60, 20,
                                   InputCaption(buttons.SecondAssigned[i], buttons.SecondType[i], buttons.SecondKey[i],
                                                buttons.SecondMouse[i]),
                                   buttons.SecondAssigned[i] == 1 ? ColorLight : ColorGrey);
        }
    }
    const int selected = page.SelectedButton;
    const int column = selected % 10, row = selected / 10;
    const int cellX = grid.X + 60 * column, cellY = grid.Y + 100 * row;
    DrawRectangle(cellX, cellY, cellX + 60 + (column < 9 ? 1 : 0), cellY + 100 + (row == 0 ? 1 : 0), ColorCyan, 0, 1);

    const Rect& left = page.LeftFrame;
    DrawRectangle(left.X, left.Y, left.X + left.Width, left.Y + left.Height, ColorGrey, 0, 1);
    char numberCaption[32];
    std::snprintf(numberCaption, sizeof numberCaption, "%dボタン", selected + 1);
    DrawCaptionBox(page.Number.X, page.Number.Y, page.Number.Width, page.Number.Height, numberCaption, ColorLight);
    const bool twoKey = buttons.ButtonMode[selected] == 1;
    DrawCaptionBox(page.Mode.X, page.Mode.Y, page.Mode.Width, page.Mode.Height, twoKey ? "2キーモード" : "通常モード",
                   ColorLight);
    const unsigned int firstOutline = twoKey ? (page.EditSecond ? ColorLight : ColorCyan) : ColorCyan;
    const unsigned int secondOutline = twoKey ? (page.EditSecond ? ColorCyan : ColorLight) : ColorGrey;
    const Rect& first = page.FirstInput;
    const Rect& second = page.SecondInput;
    DrawRectangle(first.X, first.Y, first.X + first.Width, first.Y + first.Height, firstOutline, 0, 1);
    DrawRectangle(second.X, second.Y, second.X + second.Width, second.Y + second.Height, secondOutline, 0, 1);
    ButtonPage_DrawInputBox(first, "通常", buttons.FirstAssigned[selected], buttons.FirstType[selected],
                            buttons.FirstKey[selected], buttons.FirstMouse[selected], ColorLight);
    ButtonPage_DrawInputBox(second, "2キー", buttons.SecondAssigned[selected], buttons.SecondType[selected],
                            buttons.SecondKey[selected], buttons.SecondMouse[selected], twoKey ? ColorLight : ColorGrey);

    const Rect& right = page.RightFrame;
    DrawRectangle(right.X, right.Y, right.X + right.Width, right.Y + right.Height, ColorGrey, 0, 1);
    DrawCaptionBox(page.KeySet.X, page.KeySet.Y, page.KeySet.Width, page.KeySet.Height, "キー設定", ColorLight);
    ButtonPage_DrawClickBox(page.LeftClick, "左");
    ButtonPage_DrawClickBox(page.MiddleClick, "中");
    ButtonPage_DrawClickBox(page.RightClick, "右");
    DrawCaptionBox(page.Delete.X, page.Delete.Y, page.Delete.Width, page.Delete.Height, "設定削除", ColorPink);
    if (page.CapturingKey == 1) DrawCaptureOverlay("使用するキーを入力してください。");
    DrawCaptionBox(page.Test.X, page.Test.Y, page.Test.Width, page.Test.Height,
                   page.TestRunning == 1 ? "テスト実行中" : "テスト実行", page.TestRunning == 1 ? ColorCyan : ColorPink);
}

int UpdateButtonPage()
{
    ButtonPageRecord& page = ButtonPage;
    const MouseClickStateRecord& click = MouseClickState;
    const ScreenLayersRecord& layers = ScreenLayers;
    // 1. The grid: the middle line and below is the lower row.
    if (ButtonPage_Clicked(page.Grid)) {
        int column = (click.PressX - layers.PageRect.X - page.Grid.X) / 60;
        if (column > 9) column = 9;
        const bool lower = click.PressY >= layers.PageRect.Y + page.Grid.Y + 100;
        page.SelectedButton = column + (lower ? 10 : 0);
        page.EditSecond = 0;
        page.Redraw = 1;
    }
    // 2. A held pad button selects itself.
    for (int i = 0; i < ConvertedButtonCount; ++i) {
        if (Pad.Buttons[i] != 0) {
            page.SelectedButton = i;
            page.EditSecond = 0;
            page.Redraw = 1;
            break;
        }
    }
    ButtonSettings& buttons = Settings.Buttons;
    // 3. Mode and, in two-key mode, which input is edited.
    if (ButtonPage_Clicked(page.Mode)) {
        uint8_t& mode = buttons.ButtonMode[page.SelectedButton];
        mode = mode == 0 ? 1 : 0;
        page.EditSecond = 0;
        page.Redraw = 1;
    }
    if (buttons.ButtonMode[page.SelectedButton] == 1) {
        if (ButtonPage_Clicked(page.FirstInput)) {
            page.EditSecond = 0;
            page.Redraw = 1;
        }
        if (ButtonPage_Clicked(page.SecondInput)) {
            page.EditSecond = 1;
            page.Redraw = 1;
        }
    }
    // 4, 5. Key capture.
    if (ButtonPage_Clicked(page.KeySet)) {
        StartCapture(page.CapturingKey);
        page.Redraw = 1;
    }
    if (page.CapturingKey == 1 && SettingsPage_CaptureKey() == 1) {
        ButtonPage_SetEdited(0, KeyNameTable.CapturedKey, 0, false);
        page.CapturingKey = 0;
        page.Redraw = 1;
    }
    // 6. Mouse buttons and delete.
    const Rect* mouseAreas[3] = {&page.LeftClick, &page.MiddleClick, &page.RightClick};
    for (int m = 0; m < 3; ++m) {
        if (ButtonPage_Clicked(*mouseAreas[m])) {
            ButtonPage_SetEdited(1, 0, m + 1, false);
            page.Redraw = 1;
        }
    }
    if (ButtonPage_Clicked(page.Delete)) {
        ButtonPage_SetEdited(0, 0, 0, true);
        page.Redraw = 1;
    }
    // 7. The test run.
    if (ButtonPage_Clicked(page.Test)) {
        if (page.TestRunning) EndTestRun(page.TestRunning);
        else page.TestRunning = 1;
        page.Redraw = 1;
    }
    // The test run waits while a key is awaited, as on the other sub-pages.
    if (page.TestRunning == 1 && page.CapturingKey == 0) ConvertButtons();
    if (page.Redraw == 1) {
        DrawButtonPage();
        page.Redraw = 0;
        ScreenLayers.LayersChanged = 1;
    }
    return 0;
}

}  // namespace Qelvar
