// The two-dimensional draw calls: each runs the draw bracket of the draw settings (library started,
// draw area not empty, inactive wait, graph and blend-graph checks, 2D projection), wraps hardware
// draws in the subtraction emulation where the device lacks it, and hands the draw to the switch
// layer or, without a device, to the memory-image routines. The composite calls (mirrored, partial,
// filled graph rectangles, thick lines) are built on them. Deleting a graph ends its handle.
// Stands on the draw settings, the graph handles, the switch layer and the memory-image routines.
#include "graphics/VtGraphicsDraw.h"

#include <math.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "image/VtBaseImage.h"
#include "image/VtMemImg.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

// A graph call's records after the bracket: the graph and, for a live blend graph, its record.
struct GraphDraw {
    GraphHandleRecord* Graph;
    GraphHandleRecord* BlendGraph;
};

// The bracket of a graph call: -1 for a dead graph or a failing blend graph, 0 to draw nothing, 1
// to draw with `out` filled.
int BeginGraphDraw(int graph, GraphDraw* out) {
    // The bracket runs without the graph, which is looked up (and its load finished) here once.
    const int begin = Graphics_DrawSetting_DrawBegin(-1);
    if (begin <= 0) return begin;
    out->Graph = Graphics_Image_GetGraphRecord(graph, 0);
    if (out->Graph == nullptr) return -1;
    out->BlendGraph = nullptr;
    if (DrawSettings.BlendGraph >= 1) {
        if (Graphics_Draw_CheckBlendGraph(out->Graph) < 0) return -1;
        out->BlendGraph = Graphics_Image_GetGraphRecord(DrawSettings.BlendGraph, 0);
    }
    // A graph that shows a movie brings its frame up to date first.
    if (out->Graph->Orig != nullptr && out->Graph->Orig->movie != -1) Movie_Update(out->Graph->Orig->movie, 0);
    return 1;
}

bool IsHardwareGraph(const GraphHandleRecord* graph) {
    return GraphicsSystemState.DeviceValid && graph->Orig != nullptr && graph->Orig->format.hardware;
}

bool HardwarePrimitives() { return GraphicsSystemState.DeviceValid != 0; }

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

RECT ClampToDrawArea(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    const RECT& area = DrawSettings.DrawArea;
    auto clamp = [](int64_t v, int64_t low, int64_t high) { return v < low ? low : v > high ? high : v; };
    return {static_cast<LONG>(clamp(left, area.left, area.right)), static_cast<LONG>(clamp(top, area.top, area.bottom)),
            static_cast<LONG>(clamp(right, area.left, area.right)),
            static_cast<LONG>(clamp(bottom, area.top, area.bottom))};
}

RECT OrderedClamped(int x1, int y1, int x2, int y2) {
    return ClampToDrawArea(x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1);
}

// Runs a draw covering `covered`: inside the mask bracket while the mask screen is active, and for a
// hardware draw inside the subtraction emulation when the blend mode is subtractive and the device
// cannot subtract.
template <typename Draw>
int RunDraw(const RECT& covered, bool hardware, Draw draw) {
    const bool emulate = hardware && DrawSettings.BlendMode == 3 && !GraphicsSystemState.SubtractiveBlendSupported;
    const bool masked = MaskScreenState.MaskActive != 0;
    if (!emulate && !masked) return draw();
    if (masked) Mask_BeforeMaskedDraw(covered);
    if (emulate) Graphics_DrawSetting_SubBlendEmulateBegin(&covered);
    const int result = draw();
    if (emulate) Graphics_DrawSetting_SubBlendEmulateEnd(&covered);
    if (masked) Mask_AfterMaskedDraw(covered);
    return result;
}

template <typename Draw>
int RunHardware(const RECT& covered, Draw draw) {
    return RunDraw(covered, true, draw);
}

template <typename Draw>
int RunSoft(const RECT& covered, Draw draw) {
    return RunDraw(covered, false, draw);
}

int Truncate(float value) { return static_cast<int>(value); }

