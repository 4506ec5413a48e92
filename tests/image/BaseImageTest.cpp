// Base images: formats, creation with checked sizes, data sizes, colour packing, pixel access,
// half floats, screen colour codes, alpha file names, and the fills and circles drawn on images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

ColorFormatDesc Cleared()
{
    ColorFormatDesc d;
    memset(&d, 0, sizeof(d));
    return d;
}

uint32_t Float32Bits(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return bits;
}

}  // namespace

TEST(BaseImageTest, CreatePitchesAndRefusedSizes)
{
    BaseImage image = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(3, 2, &image));
    EXPECT_EQ(12, image.pitch);
    EXPECT_EQ(24, BaseImage_GetDataSize(&image));
    BaseImage_Release(&image);
    EXPECT_EQ(nullptr, image.pixels);
    ASSERT_EQ(0, BaseImage_CreatePal8(5, 1, &image, 0));
    EXPECT_EQ(8, image.pitch);
    BaseImage_Release(&image);
    ASSERT_EQ(0, BaseImage_CreateARGBF32(3, 1, &image));
    EXPECT_EQ(48, image.pitch);
    EXPECT_EQ(16, image.format.bytesPerPixel);
    BaseImage_Release(&image);

    // Sizes whose 32-bit products wrap (to 0, or to something small) are refused, nothing allocated.
    const int32_t blocksBefore = Memory_GetBlockCount();
    struct { int width, height; } tooLarge[] = {{65536, 16384}, {0x40000000, 1}, {46341, 46341}, {0x7FFFFFFF, 0x7FFFFFFF}};
    for (auto size : tooLarge) {
        EXPECT_EQ(-1, BaseImage_CreateARGB8(size.width, size.height, &image)) << size.width << " x " << size.height;
        EXPECT_EQ(nullptr, image.pixels);
        EXPECT_EQ(-1, BaseImage_CreateARGBF32(size.width, size.height, &image));
    }
    EXPECT_EQ(-1, BaseImage_CreatePal8(0x10000, 0x10001, &image, 1));
    EXPECT_EQ(blocksBefore, Memory_GetBlockCount());
    EXPECT_EQ(-1, BaseImage_CheckedSize(0x10000, 0x10000));
    EXPECT_EQ(0x7FFFFFFF, BaseImage_CheckedSize(0x7FFFFFFF, 1));

    // A record whose pitch x height passes the limit reports no size.
    BaseImage big = {};
    BaseImage_ColorFormat_InitARGB8(&big.format);
    big.width = 0x4000;
    big.height = 0x10000;
    big.pitch = 0x10000;
    EXPECT_EQ(-1, BaseImage_GetDataSize(&big));
}

TEST(BaseImageTest, FormatDescriptors)
{
    ColorFormatDesc d = Cleared();
    BaseImage_ColorFormat_InitFromMasks(&d, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0);
    EXPECT_EQ(10, d.redShift);
    EXPECT_EQ(5, d.greenShift);
    EXPECT_EQ(0, d.blueShift);
    EXPECT_EQ(5, d.redWidth);
    EXPECT_EQ(5, d.greenWidth);
    EXPECT_EQ(5, d.blueWidth);
    EXPECT_EQ(0x8000u, d.unusedMask);
    EXPECT_EQ(15, d.unusedShift);
    EXPECT_EQ(1, d.unusedWidth);
    EXPECT_EQ(2, d.bytesPerPixel);
    // A mask with a gap counts its lowest run only.
    BaseImage_ColorFormat_InitFromMasks(&d, 32, 0x0F0F0000, 0xFF00, 0xFF, 0, 0, 0, 0);
    EXPECT_EQ(16, d.redShift);
    EXPECT_EQ(4, d.redWidth);
    // Per-channel formats record only their shape.
    BaseImage_ColorFormat_InitFromMasks(&d, 32, 0xFF, 0, 0, 0, 4, 16, 1);
    EXPECT_EQ(8, d.bytesPerPixel);
    EXPECT_EQ(0u, d.redMask);
    // The preset palette.
    BaseImage_ColorFormat_InitPal8Preset(&d, 1);
    EXPECT_EQ(0xFFFFFFFFu, d.palette[255]);
    // Entry 51: red 3, green (51 >> 3) & 7 = 6, blue (51 >> 5) & 3 = 1 (green and blue share bit 5).
    EXPECT_EQ(0xFF000000u | (uint32_t)(3 * 255 / 7) << 16 | (uint32_t)(6 * 255 / 7) << 8 | 85, d.palette[51]);
    BaseImage_ColorFormat_InitPal8Preset(&d, 0);
    EXPECT_EQ(0x00FFFFFFu, d.palette[255]);
    EXPECT_EQ(0xFF000000u, d.unusedMask);
    // SetUnusedMask: full widths give 0.
    BaseImage_ColorFormat_InitARGB8(&d);
    d.unusedMask = 123;
    BaseImage_ColorFormat_SetUnusedMask(&d);
    EXPECT_EQ(0u, d.unusedMask);
}

