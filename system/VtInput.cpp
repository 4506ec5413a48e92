// Input front end: the public queries of keyboard, mouse and pads, and the input module's start and stop.
// Stands on the pad back end (VtInputPadWin), the keyboard and mouse back end (VtInputKeyMouseWin), the
// window state and the code-page conversion.
#include "system/VtInput.h"

#include <cstring>

#include "foundation/VtCharCode.h"
#include "foundation/VtWinAPI.h"
#include "system/VtInputKeyMouseWin.h"
#include "system/VtInputPadWin.h"
#include "system/VtWindow.h"

namespace Vantrel {

namespace {

const int WheelDelta = 120;
const int KeyCodeF10 = 68;

// Common prologue of the pad and keyboard queries: wait while the window is inactive, start input lazily.
// Returns 1 when the query goes on; otherwise *result holds what the query returns.
int Input_Prologue(int* result)
{
    WinAPI_EnsureLoaded();
    if (!Window.ActiveFlag && !Window.InActivate) Window_WaitWhileInactive();
    if (!InputSystem.Initialized) {
        *result = Input_EnsureInitialized();
        return 0;
    }
    return 1;
}

int Input_IsValidPadIndex(int index)
{
    return index >= 0 && index < InputSystem.PadCount;
}

int Input_PadIndex(int padNumber)
{
    return (padNumber & ~PadNumberKeyboardBit) - 1;
}

int Input_IsKeyCodeDown(int code)
{
    return code >= 0 && code <= 255 && (InputSystem.KeyStateTable[code] & 0x80) != 0;
}

} // namespace

int Input_Initialize()
{
    if (InputSystem.Initialized) return 0;
    Joypad_EnsureDefaultDeadZone();
    InputSystem.Initialized = 1;
    if (Input_PlatformInitialize() != 0) {
        InputSystem.Initialized = 0;
        return -1;
    }
    for (int i = 0; i < MaxPadCount; ++i)
        for (int j = 0; j < 4; ++j) InputSystem.Pads[i].DirectInputState.POV[j] = -1;
    return 0;
}

int Input_Terminate()
{
    if (!InputSystem.Initialized) return 0;
    if (Input_PlatformTerminate() != 0) return -1;
    InputSystem.Initialized = 0;
    return 0;
}

int Input_EnsureInitialized()
{
    if (Window_IsDestroyRequested()) return 0;
    return Input_Initialize();
}

int Input_IsInitialized()
{
    return InputSystem.Initialized;
}

int Input_SetReportF10()
{
    InputSystem.ReportF10 = 1;
    return 0;
}

int Input_ClearReportF10()
{
    InputSystem.ReportF10 = 0;
    return 0;
}

int IsKeyDown(int keyCode)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    Keyboard_RefreshGuarded(1);
    return Input_IsKeyCodeDown(keyCode) ? 1 : 0;
}

int FindPressedInput(int checkFlags)
{
    if (Window.MainWindow == nullptr) return -1;
    int result = 0;
    if (!Input_Prologue(&result)) return result;

    if (checkFlags & InputCheckKeyboard) {
        Keyboard_RefreshGuarded(1);
        for (int code = 0; code < 256; ++code) {
            if (code == 58 || code == 112 || code == 148) continue;
            if (InputSystem.KeyStateTable[code] & 0x80) return code;
        }
        if (InputSystem.ReportF10) return KeyCodeF10;
    }
    if (checkFlags & InputCheckPads) {
        for (int pad = 1; pad <= InputSystem.PadCount; ++pad)
            if (GetPadInputMask(pad) != 0) return -1;
    }
    if (checkFlags & InputCheckMouse) {
        int x = 0, y = 0;
        GetMousePosition(&x, &y);
        RECT client;
        memset(&client, 0, sizeof(client));
        Window_GetClientScreenRect(&client);
        if (x >= 0 && y >= 0 && Window.ActiveFlag && x <= client.right - client.left && y <= client.bottom - client.top &&
            GetMouseButtons() != 0)
            return -1;
    }
    return 0;
}

int GetPadInputMask(int padNumber)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    int index = Input_PadIndex(padNumber);
    int withKeyboard = (padNumber & PadNumberKeyboardBit) != 0;
    auto outOfRange = [&]() {
        return (index < -1 || index >= InputSystem.PadCount) && InputSystem.PadCount != 0 && !withKeyboard;
    };
    if (outOfRange()) return 0;
    int mask = 0;
    if (Input_IsValidPadIndex(index)) {
        if (index < MaxPadCount) Joypad_Refresh(index);
        if (outOfRange()) return 0;
        if (Input_IsValidPadIndex(index)) {
            const PadDirectInputState* state = &InputSystem.Pads[index].DirectInputState;
            if (state->X < 0) mask |= 2;
            if (state->X > 0) mask |= 4;
            if (state->Y < 0) mask |= 8;
            if (state->Y > 0) mask |= 1;
            switch (state->POV[0]) {
            case 0: mask |= 8; break;
            case 4500: mask |= 8 | 4; break;
            case 9000: mask |= 4; break;
            case 13500: mask |= 4 | 1; break;
            case 18000: mask |= 1; break;
            case 22500: mask |= 1 | 2; break;
            case 27000: mask |= 2; break;
            case 31500: mask |= 8 | 2; break;
            default: break;
            }
            for (int i = 0; i < 24; ++i)
                if (state->Buttons[i] & 0x80) mask |= 1 << (i + 4);
        }
    }
    if (withKeyboard) {
        Keyboard_RefreshGuarded(1);
        int row = index < 0 ? 0 : index;
        if (row < MaxPadCount) {
            for (int entry = 0; entry < KeyToPadEntries; ++entry)
                for (int c = 0; c < KeyToPadCodes; ++c) {
                    int code = InputSystem.KeyToPad[row][entry][c];
                    if (code > 0 && Input_IsKeyCodeDown(code)) {
                        mask |= static_cast<int>(1u << entry);
                        break;
                    }
                }
        }
    }
    return mask;
}

