// Block-compressed images against expansions worked by hand from the block layouts, cube maps,
// YUV frames against the 15-bit fixed-point rule, and alpha premultiplication.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/VtMemory.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

// A compressed image owning a library copy of `data`.
BaseImage Compressed(int code, int width, int height, const std::vector<uint8_t>& data, int mips = 0, int faces = 0)
{
    BaseImage image = {};
    image.format.formatCode = (uint8_t)code;
    image.width = width;
    image.height = height;
    image.mipLevelCount = mips;
    image.faceCount = faces;
    image.pixels = Memory_Allocate((uint32_t)data.size(), "CompressedTest", __LINE__);
    memcpy(image.pixels, data.data(), data.size());
    return image;
}

// Pixel (x, y) of an expanded image as 0xAARRGGBB.
uint32_t At(const BaseImage& image, int x, int y)
{
    uint32_t v;
    memcpy(&v, (const uint8_t*)image.pixels + y * image.pitch + x * 4, 4);
    return v;
}

uint32_t Argb(int a, int r, int g, int b) { return (uint32_t)a << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }

// A colour block: c0, c1 and pixel i taking index indices[i].
std::vector<uint8_t> ColourBlock(uint16_t c0, uint16_t c1, const int indices[16])
{
    uint32_t bits = 0;
    for (int i = 0; i < 16; i++) bits |= (uint32_t)indices[i] << (2 * i);
    return {(uint8_t)c0, (uint8_t)(c0 >> 8), (uint8_t)c1, (uint8_t)(c1 >> 8),
            (uint8_t)bits, (uint8_t)(bits >> 8), (uint8_t)(bits >> 16), (uint8_t)(bits >> 24)};
}

const int IndexByColumn[16] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};

}  // namespace

TEST(CompressedTest, Dxt1Colours)
{
    // c0 = pure red, c1 = pure blue, c0 > c1: colours 2 and 3 are the thirds.
    BaseImage image = Compressed(BaseImageFormat_DXT1, 4, 4, ColourBlock(0xF800, 0x001F, IndexByColumn));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(Argb(255, 255, 0, 0), At(image, 0, 0));
    EXPECT_EQ(Argb(255, 0, 0, 255), At(image, 1, 2));
    EXPECT_EQ(Argb(255, 170, 0, 85), At(image, 2, 3));
    EXPECT_EQ(Argb(255, 85, 0, 170), At(image, 3, 1));
    EXPECT_EQ(0, image.format.formatCode);
    EXPECT_EQ(0xFF000000u, image.format.alphaMask);
    BaseImage_Release(&image);

    // c0 = c1: three colours, colour 3 keeps the average colour with alpha 0.
    image = Compressed(BaseImageFormat_DXT1, 4, 4, ColourBlock(0xFFFF, 0xFFFF, IndexByColumn));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(Argb(255, 255, 255, 255), At(image, 2, 0));
    EXPECT_EQ(Argb(0, 255, 255, 255), At(image, 3, 0));
    BaseImage_Release(&image);

    // c0 < c1 with mixed channels: c0 blue 30 -> 246, c1 red 10 -> 82 and green 20 -> 80.
    const uint16_t c0 = 30, c1 = 10 << 11 | 20 << 5;
    image = Compressed(BaseImageFormat_DXT1, 4, 4, ColourBlock(c0, c1, IndexByColumn));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(Argb(255, 0, 0, 246), At(image, 0, 0));
    EXPECT_EQ(Argb(255, 82, 80, 0), At(image, 1, 0));
    EXPECT_EQ(Argb(255, 41, 40, 123), At(image, 2, 0));
    EXPECT_EQ(Argb(0, 41, 40, 123), At(image, 3, 0));
    BaseImage_Release(&image);
}

