// The colour-conversion blit: copies a rectangle between any two pixel formats with keying,
// dithering, mirroring and palette remapping. Common format pairs run specialised loops; one
// per-pixel path driven by the descriptors does everything else and is the reference the loops
// are held to. Also the whole-image copies, clears, mip halving and mirroring built on it.
// Stands on the base-image formats.
#include <emmintrin.h>

#include <cstring>

#include "image/VtBaseImage.h"

namespace Vantrel {

namespace {

struct BltOptions {
    int mirror;
    int keyToAlpha;
    uint32_t keyColor;
    int dither;
    int zeroColor;
    int alphaFromRed;
    int keySkip;
    int paletteRemap;
    int useAlphaImage;
};

// One side of the copy: first pixel of the rectangle's first row, pitch and descriptor.
struct BltSide {
    const uint8_t* pixels;
    int pitch;
    const ColorFormatDesc* desc;
};

inline uint32_t Blt_Read(const uint8_t* p, int bytes)
{
    switch (bytes) {
    case 1: return p[0];
    case 2: return (uint32_t)p[0] | (uint32_t)p[1] << 8;
    case 3: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    default: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    }
}

inline void Blt_Write(uint8_t* p, int bytes, uint32_t v)
{
    switch (bytes) {
    case 1: p[0] = (uint8_t)v; break;
    case 2: p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); break;
    case 3: p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); break;
    default: memcpy(p, &v, 4); break;
    }
}

inline bool Blt_IsPerChannel(const ColorFormatDesc* d) { return d->channelCount != 0; }
inline bool Blt_IsFloatOr16(const ColorFormatDesc* d)
{
    return d->channelCount != 0 && (d->isFloat || d->channelBits == 16);
}
inline bool Blt_HasAlpha(const ColorFormatDesc* d)
{
    if (d->channelCount != 0) return d->channelCount >= 4;
    return d->alphaMask != 0;
}

// Width conversion of one channel value from a source width to a destination width: narrowing
// keeps the top bits, widening spreads the value over the wider range.
inline uint32_t Blt_ConvertWidth(uint32_t v, int sourceWidth, int destinationWidth)
{
    const int n = sourceWidth - destinationWidth;
    if (n == 0 || sourceWidth == 0) return v;
    if (n > 0) return n >= 32 ? 0 : v >> n;
    const uint32_t maximum = (uint32_t)((1ull << sourceWidth) - 1);
    return (uint32_t)(((uint64_t)v << -n) + (uint64_t)v * ((1ull << -n) - 1) / maximum);
}

inline uint32_t Blt_FieldMax(uint32_t mask, int shift) { return mask >> shift; }

// ---------------------------------------------------------------------------------------------
// General path
// ---------------------------------------------------------------------------------------------

enum BltSourceKind { SourceMask, SourcePalette, SourceFloat, SourceHalf, SourceU16, SourceU8Channels };

inline float Blt_ReadChannelFloat(const uint8_t* p, const ColorFormatDesc* d, int c)
{
    if (c >= d->channelCount) return 1.0f;
    if (d->channelBits == 32) {
        float f;
        memcpy(&f, p + c * 4, 4);
        return f;
    }
    uint16_t h;
    memcpy(&h, p + c * 2, 2);
    return BaseImage_HalfToFloat(h);
}

inline uint32_t Blt_ReadChannelU16(const uint8_t* p, const ColorFormatDesc* d, int c)
{
    if (c >= d->channelCount) return 0xFFFF;
    uint16_t v;
    memcpy(&v, p + c * 2, 2);
    return v;
}

inline uint32_t Blt_FloatTo8(float c) { return c > 1.0f ? 255 : c > 0.0f ? (uint32_t)(c * 255.0f) : 0; }
inline uint32_t Blt_FloatTo16(float c) { return c > 1.0f ? 0xFFFF : c > 0.0f ? (uint32_t)(c * 65535.0f) : 0; }

// Writes four channel values (r, g, b, a) to a float or 16-bit-channel destination pixel.
inline void Blt_WriteChannels(uint8_t* p, const ColorFormatDesc* d, const float* f, const uint32_t* u, bool isFloat)
{
    for (int c = 0; c < d->channelCount && c < 4; c++) {
        if (d->isFloat) {
            const float value = isFloat ? f[c] : (float)u[c] / 65535.0f;
            if (d->channelBits == 32) {
                memcpy(p + c * 4, &value, 4);
            } else {
                const uint16_t h = BaseImage_FloatToHalf(value);
                memcpy(p + c * 2, &h, 2);
            }
        } else if (d->channelBits == 16) {
            const uint16_t value = (uint16_t)(isFloat ? Blt_FloatTo16(f[c]) : u[c]);
            memcpy(p + c * 2, &value, 2);
        } else {
            p[c] = (uint8_t)(isFloat ? Blt_FloatTo8(f[c]) : u[c] >> 8);
        }
    }
}

