// Text drawing and measuring without a graphics device: font data written here in the "FNTF" format
// draws a known text into the main memory screen, compared byte for byte with the picture composed
// from the font data itself (offsets, advances, spacing, kerning, line feeds, edge fonts, clipping at
// the draw area); antialiased text is composed through the work image; the measuring rules; font-data
// versions, damaged blocks and damaged copies, wide edges on empty or huge cells; image glyphs; the
// built-in 8 x 16 font when no system font can be made.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "font/VtFont.h"
#include "font/VtFontCache.h"
#include "font/VtFontData.h"
#include "font/VtFontDraw.h"
#include "font/VtFontText.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtKeyInput.h"
#include "system/VtSystemNeighbours.h"
#include "tools/VtaEncode.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

// One glyph of the test font: its records and its pixels (1 bit or 4-bit levels, row by row).
struct TestGlyph {
    uint32_t Code;
    int OffsetX, OffsetY, Advance, Width, Height;
    bool Packed;
    std::vector<int> Levels;          // Width x Height, 0 none
    uint32_t ImageOffsetShift = 0;    // added to the stored image offset (damaged records)
};

struct TestKerning {
    uint32_t First, Second;
    int Amount;
};

constexpr int FontHeight = 16;

// A glyph whose pixels follow a pattern of its own (seeded), with ink at its four edges.
TestGlyph MakeGlyph(uint32_t code, int ox, int oy, int advance, int width, int height, bool packed, int seed,
                    int levels)
{
    TestGlyph glyph{code, ox, oy, advance, width, height, packed, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            const bool on = border || ((x * 3 + y * 5 + seed) % 4 == 0);
            glyph.Levels.push_back(on ? (levels == 1 ? 1 : 1 + (x + y + seed) % 15) : 0);
        }
    return glyph;
}

void Put(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes)
{
    if (out.size() < at + bytes) out.resize(at + bytes, 0);
    for (int i = 0; i < bytes; ++i) out[at + i] = uint8_t(value >> (8 * i));
}

// The font-data block: image kind 0 (1 bit) or 1 (4 bits); version 0 leaves out bytes 300-343.
std::vector<uint8_t> MakeFontData(const std::vector<TestGlyph>& glyphs, const std::vector<TestKerning>& kerning,
                                  int imageKind, int version = 1, int cellSize = FontHeight, int height = FontHeight)
{
    std::vector<uint8_t> images, header(412, 0);
    const char16_t face[] = u"Test Face";
    for (size_t i = 0; face[i] != 0; ++i) Put(header, 24 + 2 * i, face[i], 2);
    Put(header, 280, 4, 2);
    Put(header, 282, FontHeight, 2);
    Put(header, 284, height, 2);
    Put(header, 286, 0, 2);
    Put(header, 290, cellSize, 2);
    Put(header, 294, 0xFFFF, 2);
    Put(header, 296, 12, 2);
    Put(header, 300, uint32_t(kerning.size()), 4);
    header[344] = uint8_t(imageKind);
    uint32_t decodeSize = 0, wide = 0;
    for (const TestGlyph& glyph : glyphs) {
        const int pitch = imageKind == 0 ? (glyph.Width + 7) / 8 : (glyph.Width + 1) / 2;
        std::vector<uint8_t> rows(size_t(pitch) * glyph.Height, 0);
        for (int y = 0; y < glyph.Height; ++y)
            for (int x = 0; x < glyph.Width; ++x) {
                const int level = glyph.Levels[size_t(y) * glyph.Width + x];
                if (imageKind == 0 && level) rows[size_t(y) * pitch + x / 8] |= uint8_t(0x80 >> (x % 8));
                if (imageKind == 1) rows[size_t(y) * pitch + x / 2] |= uint8_t(level << (x % 2 ? 0 : 4));
            }
        std::vector<uint8_t> stored = rows;
        if (glyph.Packed) {
            stored = VtaPack::LzPack(rows.data(), rows.size());
            decodeSize = std::max<uint32_t>(decodeSize, uint32_t(rows.size()));
        }
        const size_t record = header.size();
        header.resize(record + 32, 0);
        Put(header, record, glyph.Code, 4);
        header[record + 4] = glyph.Packed ? 1 : 0;
        Put(header, record + 6, uint16_t(int16_t(glyph.OffsetX)), 2);
        Put(header, record + 8, uint16_t(int16_t(glyph.OffsetY)), 2);
        Put(header, record + 10, uint16_t(int16_t(glyph.Advance)), 2);
        Put(header, record + 12, glyph.Width, 2);
        Put(header, record + 14, glyph.Height, 2);
        Put(header, record + 16, uint32_t(images.size()) + glyph.ImageOffsetShift, 4);
        Put(header, record + 20, pitch, 4);
        images.insert(images.end(), stored.begin(), stored.end());
        wide += glyph.Code >= 0x10000;
    }
    for (const TestKerning& pair : kerning) {
        const size_t at = header.size();
        header.resize(at + 16, 0);
        Put(header, at, pair.First, 4);
        Put(header, at + 4, pair.Second, 4);
        Put(header, at + 8, uint32_t(pair.Amount), 4);
    }
    if (version == 0) {
        header.erase(header.begin() + 300, header.begin() + 344);
    }
    const VtaPack::Bytes packed = VtaPack::LzPack(header.data() + 24, header.size() - 24);
    std::vector<uint8_t> out = {'F', 'N', 'T', 'F'};
    Put(out, 4, uint32_t(version), 2);
    Put(out, 8, uint32_t(24 + packed.size()), 4);
    Put(out, 12, decodeSize, 4);
    Put(out, 16, uint32_t(glyphs.size()), 4);
    Put(out, 20, wide, 4);
    out.insert(out.end(), packed.begin(), packed.end());
    out.insert(out.end(), images.begin(), images.end());
    return out;
}

// The glyphs of the exact-pixel tests: negative and positive offsets, one packed glyph with the same
// pixels as an unpacked one, and a glyph above U+FFFF whose low 16 bits are those of U+3000.
std::vector<TestGlyph> TestGlyphs(int levels)
{
    std::vector<TestGlyph> glyphs = {
        MakeGlyph(L'A', 0, 2, 9, 8, 12, false, 1, levels),
        MakeGlyph(L'B', -1, 0, 7, 7, 14, true, 2, levels),
        MakeGlyph(L'C', 2, 5, 12, 9, 9, false, 3, levels),
        MakeGlyph(0x13000, 1, 1, 10, 8, 13, false, 4, levels),
    };
    TestGlyph copy = glyphs[0];
    copy.Code = L'D';
    copy.Packed = true;
    glyphs.push_back(copy);
    return glyphs;
}

const std::vector<TestKerning> TestPairs = {{L'A', L'B', -2}, {L'C', L'A', 3}};

// The text drawn: both kerning pairs, a space, a line feed, the packed twin and the wide glyph.
const wchar_t TestText[] = L"ABC A\nDC\xD80C\xDC00" L"AB";

