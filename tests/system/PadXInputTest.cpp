// XInput pads end to end: the scripted xinput1_4.dll beside the program plays users 0 and 2, and the
// front-end queries must show them as pads 1 and 2 with their states converted as the pad layer defines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "InputTestSupport.h"
#include "system/VtPadVibration.h"
#include "system/VtTime.h"

using namespace Vantrel;

namespace {

class PadXInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputTest::PrepareWindowState(0x109);
        InputTest::FakeTime = 5000;
        ASSERT_TRUE(InputTest::RestartInputWithScript("# users 0 and 2 connected, 1 and 3 absent\n"
                                                      "0 0 0 0 0 0 0 0 0\n"
                                                      "0 2 0 0 0 0 0 0 0\n"))
            << "the scripted xinput1_4.dll beside the test program was not the one loaded";
    }
    void TearDown() override { InputTest::RestoreSystem(); }

    // Plays one state on user 0 and reads pad 1 through both front-end layouts.
    void Play(const char* line, PadDirectInputState* directInput, PadXInputState* xinput)
    {
        InputTest::WriteScript(std::string("0 0 ") + line + "\n0 2 0 0 0 0 0 0 0\n");
        ++InputTest::FakeTime;
        ASSERT_EQ(GetPadDirectInputState(1, directInput), 0);
        ASSERT_EQ(GetPadXInputState(1, xinput), 0);
    }
};

TEST_F(PadXInput, UsersZeroAndTwoArePadsOneAndTwo)
{
    EXPECT_EQ(GetPadCount(), 2);
    EXPECT_EQ(IsXInputPad(1), 1);
    EXPECT_EQ(IsXInputPad(2), 1);
    EXPECT_EQ(IsXInputPad(3), -1);
    EXPECT_EQ(InputSystem.Pads[0].XInputUser, 0);
    EXPECT_EQ(InputSystem.Pads[1].XInputUser, 2);
    EXPECT_EQ(InputSystem.XInputPadCount, 2);
    EXPECT_EQ(InputSystem.Pads[0].ButtonCount, 16);

    wchar_t instance[PadNameLength], product[PadNameLength];
    ASSERT_EQ(Input_GetPadNamesWide(2, instance, product), 0);
    EXPECT_STREQ(instance, L"Controller (XBOX 360 For Windows)");
    EXPECT_STREQ(product, L"Controller (XBOX 360 For Windows)");
    char narrow[PadNameLength];
    ASSERT_EQ(GetPadNames(1, narrow, nullptr), 0);
    EXPECT_STREQ(narrow, "Controller (XBOX 360 For Windows)");

    PadXInputState xinput;
    memset(&xinput, 0x55, sizeof(xinput));
    EXPECT_EQ(GetPadXInputState(3, &xinput), -1);
    EXPECT_EQ(xinput.ThumbLX, 0);
    EXPECT_EQ(xinput.LeftTrigger, 0);
}

