// The main window: the window state record, window start-up and end, COM start and end, the system
// information log and the queries other modules use.
// Stands on the system function table and its text wrappers, the log, asynchronous loading, the file
// module, the graphics core's screen settings and display list, and the window settings and procedure.
#include "system/VtWindow.h"

#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <cstring>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImage.h"
#include "system/VtSystem.h"
#include "system/VtWindowSettings.h"
#include "system/VtSystemNeighbours.h"
#include "system/VtTime.h"
#include "system/VtWindowWin.h"

namespace Vantrel {

// Zero at process start: settings made by static initialisers of the program are kept.
WindowState Window;

namespace {

const wchar_t* const DefaultClassName = L"V123987T";
const wchar_t* const DefaultWindowTitle = L"Vantrel";
const char* const LibraryVersionText = "1.0.0";

// Multimedia timer period raised by the system information log; it lives outside the window state
// because the log runs before the window start-up clears that record.
UINT Window_InfoTimerPeriod = 0;

// The kept settings: saved before the start-up reset, put back afterwards.
struct WindowKeptSettings {
    int32_t StyleMode, WindowMode, CloseDisabled, AllowMultipleInstances, TitleSet, RunWhileInactive, IconId;
    int32_t ScaleRateSet, OsVersionCode;
    double ScaleRateX, ScaleRateY;
    wchar_t WindowTitle[256];
    wchar_t ClassName[256];
    int32_t LogicalProcessorCount;
    wchar_t OsDescription[256];
    int32_t ComStarted;
    wchar_t StartDirectory[1536];
};

UINT Window_QueryFinestTimerPeriod() {
    TIMECAPS caps{};
    if (WinAPITable.timeGetDevCaps == nullptr) return 0;
    if (WinAPITable.timeGetDevCaps(&caps, sizeof(caps)) != TIMERR_NOERROR) return 0;
    return caps.wPeriodMin;
}

void Window_CopyText(wchar_t* to, int units, const wchar_t* from) {
    int i = 0;
    for (; i < units - 1 && from[i] != 0; ++i) to[i] = from[i];
    to[i] = 0;
}

void Window_LogMemoryStatus() {
    if (Window.OsVersionCode < OsVersionWin2000) return;
    HMODULE kernel = WinAPITable.GetModuleHandleA ? WinAPITable.GetModuleHandleA("Kernel32.dll") : nullptr;
    typedef BOOL(WINAPI * GlobalMemoryStatusExProc)(LPMEMORYSTATUSEX);
    GlobalMemoryStatusExProc statusEx =
        kernel ? reinterpret_cast<GlobalMemoryStatusExProc>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalMemoryStatusEx")))
               : nullptr;
    if (statusEx != nullptr) {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof(status);
        if (statusEx(&status)) {
            Log_AddFormatShiftJIS("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ",
                                  static_cast<double>(status.ullTotalPhys) / 1048576.0,
                                  static_cast<double>(status.ullAvailPhys) / 1048576.0);
            return;
        }
    }
    if (WinAPITable.GlobalMemoryStatus == nullptr) return;
    MEMORYSTATUS status{};
    status.dwLength = sizeof(status);
    WinAPITable.GlobalMemoryStatus(&status);
    const double total = static_cast<double>(status.dwTotalPhys) / 1048576.0;
    const double available = static_cast<double>(status.dwAvailPhys) / 1048576.0;
    Log_AddFormatShiftJIS("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", total, available);
    char line[64];
    std::snprintf(line, sizeof(line), "%.2fMB\n", available);
    if (WinAPITable.OutputDebugStringA) WinAPITable.OutputDebugStringA(line);
}

void Window_TestTimers() {
    Log_AddTextShiftJIS("タイマーの精度を検査します\n");
    LARGE_INTEGER counter{};
    WinAPITable.QueryPerformanceCounter(&counter);
    int64_t lastCounter = counter.QuadPart;
    DWORD lastTimer = WinAPITable.timeGetTime();
    const DWORD start = lastTimer;
    int timerChanges = 0, counterChanges = 0;
    while (WinAPITable.timeGetTime() - start < 1000 && timerChanges < 60 && counterChanges < 60) {
        WinAPITable.QueryPerformanceCounter(&counter);
        if (counter.QuadPart != lastCounter) {
            ++counterChanges;
            lastCounter = counter.QuadPart;
        }
        const DWORD timer = WinAPITable.timeGetTime();
        if (timer != lastTimer) {
            ++timerChanges;
            lastTimer = timer;
        }
    }
    Log_AddFormatShiftJIS("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d", timerChanges,
                          counterChanges);
    if (timerChanges > counterChanges) {
        Log_AddFormatShiftJIS("Multi Media Timer を使用します Timer 精度 : %d.00 ms ", Window.TimerPeriod);
        Window.UsePerfCounter = 0;
    } else {
        Log_AddFormatShiftJIS("パフォーマンスカウンターを使用します タイマー精度 : %lf KHz ",
                              static_cast<double>(Window.PerfFrequency) / 1000.0);
    }
}

// Switches the screen saver off, remembering the setting found first.
void Window_ScreenSaverOff() {
    if (!Window.ScreenSaverSaved) {
        BOOL active = TRUE;
        if (WinAPI_SystemParametersInfo(SPI_GETSCREENSAVEACTIVE, 0, &active, 0)) {
            Window.ScreenSaverWasActive = active ? 1 : 0;
            Window.ScreenSaverSaved = 1;
        }
    }
    WinAPI_SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
}

}  // namespace

void Window_RestoreProcessSettings() {
    WinAPI_EnsureLoaded();
    if (Window.ScreenSaverSaved) {
        WinAPI_SystemParametersInfo(SPI_SETSCREENSAVEACTIVE, Window.ScreenSaverWasActive ? TRUE : FALSE, nullptr,
                                    SPIF_SENDCHANGE);
        Window.ScreenSaverSaved = 0;
    }
    if (Window.TimerPeriod != 0) {
        if (WinAPITable.timeEndPeriod) WinAPITable.timeEndPeriod(static_cast<UINT>(Window.TimerPeriod));
        Window.TimerPeriod = 0;
    }
    if (Window_InfoTimerPeriod != 0) {
        if (WinAPITable.timeEndPeriod) WinAPITable.timeEndPeriod(Window_InfoTimerPeriod);
        Window_InfoTimerPeriod = 0;
    }
}

void Window_ResetState() {
    static WindowKeptSettings kept;
    kept.StyleMode = Window.StyleMode;
    kept.WindowMode = Window.WindowMode;
    kept.CloseDisabled = Window.CloseDisabled;
    kept.AllowMultipleInstances = Window.AllowMultipleInstances;
    kept.TitleSet = Window.TitleSet;
    kept.RunWhileInactive = Window.RunWhileInactive;
    kept.IconId = Window.IconId;
    kept.ScaleRateSet = Window.ScaleRateSet;
    kept.OsVersionCode = Window.OsVersionCode;
    kept.ScaleRateX = Window.ScaleRateX;
    kept.ScaleRateY = Window.ScaleRateY;
    std::memcpy(kept.WindowTitle, Window.WindowTitle, sizeof(kept.WindowTitle));
    std::memcpy(kept.ClassName, Window.ClassName, sizeof(kept.ClassName));
    // The system information logged just before belongs to this start too.
    kept.LogicalProcessorCount = Window.LogicalProcessorCount;
    std::memcpy(kept.OsDescription, Window.OsDescription, sizeof(kept.OsDescription));
    // Set by the start-up just before: without them COM would never be ended and the current
    // directory never given back.
    kept.ComStarted = Window.ComStarted;
    std::memcpy(kept.StartDirectory, Window.StartDirectory, sizeof(kept.StartDirectory));
    // The call gate is never touched: another thread may hold its lock or queue on it right now,
    // and a copy put back would undo what that thread did. Everything before and after it is cleared.
    constexpr size_t gateStart = offsetof(WindowState, Gate);
    constexpr size_t gateEnd = gateStart + sizeof(LibraryCallGate);
    std::memset(&Window, 0, gateStart);
    std::memset(reinterpret_cast<char*>(&Window) + gateEnd, 0, sizeof(WindowState) - gateEnd);
    Window.StyleMode = kept.StyleMode;
    Window.WindowMode = kept.WindowMode;
    Window.CloseDisabled = kept.CloseDisabled;
    Window.AllowMultipleInstances = kept.AllowMultipleInstances;
    Window.TitleSet = kept.TitleSet;
    Window.RunWhileInactive = kept.RunWhileInactive;
    Window.IconId = kept.IconId;
    Window.ScaleRateSet = kept.ScaleRateSet;
    Window.OsVersionCode = kept.OsVersionCode;
    Window.ScaleRateX = kept.ScaleRateX;
    Window.ScaleRateY = kept.ScaleRateY;
    std::memcpy(Window.WindowTitle, kept.WindowTitle, sizeof(kept.WindowTitle));
    std::memcpy(Window.ClassName, kept.ClassName, sizeof(kept.ClassName));
    Window.LogicalProcessorCount = kept.LogicalProcessorCount > 0 ? kept.LogicalProcessorCount : 1;
    std::memcpy(Window.OsDescription, kept.OsDescription, sizeof(kept.OsDescription));
    Window.ComStarted = kept.ComStarted;
    std::memcpy(Window.StartDirectory, kept.StartDirectory, sizeof(kept.StartDirectory));
}

int Window_Initialize() {
    // 1. Reset the record, keeping the settings and the call gate.
    Window_ResetState();

    // 2. Instance, window thread, asynchronous loading and the file module.
    WinAPI_EnsureLoaded();
    Window.Instance = WinAPI_GetModuleHandle(nullptr);
    Window.WindowThreadId = WinAPITable.GetCurrentThreadId();
    ASyncLoad_Prepare(Window.WindowThreadId);
    ASyncLoad_SetMessagePump(System_PollMessagesNoLock);  // waits for loader threads keep the window alive
    File_Initialize();

    // 3. Default class name.
    if (Window.ClassName[0] == 0)
        Window_CopyText(Window.ClassName, 256, Window.WindowTitle[0] != 0 ? Window.WindowTitle : DefaultClassName);

    // 4. Memory status; 5. content size.
    Window_LogMemoryStatus();
    int contentWidth = 0, contentHeight = 0;
    Window_GetContentSize(&contentWidth, &contentHeight);

    // 6. Timers.
    LARGE_INTEGER frequency{};
    if (WinAPITable.QueryPerformanceFrequency) WinAPITable.QueryPerformanceFrequency(&frequency);
    Window.PerfFrequency = frequency.QuadPart;
    Window.UsePerfCounter = frequency.QuadPart != 0 ? 1 : 0;
    const UINT period = Window_QueryFinestTimerPeriod();
    if (period != 0 && WinAPITable.timeBeginPeriod && WinAPITable.timeBeginPeriod(period) == TIMERR_NOERROR)
        Window.TimerPeriod = static_cast<int32_t>(period);

    // 7. Timer test.
    if (Window.UsePerfCounter) Window_TestTimers();
    Time_SetPerfCounter(Window.UsePerfCounter, Window.PerfFrequency);

    // 8. Random numbers, screen saver.
    Random_Seed(static_cast<uint32_t>(GetMillisecondCount()));
    Window_ScreenSaverOff();

    // 9. The window.
    if (!LibraryCore.NoWindow) {
        Log_AddTextShiftJIS("ソフトの二重起動検査... ");
        if (WinAPI_FindWindow(Window.ClassName, nullptr) != nullptr) {
            if (Window.AllowMultipleInstances == 0) {
                Log_AddTextUTF16WithError(0x1010002, L"二重起動されています、ソフトを終了します\n");
                Window.EndFlag = 1;
                System_RequestEnd();
                Window_RestoreProcessSettings();
                return -1;
            }
            Log_AddTextShiftJIS("二重起動されていますが続行します\n");
        } else {
            Log_AddTextShiftJIS("二重起動はされていませんでした\n");
        }

        Window.CreatingWindow = 1;
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = Window_Procedure;
        windowClass.hInstance = Window.Instance;
        windowClass.hIcon = WinAPI_LoadIcon(Window.Instance, MAKEINTRESOURCEW(Window.IconId == 0 ? 0x7F00 : (Window.IconId & 0xFFFF)));
        windowClass.hCursor = WinAPI_LoadCursor(nullptr, MAKEINTRESOURCEW(32512));
        windowClass.hbrBackground = static_cast<HBRUSH>(WinAPITable.GetStockObject(NULL_BRUSH));
        windowClass.lpszClassName = Window.ClassName;
        Log_AddTextShiftJIS("ウインドウクラスを登録します... ");
        if (WinAPI_RegisterClassEx(&windowClass) != 0) {
            Window.ClassRegistered = 1;
            Log_AddTextShiftJIS("登録に成功しました\n");
        } else {
            Window.EndFlag = 1;
            System_RequestEnd();
        }

        if (Window.TitleSet == 0) Window_CopyText(Window.WindowTitle, 256, DefaultWindowTitle);

        const WindowStyleEntry& style = WindowStyleTable[Window.StyleMode];
        if (Window.WindowMode) {
            Log_AddTextShiftJIS("ウインドウモード起動用のウインドウを作成します\n");
            Window.MouseVisibleSetting = 1;
            int desktopWidth = 0, desktopHeight = 0, desktopLeft = 0, desktopTop = 0, dpiX = 96, dpiY = 96;
            Window_GetDesktopInfo(&desktopWidth, &desktopHeight, nullptr, nullptr, &desktopLeft, &desktopTop, nullptr,
                                  nullptr, &dpiX, &dpiY);
            double rateX = 1.0, rateY = 1.0;
            Window_GetScaleRate(&rateX, &rateY);
            if (Window.ScaleRateSet == 0 && (dpiX != 96 || dpiY != 96)) {
                rateX = rateX * dpiX / 96.0;
                rateY = rateY * dpiY / 96.0;
                Window_SetScaleRate(rateX, rateY);
            }
            const int clientWidth = static_cast<int>(contentWidth * rateX);
            const int clientHeight = static_cast<int>(contentHeight * rateY);
            RECT rect = {0, 0, clientWidth, clientHeight};
            WinAPITable.AdjustWindowRectEx(&rect, style.WindowedStyle, FALSE, style.WindowedExStyle);
            const int windowWidth = rect.right - rect.left;
            const int windowHeight = rect.bottom - rect.top;
            const int left = desktopLeft + (desktopWidth - windowWidth) / 2 + rect.left;
            const int top = desktopTop + (desktopHeight - windowHeight) / 2 + rect.top;
            Log_AddFormatShiftJIS("ウインドウ矩形 ( %d, %d )-( %d, %d )", left, top, left + windowWidth,
                                  top + windowHeight);
            Window.MainWindow = WinAPI_CreateWindowEx(style.WindowedExStyle, Window.ClassName, Window.WindowTitle,
                                                      style.WindowedStyle, left, top, windowWidth, windowHeight,
                                                      nullptr, nullptr, Window.Instance, nullptr);
        } else {
            Log_AddTextShiftJIS("フルスクリーンモード用のウインドウを作成します\n");
            int dpiX = 96, dpiY = 96, desktopLeft = 0, desktopTop = 0, desktopWidth = 0, desktopHeight = 0;
            Window_GetDesktopInfo(&desktopWidth, &desktopHeight, nullptr, nullptr, &desktopLeft, &desktopTop, nullptr,
                                  nullptr, &dpiX, &dpiY);
            double rateX = 1.0, rateY = 1.0;
            Window_GetScaleRate(&rateX, &rateY);
            if (Window.ScaleRateSet == 0 && (dpiX != 96 || dpiY != 96))
                Window_SetScaleRate(rateX * dpiX / 96.0, rateY * dpiY / 96.0);
            Window.MouseVisibleSetting = 0;
            Window.MainWindow = WinAPI_CreateWindowEx(style.FullScreenExStyle, Window.ClassName, Window.WindowTitle,
                                                      style.FullScreenStyle, desktopLeft, desktopTop, contentWidth,
                                                      contentHeight, nullptr, nullptr, Window.Instance, nullptr);
            const int mode = Graphics_Screen_GetFullScreenResolutionMode();
            Window.ClientRect.left = desktopLeft;
            Window.ClientRect.top = desktopTop;
            Window.ClientRect.right = desktopLeft + ((mode == 2 || mode == 3) ? contentWidth : desktopWidth);
            Window.ClientRect.bottom = desktopTop + ((mode == 2 || mode == 3) ? contentHeight : desktopHeight);
        }

        if (Window.MainWindow == nullptr) {
            Window.EndFlag = 1;
            System_RequestEnd();
            Log_AddTextUTF16WithError(0x1010003, L"ウインドウの作成に失敗しました\n");
            Window.CreatingWindow = 0;
            // The class of a window that was never made is given back, so that a later start can
            // register it again.
            if (Window.ClassRegistered) {
                WinAPI_UnregisterClass(Window.ClassName, Window.Instance);
                Window.ClassRegistered = 0;
            }
            Window_RestoreProcessSettings();
            return -1;
        }
        Log_AddTextShiftJIS("ウインドウの作成に成功しました\n");
        Log_AddTextShiftJIS("ウインドウを表示します\n");
        WinAPITable.ShowWindow(Window.MainWindow, style.ShowCommand);
        WinAPITable.UpdateWindow(Window.MainWindow);
        if (WinAPITable.RegisterTouchWindow) WinAPITable.RegisterTouchWindow(Window.MainWindow, 0);

        Window.DestroyRequested = 0;
        Window.Destroyed = 0;
        Window.ActiveFlag = 1;
        if (Window_IsTrueFullScreen()) {
            Log_AddTextShiftJIS("カーソルを不可視にしました\n");
            while (WinAPITable.ShowCursor(FALSE) >= 0) {
            }
        }

        // A library started again keeps the IME of a field that used it when the library ended.
        Log_AddTextShiftJIS("ＩＭＥを無効にしました\n");
        if (WinAPITable.WINNLSEnableIME) WinAPITable.WINNLSEnableIME(Window.MainWindow, Ime_IsAttached() ? TRUE : FALSE);

        if (Window.WindowMode) {
            RECT client{};
            if (WinAPITable.GetClientRect(Window.MainWindow, &client)) {
                POINT origin = {0, 0};
                WinAPITable.ClientToScreen(Window.MainWindow, &origin);
                Window.ClientRect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
            }
        }

        Window_SetMouseCursorVisible(-1);
        Window.CloseState = CloseStateNormal;
        WinAPITable.BringWindowToTop(Window.MainWindow);
        Window_ProcessSize();
        Window.CreatingWindow = 0;
        Window_RefreshDragAcceptFiles();
    }

    // 10. Loader threads, last, so that every field is set before any of them runs.
    if (ASyncLoad_StartThreads(Window.LogicalProcessorCount) != 0) {
        Log_AddTextUTF16WithError(0x1010004, L"非同期読み込み処理を行うスレッドの立ち上げに失敗しました\n");
        Window.EndFlag = 1;
        System_RequestEnd();
        Window_RestoreProcessSettings();
        return -1;
    }
    return 0;
}

int Window_Terminate() {
    WinAPI_EnsureLoaded();
    if (Window.MainWindow == nullptr && !LibraryCore.NoWindow) return 0;
    Log_AddTextShiftJIS("ウィンドウ関連の終了処理... ");
    if (LibraryCore.NoWindow) {
        Window.EndFlag = 1;
        System_RequestEnd();
    } else {
        if (WinAPITable.WINNLSEnableIME) WinAPITable.WINNLSEnableIME(Window.MainWindow, TRUE);
        Window_SetMouseCursorVisible(1);
        if (Window.DestroyRequested == 0) {
            Window.DestroyRequested = 1;
            WinAPI_PostMessage(Window.MainWindow, WM_CLOSE, 0, 0);
        }
        // Bounded: a window that never reaches WM_DESTROY must not hang the shut-down.
        const int32_t start = GetMillisecondCount();
        while (System_PollMessagesNoLock() == 0 && Window.Destroyed == 0) {
            if (GetMillisecondCount() - start > 5000) break;
        }
        if (Window.ClassRegistered) {
            WinAPI_UnregisterClass(Window.ClassName, Window.Instance);
            Window.ClassRegistered = 0;
        }
        KeyInput_DeleteAll();
        Window_FreeDroppedFiles();
    }
    File_Terminate();
    ASyncLoad_StopThreads();
    ASyncLoad_Finish();
    // The screen saver goes back to the setting found at start-up; both timer raises are undone.
    Window_RestoreProcessSettings();
    Log_AddTextShiftJIS("完了\n");
    return 0;
}

int Window_LogSystemInfo() {
    WinAPI_EnsureLoaded();
    Log_AddTextShiftJIS("システムの情報を出力します\n");
    Log_Indent_Increase();
    char versionLine[64];
    std::snprintf(versionLine, sizeof(versionLine), "Vantrel Ver%s\n", LibraryVersionText);
    Log_AddTextShiftJIS(versionLine);

    SYSTEM_INFO info{};
    WinAPITable.GetSystemInfo(&info);
    Window.LogicalProcessorCount = static_cast<int32_t>(info.dwNumberOfProcessors);
    Log_AddFormatShiftJIS("論理プロセッサの数 : %d", Window.LogicalProcessorCount);

    Log_AddTextShiftJIS("ＯＳ  ");
    const wchar_t* name = L"";
    wchar_t servicePack[128] = {0};
    int build = -1;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    WinAPI_GetVersionEx(&version);
    Window_CopyText(servicePack, 128, version.szCSDVersion);
    build = static_cast<int>(version.dwBuildNumber & 0xFFFF);
    DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
    bool decided = false;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && major >= 6 && minor >= 2) {
        if (WinAPITable.RtlGetVersion) {
            RTL_OSVERSIONINFOW real{};
            real.dwOSVersionInfoSize = sizeof(real);
            if (WinAPITable.RtlGetVersion(&real) == 0) {
                major = real.dwMajorVersion;
                minor = real.dwMinorVersion;
                build = static_cast<int>(real.dwBuildNumber);
                Window_CopyText(servicePack, 128, real.szCSDVersion);
            }
        } else if (WinAPITable.VerifyVersionInfoW && WinAPITable.VerSetConditionMask) {
            auto atLeast = [](DWORD wantMajor, DWORD wantMinor, BYTE condition) {
                OSVERSIONINFOEXW want{};
                want.dwOSVersionInfoSize = sizeof(want);
                want.dwMajorVersion = wantMajor;
                want.dwMinorVersion = wantMinor;
                ULONGLONG mask = WinAPITable.VerSetConditionMask(0, VER_MAJORVERSION, condition);
                mask = WinAPITable.VerSetConditionMask(mask, VER_MINORVERSION, condition);
                return WinAPITable.VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
            };
            build = 0;
            servicePack[0] = 0;
            decided = true;
            if (atLeast(10, 0, VER_GREATER)) {
                name = L"10 After";
                Window.OsVersionCode = OsVersionWin10;
            } else if (atLeast(10, 0, VER_GREATER_EQUAL) || atLeast(6, 4, VER_GREATER_EQUAL)) {
                name = L"10";
                Window.OsVersionCode = OsVersionWin10;
            } else if (atLeast(6, 3, VER_GREATER_EQUAL)) {
                name = L"8.1";
                Window.OsVersionCode = 0x10B;
            } else {
                name = L"8";
                Window.OsVersionCode = 0x10A;
            }
        }
    }
    if (!decided) {
        if (version.dwPlatformId == VER_PLATFORM_WIN32s) {
            name = L"3.1";
            Window.OsVersionCode = 0;
        } else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
            if (minor == 0) {
                name = servicePack[0] == L'C' ? L"95OSR2" : L"95";
                Window.OsVersionCode = 1;
            } else if (minor == 10) {
                name = servicePack[0] == L'A' ? L"98SE" : L"98";
                Window.OsVersionCode = 2;
            } else {
                name = L"Me";
                Window.OsVersionCode = 3;
            }
        } else if (major <= 3) {
            name = L"NT 3.51";
            Window.OsVersionCode = 0x104;
        } else if (major == 4) {
            name = L"4.0";
            Window.OsVersionCode = 0x105;
        } else if (major == 5) {
            name = minor == 0 ? L"2000" : L"XP";
            Window.OsVersionCode = minor == 0 ? 0x106 : 0x107;
        } else if (major == 6) {
            static const wchar_t* const names[] = {L"Vista", L"7", L"8", L"8.1", L"10"};
            const DWORD index = minor > 4 ? 4 : minor;
            name = names[index];
            Window.OsVersionCode = static_cast<int32_t>(0x108 + index);
        } else {
            const bool eleven = build >= 22000;
            name = eleven ? L"11" : L"10";
            Window.OsVersionCode = eleven ? OsVersionWin11 : OsVersionWin10;
        }
    }
    wchar_t full[64] = L"Windows";
    const int prefix = 7;
    Window_CopyText(full + prefix, 64 - prefix, name);
    if (build >= 0)
        std::swprintf(Window.OsDescription, 256, L"%ls ( Build %d %ls )", full, build, servicePack);
    else
        Window_CopyText(Window.OsDescription, 256, full);
    Log_AddFormatUTF16(L"%s", Window.OsDescription);

    if (Window_InfoTimerPeriod == 0) {
        const UINT period = Window_QueryFinestTimerPeriod();
        if (period != 0 && WinAPITable.timeBeginPeriod && WinAPITable.timeBeginPeriod(period) == TIMERR_NOERROR)
            Window_InfoTimerPeriod = period;
    }
    Log_Indent_Decrease();
    return 0;
}