// The picture the font data itself gives: every glyph's ink (and, for an edge font, the ring of
// pixels around it) placed by the pen rules, clipped to the clip rectangle.
// Antialiased levels 1-15 (antialiased) are ink of alpha 16 x level (15: 255): a later glyph's pixel replaces an
// earlier one's, then the whole text is blended onto the background at the opacity, every division
// by 255 rounded to nearest, the spare byte left 0.
std::vector<uint32_t> ComposeExpected(const std::vector<TestGlyph>& glyphs, int width, int height, uint32_t background,
                                      int x, int y, int spacing, int edge, uint32_t color, uint32_t edgeColor,
                                      const RECT& clip, bool antialiased = false, int opacity = 255)
{
    std::vector<uint32_t> picture(size_t(width) * height, background);
    std::vector<uint32_t> layer(picture.size(), 0);   // alpha << 24 | colour, 0 where nothing is drawn
    std::map<uint32_t, const TestGlyph*> byCode;
    for (const TestGlyph& glyph : glyphs) byCode[glyph.Code] = &glyph;
    std::vector<uint32_t> codes;
    for (size_t i = 0; TestText[i] != 0; ++i) {
        const uint32_t unit = uint16_t(TestText[i]);
        if ((unit & 0xFC00) == 0xD800) {
            codes.push_back((((unit & 0x3FF) << 10) | (uint16_t(TestText[i + 1]) & 0x3FF)) + 0x10000);
            ++i;
        } else {
            codes.push_back(unit);
        }
    }
    const int lineAdvance = FontHeight + 2 * edge;
    int pen = 0, line = 0;
    auto plot = [&](int px, int py, uint32_t value, int level) {
        if (px >= clip.left && px < clip.right && py >= clip.top && py < clip.bottom && px < width && py < height)
            layer[size_t(py) * width + px] = uint32_t(level >= 15 ? 255 : level * 16) << 24 | value;
    };
    for (size_t i = 0; i < codes.size(); ++i) {
        const uint32_t code = codes[i];
        if (code == L'\n') {
            pen = 0;
            line += lineAdvance;
            continue;
        }
        const TestGlyph* glyph = byCode.count(code) ? byCode[code] : nullptr;
        if (glyph != nullptr) {
            auto level = [&](int gx, int gy) {
                return gx >= 0 && gy >= 0 && gx < glyph->Width && gy < glyph->Height
                           ? glyph->Levels[size_t(gy) * glyph->Width + gx]
                           : 0;
            };
            auto ink = [&](int gx, int gy) { return level(gx, gy) != 0; };
            const int left = x + pen + glyph->OffsetX, top = y + line + glyph->OffsetY;
            for (int gy = -edge; gy < glyph->Height + edge; ++gy)
                for (int gx = -edge; gx < glyph->Width + edge; ++gx) {
                    if (ink(gx, gy))
                        plot(left + edge + gx, top + edge + gy, color, antialiased ? level(gx, gy) : 15);
                    else if (edge > 0 && (ink(gx - 1, gy) || ink(gx + 1, gy) || ink(gx, gy - 1) || ink(gx, gy + 1)))
                        plot(left + edge + gx, top + edge + gy, edgeColor, 15);
                }
        }
        pen += (glyph != nullptr ? glyph->Advance + 2 * edge : 0) + spacing;
        if (i + 1 < codes.size())
            for (const TestKerning& pair : TestPairs)
                if (pair.First == code && pair.Second == codes[i + 1]) pen += pair.Amount;
    }
    auto divide = [](double value) { return uint32_t(std::lround(value / 255.0)); };
    for (size_t i = 0; i < picture.size(); ++i) {
        if (layer[i] == 0) continue;
        const uint32_t alpha = divide(double(layer[i] >> 24) * opacity);
        uint32_t out = 0;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t s = divide(double(divide(double((layer[i] >> shift) & 255) * (layer[i] >> 24))) * opacity);
            out |= (s + divide(double((picture[i] >> shift) & 255) * (255 - alpha))) << shift;
        }
        picture[i] = out;
    }
    return picture;
}

std::vector<uint32_t> ScreenPixels()
{
    const MEMIMG& screen = GraphicsSystemState.SoftScreenMain;
    std::vector<uint32_t> pixels(size_t(screen.width) * screen.height);
    for (int y = 0; y < screen.height; ++y)
        memcpy(&pixels[size_t(y) * screen.width], static_cast<const uint8_t*>(screen.pixels) + size_t(y) * screen.body->pitch,
               size_t(screen.width) * 4);
    return pixels;
}

int CountDifferences(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected, int width)
{
    int differences = 0;
    size_t first = 0;
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i] && differences++ == 0) {
            first = i;
            ADD_FAILURE() << "first difference at (" << i % width << ", " << i / width << "): drawn " << std::hex
                          << actual[i] << ", expected " << expected[i];
        }
    if (differences > 0) {
        // The neighbourhood of the first difference, drawn and expected (. background, # colour, x other).
        const uint32_t background = expected[0];
        std::string picture;
        const int x0 = int(first % width) - 20, y0 = int(first / width) - 4;
        for (int y = y0; y < y0 + 24; ++y) {
            for (const auto* image : {&actual, &expected}) {
                for (int x = x0; x < x0 + 48; ++x) {
                    const size_t at = size_t(y) * width + x;
                    if (x < 0 || y < 0 || at >= image->size()) { picture += ' '; continue; }
                    const uint32_t v = (*image)[at];
                    picture += v == background ? '.' : v == 0xFFC800 ? '#' : 'x';
                }
                picture += "   ";
            }
            picture += '\n';
        }
        ADD_FAILURE() << "drawn | expected, from (" << x0 << ", " << y0 << "):\n" << picture;
    }
    return differences;
}

class FontDrawTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        SetHardwareGraphicsEnable(0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_NONE);
        ASSERT_EQ(GetScreenColorBitDepth(), 32);
    }
    void TearDown() override
    {
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
    }

    void ClearScreen()
    {
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, GraphicsScreenState.ScreenWidth, GraphicsScreenState.ScreenHeight);
        ClearDrawTarget(nullptr);
    }
};

}  // namespace

TEST_F(FontDrawTest, FontDataDrawsExactlyTheComposedPicture)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 0);
    const uint32_t color = MakeColorCode(255, 200, 0), edgeColor = MakeColorCode(0, 64, 255);
    const int width = GraphicsSystemState.SoftScreenMain.width, height = GraphicsSystemState.SoftScreenMain.height;
    struct Case {
        const char* Name;
        int EdgeSize, Spacing, X, Y;
        RECT Area;
    };
    const Case cases[] = {
        {"plain", 0, 0, 40, 30, {0, 0, width, height}},
        {"spacing 3", 0, 3, 40, 30, {0, 0, width, height}},
        {"cut by the draw area", 0, 1, -3, 20, {0, 25, 70, 50}},
        {"edge font", 1, 2, 100, 200, {0, 0, width, height}},
        {"edge font cut", 1, 0, 10, 5, {12, 8, 60, 30}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), test.EdgeSize);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(SetFontCharSpacingToHandle(test.Spacing, handle), 0);
        ClearScreen();
        const uint32_t background = ScreenPixels()[0];
        Graphics_DrawSetting_SetDrawAreaRect(test.Area.left, test.Area.top, test.Area.right, test.Area.bottom);
        EXPECT_EQ(DrawTextToHandleW(test.X, test.Y, TestText, int(wcslen(TestText)), color, handle, edgeColor, 0), 0);
        const std::vector<uint32_t> expected = ComposeExpected(glyphs, width, height, background, test.X, test.Y,
                                                               test.Spacing, test.EdgeSize, color & 0xFFFFFF,
                                                               edgeColor & 0xFFFFFF, test.Area);
        EXPECT_EQ(CountDifferences(ScreenPixels(), expected, width), 0);
        EXPECT_EQ(DeleteFontToHandle(handle), 0);
    }
}