TEST(CompressedTest, Dxt3AndDxt5Alpha)
{
    // DXT3: pixel i has the 4-bit alpha i, i.e. i x 17.
    std::vector<uint8_t> block(8);
    for (int i = 0; i < 16; i += 2) block[i / 2] = (uint8_t)(i | (i + 1) << 4);
    const int zeros[16] = {};
    std::vector<uint8_t> colour = ColourBlock(0x001F, 0xF800, zeros);   // c0 < c1, still four colours
    block.insert(block.end(), colour.begin(), colour.end());
    BaseImage image = Compressed(BaseImageFormat_DXT3, 4, 4, block);
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    for (int i = 0; i < 16; i++) EXPECT_EQ(Argb(i * 17, 0, 0, 255), At(image, i % 4, i / 4)) << i;
    BaseImage_Release(&image);

    // DXT5: pixel i (< 8) takes alpha index i.
    auto dxt5 = [&](uint8_t a0, uint8_t a1) {
        uint64_t bits = 0;
        for (int i = 0; i < 16; i++) bits |= (uint64_t)(i & 7) << (3 * i);
        std::vector<uint8_t> b = {a0, a1};
        for (int i = 0; i < 6; i++) b.push_back((uint8_t)(bits >> (8 * i)));
        b.insert(b.end(), colour.begin(), colour.end());
        BaseImage img = Compressed(BaseImageFormat_DXT5, 4, 4, b);
        EXPECT_EQ(0, BaseImage_ExpandCompressed(&img, 1));
        std::vector<int> alphas;
        for (int i = 0; i < 8; i++) alphas.push_back((int)(At(img, i % 4, i / 4) >> 24));
        EXPECT_EQ(alphas[0], (int)(At(img, 0, 2) >> 24));   // pixel 8 uses index 0 again
        BaseImage_Release(&img);
        return alphas;
    };
    EXPECT_EQ((std::vector<int>{255, 0, 218, 182, 145, 109, 72, 36}), dxt5(255, 0));
    EXPECT_EQ((std::vector<int>{0, 255, 51, 102, 153, 204, 0, 255}), dxt5(0, 255));
}

TEST(CompressedTest, PremultipliedDxt2AndDxt4)
{
    // Colour red 24 -> 197 or red 10 -> 82; alpha nibbles 6 (102), 0, 10 (170), 15.
    const int indices[16] = {0, 0, 1, 1};
    std::vector<uint8_t> colour = ColourBlock(24 << 11, 10 << 11, indices);
    std::vector<uint8_t> block = {0x06 | 0x00, 0xFA, 0, 0, 0, 0, 0, 0};   // pixels 0..3: 6, 0, 10, 15
    block.insert(block.end(), colour.begin(), colour.end());
    BaseImage image = Compressed(BaseImageFormat_DXT2, 4, 4, block);
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(Argb(102, 255, 0, 0), At(image, 0, 0));   // 197 x 255 / 102 capped
    EXPECT_EQ(Argb(0, 0, 0, 0), At(image, 1, 0));       // alpha 0: black
    EXPECT_EQ(Argb(170, 123, 0, 0), At(image, 2, 0));   // 82 x 255 / 170
    EXPECT_EQ(Argb(255, 82, 0, 0), At(image, 3, 0));
    BaseImage_Release(&image);

    // DXT4 with a0 = 0, a1 = 255: index 0 (alpha 0) keeps its colour, index 1 is opaque.
    std::vector<uint8_t> b4 = {0, 255, 0x08, 0, 0, 0, 0, 0};   // pixel 1 index 1, others 0
    b4.insert(b4.end(), colour.begin(), colour.end());
    image = Compressed(BaseImageFormat_DXT4, 4, 4, b4);
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(Argb(0, 197, 0, 0), At(image, 0, 0));
    EXPECT_EQ(Argb(255, 197, 0, 0), At(image, 1, 0));
    BaseImage_Release(&image);
}

