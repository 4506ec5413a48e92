// Two-dimensional drawing on Wine's Direct3D 9 device: every case of a table of draw bodies (graphs at a
// position, stretched, mirrored, clamped, on a quadrangle, of two textures, with a blend graph; boxes,
// outlines, lines, circles, discs, rings, quadrangles, user vertices; blend modes) is read back from the
// back buffer and held to the reference picture the software road draws, within 2 per channel in every
// pixel, on the fixed-function road and on the built-in shader road. Also where the bodies put their
// vertices, the cheap path of the draw preparation and the state it leaves, batching, and the grid of
// tessellated quadrangles.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../graphics/Draw2DCases.h"
#include "D3D9TestSupport.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Draw.h"
#include "graphics_d3d9/VtGraphicsD3D9GraphDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9Shape.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace D3D9Test;
using namespace Draw2DCases;

namespace {

constexpr int Tolerance = DeviceTolerance;

// A graph the way the core lays one out on the device: a full image of `parts` texture parts side by
// side, each of its own A8R8G8B8 texture, and one division per part; pixel (x, y) is colour(x, y).
struct DeviceGraph {
    GraphOrigRecord Orig = {};
    std::vector<GraphTexturePart> Parts;
    std::vector<std::vector<void*>> Areas;
    int Handle = -1;
    GraphHandleRecord* Record = nullptr;
};

}  // namespace

// The back-end started as for every test here, without the base fixture's own stage states (written past
// the cache, which the derived set-up compares with).
class D3D9Draw : public ::testing::Test {
protected:
    std::vector<DeviceGraph*> Graphs;
    bool OwnHandleType = false;
    GraphHandleRecord* TestGraph = nullptr;   // the shared table's 8 x 4 graph

    void SetUp() override {
        ASSERT_EQ(StartBackEnd(), 0);
        D3D9Call_ResetDeviceCallCounts();
        if (!HandleManagerTable[HandleType_Graph].Initialized) {
            ASSERT_EQ(Handle_Type_Setup(HandleType_Graph, sizeof(GraphHandleRecord), 64, nullptr, nullptr, nullptr, L"Graph"), 0);
            OwnHandleType = true;
        }
        // The fixed-function road unless a test makes the built-in shaders.
        GraphicsSystemState.ShadersUsable = 0;
        TestGraph = MakeGraph(GraphWidth, GraphHeight, 1, [](int x, int y) { return GraphAlpha(x, y) << 24 | GraphColour(x, y); });
        ASSERT_NE(TestGraph, nullptr);
        Reset();
    }

