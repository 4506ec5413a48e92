// The glyph cache of a font: square cells holding rasterised glyphs, the direct table of characters
// up to U+FFFF, the extended list for the rest, and the conversion of a rasterised glyph into cell
// pixels for every font type. Without a device (or when asked) the cells live in a memory block the
// text engine copies from; with one, in a CPU image whose changed rectangles go to a cache texture.
// Stands on the font records, base images, the graphics core's state and the GDI half.
#pragma once

#include "font/VtFont.h"

namespace Vantrel {

// Source kinds of a rasterised glyph.
enum : int {
    GlyphSource_Bit1 = 0,
    GlyphSource_Bit1x4 = 1,
    GlyphSource_Bit1x8 = 2,
    GlyphSource_Bit1x16 = 3,
    GlyphSource_Nibble = 4,
    GlyphSource_Byte = 5,             // non-zero is ink
    GlyphSource_Level16 = 6,          // levels 0-16
    GlyphSource_Level64 = 7,          // levels 0-64
    GlyphSource_Level255 = 8,         // levels 0-255
};

int Font_GlyphCache_Setup(const FontCreateParam* param, FontHandleRecord* font, int asynchronous);
void Font_GlyphCache_Reset(FontHandleRecord* font);
int Font_GlyphCache_RefreshTexture(FontHandleRecord* font, int asynchronous);
// Frees what the cache owns (memory cells, work buffer, cache image, cache graphs).
void Font_GlyphCache_Release(FontHandleRecord* font);
int Font_GlyphCache_PrepareText(FontHandleRecord* font, const wchar_t* text, int length, uint32_t* codes,
                                uint32_t* selectors, int* count);
GlyphCacheEntry* Font_GlyphCache_AddGlyphs(int count, const uint32_t* codes, const uint32_t* selectors,
                                           FontHandleRecord* font, int update);
int Font_GlyphCache_StoreGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector,
                               int blank, int sourceKind, const void* pixels, int width, int rows, int pitch,
                               int originX, int offsetY, int advance, int update);
int Font_GlyphCache_FlushUpdate(FontHandleRecord* font);
GlyphCacheEntry* Font_GlyphCache_Lookup(FontHandleRecord* font, uint32_t code, uint32_t selector,
                                        FontHandleRecord** fontOut, int* offsetX, int* offsetY, int imageGlyphs);

// Decodes one character of UTF-16 text of `units` code units (page 1200 or 1201) into *code; returns
// the units used (1 or 2), 0 at the terminator or the end. A high surrogate with no unit after it
// inside the text stands alone and is never paired with what lies past the text.
int String_DecodeUtf16Char(const wchar_t* text, int units, int page, uint32_t* code);

// Memory cache: the pixel row `y` of a cell (0 = the cell's top row).
inline uint8_t* Font_GlyphCache_CellRow(FontHandleRecord* font, const GlyphCacheEntry* entry, int y)
{
    return font->MemCachePixels + ((int64_t)entry->Row * font->CellSize + y) * font->MemCachePitch;
}
// Memory cache: the ink span of row `y` of a cell: [0] the first column with ink, [1] the column
// after the last one (both 0 for an empty row).
inline uint16_t* Font_GlyphCache_CellSpan(FontHandleRecord* font, const GlyphCacheEntry* entry, int y)
{
    return font->MemCacheSpans + ((int64_t)entry->Row * font->CellSize + y) * 2;
}

// The cache graph (and the edge graph) of a texture cache, made from graph handles; -1 when they
// cannot be made (the font then keeps a memory cache). Uploads copy rectangles of the cache image.
int Font_GlyphCache_CreateCacheGraph(FontHandleRecord* font, int asynchronous);
void Font_GlyphCache_DeleteCacheGraph(FontHandleRecord* font);
int Font_GlyphCache_UploadRect(FontHandleRecord* font, int left, int top, int right, int bottom);

}  // namespace Vantrel
