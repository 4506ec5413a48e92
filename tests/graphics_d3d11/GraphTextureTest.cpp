// Graph textures on Wine's Direct3D 11 device, read back level by level: a mip-mapped graph built from an
// image of flat blocks (each level shows the blocks at its size), partial transfers that reach only their
// own box on every level; a multisampled drawable graph (samples kept, edges blended, interiors exact);
// and a texture the program made itself, drawn as a graph and left alive when the graph goes.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

constexpr int ScreenSize = 64;

// A flat colour per 4 x 4 block of the mip-mapped graph (0xAARRGGBB, opaque).
uint32_t BlockColour(int bx, int by) { return 0xFF000000u | (uint32_t)(40 + bx * 50) << 16 | (uint32_t)(30 + by * 60) << 8 | 0x5Au; }

BaseImage MakeImage(int width, int height, const std::function<uint32_t(int, int)>& colour) {
    BaseImage image = {};
    BaseImage_CreateARGB8(width, height, &image);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * 4, &c, 4);
        }
    return image;
}

ID3D11Texture2D* TextureOf(int graph) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr) return nullptr;
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&record->Orig->parts[0]);
    return part != nullptr ? part->Texture : nullptr;
}

// One level (or the whole multisampled texture, resolved) as 0xAARRGGBB words; empty when it cannot be read.
struct Level {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Words;
    uint32_t At(int x, int y) const { return Words[(size_t)y * Width + x]; }
};

Level ReadLevel(ID3D11Texture2D* texture, int mip) {
    Level level;
    BaseImage image = {};
    if (texture == nullptr || Graphics_D3D11_Texture_CreateReadBack(texture, nullptr, mip, 0, &image) < 0) return level;
    level.Width = image.width;
    level.Height = image.height;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            uint32_t value = 0;
            memcpy(&value, (const uint8_t*)image.pixels + (size_t)y * image.pitch + (size_t)x * image.format.bytesPerPixel,
                   image.format.bytesPerPixel);
            int r = 0, g = 0, b = 0, a = 0;
            BaseImage_ColorFormat_UnpackColor(&image.format, value, &r, &g, &b, &a);
            level.Words.push_back((uint32_t)a << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
        }
    Graphics_D3D11_DrawScreen_Unlock();
    return level;
}

int Transfer(int graph, const BaseImage& image, int x, int y) {
    const BaseImageRect whole = {0, 0, image.width, image.height};
    return Graphics_Image_BltImageToGraph(&whole, x, y, graph, &image, nullptr, 0, 0, 0, 0);
}

class GraphTextureTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        D3D11Test::StartLibraryOnRoad(1, ScreenSize, ScreenSize);
        ASSERT_FALSE(HasFatalFailure());
    }

    void TearDown() override {
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
    }

    int MakeMipGraph(int size, int levels) {
        GraphCreateParam param;
        Graphics_Image_InitCreateParam(&param);
        param.mipLevels = levels;
        param.alpha = 1;
        return Graphics_Image_MakeEmptyGraph_GParam(&param, size, size, 0, 0, 0, 0, 0);
    }

    int MakeDrawable(int size, int samples) {
        GraphCreateParam param;
        Graphics_Image_InitCreateParam(&param);
        param.drawable = 1;
        param.multiSampleCount = samples;
        param.multiSampleQuality = 0;
        return Graphics_Image_MakeEmptyGraph_GParam(&param, size, size, 0, 0, 0, 0, 0);
    }
};

}  // namespace

TEST_F(GraphTextureTest, EveryMipLevelShowsTheImageAtItsSize) {
    const int graph = MakeMipGraph(16, 3);
    ASSERT_GE(graph, 0);
    ASSERT_EQ(Graphics_Image_GetGraphRecord(graph, 0)->Orig->mipLevels, 3);
    BaseImage image = MakeImage(16, 16, [](int x, int y) { return BlockColour(x / 4, y / 4); });
    ASSERT_EQ(Transfer(graph, image, 0, 0), 0);
    BaseImage_Release(&image);
    for (int mip = 0; mip < 3; ++mip) {
        SCOPED_TRACE(mip);
        const Level level = ReadLevel(TextureOf(graph), mip);
        ASSERT_EQ(level.Width, 16 >> mip);
        const int block = 4 >> mip;
        int differing = 0;
        for (int y = 0; y < level.Height; ++y)
            for (int x = 0; x < level.Width; ++x) differing += level.At(x, y) != BlockColour(x / block, y / block);
        EXPECT_EQ(differing, 0);
    }
}

