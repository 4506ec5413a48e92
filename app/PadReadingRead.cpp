// Pad reading: the selected pad read once per frame through the input front end into PadState.
// Stands on the input front end's pad queries and PadReading's records.
#include <cstring>

#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "system/VtInput.h"

namespace Qelvar {

using namespace Vantrel;

int ReadPadState()
{
    PadCount = GetPadCount();
    if (PadCount <= 0) {
        Pad.X = Pad.Y = Pad.Z = Pad.Rx = Pad.Ry = Pad.Rz = 0;
        Pad.POV[0] = -1;
        memset(Pad.Buttons, 0, 20);
        ReleaseAllHeld();
        return 0;
    }
    if (SelectedPad == 0) SelectedPad = 1;
    if (IsXInputPad(SelectedPad) == 1) {
        SelectedIsXInput = 1;
        PadXInputState raw;
        if (GetPadXInputState(SelectedPad, &raw) == -1) return 0;
        for (int i = 0; i < 16; ++i) Pad.Buttons[i] = raw.Buttons[i] ? 0x80 : 0;
        for (int i = 16; i < 20; ++i) Pad.Buttons[i] = 0;
        if (raw.LeftTrigger) Pad.Buttons[18] = 0x80;
        if (raw.RightTrigger) Pad.Buttons[19] = 0x80;
        Pad.X = static_cast<int32_t>(raw.ThumbLX / 10.0 / 3.276);
        Pad.Z = static_cast<int32_t>(raw.ThumbRX / 10.0 / 3.276);
        Pad.Y = static_cast<int32_t>(((raw.ThumbLY + 1) / 10.0 / 3.276) * -1.0);
        Pad.Rz = static_cast<int32_t>(((raw.ThumbRY + 1) / 10.0 / 3.276) * -1.0);
        Pad.Rx = raw.LeftTrigger;
        Pad.Ry = raw.RightTrigger;
        const bool up = raw.Buttons[0] == 1, down = raw.Buttons[1] == 1, left = raw.Buttons[2] == 1,
                   right = raw.Buttons[3] == 1;
        if (left)
            Pad.POV[0] = (up ? 31500 : 27000) - (down ? 4500 : 0);
        else if (down)
            Pad.POV[0] = right ? 13500 : 18000;
        else if (right)
            Pad.POV[0] = up ? 4500 : 9000;
        else
            Pad.POV[0] = up ? 0 : -1;
    } else {
        SelectedIsXInput = 0;
        PadDirectInputState raw;
        GetPadDirectInputState(SelectedPad, &raw);
        memcpy(&Pad, &raw, sizeof(Pad));
    }
    UpdateVirtualAxes();
    return 0;
}

}  // namespace Qelvar
