// Keyboard and mouse back end: the KeyStateTable, the mouse buttons and the DirectInput keyboard and mouse
// devices (read only before Vista; from Vista on the keyboard state of the window thread is used).
// Stands on the pad back end's InputSystemState, the system function table, the window state and the pump.
#include "system/VtInputKeyMouseWin.h"

#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "system/VtInputPadWin.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

int32_t KeyboardRefreshGuard = 0;

namespace {
const int32_t OsVersionVista = 0x108;
}

const VirtualKeyRow VirtualKeyTable[] = {
    {0x41, 0x1E}, {0x42, 0x30}, {0x43, 0x2E}, {0x44, 0x20}, {0x45, 0x12}, {0x46, 0x21}, {0x47, 0x22},
    {0x48, 0x23}, {0x49, 0x17}, {0x4A, 0x24}, {0x4B, 0x25}, {0x4C, 0x26}, {0x4D, 0x32}, {0x4E, 0x31},
    {0x4F, 0x18}, {0x50, 0x19}, {0x51, 0x10}, {0x52, 0x13}, {0x53, 0x1F}, {0x54, 0x14}, {0x55, 0x16},
    {0x56, 0x2F}, {0x57, 0x11}, {0x58, 0x2D}, {0x59, 0x15}, {0x5A, 0x2C}, {0x30, 0x0B}, {0x31, 0x02},
    {0x32, 0x03}, {0x33, 0x04}, {0x34, 0x05}, {0x35, 0x06}, {0x36, 0x07}, {0x37, 0x08}, {0x38, 0x09},
    {0x39, 0x0A}, {0x25, 0xCB}, {0x26, 0xC8}, {0x27, 0xCD}, {0x28, 0xD0}, {0xBB, 0x27}, {0xBA, 0x92},
    {0xDB, 0x1A}, {0xDD, 0x1B}, {0xC0, 0x91}, {0xE2, 0x2B}, {0xBC, 0x33}, {0xDE, 0x90}, {0xDF, 0x29},
    {0xBD, 0x0C}, {0xDC, 0x7D}, {0xBE, 0x34}, {0xBF, 0x35}, {0x2E, 0xD3}, {0x1B, 0x01}, {0x20, 0x39},
    {0x08, 0x0E}, {0x09, 0x0F}, {0x0D, 0x1C}, {0x90, 0x45}, {0x60, 0x52}, {0x61, 0x4F}, {0x62, 0x50},
    {0x63, 0x51}, {0x64, 0x4B}, {0x65, 0x4C}, {0x66, 0x4D}, {0x67, 0x47}, {0x68, 0x48}, {0x69, 0x49},
    {0x6A, 0x37}, {0x6B, 0x4E}, {0x6D, 0x4A}, {0x6E, 0x53}, {0x6F, 0xB5}, {0x0D, 0x9C}, {0xA0, 0x2A},
    {0xA1, 0x36}, {0xA2, 0x1D}, {0xA3, 0x9D}, {0x21, 0xC9}, {0x22, 0xD1}, {0x23, 0xCF}, {0x24, 0xC7},
    {0x2D, 0xD2}, {0xA4, 0x38}, {0xA5, 0xB8}, {0x91, 0x46}, {0x5D, 0xDD}, {0x14, 0x3A}, {0x2C, 0xB7},
    {0x13, 0xC5}, {0x5B, 0xDB}, {0x5C, 0xDC}, {0xF4, 0x94}, {0x1C, 0x79}, {0x1D, 0x7B}, {0xF2, 0x70},
    {0x70, 0x3B}, {0x71, 0x3C}, {0x72, 0x3D}, {0x73, 0x3E}, {0x74, 0x3F}, {0x75, 0x40}, {0x76, 0x41},
    {0x77, 0x42}, {0x78, 0x43}, {0x79, 0x44}, {0x7A, 0x57}, {0x7B, 0x58}, {0xFFFF, 0},
};
static_assert(sizeof(VirtualKeyTable) / sizeof(VirtualKeyTable[0]) == 111, "110 rows and the end row");

int Input_KeyMouse_UsesDirectInputKeyboard()
{
    return Input_IsDirectInputMode() && InputSystem.KeyboardDevice != nullptr && Window.OsVersionCode < OsVersionVista;
}

int Input_KeyMouse_UsesDirectInputMouse()
{
    return Input_IsDirectInputMode() && InputSystem.MouseDevice != nullptr && Window.OsVersionCode < OsVersionVista;
}

