// Glyph cache figures: caching and measuring 2,000 distinct CJK characters of the tool's face, then
// measuring a 10,000-character text of cached glyphs with GetTextWidthToHandleW against GDI's
// GetTextExtentPoint32W on the same text with the same GDI font, in the same run.
#include <windows.h>

#include <stdio.h>

#include <vector>

#include "font/VtFont.h"
#include "font/VtFontCache.h"
#include "font/VtFontDraw.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;

namespace {

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

const wchar_t ToolFace[] = L"\xFF2D\xFF33\x3000\x30B4\x30B7\x30C3\x30AF";

}  // namespace

int main()
{
    if (Font_Manager_Initialize() < 0) {
        printf("font manager did not start\n");
        return 1;
    }
    std::vector<wchar_t> distinct;
    for (wchar_t c = 0x4E00; distinct.size() < 2000; c++) distinct.push_back(c);
    distinct.push_back(0);

    for (const FontType type : {VT_FONTTYPE_NORMAL, VT_FONTTYPE_ANTIALIASING, VT_FONTTYPE_ANTIALIASING_EDGE_8X8}) {
        FontCreateParam param = {};
        param.CacheCellCount = GlyphCache_MaxCells;
        const int handle = CreateFontToHandleWithParam(&param, ToolFace, 16, 3, type, 1, 1, 0, -1, 0);
        FontHandleRecord* font = Font_GetRecord(handle);
        if (font == nullptr) {
            printf("font of type %s could not be made\n", "?");
            return 1;
        }
        // Caching: one preparation rasterises all 2,000 characters in one GDI run.
        double start = Seconds();
        int count = 0;
        Font_GlyphCache_PrepareText(font, distinct.data(), 2000, nullptr, nullptr, &count);
        const double cacheSeconds = Seconds() - start;
        start = Seconds();
        const int width = GetTextWidthToHandleW(distinct.data(), 2000, -1, handle, 0);
        const double measureSeconds = Seconds() - start;
        printf("%-36ls cache 2000 CJK: %8.2f ms (%6.2f us/glyph), measure them: %7.3f ms, width %d\n",
               Font_TypeName(type), cacheSeconds * 1e3, cacheSeconds * 1e6 / 2000, measureSeconds * 1e3, width);

        // 10,000 characters of the cached set, measured by the cache and by GDI.
        std::vector<wchar_t> text;
        uint32_t seed = 7;
        while (text.size() < 10000) {
            seed = seed * 1664525u + 1013904223u;
            text.push_back(distinct[(seed >> 16) % 2000]);
        }
        text.push_back(0);
        const int rounds = 50;
        int cachedWidth = 0;
        start = Seconds();
        for (int i = 0; i < rounds; i++) cachedWidth = GetTextWidthToHandleW(text.data(), 10000, -1, handle, 0);
        const double cached = (Seconds() - start) / rounds;
        HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
        HGDIOBJ old = WinAPITable.SelectObject(dc, font->Win.Font);
        SIZE extent = {0, 0};
        start = Seconds();
        for (int i = 0; i < rounds; i++) WinAPITable.GetTextExtentPoint32W(dc, text.data(), 10000, &extent);
        const double gdi = (Seconds() - start) / rounds;
        WinAPITable.SelectObject(dc, old);
        WinAPITable.DeleteDC(dc);
        const int f = Font_TypeFactor(type);
        printf("%-36ls measure 10000 cached: %7.3f ms (width %d), GDI GetTextExtentPoint32W: %7.3f ms (width %ld / %d)"
               ", cache %.1f x GDI\n",
               Font_TypeName(type), cached * 1e3, cachedWidth, gdi * 1e3, extent.cx, f, gdi / cached);
        DeleteFontToHandle(handle);
    }
    Font_Manager_Terminate();
    return 0;
}
