// The glyph cache: cell geometry and set-up, the direct table (characters up to U+FFFF without a
// selector) and the extended list (all others), text preparation that caches a whole text's missing
// glyphs in one GDI run, and the conversion of one rasterised glyph into cell pixels for every font
// type, in the memory cache or in the CPU image behind a cache texture.
// Stands on the font records, base images, the graphics core's state and VtFontWin.
#include "font/VtFontCache.h"

#include <string.h>

#include "font/VtFontData.h"
#include "font/VtFontWin.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

// ---- UTF-16 --------------------------------------------------------------------------------------

static inline uint32_t Font_Utf16Unit(const wchar_t* text, int at, int page)
{
    const uint32_t unit = (uint16_t)text[at];
    return page == CodePage_Utf16BE ? ((unit >> 8) | (unit << 8)) & 0xFFFF : unit;
}

int String_DecodeUtf16Char(const wchar_t* text, int units, int page, uint32_t* code)
{
    *code = 0;
    if (units <= 0) return 0;
    const uint32_t high = Font_Utf16Unit(text, 0, page);
    if (high == 0) return 0;
    // A high surrogate needs a second unit inside the text; at the end it stands alone.
    if ((high & 0xFC00) != 0xD800 || units < 2) {
        *code = high;
        return 1;
    }
    const uint32_t low = Font_Utf16Unit(text, 1, page);
    *code = (((high & 0x3FF) << 10) | (low & 0x3FF)) + 0x10000;
    return 2;
}

// ---- Geometry and set-up -------------------------------------------------------------------------

