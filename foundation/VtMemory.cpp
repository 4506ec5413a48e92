// The memory layer: blocks of up to 64 KiB from the small heap, larger ones from the large heap,
// one lock over both, running totals, trace switches and a dump of every live block on failure.
// Stands on the library heap, the critical sections, the log and the millisecond clock.
#include "foundation/VtMemory.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "system/VtTime.h"

namespace Vantrel {

MemoryLayerState MemoryState;

// LockCreated: 0 none, 1 being created, 2 ready. Two threads that meet at the first memory
// operation must not both create the lock.
static void Memory_EnsureLock()
{
    if (MemoryState.LockCreated == 2) return;
    if (InterlockedCompareExchange(&MemoryState.LockCreated, 1, 0) == 0) {
        CriticalSection_Create(&MemoryState.MemoryLock);
        InterlockedExchange(&MemoryState.LockCreated, 2);
        return;
    }
    while (MemoryState.LockCreated != 2) Sleep(0);
}

static inline void Memory_Lock(int line)
{
    Memory_EnsureLock();
    CriticalSection_Enter(&MemoryState.MemoryLock, "VtMemory", line);
}

static inline void Memory_Unlock() { CriticalSection_Leave(&MemoryState.MemoryLock); }

static inline int Memory_ShouldTrace(uint32_t size)
{
    return MemoryState.TraceSize < 0 || (uint32_t)MemoryState.TraceSize == size || MemoryState.TraceAll == 1;
}

static void Memory_Trace(const wchar_t* what, void* block)
{
    Log_AddTextWide(what);
    LogMemoryTag(Heap_TagFromPointer(block));
}

static void Memory_AfterChange()
{
    if (MemoryState.LogTotalsEachTime == 1) Memory_LogTotals();
    if (MemoryState.CheckEachTime == 1) Memory_CheckHeaps();
}

int Memory_Setup()
{
    Memory_Lock(__LINE__);
    if (!MemoryState.SetUp) {
        MemoryState.SetUp = 1;
        StartHeap(&MemoryState.SmallHeap, HEAP_PLACEMENT_TLSF, 16, 1, MEMORY_SMALL_GROW_UNIT, nullptr,
                  BackingStore_AllocArea, BackingStore_GetAddress, BackingStore_GetSize, BackingStore_FreeArea,
                  nullptr, 0);
        StartHeap(&MemoryState.LargeHeap, HEAP_PLACEMENT_TLSF, 16, 1, MEMORY_LARGE_GROW_UNIT, nullptr,
                  BackingStore_AllocArea, BackingStore_GetAddress, BackingStore_GetSize, BackingStore_FreeArea,
                  nullptr, 0);
    }
    Memory_Unlock();
    return 0;
}

void* Memory_AllocateEx(uint32_t size, uint32_t alignment, const char* file, int line, const void* hideArgument)
{
    Memory_Lock(__LINE__);
    if (!MemoryState.SetUp) Memory_Setup();
    if (size == 0) size = 1;
    HeapRecord* heap = size <= MEMORY_SMALL_LIMIT ? &MemoryState.SmallHeap : &MemoryState.LargeHeap;
    void* block = ReserveMemory(heap, size, alignment, 0, file, line, hideArgument);
    if (block == nullptr) {
        Memory_DumpAll();
        Memory_CheckHeaps();
        Memory_Unlock();
        return nullptr;
    }
    if (Memory_ShouldTrace(size)) Memory_Trace(L"mem alloc  ", block);
    MemoryState.AllocTotalSize += GetAllocSize(block);
    MemoryState.AllocBlockCount++;
    Memory_AfterChange();
    Memory_Unlock();
    return block;
}

void* Memory_Allocate(uint32_t size, const char* file, int line)
{
    return Memory_AllocateEx(size, 0, file, line, nullptr);
}

void* Memory_AllocateZeroed(uint32_t size, const char* file, int line)
{
    void* block = Memory_AllocateEx(size, 0, file, line, nullptr);
    if (block != nullptr) memset(block, 0, size);
    return block;
}

void* Memory_ReallocateEx(void* pointer, uint32_t size, uint32_t alignment, const char* file, int line)
{
    if (pointer == nullptr) return Memory_AllocateEx(size, alignment, file, line, nullptr);
    // A request for no bytes is not a shortage of memory: the block stays as it is and the caller
    // is told there is no new block, without a dump.
    if (size == 0) return nullptr;
    Memory_Lock(__LINE__);
    const uint32_t oldSize = GetAllocSize(pointer);
    void* block = ReallocMemory(pointer, size, alignment, file, line);
    if (block == nullptr) {
        Memory_DumpAll();
        Memory_Unlock();
        return nullptr;
    }
    MemoryState.AllocTotalSize -= oldSize;
    MemoryState.AllocTotalSize += GetAllocSize(block);
    if (Memory_ShouldTrace(size)) Memory_Trace(L"mem realloc  ", block);
    Memory_AfterChange();
    Memory_Unlock();
    return block;
}

void* Memory_Reallocate(void* pointer, uint32_t size, const char* file, int line)
{
    return Memory_ReallocateEx(pointer, size, 0, file, line);
}

void Memory_Free(void* pointer)
{
    if (pointer == nullptr) return;
    Memory_Lock(__LINE__);
    if (MemoryState.CheckEachTime == 1) Memory_CheckHeaps();
    MemTag* tag = Heap_TagFromPointer(pointer);
    if (memcmp(tag->MagicID, "VMEM", 4) != 0 || (tag->Flags & MEMTAG_FLAG_USED) == 0) {
        // Not a live block (foreign pointer or second free): the heap reports it and stops.
        Memory_Unlock();
        FreeMemory(pointer);
        return;
    }
    const uint32_t size = GetAllocSize(pointer);
    MemoryState.AllocTotalSize -= size;
    MemoryState.AllocBlockCount--;
    if (Memory_ShouldTrace(size)) Memory_Trace(L"mem free  ", pointer);
    FreeMemory(pointer);
    if (MemoryState.LogTotalsEachTime == 1) Memory_LogTotals();
    Memory_Unlock();
}

int32_t Memory_GetBlockCount() { return MemoryState.AllocBlockCount; }

uint32_t Memory_GetTotalSize() { return MemoryState.AllocTotalSize; }

int Memory_LogTotals()
{
    const uint32_t total = MemoryState.AllocTotalSize;
    return Log_AddFormatWide(L"\tTotal size:%d(%.3fkb)  Alloc num:%d", (int)total,
                             (double)((float)total * (1.0f / 1024.0f)), (int)MemoryState.AllocBlockCount);
}

void Memory_DumpAll()
{
    Memory_Lock(__LINE__);
    Log_AddTextWide(L"\n");
    Log_AddTextWide(L"Alloc memory dump\n");
    if (MemoryState.SetUp) {
        LogHeapTags(&MemoryState.SmallHeap);
        LogHeapTags(&MemoryState.LargeHeap);
    }
    Memory_LogTotals();
    Log_AddTextWide(L"\n");
    Memory_Unlock();
}

int Memory_CheckHeaps()
{
    Memory_Lock(__LINE__);
    if (MemoryState.SetUp) {
        HeapErrorCheck(&MemoryState.SmallHeap);
        HeapErrorCheck(&MemoryState.LargeHeap);
    }
    Memory_Unlock();
    return 0;
}

int Memory_Tick()
{
    Memory_Lock(__LINE__);
    if (MemoryState.SetUp) {
        const int seconds = (GetMillisecondCount() / 1000) & 0xFFFF;
        SetHeapTime(&MemoryState.SmallHeap, seconds);
        SetHeapTime(&MemoryState.LargeHeap, seconds);
    }
    Memory_Unlock();
    return 0;
}

int Memory_Shutdown()
{
    Memory_Lock(__LINE__);
    if (MemoryState.SetUp) {
        MemoryState.SetUp = 0;
        EndHeap(&MemoryState.SmallHeap);
        EndHeap(&MemoryState.LargeHeap);
        MemoryState.AllocTotalSize = 0;
        MemoryState.AllocBlockCount = 0;
    }
    Memory_Unlock();
    return 0;
}

}  // namespace Vantrel
