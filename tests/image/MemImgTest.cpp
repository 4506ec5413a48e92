// Memory images: set-up and pitches, shared bodies and views, fills, blits from base images with
// their palette, premultiplied and run planes, the module tables, and the blending draw.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "foundation/VtMemory.h"
#include "image/VtMemImg.h"

using namespace Vantrel;

namespace {

struct MemImgFixture : ::testing::Test {
    MEMIMG image = {};
    void TearDown() override { MemImg_Release(&image); }
};

uint32_t Pixel32(const MEMIMG& m, int x, int y)
{
    uint32_t v;
    memcpy(&v, (const uint8_t*)m.pixels + y * m.body->pitch + x * 4, 4);
    return v;
}

// x * y / 255 rounded to nearest, written out for the test.
uint32_t Round255(uint32_t x, uint32_t y) { return (x * y * 2 + 255) / 510; }

// The documented blend: S premultiplied and scaled by the opacity, out = S + D (255 - S alpha) / 255.
uint32_t BlendReference(uint32_t s, uint32_t d, uint32_t opacity, uint32_t bright = 0xFFFFFF)
{
    const uint32_t a = s >> 24;
    uint32_t sc[4];
    for (int c = 0; c < 4; c++) {
        const uint32_t tinted = Round255((s >> (8 * c)) & 255, c == 3 ? 255 : (bright >> (8 * c)) & 255);
        sc[c] = Round255(Round255(tinted, c == 3 ? 255 : a), opacity);
    }
    uint32_t out = 0;
    for (int c = 0; c < 4; c++) out |= (sc[c] + Round255((d >> (8 * c)) & 255, 255 - sc[3])) << (8 * c);
    return out;
}

}  // namespace

TEST_F(MemImgFixture, SetupPitchesAndRefusal)
{
    ASSERT_EQ(0, MemImg_Setup(&image, 100, 10, -1, 0, MemImgColorType_R5G6B5, 0, 0, 0, nullptr));
    EXPECT_EQ(208, image.body->pitch);
    EXPECT_EQ(-1, image.body->pitchShift);
    EXPECT_EQ(1, MemImg_IsValid(&image));
    MemImgBody* body = image.body;
    EXPECT_EQ(-1, MemImg_Setup(&image, 4, 4, -1, 0, MemImgColorType_XRGB8, 0, 0, 0, nullptr));
    EXPECT_EQ(body, image.body);
    EXPECT_EQ(100, image.width);
    MemImg_Release(&image);
    EXPECT_EQ(0, MemImg_IsValid(&image));

    memset(&image, 0, sizeof(image));
    ASSERT_EQ(0, MemImg_Setup(&image, 128, 10, -1, 0, MemImgColorType_R5G6B5, 0, 0, 0, nullptr));
    EXPECT_EQ(256, image.body->pitch);
    EXPECT_EQ(8, image.body->pitchShift);
    MemImg_Release(&image);

    // Type 0 with alpha takes 4 bytes; types 2 and 3 drop palette and alpha.
    memset(&image, 0, sizeof(image));
    ASSERT_EQ(0, MemImg_Setup(&image, 3, 1, -1, 0, MemImgColorType_R5G6B5, 0, 1, 1, nullptr));
    EXPECT_EQ(16, image.body->pitch);
    EXPECT_NE(nullptr, image.premulPixels);
    EXPECT_NE(nullptr, image.body->runs);
    MemImg_Release(&image);
    memset(&image, 0, sizeof(image));
    ASSERT_EQ(0, MemImg_Setup(&image, 3, 1, -1, 0, MemImgColorType_One8, 1, 1, 1, nullptr));
    EXPECT_EQ(0, image.body->hasPalette);
    EXPECT_EQ(0, image.body->hasAlpha);
    EXPECT_EQ(nullptr, image.body->runs);
    MemImg_Release(&image);

    // A size whose byte count wraps 32 bits is refused and leaves the record unmarked.
    memset(&image, 0, sizeof(image));
    EXPECT_EQ(-1, MemImg_Setup(&image, 0x10000, 0x10000, -1, 0, MemImgColorType_XRGB8, 0, 0, 0, nullptr));
    EXPECT_EQ(0, MemImg_IsValid(&image));
    // A run plane too large for 32 bits: the set-up fails, frees what it made, keeps the body and
    // leaves the caller's pixels alone; the next set-up reuses the body.
    const int32_t blocks = Memory_GetBlockCount();
    uint32_t pixels[4] = {};
    EXPECT_EQ(-1, MemImg_Setup(&image, 0x10000, 0x10000, 0, 0, MemImgColorType_XRGB8, 0, 0, 1, pixels));
    EXPECT_EQ(blocks, Memory_GetBlockCount());
    MemImgBody* kept = image.body;
    ASSERT_EQ(0, MemImg_Setup(&image, 2, 2, 8, 0, MemImgColorType_XRGB8, 0, 0, 0, pixels));
    EXPECT_EQ(kept, image.body);
    EXPECT_EQ((void*)pixels, image.pixels);
}

