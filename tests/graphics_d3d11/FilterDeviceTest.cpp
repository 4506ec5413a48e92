// Graph filters on Direct3D 11: each filter kind run through the public filter calls on the device,
// read back from the graph's texture and held to the software body's result on the same image within
// 2 per channel. Mono and two-colour weigh luminance in float with 0.299, 0.587, 0.114 where the software
// uses 1224, 2404, 466 in 1/4096 (4094 in all): every float weight lies above its integer one, and the
// three gaps add up to exactly 2/4096, so for 8-bit channels the float luminance exceeds the software's
// by 0 to 255 x 2 / 4096 = 0.125 of a step; 2 per channel holds for them on images with no luminance
// within 0.125 of a threshold. Bright clip, bright scale, HSB, gradient map and YUV run byte-exact
// shaders (the weights x 4096 truncated are the software's 1224, 2404, 466): bound 0 there. The test
// prints each case's largest gap. Also Lanczos-3 against the resampling of its definition, the
// occlusion filter's properties, the work textures kept across runs, a filter with the same source and
// destination, the bodies without a device, and the log line of a shader that cannot be made.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtMatrix.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "system/VtSystem.h"

using namespace Vantrel;

namespace {

constexpr int Width = 24, Height = 20;
constexpr int Tolerance = 2;

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

// A graph's pixels as 0xAARRGGBB: the memory image without a device, the texture with one.
std::vector<uint32_t> ReadGraph(int graph, int width = Width, int height = Height) {
    std::vector<uint32_t> pixels;
    const BaseImageRect rect = {0, 0, width, height};
    if (!GraphicsSystemState.DeviceValid) {
        BaseImage image;
        if (BaseImage_CreateARGB8(width, height, &image) < 0) return pixels;
        if (GraphFilter_Graph_Read(graph, &rect, &image) == 0) pixels = D3D11Test::UnpackPixels(image, width, height, true);
        BaseImage_Release(&image);
        return pixels;
    }
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr) return pixels;
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&record->Orig->parts[0]);
    const RECT area = {0, 0, width, height};
    BaseImage image = {};
    if (part == nullptr || Graphics_D3D11_Texture_CreateReadBack(part->Texture, &area, 0, 0, &image) < 0) return pixels;
    pixels = D3D11Test::UnpackPixels(image, width, height, true);
    Graphics_D3D11_DrawScreen_Unlock();
    return pixels;
}

// The images a case may use besides its own copy of the source.
struct Fixtures {
    int Blend, Gradient, Uv, UvHalf;
    int BlendPart;   // a graph of the source's size derived from inside a larger picture
};

// Sharp detail in every channel, so that resampling has something to do.
uint32_t BusyPixel(int x, int y) {
    const uint32_t r = (uint32_t)(x * 53 + y * 17) & 0xFF, g = (uint32_t)(x * x * 7 + y * 29) & 0xFF;
    const uint32_t b = (uint32_t)((x ^ y) * 23) & 0xFF, a = (uint32_t)(255 - (x * y) % 100);
    return a << 24 | r << 16 | g << 8 | b;
}

// Lanczos-3 by its definition: output pixel (x, y) of a w x h picture lies at ((x + 0.5) sw / w - 0.5,
// (y + 0.5) sh / h - 0.5) in the source's texels; the six texels on each side of that place, the edge
// texels repeated past the edge, are weighed by L(d) = sinc(d) sinc(d / 3) of their distance in each
// axis, and the sum is divided by the sum of the weights; each channel is clamped and rounded.
std::vector<uint32_t> LanczosReference(uint32_t (*pixel)(int, int), int sw, int sh, int w, int h) {
    auto weight = [](double d) {
        const double x = 3.14159265358979323846 * std::fabs(d);
        return x < 1e-9 ? 1.0 : std::sin(x) * std::sin(x / 3) / (x * x / 3);
    };
    std::vector<uint32_t> out((size_t)w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double px = (x + 0.5) * sw / w - 0.5, py = (y + 0.5) * sh / h - 0.5;
            const int fx = (int)std::floor(px), fy = (int)std::floor(py);
            double sum[4] = {0, 0, 0, 0}, total = 0;
            for (int j = fy - 2; j <= fy + 3; ++j)
                for (int i = fx - 2; i <= fx + 3; ++i) {
                    const double k = weight(px - i) * weight(py - j);
                    const uint32_t texel = pixel(i < 0 ? 0 : i >= sw ? sw - 1 : i, j < 0 ? 0 : j >= sh ? sh - 1 : j);
                    for (int c = 0; c < 4; ++c) sum[c] += k * (double)(texel >> (8 * c) & 0xFF);
                    total += k;
                }
            uint32_t value = 0;
            for (int c = 0; c < 4; ++c) {
                const double v = sum[c] / total;
                value |= (uint32_t)std::lround(v < 0 ? 0 : v > 255 ? 255 : v) << (8 * c);
            }
            out[(size_t)y * w + x] = value;
        }
    return out;
}

