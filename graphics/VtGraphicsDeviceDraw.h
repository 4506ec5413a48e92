// What the device back-ends share of drawing graphs: the plan of one division on a free quadrangle (two
// triangles for a parallelogram, else a tessellated grid) and the blend graph's texture coordinates of a
// corner. Pure geometry: the back-ends write the vertices in their own layouts.
// Stands on the graph records.
#pragma once

#include <stdint.h>

namespace Vantrel {

struct GraphDrawPart;

// One division on a free quadrangle.
struct DeviceFreeQuadPlan {
    int32_t Parallelogram;   // 1: two triangles over Corners; 0: the 8 x 8 Grid
    int32_t Mirrored;        // with Parallelogram: the corners run the other way round
    float Corners[4][4];     // x, y, u, v of top-left, top-right, bottom-left, bottom-right
    float Grid[64][4];       // x, y, u, v of the grid's points, row after row
};

// `quad`: x, y, u, v of the corners top-left, top-right, bottom-left, bottom-right. A quadrangle whose
// opposite edges differ by less than a pixel is a parallelogram: its texture coordinates are inset by
// 1/16 texel. Any other is an 8 x 8 grid interpolated between the corners, its texture coordinates
// pulled in by 0.001 of a graph pixel's span at every edge that does not touch the texture's border.
void Graphics_DeviceDraw_PlanFreeQuad(const float quad[4][4], float textureWidth, float textureHeight,
                                      float divisionWidth, float divisionHeight, DeviceFreeQuadPlan* plan);

// The blend graph's texture coordinates of a corner at screen position (screenX, screenY), (graphX,
// graphY) in the drawn graph: position mode 1 lays the blend graph's top-left on the screen at the blend
// position, mode 0 reads it from the blend position on at the drawn graph's top-left. 0, 0 without a
// blend division.
void Graphics_DeviceDraw_BlendCoords(float screenX, float screenY, float graphX, float graphY,
                                     const GraphDrawPart* blend, float* u, float* v);

}  // namespace Vantrel
