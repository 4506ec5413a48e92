// The text engine: one pass over a UTF-16 text that advances the pen by each glyph's advance, the
// char spacing and kerning, breaks lines at line feeds, and either only measures or draws each glyph:
// cache cells and image glyphs through the graph draw calls, memory-cache cells pixel by pixel into a
// memory image (turned a quarter clockwise for vertical writing).
// Stands on the glyph cache, the draw settings, the graph draw calls and memory images.
#include "font/VtFontText.h"

#include <emmintrin.h>
#include <stdint.h>
#include <string.h>

#include "font/VtFontCache.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

int32_t Font_TextDrawing = 0;

namespace {

constexpr int FixedUnits = 1024;
uint32_t EngineCodes[FixedUnits], EngineSelectors[FixedUnits];

// Colour channels of one text colour and its packed pixel in the destination's layout.
struct TextColor {
    int Red, Green, Blue;
    uint32_t Packed;
};

// How a memory-road destination stores its pixels.
struct PixelLayout {
    int Bytes;                        // 1, 2 or 4
    int ColorType;
    int AlphaShift;                   // -1 without an alpha plane
};

PixelLayout LayoutOf(const MEMIMG* image)
{
    const MemImgBody* body = image->body;
    PixelLayout layout = {4, body->colorType, -1};
    switch (body->colorType) {
    case MemImgColorType_R5G6B5:
        layout.Bytes = body->hasAlpha ? 4 : 2;
        layout.AlphaShift = body->hasAlpha ? 16 : -1;
        break;
    case MemImgColorType_XRGB8: layout.AlphaShift = body->hasAlpha ? 24 : -1; break;
    case MemImgColorType_One8: layout.Bytes = 1; break;
    default: layout.Bytes = 2; break;
    }
    return layout;
}

uint32_t PackChannels(int colorType, int red, int green, int blue)
{
    if (colorType == MemImgColorType_R5G6B5)
        return (uint32_t)(red >> 3) << 11 | (uint32_t)(green >> 2) << 5 | (uint32_t)(blue >> 3);
    return (uint32_t)red << 16 | (uint32_t)green << 8 | (uint32_t)blue;
}

inline void WritePixel(uint8_t* at, const PixelLayout& layout, uint32_t value)
{
    switch (layout.Bytes) {
    case 1: *at = (uint8_t)value; break;
    case 2: memcpy(at, &value, 2); break;
    default: memcpy(at, &value, 4); break;
    }
}

inline uint32_t WithAlpha(const PixelLayout& layout, uint32_t packed, int alpha)
{
    if (layout.AlphaShift < 0) return packed;
    return (packed & ~(0xFFu << layout.AlphaShift)) | (uint32_t)alpha << layout.AlphaShift;
}

// Alpha of an antialiasing level 1-15 of the memory cache (15: full ink).
inline int LevelAlpha(int level) { return level >= 15 ? 255 : level * 16; }

// The cache value of glyph pixel (gx, gy) of a memory-cache cell.
inline int CellValue(FontHandleRecord* font, const GlyphCacheEntry* entry, int gx, int gy)
{
    const uint8_t* row = Font_GlyphCache_CellRow(font, entry, gy);
    return font->MemCacheBits == 1 ? (row[gx >> 3] >> (7 - (gx & 7))) & 1 : row[gx];
}

// The pixel a memory-cache value (not 0) of a glyph of the font type stands for, in the layout.
uint32_t GlyphPixel(FontType type, int value, const PixelLayout& layout, const TextColor& color, const TextColor& edge)
{
    if (type == VT_FONTTYPE_NORMAL) return WithAlpha(layout, color.Packed, 255);
    if (type == VT_FONTTYPE_EDGE) return WithAlpha(layout, value == 1 ? color.Packed : edge.Packed, 255);
    if (!Font_TypeHasEdge(type)) return WithAlpha(layout, color.Packed, LevelAlpha(value));
    const int body = value & 15, rim = value >> 4;
    if (body == 15) return WithAlpha(layout, color.Packed, 255);
    if (body == 0) return WithAlpha(layout, edge.Packed, rim * 16);
    const int alpha = 16 * body + (15 - body) * rim;
    const int weight = 4096 * body / alpha;
    auto mix = [weight](int c, int e) { return e + (c - e) * weight / 256; };
    const uint32_t packed =
        PackChannels(layout.ColorType, mix(color.Red, edge.Red), mix(color.Green, edge.Green), mix(color.Blue, edge.Blue));
    return WithAlpha(layout, packed, alpha);
}

// Blending one cache value onto a destination pixel, per 16-bit lane (blue, green, red, spare):
// out = Colour + Inverse x destination / 255 (rounded), where Colour is the value's glyph pixel times
// its alpha / 255 (rounded) and Inverse is 255 - alpha; both are 0 in the spare lane, which leaves the
// spare byte 0. This is a composed work image's blend at full strength, split so that the glyph
// pixel's half is worked out once per text; the two halves never add up to more than 255. Value 0
// (Colour 0, Inverse 255 in every lane) leaves the pixel as it is.
struct alignas(16) BlendStep {
    uint16_t Inverse[4];
    uint16_t Colour[4];
};

// The steps of every cache value for one font type and pair of colours, kept while they stay.
struct BlendTable {
    int Valid;
    FontType Type;
    TextColor Color, Edge;
    BlendStep Steps[256];
};
BlendTable TextBlend;

inline uint32_t Mul255(uint32_t x, uint32_t y)
{
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

const BlendTable& BlendTableFor(FontType type, const TextColor& color, const TextColor& edge)
{
    BlendTable& table = TextBlend;
    if (table.Valid && table.Type == type && memcmp(&table.Color, &color, sizeof(color)) == 0 &&
        memcmp(&table.Edge, &edge, sizeof(edge)) == 0)
        return table;
    const PixelLayout layout = {4, MemImgColorType_XRGB8, 24};
    // Without an edge every value from 15 up is full ink.
    const int values = Font_TypeHasEdge(type) ? 256 : 16;
    for (int v = 0; v < 256; v++) {
        BlendStep& step = table.Steps[v];
        if (v >= values) {
            step = table.Steps[15];
            continue;
        }
        const uint32_t word = v == 0 ? 0 : GlyphPixel(type, v, layout, color, edge);
        const uint32_t alpha = word >> 24;
        for (int lane = 0; lane < 3; lane++) {
            step.Colour[lane] = (uint16_t)Mul255((word >> (8 * lane)) & 255, alpha);
            step.Inverse[lane] = (uint16_t)(255 - alpha);
        }
        step.Colour[3] = step.Inverse[3] = 0;
    }
    // Pixels of value 0 stay as they are, spare byte included.
    for (int lane = 0; lane < 4; lane++) table.Steps[0].Colour[lane] = 0, table.Steps[0].Inverse[lane] = 255;
    table.Type = type;
    table.Color = color;
    table.Edge = edge;
    table.Valid = 1;
    return table;
}

// Four pixels at `at` with four cache values blended onto them.
inline __m128i BlendFour(const __m128i* at, const uint8_t* values, const BlendStep* steps)
{
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128), by257 = _mm_set1_epi16(257);
    const __m128i s0 = _mm_load_si128((const __m128i*)&steps[values[0]]);
    const __m128i s1 = _mm_load_si128((const __m128i*)&steps[values[1]]);
    const __m128i s2 = _mm_load_si128((const __m128i*)&steps[values[2]]);
    const __m128i s3 = _mm_load_si128((const __m128i*)&steps[values[3]]);
    const __m128i d = _mm_loadu_si128(at);
    // (t + 128) x 257 / 65536 is the rounded t / 255 of Mul255 for every t up to 255 x 255.
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi64(s0, s1));
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpacklo_epi64(s2, s3));
    lo = _mm_add_epi16(_mm_mulhi_epu16(_mm_add_epi16(lo, half), by257), _mm_unpackhi_epi64(s0, s1));
    hi = _mm_add_epi16(_mm_mulhi_epu16(_mm_add_epi16(hi, half), by257), _mm_unpackhi_epi64(s2, s3));
    return _mm_packus_epi16(lo, hi);
}

