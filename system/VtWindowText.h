// Text-taking system calls of the window modules, through the UTF-16 entries of the system function
// table. Stands on foundation/VtWinAPI.
#pragma once

#include "foundation/VtWinAPI.h"

namespace Vantrel {

inline HWND WinAPI_CreateWindowEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                                  int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                  void* parameter) {
    return WinAPITable.CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu, instance,
                                       parameter);
}
inline LRESULT WinAPI_DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WinAPITable.DefWindowProcW(window, message, wParam, lParam);
}
inline LRESULT WinAPI_DispatchMessage(const MSG* message) { return WinAPITable.DispatchMessageW(message); }
inline UINT WinAPI_DragQueryFile(HDROP drop, UINT index, wchar_t* buffer, UINT units) {
    return WinAPITable.DragQueryFileW(drop, index, buffer, units);
}
inline HWND WinAPI_FindWindow(const wchar_t* className, const wchar_t* title) {
    return WinAPITable.FindWindowW(className, title);
}
inline HMODULE WinAPI_GetModuleHandle(const wchar_t* name) { return WinAPITable.GetModuleHandleW(name); }
inline BOOL WinAPI_GetVersionEx(OSVERSIONINFOW* info) { return WinAPITable.GetVersionExW(info); }
inline HCURSOR WinAPI_LoadCursor(HINSTANCE instance, const wchar_t* name) {
    return WinAPITable.LoadCursorW(instance, name);
}
inline HICON WinAPI_LoadIcon(HINSTANCE instance, const wchar_t* name) { return WinAPITable.LoadIconW(instance, name); }
inline BOOL WinAPI_PeekMessage(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    return WinAPITable.PeekMessageW(message, window, first, last, remove);
}
inline BOOL WinAPI_PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return WinAPITable.PostMessageW(window, message, wParam, lParam);
}
inline ATOM WinAPI_RegisterClassEx(const WNDCLASSEXW* windowClass) { return WinAPITable.RegisterClassExW(windowClass); }
inline ULONG_PTR WinAPI_SetClassLong(HWND window, int index, LONG_PTR value) {
#ifdef _WIN64
    return WinAPITable.SetClassLongPtrW(window, index, value);
#else
    return WinAPITable.SetClassLongW(window, index, static_cast<LONG>(value));
#endif
}
inline LONG WinAPI_SetWindowLong(HWND window, int index, LONG value) {
    return WinAPITable.SetWindowLongW(window, index, value);
}
inline BOOL WinAPI_SetWindowText(HWND window, const wchar_t* text) { return WinAPITable.SetWindowTextW(window, text); }
inline BOOL WinAPI_SystemParametersInfo(UINT action, UINT uiParam, void* pvParam, UINT winIni) {
    return WinAPITable.SystemParametersInfoW(action, uiParam, pvParam, winIni);
}
inline BOOL WinAPI_UnregisterClass(const wchar_t* className, HINSTANCE instance) {
    return WinAPITable.UnregisterClassW(className, instance);
}

}  // namespace Vantrel
