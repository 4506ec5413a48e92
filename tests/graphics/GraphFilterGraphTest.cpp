// Graph filters on real graph handles without a device: every kind run on graphs made from base
// images (in place, into another graph, a rectangle at an offset, onto the back screen, the blend
// form) gives exactly what the software body gives on the same images behind stand-in seams;
// derived graphs filter only their rectangle of the full image, 16-bit graphs keep their format,
// pending loads finish first, and dead handles are refused.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GraphFilterFixture.h"
#include "GraphHandleSupport.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"

using namespace Vantrel;
using GraphFilterTest::Graphs;
using GraphFilterTest::PixelAt;

namespace {

// An ARGB8 base image whose pixel (x, y) is fill(x, y).
BaseImage MakeImage(int width, int height, const std::function<uint32_t(int, int)>& fill) {
    BaseImage image = {};
    EXPECT_EQ(0, BaseImage_CreateARGB8(width, height, &image));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) *PixelAt(image, x, y) = fill(x, y);
    return image;
}

int GraphOf(const BaseImage& image) {
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    EXPECT_GE(graph, 0);
    return graph;
}

BaseImage ReadBack(int graph) {
    BaseImage image = {};
    EXPECT_EQ(0, GraphFilter_ReadGraphToImage(graph, &image, nullptr));
    return image;
}

// Pixels that differ between two images of one size, compared under `mask`.
int Differences(const BaseImage& a, const BaseImage& b, uint32_t mask = 0xFFFFFFFFu) {
    if (a.width != b.width || a.height != b.height) return -1;
    int count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if ((*PixelAt(a, x, y) ^ *PixelAt(b, x, y)) & mask) ++count;
    return count;
}

uint32_t Pattern(int x, int y) { return GraphFilterTest::Varied(x, y); }
uint32_t Other(int x, int y) { return GraphFilterTest::Varied(y + 7, x * 3 + 1) ^ 0x00FF00FFu; }

}  // namespace

class GraphFilterGraphTest : public GraphHandleSupport::GraphHandleTest {
protected:
    void SetUp() override {
        GraphHandleTest::SetUp();
        BaseImage_EnsureTables();
    }
    void TearDown() override {
        ReleaseStandIns();
        GraphFilter_Seams = GraphFilter_GraphSeams;
        GraphHandleTest::TearDown();
    }

    static void ReleaseStandIns() {
        for (auto& entry : Graphs()) BaseImage_Release(&entry.second.image);
        Graphs().clear();
    }

    // Runs `call` twice on the same pixels: once behind stand-in seams that hold copies of the
    // graphs (the software body alone), once on the real graphs. Returns the result codes and
    // leaves the stand-in result of `watched` in `expected`.
    void RunBoth(const std::vector<int>& graphs, int watched, const std::function<int()>& call, int* standInResult,
                 int* realResult, BaseImage* expected) {
        ReleaseStandIns();
        for (int graph : graphs) Graphs()[graph] = GraphFilterTest::FakeGraph{ReadBack(graph), 0};
        GraphFilter_Seams = GraphFilterSeams{};
        GraphFilter_Seams.QueryHandle = GraphFilterTest::FakeQuery;
        GraphFilter_Seams.ReadGraph = GraphFilterTest::FakeRead;
        GraphFilter_Seams.WriteGraph = GraphFilterTest::FakeWrite;
        *standInResult = call();
        GraphFilter_Seams = GraphFilter_GraphSeams;
        *expected = Graphs()[watched].image;
        Graphs().erase(watched);
        ReleaseStandIns();
        *realResult = call();
    }
};