int Input_KeyMouse_SetupMouseDevice()
{
    Log_AddTextShiftJIS("マウスデバイスの初期化... ");
    IDirectInputDevice8W* device = nullptr;
    if (FAILED(InputSystem.DirectInput->CreateDevice(GUID_SysMouse, &device, nullptr)) || device == nullptr ||
        FAILED(device->SetDataFormat(Input_DataFormatMouse2())) ||
        FAILED(device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE))) {
        if (device != nullptr) device->Release();
        InputSystem.MouseDevice = nullptr;
        Log_AddTextShiftJIS("マウスデバイスの取得に失敗しました\n");
        return -1;
    }
    InputSystem.MouseDevice = device;
    Log_AddTextShiftJIS("初期化成功\n");
    return 0;
}

int Input_KeyMouse_SetupKeyboardDevice()
{
    InputSystem.KeyboardRefreshTime = static_cast<int32_t>(WinAPITable.timeGetTime());
    Log_AddTextShiftJIS("キーボードデバイスの初期化... ");
    IDirectInputDevice8W* device = nullptr;
    HANDLE event = nullptr;
    int ok = SUCCEEDED(InputSystem.DirectInput->CreateDevice(GUID_SysKeyboard, &device, nullptr)) && device != nullptr &&
             SUCCEEDED(device->SetDataFormat(Input_DataFormatKeyboard())) &&
             SUCCEEDED(device->SetCooperativeLevel(Window.MainWindow, DISCL_BACKGROUND | DISCL_NONEXCLUSIVE));
    if (ok) {
        DIPROPDWORD buffer;
        memset(&buffer, 0, sizeof(buffer));
        buffer.diph.dwSize = sizeof(DIPROPDWORD);
        buffer.diph.dwHeaderSize = sizeof(DIPROPHEADER);
        buffer.diph.dwObj = 0;
        buffer.diph.dwHow = DIPH_DEVICE;
        buffer.dwData = 100;
        if (FAILED(device->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)))
            Log_AddTextShiftJIS("キーボードのプロパティ設定に失敗しました\n");
        event = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HRESULT result = event != nullptr ? device->SetEventNotification(event) : E_FAIL;
        if (result != DI_OK && result != DI_POLLEDDEVICE) {
            Log_AddTextShiftJIS("キーボードイベントのセットアップが失敗しました\n");
            ok = 0;
        }
    }
    if (ok && FAILED(device->Acquire()) && FAILED(device->Acquire())) ok = 0;
    if (!ok) {
        if (device != nullptr) {
            device->SetEventNotification(nullptr);
            device->Release();
        }
        if (event != nullptr) WinAPITable.CloseHandle(event);
        InputSystem.KeyboardDevice = nullptr;
        InputSystem.KeyboardEvent = nullptr;
        Log_AddTextShiftJIS("キーボードデバイスの取得に失敗しました\n");
    } else {
        InputSystem.KeyboardDevice = device;
        InputSystem.KeyboardEvent = event;
        Log_AddTextShiftJIS("初期化成功\n");
    }
    InputSystem.KeyboardRefreshTime = static_cast<int32_t>(WinAPITable.timeGetTime());
    return ok ? 0 : -1;
}

int Input_KeyMouse_ReleaseDevices()
{
    if (InputSystem.KeyboardDevice != nullptr) {
        InputSystem.KeyboardDevice->SetEventNotification(nullptr);
        InputSystem.KeyboardDevice->Unacquire();
        InputSystem.KeyboardDevice->Release();
        InputSystem.KeyboardDevice = nullptr;
    }
    if (InputSystem.KeyboardEvent != nullptr) {
        WinAPITable.CloseHandle(InputSystem.KeyboardEvent);
        InputSystem.KeyboardEvent = nullptr;
    }
    if (InputSystem.MouseDevice != nullptr) {
        InputSystem.MouseDevice->Unacquire();
        InputSystem.MouseDevice->Release();
        InputSystem.MouseDevice = nullptr;
    }
    return 0;
}

