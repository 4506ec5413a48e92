// Base images: colour formats and their descriptors, creation and release with checked sizes,
// per-pixel access, colour packing and palette search, half floats and screen colour codes.
// Stands on the memory layer, the log and the graphics core's device and screen-depth state.
#include "image/VtBaseImage.h"

#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsScreen.h"

namespace Vantrel {

// ---------------------------------------------------------------------------------------------
// Formats
// ---------------------------------------------------------------------------------------------

// Lowest set bit and the length of the run of set bits from there.
static void BaseImage_MaskShiftWidth(uint32_t mask, uint8_t* shift, uint8_t* width)
{
    *shift = 0;
    *width = 0;
    if (mask == 0) return;
    int s = 0;
    while (((mask >> s) & 1) == 0) s++;
    int w = 0;
    while (s + w < 32 && ((mask >> (s + w)) & 1)) w++;
    *shift = (uint8_t)s;
    *width = (uint8_t)w;
}

static uint32_t BaseImage_DepthMask(int bitDepth)
{
    return bitDepth >= 32 ? 0xFFFFFFFFu : ((1u << bitDepth) - 1);
}

int BaseImage_ColorFormat_InitFromMasks(ColorFormatDesc* desc, int bitDepth, uint32_t redMask, uint32_t greenMask,
                                        uint32_t blueMask, uint32_t alphaMask, int channelCount, int channelBits,
                                        int isFloat)
{
    memset(desc, 0, sizeof(*desc));
    if (channelCount != 0 && channelBits != 0) {
        desc->channelCount = (uint8_t)channelCount;
        desc->channelBits = (uint8_t)channelBits;
        desc->isFloat = (uint8_t)isFloat;
        desc->bytesPerPixel = (uint8_t)(channelCount * channelBits / 8);
        return 0;
    }
    desc->bitDepth = (uint8_t)bitDepth;
    desc->bytesPerPixel = (uint8_t)(bitDepth / 8);
    desc->redMask = redMask;
    desc->greenMask = greenMask;
    desc->blueMask = blueMask;
    desc->alphaMask = alphaMask;
    BaseImage_MaskShiftWidth(redMask, &desc->redShift, &desc->redWidth);
    BaseImage_MaskShiftWidth(greenMask, &desc->greenShift, &desc->greenWidth);
    BaseImage_MaskShiftWidth(blueMask, &desc->blueShift, &desc->blueWidth);
    BaseImage_MaskShiftWidth(alphaMask, &desc->alphaShift, &desc->alphaWidth);
    desc->unusedMask = BaseImage_DepthMask(bitDepth) & ~(redMask | greenMask | blueMask | alphaMask);
    BaseImage_MaskShiftWidth(desc->unusedMask, &desc->unusedShift, &desc->unusedWidth);
    return 0;
}

int BaseImage_ColorFormat_SetUnusedMask(ColorFormatDesc* desc)
{
    const int widths = desc->redWidth + desc->greenWidth + desc->blueWidth + desc->alphaWidth;
    if (widths == desc->bitDepth) {
        desc->unusedMask = 0;
    } else {
        desc->unusedMask = BaseImage_DepthMask(desc->bitDepth) &
                           ~(desc->redMask | desc->greenMask | desc->blueMask | desc->alphaMask);
    }
    return 0;
}

// Sets the fields every ready-made initialiser names; the caller's other fields stay.
static void BaseImage_ColorFormat_SetChannels(ColorFormatDesc* desc, int bytes, uint32_t red, uint32_t green,
                                              uint32_t blue, uint32_t alpha, uint32_t unused)
{
    desc->formatCode = 0;
    desc->channelCount = 0;
    desc->channelBits = 0;
    desc->isFloat = 0;
    desc->bytesPerPixel = (uint8_t)bytes;
    desc->bitDepth = (uint8_t)(bytes * 8);
    desc->redMask = red;
    desc->greenMask = green;
    desc->blueMask = blue;
    desc->alphaMask = alpha;
    desc->unusedMask = unused;
    BaseImage_MaskShiftWidth(red, &desc->redShift, &desc->redWidth);
    BaseImage_MaskShiftWidth(green, &desc->greenShift, &desc->greenWidth);
    BaseImage_MaskShiftWidth(blue, &desc->blueShift, &desc->blueWidth);
    BaseImage_MaskShiftWidth(alpha, &desc->alphaShift, &desc->alphaWidth);
}

static void BaseImage_ColorFormat_SetUnusedField(ColorFormatDesc* desc, int shift, int width)
{
    desc->unusedShift = (uint8_t)shift;
    desc->unusedWidth = (uint8_t)width;
}

int BaseImage_ColorFormat_InitARGB8(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0);
    BaseImage_ColorFormat_SetUnusedField(desc, 0, 0);
    return 0;
}

