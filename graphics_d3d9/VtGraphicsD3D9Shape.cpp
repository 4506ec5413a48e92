// Direct3D 9 shapes: boxes, outlines and lines as untextured vertices of the batch; circles as points or
// spans and rings as spans, gathered in scratch buffer 0 and drawn 2000 vertices at a time; quadrangles as
// a strip of their own; caller-supplied 2D vertices straight from the caller's array.
// Stands on the call layer, the vertex batch, the state cache, the draw preparation, the normal-draw state,
// the graph textures and the core's draw settings and scratch buffers.
#include "graphics_d3d9/VtGraphicsD3D9Shape.h"

#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Draw.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtMemImgDraw.h"

namespace Vantrel {

D3D9ShapeStateRecord D3D9ShapeState = {{-0.5f, -0.5f}};

void Graphics_D3D9_Shape_ResetCircleOffsets() {
    D3D9ShapeState.CirclePixelOffset[0] = -0.5f;
    D3D9ShapeState.CirclePixelOffset[1] = -0.5f;
}

namespace {

constexpr int DirectVertexChunk = 2000;     // vertices per direct draw (scratch buffer 0 holds 40000 bytes)

struct ShapeVertex {                        // vertex format code 1
    float X, Y, Z, Rhw;
    D3DCOLOR Colour;
};
static_assert(sizeof(ShapeVertex) == 20, "colour only");

ShapeVertex Vertex(float x, float y, D3DCOLOR colour) { return {x, y, DrawSettings.DrawZ2D, 1.0f, colour}; }

// Every shape body's start: the scene open, no draw texture, the untextured shape state.
void BeginShape() {
    D3D9Call_Device_BeginSceneOnce();
    Graphics_D3D9_StateCache_SetDrawTexture(nullptr);
    Graphics_D3D9_PrepareDrawStateIfNeeded(D3D9DRAWPREP_SHAPE_2D);
}

// Appends axis-aligned boxes (left, top, right, bottom each) to the batch as two triangles apiece. With
// `allColours` every vertex gets the colour, else only the first of each triangle (flat shading).
int AddBoxes(const float (*boxes)[4], int count, D3DCOLOR colour, bool allColours) {
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_TRIANGLELIST, (uint32_t)count * 6);
    if (at == nullptr) return -1;
    const float z = DrawSettings.DrawZ2D;
    for (int i = 0; i < count; ++i) {
        const float* b = boxes[i];
        const float corners[6][2] = {{b[0], b[1]}, {b[2], b[1]}, {b[0], b[3]}, {b[2], b[3]}, {b[0], b[3]}, {b[2], b[1]}};
        for (int k = 0; k < 6; ++k) {
            uint8_t* v = at + (size_t)(i * 6 + k) * sizeof(ShapeVertex);
            const float position[3] = {corners[k][0], corners[k][1], z};
            memcpy(v, position, sizeof(position));
            if (allColours || k == 0 || k == 3) memcpy(v + 16, &colour, 4);
        }
    }
    Graphics_D3D9_VertexBatch_Commit((uint32_t)count * 6);
    return 0;
}

// Vertices of a direct draw gathered in scratch buffer 0 and drawn 2000 at a time.
struct DirectWriter {
    ShapeVertex* Vertices = nullptr;
    int Count = 0;
    D3DPRIMITIVETYPE Type = D3DPT_POINTLIST;
    D3DCOLOR Colour = 0;
    int Result = 0;