int MakeDrawableGraph(int width, int height) {
    GraphCreateParam param;
    Graphics_Image_InitRenderTargetFormatParam(&param, 32, 1);
    return Graphics_Image_MakeEmptyGraph_GParam(&param, width, height, 0, 0, 0, 0, 0);
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

const std::vector<FilterCase>& Cases() {
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
    };
    return cases;
}

}  // namespace

class FilterDeviceTest : public WindowTest::LibraryTest {
public:
    void Start(int device) {
        Graphics_D3D11_SetDeviceEnabled(device);
        SetScreenResolution(64, 64, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(device), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, device);
    }

    void TearDown() override {
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
    }

    // Every case on a fresh copy of the source image, in the road started.
    std::vector<std::vector<uint32_t>> RunAll(std::vector<int>* results) {
        std::vector<std::vector<uint32_t>> pictures;
        const int larger = MakeSource(BusyPixel, Width + 11, Height + 7);
        const Fixtures fixtures = {MakeSource(BlendPixel), MakeGradient(), MakeSource(UvPixel), MakeSource(UvPixel, Width / 2, Height / 2),
                                   DeriveGraphRect(9, 5, Width, Height, larger)};
        EXPECT_GE(fixtures.BlendPart, 0);
        EXPECT_GE(fixtures.Blend, 0);
        EXPECT_GE(fixtures.Gradient, 0);
        EXPECT_GE(fixtures.Uv, 0);
        EXPECT_GE(fixtures.UvHalf, 0);
        for (const FilterCase& c : Cases()) {
            const int graph = MakeSource(SourcePixel);
            EXPECT_GE(graph, 0) << c.Name;
            const bool device = GraphicsSystemState.DeviceValid != 0;
            results->push_back(!device && c.SoftwareRun ? c.SoftwareRun(graph, fixtures) : c.Run(graph, fixtures));
            pictures.push_back(ReadGraph(graph));
            DeleteGraph(graph);
        }
        return pictures;
    }
};

TEST_F(FilterDeviceTest, EveryDeviceFilterMatchesTheSoftwareBodyWithinTwoPerChannel) {
    Start(0);
    std::vector<int> softwareResults, deviceResults;
    const std::vector<std::vector<uint32_t>> software = RunAll(&softwareResults);
    TerminateLibrary();
    Start(1);
    const std::vector<std::vector<uint32_t>> device = RunAll(&deviceResults);
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
            if (gap <= Tolerance) continue;
            if (differing++ < 3) {
                char text[96];
                snprintf(text, sizeof(text), " (%d, %d: %08X vs %08X)", p % Width, p / Width, device[i][p], software[i][p]);
                where += text;
            }
        }
        printf("[ filter   ] %-45s largest gap %d\n", c.Name, worst);
        EXPECT_EQ(differing, 0) << c.Name << ": worst gap " << worst << where;
    }
}

TEST_F(FilterDeviceTest, ASecondRunOfTheSameFilterMakesNoNewDeviceTexture) {
    Start(1);
    const int graph = MakeSource(SourcePixel);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 16, 300), 0);
    const int pixelType = Graphics_Image_GetGraphRecord(graph, 0)->Orig->colorFormatIndex;
    const int work = Graphics_D3D11_GraphFilter_GetWorkTexture(pixelType, Width, Height, 0);
    const int textures = D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D];
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 16, 300), 0);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindInvert), 0);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D], textures);
    EXPECT_EQ(Graphics_D3D11_GraphFilter_GetWorkTexture(pixelType, Width, Height, 0), work);
    // A deleted work texture is made again on the next run.
    ASSERT_EQ(DeleteGraph(work), 0);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 16, 300), 0);
    EXPECT_NE(Graphics_D3D11_GraphFilter_GetWorkTexture(pixelType, Width, Height, 0), -1);
}