int Blt_General(uint8_t* dstRow, int dstPitch, const ColorFormatDesc* dd, BltSide src, BltSide alphaImage, int width,
                int height, const BltOptions& o)
{
    const ColorFormatDesc* sd = src.desc;
    ColorFormatDesc argb8;
    BltSourceKind kind;
    if (sd->channelCount != 0) {
        kind = sd->isFloat ? (sd->channelBits == 32 ? SourceFloat : SourceHalf)
                           : (sd->channelBits == 16 ? SourceU16 : SourceU8Channels);
    } else {
        kind = sd->bytesPerPixel == 1 ? SourcePalette : SourceMask;
    }
    const int sourceBytes = sd->bytesPerPixel;
    const bool channelSource = kind != SourceMask && kind != SourcePalette;
    const bool channelDestination = dd->channelCount != 0;
    const int destinationBytes = channelDestination ? dd->bytesPerPixel : dd->bytesPerPixel;
    const int step = o.mirror ? -destinationBytes : destinationBytes;
    if (o.mirror) dstRow += (int64_t)(width - 1) * destinationBytes;

    // Per-channel sources into a mask destination are first read as ARGB8 values.
    const ColorFormatDesc* md = sd;
    if (channelSource && !channelDestination) {
        memset(&argb8, 0, sizeof(argb8));
        BaseImage_ColorFormat_InitARGB8(&argb8);
        md = &argb8;
    }

    // Per-call constants of a mask or palette source.
    const uint32_t masks[4] = {md->redMask, md->greenMask, md->blueMask, md->alphaMask};
    const int shifts[4] = {md->redShift, md->greenShift, md->blueShift, md->alphaShift};
    const int widths[4] = {md->redWidth, md->greenWidth, md->blueWidth, md->alphaWidth};
    const uint32_t dMasks[4] = {dd->redMask, dd->greenMask, dd->blueMask, dd->alphaMask};
    const int dShifts[4] = {dd->redShift, dd->greenShift, dd->blueShift, dd->alphaShift};
    const int dWidths[4] = {dd->redWidth, dd->greenWidth, dd->blueWidth, dd->alphaWidth};
    const uint32_t dMax[4] = {Blt_FieldMax(dMasks[0], dShifts[0]), Blt_FieldMax(dMasks[1], dShifts[1]),
                              Blt_FieldMax(dMasks[2], dShifts[2]), Blt_FieldMax(dMasks[3], dShifts[3])};
    const uint32_t sourceUnion = masks[0] | masks[1] | masks[2] | masks[3];
    const bool sourceHasAlpha = md->alphaMask != 0;

    // Key skip: the key cut to the source depth and masks.
    uint32_t skipKey = o.keyColor;
    if (o.keySkip) {
        const int depth = kind == SourcePalette ? 8 : md->bitDepth;
        if (depth < 32) skipKey &= (1u << depth) - 1;
        if (kind != SourcePalette) skipKey &= sourceUnion;
    }

    // Key to alpha: the key's red, green and blue as the source stores them.
    uint32_t keyChannels[3] = {0, 0, 0};
    if (o.keyToAlpha) {
        const int kr = (o.keyColor >> 16) & 255, kg = (o.keyColor >> 8) & 255, kb = o.keyColor & 255;
        uint32_t keyValue = BaseImage_ColorFormat_PackColor(md, kr, kg, kb, 255);
        if (kind == SourcePalette) keyValue = sd->palette[keyValue & 255];
        for (int c = 0; c < 3; c++) keyChannels[c] = (keyValue & masks[c]) >> shifts[c];
    }
    const ColorFormatDesc* ad = alphaImage.desc;
    const int alphaImageRedWidth = o.useAlphaImage ? ad->redWidth : 0;

    // Dither: which channels drop bits, and how many.
    const bool ditherOn = o.dither != 0 && !channelDestination && dd->bytesPerPixel >= 2 && !channelSource &&
                          (widths[0] != dWidths[0] || widths[1] != dWidths[1] ||
                           (o.useAlphaImage && alphaImageRedWidth != dWidths[3]));
    static const uint8_t bayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
    uint32_t carry[4] = {0, 0, 0, 0};

    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        const uint8_t* a = o.useAlphaImage ? alphaImage.pixels + (int64_t)y * alphaImage.pitch : nullptr;
        uint8_t* d = dstRow;
        for (int x = 0; x < width; x++, s += sourceBytes, d += step) {
            uint32_t v = 0;
            if (channelSource) {
                float f[4];
                uint32_t u[4];
                for (int c = 0; c < 4; c++) {
                    if (kind == SourceFloat || kind == SourceHalf) {
                        f[c] = Blt_ReadChannelFloat(s, sd, c);
                    } else if (kind == SourceU16) {
                        u[c] = Blt_ReadChannelU16(s, sd, c);
                    } else {
                        u[c] = c < sd->channelCount ? (uint32_t)s[c] * 257 : 0xFFFF;
                    }
                }
                const bool isFloat = kind == SourceFloat || kind == SourceHalf;
                if (channelDestination) {
                    Blt_WriteChannels(d, dd, f, u, isFloat);
                    continue;
                }
                uint32_t c8[4];
                for (int c = 0; c < 4; c++) c8[c] = isFloat ? Blt_FloatTo8(f[c]) : u[c] >> 8;
                v = c8[3] << 24 | c8[0] << 16 | c8[1] << 8 | c8[2];
            } else {
                v = Blt_Read(s, sourceBytes);
                if (kind == SourcePalette) {
                    if (o.keySkip && v == skipKey) continue;
                    v = sd->palette[v];
                } else if (o.keySkip && (v & sourceUnion) == skipKey) {
                    continue;
                }
                if (channelDestination) {
                    float f[4];
                    uint32_t u[4];
                    for (int c = 0; c < 4; c++) {
                        const uint32_t maximum = masks[c] >> shifts[c];
                        if (maximum == 0) {
                            f[c] = 1.0f;
                            u[c] = 0xFFFF;
                        } else {
                            const uint32_t value = (v & masks[c]) >> shifts[c];
                            f[c] = (float)value / (float)maximum;
                            u[c] = (uint32_t)((uint64_t)value * 0xFFFF / maximum);
                        }
                    }
                    Blt_WriteChannels(d, dd, f, u, dd->isFloat != 0);
                    continue;
                }
            }

            // Channels at source width.
            uint32_t ch[4];
            for (int c = 0; c < 3; c++) ch[c] = (v & masks[c]) >> shifts[c];
            int alphaSourceWidth = dWidths[3];   // width the alpha value is at before conversion
            uint32_t alphaDropped = 0, alphaDroppedShift = 0;
            if (o.keyToAlpha) {
                const bool match = ch[0] == keyChannels[0] && ch[1] == keyChannels[1] && ch[2] == keyChannels[2];
                ch[3] = match ? 0 : dMax[3];
            } else if (o.useAlphaImage) {
                uint32_t av = Blt_Read(a + (int64_t)x * ad->bytesPerPixel, ad->bytesPerPixel);
                if (ad->bytesPerPixel == 1) av = ad->palette[av];
                ch[3] = (av & ad->redMask) >> ad->redShift;
                alphaSourceWidth = ad->redWidth;
                alphaDropped = av;
                alphaDroppedShift = ad->redShift;
            } else if (!sourceHasAlpha) {
                ch[3] = dMax[3];
            } else if (dMasks[3] == 0) {
                ch[3] = 0;
            } else {
                ch[3] = (v & masks[3]) >> shifts[3];
                alphaSourceWidth = widths[3];
                alphaDropped = v;
                alphaDroppedShift = shifts[3];
            }
            if (!o.keyToAlpha && o.alphaFromRed) {
                ch[3] = ch[0];
                alphaSourceWidth = widths[0];
                alphaDropped = v;
                alphaDroppedShift = shifts[0];
            }

            // Bits about to be dropped (for dither), then width conversion.
            uint32_t dropped[4] = {0, 0, 0, 0};
            int droppedCount[4] = {0, 0, 0, 0};
            uint32_t droppedShift[4] = {(uint32_t)shifts[0], (uint32_t)shifts[1], (uint32_t)shifts[2],
                                        alphaDroppedShift};
            const int sourceWidths[4] = {widths[0], widths[1], widths[2], alphaSourceWidth};
            for (int c = 0; c < 4; c++) {
                const int n = sourceWidths[c] - dWidths[c];
                if (ditherOn && n > 0 && n < 32 && dWidths[c] != 0) {
                    droppedCount[c] = n;
                    const uint32_t raw = c == 3 ? alphaDropped : v;
                    dropped[c] = raw & ((((1u << n) - 1)) << droppedShift[c]);
                }
                if (sourceWidths[c] != 0 && (c < 3 ? masks[c] != 0 : true))
                    ch[c] = Blt_ConvertWidth(ch[c], sourceWidths[c], dWidths[c]);
            }
            if (o.zeroColor) ch[0] = ch[1] = ch[2] = 0;
            if (ditherOn) {
                for (int c = 0; c < 4; c++) {
                    if (droppedCount[c] == 0 || (c < 3 && o.zeroColor)) continue;
                    if (c == 3 && o.keyToAlpha) continue;
                    const int n = droppedCount[c];
                    const uint32_t droppedMask = ((1u << n) - 1) << droppedShift[c];
                    bool up;
                    if (o.dither == 1) {
                        const uint32_t threshold = (((uint32_t)bayer[(x & 3) + (y & 3) * 4] << n) >> 4)
                                                   << droppedShift[c];
                        up = threshold < dropped[c];
                    } else {
                        carry[c] += dropped[c];
                        up = carry[c] > droppedMask;
                        if (up) carry[c] &= droppedMask;
                    }
                    if (up && ch[c] < dMax[c]) ch[c]++;
                }
            }
            uint32_t out = 0;
            for (int c = 0; c < 4; c++) {
                if (dMasks[c] == 0) continue;
                out |= (ch[c] << dShifts[c]) & dMasks[c];
            }
            switch (dd->bytesPerPixel) {
            case 1: d[0] = (uint8_t)out; break;
            case 2: Blt_Write(d, 2, out | dd->unusedMask); break;
            case 3: Blt_Write(d, 3, out); break;
            case 4: Blt_Write(d, 4, out | dd->unusedMask); break;
            default: break;
            }
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Format-pair loops
// ---------------------------------------------------------------------------------------------

enum PairLayout {
    LayoutNone = -1,
    LayoutPal8 = 0,
    LayoutRGB24,
    LayoutBGR24,
    LayoutXRGB8,
    LayoutARGB8,
    LayoutABGR8,
    LayoutR5G6B5,
    LayoutX1R5G5B5,
    LayoutA1R5G5B5,
    LayoutR5G5B5A1,
    LayoutA4R4G4B4,
    LayoutCount
};

struct PairLayoutInfo {
    int bytes;
    uint32_t red, green, blue, alpha;
};

constexpr PairLayoutInfo PairLayouts[LayoutCount] = {
    {1, 0xFF0000, 0xFF00, 0xFF, 0},   // palette entry layout; alpha decided by the descriptor
    {3, 0xFF0000, 0xFF00, 0xFF, 0},
    {3, 0xFF, 0xFF00, 0xFF0000, 0},
    {4, 0xFF0000, 0xFF00, 0xFF, 0},
    {4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    {4, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},
    {2, 0xF800, 0x7E0, 0x1F, 0},
    {2, 0x7C00, 0x3E0, 0x1F, 0},
    {2, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {2, 0xF800, 0x7C0, 0x3E, 0x1},
    {2, 0xF00, 0xF0, 0xF, 0xF000},
};

PairLayout Blt_FindLayout(const ColorFormatDesc* d)
{
    if (d->channelCount != 0 || d->formatCode != 0) return LayoutNone;
    if (d->bytesPerPixel == 1 && d->bitDepth == 8) return LayoutPal8;
    for (int i = 1; i < LayoutCount; i++) {
        const PairLayoutInfo& l = PairLayouts[i];
        if (d->bytesPerPixel == l.bytes && d->bitDepth == l.bytes * 8 && d->redMask == l.red &&
            d->greenMask == l.green && d->blueMask == l.blue && d->alphaMask == l.alpha)
            return (PairLayout)i;
    }
    return LayoutNone;
}

constexpr int MaskShift(uint32_t m)
{
    int s = 0;
    while (m != 0 && (m & 1) == 0) {
        m >>= 1;
        s++;
    }
    return s;
}

constexpr int MaskWidth(uint32_t m)
{
    m >>= MaskShift(m);
    int w = 0;
    while (m & 1) {
        m >>= 1;
        w++;
    }
    return w;
}

// One channel moved from a source field to a destination field: narrowing keeps the top bits,
// widening shifts left with zero low bits.
template <uint32_t SM, uint32_t DM>
inline uint32_t Pair_Channel(uint32_t v)
{
    constexpr int sw = MaskWidth(SM), dw = MaskWidth(DM), ss = MaskShift(SM), ds = MaskShift(DM);
    const uint32_t c = (v & SM) >> ss;
    if constexpr (sw >= dw) return (c >> (sw - dw)) << ds;
    else return (c << (dw - sw)) << ds;
}

// Rows of 32-bit pixels whose colour layout the destination shares: the colour bits (and an
// alpha both sides have) are kept, the rest becomes `add`. Four pixels at a time.
void Pair_Rows32Same(uint8_t* dstRow, int dstPitch, const BltSide& src, int width, int height, uint32_t keep,
                     uint32_t add)
{
    const __m128i keep4 = _mm_set1_epi32((int)keep), add4 = _mm_set1_epi32((int)add);
    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            const __m128i v = _mm_loadu_si128((const __m128i*)(s + x * 4));
            _mm_storeu_si128((__m128i*)(dstRow + x * 4), _mm_or_si128(_mm_and_si128(v, keep4), add4));
        }
        for (; x < width; x++) {
            uint32_t v;
            memcpy(&v, s + x * 4, 4);
            v = (v & keep) | add;
            memcpy(dstRow + x * 4, &v, 4);
        }
    }
}

// Rows of 24-bit pixels into 32-bit pixels of the same colour layout, four pixels at a time.
void Pair_Rows24To32(uint8_t* dstRow, int dstPitch, const BltSide& src, int width, int height, uint32_t add)
{
    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        uint32_t* d = (uint32_t*)dstRow;
        int x = 0;
        // Sixteen-byte loads of four pixels each, while the load stays inside the row.
        const __m128i low24 = _mm_set1_epi32(0xFFFFFF), add4 = _mm_set1_epi32((int)add);
        for (; x + 6 <= width; x += 4, s += 12) {
            const __m128i v = _mm_loadu_si128((const __m128i*)s);
            const __m128i p01 = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
            const __m128i p23 = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
            const __m128i p = _mm_or_si128(_mm_and_si128(_mm_unpacklo_epi64(p01, p23), low24), add4);
            _mm_storeu_si128((__m128i*)(d + x), p);
        }
        for (; x + 4 <= width; x += 4, s += 12) {
            uint32_t w[3];
            memcpy(w, s, 12);
            const uint32_t out[4] = {(w[0] & 0xFFFFFF) | add, (w[0] >> 24 | (w[1] & 0xFFFF) << 8) | add,
                                     (w[1] >> 16 | (w[2] & 0xFF) << 16) | add, (w[2] >> 8) | add};
            memcpy(d + x, out, 16);
        }
        for (; x < width; x++, s += 3) {
            const uint32_t v = ((uint32_t)s[0] | (uint32_t)s[1] << 8 | (uint32_t)s[2] << 16) | add;
            memcpy(d + x, &v, 4);
        }
    }
}

// Rows of R5G6B5 into XRGB8, channels widened by a plain shift; eight pixels at a time.
void Pair_RowsR5G6B5ToXRGB8(uint8_t* dstRow, int dstPitch, const BltSide& src, int width, int height, uint32_t add)
{
    const __m128i red = _mm_set1_epi16((short)0xF8), green = _mm_set1_epi16((short)0xFC);
    const __m128i top = _mm_set1_epi16((short)(add >> 16));
    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            const __m128i v = _mm_loadu_si128((const __m128i*)(s + x * 2));
            const __m128i r = _mm_and_si128(_mm_srli_epi16(v, 8), red);
            const __m128i g = _mm_and_si128(_mm_srli_epi16(v, 3), green);
            const __m128i b = _mm_srli_epi16(_mm_slli_epi16(v, 11), 8);
            const __m128i low = _mm_or_si128(_mm_slli_epi16(g, 8), b);
            const __m128i high = _mm_or_si128(r, top);
            _mm_storeu_si128((__m128i*)(dstRow + x * 4), _mm_unpacklo_epi16(low, high));
            _mm_storeu_si128((__m128i*)(dstRow + x * 4 + 16), _mm_unpackhi_epi16(low, high));
        }
        for (; x < width; x++) {
            const uint32_t v = (uint32_t)s[x * 2] | (uint32_t)s[x * 2 + 1] << 8;
            const uint32_t out = ((v >> 11) << 3) << 16 | (((v >> 5) & 63) << 2) << 8 | (v & 31) << 3 | add;
            memcpy(dstRow + x * 4, &out, 4);
        }
    }
}

