// The settings pages driven through their update functions with a scripted click state and key
// capture, in a fresh working directory: key capture, saving, the load list, loading back,
// deleting, the stick page's gauges, the save name rules and the button and POV pages' controls.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/AppMain.h"
#include "app/ButtonPage.h"
#include "app/InputInjection.h"
#include "app/KeyNames.h"
#include "app/LoadPage.h"
#include "app/PadReading.h"
#include "app/PovPage.h"
#include "app/SavePage.h"
#include "app/SettingFiles.h"
#include "app/SettingsPage.h"
#include "app/StickPage.h"
#include "app/TextWrap.h"

using namespace Qelvar;

namespace {

int ScriptedKey = -1;  // the DirectInput code the next capture finds, -1 for none
int ScriptedCapture()
{
    if (ScriptedKey < 0) return 0;
    KeyNameTable.CapturedKey = ScriptedKey;
    ScriptedKey = -1;
    return 1;
}

int FixedWidth(int, const char* character) { return std::strlen(character) == 2 ? 16 : 8; }

class SettingsPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, previous_);
        wchar_t temporary[MAX_PATH];
        GetTempPathW(MAX_PATH, temporary);
        swprintf(folder_, MAX_PATH, L"%lsqelvar-pages-%lu-%u", temporary, GetCurrentProcessId(), counter_++);
        ASSERT_TRUE(CreateDirectoryW(folder_, nullptr));
        ASSERT_TRUE(SetCurrentDirectoryW(folder_));
        savedCapture_ = SettingsPage_CaptureKey;
        savedMeasure_ = TextWrap_MeasureCharacter;
        SettingsPage_CaptureKey = ScriptedCapture;
        TextWrap_MeasureCharacter = FixedWidth;
        ScriptedKey = -1;
        ScreenLayers.PageRect = {120, 0, 740, 560};
        MouseClickState = {};
        Pad = {};
        for (int& value : Pad.POV) value = -1;
        BuildMouseButtonNames();
        BuildKeyNames();
        InitDefaultSettings();
        Settings.Pov.DiagonalEnabled = 0;
        ResetSettings();
        SettingsPage_StaticInit();
        SettingsPage.SubTab = SubTabLoad;
        ButtonPage.SelectedButton = 0;
        ButtonPage.EditSecond = ButtonPage.CapturingKey = ButtonPage.TestRunning = 0;
        PovPage.SelectedEntry = 0;
        PovPage.CapturingKey = PovPage.WaitingSwitch1 = PovPage.WaitingSwitch2 = PovPage.TestRunning = 0;
        PovPage.LastPovValue = -1;
        StickPage.View = StickOverview;
        StickPage.TestRunning = StickPage.CapturingKey = StickPage.WaitingForButton = 0;
    }

    void TearDown() override
    {
        SettingsPage_CaptureKey = savedCapture_;
        TextWrap_MeasureCharacter = savedMeasure_;
        SetCurrentDirectoryW(previous_);
        RemoveFolder(folder_);
    }

    static void RemoveFolder(const std::wstring& folder)
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path);
                else DeleteFileW(path.c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }

    // One frame with a press at a page position (the pointer there too), then one frame without.
    static void ClickPage(int x, int y)
    {
        MouseClickState.X = MouseClickState.PressX = ScreenLayers.PageRect.X + x;
        MouseClickState.Y = MouseClickState.PressY = ScreenLayers.PageRect.Y + y;
        MouseClickState.Down = MouseClickState.Pressed = MouseClickState.PressEvent = 1;
        UpdateSettingsPage();
        MouseClickState.Down = MouseClickState.Pressed = MouseClickState.PressEvent = 0;
        UpdateSettingsPage();
    }
    static void ChooseSubTab(int tab) { ClickPage(50, 10 + 110 * tab + 50); }

    static long FileSize(const wchar_t* path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
        return static_cast<long>(data.nFileSizeLow);
    }

    static void MakeSaveFile(const char* name)
    {
        CreateDirectoryW(L"save", nullptr);
        ASSERT_EQ(WriteSettingFile((std::string("save/") + name).c_str()), FileSaved);
    }

    wchar_t previous_[MAX_PATH] = {};
    wchar_t folder_[MAX_PATH] = {};
    int (*savedCapture_)() = nullptr;
    int (*savedMeasure_)(int, const char*) = nullptr;
    static inline unsigned counter_ = 0;
};

}  // namespace

