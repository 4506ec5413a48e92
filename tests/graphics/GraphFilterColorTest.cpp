// Colour filters on the software road: every kind against its per-pixel rule worked out here, on
// small varied pictures, compared exactly.
#include "GraphFilterFixture.h"

namespace GraphFilterTest {
namespace {

int Lum(int b, int g, int r) { return g * 2404 + r * 1224 + b * 466; }
int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

struct ColorCase {
    const char* name;
    std::function<int(int source, int destination)> run;
    std::function<uint32_t(uint32_t source, uint32_t destination)> expect;
};

class GraphFilterColor : public GraphFilterFixture {
protected:
    void Check(const ColorCase& c, int width, int height)
    {
        SCOPED_TRACE(c.name);
        const int source = MakeGraph(width, height, Varied);
        const int destination = MakeSolid(width, height, Bgra(9, 8, 7, 6));
        ASSERT_EQ(0, c.run(source, destination));
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                ASSERT_EQ(c.expect(Varied(x, y), Bgra(9, 8, 7, 6)), Pixel(destination, x, y)) << x << "," << y;
    }
};

uint32_t Straight(uint32_t p, int* b, int* g, int* r, int pma)
{
    const int a = Byte(p, 3);
    *b = pma ? AlphaDivTable[Byte(p, 0)][a] : Byte(p, 0);
    *g = pma ? AlphaDivTable[Byte(p, 1)][a] : Byte(p, 1);
    *r = pma ? AlphaDivTable[Byte(p, 2)][a] : Byte(p, 2);
    return p;
}

TEST_F(GraphFilterColor, EveryKindMatchesItsRule)
{
    const float cb = 60 * 100 / 255.0f / 200.0f, cr = -90 * 100 / 255.0f / 200.0f;
    const int oR = (int)(cr * 1.402f * 255.0f * 4096.0f);
    const int oG = (int)((cb * 0.34414f - cr * 0.71414f) * 255.0f * 4096.0f);
    const int oB = (int)(cb * 1.772f * 255.0f * 4096.0f);
    const unsigned code1 = MakeColorCode(10, 20, 30), code2 = MakeColorCode(230, 240, 250), fill = MakeColorCode(0x10, 0x20, 0x30);
    const uint32_t color1 = CodePixel(code1, 200), color2 = CodePixel(code2, 100);
    const ColorCase cases[] = {
        {"Mono", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindMono, 60, -90); },
         [=](uint32_t p, uint32_t) {
             const int y = Lum(Byte(p, 0), Byte(p, 1), Byte(p, 2));
             return Bgra(Clamp255((y + oB) >> 12), Clamp255((y + oG) >> 12), Clamp255((y + oR) >> 12), Byte(p, 3));
         }},
        {"Invert", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindInvert); },
         [](uint32_t p, uint32_t) { return Bgra(255 - Byte(p, 0), 255 - Byte(p, 1), 255 - Byte(p, 2), Byte(p, 3)); }},
        {"InvertPma", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindInvertPma); },
         [](uint32_t p, uint32_t) {
             const int a = Byte(p, 3);
             int c[3];
             for (int i = 0; i < 3; i++) c[i] = AlphaMulTable[255 - AlphaDivTable[Byte(p, i)][a]][a];
             return Bgra(c[0], c[1], c[2], a);
         }},
        {"TwoColor", [=](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindTwoColor, 120, code1, 200, code2, 100); },
         [=](uint32_t p, uint32_t) { return Lum(Byte(p, 0), Byte(p, 1), Byte(p, 2)) < 120 * 4096 ? color1 : color2; }},
        {"TwoColorPma", [=](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindTwoColorPma, 120, code1, 200, code2, 100); },
         [=](uint32_t p, uint32_t) {
             int b, g, r;
             Straight(p, &b, &g, &r, 1);
             const uint32_t c = Lum(b, g, r) < 120 * 4096 ? color1 : color2;
             const int a = Byte(c, 3);
             return Bgra(AlphaMulTable[Byte(c, 0)][a], AlphaMulTable[Byte(c, 1)][a], AlphaMulTable[Byte(c, 2)][a], a);
         }},
        {"ReplacementPma", [](int s, int d) {
             // Varied(1, 0) straightened is the target.
             const uint32_t p = Varied(1, 0);
             const int a = Byte(p, 3);
             return FilterGraphToGraph(s, d, GraphFilter_KindReplacementPma, AlphaDivTable[Byte(p, 2)][a],
                                       AlphaDivTable[Byte(p, 1)][a], AlphaDivTable[Byte(p, 0)][a], a, 10, 20, 30, 128);
         },
         [](uint32_t p, uint32_t) {
             int b, g, r, tb, tg, tr;
             Straight(p, &b, &g, &r, 1);
             Straight(Varied(1, 0), &tb, &tg, &tr, 1);
             const bool match = b == tb && g == tg && r == tr && Byte(p, 3) == Byte(Varied(1, 0), 3);
             return match ? Bgra(AlphaMulTable[30][128], AlphaMulTable[20][128], AlphaMulTable[10][128], 128) : p;
         }},
        {"PremultipliedAlpha", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindPremultipliedAlpha); },
         [](uint32_t p, uint32_t) {
             const int a = Byte(p, 3);
             return Bgra(Byte(p, 0) * a >> 8, Byte(p, 1) * a >> 8, Byte(p, 2) * a >> 8, a);
         }},
        {"InterpolatedAlpha", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindInterpolatedAlpha); },
         [](uint32_t p, uint32_t) {
             const int a = Byte(p, 3);
             auto f = [a](int c) { return a == 0 ? 0 : (c * 255 / a > 255 ? 255 : c * 255 / a); };
             return Bgra(f(Byte(p, 0)), f(Byte(p, 1)), f(Byte(p, 2)), a);
         }},
        {"BrightClip greater, fill", [=](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindBrightClip, 5, 100, 1, fill, 77); },
         [=](uint32_t p, uint32_t) { return Lum(Byte(p, 0), Byte(p, 1), Byte(p, 2)) > (int)(100 / 255.0f * 255.0f * 4096.0f) ? CodePixel(fill, 77) : p; }},
        {"BrightClip less, no fill keeps the destination", [](int s, int d) { return FilterGraphToGraph(s, d, GraphFilter_KindBrightClip, 2, 100, 0, 0, 0); },
         [](uint32_t p, uint32_t d) { return Lum(Byte(p, 0), Byte(p, 1), Byte(p, 2)) < (int)(100 / 255.0f * 255.0f * 4096.0f) ? d : p; }},
    };
    for (const ColorCase& c : cases) Check(c, 7, 5);
}

