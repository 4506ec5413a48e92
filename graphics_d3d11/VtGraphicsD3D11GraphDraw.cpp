// Direct3D 11 graph drawing: a graph's divisions as textured quads of the vertex batch, at a
// position, stretched, on a free quadrangle (two triangles or a tessellated grid) and as caller-
// prepared quads, with the blend graph's coordinates when one is bound.
// Stands on the vertex batch, the draw preparation, the normal-draw state, the generic-draw grid and
// the core's graph records and draw settings.
#include <math.h>
#include <string.h>

#include "graphics/VtGraphicsDeviceDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"

namespace Vantrel {

namespace {

struct TexturedVertex {            // standard vertex type 1
    float X, Y, Z, Rhw;
    uint32_t Colour;
    float U, V;
};
static_assert(sizeof(TexturedVertex) == 28, "standard vertex type 1");

struct BlendVertex {               // standard vertex type 2
    float X, Y, Z, Rhw;
    uint32_t Colour0, Colour1;
    float BlendU, BlendV;
    float U, V;
};
static_assert(sizeof(BlendVertex) == 40, "standard vertex type 2");

// One corner of a quad as drawn: screen position, graph texture coordinates, blend coordinates.
struct Corner {
    float X, Y, U, V, BU, BV;
};

ID3D11Texture2D* PartTexture(const GraphDrawPart& division) {
    return division.part != nullptr && division.part->platformArea != nullptr
               ? (ID3D11Texture2D*)division.part->platformArea[1]
               : nullptr;
}
ID3D11ShaderResourceView* PartView(const GraphDrawPart& division) {
    return division.part != nullptr && division.part->platformArea != nullptr
               ? (ID3D11ShaderResourceView*)division.part->platformArea[2]
               : nullptr;
}

uint32_t GraphFlags(const GraphHandleRecord* graph, int transparent) {
    uint32_t flags = (transparent ? DRAWPREP_TRANS : 0) | DRAWPREP_TEXTURED;
    if (graph->Orig != nullptr && graph->Orig->format.alpha) flags |= DRAWPREP_ALPHA_CHANNEL;
    if (graph->Orig != nullptr && graph->Orig->format.alphaTest) flags |= DRAWPREP_CUT_OUT;
    return flags;
}

bool Drawable(const GraphHandleRecord* graph) {
    return graph != nullptr && graph->drawPartCount > 0 && PartTexture(graph->drawParts[0]) != nullptr;
}

// The blend graph's division matching division i of the graph.
const GraphDrawPart* BlendDivision(const GraphHandleRecord* graph, const GraphHandleRecord* blend, int i) {
    if (blend == nullptr || blend->drawPartCount <= 0) return nullptr;
    return &blend->drawParts[blend->drawPartCount == graph->drawPartCount ? i : 0];
}

// Binds division i's texture (and its blend division's) and runs what the change needs. The first
// division also runs the draw preparation when anything is marked changed.
void BindDivision(const GraphHandleRecord* graph, const GraphDrawPart* blend, int i, uint32_t flags) {
    const GraphDrawPart& division = graph->drawParts[i];
    Graphics_D3D11_StateCache_SetDrawTexture(PartTexture(division), PartView(division));
    if (blend != nullptr && blend->part != nullptr)
        Graphics_D3D11_StateCache_SetBlendTexture(PartTexture(*blend), PartView(*blend), blend->part->textureWidth,
                                                  blend->part->textureHeight);
    if (i == 0) {
        if (Graphics_D3D11_DrawStateNeedsPrepare(flags)) Graphics_D3D11_PrepareDrawState(flags);
    } else if (D3D11NormalDrawState.TextureChanged || D3D11NormalDrawState.SetupNeeded) {
        Graphics_D3D11_StateCache_Setup2D();
    }
}

// Writes one quad (corners top-left, top-right, bottom-left, bottom-right) in the given order of
// six corner indices, as type 1 or, with a blend graph bound, type 2 vertices.
int AddQuad(const Corner* c, const int* order) {
    const bool blend = D3D11VertexBatch.Kind == 2;
    uint8_t* at = Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, 6);
    if (at == nullptr) return -1;
    const float z = DrawSettings.DrawZ2D;
    const uint32_t colour = D3D11DrawColor;
    for (int i = 0; i < 6; ++i) {
        const Corner& k = c[order[i]];
        if (blend) {
            const BlendVertex v = {k.X, k.Y, z, 1.0f, colour, 0, k.BU, k.BV, k.U, k.V};
            memcpy(at + i * sizeof(BlendVertex), &v, sizeof(v));
        } else {
            const TexturedVertex v = {k.X, k.Y, z, 1.0f, colour, k.U, k.V};
            memcpy(at + i * sizeof(TexturedVertex), &v, sizeof(v));
        }
    }
    Graphics_D3D11_VertexBatch_Commit(6);
    return 0;
}

const int UsualOrder[6] = {0, 1, 2, 3, 2, 1};

// Blend coordinates of a corner: its screen position (k->X, k->Y, set first) and its place in the graph
// (cx, cy).
void BlendCoords(Corner* k, float cx, float cy, const GraphDrawPart* blend) {
    Graphics_DeviceDraw_BlendCoords(k->X, k->Y, cx, cy, blend, &k->BU, &k->BV);
}

// The at and stretched draws: each division scaled by (sx, sy) from (x, y), clamped into the draw
// area unless the whole graph lies inside it.
int DrawScaled(float x, float y, float sx, float sy, bool inside, GraphHandleRecord* graph,
               GraphHandleRecord* blendGraph, uint32_t flags) {
    const float* area = DrawSettings.DrawAreaF;
    int result = 0;
    for (int i = 0; i < graph->drawPartCount; ++i) {
        const GraphDrawPart& division = graph->drawParts[i];
        if (division.part == nullptr) continue;
        const GraphDrawPart* blend = BlendDivision(graph, blendGraph, i);
        BindDivision(graph, blend, i, flags);
        const GraphDrawVertex* v = division.vertices;
        const float tw = (float)division.part->textureWidth, th = (float)division.part->textureHeight;
        Corner c[4];
        const float left = v[0].x, right = v[1].x, top = v[0].y, bottom = v[2].y;
        const float xs[2] = {left, right}, ys[2] = {top, bottom};
        const float us[2] = {v[0].u, v[1].u}, vs[2] = {v[0].v, v[2].v};
        for (int k = 0; k < 4; ++k) {
            const int h = k % 2, w = k / 2;
            Corner& corner = c[k];
            corner.X = x + xs[h] * sx, corner.Y = y + ys[w] * sy;
            corner.U = us[h], corner.V = vs[w];
            BlendCoords(&corner, xs[h], ys[w], blend);
            if (inside) continue;
            const float cx = corner.X < area[0] ? area[0] : corner.X > area[2] ? area[2] : corner.X;
            const float cy = corner.Y < area[1] ? area[1] : corner.Y > area[3] ? area[3] : corner.Y;
            const float dx = cx - corner.X, dy = cy - corner.Y;
            corner.X = cx, corner.Y = cy;
            corner.U += dx / (tw * sx), corner.V += dy / (th * sy);
            if (blend != nullptr && blend->part != nullptr)
                corner.BU += dx / (float)blend->part->textureWidth, corner.BV += dy / (float)blend->part->textureHeight;
        }
        if (AddQuad(c, UsualOrder) < 0) result = -1;
    }
    return result;
}

// Also true while the core has switched the clamping into the draw area off.
bool WhollyInside(int left, int top, int right, int bottom) {
    if (DrawSettings.DrawAreaClipOff) return true;
    const RECT& area = DrawSettings.DrawArea;
    return left >= area.left && top >= area.top && right <= area.right && bottom <= area.bottom;
}

// One quad of a free quadrangle: two triangles when it is a parallelogram, else an 8 x 8 grid.
int DrawFreeQuad(const Corner* q, const GraphDrawPart& division) {
    const float quad[4][4] = {{q[0].X, q[0].Y, q[0].U, q[0].V}, {q[1].X, q[1].Y, q[1].U, q[1].V},
                              {q[2].X, q[2].Y, q[2].U, q[2].V}, {q[3].X, q[3].Y, q[3].U, q[3].V}};
    DeviceFreeQuadPlan plan;
    Graphics_DeviceDraw_PlanFreeQuad(quad, (float)division.part->textureWidth, (float)division.part->textureHeight,
                                     division.widthF, division.heightF, &plan);
    if (plan.Parallelogram) {
        Corner c[4];
        for (int k = 0; k < 4; ++k) c[k] = {plan.Corners[k][0], plan.Corners[k][1], plan.Corners[k][2], plan.Corners[k][3], 0, 0};
        static const int swapped[6] = {0, 2, 1, 3, 1, 2};
        return AddQuad(c, plan.Mirrored ? swapped : UsualOrder);
    }
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    TexturedVertex grid[64];
    const float z = DrawSettings.DrawZ2D;
    for (int i = 0; i < 64; ++i) {
        const float* p = plan.Grid[i];
        grid[i] = {p[0], p[1], z, 1.0f, D3D11DrawColor, p[2], p[3]};
    }
    return Graphics_D3D11_GenericDraw_DrawGrid(grid, 8, 8);
}

}  // namespace

