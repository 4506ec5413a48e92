// Fakes at the platform edge for the input tests and the set-up that restarts input over them.
#include "InputTestSupport.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace InputTest {

using namespace Vantrel;

DWORD FakeTime = 1000;
FakeDirectInput* CurrentDirectInput = nullptr;
std::vector<FakeJoystick> Joysticks;
std::vector<UINT> JoystickCapsQueries;

namespace {

WinAPITableRecord SavedTable;
bool TableSaved = false;
std::string ScriptPath;
std::string RecordPath;

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char path[MAX_PATH * 2];
    snprintf(path, sizeof(path), "%svt_input_%lu_%s", folder, static_cast<unsigned long>(GetCurrentProcessId()), name);
    return path;
}

HRESULT WINAPI FakeCoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID interfaceId, LPVOID* object)
{
    if (IsEqualCLSID(classId, CLSID_DirectInput8)) {
        *object = nullptr;
        if (CurrentDirectInput == nullptr) return REGDB_E_CLASSNOTREG;
        CurrentDirectInput->AddRef();
        *object = static_cast<IDirectInput8W*>(CurrentDirectInput);
        return S_OK;
    }
    return SavedTable.CoCreateInstance(classId, outer, context, interfaceId, object);
}

MMRESULT WINAPI FakeJoyGetDevCapsW(UINT_PTR id, LPJOYCAPSW caps, UINT size)
{
    JoystickCapsQueries.push_back(static_cast<UINT>(id));
    if (id >= Joysticks.size() || size != sizeof(JOYCAPSW)) return JOYERR_UNPLUGGED;
    *caps = Joysticks[id].Caps;
    return JOYERR_NOERROR;
}

MMRESULT WINAPI FakeJoyGetPosEx(UINT id, LPJOYINFOEX info)
{
    if (id >= Joysticks.size() || info->dwSize != sizeof(JOYINFOEX)) return JOYERR_UNPLUGGED;
    DWORD flags = info->dwFlags;
    *info = Joysticks[id].Info;
    info->dwSize = sizeof(JOYINFOEX);
    info->dwFlags = flags;
    return JOYERR_NOERROR;
}

void InstallFakes()
{
    WinAPI_EnsureLoaded();
    if (!TableSaved) {
        SavedTable = WinAPITable;
        TableSaved = true;
    }
    WinAPITable.timeGetTime = FakeTimeGetTime;
    WinAPITable.CoCreateInstance = FakeCoCreateInstance;
    WinAPITable.joyGetDevCapsW = FakeJoyGetDevCapsW;
    WinAPITable.joyGetPosEx = FakeJoyGetPosEx;
}

// Wine takes its builtin xinput1_4 unless told to prefer the one beside the program. The override is
// set while this test program runs, before anything loads an XInput library (other tests keep the
// library loaded for the whole run); a child of this program finds it set and leaves it alone.
class XInputOverride {
public:
    XInputOverride()
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        if (RegQueryValueExW(key_, L"xinput1_4", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) return;
        owner_ = RegSetValueExW(key_, L"xinput1_4", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native"),
                                sizeof(L"native")) == ERROR_SUCCESS;
    }
    ~XInputOverride()
    {
        if (owner_) RegDeleteValueW(key_, L"xinput1_4");
        if (key_ != nullptr) RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    bool owner_ = false;
};
XInputOverride TheXInputOverride;

} // namespace

DWORD WINAPI FakeTimeGetTime()
{
    return FakeTime;
}

// ----- FakeEffect -----

HRESULT FakeEffect::SetParameters(LPCDIEFFECT effect, DWORD flags)
{
    LONG magnitude = -1;
    if (effect != nullptr && effect->lpvTypeSpecificParams != nullptr && effect->cbTypeSpecificParams >= sizeof(LONG))
        magnitude = *static_cast<const LONG*>(effect->lpvTypeSpecificParams);
    Calls.push_back({"SetParameters", magnitude, flags});
    return DI_OK;
}

// ----- FakeDevice -----

HRESULT FakeDevice::GetCapabilities(LPDIDEVCAPS caps)
{
    if (caps->dwSize != sizeof(DIDEVCAPS)) return DIERR_INVALIDPARAM;
    caps->dwFlags = DIDC_ATTACHED;
    caps->dwDevType = DI8DEVTYPE_GAMEPAD;
    caps->dwAxes = 4;
    caps->dwButtons = Buttons;
    caps->dwPOVs = 1;
    return DI_OK;
}

HRESULT FakeDevice::SetProperty(REFGUID property, LPCDIPROPHEADER header)
{
    int axis = static_cast<int>(header->dwObj / 4);
    if (header->dwHow != DIPH_BYOFFSET || axis < 0 || axis > 5) return DI_OK;
    if (&property == &DIPROP_RANGE) {
        const DIPROPRANGE* range = reinterpret_cast<const DIPROPRANGE*>(header);
        RangeMin[axis] = range->lMin;
        RangeMax[axis] = range->lMax;
    } else if (&property == &DIPROP_DEADZONE) {
        DeadZone[axis] = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
    }
    return DI_OK;
}

HRESULT FakeDevice::GetDeviceState(DWORD size, LPVOID data)
{
    ++StateReads;
    if (DeviceStateFailures > 0) {
        --DeviceStateFailures;
        return DIERR_INPUTLOST;
    }
    if (size != sizeof(DIJOYSTATE)) return DIERR_INVALIDPARAM;
    memcpy(data, &State, sizeof(State));
    return DI_OK;
}