template <int Src, int Dst, bool Key>
void Pair_Loop(uint8_t* dstRow, int dstPitch, const BltSide& src, int width, int height, uint32_t unusedBits,
               uint32_t keyColour)
{
    constexpr PairLayoutInfo S = PairLayouts[Src];
    constexpr PairLayoutInfo D = PairLayouts[Dst];
    constexpr uint32_t dAlphaFull = D.alpha;
    constexpr bool sameColours = S.red == D.red && S.green == D.green && S.blue == D.blue;
    if constexpr (!Key && sameColours && S.bytes == 4 && D.bytes == 4) {
        return Pair_Rows32Same(dstRow, dstPitch, src, width, height, S.red | S.green | S.blue | (S.alpha & D.alpha),
                               unusedBits | (S.alpha == 0 ? D.alpha : 0));
    } else if constexpr (!Key && sameColours && S.bytes == 3 && D.bytes == 4) {
        return Pair_Rows24To32(dstRow, dstPitch, src, width, height, unusedBits | D.alpha);
    } else if constexpr (!Key && Src == LayoutR5G6B5 && Dst == LayoutXRGB8) {
        return Pair_RowsR5G6B5ToXRGB8(dstRow, dstPitch, src, width, height, unusedBits);
    }
    const bool paletteAlpha = Src == LayoutPal8 && src.desc->alphaMask != 0;
    const uint32_t* palette = src.desc->palette;
    constexpr uint32_t rgbMask = S.red | S.green | S.blue;
    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        uint8_t* d = dstRow;
        for (int x = 0; x < width; x++, s += S.bytes, d += D.bytes) {
            uint32_t v;
            if constexpr (S.bytes == 4) memcpy(&v, s, 4);
            else v = Blt_Read(s, S.bytes);
            if constexpr (Src == LayoutPal8) v = palette[v];
            uint32_t out = Pair_Channel<S.red, D.red>(v) | Pair_Channel<S.green, D.green>(v) |
                           Pair_Channel<S.blue, D.blue>(v) | unusedBits;
            if constexpr (D.alpha != 0) {
                if constexpr (Key) {
                    if ((v & rgbMask) != keyColour) out |= dAlphaFull;
                } else if constexpr (Src == LayoutPal8) {
                    out |= paletteAlpha ? Pair_Channel<0xFF000000u, D.alpha>(v) : dAlphaFull;
                } else if constexpr (S.alpha == 0) {
                    out |= dAlphaFull;
                } else if constexpr (MaskWidth(S.alpha) == 1) {
                    if (v & S.alpha) out |= dAlphaFull;
                } else {
                    out |= Pair_Channel<S.alpha, D.alpha>(v);
                }
            }
            if constexpr (D.bytes == 4) memcpy(d, &out, 4);
            else Blt_Write(d, D.bytes, out);
        }
    }
}

