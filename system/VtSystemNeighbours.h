// Entry points of the key-input and IME modules that the window procedure, the pump, start-up and
// shut-down call, declared once for the window modules; VtKeyInput and VtIme define them.
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
// 1 while the main window has its input context (a field that takes double-byte text was active);
// kept across a restart of the library.
int Ime_IsAttached();

}  // namespace Vantrel
