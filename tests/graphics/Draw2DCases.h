// The table of two-dimensional draw calls shared by the no-device tests and the device tests: each
// case draws through the library and paints its reference picture of a 64 x 64 screen independently
// (boxes cover min..max-1 of their corners, lines their Bresenham pixels without the last, circles and
// discs the midpoint points, graphs their pixels at the drawn place); the 8 x 4 test graph.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImage.h"

namespace Draw2DCases {

using namespace Vantrel;

constexpr int Size = 64;
constexpr uint32_t Background = 0x102030;

// x * y / 255 rounded to nearest, computed in doubles.
inline uint32_t Mul(uint32_t x, uint32_t y) { return static_cast<uint32_t>(std::lround(x * y / 255.0)); }

inline uint32_t Channel(uint32_t colour, int index) { return (colour >> (8 * index)) & 0xFF; }

inline uint32_t PerChannel(uint32_t a, uint32_t b, const std::function<uint32_t(uint32_t, uint32_t)>& f) {
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) out |= f(Channel(a, c), Channel(b, c)) << (8 * c);
    return out;
}

// The largest difference of red, green and blue between two 0x00RRGGBB words.
inline int ChannelGap(uint32_t a, uint32_t b) {
    int most = 0;
    for (int c = 0; c < 3; ++c) {
        const int gap = std::abs(static_cast<int>(Channel(a, c)) - static_cast<int>(Channel(b, c)));
        most = gap > most ? gap : most;
    }
    return most;
}

// Pixels of a device road further apart than this in some channel from the reference count as different.
constexpr int DeviceTolerance = 2;

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

// How a screen read back from a device (Size x Size 0x00RRGGBB words) differs from a reference: the
// pixels further apart than the tolerance, the largest gap, and where the first four lie.
struct PictureDifference {
    int Pixels = 0;
    int Worst = 0;
    std::string Where;
};
inline PictureDifference CompareWithReference(const std::vector<uint32_t>& screen, Picture& reference,
                                              int tolerance = DeviceTolerance) {
    PictureDifference out;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const uint32_t got = screen[static_cast<size_t>(y) * Size + x], want = reference.At(x, y);
            const int gap = ChannelGap(got, want);
            if (gap <= tolerance) continue;
            if (out.Pixels++ < 4) {
                char text[64];
                snprintf(text, sizeof(text), " (%d, %d: %06x for %06x)", x, y, static_cast<unsigned>(got),
                         static_cast<unsigned>(want));
                out.Where += text;
            }
            out.Worst = gap > out.Worst ? gap : out.Worst;
        }
    return out;
}

inline unsigned int Code(uint32_t rgb) { return MakeColorCode((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The 8 x 4 test graph: distinct colours, alpha 255 but for a hole at (1, 1) and half at (2, 1).
constexpr int GraphWidth = 8, GraphHeight = 4;
inline uint32_t GraphColour(int i, int j) {
    return static_cast<uint32_t>((i * 30 + 10) << 16 | (j * 50 + 20) << 8 | ((i * j * 7 + 5) & 0xFF));
}
inline uint32_t GraphAlpha(int i, int j) { return i == 1 && j == 1 ? 0 : i == 2 && j == 1 ? 128 : 255; }

inline int MakeTestGraph() {
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
inline void PaintGraph(Picture& p, bool transparent, const std::function<void(int, int, int*, int*)>& place) {
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

// A circle of any radius by the plain midpoint walk, step after step (no shortcut): its points, or for a
// disc each row's span between its outermost points, where they land on the screen.
inline void PaintCircle(Picture& p, int64_t cx, int64_t cy, int64_t r, uint32_t colour, bool fill) {
    std::vector<int64_t> half(Size, -1);   // per screen row
    auto point = [&](int64_t dx, int64_t dy) {
        const int64_t row = cy + dy;
        if (row < 0 || row >= Size) return;
        if (fill) {
            const int64_t reach = dx < 0 ? -dx : dx;
            if (reach > half[row]) half[row] = reach;
        } else if (cx + dx >= 0 && cx + dx < Size) {
            p.Put(static_cast<int>(cx + dx), static_cast<int>(row), colour);
        }
    };
    int64_t x = 0, y = r, d = 3 - 2 * r;
    while (x <= y) {
        for (const int64_t sx : {1, -1})
            for (const int64_t sy : {1, -1}) point(sx * x, sy * y), point(sx * y, sy * x);
        if (d < 0) d += 4 * x + 6;
        else d += 4 * (x - y) + 10, --y;
        ++x;
    }
    if (fill)
        for (int row = 0; row < Size; ++row)
            for (int64_t column = cx - half[row]; half[row] >= 0 && column <= cx + half[row]; ++column)
                if (column >= 0 && column < Size) p.Put(static_cast<int>(column), row, colour);
}

struct DrawCase {
    const char* Name;
    std::function<int(int graph)> Draw;          // the library's drawing; its result must be 0
    std::function<void(Picture&)> Paint;         // the reference
};

const uint32_t Red = 0xE01008, Green = 0x20C040, White = 0xFFFFFF;

inline std::vector<DrawCase> Cases() {
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
        // Radii far beyond the screen: the walk only works where the screen's rows are.
        {"circle round the whole screen", [](int) { return DrawCircleShape(32, 32, 2000000000, Code(White), 0, 1); },
         [](Picture&) {}},
        {"disc over the whole screen", [](int) { return DrawCircleShape(32, 32, 2147483600, Code(White), 1, 1); },
         [](Picture& p) { p.Box(0, 0, Size, Size, White); }},
        {"bottom of a large circle", [](int) { return DrawCircleShape(32, -99970, 100000, Code(White), 0, 1); },
         [](Picture& p) { PaintCircle(p, 32, -99970, 100000, White, false); }},
        {"right edge of a large circle far above", [](int) { return DrawCircleShape(-99958, -1000, 100000, Code(White), 0, 1); },
         [](Picture& p) { PaintCircle(p, -99958, -1000, 100000, White, false); }},
        {"right edge of a large disc far above", [](int) { return DrawCircleShape(-99958, -1000, 100000, Code(White), 1, 1); },
         [](Picture& p) { PaintCircle(p, -99958, -1000, 100000, White, true); }},
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


}  // namespace Draw2DCases