// The draw area replaced directly (with its float copy and the memory-image clip), as a partial
// draw needs it and puts it back afterwards.
void PutDrawArea(const RECT& area) {
    DrawSettings.DrawArea = area;
    DrawSettings.DrawAreaF[0] = static_cast<float>(area.left);
    DrawSettings.DrawAreaF[1] = static_cast<float>(area.top);
    DrawSettings.DrawAreaF[2] = static_cast<float>(area.right);
    DrawSettings.DrawAreaF[3] = static_cast<float>(area.bottom);
    if (!GraphicsSystemState.DeviceValid) {
        const int32_t clip[4] = {area.left, area.top, area.right, area.bottom};
        MemImg_SetDrawArea(clip);
    }
}

}  // namespace

int DeleteGraph(int graphHandle) {
    if (Graphics_Image_GetGraphRecord(graphHandle, 0) == nullptr) return -1;
    return Handle_Delete(graphHandle, 0, 0);
}

int ClearDrawScreen() { return ClearDrawTarget(nullptr); }

int Graphics_Draw_CheckBlendGraph(const GraphHandleRecord* graph) {
    if (GraphicsSystemState.DeviceValid) return 0;
    const GraphHandleRecord* blend = Graphics_Image_GetGraphRecord(DrawSettings.BlendGraph, 0);
    if (blend == nullptr || graph == nullptr) return -1;
    return blend->Width >= graph->Width && blend->Height >= graph->Height ? 0 : -1;
}

// ---- Graphs ----

int DrawGraphAt(int x, int y, int graphHandle, int transparent) {
    GraphDraw draw;
    const int begin = BeginGraphDraw(graphHandle, &draw);
    if (begin <= 0) return begin;
    const RECT covered = ClampToDrawArea(x, y, static_cast<int64_t>(x) + draw.Graph->Width,
                                         static_cast<int64_t>(y) + draw.Graph->Height);
    if (!IsHardwareGraph(draw.Graph))
        return RunSoft(covered, [&] { return Graphics_Soft_DrawGraphAt(x, y, draw.Graph, draw.BlendGraph, transparent); });
    return RunHardware(covered, [&] {
        return Graphics_Dispatch_DrawGraphAt(x, y, static_cast<float>(x), static_cast<float>(y), draw.Graph,
                                             draw.BlendGraph, transparent, 1);
    });
}

int DrawGraphAtF(float x, float y, int graphHandle, int transparent) {
    GraphDraw draw;
    const int begin = BeginGraphDraw(graphHandle, &draw);
    if (begin <= 0) return begin;
    const int ix = Truncate(x), iy = Truncate(y);
    const RECT covered = ClampToDrawArea(ix, iy, static_cast<int64_t>(ix) + draw.Graph->Width,
                                         static_cast<int64_t>(iy) + draw.Graph->Height);
    if (!IsHardwareGraph(draw.Graph)) {
        if (x == static_cast<float>(ix) && y == static_cast<float>(iy))
            return RunSoft(covered, [&] { return Graphics_Soft_DrawGraphAt(ix, iy, draw.Graph, draw.BlendGraph, transparent); });
        const float xy[8] = {x, y, x + draw.Graph->widthF, y, x, y + draw.Graph->heightF, x + draw.Graph->widthF,
                             y + draw.Graph->heightF};
        return RunSoft(covered, [&] { return Graphics_Soft_DrawGraphQuadFEntry(xy, draw.Graph, transparent); });
    }
    return RunHardware(covered, [&] {
        return Graphics_Dispatch_DrawGraphAt(ix, iy, x, y, draw.Graph, draw.BlendGraph, transparent, 0);
    });
}

int DrawGraphStretched(int x1, int y1, int x2, int y2, int graphHandle, int transparent) {
    GraphDraw draw;
    const int begin = BeginGraphDraw(graphHandle, &draw);
    if (begin <= 0) return begin;
    if (!IsHardwareGraph(draw.Graph))
        return RunSoft(OrderedClamped(x1, y1, x2, y2), [&] {
            return Graphics_Soft_DrawGraphStretched(x1, y1, x2, y2, draw.Graph, draw.BlendGraph, transparent);
        });
    return RunHardware(OrderedClamped(x1, y1, x2, y2), [&] {
        return Graphics_Dispatch_DrawGraphStretched(x1, y1, x2, y2, static_cast<float>(x1), static_cast<float>(y1),
                                                    static_cast<float>(x2), static_cast<float>(y2), draw.Graph,
                                                    draw.BlendGraph, transparent, 1);
    });
}

