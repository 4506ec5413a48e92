// VtHandle: the handle manager. One manager per handle type holds the records in slots; handles carry
// the type, a check value and the slot, so a stale handle is refused. Deletion at once, on request
// (carried out on the main thread) and after loading. Stands on VtMemory, VtLog, VtThread, VtASyncLoad.
#include "foundation/VtHandle.h"

#include <cstring>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"

namespace Vantrel {

HandleManager HandleManagerTable[HandleType_Count];

#define HANDLE_LOCK(manager) CriticalSection_Enter(&(manager)->Lock, "VtHandle", __LINE__)
#define HANDLE_UNLOCK(manager) CriticalSection_Leave(&(manager)->Lock)

// The manager of a handle's type when it is set up, else null.
static HandleManager* Handle_ManagerOf(HandleValue handle)
{
    if (handle < 0) return nullptr;
    HandleManager* manager = &HandleManagerTable[Handle_TypeOf(handle)];
    return manager->Initialized ? manager : nullptr;
}

// The record of a valid handle, else null. Callers that change records hold the type's lock.
static HandleHeader* Handle_Validate(HandleManager* manager, HandleValue handle)
{
    if (manager == nullptr || !manager->Initialized || handle < 0) return nullptr;
    if ((handle & HandleValue_TypeMask) != manager->TypeMask) return nullptr;
    const int slot = Handle_SlotOf(handle);
    if (slot >= manager->MaxCount) return nullptr;
    HandleHeader* record = manager->Slots[slot];
    if (record == nullptr) return nullptr;
    if ((record->CheckValue << HandleValue_CheckShift) != (handle & HandleValue_CheckMask)) return nullptr;
    return record;
}

// Takes the type's lock and validates the handle under it: the record with the lock held, or null
// with the lock left again.
static HandleHeader* Handle_LockRecord(HandleManager* manager, HandleValue handle)
{
    HANDLE_LOCK(manager);
    HandleHeader* record = Handle_Validate(manager, handle);
    if (record == nullptr) HANDLE_UNLOCK(manager);
    return record;
}

// ---- Lists ---------------------------------------------------------------------------------------

// The linking both list kinds share. An empty list is its two sentinels joined; append puts a node
// before the end sentinel; unlink takes a node out from between its neighbours.
template <typename Node>
static void Handle_LinkSentinels(Node* end, Node* start)
{
    start->Prev = nullptr;
    start->Next = end;
    end->Next = nullptr;
    end->Prev = start;
}

template <typename Node>
static void Handle_LinkBefore(Node* end, Node* node)
{
    node->Prev = end->Prev;
    node->Next = end;
    end->Prev->Next = node;
    end->Prev = node;
}

template <typename Node>
static void Handle_Unlink(Node* node)
{
    if (node->Prev != nullptr) node->Prev->Next = node->Next;
    if (node->Next != nullptr) node->Next->Prev = node->Prev;
}

int Handle_List_Init(HandleListNode* end, HandleListNode* start)
{
    start->Handle = -1;
    start->Record = nullptr;
    end->Handle = -1;
    end->Record = nullptr;
    Handle_LinkSentinels(end, start);
    return 0;
}

int Handle_List_Append(HandleListNode* end, HandleListNode* node, HandleValue handle, void* record)
{
    node->Handle = handle;
    node->Record = record;
    Handle_LinkBefore(end, node);
    return 0;
}

int Handle_List_Remove(HandleListNode* node)
{
    Handle_Unlink(node);
    node->Next = nullptr;
    node->Prev = nullptr;
    return 0;
}

int Handle_PtrList_Init(PointerListNode* end, PointerListNode* start)
{
    start->Data = nullptr;
    end->Data = nullptr;
    Handle_LinkSentinels(end, start);
    return 0;
}

int Handle_PtrList_Append(PointerListNode* end, PointerListNode* node, void* data)
{
    node->Data = data;
    Handle_LinkBefore(end, node);
    return 0;
}

int Handle_PtrList_Remove(PointerListNode* node)
{
    Handle_Unlink(node);
    return 0;
}

// ---- Types ---------------------------------------------------------------------------------------

void Common_ReturnZero(HandleHeader*) {}

int Handle_Type_Setup(int type, int recordSize, int maxCount, HandleInitCallback initCallback,
                      HandleTerminateCallback terminateCallback, HandleDumpCallback dumpCallback,
                      const wchar_t* name)
{
    if (type < 0 || type >= HandleType_Count) return -1;
    HandleManager* manager = &HandleManagerTable[type];
    if (manager->Initialized) return -1;
    if (recordSize < (int)sizeof(HandleHeader) || maxCount <= 0 || maxCount > HandleValue_SlotMask + 1) return -1;

    const int checkCounter = manager->CheckCounter;
    memset((void*)manager, 0, sizeof(*manager));
    manager->CheckCounter = checkCounter;

    manager->TypeMask = type << HandleValue_TypeShift;
    manager->RecordSize = recordSize;
    manager->MaxCount = maxCount;
    manager->InitCallback = initCallback;
    manager->TerminateCallback = terminateCallback;
    manager->DumpCallback = dumpCallback;
    manager->Name = name;
    if (name != nullptr) {
        int i = 0;
        for (; i < 63 && name[i] != 0; i++) manager->NameUTF16[i] = name[i];
        manager->NameUTF16[i] = 0;
    }

    manager->Slots = (HandleHeader**)Memory_AllocateZeroed((uint32_t)(sizeof(HandleHeader*) * (size_t)maxCount), "VtHandle", __LINE__);
    if (manager->Slots == nullptr) return -1;
    Handle_List_Init(&manager->LiveListEnd, &manager->LiveListStart);
    Handle_List_Init(&manager->DeleteListEnd, &manager->DeleteListStart);
    CriticalSection_Create(&manager->Lock);
    manager->Initialized = 1;
    return 0;
}

// Frees a record and clears its slot; the caller holds the lock.
static void Handle_Release(HandleManager* manager, HandleHeader* record)
{
    const int slot = Handle_SlotOf(record->Handle);
    if (record->DeleteNotify != nullptr) *record->DeleteNotify = -1;
    Handle_List_Remove(&record->LiveNode);
    if (record->DeleteRequested) {
        Handle_List_Remove(&record->DeleteRequestNode);
        manager->DeleteRequestCount--;
    }
    manager->Slots[slot] = nullptr;
    Memory_Free(record);
    manager->Count--;

    if (manager->Count == 0) {
        manager->LowestUsed = 0;
        manager->HighestUsed = 0;
    } else {
        if (slot == manager->HighestUsed) {
            int s = slot - 1;
            while (s > 0 && manager->Slots[s] == nullptr) s--;
            manager->HighestUsed = s;
        }
        if (slot == manager->LowestUsed) {
            int s = slot + 1;
            while (s < manager->HighestUsed && manager->Slots[s] == nullptr) s++;
            manager->LowestUsed = s;
        }
    }
}

int Handle_Type_Shutdown(int type)
{
    if (type < 0 || type >= HandleType_Count) return -1;
    HandleManager* manager = &HandleManagerTable[type];
    if (!manager->Initialized) return -1;

    Handle_DeleteAll(type, nullptr);

    // Records still waiting for a requested deletion go now; what a terminate callback still
    // refuses is freed without it, since the slots go away.
    HANDLE_LOCK(manager);
    while (manager->DeleteListStart.Next != &manager->DeleteListEnd) {
        const HandleValue handle = manager->DeleteListStart.Next->Handle;
        HandleHeader* record = (HandleHeader*)manager->DeleteListStart.Next->Record;
        HANDLE_UNLOCK(manager);
        Handle_DeleteNow(handle);
        HANDLE_LOCK(manager);
        if (manager->DeleteListStart.Next->Record == record) Handle_Release(manager, record);
    }
    while (manager->LiveListStart.Next != &manager->LiveListEnd)
        Handle_Release(manager, (HandleHeader*)manager->LiveListStart.Next->Record);
    Memory_Free(manager->Slots);
    manager->Slots = nullptr;
    HANDLE_UNLOCK(manager);
    CriticalSection_Delete(&manager->Lock);

    const int checkCounter = manager->CheckCounter;
    memset((void*)manager, 0, sizeof(*manager));
    manager->CheckCounter = checkCounter;
    return 0;
}

// ---- Creation and lookup -------------------------------------------------------------------------

HandleValue Handle_New(int type, int createdInJob, HandleValue wantedHandle)
{
    if (type < 0 || type >= HandleType_Count) return -1;
    HandleManager* manager = &HandleManagerTable[type];
    if (!manager->Initialized) return -1;

    HANDLE_LOCK(manager);
    if (manager->Count >= manager->MaxCount) {
        Log_AddFormatUTF16(L"%sハンドルの数が限界数( %d )に達していて新たなハンドルを作成できません", manager->NameUTF16, manager->MaxCount);
        HANDLE_UNLOCK(manager);
        return -1;
    }
    // A wanted handle must name a slot of this type and a check value that is ever given out.
    if (wantedHandle >= 0 && (Handle_SlotOf(wantedHandle) >= manager->MaxCount || Handle_CheckOf(wantedHandle) >= HandleValue_CheckLimit)) {
        HANDLE_UNLOCK(manager);
        return -1;
    }

    int slot;
    if (wantedHandle >= 0 && manager->Slots[Handle_SlotOf(wantedHandle)] == nullptr) {
        slot = Handle_SlotOf(wantedHandle);
    } else if (manager->Count == 0) {
        slot = 0;
    } else if (manager->HighestUsed + 1 < manager->MaxCount) {
        slot = manager->HighestUsed + 1;
    } else if (manager->LowestUsed > 0) {
        slot = manager->LowestUsed - 1;
    } else {
        slot = 0;
        while (manager->Slots[slot] != nullptr) slot++;
    }

    HandleHeader* record = (HandleHeader*)Memory_AllocateZeroed((uint32_t)manager->RecordSize, "VtHandle", __LINE__);
    if (record == nullptr) {
        Log_AddFormatUTF16(L"%sハンドルのデータを格納するメモリ領域の確保に失敗しました", manager->NameUTF16);
        HANDLE_UNLOCK(manager);
        return -1;
    }

    int check;
    if (wantedHandle >= 0) {
        check = Handle_CheckOf(wantedHandle);
    } else {
        manager->CheckCounter++;
        if (manager->CheckCounter >= HandleValue_CheckLimit) manager->CheckCounter = 0;
        check = manager->CheckCounter;
    }

    const HandleValue handle = (HandleValue)((check << HandleValue_CheckShift) | manager->TypeMask | slot);
    record->CheckValue = check;
    record->Handle = handle;
    record->RecordSize = manager->RecordSize;
    record->JobIndex = -1;
    record->ASyncLoadCount = createdInJob ? 1 : 0;

    if (manager->Count == 0) {
        manager->LowestUsed = slot;
        manager->HighestUsed = slot;
    } else {
        if (slot < manager->LowestUsed) manager->LowestUsed = slot;
        if (slot > manager->HighestUsed) manager->HighestUsed = slot;
    }
    manager->Count++;
    manager->Slots[slot] = record;
    Handle_List_Append(&manager->LiveListEnd, &record->LiveNode, handle, record);
    if (manager->InitCallback != nullptr) manager->InitCallback(record);
    HANDLE_UNLOCK(manager);
    return handle;
}

HandleHeader* Handle_GetRecord(HandleValue handle)
{
    return Handle_Validate(Handle_ManagerOf(handle), handle);
}

int Handle_SetDeleteNotify(HandleValue handle, int* notify)
{
    HandleHeader* record = Handle_GetRecord(handle);
    if (record == nullptr) return -1;
    record->DeleteNotify = notify;
    return 0;
}

// ---- Deletion ------------------------------------------------------------------------------------

int Handle_Delete(HandleValue handle, int loaderContext, int delay)
{
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HANDLE_LOCK(manager);
    HandleHeader* record = Handle_Validate(manager, handle);
    if (record == nullptr || record->DeleteRequested) {
        HANDLE_UNLOCK(manager);
        return -1;
    }
    if (loaderContext || delay) {
        Handle_List_Append(&manager->DeleteListEnd, &record->DeleteRequestNode, handle, record);
        record->DeleteRequested = 1;
        manager->DeleteRequestCount++;
        HANDLE_UNLOCK(manager);
        return 0;
    }
    // DeleteNow may leave the lock to wait for a running job, so it must not be held twice here.
    HANDLE_UNLOCK(manager);
    return Handle_DeleteNow(handle);
}

// Deletes at once; *refused is set when the terminate callback kept the record.
static int Handle_DeleteNowEx(HandleValue handle, int* refused)
{
    if (refused != nullptr) *refused = 0;
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HandleHeader* record = Handle_LockRecord(manager, handle);
    if (record == nullptr) return -1;

    while (record->ASyncLoadCount != 0) {
        if (record->JobIndex >= 0) {
            const int removed = ASyncLoad_Entry_Remove(record->JobIndex, 1);
            if (removed == -1) break;          // the job is gone: delete at once
            if (removed == 0) {                // it never runs
                record->JobIndex = -1;
                if (--record->ASyncLoadCount == 0) break;
            }
        }
        // A job works on the record: wait with the lock released, then look at the handle again,
        // since it may have been deleted meanwhile.
        HANDLE_UNLOCK(manager);
        for (;;) {
            ASyncLoad_ServeMainThreadRequests();
            Thread_Sleep(0);
            record = Handle_LockRecord(manager, handle);
            if (record == nullptr) return -1;
            if (record->ASyncLoadCount == 0) break;
            HANDLE_UNLOCK(manager);
        }
    }

    if (manager->TerminateCallback != nullptr && manager->TerminateCallback(record) == 1) {
        if (refused != nullptr) *refused = 1;
        HANDLE_UNLOCK(manager);
        return 0;
    }
    Handle_Release(manager, record);
    HANDLE_UNLOCK(manager);
    return 0;
}

int Handle_DeleteNow(HandleValue handle)
{
    return Handle_DeleteNowEx(handle, nullptr);
}

int Handle_DeleteAll(int type, HandleKeepFilter keepFilter)
{
    if (type < 0 || type >= HandleType_Count) return -1;
    HandleManager* manager = &HandleManagerTable[type];
    if (!manager->Initialized) return -1;

    // One pass over the slots: a record that is kept, refuses or waits for a requested deletion is
    // met once, so the pass ends.
    int next = 0;
    for (;;) {
        HANDLE_LOCK(manager);
        if (!manager->Initialized) {
            HANDLE_UNLOCK(manager);
            return -1;
        }
        HandleValue found = -1;
        if (manager->Count > 0) {
            if (next < manager->LowestUsed) next = manager->LowestUsed;
            for (; next <= manager->HighestUsed; next++) {
                HandleHeader* record = manager->Slots[next];
                if (record == nullptr || record->DeleteRequested) continue;
                if (keepFilter != nullptr && keepFilter(record) != 0) continue;
                found = record->Handle;
                next++;
                break;
            }
        }
        HANDLE_UNLOCK(manager);
        if (found < 0) break;
        Handle_DeleteNow(found);
    }
    return 0;
}

int Handle_ProcessDeleteRequests(int wait)
{
    if (!ASyncLoad_IsMainThread()) return -1;
    const int start = ASyncLoad_GetTime();
    for (;;) {
        int left = 0;
        for (int type = 0; type < HandleType_Count; type++) {
            HandleManager* manager = &HandleManagerTable[type];
            if (!manager->Initialized || manager->DeleteRequestCount == 0) continue;
            HANDLE_LOCK(manager);
            int refusedCount = 0;
            HandleListNode* node = manager->DeleteListStart.Next;
            while (node != &manager->DeleteListEnd) {
                HandleHeader* record = (HandleHeader*)node->Record;
                if (record->ASyncLoadCount != 0) {
                    node = node->Next;
                    continue;
                }
                HandleListNode* following = node->Next;
                int refused = 0;
                Handle_DeleteNowEx(node->Handle, &refused);
                if (refused) {
                    // Kept by its terminate callback: pass over it; it is not waited for.
                    refusedCount++;
                    node = following;
                    continue;
                }
                if (ASyncLoad_GetTime() - start >= 2) break;
                node = manager->DeleteListStart.Next;
            }
            left += manager->DeleteRequestCount - refusedCount;
            HANDLE_UNLOCK(manager);
        }
        if (!wait || left <= 0) return 0;
        ASyncLoad_ServeMainThreadRequests();
        Thread_Sleep(0);
    }
}

int Handle_ResizeRecord(HandleValue handle, int newSize)
{
    HandleManager* manager = Handle_ManagerOf(handle);
    HandleHeader* record = Handle_Validate(manager, handle);
    if (record == nullptr) return -1;
    if (newSize == record->RecordSize) return 0;
    if (newSize < (int)sizeof(HandleHeader)) return -1;

    record = Handle_LockRecord(manager, handle);
    if (record == nullptr) return -1;
    const int oldSize = record->RecordSize;
    HandleHeader* moved = (HandleHeader*)Memory_Reallocate(record, (uint32_t)newSize, "VtHandle", __LINE__);
    if (moved == nullptr) {
        HANDLE_UNLOCK(manager);
        return -1;
    }
    if (newSize > oldSize) memset((uint8_t*)moved + oldSize, 0, (size_t)(newSize - oldSize));
    moved->RecordSize = newSize;
    if (moved != record) {
        manager->Slots[Handle_SlotOf(handle)] = moved;
        moved->LiveNode.Record = moved;
        moved->LiveNode.Prev->Next = &moved->LiveNode;
        moved->LiveNode.Next->Prev = &moved->LiveNode;
        if (moved->DeleteRequested) {
            moved->DeleteRequestNode.Record = moved;
            moved->DeleteRequestNode.Prev->Next = &moved->DeleteRequestNode;
            moved->DeleteRequestNode.Next->Prev = &moved->DeleteRequestNode;
        }
    }
    HANDLE_UNLOCK(manager);
    return 0;
}

// ---- Loading jobs --------------------------------------------------------------------------------

int Handle_IsASyncLoading(HandleValue handle)
{
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HANDLE_LOCK(manager);
    HandleHeader* record = Handle_Validate(manager, handle);
    const int result = record == nullptr ? -1 : (record->ASyncLoadCount != 0 ? 1 : 0);
    HANDLE_UNLOCK(manager);
    return result;
}

// The last job on a record has ended; the caller holds the lock.
static void Handle_ASyncLoad_Completed(HandleHeader* record)
{
    const HandleValue handle = record->Handle;
    record->JobIndex = -1;      // the job has left the table; its index may soon name another job
    if (record->LoadDoneCallback != nullptr) record->LoadDoneCallback(handle, record->LoadDoneUserData);
    if (record->DeleteAfterLoad) Handle_Delete(handle, 0, 1);
}

int Handle_ASyncLoad_Begin(HandleValue handle, int jobIndex)
{
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HandleHeader* record = Handle_LockRecord(manager, handle);
    if (record == nullptr) return -1;
    record->JobIndex = jobIndex;
    // The job may already have ended (a loader thread can run it before its creator gets here):
    // then its end is counted now.
    if (++record->ASyncLoadCount == 0) Handle_ASyncLoad_Completed(record);
    HANDLE_UNLOCK(manager);
    return 0;
}

int Handle_ASyncLoad_End(HandleValue handle)
{
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HandleHeader* record = Handle_LockRecord(manager, handle);
    if (record == nullptr) return -1;
    // Below 0 when the job ended before its creator counted it in; Begin evens it out.
    if (--record->ASyncLoadCount == 0) Handle_ASyncLoad_Completed(record);
    HANDLE_UNLOCK(manager);
    return 0;
}

int Handle_ASyncLoad_Wait(HandleValue handle)
{
    if (!ASyncLoad_IsMainThread()) return -1;
    HandleManager* manager = Handle_ManagerOf(handle);
    if (manager == nullptr) return -1;
    HandleHeader* record = Handle_LockRecord(manager, handle);
    if (record == nullptr) return -1;
    int loading = record->ASyncLoadCount != 0;
    HANDLE_UNLOCK(manager);
    while (loading) {
        ASyncLoad_ServeMainThreadRequests();
        Thread_Sleep(1);
        record = Handle_LockRecord(manager, handle);
        if (record == nullptr) return -1;        // deleted while it loaded
        loading = record->ASyncLoadCount != 0;
        HANDLE_UNLOCK(manager);
    }
    return 0;
}

}  // namespace Vantrel
