// The settings tab: the column of five sub-tabs (load, sticks, buttons, POV, save) and the chosen
// sub-page beside it, plus what the sub-pages share (key capture, input captions).
// Stands on AppMain's layers, the drawing helpers and the five sub-pages.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

enum SettingsSubTab : int32_t { SubTabLoad = 0, SubTabStick = 1, SubTabButtons = 2, SubTabPov = 3, SubTabSave = 4 };

struct SettingsPageRecord {
    int32_t SubTab;
    Rect SubTabRect[5];
    int32_t Redraw;
};
extern SettingsPageRecord SettingsPage;

// Ends a sub-page's test run: the flag cleared and whatever the converters hold released, so no
// key stays down in the system once the converters are no longer called.
void EndTestRun(uint8_t& testRunning);
// The tab is left: every test run ends.
void SettingsPage_OnTabLeft();
// A sub-page starts waiting for a key or a pad button. Its test run converts nothing until the
// answer comes, so whatever the converters hold is let go now instead of staying down meanwhile
// (and a key the tool holds can never be taken for the answer).
void StartCapture(uint8_t& waiting);

// Key capture of the sub-pages: CaptureKey by default; tests script it.
extern int (*SettingsPage_CaptureKey)();

// The caption of an input: the mouse button's for a mouse input, else the key's; "未設定" when unassigned.
const char* InputCaption(uint8_t assigned, uint8_t type, int32_t key, int32_t mouse);

// Static initialiser: sub-tab layout, the load page's layout with its scan (making "save"), the save page's.
void SettingsPage_StaticInit();
// After the library started: the load and save pages' graphs, fonts and name field.
void SettingsPage_Setup();
// The tab was chosen: stick page to its overview, test runs ended, redraw.
void SettingsPage_OnTabChosen();
int UpdateSettingsPage();

}  // namespace Qelvar