TEST_F(GraphFilterGraphTest, EveryKindOnRealGraphsMatchesTheSoftwareBody) {
    BaseImage sourceImage = MakeImage(12, 10, Pattern), otherImage = MakeImage(12, 10, Other);
    BaseImage gradientImage = MakeImage(16, 2, [](int x, int y) { return GraphFilterTest::Bgra(x * 16, 255 - x * 9, y * 90, 255); });
    BaseImage uvImage = MakeImage(6, 5, [](int x, int y) { return GraphFilterTest::Bgra(x * 40, y * 50, 0, 255); });
    const uint32_t first = Pattern(0, 0);

    struct Case {
        const char* name;
        bool inPlace;
        std::function<int(int source, int destination, int gradient, int uv, int other)> call;
    };
    const std::vector<Case> cases = {
        {"Mono", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindMono, 30, 200); }},
        {"Gauss", false, [](int s, int d, int, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindGauss, 16, 150); }},
        {"DownScale", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindDownScale, 2); }},
        {"BrightClip", false, [](int s, int d, int, int, int) {
             return FilterGraphToGraph(s, d, GraphFilter_KindBrightClip, 5, 128, 1, (int)MakeColorCode(10, 20, 30), 200); }},
        {"BrightScale", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindBrightScale, 30, 200); }},
        {"Hsb", false, [](int s, int d, int, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindHsb, 0, 40, 100, 50); }},
        {"Invert", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindInvert); }},
        {"Level", false, [](int s, int d, int, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindLevel, 20, 230, 150, 10, 240); }},
        {"TwoColor", true, [](int s, int, int, int, int) {
             return FilterGraph(s, GraphFilter_KindTwoColor, 128, (int)MakeColorCode(200, 0, 0), 255, (int)MakeColorCode(0, 0, 90), 100); }},
        {"GradientMap", false, [](int s, int d, int g, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindGradientMap, g, 1); }},
        {"Replacement", true, [first](int s, int, int, int, int) {
             return FilterGraph(s, GraphFilter_KindReplacement, (int)(first >> 16 & 255), (int)(first >> 8 & 255),
                                (int)(first & 255), (int)(first >> 24), 1, 2, 3, 4); }},
        {"PremultipliedAlpha", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindPremultipliedAlpha); }},
        {"InterpolatedAlpha", false, [](int s, int d, int, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindInterpolatedAlpha); }},
        {"YuvToRgbUv", false, [](int s, int d, int, int uv, int) { return FilterGraphToGraph(s, d, GraphFilter_KindYuvToRgbUv, uv); }},
        {"YuvToRgbUvRra", false, [](int s, int d, int, int uv, int) {
             return FilterGraphRectToGraph(s, d, 0, 0, 6, 10, 0, 0, GraphFilter_KindYuvToRgbUvRra, uv); }},
        {"LevelPma", true, [](int s, int, int, int, int) { return FilterGraph(s, GraphFilter_KindLevelPma, 0, 200, 80, 30, 255); }},
        {"HsbPma", false, [](int s, int d, int, int, int) { return FilterGraphToGraph(s, d, GraphFilter_KindHsbPma, 1, 90, 0, -60); }},
        {"GradientMapPma", true, [](int s, int, int g, int, int) { return FilterGraph(s, GraphFilter_KindGradientMapPma, g, 0); }},
        {"RectAtOffset", false, [](int s, int d, int, int, int) {
             return FilterGraphRectToGraph(s, d, -2, 3, 9, 8, 4, -1, GraphFilter_KindInvert); }},
        {"BlendOverlay", false, [](int s, int d, int, int, int o) {
             return GraphFilter_Execute(1, s, o, d, 200, GraphBlend_Overlay, 0, 0, 12, 10, 0, 0, 0, 0, 0, 0, 0, 0); }},
        {"BlendAlphaComposite", true, [](int s, int, int, int, int o) {
             return GraphFilter_Execute(1, s, o, s, 255, GraphBlend_NormalAlphaCh, 1, 1, 11, 9, 0, 0, 0, 0, 0, 0, 2, 0); }},
        {"BlendRgbaMix", false, [](int s, int d, int, int, int o) {
             return GraphFilter_Execute(1, s, o, d, 255, GraphBlend_RgbaMix, 0, 0, 12, 10, 0, 0, 0, 0, 0, 0, 0, 0, 6, 1, 0, 7); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int source = GraphOf(sourceImage), destination = GraphOf(otherImage), other = GraphOf(otherImage);
        const int gradient = GraphOf(gradientImage), uv = GraphOf(uvImage);
        const int watched = c.inPlace ? source : destination;
        BaseImage before = ReadBack(watched), expected = {};
        int standIn = 0, real = 0;
        RunBoth({source, destination, gradient, uv, other}, watched,
                [&] { return c.call(source, destination, gradient, uv, other); }, &standIn, &real, &expected);
        EXPECT_EQ(0, standIn);
        EXPECT_EQ(0, real);
        BaseImage after = ReadBack(watched);
        EXPECT_EQ(0, Differences(expected, after));
        EXPECT_GT(Differences(before, after), 0) << "the filter changed nothing";
        for (BaseImage* image : {&before, &expected, &after}) BaseImage_Release(image);
        for (int graph : {source, destination, gradient, uv, other}) EXPECT_EQ(0, DeleteGraph(graph));
    }
    for (BaseImage* image : {&sourceImage, &otherImage, &gradientImage, &uvImage}) BaseImage_Release(image);
}

