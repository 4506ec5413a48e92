// Direct3D 11 shape drawing: boxes, outlines, lines and quadrangles as untextured vertices of the
// batch; circles and rings as points or spans through the generic vertex buffer; caller-supplied 2D
// vertices; the generic-draw buffers and their draws.
// Stands on the call layer, the vertex batch, the state cache, the draw preparation, the built-in
// shader objects and the core's draw settings and scratch buffers.
#include "graphics_d3d11/VtGraphicsD3D11Shape.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtMemImgDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

D3D11GenericDrawRecord D3D11GenericDraw;
uint32_t D3D11DrawColor = 0xFFFFFFFF;

namespace {

constexpr uint32_t ShapeBatchCapacity = 3276;        // type-0 vertices in the batch
constexpr int CircleVertexChunk = 2000;              // generic-draw vertices per circle draw

struct ShapeVertex {
    float X, Y, Z, Rhw;
    uint32_t Colour;
};
static_assert(sizeof(ShapeVertex) == 20, "standard vertex type 0");

bool ColorOrderBgra() { return GraphicsSystemState.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA] != 0; }

// A buffer grows to the size needed plus 16 KB, rounded up to 16 bytes; none above 2 GB.
bool GrownSize(uint32_t bytes, uint32_t* out) {
    const uint64_t size = ((uint64_t)bytes + 16384 + 15) & ~(uint64_t)15;
    if (size > 0x7FFFFFF0u) return false;
    *out = (uint32_t)size;
    return true;
}

bool MapCopy(ID3D11Buffer* buffer, const void* data, uint32_t bytes) {
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    if (D3D11Call_DeviceContext_Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) != S_OK) return false;
    memcpy(mapped.pData, data, bytes);
    D3D11Call_DeviceContext_UnmapASync(buffer, 0, 0);
    return true;
}

// Binds the generic vertex buffer and the vertex type's layout and shader; 0 / -1.
int BindGenericVertices(int vertexType, D3D11_PRIMITIVE_TOPOLOGY topology, const void* vertices, int count,
                        int setShader) {
    if (vertexType < 0 || vertexType >= D3D11StandardVertexTypeCount || count < 0) return -1;
    const uint32_t stride = D3D11StandardVertexStride[vertexType];
    const uint64_t bytes = (uint64_t)count * stride;
    if (bytes > 0x7FFFFFFFu) return -1;
    if (Graphics_D3D11_GenericDrawVertexBuffer_Reserve((uint32_t)bytes) < 0) return -1;
    ID3D11Buffer* buffer = D3D11GenericVertexBuffer.Buffer;
    if (!MapCopy(buffer, vertices, (uint32_t)bytes)) return -1;
    D3D11StateCacheRecord& cache = D3D11StateCache;
    if (cache.Topology != topology || cache.Force) Graphics_D3D11_StateCache_SetPrimitiveTopology(topology);
    ID3D11InputLayout* layout = D3D11StandardVertex.InputLayout[vertexType];
    if (layout != nullptr && (cache.InputLayout != layout || cache.Force)) Graphics_D3D11_StateCache_SetInputLayout(layout);
    if (setShader) {
        if (vertexType == 5) {
            if (Graphics_D3D11_Shader_Normal3DDraw_Setup() < 0) return -1;
        } else {
            ID3D11VertexShader* shader = D3D11StandardVertex.VertexShader[vertexType];
            if (shader != nullptr && shader != cache.VertexShader) Graphics_D3D11_StateCache_SetVertexShader(shader, 1);
            if (cache.GeometryShader != nullptr) Graphics_D3D11_StateCache_ClearGeometryShader();
        }
    }
    if (cache.VertexBuffer != buffer || cache.VertexStride != stride) Graphics_D3D11_StateCache_SetVertexBuffer(buffer, stride);
    return 0;
}

ShapeVertex Vertex(float x, float y, uint32_t colour) { return {x, y, DrawSettings.DrawZ2D, 1.0f, colour}; }