TEST_F(PadXInput, ThumbsTriggersButtonsAndPovPassThroughWithoutDeadZone)
{
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    struct Case {
        const char* line;  // buttons lt rt lx ly rx ry
        int x, y, z, rx, ry, pov;
    };
    const Case cases[] = {
        {"0 0 0 0 0 0 0", 0, 0, 0, 0, 0, -1},
        {"0 0 0 32767 32767 -32768 -32768", 1000, -1000, 0, -1000, 1000, -1},
        {"0 0 0 16384 -16384 -32767 32767", 500, 500, 0, -1000, -1000, -1},
        {"0 255 0 0 0 0 0", 0, 0, 1000, 0, 0, -1},
        {"0 0 255 0 0 0 0", 0, 0, -1000, 0, 0, -1},
        {"0 255 255 0 0 0 0", 0, 0, 0, 0, 0, -1},
        {"0x1 0 0 0 0 0 0", 0, 0, 0, 0, 0, 0},         // up
        {"0x9 0 0 0 0 0 0", 0, 0, 0, 0, 0, 4500},      // up right
        {"0x8 0 0 0 0 0 0", 0, 0, 0, 0, 0, 9000},      // right
        {"0xA 0 0 0 0 0 0", 0, 0, 0, 0, 0, 13500},     // down right
        {"0x2 0 0 0 0 0 0", 0, 0, 0, 0, 0, 18000},     // down
        {"0x6 0 0 0 0 0 0", 0, 0, 0, 0, 0, 22500},     // down left
        {"0x4 0 0 0 0 0 0", 0, 0, 0, 0, 0, 27000},     // left
        {"0x5 0 0 0 0 0 0", 0, 0, 0, 0, 0, 31500},     // up left
        {"0x3 0 0 0 0 0 0", 0, 0, 0, 0, 0, 0},         // up and down together
        {"0xF 0 0 0 0 0 0", 0, 0, 0, 0, 0, 4500},      // all four
        {"0xC 0 0 0 0 0 0", 0, 0, 0, 0, 0, 9000},      // left and right
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        PadDirectInputState state;
        PadXInputState xinput;
        Play(c.line, &state, &xinput);
        EXPECT_EQ(state.X, c.x);
        EXPECT_EQ(state.Y, c.y);
        EXPECT_EQ(state.Z, c.z);
        EXPECT_EQ(state.Rx, c.rx);
        EXPECT_EQ(state.Ry, c.ry);
        EXPECT_EQ(state.POV[0], c.pov);
        EXPECT_EQ(state.POV[1], -1);
        EXPECT_EQ(state.POV[3], -1);
    }

    // The raw XInput layout keeps what XInput reported; the DirectInput layout maps the face buttons.
    PadDirectInputState state;
    PadXInputState xinput;
    Play("0xF3F1 12 200 -5 7 300 -400", &state, &xinput);
    const uint8_t expectedRaw[16] = {1, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(xinput.Buttons[i], expectedRaw[i]) << "raw button " << i;
    EXPECT_EQ(xinput.LeftTrigger, 12);
    EXPECT_EQ(xinput.RightTrigger, 200);
    EXPECT_EQ(xinput.ThumbLX, -5);
    EXPECT_EQ(xinput.ThumbLY, 7);
    EXPECT_EQ(xinput.ThumbRX, 300);
    EXPECT_EQ(xinput.ThumbRY, -400);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(state.Buttons[i], 0x80) << "button " << i;

    // A, B, X, Y, LB, RB, Back, Start, LThumb, RThumb, one at a time, into Buttons[0..9].
    const char* single[10] = {"0x1000", "0x2000", "0x4000", "0x8000", "0x100",
                              "0x200",  "0x20",   "0x10",   "0x40",   "0x80"};
    for (int i = 0; i < 10; ++i) {
        Play((std::string(single[i]) + " 0 0 0 0 0 0").c_str(), &state, &xinput);
        for (int j = 0; j < 10; ++j) EXPECT_EQ(state.Buttons[j], i == j ? 0x80 : 0) << single[i] << " button " << j;
    }
}

TEST_F(PadXInput, DeadZoneScalesSticksAndTriggers)
{
    // The default dead zone 0.35 (22937 / 65536): d = 11468 stick units, t = 89 trigger units.
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 22937);
    struct Case {
        const char* line;
        int x, y, z;
    };
    const Case defaultCases[] = {
        {"0 0 0 11468 -11468 0 0", 0, 0, 0},
        {"0 0 0 11469 -11469 0 0", 0, 0, 0},       // (1 x 1000) / 21299 truncates to 0
        {"0 0 0 22000 -22000 0 0", 494, 494, 0},   // (22000 - 11468) x 1000 / 21299
        {"0 0 0 -22000 22000 0 0", -494, -494, 0},
        {"0 0 0 32767 32767 0 0", 1000, -1000, 0},
        {"0 0 0 -32768 -32768 0 0", -1000, 1000, 0},
        {"0 89 0 0 0 0 0", 0, 0, 0},
        {"0 200 0 0 0 0 0", 0, 0, 668},            // (200 - 89) x 1000 / 166
        {"0 0 200 0 0 0 0", 0, 0, -668},           // (89 - 200) x 1000 / 166, truncated toward zero
    };
    for (const Case& c : defaultCases) {
        SCOPED_TRACE(c.line);
        PadDirectInputState state;
        PadXInputState xinput;
        Play(c.line, &state, &xinput);
        EXPECT_EQ(state.X, c.x);
        EXPECT_EQ(state.Y, c.y);
        EXPECT_EQ(state.Z, c.z);
    }

    // A dead zone of 1.0 leaves only the two extremes.
    ASSERT_EQ(SetPadDeadZone(1, 1.5), 0);
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 65536);
    EXPECT_EQ(InputSystem.Pads[0].DeadZoneDouble, 1.0);
    const Case fullCases[] = {
        {"0 0 0 32766 -32767 0 0", 0, 0, 0},
        {"0 0 0 32767 -32768 0 0", 1000, 1000, 0},
        {"0 0 0 -32768 32767 0 0", -1000, -1000, 0},
    };
    for (const Case& c : fullCases) {
        SCOPED_TRACE(c.line);
        PadDirectInputState state;
        PadXInputState xinput;
        Play(c.line, &state, &xinput);
        EXPECT_EQ(state.X, c.x);
        EXPECT_EQ(state.Y, c.y);
    }
    ASSERT_EQ(SetPadDeadZone(1, -0.2), 0);
    EXPECT_EQ(InputSystem.Pads[0].DeadZone, 0);
}