typedef void (*PairLoopFunction)(uint8_t*, int, const BltSide&, int, int, uint32_t, uint32_t);

struct PairEntry {
    int src, dst, key;
    PairLoopFunction function;
};

#define VT_PAIR(S, D, K) {Layout##S, Layout##D, K, &Pair_Loop<Layout##S, Layout##D, K>}
const PairEntry PairTable[] = {
    VT_PAIR(Pal8, R5G6B5, false), VT_PAIR(Pal8, X1R5G5B5, false), VT_PAIR(Pal8, XRGB8, false),
    VT_PAIR(Pal8, ARGB8, false), VT_PAIR(Pal8, ABGR8, false),
    VT_PAIR(RGB24, X1R5G5B5, false), VT_PAIR(RGB24, R5G6B5, false), VT_PAIR(RGB24, XRGB8, false),
    VT_PAIR(RGB24, ARGB8, false), VT_PAIR(RGB24, ABGR8, false),
    VT_PAIR(BGR24, X1R5G5B5, false), VT_PAIR(BGR24, R5G6B5, false), VT_PAIR(BGR24, XRGB8, false),
    VT_PAIR(BGR24, ARGB8, false), VT_PAIR(BGR24, ABGR8, false),
    VT_PAIR(ARGB8, ABGR8, false), VT_PAIR(ARGB8, R5G6B5, false), VT_PAIR(ARGB8, X1R5G5B5, false),
    VT_PAIR(ARGB8, XRGB8, false), VT_PAIR(ARGB8, RGB24, false),
    VT_PAIR(XRGB8, ABGR8, false), VT_PAIR(XRGB8, R5G6B5, false), VT_PAIR(XRGB8, X1R5G5B5, false),
    VT_PAIR(XRGB8, ARGB8, false), VT_PAIR(XRGB8, RGB24, false),
    VT_PAIR(R5G6B5, RGB24, false), VT_PAIR(R5G6B5, XRGB8, false), VT_PAIR(R5G6B5, ABGR8, false),
    VT_PAIR(R5G6B5, X1R5G5B5, false), VT_PAIR(R5G6B5, A1R5G5B5, false),
    VT_PAIR(X1R5G5B5, A1R5G5B5, false), VT_PAIR(X1R5G5B5, A4R4G4B4, false), VT_PAIR(X1R5G5B5, R5G6B5, false),
    VT_PAIR(X1R5G5B5, ARGB8, false), VT_PAIR(X1R5G5B5, ABGR8, false),
    VT_PAIR(A1R5G5B5, A4R4G4B4, false), VT_PAIR(A1R5G5B5, R5G6B5, false), VT_PAIR(A1R5G5B5, ARGB8, false),
    VT_PAIR(A1R5G5B5, ABGR8, false),
    VT_PAIR(R5G5B5A1, R5G6B5, false), VT_PAIR(R5G5B5A1, X1R5G5B5, false), VT_PAIR(R5G5B5A1, A4R4G4B4, false),
    VT_PAIR(R5G5B5A1, ARGB8, false), VT_PAIR(R5G5B5A1, ABGR8, false),
    VT_PAIR(Pal8, A1R5G5B5, true), VT_PAIR(Pal8, ARGB8, true), VT_PAIR(Pal8, ABGR8, true),
    VT_PAIR(RGB24, A1R5G5B5, true), VT_PAIR(RGB24, ARGB8, true), VT_PAIR(RGB24, ABGR8, true),
    VT_PAIR(BGR24, A1R5G5B5, true), VT_PAIR(BGR24, ARGB8, true), VT_PAIR(BGR24, ABGR8, true),
    VT_PAIR(XRGB8, A1R5G5B5, true), VT_PAIR(XRGB8, ARGB8, true), VT_PAIR(XRGB8, ABGR8, true),
    VT_PAIR(R5G6B5, R5G5B5A1, true), VT_PAIR(R5G6B5, A1R5G5B5, true), VT_PAIR(R5G6B5, ARGB8, true),
    VT_PAIR(R5G6B5, ABGR8, true),
    VT_PAIR(X1R5G5B5, R5G5B5A1, true), VT_PAIR(X1R5G5B5, A1R5G5B5, true), VT_PAIR(X1R5G5B5, ARGB8, true),
    VT_PAIR(X1R5G5B5, ABGR8, true),
};
#undef VT_PAIR