TEST(BaseImageTest, PackAndUnpackColours)
{
    ColorFormatDesc rgb565 = Cleared(), xrgb8 = Cleared(), gray = Cleared(), a4 = Cleared();
    BaseImage_ColorFormat_InitR5G6B5(&rgb565);
    BaseImage_ColorFormat_InitXRGB8(&xrgb8);
    BaseImage_ColorFormat_InitGray8(&gray);
    BaseImage_ColorFormat_InitFromMasks(&a4, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0);
    EXPECT_EQ(0xFFFFu, BaseImage_ColorFormat_PackColor(&rgb565, 255, 255, 255, 255));
    EXPECT_EQ(0xFF010203u, BaseImage_ColorFormat_PackColor(&xrgb8, 1, 2, 3, 4));
    EXPECT_EQ(20u, BaseImage_ColorFormat_PackColor(&gray, 10, 20, 30, 0));
    EXPECT_EQ(0x8F00u, BaseImage_ColorFormat_PackColor(&a4, 255, 0, 0, 128));

    int r = -1, g = -1, b = -1, a = -1;
    BaseImage_ColorFormat_UnpackColor(&rgb565, 0xFFFF, &r, &g, &b, &a);
    EXPECT_EQ(255, r);
    EXPECT_EQ(255, g);
    EXPECT_EQ(255, b);
    EXPECT_EQ(0, a);
    a = 77;
    BaseImage_ColorFormat_UnpackColor(&xrgb8, 0xFF102030, &r, &g, &b, &a);
    EXPECT_EQ(0x10, r);
    EXPECT_EQ(0x30, b);
    EXPECT_EQ(77, a);   // no alpha: left as it was
    BaseImage_ColorFormat_UnpackColor(&a4, 0x8F00, &r, nullptr, nullptr, &a);
    EXPECT_EQ(255, r);
    EXPECT_EQ(136, a);
    EXPECT_EQ(0x80FF0102u, BaseImage_PackARGB8(0x1FF, 1, 2, 0x180));
}

