// Tone filters on the software road: levels against the rule worked out here, HSB and the
// lightness stretch at the values whose results are known, and the ranges that once divided by 0.
#include <cmath>

#include "GraphFilterFixture.h"

namespace GraphFilterTest {
namespace {

class GraphFilterTone : public GraphFilterFixture {};

// Level of one channel with integer public parameters (already within 0..255, min <= max).
int LevelChannel(int c, int inMin, int inMax, int gammaPercent, int outMin, int outMax)
{
    const float gamma = gammaPercent / 100.0f;
    auto table = [&](int i) {
        const float v = (float)std::pow((double)((float)i / 255.0f), (double)(1.0f / gamma)) * 255.0f;
        return v > 255.0f ? 255 : (int)v;
    };
    const int range = inMax - inMin;
    int v;
    if (range == 0) {
        v = c > inMin ? table(255) : table(0);
    } else {
        const int index = ((c - inMin) * 256) / range;
        v = index < 0 ? table(0) : index > 255 ? table(255) : table(index);
    }
    return ((v * (outMax - outMin) + (outMin << 8)) >> 8) & 255;
}

TEST_F(GraphFilterTone, LevelMatchesItsRule)
{
    struct Case { int inMin, inMax, gamma, outMin, outMax; };
    const Case cases[] = {{10, 200, 150, 20, 240}, {0, 255, 100, 0, 255}, {50, 60, 40, 255, 255}, {0, 255, 300, 100, 101}};
    const int source = MakeGraph(16, 16, Varied);
    const int out = MakeSolid(16, 16, 0);
    for (const Case& c : cases) {
        ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLevel, c.inMin, c.inMax, c.gamma, c.outMin, c.outMax));
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) {
                const uint32_t p = Varied(x, y);
                const uint32_t expected =
                    Bgra(LevelChannel(Byte(p, 0), c.inMin, c.inMax, c.gamma, c.outMin, c.outMax),
                         LevelChannel(Byte(p, 1), c.inMin, c.inMax, c.gamma, c.outMin, c.outMax),
                         LevelChannel(Byte(p, 2), c.inMin, c.inMax, c.gamma, c.outMin, c.outMax), Byte(p, 3));
                ASSERT_EQ(expected, Pixel(out, x, y)) << c.inMin << " " << x << "," << y;
            }
    }
    // The identity settings lower every channel above 0 by one.
    const int ramp = MakeGraph(4, 1, [](int x, int) { return Bgra(x == 3 ? 255 : x, 1, 0, 255); });
    ASSERT_EQ(0, FilterGraphToGraph(ramp, out, GraphFilter_KindLevel, 0, 255, 100, 0, 255));
    EXPECT_EQ(Bgra(254, 0, 0, 255), Pixel(out, 3, 0));
    EXPECT_EQ(Bgra(0, 0, 0, 255), Pixel(out, 1, 0));
}

TEST_F(GraphFilterTone, LevelEmptyRangesAreStepsNotFaults)
{
    const int source = MakeGraph(8, 8, [](int x, int y) { return Bgra(x * 30, y * 30, 100, 200); });
    const int out = MakeSolid(8, 8, 0);
    // Input min above max: both become 100, a step at 100 into the output range.
    ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLevel, 200, 100, 100, 0, 255));
    EXPECT_EQ(Bgra(0, 0, 0, 200), Pixel(out, 0, 0));
    EXPECT_EQ(Bgra(254, 254, 0, 200), Pixel(out, 4, 4));
    // Output min above max: 0 everywhere.
    ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLevel, 0, 255, 100, 255, 0));
    EXPECT_EQ(Bgra(0, 0, 0, 200), Pixel(out, 7, 7));
    // Gamma 0 or negative is floored, parameters far out of range clamp.
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLevel, -500, 9000, -5, -1, 100000));
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLevelPma, 0, 0, 0, 0, 0));
}

