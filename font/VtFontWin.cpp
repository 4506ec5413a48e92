// The Windows half of the fonts: the GDI font of a font handle with its metrics, Unicode coverage and
// kerning pairs; glyph rasterising with GetGlyphOutlineW (glyph indices through Uniscribe and
// GetCharacterPlacementW beyond U+FFFF and for variation sequences) or TextOutW into a DIB section
// for faces without outlines; and face-name enumeration. Every call goes through the system table.
// Stands on VtWinAPI, the log, the allocator, the font records and the glyph cache.
#include "font/VtFontWin.h"

#include <string.h>
#include <usp10.h>

#include <initializer_list>
#include <wchar.h>

#include "font/VtFontCache.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "system/VtWindow.h"

namespace Vantrel {

// "ＭＳ ゴシック" with a plain space, kept as the system names the face.
const wchar_t FontWin_FallbackFace[] = L"\xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF";

static const int FontWin_GdiCharSets[8] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGUL_CHARSET, CHINESEBIG5_CHARSET,
                                           GB2312_CHARSET,  ANSI_CHARSET,     ANSI_CHARSET,   DEFAULT_CHARSET};

int FontWin_GdiCharSet(int charSet)
{
    return (unsigned)charSet < 8 ? FontWin_GdiCharSets[charSet] : DEFAULT_CHARSET;
}

// The module's one glyph run.
struct FontGlyphBatch {
    HDC DC;
    HGDIOBJ OldFont;
    HGDIOBJ OldBitmap;
    TEXTMETRICW Metrics;
};
static FontGlyphBatch GlyphBatch;

static const MAT2 IdentityMatrix = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

static HFONT FontWin_Create(int height, int thickness, int italic, int gdiCharSet, const wchar_t* face)
{
    return WinAPITable.CreateFontW(height, 0, 0, 0, thickness * 100, italic ? TRUE : FALSE, FALSE, FALSE,
                                   (DWORD)gdiCharSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                   FIXED_PITCH, face);
}

void FontWin_ReleaseFont(FontHandleRecord* font)
{
    CFont& win = font->Win;
    if (win.Font != nullptr) WinAPITable.DeleteObject(win.Font);
    win.Font = nullptr;
}

int FontWin_TerminateFont(FontHandleRecord* font)
{
    CFont& win = font->Win;
    if (win.GlyphBuffer != nullptr) Memory_Free(win.GlyphBuffer);
    win.GlyphBuffer = nullptr;
    win.GlyphBufferSize = 0;
    FontWin_ReleaseFont(font);
    if (win.Bitmap != nullptr) WinAPITable.DeleteObject(win.Bitmap);
    win.Bitmap = nullptr;
    win.BitmapBits = nullptr;
    if (win.UnicodeRanges != nullptr) Memory_Free(win.UnicodeRanges);
    win.UnicodeRanges = nullptr;
    return 0;
}

// Failure after the font exists: nothing GDI is left in the record.
static int FontWin_CreateFailed(FontHandleRecord* font, HDC dc, HGDIOBJ oldFont)
{
    if (dc != nullptr) {
        if (oldFont != nullptr) WinAPITable.SelectObject(dc, oldFont);
        WinAPITable.DeleteDC(dc);
    }
    if (font->KerningPairs != nullptr) Memory_Free(font->KerningPairs);
    font->KerningPairs = nullptr;
    font->KerningPairCount = 0;
    FontWin_TerminateFont(font);
    return -1;
}

// Is `face` among the faces of the GDI char set (a leading '@' skipped)?
static int FontWin_FaceExists(const wchar_t* face, int charSet)
{
    if (face[0] == L'@') face++;
    wchar_t local[16 * 64];
    int count = Font_EnumFaceNamesW(local, 16, face, charSet);
    wchar_t* list = local;
    if (count >= 16) {
        count = Font_EnumFaceNamesW(nullptr, 0, face, charSet);
        list = count > 0 ? (wchar_t*)Memory_Allocate((uint32_t)count * 128, __FILE__, __LINE__) : nullptr;
        if (list == nullptr) return 1;
        count = Font_EnumFaceNamesW(list, count, face, charSet);
    }
    int found = 0;
    for (int i = 0; i < count && !found; i++) found = wcscmp(list + i * 64, face) == 0;
    if (list != local) Memory_Free(list);
    return found;
}

