// The tool's settings and their files: defaults, reset, range checks, the 636-byte setting files
// and the 10-byte "system.data". Stands on the Win32 wide file functions; every write goes to a
// temporary file first and then replaces the target, so the old file survives a failed save.
#include "app/SettingFiles.h"

#include <windows.h>

#include <cstring>

namespace Qelvar {

SettingBlock Settings = {
    {
        {{{1, 0, 0, 0, 0, 0}, 0}, {{0, 1, 0, 0, 0, 0}, 0}, {{0, 0, 1, 0, 0, 0}, 0}, {{0, 0, 0, 0, 0, 1}, 0}},
        1, 1, 0, 0,  // LeftStickEnabled, RightStickEnabled, MoveKeyMode, padding
        500,         // MoveKeyDistance
        0, {0, 0, 0},
        0,    // DashKey
        900,  // DashDistance
        1, 0, 0, 0,  // FilterEnabled, SmoothEnabled, AccelEnabled, padding
        1,           // SpeedType
        10,          // CursorSpeed
        0, {0, 0, 0},
        50,  // DeadZone
        0, {0, 0, 0},
        0,   // SlowButton
        10,  // SlowPercent
    },
    {},
    {},
};

uint8_t VSyncEnabled = 0;
int32_t FrameRateType = 0;
uint8_t NoExitConfirm = 0;
int32_t BackgroundHidden = 0;
uint8_t VSyncChoice = 0;

namespace {

constexpr size_t WidePathCount = MAX_PATH * 2;

StickSettings DefaultStickSettings()
{
    StickSettings stick = {};
    stick.AxisMap[0].Source[0] = 1;  // X
    stick.AxisMap[1].Source[1] = 1;  // Y
    stick.AxisMap[2].Source[2] = 1;  // Z
    stick.AxisMap[3].Source[5] = 1;  // Rz
    stick.LeftStickEnabled = 1;
    stick.RightStickEnabled = 1;
    stick.MoveKeyDistance = 500;
    stick.DashDistance = 900;
    stick.FilterEnabled = 1;
    stick.SpeedType = 1;
    stick.CursorSpeed = 10;
    stick.DeadZone = 50;
    stick.SlowPercent = 10;
    return stick;
}

bool InRange(int32_t value, int32_t low, int32_t high)
{
    return value >= low && value <= high;
}

bool IsKeyCode(int32_t code)
{
    return InRange(code, 0, 255);
}

bool IsMouseCode(int32_t code)
{
    return InRange(code, 0, 3);
}

bool IsButtonIndex(int32_t index)
{
    return InRange(index, 0, PadButtonCount - 1);
}

// Reads at most `capacity` bytes of a whole file; returns the count read, -1 when it does not
// open or a read fails. Sets *opened to whether the open succeeded.
long ReadWholeFile(const wchar_t* path, uint8_t* buffer, size_t capacity, bool* opened)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    *opened = file != INVALID_HANDLE_VALUE;
    if (!*opened) {
        return -1;
    }
    size_t total = 0;
    bool failed = false;
    while (total < capacity) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, static_cast<DWORD>(capacity - total), &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    CloseHandle(file);
    return failed ? -1 : static_cast<long>(total);
}

// Writes `size` bytes to `<path>.tmp`, flushes it and moves it over `path`.
bool WriteFileReplacing(const wchar_t* path, const void* data, size_t size)
{
    wchar_t temporary[WidePathCount + 8];
    size_t length = wcslen(path);
    if (length + 5 > WidePathCount) {
        return false;
    }
    memcpy(temporary, path, length * sizeof(wchar_t));
    memcpy(temporary + length, L".tmp", 5 * sizeof(wchar_t));

    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    if (ok) {
        ok = MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) {
        DeleteFileW(temporary);
    }
    return ok;
}

bool IsDirectory(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsInSaveFolder(const char* path)
{
    return strncmp(path, "save/", 5) == 0 || strncmp(path, "save\\", 5) == 0;
}

struct SystemRecord {
    uint8_t VSync;
    int32_t FrameRate;
    uint8_t NoExitConfirm;
    int32_t BackgroundHidden;
};

// The file's four values; false when it is missing, unreadable, not 10 bytes or out of range.
bool ReadSystemFile(SystemRecord* record)
{
    uint8_t bytes[SystemFileSize + 1];
    bool opened = false;
    long count = ReadWholeFile(L"system.data", bytes, sizeof(bytes), &opened);
    if (count != static_cast<long>(SystemFileSize)) {
        return false;
    }
    SystemRecord read;
    read.VSync = bytes[0];
    memcpy(&read.FrameRate, bytes + 1, 4);
    read.NoExitConfirm = bytes[5];
    memcpy(&read.BackgroundHidden, bytes + 6, 4);
    if (!InRange(read.FrameRate, 0, 4)) {
        return false;
    }
    *record = read;
    return true;
}

}  // namespace

bool SettingFiles_ToWide(const char* text, wchar_t* out, size_t outCount)
{
    if (text == nullptr || out == nullptr || outCount == 0) {
        return false;
    }
    int count = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(outCount));
    if (count <= 0) {
        out[0] = 0;
        return false;
    }
    return true;
}

void InitDefaultSettings()
{
    for (AxisSource& axis : Settings.Stick.AxisMap) {
        memset(&axis, 0, sizeof(axis));
    }
    Settings.Stick.AxisMap[0].Source[0] = 1;
    Settings.Stick.AxisMap[1].Source[1] = 1;
    Settings.Stick.AxisMap[2].Source[2] = 1;
    Settings.Stick.AxisMap[3].Source[5] = 1;
    memset(&Settings.Buttons, 0, sizeof(Settings.Buttons));
    uint8_t diagonal = Settings.Pov.DiagonalEnabled;
    memset(&Settings.Pov, 0, sizeof(Settings.Pov));
    Settings.Pov.DiagonalEnabled = diagonal;
}

