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

// The enumeration record of one face-name listing: the caller's 64-unit slots, or a list of our own
// that grows as needed when the caller only counts (never a fixed scratch block).
struct FontWin_FaceList {
    wchar_t* Slots;
    int Count;
    int Capacity;
    int MaxCount;                     // 0: no limit
    int Growable;
    int Failed;
    const wchar_t* FaceName;          // faces named so (at most 31 units), or null for every face
    int TrueTypeOnly;                 // list callback: skip faces that are not TrueType
    int Script;                       // list callback: only faces of this GDI char set, -1 any
};

// Lists faces into the record. The check form (check 1) asks GDI for the faces of the char set's GDI
// set (DEFAULT_CHARSET for a negative id) and takes every face but the vertical ones; the list form
// (check 0) asks for every char set and filters through the record's TrueType and script settings.
// Returns the number of names listed, or -1.
int FontWin_EnumFaceNames(FontWin_FaceList* list, int check, int charSet);
int CALLBACK FontWin_EnumFontName_Callback(const LOGFONTW* logFont, const TEXTMETRICW* metrics, DWORD fontType,
                                           LPARAM param);

}  // namespace Vantrel
