// The stick sub-page: overview, left- and right-stick settings with gauges, key and button
// capture, vertical-blank and frame-rate choices, axis mapping, test runs and the test displays.
// Stands on SettingFiles, PadReading, KeyNames, StickConverters, SettingsPage and the drawing helpers.
#include "app/StickPage.h"

#include <cmath>
#include <cstdio>

#include "app/DrawHelpers.h"
#include "app/KeyNames.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "app/StickConverters.h"
#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

StickPageRecord StickPage = {
    {110, 10, 620, 540},
    {170, 110, 220, 220}, {450, 110, 220, 220}, {180, 340, 200, 40}, {460, 340, 200, 40},
    {180, 390, 200, 40}, {460, 390, 200, 40},
    {{385, 120, 200, 20}, {385, 140, 200, 20}, {385, 160, 200, 20}, {385, 180, 200, 20}, {385, 200, 200, 20},
     {385, 220, 200, 20}},
    {{385, 270, 200, 20}, {385, 290, 200, 20}, {385, 310, 200, 20}, {385, 330, 200, 20}, {385, 350, 200, 20},
     {385, 370, 200, 20}},
    {595, 120, 100, 100}, {595, 270, 100, 100}, {385, 420, 200, 50},
    {390, 120, 200, 30}, {590, 120, 100, 30}, {390, 295, 100, 30}, {490, 295, 100, 30}, {590, 295, 100, 30},
    {145, 330, 200, 30}, {145, 370, 200, 30}, {145, 410, 200, 30}, {145, 450, 200, 30}, {145, 490, 40, 30},
    {{187, 490, 30, 30}, {219, 490, 30, 30}, {251, 490, 30, 30}, {283, 490, 30, 30}, {315, 490, 30, 30}},
    {390, 60, 145, 100}, {545, 60, 145, 100},
    {460, 245, 40, 20}, {390, 350, 100, 30}, {490, 350, 100, 30}, {590, 350, 100, 30}, {380, 470, 155, 50},
    {545, 470, 155, 50},
    {{390, 200, 300, 20, 20, 10, 15.0f}, {390, 375, 300, 20, 20, 19, 15.0f}, {390, 215, 300, 20, 20, 10, 15.0f},
     {390, 265, 300, 20, 20, 10, 15.0f}, {390, 415, 300, 20, 20, 10, 15.0f}},
    0, 0, 0, 0, 0, 0, 0, StickOverview, 1};