// Whether the face selected in the DC has a glyph for `code`, by its Unicode ranges (yes when the
// system cannot tell).
static bool FontWin_FaceCovers(HDC dc, wchar_t code)
{
    if (WinAPITable.GetFontUnicodeRanges == nullptr) return true;
    const DWORD bytes = WinAPITable.GetFontUnicodeRanges(dc, nullptr);
    GLYPHSET* ranges = bytes > 0 ? (GLYPHSET*)Memory_Allocate(bytes, __FILE__, __LINE__) : nullptr;
    if (ranges == nullptr || WinAPITable.GetFontUnicodeRanges(dc, ranges) == 0) {
        if (ranges != nullptr) Memory_Free(ranges);
        return true;
    }
    bool covered = false;
    for (DWORD i = 0; i < ranges->cRanges && !covered; i++)
        covered = code >= ranges->ranges[i].wcLow && code - ranges->ranges[i].wcLow < ranges->ranges[i].cGlyphs;
    Memory_Free(ranges);
    return covered;
}

// A character every face of a code page's script has, with the GDI char set that asks for such a face;
// 0 for code pages that need no such face (Latin and Unicode ones).
static wchar_t FontWin_CodePageSample(int codePage, int* gdiSet)
{
    switch (codePage) {
    case 932: *gdiSet = SHIFTJIS_CHARSET; return 0x3042;    // hiragana a
    case 936: *gdiSet = GB2312_CHARSET; return 0x4E2D;
    case 949: *gdiSet = HANGUL_CHARSET; return 0xAC00;
    case 950: *gdiSet = CHINESEBIG5_CHARSET; return 0x4E2D;
    default: return 0;
    }
}

// The font draws text of its code page (the library's narrow code page for char set 0). When the face
// asked for is missing, GDI puts in a face of the char set it was asked with; for DEFAULT_CHARSET that
// is the system locale's, whose face may have no glyph of the text's script, and every character then
// comes out as the empty box of a missing glyph. Such a font is made again with the GDI char set of the
// text's code page, which makes GDI choose a face of that script. Returns that set when the font was
// replaced (the later passes of the creation ask with it too), else -1.
static int FontWin_SuitTextCodePage(FontHandleRecord* font, int height, int madeSet, const wchar_t* face, int italic)
{
    int pageSet = DEFAULT_CHARSET;
    const int codePage = font->CodePage != -1 ? font->CodePage : CharCode_GetNarrowPage();
    const wchar_t sample = FontWin_CodePageSample(codePage, &pageSet);
    if (sample == 0 || pageSet == madeSet) return -1;
    HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
    if (dc == nullptr) return -1;
    CFont& win = font->Win;
    HGDIOBJ old = WinAPITable.SelectObject(dc, win.Font);
    int result = -1;
    if (!FontWin_FaceCovers(dc, sample)) {
        HFONT other = FontWin_Create(height, font->Thickness, italic, pageSet, face);
        if (other != nullptr) {
            WinAPITable.SelectObject(dc, other);
            if (FontWin_FaceCovers(dc, sample)) {
                WinAPITable.SelectObject(dc, old);
                WinAPITable.DeleteObject(win.Font);
                win.Font = other;
                other = nullptr;
                result = pageSet;
                Log_AddFormatShiftJIS("フォントの書体に文字コード %d の文字が無いため、その文字セットの書体を使います\n", codePage);
            }
        }
        WinAPITable.SelectObject(dc, old);
        if (other != nullptr) WinAPITable.DeleteObject(other);
    }
    WinAPITable.SelectObject(dc, old);
    WinAPITable.DeleteDC(dc);
    return result;
}

