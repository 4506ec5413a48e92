// The tool's settings: the SettingBlock that steers the four converters, the window-level
// SystemSettings, and the files that hold them ("option.data", "save/*.save", "system.data").
// Stands on the Win32 wide file functions only; names come in as code page 932 text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Qelvar {

// One virtual axis: which PadState axis feeds it (X, Y, Z, Rx, Ry, Rz) and whether it is negated.
struct AxisSource {
    uint8_t Source[6];
    uint8_t Reverse;
};

struct StickSettings {
    AxisSource AxisMap[4];  // left horizontal, left vertical, right horizontal, right vertical
    uint8_t LeftStickEnabled;
    uint8_t RightStickEnabled;
    uint8_t MoveKeyMode;  // 0 W D S A, 1 arrow keys
    uint8_t Padding31;
    int32_t MoveKeyDistance;
    uint8_t DashEnabled;
    uint8_t Padding37[3];
    int32_t DashKey;
    int32_t DashDistance;
    uint8_t FilterEnabled;
    uint8_t SmoothEnabled;
    uint8_t AccelEnabled;
    uint8_t Padding51;
    int32_t SpeedType;  // 0 normal, 1 quick
    int32_t CursorSpeed;
    uint8_t DeadZoneEnabled;
    uint8_t Padding61[3];
    int32_t DeadZone;
    uint8_t SlowModeEnabled;
    uint8_t Padding69[3];
    int32_t SlowButton;
    int32_t SlowPercent;
};

constexpr int ConvertedButtonCount = 20;

// Nine parallel arrays over the pad buttons 0 to 19.
struct ButtonSettings {
    uint8_t ButtonMode[ConvertedButtonCount];  // 0 normal, 1 two-key mode
    uint8_t FirstAssigned[ConvertedButtonCount];
    uint8_t FirstType[ConvertedButtonCount];  // 0 keyboard, 1 mouse
    int32_t FirstKey[ConvertedButtonCount];
    int32_t FirstMouse[ConvertedButtonCount];
    uint8_t SecondAssigned[ConvertedButtonCount];
    uint8_t SecondType[ConvertedButtonCount];
    int32_t SecondKey[ConvertedButtonCount];
    int32_t SecondMouse[ConvertedButtonCount];
};

// Directions d: 0 up, 1 right, 2 down, 3 left; sets s: 0 normal, 1 and 2 the switch sets;
// the per-direction arrays are indexed s * 4 + d.
struct PovSettings {
    uint8_t DiagonalEnabled;
    uint8_t Switch1Enabled;
    uint8_t Switch2Enabled;
    uint8_t Padding3;
    int32_t Switch1Button;
    int32_t Switch2Button;
    uint8_t DirAssigned[12];
    uint8_t DirType[12];
    int32_t DirKey[12];
    int32_t DirMouse[12];
};

struct SettingBlock {
    StickSettings Stick;
    ButtonSettings Buttons;
    PovSettings Pov;
};

