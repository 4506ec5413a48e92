// The main window on a real display: client size, style, title and class, the close box with closing
// disabled, deferred activation changes, the second-instance check, and the window settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WindowTestSupport.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

RECT ClientRect() {
    RECT rect{};
    GetClientRect(Window_GetMainHandle(), &rect);
    return rect;
}

}  // namespace

TEST_F(LibraryTest, ClientAreaHasTheToolsContentSizeAndRowZeroStyle) {
    ASSERT_EQ(SetMainWindowTitle("Qelvar window test"), 0);
    ASSERT_EQ(InitializeLibrary(), 0);
    HWND window = Window_GetMainHandle();
    ASSERT_NE(window, nullptr);
    int dpiX = 0, dpiY = 0;
    Window_GetMonitorDpi(&dpiX, &dpiY, -1);
    const RECT client = ClientRect();
    EXPECT_EQ(client.right, 860 * dpiX / 96);
    EXPECT_EQ(client.bottom, 560 * dpiY / 96);
    EXPECT_EQ(Window.ClientRect.right - Window.ClientRect.left, client.right);
    EXPECT_EQ(Window.ClientRect.bottom - Window.ClientRect.top, client.bottom);

    // The class is named after the title, so another copy of the program finds this window.
    EXPECT_EQ(FindWindowW(L"Qelvar window test", nullptr), window);
    wchar_t title[64] = {0};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Qelvar window test");

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_NE(style & WS_VISIBLE, 0);
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(PollMessages(), 0);
}

// Run in a child process whose prefix reports 144 DPI: writes the client size and scale rates.
TEST(WindowDpiChild, ReportClientArea) {
    const char* output = std::getenv("VT_DPI_CHILD_OUTPUT");
    if (output == nullptr) GTEST_SKIP() << "only run by ClientAreaIsScaledAt144Dpi";
    PinXInputLibraries();
    ApplyToolSettings();
    ASSERT_EQ(InitializeLibrary(), 0);
    RECT client{};
    GetClientRect(Window_GetMainHandle(), &client);
    double rateX = 0, rateY = 0;
    Window_GetScaleRate(&rateX, &rateY);
    int dpiX = 0, dpiY = 0;
    Window_GetMonitorDpi(&dpiX, &dpiY, -1);
    FILE* file = std::fopen(output, "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "%ld %ld %.3f %.3f %d\n", client.right, client.bottom, rateX, rateY, dpiX);
    std::fclose(file);
    TerminateLibrary();
}

TEST(WindowDpi, ClientAreaIsScaledAt144Dpi) {
    HKEY desktop = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &desktop, nullptr),
              ERROR_SUCCESS);
    DWORD previous = 0, size = sizeof(previous), type = 0;
    const bool hadValue =
        RegQueryValueExW(desktop, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&previous), &size) == ERROR_SUCCESS;
    const DWORD dpi = 144;
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));

    wchar_t exe[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t folder[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, folder);
    std::wstring outputPath = std::wstring(folder) + L"vt_dpi_child.txt";
    DeleteFileW(outputPath.c_str());
    SetEnvironmentVariableW(L"VT_DPI_CHILD_OUTPUT", outputPath.c_str());
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=WindowDpiChild.ReportClientArea";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    DWORD waited = WAIT_FAILED;
    if (started) {
        waited = WaitForSingleObject(process.hProcess, 60000);
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    SetEnvironmentVariableW(L"VT_DPI_CHILD_OUTPUT", nullptr);
    if (hadValue)
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous), sizeof(previous));
    else
        RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
    ASSERT_TRUE(started);
    ASSERT_EQ(waited, WAIT_OBJECT_0);

    FILE* file = _wfopen(outputPath.c_str(), L"r");
    ASSERT_NE(file, nullptr);
    long width = 0, height = 0;
    double rateX = 0, rateY = 0;
    int childDpi = 0;
    const int fields = std::fscanf(file, "%ld %ld %lf %lf %d", &width, &height, &rateX, &rateY, &childDpi);
    std::fclose(file);
    DeleteFileW(outputPath.c_str());
    ASSERT_EQ(fields, 5);
    if (childDpi != 144) GTEST_SKIP() << "this Wine does not take the DPI from the registry (" << childDpi << ")";
    EXPECT_EQ(width, 1290);
    EXPECT_EQ(height, 840);
    EXPECT_DOUBLE_EQ(rateX, 1.5);
    EXPECT_DOUBLE_EQ(rateY, 1.5);
}