namespace {

const char* const AxisNames[6] = {"X", "Y", "Z", "Rx", "Ry", "Rz"};
const char* const FrameRateNames[5] = {"30", "60", "75", "120", "144"};

bool StickPage_Clicked(const Rect& rect)
{
    if (!IsPressInPageRect(rect)) return false;
    MouseClickState.PressEvent = 0;
    return true;
}

void Toggle(uint8_t& flag) { flag = flag == 0 ? 1 : 0; }

int32_t* GaugeSetting(int gauge, int32_t* scale)
{
    StickSettings& stick = Settings.Stick;
    *scale = gauge <= GaugeDashDistance ? 50 : 5;
    switch (gauge) {
    case GaugeMoveDistance: return &stick.MoveKeyDistance;
    case GaugeDashDistance: return &stick.DashDistance;
    case GaugeCursorSpeed: return &stick.CursorSpeed;
    case GaugeDeadZone: return &stick.DeadZone;
    default: return &stick.SlowPercent;
    }
}

// A press on a gauge sets its value from the press x, and the setting from the value.
void StickPage_GaugeClick(int gauge)
{
    GaugeState& g = StickPage.Gauges[gauge];
    const Rect area = {g.X, g.Y, g.Width, g.Height};
    if (!StickPage_Clicked(area)) return;
    const float n = static_cast<float>(MouseClickState.PressX - ScreenLayers.PageRect.X - g.X) + g.SegmentWidth;
    const int32_t whole = static_cast<int32_t>(n);
    if (whole > 0) g.Value = static_cast<int32_t>(static_cast<float>(whole) / g.SegmentWidth);
    int32_t scale = 0;
    int32_t* setting = GaugeSetting(gauge, &scale);
    *setting = g.Value * scale;
    StickPage.Redraw = 1;
}

void StickPage_DrawGauge(int gauge)
{
    const GaugeState& g = StickPage.Gauges[gauge];
    DrawGauge(g.X, g.Y, g.Width, g.Height, g.SegmentCount, g.Value, g.SegmentWidth);
}

void Box(const Rect& r, const char* caption, unsigned int color) { DrawCaptionBox(r.X, r.Y, r.Width, r.Height, caption, color); }

void Outline(int x1, int y1, int x2, int y2, unsigned int color) { DrawRectangle(x1, y1, x2, y2, color, 0, 1); }

void Text(int x, int y, unsigned int color, const char* text) { DrawFormattedText(x, y, color, "%s", text); }

const char* UseCaption(uint8_t flag) { return flag == 1 ? "使用する" : "使用しない"; }
unsigned int OnColor(uint8_t flag) { return flag == 1 ? ColorCyan : ColorLight; }

// The 240 x 240 square around a test display: background restored, then darkened.
void StickPage_ShadeSquare(int cx, int cy)
{
    const ScreenLayersRecord& layers = ScreenLayers;
    DrawGraphPart(cx - 120, cy - 120, cx - 120, cy - 120, 240, 240, layers.PageBackground, 0, 0, 0);
    SetBlendModeAndParam(1, layers.DimAlpha);
    DrawRectangle(cx - 120, cy - 120, cx + 120, cy + 120, ColorBlack, 1, 1);
    SetBlendModeAndParam(0, 255);
}

void StickPage_StoreFrameRate(int32_t rate)
{
    FrameRateType = rate;
    UpdateSystemFile(SystemFieldFrameRate);
}

// The test button starts or ends a test run; while one runs, the stick is converted.
void StickPage_TestClick(int (*convert)(), uint8_t waiting)
{
    StickPageRecord& page = StickPage;
    if (StickPage_Clicked(page.Test)) {
        if (page.TestRunning) EndTestRun(page.TestRunning);
        else page.TestRunning = 1;
        page.Redraw = 1;
    }
    // Not in the frame that started a wait: what it let go stays up until the answer comes.
    if (page.TestRunning && !waiting) convert();
}

// Done goes back to the overview and ends a running test.
void StickPage_DoneClick()
{
    StickPageRecord& page = StickPage;
    if (StickPage_Clicked(page.Done)) {
        page.View = StickOverview;
        EndTestRun(page.TestRunning);
        page.Redraw = 1;
    }
}

void StickPage_UpdateOverview()
{
    StickPageRecord& page = StickPage;
    StickSettings& stick = Settings.Stick;
    const Rect* pictures[2] = {&page.LeftPicture, &page.RightPicture};
    uint8_t* hovers[2] = {&page.LeftHover, &page.RightHover};
    for (int s = 0; s < 2; ++s) {
        if (IsPointerInPageRect(*pictures[s])) {
            if (!*hovers[s]) {
                *hovers[s] = 1;
                page.Redraw = 1;
            }
            if (StickPage_Clicked(*pictures[s])) {
                page.View = s == 0 ? StickLeft : StickRight;
                EndTestRun(page.TestRunning);
                page.Redraw = 1;
                return;
            }
        } else if (*hovers[s]) {
            *hovers[s] = 0;
            page.Redraw = 1;
        }
    }
    if (StickPage_Clicked(page.LeftUse)) Toggle(stick.LeftStickEnabled);
    if (StickPage_Clicked(page.RightUse)) Toggle(stick.RightStickEnabled);
    if (StickPage_Clicked(page.LeftDirection)) page.View = StickLeftAxes;
    if (StickPage_Clicked(page.RightDirection)) page.View = StickRightAxes;
    page.Redraw = 1;
}

void StickPage_UpdateLeft()
{
    StickPageRecord& page = StickPage;
    StickSettings& stick = Settings.Stick;
    if (page.CapturingKey) {
        if (SettingsPage_CaptureKey() == 1) {
            stick.DashKey = KeyNameTable.CapturedKey;
            page.CapturingKey = 0;
            page.Redraw = 1;
        }
    } else {
        if (StickPage_Clicked(page.ModeSwitch)) {
            Toggle(stick.MoveKeyMode);
            page.Redraw = 1;
        }
        StickPage_GaugeClick(GaugeMoveDistance);
        if (StickPage_Clicked(page.DashUse)) {
            Toggle(stick.DashEnabled);
            page.Redraw = 1;
        }
        if (StickPage_Clicked(page.DashKeySet)) {
            StartCapture(page.CapturingKey);
            page.Redraw = 1;
        }
        StickPage_GaugeClick(GaugeDashDistance);
        StickPage_TestClick(ConvertLeftStick, page.CapturingKey);
        page.RedrawLeftTest = 1;
    }
    StickPage_DoneClick();
}

void StickPage_UpdateRight()
{
    StickPageRecord& page = StickPage;
    StickSettings& stick = Settings.Stick;
    if (page.WaitingForButton) {
        for (int i = 0; i < ConvertedButtonCount; ++i) {
            if (Pad.Buttons[i] != 0) {
                stick.SlowButton = i;
                page.WaitingForButton = 0;
                page.Redraw = 1;
                break;
            }
        }
    } else {
        uint8_t* toggles[3] = {&stick.FilterEnabled, &stick.SmoothEnabled, &stick.AccelEnabled};
        const Rect* toggleAreas[3] = {&page.Filter, &page.Smooth, &page.Accel};
        for (int t = 0; t < 3; ++t) {
            if (StickPage_Clicked(*toggleAreas[t])) {
                Toggle(*toggles[t]);
                page.Redraw = 1;
            }
        }
        if (StickPage_Clicked(page.VSyncButton)) {
            Toggle(VSyncChoice);
            UpdateSystemFile(SystemFieldVSync);
            page.Redraw = 1;
        }
        if (VSyncEnabled == 0) {
            if (StickPage_Clicked(page.FrameRateStep)) {
                StickPage_StoreFrameRate(FrameRateType >= 4 ? 0 : FrameRateType + 1);
                page.Redraw = 1;
            }
            for (int r = 0; r < 5; ++r) {
                if (StickPage_Clicked(page.FrameRates[r])) {
                    StickPage_StoreFrameRate(r);
                    page.Redraw = 1;
                }
            }
        }
        if (StickPage_Clicked(page.Normal)) {
            stick.SpeedType = 0;
            page.Redraw = 1;
        }
        if (StickPage_Clicked(page.Quick)) {
            stick.SpeedType = 1;
            page.Redraw = 1;
        }
        StickPage_GaugeClick(GaugeCursorSpeed);
        if (StickPage_Clicked(page.DeadZoneSwitch)) {
            Toggle(stick.DeadZoneEnabled);
            page.Redraw = 1;
        }
        StickPage_GaugeClick(GaugeDeadZone);
        if (StickPage_Clicked(page.SlowUse)) {
            Toggle(stick.SlowModeEnabled);
            page.Redraw = 1;
        }
        StickPage_GaugeClick(GaugeSlowSpeed);
        if (StickPage_Clicked(page.SlowButtonSet)) {
            StartCapture(page.WaitingForButton);
            page.Redraw = 1;
        }
        StickPage_TestClick(ConvertRightStick, page.WaitingForButton);
        page.RedrawRightTest = 1;
    }
    StickPage_DoneClick();
}

void StickPage_UpdateAxes()
{
    StickPageRecord& page = StickPage;
    const int first = page.View == StickLeftAxes ? 0 : 2;
    for (int k = 0; k < 6; ++k) {
        if (StickPage_Clicked(page.HorizontalRows[k]))
            for (int j = 0; j < 6; ++j) Settings.Stick.AxisMap[first].Source[j] = j == k ? 1 : 0;
        if (StickPage_Clicked(page.VerticalRows[k]))
            for (int j = 0; j < 6; ++j) Settings.Stick.AxisMap[first + 1].Source[j] = j == k ? 1 : 0;
    }
    if (StickPage_Clicked(page.HorizontalReverse)) Toggle(Settings.Stick.AxisMap[first].Reverse);
    if (StickPage_Clicked(page.VerticalReverse)) Toggle(Settings.Stick.AxisMap[first + 1].Reverse);
    if (StickPage_Clicked(page.AxesDone)) page.View = StickOverview;
    page.Redraw = 1;
}

void StickPage_DrawOverview()
{
    const StickPageRecord& page = StickPage;
    const StickSettings& stick = Settings.Stick;
    const Rect& left = page.LeftPicture;
    const Rect& right = page.RightPicture;
    Text(left.X + 60, left.Y - 30, ColorLight, "左スティック");
    Text(right.X + 60, right.Y - 30, ColorLight, "右スティック");
    DrawLeftStickTest(left.X + left.Width / 2, left.Y + left.Height / 2);
    DrawRightStickTest(right.X + right.Width / 2, right.Y + right.Height / 2);
    if (page.LeftHover) Outline(left.X, left.Y, left.X + left.Width, left.Y + left.Height, ColorCyan);
    if (page.RightHover) Outline(right.X, right.Y, right.X + right.Width, right.Y + right.Height, ColorCyan);
    Box(page.LeftUse, UseCaption(stick.LeftStickEnabled), ColorLight);
    Box(page.RightUse, UseCaption(stick.RightStickEnabled), ColorLight);
    Box(page.LeftDirection, "方向修正", ColorLight);
    Box(page.RightDirection, "方向修正", ColorLight);
}

void StickPage_DrawTestButtons()
{
    const StickPageRecord& page = StickPage;
    Box(page.Test, page.TestRunning == 1 ? "テスト実行中" : "テスト実行", page.TestRunning == 1 ? ColorCyan : ColorPink);
    Box(page.Done, "設定完了", ColorLight);
}

void StickPage_DrawLeft()
{
    const StickPageRecord& page = StickPage;
    const StickSettings& stick = Settings.Stick;
    const ScreenLayersRecord& layers = ScreenLayers;
    DrawLeftStickTest(page.LeftPicture.X + page.LeftPicture.Width / 2 - 35, page.LeftPicture.Y + page.LeftPicture.Height / 2);
    const Rect& mode = page.MoveKeyModeBox;
    const Rect& dash = page.DashUse;
    Outline(mode.X - 10, mode.Y - 20, mode.X + 310, mode.Y + 120, ColorGrey);
    Outline(dash.X - 10, dash.Y - 20, dash.X + 310, dash.Y + 120, ColorGrey);
    Text(layers.PageRect.X + 50, layers.PageRect.Y + 50, ColorLight, "左スティックの設定");
    Text(page.ModeSwitch.X - 200, page.ModeSwitch.Y - 30, ColorLight, "移動キー設定");
    Box(mode, stick.MoveKeyMode == 1 ? "モード:↑→↓←" : "モード: W D S A", ColorLight);
    Box(page.ModeSwitch, "切り替え", ColorLight);
    const GaugeState& move = page.Gauges[GaugeMoveDistance];
    Text(move.X, move.Y - 30, ColorLight, "移動キー反応距離設定");
    StickPage_DrawGauge(GaugeMoveDistance);
    Box(dash, UseCaption(stick.DashEnabled), OnColor(stick.DashEnabled));
    Box(page.DashKeyBox, KeyCaption(stick.DashKey), ColorLight);
    Box(page.DashKeySet, "設定", ColorLight);
    const GaugeState& dashGauge = page.Gauges[GaugeDashDistance];
    Text(dashGauge.X, dashGauge.Y - 30, ColorLight, "ダッシュキー反応距離設定");
    StickPage_DrawGauge(GaugeDashDistance);
    StickPage_DrawTestButtons();
    if (page.CapturingKey) DrawCaptureOverlay("使用するキーを入力してください。");
}

void StickPage_DrawSpeedPicture(const Rect& r, bool quick, bool chosen)
{
    const unsigned int color = chosen ? ColorCyan : ColorLight;
    Outline(r.X, r.Y, r.X + r.Width, r.Y + r.Height, color);
    if (quick) {
        const int midX = r.X + r.Width * 8 / 10, midY = r.Y + r.Height - r.Height / 2;
        DrawLineSegment(r.X, r.Y + r.Height, midX, midY, color, 1);
        DrawLineSegment(midX, midY, r.X + r.Width, r.Y, color, 1);
    } else {
        DrawLineSegment(r.X, r.Y + r.Height, r.X + r.Width, r.Y, color, 1);
    }
    Text(r.X + 37, r.Y + r.Height + 5, color, quick ? "クイック" : "ノーマル");
}

void StickPage_DrawRight()
{
    const StickPageRecord& page = StickPage;
    const StickSettings& stick = Settings.Stick;
    const ScreenLayersRecord& layers = ScreenLayers;
    DrawRightStickTest(page.LeftPicture.X + page.LeftPicture.Width / 2 - 35,
                       page.LeftPicture.Y + page.LeftPicture.Height / 2 - 20);
    Text(layers.PageRect.X + 50, layers.PageRect.Y + 50, ColorLight, "右スティックの設定");
    Box(page.Filter, stick.FilterEnabled == 1 ? "フィルター ON " : "フィルター OFF", OnColor(stick.FilterEnabled));
    Box(page.Smooth, stick.SmoothEnabled == 1 ? "スムーズ移動 ON " : "スムーズ移動 OFF", OnColor(stick.SmoothEnabled));
    Box(page.Accel, stick.AccelEnabled == 1 ? "加速 ON " : "加速 OFF", OnColor(stick.AccelEnabled));
    const char* vsync = VSyncChoice == 1 ? (VSyncEnabled == 1 ? "垂直同期 ON" : "垂直同期 ON(要再起動)")
                                         : (VSyncEnabled == 1 ? "垂直同期 OFF(要再起動)" : "垂直同期 OFF");
    Box(page.VSyncButton, vsync, VSyncChoice == 1 ? ColorCyan : ColorLight);
    if (VSyncEnabled == 1) {
        Box(page.FrameRateStep, "fps", ColorGrey);
        for (int r = 0; r < 5; ++r) Box(page.FrameRates[r], FrameRateNames[r], ColorGrey);
    } else {
        Box(page.FrameRateStep, "fps", ColorLight);
        if (FrameRateType >= 0 && FrameRateType <= 4)
            for (int r = 0; r < 5; ++r) Box(page.FrameRates[r], FrameRateNames[r], r == FrameRateType ? ColorCyan : ColorLight);
    }
    StickPage_DrawSpeedPicture(page.Normal, false, stick.SpeedType == 0);
    StickPage_DrawSpeedPicture(page.Quick, true, stick.SpeedType == 1);
    const int pictureBottom = page.Normal.Y + page.Normal.Height;
    Outline(page.Normal.X - 10, page.Normal.Y - 20, page.Quick.X + page.Quick.Width + 10, pictureBottom + 140, ColorGrey);
    Text(page.Normal.X, page.Normal.Y - 30 - 20, ColorLight, "基本設定");
    const GaugeState& speed = page.Gauges[GaugeCursorSpeed];
    Text(speed.X, speed.Y - 20, ColorLight, "カーソル移動速度");
    StickPage_DrawGauge(GaugeCursorSpeed);
    const GaugeState& dead = page.Gauges[GaugeDeadZone];
    Text(dead.X, dead.Y - 20, ColorLight, "無効範囲");
    const Rect& deadSwitch = page.DeadZoneSwitch;
    DrawCaptionCentred(deadSwitch.X, deadSwitch.Y, deadSwitch.Width, deadSwitch.Height,
                       stick.DeadZoneEnabled == 1 ? "ON" : "OFF", OnColor(stick.DeadZoneEnabled));
    StickPage_DrawGauge(GaugeDeadZone);
    const Rect& slow = page.SlowUse;
    Outline(slow.X - 10, slow.Y - 20, slow.X + 310, slow.Y + 100, ColorGrey);
    Text(slow.X, slow.Y - 30 - 20, ColorLight, "スローモード設定");
    Box(slow, UseCaption(stick.SlowModeEnabled), OnColor(stick.SlowModeEnabled));
    char caption[32];
    std::snprintf(caption, sizeof caption, "%dボタン", static_cast<int>(stick.SlowButton));
    Box(page.SlowButtonBox, caption, ColorLight);
    Box(page.SlowButtonSet, "設定", ColorLight);
    const GaugeState& slowGauge = page.Gauges[GaugeSlowSpeed];
    Text(slowGauge.X, slowGauge.Y - 20, ColorLight, "カーソル移動速度");
    StickPage_DrawGauge(GaugeSlowSpeed);
    StickPage_DrawTestButtons();
    if (page.WaitingForButton) DrawCaptureOverlay("使用するボタンを入力してください。");
}

void StickPage_DrawAxes()
{
    const StickPageRecord& page = StickPage;
    const bool left = page.View == StickLeftAxes;
    if (left) DrawLeftStickTest(245, 220);
    else DrawRightStickTest(245, 220);
    Text(page.Frame.X + 140, page.Frame.Y + 40, ColorLight,
         left ? "左スティックで使用する入力を設定します。" : "右スティックで使用する入力を設定します。");
    Text(page.HorizontalRows[0].X + 24, page.HorizontalRows[0].Y - 20, ColorLight, "横軸で使用する入力");
    Text(page.VerticalRows[0].X + 24, page.VerticalRows[0].Y - 20, ColorLight, "縦軸で使用する入力");
    const int32_t axes[6] = {Pad.X, Pad.Y, Pad.Z, Pad.Rx, Pad.Ry, Pad.Rz};
    const int first = left ? 0 : 2;
    for (int column = 0; column < 2; ++column) {
        const AxisSource& map = Settings.Stick.AxisMap[first + column];
        const Rect* rows = column == 0 ? page.HorizontalRows : page.VerticalRows;
        for (int k = 0; k < 6; ++k) {
            const Rect& row = rows[k];
            DrawRectangle(row.X + 100, row.Y, row.X + 100 + axes[k] / 10, row.Y + row.Height, ColorGrey, 1, 1);
            Box(row, AxisNames[k], map.Source[k] == 1 ? ColorCyan : ColorLight);
        }
        Box(column == 0 ? page.HorizontalReverse : page.VerticalReverse, "反転", OnColor(map.Reverse));
    }
    Box(page.AxesDone, "設定完了", ColorLight);
}

}  // namespace

