// Two-dimensional drawing without a device onto a 64 x 64 memory screen: every case is drawn by the
// library and painted independently into a reference picture here (boxes cover min..max-1 of their
// corners, lines their Bresenham pixels without the last, circles and discs the midpoint points,
// graphs their pixels at the drawn place), then the two are compared pixel for pixel. Blend modes,
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

namespace {

constexpr int Size = 64;
constexpr uint32_t Background = 0x102030;

// x * y / 255 rounded to nearest, computed in doubles.
uint32_t Mul(uint32_t x, uint32_t y) { return static_cast<uint32_t>(std::lround(x * y / 255.0)); }

uint32_t Channel(uint32_t colour, int index) { return (colour >> (8 * index)) & 0xFF; }

uint32_t PerChannel(uint32_t a, uint32_t b, const std::function<uint32_t(uint32_t, uint32_t)>& f) {
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) out |= f(Channel(a, c), Channel(b, c)) << (8 * c);
    return out;
}

// The reference picture: what the screen must hold after a case.
struct Picture {
    std::vector<uint32_t> Pixels = std::vector<uint32_t>(Size * Size, Background);

    uint32_t& At(int x, int y) { return Pixels[static_cast<size_t>(y) * Size + x]; }
    void Put(int x, int y, uint32_t colour) {
        if (x >= 0 && y >= 0 && x < Size && y < Size) At(x, y) = colour;
    }
    void Box(int left, int top, int right, int bottom, uint32_t colour) {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) Put(x, y, colour);
    }
    // Rows of text art: '#' marks a pixel of the colour, with the first row at (x, y).
    void Art(int x, int y, const std::vector<std::string>& rows, uint32_t colour) {
        for (size_t j = 0; j < rows.size(); ++j)
            for (size_t i = 0; i < rows[j].size(); ++i)
                if (rows[j][i] == '#') Put(x + static_cast<int>(i), y + static_cast<int>(j), colour);
    }
};

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

