// Wrappers of the system's text functions: the W function when the wide functions work, else the A
// function with every text converted between UTF-16 and the narrow code page.
// Stands on the system function table, the code pages and string functions, and the memory layer.
#include "foundation/VtWinAPIText.h"

#include <stddef.h>
#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"

namespace Vantrel {

#define WIDE (WinAPITable.WideUsable != 0)

// ---------------------------------------------------------------------------------------------
// Conversion of one text argument to the narrow page: a 512-byte local buffer when the converted
// text fits, else a block that is freed before the wrapper returns; or, for callers that must not
// take memory, only the buffer they hand in.

namespace {

struct NarrowText {
    char Local[512];
    char* Text = nullptr;
    bool Allocated = false;
    char* Work = nullptr;
    int32_t WorkBytes = 0;

    NarrowText() = default;
    NarrowText(char* work, int32_t workBytes) : Work(work), WorkBytes(workBytes) {}

    // 0, or -1 when no buffer could be had (or the text does not fit the caller's buffer).
    int Set(const wchar_t* text)
    {
        if (text == nullptr) return 0;
        const CodePageId widePage = CharCode_GetWidePage();
        const int32_t length = CharCode_StringLength(widePage, text);
        if (Work != nullptr) {
            const int32_t needed =
                CharCode_ConvertString(text, length, widePage, nullptr, 0x7FFFFFFF, CharCode_GetNarrowPage());
            if (needed <= 0 || needed > WorkBytes) return -1;
            Text = Work;
            CharCode_ConvertString(text, length, widePage, Text, WorkBytes, CharCode_GetNarrowPage());
            return 0;
        }
        const int32_t size = length * 6 + 16;
        Text = Local;
        if (size > (int32_t)sizeof(Local)) {
            Text = (char*)Memory_Allocate((uint32_t)size, "VtWinAPI", __LINE__);
            if (Text == nullptr) return -1;
            Allocated = true;
        }
        CharCode_ConvertString(text, length, widePage, Text, size, CharCode_GetNarrowPage());
        return 0;
    }

    // Converts exactly count units (the counted string functions).
    int SetCounted(const wchar_t* text, int count, int* narrowLength)
    {
        *narrowLength = 0;
        if (text == nullptr || count <= 0) {
            Text = Local;
            Local[0] = 0;
            return 0;
        }
        const CodePageId widePage = CharCode_GetWidePage();
        const int32_t size = count * 6 + 16;
        Text = Local;
        if (size > (int32_t)sizeof(Local)) {
            Text = (char*)Memory_Allocate((uint32_t)size, "VtWinAPI", __LINE__);
            if (Text == nullptr) return -1;
            Allocated = true;
        }
        const int32_t written = CharCode_ConvertString(text, count, widePage, Text, size, CharCode_GetNarrowPage());
        *narrowLength = written > 0 ? written - 1 : 0;
        return 0;
    }

