// Direct3D 9 vertex batch: the five system-memory buffers, their preparation, the room check the draw
// operations make before they write, the flush (posted to the main thread from loader threads), and the
// vertex-format table with the vertex-input setter.
// Stands on the call layer, the state cache, the main-thread request service and the system's end flag.
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"

#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "system/VtSystem.h"

namespace Vantrel {

const uint32_t D3D9VertexBatchStride[6] = {20, 28, 40, 16, 24, 0};
const uint32_t D3D9VertexBatchCapacity[6] = {3225, 2340, 1638, 4096, 2730, 0};
const int32_t D3D9VertexBatchFormatCode[6] = {1, 2, 3, 5, 6, 0};

const D3D9VertexFormat D3D9VertexFormatTable[D3D9VertexFormatCount] = {
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0},                       // 0: 28 bytes
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 0},                                     // 1: 20
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 0},                       // 2: 28
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 0},     // 3: 40
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 0},     // 4: 40
    {D3DFVF_XYZ | D3DFVF_DIFFUSE, 1},                                        // 5: 16
    {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 1},                          // 6: 24
    {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 1},   // 7: 48
    {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 1},   // 8: 48
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX8, 0},                       // 9: 84
};

namespace {

// The buffers of the five layouts; 3 and 4 (the untransformed ones) share one block.
alignas(16) uint8_t Buffer0[64512];
alignas(16) uint8_t Buffer1[65536];
alignas(16) uint8_t Buffer2[65536];
alignas(16) uint8_t Buffer34[65536];

static_assert(sizeof(Buffer0) >= 3225 * 20 && sizeof(Buffer1) >= 2340 * 28 && sizeof(Buffer2) >= 1638 * 40 &&
                  sizeof(Buffer34) >= 4096 * 16 && sizeof(Buffer34) >= 2730 * 24,
              "each buffer holds its capacity");

int BufferIndex(int layout, int space) {
    if (layout < 0 || layout > 2 || space < 0 || space > 1) return 5;
    return layout + 3 * space;
}

int CurrentIndex() { return BufferIndex(D3D9VertexBatch.Layout, D3D9VertexBatch.Space); }

UINT PrimitiveCount(D3DPRIMITIVETYPE type, uint32_t vertices) {
    switch (type) {
        case D3DPT_POINTLIST: return vertices;
        case D3DPT_LINELIST: return vertices / 2;
        case D3DPT_LINESTRIP: return vertices > 0 ? vertices - 1 : 0;
        case D3DPT_TRIANGLELIST: return vertices / 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return vertices > 1 ? vertices - 2 : 0;
        default: return 0;
    }
}

}  // namespace

D3D9VertexBatchRecord D3D9VertexBatch = {
    {Buffer0, Buffer1, Buffer2, Buffer34, Buffer34, nullptr}, 1, 0, 0, Buffer1, D3DPT_TRIANGLELIST, 0, 0xFFFFFFFF, 0};

int Graphics_D3D9_SetVertexTypeInput(int type) {
    if (type < 0 || type >= D3D9VertexFormatCount) return -1;
    return Graphics_D3D9_StateCache_SetFVF(D3D9VertexFormatTable[type].FVF);
}

int Graphics_D3D9_VertexBatch_FlushMainThreadProc(MainThreadRequest* request) { return Graphics_D3D9_VertexBatch_Flush(0); }

int Graphics_D3D9_VertexBatch_Flush(int post) {
    if (post) {
        MainThreadRequest request = {};
        request.Procedure = Graphics_D3D9_VertexBatch_FlushMainThreadProc;
        return ASyncLoad_MainThreadRequest_Post(&request);
    }
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9VertexBatchRecord& batch = D3D9VertexBatch;
    const int index = CurrentIndex();
    if (batch.Count > 0 && index < 5 && !System_IsEndRequested()) {
        if (D3D9DeviceStateCache.Scene != 1) D3D9Call_Device_BeginSceneOnce();
        const UINT primitives = PrimitiveCount(batch.PrimitiveType, batch.Count);
        if (!batch.SkipDraw && primitives > 0) {
            // The vertices go out with the state they were written for: nothing below flushes again.
            batch.Count = 0;
            Graphics_D3D9_SetVertexTypeInput(D3D9VertexBatchFormatCode[index]);
            D3D9Call_Device_DrawPrimitiveUP(batch.PrimitiveType, primitives, batch.Buffers[index],
                                            D3D9VertexBatchStride[index]);
            batch.DrawCalls++;
        }
    }
    Graphics_D3D9_VertexBatch_Reset();
    return 0;
}

void Graphics_D3D9_VertexBatch_Reset() {
    D3D9VertexBatch.Count = 0;
    D3D9VertexBatch.Write = D3D9VertexBatch.Buffers[CurrentIndex()];
}

void Graphics_D3D9_VertexBatch_SetLayout(int layout) {
    D3D9VertexBatch.Layout = layout;
    Graphics_D3D9_VertexBatch_Reset();
}

int Graphics_D3D9_VertexBatch_Prepare() {
    D3D9VertexBatchRecord& batch = D3D9VertexBatch;
    const float z = 0.0f, rhw = 1.0f;
    const uint32_t white = 0xFFFFFFFF;
    for (int index = 0; index < 3; ++index) {
        const uint32_t stride = D3D9VertexBatchStride[index];
        for (uint32_t i = 0; i < D3D9VertexBatchCapacity[index]; ++i) {
            uint8_t* vertex = batch.Buffers[index] + (uint64_t)i * stride;
            memcpy(vertex + 8, &z, 4);
            memcpy(vertex + 12, &rhw, 4);
            if (index == 2) memcpy(vertex + 20, &white, 4);
        }
    }
    batch.Diffuse = 0xFFFFFFFF;
    batch.SkipDraw = 0;
    batch.Layout = 1;
    batch.Space = 0;
    batch.PrimitiveType = D3DPT_TRIANGLELIST;
    // The batch starts empty: nothing is drawn that no draw operation wrote.
    Graphics_D3D9_VertexBatch_Reset();
    return 0;
}

uint8_t* Graphics_D3D9_VertexBatch_Reserve(int layout, int space, D3DPRIMITIVETYPE type, uint32_t count) {
    if (!D3D9Call_Device_Exists()) return nullptr;
    const int index = BufferIndex(layout, space);
    if (index == 5 || count > D3D9VertexBatchCapacity[index]) return nullptr;
    D3D9VertexBatchRecord& batch = D3D9VertexBatch;
    if (batch.Count > 0 && (layout != batch.Layout || space != batch.Space || type != batch.PrimitiveType ||
                            (uint64_t)batch.Count + count >= D3D9VertexBatchCapacity[index]))
        Graphics_D3D9_VertexBatch_Flush(0);
    if (batch.Count == 0) {
        batch.Layout = layout;
        batch.Space = space;
        batch.PrimitiveType = type;
        batch.Write = batch.Buffers[index];
    }
    return batch.Write;
}

void Graphics_D3D9_VertexBatch_Commit(uint32_t count) {
    D3D9VertexBatchRecord& batch = D3D9VertexBatch;
    batch.Write += (uint64_t)count * D3D9VertexBatchStride[CurrentIndex()];
    batch.Count += count;
}

}  // namespace Vantrel