int BaseImage_ColorFormat_InitABGR8(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 4, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u, 0);
    BaseImage_ColorFormat_SetUnusedField(desc, 0, 0);
    return 0;
}

int BaseImage_ColorFormat_InitXRGB8(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 4, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000u);
    BaseImage_ColorFormat_SetUnusedField(desc, 24, 8);
    return 0;
}

int BaseImage_ColorFormat_InitRGB24(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    return 0;
}

int BaseImage_ColorFormat_InitBGR24(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 3, 0xFF, 0xFF00, 0xFF0000, 0, 0);
    BaseImage_ColorFormat_SetUnusedField(desc, 0, 0);
    return 0;
}

int BaseImage_ColorFormat_InitR5G6B5(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 2, 0xF800, 0x7E0, 0x1F, 0, 0);
    return 0;
}

int BaseImage_ColorFormat_InitX1R5G5B5(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 2, 0x7C00, 0x3E0, 0x1F, 0, 0x8000);
    return 0;
}

int BaseImage_ColorFormat_InitPal8(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_SetChannels(desc, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000u);
    desc->maxPaletteIndex = 255;
    return 0;
}

int BaseImage_ColorFormat_InitGray8(ColorFormatDesc* desc)
{
    BaseImage_ColorFormat_InitPal8(desc);
    for (uint32_t i = 0; i < 256; i++) desc->palette[i] = (i << 16) | (i << 8) | i;
    return 0;
}