int FontWin_CreateFont(const FontCreateParam* param, FontHandleRecord* font, int verifyFace)
{
    WinAPI_EnsureLoaded();
    if (Window_IsDestroyRequested()) return -1;
    if (font->IsFontFile) return 0;
    CFont& win = font->Win;
    const int f = Font_TypeFactor(font->Type);
    const int height = font->Size * f;
    int adjust = 0;
    int firstPass = 1;
    int firstHeight = 0;
    HDC dc = nullptr;
    HGDIOBJ oldFont = nullptr;
    TEXTMETRICW metrics;
    int textCodePageSet = -1;   // set once a face GDI put in lacked the glyphs of the text's code page
    for (;;) {
        FontWin_ReleaseFont(font);
        int madeSet = DEFAULT_CHARSET, madeItalic = 0;
        const wchar_t* madeFace = nullptr;
        auto make = [&](int gdiSet, const wchar_t* face, int italic) {
            if (win.Font != nullptr) return;
            const int set = textCodePageSet >= 0 ? textCodePageSet : gdiSet;
            win.Font = FontWin_Create(height + adjust, font->Thickness, italic, set, face);
            if (win.Font != nullptr) madeSet = set, madeFace = face, madeItalic = italic;
        };
        if (font->FaceName[0] != 0) {
            if (verifyFace && firstPass && !FontWin_FaceExists(font->FaceName, font->CharSet)) font->CharSet = 0;
            for (const int gdiSet : {FontWin_GdiCharSet(font->CharSet), DEFAULT_CHARSET, SHIFTJIS_CHARSET})
                make(gdiSet, font->FaceName, font->Italic);
            if (win.Font == nullptr) {
                Log_AddTextShiftJIS("指定のフォントの作成に失敗しました\n");
                return FontWin_CreateFailed(font, nullptr, nullptr);
            }
        } else {
            make(FontWin_GdiCharSet(font->CharSet), FontWin_FallbackFace, font->Italic);
        }
        if (win.Font == nullptr) {
            font->FaceName[0] = 0;
            make(DEFAULT_CHARSET, FontWin_FallbackFace, 0);
            make(DEFAULT_CHARSET, nullptr, 0);
            if (win.Font == nullptr) {
                Log_AddTextShiftJIS("フォントの作成に失敗しました\n");
                return FontWin_CreateFailed(font, nullptr, nullptr);
            }
        }
        if (firstPass && textCodePageSet < 0)
            textCodePageSet = FontWin_SuitTextCodePage(font, height + adjust, madeSet, madeFace, madeItalic);
        dc = WinAPITable.CreateCompatibleDC(nullptr);
        if (dc == nullptr) {
            Log_AddTextShiftJIS("デバイスコンテキストの取得に失敗しました\n");
            return FontWin_CreateFailed(font, nullptr, nullptr);
        }
        oldFont = WinAPITable.SelectObject(dc, win.Font);
        if (!WinAPITable.GetTextMetricsW(dc, &metrics)) {
            Log_AddTextShiftJIS("フォントの寸法情報の取得に失敗しました\n");
            return FontWin_CreateFailed(font, dc, oldFont);
        }
        const int leading = metrics.tmInternalLeading + metrics.tmExternalLeading;
        if (!firstPass || param->NoSizeAdjust || leading <= 0 || metrics.tmHeight <= 0) break;
        firstPass = 0;
        firstHeight = metrics.tmHeight;
        const float ratio = (float)leading / (float)metrics.tmHeight;
        adjust = -((int)((float)height / (ratio - 1.0f)) + height);
        WinAPITable.SelectObject(dc, oldFont);
        WinAPITable.DeleteDC(dc);
        dc = nullptr;
    }

    // The face really used: GetObjectW would only echo the name asked for.
    wchar_t used[LF_FACESIZE] = {0};
    if (WinAPITable.GetTextFaceW != nullptr && WinAPITable.GetTextFaceW(dc, LF_FACESIZE, used) > 0) {
        wcsncpy(font->FaceName, used, Font_FaceNameLength - 1);
    } else {
        LOGFONTW logFont;
        if (WinAPITable.GetObjectW(win.Font, sizeof(logFont), &logFont) > 0)
            wcsncpy(font->FaceName, logFont.lfFaceName, Font_FaceNameLength - 1);
    }
    font->FaceName[Font_FaceNameLength - 1] = 0;

    font->VerticalOffset = (uint16_t)(adjust != 0 ? (metrics.tmHeight - firstHeight) / f : 0);
    font->CellSize = (uint16_t)(font->Italic ? (metrics.tmMaxCharWidth * 135 / f + 540) / 100 : metrics.tmMaxCharWidth / f + 4);
    font->Height = (uint16_t)(metrics.tmHeight / f + 1);
    font->Ascent = (int16_t)(metrics.tmAscent / f + (metrics.tmAscent % f >= f / 2 && f > 1 ? 1 : 0));

    GLYPHMETRICS glyph;
    memset(&glyph, 0, sizeof(glyph));
    win.NoOutline = WinAPITable.GetGlyphOutlineW(dc, L' ', GGO_BITMAP, &glyph, 0, nullptr, &IdentityMatrix) == GDI_ERROR;

    if (WinAPITable.GetFontUnicodeRanges != nullptr) {
        const DWORD bytes = WinAPITable.GetFontUnicodeRanges(dc, nullptr);
        if (bytes > 0) {
            win.UnicodeRanges = (GLYPHSET*)Memory_Allocate(bytes, __FILE__, __LINE__);
            if (win.UnicodeRanges == nullptr) {
                Log_AddTextShiftJIS("フォントが持つ文字の情報を格納するメモリの確保に失敗しました");
                return FontWin_CreateFailed(font, dc, oldFont);
            }
            WinAPITable.GetFontUnicodeRanges(dc, win.UnicodeRanges);
        }
    }

    font->KerningPairCount = 0;
    const DWORD pairs = WinAPITable.GetKerningPairsW != nullptr ? WinAPITable.GetKerningPairsW(dc, 0, nullptr) : 0;
    if (pairs > 0 && pairs < 0x1000000) {
        KERNINGPAIR* fetched = (KERNINGPAIR*)Memory_Allocate((uint32_t)(pairs * sizeof(KERNINGPAIR)), __FILE__, __LINE__);
        if (fetched == nullptr) {
            Log_AddTextShiftJIS("カーニングペア情報を一時的に格納するメモリの確保に失敗しました in CFont");
            return FontWin_CreateFailed(font, dc, oldFont);
        }
        font->KerningPairs = (FontDataKerningPair*)Memory_AllocateZeroed((uint32_t)(pairs * sizeof(FontDataKerningPair)),
                                                                       __FILE__, __LINE__);
        if (font->KerningPairs == nullptr) {
            Log_AddTextShiftJIS("カーニングペア情報を格納するメモリの確保に失敗しました in CFont");
            Memory_Free(fetched);
            return FontWin_CreateFailed(font, dc, oldFont);
        }
        const DWORD got = WinAPITable.GetKerningPairsW(dc, pairs, fetched);
        uint32_t count = 0;
        for (DWORD i = 0; i < got && i < pairs; i++) {
            const uint32_t key = (uint32_t)fetched[i].wFirst << 16 | fetched[i].wSecond;
            uint32_t at = 0;
            while (at < count && ((font->KerningPairs[at].First << 16) | font->KerningPairs[at].Second) < key) at++;
            memmove(font->KerningPairs + at + 1, font->KerningPairs + at, (count - at) * sizeof(FontDataKerningPair));
            FontDataKerningPair& pair = font->KerningPairs[at];
            pair.First = fetched[i].wFirst;
            pair.Second = fetched[i].wSecond;
            pair.Amount = (fetched[i].iKernAmount + f / 4) / f;
            pair.Reserved = 0;
            count++;
        }
        font->KerningPairCount = count;
        Memory_Free(fetched);
    }
    WinAPITable.SelectObject(dc, oldFont);
    WinAPITable.DeleteDC(dc);
    return 0;
}

