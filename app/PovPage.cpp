// The POV sub-page: the table of sets and directions, the switch buttons and the diagonal switch,
// hat tracking that selects the entry the hat would trigger, the live picture and the test run.
// Stands on SettingFiles, PadReading, KeyNames, PovConverter, SettingsPage and the drawing helpers.
#include "app/PovPage.h"

#include <cstdio>

#include "app/DrawHelpers.h"
#include "app/KeyNames.h"
#include "app/PadReading.h"
#include "app/PovConverter.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

PovPageRecord PovPage = {
    {110, 10, 620, 540}, {120, 285, 300, 200}, {420, 75, 200, 30}, {620, 75, 100, 30}, {420, 145, 100, 30},
    {420, 215, 100, 30}, {520, 145, 100, 30}, {520, 215, 100, 30}, {620, 145, 100, 30}, {620, 215, 100, 30},
    {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
    {430, 275, 290, 200}, {445, 285, 260, 50}, {445, 345, 80, 50}, {535, 345, 80, 50}, {625, 345, 80, 50},
    {445, 405, 260, 50}, {445, 480, 260, 50},
    0, 0, 0, -1, 0, 0, 0, 0, 1};

namespace {

bool PovPage_Clicked(const Rect& rect)
{
    if (!IsPressInPageRect(rect)) return false;
    MouseClickState.PressEvent = 0;
    return true;
}

void PovPage_SetEntry(uint8_t assigned, uint8_t type, int32_t key, int32_t mouse)
{
    PovSettings& pov = Settings.Pov;
    const int e = PovPage.SelectedEntry;
    pov.DirAssigned[e] = assigned;
    pov.DirType[e] = type;
    if (assigned == 0) {
        pov.DirKey[e] = pov.DirMouse[e] = 0;
    } else if (type == 0) {
        pov.DirKey[e] = key;
    } else {
        pov.DirMouse[e] = mouse;
    }
}

// The first pad button down among 0 to 19, or -1.
int PovPage_FirstButtonDown()
{
    for (int i = 0; i < ConvertedButtonCount; ++i)
        if (Pad.Buttons[i] != 0) return i;
    return -1;
}

// A stored switch button outside the pad's buttons (a damaged block) reads as up.
uint8_t PovPage_ButtonByte(int32_t index) { return index >= 0 && index < PadButtonCount ? Pad.Buttons[index] : 0; }

const char* PovPage_EntryCaption(int entry)
{
    const PovSettings& pov = Settings.Pov;
    return InputCaption(pov.DirAssigned[entry], pov.DirType[entry], pov.DirKey[entry], pov.DirMouse[entry]);
}

void PovPage_DrawClickBox(const Rect& box, const char* name)
{
    DrawRectangle(box.X, box.Y, box.X + box.Width, box.Y + box.Height, ColorLight, 0, 1);
    DrawFormattedText(box.X + 30, box.Y + 5, ColorLight, "%s", name);
    DrawFormattedText(box.X + 5, box.Y + 25, ColorLight, "%s", "クリック");
}

void PovPage_DrawBox(const Rect& box, const char* caption, unsigned int color)
{
    DrawCaptionBox(box.X, box.Y, box.Width, box.Height, caption, color);
}

}  // namespace

void DrawPovPicture()
{
    PovPageRecord& page = PovPage;
    const PovSettings& pov = Settings.Pov;
    const int x = page.Frame.X, y = page.Frame.Y;
    const int value = Pad.POV[0];
    bool lit[4] = {false, false, false, false};
    switch (value) {
    case 0: lit[0] = true; break;
    case 9000: lit[1] = true; break;
    case 18000: lit[2] = true; break;
    case 27000: lit[3] = true; break;
    default:
        if (pov.DiagonalEnabled == 1) {
            if (value == 4500) lit[0] = lit[1] = true;
            if (value == 13500) lit[1] = lit[2] = true;
            if (value == 22500) lit[2] = lit[3] = true;
            if (value == 31500) lit[0] = lit[3] = true;
        }
        break;
    }
    const uint8_t switch1 = PovPage_ButtonByte(pov.Switch1Button), switch2 = PovPage_ButtonByte(pov.Switch2Button);
    int set = 0;
    if (pov.Switch1Enabled == 1 && switch1 == 0x80 && switch2 == 0) set = 1;
    else if (pov.Switch1Enabled == 1 && pov.Switch2Enabled == 1 && switch2 == 0x80) set = 2;

    unsigned int colors[4];
    for (int d = 0; d < 4; ++d) colors[d] = lit[d] ? ColorCyan : ColorLight;
    DrawCircleShape(x + 90, y + 150, 60, ColorLight, 0, 1);
    const int squares[4][2] = {{75, 100}, {110, 135}, {75, 170}, {40, 135}};
    for (int d = 0; d < 4; ++d)
        DrawRectangle(x + squares[d][0], y + squares[d][1], x + squares[d][0] + 30, y + squares[d][1] + 30, colors[d], 0, 1);
    DrawLineSegment(x + 105, y + 115, x + 190, y + 115, colors[0], 1);
    DrawLineSegment(x + 140, y + 150, x + 190, y + 150, colors[1], 1);
    DrawLineSegment(x + 105, y + 185, x + 190, y + 185, colors[2], 1);
    DrawLineSegment(x + 55, y + 165, x + 55, y + 220, colors[3], 1);
    DrawLineSegment(x + 55, y + 220, x + 190, y + 220, colors[3], 1);
    for (int d = 0; d < 4; ++d) {
        page.PictureBox[d] = {x + 190, y + 100 + 35 * d, 80, 30};
        PovPage_DrawBox(page.PictureBox[d], PovPage_EntryCaption(set * 4 + d), colors[d]);
    }
}

void DrawPovPage()
{
    const PovPageRecord& page = PovPage;
    const PovSettings& pov = Settings.Pov;
    const ScreenLayersRecord& layers = ScreenLayers;
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.Frame.X, page.Frame.Y, layers.SubPanel, 0);
    DrawRectangle(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height,
                  ColorCyan, 0, 1);
    DrawFormattedText(layers.PageRect.X + 50, layers.PageRect.Y + 50, ColorLight, "%s", "POV(十字キー)の設定");
    DrawPovPicture();

    const Rect& table = page.Table;
    const int columnWidth = table.Width / 3;
    DrawRectangle(table.X, table.Y, table.X + table.Width, table.Y + table.Height, ColorLight, 0, 1);
    DrawLineSegment(table.X + columnWidth, table.Y, table.X + columnWidth, table.Y + table.Height, ColorLight, 1);
    DrawLineSegment(table.X + 2 * columnWidth, table.Y, table.X + 2 * columnWidth, table.Y + table.Height, ColorLight, 1);
    for (int r = 1; r < 5; ++r)
        DrawLineSegment(table.X, table.Y + r * table.Height / 5, table.X + table.Width, table.Y + r * table.Height / 5,
                        ColorLight, 1);
    DrawFormattedText(table.X + 32, table.Y + 10, ColorLight, "%s", "通常");
    DrawFormattedText(table.X + columnWidth + 12, table.Y + 10, ColorLight, "%s", "切り替え1");
    DrawFormattedText(table.X + 2 * columnWidth + 12, table.Y + 10, ColorLight, "%s", "切り替え2");
    const char* const arrows[4] = {"↑", "→", "↓", "←"};
    for (int set = 0; set < 3; ++set) {
        const int columnX = table.X + set * columnWidth;
        for (int d = 0; d < 4; ++d) {
            const int rowY = table.Y + (d + 1) * table.Height / 5 + 10;
            const int entry = set * 4 + d;
            DrawFormattedText(columnX + 10, rowY, ColorLight, "%s", arrows[d]);
            DrawFormattedText(columnX + 35, rowY, pov.DirAssigned[entry] == 1 ? ColorLight : ColorGrey, "%s",
                              PovPage_EntryCaption(entry));
        }
    }
    const int selectedX = table.X + (page.SelectedEntry / 4) * columnWidth;
    const int selectedY = table.Y + (page.SelectedEntry % 4 + 1) * table.Height / 5;
    DrawRectangle(selectedX, selectedY, selectedX + columnWidth, selectedY + table.Height / 5, ColorCyan, 0, 1);

    PovPage_DrawBox(page.DiagonalState, pov.DiagonalEnabled == 1 ? "斜め入力ON" : "斜め入力OFF", ColorLight);
    PovPage_DrawBox(page.DiagonalSwitch, "切り替え", ColorLight);
    DrawFormattedText(page.Switch1Use.X, page.Switch1Use.Y - 25, ColorLight, "%s", "設定切り替え1");
    DrawFormattedText(page.Switch2Use.X, page.Switch2Use.Y - 25, ColorLight, "%s", "設定切り替え2");
    PovPage_DrawBox(page.Switch1Use, pov.Switch1Enabled == 1 ? "使用する" : "使用しない",
                    pov.Switch1Enabled == 1 ? ColorCyan : ColorLight);
    PovPage_DrawBox(page.Switch2Use, pov.Switch2Enabled == 1 ? "使用する" : "使用しない",
                    pov.Switch2Enabled == 1 ? ColorCyan : ColorLight);
    char caption[32];
    std::snprintf(caption, sizeof caption, "%dボタン", static_cast<int>(pov.Switch1Button));
    PovPage_DrawBox(page.Switch1ButtonBox, caption, ColorLight);
    std::snprintf(caption, sizeof caption, "%dボタン", static_cast<int>(pov.Switch2Button));
    PovPage_DrawBox(page.Switch2ButtonBox, caption, ColorLight);
    PovPage_DrawBox(page.Switch1Set, "設定", ColorLight);
    PovPage_DrawBox(page.Switch2Set, "設定", ColorLight);

    const Rect& right = page.RightFrame;
    DrawRectangle(right.X, right.Y, right.X + right.Width, right.Y + right.Height, ColorGrey, 0, 1);
    PovPage_DrawBox(page.KeySet, "キー設定", ColorLight);
    PovPage_DrawClickBox(page.LeftClick, "左");
    PovPage_DrawClickBox(page.MiddleClick, "中");
    PovPage_DrawClickBox(page.RightClick, "右");
    PovPage_DrawBox(page.Delete, "設定削除", ColorPink);
    if (page.CapturingKey) DrawCaptureOverlay("使用するキーを入力してください。");
    if (page.WaitingSwitch1) DrawCaptureOverlay("使用するボタンを入力してください。");
    if (page.WaitingSwitch2) DrawCaptureOverlay("使用するボタンを入力してください。");
    PovPage_DrawBox(page.Test, page.TestRunning == 1 ? "テスト実行中" : "テスト実行",
                    page.TestRunning == 1 ? ColorCyan : ColorPink);
}