// Writes axis-aligned boxes (left, top, right, bottom each) as two triangles apiece into the batch.
int AddBoxes(const float (*boxes)[4], int count, uint32_t colour) {
    uint8_t* at = Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, (uint32_t)count * 6);
    if (at == nullptr) return -1;
    ShapeVertex* v = (ShapeVertex*)at;
    for (int i = 0; i < count; ++i) {
        const float* b = boxes[i];
        const ShapeVertex tl = Vertex(b[0], b[1], colour), tr = Vertex(b[2], b[1], colour);
        const ShapeVertex bl = Vertex(b[0], b[3], colour), br = Vertex(b[2], b[3], colour);
        *v++ = tl, *v++ = tr, *v++ = bl, *v++ = br, *v++ = bl, *v++ = tr;
    }
    Graphics_D3D11_VertexBatch_Commit((uint32_t)count * 6);
    return 0;
}

int AddLine(float x1, float y1, float x2, float y2, uint32_t colour) {
    uint8_t* at = Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY_LINELIST, 2);
    if (at == nullptr) return -1;
    ShapeVertex* v = (ShapeVertex*)at;
    v[0] = Vertex(x1, y1, colour);
    v[1] = Vertex(x2, y2, colour);
    Graphics_D3D11_VertexBatch_Commit(2);
    return 0;
}

// Vertices of a circle or ring collected in scratch buffer 0 and drawn 2000 at a time.
struct CircleWriter {
    ShapeVertex* Vertices;
    int Count;
    D3D11_PRIMITIVE_TOPOLOGY Topology;
    uint32_t Colour;
    int Result;

    void Add(float x, float y) {
        Vertices[Count++] = Vertex(x, y, Colour);
        if (Count >= CircleVertexChunk) Drain();
    }
    void Drain() {
        if (Count > 0 && Graphics_D3D11_GenericDraw_DrawVertices(0, Topology, Vertices, Count, 1) < 0) Result = -1;
        Count = 0;
    }
    // One scan line from left to right inclusive, clipped to the draw area.
    void Span(int64_t left, int64_t right, int64_t y, float offsetY) {
        const RECT& area = DrawSettings.DrawArea;
        if (left < area.left) left = area.left;
        if (right > area.right - 1) right = area.right - 1;
        if (left > right) return;
        // Line ends are whole vertices: keep them in pairs.
        if (Count + 2 > CircleVertexChunk) Drain();
        Add((float)left + 0.1f, (float)y + offsetY);
        Add((float)right + 1.1f, (float)y + offsetY);
    }
};

bool CircleScratch(CircleWriter* writer, D3D11_PRIMITIVE_TOPOLOGY topology, unsigned int color) {
    if (Graphics_Other_ReserveScratchBuffer(0, CircleVertexChunk * sizeof(ShapeVertex)) < 0) return false;
    writer->Vertices = (ShapeVertex*)GraphicsSystemState.Scratch.Buffer[0];
    writer->Count = 0;
    writer->Topology = topology;
    writer->Colour = Graphics_D3D11_ShapeColor(color);
    writer->Result = 0;
    return true;
}

}  // namespace

// ---- Shared steps ----

uint32_t Graphics_D3D11_ShapeColor(unsigned int color) {
    int red = 0, green = 0, blue = 0;
    SplitColorCode(color, &red, &green, &blue);
    const uint32_t d = D3D11DrawColor;
    const uint32_t first = ColorOrderBgra() ? (uint32_t)blue : (uint32_t)red;
    const uint32_t third = ColorOrderBgra() ? (uint32_t)red : (uint32_t)blue;
    const uint32_t c0 = (d & 0xFF) * first / 255, c1 = ((d >> 8) & 0xFF) * (uint32_t)green / 255;
    const uint32_t c2 = ((d >> 16) & 0xFF) * third / 255;
    return (d & 0xFF000000u) | c2 << 16 | c1 << 8 | c0;
}

void Graphics_D3D11_PrepareShapeDraw() {
    if (D3D11NormalDrawState.DrawTexture != nullptr) Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr);
    if (Graphics_D3D11_DrawStateNeedsPrepare(DRAWPREP_SHAPE_2D)) Graphics_D3D11_PrepareDrawState(DRAWPREP_SHAPE_2D);
}

