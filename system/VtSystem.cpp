// Library start-up and shut-down (InitializeLibrary, TerminateLibrary) inside the call gate, and the
// library's core state: initialised flag, end request, asynchronous-loading switch and last error.
// Stands on every module it starts: foundation, window, input, sound, images, movies, graphics.
#include "system/VtSystem.h"

#include "foundation/VtWinAPI.h"
#include "foundation/VtArchive.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFile.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtNetwork.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImageStart.h"
#include "movie/VtMovie.h"
#include "sound/VtSound.h"
#include "system/VtInput.h"
#include "system/VtSystemNeighbours.h"
#include "system/VtWindow.h"
#include "system/VtWindowWin.h"

namespace Vantrel {

LibraryCoreState LibraryCore;

namespace {

int32_t System_LeftoverBlockCount = 0;

// Step 7: in true full screen, make sure the display offers a mode for the screen setting.
void System_CheckFullScreenMode() {
    bool allow32 = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        int width = 0, height = 0;
        const int bits = GetScreenColorBitDepth();
        GetMainScreenSize(&width, &height);
        Log_AddFormatShiftJIS("設定されている画面設定 %dx%d %dbit color", width, height, bits);
        if (Graphics_Display_GetCount() <= 0) Graphics_Display_SetupInfo();
        const int display = Graphics_Display_GetCurrentIndex();
        const int count = GetDisplayModeCount(display);
        bool found = false;
        for (int i = 0; i < count && !found; ++i) {
            GraphicsDisplayMode mode{};
            GetDisplayModeEntry(&mode, i, display);
            found = mode.Width == width && mode.Height == height &&
                    (mode.ColourBits == bits || (allow32 && mode.ColourBits == 32));
        }
        if (found) return;
        Log_AddTextShiftJIS("対応している画面モードなし\n");
        if (!(width == 640 && height == 480 && bits == 16)) return;
        if (allow32) return;
        if (Graphics_Screen_KeepsColourDepth())
            allow32 = true;
        else
            SetScreenResolution(640, 480, 32, GetScreenRefreshRate());
    }
}

int System_DesktopColourBits() {
    HDC dc = WinAPITable.GetDC(nullptr);
    if (dc == nullptr) return 32;
    const int bits = WinAPITable.GetDeviceCaps(dc, BITSPIXEL) * WinAPITable.GetDeviceCaps(dc, PLANES);
    WinAPITable.ReleaseDC(nullptr, dc);
    return bits;
}

int System_InitFailed() {
    Log_Indent_Decrease();
    Log_AddTextShiftJIS("Vantrelの初期化処理失敗\n");
    // What had started keeps running; only the system-wide settings go back as they were.
    Window_RestoreProcessSettings();
    LibraryCore.Initialising = 0;
    return -1;
}

}  // namespace

int InitializeLibrary() {
    if (LibraryCore.Initialised == 1) return 0;
    Window_LibraryCallGate_Enter();
    const int result = System_InitBody();
    Window_LibraryCallGate_Leave();
    return result;
}

int TerminateLibrary() {
    if (LibraryCore.Initialised == 0) return 0;
    Window_LibraryCallGate_Enter();
    System_EndBody();
    Window_LibraryCallGate_Leave();
    Window_LibraryCallGate_Release();
    return 0;
}

int System_InitBody() {
    if (LibraryCore.Initialised == 1) return 0;
    Log_AddTextShiftJIS("Vantrelの初期化処理開始\n");
    Log_Indent_Increase();
    WinAPI_EnsureLoaded();

    LibraryCore.Initialising = 1;
    Window.EndFlag = 0;
    System_ClearEndRequest();

    CharCode_Initialize();
    BaseFunc_InitSineTable();
    CharCode_EnsureDefaults();
    Archive_Initialize();
    File_Access_InstallTable(nullptr);
    File_Access_GetCurrentDir(Window.StartDirectory, sizeof(Window.StartDirectory));

    Log_File_Create();

    if (Window.WindowMode == 0 && Graphics_Screen_GetFullScreenResolutionMode() != 0) System_CheckFullScreenMode();

    if (!LibraryCore.NoWindow) {
        const int desktopBits = System_DesktopColourBits();
        const bool windowLike = Window.WindowMode == 1 || Graphics_Screen_GetFullScreenResolutionMode() == 0;
        if ((desktopBits == 24 && windowLike) || GetScreenColorBitDepth() == 24) {
            Log_AddTextShiftJIS("Vantrelは２４ビットカラーモードに対応していません\n");
            Log_Indent_Decrease();
            Log_AddTextUTF16WithError(0x1010001, L"Vantrelの初期化処理失敗\n");
            LibraryCore.Initialising = 0;
            return -1;
        }
    }

    LARGE_INTEGER frequency{};
    if (WinAPITable.QueryPerformanceFrequency) WinAPITable.QueryPerformanceFrequency(&frequency);
    Window.PerfFrequency = frequency.QuadPart;
    Window.UsePerfCounter = frequency.QuadPart != 0 ? 1 : 0;

    Window_LogSystemInfo();
    SetGraphRestoreHandler(nullptr);
    Window_Com_Initialize();

    if (Window_Initialize() == -1) return System_InitFailed();
    if (!LibraryCore.NoInput && Input_Initialize() == -1) return System_InitFailed();
    if (!LibraryCore.NoSound) {
        SoundConvert_Initialize();
        Sound_Initialize();
    }
    if (!LibraryCore.NoGraphics) {
        BaseImage_Initialize();
        SoftImage_Initialize();
        Movie_Initialize();
        if (Graphics_Module_Initialize() < 0) return System_InitFailed();
    }
    KeyInput_InitializeCharBuffer();

    LibraryCore.Initialised = 1;
    if (Window_IsTrueFullScreen()) Window_ForceForeground(Window.MainWindow, 1);
    Log_Screen_Setup();
    SelectDrawScreen(-2);
    SelectDrawScreen(-4);
    if (!LibraryCore.NoGraphics) Live2D_ModuleInitialize();
    LibraryCore.Initialising = 0;

    Log_Indent_Decrease();
    Log_AddTextShiftJIS("Vantrelの初期化処理終了\n");
    return 0;
}