    // Flushes the batch and takes the scratch buffer; false when it cannot be had.
    bool Begin(D3DPRIMITIVETYPE type, D3DCOLOR colour) {
        Graphics_D3D9_VertexBatch_Flush(0);
        if (Graphics_Other_ReserveScratchBuffer(0, DirectVertexChunk * sizeof(ShapeVertex)) < 0) return false;
        Vertices = (ShapeVertex*)GraphicsSystemState.Scratch.Buffer[0];
        Type = type;
        Colour = colour;
        Graphics_D3D9_SetVertexTypeInput(1);
        return true;
    }
    void Add(float x, float y) {
        Vertices[Count++] = Vertex(x, y, Colour);
        if (Count >= DirectVertexChunk) Drain();
    }
    void Drain() {
        if (Count <= 0) return;
        const UINT primitives = Type == D3DPT_POINTLIST ? (UINT)Count : (UINT)Count / 2;
        if (D3D9Call_Device_DrawPrimitiveUP(Type, primitives, Vertices, sizeof(ShapeVertex)) != D3D_OK) Result = -1;
        D3D9VertexBatch.DrawCalls++;
        Count = 0;
    }
    // Columns left..right of a row, clipped to the draw area, as one line with the given end offsets.
    void Span(int64_t left, int64_t right, int64_t row, float startOffset, float endOffset) {
        const RECT& area = DrawSettings.DrawArea;
        if (row < area.top || row >= area.bottom) return;
        if (left < area.left) left = area.left;
        if (right > area.right - 1) right = area.right - 1;
        if (left > right) return;
        Add((float)left + startOffset, (float)row);
        Add((float)(right + 1) + endOffset, (float)row);
    }
};

// The points of a circle outline, inside the draw area. The adjust flags move the points right of the
// centre one pixel left (n) and those below it one pixel up (m).
void CircleOutline(DirectWriter& writer, MemImgCircleWalk& walk, int64_t cx, int64_t cy, int64_t r, int64_t n, int64_t m) {
    const RECT& area = DrawSettings.DrawArea;
    auto point = [&](int64_t dx, int64_t dy) {
        const int64_t x = cx + dx - (dx > 0 ? n : 0), y = cy + dy - (dy > 0 ? m : 0);
        if (x >= area.left && x < area.right && y >= area.top && y < area.bottom) writer.Add((float)x, (float)y);
    };
    if (!m) point(-r, 0), point(r, 0);
    if (!n) point(0, -r), point(0, r);
    MemImg_CircleWalk_Step(&walk);
    while (MemImg_CircleWalk_Seek(&walk)) {
        const int64_t a = walk.X, b = walk.Y;
        for (int turn = 0; turn < (a == b ? 1 : 2); ++turn) {
            const int64_t dx = turn ? b : a, dy = turn ? a : b;
            point(-dx, -dy), point(dx, -dy), point(-dx, dy), point(dx, dy);
        }
        MemImg_CircleWalk_Step(&walk);
    }
}

}  // namespace

int Graphics_D3D9_DrawFillRect(int x1, int y1, int x2, int y2, unsigned int color) {
    if (!D3D9Call_Device_Exists()) return -1;
    int32_t rect[4] = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    const RECT& area = DrawSettings.DrawArea;
    const int32_t clip[4] = {area.left, area.top, area.right, area.bottom};
    Math_Rect_Clip(rect, clip);
    if (rect[0] >= rect[2] || rect[1] >= rect[3]) return 0;
    BeginShape();
    const float box[1][4] = {{(float)rect[0], (float)rect[1], (float)rect[2], (float)rect[3]}};
    return AddBoxes(box, 1, Graphics_D3D9_ShapeColor(color), false);
}

int Graphics_D3D9_DrawRectOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    if (!D3D9Call_Device_Exists()) return -1;
    BeginShape();
    // Each axis ordered on its own, so that a rectangle given from any corner has the same frame.
    const int64_t left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1;
    const int64_t top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
    const int64_t t = thickness < 1 ? 1 : thickness;
    const int64_t grow = (t >> 1) - (t % 2 == 0 ? 1 : 0), shrink = (t >> 1) + 1;
    const float oL = (float)(left - grow), oT = (float)(top - grow), oR = (float)(right + grow), oB = (float)(bottom + grow);
    const float iL = (float)(left + shrink), iT = (float)(top + shrink), iR = (float)(right - shrink), iB = (float)(bottom - shrink);
    const float bands[4][4] = {{oL, oT, oR, iT}, {iR, iT, oR, oB}, {oL, iT, iL, oB}, {iL, iB, iR, oB}};
    return AddBoxes(bands, 4, Graphics_D3D9_ShapeColor(color), true);
}

int Graphics_D3D9_DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (x1 == x2 && y1 == y2) return 0;
    BeginShape();
    float ex = (float)x2, ey = (float)y2;
    if (x1 == x2) ey += y1 < y2 ? -0.1f : 0.1f;
    else if (y1 == y2) ex += x1 < x2 ? -0.1f : 0.1f;
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_LINELIST, 2);
    if (at == nullptr) return -1;
    const D3DCOLOR colour = Graphics_D3D9_ShapeColor(color);
    const ShapeVertex v[2] = {Vertex((float)x1, (float)y1, colour), Vertex(ex, ey, colour)};
    memcpy(at, v, sizeof(v));
    Graphics_D3D9_VertexBatch_Commit(2);
    return 0;
}

