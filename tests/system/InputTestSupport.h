// Shared by the input tests: fakes at the platform edge (a DirectInput 8 object with scripted game
// controllers handed out by a fake CoCreateInstance entry, WinMM joystick entries, a settable clock)
// and the set-up that restarts input over them or over the scripted xinput1_4.dll beside the program.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif
#include <dinput.h>

#include <string>
#include <vector>

#include "foundation/VtWinAPI.h"
#include "system/VtInput.h"
#include "system/VtInputPadWin.h"
#include "system/VtWindow.h"

namespace InputTest {

// ----- a settable clock in the timeGetTime entry -----
extern DWORD FakeTime;
DWORD WINAPI FakeTimeGetTime();

// ----- fake DirectInput effects and devices -----
struct EffectCall {
    std::string Name;  // "SetParameters", "Start", "Stop"
    LONG Magnitude;    // SetParameters only
    DWORD Flags;
};

class FakeEffect final : public IDirectInputEffect {
public:
    explicit FakeEffect(const GUID& kind) : Kind(kind) {}
    GUID Kind;
    LONG References = 1;
    std::vector<EffectCall> Calls;

    STDMETHOD(QueryInterface)(REFIID, void** object) override { *object = nullptr; return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++References; }
    STDMETHOD_(ULONG, Release)() override { return --References; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(GetEffectGuid)(LPGUID guid) override { *guid = Kind; return DI_OK; }
    STDMETHOD(GetParameters)(LPDIEFFECT, DWORD) override { return DI_OK; }
    STDMETHOD(SetParameters)(LPCDIEFFECT effect, DWORD flags) override;
    STDMETHOD(Start)(DWORD, DWORD) override { Calls.push_back({"Start", 0, 0}); return DI_OK; }
    STDMETHOD(Stop)() override { Calls.push_back({"Stop", 0, 0}); return DI_OK; }
    STDMETHOD(GetEffectStatus)(LPDWORD status) override { *status = 0; return DI_OK; }
    STDMETHOD(Download)() override { return DI_OK; }
    STDMETHOD(Unload)() override { return DI_OK; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return DI_OK; }
};

class FakeDevice final : public IDirectInputDevice8W {
public:
    ~FakeDevice() { delete Effects[0]; delete Effects[1]; }
    GUID InstanceGuid = {};
    GUID ProductGuid = {};
    std::wstring InstanceName;
    std::wstring ProductName;
    DWORD Buttons = 12;
    DIJOYSTATE State = {};
    int FailCreateEffects = 0;
    int FailGetDeviceInfo = 0;
    int DeviceStateFailures = 0;  // GetDeviceState fails this many times first (a lost device)

    LONG References = 1;
    int StateReads = 0;
    int Acquires = 0;
    const DIDATAFORMAT* DataFormat = nullptr;
    DWORD CooperativeLevel = 0;
    HANDLE Event = nullptr;
    LONG RangeMin[6] = {}, RangeMax[6] = {};
    DWORD DeadZone[6] = {};
    FakeEffect* Effects[2] = {};  // [0] sine, [1] constant force, in creation order

