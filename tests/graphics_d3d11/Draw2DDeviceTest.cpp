// Two-dimensional drawing on Direct3D 11: the library started as a user starts it with the Direct3D 11
// device, so that every public draw call goes through the switch layer into the back-end's bodies and
// graphs live in device textures. Each case of the shared draw table is read back through the draw
// target's lock and held to the software road's reference picture within 2 per channel, apart from
// the edge pixels where the two rasterisation rules differ (counted per case). Also the batching of
// sprites, the zero-length thick line, discs, rings and user vertices, the blend graph's position and
// draws with the clamping into the draw area switched off.
#include <gtest/gtest.h>

#include "../graphics/Draw2DCases.h"
#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "font/VtFont.h"
#include "font/VtFontDraw.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace Draw2DCases;

namespace {

constexpr int Tolerance = DeviceTolerance;

}  // namespace

class Draw2DDeviceTest : public WindowTest::LibraryTest {
protected:
    int graph = -1;

    void SetUp() override {
        LibraryTest::SetUp();
        Graphics_D3D11_SetDeviceEnabled(1);
        SetScreenResolution(Size, Size, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(1), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
        graph = MakeTestGraph();
        ASSERT_GE(graph, 0);
    }

    void TearDown() override {
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        // The back-end's end leaves nothing counted, whatever the drawing made.
        for (int type = 0; type < D3D11OBJ_TYPE_COUNT; ++type) EXPECT_EQ(D3D11CallState.ObjectCount[type], 0) << type;
        memset(D3D11CallState.ObjectCount, 0, sizeof(D3D11CallState.ObjectCount));
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

    // The draw target as 0x00RRGGBB words, read through its lock.
    std::vector<uint32_t> Screen() { return D3D11Test::ReadDrawTarget(Size); }
};

TEST_F(Draw2DDeviceTest, EveryDrawCallMatchesTheSoftwareReferenceWithinTheEdgeDifferences) {
    // Pixels per case where the device's rasterisation rule places an edge differently from the software
    // road's: the device's line rule leaves out the first pixel of a steep line that the Bresenham walk
    // draws.
    struct Allowance {
        const char* Name;
        int Pixels;
    };
    const Allowance allowances[] = {
        {"steep line upwards", 1},
    };
    int totalEdges = 0;
    for (const DrawCase& c : Cases()) {
        Reset();
        EXPECT_EQ(c.Draw(graph), 0) << c.Name;
        Picture reference;
        c.Paint(reference);
        const std::vector<uint32_t> screen = Screen();
        ASSERT_EQ(screen.size(), (size_t)(Size * Size)) << c.Name;
        const PictureDifference difference = CompareWithReference(screen, reference);
        const int differing = difference.Pixels, worst = difference.Worst;
        const std::string& where = difference.Where;
        int allowed = 0;
        for (const Allowance& a : allowances)
            if (std::string(a.Name) == c.Name) allowed = a.Pixels;
        EXPECT_LE(differing, allowed) << c.Name << ": differing pixels" << where << ", largest gap " << worst;
        if (differing > 0) printf("[ edges    ] %s: %d pixel(s)%s\n", c.Name, differing, where.c_str());
        totalEdges += differing;
    }
    printf("[ edges    ] %d edge pixel(s) in all\n", totalEdges);
}

TEST_F(Draw2DDeviceTest, AThousandSpritesOfOneTextureAreOneDrawPerBatch) {
    Reset();
    DrawGraphAt(0, 0, graph, 1);   // the state settles on the first sprite
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    D3D11Call_ResetContextCallCounts();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(DrawGraphAt(i % 56, (i / 56) % 60, graph, 1), 0);
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    // 6,000 vertices in batches of at most 389 quads.
    const uint32_t batches = (1000 + 388) / 389;
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_Draw], batches);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_PSSetShaderResources], 0u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_OMSetBlendState], 0u);
}

TEST_F(Draw2DDeviceTest, AThickLineOfNoLengthWritesNoVertices) {
    Reset();
    const uint32_t before = D3D11VertexBatch.Pending;
    EXPECT_EQ(DrawLineSegment(30, 30, 30, 30, Code(Green), 5), 0);
    EXPECT_EQ(D3D11VertexBatch.Pending, before);
    // A quadrangle with a non-finite corner is refused before anything reaches the batch.
    EXPECT_EQ(Graphics_D3D11_DrawQuadF(0, 0, NAN, 0, 4, 4, 0, 4, Code(Green), 1), -1);
    EXPECT_EQ(D3D11VertexBatch.Pending, before);
}