uint8_t* Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY topology, uint32_t count) {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    if (batch.Is3D || batch.Topology != topology) {
        if (Graphics_D3D11_VertexBatch_Flush(0, 0) < 0) return nullptr;
        batch.Topology = topology;
    }
    return Graphics_D3D11_VertexBatch_Reserve(count);
}

// ---- Generic-draw buffers ----

int Graphics_D3D11_GenericDrawVertexBuffer_Reserve(uint32_t bytes) {
    D3D11GenericVertexBufferRecord& generic = D3D11GenericVertexBuffer;
    if (generic.Buffer != nullptr && generic.Size >= bytes) return 0;
    uint32_t size = 0;
    const bool sized = GrownSize(bytes, &size);
    if (generic.Buffer != nullptr) {
        if (D3D11StateCache.VertexBuffer == generic.Buffer) D3D11StateCache.VertexBuffer = nullptr;
        D3D11Call_Buffer_Release(generic.Buffer);
        generic.Buffer = nullptr;
        generic.Size = 0;
    }
    if (!sized || Graphics_D3D11_DynamicVertexBuffer_Create(size, &generic.Buffer) < 0) {
        Log_AddFormatShiftJIS("汎用描画用の頂点バッファの作成に失敗しました( サイズ %d byte )\n", (int)size);
        return -1;
    }
    generic.Size = size;
    return 0;
}

int Graphics_D3D11_GenericDrawIndexBuffer_Release(DXGI_FORMAT format) {
    const int which = format == DXGI_FORMAT_R32_UINT ? 1 : 0;
    ID3D11Buffer*& buffer = D3D11GenericDraw.IndexBuffer[which];
    if (buffer == nullptr) return 0;
    if (D3D11StateCache.IndexBuffer == buffer) Graphics_D3D11_StateCache_SetIndexBuffer(nullptr, DXGI_FORMAT_R16_UINT);
    D3D11Call_Buffer_Release(buffer);
    buffer = nullptr;
    D3D11GenericDraw.IndexBufferSize[which] = 0;
    return 0;
}

int Graphics_D3D11_GenericDrawIndexBuffer_Reserve(uint32_t bytes, DXGI_FORMAT format) {
    const int which = format == DXGI_FORMAT_R32_UINT ? 1 : 0;
    D3D11GenericDrawRecord& generic = D3D11GenericDraw;
    if (generic.IndexBuffer[which] != nullptr && generic.IndexBufferSize[which] >= bytes) return 0;
    Graphics_D3D11_GenericDrawIndexBuffer_Release(format);
    uint32_t size = 0;
    bool made = GrownSize(bytes, &size);
    if (made) {
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = size;
        desc.Usage = D3D11_USAGE_DYNAMIC;
        desc.BindFlags = D3D11_BIND_INDEX_BUFFER;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
        made = D3D11Call_Device_CreateBuffer(&desc, nullptr, &generic.IndexBuffer[which]) == S_OK;
    }
    if (!made) {
        generic.IndexBuffer[which] = nullptr;
        Log_AddFormatShiftJIS("汎用描画用のインデックスバッファの作成に失敗しました( サイズ %d byte )\n", (int)size);
        return -1;
    }
    generic.IndexBufferSize[which] = size;
    return 0;
}

int Graphics_D3D11_GenericDraw_ReleaseAll() {
    Graphics_D3D11_GenericDrawIndexBuffer_Release(DXGI_FORMAT_R16_UINT);
    Graphics_D3D11_GenericDrawIndexBuffer_Release(DXGI_FORMAT_R32_UINT);
    return 0;
}

int Graphics_D3D11_GenericDraw_DrawVertices(int vertexType, D3D11_PRIMITIVE_TOPOLOGY topology, const void* vertices,
                                            int count, int setShader) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (count <= 0) return 0;
    if (BindGenericVertices(vertexType, topology, vertices, count, setShader) < 0) return -1;
    Graphics_D3D11_StateCache_ApplyPending();
    D3D11Call_DeviceContext_Draw((UINT)count, 0);
    D3D11VertexBatch.DrawCalls++;
    return 0;
}

