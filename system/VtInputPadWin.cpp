// Pad back end and the platform half of input start-up: XInput (loaded by name), DirectInput 8 (with WMI
// to tell XInput controllers apart) or the WinMM joystick calls, up to 16 pad records refreshed at most
// once per millisecond tick. Stands on the system function table, the log, the window state and the pump.
#include "system/VtInputPadWin.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <wbemcli.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "system/VtInputKeyMouseWin.h"
#include "system/VtPadVibration.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

// Record sizes the system functions are given, as documented for them.
static_assert(sizeof(JOYCAPSW) == 728, "JOYCAPSW is 728 bytes");
static_assert(sizeof(JOYINFOEX) == 52, "JOYINFOEX is 52 bytes");
static_assert(sizeof(DIDEVICEINSTANCEW) == 1100, "DIDEVICEINSTANCEW of DirectInput 8 is 1100 bytes");
static_assert(sizeof(DIDEVCAPS) == 44, "DIDEVCAPS of DirectInput 8 is 44 bytes");
static_assert(sizeof(DIJOYSTATE) == sizeof(PadDirectInputState), "the pad state is a DIJOYSTATE");
#ifndef _WIN64
static_assert(sizeof(DIEFFECT) == 56, "DIEFFECT with a start delay is 56 bytes on 32-bit Windows");
#endif

InputSystemState InputSystem;
int32_t InputSetupInProgress = 0;

namespace {

const int32_t DefaultDeadZoneFixed = 22937; // 0.35 x 65536, truncated
const double DefaultDeadZoneValue = 0.35;

// WMI identifiers (published with the WMI COM API).
const CLSID ClsidWbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
const IID IidWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};

const wchar_t XInputPadName[] = L"Controller (XBOX 360 For Windows)";
const char* const AxisNamesNarrow[6] = {"X", "Y", "Z", "Rx", "Ry", "Rz"};

int32_t Joypad_Now()
{
    return static_cast<int32_t>(WinAPITable.timeGetTime());
}

// An entry continued by the next one (no line end), formatted.
void Joypad_LogContinued(const char* format, const char* argument)
{
    char text[256];
    snprintf(text, sizeof(text), format, argument);
    Log_AddTextShiftJIS(text);
}

void Joypad_LogError(HRESULT result)
{
    Log_AddFormatShiftJIS("失敗 Error Code :0x%08x", static_cast<unsigned int>(result));
}

void Joypad_LogGuid(const char* format, const GUID& guid)
{
    Log_AddFormatShiftJIS(format, static_cast<unsigned int>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                          guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                          guid.Data4[7]);
}

void Joypad_ClearPovs(PadDirectInputState* state)
{
    for (int i = 0; i < 4; ++i) state->POV[i] = -1;
}

void Joypad_CopyName(wchar_t* destination, const wchar_t* source)
{
    int i = 0;
    for (; i < PadNameLength - 1 && source[i] != 0; ++i) destination[i] = source[i];
    destination[i] = 0;
}

void Joypad_UpperCase(wchar_t* text)
{
    for (; *text != 0; ++text)
        if (*text >= L'a' && *text <= L'z') *text = static_cast<wchar_t>(*text - L'a' + L'A');
}

HRESULT Joypad_SetAxisProperty(IDirectInputDevice8W* device, REFGUID property, DWORD offset, DIPROPRANGE* range,
                               DIPROPDWORD* value)
{
    if (range != nullptr) {
        range->diph.dwSize = sizeof(DIPROPRANGE);
        range->diph.dwHeaderSize = sizeof(DIPROPHEADER);
        range->diph.dwObj = offset;
        range->diph.dwHow = DIPH_BYOFFSET;
        return device->SetProperty(property, &range->diph);
    }
    value->diph.dwSize = sizeof(DIPROPDWORD);
    value->diph.dwHeaderSize = sizeof(DIPROPHEADER);
    value->diph.dwObj = offset;
    value->diph.dwHow = DIPH_BYOFFSET;
    return device->SetProperty(property, &value->diph);
}

DWORD Joypad_DeviceDeadZone(int32_t deadZone)
{
    return static_cast<DWORD>(static_cast<uint32_t>(deadZone) * 10000u >> 16);
}

// DirectInput data formats, built once from the documented layouts of DIJOYSTATE, DIMOUSESTATE2 and the
// 256-byte keyboard state.
DIOBJECTDATAFORMAT JoystickObjects[44];
DIOBJECTDATAFORMAT Mouse2Objects[11];
DIOBJECTDATAFORMAT KeyboardObjects[256];
DIDATAFORMAT JoystickFormat;
DIDATAFORMAT Mouse2Format;
DIDATAFORMAT KeyboardFormat;
int DataFormatsBuilt = 0;