int DrawGraphStretchedF(float x1, float y1, float x2, float y2, int graphHandle, int transparent) {
    GraphDraw draw;
    const int begin = BeginGraphDraw(graphHandle, &draw);
    if (begin <= 0) return begin;
    const int ix1 = Truncate(x1), iy1 = Truncate(y1), ix2 = Truncate(x2), iy2 = Truncate(y2);
    if (!IsHardwareGraph(draw.Graph))
        return RunSoft(OrderedClamped(ix1, iy1, ix2, iy2), [&] {
            return Graphics_Soft_DrawGraphQuadF(x1, y1, x2, y1, x1, y2, x2, y2, draw.Graph, draw.BlendGraph, transparent);
        });
    return RunHardware(OrderedClamped(ix1, iy1, ix2, iy2), [&] {
        return Graphics_Dispatch_DrawGraphStretched(ix1, iy1, ix2, iy2, x1, y1, x2, y2, draw.Graph, draw.BlendGraph,
                                                    transparent, 0);
    });
}

int Graphics_Draw_QuadGraphF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                             int graphHandle, int transparent, int flags) {
    GraphDraw draw;
    const int begin = BeginGraphDraw(graphHandle, &draw);
    if (begin <= 0) return begin;
    const float xs[4] = {x1, x2, x3, x4}, ys[4] = {y1, y2, y3, y4};
    int left = Truncate(xs[0]), right = left, top = Truncate(ys[0]), bottom = top;
    for (int i = 1; i < 4; ++i) {
        const int x = Truncate(xs[i]), y = Truncate(ys[i]);
        left = x < left ? x : left, right = x > right ? x : right;
        top = y < top ? y : top, bottom = y > bottom ? y : bottom;
    }
    const RECT covered = {left, top, right < 0 ? 0 : right, bottom < 0 ? 0 : bottom};
    // The draw parts' corner order: top left, top right, bottom left, bottom right.
    if (!IsHardwareGraph(draw.Graph))
        return RunSoft(covered, [&] {
            return Graphics_Soft_DrawGraphQuadF(x1, y1, x2, y2, x4, y4, x3, y3, draw.Graph, draw.BlendGraph, transparent);
        });
    return RunHardware(covered, [&] {
        return Graphics_Dispatch_DrawGraphQuadF(x1, y1, x2, y2, x4, y4, x3, y3, draw.Graph, draw.BlendGraph,
                                                transparent, flags);
    });
}

int DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graphHandle,
                   int transparent) {
    return Graphics_Draw_QuadGraphF(x1, y1, x2, y2, x3, y3, x4, y4, graphHandle, transparent, 0);
}

int DrawGraphReversed(int x, int y, int graphHandle, int transparent, int reverseX, int reverseY) {
    if (!reverseX && !reverseY) return DrawGraphAt(x, y, graphHandle, transparent);
    int width = 0, height = 0;
    if (QueryGraphSize(graphHandle, &width, &height) < 0) return -1;
    if (!reverseX) return DrawGraphStretched(x, y + height, x + width, y, graphHandle, transparent);
    return DrawGraphStretched(x + width, reverseY ? y + height : y, x, reverseY ? y : y + height, graphHandle,
                              transparent);
}

int DrawGraphReversedF(float x, float y, int graphHandle, int transparent, int reverseX, int reverseY) {
    if (!reverseX && !reverseY) return DrawGraphAtF(x, y, graphHandle, transparent);
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graphHandle, 0);
    if (record == nullptr) return -1;
    const float width = record->widthF, height = record->heightF;
    if (!reverseX) return DrawGraphStretchedF(x, y + height, x + width, y, graphHandle, transparent);
    return DrawGraphStretchedF(x + width, reverseY ? y + height : y, x, reverseY ? y : y + height, graphHandle,
                               transparent);
}