TEST_F(MemImgFixture, ViewsShareTheBody)
{
    const int32_t blocks = Memory_GetBlockCount();
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&image, 8, 8, MemImgColorType_XRGB8));
    MEMIMG a = {}, b = {}, untouched = {};
    MemImg_Derive(&a, &image, 2, 3, 4, 4);
    MemImg_Derive(&b, &a, 1, 1, 2, 2);
    EXPECT_EQ(3, image.body->refCount);
    EXPECT_EQ((uint8_t*)image.pixels + 3 * 32 + 8, a.pixels);
    EXPECT_EQ((uint8_t*)a.pixels + 32 + 4, b.pixels);
    MemImg_Derive(&untouched, &image, 0, 0, 9, 8);
    MemImg_Derive(&untouched, &image, -1, 0, 2, 2);
    EXPECT_EQ(0, MemImg_IsValid(&untouched));
    MemImg_Release(&a);
    MemImg_Release(&image);
    EXPECT_GT(Memory_GetBlockCount(), blocks);   // b still holds the body
    EXPECT_EQ(1, b.body->refCount);
    MemImg_Release(&b);
    EXPECT_EQ(blocks, Memory_GetBlockCount());
}

TEST_F(MemImgFixture, FillRectOrdersAndClamps)
{
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&image, 4, 3, MemImgColorType_XRGB8));
    MemImg_FillRect(&image, nullptr, 0);
    const int32_t rect[4] = {10, 2, 2, -5};   // given backwards and past the edges
    MemImg_FillRect(&image, rect, 0xFF123456u);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(x >= 2 && y < 2 ? 0xFF123456u : 0u, Pixel32(image, x, y)) << x << "," << y;
}

TEST_F(MemImgFixture, BltBaseImageBuildsPlanes)
{
    // 70 opaque pixels then a row of mixed alpha.
    BaseImage source = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(70, 2, &source));
    for (int x = 0; x < 70; x++) {
        ((uint32_t*)source.pixels)[x] = 0xFF804020u;
        ((uint32_t*)((uint8_t*)source.pixels + source.pitch))[x] = x < 3 ? 0x00000000u : x < 5 ? 0x80FF0000u : 0xFF00FF00u;
    }
    ASSERT_EQ(0, MemImg_Setup(&image, 70, 2, -1, 0, MemImgColorType_XRGB8, 0, 1, 1, nullptr));
    EXPECT_EQ(0, MemImg_BltBaseImage(&source, nullptr, &image, 0, 0, 70, 2, 0, 0, 0));
    EXPECT_EQ(1, image.body->runsValid);
    EXPECT_EQ(1, image.body->premulValid);
    const uint8_t* runs = image.body->runs;
    EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x45, 0xC0, 0x02, 0x81, 0x7F, 0x40, 0xC0}), std::vector<uint8_t>(runs, runs + 8));
    // Premultiplied plane: channel x alpha >> 8.
    uint32_t premul;
    memcpy(&premul, (uint8_t*)image.premulPixels + image.body->pitch + 3 * 4, 4);
    EXPECT_EQ(0x807F0000u, premul);
    // A part of the image leaves the planes marked out of date.
    EXPECT_EQ(0, MemImg_BltBaseImage(&source, nullptr, &image, 0, 0, 10, 1, 0, 0, 0));
    EXPECT_EQ(0, image.body->runsValid);
    BaseImage_Release(&source);
}