    ~NarrowText()
    {
        if (Allocated) Memory_Free(Text);
    }
};

// Converts narrow text (up to its terminator) into UTF-16 storage of the given byte size.
void WinAPIText_ToWide(const char* narrow, void* destination, int32_t destinationBytes)
{
    if (destination == nullptr || destinationBytes < 2) return;
    if (CharCode_ConvertString(narrow, -1, CharCode_GetNarrowPage(), destination, destinationBytes,
                               CharCode_GetWidePage()) <= 0)
        ((wchar_t*)destination)[0] = 0;
}

void WinAPIText_NameToNarrow(const wchar_t* wide, char* narrow, int32_t narrowBytes)
{
    narrow[0] = 0;
    CharCode_ConvertString(wide, -1, CharCode_GetWidePage(), narrow, narrowBytes, CharCode_GetNarrowPage());
}

// DEVMODE: names converted, everything between and after them copied as it stands.
void WinAPIText_DevModeToNarrow(const DEVMODEW* wide, DEVMODEA* narrow)
{
    memset(narrow, 0, sizeof(*narrow));
    WinAPIText_NameToNarrow(wide->dmDeviceName, (char*)narrow->dmDeviceName, sizeof(narrow->dmDeviceName));
    memcpy(&narrow->dmSpecVersion, &wide->dmSpecVersion, offsetof(DEVMODEW, dmFormName) - offsetof(DEVMODEW, dmSpecVersion));
    WinAPIText_NameToNarrow(wide->dmFormName, (char*)narrow->dmFormName, sizeof(narrow->dmFormName));
    memcpy(&narrow->dmLogPixels, &wide->dmLogPixels, sizeof(DEVMODEW) - offsetof(DEVMODEW, dmLogPixels));
    narrow->dmSize = sizeof(DEVMODEA);
}

void WinAPIText_DevModeToWide(const DEVMODEA* narrow, DEVMODEW* wide)
{
    const WORD size = wide->dmSize;
    const WORD driverExtra = wide->dmDriverExtra;
    memcpy(&wide->dmSpecVersion, &narrow->dmSpecVersion, offsetof(DEVMODEA, dmFormName) - offsetof(DEVMODEA, dmSpecVersion));
    memcpy(&wide->dmLogPixels, &narrow->dmLogPixels, sizeof(DEVMODEA) - offsetof(DEVMODEA, dmLogPixels));
    wide->dmSize = size;
    wide->dmDriverExtra = driverExtra;
    WinAPIText_ToWide((const char*)narrow->dmDeviceName, wide->dmDeviceName, 64);
    WinAPIText_ToWide((const char*)narrow->dmFormName, wide->dmFormName, 64);
}

void WinAPIText_FindDataToWide(const WIN32_FIND_DATAA* narrow, WIN32_FIND_DATAW* wide)
{
    wide->dwFileAttributes = narrow->dwFileAttributes;
    wide->ftCreationTime = narrow->ftCreationTime;
    wide->ftLastAccessTime = narrow->ftLastAccessTime;
    wide->ftLastWriteTime = narrow->ftLastWriteTime;
    wide->nFileSizeHigh = narrow->nFileSizeHigh;
    wide->nFileSizeLow = narrow->nFileSizeLow;
    wide->dwReserved0 = narrow->dwReserved0;
    wide->dwReserved1 = narrow->dwReserved1;
    WinAPIText_ToWide(narrow->cFileName, wide->cFileName, 520);
    WinAPIText_ToWide(narrow->cAlternateFileName, wide->cAlternateFileName, 28);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Selectors

LRESULT WinAPI_DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WIDE ? WinAPITable.DefWindowProcW(window, message, wParam, lParam)
                : WinAPITable.DefWindowProcA(window, message, wParam, lParam);
}

LRESULT WinAPI_DispatchMessage(const MSG* message)
{
    return WIDE ? WinAPITable.DispatchMessageW(message) : WinAPITable.DispatchMessageA(message);
}

LONG WinAPI_GetWindowLong(HWND window, int index)
{
    return WIDE ? WinAPITable.GetWindowLongW(window, index) : WinAPITable.GetWindowLongA(window, index);
}

BOOL WinAPI_IsDialogMessage(HWND dialog, LPMSG message)
{
    return WIDE ? WinAPITable.IsDialogMessageW(dialog, message) : WinAPITable.IsDialogMessageA(dialog, message);
}

HCURSOR WinAPI_LoadCursor(HINSTANCE instance, LPCWSTR name)
{
    return WIDE ? WinAPITable.LoadCursorW(instance, name) : WinAPITable.LoadCursorA(instance, (LPCSTR)name);
}

HICON WinAPI_LoadIcon(HINSTANCE instance, LPCWSTR name)
{
    return WIDE ? WinAPITable.LoadIconW(instance, name) : WinAPITable.LoadIconA(instance, (LPCSTR)name);
}

BOOL WinAPI_PeekMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    return WIDE ? WinAPITable.PeekMessageW(message, window, filterMin, filterMax, remove)
                : WinAPITable.PeekMessageA(message, window, filterMin, filterMax, remove);
}

BOOL WinAPI_PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WIDE ? WinAPITable.PostMessageW(window, message, wParam, lParam)
                : WinAPITable.PostMessageA(window, message, wParam, lParam);
}

LRESULT WinAPI_SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return WIDE ? WinAPITable.SendMessageW(window, message, wParam, lParam)
                : WinAPITable.SendMessageA(window, message, wParam, lParam);
}

DWORD WinAPI_SetClassLong(HWND window, int index, LONG value)
{
    return WIDE ? WinAPITable.SetClassLongW(window, index, value) : WinAPITable.SetClassLongA(window, index, value);
}

LONG WinAPI_SetWindowLong(HWND window, int index, LONG value)
{
    return WIDE ? WinAPITable.SetWindowLongW(window, index, value) : WinAPITable.SetWindowLongA(window, index, value);
}

BOOL WinAPI_SystemParametersInfo(UINT action, UINT uiParam, PVOID pvParam, UINT winIni)
{
    return WIDE ? WinAPITable.SystemParametersInfoW(action, uiParam, pvParam, winIni)
                : WinAPITable.SystemParametersInfoA(action, uiParam, pvParam, winIni);
}

int WinAPI_TranslateAccelerator(HWND window, HACCEL table, LPMSG message)
{
    return WIDE ? WinAPITable.TranslateAcceleratorW(window, table, message)
                : WinAPITable.TranslateAcceleratorA(window, table, message);
}

// ---------------------------------------------------------------------------------------------
// Wide only