int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                  int reverseX, int reverseY) {
    if (width <= 0 || height <= 0) return -1;
    int graphWidth = 0, graphHeight = 0;
    if (QueryGraphSize(graphHandle, &graphWidth, &graphHeight) < 0) return -1;
    const RECT saved = DrawSettings.DrawArea;
    const RECT part = {x > saved.left ? x : saved.left, y > saved.top ? y : saved.top,
                       static_cast<LONG>(static_cast<int64_t>(x) + width < saved.right ? x + width : saved.right),
                       static_cast<LONG>(static_cast<int64_t>(y) + height < saved.bottom ? y + height : saved.bottom)};
    // A part that misses the draw area draws nothing (and the area stays as it is).
    if (part.left >= part.right || part.top >= part.bottom) return 0;
    PutDrawArea(part);
    int result;
    if (reverseX)
        result = DrawGraphReversed(x + sourceX + width - graphWidth,
                                   reverseY ? y + sourceY + height - graphHeight : y - sourceY, graphHandle, transparent,
                                   reverseX, reverseY);
    else if (reverseY)
        result = DrawGraphReversed(x - sourceX, y + sourceY + height - graphHeight, graphHandle, transparent, 0, 1);
    else
        result = DrawGraphAt(x - sourceX, y - sourceY, graphHandle, transparent);
    // With the mask screen in use the draw area is set again in full (the mask module reads it).
    if (MaskScreenState.MaskActive)
        Graphics_DrawSetting_SetDrawAreaRect(saved.left, saved.top, saved.right, saved.bottom);
    else
        PutDrawArea(saved);
    return result;
}

int Graphics_Draw_SimpleQuadGraphF(const SimpleQuadGraphRecord* quads) {
    if (quads == nullptr || quads->QuadCount < 0) return -1;
    GraphDraw draw;
    const int begin = BeginGraphDraw(quads->Graph, &draw);
    if (begin <= 0) return begin;
    RECT covered = {0, 0, 1, 1};
    for (int i = 0; i < quads->QuadCount * 4; ++i) {
        const int x = Truncate(quads->Vertices[i * 4]), y = Truncate(quads->Vertices[i * 4 + 1]);
        if (i == 0) covered = {x, y, x, y};
        covered.left = x < covered.left ? x : covered.left, covered.right = x > covered.right ? x : covered.right;
        covered.top = y < covered.top ? y : covered.top, covered.bottom = y > covered.bottom ? y : covered.bottom;
    }
    covered = {covered.left - 1, covered.top - 1, covered.right + 1 < 1 ? 1 : covered.right + 1,
               covered.bottom + 1 < 1 ? 1 : covered.bottom + 1};
    if (!IsHardwareGraph(draw.Graph))
        return RunSoft(covered, [&] { return Graphics_Soft_DrawSimpleQuadGraphF(quads, draw.Graph); });
    return RunHardware(covered, [&] { return Graphics_Dispatch_DrawSimpleQuadGraphF(quads, draw.Graph, draw.BlendGraph); });
}

int DrawGraphPartF(float x, float y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                   int reverseX, int reverseY) {
    if (width <= 0 || height <= 0) return -1;
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graphHandle, 0);
    if (record == nullptr) return -1;
    float left = x, right = x + static_cast<float>(width), top = y, bottom = y + static_cast<float>(height);
    if (reverseX) left = right, right = x;
    if (reverseY) top = bottom, bottom = y;
    const bool software = !IsHardwareGraph(record);
    if (software || record->drawPartCount == 1) {
        // One quadrangle whose u and v run over the full image (the texture of the single part).
        float originX = static_cast<float>(record->x), originY = static_cast<float>(record->y);
        float textureWidth = static_cast<float>(record->Orig->width), textureHeight = static_cast<float>(record->Orig->height);
        if (!software) {
            const GraphDrawPart& part = record->drawParts[0];
            originX = static_cast<float>(part.srcX), originY = static_cast<float>(part.srcY);
            textureWidth = static_cast<float>(part.part->textureWidth);
            textureHeight = static_cast<float>(part.part->textureHeight);
        }
        const float u0 = (sourceX + originX) / textureWidth, u1 = (sourceX + originX + width) / textureWidth;
        const float v0 = (sourceY + originY) / textureHeight, v1 = (sourceY + originY + height) / textureHeight;
        const float vertices[16] = {left, top, u0, v0, right, top, u1, v0, left, bottom, u0, v1, right, bottom, u1, v1};
        const SimpleQuadGraphRecord quads = {1, vertices, graphHandle, transparent};
        return Graphics_Draw_SimpleQuadGraphF(&quads);
    }
    const int part = DeriveGraphRect(sourceX, sourceY, width, height, graphHandle);
    if (part < 0) return -1;
    const int result = reverseX || reverseY ? DrawGraphReversedF(x, y, part, transparent, reverseX, reverseY)
                                            : DrawGraphAtF(x, y, part, transparent);
    DeleteGraph(part);
    return result;
}