TEST(CompressedTest, SizesFacesAndRefusals)
{
    // 5 x 5 DXT1: 2 x 2 blocks, pitch 32, 8 rows; the size stays 5 x 5.
    const int zeros[16] = {};
    std::vector<uint8_t> data;
    for (int b = 0; b < 4; b++) {
        std::vector<uint8_t> block = ColourBlock((uint16_t)((b * 8) << 11), 0, zeros);
        data.insert(data.end(), block.begin(), block.end());
    }
    BaseImage image = Compressed(BaseImageFormat_DXT1, 5, 5, data, 1);
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(32, image.pitch);
    EXPECT_EQ(5, image.width);
    EXPECT_EQ(5, image.height);
    EXPECT_EQ(0, image.mipLevelCount);
    EXPECT_EQ(Argb(255, 8 * 255 / 31, 0, 0), At(image, 4, 0));    // block 1
    EXPECT_EQ(Argb(255, 24 * 255 / 31, 0, 0), At(image, 7, 7));   // block 3, padding pixels
    BaseImage_Release(&image);

    // A cube map: six faces of two levels (8 x 8 then 4 x 4), each face its own colour.
    data.clear();
    for (int face = 0; face < 6; face++) {
        for (int block = 0; block < 4 + 1; block++) {
            std::vector<uint8_t> b = ColourBlock((uint16_t)(((face + 1) * 4) << 11), 0, zeros);
            data.insert(data.end(), b.begin(), b.end());
        }
    }
    image = Compressed(BaseImageFormat_DXT1, 8, 8, data, 2, 6);
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(6, image.faceCount);
    for (int face = 0; face < 6; face++)
        EXPECT_EQ(Argb(255, (face + 1) * 4 * 255 / 31, 0, 0), At(image, 7, face * 8 + 7)) << face;
    BaseImage_Release(&image);

    // Plain images stay as they are; unknown codes and BC7 modes of several subsets are refused.
    BaseImage plain = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(1, 1, &plain));
    void* pixels = plain.pixels;
    EXPECT_EQ(0, BaseImage_ExpandCompressed(&plain, 1));
    EXPECT_EQ(pixels, plain.pixels);
    BaseImage_Release(&plain);
    image = Compressed(9, 4, 4, std::vector<uint8_t>(16));
    EXPECT_EQ(-1, BaseImage_ExpandCompressed(&image, 1));
    BaseImage_Release(&image);
    std::vector<uint8_t> mode0(16, 0);
    mode0[0] = 0x01;
    image = Compressed(BaseImageFormat_BC7, 4, 4, mode0);
    const int32_t blocks = Memory_GetBlockCount();
    EXPECT_EQ(-1, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(blocks, Memory_GetBlockCount());
    EXPECT_EQ(BaseImageFormat_BC7, image.format.formatCode);
    BaseImage_Release(&image);
    // A size whose decoded buffer would pass the 32-bit limit is refused.
    BaseImage huge = {};
    huge.format.formatCode = BaseImageFormat_DXT1;
    huge.width = 0x10000;
    huge.height = 0x8000;
    huge.pixels = nullptr;
    EXPECT_EQ(-1, BaseImage_ExpandCompressed(&huge, 0));
}

namespace {

// Writes bits least significant first, as BC7 blocks are laid out.
struct BitWriter {
    uint8_t bytes[16] = {};
    int position = 0;
    void Put(uint32_t value, int count)
    {
        for (int i = 0; i < count; i++, position++)
            if ((value >> i) & 1) bytes[position / 8] |= (uint8_t)(1 << (position % 8));
    }
};

}  // namespace