int WinAPI_EnumFontFamiliesEx(HDC dc, LPLOGFONTW font, FONTENUMPROCW procedure, LPARAM lParam, DWORD flags)
{
    if (!WIDE) return -1;
    return WinAPITable.EnumFontFamiliesExW(dc, font, procedure, lParam, flags);
}

DWORD WinAPI_GetCharacterPlacement(HDC dc, LPCWSTR string, int count, int maxExtent, LPGCP_RESULTSW results, DWORD flags)
{
    if (!WIDE) return 0;
    return WinAPITable.GetCharacterPlacementW(dc, string, count, maxExtent, results, flags);
}

// ---------------------------------------------------------------------------------------------
// Text in

HDC WinAPI_CreateDC(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* mode)
{
    if (WIDE) return WinAPITable.CreateDCW(driver, device, output, mode);
    NarrowText narrowDriver, narrowDevice, narrowOutput;
    if (narrowDriver.Set(driver) < 0 || narrowDevice.Set(device) < 0 || narrowOutput.Set(output) < 0) return nullptr;
    DEVMODEA narrowMode;
    if (mode != nullptr) WinAPIText_DevModeToNarrow(mode, &narrowMode);
    return WinAPITable.CreateDCA(narrowDriver.Text, narrowDevice.Text, narrowOutput.Text,
                                 mode != nullptr ? &narrowMode : nullptr);
}

HANDLE WinAPI_CreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                         DWORD flags, HANDLE templateFile)
{
    return WinAPI_CreateFileInBuffer(nullptr, 0, path, access, share, security, disposition, flags, templateFile);
}

HANDLE WinAPI_CreateFileInBuffer(char* work, int32_t workBytes, LPCWSTR path, DWORD access, DWORD share,
                                 LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (WIDE) return WinAPITable.CreateFileW(path, access, share, security, disposition, flags, templateFile);
    NarrowText narrowPath(work, workBytes);
    // Callers test for the invalid-handle value: a failed conversion must report it too.
    if (narrowPath.Set(path) < 0) return INVALID_HANDLE_VALUE;
    return WinAPITable.CreateFileA(narrowPath.Text, access, share, security, disposition, flags, templateFile);
}

HFONT WinAPI_CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                        DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                        DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName)
{
    if (WIDE)
        return WinAPITable.CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                                       charSet, outPrecision, clipPrecision, quality, pitchAndFamily, faceName);
    NarrowText narrowFace;
    if (narrowFace.Set(faceName) < 0) return nullptr;
    return WinAPITable.CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                                   outPrecision, clipPrecision, quality, pitchAndFamily, narrowFace.Text);
}

// A class or window name may be an atom (below 0x10000) rather than a text.
static inline bool WinAPIText_IsAtom(LPCWSTR name) { return ((uintptr_t)name >> 16) == 0; }

HWND WinAPI_CreateWindowEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                           int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID parameter)
{
    if (WIDE)
        return WinAPITable.CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                                           instance, parameter);
    NarrowText narrowClass, narrowWindow;
    if ((!WinAPIText_IsAtom(className) && narrowClass.Set(className) < 0) || narrowWindow.Set(windowName) < 0)
        return nullptr;
    return WinAPITable.CreateWindowExA(exStyle, WinAPIText_IsAtom(className) ? (LPCSTR)className : narrowClass.Text,
                                       narrowWindow.Text, style, x, y, width, height, parent, menu, instance, parameter);
}

BOOL WinAPI_DeleteFile(LPCWSTR path) { return WinAPI_DeleteFileInBuffer(nullptr, 0, path); }

BOOL WinAPI_DeleteFileInBuffer(char* work, int32_t workBytes, LPCWSTR path)
{
    if (WIDE) return WinAPITable.DeleteFileW(path);
    NarrowText narrowPath(work, workBytes);
    if (narrowPath.Set(path) < 0) return 0;
    return WinAPITable.DeleteFileA(narrowPath.Text);
}

HWND WinAPI_FindWindow(LPCWSTR className, LPCWSTR windowName)
{
    if (WIDE) return WinAPITable.FindWindowW(className, windowName);
    NarrowText narrowClass, narrowWindow;
    if ((!WinAPIText_IsAtom(className) && narrowClass.Set(className) < 0) || narrowWindow.Set(windowName) < 0)
        return nullptr;
    return WinAPITable.FindWindowA(WinAPIText_IsAtom(className) ? (LPCSTR)className : narrowClass.Text,
                                   narrowWindow.Text);
}

HMODULE WinAPI_GetModuleHandle(LPCWSTR moduleName)
{
    if (WIDE) return WinAPITable.GetModuleHandleW(moduleName);
    NarrowText narrowName;
    if (narrowName.Set(moduleName) < 0) return nullptr;
    return WinAPITable.GetModuleHandleA(narrowName.Text);
}