int Graphics_D3D9_DrawCircle(int x, int y, int r, unsigned int color, int fill, int narrowRight, int shortBottom) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (r < 0) return 0;
    BeginShape();
    DirectWriter writer;
    if (!writer.Begin(fill ? D3DPT_LINELIST : D3DPT_POINTLIST, Graphics_D3D9_ShapeColor(color))) return -1;
    const RECT& area = DrawSettings.DrawArea;
    const int64_t cx = x, cy = y, radius = r, n = narrowRight ? 1 : 0, m = shortBottom ? 1 : 0;
    // The walk over the rows the draw area holds, one more on each side for the shortened bottom half.
    MemImgCircleWalk walk;
    MemImg_CircleWalk_Start(&walk, radius, cy, (int64_t)area.top - 1, (int64_t)area.bottom + 1);
    if (!fill) {
        CircleOutline(writer, walk, cx, cy, radius, n, m);
        writer.Drain();
        return writer.Result;
    }

    // Filled: the half width of every row (by its distance from the centre) first, then one span per
    // row, so that no row is drawn twice (which would blend it twice).
    const int64_t first = walk.Nearest, last = walk.Farthest < radius ? walk.Farthest : radius;
    if (first > last) return 0;
    const uint64_t bytes = ((uint64_t)(last - first) + 1) * sizeof(int64_t);
    if (bytes > 0x7FFFFFFFu || Graphics_Other_ReserveScratchBuffer(1, (uint32_t)bytes) < 0) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました in G_D3D_DrawCircle");
        return -1;
    }
    int64_t* half = (int64_t*)GraphicsSystemState.Scratch.Buffer[1];
    for (int64_t k = first; k <= last; ++k) half[k - first] = -1;
    if (first == 0) half[0] = radius;
    while (MemImg_CircleWalk_Seek(&walk)) {
        const int64_t a = walk.X, b = walk.Y;
        if (a >= first && a <= last && half[a - first] < b) half[a - first] = b;
        if (b >= first && b <= last && half[b - first] < a) half[b - first] = a;
        MemImg_CircleWalk_Step(&walk);
    }
    const float start = D3D9ShapeState.CirclePixelOffset[0], end = D3D9ShapeState.CirclePixelOffset[1];
    for (int64_t k = first; k <= last; ++k) {
        const int64_t h = half[k - first];
        if (h < 0) continue;
        // The shortened bottom half moves up onto the centre row, which then has no span of its own.
        if (k > 0 || !m) writer.Span(cx - h, cx + h - n, cy - k, start, end);
        if (k > 0) writer.Span(cx - h, cx + h - n, cy + k - m, start, end);
    }
    writer.Drain();
    return writer.Result;
}

int Graphics_D3D9_DrawCircleThick(int x, int y, int r, unsigned int color, int thickness) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (thickness <= 1) return -1;
    const RECT& area = DrawSettings.DrawArea;
    if (area.bottom <= area.top || area.bottom <= 0) return 0;
    BeginShape();
    DirectWriter writer;
    if (!writer.Begin(D3DPT_LINELIST, Graphics_D3D9_ShapeColor(color))) return -1;
    const uint64_t bytes = (uint64_t)area.bottom * sizeof(int16_t[5]);
    if (bytes > 0x7FFFFFFFu || Graphics_Other_ReserveScratchBuffer(1, (uint32_t)bytes) < 0) return -1;
    CircleSpanTable table = {(int16_t(*)[5])GraphicsSystemState.Scratch.Buffer[1], area.bottom};
    memset(table.Rows, 0, (size_t)bytes);
    Graphics_Draw_SetCircleSpanPoint(x, y, r, thickness, &table);
    const int16_t both = CIRCLESPAN_OUTER_LEFT | CIRCLESPAN_OUTER_RIGHT;
    for (int row = area.top < 0 ? 0 : area.top; row < area.bottom; ++row) {
        const int16_t* e = table.Rows[row];
        // A row the ring does not reach holds no span.
        if ((e[4] & both) != both) continue;
        if ((e[4] & (CIRCLESPAN_INNER_LEFT | CIRCLESPAN_INNER_RIGHT)) && e[2] < e[3]) {
            writer.Span(e[0], e[2], row, 0.0f, 0.0f);
            writer.Span(e[3], e[1], row, 0.0f, 0.0f);
        } else {
            writer.Span(e[0], e[1], row, 0.0f, 0.0f);
        }
    }
    writer.Drain();
    return writer.Result;
}