// Lanes a last group of 0, 1, 2 or 3 pixels keeps as they were.
alignas(16) constexpr uint32_t TailKeep[4][4] = {
    {~0u, ~0u, ~0u, ~0u}, {0, ~0u, ~0u, ~0u}, {0, 0, ~0u, ~0u}, {0, 0, 0, ~0u}};

// Blends n cache values onto n destination pixels, four at a time whatever the values are:
// branches on the values would be guessed wrong too often. The last one to three pixels go as a group of four too when `room` (the pixels of
// the destination row from the first one on) holds it, the lanes past the n kept as they were; the
// values read past the n lie inside the cache block (its span table follows the cells).
void BlendCoverageRow(uint32_t* destination, const uint8_t* values, int n, int64_t room, const BlendTable& table)
{
    const BlendStep* steps = table.Steps;
    const int whole = n & ~3;
    for (int x = 0; x < whole; x += 4) {
        __m128i* at = (__m128i*)(destination + x);
        _mm_storeu_si128(at, BlendFour(at, values + x, steps));
    }
    if (whole + 4 <= room) {
        __m128i* at = (__m128i*)(destination + whole);
        const __m128i keep = _mm_load_si128((const __m128i*)TailKeep[n - whole]);
        const __m128i before = _mm_loadu_si128(at);
        _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(keep, before), _mm_andnot_si128(keep, BlendFour(at, values + whole, steps))));
        return;
    }
    for (int x = whole; x < n; x++) {
        if (values[x] == 0) continue;
        const BlendStep& step = steps[values[x]];
        const uint32_t d = destination[x];
        uint32_t out = 0;
        for (int lane = 0; lane < 3; lane++)
            out |= (step.Colour[lane] + Mul255((d >> (8 * lane)) & 255, step.Inverse[lane])) << (8 * lane);
        destination[x] = out;
    }
}

// Eight pixels of a byte of a 1-bit cell (bit 7 the left one) as word masks: all ones where ink is.
struct alignas(16) InkMaskTable {
    uint32_t Words[256][8];
};

