// The settings tab in its first form: the page frame and the "save" folder made at start.
// Stands on AppMain's layers and colours and on SHLWAPI's folder test.
#include "app/SettingsPage.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/AppMain.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"

namespace Qelvar {

using namespace Vantrel;

int32_t SettingsPageRedraw = 1;

void SettingsPage_StaticInit()
{
    if (!PathIsDirectoryA("save")) CreateDirectoryA("save", nullptr);
}

void SettingsPage_Setup() { SettingsPageRedraw = 1; }

void SettingsPage_OnTabChosen() { SettingsPageRedraw = 1; }

int UpdateSettingsPage()
{
    if (SettingsPageRedraw) {
        const ScreenLayersRecord& layers = ScreenLayers;
        SelectDrawScreen(layers.PageLayer);
        DrawGraphAt(0, 0, layers.PageBackground, 0);
        DrawGraphAt(110, 10, layers.SubPanel, 0);
        SettingsPageRedraw = 0;
        ScreenLayers.LayersChanged = 1;
    }
    return 0;
}

}  // namespace Qelvar