    STDMETHOD(QueryInterface)(REFIID, void** object) override { *object = nullptr; return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++References; }
    STDMETHOD_(ULONG, Release)() override { return --References; }
    STDMETHOD(GetCapabilities)(LPDIDEVCAPS caps) override;
    STDMETHOD(EnumObjects)(LPDIENUMDEVICEOBJECTSCALLBACKW, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(GetProperty)(REFGUID, LPDIPROPHEADER) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SetProperty)(REFGUID property, LPCDIPROPHEADER header) override;
    STDMETHOD(Acquire)() override { ++Acquires; return DI_OK; }
    STDMETHOD(Unacquire)() override { return DI_OK; }
    STDMETHOD(GetDeviceState)(DWORD size, LPVOID data) override;
    STDMETHOD(GetDeviceData)(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DI_OK; }
    STDMETHOD(SetDataFormat)(LPCDIDATAFORMAT format) override { DataFormat = format; return DI_OK; }
    STDMETHOD(SetEventNotification)(HANDLE event) override { Event = event; return DI_OK; }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD level) override { CooperativeLevel = level; return DI_OK; }
    STDMETHOD(GetObjectInfo)(LPDIDEVICEOBJECTINSTANCEW, DWORD, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetDeviceInfo)(LPDIDEVICEINSTANCEW instance) override;
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return DI_OK; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD, REFGUID) override { return DI_OK; }
    STDMETHOD(CreateEffect)(REFGUID kind, LPCDIEFFECT, LPDIRECTINPUTEFFECT* effect, LPUNKNOWN) override;
    STDMETHOD(EnumEffects)(LPDIENUMEFFECTSCALLBACKW, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(GetEffectInfo)(LPDIEFFECTINFOW, REFGUID) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetForceFeedbackState)(LPDWORD state) override { *state = 0; return DI_OK; }
    STDMETHOD(SendForceFeedbackCommand)(DWORD) override { return DI_OK; }
    STDMETHOD(EnumCreatedEffectObjects)(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(Escape)(LPDIEFFESCAPE) override { return DI_OK; }
    STDMETHOD(Poll)() override { return DI_OK; }
    STDMETHOD(SendDeviceData)(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override { return DI_OK; }
    STDMETHOD(EnumEffectsInFile)(LPCWSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override { return DI_OK; }
    STDMETHOD(WriteEffectToFile)(LPCWSTR, DWORD, LPDIFILEEFFECT, DWORD) override { return DI_OK; }
    STDMETHOD(BuildActionMap)(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(SetActionMap)(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return DIERR_UNSUPPORTED; }
    STDMETHOD(GetImageInfo)(LPDIDEVICEIMAGEINFOHEADERW) override { return DIERR_UNSUPPORTED; }
};

class FakeDirectInput final : public IDirectInput8W {
public:
    std::vector<FakeDevice*> Devices;  // attached game controllers, in enumeration order
    LONG References = 1;
    int Enumerations = 0;

    STDMETHOD(QueryInterface)(REFIID, void** object) override { *object = nullptr; return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++References; }
    STDMETHOD_(ULONG, Release)() override { return --References; }
    STDMETHOD(CreateDevice)(REFGUID guid, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN) override;
    STDMETHOD(EnumDevices)(DWORD type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context, DWORD flags) override;
    STDMETHOD(GetDeviceStatus)(REFGUID) override { return DI_OK; }
    STDMETHOD(RunControlPanel)(HWND, DWORD) override { return DI_OK; }
    STDMETHOD(Initialize)(HINSTANCE, DWORD) override { return DI_OK; }
    STDMETHOD(FindDevice)(REFGUID, LPCWSTR, LPGUID) override { return DIERR_DEVICENOTREG; }
    STDMETHOD(EnumDevicesBySemantics)(LPCWSTR, LPDIACTIONFORMATW, LPDIENUMDEVICESBYSEMANTICSCBW, LPVOID,
                                      DWORD) override { return DI_OK; }
    STDMETHOD(ConfigureDevices)(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSW, DWORD,
                                LPVOID) override { return DI_OK; }
};

extern FakeDirectInput* CurrentDirectInput;  // what the fake CoCreateInstance hands out (null: creation fails)

// ----- fake joystick calls -----
struct FakeJoystick {
    JOYCAPSW Caps;
    JOYINFOEX Info;
};
extern std::vector<FakeJoystick> Joysticks;
extern std::vector<UINT> JoystickCapsQueries;  // ids joyGetDevCapsW was asked for

// ----- set-up -----
// The window state the queries expect in a test: active, this thread is the window thread.
void PrepareWindowState(int osVersionCode);
// Restarts input with the fake DirectInput object (or, with null, with DirectInput unavailable:
// joystick-call mode). The system XInput is kept out (no script: no user connected).
void RestartInputWithFakes(FakeDirectInput* directInput);
// Restarts input over the scripted xinput1_4.dll beside the program, playing the given script; the
// record of its XInputSetState calls starts empty; DirectInput is the given fake (null: one without
// controllers). Returns false when the scripted library did not load.
bool RestartInputWithScript(const std::string& script, FakeDirectInput* directInput = nullptr);
// Replaces the script the scripted library plays (it reads it again at its next call).
void WriteScript(const std::string& script);
// The lines the scripted library recorded so far.
std::vector<std::string> ReadXInputRecord();
// Stops input and puts the real system entries back.
void RestoreSystem();

} // namespace InputTest
