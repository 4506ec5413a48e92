// The POV sub-page of the settings tab: the diagonal switch, the two switch buttons and the table of
// 3 sets x 4 directions, each a key or a mouse button, with a live picture of the hat and a test run.
// Stands on SettingFiles, PadReading, KeyNames, the POV converter and the drawing helpers.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

struct PovPageRecord {
    Rect Frame, Table, DiagonalState, DiagonalSwitch, Switch1Use, Switch2Use, Switch1ButtonBox, Switch2ButtonBox;
    Rect Switch1Set, Switch2Set, PictureBox[4], RightFrame, KeySet, LeftClick, MiddleClick, RightClick, Delete, Test;
    uint8_t CapturingKey;
    uint8_t WaitingSwitch1, WaitingSwitch2;
    int32_t LastPovValue;
    uint8_t Switch1Held, Switch2Held;
    int32_t SelectedEntry;
    uint8_t TestRunning;
    int32_t Redraw;
};
extern PovPageRecord PovPage;

int UpdatePovPage();
void DrawPovPage();
void DrawPovPicture();

}  // namespace Qelvar
