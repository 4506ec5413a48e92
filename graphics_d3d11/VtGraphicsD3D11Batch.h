// Direct3D 11 vertex batch: one 64 KB dynamic vertex buffer kept mapped for writing, into which the
// draw bodies write vertices in place; a flush binds what differs from the state cache, applies the
// pending state and draws everything written since the last flush with one Draw call.
// Stands on the call layer, the state cache, the main-thread request service and the system's end flag.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct MainThreadRequest;

constexpr uint32_t D3D11VertexBatchBytes = 65536;
constexpr int D3D11StandardVertexTypeCount = 8;
extern const uint32_t D3D11StandardVertexStride[D3D11StandardVertexTypeCount];

struct D3D11VertexBatchRecord {
    ID3D11Buffer* Buffer;
    uint8_t* Mapped;                 // null while unmapped
    uint8_t* Write;                  // where the next vertex goes; the mapped pointer after each flush
    uint32_t Pending;                // vertices written since the last flush
    int32_t Is3D;
    int32_t Kind;                    // 0 untextured, 1 textured, 2 textured with a blend graph
    D3D11_PRIMITIVE_TOPOLOGY Topology;
    int32_t SkipDraw;                // the current blend mode draws nothing
    uint32_t DrawCalls;              // device Draw calls since start-up (flushes, generic draws, blits)
};
extern D3D11VertexBatchRecord D3D11VertexBatch;

// The input layout and standard vertex shader of each standard vertex type, filled by the built-in
// shader set-up; a flush binds them when set.
struct D3D11StandardVertexObjects {
    ID3D11InputLayout* InputLayout[D3D11StandardVertexTypeCount];
    ID3D11VertexShader* VertexShader[D3D11StandardVertexTypeCount];
    // Set-up of the lit 3D vertex type (5); -1 fails the flush. Null: nothing to set up.
    int (*Normal3DDrawSetup)();
};
extern D3D11StandardVertexObjects D3D11StandardVertex;

// A dynamic, CPU-writable vertex buffer of `bytes`; 0 / -1 (null stored).
int Graphics_D3D11_DynamicVertexBuffer_Create(uint32_t bytes, ID3D11Buffer** buffer);
int Graphics_D3D11_VertexBatch_Create();
int Graphics_D3D11_VertexBatch_Release();
int Graphics_D3D11_VertexBatch_Flush(int is3D, int otherThread);
int Graphics_D3D11_RenderVertex_MainThreadProc(MainThreadRequest* request);
// Kind 1, 2D, nothing pending, skip-draw off; then mapped (the state defaults run it).
int Graphics_D3D11_VertexBatch_Reset();
// The batch's standard vertex type: [0, 1, 2, 3, 4, 0][3D flag x 3 + kind].
int Graphics_D3D11_VertexBatch_GetType();
// Room for n more vertices of the batch's type: flushes when the batch would fill up, and returns the write
// pointer (null when the buffer cannot be mapped or n exceeds a whole batch). The caller writes the vertices
// there and then commits them, which advances the write pointer and the pending count.
uint8_t* Graphics_D3D11_VertexBatch_Reserve(uint32_t count);
void Graphics_D3D11_VertexBatch_Commit(uint32_t count);

}  // namespace Vantrel