void StickPage_SyncGauges()
{
    for (int gauge = 0; gauge < GaugeCount; ++gauge) {
        int32_t scale = 0;
        const int32_t setting = *GaugeSetting(gauge, &scale);
        int32_t value = setting / scale;
        GaugeState& g = StickPage.Gauges[gauge];
        if (value < 0) value = 0;
        if (value > g.SegmentCount) value = g.SegmentCount;
        g.Value = value;
    }
}

int DrawLeftStickTest(int cx, int cy)
{
    const StickSettings& stick = Settings.Stick;
    const int d = stick.MoveKeyDistance / 10;
    const int ax = VirtualAxes[0], ay = VirtualAxes[1];
    StickPage_ShadeSquare(cx, cy);
    Outline(cx - 100, cy - 100, cx + 100, cy + 100, ColorLight);
    Outline(cx - d, cy - d, cx + d, cy + d, ColorLight);
    if (stick.DashEnabled == 1) {
        const float length = std::sqrt(static_cast<float>(ax) * ax + static_cast<float>(ay) * ay);
        DrawCircleShape(cx, cy, stick.DashDistance / 10,
                        static_cast<int>(length) >= stick.DashDistance ? ColorCyan : ColorLight, 0, 1);
    }
    const int distance = stick.MoveKeyDistance;
    const bool on[4] = {ay <= -distance, ax >= distance, ay >= distance, ax <= -distance};
    const int centres[4][2] = {{cx, cy - d}, {cx + d, cy}, {cx, cy + d}, {cx - d, cy}};
    const char* const arrows[4] = {"↑", "→", "↓", "←"};
    const char* const letters[4] = {"Ｗ", "Ｄ", "Ｓ", "Ａ"};
    for (int k = 0; k < 4; ++k) {
        const int x = centres[k][0], y = centres[k][1];
        DrawRectangle(x - 10, y - 10, x + 10, y + 10, on[k] ? ColorCyan : ColorLight, 1, 1);
        Text(x - 9, y - 9, ColorBlack, stick.MoveKeyMode == 1 ? arrows[k] : letters[k]);
    }
    DrawCircleShape(cx + ax / 10, cy + ay / 10, 10, ColorLight, 0, 1);
    return 0;
}