int FontWin_SetupTextOutBitmap(const FontCreateParam* param, FontHandleRecord* font, int asynchronous)
{
    CFont& win = font->Win;
    win.Bitmap = nullptr;
    win.BitmapBits = nullptr;
    win.BitmapPitch = 0;
    if (!win.NoOutline || font->IsFontFile) return 0;
    HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        Log_AddTextShiftJIS("デバイスコンテキストの取得に失敗しました\n");
        return FontWin_CreateFailed(font, nullptr, nullptr);
    }
    HGDIOBJ oldFont = WinAPITable.SelectObject(dc, win.Font);
    if (Font_TypeIsAntialiased(font->Type)) font->Type = Font_TypeHasEdge(font->Type) ? VT_FONTTYPE_EDGE : VT_FONTTYPE_NORMAL;
    const uint32_t bytes = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
    BITMAPINFO* info = (BITMAPINFO*)Memory_AllocateZeroed(bytes, __FILE__, __LINE__);
    if (info == nullptr) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました in CFont");
        return FontWin_CreateFailed(font, dc, oldFont);
    }
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = font->CellSize;
    info->bmiHeader.biHeight = -(int)font->CellSize;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = (DWORD)font->CellSize * font->CellSize;
    for (int i = 0; i < 256; i++) info->bmiColors[i] = RGBQUAD{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    win.Bitmap = WinAPITable.CreateDIBSection(dc, info, DIB_RGB_COLORS, &win.BitmapBits, nullptr, 0);
    Memory_Free(info);
    if (win.Bitmap == nullptr) {
        Log_AddTextShiftJIS("フォントキャッシュ用の DIB の作成に失敗しました in CFont");
        return FontWin_CreateFailed(font, dc, oldFont);
    }
    BITMAP bitmap;
    WinAPITable.GetObjectA(win.Bitmap, sizeof(bitmap), &bitmap);
    win.BitmapPitch = bitmap.bmWidthBytes;
    WinAPITable.SelectObject(dc, oldFont);
    WinAPITable.DeleteDC(dc);
    return 0;
}

