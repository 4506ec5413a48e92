// The setting files byte for byte: defaults written and read back, a file made field by field,
// damaged files refused with the settings unchanged, a failed save that keeps the old file, a
// cp932 name, and "system.data" that changes only the writer's own field.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/AppMain.h"
#include "app/SettingFiles.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;
using Bytes = std::vector<uint8_t>;

// Runs each test in a fresh empty working directory.
class SettingFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, previous_);
        wchar_t temporary[MAX_PATH];
        GetTempPathW(MAX_PATH, temporary);
        swprintf(folder_, MAX_PATH, L"%lsqelvar-settings-%lu-%u", temporary, GetCurrentProcessId(), counter_++);
        ASSERT_TRUE(CreateDirectoryW(folder_, nullptr));
        ASSERT_TRUE(SetCurrentDirectoryW(folder_));
        ResetSettings();
        Settings.Pov.DiagonalEnabled = 0;
        VSyncEnabled = 0;
        FrameRateType = 0;
        NoExitConfirm = 0;
        BackgroundHidden = 0;
        VSyncChoice = 0;
    }

    void TearDown() override
    {
        SetCurrentDirectoryW(previous_);
        // Remove what a test left (one level of folders is enough here).
        std::wstring pattern = std::wstring(folder_) + L"\\*";
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(pattern.c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = std::wstring(folder_) + L"\\" + found.cFileName;
                if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) {
                    continue;
                }
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    std::wstring inner = name + L"\\*";
                    WIN32_FIND_DATAW file;
                    HANDLE innerSearch = FindFirstFileW(inner.c_str(), &file);
                    if (innerSearch != INVALID_HANDLE_VALUE) {
                        do {
                            DeleteFileW((name + L"\\" + file.cFileName).c_str());
                        } while (FindNextFileW(innerSearch, &file));
                        FindClose(innerSearch);
                    }
                    RemoveDirectoryW(name.c_str());
                } else {
                    DeleteFileW(name.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder_);
    }

    static Bytes ReadAll(const wchar_t* path)
    {
        Bytes bytes;
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return bytes;
        }
        uint8_t chunk[1024];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        CloseHandle(file);
        return bytes;
    }

    static void WriteAll(const wchar_t* path, const Bytes& bytes)
    {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    static void Put32(Bytes& bytes, size_t offset, int32_t value)
    {
        memcpy(bytes.data() + offset, &value, 4);
    }

    // The default setting file, laid out by hand from the file format.
    static Bytes DefaultFile()
    {
        Bytes bytes(636, 0);
        Put32(bytes, 0, 1);
        const size_t stick = 4;
        bytes[stick + 0 * 7 + 0] = 1;  // axis 0: X
        bytes[stick + 1 * 7 + 1] = 1;  // axis 1: Y
        bytes[stick + 2 * 7 + 2] = 1;  // axis 2: Z
        bytes[stick + 3 * 7 + 5] = 1;  // axis 3: Rz
        bytes[stick + 28] = 1;         // LeftStickEnabled
        bytes[stick + 29] = 1;         // RightStickEnabled
        Put32(bytes, stick + 32, 500);  // MoveKeyDistance
        Put32(bytes, stick + 44, 900);  // DashDistance
        bytes[stick + 48] = 1;          // FilterEnabled
        Put32(bytes, stick + 52, 1);    // SpeedType
        Put32(bytes, stick + 56, 10);   // CursorSpeed
        Put32(bytes, stick + 64, 50);   // DeadZone
        Put32(bytes, stick + 76, 10);   // SlowPercent
        return bytes;
    }

    wchar_t previous_[MAX_PATH] = {};
    wchar_t folder_[MAX_PATH] = {};
    static inline unsigned counter_ = 0;
};