void Input_BuildDataFormats()
{
    if (DataFormatsBuilt) return;
    const GUID* axes[6] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis};
    int n = 0;
    for (int i = 0; i < 6; ++i)
        JoystickObjects[n++] = {axes[i], static_cast<DWORD>(i * 4), DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    for (int i = 0; i < 2; ++i)
        JoystickObjects[n++] = {&GUID_Slider, static_cast<DWORD>(24 + i * 4),
                                DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    for (int i = 0; i < 4; ++i)
        JoystickObjects[n++] = {&GUID_POV, static_cast<DWORD>(32 + i * 4),
                                DIDFT_OPTIONAL | DIDFT_POV | DIDFT_ANYINSTANCE, 0};
    for (int i = 0; i < 32; ++i)
        JoystickObjects[n++] = {nullptr, static_cast<DWORD>(48 + i), DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0};
    JoystickFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_ABSAXIS, sizeof(DIJOYSTATE), 44,
                      JoystickObjects};

    n = 0;
    Mouse2Objects[n++] = {&GUID_XAxis, 0, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    Mouse2Objects[n++] = {&GUID_YAxis, 4, DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    Mouse2Objects[n++] = {&GUID_ZAxis, 8, DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE, 0};
    for (int i = 0; i < 8; ++i)
        Mouse2Objects[n++] = {nullptr, static_cast<DWORD>(12 + i),
                              (i < 2 ? 0u : static_cast<DWORD>(DIDFT_OPTIONAL)) | DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0};
    Mouse2Format = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, sizeof(DIMOUSESTATE2), 11,
                    Mouse2Objects};

    for (int i = 0; i < 256; ++i)
        KeyboardObjects[i] = {&GUID_Key, static_cast<DWORD>(i),
                              DIDFT_OPTIONAL | DIDFT_BUTTON | static_cast<DWORD>(DIDFT_MAKEINSTANCE(i)), 0};
    KeyboardFormat = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256, KeyboardObjects};
    DataFormatsBuilt = 1;
}

void Joypad_FillKeyToPadTable()
{
    for (int pad = 0; pad < MaxPadCount; ++pad)
        for (int entry = 0; entry < KeyToPadEntries; ++entry) {
            InputSystem.KeyToPad[pad][entry][0] = -1;
            InputSystem.KeyToPad[pad][entry][1] = -1;
            InputSystem.KeyToPad[pad][entry][2] = 0;
            InputSystem.KeyToPad[pad][entry][3] = 0;
        }
    static const int32_t firstPad[14][2] = {
        {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8}, {0x2C, -1}, {0x2D, -1}, {0x2E, -1},
        {0x1E, -1},   {0x1F, -1},   {0x20, -1},   {0x10, -1},   {0x11, -1}, {0x01, -1}, {0x39, -1},
    };
    for (int entry = 0; entry < 14; ++entry) {
        InputSystem.KeyToPad[0][entry][0] = firstPad[entry][0];
        InputSystem.KeyToPad[0][entry][1] = firstPad[entry][1];
    }
    InputSystem.KeyToPadFilled = 1;
}

// Pumps messages once; 1 when the pad index is still usable afterwards and the library goes on.
int Joypad_PumpAndRecheck(int index)
{
    if (System_PollMessagesNoLock() != 0) return 0;
    if (InputSystem.DirectInput == nullptr || InputSystem.DirectInput == VT_DIRECTINPUT_JOYSTICK_MODE) return 0;
    return index < InputSystem.PadCount;
}

} // namespace

const DIDATAFORMAT* Input_DataFormatJoystick()
{
    Input_BuildDataFormats();
    return &JoystickFormat;
}

const DIDATAFORMAT* Input_DataFormatMouse2()
{
    Input_BuildDataFormats();
    return &Mouse2Format;
}

const DIDATAFORMAT* Input_DataFormatKeyboard()
{
    Input_BuildDataFormats();
    return &KeyboardFormat;
}

void Joypad_EnsureDefaultDeadZone()
{
    if (InputSystem.DefaultDeadZoneSet) return;
    InputSystem.DefaultDeadZoneSet = 1;
    InputSystem.DefaultDeadZone = DefaultDeadZoneFixed;
    InputSystem.DefaultDeadZoneDouble = DefaultDeadZoneValue;
}

int Input_IsDirectInputMode()
{
    return InputSystem.DirectInput != nullptr && InputSystem.DirectInput != VT_DIRECTINPUT_JOYSTICK_MODE;
}

// ---------------------------------------------------------------------------------------------------
// State conversions

int32_t Joypad_ConvertXInputThumb(int32_t value, int32_t deadZone, int invert)
{
    int32_t d = static_cast<int16_t>((deadZone * 32767) >> 16);
    if (value == -32768) return invert ? 1000 : -1000;
    if (value == 32767) return invert ? -1000 : 1000;
    if (value < -d) return invert ? (value + d) * -1000 / (32767 - d) : (value + d) * 1000 / (32767 - d);
    if (value > d) return invert ? (d - value) * 1000 / (32767 - d) : (value - d) * 1000 / (32767 - d);
    return 0;
}

int32_t Joypad_ConvertXInputPov(uint16_t buttons)
{
    int b = buttons & 0xF;
    if ((b & 0xD) == 0x1) return 0;
    if ((b & 0x9) == 0x9) return 4500;
    if ((b & 0xB) == 0x8) return 9000;
    if ((b & 0xA) == 0xA) return 13500;
    if ((b & 0xE) == 0x2) return 18000;
    if ((b & 0x6) == 0x6) return 22500;
    if ((b & 0x7) == 0x4) return 27000;
    if ((b & 0x5) == 0x5) return 31500;
    return -1;
}