TEST_F(MemImgFixture, BltBaseImageIntoOneChannelAndPalette)
{
    BaseImage source = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(2, 1, &source));
    ((uint32_t*)source.pixels)[0] = 0xFF7F0102u;
    ((uint32_t*)source.pixels)[1] = 0x00200000u;
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&image, 2, 1, MemImgColorType_One8));
    EXPECT_EQ(0, MemImg_BltBaseImage(&source, nullptr, &image, 0, 0, 2, 1, 0, 0, 0));
    EXPECT_EQ(0x7F, ((uint8_t*)image.pixels)[0]);
    EXPECT_EQ(0x20, ((uint8_t*)image.pixels)[1]);
    MemImg_Release(&image);
    BaseImage_Release(&source);

    // A palette image records the indices in use and copies the palette without alpha.
    ASSERT_EQ(0, BaseImage_CreatePal8(3, 1, &source, 1));
    ((uint8_t*)source.pixels)[0] = 4;
    ((uint8_t*)source.pixels)[1] = 9;
    ((uint8_t*)source.pixels)[2] = 1;
    memset(&image, 0, sizeof(image));
    ASSERT_EQ(0, MemImg_Setup(&image, 3, 1, -1, 0, MemImgColorType_XRGB8, 1, 0, 0, nullptr));
    EXPECT_EQ(0, MemImg_BltBaseImage(&source, nullptr, &image, 0, 0, 3, 1, 0, 0, 0));
    EXPECT_EQ(10, image.body->paletteUsed);
    EXPECT_EQ(source.format.palette[9] & 0xFFFFFF, ((uint32_t*)image.body->palette)[9]);
    EXPECT_EQ(0, memcmp(image.body->palette, image.body->paletteCopy, 1024));
    BaseImage_Release(&source);
}

TEST(MemImgTablesTest, LookupAndThresholdTables)
{
    MemImg_Initialize();
    EXPECT_EQ(-255, MemImg_SignedProductTable[255][0]);
    EXPECT_EQ(0, MemImg_SignedProductTable[100][255]);
    EXPECT_EQ(100 * 100 / 255, MemImg_SignedProductTable[100][355]);
    EXPECT_EQ(-(100 * 100 / 255), MemImg_SignedProductTable[100][155]);   // truncation toward zero
    EXPECT_EQ(128 * 200 / 255, MemImg_ProductTable[128][200]);
    EXPECT_EQ(63, MemImg_Blend6Table[63][63][0]);
    EXPECT_EQ((10 * 20 + 53 * 40) / 63, MemImg_Blend6Table[10][20][40]);

    MemImg_SetBlendGraphBorder(0, 0);
    for (int i = 0; i < 256; i++) ASSERT_EQ(255, MemImgState.blendGraphThreshold[i]);
    MemImg_SetBlendGraphBorder(255, 255);
    EXPECT_EQ(0, MemImgState.blendGraphThreshold[0]);
    EXPECT_EQ(1, MemImgState.blendGraphThreshold[255]);   // 255 - 254

    EXPECT_EQ(nullptr, MemImg_GetColorData(4, 0, 0));
    const ColorFormatDesc* d = MemImg_GetColorData(MemImgColorType_R5G6B5, 1, 0);
    EXPECT_EQ(4, d->bytesPerPixel);
    EXPECT_EQ(0xFF0000u, d->alphaMask);
    EXPECT_EQ(d, MemImg_GetColorData(MemImgColorType_R5G6B5, 1, 0));
    EXPECT_EQ(1, MemImg_GetColorData(MemImgColorType_XRGB8, 0, 1)->bytesPerPixel);
    EXPECT_EQ(2, MemImg_GetColorData(MemImgColorType_One16, 1, 1)->bytesPerPixel);
}

// ---- Blending draw ----

namespace {

struct DrawCase {
    uint32_t bright;
    int width;
    int alpha;      // source with an alpha plane
    int planes;     // with premultiplied and run planes (runs valid)
    int mode, param;
    int key;
};

}  // namespace

