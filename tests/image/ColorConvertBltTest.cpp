// Conversion blit: every specialised path held to the per-pixel path over a table of format pairs
// and options, the 8-bit destinations, dithering, the alpha image, and the whole-image functions.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

struct NamedFormat {
    const char* name;
    std::function<void(ColorFormatDesc*)> init;
};

ColorFormatDesc MakeFormat(const NamedFormat& f)
{
    ColorFormatDesc d;
    memset(&d, 0, sizeof(d));
    f.init(&d);
    return d;
}

const std::vector<NamedFormat>& MaskFormats()
{
    static const std::vector<NamedFormat> formats = {
        {"ARGB8", BaseImage_ColorFormat_InitARGB8},
        {"XRGB8", BaseImage_ColorFormat_InitXRGB8},
        {"ABGR8", BaseImage_ColorFormat_InitABGR8},
        {"RGB24", BaseImage_ColorFormat_InitRGB24},
        {"BGR24", BaseImage_ColorFormat_InitBGR24},
        {"R5G6B5", BaseImage_ColorFormat_InitR5G6B5},
        {"X1R5G5B5", BaseImage_ColorFormat_InitX1R5G5B5},
        {"A1R5G5B5", [](ColorFormatDesc* d) { BaseImage_ColorFormat_InitFromMasks(d, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, 0, 0); }},
        {"R5G5B5A1", [](ColorFormatDesc* d) { BaseImage_ColorFormat_InitFromMasks(d, 16, 0xF800, 0x7C0, 0x3E, 0x1, 0, 0, 0); }},
        {"A4R4G4B4", [](ColorFormatDesc* d) { BaseImage_ColorFormat_InitFromMasks(d, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0); }},
        {"Pal8", [](ColorFormatDesc* d) { BaseImage_ColorFormat_InitPal8Preset(d, 0); }},
        {"Pal8Alpha", [](ColorFormatDesc* d) { BaseImage_ColorFormat_InitPal8Preset(d, 1); }},
        {"Gray8", BaseImage_ColorFormat_InitGray8},
    };
    return formats;
}

// An image buffer with its format; pixels start as random bytes.
struct Picture {
    ColorFormatDesc desc;
    int width, height, pitch;
    std::vector<uint8_t> bytes;
    Picture(const ColorFormatDesc& d, int w, int h, uint32_t seed, int fill = -1) : desc(d), width(w), height(h)
    {
        pitch = w * (d.bytesPerPixel ? d.bytesPerPixel : 1) + 3;   // rows with a gap, to catch pitch mistakes
        bytes.resize((size_t)pitch * h);
        std::mt19937 random(seed);
        for (auto& b : bytes) b = fill >= 0 ? (uint8_t)fill : (uint8_t)random();
    }
    uint8_t* At(int x, int y) { return bytes.data() + (size_t)y * pitch + (size_t)x * desc.bytesPerPixel; }
    uint32_t Value(int x, int y)
    {
        uint32_t v = 0;
        memcpy(&v, At(x, y), desc.bytesPerPixel);
        return v;
    }
};

// The key as a 0xRRGGBB colour code for the source pixel at (0, 0), exact in the source format.
uint32_t KeyOfFirstPixel(Picture& p)
{
    uint32_t v = p.Value(0, 0);
    if (p.desc.bytesPerPixel == 1) return p.desc.palette[v] & 0xFFFFFF;
    auto top = [v](uint32_t mask, int shift, int width) { return width ? ((v & mask) >> shift) << (8 - width) : 0; };
    return top(p.desc.redMask, p.desc.redShift, p.desc.redWidth) << 16 |
           top(p.desc.greenMask, p.desc.greenShift, p.desc.greenWidth) << 8 |
           top(p.desc.blueMask, p.desc.blueShift, p.desc.blueWidth);
}

// Destination bits the comparison holds equal: every channel bit, except the low bits a
// specialised loop fills with zeros where the per-pixel path spreads a narrower source channel.
uint32_t ComparedBits(const ColorFormatDesc& s, const ColorFormatDesc& d)
{
    const bool paletteSource = s.bytesPerPixel == 1;
    auto channel = [&](uint32_t mask, int shift, int dWidth, int sWidth) -> uint32_t {
        const int source = paletteSource ? 8 : sWidth;
        if (dWidth > source) return mask & ~(((1u << (dWidth - source)) - 1) << shift);
        return mask;
    };
    return channel(d.redMask, d.redShift, d.redWidth, s.redWidth) |
           channel(d.greenMask, d.greenShift, d.greenWidth, s.greenWidth) |
           channel(d.blueMask, d.blueShift, d.blueWidth, s.blueWidth) | d.alphaMask;
}