TEST_F(GraphFilterColor, EdgeValues)
{
    const int white = MakeSolid(4, 4, Bgra(255, 255, 255, 255));
    const int out = MakeSolid(4, 4, 0);
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindMono, 0, 0));
    EXPECT_EQ(Bgra(254, 254, 254, 255), Pixel(out, 3, 3));
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindMono, 255, 255));
    EXPECT_EQ(255, Byte(Pixel(out, 0, 0), 0));
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindTwoColor, 255, MakeColorCode(1, 2, 3), 4,
                                    MakeColorCode(255, 255, 255), 255));
    EXPECT_EQ(CodePixel(MakeColorCode(1, 2, 3), 4), Pixel(out, 0, 0));
    // Thresholds far beyond the luminance range (past what the integer compare holds) sort every pixel
    // to one side: above all of them the first colour, below all of them the second.
    for (const int threshold : {600000, 524288, 0x7FFFFFFF}) {
        ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindTwoColor, threshold, MakeColorCode(1, 2, 3), 4,
                                        MakeColorCode(9, 9, 9), 255));
        EXPECT_EQ(CodePixel(MakeColorCode(1, 2, 3), 4), Pixel(out, 1, 2)) << threshold;
    }
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindTwoColor, -600000, MakeColorCode(1, 2, 3), 4,
                                    MakeColorCode(9, 9, 9), 255));
    EXPECT_EQ(CodePixel(MakeColorCode(9, 9, 9), 255), Pixel(out, 1, 2));
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindPremultipliedAlpha));
    EXPECT_EQ(Bgra(254, 254, 254, 255), Pixel(out, 1, 1));
    const int clear = MakeSolid(4, 4, Bgra(9, 9, 9, 0));
    ASSERT_EQ(0, FilterGraphToGraph(clear, out, GraphFilter_KindInterpolatedAlpha));
    EXPECT_EQ(0u, Pixel(out, 2, 2));
    // Replacement compares all four bytes: a pixel differing only in alpha stays.
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindReplacement, 255, 255, 255, 254, 1, 2, 3, 4));
    EXPECT_EQ(Bgra(255, 255, 255, 255), Pixel(out, 0, 0));
    ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindReplacement, 255, 255, 255, 255, 1, 2, 3, 4));
    EXPECT_EQ(Bgra(3, 2, 1, 4), Pixel(out, 0, 0));
    // BrightClip in place without fill leaves the graph as it was.
    const int picture = MakeGraph(6, 6, Varied);
    ASSERT_EQ(0, FilterGraph(picture, GraphFilter_KindBrightClip, 5, 60, 0, 0, 0));
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) ASSERT_EQ(Varied(x, y), Pixel(picture, x, y));
}

