// The memory layer: the choice of heap by size, the running totals, reallocation edge cases (null
// pointer, size 0 without a dump), the trace switch, silence when the switches are off, and many
// threads allocating at once.
#include <gtest/gtest.h>

#include <string>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "tests/foundation/LogReadBack.h"

using namespace Vantrel;

namespace {

DWORD LogFileSize()
{
    wchar_t path[1536];
    Log_File_BuildPath(path, sizeof(path));
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

using FoundationTest::ReadLog;

class MemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FoundationTest::StartFreshLog(L"MemoryTest.txt");
        // Keep a block in each heap so that no test pays for a new area or sees a grown block.
        SmallKeep = Memory_Allocate(16, "MemoryTest", 1);
        LargeKeep = Memory_Allocate(MEMORY_SMALL_LIMIT + 1, "MemoryTest", 2);
    }
    void TearDown() override
    {
        Memory_Free(SmallKeep);
        Memory_Free(LargeKeep);
        MemoryState.TraceAll = 0;
    }
    void* SmallKeep = nullptr;
    void* LargeKeep = nullptr;
};

}  // namespace

TEST_F(MemoryTest, SizeChoosesTheHeapAndTotalsFollow)
{
    const uint32_t totalBefore = Memory_GetTotalSize();
    const int32_t countBefore = Memory_GetBlockCount();
    void* zero = Memory_Allocate(0, "MemoryTest", 10);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(GetAllocSize(zero), 1u);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore + 1);
    void* limit = Memory_Allocate(MEMORY_SMALL_LIMIT, "MemoryTest", 11);
    void* beyond = Memory_Allocate(MEMORY_SMALL_LIMIT + 1, "MemoryTest", 12);
    EXPECT_EQ(Heap_TagFromPointer(limit)->Heap, &MemoryState.SmallHeap);
    EXPECT_EQ(Heap_TagFromPointer(beyond)->Heap, &MemoryState.LargeHeap);
    EXPECT_EQ(Memory_GetBlockCount(), countBefore + 3);
    uint8_t* zeroed = (uint8_t*)Memory_AllocateZeroed(300, "MemoryTest", 13);
    for (int i = 0; i < 300; i++) ASSERT_EQ(zeroed[i], 0);
    Memory_Free(zeroed);
    Memory_Free(beyond);
    Memory_Free(limit);
    Memory_Free(zero);
    Memory_Free(nullptr);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore);
    EXPECT_EQ(Memory_GetBlockCount(), countBefore);
    EXPECT_EQ(Memory_CheckHeaps(), 0);
}

TEST_F(MemoryTest, ReallocateEdgeCasesAndSilenceWithSwitchesOff)
{
    const DWORD logBefore = LogFileSize();
    const uint32_t totalBefore = Memory_GetTotalSize();
    uint8_t* p = (uint8_t*)Memory_Reallocate(nullptr, 40, "MemoryTest", 20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore + 40);
    for (int i = 0; i < 40; i++) p[i] = (uint8_t)i;
    // Size 0: no new block, the old one untouched, no out-of-memory dump in the log.
    EXPECT_EQ(Memory_Reallocate(p, 0, "MemoryTest", 21), nullptr);
    EXPECT_EQ(GetAllocSize(p), 40u);
    for (int i = 0; i < 40; i++) ASSERT_EQ(p[i], (uint8_t)i);
    // A block of the small heap grown past the limit stays in its heap.
    uint8_t* q = (uint8_t*)Memory_Reallocate(p, 100000, "MemoryTest", 22);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(Heap_TagFromPointer(q)->Heap, &MemoryState.SmallHeap);
    for (int i = 0; i < 40; i++) ASSERT_EQ(q[i], (uint8_t)i);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore + 100000);
    Memory_Free(q);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore);
    EXPECT_EQ(LogFileSize(), logBefore);
    EXPECT_EQ(ReadLog().find(L"Alloc memory dump"), std::wstring::npos);
}

TEST_F(MemoryTest, TraceAllLogsEveryOperationAndTotalsLine)
{
    MemoryState.TraceAll = 1;
    void* p = Memory_Allocate(24, "Traced.cpp", 31);
    p = Memory_Reallocate(p, 48, "Traced.cpp", 32);
    Memory_Free(p);
    MemoryState.TraceAll = 0;
    Memory_LogTotals();
    const std::wstring log = ReadLog();
    EXPECT_NE(log.find(L"mem alloc  \tsize:"), std::wstring::npos);
    EXPECT_NE(log.find(L"mem realloc  \tsize:"), std::wstring::npos);
    EXPECT_NE(log.find(L"mem free  \tsize:"), std::wstring::npos);
    EXPECT_NE(log.find(L"file:Traced.cpp"), std::wstring::npos);
    EXPECT_NE(log.find(L"\tTotal size:" + std::to_wstring(Memory_GetTotalSize()) + L"("), std::wstring::npos);
}