int WinAPI_MessageBox(HWND window, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (WIDE) return WinAPITable.MessageBoxW(window, text, caption, type);
    NarrowText narrowText, narrowCaption;
    if (narrowText.Set(text) < 0 || narrowCaption.Set(caption) < 0) return 0;
    return WinAPITable.MessageBoxA(window, narrowText.Text, narrowCaption.Text, type);
}

void WinAPI_OutputDebugString(LPCWSTR text) { WinAPI_OutputDebugStringInBuffer(nullptr, 0, text); }

void WinAPI_OutputDebugStringInBuffer(char* work, int32_t workBytes, LPCWSTR text)
{
    if (WIDE) {
        WinAPITable.OutputDebugStringW(text);
        return;
    }
    NarrowText narrowText(work, workBytes);
    if (narrowText.Set(text) < 0) return;
    WinAPITable.OutputDebugStringA(narrowText.Text);
}

LONG WinAPI_RegOpenKey(HKEY key, LPCWSTR subKey, PHKEY result)
{
    if (WIDE) return WinAPITable.RegOpenKeyW(key, subKey, result);
    NarrowText narrowKey;
    if (narrowKey.Set(subKey) < 0) return -1;
    return WinAPITable.RegOpenKeyA(key, narrowKey.Text, result);
}

LONG WinAPI_RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    if (WIDE) return WinAPITable.RegOpenKeyExW(key, subKey, options, access, result);
    NarrowText narrowKey;
    if (narrowKey.Set(subKey) < 0) return -1;
    return WinAPITable.RegOpenKeyExA(key, narrowKey.Text, options, access, result);
}

LONG WinAPI_RegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (WIDE) return WinAPITable.RegQueryValueExW(key, valueName, reserved, type, data, size);
    NarrowText narrowName;
    if (narrowName.Set(valueName) < 0) return -1;
    return WinAPITable.RegQueryValueExA(key, narrowName.Text, reserved, type, data, size);
}

ATOM WinAPI_RegisterClassEx(const WNDCLASSEXW* windowClass)
{
    if (WIDE) return WinAPITable.RegisterClassExW(windowClass);
    NarrowText narrowMenu, narrowClass;
    if ((!WinAPIText_IsAtom(windowClass->lpszMenuName) && narrowMenu.Set(windowClass->lpszMenuName) < 0) ||
        (!WinAPIText_IsAtom(windowClass->lpszClassName) && narrowClass.Set(windowClass->lpszClassName) < 0))
        return 0;
    WNDCLASSEXA narrow;
    narrow.cbSize = sizeof(narrow);
    narrow.style = windowClass->style;
    narrow.lpfnWndProc = windowClass->lpfnWndProc;
    narrow.cbClsExtra = windowClass->cbClsExtra;
    narrow.cbWndExtra = windowClass->cbWndExtra;
    narrow.hInstance = windowClass->hInstance;
    narrow.hIcon = windowClass->hIcon;
    narrow.hCursor = windowClass->hCursor;
    narrow.hbrBackground = windowClass->hbrBackground;
    narrow.lpszMenuName = WinAPIText_IsAtom(windowClass->lpszMenuName) ? (LPCSTR)windowClass->lpszMenuName : narrowMenu.Text;
    narrow.lpszClassName =
        WinAPIText_IsAtom(windowClass->lpszClassName) ? (LPCSTR)windowClass->lpszClassName : narrowClass.Text;
    narrow.hIconSm = windowClass->hIconSm;
    return WinAPITable.RegisterClassExA(&narrow);
}

BOOL WinAPI_SetCurrentDirectory(LPCWSTR path)
{
    if (WIDE) return WinAPITable.SetCurrentDirectoryW(path);
    NarrowText narrowPath;
    if (narrowPath.Set(path) < 0) return 0;
    return WinAPITable.SetCurrentDirectoryA(narrowPath.Text);
}

BOOL WinAPI_SetWindowText(HWND window, LPCWSTR text)
{
    if (WIDE) return WinAPITable.SetWindowTextW(window, text);
    NarrowText narrowText;
    if (narrowText.Set(text) < 0) return 0;
    return WinAPITable.SetWindowTextA(window, narrowText.Text);
}

// The counted text functions pass the narrow length of the converted units, which differs from the
// unit count for double-byte text.
BOOL WinAPI_TextOut(HDC dc, int x, int y, LPCWSTR string, int count)
{
    if (WIDE) return WinAPITable.TextOutW(dc, x, y, string, count);
    NarrowText narrowText;
    int narrowLength = 0;
    if (narrowText.SetCounted(string, count, &narrowLength) < 0) return 0;
    return WinAPITable.TextOutA(dc, x, y, narrowText.Text, narrowLength);
}

