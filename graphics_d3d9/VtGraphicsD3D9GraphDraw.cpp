// Direct3D 9 graph drawing: a graph's divisions as textured quads of the vertex batch, at a position,
// stretched, on a free quadrangle (two triangles or a tessellated grid) and as caller-prepared quads, with
// the blend graph's coordinates when one is bound. Direct3D 9 puts pixel centres on whole coordinates, so
// positions are moved half a pixel up and left.
// Stands on the vertex batch, the draw preparation, the normal-draw state, the stage set-up, the graph
// textures and the core's graph records and draw settings.
#include "graphics_d3d9/VtGraphicsD3D9GraphDraw.h"

#include <math.h>
#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDeviceDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Draw.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"

namespace Vantrel {

namespace {

struct TexturedVertex {            // vertex format code 2
    float X, Y, Z, Rhw;
    D3DCOLOR Colour;
    float U, V;
};
static_assert(sizeof(TexturedVertex) == 28, "one texture");

// One corner of a quad as drawn: screen position, graph texture coordinates, blend coordinates.
struct Corner {
    float X, Y, U, V, BU, BV;
};

IDirect3DTexture9* PartTexture(const GraphDrawPart& division) {
    D3D9GraphTexture* objects = Graphics_D3D9_GraphTexture_Of(division.part);
    return objects != nullptr ? (IDirect3DTexture9*)objects->Texture : nullptr;
}

uint32_t GraphFlags(const GraphHandleRecord* graph, int transparent) {
    uint32_t flags = (transparent ? (uint32_t)D3D9DRAWPREP_TRANS : 0u) | D3D9DRAWPREP_TEXTURED;
    if (graph->Orig != nullptr && graph->Orig->format.alpha) flags |= D3D9DRAWPREP_ALPHA_CHANNEL;
    if (graph->Orig != nullptr && graph->Orig->format.alphaTest) flags |= D3D9DRAWPREP_CUT_OUT;
    return flags;
}

bool Drawable(const GraphHandleRecord* graph) {
    return graph != nullptr && graph->drawPartCount > 0 && graph->drawParts[0].part != nullptr &&
           PartTexture(graph->drawParts[0]) != nullptr;
}

// The blend graph's division matching division i of the graph: the same one when both have as many,
// else the first.
const GraphDrawPart* BlendDivision(const GraphHandleRecord* graph, const GraphHandleRecord* blend, int i) {
    if (blend == nullptr || blend->drawPartCount <= 0) return nullptr;
    const GraphDrawPart* division = &blend->drawParts[blend->drawPartCount == graph->drawPartCount ? i : 0];
    return division->part != nullptr ? division : nullptr;
}

// Binds division i's texture (and its blend division's). The first division runs the draw preparation
// when anything is marked changed; each further one rebuilds the stage set-up for its own texture.
void BindDivision(const GraphHandleRecord* graph, const GraphDrawPart* blend, int i, uint32_t flags) {
    Graphics_D3D9_StateCache_SetDrawTexture(PartTexture(graph->drawParts[i]));
    if (blend != nullptr)
        Graphics_D3D9_StateCache_SetBlendTexture(PartTexture(*blend), blend->part->textureWidth, blend->part->textureHeight);
    if (i == 0) Graphics_D3D9_PrepareDrawStateIfNeeded(flags);
    else Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, 1);
}

// Binds every division that has a texture part in turn (with its blend division) and has `place` write
// its quads: -1 when any placing failed.
template <class Place>
int EachDivision(const GraphHandleRecord* graph, const GraphHandleRecord* blendGraph, uint32_t flags, Place place) {
    int result = 0;
    for (int i = 0; i < graph->drawPartCount; ++i) {
        const GraphDrawPart& division = graph->drawParts[i];
        if (division.part == nullptr) continue;
        const GraphDrawPart* blend = BlendDivision(graph, blendGraph, i);
        BindDivision(graph, blend, i, flags);
        if (place(division, blend) < 0) result = -1;
    }
    return result;
}

// Writes one quad (corners top-left, top-right, bottom-left, bottom-right) in the given order of six
// corner indices, with one texture or, with a blend graph bound, two. The diffuse colour goes on the
// first vertex of each triangle only (flat shading reads no other), or on all six with `allColours`.
int AddQuad(const Corner* c, const int* order, bool allColours = false) {
    const int layout = D3D9NormalDrawState.BlendTexture != nullptr ? 2 : 1;
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(layout, 0, D3DPT_TRIANGLELIST, 6);
    if (at == nullptr) return -1;
    const float z = DrawSettings.DrawZ2D;
    const D3DCOLOR colour = D3D9VertexBatch.Diffuse;
    const uint32_t stride = D3D9VertexBatchStride[layout];
    for (int i = 0; i < 6; ++i) {
        const Corner& k = c[order[i]];
        uint8_t* v = at + i * stride;
        const float position[3] = {k.X, k.Y, z};
        memcpy(v, position, sizeof(position));
        if (allColours || i == 0 || i == 3) memcpy(v + 16, &colour, 4);
        if (layout == 2) {
            const float uv[4] = {k.BU, k.BV, k.U, k.V};
            memcpy(v + 24, uv, sizeof(uv));
        } else {
            const float uv[2] = {k.U, k.V};
            memcpy(v + 20, uv, sizeof(uv));
        }
    }
    Graphics_D3D9_VertexBatch_Commit(6);
    return 0;
}

const int UsualOrder[6] = {0, 1, 2, 3, 2, 1};

// Blend coordinates of a corner: its screen position before the half-pixel move (sx, sy), so that the
// blend graph's texels meet the drawn graph's pixels, and its place in the graph (gx, gy).
void BlendCoords(Corner* k, float sx, float sy, float gx, float gy, const GraphDrawPart* blend) {
    Graphics_DeviceDraw_BlendCoords(sx, sy, gx, gy, blend, &k->BU, &k->BV);
}

// True when the draw needs no clamping into the draw area: it lies wholly inside, or the core has the
// clamping switched off (the device still cuts at the area's edges).
bool WhollyInside(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    if (DrawSettings.DrawAreaClipOff) return true;
    const RECT& area = DrawSettings.DrawArea;
    return left >= area.left && top >= area.top && right <= area.right && bottom <= area.bottom;
}

bool WhollyOutside(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    if (DrawSettings.DrawAreaClipOff) return false;
    const RECT& area = DrawSettings.DrawArea;
    return right <= area.left || bottom <= area.top || left >= area.right || top >= area.bottom;
}

// The at and stretched draws: each division scaled by (sx, sy) from (x, y), clamped into the draw area
// (moved half a pixel like the positions) unless the whole graph lies inside it.
int DrawScaled(float x, float y, float sx, float sy, bool inside, GraphHandleRecord* graph,
               GraphHandleRecord* blendGraph, uint32_t flags) {
    const float* areaF = DrawSettings.DrawAreaF;
    const float area[4] = {areaF[0] - 0.5f, areaF[1] - 0.5f, areaF[2] - 0.5f, areaF[3] - 0.5f};
    return EachDivision(graph, blendGraph, flags, [&](const GraphDrawPart& division, const GraphDrawPart* blend) {
        const GraphDrawVertex* v = division.vertices;
        const float tw = (float)division.part->textureWidth, th = (float)division.part->textureHeight;
        const float xs[2] = {v[0].x, v[1].x}, ys[2] = {v[0].y, v[2].y};
        const float us[2] = {v[0].u, v[1].u}, vs[2] = {v[0].v, v[2].v};
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            const int h = k % 2, w = k / 2;
            Corner& corner = c[k];
            const float screenX = x + xs[h] * sx, screenY = y + ys[w] * sy;
            corner.X = screenX - 0.5f, corner.Y = screenY - 0.5f;
            corner.U = us[h], corner.V = vs[w];
            BlendCoords(&corner, screenX, screenY, xs[h], ys[w], blend);
            if (inside) continue;
            const float cx = corner.X < area[0] ? area[0] : corner.X > area[2] ? area[2] : corner.X;
            const float cy = corner.Y < area[1] ? area[1] : corner.Y > area[3] ? area[3] : corner.Y;
            const float dx = cx - corner.X, dy = cy - corner.Y;
            corner.X = cx, corner.Y = cy;
            corner.U += dx / (tw * sx), corner.V += dy / (th * sy);
            if (blend != nullptr)
                corner.BU += dx / (float)blend->part->textureWidth, corner.BV += dy / (float)blend->part->textureHeight;
        }
        return AddQuad(c, UsualOrder);
    });
}