// ---- Glyph runs ----------------------------------------------------------------------------------

int FontWin_BeginGlyphBatch(FontHandleRecord* font)
{
    WinAPI_EnsureLoaded();
    FontGlyphBatch& batch = GlyphBatch;
    batch.DC = WinAPITable.CreateCompatibleDC(nullptr);
    batch.OldFont = batch.DC != nullptr ? WinAPITable.SelectObject(batch.DC, font->Win.Font) : nullptr;
    if (batch.DC == nullptr || batch.OldFont == nullptr) {
        Log_AddTextShiftJIS("テキストキャッシュサーフェスのデバイスコンテキストの取得に失敗しました");
        if (batch.DC != nullptr) WinAPITable.DeleteDC(batch.DC);
        batch.DC = nullptr;
        return -1;
    }
    batch.OldBitmap = nullptr;
    if (!WinAPITable.GetTextMetricsW(batch.DC, &batch.Metrics)) {
        Log_AddTextShiftJIS("テキストキャッシュ用フォントの寸法情報の取得に失敗しました\n");
        WinAPITable.SelectObject(batch.DC, batch.OldFont);
        WinAPITable.DeleteDC(batch.DC);
        batch.DC = nullptr;
        return -1;
    }
    if (font->Win.NoOutline) {
        batch.OldBitmap = WinAPITable.SelectObject(batch.DC, font->Win.Bitmap);
        WinAPITable.SetTextColor(batch.DC, RGB(255, 255, 255));
        WinAPITable.SetBkColor(batch.DC, RGB(0, 0, 0));
        WinAPITable.SetBkMode(batch.DC, OPAQUE);
    }
    return 0;
}

