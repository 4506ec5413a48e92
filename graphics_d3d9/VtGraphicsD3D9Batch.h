// Direct3D 9 vertex batch: 2D and simple 3D vertices collect in five buffers in system memory (one per
// vertex layout and space) and go to the device in one DrawPrimitiveUP when a state change, a change of
// layout or primitive type, a full buffer or an explicit flush forces them out. Also the vertex-format
// table through which the batch (and the draw bodies) give the device their vertex input.
// Stands on the call layer, the state cache, the main-thread request service and the system's end flag.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct MainThreadRequest;

// Buffer index = layout + 3 x space: layout 0 colour only, 1 colour and one texture coordinate pair,
// 2 colour, second colour and two pairs; space 0 pre-transformed screen positions, 1 untransformed.
constexpr int D3D9VertexBatchBufferCount = 5;
extern const uint32_t D3D9VertexBatchStride[6];      // 20, 28, 40, 16, 24 (index 5 unused: 0)
extern const uint32_t D3D9VertexBatchCapacity[6];    // 3225, 2340, 1638, 4096, 2730, 0
extern const int32_t D3D9VertexBatchFormatCode[6];   // into D3D9VertexFormatTable: 1, 2, 3, 5, 6, 0

struct D3D9VertexBatchRecord {
    uint8_t* Buffers[6];             // start of each buffer (3 and 4 share one block; 5 none)
    int32_t Layout;                  // 0-2
    int32_t Space;                   // 0-1
    uint32_t Count;                  // vertices written since the last flush
    uint8_t* Write;                  // where the next vertex goes
    D3DPRIMITIVETYPE PrimitiveType;
    int32_t SkipDraw;                // the blend set-up leaves the target as it is: flushes discard
    D3DCOLOR Diffuse;                // combined with the caller's colour by the draw operations
    uint32_t DrawCalls;              // DrawPrimitiveUP calls made by flushes since start-up
};
extern D3D9VertexBatchRecord D3D9VertexBatch;

// A vertex format code of the batch and the draw bodies: its FVF, and whether it is drawn only by the
// fixed-function pipeline (no built-in vertex shader reads it).
struct D3D9VertexFormat {
    DWORD FVF;
    int32_t FixedFunctionOnly;
};
constexpr int D3D9VertexFormatCount = 10;
extern const D3D9VertexFormat D3D9VertexFormatTable[D3D9VertexFormatCount];

// The device's vertex input for a vertex format code; -1 for a code outside the table.
int Graphics_D3D9_SetVertexTypeInput(int type);

int Graphics_D3D9_VertexBatch_Flush(int post);
int Graphics_D3D9_VertexBatch_FlushMainThreadProc(MainThreadRequest* request);
// The buffers prepared (z 0, rhw 1 and the second colour white written once), layout 1, space 0, an empty
// batch, the diffuse colour white and the skip flag off.
int Graphics_D3D9_VertexBatch_Prepare();
// An empty batch: count 0, the write position at the start of the current buffer.
void Graphics_D3D9_VertexBatch_Reset();
// Chooses the layout of the next vertices; the write position moves to the start of its buffer.
void Graphics_D3D9_VertexBatch_SetLayout(int layout);
// Room for `count` vertices of (layout, space, primitive type): flushes first when the batch holds other
// vertices or would reach its capacity, and returns the write position (null without a device, for an
// index without a buffer, or for more vertices than a whole buffer holds). The caller writes the vertices
// there and then commits them.
uint8_t* Graphics_D3D9_VertexBatch_Reserve(int layout, int space, D3DPRIMITIVETYPE type, uint32_t count);
void Graphics_D3D9_VertexBatch_Commit(uint32_t count);

}  // namespace Vantrel