int DrawRightStickTest(int cx, int cy)
{
    const StickSettings& stick = Settings.Stick;
    const int rawH = VirtualAxes[2], rawV = VirtualAxes[3];
    int h = rawH, v = rawV;
    StickPage_ShadeSquare(cx, cy);
    DrawCircleShape(cx, cy, 50, ColorLight, 0, 1);
    if (stick.FilterEnabled == 1) {
        DrawCircleShape(cx, cy, 100, ColorLight, 0, 1);
        if (std::sqrt(static_cast<double>(h) * h + static_cast<double>(v) * v) > 1000.0) {
            const float angle = static_cast<float>(std::atan2(static_cast<double>(v), static_cast<double>(h)));
            h = static_cast<int>(std::cos(angle) * 1000.0);
            v = static_cast<int>(std::sin(angle) * 1000.0);
        }
    } else {
        Outline(cx - 100, cy - 100, cx + 100, cy + 100, ColorLight);
    }
    if (stick.DeadZoneEnabled == 1) DrawCircleShape(cx, cy, static_cast<int>(stick.DeadZone * 0.1), ColorLight, 0, 1);
    if (stick.AccelEnabled == 1) {
        const double length = std::sqrt(static_cast<double>(h) * h + static_cast<double>(v) * v);
        DrawCircleShape(cx, cy, 98, length >= 980.0 ? ColorCyan : ColorLight, 0, 1);
    }
    DrawLineSegment(cx, cy, static_cast<int>(cx + h * 0.1), static_cast<int>(cy + v * 0.1), ColorLight, 1);
    DrawCircleShape(static_cast<int>(cx + rawH * 0.1), static_cast<int>(cy + rawV * 0.1), 10, ColorLight, 0, 1);
    return 0;
}

