// The stick converters: the left stick's inclusive thresholds, diagonals, dash distance and key
// sets; the right stick's mouse units per frame through every step of its chain.
#include "ConverterTestSupport.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

struct LeftStep {
    int32_t H, V;
    const char* Expected;
};

void RunLeft(const std::vector<LeftStep>& steps)
{
    for (size_t i = 0; i < steps.size(); ++i) {
        VirtualAxes[0] = steps[i].H;
        VirtualAxes[1] = steps[i].V;
        ConvertLeftStick();
        EXPECT_EQ(ConverterTest::Take(), steps[i].Expected) << "step " << i << " at (" << steps[i].H << ", "
                                                            << steps[i].V << ")";
    }
}

using LeftStickTest = ConverterTest;

TEST_F(LeftStickTest, ThresholdsAreInclusiveOnBothSides)
{
    // T = 500: D down at 500, up at 499; A down at -500, up at -499; nothing at 700 or 0.
    RunLeft({{0, 0, ""}, {499, 0, ""}, {500, 0, "+20"}, {700, 0, ""}, {499, 0, "-20"}, {0, 0, ""},
             {-500, 0, "+1E"}, {-499, 0, "-1E"}, {-600, 0, "+1E"}, {0, 0, "-1E"},
             {0, -500, "+11"}, {0, -499, "-11"}, {0, 500, "+1F"}, {0, 0, "-1F"}});
}

TEST_F(LeftStickTest, DiagonalHoldsTwoKeysAndZeroReleasesBoth)
{
    RunLeft({{600, -600, "+20 +11"}, {600, -600, ""}, {0, 0, "-20 -11"},
             {-600, 600, "+1E +1F"}, {-600, 0, "-1F"}, {600, 0, "+20 -1E"}});
}

TEST_F(LeftStickTest, DashGoesDownAtItsDistance)
{
    Settings.Stick.DashEnabled = 1;
    Settings.Stick.DashKey = 0x2A;
    Settings.Stick.DashDistance = 900;
    EXPECT_EQ(StickDistance(640, 640), 905);
    EXPECT_EQ(StickDistance(636, 636), 899);
    RunLeft({{640, 640, "+20 +1F +2A"}, {636, 636, "-2A"}, {0, 900, "-20 +2A"}, {0, 899, "-2A"},
             {-1000, 0, "+1E -1F +2A"}});
}

TEST_F(LeftStickTest, ArrowKeysCarryTheExtendedFlag)
{
    Settings.Stick.MoveKeyMode = 1;
    RunLeft({{600, -600, "+CD +C8"}, {0, 0, "-CD -C8"}});
    ASSERT_EQ(RecordedKeys.size(), 4u);
    EXPECT_EQ(RecordedKeys[0].Flags, 0x0009u);
    EXPECT_EQ(RecordedKeys[0].VirtualKey, 0x27);
    EXPECT_EQ(RecordedKeys[1].VirtualKey, 0x26);
    EXPECT_EQ(RecordedKeys[2].Flags, 0x000Bu);
}

TEST_F(LeftStickTest, KeySetChangeReleasesUnderTheCodePressed)
{
    RunLeft({{600, 0, "+20"}});
    Settings.Stick.MoveKeyMode = 1;
    RunLeft({{600, 0, "-20 +CD"}, {0, 0, "-CD"}});
    EXPECT_EQ(PressedKeyTable[0x20], 0);
}

TEST_F(LeftStickTest, DashOffOrChangedWhileHeldReleasesIt)
{
    Settings.Stick.DashEnabled = 1;
    Settings.Stick.DashKey = 0x2A;
    RunLeft({{0, 950, "+1F +2A"}});
    Settings.Stick.DashKey = 0x36;
    RunLeft({{0, 950, "-2A +36"}});
    Settings.Stick.DashEnabled = 0;
    RunLeft({{0, 950, "-36"}, {0, 0, "-1F"}});
}

TEST_F(LeftStickTest, DisabledOrNoPadDoesNothing)
{
    Settings.Stick.DashEnabled = 1;
    Settings.Stick.DashKey = 0x2A;
    RunLeft({{1000, -1000, "+20 +11 +2A"}});
    Settings.Stick.LeftStickEnabled = 0;  // switched off while held: everything goes up once
    RunLeft({{1000, -1000, "-20 -11 -2A"}, {1000, 0, ""}});
    Settings.Stick.LeftStickEnabled = 1;
    PadCount = 0;
    RunLeft({{1000, 0, ""}});
}

struct RightCase {
    const char* Name;
    void (*Setup)();
    int32_t H, V;
    std::vector<const char*> Frames;  // the move sent in each frame, "" for none
};

void NoChange() {}