TEST(BaseImageTest, PixelAccess)
{
    BaseImage image = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(2, 2, &image));
    EXPECT_EQ(0, BaseImage_SetPixelRGBA(&image, 1, 1, 10, 20, 30, 40));
    int r, g, b, a;
    EXPECT_EQ(0, BaseImage_GetPixelRGBA(&image, 1, 1, &r, &g, &b, &a));
    EXPECT_EQ(10, r);
    EXPECT_EQ(40, a);
    EXPECT_EQ(0x280A141Eu, BaseImage_GetPixelARGB8(&image, 1, 1));
    // Outside the image: refused, and the ARGB8 reader reads nothing past the buffer.
    EXPECT_EQ(-1, BaseImage_GetPixelRGBA(&image, 2, 0, &r, &g, &b, &a));
    EXPECT_EQ(-1, BaseImage_SetPixelRGBA(&image, -1, 0, 0, 0, 0, 0));
    EXPECT_EQ(0u, BaseImage_GetPixelARGB8(&image, 0, 2));
    EXPECT_EQ(0u, BaseImage_GetPixelARGB8(&image, -1, 0));
    BaseImage_Release(&image);

    // 16-bit pixels: channel bits moved to the top of their bytes.
    uint16_t white = 0xFFFF;
    BaseImage small = {};
    BaseImage_ColorFormat_InitR5G6B5(&small.format);
    small.width = small.height = 1;
    small.pitch = 2;
    small.pixels = &white;
    EXPECT_EQ(0x00F8FCF8u, BaseImage_GetPixelARGB8(&small, 0, 0));

    // Palette, half-float and float pixels.
    ASSERT_EQ(0, BaseImage_CreatePal8(1, 1, &image, 1));
    BaseImage_SetPixelRGBA(&image, 0, 0, 255, 255, 255, 0);
    EXPECT_EQ(127, *(uint8_t*)image.pixels);   // the first white entry
    BaseImage_GetPixelRGBA(&image, 0, 0, &r, &g, &b, &a);
    EXPECT_EQ(255, a);
    BaseImage_Release(&image);
    uint16_t halves[4] = {};
    BaseImage half = {};
    BaseImage_ColorFormat_InitFromMasks(&half.format, 0, 0, 0, 0, 0, 4, 16, 1);
    half.width = half.height = 1;
    half.pitch = 8;
    half.pixels = halves;
    BaseImage_SetPixelRGBA(&half, 0, 0, 255, 0, 51, 255);
    EXPECT_EQ(0x3C00, halves[0]);
    BaseImage_GetPixelRGBA(&half, 0, 0, &r, &g, &b, &a);
    EXPECT_EQ(255, r);
    EXPECT_EQ(0, g);
    EXPECT_NEAR(51, b, 1);
    // Two float channels: pixel 1 starts 8 bytes into the row.
    const float twoChannels[4] = {0.0f, 0.0f, 1.0f, 0.2f};
    BaseImage rg = {};
    BaseImage_ColorFormat_InitFromMasks(&rg.format, 0, 0, 0, 0, 0, 2, 32, 1);
    rg.width = 2;
    rg.height = 1;
    rg.pitch = 16;
    rg.pixels = (void*)twoChannels;
    r = g = -1;
    EXPECT_EQ(0, BaseImage_GetPixelRGBA(&rg, 1, 0, &r, &g, &b, &a));
    EXPECT_EQ(255, r);
    EXPECT_EQ(51, g);
    ASSERT_EQ(0, BaseImage_CreateARGBF32(1, 1, &image));
    BaseImage_SetPixelRGBA(&image, 0, 0, 255, 0, 0, 255);
    EXPECT_FLOAT_EQ(1.0f, ((float*)image.pixels)[0]);
    BaseImage_Release(&image);
}

TEST(BaseImageTest, SizesOfCompressedAndPaletteImages)
{
    BaseImage image = {};
    image.format.formatCode = BaseImageFormat_DXT1;
    image.width = image.height = 16;
    image.mipLevelCount = 5;
    EXPECT_EQ(128 + 32 + 8 + 8 + 8, BaseImage_GetDataSize(&image));
    // Partial blocks count whole: 5 x 5 DXT1 is 2 x 2 blocks, 6 x 2 DXT5 is 2 x 1 blocks.
    image.mipLevelCount = 0;
    image.width = image.height = 5;
    EXPECT_EQ(4 * 8, BaseImage_GetDataSize(&image));
    image.format.formatCode = BaseImageFormat_DXT5;
    image.width = 6;
    image.height = 2;
    EXPECT_EQ(2 * 16, BaseImage_GetDataSize(&image));
    image.width = image.height = 16;
    image.mipLevelCount = 3;
    EXPECT_EQ(256 + 64 + 16, BaseImage_GetDataSize(&image));
    image.format.formatCode = 9;
    EXPECT_EQ(-1, BaseImage_GetDataSize(&image));

    BaseImage pal = {};
    ASSERT_EQ(0, BaseImage_CreatePal8(3, 2, &pal, 0));
    memset(pal.pixels, 0, 8);
    ((uint8_t*)pal.pixels)[3] = 200;   // a pitch byte, outside the rectangle
    ((uint8_t*)pal.pixels)[5] = 17;
    EXPECT_EQ(17, BaseImage_GetMaxPaletteIndex(&pal));
    BaseImage_Release(&pal);
}