TEST_F(SettingsPagesTest, CaptureSaveListLoadBackAndDelete)
{
    // The start-up scan made the folder.
    EXPECT_NE(GetFileAttributesW(L"save"), INVALID_FILE_ATTRIBUTES);

    // Button 0 gets W through key capture.
    ChooseSubTab(SubTabButtons);
    ASSERT_EQ(SettingsPage.SubTab, SubTabButtons);
    ClickPage(500, 260);  // "キー設定"
    EXPECT_EQ(ButtonPage.CapturingKey, 1);
    ScriptedKey = 0x11;
    UpdateSettingsPage();
    EXPECT_EQ(ButtonPage.CapturingKey, 0);
    EXPECT_EQ(Settings.Buttons.FirstAssigned[0], 1);
    EXPECT_EQ(Settings.Buttons.FirstType[0], 0);
    EXPECT_EQ(Settings.Buttons.FirstKey[0], 0x11);

    // Saved under the offered name.
    ChooseSubTab(SubTabSave);
    EXPECT_STREQ(SavePage.Name, "新規セーブデータ.save");
    ClickPage(200, 460);  // "保存"
    wchar_t wide[MAX_PATH];
    ASSERT_TRUE(SettingFiles_ToWide("save/新規セーブデータ.save", wide, MAX_PATH));
    EXPECT_EQ(FileSize(wide), 636);
    EXPECT_EQ(SavePage.Log.Log, "新規セーブデータ.saveをセーブしました。\n");

    // The load list shows it.
    ChooseSubTab(SubTabLoad);
    ASSERT_EQ(LoadPage.FileCount, 1);
    EXPECT_STREQ(LoadPage.FileNames[0], "新規セーブデータ.save");
    EXPECT_EQ(LoadPage.Scroll.State, -1);

    // A changed setting, then the file loaded back.
    ChooseSubTab(SubTabButtons);
    ClickPage(500, 380);  // "設定削除"
    EXPECT_EQ(Settings.Buttons.FirstAssigned[0], 0);
    EXPECT_EQ(Settings.Buttons.FirstKey[0], 0);
    ChooseSubTab(SubTabLoad);
    ClickPage(200, 60);   // the first row
    ClickPage(550, 510);  // "ロード"
    EXPECT_EQ(Settings.Buttons.FirstAssigned[0], 1);
    EXPECT_EQ(Settings.Buttons.FirstKey[0], 0x11);
    EXPECT_EQ(LoadPage.Log.Log, "新規セーブデータ.saveをロードしました。\n");

    // Deleted: gone from the folder and the list; the log shows the newest message first.
    ClickPage(660, 510);  // "削除"
    EXPECT_EQ(GetFileAttributesW(wide), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LoadPage.FileCount, 0);
    EXPECT_EQ(LoadPage.Selected, 0);
    EXPECT_EQ(LoadPage.Log.Log.rfind("新規セーブデータ.saveを削除しました。\n", 0), 0u);
    ClickPage(660, 510);
    EXPECT_EQ(LoadPage.Log.Log.rfind("ファイルが存在しないため削除できません。\n", 0), 0u);
    ClickPage(550, 510);
    EXPECT_EQ(LoadPage.Log.Log.rfind("ファイルが存在しないためロードできません\n", 0), 0u);
}

TEST_F(SettingsPagesTest, LoadingAFileThatVanishedSaysSoAndChangesNothing)
{
    MakeSaveFile("gone.save");
    ChooseSubTab(SubTabLoad);
    ASSERT_EQ(LoadPage.FileCount, 1);
    ASSERT_TRUE(DeleteFileW(L"save\\gone.save"));  // removed behind the list's back
    Settings.Stick.DeadZone = 35;
    ClickPage(550, 510);  // "ロード"
    EXPECT_EQ(LoadPage.Log.Log, "gone.saveのファイルが見つかりません\n");
    EXPECT_EQ(Settings.Stick.DeadZone, 35);
}

