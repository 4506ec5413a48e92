// VtRingBuffer: a growable byte queue with wrap-around. Growth is one and a half times the stored
// amount plus the request plus 1,000 bytes; taking bytes out never moves data.
// Stands on VtMemory (storage) and VtLog (growth failure).
#include "foundation/VtRingBuffer.h"

#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"

namespace Vantrel {

static void RingBuffer_NormalisePositions(RingBuffer* ring)
{
    if (ring->ReadPosition == ring->Size) ring->ReadPosition = 0;
    if (ring->WritePosition == ring->Size) ring->WritePosition = 0;
}

int RingBuffer_Initialize(RingBuffer* ring)
{
    ring->Data = nullptr;
    ring->ReadPosition = 0;
    ring->WritePosition = 0;
    ring->Stored = 0;
    ring->Size = 0;
    return 0;
}

int RingBuffer_Reserve(RingBuffer* ring, int32_t bytes)
{
    RingBuffer_NormalisePositions(ring);
    if ((int64_t)ring->Size >= (int64_t)ring->Stored + bytes) return 0;

    const int64_t newSize = (int64_t)ring->Stored * 3 / 2 + bytes + 1000;
    uint8_t* block = nullptr;
    if (newSize <= INT32_MAX) block = (uint8_t*)Memory_Allocate((size_t)newSize, "VtRingBuffer", __LINE__);
    if (block == nullptr) {
        // The queue stays as it was; the owner decides whether it is broken.
        Log_AddFormatUTF16(L"リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", (int)newSize);
        return -1;
    }

    if (ring->Stored > 0) {
        if (ring->ReadPosition + ring->Stored > ring->Size) {
            const int32_t first = ring->Size - ring->ReadPosition;
            memcpy(block, ring->Data + ring->ReadPosition, (size_t)first);
            memcpy(block + first, ring->Data, (size_t)(ring->Stored - first));
        } else {
            memcpy(block, ring->Data + ring->ReadPosition, (size_t)ring->Stored);
        }
    }
    Memory_Free(ring->Data);
    ring->Data = block;
    ring->Size = (int32_t)newSize;
    ring->ReadPosition = 0;
    ring->WritePosition = ring->Stored;
    return 0;
}

int RingBuffer_Get(RingBuffer* ring, void* destination, int32_t length, int32_t peek)
{
    if (length < 0 || ring->Stored < length) return -1;
    RingBuffer_NormalisePositions(ring);
    if (length == 0) return 0;

    uint8_t* out = (uint8_t*)destination;
    if (ring->ReadPosition + length > ring->Size) {
        const int32_t first = ring->Size - ring->ReadPosition;
        memcpy(out, ring->Data + ring->ReadPosition, (size_t)first);
        memcpy(out + first, ring->Data, (size_t)(length - first));
        if (peek == 0) {
            ring->Stored -= length;
            ring->ReadPosition = ring->ReadPosition + length - ring->Size;
        }
    } else {
        memcpy(out, ring->Data + ring->ReadPosition, (size_t)length);
        if (peek == 0) {
            ring->ReadPosition += length;
            ring->Stored -= length;
        }
    }
    return 0;
}

int RingBuffer_Put(RingBuffer* ring, const void* source, int32_t bytes)
{
    if (bytes < 0 || (int64_t)ring->Stored + bytes > ring->Size) return -1;
    RingBuffer_NormalisePositions(ring);
    if (bytes == 0) return 0;

    const uint8_t* in = (const uint8_t*)source;
    const int32_t first = ring->Size - ring->WritePosition < bytes ? ring->Size - ring->WritePosition : bytes;
    memcpy(ring->Data + ring->WritePosition, in, (size_t)first);
    if (first < bytes) memcpy(ring->Data, in + first, (size_t)(bytes - first));
    ring->Stored += bytes;
    ring->WritePosition += bytes;
    if (ring->WritePosition >= ring->Size) ring->WritePosition -= ring->Size;
    return 0;
}

int RingBuffer_Terminate(RingBuffer* ring)
{
    if (ring->Data != nullptr) Memory_Free(ring->Data);
    return RingBuffer_Initialize(ring);
}

}  // namespace Vantrel
