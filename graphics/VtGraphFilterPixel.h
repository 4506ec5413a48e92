// Pixel helpers shared by the software filter bodies: rows of ARGB8 images (bytes blue, green, red,
// alpha), the integer luminance and the alpha tables. Stands on the base images and the image
// module's tables.
#pragma once

#include <stdint.h>

#include "graphics/VtGraphFilter.h"
#include "image/VtBaseImageStart.h"

namespace Vantrel {

inline uint8_t* GraphFilter_Row(const BaseImage* image, int y)
{
    return static_cast<uint8_t*>(image->pixels) + (int64_t)y * image->pitch;
}

// Luminance in 1/4096: G x 2404 + R x 1224 + B x 466 (the weights add up to 4094).
inline int32_t GraphFilter_Luminance(int b, int g, int r) { return g * 2404 + r * 1224 + b * 466; }

// Reads a pixel's colour as straight colour: un-premultiplied through the alpha table with pma.
inline void GraphFilter_ReadStraight(const uint8_t* p, int pma, int* b, int* g, int* r)
{
    if (pma) {
        *b = AlphaDivTable[p[0]][p[3]];
        *g = AlphaDivTable[p[1]][p[3]];
        *r = AlphaDivTable[p[2]][p[3]];
    } else {
        *b = p[0];
        *g = p[1];
        *r = p[2];
    }
}

// Writes one colour byte, premultiplied by the alpha written to the pixel with pma.
inline uint8_t GraphFilter_StoreStraight(int c, int alpha, int pma)
{
    return pma ? AlphaMulTable[(uint8_t)c][(uint8_t)alpha] : (uint8_t)c;
}

inline int GraphFilter_Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
inline float GraphFilter_ClampF(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// A float colour channel as a byte: trunc(x x 255) clamped to 0..255.
inline int GraphFilter_FloatToByte(float x)
{
    const float v = x * 255.0f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return (int)v;
}

// The packed pixel (bytes blue, green, red, alpha) of a float colour, premultiplied with pma.
inline uint32_t GraphFilter_PackFloatColor(const FloatColor* color, int pma)
{
    const int a = GraphFilter_FloatToByte(color->a);
    const int r = GraphFilter_StoreStraight(GraphFilter_FloatToByte(color->r), a, pma);
    const int g = GraphFilter_StoreStraight(GraphFilter_FloatToByte(color->g), a, pma);
    const int b = GraphFilter_StoreStraight(GraphFilter_FloatToByte(color->b), a, pma);
    return (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16 | (uint32_t)a << 24;
}

inline void GraphFilter_StorePacked(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

inline uint32_t GraphFilter_LoadPacked(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The software frame of the per-pixel bodies: work images prepared (a new destination image, or one
// read from the destination), fn(source pixel, destination pixel) for every pixel, row by row, then
// the write-back. -1 when the images cannot be prepared.
template <typename PixelFn>
int GraphFilter_ForEachPixel(GraphFilterContext* context, int newDestination, PixelFn fn)
{
    if (GraphFilter_Software_Begin(context, newDestination, -1, -1, nullptr) != 0) return -1;
    const int width = context->SoftWidth;
    for (int y = 0; y < context->SoftHeight; y++) {
        const uint8_t* s = GraphFilter_Row(&context->SourceImage, y);
        uint8_t* d = GraphFilter_Row(&context->DestImage, y);
        for (int x = 0; x < width; x++, s += 4, d += 4) fn(s, d);
    }
    return GraphFilter_Software_End(context);
}

}  // namespace Vantrel
