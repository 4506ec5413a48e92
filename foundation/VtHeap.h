// The library heap: blocks placed in large areas by two-level segregated fit (TLSF), each with a
// tag naming its source file, line, ID and time, guarded on both sides, and a full self-check.
// Stands on the critical sections, the log and the system's virtual memory (the backing store).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "foundation/VtThread.h"

namespace Vantrel {

struct HeapRecord;
struct HeapMemInfo;

// Flag bits of MemTag::Flags.
enum : uint8_t {
    MEMTAG_FLAG_LINE_HIGH = 0x03,   // bits 16-17 of the line number
    MEMTAG_FLAG_USED = 0x04,
    MEMTAG_FLAG_NEXT_NEIGHBOUR = 0x08,
    MEMTAG_FLAG_PREV_NEIGHBOUR = 0x10,
    MEMTAG_FLAG_HIDDEN = 0x20,
};

// The tag at the start of every block, used or free, followed by the front guard.
struct MemTag {
    char MagicID[4];          // "VMEM"
    char Name[18];            // source file (last 17 characters when longer than 16), "NoName", "Free"
    uint8_t Flags;            // MEMTAG_FLAG_*
    uint8_t FLI;
    uint8_t SLI;
    uint8_t IDHigh;           // ID bits 16-23
    uint16_t IDLow;           // ID bits 0-15
    uint16_t Time;
    uint16_t LineLow;         // line bits 0-15
    uint32_t Size;            // bytes from this tag to the next tag
    uint8_t* AllocAddress;
    uint8_t* UserAddress;
    uint32_t UserSize;
    MemTag* Prev;
    MemTag* Next;
    MemTag* ListPrev;
    MemTag* ListNext;
    HeapRecord* Heap;
    HeapMemInfo* UseHeapMem;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MemTag) == 72, "tag layout");
#endif

// Block geometry: the front guard follows the tag, the user area starts at least
// HEAP_USER_OFFSET_MIN bytes after the tag, the end guard takes the last 16 bytes of the block.
constexpr uint32_t HEAP_GUARD_SIZE = 16;
constexpr uint8_t HEAP_GUARD_BYTE = 0xAA;
constexpr uint32_t HEAP_TAG_SIZE = (uint32_t)sizeof(MemTag);
constexpr uint32_t HEAP_USER_OFFSET_MIN = HEAP_TAG_SIZE + HEAP_GUARD_SIZE + 4;
// The least remainder that becomes a free block of its own, and the slack added to a search.
constexpr uint32_t HEAP_MIN_BLOCK = ((HEAP_TAG_SIZE + 72) + 15) & ~15u;

// The largest area the heap lays out, and so the largest block: every size of a tag is 32-bit, and
// a 32-bit process never has more than 2 GiB of address space in one piece. Both builds keep to it,
// so that a request the product cannot meet fails the same way in a 64-bit build.
constexpr uint64_t HEAP_AREA_LIMIT = 0x7FFF0000;

// 32 bytes exchanged with the backing store: word 0 the area address, word 1 its size.
struct AreaRecord {
    uintptr_t Words[32 / sizeof(uintptr_t)];
};
static_assert(sizeof(AreaRecord) == 32, "area record layout");

// One record per area, written at the area's start (rounded up to 16).
struct HeapMemInfo {
    uint8_t* RawAddress;
    uintptr_t RawSize;
    uint8_t* AlignedAddress;
    uintptr_t AlignedSize;
    uint8_t* UsableStart;
    uintptr_t UsableSize;
    int32_t UseMemTagCount;
    MemTag* FirstTag;
    HeapMemInfo* Prev;
    HeapMemInfo* Next;
    uint32_t Flags;           // bit 0: obtained from the backing store by the heap
    AreaRecord Area;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HeapMemInfo) == 76, "area info layout");
#endif

typedef int (*HeapAllocAreaProc)(void* user, AreaRecord* record, size_t size);
typedef void* (*HeapAreaAddressProc)(void* user, AreaRecord* record);
typedef size_t (*HeapAreaSizeProc)(void* user, AreaRecord* record);
typedef int (*HeapFreeAreaProc)(void* user, AreaRecord* record);

constexpr int HEAP_PLACEMENT_TLSF = 1;

struct HeapRecord {
    int AutoGrow;
    uint32_t GrowUnit;
    void* CallbackUser;
    HeapAllocAreaProc AllocArea;
    HeapAreaAddressProc AreaAddress;
    HeapAreaSizeProc AreaSize;
    HeapFreeAreaProc FreeArea;
    int PlacementMode;
    uint32_t Aligned;
    uint32_t IDCounter;
    uint16_t Time;
    int UseSeparateInfo;      // always 0: tags live inside their blocks
    HeapMemInfo* AreaList;
    int32_t FreeTagNum;
    uint64_t TotalFreeSize;
    MemTag* FirstTag;
    MemTag* LastTag;
    int32_t UseTagNum;
    uint64_t TotalUseSize;
    MemTag* UseFirstTag;
    MemTag* UseLastTag;
    CriticalSection Lock;
    int LockCreated;
    uint32_t FLBitmap;
    uint32_t SLBitmap[32];
    MemTag* ClassHead[32][32];
};

int StartHeap(HeapRecord* heap, int placementMode, uint32_t alignment, int autoGrow, uint32_t growUnit,
              void* callbackUser, HeapAllocAreaProc allocArea, HeapAreaAddressProc areaAddress,
              HeapAreaSizeProc areaSize, HeapFreeAreaProc freeArea, void* initialAddress,
              size_t initialSize);
void* ReserveMemory(HeapRecord* heap, uint32_t size, uint32_t alignment, int fromTop, const char* file,
                    int line, const void* hideArgument);
int FreeMemory(void* pointer);
void* ReallocMemory(void* pointer, uint32_t size, uint32_t alignment, const char* file, int line);
uint32_t GetAllocSize(void* pointer);
int AttachHeapMemory(HeapRecord* heap, void* address, size_t size);
int SubHeapMemory(HeapRecord* heap, void* areaAddress);
int HeapErrorCheck(HeapRecord* heap);
void LogMemoryTag(const MemTag* tag);
int LogHeapTags(HeapRecord* heap);
int SetHeapTime(HeapRecord* heap, int seconds);
int EndHeap(HeapRecord* heap);

// The tag of a user pointer (pointer minus the distance word before it).
MemTag* Heap_TagFromPointer(const void* pointer);

// The backing store over the system's virtual memory.
int BackingStore_AllocArea(void* user, AreaRecord* record, size_t size);
void* BackingStore_GetAddress(void* user, AreaRecord* record);
size_t BackingStore_GetSize(void* user, AreaRecord* record);
int BackingStore_FreeArea(void* user, AreaRecord* record);

// What the heap does after it has logged a fatal error (corruption, misuse): by default it stops
// the process. Tests may install a handler that does not return normally (it throws). The heap
// leaves its own lock before calling it.
typedef void (*HeapFatalProc)(const char* message);
extern HeapFatalProc Heap_FatalHandler;

}  // namespace Vantrel
