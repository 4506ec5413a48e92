// Input injection: key events by scan code through SendInput, mouse buttons and moves through
// mouse_event, the tables of what the tool holds down, and the one release of everything held.
// Stands on the key names (virtual keys) and the converters' state records.
#include "app/InputInjection.h"

#include <cstring>

#include "app/ButtonConverter.h"
#include "app/KeyNames.h"
#include "app/PovConverter.h"
#include "app/StickConverters.h"

namespace Qelvar {

uint8_t PressedKeyTable[256];
uint8_t PressedMouseTable[4];

namespace {

constexpr int32_t PressedKeyInput = 0x100;
constexpr int32_t PressedMouseInput = 0x200;
// How long after the tool let go of a key the keyboard state may still show it down.
constexpr int32_t KeyUpSettleMilliseconds = 250;

// Keys whose key-up the tool sent, and when (the button converter's millisecond clock).
uint8_t KeyReleasedRecently[256];
int32_t KeyReleaseTime[256];

UINT WINAPI SystemSendInput(UINT count, LPINPUT inputs, int size)
{
    return ::SendInput(count, inputs, size);
}

void WINAPI SystemMouseEvent(DWORD flags, DWORD dx, DWORD dy, DWORD data, ULONG_PTR extraInfo)
{
    ::mouse_event(flags, dx, dy, data, extraInfo);
}

void SendKeyEvent(int code, DWORD extraFlags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(ScanCodeToVirtualKey(code));
    input.ki.wScan = static_cast<WORD>(code);
    input.ki.dwFlags = InputInjection_KeyFlags(code) | extraFlags;
    input.ki.time = 0;
    input.ki.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    InputInjection_Sink.SendInput(1, &input, static_cast<int>(sizeof(INPUT)));
}

}  // namespace

InputSink InputInjection_Sink = {SystemSendInput, SystemMouseEvent};

void InputInjection_UseSystemSink()
{
    InputInjection_Sink = {SystemSendInput, SystemMouseEvent};
}

DWORD InputInjection_KeyFlags(int code)
{
    switch (code) {
    case 0xC7: case 0xC8: case 0xC9: case 0xCB: case 0xCD:
    case 0xCF: case 0xD0: case 0xD1: case 0xD2: case 0xD3:
        return KEYEVENTF_SCANCODE | KEYEVENTF_EXTENDEDKEY;
    default:
        return KEYEVENTF_SCANCODE;
    }
}

void SendKeyDown(int code)
{
    if (code < 0 || code > 255 || PressedKeyTable[code] == UINT8_MAX) {
        return;
    }
    if (PressedKeyTable[code]++ == 0) {
        SendKeyEvent(code, 0);
    }
}

void SendKeyUp(int code)
{
    if (code < 0 || code > 255 || PressedKeyTable[code] == 0) {
        return;
    }
    if (--PressedKeyTable[code] == 0) {
        SendKeyEvent(code, KEYEVENTF_KEYUP);
        KeyReleasedRecently[code] = 1;
        KeyReleaseTime[code] = ButtonConverter_Clock();
    }
}

void SendMouseButton(int code, bool down)
{
    static const DWORD downFlags[4] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_RIGHTDOWN};
    static const DWORD upFlags[4] = {0, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_MIDDLEUP, MOUSEEVENTF_RIGHTUP};
    if (code < 1 || code > 3) {
        return;
    }
    PressedMouseTable[code] = down ? 1 : 0;
    InputInjection_Sink.MouseEvent(down ? downFlags[code] : upFlags[code], 0, 0, 0, 0);
}

void SendMouseMove(int dx, int dy)
{
    InputInjection_Sink.MouseEvent(MOUSEEVENTF_MOVE, static_cast<DWORD>(dx), static_cast<DWORD>(dy), 0, 0);
}

int32_t InputInjection_PressInput(uint8_t type, int32_t key, int32_t mouse)
{
    if (type == 0) {
        if (key < 0 || key > 255) {
            return 0;
        }
        SendKeyDown(key);
        return PressedKeyInput + key;
    }
    if (mouse < 1 || mouse > 3) {
        return 0;
    }
    SendMouseButton(mouse, true);
    return PressedMouseInput + mouse;
}

void InputInjection_ReleaseInput(int32_t pressed)
{
    if (pressed >= PressedMouseInput) {
        SendMouseButton(pressed - PressedMouseInput, false);
    } else if (pressed >= PressedKeyInput) {
        SendKeyUp(pressed - PressedKeyInput);
    }
}

void ReleaseAllHeld()
{
    for (int code = 0; code < 256; ++code) {
        if (PressedKeyTable[code] != 0) {
            PressedKeyTable[code] = 1;
            SendKeyUp(code);
        }
    }
    for (int code = 1; code <= 3; ++code) {
        if (PressedMouseTable[code]) {
            SendMouseButton(code, false);
        }
    }
    LeftStick_ClearHeld();
    ButtonConverter_ClearHeld();
    PovConverter_ClearHeld();
}

bool InputInjection_IsInjectedKey(int code)
{
    if (code < 0 || code > 255) {
        return false;
    }
    if (PressedKeyTable[code] != 0) {
        return true;
    }
    if (KeyReleasedRecently[code] == 0) {
        return false;
    }
    if (ElapsedMilliseconds(KeyReleaseTime[code], ButtonConverter_Clock()) < KeyUpSettleMilliseconds) {
        return true;
    }
    KeyReleasedRecently[code] = 0;
    return false;
}

void InputInjection_Clear()
{
    memset(PressedKeyTable, 0, sizeof(PressedKeyTable));
    memset(KeyReleasedRecently, 0, sizeof(KeyReleasedRecently));
}

}  // namespace Qelvar
