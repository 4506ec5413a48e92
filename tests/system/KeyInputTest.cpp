// Key-input fields over the real main window: keys typed with SendInput and characters posted as
// WM_CHAR reach the active field through the window procedure and the pump; Shift and Ctrl come from a
// scripted keyboard state and the clipboard is a fake in the system function table.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "foundation/VtWinAPI.h"
#include "system/VtIme.h"
#include "system/VtKeyInput.h"
#include "system/VtTime.h"

using namespace Vantrel;

namespace {

// ----- a clipboard of our own in the table's entries -----
struct FakeClipboardState {
    HGLOBAL Data = nullptr;
    int OpenFails = 0;
    int SetFails = 0;
    int Opens = 0;
    int Closes = 0;
} Clip;

BOOL WINAPI FakeOpenClipboard(HWND) {
    ++Clip.Opens;
    return Clip.OpenFails ? FALSE : TRUE;
}
BOOL WINAPI FakeCloseClipboard() {
    ++Clip.Closes;
    return TRUE;
}
BOOL WINAPI FakeEmptyClipboard() {
    if (Clip.Data != nullptr) GlobalFree(Clip.Data);
    Clip.Data = nullptr;
    return TRUE;
}
HANDLE WINAPI FakeSetClipboardData(UINT format, HANDLE data) {
    if (Clip.SetFails || format != CF_UNICODETEXT) return nullptr;
    Clip.Data = data;
    return data;
}
BOOL WINAPI FakeIsClipboardFormatAvailable(UINT format) { return format == CF_UNICODETEXT && Clip.Data != nullptr; }
HANDLE WINAPI FakeGetClipboardData(UINT format) { return format == CF_UNICODETEXT ? Clip.Data : nullptr; }

std::wstring ClipboardText() {
    if (Clip.Data == nullptr) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(GlobalLock(Clip.Data)));
}

void PutOnClipboard(const std::wstring& text) {
    FakeEmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, (text.size() + 1) * sizeof(wchar_t));
    memcpy(block, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    Clip.Data = block;
}

// ----- Shift and Ctrl from a scripted keyboard state -----
BYTE ScriptedKeys[256];
BOOL WINAPI ScriptedGetKeyboardState(PBYTE keys) {
    memcpy(keys, ScriptedKeys, 256);
    return TRUE;
}

WinAPITableRecord SavedTable;

}  // namespace

class KeyInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { WindowTest::StartLibraryForSuite(); }
    static void TearDownTestSuite() { TerminateLibrary(); }

    void SetUp() override {
        SavedTable = WinAPITable;
        WinAPITable.OpenClipboard = FakeOpenClipboard;
        WinAPITable.CloseClipboard = FakeCloseClipboard;
        WinAPITable.EmptyClipboard = FakeEmptyClipboard;
        WinAPITable.SetClipboardData = FakeSetClipboardData;
        WinAPITable.IsClipboardFormatAvailable = FakeIsClipboardFormatAvailable;
        WinAPITable.GetClipboardData = FakeGetClipboardData;
        WinAPITable.GetKeyboardState = ScriptedGetKeyboardState;
        FakeEmptyClipboard();
        Clip = FakeClipboardState{};
        memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
        ImeState.OpenStatus = 0;  // no conversion in progress holds characters back
        ImeState.Composing = 0;
        ActivateKeyInput(-1);
    }
    void TearDown() override {
        ActivateKeyInput(-1);
        KeyInput_DeleteAll();
        FakeEmptyClipboard();
        WinAPITable = SavedTable;
    }

    static HWND MainWindow() { return Window_GetMainHandle(); }

    // The window procedure of Windows 10 and later drops a repeat of the same character within
    // 40 ms (a key reported twice); each keystroke of a test is a new one.
    static void Post(UINT message, WPARAM wParam) {
        Window.LastChar = -1;
        PostMessageW(MainWindow(), message, wParam, 1);
        PollMessages();
    }
    // Posts each unit as WM_CHAR to the main window; the pump takes it in.
    static void Type(const std::wstring& text) {
        for (wchar_t unit : text) Post(WM_CHAR, unit);
    }
    // An editing key as the window procedure receives it.
    static void Key(WPARAM virtualKey) { Post(WM_KEYDOWN, virtualKey); }
    static void Hold(bool shift, bool ctrl) {
        ScriptedKeys[VK_LSHIFT] = ScriptedKeys[VK_SHIFT] = shift ? 0x80 : 0;
        ScriptedKeys[VK_LCONTROL] = ScriptedKeys[VK_CONTROL] = ctrl ? 0x80 : 0;
        Sleep(3);  // the keyboard is read at most once per millisecond tick
    }
    static std::wstring Text(int handle) {
        const KeyInputRecord* field = KeyInput_GetRecord(handle);
        return field == nullptr ? L"<invalid>" : std::wstring(field->Text, field->Length);
    }
    static int NewActiveField(int maximum, int cancel = 0, int singleByte = 0, int digits = 0, int doubleByte = 0,
                              int multiLine = 0) {
        const int handle = CreateKeyInput(maximum, cancel, singleByte, digits, doubleByte, multiLine);
        EXPECT_NE(handle, -1);
        EXPECT_EQ(ActivateKeyInput(handle), 0);
        return handle;
    }
};

