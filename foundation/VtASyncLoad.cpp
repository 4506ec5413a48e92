// VtASyncLoad: asynchronous loading. Jobs wait in a table and run on 32 worker threads (oldest first)
// or, when the main thread needs one at once, on a 33rd thread; loader threads hand work to the main
// thread as requests and park until it is done. Stands on VtThread, VtMemory, VtLog and VtWinAPI.
#include "foundation/VtASyncLoad.h"

#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "system/VtTime.h"

namespace Vantrel {

namespace {

struct ASyncLoadState {
    int SetUp;
    uint32_t MainThreadId;
    int EndFlag;
    int WorkerCount;
    int ActiveThreadLimit;
    ASyncLoadThreadSlot Slots[ASyncLoad_ThreadCount];
    int RunningThreadCount;
    CriticalSection Lock;
    MainThreadRequest* RequestQueue[ASyncLoad_ThreadCount];
    int RequestCount;
    int SuspendedInJobCount;
    ASyncLoadEntry* JobTable[ASyncLoad_JobTableSize];
    int JobCount;
    int RangeEnd;
    int HandedFlag;
    int HandedIndex;
    ASyncLoadMessagePump Pump;
};

ASyncLoadState State;

// Flags that waiting threads poll outside the lock; they are written under it.
inline int ASyncLoad_Read(const int* flag) { return __atomic_load_n(flag, __ATOMIC_ACQUIRE); }
inline void ASyncLoad_Write(int* flag, int value) { __atomic_store_n(flag, value, __ATOMIC_RELEASE); }

}  // namespace

#define ASYNC_LOCK() CriticalSection_Enter(&State.Lock, "VtASyncLoad", __LINE__)
#define ASYNC_UNLOCK() CriticalSection_Leave(&State.Lock)

int ASyncLoad_GetTime()
{
    return GetMillisecondCount();
}

void ASyncLoad_SetMessagePump(ASyncLoadMessagePump pump)
{
    State.Pump = pump;
}

// ---- Set-up --------------------------------------------------------------------------------------

int ASyncLoad_Prepare(uint32_t mainThreadId)
{
    if (State.SetUp) return -1;
    Log_AddTextUTF16(L"非同期読み込み処理の初期化...");
    State.MainThreadId = mainThreadId;
    State.EndFlag = 0;
    State.RequestCount = 0;
    State.SuspendedInJobCount = 0;
    State.JobCount = 0;
    State.RangeEnd = 0;
    State.HandedFlag = 0;
    State.HandedIndex = 0;
    State.RunningThreadCount = 0;
    memset(State.JobTable, 0, sizeof(State.JobTable));
    CriticalSection_Create(&State.Lock);
    Log_AddTextUTF16(L"成功\n");
    State.SetUp = 1;
    return 0;
}

int ASyncLoad_SetActiveThreadLimit(int count)
{
    if (!State.SetUp) {
        State.ActiveThreadLimit = count;
        return 0;
    }
    ASYNC_LOCK();
    if (count < 1) count = 1;
    if (count > ASyncLoad_WorkerCount) count = ASyncLoad_WorkerCount;
    State.ActiveThreadLimit = count;
    ASYNC_UNLOCK();
    return 0;
}

int ASyncLoad_StartThreads(int logicalProcessorCount)
{
    if (!State.SetUp) return -1;
    State.WorkerCount = ASyncLoad_WorkerCount;
    if (State.ActiveThreadLimit != 0) ASyncLoad_SetActiveThreadLimit(State.ActiveThreadLimit);
    else State.ActiveThreadLimit = logicalProcessorCount < 2 ? 1 : logicalProcessorCount - 1;

    memset((void*)State.Slots, 0, sizeof(State.Slots));
    State.RunningThreadCount = 0;
    for (int i = 0; i < ASyncLoad_ThreadCount; i++) {
        ASyncLoadThreadSlot* slot = &State.Slots[i];
        if (Thread_Spawn(&slot->Thread, ASyncLoad_WorkerThread_Main, nullptr) != 0) return -1;
        Thread_SetPriorityLevel(&slot->Thread, i == ASyncLoad_DedicatedSlot ? 2 : 1);
        slot->Suspended = 1;
        slot->SuspendedSince = ASyncLoad_GetTime();
    }
    Thread_Sleep(16);
    return 0;
}

// ---- Waking threads ------------------------------------------------------------------------------

// Marks a slot as running again after a successful resume; the caller holds the lock.
static void ASyncLoad_MarkResumed(ASyncLoadThreadSlot* slot)
{
    if (slot->SuspendedInJob) {
        slot->SuspendedInJob = 0;
        State.SuspendedInJobCount--;
    }
    ASyncLoad_Write(&slot->Suspended, 0);
    State.RunningThreadCount++;
}

int ASyncLoad_WakeThreads(int extraAllowance)
{
    if (!State.SetUp) return 0;
    ASYNC_LOCK();
    // First a thread whose request the main thread has served.
    for (int i = 0; i < ASyncLoad_ThreadCount; i++) {
        ASyncLoadThreadSlot* slot = &State.Slots[i];
        if (!Thread_HasHandle(&slot->Thread) || slot->Ended || !slot->Suspended || !slot->Busy || !slot->SuspendedInJob ||
            slot->AwaitingMainThread)
            continue;
        if (Thread_Resume(&slot->Thread)) {
            ASyncLoad_MarkResumed(slot);
            break;
        }
    }

    // Then one more worker while fewer run than allowed: a busy one with the oldest job, else the
    // one that has been idle longest.
    int lastTried = -1;
    int tries = 0;
    while (State.RunningThreadCount < State.ActiveThreadLimit + extraAllowance) {
        int chosen = -1;
        for (int i = 0; i < ASyncLoad_WorkerCount; i++) {
            ASyncLoadThreadSlot* slot = &State.Slots[i];
            if (!Thread_HasHandle(&slot->Thread) || slot->Ended || !slot->Suspended || slot->AwaitingMainThread) continue;
            if (!slot->Busy || slot->CurrentJob == nullptr) continue;
            if (chosen < 0 || slot->CurrentJob->QueueTime < State.Slots[chosen].CurrentJob->QueueTime) chosen = i;
        }
        if (chosen < 0) {
            for (int i = 0; i < ASyncLoad_WorkerCount; i++) {
                ASyncLoadThreadSlot* slot = &State.Slots[i];
                if (!Thread_HasHandle(&slot->Thread) || slot->Ended || !slot->Suspended || slot->AwaitingMainThread) continue;
                if (chosen < 0 || slot->SuspendedSince < State.Slots[chosen].SuspendedSince) chosen = i;
            }
        }
        if (chosen < 0) break;
        if (chosen == lastTried) {
            if (++tries > 3) break;
        } else {
            lastTried = chosen;
            tries = 1;
        }
        if (Thread_Resume(&State.Slots[chosen].Thread)) {
            ASyncLoad_MarkResumed(&State.Slots[chosen]);
            break;
        }
    }
    ASYNC_UNLOCK();
    return 0;
}

// ---- The loader threads --------------------------------------------------------------------------

void ASyncLoad_WorkerThread_Main(ThreadRecord* thread, void* parameter)
{
    int slotIndex = 0;
    while (slotIndex < ASyncLoad_ThreadCount && &State.Slots[slotIndex].Thread != thread) slotIndex++;
    if (slotIndex == ASyncLoad_ThreadCount) return;
    ASyncLoadThreadSlot* slot = &State.Slots[slotIndex];
    const bool dedicated = slotIndex == ASyncLoad_DedicatedSlot;

    while (ASyncLoad_Read(&State.EndFlag) != 1) {
        const bool look = dedicated ? ASyncLoad_Read(&State.HandedFlag) != 0 : ASyncLoad_Read(&State.RangeEnd) > 0;
        if (look) {
            ASYNC_LOCK();
            ASyncLoadEntry* job = nullptr;
            if (dedicated) {
                if (State.HandedFlag) job = State.JobTable[State.HandedIndex];
            } else {
                for (int i = 0; i < State.RangeEnd; i++) {
                    ASyncLoadEntry* entry = State.JobTable[i];
                    if (entry == nullptr || entry->Started) continue;
                    if (job == nullptr || entry->QueueTime <= job->QueueTime) job = entry;
                }
            }
            if (job != nullptr) {
                job->Started = 1;
                slot->Busy = 1;
                slot->CurrentJob = job;
                const int index = job->Index;
                ASYNC_UNLOCK();
                if (job->Procedure != nullptr) job->Procedure(job);
                ASYNC_LOCK();
                ASyncLoad_Entry_Remove(index, 0);
                slot->Busy = 0;
                slot->CurrentJob = nullptr;
                if (dedicated) ASyncLoad_Write(&State.HandedFlag, 0);
                ASYNC_UNLOCK();
                continue;
            }
            ASYNC_UNLOCK();
            ASyncLoad_WakeThreads(1);
        }
        ASYNC_LOCK();
        slot->SuspendedSince = ASyncLoad_GetTime();
        ASyncLoad_Write(&slot->Suspended, 1);
        State.RunningThreadCount--;
        ASYNC_UNLOCK();
        Thread_SuspendSelf();
    }
    ASYNC_LOCK();
    ASyncLoad_Write(&slot->Ended, 1);
    State.RunningThreadCount--;
    ASYNC_UNLOCK();
}

int ASyncLoad_StopThreads()
{
    if (!State.SetUp) return 0;
    ASyncLoad_Write(&State.EndFlag, 1);
    for (int i = 0; i < ASyncLoad_WorkerCount; i++) {
        ASyncLoadThreadSlot* slot = &State.Slots[i];
        if (!Thread_HasHandle(&slot->Thread)) continue;
        while (!ASyncLoad_Read(&slot->Ended)) {
            ASyncLoad_ServeMainThreadRequests();
            // Wake this worker so that it sees the end flag (one that awaits the main thread is
            // woken once its request has been served).
            ASYNC_LOCK();
            if (slot->Suspended && !slot->AwaitingMainThread && !slot->Ended && Thread_Resume(&slot->Thread))
                ASyncLoad_MarkResumed(slot);
            ASYNC_UNLOCK();
            Thread_Sleep(1);
        }
        Thread_Release(&slot->Thread);
    }
    ASyncLoad_Write(&State.EndFlag, 0);
    return 0;
}

int ASyncLoad_Finish()
{
    if (!State.SetUp) return -1;
    // The thread that runs jobs at once is still parked: let it end, so that nothing outlives the
    // module (bounded: it is parked or about to park).
    ASyncLoadThreadSlot* dedicated = &State.Slots[ASyncLoad_DedicatedSlot];
    if (Thread_HasHandle(&dedicated->Thread)) {
        ASyncLoad_Write(&State.EndFlag, 1);
        const int start = ASyncLoad_GetTime();
        while (!ASyncLoad_Read(&dedicated->Ended) && ASyncLoad_GetTime() - start < 2000) {
            if (ASyncLoad_Read(&dedicated->Suspended) && Thread_Resume(&dedicated->Thread)) {
                ASYNC_LOCK();
                ASyncLoad_MarkResumed(dedicated);
                ASYNC_UNLOCK();
            }
            Thread_Sleep(1);
        }
        if (ASyncLoad_Read(&dedicated->Ended)) Thread_Release(&dedicated->Thread);
        ASyncLoad_Write(&State.EndFlag, 0);
    }
    // Jobs that never ran are dropped.
    ASYNC_LOCK();
    for (int i = 0; i < State.RangeEnd; i++)
        if (State.JobTable[i] != nullptr) ASyncLoad_Entry_Remove(i, 0);
    ASYNC_UNLOCK();
    CriticalSection_Delete(&State.Lock);
    State.SetUp = 0;
    return 0;
}

// ---- Jobs ----------------------------------------------------------------------------------------

ASyncLoadEntry* ASyncLoad_Entry_Allocate(int paramBytes)
{
    ASyncLoadEntry* entry = nullptr;
    if (paramBytes >= 0 && paramBytes <= 0x7FFF0000)
        entry = (ASyncLoadEntry*)Memory_Allocate((uint32_t)(ASyncLoadEntry_HeadSize + (size_t)paramBytes + 4), "VtASyncLoad", __LINE__);
    if (entry == nullptr) {
        Log_AddFormatUTF16(L"非同期読み込みデータを格納するメモリ領域 %dByte の確保に失敗しました", paramBytes + 24);
        return nullptr;
    }
    memset((void*)entry, 0, ASyncLoadEntry_HeadSize);
    entry->Index = -1;
    return entry;
}

void ASyncLoad_Entry_Free(ASyncLoadEntry* entry)
{
    Memory_Free(entry);
}

int ASyncLoad_Entry_Enqueue(ASyncLoadEntry* entry, int* indexOut)
{
    if (!State.SetUp || entry == nullptr) return -1;
    ASYNC_LOCK();
    if (State.JobCount >= ASyncLoad_JobTableSize) {
        ASYNC_UNLOCK();
        Log_AddFormatUTF16(L"非同期読み込みデータの数が許容量を越えました終了します");
        return -1;
    }
    int index = State.RangeEnd;
    if (index == ASyncLoad_JobTableSize) {
        index = 0;
        while (State.JobTable[index] != nullptr) index++;
    }
    entry->Index = index;
    entry->Started = 0;
    entry->DoneFlag = nullptr;
    entry->QueueTime = ASyncLoad_GetTime();
    if (index == State.RangeEnd) ASyncLoad_Write(&State.RangeEnd, State.RangeEnd + 1);
    State.JobTable[index] = entry;
    State.JobCount++;
    if (indexOut != nullptr) *indexOut = index;
    ASyncLoad_WakeThreads(0);
    ASYNC_UNLOCK();
    return 0;
}

int ASyncLoad_Entry_Remove(int index, int onlyIfUnstarted)
{
    if (!State.SetUp) return -1;
    ASYNC_LOCK();
    if (index < 0 || index >= ASyncLoad_JobTableSize || State.JobTable[index] == nullptr) {
        ASYNC_UNLOCK();
        return -1;
    }
    ASyncLoadEntry* entry = State.JobTable[index];
    if (onlyIfUnstarted && entry->Started) {
        ASYNC_UNLOCK();
        return -2;
    }
    if (entry->DoneFlag != nullptr) ASyncLoad_Write(entry->DoneFlag, 1);
    State.JobCount--;
    State.JobTable[index] = nullptr;
    if (index == State.RangeEnd - 1) {
        int end = index;
        while (end > 0 && State.JobTable[end - 1] == nullptr) end--;
        ASyncLoad_Write(&State.RangeEnd, end);
    }
    Memory_Free(entry);
    ASYNC_UNLOCK();
    return 0;
}

// Waits, serving requests, until *flag becomes 1. With pump, the message pump runs too and a
// non-zero result (the program ends) gives up the wait: -1. Otherwise 0.
static int ASyncLoad_WaitForFlag(const int* flag, int expected, bool pump, int sleepMilliseconds)
{
    while (ASyncLoad_Read(flag) != expected) {
        if (pump && State.Pump != nullptr && State.Pump() != 0) return -1;
        ASyncLoad_ServeMainThreadRequests();
        Thread_Sleep((uint32_t)sleepMilliseconds);
    }
    return 0;
}

int ASyncLoad_Entry_RunNow(int index)
{
    if (!State.SetUp || !ASyncLoad_IsMainThread()) return -1;
    if (index < 0 || index >= ASyncLoad_JobTableSize) return -1;
    ASYNC_LOCK();
    if (State.JobTable[index] == nullptr) {
        // The job has already left the table: it ended between the caller's look at its record
        // and this call, so there is nothing left to run.
        ASYNC_UNLOCK();
        return 0;
    }
    ASyncLoadEntry* entry = State.JobTable[index];
    ASyncLoadThreadSlot* dedicated = &State.Slots[ASyncLoad_DedicatedSlot];

    if (entry->Started) {
        // A loader thread runs it: wait until it has left the table.
        int done = 0;
        entry->DoneFlag = &done;
        ASYNC_UNLOCK();
        ASyncLoad_WaitForFlag(&done, 1, false, 0);
        return 0;
    }

    if (!Thread_HasHandle(&dedicated->Thread) || dedicated->Ended) {
        ASYNC_UNLOCK();
        return -1;      // the loader threads are not running
    }
    if (State.HandedFlag) {
        // The thread that runs jobs at once is busy with another one (a request procedure asked
        // for a second job): leave this one to the workers and wait for it.
        int done = 0;
        entry->DoneFlag = &done;
        ASYNC_UNLOCK();
        int result = 0;
        while (ASyncLoad_Read(&done) != 1) {
            if (State.Pump != nullptr && State.Pump() != 0) {
                result = -1;
                break;
            }
            ASyncLoad_ServeMainThreadRequests();
            ASyncLoad_WakeThreads(0);
            Thread_Sleep(1);
        }
        if (result != 0) {
            // Given up: the job may end later; nobody must write to this frame any more.
            ASYNC_LOCK();
            if (State.JobTable[index] == entry) entry->DoneFlag = nullptr;
            ASYNC_UNLOCK();
        }
        return result;
    }

    entry->Started = 1;
    State.HandedIndex = index;
    ASyncLoad_Write(&State.HandedFlag, 1);
    ASyncLoad_Write(&dedicated->Suspended, 0);
    State.RunningThreadCount++;
    ASYNC_UNLOCK();
    while (Thread_Resume(&dedicated->Thread) == 0) Thread_Sleep(0);

    // The job counts as finished only when it ran to its end; a wait given up because the program
    // ends reports failure.
    if (ASyncLoad_WaitForFlag(&State.HandedFlag, 0, true, 1) != 0) return -1;
    if (ASyncLoad_WaitForFlag(&dedicated->Suspended, 1, true, 1) != 0) return -1;
    return 0;
}

// ---- Main-thread requests ------------------------------------------------------------------------

int ASyncLoad_MainThreadRequest_PostWords(MainThreadRequestProc procedure, std::initializer_list<intptr_t> words)
{
    if (words.size() > (size_t)MainThreadRequest_ParamCount) return -1;
    MainThreadRequest request = {};
    request.Procedure = procedure;
    int i = 0;
    for (intptr_t word : words) request.Params[i++] = word;
    return ASyncLoad_MainThreadRequest_Post(&request);
}

int ASyncLoad_MainThreadRequest_Post(MainThreadRequest* request)
{
    if (!State.SetUp || request == nullptr) return -1;
    ASYNC_LOCK();
    const uint32_t id = Thread_GetCurrentId();
    int slotIndex = -1;
    for (int i = 0; i < ASyncLoad_ThreadCount; i++) {
        if (Thread_HasHandle(&State.Slots[i].Thread) && Thread_GetId(&State.Slots[i].Thread) == id) {
            slotIndex = i;
            break;
        }
    }
    if (slotIndex < 0) {
        Log_AddFormatUTF16(L"非同期読み込みスレッド以外からメインスレッドへの処理依頼が行われました");
        ASYNC_UNLOCK();
        return -1;
    }
    if (State.RequestCount >= ASyncLoad_ThreadCount) {
        Log_AddFormatUTF16(L"非同期読み込みスレッドからメインスレッドへの処理依頼数が許容量を越えました終了します");
        ASYNC_UNLOCK();
        return -1;
    }
    ASyncLoadThreadSlot* slot = &State.Slots[slotIndex];
    request->Result = 0;
    request->RequesterSlot = slotIndex;
    State.RequestQueue[State.RequestCount++] = request;
    slot->AwaitingMainThread = 1;

    ASyncLoad_WakeThreads(1);   // this thread is about to stop

    slot->SuspendedSince = ASyncLoad_GetTime();
    ASyncLoad_Write(&slot->Suspended, 1);
    slot->SuspendedInJob = 1;
    State.SuspendedInJobCount++;
    State.RunningThreadCount--;
    ASYNC_UNLOCK();
    Thread_SuspendSelf();
    return request->Result;
}

int ASyncLoad_ServeMainThreadRequests()
{
    if (!State.SetUp || !ASyncLoad_IsMainThread()) return -1;
    ASYNC_LOCK();
    if (State.RequestCount > 0) {
        const int start = ASyncLoad_GetTime();
        while (State.RequestCount > 0 && ASyncLoad_GetTime() - start <= 2) {
            MainThreadRequest* request = State.RequestQueue[0];
            State.RequestCount--;
            memmove(&State.RequestQueue[0], &State.RequestQueue[1], sizeof(State.RequestQueue[0]) * (size_t)State.RequestCount);
            // The procedure runs without the lock: it may take handle locks, allocate, log.
            ASYNC_UNLOCK();
            const int result = request->Procedure != nullptr ? request->Procedure(request) : -1;
            ASYNC_LOCK();
            request->Result = result;
            State.Slots[request->RequesterSlot].AwaitingMainThread = 0;
            ASyncLoad_WakeThreads(0);
        }
    }

    if (State.JobCount > 0) {
        int allowed = State.ActiveThreadLimit - 1;
        if (State.JobCount < allowed) allowed = State.JobCount;
        if (allowed < 1) allowed = 1;
        const int missing = allowed - State.RunningThreadCount;
        for (int i = 0; i < missing; i++) ASyncLoad_WakeThreads(0);
    }

    // A served requester whose wake came before it had parked is woken now.
    if (State.SuspendedInJobCount > 0) {
        for (int i = 0; i < ASyncLoad_ThreadCount; i++) {
            const ASyncLoadThreadSlot* slot = &State.Slots[i];
            if (slot->Suspended && slot->SuspendedInJob && !slot->AwaitingMainThread && !slot->Ended) {
                ASyncLoad_WakeThreads(0);
                break;
            }
        }
    }
    ASYNC_UNLOCK();
    return 0;
}

int ASyncLoad_IsMainThread()
{
    return State.SetUp && Thread_GetCurrentId() == State.MainThreadId ? 1 : 0;
}

int ASyncLoad_GetPendingCount()
{
    if (!State.SetUp) return 0;
    ASYNC_LOCK();
    const int count = State.JobCount;
    ASYNC_UNLOCK();
    return count;
}

// ---- Parameter packing ---------------------------------------------------------------------------

int ASyncLoad_Param_PutInt(void* area, int* offset, int32_t value)
{
    if (*offset < 0) return -1;
    if (area != nullptr) memcpy((uint8_t*)area + *offset, &value, 4);
    *offset += 4;
    return 0;
}

int ASyncLoad_Param_PutInt64(void* area, int* offset, int64_t value)
{
    if (*offset < 0) return -1;
    if (area != nullptr) {
        const uint32_t low = (uint32_t)((uint64_t)value & 0xFFFFFFFFu);
        const uint32_t high = (uint32_t)((uint64_t)value >> 32);
        memcpy((uint8_t*)area + *offset, &low, 4);
        memcpy((uint8_t*)area + *offset + 4, &high, 4);
    }
    *offset += 8;
    return 0;
}

// Writes a 16-bit length and the bytes; refuses what the length cannot carry.
static int ASyncLoad_Param_PutSized(void* area, int* offset, const void* data, size_t bytes)
{
    if (*offset < 0) return -1;
    if (bytes > (size_t)ASyncLoad_MaxPackedBytes) {
        *offset = -1;
        return -1;
    }
    const uint16_t length = (uint16_t)(bytes + 2);
    if (area != nullptr) {
        memcpy((uint8_t*)area + *offset, &length, 2);
        if (bytes > 0) memcpy((uint8_t*)area + *offset + 2, data, bytes);
    }
    *offset += length;
    return 0;
}

int ASyncLoad_Param_PutString(void* area, int* offset, const wchar_t* text)
{
    if (text == nullptr) return ASyncLoad_Param_PutSized(area, offset, nullptr, 0);
    size_t units = 0;
    while (text[units] != 0 && units <= (size_t)ASyncLoad_MaxPackedBytes) units++;
    return ASyncLoad_Param_PutSized(area, offset, text, (units + 1) * sizeof(wchar_t));
}

int ASyncLoad_Param_PutBlock(void* area, int* offset, const void* data, int bytes)
{
    if (bytes < 0) {
        if (*offset >= 0) *offset = -1;
        return -1;
    }
    return ASyncLoad_Param_PutSized(area, offset, data, (size_t)bytes);
}

int32_t ASyncLoad_Param_GetInt(const void* area, int* offset)
{
    int32_t value;
    memcpy(&value, (const uint8_t*)area + *offset, 4);
    *offset += 4;
    return value;
}

int64_t ASyncLoad_Param_GetInt64(const void* area, int* offset)
{
    uint32_t low, high;
    memcpy(&low, (const uint8_t*)area + *offset, 4);
    memcpy(&high, (const uint8_t*)area + *offset + 4, 4);
    *offset += 8;
    return (int64_t)(((uint64_t)high << 32) | low);
}

const wchar_t* ASyncLoad_Param_GetString(const void* area, int* offset)
{
    uint16_t length;
    memcpy(&length, (const uint8_t*)area + *offset, 2);
    const wchar_t* text = length == 2 ? nullptr : (const wchar_t*)((const uint8_t*)area + *offset + 2);
    *offset += length;
    return text;
}

const void* ASyncLoad_Param_GetBlock(const void* area, int* offset, int* bytes)
{
    uint16_t length;
    memcpy(&length, (const uint8_t*)area + *offset, 2);
    const void* data = (const uint8_t*)area + *offset + 2;
    if (bytes != nullptr) *bytes = length - 2;
    *offset += length;
    return data;
}

}  // namespace Vantrel
