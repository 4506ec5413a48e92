// The stick converters. The left stick compares each axis with MoveKeyDistance (a square, not a
// circle) and the distance with DashDistance; the right stick runs its chain of radius limit, dead
// zone, acceleration, speed, slow mode, scale and smoothing with the exact mix of integer, single
// and double precision steps that fixes the mouse units per frame. Stands on PadReading,
// SettingFiles and InputInjection.
#include "app/StickConverters.h"

#include <cmath>

#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"

namespace Qelvar {

LeftStickState LeftStick = {0x11, 0x20, 0x1F, 0x1E, 0, 0, 0, 0, 0, 0};
RightStickState RightStick = {0, 0};

namespace {

// A held movement key whose code changes with the key set goes up under the code it went down with.
void ChangeKey(int32_t* key, uint8_t* held, int32_t newKey)
{
    if (*held && *key != newKey) {
        SendKeyUp(*key);
        *held = 0;
    }
    *key = newKey;
}

void SetKeySet(const StickSettings& stick)
{
    int32_t up, right, down, left;
    if (stick.MoveKeyMode == 0) {
        up = 0x11, right = 0x20, down = 0x1F, left = 0x1E;  // W, D, S, A
    } else if (stick.MoveKeyMode == 1) {
        up = 0xC8, right = 0xCD, down = 0xD0, left = 0xCB;  // arrow keys
    } else {
        return;
    }
    ChangeKey(&LeftStick.UpKey, &LeftStick.UpHeld, up);
    ChangeKey(&LeftStick.RightKey, &LeftStick.RightHeld, right);
    ChangeKey(&LeftStick.DownKey, &LeftStick.DownHeld, down);
    ChangeKey(&LeftStick.LeftKey, &LeftStick.LeftHeld, left);
}

void Press(int32_t key, uint8_t* held)
{
    SendKeyDown(key);
    *held = 1;
}

void Release(int32_t key, uint8_t* held)
{
    SendKeyUp(key);
    *held = 0;
}

void ReleaseDash()
{
    if (LeftStick.DashHeld) {
        SendKeyUp(LeftStick.DashHeldKey);
        LeftStick.DashHeld = 0;
    }
}

void ReleaseLeftStick()
{
    if (LeftStick.RightHeld) {
        Release(LeftStick.RightKey, &LeftStick.RightHeld);
    }
    if (LeftStick.LeftHeld) {
        Release(LeftStick.LeftKey, &LeftStick.LeftHeld);
    }
    if (LeftStick.UpHeld) {
        Release(LeftStick.UpKey, &LeftStick.UpHeld);
    }
    if (LeftStick.DownHeld) {
        Release(LeftStick.DownKey, &LeftStick.DownHeld);
    }
    ReleaseDash();
}

}  // namespace

int32_t StickDistance(int32_t h, int32_t v)
{
    float sum = static_cast<float>(v * v) + static_cast<float>(h * h);
    return static_cast<int32_t>(std::sqrt(static_cast<double>(sum)));
}

void LeftStick_ClearHeld()
{
    LeftStick.UpHeld = LeftStick.RightHeld = LeftStick.DownHeld = LeftStick.LeftHeld = 0;
    LeftStick.DashHeld = 0;
}

int ConvertLeftStick()
{
    const StickSettings& stick = Settings.Stick;
    if (PadCount <= 0) {
        return 0;
    }
    if (stick.LeftStickEnabled != 1) {
        ReleaseLeftStick();  // switched off while holding keys: let go of them
        return 0;
    }
    const int32_t h = VirtualAxes[0];
    const int32_t v = VirtualAxes[1];
    const int32_t t = stick.MoveKeyDistance;
    SetKeySet(stick);

    if (h != 0) {
        if (!LeftStick.RightHeld && h >= t) {
            Press(LeftStick.RightKey, &LeftStick.RightHeld);
        } else if (LeftStick.RightHeld && h < t) {
            Release(LeftStick.RightKey, &LeftStick.RightHeld);
        }
        if (!LeftStick.LeftHeld && h <= -t) {
            Press(LeftStick.LeftKey, &LeftStick.LeftHeld);
        } else if (LeftStick.LeftHeld && h > -t) {
            Release(LeftStick.LeftKey, &LeftStick.LeftHeld);
        }
    } else {
        if (LeftStick.RightHeld) {
            Release(LeftStick.RightKey, &LeftStick.RightHeld);
        }
        if (LeftStick.LeftHeld) {
            Release(LeftStick.LeftKey, &LeftStick.LeftHeld);
        }
    }

    if (v != 0) {
        if (!LeftStick.UpHeld && v <= -t) {
            Press(LeftStick.UpKey, &LeftStick.UpHeld);
        } else if (LeftStick.UpHeld && v > -t) {
            Release(LeftStick.UpKey, &LeftStick.UpHeld);
        }
        if (!LeftStick.DownHeld && v >= t) {
            Press(LeftStick.DownKey, &LeftStick.DownHeld);
        } else if (LeftStick.DownHeld && v < t) {
            Release(LeftStick.DownKey, &LeftStick.DownHeld);
        }
    } else {
        if (LeftStick.UpHeld) {
            Release(LeftStick.UpKey, &LeftStick.UpHeld);
        }
        if (LeftStick.DownHeld) {
            Release(LeftStick.DownKey, &LeftStick.DownHeld);
        }
    }

    if (stick.DashEnabled != 1) {
        ReleaseDash();  // turning the dash off lets go of it
        return 0;
    }
    const int32_t d = StickDistance(h, v);
    if (LeftStick.DashHeld && LeftStick.DashHeldKey != stick.DashKey) {
        ReleaseDash();  // the dash key was changed while held
    }
    if (d >= stick.DashDistance) {
        if (!LeftStick.DashHeld) {
            SendKeyDown(stick.DashKey);
            LeftStick.DashHeld = 1;
            LeftStick.DashHeldKey = stick.DashKey;
        }
    } else {
        ReleaseDash();
    }
    return 0;
}

int ConvertRightStick()
{
    const StickSettings& stick = Settings.Stick;
    if (PadCount <= 0 || stick.RightStickEnabled != 1) {
        return 0;
    }
    int32_t h = VirtualAxes[2];
    int32_t v = VirtualAxes[3];
    const int32_t d = StickDistance(h, v);

    if (stick.DeadZoneEnabled != 0 && d <= stick.DeadZone) {
        if (stick.AccelEnabled == 1 && RightStick.AccelRamp > 0) {
            RightStick.AccelRamp -= 5;
        }
        if (stick.SmoothEnabled == 1 && RightStick.SmoothRamp > 0) {
            RightStick.SmoothRamp -= 10;
        }
        return 0;
    }

    const float angle = static_cast<float>(std::atan2(static_cast<double>(static_cast<float>(v)),
                                                      static_cast<double>(static_cast<float>(h))));
    const double cosine = std::cos(static_cast<double>(angle));
    const double sine = std::sin(static_cast<double>(angle));

    if (d >= 1000) {
        h = static_cast<int32_t>(cosine * 1000.0);
        v = static_cast<int32_t>(sine * 1000.0);
    }
    if (stick.DeadZoneEnabled == 1) {
        h = static_cast<int32_t>(h - cosine * stick.DeadZone);
        v = static_cast<int32_t>(v - sine * stick.DeadZone);
    }
    if (stick.AccelEnabled == 1) {
        if (d > 980) {
            if (RightStick.AccelRamp < 100) {
                RightStick.AccelRamp += 5;
            }
            const float f = static_cast<float>(RightStick.AccelRamp) * 0.01f;
            const float fh = static_cast<float>(h);
            const float fv = static_cast<float>(v);
            h = static_cast<int32_t>(fh * f + fh);
            v = static_cast<int32_t>(fv * f + fv);
        } else if (RightStick.AccelRamp > 0) {
            RightStick.AccelRamp -= 5;
        }
    }
    if (stick.SpeedType == 0 || stick.SpeedType == 1) {
        const double scale = (stick.SpeedType == 1 && d >= 980) ? 0.015 : 0.01;
        h = static_cast<int32_t>(static_cast<double>(h * stick.CursorSpeed) * scale);
        v = static_cast<int32_t>(static_cast<double>(v * stick.CursorSpeed) * scale);
    }
    if (stick.SlowModeEnabled == 1 && stick.SlowButton >= 0 && stick.SlowButton < 32 &&
        Pad.Buttons[stick.SlowButton] != 0) {
        h = static_cast<int32_t>(static_cast<double>(h * stick.SlowPercent) * 0.01);
        v = static_cast<int32_t>(static_cast<double>(v * stick.SlowPercent) * 0.01);
    }
    h = static_cast<int32_t>(h * 0.1);
    v = static_cast<int32_t>(v * 0.1);
    if (stick.SmoothEnabled == 1) {
        int32_t s = RightStick.SmoothRamp;
        if (s < 100 && (h < -1 || h > 1 || v < -1 || v > 1)) {
            s += 10;
        }
        if (s > 0 && h == 0 && v == 0) {
            s -= 10;
        }
        RightStick.SmoothRamp = s;
        h = static_cast<int32_t>(static_cast<double>(s * h) * 0.01);
        v = static_cast<int32_t>(static_cast<double>(s * v) * 0.01);
    }
    SendMouseMove(h, v);
    return 0;
}

}  // namespace Qelvar
