// Direct3D 11 constant buffers: one allocation per record (header, then the CPU copy), kept in one
// list under a critical section because a loader thread may create a record for a handle; the seven
// standard buffers and the fog terms of buffer 0.
// Stands on the call layer, the state cache's constant-buffer slots, the allocator, the log and locks.
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11ConstantBufferStateRecord D3D11ConstantBufferState;

namespace {

CriticalSection ListLock;

const uint32_t StandardSizes[D3D11CB_STANDARD_COUNT] = {864, 256, 288, 2592, 80, 96, 1280};

void EnsureLock() {
    if (D3D11ConstantBufferState.LockMade) return;
    CriticalSection_Create(&ListLock);
    D3D11ConstantBufferState.LockMade = 1;
}

void ClearSlots(ID3D11Buffer** slots, ID3D11Buffer* buffer) {
    for (int i = 0; i < D3D11ConstantSlotCount; ++i)
        if (slots[i] == buffer) slots[i] = nullptr;
}

// The fog terms of one set: a linear range written as (end / (end - start), -1 / (end - start)), or
// for a set whose start lies beyond its end the reversed pair, so that the terms stay finite.
void WriteFogTerms(float* terms, float start, float end, float density, int reversedAllowed) {
    float range = end - start;
    if (reversedAllowed && start > end) {
        const float reverse = start - end;
        terms[0] = -(end / reverse);
        terms[1] = 1.0f / reverse;
    } else {
        if (range == 0.0f) range = 1e-6f;
        terms[0] = end / range;
        terms[1] = -1.0f / range;
    }
    terms[2] = density;
    terms[3] = 0.0f;
}

int UpdateFog(int set, uint32_t modeOffset, uint32_t termsOffset, uint32_t colorOffset) {
    if (!D3D11Call_Device_Exists() || D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING] == nullptr) return -1;
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    *(int32_t*)Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, modeOffset) =
        cache.FogEnable[set] ? cache.FogMode[set] : 0;
    WriteFogTerms(Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, termsOffset), cache.FogStart[set],
                  cache.FogEnd[set], cache.FogDensity[set], set == 1);
    *Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, termsOffset + 16) = 2.7182817f;
    float* color = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, colorOffset);
    color[0] = ((cache.FogColor[set] >> 16) & 0xFF) / 255.0f;
    color[1] = ((cache.FogColor[set] >> 8) & 0xFF) / 255.0f;
    color[2] = (cache.FogColor[set] & 0xFF) / 255.0f;
    color[3] = 1.0f;
    D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING]->Changed = 1;
    return 0;
}

}  // namespace

D3D11ConstantBuffer* Graphics_D3D11_ConstantBuffer_Create(uint32_t size, int otherThread) {
    EnsureLock();
    CriticalSection_Enter(&ListLock, __FILE__, __LINE__);
    D3D11ConstantBuffer* record = nullptr;
    if (size == 0 || size % 16 != 0) {
        Log_AddTextShiftJIS("定数バッファのサイズは１６の倍数である必要があります\n");
    } else if ((uint64_t)size + sizeof(D3D11ConstantBuffer) > 0x7FFFFFFF ||
               (record = (D3D11ConstantBuffer*)Memory_Allocate((uint32_t)(sizeof(D3D11ConstantBuffer) + size),
                                                                 __FILE__, __LINE__)) == nullptr) {
        Log_AddTextShiftJIS("定数バッファ情報を格納するメモリ領域の確保に失敗しました\n");
    } else {
        memset(record, 0, sizeof(D3D11ConstantBuffer) + size);
        record->Size = size;
        record->Data = record + 1;
        D3D11_BUFFER_DESC desc = {};
        desc.ByteWidth = size;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
        if (D3D11Call_Device_CreateBufferASync(&desc, nullptr, &record->Buffer, otherThread) != S_OK) {
            Log_AddTextShiftJIS("定数バッファ用の ID3D11Buffer の作成に失敗しました\n");
            Memory_Free(record);
            record = nullptr;
        } else {
            record->Next = D3D11ConstantBufferState.Head;
            if (record->Next != nullptr) record->Next->Previous = record;
            D3D11ConstantBufferState.Head = record;
            D3D11ConstantBufferState.Count++;
        }
    }
    CriticalSection_Leave(&ListLock);
    return record;
}

