// The button sub-page of the settings tab: a grid of the 20 pad buttons and a panel that edits the
// selected one (mode, first and second input, each a key or a mouse button), with a test run.
// Stands on SettingFiles, PadReading, KeyNames, the button converter and the drawing helpers.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

struct ButtonPageRecord {
    Rect Frame, Grid, Cell, LeftFrame, Number, Mode, FirstInput, SecondInput, RightFrame;
    Rect KeySet, LeftClick, MiddleClick, RightClick, Delete, Test;
    int32_t SelectedButton;
    uint8_t EditSecond;
    uint8_t CapturingKey;
    uint8_t TestRunning;
    int32_t Redraw;
};
extern ButtonPageRecord ButtonPage;

int UpdateButtonPage();
void DrawButtonPage();

}  // namespace Qelvar