// The work image of the memory road: the work area filled with a transparent colour apart from both
// text colours, the text drawn into it from (drawX, 0) exactly as the font data places it, cut at
// the work area; the work area is left as the memory images' draw area.
TEST_F(FontDrawTest, TextIsDrawnIntoTheWorkImage)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 0);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 1);
    ASSERT_GE(handle, 0);
    FontHandleRecord* font = Font_GetRecord(handle);
    MEMIMG& work = GraphicsSystemState.SoftScreenWork;
    ASSERT_TRUE(MemImg_IsValid(&work));
    const int length = int(wcslen(TestText));
    struct Case {
        uint32_t Color, EdgeColor, Trans;
        int Width, Height, DrawX;
    };
    for (const Case& c : {Case{0xFFC800, 0x0040FF, 0x000000, 120, 40, 0}, Case{0x000000, 0x000001, 0x000000, 60, 30, 7}}) {
        SCOPED_TRACE(c.DrawX);
        work.body->transColor = c.Trans;
        int32_t area[4] = {};
        ASSERT_EQ(Font_DrawTextToWorkImage(TestText, length, c.Color, font, c.EdgeColor, 0, c.Width, c.Height, c.DrawX, area),
                  &work);
        EXPECT_EQ(area[0], 0);
        EXPECT_EQ(area[2], c.Width);
        EXPECT_EQ(area[3], c.Height);
        EXPECT_EQ(std::memcmp(MemImgState.drawArea, area, sizeof(area)), 0);
        const uint32_t trans = work.body->transColor & 0xFFFFFF;
        EXPECT_NE(trans, c.Color);
        EXPECT_NE(trans, c.EdgeColor);
        const std::vector<uint32_t> expected = ComposeExpected(glyphs, c.Width, c.Height, trans, c.DrawX, 0, 0, 1, c.Color,
                                                               c.EdgeColor, RECT{0, 0, c.Width, c.Height});
        std::vector<uint32_t> drawn;
        for (int y = 0; y < c.Height; ++y)
            for (int x = 0; x < c.Width; ++x)
                drawn.push_back(static_cast<const uint32_t*>(work.pixels)[size_t(y) * work.body->pitch / 4 + x] & 0xFFFFFF);
        EXPECT_EQ(CountDifferences(drawn, expected, c.Width), 0);
    }
    DeleteFontToHandle(handle);
}

TEST_F(FontDrawTest, AntialiasedTextIsComposedIntoTheScreen)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(15);
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 1);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(Font_GetRecord(handle)->Type, VT_FONTTYPE_ANTIALIASING_4X4);
    ClearScreen();
    std::vector<uint32_t> before = ScreenPixels();
    const int width = GraphicsSystemState.SoftScreenMain.width;
    EXPECT_EQ(DrawTextToHandleW(50, 60, L"AC", 2, MakeColorCode(255, 255, 255), handle, 0, 0), 0);
    std::vector<uint32_t> after = ScreenPixels();
    for (uint32_t& pixel : before) pixel &= 0xFFFFFF;
    for (uint32_t& pixel : after) pixel &= 0xFFFFFF;
    // Full ink lands as the text colour, partial levels in between, nothing outside the text's box.
    int full = 0, partial = 0, outside = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        const int px = int(i % width), py = int(i / width);
        if (px < 50 || px >= 50 + 9 + 12 || py < 60 || py >= 60 + FontHeight) ++outside;
        (after[i] == 0xFFFFFF ? full : partial)++;
    }
    EXPECT_GT(full, 3);
    EXPECT_GT(partial, 10);
    EXPECT_EQ(outside, 0);
    // The first pixel of "A" has level 1 + (0 + 0 + 1) % 15 = 2: alpha 32 over the background.
    const uint32_t background = before[0] & 0xFF;
    const uint32_t expectedBlue = (0xFF * 32 + background * (255 - 32) + 127) / 255;
    EXPECT_NEAR(int(after[size_t(62) * width + 50] & 0xFF), int(expectedBlue), 1);
}

// Antialiased font data: glyphs that may overlap go through the work image (a later glyph's pixel
// replaces an earlier one's there), the others are blended straight onto the screen; both give the
// picture composed from the font data, and so does drawing at half opacity.
TEST_F(FontDrawTest, AntialiasedFontDataDrawsExactlyTheComposedPicture)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(15);
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 1);
    const uint32_t color = MakeColorCode(255, 200, 0);
    const int width = GraphicsSystemState.SoftScreenMain.width, height = GraphicsSystemState.SoftScreenMain.height;
    struct Case {
        const char* Name;
        int Spacing, X, Y, Opacity;
        RECT Area;
        int Overlap;
    };
    const Case cases[] = {
        {"kerned into each other", 0, 40, 30, 255, {0, 0, width, height}, 1},
        {"apart", 3, 40, 30, 255, {0, 0, width, height}, 0},
        {"apart and cut by the draw area", 3, -3, 20, 255, {0, 25, 70, 50}, 0},
        {"apart at half opacity", 3, 40, 30, 128, {0, 0, width, height}, 0},
        {"kerned into each other at half opacity", 0, 40, 30, 128, {0, 0, width, height}, 1},
    };
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(Font_GetRecord(handle)->Type, VT_FONTTYPE_ANTIALIASING_4X4);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        ASSERT_EQ(SetFontCharSpacingToHandle(test.Spacing, handle), 0);
        int overlap = -1;
        FontTextRequest measure = Font_TextRequest_Measure(Font_GetRecord(handle), TestText, -1, 0);
        measure.OverlapOut = &overlap;
        ASSERT_GE(Font_TextEngine(measure), 0);
        EXPECT_EQ(overlap, test.Overlap);
        ClearScreen();
        const uint32_t background = ScreenPixels()[0];
        Graphics_DrawSetting_SetDrawAreaRect(test.Area.left, test.Area.top, test.Area.right, test.Area.bottom);
        SetBlendModeAndParam(test.Opacity == 255 ? 0 : 1, test.Opacity);
        EXPECT_EQ(DrawTextToHandleW(test.X, test.Y, TestText, int(wcslen(TestText)), color, handle, 0, 0), 0);
        SetBlendModeAndParam(0, 255);
        const std::vector<uint32_t> expected = ComposeExpected(glyphs, width, height, background, test.X, test.Y,
                                                               test.Spacing, 0, color & 0xFFFFFF, 0, test.Area, true,
                                                               test.Opacity);
        EXPECT_EQ(CountDifferences(ScreenPixels(), expected, width), 0);
    }
    EXPECT_EQ(DeleteFontToHandle(handle), 0);
}