void Joypad_ConvertXInputState(const XINPUT_GAMEPAD* pad, int32_t deadZone, PadDirectInputState* directInput,
                               PadXInputState* xinput)
{
    for (int i = 0; i < 16; ++i) xinput->Buttons[i] = (pad->wButtons >> i) & 1;
    xinput->LeftTrigger = pad->bLeftTrigger;
    xinput->RightTrigger = pad->bRightTrigger;
    xinput->ThumbLX = pad->sThumbLX;
    xinput->ThumbLY = pad->sThumbLY;
    xinput->ThumbRX = pad->sThumbRX;
    xinput->ThumbRY = pad->sThumbRY;

    directInput->X = Joypad_ConvertXInputThumb(pad->sThumbLX, deadZone, 0);
    directInput->Rx = Joypad_ConvertXInputThumb(pad->sThumbRX, deadZone, 0);
    directInput->Y = Joypad_ConvertXInputThumb(pad->sThumbLY, deadZone, 1);
    directInput->Ry = Joypad_ConvertXInputThumb(pad->sThumbRY, deadZone, 1);

    static const uint16_t buttonBits[10] = {0x1000, 0x2000, 0x4000, 0x8000, 0x0100,
                                            0x0200, 0x0020, 0x0010, 0x0040, 0x0080};
    for (int i = 0; i < 10; ++i) directInput->Buttons[i] = (pad->wButtons & buttonBits[i]) ? 0x80 : 0;

    directInput->POV[0] = Joypad_ConvertXInputPov(pad->wButtons);
    directInput->POV[1] = directInput->POV[2] = directInput->POV[3] = -1;

    int32_t t = (deadZone * 255) >> 16;
    int32_t z = 0;
    if (pad->bLeftTrigger > t) z = (pad->bLeftTrigger - t) * 1000 / (255 - t);
    if (pad->bRightTrigger > t) z += (t - pad->bRightTrigger) * 1000 / (255 - t);
    directInput->Z = z;
}

int32_t Joypad_ConvertJoystickAxis(uint32_t position, int32_t deadZone)
{
    uint32_t h = static_cast<uint32_t>(deadZone) >> 1;
    uint32_t r = 0x8000 - h;
    if (position == 0) return -1000;
    if (position == 0x7FFF) return 0;
    if (position == 0xFFFF) return 1000;
    if (r == 0) return 0;
    if (position < r) return -static_cast<int32_t>((r - position) * 1000 / r);
    if (position > 0x8000 + h) return static_cast<int32_t>((position - h - 0x8000) * 1000 / r);
    return 0;
}

void Joypad_ConvertJoystickInfo(const JOYINFOEX* info, int32_t capabilities, int32_t deadZone,
                                PadDirectInputState* state)
{
    state->X = Joypad_ConvertJoystickAxis(info->dwXpos, deadZone);
    state->Y = Joypad_ConvertJoystickAxis(info->dwYpos, deadZone);
    state->Z = (capabilities & JOYCAPS_HASZ) ? Joypad_ConvertJoystickAxis(info->dwZpos, deadZone) : 0;
    state->Rz = (capabilities & JOYCAPS_HASR) ? Joypad_ConvertJoystickAxis(info->dwRpos, deadZone) : 0;
    state->Rx = (capabilities & JOYCAPS_HASU) ? Joypad_ConvertJoystickAxis(info->dwUpos, deadZone) : 0;
    state->Ry = (capabilities & JOYCAPS_HASV) ? Joypad_ConvertJoystickAxis(info->dwVpos, deadZone) : 0;
    for (int i = 0; i < 24; ++i) state->Buttons[i] = (info->dwButtons >> i) & 1 ? 0x80 : 0;
    if (capabilities & JOYCAPS_HASPOV)
        state->POV[0] = info->dwPOV == 0xFFFF ? -1 : static_cast<int32_t>(info->dwPOV);
    else
        state->POV[0] = -1;
    state->POV[1] = state->POV[2] = state->POV[3] = -1;
}

// ---------------------------------------------------------------------------------------------------
// Platform start-up and shut-down

int Input_PlatformInitialize()
{
    WinAPI_EnsureLoaded();
    if (InputSystem.DirectInput != nullptr || InputSetupInProgress) return 0;
    InputSetupInProgress = 1;

    // Clear everything but the members kept across start-ups (they come first in the record).
    char* clearStart = reinterpret_cast<char*>(&InputSystem.DirectInput);
    memset(clearStart, 0, reinterpret_cast<char*>(&InputSystem + 1) - clearStart);

    Log_AddTextShiftJIS("XInput DLL の読み込み中... ");
    static const wchar_t* const xinputNames[3] = {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll"};
    for (int i = 0; i < 3 && InputSystem.XInputLibrary == nullptr; ++i)
        InputSystem.XInputLibrary = LoadLibraryW(xinputNames[i]);
    if (InputSystem.XInputLibrary != nullptr) {
        InputSystem.XInputGetState = reinterpret_cast<XInputGetStateFunction>(
            reinterpret_cast<void*>(GetProcAddress(InputSystem.XInputLibrary, "XInputGetState")));
        InputSystem.XInputSetState = reinterpret_cast<XInputSetStateFunction>(
            reinterpret_cast<void*>(GetProcAddress(InputSystem.XInputLibrary, "XInputSetState")));
        Log_AddTextShiftJIS("成功\n");
    } else {
        Log_AddTextShiftJIS("失敗、XInputは使用しません\n");
    }

    Log_AddTextShiftJIS("DirectInput関係初期化処理\n");
    Log_Indent_Increase();
    Log_AddTextShiftJIS("DirectInput8 の取得を試みます...");
    IDirectInput8W* directInput = nullptr;
    HRESULT result = WinAPITable.CoCreateInstance != nullptr
                         ? WinAPITable.CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IDirectInput8W, reinterpret_cast<void**>(&directInput))
                         : E_FAIL;
    int failed = 0;
    if (SUCCEEDED(result) && directInput != nullptr) {
        Log_AddTextShiftJIS("成功\n");
        Log_Indent_Increase();
        Log_AddTextShiftJIS("引き続き初期化処理... ");
        HINSTANCE instance = WinAPITable.GetModuleHandleW(nullptr);
        if (SUCCEEDED(directInput->Initialize(instance, 0x0800))) {
            Log_AddTextShiftJIS("初期化成功\n");
            Log_Indent_Decrease();
        } else {
            Log_AddTextShiftJIS("初期化に失敗。");
            directInput->Release();
            directInput = nullptr;
            failed = 1;
        }
    } else {
        Log_AddTextShiftJIS("取得に失敗。");
        directInput = nullptr;
        failed = 1;
    }
    if (failed) {
        Log_AddTextShiftJIS("DirectInput を使用しません。\n");
        Log_Indent_Decrease();
        InputSystem.DirectInput = nullptr;
        InputSystem.NoDirectInput = 1;
    }

    if (!failed) {
        InputSystem.DirectInput = directInput;
        System_PollMessagesNoLock();
        Joypad_Setup();
        Input_KeyMouse_SetupMouseDevice();
        Input_KeyMouse_SetupKeyboardDevice();
        InputSystem.KeyboardRefreshTime = Joypad_Now();
        Log_Indent_Decrease();
        Log_AddTextShiftJIS("DirectInput 関連の初期化は正常に終了しました\n");
    } else {
        Log_Indent_Increase();
        System_PollMessagesNoLock();
        Joypad_Setup();  // XInput users, then the joystick-call pads
        Log_AddFormatShiftJIS("パッドの数は %d 個です", InputSystem.PadCount);
        Log_Indent_Decrease();
        InputSystem.DirectInput = VT_DIRECTINPUT_JOYSTICK_MODE;
        Log_AddTextShiftJIS("入力関連の初期化をしました\n");
    }

    if (!InputSystem.KeyToPadFilled) Joypad_FillKeyToPadTable();
    InputSetupInProgress = 0;
    return 0;
}