TEST_F(GraphFilterTone, HsbKnownValues)
{
    const int source = MakeGraph(3, 1, [](int x, int) { return x == 0 ? Bgra(255, 255, 255, 255) : x == 1 ? Bgra(0, 0, 0, 9) : Bgra(128, 128, 128, 77); });
    const int out = MakeSolid(3, 1, 0);
    ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindHsb, 0, 0, 0, 0));
    EXPECT_EQ(Bgra(254, 254, 254, 255), Pixel(out, 0, 0));
    EXPECT_EQ(Bgra(0, 0, 0, 9), Pixel(out, 1, 0));
    EXPECT_EQ(Bgra(128, 128, 128, 77), Pixel(out, 2, 0));

    // Type 1 with hue 360 is hue 0; saturation -255 leaves grey of each pixel's lightness.
    const int picture = MakeGraph(8, 8, Varied);
    const int a = MakeSolid(8, 8, 0), b = MakeSolid(8, 8, 0);
    ASSERT_EQ(0, FilterGraphToGraph(picture, a, GraphFilter_KindHsb, 1, 360, 40, 0));
    ASSERT_EQ(0, FilterGraphToGraph(picture, b, GraphFilter_KindHsb, 1, 0, 40, 0));
    ASSERT_EQ(0, memcmp(Image(a).pixels, Image(b).pixels, 8 * 8 * 4));
    ASSERT_EQ(0, FilterGraphToGraph(picture, a, GraphFilter_KindHsb, 0, 0, -255, 0));
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            const uint32_t p = Varied(x, y);
            const int mx = std::max({Byte(p, 0), Byte(p, 1), Byte(p, 2)}), mn = std::min({Byte(p, 0), Byte(p, 1), Byte(p, 2)});
            const int l = (mx + mn) >> 1;
            const int grey = l <= 128 ? (2 * l * 128) >> 8 : 128 + ((127 * (l - 128) * 2) >> 8);
            ASSERT_EQ(Bgra(grey, grey, grey, Byte(p, 3)), Pixel(a, x, y));
        }
    // Brightness far beyond full scale is held to full scale: white everywhere, no fault.
    ASSERT_EQ(0, FilterGraphToGraph(picture, a, GraphFilter_KindHsb, 0, 0, 0, 100000));
    ASSERT_EQ(0, FilterGraphToGraph(picture, b, GraphFilter_KindHsb, 0, 0, 0, 255));
    ASSERT_EQ(0, memcmp(Image(a).pixels, Image(b).pixels, 8 * 8 * 4));
    EXPECT_EQ(0, FilterGraphToGraph(picture, a, GraphFilter_KindHsbPma, 7, -100000, 100000, -100000));
}

TEST_F(GraphFilterTone, BrightScaleKnownValues)
{
    const int source = MakeGraph(2, 1, [](int x, int) { return x == 0 ? Bgra(0, 255, 255, 255) : Bgra(0, 0, 0, 255); });
    const int out = MakeSolid(2, 1, 0);
    ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindBrightScale, 0, 252));
    EXPECT_EQ(Bgra(0, 255, 255, 255), Pixel(out, 0, 0));
    EXPECT_EQ(Bgra(0, 0, 0, 255), Pixel(out, 1, 0));
    // Equal, reversed and far out-of-range bounds run without fault.
    const int picture = MakeGraph(6, 6, Varied);
    EXPECT_EQ(0, FilterGraphToGraph(picture, out, GraphFilter_KindBrightScale, 100, 100));
    EXPECT_EQ(0, FilterGraphToGraph(picture, out, GraphFilter_KindBrightScale, 254, 255));
    EXPECT_EQ(0, FilterGraphToGraph(picture, out, GraphFilter_KindBrightScalePma, 300, -300));
    EXPECT_EQ(0, FilterGraphToGraph(picture, out, GraphFilter_KindBrightScale, -100000, 100000));
}

}  // namespace
}  // namespace GraphFilterTest