int BaseImage_ColorFormat_InitPal8Preset(ColorFormatDesc* desc, int alpha)
{
    BaseImage_ColorFormat_SetChannels(desc, 1, 0xFF0000, 0xFF00, 0xFF, alpha ? 0xFF000000u : 0,
                                      alpha ? 0 : 0xFF000000u);
    desc->maxPaletteIndex = 255;
    for (uint32_t i = 0; i < 256; i++) {
        const uint32_t r = (i & 7) * 255 / 7;
        const uint32_t g = ((i >> 3) & 7) * 255 / 7;
        const uint32_t b = ((i >> 5) & 3) * 85;
        desc->palette[i] = (alpha ? 0xFF000000u : 0) | (r << 16) | (g << 8) | b;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Creation and release
// ---------------------------------------------------------------------------------------------

int64_t BaseImage_CheckedSize(int64_t pitch, int64_t rows)
{
    if (pitch < 0 || rows < 0 || (rows != 0 && pitch > BaseImage_MaxDataSize / rows)) {
        Log_AddFormatUTF16(L"画像のサイズが大きすぎます( ピッチ %lld byte x %lld ライン )", (long long)pitch,
                           (long long)rows);
        return -1;
    }
    return pitch * rows;
}

// Allocates pitch x height bytes for a new image record, the size checked first.
static int BaseImage_AllocatePixels(BaseImage* out, int64_t pitch, int height)
{
    out->pixels = nullptr;
    if (pitch > BaseImage_MaxDataSize) {
        BaseImage_CheckedSize(pitch, 1);
        return -1;
    }
    const int64_t size = BaseImage_CheckedSize(pitch, height);
    if (size < 0) return -1;
    out->pitch = (int32_t)pitch;
    out->pixels = Memory_Allocate((uint32_t)(size == 0 ? 1 : size), "VtBaseImage", __LINE__);
    return out->pixels == nullptr ? -1 : 0;
}

static int BaseImage_CreateWithFormat(int width, int height, BaseImage* out, int64_t pitch)
{
    out->width = width;
    out->height = height;
    out->mipLevelCount = 0;
    out->faceCount = 0;
    if (width < 0 || height < 0) {
        out->pixels = nullptr;
        return -1;
    }
    return BaseImage_AllocatePixels(out, pitch, height);
}

int BaseImage_CreateARGB8(int width, int height, BaseImage* out)
{
    BaseImage_ColorFormat_InitARGB8(&out->format);
    return BaseImage_CreateWithFormat(width, height, out, ((int64_t)width * 4 + 3) / 4 * 4);
}

int BaseImage_CreateXRGB8(int width, int height, BaseImage* out)
{
    BaseImage_ColorFormat_InitXRGB8(&out->format);
    return BaseImage_CreateWithFormat(width, height, out, ((int64_t)width * 4 + 3) / 4 * 4);
}

int BaseImage_CreatePal8(int width, int height, BaseImage* out, int alpha)
{
    BaseImage_ColorFormat_InitPal8Preset(&out->format, alpha);
    return BaseImage_CreateWithFormat(width, height, out, ((int64_t)width + 3) / 4 * 4);
}

int BaseImage_CreateARGBF32(int width, int height, BaseImage* out)
{
    BaseImage_ColorFormat_InitFromMasks(&out->format, 0, 0, 0, 0, 0, 4, 32, 1);
    return BaseImage_CreateWithFormat(width, height, out, (int64_t)width * 16);
}

int BaseImage_Release(BaseImage* image)
{
    if (image->pixels != nullptr) Memory_Free(image->pixels);
    memset(image, 0, sizeof(*image));
    return 0;
}

int BaseImage_Derive(const BaseImage* source, int x1, int y1, int x2, int y2, BaseImage* out)
{
    // Sources of one level are derived whether they say so with 0 or 1; images of several levels
    // are not, as a view could not describe their lower levels.
    if (x1 < 0 || y1 < 0 || x1 >= x2 || y1 >= y2 || x2 > source->width || y2 > source->height) return -1;
    if (source->format.formatCode != BaseImageFormat_Plain || source->mipLevelCount > 1) return -1;
    *out = *source;
    out->width = x2 - x1;
    out->height = y2 - y1;
    out->pixels = (uint8_t*)source->pixels + (int64_t)y1 * source->pitch + (int64_t)x1 * source->format.bytesPerPixel;
    return 0;
}

int BaseImage_ClipRect(const BaseImage* image, int x, int y, int width, int height, BaseImageRect* out)
{
    if (x >= image->width || y >= image->height || width <= 0 || height <= 0) return -1;
    int64_t left = x, top = y, right = (int64_t)x + width, bottom = (int64_t)y + height;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > image->width) right = image->width;
    if (bottom > image->height) bottom = image->height;
    if (left >= right || top >= bottom) return 0;
    *out = {(int32_t)left, (int32_t)top, (int32_t)right, (int32_t)bottom};
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Sizes and palettes
// ---------------------------------------------------------------------------------------------

// Bytes of one level of size width x height: whole 4 x 4 blocks for compressed data (a partial
// block at the right or bottom edge still takes a whole block).
static int64_t BaseImage_LevelSize(const BaseImage* image, int64_t width, int64_t height, int level)
{
    const int code = image->format.formatCode;
    if (code == BaseImageFormat_Plain) {
        if (level == 0) return (int64_t)image->pitch * height;
        return width * image->format.bytesPerPixel * height;
    }
    const int64_t blocks = ((width + 3) / 4) * ((height + 3) / 4);
    return blocks * (code == BaseImageFormat_DXT1 ? 8 : 16);
}

int BaseImage_GetDataSize(const BaseImage* image)
{
    const int code = image->format.formatCode;
    if (code > BaseImageFormat_BC7SRGB) return -1;
    if (image->width < 0 || image->height < 0 || image->pitch < 0) return -1;
    const int levels = image->mipLevelCount >= 2 ? image->mipLevelCount : 1;
    int64_t width = image->width, height = image->height, total = 0;
    for (int level = 0; level < levels; level++) {
        total += BaseImage_LevelSize(image, width, height, level);
        if (total > BaseImage_MaxDataSize) return -1;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    return (int)total;
}

int BaseImage_GetMaxPaletteIndex(const BaseImage* image)
{
    if (image->format.formatCode != BaseImageFormat_Plain || image->format.bytesPerPixel != 1) return -1;
    int highest = 0;
    for (int y = 0; y < image->height; y++) {
        const uint8_t* row = (const uint8_t*)image->pixels + (int64_t)y * image->pitch;
        for (int x = 0; x < image->width; x++) {
            if (row[x] > highest) {
                highest = row[x];
                if (highest == 255) return 255;
            }
        }
    }
    return highest;
}

// ---------------------------------------------------------------------------------------------
// Colour values through a format
// ---------------------------------------------------------------------------------------------

int BaseImage_ColorFormat_NearestPaletteIndex(const ColorFormatDesc* desc, int r, int g, int b)
{
    uint32_t best = 0xFFFFFF;
    int bestIndex = 0;
    for (int i = 0; i < 256; i++) {
        const uint32_t entry = desc->palette[i];
        const int dr = (int)((entry >> 16) & 0xFF) - r;
        const int dg = (int)((entry >> 8) & 0xFF) - g;
        const int db = (int)(entry & 0xFF) - b;
        const uint32_t distance = (uint32_t)(dg * dg + db * db + dr * dr);
        if (distance < best) {
            best = distance;
            bestIndex = i;
        }
    }
    return bestIndex;
}

uint32_t BaseImage_ColorFormat_PackColor(const ColorFormatDesc* desc, int r, int g, int b, int a)
{
    if (desc->channelCount != 0 && desc->channelBits == 8 && !desc->isFloat) {
        switch (desc->channelCount) {
        case 1: return (uint32_t)r;
        case 2: return (uint32_t)r | (uint32_t)g << 8;
        case 3: return (uint32_t)r | (uint32_t)g << 8 | (uint32_t)b << 16;
        case 4: return (uint32_t)r | (uint32_t)g << 8 | (uint32_t)b << 16 | (uint32_t)a << 24;
        default: break;
        }
    }
    if (desc->bytesPerPixel == 1) return (uint32_t)BaseImage_ColorFormat_NearestPaletteIndex(desc, r, g, b);
    auto term = [](int c, int width, int shift) -> uint32_t {
        if (width == 0) return 0;
        return (((uint32_t)c & 255) >> (8 - width)) << shift;
    };
    uint32_t value = term(r, desc->redWidth, desc->redShift) + term(g, desc->greenWidth, desc->greenShift) +
                     term(b, desc->blueWidth, desc->blueShift) + desc->unusedMask;
    if (desc->alphaWidth != 0) value += term(a, desc->alphaWidth, desc->alphaShift);
    return value;
}

// A channel of any width scaled to 0..255 (unsigned, truncating).
static inline uint32_t BaseImage_ScaleChannel(uint32_t value, uint32_t mask, int shift, int width)
{
    if (width == 0) return 0;
    const uint32_t maximum = width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    return (uint32_t)((uint64_t)((value & mask) >> shift) * 255 / maximum);
}

int BaseImage_ColorFormat_UnpackColor(const ColorFormatDesc* desc, uint32_t value, int* r, int* g, int* b, int* a)
{
    if (desc->redWidth == 8 && desc->greenWidth == 8 && desc->blueWidth == 8) {
        if (r) *r = (int)((value & desc->redMask) >> desc->redShift);
        if (g) *g = (int)((value & desc->greenMask) >> desc->greenShift);
        if (b) *b = (int)((value & desc->blueMask) >> desc->blueShift);
        if (a && desc->alphaWidth != 0)
            *a = (int)BaseImage_ScaleChannel(value, desc->alphaMask, desc->alphaShift, desc->alphaWidth);
        return 0;
    }
    if (r) *r = (int)BaseImage_ScaleChannel(value, desc->redMask, desc->redShift, desc->redWidth);
    if (g) *g = (int)BaseImage_ScaleChannel(value, desc->greenMask, desc->greenShift, desc->greenWidth);
    if (b) *b = (int)BaseImage_ScaleChannel(value, desc->blueMask, desc->blueShift, desc->blueWidth);
    if (a) *a = (int)BaseImage_ScaleChannel(value, desc->alphaMask, desc->alphaShift, desc->alphaWidth);
    return 0;
}

uint32_t BaseImage_PackARGB8(int r, int g, int b, int a)
{
    return ((uint32_t)a & 255) << 24 | ((uint32_t)r & 255) << 16 | ((uint32_t)g & 255) << 8 | ((uint32_t)b & 255);
}

FloatColor* BaseImage_MakeFloatColor(FloatColor* out, float r, float g, float b, float a)
{
    out->r = r;
    out->g = g;
    out->b = b;
    out->a = a;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Pixels
// ---------------------------------------------------------------------------------------------

static inline uint32_t BaseImage_ReadValue(const uint8_t* p, int bytes)
{
    switch (bytes) {
    case 1: return p[0];
    case 2: return (uint32_t)p[0] | (uint32_t)p[1] << 8;
    case 3: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16;
    default: return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    }
}

static inline uint8_t* BaseImage_PixelAddress(const BaseImage* image, int x, int y, int bytes)
{
    return (uint8_t*)image->pixels + (int64_t)y * image->pitch + (int64_t)x * bytes;
}

uint32_t BaseImage_GetPixelARGB8(const BaseImage* image, int x, int y)
{
    const ColorFormatDesc& f = image->format;
    if (image->pixels == nullptr || f.bytesPerPixel < 2 || f.bytesPerPixel > 4) return 0;
    // Positions outside the image read nothing (0), like a missing buffer.
    if ((uint32_t)x >= (uint32_t)image->width || (uint32_t)y >= (uint32_t)image->height) return 0;
    const uint32_t v = BaseImage_ReadValue(BaseImage_PixelAddress(image, x, y, f.bytesPerPixel), f.bytesPerPixel);
    if (f.bytesPerPixel == 3) return v;
    auto top = [v](uint32_t mask, int shift, int width, int end) -> uint32_t {
        if (width == 0) return 0;
        return ((v & mask) >> shift) << (end - width);
    };
    uint32_t result = top(f.blueMask, f.blueShift, f.blueWidth, 8) | top(f.greenMask, f.greenShift, f.greenWidth, 16) |
                      top(f.redMask, f.redShift, f.redWidth, 24);
    if (f.alphaWidth != 0) result |= top(f.alphaMask, f.alphaShift, f.alphaWidth, 32);
    return result;
}

// Expands a block-compressed image in place (old pixels freed) and checks the position.
static int BaseImage_PreparePixelAccess(BaseImage* image, int x, int y)
{
    if (image->format.formatCode != BaseImageFormat_Plain && BaseImage_ExpandCompressed(image, 1) != 0) return -1;
    if ((uint32_t)x >= (uint32_t)image->width || (uint32_t)y >= (uint32_t)image->height) return -1;
    return 0;
}

int BaseImage_GetPixelRGBA(BaseImage* image, int x, int y, int* r, int* g, int* b, int* a)
{
    if (BaseImage_PreparePixelAccess(image, x, y) != 0) return -1;
    const ColorFormatDesc& f = image->format;
    int* outs[4] = {r, g, b, a};
    // Float pixels are addressed by the format's pixel size, so that images of fewer than four
    // channels are read where their pixels are.
    if (f.isFloat) {
        if (f.channelBits == 16) {
            const uint16_t* p = (const uint16_t*)BaseImage_PixelAddress(image, x, y, f.bytesPerPixel);
            for (int c = 0; c < f.channelCount && c < 4; c++)
                if (outs[c]) *outs[c] = (int)(BaseImage_HalfToFloat(p[c]) * 255.0f);
            return 0;
        }
        if (f.channelBits == 32) {
            const float* p = (const float*)BaseImage_PixelAddress(image, x, y, f.bytesPerPixel);
            for (int c = 0; c < f.channelCount && c < 4; c++)
                if (outs[c]) *outs[c] = (int)(p[c] * 255.0f);
            return 0;
        }
        return -1;
    }
    const int bytes = f.bytesPerPixel;
    if (bytes < 1 || bytes > 4) return -1;
    const uint32_t v = BaseImage_ReadValue(BaseImage_PixelAddress(image, x, y, bytes), bytes);
    if (bytes == 1) {
        const uint32_t entry = f.palette[v];
        if (r) *r = (int)((entry >> 16) & 255);
        if (g) *g = (int)((entry >> 8) & 255);
        if (b) *b = (int)(entry & 255);
        if (a) *a = (int)(entry >> 24);
        return 0;
    }
    return BaseImage_ColorFormat_UnpackColor(&f, v, r, g, b, a);
}

int BaseImage_SetPixelRGBA(BaseImage* image, int x, int y, int r, int g, int b, int a)
{
    if (BaseImage_PreparePixelAccess(image, x, y) != 0) return -1;
    const ColorFormatDesc& f = image->format;
    const int values[4] = {r, g, b, a};
    if (f.isFloat) {
        if (f.channelBits == 16) {
            uint16_t* p = (uint16_t*)BaseImage_PixelAddress(image, x, y, f.bytesPerPixel);
            for (int c = 0; c < f.channelCount && c < 4; c++) p[c] = BaseImage_FloatToHalf((float)values[c] / 255.0f);
            return 0;
        }
        if (f.channelBits == 32) {
            float* p = (float*)BaseImage_PixelAddress(image, x, y, f.bytesPerPixel);
            for (int c = 0; c < f.channelCount && c < 4; c++) p[c] = (float)values[c] / 255.0f;
            return 0;
        }
        return -1;
    }
    const int bytes = f.bytesPerPixel;
    if (bytes < 1 || bytes > 4) return 0;
    const uint32_t v = BaseImage_ColorFormat_PackColor(&f, r, g, b, a);
    uint8_t* p = BaseImage_PixelAddress(image, x, y, bytes);
    for (int i = 0; i < bytes; i++) p[i] = (uint8_t)(v >> (8 * i));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Half floats (IEEE 754 binary16): zero, subnormals, infinity and NaN are kept as what they are.
// ---------------------------------------------------------------------------------------------

float BaseImage_HalfToFloat(uint16_t half)
{
    const uint32_t sign = (uint32_t)(half & 0x8000) << 16;
    const uint32_t exponent = (half >> 10) & 31;
    uint32_t mantissa = half & 0x3FF;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: normalise the mantissa into a single-precision normal number.
            int e = 113;
            while ((mantissa & 0x400) == 0) {
                mantissa <<= 1;
                e--;
            }
            bits = sign | (uint32_t)e << 23 | (mantissa & 0x3FF) << 13;
        }
    } else if (exponent == 31) {
        bits = sign | 0x7F800000u | mantissa << 13 | (mantissa != 0 ? 0x400000u : 0);
    } else {
        bits = sign | (exponent + 112) << 23 | mantissa << 13;
    }
    float result;
    memcpy(&result, &bits, 4);
    return result;
}

uint16_t BaseImage_FloatToHalf(float value)
{
    uint32_t bits;
    memcpy(&bits, &value, 4);
    const uint16_t sign = (uint16_t)((bits >> 16) & 0x8000);
    const int exponent = (int)((bits >> 23) & 255);
    const uint32_t mantissa = bits & 0x7FFFFF;
    if (exponent == 255) return (uint16_t)(sign | 0x7C00 | (mantissa != 0 ? 0x200 | (mantissa >> 13) : 0));
    const int e = exponent - 112;
    if (e >= 31) return (uint16_t)(sign | 0x7C00);   // too large: infinity
    if (e <= 0) {
        // Subnormal half (or zero): the implicit bit joins the mantissa, low bits dropped.
        if (e < -10) return sign;
        const uint32_t full = mantissa | 0x800000;
        return (uint16_t)(sign | (full >> (14 - e)));
    }
    return (uint16_t)(sign | (uint32_t)e << 10 | mantissa >> 13);
}

// ---------------------------------------------------------------------------------------------
// Screen colour codes
// ---------------------------------------------------------------------------------------------

// The descriptor of the screen format without a device: R5G6B5 at depth 16, XRGB8 otherwise.
static const ColorFormatDesc* BaseImage_ScreenFormat()
{
    static ColorFormatDesc rgb565, xrgb8;
    static int made = 0;
    if (!made) {
        BaseImage_ColorFormat_InitFromMasks(&rgb565, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0);
        BaseImage_ColorFormat_InitFromMasks(&xrgb8, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0);
        made = 1;
    }
    return GetScreenColorBitDepth() == 16 ? &rgb565 : &xrgb8;
}

unsigned int MakeColorCode(int red, int green, int blue)
{
    if (GraphicsApi != GRAPHICS_API_NONE)
        return 0xFF000000u | ((uint32_t)red & 255) << 16 | (uint32_t)green << 8 | (uint32_t)blue;
    const ColorFormatDesc* f = BaseImage_ScreenFormat();
    auto term = [](int c, int width, int shift) { return (((uint32_t)c & 255) >> (8 - width)) << shift; };
    return term(red, f->redWidth, f->redShift) + term(green, f->greenWidth, f->greenShift) +
           term(blue, f->blueWidth, f->blueShift) + f->unusedMask;
}

int SplitColorCode(unsigned int code, int* red, int* green, int* blue)
{
    if (GraphicsApi != GRAPHICS_API_NONE) {
        if (red) *red = (int)((code >> 16) & 255);
        if (green) *green = (int)((code >> 8) & 255);
        if (blue) *blue = (int)(code & 255);
        return 0;
    }
    const ColorFormatDesc* f = BaseImage_ScreenFormat();
    if (red) *red = (int)BaseImage_ScaleChannel(code, f->redMask, f->redShift, f->redWidth);
    if (green) *green = (int)BaseImage_ScaleChannel(code, f->greenMask, f->greenShift, f->greenWidth);
    if (blue) *blue = (int)BaseImage_ScaleChannel(code, f->blueMask, f->blueShift, f->blueWidth);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Alpha-image file names
// ---------------------------------------------------------------------------------------------

int BaseImage_MakeAlphaFileName(const wchar_t* name, wchar_t* out, int outBytes)
{
    const int capacity = outBytes / (int)sizeof(wchar_t);
    if (capacity <= 0) return 0;
    const int length = (int)wcslen(name);
    int dot = -1;
    for (int i = 0; i < length; i++)
        if (name[i] == L'.') dot = i;
    const int insertAt = dot < 0 ? length : dot;
    int n = 0;
    auto put = [&](wchar_t c) {
        if (n < capacity - 1) out[n++] = c;
    };
    for (int i = 0; i < insertAt; i++) put(name[i]);
    put(L'_');
    put(L'a');
    for (int i = insertAt; i < length; i++) put(name[i]);
    out[n] = 0;
    return 0;
}

}  // namespace Vantrel
