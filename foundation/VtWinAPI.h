// VtWinAPI: the process-wide table of system libraries and functions loaded at run time.
// The library calls almost every system function through this record, so that one pass of
// LoadLibraryA/GetProcAddress serves the whole program and tests can put fakes in its entries.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <imm.h>
#include <winnls32.h>
#include <objbase.h>
#include <oleauto.h>
#include <commctrl.h>
#include <shellapi.h>
#include <usp10.h>
#include <shellscalingapi.h>
#include <dwmapi.h>
#include <stdint.h>

// Media Foundation interfaces are only named here; the modules that use them include their headers.
struct IMFMediaType;
struct IMFAttributes;
struct IMFAsyncResult;
struct IMFAsyncCallback;
struct IMFSourceReader;
struct IMFByteStream;

namespace Vantrel {

// Function pointer types of the entries whose declarations the compiler's headers do not give in
// the same form on every target.
typedef LONG(WINAPI *WinAPI_RtlGetVersionProc)(PRTL_OSVERSIONINFOW versionInformation);
typedef LONG_PTR(WINAPI *WinAPI_GetWindowLongPtrProc)(HWND window, int index);
typedef LONG_PTR(WINAPI *WinAPI_SetWindowLongPtrProc)(HWND window, int index, LONG_PTR value);
typedef ULONG_PTR(WINAPI *WinAPI_SetClassLongPtrProc)(HWND window, int index, LONG_PTR value);
typedef HRESULT(WINAPI *WinAPI_MFStartupProc)(ULONG version, DWORD flags);
typedef HRESULT(WINAPI *WinAPI_MFShutdownProc)(void);
typedef HRESULT(WINAPI *WinAPI_MFCreateMediaTypeProc)(IMFMediaType **mediaType);
typedef HRESULT(WINAPI *WinAPI_MFCreateWaveFormatExFromMFMediaTypeProc)(IMFMediaType *mediaType, WAVEFORMATEX **format,
                                                                      UINT32 *size, UINT32 flags);
typedef HRESULT(WINAPI *WinAPI_MFCreateAttributesProc)(IMFAttributes **attributes, UINT32 initialSize);
typedef HRESULT(WINAPI *WinAPI_MFCreateAsyncResultProc)(IUnknown *object, IMFAsyncCallback *callback, IUnknown *state,
                                                       IMFAsyncResult **asyncResult);
typedef HRESULT(WINAPI *WinAPI_MFInvokeCallbackProc)(IMFAsyncResult *asyncResult);
typedef HRESULT(WINAPI *WinAPI_MFCreateSourceReaderFromURLProc)(LPCWSTR url, IMFAttributes *attributes,
                                                               IMFSourceReader **reader);
typedef HRESULT(WINAPI *WinAPI_MFCreateSourceReaderFromByteStreamProc)(IMFByteStream *stream, IMFAttributes *attributes,
                                                                      IMFSourceReader **reader);
typedef HRESULT(WINAPI *WinAPI_PropVariantToInt64Proc)(const PROPVARIANT &value, LONGLONG *result);

// The entries of each library in record order, as lists over three macros: F(name) typed as the system's
// declaration; T(name, type) typed explicitly; L(name) typed as declared, but asked for after every
// other function of its library.
#define VT_WINAPI_WS2_32(F, T, L)                                                                                      \
  F(WSAGetLastError) F(WSAStartup) F(WSACleanup) F(WSAAsyncSelect) F(getaddrinfo) F(freeaddrinfo) F(gethostbyaddr)     \
  F(gethostbyname) F(gethostname) F(ntohs) F(htons) F(connect) F(socket) F(send) F(sendto) F(recvfrom) F(accept)         \
  F(closesocket) F(shutdown) F(listen) F(bind) F(inet_addr) F(recv) F(setsockopt)

#define VT_WINAPI_IMM32(F, T, L)                                                                                       \
  F(ImmAssociateContext) F(ImmGetContext) F(ImmReleaseContext) F(ImmGetOpenStatus) F(ImmGetConversionStatus)            \
  F(ImmNotifyIME) F(ImmSetOpenStatus) F(ImmGetCandidateListW) F(ImmGetCandidateListCountW) F(ImmGetCompositionStringW)  \
  F(ImmSetCompositionStringW)

#define VT_WINAPI_WINMM(F, T, L)                                                                                       \
  F(timeSetEvent) F(timeKillEvent) F(timeBeginPeriod) F(timeEndPeriod) F(timeGetTime) F(timeGetDevCaps) F(joyGetPosEx)  \
  F(joyGetDevCapsW) F(mciSendCommandW) F(waveOutOpen) F(waveOutClose) F(waveOutPrepareHeader) F(waveOutUnprepareHeader) \
  F(waveOutWrite) F(waveOutReset)

#define VT_WINAPI_KERNEL32(F, T, L)                                                                                    \
  F(GetModuleHandleA) F(GetModuleHandleW) F(VerifyVersionInfoA) F(VerifyVersionInfoW) F(VerSetConditionMask)            \
  F(CreateEventA) F(SetEvent) F(ResetEvent) F(CreateThread) F(SetThreadPriority) F(GetThreadPriority) F(ExitThread)      \
  F(GetExitCodeThread) F(GetCurrentThread) F(GetCurrentThreadId) F(SuspendThread) F(ResumeThread)                        \
  F(WaitForSingleObject) F(WaitForMultipleObjects) F(GetProcessHeap) F(HeapAlloc) F(HeapFree) F(VirtualAlloc)            \
  F(VirtualFree) F(VirtualQuery) F(GlobalAlloc) F(GlobalFree) F(GlobalLock) F(GlobalUnlock) F(GlobalSize)                \
  F(CreateSemaphoreA) F(ReleaseSemaphore) F(GetVersionExA) F(GetVersionExW) F(GetSystemInfo) F(lstrlenA) F(lstrlenW)     \
  F(lstrcmpA) F(lstrcmpW) F(lstrcpyA) F(lstrcpyW) F(lstrcpynA) F(lstrcpynW) F(GetTickCount) F(QueryPerformanceCounter)   \
  F(QueryPerformanceFrequency) F(CloseHandle) F(GetTempPathA) F(GetTempPathW) F(GetTempFileNameA) F(GetTempFileNameW)    \
  F(CreateFileA) F(CreateFileW) F(DeleteFileA) F(DeleteFileW) F(GetFileSize) F(WriteFile) F(ReadFile)                    \
  F(SetFilePointer) F(FindFirstFileA) F(FindFirstFileW) F(FindNextFileA) F(FindNextFileW) F(FindClose)                   \
  F(SetCurrentDirectoryA) F(SetCurrentDirectoryW) F(GetCurrentDirectoryA) F(GetCurrentDirectoryW) F(Sleep)               \
  F(InitializeCriticalSection) F(DeleteCriticalSection) F(EnterCriticalSection) F(LeaveCriticalSection) F(ExitProcess)   \
  F(LoadResource) F(FindResourceA) F(FindResourceW) F(LockResource) F(SizeofResource) F(GetOEMCP)                        \
  F(OutputDebugStringA) F(OutputDebugStringW) F(GlobalMemoryStatus) F(MulDiv) F(GetLocalTime)                            \
  F(GetSystemPowerStatus) F(FileTimeToLocalFileTime) F(FileTimeToSystemTime) F(GetLastError) F(MultiByteToWideChar) \
  F(LoadLibraryW) F(GetProcAddress) F(FreeLibrary)

#define VT_WINAPI_OLE32(F, T, L)                                                                                       \
  F(CoCreateInstance) F(CoTaskMemAlloc) F(CoTaskMemFree) F(CoInitializeEx) F(CoFreeUnusedLibraries) F(CoUninitialize)   \
  F(CLSIDFromString)

#define VT_WINAPI_OLEAUT32(F, T, L) F(SysAllocString) F(SysFreeString) F(VariantClear) F(VariantInit)

#define VT_WINAPI_COMCTL32(F, T, L) F(InitCommonControls)

#define VT_WINAPI_USER32(F, T, L)                                                                                      \
  F(WINNLSEnableIME) F(UpdateLayeredWindow) F(CreateWindowExA) F(CreateWindowExW) F(DestroyWindow) F(IsWindow)          \
  F(ShowWindow) F(UpdateWindow) F(BringWindowToTop) F(SetForegroundWindow) F(GetWindowThreadProcessId)                   \
  F(SetActiveWindow) F(GetForegroundWindow) F(GetDesktopWindow) F(FindWindowA) F(FindWindowW) F(MoveWindow)              \
  F(SetWindowPos) F(GetClientRect) F(AdjustWindowRectEx) F(GetWindowRect) F(SetWindowLongA) F(SetWindowLongW)            \
  T(SetWindowLongPtrA, WinAPI_SetWindowLongPtrProc) T(SetWindowLongPtrW, WinAPI_SetWindowLongPtrProc)                    \
  F(GetWindowLongA) F(GetWindowLongW) T(GetWindowLongPtrA, WinAPI_GetWindowLongPtrProc)                                  \
  T(GetWindowLongPtrW, WinAPI_GetWindowLongPtrProc) F(SetWindowTextA) F(SetWindowTextW) F(ClientToScreen)                \
  F(EnumDisplayDevicesA) F(EnumDisplayDevicesW) L(CloseTouchInputHandle) L(GetTouchInputInfo) L(IsTouchWindow)           \
  L(RegisterTouchWindow) L(UnregisterTouchWindow) F(ShutdownBlockReasonCreate) F(ShutdownBlockReasonDestroy)             \
  F(SetTimer) F(PostThreadMessageA) F(PostThreadMessageW) F(PeekMessageA) F(PeekMessageW) F(GetMessageA)                 \
  F(GetMessageW) F(SendMessageA) F(SendMessageW) F(PostMessageA) F(PostMessageW) F(PostQuitMessage) F(DefWindowProcA)    \
  F(DefWindowProcW) F(TranslateAcceleratorA) F(TranslateAcceleratorW) F(TranslateMessage) F(DispatchMessageA)            \
  F(DispatchMessageW) F(MsgWaitForMultipleObjects) F(GetQueueStatus) F(RegisterWindowMessageA)                           \
  F(RegisterWindowMessageW) F(RegisterClassA) F(RegisterClassW) F(RegisterClassExA) F(RegisterClassExW)                  \
  F(UnregisterClassA) F(UnregisterClassW) F(SetClassLongA) F(SetClassLongW)                                              \
  T(SetClassLongPtrA, WinAPI_SetClassLongPtrProc) T(SetClassLongPtrW, WinAPI_SetClassLongPtrProc) F(GetDC)               \
  F(ReleaseDC) F(BeginPaint) F(EndPaint) F(MessageBoxA) F(MessageBoxW) F(GetSystemMetrics) F(ChangeDisplaySettingsA)     \
  F(ChangeDisplaySettingsW) F(ShowCursor) F(SetCursorPos) F(GetCursorPos) F(SetCursor) F(LoadCursorA) F(LoadCursorW)     \
  F(LoadIconA) F(LoadIconW) F(ClipCursor) F(LoadMenuA) F(LoadMenuW) F(CreateMenu) F(DeleteMenu) F(DestroyMenu)           \
  F(EnableMenuItem) F(GetSubMenu) F(SetMenuItemInfoA) F(SetMenuItemInfoW) F(GetMenuItemInfoA) F(GetMenuItemInfoW)        \
  F(SetMenu) F(DrawMenuBar) F(GetMenuItemCount) F(InsertMenuItemA) F(InsertMenuItemW) F(SetWindowRgn) F(FillRect)        \
  F(SystemParametersInfoA) F(SystemParametersInfoW) F(AttachThreadInput) F(SetWindowsHookExW) F(UnhookWindowsHookEx)    \
  F(GetKeyboardState) F(KillTimer) F(EnumDisplaySettingsA) F(EnumDisplaySettingsW) F(EnumDisplayMonitors)                \
  F(IsDialogMessageA) F(IsDialogMessageW) F(OpenClipboard) F(CloseClipboard) F(EmptyClipboard) F(SetClipboardData)       \
  F(GetClipboardData) F(IsClipboardFormatAvailable) F(CreateAcceleratorTableA) F(CreateAcceleratorTableW)                \
  F(DestroyAcceleratorTable) F(CopyAcceleratorTableA) F(CopyAcceleratorTableW) F(GetMonitorInfoA) F(GetMonitorInfoW)     \
  F(CharLowerBuffA) F(CharLowerBuffW) F(GetRawInputDeviceList) F(GetRawInputDeviceInfoA)

#define VT_WINAPI_GDI32(F, T, L)                                                                                       \
  F(AddFontMemResourceEx) F(RemoveFontMemResourceEx) F(GetFontUnicodeRanges) F(GetDeviceCaps) F(EnumFontFamiliesExA)    \
  F(EnumFontFamiliesExW) F(CreateFontA) F(CreateFontW) F(GetTextMetricsA) F(GetTextMetricsW) F(GetTextExtentPoint32A)    \
  F(GetTextExtentPoint32W) F(GetCharacterPlacementA) F(GetCharacterPlacementW) F(GetGlyphOutlineA) F(GetGlyphOutlineW)   \
  F(TextOutA) F(TextOutW) F(SetTextColor) F(SetBkColor) F(SetBkMode) F(CreateCompatibleDC) F(CreateDCA) F(CreateDCW)     \
  F(GetObjectA) F(GetObjectW) F(GetStockObject) F(SelectObject) F(DeleteObject) F(DeleteDC) F(CreateSolidBrush)          \
  F(Rectangle) F(BitBlt) F(CreateDIBSection) F(StretchDIBits) F(SetDIBitsToDevice) F(CreateRectRgn) F(CombineRgn)        \
  F(GetKerningPairsW) F(GetTextFaceW)

#define VT_WINAPI_ADVAPI32(F, T, L)                                                                                    \
  F(RegOpenKeyA) F(RegOpenKeyW) F(RegEnumKeyA) F(RegEnumKeyW) F(RegOpenKeyExA) F(RegOpenKeyExW) F(RegQueryValueExA)      \
  F(RegQueryValueExW)

#define VT_WINAPI_SHELL32(F, T, L) F(DragQueryFileA) F(DragQueryFileW) F(DragFinish) F(DragAcceptFiles)

#define VT_WINAPI_NTDLL(F, T, L) T(RtlGetVersion, WinAPI_RtlGetVersionProc)

#define VT_WINAPI_MFPLAT(F, T, L)                                                                                      \
  T(MFStartup, WinAPI_MFStartupProc) T(MFShutdown, WinAPI_MFShutdownProc)                                              \
  T(MFCreateMediaType, WinAPI_MFCreateMediaTypeProc)                                                                   \
  T(MFCreateWaveFormatExFromMFMediaType, WinAPI_MFCreateWaveFormatExFromMFMediaTypeProc)                               \
  T(MFCreateAttributes, WinAPI_MFCreateAttributesProc) T(MFCreateAsyncResult, WinAPI_MFCreateAsyncResultProc)          \
  T(MFInvokeCallback, WinAPI_MFInvokeCallbackProc)

#define VT_WINAPI_MFREADWRITE(F, T, L)                                                                                 \
  T(MFCreateSourceReaderFromURL, WinAPI_MFCreateSourceReaderFromURLProc)                                               \
  T(MFCreateSourceReaderFromByteStream, WinAPI_MFCreateSourceReaderFromByteStreamProc)

#define VT_WINAPI_PROPSYS(F, T, L) T(PropVariantToInt64, WinAPI_PropVariantToInt64Proc)

#define VT_WINAPI_USP10(F, T, L) F(ScriptItemize) F(ScriptShape)

#define VT_WINAPI_SHCORE(F, T, L) F(SetProcessDpiAwareness) F(GetProcessDpiAwareness) F(GetDpiForMonitor)

#define VT_WINAPI_OLE32_SECOND(F, T, L) F(CoSetProxyBlanket) F(PropVariantClear)

#define VT_WINAPI_DWMAPI(F, T, L) F(DwmEnableComposition) F(DwmGetWindowAttribute)

// The libraries in record order: LIB(list, module handle member, file name).
#define VT_WINAPI_LIBRARIES(LIB)                                                                                       \
  LIB(VT_WINAPI_WS2_32, Ws2_32DLL, "ws2_32.dll")                                                                     \
  LIB(VT_WINAPI_IMM32, Imm32DLL, "Imm32.dll")                                                                        \
  LIB(VT_WINAPI_WINMM, WinmmDLL, "winmm.dll")                                                                        \
  LIB(VT_WINAPI_KERNEL32, Kernel32DLL, "kernel32.dll")                                                               \
  LIB(VT_WINAPI_OLE32, Ole32DLL, "ole32.dll")                                                                        \
  LIB(VT_WINAPI_OLEAUT32, OleAut32DLL, "oleaut32.dll")                                                               \
  LIB(VT_WINAPI_COMCTL32, Comctl32DLL, "comctl32.dll")                                                               \
  LIB(VT_WINAPI_USER32, User32DLL, "User32.dll")                                                                     \
  LIB(VT_WINAPI_GDI32, Gdi32DLL, "gdi32.dll")                                                                        \
  LIB(VT_WINAPI_ADVAPI32, Advapi32DLL, "advapi32.dll")                                                               \
  LIB(VT_WINAPI_SHELL32, Shell32DLL, "shell32.dll")                                                                  \
  LIB(VT_WINAPI_NTDLL, NtdllDLL, "ntdll.dll")                                                                        \
  LIB(VT_WINAPI_MFPLAT, MfplatDLL, "Mfplat.dll")                                                                     \
  LIB(VT_WINAPI_MFREADWRITE, MfreadwriteDLL, "Mfreadwrite.dll")                                                      \
  LIB(VT_WINAPI_PROPSYS, PropsysDLL, "Propsys.dll")                                                                  \
  LIB(VT_WINAPI_USP10, Usp10DLL, "usp10.dll")                                                                        \
  LIB(VT_WINAPI_SHCORE, ShcoreDLL, "shcore.dll")                                                                     \
  LIB(VT_WINAPI_OLE32_SECOND, Ole32SecondDLL, "Ole32.dll")                                                           \
  LIB(VT_WINAPI_DWMAPI, DwmapiDLL, "dwmapi.dll")

// On 32-bit targets the headers turn the ...LongPtr names into the plain ...Long functions; the record
// keeps its own entries for them (null there, as 32-bit User32 has no such exports). Code that calls
// WinAPITable.SetWindowLongPtrW reaches the SetWindowLongW entry on those targets, as the headers intend.
#pragma push_macro("GetWindowLongPtrA")
#pragma push_macro("GetWindowLongPtrW")
#pragma push_macro("SetWindowLongPtrA")
#pragma push_macro("SetWindowLongPtrW")
#pragma push_macro("SetClassLongPtrA")
#pragma push_macro("SetClassLongPtrW")
#include "foundation/VtWinAPILongPtr.h"

#define VT_WINAPI_MEMBER(name) decltype(&::name) name;
#define VT_WINAPI_MEMBER_TYPED(name, type) type name;
#define VT_WINAPI_LIBRARY_MEMBERS(list, handle, file)                                                                  \
  HMODULE handle;                                                                                                      \
  list(VT_WINAPI_MEMBER, VT_WINAPI_MEMBER_TYPED, VT_WINAPI_MEMBER)

// The record: flags, then per library its module handle followed by its function pointers.
// A plain aggregate: tests may assign any entry to put a fake in its place.
struct WinAPITableRecord {
  int32_t Loaded;     // 1 once WinAPI_LoadAll has completed, 0 before and after WinAPI_UnloadAll
  int32_t WideUsable; // 1 when the system's UTF-16 text functions work (set by each WinAPI_LoadAll)
  VT_WINAPI_LIBRARIES(VT_WINAPI_LIBRARY_MEMBERS)
};

#undef VT_WINAPI_LIBRARY_MEMBERS
#undef VT_WINAPI_MEMBER_TYPED
#undef VT_WINAPI_MEMBER
#pragma pop_macro("GetWindowLongPtrA")
#pragma pop_macro("GetWindowLongPtrW")
#pragma pop_macro("SetWindowLongPtrA")
#pragma pop_macro("SetWindowLongPtrW")
#pragma pop_macro("SetClassLongPtrA")
#pragma pop_macro("SetClassLongPtrW")

// Number of libraries and of function entries in the record.
constexpr int WinAPI_LibraryCount = 19;
constexpr int WinAPI_FunctionCount = 366;

// The one table, zero at process start.
extern WinAPITableRecord WinAPITable;

// Fills the table (LoadLibraryA/GetProcAddress for every library whose handle is still null), probes
// whether the wide text functions work and sets Loaded. Does nothing while Loaded is 1. Returns 0.
int32_t WinAPI_LoadAll(void);

// Releases every loaded library (FreeLibrary) and clears its handle and entries; Loaded becomes 0,
// WideUsable keeps its value. Does nothing while Loaded is 0. Returns 0.
int32_t WinAPI_UnloadAll(void);

// The step at the head of every function that reads a table entry and may run outside the library's
// lifetime: loads the table when needed and then makes the process DPI aware (system-wide). Never fails.
inline void WinAPI_EnsureLoaded(void) {
  if (WinAPITable.Loaded == 0) {
    WinAPI_LoadAll();
    if (WinAPITable.SetProcessDpiAwareness != nullptr) WinAPITable.SetProcessDpiAwareness(PROCESS_SYSTEM_DPI_AWARE);
  }
}

// Reads the WideUsable flag (after making sure the table is loaded).
inline int32_t WideUsable(void) {
  WinAPI_EnsureLoaded();
  return WinAPITable.WideUsable;
}

} // namespace Vantrel
