// The table of filter cases that every device road is held to: each case runs through the public filter
// calls on a fresh copy of one source picture, once without a device (the software bodies) and once on
// a device, and both results are compared within a bound per channel. The pictures, the fixtures the
// cases use and the comparison are shared by the Direct3D 11 and the Direct3D 9 filter tests; only the
// reading of a graph's pixels on the device is each back-end's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImage.h"

namespace GraphFilterCases {

using namespace Vantrel;

constexpr int Width = 24, Height = 20;
constexpr int Tolerance = 2;   // per channel, device against software

// Smooth colours (no sharp luminance steps on the thresholds used below), alpha varying too.
uint32_t SourcePixel(int x, int y) {
    const uint32_t r = (uint32_t)(x * 10 + 8), g = (uint32_t)(y * 11 + 20), b = (uint32_t)((x * 3 + y * 5 + 40) & 0xFF);
    const uint32_t a = (uint32_t)(255 - ((x + y) % 4) * 40);
    return a << 24 | r << 16 | g << 8 | b;
}

int MakeSource(uint32_t (*pixel)(int, int), int width = Width, int height = Height) {
    BaseImage image;
    if (BaseImage_CreateARGB8(width, height, &image) < 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t value = pixel(x, y);
            memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &value, 4);
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

// Chrominance: U in blue and V in green, both running over most of their range (clamped sums included).
uint32_t UvPixel(int x, int y) {
    return 0xFF000000u | (uint32_t)(x * 7 + 5) << 16 | (uint32_t)(250 - y * 12) << 8 | (uint32_t)(x * 10 + 10);
}

// A one-row gradient graph of 64 colours.
int MakeGradient() {
    BaseImage image;
    if (BaseImage_CreateARGB8(64, 1, &image) < 0) return -1;
    for (int x = 0; x < 64; ++x) {
        const uint32_t value = 0xFF000000u | (uint32_t)(x * 4) << 16 | (uint32_t)(255 - x * 3) << 8 | (uint32_t)(x * 2 + 30);
        memcpy((uint8_t*)image.pixels + (size_t)x * 4, &value, 4);
    }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

uint32_t BlendPixel(int x, int y) { return 0xFF000000u | (uint32_t)(200 - x * 5) << 16 | (uint32_t)(y * 9) << 8 | 0x60u; }

// The images a case may use besides its own copy of the source.
struct Fixtures {
    int Blend, Gradient, Uv, UvHalf;
    int BlendPart;   // a graph of the source's size derived from inside a larger picture
    int Divided;     // a picture of the source's size cut into several textures (16 x 16 at most)
};

// Sharp detail in every channel, so that resampling has something to do.
uint32_t BusyPixel(int x, int y) {
    const uint32_t r = (uint32_t)(x * 53 + y * 17) & 0xFF, g = (uint32_t)(x * x * 7 + y * 29) & 0xFF;
    const uint32_t b = (uint32_t)((x ^ y) * 23) & 0xFF, a = (uint32_t)(255 - (x * y) % 100);
    return a << 24 | r << 16 | g << 8 | b;
}


// A picture of `pixel` cut into textures of at most 16 x 16.
inline int MakeDivided(uint32_t (*pixel)(int, int)) {
    GraphCreateParam param;
    Graphics_Image_InitGraphFormatParam(&param, 32, 1, 0);
    param.maxTextureSize = 16;
    const int graph = Graphics_Image_MakeEmptyGraph_GParam(&param, Width, Height, 0, 0, 0, 0, 0);
    BaseImage image;
    if (graph < 0 || BaseImage_CreateARGB8(Width, Height, &image) < 0) return -1;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t value = pixel(x, y);
            memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &value, 4);
        }
    const int written = GraphFilter_Graph_Write(graph, 0, 0, &image);
    BaseImage_Release(&image);
    return written == 0 ? graph : -1;
}

inline Fixtures MakeFixtures() {
    const int larger = MakeSource(BusyPixel, Width + 11, Height + 7);
    const Fixtures fixtures = {MakeSource(BlendPixel), MakeGradient(), MakeSource(UvPixel),
                               MakeSource(UvPixel, Width / 2, Height / 2), DeriveGraphRect(9, 5, Width, Height, larger),
                               MakeDivided(BusyPixel)};
    EXPECT_GE(fixtures.Blend, 0);
    EXPECT_GE(fixtures.Gradient, 0);
    EXPECT_GE(fixtures.Uv, 0);
    EXPECT_GE(fixtures.UvHalf, 0);
    EXPECT_GE(fixtures.BlendPart, 0);
    EXPECT_GE(fixtures.Divided, 0);
    return fixtures;
}

struct FilterCase {
    const char* Name;
    std::function<int(int graph, const Fixtures&)> Run;
    // Device only: the software road leaves the graph as it was, which is what this case must give.
    bool DeviceOnly = false;
    // Compared over the left columns only (0: the whole width).
    int Columns = 0;
    // What the software road runs instead, where the device follows another rule on purpose.
    std::function<int(int graph, const Fixtures&)> SoftwareRun = nullptr;
};

using F = const Fixtures&;

inline const std::vector<FilterCase>& Cases() {
    static const std::vector<FilterCase> cases = {
        {"mono", [](int g, F) { return FilterGraph(g, GraphFilter_KindMono, -60, 70); }},
        {"invert", [](int g, F) { return FilterGraph(g, GraphFilter_KindInvert); }},
        {"bright clip less, filled", [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClip, 2, 100, 1, 0x204060, 200); }},
        {"bright clip greater, unfilled", [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClip, 5, 150, 0, 0, 0); }},
        {"bright clip less, unfilled, premultiplied",
         [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClipPma, 2, 120, 0, 0, 0); }},
        {"bright clip greater, filled, premultiplied",
         [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClipPma, 5, 90, 1, 0xC08040, 150); }},
        // A fill flag other than 1 clips without filling on the device.
        {"bright clip with fill flag 2", [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClip, 5, 150, 2, 0xFF0000, 255); },
         false, 0, [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightClip, 5, 150, 0, 0, 0); }},
        {"bright scale", [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightScale, 30, 200); }},
        {"bright scale, premultiplied", [](int g, F) { return FilterGraph(g, GraphFilter_KindBrightScalePma, 60, 180); }},
        {"two colour", [](int g, F) { return FilterGraph(g, GraphFilter_KindTwoColor, 125, 0x102030, 255, 0xF0E0D0, 128); }},
        {"replacement", [](int g, F) { return FilterGraph(g, GraphFilter_KindReplacement, 8, 20, 40, 255, 1, 2, 3, 4); }},
        {"level", [](int g, F) { return FilterGraph(g, GraphFilter_KindLevel, 20, 220, 150, 10, 240); }},
        {"gradient map", [](int g, F f) { return FilterGraph(g, GraphFilter_KindGradientMap, f.Gradient, 0); }},
        {"gradient map reversed", [](int g, F f) { return FilterGraph(g, GraphFilter_KindGradientMap, f.Gradient, 1); }},
        {"gradient map, premultiplied", [](int g, F f) { return FilterGraph(g, GraphFilter_KindGradientMapPma, f.Gradient, 0); }},
        {"bicubic to the same size", [](int g, F) { return FilterGraph(g, GraphFilter_KindBicubic, Width, Height); }, true},
        {"premultiplied alpha", [](int g, F) { return FilterGraph(g, GraphFilter_KindPremultipliedAlpha); }},
        {"interpolated alpha", [](int g, F) { return FilterGraph(g, GraphFilter_KindInterpolatedAlpha); }},
        {"gauss 16", [](int g, F) { return FilterGraph(g, GraphFilter_KindGauss, 16, 300); }},
        {"gauss 8", [](int g, F) { return FilterGraph(g, GraphFilter_KindGauss, 8, 100); }},
        {"down-scale by 2", [](int g, F) { return FilterGraph(g, GraphFilter_KindDownScale, 2); }},
        {"down-scale by 4", [](int g, F) { return FilterGraph(g, GraphFilter_KindDownScale, 4); }},
        {"hsb", [](int g, F) { return FilterGraph(g, GraphFilter_KindHsb, 0, 40, 30, 20); }},
        {"hsb, less saturation, darker", [](int g, F) { return FilterGraph(g, GraphFilter_KindHsb, 0, -150, -120, -60); }},
        {"hsb hue lock", [](int g, F) { return FilterGraph(g, GraphFilter_KindHsb, 1, 200, 10, 0); }},
        {"hsb, premultiplied", [](int g, F) { return FilterGraph(g, GraphFilter_KindHsbPma, 0, 90, 50, -30); }},
        {"yuv with a full-size uv graph", [](int g, F f) { return FilterGraph(g, GraphFilter_KindYuvToRgbUv, f.Uv); }},
        {"yuv with a half-size uv graph", [](int g, F f) { return FilterGraph(g, GraphFilter_KindYuvToRgbUv, f.UvHalf); }},
        // The alpha picture in the right half: the left half is the result.
        {"yuv with the alpha picture", [](int g, F f) {
             return FilterGraphRectToGraph(g, g, 0, 0, Width / 2, Height, 0, 0, GraphFilter_KindYuvToRgbUvRra, f.Uv);
         }, false, Width / 2},
        {"blend normal", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.Blend, g, 160, GraphBlend_Normal, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0, 0);
         }},
        {"blend multiple", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.Blend, g, 255, GraphBlend_Multiple, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0, 0);
         }},
        {"channel mix from both", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.Blend, g, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0, 0, 2, 5,
                                        0, 7);
         }},
        {"channel mix of the second", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.Blend, g, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0, 0, 4, 5,
                                        6, 7);
         }},
        // A second graph that is part of a larger picture: its own texels, not those at the texture's corner.
        {"channel mix of a derived second", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.BlendPart, g, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0,
                                        0, 4, 5, 6, 7);
         }},
        {"channel mix of a derived second's green", [](int g, F f) {
             return GraphFilter_Execute(1, g, f.BlendPart, g, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0,
                                        0, 5, 5, 5, 3);
         }},
        // Divisor 1 (and 0, which counts as 1) copies.
        {"down-scale by 1", [](int g, F) { return FilterGraph(g, GraphFilter_KindDownScale, 1); }},
        {"down-scale by 0", [](int g, F) { return FilterGraph(g, GraphFilter_KindDownScale, 0); }},
        // The run's planning: a divided source gathered into one work texture, a source derived from
        // inside a larger picture, a rectangle written at an offset of another graph, and blur and
        // down-scale on their largest sizes.
        {"invert of a divided picture", [](int g, F f) { return FilterGraphToGraph(f.Divided, g, GraphFilter_KindInvert); }},
        {"gauss 16 of a divided picture", [](int g, F f) { return FilterGraphToGraph(f.Divided, g, GraphFilter_KindGauss, 16, 200); }},
        {"invert of a derived picture", [](int g, F f) { return FilterGraphToGraph(f.BlendPart, g, GraphFilter_KindInvert); }},
        {"invert at a destination offset", [](int g, F f) {
             return FilterGraphRectToGraph(f.Blend, g, 2, 3, 14, 11, 5, 7, GraphFilter_KindInvert);
         }},
        {"gauss 8 of a derived picture", [](int g, F f) { return FilterGraphToGraph(f.BlendPart, g, GraphFilter_KindGauss, 8, 200); }},
        {"mono of a divided picture's rectangle at an offset", [](int g, F f) {
             return FilterGraphRectToGraph(f.Divided, g, 10, 8, 22, 18, 1, 2, GraphFilter_KindMono, 30, -40);
         }},
        {"gauss 32", [](int g, F) { return FilterGraph(g, GraphFilter_KindGauss, 32, 400); }},
        {"down-scale by 8", [](int g, F) { return FilterGraph(g, GraphFilter_KindDownScale, 8); }},
        {"down-scale by 8 into another graph at an offset", [](int g, F f) {
             return FilterGraphRectToGraph(f.Divided, g, 0, 0, 24, 16, 3, 5, GraphFilter_KindDownScale, 8);
         }},
    };
    return cases;
}

