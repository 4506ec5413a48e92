// Block-compressed images (DXT1 to DXT5, BC7) expanded into ARGB8, decoded YUV video frames
// converted to XRGB8 or split into luma and chroma planes, and alpha premultiplication.
// Stands on the base images, the conversion blit and the module's alpha tables.
#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "image/VtBaseImage.h"
#include "image/VtBaseImageStart.h"

namespace Vantrel {

namespace {

// ---------------------------------------------------------------------------------------------
// DXT blocks
// ---------------------------------------------------------------------------------------------

struct Rgba {
    uint8_t r, g, b, a;
};

inline uint16_t Read16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t Read32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

Rgba Dxt_ExpandColour(uint16_t c)
{
    return {(uint8_t)((c >> 11) * 255 / 31), (uint8_t)(((c >> 5) & 63) * 255 / 63), (uint8_t)((c & 31) * 255 / 31), 255};
}

// The four colours of a colour block; fourColours forces the rule of c0 > c1.
void Dxt_ColourBlock(const uint8_t* block, bool fourColours, Rgba out[16])
{
    const uint16_t c0 = Read16(block), c1 = Read16(block + 2);
    Rgba colours[4];
    colours[0] = Dxt_ExpandColour(c0);
    colours[1] = Dxt_ExpandColour(c1);
    const Rgba& a = colours[0];
    const Rgba& b = colours[1];
    if (fourColours || c0 > c1) {
        colours[2] = {(uint8_t)((2 * a.r + b.r) / 3), (uint8_t)((2 * a.g + b.g) / 3), (uint8_t)((2 * a.b + b.b) / 3), 255};
        colours[3] = {(uint8_t)((a.r + 2 * b.r) / 3), (uint8_t)((a.g + 2 * b.g) / 3), (uint8_t)((a.b + 2 * b.b) / 3), 255};
    } else {
        colours[2] = {(uint8_t)((a.r + b.r) / 2), (uint8_t)((a.g + b.g) / 2), (uint8_t)((a.b + b.b) / 2), 255};
        colours[3] = colours[2];
        colours[3].a = 0;
    }
    const uint32_t indices = Read32(block + 4);
    for (int i = 0; i < 16; i++) out[i] = colours[(indices >> (2 * i)) & 3];
}

void Dxt_AlphaExplicit(const uint8_t* block, Rgba out[16])
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; i--) bits = bits << 8 | block[i];
    for (int i = 0; i < 16; i++) out[i].a = (uint8_t)(((bits >> (4 * i)) & 15) * 17);
}