TEST_F(KeyInputTest, KeysTypedWithSendInputIntoAFieldOfFourKeepReplacingTheLastCharacter) {
    const int field = NewActiveField(4);
    SetForegroundWindow(MainWindow());
    SetFocus(MainWindow());
    WindowTest::PumpUntil([] { return GetFocus() == MainWindow(); });
    WinAPITable.GetKeyboardState = SavedTable.GetKeyboardState;  // real keys: Shift is not held
    for (WORD key : {WORD('A'), WORD('B'), WORD('C'), WORD('D'), WORD('E')}) {
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_KEYBOARD;
        input[0].ki.wVk = input[1].ki.wVk = key;
        input[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, input, sizeof(INPUT));
    }
    EXPECT_TRUE(WindowTest::PumpUntil([&] { return Text(field).size() >= 4 && Text(field).back() == L'e'; }))
        << "text: " << std::string(Text(field).begin(), Text(field).end());
    EXPECT_EQ(Text(field), L"abce");
    EXPECT_EQ(KeyInput_GetRecord(field)->Cursor, 4);
    Type(L"\r");
    EXPECT_EQ(GetKeyInputStatus(field), 1);
    EXPECT_EQ(KeyInputState.ActiveHandle, -1);
    char copied[5] = {};
    EXPECT_EQ(CopyKeyInputText(copied, field), 0);
    EXPECT_STREQ(copied, "abce");
}

TEST_F(KeyInputTest, InsertionRulesOfTheFieldKinds) {
    struct Case {
        const char* Name;
        int Maximum, SingleByte, Digits, DoubleByte, MultiLine;
        std::wstring Typed;
        std::wstring Expected;
    };
    const Case cases[] = {
        {"full field loses its last character", 4, 0, 0, 0, 0, L"abcde", L"abce"},
        {"two double-byte characters fill four bytes", 4, 0, 0, 0, 0, L"あいう", L"あう"},
        {"a single byte after two double-byte ones", 4, 0, 0, 0, 0, L"あいb", L"あb"},
        {"digits: minus only at the start, one point", 10, 0, 1, 0, 0, L"-1-2.3.4x", L"-12.34"},
        {"digits: Enter of a multi-line field is dropped", 10, 0, 1, 0, 1, L"1\r2", L"12"},
        {"single-byte only drops double-byte characters", 10, 1, 0, 0, 0, L"aあb", L"ab"},
        {"double-byte only drops single-byte characters", 10, 0, 0, 1, 0, L"aあb", L"あ"},
        {"multi-line Enter inserts a line feed", 10, 0, 0, 0, 1, L"a\rb", L"a\nb"},
        {"a surrogate pair is one character", 10, 0, 0, 0, 0, L"a\xD842\xDFB7z", L"a\xD842\xDFB7z"},
        {"a pair cannot go into a field of one", 1, 0, 0, 0, 0, L"\xD842\xDFB7", L""},
        {"tab is ignored", 10, 0, 0, 0, 0, L"a\tb", L"ab"},
    };
    for (const Case& c : cases) {
        const int field = NewActiveField(c.Maximum, 0, c.SingleByte, c.Digits, c.DoubleByte, c.MultiLine);
        Type(c.Typed);
        EXPECT_EQ(Text(field), c.Expected) << c.Name;
        const KeyInputRecord* record = KeyInput_GetRecord(field);
        EXPECT_LE(record->Length, c.Maximum) << c.Name;
        EXPECT_EQ(record->Text[record->Length], 0) << c.Name;
        KeyInput_DeleteAll();
    }
}

