// Library start-up, per-frame pump and shut-down under Wine: the start-up order in the log, counts
// back at zero, the current folder and screen saver given back, WM_QUIT, a minimised window blocking
// the pump, and a start that fails in one module.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "WindowTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

int LiveHandleCount() {
    int count = 0;
    for (int type = 0; type < HandleType_Count; ++type)
        if (HandleManagerTable[type].Initialized) count += HandleManagerTable[type].Count;
    return count;
}

std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH] = {0};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

}  // namespace

TEST_F(LibraryTest, StartPumpAndEndTwiceLeavesNothingBehind) {
    const std::wstring folder = CurrentFolder();
    wchar_t temp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp);
    SetScreenSaverActive(0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(InitializeLibrary(), 0);
        EXPECT_EQ(LibraryCore.Initialised, 1);
        EXPECT_EQ(InitializeLibrary(), 0);  // already started: nothing happens
        for (int frame = 0; frame < 5; ++frame) ASSERT_EQ(PollMessages(), 0);

        const std::string log = ReadLog();
        const char8_t* order[] = {
            u8"Vantrelの初期化処理開始\r\n",
            u8"\tシステムの情報を出力します\r\n",
            u8"\tＣＯＭの初期化... 成功\r\n",
            u8"非同期読み込み処理の初期化...成功\r\n",
            u8"\tソフトの二重起動検査... 二重起動はされていませんでした\r\n",
            u8"\tウインドウクラスを登録します... 登録に成功しました\r\n",
            u8"\tウインドウの作成に成功しました\r\n",
            u8"\tウインドウを表示します\r\n",
            u8":Vantrelの初期化処理終了\r\n",
        };
        size_t at = 0;
        for (const char8_t* line : order) {
            const size_t found = LogFind(log, line, at);
            EXPECT_NE(found, std::string::npos) << reinterpret_cast<const char*>(line);
            if (found != std::string::npos) at = found;
        }
        EXPECT_EQ(LogFind(log, u8"Vantrelの初期化処理開始"), log.find(":Vantrel") + 1) << "the first entry";

        SetCurrentDirectoryW(temp);  // the program moves; shut-down goes back
        ASSERT_EQ(TerminateLibrary(), 0);
        EXPECT_EQ(LibraryCore.Initialised, 0);
        EXPECT_EQ(CurrentFolder(), folder);
        EXPECT_EQ(System_GetLeftoverBlockCount(), 0) << "blocks left when the memory layer ended";
        EXPECT_EQ(LiveHandleCount(), 0);
        EXPECT_EQ(ScreenSaverActive(), 0);
        EXPECT_EQ(Window_LibraryCallGate_Get().EventsCreated, 0);
        const std::string endLog = ReadLog();
        EXPECT_NE(LogFind(endLog, u8"ウィンドウ関連の終了処理... "), std::string::npos);
        EXPECT_NE(LogFind(endLog, u8"ＣＯＭを終了... 完了"), std::string::npos);
        EXPECT_EQ(TerminateLibrary(), 0);  // already ended
    }
    SetScreenSaverActive(1);
}

TEST_F(LibraryTest, QuitMessageEndsThePumpForGood) {
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(PollMessages(), 0);
    PostQuitMessage(0);
    EXPECT_EQ(PollMessages(), -1);
    EXPECT_EQ(Window.EndFlag, 1);
    EXPECT_EQ(System_IsEndRequested(), 1);
    EXPECT_EQ(PollMessages(), -1);
    EXPECT_EQ(PollMessages(), -1);
}

namespace {

struct Restorer {
    HWND Window;
    DWORD DelayMs;
    HANDLE Done;
};

DWORD WINAPI RestoreLater(LPVOID parameter) {
    Restorer* restorer = static_cast<Restorer*>(parameter);
    Sleep(restorer->DelayMs);
    ShowWindowAsync(restorer->Window, SW_RESTORE);
    // Watchdog: should the pump still wait, end it so that the test cannot hang.
    if (WaitForSingleObject(restorer->Done, 5000) == WAIT_TIMEOUT) PostMessageW(restorer->Window, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

TEST_F(LibraryTest, MinimisedWindowHoldsThePumpUntilRestoredUnlessRunningInactive) {
    SetRunWhileInactive(0);
    ASSERT_EQ(InitializeLibrary(), 0);
    HWND window = Window_GetMainHandle();
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(PumpUntil([] { return Window.MinimisedFlag == 1; }));

    Restorer restorer = {window, 300, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, RestoreLater, &restorer, 0, nullptr);
    const DWORD start = GetTickCount();
    const int result = PollMessages();
    const DWORD waited = GetTickCount() - start;
    SetEvent(restorer.Done);
    EXPECT_EQ(result, 0);
    EXPECT_GE(waited, 250u) << "the pump did not wait for the window";
    EXPECT_LT(waited, 5000u) << "the restore did not end the wait";
    EXPECT_EQ(Window.MinimisedFlag, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(restorer.Done);

    // Running while inactive: a minimised window never holds the pump.
    SetRunWhileInactive(1);
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(PumpUntil([] { return Window.MinimisedFlag == 1; }));
    const DWORD again = GetTickCount();
    EXPECT_EQ(PollMessages(), 0);
    EXPECT_LT(GetTickCount() - again, 250u);
    ShowWindow(window, SW_RESTORE);
    PollMessages();
}

namespace {

HWND WINAPI FailingCreateWindowEx(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

}  // namespace

TEST_F(LibraryTest, InjectedWindowCreationFailureReturnsMinusOneAndALaterStartWorks) {
    SetScreenSaverActive(0);
    WinAPI_EnsureLoaded();
    auto real = WinAPITable.CreateWindowExW;
    WinAPITable.CreateWindowExW = FailingCreateWindowEx;
    const int result = InitializeLibrary();
    WinAPITable.CreateWindowExW = real;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(LibraryCore.Initialised, 0);
    EXPECT_EQ(LibraryCore.Initialising, 0);
    EXPECT_EQ(System_IsEndRequested(), 1);
    const std::string log = ReadLog();
    const size_t failed = LogFind(log, u8"ウインドウの作成に失敗しました\r\n");
    EXPECT_NE(failed, std::string::npos);
    EXPECT_NE(LogFind(log, u8"Vantrelの初期化処理失敗", failed), std::string::npos);
    EXPECT_EQ(LibraryCore.LastErrorCode, 0x1010003);
    EXPECT_EQ(ScreenSaverActive(), 0);
    EXPECT_EQ(TerminateLibrary(), 0);  // nothing to end

    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(System_IsEndRequested(), 0);
    EXPECT_EQ(PollMessages(), 0);
    EXPECT_EQ(TerminateLibrary(), 0);
    SetScreenSaverActive(1);
}
