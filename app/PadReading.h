// Pad reading: once per frame the selected pad, read through the library's input front end, is
// brought into one record in the DirectInput layout (PadState), and the four virtual axes are
// taken from it by the AxisMap of the settings. Stands on the input front end and SettingFiles.
#pragma once

#include <cstdint>

#include "system/VtInput.h"

namespace Qelvar {

// The layout of the library's PadDirectInputState (80 bytes).
struct PadState {
    int32_t X, Y, Z, Rx, Ry, Rz;  // axes, about -1000 to 1000 for sticks
    int32_t Slider[2];
    int32_t POV[4];       // hundredths of a degree clockwise from up; -1 centred
    uint8_t Buttons[32];  // 0x80 down, 0 up
};
static_assert(sizeof(PadState) == 80);

extern PadState Pad;             // the normalised state of this frame
extern int32_t PadCount;         // GetPadCount() of this frame
extern int32_t SelectedPad;      // PadNumber read; 0 until the first read that finds a pad
extern int32_t SelectedIsXInput; // 1 when the selected pad was read through XInput this frame
// 0 left horizontal, 1 left vertical, 2 right horizontal, 3 right vertical.
extern int32_t VirtualAxes[4];

extern Vantrel::PadXInputState XInputRaw;            // last XInput state read
extern Vantrel::PadDirectInputState DirectInputRaw;  // last DirectInput state read

// The pads the device page offers: 1 to 4.
constexpr int SelectablePadCount = 4;

// Reads the selected pad into Pad and computes VirtualAxes; with no pad it releases whatever the
// converters hold. Pads 1 to 4 are kept without the library's dead zone, also after a device change
// rebuilt the pad table. Returns 0.
int ReadPadState();
// The library applies no dead zone to pads 1 to 4 (their axes are still scaled to -1000..1000).
void PadReading_ClearDeadZones();
// An XInput state in the DirectInput layout: thumbs rescaled to -1000..1000 (vertical ones turned
// so that up is negative), triggers as buttons 18 and 19 and as Rx and Ry, the d-pad as POV[0].
// Sliders, POV[1..3] and buttons 20 to 31 are left as they are.
void PadReading_FromXInput(const Vantrel::PadXInputState& raw, PadState* pad);
// VirtualAxes from Pad and the AxisMap: the last set source wins, none set keeps the value.
void UpdateVirtualAxes();

}  // namespace Qelvar