BOOL WinAPI_GetTextExtentPoint32(HDC dc, LPCWSTR string, int count, LPSIZE size)
{
    if (WIDE) return WinAPITable.GetTextExtentPoint32W(dc, string, count, size);
    NarrowText narrowText;
    int narrowLength = 0;
    if (narrowText.SetCounted(string, count, &narrowLength) < 0) return 0;
    return WinAPITable.GetTextExtentPoint32A(dc, narrowText.Text, narrowLength, size);
}

BOOL WinAPI_UnregisterClass(LPCWSTR className, HINSTANCE instance)
{
    if (WIDE) return WinAPITable.UnregisterClassW(className, instance);
    NarrowText narrowClass;
    if (!WinAPIText_IsAtom(className) && narrowClass.Set(className) < 0) return 0;
    return WinAPITable.UnregisterClassA(WinAPIText_IsAtom(className) ? (LPCSTR)className : narrowClass.Text, instance);
}

BOOL WinAPI_VerifyVersionInfo(LPOSVERSIONINFOEXW versionInfo, DWORD typeMask, DWORDLONG conditionMask)
{
    if (WIDE) return WinAPITable.VerifyVersionInfoW(versionInfo, typeMask, conditionMask);
    OSVERSIONINFOEXA narrow;
    memset(&narrow, 0, sizeof(narrow));
    narrow.dwOSVersionInfoSize = sizeof(narrow);
    narrow.dwMajorVersion = versionInfo->dwMajorVersion;
    narrow.dwMinorVersion = versionInfo->dwMinorVersion;
    narrow.dwBuildNumber = versionInfo->dwBuildNumber;
    narrow.dwPlatformId = versionInfo->dwPlatformId;
    WinAPIText_NameToNarrow(versionInfo->szCSDVersion, narrow.szCSDVersion, sizeof(narrow.szCSDVersion));
    narrow.wServicePackMajor = versionInfo->wServicePackMajor;
    narrow.wServicePackMinor = versionInfo->wServicePackMinor;
    narrow.wSuiteMask = versionInfo->wSuiteMask;
    narrow.wProductType = versionInfo->wProductType;
    narrow.wReserved = versionInfo->wReserved;
    return WinAPITable.VerifyVersionInfoA(&narrow, typeMask, conditionMask);
}

DWORD WinAPI_GetGlyphOutline(HDC dc, UINT character, UINT format, LPGLYPHMETRICS metrics, DWORD bufferSize,
                             LPVOID buffer, const MAT2* matrix)
{
    if (WIDE) return WinAPITable.GetGlyphOutlineW(dc, character, format, metrics, bufferSize, buffer, matrix);
    const UINT narrowCode = CharCode_ConvertChar(character, CharCode_GetWidePage(), CharCode_GetNarrowPage());
    return WinAPITable.GetGlyphOutlineA(dc, narrowCode, format, metrics, bufferSize, buffer, matrix);
}

// ---------------------------------------------------------------------------------------------
// Text out

UINT WinAPI_GetTempFileName(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName)
{
    if (WIDE) return WinAPITable.GetTempFileNameW(path, prefix, unique, tempFileName);
    NarrowText narrowPath, narrowPrefix;
    if (narrowPath.Set(path) < 0 || narrowPrefix.Set(prefix) < 0) return 0;
    char name[MAX_PATH * 2] = {0};
    const UINT result = WinAPITable.GetTempFileNameA(narrowPath.Text, narrowPrefix.Text, unique, name);
    if (result != 0) WinAPIText_ToWide(name, tempFileName, MAX_PATH * 2);
    return result;
}

LONG WinAPI_RegEnumKey(HKEY key, DWORD index, LPWSTR name, DWORD nameUnits)
{
    if (WIDE) return WinAPITable.RegEnumKeyW(key, index, name, nameUnits);
    char local[512];
    char* narrow = local;
    const DWORD bytes = nameUnits * 2 + 2;
    if (bytes > sizeof(local)) {
        narrow = (char*)Memory_Allocate(bytes, "VtWinAPI", __LINE__);
        if (narrow == nullptr) return -1;
    }
    narrow[0] = 0;
    const LONG result = WinAPITable.RegEnumKeyA(key, index, narrow, bytes);
    if (result == ERROR_SUCCESS) WinAPIText_ToWide(narrow, name, (int32_t)(nameUnits * 2));
    if (narrow != local) Memory_Free(narrow);
    return result;
}

