// Entry points of the key-input, IME, network and input-upkeep modules that the window procedure, the
// pump, start-up and shut-down call. Their least forms live in VtSystemNeighbours.cpp until those
// modules exist; each function there is removed when its module provides it.
#pragma once

#include <cstdint>
#include <windows.h>

namespace Vantrel {

// Key-input text fields.
int KeyInput_InitializeCharBuffer();
int KeyInput_TerminateCharBuffer();
int KeyInput_ProcessFrame();
int KeyInput_DeleteAll();
int KeyInput_StockChar(wchar_t character);
int KeyInput_IsCharBufferFull();

// IME composition.
LRESULT Ime_HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int Ime_IsCompositionActive();
int Ime_IsConversionOpen();
int Ime_RequestReopenIfOpen();

// Network messages.
int Network_Terminate();
int Network_ProcessMessages(int mode);
int Network_OnSocketMessage(HWND window, UINT message, WPARAM socket, LPARAM event);

// Input upkeep from the pad, keyboard and mouse back ends.
int Joypad_Setup();
int Keyboard_RefreshGuarded(int force);
int Joypad_UpdateVibrationTimers();
int Joypad_RefreshVibrationIfReady(int force);
int Input_ReacquireDevices();
int Mouse_LogClick(int button, int x, int y);
int Mouse_LogInput(int button, int pressed, int x, int y);

struct TouchPoint {
    int Device;
    int Id;
    int X;
    int Y;
};
int Touch_LogRecord(int64_t timeMicroseconds, const TouchPoint* points, int count);

}  // namespace Vantrel