TEST_F(KeyInputTest, CursorMovesAndShiftSelectionsEditTheText) {
    const int field = NewActiveField(64, 0, 0, 0, 0, 1);
    KeyInputRecord* record = KeyInput_GetRecord(field);
    Type(L"abc\rde\rfghi");
    ASSERT_EQ(Text(field), L"abc\nde\nfghi");
    ASSERT_EQ(record->Cursor, 11);

    Key(VK_UP);  // column 4 on a line of 2: stops at its line feed
    EXPECT_EQ(record->Cursor, 6);
    Key(VK_UP);
    EXPECT_EQ(record->Cursor, 2);
    Key(VK_UP);  // first line: stays
    EXPECT_EQ(record->Cursor, 2);
    Key(VK_DOWN);
    EXPECT_EQ(record->Cursor, 6);
    Key(VK_HOME);
    EXPECT_EQ(record->Cursor, 4);
    Key(VK_END);
    EXPECT_EQ(record->Cursor, 6);

    Hold(true, false);
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(record->SelectAnchor, 6);
    EXPECT_EQ(record->SelectEnd, 4);
    Key(VK_UP);  // Shift+Up from column 0 of the second line: start of the first
    EXPECT_EQ(record->Cursor, 0);
    EXPECT_EQ(record->SelectEnd, 0);
    Key(VK_UP);  // first line with Shift: nothing changes, the selection stays
    EXPECT_EQ(record->Cursor, 0);
    EXPECT_EQ(record->SelectAnchor, 6);
    Hold(false, false);
    Type(L"\b");  // Backspace deletes the selection
    EXPECT_EQ(Text(field), L"\nfghi");
    EXPECT_EQ(record->SelectAnchor, -1);
    EXPECT_EQ(record->Cursor, 0);

    Hold(false, true);
    Key(VK_END);  // Ctrl+End: end of text
    EXPECT_EQ(record->Cursor, 5);
    Hold(true, true);
    Key(VK_HOME);  // Ctrl+Shift+Home selects everything back to 0
    EXPECT_EQ(record->SelectAnchor, 5);
    EXPECT_EQ(record->SelectEnd, 0);
    Hold(false, false);
    Key(VK_RIGHT);  // a move without Shift clears the selection
    EXPECT_EQ(record->SelectAnchor, -1);
    EXPECT_EQ(record->Cursor, 1);
    Key(VK_DELETE);
    EXPECT_EQ(Text(field), L"\nghi");
    Type(L"X");
    EXPECT_EQ(Text(field), L"\nXghi");
    Key(VK_LEFT);
    Key(VK_LEFT);
    Key(VK_LEFT);  // at 0: nothing
    EXPECT_EQ(record->Cursor, 0);
    Type(L"\b");
    EXPECT_EQ(Text(field), L"\nXghi");
}

TEST_F(KeyInputTest, CopyCutAndPasteGoThroughTheClipboard) {
    const int field = NewActiveField(32);
    KeyInputRecord* record = KeyInput_GetRecord(field);
    Type(L"hello");
    Hold(true, false);
    Key(VK_LEFT);
    Key(VK_LEFT);
    Hold(false, false);
    Type(L"\x03");  // Ctrl+C
    EXPECT_EQ(ClipboardText(), L"lo");
    EXPECT_EQ(Text(field), L"hello");
    Hold(true, false);
    Key(VK_DELETE);  // Shift+Delete cuts
    Hold(false, false);
    EXPECT_EQ(Text(field), L"hel");
    EXPECT_EQ(ClipboardText(), L"lo");
    EXPECT_EQ(record->Cursor, 3);
    Type(L"\x16");  // Ctrl+V: the pasted text passes the same rules
    EXPECT_EQ(Text(field), L"hello");
    Hold(true, false);
    Key(VK_HOME);
    Hold(false, false);
    Type(L"\x18");  // Ctrl+X
    EXPECT_EQ(Text(field), L"");
    EXPECT_EQ(ClipboardText(), L"hello");
}