TEST(MemImgDrawTest, BlendMatchesTheDocumentedRule)
{
    const DrawCase cases[] = {
        {0xFFFFFF, 13, 1, 0, 1, 255, 0}, {0xFFFFFF, 13, 1, 1, 1, 255, 0}, {0xFFFFFF, 13, 1, 1, 1, 100, 0},
        {0xFFFFFF, 7, 1, 0, 0, 0, 0},    {0xFFFFFF, 9, 0, 0, 1, 77, 0},   {0xFFFFFF, 9, 0, 0, 0, 0, 1},
        {0xFFFFFF, 16, 1, 1, 0, 0, 0},   {0x80FF20, 13, 1, 1, 0, 0, 0},   {0x102030, 9, 0, 0, 1, 200, 1},
    };
    std::mt19937 random(7);
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.width * 1000 + c.alpha * 100 + c.planes * 10 + c.mode);
        const int w = c.width, h = 3;
        BaseImage src = {};
        ASSERT_EQ(0, BaseImage_CreateARGB8(w, h, &src));
        for (int i = 0; i < w * h; i++) {
            uint32_t v = random();
            const int kind = i % 4;   // runs of transparent, opaque and translucent pixels
            if (kind == 0) v &= 0x00FFFFFF;
            if (kind == 1) v |= 0xFF000000u;
            ((uint32_t*)src.pixels)[i] = v;
        }
        ((uint32_t*)src.pixels)[2] = 0xFF112233u;
        MEMIMG s = {}, d = {};
        ASSERT_EQ(0, MemImg_Setup(&s, w, h, -1, 0x112233, MemImgColorType_XRGB8, 0, c.alpha, c.planes, nullptr));
        ASSERT_EQ(0, MemImg_BltBaseImage(&src, nullptr, &s, 0, 0, w, h, 0, 0, c.key));
        ASSERT_EQ(0, MemImg_SetupWithDefaults(&d, w + 4, h + 2, MemImgColorType_XRGB8));
        std::vector<uint32_t> before;
        for (int y = 0; y < h + 2; y++)
            for (int x = 0; x < w + 4; x++) {
                const uint32_t v = random();
                memcpy((uint8_t*)d.pixels + y * d.body->pitch + x * 4, &v, 4);
                before.push_back(v);
            }
        const int32_t area[4] = {3, 2, w + 1, h + 2};   // cuts the source's first and last columns and first row
        MemImg_SetDrawArea(area);
        MemImg_SetBlendMode(c.mode, c.param);
        MemImg_SetDrawBright(c.bright);
        ASSERT_EQ(0, MemImg_DrawImage(&d, &s, 2, 1, c.key));
        for (int y = 0; y < h + 2; y++) {
            for (int x = 0; x < w + 4; x++) {
                const uint32_t old = before[y * (w + 4) + x];
                uint32_t expected = old;
                if (x >= 3 && x < w + 1 && y >= 2 && y < 1 + h) {
                    uint32_t sv = Pixel32(s, x - 2, y - 1);
                    if (!c.alpha) sv |= 0xFF000000u;
                    if (c.key && (sv & 0xFFFFFF) == 0x112233) sv &= 0xFFFFFF;
                    expected = BlendReference(sv, old, c.mode == 1 ? (uint32_t)c.param : 255, c.bright);
                }
                ASSERT_EQ(expected, Pixel32(d, x, y)) << x << "," << y;
            }
        }
        MemImg_Release(&s);
        MemImg_Release(&d);
        BaseImage_Release(&src);
    }
    const int32_t none[4] = {0, 0, 0, 0};
    MemImg_SetDrawArea(none);
    MemImg_SetBlendMode(0, 0);
    MemImg_SetDrawBright(0xFFFFFF);
}

TEST(MemImgDrawTest, RefusesWhatItDoesNotDraw)
{
    MEMIMG a = {}, b = {};
    ASSERT_EQ(0, MemImg_Setup(&a, 4, 4, -1, 0, MemImgColorType_XRGB8, 1, 0, 0, nullptr));
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&b, 4, 4, MemImgColorType_XRGB8));
    EXPECT_EQ(-1, MemImg_DrawImage(&b, &a, 0, 0, 0));   // palette images
    MEMIMG one = {};
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&one, 4, 4, MemImgColorType_One8));
    EXPECT_EQ(-1, MemImg_DrawImage(&one, &b, 0, 0, 0));
    MemImg_Release(&one);
    MemImg_SetBlendMode(3, 255);
    EXPECT_EQ(-1, MemImg_DrawImage(&b, &b, 0, 0, 0));
    MemImg_SetBlendMode(0, 0);
    // Completely outside: nothing to do.
    EXPECT_EQ(0, MemImg_DrawImage(&b, &b, 10, 0, 0));
    MemImg_Release(&a);
    MemImg_Release(&b);
}