// Sizes that wrap round in 32-bit arithmetic once a tag is added (the IME's candidate list asked
// for 0xFFFFFFF0 bytes): null with the dump of all blocks, the totals and the blocks untouched.
TEST_F(MemoryTest, RequestsNear4GiBFailWithTheDumpAndChangeNothing)
{
    uint8_t* p = (uint8_t*)Memory_Allocate(40, "MemoryTest", 40);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 40; i++) p[i] = (uint8_t)i;
    const uint32_t totalBefore = Memory_GetTotalSize();
    const int32_t countBefore = Memory_GetBlockCount();
    for (uint32_t size : {0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFF60u, 0x80000000u}) {
        FoundationTest::StartFreshLog(L"MemoryTest.txt");
        EXPECT_EQ(Memory_Allocate(size, "MemoryTest", 41), nullptr) << std::hex << size;
        EXPECT_EQ(Memory_AllocateZeroed(size, "MemoryTest", 42), nullptr) << std::hex << size;
        EXPECT_EQ(Memory_Reallocate(p, size, "MemoryTest", 43), nullptr) << std::hex << size;
        const std::wstring log = ReadLog();
        EXPECT_NE(log.find(L"Alloc memory dump\r\n"), std::wstring::npos) << std::hex << size;
        EXPECT_NE(log.find(L"file:MemoryTest"), std::wstring::npos);
    }
    EXPECT_EQ(Memory_AllocateEx(16, 0xFFFFFFF0u, "MemoryTest", 44, nullptr), nullptr);
    EXPECT_EQ(Memory_ReallocateEx(p, 16, 0xFFFFFFFFu, "MemoryTest", 45), nullptr);
    EXPECT_EQ(Memory_GetTotalSize(), totalBefore);
    EXPECT_EQ(Memory_GetBlockCount(), countBefore);
    EXPECT_EQ(GetAllocSize(p), 40u);
    for (int i = 0; i < 40; i++) ASSERT_EQ(p[i], (uint8_t)i);
    EXPECT_EQ(Memory_CheckHeaps(), 0);
    Memory_Free(p);
}

struct AllocJob {
    int Seed;
    volatile LONG* Failures;
};

static void AllocEntry(ThreadRecord* record, void* parameter)
{
    AllocJob* job = (AllocJob*)parameter;
    uint32_t random = (uint32_t)job->Seed;
    void* blocks[64] = {};
    uint32_t sizes[64] = {};
    for (int i = 0; i < 20000; i++) {
        random = random * 1664525u + 1013904223u;
        const int slot = (random >> 10) & 63;
        if (blocks[slot] != nullptr) {
            if (((uint8_t*)blocks[slot])[sizes[slot] - 1] != (uint8_t)job->Seed) InterlockedIncrement(job->Failures);
            Memory_Free(blocks[slot]);
            blocks[slot] = nullptr;
        } else {
            sizes[slot] = 1 + ((random >> 16) % ((random & 15) == 0 ? 100000 : 2000));
            blocks[slot] = Memory_Allocate(sizes[slot], "AllocThread", i);
            if (blocks[slot] == nullptr) InterlockedIncrement(job->Failures);
            else ((uint8_t*)blocks[slot])[sizes[slot] - 1] = (uint8_t)job->Seed;
        }
    }
    for (int slot = 0; slot < 64; slot++) Memory_Free(blocks[slot]);
}

TEST_F(MemoryTest, ManyThreadsAllocateAndFreeAtOnce)
{
    const int32_t countBefore = Memory_GetBlockCount();
    volatile LONG failures = 0;
    AllocJob jobs[8];
    ThreadRecord threads[8] = {};
    for (int i = 0; i < 8; i++) {
        jobs[i] = {i + 1, &failures};
        ASSERT_EQ(Thread_Spawn(&threads[i], AllocEntry, &jobs[i]), 0);
    }
    for (int i = 0; i < 8; i++) {
        for (int tries = 0; tries < 5000 && Thread_Resume(&threads[i]) == 0; tries++) Thread_Sleep(1);
    }
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(WaitForSingleObject(threads[i].Handle, 60000), WAIT_OBJECT_0);
        Thread_Release(&threads[i]);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Memory_GetBlockCount(), countBefore);
    EXPECT_EQ(Memory_CheckHeaps(), 0);
}
