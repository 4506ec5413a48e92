// Direct3D 9 vertex and index buffers of the library's buffer handles: made from the handle record (size,
// element type, system copy) at first use and again after the device was made anew, written through a
// lock of the range, and released with the binding the state cache holds of them.
// Stands on the call layer, the state cache and the core's buffer records.
#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

namespace {

constexpr DWORD UserVertexFVF = 0x2D2;   // XYZ, NORMAL, DIFFUSE, SPECULAR, TEX2: the type-0 user vertex

IDirect3DResource9* DeviceBuffer(BufferHandleRecord* buffer) {
    return buffer != nullptr ? (IDirect3DResource9*)buffer->PlatformArea[0] : nullptr;
}

// The record's byte size (element size x count) in 64 bits, -1 when it is empty or past what a device
// buffer can hold.
int64_t RecordBytes(const BufferHandleRecord* buffer) {
    const int64_t bytes = (int64_t)buffer->ElementSize * (int64_t)buffer->ElementCount;
    if (buffer->ElementSize <= 0 || buffer->ElementCount <= 0 || bytes > 0x7FFFFFFFll) return -1;
    return bytes;
}

int SetData(BufferHandleRecord* buffer, int first, const void* data, int count, const char* lockFailure) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (buffer == nullptr) return -1;
    IDirect3DResource9* object = DeviceBuffer(buffer);
    if (object == nullptr || count == 0) return 0;
    if (first < 0 || count < 0 || data == nullptr || buffer->ElementSize <= 0) return -1;
    const int64_t offset = (int64_t)first * buffer->ElementSize;
    const int64_t bytes = (int64_t)count * buffer->ElementSize;
    const int64_t total = RecordBytes(buffer);
    // A range past the buffer's end would have the device lock (and this copy write) outside it.
    if (total < 0 || offset + bytes > total) return -1;
    void* at = nullptr;
    if (D3D9Call_Buffer_Lock(object, (UINT)offset, (UINT)bytes, &at, 0) != D3D_OK || at == nullptr) {
        Log_AddTextShiftJIS(lockFailure);
        return -1;
    }
    memcpy(at, data, (size_t)bytes);
    D3D9Call_Buffer_Unlock(object);
    return 0;
}

}  // namespace

int Graphics_D3D9_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) {
    return SetData(buffer, first, data, count, "頂点バッファのロックに失敗しました\n");
}

int Graphics_D3D9_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) {
    return SetData(buffer, first, data, count, "インデックスバッファのロックに失敗しました\n");
}

int Graphics_D3D9_VertexBuffer_Create(BufferHandleRecord* buffer, int async) {
    if (!D3D9Call_Device_Exists() || buffer == nullptr) return -1;
    if (buffer->PlatformArea[0] != nullptr) return 0;
    if (buffer->Kind != 0 && buffer->Kind != 1) return 0;   // no device layout for other types
    const int64_t bytes = RecordBytes(buffer);
    IDirect3DVertexBuffer9* object = nullptr;
    if (bytes < 0 || D3D9Call_Device_CreateVertexBufferASync((UINT)bytes, D3DUSAGE_WRITEONLY,
                                                             buffer->Kind == 0 ? UserVertexFVF : 0, D3DPOOL_DEFAULT,
                                                             &object, async) < 0) {
        Log_AddTextShiftJIS("頂点バッファの作成に失敗しました\n");
        return -1;
    }
    buffer->PlatformArea[0] = object;
    if (buffer->SystemCopy != nullptr) return Graphics_D3D9_VertexBuffer_SetData(buffer, 0, buffer->SystemCopy, buffer->ElementCount);
    return 0;
}

int Graphics_D3D9_IndexBuffer_Create(BufferHandleRecord* buffer, int async) {
    if (!D3D9Call_Device_Exists() || buffer == nullptr) return -1;
    if (buffer->PlatformArea[0] != nullptr) return 0;
    const int64_t bytes = RecordBytes(buffer);
    IDirect3DIndexBuffer9* object = nullptr;
    if (bytes < 0 || D3D9Call_Device_CreateIndexBufferASync((UINT)bytes, D3DUSAGE_WRITEONLY,
                                                            buffer->Kind == 1 ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                                            D3DPOOL_DEFAULT, &object, async) < 0) {
        Log_AddTextShiftJIS("インデックスバッファの作成に失敗しました\n");
        return -1;
    }
    buffer->PlatformArea[0] = object;
    if (buffer->SystemCopy != nullptr) return Graphics_D3D9_IndexBuffer_SetData(buffer, 0, buffer->SystemCopy, buffer->ElementCount);
    return 0;
}

int Graphics_D3D9_Buffer_Release(BufferHandleRecord* buffer) {
    if (!D3D9Call_Device_Exists()) return -1;
    IDirect3DResource9* object = DeviceBuffer(buffer);
    if (object == nullptr) return 0;
    // The device must not keep a released buffer bound: the next draw would read freed memory.
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    if ((IDirect3DResource9*)cache.VertexBuffer == object) {
        D3D9Call_Device_SetStreamSource(0, nullptr, 0, 0);
        cache.VertexBuffer = nullptr;
        cache.VertexStride = 0;
    }
    if ((IDirect3DResource9*)cache.IndexBuffer == object) {
        D3D9Call_Device_SetIndices(nullptr);
        cache.IndexBuffer = nullptr;
    }
    D3D9Call_Object_Release(object);
    buffer->PlatformArea[0] = nullptr;
    return 0;
}

}  // namespace Vantrel
