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
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics/VtMatrix.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "system/VtSystem.h"
#include "../graphics/GraphFilterDeviceCases.h"

using namespace Vantrel;
using namespace GraphFilterCases;

namespace {

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
};

TEST_F(FilterDeviceTest, EveryDeviceFilterMatchesTheSoftwareBodyWithinTwoPerChannel) {
    Start(0);
    std::vector<int> softwareResults, deviceResults;
    const auto read = [](int graph) { return ReadGraph(graph); };
    const std::vector<std::vector<uint32_t>> software = RunAll(false, read, &softwareResults);
    TerminateLibrary();
    Start(1);
    const std::vector<std::vector<uint32_t>> device = RunAll(true, read, &deviceResults);
    ExpectWithin("d3d11", software, softwareResults, device, deviceResults);
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
// common one. The archive is hidden for the runs, so no shader of it can be made. The file each kind
// names shows that the core's call reached that kind's own body with its arguments.
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
        // Each kind reaches its own named body, which names the file of its row.
        {"mono", [&] { return FilterGraph(graph, GraphFilter_KindMono, 10, 20); }, u8"しました Mono.pso"},
        {"gauss 16", [&] { return FilterGraph(graph, GraphFilter_KindGauss, 16, 100); }, u8"しました Gauss_16Pixel_PS.pso"},
        {"down-scale by 8", [&] { return FilterGraph(graph, GraphFilter_KindDownScale, 8); }, u8"しました DownScaleX8.pso"},
        {"bright clip", [&] { return FilterGraph(graph, GraphFilter_KindBrightClipPma, 2, 100, 1, 0x102030, 255); },
         u8"しました BrightClipFillLess_PMA.pso"},
        {"bright scale", [&] { return FilterGraph(graph, GraphFilter_KindBrightScale, 10, 200); },
         u8"しました BrightnessScale.pso"},
        {"hsb hue lock", [&] { return FilterGraph(graph, GraphFilter_KindHsb, 1, 100, 0, 0); }, u8"しました Hsb_HSB_HLOCK.pso"},
        {"level", [&] { return FilterGraph(graph, GraphFilter_KindLevelPma, 0, 255, 100, 0, 255); }, u8"しました Level_PMA.pso"},
        {"two colour", [&] { return FilterGraph(graph, GraphFilter_KindTwoColor, 100, 0, 255, 0xFFFFFF, 255); },
         u8"しました TwoColor.pso"},
        {"gradient map", [&] { return FilterGraph(graph, GraphFilter_KindGradientMap, blend, 1); }, u8"しました GradientMapRev.pso"},
        {"replacement", [&] { return FilterGraph(graph, GraphFilter_KindReplacementPma, 1, 2, 3, 4, 5, 6, 7, 8); },
         u8"しました Replacement_PMA.pso"},
        {"premultiplied alpha", [&] { return FilterGraph(graph, GraphFilter_KindPremultipliedAlpha); },
         u8"しました PremultipliedAlpha.pso"},
        {"interpolated alpha", [&] { return FilterGraph(graph, GraphFilter_KindInterpolatedAlpha); },
         u8"しました InterpolatedAlpha.pso"},
        {"yuv", [&] { return FilterGraph(graph, GraphFilter_KindYuvToRgbUv, graph); }, u8"しました Y2uv1ToRgb.pso"},
        {"bicubic", [&] { return FilterGraph(graph, GraphFilter_KindBicubic, Width, Height); }, u8"しました Bicubic.pso"},
        {"lanczos-3", [&] { return FilterGraph(graph, GraphFilter_KindLanczos3, Width, Height); }, u8"しました Lanczos3.pso"},
        {"float colour scale", [&] { return FilterGraph(graph, GraphFilter_KindFloatColorScale, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0); },
         u8"しました FloatColorScale.pso"},
        {"blend", [&] {
             return GraphFilter_Execute(1, graph, blend, graph, 255, GraphBlend_MaskPma, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0,
                                        0, 0);
         },
         u8"しました BasBF_Mask_PMA.pso"},
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

// The filter shaders are kept in the core's filter shader cache, one slot per file: made on the first
// run, used again by later runs, made anew once their handle is deleted, and emptied with the device's
// default state (a device made again starts from an empty cache). The pre-built channel-mix shaders
// have slots of their own.
TEST_F(FilterDeviceTest, FilterShadersLiveInTheCoresCacheUntilTheirHandleGoesOrTheDeviceIsMadeAgain) {
    Start(1);
    const int graph = MakeSource(SourcePixel), blend = MakeSource(BlendPixel);
    ASSERT_GE(graph, 0);
    ASSERT_GE(blend, 0);
    const int slot = Graphics_D3D11_GraphFilter_ShaderSlot("Invert.pso");
    ASSERT_GE(slot, 0);
    EXPECT_EQ(GraphFilter_ShaderHandles[slot], -1);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindInvert), 0);
    const int shader = GraphFilter_ShaderHandles[slot];
    ASSERT_NE(Graphics_Shader_GetHandleData(shader, 0), nullptr);
    const int shaders = HandleManagerTable[HandleType_Shader].Count;
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindInvert), 0);
    EXPECT_EQ(GraphFilter_ShaderHandles[slot], shader);
    EXPECT_EQ(HandleManagerTable[HandleType_Shader].Count, shaders);
    ASSERT_EQ(Handle_Delete(shader, 0, 0), 0);
    EXPECT_EQ(GraphFilter_ShaderHandles[slot], -1);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindInvert), 0);
    EXPECT_NE(Graphics_Shader_GetHandleData(GraphFilter_ShaderHandles[slot], 0), nullptr);
    // Selectors (1, 2, 0, 3) of the source alone: the pre-built shader of index ((1 * 4 + 2) * 4 + 0) * 4 + 3.
    ASSERT_EQ(GraphFilter_Execute(1, graph, blend, graph, 255, GraphBlend_RgbaMix, 0, 0, Width, Height, 0, 0, 0, 0, 0, 0, 0,
                                  0, 1, 2, 0, 3),
              0);
    const int mixSlot = Graphics_D3D11_GraphFilter_ChannelMixSlot((((1 * 4 + 2) * 4 + 0) * 4 + 3) * 2);
    EXPECT_NE(Graphics_Shader_GetHandleData(GraphFilter_ShaderHandles[mixSlot], 0), nullptr);
    // Every file of the archive has a slot of its own, apart from the channel-mix ones.
    std::vector<int> seen(GraphFilter_ShaderSlotCount, 0);
    for (const char* name : {"Mono.pso", "Gauss_32Pixel_PS.pso", "DownScaleX8.pso", "BrightClipFillGreater_PMA.pso",
                             "Level_PMA.pso", "Y2uv1ToRgb_RRA.pso", "FloatColorScale.pso", "BasBF_Mask_PMA.pso",
                             "RGBAMix_Base_PMA.pso", "RGBAMix_SGSGSGBB.pso", "RGBAMix_SRSGSBBA_PMA.pso"}) {
        const int at = Graphics_D3D11_GraphFilter_ShaderSlot(name);
        ASSERT_GE(at, 0) << name;
        ASSERT_LT(at, Graphics_D3D11_GraphFilter_ChannelMixSlot(0)) << name;
        EXPECT_EQ(seen[at]++, 0) << name;
    }
    EXPECT_EQ(Graphics_D3D11_GraphFilter_ShaderSlot("NoSuchFilter.pso"), -1);
    // A device made again starts from an empty cache.
    ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1), 0);
    int filled = 0;
    for (const int32_t handle : GraphFilter_ShaderHandles) filled += handle != -1;
    EXPECT_EQ(filled, 0);
    EXPECT_EQ(GraphFilter_LevelGammaGraphHandle(), -1);
}

