// Blending primitives on memory images: solid spans, boxes, box outlines, one-pixel lines, circles
// and discs, filled triangles and quadrangles, and images drawn plain, stretched or mapped onto a
// triangle. Every routine reads the draw state of the memory-image module (draw area, blend mode and
// parameter, bright colour) and the alpha test passed to it, and clips to the draw area.
// Stands on memory images.
#pragma once

#include <cstdint>

#include "image/VtMemImg.h"

namespace Vantrel {

// Rasterisation rules (pixel (x, y) has its centre at (x + 0.5, y + 0.5)):
// - a box (x1, y1, x2, y2) covers the columns min..max-1 and rows min..max-1 of its corners;
// - a triangle or quadrangle covers the pixels whose centre lies inside it, a centre on a left or
//   top edge counting as inside and one on a right or bottom edge as outside;
// - a line covers the pixels of the Bresenham walk from its first end up to, not including, the
//   second (a line of length 0 covers nothing);
// - a circle of radius r covers the points of the integer midpoint walk, a disc the spans between
//   them (the same rule as the base-image circles).
// Colours are 0x00RRGGBB; images are of type 0 or 1 without a palette.
//
// Blending, per channel, with s the colour times the bright colour / 255, a the source alpha, p the
// blend parameter (255 in mode 0), m(x, y) = x * y / 255 rounded to nearest and d the destination:
//   0 none, 1 alpha: out = m(m(s, a), p) + m(d, 255 - m(a, p)); alpha likewise
//   2 and 5 add: out = min(255, d + m(m(s, a), p));   3 subtract: out = max(0, d - m(m(s, a), p))
//   4 multiply: out = m(d, m(s, m(a, p)) + 255 - m(a, p))
//   14 copy: out = s, alpha = m(a, p)
// Other modes draw as mode 1. Add, subtract and multiply keep the destination alpha.

// The alpha test of textured draws with transparency: mode -1 passes alpha > 0; modes 1 to 8 compare
// the source alpha with the reference as never, <, =, <=, >, !=, >=, always.
struct MemImgAlphaTest {
    int32_t mode;
    int32_t reference;
};

// The integer midpoint walk of a circle of radius r, shared by every circle of the library: x runs
// from 0 while x <= y, y from r down, the decision value d from 3 - 2r; each step moves d and y
// (MemImg_CircleWalk_Step), then x. A step's points lie on the rows at distances x and y from the
// centre. Drawing reaches only the rows at distances Nearest..Farthest, so the walk jumps over the
// steps none of whose points reach them and ends once no later step can (MemImg_CircleWalk_Seek): its
// work follows the draw area, not the radius.
struct MemImgCircleWalk {
    int64_t Radius, X, Y, D;
    int64_t Nearest, Farthest;
};

// Starts the walk for the rows top..bottom - 1 of a circle centred on row centreY.
void MemImg_CircleWalk_Start(MemImgCircleWalk* walk, int64_t radius, int64_t centreY, int64_t top, int64_t bottom);
// Called with the state of a step before its points are drawn: moves on to the first step from here
// whose points can reach a row (the state of the walk there, exactly as stepping would give it).
// False when the walk has ended (x > y) or no step from here on reaches a row.
bool MemImg_CircleWalk_Seek(MemImgCircleWalk* walk);
inline void MemImg_CircleWalk_Step(MemImgCircleWalk* walk)
{
    if (walk->D < 0) {
        walk->D += 4 * walk->X + 6;
    } else {
        walk->D += 4 * (walk->X - walk->Y) + 10;
        walk->Y--;
    }
    walk->X++;
}

// One horizontal span, columns left..right-1 of row y.
int MemImg_DrawSpan(MEMIMG* image, int y, int left, int right, uint32_t color);
int MemImg_DrawBox(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color);
// The ring of the given thickness just inside the box; a thickness that closes it fills the box.
int MemImg_DrawBoxOutline(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color, int thickness);
int MemImg_DrawLine(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t color);
// -1 when the row list cannot be allocated.
int MemImg_DrawCircle(MEMIMG* image, int cx, int cy, int radius, uint32_t color, int fill);
// Three corners (x, y pairs); a quadrangle's four corners go round its edge and it is drawn as the
// triangles 1-2-3 and 1-3-4.
int MemImg_DrawTriangle(MEMIMG* image, const float* xy, uint32_t color);
int MemImg_DrawQuad(MEMIMG* image, const float* xy, uint32_t color);

// `source` at (x, y); without `transparent` its alpha and transparent colour are ignored.
int MemImg_DrawImageAt(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent,
                       const MemImgAlphaTest* test);
// `source` stretched onto the box (x1, y1)-(x2, y2) (mirrored where x2 < x1 or y2 < y1), sampled at
// the pixel centres, nearest or (filter 1) bilinear with clamped edges.
int MemImg_DrawImageStretched(MEMIMG* destination, const MEMIMG* source, float x1, float y1, float x2, float y2,
                              int transparent, int filter, const MemImgAlphaTest* test);
// `source` mapped onto a quadrangle with corners in the order of a graph's draw parts (top left, top
// right, bottom left, bottom right) and texture coordinates uv (0..1 across the source, four pairs
// in the same order), affine over each of the triangles 1-2-3 and 2-4-3.
int MemImg_DrawImageQuad(MEMIMG* destination, const MEMIMG* source, const float* xy, const float* uv, int transparent,
                         int filter, const MemImgAlphaTest* test);

}  // namespace Vantrel
