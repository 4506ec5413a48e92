// Least forms of the key-input, IME entry points the window modules call:
// no text field, no composition. Stands on nothing.
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

}  // namespace Vantrel