void DrawStickPage()
{
    const StickPageRecord& page = StickPage;
    const ScreenLayersRecord& layers = ScreenLayers;
    StickPage_SyncGauges();
    SelectDrawScreen(layers.PageLayer);
    DrawGraphAt(page.Frame.X, page.Frame.Y, layers.SubPanel, 0);
    Outline(page.Frame.X, page.Frame.Y, page.Frame.X + page.Frame.Width, page.Frame.Y + page.Frame.Height, ColorCyan);
    switch (page.View) {
    case StickOverview: StickPage_DrawOverview(); break;
    case StickLeft: StickPage_DrawLeft(); break;
    case StickRight: StickPage_DrawRight(); break;
    default: StickPage_DrawAxes(); break;
    }
}

int UpdateStickPage()
{
    StickPageRecord& page = StickPage;
    // The gauges follow what is in force, also after a load or a reset.
    StickPage_SyncGauges();
    if (page.View == StickOverview) StickPage_UpdateOverview();
    if (page.View == StickLeft) StickPage_UpdateLeft();
    if (page.View == StickRight) StickPage_UpdateRight();
    if (page.View == StickLeftAxes || page.View == StickRightAxes) StickPage_UpdateAxes();
    const ScreenLayersRecord& layers = ScreenLayers;
    const Rect& left = page.LeftPicture;
    if (page.RedrawLeftTest) {
        SelectDrawScreen(layers.PageLayer);
        DrawLeftStickTest(left.X + left.Width / 2 - 35, left.Y + left.Height / 2);
        page.RedrawLeftTest = 0;
        ScreenLayers.LayersChanged = 1;
    }
    if (page.RedrawRightTest) {
        SelectDrawScreen(layers.PageLayer);
        DrawRightStickTest(left.X + left.Width / 2 - 35, left.Y + left.Height / 2 - 20);
        page.RedrawRightTest = 0;
        ScreenLayers.LayersChanged = 1;
    }
    RedrawIfMarked(page.Redraw, DrawStickPage);
    return 0;
}

}  // namespace Qelvar
