// VtRingBuffer: a growable byte queue with wrap-around (network queues, soft-sound wave data).
// Writers reserve room and copy to the write position themselves. Stands on VtMemory and VtLog.
#pragma once

#include <cstdint>

namespace Vantrel {

struct RingBuffer {
    uint8_t* Data;          // storage block, null when none
    int32_t ReadPosition;   // first stored byte
    int32_t WritePosition;  // where the next byte goes
    int32_t Stored;         // bytes in the queue
    int32_t Size;           // bytes of the storage block
};

int RingBuffer_Initialize(RingBuffer* ring);
// Makes room for bytes more; -1 when the storage cannot be grown (the queue keeps its data).
int RingBuffer_Reserve(RingBuffer* ring, int32_t bytes);
// Takes (peek 0) or copies (peek non-zero) length bytes; -1 when fewer are stored.
int RingBuffer_Get(RingBuffer* ring, void* destination, int32_t length, int32_t peek);
int RingBuffer_Terminate(RingBuffer* ring);

// The writer's step after RingBuffer_Reserve: copies bytes to the write position, wrapping at the
// end of the block, and counts them as stored. -1 when there is not room for them.
int RingBuffer_Put(RingBuffer* ring, const void* source, int32_t bytes);

}  // namespace Vantrel
