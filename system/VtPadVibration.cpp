// Pad vibration: the two motors of each pad record, timed vibrations counted down once per frame, and
// sending the motors' state through XInputSetState or the two DirectInput effects of a pad.
// Stands on the pad back end (VtInputPadWin), the window state and the millisecond counter.
#include "system/VtPadVibration.h"

#include <cstring>

#include "foundation/VtWinAPI.h"
#include "system/VtInput.h"
#include "system/VtInputPadWin.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"

namespace Vantrel {

namespace {

const int32_t ResendInterval = 1000; // milliseconds

int Vibration_IsXInputPad(const PadRecord* record)
{
    return record->XInputUser >= 0 && record->XInputUser <= 3;
}

// Sends one magnitude to a DirectInput effect through SetParameters.
void Vibration_SetMagnitude(IDirectInputEffect* effect, int32_t value, DWORD flags)
{
    LONG magnitude = value;
    DIEFFECT parameters;
    memset(&parameters, 0, sizeof(parameters));
    parameters.dwSize = sizeof(DIEFFECT);
    parameters.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    parameters.cAxes = 0;
    parameters.lpEnvelope = nullptr;
    parameters.cbTypeSpecificParams = sizeof(magnitude);
    parameters.lpvTypeSpecificParams = &magnitude;
    parameters.dwStartDelay = 0;
    effect->SetParameters(&parameters, flags);
}

void Vibration_RefreshXInputPad(PadRecord* record, int active, int forced, int32_t now)
{
    uint16_t speed[2] = {0, 0};
    int changed = 0;
    int stale = now - record->Motor[0].LastAppliedTime > ResendInterval;
    if (active || forced) {
        for (int motor = 0; motor < 2; ++motor) {
            VibrationMotor* m = &record->Motor[motor];
            int32_t value = m->Playing ? m->Power : 0;
            speed[motor] = static_cast<uint16_t>(value * 65535 / 10000);
            if (value != m->AppliedPower || stale) {
                changed = 1;
                m->AppliedPower = value;
            }
            m->AppliedPlaying = m->Playing;
        }
    } else {
        if (record->Motor[0].AppliedPower != 0 || record->Motor[1].AppliedPower != 0 || stale) changed = 1;
        for (int motor = 0; motor < 2; ++motor) {
            record->Motor[motor].AppliedPower = 0;
            record->Motor[motor].AppliedPlaying = 0;
        }
    }
    if (InputSystem.XInputSetState == nullptr || !(changed || forced)) return;
    int silence = speed[0] == 0 && speed[1] == 0;
    int lastSilent = record->XInputLastLeftSpeed == 0 && record->XInputLastRightSpeed == 0;
    if (silence && record->XInputVibrationSent && lastSilent) return;
    XINPUT_VIBRATION vibration = {speed[0], speed[1]};
    InputSystem.XInputSetState(static_cast<DWORD>(record->XInputUser), &vibration);
    record->XInputVibrationSent = 1;
    record->XInputLastLeftSpeed = speed[0];
    record->XInputLastRightSpeed = speed[1];
    record->Motor[0].LastAppliedTime = now;
}

void Vibration_RefreshDirectInputPad(PadRecord* record, int active, int32_t now)
{
    for (int motor = 0; motor < 2; ++motor) {
        VibrationMotor* m = &record->Motor[motor];
        IDirectInputEffect* effect = m->Effect;
        if (effect == nullptr) continue;
        int stale = now - m->LastAppliedTime > ResendInterval;
        if (active) {
            int32_t value = m->Playing ? m->Power : 0;
            if (value == m->AppliedPower && m->AppliedPlaying == (value > 0) && !stale) continue;
            int powerChanged = value != m->AppliedPower;
            if (value > 0 && m->AppliedPlaying) {
                if (powerChanged || stale) Vibration_SetMagnitude(effect, value, DIEP_TYPESPECIFICPARAMS | DIEP_NORESTART);
            } else if (value > 0) {
                if (powerChanged || stale) Vibration_SetMagnitude(effect, value, DIEP_TYPESPECIFICPARAMS);
                effect->Start(INFINITE, 0);
            } else {
                if (m->AppliedPlaying || stale) effect->Stop();
                if (powerChanged || stale) Vibration_SetMagnitude(effect, 0, DIEP_TYPESPECIFICPARAMS);
            }
            m->AppliedPower = value;
            m->AppliedPlaying = m->Playing;
            m->LastAppliedTime = now;
        } else {
            if (m->AppliedPower == 0 && m->AppliedPlaying == 0 && !stale) continue;
            if (m->AppliedPlaying || stale) effect->Stop();
            if (m->AppliedPower != 0 || stale) Vibration_SetMagnitude(effect, 0, DIEP_TYPESPECIFICPARAMS);
            m->AppliedPower = 0;
            m->AppliedPlaying = 0;
            m->LastAppliedTime = now;
        }
    }
}

} // namespace

int Joypad_IsMotorUsable(const PadRecord* record, int motor)
{
    if (record == nullptr || motor < 0 || motor > 1) return 0;
    if (Vibration_IsXInputPad(record)) return 1;
    return record->Device != nullptr && record->Motor[motor].Effect != nullptr;
}

int Joypad_UpdateVibrationTimers()
{
    if (!InputSystem.Initialized) return 0;
    int32_t now = GetMillisecondCount();
    for (int pad = 0; pad < InputSystem.PadCount; ++pad) {
        PadRecord* record = &InputSystem.Pads[pad];
        for (int motor = 0; motor < 2; ++motor) {
            VibrationMotor* m = &record->Motor[motor];
            if (!Joypad_IsMotorUsable(record, motor) || !m->Playing || m->TimeLimit < 0 || m->LastTick == now)
                continue;
            if (now < m->LastTick) m->LastTick = now;
            m->Elapsed += now - m->LastTick;
            m->LastTick = now;
            if (m->Elapsed >= m->TimeLimit) Joypad_StopVibration(pad + 1, motor);
        }
    }
    Joypad_RefreshVibration(0);
    return 0;
}

int Joypad_RefreshVibration(int force)
{
    WinAPI_EnsureLoaded();
    if (InputSystem.DirectInput != VT_DIRECTINPUT_JOYSTICK_MODE && !Input_IsDirectInputMode()) return 0;
    int32_t now = GetMillisecondCount();
    int forced = Window.RunWhileInactive || force;
    int active = Window.ActiveFlag;
    for (int pad = 0; pad < InputSystem.PadCount; ++pad) {
        PadRecord* record = &InputSystem.Pads[pad];
        if (Vibration_IsXInputPad(record))
            Vibration_RefreshXInputPad(record, active, forced, now);
        else if (record->Device != nullptr)
            Vibration_RefreshDirectInputPad(record, active, now);
    }
    return 0;
}

int Joypad_RefreshVibrationIfReady(int force)
{
    if (InputSystem.Initialized) Joypad_RefreshVibration(force);
    return 0;
}

int Joypad_StopVibration(int padNumber, int motor)
{
    WinAPI_EnsureLoaded();
    if (!Window.ActiveFlag && !Window.InActivate) Window_WaitWhileInactive();
    if (!InputSystem.Initialized) return Input_EnsureInitialized();
    int index = (padNumber & ~PadNumberKeyboardBit) - 1;
    if (index < 0 || index >= InputSystem.PadCount) return 0;
    PadRecord* record = &InputSystem.Pads[index];
    int stopped = 0;
    for (int m = 0; m < 2; ++m) {
        if (motor >= 0 && m != motor) continue;
        if (!Joypad_IsMotorUsable(record, m) || !record->Motor[m].Playing) continue;
        record->Motor[m].Playing = 0;
        record->Motor[m].Power = 10000;
        stopped = 1;
    }
    // Both motors of a pad stop together: one send, not a half-stopped state in between.
    if (stopped) Joypad_RefreshVibration(0);
    return 0;
}

} // namespace Vantrel