constexpr InkMaskTable MakeInkMasks()
{
    InkMaskTable table = {};
    for (int bits = 0; bits < 256; bits++)
        for (int k = 0; k < 8; k++) table.Words[bits][k] = (bits >> (7 - k)) & 1 ? 0xFFFFFFFFu : 0;
    return table;
}
constexpr InkMaskTable InkMasks = MakeInkMasks();

// Eight pixels from `at` on: ink where the byte's bits are set, the others as they were.
inline void WriteInkByte(uint32_t* at, unsigned bits, __m128i ink)
{
    const __m128i* masks = (const __m128i*)InkMasks.Words[bits];
    __m128i* to = (__m128i*)at;
    const __m128i left = _mm_loadu_si128(to), right = _mm_loadu_si128(to + 1);
    _mm_storeu_si128(to, _mm_or_si128(_mm_and_si128(masks[0], ink), _mm_andnot_si128(masks[0], left)));
    _mm_storeu_si128(to + 1, _mm_or_si128(_mm_and_si128(masks[1], ink), _mm_andnot_si128(masks[1], right)));
}

// The rows of a 1-bit upright glyph whose whole bytes lie inside the clip and the destination: the
// inked bytes of each row's span.
void WriteInkRows(uint32_t* row, int pitch, const uint8_t* source, int sourcePitch, const uint16_t* span, int rows,
                  __m128i ink)
{
    for (int y = 0; y < rows; y++, source += sourcePitch, span += 2, row = (uint32_t*)((uint8_t*)row + pitch)) {
        const int end = (span[1] + 7) >> 3;
        for (int byte = span[0] >> 3; byte < end; byte++)
            if (source[byte] != 0) WriteInkByte(row + byte * 8, source[byte], ink);
    }
}