HRESULT FakeDevice::GetDeviceInfo(LPDIDEVICEINSTANCEW instance)
{
    if (FailGetDeviceInfo) return DIERR_GENERIC;
    if (instance->dwSize != sizeof(DIDEVICEINSTANCEW)) return DIERR_INVALIDPARAM;
    instance->guidInstance = InstanceGuid;
    instance->guidProduct = ProductGuid;
    instance->dwDevType = DI8DEVTYPE_GAMEPAD;
    wcsncpy(instance->tszInstanceName, InstanceName.c_str(), MAX_PATH - 1);
    wcsncpy(instance->tszProductName, ProductName.c_str(), MAX_PATH - 1);
    return DI_OK;
}

HRESULT FakeDevice::CreateEffect(REFGUID kind, LPCDIEFFECT, LPDIRECTINPUTEFFECT* effect, LPUNKNOWN)
{
    *effect = nullptr;
    if (FailCreateEffects) return DIERR_UNSUPPORTED;
    FakeEffect* created = new FakeEffect(kind);
    FakeEffect*& slot = Effects[IsEqualGUID(kind, GUID_Sine) ? 0 : 1];
    delete slot;  // a set-up again after a device change creates the effects anew
    slot = created;
    *effect = created;
    return DI_OK;
}

// ----- FakeDirectInput -----

HRESULT FakeDirectInput::CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN)
{
    *device = nullptr;
    for (FakeDevice* candidate : Devices)
        if (IsEqualGUID(candidate->InstanceGuid, guid)) {
            candidate->AddRef();
            *device = candidate;
            return DI_OK;
        }
    return DIERR_DEVICENOTREG;
}

HRESULT FakeDirectInput::EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context, DWORD)
{
    ++Enumerations;
    if (type != DI8DEVCLASS_GAMECTRL) return DI_OK;
    for (FakeDevice* device : std::vector<FakeDevice*>(Devices)) {
        DIDEVICEINSTANCEW instance = {};
        instance.dwSize = sizeof(instance);
        instance.guidInstance = device->InstanceGuid;
        instance.guidProduct = device->ProductGuid;
        wcsncpy(instance.tszInstanceName, device->InstanceName.c_str(), MAX_PATH - 1);
        wcsncpy(instance.tszProductName, device->ProductName.c_str(), MAX_PATH - 1);
        if (callback(&instance, context) == DIENUM_STOP) break;
    }
    return DI_OK;
}

// ----- set-up -----

void PrepareWindowState(int osVersionCode)
{
    Window.ActiveFlag = 1;
    Window.InActivate = 0;
    Window.DestroyRequested = 0;
    Window.EndFlag = 0;
    Window.MainWindow = nullptr;
    Window.WindowThreadId = GetCurrentThreadId();
    Window.OsVersionCode = osVersionCode;
    Window.RunWhileInactive = 0;
    Window.WheelV = 0;
}

void WriteScript(const std::string& script)
{
    std::ofstream file(ScriptPath, std::ios::binary | std::ios::trunc);
    file << script;
}

std::vector<std::string> ReadXInputRecord()
{
    std::vector<std::string> lines;
    std::ifstream file(RecordPath, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

void RestartInputWithFakes(FakeDirectInput* directInput)
{
    Input_Terminate();
    InstallFakes();
    if (ScriptPath.empty()) {
        ScriptPath = TempPath("xinput_script.txt");
        RecordPath = TempPath("xinput_record.txt");
    }
    DeleteFileA(ScriptPath.c_str());
    DeleteFileA(RecordPath.c_str());
    SetEnvironmentVariableA("VT_XINPUT_SCRIPT", ScriptPath.c_str());
    SetEnvironmentVariableA("VT_XINPUT_LOG", RecordPath.c_str());
    CurrentDirectInput = directInput;
    JoystickCapsQueries.clear();
    Input_Initialize();
}

bool RestartInputWithScript(const std::string& script, FakeDirectInput* directInput)
{
    Input_Terminate();
    InstallFakes();
    if (ScriptPath.empty()) {
        ScriptPath = TempPath("xinput_script.txt");
        RecordPath = TempPath("xinput_record.txt");
    }
    DeleteFileA(RecordPath.c_str());
    WriteScript(script);
    SetEnvironmentVariableA("VT_XINPUT_SCRIPT", ScriptPath.c_str());
    SetEnvironmentVariableA("VT_XINPUT_LOG", RecordPath.c_str());
    static FakeDirectInput noControllers;
    CurrentDirectInput = directInput != nullptr ? directInput : &noControllers;
    Input_Initialize();
    return InputSystem.XInputLibrary != nullptr &&
           GetProcAddress(InputSystem.XInputLibrary, "ScriptedXInput_IsScripted") != nullptr;
}

void RestoreSystem()
{
    Input_Terminate();
    if (TableSaved) {
        WinAPITable.timeGetTime = SavedTable.timeGetTime;
        WinAPITable.CoCreateInstance = SavedTable.CoCreateInstance;
        WinAPITable.joyGetDevCapsW = SavedTable.joyGetDevCapsW;
        WinAPITable.joyGetPosEx = SavedTable.joyGetPosEx;
    }
    CurrentDirectInput = nullptr;
    if (!ScriptPath.empty()) {
        DeleteFileA(ScriptPath.c_str());
        DeleteFileA(RecordPath.c_str());
    }
    SetEnvironmentVariableA("VT_XINPUT_SCRIPT", nullptr);
    SetEnvironmentVariableA("VT_XINPUT_LOG", nullptr);
}

} // namespace InputTest