TEST_F(GraphFilterGraphTest, TheBackScreenTakesTheResultInsideTheDrawArea) {
    BaseImage image = MakeImage(12, 10, Pattern);
    const int source = GraphOf(image);
    ASSERT_EQ(0, ClearDrawTarget(nullptr));
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, 20, 20);

    BaseImage expected = {};
    int standIn = 0, real = 0;
    // The stand-in back screen is a copy of the real one: graph -2 of the same map.
    ReleaseStandIns();
    BaseImage screen = {};
    const BaseImageRect whole = {0, 0, 860, 560};
    ASSERT_EQ(0, GraphFilter_ReadGraphToImage(DRAW_SCREEN_BACK, &screen, &whole));
    BaseImage screenCopy = {};
    ASSERT_EQ(0, GraphFilter_ReadGraphToImage(DRAW_SCREEN_BACK, &screenCopy, &whole));
    Graphs()[DRAW_SCREEN_BACK] = GraphFilterTest::FakeGraph{screenCopy, 0};
    Graphs()[source] = GraphFilterTest::FakeGraph{ReadBack(source), 0};
    GraphFilter_Seams = GraphFilterSeams{};
    GraphFilter_Seams.QueryHandle = GraphFilterTest::FakeQuery;
    GraphFilter_Seams.ReadGraph = GraphFilterTest::FakeRead;
    GraphFilter_Seams.WriteGraph = GraphFilterTest::FakeWrite;
    standIn = FilterGraphRectToGraph(source, DRAW_SCREEN_BACK, 0, 0, 12, 10, 14, 15, GraphFilter_KindInvert);
    GraphFilter_Seams = GraphFilter_GraphSeams;
    expected = Graphs()[DRAW_SCREEN_BACK].image;
    Graphs().erase(DRAW_SCREEN_BACK);
    ReleaseStandIns();
    real = FilterGraphRectToGraph(source, DRAW_SCREEN_BACK, 0, 0, 12, 10, 14, 15, GraphFilter_KindInvert);
    EXPECT_EQ(0, standIn);
    EXPECT_EQ(0, real);

    BaseImage after = {};
    ASSERT_EQ(0, GraphFilter_ReadGraphToImage(DRAW_SCREEN_BACK, &after, &whole));
    // The screen has no alpha; inside the draw area (to 20, 20) the colours are the body's, beyond
    // it the screen keeps its background.
    int inside = 0, outside = 0;
    for (int y = 15; y < 25; ++y)
        for (int x = 14; x < 26; ++x) {
            const uint32_t got = *PixelAt(after, x, y) & 0xFFFFFF;
            if (x < 20 && y < 20) inside += got != (*PixelAt(expected, x, y) & 0xFFFFFF);
            else outside += got != (*PixelAt(screen, x, y) & 0xFFFFFF);
        }
    EXPECT_EQ(0, inside);
    EXPECT_EQ(0, outside);
    for (BaseImage* i : {&image, &expected, &after, &screen}) BaseImage_Release(i);
    EXPECT_EQ(0, DeleteGraph(source));
}