// Writes one memory-cache glyph into the destination: (left, top) is where the glyph's top-left
// pixel lands for horizontal text; for vertical text the glyph turned a quarter clockwise fills
// (right - h, top) to (right, top + w).
void DrawMemoryGlyph(FontHandleRecord* font, const GlyphCacheEntry* entry, MEMIMG* destination, const int32_t* clip,
                     int vertical, int left, int top, int right, const TextColor& color, const TextColor& edge,
                     int blend, const BlendTable* blendTable)
{
    const int w = entry->Width, h = entry->Height;
    int32_t rect[4];
    if (vertical) {
        rect[0] = right - h, rect[1] = top, rect[2] = right, rect[3] = top + w;
    } else {
        rect[0] = left, rect[1] = top, rect[2] = left + w, rect[3] = top + h;
    }
    const int32_t unclipped[4] = {rect[0], rect[1], rect[2], rect[3]};
    Math_Rect_Clip(rect, clip);
    if (rect[2] <= rect[0] || rect[3] <= rect[1]) return;
    const PixelLayout layout = blend ? PixelLayout{4, MemImgColorType_XRGB8, 24} : LayoutOf(destination);
    const int pitch = destination->body->pitch;
    const FontType type = font->Type;
    if (!vertical && type == VT_FONTTYPE_NORMAL && layout.Bytes == 4 && !blend) {
        // One bit per pixel, upright: whole empty bytes are skipped, ink is written as words.
        const uint32_t ink = WithAlpha(layout, color.Packed, 255);
        const __m128i inkFour = _mm_set1_epi32((int)ink);
        const int safeLeft = clip[0] > 0 ? clip[0] : 0;
        const int safeRight = clip[2] < destination->width ? clip[2] : destination->width;
        if (memcmp(rect, unclipped, sizeof(rect)) == 0 && unclipped[0] >= safeLeft &&
            (int64_t)unclipped[0] + ((w + 7) & ~7) <= safeRight) {
            WriteInkRows((uint32_t*)((uint8_t*)destination->pixels + (int64_t)rect[1] * pitch) + unclipped[0], pitch,
                         Font_GlyphCache_CellRow(font, entry, 0), font->MemCachePitch,
                         Font_GlyphCache_CellSpan(font, entry, 0), h, inkFour);
            return;
        }
        const int from = rect[0] - unclipped[0], to = rect[2] - unclipped[0];
        const uint8_t* source = Font_GlyphCache_CellRow(font, entry, rect[1] - unclipped[1]);
        const uint16_t* span = Font_GlyphCache_CellSpan(font, entry, rect[1] - unclipped[1]);
        uint32_t* row = (uint32_t*)((uint8_t*)destination->pixels + (int64_t)rect[1] * pitch) + unclipped[0];
        const int sourcePitch = font->MemCachePitch;
        // Eight columns lying wholly inside the clip and the destination are written at once, the
        // pixels without ink as they were.
        const int safeFrom = safeLeft - unclipped[0], safeTo = safeRight - unclipped[0];
        for (int y = rect[1]; y < rect[3]; y++, source += sourcePitch, span += 2, row = (uint32_t*)((uint8_t*)row + pitch)) {
            const int first = span[0] > from ? span[0] : from, end = span[1] < to ? span[1] : to;
            if (first >= end) continue;
            for (int byte = first >> 3; byte <= (end - 1) >> 3; byte++) {
                unsigned bits = source[byte];
                if (bits == 0) continue;
                // Only the columns inside the clip, then one write per set bit (bit 7 is the left).
                const int first = byte * 8;
                if (first < from) bits &= 0xFFu >> (from - first);
                if (first + 8 > to) bits &= (0xFFu << (first + 8 - to)) & 0xFFu;
                if (first >= safeFrom && first + 8 <= safeTo) {
                    WriteInkByte(row + first, bits, inkFour);
                    continue;
                }
                while (bits != 0) {
                    const int k = __builtin_clz(bits) - 24;
                    row[first + k] = ink;
                    bits &= ~(0x80u >> k);
                }
            }
        }
        return;
    }
    auto glyphValue = [&](int x, int y) {
        if (vertical) return CellValue(font, entry, y - unclipped[1], unclipped[2] - 1 - x);
        return CellValue(font, entry, x - unclipped[0], y - unclipped[1]);
    };
    if (blend && !vertical && font->MemCacheBits == 8 && blendTable != nullptr &&
        memcmp(rect, unclipped, sizeof(rect)) == 0 && unclipped[0] >= 0 &&
        (int64_t)unclipped[0] + ((w + 3) & ~3) <= destination->width) {
        // Upright glyph of byte values wholly inside the clip: every row in groups of four, the same
        // number for every row (the values past the glyph's width are 0 in the cell).
        const int groups = (w + 3) & ~3;
        const uint8_t* source = Font_GlyphCache_CellRow(font, entry, 0);
        uint32_t* row = (uint32_t*)((uint8_t*)destination->pixels + (int64_t)rect[1] * pitch) + unclipped[0];
        for (int y = 0; y < h; y++, source += font->MemCachePitch, row = (uint32_t*)((uint8_t*)row + pitch))
            for (int x = 0; x < groups; x += 4) {
                __m128i* at = (__m128i*)(row + x);
                _mm_storeu_si128(at, BlendFour(at, source + x, blendTable->Steps));
            }
        return;
    }
    if (blend && !vertical && font->MemCacheBits == 8 && blendTable != nullptr) {
        // Upright glyph of byte values cut by the clip: the inked part of each row inside it (in
        // pieces of up to 256 pixels), blended by the text's table.
        const int gy = rect[1] - unclipped[1];
        const uint8_t* source = Font_GlyphCache_CellRow(font, entry, gy);
        const uint16_t* span = Font_GlyphCache_CellSpan(font, entry, gy);
        const int origin = unclipped[0];
        uint32_t* row = (uint32_t*)((uint8_t*)destination->pixels + (int64_t)rect[1] * pitch) + origin;
        for (int y = rect[1]; y < rect[3]; y++, source += font->MemCachePitch, span += 2, row = (uint32_t*)((uint8_t*)row + pitch)) {
            // Columns from the glyph's left.
            for (int x = rect[0] - origin; x < rect[2] - origin; x += 256) {
                int first = x > span[0] ? x : span[0];
                int end = rect[2] - origin - x < 256 ? rect[2] - origin : x + 256;
                if (end > span[1]) end = span[1];
                while (first < end && source[first] == 0) first++;
                while (end > first && source[end - 1] == 0) end--;
                if (first < end)
                    BlendCoverageRow(row + first, source + first, end - first,
                                     (int64_t)destination->width - (origin + first), *blendTable);
            }
        }
        return;
    }
    if (blend) {
        // The pixels the work image would hold, blended a row at a time onto the destination.
        uint32_t words[256];
        for (int y = rect[1]; y < rect[3]; y++) {
            uint32_t* row = (uint32_t*)((uint8_t*)destination->pixels + (int64_t)y * pitch);
            for (int x = rect[0]; x < rect[2]; x += 256) {
                const int n = rect[2] - x < 256 ? rect[2] - x : 256;
                for (int i = 0; i < n; i++) {
                    const int value = glyphValue(x + i, y);
                    words[i] = value == 0 ? 0 : GlyphPixel(type, value, layout, color, edge);
                }
                MemImg_BlendArgbRow(row + x, words, n);
            }
        }
        return;
    }
    for (int y = rect[1]; y < rect[3]; y++) {
        uint8_t* row = (uint8_t*)destination->pixels + (int64_t)y * pitch;
        for (int x = rect[0]; x < rect[2]; x++) {
            const int value = glyphValue(x, y);
            if (value != 0) WritePixel(row + (int64_t)x * layout.Bytes, layout, GlyphPixel(type, value, layout, color, edge));
        }
    }
}

// Draws an image glyph's graph onto a memory image, tinted by the text colour, inside the clip.
void DrawMemoryImageGlyph(const GlyphCacheEntry* entry, MEMIMG* destination, const int32_t* clip, int x, int y)
{
    GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(entry->Index, 0);
    if (graph == nullptr || !MemImg_IsValid(&graph->memImage)) return;
    MemImg_DrawImage(destination, &graph->memImage, x, y, 1);
}

