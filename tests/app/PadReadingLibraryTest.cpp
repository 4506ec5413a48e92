// ReadPadState over the library's input front end, with the scripted XInput library playing a pad:
// the state arrives in PadState and the virtual axes, a mapped button types its key, and when no
// pad is left every held input is released; with a DirectInput pad, the pads stay without dead zone
// when a device change rebuilt the library's pad table.
#include "ConverterTestSupport.h"

#include "../system/InputTestSupport.h"
#include "system/VtInput.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

class PadReadingLibraryTest : public ConverterTest {
protected:
    void SetUp() override
    {
        ConverterTest::SetUp();
        InputTest::PrepareWindowState(0x109);
        InputTest::FakeTime = 5000;
        ASSERT_TRUE(InputTest::RestartInputWithScript("0 0 0 0 0 0 0 0 0\n"))
            << "the scripted xinput1_4.dll beside the test program was not the one loaded";
        Vantrel::SetPadDeadZone(1, 0.0);
        SelectedPad = 0;
        PadCount = 0;
    }
    void TearDown() override
    {
        InputTest::RestoreSystem();
        ConverterTest::TearDown();
    }

    static void Play(const char* state)
    {
        InputTest::WriteScript(std::string("0 0 ") + state + "\n");
        InputTest::FakeTime += 2;
        ReadPadState();
    }
};

TEST_F(PadReadingLibraryTest, XInputPadEndToEnd)
{
    // buttons: d-pad up (0x1) and A (0x1000, button 12); left trigger; left stick right, right stick up.
    Play("0x1001 255 0 32767 0 0 32767");
    EXPECT_EQ(PadCount, 1);
    EXPECT_EQ(SelectedPad, 1);
    EXPECT_EQ(SelectedIsXInput, 1);
    EXPECT_EQ(Pad.X, 1000);
    EXPECT_EQ(Pad.Y, 0);
    EXPECT_EQ(Pad.Rz, -1000);
    EXPECT_EQ(Pad.Rx, 255);
    EXPECT_EQ(Pad.POV[0], 0);
    EXPECT_EQ(Pad.Buttons[12], 0x80);
    EXPECT_EQ(Pad.Buttons[18], 0x80);
    EXPECT_EQ(Pad.Buttons[19], 0);
    EXPECT_EQ(VirtualAxes[0], 1000);
    EXPECT_EQ(VirtualAxes[3], -1000);

    Settings.Buttons.FirstAssigned[12] = 1;
    Settings.Buttons.FirstKey[12] = 0x11;
    ConvertLeftStick();
    ConvertButtons();
    EXPECT_EQ(Take(), "+20 +11");

    Play("0 0 0 0 0 0 0");
    ConvertLeftStick();
    ConvertButtons();
    EXPECT_EQ(Take(), "-20 -11");
    EXPECT_EQ(Pad.POV[0], -1);
}

TEST_F(PadReadingLibraryTest, NoPadLeftReleasesEverythingHeld)
{
    Play("0x1000 0 0 -32768 0 0 0");
    Settings.Buttons.FirstAssigned[12] = 1;
    Settings.Buttons.FirstKey[12] = 0x39;
    ConvertLeftStick();
    ConvertButtons();
    EXPECT_EQ(Take(), "+1E +39");

    ASSERT_TRUE(InputTest::RestartInputWithScript("0 0 -\n"));  // the pad is gone
    ReadPadState();
    EXPECT_EQ(PadCount, 0);
    EXPECT_EQ(Take(), "-1E -39");
    EXPECT_EQ(Pad.Buttons[12], 0);
    EXPECT_EQ(Pad.POV[0], -1);
    EXPECT_EQ(PressedKeyTable[0x1E], 0);
    EXPECT_EQ(LeftStick.LeftHeld, 0);
    EXPECT_EQ(ButtonConverter.FirstActive[12], 0);
}

class PadReadingDeviceChangeTest : public ConverterTest {
protected:
    InputTest::FakeDirectInput directInput;
    InputTest::FakeDevice device;

    void SetUp() override
    {
        ConverterTest::SetUp();
        InputTest::PrepareWindowState(0x109);
        InputTest::FakeTime = 9000;
        device.InstanceGuid = {0x5a1d0001, 0x0001, 0x0001, {1, 2, 3, 4, 5, 6, 7, 8}};
        device.InstanceName = L"Arcade Stick";
        device.ProductName = L"Arcade Stick Product";
        directInput.Devices = {&device};
        InputTest::RestartInputWithFakes(&directInput);
        SelectedPad = 0;
    }
    void TearDown() override
    {
        InputTest::RestoreSystem();
        ConverterTest::TearDown();
    }
};

TEST_F(PadReadingDeviceChangeTest, PadsStayWithoutDeadZoneAfterTheTableIsRebuilt)
{
    Vantrel::SetPadDeadZone(1, 0.0);  // as at start-up
    ASSERT_EQ(device.DeadZone[0], 0u);

    // A device change: the library sets the pads up again with its default dead zone.
    ASSERT_EQ(Vantrel::Joypad_Setup(), 0);
    ASSERT_EQ(Vantrel::InputSystem.Pads[0].DeadZone, 22937);
    InputTest::FakeTime += 2;
    ReadPadState();
    EXPECT_EQ(PadCount, 1);
    EXPECT_EQ(SelectedIsXInput, 0);
    EXPECT_EQ(Vantrel::InputSystem.Pads[0].DeadZone, 0);
    for (int axis = 0; axis < 6; ++axis) EXPECT_EQ(device.DeadZone[axis], 0u) << axis;
}

}  // namespace
}  // namespace QelvarTest