TEST_F(KeyInputTest, PasteWithCarriageReturnAndLineFeed) {
    PutOnClipboard(L"a\r\nb");
    const int single = NewActiveField(16);
    Type(L"\x16");
    EXPECT_EQ(Text(single), L"ab");
    EXPECT_EQ(GetKeyInputStatus(single), 0);
    const int multi = NewActiveField(16, 0, 0, 0, 0, 1);
    Type(L"\x16");
    EXPECT_EQ(Text(multi), L"a\n\nb");  // the CR becomes a line feed, the LF is inserted as it is
    // A paste into a field of three keeps replacing the last character, like typing.
    PutOnClipboard(L"wxyz");
    const int small = NewActiveField(3);
    Type(L"\x16");
    EXPECT_EQ(Text(small), L"wxz");
}

TEST_F(KeyInputTest, PastedTextOnlyInsertsAndItsControlCodesNeverAct) {
    // Typed, these codes would delete, paste again, cancel, copy over the clipboard and cut.
    const std::wstring clip = L"ab\x08" L"c\x16" L"d\x1B" L"e\x03\x18\x09" L"f";
    PutOnClipboard(clip);
    const int field = NewActiveField(32, 1);
    KeyInputRecord* record = KeyInput_GetRecord(field);
    Type(L"x");
    Type(L"\x16");
    EXPECT_EQ(Text(field), L"xabcdef");
    EXPECT_EQ(record->Cursor, 7);
    EXPECT_EQ(GetKeyInputStatus(field), 0);
    EXPECT_EQ(KeyInputState.ActiveHandle, field);
    EXPECT_EQ(ClipboardText(), clip);
    // A paste replaces the selection and is followed by what was typed after it.
    Hold(true, false);
    Key(VK_LEFT);
    Key(VK_LEFT);
    Hold(false, false);
    PutOnClipboard(L"\x16Z");
    Window.LastChar = -1;
    PostMessageW(MainWindow(), WM_CHAR, 0x16, 1);
    PostMessageW(MainWindow(), WM_CHAR, L'!', 1);
    PollMessages();
    EXPECT_EQ(Text(field), L"xabcdZ!");
}

namespace {

// Should the pump spin while the window is inactive, the window counts as active again after two
// seconds, so that the test ends and reports it.
struct SpinWatch {
    HANDLE Done;
    volatile LONG Fired;
};

DWORD WINAPI ActivateWhenStuck(LPVOID parameter) {
    SpinWatch* watch = static_cast<SpinWatch*>(parameter);
    if (WaitForSingleObject(watch->Done, 2000) == WAIT_TIMEOUT) {
        InterlockedExchange(&watch->Fired, 1);
        Window.ActiveFlag = 1;
    }
    return 0;
}

}  // namespace

