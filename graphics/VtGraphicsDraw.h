// The two-dimensional draw calls: graphs at a position, stretched, mirrored, on a free quadrangle, a
// part of a graph, caller-supplied vertices, and boxes, circles and lines. With a hardware device
// each call goes through the switch layer; without one it draws into the memory image of the draw
// target. Also the graph handles' creation, loading and deletion entry points the tool uses.
// Stands on the draw settings, the graph handles, the switch layer and the memory-image drawing.
#pragma once

#include <stdint.h>

#include "graphics/VtGraphicsScreen.h"  // SetBlendModeAndParam, SelectDrawScreen

namespace Vantrel {

struct BaseImage;
struct GraphHandleRecord;

int CreateDrawableGraph(int width, int height, int alphaChannel);
int LoadGraphFile(const char* fileName, int flag);
int DeleteGraph(int graphHandle);
int ClearDrawScreen();

// ---- Graphs ----
int DrawGraphAt(int x, int y, int graphHandle, int transparent);
int DrawGraphAtF(float x, float y, int graphHandle, int transparent);
int DrawGraphStretched(int x1, int y1, int x2, int y2, int graphHandle, int transparent);
int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graphHandle, int transparent);
// Corners top left, top right, bottom right, bottom left.
int DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graphHandle,
                   int transparent);
int DrawGraphReversed(int x, int y, int graphHandle, int transparent, int reverseX, int reverseY);
int DrawGraphReversedF(float x, float y, int graphHandle, int transparent, int reverseX, int reverseY);
int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                  int reverseX, int reverseY);
int DrawGraphPartF(float x, float y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                   int reverseX, int reverseY);
int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int sourceX, int sourceY, int width, int height,
                            int graphHandle, int transparent);
int DrawBaseImageAt(int x, int y, const BaseImage* image);
int FillGraphRect(int graphHandle, int x, int y, int width, int height, int red, int green, int blue, int alpha);

// Two-dimensional vertex of DrawVertices2D (28 bytes).
struct Vertex2D {
    float x, y, z, rhw;
    uint8_t b, g, r, a;
    float u, v;
};
// Primitive types of DrawVertices2D (as the devices number them).
enum : int {
    PRIMITIVE_POINTLIST = 1,
    PRIMITIVE_LINELIST = 2,
    PRIMITIVE_LINESTRIP = 3,
    PRIMITIVE_TRIANGLELIST = 4,
    PRIMITIVE_TRIANGLESTRIP = 5,
    PRIMITIVE_TRIANGLEFAN = 6,
};
constexpr int DrawVertices2D_NoTexture = -5;
// With a hardware device only; without one 0 and nothing is drawn. -1 for a negative count.
int DrawVertices2D(const Vertex2D* vertices, int count, int primitiveType, int graphHandle, int transparent);

// Quadrangles of one graph: count quads of four {x, y, u, v} corners (top left, top right, bottom
// left, bottom right), u and v over the graph's full image.
struct SimpleQuadGraphList {
    int32_t QuadCount;
    const float* Vertices;
    int32_t Graph;
    int32_t Transparent;
};
using SimpleQuadGraphRecord = SimpleQuadGraphList;
int Graphics_Draw_SimpleQuadGraphF(const SimpleQuadGraphRecord* quads);

// ---- Primitives ----
// Thickness 1: a circle, or a disc with the fill flag; any other thickness: a ring of that width
// (whatever the fill flag). 0 for a negative radius.
int DrawCircleShape(int x, int y, int radius, unsigned int color, int fill, int thickness);
int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
int DrawFilledRectangle(int x1, int y1, int x2, int y2, unsigned int color);
int DrawRectangleOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill, int thickness);

// ---- Internal ----
int Graphics_Draw_QuadGraphF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                             int graphHandle, int transparent, int flags);
int Graphics_Draw_ThickLine(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
// Without a device the blend graph must be a live graph at least as large as the drawn one.
int Graphics_Draw_CheckBlendGraph(const GraphHandleRecord* graph);

// The rows of a ring: per absolute row outer left, outer right, inner left, inner right and flags
// (bit 0 outer left set, 1 outer right, 2 inner left, 3 inner right).
enum : int16_t {
    CIRCLESPAN_OUTER_LEFT = 1,
    CIRCLESPAN_OUTER_RIGHT = 2,
    CIRCLESPAN_INNER_LEFT = 4,
    CIRCLESPAN_INNER_RIGHT = 8,
};
struct CircleSpanTable {
    int16_t (*Rows)[5];
    int32_t RowCount;
};
// Fills the rows of the draw area's vertical range for the ring of thickness t around radius r;
// the table must hold the draw area's bottom row count.
int Graphics_Draw_SetCircleSpanPoint(int cx, int cy, int radius, int thickness, CircleSpanTable* table);

// The memory-image routines: draw into the current memory-image draw target with the draw settings.
int Graphics_Soft_DrawGraphAt(int x, int y, GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent);
int Graphics_Soft_DrawGraphStretched(int x1, int y1, int x2, int y2, GraphHandleRecord* graph,
                                     GraphHandleRecord* blendGraph, int transparent);
// Corners in the order of the draw parts: top left, top right, bottom left, bottom right; the entry
// takes them as eight floats (x, y of each corner) and does the work.
int Graphics_Soft_DrawGraphQuadFEntry(const float* corners, GraphHandleRecord* graph, int transparent);
int Graphics_Soft_DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                                 GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent);
// Quadrangles whose u and v run over the graph's full image.
int Graphics_Soft_DrawSimpleQuadGraphF(const SimpleQuadGraphRecord* quads, GraphHandleRecord* graph);
int Graphics_Soft_DrawCircle(int x, int y, int radius, unsigned int color, int fill, int narrowRight, int shortBottom);
int Graphics_Soft_DrawCircleThick(int x, int y, int radius, unsigned int color, int thickness);
int Graphics_Soft_DrawLine(int x1, int y1, int x2, int y2, unsigned int color);
int Graphics_Soft_DrawFillRect(int x1, int y1, int x2, int y2, unsigned int color);
int Graphics_Soft_DrawRectOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
// Corners round the quadrangle's edge.
int Graphics_Soft_DrawQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                            unsigned int color, int fill);
// Frees the circle span buffer (graphics shut-down).
int Graphics_Soft_ReleaseBuffers();

}  // namespace Vantrel
