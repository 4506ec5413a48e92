// The Windows half of the fonts: creates and measures the GDI font of a font handle, reads its
// Unicode coverage and kerning pairs, rasterises glyphs for the glyph cache, and lists face names.
// Stands on the system function table (GDI, Uniscribe) and the font records.
#pragma once

#include "font/VtFont.h"

namespace Vantrel {

// The face asked for when a font names none, and the last resort before no face at all.
extern const wchar_t FontWin_FallbackFace[];

// Character set of GDI for a CharSetId (0-7); DEFAULT_CHARSET for any other value.
int FontWin_GdiCharSet(int charSet);

int FontWin_CreateFont(const FontCreateParam* param, FontHandleRecord* font, int verifyFace);
void FontWin_ReleaseFont(FontHandleRecord* font);
int FontWin_SetupTextOutBitmap(const FontCreateParam* param, FontHandleRecord* font, int asynchronous);
int FontWin_TerminateFont(FontHandleRecord* font);

// One run of glyph rasterisations (one at a time: only the main thread draws text).
int FontWin_BeginGlyphBatch(FontHandleRecord* font);
int FontWin_RenderGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector,
                        int update);
int FontWin_EndGlyphBatch(FontHandleRecord* font);

// Face names into 128-byte UTF-16 slots (64 units each); a null buffer only counts. maxCount 0: no
// limit. The face name filters (null or empty: every face). Returns the number of names, or -1.
int Font_EnumFaceNamesW(wchar_t* buffer, int maxCount, const wchar_t* faceName, int charSet);

}  // namespace Vantrel