TEST(CompressedTest, Bc7Mode6)
{
    // Mode 6: endpoints of 7 bits plus one shared bit each; 4-bit indices, pixel i takes index i.
    // Endpoint 0 (shared bit 0): red 0, green 127 -> 254, blue 0, alpha 127 -> 254.
    // Endpoint 1 (shared bit 1): red 127 -> 255, green 0 -> 1, blue 64 -> 129, alpha 127 -> 255.
    BitWriter w;
    w.Put(1 << 6, 7);
    const int e0[4] = {0, 127, 0, 127}, e1[4] = {127, 0, 64, 127};
    for (int c = 0; c < 4; c++) {
        w.Put((uint32_t)e0[c], 7);
        w.Put((uint32_t)e1[c], 7);
    }
    w.Put(0, 1);
    w.Put(1, 1);
    w.Put(0, 3);
    for (int i = 1; i < 16; i++) w.Put((uint32_t)i, 4);
    ASSERT_EQ(128, w.position);
    BaseImage image = Compressed(BaseImageFormat_BC7, 4, 4, std::vector<uint8_t>(w.bytes, w.bytes + 16));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    // Red = ((64 - w) x 0 + w x 255 + 32) >> 6 for the 4-bit weights 0, 4, 9, 13, ... 64.
    const int red[16] = {0, 16, 36, 52, 68, 84, 104, 120, 135, 151, 171, 187, 203, 219, 239, 255};
    for (int i = 0; i < 16; i++) EXPECT_EQ(red[i], (int)(At(image, i % 4, i / 4) >> 16 & 255)) << i;
    EXPECT_EQ(Argb(254, 0, 254, 0), At(image, 0, 0));
    EXPECT_EQ(Argb(254, 16, 238, 8), At(image, 1, 0));    // weight 4: green (60 x 254 + 4 + 32) >> 6
    EXPECT_EQ(Argb(255, 135, 120, 69), At(image, 0, 2));  // weight 34
    EXPECT_EQ(Argb(255, 255, 1, 129), At(image, 3, 3));
    BaseImage_Release(&image);
}

TEST(CompressedTest, Bc7Mode5WithRotation)
{
    // Mode 5, rotation 1 (alpha and red swap): colour endpoints of 7 bits, alpha of 8, 2-bit indices.
    BitWriter w;
    w.Put(1 << 5, 6);
    w.Put(1, 2);
    const int e0[3] = {0, 0, 127}, e1[3] = {127, 64, 0};   // expand to 0 / 255, 0 / 129, 255 / 0
    for (int c = 0; c < 3; c++) {
        w.Put((uint32_t)e0[c], 7);
        w.Put((uint32_t)e1[c], 7);
    }
    w.Put(10, 8);
    w.Put(250, 8);
    w.Put(0, 1);
    for (int i = 1; i < 16; i++) w.Put(3, 2);   // colour: pixel 0 index 0, others index 3
    w.Put(1, 1);
    for (int i = 1; i < 16; i++) w.Put(2, 2);   // alpha: pixel 0 index 1, others index 2
    ASSERT_EQ(128, w.position);
    BaseImage image = Compressed(BaseImageFormat_BC7, 4, 4, std::vector<uint8_t>(w.bytes, w.bytes + 16));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    // Pixel 0: colour (0, 0, 255), alpha weight 21: (43 x 10 + 21 x 250 + 32) >> 6 = 89; then red and alpha swap.
    EXPECT_EQ(Argb(0, 89, 0, 255), At(image, 0, 0));
    // Others: colour (255, 129, 0), alpha weight 43: (21 x 10 + 43 x 250 + 32) >> 6 = 171.
    EXPECT_EQ(Argb(255, 171, 129, 0), At(image, 2, 1));
    BaseImage_Release(&image);
}

// ---- YUV frames ----

namespace {

// The 15-bit fixed-point rule, written out for the test.
uint32_t YuvReference(int y, int u, int v)
{
    auto store = [](int64_t s) { return s < 0 ? 0 : s > 0x7F8000 ? 255 : (int)(s >> 15); };
    const int64_t luma = (int64_t)y * 32768;
    const int b = store(luma + 58064 * (u - 128));
    const int g = store(luma - 11272 * (u - 128) - 23396 * (v - 128));
    const int r = store(luma + 45940 * (v - 128));
    return Argb(255, r, g, b);
}

struct Frame {
    BaseImage out = {};
    Frame(int w, int h)
    {
        EXPECT_EQ(0, BaseImage_CreateXRGB8(w, h, &out));
        memset(out.pixels, 0xEE, (size_t)out.pitch * h);
    }
    ~Frame() { BaseImage_Release(&out); }
    uint32_t operator()(int x, int y) const { return At(out, x, y); }
};

}  // namespace