TEST_F(Draw2DDeviceTest, ShapesWriteTheirVerticesWhereTheRulesSay) {
    Reset();
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    ASSERT_EQ(Graphics_D3D11_DrawLineSegment(0, 0, 10, 0, Code(Red)), 0);
    ASSERT_EQ(D3D11VertexBatch.Pending, 2u);
    const float* v = (const float*)(D3D11VertexBatch.Write - 40);
    EXPECT_FLOAT_EQ(v[0], 0.4f);
    EXPECT_FLOAT_EQ(v[5], 10.4f);
    // A box with its corners swapped writes the same six vertices; one clipped to nothing writes none.
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    ASSERT_EQ(Graphics_D3D11_DrawFillRect(20, 15, 10, 12, Code(Red)), 0);
    EXPECT_EQ(D3D11VertexBatch.Pending, 6u);
    ASSERT_EQ(Graphics_D3D11_DrawFillRect(-10, -10, -2, -2, Code(Red)), 0);
    EXPECT_EQ(D3D11VertexBatch.Pending, 6u);
    // A ring of thickness 1 is refused.
    EXPECT_EQ(Graphics_D3D11_DrawCircleThick(30, 30, 5, Code(Red), 1), -1);
}

TEST_F(Draw2DDeviceTest, ATranslucentDiscCoversEachScanLineOnce) {
    Reset();
    SetBlendModeAndParam(1, 128);
    ASSERT_EQ(DrawCircleShape(32, 32, 20, Code(White), 1, 1), 0);
    const std::vector<uint32_t> screen = Screen();
    const uint32_t once = PerChannel(White, Background, [](uint32_t s, uint32_t d) { return Mul(s, 128) + Mul(d, 127); });
    int inside = 0;
    for (uint32_t p : screen) {
        if (p == Background) continue;
        EXPECT_LE(ChannelGap(p, once), Tolerance);
        ++inside;
    }
    EXPECT_GT(inside, 1000);
}

TEST_F(Draw2DDeviceTest, ARingHasItsThicknessAndUserVerticesKeepTheirColourOrder) {
    Reset();
    ASSERT_EQ(DrawCircleShape(32, 32, 10, Code(White), 1, 3), 0);
    const std::vector<uint32_t> screen = Screen();
    auto at = [&](int x, int y) { return screen[(size_t)y * Size + x]; };
    EXPECT_EQ(at(32, 32), Background);
    for (int d = 0; d <= 14; ++d) EXPECT_EQ(at(32 + d, 32) == White, d >= 9 && d <= 11) << d;

    Vertex2D vertices[3] = {{0, 0, 0, 1, 0x10, 0x20, 0x30, 0xFF, 0, 0},
                            {8, 0, 0, 1, 0x10, 0x20, 0x30, 0xFF, 0, 0},
                            {0, 8, 0, 1, 0x10, 0x20, 0x30, 0xFF, 0, 0}};
    Reset();
    ASSERT_EQ(DrawVertices2D(vertices, 3, PRIMITIVE_TRIANGLELIST, DrawVertices2D_NoTexture, 0), 0);
    EXPECT_EQ(vertices[0].b, 0x10);
    EXPECT_EQ(vertices[0].r, 0x30);
    EXPECT_LE(ChannelGap(Screen()[Size + 1], 0x302010), Tolerance);
}


TEST_F(Draw2DDeviceTest, TrapezoidsAreTessellatedAndParallelogramsAreTwoTriangles) {
    Reset();
    D3D11Call_ResetContextCallCounts();
    ASSERT_EQ(DrawGraphQuadF(10, 10, 18, 14, 18, 18, 10, 14, graph, 0), 0);   // a parallelogram
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_DrawIndexed], 0u);
    ASSERT_EQ(DrawGraphQuadF(20, 20, 40, 20, 50, 50, 10, 50, graph, 0), 0);   // a trapezoid
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_DrawIndexed], 1u);
    const std::vector<uint32_t> screen = Screen();
    EXPECT_NE(screen[(size_t)35 * Size + 30], Background);
    EXPECT_EQ(screen[(size_t)22 * Size + 12], Background);
    EXPECT_NE(screen[(size_t)12 * Size + 14], Background);
}