TEST(MemImgDrawTest, EveryAlphaAgainstEveryChannelValue)
{
    // Source pixel (x, y): alpha x, blue y, green 255 - y, red x ^ y; destination channels y, x.
    MEMIMG s = {}, d = {};
    ASSERT_EQ(0, MemImg_Setup(&s, 256, 256, -1, 0, MemImgColorType_XRGB8, 0, 1, 0, nullptr));
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&d, 256, 256, MemImgColorType_XRGB8));
    for (uint32_t y = 0; y < 256; y++)
        for (uint32_t x = 0; x < 256; x++) {
            const uint32_t sv = x << 24 | (x ^ y) << 16 | (255 - y) << 8 | y, dv = y << 24 | x << 16 | y << 8 | x;
            memcpy((uint8_t*)s.pixels + y * s.body->pitch + x * 4, &sv, 4);
            memcpy((uint8_t*)d.pixels + y * d.body->pitch + x * 4, &dv, 4);
        }
    MemImg_SetBlendMode(1, 255);
    ASSERT_EQ(0, MemImg_DrawImage(&d, &s, 0, 0, 0));
    for (uint32_t y = 0; y < 256; y++)
        for (uint32_t x = 0; x < 256; x++) {
            const uint32_t sv = x << 24 | (x ^ y) << 16 | (255 - y) << 8 | y, dv = y << 24 | x << 16 | y << 8 | x;
            ASSERT_EQ(BlendReference(sv, dv, 255), Pixel32(d, (int)x, (int)y)) << x << "," << y;
        }
    MemImg_SetBlendMode(0, 0);
    MemImg_Release(&s);
    MemImg_Release(&d);
}

TEST(MemImgDrawTest, SixteenBitImagesThroughTheSameRule)
{
    // Type-0 source with alpha (R5G6B5 in bits 0 to 15, alpha in byte 2) onto a type-0 image,
    // and a keyed type-0 source without alpha onto a 32-bit image.
    auto widen = [](uint32_t c) {
        const uint32_t r = c >> 11, g = (c >> 5) & 63, b = c & 31;
        return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
    };
    auto narrow = [](uint32_t v) { return ((v >> 19) & 31) << 11 | ((v >> 10) & 63) << 5 | ((v >> 3) & 31); };
    std::mt19937 random(11);
    MEMIMG s = {}, d = {};
    ASSERT_EQ(0, MemImg_Setup(&s, 9, 2, -1, 0, MemImgColorType_R5G6B5, 0, 1, 0, nullptr));
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&d, 9, 2, MemImgColorType_R5G6B5));
    std::vector<uint32_t> sv(18), dv(18);
    for (int i = 0; i < 18; i++) {
        sv[i] = random() & 0xFFFFFF;
        dv[i] = random() & 0xFFFF;
        memcpy((uint8_t*)s.pixels + (i / 9) * s.body->pitch + (i % 9) * 4, &sv[i], 4);
        memcpy((uint8_t*)d.pixels + (i / 9) * d.body->pitch + (i % 9) * 2, &dv[i], 2);
    }
    MemImg_SetBlendMode(1, 200);
    ASSERT_EQ(0, MemImg_DrawImage(&d, &s, 0, 0, 0));
    for (int i = 0; i < 18; i++) {
        uint16_t out;
        memcpy(&out, (uint8_t*)d.pixels + (i / 9) * d.body->pitch + (i % 9) * 2, 2);
        const uint32_t source = (sv[i] >> 16) << 24 | widen(sv[i] & 0xFFFF);
        EXPECT_EQ(narrow(BlendReference(source, 0xFF000000u | widen(dv[i]), 200)), out) << i;
    }
    MemImg_Release(&s);
    MemImg_Release(&d);

    ASSERT_EQ(0, MemImg_Setup(&s, 2, 1, -1, 0xF800, MemImgColorType_R5G6B5, 0, 0, 0, nullptr));
    ASSERT_EQ(0, MemImg_SetupWithDefaults(&d, 2, 1, MemImgColorType_XRGB8));
    const uint16_t pixels[2] = {0xF800, 0x07E0};
    memcpy(s.pixels, pixels, 4);
    MemImg_FillRect(&d, nullptr, 0xFF0000FFu);
    MemImg_SetBlendMode(0, 0);
    ASSERT_EQ(0, MemImg_DrawImage(&d, &s, 0, 0, 1));
    EXPECT_EQ(0xFF0000FFu, Pixel32(d, 0, 0));   // the key colour is not drawn
    EXPECT_EQ(0xFF00FF00u, Pixel32(d, 1, 0));
    MemImg_Release(&s);
    MemImg_Release(&d);
}