int GetPadCount()
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    return InputSystem.PadCount;
}

int IsXInputPad(int padNumber)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    int index = Input_PadIndex(padNumber);
    if (!Input_IsValidPadIndex(index)) return -1;
    int user = InputSystem.Pads[index].XInputUser;
    return user >= 0 && user <= 3 ? 1 : 0;
}

int GetPadDirectInputState(int padNumber, PadDirectInputState* out)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    int index = Input_PadIndex(padNumber);
    if (Input_IsValidPadIndex(index)) {
        Joypad_Refresh(index);
        if (Input_IsValidPadIndex(index)) {
            if (out != nullptr) memcpy(out, &InputSystem.Pads[index].DirectInputState, sizeof(*out));
            return 0;
        }
    }
    if (out != nullptr) {
        memset(out, 0, sizeof(*out));
        for (int i = 0; i < 4; ++i) out->POV[i] = -1;
    }
    return -1;
}

int GetPadXInputState(int padNumber, PadXInputState* out)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    int index = Input_PadIndex(padNumber);
    if (Input_IsValidPadIndex(index) && IsXInputPad(padNumber) == 1) {
        Joypad_Refresh(index);
        if (Input_IsValidPadIndex(index)) {
            if (out != nullptr) memcpy(out, &InputSystem.Pads[index].XInputState, sizeof(*out));
            return 0;
        }
    }
    if (out != nullptr) memset(out, 0, sizeof(*out));
    return -1;
}

int Input_GetPadNamesWide(int padNumber, wchar_t* instanceName, wchar_t* productName)
{
    int result = 0;
    if (!Input_Prologue(&result)) return result;
    int index = Input_PadIndex(padNumber);
    if (!Input_IsValidPadIndex(index)) return -1;
    const PadRecord* record = &InputSystem.Pads[index];
    if (!(record->XInputUser >= 0 && record->XInputUser <= 3) && record->Device == nullptr) return -1;
    const wchar_t* sources[2] = {record->InstanceName, record->ProductName};
    wchar_t* destinations[2] = {instanceName, productName};
    for (int n = 0; n < 2; ++n) {
        if (destinations[n] == nullptr) continue;
        int i = 0;
        for (; i < PadNameLength - 1 && sources[n][i] != 0; ++i) destinations[n][i] = sources[n][i];
        destinations[n][i] = 0;
    }
    return 0;
}

int GetPadNamesBounded(int padNumber, char* instanceName, int instanceBytes, char* productName, int productBytes)
{
    wchar_t instance[PadNameLength] = {};
    wchar_t product[PadNameLength] = {};
    // The lazy start-up path returns 0 without names: write nothing then either.
    int wasInitialized = InputSystem.Initialized;
    int result = Input_GetPadNamesWide(padNumber, instance, product);
    if (result != 0 || !wasInitialized) return result;
    CharCode_EnsureDefaults();
    if (instanceName != nullptr && instanceBytes > 0)
        CharCode_ConvertString(instance, -1, CharCode_GetWidePage(), instanceName, instanceBytes,
                               CharCode_GetNarrowPage());
    if (productName != nullptr && productBytes > 0)
        CharCode_ConvertString(product, -1, CharCode_GetWidePage(), productName, productBytes,
                               CharCode_GetNarrowPage());
    return 0;
}

// The caller's buffers are taken to hold a name of 260 units of its code page; a longer converted name
// is cut there (never written past it).
int GetPadNames(int padNumber, char* instanceName, char* productName)
{
    return GetPadNamesBounded(padNumber, instanceName, PadNameLength, productName, PadNameLength);
}

int SetPadDeadZone(int padNumber, double zone)
{
    if (zone < 0.0) zone = 0.0;
    if (zone > 1.0) zone = 1.0;
    int result = 0;
    if (!Input_Prologue(&result)) return 0;
    int index = Input_PadIndex(padNumber);
    if (!Input_IsValidPadIndex(index)) return 0;
    PadRecord* record = &InputSystem.Pads[index];
    record->DeadZoneDouble = zone;
    int32_t fixed = static_cast<int32_t>(zone * 65536.0);
    if (fixed != record->DeadZone) {
        record->DeadZone = fixed;
        Joypad_ApplyDeadZoneToDevice(record);
    }
    return 0;
}

int GetMousePosition(int* x, int* y)
{
    WinAPI_EnsureLoaded();
    POINT point = {0, 0};
    WinAPITable.GetCursorPos(&point);
    int drawX = point.x, drawY = point.y;
    Window_ScreenToDrawPosition(point.x, point.y, &drawX, &drawY);
    if (x != nullptr) *x = drawX;
    if (y != nullptr) *y = drawY;
    return 0;
}

int GetMouseWheelNotches(int reset)
{
    int32_t* accumulator = &Window.WheelV;
    if (Input_KeyMouse_UsesDirectInputMouse()) {
        GetMouseButtons();
        accumulator = &InputSystem.DirectInputWheel;
    }
    int notches = *accumulator / WheelDelta;
    if (reset) *accumulator -= notches * WheelDelta;
    return notches;
}

} // namespace Vantrel