    void TearDown() override {
        Graphics_D3D9_VertexBatch_Flush(0);
        Graphics_D3D9_StateCache_SetDrawTexture(nullptr);
        Graphics_D3D9_StateCache_SetBlendTexture(nullptr, 0, 0);
        Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 0);
        for (DeviceGraph* graph : Graphs) {
            Graphics_D3D9_Texture_Release(&graph->Orig);
            Handle_DeleteNow(graph->Handle);
            delete graph;
        }
        Graphs.clear();
        Graphics_D3D9_SysMemPool_ReleaseAll();
        if (OwnHandleType) Handle_Type_Shutdown(HandleType_Graph);
        Graphics_D3D9_Shader_ReleaseAll();
        EndBackEnd();
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    }

    GraphHandleRecord* MakeGraph(int width, int height, int parts, const std::function<uint32_t(int, int)>& colour) {
        DeviceGraph* graph = new DeviceGraph;
        Graphs.push_back(graph);
        const int partWidth = width / parts;
        graph->Parts.resize((size_t)parts);
        graph->Areas.assign((size_t)parts, std::vector<void*>(GraphOrig_PlatformAreaSlots, nullptr));
        GraphOrigRecord& orig = graph->Orig;
        orig.colorFormatIndex = 9;   // 32 bits with alpha
        orig.format.hardware = 1;
        orig.format.alpha = 1;
        orig.width = width, orig.height = height;
        orig.mipLevels = 1;
        orig.partCount = parts;
        orig.parts = graph->Parts.data();
        for (int i = 0; i < parts; ++i)
            graph->Parts[(size_t)i] = {graph->Areas[(size_t)i].data(), i * partWidth, 0, partWidth, height, partWidth, height};
        graph->Handle = Handle_New(HandleType_Graph, 0, -1);
        GraphHandleRecord* record = (GraphHandleRecord*)Handle_GetRecord(graph->Handle);
        if (record == nullptr || parts > GraphHandle_InlineDrawParts) return nullptr;
        record->Orig = &orig;
        record->Width = width, record->Height = height;
        record->widthF = (float)width, record->heightF = (float)height;
        record->drawPartCount = parts;
        for (int i = 0; i < parts; ++i) {
            GraphDrawPart& division = record->drawParts[i];
            const float left = (float)(i * partWidth), right = left + (float)partWidth, bottom = (float)height;
            division.width = partWidth, division.height = height;
            division.widthF = (float)partWidth, division.heightF = (float)height;
            division.vertices[0] = {left, 0, 0, 0};
            division.vertices[1] = {right, 0, 1, 0};
            division.vertices[2] = {left, bottom, 0, 1};
            division.vertices[3] = {right, bottom, 1, 1};
            division.part = &graph->Parts[(size_t)i];
        }
        if (Graphics_D3D9_OrigTexture_Create(&orig, nullptr) < 0) return nullptr;
        BaseImage image;
        if (BaseImage_CreateARGB8(width, height, &image) < 0) return nullptr;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t pixel = colour(x, y);
                memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &pixel, 4);
            }
        const RECT whole = {0, 0, width, height};
        const int sent = Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &image, nullptr, 0, 0, 1, nullptr);
        BaseImage_Release(&image);
        return sent == 0 ? record : nullptr;
    }

    // The core's draw settings of a fresh start over the whole 64 x 64 screen, cleared to the background.
    void Reset() {
        Graphics_D3D9_VertexBatch_Flush(0);
        DrawSettingsRecord& s = DrawSettings;
        s = {};
        for (int i = 0; i < 16; ++i) s.AddressModeU[i] = s.AddressModeV[i] = s.AddressModeW[i] = D3DTADDRESS_CLAMP;
        s.BlendGraph = -1;
        s.DepthNormal[2] = s.Depth3D[2] = D3DCMP_LESSEQUAL;
        s.DrawZ2D = 0.2f;
        s.MaxAnisotropy = 1;
        s.CullMode = 3;
        s.AlphaTestMode = -1;
        s.BlendParam = 255;
        s.DrawBright = 0xFFFFFF;
        SetArea(0, 0, Size, Size);
        s.StateChanged = 1;
        D3D9VertexBatch.Diffuse = 0xFFFFFFFF;
        D3D9Call_Device_BeginSceneOnce();
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000 | Background, 1.0f, 0);
    }

    static void SetArea(int left, int top, int right, int bottom) {
        DrawSettings.DrawArea = {left, top, right, bottom};
        const float f[4] = {(float)left, (float)top, (float)right, (float)bottom};
        memcpy(DrawSettings.DrawAreaF, f, sizeof(f));
    }

    // The blend mode as the core sets it, with the diffuse alpha the diffuse refresh gives it.
    static void Blend(int mode, int param) {
        DrawSettings.BlendMode = mode;
        DrawSettings.BlendParam = param;
        DrawSettings.StateChanged = 1;
        D3D9VertexBatch.Diffuse = (mode != 0 ? (uint32_t)param << 24 : 0xFF000000u) | 0xFFFFFF;
    }

    std::vector<uint32_t> Screen() {
        Graphics_D3D9_VertexBatch_Flush(0);
        return ReadBackBuffer(Size, Size);
    }

    int DrawAt(GraphHandleRecord* graph, int x, int y, int transparent, GraphHandleRecord* blend = nullptr) {
        return Graphics_D3D9_DrawGraphAt(x, y, (float)x, (float)y, graph, blend, transparent, 1);
    }
    int Stretch(GraphHandleRecord* graph, int x1, int y1, int x2, int y2, int transparent) {
        return Graphics_D3D9_DrawGraphStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, graph, nullptr,
                                                transparent, 1);
    }
};

