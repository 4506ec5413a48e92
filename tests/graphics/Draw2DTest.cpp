// Two-dimensional drawing without a device onto a 64 x 64 memory screen: every case of the shared draw
// table is drawn by the library and compared pixel for pixel with the reference picture it paints. Blend modes,
// brightness, the draw area, the results of the calls and the shader and buffer handles' rules.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShader.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace WindowTest;

#include "Draw2DCases.h"

using namespace Draw2DCases;

namespace {

uint32_t ScreenPixel(int x, int y) {
    return static_cast<uint32_t>(Graphics_SoftScreen_GetPixel(&GraphicsSystemState.SoftScreenMain, x, y)) & 0xFFFFFF;
}

// Pixels where the screen differs from the reference; the first few are reported.
int Differences(Picture& reference, const std::string& name) {
    int count = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (ScreenPixel(x, y) != reference.At(x, y) && count++ < 3)
                ADD_FAILURE() << name << ": (" << x << ", " << y << ") is " << std::hex << ScreenPixel(x, y)
                              << ", expected " << reference.At(x, y);
    return count;
}

}  // namespace

class Draw2DTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        SetScreenResolution(Size, Size, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 0);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    }
    void TearDown() override {
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
    void Reset() {
        SetBlendModeAndParam(0, 255);
        SetDrawColorBrightness(255, 255, 255);
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
        GraphicsScreenState.BackgroundColor[0] = (Background >> 16) & 0xFF;
        GraphicsScreenState.BackgroundColor[1] = (Background >> 8) & 0xFF;
        GraphicsScreenState.BackgroundColor[2] = Background & 0xFF;
        ClearDrawTarget(nullptr);
    }
};

TEST_F(Draw2DTest, EveryDrawCallCoversExactlyThePixelsOfItsReference) {
    const int graph = MakeTestGraph();
    ASSERT_GE(graph, 0);
    ASSERT_TRUE(Graphics_Image_GetGraphRecord(graph, 0)->memImage.body->hasAlpha);
    for (const DrawCase& c : Cases()) {
        Reset();
        EXPECT_EQ(c.Draw(graph), 0) << c.Name;
        Picture reference;
        c.Paint(reference);
        EXPECT_EQ(Differences(reference, c.Name), 0) << c.Name;
    }
}

TEST_F(Draw2DTest, ThickCircleIsARingOfItsThicknessWhateverTheFillFlag) {
    Reset();
    ASSERT_EQ(DrawCircleShape(32, 32, 10, Code(White), 1, 3), 0);
    EXPECT_EQ(ScreenPixel(32, 32), Background) << "a ring, not a disc";
    // Along the centre row the ring runs from radius 9 to 11 on both sides.
    for (int d = 0; d <= 14; ++d) {
        const bool ring = d >= 9 && d <= 11;
        EXPECT_EQ(ScreenPixel(32 + d, 32) == White, ring) << "right, distance " << d;
        EXPECT_EQ(ScreenPixel(32 - d, 32) == White, ring) << "left, distance " << d;
        EXPECT_EQ(ScreenPixel(32, 32 + d) == White, ring) << "down, distance " << d;
        EXPECT_EQ(ScreenPixel(32, 32 - d) == White, ring) << "up, distance " << d;
    }
    // Every row is one or two runs, and the ring is closed (rows 21 to 43 drawn, none outside).
    for (int y = 0; y < Size; ++y) {
        int runs = 0;
        for (int x = 0; x < Size; ++x)
            if (ScreenPixel(x, y) == White && (x == 0 || ScreenPixel(x - 1, y) != White)) ++runs;
        EXPECT_EQ(runs, y < 21 || y > 43 ? 0 : (y < 24 || y > 40 ? 1 : 2)) << "row " << y;
    }
}

// Circles of radii near the largest int: the work follows the screen's rows, not the radius (walking
// the whole radius takes seconds per circle). Measured in this thread's processor time, which a busy
// machine does not stretch; the bound lies far above what the screen needs and far below a walk.
TEST_F(Draw2DTest, CirclesOfRadiiNearTheLimitCostWhatTheScreenHolds) {
    Reset();
    auto cpu = [] {
        FILETIME created, ended, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
        return (static_cast<uint64_t>(user.dwHighDateTime) << 32 | user.dwLowDateTime) +
               (static_cast<uint64_t>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime);
    };
    const uint64_t start = cpu();
    const int radius = 0x7FFFFFFE;
    // Centred on the screen, and far up to the left so that the screen lies 352 pixels inside the circle
    // where the walk nears its diagonal.
    const int distant = 32 - 1518500000;
    for (const int thickness : {3, 1})
        for (const int fill : {0, 1}) {
            EXPECT_EQ(DrawCircleShape(32, 32, radius, Code(Red), fill, thickness), 0);
            EXPECT_EQ(DrawCircleShape(distant, distant, radius, Code(White), fill, thickness), 0);
        }
    EXPECT_LT(cpu() - start, 20000000u) << "in 100 ns units";
    // Only the discs reach the screen, the last one over all of it.
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) ASSERT_EQ(ScreenPixel(x, y), White) << x << ", " << y;
}