TEST_F(SettingsPagesTest, LongListScrollsSelectsAndStaysBounded)
{
    char name[64];
    for (int i = 0; i < 20; ++i) {
        std::snprintf(name, sizeof name, "f%02d.save", i);
        MakeSaveFile(name);
    }
    ChooseSubTab(SubTabLoad);
    ASSERT_EQ(LoadPage.FileCount, 20);
    EXPECT_EQ(LoadPage.Scroll.State, 0);
    EXPECT_EQ(LoadPage.Scroll.LargestPosition, 110);

    // One wheel notch toward the end over the list: 30 pixels.
    MouseClickState.X = 120 + 200;
    MouseClickState.Y = 200;
    MouseClickState.Wheel = -1;
    UpdateSettingsPage();
    MouseClickState.Wheel = 0;
    EXPECT_EQ(LoadPage.Scroll.Position, 30);

    // A click at the bottom of the list selects the row there: (30 - 50 + 538) / 30 = 17.
    ClickPage(200, 538);
    EXPECT_EQ(LoadPage.Selected, 17);

    // Deleting the last file moves the selection to the new last row.
    MouseClickState.Wheel = -10;
    UpdateSettingsPage();
    MouseClickState.Wheel = 0;
    ClickPage(200, 538);
    EXPECT_EQ(LoadPage.Selected, 19);
    ClickPage(660, 510);
    EXPECT_EQ(LoadPage.FileCount, 19);
    EXPECT_EQ(LoadPage.Selected, 18);
    EXPECT_EQ(LoadPage.Scroll.Position, LoadPage.Scroll.LargestPosition);

    // More files than the list holds: the first 128 are listed, nothing overruns.
    for (int i = 20; i < 140; ++i) {
        std::snprintf(name, sizeof name, "f%03d.save", i);
        MakeSaveFile(name);
    }
    ChooseSubTab(SubTabLoad);
    EXPECT_EQ(LoadPage.FileCount, SaveListCapacity);
}

TEST_F(SettingsPagesTest, SavedNamesAlwaysLoadBack)
{
    // The longest name the field takes (96 bytes) is saved, listed whole and loads.
    std::string longName(94, 'n');
    longName += "ソ";
    std::strcpy(SavePage.Name, longName.c_str());
    ChooseSubTab(SubTabSave);
    ClickPage(200, 460);
    ChooseSubTab(SubTabLoad);
    ASSERT_EQ(LoadPage.FileCount, 1);
    EXPECT_EQ(std::string(LoadPage.FileNames[0]), longName + ".save");
    ClickPage(550, 510);
    EXPECT_EQ(LoadPage.Log.Log, longName + ".saveをロードしました。\n");
}

TEST(SaveNameTest, NamesAreCompletedAndChecked)
{
    struct Case {
        const char* typed;
        const char* saved;
    } cases[] = {
        {"", "新規セーブデータ.save"},
        {".save", "新規セーブデータ.save"},
        {".saveabc", "新規セーブデータ.save"},
        {"abc", "abc.save"},
        {"abc.save", "abc.save"},
        {"x.sav", "x.sav.save"},
        {"abc.save.bak", "abc.save.bak.save"},  // listed by the load page only with the extension last
        {"セーブ1", "セーブ1.save"},
        {"ソフト", "ソフト.save"},  // 0x5C as a trail byte is no separator
        {"a/b", "新規セーブデータ.save"},
        {"..\\up", "新規セーブデータ.save"},
        {"sub\\x.save", "新規セーブデータ.save"},
        {"c:x", "新規セーブデータ.save"},
        {"a..b", "新規セーブデータ.save"},
        {"a?b", "新規セーブデータ.save"},
        {"100%", "100%.save"},
    };
    for (const Case& c : cases) {
        char name[SaveNameBytes] = {};
        std::strcpy(name, c.typed);
        MakeSaveName(name);
        EXPECT_STREQ(name, c.saved) << c.typed;
    }
    char full[SaveNameBytes];
    std::memset(full, 'a', SaveNameBytes - 1);
    full[SaveNameBytes - 1] = '\0';
    MakeSaveName(full);
    EXPECT_EQ(std::strlen(full), static_cast<size_t>(SaveNameBytes - 1));
    EXPECT_STREQ(full + SaveNameBytes - 6, ".save");
}