TEST(BaseImageTest, HalfFloats)
{
    EXPECT_EQ(0x3C00, BaseImage_FloatToHalf(1.0f));
    EXPECT_EQ(0x7C00, BaseImage_FloatToHalf(65536.0f));
    EXPECT_EQ(0xFC00, BaseImage_FloatToHalf(-1.0e10f));
    EXPECT_EQ(0x7C00, BaseImage_FloatToHalf(INFINITY));
    EXPECT_EQ(0x0000, BaseImage_FloatToHalf(0.0f));
    EXPECT_EQ(0x8000, BaseImage_FloatToHalf(-0.0f));
    EXPECT_EQ(0x0010, BaseImage_FloatToHalf(1.0e-6f));   // subnormal: 16 x 2^-24
    EXPECT_EQ(0x0001, BaseImage_FloatToHalf(std::ldexp(1.0f, -24)));
    EXPECT_EQ(0x0000, BaseImage_FloatToHalf(std::ldexp(1.0f, -26)));
    EXPECT_EQ(0x0200, BaseImage_FloatToHalf(std::ldexp(1.0f, -15)));
    const uint16_t nan = BaseImage_FloatToHalf(NAN);
    EXPECT_EQ(0x7C00, nan & 0x7C00);
    EXPECT_NE(0, nan & 0x3FF);

    EXPECT_EQ(1.0f, BaseImage_HalfToFloat(0x3C00));
    EXPECT_EQ(0.0f, BaseImage_HalfToFloat(0x0000));
    EXPECT_EQ(0x80000000u, Float32Bits(BaseImage_HalfToFloat(0x8000)));   // -0, not -2^-15
    EXPECT_EQ(std::ldexp(1.0f, -24), BaseImage_HalfToFloat(0x0001));
    EXPECT_EQ(std::ldexp(1023.0f, -24), BaseImage_HalfToFloat(0x03FF));
    EXPECT_TRUE(std::isinf(BaseImage_HalfToFloat(0x7C00)));
    EXPECT_LT(BaseImage_HalfToFloat(0xFC00), 0.0f);
    EXPECT_TRUE(std::isnan(BaseImage_HalfToFloat(0x7E00)));
    EXPECT_EQ(65504.0f, BaseImage_HalfToFloat(0x7BFF));
    // Every half that is a number comes back as itself.
    for (uint32_t h = 0; h < 0x10000; h++) {
        if ((h & 0x7C00) == 0x7C00 && (h & 0x3FF) != 0) continue;
        ASSERT_EQ(h, BaseImage_FloatToHalf(BaseImage_HalfToFloat((uint16_t)h))) << std::hex << h;
    }
}

TEST(BaseImageTest, ScreenColourCodes)
{
    const int width = 640, height = 480;
    const int savedApi = GraphicsApi;
    GraphicsApi = GRAPHICS_API_NONE;
    SetScreenResolution(width, height, 16, 60);
    EXPECT_EQ(0xFC00u, MakeColorCode(255, 128, 0));
    int r, g, b;
    SplitColorCode(0xFC00, &r, &g, &b);
    EXPECT_EQ(255, r);
    EXPECT_EQ(32 * 255 / 63, g);
    EXPECT_EQ(0, b);
    SetScreenResolution(width, height, 32, 60);
    EXPECT_EQ(0xFFFF8000u, MakeColorCode(255, 128, 0));
    GraphicsApi = GRAPHICS_API_D3D11;
    EXPECT_EQ(0xFFFF8000u, MakeColorCode(255, 128, 0));
    SplitColorCode(0x00123456, &r, &g, &b);
    EXPECT_EQ(0x12, r);
    EXPECT_EQ(0x56, b);
    GraphicsApi = savedApi;
    SetScreenResolution(width, height, 32, 60);
}

TEST(BaseImageTest, AlphaFileNamesAndViews)
{
    wchar_t out[32];
    BaseImage_MakeAlphaFileName(L"chara.png", out, sizeof(out));
    EXPECT_EQ(std::wstring(L"chara_a.png"), out);
    BaseImage_MakeAlphaFileName(L"chara", out, sizeof(out));
    EXPECT_EQ(std::wstring(L"chara_a"), out);
    BaseImage_MakeAlphaFileName(L"dir.v2\\pic.b.bmp", out, sizeof(out));
    EXPECT_EQ(std::wstring(L"dir.v2\\pic.b_a.bmp"), out);
    BaseImage_MakeAlphaFileName(L"long_name.png", out, 8 * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(L"long_na"), out);   // cut to the buffer, terminated

    BaseImage image = {}, view = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(4, 3, &image));
    EXPECT_EQ(0, BaseImage_Derive(&image, 1, 1, 4, 3, &view));
    EXPECT_EQ(3, view.width);
    EXPECT_EQ(2, view.height);
    EXPECT_EQ((uint8_t*)image.pixels + 16 + 4, view.pixels);
    const int refused[][4] = {{-1, 0, 2, 2}, {2, 0, 2, 2}, {0, 0, 5, 2}, {0, 2, 2, 1}, {0, 0, 2, 4}};
    for (auto& r : refused) EXPECT_EQ(-1, BaseImage_Derive(&image, r[0], r[1], r[2], r[3], &view));
    image.mipLevelCount = 2;
    EXPECT_EQ(-1, BaseImage_Derive(&image, 0, 0, 1, 1, &view));
    image.mipLevelCount = 0;
    BaseImage_Release(&image);
}