TEST_F(SettingFilesTest, DefaultsAreWrittenAndReadBackByteForByte)
{
    ASSERT_EQ(WriteSettingFile("option.data"), FileSaved);
    EXPECT_EQ(ReadAll(L"option.data"), DefaultFile());

    SettingBlock before = Settings;
    Settings.Stick.CursorSpeed = 55;
    Settings.Buttons.FirstKey[7] = 0x30;
    ASSERT_EQ(ReadSettingFile("option.data"), FileLoaded);
    EXPECT_EQ(memcmp(&Settings, &before, sizeof(before)), 0);
    EXPECT_EQ(GetFileAttributesW(L"option.data.tmp"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingFilesTest, FileMadeFieldByFieldLoads)
{
    Bytes bytes = DefaultFile();
    const size_t stick = 4, buttons = 4 + 80, pov = 4 + 500;
    bytes[stick + 3 * 7 + 5] = 0;
    bytes[stick + 3 * 7 + 3] = 1;  // axis 3 from Rx
    bytes[stick + 3 * 7 + 6] = 1;  // reversed
    bytes[stick + 30] = 1;         // MoveKeyMode arrows
    bytes[stick + 36] = 1;         // DashEnabled
    Put32(bytes, stick + 40, 0x2A);
    bytes[stick + 50] = 1;  // AccelEnabled
    Put32(bytes, stick + 72, 19);
    bytes[buttons + 3] = 1;  // ButtonMode[3]
    bytes[buttons + 20 + 3] = 1;
    Put32(bytes, buttons + 60 + 3 * 4, 0x11);
    bytes[buttons + 20 + 19] = 1;
    bytes[buttons + 40 + 19] = 1;  // FirstType[19] mouse
    Put32(bytes, buttons + 140 + 19 * 4, 3);
    bytes[buttons + 220 + 3] = 1;
    Put32(bytes, buttons + 260 + 3 * 4, 0x1E);
    Put32(bytes, buttons + 340 + 0, 2);
    bytes[pov + 0] = 1;  // DiagonalEnabled
    bytes[pov + 2] = 1;  // Switch2Enabled
    Put32(bytes, pov + 8, 7);
    bytes[pov + 12 + 11] = 1;
    Put32(bytes, pov + 36 + 11 * 4, 0xCB);
    bytes[pov + 24 + 5] = 1;
    Put32(bytes, pov + 84 + 5 * 4, 2);
    WriteAll(L"field.save", bytes);

    ASSERT_EQ(ReadSettingFile("field.save"), FileLoaded);
    const StickSettings& s = Settings.Stick;
    EXPECT_EQ(s.AxisMap[3].Source[3], 1);
    EXPECT_EQ(s.AxisMap[3].Source[5], 0);
    EXPECT_EQ(s.AxisMap[3].Reverse, 1);
    EXPECT_EQ(s.MoveKeyMode, 1);
    EXPECT_EQ(s.DashEnabled, 1);
    EXPECT_EQ(s.DashKey, 0x2A);
    EXPECT_EQ(s.AccelEnabled, 1);
    EXPECT_EQ(s.SlowButton, 19);
    EXPECT_EQ(s.DashDistance, 900);
    const ButtonSettings& b = Settings.Buttons;
    EXPECT_EQ(b.ButtonMode[3], 1);
    EXPECT_EQ(b.FirstAssigned[3], 1);
    EXPECT_EQ(b.FirstKey[3], 0x11);
    EXPECT_EQ(b.FirstType[19], 1);
    EXPECT_EQ(b.FirstMouse[19], 3);
    EXPECT_EQ(b.SecondAssigned[3], 1);
    EXPECT_EQ(b.SecondKey[3], 0x1E);
    EXPECT_EQ(b.SecondMouse[0], 2);
    const PovSettings& p = Settings.Pov;
    EXPECT_EQ(p.DiagonalEnabled, 1);
    EXPECT_EQ(p.Switch2Enabled, 1);
    EXPECT_EQ(p.Switch2Button, 7);
    EXPECT_EQ(p.DirAssigned[11], 1);
    EXPECT_EQ(p.DirKey[11], 0xCB);
    EXPECT_EQ(p.DirType[5], 1);
    EXPECT_EQ(p.DirMouse[5], 2);

    // Written out again, the same bytes.
    ASSERT_EQ(WriteSettingFile("again.save"), FileSaved);
    EXPECT_EQ(ReadAll(L"again.save"), bytes);
}

TEST_F(SettingFilesTest, DamagedFilesAreRefusedAndTheSettingsStay)
{
    struct Case {
        const char* Name;
        void (*Damage)(Bytes&);
        SettingFileResult Expected;
    };
    const Case cases[] = {
        {"truncated by one", [](Bytes& b) { b.pop_back(); }, FileDamaged},
        {"version only", [](Bytes& b) { b.resize(4); }, FileDamaged},
        {"two bytes", [](Bytes& b) { b.resize(2); }, FileDamaged},
        {"empty", [](Bytes& b) { b.clear(); }, FileDamaged},
        {"one byte too many", [](Bytes& b) { b.push_back(0); }, FileDamaged},
        {"version 2", [](Bytes& b) { Put32(b, 0, 2); }, FileVersionMismatch},
        {"version 2, short", [](Bytes& b) { Put32(b, 0, 2); b.resize(100); }, FileVersionMismatch},
        {"dash key 256", [](Bytes& b) { Put32(b, 4 + 40, 256); }, FileDamaged},
        {"first key -1", [](Bytes& b) { Put32(b, 4 + 80 + 60 + 8, -1); }, FileDamaged},
        {"second key 0x1000", [](Bytes& b) { Put32(b, 4 + 80 + 260 + 76, 0x1000); }, FileDamaged},
        {"first mouse 4", [](Bytes& b) { Put32(b, 4 + 80 + 140, 4); }, FileDamaged},
        {"second mouse -1", [](Bytes& b) { Put32(b, 4 + 80 + 340 + 4, -1); }, FileDamaged},
        {"slow button 32", [](Bytes& b) { Put32(b, 4 + 72, 32); }, FileDamaged},
        {"switch 1 button -1", [](Bytes& b) { Put32(b, 4 + 500 + 4, -1); }, FileDamaged},
        {"switch 2 button 99", [](Bytes& b) { Put32(b, 4 + 500 + 8, 99); }, FileDamaged},
        {"POV key 300", [](Bytes& b) { Put32(b, 4 + 500 + 36 + 44, 300); }, FileDamaged},
        {"POV mouse 9", [](Bytes& b) { Put32(b, 4 + 500 + 84, 9); }, FileDamaged},
        {"cursor speed overflowing", [](Bytes& b) { Put32(b, 4 + 56, 5000000); }, FileDamaged},
    };
    Settings.Stick.CursorSpeed = 35;  // differs from the file, so that a load would show
    Settings.Buttons.FirstKey[0] = 0x2C;
    const SettingBlock before = Settings;
    for (const Case& c : cases) {
        Bytes bytes = DefaultFile();
        c.Damage(bytes);
        WriteAll(L"damaged.save", bytes);
        EXPECT_EQ(ReadSettingFile("damaged.save"), c.Expected) << c.Name;
        EXPECT_EQ(memcmp(&Settings, &before, sizeof(before)), 0) << c.Name;
    }
    EXPECT_EQ(ReadSettingFile("missing.save"), FileNotFound);
    EXPECT_EQ(memcmp(&Settings, &before, sizeof(before)), 0);
}

TEST_F(SettingFilesTest, FailedSaveKeepsTheOldFile)
{
    ASSERT_EQ(WriteSettingFile("option.data"), FileSaved);
    const Bytes old = ReadAll(L"option.data");
    Settings.Stick.CursorSpeed = 95;
    // The temporary file cannot be made: a folder has its name.
    ASSERT_TRUE(CreateDirectoryW(L"option.data.tmp", nullptr));
    EXPECT_EQ(WriteSettingFile("option.data"), FileWriteFailed);
    EXPECT_EQ(ReadAll(L"option.data"), old);
    RemoveDirectoryW(L"option.data.tmp");

    // A folder in the way of the file itself: the save fails, the temporary file is gone.
    ASSERT_TRUE(CreateDirectoryW(L"blocked.save", nullptr));
    EXPECT_EQ(WriteSettingFile("blocked.save"), FileWriteFailed);
    EXPECT_EQ(GetFileAttributesW(L"blocked.save.tmp"), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(L"blocked.save");

    // A successful save replaces the old file.
    EXPECT_EQ(WriteSettingFile("option.data"), FileSaved);
    Bytes now = ReadAll(L"option.data");
    ASSERT_EQ(now.size(), 636u);
    EXPECT_EQ(now[4 + 56], 95);
}

TEST_F(SettingFilesTest, Cp932NameInTheSaveFolder)
{
    // "save/新規セーブデータ.save": the folder is made, the file carries its UTF-16 name.
    ASSERT_EQ(WriteSettingFile("save/新規セーブデータ.save"), FileSaved);
    EXPECT_NE(GetFileAttributesW(L"save"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadAll(L"save\\新規セーブデータ.save"), DefaultFile());
    EXPECT_TRUE(SettingFileExists("save/新規セーブデータ.save"));
    EXPECT_EQ(ReadSettingFile("save/新規セーブデータ.save"), FileLoaded);
    EXPECT_TRUE(RemoveSettingFile("save/新規セーブデータ.save"));
    EXPECT_FALSE(SettingFileExists("save/新規セーブデータ.save"));
    EXPECT_EQ(ReadSettingFile("save/新規セーブデータ.save"), FileNotFound);
}

TEST_F(SettingFilesTest, ResetKeepsOnlyTheDiagonalSwitch)
{
    ASSERT_EQ(WriteSettingFile("defaults.save"), FileSaved);
    Settings.Pov.DiagonalEnabled = 1;
    Settings.Pov.Switch1Enabled = 1;
    Settings.Stick.AxisMap[0].Source[0] = 0;
    Settings.Stick.AxisMap[0].Source[4] = 1;
    Settings.Stick.SpeedType = 0;
    Settings.Buttons.SecondMouse[4] = 3;
    ResetSettings();
    EXPECT_EQ(Settings.Pov.DiagonalEnabled, 1);
    Settings.Pov.DiagonalEnabled = 0;
    ASSERT_EQ(WriteSettingFile("reset.save"), FileSaved);
    EXPECT_EQ(ReadAll(L"reset.save"), ReadAll(L"defaults.save"));
}

TEST_F(SettingFilesTest, SystemFileKeepsTheOtherFields)
{
    // No file: the defaults stay.
    LoadSystemSettings();
    EXPECT_EQ(VSyncEnabled, 0);
    EXPECT_EQ(FrameRateType, 0);
    EXPECT_EQ(NoExitConfirm, 0);
    EXPECT_EQ(BackgroundHidden, 0);

    // No file: the home page writes all four from memory, VSyncEnabled for the first.
    VSyncEnabled = 1;
    VSyncChoice = 0;
    FrameRateType = 3;
    BackgroundHidden = 1;
    ASSERT_EQ(UpdateSystemFile(SystemFieldBackgroundHidden), 0);
    EXPECT_EQ(ReadAll(L"system.data"), (Bytes{1, 3, 0, 0, 0, 0, 1, 0, 0, 0}));

    // With a file only the writer's own bytes change, whatever memory holds.
    FrameRateType = 4;
    NoExitConfirm = 1;
    BackgroundHidden = 0;
    ASSERT_EQ(UpdateSystemFile(SystemFieldBackgroundHidden), 0);
    EXPECT_EQ(ReadAll(L"system.data"), (Bytes{1, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(UpdateSystemFile(SystemFieldFrameRate), 0);
    EXPECT_EQ(ReadAll(L"system.data"), (Bytes{1, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(UpdateSystemFile(SystemFieldVSync), 0);  // the stick page's VSyncChoice
    EXPECT_EQ(ReadAll(L"system.data"), (Bytes{0, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(UpdateSystemFile(SystemFieldNoExitConfirm), 0);
    EXPECT_EQ(ReadAll(L"system.data"), (Bytes{0, 4, 0, 0, 0, 1, 0, 0, 0, 0}));

    // Read at start-up; VSyncChoice follows VSyncEnabled.
    VSyncEnabled = 1;
    FrameRateType = 0;
    NoExitConfirm = 0;
    BackgroundHidden = 7;
    LoadSystemSettings();
    EXPECT_EQ(VSyncEnabled, 0);
    EXPECT_EQ(FrameRateType, 4);
    EXPECT_EQ(NoExitConfirm, 1);
    EXPECT_EQ(BackgroundHidden, 0);
    EXPECT_EQ(VSyncChoice, 0);
}

TEST_F(SettingFilesTest, LayersAreDrawnWithTheLoadedBackgroundSetting)
{
    WriteAll(L"system.data", {0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    LoadSystemSettings();
    EXPECT_EQ(BackgroundHidden, 1);
    EXPECT_EQ(ScreenLayers.BackgroundHidden, 1) << "the layers would be drawn with the picture";
    // The home page's switch changes the one value both the layers and the file take.
    BackgroundHidden = 0;
    EXPECT_EQ(ScreenLayers.BackgroundHidden, 0);
}

TEST_F(SettingFilesTest, DamagedSystemFileIsIgnored)
{
    const Bytes damaged[] = {
        {0, 5, 0, 0, 0, 0, 0, 0, 0, 0},     // frame rate 5
        {0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0},  // frame rate -1
        {1, 2, 0, 0, 0, 1, 0, 0, 0},        // 9 bytes
        {1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0},  // 11 bytes
    };
    for (const Bytes& bytes : damaged) {
        WriteAll(L"system.data", bytes);
        VSyncEnabled = 0;
        FrameRateType = 1;
        NoExitConfirm = 0;
        BackgroundHidden = 0;
        LoadSystemSettings();
        EXPECT_EQ(FrameRateType, 1);
        EXPECT_EQ(VSyncEnabled, 0);
        EXPECT_EQ(NoExitConfirm, 0);
        // A writer then takes the values in memory and writes a sound file.
        ASSERT_EQ(UpdateSystemFile(SystemFieldFrameRate), 0);
        EXPECT_EQ(ReadAll(L"system.data"), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
}

}  // namespace
}  // namespace QelvarTest
