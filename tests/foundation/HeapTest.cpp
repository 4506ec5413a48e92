// The library heap on a heap of its own: random stress with the self-check, block geometry and
// guards, merging in both free orders, reallocation in place and moved, an overrun and a double
// free reported, hidden blocks left out of dumps, and a leaked block dumped with file and line.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/VtHeap.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"

using namespace Vantrel;

namespace {

struct HeapStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void ThrowOnFatal(const char* message) { throw HeapStopped(message); }

// The log's text since the file was started, UTF-8 decoded.
std::wstring ReadLog()
{
    wchar_t path[1536];
    Log_File_BuildPath(path, sizeof(path));
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD done = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], (DWORD)bytes.size(), &done, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size() + 1, L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size());
    text.resize(units > 0 ? units : 0);
    return text;
}

void StartFreshLog(const wchar_t* name)
{
    Log_File_Shutdown();
    wcscpy(LogState.UserFileName, name);
    Log_File_Create();
}

class HeapTest : public ::testing::Test {
protected:
    HeapRecord Heap;

    void SetUp() override
    {
        StartFreshLog(L"HeapTest.txt");
        Heap_FatalHandler = ThrowOnFatal;
        ASSERT_EQ(StartHeap(&Heap, HEAP_PLACEMENT_TLSF, 16, 1, 0x100000, nullptr, BackingStore_AllocArea,
                            BackingStore_GetAddress, BackingStore_GetSize, BackingStore_FreeArea, nullptr, 0),
                  0);
    }

    void TearDown() override
    {
        EndHeap(&Heap);
        Heap_FatalHandler = nullptr;
    }

    int CountFreeTags()
    {
        int count = 0;
        for (MemTag* tag = Heap.FirstTag; tag != nullptr; tag = tag->Next)
            if ((tag->Flags & MEMTAG_FLAG_USED) == 0) count++;
        return count;
    }
};

}  // namespace

TEST_F(HeapTest, RandomStressKeepsContentsAndPassesSelfCheck)
{
    struct Live {
        uint8_t* Pointer;
        uint32_t Size;
        uint8_t Seed;
    };
    std::vector<Live> live;
    uint32_t random = 12345;
    auto next = [&random]() {
        random = random * 1103515245u + 12345u;
        return random >> 8;
    };
    auto fill = [](Live& block) {
        for (uint32_t i = 0; i < block.Size; i++) block.Pointer[i] = (uint8_t)(block.Seed + i);
    };
    auto intact = [](const Live& block, uint32_t size) {
        for (uint32_t i = 0; i < size; i++)
            if (block.Pointer[i] != (uint8_t)(block.Seed + i)) return false;
        return true;
    };
    auto randomSize = [&next]() -> uint32_t {
        const uint32_t pick = next() % 100;
        if (pick < 70) return 1 + next() % 256;
        if (pick < 95) return 1 + next() % 8192;
        return 1 + next() % 300000;
    };
    for (int op = 0; op < 40000; op++) {
        const uint32_t action = next() % 10;
        if (live.empty() || action < 4) {
            Live block = {nullptr, randomSize(), (uint8_t)next()};
            block.Pointer = (uint8_t*)ReserveMemory(&Heap, block.Size, 0, 0, "HeapTest.cpp", op, nullptr);
            ASSERT_NE(block.Pointer, nullptr);
            ASSERT_EQ(((uintptr_t)block.Pointer) % 16, 0u);
            fill(block);
            live.push_back(block);
        } else if (action < 7) {
            const size_t index = next() % live.size();
            ASSERT_TRUE(intact(live[index], live[index].Size)) << op;
            ASSERT_EQ(FreeMemory(live[index].Pointer), 0);
            live[index] = live.back();
            live.pop_back();
        } else {
            Live& block = live[next() % live.size()];
            const uint32_t size = randomSize();
            uint8_t* moved = (uint8_t*)ReallocMemory(block.Pointer, size, 0, "HeapTest.cpp", op);
            ASSERT_NE(moved, nullptr);
            block.Pointer = moved;
            ASSERT_TRUE(intact(block, size < block.Size ? size : block.Size)) << op;
            block.Size = size;
            fill(block);
        }
        if (op % 4000 == 0) {
            ASSERT_EQ(HeapErrorCheck(&Heap), 0);
        }
    }
    ASSERT_EQ(HeapErrorCheck(&Heap), 0);
    EXPECT_EQ(Heap.UseTagNum, (int32_t)live.size());
    for (Live& block : live) {
        ASSERT_TRUE(intact(block, block.Size));
        FreeMemory(block.Pointer);
    }
    ASSERT_EQ(HeapErrorCheck(&Heap), 0);
    // Every area went back to the system with its last block.
    EXPECT_EQ(Heap.AreaList, nullptr);
    EXPECT_EQ(Heap.FreeTagNum, 0);
    EXPECT_EQ(Heap.TotalUseSize, 0u);
}

