// The filter dispatcher: handle and kind checks, clipping of the rectangle against source and
// destination, failure reporting, the back screen as destination, shadow maps on the software
// road, and the bodies sending their pass to their switch when shaders are usable.
#include "GraphFilterFixture.h"

#include <type_traits>

#include "graphics/VtGraphicsDispatch.h"
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"

namespace GraphFilterTest {
namespace {

class GraphFilterFramework : public GraphFilterFixture {};

TEST_F(GraphFilterFramework, RefusedCalls)
{
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x33333333);
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, 29));
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, -1));
    EXPECT_EQ(-1, FilterGraphToGraph(4711, out, GraphFilter_KindInvert));
    EXPECT_EQ(-1, FilterGraphToGraph(source, 4711, GraphFilter_KindInvert));
    EXPECT_EQ(-1, FilterGraph(4711, GraphFilter_KindInvert));
    EXPECT_EQ(-1, FilterGraphRectToGraph(source, out, 4, 0, 4, 8, 0, 0, GraphFilter_KindInvert));
    EXPECT_EQ(-1, FilterGraphRectToGraph(source, out, 0, 5, 8, 2, 0, 0, GraphFilter_KindInvert));
    EXPECT_EQ(0x33333333u, Pixel(out, 0, 0));
    // Without any graph seams every handle is dead.
    GraphFilter_Seams = GraphFilterSeams{};
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindInvert));
}

TEST_F(GraphFilterFramework, ClippingMovesTheRectangle)
{
    const int source = MakeGraph(16, 16, Varied);
    auto invert = [](uint32_t p) { return p ^ 0x00FFFFFFu; };
    {
        // x1 = -10 with destination x 5: destination x 15, x1 0; cut to the room left (1 column).
        const int out = MakeSolid(16, 16, 0);
        ASSERT_EQ(0, FilterGraphRectToGraph(source, out, -10, 2, 4, 6, 5, 3, GraphFilter_KindInvert));
        EXPECT_EQ(invert(Varied(0, 2)), Pixel(out, 15, 3));
        EXPECT_EQ(0u, Pixel(out, 14, 3));
        EXPECT_EQ(invert(Varied(0, 5)), Pixel(out, 15, 6));
        EXPECT_EQ(0u, Pixel(out, 15, 7));
    }
    {
        // Destination x -10 with x1 5: x1 15, destination x 0.
        const int out = MakeSolid(16, 16, 0);
        ASSERT_EQ(0, FilterGraphRectToGraph(source, out, 5, 0, 20, 1, -10, 0, GraphFilter_KindInvert));
        EXPECT_EQ(invert(Varied(15, 0)), Pixel(out, 0, 0));
        EXPECT_EQ(0u, Pixel(out, 1, 0));
    }
    {
        // A destination position at or beyond the destination: 0, nothing written.
        const int out = MakeSolid(4, 4, 0x44444444);
        EXPECT_EQ(0, FilterGraphRectToGraph(source, out, 0, 0, 4, 4, 4, 0, GraphFilter_KindInvert));
        EXPECT_EQ(0, FilterGraphRectToGraph(source, out, 16, 0, 20, 4, 0, 0, GraphFilter_KindInvert));
        EXPECT_EQ(0x44444444u, Pixel(out, 0, 0));
        // A rectangle larger than the room is cut to it.
        ASSERT_EQ(0, FilterGraphRectToGraph(source, out, 0, 0, 16, 16, 2, 2, GraphFilter_KindInvert));
        EXPECT_EQ(invert(Varied(1, 1)), Pixel(out, 3, 3));
        // DownScale cuts by the room times the divisor.
        const int small = MakeSolid(4, 4, 0x44444444);
        ASSERT_EQ(0, FilterGraphRectToGraph(source, small, 0, 0, 16, 16, 2, 0, GraphFilter_KindDownScale, 4));
        EXPECT_EQ(0x44444444u, Pixel(small, 1, 0));
        EXPECT_NE(0x44444444u, Pixel(small, 2, 0));
        EXPECT_NE(0x44444444u, Pixel(small, 2, 3));
    }
}

TEST_F(GraphFilterFramework, FailuresAreReported)
{
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x66666666);
    // A body that cannot read its gradient graph fails the run; the destination is untouched.
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindGradientMap, 5555, 0));
    EXPECT_EQ(0x66666666u, Pixel(out, 0, 0));
    // A shadow map cannot be read on the software road.
    const int shadow = MakeGraph(8, 8, Varied, 777);
    Graphs()[shadow].shadowMap = 1;
    EXPECT_EQ(-1, FilterGraph(shadow, GraphFilter_KindGauss, 8, 100));
    EXPECT_EQ(Varied(3, 3), Pixel(shadow, 3, 3));
    // A graph that cannot be read fails every kind that reads it.
    GraphFilter_Seams.ReadGraph = [](int, const BaseImageRect*, BaseImage*) { return -1; };
    for (int kind : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 21, 22, 23, 24, 25, 26, 28}) {
        const int result = kind == GraphFilter_KindDownScale ? FilterGraphToGraph(source, out, kind, 2)
                                                             : FilterGraphToGraph(source, out, kind, 0, 0, 0, 0, 0, 0, 0, 0);
        EXPECT_EQ(-1, result) << kind;
    }
    EXPECT_EQ(0x66666666u, Pixel(out, 0, 0));
}

