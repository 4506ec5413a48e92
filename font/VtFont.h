// Fonts: font handles (type 8, at most 256) and their record, the font types and creation settings,
// the font manager (default font, default settings, level tables, the life of every font handle
// across start-up, device loss, mode changes and shut-down), and the per-handle getters and setters.
// Stands on the handle manager, the loader threads, the character codes, base images, the graphics
// core's state, the GDI half (VtFontWin) and the glyph cache (VtFontCache).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "foundation/VtHandle.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

typedef HandleValue FontHandle;

// Font handle -2 stands for the default font.
constexpr int DefaultFontHandle = -2;
constexpr int Font_MaxHandleCount = 256;

// How glyphs are rasterised and stored: bit 0 edge, bit 1 antialiasing, bits 4-5 the supersampling level.
typedef int32_t FontType;
enum : FontType {
    VT_FONTTYPE_NORMAL = 0x00,
    VT_FONTTYPE_EDGE = 0x01,
    VT_FONTTYPE_ANTIALIASING = 0x02,
    VT_FONTTYPE_ANTIALIASING_EDGE = 0x03,
    VT_FONTTYPE_ANTIALIASING_4X4 = 0x12,
    VT_FONTTYPE_ANTIALIASING_EDGE_4X4 = 0x13,
    VT_FONTTYPE_ANTIALIASING_8X8 = 0x22,
    VT_FONTTYPE_ANTIALIASING_EDGE_8X8 = 0x23,
    VT_FONTTYPE_ANTIALIASING_16X16 = 0x32,
    VT_FONTTYPE_ANTIALIASING_EDGE_16X16 = 0x33,
};
// The name the dump prints for a type ("Null" for any value that is not one of the ten).
const wchar_t* Font_TypeName(FontType type);
// Supersampling factor of a type: 1, 4, 8 or 16.
int Font_TypeFactor(FontType type);
inline int Font_TypeHasEdge(FontType type) { return type & 1; }
inline int Font_TypeIsAntialiased(FontType type) { return (type & 2) != 0; }

// The module's creation settings, copied at creation time (all 0: no setter changes them).
struct FontCreateParam {
    int32_t CacheInMemoryImage;       // memory cache even with a hardware device
    int32_t Cache16BitTexture;        // 16-bit cache texture for antialiased fonts
    int32_t CacheCellCount;           // wanted glyph cells, 0 chooses
    int32_t CachePremultipliedAlpha;
    int32_t NoSizeAdjust;             // keep the cell height as asked, not the em height
};

// ---- Glyph cache records (filled by VtFontCache) ----
struct GlyphCacheSlot;

// One kerning pair, 16 bytes; tables are sorted by (First << 16 | Second).
struct FontDataKerningPair {
    uint32_t First;
    uint32_t Second;
    int32_t Amount;
    uint32_t Reserved;
};

// One glyph record of font data, 32 bytes little-endian, as it lies in the unpacked header: the image
// is Height rows of Pitch bytes at ImageOffset from the start of the glyph images, or an LZ block
// that unpacks to them when Packed is non-zero.
struct FontDataGlyph {
    uint32_t Code;                    // Unicode code point
    uint8_t Packed;
    uint8_t Reserved0;
    int16_t OffsetX;                  // pen to the image's left column
    int16_t OffsetY;                  // top of the line to the image's first row
    int16_t Advance;
    uint16_t Width;
    uint16_t Height;
    uint32_t ImageOffset;
    uint32_t Pitch;                   // bytes per image row
    uint8_t Reserved1[8];
};
static_assert(sizeof(FontDataGlyph) == 32 && offsetof(FontDataGlyph, OffsetX) == 6 &&
                  offsetof(FontDataGlyph, ImageOffset) == 16 && offsetof(FontDataGlyph, Pitch) == 20,
              "font-data glyph records are 32 bytes");