int DrawGraphPartStretchedF(float x1, float y1, float x2, float y2, int sourceX, int sourceY, int width, int height,
                            int graphHandle, int transparent) {
    if (width <= 0 || height <= 0) return -1;
    const int part = DeriveGraphRect(sourceX, sourceY, width, height, graphHandle);
    if (part < 0) return -1;
    const int result = DrawGraphStretchedF(x1, y1, x2, y2, part, transparent);
    DeleteGraph(part);
    return result;
}

int DrawBaseImageAt(int x, int y, const BaseImage* image) {
    if (image == nullptr) return -1;
    const int graph = MakeGraphFromBaseImage(image, nullptr, 0);
    if (graph < 0) return -1;
    const int result = DrawGraphAt(x, y, graph, image->format.alphaWidth != 0 ? 1 : 0);
    DeleteGraph(graph);
    return result;
}

int FillGraphRect(int graphHandle, int x, int y, int width, int height, int red, int green, int blue, int alpha) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graphHandle, 0);
    if (record == nullptr) return -1;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || static_cast<int64_t>(x) + width > record->Width ||
        static_cast<int64_t>(y) + height > record->Height)
        return -1;
    red = Clamp(red, 0, 255), green = Clamp(green, 0, 255), blue = Clamp(blue, 0, 255), alpha = Clamp(alpha, 0, 255);
    GraphOrigRecord* orig = record->Orig;
    if (x == 0 && y == 0 && width == record->Width && height == record->Height && record->x == 0 && record->y == 0 &&
        record->Width == orig->width && record->Height == orig->height)
        return Graphics_Image_FillGraph_GParam(graphHandle, red, green, blue, alpha);
    if (!orig->format.hardware) {
        MemImgBody* body = record->memImage.body;
        if (body == nullptr) return -1;
        const int32_t rect[4] = {x, y, x + width, y + height};
        MemImg_FillRect(&record->memImage, rect, BaseImage_ColorFormat_PackColor(body->format, red, green, blue, alpha));
        return 0;
    }
    if (orig->format.drawable && record->Width == orig->width && record->Height == orig->height) {
        DrawStateSnapshot saved;
        Graphics_DrawSetting_SaveState(&saved);
        int result = SelectDrawScreen(graphHandle);
        if (result == 0) {
            Graphics_DrawSetting_SetDrawAreaRect(0, 0, record->Width, record->Height);
            SetBlendModeAndParam(14, alpha);
            result = DrawFilledRectangle(x, y, x + width, y + height, MakeColorCode(red, green, blue));
        }
        Graphics_DrawSetting_RestoreState(&saved);
        return result < 0 ? -1 : 0;
    }
    // The filled image goes to (x, y) of the graph; the graph's source position stays, so that a restore
    // still finds the graph's own piece of its source.
    BaseImage image;
    if (BaseImage_CreateARGB8(width, height, &image) < 0) return -1;
    BaseImage_Fill(&image, red, green, blue, alpha);
    const BaseImageRect whole = {0, 0, width, height};
    const int result =
        Graphics_Image_BltImageToGraph(&whole, x, y, graphHandle, &image, nullptr, orig->format.blendImage, 0, 0, 0);
    BaseImage_Release(&image);
    return result < 0 ? -1 : 0;
}