TEST_F(HeapTest, BlockGeometryGuardsAndAreaReturn)
{
    uint8_t* p = (uint8_t*)ReserveMemory(&Heap, 100, 0, 0, "Geometry", 1, nullptr);
    ASSERT_NE(p, nullptr);
    MemTag* tag = Heap_TagFromPointer(p);
    EXPECT_EQ(memcmp(tag->MagicID, "VMEM", 4), 0);
    EXPECT_STREQ(tag->Name, "Geometry");
    // The block that made the heap grow records its rounded size.
    EXPECT_EQ(tag->UserSize, 112u);
    EXPECT_EQ((uintptr_t)p % 16, 0u);
    EXPECT_EQ((uintptr_t)tag % 16, 0u);
    EXPECT_GE((size_t)(p - (uint8_t*)tag), (size_t)HEAP_USER_OFFSET_MIN);
    for (uint32_t i = 0; i < HEAP_GUARD_SIZE; i++) {
        EXPECT_EQ(((uint8_t*)tag)[HEAP_TAG_SIZE + i], 0xAA);
        EXPECT_EQ(((uint8_t*)tag)[tag->Size - HEAP_GUARD_SIZE + i], 0xAA);
    }
    // The first block made the heap take an area of at least request + 1 MiB + unit + 16 bytes.
    ASSERT_NE(Heap.AreaList, nullptr);
    EXPECT_GE(Heap.AreaList->RawSize, (uintptr_t)(112 + 0x100000 + 0x100000 + 16));
    EXPECT_EQ((Heap.AreaList->Flags & 1u), 1u);
    // A long file name keeps its last 17 characters.
    void* q = ReserveMemory(&Heap, 10, 0, 0, "foundation/VeryLongModuleName.cpp", 70000, nullptr);
    MemTag* qtag = Heap_TagFromPointer(q);
    EXPECT_STREQ(qtag->Name, "LongModuleName.cpp" + 1);
    EXPECT_EQ((qtag->LineLow | ((qtag->Flags & 3u) << 16)), 70000u);
    FreeMemory(q);
    FreeMemory(p);
    EXPECT_EQ(Heap.AreaList, nullptr);
    EXPECT_EQ(ReserveMemory(&Heap, 0, 0, 0, "Geometry", 2, nullptr), nullptr);
}

TEST_F(HeapTest, NeighboursMergeInBothFreeOrders)
{
    for (int order = 0; order < 2; order++) {
        void* keep = ReserveMemory(&Heap, 64, 0, 0, "Merge", 1, nullptr);
        void* a = ReserveMemory(&Heap, 1000, 0, 0, "Merge", 2, nullptr);
        void* b = ReserveMemory(&Heap, 2000, 0, 0, "Merge", 3, nullptr);
        void* c = ReserveMemory(&Heap, 64, 0, 0, "Merge", 4, nullptr);
        MemTag* tagA = Heap_TagFromPointer(a);
        MemTag* tagB = Heap_TagFromPointer(b);
        ASSERT_EQ(tagA->Next, tagB);
        const uint32_t together = tagA->Size + tagB->Size;
        const int freeBefore = CountFreeTags();
        if (order == 0) {
            FreeMemory(a);
            FreeMemory(b);
        } else {
            FreeMemory(b);
            FreeMemory(a);
        }
        // One free block where a and b were, starting at a's tag.
        EXPECT_EQ(CountFreeTags(), freeBefore + 1) << order;
        EXPECT_EQ((tagA->Flags & MEMTAG_FLAG_USED), 0);
        EXPECT_EQ(tagA->Size, together);
        EXPECT_EQ(tagA->Next, Heap_TagFromPointer(c));
        ASSERT_EQ(HeapErrorCheck(&Heap), 0);
        // Freeing c merges it with the block before and the rest after.
        FreeMemory(c);
        EXPECT_EQ(CountFreeTags(), 1);
        ASSERT_EQ(HeapErrorCheck(&Heap), 0);
        FreeMemory(keep);
        EXPECT_EQ(Heap.AreaList, nullptr);
    }
}