struct BltCase {
    int mirror, keyToAlpha, dither, keySkip;
};

}  // namespace

TEST(ColorConvertBltTest, EveryFormatPairMatchesThePerPixelPath)
{
    const int width = 13, height = 5;
    std::vector<BltCase> cases;
    for (int mirror = 0; mirror < 2; mirror++)
        for (int key = 0; key < 2; key++)
            for (int dither = 0; dither < 3; dither++)
                for (int skip = 0; skip < 2; skip++) cases.push_back({mirror, key, dither, skip});
    int compared = 0;
    uint32_t seed = 1;
    for (const NamedFormat& sf : MaskFormats()) {
        for (const NamedFormat& df : MaskFormats()) {
            const ColorFormatDesc sd = MakeFormat(sf), dd = MakeFormat(df);
            if (dd.bytesPerPixel < 2) continue;   // 8-bit destinations: own test below
            Picture src(sd, width + 2, height + 1, seed++);
            // A few more pixels of the key colour.
            memcpy(src.At(3, 1), src.At(0, 0), sd.bytesPerPixel);
            memcpy(src.At(7, 2), src.At(0, 0), sd.bytesPerPixel);
            const uint32_t key = KeyOfFirstPixel(src);
            const uint32_t compared_bits = ComparedBits(sd, dd);
            for (const BltCase& c : cases) {
                const uint32_t keyColour = c.keySkip ? src.Value(0, 0) : key;
                Picture fast(dd, width + 3, height + 2, 0, 0x5A), general(dd, width + 3, height + 2, 0, 0x5A);
                const BaseImageRect rect = {1, 0, 1 + width, height};
                const int a = BaseImage_ColorConvertBlt(fast.bytes.data(), fast.pitch, &dd, src.bytes.data(), src.pitch,
                                                        &sd, nullptr, 0, nullptr, 2, 1, &rect, c.mirror, c.keyToAlpha,
                                                        keyColour, c.dither, 0, 0, c.keySkip, 0);
                const int b = BaseImage_ColorConvertBlt_General(general.bytes.data(), general.pitch, &dd,
                                                                src.bytes.data(), src.pitch, &sd, nullptr, 0, nullptr, 2,
                                                                1, &rect, c.mirror, c.keyToAlpha, keyColour, c.dither,
                                                                0, 0, c.keySkip, 0);
                ASSERT_EQ(a, b) << sf.name << " -> " << df.name;
                for (int y = 0; y < fast.height; y++) {
                    for (int x = 0; x < fast.width; x++) {
                        const bool inside = x >= 2 && x < 2 + width && y >= 1 && y < 1 + height;
                        const uint32_t bits = inside ? compared_bits : 0xFFFFFFFFu >> (32 - 8 * dd.bytesPerPixel);
                        ASSERT_EQ(fast.Value(x, y) & bits, general.Value(x, y) & bits)
                            << sf.name << " -> " << df.name << " mirror " << c.mirror << " key " << c.keyToAlpha
                            << " dither " << c.dither << " skip " << c.keySkip << " at " << x << "," << y;
                    }
                }
                compared++;
            }
        }
    }
    EXPECT_GT(compared, 2000);
}