int DrawVertices2D(const Vertex2D* vertices, int count, int primitiveType, int graphHandle, int transparent) {
    if (count < 0 || (count > 0 && vertices == nullptr)) return -1;
    const int begin = Graphics_DrawSetting_DrawBegin(graphHandle == DrawVertices2D_NoTexture ? -1 : graphHandle);
    if (begin <= 0) return begin;
    GraphHandleRecord* graph = nullptr;
    if (graphHandle != DrawVertices2D_NoTexture) {
        graph = Graphics_Image_GetGraphRecord(graphHandle, 0);
        if (graph == nullptr) return -1;
        if (!IsHardwareGraph(graph)) return 0;
    } else if (!HardwarePrimitives()) {
        return 0;
    }
    const Vertex2D* drawn = vertices;
    const uint32_t bright = DrawSettings.DrawBright & 0xFFFFFF;
    const bool scaleAlpha = DrawSettings.BlendMode != 0 && DrawSettings.BlendParam != 255;
    if (bright != 0xFFFFFF || scaleAlpha) {
        const uint64_t bytes = static_cast<uint64_t>(count) * sizeof(Vertex2D);
        if (bytes > 0x7FFFFFFFu || Graphics_Other_ReserveScratchBuffer(0, static_cast<uint32_t>(bytes)) < 0) return -1;
        Vertex2D* copy = static_cast<Vertex2D*>(GraphicsSystemState.Scratch.Buffer[0]);
        const uint32_t red = (bright >> 16) & 0xFF, green = (bright >> 8) & 0xFF, blue = bright & 0xFF;
        const uint32_t param = DrawSettings.BlendMode == 0 ? 255u : static_cast<uint32_t>(DrawSettings.BlendParam);
        for (int i = 0; i < count; ++i) {
            copy[i] = vertices[i];
            copy[i].r = static_cast<uint8_t>(vertices[i].r * red / 255);
            copy[i].g = static_cast<uint8_t>(vertices[i].g * green / 255);
            copy[i].b = static_cast<uint8_t>(vertices[i].b * blue / 255);
            copy[i].a = static_cast<uint8_t>(vertices[i].a * param / 255);
        }
        drawn = copy;
    }
    const RECT covered = DrawSettings.DrawArea;
    const bool emulate = graph != nullptr;   // only graph draws are wrapped
    return RunDraw(covered, emulate, [&] {
        return Graphics_Dispatch_DrawPrimitive2DUser(drawn, count, primitiveType, graph, transparent, 0, 0, 0, 0);
    });
}

// ---- Primitives ----

int DrawCircleShape(int x, int y, int radius, unsigned int color, int fill, int thickness) {
    const int begin = Graphics_DrawSetting_DrawBegin(-1);
    if (begin <= 0) return begin;
    if (radius < 0) return 0;
    // A ring reaches out to its outer radius, half its thickness beyond the radius.
    const int64_t reach = static_cast<int64_t>(radius) + (thickness == 1 ? 0 : (thickness > 0 ? thickness / 2 : 0)) + 1;
    const RECT covered = ClampToDrawArea(x - reach, y - reach, x + reach, y + reach);
    if (!HardwarePrimitives())
        return RunSoft(covered, [&] {
            return thickness == 1 ? Graphics_Soft_DrawCircle(x, y, radius, color, fill, 0, 0)
                                  : Graphics_Soft_DrawCircleThick(x, y, radius, color, thickness);
        });
    return RunHardware(covered, [&] {
        return thickness == 1 ? Graphics_Dispatch_DrawCircle(x, y, radius, color, fill, 0, 0)
                              : Graphics_Dispatch_DrawCircleThick(x, y, radius, color, thickness);
    });
}