int FontWin_EndGlyphBatch(FontHandleRecord* font)
{
    FontGlyphBatch& batch = GlyphBatch;
    if (batch.DC == nullptr) return 0;
    WinAPITable.SelectObject(batch.DC, batch.OldFont);
    if (batch.OldBitmap != nullptr) WinAPITable.SelectObject(batch.DC, batch.OldBitmap);
    WinAPITable.DeleteDC(batch.DC);
    batch.DC = nullptr;
    return 0;
}

// UTF-16 of a character and its selector; returns the units written (at most 4).
static int FontWin_EncodeUtf16(uint32_t code, uint32_t selector, wchar_t* out)
{
    int units = 0;
    for (const uint32_t value : {code, selector}) {
        if (value == 0 && units > 0) break;
        if (value >= 0x10000) {
            out[units++] = (wchar_t)(0xD800 | ((value - 0x10000) >> 10));
            out[units++] = (wchar_t)(0xDC00 | ((value - 0x10000) & 0x3FF));
        } else {
            out[units++] = (wchar_t)value;
        }
    }
    out[units] = 0;
    return units;
}

// Glyph index of a character beyond U+FFFF or with a selector; -1 (logged) when none is found.
static int FontWin_GlyphIndex(uint32_t code, uint32_t selector, WORD* index)
{
    wchar_t text[16];
    const int units = FontWin_EncodeUtf16(code, selector, text);
    if (selector != 0) {
        if (WinAPITable.ScriptItemize == nullptr || WinAPITable.ScriptShape == nullptr) {
            Log_AddTextShiftJIS("Win32API ScriptShape 又は Win32 ScriptItemize が使用できませんでした\n");
            return -1;
        }
        SCRIPT_ITEM items[3];
        int itemCount = 0;
        if (FAILED(WinAPITable.ScriptItemize(text, units, 2, nullptr, nullptr, items, &itemCount)) || itemCount < 1) {
            Log_AddTextShiftJIS("Win32API ScriptShape による異体字のグリフインデックスの取得に失敗しました\n");
            return -1;
        }
        SCRIPT_CACHE cache = nullptr;
        WORD glyphs[22], clusters[16];
        SCRIPT_VISATTR attributes[22];
        int glyphCount = 0;
        const HRESULT result = WinAPITable.ScriptShape(GlyphBatch.DC, &cache, text, units, 22, &items[0].a, glyphs,
                                                       clusters, attributes, &glyphCount);
        if (FAILED(result) || glyphCount < 1) {
            Log_AddTextShiftJIS("Win32API ScriptShape による異体字のグリフインデックスの取得に失敗しました\n");
            return -1;
        }
        *index = glyphs[0];
        return 0;
    }
    wchar_t glyphs[2] = {0, 0};
    GCP_RESULTSW results;
    memset(&results, 0, sizeof(results));
    results.lStructSize = sizeof(results);
    results.lpGlyphs = (LPWSTR)glyphs;
    results.nGlyphs = 2;
    if (WinAPITable.GetCharacterPlacementW(GlyphBatch.DC, text, units, 0, &results, GCP_GLYPHSHAPE) == 0) {
        Log_AddTextShiftJIS("Win32API GetCharacterPlacement が失敗しました\n");
        return -1;
    }
    *index = (WORD)glyphs[0];
    return 0;
}

