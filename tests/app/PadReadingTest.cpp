// Pad reading: XInput states rescaled into the DirectInput layout with the hat built from the
// d-pad, the virtual axes taken by the AxisMap, and the release of held inputs when no pad is left.
#include "ConverterTestSupport.h"

#include "system/VtInput.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

Vantrel::PadXInputState XInput(int16_t lx, int16_t ly, int16_t rx, int16_t ry, uint8_t lt = 0, uint8_t rt = 0)
{
    Vantrel::PadXInputState raw = {};
    raw.ThumbLX = lx;
    raw.ThumbLY = ly;
    raw.ThumbRX = rx;
    raw.ThumbRY = ry;
    raw.LeftTrigger = lt;
    raw.RightTrigger = rt;
    return raw;
}

using PadReadingTest = ConverterTest;

TEST_F(PadReadingTest, XInputThumbsAndTriggers)
{
    const struct {
        int16_t Lx, Ly, Rx, Ry;
        int32_t X, Y, Z, Rz;
    } cases[] = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {0, -1, 0, -1, 0, 0, 0, 0},  // the resting -1 of the vertical thumbs reads 0
        {32767, 32767, 32767, 32767, 1000, -1000, 1000, -1000},
        {-32768, -32768, -32768, -32768, -1000, 1000, -1000, 1000},
        {16384, -16384, -16384, 16384, 500, 500, -500, -500},
        {3276, 3274, -3277, -3278, 100, -99, -100, 100},
    };
    for (const auto& c : cases) {
        PadReading_FromXInput(XInput(c.Lx, c.Ly, c.Rx, c.Ry), &Pad);
        EXPECT_EQ(Pad.X, c.X) << c.Lx;
        EXPECT_EQ(Pad.Y, c.Y) << c.Ly;
        EXPECT_EQ(Pad.Z, c.Z) << c.Rx;
        EXPECT_EQ(Pad.Rz, c.Rz) << c.Ry;
    }

    Pad.Slider[0] = 77;
    Pad.Buttons[25] = 0x80;
    Vantrel::PadXInputState raw = XInput(0, 0, 0, 0, 200, 1);
    raw.Buttons[4] = 1;
    raw.Buttons[12] = 1;
    PadReading_FromXInput(raw, &Pad);
    EXPECT_EQ(Pad.Rx, 200);
    EXPECT_EQ(Pad.Ry, 1);
    EXPECT_EQ(Pad.Buttons[4], 0x80);
    EXPECT_EQ(Pad.Buttons[12], 0x80);
    EXPECT_EQ(Pad.Buttons[5], 0);
    EXPECT_EQ(Pad.Buttons[16], 0);
    EXPECT_EQ(Pad.Buttons[18], 0x80);
    EXPECT_EQ(Pad.Buttons[19], 0x80);
    EXPECT_EQ(Pad.Slider[0], 77);       // not written on the XInput path
    EXPECT_EQ(Pad.Buttons[25], 0x80);
}

TEST_F(PadReadingTest, XInputDpadBecomesTheHat)
{
    const struct {
        bool Up, Down, Left, Right;
        int32_t Pov;
    } cases[] = {
        {false, false, false, false, -1}, {true, false, false, false, 0}, {true, false, false, true, 4500},
        {false, false, false, true, 9000}, {false, true, false, true, 13500}, {false, true, false, false, 18000},
        {false, true, true, false, 22500}, {false, false, true, false, 27000}, {true, false, true, false, 31500},
        {true, true, true, false, 27000},
        // Up and down together: the down test comes first, as the order of the tests says.
        {true, true, false, false, 18000},
    };
    for (const auto& c : cases) {
        Vantrel::PadXInputState raw = {};
        raw.Buttons[0] = c.Up;
        raw.Buttons[1] = c.Down;
        raw.Buttons[2] = c.Left;
        raw.Buttons[3] = c.Right;
        PadReading_FromXInput(raw, &Pad);
        EXPECT_EQ(Pad.POV[0], c.Pov) << c.Up << c.Down << c.Left << c.Right;
    }
}

TEST_F(PadReadingTest, VirtualAxesFollowTheAxisMap)
{
    Pad.X = 10, Pad.Y = 20, Pad.Z = 30, Pad.Rx = 40, Pad.Ry = 50, Pad.Rz = 60;
    UpdateVirtualAxes();
    EXPECT_EQ(VirtualAxes[0], 10);
    EXPECT_EQ(VirtualAxes[1], 20);
    EXPECT_EQ(VirtualAxes[2], 30);
    EXPECT_EQ(VirtualAxes[3], 60);

    AxisSource& axis = Settings.Stick.AxisMap[1];
    axis.Source[5] = 1;  // Y and Rz: the last wins
    UpdateVirtualAxes();
    EXPECT_EQ(VirtualAxes[1], 60);
    axis.Reverse = 1;
    UpdateVirtualAxes();
    EXPECT_EQ(VirtualAxes[1], -60);
    memset(axis.Source, 0, sizeof(axis.Source));  // none set: the value stays
    Pad.Rz = 0;
    UpdateVirtualAxes();
    EXPECT_EQ(VirtualAxes[1], -60);
}

}  // namespace
}  // namespace QelvarTest
