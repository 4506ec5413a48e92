// VtHandle: the handle manager. Gives out integer handles (type, check value, slot), finds records
// from handles, deletes records at once or later on the main thread, and counts the loading jobs
// that still work on each record. Stands on VtMemory, VtLog, VtThread and VtASyncLoad.
#pragma once

#include <cstdint>

#include "foundation/VtThread.h"

namespace Vantrel {

// A handle: bit 31 clear, bits 26-30 the type, bits 18-25 the check value, bits 0-17 the slot.
typedef int32_t HandleValue;

constexpr int32_t HandleValue_None = -1;
constexpr int32_t HandleValue_TypeMask = 0x7C000000;
constexpr int32_t HandleValue_CheckMask = 0x03FC0000;
constexpr int32_t HandleValue_SlotMask = 0x0003FFFF;
constexpr int HandleValue_TypeShift = 26;
constexpr int HandleValue_CheckShift = 18;
// Check values run 0..254; 255 is never given out.
constexpr int HandleValue_CheckLimit = 255;

enum HandleType : int {
    HandleType_Graph = 1,
    HandleType_SoftImage = 2,
    HandleType_Sound = 3,
    HandleType_SoftSound = 4,
    HandleType_Music = 5,
    HandleType_Movie = 6,
    HandleType_Mask = 7,
    HandleType_Font = 8,
    HandleType_KeyInput = 9,      // kept in the key-input module's own table, no manager
    HandleType_Network = 10,      // asked for by the network messages, never registered
    HandleType_Light = 11,        // kept in the graphics core's own table, no manager
    HandleType_Shader = 12,
    HandleType_VertexBuffer = 15,
    HandleType_IndexBuffer = 16,
    HandleType_File = 17,
    HandleType_ShadowMap = 18,
    HandleType_ShaderConstantBuffer = 19,
    HandleType_Live2DModel = 20,
};
constexpr int HandleType_Count = 32;

// Builds a handle value from its parts (also used by modules that keep handles in own tables).
constexpr HandleValue Handle_MakeValue(int type, int check, int slot)
{
    return (HandleValue)(((uint32_t)(type & 31) << HandleValue_TypeShift) | ((uint32_t)(check & 255) << HandleValue_CheckShift) |
                         ((uint32_t)slot & (uint32_t)HandleValue_SlotMask));
}
constexpr int Handle_TypeOf(HandleValue handle) { return (handle & HandleValue_TypeMask) >> HandleValue_TypeShift; }
constexpr int Handle_CheckOf(HandleValue handle) { return (handle & HandleValue_CheckMask) >> HandleValue_CheckShift; }
constexpr int Handle_SlotOf(HandleValue handle) { return handle & HandleValue_SlotMask; }

// Node of a handle list. A list is a pair of sentinels (handle -1, record null): the start
// sentinel's Next is the first node, the end sentinel's Prev the last node.
struct HandleListNode {
    int Handle;
    void* Record;
    HandleListNode* Next;
    HandleListNode* Prev;
};

struct PointerListNode {
    void* Data;
    PointerListNode* Next;
    PointerListNode* Prev;
};

typedef void (*HandleLoadDoneCallback)(HandleValue handle, void* userData);

// The common start of every handle record; the type's own fields follow it.
struct HandleHeader {
    int CheckValue;                 // 0-254
    HandleValue Handle;
    int RecordSize;                 // bytes including this header
    int* DeleteNotify;              // set to -1 when the handle is deleted
    int ASyncLoadCount;             // loading jobs still working on the record
    int ASyncLoadResult;            // result the job procedure stored
    int JobIndex;                   // job table index of the pending job, -1 while unknown
    int DeleteAfterLoad;            // delete the handle once its last job ends
    HandleLoadDoneCallback LoadDoneCallback;
    void* LoadDoneUserData;
    HandleListNode LiveNode;
    int DeleteRequested;
    HandleListNode DeleteRequestNode;
};

typedef void (*HandleInitCallback)(HandleHeader* record);
typedef int (*HandleTerminateCallback)(HandleHeader* record);   // 1 refuses the deletion
typedef int (*HandleDumpCallback)(HandleHeader* record);
typedef int (*HandleKeepFilter)(HandleHeader* record);         // non-zero keeps the record

// The per-type manager. Other modules read Initialized, Slots, TypeMask, MaxCount and Lock
// directly to validate handles in their hot paths.
struct HandleManager {
    int Initialized;
    HandleHeader** Slots;           // MaxCount record pointers
    HandleListNode LiveListEnd;
    HandleListNode LiveListStart;
    int TypeMask;                   // type << 26
    int RecordSize;
    int MaxCount;
    int Count;
    int LowestUsed;
    int HighestUsed;
    int CheckCounter;               // survives a shutdown of the type
    CriticalSection Lock;
    HandleInitCallback InitCallback;
    HandleTerminateCallback TerminateCallback;
    HandleDumpCallback DumpCallback;  // kept for the owning module; never called here
    const wchar_t* Name;            // as given (library's wide code page)
    wchar_t NameUTF16[64];
    int DeleteRequestCount;
    HandleListNode DeleteListEnd;
    HandleListNode DeleteListStart;
};

extern HandleManager HandleManagerTable[HandleType_Count];

// The initialise callback of handle types whose records need nothing beyond the zeroing that every new
// record gets: it does nothing.
void Common_ReturnZero(HandleHeader* record);

// Types.
int Handle_Type_Setup(int type, int recordSize, int maxCount, HandleInitCallback initCallback,
                      HandleTerminateCallback terminateCallback, HandleDumpCallback dumpCallback,
                      const wchar_t* name);
int Handle_Type_Shutdown(int type);

// Handles.
HandleValue Handle_New(int type, int createdInJob, HandleValue wantedHandle);
HandleHeader* Handle_GetRecord(HandleValue handle);        // no lock
int Handle_Delete(HandleValue handle, int loaderContext, int delay);
int Handle_DeleteNow(HandleValue handle);
int Handle_DeleteAll(int type, HandleKeepFilter keepFilter);
int Handle_ProcessDeleteRequests(int wait);
int Handle_ResizeRecord(HandleValue handle, int newSize);
int Handle_SetDeleteNotify(HandleValue handle, int* notify); // no lock

// Loading jobs on records. Begin counts a queued job in (after ASyncLoad_Entry_Enqueue), End counts
// it out (from the job procedure); the two may arrive in either order.
int Handle_IsASyncLoading(HandleValue handle);
int Handle_ASyncLoad_Begin(HandleValue handle, int jobIndex);
int Handle_ASyncLoad_End(HandleValue handle);
int Handle_ASyncLoad_Wait(HandleValue handle);

// Lists with start and end sentinels.
int Handle_List_Init(HandleListNode* end, HandleListNode* start);
int Handle_List_Append(HandleListNode* end, HandleListNode* node, HandleValue handle, void* record);
int Handle_List_Remove(HandleListNode* node);
int Handle_PtrList_Init(PointerListNode* end, PointerListNode* start);
int Handle_PtrList_Append(PointerListNode* end, PointerListNode* node, void* data);
int Handle_PtrList_Remove(PointerListNode* node);

// Calls `visit` with every live record of a handle type, each after its asynchronous load has
// finished (the back-ends release and re-create their device objects this way).
template <typename Record, typename Visit>
void Handle_ForEachRecord(int type, Visit visit) {
    HandleManager& manager = HandleManagerTable[type];
    if (!manager.Initialized || manager.Slots == nullptr) return;
    for (int slot = manager.LowestUsed; slot <= manager.HighestUsed && slot < manager.MaxCount; ++slot) {
        Record* record = reinterpret_cast<Record*>(manager.Slots[slot]);
        if (record == nullptr) continue;
        if (record->Header.ASyncLoadCount > 0) Handle_ASyncLoad_Wait(record->Header.Handle);
        visit(record);
    }
}

}  // namespace Vantrel