TEST_F(GraphFilterFramework, BackScreenDestination)
{
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    const int screen = MakeGraph(width, height, [](int, int) { return 0u; }, DRAW_SCREEN_BACK);
    const int source = MakeGraph(4, 4, Varied);
    ASSERT_EQ(0, FilterGraphRectToGraph(source, DRAW_SCREEN_BACK, 0, 0, 4, 4, 10, 20, GraphFilter_KindInvert));
    EXPECT_EQ(Varied(2, 3) ^ 0x00FFFFFFu, Pixel(screen, 12, 23));
    BaseImage read;
    const BaseImageRect rect = {10, 20, 12, 22};
    ASSERT_EQ(0, GraphFilter_ReadGraphToImage(DRAW_SCREEN_BACK, &read, &rect));
    EXPECT_EQ(2, read.width);
    EXPECT_EQ(Varied(0, 0) ^ 0x00FFFFFFu, *PixelAt(read, 0, 0));
    BaseImage_Release(&read);
}

// With shaders usable every body sends its pass to its kind's switch, which without a device draws
// nothing and answers 0: the run succeeds and the destination keeps its pixels (the software road would
// have written them).
TEST_F(GraphFilterFramework, WithShadersUsableAndNoDeviceEveryKindGoesToItsSwitch)
{
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x12121212);
    const int gradient = MakeGraph(16, 1, Varied);
    const int uv = MakeGraph(8, 8, Varied);
    GraphicsSystemState.ShadersUsable = 1;
    for (int kind = 0; kind < GraphFilter_KindCount; kind++) {
        const int base = kind >= GraphFilter_KindBrightClipPma ? kind - 18 : kind;
        int result;
        if (base == GraphFilter_KindGradientMap) result = FilterGraphToGraph(source, out, kind, gradient, 0);
        else if (base == GraphFilter_KindYuvToRgbUv || base == GraphFilter_KindYuvToRgbUvRra)
            result = FilterGraphToGraph(source, out, kind, uv);
        else if (base == GraphFilter_KindBrightClip) result = FilterGraphToGraph(source, out, kind, 2, 100, 1, 0, 255);
        else if (base == GraphFilter_KindSsao) result = FilterGraphToGraph(source, out, kind, source, 1.0, 1.0, 1.0, 1.0, 0, 1.0);
        else if (base == GraphFilter_KindFloatColorScale)
            result = FilterGraphToGraph(source, out, kind, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0);
        else result = FilterGraphToGraph(source, out, kind, 2, 2, 100, 100, 100, 0, 0, 0);
        EXPECT_EQ(0, result) << kind;
        EXPECT_EQ(0x12121212u, Pixel(out, 3, 3)) << kind;
    }
    for (int kind : {GraphBlend_Normal, GraphBlend_RgbaMix, GraphBlend_Mask}) {
        EXPECT_EQ(0, GraphFilter_Execute(1, source, uv, out, 255, kind, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 0, 3))
            << kind;
        EXPECT_EQ(0x12121212u, Pixel(out, 3, 3)) << kind;
    }
    GraphicsSystemState.ShadersUsable = 0;
}

// Every filter switch of the switch layer's table, and the two written out, gives 0 without a device;
// each has its body on both back-ends (linked here by name).
template <typename Argument>
Argument ZeroOr(GraphFilterContext* context)
{
    if constexpr (std::is_same_v<Argument, GraphFilterContext*>) return context;
    else return Argument{};
}

template <typename... Arguments>
int CallWithContext(int (*function)(Arguments...), GraphFilterContext* context)
{
    return function(ZeroOr<Arguments>(context)...);
}

TEST(GraphFilterSwitchTest, EveryFilterSwitchGivesZeroWithoutADeviceAndHasABodyOnEachBackEnd)
{
    GraphFilterContext context = {};
    int switches = 0;
#define VT_TEST_FILTER_SWITCH(name, params, args)                                            \
    EXPECT_EQ(0, CallWithContext(Graphics_Dispatch_##name, &context)) << #name;              \
    EXPECT_NE(nullptr, reinterpret_cast<void*>(&Graphics_D3D11_##name)) << #name;           \
    EXPECT_NE(nullptr, reinterpret_cast<void*>(&Graphics_D3D9_##name)) << #name;            \
    ++switches;
    VT_GRAPHICS_DISPATCH_GRAPHFILTER(VT_TEST_FILTER_SWITCH)
#undef VT_TEST_FILTER_SWITCH
    // Four for the run's framework and one per kind with a body on both back-ends.
    EXPECT_EQ(22, switches);
    const float values[8] = {};
    EXPECT_EQ(0, Graphics_Dispatch_GraphFilter_FloatColorScale(&context, values));
    EXPECT_EQ(0, Graphics_Dispatch_GraphFilter_Ssao(&context, 0, 0, 0, 0, 0, 0, 0, 0));
}

}  // namespace
}  // namespace GraphFilterTest