void Dxt_AlphaInterpolated(const uint8_t* block, Rgba out[16])
{
    const int a0 = block[0], a1 = block[1];
    int table[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
    if (a0 > a1) {
        for (int i = 2; i < 8; i++) table[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
    } else {
        for (int i = 2; i < 6; i++) table[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
        table[6] = 0;
        table[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 7; i >= 2; i--) bits = bits << 8 | block[i];
    for (int i = 0; i < 16; i++) out[i].a = (uint8_t)table[(bits >> (3 * i)) & 7];
}

// Undoes the premultiplication of DXT2 (alpha 0 gives black) and DXT4 (alpha 0 keeps the colour).
void Dxt_Unpremultiply(Rgba out[16], bool blackAtZero)
{
    for (int i = 0; i < 16; i++) {
        Rgba& p = out[i];
        if (p.a == 0) {
            if (blackAtZero) p.r = p.g = p.b = 0;
            continue;
        }
        auto divide = [&](uint8_t c) { return (uint8_t)(c * 255 / p.a > 255 ? 255 : c * 255 / p.a); };
        p.r = divide(p.r);
        p.g = divide(p.g);
        p.b = divide(p.b);
    }
}

// ---------------------------------------------------------------------------------------------
// BC7 blocks (the single-subset modes 4, 5 and 6)
// ---------------------------------------------------------------------------------------------

struct BitReader {
    const uint8_t* data;
    int position;
    uint32_t Take(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; i++, position++) value |= (uint32_t)((data[position >> 3] >> (position & 7)) & 1) << i;
        return value;
    }
};

const uint8_t Bc7Weights2[4] = {0, 21, 43, 64};
const uint8_t Bc7Weights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
const uint8_t Bc7Weights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

inline uint8_t Bc7_Unquantise(uint32_t v, int bits)
{
    v <<= 8 - bits;
    return (uint8_t)(v | v >> bits);
}

inline uint8_t Bc7_Interpolate(int e0, int e1, int weight) { return (uint8_t)(((64 - weight) * e0 + weight * e1 + 32) >> 6); }

const uint8_t* Bc7_Weights(int bits) { return bits == 2 ? Bc7Weights2 : bits == 3 ? Bc7Weights3 : Bc7Weights4; }

// Decodes one block; -1 for the modes of several subsets, which are not decoded.
int Bc7_Block(const uint8_t* block, Rgba out[16])
{
    int mode = 0;
    while (mode < 8 && ((block[0] >> mode) & 1) == 0) mode++;
    if (mode < 4 || mode == 7) return -1;
    BitReader bits = {block, mode + 1};
    int rotation = 0, indexSelection = 0;
    if (mode == 4 || mode == 5) rotation = (int)bits.Take(2);
    if (mode == 4) indexSelection = (int)bits.Take(1);
    const int colourBits = mode == 4 ? 5 : 7;
    const int alphaBits = mode == 4 ? 6 : mode == 5 ? 8 : 7;
    int endpoints[2][4];
    for (int c = 0; c < 3; c++)
        for (int e = 0; e < 2; e++) endpoints[e][c] = (int)bits.Take(colourBits);
    for (int e = 0; e < 2; e++) endpoints[e][3] = (int)bits.Take(alphaBits);
    if (mode == 6) {
        for (int e = 0; e < 2; e++) {
            const uint32_t p = bits.Take(1);
            for (int c = 0; c < 4; c++) endpoints[e][c] = endpoints[e][c] << 1 | (int)p;
        }
    } else {
        for (int e = 0; e < 2; e++) {
            for (int c = 0; c < 3; c++) endpoints[e][c] = Bc7_Unquantise((uint32_t)endpoints[e][c], colourBits);
            endpoints[e][3] = Bc7_Unquantise((uint32_t)endpoints[e][3], alphaBits);
        }
    }
    // Index sets: the first (and for modes 4 and 5 the second); pixel 0's index drops its top bit.
    const int firstBits = mode == 6 ? 4 : 2, secondBits = mode == 4 ? 3 : mode == 5 ? 2 : 0;
    int first[16], second[16] = {};
    for (int i = 0; i < 16; i++) first[i] = (int)bits.Take(i == 0 ? firstBits - 1 : firstBits);
    if (secondBits != 0)
        for (int i = 0; i < 16; i++) second[i] = (int)bits.Take(i == 0 ? secondBits - 1 : secondBits);
    for (int i = 0; i < 16; i++) {
        int colourWeight, alphaWeight;
        if (mode == 6) {
            colourWeight = alphaWeight = Bc7Weights4[first[i]];
        } else if (indexSelection == 0) {
            colourWeight = Bc7_Weights(firstBits)[first[i]];
            alphaWeight = Bc7_Weights(secondBits)[second[i]];
        } else {
            colourWeight = Bc7_Weights(secondBits)[second[i]];
            alphaWeight = Bc7_Weights(firstBits)[first[i]];
        }
        uint8_t c[4];
        for (int k = 0; k < 3; k++) c[k] = Bc7_Interpolate(endpoints[0][k], endpoints[1][k], colourWeight);
        c[3] = Bc7_Interpolate(endpoints[0][3], endpoints[1][3], alphaWeight);
        if (rotation != 0) {
            const uint8_t t = c[3];
            c[3] = c[rotation - 1];
            c[rotation - 1] = t;
        }
        out[i] = {c[0], c[1], c[2], c[3]};
    }
    return 0;
}

// Decodes one face's top level into rows of ARGB8 pixels.
int Compressed_DecodeFace(const uint8_t* data, int code, int width, int height, uint8_t* pixels, int pitch)
{
    const int blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    const int blockBytes = code == BaseImageFormat_DXT1 ? 8 : 16;
    for (int by = 0; by < blocksHigh; by++) {
        for (int bx = 0; bx < blocksWide; bx++, data += blockBytes) {
            Rgba texels[16];
            switch (code) {
            case BaseImageFormat_DXT1: Dxt_ColourBlock(data, false, texels); break;
            case BaseImageFormat_DXT2:
            case BaseImageFormat_DXT3:
                Dxt_ColourBlock(data + 8, true, texels);
                Dxt_AlphaExplicit(data, texels);
                if (code == BaseImageFormat_DXT2) Dxt_Unpremultiply(texels, true);
                break;
            case BaseImageFormat_DXT4:
            case BaseImageFormat_DXT5:
                Dxt_ColourBlock(data + 8, true, texels);
                Dxt_AlphaInterpolated(data, texels);
                if (code == BaseImageFormat_DXT4) Dxt_Unpremultiply(texels, false);
                break;
            default:
                if (Bc7_Block(data, texels) != 0) {
                    Log_AddFormatUTF16(L"BC7 のブロック( モード %d )は展開できません", data[0] == 0 ? 8 : __builtin_ctz(data[0]));
                    return -1;
                }
                break;
            }
            for (int y = 0; y < 4; y++) {
                uint8_t* row = pixels + (int64_t)(by * 4 + y) * pitch + (int64_t)bx * 16;
                for (int x = 0; x < 4; x++) {
                    const Rgba& t = texels[y * 4 + x];
                    row[x * 4 + 0] = t.b;
                    row[x * 4 + 1] = t.g;
                    row[x * 4 + 2] = t.r;
                    row[x * 4 + 3] = t.a;
                }
            }
        }
    }
    return 0;
}

}  // namespace

int BaseImage_ExpandCompressed(BaseImage* image, int freeOldPixels)
{
    const int code = image->format.formatCode;
    if (code == BaseImageFormat_Plain) return 0;
    if (code < BaseImageFormat_DXT1 || code > BaseImageFormat_BC7SRGB) return -1;
    // Compressed faces follow one another, each with all of its mip levels.
    const int faceStride = BaseImage_GetDataSize(image);
    const int faces = image->faceCount != 0 ? 6 : 1;
    image->mipLevelCount = 0;
    if (faceStride < 0 || image->width <= 0 || image->height <= 0) return -1;
    const int64_t pitch = ((int64_t)image->width + 3) / 4 * 16;
    const int64_t rows = ((int64_t)image->height + 3) / 4 * 4;
    const int64_t faceBytes = BaseImage_CheckedSize(pitch, rows);
    if (faceBytes < 0 || BaseImage_CheckedSize(faceBytes, faces) < 0) return -1;
    uint8_t* pixels = (uint8_t*)Memory_Allocate((uint32_t)(faceBytes * faces), "VtBaseImageCompressed", __LINE__);
    if (pixels == nullptr) return -1;
    for (int face = 0; face < faces; face++) {
        if (Compressed_DecodeFace((const uint8_t*)image->pixels + (int64_t)face * faceStride, code, image->width,
                                  image->height, pixels + face * faceBytes, (int)pitch) != 0) {
            Memory_Free(pixels);
            return -1;
        }
    }
    if (freeOldPixels == 1) Memory_Free(image->pixels);
    BaseImage_ColorFormat_InitARGB8(&image->format);
    image->pixels = pixels;
    image->pitch = (int32_t)pitch;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// YUV frames: full-range BT.601 with 15 fractional bits
// ---------------------------------------------------------------------------------------------

namespace {

inline uint8_t Yuv_Store(int32_t s) { return s < 0 ? 0 : s > 0x7F8000 ? 255 : (uint8_t)(s >> 15); }

inline void Yuv_Pixel(uint8_t* out, int y, int u, int v)
{
    const int32_t luma = y * 32768;
    out[0] = Yuv_Store(luma + 58064 * (u - 128));
    out[1] = Yuv_Store(luma - 11272 * (u - 128) - 23396 * (v - 128));
    out[2] = Yuv_Store(luma + 45940 * (v - 128));
    out[3] = 255;
}

inline uint8_t* Yuv_Row(BaseImage* destination, int y) { return (uint8_t*)destination->pixels + (int64_t)y * destination->pitch; }

// Planar layouts: the chroma pair of pixel (x, y) given by a lookup of the layout.
template <class ChromaAt>
void Yuv_Planar(const uint8_t* frame, int width, int height, int groupWidth, int groupHeight, BaseImage* destination,
                ChromaAt chromaAt)
{
    const int usableWidth = width / groupWidth * groupWidth, usableHeight = height / groupHeight * groupHeight;
    for (int y = 0; y < usableHeight; y++) {
        const uint8_t* luma = frame + (int64_t)y * width;
        uint8_t* out = Yuv_Row(destination, y);
        for (int x = 0; x < usableWidth; x++) {
            int u, v;
            chromaAt(x, y, &u, &v);
            Yuv_Pixel(out + x * 4, luma[x], u, v);
        }
    }
}

// Packed layouts: byte positions of Y0, U, Y1, V inside each group of four.
void Yuv_Packed(const uint8_t* frame, int width, int height, const int order[4], BaseImage* destination)
{
    const int pairs = width / 2;
    for (int y = 0; y < height; y++) {
        const uint8_t* group = frame + (int64_t)y * width * 2;
        uint8_t* out = Yuv_Row(destination, y);
        for (int k = 0; k < pairs; k++, group += 4) {
            Yuv_Pixel(out + k * 8, group[order[0]], group[order[1]], group[order[3]]);
            Yuv_Pixel(out + k * 8 + 4, group[order[2]], group[order[1]], group[order[3]]);
        }
    }
}

void Yuv_PackedToPlanes(const uint8_t* frame, int width, int height, const int order[4], uint8_t* yPlane, uint8_t* uvPlane)
{
    const int pairs = width / 2;
    for (int y = 0; y < height; y++) {
        const uint8_t* group = frame + (int64_t)y * width * 2;
        uint8_t* luma = yPlane + (int64_t)y * width;
        uint8_t* chroma = uvPlane + (int64_t)y * width;
        for (int k = 0; k < pairs; k++, group += 4) {
            luma[2 * k] = group[order[0]];
            luma[2 * k + 1] = group[order[2]];
            chroma[2 * k] = group[order[1]];
            chroma[2 * k + 1] = group[order[3]];
        }
    }
}

const int OrderUYVY[4] = {1, 0, 3, 2};   // Y0, U, Y1, V positions
const int OrderYUY2[4] = {0, 1, 2, 3};
const int OrderYVYU[4] = {0, 3, 2, 1};

}  // namespace

int BaseImage_Yuv_NV11ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    const uint8_t* chroma = frame + (int64_t)width * height;
    Yuv_Planar(frame, width, height, 4, 1, destination, [&](int x, int y, int* u, int* v) {
        const uint8_t* pair = chroma + (int64_t)y * (width / 2) + (x / 4) * 2;
        *u = pair[0];
        *v = pair[1];
    });
    return 0;
}

int BaseImage_Yuv_NV12ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    const uint8_t* chroma = frame + (int64_t)width * height;
    Yuv_Planar(frame, width, height, 2, 2, destination, [&](int x, int y, int* u, int* v) {
        const uint8_t* pair = chroma + (int64_t)(y / 2) * width + (x / 2) * 2;
        *u = pair[0];
        *v = pair[1];
    });
    return 0;
}

int BaseImage_Yuv_YV12ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    const uint8_t* vPlane = frame + (int64_t)width * height;
    const uint8_t* uPlane = vPlane + (int64_t)(width / 2) * (height / 2);
    Yuv_Planar(frame, width, height, 2, 2, destination, [&](int x, int y, int* u, int* v) {
        const int64_t at = (int64_t)(y / 2) * (width / 2) + x / 2;
        *u = uPlane[at];
        *v = vPlane[at];
    });
    return 0;
}