int Graphics_D3D11_GenericDraw_DrawIndexed(int vertexType, D3D11_PRIMITIVE_TOPOLOGY topology, const void* vertices,
                                           int vertexCount, const void* indices, int indexCount, DXGI_FORMAT format,
                                           int setShader) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (vertexCount <= 0 || indexCount <= 0) return 0;
    if (format != DXGI_FORMAT_R32_UINT) format = DXGI_FORMAT_R16_UINT;
    const uint64_t bytes = (uint64_t)indexCount * (format == DXGI_FORMAT_R32_UINT ? 4 : 2);
    if (bytes > 0x7FFFFFFFu) return -1;
    if (BindGenericVertices(vertexType, topology, vertices, vertexCount, setShader) < 0) return -1;
    if (Graphics_D3D11_GenericDrawIndexBuffer_Reserve((uint32_t)bytes, format) < 0) return -1;
    ID3D11Buffer* buffer = D3D11GenericDraw.IndexBuffer[format == DXGI_FORMAT_R32_UINT ? 1 : 0];
    if (!MapCopy(buffer, indices, (uint32_t)bytes)) return -1;
    if (D3D11StateCache.IndexBuffer != buffer || D3D11StateCache.IndexFormat != format)
        Graphics_D3D11_StateCache_SetIndexBuffer(buffer, format);
    Graphics_D3D11_StateCache_ApplyPending();
    D3D11Call_DeviceContext_DrawIndexed((UINT)indexCount, 0, 0);
    D3D11VertexBatch.DrawCalls++;
    return 0;
}

int Graphics_D3D11_GenericDraw_DrawGrid(const void* vertices, int columns, int rows) {
    if (columns < 2 || rows < 2 || columns > 1000 || rows > 1000) return -1;
    const uint64_t vertexCount = (uint64_t)columns * rows;
    if (vertexCount > 0xFFFF) return -1;
    // Each strip piece holds whole row pairs and stays within 1000 indices, unless one row pair alone
    // needs more (up to 2 x 1000): that pair is a piece of its own.
    uint16_t indices[2 * 1000 + 2];
    int count = 0, result = 0;
    for (int row = 0; row + 1 < rows; ++row) {
        const int needed = columns * 2 + (count > 0 ? 2 : 0);
        if (count > 0 && count + needed > 1000) {
            if (Graphics_D3D11_GenericDraw_DrawIndexed(1, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP, vertices,
                                                       (int)vertexCount, indices, count, DXGI_FORMAT_R16_UINT, 1) < 0)
                result = -1;
            count = 0;
        }
        const uint16_t first = (uint16_t)((row + 1) * columns);
        if (count > 0) {
            indices[count] = indices[count - 1];
            ++count;
            indices[count++] = first;
        }
        for (int column = 0; column < columns; ++column) {
            indices[count++] = (uint16_t)((row + 1) * columns + column);
            indices[count++] = (uint16_t)(row * columns + column);
        }
    }
    if (count > 0 &&
        Graphics_D3D11_GenericDraw_DrawIndexed(1, D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP, vertices, (int)vertexCount,
                                               indices, count, DXGI_FORMAT_R16_UINT, 1) < 0)
        result = -1;
    return result;
}

// ---- Shapes ----

int Graphics_D3D11_DrawFillRect(int x1, int y1, int x2, int y2, unsigned int color) {
    if (!D3D11Call_Device_Exists()) return -1;
    int32_t rect[4] = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    const RECT& area = DrawSettings.DrawArea;
    for (int i = 0; i < 4; ++i) {
        const int32_t low = i % 2 == 0 ? area.left : area.top, high = i % 2 == 0 ? area.right : area.bottom;
        rect[i] = rect[i] < low ? low : rect[i] > high ? high : rect[i];
    }
    if (rect[0] >= rect[2] || rect[1] >= rect[3]) return 0;
    Graphics_D3D11_PrepareShapeDraw();
    const float box[1][4] = {{(float)rect[0], (float)rect[1], (float)rect[2], (float)rect[3]}};
    return AddBoxes(box, 1, Graphics_D3D11_ShapeColor(color));
}

