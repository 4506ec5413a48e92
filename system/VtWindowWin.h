// Internal helpers shared by the window modules (VtWindow, VtWindowWin, VtWindowSettings) and the pump.
// Stands on the window state record.
#pragma once

#include <windows.h>

namespace Vantrel {

// Gives back the screen-saver setting found at start-up and lowers the timer resolution raised by the
// start-up (window end, and a start that failed after switching them).
void Window_RestoreProcessSettings();
// Frees the stored names of dropped files.
void Window_FreeDroppedFiles();
// Reads the client area of the main window in screen coordinates; 0, or -1 when it cannot be read.
int Window_ReadClientScreenRect(RECT* rect);

}  // namespace Vantrel