TEST_F(KeyInputTest, SwitchingAwayInTheFrameOfATypedKeyDoesNotHoldThePump) {
    SetRunWhileInactive(0);
    const int field = NewActiveField(8);
    SpinWatch watch = {CreateEventW(nullptr, TRUE, FALSE, nullptr), 0};
    HANDLE thread = CreateThread(nullptr, 0, ActivateWhenStuck, &watch, 0, nullptr);
    // A key and the deactivation arrive in the same frame: the field's processing runs after the
    // deactivation was replayed, with the window inactive.
    Window.LastChar = -1;
    PostMessageW(MainWindow(), WM_CHAR, L'a', 1);
    PostMessageW(MainWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
    PollMessages();
    SetEvent(watch.Done);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(watch.Done);
    EXPECT_EQ(watch.Fired, 0) << "the key-input processing waited without pumping";
    EXPECT_EQ(Text(field), L"a");
    Window.ActiveFlag = 1;
    SetRunWhileInactive(1);
}

TEST_F(KeyInputTest, EscapeCancelsOnlyWhenAllowed) {
    const int strict = NewActiveField(8);
    Type(L"ab\x1B");
    EXPECT_EQ(GetKeyInputStatus(strict), 0);
    EXPECT_EQ(KeyInputState.ActiveHandle, strict);
    const int cancellable = NewActiveField(8, 1);
    Type(L"ab\x1B" L"cd");
    EXPECT_EQ(GetKeyInputStatus(cancellable), 2);
    EXPECT_EQ(KeyInputState.ActiveHandle, -1);
    EXPECT_EQ(Text(cancellable), L"ab");
    // Activating a finished field reopens it with its text and cursor kept.
    EXPECT_EQ(ActivateKeyInput(cancellable), 0);
    EXPECT_EQ(GetKeyInputStatus(cancellable), 0);
    Type(L"c");
    EXPECT_EQ(Text(cancellable), L"abc");
}

TEST_F(KeyInputTest, ActivationKeepsOrClearsSelectionsAndRefusesBadHandles) {
    const int first = NewActiveField(16);
    KeyInputRecord* record = KeyInput_GetRecord(first);
    Type(L"abcd");
    Hold(true, false);
    Key(VK_LEFT);
    Hold(false, false);
    EXPECT_EQ(ActivateKeyInput(first), 0);  // the active, unfinished field: nothing changes
    EXPECT_EQ(record->SelectAnchor, 4);
    EXPECT_EQ(record->Cursor, 3);
    const int second = CreateKeyInput(16, 0, 0, 0, 0, 0);
    EXPECT_EQ(ActivateKeyInput(second), 0);
    EXPECT_EQ(record->SelectAnchor, -1);
    EXPECT_EQ(record->Cursor, 3);

    EXPECT_EQ(ActivateKeyInput(0), -1);
    EXPECT_EQ(ActivateKeyInput(second + 1000), -1);
    EXPECT_EQ(CreateKeyInput(0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(CreateKeyInput(-5, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(GetKeyInputStatus(-1), -1);
    EXPECT_EQ(SetKeyInputColor(23, 0), -1);
    EXPECT_EQ(SetKeyInputColor(-1, 0), -1);
    EXPECT_EQ(SetKeyInputColor(18, 0x12345678), 0);
    EXPECT_EQ(KeyInputState.ColorSet[18], 1);
    EXPECT_EQ(KeyInputState.Colors[0], 0xFFFFFFFFu);  // default text colour, white in 32-bit colour
    // The handle layout: type 9, serial, slot; a freed slot's old handle is refused.
    EXPECT_EQ((first >> 26) & 0x1F, 9);
    EXPECT_EQ(first & 0x3FFFF, 0);
    KeyInput_DeleteAll();
    EXPECT_EQ(GetKeyInputStatus(first), -1);
    const int again = CreateKeyInput(16, 0, 0, 0, 0, 0);
    EXPECT_EQ(again & 0x3FFFF, 0);
    EXPECT_NE(again, first);
    EXPECT_EQ(GetKeyInputStatus(first), -1);
    EXPECT_EQ(GetKeyInputStatus(again), 0);
}

TEST_F(KeyInputTest, CharacterBufferHoldsTenTwentyFourUnitsAndKeepsPairsTogether) {
    KeyInput_FlushChars();
    int accepted = 0;
    for (int i = 0; i < 1100; ++i)
        if (KeyInput_StockChar(L'a') == 0) ++accepted;
    EXPECT_EQ(accepted, 1024);
    EXPECT_EQ(KeyInput_IsCharBufferFull(), 1);
    KeyInput_FlushChars();
    EXPECT_EQ(KeyInput_IsCharBufferFull(), 0);

    wchar_t out[2] = {};
    KeyInput_StockChar(0xD842);
    EXPECT_EQ(KeyInput_TakeChar(out, 1), 0);  // the second half is not there yet
    KeyInput_StockChar(0xDFB7);
    EXPECT_EQ(KeyInput_TakeChar(out, 0), 2);
    EXPECT_EQ(KeyInput_TakeChar(out, 1), 2);  // not consumed before
    EXPECT_EQ(out[0], 0xD842);
    EXPECT_EQ(out[1], 0xDFB7);
    EXPECT_EQ(KeyInput_TakeChar(out, 1), 0);
    // Keys typed before a field is activated do not leak into it.
    KeyInput_StockChar(L'q');
    const int field = NewActiveField(8);
    PollMessages();
    EXPECT_EQ(Text(field), L"");
}

TEST_F(KeyInputTest, ClipboardWriteReportsFailure) {
    EXPECT_EQ(Clipboard_WriteText(L"fine"), 0);
    EXPECT_EQ(ClipboardText(), L"fine");
    Clip.OpenFails = 1;
    EXPECT_EQ(Clipboard_WriteText(L"not opened"), -1);
    Clip.OpenFails = 0;
    Clip.SetFails = 1;
    EXPECT_EQ(Clipboard_WriteText(L"refused"), -1);
    EXPECT_EQ(Clip.Opens, Clip.Closes + 1);  // the failed open is not closed; the refused one is
}