int BaseImage_Yuv_UYVYToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    Yuv_Packed(frame, width, height, OrderUYVY, destination);
    return 0;
}

int BaseImage_Yuv_YUY2ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    Yuv_Packed(frame, width, height, OrderYUY2, destination);
    return 0;
}

int BaseImage_Yuv_YVYUToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination)
{
    Yuv_Packed(frame, width, height, OrderYVYU, destination);
    return 0;
}

int BaseImage_Yuv_NV11ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    memcpy(yPlane, frame, (size_t)width * height);
    memcpy(uvPlane, frame + (int64_t)width * height, (size_t)(width / 2) * height);
    return 0;
}

int BaseImage_Yuv_NV12ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    memcpy(yPlane, frame, (size_t)width * height);
    memcpy(uvPlane, frame + (int64_t)width * height, (size_t)width * (height / 2));
    return 0;
}

int BaseImage_Yuv_YV12ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    memcpy(yPlane, frame, (size_t)width * height);
    const int chromaWidth = width / 2, chromaHeight = height / 2;
    const uint8_t* vPlane = frame + (int64_t)width * height;
    const uint8_t* uPlane = vPlane + (int64_t)chromaWidth * chromaHeight;
    for (int y = 0; y < chromaHeight; y++) {
        uint8_t* out = uvPlane + (int64_t)y * width;
        for (int x = 0; x < chromaWidth; x++) {
            out[2 * x] = uPlane[(int64_t)y * chromaWidth + x];
            out[2 * x + 1] = vPlane[(int64_t)y * chromaWidth + x];
        }
    }
    return 0;
}

