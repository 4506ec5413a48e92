// The button and POV converters with a fake millisecond clock: normal and two-key mode around
// 500 ms and across the counter's wrap, a mode switch while held, keys shared by two holders, the
// POV sets and diagonals, and ReleaseAllHeld leaving nothing down.
#include "ConverterTestSupport.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

void MapKey(int button, int key)
{
    Settings.Buttons.FirstAssigned[button] = 1;
    Settings.Buttons.FirstType[button] = 0;
    Settings.Buttons.FirstKey[button] = key;
}

void MapTwoKey(int button, int firstKey, int secondMouse)
{
    MapKey(button, firstKey);
    Settings.Buttons.ButtonMode[button] = 1;
    if (secondMouse != 0) {
        Settings.Buttons.SecondAssigned[button] = 1;
        Settings.Buttons.SecondType[button] = 1;
        Settings.Buttons.SecondMouse[button] = secondMouse;
    }
}

// One frame: set the button bytes, advance the clock, convert, and give the events.
struct ButtonFrame {
    int32_t Now;
    uint8_t Button0, Button1;
    const char* Expected;
};

void RunButtons(const char* name, const std::vector<ButtonFrame>& frames)
{
    for (size_t i = 0; i < frames.size(); ++i) {
        FakeNow = frames[i].Now;
        Pad.Buttons[0] = frames[i].Button0;
        Pad.Buttons[1] = frames[i].Button1;
        ConvertButtons();
        EXPECT_EQ(ConverterTest::Take(), frames[i].Expected) << name << ", frame " << i << " at " << frames[i].Now;
    }
}

using ButtonConverterTest = ConverterTest;

TEST_F(ButtonConverterTest, NormalModeHoldsTheKeyAsLongAsTheButton)
{
    MapKey(0, 0x11);
    RunButtons("normal", {{1000, 0x80, 0, "+11"}, {1016, 0x80, 0, ""}, {5000, 0x80, 0, ""}, {5016, 0, 0, "-11"},
                          {5032, 0x7F, 0, ""}, {5048, 0x80, 0, "+11"}, {5064, 0x7F, 0, "-11"}});
    ASSERT_EQ(RecordedKeys.size(), 4u);
    EXPECT_EQ(RecordedKeys[0].VirtualKey, 0x57);
    EXPECT_EQ(RecordedKeys[0].Scan, 0x11);
    EXPECT_EQ(RecordedKeys[0].Flags, 0x0008u);
    EXPECT_EQ(RecordedKeys[0].Time, 0u);
    EXPECT_EQ(RecordedKeys[0].Size, static_cast<int>(sizeof(INPUT)));
    EXPECT_EQ(RecordedKeys[1].Flags, 0x000Au);
}

TEST_F(ButtonConverterTest, TwoButtonsSharingOneKey)
{
    MapKey(0, 0x11);
    MapKey(1, 0x11);
    // The key goes down with the first holder and up with the last.
    RunButtons("shared", {{1000, 0x80, 0, "+11"}, {1016, 0x80, 0x80, ""}, {1032, 0, 0x80, ""}, {1048, 0, 0, "-11"},
                          {1064, 0x80, 0x80, "+11"}, {1080, 0, 0, "-11"}});
}

TEST_F(ButtonConverterTest, StickAndButtonHoldingOneKey)
{
    MapKey(0, 0x20);  // D, the left stick's right key
    VirtualAxes[0] = 1000;
    ConvertLeftStick();
    EXPECT_EQ(Take(), "+20");
    RunButtons("button pressed and released while the stick holds D", {{1000, 0x80, 0, ""}, {1016, 0, 0, ""}});
    ConvertLeftStick();
    EXPECT_EQ(Take(), "");
    EXPECT_EQ(PressedKeyTable[0x20], 1);
    VirtualAxes[0] = 0;
    ConvertLeftStick();
    EXPECT_EQ(Take(), "-20");

    // Two holders again: one key-up lets go of both.
    VirtualAxes[0] = 1000;
    ConvertLeftStick();
    EXPECT_EQ(Take(), "+20");
    RunButtons("both hold D", {{1032, 0x80, 0, ""}});
    ReleaseAllHeld();
    EXPECT_EQ(Take(), "-20");
    EXPECT_EQ(PressedKeyTable[0x20], 0);
    EXPECT_EQ(LeftStick.RightHeld, 0);
    EXPECT_EQ(ButtonConverter.FirstActive[0], 0);
}