// Without a device every per-kind body answers -1 and draws nothing; the framework's bodies plan, restore
// and finish without one (0), and the pass set-up finds no image (-1).
TEST_F(FilterDeviceTest, WithoutADeviceEveryBodyAnswersMinusOne) {
    Start(0);
    GraphFilterContext run = {};
    run.PassSource = run.Source = 1, run.PassOutput = run.Destination = 1;
    run.X2 = Width, run.Y2 = Height, run.Divisor = 1;
    struct Case {
        const char* Name;
        int Result;
        int Expected;
    };
    std::vector<Case> cases;
    int source = 1, output = 1;
    const float weights[16] = {}, values[8] = {};
    const FloatColor colour = {};
    cases.push_back({"RectBltSetup", Graphics_D3D11_GraphFilter_RectBltSetup(&run, nullptr), 0});
    cases.push_back({"RectBltPassSetup", Graphics_D3D11_GraphFilter_RectBltPassSetup(&run, &source, &output), -1});
    cases.push_back({"RestoreDrawState", Graphics_D3D11_GraphFilter_RestoreDrawState(), 0});
    cases.push_back({"RectBltFinish", Graphics_D3D11_GraphFilter_RectBltFinish(&run, 1, -1), 0});
    cases.push_back({"Mono", Graphics_D3D11_GraphFilter_Mono(&run, 0.1f, 0.1f), -1});
    cases.push_back({"Gauss", Graphics_D3D11_GraphFilter_Gauss(&run, 16, 1.0f, weights), -1});
    cases.push_back({"DownScale", Graphics_D3D11_GraphFilter_DownScale(&run, 2), -1});
    cases.push_back({"BrightClip", Graphics_D3D11_GraphFilter_BrightClip(&run, 2, 0.5f, 1, &colour, 0), -1});
    cases.push_back({"BrightScale", Graphics_D3D11_GraphFilter_BrightScale(&run, 10, 200, 0), -1});
    cases.push_back({"Hsb", Graphics_D3D11_GraphFilter_Hsb(&run, 0, 0.5f, 0.1f, 0.1f, 0), -1});
    cases.push_back({"Invert", Graphics_D3D11_GraphFilter_Invert(&run, 0), -1});
    cases.push_back({"Level", Graphics_D3D11_GraphFilter_Level(&run, 0.1f, 0.9f, 1.0f, 0.0f, 1.0f, 0), -1});
    cases.push_back({"TwoColor", Graphics_D3D11_GraphFilter_TwoColor(&run, 100.0f, &colour, &colour, 0), -1});
    cases.push_back({"GradientMap", Graphics_D3D11_GraphFilter_GradientMap(&run, 1, 0, 0), -1});
    cases.push_back({"Replacement", Graphics_D3D11_GraphFilter_Replacement(&run, 0, 0, 0), -1});
    cases.push_back({"PremultipliedAlpha", Graphics_D3D11_GraphFilter_PremultipliedAlpha(&run), -1});
    cases.push_back({"InterpolatedAlpha", Graphics_D3D11_GraphFilter_InterpolatedAlpha(&run), -1});
    cases.push_back({"YuvToRgb", Graphics_D3D11_GraphFilter_YuvToRgb(&run, -1), -1});
    cases.push_back({"Bicubic", Graphics_D3D11_GraphFilter_Bicubic(&run, Width, Height), -1});
    cases.push_back({"Lanczos3", Graphics_D3D11_GraphFilter_Lanczos3(&run, Width, Height), -1});
    cases.push_back({"Ssao", Graphics_D3D11_GraphFilter_Ssao(&run, 1, 1, 1, 1, 1, 0, 1, 1), -1});
    cases.push_back({"FloatColorScale", Graphics_D3D11_GraphFilter_FloatColorScale(&run, values), -1});
    cases.push_back({"Blend", Graphics_D3D11_GraphFilter_Blend(&run, 0), -1});
    cases.push_back({"BlendRGBAMix", Graphics_D3D11_GraphFilter_BlendRGBAMix(&run, 0, 1, 2, 3, 0), -1});
    for (const Case& c : cases) EXPECT_EQ(c.Result, c.Expected) << c.Name;
    EXPECT_EQ(source, 1);
    EXPECT_EQ(output, 1);
}