int BaseImage_Yuv_UYVYToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    Yuv_PackedToPlanes(frame, width, height, OrderUYVY, yPlane, uvPlane);
    return 0;
}

int BaseImage_Yuv_YUY2ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    Yuv_PackedToPlanes(frame, width, height, OrderYUY2, yPlane, uvPlane);
    return 0;
}

int BaseImage_Yuv_YVYUToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane)
{
    Yuv_PackedToPlanes(frame, width, height, OrderYVYU, yPlane, uvPlane);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Premultiplied alpha
// ---------------------------------------------------------------------------------------------

int BaseImage_ConvertPremultipliedAlpha(BaseImage* image)
{
    if (image->format.formatCode != BaseImageFormat_Plain && BaseImage_ExpandCompressed(image, 1) != 0) return -1;
    const ColorFormatDesc& f = image->format;
    const bool hasAlpha = f.channelCount != 0 ? f.channelCount >= 4 : f.alphaWidth != 0;
    if (!hasAlpha) return 0;
    const bool isARGB8 = f.bitDepth == 32 && f.bytesPerPixel == 4 && !f.isFloat && f.channelCount == 0 &&
                         f.unusedMask == 0 && f.alphaMask == 0xFF000000u && f.redMask == 0xFF0000 &&
                         f.greenMask == 0xFF00 && f.blueMask == 0xFF;
    if (!isARGB8) {
        BaseImage old = *image;
        memset(image, 0, sizeof(*image));
        if (BaseImage_CreateARGB8(old.width, old.height, image) != 0) {
            *image = old;
            return -1;
        }
        BaseImage_BltWhole(0, 0, &old, image);
        BaseImage_Release(&old);
    }
    BaseImage_EnsureTables();
    for (int y = 0; y < image->height; y++) {
        uint8_t* p = (uint8_t*)image->pixels + (int64_t)y * image->pitch;
        for (int x = 0; x < image->width; x++, p += 4) {
            const uint8_t* row = AlphaMulTable[p[3]];
            p[0] = row[p[0]];
            p[1] = row[p[1]];
            p[2] = row[p[2]];
        }
    }
    return 0;
}

}  // namespace Vantrel