// Every case on a fresh copy of the source picture in the road started (`device`), each result read with
// `read`; the calls' results go to `results`.
inline std::vector<std::vector<uint32_t>> RunAll(bool device, const std::function<std::vector<uint32_t>(int)>& read,
                                                 std::vector<int>* results) {
    std::vector<std::vector<uint32_t>> pictures;
    const Fixtures fixtures = MakeFixtures();
    for (const FilterCase& c : Cases()) {
        const int graph = MakeSource(SourcePixel);
        EXPECT_GE(graph, 0) << c.Name;
        results->push_back(!device && c.SoftwareRun ? c.SoftwareRun(graph, fixtures) : c.Run(graph, fixtures));
        pictures.push_back(read(graph));
        DeleteGraph(graph);
    }
    return pictures;
}

// Both runs succeeded case by case and the device's pictures lie within `tolerance` per channel of the
// software's; prints each case's largest gap under `road`.
inline void ExpectWithin(const char* road, const std::vector<std::vector<uint32_t>>& software,
                         const std::vector<int>& softwareResults, const std::vector<std::vector<uint32_t>>& device,
                         const std::vector<int>& deviceResults, int tolerance = Tolerance) {
    ASSERT_EQ(software.size(), Cases().size());
    ASSERT_EQ(device.size(), Cases().size());
    for (size_t i = 0; i < Cases().size(); ++i) {
        const FilterCase& c = Cases()[i];
        EXPECT_EQ(softwareResults[i], 0) << c.Name;
        EXPECT_EQ(deviceResults[i], 0) << c.Name;
        ASSERT_EQ(software[i].size(), (size_t)(Width * Height)) << c.Name;
        ASSERT_EQ(device[i].size(), (size_t)(Width * Height)) << c.Name;
        const int columns = c.Columns > 0 ? c.Columns : Width;
        int differing = 0, worst = 0;
        std::string where;
        for (int p = 0; p < Width * Height; ++p) {
            if (p % Width >= columns) continue;
            int gap = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs((int)(device[i][p] >> shift & 0xFF) - (int)(software[i][p] >> shift & 0xFF));
                gap = d > gap ? d : gap;
            }
            worst = gap > worst ? gap : worst;
            if (gap <= tolerance) continue;
            if (differing++ < 3) {
                char text[96];
                snprintf(text, sizeof(text), " (%d, %d: %08X vs %08X)", p % Width, p / Width, device[i][p], software[i][p]);
                where += text;
            }
        }
        printf("[ %-8s ] %-50s largest gap %d\n", road, c.Name, worst);
        EXPECT_EQ(differing, 0) << c.Name << ": worst gap " << worst << where;
    }
}

}  // namespace GraphFilterCases