// One quad of a free quadrangle (corners already moved half a pixel): two triangles when it is a
// parallelogram, else an 8 x 8 grid.
int DrawFreeQuad(const Corner* q, const GraphDrawPart& division) {
    const float quad[4][4] = {{q[0].X, q[0].Y, q[0].U, q[0].V}, {q[1].X, q[1].Y, q[1].U, q[1].V},
                              {q[2].X, q[2].Y, q[2].U, q[2].V}, {q[3].X, q[3].Y, q[3].U, q[3].V}};
    DeviceFreeQuadPlan plan;
    Graphics_DeviceDraw_PlanFreeQuad(quad, (float)division.part->textureWidth, (float)division.part->textureHeight,
                                     division.widthF, division.heightF, &plan);
    if (plan.Parallelogram) {
        Corner c[4];
        for (int k = 0; k < 4; ++k) c[k] = {plan.Corners[k][0], plan.Corners[k][1], plan.Corners[k][2], plan.Corners[k][3], 0, 0};
        static const int mirrored[6] = {0, 2, 1, 3, 1, 2};
        return AddQuad(c, plan.Mirrored ? mirrored : UsualOrder);
    }
    TexturedVertex grid[64];
    const float z = DrawSettings.DrawZ2D;
    const D3DCOLOR colour = D3D9VertexBatch.Diffuse;
    for (int i = 0; i < 64; ++i) {
        const float* p = plan.Grid[i];
        grid[i] = {p[0], p[1], z, 1.0f, colour, p[2], p[3]};
    }
    return Graphics_D3D9_DrawGridMesh(grid, 8, 8);
}

