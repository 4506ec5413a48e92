// Memory images: set-up, views and release of the reference-counted bodies, their static colour
// descriptors, fills, blits from base images (with the palette table, premultiplied plane and run
// plane rebuilt), the draw state, the blend tables and the 32-bit blending draw.
// Stands on the base images, the conversion blit and the memory layer.
#include "image/VtMemImg.h"

#include <emmintrin.h>

#include <cstring>

#include "foundation/VtMemory.h"

namespace Vantrel {

MemImgDrawState MemImgState = {0, {0, 0, 0, 0}, 0, 0, 0xFFFFFF, {}};
int32_t MemImg_SignedProductTable[256][512];
int32_t MemImg_ProductTable[256][256];
uint8_t MemImg_Blend6Table[64][64][64];

// ---------------------------------------------------------------------------------------------
// Colour descriptors
// ---------------------------------------------------------------------------------------------

const ColorFormatDesc* MemImg_GetColorData(int colorType, int alpha, int palette)
{
    static ColorFormatDesc descs[2][4];
    static int made[2][4];
    static ColorFormatDesc one8, one16;
    static int madeOne8, madeOne16;
    if (colorType == MemImgColorType_One8) {
        if (!madeOne8) {
            BaseImage_ColorFormat_InitFromMasks(&one8, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0);
            madeOne8 = 1;
        }
        return &one8;
    }
    if (colorType == MemImgColorType_One16) {
        if (!madeOne16) {
            BaseImage_ColorFormat_InitFromMasks(&one16, 16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0);
            madeOne16 = 1;
        }
        return &one16;
    }
    if (colorType != MemImgColorType_R5G6B5 && colorType != MemImgColorType_XRGB8) return nullptr;
    const int index = (alpha ? 1 : 0) | (palette ? 2 : 0);
    ColorFormatDesc& d = descs[colorType][index];
    if (!made[colorType][index]) {
        const bool wide = colorType == MemImgColorType_XRGB8;
        const uint32_t r = wide ? 0xFF0000 : 0xF800, g = wide ? 0xFF00 : 0x7E0, b = wide ? 0xFF : 0x1F;
        const uint32_t a = alpha ? (wide ? 0xFF000000u : 0xFF0000u) : 0;
        const int depth = palette ? 8 : (wide || alpha) ? 32 : 16;
        BaseImage_ColorFormat_InitFromMasks(&d, depth, r, g, b, a, 0, 0, 0);
        made[colorType][index] = 1;
    }
    return &d;
}

int MemImg_BytesPerPixel(const MemImgBody* body)
{
    if (body->hasPalette) return 1;
    switch (body->colorType) {
    case MemImgColorType_R5G6B5: return body->hasAlpha ? 4 : 2;
    case MemImgColorType_XRGB8: return 4;
    case MemImgColorType_One8: return 1;
    default: return 2;
    }
}

// ---------------------------------------------------------------------------------------------
// Set-up and release
// ---------------------------------------------------------------------------------------------

// Frees the pixel planes of a body (not the caller's pixels) and forgets them.
static void MemImg_FreePlanes(MemImgBody* body)
{
    if (!body->userPixels) Memory_Free(body->pixels);
    Memory_Free(body->premulPixels);
    Memory_Free(body->runs);
    body->pixels = body->premulPixels = nullptr;
    body->runs = nullptr;
    body->userPixels = 0;
}

// A set-up that fails keeps its body (and palette block) for the next one, without planes.
static int MemImg_SetupFailed(MemImgBody* body)
{
    MemImg_FreePlanes(body);
    return -1;
}

int MemImg_Setup(MEMIMG* image, int width, int height, int pitch, uint32_t transColor, int colorType, int usePalette,
                 int useAlpha, int extraPlanes, void* userPixels)
{
    if (image->initMark == MemImg_InitMark) return -1;
    if (width < 0 || height < 0 || colorType < 0 || colorType > MemImgColorType_One16) return -1;
    if (image->body == nullptr) {
        image->body = (MemImgBody*)Memory_AllocateZeroed(sizeof(MemImgBody), "VtMemImg", __LINE__);
        if (image->body == nullptr) return -1;
    }
    MemImgBody* body = image->body;
    if (colorType >= MemImgColorType_One8) usePalette = useAlpha = 0;
    if (usePalette) useAlpha = 0;
    body->width = width;
    body->height = height;
    body->refCount = 1;
    body->useTransColor = 1;
    body->transColor = transColor;
    body->colorType = colorType;
    body->hasPalette = usePalette ? 1 : 0;
    body->hasAlpha = useAlpha ? 1 : 0;
    body->premulValid = 0;
    body->runsValid = 0;
    body->format = MemImg_GetColorData(colorType, body->hasAlpha, body->hasPalette);
    if (usePalette && body->palette == nullptr) {
        body->palette = Memory_AllocateZeroed(2048, "VtMemImg", __LINE__);
        if (body->palette == nullptr) return -1;
        body->paletteCopy = (uint8_t*)body->palette + 1024;
    }
    const int bytes = MemImg_BytesPerPixel(body);
    const int64_t rowPitch = pitch >= 0 ? pitch : ((int64_t)bytes * width + 15) / 16 * 16;
    const int64_t size = BaseImage_CheckedSize(rowPitch, height);
    if (size < 0) return -1;
    body->pitch = (int32_t)rowPitch;
    body->pitchShift = -1;
    for (int s = 0; s < 31; s++)
        if (rowPitch == ((int64_t)1 << s)) body->pitchShift = s;
    if (userPixels != nullptr) {
        body->pixels = userPixels;
        body->userPixels = 1;
    } else {
        body->userPixels = 0;
        body->pixels = Memory_Allocate((uint32_t)(size == 0 ? 1 : size), "VtMemImg", __LINE__);
        if (body->pixels == nullptr) return -1;
    }
    if (extraPlanes) {
        if (body->hasAlpha) {
            body->premulPixels = Memory_Allocate((uint32_t)(size == 0 ? 1 : size), "VtMemImg", __LINE__);
            if (body->premulPixels == nullptr) return MemImg_SetupFailed(body);
        }
        if (colorType != MemImgColorType_One8) {
            const int64_t runBytes = BaseImage_CheckedSize((int64_t)width + 5, height);
            if (runBytes < 0) return MemImg_SetupFailed(body);
            body->runs = (uint8_t*)Memory_Allocate((uint32_t)(runBytes == 0 ? 1 : runBytes), "VtMemImg", __LINE__);
            if (body->runs == nullptr) return MemImg_SetupFailed(body);
        }
    }
    image->width = width;
    image->height = height;
    image->pixels = body->pixels;
    image->premulPixels = body->premulPixels;
    image->initMark = MemImg_InitMark;
    return 0;
}

int MemImg_SetupWithDefaults(MEMIMG* image, int width, int height, int colorType)
{
    memset(image, 0, sizeof(*image));
    return MemImg_Setup(image, width, height, -1, 0, colorType < 0 ? MemImgState.defaultColorType : colorType, 0, 0, 0,
                        nullptr);
}

int MemImg_Release(MEMIMG* image)
{
    if (image->initMark != MemImg_InitMark) return 0;
    MemImgBody* body = image->body;
    if (body != nullptr && --body->refCount <= 0) {
        MemImg_FreePlanes(body);
        Memory_Free(body->palette);
        Memory_Free(body);
    }
    image->initMark = 0;
    image->body = nullptr;
    return 0;
}

int MemImg_IsValid(const MEMIMG* image) { return image->initMark == MemImg_InitMark && image->body != nullptr ? 1 : 0; }

void MemImg_Derive(MEMIMG* out, const MEMIMG* source, int x, int y, int width, int height)
{
    if (!MemImg_IsValid(source) || x < 0 || y < 0 || width < 0 || height < 0) return;
    if ((int64_t)x + width > source->width || (int64_t)y + height > source->height) return;
    MemImgBody* body = source->body;
    const int64_t offset = (int64_t)x * MemImg_BytesPerPixel(body) + (int64_t)y * body->pitch;
    out->initMark = MemImg_InitMark;
    out->width = width;
    out->height = height;
    out->pixels = (uint8_t*)source->pixels + offset;
    out->premulPixels = source->premulPixels != nullptr ? (uint8_t*)source->premulPixels + offset : nullptr;
    out->body = body;
    body->refCount++;
}

void MemImg_FillRect(MEMIMG* image, const int32_t* rect, uint32_t value)
{
    if (!MemImg_IsValid(image)) return;
    int32_t left = 0, top = 0, right = image->width, bottom = image->height;
    if (rect != nullptr) {
        left = rect[0] < rect[2] ? rect[0] : rect[2];
        right = rect[0] < rect[2] ? rect[2] : rect[0];
        top = rect[1] < rect[3] ? rect[1] : rect[3];
        bottom = rect[1] < rect[3] ? rect[3] : rect[1];
        auto clamp = [](int32_t v, int32_t high) { return v < 0 ? 0 : v > high ? high : v; };
        left = clamp(left, image->width);
        right = clamp(right, image->width);
        top = clamp(top, image->height);
        bottom = clamp(bottom, image->height);
    }
    if (left >= right || top >= bottom) return;
    const int bytes = MemImg_BytesPerPixel(image->body);
    for (int y = top; y < bottom; y++) {
        uint8_t* p = (uint8_t*)image->pixels + (int64_t)y * image->body->pitch + (int64_t)left * bytes;
        const int count = right - left;
        if (bytes == 1) {
            memset(p, (int)(value & 255), (size_t)count);
        } else if (bytes == 2) {
            const uint16_t v = (uint16_t)value;
            for (int i = 0; i < count; i++) memcpy(p + i * 2, &v, 2);
        } else {
            for (int i = 0; i < count; i++) memcpy(p + i * 4, &value, 4);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Blits
// ---------------------------------------------------------------------------------------------

int MemImg_Blt(MEMIMG* destination, const MEMIMG* source, const int32_t* srcRect, int dstX, int dstY)
{
    if (!MemImg_IsValid(destination) || !MemImg_IsValid(source)) return -1;
    BaseImageRect rect = {0, 0, source->width, source->height};
    if (srcRect != nullptr) rect = {srcRect[0], srcRect[1], srcRect[2], srcRect[3]};
    return BaseImage_ColorConvertBlt(destination->pixels, destination->body->pitch, destination->body->format,
                                     source->pixels, source->body->pitch, source->body->format, nullptr, 0, nullptr,
                                     dstX, dstY, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Rebuilds the premultiplied plane of a whole image with alpha.
static void MemImg_RebuildPremultiplied(MemImgBody* body)
{
    for (int y = 0; y < body->height; y++) {
        const uint8_t* s = (const uint8_t*)body->pixels + (int64_t)y * body->pitch;
        uint8_t* d = (uint8_t*)body->premulPixels + (int64_t)y * body->pitch;
        for (int x = 0; x < body->width; x++, s += 4, d += 4) {
            if (body->colorType == MemImgColorType_XRGB8) {
                const uint32_t a = s[3];
                d[0] = (uint8_t)(s[0] * a >> 8);
                d[1] = (uint8_t)(s[1] * a >> 8);
                d[2] = (uint8_t)(s[2] * a >> 8);
                d[3] = (uint8_t)a;
            } else {
                const uint32_t v = (uint32_t)s[0] | (uint32_t)s[1] << 8, a = s[2];
                const uint32_t r = ((v >> 11) * a) >> 8, g = (((v >> 5) & 63) * a) >> 8, b = ((v & 31) * a) >> 8;
                const uint32_t out = r << 11 | g << 5 | b;
                d[0] = (uint8_t)out;
                d[1] = (uint8_t)(out >> 8);
                d[2] = (uint8_t)a;
                d[3] = 0;
            }
        }
    }
}

// Rebuilds the run plane: each row as runs of at most 64 pixels of one kind, then 0xC0.
static void MemImg_RebuildRuns(MemImgBody* body)
{
    const int bytes = MemImg_BytesPerPixel(body);
    uint8_t* out = body->runs;
    for (int y = 0; y < body->height; y++) {
        const uint8_t* p = (const uint8_t*)body->pixels + (int64_t)y * body->pitch;
        int runKind = -1, runLength = 0;
        for (int x = 0; x < body->width; x++, p += bytes) {
            int kind;
            if (body->hasPalette) {
                kind = p[0] == (body->transColor & 255) ? MemImgRun_Transparent : MemImgRun_Opaque;
            } else if (body->hasAlpha) {
                const uint8_t a = body->colorType == MemImgColorType_XRGB8 ? p[3] : p[2];
                kind = a == 0 ? MemImgRun_Transparent : a == 255 ? MemImgRun_Opaque : MemImgRun_Translucent;
            } else {
                uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8;
                uint32_t key = body->transColor & 0xFFFF;
                if (bytes == 4) {
                    memcpy(&v, p, 4);
                    key = body->transColor;
                }
                kind = v == key ? MemImgRun_Transparent : MemImgRun_Opaque;
            }
            if (kind != runKind || runLength == 64) {
                if (runLength > 0) *out++ = (uint8_t)(runKind | (runLength - 1));
                runKind = kind;
                runLength = 0;
            }
            runLength++;
        }
        if (runLength > 0) *out++ = (uint8_t)(runKind | (runLength - 1));
        *out++ = MemImgRun_RowEnd;
    }
}

int MemImg_BltBaseImage(const BaseImage* source, const BaseImage* alphaImage, MEMIMG* destination, int srcX, int srcY,
                        int width, int height, int dstX, int dstY, int useTransColor)
{
    if (!MemImg_IsValid(destination)) return -1;
    MemImgBody* body = destination->body;
    // Clip to both images so that no pixel outside either is read or written.
    if (srcX < 0) { width += srcX; dstX -= srcX; srcX = 0; }
    if (srcY < 0) { height += srcY; dstY -= srcY; srcY = 0; }
    if (dstX < 0) { width += dstX; srcX -= dstX; dstX = 0; }
    if (dstY < 0) { height += dstY; srcY -= dstY; dstY = 0; }
    if ((int64_t)srcX + width > source->width) width = source->width - srcX;
    if ((int64_t)srcY + height > source->height) height = source->height - srcY;
    if ((int64_t)dstX + width > destination->width) width = destination->width - dstX;
    if ((int64_t)dstY + height > destination->height) height = destination->height - dstY;
    if (alphaImage != nullptr) {
        if ((int64_t)srcX + width > alphaImage->width) width = alphaImage->width - srcX;
        if ((int64_t)srcY + height > alphaImage->height) height = alphaImage->height - srcY;
    }
    if (width <= 0 || height <= 0) return 0;
    const BaseImageRect rect = {srcX, srcY, srcX + width, srcY + height};
    const int type = body->colorType;
    if (type == MemImgColorType_One8 || type == MemImgColorType_One16) {
        BaseImage_ColorConvertBlt(destination->pixels, body->pitch, body->format, source->pixels, source->pitch,
                                  &source->format, nullptr, 0, nullptr, dstX, dstY, &rect, 0, 0, 0, 0, 1, 1, 0, 0);
    } else {
        const int result = BaseImage_ColorConvertBlt(
            destination->pixels, body->pitch, body->format, source->pixels, source->pitch, &source->format,
            alphaImage != nullptr ? alphaImage->pixels : nullptr, alphaImage != nullptr ? alphaImage->pitch : 0,
            alphaImage != nullptr ? &alphaImage->format : nullptr, dstX, dstY, &rect, 0, useTransColor,
            body->transColor, 0, 0, 0, 0, 0);
        if (result < 0) return result;
        if (alphaImage == nullptr && body->hasPalette) body->paletteUsed = result + 1;
    }
    if (body->hasPalette) {
        for (int i = 0; i < 256; i++) {
            const uint32_t e = source->format.palette[i];
            if (type == MemImgColorType_XRGB8) {
                ((uint32_t*)body->palette)[i] = e & 0xFFFFFF;
            } else {
                const uint32_t r = (e >> 16) & 255, g = (e >> 8) & 255, b = e & 255;
                ((uint16_t*)body->palette)[i] = (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
            }
        }
        memcpy(body->paletteCopy, body->palette, 1024);
    }
    if ((type == MemImgColorType_R5G6B5 || type == MemImgColorType_XRGB8) && !body->hasAlpha)
        body->useTransColor = useTransColor != 0;
    body->premulValid = 0;
    body->runsValid = 0;
    if (width == body->width && height == body->height && type <= MemImgColorType_XRGB8 && body->runs != nullptr) {
        body->runsValid = 1;
        if (body->hasAlpha && body->premulPixels != nullptr) {
            body->premulValid = 1;
            MemImg_RebuildPremultiplied(body);
        }
        MemImg_RebuildRuns(body);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Draw state and tables
// ---------------------------------------------------------------------------------------------

int MemImg_Initialize()
{
    for (int i = 0; i < 256; i++) {
        for (int j = 0; j < 511; j++) MemImg_SignedProductTable[i][j] = i * (j - 255) / 255;
        for (int k = 0; k < 256; k++) MemImg_ProductTable[i][k] = i * k / 255;
    }
    for (int o = 0; o < 64; o++)
        for (int m = 0; m < 64; m++)
            for (int k = 0; k < 64; k++) MemImg_Blend6Table[o][m][k] = (uint8_t)((o * m + (63 - o) * k) / 63);
    return 0;
}

int MemImg_SetBlendGraphBorder(int borderParam, int borderRange)
{
    const int s = 256 - (borderParam * (65536 / (borderRange + 1) + 256)) / 256;
    for (int i = 0; i < 256; i++) {
        const int v = (i * 256) / (borderRange + 1) + s;
        MemImgState.blendGraphThreshold[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return 0;
}

int MemImg_SetDefaultColorType(int colorType)
{
    MemImgState.defaultColorType = colorType;
    return 0;
}

int MemImg_SetDrawArea(const int32_t* rect)
{
    memcpy(MemImgState.drawArea, rect, sizeof(MemImgState.drawArea));
    return 0;
}

int MemImg_SetBlendMode(int mode, int param)
{
    MemImgState.blendMode = mode;
    MemImgState.blendParam = param;
    return 0;
}

int MemImg_SetDrawBright(uint32_t bright)
{
    MemImgState.brightColor = bright;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Blending draw of 32-bit images
// ---------------------------------------------------------------------------------------------

namespace {

// x * y / 255 rounded to nearest, for x, y in 0..255.
inline uint32_t Mul255(uint32_t x, uint32_t y)
{
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

inline __m128i Mul255x8(__m128i x, __m128i y)
{
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, y), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Two pixels (8 words) of source and destination: tint by the bright colour, premultiply,
// scale by opacity, blend.
template <bool Bright>
inline __m128i Blend2(__m128i s, __m128i d, __m128i opacity, __m128i alphaLanes255, __m128i bright)
{
    if constexpr (Bright) s = Mul255x8(s, bright);
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    s = Mul255x8(s, _mm_or_si128(alpha, alphaLanes255));
    s = Mul255x8(s, opacity);
    const __m128i sa = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), sa);
    return _mm_add_epi16(s, Mul255x8(d, inverse));
}

// One pixel, the same arithmetic as Blend2.
inline uint32_t Blend1(uint32_t s, uint32_t d, uint32_t opacity, uint32_t bright)
{
    const uint32_t a = s >> 24;
    uint32_t out = 0;
    uint32_t sc[4], dc[4];
    for (int c = 0; c < 4; c++) {
        const uint32_t tinted = Mul255((s >> (8 * c)) & 255, c == 3 ? 255 : (bright >> (8 * c)) & 255);
        sc[c] = Mul255(Mul255(tinted, c == 3 ? 255 : a), opacity);
        dc[c] = (d >> (8 * c)) & 255;
    }
    for (int c = 0; c < 4; c++) out |= (sc[c] + Mul255(dc[c], 255 - sc[3])) << (8 * c);
    return out;
}

// Source pixels as the blend takes them: alpha forced to 255 without an alpha plane and to 0 for
// keyed pixels. `key` is ~0 when no key applies.
inline __m128i PrepareSource4(__m128i s, __m128i forceAlpha, __m128i key)
{
    const __m128i keyed = _mm_cmpeq_epi32(_mm_and_si128(s, _mm_set1_epi32(0xFFFFFF)), key);
    s = _mm_or_si128(s, forceAlpha);
    return _mm_andnot_si128(_mm_and_si128(keyed, _mm_set1_epi32((int)0xFF000000u)), s);
}

inline uint32_t PrepareSource1(uint32_t s, uint32_t forceAlpha, uint32_t key)
{
    const bool keyed = (s & 0xFFFFFF) == key;
    s |= forceAlpha;
    return keyed ? s & 0xFFFFFF : s;
}

template <bool Bright>
void BlendRow(uint32_t* d, const uint32_t* s, int count, uint32_t opacity, uint32_t forceAlpha, uint32_t key,
              uint32_t bright)
{
    const __m128i bright16 = _mm_unpacklo_epi8(_mm_set1_epi32((int)(bright | 0xFF000000u)), _mm_setzero_si128());
    const __m128i zero = _mm_setzero_si128();
    const __m128i opacity16 = _mm_set1_epi16((short)opacity);
    const __m128i alphaLanes255 = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i force = _mm_set1_epi32((int)forceAlpha);
    const __m128i key4 = _mm_set1_epi32((int)key);
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i sp = PrepareSource4(_mm_loadu_si128((const __m128i*)(s + x)), force, key4);
        const __m128i dp = _mm_loadu_si128((const __m128i*)(d + x));
        const __m128i lo =
            Blend2<Bright>(_mm_unpacklo_epi8(sp, zero), _mm_unpacklo_epi8(dp, zero), opacity16, alphaLanes255, bright16);
        const __m128i hi =
            Blend2<Bright>(_mm_unpackhi_epi8(sp, zero), _mm_unpackhi_epi8(dp, zero), opacity16, alphaLanes255, bright16);
        _mm_storeu_si128((__m128i*)(d + x), _mm_packus_epi16(lo, hi));
    }
    for (; x < count; x++) d[x] = Blend1(PrepareSource1(s[x], forceAlpha, key), d[x], opacity, bright | 0xFF000000u);
}

// A row with or without the bright colour (white leaves the source as it is).
void BlendRowAny(uint32_t* d, const uint32_t* s, int count, uint32_t opacity, uint32_t forceAlpha, uint32_t key,
                 uint32_t bright)
{
    if ((bright & 0xFFFFFF) == 0xFFFFFF) BlendRow<false>(d, s, count, opacity, forceAlpha, key, bright);
    else BlendRow<true>(d, s, count, opacity, forceAlpha, key, bright);
}

}  // namespace

// A row of a type-0 or type-1 image as ARGB8 words: 16-bit channels widened by repeating their top
// bits, alpha 255 without an alpha plane, 0 for a pixel equal to the key (when keyed).
void MemImg_RowToArgb(const MemImgBody* body, const uint8_t* p, int count, uint32_t* out, bool keyed)
{
    const int bytes = MemImg_BytesPerPixel(body);
    for (int i = 0; i < count; i++, p += bytes) {
        uint32_t v;
        if (body->colorType == MemImgColorType_XRGB8) {
            memcpy(&v, p, 4);
            if (!body->hasAlpha) v |= 0xFF000000u;
            if (keyed && (v & 0xFFFFFF) == (body->transColor & 0xFFFFFF)) v &= 0xFFFFFF;
        } else {
            const uint32_t c = (uint32_t)p[0] | (uint32_t)p[1] << 8;
            const uint32_t r = c >> 11, g = (c >> 5) & 63, b = c & 31;
            uint32_t a = body->hasAlpha ? p[2] : 255;
            if (keyed && c == (body->transColor & 0xFFFF)) a = 0;
            v = a << 24 | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
        }
        out[i] = v;
    }
}

// ARGB8 words back into a row: 16-bit channels keep their top bits.
void MemImg_RowFromArgb(const MemImgBody* body, const uint32_t* in, int count, uint8_t* p)
{
    const int bytes = MemImg_BytesPerPixel(body);
    for (int i = 0; i < count; i++, p += bytes) {
        const uint32_t v = in[i];
        if (body->colorType == MemImgColorType_XRGB8) {
            memcpy(p, &v, 4);
            continue;
        }
        const uint32_t c = ((v >> 19) & 31) << 11 | ((v >> 10) & 63) << 5 | ((v >> 3) & 31);
        p[0] = (uint8_t)c;
        p[1] = (uint8_t)(c >> 8);
        if (body->hasAlpha) {
            p[2] = (uint8_t)(v >> 24);
            p[3] = 0;
        }
    }
}

void MemImg_BlendArgbRow(uint32_t* destination, const uint32_t* source, int count)
{
    // Blend2 at full opacity without a bright colour, whose last product (by 255) changes nothing:
    // each channel c x a / 255 + d x (255 - a) / 255. Four pixels at a time, the last one to three
    // through a copy.
    const __m128i zero = _mm_setzero_si128(), colour = _mm_set1_epi32(0x00FFFFFF), full = _mm_set1_epi16(255);
    auto blend4 = [&](const uint32_t* s4, uint32_t* d4) {
        const __m128i s = _mm_loadu_si128((const __m128i*)s4);
        const __m128i d = _mm_loadu_si128((const __m128i*)d4);
        __m128i halves[2];
        for (int h = 0; h < 2; h++) {
            const __m128i s16 = h == 0 ? _mm_unpacklo_epi8(s, zero) : _mm_unpackhi_epi8(s, zero);
            const __m128i d16 = h == 0 ? _mm_unpacklo_epi8(d, zero) : _mm_unpackhi_epi8(d, zero);
            const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
            halves[h] = _mm_add_epi16(Mul255x8(s16, alpha), Mul255x8(d16, _mm_sub_epi16(full, alpha)));
        }
        _mm_storeu_si128((__m128i*)d4, _mm_and_si128(_mm_packus_epi16(halves[0], halves[1]), colour));
    };
    int x = 0;
    for (; x + 4 <= count; x += 4) blend4(source + x, destination + x);
    if (x < count) {
        uint32_t s4[4] = {0, 0, 0, 0}, d4[4] = {0, 0, 0, 0};
        memcpy(s4, source + x, (size_t)(count - x) * 4);
        memcpy(d4, destination + x, (size_t)(count - x) * 4);
        blend4(s4, d4);
        memcpy(destination + x, d4, (size_t)(count - x) * 4);
    }
}

int MemImg_DrawImage(MEMIMG* destination, const MEMIMG* source, int x, int y, int useTransColor)
{
    return MemImg_DrawImageEx(destination, source, x, y, useTransColor, 0);
}

int MemImg_DrawImageEx(MEMIMG* destination, const MEMIMG* source, int x, int y, int useTransColor, int flags)
{
    const bool opaque = (flags & MemImgDraw_Opaque) != 0;
    if (!MemImg_IsValid(destination) || !MemImg_IsValid(source)) return -1;
    const MemImgBody* db = destination->body;
    const MemImgBody* sb = source->body;
    auto drawable = [](const MemImgBody* b) {
        return (b->colorType == MemImgColorType_XRGB8 || b->colorType == MemImgColorType_R5G6B5) && !b->hasPalette;
    };
    if (!drawable(db) || !drawable(sb)) return -1;
    const int mode = MemImgState.blendMode;
    if (mode != 0 && mode != 1) return -1;
    const uint32_t opacity = mode == 1 ? (uint32_t)(MemImgState.blendParam < 0 ? 0 : MemImgState.blendParam > 255 ? 255 : MemImgState.blendParam) : 255;

    // Clip to the draw area (an empty one means the whole destination) and the destination.
    const int32_t* area = MemImgState.drawArea;
    int64_t left = 0, top = 0, right = destination->width, bottom = destination->height;
    if (area[2] > area[0] && area[3] > area[1]) {
        if (area[0] > left) left = area[0];
        if (area[1] > top) top = area[1];
        if (area[2] < right) right = area[2];
        if (area[3] < bottom) bottom = area[3];
    }
    const int64_t x1 = x > left ? x : left, y1 = y > top ? y : top;
    const int64_t x2 = (int64_t)x + source->width < right ? (int64_t)x + source->width : right;
    const int64_t y2 = (int64_t)y + source->height < bottom ? (int64_t)y + source->height : bottom;
    if (x1 >= x2 || y1 >= y2) return 0;

    const uint32_t bright = MemImgState.brightColor & 0xFFFFFF;
    const bool keyed = !sb->hasAlpha && useTransColor && sb->useTransColor;
    if (db->colorType != MemImgColorType_XRGB8 || sb->colorType != MemImgColorType_XRGB8) {
        // 16-bit images: each span goes through ARGB8 words and the same blend.
        uint32_t sourceWords[256], destinationWords[256];
        const int sourceBytes = MemImg_BytesPerPixel(sb), destinationBytes = MemImg_BytesPerPixel(db);
        for (int64_t row = y1; row < y2; row++) {
            const uint8_t* s = (const uint8_t*)source->pixels + (row - y) * sb->pitch;
            uint8_t* d = (uint8_t*)destination->pixels + row * db->pitch;
            for (int64_t column = x1; column < x2; column += 256) {
                const int count = (int)(x2 - column < 256 ? x2 - column : 256);
                MemImg_RowToArgb(sb, s + (column - x) * sourceBytes, count, sourceWords, keyed);
                if (opaque)
                    for (int i = 0; i < count; i++) sourceWords[i] |= 0xFF000000u;
                MemImg_RowToArgb(db, d + column * destinationBytes, count, destinationWords, false);
                BlendRowAny(destinationWords, sourceWords, count, opacity, 0, 0xFFFFFFFFu, bright);
                MemImg_RowFromArgb(db, destinationWords, count, d + column * destinationBytes);
            }
        }
        return 0;
    }
    const uint32_t forceAlpha = sb->hasAlpha && !opaque ? 0 : 0xFF000000u;
    const uint32_t key = keyed ? (sb->transColor & 0xFFFFFF) : 0xFFFFFFFFu;
    // Whole-body sources with valid runs skip transparent runs and copy opaque ones.
    const bool useRuns = sb->runsValid && sb->hasAlpha && !opaque && source->pixels == sb->pixels && source->width == sb->width &&
                         opacity == 255 && bright == 0xFFFFFF;
    // Opaque pixels at full strength into an image without alpha are plain copies (the caller
    // clears the spare byte).
    const bool plainCopy = forceAlpha != 0 && !keyed && opacity == 255 && bright == 0xFFFFFF && !db->hasAlpha;
    const uint32_t spareMask = (flags & MemImgDraw_ClearSpare) && !db->hasAlpha ? 0x00FFFFFFu : 0xFFFFFFFFu;
    const uint8_t* run = sb->runs;
    for (int64_t row = 0; row < (int64_t)source->height; row++) {
        const uint8_t* rowRuns = run;
        if (useRuns) {
            while (*run != MemImgRun_RowEnd) run++;
            run++;
        }
        if (row + y < y1 || row + y >= y2) continue;
        const uint32_t* s = (const uint32_t*)((const uint8_t*)source->pixels + row * sb->pitch);
        uint32_t* d = (uint32_t*)((uint8_t*)destination->pixels + (row + y) * db->pitch);
        const int64_t from = x1 - x, to = x2 - x;   // source columns drawn
        if (plainCopy) {
            const uint32_t alpha = spareMask == 0xFFFFFFFFu ? 0xFF000000u : 0;
            const __m128i colour = _mm_set1_epi32(0xFFFFFF), alpha4 = _mm_set1_epi32((int)alpha);
            const int64_t count = to - from;
            int64_t i = 0;
            for (; i + 4 <= count; i += 4) {
                const __m128i v = _mm_loadu_si128((const __m128i*)(s + from + i));
                _mm_storeu_si128((__m128i*)(d + x1 + i), _mm_or_si128(_mm_and_si128(v, colour), alpha4));
            }
            for (; i < count; i++) d[x1 + i] = (s[from + i] & 0xFFFFFF) | alpha;
            continue;
        }
        if (!useRuns) {
            BlendRowAny(d + x1, s + from, (int)(to - from), opacity, forceAlpha, key, bright);
            if (spareMask != 0xFFFFFFFFu)
                for (int64_t i = x1; i < x2; i++) d[i] &= spareMask;
            continue;
        }
        int64_t column = 0;
        for (const uint8_t* r = rowRuns; *r != MemImgRun_RowEnd; r++) {
            const int64_t length = (*r & 63) + 1, kind = *r & 0xC0;
            const int64_t a = column > from ? column : from, b = column + length < to ? column + length : to;
            column += length;
            if (a >= b || kind == MemImgRun_Transparent) continue;
            if (kind == MemImgRun_Opaque) memcpy(d + x + a, s + a, (size_t)(b - a) * 4);
            else BlendRowAny(d + x + a, s + a, (int)(b - a), opacity, forceAlpha, key, bright);
        }
        if (spareMask != 0xFFFFFFFFu)
            for (int64_t i = x1; i < x2; i++) d[i] &= spareMask;
    }
    return 0;
}

}  // namespace Vantrel
