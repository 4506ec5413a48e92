// Allocate/free pairs of mixed sizes through the library's memory layer and through the system
// heap (HeapAlloc/HeapFree) in the same run, over the same sequence of sizes and slots.
// Prints the time per pair of each, their ratio (system time / library time: above 1 means the
// library heap is faster) and the build it ran as. "bench_memory library" or "bench_memory system"
// runs one side only (for a profiler).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
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

// Time of one run: wall clock and the thread's processor time (user + kernel), which a busy
// machine disturbs less.
struct Timing {
    double Wall = 1e30;
    double Processor = 1e30;
};

double ThreadSeconds()
{
    FILETIME creation, exit, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
    const uint64_t k = ((uint64_t)kernel.dwHighDateTime << 32) | kernel.dwLowDateTime;
    const uint64_t u = ((uint64_t)user.dwHighDateTime << 32) | user.dwLowDateTime;
    return (double)(k + u) * 1e-7;
}

template <typename AllocateProc, typename FreeProc>
Timing Run(const std::vector<Operation>& operations, AllocateProc allocate, FreeProc release)
{
    std::vector<void*> slots(SlotCount, nullptr);
    // Fill every slot first, so the run measures a heap with a steady population.
    for (int i = 0; i < SlotCount; i++) slots[i] = allocate(64 + (i % 512));
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const double processorStart = ThreadSeconds();
    QueryPerformanceCounter(&start);
    for (const Operation& operation : operations) {
        release(slots[operation.Slot]);
        void* block = allocate(operation.Size);
        ((volatile uint8_t*)block)[0] = 1;
        slots[operation.Slot] = block;
    }
    QueryPerformanceCounter(&end);
    Timing timing;
    timing.Processor = ThreadSeconds() - processorStart;
    timing.Wall = (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
    for (void* block : slots) release(block);
    return timing;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool runLibrary = argc < 2 || strcmp(argv[1], "system") != 0;
    const bool runSystem = argc < 2 || strcmp(argv[1], "library") != 0;
    const std::vector<Operation> operations = MakeOperations();
    HANDLE processHeap = GetProcessHeap();
    auto libraryAllocate = [](uint32_t size) { return Memory_Allocate(size, "bench_memory", __LINE__); };
    auto libraryFree = [](void* block) { Memory_Free(block); };
    auto systemAllocate = [processHeap](uint32_t size) { return HeapAlloc(processHeap, 0, size); };
    auto systemFree = [processHeap](void* block) { HeapFree(processHeap, 0, block); };

    // A warm-up round of each, then the measured rounds, alternating so that both see the same
    // load of the machine; the best round of each counts.
    if (runLibrary) Run(operations, libraryAllocate, libraryFree);
    if (runSystem) Run(operations, systemAllocate, systemFree);
    Timing library, system;
    auto keepBest = [](Timing& best, const Timing& run) {
        best.Wall = std::min(best.Wall, run.Wall);
        best.Processor = std::min(best.Processor, run.Processor);
    };
    for (int round = 0; round < 5; round++) {
        if (runLibrary) keepBest(library, Run(operations, libraryAllocate, libraryFree));
        if (runSystem) keepBest(system, Run(operations, systemAllocate, systemFree));
    }
    printf("bench_memory ran as the %d-bit build\n", (int)sizeof(void*) * 8);
    printf("allocate/free pairs: %d over %d live slots, sizes 8 B to 124 KB (best of 5 rounds)\n", PairCount, SlotCount);
    if (runLibrary)
        printf("Memory_Allocate/Memory_Free: %.1f ns per pair (%.3f s; processor time %.1f ns per pair)\n",
               library.Wall * 1e9 / PairCount, library.Wall, library.Processor * 1e9 / PairCount);
    if (runSystem)
        printf("HeapAlloc/HeapFree:          %.1f ns per pair (%.3f s; processor time %.1f ns per pair)\n",
               system.Wall * 1e9 / PairCount, system.Wall, system.Processor * 1e9 / PairCount);
    if (runLibrary && runSystem)
        printf("ratio system/library: %.2f (by processor time %.2f)\n", system.Wall / library.Wall,
               system.Processor / library.Processor);
    return 0;
}
