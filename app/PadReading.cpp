// Pad reading, the records and the virtual axes: PadState, PadCount, the selected pad and the
// four VirtualAxes taken from PadState by the AxisMap. Stands on SettingFiles.
#include "app/PadReading.h"

#include "app/SettingFiles.h"

namespace Qelvar {

PadState Pad = {0, 0, 0, 0, 0, 0, {0, 0}, {-1, -1, -1, -1}, {}};
int32_t PadCount = 0;
int32_t SelectedPad = 0;
int32_t SelectedIsXInput = 0;
int32_t VirtualAxes[4] = {0, 0, 0, 0};

void UpdateVirtualAxes()
{
    const int32_t sources[6] = {Pad.X, Pad.Y, Pad.Z, Pad.Rx, Pad.Ry, Pad.Rz};
    for (int k = 0; k < 4; ++k) {
        const AxisSource& axis = Settings.Stick.AxisMap[k];
        for (int j = 0; j < 6; ++j) {
            if (axis.Source[j] != 0) {
                VirtualAxes[k] = axis.Reverse != 0 ? -sources[j] : sources[j];
            }
        }
    }
}

}  // namespace Qelvar