TEST_F(PadXInput, SameTickReadsTheDeviceOnceAndADisconnectClearsThePov)
{
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    PadDirectInputState state;
    PadXInputState xinput;
    Play("0x8 0 0 1000 0 0 0", &state, &xinput);
    EXPECT_EQ(state.POV[0], 9000);

    // Same tick: the new script is not read yet.
    InputTest::WriteScript("0 0 0x2 0 0 0 0 0 0\n0 2 0 0 0 0 0 0 0\n");
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(state.POV[0], 9000);
    ++InputTest::FakeTime;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    EXPECT_EQ(state.POV[0], 18000);

    // User 0 unplugged: the raw state is cleared, the POVs centred, the sticks keep their last values.
    Play("0 0 0 20000 0 0 0", &state, &xinput);
    int lastX = state.X;
    InputTest::WriteScript("0 0 -\n0 2 0 0 0 0 0 0 0\n");
    ++InputTest::FakeTime;
    ASSERT_EQ(GetPadDirectInputState(1, &state), 0);
    ASSERT_EQ(GetPadXInputState(1, &xinput), 0);
    EXPECT_EQ(state.POV[0], -1);
    EXPECT_EQ(state.X, lastX);
    EXPECT_EQ(xinput.ThumbLX, 0);
}

TEST_F(PadXInput, PadMaskFollowsSticksPovAndButtons)
{
    ASSERT_EQ(SetPadDeadZone(1, 0.0), 0);
    InputTest::WriteScript("0 0 0x1009 0 0 -20000 0 0 0\n0 2 0 0 0 0 0 0 0\n");
    ++InputTest::FakeTime;
    // Left stick left (2), POV up-right (8 | 4), A = Buttons[0] (bit 4).
    EXPECT_EQ(GetPadInputMask(1), 2 | 8 | 4 | 16);
    EXPECT_EQ(GetPadInputMask(5), 0);
}