// Antialiased glyphs blended straight onto the screen four pixels at a time: rows with runs of full
// ink, empty runs and partial levels, cut by draw areas whose edges fall at every place of a run of
// four or by the screen's right edge, give the composed picture (the last one to three pixels of a
// row included).
TEST_F(FontDrawTest, AntialiasedRowsCutAnywhereBlendExactly)
{
    std::vector<TestGlyph> glyphs = TestGlyphs(15);
    TestGlyph& wide = glyphs[2];
    wide.Width = 15, wide.Advance = 18;
    wide.Levels.assign(size_t(wide.Width) * wide.Height, 0);
    for (int y = 0; y < wide.Height; ++y)
        for (int x = 0; x < wide.Width; ++x) {
            const int run = (x + y) / 5 % 3;  // full ink, nothing, partial levels
            wide.Levels[size_t(y) * wide.Width + x] = run == 0 ? 15 : run == 1 ? 0 : 1 + (x * 7 + y) % 14;
        }
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 1);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(SetFontCharSpacingToHandle(3, handle), 0);
    int overlap = -1;
    FontTextRequest measure = Font_TextRequest_Measure(Font_GetRecord(handle), TestText, -1, 0);
    measure.OverlapOut = &overlap;
    ASSERT_GE(Font_TextEngine(measure), 0);
    ASSERT_EQ(overlap, 0);
    const uint32_t color = MakeColorCode(255, 200, 0);
    const int width = GraphicsSystemState.SoftScreenMain.width, height = GraphicsSystemState.SoftScreenMain.height;
    for (int left = 40; left < 48; ++left)
        for (const int right : {left + 1, left + 2, left + 3, left + 6, left + 13, left + 23, 75, 77, 78, 80}) {
            SCOPED_TRACE(testing::Message() << "draw area columns " << left << " to " << right);
            ClearScreen();
            const uint32_t background = ScreenPixels()[0];
            const RECT area = {left, 25, right, 70};
            Graphics_DrawSetting_SetDrawAreaRect(area.left, area.top, area.right, area.bottom);
            EXPECT_EQ(DrawTextToHandleW(40, 30, TestText, int(wcslen(TestText)), color, handle, 0, 0), 0);
            const std::vector<uint32_t> expected = ComposeExpected(glyphs, width, height, background, 40, 30, 3, 0,
                                                                   color & 0xFFFFFF, 0, area, true);
            if (CountDifferences(ScreenPixels(), expected, width) != 0) {
                EXPECT_EQ(DeleteFontToHandle(handle), 0);
                return;
            }
        }
    // Cut by the screen's right edge, where no group of four may reach past the row.
    for (int x = width - 9; x < width - 1; ++x) {
        SCOPED_TRACE(testing::Message() << "text at column " << x << " of " << width);
        ClearScreen();
        const uint32_t background = ScreenPixels()[0];
        const RECT area = {0, 0, width, height};
        EXPECT_EQ(DrawTextToHandleW(x, 30, TestText, int(wcslen(TestText)), color, handle, 0, 0), 0);
        const std::vector<uint32_t> expected =
            ComposeExpected(glyphs, width, height, background, x, 30, 3, 0, color & 0xFFFFFF, 0, area, true);
        if (CountDifferences(ScreenPixels(), expected, width) != 0) break;
    }
    EXPECT_EQ(DeleteFontToHandle(handle), 0);
}

TEST_F(FontDrawTest, MeasuringFollowsTheLayoutRules)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    const std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 0);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    FontHandleRecord* font = Font_GetRecord(handle);
    // "AB" kerns by -2; "C" has 12; a missing glyph advances by the spacing only.
    struct Case {
        const wchar_t* Text;
        int Length, Cap, Spacing, Width;
    };
    const Case cases[] = {
        {L"AB", 0, -1, 0, 9 - 2 + 7},
        {L"ABC", 0, 2, 0, 9 - 2 + 7},         // length 0: the cap limits
        {L"ABCAB", 2, 1, 0, 9 - 2 + 7},       // a given length is used as is
        {L"A\x0E01" L"C", 0, -1, 2, 9 + 2 + 2 + 12 + 2},
        {L"   ", 0, -1, 1, 3},
        {L"\x3000", 0, -1, 0, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.Text)));
        SetFontCharSpacingToHandle(test.Spacing, handle);
        EXPECT_EQ(GetTextWidthToHandleW(test.Text, test.Length, test.Cap, handle, 0), test.Width);
    }
    SetFontCharSpacingToHandle(0, handle);
    // Two lines: the wider line, two lines, one line advance plus one height; vertical swaps them.
    int size[2] = {}, lines = 0;
    FontTextRequest request = Font_TextRequest_Measure(font, L"A\nCC", -1, 0);
    request.SizeOut = size;
    request.LinesOut = &lines;
    EXPECT_EQ(Font_TextEngine(request), 24);
    EXPECT_EQ(size[0], 24);
    EXPECT_EQ(size[1], 2 * FontHeight);
    EXPECT_EQ(lines, 2);
    request.Vertical = 1;
    request.Text = L"A\n";
    EXPECT_EQ(Font_TextEngine(request), 9);
    EXPECT_EQ(size[0], 2 * FontHeight);
    EXPECT_EQ(size[1], 9);
    EXPECT_EQ(lines, 2);
    // A scaled measure of a memory-cache font is refused.
    EXPECT_EQ(GetScaledTextWidthToHandleW(2.0, L"A", 0, -1, handle, 0), -1);
    // The narrow form counts in the font's code and caps by the given length.
    EXPECT_EQ(GetTextWidthToHandle("ABC", 2, handle, 0), 9 - 2 + 7);
    EXPECT_EQ(GetFormattedTextWidthToHandle(handle, "%c%c", 'C', 'C'), 24);
}

TEST_F(FontDrawTest, DrawingRefusesBadInputAndDrawsNothingForNothing)
{
    ClearScreen();
    const std::vector<uint32_t> before = ScreenPixels();
    EXPECT_EQ(DrawTextToHandleW(0, 0, L"A", 1, 0xFFFFFF, 0x12345, 0, 0), -1);
    EXPECT_TRUE(LogContains(u8"フォントハンドル値が異常です"));
    const int graph = MakeGraph(8, 8);
    EXPECT_EQ(DrawTextToHandleW(0, 0, L"A", 1, 0xFFFFFF, graph, 0, 0), -1);
    EXPECT_EQ(DrawTextToHandleW(0, 0, L"A", 0, 0xFFFFFF, DefaultFontHandle, 0, 0), 0);
    EXPECT_EQ(DrawTextToHandleW(0, 0, nullptr, 5, 0xFFFFFF, DefaultFontHandle, 0, 0), 0);
    EXPECT_EQ(GetTextWidthToHandleW(L"A", 0, -1, 0x12345, 0), -1);
    EXPECT_EQ(ScreenPixels(), before);
}

