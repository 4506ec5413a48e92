// YUV-to-RGB layouts and known conversions, and the blend kinds against their per-pixel rules
// worked out here, compared exactly.
#include <cmath>

#include "GraphFilterFixture.h"

namespace GraphFilterTest {
namespace {

class GraphFilterYuvBlend : public GraphFilterFixture {};

int ToByte(int64_t sum) { return sum < 0 ? 0 : sum > 255 * 32768 ? 255 : (int)(sum >> 15); }

uint32_t YuvPixel(int y, int u, int v, int alpha)
{
    return Bgra(ToByte(y * 32768LL + 58064LL * (u - 128)), ToByte(y * 32768LL - 11272LL * (u - 128) - 23396LL * (v - 128)),
                ToByte(y * 32768LL + 45940LL * (v - 128)), alpha);
}

TEST_F(GraphFilterYuvBlend, YuvKnownValues)
{
    EXPECT_EQ(Bgra(255, 255, 255, 255), YuvPixel(255, 128, 128, 255));
    const int y = MakeGraph(3, 1, [](int x, int) { return Bgra(x == 0 ? 255 : x == 1 ? 128 : 76, 0, 0, 0); });
    const int uv = MakeGraph(3, 1, [](int x, int) { return x == 0 ? Bgra(128, 128, 0, 0) : x == 1 ? Bgra(255, 128, 0, 0) : Bgra(85, 255, 0, 0); });
    const int out = MakeSolid(3, 1, 0);
    ASSERT_EQ(0, FilterGraphToGraph(y, out, GraphFilter_KindYuvToRgbUv, uv));
    EXPECT_EQ(Bgra(255, 255, 255, 255), Pixel(out, 0, 0));
    EXPECT_EQ(Bgra(255, 84, 128, 255), Pixel(out, 1, 0));
    EXPECT_EQ(Bgra(0, 0, 254, 255), Pixel(out, 2, 0));
}

TEST_F(GraphFilterYuvBlend, YuvLayouts)
{
    struct Case { int uvw, uvh, bw, bh; };
    // Source 8 x 6 except the odd case, whose last column and row stay unconverted.
    const Case cases[] = {{8, 6, 1, 1}, {4, 3, 2, 2}, {4, 6, 2, 1}, {8, 3, 1, 2}, {2, 6, 4, 1}};
    for (const Case& c : cases) {
        const int y = MakeGraph(8, 6, Varied);
        const int uv = MakeGraph(c.uvw, c.uvh, [](int x, int yy) { return Varied(yy + 5, x + 3); });
        const int out = MakeSolid(8, 6, 0x77777777);
        ASSERT_EQ(0, FilterGraphToGraph(y, out, GraphFilter_KindYuvToRgbUv, uv));
        for (int py = 0; py < 6; py++)
            for (int px = 0; px < 8; px++) {
                const uint32_t u = Varied(py / c.bh + 5, px / c.bw + 3);
                ASSERT_EQ(YuvPixel(Byte(Varied(px, py), 0), Byte(u, 0), Byte(u, 1), 255), Pixel(out, px, py)) << c.bw << c.bh;
            }
    }
    // 2 x 2 blocks over an odd size: the last column and row get no old memory, only clear pixels.
    const int odd = MakeGraph(5, 3, Varied);
    const int uvOdd = MakeGraph(2, 1, [](int, int) { return Bgra(128, 128, 0, 0); });
    const int out = MakeSolid(5, 3, 0x77777777);
    ASSERT_EQ(0, FilterGraphToGraph(odd, out, GraphFilter_KindYuvToRgbUv, uvOdd));
    EXPECT_EQ(YuvPixel(Byte(Varied(3, 1), 0), 128, 128, 255), Pixel(out, 3, 1));
    EXPECT_EQ(0u, Pixel(out, 4, 0));
    EXPECT_EQ(0u, Pixel(out, 0, 2));
    // A quarter width and half height passes the size check but matches no layout.
    const int uvQuarter = MakeGraph(2, 3, Varied);
    const int eight = MakeGraph(8, 6, Varied);
    const int out2 = MakeSolid(8, 6, 0x77777777);
    ASSERT_EQ(0, FilterGraphToGraph(eight, out2, GraphFilter_KindYuvToRgbUv, uvQuarter));
    EXPECT_EQ(0u, Pixel(out2, 0, 0));
}

TEST_F(GraphFilterYuvBlend, YuvAlphaInTheRightHalf)
{
    const int y = MakeGraph(8, 4, Varied);
    const int uv = MakeGraph(4, 2, [](int x, int yy) { return Varied(x + 9, yy); });
    const int out = MakeSolid(8, 4, 0);
    ASSERT_EQ(0, FilterGraphRectToGraph(y, out, 0, 0, 4, 4, 0, 0, GraphFilter_KindYuvToRgbUvRra, uv));
    for (int py = 0; py < 4; py++)
        for (int px = 0; px < 4; px++) {
            const uint32_t u = Varied(px / 2 + 9, py / 2), ua = Varied(px / 2 + 2 + 9, py / 2);
            const int alpha = ToByte(Byte(Varied(px + 4, py), 0) * 32768LL + 45940LL * (Byte(ua, 1) - 128));
            ASSERT_EQ(YuvPixel(Byte(Varied(px, py), 0), Byte(u, 0), Byte(u, 1), alpha), Pixel(out, px, py));
        }
    EXPECT_EQ(-1, FilterGraphRectToGraph(y, out, 1, 0, 5, 4, 0, 0, GraphFilter_KindYuvToRgbUvRra, uv));
    EXPECT_EQ(-1, FilterGraphToGraph(y, out, GraphFilter_KindYuvToRgb));
    EXPECT_EQ(-1, FilterGraphRectToGraph(y, out, 0, 0, 4, 4, 0, 0, GraphFilter_KindYuvToRgbRra));
    const int third = MakeGraph(3, 4, Varied);
    EXPECT_EQ(-1, FilterGraphToGraph(y, out, GraphFilter_KindYuvToRgbUv, third));
    EXPECT_EQ(-1, FilterGraphToGraph(y, out, GraphFilter_KindYuvToRgbUv, 9999));
}

// The blend form through the dispatcher: source and blend graph the same size, ratio given.
int Blend(int source, int blend, int destination, int kind, int ratio, int r = 0, int g = 0, int b = 0, int a = 0)
{
    return GraphFilter_Execute(1, source, blend, destination, ratio, kind, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, r, g, b, a);
}

int Operation(int kind, int s, int b)
{
    int x = 0;
    switch (kind) {
    case GraphBlend_Normal: return b;
    case GraphBlend_Multiple: return b * s / 256;
    case GraphBlend_Difference: return std::max(s - b, 0);
    case GraphBlend_Add: return std::min(s + b, 255);
    case GraphBlend_Screen: return 255 - (255 - b) * (255 - s) / 256;
    case GraphBlend_Overlay: x = s < 128 ? 2 * b * s / 256 : ((256 - b) * s + 256 * b) * 2 / 256 - 255; return std::min(x, 255);
    case GraphBlend_Dodge: return b == 255 ? 255 : std::min(s * 256 / (255 - b), 255);
    case GraphBlend_Burn: return std::max((s - 255) * 256 / (b + 1) + 255, 0);
    case GraphBlend_Darken: return std::min(s, b);
    case GraphBlend_Lighten: return std::max(s, b);
    case GraphBlend_SoftLight: {
        const float e = b < 128 ? 2.0f * (1.0f - b / 255.0f) : 0.5f / (b / 255.0f);
        return std::min(std::max((int)(std::pow(s / 255.0f, e) * 255.0f), 0), 255);
    }
    case GraphBlend_HardLight: x = b < 128 ? 2 * s * b / 256 : ((256 - b) * s + 256 * b) * 2 / 256 - 255; return std::min(x, 255);
    case GraphBlend_Exclusion: return std::min(((128 - b) * s + 128 * b) * 2 / 256, 255);
    }
    return -1;
}

TEST_F(GraphFilterYuvBlend, BlendKindsMatchTheirRules)
{
    const int source = MakeGraph(8, 8, Varied);
    const int blend = MakeGraph(8, 8, [](int x, int y) { return Varied(y + 3, x + 1); });
    const int out = MakeSolid(8, 8, 0);
    for (int ratio : {255, 100}) {
        const int r = (int)(ratio / 255.0f * 256.0f);
        for (int kind = 0; kind <= 35; kind++) {
            if (kind == GraphBlend_RgbaMix || kind == GraphBlend_RgbaMixPma) continue;
            const int pma = kind >= 17 && kind != 34;
            const int straight = kind == 17 ? 0 : kind == 35 ? 34 : kind >= 19 && kind <= 33 ? kind - 17 : kind;
            ASSERT_EQ(0, Blend(source, blend, out, kind, ratio)) << kind;
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    const uint32_t sp = Varied(x, y), bp = Varied(y + 3, x + 1);
                    const int sa = Byte(sp, 3), ba = Byte(bp, 3);
                    int s[3], b[3], o[4];
                    for (int c = 0; c < 3; c++) {
                        s[c] = pma ? AlphaDivTable[Byte(sp, c)][sa] : Byte(sp, c);
                        b[c] = pma ? AlphaDivTable[Byte(bp, c)][ba] : Byte(bp, c);
                    }
                    const int t = ba * r;
                    const int a = ba * r / 256;
                    if (straight == 14) {
                        const int64_t d = (int64_t)sa * (256 - a) + a * 256;
                        if (d == 0) {
                            ASSERT_EQ(0u, Pixel(out, x, y));
                            continue;
                        }
                        o[3] = (int)(d / 256);
                        for (int c = 0; c < 3; c++) o[c] = (int)(((int64_t)s[c] * sa * (256 - a) + (int64_t)b[c] * a * 256) / d);
                    } else if (straight == 15) {
                        const int d = (sa * (256 - a) + a * 256) / 256;
                        if (d == 0) {
                            ASSERT_EQ(0u, Pixel(out, x, y));
                            continue;
                        }
                        o[3] = d;
                        for (int c = 0; c < 3; c++) o[c] = std::min((b[c] * a + s[c] * sa) / d, 255);
                    } else if (straight == 16) {
                        o[3] = (int)std::floor((sa * 65536.0 + ((ba * sa / 256) - sa) * (double)r * 255) / 65536);
                        for (int c = 0; c < 3; c++) o[c] = s[c];
                    } else if (straight == 34) {
                        o[3] = sa;
                        for (int c = 0; c < 3; c++) {
                            const int m = (int)std::floor(((b[c] - s[c]) * ba + s[c] * 256) / 256.0) & 255;
                            o[c] = (int)std::floor(((m - s[c]) * r + s[c] * 256) / 256.0);
                        }
                    } else {
                        o[3] = sa;
                        for (int c = 0; c < 3; c++)
                            o[c] = (int)std::floor((s[c] * 65536.0 + (Operation(straight, s[c], b[c]) - s[c]) * (double)t) / 65536);
                    }
                    if (pma)
                        for (int c = 0; c < 3; c++) o[c] = AlphaMulTable[o[c]][o[3]];
                    ASSERT_EQ(Bgra(o[0], o[1], o[2], o[3]), Pixel(out, x, y)) << "kind " << kind << " ratio " << ratio << " at " << x << "," << y;
                }
        }
    }
}

TEST_F(GraphFilterYuvBlend, BlendEdgesAndChannelMix)
{
    const int black = MakeSolid(8, 8, Bgra(0, 0, 0, 255));
    const int white = MakeSolid(8, 8, Bgra(255, 255, 255, 255));
    const int out = MakeSolid(8, 8, 0);
    ASSERT_EQ(0, Blend(black, white, out, GraphBlend_Normal, 255));
    EXPECT_EQ(Bgra(254, 254, 254, 255), Pixel(out, 0, 0));
    ASSERT_EQ(0, Blend(black, black, out, GraphBlend_Screen, 255));
    EXPECT_EQ(Bgra(0, 0, 0, 255), Pixel(out, 0, 0));
    const int picture = MakeGraph(8, 8, Varied);
    ASSERT_EQ(0, Blend(picture, white, out, GraphBlend_Multiple, 0));
    EXPECT_EQ(Varied(4, 4), Pixel(out, 4, 4));
    // Two fully transparent pixels composite to nothing: the clear work image, not old memory.
    const int clear = MakeSolid(8, 8, 0);
    const int target = MakeSolid(8, 8, 0x55555555);
    ASSERT_EQ(0, Blend(clear, clear, target, GraphBlend_NormalAlphaCh, 255));
    EXPECT_EQ(0u, Pixel(target, 0, 0));
    // Selectors 2, 1, 0, 3 swap red and blue; 4 to 7 read the blend graph; others write nothing.
    ASSERT_EQ(0, Blend(picture, white, out, GraphBlend_RgbaMix, 255, 2, 1, 0, 3));
    const uint32_t p = Varied(2, 5);
    EXPECT_EQ(Bgra(Byte(p, 2), Byte(p, 1), Byte(p, 0), Byte(p, 3)), Pixel(out, 2, 5));
    ASSERT_EQ(0, Blend(picture, black, out, GraphBlend_RgbaMixPma, 255, 4, 5, 99, -1));
    EXPECT_EQ(Bgra(0, 0, 0, 0), Pixel(out, 2, 5));
    // Refused: a dead blend graph or a kind above 35.
    EXPECT_EQ(-1, Blend(picture, 4242, out, GraphBlend_Normal, 255));
    EXPECT_EQ(-1, Blend(picture, white, out, 36, 255));
    EXPECT_EQ(-1, Blend(picture, white, out, -1, 255));
    EXPECT_EQ(0, Blend(picture, white, out, GraphBlend_Normal, 100000));
}

}  // namespace
}  // namespace GraphFilterTest