// A transfer of part of the image changes, on each level, only its own box shifted down to that level
// (widened to one pixel where it would vanish).
TEST_F(GraphTextureTest, APartialMipMappedTransferReachesOnlyItsBoxOnEveryLevel) {
    const int graph = MakeMipGraph(16, 3);
    ASSERT_GE(graph, 0);
    BaseImage base = MakeImage(16, 16, [](int x, int y) { return BlockColour(x / 4, y / 4); });
    ASSERT_EQ(Transfer(graph, base, 0, 0), 0);
    BaseImage_Release(&base);
    struct Case {
        const char* Name;
        int X, Y, Width, Height;
        RECT Boxes[3];   // the changed box of levels 0, 1 and 2 (empty: not checked)
        uint32_t Colour;
    };
    const Case cases[] = {
        {"4 x 4 at (8, 4)", 8, 4, 4, 4, {{8, 4, 12, 8}, {4, 2, 6, 4}, {2, 1, 3, 2}}, 0xFFF0F0F0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<Level> before;
        for (int mip = 0; mip < 3; ++mip) before.push_back(ReadLevel(TextureOf(graph), mip));
        BaseImage patch = MakeImage(c.Width, c.Height, [&](int, int) { return c.Colour; });
        ASSERT_EQ(Transfer(graph, patch, c.X, c.Y), 0);
        BaseImage_Release(&patch);
        for (int mip = 0; mip < 3; ++mip) {
            SCOPED_TRACE(mip);
            const RECT& box = c.Boxes[mip];
            if (box.right == 0) continue;
            const Level after = ReadLevel(TextureOf(graph), mip);
            ASSERT_EQ(after.Words.size(), before[mip].Words.size());
            int wrongInside = 0, changedOutside = 0;
            for (int y = 0; y < after.Height; ++y)
                for (int x = 0; x < after.Width; ++x) {
                    const bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
                    if (inside) wrongInside += after.At(x, y) != c.Colour;
                    else changedOutside += after.At(x, y) != before[mip].At(x, y);
                }
            EXPECT_EQ(wrongInside, 0);
            EXPECT_EQ(changedOutside, 0);
        }
    }
}

// A multisampled drawable graph keeps its samples: a drawn disc reads back with blended edge pixels, while
// a single-sample graph has none, and the interior and the background are exact in both.
TEST_F(GraphTextureTest, AMultisampledDrawableGraphBlendsEdgesAndKeepsInteriorsExact) {
    const uint32_t disc = MakeColorCode(250, 250, 250);
    int blended[2] = {};
    for (int samples : {1, 4}) {
        SCOPED_TRACE(samples);
        const int graph = MakeDrawable(32, samples);
        ASSERT_GE(graph, 0);
        const GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(graph, 0)->Orig;
        D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&orig->parts[0]);
        ASSERT_NE(part->Texture, nullptr);
        if (samples > 1) {
            ASSERT_NE(part->MultiSampleTexture, nullptr);
            D3D11_TEXTURE2D_DESC desc = {};
            D3D11Call_Texture2D_GetDesc(part->MultiSampleTexture, &desc);
            EXPECT_EQ(desc.SampleDesc.Count, 4u);
            // The screen has one sample: the graph needs a depth buffer of its own, of its own sample count.
            ASSERT_NE(part->DepthTexture, nullptr);
            D3D11Call_Texture2D_GetDesc(part->DepthTexture, &desc);
            EXPECT_EQ(desc.SampleDesc.Count, 4u);
        } else {
            EXPECT_EQ(part->MultiSampleTexture, nullptr);
        }
        ASSERT_EQ(SelectDrawScreen(graph), 0);
        DrawFilledRectangle(0, 0, 32, 32, MakeColorCode(0, 0, 0));
        DrawCircleShape(16, 16, 11, disc, 1, 1);
        const Level level = ReadLevel(part->MultiSampleTexture != nullptr ? part->MultiSampleTexture : part->Texture, 0);
        ASSERT_EQ(level.Width, 32);
        EXPECT_EQ(level.At(16, 16) & 0xFFFFFF, 0xFAFAFAu);
        EXPECT_EQ(level.At(1, 1) & 0xFFFFFF, 0u);
        for (uint32_t word : level.Words) {
            const uint32_t red = word >> 16 & 0xFF;
            blended[samples > 1] += red != 0 && red != 0xFA;
        }
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
        DeleteGraph(graph);
    }
    EXPECT_EQ(blended[0], 0);
    EXPECT_GT(blended[1], 0);
}

