// Drawing straight into base images without blending: whole fills, rectangle fills, and circles
// and discs by the integer midpoint rule. Stands on the base-image formats and the memory layer.
#include <cstring>

#include "foundation/VtMemory.h"
#include "image/VtBaseImage.h"
#include "image/VtMemImgDraw.h"

namespace Vantrel {

namespace {

// Stores `value` in `count` pixels of `bytes` bytes from `p`.
void Draw_Span(uint8_t* p, int bytes, int count, uint32_t value)
{
    switch (bytes) {
    case 1: memset(p, (int)(value & 255), (size_t)count); break;
    case 2:
        for (int i = 0; i < count; i++, p += 2) {
            p[0] = (uint8_t)value;
            p[1] = (uint8_t)(value >> 8);
        }
        break;
    case 3:
        for (int i = 0; i < count; i++, p += 3) {
            p[0] = (uint8_t)value;
            p[1] = (uint8_t)(value >> 8);
            p[2] = (uint8_t)(value >> 16);
        }
        break;
    case 4:
        for (int i = 0; i < count; i++, p += 4) memcpy(p, &value, 4);
        break;
    default: break;
    }
}

// The value the fills store: the low 8 bits of r for one-byte pixels, else the packed colour.
uint32_t Draw_FillValue(const BaseImage* image, int r, int g, int b, int a)
{
    if (image->format.bytesPerPixel == 1) return (uint32_t)r & 255;
    return BaseImage_ColorFormat_PackColor(&image->format, r, g, b, a);
}

void Draw_Rect(BaseImage* image, int left, int top, int right, int bottom, uint32_t value)
{
    const int bytes = image->format.bytesPerPixel;
    if (bytes < 1 || bytes > 4) return;
    for (int y = top; y < bottom; y++)
        Draw_Span((uint8_t*)image->pixels + (int64_t)y * image->pitch + (int64_t)left * bytes, bytes, right - left, value);
}

struct CircleTarget {
    BaseImage* image;
    int bytes;
    uint32_t value;
    uint8_t* rowDone;   // fill only: one flag per image row

    void Point(int64_t x, int64_t y) const
    {
        if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
        Draw_Span((uint8_t*)image->pixels + y * image->pitch + x * bytes, bytes, 1, value);
    }

    // A row of the disc, drawn once, clipped to the image's columns.
    void Row(int64_t y, int64_t x1, int64_t x2) const
    {
        if (y < 0 || y >= image->height || rowDone[y]) return;
        rowDone[y] = 1;
        if (x1 < 0) x1 = 0;
        if (x2 >= image->width) x2 = image->width - 1;
        if (x1 > x2) return;
        Draw_Span((uint8_t*)image->pixels + y * image->pitch + x1 * bytes, bytes, (int)(x2 - x1 + 1), value);
    }
};

}  // namespace

int BaseImage_Fill(BaseImage* image, int r, int g, int b, int a)
{
    Draw_Rect(image, 0, 0, image->width, image->height, Draw_FillValue(image, r, g, b, a));
    return 0;
}

int BaseImage_FillRect(BaseImage* image, int x, int y, int width, int height, int r, int g, int b, int a)
{
    BaseImageRect rect;
    const int clipped = BaseImage_ClipRect(image, x, y, width, height, &rect);
    if (clipped <= 0) return clipped;
    Draw_Rect(image, rect.left, rect.top, rect.right, rect.bottom, Draw_FillValue(image, r, g, b, a));
    return 0;
}

int BaseImage_DrawCircle(BaseImage* image, int centreX, int centreY, int radius, int r, int g, int b, int a, int fill)
{
    const int bytes = image->format.bytesPerPixel;
    CircleTarget t = {image, bytes, BaseImage_ColorFormat_PackColor(&image->format, r, g, b, a), nullptr};
    if (bytes < 1 || bytes > 4) return 0;
    if (fill) {
        t.rowDone = (uint8_t*)Memory_AllocateZeroed((uint32_t)(image->height > 0 ? image->height : 1), "VtBaseImageDraw",
                                                    __LINE__);
        if (t.rowDone == nullptr) return -1;
    }
    const int64_t cx = centreX, cy = centreY;
    MemImgCircleWalk walk;
    MemImg_CircleWalk_Start(&walk, radius, cy, 0, image->height);
    const int64_t rad = radius;
    if (fill) {
        t.Row(cy, cx - rad, cx + rad);
    } else {
        t.Point(cx + rad, cy);
        t.Point(cx - rad, cy);
        t.Point(cx, cy + rad);
        t.Point(cx, cy - rad);
    }
    // First update, from x = 0.
    if (fill && walk.D >= 0) {
        t.Row(cy + walk.Y, cx, cx);
        t.Row(cy - walk.Y, cx, cx);
    }
    MemImg_CircleWalk_Step(&walk);
    while (MemImg_CircleWalk_Seek(&walk)) {
        const int64_t x = walk.X, y = walk.Y;
        const bool decreases = walk.D >= 0;
        if (fill) {
            t.Row(cy + x, cx - y, cx + y);
            t.Row(cy - x, cx - y, cx + y);
            if (decreases) {
                t.Row(cy + y, cx - x, cx + x);
                t.Row(cy - y, cx - x, cx + x);
            }
        } else {
            t.Point(cx + x, cy + y);
            t.Point(cx - x, cy + y);
            t.Point(cx + x, cy - y);
            t.Point(cx - x, cy - y);
            t.Point(cx + y, cy + x);
            t.Point(cx - y, cy + x);
            t.Point(cx + y, cy - x);
            t.Point(cx - y, cy - x);
        }
        MemImg_CircleWalk_Step(&walk);
    }
    if (fill) Memory_Free(t.rowDone);
    return 0;
}

}  // namespace Vantrel