TEST_F(LibraryTest, CloseBoxWithClosingDisabledIsReportedUntilReset) {
    SetWindowCloseEnabled(0);
    ASSERT_EQ(InitializeLibrary(), 0);
    HWND window = Window_GetMainHandle();
    EXPECT_EQ(CheckWindowCloseRequest(0), 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(PollMessages(), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(LogContains(u8"ウインドウを閉じようとしています\r\n"));
    EXPECT_EQ(CheckWindowCloseRequest(0), 1);
    EXPECT_EQ(PollMessages(), 0);
    EXPECT_EQ(CheckWindowCloseRequest(0), 1);
    EXPECT_EQ(CheckWindowCloseRequest(1), 1);  // reports, then resets
    EXPECT_EQ(CheckWindowCloseRequest(0), 0);
    EXPECT_EQ(PollMessages(), 0);
    // Shut-down destroys the window even though closing is disabled.
    EXPECT_EQ(TerminateLibrary(), 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(LibraryTest, CloseBoxWithClosingEnabledEndsTheProgram) {
    ASSERT_EQ(InitializeLibrary(), 0);
    HWND window = Window_GetMainHandle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return Window.EndFlag == 1; }));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(PollMessages(), -1);
    EXPECT_EQ(System_IsEndRequested(), 1);
}

namespace {

// Records the activity flag at the moment a marker message reaches the window.
WNDPROC LibraryProcedure = nullptr;
const UINT MarkerMessage = WM_APP + 7;
int ActiveAtMarker = -1;
int MarkersSeen = 0;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MarkerMessage) {
        ActiveAtMarker = Window.ActiveFlag;
        ++MarkersSeen;
    }
    return CallWindowProcW(LibraryProcedure, window, message, wParam, lParam);
}

}  // namespace

TEST_F(LibraryTest, ActivationChangesDuringDispatchAreReplayedInOrderAfterTheDrain) {
    ASSERT_EQ(InitializeLibrary(), 0);
    HWND window = Window_GetMainHandle();
    for (int i = 0; i < 20; ++i) PollMessages();  // let the start-up's own activations settle
    LibraryProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProcedure)));

    struct Case {
        WPARAM First, Second;
        int Expected;
    };
    const Case cases[] = {
        {WA_INACTIVE, WA_ACTIVE, 1},  // deactivate, then activate: ends active
        {WA_ACTIVE, WA_INACTIVE, 0},  // activate, then deactivate: ends inactive
        {WA_INACTIVE, WA_ACTIVE, 1},
    };
    for (const Case& c : cases) {
        const int before = Window.ActiveFlag;
        MarkersSeen = 0;
        PostMessageW(window, WM_ACTIVATE, c.First, 0);
        PostMessageW(window, WM_ACTIVATE, c.Second, 0);
        PostMessageW(window, MarkerMessage, 0, 0);
        EXPECT_EQ(PollMessages(), 0);
        ASSERT_EQ(MarkersSeen, 1);
        EXPECT_EQ(ActiveAtMarker, before) << "an activation change ran inside the drain";
        EXPECT_EQ(Window.ActiveFlag, c.Expected);
        EXPECT_EQ(Window.ActivateQueue.Count, 0);
    }
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LibraryProcedure));
}

namespace {

// Stands in for the window of another copy of the program. Its class belongs to another module so
// that the library can still register its own class of the same name in this process.
HINSTANCE OtherInstance() { return GetModuleHandleW(L"kernel32.dll"); }

HWND CreateWindowOfClass(const wchar_t* className) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = OtherInstance();
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, className, L"other copy", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                           OtherInstance(), nullptr);
}

}  // namespace

