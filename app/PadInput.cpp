// Pad reading through the library: the selected pad read once per frame through the input front
// end and brought into PadState, the pads kept without dead zone, and the release of everything held
// when no pad is left. Stands on the input front end (pad count, states, dead zone), PadReading and
// InputInjection.
#include <cstring>

#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"
#include "system/VtInput.h"

namespace Qelvar {

void PadReading_ClearDeadZones()
{
    for (int pad = 1; pad <= SelectablePadCount; ++pad) {
        Vantrel::SetPadDeadZone(pad, 0.0);
    }
}

int ReadPadState()
{
    PadCount = Vantrel::GetPadCount();
    if (PadCount <= 0) {
        Pad.X = Pad.Y = Pad.Z = Pad.Rx = Pad.Ry = Pad.Rz = 0;
        Pad.POV[0] = -1;
        memset(Pad.Buttons, 0, ConvertedButtonCount);
        ReleaseAllHeld();  // the pad went away: nothing it held may stay down
        return 0;
    }
    // A device change rebuilds the library's pad table with its default dead zone, while the tool
    // reads the pads without one. Setting it again costs nothing while it is already 0.
    PadReading_ClearDeadZones();
    if (SelectedPad == 0) {
        SelectedPad = 1;
    }
    if (Vantrel::IsXInputPad(SelectedPad) == 1) {
        SelectedIsXInput = 1;
        if (Vantrel::GetPadXInputState(SelectedPad, &XInputRaw) == -1) {
            return 0;
        }
        PadReading_FromXInput(XInputRaw, &Pad);
    } else {
        SelectedIsXInput = 0;
        Vantrel::GetPadDirectInputState(SelectedPad, &DirectInputRaw);
        static_assert(sizeof(Vantrel::PadDirectInputState) == sizeof(PadState));
        memcpy(&Pad, &DirectInputRaw, sizeof(Pad));
    }
    UpdateVirtualAxes();
    return 0;
}

}  // namespace Qelvar