// A shadow map is a filter source and destination like a graph: the blur at the end of its drawing runs
// when its strength is above 0 and gives what the same blur gives a graph holding the same values (the
// shadow map's one channel against the graph's red), and a strength of 0 leaves it as drawn.
TEST_F(FilterDeviceTest, AShadowMapIsBlurredAtTheEndOfItsDrawingAsAGraphIs) {
    Start(1);
    constexpr int Size = 32;
    auto value = [](int x, int y) { return x >= 13 && y >= 9 && y < 23 ? 1.0f : 0.0f; };
    const int map = Graphics_ShadowMap_Make(Size, Size, 32, 1);
    ASSERT_GT(map, 0);
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(map, 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->BlurStrength, 0);
    D3D11ShadowMapPlatform* platform = Graphics_D3D11_ShadowMap_PlatformOf(map);
    ASSERT_NE(platform, nullptr);
    auto drawAndRead = [&](int strength) {
        record->BlurStrength = strength;
        EXPECT_EQ(Graphics_ShadowMap_BeginDraw(map), 0);
        std::vector<float> texels((size_t)Size * Size);
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) texels[(size_t)y * Size + x] = value(x, y);
        D3D11Call_DeviceContext_UpdateSubresource(platform->Texture, 0, nullptr, texels.data(), Size * 4, 0);
        EXPECT_EQ(Graphics_ShadowMap_EndDraw(), 0);
        const RECT whole = {0, 0, Size, Size};
        BaseImage image = {};
        std::vector<float> read;
        if (Graphics_D3D11_Texture_CreateReadBack(platform->Texture, &whole, 0, 0, &image) < 0) return read;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) {
                float v = 0.0f;
                memcpy(&v, (const uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, 4);
                read.push_back(v);
            }
        Graphics_D3D11_DrawScreen_Unlock();
        return read;
    };
    const std::vector<float> unblurred = drawAndRead(0);
    ASSERT_EQ(unblurred.size(), (size_t)(Size * Size));
    for (int p = 0; p < Size * Size; ++p) ASSERT_EQ(unblurred[p], value(p % Size, p / Size)) << p;

    const std::vector<float> blurred = drawAndRead(300);
    ASSERT_EQ(blurred.size(), (size_t)(Size * Size));
    BaseImage picture;
    ASSERT_EQ(BaseImage_CreateARGB8(Size, Size, &picture), 0);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const uint32_t pixel = 0xFF000000u | (value(x, y) > 0 ? 0xFF0000u : 0u);
            memcpy((uint8_t*)picture.pixels + (size_t)y * picture.pitch + (size_t)x * 4, &pixel, 4);
        }
    const int graph = MakeGraphFromBaseImage(&picture, nullptr, 0);
    BaseImage_Release(&picture);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindGauss, 8, 300), 0);
    const std::vector<uint32_t> reference = ReadGraph(graph, Size, Size);
    ASSERT_EQ(reference.size(), (size_t)(Size * Size));
    int softened = 0, worst = 0;
    for (int p = 0; p < Size * Size; ++p) {
        const int gap = std::abs((int)std::lround(blurred[p] * 255.0f) - (int)(reference[p] >> 16 & 0xFF));
        worst = gap > worst ? gap : worst;
        softened += blurred[p] > 0.01f && blurred[p] < 0.99f;
    }
    printf("[ filter   ] shadow-map blur against the graph's largest gap %d, %d texels softened\n", worst, softened);
    EXPECT_LE(worst, Tolerance);
    EXPECT_GT(softened, 0);
}