int Graphics_D3D11_DrawGraphAt(int x, int y, float fx, float fy, GraphHandleRecord* graph,
                               GraphHandleRecord* blendGraph, int transparent, int intCoordinates) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Drawable(graph)) return -1;
    const uint32_t flags = GraphFlags(graph, transparent) | (intCoordinates ? DRAWPREP_PIXEL_EXACT : 0);
    const bool inside = WhollyInside(x, y, x + graph->Width, y + graph->Height);
    return DrawScaled(fx, fy, 1.0f, 1.0f, inside, graph, blendGraph, flags);
}

int Graphics_D3D11_DrawGraphStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                                      GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent,
                                      int intCoordinates) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (x1 == x2 || y1 == y2) return -1;
    if (!Drawable(graph) || graph->widthF <= 0 || graph->heightF <= 0) return -1;
    uint32_t flags = GraphFlags(graph, transparent);
    if (intCoordinates && DrawSettings.DrawMode != 1) flags |= DRAWPREP_PIXEL_EXACT;
    const bool inside = WhollyInside(x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1);
    const float sx = (fx2 - fx1) / graph->widthF, sy = (fy2 - fy1) / graph->heightF;
    return DrawScaled(fx1, fy1, sx, sy, inside, graph, blendGraph, flags);
}

