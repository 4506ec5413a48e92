// Pad reading, the records and the conversions: PadState, PadCount, the selected pad, XInput states
// in the DirectInput layout, and the four VirtualAxes taken from PadState by the AxisMap. Stands on
// the input front end's state layouts and SettingFiles.
#include "app/PadReading.h"

#include "app/SettingFiles.h"

namespace Qelvar {

PadState Pad = {0, 0, 0, 0, 0, 0, {0, 0}, {-1, -1, -1, -1}, {}};
int32_t PadCount = 0;
int32_t SelectedPad = 0;
int32_t SelectedIsXInput = 0;
int32_t VirtualAxes[4] = {0, 0, 0, 0};
Vantrel::PadXInputState XInputRaw;
Vantrel::PadDirectInputState DirectInputRaw;

void PadReading_FromXInput(const Vantrel::PadXInputState& raw, PadState* pad)
{
    for (int i = 0; i < 16; ++i) {
        pad->Buttons[i] = raw.Buttons[i] != 0 ? 0x80 : 0;
    }
    pad->Buttons[16] = pad->Buttons[17] = 0;
    pad->Buttons[18] = raw.LeftTrigger != 0 ? 0x80 : 0;
    pad->Buttons[19] = raw.RightTrigger != 0 ? 0x80 : 0;
    // Thumb values to the DirectInput range; the vertical ones turned so that up is negative.
    pad->X = static_cast<int32_t>(raw.ThumbLX / 10.0 / 3.276);
    pad->Z = static_cast<int32_t>(raw.ThumbRX / 10.0 / 3.276);
    pad->Y = static_cast<int32_t>(((raw.ThumbLY + 1) / 10.0 / 3.276) * -1.0);
    pad->Rz = static_cast<int32_t>(((raw.ThumbRY + 1) / 10.0 / 3.276) * -1.0);
    pad->Rx = raw.LeftTrigger;
    pad->Ry = raw.RightTrigger;
    const bool up = raw.Buttons[0] == 1, down = raw.Buttons[1] == 1;
    const bool left = raw.Buttons[2] == 1, right = raw.Buttons[3] == 1;
    if (left) {
        pad->POV[0] = (up ? 31500 : 27000) - (down ? 4500 : 0);
    } else if (down) {
        pad->POV[0] = right ? 13500 : 18000;
    } else if (right) {
        pad->POV[0] = up ? 4500 : 9000;
    } else {
        pad->POV[0] = up ? 0 : -1;
    }
}

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