PairLoopFunction Blt_FindPair(int src, int dst, int key)
{
    for (const PairEntry& e : PairTable)
        if (e.src == src && e.dst == dst && e.key == key) return e.function;
    return nullptr;
}

bool Blt_SameMasks(const ColorFormatDesc* a, const ColorFormatDesc* b, bool withAlpha)
{
    return a->redMask == b->redMask && a->greenMask == b->greenMask && a->blueMask == b->blueMask &&
           (!withAlpha || a->alphaMask == b->alphaMask);
}

bool Blt_IsMaskFormat(const ColorFormatDesc* d) { return d->channelCount == 0 && d->formatCode == 0; }

// The key's colour bits as a source pixel (or its palette entry) holds them.
uint32_t Blt_KeyAsSource(const ColorFormatDesc* sd, uint32_t key)
{
    const int kr = (key >> 16) & 255, kg = (key >> 8) & 255, kb = key & 255;
    uint32_t value = BaseImage_ColorFormat_PackColor(sd, kr, kg, kb, 255);
    if (sd->bytesPerPixel == 1) value = sd->palette[value & 255];
    return value & (sd->redMask | sd->greenMask | sd->blueMask);
}

void Blt_CopyRows(uint8_t* dstRow, int dstPitch, const BltSide& src, int rowBytes, int height)
{
    for (int y = 0; y < height; y++, dstRow += dstPitch) memcpy(dstRow, src.pixels + (int64_t)y * src.pitch, (size_t)rowBytes);
}

// One- and two-channel 8-bit sources into one or two channels or 32-bit pixels: a single
// channel fills both channels or all four bytes; two channels are written first, second, first,
// second. Returns false for pairs it does not take.
bool Blt_ByteChannels(uint8_t* dstRow, int dstPitch, const ColorFormatDesc* dd, const BltSide& src, int width,
                      int height)
{
    const ColorFormatDesc* sd = src.desc;
    if (sd->channelCount < 1 || sd->channelCount > 2 || sd->channelBits != 8 || sd->isFloat) return false;
    const bool toChannels = dd->channelCount >= 1 && dd->channelCount <= 2 && dd->channelBits == 8 && !dd->isFloat &&
                            dd->channelCount >= sd->channelCount;
    const bool to32 = dd->channelCount == 0 && dd->formatCode == 0 && dd->bytesPerPixel == 4;
    if (!toChannels && !to32) return false;
    const int in = sd->channelCount, out = dd->bytesPerPixel;
    for (int y = 0; y < height; y++, dstRow += dstPitch) {
        const uint8_t* s = src.pixels + (int64_t)y * src.pitch;
        uint8_t* d = dstRow;
        for (int x = 0; x < width; x++, s += in, d += out)
            for (int c = 0; c < out; c++) d[c] = s[c % in];
    }
    return true;
}