// The record is the file format, padding included: the same bytes on 32 and 64 bit.
static_assert(sizeof(AxisSource) == 7);
static_assert(offsetof(StickSettings, LeftStickEnabled) == 28);
static_assert(offsetof(StickSettings, MoveKeyMode) == 30);
static_assert(offsetof(StickSettings, MoveKeyDistance) == 32);
static_assert(offsetof(StickSettings, DashEnabled) == 36);
static_assert(offsetof(StickSettings, DashKey) == 40);
static_assert(offsetof(StickSettings, DashDistance) == 44);
static_assert(offsetof(StickSettings, FilterEnabled) == 48);
static_assert(offsetof(StickSettings, AccelEnabled) == 50);
static_assert(offsetof(StickSettings, SpeedType) == 52);
static_assert(offsetof(StickSettings, CursorSpeed) == 56);
static_assert(offsetof(StickSettings, DeadZoneEnabled) == 60);
static_assert(offsetof(StickSettings, DeadZone) == 64);
static_assert(offsetof(StickSettings, SlowModeEnabled) == 68);
static_assert(offsetof(StickSettings, SlowButton) == 72);
static_assert(offsetof(StickSettings, SlowPercent) == 76);
static_assert(sizeof(StickSettings) == 80);
static_assert(offsetof(ButtonSettings, FirstAssigned) == 20);
static_assert(offsetof(ButtonSettings, FirstType) == 40);
static_assert(offsetof(ButtonSettings, FirstKey) == 60);
static_assert(offsetof(ButtonSettings, FirstMouse) == 140);
static_assert(offsetof(ButtonSettings, SecondAssigned) == 220);
static_assert(offsetof(ButtonSettings, SecondType) == 240);
static_assert(offsetof(ButtonSettings, SecondKey) == 260);
static_assert(offsetof(ButtonSettings, SecondMouse) == 340);
static_assert(sizeof(ButtonSettings) == 420);
static_assert(offsetof(PovSettings, Switch1Button) == 4);
static_assert(offsetof(PovSettings, Switch2Button) == 8);
static_assert(offsetof(PovSettings, DirAssigned) == 12);
static_assert(offsetof(PovSettings, DirType) == 24);
static_assert(offsetof(PovSettings, DirKey) == 36);
static_assert(offsetof(PovSettings, DirMouse) == 84);
static_assert(sizeof(PovSettings) == 132);
static_assert(offsetof(SettingBlock, Buttons) == 80);
static_assert(offsetof(SettingBlock, Pov) == 500);
static_assert(sizeof(SettingBlock) == 632);

constexpr int32_t SettingFileVersion = 1;
constexpr size_t SettingFileSize = 4 + sizeof(SettingBlock);  // 636
constexpr size_t SystemFileSize = 10;
constexpr int PadButtonCount = 32;  // entries of PadState.Buttons: the bound of a stored button index

enum SettingFileResult {
    FileLoaded,
    FileNotFound,
    FileOpenFailed,
    FileVersionMismatch,
    FileSaved,
    FileWriteFailed,
    FileDamaged,  // wrong size or a value out of range: refused, the settings are unchanged
};

// The one configuration in force; read by the converters every frame.
extern SettingBlock Settings;

// SystemSettings, kept as four globals and stored in "system.data" without padding.
extern uint8_t VSyncEnabled;
extern int32_t FrameRateType;  // 0 = 30, 1 = 60, 2 = 75, 3 = 120, 4 = 144 frames per second
extern uint8_t NoExitConfirm;
extern int32_t BackgroundHidden;
// The stick page's vertical-blank choice: written to the file, in force from the next start.
extern uint8_t VSyncChoice;

enum SystemSettingsField {
    SystemFieldVSync,             // the stick page's VSyncChoice
    SystemFieldFrameRate,         // FrameRateType
    SystemFieldNoExitConfirm,     // the exit page
    SystemFieldBackgroundHidden,  // the home page
};

// Static initialiser: the block's defaults (AxisMap X, Y, Z, Rz; every button and POV entry clear).
void InitDefaultSettings();
// Every field back to its default except DiagonalEnabled.
void ResetSettings();
// True when every stored key code, mouse code, button index and scale of the block is in range.
bool IsSettingBlockValid(const SettingBlock& block);

// path: cp932 text relative to the working directory ("option.data", "save/name.save").
SettingFileResult ReadSettingFile(const char* path);
// Writes a temporary file beside the target and then replaces the target, so a failure leaves
// the old file as it was; creates the folder "save" for a path in it.
SettingFileResult WriteSettingFile(const char* path);
bool SettingFileExists(const char* path);
bool RemoveSettingFile(const char* path);
// cp932 text to UTF-16 (terminated); false when it does not convert or fit.
bool SettingFiles_ToWide(const char* text, wchar_t* out, size_t outCount);

// Reads "system.data" when present and sound; sets VSyncChoice = VSyncEnabled. The start-up also
// disables closing by the close box (SetWindowCloseEnabled(0)) right after this.
void LoadSystemSettings();
// Writes one changed value to "system.data", keeping the file's other three values. 0, or -1
// when the file could not be written (the old file then stays as it was).
int UpdateSystemFile(SystemSettingsField field);

}  // namespace Qelvar