TEST_F(GraphFilterGraphTest, DerivedSixteenBitPendingAndDeadGraphs) {
    BaseImage image = MakeImage(12, 10, Pattern);

    // A derived graph filters its own rectangle of the full image and nothing else.
    const int whole = GraphOf(image);
    const int part = DeriveGraphRect(3, 2, 5, 4, whole);
    ASSERT_GE(part, 0);
    ASSERT_EQ(0, FilterGraph(part, GraphFilter_KindInvert));
    BaseImage after = ReadBack(whole);
    int wrong = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 3 && x < 8 && y >= 2 && y < 6;
            const uint32_t want = inside ? (Pattern(x, y) ^ 0x00FFFFFFu) : Pattern(x, y);
            wrong += *PixelAt(after, x, y) != want;
        }
    EXPECT_EQ(0, wrong);
    BaseImage_Release(&after);

    // A 16-bit graph gives the body 16-bit colours and keeps them 16-bit.
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    param.bitDepth = 16;
    const int narrow = Graphics_Image_MakeEmptyGraph_GParam(&param, 12, 10, 0, 0, 0, 0, 0);
    ASSERT_GE(narrow, 0);
    ASSERT_EQ(0, GraphFilter_Seams.WriteGraph(narrow, 0, 0, &image));
    BaseImage before = ReadBack(narrow);
    ASSERT_EQ(0, FilterGraph(narrow, GraphFilter_KindInvert));
    after = ReadBack(narrow);
    // What the body gives on the 16-bit colours, stored in a second 16-bit graph the same way.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) *PixelAt(before, x, y) ^= 0x00FFFFFFu;
    const int stored = Graphics_Image_MakeEmptyGraph_GParam(&param, 12, 10, 0, 0, 0, 0, 0);
    ASSERT_EQ(0, GraphFilter_Seams.WriteGraph(stored, 0, 0, &before));
    BaseImage expected = ReadBack(stored);
    EXPECT_EQ(0, Differences(expected, after));
    EXPECT_GT(Differences(before, after), 0) << "the graph holds more than 16 bits";
    BaseImage_Release(&expected);
    EXPECT_EQ(0, DeleteGraph(stored));
    BaseImage_Release(&before);
    BaseImage_Release(&after);

    // A graph still loading on the loader threads is finished first, then filtered.
    EnableAsyncLoad(1);
    const int pending = MakeGraphFromBaseImage(&image, nullptr, 0);
    ASSERT_GE(pending, 0);
    EXPECT_EQ(0, FilterGraph(pending, GraphFilter_KindInvert));
    EnableAsyncLoad(0);
    after = ReadBack(pending);
    wrong = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) wrong += *PixelAt(after, x, y) != (Pattern(x, y) ^ 0x00FFFFFFu);
    EXPECT_EQ(0, wrong);
    BaseImage_Release(&after);

    // Dead handles: the call fails and the live graph is untouched.
    const int dead = GraphOf(image);
    ASSERT_EQ(0, DeleteGraph(dead));
    EXPECT_EQ(-1, FilterGraph(dead, GraphFilter_KindInvert));
    EXPECT_EQ(-1, FilterGraphToGraph(whole, dead, GraphFilter_KindInvert));
    before = ReadBack(pending);
    EXPECT_EQ(-1, FilterGraphToGraph(whole, pending, GraphFilter_KindGradientMap, dead, 0));
    EXPECT_EQ(-1, GraphFilter_Execute(1, whole, dead, pending, 255, GraphBlend_Normal, 0, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0));
    after = ReadBack(pending);
    EXPECT_EQ(0, Differences(before, after));
    BaseImage_Release(&before);
    BaseImage_Release(&after);

    for (int graph : {whole, part, narrow, pending}) EXPECT_EQ(0, DeleteGraph(graph));
    BaseImage_Release(&image);
}