UINT WinAPI_DragQueryFile(HDROP drop, UINT index, LPWSTR file, UINT count)
{
    if (WIDE) return WinAPITable.DragQueryFileW(drop, index, file, count);
    if (file == nullptr) return WinAPITable.DragQueryFileA(drop, index, nullptr, count);
    char name[1024] = {0};
    const UINT result = WinAPITable.DragQueryFileA(drop, index, name, count < 1024 ? count : 1024);
    WinAPIText_ToWide(name, file, (int32_t)(count * 2));
    return result;
}

BOOL WinAPI_EnumDisplayDevices(LPCWSTR device, DWORD deviceIndex, PDISPLAY_DEVICEW displayDevice, DWORD flags)
{
    if (WIDE) return WinAPITable.EnumDisplayDevicesW(device, deviceIndex, displayDevice, flags);
    NarrowText narrowDevice;
    if (narrowDevice.Set(device) < 0) return 0;
    DISPLAY_DEVICEA narrow;
    memset(&narrow, 0, sizeof(narrow));
    narrow.cb = sizeof(narrow);
    const BOOL result = WinAPITable.EnumDisplayDevicesA(narrowDevice.Text, deviceIndex, &narrow, flags);
    // The caller's record keeps its own size field: it describes the wide record.
    displayDevice->StateFlags = narrow.StateFlags;
    WinAPIText_ToWide(narrow.DeviceName, displayDevice->DeviceName, 64);
    WinAPIText_ToWide(narrow.DeviceString, displayDevice->DeviceString, 256);
    WinAPIText_ToWide(narrow.DeviceID, displayDevice->DeviceID, 256);
    WinAPIText_ToWide(narrow.DeviceKey, displayDevice->DeviceKey, 256);
    return result;
}

BOOL WinAPI_EnumDisplaySettings(LPCWSTR device, DWORD modeIndex, DEVMODEW* mode)
{
    if (WIDE) return WinAPITable.EnumDisplaySettingsW(device, modeIndex, mode);
    NarrowText narrowDevice;
    if (narrowDevice.Set(device) < 0) return 0;
    DEVMODEA narrow;
    memset(&narrow, 0, sizeof(narrow));
    narrow.dmSize = sizeof(narrow);
    const BOOL result = WinAPITable.EnumDisplaySettingsA(narrowDevice.Text, modeIndex, &narrow);
    WinAPIText_DevModeToWide(&narrow, mode);
    return result;
}

HANDLE WinAPI_FindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW findData)
{
    if (WIDE) return WinAPITable.FindFirstFileW(pattern, findData);
    NarrowText narrowPattern;
    if (narrowPattern.Set(pattern) < 0) return nullptr;
    WIN32_FIND_DATAA narrow;
    memset(&narrow, 0, sizeof(narrow));
    const HANDLE find = WinAPITable.FindFirstFileA(narrowPattern.Text, &narrow);
    if (findData != nullptr) WinAPIText_FindDataToWide(&narrow, findData);
    return find;
}

BOOL WinAPI_FindNextFile(HANDLE find, LPWIN32_FIND_DATAW findData)
{
    if (WIDE) return WinAPITable.FindNextFileW(find, findData);
    WIN32_FIND_DATAA narrow;
    memset(&narrow, 0, sizeof(narrow));
    const BOOL result = WinAPITable.FindNextFileA(find, &narrow);
    if (findData != nullptr) WinAPIText_FindDataToWide(&narrow, findData);
    return result;
}

// The narrow path of the two path queries converts into the caller's buffer of bufferUnits UTF-16
// units and answers like the W function: the units written without the terminator, or the units
// needed (terminator included) when the buffer is too small.
static DWORD WinAPIText_PathResult(const char* narrow, DWORD narrowResult, DWORD bufferUnits, LPWSTR buffer)
{
    if (narrowResult == 0) return 0;
    const int32_t needed = CharCode_ConvertString(narrow, -1, CharCode_GetNarrowPage(), nullptr, 0x7FFFFFFF,
                                                  CharCode_GetWidePage());
    const DWORD neededUnits = needed > 0 ? (DWORD)needed / 2 : 0;
    if (buffer == nullptr || neededUnits > bufferUnits) return neededUnits;
    WinAPIText_ToWide(narrow, buffer, (int32_t)(bufferUnits * 2));
    return neededUnits > 0 ? neededUnits - 1 : 0;
}

DWORD WinAPI_GetCurrentDirectory(DWORD bufferUnits, LPWSTR buffer)
{
    if (WIDE) return WinAPITable.GetCurrentDirectoryW(bufferUnits, buffer);
    char narrow[1024] = {0};
    const DWORD result = WinAPITable.GetCurrentDirectoryA(1024, narrow);
    if (result >= 1024) return result * 2;
    return WinAPIText_PathResult(narrow, result, bufferUnits, buffer);
}

