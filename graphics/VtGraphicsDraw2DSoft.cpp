// The draw calls without a hardware device: each routine draws into the memory image of the current
// draw target through the memory-image primitives, with the blend mode, brightness and draw area the
// draw settings handed to the memory-image module, and the alpha test and filter of the draw
// settings. Also the ring rows shared with the back-ends' thick circles.
// Stands on the graphics state records, the draw settings, the graph handles and memory-image drawing.
#include "graphics/VtGraphicsDraw.h"

#include <cstring>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImage.h"
#include "image/VtMemImgDraw.h"

namespace Vantrel {

namespace {

// The circle span buffer, grown to the draw area's bottom row and zeroed before each use.
CircleSpanTable SpanBuffer = {nullptr, 0};

MEMIMG* Target() {
    MEMIMG* target = GraphicsSystemState.MemImgDrawTarget;
    return target != nullptr && MemImg_IsValid(target) ? target : nullptr;
}

// A colour code of the screen format as 0x00RRGGBB.
uint32_t ColorOf(unsigned int code) {
    int red = 0, green = 0, blue = 0;
    SplitColorCode(code, &red, &green, &blue);
    return static_cast<uint32_t>(red & 0xFF) << 16 | static_cast<uint32_t>(green & 0xFF) << 8 |
           static_cast<uint32_t>(blue & 0xFF);
}

MemImgAlphaTest AlphaTest() { return {DrawSettings.AlphaTestMode, DrawSettings.AlphaTestParam}; }

int16_t Narrow(int64_t value) {
    return static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Records the points of one circle of the midpoint walk: outer circles widen their rows' outer
// ends, inner circles narrow their rows' inner ends.
void RecordCircle(CircleSpanTable* table, int64_t cx, int64_t cy, int64_t radius, bool outer, int64_t top,
                  int64_t bottom) {
    if (radius < 0) return;
    auto record = [&](int64_t row, int64_t half) {
        if (row < top || row >= bottom || row >= table->RowCount) return;
        int16_t* entry = table->Rows[row];
        const int16_t left = Narrow(cx - half), right = Narrow(cx + half);
        const int16_t leftBit = outer ? CIRCLESPAN_OUTER_LEFT : CIRCLESPAN_INNER_LEFT;
        const int16_t rightBit = outer ? CIRCLESPAN_OUTER_RIGHT : CIRCLESPAN_INNER_RIGHT;
        int16_t& leftValue = entry[outer ? 0 : 2];
        int16_t& rightValue = entry[outer ? 1 : 3];
        if (!(entry[4] & leftBit) || (outer ? left < leftValue : left > leftValue)) leftValue = left;
        if (!(entry[4] & rightBit) || (outer ? right > rightValue : right < rightValue)) rightValue = right;
        entry[4] = static_cast<int16_t>(entry[4] | leftBit | rightBit);
    };
    record(cy, radius);
    record(cy - radius, 0);
    record(cy + radius, 0);
    MemImgCircleWalk walk;
    MemImg_CircleWalk_Start(&walk, radius, cy, top, bottom < table->RowCount ? bottom : table->RowCount);
    while (MemImg_CircleWalk_Seek(&walk)) {
        record(cy + walk.X, walk.Y);
        record(cy - walk.X, walk.Y);
        record(cy + walk.Y, walk.X);
        record(cy - walk.Y, walk.X);
        MemImg_CircleWalk_Step(&walk);
    }
}

int GrowSpanBuffer(int rows) {
    if (rows <= SpanBuffer.RowCount) return 0;
    const uint64_t bytes = static_cast<uint64_t>(rows) * sizeof(SpanBuffer.Rows[0]);
    if (bytes > 0x7FFFFFFFu) return -1;
    void* grown = Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__);
    if (grown == nullptr) return -1;
    Memory_Free(SpanBuffer.Rows);
    SpanBuffer.Rows = static_cast<int16_t(*)[5]>(grown);
    SpanBuffer.RowCount = rows;
    return 0;
}

}  // namespace

int Graphics_Draw_SetCircleSpanPoint(int cx, int cy, int radius, int thickness, CircleSpanTable* table) {
    const int64_t top = DrawSettings.DrawArea.top, bottom = DrawSettings.DrawArea.bottom;
    const int64_t half = thickness / 2;
    const int64_t outer = static_cast<int64_t>(radius) + half;
    const int64_t inner = static_cast<int64_t>(radius) - half + (thickness % 2 == 0 ? 1 : 0);
    RecordCircle(table, cx, cy, outer, true, top, bottom);
    RecordCircle(table, cx, cy, inner, false, top, bottom);
    return 0;
}

int Graphics_Soft_DrawGraphAt(int x, int y, GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const MemImgAlphaTest test = AlphaTest();
    return MemImg_DrawImageAt(target, &graph->memImage, x, y, transparent, &test);
}

int Graphics_Soft_DrawGraphStretched(int x1, int y1, int x2, int y2, GraphHandleRecord* graph,
                                     GraphHandleRecord* blendGraph, int transparent) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const MemImgAlphaTest test = AlphaTest();
    return MemImg_DrawImageStretched(target, &graph->memImage, static_cast<float>(x1), static_cast<float>(y1),
                                     static_cast<float>(x2), static_cast<float>(y2), transparent, DrawSettings.DrawMode,
                                     &test);
}