int Keyboard_Refresh(int pump)
{
    WinAPI_EnsureLoaded();
    if (Input_KeyMouse_UsesDirectInputKeyboard()) {
        int32_t now = static_cast<int32_t>(WinAPITable.timeGetTime());
        int signalled = InputSystem.KeyboardEvent != nullptr &&
                        WinAPITable.WaitForSingleObject(InputSystem.KeyboardEvent, 0) == WAIT_OBJECT_0;
        if (now == InputSystem.KeyboardRefreshTime && !signalled) return 0;
        if (pump && System_PollMessagesNoLock() != 0) return 0;
        if (!Input_IsDirectInputMode() || InputSystem.KeyboardDevice == nullptr) return 0;
        IDirectInputDevice8W* device = InputSystem.KeyboardDevice;
        if (FAILED(device->GetDeviceState(256, InputSystem.KeyStateTable))) {
            if (FAILED(device->Acquire())) return 0;
            if (FAILED(device->GetDeviceState(256, InputSystem.KeyStateTable))) return 0;
        }
        InputSystem.KeyboardRefreshTime = now;
        if (InputSystem.KeyboardEvent != nullptr &&
            WinAPITable.WaitForSingleObject(InputSystem.KeyboardEvent, 0) == WAIT_OBJECT_0)
            WinAPITable.ResetEvent(InputSystem.KeyboardEvent);
        BYTE keys[256];
        if (WinAPITable.GetKeyboardState(keys)) InputSystem.KeyStateTable[0x36] = keys[VK_RSHIFT];
        return 1;
    }

    if (WinAPITable.GetCurrentThreadId() != Window.WindowThreadId) return 0;
    int32_t now = static_cast<int32_t>(WinAPITable.timeGetTime());
    if (now == InputSystem.KeyboardRefreshTime) return 0;
    InputSystem.KeyboardRefreshTime = now;
    if (pump && System_PollMessagesNoLock() != 0) return 0;
    BYTE keys[256];
    if (!WinAPITable.GetKeyboardState(keys)) return 0;
    memset(InputSystem.KeyStateTable, 0, sizeof(InputSystem.KeyStateTable));
    for (const VirtualKeyRow* row = VirtualKeyTable; row->VirtualKey != 0xFFFF; ++row)
        InputSystem.KeyStateTable[row->KeyCode] = keys[row->VirtualKey];
    InputSystem.MouseLeft = keys[VK_LBUTTON] >> 7;
    InputSystem.MouseRight = keys[VK_RBUTTON] >> 7;
    InputSystem.MouseMiddle = keys[VK_MBUTTON] >> 7;
    if (Window.OsVersionCode >= OsVersionVista) {
        InputSystem.MouseExtra1 = keys[VK_XBUTTON1] >> 7;
        InputSystem.MouseExtra2 = keys[VK_XBUTTON2] >> 7;
    }
    InputSystem.MouseFlagsValid = 1;
    return 1;
}

int Keyboard_RefreshGuarded(int pump)
{
    if (KeyboardRefreshGuard == 1) return 0;
    KeyboardRefreshGuard = 1;
    int result = Keyboard_Refresh(pump);
    KeyboardRefreshGuard = 0;
    return result;
}

int GetMouseButtons()
{
    WinAPI_EnsureLoaded();
    if (Input_KeyMouse_UsesDirectInputMouse() && Window.ActiveFlag) {
        IDirectInputDevice8W* device = InputSystem.MouseDevice;
        DIMOUSESTATE2 state;
        if (FAILED(device->GetDeviceState(sizeof(state), &state))) {
            if (FAILED(device->Acquire())) return 0;
            if (FAILED(device->GetDeviceState(sizeof(state), &state))) return 0;
        }
        int mask = 0;
        for (int i = 0; i < 8; ++i)
            if (state.rgbButtons[i] & 0x80) mask |= 1 << i;
        InputSystem.DirectInputWheel += state.lZ;
        return mask;
    }

    Keyboard_RefreshGuarded(1);
    int vista = Window.OsVersionCode >= OsVersionVista;
    if (InputSystem.MouseFlagsValid) {
        int mask = (InputSystem.MouseLeft ? MouseButtonLeft : 0) | (InputSystem.MouseRight ? MouseButtonRight : 0) |
                   (InputSystem.MouseMiddle ? MouseButtonMiddle : 0);
        if (vista)
            mask |= (InputSystem.MouseExtra1 ? MouseButtonExtra1 : 0) | (InputSystem.MouseExtra2 ? MouseButtonExtra2 : 0);
        return mask;
    }
    BYTE keys[256];
    if (!WinAPITable.GetKeyboardState(keys)) return 0;
    int mask = ((keys[VK_LBUTTON] & 0x80) ? MouseButtonLeft : 0) | ((keys[VK_RBUTTON] & 0x80) ? MouseButtonRight : 0) |
               ((keys[VK_MBUTTON] & 0x80) ? MouseButtonMiddle : 0);
    if (vista)
        mask |= ((keys[VK_XBUTTON1] & 0x80) ? MouseButtonExtra1 : 0) | ((keys[VK_XBUTTON2] & 0x80) ? MouseButtonExtra2 : 0);
    return mask;
}

int Input_LogMouseClick(int, int, int)
{
    return 0;
}

int Input_LogMouseInput(int, int, int, int)
{
    return 0;
}

int Input_LogTouch(const void*)
{
    return 0;
}

} // namespace Vantrel
