// The stick sub-page of the settings tab: an overview with both sticks' live test displays, the
// left- and right-stick settings views with their gauges, and the two axis-mapping views.
// Stands on SettingFiles, PadReading, KeyNames, the stick converters and the drawing helpers.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

struct GaugeState {
    int32_t X, Y, Width, Height;
    int32_t SegmentCount;
    int32_t Value;  // lit segments
    float SegmentWidth;
};

enum StickPageView : int32_t { StickOverview = 0, StickLeft = 1, StickRight = 2, StickLeftAxes = 3, StickRightAxes = 4 };
enum StickGauge { GaugeMoveDistance, GaugeDashDistance, GaugeCursorSpeed, GaugeDeadZone, GaugeSlowSpeed, GaugeCount };

struct StickPageRecord {
    Rect Frame;
    // Overview.
    Rect LeftPicture, RightPicture, LeftUse, RightUse, LeftDirection, RightDirection;
    // Axis mapping.
    Rect HorizontalRows[6], VerticalRows[6], HorizontalReverse, VerticalReverse, AxesDone;
    // Left and right stick settings.
    Rect MoveKeyModeBox, ModeSwitch, DashUse, DashKeyBox, DashKeySet;
    Rect Filter, Smooth, Accel, VSyncButton, FrameRateStep, FrameRates[5], Normal, Quick;
    Rect DeadZoneSwitch, SlowUse, SlowButtonBox, SlowButtonSet, Test, Done;
    GaugeState Gauges[GaugeCount];
    uint8_t LeftHover, RightHover;
    uint8_t TestRunning;
    uint8_t CapturingKey;
    uint8_t WaitingForButton;
    int32_t RedrawLeftTest, RedrawRightTest;
    int32_t View;
    int32_t Redraw;
};
extern StickPageRecord StickPage;

// The gauges' values from the settings they edit (value x 50 or value x 5), so they show what is in force.
void StickPage_SyncGauges();
int UpdateStickPage();
void DrawStickPage();
int DrawLeftStickTest(int cx, int cy);
int DrawRightStickTest(int cx, int cy);

}  // namespace Qelvar
