// Keyboard and mouse back end: the KeyStateTable, the mouse buttons and the DirectInput keyboard and mouse
// devices (read only before Vista; from Vista on the keyboard state of the window thread is used).
// Stands on the pad back end's InputSystemState, the system function table, the window state and the pump.
#pragma once
#include <cstdint>

namespace Vantrel {

int Keyboard_Refresh(int pump);
int Keyboard_RefreshGuarded(int pump);
// Device set-up and release, part of the platform start-up and shut-down of the pad back end.
int Input_KeyMouse_SetupMouseDevice();
int Input_KeyMouse_SetupKeyboardDevice();
int Input_KeyMouse_ReleaseDevices();
// 1 when the DirectInput keyboard / mouse is read (DirectInput mode, device present, before Vista).
int Input_KeyMouse_UsesDirectInputKeyboard();
int Input_KeyMouse_UsesDirectInputMouse();
// The mouse click, mouse input and touch logs of the window procedure: nothing reads them in this
// system, so they keep nothing and return at once.
int Input_LogMouseClick(int button, int x, int y);
int Input_LogMouseInput(int button, int pressed, int x, int y);
int Input_LogTouch(const void* touchRecord);

// The virtual-key to DirectInput key-code table, ended by a row whose virtual key is 0xFFFF.
struct VirtualKeyRow {
    uint16_t VirtualKey;
    uint16_t KeyCode;
};
extern const VirtualKeyRow VirtualKeyTable[];

} // namespace Vantrel