TEST_F(ButtonConverterTest, TwoKeyTapsAndHoldsAroundHalfASecond)
{
    struct Case {
        const char* Name;
        int SecondMouse;
        std::vector<ButtonFrame> Frames;
    };
    const Case cases[] = {
        {"300 ms tap", 1, {{1000, 0x80, 0, "+1E"}, {1300, 0x80, 0, ""}, {1316, 0, 0, "-1E"}}},
        {"release at exactly 500 ms", 1, {{1000, 0x80, 0, "+1E"}, {1500, 0x80, 0, ""}, {1501, 0, 0, "-1E"}}},
        {"switch just after 500 ms", 1,
         {{1000, 0x80, 0, "+1E"}, {1500, 0x80, 0, ""}, {1501, 0x80, 0, "-1E +L"}, {3000, 0x80, 0, ""},
          {3016, 0, 0, "-L"}}},
        {"no second input", 0, {{1000, 0x80, 0, "+1E"}, {1600, 0x80, 0, "-1E"}, {2000, 0x80, 0, ""}, {2016, 0, 0, ""},
                                {2032, 0x80, 0, "+1E"}}},
        {"across the counter's wrap", 1,
         {{0x7FFFFF00, 0x80, 0, "+1E"}, {0x7FFFFFFF, 0x80, 0, ""}, {0x000000F4, 0x80, 0, ""},
          {0x000000F5, 0x80, 0, "-1E +L"}, {0x00000100, 0, 0, "-L"}}},
    };
    for (const Case& c : cases) {
        SetUp();
        MapTwoKey(0, 0x1E, c.SecondMouse);
        RunButtons(c.Name, c.Frames);
    }
}

TEST_F(ButtonConverterTest, SwitchedToTwoKeyModeWhileHeldTheHalfSecondStartsThen)
{
    MapTwoKey(0, 0x1E, 1);
    Settings.Buttons.ButtonMode[0] = 0;
    RunButtons("normal", {{1000, 0x80, 0, "+1E"}, {3000, 0x80, 0, ""}});
    Settings.Buttons.ButtonMode[0] = 1;
    RunButtons("two-key", {{3016, 0x80, 0, ""}, {3500, 0x80, 0, ""}, {3501, 0x80, 0, "-1E +L"}, {3516, 0, 0, "-L"}});
}

TEST_F(ButtonConverterTest, UnassignedFirstInputDoesNothingInEitherMode)
{
    Settings.Buttons.SecondAssigned[0] = 1;
    Settings.Buttons.SecondKey[0] = 0x11;
    RunButtons("normal", {{1000, 0x80, 0, ""}, {3000, 0x80, 0, ""}, {3016, 0, 0, ""}});
    Settings.Buttons.ButtonMode[0] = 1;
    RunButtons("two-key", {{4000, 0x80, 0, ""}, {6000, 0x80, 0, ""}, {6016, 0, 0, ""}});
}

TEST_F(ButtonConverterTest, ReleaseGoesToTheInputThatWentDown)
{
    MapKey(0, 0x11);
    RunButtons("before", {{1000, 0x80, 0, "+11"}});
    Settings.Buttons.FirstKey[0] = 0x1E;  // captured anew while the button is held
    RunButtons("after", {{1016, 0x80, 0, ""}, {1032, 0, 0, "-11"}});
}

struct PovFrame {
    int32_t Pov;
    uint8_t Switch1, Switch2;  // the bytes of buttons 4 and 5
    const char* Expected;
};

void RunPov(const char* name, const std::vector<PovFrame>& frames)
{
    for (size_t i = 0; i < frames.size(); ++i) {
        Pad.POV[0] = frames[i].Pov;
        Pad.Buttons[4] = frames[i].Switch1;
        Pad.Buttons[5] = frames[i].Switch2;
        ConvertPov();
        EXPECT_EQ(ConverterTest::Take(), frames[i].Expected) << name << ", frame " << i << " at " << frames[i].Pov;
    }
}

void MapDirection(int set, int direction, int key)
{
    Settings.Pov.DirAssigned[set * 4 + direction] = 1;
    Settings.Pov.DirType[set * 4 + direction] = 0;
    Settings.Pov.DirKey[set * 4 + direction] = key;
}

using PovConverterTest = ConverterTest;