// Option rules applied before any path is chosen.
void Blt_Normalise(BltOptions& o, const ColorFormatDesc* dd, const ColorFormatDesc* sd, const ColorFormatDesc* ad,
                   const void* alphaPixels)
{
    const bool destinationAlpha = Blt_HasAlpha(dd);
    const bool sourceAlpha = Blt_HasAlpha(sd);
    o.useAlphaImage = destinationAlpha && alphaPixels != nullptr && ad != nullptr && !sourceAlpha;
    if (!destinationAlpha || sourceAlpha || o.useAlphaImage || o.alphaFromRed == 1) o.keyToAlpha = 0;
    if (o.mirror != 0) o.keySkip = 0;
    if (Blt_IsFloatOr16(dd) || Blt_IsFloatOr16(sd)) {
        o.keySkip = 0;
        o.keyToAlpha = 0;
        o.useAlphaImage = 0;
    }
}

int Blt_Entry(bool generalOnly, void* dstPixels, int dstPitch, const ColorFormatDesc* dstDesc, const void* srcPixels,
              int srcPitch, const ColorFormatDesc* srcDesc, const void* alphaPixels, int alphaPitch,
              const ColorFormatDesc* alphaDesc, int dstX, int dstY, const BaseImageRect* rect, BltOptions o)
{
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0) return -1;
    // Copies of the descriptors: the caller's records stay as they are.
    ColorFormatDesc dd = *dstDesc, sd = *srcDesc, ad;
    if (alphaDesc != nullptr) ad = *alphaDesc;
    else memset(&ad, 0, sizeof(ad));
    Blt_Normalise(o, &dd, &sd, alphaDesc != nullptr ? &ad : nullptr, alphaPixels);

    const int sourceBytes = sd.bytesPerPixel;
    BltSide src = {(const uint8_t*)srcPixels + (int64_t)rect->top * srcPitch + (int64_t)rect->left * sourceBytes,
                   srcPitch, &sd};
    BltSide alphaImage = {nullptr, alphaPitch, &ad};
    if (o.useAlphaImage)
        alphaImage.pixels = (const uint8_t*)alphaPixels + (int64_t)rect->top * alphaPitch +
                            (int64_t)rect->left * ad.bytesPerPixel;
    uint8_t* dstRow = (uint8_t*)dstPixels + (int64_t)dstY * dstPitch + (int64_t)dstX * dd.bytesPerPixel;
    if (generalOnly) return Blt_General(dstRow, dstPitch, &dd, src, alphaImage, width, height, o);

    // 1. 16-bit channels on either side.
    if ((Blt_IsPerChannel(&dd) && dd.channelBits == 16 && !dd.isFloat) ||
        (Blt_IsPerChannel(&sd) && sd.channelBits == 16 && !sd.isFloat)) {
        if (dd.isFloat == sd.isFloat && dd.channelBits == sd.channelBits && dd.channelCount == sd.channelCount &&
            dd.bytesPerPixel == sd.bytesPerPixel && !o.keyToAlpha && !o.useAlphaImage && !o.zeroColor &&
            !o.alphaFromRed && !o.mirror) {
            Blt_CopyRows(dstRow, dstPitch, src, width * sourceBytes, height);
            return 0;
        }
        return Blt_General(dstRow, dstPitch, &dd, src, alphaImage, width, height, o);
    }
    const bool maskPair = Blt_IsMaskFormat(&dd) && Blt_IsMaskFormat(&sd);

    // 2. Two pixels per byte from an 8-bit source.
    if (maskPair && dd.bitDepth == 4) {
        if ((dstX & 1) != 0 || sd.bitDepth != 8) return -1;
        uint8_t* row = (uint8_t*)dstPixels + (int64_t)dstY * dstPitch + dstX / 2;
        for (int y = 0; y < height; y++, row += dstPitch) {
            const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
            int x = 0;
            for (; x + 1 < width; x += 2) row[x / 2] = (uint8_t)((s[x] & 15) | (s[x + 1] << 4));
            if (x < width) row[x / 2] = s[x];
        }
        return 0;
    }

    if (maskPair && dd.bitDepth == 8) {
        // 3. Palette remap between different palettes.
        if (sd.bitDepth == 8 && o.paletteRemap && !o.mirror && memcmp(dd.palette, sd.palette, 1024) != 0) {
            for (int y = 0; y < height; y++) {
                const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                uint8_t* d = dstRow + (int64_t)y * dstPitch;
                for (int x = 0; x < width; x++) {
                    const uint32_t e = sd.palette[s[x]];
                    d[x] = (uint8_t)BaseImage_ColorFormat_NearestPaletteIndex(&dd, (e >> 16) & 255, (e >> 8) & 255,
                                                                              e & 255);
                }
            }
            return 0;
        }
        // 4. Nearest palette entry of each pixel's colour (channels widened to 8 bits first).
        if ((sd.bitDepth == 16 || sd.bitDepth == 24 || sd.bitDepth == 32) && !o.alphaFromRed && !o.mirror) {
            for (int y = 0; y < height; y++) {
                const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                uint8_t* d = dstRow + (int64_t)y * dstPitch;
                for (int x = 0; x < width; x++, s += sourceBytes) {
                    const uint32_t v = Blt_Read(s, sourceBytes);
                    const uint32_t r = Blt_ConvertWidth((v & sd.redMask) >> sd.redShift, sd.redWidth, 8);
                    const uint32_t g = Blt_ConvertWidth((v & sd.greenMask) >> sd.greenShift, sd.greenWidth, 8);
                    const uint32_t b = Blt_ConvertWidth((v & sd.blueMask) >> sd.blueShift, sd.blueWidth, 8);
                    d[x] = (uint8_t)BaseImage_ColorFormat_NearestPaletteIndex(&dd, (int)r, (int)g, (int)b);
                }
            }
            return 0;
        }
        // 5. Plain byte copy; the result is the highest index copied.
        if (!o.zeroColor && !o.keySkip && !o.alphaFromRed && !o.mirror) {
            if (sd.bitDepth != 8) return -1;
            int highest = 0;
            for (int y = 0; y < height; y++) {
                const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                uint8_t* d = dstRow + (int64_t)y * dstPitch;
                for (int x = 0; x < width; x++) {
                    d[x] = s[x];
                    if (s[x] > highest) highest = s[x];
                }
            }
            return highest;
        }
    }

    if (maskPair && dd.bitDepth == sd.bitDepth && !o.zeroColor && !o.alphaFromRed) {
        // 6. Same layout: rows, reversed rows, or rows without the key's pixels.
        if (Blt_SameMasks(&dd, &sd, true) && !o.keyToAlpha && !o.useAlphaImage) {
            if (o.mirror) {
                uint8_t* lastColumn = dstRow + (int64_t)(width - 1) * sourceBytes;
                for (int y = 0; y < height; y++) {
                    const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                    uint8_t* d = lastColumn + (int64_t)y * dstPitch;
                    for (int x = 0; x < width; x++, s += sourceBytes, d -= sourceBytes) memcpy(d, s, (size_t)sourceBytes);
                }
            } else if (o.keySkip) {
                // 8-bit pixels compare their index, wider ones their channel bits.
                const uint32_t sourceUnion =
                    sd.bitDepth == 8 ? 0xFFu : sd.redMask | sd.greenMask | sd.blueMask | sd.alphaMask;
                const uint32_t key = o.keyColor & sourceUnion;
                for (int y = 0; y < height; y++) {
                    const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                    uint8_t* d = dstRow + (int64_t)y * dstPitch;
                    for (int x = 0; x < width; x++, s += sourceBytes, d += sourceBytes)
                        if ((Blt_Read(s, sourceBytes) & sourceUnion) != key) memcpy(d, s, (size_t)sourceBytes);
                }
            } else {
                Blt_CopyRows(dstRow, dstPitch, src, width * sourceBytes, height);
            }
            return 0;
        }
        // 7. Key to alpha between formats of the same colour layout.
        if (o.keyToAlpha && !o.keySkip && Blt_SameMasks(&dd, &sd, false) && sd.bitDepth >= 16 && !o.dither) {
            const uint32_t rgb = sd.redMask | sd.greenMask | sd.blueMask;
            const uint32_t key = Blt_KeyAsSource(&sd, o.keyColor);
            const int step = o.mirror ? -sourceBytes : sourceBytes;
            uint8_t* start = o.mirror ? dstRow + (int64_t)(width - 1) * sourceBytes : dstRow;
            for (int y = 0; y < height; y++) {
                const uint8_t* s = src.pixels + (int64_t)y * srcPitch;
                uint8_t* d = start + (int64_t)y * dstPitch;
                for (int x = 0; x < width; x++, s += sourceBytes, d += step) {
                    const uint32_t v = Blt_Read(s, sourceBytes) & rgb;
                    Blt_Write(d, sourceBytes, v | dd.unusedMask | (v == key ? 0 : dd.alphaMask));
                }
            }
            return 0;
        }
    }

    // 8. Format-pair loops: per-channel bytes, then the mask layouts.
    if (!o.dither && !o.zeroColor && !o.alphaFromRed && !o.mirror && !o.useAlphaImage && !o.keySkip && !o.keyToAlpha &&
        Blt_ByteChannels(dstRow, dstPitch, &dd, src, width, height))
        return 0;
    if (maskPair && !o.dither && !o.zeroColor && !o.alphaFromRed && !o.mirror && !o.useAlphaImage && !o.keySkip) {
        const PairLayout s = Blt_FindLayout(&sd), d = Blt_FindLayout(&dd);
        if (s != LayoutNone && d != LayoutNone) {
            PairLoopFunction loop = Blt_FindPair(s, d, o.keyToAlpha ? 1 : 0);
            if (loop != nullptr) {
                // Unused destination bits: set, except from R5G6B5 into XRGB8 and from palettes
                // into X1R5G5B5, which leave them 0.
                uint32_t unused = dd.unusedMask;
                if ((s == LayoutR5G6B5 && d == LayoutXRGB8) || (s == LayoutPal8 && d == LayoutX1R5G5B5)) unused = 0;
                if (PairLayouts[d].bytes == 3) unused = 0;
                loop(dstRow, dstPitch, src, width, height, unused, o.keyToAlpha ? Blt_KeyAsSource(&sd, o.keyColor) : 0);
                return 0;
            }
        }
    }

    // 9. Float formats of the same shape.
    if (dd.isFloat && sd.isFloat && dd.channelBits == sd.channelBits && dd.channelCount == sd.channelCount &&
        dd.bytesPerPixel == sd.bytesPerPixel && !o.keyToAlpha && !o.useAlphaImage && !o.zeroColor &&
        !o.alphaFromRed && !o.mirror) {
        Blt_CopyRows(dstRow, dstPitch, src, width * sourceBytes, height);
        return 0;
    }
    return Blt_General(dstRow, dstPitch, &dd, src, alphaImage, width, height, o);
}

}  // namespace

