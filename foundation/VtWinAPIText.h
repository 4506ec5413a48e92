// Wrappers of the system's text functions: each takes and returns UTF-16 like the W function it is
// named after, calls it when the wide functions work (WinAPITable.WideUsable), and otherwise
// converts its text to the narrow code page and calls the A function. Stands on the system function
// table, the code pages, the code-page string functions and the memory layer.
#pragma once

#include "foundation/VtWinAPI.h"

namespace Vantrel {

// Selectors: the W or the A form with the arguments unchanged.
LRESULT WinAPI_DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WinAPI_DispatchMessage(const MSG* message);
LONG WinAPI_GetWindowLong(HWND window, int index);
BOOL WinAPI_IsDialogMessage(HWND dialog, LPMSG message);
HCURSOR WinAPI_LoadCursor(HINSTANCE instance, LPCWSTR name);
HICON WinAPI_LoadIcon(HINSTANCE instance, LPCWSTR name);
BOOL WinAPI_PeekMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL WinAPI_PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WinAPI_SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WinAPI_SetClassLong(HWND window, int index, LONG value);
LONG WinAPI_SetWindowLong(HWND window, int index, LONG value);
BOOL WinAPI_SystemParametersInfo(UINT action, UINT uiParam, PVOID pvParam, UINT winIni);
int WinAPI_TranslateAccelerator(HWND window, HACCEL table, LPMSG message);

// Wide only: -1 / 0 without calling anything when the wide functions do not work.
int WinAPI_EnumFontFamiliesEx(HDC dc, LPLOGFONTW font, FONTENUMPROCW procedure, LPARAM lParam, DWORD flags);
DWORD WinAPI_GetCharacterPlacement(HDC dc, LPCWSTR string, int count, int maxExtent, LPGCP_RESULTSW results,
                                   DWORD flags);

// Text in.
HDC WinAPI_CreateDC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* mode);
HANDLE WinAPI_CreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                         DWORD flags, HANDLE templateFile);
HFONT WinAPI_CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                        DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                        DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName);
HWND WinAPI_CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                           int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter);
BOOL WinAPI_DeleteFile(LPCWSTR path);
HWND WinAPI_FindWindow(LPCWSTR className, LPCWSTR windowName);
HMODULE WinAPI_GetModuleHandle(LPCWSTR moduleName);
int WinAPI_MessageBox(HWND window, LPCWSTR text, LPCWSTR caption, UINT type);
void WinAPI_OutputDebugString(LPCWSTR text);
LONG WinAPI_RegOpenKey(HKEY key, LPCWSTR subKey, PHKEY result);
LONG WinAPI_RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG WinAPI_RegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
ATOM WinAPI_RegisterClassEx(const WNDCLASSEXW* windowClass);
BOOL WinAPI_SetCurrentDirectory(LPCWSTR path);
BOOL WinAPI_SetWindowText(HWND window, LPCWSTR text);
BOOL WinAPI_TextOut(HDC dc, int x, int y, LPCWSTR string, int count);
BOOL WinAPI_GetTextExtentPoint32(HDC dc, LPCWSTR string, int count, LPSIZE size);
BOOL WinAPI_UnregisterClass(LPCWSTR className, HINSTANCE instance);
BOOL WinAPI_VerifyVersionInfo(LPOSVERSIONINFOEXW versionInfo, DWORD typeMask, DWORDLONG conditionMask);
DWORD WinAPI_GetGlyphOutline(HDC dc, UINT character, UINT format, LPGLYPHMETRICS metrics, DWORD bufferSize,
                             LPVOID buffer, const MAT2* matrix);

// The same with the narrow text converted into the caller's buffer (null: as the wrappers above).
// They never take memory, so the log can call them while it holds its lock; a text whose narrow form
// does not fit fails as a failed conversion does (invalid handle, 0, nothing sent).
HANDLE WinAPI_CreateFileInBuffer(char* work, int32_t workBytes, LPCWSTR path, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WinAPI_DeleteFileInBuffer(char* work, int32_t workBytes, LPCWSTR path);
void WinAPI_OutputDebugStringInBuffer(char* work, int32_t workBytes, LPCWSTR text);

// Text out.
UINT WinAPI_GetTempFileName(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);
LONG WinAPI_RegEnumKey(HKEY key, DWORD index, LPWSTR name, DWORD nameUnits);
UINT WinAPI_DragQueryFile(HDROP drop, UINT index, LPWSTR file, UINT count);
BOOL WinAPI_EnumDisplayDevices(LPCWSTR device, DWORD deviceIndex, PDISPLAY_DEVICEW displayDevice, DWORD flags);
BOOL WinAPI_EnumDisplaySettings(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode);
HANDLE WinAPI_FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW findData);
BOOL WinAPI_FindNextFile(HANDLE find, LPWIN32_FIND_DATAW findData);
DWORD WinAPI_GetCurrentDirectory(DWORD bufferUnits, LPWSTR buffer);
DWORD WinAPI_GetTempPath(DWORD bufferUnits, LPWSTR buffer);
BOOL WinAPI_GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOW info);
BOOL WinAPI_GetMonitorInfo(HMONITOR monitor, LPMONITORINFO info);
BOOL WinAPI_GetTextMetrics(HDC dc, LPTEXTMETRICW metrics);
BOOL WinAPI_GetVersionEx(LPOSVERSIONINFOW versionInfo);

// String functions with the library's own fallbacks.
DWORD WinAPI_CharLowerBuff(LPWSTR string, DWORD length);
int WinAPI_lstrcmp(LPCWSTR a, LPCWSTR b);
LPWSTR WinAPI_lstrcpy(LPWSTR destination, LPCWSTR source);
LPWSTR WinAPI_lstrcpyn(LPWSTR destination, LPCWSTR source, int count);
int WinAPI_lstrlen(LPCWSTR string);

struct MainThreadRequest;
// The request procedure that runs CoCreateInstance on the main thread for a loader thread.
int WinAPI_CoCreateInstance_MainThreadProc(MainThreadRequest* request);
// CoCreateInstance, on the main thread when called from a loader thread (offMainThread non-zero).
HRESULT WinAPI_CoCreateInstanceOnMainThread(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                            LPVOID* object, int offMainThread);

}  // namespace Vantrel