TEST_F(GraphFilterColor, GradientMapLooksUpTheTopRow)
{
    // A 64-wide gradient: entry i comes from column i * 64 / 256; reversed, entry 255 - i.
    const int gradient = MakeGraph(64, 2, [](int x, int y) { return y == 0 ? Bgra(x, 255 - x, x * 3, 100 + x) : 0u; });
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0);
    for (int reverse = 0; reverse < 2; reverse++)
        for (int pma = 0; pma < 2; pma++) {
            ASSERT_EQ(0, FilterGraphToGraph(source, out, pma ? GraphFilter_KindGradientMapPma : GraphFilter_KindGradientMap,
                                            gradient, reverse));
            for (int y = 0; y < 8; y++)
                for (int x = 0; x < 8; x++) {
                    int b, g, r;
                    Straight(Varied(x, y), &b, &g, &r, pma);
                    int index = (unsigned)Lum(b, g, r) >> 12;
                    if (reverse) index = 255 - index;
                    const int column = index * 64 / 256;
                    uint32_t e = Bgra(column, 255 - column, column * 3, 100 + column);
                    if (pma) {
                        const int a = Byte(e, 3);
                        e = Bgra(AlphaMulTable[Byte(e, 0)][a], AlphaMulTable[Byte(e, 1)][a], AlphaMulTable[Byte(e, 2)][a], a);
                    }
                    ASSERT_EQ(e, Pixel(out, x, y)) << reverse << pma << x << y;
                }
        }
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindGradientMap, 12345, 0));
}

TEST_F(GraphFilterColor, RefusedParameters)
{
    const int source = MakeGraph(4, 4, Varied);
    const int out = MakeSolid(4, 4, 0x11223344);
    // A refused body fails the run and leaves the destination alone.
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindBrightClip, 3, 100, 0, 0, 0));
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindBrightClipPma, -1, 100, 1, 0, 0));
    EXPECT_EQ(0x11223344u, Pixel(out, 0, 0));
    GraphFilterContext context = {};
    EXPECT_EQ(-1, GraphFilter_TwoColor(&context, 1.0f, nullptr, nullptr, 0));
    EXPECT_EQ(-1, GraphFilter_BrightClip(&context, 2, 1.0f, 2, nullptr, 0));
    // Thresholds beyond 0..255 clamp.
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindBrightClip, 5, 100000, 1, 0, 255));
    EXPECT_EQ(Varied(0, 0), Pixel(out, 0, 0));
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindMono, 100000, -100000));
}

}  // namespace
}  // namespace GraphFilterTest
