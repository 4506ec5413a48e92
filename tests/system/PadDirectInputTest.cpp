// DirectInput and joystick-call pads through fakes at the platform edge: a fake DirectInput 8 object
// handed out by the CoCreateInstance entry of the system function table, and fake joystick entries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "InputTestSupport.h"
#include "system/VtPadVibration.h"

using namespace Vantrel;
using InputTest::FakeDevice;
using InputTest::FakeDirectInput;

namespace {

const GUID ProductA = {0x12345678, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID InstanceA = {0xAAAA0001, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID InstanceB = {0xAAAA0002, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};

FakeDevice* MakeDevice(const GUID& instance, const wchar_t* instanceName, const wchar_t* productName)
{
    FakeDevice* device = new FakeDevice();
    device->InstanceGuid = instance;
    device->ProductGuid = ProductA;
    device->InstanceName = instanceName;
    device->ProductName = productName;
    return device;
}

class PadDirectInput : public ::testing::Test {
protected:
    FakeDirectInput directInput;
    FakeDevice* first = nullptr;
    FakeDevice* second = nullptr;

    void SetUp() override
    {
        InputTest::PrepareWindowState(0x109);
        InputTest::FakeTime = 7000;
        first = MakeDevice(InstanceA, L"Arcade Stick", L"Arcade Stick Product");
        second = MakeDevice(InstanceB, L"Twin Pad", L"Twin Pad Product");
        directInput.Devices = {first, second};
        InputTest::RestartInputWithFakes(&directInput);
    }
    void TearDown() override
    {
        InputTest::RestoreSystem();
        delete first;
        delete second;
    }
};

TEST_F(PadDirectInput, DevicesBecomePadsSetUpAsJoysticks)
{
    ASSERT_EQ(GetPadCount(), 2);
    EXPECT_EQ(IsXInputPad(1), 0);
    EXPECT_EQ(IsXInputPad(2), 0);
    EXPECT_EQ(InputSystem.Pads[0].XInputUser, -1);
    EXPECT_EQ(InputSystem.Pads[0].ButtonCount, 12);
    EXPECT_EQ(first->DataFormat->dwDataSize, sizeof(DIJOYSTATE));
    EXPECT_EQ(first->DataFormat->dwNumObjs, 44u);
    EXPECT_EQ(first->CooperativeLevel, static_cast<DWORD>(DISCL_FOREGROUND | DISCL_EXCLUSIVE));
    EXPECT_NE(first->Event, nullptr);
    for (int axis = 0; axis < 6; ++axis) {
        EXPECT_EQ(first->RangeMin[axis], -1000) << axis;
        EXPECT_EQ(first->RangeMax[axis], 1000) << axis;
        EXPECT_EQ(first->DeadZone[axis], 3499u) << axis;  // 22937 x 10000 >> 16
    }
    ASSERT_NE(first->Effects[0], nullptr);
    ASSERT_NE(first->Effects[1], nullptr);
    EXPECT_EQ(InputSystem.Pads[0].Motor[1].Effect, first->Effects[0]);  // sine on the right motor
    EXPECT_EQ(InputSystem.Pads[0].Motor[0].Effect, first->Effects[1]);  // constant force on the left
    EXPECT_EQ(InputSystem.Pads[0].Motor[0].Power, 10000);

    wchar_t instance[PadNameLength], product[PadNameLength];
    ASSERT_EQ(Input_GetPadNamesWide(2, instance, product), 0);
    EXPECT_STREQ(instance, L"Twin Pad");
    EXPECT_STREQ(product, L"Twin Pad Product");
}

TEST_F(PadDirectInput, AxesPovAndButtonsArePassedThrough)
{
    DIJOYSTATE& raw = first->State;
    raw.lX = -1000;
    raw.lY = 250;
    raw.lZ = 3;
    raw.lRx = -4;
    raw.lRy = 5;
    raw.lRz = 999;
    raw.rglSlider[0] = 11;
    raw.rglSlider[1] = -12;
    raw.rgdwPOV[0] = 27000;
    raw.rgdwPOV[1] = raw.rgdwPOV[2] = raw.rgdwPOV[3] = static_cast<DWORD>(-1);
    raw.rgbButtons[0] = 0x80;
    raw.rgbButtons[5] = 0x80;
    raw.rgbButtons[31] = 0x80;

    PadDirectInputState state;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(state.X, -1000);
    EXPECT_EQ(state.Y, 250);
    EXPECT_EQ(state.Z, 3);
    EXPECT_EQ(state.Rx, -4);
    EXPECT_EQ(state.Ry, 5);
    EXPECT_EQ(state.Rz, 999);
    EXPECT_EQ(state.Slider[0], 11);
    EXPECT_EQ(state.Slider[1], -12);
    EXPECT_EQ(state.POV[0], 27000);
    EXPECT_EQ(state.POV[1], -1);
    EXPECT_EQ(state.Buttons[0], 0x80);
    EXPECT_EQ(state.Buttons[5], 0x80);
    EXPECT_EQ(state.Buttons[31], 0x80);
    EXPECT_EQ(state.Buttons[1], 0);

    // Left (2), down (1), POV left (2), Buttons[0] (bit 4) and Buttons[5] (bit 9); Buttons[31] is past 23.
    EXPECT_EQ(GetPadInputMask(1), 2 | 1 | 16 | (1 << 9));

    // An XInput query on a DirectInput pad fails with a cleared record.
    PadXInputState xinput;
    memset(&xinput, 0x33, sizeof(xinput));
    EXPECT_EQ(GetPadXInputState(1, &xinput), -1);
    EXPECT_EQ(xinput.Buttons[0], 0);
}

TEST_F(PadDirectInput, SameTickReadsOnceUnlessTheEventIsSignalled)
{
    PadDirectInputState state;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    int reads = first->StateReads;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(first->StateReads, reads);
    SetEvent(first->Event);
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(first->StateReads, reads + 1);
    EXPECT_EQ(WaitForSingleObject(first->Event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the event is reset";
    ++InputTest::FakeTime;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(first->StateReads, reads + 2);
}

TEST_F(PadDirectInput, ALostDeviceIsAcquiredAgainAndRead)
{
    first->State.lX = 640;
    first->DeviceStateFailures = 1;
    int acquires = first->Acquires;
    PadDirectInputState state;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(first->Acquires, acquires + 1);
    EXPECT_EQ(state.X, 640);
}

TEST_F(PadDirectInput, ADeviceChangeRebuildsTheTable)
{
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    EXPECT_EQ(first->DeadZone[0], 0u) << "a new dead zone goes to the device";
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 0);

    // The first controller is unplugged: after the rebuild the second one is pad 1, with the default
    // dead zone again, and the old device was released.
    directInput.Devices = {second};
    LONG firstReferences = first->References;
    ASSERT_EQ(Joypad_Setup(), 0);
    EXPECT_EQ(GetPadCount(), 1);
    EXPECT_LT(first->References, firstReferences);
    wchar_t instance[PadNameLength];
    ASSERT_EQ(Input_GetPadNamesWide(1, instance, nullptr), 0);
    EXPECT_STREQ(instance, L"Twin Pad");
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 22937);
    EXPECT_EQ(InputSystem.Pads[0].DeadZoneDouble, 0.35);
    EXPECT_EQ(Input_GetPadNamesWide(2, instance, nullptr), -1);

    PadDirectInputState state;
    memset(&state, 0x11, sizeof(state));
    EXPECT_EQ(GetPadDirectInputState(2, &state), -1);
    EXPECT_EQ(state.X, 0);
    EXPECT_EQ(state.Buttons[0], 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(state.POV[i], -1);
    EXPECT_EQ(GetPadDirectInputState(17, &state), -1);
}

TEST_F(PadDirectInput, WithoutXInputPadsAnXInputControllerIsSetUpThroughDirectInput)
{
    FakeDevice* xbox = MakeDevice({0xAAAA0003, 1, 2, {0}}, L"Controller (Xbox 360 For Windows)",
                                  L"Controller (Xbox 360 For Windows)");
    directInput.Devices = {xbox, first};
    ASSERT_EQ(Joypad_Setup(), 0);
    ASSERT_EQ(GetPadCount(), 2);
    EXPECT_EQ(IsXInputPad(1), 0);
    wchar_t instance[PadNameLength];
    ASSERT_EQ(Input_GetPadNamesWide(1, instance, nullptr), 0);
    EXPECT_STREQ(instance, L"Controller (Xbox 360 For Windows)");
    Input_Terminate();
    delete xbox;
}

TEST_F(PadDirectInput, DirectInputEffectsFollowTheMotorsAndStopWhileInactive)
{
    FakeDevice* device = first;
    InputTest::FakeEffect* constant = device->Effects[1];
    InputTest::FakeEffect* sine = device->Effects[0];
    ASSERT_NE(constant, nullptr);
    VibrationMotor* motor = &InputSystem.Pads[0].Motor[0];
    motor->Playing = 1;
    motor->Power = 6000;
    motor->TimeLimit = -1;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    ASSERT_EQ(constant->Calls.size(), 2u);
    EXPECT_EQ(constant->Calls[0].Name, "SetParameters");
    EXPECT_EQ(constant->Calls[0].Magnitude, 6000);
    EXPECT_EQ(constant->Calls[0].Flags, static_cast<DWORD>(DIEP_TYPESPECIFICPARAMS));
    EXPECT_EQ(constant->Calls[1].Name, "Start");

    // Running: a new power is sent without restarting.
    motor->Power = 3000;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    ASSERT_EQ(constant->Calls.size(), 3u);
    EXPECT_EQ(constant->Calls[2].Magnitude, 3000);
    EXPECT_EQ(constant->Calls[2].Flags, static_cast<DWORD>(DIEP_TYPESPECIFICPARAMS | DIEP_NORESTART));

    // Window inactive: the effect is stopped and silenced once.
    Window.ActiveFlag = 0;
    Window.InActivate = 1;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    ASSERT_EQ(constant->Calls.size(), 5u);
    EXPECT_EQ(constant->Calls[3].Name, "Stop");
    EXPECT_EQ(constant->Calls[4].Name, "SetParameters");
    EXPECT_EQ(constant->Calls[4].Magnitude, 0);
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    EXPECT_EQ(constant->Calls.size(), 5u);
    // The sine motor of the same pad never played and is left alone.
    EXPECT_TRUE(sine->Calls.empty() || sine->Calls.back().Magnitude <= 0);
}

TEST_F(PadDirectInput, PadNamesNeverOverrunTheCallersBuffer)
{
    // 259 hiragana: 518 bytes in code page 932, twice what a 260-byte name buffer holds.
    FakeDevice* longName = MakeDevice({0xAAAA0004, 1, 2, {0}}, std::wstring(259, L'\x3042').c_str(), L"Short");
    directInput.Devices = {longName};
    ASSERT_EQ(Joypad_Setup(), 0);
    ASSERT_EQ(GetPadCount(), 1);

    char instance[PadNameLength + 32];
    char product[PadNameLength + 32];
    memset(instance, 0x7E, sizeof(instance));
    memset(product, 0x7E, sizeof(product));
    ASSERT_EQ(GetPadNames(1, instance, product), 0);
    for (size_t i = PadNameLength; i < sizeof(instance); ++i) ASSERT_EQ(instance[i], 0x7E) << "byte " << i;
    size_t length = strlen(instance);
    EXPECT_GT(length, 200u);
    EXPECT_LT(length, static_cast<size_t>(PadNameLength));
    EXPECT_EQ(length % 2, 0u) << "cut between characters";
    EXPECT_EQ(static_cast<unsigned char>(instance[0]), 0x82);  // あ = 82 A0
    EXPECT_EQ(static_cast<unsigned char>(instance[1]), 0xA0);
    EXPECT_STREQ(product, "Short");

    char small[12];
    memset(small, 0x7E, sizeof(small));
    ASSERT_EQ(GetPadNamesBounded(1, small, 8, nullptr, 0), 0);
    EXPECT_LT(strlen(small), 8u);
    for (size_t i = 8; i < sizeof(small); ++i) EXPECT_EQ(small[i], 0x7E);
    Input_Terminate();
    delete longName;
}

class PadJoystick : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputTest::PrepareWindowState(0x109);
        InputTest::FakeTime = 9000;
        InputTest::Joysticks.clear();
        InputTest::FakeJoystick stick = {};
        stick.Caps.wNumButtons = 10;
        stick.Caps.wCaps = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASPOV;
        InputTest::Joysticks.push_back(stick);
        stick.Caps.wNumButtons = 4;
        stick.Caps.wCaps = 0;  // no POV, no further axes
        InputTest::Joysticks.push_back(stick);
        InputTest::RestartInputWithFakes(nullptr);  // DirectInput cannot be created
    }
    void TearDown() override
    {
        InputTest::RestoreSystem();
        InputTest::Joysticks.clear();
    }
};

TEST_F(PadJoystick, JoystickCallsGivePadsWithoutNames)
{
    EXPECT_EQ(InputSystem.DirectInput, VT_DIRECTINPUT_JOYSTICK_MODE);
    ASSERT_EQ(GetPadCount(), 2);
    EXPECT_EQ(IsXInputPad(1), 0);
    EXPECT_EQ(InputSystem.Pads[0].ButtonCount, 10);
    // Ids after the first missing one are never tried.
    ASSERT_EQ(InputTest::JoystickCapsQueries.size(), 3u);
    EXPECT_EQ(InputTest::JoystickCapsQueries[2], 2u);

    char instance[8] = "keep", product[8] = "keep";
    EXPECT_EQ(GetPadNames(1, instance, product), -1);
    EXPECT_STREQ(instance, "keep");
    EXPECT_STREQ(product, "keep");
}

TEST_F(PadJoystick, ADeviceChangeFindsTheJoystickPadsAgain)
{
    ASSERT_EQ(GetPadCount(), 2);
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    // A rebuild after a device change finds what a start finds, with the default dead zone again.
    ASSERT_EQ(Joypad_Setup(), 0);
    ASSERT_EQ(GetPadCount(), 2);
    EXPECT_EQ(InputSystem.Pads[0].ButtonCount, 10);
    EXPECT_EQ(InputSystem.Pads[1].ButtonCount, 4);
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 22937);
    InputTest::Joysticks[0].Info.dwXpos = 0;
    PadDirectInputState state;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(state.X, -1000);

    // The second stick is unplugged, then plugged in again.
    InputTest::Joysticks.pop_back();
    ASSERT_EQ(Joypad_Setup(), 0);
    EXPECT_EQ(GetPadCount(), 1);
    InputTest::FakeJoystick stick = {};
    stick.Caps.wNumButtons = 6;
    InputTest::Joysticks.push_back(stick);
    ASSERT_EQ(Joypad_Setup(), 0);
    ASSERT_EQ(GetPadCount(), 2);
    EXPECT_EQ(InputSystem.Pads[1].ButtonCount, 6);
}

TEST_F(PadJoystick, RawPositionsAreScaledWithTheDeadZone)
{
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    JOYINFOEX& info = InputTest::Joysticks[0].Info;
    info.dwXpos = 0;
    info.dwYpos = 0xFFFF;
    info.dwZpos = 0x7FFF;
    info.dwRpos = 0xC000;
    info.dwUpos = 0x1234;  // no JOYCAPS_HASU: ignored
    info.dwPOV = 9000;
    info.dwButtons = 0x800001;
    PadDirectInputState state;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(state.X, -1000);
    EXPECT_EQ(state.Y, 1000);
    EXPECT_EQ(state.Z, 0);
    EXPECT_EQ(state.Rz, 500);  // (0xC000 - 0x8000) x 1000 / 0x8000
    EXPECT_EQ(state.Rx, 0);
    EXPECT_EQ(state.POV[0], 9000);
    EXPECT_EQ(state.Buttons[0], 0x80);
    EXPECT_EQ(state.Buttons[23], 0x80);
    EXPECT_EQ(state.Buttons[1], 0);

    // The second stick reports no POV capability.
    InputTest::Joysticks[1].Info.dwPOV = 0;
    ASSERT_EQ(GetPadDirectInputState(2, &state), 0);
    EXPECT_EQ(state.POV[0], -1);

    // Pure scaling, default dead zone: h = 11468, r = 21300.
    struct Case {
        uint32_t position;
        int32_t deadZone;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 22937, -1000},     {0x7FFF, 22937, 0},    {0xFFFF, 22937, 1000},  {0x4000, 22937, -230},
        {0x8000 + 11468, 22937, 0}, {0xC000, 22937, 230}, {0x4000, 0, -500}, {0x8001, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Joypad_ConvertJoystickAxis(c.position, c.deadZone), c.expected) << std::hex << c.position;
}

} // namespace