// The corner (gx, gy) of the graph placed by bilinear interpolation of the quadrangle's corners xy
// (top-left, top-right, bottom-left, bottom-right).
void Interpolate(const float* xy, float w, float h, float gx, float gy, float* x, float* y) {
    const float s = gx / w, t = gy / h;
    const float lx = xy[0] + t * (xy[4] - xy[0]), ly = xy[1] + t * (xy[5] - xy[1]);
    const float rx = xy[2] + t * (xy[6] - xy[2]), ry = xy[3] + t * (xy[7] - xy[3]);
    *x = lx + (rx - lx) * s, *y = ly + (ry - ly) * s;
}

bool Finite(const float* values, int count) {
    for (int i = 0; i < count; ++i)
        if (!(values[i] == values[i]) || values[i] > 1e30f || values[i] < -1e30f) return false;
    return true;
}

// The free quadrangle with its corners already moved half a pixel, without a blend graph.
int DrawQuadMoved(const float* xy, GraphHandleRecord* graph, uint32_t flags) {
    const float W = graph->widthF, H = graph->heightF;
    return EachDivision(graph, nullptr, flags, [&](const GraphDrawPart& division, const GraphDrawPart*) {
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            const GraphDrawVertex& v = division.vertices[k];
            if (graph->drawPartCount == 1) c[k].X = xy[k * 2], c[k].Y = xy[k * 2 + 1];
            else Interpolate(xy, W, H, v.x, v.y, &c[k].X, &c[k].Y);
            c[k].U = v.u, c[k].V = v.v, c[k].BU = c[k].BV = 0.0f;
        }
        return DrawFreeQuad(c, division);
    });
}