TEST_F(D3D9Draw, EveryDrawMatchesTheSoftwareReferenceOnBothRoads) {
    GraphHandleRecord* wide = MakeGraph(16, 4, 2, [](int x, int y) { return 0xFF000000u | GraphColour(x / 2, y); });
    ASSERT_NE(wide, nullptr);
    GraphHandleRecord* g = TestGraph;
    auto graphAt = [](int x0, int y0) { return [=](int i, int j, int* x, int* y) { *x = x0 + i, *y = y0 + j; }; };
    const std::vector<DrawCase> cases = {
        {"filled box", [](int) { return Graphics_D3D9_DrawFillRect(10, 12, 20, 15, Code(Red)); },
         [](Picture& p) { p.Box(10, 12, 20, 15, Red); }},
        {"box with swapped corners", [](int) { return Graphics_D3D9_DrawFillRect(20, 15, 10, 12, Code(Red)); },
         [](Picture& p) { p.Box(10, 12, 20, 15, Red); }},
        {"box partly off the screen", [](int) { return Graphics_D3D9_DrawFillRect(-5, 60, 3, 70, Code(Green)); },
         [](Picture& p) { p.Box(0, 60, 3, 64, Green); }},
        {"outline", [](int) { return Graphics_D3D9_DrawRectOutline(5, 5, 15, 10, Code(Green), 1); },
         [](Picture& p) { p.Art(5, 5, {"##########", "#........#", "#........#", "#........#", "##########"}, Green); }},
        {"outline two thick", [](int) { return Graphics_D3D9_DrawRectOutline(10, 10, 20, 20, Code(Green), 2); },
         [](Picture& p) { p.Box(10, 10, 20, 12, Green), p.Box(10, 18, 20, 20, Green), p.Box(10, 12, 12, 18, Green), p.Box(18, 12, 20, 18, Green); }},
        {"outline three thick", [](int) { return Graphics_D3D9_DrawRectOutline(10, 10, 20, 20, Code(Green), 3); },
         [](Picture& p) { p.Box(9, 9, 21, 12, Green), p.Box(9, 18, 21, 21, Green), p.Box(9, 12, 12, 18, Green), p.Box(18, 12, 21, 18, Green); }},
        {"horizontal line", [](int) { return Graphics_D3D9_DrawLineSegment(3, 3, 10, 3, Code(Red)); },
         [](Picture& p) { p.Box(3, 3, 10, 4, Red); }},
        {"line drawn right to left", [](int) { return Graphics_D3D9_DrawLineSegment(10, 3, 3, 3, Code(Red)); },
         [](Picture& p) { p.Box(4, 3, 11, 4, Red); }},
        {"vertical line", [](int) { return Graphics_D3D9_DrawLineSegment(3, 3, 3, 10, Code(Red)); },
         [](Picture& p) { p.Box(3, 3, 4, 10, Red); }},
        {"diagonal line", [](int) { return Graphics_D3D9_DrawLineSegment(0, 0, 5, 5, Code(Red)); },
         [](Picture& p) { for (int i = 0; i < 5; ++i) p.Put(i, i, Red); }},
        {"circle", [](int) { return Graphics_D3D9_DrawCircle(20, 20, 3, Code(White), 0, 0, 0); },
         [](Picture& p) { p.Art(17, 17, {"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."}, White); }},
        {"disc", [](int) { return Graphics_D3D9_DrawCircle(42, 12, 2, Code(White), 1, 0, 0); },
         [](Picture& p) { p.Art(40, 10, {".###.", "#####", "#####", "#####", ".###."}, White); }},
        {"disc of even width and height", [](int) { return Graphics_D3D9_DrawCircle(42, 32, 2, Code(White), 1, 1, 1); },
         [](Picture& p) { p.Art(40, 30, {".##.", "####", "####", ".##."}, White); }},
        {"circle of radius 0", [](int) { return Graphics_D3D9_DrawCircle(30, 50, 0, Code(White), 0, 0, 0); },
         [](Picture& p) { p.Put(30, 50, White); }},
        {"disc over the whole screen", [](int) { return Graphics_D3D9_DrawCircle(32, 32, 2147483600, Code(White), 1, 0, 0); },
         [](Picture& p) { p.Box(0, 0, Size, Size, White); }},
        {"bottom of a large circle", [](int) { return Graphics_D3D9_DrawCircle(32, -99970, 100000, Code(White), 0, 0, 0); },
         [](Picture& p) { PaintCircle(p, 32, -99970, 100000, White, false); }},
        {"right edge of a large disc far above", [](int) { return Graphics_D3D9_DrawCircle(-99958, -1000, 100000, Code(White), 1, 0, 0); },
         [](Picture& p) { PaintCircle(p, -99958, -1000, 100000, White, true); }},
        {"ring", [](int) { return Graphics_D3D9_DrawCircleThick(32, 32, 10, Code(White), 3); },
         [](Picture& p) {
             // The rows of the ring as the core lays them out for every road.
             std::vector<int16_t> rows(Size * 5, 0);
             CircleSpanTable table = {(int16_t(*)[5])rows.data(), Size};
             Graphics_Draw_SetCircleSpanPoint(32, 32, 10, 3, &table);
             for (int y = 0; y < Size; ++y) {
                 const int16_t* e = table.Rows[y];
                 if ((e[4] & 3) != 3) continue;
                 const bool hole = (e[4] & 12) && e[2] < e[3];
                 for (int x = e[0]; x <= e[1]; ++x)
                     if (!hole || x <= e[2] || x >= e[3]) p.Put(x, y, White);
             }
         }},
        {"filled quadrangle", [](int) { return Graphics_D3D9_DrawQuadF(30, 40, 40, 40, 40, 48, 30, 48, Code(Green), 1); },
         [](Picture& p) { p.Box(30, 40, 40, 48, Green); }},
        {"filled quadrangle in the other winding", [](int) { return Graphics_D3D9_DrawQuadF(40, 40, 30, 40, 30, 48, 40, 48, Code(Green), 1); },
         [](Picture& p) { p.Box(30, 40, 40, 48, Green); }},
        {"graph without transparency", [g](int) { return Graphics_D3D9_DrawGraphAt(5, 40, 5.0f, 40.0f, g, nullptr, 0, 1); },
         [=](Picture& p) { PaintGraph(p, false, graphAt(5, 40)); }},
        {"graph with transparency", [g](int) { return Graphics_D3D9_DrawGraphAt(5, 40, 5.0f, 40.0f, g, nullptr, 1, 1); },
         [=](Picture& p) { PaintGraph(p, true, graphAt(5, 40)); }},
        {"graph partly off the screen", [g](int) { return Graphics_D3D9_DrawGraphAt(60, -2, 60.0f, -2.0f, g, nullptr, 0, 1); },
         [=](Picture& p) { PaintGraph(p, false, graphAt(60, -2)); }},
        {"graph clamped at the draw area's left", [g](int) {
             SetArea(8, 0, Size, Size);
             return Graphics_D3D9_DrawGraphAt(5, 20, 5.0f, 20.0f, g, nullptr, 0, 1);
         },
         [=](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 5 + i < 8 ? -1 : 5 + i, *y = 20 + j; });
         }},
        {"graph stretched twice", [g](int) { return Graphics_D3D9_DrawGraphStretched(20, 44, 36, 52, 20, 44, 36, 52, g, nullptr, 0, 1); },
         [](Picture& p) {
             for (int y = 0; y < 8; ++y)
                 for (int x = 0; x < 16; ++x) p.Put(20 + x, 44 + y, GraphColour(x / 2, y / 2));
         }},
        {"graph mirrored left to right", [g](int) { return Graphics_D3D9_DrawGraphStretched(38, 5, 30, 9, 38, 5, 30, 9, g, nullptr, 0, 1); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 30 + GraphWidth - 1 - i, *y = 5 + j; });
         }},
        {"graph of two textures", [wide](int) { return Graphics_D3D9_DrawGraphAt(40, 50, 40.0f, 50.0f, wide, nullptr, 0, 1); },
         [](Picture& p) {
             for (int y = 0; y < 4; ++y)
                 for (int x = 0; x < 16; ++x) p.Put(40 + x, 50 + y, GraphColour(x / 2, y));
         }},
        {"graph on a free quadrangle in place", [g](int) { return Graphics_D3D9_DrawGraphQuadF(10, 20, 18, 20, 10, 24, 18, 24, g, nullptr, 1, 0); },
         [=](Picture& p) { PaintGraph(p, true, graphAt(10, 20)); }},
        {"graph turned a quarter on a quadrangle", [g](int) { return Graphics_D3D9_DrawGraphQuadF(24, 20, 24, 28, 20, 20, 20, 28, g, nullptr, 0, 0); },
         [](Picture& p) { PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 23 - j, *y = 20 + i; }); }},
        {"graph on an integer quadrangle", [g](int) { return Graphics_D3D9_DrawGraphQuad(10, 30, 18, 30, 10, 34, 18, 34, g, nullptr, 0, 0); },
         [=](Picture& p) { PaintGraph(p, false, graphAt(10, 30)); }},
        {"alpha blended box", [](int) {
             Blend(1, 128);
             return Graphics_D3D9_DrawFillRect(0, 0, 8, 8, Code(Red));
         },
         [](Picture& p) {
             p.Box(0, 0, 8, 8, PerChannel(Red, Background, [](uint32_t s, uint32_t d) { return Mul(s, 128) + Mul(d, 127); }));
         }},
        {"added graph", [g](int) {
             Blend(2, 255);
             return Graphics_D3D9_DrawGraphAt(5, 40, 5.0f, 40.0f, g, nullptr, 0, 1);
         },
         [](Picture& p) {
             for (int j = 0; j < GraphHeight; ++j)
                 for (int i = 0; i < GraphWidth; ++i)
                     p.At(5 + i, 40 + j) = PerChannel(GraphColour(i, j), Background,
                                                      [&](uint32_t s, uint32_t d) { return std::min<uint32_t>(255, Mul(s, 255) + d); });
         }},
        {"user triangles with their colours", [](int) {
             const uint32_t c = 0xFF405060;
             struct V { float X, Y, Z, Rhw; uint32_t C; float U, V_; };
             static V v[6];
             const V corners[6] = {{9.5f, 29.5f, 0, 1, c, 0, 0}, {15.5f, 29.5f, 0, 1, c, 0, 0}, {9.5f, 33.5f, 0, 1, c, 0, 0},
                                   {15.5f, 33.5f, 0, 1, c, 0, 0}, {9.5f, 33.5f, 0, 1, c, 0, 0}, {15.5f, 29.5f, 0, 1, c, 0, 0}};
             memcpy(v, corners, sizeof(v));
             return Graphics_D3D9_DrawPrimitive2DUser(v, 6, PRIMITIVE_TRIANGLELIST, nullptr, 0, 0, 0, 0, 0);
         },
         [](Picture& p) { p.Box(10, 30, 16, 34, 0x405060); }},
        {"user vertices with a graph", [g](int) {
             struct V { float X, Y, Z, Rhw; uint32_t C; float U, V_; };
             static V v[4];
             const V corners[4] = {{29.5f, 9.5f, 0, 1, 0xFFFFFFFF, 0, 0}, {37.5f, 9.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                                   {29.5f, 13.5f, 0, 1, 0xFFFFFFFF, 0, 1}, {37.5f, 13.5f, 0, 1, 0xFFFFFFFF, 1, 1}};
             memcpy(v, corners, sizeof(v));
             return Graphics_D3D9_DrawPrimitive2DUser(v, 4, PRIMITIVE_TRIANGLESTRIP, g, 0, 0, 0, 0, 0);
         },
         [=](Picture& p) { PaintGraph(p, false, graphAt(30, 10)); }},
    };
    for (const int shaders : {0, 1}) {
        SCOPED_TRACE(shaders ? "built-in shaders" : "fixed function");
        GraphicsSystemState.ShadersUsable = shaders;
        if (shaders) {
            ASSERT_EQ(Graphics_D3D9_Shader_Initialize(), 1);
            ASSERT_EQ(GraphicsSystemState.ShadersUsable, 1);
        }
        for (const DrawCase& c : cases) {
            Reset();
            EXPECT_EQ(c.Draw(0), 0) << c.Name;
            Picture reference;
            c.Paint(reference);
            const std::vector<uint32_t> screen = Screen();
            ASSERT_EQ(screen.size(), (size_t)(Size * Size)) << c.Name;
            const PictureDifference difference = CompareWithReference(screen, reference);
            EXPECT_EQ(difference.Pixels, 0) << c.Name << ": differing pixels" << difference.Where << ", largest gap "
                                            << difference.Worst;
        }
    }
}