TEST_F(FontDrawTest, FontDataVersionsAndDamagedBlocks)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    // Version 0: image kind and glyph records 44 bytes earlier, no kerning pairs.
    const std::vector<uint8_t> old = MakeFontData(glyphs, {}, 0, 0);
    const int handle = LoadFontDataFromMemory(old.data(), int(old.size()), 0);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(Font_GetRecord(handle)->KerningPairCount, 0u);
    EXPECT_EQ(GetTextWidthToHandleW(L"AB", 0, -1, handle, 0), 16);
    wchar_t face[256];
    int size = 0, type = -1, edge = -1;
    ASSERT_EQ(GetFontParamsToHandleW(face, &size, nullptr, handle, &type, nullptr, &edge, nullptr), 0);
    EXPECT_STREQ(face, L"Test Face");
    EXPECT_EQ(size, FontHeight);
    // Image kinds and edge sizes give the types; a negative edge size counts as 0.
    const std::vector<uint8_t> nibbles = MakeFontData(glyphs, TestPairs, 1);
    const std::vector<uint8_t> bytes = MakeFontData({}, {}, 2);
    struct Case {
        const std::vector<uint8_t>* Data;
        int EdgeSize;
        FontType Type;
    };
    for (const Case& test : {Case{&nibbles, 2, VT_FONTTYPE_ANTIALIASING_EDGE_4X4}, Case{&bytes, 0, VT_FONTTYPE_ANTIALIASING_8X8},
                             Case{&bytes, -3, VT_FONTTYPE_ANTIALIASING_8X8}}) {
        const int h = LoadFontDataFromMemory(test.Data->data(), int(test.Data->size()), test.EdgeSize);
        ASSERT_GE(h, 0);
        EXPECT_EQ(Font_GetRecord(h)->Type, test.Type);
        DeleteFontToHandle(h);
    }
    // Refused: another magic, version 2, a cut header, a header too short for its glyph count.
    std::vector<uint8_t> magic = MakeFontData(glyphs, TestPairs, 0), version = magic, cut = magic, count = magic;
    magic[0] = 'X';
    version[4] = 2;
    cut.resize(30);
    Put(count, 16, 100000, 4);
    for (const auto* bad : {&magic, &version, &cut, &count})
        EXPECT_EQ(LoadFontDataFromMemory(bad->data(), int(bad->size()), 0), -1);
    EXPECT_EQ(LoadFontDataFromMemory(nullptr, 100, 0), -1);
}

// The glyph records are read as records in place: every field as written, at any length of the data
// before them; of two records with one code below 0x10000 the later one stands in the direct table,
// of two above 0xFFFF the earlier one is found.
TEST_F(FontDrawTest, FontDataGlyphRecordsAreReadFieldByField)
{
    std::vector<TestGlyph> glyphs = TestGlyphs(1);
    TestGlyph later = MakeGlyph(L'A', -3, 4, 11, 6, 10, true, 9, 1);
    TestGlyph wideTwin = MakeGlyph(0x13000, 2, 3, 5, 4, 4, false, 8, 1);
    glyphs.push_back(later);
    glyphs.push_back(wideTwin);
    std::vector<uint8_t> data = MakeFontData(glyphs, TestPairs, 0);
    for (const size_t padding : {0, 1, 3}) {
        SCOPED_TRACE(padding);
        std::vector<uint8_t> padded = data;
        padded.resize(data.size() + padding, 0);
        const int handle = LoadFontDataFromMemory(padded.data(), int(padded.size()), 0);
        ASSERT_GE(handle, 0);
        const FontHandleRecord* font = Font_GetRecord(handle);
        for (size_t i = 0; i < glyphs.size(); ++i) {
            const FontDataGlyph& record = font->FontDataGlyphs[i];
            EXPECT_EQ(reinterpret_cast<uintptr_t>(&record) % alignof(FontDataGlyph), 0u);
            EXPECT_EQ(record.Code, glyphs[i].Code);
            EXPECT_EQ(record.Packed != 0, glyphs[i].Packed);
            EXPECT_EQ(record.OffsetX, glyphs[i].OffsetX);
            EXPECT_EQ(record.OffsetY, glyphs[i].OffsetY);
            EXPECT_EQ(record.Advance, glyphs[i].Advance);
            EXPECT_EQ(record.Width, glyphs[i].Width);
            EXPECT_EQ(record.Height, glyphs[i].Height);
            EXPECT_EQ(record.Pitch, uint32_t((glyphs[i].Width + 7) / 8));
        }
        EXPECT_EQ(font->FontDataDirect[L'A'], &font->FontDataGlyphs[glyphs.size() - 2]);
        ASSERT_EQ(font->FontDataWideCount, 2u);
        EXPECT_EQ(font->FontDataWide[0]->Advance, 10);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(font->FontDataDirect) % alignof(void*), 0u);
        // What the text measures follows the records that stand: A advances 11, U+13000 10.
        EXPECT_EQ(GetTextWidthToHandleW(L"A\xD80C\xDC00", 0, -1, handle, 0), 21);
        DeleteFontToHandle(handle);
    }
}

TEST_F(FontDrawTest, DamagedFontDataIsRefusedWithALogLine)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    TestGlyph tall = MakeGlyph(L'T', 0, 0, 9, 8, 40, false, 5, 1);
    TestGlyph outside = MakeGlyph(L'O', 0, 0, 9, 8, 12, false, 6, 1);
    outside.ImageOffsetShift = 4096;
    TestGlyph packedOutside = MakeGlyph(L'P', 0, 0, 9, 8, 12, true, 7, 1);
    packedOutside.ImageOffsetShift = 1u << 30;
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        const char8_t* Line;
    };
    const Case cases[] = {
        {"cell and height 0", MakeFontData({}, {}, 0, 1, 0, 0), u8"文字キャッシュのセルの大きさ 0 は扱えません"},
        {"cell 65535", MakeFontData(glyphs, {}, 0, 1, 65535, FontHeight), u8"文字キャッシュのセルの大きさ 65536 は扱えません"},
        {"a glyph taller than the cell", MakeFontData({glyphs[0], tall}, {}, 0),
         u8"フォントデータの文字 0x54 の画像の情報が壊れています"},
        {"an image beyond the data", MakeFontData({outside, glyphs[1]}, {}, 0),
         u8"フォントデータの文字 0x4f の画像の情報が壊れています"},
        {"a packed image beyond the data", MakeFontData({glyphs[2], packedOutside}, {}, 1),
         u8"フォントデータの文字 0x50 の画像の情報が壊れています"},
    };
    const int fonts = HandleManagerTable[HandleType_Font].Count;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        const size_t logged = ReadLog().size();
        EXPECT_EQ(LoadFontDataFromMemory(test.Data.data(), int(test.Data.size()), 0), -1);
        EXPECT_NE(LogFind(ReadLog(), test.Line, logged), std::string::npos);
        EXPECT_EQ(HandleManagerTable[HandleType_Font].Count, fonts);
    }
    // Fonts of system faces refuse cells beyond the cache the same way.
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, 3, VT_FONTTYPE_EDGE, CharSet_ShiftJis, 5000, 0, -1), -1);
    EXPECT_TRUE(LogContains(u8"縁の太さ 5000 は扱えません"));
}