// A filter shader the device cannot make fails the filter with one log line naming the file: the
// channel-mix shaders named by their selectors with their own sentence, every other filter with the
// common one. The archive is hidden for the runs, so no shader of it can be made.
TEST_F(FilterDeviceTest, AShaderThatCannotBeMadeIsNamedInItsLogLine) {
    Start(1);
    const int graph = MakeSource(SourcePixel), blend = MakeSource(BlendPixel);
    ASSERT_GE(graph, 0);
    ASSERT_GE(blend, 0);
    const std::vector<uint32_t> before = ReadGraph(graph);
    D3D11ShaderCodeState.FilterArchiveOpen = 0;
    struct Case {
        const char* What;
        std::function<int()> Run;
        const char8_t* Line;
    };
    const Case cases[] = {
        {"colours of the source, alpha of the second",
         [&] {
             return GraphFilter_Execute(1, graph, blend, graph, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 1, 2, 4);
         },
         u8"RGBAMixS フィルター用シェーダーの作成に失敗しました RGBAMix_SRSGSBBR.pso"},
        {"one colour of the second thrice",
         [&] {
             return GraphFilter_Execute(1, graph, blend, graph, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0,
                                        0, 0, 5, 5, 5, 2);
         },
         u8"RGBAMixS フィルター用シェーダーの作成に失敗しました RGBAMix_SGSGSGBB.pso"},
        {"invert", [&] { return FilterGraph(graph, GraphFilter_KindInvert); },
         u8"フィルター用シェーダーの作成に失敗しました Invert.pso"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const size_t logged = WindowTest::ReadLog().size();   // the log goes on from earlier runs
        EXPECT_EQ(c.Run(), -1);
        EXPECT_NE(WindowTest::ReadLog().find(WindowTest::Utf8(c.Line), logged), std::string::npos);
        EXPECT_EQ(ReadGraph(graph), before);
    }
    D3D11ShaderCodeState.FilterArchiveOpen = 1;
    EXPECT_EQ(FilterGraph(graph, GraphFilter_KindInvert), 0);
}

TEST_F(FilterDeviceTest, ADeviceMadeAgainLeavesNoFilterShaderOrWorkTextureOfTheOldOneBehind) {
    Start(1);
    const int graph = MakeSource(SourcePixel), gradient = MakeGradient();
    ASSERT_GE(graph, 0);
    ASSERT_GE(gradient, 0);
    auto run = [&] {
        ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 16, 300), 0);
        ASSERT_EQ(FilterGraph(graph, GraphFilter_KindLevel, 20, 220, 150, 10, 240), 0);
        ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGradientMap, gradient, 0), 0);
        ASSERT_EQ(GraphFilter_Execute(1, graph, gradient, graph, 255, GraphBlend_RgbaMix, 0, 0, 4, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                      2, 0, 3),
                  0);
    };
    run();
    const int shaders = HandleManagerTable[HandleType_Shader].Count, graphs = HandleManagerTable[HandleType_Graph].Count;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1), 0);
        run();
        EXPECT_EQ(HandleManagerTable[HandleType_Shader].Count, shaders) << "after re-creation " << i + 1;
        EXPECT_EQ(HandleManagerTable[HandleType_Graph].Count, graphs) << "after re-creation " << i + 1;
    }
}

// Lanczos-3 has no software body: the device's resampling is held to the definition above, up and down,
// within 2 per channel (the shader's float sines and its normalisation against double arithmetic).
TEST_F(FilterDeviceTest, LanczosResamplingFollowsItsDefinitionWithinTwoPerChannel) {
    Start(1);
    const int source = MakeSource(BusyPixel), destination = MakeDrawableGraph(64, 64);
    ASSERT_GE(source, 0);
    ASSERT_GE(destination, 0);
    for (const auto& size : {std::pair<int, int>{40, 30}, std::pair<int, int>{17, 13}}) {
        const int w = size.first, h = size.second;
        ASSERT_EQ(FilterGraphToGraph(source, destination, GraphFilter_KindLanczos3, w, h), 0);
        const std::vector<uint32_t> device = ReadGraph(destination, w, h);
        const std::vector<uint32_t> reference = LanczosReference(BusyPixel, Width, Height, w, h);
        ASSERT_EQ(device.size(), reference.size());
        int worst = 0, differing = 0;
        for (size_t p = 0; p < device.size(); ++p)
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs((int)(device[p] >> shift & 0xFF) - (int)(reference[p] >> shift & 0xFF));
                worst = d > worst ? d : worst;
                differing += d > Tolerance;
            }
        printf("[ filter   ] lanczos-3 to %dx%d largest gap %d\n", w, h, worst);
        EXPECT_EQ(differing, 0) << w << " x " << h << ": worst gap " << worst;
    }
}