TEST_F(D3D9Draw, BodiesPutTheirVerticesWhereTheRulesSay) {
    // A graph at (10, 20) starts half a pixel up and left of its place.
    ASSERT_EQ(DrawAt(TestGraph, 10, 20, 0), 0);
    ASSERT_EQ(D3D9VertexBatch.Count, 6u);
    const float* v = (const float*)(D3D9VertexBatch.Write - 6 * 28);
    EXPECT_FLOAT_EQ(v[0], 9.5f);
    EXPECT_FLOAT_EQ(v[1], 19.5f);
    EXPECT_FLOAT_EQ(v[2], 0.2f);
    // Half outside the left edge: clamped there, its texture coordinate starting at the matching texel.
    Graphics_D3D9_VertexBatch_Flush(0);
    ASSERT_EQ(DrawAt(TestGraph, -3, 10, 0), 0);
    v = (const float*)(D3D9VertexBatch.Write - 6 * 28);
    EXPECT_FLOAT_EQ(v[0], -0.5f);
    EXPECT_FLOAT_EQ(v[5], 3.0f / GraphWidth);
    // With the clamping switched off the graph keeps its corners.
    DrawSettings.DrawAreaClipOff = 1;
    ASSERT_EQ(DrawAt(TestGraph, -3, 10, 0), 0);
    v = (const float*)(D3D9VertexBatch.Write - 6 * 28);
    EXPECT_FLOAT_EQ(v[0], -3.5f);
    EXPECT_FLOAT_EQ(v[5], 0.0f);
    DrawSettings.DrawAreaClipOff = 0;
    // Wholly outside: nothing, and no failure.
    const uint32_t before = D3D9VertexBatch.Count;
    EXPECT_EQ(DrawAt(TestGraph, 70, 10, 0), 0);
    EXPECT_EQ(D3D9VertexBatch.Count, before);

    // A vertical line ends 0.1 short of its end; a box outside the area writes nothing.
    ASSERT_EQ(Graphics_D3D9_DrawLineSegment(5, 5, 5, 10, Code(Red)), 0);
    v = (const float*)(D3D9VertexBatch.Write - 20);
    EXPECT_FLOAT_EQ(v[1], 9.9f);
    EXPECT_EQ(Graphics_D3D9_DrawLineSegment(7, 7, 7, 7, Code(Red)), 0);
    const uint32_t lines = D3D9VertexBatch.Count;
    EXPECT_EQ(Graphics_D3D9_DrawFillRect(-10, -10, -2, -2, Code(Red)), 0);
    EXPECT_EQ(D3D9VertexBatch.Count, lines);

    // What the bodies refuse or leave alone.
    EXPECT_EQ(Graphics_D3D9_DrawCircleThick(30, 30, 5, Code(Red), 1), -1);
    EXPECT_EQ(Graphics_D3D9_DrawGraphStretched(5, 5, 5, 9, 5, 5, 5, 9, TestGraph, nullptr, 0, 1), -1);
    EXPECT_EQ(Graphics_D3D9_DrawQuadF(0, 0, NAN, 0, 4, 4, 0, 4, Code(Green), 1), -1);
    EXPECT_EQ(Graphics_D3D9_DrawGridMesh(nullptr, 1, 8), -1);
    Graphics_D3D9_VertexBatch_Flush(0);
    D3D9Call_ResetDeviceCallCounts();
    const float user[7 * 3] = {};
    EXPECT_EQ(Graphics_D3D9_DrawPrimitive2DUser(user, 3, 7, nullptr, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), 0u);
}