TEST(ColorConvertBltTest, PairLoopsWidenByShiftTheGeneralPathSpreads)
{
    ColorFormatDesc rgb565, xrgb8, argb8, rgb24;
    memset(&rgb565, 0, sizeof(rgb565));
    xrgb8 = argb8 = rgb24 = rgb565;
    BaseImage_ColorFormat_InitR5G6B5(&rgb565);
    BaseImage_ColorFormat_InitXRGB8(&xrgb8);
    BaseImage_ColorFormat_InitARGB8(&argb8);
    BaseImage_ColorFormat_InitRGB24(&rgb24);
    const uint16_t white = 0xFFFF;
    const BaseImageRect one = {0, 0, 1, 1};
    uint32_t out = 0;
    BaseImage_ColorConvertBlt(&out, 4, &xrgb8, &white, 2, &rgb565, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(0x00F8FCF8u, out);
    BaseImage_ColorConvertBlt(&out, 4, &argb8, &white, 2, &rgb565, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(0xFFFFFFFFu, out);   // the per-pixel path: R5G6B5 into ARGB8 has no pair loop
    uint8_t rgb[3] = {};
    BaseImage_ColorConvertBlt(rgb, 3, &rgb24, &white, 2, &rgb565, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(248, rgb[2]);
    // 5-bit 16 spreads to 131 in the per-pixel path.
    const uint16_t red16 = 16 << 11;
    BaseImage_ColorConvertBlt(&out, 4, &argb8, &red16, 2, &rgb565, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(131u, (out >> 16) & 255);
}

TEST(ColorConvertBltTest, EightBitDestinations)
{
    ColorFormatDesc pal, argb8, nibbles;
    memset(&pal, 0, sizeof(pal));
    argb8 = nibbles = pal;
    BaseImage_ColorFormat_InitGray8(&pal);
    BaseImage_ColorFormat_InitARGB8(&argb8);
    // 8 to 8: bytes copied, the highest index returned.
    const uint8_t indices[3] = {3, 9, 4};
    uint8_t out[4] = {};
    const BaseImageRect three = {0, 0, 3, 1};
    EXPECT_EQ(9, BaseImage_ColorConvertBlt(out, 4, &pal, indices, 3, &pal, nullptr, 0, nullptr, 0, 0, &three, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0, memcmp(out, indices, 3));
    // 32 to 8: the nearest palette entry of each colour.
    const uint32_t colours[3] = {0xFF0A141E, 0xFF808080, 0xFFFFFFFF};
    EXPECT_EQ(0, BaseImage_ColorConvertBlt(out, 4, &pal, colours, 12, &argb8, nullptr, 0, nullptr, 0, 0, &three, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(20, out[0]);
    EXPECT_EQ(128, out[1]);
    EXPECT_EQ(255, out[2]);
    // Palette remap between different palettes maps by colour.
    ColorFormatDesc preset = pal;
    BaseImage_ColorFormat_InitPal8Preset(&preset, 0);
    const uint8_t white = 255;   // preset entry 255 is white
    const BaseImageRect one = {0, 0, 1, 1};
    BaseImage_ColorConvertBlt(out, 4, &pal, &white, 1, &preset, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(255, out[0]);
    // Two pixels per byte: refused at an odd x, low nibble first otherwise.
    nibbles.bitDepth = 4;
    uint8_t packed[2] = {0xEE, 0xEE};
    EXPECT_EQ(-1, BaseImage_ColorConvertBlt(packed, 2, &nibbles, indices, 3, &pal, nullptr, 0, nullptr, 1, 0, &three, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0xEE, packed[0]);
    EXPECT_EQ(0, BaseImage_ColorConvertBlt(packed, 2, &nibbles, indices, 3, &pal, nullptr, 0, nullptr, 0, 0, &three, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(0x93, packed[0]);
    EXPECT_EQ(4, packed[1]);
    // Zero-size rectangle.
    const BaseImageRect empty = {2, 0, 2, 1};
    EXPECT_EQ(-1, BaseImage_ColorConvertBlt(out, 4, &pal, indices, 3, &pal, nullptr, 0, nullptr, 0, 0, &empty, 0, 0, 0, 0, 0, 0, 0, 0));
}

TEST(ColorConvertBltTest, DitherRoundsUpByDroppedBits)
{
    ColorFormatDesc argb8, x1r5;
    memset(&argb8, 0, sizeof(argb8));
    x1r5 = argb8;
    BaseImage_ColorFormat_InitARGB8(&argb8);
    BaseImage_ColorFormat_InitX1R5G5B5(&x1r5);
    const int w = 8, h = 4;
    auto run = [&](uint32_t colour, int dither) {
        std::vector<uint32_t> src(w * h, colour);
        std::vector<uint16_t> dst(w * h, 0);
        const BaseImageRect rect = {0, 0, w, h};
        BaseImage_ColorConvertBlt(dst.data(), w * 2, &x1r5, src.data(), w * 4, &argb8, nullptr, 0, nullptr, 0, 0, &rect,
                                  0, 0, 0, dither, 0, 0, 0, 0);
        int up = 0;
        for (uint16_t v : dst) up += ((v >> 10) & 31) == ((colour >> 19) & 31) + 1;
        return std::make_pair(up, dst);
    };
    // Red 0x80: nothing dropped, never rounds up.
    EXPECT_EQ(0, run(0xFF800000u, 1).first);
    // Red 0x84 drops half a unit: the ordered matrix lifts half the pixels, the error carry every
    // second one, no dither none.
    EXPECT_EQ(w * h / 2, run(0xFF840000u, 1).first);
    EXPECT_EQ(w * h / 2, run(0xFF840000u, 2).first);
    auto plain = run(0xFF840000u, 0);
    EXPECT_EQ(0, plain.first);
    for (uint16_t v : plain.second) EXPECT_EQ(0x8000 | (0x84 >> 3) << 10, v);
    // A full channel is never lifted past its field.
    for (uint16_t v : run(0xFFFFFFFFu, 1).second) EXPECT_EQ(0xFFFF, v);
}

TEST(ColorConvertBltTest, AlphaImageKeyAndAlphaFromRed)
{
    ColorFormatDesc xrgb8, argb8, gray;
    memset(&xrgb8, 0, sizeof(xrgb8));
    argb8 = gray = xrgb8;
    BaseImage_ColorFormat_InitXRGB8(&xrgb8);
    BaseImage_ColorFormat_InitARGB8(&argb8);
    BaseImage_ColorFormat_InitGray8(&gray);
    const uint32_t colours[2] = {0xFF102030, 0xFF405060};
    const uint8_t alphas[2] = {7, 200};
    uint32_t out[2] = {};
    const BaseImageRect two = {0, 0, 2, 1};
    BaseImage_ColorConvertBlt(out, 8, &argb8, colours, 8, &xrgb8, alphas, 2, &gray, 0, 0, &two, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(0x07102030u, out[0]);
    EXPECT_EQ(0xC8405060u, out[1]);
    // Key to alpha: the key colour gets alpha 0 (by the key loop and mirrored by the same-layout loop).
    BaseImage_ColorConvertBlt(out, 8, &argb8, colours, 8, &xrgb8, nullptr, 0, nullptr, 0, 0, &two, 0, 1, 0x405060, 0, 0, 0, 0, 0);
    EXPECT_EQ(0xFF102030u, out[0]);
    EXPECT_EQ(0x00405060u, out[1]);
    BaseImage_ColorConvertBlt(out, 8, &argb8, colours, 8, &xrgb8, nullptr, 0, nullptr, 0, 0, &two, 1, 1, 0x405060, 0, 0, 0, 0, 0);
    EXPECT_EQ(0x00405060u, out[0]);
    EXPECT_EQ(0xFF102030u, out[1]);
    // Zero colour with alpha from red: only alpha is carried, taken from red.
    BaseImage_ColorConvertBlt(out, 8, &argb8, colours, 8, &xrgb8, nullptr, 0, nullptr, 0, 0, &two, 0, 0, 0, 0, 1, 1, 0, 0);
    EXPECT_EQ(0x10000000u, out[0]);
    EXPECT_EQ(0x40000000u, out[1]);
    // A palette whose entry equals the key (all four bytes) into ARGB8 by the key loop.
    ColorFormatDesc pal = gray;
    const uint8_t indices[2] = {0x40, 0x41};
    BaseImage_ColorConvertBlt(out, 8, &argb8, indices, 2, &pal, nullptr, 0, nullptr, 0, 0, &two, 0, 1, 0x404040, 0, 0, 0, 0, 0);
    EXPECT_EQ(0x00404040u, out[0]);
    EXPECT_EQ(0xFF414141u, out[1]);
}

TEST(ColorConvertBltTest, FloatAndSixteenBitChannels)
{
    ColorFormatDesc f32, argb8, u16;
    BaseImage_ColorFormat_InitFromMasks(&f32, 0, 0, 0, 0, 0, 4, 32, 1);
    BaseImage_ColorFormat_InitFromMasks(&u16, 0, 0, 0, 0, 0, 4, 16, 0);
    memset(&argb8, 0, sizeof(argb8));
    BaseImage_ColorFormat_InitARGB8(&argb8);
    const float pixel[4] = {1.5f, 0.5f, -1.0f, 1.0f};
    uint32_t out = 0;
    const BaseImageRect one = {0, 0, 1, 1};
    BaseImage_ColorConvertBlt(&out, 4, &argb8, pixel, 16, &f32, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(0xFFFF7F00u, out);
    uint16_t wide[4] = {};
    const uint32_t colour = 0x80FF0000u;
    BaseImage_ColorConvertBlt(wide, 8, &u16, &colour, 4, &argb8, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(0xFFFF, wide[0]);
    EXPECT_EQ(0, wide[1]);
    EXPECT_EQ(0x8080, wide[3]);
    float back[4] = {};
    BaseImage_ColorConvertBlt(back, 16, &f32, wide, 8, &u16, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_FLOAT_EQ(1.0f, back[0]);
    EXPECT_FLOAT_EQ(0x8080 / 65535.0f, back[3]);
}

TEST(ColorConvertBltTest, WholeImageFunctions)
{
    BaseImage src = {}, dst = {};
    ASSERT_EQ(0, BaseImage_CreateXRGB8(4, 1, &src));
    ASSERT_EQ(0, BaseImage_CreateXRGB8(8, 1, &dst));
    for (int x = 0; x < 4; x++) ((uint32_t*)src.pixels)[x] = 0xFF000000u | (uint32_t)x;
    memset(dst.pixels, 0, 32);
    // Source x -3 copies from column 0 to column 3.
    EXPECT_EQ(0, BaseImage_Blt(-3, 0, 4, 1, 0, 0, &src, &dst));
    EXPECT_EQ(0xFF000000u, ((uint32_t*)dst.pixels)[3]);
    EXPECT_EQ(0u, ((uint32_t*)dst.pixels)[4]);
    // Clear with x -2 and width 5 on a 2-pixel-wide view clears both columns.
    BaseImage view;
    ASSERT_EQ(0, BaseImage_Derive(&dst, 2, 0, 4, 1, &view));
    memset(dst.pixels, 0xAB, 32);
    EXPECT_EQ(0, BaseImage_ClearRect(&view, -2, 0, 5, 1));
    EXPECT_EQ(0u, ((uint32_t*)dst.pixels)[2]);
    EXPECT_EQ(0u, ((uint32_t*)dst.pixels)[3]);
    EXPECT_EQ(0xABABABABu, ((uint32_t*)dst.pixels)[4]);
    EXPECT_EQ(-1, BaseImage_ClearRect(&view, 2, 0, 1, 1));
    // Mirroring swaps each row end for end.
    EXPECT_EQ(0, BaseImage_MirrorHorizontal(&src));
    EXPECT_EQ(0xFF000003u, ((uint32_t*)src.pixels)[0]);
    EXPECT_EQ(0xFF000000u, ((uint32_t*)src.pixels)[3]);
    BaseImage_Release(&src);
    BaseImage_Release(&dst);
}

TEST(ColorConvertBltTest, HalfSize)
{
    ColorFormatDesc rgb565;
    BaseImage_ColorFormat_InitFromMasks(&rgb565, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
    const uint16_t block[4] = {1 << 11, 2 << 11, 3 << 11, 3 << 11};   // 2 x 2, pitch 4
    uint16_t out = 0xFFFF;
    EXPECT_EQ(0, BaseImage_HalfSizeBlt(&rgb565, &out, 2, block, 4, 0, 0, 0, 0, 2, 2));
    EXPECT_EQ(2 << 11, out);
    EXPECT_EQ(-1, BaseImage_HalfSizeBlt(&rgb565, &out, 2, block, 4, 0, 0, 0, 0, 3, 2));
    // Width 1: vertical pairs.
    EXPECT_EQ(0, BaseImage_HalfSizeBlt(&rgb565, &out, 2, block, 4, 0, 0, 1, 0, 1, 2));
    EXPECT_EQ((2 + 3) / 2 << 11, out);
}

TEST(ColorConvertBltTest, ByteChannelSources)
{
    ColorFormatDesc one, two, argb8;
    BaseImage_ColorFormat_InitFromMasks(&one, 0, 0, 0, 0, 0, 1, 8, 0);
    BaseImage_ColorFormat_InitFromMasks(&two, 0, 0, 0, 0, 0, 2, 8, 0);
    memset(&argb8, 0, sizeof(argb8));
    BaseImage_ColorFormat_InitARGB8(&argb8);
    const uint8_t ones[3] = {1, 2, 3}, twos[4] = {1, 2, 3, 4};
    const BaseImageRect wide = {0, 0, 3, 1}, pair = {0, 0, 2, 1};
    uint8_t out[12] = {};
    BaseImage_ColorConvertBlt(out, 12, &argb8, ones, 3, &one, nullptr, 0, nullptr, 0, 0, &wide, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ((std::vector<uint8_t>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}), std::vector<uint8_t>(out, out + 12));
    BaseImage_ColorConvertBlt(out, 12, &two, ones, 3, &one, nullptr, 0, nullptr, 0, 0, &wide, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ((std::vector<uint8_t>{1, 1, 2, 2, 3, 3}), std::vector<uint8_t>(out, out + 6));
    BaseImage_ColorConvertBlt(out, 12, &argb8, twos, 4, &two, nullptr, 0, nullptr, 0, 0, &pair, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 1, 2, 3, 4, 3, 4}), std::vector<uint8_t>(out, out + 8));
    // Mirrored copies go through the per-pixel path: one channel is red, the rest full.
    BaseImage_ColorConvertBlt(out, 12, &argb8, ones, 3, &one, nullptr, 0, nullptr, 0, 0, &wide, 1, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ((std::vector<uint8_t>{255, 255, 3, 255}), std::vector<uint8_t>(out, out + 4));
}