// Edges wider than 4 pixels (drawn with a brush) on font data whose cell is empty or huge: each is
// refused with its line, and neither a handle nor a block is left behind.
TEST_F(FontDrawTest, WideEdgesOnEmptyOrHugeCellsAreRefusedCleanly)
{
    const std::vector<TestGlyph> glyphs = TestGlyphs(1);
    struct Case {
        const char* Name;
        std::vector<uint8_t> Data;
        int EdgeSize;
        const char8_t* Line;
    };
    const Case cases[] = {
        {"edge 5, cell and height 0", MakeFontData(glyphs, {}, 0, 1, 0, 0), 5, u8"の画像の情報が壊れています"},
        {"edge 6, cell 65535", MakeFontData(glyphs, {}, 1, 1, 65535, FontHeight), 6,
         u8"文字キャッシュのセルの大きさ 65552 は扱えません"},
        {"edge 2048 around a cell of 16", MakeFontData(glyphs, {}, 0), 2048,
         u8"文字キャッシュのセルの大きさ 4112 は扱えません"},
        {"edge 2049", MakeFontData(glyphs, {}, 0), 2049, u8"縁の太さ 2049 は扱えません"},
        {"edge 70000, cell 0 and no glyphs", MakeFontData({}, {}, 2, 1, 0, 0), 70000, u8"縁の太さ 70000 は扱えません"},
    };
    const int fonts = HandleManagerTable[HandleType_Font].Count;
    const int blocks = MemoryState.AllocBlockCount;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        const size_t logged = ReadLog().size();
        EXPECT_EQ(LoadFontDataFromMemory(test.Data.data(), int(test.Data.size()), test.EdgeSize), -1);
        EXPECT_NE(LogFind(ReadLog(), test.Line, logged), std::string::npos);
        EXPECT_EQ(HandleManagerTable[HandleType_Font].Count, fonts);
        EXPECT_EQ(MemoryState.AllocBlockCount, blocks);
    }
}

// Copies of good font data with bytes changed or cut short: each is refused or loads, draws and measures
// its text and goes again; nothing stays behind. (A crash ends the whole program, which ctest reports.)
TEST_F(FontDrawTest, DamagedCopiesOfFontDataAreRefusedOrDrawnWithoutHarm)
{
    const std::vector<uint8_t> original = MakeFontData(TestGlyphs(15), TestPairs, 1);
    const size_t headerEnd = size_t(original[8]) | size_t(original[9]) << 8;  // the image-data offset
    const int fonts = HandleManagerTable[HandleType_Font].Count;
    const int blocks = MemoryState.AllocBlockCount;
    uint32_t random = 4711;
    auto next = [&random](uint32_t below) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % below;
    };
    int loaded = 0, refused = 0;
    for (int round = 0; round < 120; ++round) {
        std::vector<uint8_t> copy = original;
        if (round % 4 == 3) {
            copy.resize(4 + next(uint32_t(original.size() - 4)));
        } else {
            // Most changes fall into the plain header and the packed block; the rest anywhere.
            const int changes = 1 + int(next(6));
            for (int k = 0; k < changes; ++k) {
                const size_t at = round % 4 == 2 ? next(uint32_t(copy.size())) : next(uint32_t(headerEnd));
                copy[at] ^= uint8_t(1 + next(255));
            }
        }
        SCOPED_TRACE(round);
        const int edge = int(next(3)) * 3;
        const int handle = LoadFontDataFromMemory(copy.data(), int(copy.size()), edge);
        if (handle < 0) {
            ++refused;
            continue;
        }
        ++loaded;
        ClearScreen();
        EXPECT_EQ(DrawTextToHandleW(20, 20, L"ABCD\xD80C\xDC00Z", 7, MakeColorCode(255, 255, 255), handle, 0, 0), 0);
        GetTextWidthToHandleW(L"ABCDAB", 0, -1, handle, 0);
        EXPECT_EQ(DeleteFontToHandle(handle), 0);
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Font].Count, fonts);
    EXPECT_EQ(MemoryState.AllocBlockCount, blocks);
}

LPVOID WINAPI NoVirtualMemory(LPVOID, SIZE_T, DWORD, DWORD) { return nullptr; }

// Re-creation after device loss copies each font-data font's data first: when that copy cannot be
// made (the system gives no memory for it), the line is logged and the font keeps its handle, its
// data and its glyphs; the other fonts are re-created as usual.
TEST_F(FontDrawTest, FontDataThatCannotBeCopiedForRecreationStaysAsItWas)
{
    // Data larger than any free part of the heap, so that the copy has to come from the system.
    std::vector<uint8_t> data = MakeFontData(TestGlyphs(1), TestPairs, 0);
    data.resize(size_t(160) << 20, 0);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    const int other = LoadFontDataFromMemory(data.data(), 4096, 0);
    ASSERT_GE(other, 0);
    data.clear();
    data.shrink_to_fit();
    ASSERT_EQ(SetFontCharSpacingToHandle(3, handle), 0);
    const int width = GetTextWidthToHandleW(L"ABC", 0, -1, handle, 0);
    ASSERT_GT(width, 0);
    const size_t logged = ReadLog().size();
    auto* const saved = WinAPITable.VirtualAlloc;
    WinAPITable.VirtualAlloc = NoVirtualMemory;
    const int result = Font_RecreateAllHandles();
    WinAPITable.VirtualAlloc = saved;
    EXPECT_EQ(result, 0);
    EXPECT_NE(LogFind(ReadLog(), u8"フォントファイルイメージを一時的に保存するメモリ領域の確保に失敗しました", logged),
              std::string::npos);
    EXPECT_EQ(IsFontHandleValid(handle), 1);
    EXPECT_EQ(GetFontCharSpacingToHandle(handle), 3);
    EXPECT_EQ(GetTextWidthToHandleW(L"ABC", 0, -1, handle, 0), width);
    EXPECT_EQ(IsFontHandleValid(other), 1);
    EXPECT_EQ(GetTextWidthToHandleW(L"AB", 0, -1, other, 0), 14);  // 9 + 7 and the pair's -2
    DeleteFontToHandle(other);
    DeleteFontToHandle(handle);
}

// An edge wider than 4 pixels around a glyph taller than its cell: the edge is cut at the cell, and
// nothing is written beyond the font's work buffer, which ends here at a page without access.
TEST_F(FontDrawTest, WideEdgesOfGlyphsTallerThanTheirCellStayInTheWorkBuffer)
{
    const std::vector<uint8_t> data = MakeFontData(TestGlyphs(1), {}, 0);
    for (const int edge : {5, 8}) {
        SCOPED_TRACE(edge);
        const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), edge);
        ASSERT_GE(handle, 0);
        FontHandleRecord* font = Font_GetRecord(handle);
        const int cell = font->CellSize, size = font->WorkBufferSize;
        const size_t page = 4096, pages = (size_t(size) + page - 1) / page;
        uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(VirtualAlloc(base, pages * page, MEM_COMMIT, PAGE_READWRITE), nullptr);
        uint8_t* const kept = font->WorkBuffer;
        font->WorkBuffer = base + pages * page - size;
        const std::vector<uint8_t> ink(size_t(cell) * (cell + 12), 1);
        EXPECT_EQ(Font_GlyphCache_StoreGlyph(font, &font->Entries[0], L'W', 0, 0, GlyphSource_Byte, ink.data(), cell,
                                             cell + 12, cell, 0, 0, cell, 0),
                  0);
        font->WorkBuffer = kept;
        VirtualFree(base, 0, MEM_RELEASE);
        EXPECT_EQ(font->Entries[0].Width, cell);
        EXPECT_EQ(font->Entries[0].Height, cell);
        EXPECT_EQ(DeleteFontToHandle(handle), 0);
    }
}