int Window_Com_Initialize() {
    WinAPI_EnsureLoaded();
    if (Window.ComStarted) return -1;
    Log_AddTextShiftJIS("ＣＯＭの初期化... ");
    if (WinAPITable.CoInitializeEx == nullptr || FAILED(WinAPITable.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    Window.ComStarted = 1;
    return 0;
}

int Window_Com_Terminate() {
    WinAPI_EnsureLoaded();
    if (!Window.ComStarted) return -1;
    WinAPITable.CoUninitialize();
    Log_AddTextShiftJIS("ＣＯＭを終了... 完了\n");
    Window.ComStarted = 0;
    return 0;
}

void Window_ForceForeground(HWND window, int reposition) {
    WinAPI_EnsureLoaded();
    HWND foreground = WinAPITable.GetForegroundWindow();
    const DWORD foregroundThread = foreground ? WinAPITable.GetWindowThreadProcessId(foreground, nullptr) : 0;
    const DWORD windowThread = WinAPITable.GetWindowThreadProcessId(window, nullptr);
    if (foregroundThread) WinAPITable.AttachThreadInput(windowThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    WinAPI_SystemParametersInfo(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    WinAPI_SystemParametersInfo(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    WinAPITable.SetForegroundWindow(window);
    WinAPI_SystemParametersInfo(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(timeout)), 0);
    if (foregroundThread) WinAPITable.AttachThreadInput(windowThread, foregroundThread, FALSE);
    if (reposition == 1)
        WinAPITable.SetWindowPos(Window.MainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
}

int Window_GetDesktopInfo(int* desktopWidth, int* desktopHeight, int* colourBits, int* refreshRate, int* desktopLeft,
                          int* desktopTop, int* modeWidth, int* modeHeight, int* dpiX, int* dpiY) {
    WinAPI_EnsureLoaded();
    if (Graphics_Display_GetCount() <= 0) Graphics_Display_SetupInfo();
    const GraphicsDisplayInfo* display = Graphics_Display_Get(Graphics_Display_GetCurrentIndex());
    if (display != nullptr) {
        if (desktopWidth) *desktopWidth = display->Width;
        if (desktopHeight) *desktopHeight = display->Height;
        if (colourBits) *colourBits = display->ColourBits;
        if (refreshRate) *refreshRate = display->RefreshRate;
        if (desktopLeft) *desktopLeft = display->Left;
        if (desktopTop) *desktopTop = display->Top;
        if (modeWidth) *modeWidth = display->ModeWidth;
        if (modeHeight) *modeHeight = display->ModeHeight;
        if (dpiX) *dpiX = display->DpiX;
        if (dpiY) *dpiY = display->DpiY;
        return 0;
    }
    if (desktopWidth) *desktopWidth = WinAPITable.GetSystemMetrics(SM_CXSCREEN);
    if (desktopHeight) *desktopHeight = WinAPITable.GetSystemMetrics(SM_CYSCREEN);
    HDC dc = WinAPITable.GetDC(nullptr);
    if (dc != nullptr) {
        if (colourBits) *colourBits = WinAPITable.GetDeviceCaps(dc, BITSPIXEL) * WinAPITable.GetDeviceCaps(dc, PLANES);
        if (refreshRate) *refreshRate = WinAPITable.GetDeviceCaps(dc, VREFRESH);
        if (dpiX) *dpiX = WinAPITable.GetDeviceCaps(dc, LOGPIXELSX);
        if (dpiY) *dpiY = WinAPITable.GetDeviceCaps(dc, LOGPIXELSY);
        WinAPITable.ReleaseDC(nullptr, dc);
    }
    return 0;
}

int Window_GetContentSize(int* width, int* height) {
    int w = 640, h = 480;
    if (!Window.WindowMode) Graphics_Screen_ChooseFullScreenDisplayMode();
    GetMainScreenSize(&w, &h);
    if (width) *width = w;
    if (height) *height = h;
    return h;
}

int Window_GetMonitorDpi(int* dpiX, int* dpiY, int displayIndex) {
    if (Graphics_Display_GetCount() <= 0) Graphics_Display_SetupInfo();
    const int count = Graphics_Display_GetCount();
    if (displayIndex >= count && displayIndex >= 0) return -1;
    const GraphicsDisplayInfo* display =
        Graphics_Display_Get(displayIndex < 0 ? Graphics_Display_GetCurrentIndex() : displayIndex);
    int x = 96, y = 96;
    if (display != nullptr) {
        x = display->DpiX;
        y = display->DpiY;
    } else {
        Window_GetDesktopInfo(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &x, &y);
    }
    if (dpiX) *dpiX = x;
    if (dpiY) *dpiY = y;
    return 0;
}

HWND Window_GetMainHandle() { return Window.MainWindow; }
HWND Window_GetOutputWindow() { return Window.MainWindow; }
int Window_GetActiveFlag() { return Window.ActiveFlag; }
int Window_IsWindowed() { return Window.WindowMode; }
int GetRunWhileInactive() { return Window.RunWhileInactive; }
int Window_IsDestroyRequested() { return Window.DestroyRequested; }

int Window_IsTrueFullScreen() {
    return Window.WindowMode == 0 && Graphics_Screen_GetFullScreenResolutionMode() != 0 ? 1 : 0;
}

int Window_IsNormalWindow() { return Window_IsTrueFullScreen() ? 0 : 1; }

int Window_IsLayered() { return Window.LayeredWindow[0] || Window.LayeredWindow[1] ? 1 : 0; }

int Window_UpdateLayeredFromBackBuffer(const void* baseImage, const RECT* sourceRect, const void* pixels, int flagA,
                                       int flagB) {
    const BaseImage* image = static_cast<const BaseImage*>(baseImage);
    if (image == nullptr || image->pixels == nullptr || Window.MainWindow == nullptr) return -1;
    RECT area = {0, 0, image->width, image->height};
    if (sourceRect != nullptr) area = *sourceRect;
    if (area.left < 0 || area.top < 0 || area.right > image->width || area.bottom > image->height ||
        area.right <= area.left || area.bottom <= area.top)
        return -1;
    WinAPI_EnsureLoaded();
    if (WinAPITable.UpdateLayeredWindow == nullptr || WinAPITable.CreateDIBSection == nullptr) return -1;
    const int width = area.right - area.left, height = area.bottom - area.top;

    // A top-down 32-bit section of the picture, alpha premultiplied as per-pixel alpha wants it.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screenDc = WinAPITable.GetDC(nullptr);
    const HBITMAP section = WinAPITable.CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC memoryDc = section != nullptr ? WinAPITable.CreateCompatibleDC(screenDc) : nullptr;
    int result = -1;
    if (memoryDc != nullptr && bits != nullptr) {
        ColorFormatDesc argb = {};
        BaseImage_ColorFormat_InitARGB8(&argb);
        const BaseImageRect source = {area.left, area.top, area.right, area.bottom};
        BaseImage_ColorConvertBlt(bits, width * 4, &argb, image->pixels, image->pitch, &image->format, nullptr, 0,
                                  nullptr, 0, 0, &source, 0, 0, 0, 0, 0, 0, 0, 0);
        uint8_t* pixel = static_cast<uint8_t*>(bits);
        for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i, pixel += 4)
            for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>((pixel[c] * pixel[3] + 127) / 255);
        const HGDIOBJ previous = WinAPITable.SelectObject(memoryDc, section);
        POINT origin = {0, 0};
        SIZE size = {width, height};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        result = WinAPITable.UpdateLayeredWindow(Window.MainWindow, screenDc, nullptr, &size, memoryDc, &origin, 0,
                                                 &blend, ULW_ALPHA)
                     ? 0
                     : -1;
        WinAPITable.SelectObject(memoryDc, previous);
    }
    if (memoryDc != nullptr) WinAPITable.DeleteDC(memoryDc);
    if (section != nullptr) WinAPITable.DeleteObject(section);
    if (screenDc != nullptr) WinAPITable.ReleaseDC(nullptr, screenDc);
    return result;
}

}  // namespace Vantrel
