// Direct3D 9 graph drawing: the bodies of the core's graph draws (declared with the switch table) and
// what they share with other modules: the integer free quadrangle taken when a blend graph is set, and
// the grid of textured vertices drawn as indexed triangle strips.
// Stands on the vertex batch, the draw preparation, the normal-draw state, the stage set-up, the graph
// textures and the core's graph records and draw settings.
#pragma once

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct GraphHandleRecord;

// The free quadrangle with whole-pixel corners (left top, right top, left bottom, right bottom).
int Graphics_D3D9_DrawGraphQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                                GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent, int flags);
// A grid of columns x rows 28-byte vertices (row after row) as 16-bit indexed triangle strips of at most
// 1000 indices each; 0 without a device, -1 below two columns or rows.
int Graphics_D3D9_DrawGridMesh(const void* vertices, int columns, int rows);

}  // namespace Vantrel