DWORD WinAPI_GetTempPath(DWORD bufferUnits, LPWSTR buffer)
{
    if (WIDE) return WinAPITable.GetTempPathW(bufferUnits, buffer);
    char narrow[264] = {0};
    const DWORD result = WinAPITable.GetTempPathA(261, narrow);
    if (result >= 261) return result;
    return WinAPIText_PathResult(narrow, result, bufferUnits, buffer);
}

BOOL WinAPI_GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOW info)
{
    if (WIDE) return WinAPITable.GetMenuItemInfoW(menu, item, byPosition, info);
    // One static narrow buffer serves the item text, as the narrow path is only for old systems.
    static char menuText[1024];
    MENUITEMINFOA narrow;
    memcpy(&narrow, info, sizeof(narrow));
    narrow.cbSize = sizeof(narrow);
    const bool stringItem = (info->fMask & MIIM_TYPE) != 0 && (info->fType & ~(UINT)MFT_STRING) == 0 && info->dwTypeData != nullptr;
    if (stringItem) {
        narrow.dwTypeData = menuText;
        narrow.cch = info->cch < 1024 ? info->cch : 1024;
    }
    const BOOL result = WinAPITable.GetMenuItemInfoA(menu, item, byPosition, &narrow);
    LPWSTR text = info->dwTypeData;
    const UINT units = info->cch;
    memcpy(info, &narrow, sizeof(narrow));
    info->cbSize = sizeof(*info);
    info->dwTypeData = text;
    if (stringItem && result) {
        WinAPIText_ToWide(menuText, text, (int32_t)(units * 2));
        info->cch = (UINT)CharCode_StringLength(CharCode_GetWidePage(), text);
    } else {
        info->cch = narrow.cch;
    }
    return result;
}

BOOL WinAPI_GetMonitorInfo(HMONITOR monitor, LPMONITORINFO info)
{
    if (WIDE) return WinAPITable.GetMonitorInfoW(monitor, info);
    if (info->cbSize < sizeof(MONITORINFOEXW)) return WinAPITable.GetMonitorInfoA(monitor, info);
    MONITORINFOEXA narrow;
    memset(&narrow, 0, sizeof(narrow));
    narrow.cbSize = sizeof(narrow);
    const BOOL result = WinAPITable.GetMonitorInfoA(monitor, (LPMONITORINFO)&narrow);
    MONITORINFOEXW* wide = (MONITORINFOEXW*)info;
    wide->rcMonitor = narrow.rcMonitor;
    wide->rcWork = narrow.rcWork;
    wide->dwFlags = narrow.dwFlags;
    WinAPIText_ToWide(narrow.szDevice, wide->szDevice, 64);
    return result;
}

BOOL WinAPI_GetTextMetrics(HDC dc, LPTEXTMETRICW metrics)
{
    if (WIDE) return WinAPITable.GetTextMetricsW(dc, metrics);
    TEXTMETRICA narrow;
    memset(&narrow, 0, sizeof(narrow));
    const BOOL result = WinAPITable.GetTextMetricsA(dc, &narrow);
    metrics->tmHeight = narrow.tmHeight;
    metrics->tmAscent = narrow.tmAscent;
    metrics->tmDescent = narrow.tmDescent;
    metrics->tmInternalLeading = narrow.tmInternalLeading;
    metrics->tmExternalLeading = narrow.tmExternalLeading;
    metrics->tmAveCharWidth = narrow.tmAveCharWidth;
    metrics->tmMaxCharWidth = narrow.tmMaxCharWidth;
    metrics->tmWeight = narrow.tmWeight;
    metrics->tmOverhang = narrow.tmOverhang;
    metrics->tmDigitizedAspectX = narrow.tmDigitizedAspectX;
    metrics->tmDigitizedAspectY = narrow.tmDigitizedAspectY;
    metrics->tmFirstChar = (WCHAR)(BYTE)narrow.tmFirstChar;
    metrics->tmLastChar = (WCHAR)(BYTE)narrow.tmLastChar;
    metrics->tmDefaultChar = (WCHAR)(BYTE)narrow.tmDefaultChar;
    metrics->tmBreakChar = (WCHAR)(BYTE)narrow.tmBreakChar;
    metrics->tmItalic = narrow.tmItalic;
    metrics->tmUnderlined = narrow.tmUnderlined;
    metrics->tmStruckOut = narrow.tmStruckOut;
    metrics->tmPitchAndFamily = narrow.tmPitchAndFamily;
    metrics->tmCharSet = narrow.tmCharSet;
    return result;
}