int FontWin_RenderGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector, int update)
{
    const FontGlyphBatch& batch = GlyphBatch;
    CFont& win = font->Win;
    const int blank = code == 0x20 ? 1 : (code == FontManager.FullWidthSpace ? 2 : 0);
    if (win.NoOutline) {
        wchar_t text[16];
        const int units = FontWin_EncodeUtf16(code, selector, text);
        SIZE extent = {0, 0};
        WinAPITable.GetTextExtentPoint32W(batch.DC, text, units, &extent);
        if (extent.cx > font->CellSize) extent.cx = font->CellSize;
        if (extent.cy > font->CellSize) extent.cy = font->CellSize;
        WinAPITable.TextOutW(batch.DC, 0, 0, text, units);
        return Font_GlyphCache_StoreGlyph(font, entry, code, selector, blank != 0, GlyphSource_Byte, win.BitmapBits,
                                          extent.cx, extent.cy, win.BitmapPitch, 0, 0, extent.cx, update);
    }
    UINT format = GGO_BITMAP;
    int kind = GlyphSource_Bit1;
    switch (font->Type) {
    case 0x12: case 0x13: kind = GlyphSource_Bit1x4; break;
    case 0x22: case 0x23: kind = GlyphSource_Bit1x8; break;
    case 0x32: case 0x33: kind = GlyphSource_Bit1x16; break;
    case 0x02: case 0x03:
        if (font->TextureCache && font->TextureColorBits == 32) {
            format = GGO_GRAY8_BITMAP;
            kind = GlyphSource_Level64;
        } else {
            format = GGO_GRAY4_BITMAP;
            kind = GlyphSource_Level16;
        }
        break;
    default: break;
    }
    UINT character = code;
    if (code > 0xFFFF || selector != 0) {
        WORD index = 0;
        if (FontWin_GlyphIndex(code, selector, &index) < 0) return -1;
        character = index;
        format |= GGO_GLYPH_INDEX;
    }
    GLYPHMETRICS metrics;
    memset(&metrics, 0, sizeof(metrics));
    const DWORD size = WinAPITable.GetGlyphOutlineW(batch.DC, character, format, &metrics, 0, nullptr, &IdentityMatrix);
    if (size == GDI_ERROR) {
        Log_AddTextShiftJIS("Win32API GetGlyphOutline が失敗しました\n");
        return -1;
    }
    if (blank != 0 || size == 0)
        return Font_GlyphCache_StoreGlyph(font, entry, code, selector, 1, kind, nullptr, 0, 0, 0, 0, 0,
                                          metrics.gmCellIncX, blank != 0 ? 0 : update);
    const int bitmap = (format & ~GGO_GLYPH_INDEX) == GGO_BITMAP;
    const uint32_t pitch = ((bitmap ? (metrics.gmBlackBoxX + 7) / 8 : metrics.gmBlackBoxX) + 3) & ~3u;
    if (pitch == 0)
        return Font_GlyphCache_StoreGlyph(font, entry, code, selector, 1, kind, nullptr, 0, 0, 0, 0, 0,
                                          metrics.gmCellIncX, update);
    const uint32_t rows = size / pitch;
    const uint64_t needed = (uint64_t)size + (uint64_t)(rows + 2) * pitch;
    if (needed > 0x7FFFFFFF) return -1;
    if (win.GlyphBufferSize < needed) {
        if (win.GlyphBuffer != nullptr) Memory_Free(win.GlyphBuffer);
        win.GlyphBufferSize = 0;
        win.GlyphBuffer = Memory_Allocate((uint32_t)needed, __FILE__, __LINE__);
        if (win.GlyphBuffer == nullptr) {
            Log_AddTextShiftJIS("アンチエイリアス文字取得用バッファの確保に失敗しました");
            return -1;
        }
        win.GlyphBufferSize = (uint32_t)needed;
    }
    memset(win.GlyphBuffer, 0, (size_t)needed);
    uint8_t* glyph = (uint8_t*)win.GlyphBuffer + (size_t)(rows + 1) * pitch;
    if (WinAPITable.GetGlyphOutlineW(batch.DC, character, format, &metrics, size, glyph, &IdentityMatrix) == GDI_ERROR) {
        Log_AddTextShiftJIS("Win32API GetGlyphOutline が失敗しました\n");
        return -1;
    }
    return Font_GlyphCache_StoreGlyph(font, entry, code, selector, 0, kind, glyph, (int)metrics.gmBlackBoxX, (int)rows,
                                      (int)pitch, metrics.gmptGlyphOrigin.x,
                                      batch.Metrics.tmAscent - metrics.gmptGlyphOrigin.y, metrics.gmCellIncX, update);
}