bool DeviceAndGraph(const GraphHandleRecord* graph) {
    return D3D9Call_Device_Exists() && Drawable(graph) && graph->widthF > 0 && graph->heightF > 0;
}

}  // namespace

int Graphics_D3D9_DrawGraphAt(int x, int y, float fx, float fy, GraphHandleRecord* graph,
                              GraphHandleRecord* blendGraph, int transparent, int intCoordinates) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Drawable(graph)) return -1;
    const int64_t right = (int64_t)x + graph->Width, bottom = (int64_t)y + graph->Height;
    if (WhollyOutside(x, y, right, bottom)) return 0;
    D3D9Call_Device_BeginSceneOnce();
    const uint32_t flags = GraphFlags(graph, transparent) | (intCoordinates ? (uint32_t)D3D9DRAWPREP_PIXEL_EXACT : 0u);
    return DrawScaled(fx, fy, 1.0f, 1.0f, WhollyInside(x, y, right, bottom), graph, blendGraph, flags);
}

int Graphics_D3D9_DrawGraphStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                                     GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent,
                                     int intCoordinates) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (x1 == x2 || y1 == y2) return -1;
    if (!DeviceAndGraph(graph)) return -1;
    const int64_t left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1;
    const int64_t top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
    if (WhollyOutside(left, top, right, bottom)) return 0;
    D3D9Call_Device_BeginSceneOnce();
    uint32_t flags = GraphFlags(graph, transparent);
    if (intCoordinates && DrawSettings.DrawMode != 1) flags |= D3D9DRAWPREP_PIXEL_EXACT;
    const float sx = (fx2 - fx1) / graph->widthF, sy = (fy2 - fy1) / graph->heightF;
    return DrawScaled(fx1, fy1, sx, sy, WhollyInside(left, top, right, bottom), graph, blendGraph, flags);
}

int Graphics_D3D9_DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                                 GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent, int flagsIn) {
    if (!DeviceAndGraph(graph)) return -1;
    const float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    if (!Finite(xy, 8)) return -1;
    if (blendGraph != nullptr)
        return Graphics_D3D9_DrawGraphQuad((int)x1, (int)y1, (int)x2, (int)y2, (int)x3, (int)y3, (int)x4, (int)y4, graph,
                                           blendGraph, transparent, flagsIn);
    D3D9Call_Device_BeginSceneOnce();
    float moved[8];
    for (int i = 0; i < 8; ++i) moved[i] = xy[i] - 0.5f;
    return DrawQuadMoved(moved, graph, GraphFlags(graph, transparent) | (uint32_t)flagsIn);
}

int Graphics_D3D9_DrawGraphQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                                GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent, int flagsIn) {
    if (!DeviceAndGraph(graph)) return -1;
    // An axis-aligned rectangle is a stretch.
    if (x1 == x3 && x2 == x4 && y1 == y2 && y3 == y4 && x1 != x2 && y1 != y3)
        return Graphics_D3D9_DrawGraphStretched(x1, y1, x4, y4, (float)x1, (float)y1, (float)x4, (float)y4, graph,
                                                blendGraph, transparent, 1);
    D3D9Call_Device_BeginSceneOnce();
    const float xy[8] = {x1 - 0.5f, y1 - 0.5f, x2 - 0.5f, y2 - 0.5f, x3 - 0.5f, y3 - 0.5f, x4 - 0.5f, y4 - 0.5f};
    uint32_t flags = GraphFlags(graph, transparent) | (uint32_t)flagsIn;
    if (blendGraph == nullptr) return DrawQuadMoved(xy, graph, flags);
    if (DrawSettings.DrawMode != 1) flags |= D3D9DRAWPREP_PIXEL_EXACT;
    const float W = graph->widthF, H = graph->heightF;
    return EachDivision(graph, blendGraph, flags, [&](const GraphDrawPart& division, const GraphDrawPart* blend) {
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            const GraphDrawVertex& v = division.vertices[k];
            Interpolate(xy, W, H, v.x, v.y, &c[k].X, &c[k].Y);
            c[k].U = v.u, c[k].V = v.v;
            BlendCoords(&c[k], c[k].X + 0.5f, c[k].Y + 0.5f, v.x, v.y, blend);
        }
        const float cross = (c[1].X - c[0].X) * (c[2].Y - c[0].Y) - (c[1].Y - c[0].Y) * (c[2].X - c[0].X);
        static const int mirrored[6] = {0, 2, 1, 3, 1, 2};
        return AddQuad(c, cross <= 0 ? mirrored : UsualOrder);
    });
}