TEST_F(SettingsPagesTest, StickGaugesSetAndShowTheSettings)
{
    ChooseSubTab(SubTabStick);
    // The gauges start from the settings in force, not from fixed values.
    EXPECT_EQ(StickPage.Gauges[GaugeMoveDistance].Value, Settings.Stick.MoveKeyDistance / 50);
    EXPECT_EQ(StickPage.Gauges[GaugeDashDistance].Value, Settings.Stick.DashDistance / 50);

    ClickPage(280, 220);  // the left-stick picture
    ASSERT_EQ(StickPage.View, StickLeft);
    ClickPage(391, 210);  // 1 px right of the move gauge's left edge
    EXPECT_EQ(Settings.Stick.MoveKeyDistance, 50);
    EXPECT_EQ(StickPage.Gauges[GaugeMoveDistance].Value, 1);
    ClickPage(689, 210);  // 1 px left of its right edge
    EXPECT_EQ(Settings.Stick.MoveKeyDistance, 1000);
    ClickPage(390, 210);  // on the edge: nothing
    EXPECT_EQ(Settings.Stick.MoveKeyDistance, 1000);
    ClickPage(391 + 15 * 6, 385);  // the dash gauge, seventh segment
    EXPECT_EQ(Settings.Stick.DashDistance, 350);

    ClickPage(600, 490);  // "設定完了"
    ASSERT_EQ(StickPage.View, StickOverview);
    ClickPage(560, 220);  // the right-stick picture
    ASSERT_EQ(StickPage.View, StickRight);
    ClickPage(391 + 15 * 3, 225);  // cursor speed, fourth segment
    EXPECT_EQ(Settings.Stick.CursorSpeed, 20);
    ClickPage(689, 425);  // slow speed, full
    EXPECT_EQ(Settings.Stick.SlowPercent, 100);

    // A loaded file moves the gauges to what it holds.
    Settings.Stick.DeadZone = 35;
    ASSERT_EQ(WriteSettingFile("option.data"), FileSaved);
    Settings.Stick.DeadZone = 80;
    ChooseSubTab(SubTabLoad);
    ClickPage(550, 450);  // "初期設定" "ロード"
    EXPECT_EQ(Settings.Stick.DeadZone, 35);
    ChooseSubTab(SubTabStick);
    EXPECT_EQ(StickPage.Gauges[GaugeDeadZone].Value, 7);
}

TEST_F(SettingsPagesTest, StickSlowButtonWaitAndAxisRows)
{
    ChooseSubTab(SubTabStick);
    ClickPage(560, 220);
    ClickPage(640, 365);  // slow button "設定"
    EXPECT_EQ(StickPage.WaitingForButton, 1);
    UpdateSettingsPage();
    EXPECT_EQ(StickPage.WaitingForButton, 1);
    Pad.Buttons[7] = 0x80;
    UpdateSettingsPage();
    Pad.Buttons[7] = 0;
    EXPECT_EQ(StickPage.WaitingForButton, 0);
    EXPECT_EQ(Settings.Stick.SlowButton, 7);

    ClickPage(600, 490);
    ClickPage(560, 410);  // right "方向修正"
    ASSERT_EQ(StickPage.View, StickRightAxes);
    ClickPage(400, 130 + 20 * 4);  // horizontal row Ry
    const uint8_t expected[6] = {0, 0, 0, 0, 1, 0};
    EXPECT_EQ(std::memcmp(Settings.Stick.AxisMap[2].Source, expected, 6), 0);
    const uint8_t reverse = Settings.Stick.AxisMap[3].Reverse;
    ClickPage(640, 320);  // vertical "反転"
    EXPECT_NE(Settings.Stick.AxisMap[3].Reverse, reverse);
}