// The occlusion filter exists on Direct3D 11 only. Its last pass mixes the colour image of the depth
// graph towards the occlusion colour by the occlusion times the mix value: a mix value of 0, or a white
// occlusion colour, gives the colour image back unchanged, and a black one only ever darkens it; a flat
// depth has nothing in front of it, so even a black colour at mix 1 leaves the image as it was.
TEST_F(FilterDeviceTest, TheOcclusionFilterMixesTheColourImageTowardsTheOcclusionColourByTheMixValue) {
    Start(1);
    GraphCreateParam param;
    Graphics_Image_InitRenderTargetFormatParam(&param, 32, 1);
    param.withDepthBuffer = 1;
    // A depth buffer the shaders can read: a 16-bit one cannot be sampled, and the filter refuses it.
    param.depthBits = 32;
    const int depth = Graphics_Image_MakeEmptyGraph_GParam(&param, Width, Height, 0, 0, 0, 0, 0);
    param.depthBits = 16;
    const int shallow = Graphics_Image_MakeEmptyGraph_GParam(&param, Width, Height, 0, 0, 0, 0, 0);
    ASSERT_GE(shallow, 0);
    const int destination = MakeDrawableGraph(Width, Height);
    ASSERT_GE(depth, 0);
    ASSERT_GE(destination, 0);
    BaseImage picture;
    ASSERT_EQ(BaseImage_CreateARGB8(Width, Height, &picture), 0);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t value = SourcePixel(x, y) | 0xFF000000u;
            memcpy((uint8_t*)picture.pixels + (size_t)y * picture.pitch + (size_t)x * 4, &value, 4);
        }
    ASSERT_EQ(GraphFilter_Graph_Write(depth, 0, 0, &picture), 0);
    BaseImage_Release(&picture);
    const std::vector<uint32_t> colour = ReadGraph(depth);
    ASSERT_EQ(colour.size(), (size_t)(Width * Height));

    auto occlude = [&](int occlusionColour, double mix) {
        EXPECT_EQ(FilterGraphToGraph(depth, destination, GraphFilter_KindSsao, depth, 0.5, 2.0, 0.01, 0.0, occlusionColour, mix), 0);
        return ReadGraph(destination);
    };
    EXPECT_EQ(occlude(0, 0.0), colour) << "mix value 0";
    {
        const std::vector<uint32_t> before = ReadGraph(destination);
        EXPECT_EQ(FilterGraphToGraph(shallow, destination, GraphFilter_KindSsao, shallow, 0.5, 2.0, 0.01, 0.0, 0, 0.0), -1);
        EXPECT_EQ(ReadGraph(destination), before);
    }
    // A projection without an inverse gives the positions nothing to be rebuilt from: the filter fails and
    // the destination keeps what it held.
    {
        const std::vector<uint32_t> before = ReadGraph(destination);
        const MatrixD projection = GraphicsTransform.Projection;
        GraphicsTransform.Projection = MatrixD{};
        EXPECT_EQ(FilterGraphToGraph(depth, destination, GraphFilter_KindSsao, depth, 0.5, 2.0, 0.01, 0.0, 0, 1.0), -1);
        GraphicsTransform.Projection = projection;
        EXPECT_EQ(ReadGraph(destination), before);
        EXPECT_NE(WindowTest::ReadLog().find(WindowTest::Utf8(u8"SSAO フィルターの射影行列に逆行列がありません")),
                  std::string::npos);
    }
    EXPECT_EQ(occlude(0xFFFFFF, 1.0), colour) << "white occlusion colour";
    // A flat surface facing the camera (every depth the same) is never occluded, whatever its depth.
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&Graphics_Image_GetGraphRecord(depth, 0)->Orig->parts[0]);
    ASSERT_NE(part, nullptr);
    ASSERT_NE(part->DepthViews, nullptr);
    for (const float level : {0.5f, 0.97f}) {
        D3D11Call_DeviceContext_ClearDepthStencilView(part->DepthViews[0], D3D11_CLEAR_DEPTH, level, 0);
        EXPECT_EQ(occlude(0, 1.0), colour) << "flat depth " << level;
    }
    const std::vector<uint32_t> darkened = occlude(0, 1.0);
    ASSERT_EQ(darkened.size(), colour.size());
    for (size_t p = 0; p < colour.size(); ++p)
        for (int shift = 0; shift < 24; shift += 8)
            ASSERT_LE(darkened[p] >> shift & 0xFF, colour[p] >> shift & 0xFF) << "pixel " << p;
}

