// Graphs cut into several textures on the Direct3D 11 device: an image larger than the largest texture
// is spread over a grid of texture parts, a square-only device cuts each oblong part into squares, and
// both draw back whole (also a graph derived in float coordinates across a part boundary). A shadow
// map named where a graph may be answers the size queries with its own size. A device re-creation
// deletes the graphs made for the old device only and restores the others. A drawable graph made on a
// loader thread takes copies of the screen.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;

namespace {

constexpr int Screen = 64;
constexpr uint32_t Background = 0x000000;

uint32_t Pattern(int x, int y) { return 0x404040u | (uint32_t)(x * 5 & 0xFF) << 16 | (uint32_t)(y * 7 & 0xFF) << 8 | 0x11u; }

// A graph of the pattern, opaque, made through the public path.
int MakePatternGraph(int width, int height) {
    BaseImage image;
    if (BaseImage_CreateARGB8(width, height, &image) < 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = 0xFF000000u | Pattern(x, y);
            memcpy(static_cast<uint8_t*>(image.pixels) + (size_t)y * image.pitch + (size_t)x * 4, &pixel, 4);
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

}  // namespace

class GraphPartsDeviceTest : public WindowTest::LibraryTest {
protected:
    int32_t savedMax = 0, savedSquare = 0;

    void SetUp() override {
        LibraryTest::SetUp();
        Graphics_D3D11_SetDeviceEnabled(1);
        SetScreenResolution(Screen, Screen, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(1), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
        savedMax = GraphicsSystemState.MaxTextureSize;
        savedSquare = GraphicsSystemState.TextureSquareOnly;
    }

    void TearDown() override {
        GraphicsSystemState.MaxTextureSize = savedMax;
        GraphicsSystemState.TextureSquareOnly = savedSquare;
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        for (int type = 0; type < D3D11OBJ_TYPE_COUNT; ++type) EXPECT_EQ(D3D11CallState.ObjectCount[type], 0) << type;
        memset(D3D11CallState.ObjectCount, 0, sizeof(D3D11CallState.ObjectCount));
    }

    void Clear() {
        for (int i = 0; i < 3; ++i) GraphicsScreenState.BackgroundColor[i] = 0;
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, Screen, Screen);
        ClearDrawTarget(nullptr);
    }

    // Pixels of the screen rectangle (left, top, width, height) that differ from the pattern at
    // (originX + x, originY + y), and pixels outside it that are not the background.
    static int Misses(const std::vector<uint32_t>& screen, int left, int top, int width, int height, int originX,
                      int originY) {
        int misses = 0;
        for (int y = 0; y < Screen; ++y)
            for (int x = 0; x < Screen; ++x) {
                const bool inside = x >= left && x < left + width && y >= top && y < top + height;
                const uint32_t want = inside ? Pattern(originX + x - left, originY + y - top) : Background;
                if (screen[(size_t)y * Screen + x] != want) ++misses;
            }
        return misses;
    }
};

TEST_F(GraphPartsDeviceTest, AnImageLargerThanTheLargestTextureIsAGridOfPartsThatDrawsWhole) {
    GraphicsSystemState.MaxTextureSize = 16;
    const int graph = MakePatternGraph(40, 24);
    ASSERT_GE(graph, 0);
    const GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(graph, 0)->Orig;
    // Columns 16, 16, 8 and rows 16, 8, row by row.
    struct Place { int x, y, w, h; };
    const Place places[] = {{0, 0, 16, 16}, {16, 0, 16, 16}, {32, 0, 8, 16}, {0, 16, 16, 8}, {16, 16, 16, 8}, {32, 16, 8, 8}};
    ASSERT_EQ(orig->partCount, 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(orig->parts[i].x, places[i].x) << i;
        EXPECT_EQ(orig->parts[i].y, places[i].y) << i;
        EXPECT_EQ(orig->parts[i].textureWidth, places[i].w) << i;
        EXPECT_EQ(orig->parts[i].textureHeight, places[i].h) << i;
    }
    EXPECT_EQ(Graphics_Image_GetGraphRecord(graph, 0)->drawPartCount, 6);
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphTextureSize(graph, &width, &height), 0);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);

    Clear();
    ASSERT_EQ(DrawGraphAt(3, 5, graph, 0), 0);
    EXPECT_EQ(Misses(D3D11Test::ReadDrawTarget(Screen), 3, 5, 40, 24, 0, 0), 0);

    // A graph derived in float coordinates across the boundary at x 16 and y 16 draws from two parts on
    // each axis, its integer fields truncated.
    const int derived = Graphics_Image_DeriveGraphRect_GParam(1, 12, 12.0f, 10, 10.0f, 20, 20.0f, 12, 12.0f, graph, 0);
    ASSERT_GE(derived, 0);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(derived, 0);
    ASSERT_EQ(record->drawPartCount, 4);
    EXPECT_EQ(record->drawParts[0].width, 4);
    EXPECT_EQ(record->drawParts[1].destX, 4);
    EXPECT_EQ(record->drawParts[1].width, 16);
    EXPECT_EQ(record->drawParts[2].destY, 6);
    EXPECT_FLOAT_EQ(record->drawParts[3].vertices[3].u, 16.0f / 16.0f);
    Clear();
    ASSERT_EQ(DrawGraphAtF(7.0f, 9.0f, derived, 0), 0);
    EXPECT_EQ(Misses(D3D11Test::ReadDrawTarget(Screen), 7, 9, 20, 12, 12, 10), 0);
    DeleteGraph(derived);
    DeleteGraph(graph);
}