int System_EndBody() {
    if (LibraryCore.Initialised == 0) return 0;
    WinAPI_EnsureLoaded();
    EnableAsyncLoad(0);
    while (ASyncLoad_GetPendingCount() > 0) {
        Handle_ProcessDeleteRequests(0);
        ASyncLoad_ServeMainThreadRequests();
        Thread_Sleep(1);
    }
    Handle_ProcessDeleteRequests(1);

    Window.CloseState = CloseStateEnding;

    SoftImage_DeleteAll();
    Log_Screen_Shutdown();
    Network_Terminate();
    Live2D_ModuleTerminate();
    StopMusicPlayback();
    Graphics_Module_Terminate();
    BaseImage_Terminate();
    SoftImage_Terminate();
    Movie_Terminate();
    Input_Terminate();
    KeyInput_TerminateCharBuffer();
    Sound_Terminate();
    SoundConvert_Terminate();
    Window_Terminate();
    Window_Com_Terminate();

    LibraryCore.Initialised = 0;

    if (!LibraryCore.NoWindow) {
        // Bounded, like the window end: a window that never reports its end must not hang here.
        for (int pass = 0; pass < 1000; ++pass) {
            if (System_PollMessagesNoLock() != 0 || Window.EndFlag == 1 || Window.Destroyed == 1) break;
        }
    }

    WinAPI_UnregisterClass(Window.ClassName, Window.Instance);

    if (!LibraryCore.NoWindow) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            HWND found = WinAPI_FindWindow(Window.ClassName, nullptr);
            if (found == nullptr || found != Window.MainWindow) break;
            WinAPITable.DestroyWindow(found);
            WinAPITable.Sleep(100);
        }
        // The unregistration above fails while the window still exists; once it is gone, give the
        // class back so that a later start can register it again.
        WinAPI_UnregisterClass(Window.ClassName, Window.Instance);
    }

    // The quit message that the window's own end posted is not left for a later start's pump.
    MSG quit{};
    while (WinAPITable.PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }

    // The window is gone: no handle to it is left behind, nor the state it had when it went.
    Window.MainWindow = nullptr;
    Window.MinimisedFlag = 0;
    Window.Maximised = 0;
    Window.ActivateQueue.Count = 0;
    Window.ActivateQueue.ReadIndex = 0;
    Window.ActivateQueue.WriteIndex = 0;

    File_Access_SetCurrentDir(Window.StartDirectory);

    Archive_Terminate();
    Memory_DumpAll();
    Log_File_Shutdown();
    System_LeftoverBlockCount = Memory_GetBlockCount();
    Memory_Shutdown();
    WinAPI_UnloadAll();
    return 0;
}

int32_t System_GetLeftoverBlockCount() { return System_LeftoverBlockCount; }

int System_RequestEnd() {
    LibraryCore.EndRequested = 1;
    return 0;
}

int System_ClearEndRequest() {
    LibraryCore.EndRequested = 0;
    return 0;
}

int System_IsEndRequested() { return LibraryCore.EndRequested; }

int EnableAsyncLoad(int flag) {
    LibraryCore.AsyncLoad = flag;
    return 0;
}

int IsAsyncLoadEnabled() { return LibraryCore.AsyncLoad != 0 ? 1 : 0; }

int System_SetLastError(int code, const wchar_t* text) {
    LibraryCore.LastErrorCode = code;
    constexpr int units = sizeof(LibraryCore.LastErrorText) / sizeof(wchar_t);
    int i = 0;
    if (text != nullptr)
        for (; i < units - 1 && text[i] != 0; ++i) LibraryCore.LastErrorText[i] = text[i];
    LibraryCore.LastErrorText[i] = 0;
    return 0;
}

}  // namespace Vantrel