// Texture road, one glyph through the graph draw calls.
struct TextureRoad {
    FontHandleRecord* Font;
    uint32_t Color, Edge;             // 0x00RRGGBB brightness values
    int SavedIgnore;
    uint32_t SavedBright;
    int IntegerPositions;
    int Scaled;
    int Vertical;
    double PenX, PenY;                // the pen with the shift (whole numbers with integer positions)
    double ScaleX, ScaleY;            // 1 when unscaled
    float HalfPixel;                  // -0.5 on devices whose quads need the half-pixel shift, else 0
};

void SetBright(uint32_t rgb) { SetDrawColorBrightness((int)(rgb >> 16) & 255, (int)(rgb >> 8) & 255, (int)rgb & 255); }

// A quadrangle of a whole graph turned a quarter clockwise: the graph's top-left corner at (right, top),
// its top row running down the right edge, its left column running left along the top edge.
void DrawTurnedGraph(float right, float top, float left, float bottom, float hp, int graph)
{
    DrawGraphQuadF(right + hp, top + hp, right + hp, bottom + hp, left + hp, bottom + hp, left + hp, top + hp, graph, 1);
}

// Runs `draw` with the draw area narrowed to (left, top, right, bottom) inside the current one, and
// restores the area afterwards; nothing is drawn when the two do not meet.
template <typename Draw>
void WithNarrowedArea(int left, int top, int right, int bottom, Draw draw)
{
    const RECT saved = DrawSettings.DrawArea;
    int32_t area[4] = {left, top, right, bottom};
    const int32_t current[4] = {saved.left, saved.top, saved.right, saved.bottom};
    Math_Rect_Clip(area, current);
    if (area[2] <= area[0] || area[3] <= area[1]) return;
    Graphics_DrawSetting_SetDrawAreaRect(area[0], area[1], area[2], area[3]);
    draw();
    Graphics_DrawSetting_SetDrawAreaRect(saved.left, saved.top, saved.right, saved.bottom);
}

// One cell of the cache graph (or of the edge graph) for horizontal text, at the along position p
// and line offset l: whole pixels at integer positions, else the bordered cell at float places,
// stretched by the scale when scaled.
void DrawHorizontalCell(const TextureRoad& road, const GlyphCacheEntry* entry, double p, double l, int left, int top,
                        int graph)
{
    const int w = entry->Width, h = entry->Height, ox = entry->OffsetX, oy = entry->OffsetY;
    if (road.Scaled) {
        const float x1 = (float)(road.PenX + p + (ox - 1) * road.ScaleX), y1 = (float)(road.PenY + l + (oy - 1) * road.ScaleY);
        DrawGraphPartStretchedF(x1, y1, x1 + (float)((w + 2) * road.ScaleX), y1 + (float)((h + 2) * road.ScaleY), left - 1,
                                top - 1, w + 2, h + 2, graph, 1);
    } else if (road.IntegerPositions) {
        DrawGraphPart((int)road.PenX + ox + (int)p, (int)road.PenY + oy + (int)l, left, top, w, h, graph, 1, 0, 0);
    } else {
        DrawGraphPartF((float)(road.PenX + p + ox - 1), (float)(road.PenY + l + oy - 1), left - 1, top - 1, w + 2, h + 2,
                       graph, 1, 0, 0);
    }
}

// One cell turned a quarter clockwise for vertical text. At integer positions unscaled, the whole
// graph is turned so that the glyph's cell lands in place and the draw area is narrowed to the
// glyph; otherwise a graph of the bordered cell is derived, turned and drawn, and deleted again.
void DrawVerticalCell(const TextureRoad& road, const GlyphCacheEntry* entry, double p, double l, int left, int top,
                      int graph, int graphWidth, int graphHeight)
{
    const FontHandleRecord* font = road.Font;
    const int w = entry->Width, h = entry->Height, ox = entry->OffsetX, oy = entry->OffsetY, H = font->Height;
    const double sx = road.ScaleX, sy = road.ScaleY;
    const float hp = road.HalfPixel;
    if (road.IntegerPositions && !road.Scaled) {
        const int R = (int)road.PenX + (H - oy) - (int)l, T = (int)road.PenY + ox + (int)p;
        const float gx = (float)(R + top), gy = (float)(T - left);
        WithNarrowedArea(R - h - 1, T, R + 1, T + w, [&] {
            DrawTurnedGraph(gx, gy, gx - (float)graphHeight, gy + (float)graphWidth, hp, graph);
        });
        return;
    }
    const double R = road.PenX + (H - oy + 1) * sx - (road.IntegerPositions ? (int)l : l);
    const double T = road.PenY + (ox - 1) * sy + (road.IntegerPositions ? (int)p : p);
    const double L = R - (h + 2) * sx, B = T + (w + 2) * sy;
    const int cell = DeriveGraphRect(left - 1, top - 1, w + 2, h + 2, graph);
    if (cell < 0) return;
    auto draw = [&] { DrawTurnedGraph((float)R, (float)T, (float)L, (float)B, hp, cell); };
    if (road.IntegerPositions)
        WithNarrowedArea((int)(R - (int)((h + 2) * sx)) - 1, (int)T - 1, (int)R + 1, (int)B + 1, draw);
    else
        draw();
    DeleteGraph(cell);
}

