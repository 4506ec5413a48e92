// Font data ("FNTF" blocks: a whole pre-rasterised font in memory) loaded into font handles, image
// glyphs (graphs attached to a font as the glyph of one character), and the built-in 8 x 16 font
// that combines both when no system font can be made.
// Stands on the font handles, the glyph cache, the LZ coder, the loader threads and graph handles.
#pragma once

#include <stdint.h>

#include "font/VtFont.h"

namespace Vantrel {

// Sizes and offsets of the font-data format.
constexpr int FontData_PlainHeaderSize = 24;
constexpr int FontData_GlyphRecordOffset = 412;
constexpr int FontData_GlyphRecordSize = (int)sizeof(FontDataGlyph);
constexpr int FontData_KerningPairSize = 16;
constexpr int FontData_Version0Gap = 44;

int Font_LoadFontDataWithParam(const FontCreateParam* param, const void* data, int size, int edgeSize,
                               int reuseHandle, int asynchronous);
int Font_LoadFontData_Worker(const FontCreateParam* param, FontHandle handle, const void* data, int size,
                             int edgeSize, int asynchronous);
// A font from font data with the current creation settings (at once, or as a loader job).
int LoadFontDataFromMemory(const void* data, int size, int edgeSize);

// Rasterises one character of a font-data font into the cache entry; -1 when the data lacks it.
int Font_Data_RenderGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector,
                          int update);

int Font_AddImageGlyph(int fontHandle, const char* character, int graph, int offsetX, int offsetY, int advance);
int Font_AddImageGlyphW(int fontHandle, const wchar_t* character, int graph, int offsetX, int offsetY,
                        int advance);

// Makes the built-in font the default font (the glyph-less font data and its 128 image glyphs).
int Font_Builtin_MakeDefault(const FontCreateParam* param);
// True while the built-in font's glyph graphs exist.
int Font_Builtin_GlyphsAlive();
// Frees the decoded glyph image and deletes the glyph graphs (font manager end).
void Font_Builtin_Release();

}  // namespace Vantrel
