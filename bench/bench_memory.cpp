// Allocate/free pairs of mixed sizes through the library's memory layer and through the system
// heap (HeapAlloc/HeapFree) in the same run, over the same sequence of sizes and slots.
// Prints the time per pair of each and their ratio (system time / library time: above 1 means the
// library heap is faster).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "foundation/VtMemory.h"

using namespace Vantrel;

namespace {

constexpr int SlotCount = 4096;
constexpr int PairCount = 2000000;

struct Operation {
    uint32_t Slot;
    uint32_t Size;
};

std::vector<Operation> MakeOperations()
{
    std::vector<Operation> operations(PairCount);
    uint32_t random = 2024;
    for (Operation& operation : operations) {
        random = random * 1664525u + 1013904223u;
        operation.Slot = (random >> 8) % SlotCount;
        random = random * 1664525u + 1013904223u;
        const uint32_t pick = (random >> 24) % 100;
        random = random * 1664525u + 1013904223u;
        // Mostly small blocks, some middle-sized, a few large ones.
        if (pick < 70) operation.Size = 8 + (random >> 8) % 120;
        else if (pick < 95) operation.Size = 128 + (random >> 8) % 4000;
        else operation.Size = 4096 + (random >> 8) % 120000;
    }
    return operations;
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end, LARGE_INTEGER frequency)
{
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

template <typename AllocateProc, typename FreeProc>
double Run(const std::vector<Operation>& operations, AllocateProc allocate, FreeProc release)
{
    std::vector<void*> slots(SlotCount, nullptr);
    // Fill every slot first, so the run measures a heap with a steady population.
    for (int i = 0; i < SlotCount; i++) slots[i] = allocate(64 + (i % 512));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (const Operation& operation : operations) {
        release(slots[operation.Slot]);
        void* block = allocate(operation.Size);
        ((volatile uint8_t*)block)[0] = 1;
        slots[operation.Slot] = block;
    }
    QueryPerformanceCounter(&end);
    for (void* block : slots) release(block);
    return Seconds(start, end, frequency);
}

}  // namespace

int main()
{
    const std::vector<Operation> operations = MakeOperations();
    HANDLE processHeap = GetProcessHeap();
    auto libraryAllocate = [](uint32_t size) { return Memory_Allocate(size, "bench_memory", __LINE__); };
    auto libraryFree = [](void* block) { Memory_Free(block); };
    auto systemAllocate = [processHeap](uint32_t size) { return HeapAlloc(processHeap, 0, size); };
    auto systemFree = [processHeap](void* block) { HeapFree(processHeap, 0, block); };

    // A warm-up round of each, then the measured rounds.
    Run(operations, libraryAllocate, libraryFree);
    Run(operations, systemAllocate, systemFree);
    double library = 1e30, system = 1e30;
    for (int round = 0; round < 3; round++) {
        const double l = Run(operations, libraryAllocate, libraryFree);
        const double s = Run(operations, systemAllocate, systemFree);
        if (l < library) library = l;
        if (s < system) system = s;
    }
    printf("allocate/free pairs: %d over %d live slots, sizes 8 B to 124 KB\n", PairCount, SlotCount);
    printf("Memory_Allocate/Memory_Free: %.1f ns per pair (%.3f s)\n", library * 1e9 / PairCount, library);
    printf("HeapAlloc/HeapFree:          %.1f ns per pair (%.3f s)\n", system * 1e9 / PairCount, system);
    printf("ratio system/library: %.2f\n", system / library);
    return 0;
}