struct GlyphCacheEntry {
    uint32_t Code;
    uint32_t Selector;                // U+E0100..U+E01EF following the character, or 0
    uint8_t Used;
    uint8_t Image;                    // 1: an image glyph, Index is its graph
    int16_t OffsetX;
    int16_t OffsetY;                  // from the top of the line
    int16_t Advance;
    uint16_t Width;
    uint16_t Height;
    int32_t Index;                    // cell number, -1 for the closing entry
    int32_t Column;
    int32_t Row;
    const FontDataKerningPair* Kerning;
    uint32_t KerningCount;
    GlyphCacheSlot* Slot;             // direct-table slot, null on the extended list
};

struct GlyphCacheSlot {
    int32_t Used;
    GlyphCacheEntry* Entry;
};

constexpr int GlyphCache_MaxCells = 2024;
// The largest side of a cache cell: a cell must fit the largest cache texture several times.
constexpr int GlyphCache_MaxCellSize = 4096;
constexpr int GlyphCache_DirectCount = 65536;
constexpr int GlyphCache_ExtendedMax = 1024;
constexpr int Font_ImageGlyphMax = 256;
constexpr int Font_FaceNameLength = 256;

// The GDI part of a font (VtFontWin).
struct CFont {
    int32_t NoOutline;                // no glyph outlines: glyphs drawn with TextOutW
    HBITMAP Bitmap;                   // 8-bit DIB section, cell size square (no-outline fonts)
    void* BitmapBits;
    int32_t BitmapPitch;
    HFONT Font;
    GLYPHSET* UnicodeRanges;
    void* GlyphBuffer;
    uint32_t GlyphBufferSize;         // only grows
};

struct FontHandleRecord {
    HandleHeader Header;
    CFont* Platform;                  // points at Win below
    int* DeleteFlag;
    int32_t IsFontFile;
    // Font data (fonts made from "FNTF" data keep their image here: the copy of the data, the
    // unpacked header, the glyph tables and the decode buffer).
    void* FontDataImage;
    uint32_t FontDataSize;
    uint8_t* FontDataHeader;
    const FontDataGlyph* FontDataGlyphs;
    const uint8_t* FontDataImages;
    uint64_t FontDataImageBytes;      // bytes from FontDataImages to the end of the copy
    int32_t FontDataSourceKind;
    const FontDataGlyph** FontDataDirect;   // 65536 glyph records by code
    const FontDataGlyph** FontDataWide;
    uint32_t FontDataWideCount;
    uint8_t* FontDataDecodeBuffer;
    uint32_t FontDataDecodeSize;
    // Glyph cache.
    GlyphCacheEntry Entries[GlyphCache_MaxCells + 1];
    GlyphCacheSlot Direct[GlyphCache_DirectCount];
    int32_t ExtendedCount;
    GlyphCacheEntry* Extended[GlyphCache_ExtendedMax];
    int32_t NextCell;
    int32_t CellCount;
    uint8_t* MemCachePixels;
    uint16_t* MemCacheSpans;          // per cell row: first column with ink and the column after the last
    int32_t MemCachePitch;
    int32_t MemCacheBits;
    FontDataKerningPair* KerningPairs;
    int32_t ImageGlyphCount;
    GlyphCacheEntry ImageGlyphs[Font_ImageGlyphMax];
    char FaceNameNarrow[Font_FaceNameLength];
    wchar_t FaceName[Font_FaceNameLength];
    uint16_t Thickness;
    uint16_t Size;
    uint16_t Height;
    uint16_t VerticalOffset;
    uint8_t Italic;
    uint16_t CellSize;
    uint16_t CharSet;
    int16_t CodePage;
    int16_t Ascent;
    uint32_t KerningPairCount;
    int32_t CodeOverride;
    int32_t CharSpacing;
    int32_t LineSpacingSet;
    int32_t LineSpacing;
    FontType Type;
    int32_t EdgeSize;
    BaseImage EdgeBrush;
    int32_t CacheImageWidth;
    int32_t CacheImageHeight;
    int32_t CellsPerColumn;
    uint8_t* WorkBuffer;
    int32_t WorkBufferSize;
    int32_t CacheGraph;
    int32_t EdgeGraph;
    int32_t ResourcesLost;
    BaseImage CacheImage;
    int32_t TextureColorBits;
    int32_t Premultiplied;
    float TextureWidth;
    float TextureHeight;
    float TextureWidthInverse;
    float TextureHeightInverse;
    int32_t UpdatePending;
    int32_t UpdateRect[4];            // left, top, right, bottom, inclusive
    int32_t TextureCache;
    CFont Win;
};

