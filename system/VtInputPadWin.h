// Pad back end and the platform half of input start-up: XInput (loaded by name), DirectInput 8 (with WMI
// to tell XInput controllers apart) or the WinMM joystick calls, up to 16 pad records refreshed at most
// once per millisecond tick. Stands on the system function table, the log, the window state and the pump.
#pragma once
#include <cstdint>
#include <windows.h>
#include <mmsystem.h>
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <dinput.h>
#include <xinput.h>

#include "system/VtInput.h"

namespace Vantrel {

// One vibration motor of a pad (its handling is in VtPadVibration).
struct VibrationMotor {
    int32_t Playing;
    int32_t Power;          // 0..10000
    int32_t TimeLimit;      // milliseconds, negative for no limit
    int32_t Elapsed;
    int32_t LastTick;       // GetMillisecondCount when Elapsed was last advanced
    int32_t LastAppliedTime;
    int32_t AppliedPlaying;
    int32_t AppliedPower;
    IDirectInputEffect* Effect;
};

struct PadRecord {
    int32_t LastRefreshTime;        // timeGetTime of the last refresh
    VibrationMotor Motor[2];        // 0: left motor / constant force, 1: right motor / sine
    int32_t DeadZone;               // 16.16 fixed point, 0..65536
    double DeadZoneDouble;
    int32_t ButtonCount;
    PadDirectInputState DirectInputState;
    PadXInputState XInputState;
    int32_t XInputUser;             // 0..3, -1 for other pads
    int32_t XInputVibrationSent;
    uint16_t XInputLastLeftSpeed;
    uint16_t XInputLastRightSpeed;
    IDirectInputDevice8W* Device;
    HANDLE Event;
    int32_t JoystickCaps;           // wCaps of JOYCAPSW
    wchar_t InstanceName[PadNameLength];
    wchar_t ProductName[PadNameLength];
    GUID InstanceGuid;
    GUID ProductGuid;
};

// KeyToPadTable: per pad, 32 entries (one per bit of the pad input mask), four DirectInput key codes each.
const int KeyToPadEntries = 32;
const int KeyToPadCodes = 4;

typedef DWORD(WINAPI* XInputGetStateFunction)(DWORD user, XINPUT_STATE* state);
typedef DWORD(WINAPI* XInputSetStateFunction)(DWORD user, XINPUT_VIBRATION* vibration);

// Sentinel of InputSystemState.DirectInput: input started in joystick-call mode.
#define VT_DIRECTINPUT_JOYSTICK_MODE (reinterpret_cast<IDirectInput8W*>(static_cast<intptr_t>(-1)))

struct InputSystemState {
    // Kept across every platform start-up.
    int32_t Initialized;
    int32_t DefaultDeadZoneSet;
    int32_t DefaultDeadZone;         // 16.16
    double DefaultDeadZoneDouble;
    int32_t KeyToPadFilled;
    int32_t KeyToPad[MaxPadCount][KeyToPadEntries][KeyToPadCodes];

    // Cleared at every platform start-up (from here on).
    IDirectInput8W* DirectInput;     // real object, the joystick-mode sentinel, or null
    int32_t NoDirectInput;
    HMODULE XInputLibrary;
    XInputGetStateFunction XInputGetState;
    XInputSetStateFunction XInputSetState;
    int32_t PadCount;
    int32_t XInputPadCount;
    PadRecord Pads[MaxPadCount];
    IDirectInputDevice8W* MouseDevice;
    IDirectInputDevice8W* KeyboardDevice;
    HANDLE KeyboardEvent;
    int32_t KeyboardRefreshTime;
    uint8_t KeyStateTable[256];
    int32_t MouseFlagsValid;
    uint8_t MouseLeft, MouseRight, MouseMiddle, MouseExtra1, MouseExtra2;
    int32_t DirectInputWheel;        // sum of the DirectInput mouse's lZ
    int32_t ReportF10;
};

extern InputSystemState InputSystem;
// Outside the cleared area: start-up in progress, and the keyboard refresh guard.
extern int32_t InputSetupInProgress;
extern int32_t KeyboardRefreshGuard;

// Platform start-up and shut-down (run by Input_Initialize / Input_Terminate).
int Input_PlatformInitialize();
int Input_PlatformTerminate();

int Joypad_Setup();
int Joypad_SetupAll();
int Joypad_Refresh(int index);
int Joypad_ApplyDeadZoneToDevice(PadRecord* record);
int Input_ReacquireDevices();
int Joypad_ReleaseAll();
int Joypad_ReleaseAllIfInitialized();
int Joypad_IsXInputDeviceByWmi(const GUID* productGuid);
BOOL CALLBACK Joypad_DirectInput_EnumDeviceCallback(LPCDIDEVICEINSTANCEW instance, LPVOID context);
// Sets the default dead zone (0.35) when it was never set.
void Joypad_EnsureDefaultDeadZone();
// 1 when input runs with a real DirectInput object.
int Input_IsDirectInputMode();

// State conversions (pure; the refresh applies them).
void Joypad_ConvertXInputState(const XINPUT_GAMEPAD* pad, int32_t deadZone, PadDirectInputState* directInput,
                               PadXInputState* xinput);
int32_t Joypad_ConvertXInputThumb(int32_t value, int32_t deadZone, int invert);
int32_t Joypad_ConvertXInputPov(uint16_t buttons);
int32_t Joypad_ConvertJoystickAxis(uint32_t position, int32_t deadZone);
void Joypad_ConvertJoystickInfo(const JOYINFOEX* info, int32_t capabilities, int32_t deadZone,
                                PadDirectInputState* directInput);

// Data formats of the DirectInput devices (joystick, mouse with 8 buttons, keyboard).
const DIDATAFORMAT* Input_DataFormatJoystick();
const DIDATAFORMAT* Input_DataFormatMouse2();
const DIDATAFORMAT* Input_DataFormatKeyboard();

} // namespace Vantrel