TEST_F(LibraryTest, SecondInstanceIsRefusedUnlessSeveralAreAllowed) {
    ASSERT_EQ(SetMainWindowTitle("Qelvar instance test"), 0);
    HWND other = CreateWindowOfClass(L"Qelvar instance test");
    ASSERT_NE(other, nullptr);
    SetScreenSaverActive(0);

    SetAllowMultipleInstances(0);
    EXPECT_EQ(InitializeLibrary(), -1);
    EXPECT_EQ(Window_GetMainHandle(), nullptr);
    EXPECT_TRUE(LogContains(u8"二重起動されています、ソフトを終了します\r\n"));
    EXPECT_TRUE(LogContains(u8"Vantrelの初期化処理失敗"));
    EXPECT_EQ(System_IsEndRequested(), 1);
    EXPECT_EQ(ScreenSaverActive(), 0);  // given back as it was, not forced on
    EXPECT_EQ(TerminateLibrary(), 0);

    SetAllowMultipleInstances(1);
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_NE(Window_GetMainHandle(), nullptr);
    EXPECT_NE(Window_GetMainHandle(), other);
    EXPECT_TRUE(LogContains(u8"二重起動されていますが続行します\r\n"));
    EXPECT_EQ(PollMessages(), 0);
    EXPECT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(ScreenSaverActive(), 0);

    DestroyWindow(other);
    UnregisterClassW(L"Qelvar instance test", OtherInstance());
    SetScreenSaverActive(1);
    SetMainWindowTitle("Vantrel");
}

TEST(WindowSettings, SettersKeepTheirValuesAndRefuseBadOnes) {
    SetWindowCloseEnabled(0);
    EXPECT_EQ(Window.CloseDisabled, 1);
    SetWindowCloseEnabled(5);
    EXPECT_EQ(Window.CloseDisabled, 0);

    const double oldX = Window.ScaleRateX, oldY = Window.ScaleRateY;
    const int oldSet = Window.ScaleRateSet;
    Window_SetScaleRate(2.0, 0);
    EXPECT_EQ(Window.ScaleRateX, 2.0);
    EXPECT_EQ(Window.ScaleRateY, 2.0);
    Window_SetScaleRate(-1, -1);
    EXPECT_EQ(Window.ScaleRateX, 1.0);
    EXPECT_EQ(Window.ScaleRateY, 1.0);
    EXPECT_EQ(Window.ScaleRateSet, 1);
    Window.ScaleRateX = oldX;
    Window.ScaleRateY = oldY;
    Window.ScaleRateSet = oldSet;

    const int oldMode = Window.StyleMode;
    EXPECT_EQ(Window_SetStyleMode(12), -1);
    EXPECT_EQ(Window.StyleMode, oldMode);

    std::string longTitle(300, 'a');
    ASSERT_EQ(SetMainWindowTitle(longTitle.c_str()), 0);
    EXPECT_EQ(std::wstring(Window.WindowTitle), std::wstring(255, L'a'));
    // Japanese titles come in the program's code page and are kept as UTF-16.
    ASSERT_EQ(SetMainWindowTitle("\x83\x65\x83\x58\x83\x67"), 0);  // "テスト" in Shift-JIS
    EXPECT_STREQ(Window.WindowTitle, L"\u30C6\u30B9\u30C8");
    SetMainWindowTitle("Vantrel");
}

TEST(WindowSettings, ChangeWindowModeLogsEachCallButChangesOnce) {
    ChangeWindowMode(0);
    const std::string before = ReadLog();
    ChangeWindowMode(1);
    ChangeWindowMode(1);
    const std::string after = ReadLog().substr(before.size());
    size_t calls = 0;
    for (size_t at = after.find(Utf8(u8"ChangeWindowMode実行 \r\n")); at != std::string::npos;
         at = after.find(Utf8(u8"ChangeWindowMode実行 \r\n"), at + 1))
        ++calls;
    EXPECT_EQ(calls, 2u);
    EXPECT_NE(after.find(Utf8(u8"ウインドウモードフラグが立てられました\r\n")), std::string::npos);
    EXPECT_EQ(after.find(Utf8(u8"ウインドウモードフラグが倒されました")), std::string::npos);
    EXPECT_EQ(Window.WindowMode, 1);
}