TEST_F(Draw2DDeviceTest, OperationBodiesFollowTheirRules) {
    Reset();
    const bool bgra = GraphicsSystemState.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA] != 0;
    // The packed draw colour: alpha 255 in blend mode 0 whatever the parameter.
    SetBlendModeAndParam(0, 100);
    SetDrawColorBrightness(10, 20, 30);
    EXPECT_EQ(D3D11DrawColor, bgra ? 0xFF0A141Eu : 0xFF1E140Au);
    SetBlendModeAndParam(1, 100);
    EXPECT_EQ(D3D11DrawColor >> 24, 100u);
    Reset();

    // A draw area of no width leaves the viewport alone and fails.
    const D3D11_VIEWPORT viewport = D3D11StateCache.Viewport;
    const RECT area = DrawSettings.DrawArea;
    DrawSettings.DrawArea = {5, 5, 5, 10};
    EXPECT_EQ(Graphics_D3D11_DrawArea_Set(), -1);
    EXPECT_EQ(memcmp(&D3D11StateCache.Viewport, &viewport, sizeof(viewport)), 0);
    DrawSettings.DrawArea = area;

    // Colour add flushes every time, also with the same colour.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(DrawFilledRectangle(0, 0, 4, 4, Code(Red)), 0);
        EXPECT_GT(D3D11VertexBatch.Pending, 0u);
        EXPECT_EQ(Graphics_D3D11_ColorAdd_Set(1, 2, 3), 0);
        EXPECT_EQ(D3D11VertexBatch.Pending, 0u) << round;
    }

    // Shader creation with the free-after flag frees the caller's code also when it fails.
    const int32_t blocks = Memory_GetBlockCount();
    void* code = Memory_Allocate(16, __FILE__, __LINE__);
    memset(code, 0x55, 16);
    EXPECT_EQ(Graphics_D3D11_Shader_Create(-1, 1, code, 16, 1, 0), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST_F(Draw2DDeviceTest, ABlendGraphDrawsThroughItsVerticesAndAnAxisAlignedQuadrangleIsAStretch) {
    const int blend = MakeTestGraph();
    ASSERT_GE(blend, 0);
    const int params[1] = {128};
    Reset();
    ASSERT_EQ(Graphics_DrawSetting_SetBlendGraph(blend, 0, params), 0);
    ASSERT_EQ(DrawGraphStretched(8, 8, 24, 16, graph, 0), 0);
    EXPECT_EQ(D3D11VertexBatch.Kind, 2);
    const std::vector<uint32_t> stretched = Screen();
    EXPECT_NE(stretched[(size_t)12 * Size + 12], Background);

    Reset();
    ASSERT_EQ(Graphics_DrawSetting_SetBlendGraph(blend, 0, params), 0);
    ASSERT_EQ(DrawGraphQuadF(8, 8, 24, 8, 24, 16, 8, 16, graph, 0), 0);
    const std::vector<uint32_t> quad = Screen();
    int differing = 0;
    for (size_t i = 0; i < quad.size(); ++i) differing += quad[i] != stretched[i];
    EXPECT_EQ(differing, 0);
    Graphics_DrawSetting_SetBlendGraph(-1, 0, nullptr);
    DeleteGraph(blend);
}

namespace {

// A 16 x 12 picture that is no draw target (loaded from a base image), pixel (x, y) of a pattern.
uint32_t PicturePixel(int x, int y) { return 0xFF000000u | (uint32_t)(x * 15) << 16 | (uint32_t)(y * 20) << 8 | 0x40u; }

int MakePicture() {
    BaseImage image;
    if (BaseImage_CreateARGB8(16, 12, &image) < 0) return -1;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint32_t value = PicturePixel(x, y);
            memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &value, 4);
        }
    const int picture = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return picture;
}

}  // namespace