int Graphics_D3D11_DrawRectOutline(int x1, int y1, int x2, int y2, unsigned int color, int thickness) {
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_PrepareShapeDraw();
    const float X0 = (float)(x1 < x2 ? x1 : x2), X1 = (float)(x1 < x2 ? x2 : x1);
    const float Y0 = (float)(y1 < y2 ? y1 : y2), Y1 = (float)(y1 < y2 ? y2 : y1);
    float bands[4][4];
    if (thickness <= 1) {
        const float b[4][4] = {{X0, Y0, X1, Y0 + 1},
                               {X1 - 1, Y0 + 1, X1, Y1},
                               {X0, Y0 + 1, X0 + 1, Y1},
                               {X0 + 1, Y1 - 1, X1 - 1, Y1}};
        memcpy(bands, b, sizeof(bands));
    } else {
        const float B = (float)(thickness / 2 - (thickness % 2 == 0 ? 1 : 0)), E = (float)(thickness / 2 + 1);
        const float b[4][4] = {{X0 - B, Y0 - B, X1 + B, Y0 + E},
                               {X1 - E, Y0 + E, X1 + B, Y1 + B},
                               {X0 - B, Y0 + E, X0 + E, Y1 + B},
                               {X0 + E, Y1 - E, X1 - E, Y1 + B}};
        memcpy(bands, b, sizeof(bands));
    }
    return AddBoxes(bands, 4, Graphics_D3D11_ShapeColor(color));
}

int Graphics_D3D11_DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (x1 == x2 && y1 == y2) return 0;
    Graphics_D3D11_PrepareShapeDraw();
    float fx1 = (float)x1 + 0.5f, fy1 = (float)y1 + 0.5f, fx2 = (float)x2 + 0.5f, fy2 = (float)y2 + 0.5f;
    if (x1 == x2) {
        const float shift = y1 < y2 ? -0.1f : 0.1f;
        fy1 += shift, fy2 += shift;
    } else if (y1 == y2) {
        const float shift = x1 < x2 ? -0.1f : 0.1f;
        fx1 += shift, fx2 += shift;
    }
    return AddLine(fx1, fy1, fx2, fy2, Graphics_D3D11_ShapeColor(color));
}

int Graphics_D3D11_DrawQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                             unsigned int color, int fill) {
    if (!D3D11Call_Device_Exists()) return -1;
    const float xy[8] = {x1, y1, x2, y2, x3, y3, x4, y4};
    for (float v : xy)
        if (!(v == v) || v > 1e30f || v < -1e30f) return -1;   // no NaN or endless vertices reach the device
    Graphics_D3D11_PrepareShapeDraw();
    const uint32_t colour = Graphics_D3D11_ShapeColor(color);
    if (fill) {
        uint8_t* at = Graphics_D3D11_VertexBatch_Room2D(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST, 6);
        if (at == nullptr) return -1;
        ShapeVertex* v = (ShapeVertex*)at;
        v[0] = Vertex(x1, y1, colour), v[1] = Vertex(x2, y2, colour), v[2] = Vertex(x4, y4, colour);
        v[3] = Vertex(x3, y3, colour), v[4] = Vertex(x4, y4, colour), v[5] = Vertex(x2, y2, colour);
        Graphics_D3D11_VertexBatch_Commit(6);
        return 0;
    }
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        if (AddLine(xy[i * 2], xy[i * 2 + 1], xy[j * 2], xy[j * 2 + 1], colour) < 0) return -1;
    }
    return 0;
}

