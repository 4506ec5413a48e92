// Entry points of the key-input and IME modules that the window procedure, the
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

// Mouse and touch logs of the input module (least forms until it keeps them).
int Input_LogMouseClick(int button, int x, int y);
int Input_LogMouseInput(int button, int pressed, int x, int y);
int Input_LogTouch(const void* record);

}  // namespace Vantrel