TEST(PadXInputWithDirectInput, DirectInputSkipsXInputControllersWhileXInputHasPads)
{
    InputTest::PrepareWindowState(0x109);
    InputTest::FakeDirectInput directInput;
    InputTest::FakeDevice xboxOne, stick;
    xboxOne.InstanceGuid = {0xBBBB0001, 1, 2, {0}};
    xboxOne.InstanceName = L"Controller (Xbox One For Windows)";
    stick.InstanceGuid = {0xBBBB0002, 1, 2, {0}};
    stick.InstanceName = L"Flight Stick";
    stick.ProductName = L"Flight Stick Product";
    directInput.Devices = {&xboxOne, &stick};
    ASSERT_TRUE(InputTest::RestartInputWithScript("0 1 0 0 0 0 0 0 0\n", &directInput));
    EXPECT_EQ(GetPadCount(), 2);
    EXPECT_EQ(IsXInputPad(1), 1);
    EXPECT_EQ(IsXInputPad(2), 0);
    wchar_t instance[PadNameLength], product[PadNameLength];
    ASSERT_EQ(Input_GetPadNamesWide(2, instance, product), 0);
    EXPECT_STREQ(instance, L"Flight Stick");
    EXPECT_STREQ(product, L"Flight Stick Product");
    InputTest::RestoreSystem();
}

TEST_F(PadXInput, VibrationReachesXInputSetState)
{
    Window.ActiveFlag = 1;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    // Nothing was sent yet: each connected user gets one zero vibration, then no repeats of silence.
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    InputTest::FakeTime += 1500;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    std::vector<std::string> record = InputTest::ReadXInputRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0], "set 0 0 0");
    EXPECT_EQ(record[1], "set 2 0 0");

    // Pad 2 (user 2) playing: left motor at full power, right motor at half.
    VibrationMotor* motors = InputSystem.Pads[1].Motor;
    motors[0].Playing = 1;
    motors[0].Power = 10000;
    motors[0].TimeLimit = -1;
    motors[1].Playing = 1;
    motors[1].Power = 5000;
    motors[1].TimeLimit = -1;
    ++InputTest::FakeTime;
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);
    ASSERT_EQ(Joypad_RefreshVibration(0), 0);  // unchanged within a second: not sent again
    record = InputTest::ReadXInputRecord();
    ASSERT_EQ(record.size(), 3u);
    EXPECT_EQ(record[2], "set 2 65535 32767");

    // Stopping both motors sends silence once.
    ++InputTest::FakeTime;
    ASSERT_EQ(Joypad_StopVibration(2, -1), 0);
    record = InputTest::ReadXInputRecord();
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(record[3], "set 2 0 0");
    EXPECT_EQ(motors[0].Playing, 0);
    EXPECT_EQ(motors[0].Power, 10000);
}

TEST_F(PadXInput, TimedVibrationStopsItselfAndABackwardClockAddsNothing)
{
    // The timers run on the library's millisecond counter, the timeGetTime entry.
    VibrationMotor* motor = &InputSystem.Pads[0].Motor[1];
    motor->Playing = 1;
    motor->Power = 10000;
    motor->TimeLimit = 100;
    motor->Elapsed = 0;
    motor->LastTick = static_cast<int32_t>(InputTest::FakeTime);
    InputTest::FakeTime -= 50;  // the counter runs backwards: the tick restarts, nothing is added
    ASSERT_EQ(GetMillisecondCount(), static_cast<int32_t>(InputTest::FakeTime));
    ASSERT_EQ(Joypad_UpdateVibrationTimers(), 0);
    EXPECT_EQ(motor->Elapsed, 0);
    EXPECT_EQ(motor->LastTick, static_cast<int32_t>(InputTest::FakeTime));
    EXPECT_EQ(motor->Playing, 1);
    std::vector<std::string> record = InputTest::ReadXInputRecord();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.front(), "set 0 0 65535");

    InputTest::FakeTime += 60;
    ASSERT_EQ(Joypad_UpdateVibrationTimers(), 0);
    EXPECT_EQ(motor->Elapsed, 60);
    EXPECT_EQ(motor->Playing, 1);

    InputTest::FakeTime += 40;
    ASSERT_EQ(Joypad_UpdateVibrationTimers(), 0);
    EXPECT_EQ(motor->Playing, 0);
    record = InputTest::ReadXInputRecord();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(record.back(), "set 0 0 0");
}

} // namespace