static inline int Font_FloorDiv(int value, int divisor)
{
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

void Font_GlyphCache_Reset(FontHandleRecord* font)
{
    memset(font->Direct, 0, sizeof(font->Direct));
    memset(font->Entries, 0, sizeof(font->Entries));
    font->ExtendedCount = 0;
    const int perColumn = font->CellsPerColumn > 0 ? font->CellsPerColumn : 1;
    for (int i = 0; i < font->CellCount; i++) {
        font->Entries[i].Index = i;
        font->Entries[i].Column = i / perColumn;
        font->Entries[i].Row = i % perColumn;
    }
    font->Entries[font->CellCount].Index = -1;
    font->NextCell = 0;
}

// The cache graph: an empty graph of the whole cache image (both halves for edge fonts) that every
// screen-mode sweep keeps, the edge graph derived from its right half, and the resources-lost flag
// registered as its lost flag so that a device loss asks for a new texture.
int Font_GlyphCache_CreateCacheGraph(FontHandleRecord* font, int asynchronous)
{
    const int antialiased = Font_TypeIsAntialiased(font->Type);
    const int edge = Font_TypeHasEdge(font->Type);
    GraphCreateParam param;
    Graphics_Image_InitGraphFormatParam(&param, antialiased ? font->TextureColorBits : 16, antialiased, !antialiased);
    param.keepAlways = 1;
    const int keepGraphs = GetDeleteGraphsOnModeChange();
    SetDeleteGraphsOnModeChange(0);
    const int width = font->CacheImageWidth, height = font->CacheImageHeight;
    font->CacheGraph =
        Graphics_Image_MakeEmptyGraph_GParam(&param, edge ? width * 2 : width, height, 0, 0, 0, 0, asynchronous);
    font->EdgeGraph = -1;
    if (font->CacheGraph >= 0 && edge) {
        font->EdgeGraph = Graphics_Image_DeriveGraphRect_GParam(0, width, (float)width, 0, 0.0f, width, (float)width,
                                                                height, (float)height, font->CacheGraph, asynchronous);
        if (font->EdgeGraph < 0) Font_GlyphCache_DeleteCacheGraph(font);
    }
    SetDeleteGraphsOnModeChange(keepGraphs);
    if (font->CacheGraph < 0) return -1;
    SetGraphLostNotifyFlag(font->CacheGraph, &font->ResourcesLost);
    int textureWidth = 0, textureHeight = 0;
    QueryGraphTextureSize(font->CacheGraph, &textureWidth, &textureHeight);
    font->TextureWidth = (float)textureWidth;
    font->TextureHeight = (float)textureHeight;
    font->TextureWidthInverse = textureWidth > 0 ? 1.0f / textureWidth : 0.0f;
    font->TextureHeightInverse = textureHeight > 0 ? 1.0f / textureHeight : 0.0f;
    return 0;
}

void Font_GlyphCache_DeleteCacheGraph(FontHandleRecord* font)
{
    if (font->EdgeGraph >= 0 && Graphics_Image_CheckGraphHandle(font->EdgeGraph)) DeleteGraph(font->EdgeGraph);
    if (font->CacheGraph >= 0 && Graphics_Image_CheckGraphHandle(font->CacheGraph)) {
        SetGraphLostNotifyFlag(font->CacheGraph, nullptr);
        DeleteGraph(font->CacheGraph);
    }
    font->CacheGraph = -1;
    font->EdgeGraph = -1;
}

// Copies a rectangle (right and bottom exclusive) of the cache image into the cache graph.
int Font_GlyphCache_UploadRect(FontHandleRecord* font, int left, int top, int right, int bottom)
{
    if (font->CacheGraph < 0 || font->CacheImage.pixels == nullptr) return -1;
    const BaseImageRect rect = {left, top, right, bottom};
    return Graphics_Image_BltImageRectToGraph(&font->CacheImage, nullptr, &rect, left, top, font->CacheGraph, 0);
}

int Font_GlyphCache_RefreshTexture(FontHandleRecord* font, int asynchronous)
{
    if (!font->ResourcesLost) return 0;
    font->ResourcesLost = 0;
    Font_GlyphCache_DeleteCacheGraph(font);
    if (Font_GlyphCache_CreateCacheGraph(font, asynchronous) < 0) return -1;
    Font_GlyphCache_Reset(font);
    return 0;
}

void Font_GlyphCache_Release(FontHandleRecord* font)
{
    if (font->MemCachePixels != nullptr) Memory_Free(font->MemCachePixels);
    font->MemCachePixels = nullptr;
    font->MemCacheSpans = nullptr;
    if (font->WorkBuffer != nullptr) Memory_Free(font->WorkBuffer);
    font->WorkBuffer = nullptr;
    font->WorkBufferSize = 0;
    Font_GlyphCache_DeleteCacheGraph(font);
    if (font->CacheImage.pixels != nullptr) BaseImage_Release(&font->CacheImage);
    memset(&font->CacheImage, 0, sizeof(font->CacheImage));
    font->CellCount = 0;
    font->TextureCache = 0;
}

static int Font_GlyphCache_SetupTexture(const FontCreateParam* param, FontHandleRecord* font, int asynchronous)
{
    const int cell = font->CellSize;
    const int edge = Font_TypeHasEdge(font->Type);
    int limitW = GraphicsSystemState.MaxTextureWidth > 0 ? GraphicsSystemState.MaxTextureWidth : 8192;
    int limitH = GraphicsSystemState.MaxTextureHeight > 0 ? GraphicsSystemState.MaxTextureHeight : 8192;
    if (edge) limitW /= 2;
    if (limitW > 8192) limitW = 8192;
    if (limitH > 8192) limitH = 8192;
    int width = 8, height = 8;
    int cells = (width / cell) * (height / cell);
    const int64_t screenPixels = (int64_t)GraphicsScreenState.ScreenWidth * GraphicsScreenState.ScreenHeight * 85 / 100;
    while (cells < GlyphCache_MaxCells &&
           (param->CacheCellCount > 0 ? cells < param->CacheCellCount
                                      : ((int64_t)width * height < screenPixels || cells < 10))) {
        if (width < limitW) {
            if (height < limitH && width > height)
                height *= 2;
            else
                width *= 2;
        } else if (height < limitH) {
            height *= 2;
        } else {
            break;
        }
        cells = (width / cell) * (height / cell);
    }
    if (cells > GlyphCache_MaxCells) cells = GlyphCache_MaxCells;
    if (cells <= 0) return -1;
    font->CellCount = cells;
    font->CellsPerColumn = height / cell;
    font->CacheImageWidth = width;
    font->CacheImageHeight = height;
    const int imageWidth = edge ? width * 2 : width;
    const int created = font->TextureColorBits == 32 ? BaseImage_CreateARGB8(imageWidth, height, &font->CacheImage) : -1;
    if (created < 0 && font->TextureColorBits == 32) {
        Log_AddTextShiftJIS("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
        return -2;
    }
    if (font->TextureColorBits == 16) {
        // 16 bits: four bits of alpha, white colour.
        BaseImage& image = font->CacheImage;
        memset(&image, 0, sizeof(image));
        BaseImage_ColorFormat_InitFromMasks(&image.format, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0, 0, 0);
        image.width = imageWidth;
        image.height = height;
        image.pitch = imageWidth * 2;
        image.pixels = Memory_Allocate((uint32_t)(image.pitch * (int64_t)height), __FILE__, __LINE__);
        if (image.pixels == nullptr) {
            Log_AddTextShiftJIS("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
            return -2;
        }
    }
    if (font->Premultiplied)
        BaseImage_Fill(&font->CacheImage, 0, 0, 0, 0);
    else
        BaseImage_Fill(&font->CacheImage, 255, 255, 255, 0);
    font->ResourcesLost = 1;
    if (Font_GlyphCache_RefreshTexture(font, asynchronous) < 0) {
        Log_AddTextShiftJIS("テクスチャ文字キャッシュの作成に失敗しました\n");
        BaseImage_Release(&font->CacheImage);
        memset(&font->CacheImage, 0, sizeof(font->CacheImage));
        return -1;
    }
    return 0;
}

int Font_GlyphCache_Setup(const FontCreateParam* param, FontHandleRecord* font, int asynchronous)
{
    const int edge = Font_TypeHasEdge(font->Type) ? font->EdgeSize : 0;
    int64_t cellSide = font->CellSize + 2 * (int64_t)edge;
    cellSide = (cellSide + 7) & ~(int64_t)7;
    int64_t heightSide = font->Height + 2 * (int64_t)edge;
    heightSide = (heightSide + 1) & ~(int64_t)1;
    if (cellSide < heightSide) cellSide = heightSide;
    // A cell of no pixels holds no glyph (and divides by zero below); one beyond the largest cache
    // texture cannot be stored at all.
    if (cellSide <= 0 || cellSide > GlyphCache_MaxCellSize) {
        Log_AddFormatShiftJIS("文字キャッシュのセルの大きさ %d は扱えません ( 1 から %d まで )\n",
                              (int)(cellSide > 0x7FFFFFFF ? 0x7FFFFFFF : cellSide), GlyphCache_MaxCellSize);
        return -1;
    }
    const int cell = (int)cellSide;
    font->CellSize = (uint16_t)cell;
    font->Height = (uint16_t)heightSide;

    font->TextureCache = GraphicsSystemState.DeviceValid && !param->CacheInMemoryImage ? 1 : 0;
    font->TextureColorBits = font->TextureCache && Font_TypeIsAntialiased(font->Type) && !param->Cache16BitTexture ? 32 : 16;
    font->Premultiplied = param->CachePremultipliedAlpha;
    font->UpdatePending = 0;
    if (font->TextureCache) {
        const int result = Font_GlyphCache_SetupTexture(param, font, asynchronous);
        if (result == -2) return -1;
        if (result < 0) font->TextureCache = 0;
    }
    if (!font->TextureCache) {
        const int bits = font->Type == VT_FONTTYPE_NORMAL ? 1 : 8;
        int count = param->CacheCellCount;
        if (count <= 0) {
            count = 0x50000 / (cell * cell);
            if (count < 20) count = 20;
        }
        if (count > GlyphCache_MaxCells) count = GlyphCache_MaxCells;
        font->MemCacheBits = bits;
        font->CellCount = count;
        font->CellsPerColumn = count;
        font->CacheImageWidth = cell;
        font->CacheImageHeight = count * cell;
        font->MemCachePitch = (bits * cell + 7) / 8;
        // The cells, then the ink span of every cell row in the same block.
        const int64_t bytes = ((int64_t)font->MemCachePitch * count * cell + 3) & ~(int64_t)3;
        const int64_t spanBytes = (int64_t)count * cell * 2 * (int64_t)sizeof(uint16_t);
        font->MemCachePixels = bytes + spanBytes <= 0x7FFFFFFF
                                   ? (uint8_t*)Memory_Allocate((uint32_t)(bytes + spanBytes), __FILE__, __LINE__)
                                   : nullptr;
        font->MemCacheSpans = font->MemCachePixels != nullptr ? (uint16_t*)(font->MemCachePixels + bytes) : nullptr;
        if (font->MemCachePixels == nullptr) {
            Log_AddTextShiftJIS("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
            return -1;
        }
    }
    // Edge fonts keep a second plane for the edge levels beside the body levels.
    const int64_t side = cell + 4;
    const int64_t workBytes = side * side * (edge > 0 ? 2 : 1);
    font->WorkBuffer = (uint8_t*)Memory_Allocate((uint32_t)workBytes, __FILE__, __LINE__);
    if (font->WorkBuffer == nullptr) {
        Log_AddTextShiftJIS("フォントの作業用バッファの作成に失敗しました\n");
        Font_GlyphCache_Release(font);
        return -1;
    }
    font->WorkBufferSize = (int32_t)workBytes;
    if (FontWin_SetupTextOutBitmap(param, font, asynchronous) < 0) {
        Font_GlyphCache_Release(font);
        return -1;
    }
    Font_GlyphCache_Reset(font);
    return 0;
}

// ---- Storing one glyph ---------------------------------------------------------------------------

static void Font_GlyphCache_Detach(FontHandleRecord* font, GlyphCacheEntry* entry)
{
    if (!entry->Used) return;
    if (entry->Slot != nullptr) {
        entry->Slot->Used = 0;
        entry->Slot->Entry = nullptr;
        entry->Slot = nullptr;
    } else {
        for (int i = 0; i < font->ExtendedCount; i++) {
            if (font->Extended[i] != entry) continue;
            memmove(font->Extended + i, font->Extended + i + 1, (size_t)(font->ExtendedCount - i - 1) * sizeof(void*));
            font->ExtendedCount--;
            break;
        }
    }
    entry->Used = 0;
}

static void Font_GlyphCache_Register(FontHandleRecord* font, GlyphCacheEntry* entry)
{
    if (entry->Code <= 0xFFFF && entry->Selector == 0) {
        GlyphCacheSlot& slot = font->Direct[entry->Code];
        if (slot.Used && slot.Entry != nullptr && slot.Entry != entry) {
            slot.Entry->Slot = nullptr;
            slot.Entry->Used = 0;
        }
        slot.Used = 1;
        slot.Entry = entry;
        entry->Slot = &slot;
    } else {
        if (font->ExtendedCount >= GlyphCache_ExtendedMax) {
            const int drop = font->Extended[0] != entry ? 0 : 1;
            font->Extended[drop]->Used = 0;
            memmove(font->Extended + drop, font->Extended + drop + 1,
                    (size_t)(font->ExtendedCount - drop - 1) * sizeof(void*));
            font->ExtendedCount--;
        }
        font->Extended[font->ExtendedCount++] = entry;
        entry->Slot = nullptr;
    }
    entry->Used = 1;
    entry->Image = 0;
}

static void Font_GlyphCache_SetKerning(FontHandleRecord* font, GlyphCacheEntry* entry)
{
    entry->Kerning = nullptr;
    entry->KerningCount = 0;
    const FontDataKerningPair* pairs = font->KerningPairs;
    uint32_t low = 0, high = font->KerningPairCount;
    if (pairs == nullptr) return;
    while (low < high) {
        const uint32_t middle = (low + high) / 2;
        if (pairs[middle].First < entry->Code)
            low = middle + 1;
        else
            high = middle;
    }
    uint32_t end = low;
    while (end < font->KerningPairCount && pairs[end].First == entry->Code) end++;
    if (end > low) {
        entry->Kerning = pairs + low;
        entry->KerningCount = end - low;
    }
}

// One source row of a rasterised glyph, or null above the glyph.
static inline const uint8_t* Font_SourceRow(const void* pixels, int pitch, int rows, int y)
{
    return y >= 0 && y < rows ? (const uint8_t*)pixels + (int64_t)y * pitch : nullptr;
}

// Normalises the source into `levels` (stride `stride`, outWidth x outHeight) and returns the top of
// the level scale: 1 for ink/no ink, 16, 64 or 255.
static int Font_GlyphCache_Normalise(const FontHandleRecord* font, int kind, const void* pixels, int width, int rows,
                                     int pitch, int offsetY, int outWidth, int outHeight, uint8_t* levels, int stride)
{
    const int memory = !font->TextureCache;
    const int wide = font->TextureCache && font->TextureColorBits == 32;
    const int f = kind == GlyphSource_Bit1x4 ? 4 : kind == GlyphSource_Bit1x8 ? 8 : kind == GlyphSource_Bit1x16 ? 16 : 1;
    int top = 1;
    for (int y = 0; y < outHeight; y++) {
        uint8_t* out = levels + (int64_t)y * stride;
        if (f > 1) {
            const int startRow = y * f - (((offsetY % f) + f) % f);
            for (int x = 0; x < outWidth; x++) {
                int count = 0;
                for (int r = 0; r < f; r++) {
                    const uint8_t* row = Font_SourceRow(pixels, pitch, rows, startRow + r);
                    if (row == nullptr) continue;
                    if (f == 4) {
                        const int byte = row[x / 2];
                        count += FontManager.BitCount[(x & 1) ? byte & 0x0F : byte >> 4];
                    } else {
                        for (int b = 0; b < f / 8; b++) count += FontManager.BitCount[row[x * (f / 8) + b]];
                    }
                }
                int level;
                if (memory || !wide) {
                    level = f == 4 ? count : f == 8 ? count / 4 : count / 16;
                    top = 16;
                } else if (f == 16) {
                    level = count > 255 ? 255 : count;
                    top = 255;
                } else {
                    level = f == 4 ? count * 4 : count;
                    top = 64;
                }
                out[x] = (uint8_t)level;
            }
            continue;
        }
        const uint8_t* row = Font_SourceRow(pixels, pitch, rows, y);
        for (int x = 0; x < outWidth; x++) {
            int level = 0;
            if (row != nullptr && x < width) {
                switch (kind) {
                case GlyphSource_Bit1: level = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
                case GlyphSource_Byte: level = row[x] != 0; break;
                case GlyphSource_Nibble: {
                    const int v = (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
                    level = memory || !wide ? FontManager.Level16To17[v] : FontManager.Level15To64[v];
                    break;
                }
                case GlyphSource_Level64: level = memory ? row[x] / 4 : row[x]; break;
                case GlyphSource_Level255: level = memory ? FontManager.Level255To16[row[x]] : row[x]; break;
                default: level = row[x] > 16 ? 16 : row[x]; break;
                }
            }
            out[x] = (uint8_t)level;
        }
        switch (kind) {
        case GlyphSource_Bit1: case GlyphSource_Byte: top = 1; break;
        case GlyphSource_Level64: top = memory ? 16 : 64; break;
        case GlyphSource_Level255: top = memory ? 16 : 255; break;
        default: top = memory || !wide ? 16 : 64; break;
        }
    }
    return top;
}

// Offsets of the brush of edge sizes 1 to 4: does (u, v) belong to the brush of size e?
static int Font_EdgePattern(int e, int u, int v)
{
    u = u < 0 ? -u : u;
    v = v < 0 ? -v : v;
    switch (e) {
    case 1: return u + v <= 1;
    case 2: return (v <= 1 && u <= 2) || (v == 2 && u <= 1);
    case 3: return (v == 0 && u <= 3) || ((v == 1 || v == 2) && u <= 2) || (v == 3 && u == 0);
    case 4: return (v <= 2 && u <= 4) || (v == 3 && u <= 3) || (v == 4 && u <= 2);
    default: return 0;
    }
}

static int Font_InBrush(const FontHandleRecord* font, int u, int v)
{
    const int e = font->EdgeSize;
    if (e <= 4) return Font_EdgePattern(e, u, v);
    const BaseImage& brush = font->EdgeBrush;
    if (brush.pixels == nullptr) return 0;
    return ((const uint8_t*)brush.pixels)[(int64_t)(v + e) * brush.pitch + (u + e)] != 0;
}

// Alpha (or channel) value of a level on a channel of `bits` bits.
static inline uint32_t Font_ScaleLevel(int level, int top, int bits)
{
    const uint32_t full = (1u << bits) - 1;
    if (level <= 0) return 0;
    if (top == 1 || level >= top) return full;
    if (top == 255) return (uint32_t)(((uint64_t)level << bits) / 256);
    return (uint32_t)(((uint64_t)level << bits) / (uint32_t)top - 1);
}

static uint32_t Font_TexturePixel(const FontHandleRecord* font, int level, int top)
{
    const ColorFormatDesc& format = font->CacheImage.format;
    if (font->Premultiplied)
        return Font_ScaleLevel(level, top, format.redWidth) << format.redShift |
               Font_ScaleLevel(level, top, format.greenWidth) << format.greenShift |
               Font_ScaleLevel(level, top, format.blueWidth) << format.blueShift |
               Font_ScaleLevel(level, top, format.alphaWidth) << format.alphaShift;
    return (format.redMask | format.greenMask | format.blueMask) |
           Font_ScaleLevel(level, top, format.alphaWidth) << format.alphaShift;
}

static void Font_TextureWrite(FontHandleRecord* font, int x, int y, uint32_t value)
{
    BaseImage& image = font->CacheImage;
    uint8_t* at = (uint8_t*)image.pixels + (int64_t)y * image.pitch + (int64_t)x * image.format.bytesPerPixel;
    if (image.format.bytesPerPixel == 4)
        *(uint32_t*)at = value;
    else
        *(uint16_t*)at = (uint16_t)value;
}

int Font_GlyphCache_StoreGlyph(FontHandleRecord* font, GlyphCacheEntry* entry, uint32_t code, uint32_t selector,
                               int blank, int sourceKind, const void* pixels, int width, int rows, int pitch,
                               int originX, int offsetY, int advance, int update)
{
    const int f = sourceKind == GlyphSource_Bit1x4 ? 4 : sourceKind == GlyphSource_Bit1x8 ? 8 : sourceKind == GlyphSource_Bit1x16 ? 16 : 1;
    const int e = Font_TypeHasEdge(font->Type) ? font->EdgeSize : 0;
    Font_GlyphCache_Detach(font, entry);
    entry->Code = code;
    entry->Selector = selector;
    Font_GlyphCache_SetKerning(font, entry);
    if (blank || pixels == nullptr || width <= 0 || rows <= 0) {
        entry->OffsetX = entry->OffsetY = 0;
        entry->Width = entry->Height = 0;
        entry->Advance = (int16_t)(Font_FloorDiv(advance + f / 4, f) + 2 * e);
        Font_GlyphCache_Register(font, entry);
        return 0;
    }
    entry->OffsetX = (int16_t)Font_FloorDiv(originX + f / 4, f);
    entry->Advance = (int16_t)(Font_FloorDiv(advance + f / 4, f) + 2 * e);
    entry->OffsetY = (int16_t)Font_FloorDiv(offsetY, f);
    const int bodyWidth = (width + f - 1) / f;
    const int bodyHeight = (rows + ((offsetY % f) + f) % f + f - 1) / f;

    // The area the glyph and its edge take, clipped to the cell (a texture cell keeps a 1-pixel border).
    const int cell = font->CellSize;
    const int room = font->TextureCache ? cell - 1 : cell;
    int boxWidth = bodyWidth + 2 * e, boxHeight = bodyHeight + 2 * e;
    if (boxWidth > room) boxWidth = room;
    if (boxHeight > room) boxHeight = room;
    entry->Width = (uint16_t)boxWidth;
    entry->Height = (uint16_t)boxHeight;

    // Body levels at (e, e) of the box; edge levels in the second plane.
    const int stride = cell + 4;
    uint8_t* body = font->WorkBuffer;
    uint8_t* edgePlane = e > 0 ? font->WorkBuffer + (int64_t)stride * stride : nullptr;
    memset(body, 0, (size_t)stride * stride);
    int innerWidth = boxWidth - e, innerHeight = boxHeight - e;
    if (innerWidth > bodyWidth) innerWidth = bodyWidth;
    if (innerHeight > bodyHeight) innerHeight = bodyHeight;
    const int top = Font_GlyphCache_Normalise(font, sourceKind, pixels, width, rows, pitch, offsetY,
                                              innerWidth > 0 ? innerWidth : 0, innerHeight > 0 ? innerHeight : 0,
                                              body + (int64_t)e * stride + e, stride);
    if (edgePlane != nullptr) {
        memset(edgePlane, 0, (size_t)stride * stride);
        for (int y = e; y < e + innerHeight; y++)
            for (int x = e; x < e + innerWidth; x++) {
                const int level = body[y * stride + x];
                if (level == 0) continue;
                // The edge reaches no further than the box: what lies beyond the cell is never stored.
                for (int v = -e; v <= e; v++) {
                    if (y + v >= boxHeight) break;
                    for (int u = -e; u <= e; u++) {
                        if (x + u >= boxWidth) break;
                        if (!Font_InBrush(font, u, v)) continue;
                        uint8_t& target = edgePlane[(y + v) * stride + (x + u)];
                        if (font->TextureCache) {
                            target = (uint8_t)(target + (top - target) * level / top);
                        } else {
                            const int value = top == 1 ? 1 : level - 1;
                            if (value > target) target = (uint8_t)value;
                        }
                    }
                }
            }
    }

    if (!font->TextureCache) {
        for (int y = 0; y < cell; y++) memset(Font_GlyphCache_CellRow(font, entry, y), 0, (size_t)font->MemCachePitch);
        for (int y = 0; y < boxHeight; y++) {
            uint8_t* out = Font_GlyphCache_CellRow(font, entry, y);
            for (int x = 0; x < boxWidth; x++) {
                const int level = body[y * stride + x];
                if (font->MemCacheBits == 1) {
                    if (level > 0) out[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
                } else if (e > 0 && font->Type == VT_FONTTYPE_EDGE) {
                    out[x] = level > 0 ? 1 : (edgePlane[y * stride + x] ? 2 : 0);
                } else if (e > 0) {
                    out[x] = (uint8_t)((level > 0 ? level - 1 : 0) | (edgePlane[y * stride + x] << 4));
                } else {
                    out[x] = (uint8_t)(top == 1 ? (level > 0 ? 15 : 0) : (level > 0 ? level - 1 : 0));
                }
            }
        }
        // The ink span of every row, so that drawing skips the empty columns and rows.
        for (int y = 0; y < cell; y++) {
            const uint8_t* row = Font_GlyphCache_CellRow(font, entry, y);
            int first = 0, end = y < boxHeight ? boxWidth : 0;
            auto inked = [&](int x) {
                return font->MemCacheBits == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x] != 0;
            };
            while (first < end && !inked(first)) first++;
            while (end > first && !inked(end - 1)) end--;
            if (first == end) first = end = 0;
            uint16_t* span = Font_GlyphCache_CellSpan(font, entry, y);
            span[0] = (uint16_t)first, span[1] = (uint16_t)end;
        }
    } else {
        const int left = entry->Column * cell, topRow = entry->Row * cell;
        const uint32_t clear = font->Premultiplied || e > 0 ? 0 : Font_TexturePixel(font, 0, top);
        const int halves = e > 0 ? 2 : 1;
        for (int half = 0; half < halves; half++)
            for (int y = 0; y < cell; y++)
                for (int x = 0; x < cell; x++)
                    Font_TextureWrite(font, left + x + half * font->CacheImageWidth, topRow + y, clear);
        for (int y = 0; y < boxHeight; y++)
            for (int x = 0; x < boxWidth; x++) {
                Font_TextureWrite(font, left + 1 + x, topRow + 1 + y, Font_TexturePixel(font, body[y * stride + x], top));
                if (e > 0)
                    Font_TextureWrite(font, left + 1 + x + font->CacheImageWidth, topRow + 1 + y,
                                      Font_TexturePixel(font, edgePlane[y * stride + x], top));
            }
        if (update) {
            int* rect = font->UpdateRect;
            if (!font->UpdatePending) {
                rect[0] = left, rect[1] = topRow, rect[2] = left + cell, rect[3] = topRow + cell;
            } else {
                if (left < rect[0]) rect[0] = left;
                if (topRow < rect[1]) rect[1] = topRow;
                if (left + cell > rect[2]) rect[2] = left + cell;
                if (topRow + cell > rect[3]) rect[3] = topRow + cell;
            }
            font->UpdatePending = 1;
        }
    }
    Font_GlyphCache_Register(font, entry);
    return 0;
}

int Font_GlyphCache_FlushUpdate(FontHandleRecord* font)
{
    if (!font->UpdatePending) return 0;
    font->UpdatePending = 0;
    const int* rect = font->UpdateRect;
    Font_GlyphCache_UploadRect(font, rect[0], rect[1], rect[2], rect[3]);
    if (Font_TypeHasEdge(font->Type))
        Font_GlyphCache_UploadRect(font, rect[0] + font->CacheImageWidth, rect[1], rect[2] + font->CacheImageWidth, rect[3]);
    return 0;
}

// ---- Adding and finding glyphs -------------------------------------------------------------------

GlyphCacheEntry* Font_GlyphCache_AddGlyphs(int count, const uint32_t* codes, const uint32_t* selectors,
                                           FontHandleRecord* font, int update)
{
    if (font->CellCount <= 0) return nullptr;
    if (font->TextureCache && !Graphics_Dispatch_Device_IsValid()) return nullptr;
    if (!font->IsFontFile && FontWin_BeginGlyphBatch(font) < 0) return nullptr;
    GlyphCacheEntry* result = nullptr;
    for (int i = 0; i < count; i++) {
        GlyphCacheEntry* entry = &font->Entries[font->NextCell];
        const uint32_t selector = selectors != nullptr ? selectors[i] : 0;
        const int rendered = font->IsFontFile ? Font_Data_RenderGlyph(font, entry, codes[i], selector, update)
                                              : FontWin_RenderGlyph(font, entry, codes[i], selector, update);
        if (rendered < 0) {
            result = nullptr;
            continue;
        }
        font->NextCell = font->NextCell + 1 >= font->CellCount ? 0 : font->NextCell + 1;
        result = entry;
    }
    Font_GlyphCache_FlushUpdate(font);
    if (!font->IsFontFile && FontWin_EndGlyphBatch(font) < 0) return nullptr;
    return result;
}

GlyphCacheEntry* Font_GlyphCache_Lookup(FontHandleRecord* font, uint32_t code, uint32_t selector,
                                        FontHandleRecord** fontOut, int* offsetX, int* offsetY, int imageGlyphs)
{
    if (fontOut != nullptr) *fontOut = font;
    if (offsetX != nullptr) *offsetX = 0;
    if (offsetY != nullptr) *offsetY = 0;
    if (imageGlyphs)
        for (int i = 0; i < font->ImageGlyphCount; i++)
            if (font->ImageGlyphs[i].Code == code && font->ImageGlyphs[i].Selector == selector) return &font->ImageGlyphs[i];
    if (code > 0xFFFF || selector != 0) {
        for (int i = 0; i < font->ExtendedCount; i++)
            if (font->Extended[i]->Code == code && font->Extended[i]->Selector == selector) return font->Extended[i];
    } else if (font->Direct[code].Used && font->Direct[code].Entry != nullptr) {
        return font->Direct[code].Entry;
    }
    return Font_GlyphCache_AddGlyphs(1, &code, &selector, font, 1);
}

// Module buffers of text preparation; longer texts get their own.
constexpr int PrepareText_FixedUnits = 1024;
static uint32_t PrepareCodes[PrepareText_FixedUnits], PrepareSelectors[PrepareText_FixedUnits];
static uint32_t CollectCodes[PrepareText_FixedUnits], CollectSelectors[PrepareText_FixedUnits];

int Font_GlyphCache_PrepareText(FontHandleRecord* font, const wchar_t* text, int length, uint32_t* codes,
                                uint32_t* selectors, int* count)
{
    if (length < 0) {
        length = 0;
        while (text[length] != 0) length++;
    }
    uint32_t* block = nullptr;
    uint32_t *outCodes = PrepareCodes, *outSelectors = PrepareSelectors;
    uint32_t *collectCodes = CollectCodes, *collectSelectors = CollectSelectors;
    if (length > PrepareText_FixedUnits) {
        if ((int64_t)length * 16 > 0x7FFFFFFF) return -1;
        block = (uint32_t*)Memory_Allocate((uint32_t)((int64_t)length * 16), __FILE__, __LINE__);
        if (block == nullptr) return -1;
        outCodes = block;
        outSelectors = block + length;
        collectCodes = block + 2 * (int64_t)length;
        collectSelectors = block + 3 * (int64_t)length;
    }
    if (codes != nullptr) outCodes = codes;
    if (selectors != nullptr) outSelectors = selectors;
    const int page = CharCode_GetWidePage();
    int characters = 0, collected = 0;
    for (int at = 0; at < length;) {
        uint32_t code = 0, selector = 0;
        // A unit that is no surrogate followed by one that is none either stands alone: selectors
        // take two units.
        const uint32_t unit = (uint16_t)text[at];
        if (page == CodePage_Utf16LE && unit != 0 && (unit & 0xF800) != 0xD800 &&
            (at + 1 >= length || ((uint16_t)text[at + 1] & 0xF800) != 0xD800)) {
            code = unit;
            at++;
        } else {
            const int used = String_DecodeUtf16Char(text + at, length - at, page, &code);
            if (used == 0) break;
            at += used;
            uint32_t next = 0;
            const int nextUsed = String_DecodeUtf16Char(text + at, length - at, page, &next);
            if (nextUsed > 0 && next >= 0xE0100 && next <= 0xE01EF) {
                selector = next;
                at += nextUsed;
            }
        }
        outCodes[characters] = code;
        outSelectors[characters] = selector;
        characters++;
        if (collected >= font->CellCount) continue;
        int image = 0;
        for (int i = 0; i < font->ImageGlyphCount && !image; i++)
            image = font->ImageGlyphs[i].Code == code && font->ImageGlyphs[i].Selector == selector;
        if (image) continue;
        if (code > 0xFFFF || selector != 0) {
            int known = 0;
            for (int i = 0; i < collected && !known; i++) known = collectCodes[i] == code && collectSelectors[i] == selector;
            for (int i = 0; i < font->ExtendedCount && !known; i++)
                known = font->Extended[i]->Code == code && font->Extended[i]->Selector == selector;
            if (known) continue;
        } else {
            if (font->Direct[code].Used) continue;
            font->Direct[code].Used = 1;  // tag: collected in this call
        }
        collectCodes[collected] = code;
        collectSelectors[collected] = selector;
        collected++;
    }
    for (int i = 0; i < collected; i++)
        if (collectCodes[i] <= 0xFFFF && collectSelectors[i] == 0) font->Direct[collectCodes[i]].Used = 0;
    if (collected > 0) Font_GlyphCache_AddGlyphs(collected, collectCodes, collectSelectors, font, 1);
    if (count != nullptr) *count = characters;
    if (block != nullptr) Memory_Free(block);
    return 0;
}

}  // namespace Vantrel