int Input_PlatformTerminate()
{
    WinAPI_EnsureLoaded();
    if (InputSystem.DirectInput == nullptr) return 0;
    if (InputSystem.DirectInput == VT_DIRECTINPUT_JOYSTICK_MODE) {
        Log_AddTextShiftJIS("入力関連の終了処理... 完了\n");
        Joypad_ReleaseAllIfInitialized();
    } else {
        Log_AddTextShiftJIS("DirectInput 関連の終了処理... 完了\n");
        Joypad_ReleaseAllIfInitialized();
        Input_KeyMouse_ReleaseDevices();
        InputSystem.DirectInput->Release();
    }
    InputSystem.DirectInput = nullptr;
    if (InputSystem.XInputLibrary != nullptr) FreeLibrary(InputSystem.XInputLibrary);
    InputSystem.XInputLibrary = nullptr;
    InputSystem.XInputGetState = nullptr;
    InputSystem.XInputSetState = nullptr;
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// Pad set-up

int Joypad_Setup()
{
    WinAPI_EnsureLoaded();
    if (!InputSystem.Initialized) return -1;
    if (Joypad_SetupAll() != 0) return -1;
    Log_AddTextShiftJIS("ジョイパッドの初期化は正常に終了しました\n");
    return 0;
}

namespace {

// Without DirectInput the pads after the XInput users come from the joystick calls: ids 0, 1, 2, ...
// until the first one that fails or the table is full. The joystick id of a pad is its index minus the
// XInput pad count.
void Joypad_AddJoystickCallPads()
{
    for (UINT id = 0; id < 16 && InputSystem.PadCount < MaxPadCount; ++id) {
        JOYCAPSW caps;
        memset(&caps, 0, sizeof(caps));
        if (WinAPITable.joyGetDevCapsW == nullptr || WinAPITable.joyGetDevCapsW(id, &caps, sizeof(caps)) != JOYERR_NOERROR)
            break;
        PadRecord* record = &InputSystem.Pads[InputSystem.PadCount];
        memset(record, 0, sizeof(*record));
        record->XInputUser = -1;
        record->JoystickCaps = caps.wCaps;
        Joypad_EnsureDefaultDeadZone();
        record->DeadZone = InputSystem.DefaultDeadZone;
        record->DeadZoneDouble = InputSystem.DefaultDeadZoneDouble;
        record->ButtonCount = caps.wNumButtons;
        Joypad_ClearPovs(&record->DirectInputState);
        ++InputSystem.PadCount;
    }
}

} // namespace

int Joypad_SetupAll()
{
    WinAPI_EnsureLoaded();
    if (!InputSystem.NoDirectInput && !Input_IsDirectInputMode()) return -1;

    Joypad_ReleaseAllIfInitialized();
    Log_AddTextShiftJIS("ジョイパッドの初期化... \n");
    Log_Indent_Increase();
    InputSystem.PadCount = 0;
    InputSystem.XInputPadCount = 0;

    Log_AddFormatShiftJIS("XInput 対応コントローラーのチェックを開始します");
    Log_Indent_Increase();
    if (InputSystem.XInputGetState != nullptr) {
        for (DWORD user = 0; user < 4; ++user) {
            Log_AddFormatShiftJIS("XInput 対応コントローラー No.%d をチェック", static_cast<int>(user));
            XINPUT_STATE state;
            memset(&state, 0, sizeof(state));
            if (InputSystem.XInputGetState(user, &state) != ERROR_SUCCESS) {
                Log_AddFormatShiftJIS("XInput 対応コントローラー No.%d の接続は確認できませんでした",
                                      static_cast<int>(user));
                continue;
            }
            Log_AddFormatShiftJIS("XInput 対応コントローラー No.%d の接続を確認しました", static_cast<int>(user));
            int index = InputSystem.PadCount;
            PadRecord* record = &InputSystem.Pads[index];
            memset(record, 0, sizeof(*record));
            record->XInputUser = static_cast<int32_t>(user);
            Joypad_EnsureDefaultDeadZone();
            record->DeadZone = InputSystem.DefaultDeadZone;
            record->DeadZoneDouble = InputSystem.DefaultDeadZoneDouble;
            record->ButtonCount = 16;
            Joypad_CopyName(record->InstanceName, XInputPadName);
            Joypad_CopyName(record->ProductName, XInputPadName);
            Log_AddFormatShiftJIS("XInput 対応コントローラー No.%d を入力ナンバー %d で登録します", static_cast<int>(user),
                                  index);
            ++InputSystem.PadCount;
        }
    }
    InputSystem.XInputPadCount = InputSystem.PadCount;
    Log_Indent_Decrease();
    Log_AddFormatShiftJIS("XInput 対応コントローラーのチェック完了");

    if (InputSystem.NoDirectInput) Joypad_AddJoystickCallPads();
    if (Input_IsDirectInputMode()) {
        Log_AddFormatShiftJIS("DirectInput 対応ジョイパッドの列挙を開始します");
        Log_Indent_Increase();
        InputSystem.DirectInput->EnumDevices(DI8DEVCLASS_GAMECTRL, Joypad_DirectInput_EnumDeviceCallback, nullptr,
                                             DIEDFL_ATTACHEDONLY);
        Log_Indent_Decrease();
        Log_AddFormatShiftJIS("DirectInput 対応ジョイパッドの列挙終了");
    }
    Log_Indent_Decrease();
    return 0;
}

BOOL CALLBACK Joypad_DirectInput_EnumDeviceCallback(LPCDIDEVICEINSTANCEW instance, LPVOID context)
{
    if (InputSystem.PadCount >= MaxPadCount || !Input_IsDirectInputMode()) return DIENUM_STOP;
    int index = InputSystem.PadCount;
    PadRecord* record = &InputSystem.Pads[index];
    IDirectInputDevice8W* device = nullptr;
    HANDLE event = nullptr;
    HRESULT result = S_OK;

    Log_AddFormatShiftJIS("DirectInput 対応入力装置を検出しました");
    Log_Indent_Increase();
    Log_Indent_Increase();
    Joypad_LogGuid("Device Product GUID  : %08x,%04x,%04x,%02x,%02x,%02x,%02x,%02x,%02x,%02x,%02x",
                   instance->guidProduct);
    Joypad_LogGuid("Device Instance GUID : %08x,%04x,%04x,%02x,%02x,%02x,%02x,%02x,%02x,%02x,%02x",
                   instance->guidInstance);
    Log_Indent_Decrease();
    memset(record, 0, sizeof(*record));
    record->XInputUser = -1;

    auto abandon = [&](int logError) -> BOOL {
        if (logError) Joypad_LogError(result);
        Log_Indent_Decrease();
        Log_AddFormatShiftJIS("検出した DirectInput 対応入力装置の初期化を中断します");
        if (device != nullptr) {
            for (int motor = 0; motor < 2; ++motor)
                if (record->Motor[motor].Effect != nullptr) {
                    record->Motor[motor].Effect->Release();
                    record->Motor[motor].Effect = nullptr;
                }
            device->Release();
        }
        if (event != nullptr) WinAPITable.CloseHandle(event);
        memset(record, 0, sizeof(*record));
        record->XInputUser = -1;
        return DIENUM_CONTINUE;
    };

    Log_AddTextShiftJIS("DirectInputDevice8 の作成... ");
    result = InputSystem.DirectInput->CreateDevice(instance->guidInstance, &device, nullptr);
    if (FAILED(result) || device == nullptr) {
        device = nullptr;
        return abandon(1);
    }
    Log_AddTextShiftJIS("成功\n");
    record->InstanceGuid = instance->guidInstance;
    record->ProductGuid = instance->guidProduct;

    Log_AddTextShiftJIS("DirectInputDevice の情報を取得します... ");
    DIDEVICEINSTANCEW information;
    memset(&information, 0, sizeof(information));
    information.dwSize = sizeof(information);
    result = device->GetDeviceInfo(&information);
    if (FAILED(result)) {
        Log_AddFormatShiftJIS("失敗 ErrorCode :%08x", static_cast<unsigned int>(result));
        return abandon(0);
    }
    information.tszInstanceName[MAX_PATH - 1] = 0;
    information.tszProductName[MAX_PATH - 1] = 0;
    Joypad_CopyName(record->InstanceName, information.tszInstanceName);
    Joypad_CopyName(record->ProductName, information.tszProductName);
    Log_AddFormatWide(L"Device Product Name  : %s", record->ProductName);
    Log_AddFormatWide(L"Device Instance Name : %s", record->InstanceName);

    wchar_t upper[PadNameLength];
    Joypad_CopyName(upper, record->InstanceName);
    Joypad_UpperCase(upper);
    int isXInput = 0;
    Log_AddTextShiftJIS("検出した DirectInput 対応入力装置が Xbox360コントローラーか確認... ");
    if (wcsstr(upper, L"XBOX 360 FOR WINDOWS") != nullptr) {
        isXInput = 1;
    } else {
        Log_AddTextShiftJIS("不一致\n");
        Log_AddTextShiftJIS("検出した DirectInput 対応入力装置が XboxOneコントローラーか確認... ");
        if (wcsstr(upper, L"XBOX ONE FOR WINDOWS") != nullptr) {
            isXInput = 1;
        } else {
            Log_AddTextShiftJIS("不一致\n");
            if (Window.OsVersionCode >= OsVersionWin10) {
                Log_AddTextShiftJIS("検出した DirectInput 対応入力装置が XInput 対応コントローラーか確認... ");
                if (Joypad_IsXInputDeviceByWmi(&instance->guidProduct))
                    isXInput = 1;
                else
                    Log_AddTextShiftJIS("不一致\n");
            }
        }
    }
    if (isXInput) {
        Log_AddTextShiftJIS("一致\n");
        if (InputSystem.XInputPadCount > 0) return abandon(0);
    }

    Log_AddTextShiftJIS("DirectInputDevice のデータ形式に JOYSTICK 形式を設定... ");
    result = device->SetDataFormat(Input_DataFormatJoystick());
    if (FAILED(result)) return abandon(1);
    Log_AddTextShiftJIS("成功\n");

    Log_AddTextShiftJIS("DirectInputDevice の協調レベルに DISCL_FOREGROUND | DISCL_EXCLUSIVE を設定... ");
    result = device->SetCooperativeLevel(Window.MainWindow, DISCL_FOREGROUND | DISCL_EXCLUSIVE);
    if (FAILED(result)) {
        Joypad_LogError(result);
        Log_AddTextShiftJIS("DirectInputDevice の協調レベルに DISCL_BACKGROUND | DISCL_NONEXCLUSIVE を設定... ");
        result = device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
        if (FAILED(result))
            Joypad_LogError(result);
        else
            Log_AddTextShiftJIS("成功\n");
    } else {
        Log_AddTextShiftJIS("成功\n");
    }

    for (int axis = 0; axis < 6; ++axis) {
        Joypad_LogContinued("DirectInputDevice から取得する %s軸 の値の範囲を設定... ", AxisNamesNarrow[axis]);
        DIPROPRANGE range;
        memset(&range, 0, sizeof(range));
        range.lMin = -1000;
        range.lMax = 1000;
        HRESULT axisResult = Joypad_SetAxisProperty(device, DIPROP_RANGE, axis * 4, &range, nullptr);
        if (FAILED(axisResult))
            Joypad_LogError(axisResult);
        else
            Log_AddTextShiftJIS("成功\n");
    }

    Joypad_EnsureDefaultDeadZone();
    record->DeadZone = InputSystem.DefaultDeadZone;
    record->DeadZoneDouble = InputSystem.DefaultDeadZoneDouble;
    Log_AddTextShiftJIS("DirectInputDevice のボタンの数を取得... ");
    DIDEVCAPS capabilities;
    memset(&capabilities, 0, sizeof(capabilities));
    capabilities.dwSize = sizeof(capabilities);
    result = device->GetCapabilities(&capabilities);
    if (FAILED(result)) return abandon(1);
    record->ButtonCount = static_cast<int32_t>(capabilities.dwButtons);
    Log_AddFormatShiftJIS("成功　ボタンの数は %d 個です", record->ButtonCount);

    for (int axis = 0; axis < 6; ++axis) {
        Joypad_LogContinued("DirectInputDevice の %s軸 のデッドゾーンを設定... ", AxisNamesNarrow[axis]);
        DIPROPDWORD value;
        memset(&value, 0, sizeof(value));
        value.dwData = Joypad_DeviceDeadZone(record->DeadZone);
        HRESULT axisResult = Joypad_SetAxisProperty(device, DIPROP_DEADZONE, axis * 4, nullptr, &value);
        if (FAILED(axisResult))
            Joypad_LogError(axisResult);
        else
            Log_AddTextShiftJIS("成功\n");
    }

    {
        DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
        LONG directions[2] = {0, 0};
        DIENVELOPE envelope;
        memset(&envelope, 0, sizeof(envelope));
        envelope.dwSize = sizeof(envelope);
        envelope.dwAttackLevel = 0;
        envelope.dwAttackTime = 500000;
        envelope.dwFadeLevel = 0;
        envelope.dwFadeTime = 1000000;
        DIPERIODIC periodic = {10000, 0, 0, 1500000};
        DIEFFECT effect;
        memset(&effect, 0, sizeof(effect));
        effect.dwSize = sizeof(DIEFFECT);
        effect.dwFlags = DIEFF_POLAR | DIEFF_OBJECTOFFSETS;
        effect.dwDuration = INFINITE;
        effect.dwSamplePeriod = 0;
        effect.dwGain = 10000;
        effect.dwTriggerButton = DIEB_NOTRIGGER;
        effect.cAxes = 2;
        effect.rgdwAxes = axes;
        effect.rglDirection = directions;
        effect.lpEnvelope = &envelope;
        effect.cbTypeSpecificParams = sizeof(periodic);
        effect.lpvTypeSpecificParams = &periodic;
        effect.dwStartDelay = 0;
        Log_AddTextShiftJIS("DirectInputDevice の DirectInputEffect No.0 を作成... ");
        HRESULT effectResult = device->CreateEffect(GUID_Sine, &effect, &record->Motor[1].Effect, nullptr);
        if (FAILED(effectResult)) {
            record->Motor[1].Effect = nullptr;
            Joypad_LogError(effectResult);
        } else {
            Log_AddTextShiftJIS("成功\n");
        }

        DICONSTANTFORCE constant = {10000};
        effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
        effect.lpEnvelope = nullptr;
        effect.cbTypeSpecificParams = sizeof(constant);
        effect.lpvTypeSpecificParams = &constant;
        Log_AddTextShiftJIS("DirectInputDevice の DirectInputEffect No.1 を作成... ");
        effectResult = device->CreateEffect(GUID_ConstantForce, &effect, &record->Motor[0].Effect, nullptr);
        if (FAILED(effectResult)) {
            record->Motor[0].Effect = nullptr;
            Joypad_LogError(effectResult);
        } else {
            Log_AddTextShiftJIS("成功\n");
        }
        for (int motor = 0; motor < 2; ++motor) {
            record->Motor[motor].Playing = 0;
            record->Motor[motor].Power = 10000;
            record->Motor[motor].AppliedPlaying = 0;
            record->Motor[motor].AppliedPower = 0;
        }
    }

    Log_AddTextShiftJIS("DirectInputDevice の通知処理用の Event を作成... ");
    event = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        result = E_FAIL;
        return abandon(1);
    }
    Log_AddTextShiftJIS("成功\n");
    Log_AddTextShiftJIS("DirectInputDevice の通知処理用の Event を DirectInputDevice に設定... ");
    result = device->SetEventNotification(event);
    if (result != DI_OK && result != DI_POLLEDDEVICE) return abandon(1);
    Log_AddTextShiftJIS("成功\n");

    Log_AddTextShiftJIS("DirectInputDevice のアクセス権を取得... ");
    result = device->Acquire();
    if (FAILED(result)) {
        Joypad_LogError(result);
        Log_AddTextShiftJIS("DirectInputDevice の協調レベルを DISCL_BACKGROUND | DISCL_NONEXCLUSIVE に変更... ");
        result = device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
        if (FAILED(result)) return abandon(1);
        Log_AddTextShiftJIS("成功\n");
        Log_AddTextShiftJIS("DirectInputDevice のアクセス権を取得... ");
        result = device->Acquire();
        if (FAILED(result)) return abandon(1);
    }
    Log_AddTextShiftJIS("成功\n");

    record->Device = device;
    record->Event = event;
    memset(&record->DirectInputState, 0, sizeof(record->DirectInputState));
    Log_AddFormatShiftJIS("検出した DirectInput 対応入力装置を入力ナンバー %d で登録します", index);
    ++InputSystem.PadCount;
    Log_Indent_Decrease();
    Log_AddTextShiftJIS("検出した DirectInput 対応入力装置の初期化は正常に終了しました\n");
    return InputSystem.PadCount >= MaxPadCount ? DIENUM_STOP : DIENUM_CONTINUE;
}