// A blend graph of kind 0 at full ratio shows its own texels: position mode 0 reads it from the blend
// position on at the drawn graph's top-left, mode 1 lays its top-left on the screen at the blend
// position. Both ways of putting the same texel under the same pixel give the same picture.
TEST_F(Draw2DDeviceTest, TheBlendGraphSitsWhereItsPositionAndModeSay) {
    const int blend = MakePicture(), drawn = MakePicture();
    ASSERT_GE(blend, 0);
    ASSERT_GE(drawn, 0);
    const int full[1] = {255};
    struct Case {
        int Mode, X, Y;
        int ShiftX, ShiftY;   // the blend texel under the drawn graph's pixel (0, 0)
    };
    const Case cases[] = {{0, 0, 0, 0, 0}, {0, 3, 2, 3, 2}, {1, 7, 8, 3, 2}, {1, 10, 10, 0, 0}};
    const int at = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Mode * 1000 + c.X * 10 + c.Y);
        Reset();
        ASSERT_EQ(SetBlendGraphPosition(c.X, c.Y, c.Mode), 0);
        ASSERT_EQ(Graphics_DrawSetting_SetBlendGraph(blend, 0, full), 0);
        ASSERT_EQ(DrawGraphAt(at, at, drawn, 0), 0);
        const std::vector<uint32_t> screen = Screen();
        ASSERT_EQ(screen.size(), (size_t)(Size * Size));
        int wrong = 0;
        for (int y = 0; y + c.ShiftY < 12; ++y)
            for (int x = 0; x + c.ShiftX < 16; ++x) {
                const uint32_t want = PicturePixel(x + c.ShiftX, y + c.ShiftY) & 0xFFFFFF;
                const uint32_t got = screen[(size_t)(at + y) * Size + at + x];
                if (ChannelGap(got, want) > 1 && wrong++ < 4) ADD_FAILURE() << x << ", " << y << std::hex << ": " << got << " for " << want;
            }
        EXPECT_EQ(wrong, 0);
        Graphics_DrawSetting_SetBlendGraph(-1, 0, nullptr);
    }
    EXPECT_EQ(SetBlendGraphPosition(0, 0, 2), -1);
    ASSERT_EQ(SetBlendGraphPosition(0, 0, 0), 0);
    DeleteGraph(blend);
    DeleteGraph(drawn);
}

// With the core's clamping switched off a graph reaching past the draw area keeps its own corners (the
// device cuts at the area's edge), and the picture is the one the clamped draw gives.
TEST_F(Draw2DDeviceTest, WithClampingOffAGraphKeepsItsCornersAndItsPicture) {
    const int drawn = MakePicture();
    ASSERT_GE(drawn, 0);
    std::vector<uint32_t> pictures[2];
    for (int off = 0; off < 2; ++off) {
        SCOPED_TRACE(off);
        Reset();
        Graphics_DrawSetting_SetDrawAreaRect(4, 4, Size, Size);
        ASSERT_EQ(Graphics_DrawSetting_SetDrawAreaClipOff(off), 0);
        Graphics_D3D11_VertexBatch_Flush(-1, 0);
        ASSERT_EQ(DrawGraphAt(-3, 10, drawn, 0), 0);
        ASSERT_EQ(D3D11VertexBatch.Pending, 6u);
        float topLeft[2];
        memcpy(topLeft, D3D11VertexBatch.Write - 6 * 28, sizeof(topLeft));
        EXPECT_EQ(topLeft[0], off ? -3.0f : 4.0f);
        EXPECT_EQ(topLeft[1], 10.0f);
        pictures[off] = Screen();
        ASSERT_EQ(pictures[off].size(), (size_t)(Size * Size));
    }
    Graphics_DrawSetting_SetDrawAreaClipOff(0);
    EXPECT_EQ(pictures[1], pictures[0]);
    EXPECT_EQ(pictures[0][(size_t)10 * Size + 4], PicturePixel(7, 0) & 0xFFFFFF);
    DeleteGraph(drawn);
}

// A rectangle filled into a loaded picture lands at its place, takes its own colour, and the picture
// keeps its source position, so that a restore brings the whole picture back.
TEST_F(Draw2DDeviceTest, FillingARectangleOfAPictureFillsThatRectangleAndKeepsItsSource) {
    const int picture = MakePicture();
    ASSERT_GE(picture, 0);
    ASSERT_EQ(FillGraphRect(picture, 5, 3, 6, 4, 200, 10, 30, 255), 0);
    const std::vector<uint32_t> filled = D3D11Test::ReadGraphTexture(picture, 0, 0, 16, 12);
    ASSERT_EQ(filled.size(), 16u * 12u);
    int wrong = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 5 && x < 11 && y >= 3 && y < 7;
            wrong += filled[(size_t)y * 16 + x] != (inside ? 0xFFC80A1Eu : PicturePixel(x, y));
        }
    EXPECT_EQ(wrong, 0);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(picture, 0);
    EXPECT_EQ(record->sourceX, 0);
    EXPECT_EQ(record->sourceY, 0);
    Graphics_Image_RestoreFromSourceInfo();
    const std::vector<uint32_t> restored = D3D11Test::ReadGraphTexture(picture, 0, 0, 16, 12);
    wrong = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) wrong += restored[(size_t)y * 16 + x] != PicturePixel(x, y);
    EXPECT_EQ(wrong, 0);
    DeleteGraph(picture);
}