TEST_F(HeapTest, ReallocateSameSizeInPlaceAndMoved)
{
    void* keep = ReserveMemory(&Heap, 64, 0, 0, "Realloc", 1, nullptr);
    uint8_t* p = (uint8_t*)ReserveMemory(&Heap, 200, 0, 0, "Realloc", 2, nullptr);
    for (int i = 0; i < 200; i++) p[i] = (uint8_t)i;
    MemTag* tag = Heap_TagFromPointer(p);
    const uint32_t oldID = tag->IDLow | (tag->IDHigh << 16);
    // Same size: same pointer, a new ID and the new line.
    EXPECT_EQ(ReallocMemory(p, 200, 0, "Realloc", 3), p);
    EXPECT_NE((uint32_t)(tag->IDLow | (tag->IDHigh << 16)), oldID);
    EXPECT_EQ(tag->LineLow, 3);
    // Growing into the free rest behind it: same pointer.
    EXPECT_EQ(ReallocMemory(p, 5000, 0, "Realloc", 4), p);
    EXPECT_EQ(GetAllocSize(p), 5000u);
    // Shrinking: same pointer, the rest becomes free again.
    EXPECT_EQ(ReallocMemory(p, 100, 0, "Realloc", 5), p);
    // A neighbour behind it blocks growth in place: the block moves with its contents.
    void* wall = ReserveMemory(&Heap, 64, 0, 0, "Realloc", 6, nullptr);
    uint8_t* moved = (uint8_t*)ReallocMemory(p, 100000, 0, "Realloc", 7);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, p);
    for (int i = 0; i < 100; i++) ASSERT_EQ(moved[i], (uint8_t)i);
    EXPECT_EQ(ReallocMemory(moved, 0, 0, "Realloc", 8), nullptr);
    EXPECT_EQ(GetAllocSize(moved), 100000u);
    ASSERT_EQ(HeapErrorCheck(&Heap), 0);
    FreeMemory(moved);
    FreeMemory(wall);
    FreeMemory(keep);
}

TEST_F(HeapTest, SmallRemainderStaysWithTheBlock)
{
    void* keep = ReserveMemory(&Heap, 64, 0, 0, "Rest", 1, nullptr);
    void* a = ReserveMemory(&Heap, 1024, 0, 0, "Rest", 2, nullptr);
    void* wall = ReserveMemory(&Heap, 64, 0, 0, "Rest", 3, nullptr);
    MemTag* tagA = Heap_TagFromPointer(a);
    const uint32_t blockSize = tagA->Size;
    FreeMemory(a);
    // A request that leaves less than a minimal block of the freed room takes all of it.
    const uint32_t room = blockSize - (uint32_t)HEAP_USER_OFFSET_MIN - HEAP_GUARD_SIZE - 16;
    void* b = ReserveMemory(&Heap, room - HEAP_MIN_BLOCK / 2, 0, 0, "Rest", 4, nullptr);
    ASSERT_EQ(Heap_TagFromPointer(b), tagA);
    EXPECT_EQ(tagA->Size, blockSize);
    ASSERT_EQ(HeapErrorCheck(&Heap), 0);
    FreeMemory(b);
    FreeMemory(wall);
    FreeMemory(keep);
}