int Joypad_IsXInputDeviceByWmi(const GUID* productGuid)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.CoInitializeEx == nullptr || WinAPITable.CoCreateInstance == nullptr || WinAPITable.SysAllocString == nullptr)
        return 0;
    HRESULT comResult = WinAPITable.CoInitializeEx(nullptr, 0);
    int answer = 0;
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* enumerator = nullptr;
    BSTR nameSpace = nullptr;
    BSTR className = nullptr;
    BSTR deviceIdName = nullptr;

    if (FAILED(WinAPITable.CoCreateInstance(ClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, IidWbemLocator,
                                       reinterpret_cast<void**>(&locator))) ||
        locator == nullptr)
        goto done;
    nameSpace = WinAPITable.SysAllocString(L"\\\\.\\root\\cimv2");
    className = WinAPITable.SysAllocString(L"Win32_PNPEntity");
    deviceIdName = WinAPITable.SysAllocString(L"DeviceID");
    if (nameSpace == nullptr || className == nullptr || deviceIdName == nullptr) goto done;
    if (FAILED(locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)) ||
        services == nullptr)
        goto done;
    if (WinAPITable.CoSetProxyBlanket != nullptr)
        WinAPITable.CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(services->CreateInstanceEnum(className, 0, nullptr, &enumerator)) || enumerator == nullptr) goto done;
    for (;;) {
        IWbemClassObject* devices[20] = {};
        ULONG returned = 0;
        enumerator->Next(10000, 20, devices, &returned);
        if (returned == 0) break;
        for (ULONG i = 0; i < returned; ++i) {
            VARIANT value;
            WinAPITable.VariantInit(&value);
            if (answer == 0 && SUCCEEDED(devices[i]->Get(deviceIdName, 0, &value, nullptr, nullptr)) &&
                value.vt == VT_BSTR && value.bstrVal != nullptr && wcsstr(value.bstrVal, L"IG_") != nullptr) {
                unsigned int vendor = 0, product = 0;
                const wchar_t* text = wcsstr(value.bstrVal, L"VID_");
                if (text == nullptr || swscanf(text, L"VID_%4X", &vendor) != 1) vendor = 0;
                text = wcsstr(value.bstrVal, L"PID_");
                if (text == nullptr || swscanf(text, L"PID_%4X", &product) != 1) product = 0;
                if ((product * 65536u + vendor) == static_cast<unsigned int>(productGuid->Data1)) answer = 1;
            }
            WinAPITable.VariantClear(&value);
            devices[i]->Release();
        }
        if (answer) break;
    }