TEST_F(SettingsPagesTest, ButtonGridRowsAndHeldPadButton)
{
    ChooseSubTab(SubTabButtons);
    ClickPage(121, 170);  // lower half, first column
    EXPECT_EQ(ButtonPage.SelectedButton, 10);
    ClickPage(121, 30);
    EXPECT_EQ(ButtonPage.SelectedButton, 0);
    ClickPage(200, 120);  // on the middle line: the lower row
    EXPECT_EQ(ButtonPage.SelectedButton, 11);

    Pad.Buttons[4] = 0x80;
    ClickPage(120 + 60 * 8 + 5, 30);
    Pad.Buttons[4] = 0;
    EXPECT_EQ(ButtonPage.SelectedButton, 4);

    // Normal mode: the second input ignores clicks; two-key mode edits it.
    ClickPage(200, 450);
    EXPECT_EQ(ButtonPage.EditSecond, 0);
    ClickPage(300, 255);  // mode
    EXPECT_EQ(Settings.Buttons.ButtonMode[4], 1);
    ClickPage(200, 450);
    EXPECT_EQ(ButtonPage.EditSecond, 1);
    ClickPage(580, 320);  // middle click
    EXPECT_EQ(Settings.Buttons.SecondAssigned[4], 1);
    EXPECT_EQ(Settings.Buttons.SecondType[4], 1);
    EXPECT_EQ(Settings.Buttons.SecondMouse[4], 2);
    EXPECT_EQ(Settings.Buttons.FirstAssigned[4], 0);
}

TEST_F(SettingsPagesTest, PovTableHatAndSwitches)
{
    ChooseSubTab(SubTabPov);
    ClickPage(120 + 150, 285 + 10);  // header band, middle column
    EXPECT_EQ(PovPage.SelectedEntry, 4);
    ClickPage(120 + 250, 285 + 190);  // last row, right column
    EXPECT_EQ(PovPage.SelectedEntry, 11);

    // Switch 1 on its button 2; the hat pressed right with it held selects set 1, right.
    ClickPage(470, 160);  // switch 1 use
    EXPECT_EQ(Settings.Pov.Switch1Enabled, 1);
    ClickPage(670, 160);  // switch 1 set
    EXPECT_EQ(PovPage.WaitingSwitch1, 1);
    ClickPage(500, 500);  // test: ignored while waiting
    EXPECT_EQ(PovPage.TestRunning, 0);
    Pad.Buttons[2] = 0x80;
    UpdateSettingsPage();
    EXPECT_EQ(Settings.Pov.Switch1Button, 2);
    Pad.POV[0] = 9000;
    UpdateSettingsPage();
    EXPECT_EQ(PovPage.Switch1Held, 1);
    EXPECT_EQ(PovPage.SelectedEntry, 5);
    Pad.POV[0] = -1;
    UpdateSettingsPage();
    EXPECT_EQ(PovPage.SelectedEntry, 5);
    Pad.Buttons[2] = 0;
    Pad.POV[0] = 4500;  // a diagonal never selects
    UpdateSettingsPage();
    EXPECT_EQ(PovPage.SelectedEntry, 5);

    // A key for the selected entry; while the capture waits, the test button does nothing.
    ClickPage(500, 300);
    EXPECT_EQ(PovPage.CapturingKey, 1);
    ClickPage(500, 500);
    EXPECT_EQ(PovPage.TestRunning, 0);
    ScriptedKey = 0x1E;
    UpdateSettingsPage();
    EXPECT_EQ(Settings.Pov.DirAssigned[5], 1);
    EXPECT_EQ(Settings.Pov.DirType[5], 0);
    EXPECT_EQ(Settings.Pov.DirKey[5], 0x1E);
    ClickPage(500, 420);  // delete
    EXPECT_EQ(Settings.Pov.DirAssigned[5], 0);
    EXPECT_EQ(Settings.Pov.DirKey[5], 0);
}

namespace {

UINT WINAPI DropSendInput(UINT count, LPINPUT, int) { return count; }
void WINAPI DropMouseEvent(DWORD, DWORD, DWORD, DWORD, ULONG_PTR) {}

}  // namespace

