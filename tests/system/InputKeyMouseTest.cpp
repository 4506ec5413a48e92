// Keyboard and mouse queries: a key injected with SendInput into a window of this thread is seen through
// the KeyStateTable; scripted keyboard states (a fake GetKeyboardState entry) cover the scan rules, the
// mouse buttons and the refresh limits; the wheel accumulator gives whole notches.
#include <gtest/gtest.h>

#include <cstring>

#include "InputTestSupport.h"
#include "system/VtInputKeyMouseWin.h"

using namespace Vantrel;

namespace {

BYTE ScriptedKeys[256];
int KeyboardStateReads = 0;
decltype(WinAPITableRecord::GetKeyboardState) RealGetKeyboardState = nullptr;
decltype(WinAPITableRecord::GetCursorPos) RealGetCursorPos = nullptr;
POINT ScriptedCursor = {0, 0};

BOOL WINAPI ScriptedGetKeyboardState(PBYTE keys)
{
    ++KeyboardStateReads;
    memcpy(keys, ScriptedKeys, 256);
    return TRUE;
}

BOOL WINAPI ScriptedGetCursorPos(LPPOINT point)
{
    *point = ScriptedCursor;
    return TRUE;
}

LRESULT CALLBACK TestWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

class InputKeyMouse : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputTest::PrepareWindowState(0x10C);
        // The queries pump messages; a pump of an inactive window that does not run in the background
        // would wait for it to become active again.
        Window.RunWhileInactive = 1;
        InputTest::FakeTime = 20000;
        InputTest::Joysticks.clear();
        InputTest::RestartInputWithFakes(nullptr);  // joystick-call mode, no pads: the keyboard-state path
        RealGetKeyboardState = WinAPITable.GetKeyboardState;
        RealGetCursorPos = WinAPITable.GetCursorPos;
        memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
        KeyboardStateReads = 0;
    }
    void TearDown() override
    {
        WinAPITable.GetKeyboardState = RealGetKeyboardState;
        WinAPITable.GetCursorPos = RealGetCursorPos;
        Window.MainWindow = nullptr;
        InputTest::RestoreSystem();
    }

    void UseScriptedKeyboard() { WinAPITable.GetKeyboardState = ScriptedGetKeyboardState; }
    void NextTick() { ++InputTest::FakeTime; }
};

// Pumps this thread's messages until one of the given kind arrived or the time (ms) passed.
bool PumpUntil(UINT wanted, DWORD limit = 1000)
{
    DWORD start = GetTickCount();
    bool seen = false;
    while (GetTickCount() - start < limit && !seen) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == wanted) seen = true;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!seen) Sleep(5);
    }
    return seen;
}

void SendKey(WORD virtualKey, WORD scanCode, DWORD flags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scanCode;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof(INPUT));
}

TEST_F(InputKeyMouse, KeysInjectedWithSendInputAreSeenByTheQueries)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = TestWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VtInputKeyTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"VtInputKeyTest", L"input test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                  100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    PumpUntil(WM_NULL, 100);  // let the window settle
    Window.MainWindow = window;

    struct Case {
        WORD virtualKey;
        WORD scanCode;
        DWORD extended;
        int keyCode;
        int secondCode;  // another key code the same key sets, or 0
        int padMask;     // GetPadInputMask(0x1000) while only this key is down
    };
    const Case cases[] = {
        {VK_DOWN, 0x50, KEYEVENTF_EXTENDEDKEY, 0xD0, 0, 1},
        {'Z', 0x2C, 0, 0x2C, 0, 16},
        {VK_RETURN, 0x1C, 0, 0x1C, 0x9C, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyCode);
        SendKey(c.virtualKey, c.scanCode, c.extended);
        ASSERT_TRUE(PumpUntil(WM_KEYDOWN)) << "the injected key never arrived";
        NextTick();
        EXPECT_EQ(IsKeyDown(c.keyCode), 1);
        if (c.secondCode) {
            EXPECT_EQ(IsKeyDown(c.secondCode), 1);
        }
        EXPECT_EQ(FindPressedInput(InputCheckKeyboard), c.keyCode);
        EXPECT_EQ(GetPadInputMask(PadNumberKeyboardBit), c.padMask);

        SendKey(c.virtualKey, c.scanCode, c.extended | KEYEVENTF_KEYUP);
        ASSERT_TRUE(PumpUntil(WM_KEYUP));
        NextTick();
        EXPECT_EQ(IsKeyDown(c.keyCode), 0);
        EXPECT_EQ(FindPressedInput(InputCheckKeyboard), 0);
    }
    Window.MainWindow = nullptr;
    DestroyWindow(window);
    UnregisterClassW(L"VtInputKeyTest", windowClass.hInstance);
}