// ---- Drawing ----

namespace {

// Rows of a small ARGB8 image as strings: '#' where the pixel is `colour`, '.' elsewhere.
std::vector<std::string> Rows(const BaseImage& image, uint32_t colour)
{
    std::vector<std::string> rows;
    for (int y = 0; y < image.height; y++) {
        std::string row;
        for (int x = 0; x < image.width; x++)
            row += ((uint32_t*)((uint8_t*)image.pixels + y * image.pitch))[x] == colour ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(BaseImageDrawTest, CirclesAndDiscs)
{
    BaseImage image = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(5, 5, &image));
    const uint32_t red = 0xFFFF0000u;
    BaseImage_Fill(&image, 0, 0, 0, 0);
    EXPECT_EQ(0, BaseImage_DrawCircle(&image, 2, 2, 2, 255, 0, 0, 255, 1));
    EXPECT_EQ((std::vector<std::string>{".###.", "#####", "#####", "#####", ".###."}), Rows(image, red));
    BaseImage_Fill(&image, 0, 0, 0, 0);
    BaseImage_DrawCircle(&image, 2, 2, 2, 255, 0, 0, 255, 0);
    EXPECT_EQ((std::vector<std::string>{".###.", "#...#", "#...#", "#...#", ".###."}), Rows(image, red));
    BaseImage_Fill(&image, 0, 0, 0, 0);
    BaseImage_DrawCircle(&image, 2, 2, 0, 255, 0, 0, 255, 1);
    EXPECT_EQ((std::vector<std::string>{".....", ".....", "..#..", ".....", "....."}), Rows(image, red));
    // A disc centred left of the image still fills the visible part of each row.
    BaseImage_Fill(&image, 0, 0, 0, 0);
    BaseImage_DrawCircle(&image, -1, 2, 2, 255, 0, 0, 255, 1);
    EXPECT_EQ((std::vector<std::string>{"#....", "##...", "##...", "##...", "#...."}), Rows(image, red));
    // An outline centred outside draws only what falls inside.
    BaseImage_Fill(&image, 0, 0, 0, 0);
    BaseImage_DrawCircle(&image, 6, 2, 2, 255, 0, 0, 255, 0);
    EXPECT_EQ((std::vector<std::string>{".....", "....#", "....#", "....#", "....."}), Rows(image, red));
    BaseImage_Release(&image);
}

TEST(BaseImageDrawTest, FillsAndPaletteImages)
{
    BaseImage image = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(4, 2, &image));
    BaseImage_Fill(&image, 0, 0, 0, 0);
    EXPECT_EQ(0, BaseImage_FillRect(&image, -3, 1, 10, 5, 0, 0, 255, 255));
    EXPECT_EQ((std::vector<std::string>{"....", "####"}), Rows(image, 0xFF0000FFu));
    EXPECT_EQ(-1, BaseImage_FillRect(&image, 0, 0, 0, 1, 0, 0, 0, 0));
    EXPECT_EQ(-1, BaseImage_FillRect(&image, 4, 0, 1, 1, 0, 0, 0, 0));
    BaseImage_Release(&image);

    // Fills store r as the index; circles store the nearest palette entry.
    ASSERT_EQ(0, BaseImage_CreatePal8(3, 3, &image, 0));
    BaseImage_Fill(&image, 5, 200, 200, 0);
    EXPECT_EQ(5, ((uint8_t*)image.pixels)[0]);
    BaseImage_DrawCircle(&image, 1, 1, 0, 5, 200, 200, 0, 0);
    const int nearest = BaseImage_ColorFormat_NearestPaletteIndex(&image.format, 5, 200, 200);
    EXPECT_NE(5, nearest);
    EXPECT_EQ(nearest, ((uint8_t*)image.pixels)[image.pitch + 1]);
    BaseImage_Release(&image);

    // 24-bit pixels take the low three bytes, low byte first.
    uint8_t rgb[6] = {};
    BaseImage image24 = {};
    BaseImage_ColorFormat_InitRGB24(&image24.format);
    image24.width = 2;
    image24.height = 1;
    image24.pitch = 6;
    image24.pixels = rgb;
    BaseImage_Fill(&image24, 1, 2, 3, 0);
    EXPECT_EQ(3, rgb[3]);
    EXPECT_EQ(2, rgb[4]);
    EXPECT_EQ(1, rgb[5]);
}