int BaseImage_ColorConvertBlt(void* dstPixels, int dstPitch, const ColorFormatDesc* dstDesc, const void* srcPixels,
                              int srcPitch, const ColorFormatDesc* srcDesc, const void* alphaPixels, int alphaPitch,
                              const ColorFormatDesc* alphaDesc, int dstX, int dstY, const BaseImageRect* srcRect,
                              int mirror, int keyToAlpha, uint32_t keyColor, int dither, int zeroColor,
                              int alphaFromRed, int keySkip, int paletteRemap)
{
    const BltOptions o = {mirror, keyToAlpha, keyColor, dither, zeroColor, alphaFromRed, keySkip, paletteRemap, 0};
    return Blt_Entry(false, dstPixels, dstPitch, dstDesc, srcPixels, srcPitch, srcDesc, alphaPixels, alphaPitch,
                     alphaDesc, dstX, dstY, srcRect, o);
}

int BaseImage_ColorConvertBlt_General(void* dstPixels, int dstPitch, const ColorFormatDesc* dstDesc,
                                      const void* srcPixels, int srcPitch, const ColorFormatDesc* srcDesc,
                                      const void* alphaPixels, int alphaPitch, const ColorFormatDesc* alphaDesc,
                                      int dstX, int dstY, const BaseImageRect* srcRect, int mirror, int keyToAlpha,
                                      uint32_t keyColor, int dither, int zeroColor, int alphaFromRed, int keySkip,
                                      int paletteRemap)
{
    const BltOptions o = {mirror, keyToAlpha, keyColor, dither, zeroColor, alphaFromRed, keySkip, paletteRemap, 0};
    return Blt_Entry(true, dstPixels, dstPitch, dstDesc, srcPixels, srcPitch, srcDesc, alphaPixels, alphaPitch,
                     alphaDesc, dstX, dstY, srcRect, o);
}