unsigned int Code(uint32_t rgb) { return MakeColorCode((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The 8 x 4 test graph: distinct colours, alpha 255 but for a hole at (1, 1) and half at (2, 1).
constexpr int GraphWidth = 8, GraphHeight = 4;
uint32_t GraphColour(int i, int j) {
    return static_cast<uint32_t>((i * 30 + 10) << 16 | (j * 50 + 20) << 8 | ((i * j * 7 + 5) & 0xFF));
}
uint32_t GraphAlpha(int i, int j) { return i == 1 && j == 1 ? 0 : i == 2 && j == 1 ? 128 : 255; }

int MakeTestGraph() {
    BaseImage image;
    if (BaseImage_CreateARGB8(GraphWidth, GraphHeight, &image) < 0) return -1;
    for (int j = 0; j < GraphHeight; ++j)
        for (int i = 0; i < GraphWidth; ++i) {
            const uint32_t pixel = GraphAlpha(i, j) << 24 | GraphColour(i, j);
            memcpy(static_cast<uint8_t*>(image.pixels) + j * image.pitch + i * 4, &pixel, 4);
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

// The graph drawn with its pixel (i, j) at place(i, j), with transparency or without.
void PaintGraph(Picture& p, bool transparent, const std::function<void(int, int, int*, int*)>& place) {
    for (int j = 0; j < GraphHeight; ++j)
        for (int i = 0; i < GraphWidth; ++i) {
            int x = 0, y = 0;
            place(i, j, &x, &y);
            if (x < 0 || y < 0 || x >= Size || y >= Size) continue;
            const uint32_t a = transparent ? GraphAlpha(i, j) : 255;
            if (a == 0) continue;
            const uint32_t d = p.At(x, y);
            p.At(x, y) = PerChannel(GraphColour(i, j), d, [&](uint32_t s, uint32_t dc) { return Mul(s, a) + Mul(dc, 255 - a); });
        }
}

struct DrawCase {
    const char* Name;
    std::function<int(int graph)> Draw;          // the library's drawing; its result must be 0
    std::function<void(Picture&)> Paint;         // the reference
};

const uint32_t Red = 0xE01008, Green = 0x20C040, White = 0xFFFFFF;

std::vector<DrawCase> Cases() {
    return {
        {"filled box", [](int) { return DrawFilledRectangle(10, 12, 20, 15, Code(Red)); },
         [](Picture& p) { p.Box(10, 12, 20, 15, Red); }},
        {"box with swapped corners", [](int) { return DrawRectangle(20, 15, 10, 12, Code(Red), 1, 1); },
         [](Picture& p) { p.Box(10, 12, 20, 15, Red); }},
        {"box partly off the screen", [](int) { return DrawFilledRectangle(-5, 60, 3, 70, Code(Green)); },
         [](Picture& p) { p.Box(0, 60, 3, 64, Green); }},
        {"outline", [](int) { return DrawRectangle(5, 5, 15, 10, Code(Green), 0, 1); },
         [](Picture& p) {
             p.Art(5, 5, {"##########", "#........#", "#........#", "#........#", "##########"}, Green);
         }},
        {"outline two thick", [](int) { return DrawRectangleOutline(5, 5, 13, 12, Code(Green), 2); },
         [](Picture& p) {
             p.Art(5, 5, {"########", "########", "##....##", "##....##", "##....##", "########", "########"}, Green);
         }},
        {"horizontal line", [](int) { return DrawLineSegment(3, 3, 10, 3, Code(Red), 1); },
         [](Picture& p) { p.Box(3, 3, 10, 4, Red); }},
        {"line drawn right to left", [](int) { return DrawLineSegment(10, 3, 3, 3, Code(Red), 1); },
         [](Picture& p) { p.Box(4, 3, 11, 4, Red); }},
        {"vertical line", [](int) { return DrawLineSegment(3, 3, 3, 10, Code(Red), 1); },
         [](Picture& p) { p.Box(3, 3, 4, 10, Red); }},
        {"diagonal line", [](int) { return DrawLineSegment(0, 0, 5, 5, Code(Red), 1); },
         [](Picture& p) {
             for (int i = 0; i < 5; ++i) p.Put(i, i, Red);
         }},
        {"shallow line", [](int) { return DrawLineSegment(20, 30, 26, 32, Code(Red), 1); },
         [](Picture& p) { p.Art(20, 30, {"##", "..###", ".....#"}, Red); }},
        {"steep line upwards", [](int) { return DrawLineSegment(40, 40, 42, 34, Code(Red), 1); },
         [](Picture& p) { p.Art(40, 35, {"..#", ".#", ".#", ".#", "#", "#"}, Red); }},
        {"line of length 0", [](int) { return DrawLineSegment(7, 7, 7, 7, Code(Red), 1); }, [](Picture&) {}},
        {"circle", [](int) { return DrawCircleShape(20, 20, 3, Code(White), 0, 1); },
         [](Picture& p) {
             p.Art(17, 17, {"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."}, White);
         }},
        {"disc", [](int) { return DrawCircleShape(42, 12, 2, Code(White), 1, 1); },
         [](Picture& p) { p.Art(40, 10, {".###.", "#####", "#####", "#####", ".###."}, White); }},
        {"circle of radius 0", [](int) { return DrawCircleShape(30, 50, 0, Code(White), 0, 1); },
         [](Picture& p) { p.Put(30, 50, White); }},
        {"thick vertical line is a box", [](int) { return DrawLineSegment(50, 10, 50, 40, Code(Green), 3); },
         [](Picture& p) { p.Box(49, 10, 52, 40, Green); }},
        {"thick horizontal line of even width", [](int) { return DrawLineSegment(10, 30, 20, 30, Code(Green), 2); },
         [](Picture& p) { p.Box(10, 29, 20, 31, Green); }},
        {"thick line of length 0", [](int) { return DrawLineSegment(30, 30, 30, 30, Code(Green), 2); },
         [](Picture&) {}},
        {"graph without transparency", [](int g) { return DrawGraphAt(5, 40, g, 0); },
         [](Picture& p) { PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 5 + i, *y = 40 + j; }); }},
        {"graph with transparency", [](int g) { return DrawGraphAt(5, 40, g, 1); },
         [](Picture& p) { PaintGraph(p, true, [](int i, int j, int* x, int* y) { *x = 5 + i, *y = 40 + j; }); }},
        {"graph partly off the screen", [](int g) { return DrawGraphAt(60, -2, g, 0); },
         [](Picture& p) { PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 60 + i, *y = -2 + j; }); }},
        {"graph stretched twice", [](int g) { return DrawGraphStretched(20, 44, 36, 52, g, 0); },
         [](Picture& p) {
             for (int y = 0; y < 8; ++y)
                 for (int x = 0; x < 16; ++x) p.Put(20 + x, 44 + y, GraphColour(x / 2, y / 2));
         }},
        {"graph mirrored left to right", [](int g) { return DrawGraphReversed(30, 5, g, 0, 1, 0); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 30 + GraphWidth - 1 - i, *y = 5 + j; });
         }},
        {"graph mirrored top to bottom", [](int g) { return DrawGraphReversed(30, 5, g, 0, 0, 1); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 30 + i, *y = 5 + GraphHeight - 1 - j; });
         }},
        {"graph turned half round", [](int g) { return DrawGraphReversed(30, 5, g, 1, 1, 1); },
         [](Picture& p) {
             PaintGraph(p, true, [](int i, int j, int* x, int* y) {
                 *x = 30 + GraphWidth - 1 - i, *y = 5 + GraphHeight - 1 - j;
             });
         }},
        {"part of a graph", [](int g) { return DrawGraphPart(30, 50, 2, 1, 4, 2, g, 0, 0, 0); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) {
                 const bool inside = i >= 2 && i < 6 && j >= 1 && j < 3;
                 *x = inside ? 28 + i : -1, *y = 49 + j;
             });
         }},
        {"part of a graph mirrored", [](int g) { return DrawGraphPart(30, 50, 2, 1, 4, 2, g, 0, 1, 0); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) {
                 const bool inside = i >= 2 && i < 6 && j >= 1 && j < 3;
                 *x = inside ? 30 + 5 - i : -1, *y = 49 + j;
             });
         }},
        {"part of a graph at a float place", [](int g) { return DrawGraphPartF(30.0f, 50.0f, 2, 1, 4, 2, g, 0, 0, 0); },
         [](Picture& p) {
             PaintGraph(p, false, [](int i, int j, int* x, int* y) {
                 const bool inside = i >= 2 && i < 6 && j >= 1 && j < 3;
                 *x = inside ? 28 + i : -1, *y = 49 + j;
             });
         }},
        {"graph on a free quadrangle in place", [](int g) { return DrawGraphQuadF(10, 20, 18, 20, 18, 24, 10, 24, g, 1); },
         [](Picture& p) { PaintGraph(p, true, [](int i, int j, int* x, int* y) { *x = 10 + i, *y = 20 + j; }); }},
        {"graph turned a quarter on a quadrangle", [](int g) { return DrawGraphQuadF(24, 20, 24, 28, 20, 28, 20, 20, g, 0); },
         [](Picture& p) {
             // Top left at (24, 20), top right at (24, 28): the graph's rows run down column 23 - j.
             PaintGraph(p, false, [](int i, int j, int* x, int* y) { *x = 23 - j, *y = 20 + i; });
         }},
        {"alpha blend", [](int) {
             SetBlendModeAndParam(1, 128);
             return DrawFilledRectangle(0, 0, 8, 8, Code(Red));
         },
         [](Picture& p) {
             p.Box(0, 0, 8, 8, PerChannel(Red, Background, [](uint32_t s, uint32_t d) { return Mul(s, 128) + Mul(d, 127); }));
         }},
        {"add", [](int) {
             SetBlendModeAndParam(2, 200);
             DrawFilledRectangle(0, 0, 8, 8, Code(Red));
             return DrawCircleShape(20, 20, 2, Code(Red), 1, 1);
         },
         [](Picture& p) {
             const uint32_t added = PerChannel(Red, Background, [](uint32_t s, uint32_t d) { return std::min(255u, d + Mul(s, 200)); });
             p.Box(0, 0, 8, 8, added);
             p.Art(18, 18, {".###.", "#####", "#####", "#####", ".###."}, added);
         }},
        {"subtract", [](int g) {
             SetBlendModeAndParam(3, 255);
             return DrawGraphAt(0, 0, g, 0);
         },
         [](Picture& p) {
             for (int j = 0; j < GraphHeight; ++j)
                 for (int i = 0; i < GraphWidth; ++i)
                     p.At(i, j) = PerChannel(GraphColour(i, j), Background, [](uint32_t s, uint32_t d) { return d > s ? d - s : 0; });
         }},
        {"brightness", [](int) {
             SetDrawColorBrightness(128, 255, 64);
             return DrawFilledRectangle(0, 0, 4, 4, Code(White));
         },
         [](Picture& p) { p.Box(0, 0, 4, 4, Mul(255, 128) << 16 | 255 << 8 | Mul(255, 64)); }},
        {"draw area", [](int g) {
             Graphics_DrawSetting_SetDrawAreaRect(10, 10, 20, 30);
             DrawFilledRectangle(0, 0, 64, 15, Code(Red));
             DrawCircleShape(20, 30, 5, Code(White), 0, 1);
             return DrawGraphAt(15, 12, g, 0);
         },
         [](Picture& p) {
             p.Box(10, 10, 20, 15, Red);
             // The circle's points left of column 20 and above row 30.
             p.Art(15, 25, {"...##", "..#", ".#", "#", "#"}, White);
             PaintGraph(p, false, [](int i, int j, int* x, int* y) {
                 *x = 15 + i < 20 ? 15 + i : -1, *y = 12 + j;
             });
         }},
    };
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
