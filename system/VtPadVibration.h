// Pad vibration: the two motors of each pad record, timed vibrations counted down once per frame, and
// sending the motors' state through XInputSetState or the two DirectInput effects of a pad.
// Stands on the pad back end (VtInputPadWin), the window state and the millisecond counter.
#pragma once

namespace Vantrel {

struct PadRecord;

int Joypad_IsMotorUsable(const PadRecord* record, int motor);
int Joypad_UpdateVibrationTimers();
int Joypad_RefreshVibration(int force);
int Joypad_RefreshVibrationIfReady(int force);
int Joypad_StopVibration(int padNumber, int motor);

} // namespace Vantrel