TEST_F(D3D9Draw, RepeatedDrawsPrepareOnceAndShareBatches) {
    ASSERT_EQ(DrawAt(TestGraph, 0, 0, 1), 0);   // the state settles on the first sprite
    Graphics_D3D9_VertexBatch_Flush(0);
    D3D9Call_ResetDeviceCallCounts();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(DrawAt(TestGraph, i % 56, (i / 56) % 60, 1), 0);
    Graphics_D3D9_VertexBatch_Flush(0);
    // 6,000 vertices in batches of at most 389 quads, and not one state call between them.
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), (1000u + 388u) / 389u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetRenderState), 0u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_SetTexture), 0u);

    // A graph of two textures draws each texture's quad in its own call.
    GraphHandleRecord* wide = MakeGraph(16, 4, 2, [](int x, int y) { return 0xFF000000u | GraphColour(x / 2, y); });
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(DrawAt(wide, 0, 0, 0), 0);
    Graphics_D3D9_VertexBatch_Flush(0);
    D3D9Call_ResetDeviceCallCounts();
    ASSERT_EQ(DrawAt(wide, 4, 4, 0), 0);
    Graphics_D3D9_VertexBatch_Flush(0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawPrimitiveUP), 2u);
}

TEST_F(D3D9Draw, ThePreparationFollowsTheFlagWordAndTheSettings) {
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    D3D9NormalDrawStateRecord& normal = D3D9NormalDrawState;
    // Without the culling flag culling stays off whatever the settings say; with it the settings hold.
    DrawSettings.CullMode = 2;
    Graphics_D3D9_PrepareDrawState(D3D9DRAWPREP_SHAPE_2D);
    EXPECT_EQ(cache.CullMode, 0);
    Graphics_D3D9_PrepareDrawState(D3D9DRAWPREP_SHAPE_2D | D3D9DRAWPREP_CULLING);
    EXPECT_EQ(cache.CullMode, 2);
    Graphics_D3D9_PrepareDrawState(D3D9DRAWPREP_SHAPE_2D);
    EXPECT_EQ(cache.CullMode, 0);

    // The alpha wishes of a graph with an alpha channel (T alpha test, B alpha blend).
    struct Case {
        uint32_t Flags;
        int BlendMode, DrawMode;
        int Test, Blend;
    };
    const uint32_t graph = D3D9DRAWPREP_TEXTURED | D3D9DRAWPREP_TRANS;
    const Case cases[] = {
        {graph | D3D9DRAWPREP_ALPHA_CHANNEL, 0, 1, 0, 1},                                   // fractional, bilinear
        {graph | D3D9DRAWPREP_ALPHA_CHANNEL | D3D9DRAWPREP_PIXEL_EXACT, 0, 1, 0, 1},        // its own alpha
        {graph | D3D9DRAWPREP_CUT_OUT | D3D9DRAWPREP_PIXEL_EXACT, 0, 1, 1, 0},              // cut-out: a test
        {graph | D3D9DRAWPREP_CUT_OUT, 0, 0, 1, 0},
        {graph | D3D9DRAWPREP_CUT_OUT, 1, 0, 0, 1},                                         // blending modes blend
        {D3D9DRAWPREP_TEXTURED | D3D9DRAWPREP_ALPHA_CHANNEL, 1, 0, 0, 0},                   // no trans flag
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Flags);
        DrawSettings.BlendMode = c.BlendMode;
        DrawSettings.DrawMode = c.DrawMode;
        Graphics_D3D9_PrepareDrawState(c.Flags);
        EXPECT_EQ(normal.AlphaTestWanted, c.Test);
        EXPECT_EQ(normal.AlphaBlendWanted, c.Blend);
        EXPECT_EQ(cache.FilterMode, c.DrawMode);
    }
    Reset();

    // The same draw again prepares nothing and flushes nothing.
    ASSERT_EQ(Graphics_D3D9_DrawFillRect(0, 0, 4, 4, Code(Red)), 0);
    D3D9Call_ResetDeviceCallCounts();
    EXPECT_FALSE(Graphics_D3D9_DrawStateNeedsPrepare(D3D9DRAWPREP_SHAPE_2D));
    ASSERT_EQ(Graphics_D3D9_DrawFillRect(4, 0, 8, 4, Code(Red)), 0);
    EXPECT_EQ(AllDeviceCalls(), 0u);
    EXPECT_EQ(D3D9VertexBatch.Count, 12u);

    // From a graph to a shape: the draw texture goes (the graph's quads first), the set-up runs again.
    ASSERT_EQ(DrawAt(TestGraph, 10, 10, 0), 0);
    EXPECT_NE(normal.DrawTexture, nullptr);
    ASSERT_EQ(Graphics_D3D9_DrawFillRect(0, 0, 4, 4, Code(Red)), 0);
    EXPECT_EQ(normal.DrawTexture, nullptr);
    EXPECT_EQ(D3D9VertexBatch.Layout, 0);
    EXPECT_EQ(D3D9VertexBatch.Count, 6u);

    // A user pixel shader stays bound through a draw without the keep-shaders flag; the state refresh
    // (the force flag) drops it.
    IDirect3DPixelShader9* user = nullptr;
    static const DWORD code[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};   // ps_2_0: mov oC0, c0
    ASSERT_EQ(D3D9Call_Device_CreatePixelShader(code, &user), D3D_OK);
    ASSERT_EQ(Graphics_D3D9_StateCache_SetPixelShader(user, 1), 0);
    Graphics_D3D9_PrepareDrawState(D3D9DRAWPREP_SHAPE_2D | D3D9DRAWPREP_FOG);
    EXPECT_EQ(cache.PixelShader, user);
    cache.Force = 1;
    Graphics_D3D9_PrepareDrawState(D3D9DRAWPREP_SHAPE_2D);
    cache.Force = 0;
    EXPECT_EQ(cache.PixelShader, nullptr);
    D3D9Call_Object_Release(user);

    // The scene end: its result with a scene open, 1 without one.
    D3D9Call_Device_BeginSceneOnce();
    EXPECT_EQ(Graphics_D3D9_EndSceneIfOpen(), D3D_OK);
    EXPECT_EQ(cache.Scene, 0);
    EXPECT_EQ(Graphics_D3D9_EndSceneIfOpen(), 1);
}