// ---------------------------------------------------------------------------------------------
// Whole-image functions
// ---------------------------------------------------------------------------------------------

int BaseImage_Blt(int srcX, int srcY, int width, int height, int dstX, int dstY, BaseImage* source,
                  BaseImage* destination)
{
    if (BaseImage_ExpandCompressed(source, 1) != 0 || BaseImage_ExpandCompressed(destination, 1) != 0) return -1;
    if (srcX < 0) {
        width += srcX;
        dstX -= srcX;
        srcX = 0;
    }
    if (srcY < 0) {
        height += srcY;
        dstY -= srcY;
        srcY = 0;
    }
    if (dstX < 0) {
        width += dstX;
        srcX -= dstX;
        dstX = 0;
    }
    if (dstY < 0) {
        height += dstY;
        srcY -= dstY;
        dstY = 0;
    }
    if (dstX + width > destination->width) width = destination->width - dstX;
    if (srcX + width > source->width) width = source->width - srcX;
    if (dstY + height > destination->height) height = destination->height - dstY;
    if (srcY + height > source->height) height = source->height - srcY;
    if (width <= 0 || height <= 0) return 0;
    const BaseImageRect rect = {srcX, srcY, srcX + width, srcY + height};
    const int result = BaseImage_ColorConvertBlt(destination->pixels, destination->pitch, &destination->format,
                                                 source->pixels, source->pitch, &source->format, nullptr, 0, nullptr,
                                                 dstX, dstY, &rect, 0, 0, 0, 0, 0, 0, 0, 1);
    return result < 0 ? -1 : 0;
}

int BaseImage_BltWhole(int dstX, int dstY, BaseImage* source, BaseImage* destination)
{
    return BaseImage_Blt(0, 0, source->width, source->height, dstX, dstY, source, destination);
}

int BaseImage_ClearRect(BaseImage* image, int x, int y, int width, int height)
{
    BaseImageRect r;
    const int clipped = BaseImage_ClipRect(image, x, y, width, height, &r);
    if (clipped <= 0) return clipped;
    const int bytes = image->format.bytesPerPixel;
    for (int64_t row = r.top; row < r.bottom; row++)
        memset((uint8_t*)image->pixels + row * image->pitch + (int64_t)r.left * bytes, 0,
               (size_t)(r.right - r.left) * bytes);
    return 0;
}

int BaseImage_HalfSizeBlt(const ColorFormatDesc* desc, void* dstPixels, int dstPitch, const void* srcPixels,
                          int srcPitch, int dstX, int dstY, int srcX, int srcY, int srcWidth, int srcHeight)
{
    if ((srcWidth != 1 && (srcWidth & 1)) || (srcHeight != 1 && (srcHeight & 1))) return -1;
    const int bytes = desc->bytesPerPixel;
    const uint8_t* src = (const uint8_t*)srcPixels + (int64_t)srcY * srcPitch + (int64_t)srcX * bytes;
    uint8_t* dst = (uint8_t*)dstPixels + (int64_t)dstY * dstPitch + (int64_t)dstX * bytes;
    if (desc->bitDepth != 16 && desc->bitDepth != 32) {
        if (srcWidth == 1 && srcHeight == 1) return 0;
        return -1;
    }
    if (srcWidth == 1 && srcHeight == 1) {
        memcpy(dst, src, (size_t)bytes);
        return 0;
    }
    const uint32_t masks[4] = {desc->redMask, desc->greenMask, desc->blueMask, desc->alphaMask};
    const int shifts[4] = {desc->redShift, desc->greenShift, desc->blueShift, desc->alphaShift};
    const int stepX = srcWidth == 1 ? 0 : 1, stepY = srcHeight == 1 ? 0 : 1;
    const int count = (stepX + 1) * (stepY + 1), countShift = stepX + stepY;
    const int outWidth = srcWidth == 1 ? 1 : srcWidth / 2, outHeight = srcHeight == 1 ? 1 : srcHeight / 2;
    for (int y = 0; y < outHeight; y++) {
        const uint8_t* row = src + (int64_t)(y * (stepY + 1)) * srcPitch;
        uint8_t* out = dst + (int64_t)y * dstPitch;
        for (int x = 0; x < outWidth; x++) {
            uint32_t values[4];
            int n = 0;
            for (int dy = 0; dy <= stepY; dy++)
                for (int dx = 0; dx <= stepX; dx++)
                    values[n++] = Blt_Read(row + (int64_t)dy * srcPitch + (int64_t)(x * (stepX + 1) + dx) * bytes, bytes);
            uint32_t result = 0;
            for (int c = 0; c < 4; c++) {
                if (masks[c] == 0) continue;
                uint64_t sum = 0;
                for (int i = 0; i < count; i++) sum += (values[i] & masks[c]) >> shifts[c];
                result |= ((uint32_t)(sum >> countShift) << shifts[c]) & masks[c];
            }
            Blt_Write(out + (int64_t)x * bytes, bytes, result);
        }
    }
    return 0;
}

int BaseImage_MirrorHorizontal(BaseImage* image)
{
    if (image->width == 0 || image->height == 0) return -1;
    const int bytes = image->format.bytesPerPixel;
    if (bytes < 1 || bytes > 4) return 0;
    for (int y = 0; y < image->height; y++) {
        uint8_t* left = (uint8_t*)image->pixels + (int64_t)y * image->pitch;
        uint8_t* right = left + (int64_t)(image->width - 1) * bytes;
        for (; left < right; left += bytes, right -= bytes) {
            uint8_t t[4];
            memcpy(t, left, (size_t)bytes);
            memcpy(left, right, (size_t)bytes);
            memcpy(right, t, (size_t)bytes);
        }
    }
    return 0;
}

}  // namespace Vantrel