// A capture (a key, or a pad button) that starts during a test run lets go of what the converters
// hold; nothing is pressed again while it waits, and the test run goes on once the answer came.
TEST_F(SettingsPagesTest, ACaptureDuringATestRunReleasesWhatTheConvertersHold)
{
    InputInjection_Sink = {DropSendInput, DropMouseEvent};
    const int32_t padCount = PadCount;
    PadCount = 1;
    ReleaseAllHeld();
    struct Case {
        const char* Name;
        int SubTab;
        int ViewX, ViewY;   // a click that opens the view first, or 0
        int TestX, TestY;   // the test toggle
        int WaitX, WaitY;   // the control that starts the wait
        int Held;           // the key the test run holds
        void (*Answer)();   // answers the wait
    };
    const Case cases[] = {
        {"button page, key", SubTabButtons, 0, 0, 500, 500, 500, 260, 0x11, [] { ScriptedKey = 0x1E; }},
        {"stick page, dash key", SubTabStick, 280, 220, 450, 490, 640, 310, 0x20, [] { ScriptedKey = 0x2A; }},
        {"POV page, key", SubTabPov, 0, 0, 500, 500, 500, 300, 0x11, [] { ScriptedKey = 0x1E; }},
        {"POV page, switch button", SubTabPov, 0, 0, 500, 500, 670, 160, 0x11, [] { Pad.Buttons[3] = 0x80; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Settings.Buttons.FirstAssigned[0] = 1;
        Settings.Buttons.FirstKey[0] = 0x11;
        Settings.Pov.DirAssigned[0] = 1;
        Settings.Pov.DirKey[0] = 0x11;
        Pad.Buttons[0] = c.SubTab == SubTabButtons ? 0x80 : 0;
        Pad.Buttons[3] = 0;
        Pad.POV[0] = c.SubTab == SubTabPov ? 0 : -1;
        VirtualAxes[0] = c.SubTab == SubTabStick ? 1000 : 0;
        ChooseSubTab(c.SubTab);
        if (c.ViewX != 0) ClickPage(c.ViewX, c.ViewY);
        ClickPage(c.TestX, c.TestY);
        ASSERT_EQ(PressedKeyTable[c.Held], 1) << "the test run holds the key";

        ClickPage(c.WaitX, c.WaitY);
        EXPECT_EQ(PressedKeyTable[c.Held], 0) << "let go when the wait starts";
        UpdateSettingsPage();
        EXPECT_EQ(PressedKeyTable[c.Held], 0) << "and not pressed again while it waits";

        c.Answer();
        UpdateSettingsPage();
        Pad.Buttons[3] = 0;
        UpdateSettingsPage();
        int held = 0;
        for (int code = 0; code < 256; ++code) held += PressedKeyTable[code] != 0;
        EXPECT_EQ(held, 1) << "the test run converts again after the answer";
        SettingsPage_OnTabLeft();
        Pad.POV[0] = -1;
        VirtualAxes[0] = 0;
    }
    Pad.Buttons[0] = 0;
    PadCount = padCount;
    InputInjection_UseSystemSink();
}

TEST_F(SettingsPagesTest, EndingATestRunReleasesWhatItHolds)
{
    InputInjection_Sink = {DropSendInput, DropMouseEvent};
    const int32_t padCount = PadCount;
    PadCount = 1;
    Settings.Buttons.FirstAssigned[0] = 1;
    Settings.Buttons.FirstKey[0] = 0x11;
    ChooseSubTab(SubTabButtons);
    ClickPage(500, 500);  // test on
    ASSERT_EQ(ButtonPage.TestRunning, 1);
    Pad.Buttons[0] = 0x80;
    UpdateSettingsPage();
    EXPECT_EQ(PressedKeyTable[0x11], 1);
    ClickPage(500, 500);  // test off while the pad button is still held
    EXPECT_EQ(ButtonPage.TestRunning, 0);
    EXPECT_EQ(PressedKeyTable[0x11], 0);

    // Leaving the sub-page or the tab ends a run in the same way.
    ClickPage(500, 500);
    UpdateSettingsPage();
    EXPECT_EQ(PressedKeyTable[0x11], 1);
    ChooseSubTab(SubTabPov);
    EXPECT_EQ(ButtonPage.TestRunning, 0);
    EXPECT_EQ(PressedKeyTable[0x11], 0);
    ChooseSubTab(SubTabButtons);
    ClickPage(500, 500);
    UpdateSettingsPage();
    EXPECT_EQ(PressedKeyTable[0x11], 1);
    SettingsPage_OnTabLeft();
    EXPECT_EQ(PressedKeyTable[0x11], 0);
    Pad.Buttons[0] = 0;
    PadCount = padCount;
    InputInjection_UseSystemSink();
}