TEST_F(GraphPartsDeviceTest, ASquareOnlyDeviceCutsOblongPartsIntoSquares) {
    GraphicsSystemState.TextureSquareOnly = 1;
    struct Case {
        int width, height, parts, side;
    };
    const Case cases[] = {{16, 64, 4, 16}, {48, 16, 3, 16}, {32, 32, 1, 32}};
    for (const Case& c : cases) {
        const int graph = MakePatternGraph(c.width, c.height);
        ASSERT_GE(graph, 0) << c.width << "x" << c.height;
        const GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(graph, 0)->Orig;
        ASSERT_EQ(orig->partCount, c.parts) << c.width << "x" << c.height;
        for (int i = 0; i < c.parts; ++i) {
            EXPECT_EQ(orig->parts[i].textureWidth, c.side);
            EXPECT_EQ(orig->parts[i].textureHeight, c.side);
            EXPECT_EQ(orig->parts[i].x, c.width > c.height ? i * c.side : 0);
            EXPECT_EQ(orig->parts[i].y, c.height > c.width ? i * c.side : 0);
        }
        Clear();
        ASSERT_EQ(DrawGraphAt(2, 0, graph, 0), 0);
        EXPECT_EQ(Misses(D3D11Test::ReadDrawTarget(Screen), 2, 0, c.width, c.height, 0, 0), 0)
            << c.width << "x" << c.height;
        DeleteGraph(graph);
    }
}

TEST_F(GraphPartsDeviceTest, AShadowMapAnswersTheSizeQueriesWithItsOwnSize) {
    const int map = Graphics_ShadowMap_Make(48, 32, 32, 1);
    ASSERT_GT(map, 0);
    int width = -1, height = -1;
    ASSERT_EQ(QueryGraphSize(map, &width, &height), 0);
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 32);
    width = height = -1;
    ASSERT_EQ(QueryGraphTextureSize(map, &width, &height), 0);
    EXPECT_EQ(width, 48);
    EXPECT_EQ(height, 32);
    // As the first render target of a shader it gives the draw target its size.
    ASSERT_EQ(SetShaderRenderTarget(0, map, 1, 0), 0);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, 48);
    EXPECT_EQ(GraphicsScreenState.DrawTargetHeight, 32);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    ASSERT_EQ(Graphics_ShadowMap_Delete(map), 0);
    EXPECT_EQ(QueryGraphSize(map, &width, &height), -1);
    EXPECT_EQ(QueryGraphTextureSize(map, &width, &height), -1);
}

TEST_F(GraphPartsDeviceTest, ADeviceReCreationDeletesTheBuiltInGraphsAndRestoresTheOthers) {
    const int white = Graphics_Image_GetPlainWhiteGraph();
    const int pattern = Graphics_Image_GetSsaoPatternTexHandle();
    const int graph = MakePatternGraph(20, 12);
    ASSERT_GE(white, 0);
    ASSERT_GE(pattern, 0);
    ASSERT_GE(graph, 0);
    int lost = -1;
    ASSERT_EQ(SetGraphLostNotifyFlag(white, &lost), 0);
    const int restores = D3D11SystemState.Restores;
    ASSERT_EQ(Graphics_D3D11_Device_RecoverFromLoss(), 0);
    ASSERT_EQ(D3D11SystemState.Restores, restores + 1);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(Graphics_Image_CheckGraphHandle(white), 0);
    EXPECT_EQ(Graphics_Image_CheckGraphHandle(pattern), 0);
    ASSERT_EQ(Graphics_Image_CheckGraphHandle(graph), 1);
    // The next use makes the built-in graph again; the loaded graph shows its picture again.
    const int again = Graphics_Image_GetPlainWhiteGraph();
    EXPECT_GE(again, 0);
    EXPECT_EQ(Graphics_Image_CheckGraphHandle(again), 1);
    Clear();
    ASSERT_EQ(DrawGraphAt(1, 2, graph, 0), 0);
    EXPECT_EQ(Misses(D3D11Test::ReadDrawTarget(Screen), 1, 2, 20, 12, 0, 0), 0);
    DeleteGraph(graph);
}

TEST_F(GraphPartsDeviceTest, ADrawableGraphMadeOnALoaderThreadIsADrawTargetAndCopiesTheScreen) {
    EnableAsyncLoad(1);
    const int drawable = CreateDrawableGraph(24, 16, 1);
    EnableAsyncLoad(0);
    ASSERT_GE(drawable, 0);
    // Its first use waits for the job; the textures were made through the main thread's requests.
    ASSERT_EQ(SelectDrawScreen(drawable), 0);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(drawable, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Orig->format.drawable, 1);
    EXPECT_EQ(record->Orig->format.alpha, 1);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    const int pattern = MakePatternGraph(24, 16);
    ASSERT_GE(pattern, 0);
    Clear();
    ASSERT_EQ(DrawGraphAt(5, 7, pattern, 0), 0);
    // The screen copy goes into the drawable graph, which then draws it back elsewhere.
    EXPECT_EQ(CopyDrawScreenToGraph(5, 7, 30, 23, drawable), -1) << "one pixel wider than the graph";
    ASSERT_EQ(CopyDrawScreenToGraph(5, 7, 29, 23, drawable), 0);
    Clear();
    ASSERT_EQ(DrawGraphAt(30, 40, drawable, 0), 0);
    EXPECT_EQ(Misses(D3D11Test::ReadDrawTarget(Screen), 30, 40, 24, 16, 0, 0), 0);
    DeleteGraph(pattern);
    DeleteGraph(drawable);
}
