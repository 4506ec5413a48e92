// Font handles, the GDI back end and the glyph cache, run without a graphics device (memory cache):
// glyphs of the tool's face in every font type, cache cells and their reuse, handle limits, and
// fonts that keep their handles across device loss and mode changes.
#include <gtest/gtest.h>

#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "font/VtFont.h"
#include "font/VtFontCache.h"
#include "font/VtFontDraw.h"
#include "font/VtFontWin.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"

using namespace Vantrel;

namespace {

// The face the tool asks for, with an ideographic space, in its Shift-JIS bytes.
const char ToolFace[] = "ＭＳ　ゴシック";
const wchar_t ToolFaceWide[] = L"\xFF2D\xFF33\x3000\x30B4\x30B7\x30C3\x30AF";

const FontType AllTypes[] = {0x00, 0x01, 0x02, 0x03, 0x12, 0x13, 0x22, 0x23, 0x32, 0x33};

class FontTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Font_Manager_Initialize(), 0); }
    void TearDown() override { Font_Manager_Terminate(); }
};

// Pixels of a cached glyph as levels, row by row (memory cache).
std::vector<int> CellPixels(FontHandleRecord* font, const GlyphCacheEntry* entry)
{
    std::vector<int> pixels;
    for (int y = 0; y < entry->Height; y++) {
        const uint8_t* row = Font_GlyphCache_CellRow(font, entry, y);
        for (int x = 0; x < entry->Width; x++)
            pixels.push_back(font->MemCacheBits == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x]);
    }
    return pixels;
}

int InkCount(const std::vector<int>& pixels)
{
    int ink = 0;
    for (int p : pixels) ink += p != 0;
    return ink;
}

// GDI's own advance of one character in the font's GDI font (which is f times larger).
int GdiAdvance(FontHandleRecord* font, wchar_t character)
{
    HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
    HGDIOBJ old = WinAPITable.SelectObject(dc, font->Win.Font);
    SIZE size = {0, 0};
    WinAPITable.GetTextExtentPoint32W(dc, &character, 1, &size);
    WinAPITable.SelectObject(dc, old);
    WinAPITable.DeleteDC(dc);
    return size.cx;
}

}  // namespace

TEST_F(FontTest, ToolFaceGlyphsAreCachedInEveryTypeAndSize)
{
    const wchar_t glyphs[] = {L'\x3042', L'\x6F22', L'A', L'q'};  // あ 漢 A q
    // A character no Japanese face holds: the face's missing-glyph box.
    const wchar_t missing = L'\x0E01';
    for (const int size : {12, 16, 24})
        for (const FontType type : AllTypes) {
            SCOPED_TRACE("size " + std::to_string(size) + " type " + std::to_string(type));
            const int handle = CreateFontToHandle(ToolFace, size, 3, type, CharSet_ShiftJis, 1, 0, -1);
            ASSERT_GE(handle, 0);
            FontHandleRecord* font = Font_GetRecord(handle);
            ASSERT_NE(font, nullptr);
            EXPECT_EQ(font->Type, type);
            EXPECT_STREQ(font->FaceName, ToolFaceWide);
            EXPECT_EQ(font->TextureCache, 0);
            const int f = Font_TypeFactor(type);
            const int e = Font_TypeHasEdge(type) ? 1 : 0;
            const GlyphCacheEntry* box = Font_GlyphCache_Lookup(font, missing, 0, nullptr, nullptr, nullptr, 0);
            const std::vector<int> boxPixels = box != nullptr ? CellPixels(font, box) : std::vector<int>();
            for (const wchar_t character : glyphs) {
                SCOPED_TRACE((int)character);
                const GlyphCacheEntry* entry = Font_GlyphCache_Lookup(font, character, 0, nullptr, nullptr, nullptr, 0);
                ASSERT_NE(entry, nullptr);
                EXPECT_EQ(entry->Code, (uint32_t)character);
                EXPECT_GT(entry->Width, 0);
                EXPECT_GT(entry->Height, 0);
                EXPECT_LE(entry->Width, font->CellSize);
                const std::vector<int> pixels = CellPixels(font, entry);
                EXPECT_GT(InkCount(pixels), 4);
                EXPECT_NE(pixels, boxPixels);
                const int gdi = GdiAdvance(font, character);
                EXPECT_EQ(entry->Advance, (gdi + f / 4) / f + 2 * e);
            }
            // Full-width glyphs are wider than the Latin ones, and the Latin "q" hangs below "A".
            const GlyphCacheEntry* a = Font_GlyphCache_Lookup(font, L'A', 0, nullptr, nullptr, nullptr, 0);
            const GlyphCacheEntry* q = Font_GlyphCache_Lookup(font, L'q', 0, nullptr, nullptr, nullptr, 0);
            const GlyphCacheEntry* kana = Font_GlyphCache_Lookup(font, L'\x3042', 0, nullptr, nullptr, nullptr, 0);
            EXPECT_GT(kana->Advance, a->Advance);
            EXPECT_GT(q->OffsetY + q->Height, a->OffsetY + a->Height);
            EXPECT_EQ(DeleteFontToHandle(handle), 0);
        }
}