int Graphics_D3D9_DrawQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                            unsigned int color, int fill) {
    if (!D3D9Call_Device_Exists()) return -1;
    const float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    for (float v : xy)
        if (!(v == v) || v > 1e30f || v < -1e30f) return -1;   // no NaN or endless vertices reach the device
    BeginShape();
    Graphics_D3D9_VertexBatch_Flush(0);
    const D3DCOLOR colour = Graphics_D3D9_ShapeColor(color);
    ShapeVertex v[5];
    Graphics_D3D9_SetVertexTypeInput(1);
    HRESULT result;
    if (fill) {
        // Corners 1, 2, 4, 3 as a strip; its middle two swap so that both triangles face the same way.
        const double w = (double)(x2 - x1) * (y4 - y1) - (double)(y2 - y1) * (x4 - x1);
        const double a = (double)(y2 - y3) * (x4 - x3) - (double)(x2 - x3) * (y4 - y3);
        const bool swap = w < 0 || (w == 0 && a <= 0);
        v[0] = Vertex(x1, y1, colour);
        v[1] = swap ? Vertex(x4, y4, colour) : Vertex(x2, y2, colour);
        v[2] = swap ? Vertex(x2, y2, colour) : Vertex(x4, y4, colour);
        v[3] = Vertex(x3, y3, colour);
        result = D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ShapeVertex));
    } else {
        for (int i = 0; i < 5; ++i) v[i] = Vertex(xy[(i % 4) * 2], xy[(i % 4) * 2 + 1], colour);
        result = D3D9Call_Device_DrawPrimitiveUP(D3DPT_LINESTRIP, 4, v, sizeof(ShapeVertex));
    }
    D3D9VertexBatch.DrawCalls++;
    return result == D3D_OK ? 0 : -1;
}

int Graphics_D3D9_DrawPrimitive2DUser(const void* vertices, int count, int primitiveType, GraphHandleRecord* graph,
                                      int transparent, int depthFlag, int reserved1, int reserved2, int divisionIndex) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (count < 0 || (count > 0 && vertices == nullptr)) return -1;
    IDirect3DTexture9* texture = nullptr;
    uint32_t flags = (transparent ? (uint32_t)D3D9DRAWPREP_TRANS : 0u) | (depthFlag ? 0x58F8u : 0x5078u);
    if (graph != nullptr) {
        if (divisionIndex < 0 || divisionIndex >= graph->drawPartCount || graph->Orig == nullptr) return -1;
        D3D9GraphTexture* objects = Graphics_D3D9_GraphTexture_Of(graph->drawParts[divisionIndex].part);
        if (objects == nullptr || objects->Texture == nullptr) return -1;
        texture = (IDirect3DTexture9*)objects->Texture;
        flags |= D3D9DRAWPREP_TEXTURED;
        if (graph->Orig->format.alpha) flags |= D3D9DRAWPREP_ALPHA_CHANNEL;
        if (graph->Orig->format.alphaTest) flags |= D3D9DRAWPREP_CUT_OUT;
    }
    Graphics_D3D9_VertexBatch_Flush(0);
    D3D9Call_Device_BeginSceneOnce();
    if (D3D9NormalDrawState.BlendTexture != nullptr) Graphics_D3D9_StateCache_SetBlendTexture(nullptr, 0, 0);
    Graphics_D3D9_StateCache_SetDrawTexture(texture);
    Graphics_D3D9_PrepareDrawStateIfNeeded(flags);
    Graphics_D3D9_SetVertexTypeInput(0);
    UINT primitives = 0;
    switch (primitiveType) {
        case PRIMITIVE_POINTLIST: primitives = (UINT)count; break;
        case PRIMITIVE_LINELIST: primitives = (UINT)count / 2; break;
        case PRIMITIVE_LINESTRIP: primitives = count > 0 ? (UINT)count - 1 : 0; break;
        case PRIMITIVE_TRIANGLELIST: primitives = (UINT)count / 3; break;
        case PRIMITIVE_TRIANGLESTRIP:
        case PRIMITIVE_TRIANGLEFAN: primitives = count > 1 ? (UINT)count - 2 : 0; break;
        default: break;
    }
    if (primitives == 0) return 0;
    const HRESULT result =
        D3D9Call_Device_DrawPrimitiveUP((D3DPRIMITIVETYPE)primitiveType, primitives, vertices, 28);
    D3D9VertexBatch.DrawCalls++;
    return result == D3D_OK ? 0 : -1;
}

}  // namespace Vantrel