int Graphics_Draw_ThickLine(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    if (thickness <= 1) return DrawLineSegment(x1, y1, x2, y2, color, 1);
    const int half = thickness / 2;
    if (thickness % 2 == 1 && x1 == x2) return DrawFilledRectangle(x1 - half, y1, x1 + thickness - half, y2, color);
    if (thickness % 2 == 1 && y1 == y2) return DrawFilledRectangle(x1, y1 - half, x2, y1 + thickness - half, color);
    // A line of no length has no direction to widen along: nothing to draw.
    if (x1 == x2 && y1 == y2) return 0;
    if (!LibraryCore.Initialised || !GraphicsSystemState.Initialised) return -1;
    Graphics_WaitWhileInactive();
    const float dx = static_cast<float>(x2 - x1), dy = static_cast<float>(y2 - y1);
    const float k = 0.5f * static_cast<float>(thickness) / sqrtf(dx * dx + dy * dy);
    const float ox = dy * k, oy = -dx * k;
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    if (!HardwarePrimitives())
        return Graphics_Soft_DrawQuadF(fx1 + ox, fy1 + oy, fx2 + ox, fy2 + oy, fx2 - ox, fy2 - oy, fx1 - ox, fy1 - oy,
                                       color, 1);
    if (!GraphicsTransform.Projection2DSet) Graphics_Camera_Setup2DMatrix();
    return Graphics_Dispatch_DrawQuadF(fx1 + ox, fy1 + oy, fx2 + ox, fy2 + oy, fx2 - ox, fy2 - oy, fx1 - ox, fy1 - oy,
                                       color, 1);
}

int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    if (thickness > 1) return Graphics_Draw_ThickLine(x1, y1, x2, y2, color, thickness);
    const int begin = Graphics_DrawSetting_DrawBegin(-1);
    if (begin <= 0) return begin;
    const int t = thickness < 1 ? thickness : 1;
    const RECT covered = ClampToDrawArea(static_cast<int64_t>(x1 < x2 ? x1 : x2) - t, static_cast<int64_t>(y1 < y2 ? y1 : y2) - t,
                                         static_cast<int64_t>(x1 < x2 ? x2 : x1) + t + 1,
                                         static_cast<int64_t>(y1 < y2 ? y2 : y1) + t + 1);
    if (!HardwarePrimitives()) return RunSoft(covered, [&] { return Graphics_Soft_DrawLine(x1, y1, x2, y2, color); });
    return RunHardware(covered, [&] { return Graphics_Dispatch_DrawLineSegment(x1, y1, x2, y2, color); });
}

int DrawFilledRectangle(int x1, int y1, int x2, int y2, unsigned int color) {
    const int begin = Graphics_DrawSetting_DrawBegin(-1);
    if (begin <= 0) return begin;
    if (!HardwarePrimitives())
        return RunSoft(OrderedClamped(x1, y1, x2, y2), [&] { return Graphics_Soft_DrawFillRect(x1, y1, x2, y2, color); });
    return RunHardware(OrderedClamped(x1, y1, x2, y2),
                       [&] { return Graphics_Dispatch_DrawFillRect(x1, y1, x2, y2, color); });
}

int DrawRectangleOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    const int begin = Graphics_DrawSetting_DrawBegin(-1);
    if (begin <= 0) return begin;
    if (!HardwarePrimitives())
        return RunSoft(OrderedClamped(x1, y1, x2, y2),
                       [&] { return Graphics_Soft_DrawRectOutline(x1, y1, x2, y2, color, thickness); });
    // The device centres a thick frame on the rectangle's border: it reaches t / 2 (one less for an even
    // t) beyond the rectangle on every side, and the bracket covers all of it.
    int64_t grow = thickness > 1 ? thickness / 2 - (thickness % 2 == 0 ? 1 : 0) : 0;
    if (grow > 0x40000000) grow = 0x40000000;
    auto widen = [grow](int v, int direction) {
        const int64_t moved = (int64_t)v + direction * grow;
        return (int)(moved < INT32_MIN ? INT32_MIN : moved > INT32_MAX ? INT32_MAX : moved);
    };
    const int left = x1 < x2 ? x1 : x2, right = x1 < x2 ? x2 : x1, top = y1 < y2 ? y1 : y2, bottom = y1 < y2 ? y2 : y1;
    return RunHardware(OrderedClamped(widen(left, -1), widen(top, -1), widen(right, 1), widen(bottom, 1)),
                       [&] { return Graphics_Dispatch_DrawRectOutline(x1, y1, x2, y2, color, thickness); });
}

int DrawRectangle(int x1, int y1, int x2, int y2, unsigned int color, int fill, int thickness) {
    return fill ? DrawFilledRectangle(x1, y1, x2, y2, color) : DrawRectangleOutline(x1, y1, x2, y2, color, thickness);
}

}  // namespace Vantrel