TEST_F(PovConverterTest, DirectionMasks)
{
    const struct {
        int32_t Pov;
        int Plain, Diagonal;
    } cases[] = {{0, 1, 1}, {4500, 0, 3}, {9000, 2, 2}, {13500, 0, 6}, {18000, 4, 4}, {22500, 0, 12},
                 {27000, 8, 8}, {31500, 0, 9}, {-1, 0, 0}, {1000, 0, 0}, {36000, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(PovDirectionMask(c.Pov, false), c.Plain) << c.Pov;
        EXPECT_EQ(PovDirectionMask(c.Pov, true), c.Diagonal) << c.Pov;
    }
}

TEST_F(PovConverterTest, DiagonalsOffAndOn)
{
    MapDirection(0, 0, 0xC8);
    MapDirection(0, 1, 0xCD);
    RunPov("off", {{4500, 0, 0, ""}, {0, 0, 0, "+C8"}, {4500, 0, 0, "-C8"}, {1000, 0, 0, ""}, {-1, 0, 0, ""}});
    Settings.Pov.DiagonalEnabled = 1;
    RunPov("on", {{0, 0, 0, "+C8"}, {4500, 0, 0, "+CD"}, {9000, 0, 0, "-C8"}, {-1, 0, 0, "-CD"}});
}

TEST_F(PovConverterTest, SwitchSetsTakeOverInTheSameFrame)
{
    MapDirection(0, 0, 0x11);  // set 0 up: W
    MapDirection(1, 0, 0x17);  // set 1 up: I
    MapDirection(2, 0, 0x24);  // set 2 up: J
    Settings.Pov.Switch1Enabled = 1;
    Settings.Pov.Switch1Button = 4;
    Settings.Pov.Switch2Enabled = 1;
    Settings.Pov.Switch2Button = 5;
    RunPov("switch 1", {{0, 0, 0, "+11"}, {0, 0x80, 0, "-11 +17"}, {0, 0, 0, "-17 +11"}, {-1, 0, 0, "-11"}});
    // Switch 2 first: set 2 stays while switch 1 joins, and switch 1 takes over in the pass that
    // lets go of switch 2, with no tap of set 0 between them.
    RunPov("switch 2 first", {{0, 0, 0x80, "+24"}, {0, 0x80, 0x80, ""}, {0, 0x80, 0, "-24 +17"},
                              {0, 0x80, 0, ""}, {0, 0, 0, "-17 +11"}, {-1, 0, 0, "-11"}});
    RunPov("switch 1 first", {{0, 0x80, 0, "+17"}, {0, 0x80, 0x80, ""}, {0, 0, 0x80, "-17 +24"},
                              {0, 0, 0, "-24 +11"}, {-1, 0, 0, "-11"}});
}

TEST_F(PovConverterTest, UnassignedDirectionAndMouseInputs)
{
    Settings.Pov.DirAssigned[2] = 1;  // set 0 down: right click
    Settings.Pov.DirType[2] = 1;
    Settings.Pov.DirMouse[2] = 3;
    RunPov("unassigned up", {{0, 0, 0, ""}, {-1, 0, 0, ""}});
    RunPov("mouse down", {{18000, 0, 0, "+R"}, {18000, 0, 0, ""}, {-1, 0, 0, "-R"}});
}

using ReleaseAllHeldTest = ConverterTest;

TEST_F(ReleaseAllHeldTest, NothingStaysDown)
{
    MapKey(0, 0x11);
    Settings.Buttons.FirstAssigned[1] = 1;
    Settings.Buttons.FirstType[1] = 1;
    Settings.Buttons.FirstMouse[1] = 1;
    MapDirection(0, 1, 0xCD);
    Settings.Stick.DashEnabled = 1;
    Settings.Stick.DashKey = 0x2A;
    Pad.Buttons[0] = Pad.Buttons[1] = 0x80;
    Pad.POV[0] = 9000;
    VirtualAxes[0] = -1000;
    ConvertLeftStick();
    ConvertButtons();
    ConvertPov();
    EXPECT_EQ(Take(), "+1E +2A +11 +L +CD");

    ReleaseAllHeld();
    EXPECT_EQ(Take(), "-11 -1E -2A -CD -L");
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(PressedKeyTable[code], 0) << code;
    }
    ReleaseAllHeld();
    EXPECT_EQ(Take(), "");

    // While the pad still holds them, the next pass presses them again; a release then follows.
    ConvertLeftStick();
    ConvertButtons();
    ConvertPov();
    EXPECT_EQ(Take(), "+1E +2A +11 +L +CD");
    Pad.Buttons[0] = Pad.Buttons[1] = 0;
    Pad.POV[0] = -1;
    VirtualAxes[0] = 0;
    ConvertLeftStick();
    ConvertButtons();
    ConvertPov();
    EXPECT_EQ(Take(), "-1E -2A -11 -L -CD");
}

}  // namespace
}  // namespace QelvarTest