// Work textures follow the float flag of the image they stand in for: a float graph filtered in place
// goes through a float work texture, an ordinary one through a 32-bit colour one.
TEST_F(FilterDeviceTest, AFloatGraphsWorkTextureIsAFloatRenderTarget) {
    Start(1);
    GraphCreateParam param;
    Graphics_Image_InitRenderTargetFormatParam(&param, 32, 1);
    param.drawableIsFloat = 1;
    const int floating = Graphics_Image_MakeEmptyGraph_GParam(&param, Width, Height, 0, 0, 0, 0, 0);
    const int plain = MakeSource(SourcePixel);
    ASSERT_GE(floating, 0);
    ASSERT_GE(plain, 0);
    for (const int graph : {floating, plain}) {
        ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 8, 100), 0);
        const GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(graph, 0)->Orig;
        const int work = Graphics_D3D11_GraphFilter_GetWorkTexture(orig->colorFormatIndex, Width, Height, 0);
        ASSERT_GE(work, 0);
        const GraphOrigRecord* workOrig = Graphics_Image_GetGraphRecord(work, 0)->Orig;
        EXPECT_EQ(workOrig->format.isFloat, orig->format.isFloat) << (graph == floating ? "float" : "plain");
        D3D11_TEXTURE2D_DESC desc = {};
        D3D11Call_Texture2D_GetDesc(Graphics_D3D11_OrigTexture_Of(&workOrig->parts[0])->Texture, &desc);
        if (graph == floating) EXPECT_EQ(desc.Format, DXGI_FORMAT_R16G16B16A16_FLOAT);
        else EXPECT_TRUE(desc.Format == DXGI_FORMAT_B8G8R8A8_UNORM || desc.Format == DXGI_FORMAT_R8G8B8A8_UNORM) << desc.Format;
    }
}

// A pass that cannot be drawn (its gradient graph is gone) fails the filter and leaves the graph as it
// was, never the pixels an earlier run left in the work texture.
TEST_F(FilterDeviceTest, AFailedDevicePassFailsTheFilterAndLeavesTheGraph) {
    Start(1);
    const int earlier = MakeSource(SourcePixel), graph = MakeSource(UvPixel), gradient = MakeGradient();
    ASSERT_GE(earlier, 0);
    ASSERT_GE(graph, 0);
    ASSERT_GE(gradient, 0);
    ASSERT_EQ(FilterGraph(earlier, GraphFilter_KindInvert), 0);   // fills the work texture of this size
    const std::vector<uint32_t> before = ReadGraph(graph);
    ASSERT_EQ(DeleteGraph(gradient), 0);
    EXPECT_EQ(FilterGraph(graph, GraphFilter_KindGradientMap, gradient, 0), -1);
    EXPECT_EQ(ReadGraph(graph), before);
    // Its premultiplied twin likewise.
    EXPECT_EQ(FilterGraph(graph, GraphFilter_KindGradientMapPma, gradient, 1), -1);
    EXPECT_EQ(ReadGraph(graph), before);
}

// An opaque picture (no alpha: its texture has a format of its own) filtered in place takes the result,
// converted from the work texture's format.
TEST_F(FilterDeviceTest, AnOpaquePictureTakesTheResultInItsOwnFormat) {
    Start(1);
    BaseImage image;
    ASSERT_EQ(BaseImage_CreateXRGB8(Width, Height, &image), 0);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t value = SourcePixel(x, y) & 0xFFFFFF;
            memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &value, 4);
        }
    const int picture = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    ASSERT_GE(picture, 0);
    const GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(picture, 0)->Orig;
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(Graphics_D3D11_OrigTexture_Of(&orig->parts[0])->Texture, &desc);
    EXPECT_EQ(orig->format.drawable, 0);
    printf("[ format   ] the opaque picture's texture: %d\n", (int)desc.Format);
    ASSERT_EQ(FilterGraph(picture, GraphFilter_KindInvert), 0);
    const std::vector<uint32_t> inverted = ReadGraph(picture);
    ASSERT_EQ(inverted.size(), (size_t)(Width * Height));
    int wrong = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            wrong += (inverted[(size_t)y * Width + x] & 0xFFFFFF) != (~SourcePixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(wrong, 0);
}