TEST_F(HeapTest, OneBytePastTheBlockIsReported)
{
    void* keep = ReserveMemory(&Heap, 64, 0, 0, "Overrun", 1, nullptr);
    for (uint32_t size : {100u, 112u}) {
        uint8_t* p = (uint8_t*)ReserveMemory(&Heap, size, 0, 0, "Overrun", 2, nullptr);
        p[size] = 0x55;
        EXPECT_THROW(HeapErrorCheck(&Heap), HeapStopped) << size;
        EXPECT_THROW(FreeMemory(p), HeapStopped) << size;
        EXPECT_THROW(ReallocMemory(p, size * 2, 0, "Overrun", 3), HeapStopped) << size;
        p[size] = 0xAA;
        EXPECT_EQ(FreeMemory(p), 0);
    }
    const std::wstring log = ReadLog();
    EXPECT_NE(log.find(L"HeapErrorCheck Error : デバッグ領域の破壊を確認しました、メモリの不正なアクセスが発生したことが考えられます\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"FreeMemory Error : デバッグ領域の破壊を確認しました、メモリの不正なアクセスが発生したことが考えられます\r\n"),
              std::wstring::npos);
    EXPECT_NE(log.find(L"ReallocMemory Error : デバッグ領域の破壊を確認しました"), std::wstring::npos);
    EXPECT_NE(log.find(L"file:Overrun"), std::wstring::npos);
    FreeMemory(keep);
}

TEST_F(HeapTest, DoubleFreeAndForeignPointerAreReported)
{
    void* keep = ReserveMemory(&Heap, 64, 0, 0, "Double", 1, nullptr);
    void* p = ReserveMemory(&Heap, 300, 0, 0, "Double", 2, nullptr);
    void* wall = ReserveMemory(&Heap, 64, 0, 0, "Double", 3, nullptr);
    EXPECT_EQ(FreeMemory(p), 0);
    EXPECT_THROW(FreeMemory(p), HeapStopped);
    EXPECT_THROW(ReallocMemory(p, 10, 0, "Double", 4), HeapStopped);
    EXPECT_THROW(GetAllocSize(p), HeapStopped);
    alignas(16) static uint8_t foreign[256] = {};
    *(uint32_t*)(foreign + 124) = 100;
    EXPECT_THROW(FreeMemory(foreign + 128), HeapStopped);
    ASSERT_EQ(HeapErrorCheck(&Heap), 0);
    const std::wstring log = ReadLog();
    EXPECT_NE(log.find(L"FreeMemory Error : 解放済みのメモリに対して再度解放しようとしました\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"ReallocMemory Error : 解放済みのメモリに対して再確保をしようとしました\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"GetAllocSize Error : 解放済みのメモリに対して確保メモリサイズの取得を行おうとしました\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"FreeMemory Error : メモリタグの MagicID が不正です"), std::wstring::npos);
    FreeMemory(wall);
    FreeMemory(keep);
}

TEST_F(HeapTest, DumpListsVisibleUsedBlocksOnly)
{
    void* first = ReserveMemory(&Heap, 20, 0, 0, "First.cpp", 76, nullptr);
    uint8_t* shown = (uint8_t*)ReserveMemory(&Heap, 20, 0, 0, "Shown.cpp", 77, nullptr);
    for (int i = 0; i < 20; i++) shown[i] = (uint8_t)(0xA0 + i);
    void* hidden = ReserveMemory(&Heap, 20, 0, 0, "Hidden.cpp", 78, (void*)1);
    void* freed = ReserveMemory(&Heap, 20, 0, 0, "Freed.cpp", 79, nullptr);
    FreeMemory(freed);
    LogHeapTags(&Heap);
    const std::wstring log = ReadLog();
    const std::wstring fields = L"time:00000  file:Shown.cpp" + std::wstring(17 + 2, L' ') + L"line:77" + std::wstring(4 + 2, L' ') + L"ID:";
    EXPECT_NE(log.find(fields), std::wstring::npos);
    EXPECT_NE(log.find(L"  data:[a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae af]\r\n"), std::wstring::npos);
    EXPECT_NE(log.find(L"user size:        20(     0.020kb)"), std::wstring::npos);
    EXPECT_EQ(log.find(L"Hidden.cpp"), std::wstring::npos);
    EXPECT_EQ(log.find(L"Freed.cpp"), std::wstring::npos);
    FreeMemory(hidden);
    FreeMemory(shown);
    FreeMemory(first);
}

TEST_F(HeapTest, CallerMemoryTooSmallIsRefused)
{
    HeapRecord own;
    alignas(16) static uint8_t small[128];
    StartHeap(&own, HEAP_PLACEMENT_TLSF, 16, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(AttachHeapMemory(&own, small, sizeof(small)), -1);
    alignas(16) static uint8_t room[64 * 1024];
    EXPECT_EQ(AttachHeapMemory(&own, room, sizeof(room)), 0);
    void* p = ReserveMemory(&own, 1000, 0, 0, "Own", 1, nullptr);
    EXPECT_NE(p, nullptr);
    // No growth: a request beyond the area fails quietly.
    EXPECT_EQ(ReserveMemory(&own, 100000, 0, 0, "Own", 2, nullptr), nullptr);
    FreeMemory(p);
    // Caller memory is not given back when empty.
    EXPECT_NE(own.AreaList, nullptr);
    EXPECT_EQ(HeapErrorCheck(&own), 0);
    EndHeap(&own);
    EXPECT_NE(ReadLog().find(L"ヒープのサイズ( 128byte )が小さすぎます、最低でも "), std::wstring::npos);
}

TEST(MemoryDumpTest, LeakedBlockAppearsWithFileAndLine)
{
    StartFreshLog(L"MemoryDumpTest.txt");
    void* first = Memory_Allocate(16, "First.cpp", 1);
    void* leaked = Memory_Allocate(1234, "LeakTest.cpp", 4242);
    ASSERT_NE(leaked, nullptr);
    Memory_DumpAll();
    const std::wstring log = ReadLog();
    EXPECT_NE(log.find(L"Alloc memory dump\r\n"), std::wstring::npos);
    const size_t line = log.find(L"user size:      1234(     1.205kb)");
    ASSERT_NE(line, std::wstring::npos);
    const size_t end = log.find(L"\r\n", line);
    const std::wstring entry = log.substr(line, end - line);
    EXPECT_NE(entry.find(L"file:LeakTest.cpp"), std::wstring::npos) << entry;
    EXPECT_NE(entry.find(L"line:4242  "), std::wstring::npos) << entry;
    EXPECT_NE(log.find(L"\tTotal size:"), std::wstring::npos);
    Memory_Free(leaked);
    Memory_Free(first);
}
