// Blending primitives on memory images: spans, boxes, lines, circles, triangles and quadrangles in a
// solid colour, and images drawn plain, stretched or mapped onto quadrangles, all through one
// per-pixel blend of the memory-image draw state. Plain image draws in modes 0 and 1 go to the
// vectorised image blit of the memory-image module.
// Stands on memory images and the memory layer.
#include "image/VtMemImgDraw.h"

#include <cmath>
#include <cstring>

#include "foundation/VtMemory.h"

namespace Vantrel {

namespace {

constexpr int SpanChunk = 256;

// x * y / 255 rounded to nearest, for x, y in 0..255.
inline uint32_t Mul255(uint32_t x, uint32_t y)
{
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

bool Drawable(const MEMIMG* image)
{
    if (!MemImg_IsValid(image)) return false;
    const MemImgBody* b = image->body;
    return (b->colorType == MemImgColorType_XRGB8 || b->colorType == MemImgColorType_R5G6B5) && !b->hasPalette;
}

// The draw area clipped to the image; an empty draw area draws nothing.
struct Clip {
    int64_t left, top, right, bottom;
};

bool GetClip(const MEMIMG* image, Clip* clip)
{
    const int32_t* area = MemImgState.drawArea;
    *clip = {0, 0, image->width, image->height};
    if (area[0] > clip->left) clip->left = area[0];
    if (area[1] > clip->top) clip->top = area[1];
    if (area[2] < clip->right) clip->right = area[2];
    if (area[3] < clip->bottom) clip->bottom = area[3];
    return clip->left < clip->right && clip->top < clip->bottom;
}

// The blend of the current draw state, applied to ARGB8 words.
struct Blender {
    int mode;
    uint32_t opacity;
    uint32_t bright;            // 0x00RRGGBB
    bool white;
    bool test;                  // alpha test on (textured draws with transparency)
    int testMode, testReference;

    explicit Blender(const MemImgAlphaTest* alphaTest)
    {
        mode = MemImgState.blendMode;
        const int param = MemImgState.blendParam < 0 ? 0 : MemImgState.blendParam > 255 ? 255 : MemImgState.blendParam;
        opacity = mode == 0 ? 255u : (uint32_t)param;
        bright = MemImgState.brightColor & 0xFFFFFF;
        white = bright == 0xFFFFFF;
        test = alphaTest != nullptr;
        testMode = test ? alphaTest->mode : -1;
        testReference = test ? alphaTest->reference : 0;
    }

    bool Passes(uint32_t a) const
    {
        if (!test) return true;
        const int r = testReference;
        switch (testMode) {
        case 1: return false;
        case 2: return (int)a < r;
        case 3: return (int)a == r;
        case 4: return (int)a <= r;
        case 5: return (int)a > r;
        case 6: return (int)a != r;
        case 7: return (int)a >= r;
        case 8: return true;
        default: return a > 0;
        }
    }

    uint32_t Pixel(uint32_t s, uint32_t d) const
    {
        const uint32_t a = s >> 24;
        uint32_t sc[3], dc[4];
        for (int c = 0; c < 3; c++) {
            sc[c] = (s >> (8 * c)) & 255;
            if (!white) sc[c] = Mul255(sc[c], (bright >> (8 * c)) & 255);
        }
        for (int c = 0; c < 4; c++) dc[c] = (d >> (8 * c)) & 255;
        uint32_t out[4];
        switch (mode) {
        case 2:
        case 5:
        case 3: {
            for (int c = 0; c < 3; c++) {
                const uint32_t add = Mul255(Mul255(sc[c], a), opacity);
                out[c] = mode == 3 ? (dc[c] > add ? dc[c] - add : 0) : (dc[c] + add > 255 ? 255 : dc[c] + add);
            }
            out[3] = dc[3];
            break;
        }
        case 4: {
            const uint32_t weight = Mul255(a, opacity);
            for (int c = 0; c < 3; c++) out[c] = Mul255(dc[c], Mul255(sc[c], weight) + 255 - weight);
            out[3] = dc[3];
            break;
        }
        case 14:
            for (int c = 0; c < 3; c++) out[c] = sc[c];
            out[3] = Mul255(a, opacity);
            break;
        default: {
            const uint32_t sa = Mul255(a, opacity);
            for (int c = 0; c < 3; c++) out[c] = Mul255(Mul255(sc[c], a), opacity) + Mul255(dc[c], 255 - sa);
            out[3] = sa + Mul255(dc[3], 255 - sa);
            break;
        }
        }
        return out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24;
    }
};

// Blends `count` source words (or one solid word when `source` is null) into row y from column x
// (already clipped). Skipped source pixels are those the alpha test refuses.
void BlendSpan(MEMIMG* image, const Blender& blender, int64_t y, int64_t x, int64_t count, const uint32_t* source,
               uint32_t solid)
{
    const MemImgBody* body = image->body;
    uint8_t* row = (uint8_t*)image->pixels + y * body->pitch;
    if (body->colorType == MemImgColorType_XRGB8) {
        uint32_t* d = (uint32_t*)row + x;
        const bool keepAlpha = !body->hasAlpha;
        for (int64_t i = 0; i < count; i++) {
            const uint32_t s = source ? source[i] : solid;
            if (!blender.Passes(s >> 24)) continue;
            const uint32_t dv = keepAlpha ? d[i] | 0xFF000000u : d[i];
            const uint32_t out = blender.Pixel(s, dv);
            d[i] = keepAlpha ? (out & 0xFFFFFF) | (d[i] & 0xFF000000u) : out;
        }
        return;
    }
    // 16-bit images go through ARGB8 words.
    const int bytes = MemImg_BytesPerPixel(body);
    uint32_t words[SpanChunk];
    for (int64_t done = 0; done < count; done += SpanChunk) {
        const int n = (int)(count - done < SpanChunk ? count - done : SpanChunk);
        uint8_t* p = row + (x + done) * bytes;
        MemImg_RowToArgb(body, p, n, words, false);
        for (int i = 0; i < n; i++) {
            const uint32_t s = source ? source[done + i] : solid;
            if (blender.Passes(s >> 24)) words[i] = blender.Pixel(s, words[i]);
        }
        MemImg_RowFromArgb(body, words, n, p);
    }
}

void SolidSpan(MEMIMG* image, const Clip& clip, const Blender& blender, int64_t y, int64_t left, int64_t right,
               uint32_t color)
{
    if (y < clip.top || y >= clip.bottom) return;
    if (left < clip.left) left = clip.left;
    if (right > clip.right) right = clip.right;
    if (left >= right) return;
    BlendSpan(image, blender, y, left, right - left, nullptr, color | 0xFF000000u);
}

void SolidPoint(MEMIMG* image, const Clip& clip, const Blender& blender, int64_t x, int64_t y, uint32_t color)
{
    SolidSpan(image, clip, blender, y, x, x + 1, color);
}

// ---- Triangles ----

struct Vertex {
    double x, y, u, v;
};

// Calls span(y, left, right) for every row of the triangle inside the clip, with the columns whose
// centre lies in the triangle (top-left rule), clipped.
template <typename SpanFunction>
void RasteriseTriangle(const Vertex* v, const Clip& clip, SpanFunction span)
{
    double top = v[0].y, bottom = v[0].y;
    for (int i = 1; i < 3; i++) {
        if (v[i].y < top) top = v[i].y;
        if (v[i].y > bottom) bottom = v[i].y;
    }
    if (!(top < bottom)) return;   // flat or not a number
    int64_t firstRow = (int64_t)std::ceil(top - 0.5), lastRow = (int64_t)std::ceil(bottom - 0.5);
    if (firstRow < clip.top) firstRow = clip.top;
    if (lastRow > clip.bottom) lastRow = clip.bottom;
    for (int64_t y = firstRow; y < lastRow; y++) {
        const double centre = (double)y + 0.5;
        double crossings[3];
        int found = 0;
        for (int i = 0; i < 3; i++) {
            const Vertex& a = v[i];
            const Vertex& b = v[(i + 1) % 3];
            const double low = a.y < b.y ? a.y : b.y, high = a.y < b.y ? b.y : a.y;
            if (a.y == b.y || centre < low || centre >= high) continue;
            crossings[found++] = a.x + (centre - a.y) * (b.x - a.x) / (b.y - a.y);
        }
        if (found < 2) continue;
        double left = crossings[0], right = crossings[1];
        if (left > right) {
            const double t = left;
            left = right;
            right = t;
        }
        const double first = std::ceil(left - 0.5), end = std::ceil(right - 0.5);
        int64_t from = first < (double)clip.left ? clip.left : first > (double)clip.right ? clip.right : (int64_t)first;
        int64_t to = end > (double)clip.right ? clip.right : end < (double)clip.left ? clip.left : (int64_t)end;
        if (from < to) span(y, from, to);
    }
}

// ---- Sampling images ----

// Reads the source as ARGB8 words: alpha 255 without transparency or alpha plane, 0 for keyed
// pixels when transparency is on.
struct Sampler {
    const MEMIMG* image;
    bool transparent;
    bool keyed;
    bool bilinear;

    uint32_t Texel(int64_t x, int64_t y) const
    {
        if (x < 0) x = 0;
        if (y < 0) y = 0;
        if (x >= image->width) x = image->width - 1;
        if (y >= image->height) y = image->height - 1;
        const MemImgBody* body = image->body;
        const uint8_t* p = (const uint8_t*)image->pixels + y * body->pitch + x * MemImg_BytesPerPixel(body);
        uint32_t word;
        if (body->colorType == MemImgColorType_XRGB8 && !keyed) {
            memcpy(&word, p, 4);
            if (!body->hasAlpha) word |= 0xFF000000u;
        } else {
            MemImg_RowToArgb(body, p, 1, &word, keyed);
        }
        if (!transparent) word |= 0xFF000000u;
        return word;
    }

    // (u, v) in source pixels, the centre of texel (i, j) lying at (i + 0.5, j + 0.5).
    uint32_t Sample(double u, double v) const
    {
        if (!bilinear) return Texel((int64_t)std::floor(u), (int64_t)std::floor(v));
        const double fu = u - 0.5, fv = v - 0.5;
        const double bu = std::floor(fu), bv = std::floor(fv);
        const int64_t x0 = (int64_t)bu, y0 = (int64_t)bv;
        const uint32_t wx = (uint32_t)((fu - bu) * 256.0), wy = (uint32_t)((fv - bv) * 256.0);
        const uint32_t t00 = Texel(x0, y0), t10 = Texel(x0 + 1, y0), t01 = Texel(x0, y0 + 1), t11 = Texel(x0 + 1, y0 + 1);
        uint32_t out = 0;
        for (int c = 0; c < 4; c++) {
            const uint32_t a = (t00 >> (8 * c)) & 255, b = (t10 >> (8 * c)) & 255;
            const uint32_t e = (t01 >> (8 * c)) & 255, f = (t11 >> (8 * c)) & 255;
            const uint32_t top = a * (256 - wx) + b * wx, bottom = e * (256 - wx) + f * wx;
            out |= ((top * (256 - wy) + bottom * wy + 32768) >> 16) << (8 * c);
        }
        return out;
    }
};

Sampler MakeSampler(const MEMIMG* source, int transparent, int filter)
{
    const MemImgBody* b = source->body;
    Sampler s = {source, transparent != 0, transparent != 0 && !b->hasAlpha && b->useTransColor != 0, filter == 1};
    return s;
}

// The walk's y at step k (k <= r): the largest y with y^2 + (y - 1)^2 < 2 r^2 - 2 k^2, -1 when there is
// none. It is the y stepping gives for as long as y stays at least two above x.
int64_t CircleWalk_Height(int64_t r, int64_t k)
{
    const uint64_t limit = 2 * (uint64_t)r * (uint64_t)r - 2 * (uint64_t)k * (uint64_t)k;
    auto below = [limit](int64_t y) { return 2 * (uint64_t)y * (uint64_t)y - 2 * (uint64_t)y + 1 < limit; };
    int64_t y = (int64_t)((1.0 + std::sqrt(2.0 * (double)limit)) / 2.0);
    if (y > r) y = r;
    while (y >= 0 && !below(y)) y--;
    while (y < r && below(y + 1)) y++;
    return y;
}

// The first step whose y is at most `distance` (below the radius): 2 x^2 >= 2 r^2 - (2 F^2 + 2 F + 1).
int64_t CircleWalk_FirstStepAtMost(int64_t r, int64_t distance)
{
    const uint64_t whole = 2 * (uint64_t)r * (uint64_t)r;
    const uint64_t part = 2 * (uint64_t)distance * (uint64_t)distance + 2 * (uint64_t)distance + 1;
    if (part >= whole) return 0;
    const uint64_t need = whole - part;
    int64_t x = (int64_t)std::sqrt((double)need / 2.0);
    while (x > 0 && 2 * (uint64_t)(x - 1) * (uint64_t)(x - 1) >= need) x--;
    while (2 * (uint64_t)x * (uint64_t)x < need) x++;
    return x;
}

bool CircleWalk_Over(const MemImgCircleWalk* walk)
{
    return walk->X > walk->Y || walk->X > walk->Farthest || walk->Y < walk->Nearest;
}

}  // namespace

void MemImg_CircleWalk_Start(MemImgCircleWalk* walk, int64_t radius, int64_t centreY, int64_t top, int64_t bottom)
{
    walk->Radius = radius;
    walk->X = 0;
    walk->Y = radius;
    walk->D = 3 - 2 * radius;
    if (bottom <= top) {
        walk->Nearest = INT64_MAX, walk->Farthest = -1;
    } else if (centreY < top) {
        walk->Nearest = top - centreY, walk->Farthest = bottom - 1 - centreY;
    } else if (centreY >= bottom) {
        walk->Nearest = centreY - (bottom - 1), walk->Farthest = centreY - top;
    } else {
        walk->Nearest = 0;
        walk->Farthest = centreY - top > bottom - 1 - centreY ? centreY - top : bottom - 1 - centreY;
    }
}

bool MemImg_CircleWalk_Seek(MemImgCircleWalk* walk)
{
    if (CircleWalk_Over(walk)) return false;
    if (walk->X >= walk->Nearest || walk->Y <= walk->Farthest) return true;
    // Until x reaches the nearest row or y the farthest, no point of a step lies on a row.
    const int64_t r = walk->Radius;
    int64_t target = walk->Nearest;
    if (walk->Farthest < r) {
        const int64_t first = CircleWalk_FirstStepAtMost(r, walk->Farthest);
        if (first < target) target = first;
    }
    // Short of the diagonal, where the height may leave the walk's y: the last step whose height
    // stays two above its x (heights fall as x grows, so the steps that do come first).
    if (CircleWalk_Height(r, target) < target + 2) {
        int64_t low = walk->X, high = target;
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            if (CircleWalk_Height(r, middle) >= middle + 2) low = middle;
            else high = middle;
        }
        target = low;
    }
    if (target > walk->X) {
        const int64_t y = CircleWalk_Height(r, target);
        const uint64_t sum = 2 * (uint64_t)(target + 1) * (uint64_t)(target + 1) + (uint64_t)y * (uint64_t)y +
                             (uint64_t)(y - 1) * (uint64_t)(y - 1);
        walk->X = target;
        walk->Y = y;
        walk->D = (int64_t)(sum - 2 * (uint64_t)r * (uint64_t)r);
    }
    return !CircleWalk_Over(walk);
}

int MemImg_DrawSpan(MEMIMG* image, int y, int left, int right, uint32_t color)
{
    if (!Drawable(image)) return -1;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    SolidSpan(image, clip, Blender(nullptr), y, left, right, color);
    return 0;
}

int MemImg_DrawBox(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color)
{
    if (!Drawable(image)) return -1;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    const int64_t left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1;
    int64_t top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
    if (top < clip.top) top = clip.top;
    if (bottom > clip.bottom) bottom = clip.bottom;
    const Blender blender(nullptr);
    for (int64_t y = top; y < bottom; y++) SolidSpan(image, clip, blender, y, left, right, color);
    return 0;
}

int MemImg_DrawBoxOutline(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color, int thickness)
{
    if (!Drawable(image)) return -1;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    const int64_t left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1;
    const int64_t top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
    const int64_t t = thickness < 1 ? 1 : thickness;
    const Blender blender(nullptr);
    if (t * 2 >= right - left || t * 2 >= bottom - top) return MemImg_DrawBox(image, x1, y1, x2, y2, color);
    for (int64_t y = top; y < bottom; y++) {
        if (y < clip.top || y >= clip.bottom) continue;
        if (y < top + t || y >= bottom - t) {
            SolidSpan(image, clip, blender, y, left, right, color);
        } else {
            SolidSpan(image, clip, blender, y, left, left + t, color);
            SolidSpan(image, clip, blender, y, right - t, right, color);
        }
    }
    return 0;
}

int MemImg_DrawLine(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color)
{
    if (!Drawable(image)) return -1;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    const Blender blender(nullptr);
    const int64_t dx = x2 > x1 ? (int64_t)x2 - x1 : (int64_t)x1 - x2, dy = y2 > y1 ? (int64_t)y2 - y1 : (int64_t)y1 - y2;
    const int64_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    // Horizontal and vertical lines are one span or a column.
    if (dy == 0) {
        if (dx > 0) SolidSpan(image, clip, blender, y1, sx > 0 ? x1 : (int64_t)x2 + 1, sx > 0 ? x2 : (int64_t)x1 + 1, color);
        return 0;
    }
    int64_t x = x1, y = y1, error = dx - dy;
    const int64_t steps = dx > dy ? dx : dy;
    for (int64_t i = 0; i < steps; i++) {
        SolidPoint(image, clip, blender, x, y, color);
        const int64_t twice = error * 2;
        if (twice > -dy) error -= dy, x += sx;
        if (twice < dx) error += dx, y += sy;
    }
    return 0;
}

int MemImg_DrawCircle(MEMIMG* image, int cx, int cy, int radius, uint32_t color, int fill)
{
    if (!Drawable(image)) return -1;
    if (radius < 0) return 0;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    const int64_t r = radius, x0 = cx, y0 = cy;
    if (x0 + r < clip.left || x0 - r >= clip.right || y0 + r < clip.top || y0 - r >= clip.bottom) return 0;
    const Blender blender(nullptr);
    MemImgCircleWalk walk;
    MemImg_CircleWalk_Start(&walk, r, y0, clip.top, clip.bottom);
    if (!fill) {
        SolidPoint(image, clip, blender, x0, y0 + r, color);
        if (r > 0) {
            SolidPoint(image, clip, blender, x0, y0 - r, color);
            SolidPoint(image, clip, blender, x0 + r, y0, color);
            SolidPoint(image, clip, blender, x0 - r, y0, color);
        }
        for (;;) {
            MemImg_CircleWalk_Step(&walk);
            if (!MemImg_CircleWalk_Seek(&walk)) break;
            const int64_t x = walk.X, y = walk.Y;
            const int64_t px[2] = {x, y}, py[2] = {y, x};
            for (int k = 0; k < (x == y ? 1 : 2); k++)
                for (int signs = 0; signs < 4; signs++)
                    SolidPoint(image, clip, blender, x0 + ((signs & 1) ? -px[k] : px[k]),
                               y0 + ((signs & 2) ? -py[k] : py[k]), color);
        }
        return 0;
    }
    // Disc: the half width of every row the clip holds (by its distance from the centre, Nearest to
    // Farthest) from the midpoint walk, then one span per row.
    const int64_t first = walk.Nearest, last = walk.Farthest < r ? walk.Farthest : r;
    if (first > last) return 0;
    const uint64_t bytes = ((uint64_t)(last - first) + 1) * sizeof(int64_t);
    if (bytes > 0x7FFFFFFFu) return -1;
    int64_t* half = (int64_t*)Memory_Allocate((uint32_t)bytes, __FILE__, __LINE__);
    if (half == nullptr) return -1;
    for (int64_t i = first; i <= last; i++) half[i - first] = -1;
    if (first == 0) half[0] = r;
    while (MemImg_CircleWalk_Seek(&walk)) {
        const int64_t x = walk.X, y = walk.Y;
        if (x >= first && x <= last && half[x - first] < y) half[x - first] = y;
        if (y >= first && y <= last && half[y - first] < x) half[y - first] = x;
        MemImg_CircleWalk_Step(&walk);
    }
    for (int64_t k = first; k <= last; k++) {
        const int64_t h = half[k - first];
        if (h < 0) continue;
        SolidSpan(image, clip, blender, y0 + k, x0 - h, x0 + h + 1, color);
        if (k > 0) SolidSpan(image, clip, blender, y0 - k, x0 - h, x0 + h + 1, color);
    }
    Memory_Free(half);
    return 0;
}

int MemImg_DrawTriangle(MEMIMG* image, const float* xy, uint32_t color)
{
    if (!Drawable(image)) return -1;
    Clip clip;
    if (!GetClip(image, &clip)) return 0;
    const Vertex v[3] = {{xy[0], xy[1], 0, 0}, {xy[2], xy[3], 0, 0}, {xy[4], xy[5], 0, 0}};
    const Blender blender(nullptr);
    RasteriseTriangle(v, clip, [&](int64_t y, int64_t from, int64_t to) {
        BlendSpan(image, blender, y, from, to - from, nullptr, color | 0xFF000000u);
    });
    return 0;
}

int MemImg_DrawQuad(MEMIMG* image, const float* xy, uint32_t color)
{
    const float first[6] = {xy[0], xy[1], xy[2], xy[3], xy[4], xy[5]};
    const float second[6] = {xy[0], xy[1], xy[4], xy[5], xy[6], xy[7]};
    const int result = MemImg_DrawTriangle(image, first, color);
    if (result < 0) return result;
    return MemImg_DrawTriangle(image, second, color);
}

int MemImg_DrawImageAt(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent,
                       const MemImgAlphaTest* test)
{
    if (!Drawable(destination) || !Drawable(source)) return -1;
    const int mode = MemImgState.blendMode;
    const bool plainTest = !transparent || test == nullptr || test->mode == -1;
    // The vectorised blit draws modes 0 and 1 under the default alpha test.
    if ((mode == 0 || mode == 1) && plainTest)
        return MemImg_DrawImageEx(destination, source, x, y, transparent,
                                  MemImgDraw_ClearSpare | (transparent ? 0 : MemImgDraw_Opaque));
    return MemImg_DrawImageStretched(destination, source, (float)x, (float)y, (float)x + (float)source->width,
                                     (float)y + (float)source->height, transparent, 0, transparent ? test : nullptr);
}

int MemImg_DrawImageStretched(MEMIMG* destination, const MEMIMG* source, float x1, float y1, float x2, float y2,
                              int transparent, int filter, const MemImgAlphaTest* test)
{
    if (!Drawable(destination) || !Drawable(source)) return -1;
    Clip clip;
    if (!GetClip(destination, &clip)) return 0;
    const double w = (double)x2 - x1, h = (double)y2 - y1;
    if (w == 0.0 || h == 0.0 || std::isnan(w) || std::isnan(h)) return 0;
    const double left = w > 0 ? x1 : x2, right = w > 0 ? x2 : x1, top = h > 0 ? y1 : y2, bottom = h > 0 ? y2 : y1;
    int64_t from = (int64_t)std::ceil(left - 0.5), to = (int64_t)std::ceil(right - 0.5);
    int64_t firstRow = (int64_t)std::ceil(top - 0.5), endRow = (int64_t)std::ceil(bottom - 0.5);
    if (from < clip.left) from = clip.left;
    if (to > clip.right) to = clip.right;
    if (firstRow < clip.top) firstRow = clip.top;
    if (endRow > clip.bottom) endRow = clip.bottom;
    if (from >= to || firstRow >= endRow) return 0;
    const Sampler sampler = MakeSampler(source, transparent, filter);
    const Blender blender(transparent ? test : nullptr);
    const double su = source->width / w, sv = source->height / h;
    uint32_t words[SpanChunk];
    for (int64_t y = firstRow; y < endRow; y++) {
        const double v = ((double)y + 0.5 - y1) * sv;
        for (int64_t x = from; x < to; x += SpanChunk) {
            const int n = (int)(to - x < SpanChunk ? to - x : SpanChunk);
            for (int i = 0; i < n; i++) words[i] = sampler.Sample(((double)(x + i) + 0.5 - x1) * su, v);
            BlendSpan(destination, blender, y, x, n, words, 0);
        }
    }
    return 0;
}

int MemImg_DrawImageQuad(MEMIMG* destination, const MEMIMG* source, const float* xy, const float* uv, int transparent,
                         int filter, const MemImgAlphaTest* test)
{
    if (!Drawable(destination) || !Drawable(source)) return -1;
    Clip clip;
    if (!GetClip(destination, &clip)) return 0;
    const Sampler sampler = MakeSampler(source, transparent, filter);
    const Blender blender(transparent ? test : nullptr);
    Vertex corners[4];
    for (int i = 0; i < 4; i++)
        corners[i] = {xy[i * 2], xy[i * 2 + 1], (double)uv[i * 2] * source->width, (double)uv[i * 2 + 1] * source->height};
    static const int Triangles[2][3] = {{0, 1, 2}, {1, 3, 2}};
    uint32_t words[SpanChunk];
    for (const auto& triangle : Triangles) {
        const Vertex v[3] = {corners[triangle[0]], corners[triangle[1]], corners[triangle[2]]};
        // Affine texture coordinates: u = u0 + du/dx (x - x0) + du/dy (y - y0).
        const double ax = v[1].x - v[0].x, ay = v[1].y - v[0].y, bx = v[2].x - v[0].x, by = v[2].y - v[0].y;
        const double area = ax * by - ay * bx;
        if (area == 0.0 || std::isnan(area)) continue;
        const double dudx = ((v[1].u - v[0].u) * by - (v[2].u - v[0].u) * ay) / area;
        const double dudy = ((v[2].u - v[0].u) * ax - (v[1].u - v[0].u) * bx) / area;
        const double dvdx = ((v[1].v - v[0].v) * by - (v[2].v - v[0].v) * ay) / area;
        const double dvdy = ((v[2].v - v[0].v) * ax - (v[1].v - v[0].v) * bx) / area;
        RasteriseTriangle(v, clip, [&](int64_t y, int64_t from, int64_t to) {
            const double py = (double)y + 0.5 - v[0].y;
            for (int64_t x = from; x < to; x += SpanChunk) {
                const int n = (int)(to - x < SpanChunk ? to - x : SpanChunk);
                for (int i = 0; i < n; i++) {
                    const double px = (double)(x + i) + 0.5 - v[0].x;
                    words[i] = sampler.Sample(v[0].u + dudx * px + dudy * py, v[0].v + dvdx * px + dvdy * py);
                }
                BlendSpan(destination, blender, y, x, n, words, 0);
            }
        });
    }
    return 0;
}

}  // namespace Vantrel