// The float colour scale has no software body: on the device each channel becomes colour x first
// vector + second vector, within one step of the rounding.
TEST_F(FilterDeviceTest, TheFloatColourScaleMultipliesAndAddsPerChannel) {
    Start(1);
    const int graph = MakeSource(SourcePixel);
    ASSERT_GE(graph, 0);
    const float scale[4] = {0.5f, 1.0f, 0.25f, 1.0f}, offset[4] = {0.1f, 0.0f, 0.5f, 0.0f};
    ASSERT_EQ(FilterGraph(graph, GraphFilter_KindFloatColorScale, 0.5, 1.0, 0.25, 1.0, 0.1, 0.0, 0.5, 0.0), 0);
    const std::vector<uint32_t> scaled = ReadGraph(graph);
    ASSERT_EQ(scaled.size(), (size_t)(Width * Height));
    int wrong = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t in = SourcePixel(x, y), out = scaled[(size_t)y * Width + x];
            const int shifts[4] = {16, 8, 0, 24};   // red, green, blue, alpha
            for (int c = 0; c < 4; ++c) {
                float expected = (float)(in >> shifts[c] & 0xFF) / 255.0f * scale[c] + offset[c];
                expected = expected < 0 ? 0 : expected > 1 ? 1 : expected;
                wrong += std::abs((int)(out >> shifts[c] & 0xFF) - (int)std::lround(expected * 255.0f)) > 1;
            }
        }
    EXPECT_EQ(wrong, 0);
}