int Graphics_D3D11_DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                                  GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent,
                                  int flagsIn) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (!Drawable(graph) || graph->widthF <= 0 || graph->heightF <= 0) return -1;
    const float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    for (float v : xy)
        if (!(v == v) || v > 1e30f || v < -1e30f) return -1;
    // Corners: top-left, top-right, bottom-left, bottom-right.
    const float TLx = x1, TLy = y1, TRx = x2, TRy = y2, BLx = x3, BLy = y3, BRx = x4, BRy = y4;
    const float W = graph->widthF, H = graph->heightF;
    uint32_t flags = GraphFlags(graph, transparent) | (uint32_t)flagsIn;

    if (blendGraph != nullptr) {
        if (TLx == BLx && TRx == BRx && TLy == TRy && BLy == BRy)
            return Graphics_D3D11_DrawGraphStretched((int)TLx, (int)TLy, (int)BRx, (int)BRy, TLx, TLy, BRx, BRy, graph,
                                                     blendGraph, transparent, 1);
        flags |= DRAWPREP_PIXEL_EXACT;
        int result = 0;
        for (int i = 0; i < graph->drawPartCount; ++i) {
            const GraphDrawPart& division = graph->drawParts[i];
            if (division.part == nullptr) continue;
            const GraphDrawPart* blend = BlendDivision(graph, blendGraph, i);
            BindDivision(graph, blend, i, flags);
            Corner c[4];
            for (int k = 0; k < 4; ++k) {
                const GraphDrawVertex& v = division.vertices[k];
                if (division.diagonalSide[k] == 0) {
                    c[k].X = TLx + v.x * (TRx - TLx) / W + v.y * (BLx - TLx) / H;
                    c[k].Y = TLy + v.x * (TRy - TLy) / W + v.y * (BLy - TLy) / H;
                } else {
                    c[k].X = BRx + (v.x - W) * (BRx - BLx) / W + (v.y - H) * (BRx - TRx) / H;
                    c[k].Y = BRy + (v.x - W) * (BRy - BLy) / W + (v.y - H) * (BRy - TRy) / H;
                }
                c[k].U = v.u, c[k].V = v.v;
                BlendCoords(&c[k], v.x, v.y, blend);
            }
            const float cross = (c[1].X - c[0].X) * (c[2].Y - c[0].Y) - (c[1].Y - c[0].Y) * (c[2].X - c[0].X);
            if (cross <= 0) {
                const Corner keep = c[1];
                c[1] = c[2];
                c[2] = keep;
            }
            if (AddQuad(c, UsualOrder) < 0) result = -1;
        }
        return result;
    }

    int result = 0;
    for (int i = 0; i < graph->drawPartCount; ++i) {
        const GraphDrawPart& division = graph->drawParts[i];
        if (division.part == nullptr) continue;
        BindDivision(graph, nullptr, i, flags);
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            const GraphDrawVertex& v = division.vertices[k];
            if (graph->drawPartCount == 1) {
                c[k].X = xy[k * 2], c[k].Y = xy[k * 2 + 1];
            } else {
                const float s = v.x / W, t = v.y / H;
                const float lx = TLx + t * (BLx - TLx), ly = TLy + t * (BLy - TLy);
                const float rx = TRx + t * (BRx - TRx), ry = TRy + t * (BRy - TRy);
                c[k].X = lx + (rx - lx) * s, c[k].Y = ly + (ry - ly) * s;
            }
            c[k].U = v.u, c[k].V = v.v, c[k].BU = c[k].BV = 0.0f;
        }
        if (DrawFreeQuad(c, division) < 0) result = -1;
    }
    return result;
}

int Graphics_D3D11_DrawSimpleQuadGraphF(const SimpleQuadGraphList* quads, GraphHandleRecord* graph,
                                        GraphHandleRecord* blendGraph) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (quads == nullptr || quads->QuadCount < 0 || (quads->QuadCount > 0 && quads->Vertices == nullptr)) return -1;
    if (!Drawable(graph) || graph->drawPartCount != 1) return -1;
    const uint32_t flags = GraphFlags(graph, quads->Transparent);
    const GraphDrawPart* blend = BlendDivision(graph, blendGraph, 0);
    BindDivision(graph, blend, 0, flags);
    int result = 0;
    for (int q = 0; q < quads->QuadCount; ++q) {
        const float* v = quads->Vertices + (size_t)q * 16;
        Corner c[4];
        for (int k = 0; k < 4; ++k) {
            c[k] = {v[k * 4], v[k * 4 + 1], v[k * 4 + 2], v[k * 4 + 3], 0.0f, 0.0f};
            BlendCoords(&c[k], graph->drawParts[0].vertices[k].x, graph->drawParts[0].vertices[k].y, blend);
        }
        if (AddQuad(c, UsualOrder) < 0) result = -1;
    }
    return result;
}

}  // namespace Vantrel
