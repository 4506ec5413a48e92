// Least forms of the key-input, IME, network and input-upkeep entry points the window modules call:
// no text field, no composition, no sockets, no devices to refresh. Stands on nothing.
#include "system/VtSystemNeighbours.h"

namespace Vantrel {

int KeyInput_InitializeCharBuffer() { return 0; }
int KeyInput_TerminateCharBuffer() { return 0; }
int KeyInput_ProcessFrame() { return 0; }
int KeyInput_DeleteAll() { return 0; }
int KeyInput_StockChar(wchar_t character) { return 0; }
int KeyInput_IsCharBufferFull() { return 0; }

LRESULT Ime_HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}
int Ime_IsCompositionActive() { return 0; }
int Ime_IsConversionOpen() { return 0; }
int Ime_RequestReopenIfOpen() { return 0; }

int Network_Terminate() { return 0; }
int Network_ProcessMessages(int mode) { return 0; }
int Network_OnSocketMessage(HWND window, UINT message, WPARAM socket, LPARAM event) { return 0; }

int Joypad_Setup() { return 0; }
int Keyboard_RefreshGuarded(int force) { return 0; }
int Joypad_UpdateVibrationTimers() { return 0; }
int Joypad_RefreshVibrationIfReady(int force) { return 0; }
int Input_ReacquireDevices() { return 0; }
int Mouse_LogClick(int button, int x, int y) { return 0; }
int Mouse_LogInput(int button, int pressed, int x, int y) { return 0; }
int Touch_LogRecord(int64_t timeMicroseconds, const TouchPoint* points, int count) { return 0; }

}  // namespace Vantrel