TEST_F(InputKeyMouse, FindPressedInputSkipsLockKeysAndReportsF10)
{
    UseScriptedKeyboard();
    Window.MainWindow = GetDesktopWindow();  // any window: the query only needs one to exist
    ScriptedKeys[VK_CAPITAL] = 0x81;
    ScriptedKeys[0xF2] = 0x80;  // kana
    ScriptedKeys[0xF4] = 0x80;  // kanji
    NextTick();
    EXPECT_EQ(FindPressedInput(InputCheckKeyboard), 0);
    Input_SetReportF10();
    NextTick();
    EXPECT_EQ(FindPressedInput(InputCheckKeyboard), 68);
    ScriptedKeys['A'] = 0x80;
    NextTick();
    EXPECT_EQ(FindPressedInput(InputCheckKeyboard), 0x1E);
    Input_ClearReportF10();
    // Toggle state alone (bit 0) is not "down".
    memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
    ScriptedKeys[VK_NUMLOCK] = 0x01;
    NextTick();
    EXPECT_EQ(FindPressedInput(InputCheckKeyboard), 0);
    Window.MainWindow = nullptr;
    EXPECT_EQ(FindPressedInput(InputCheckKeyboard), -1);
}

// Thread entry for the test below (a lambda cannot have the stdcall convention 32-bit Windows wants).
DWORD WINAPI RefreshKeyboardOnThisThread(LPVOID)
{
    return static_cast<DWORD>(Keyboard_RefreshGuarded(0));
}