void ResetSettings()
{
    uint8_t diagonal = Settings.Pov.DiagonalEnabled;
    Settings.Stick = DefaultStickSettings();
    memset(&Settings.Buttons, 0, sizeof(Settings.Buttons));
    memset(&Settings.Pov, 0, sizeof(Settings.Pov));
    Settings.Pov.DiagonalEnabled = diagonal;
}

bool IsSettingBlockValid(const SettingBlock& block)
{
    const StickSettings& stick = block.Stick;
    if (!IsKeyCode(stick.DashKey) || !IsButtonIndex(stick.SlowButton)) {
        return false;
    }
    // Scales that enter the mouse arithmetic: bounded so that no product can overflow.
    const int32_t scales[] = {stick.MoveKeyDistance, stick.DashDistance, stick.CursorSpeed, stick.DeadZone,
                              stick.SlowPercent};
    for (int32_t scale : scales) {
        if (!InRange(scale, 0, 1000)) {
            return false;
        }
    }
    const ButtonSettings& buttons = block.Buttons;
    for (int i = 0; i < ConvertedButtonCount; ++i) {
        if (!IsKeyCode(buttons.FirstKey[i]) || !IsKeyCode(buttons.SecondKey[i]) ||
            !IsMouseCode(buttons.FirstMouse[i]) || !IsMouseCode(buttons.SecondMouse[i])) {
            return false;
        }
    }
    const PovSettings& pov = block.Pov;
    if (!IsButtonIndex(pov.Switch1Button) || !IsButtonIndex(pov.Switch2Button)) {
        return false;
    }
    for (int i = 0; i < 12; ++i) {
        if (!IsKeyCode(pov.DirKey[i]) || !IsMouseCode(pov.DirMouse[i])) {
            return false;
        }
    }
    return true;
}

bool SettingFileExists(const char* path)
{
    wchar_t wide[WidePathCount];
    return SettingFiles_ToWide(path, wide, WidePathCount) && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveSettingFile(const char* path)
{
    wchar_t wide[WidePathCount];
    return SettingFiles_ToWide(path, wide, WidePathCount) && DeleteFileW(wide) != 0;
}

SettingFileResult ReadSettingFile(const char* path)
{
    wchar_t wide[WidePathCount];
    if (!SettingFiles_ToWide(path, wide, WidePathCount) || GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) {
        return FileNotFound;
    }
    uint8_t bytes[SettingFileSize + 1];
    bool opened = false;
    long count = ReadWholeFile(wide, bytes, sizeof(bytes), &opened);
    if (count < 0) {
        return FileOpenFailed;
    }
    if (count < 4) {
        return FileDamaged;
    }
    int32_t version = 0;
    memcpy(&version, bytes, 4);
    if (version != SettingFileVersion) {
        return FileVersionMismatch;
    }
    if (count != static_cast<long>(SettingFileSize)) {
        return FileDamaged;
    }
    SettingBlock block;
    memcpy(&block, bytes + 4, sizeof(block));
    if (!IsSettingBlockValid(block)) {
        return FileDamaged;
    }
    Settings = block;
    return FileLoaded;
}

SettingFileResult WriteSettingFile(const char* path)
{
    wchar_t wide[WidePathCount];
    if (!SettingFiles_ToWide(path, wide, WidePathCount)) {
        return FileWriteFailed;
    }
    if (IsInSaveFolder(path) && !IsDirectory(L"save")) {
        CreateDirectoryW(L"save", nullptr);
    }
    uint8_t bytes[SettingFileSize];
    memcpy(bytes, &SettingFileVersion, 4);
    memcpy(bytes + 4, &Settings, sizeof(Settings));
    return WriteFileReplacing(wide, bytes, sizeof(bytes)) ? FileSaved : FileWriteFailed;
}

void LoadSystemSettings()
{
    SystemRecord record;
    if (ReadSystemFile(&record)) {
        VSyncEnabled = record.VSync;
        FrameRateType = record.FrameRate;
        NoExitConfirm = record.NoExitConfirm;
        BackgroundHidden = record.BackgroundHidden;
    }
    VSyncChoice = VSyncEnabled;
}

int UpdateSystemFile(SystemSettingsField field)
{
    SystemRecord record;
    record.VSync = field == SystemFieldBackgroundHidden ? VSyncEnabled : VSyncChoice;
    record.FrameRate = FrameRateType;
    record.NoExitConfirm = NoExitConfirm;
    record.BackgroundHidden = BackgroundHidden;
    ReadSystemFile(&record);  // the file's own values win where it is sound
    switch (field) {
    case SystemFieldVSync: record.VSync = VSyncChoice; break;
    case SystemFieldFrameRate: record.FrameRate = FrameRateType; break;
    case SystemFieldNoExitConfirm: record.NoExitConfirm = NoExitConfirm; break;
    case SystemFieldBackgroundHidden: record.BackgroundHidden = BackgroundHidden; break;
    }
    uint8_t bytes[SystemFileSize];
    bytes[0] = record.VSync;
    memcpy(bytes + 1, &record.FrameRate, 4);
    bytes[5] = record.NoExitConfirm;
    memcpy(bytes + 6, &record.BackgroundHidden, 4);
    return WriteFileReplacing(L"system.data", bytes, sizeof(bytes)) ? 0 : -1;
}

}  // namespace Qelvar