const RightCase RightCases[] = {
    {"full right", NoChange, 1000, 0, {"m15,0"}},
    {"half right", NoChange, 500, 0, {"m5,0"}},
    {"just below quick", NoChange, 979, 0, {"m9,0"}},
    {"at quick", NoChange, 980, 0, {"m14,0"}},
    {"full up: single-precision angle", NoChange, 0, -1000, {"m0,-14"}},
    {"full left: single-precision angle", NoChange, -1000, 0, {"m-14,0"}},
    {"beyond the radius", NoChange, 1000, 1000, {"m10,10"}},
    {"small move is still sent", NoChange, 30, 0, {"m0,0"}},
    {"centre is still sent", NoChange, 0, 0, {"m0,0"}},
    {"dead zone edge", [] { Settings.Stick.DeadZoneEnabled = 1; }, 50, 0, {""}},
    {"dead zone just out", [] { Settings.Stick.DeadZoneEnabled = 1; }, 51, 0, {"m0,0"}},
    {"dead zone 149", [] { Settings.Stick.DeadZoneEnabled = 1; }, 149, 0, {"m0,0"}},
    {"dead zone 150", [] { Settings.Stick.DeadZoneEnabled = 1; }, 150, 0, {"m1,0"}},
    {"dead zone full", [] { Settings.Stick.DeadZoneEnabled = 1; }, 1000, 0, {"m14,0"}},
    {"acceleration ramps", [] { Settings.Stick.AccelEnabled = 1; }, 1000, 0, {"m15,0", "m16,0", "m17,0"}},
    {"smoothing ramps", [] { Settings.Stick.SmoothEnabled = 1; }, 1000, 0,
     {"m1,0", "m3,0", "m4,0", "m6,0", "m7,0", "m9,0", "m10,0", "m12,0", "m13,0", "m15,0", "m15,0"}},
    {"slow mode held",
     [] {
         Settings.Stick.SlowModeEnabled = 1;
         Settings.Stick.SlowButton = 5;
         Pad.Buttons[5] = 0x80;
     },
     1000, 0, {"m1,0"}},
    {"slow mode not held", [] { Settings.Stick.SlowModeEnabled = 1; Settings.Stick.SlowButton = 5; }, 1000, 0,
     {"m15,0"}},
    {"normal speed full", [] { Settings.Stick.SpeedType = 0; }, 1000, 0, {"m10,0"}},
    {"normal speed half", [] { Settings.Stick.SpeedType = 0; }, 500, 0, {"m5,0"}},
    {"unknown speed type", [] { Settings.Stick.SpeedType = 7; }, 1000, 0, {"m100,0"}},
    {"cursor speed 100", [] { Settings.Stick.CursorSpeed = 100; }, 1000, 0, {"m150,0"}},
    {"disabled", [] { Settings.Stick.RightStickEnabled = 0; }, 1000, 0, {""}},
    {"no pad", [] { PadCount = 0; }, 1000, 0, {""}},
};

using RightStickTest = ConverterTest;

TEST_F(RightStickTest, MouseUnitsPerFrame)
{
    for (const RightCase& c : RightCases) {
        SetUp();
        c.Setup();
        VirtualAxes[2] = c.H;
        VirtualAxes[3] = c.V;
        for (size_t frame = 0; frame < c.Frames.size(); ++frame) {
            ConvertRightStick();
            EXPECT_EQ(Take(), c.Frames[frame]) << c.Name << ", frame " << frame + 1;
        }
    }
}

TEST_F(RightStickTest, RampsFallWhileTheStickRests)
{
    Settings.Stick.AccelEnabled = 1;
    Settings.Stick.SmoothEnabled = 1;
    VirtualAxes[2] = 1000;
    for (int frame = 0; frame < 3; ++frame) {
        ConvertRightStick();
    }
    EXPECT_EQ(RightStick.AccelRamp, 15);
    EXPECT_EQ(RightStick.SmoothRamp, 30);
    Take();

    // Below 980 the acceleration falls by 5; a zero movement lets the smoothing fall by 10.
    VirtualAxes[2] = 0;
    ConvertRightStick();
    EXPECT_EQ(RightStick.AccelRamp, 10);
    EXPECT_EQ(RightStick.SmoothRamp, 20);
    EXPECT_EQ(Take(), "m0,0");

    // Inside the dead zone no move is sent, and both ramps still fall.
    Settings.Stick.DeadZoneEnabled = 1;
    ConvertRightStick();
    EXPECT_EQ(RightStick.AccelRamp, 5);
    EXPECT_EQ(RightStick.SmoothRamp, 10);
    EXPECT_EQ(Take(), "");
}

}  // namespace
}  // namespace QelvarTest