done:
    if (enumerator != nullptr) enumerator->Release();
    if (services != nullptr) services->Release();
    if (locator != nullptr) locator->Release();
    if (nameSpace != nullptr) WinAPITable.SysFreeString(nameSpace);
    if (className != nullptr) WinAPITable.SysFreeString(className);
    if (deviceIdName != nullptr) WinAPITable.SysFreeString(deviceIdName);
    if (SUCCEEDED(comResult)) WinAPITable.CoUninitialize();
    return answer;
}

// ---------------------------------------------------------------------------------------------------
// Refresh

int Joypad_Refresh(int index)
{
    WinAPI_EnsureLoaded();
    if (index < 0 || index >= InputSystem.PadCount) return -1;
    PadRecord* record = &InputSystem.Pads[index];
    int32_t now = Joypad_Now();

    if (record->XInputUser >= 0 && record->XInputUser <= 3) {
        if (now == record->LastRefreshTime) return 0;
        record->LastRefreshTime = now;
        XINPUT_STATE state;
        memset(&state, 0, sizeof(state));
        if (InputSystem.XInputGetState == nullptr ||
            InputSystem.XInputGetState(static_cast<DWORD>(record->XInputUser), &state) != ERROR_SUCCESS) {
            memset(&record->XInputState, 0, sizeof(record->XInputState));
            Joypad_ClearPovs(&record->DirectInputState);
            return 0;
        }
        Joypad_ConvertXInputState(&state.Gamepad, record->DeadZone, &record->DirectInputState, &record->XInputState);
        return 0;
    }

    if (Input_IsDirectInputMode()) {
        if (record->Device == nullptr) return 0;
        int signalled = record->Event != nullptr && WinAPITable.WaitForSingleObject(record->Event, 0) == WAIT_OBJECT_0;
        if (now == record->LastRefreshTime && !signalled) return 0;
        record->LastRefreshTime = now;
        IDirectInputDevice8W* device = record->Device;
        device->Poll();
        DIJOYSTATE state;
        HRESULT result = device->GetDeviceState(sizeof(state), &state);
        if (FAILED(result)) {
            if (!Joypad_PumpAndRecheck(index)) return -1;
            // The pump may have rebuilt the table: the index is still valid, take its record again.
            record = &InputSystem.Pads[index];
            device = record->Device;
            if (device == nullptr) return 0;
            int acquired = SUCCEEDED(device->Acquire());
            if (!acquired) {
                device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
                acquired = SUCCEEDED(device->Acquire());
            }
            if (acquired) {
                if (!Joypad_PumpAndRecheck(index)) return -1;
                record = &InputSystem.Pads[index];
                device = record->Device;
                if (device == nullptr) return 0;
                result = device->GetDeviceState(sizeof(state), &state);
            }
        }
        if (SUCCEEDED(result)) memcpy(&record->DirectInputState, &state, sizeof(record->DirectInputState));
        if (record->Event != nullptr && WinAPITable.WaitForSingleObject(record->Event, 0) == WAIT_OBJECT_0)
            WinAPITable.ResetEvent(record->Event);
        return 0;
    }

    if (now == record->LastRefreshTime) return 0;
    record->LastRefreshTime = now;
    JOYINFOEX info;
    memset(&info, 0, sizeof(info));
    info.dwSize = sizeof(info);
    info.dwFlags = JOY_RETURNALL;
    UINT id = static_cast<UINT>(index - InputSystem.XInputPadCount);
    if (WinAPITable.joyGetPosEx == nullptr || WinAPITable.joyGetPosEx(id, &info) != JOYERR_NOERROR) {
        memset(&record->DirectInputState, 0, sizeof(record->DirectInputState));
        Joypad_ClearPovs(&record->DirectInputState);
        return 0;
    }
    Joypad_ConvertJoystickInfo(&info, record->JoystickCaps, record->DeadZone, &record->DirectInputState);
    return 0;
}