// One glyph of the texture road (or an image glyph) at along position p and line offset l.
void DrawTextureGlyph(TextureRoad& road, const GlyphCacheEntry* entry, double p, double l)
{
    const int blendGraph = DrawSettings.BlendGraph;
    const int border = DrawSettings.BlendGraphBorderParam, range = DrawSettings.BlendGraphBorderRange;
    if (blendGraph > 0) SetBlendGraphTwoParam(-1, 0, 0);
    const int w = entry->Width, h = entry->Height, ox = entry->OffsetX, oy = entry->OffsetY;
    const double sx = road.ScaleX, sy = road.ScaleY;
    FontHandleRecord* font = road.Font;
    if (entry->Image) {
        Graphics_DrawSetting_SetIgnoreTextureColor(road.SavedIgnore);
        SetBright(road.Color);
        const double pp = road.IntegerPositions ? (int)p : p, ll = road.IntegerPositions ? (int)l : l;
        if (road.Vertical) {
            const double R = road.PenX + (font->Height - oy) * sx - ll, T = road.PenY + ox * sy + pp;
            DrawTurnedGraph((float)R, (float)T, (float)(R - h * sx), (float)(T + w * sy), road.HalfPixel, entry->Index);
        } else if (road.Scaled) {
            const float x1 = (float)(road.PenX + p + ox * sx), y1 = (float)(road.PenY + l + oy * sy);
            DrawGraphStretchedF(x1, y1, x1 + (float)(w * sx), y1 + (float)(h * sy), entry->Index, 1);
        } else if (road.IntegerPositions) {
            DrawGraphAt((int)road.PenX + ox + (int)p, (int)road.PenY + oy + (int)l, entry->Index, 1);
        } else {
            DrawGraphAtF((float)(road.PenX + p + ox), (float)(road.PenY + l + oy), entry->Index, 1);
        }
    } else {
        const int cell = font->CellSize;
        const int left = entry->Column * cell + 1, top = entry->Row * cell + 1;
        const int halfWidth = font->CacheImageWidth, height = font->CacheImageHeight;
        Graphics_DrawSetting_SetIgnoreTextureColor(1);
        const int edged = Font_TypeHasEdge(font->Type) && font->EdgeGraph >= 0;
        // Edge part first, the body over it.
        for (int part = edged ? 0 : 1; part < 2; part++) {
            SetBright(part == 0 ? road.Edge : road.Color);
            const int graph = part == 0 ? font->EdgeGraph : font->CacheGraph;
            const int graphWidth = part == 0 || !Font_TypeHasEdge(font->Type) ? halfWidth : 2 * halfWidth;
            if (road.Vertical)
                DrawVerticalCell(road, entry, p, l, left, top, graph, graphWidth, height);
            else
                DrawHorizontalCell(road, entry, p, l, left, top, graph);
        }
    }
    if (blendGraph > 0) SetBlendGraphTwoParam(blendGraph, border, range);
}

int Finish(int result, void* block)
{
    if (block != nullptr) Memory_Free(block);
    Font_TextDrawing = 0;
    return result;
}

}  // namespace

void Font_SplitTextColor(uint32_t color, int* red, int* green, int* blue)
{
    if (GraphicsSystemState.DeviceValid) {
        *red = (int)(color >> 16) & 255, *green = (int)(color >> 8) & 255, *blue = (int)color & 255;
        return;
    }
    const ColorFormatDesc* format =
        MemImg_GetColorData(GetScreenColorBitDepth() == 16 ? MemImgColorType_R5G6B5 : MemImgColorType_XRGB8, 0, 0);
    auto channel = [color](uint32_t mask, int shift, int width) {
        const uint32_t top = (1u << width) - 1, value = (color & mask) >> shift;
        return width <= 0 ? 0 : width == 8 ? (int)value : (int)(value * 255 / top);
    };
    *red = channel(format->redMask, format->redShift, format->redWidth);
    *green = channel(format->greenMask, format->greenShift, format->greenWidth);
    *blue = channel(format->blueMask, format->blueShift, format->blueWidth);
}

FontTextRequest Font_TextRequest_Measure(FontHandleRecord* font, const wchar_t* text, int length, int vertical)
{
    FontTextRequest request = {};
    request.IntegerPositions = 1;
    request.ScaleX = request.ScaleY = 1.0;
    request.Text = text;
    request.Font = font;
    request.Length = length;
    request.Vertical = vertical;
    return request;
}

