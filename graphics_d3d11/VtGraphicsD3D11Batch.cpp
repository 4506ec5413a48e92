// Direct3D 11 vertex batch: creation of the dynamic buffer, the flush (posted to the main thread
// from loader threads), and the room check the draw bodies make before they write.
// Stands on the call layer, the state cache, the main-thread request service and the system's end flag.
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "system/VtSystem.h"

namespace Vantrel {

D3D11VertexBatchRecord D3D11VertexBatch;
D3D11StandardVertexObjects D3D11StandardVertex;
const uint32_t D3D11StandardVertexStride[D3D11StandardVertexTypeCount] = {20, 28, 40, 16, 24, 48, 88, 40};

namespace {

void MapBuffer() {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    if (batch.Buffer != nullptr && batch.Mapped == nullptr) {
        D3D11_MAPPED_SUBRESOURCE mapped = {};
        if (D3D11Call_DeviceContext_Map(batch.Buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped) == S_OK)
            batch.Mapped = (uint8_t*)mapped.pData;
    }
    batch.Write = batch.Mapped;
}

}  // namespace

int Graphics_D3D11_DynamicVertexBuffer_Create(uint32_t bytes, ID3D11Buffer** buffer) {
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = bytes;
    desc.Usage = D3D11_USAGE_DYNAMIC;
    desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    if (D3D11Call_Device_CreateBuffer(&desc, nullptr, buffer) == S_OK) return 0;
    *buffer = nullptr;
    return -1;
}

int Graphics_D3D11_VertexBatch_Create() {
    Log_AddTextShiftJIS("標準描画用の頂点バッファの作成.... ");
    if (Graphics_D3D11_DynamicVertexBuffer_Create(D3D11VertexBatchBytes, &D3D11VertexBatch.Buffer) < 0) {
        Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D11_VertexBatch_Release() {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    if (batch.Buffer != nullptr) {
        if (batch.Mapped != nullptr) D3D11Call_DeviceContext_UnmapASync(batch.Buffer, 0, 0);
        if (D3D11StateCache.VertexBuffer == batch.Buffer) D3D11StateCache.VertexBuffer = nullptr;
        D3D11Call_Buffer_Release(batch.Buffer);
    }
    batch.Buffer = nullptr;
    batch.Mapped = nullptr;
    batch.Write = nullptr;
    batch.Pending = 0;
    return 0;
}

int Graphics_D3D11_VertexBatch_GetType() {
    static const int types[6] = {0, 1, 2, 3, 4, 0};
    const int index = (D3D11VertexBatch.Is3D ? 3 : 0) + D3D11VertexBatch.Kind;
    return index >= 0 && index < 6 ? types[index] : 0;
}

int Graphics_D3D11_RenderVertex_MainThreadProc(MainThreadRequest* request) {
    return Graphics_D3D11_VertexBatch_Flush((int)request->Params[0], 0);
}

int Graphics_D3D11_VertexBatch_Flush(int is3D, int otherThread) {
    if (otherThread) {
        MainThreadRequest request = {};
        request.Procedure = Graphics_D3D11_RenderVertex_MainThreadProc;
        request.Params[0] = is3D;
        return ASyncLoad_MainThreadRequest_Post(&request);
    }
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    D3D11StateCacheRecord& cache = D3D11StateCache;
    if (batch.Pending > 0 && !System_IsEndRequested() && !batch.SkipDraw) {
        const int type = Graphics_D3D11_VertexBatch_GetType();
        if (batch.Mapped != nullptr) {
            D3D11Call_DeviceContext_UnmapASync(batch.Buffer, 0, 0);
            batch.Mapped = nullptr;
        }
        // The pending vertices go out with the state they were written for: the setters below see
        // nothing pending and so do not flush again.
        const uint32_t pending = batch.Pending;
        batch.Pending = 0;
        if (batch.Topology != cache.Topology) Graphics_D3D11_StateCache_SetPrimitiveTopology(batch.Topology);
        ID3D11InputLayout* layout = D3D11StandardVertex.InputLayout[type];
        if (layout != nullptr && layout != cache.InputLayout) Graphics_D3D11_StateCache_SetInputLayout(layout);
        if (type == 5 && D3D11StandardVertex.Normal3DDrawSetup != nullptr) {
            if (D3D11StandardVertex.Normal3DDrawSetup() < 0) {
                // The vertices are lost, but the buffer is mapped again: the next draw writes into mapped
                // memory, never through the pointer of the Map that was just undone.
                MapBuffer();
                return -1;
            }
        } else if (type != 5) {
            ID3D11VertexShader* shader = D3D11StandardVertex.VertexShader[type];
            if (shader != nullptr && shader != cache.VertexShader) Graphics_D3D11_StateCache_SetVertexShader(shader, 1);
            if (cache.GeometryShader != nullptr) Graphics_D3D11_StateCache_ClearGeometryShader();
        }
        const UINT stride = D3D11StandardVertexStride[type];
        if (cache.VertexBuffer != batch.Buffer || cache.VertexStride != stride)
            Graphics_D3D11_StateCache_SetVertexBuffer(batch.Buffer, stride);
        Graphics_D3D11_StateCache_ApplyPending();
        D3D11Call_DeviceContext_Draw(pending, 0);
        batch.DrawCalls++;
    }
    if (is3D >= 0) batch.Is3D = is3D;
    batch.Pending = 0;
    MapBuffer();
    return 0;
}

int Graphics_D3D11_VertexBatch_Reset() {
    D3D11VertexBatch.Kind = 1;
    D3D11VertexBatch.Is3D = 0;
    D3D11VertexBatch.Pending = 0;
    D3D11VertexBatch.SkipDraw = 0;
    D3D11VertexBatch.Topology = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST;
    MapBuffer();
    return 0;
}

uint8_t* Graphics_D3D11_VertexBatch_Reserve(uint32_t count) {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    const uint32_t stride = D3D11StandardVertexStride[Graphics_D3D11_VertexBatch_GetType()];
    const uint64_t capacity = D3D11VertexBatchBytes / stride;
    if (count > capacity) return nullptr;
    if ((uint64_t)batch.Pending + count >= capacity || batch.Write == nullptr)
        if (Graphics_D3D11_VertexBatch_Flush(-1, 0) < 0) return nullptr;
    return batch.Write;
}

void Graphics_D3D11_VertexBatch_Commit(uint32_t count) {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    batch.Write += (uint64_t)count * D3D11StandardVertexStride[Graphics_D3D11_VertexBatch_GetType()];
    batch.Pending += count;
}

}  // namespace Vantrel