TEST_F(D3D9Draw, ATranslucentDiscCoversEachRowOnce) {
    Blend(1, 128);
    ASSERT_EQ(Graphics_D3D9_DrawCircle(32, 32, 20, Code(White), 1, 0, 0), 0);
    const std::vector<uint32_t> screen = Screen();
    ASSERT_EQ(screen.size(), (size_t)(Size * Size));
    const uint32_t once = PerChannel(White, Background, [](uint32_t s, uint32_t d) { return Mul(s, 128) + Mul(d, 127); });
    int inside = 0;
    for (uint32_t p : screen) {
        if (p == Background) continue;
        EXPECT_LE(ChannelGap(p, once), Tolerance);
        ++inside;
    }
    EXPECT_GT(inside, 1000);
}

TEST_F(D3D9Draw, TrapezoidsAreGridsAndParallelogramsTwoTriangles) {
    D3D9Call_ResetDeviceCallCounts();
    ASSERT_EQ(Graphics_D3D9_DrawGraphQuadF(10, 10, 18, 14, 10, 14, 18, 18, TestGraph, nullptr, 0, 0), 0);
    Graphics_D3D9_VertexBatch_Flush(0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawIndexedPrimitiveUP), 0u);
    ASSERT_EQ(Graphics_D3D9_DrawGraphQuadF(20, 20, 40, 20, 10, 50, 50, 50, TestGraph, nullptr, 0, 0), 0);
    EXPECT_EQ(DeviceCalls(D3D9CALL_DrawIndexedPrimitiveUP), 1u);
    // A mirrored quadrangle is drawn all the same.
    ASSERT_EQ(Graphics_D3D9_DrawGraphQuadF(60, 2, 52, 2, 60, 6, 52, 6, TestGraph, nullptr, 0, 0), 0);
    const std::vector<uint32_t> screen = Screen();
    ASSERT_EQ(screen.size(), (size_t)(Size * Size));
    EXPECT_NE(screen[(size_t)35 * Size + 30], Background);
    EXPECT_EQ(screen[(size_t)22 * Size + 12], Background);
    EXPECT_NE(screen[(size_t)12 * Size + 14], Background);
    EXPECT_EQ(screen[(size_t)2 * Size + 59], GraphColour(0, 0));

    // Grids of many columns are drawn in pieces of whole row pairs below 1000 indices.
    struct Case {
        int Columns, Rows;
        uint32_t Draws;
    };
    for (const Case& c : {Case{8, 8, 1}, Case{400, 3, 2}, Case{498, 2, 1}}) {
        SCOPED_TRACE(c.Columns);
        std::vector<uint8_t> vertices((size_t)c.Columns * c.Rows * 28, 0);
        D3D9Call_ResetDeviceCallCounts();
        EXPECT_EQ(Graphics_D3D9_DrawGridMesh(vertices.data(), c.Columns, c.Rows), 0);
        EXPECT_EQ(DeviceCalls(D3D9CALL_DrawIndexedPrimitiveUP), c.Draws);
    }
}