// A cube map never multisamples, whatever was asked.
TEST_F(GraphTextureTest, ACubeMapRenderTargetGetsOneSample) {
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    param.drawable = 1;
    param.cubeMap = 1;
    param.multiSampleCount = 4;
    const int graph = Graphics_Image_MakeEmptyGraph_GParam(&param, 16, 16, 0, 0, 0, 0, 0);
    ASSERT_GE(graph, 0);
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&Graphics_Image_GetGraphRecord(graph, 0)->Orig->parts[0]);
    EXPECT_EQ(part->MultiSampleTexture, nullptr);
    ASSERT_NE(part->Texture, nullptr);
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(part->Texture, &desc);
    EXPECT_EQ(desc.SampleDesc.Count, 1u);
    EXPECT_EQ(desc.ArraySize, 6u);
    DeleteGraph(graph);
}

// A texture the program made is the graph's texture as it is: drawn through the graph, it shows its own
// pixels; deleting the graph leaves it to the program.
TEST_F(GraphTextureTest, AnExternalTextureIsDrawnAsTheGraphAndOutlivesIt) {
    const int size = 8;
    std::vector<uint32_t> texels;   // R8G8B8A8 words: 0xAABBGGRR
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) texels.push_back(0xFF000000u | (uint32_t)(y * 30) << 8 | (uint32_t)(x * 30 + 10));
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = desc.Height = size;
    desc.MipLevels = desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc = {1, 0};
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    const D3D11_SUBRESOURCE_DATA data = {texels.data(), size * 4, 0};
    ID3D11Texture2D* own = nullptr;
    ASSERT_EQ(D3D11Call_Device_CreateTexture2D(&desc, &data, &own), S_OK);

    const int graph = MakeGraph(size, size);
    ASSERT_GE(graph, 0);
    GraphOrigRecord* orig = Graphics_Image_GetGraphRecord(graph, 0)->Orig;
    ASSERT_EQ(Graphics_D3D11_Texture_Release(orig), 0);
    orig->externalTexture = own;
    ASSERT_EQ(Graphics_D3D11_OrigTexture_Create(orig, nullptr), 0);
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&orig->parts[0]);
    EXPECT_EQ(part->Texture, own);
    ASSERT_NE(part->TextureView, nullptr);

    DrawFilledRectangle(0, 0, ScreenSize, ScreenSize, MakeColorCode(0, 0, 0));
    ASSERT_EQ(DrawGraphAt(4, 6, graph, 0), 0);
    const std::vector<uint32_t> screen = D3D11Test::ReadDrawTarget(ScreenSize);
    ASSERT_EQ(screen.size(), (size_t)(ScreenSize * ScreenSize));
    int differing = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const uint32_t t = texels[(size_t)y * size + x];
            const uint32_t expected = (t & 0xFF) << 16 | (t & 0xFF00) | (t >> 16 & 0xFF);
            differing += screen[(size_t)(6 + y) * ScreenSize + 4 + x] != expected;
        }
    EXPECT_EQ(differing, 0);

    const int textures = D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D];
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_TEXTURE2D], textures);
    EXPECT_EQ(own->AddRef(), 2u);   // the program's reference only, and this one
    own->Release();
    D3D11Call_Texture2D_Release(own);
}
