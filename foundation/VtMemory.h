// The memory layer every library module allocates through: a small-block and a large-block heap
// behind one lock, running totals, a dump of all live blocks on failure and debugging switches.
// Stands on the library heap, the critical sections, the log and the millisecond clock.
#pragma once

#include <stdint.h>

#include "foundation/VtHeap.h"
#include "foundation/VtThread.h"

namespace Vantrel {

constexpr uint32_t MEMORY_SMALL_LIMIT = 0x10000;
constexpr uint32_t MEMORY_SMALL_GROW_UNIT = 0x400000;
constexpr uint32_t MEMORY_LARGE_GROW_UNIT = 0x2000000;

struct MemoryLayerState {
    CriticalSection MemoryLock;
    volatile LONG LockCreated;
    int SetUp;
    HeapRecord SmallHeap;
    HeapRecord LargeHeap;
    uint32_t AllocTotalSize;
    int32_t AllocBlockCount;
    // Debugging switches, all 0 in normal running.
    int32_t TraceAll;
    int32_t TraceSize;
    int32_t LogTotalsEachTime;
    int32_t CheckEachTime;
};
extern MemoryLayerState MemoryState;

void* Memory_Allocate(uint32_t size, const char* file, int line);
void* Memory_AllocateZeroed(uint32_t size, const char* file, int line);
void* Memory_AllocateEx(uint32_t size, uint32_t alignment, const char* file, int line, const void* hideArgument);
void* Memory_Reallocate(void* pointer, uint32_t size, const char* file, int line);
void* Memory_ReallocateEx(void* pointer, uint32_t size, uint32_t alignment, const char* file, int line);
void Memory_Free(void* pointer);
int32_t Memory_GetBlockCount();
uint32_t Memory_GetTotalSize();
int Memory_LogTotals();
void Memory_DumpAll();
int Memory_CheckHeaps();
int Memory_Setup();
int Memory_Tick();
int Memory_Shutdown();

}  // namespace Vantrel
