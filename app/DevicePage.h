// The device selection page: four tiles for pads 1 to 4, the chosen pad's names and read mode, or
// a notice when no pad was found. Stands on AppMain's layers and click state and on PadReading.
#pragma once
#include <cstdint>

#include "app/AppMain.h"

namespace Qelvar {

struct DevicePageRecord {
    Rect Frame;
    Rect PadTile[4];
    int32_t PageFont;
    int32_t Redraw;
};
extern DevicePageRecord DevicePage;

// Rectangles, redraw flag and font (after the library started).
void DevicePage_Setup();
int UpdateDevicePage();
void DrawDevicePage();

}  // namespace Qelvar