// A blend graph of kind 0 at full ratio shows its own texels: position mode 0 reads it from the blend
// position on at the drawn graph's top-left, mode 1 lays its top-left on the screen at the blend
// position.
TEST_F(D3D9Draw, TheBlendGraphSitsWhereItsPositionAndModeSay) {
    auto pattern = [](int x, int y) { return 0xFF000000u | (uint32_t)(x * 15) << 16 | (uint32_t)(y * 20) << 8 | 0x40u; };
    GraphHandleRecord* blend = MakeGraph(16, 12, 1, pattern);
    GraphHandleRecord* drawn = MakeGraph(16, 12, 1, pattern);
    ASSERT_NE(blend, nullptr);
    ASSERT_NE(drawn, nullptr);
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
        DrawSettings.BlendGraphPositionMode = c.Mode;
        DrawSettings.BlendGraphX = c.X, DrawSettings.BlendGraphY = c.Y;
        ASSERT_EQ(Graphics_D3D9_StateCache_SetBlendGraphParam(0, full), 0);
        ASSERT_EQ(DrawAt(drawn, at, at, 0, blend), 0);
        EXPECT_EQ(D3D9VertexBatch.Layout, 2);
        const std::vector<uint32_t> screen = Screen();
        ASSERT_EQ(screen.size(), (size_t)(Size * Size));
        int wrong = 0;
        for (int y = 0; y + c.ShiftY < 12; ++y)
            for (int x = 0; x + c.ShiftX < 16; ++x) {
                const uint32_t want = pattern(x + c.ShiftX, y + c.ShiftY) & 0xFFFFFF;
                const uint32_t got = screen[(size_t)(at + y) * Size + at + x];
                if (ChannelGap(got, want) > 1 && wrong++ < 4) ADD_FAILURE() << x << ", " << y << std::hex << ": " << got << " for " << want;
            }
        EXPECT_EQ(wrong, 0);
        Graphics_D3D9_VertexBatch_Flush(0);
        Graphics_D3D9_StateCache_SetBlendTexture(nullptr, 0, 0);
    }
}