TEST_F(FontDrawTest, ImageGlyphsAreAddedAndReplaced)
{
    const std::vector<uint8_t> data = MakeFontData(TestGlyphs(1), {}, 0);
    const int handle = LoadFontDataFromMemory(data.data(), int(data.size()), 0);
    ASSERT_GE(handle, 0);
    const int graph = MakeGraph(5, 11);
    ASSERT_GE(graph, 0);
    for (int i = 0; i < Font_ImageGlyphMax; ++i) {
        const wchar_t character[2] = {wchar_t(0x4E00 + i), 0};
        ASSERT_EQ(Font_AddImageGlyphW(handle, character, graph, 0, 0, 6), 0);
    }
    EXPECT_EQ(Font_AddImageGlyphW(handle, L"Z", graph, 0, 0, 6), -1);
    // A code already in the full list is replaced, and the glyph wins over the font data's.
    EXPECT_EQ(Font_AddImageGlyphW(handle, L"\x4E00", graph, 1, 2, 20), 0);
    EXPECT_EQ(GetTextWidthToHandleW(L"\x4E00", 0, -1, handle, 0), 20);
    FontHandleRecord* font = Font_GetRecord(handle);
    EXPECT_EQ(font->ImageGlyphCount, Font_ImageGlyphMax);
    EXPECT_EQ(font->ImageGlyphs[0].Width, 5);
    EXPECT_EQ(font->ImageGlyphs[0].Height, 11);
}

namespace {

HFONT WINAPI FailingCreateFont(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                               LPCWSTR)
{
    return nullptr;
}

}  // namespace

TEST_F(FontDrawTest, BuiltInFontTakesOverWhenNoSystemFontCanBeMade)
{
    const auto realCreateFont = WinAPITable.CreateFontW;
    WinAPITable.CreateFontW = FailingCreateFont;
    Handle_Delete(Font_GetDefaultHandle(), 0, 0);
    const int handle = Font_GetDefaultHandle();
    WinAPITable.CreateFontW = realCreateFont;
    ASSERT_GE(handle, 0);
    EXPECT_EQ(FontManager.Defaults.BuiltIn, 1);
    EXPECT_EQ(Font_GetRecord(handle)->IsFontFile, 1);
    // Characters 0-127 advance by 8; from 128 on there is no glyph.
    EXPECT_EQ(GetTextWidthToHandleW(L"Hello, 8x16!", 0, -1, DefaultFontHandle, 0), 12 * 8);
    EXPECT_EQ(GetTextWidthToHandleW(L"\x00E9", 0, -1, DefaultFontHandle, 0), 0);
    // A later refresh keeps it while its glyph graphs live.
    EXPECT_EQ(Font_GetDefaultHandle(), handle);
    // "H" drawn in yellow lands exactly where its glyph graph has ink (anything but the key colour).
    ClearScreen();
    const uint32_t background = ScreenPixels()[0];
    EXPECT_EQ(DrawTextToHandleW(16, 32, L"H", 1, MakeColorCode(255, 255, 0), DefaultFontHandle, 0, 0), 0);
    // Graphs are composed by the memory-image draw, which fills the screen's spare byte: colours only.
    std::vector<uint32_t> after = ScreenPixels();
    for (uint32_t& pixel : after) pixel &= 0xFFFFFF;
    GraphHandleRecord* glyph = Graphics_Image_GetGraphRecord(FontManager.BuiltInGlyphs['H'], 0);
    ASSERT_NE(glyph, nullptr);
    const uint32_t key = uint32_t(Graphics_SoftScreen_GetPixel(&glyph->memImage, 0, 0));
    std::vector<uint32_t> expected(after.size(), background);
    const int width = GraphicsSystemState.SoftScreenMain.width;
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            if (uint32_t(Graphics_SoftScreen_GetPixel(&glyph->memImage, x, y)) != key) {
                expected[size_t(32 + y) * width + 16 + x] = 0xFFFF00;
                ++ink;
            }
    EXPECT_GE(ink, 16);
    EXPECT_EQ(CountDifferences(after, expected, width), 0);
}

TEST_F(FontDrawTest, TextureCacheGraphTakesTheCacheImage)
{
    // The cache graph seam works on graph handles alone: made without a device it holds a memory
    // image, and uploads copy the cache image's rectangles into it.
    const int handle = CreateFontToHandle("ＭＳ　ゴシック", 16, 3, VT_FONTTYPE_EDGE, CharSet_ShiftJis, 1, 0, -1);
    ASSERT_GE(handle, 0);
    FontHandleRecord* font = Font_GetRecord(handle);
    ASSERT_EQ(BaseImage_CreateARGB8(64 * 2, 64, &font->CacheImage), 0);
    font->CacheImageWidth = 64;
    font->CacheImageHeight = 64;
    font->TextureColorBits = 16;
    BaseImage_Fill(&font->CacheImage, 0, 0, 0, 0);
    ASSERT_EQ(Font_GlyphCache_CreateCacheGraph(font, 0), 0);
    int w = 0, h = 0;
    ASSERT_EQ(QueryGraphSize(font->CacheGraph, &w, &h), 0);
    EXPECT_EQ(w, 128);
    EXPECT_EQ(h, 64);
    ASSERT_EQ(QueryGraphSize(font->EdgeGraph, &w, &h), 0);
    EXPECT_EQ(w, 64);
    font->ResourcesLost = 1;
    EXPECT_EQ(SetGraphLostNotifyFlag(font->CacheGraph, &font->ResourcesLost), 0);
    EXPECT_EQ(font->ResourcesLost, 0);
    // A white block in the right half reaches the edge graph's view after the upload.
    for (int y = 10; y < 20; ++y)
        for (int x = 64 + 5; x < 64 + 9; ++x)
            static_cast<uint32_t*>(font->CacheImage.pixels)[size_t(y) * font->CacheImage.pitch / 4 + x] = 0xFFFFFFFF;
    EXPECT_EQ(Font_GlyphCache_UploadRect(font, 64, 0, 128, 64), 0);
    GraphHandleRecord* edge = Graphics_Image_GetGraphRecord(font->EdgeGraph, 0);
    ASSERT_NE(edge, nullptr);
    EXPECT_NE(Graphics_SoftScreen_GetPixel(&edge->memImage, 6, 12), Graphics_SoftScreen_GetPixel(&edge->memImage, 20, 12));
    EXPECT_EQ(Graphics_SoftScreen_GetPixel(&edge->memImage, 6, 12), Graphics_SoftScreen_GetPixel(&edge->memImage, 8, 19));
    const int cache = font->CacheGraph, edgeGraph = font->EdgeGraph;
    Font_GlyphCache_DeleteCacheGraph(font);
    EXPECT_EQ(Graphics_Image_CheckGraphHandle(cache), 0);
    EXPECT_EQ(Graphics_Image_CheckGraphHandle(edgeGraph), 0);
    EXPECT_EQ(font->CacheGraph, -1);
}

