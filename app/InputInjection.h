// Input injection shared by all converters: the PressedKeyTable, the key and mouse-button senders,
// the relative mouse move, ReleaseAllHeld, and what key capture must not take for the user's key.
// Stands on SendInput and mouse_event, reached through a sink that tests may replace to record what
// would be sent.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Qelvar {

// How many converter inputs hold this DirectInput key code. The key goes down when the first
// holder presses it and up when the last holder lets go, so a key that two sources hold (the stick
// and a button mapped to the same key) stays down until both released it.
extern uint8_t PressedKeyTable[256];
// 1 = the tool has sent a button-down for this MouseButtonCode (1 left, 2 middle, 3 right) and not
// yet its button-up.
extern uint8_t PressedMouseTable[4];

// Where injected events go: SendInput and mouse_event by default.
struct InputSink {
    UINT(WINAPI* SendInput)(UINT count, LPINPUT inputs, int size);
    void(WINAPI* MouseEvent)(DWORD flags, DWORD dx, DWORD dy, DWORD data, ULONG_PTR extraInfo);
};
extern InputSink InputInjection_Sink;
void InputInjection_UseSystemSink();

// Keyboard flags of a key code: KEYEVENTF_SCANCODE, plus KEYEVENTF_EXTENDEDKEY for the navigation keys.
DWORD InputInjection_KeyFlags(int code);

// A holder presses or lets go of a key; only the first press and the last release are sent.
void SendKeyDown(int code);
void SendKeyUp(int code);
// code: MouseButtonCode; any other code sends nothing.
void SendMouseButton(int code, bool down);
// One relative mouse move (MOUSEEVENTF_MOVE).
void SendMouseMove(int dx, int dy);

// Presses a converter input (type 0 keyboard key, 1 mouse button) and returns what went down:
// 0 nothing, 0x100 + key code, 0x200 + MouseButtonCode; the release takes that value.
int32_t InputInjection_PressInput(uint8_t type, int32_t key, int32_t mouse);
void InputInjection_ReleaseInput(int32_t pressed);

// Releases every key and mouse button that a converter holds and clears the converters' held
// state, so nothing stays down when conversion stops, the pad goes away or the program ends.
void ReleaseAllHeld();

// A key the system may show down because the tool injected it: held by a converter, or let go
// by the tool so recently that the key-up may not have reached the keyboard state yet.
bool InputInjection_IsInjectedKey(int code);
// Forgets every key held or released (the start-up's clearing of the PressedKeyTable).
void InputInjection_Clear();

}  // namespace Qelvar