TEST_F(Draw2DTest, ResultsOfCallsAndTheirInnerDraws) {
    Reset();
    const int graph = MakeTestGraph();
    ASSERT_GE(graph, 0);
    EXPECT_EQ(DrawGraphAt(0, 0, -1, 0), -1);
    EXPECT_EQ(DrawGraphAt(0, 0, graph + 1, 0), -1) << "a stale handle value";
    EXPECT_EQ(DrawCircleShape(5, 5, -1, Code(White), 0, 1), 0);
    EXPECT_EQ(DrawGraphPart(0, 0, 0, 0, 0, 2, graph, 0, 0, 0), -1);

    // The partial draw leaves the draw area exactly as it was, also for a part outside the graph.
    ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaRect(3, 4, 50, 60), 0);
    EXPECT_EQ(DrawGraphPart(10, 10, 40, 40, 4, 4, graph, 0, 0, 0), 0);
    EXPECT_EQ(DrawGraphPartF(10.0f, 10.0f, 1, 1, 2, 2, graph, 0, 1, 1), 0);
    RECT area = {};
    GetDrawAreaRect(&area);
    EXPECT_EQ(area.left, 3);
    EXPECT_EQ(area.top, 4);
    EXPECT_EQ(area.right, 50);
    EXPECT_EQ(area.bottom, 60);
    EXPECT_EQ(GetDrawAreaRect(nullptr), -1);

    // A blend graph smaller than the drawn graph fails the draw; the stretched and float partial
    // draws pass that failure on instead of reporting success.
    BaseImage small;
    ASSERT_EQ(BaseImage_CreateARGB8(2, 1, &small), 0);
    BaseImage_Fill(&small, 0, 0, 0, 255);
    const int blend = MakeGraphFromBaseImage(&small, nullptr, 0);
    BaseImage_Release(&small);
    ASSERT_GE(blend, 0);
    ASSERT_EQ(SetBlendGraphParams(blend, 0, 128), 0);
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), -1);
    EXPECT_EQ(DrawGraphPartStretchedF(0, 0, 10, 10, 0, 0, 4, 2, graph, 0), -1);
    EXPECT_EQ(DrawGraphPartF(0, 0, 0, 0, 4, 2, graph, 0, 1, 0), -1);
    ASSERT_EQ(SetBlendGraphParams(-1, 0, 0), 0);
    EXPECT_EQ(DrawGraphPartStretchedF(0, 0, 10, 10, 0, 0, 4, 2, graph, 0), 0);

    // With an empty draw area nothing is drawn, the thick quadrangle line included.
    Reset();
    ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaRect(5, 5, 5, 40), 0);
    EXPECT_EQ(DrawFilledRectangle(0, 0, 64, 64, Code(Red)), 0);
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
    EXPECT_EQ(DrawLineSegment(0, 0, 60, 50, Code(Red), 4), 0);
    Picture untouched;
    EXPECT_EQ(Differences(untouched, "empty draw area"), 0);

    // Filling a rectangle of a graph one pixel too wide is refused and changes nothing.
    EXPECT_EQ(FillGraphRect(graph, 1, 0, GraphWidth, 1, 0, 0, 0, 255), -1);
    EXPECT_EQ(FillGraphRect(graph, 1, 1, 2, 2, 1, 2, 3, 255), 0);
    Reset();
    EXPECT_EQ(DrawGraphAt(0, 0, graph, 0), 0);
    EXPECT_EQ(ScreenPixel(0, 0), GraphColour(0, 0));
    EXPECT_EQ(ScreenPixel(2, 2), 0x010203u);
    EXPECT_EQ(ScreenPixel(3, 2), GraphColour(3, 2));
}

