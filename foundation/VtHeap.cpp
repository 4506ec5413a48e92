// The library heap: two-level segregated fit over areas from a backing store, a tag and guard
// bytes around every block, dump lines and a full self-check. Stands on the critical sections, the
// log (Shift-JIS messages) and the system's virtual memory.
#include "foundation/VtHeap.h"
#include "foundation/VtWinAPI.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"
#include "foundation/VtLog.h"

namespace Vantrel {

static void Heap_StopProcess(const char* message)
{
    // The message is already in the log: end at once, as after a fatal fault.
    RaiseException(0xC0000374 /* heap corruption */, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    TerminateProcess(GetCurrentProcess(), 0xC0000374);
}

HeapFatalProc Heap_FatalHandler = Heap_StopProcess;

// ---------------------------------------------------------------------------------------------
// Small helpers

// Sizes and addresses are worked out in 64 bits and checked before they are narrowed: with 32-bit
// pointers a request near 4 GiB plus a tag, or an address plus a size, would otherwise wrap round.
// Alignments are nearly always powers of two (16): a mask then, never a division (a 64-bit
// division is a library call in a 32-bit build).
static inline uint64_t Heap_AlignUp(uint64_t value, uint64_t alignment)
{
    if ((alignment & (alignment - 1)) == 0) return (value + alignment - 1) & ~(alignment - 1);
    return (value + alignment - 1) / alignment * alignment;
}

static inline uint64_t Heap_AlignDown(uint64_t value, uint64_t alignment)
{
    if ((alignment & (alignment - 1)) == 0) return value & ~(alignment - 1);
    return value / alignment * alignment;
}

static inline uint64_t Heap_Address(const void* pointer) { return (uint64_t)(uintptr_t)pointer; }

// The alignment of one request: 0 takes the heap's, any other is at least 16 and a multiple of 16.
static inline uint64_t Heap_RequestAlignment(const HeapRecord* heap, uint32_t alignment)
{
    if (alignment == 0) return heap->Aligned;
    return Heap_AlignUp(alignment < 16 ? 16 : alignment, 16);
}

// Population count by masks and adds, inline (the compiler's builtin is a library call unless
// the target processor is known to have the instruction).
static inline int Heap_PopCount(uint32_t value)
{
    value = value - ((value >> 1) & 0x55555555u);
    value = (value & 0x33333333u) + ((value >> 2) & 0x33333333u);
    value = (value + (value >> 4)) & 0x0F0F0F0Fu;
    return (int)((value * 0x01010101u) >> 24);
}

// Highest set bit: population count of the value smeared downwards, minus 1.
static inline int Heap_HighestBit(uint32_t value)
{
    value |= value >> 1;
    value |= value >> 2;
    value |= value >> 4;
    value |= value >> 8;
    value |= value >> 16;
    return Heap_PopCount(value) - 1;
}

// Lowest set bit: 32 minus the population count of the value smeared upwards.
static inline int Heap_LowestBit(uint32_t value)
{
    value |= value << 1;
    value |= value << 2;
    value |= value << 4;
    value |= value << 8;
    value |= value << 16;
    return 32 - Heap_PopCount(value);
}

static inline void Heap_Class(uint32_t size, int* fli, int* sli)
{
    const int f = Heap_HighestBit(size);
    *fli = f;
    *sli = f >= 5 ? (int)((size & ~(1u << f)) >> (f - 5)) : 0;
}

// The class a search for size starts in: one above the size's own. 0 when that class lies past
// row 31 (no block can be that large).
static inline int Heap_SearchClass(uint64_t size, int* fli, int* sli)
{
    if ((size >> 32) != 0) return 0;
    Heap_Class((uint32_t)size, fli, sli);
    if (++*sli == 32) {
        *sli = 0;
        ++*fli;
    }
    return *fli <= 31;
}

static void Heap_LogFormat(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    CharCode_FormatV(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, buffer, sizeof(buffer), format, args);
    va_end(args);
    Log_AddTextShiftJIS(buffer);
}

static inline int Heap_IsUsed(const MemTag* tag) { return (tag->Flags & MEMTAG_FLAG_USED) != 0; }

static inline uint32_t Heap_TagLine(const MemTag* tag)
{
    return (uint32_t)tag->LineLow | ((uint32_t)(tag->Flags & MEMTAG_FLAG_LINE_HIGH) << 16);
}

static inline uint32_t Heap_TagID(const MemTag* tag) { return (uint32_t)tag->IDLow | ((uint32_t)tag->IDHigh << 16); }

static inline uint8_t* Heap_EndGuard(const MemTag* tag) { return (uint8_t*)tag + tag->Size - HEAP_GUARD_SIZE; }

// Lock state of the heap that a fatal error was found in, so the lock is left before stopping.
static void Heap_Fatal(HeapRecord* lockedHeap, const char* message)
{
    if (lockedHeap != nullptr) CriticalSection_Leave(&lockedHeap->Lock);
    Heap_FatalHandler(message);
    // A handler must not return; if it does, stop anyway.
    Heap_StopProcess(message);
}

static void Heap_WriteGuards(MemTag* tag)
{
    memset((uint8_t*)tag + HEAP_TAG_SIZE, HEAP_GUARD_BYTE, HEAP_GUARD_SIZE);
    memset(Heap_EndGuard(tag), HEAP_GUARD_BYTE, HEAP_GUARD_SIZE);
}

static inline bool Heap_GuardWordsIntact(const uint8_t* guard)
{
    uint64_t a, b;
    memcpy(&a, guard, 8);
    memcpy(&b, guard + 8, 8);
    return a == 0xAAAAAAAAAAAAAAAAull && b == 0xAAAAAAAAAAAAAAAAull;
}

// The guards of a block, and for a used block the slack between the user size and the end guard,
// which is filled with guard bytes too so that a write just past the user size is found.
static int Heap_GuardsIntact(const MemTag* tag)
{
    const uint8_t* end = Heap_EndGuard(tag);
    if (!Heap_GuardWordsIntact((const uint8_t*)tag + HEAP_TAG_SIZE) || !Heap_GuardWordsIntact(end)) return 0;
    if (Heap_IsUsed(tag)) {
        // A user range that does not lie between the front guard and the end guard is a broken tag.
        const uint64_t user = Heap_Address(tag->UserAddress), guard = Heap_Address(end);
        if (user < Heap_Address(tag) + HEAP_USER_OFFSET_MIN || user > guard || tag->UserSize > guard - user) return 0;
        const uint8_t* p = tag->UserAddress + tag->UserSize;
        for (; p + 8 <= end; p += 8) {
            uint64_t word;
            memcpy(&word, p, 8);
            if (word != 0xAAAAAAAAAAAAAAAAull) return 0;
        }
        for (; p < end; p++) {
            if (*p != HEAP_GUARD_BYTE) return 0;
        }
    }
    return 1;
}

static void Heap_SetName(MemTag* tag, const char* file)
{
    if (file == nullptr) file = "NoName";
    size_t length = strlen(file);
    if (length > 16) {
        file += length - 17;
        length = 17;
    }
    char name[sizeof(tag->Name)] = {};
    memcpy(name, file, length);
    memcpy(tag->Name, name, sizeof(name));
}

// Gives the tag the heap's next ID and the current time.
static void Heap_Stamp(HeapRecord* heap, MemTag* tag, const char* file, int line, int used, int hidden)
{
    memcpy(tag->MagicID, "VMEM", 4);
    Heap_SetName(tag, file);
    const uint32_t storedLine = line < 0 ? 0u : (uint32_t)line & 0x3FFFF;
    uint8_t flags = tag->Flags & (MEMTAG_FLAG_NEXT_NEIGHBOUR | MEMTAG_FLAG_PREV_NEIGHBOUR);
    flags |= (uint8_t)(storedLine >> 16);
    if (used) flags |= MEMTAG_FLAG_USED;
    if (hidden) flags |= MEMTAG_FLAG_HIDDEN;
    tag->Flags = flags;
    tag->LineLow = (uint16_t)storedLine;
    const uint32_t id = heap->IDCounter;
    heap->IDCounter = (id + 1) & 0xFFFFFF;
    tag->IDHigh = (uint8_t)(id >> 16);
    tag->IDLow = (uint16_t)id;
    tag->Time = heap->Time;
    tag->Heap = heap;
}

// ---------------------------------------------------------------------------------------------
// Class lists

static void Heap_ClassInsert(HeapRecord* heap, MemTag* tag)
{
    int f, s;
    Heap_Class(tag->Size, &f, &s);
    tag->FLI = (uint8_t)f;
    tag->SLI = (uint8_t)s;
    MemTag* head = heap->ClassHead[f][s];
    tag->ListPrev = nullptr;
    tag->ListNext = head;
    if (head != nullptr) head->ListPrev = tag;
    heap->ClassHead[f][s] = tag;
    heap->SLBitmap[f] |= 1u << s;
    heap->FLBitmap |= 1u << f;
}

static void Heap_ClassRemove(HeapRecord* heap, MemTag* tag)
{
    const int f = tag->FLI, s = tag->SLI;
    if (tag->ListPrev != nullptr) tag->ListPrev->ListNext = tag->ListNext;
    else heap->ClassHead[f][s] = tag->ListNext;
    if (tag->ListNext != nullptr) tag->ListNext->ListPrev = tag->ListPrev;
    tag->ListPrev = tag->ListNext = nullptr;
    if (heap->ClassHead[f][s] == nullptr) {
        heap->SLBitmap[f] &= ~(1u << s);
        if (heap->SLBitmap[f] == 0) heap->FLBitmap &= ~(1u << f);
    }
}

// ---------------------------------------------------------------------------------------------
// Chain and used list

static void Heap_ChainInsertAfter(HeapRecord* heap, MemTag* after, MemTag* tag)
{
    tag->Prev = after;
    tag->Next = after->Next;
    if (after->Next != nullptr) after->Next->Prev = tag;
    else heap->LastTag = tag;
    after->Next = tag;
}

static void Heap_ChainInsertFront(HeapRecord* heap, MemTag* tag)
{
    tag->Prev = nullptr;
    tag->Next = heap->FirstTag;
    if (heap->FirstTag != nullptr) heap->FirstTag->Prev = tag;
    else heap->LastTag = tag;
    heap->FirstTag = tag;
}

static void Heap_ChainRemove(HeapRecord* heap, MemTag* tag)
{
    if (tag->Prev != nullptr) tag->Prev->Next = tag->Next;
    else heap->FirstTag = tag->Next;
    if (tag->Next != nullptr) tag->Next->Prev = tag->Prev;
    else heap->LastTag = tag->Prev;
}

static void Heap_UsedInsert(HeapRecord* heap, MemTag* tag)
{
    MemTag* before = tag->Prev;
    while (before != nullptr && !Heap_IsUsed(before)) before = before->Prev;
    tag->ListPrev = before;
    if (before != nullptr) {
        tag->ListNext = before->ListNext;
        before->ListNext = tag;
    } else {
        tag->ListNext = heap->UseFirstTag;
        heap->UseFirstTag = tag;
    }
    if (tag->ListNext != nullptr) tag->ListNext->ListPrev = tag;
    else heap->UseLastTag = tag;
}

static void Heap_UsedRemove(HeapRecord* heap, MemTag* tag)
{
    if (tag->ListPrev != nullptr) tag->ListPrev->ListNext = tag->ListNext;
    else heap->UseFirstTag = tag->ListNext;
    if (tag->ListNext != nullptr) tag->ListNext->ListPrev = tag->ListPrev;
    else heap->UseLastTag = tag->ListPrev;
    tag->ListPrev = tag->ListNext = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Dump lines

void LogMemoryTag(const MemTag* tag)
{
    if ((tag->Flags & MEMTAG_FLAG_HIDDEN) != 0) return;
    char buffer[512];
    char name[19];
    memcpy(name, tag->Name, 18);
    name[18] = 0;
    int length = CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, buffer, 512,
                                 "\tsize:%10d(%10.3fkb)  user size:%10d(%10.3fkb)  time:%05d  file:%-26s  line:%-6d  ID:%-5d  addr:%08llx",
                                 (int)tag->Size, (double)((float)tag->Size * (1.0f / 1024.0f)), (int)tag->UserSize,
                                 (double)((float)tag->UserSize * (1.0f / 1024.0f)), (int)tag->Time, name,
                                 (int)Heap_TagLine(tag), (int)Heap_TagID(tag), (long long)(uintptr_t)tag->UserAddress);
    if (length < 0 || length > (int)sizeof(buffer) - 64) length = (int)sizeof(buffer) - 64;
    static const char hex[] = "0123456789abcdef";
    const char* data = "  data:[";
    while (*data != 0) buffer[length++] = *data++;
    const uint32_t count = tag->UserSize < 16 ? tag->UserSize : 16;
    for (uint32_t i = 0; i < count; i++) {
        buffer[length++] = hex[tag->UserAddress[i] >> 4];
        buffer[length++] = hex[tag->UserAddress[i] & 15];
        buffer[length++] = ' ';
    }
    if (count > 0) length--;
    buffer[length++] = ']';
    buffer[length++] = '\n';
    buffer[length] = 0;
    Log_AddTextShiftJIS(buffer);
}

int LogHeapTags(HeapRecord* heap)
{
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    for (MemTag* tag = heap->UseFirstTag; tag != nullptr; tag = tag->ListNext) LogMemoryTag(tag);
    CriticalSection_Leave(&heap->Lock);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Start, areas, end

int StartHeap(HeapRecord* heap, int placementMode, uint32_t alignment, int autoGrow, uint32_t growUnit,
              void* callbackUser, HeapAllocAreaProc allocArea, HeapAreaAddressProc areaAddress,
              HeapAreaSizeProc areaSize, HeapFreeAreaProc freeArea, void* initialAddress,
              size_t initialSize)
{
    if (placementMode != HEAP_PLACEMENT_TLSF || alignment > 0xFFFFFFF0u) return -1;
    memset(heap, 0, sizeof(*heap));
    CriticalSection_Create(&heap->Lock);
    heap->LockCreated = 1;
    heap->PlacementMode = placementMode;
    heap->Aligned = alignment == 0 ? 16 : (uint32_t)Heap_AlignUp(alignment, 16);
    heap->AutoGrow = autoGrow;
    heap->GrowUnit = growUnit;
    heap->CallbackUser = callbackUser;
    heap->AllocArea = allocArea;
    heap->AreaAddress = areaAddress;
    heap->AreaSize = areaSize;
    heap->FreeArea = freeArea;
    if (initialAddress != nullptr && initialSize != 0) return AttachHeapMemory(heap, initialAddress, initialSize);
    return 0;
}

// Whether [address, address + size) lies inside the address space (no wrap past its top).
static inline int Heap_RangeFits(const void* address, uint64_t size)
{
    return size <= (uint64_t)UINTPTR_MAX - Heap_Address(address);
}

// Lays out an area (record and one free tag) over [address, address + size). An area larger than
// HEAP_AREA_LIMIT is used only up to the limit, so that every size stays a 32-bit value.
static int Heap_AttachArea(HeapRecord* heap, uint8_t* address, uint64_t size, int fromBackingStore,
                           const AreaRecord* record)
{
    if (!Heap_RangeFits(address, size)) return -1;
    const uint64_t start = Heap_Address(address);
    const uint64_t alignedStart = Heap_AlignUp(start, 16);
    uint64_t end = start + size;
    if (end - start > HEAP_AREA_LIMIT) end = start + HEAP_AREA_LIMIT;
    HeapMemInfo* info = (HeapMemInfo*)(uintptr_t)alignedStart;
    const uint64_t usableStart = Heap_AlignUp(alignedStart + sizeof(HeapMemInfo), 16);
    if (end < usableStart + 2 * HEAP_MIN_BLOCK) return -1;
    memset(info, 0, sizeof(*info));
    info->RawAddress = address;
    info->RawSize = (uintptr_t)size;
    info->AlignedAddress = (uint8_t*)(uintptr_t)alignedStart;
    info->AlignedSize = (uintptr_t)(Heap_AlignDown(end, 16) - alignedStart);
    info->UsableStart = (uint8_t*)(uintptr_t)usableStart;
    info->UsableSize = (uintptr_t)Heap_AlignDown(end - usableStart, 16);
    info->Flags = fromBackingStore ? 1u : 0u;
    if (record != nullptr) info->Area = *record;
    info->Prev = nullptr;
    info->Next = heap->AreaList;
    if (heap->AreaList != nullptr) heap->AreaList->Prev = info;
    heap->AreaList = info;

    MemTag* tag = (MemTag*)(uintptr_t)usableStart;
    memset(tag, 0, sizeof(*tag));
    tag->Size = (uint32_t)info->UsableSize;
    tag->AllocAddress = (uint8_t*)tag;
    tag->UseHeapMem = info;
    Heap_Stamp(heap, tag, "Free", 0, 0, 0);
    info->FirstTag = tag;
    Heap_WriteGuards(tag);
    Heap_ChainInsertFront(heap, tag);
    Heap_ClassInsert(heap, tag);
    heap->FreeTagNum++;
    heap->TotalFreeSize += tag->Size;
    return 0;
}

// Asks the backing store for an area of at least size bytes (the heap's lock is held). A size
// beyond HEAP_AREA_LIMIT is refused as the backing store would refuse it.
static int Heap_AttachFromStore(HeapRecord* heap, uint64_t size)
{
    if (!heap->AutoGrow || heap->AllocArea == nullptr) return -1;
    const uint64_t request = Heap_AlignUp((size < 0x100000 ? 0x100000 : size) + 16, 16);
    AreaRecord record;
    memset(&record, 0, sizeof(record));
    if (request > HEAP_AREA_LIMIT || heap->AllocArea(heap->CallbackUser, &record, (size_t)request) < 0) {
        Log_AddTextShiftJIS("ヒープ用メモリの確保に失敗しました\n");
        return -1;
    }
    uint8_t* area = (uint8_t*)heap->AreaAddress(heap->CallbackUser, &record);
    const uint64_t areaSize = heap->AreaSize(heap->CallbackUser, &record);
    const int result = Heap_AttachArea(heap, area, areaSize, 1, &record);
    if (result < 0) heap->FreeArea(heap->CallbackUser, &record);
    return result;
}

int AttachHeapMemory(HeapRecord* heap, void* address, size_t size)
{
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    int result;
    if (address == nullptr) {
        result = Heap_AttachFromStore(heap, size);
    } else {
        const uint64_t alignedStart = Heap_AlignUp(Heap_Address(address), 16);
        const uint64_t alignedEnd = Heap_AlignDown(Heap_Address(address) + size, 16);
        const uint64_t least = Heap_AlignUp(sizeof(HeapMemInfo), 16) + 2 * HEAP_MIN_BLOCK;
        if (!Heap_RangeFits(address, size)) {
            Heap_LogFormat("AttachHeapMemory Error : 指定されたメモリ( 0x%016llx から %lldbyte )がアドレス空間を越えています\n",
                           (unsigned long long)Heap_Address(address), (long long)size);
            result = -1;
        } else if (alignedEnd < alignedStart || alignedEnd - alignedStart < least) {
            Heap_LogFormat("ヒープのサイズ( %dbyte )が小さすぎます、最低でも %dbyte 必要です\n", (int)size, (int)least);
            result = -1;
        } else {
            result = Heap_AttachArea(heap, (uint8_t*)address, size, 0, nullptr);
        }
    }
    CriticalSection_Leave(&heap->Lock);
    return result;
}

int SubHeapMemory(HeapRecord* heap, void* areaAddress)
{
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    HeapMemInfo* info = (HeapMemInfo*)(uintptr_t)Heap_AlignUp(Heap_Address(areaAddress), 16);
    MemTag* first = info->FirstTag;
    if (info->UseMemTagCount != 0) {
        Heap_LogFormat("SubHeapMemory Error : 使用しているメモリタグがある状態でヒープメモリを外そうとしました  HeapMemInfo->UseMemTagCount:%d\n",
                       info->UseMemTagCount);
        Heap_Fatal(heap, "SubHeapMemory");
    }
    if (Heap_IsUsed(first)) {
        Log_AddTextShiftJIS("SubHeapMemory Error : ヒープメモリを使用している先頭タグが使用メモリタグでした\n");
        LogMemoryTag(first);
        Heap_Fatal(heap, "SubHeapMemory");
    }
    if (first->UseHeapMem != info) {
        Heap_LogFormat("SubHeapMemory Error : ヒープメモリを使用している先頭タグが使用しているヒープメモリ情報と一致しません MemTag->UseHeapMem:0x%016llx  HeapMemInfo:0x%016llx\n",
                       (unsigned long long)(uintptr_t)first->UseHeapMem, (unsigned long long)(uintptr_t)info);
        LogMemoryTag(first);
        Heap_Fatal(heap, "SubHeapMemory");
    }
    if (first->Next != nullptr && first->Next->UseHeapMem == info) {
        Log_AddTextShiftJIS("SubHeapMemory Error : ヒープメモリを使用している使用メモリタグが二つ以上あります\n");
        LogMemoryTag(first->Next);
        Heap_Fatal(heap, "SubHeapMemory");
    }
    Heap_ChainRemove(heap, first);
    Heap_ClassRemove(heap, first);
    heap->FreeTagNum--;
    heap->TotalFreeSize -= first->Size;
    if (info->Prev != nullptr) info->Prev->Next = info->Next;
    else heap->AreaList = info->Next;
    if (info->Next != nullptr) info->Next->Prev = info->Prev;
    if ((info->Flags & 1) != 0 && heap->FreeArea != nullptr) {
        AreaRecord record = info->Area;
        heap->FreeArea(heap->CallbackUser, &record);
    }
    CriticalSection_Leave(&heap->Lock);
    return 0;
}

int EndHeap(HeapRecord* heap)
{
    if (!heap->LockCreated) return 0;
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    HeapMemInfo* info = heap->AreaList;
    while (info != nullptr) {
        HeapMemInfo* next = info->Next;
        if ((info->Flags & 1) != 0 && heap->FreeArea != nullptr) {
            AreaRecord record = info->Area;
            heap->FreeArea(heap->CallbackUser, &record);
        }
        info = next;
    }
    CriticalSection_Leave(&heap->Lock);
    CriticalSection_Delete(&heap->Lock);
    memset(heap, 0, sizeof(*heap));
    return 0;
}

int SetHeapTime(HeapRecord* heap, int seconds)
{
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    heap->Time = (uint16_t)seconds;
    CriticalSection_Leave(&heap->Lock);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Reserve, release

// Makes the free block at tag a used block of the given user size at userAddress, splitting off
// the rest as a free block when it is large enough. The tag has already left its class list.
static void Heap_Carve(HeapRecord* heap, MemTag* tag, uint8_t* userAddress, uint32_t userSize, uint32_t roomSize,
                       const char* file, int line, int hidden)
{
    heap->UseTagNum++;
    tag->UseHeapMem->UseMemTagCount++;
    tag->UserSize = userSize;
    tag->UserAddress = userAddress;
    tag->AllocAddress = (uint8_t*)tag;
    *(uint32_t*)(userAddress - 4) = (uint32_t)(userAddress - (uint8_t*)tag);
    Heap_Stamp(heap, tag, file, line, 1, hidden);
    Heap_UsedInsert(heap, tag);

    // The caller has checked that the room and the end guard fit inside the block.
    const uint64_t blockEnd = Heap_Address(tag) + tag->Size;
    const uint64_t nextPosition = Heap_AlignUp(Heap_Address(userAddress) + roomSize + HEAP_GUARD_SIZE, 16);
    if (blockEnd >= nextPosition + HEAP_MIN_BLOCK) {
        MemTag* rest = (MemTag*)(uintptr_t)nextPosition;
        rest->UserAddress = nullptr;
        rest->UserSize = 0;
        rest->Size = (uint32_t)(blockEnd - nextPosition);
        rest->AllocAddress = (uint8_t*)rest;
        rest->UseHeapMem = tag->UseHeapMem;
        rest->Flags = MEMTAG_FLAG_PREV_NEIGHBOUR | (tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR);
        Heap_Stamp(heap, rest, "Free", 0, 0, 0);
        Heap_ChainInsertAfter(heap, tag, rest);
        Heap_WriteGuards(rest);
        Heap_ClassInsert(heap, rest);
        tag->Flags |= MEMTAG_FLAG_NEXT_NEIGHBOUR;
        tag->Size = (uint32_t)(nextPosition - Heap_Address(tag));
    } else {
        heap->FreeTagNum--;
    }
    Heap_WriteGuards(tag);
    const uint64_t userEnd = Heap_Address(userAddress) + userSize, endGuard = Heap_Address(Heap_EndGuard(tag));
    if (userEnd < endGuard) memset(userAddress + userSize, HEAP_GUARD_BYTE, (size_t)(endGuard - userEnd));
    heap->TotalFreeSize -= tag->Size;
    heap->TotalUseSize += tag->Size;
}

// The first free block of class (f, s) or the lowest non-empty class above it, or null.
static MemTag* Heap_FindFree(HeapRecord* heap, int f, int s)
{
    uint32_t bits = heap->SLBitmap[f] & (~0u << s);
    if (bits == 0) {
        if (f == 31) return nullptr;
        const uint32_t rows = heap->FLBitmap & (~0u << (f + 1));
        if (rows == 0) return nullptr;
        f = Heap_LowestBit(rows);
        bits = heap->SLBitmap[f];
    }
    return heap->ClassHead[f][Heap_LowestBit(bits)];
}

// Adds an area from the backing store whose free block lies in the target class (where the
// search starts) or above.
static int Heap_Grow(HeapRecord* heap, uint64_t roundedSize, int targetF, int targetS)
{
    if (!heap->AutoGrow) return -1;
    uint64_t n = roundedSize;
    for (;;) {
        n += n / 100 > 0x100000 ? n / 100 : 0x100000;
        int f = 63;
        while ((n >> f) == 0) f--;
        if (f > targetF || (f == targetF && (int)((n & ~(1ull << f)) >> (f - 5)) >= targetS)) break;
    }
    for (uint64_t unit = heap->GrowUnit; unit >= 0x100000; unit /= 2) {
        if (Heap_AttachFromStore(heap, n + unit) == 0) return 0;
    }
    return -1;
}

static void* Heap_Reserve(HeapRecord* heap, uint32_t size, uint32_t alignment, const char* file, int line,
                          int hidden, int mayGrow)
{
    if (size == 0) return nullptr;
    const uint64_t l = Heap_RequestAlignment(heap, alignment);
    const uint64_t a = Heap_AlignUp(size, l);
    const uint64_t search = Heap_AlignDown(a + HEAP_MIN_BLOCK + 2 * l - 1, l);
    int f, s;
    if (!Heap_SearchClass(search, &f, &s)) return nullptr;
    // From here a and search are below 4 GiB.
    MemTag* tag = Heap_FindFree(heap, f, s);
    if (tag == nullptr) {
        if (!mayGrow || Heap_Grow(heap, a, f, s) < 0) return nullptr;
        // The block that made the heap grow records the rounded size.
        return Heap_Reserve(heap, (uint32_t)a, alignment, file, line, hidden, 0);
    }
    const uint64_t userOffset = Heap_AlignUp(Heap_Address(tag) + HEAP_USER_OFFSET_MIN, l) - Heap_Address(tag);
    if (userOffset + a + HEAP_GUARD_SIZE > tag->Size) {
        Heap_LogFormat("TLSF カテゴリ構造エラー 2  MemTag->Size %d\n", (int)tag->Size);
        Heap_Fatal(heap, "TLSF");
    }
    uint8_t* const user = (uint8_t*)tag + userOffset;
    Heap_ClassRemove(heap, tag);
    Heap_Carve(heap, tag, user, size, (uint32_t)a, file, line, hidden);
    return user;
}

void* ReserveMemory(HeapRecord* heap, uint32_t size, uint32_t alignment, int fromTop, const char* file, int line,
                    const void* hideArgument)
{
    if (size == 0) return nullptr;
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    void* result = Heap_Reserve(heap, size, alignment, file, line, hideArgument != nullptr, 1);
    CriticalSection_Leave(&heap->Lock);
    return result;
}

MemTag* Heap_TagFromPointer(const void* pointer)
{
    const uint8_t* user = (const uint8_t*)pointer;
    return (MemTag*)(user - *(const uint32_t*)(user - 4));
}

// Turns a used block into a free one; merges with a free previous neighbour when mergeBackwards
// and with a free next neighbour. The result is not filed in a class yet.
static MemTag* Heap_ReleaseTag(HeapRecord* heap, MemTag* tag, int mergeBackwards)
{
    heap->UseTagNum--;
    tag->UseHeapMem->UseMemTagCount--;
    heap->FreeTagNum++;
    heap->TotalUseSize -= tag->Size;
    heap->TotalFreeSize += tag->Size;
    tag->Flags &= (uint8_t)~(MEMTAG_FLAG_USED | MEMTAG_FLAG_HIDDEN);
    Heap_UsedRemove(heap, tag);
    if (mergeBackwards && (tag->Flags & MEMTAG_FLAG_PREV_NEIGHBOUR) != 0 && !Heap_IsUsed(tag->Prev)) {
        MemTag* previous = tag->Prev;
        Heap_ClassRemove(heap, previous);
        previous->Size += tag->Size;
        Heap_ChainRemove(heap, tag);
        previous->Flags = (uint8_t)((previous->Flags & ~MEMTAG_FLAG_NEXT_NEIGHBOUR) | (tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR));
        heap->FreeTagNum--;
        tag = previous;
    }
    if ((tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR) != 0 && !Heap_IsUsed(tag->Next)) {
        MemTag* next = tag->Next;
        Heap_ClassRemove(heap, next);
        tag->Size += next->Size;
        Heap_ChainRemove(heap, next);
        tag->Flags = (uint8_t)((tag->Flags & ~MEMTAG_FLAG_NEXT_NEIGHBOUR) | (next->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR));
        heap->FreeTagNum--;
    }
    return tag;
}

int FreeMemory(void* pointer)
{
    if (pointer == nullptr) return 0;
    MemTag* tag = Heap_TagFromPointer(pointer);
    if (memcmp(tag->MagicID, "VMEM", 4) != 0) {
        Log_AddTextShiftJIS("FreeMemory Error : メモリタグの MagicID が不正です、誤ったメモリアドレスが渡されたか、メモリが破壊されています\n");
        Heap_Fatal(nullptr, "FreeMemory");
    }
    HeapRecord* heap = tag->Heap;
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    if (!Heap_IsUsed(tag)) {
        Log_AddTextShiftJIS("FreeMemory Error : 解放済みのメモリに対して再度解放しようとしました\n");
        LogMemoryTag(tag);
        Heap_Fatal(heap, "FreeMemory");
    }
    if (!Heap_GuardsIntact(tag)) {
        Log_AddTextShiftJIS("FreeMemory Error : デバッグ領域の破壊を確認しました、メモリの不正なアクセスが発生したことが考えられます\n");
        LogMemoryTag(tag);
        Heap_Fatal(heap, "FreeMemory");
    }
    HeapMemInfo* area = tag->UseHeapMem;
    MemTag* freed = Heap_ReleaseTag(heap, tag, 1);
    Heap_Stamp(heap, freed, "Free", 0, 0, 0);
    Heap_ClassInsert(heap, freed);
    if (area->UseMemTagCount == 0 && (area->Flags & 1) != 0) SubHeapMemory(heap, area->RawAddress);
    CriticalSection_Leave(&heap->Lock);
    return 0;
}

uint32_t GetAllocSize(void* pointer)
{
    MemTag* tag = Heap_TagFromPointer(pointer);
    if (memcmp(tag->MagicID, "VMEM", 4) != 0) {
        Log_AddTextShiftJIS("GetAllocSize Error : メモリタグの MagicID が不正です、誤ったメモリアドレスが渡されたか、メモリが破壊されています\n");
        Heap_Fatal(nullptr, "GetAllocSize");
    }
    if (!Heap_IsUsed(tag)) {
        Log_AddTextShiftJIS("GetAllocSize Error : 解放済みのメモリに対して確保メモリサイズの取得を行おうとしました\n");
        LogMemoryTag(tag);
        Heap_Fatal(nullptr, "GetAllocSize");
    }
    return tag->UserSize;
}

void* ReallocMemory(void* pointer, uint32_t size, uint32_t alignment, const char* file, int line)
{
    if (pointer == nullptr) return nullptr;
    MemTag* tag = Heap_TagFromPointer(pointer);
    if (memcmp(tag->MagicID, "VMEM", 4) != 0) {
        Log_AddTextShiftJIS("ReallocMemory Error : メモリタグの MagicID が不正です、誤ったメモリアドレスが渡されたか、メモリが破壊されています\n");
        Heap_Fatal(nullptr, "ReallocMemory");
    }
    HeapRecord* heap = tag->Heap;
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    if (size == 0) {
        CriticalSection_Leave(&heap->Lock);
        return nullptr;
    }
    if (!Heap_IsUsed(tag)) {
        Log_AddTextShiftJIS("ReallocMemory Error : 解放済みのメモリに対して再確保をしようとしました\n");
        LogMemoryTag(tag);
        Heap_Fatal(heap, "ReallocMemory");
    }
    if (!Heap_GuardsIntact(tag)) {
        Log_AddTextShiftJIS("ReallocMemory Error : デバッグ領域の破壊を確認しました、メモリの不正なアクセスが発生したことが考えられます\n");
        LogMemoryTag(tag);
        Heap_Fatal(heap, "ReallocMemory");
    }
    if (size == tag->UserSize) {
        Heap_Stamp(heap, tag, file, line, 1, 0);
        CriticalSection_Leave(&heap->Lock);
        return pointer;
    }
    const uint64_t l = Heap_RequestAlignment(heap, alignment);
    const uint64_t m = Heap_AlignUp(size, l);
    uint8_t* const user = tag->UserAddress;
    const uint64_t span = Heap_Address(Heap_EndGuard(tag)) - Heap_Address(user);
    const uint64_t room = Heap_AlignDown(span, l);
    uint64_t roomWithNext = 0;
    if ((tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR) != 0 && !Heap_IsUsed(tag->Next)) {
        roomWithNext = Heap_AlignDown(span + tag->Next->Size, l);
    }
    if (m <= room || m <= roomWithNext) {
        // In place: release without merging backwards or returning the area, carve again.
        MemTag* freed = Heap_ReleaseTag(heap, tag, 0);
        (void)freed;
        Heap_Carve(heap, tag, user, size, (uint32_t)m, file, line, 0);
        CriticalSection_Leave(&heap->Lock);
        return pointer;
    }
    void* moved = Heap_Reserve(heap, size, alignment, file, line, 0, 1);
    if (moved == nullptr) {
        CriticalSection_Leave(&heap->Lock);
        return nullptr;
    }
    // Copy what the caller may have used of the old block: its user size (the rest is guard fill).
    memcpy(moved, user, tag->UserSize < size ? tag->UserSize : size);
    FreeMemory(pointer);
    CriticalSection_Leave(&heap->Lock);
    return moved;
}

// ---------------------------------------------------------------------------------------------
// Self-check

int HeapErrorCheck(HeapRecord* heap)
{
    CriticalSection_Enter(&heap->Lock, "VtHeap", __LINE__);
    uint64_t totalSize = 0;
    for (MemTag* tag = heap->FirstTag; tag != nullptr; tag = tag->Next) {
        if (memcmp(tag->MagicID, "VMEM", 4) != 0) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : メモリタグの MagicID が不正です、誤ったメモリアドレスが渡されたか、メモリが破壊されています\n");
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        HeapMemInfo* area = tag->UseHeapMem;
        if (area == nullptr || (uint8_t*)tag < area->UsableStart ||
            Heap_Address(tag) + tag->Size > Heap_Address(area->UsableStart) + area->UsableSize) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : メモリタグが確保したヒープメモリの範囲にありません  Heap->UseSeparateInfo = FALSE\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        if (!Heap_GuardsIntact(tag)) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : デバッグ領域の破壊を確認しました、メモリの不正なアクセスが発生したことが考えられます\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
    }
    for (MemTag* tag = heap->FirstTag; tag != nullptr; tag = tag->Next) {
        if (((uintptr_t)tag & 15) != 0) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : メモリタグのアラインが不正です  Heap->UseSeparateInfo = FALSE\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        totalSize += tag->Size;
    }
    if (totalSize != heap->TotalUseSize + heap->TotalFreeSize) {
        Heap_LogFormat("HeapErrorCheck Error : 総メモリサイズが一致しません  TotalSize:%lld   ( Heap->TotalUseSize + Heap->TotalFreeSize ):%lld\n",
                       (long long)totalSize, (long long)(heap->TotalUseSize + heap->TotalFreeSize));
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    uint64_t areaSize = 0;
    for (HeapMemInfo* area = heap->AreaList; area != nullptr; area = area->Next) areaSize += area->UsableSize;
    if (totalSize != areaSize) {
        Heap_LogFormat("HeapErrorCheck Error : 総メモリサイズが一致しません  TotalSize:%lld   TotalSize2:%lld\n",
                       (long long)totalSize, (long long)areaSize);
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    for (MemTag* tag = heap->FirstTag; tag != nullptr; tag = tag->Next) {
        if ((tag->Flags & MEMTAG_FLAG_PREV_NEIGHBOUR) != 0 &&
            (tag->Prev == nullptr || Heap_Address(tag->Prev) + tag->Prev->Size != Heap_Address(tag))) {
            Heap_LogFormat("HeapErrorCheck Error : メモリタグの連結情報が不正です  ( MemTag->Prev + MemTag->Prev->Size ):0x%016llx  MemTag:0x%016llx\n",
                           (unsigned long long)(tag->Prev ? Heap_Address(tag->Prev) + tag->Prev->Size : 0),
                           (unsigned long long)(uintptr_t)tag);
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        if ((tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR) != 0 &&
            (tag->Next == nullptr || Heap_Address(tag) + tag->Size != Heap_Address(tag->Next))) {
            Heap_LogFormat("HeapErrorCheck Error : メモリタグの連結情報が不正です  MemTag->Next:0x%016llx  ( MemTag + MemTag->Size ):0x%016llx\n",
                           (unsigned long long)(uintptr_t)tag->Next, (unsigned long long)(Heap_Address(tag) + tag->Size));
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
    }
    for (MemTag* tag = heap->FirstTag; tag != nullptr; tag = tag->Next) {
        if (Heap_IsUsed(tag)) continue;
        if ((tag->Flags & MEMTAG_FLAG_PREV_NEIGHBOUR) != 0 && !Heap_IsUsed(tag->Prev)) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : 空きメモリタグが下位メモリアドレス方向に連続しています\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        if ((tag->Flags & MEMTAG_FLAG_NEXT_NEIGHBOUR) != 0 && !Heap_IsUsed(tag->Next)) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : 空きメモリタグが上位メモリアドレス方向に連続しています\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
    }
    int32_t useCount = 0;
    uint64_t useSize = 0;
    for (MemTag* tag = heap->UseFirstTag; tag != nullptr; tag = tag->ListNext) {
        if (!Heap_IsUsed(tag)) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : 使用メモリタグのリストの中に空きメモリタグがありました\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        useCount++;
        useSize += tag->Size;
    }
    if (useCount != heap->UseTagNum) {
        Heap_LogFormat("HeapErrorCheck Error : 使用メモリタグの数が一致しません  UseNum:%d  Heap->UseTagNum:%d\n", useCount,
                       heap->UseTagNum);
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    if (useSize != heap->TotalUseSize) {
        Heap_LogFormat("HeapErrorCheck Error : 使用メモリのサイズが一致しません  TotalUseSize:%lld  Heap->TotalUseSize:%lld\n",
                       (long long)useSize, (long long)heap->TotalUseSize);
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    int32_t freeCount = 0;
    uint64_t freeSize = 0;
    for (int i = 0; i < 32; i++) {
        if ((heap->FLBitmap & (1u << i)) == 0) continue;
        if (heap->SLBitmap[i] == 0) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : TLSFエラー　　カテゴリ１テーブルエラー\n");
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        for (int j = 0; j < 32; j++) {
            if ((heap->SLBitmap[i] & (1u << j)) == 0) continue;
            if (heap->ClassHead[i][j] == nullptr) {
                Log_AddTextShiftJIS("HeapErrorCheck Error : TLSFエラー　　カテゴリ２テーブルエラー\n");
                Heap_Fatal(heap, "HeapErrorCheck");
            }
            for (MemTag* tag = heap->ClassHead[i][j]; tag != nullptr; tag = tag->ListNext) {
                int msb, sli;
                Heap_Class(tag->Size, &msb, &sli);
                if (msb != i || sli != j) {
                    Heap_LogFormat("HeapErrorCheck Error : TLSFエラー　　空きメモリタグサイズエラー  MSB:%d  i:%d  SLI:%d  j:%d\n", msb, i,
                                   sli, j);
                    Heap_Fatal(heap, "HeapErrorCheck");
                }
                if (tag->FLI != msb || tag->SLI != sli) {
                    Heap_LogFormat("HeapErrorCheck Error : TLSFエラー　　空きメモリタグカテゴリ情報エラー  MemTag->FLI:%d  MSB:%d  MemTag->SLI:%d  SLI:%d\n",
                                   (int)tag->FLI, msb, (int)tag->SLI, sli);
                    Heap_Fatal(heap, "HeapErrorCheck");
                }
                if (Heap_IsUsed(tag)) {
                    Log_AddTextShiftJIS("HeapErrorCheck Error : TLSFエラー　　空きメモリタグリストに使用メモリタグが含まれていました\n");
                    LogMemoryTag(tag);
                    Heap_Fatal(heap, "HeapErrorCheck");
                }
                freeCount++;
                freeSize += tag->Size;
            }
        }
    }
    // A second-level bit without its row bit hides blocks from the search: a broken index too.
    for (int i = 0; i < 32; i++) {
        if ((heap->FLBitmap & (1u << i)) == 0 && heap->SLBitmap[i] != 0) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : TLSFエラー　　カテゴリ１テーブルエラー\n");
            Heap_Fatal(heap, "HeapErrorCheck");
        }
    }
    if (freeCount != heap->FreeTagNum) {
        Heap_LogFormat("HeapErrorCheck Error : 空きメモリタグの数が一致しません  FreeNum:%d  Heap->FreeTagNum:%d\n", freeCount,
                       heap->FreeTagNum);
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    if (freeSize != heap->TotalFreeSize) {
        Heap_LogFormat("HeapErrorCheck Error : 空きメモリのサイズが一致しません  TotalFreeSize:%lld  Heap->TotalFreeSize:%lld\n",
                       (long long)freeSize, (long long)heap->TotalFreeSize);
        Heap_Fatal(heap, "HeapErrorCheck");
    }
    for (MemTag* tag = heap->UseFirstTag; tag != nullptr; tag = tag->ListNext) {
        if (((uintptr_t)tag->UserAddress % heap->Aligned) != 0) {
            Heap_LogFormat("HeapErrorCheck Error : ユーザーメモリのアラインが指定されたアラインと異なります  MemTag->UserAddress:0x%016llx  Heap->Aligned:0x%08x\n",
                           (unsigned long long)(uintptr_t)tag->UserAddress, heap->Aligned);
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
        if (Heap_TagFromPointer(tag->UserAddress) != tag) {
            Log_AddTextShiftJIS("HeapErrorCheck Error : ユーザーメモリが確保したヒープメモリの範囲にありません  Heap->UseSeparateInfo = FALSE\n");
            LogMemoryTag(tag);
            Heap_Fatal(heap, "HeapErrorCheck");
        }
    }
    CriticalSection_Leave(&heap->Lock);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Backing store over virtual memory

int BackingStore_AllocArea(void* user, AreaRecord* record, size_t size)
{
    WinAPI_EnsureLoaded();
    void* address = WinAPITable.VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (address == nullptr) return -1;
    MEMORY_BASIC_INFORMATION info;
    if (WinAPITable.VirtualQuery(address, &info, sizeof(info)) == 0) {
        WinAPITable.VirtualFree(address, 0, MEM_RELEASE);
        return -1;
    }
    memset(record, 0, sizeof(*record));
    record->Words[0] = (uintptr_t)address;
    record->Words[1] = (uintptr_t)info.RegionSize;
    return 0;
}

void* BackingStore_GetAddress(void* user, AreaRecord* record) { return (void*)record->Words[0]; }

size_t BackingStore_GetSize(void* user, AreaRecord* record) { return (size_t)record->Words[1]; }

int BackingStore_FreeArea(void* user, AreaRecord* record)
{
    WinAPI_EnsureLoaded();
    WinAPITable.VirtualFree((void*)record->Words[0], 0, MEM_RELEASE);
    return 0;
}

}  // namespace Vantrel