int UpdatePovPage()
{
    PovPageRecord& page = PovPage;
    PovSettings& pov = Settings.Pov;
    const MouseClickStateRecord& click = MouseClickState;
    const ScreenLayersRecord& layers = ScreenLayers;
    if (page.CapturingKey == 1) {
        // 1. Waiting for a key: nothing else acts.
        if (SettingsPage_CaptureKey() == 1) {
            PovPage_SetEntry(1, 0, KeyNameTable.CapturedKey, 0);
            page.CapturingKey = 0;
            page.Redraw = 1;
        }
    } else if (page.WaitingSwitch1 == 1 || page.WaitingSwitch2 == 1) {
        // 2. Waiting for a pad button.
        const int button = PovPage_FirstButtonDown();
        if (button >= 0) {
            if (page.WaitingSwitch1 == 1) {
                pov.Switch1Button = button;
                page.WaitingSwitch1 = 0;
            } else {
                pov.Switch2Button = button;
                page.WaitingSwitch2 = 0;
            }
            page.Redraw = 1;
        }
    } else {
        // 3. The switch buttons as the converter sees them.
        if (pov.Switch1Enabled == 1) {
            const uint8_t held = PovPage_ButtonByte(pov.Switch1Button) == 0x80 && page.Switch2Held == 0;
            if (held != page.Switch1Held) page.Redraw = 1;
            page.Switch1Held = held;
        }
        if (pov.Switch2Enabled == 1) {
            const uint8_t held = PovPage_ButtonByte(pov.Switch2Button) == 0x80 && page.Switch1Held == 0;
            if (held != page.Switch2Held) page.Redraw = 1;
            page.Switch2Held = held;
        }
        // 4. Moving the hat selects the entry it would trigger.
        const int value = Pad.POV[0];
        if (value != page.LastPovValue) {
            const int set = page.Switch2Held == 1 ? 2 : (page.Switch1Held == 1 ? 1 : 0);
            const int direction = value == 0 ? 0 : value == 9000 ? 1 : value == 18000 ? 2 : value == 27000 ? 3 : -1;
            if (direction >= 0) page.SelectedEntry = set * 4 + direction;
            page.LastPovValue = value;
            page.Redraw = 1;
        }
        // 5. The table.
        if (PovPage_Clicked(page.Table)) {
            const int relX = click.PressX - layers.PageRect.X - page.Table.X;
            const int relY = click.PressY - layers.PageRect.Y - page.Table.Y;
            const int third = page.Table.Width / 3;
            const int column = relX < third ? 0 : (relX < 2 * third ? 1 : 2);
            const double fifth = page.Table.Height * 0.2;
            const int row = relY < 2 * fifth ? 0 : relY < 3 * fifth ? 1 : relY < 4 * fifth ? 2 : 3;
            page.SelectedEntry = column * 4 + row;
            page.Redraw = 1;
        }
        // 6. Switches and key capture.
        if (PovPage_Clicked(page.DiagonalSwitch)) {
            pov.DiagonalEnabled = pov.DiagonalEnabled == 0 ? 1 : 0;
            page.Redraw = 1;
        }
        const Rect* useAreas[2] = {&page.Switch1Use, &page.Switch2Use};
        const Rect* setAreas[2] = {&page.Switch1Set, &page.Switch2Set};
        uint8_t* switchEnabled[2] = {&pov.Switch1Enabled, &pov.Switch2Enabled};
        uint8_t* waitingSwitch[2] = {&page.WaitingSwitch1, &page.WaitingSwitch2};
        for (int s = 0; s < 2; ++s) {
            if (PovPage_Clicked(*useAreas[s])) {
                *switchEnabled[s] = *switchEnabled[s] == 0 ? 1 : 0;
                page.Redraw = 1;
            }
            if (PovPage_Clicked(*setAreas[s])) {
                StartCapture(*waitingSwitch[s]);
                page.Redraw = 1;
            }
        }
        if (PovPage_Clicked(page.KeySet)) {
            StartCapture(page.CapturingKey);
            page.Redraw = 1;
        }
        // 7. Mouse buttons and delete.
        const Rect* mouseAreas[3] = {&page.LeftClick, &page.MiddleClick, &page.RightClick};
        for (int m = 0; m < 3; ++m) {
            if (PovPage_Clicked(*mouseAreas[m])) {
                PovPage_SetEntry(1, 1, 0, m + 1);
                page.Redraw = 1;
            }
        }
        if (PovPage_Clicked(page.Delete)) {
            PovPage_SetEntry(0, 0, 0, 0);
            page.Redraw = 1;
        }
        // 8. The test run.
        if (PovPage_Clicked(page.Test)) {
            if (page.TestRunning) EndTestRun(page.TestRunning);
            else page.TestRunning = 1;
            page.Redraw = 1;
        }
        // Not in the frame that started a wait: what it let go stays up until the answer comes.
        const bool waiting = page.CapturingKey == 1 || page.WaitingSwitch1 == 1 || page.WaitingSwitch2 == 1;
        if (page.TestRunning == 1 && !waiting) ConvertPov();
    }
    if (page.Redraw == 1) {
        DrawPovPage();
        page.Redraw = 0;
        ScreenLayers.LayersChanged = 1;
    }
    return 0;
}

}  // namespace Qelvar