TEST_F(FontDrawTest, KeyInputFieldsDrawTheirTextThroughTheFonts)
{
    const int field = CreateKeyInput(20, 1, 0, 0, 0, 0);
    ASSERT_GE(field, 0);
    ASSERT_EQ(ActivateKeyInput(field), 0);
    for (const wchar_t character : {L'Q', L'\x3042', L'7'}) KeyInput_StockChar(character);
    KeyInput_ProcessFrame();
    ClearScreen();
    const std::vector<uint32_t> before = ScreenPixels();
    EXPECT_EQ(DrawKeyInputText(40, 100, field, 0), 0);
    const std::vector<uint32_t> after = ScreenPixels();
    const int width = GraphicsSystemState.SoftScreenMain.width;
    const int textWidth = GetTextWidthToHandleW(L"Q\x3042" L"7", 0, -1, DefaultFontHandle, 0);
    const int size = GetFontCreateSizeToHandle(DefaultFontHandle);
    ASSERT_GT(textWidth, 0);
    const uint32_t ink = KeyInputState.Colors[0] & 0xFFFFFF;
    int inside = 0, outside = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        const int x = int(i % width), y = int(i / width);
        // The text's line, with the cursor bar after it.
        const bool inField = x >= 40 && x < 40 + textWidth + 2 && y >= 100 && y < 100 + size + size / 2;
        if (!inField)
            ++outside;
        else if (after[i] == ink)
            ++inside;
    }
    EXPECT_GT(inside, 30);
    EXPECT_EQ(outside, 0);
}

namespace {

// The face replacements of Wine's prefix, taken away while a child runs and put back afterwards: the
// test prefix maps the tool's face to an installed one, a user's fresh prefix does not.
class FaceReplacementsRemoved {
public:
    FaceReplacementsRemoved()
    {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Key, 0, KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        for (;;) {
            wchar_t name[256];
            DWORD nameUnits = 256, type = 0, bytes = 0;
            if (RegEnumValueW(key_, 0, name, &nameUnits, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) break;
            std::vector<uint8_t> data(bytes);
            nameUnits = 256;
            if (RegEnumValueW(key_, 0, name, &nameUnits, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) break;
            saved_.push_back({name, type, data});
            if (RegDeleteValueW(key_, name) != ERROR_SUCCESS) break;
        }
    }
    ~FaceReplacementsRemoved()
    {
        if (key_ == nullptr) return;
        for (const Value& value : saved_)
            RegSetValueExW(key_, value.Name.c_str(), 0, value.Type, value.Data.data(), DWORD(value.Data.size()));
        RegCloseKey(key_);
    }
    static constexpr const wchar_t* Key = L"Software\\Wine\\Fonts\\Replacements";

private:
    struct Value {
        std::wstring Name;
        DWORD Type;
        std::vector<uint8_t> Data;
    };
    HKEY key_ = nullptr;
    std::vector<Value> saved_;
};

constexpr const wchar_t* NoFaceMappingVariable = L"VT_FONT_TEST_NO_FACE_MAPPING";

// Runs one test of this program in a child process; its exit code, -1 when it could not be run.
int RunChild(const wchar_t* testName)
{
    wchar_t path[MAX_PATH] = {0};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + path + L"\" --gtest_brief=1 --gtest_filter=" + testName;
    SetEnvironmentVariableW(NoFaceMappingVariable, L"1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(path, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(NoFaceMappingVariable, nullptr);
    if (!started) return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    else TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

}  // namespace

// The tool's pages ask for "ＭＳ　ゴシック" with the default char set. Where that face is not installed (a
// prefix without the test prefix's face mapping), the face check turns the char set to 0, and GDI asked
// with DEFAULT_CHARSET picks a face of the system locale without Japanese glyphs: the captions came out
// as empty boxes. The run page's caption and the exit page's check-box text, drawn in a child process
// that runs without the mapping, must be the very pictures of the same fonts asked for with the
// Shift-JIS char set.
TEST_F(FontDrawTest, CaptionsOfAFaceThatIsNotInstalledDrawTheirGlyphs)
{
    if (GetEnvironmentVariableW(NoFaceMappingVariable, nullptr, 0) == 0) {
        int code = -1;
        {
            FaceReplacementsRemoved removed;
            code = RunChild(L"FontDrawTest.CaptionsOfAFaceThatIsNotInstalledDrawTheirGlyphs");
        }
        EXPECT_EQ(code, 0) << "the child without the face mapping failed";
        return;
    }
    // In the child: no mapping of the face, and a face picked for DEFAULT_CHARSET that has no kana.
    HKEY key = nullptr;
    DWORD values = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, FaceReplacementsRemoved::Key, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    ASSERT_EQ(values, 0u) << "the face mapping is still there";
    const wchar_t toolFace[] = L"\xFF2D\xFF33\x3000\x30B4\x30B7\x30C3\x30AF";
    HFONT plain = CreateFontW(26, 0, 0, 0, 1000, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FIXED_PITCH, toolFace);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, plain);
    wchar_t picked[64] = {0};
    GetTextFaceW(dc, 64, picked);
    WORD index = 0;
    GetGlyphIndicesW(dc, L"\x3042", 1, &index, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(plain);
    if (index != 0xFFFF) printf("[ note     ] this prefix's default face %ls has kana: the boxes cannot appear here\n", picked);

    const wchar_t* caption = L"変換を実行する";
    const wchar_t* checkBox = L"終了時に確認画面を表示しない";
    struct Case {
        const wchar_t* Text;
        int Size, Thickness, Type;
    };
    for (const Case& test : {Case{caption, 26, 10, VT_FONTTYPE_ANTIALIASING_8X8}, Case{checkBox, 12, 10, VT_FONTTYPE_NORMAL}}) {
        SCOPED_TRACE(test.Size);
        const int page = CreateFontToHandle("ＭＳ　ゴシック", test.Size, test.Thickness, test.Type, -1, -1, 0, -1);
        const int shiftJis = CreateFontToHandle("ＭＳ　ゴシック", test.Size, test.Thickness, test.Type, CharSet_ShiftJis, -1, 0, -1);
        ASSERT_GE(page, 0);
        ASSERT_GE(shiftJis, 0);
        std::vector<uint32_t> pictures[2];
        for (int i = 0; i < 2; ++i) {
            ClearScreen();
            EXPECT_EQ(DrawTextToHandleW(10, 20, test.Text, int(wcslen(test.Text)), MakeColorCode(255, 255, 255),
                                        i == 0 ? page : shiftJis, 0, 0),
                      0);
            pictures[i] = ScreenPixels();
        }
        const uint32_t background = pictures[1][0];
        int ink = 0;
        for (const uint32_t pixel : pictures[1]) ink += pixel != background;
        EXPECT_GT(ink, 40);
        EXPECT_EQ(CountDifferences(pictures[0], pictures[1], GraphicsSystemState.SoftScreenMain.width), 0);
        DeleteFontToHandle(page);
        DeleteFontToHandle(shiftJis);
    }
}