BOOL WinAPI_GetVersionEx(LPOSVERSIONINFOW versionInfo)
{
    if (versionInfo == nullptr) return 0;
    if (WIDE) return WinAPITable.GetVersionExW(versionInfo);
    OSVERSIONINFOA narrow;
    memset(&narrow, 0, sizeof(narrow));
    narrow.dwOSVersionInfoSize = sizeof(narrow);
    const BOOL result = WinAPITable.GetVersionExA(&narrow);
    versionInfo->dwOSVersionInfoSize = narrow.dwOSVersionInfoSize;
    versionInfo->dwMajorVersion = narrow.dwMajorVersion;
    versionInfo->dwMinorVersion = narrow.dwMinorVersion;
    versionInfo->dwBuildNumber = narrow.dwBuildNumber;
    versionInfo->dwPlatformId = narrow.dwPlatformId;
    WinAPIText_ToWide(narrow.szCSDVersion, versionInfo->szCSDVersion, 256);
    return result;
}

// ---------------------------------------------------------------------------------------------
// String functions

DWORD WinAPI_CharLowerBuff(LPWSTR string, DWORD length)
{
    if (WIDE) return WinAPITable.CharLowerBuffW(string, length);
    CharCode_ToLower(CharCode_GetWidePage(), string);
    return length;
}

int WinAPI_lstrcmp(LPCWSTR a, LPCWSTR b)
{
    if (WIDE) return WinAPITable.lstrcmpW(a, b);
    return CharCode_CompareString(CharCode_GetWidePage(), a, b);
}

LPWSTR WinAPI_lstrcpy(LPWSTR destination, LPCWSTR source)
{
    if (WIDE) return WinAPITable.lstrcpyW(destination, source);
    CharCode_CopyString(CharCode_GetWidePage(), destination, source);
    return destination;
}

LPWSTR WinAPI_lstrcpyn(LPWSTR destination, LPCWSTR source, int count)
{
    if (WIDE) return WinAPITable.lstrcpynW(destination, source, count);
    CharCode_CopyStringN(CharCode_GetWidePage(), destination, source, count);
    return destination;
}

int WinAPI_lstrlen(LPCWSTR string)
{
    if (WIDE) return WinAPITable.lstrlenW(string);
    return CharCode_StringLength(CharCode_GetWidePage(), string);
}

// ---------------------------------------------------------------------------------------------
// CoCreateInstance on the main thread

static void WinAPIText_PackGuid(const GUID& guid, intptr_t* words)
{
    words[0] = (intptr_t)(uint32_t)guid.Data1;
    words[1] = (intptr_t)(uint32_t)((uint32_t)guid.Data2 | ((uint32_t)guid.Data3 << 16));
    words[2] = (intptr_t)(uint32_t)(guid.Data4[0] | (guid.Data4[1] << 8) | (guid.Data4[2] << 16) | ((uint32_t)guid.Data4[3] << 24));
    words[3] = (intptr_t)(uint32_t)(guid.Data4[4] | (guid.Data4[5] << 8) | (guid.Data4[6] << 16) | ((uint32_t)guid.Data4[7] << 24));
}

static GUID WinAPIText_UnpackGuid(const intptr_t* words)
{
    GUID guid;
    guid.Data1 = (unsigned long)(uint32_t)words[0];
    guid.Data2 = (unsigned short)(uint32_t)words[1];
    guid.Data3 = (unsigned short)((uint32_t)words[1] >> 16);
    for (int i = 0; i < 4; i++) {
        guid.Data4[i] = (unsigned char)((uint32_t)words[2] >> (8 * i));
        guid.Data4[4 + i] = (unsigned char)((uint32_t)words[3] >> (8 * i));
    }
    return guid;
}

int WinAPI_CoCreateInstance_MainThreadProc(MainThreadRequest* request)
{
    const GUID classId = WinAPIText_UnpackGuid(&request->Params[0]);
    const GUID interfaceId = WinAPIText_UnpackGuid(&request->Params[6]);
    return (int)WinAPITable.CoCreateInstance(classId, (LPUNKNOWN)request->Params[4], (DWORD)request->Params[5],
                                             interfaceId, (LPVOID*)request->Params[10]);
}

HRESULT WinAPI_CoCreateInstanceOnMainThread(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId,
                                            LPVOID* object, int offMainThread)
{
    if (offMainThread == 0) return WinAPITable.CoCreateInstance(classId, outer, context, interfaceId, object);
    MainThreadRequest request;
    memset(&request, 0, sizeof(request));
    request.Procedure = WinAPI_CoCreateInstance_MainThreadProc;
    WinAPIText_PackGuid(classId, &request.Params[0]);
    request.Params[4] = (intptr_t)outer;
    request.Params[5] = (intptr_t)context;
    WinAPIText_PackGuid(interfaceId, &request.Params[6]);
    request.Params[10] = (intptr_t)object;
    return (HRESULT)ASyncLoad_MainThreadRequest_Post(&request);
}

}  // namespace Vantrel