// ---- Face names ----------------------------------------------------------------------------------

// Appends a face to the list unless it is a vertical face or already listed; 0 stops the enumeration
// (the maximum count reached, or no room left).
static int FontWin_FaceList_Add(FontWin_FaceList& list, const wchar_t* face)
{
    if (face[0] == L'@') return 1;
    for (int i = 0; i < list.Count; i++)
        if (wcsncmp(list.Slots + i * 64, face, 63) == 0) return 1;
    if (list.Count >= list.Capacity) {
        if (!list.Growable) return 0;
        const int capacity = list.Capacity < 64 ? 64 : list.Capacity * 2;
        wchar_t* grown = (wchar_t*)Memory_Reallocate(list.Slots, (uint32_t)capacity * 128, __FILE__, __LINE__);
        if (grown == nullptr) {
            list.Failed = 1;
            return 0;
        }
        list.Slots = grown;
        list.Capacity = capacity;
    }
    wcsncpy(list.Slots + list.Count * 64, face, 63);
    list.Slots[list.Count * 64 + 63] = 0;
    list.Count++;
    return list.MaxCount > 0 && list.Count >= list.MaxCount ? 0 : 1;
}

static int CALLBACK FontWin_EnumFontNameCheck_Callback(const LOGFONTW* logFont, const TEXTMETRICW*, DWORD, LPARAM param)
{
    return FontWin_FaceList_Add(*(FontWin_FaceList*)param, logFont->lfFaceName);
}

int CALLBACK FontWin_EnumFontName_Callback(const LOGFONTW* logFont, const TEXTMETRICW*, DWORD fontType, LPARAM param)
{
    FontWin_FaceList& list = *(FontWin_FaceList*)param;
    if (list.TrueTypeOnly && (fontType & TRUETYPE_FONTTYPE) == 0) return 1;
    if (list.Script >= 0 && logFont->lfCharSet != list.Script) return 1;
    return FontWin_FaceList_Add(list, logFont->lfFaceName);
}

int FontWin_EnumFaceNames(FontWin_FaceList* list, int check, int charSet)
{
    WinAPI_EnsureLoaded();
    LOGFONTW logFont;
    memset(&logFont, 0, sizeof(logFont));
    logFont.lfCharSet = (BYTE)(!check || charSet < 0 ? DEFAULT_CHARSET : FontWin_GdiCharSet(charSet));
    if (list->FaceName != nullptr) wcsncpy(logFont.lfFaceName, list->FaceName, 31);
    HDC dc = WinAPITable.GetDC(nullptr);
    if (dc == nullptr) return -1;
    WinAPITable.EnumFontFamiliesExW(dc, &logFont, check ? FontWin_EnumFontNameCheck_Callback : FontWin_EnumFontName_Callback,
                                    (LPARAM)list, 0);
    WinAPITable.ReleaseDC(nullptr, dc);
    return list->Failed ? -1 : list->Count;
}

int Font_EnumFaceNamesW(wchar_t* buffer, int maxCount, const wchar_t* faceName, int charSet)
{
    if (maxCount < 0) return -1;
    FontWin_FaceList list = {};
    list.Slots = buffer;
    list.Capacity = buffer != nullptr ? (maxCount > 0 ? maxCount : 0x7FFFFFFF) : 0;
    list.MaxCount = maxCount;
    list.Growable = buffer == nullptr;
    list.FaceName = faceName;
    list.Script = -1;
    const int count = FontWin_EnumFaceNames(&list, 1, charSet);
    if (buffer == nullptr && list.Slots != nullptr) Memory_Free(list.Slots);
    return count;
}

}  // namespace Vantrel