TEST(YuvTest, KnownValues)
{
    EXPECT_EQ(Argb(255, 128, 128, 128), YuvReference(128, 128, 128));
    EXPECT_EQ(Argb(255, 255, 120, 255), YuvReference(255, 255, 255));
    // A YUY2 frame of 2 x 1 pixels with those values.
    const uint8_t grey[4] = {128, 128, 128, 128}, bright[4] = {255, 255, 255, 255};
    Frame f(2, 1);
    BaseImage_Yuv_YUY2ToXRGB8(grey, 2, 1, &f.out);
    EXPECT_EQ(0xFF808080u, f(0, 0));
    BaseImage_Yuv_YUY2ToXRGB8(bright, 2, 1, &f.out);
    EXPECT_EQ(Argb(255, 255, 120, 255), f(1, 0));
}

TEST(YuvTest, EveryLayoutAgainstTheRule)
{
    // 5 x 3 frames: the remainder column (and for 2 x 2 groups the last row) is not written.
    const int w = 5, h = 3;
    std::vector<uint8_t> luma(w * h);
    for (int i = 0; i < w * h; i++) luma[i] = (uint8_t)(16 + i * 15);
    auto u_at = [](int k) { return 40 + 30 * k; };
    auto v_at = [](int k) { return 220 - 25 * k; };

    {   // NV12: chroma rows of w bytes for each pair of rows, pairs shared by 2 x 2 blocks.
        std::vector<uint8_t> frame = luma;
        for (int row = 0; row < h / 2; row++)
            for (int k = 0; k < w / 2; k++) {
                frame.resize(w * h + (row + 1) * w);
                frame[w * h + row * w + 2 * k] = (uint8_t)u_at(k + row);
                frame[w * h + row * w + 2 * k + 1] = (uint8_t)v_at(k + row);
            }
        Frame f(w, h);
        BaseImage_Yuv_NV12ToXRGB8(frame.data(), w, h, &f.out);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 4; x++) EXPECT_EQ(YuvReference(luma[y * w + x], u_at(x / 2), v_at(x / 2)), f(x, y));
        EXPECT_EQ(0xEEEEEEEEu, f(4, 0));
        EXPECT_EQ(0xEEEEEEEEu, f(0, 2));
        std::vector<uint8_t> yPlane(w * h), uv(w * (h / 2));
        BaseImage_Yuv_NV12ToPlanes(frame.data(), w, h, yPlane.data(), uv.data());
        EXPECT_EQ(luma, yPlane);
        EXPECT_EQ(u_at(1), uv[2]);
    }
    {   // YV12: a V plane then a U plane of (w / 2) x (h / 2).
        std::vector<uint8_t> frame = luma;
        frame.push_back((uint8_t)v_at(0));
        frame.push_back((uint8_t)v_at(1));
        frame.push_back((uint8_t)u_at(0));
        frame.push_back((uint8_t)u_at(1));
        Frame f(w, h);
        BaseImage_Yuv_YV12ToXRGB8(frame.data(), w, h, &f.out);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 4; x++) EXPECT_EQ(YuvReference(luma[y * w + x], u_at(x / 2), v_at(x / 2)), f(x, y));
        std::vector<uint8_t> yPlane(w * h), uv(w);
        BaseImage_Yuv_YV12ToPlanes(frame.data(), w, h, yPlane.data(), uv.data());
        EXPECT_EQ((std::vector<uint8_t>{(uint8_t)u_at(0), (uint8_t)v_at(0), (uint8_t)u_at(1), (uint8_t)v_at(1)}),
                  std::vector<uint8_t>(uv.begin(), uv.begin() + 4));
    }
    {   // NV11: one chroma row per image row, each pair shared by 4 pixels.
        std::vector<uint8_t> frame = luma;
        for (int row = 0; row < h; row++)
            for (int k = 0; k < w / 2; k++) frame.push_back((uint8_t)(k % 2 ? v_at(row) : u_at(row)));
        Frame f(w, h);
        BaseImage_Yuv_NV11ToXRGB8(frame.data(), w, h, &f.out);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < 4; x++) EXPECT_EQ(YuvReference(luma[y * w + x], u_at(y), v_at(y)), f(x, y));
        EXPECT_EQ(0xEEEEEEEEu, f(4, 1));
    }
    // Packed layouts: byte orders U Y0 V Y1, Y0 U Y1 V, Y0 V Y1 U.
    struct Packed {
        int (*toXrgb)(const uint8_t*, int, int, BaseImage*);
        int (*toPlanes)(const uint8_t*, int, int, uint8_t*, uint8_t*);
        int y0, u, y1, v;
    };
    const Packed layouts[] = {{BaseImage_Yuv_UYVYToXRGB8, BaseImage_Yuv_UYVYToPlanes, 1, 0, 3, 2},
                              {BaseImage_Yuv_YUY2ToXRGB8, BaseImage_Yuv_YUY2ToPlanes, 0, 1, 2, 3},
                              {BaseImage_Yuv_YVYUToXRGB8, BaseImage_Yuv_YVYUToPlanes, 0, 3, 2, 1}};
    for (const Packed& p : layouts) {
        std::vector<uint8_t> frame(w * 2 * h, 0);
        for (int y = 0; y < h; y++)
            for (int k = 0; k < w / 2; k++) {
                uint8_t* g = &frame[y * w * 2 + k * 4];
                g[p.y0] = luma[y * w + 2 * k];
                g[p.y1] = luma[y * w + 2 * k + 1];
                g[p.u] = (uint8_t)u_at(k);
                g[p.v] = (uint8_t)v_at(y);
            }
        Frame f(w, h);
        p.toXrgb(frame.data(), w, h, &f.out);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < 4; x++) EXPECT_EQ(YuvReference(luma[y * w + x], u_at(x / 2), v_at(y)), f(x, y));
        EXPECT_EQ(0xEEEEEEEEu, f(4, 2));
        std::vector<uint8_t> yPlane(w * h, 0), uv(w * h, 0);
        p.toPlanes(frame.data(), w, h, yPlane.data(), uv.data());
        EXPECT_EQ(luma[w + 3], yPlane[w + 3]);
        EXPECT_EQ(u_at(1), uv[w + 2]);
        EXPECT_EQ(v_at(1), uv[w + 3]);
    }
}

