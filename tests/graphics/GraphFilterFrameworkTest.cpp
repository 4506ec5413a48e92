// The filter dispatcher: handle and kind checks, clipping of the rectangle against source and
// destination, failure reporting, the back screen as destination, shadow maps on the software
// road, and the device seam taking the pass when shaders are usable.
#include "GraphFilterFixture.h"

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

struct DeviceLog {
    int kind = -1;
    int calls = 0;
    GraphFilterDeviceArgs args = {};
};
DeviceLog deviceLog;

TEST_F(GraphFilterFramework, DeviceSeamTakesThePass)
{
    GraphicsSystemState.ShadersUsable = 1;
    deviceLog = DeviceLog{};
    GraphFilter_Seams.DevicePass = [](GraphFilterContext*, int kind, const GraphFilterDeviceArgs* args) {
        deviceLog.kind = kind;
        deviceLog.calls++;
        deviceLog.args = *args;
        return -1;  // a failed device pass fails the run
    };
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x12121212);
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindLevel, 300, 100, 100, 0, 255));
    EXPECT_EQ(GraphFilter_KindLevel, deviceLog.kind);
    EXPECT_FLOAT_EQ(100 / 255.0f, deviceLog.args.Floats[0]);  // the minimum lowered to the maximum
    EXPECT_EQ(-1, FilterGraphToGraph(source, out, GraphFilter_KindGauss, 12, 100));
    EXPECT_EQ(16, deviceLog.args.Ints[0]);
    EXPECT_EQ(0x12121212u, Pixel(out, 0, 0));
    // Every kind with a device pass passes its failure on; the first failed pass ends the run.
    for (const int kind : {GraphFilter_KindMono, GraphFilter_KindInvert, GraphFilter_KindDownScale,
                           GraphFilter_KindPremultipliedAlpha, GraphFilter_KindBicubic}) {
        deviceLog.calls = 0;
        const int result = kind == GraphFilter_KindDownScale || kind == GraphFilter_KindBicubic
                               ? FilterGraphToGraph(source, out, kind, 2, 2)
                               : FilterGraphToGraph(source, out, kind, 0, 0);
        EXPECT_EQ(-1, result) << kind;
        EXPECT_EQ(1, deviceLog.calls) << kind;
    }
    GraphicsSystemState.ShadersUsable = 0;

    GraphFilter_ResetShaderHandles();
    for (int i = 0; i < GraphFilter_ShaderSlotCount; i++) ASSERT_EQ(-1, GraphFilter_ShaderHandles[i]);
}

// The final copy of a device run that fails loses the result: the run fails with it.
TEST_F(GraphFilterFramework, AFailedFinalCopyFailsTheRun)
{
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x12121212);
    GraphicsApi = GRAPHICS_API_D3D11;
    GraphFilter_Seams.DeviceRectBltFinish = [](GraphFilterContext*, int, int) { return -1; };
    const int failed = FilterGraphToGraph(source, out, GraphFilter_KindInvert);
    GraphFilter_Seams.DeviceRectBltFinish = [](GraphFilterContext*, int, int) { return 0; };
    const int copied = FilterGraphToGraph(source, out, GraphFilter_KindInvert);
    GraphicsApi = GRAPHICS_API_NONE;
    EXPECT_EQ(-1, failed);
    EXPECT_EQ(0, copied);
}

}  // namespace
}  // namespace GraphFilterTest
