// Text through a font's texture cache on Direct3D 11, held to the memory road: the same face, size and
// type made a second time with its cache in a memory image is drawn by the text engine into a memory
// image of the screen's size, which is the reference picture. Plain, formatted, scaled (the reference
// stretched by the whole scale about the pen) and vertical text (glyphs turned a quarter clockwise),
// at integer and at float pen positions, must match it within the stated bound of differing pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "font/VtFont.h"
#include "font/VtFontDraw.h"
#include "font/VtFontText.h"
#include "foundation/VtCharCode.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsSoftScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;

namespace {

constexpr int Side = 192;
constexpr uint32_t Backdrop = 0x102030, Ink = 0xFFC800, Rim = 0x0040FF;
// Pixels further apart than this in some channel differ; at most this many may differ per picture.
constexpr int Tolerance = 2, AllowedPixels = 0;

int Gap(uint32_t a, uint32_t b)
{
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int gap = std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
        most = gap > most ? gap : most;
    }
    return most;
}

struct Picture {
    std::vector<uint32_t> Pixels = std::vector<uint32_t>(size_t(Side) * Side, Backdrop);
    uint32_t At(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < Side && y < Side ? Pixels[size_t(y) * Side + x] : Backdrop;
    }
    int InkCount() const
    {
        int count = 0;
        for (uint32_t p : Pixels) count += p != Backdrop;
        return count;
    }
};

// Pixels of `drawn` that differ from `expected`, with the first few places in `where`.
int Differences(const Picture& drawn, const Picture& expected, std::string& where)
{
    int count = 0;
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            if (Gap(drawn.At(x, y), expected.At(x, y)) > Tolerance && count++ < 4)
                where += " (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    return count;
}

}  // namespace

class FontTextureRoadTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Graphics_D3D11_SetDeviceEnabled(1);
        SetScreenResolution(Side, Side, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(1), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    }

    void TearDown() override
    {
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        memset(D3D11CallState.ObjectCount, 0, sizeof(D3D11CallState.ObjectCount));
    }

    // The face the tool asks for, in a texture cache (memory 0) or a memory cache (memory 1).
    static int MakeFont(FontType type, int memory)
    {
        FontCreateParam param = {};
        param.CacheInMemoryImage = memory;
        return CreateFontToHandleWithParam(&param, nullptr, 16, 3, type, CharSet_ShiftJis, 1, 0, -1, 0);
    }

    static void Clear()
    {
        SetBlendModeAndParam(0, 255);
        SetDrawColorBrightness(255, 255, 255);
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, Side, Side);
        GraphicsScreenState.BackgroundColor[0] = (Backdrop >> 16) & 0xFF;
        GraphicsScreenState.BackgroundColor[1] = (Backdrop >> 8) & 0xFF;
        GraphicsScreenState.BackgroundColor[2] = Backdrop & 0xFF;
        ClearDrawTarget(nullptr);
    }

    static Picture Screen()
    {
        Picture picture;
        picture.Pixels = D3D11Test::ReadDrawTarget(Side);
        for (uint32_t& p : picture.Pixels) p &= 0xFFFFFF;
        return picture;
    }

    // The memory road's picture of the text with the memory-cache font at (x, y).
    static Picture Reference(int memoryFont, const wchar_t* text, int x, int y, int vertical)
    {
        MEMIMG image = {};
        Picture picture;
        EXPECT_EQ(Graphics_MemImg_Setup(&image, Side, Side, 0, MemImgColorType_XRGB8, 0, 0), 0);
        const int32_t whole[4] = {0, 0, Side, Side};
        MemImg_FillRect(&image, whole, Backdrop);
        FontTextRequest request = Font_TextRequest_Measure(Font_GetRecord(memoryFont), text, -1, vertical);
        request.Draw = 1;
        request.X = x, request.Y = y;
        request.Color = Ink, request.EdgeColor = Rim;
        request.Destination = &image;
        request.Clip = whole;
        EXPECT_GT(Font_TextEngine(request), 0);
        for (int row = 0; row < Side; ++row)
            for (int column = 0; column < Side; ++column)
                picture.Pixels[size_t(row) * Side + column] =
                    static_cast<const uint32_t*>(image.pixels)[size_t(row) * image.body->pitch / 4 + column] & 0xFFFFFF;
        MemImg_Release(&image);
        return picture;
    }

    // A picture stretched by a whole scale about the pen (x, y).
    static Picture Stretched(const Picture& plain, int scale, int x, int y)
    {
        Picture picture;
        auto down = [scale](int d) { return d >= 0 ? d / scale : -((-d + scale - 1) / scale); };
        for (int row = 0; row < Side; ++row)
            for (int column = 0; column < Side; ++column)
                picture.Pixels[size_t(row) * Side + column] = plain.At(x + down(column - x), y + down(row - y));
        return picture;
    }
};