TEST(CompressedTest, PremultipliedAlpha)
{
    BaseImage image = {};
    ASSERT_EQ(0, BaseImage_CreateXRGB8(1, 1, &image));
    *(uint32_t*)image.pixels = 0x80FF0000u;
    EXPECT_EQ(0, BaseImage_ConvertPremultipliedAlpha(&image));
    EXPECT_EQ(0x80FF0000u, *(uint32_t*)image.pixels);   // no alpha: unchanged
    BaseImage_Release(&image);
    ASSERT_EQ(0, BaseImage_CreateARGB8(2, 1, &image));
    ((uint32_t*)image.pixels)[0] = 0x80FF4020u;
    ((uint32_t*)image.pixels)[1] = 0x00FFFFFFu;
    EXPECT_EQ(0, BaseImage_ConvertPremultipliedAlpha(&image));
    EXPECT_EQ(0x80802010u, ((uint32_t*)image.pixels)[0]);
    EXPECT_EQ(0u, ((uint32_t*)image.pixels)[1]);
    BaseImage_Release(&image);
    // Another format with alpha becomes ARGB8 first.
    uint16_t a1r5 = 0x8000 | 31 << 10 | 16 << 5;
    BaseImage other = {};
    BaseImage_ColorFormat_InitFromMasks(&other.format, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, 0, 0);
    other.width = other.height = 1;
    other.pitch = 2;
    other.pixels = Memory_Allocate(2, "CompressedTest", __LINE__);
    memcpy(other.pixels, &a1r5, 2);
    EXPECT_EQ(0, BaseImage_ConvertPremultipliedAlpha(&other));
    EXPECT_EQ(4, other.format.bytesPerPixel);
    EXPECT_EQ(Argb(255, 248, 128, 0), At(other, 0, 0));   // the pair loop widens by shift
    BaseImage_Release(&other);
}