int Graphics_Soft_DrawGraphQuadFEntry(const float* corners, GraphHandleRecord* graph, int transparent) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const MemImgAlphaTest test = AlphaTest();
    static const float Corners[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    return MemImg_DrawImageQuad(target, &graph->memImage, corners, Corners, transparent, DrawSettings.DrawMode, &test);
}

int Graphics_Soft_DrawGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                                 GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent) {
    const float corners[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    return Graphics_Soft_DrawGraphQuadFEntry(corners, graph, transparent);
}

int Graphics_Soft_DrawSimpleQuadGraphF(const SimpleQuadGraphRecord* quads, GraphHandleRecord* graph) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const MemImgAlphaTest test = AlphaTest();
    for (int i = 0; i < quads->QuadCount; ++i) {
        const float* corner = quads->Vertices + static_cast<size_t>(i) * 16;
        float xy[8], uv[8];
        for (int k = 0; k < 4; ++k) {
            xy[k * 2] = corner[k * 4], xy[k * 2 + 1] = corner[k * 4 + 1];
            uv[k * 2] = corner[k * 4 + 2], uv[k * 2 + 1] = corner[k * 4 + 3];
        }
        const int result = MemImg_DrawImageQuad(target, &graph->Orig->memImage, xy, uv, quads->Transparent,
                                                DrawSettings.DrawMode, &test);
        if (result < 0) return result;
    }
    return 0;
}

int Graphics_Soft_DrawCircle(int x, int y, int radius, unsigned int color, int fill, int narrowRight,
                             int shortBottom) {
    MEMIMG* target = Target();
    return target == nullptr ? 0 : MemImg_DrawCircle(target, x, y, radius, ColorOf(color), fill);
}

int Graphics_Soft_DrawCircleThick(int x, int y, int radius, unsigned int color, int thickness) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const int rows = DrawSettings.DrawArea.bottom;
    if (rows <= 0) return 0;
    if (GrowSpanBuffer(rows) < 0) return -1;
    memset(SpanBuffer.Rows, 0, static_cast<size_t>(rows) * sizeof(SpanBuffer.Rows[0]));
    Graphics_Draw_SetCircleSpanPoint(x, y, radius, thickness, &SpanBuffer);
    const uint32_t rgb = ColorOf(color);
    for (int row = DrawSettings.DrawArea.top; row < rows; ++row) {
        const int16_t* entry = SpanBuffer.Rows[row];
        const int flags = entry[4];
        if ((flags & (CIRCLESPAN_OUTER_LEFT | CIRCLESPAN_OUTER_RIGHT)) != (CIRCLESPAN_OUTER_LEFT | CIRCLESPAN_OUTER_RIGHT))
            continue;
        if ((flags & (CIRCLESPAN_INNER_LEFT | CIRCLESPAN_INNER_RIGHT)) && entry[2] < entry[3]) {
            MemImg_DrawSpan(target, row, entry[0], entry[2] + 1, rgb);
            MemImg_DrawSpan(target, row, entry[3], entry[1] + 1, rgb);
        } else {
            MemImg_DrawSpan(target, row, entry[0], entry[1] + 1, rgb);
        }
    }
    return 0;
}

int Graphics_Soft_DrawLine(int x1, int y1, int x2, int y2, unsigned int color) {
    MEMIMG* target = Target();
    return target == nullptr ? 0 : MemImg_DrawLine(target, x1, y1, x2, y2, ColorOf(color));
}

int Graphics_Soft_DrawFillRect(int x1, int y1, int x2, int y2, unsigned int color) {
    MEMIMG* target = Target();
    return target == nullptr ? 0 : MemImg_DrawBox(target, x1, y1, x2, y2, ColorOf(color));
}

int Graphics_Soft_DrawRectOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    MEMIMG* target = Target();
    return target == nullptr ? 0 : MemImg_DrawBoxOutline(target, x1, y1, x2, y2, ColorOf(color), thickness);
}

int Graphics_Soft_DrawQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                            unsigned int color, int fill) {
    MEMIMG* target = Target();
    if (target == nullptr) return 0;
    const float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    const uint32_t rgb = ColorOf(color);
    if (fill) return MemImg_DrawQuad(target, xy, rgb);
    for (int i = 0; i < 4; ++i) {
        const int next = (i + 1) % 4;
        const int result = MemImg_DrawLine(target, static_cast<int>(xy[i * 2]), static_cast<int>(xy[i * 2 + 1]),
                                           static_cast<int>(xy[next * 2]), static_cast<int>(xy[next * 2 + 1]), rgb);
        if (result < 0) return result;
    }
    return 0;
}

int Graphics_Soft_ReleaseBuffers() {
    Memory_Free(SpanBuffer.Rows);
    SpanBuffer = {nullptr, 0};
    return 0;
}

}  // namespace Vantrel