// ---- The manager ----
struct DefaultFontSettings {
    wchar_t FaceName[Font_FaceNameLength];
    int32_t Size, Thickness, Type, CharSet, EdgeSize, Italic, CharSpacing;
    int32_t SizeSet, ThicknessSet, TypeSet, CharSetSet, EdgeSizeSet, ItalicSet, CharSpacingSet, FaceNameSet;
    int32_t CharSetChanged;
    int32_t BuiltIn;                  // 1 while the default font is the built-in 8 x 16 font
};

struct FontManagerState {
    int32_t Initialised;
    FontHandle DefaultHandle = -1;
    DefaultFontSettings Defaults;
    uint32_t FullWidthSpace;          // U+3000 in the wide code
    uint8_t BitCount[256];
    uint8_t Level16To17[16];
    uint8_t Level255To16[256];
    uint8_t Level15To64[16];
    uint8_t Level255To64[256];
    // The built-in 8 x 16 font: its decoded glyph image and the 128 glyph graphs.
    void* BuiltInImage;
    uint32_t BuiltInImageSize;
    int32_t BuiltInGlyphs[128];
};
extern FontManagerState FontManager;

// ---- Public ----
int CreateFontToHandleWithParam(const FontCreateParam* param, const wchar_t* faceName, int size, int thickness,
                                int fontType, int charSet, int edgeSize, int italic, int reuseHandle,
                                int asynchronous);
int IsFontHandleValid(int fontHandle);
int GetFontCreateSizeToHandle(int fontHandle);
int GetFontCharSpacingToHandle(int fontHandle);
int GetFontParamsToHandleW(wchar_t* faceName, int* size, int* thickness, int fontHandle, int* fontType,
                           int* charSet, int* edgeSize, int* italic);
int SetDefaultFontParamsW(const wchar_t* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                          int italic);
int SetFontCharSpacing(int spacing);
int SetFontCharSpacingToHandle(int spacing, int fontHandle);
int SetFontDeleteFlagToHandle(int fontHandle, int* flag);
int ResetFontHandles();
// Text drawing and measuring in UTF-16 (VtFontDraw): length in code units (0 draws nothing); the
// width takes (length, cap): length 0 means up to the terminator, then limited by a cap >= 0.
int DrawTextToHandleW(int x, int y, const wchar_t* text, int length, unsigned int color, int fontHandle,
                      unsigned int edgeColor, int vertical);
int GetTextWidthToHandleW(const wchar_t* text, int length, int cap, int fontHandle, int vertical);

// ---- Internal ----
FontHandleRecord* Font_GetRecord(int fontHandle);
int Font_GetCharCodeFormat(int fontHandle);
int Font_SetCharCodeFormat(int format, int fontHandle);
int Font_SetLineSpacing(int spacing, int fontHandle);
void Font_CreateParam_Init(FontCreateParam* param);
// The edge brush of an edge size above 4 (a filled circle of that radius); 0 below. -1 (logged) when
// the size is beyond any cell or the image cannot be made.
int Font_MakeEdgeBrush(FontHandleRecord* font, int edgeSize);
int Font_Create_Worker(const FontCreateParam* param, FontHandle handle, const wchar_t* faceName, int size,
                       int thickness, int fontType, int charSet, int edgeSize, int italic, int asynchronous);
int Font_GetDefaultHandle();
int Font_RefreshDefaultFont();
int Font_Manager_Initialize();
int Font_Manager_Terminate();
int Font_Manager_ResetHandles(int terminating);
int Font_RecreateAllHandles();

}  // namespace Vantrel
