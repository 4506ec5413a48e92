// Window settings made by the program (mostly before start-up), the window style table, the
// client-area scale rate and Window_ApplyStyle. Stands on the window state (VtWindow) and the log.
#pragma once

#include <cstdint>

namespace Vantrel {

constexpr int WindowStyleModeCount = 12;

struct WindowStyleEntry {
    uint32_t WindowedStyle;
    uint32_t WindowedExStyle;
    uint32_t FullScreenStyle;
    uint32_t FullScreenExStyle;
    int32_t ShowCommand;
};

extern const WindowStyleEntry WindowStyleTable[WindowStyleModeCount];

int ChangeWindowMode(int flag);
int SetRunWhileInactive(int flag);
int SetAllowMultipleInstances(int flag);
int SetWindowCloseEnabled(int flag);
int SetMainWindowTitle(const char* text);
int SetWindowIconResource(int id);
int Window_SetWindowModeFlag(int flag);
int Window_SetStyleMode(int mode);
double Window_GetScaleRate(double* outX, double* outY);
int Window_SetScaleRate(double x, double y);
int Window_ApplyStyle(int centre);
int Window_SetDwmComposition(int enable);
int Window_RefreshDragAcceptFiles();
int Window_ToolBar_GetHeight();

}  // namespace Vantrel