int Graphics_D3D11_DrawCircle(int x, int y, int r, unsigned int color, int fill, int narrowRight, int shortBottom) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (r < 0) return 0;
    Graphics_D3D11_PrepareShapeDraw();
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    CircleWriter writer;
    if (!CircleScratch(&writer, fill ? D3D11_PRIMITIVE_TOPOLOGY_LINELIST : D3D11_PRIMITIVE_TOPOLOGY_POINTLIST, color))
        return -1;
    const RECT& area = DrawSettings.DrawArea;
    const int64_t n = narrowRight ? 1 : 0, m = shortBottom ? 1 : 0;
    const int64_t cx = x, cy = y, radius = r;
    // The walk over the draw area's rows, one more on each side for the shortened bottom half.
    MemImgCircleWalk walk;
    MemImg_CircleWalk_Start(&walk, radius, cy, (int64_t)area.top - 1, (int64_t)area.bottom + 1);

    if (!fill) {
        auto point = [&](int64_t at, int64_t row) {
            if (at >= area.left && at < area.right && row >= area.top && row < area.bottom)
                writer.Add((float)at + 0.1f, (float)row + 0.1f);
        };
        if (!shortBottom) point(cx - radius, cy), point(cx + radius - n, cy);
        if (!narrowRight) point(cx, cy - radius), point(cx, cy + radius - m);
        MemImg_CircleWalk_Step(&walk);
        while (MemImg_CircleWalk_Seek(&walk)) {
            const int64_t px = walk.X, py = walk.Y;
            point(cx - px, cy - py), point(cx + px - n, cy - py), point(cx - px, cy + py - m), point(cx + px - n, cy + py - m);
            point(cx - py, cy - px), point(cx + py - n, cy - px), point(cx - py, cy + px - m), point(cx + py - n, cy + px - m);
            MemImg_CircleWalk_Step(&walk);
        }
        writer.Drain();
        return writer.Result;
    }

    // Filled: one byte per scan line of the draw area marks the lines already drawn.
    const int lines = area.bottom - area.top;
    if (lines <= 0) return 0;
    if (Graphics_Other_ReserveScratchBuffer(1, (uint32_t)lines) < 0) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました in G_D3D_DrawCircle");
        return -1;
    }
    uint8_t* marked = (uint8_t*)GraphicsSystemState.Scratch.Buffer[1];
    memset(marked, 0, (size_t)lines);
    auto span = [&](int64_t left, int64_t right, int64_t row) {
        if (row < area.top || row >= area.bottom || marked[row - area.top]) return;
        marked[row - area.top] = 1;
        writer.Span(left, right, row, 0.2f);
    };
    if (!shortBottom) span(cx - radius, cx + radius - n, cy);
    // A scan line at distance py gets its widest span on the last step before py shrinks.
    if (walk.D >= 0) span(cx, cx - n, cy - walk.Y), span(cx, cx - n, cy + walk.Y - m);
    MemImg_CircleWalk_Step(&walk);
    int64_t lastX = 0, lastY = radius;
    while (MemImg_CircleWalk_Seek(&walk)) {
        const int64_t px = walk.X, py = walk.Y;
        span(cx - py, cx + py - n, cy - px), span(cx - py, cx + py - n, cy + px - m);
        lastX = px, lastY = py;
        if (walk.D >= 0) span(cx - px, cx + px - n, cy - py), span(cx - px, cx + px - n, cy + py - m);
        MemImg_CircleWalk_Step(&walk);
    }
    // The walk's last step (it ended with x beyond y; one that ended before reaches no line).
    if (walk.X > walk.Y) span(cx - lastX, cx + lastX - n, cy - lastY), span(cx - lastX, cx + lastX - n, cy + lastY - m);
    writer.Drain();
    return writer.Result;
}