// Filling a graph that shows part of its full image fills that part only: the neighbours on a draw
// target stay, and a part of a picture keeps its source position.
TEST_F(Draw2DDeviceTest, FillingAGraphThatShowsPartOfItsImageLeavesTheRestAlone) {
    const int target = CreateDrawableGraph(32, 16, 1);
    ASSERT_GE(target, 0);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(target, 0, 0, 255, 255), 0);
    const int piece = DeriveGraphRect(8, 4, 8, 8, target);
    ASSERT_GE(piece, 0);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(piece, 255, 0, 0, 255), 0);
    const std::vector<uint32_t> drawn = D3D11Test::ReadGraphTexture(target, 0, 0, 32, 16);
    ASSERT_EQ(drawn.size(), 32u * 16u);
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool inside = x >= 8 && x < 16 && y >= 4 && y < 12;
            wrong += drawn[(size_t)y * 32 + x] != (inside ? 0xFFFF0000u : 0xFF0000FFu);
        }
    EXPECT_EQ(wrong, 0);

    const int picture = MakePicture();
    ASSERT_GE(picture, 0);
    const int part = DeriveGraphRect(4, 2, 6, 5, picture);
    ASSERT_GE(part, 0);
    ASSERT_EQ(Graphics_Image_FillGraph_GParam(part, 0, 255, 0, 255), 0);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(part, 0);
    EXPECT_EQ(record->sourceX, 4);
    EXPECT_EQ(record->sourceY, 2);
    const std::vector<uint32_t> picked = D3D11Test::ReadGraphTexture(picture, 0, 0, 16, 12);
    wrong = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 4 && x < 10 && y >= 2 && y < 7;
            wrong += picked[(size_t)y * 16 + x] != (inside ? 0xFF00FF00u : PicturePixel(x, y));
        }
    EXPECT_EQ(wrong, 0);
    for (int g : {part, picture, piece, target}) DeleteGraph(g);
}

// Grids of up to 1,000 columns: a row pair that does not fit one piece of 1,000 indices is drawn alone.
TEST_F(Draw2DDeviceTest, GridsOfManyColumnsAreDrawnInPiecesOfWholeRowPairs) {
    Reset();
    struct Case {
        int Columns, Rows;
        uint32_t Draws;
    };
    for (const Case& c : {Case{8, 8, 1}, Case{400, 3, 2}, Case{502, 3, 2}, Case{1000, 2, 1}, Case{1000, 3, 2}}) {
        SCOPED_TRACE(c.Columns);
        std::vector<uint8_t> vertices((size_t)c.Columns * c.Rows * 28, 0);
        Graphics_D3D11_VertexBatch_Flush(-1, 0);
        D3D11Call_ResetContextCallCounts();
        EXPECT_EQ(Graphics_D3D11_GenericDraw_DrawGrid(vertices.data(), c.Columns, c.Rows), 0);
        EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_DrawIndexed], c.Draws);
    }
    EXPECT_EQ(Graphics_D3D11_GenericDraw_DrawGrid(nullptr, 1001, 2), -1);
}

// Scaled text on the device: glyphs are stretched by the scale, so that text at scale 2 covers twice
// the height and width of the same text at scale 1.
TEST_F(Draw2DDeviceTest, ScaledTextStretchesItsGlyphs) {
    const int font = CreateFontToHandle(nullptr, 12, 3, VT_FONTTYPE_NORMAL, CharSet_ShiftJis, -1, 0, -1);
    ASSERT_GE(font, 0);
    auto inkBox = [&](double scale) {
        Reset();
        if (scale == 1.0) EXPECT_EQ(DrawTextToHandleW(2, 2, L"HH", 2, Code(White), font, 0, 0), 0);
        else EXPECT_EQ(DrawScaledTextToHandleW(2, 2, scale, scale, L"HH", 2, Code(White), font, 0, 0), 0);
        const std::vector<uint32_t> screen = Screen();
        RECT box = {Size, Size, -1, -1};
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x)
                if (screen[(size_t)y * Size + x] != Background) {
                    box.left = std::min<LONG>(box.left, x), box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1), box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    };
    const RECT plain = inkBox(1.0), doubled = inkBox(2.0);
    ASSERT_GT(plain.right - plain.left, 2);
    ASSERT_GT(plain.bottom - plain.top, 4);
    EXPECT_NEAR(doubled.right - doubled.left, 2 * (plain.right - plain.left), 2);
    EXPECT_NEAR(doubled.bottom - doubled.top, 2 * (plain.bottom - plain.top), 2);
    DeleteFontToHandle(font);
}
