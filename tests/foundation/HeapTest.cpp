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
#include "tests/foundation/LogReadBack.h"

using namespace Vantrel;

namespace {

struct HeapStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void ThrowOnFatal(const char* message) { throw HeapStopped(message); }

using FoundationTest::ReadLog;
using FoundationTest::StartFreshLog;

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

namespace {

// A backing store over the system's that notes the largest area asked of it.
uint64_t LargestAreaAsked = 0;
int AskedAreas = 0;

int NotingAllocArea(void* user, AreaRecord* record, size_t size)
{
    AskedAreas++;
    if (size > LargestAreaAsked) LargestAreaAsked = size;
    return BackingStore_AllocArea(user, record, size);
}

// True when the size of a request plus the heap's slack (a tag, guards, a minimal rest and
// alignment) no longer fits in 32 bits: where a 32-bit build would wrap round if it worked in
// pointer-sized arithmetic. Computed in 32 bits on purpose.
bool WrapsIn32Bits(uint32_t size, uint32_t alignment)
{
    const uint32_t l = alignment < 16 ? 16u : alignment;
    const uint32_t rounded = (size + l - 1) / l * l;
    const uint32_t search = rounded + HEAP_MIN_BLOCK + 2 * l - 1;
    return l < alignment || rounded < size || search < rounded || 2 * l < l;
}

// How often the log says the backing store refused an area.
size_t CountRefusals()
{
    const std::wstring log = ReadLog();
    const std::wstring line = L"ヒープ用メモリの確保に失敗しました\r\n";
    size_t count = 0;
    for (size_t at = log.find(line); at != std::wstring::npos; at = log.find(line, at + 1)) count++;
    return count;
}

}  // namespace

// Requests whose size or alignment reaches 4 GiB once the heap's own bytes are added must fail
// cleanly on every build: null, nothing taken, the heap sound, no area asked beyond the limit.
TEST_F(HeapTest, RequestsNear4GiBFailWithoutWrapping)
{
    HeapRecord heap;
    ASSERT_EQ(StartHeap(&heap, HEAP_PLACEMENT_TLSF, 16, 1, 0x2000000, nullptr, NotingAllocArea, BackingStore_GetAddress,
                        BackingStore_GetSize, BackingStore_FreeArea, nullptr, 0),
              0);
    uint8_t* keep = (uint8_t*)ReserveMemory(&heap, 200, 0, 0, "Near4G", 1, nullptr);
    ASSERT_NE(keep, nullptr);
    const uint32_t keepSize = GetAllocSize(keep);
    for (int i = 0; i < 200; i++) keep[i] = (uint8_t)i;
    const uint64_t useSize = heap.TotalUseSize, freeSize = heap.TotalFreeSize;
    LargestAreaAsked = 0;
    AskedAreas = 0;

    struct Case {
        uint32_t Size;
        uint32_t Alignment;
        bool Grows;   // the search fits in 32 bits, so the heap tries to grow (and is refused)
    };
    const Case cases[] = {
        {0xFFFFFFFFu, 0, false}, {0xFFFFFFF1u, 0, false}, {0xFFFFFFF0u, 0, false}, {0xFFFFFF60u, 0, false},
        {0xFFFFFF40u, 0, false}, {0xF0000000u, 0, true},  {0x80000000u, 0, true},  {(uint32_t)HEAP_AREA_LIMIT, 0, true},
        {0x7FFFFFFFu, 0, true},  {64, 0xFFFFFFFFu, false}, {64, 0xFFFFFFF1u, false}, {64, 0x80000000u, false}, {0xFFFFF000u, 0x1000, false},
    };
    int wrapping = 0;
    for (const Case& c : cases) {
        wrapping += WrapsIn32Bits(c.Size, c.Alignment);
        const int asked = AskedAreas;
        const size_t refusedBefore = CountRefusals();
        EXPECT_EQ(ReserveMemory(&heap, c.Size, c.Alignment, 0, "Near4G", 2, nullptr), nullptr) << std::hex << c.Size << " " << c.Alignment;
        EXPECT_EQ(heap.UseTagNum, 1);
        EXPECT_EQ(heap.TotalUseSize, useSize);
        EXPECT_EQ(heap.TotalFreeSize, freeSize);
        // A refused growth is logged once per growth unit tried (32, 16, 8, 4, 2, 1 MiB).
        EXPECT_EQ(CountRefusals() - refusedBefore, c.Grows ? 6u : 0u) << std::hex << c.Size;
        EXPECT_EQ(AskedAreas, asked) << "no area of such a size may reach the backing store";
    }
    EXPECT_GE(wrapping, 6) << "the table must hold requests that wrap in 32-bit arithmetic";
    EXPECT_EQ(LargestAreaAsked, 0u);

    // A resize to such a size fails too and leaves the block as it was.
    for (uint32_t size : {0xFFFFFFF0u, 0xFFFFFFFFu, 0x80000000u}) {
        EXPECT_EQ(ReallocMemory(keep, size, 0, "Near4G", 3), nullptr) << std::hex << size;
        EXPECT_EQ(GetAllocSize(keep), keepSize);
    }
    EXPECT_EQ(ReallocMemory(keep, 300, 0xFFFFFFF8u, "Near4G", 4), nullptr);
    for (int i = 0; i < 200; i++) ASSERT_EQ(keep[i], (uint8_t)i);
    EXPECT_EQ(HeapErrorCheck(&heap), 0);

    // A large request well below the limit is still met.
    const uint32_t big = 0x4000000;
    uint8_t* large = (uint8_t*)ReserveMemory(&heap, big, 0, 0, "Near4G", 5, nullptr);
    ASSERT_NE(large, nullptr);
    large[big - 1] = 1;
    EXPECT_LE(LargestAreaAsked, HEAP_AREA_LIMIT);
    EXPECT_EQ(HeapErrorCheck(&heap), 0);
    FreeMemory(large);
    FreeMemory(keep);
    EXPECT_EQ(heap.AreaList, nullptr);
    EndHeap(&heap);
}

// Caller memory whose size runs past the end of the address space (sizes near SIZE_MAX) is
// refused; it is never laid out over wrapped addresses.
TEST_F(HeapTest, CallerMemoryPastTheAddressSpaceIsRefused)
{
    HeapRecord own;
    StartHeap(&own, HEAP_PLACEMENT_TLSF, 16, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    alignas(16) static uint8_t room[4096];
    for (size_t size : {SIZE_MAX, SIZE_MAX - 16, SIZE_MAX - (uintptr_t)room + 1}) {
        EXPECT_EQ(AttachHeapMemory(&own, room, size), -1) << size;
    }
    EXPECT_EQ(own.AreaList, nullptr);
    EXPECT_NE(ReadLog().find(L"AttachHeapMemory Error : "), std::wstring::npos);
    EXPECT_EQ(StartHeap(&own, HEAP_PLACEMENT_TLSF, 0xFFFFFFF1u, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0), -1);
    EndHeap(&own);
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