TEST_F(FontTest, MetricsAreGdisDividedBySupersampling)
{
    for (const FontType type : {0x00, 0x22}) {
        const int handle = CreateFontToHandle(ToolFace, 16, 3, type, CharSet_ShiftJis, -1, 0, -1);
        ASSERT_GE(handle, 0);
        FontHandleRecord* font = Font_GetRecord(handle);
        HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
        HGDIOBJ old = WinAPITable.SelectObject(dc, font->Win.Font);
        TEXTMETRICW metrics;
        WinAPITable.GetTextMetricsW(dc, &metrics);
        WinAPITable.SelectObject(dc, old);
        WinAPITable.DeleteDC(dc);
        const int f = Font_TypeFactor(type);
        // The size asked is the em height (to a pixel of the font): the cell is taller by its leading.
        EXPECT_NEAR(metrics.tmHeight - metrics.tmInternalLeading, 16 * f, f);
        EXPECT_EQ(font->Height, ((metrics.tmHeight / f + 1) + 1) & ~1);
        EXPECT_NEAR(font->Ascent, metrics.tmAscent / f, 1);
        EXPECT_EQ(font->CellSize % 8, 0);
        EXPECT_GE(font->CellSize, font->Height);
        DeleteFontToHandle(handle);
    }
}

namespace {

BOOL WINAPI NoTextMetrics(HDC, LPTEXTMETRICW) { return FALSE; }

}  // namespace

// Metrics GDI cannot give fail the font's creation, and a glyph run that cannot read them adds no
// glyph: nothing is measured or drawn from metrics that were never read.
TEST_F(FontTest, MetricsGdiCannotGiveFailTheFontAndTheGlyphRun)
{
    const auto real = WinAPITable.GetTextMetricsW;
    WinAPITable.GetTextMetricsW = NoTextMetrics;
    const int refused = CreateFontToHandle(ToolFace, 16, 3, VT_FONTTYPE_NORMAL, CharSet_ShiftJis, -1, 0, -1);
    WinAPITable.GetTextMetricsW = real;
    EXPECT_EQ(refused, -1);

    const int handle = CreateFontToHandle(ToolFace, 16, 3, VT_FONTTYPE_NORMAL, CharSet_ShiftJis, -1, 0, -1);
    ASSERT_GE(handle, 0);
    WinAPITable.GetTextMetricsW = NoTextMetrics;
    const int width = GetTextWidthToHandleW(L"Q", 0, -1, handle, 0);
    const int cached = Font_GetRecord(handle)->NextCell;
    WinAPITable.GetTextMetricsW = real;
    EXPECT_EQ(width, 0);
    EXPECT_EQ(cached, 0);
    EXPECT_GT(GetTextWidthToHandleW(L"Q", 0, -1, handle, 0), 0);
    DeleteFontToHandle(handle);
}

