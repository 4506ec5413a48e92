// The stick converters: the left stick holds four movement keys and a dash key, the right stick
// moves the mouse cursor. Stands on PadReading (VirtualAxes), SettingFiles (StickSettings) and
// InputInjection (the senders).
#pragma once

#include <cstdint>

namespace Qelvar {

struct LeftStickState {
    int32_t UpKey, RightKey, DownKey, LeftKey;  // key codes of this pass's key set
    uint8_t UpHeld, RightHeld, DownHeld, LeftHeld;
    uint8_t DashHeld;
    int32_t DashHeldKey;  // the code the dash key went down with
};

struct RightStickState {
    int32_t AccelRamp;   // percent added to the movement, 0 to 100 in steps of 5
    int32_t SmoothRamp;  // percent of the movement passed on, 0 to 100 in steps of 10
};

extern LeftStickState LeftStick;
extern RightStickState RightStick;

// Run once per frame while conversion is on; both return 0.
int ConvertLeftStick();
int ConvertRightStick();

// The distance of a stick position: integer squares, single-precision sum, double square root.
int32_t StickDistance(int32_t h, int32_t v);
// Clears the held flags (the keys themselves are released by ReleaseAllHeld).
void LeftStick_ClearHeld();

}  // namespace Qelvar