int Graphics_D3D11_ConstantBuffer_Delete(D3D11ConstantBuffer* buffer) {
    if (buffer == nullptr) return 0;
    EnsureLock();
    CriticalSection_Enter(&ListLock, __FILE__, __LINE__);
    ClearSlots(D3D11StateCache.VSConstantBuffers, buffer->Buffer);
    ClearSlots(D3D11StateCache.PSConstantBuffers, buffer->Buffer);
    D3D11Call_Buffer_Release(buffer->Buffer);
    if (buffer->Previous != nullptr) buffer->Previous->Next = buffer->Next;
    else D3D11ConstantBufferState.Head = buffer->Next;
    if (buffer->Next != nullptr) buffer->Next->Previous = buffer->Previous;
    Memory_Free(buffer);
    D3D11ConstantBufferState.Count--;
    CriticalSection_Leave(&ListLock);
    return 0;
}

int Graphics_D3D11_ConstantBuffer_Update(D3D11ConstantBuffer* buffer) {
    if (buffer == nullptr || !buffer->Changed) return 0;
    D3D11Call_DeviceContext_UpdateSubresource(buffer->Buffer, 0, nullptr, buffer->Data, 0, 0);
    buffer->Changed = 0;
    return 0;
}

int Graphics_D3D11_ConstantBuffer_SetPS(int firstSlot, int count, D3D11ConstantBuffer* const* buffers) {
    if (firstSlot < 0 || count <= 0 || firstSlot + count > D3D11ConstantSlotCount) return -1;
    ID3D11Buffer* objects[D3D11ConstantSlotCount];
    for (int i = 0; i < count; ++i) objects[i] = buffers[i] != nullptr ? buffers[i]->Buffer : nullptr;
    return Graphics_D3D11_StateCache_SetPSConstantBuffers(firstSlot, count, objects);
}

int Graphics_D3D11_ConstantBuffers_Create() {
    Log_AddTextShiftJIS("各種シェーダー用定数バッファの作成.... ");
    for (int i = 0; i < D3D11CB_STANDARD_COUNT; ++i) {
        D3D11ConstantBufferState.Standard[i] = Graphics_D3D11_ConstantBuffer_Create(StandardSizes[i], 0);
        if (D3D11ConstantBufferState.Standard[i] == nullptr) {
            Log_AddTextShiftJIS("失敗\n");
            Graphics_D3D11_ConstantBuffers_Release();
            return -1;
        }
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D11_ConstantBuffers_Release() {
    for (D3D11ConstantBuffer*& buffer : D3D11ConstantBufferState.Standard) {
        Graphics_D3D11_ConstantBuffer_Delete(buffer);
        buffer = nullptr;
    }
    return 0;
}

int Graphics_D3D11_ConstantBuffers_UpdateStandard() {
    for (D3D11ConstantBuffer* buffer : D3D11ConstantBufferState.Standard) Graphics_D3D11_ConstantBuffer_Update(buffer);
    return 0;
}

float* Graphics_D3D11_ConstantBuffer_Float(int standard, uint32_t offset) {
    return (float*)((uint8_t*)D3D11ConstantBufferState.Standard[standard]->Data + offset);
}

int Graphics_D3D11_StateCache_UpdateFogConstants() {
    return UpdateFog(0, D3D11CB0_FOG_MODE, D3D11CB0_FOG_TERMS, D3D11CB0_FOG_COLOR);
}

int Graphics_D3D11_StateCache_UpdateFog2Constants() {
    return UpdateFog(1, D3D11CB0_FOG2_MODE, D3D11CB0_FOG2_TERMS, D3D11CB0_FOG2_COLOR);
}

}  // namespace Vantrel