int Graphics_D3D9_DrawSimpleQuadGraphF(const SimpleQuadGraphList* quads, GraphHandleRecord* graph,
                                       GraphHandleRecord* blendGraph) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (quads == nullptr || quads->QuadCount < 0 || (quads->QuadCount > 0 && quads->Vertices == nullptr)) return -1;
    if (!Drawable(graph) || graph->drawPartCount != 1) return -1;
    D3D9Call_Device_BeginSceneOnce();
    const GraphDrawPart* blend = BlendDivision(graph, blendGraph, 0);
    BindDivision(graph, blend, 0, GraphFlags(graph, quads->Transparent));
    int result = 0;
    for (int q = 0; q < quads->QuadCount; ++q) {
        const float* v = quads->Vertices + (size_t)q * 16;
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            c[k] = {v[k * 4] - 0.5f, v[k * 4 + 1] - 0.5f, v[k * 4 + 2], v[k * 4 + 3], 0.0f, 0.0f};
            BlendCoords(&c[k], v[k * 4], v[k * 4 + 1], graph->drawParts[0].vertices[k].x,
                        graph->drawParts[0].vertices[k].y, blend);
        }
        if (AddQuad(c, UsualOrder, true) < 0) result = -1;
    }
    return result;
}

int Graphics_D3D9_DrawGridMesh(const void* vertices, int columns, int rows) {
    if (!D3D9Call_Device_Exists()) return 0;
    if (columns < 2 || rows < 2 || vertices == nullptr) return -1;
    const uint64_t vertexCount = (uint64_t)columns * (uint64_t)rows;
    // 16-bit indices, and a row pair must fit one piece of at most 1000 indices.
    if (vertexCount > 0x10000 || (uint64_t)columns * 2 + 2 > 1000) return -1;
    Graphics_D3D9_VertexBatch_Flush(0);
    Graphics_D3D9_SetVertexTypeInput(2);
    uint16_t indices[1000];
    int count = 0, result = 0;
    auto drawGathered = [&]() {
        if (count < 3) return;
        if (D3D9Call_Device_DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, (UINT)vertexCount, (UINT)(count - 2), indices,
                                                   D3DFMT_INDEX16, vertices, sizeof(TexturedVertex)) != D3D_OK)
            result = -1;
        D3D9VertexBatch.DrawCalls++;
        count = 0;
    };
    for (int row = 0; row + 1 < rows; ++row) {
        if (count + columns * 2 + 2 > 1000) drawGathered();
        if (count > 0) {
            // Two repeated indices join the rows with triangles of no area.
            indices[count] = indices[count - 1];
            ++count;
            indices[count++] = (uint16_t)((row + 1) * columns);
        }
        for (int column = 0; column < columns; ++column) {
            indices[count++] = (uint16_t)((row + 1) * columns + column);
            indices[count++] = (uint16_t)(row * columns + column);
        }
    }
    drawGathered();
    return result;
}

}  // namespace Vantrel