TEST_F(InputKeyMouse, OneRefreshPerTickAndOnlyOnTheWindowThread)
{
    UseScriptedKeyboard();
    ScriptedKeys[VK_SPACE] = 0x80;
    NextTick();
    EXPECT_EQ(IsKeyDown(0x39), 1);
    EXPECT_EQ(IsKeyDown(0x39), 1);
    EXPECT_EQ(KeyboardStateReads, 1);

    // Another thread reads nothing and changes nothing.
    ScriptedKeys[VK_SPACE] = 0;
    NextTick();
    HANDLE thread = CreateThread(nullptr, 0, RefreshKeyboardOnThisThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD result = 99;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(KeyboardStateReads, 1);
    EXPECT_EQ(InputSystem.KeyStateTable[0x39], 0x80);
    EXPECT_EQ(IsKeyDown(0x39), 0);
    EXPECT_EQ(KeyboardStateReads, 2);
    EXPECT_EQ(IsKeyDown(256), 0);
    EXPECT_EQ(IsKeyDown(-1), 0);
}

TEST_F(InputKeyMouse, MouseButtonsComeFromTheKeyboardState)
{
    UseScriptedKeyboard();
    struct Case {
        int osVersion;
        BYTE left, right, middle, extra1, extra2;
        int expected;
    };
    const Case cases[] = {
        {0x10C, 0x80, 0, 0, 0, 0, MouseButtonLeft},
        {0x10C, 0, 0x80, 0x80, 0, 0, MouseButtonRight | MouseButtonMiddle},
        {0x10C, 0, 0, 0, 0x80, 0x80, MouseButtonExtra1 | MouseButtonExtra2},
        {0x105, 0x80, 0, 0, 0x80, 0x80, MouseButtonLeft},  // before Vista the extra buttons are not read
        {0x10C, 0x01, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Window.OsVersionCode = c.osVersion;
        memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
        ScriptedKeys[VK_LBUTTON] = c.left;
        ScriptedKeys[VK_RBUTTON] = c.right;
        ScriptedKeys[VK_MBUTTON] = c.middle;
        ScriptedKeys[VK_XBUTTON1] = c.extra1;
        ScriptedKeys[VK_XBUTTON2] = c.extra2;
        InputSystem.MouseExtra1 = InputSystem.MouseExtra2 = 0;
        NextTick();
        EXPECT_EQ(GetMouseButtons(), c.expected) << "case with expected " << c.expected;
    }
}

TEST_F(InputKeyMouse, MouseOverTheClientAreaCountsAsPressedInput)
{
    UseScriptedKeyboard();
    WinAPITable.GetCursorPos = ScriptedGetCursorPos;
    Window.MainWindow = GetDesktopWindow();
    Window.WindowMode = 1;
    Window.ScaleRateSet = 0;
    Window.ScaleRateX = Window.ScaleRateY = 1.0;
    Window.ClientRect = {100, 50, 100 + 640, 50 + 480};
    ScriptedKeys[VK_LBUTTON] = 0x80;
    struct Case {
        POINT cursor;
        int expected;
    };
    const Case cases[] = {
        {{100 + 10, 50 + 10}, -1},
        {{100 + 640, 50 + 480}, -1},  // exactly on the right and bottom edge
        {{100 + 641, 50 + 10}, 0},
        {{90, 60}, 0},
    };
    for (const Case& c : cases) {
        ScriptedCursor = c.cursor;
        NextTick();
        EXPECT_EQ(FindPressedInput(InputCheckMouse), c.expected) << c.cursor.x << "," << c.cursor.y;
    }
    ScriptedKeys[VK_LBUTTON] = 0;
    ScriptedCursor = {110, 60};
    NextTick();
    EXPECT_EQ(FindPressedInput(InputCheckMouse), 0);
    int x = -1, y = -1;
    EXPECT_EQ(GetMousePosition(&x, &y), 0);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
    Window.MainWindow = nullptr;
}

TEST_F(InputKeyMouse, QueriesStartInputLazilyUnlessTheWindowIsClosing)
{
    ASSERT_EQ(Input_Terminate(), 0);
    Window.DestroyRequested = 1;
    EXPECT_EQ(GetPadCount(), 0);
    EXPECT_EQ(Input_IsInitialized(), 0);
    Window.DestroyRequested = 0;
    EXPECT_EQ(IsKeyDown(0x1E), 0);  // the lazy start answers in place of the query
    EXPECT_EQ(Input_IsInitialized(), 1);
    PadDirectInputState state;
    memset(&state, 0x22, sizeof(state));
    EXPECT_EQ(GetPadDirectInputState(1, &state), -1);
    EXPECT_EQ(state.X, 0);
    EXPECT_EQ(state.POV[0], -1);
    EXPECT_EQ(InputSystem.Pads[0].DirectInputState.POV[0], -1);
}

TEST_F(InputKeyMouse, WheelNotchesAddUpAndKeepTheRemainder)
{
    struct Case {
        int movement;  // added to the wheel accumulator before the query
        int reset;
        int notches;
        int left;
    };
    const Case cases[] = {
        {250, 1, 2, 10},
        {-260, 1, -2, -10},
        {60, 0, 0, 50},
        {70, 0, 1, 120},   // 50 + 70: one notch, kept without reset
        {120, 1, 2, 0},
        {-119, 1, 0, -119},
        {-1, 1, -1, 0},
    };
    Window.WheelV = 0;
    for (const Case& c : cases) {
        Window.WheelV += c.movement;
        EXPECT_EQ(GetMouseWheelNotches(c.reset), c.notches) << c.movement;
        EXPECT_EQ(Window.WheelV, c.left) << c.movement;
    }
}

} // namespace
