// The settings tab in its first form: the page frame, the "save" folder made at start, and the
// hooks the tab column calls; the sub-pages (load, stick, buttons, POV, save) build on it.
// Stands on AppMain's layers and the drawing helpers.
#pragma once
#include <cstdint>

namespace Qelvar {

extern int32_t SettingsPageRedraw;

// Static initialiser: the load page's layout and the "save" folder (created when missing).
void SettingsPage_StaticInit();
// After the library started: the layers and fonts of the sub-pages.
void SettingsPage_Setup();
// The tab was chosen: sub-pages back to their first view, test runs ended, redraw.
void SettingsPage_OnTabChosen();
int UpdateSettingsPage();

}  // namespace Qelvar