int Graphics_D3D11_DrawCircleThick(int x, int y, int r, unsigned int color, int thickness) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (thickness <= 1) return -1;
    const RECT& area = DrawSettings.DrawArea;
    if (area.bottom <= area.top) return 0;
    Graphics_D3D11_PrepareShapeDraw();
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    CircleWriter writer;
    if (!CircleScratch(&writer, D3D11_PRIMITIVE_TOPOLOGY_LINELIST, color)) return -1;
    const uint64_t bytes = (uint64_t)area.bottom * sizeof(int16_t[5]);
    if (bytes > 0x7FFFFFFFu || Graphics_Other_ReserveScratchBuffer(1, (uint32_t)bytes) < 0) return -1;
    CircleSpanTable table = {(int16_t(*)[5])GraphicsSystemState.Scratch.Buffer[1], area.bottom};
    memset(table.Rows, 0, (size_t)bytes);
    Graphics_Draw_SetCircleSpanPoint(x, y, r, thickness, &table);
    for (int row = area.top; row < area.bottom; ++row) {
        const int16_t* e = table.Rows[row];
        const int flags = e[4];
        // A line the ring does not reach holds no span.
        if ((flags & (CIRCLESPAN_OUTER_LEFT | CIRCLESPAN_OUTER_RIGHT)) != (CIRCLESPAN_OUTER_LEFT | CIRCLESPAN_OUTER_RIGHT))
            continue;
        if ((flags & (CIRCLESPAN_INNER_LEFT | CIRCLESPAN_INNER_RIGHT)) && e[2] < e[3]) {
            writer.Span(e[0], e[2], row, 0.1f);
            writer.Span(e[3], e[1], row, 0.1f);
        } else {
            writer.Span(e[0], e[1], row, 0.1f);
        }
    }
    writer.Drain();
    return writer.Result;
}

int Graphics_D3D11_DrawPrimitive2DUser(const void* vertices, int count, int primitiveType, GraphHandleRecord* graph,
                                       int transparent, int depthFlag, int reserved1, int reserved2,
                                       int divisionIndex) {
    if (!D3D11Call_Device_Exists()) return -1;
    if (count < 0 || (count > 0 && vertices == nullptr)) return -1;
    if (primitiveType < PRIMITIVE_POINTLIST || primitiveType > PRIMITIVE_TRIANGLESTRIP) {
        Log_AddFormatShiftJIS("Direct3D 11 では描画できないプリミティブタイプです( %d )\n", primitiveType);
        return -1;
    }
    if (count == 0) return 0;
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    uint32_t flags = (transparent ? DRAWPREP_TRANS : 0) | DRAWPREP_CULLING | DRAWPREP_ADDRESS_MODES;
    if (depthFlag) flags |= DRAWPREP_FOG | DRAWPREP_DEPTH_3D;
    if (graph != nullptr) {
        if (divisionIndex < 0 || divisionIndex >= graph->drawPartCount || graph->Orig == nullptr) return -1;
        const GraphTexturePart* part = graph->drawParts[divisionIndex].part;
        if (part == nullptr || part->platformArea == nullptr) return -1;
        flags |= DRAWPREP_TEXTURED;
        if (graph->Orig->format.alpha) flags |= DRAWPREP_ALPHA_CHANNEL;
        if (graph->Orig->format.alphaTest) flags |= DRAWPREP_CUT_OUT;
        Graphics_D3D11_StateCache_SetDrawTexture((ID3D11Texture2D*)part->platformArea[1],
                                                 (ID3D11ShaderResourceView*)part->platformArea[2]);
    } else {
        Graphics_D3D11_StateCache_SetDrawTexture(nullptr, nullptr);
    }
    if (Graphics_D3D11_DrawStateNeedsPrepare(flags)) Graphics_D3D11_PrepareDrawState(flags);
    // The caller's colours are blue, green, red, alpha; a device reading red first gets them swapped
    // for the draw and the caller's array back as it was.
    const bool swap = !ColorOrderBgra();
    uint8_t* bytes = (uint8_t*)const_cast<void*>(vertices);
    auto swapColours = [&]() {
        for (int i = 0; i < count; ++i) {
            uint8_t* colour = bytes + (size_t)i * 28 + 16;
            const uint8_t keep = colour[0];
            colour[0] = colour[2];
            colour[2] = keep;
        }
    };
    if (swap) swapColours();
    const int result = Graphics_D3D11_GenericDraw_DrawVertices(1, (D3D11_PRIMITIVE_TOPOLOGY)primitiveType, vertices,
                                                               count, 1);
    if (swap) swapColours();
    return result;
}

}  // namespace Vantrel