TEST_F(Draw2DTest, DrawableGraphsTakeTheDrawingAndShowItWhenDrawn) {
    Reset();
    const int layer = CreateDrawableGraph(16, 16, 0);
    ASSERT_GE(layer, 0);
    ASSERT_EQ(SelectDrawScreen(layer), 0);
    EXPECT_EQ(DrawFilledRectangle(0, 0, 16, 16, Code(Green)), 0);
    EXPECT_EQ(DrawRectangle(2, 2, 6, 6, Code(Red), 0, 1), 0);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    EXPECT_EQ(DrawGraphAt(40, 40, layer, 0), 0);
    Picture reference;
    reference.Box(40, 40, 56, 56, Green);
    reference.Art(42, 42, {"####", "#..#", "#..#", "####"}, Red);
    EXPECT_EQ(Differences(reference, "drawable graph"), 0);
    // Deleting the target graph puts the drawing back on a screen.
    ASSERT_EQ(SelectDrawScreen(layer), 0);
    ASSERT_EQ(DeleteGraph(layer), 0);
    EXPECT_NE(GetCurrentDrawScreen(), layer);
    EXPECT_EQ(DrawFilledRectangle(0, 0, 1, 1, Code(Red)), 0);
}

TEST_F(Draw2DTest, ShaderAndBufferHandlesRefuseWhatTheyCannotHold) {
    // No device: no shader is made and no handle value is taken.
    const uint8_t code[16] = {'D', 'X', 'B', 'C'};
    const int before = HandleManagerTable[HandleType_Shader].Count;
    EXPECT_EQ(Graphics_Shader_CreateFromBinary_GParam(SHADER_KIND_PIXEL, code, sizeof(code), 0, 0, 0), -1);
    EXPECT_EQ(Graphics_Shader_CreateFromBinary_GParam(SHADER_KIND_PIXEL, code, sizeof(code), 0, 1, 0), -1);
    EXPECT_EQ(HandleManagerTable[HandleType_Shader].Count, before);

    // Selection: 0 or less clears; a value that is no shader is refused and leaves the slot.
    UserShaderState.PixelShader = 0;
    EXPECT_EQ(SelectPixelShader(-1), 0);
    EXPECT_EQ(SelectPixelShader(12345), -1);
    EXPECT_EQ(SelectShaderTexture(16, 1), -1);
    const int graph = MakeTestGraph();
    EXPECT_EQ(SelectShaderTexture(3, graph), 0);
    EXPECT_EQ(UserShaderState.Textures[3], graph);
    EXPECT_EQ(SelectShaderTexture(3, -1), 0);
    EXPECT_EQ(UserShaderState.Textures[3], 0);
    EXPECT_EQ(SetShaderRenderTarget(1, graph, 0, 0), -1) << "one render target without a device";

    // Buffer writes: the range must lie inside the buffer, counts must not be negative, and a range
    // whose end wraps 32 bits is refused before anything is copied.
    const int buffer = Handle_New(HandleType_VertexBuffer, 0, -1);
    ASSERT_GE(buffer, 0);
    BufferHandleRecord* record = reinterpret_cast<BufferHandleRecord*>(Handle_GetRecord(buffer));
    EXPECT_EQ(record->Platform, static_cast<void*>(record->PlatformArea));
    record->ElementSize = 4;
    record->ElementCount = 100;
    record->SystemCopy = Memory_AllocateZeroed(400, __FILE__, __LINE__);
    std::vector<uint32_t> data(10, 0xA5A5A5A5u);
    EXPECT_EQ(Graphics_Buffer_SetVertexData(90, data.data(), 10, buffer), 0);
    EXPECT_EQ(static_cast<uint32_t*>(record->SystemCopy)[99], 0xA5A5A5A5u);
    EXPECT_EQ(Graphics_Buffer_SetVertexData(91, data.data(), 10, buffer), -1);
    EXPECT_EQ(Graphics_Buffer_SetVertexData(0, data.data(), -1, buffer), -1);
    EXPECT_EQ(Graphics_Buffer_SetVertexData(-1, data.data(), 1, buffer), -1);
    EXPECT_EQ(Graphics_Buffer_SetVertexData(0x7FFFFFF0, data.data(), 0x20, buffer), -1);
    EXPECT_EQ(Graphics_Buffer_SetIndexData(0, data.data(), 1, buffer), -1) << "a vertex buffer is no index buffer";
    EXPECT_EQ(static_cast<uint32_t*>(record->SystemCopy)[0], 0u);
    Handle_Delete(buffer, 0, 0);   // the system copy goes with it

    EXPECT_EQ(StandardVertexLayouts[1].Stride, 28);
    EXPECT_EQ(StandardVertexLayouts[6].PerBatch, 744);
    EXPECT_EQ(sizeof(Vertex2D), 28u);
}