int Joypad_ApplyDeadZoneToDevice(PadRecord* record)
{
    if (record == nullptr || record->Device == nullptr) return 0;
    for (int axis = 0; axis < 6; ++axis) {
        DIPROPDWORD value;
        memset(&value, 0, sizeof(value));
        value.dwData = Joypad_DeviceDeadZone(record->DeadZone);
        Joypad_SetAxisProperty(record->Device, DIPROP_DEADZONE, axis * 4, nullptr, &value);
    }
    return 0;
}

int Input_ReacquireDevices()
{
    WinAPI_EnsureLoaded();
    if (!Input_IsDirectInputMode()) return 0;
    for (int i = 0; i < InputSystem.PadCount; ++i) {
        IDirectInputDevice8W* device = InputSystem.Pads[i].Device;
        if (device == nullptr) continue;
        device->Unacquire();
        if (Window.ActiveFlag) {
            if (FAILED(device->SetCooperativeLevel(Window.MainWindow, DISCL_FOREGROUND | DISCL_EXCLUSIVE)))
                device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
        } else {
            device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
        }
        if (FAILED(device->Acquire())) {
            device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE);
            device->Acquire();
        }
    }
    if (InputSystem.KeyboardDevice != nullptr) {
        InputSystem.KeyboardDevice->Unacquire();
        InputSystem.KeyboardDevice->Acquire();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------
// Release

int Joypad_ReleaseAll()
{
    WinAPI_EnsureLoaded();
    for (int i = 0; i < InputSystem.PadCount; ++i) {
        PadRecord* record = &InputSystem.Pads[i];
        if (record->Device == nullptr) continue;
        record->Device->Unacquire();
        record->Device->SetEventNotification(nullptr);
        for (int motor = 0; motor < 2; ++motor) {
            IDirectInputEffect* effect = record->Motor[motor].Effect;
            if (effect == nullptr) continue;
            effect->Stop();
            effect->Unload();
            effect->Release();
        }
        record->Device->Release();
        if (record->Event != nullptr) WinAPITable.CloseHandle(record->Event);
    }
    memset(InputSystem.Pads, 0, sizeof(InputSystem.Pads));
    InputSystem.PadCount = 0;
    return 0;
}

int Joypad_ReleaseAllIfInitialized()
{
    if (!InputSystem.Initialized) return -1;
    return Joypad_ReleaseAll();
}

} // namespace Vantrel