TEST_F(FontTest, SameCharacterTwiceTakesOneCell)
{
    const int handle = CreateFontToHandle(ToolFace, 16, 3, VT_FONTTYPE_ANTIALIASING, CharSet_ShiftJis, -1, 0, -1);
    FontHandleRecord* font = Font_GetRecord(handle);
    ASSERT_NE(font, nullptr);
    int count = 0;
    ASSERT_EQ(Font_GlyphCache_PrepareText(font, L"\x3042\x3042" L"A\x3042", -1, nullptr, nullptr, &count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(font->NextCell, 2);
    const GlyphCacheEntry* first = Font_GlyphCache_Lookup(font, 0x3042, 0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(first, Font_GlyphCache_Lookup(font, 0x3042, 0, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(font->NextCell, 2);
    // Measuring takes the cached advances and the char spacing.
    SetFontCharSpacingToHandle(3, handle);
    const int expected = 2 * (first->Advance + 3);
    EXPECT_EQ(GetTextWidthToHandleW(L"\x3042\x3042", 0, -1, handle, 0), expected);
    EXPECT_EQ(font->NextCell, 2);
}

TEST_F(FontTest, FullCacheReusesTheOldestCellFirst)
{
    FontCreateParam param = {};
    param.CacheCellCount = 8;
    const int handle = CreateFontToHandleWithParam(&param, ToolFaceWide, 16, 3, 0, CharSet_ShiftJis, -1, 0, -1, 0);
    FontHandleRecord* font = Font_GetRecord(handle);
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(font->CellCount, 8);
    // One preparation caches no more characters than there are cells.
    const wchar_t* text = L"ABCDEFGHIJ";
    int count = 0;
    ASSERT_EQ(Font_GlyphCache_PrepareText(font, text, -1, nullptr, nullptr, &count), 0);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(font->NextCell, 0);
    EXPECT_EQ(font->Direct[L'A'].Entry->Index, 0);
    EXPECT_EQ(font->Direct[L'H'].Entry->Index, 7);
    EXPECT_FALSE(font->Direct[L'I'].Used);
    // The ninth glyph evicts cell 0's, and the evicted glyph comes back in the next cell.
    const GlyphCacheEntry* i = Font_GlyphCache_Lookup(font, L'I', 0, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->Index, 0);
    EXPECT_FALSE(font->Direct[L'A'].Used);
    EXPECT_EQ(font->Direct[L'A'].Entry, nullptr);
    const GlyphCacheEntry* a = Font_GlyphCache_Lookup(font, L'A', 0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(a->Index, 1);
    EXPECT_FALSE(font->Direct[L'B'].Used);
    EXPECT_EQ(Font_GlyphCache_Lookup(font, L'I', 0, nullptr, nullptr, nullptr, 0), i);
}

TEST_F(FontTest, CharactersBeyondTheDirectTableGoOnTheExtendedList)
{
    const int handle = CreateFontToHandle(ToolFace, 16, 3, 0, CharSet_ShiftJis, -1, 0, -1);
    FontHandleRecord* font = Font_GetRecord(handle);
    ASSERT_NE(font, nullptr);
    // 葛 alone and 葛 with a variation selector are two entries; 𠮷 (U+20BB7) lies beyond U+FFFF.
    const wchar_t text[] = L"\x845B\x845B\xDB40\xDD00\xD842\xDFB7";
    uint32_t codes[8], selectors[8];
    int count = 0;
    ASSERT_EQ(Font_GlyphCache_PrepareText(font, text, -1, codes, selectors, &count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(selectors[1], 0xE0100u);
    EXPECT_EQ(codes[2], 0x20BB7u);
    EXPECT_TRUE(font->Direct[0x845B].Used);
    for (int i = 0; i < font->ExtendedCount; i++) EXPECT_EQ(font->Extended[i]->Slot, nullptr);
    FontHandleRecord* used = nullptr;
    const GlyphCacheEntry* plain = Font_GlyphCache_Lookup(font, 0x845B, 0, &used, nullptr, nullptr, 0);
    EXPECT_EQ(used, font);
    ASSERT_NE(plain, nullptr);
    const GlyphCacheEntry* varied = Font_GlyphCache_Lookup(font, 0x845B, 0xE0100, nullptr, nullptr, nullptr, 0);
    if (varied != nullptr) {
        EXPECT_NE(varied, plain);
    }
}

TEST(FontTextTest, LoneHighSurrogateAtTheEndStandsAlone)
{
    // The unit after the text would pair with it: it must never be read.
    const wchar_t units[] = {L'A', 0xD83D, 0xDE00, 0};
    uint32_t code = 0;
    EXPECT_EQ(String_DecodeUtf16Char(units + 1, 1, CodePage_Utf16LE, &code), 1);
    EXPECT_EQ(code, 0xD83Du);
    EXPECT_EQ(String_DecodeUtf16Char(units + 1, 2, CodePage_Utf16LE, &code), 2);
    EXPECT_EQ(code, 0x1F600u);
    EXPECT_EQ(String_DecodeUtf16Char(units + 3, 5, CodePage_Utf16LE, &code), 0);
    const wchar_t swapped[] = {0x3DD8, 0x00DE};
    EXPECT_EQ(String_DecodeUtf16Char(swapped, 2, CodePage_Utf16BE, &code), 2);
    EXPECT_EQ(code, 0x1F600u);
}

TEST_F(FontTest, PreparationStopsAtTheTextsLength)
{
    const int handle = CreateFontToHandle(ToolFace, 16, 3, 0, CharSet_ShiftJis, -1, 0, -1);
    FontHandleRecord* font = Font_GetRecord(handle);
    const wchar_t units[] = {L'A', 0xD83D, 0xDE00, 0};
    uint32_t codes[4] = {}, selectors[4] = {};
    int count = 0;
    ASSERT_EQ(Font_GlyphCache_PrepareText(font, units, 2, codes, selectors, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(codes[1], 0xD83Du);
}

TEST_F(FontTest, HandlesKeepTheirSettingsAcrossDeviceLoss)
{
    const int a = CreateFontToHandle(ToolFace, 24, 5, VT_FONTTYPE_ANTIALIASING_EDGE_8X8, CharSet_ShiftJis, 2, 1, -1);
    const int b = CreateFontToHandle(nullptr, 12, 3, VT_FONTTYPE_EDGE, CharSet_ShiftJis, 6, 0, -1);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    int deleted = -1;
    SetFontDeleteFlagToHandle(a, &deleted);
    EXPECT_EQ(deleted, 0);
    SetFontCharSpacingToHandle(4, a);
    Font_SetLineSpacing(30, a);
    Font_SetCharCodeFormat(CodePage_Utf8, b);
    FontHandleRecord* font = Font_GetRecord(a);
    ASSERT_NE(Font_GlyphCache_Lookup(font, 0x6F22, 0, nullptr, nullptr, nullptr, 0), nullptr);
    ASSERT_EQ(font->NextCell, 1);
    const int defaultHandle = Font_GetDefaultHandle();
    ASSERT_GE(defaultHandle, 0);

    EXPECT_EQ(Font_RecreateAllHandles(), 0);

    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(Font_GetDefaultHandle(), defaultHandle);
    ASSERT_EQ(Font_GetRecord(a), font);
    EXPECT_EQ(font->NextCell, 0);
    EXPECT_FALSE(font->Direct[0x6F22].Used);
    wchar_t name[256];
    int size, thickness, type, charSet, edge, italic;
    ASSERT_EQ(GetFontParamsToHandleW(name, &size, &thickness, a, &type, &charSet, &edge, &italic), 0);
    EXPECT_STREQ(name, ToolFaceWide);
    EXPECT_EQ(size, 24);
    EXPECT_EQ(thickness, 5);
    EXPECT_EQ(type, VT_FONTTYPE_ANTIALIASING_EDGE_8X8);
    EXPECT_EQ(charSet, CharSet_ShiftJis);
    EXPECT_EQ(edge, 2);
    EXPECT_EQ(italic, 1);
    EXPECT_EQ(GetFontCharSpacingToHandle(a), 4);
    EXPECT_EQ(font->LineSpacing, 30);
    EXPECT_EQ(Font_GetCharCodeFormat(b), CodePage_Utf8);
    ASSERT_EQ(GetFontParamsToHandleW(nullptr, &size, nullptr, b, nullptr, nullptr, &edge, nullptr), 0);
    EXPECT_EQ(size, 12);
    EXPECT_EQ(edge, 6);
    EXPECT_NE(Font_GlyphCache_Lookup(font, 0x6F22, 0, nullptr, nullptr, nullptr, 0), nullptr);

    EXPECT_EQ(DeleteFontToHandle(a), 0);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(IsFontHandleValid(a), 0);
    EXPECT_EQ(GetFontCreateSizeToHandle(a), -1);
}

TEST_F(FontTest, ModeChangeCarriesTheDefaultFontOver)
{
    // What a screen-mode change does: read the default font, reset, stop, hand the settings back, start.
    SetDefaultFontParamsW(nullptr, 20, 4, VT_FONTTYPE_ANTIALIASING, CharSet_ShiftJis, 2, 0);
    SetFontCharSpacing(2);
    const int before = Font_GetDefaultHandle();
    ASSERT_GE(before, 0);
    EXPECT_EQ(GetFontCreateSizeToHandle(DefaultFontHandle), 20);
    int type = -1, edge = -1;
    GetFontParamsToHandleW(nullptr, nullptr, nullptr, DefaultFontHandle, &type, nullptr, &edge, nullptr);
    EXPECT_EQ(type, VT_FONTTYPE_ANTIALIASING_EDGE);  // an edge above 1 makes it an edge font
    EXPECT_EQ(edge, 2);
    wchar_t name[256];
    int size, thickness, charSet, italic;
    ASSERT_EQ(GetFontParamsToHandleW(name, &size, &thickness, DefaultFontHandle, &type, &charSet, &edge, &italic), 0);
    const int spacing = GetFontCharSpacingToHandle(DefaultFontHandle);
    EXPECT_EQ(spacing, 2);
    ResetFontHandles();
    ASSERT_EQ(Font_Manager_Terminate(), 0);
    EXPECT_EQ(Font_GetDefaultHandle(), -1);
    SetDefaultFontParamsW(name, size, thickness, type, charSet, edge, italic);
    SetFontCharSpacing(spacing);
    ASSERT_EQ(Font_Manager_Initialize(), 0);
    EXPECT_EQ(GetFontCreateSizeToHandle(DefaultFontHandle), 20);
    EXPECT_EQ(GetFontCharSpacingToHandle(DefaultFontHandle), 2);
    GetFontParamsToHandleW(nullptr, nullptr, &thickness, DefaultFontHandle, &type, nullptr, &edge, nullptr);
    EXPECT_EQ(thickness, 4);
    EXPECT_EQ(type, VT_FONTTYPE_ANTIALIASING_EDGE);
    EXPECT_EQ(edge, 2);
    // Back to the plain defaults for the tests after this one.
    SetDefaultFontParamsW(nullptr, 16, 6, 0, CharSet_ShiftJis, 1, 0);
    SetFontCharSpacing(0);
}

TEST_F(FontTest, TwoHundredFiftySixHandlesThenOneMoreRefused)
{
    FontCreateParam param = {};
    param.CacheCellCount = 4;
    std::vector<int> handles;
    int live = IsFontHandleValid(DefaultFontHandle);
    while (live < Font_MaxHandleCount) {
        const int handle = CreateFontToHandleWithParam(&param, ToolFaceWide, 8, 3, 0, CharSet_ShiftJis, -1, 0, -1, 0);
        ASSERT_GE(handle, 0) << live;
        handles.push_back(handle);
        live++;
    }
    EXPECT_EQ(CreateFontToHandleWithParam(&param, ToolFaceWide, 8, 3, 0, CharSet_ShiftJis, -1, 0, -1, 0), -1);
    EXPECT_EQ(DeleteFontToHandle(handles.back()), 0);
    EXPECT_GE(CreateFontToHandleWithParam(&param, ToolFaceWide, 8, 3, 0, CharSet_ShiftJis, -1, 0, -1, 0), 0);
}

TEST_F(FontTest, BadInputIsRefused)
{
    EXPECT_EQ(IsFontHandleValid(-1), 0);
    EXPECT_EQ(IsFontHandleValid(0x12345678), 0);
    EXPECT_EQ(SetFontCharSpacingToHandle(1, -1), -1);
    EXPECT_EQ(GetFontParamsToHandleW(nullptr, nullptr, nullptr, 0x20000001, nullptr, nullptr, nullptr, nullptr), -1);
    // Negative settings take their defaults; an unknown char set becomes the default one.
    const FontCreateParam param = {};
    const int handle = CreateFontToHandleWithParam(&param, nullptr, -1, -1, -1, 9, -1, 0, -1, 0);
    ASSERT_GE(handle, 0);
    int size, thickness, type;
    GetFontParamsToHandleW(nullptr, &size, &thickness, handle, &type, nullptr, nullptr, nullptr);
    EXPECT_EQ(size, 16);
    EXPECT_EQ(thickness, 6);
    EXPECT_EQ(type, VT_FONTTYPE_NORMAL);
    EXPECT_EQ(Font_GetCharCodeFormat(handle), CharCode_GetNarrowPage());
}

TEST_F(FontTest, FaceNamesAreCountedAsListed)
{
    const int counted = Font_EnumFaceNamesW(nullptr, 0, nullptr, -1);
    ASSERT_GT(counted, 0);
    std::vector<wchar_t> names((size_t)counted * 64);
    EXPECT_EQ(Font_EnumFaceNamesW(names.data(), counted, nullptr, -1), counted);
    EXPECT_EQ(Font_EnumFaceNamesW(names.data(), 1, nullptr, -1), 1);
    EXPECT_EQ(Font_EnumFaceNamesW(nullptr, 0, L"NoSuchFaceAnywhere", CharSet_ShiftJis), 0);
}

// The list form asks GDI for every char set and filters itself: without filters it lists what the
// check form lists for no char set; TrueType-only and script filters give subsets of that, still
// without vertical faces, and the installed Japanese face passes both (it is TrueType and has a
// Shift-JIS script).
TEST_F(FontTest, FaceListFiltersByTrueTypeAndScript)
{
    auto listed = [](int trueTypeOnly, int script, const wchar_t* face) {
        FontWin_FaceList list = {};
        list.Growable = 1;
        list.FaceName = face;
        list.TrueTypeOnly = trueTypeOnly;
        list.Script = script;
        std::vector<std::wstring> names;
        EXPECT_GE(FontWin_EnumFaceNames(&list, 0, CharSet_ShiftJis), 0);
        for (int i = 0; i < list.Count; i++) names.push_back(list.Slots + i * 64);
        if (list.Slots != nullptr) Memory_Free(list.Slots);
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::wstring> all = listed(0, -1, nullptr);
    std::vector<wchar_t> checked((size_t)all.size() * 64 + 64);
    ASSERT_EQ(Font_EnumFaceNamesW(checked.data(), 0, nullptr, -1), (int)all.size());
    for (size_t i = 0; i < all.size(); i++)
        EXPECT_NE(std::find(all.begin(), all.end(), std::wstring(checked.data() + i * 64)), all.end());
    struct Case {
        int TrueTypeOnly, Script;
    };
    for (const Case& c : {Case{1, -1}, Case{0, SHIFTJIS_CHARSET}, Case{1, SHIFTJIS_CHARSET}}) {
        SCOPED_TRACE(std::to_string(c.TrueTypeOnly) + " " + std::to_string(c.Script));
        const std::vector<std::wstring> some = listed(c.TrueTypeOnly, c.Script, nullptr);
        EXPECT_TRUE(std::includes(all.begin(), all.end(), some.begin(), some.end()));
        // Faces without Japanese letters have no Shift-JIS script.
        if (c.Script >= 0) {
            EXPECT_LT(some.size(), all.size());
        }
        EXPECT_NE(std::find(some.begin(), some.end(), L"IPAGothic"), some.end());
        for (const std::wstring& name : some) EXPECT_NE(name[0], L'@');
    }
    // A face name narrows the list to that face (and the names the system substitutes by it).
    const std::vector<std::wstring> named = listed(0, -1, L"IPAGothic");
    EXPECT_LT(named.size(), all.size());
    EXPECT_NE(std::find(named.begin(), named.end(), L"IPAGothic"), named.end());
    EXPECT_TRUE(std::includes(all.begin(), all.end(), named.begin(), named.end()));
}

TEST_F(FontTest, AsynchronousCreationFinishesOnFirstUse)
{
    ASSERT_EQ(ASyncLoad_Prepare(Thread_GetCurrentId()), 0);
    ASSERT_EQ(ASyncLoad_StartThreads(2), 0);
    const FontCreateParam param = {};
    const int good = CreateFontToHandleWithParam(&param, ToolFaceWide, 16, 3, 0x12, CharSet_ShiftJis, -1, 0, -1, 1);
    ASSERT_GE(good, 0);
    // The first use waits for the job (or runs it at once) and finds a ready font.
    EXPECT_EQ(GetFontCreateSizeToHandle(good), 16);
    FontHandleRecord* font = Font_GetRecord(good);
    ASSERT_NE(font, nullptr);
    EXPECT_NE(Font_GlyphCache_Lookup(font, L'A', 0, nullptr, nullptr, nullptr, 0), nullptr);
    for (int i = 0; i < 200 && ASyncLoad_GetPendingCount() != 0; i++) {
        ASyncLoad_ServeMainThreadRequests();
        Sleep(5);
    }
    EXPECT_EQ(ASyncLoad_StopThreads(), 0);
    EXPECT_EQ(ASyncLoad_Finish(), 0);
}

TEST_F(FontTest, EdgeFontsSurroundTheBodyInTheMemoryCache)
{
    for (const FontType type : {VT_FONTTYPE_EDGE, VT_FONTTYPE_ANTIALIASING_EDGE_4X4}) {
        const int handle = CreateFontToHandle(ToolFace, 16, 3, type, CharSet_ShiftJis, 1, 0, -1);
        FontHandleRecord* font = Font_GetRecord(handle);
        ASSERT_NE(font, nullptr);
        const GlyphCacheEntry* entry = Font_GlyphCache_Lookup(font, 0x6F22, 0, nullptr, nullptr, nullptr, 0);
        ASSERT_NE(entry, nullptr);
        const std::vector<int> pixels = CellPixels(font, entry);
        const int w = entry->Width, h = entry->Height;
        int body = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const int p = pixels[y * w + x];
                // Body: code 1, or a non-zero low nibble; its four neighbours carry edge or body.
                const int isBody = type == VT_FONTTYPE_EDGE ? p == 1 : (p & 15) != 0;
                if (type == VT_FONTTYPE_EDGE) {
                    EXPECT_LE(p, 2);
                }
                if (!isBody) continue;
                body++;
                if (type != VT_FONTTYPE_EDGE) {
                    EXPECT_GE(p >> 4, p & 15);
                }
                const int around[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
                for (const auto& d : around) {
                    const int nx = x + d[0], ny = y + d[1];
                    ASSERT_TRUE(nx >= 0 && ny >= 0 && nx < w && ny < h) << x << "," << y;
                    EXPECT_NE(pixels[ny * w + nx], 0) << x << "," << y;
                }
            }
        EXPECT_GT(body, 10);
        DeleteFontToHandle(handle);
    }
}

TEST_F(FontTest, EightBitScreensLoseAntialiasing)
{
    const int saved = GraphicsScreenState.ColourBits;
    GraphicsScreenState.ColourBits = 8;
    const int plain = CreateFontToHandle(ToolFace, 16, 3, VT_FONTTYPE_ANTIALIASING_8X8, CharSet_ShiftJis, -1, 0, -1);
    const int edged = CreateFontToHandle(ToolFace, 16, 3, VT_FONTTYPE_ANTIALIASING_EDGE_16X16, CharSet_ShiftJis, -1, 0, -1);
    GraphicsScreenState.ColourBits = saved;
    int type = -1;
    GetFontParamsToHandleW(nullptr, nullptr, nullptr, plain, &type, nullptr, nullptr, nullptr);
    EXPECT_EQ(type, VT_FONTTYPE_NORMAL);
    GetFontParamsToHandleW(nullptr, nullptr, nullptr, edged, &type, nullptr, nullptr, nullptr);
    EXPECT_EQ(type, VT_FONTTYPE_EDGE);
}