int Font_TextEngine(const FontTextRequest& request)
{
    FontHandleRecord* font = request.Font;
    if (font->TextureCache && !Graphics_Dispatch_Device_IsValid()) return -1;
    Font_TextDrawing = 1;
    if (request.SizeOut != nullptr) request.SizeOut[0] = request.SizeOut[1] = 0;
    if (request.LinesOut != nullptr) *request.LinesOut = 0;

    const int memoryRoad = request.Destination != nullptr || !font->TextureCache;
    int integerPositions = request.IntegerPositions;
    double sx = request.ScaleX, sy = request.ScaleY;
    if (memoryRoad) {
        integerPositions = 1;
        if (request.Scaled) return Finish(-1, nullptr);
        sx = sy = 1.0;
    } else if (!request.Scaled) {
        sx = sy = 1.0;
    }
    const int vertical = request.Vertical;
    const double along = vertical ? sy : sx, across = vertical ? sx : sy;

    // Colours: channels, the brightness, then the pixel format (memory road) or brightness values.
    TextColor color = {}, edge = {};
    TextColor* const colors[2] = {&color, &edge};
    Font_SplitTextColor(request.Color, &color.Red, &color.Green, &color.Blue);
    Font_SplitTextColor(request.EdgeColor, &edge.Red, &edge.Green, &edge.Blue);
    const uint32_t bright = DrawSettings.DrawBright & 0xFFFFFF;
    if (bright != 0xFFFFFF) {
        const int br = (int)(bright >> 16) & 255, bg = (int)(bright >> 8) & 255, bb = (int)bright & 255;
        for (TextColor* c : colors) {
            c->Red = c->Red * br / 255;
            c->Green = c->Green * bg / 255;
            c->Blue = c->Blue * bb / 255;
        }
    }
    PixelLayout layout = {4, MemImgColorType_XRGB8, -1};
    if (request.Draw && memoryRoad && request.Destination != nullptr && MemImg_IsValid(request.Destination))
        layout = LayoutOf(request.Destination);
    for (TextColor* c : colors)
        c->Packed = memoryRoad ? PackChannels(layout.ColorType, c->Red, c->Green, c->Blue)
                               : (uint32_t)c->Red << 16 | (uint32_t)c->Green << 8 | (uint32_t)c->Blue;
    if (request.Draw && memoryRoad && layout.Bytes == 1) {
        color.Packed = request.Color & 0xFF;
        edge.Packed = request.EdgeColor & 0xFF;
    }

    const wchar_t* text = request.Text;
    if (text == nullptr || text[0] == 0 || request.Length == 0) return Finish(0, nullptr);
    int length = request.Length;
    if (length < 0) {
        length = 0;
        while (text[length] != 0) length++;
    }
    uint32_t *codes = EngineCodes, *selectors = EngineSelectors;
    void* block = nullptr;
    if (length > FixedUnits) {
        block = Memory_Allocate((uint32_t)((int64_t)length * 8), __FILE__, __LINE__);
        if (block == nullptr) return Finish(-1, nullptr);
        codes = (uint32_t*)block;
        selectors = codes + length;
    }
    int count = 0;
    if (Font_GlyphCache_PrepareText(font, text, length, codes, selectors, &count) < 0) return Finish(-1, block);

    // Pen, with the shift that puts the top of the glyphs at the pen.
    const int halfOffset = font->VerticalOffset / 2;
    double shift = halfOffset * sy;
    if (integerPositions) shift = (int)shift;
    double penX = integerPositions ? request.X : request.FX, penY = integerPositions ? request.Y : request.FY;
    if (vertical)
        penX -= shift;
    else
        penY -= shift;
    const double lineAdvance = (font->LineSpacingSet ? font->LineSpacing : font->Height - font->VerticalOffset) * across;

    MEMIMG* destination = request.Draw && memoryRoad ? request.Destination : nullptr;
    if (request.Draw && memoryRoad && (destination == nullptr || !MemImg_IsValid(destination))) destination = nullptr;
    const int32_t noClip[4] = {0, 0, destination != nullptr ? destination->width : 0,
                               destination != nullptr ? destination->height : 0};
    const int32_t* clip = request.Clip != nullptr ? request.Clip : noClip;

    // Memory-road image glyphs are composed inside the clip, tinted by the text colour, copied plainly.
    int32_t savedArea[4];
    memcpy(savedArea, MemImgState.drawArea, sizeof(savedArea));
    const uint32_t savedMemBright = MemImgState.brightColor;
    const int savedMode = MemImgState.blendMode, savedParam = MemImgState.blendParam;
    int imageGlyphSetUp = 0;

    TextureRoad road = {};
    road.Font = font;
    road.Color = color.Packed, road.Edge = edge.Packed;
    road.SavedBright = DrawSettings.DrawBright;
    road.IntegerPositions = integerPositions;
    road.Scaled = request.Scaled;
    road.Vertical = vertical;
    road.PenX = penX, road.PenY = penY;
    road.ScaleX = sx, road.ScaleY = sy;
    road.HalfPixel = font->TextureCache && !Graphics_Caps_GetNoHalfPixelOffset() ? -0.5f : 0.0f;
    const int textureDraw = request.Draw && !memoryRoad;
    if (textureDraw) {
        road.SavedIgnore = Graphics_DrawSetting_GetIgnoreTextureColor();
        if (!Font_TypeHasEdge(font->Type)) SetBright(road.Color);
    }

    // The full-width space is U+3000 itself: characters of other planes that share its low bits draw.
    const uint32_t fullWidthSpace = 0x3000;
    double p = 0, l = 0, maximum = 0;
    int lines = 0;
    const int H = font->Height;
    // Blended drawing: the steps of every cache value, worked out once for the text's colours.
    const BlendTable* blendTable =
        request.Draw && request.Blend && destination != nullptr ? &BlendTableFor(font->Type, color, edge) : nullptr;
    // Boxes of the glyphs drawn so far: the right end of the current line's, the bottom of earlier lines'.
    int overlap = vertical ? 1 : 0;
    int lineRight = INT32_MIN, lineBottom = INT32_MIN, earlierBottom = INT32_MIN;
    for (int i = 0; i < count; i++) {
        const uint32_t code = codes[i];
        const GlyphCacheEntry* entry = nullptr;
        if (code != 0x0A) {
            // The common case in one table access: a cached character of the direct table.
            if (code <= 0xFFFF && selectors[i] == 0 && font->ImageGlyphCount == 0 && font->Direct[code].Used)
                entry = font->Direct[code].Entry;
            if (entry == nullptr) {
                FontHandleRecord* owner = nullptr;
                entry = Font_GlyphCache_Lookup(font, code, selectors[i], &owner, nullptr, nullptr, 1);
            }
        }
        const int blank = entry == nullptr || code == 0x0A || code == 0x20 || code == fullWidthSpace ||
                          (entry->Width == 0 && entry->Height == 0);
        if (request.OverlapOut != nullptr && !blank && !overlap) {
            const int left = entry->OffsetX + (int)p, top = entry->OffsetY + (int)l;
            overlap = entry->Image || left < lineRight || top < earlierBottom;
            if (left + entry->Width > lineRight) lineRight = left + entry->Width;
            if (top + entry->Height > lineBottom) lineBottom = top + entry->Height;
        }
        if (request.Draw && !blank) {
            const int ox = entry->OffsetX, oy = entry->OffsetY;
            if (memoryRoad && destination != nullptr) {
                const int px = (int)penX, py = (int)penY;
                if (entry->Image) {
                    if (!imageGlyphSetUp) {
                        MemImg_SetDrawArea(clip);
                        MemImg_SetDrawBright((uint32_t)color.Red << 16 | (uint32_t)color.Green << 8 | (uint32_t)color.Blue);
                        MemImg_SetBlendMode(0, 255);
                        imageGlyphSetUp = 1;
                    }
                    // Image glyphs stand upright in vertical text too.
                    const int gx = vertical ? px + H - oy - (int)l - entry->Height : px + ox + (int)p;
                    const int gy = vertical ? py + ox + (int)p : py + oy + (int)l;
                    DrawMemoryImageGlyph(entry, destination, clip, gx, gy);
                } else {
                    DrawMemoryGlyph(font, entry, destination, clip, vertical, px + ox + (int)p, vertical ? py + ox + (int)p : py + oy + (int)l,
                                    px + H - oy - (int)l, color, edge, request.Blend, blendTable);
                }
            } else if (textureDraw) {
                DrawTextureGlyph(road, entry, p, l);
            }
        }
        if (code == 0x0A) {
            lines++;
            p = 0;
            l += lineAdvance;
            if (lineBottom > earlierBottom) earlierBottom = lineBottom;
            lineRight = INT32_MIN;
        } else {
            p += ((entry != nullptr ? entry->Advance : 0) + font->CharSpacing) * along;
        }
        if (font->KerningPairCount > 0 && font->KerningPairs != nullptr && i < count - 1) {
            const uint32_t next = codes[i + 1];
            const FontDataKerningPair* pairs = nullptr;
            uint32_t pairCount = 0;
            if (entry != nullptr && code != 0x0A) {
                pairs = entry->Kerning;
                pairCount = entry->KerningCount;
            } else {
                uint32_t first = 0;
                while (first < font->KerningPairCount && font->KerningPairs[first].First != code) first++;
                pairs = font->KerningPairs + first;
                while (first + pairCount < font->KerningPairCount && pairs[pairCount].First == code) pairCount++;
            }
            for (uint32_t k = 0; k < pairCount; k++)
                if (pairs[k].Second == next) {
                    p += pairs[k].Amount * along;
                    break;
                }
        }
        if (p > maximum) maximum = p;
    }

    if (imageGlyphSetUp) {
        MemImg_SetDrawArea(savedArea);
        MemImg_SetDrawBright(savedMemBright);
        MemImg_SetBlendMode(savedMode, savedParam);
    }
    if (textureDraw) {
        Graphics_DrawSetting_SetIgnoreTextureColor(road.SavedIgnore);
        SetBright(road.SavedBright);
    }
    const double extent = (H - font->VerticalOffset) * across + l;
    if (request.SizeOut != nullptr) {
        request.SizeOut[0] = (int)(vertical ? extent : maximum);
        request.SizeOut[1] = (int)(vertical ? maximum : extent);
    }
    if (request.LinesOut != nullptr) *request.LinesOut = lines + 1;
    if (request.OverlapOut != nullptr) *request.OverlapOut = overlap;
    return Finish((int)maximum, block);
}

}  // namespace Vantrel