TEST_F(FontTextureRoadTest, PlainScaledAndVerticalTextMatchTheMemoryRoad)
{
    const wchar_t text[] = L"Ag\x3042\x6F22" L"7\nq\x30AF";
    struct Case {
        const char* Name;
        int Vertical, Scale;
        int X, Y;
    };
    const Case cases[] = {
        {"horizontal", 0, 1, 10, 20},
        {"horizontal, scale 2", 0, 2, 6, 30},
        {"vertical", 1, 1, 120, 8},
        {"vertical, scale 2", 1, 2, 110, 4},
    };
    for (const FontType type : {VT_FONTTYPE_NORMAL, VT_FONTTYPE_EDGE}) {
        const int texture = MakeFont(type, 0), memory = MakeFont(type, 1);
        ASSERT_GE(texture, 0);
        ASSERT_GE(memory, 0);
        ASSERT_EQ(Font_GetRecord(texture)->TextureCache, 1);
        ASSERT_EQ(Font_GetRecord(memory)->TextureCache, 0);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + ", type " + std::to_string(type));
            const Picture plain = Reference(memory, text, c.X, c.Y, c.Vertical);
            const Picture expected = c.Scale == 1 ? plain : Stretched(plain, c.Scale, c.X, c.Y);
            Clear();
            if (c.Scale == 1)
                EXPECT_EQ(DrawTextToHandleW(c.X, c.Y, text, int(wcslen(text)), Ink, texture, Rim, c.Vertical), 0);
            else
                EXPECT_EQ(DrawScaledTextToHandleW(c.X, c.Y, c.Scale, c.Scale, text, int(wcslen(text)), Ink, texture, Rim,
                                                  c.Vertical),
                          0);
            const Picture drawn = Screen();
            ASSERT_EQ(drawn.Pixels.size(), size_t(Side) * Side);
            EXPECT_GT(expected.InkCount(), 100 * c.Scale * c.Scale);
            std::string where;
            EXPECT_LE(Differences(drawn, expected, where), AllowedPixels) << where;
        }
        DeleteFontToHandle(texture);
        DeleteFontToHandle(memory);
    }
}

// Float pen positions: a whole position draws as the integer one; a position a quarter pixel short of
// the next whole one draws there, as pixel centres fall. Direct3D 11 puts pixel centres at +0.5, so
// glyph quads take no half-pixel shift there.
TEST_F(FontTextureRoadTest, FloatPositionsFollowThePixelCentres)
{
    EXPECT_EQ(Graphics_Caps_GetNoHalfPixelOffset(), 1);
    const wchar_t text[] = L"Wg\x3042";
    const int texture = MakeFont(VT_FONTTYPE_EDGE, 0), memory = MakeFont(VT_FONTTYPE_EDGE, 1);
    ASSERT_GE(texture, 0);
    ASSERT_GE(memory, 0);
    struct Case {
        float FX, FY;
        int X, Y, Vertical;
    };
    for (const Case& c : {Case{20.0f, 30.0f, 20, 30, 0}, Case{19.75f, 40.75f, 20, 41, 0}, Case{140.0f, 10.0f, 140, 10, 1},
                          Case{139.75f, 9.75f, 140, 10, 1}}) {
        SCOPED_TRACE(std::to_string(c.FX) + ", " + std::to_string(c.FY));
        const Picture expected = Reference(memory, text, c.X, c.Y, c.Vertical);
        Clear();
        FontTextRequest request = Font_TextRequest_Measure(Font_GetRecord(texture), text, -1, c.Vertical);
        request.Draw = 1;
        request.IntegerPositions = 0;
        request.FX = c.FX, request.FY = c.FY;
        request.Color = Ink, request.EdgeColor = Rim;
        EXPECT_GT(Font_TextEngine(request), 0);
        std::string where;
        EXPECT_LE(Differences(Screen(), expected, where), AllowedPixels) << where;
    }
    DeleteFontToHandle(texture);
    DeleteFontToHandle(memory);
}

// Formatted text goes through the texture road like any other text.
TEST_F(FontTextureRoadTest, FormattedTextMatchesTheMemoryRoad)
{
    const int texture = MakeFont(VT_FONTTYPE_NORMAL, 0), memory = MakeFont(VT_FONTTYPE_NORMAL, 1);
    ASSERT_GE(texture, 0);
    ASSERT_GE(memory, 0);
    Clear();
    EXPECT_EQ(DrawFormattedTextToHandle(12, 50, Ink, texture, "%s %d/%03d", "Page", 7, 42), 0);
    const Picture expected = Reference(memory, L"Page 7/042", 12, 50, 0);
    EXPECT_GT(expected.InkCount(), 100);
    std::string where;
    EXPECT_LE(Differences(Screen(), expected, where), AllowedPixels) << where;
    DeleteFontToHandle(texture);
    DeleteFontToHandle(memory);
}
