// VtASyncLoad: asynchronous loading. A table of queued jobs with packed parameters, 32 worker threads
// and one thread that runs a job the main thread needs at once, and the requests that loader threads
// hand to the main thread. Stands on VtThread, VtMemory and VtLog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "foundation/VtThread.h"

namespace Vantrel {

struct ASyncLoadEntry;
typedef int (*ASyncLoadJobProc)(ASyncLoadEntry* entry);

// One job. Allocated for a parameter area of n bytes as the fields below plus n + 4 bytes.
struct ASyncLoadEntry {
    int Index;                      // place in the job table
    int Started;
    int* DoneFlag;                  // null unless somebody waits; set to 1 when the job leaves the table
    int QueueTime;                  // milliseconds when queued
    ASyncLoadJobProc Procedure;     // run on a loader thread
    uint8_t Params[];               // the packed parameters, then 4 spare bytes
};
constexpr size_t ASyncLoadEntry_HeadSize = offsetof(ASyncLoadEntry, Params);
static_assert(sizeof(void*) != 4 || ASyncLoadEntry_HeadSize == 20, "a job of n parameter bytes takes n + 24 bytes");

// Work that a loader thread hands to the main thread; built on the poster's stack.
struct MainThreadRequest;
typedef int (*MainThreadRequestProc)(MainThreadRequest* request);
constexpr int MainThreadRequest_ParamCount = 16;
struct MainThreadRequest {
    MainThreadRequestProc Procedure;
    int RequesterSlot;              // filled by the post
    int Result;                     // filled when run
    intptr_t Params[MainThreadRequest_ParamCount];  // parameter words, pointers passed as they are
};

constexpr int ASyncLoad_WorkerCount = 32;
constexpr int ASyncLoad_ThreadCount = 33;             // slot 32 runs jobs the main thread needs at once
constexpr int ASyncLoad_DedicatedSlot = 32;
constexpr int ASyncLoad_JobTableSize = 0x8000;
constexpr int ASyncLoad_MaxPackedBytes = 65533;      // longest string or block one parameter can carry

struct ASyncLoadThreadSlot {
    ThreadRecord Thread;
    int Ended;
    int Busy;                       // running a job
    int AwaitingMainThread;         // posted a request that is not served yet
    int SuspendedInJob;             // suspended itself while busy, by posting a request
    int Suspended;                  // has suspended itself or is about to
    int SuspendedSince;             // milliseconds
    ASyncLoadEntry* CurrentJob;
};

// The message pump that the main thread runs while it waits for the dedicated thread: returns
// non-zero when the program is ending. The main window's start-up installs it; without one the
// waits only serve requests.
typedef int (*ASyncLoadMessagePump)();
void ASyncLoad_SetMessagePump(ASyncLoadMessagePump pump);

int ASyncLoad_Prepare(uint32_t mainThreadId);
int ASyncLoad_StartThreads(int logicalProcessorCount);
int ASyncLoad_StopThreads();
int ASyncLoad_Finish();
int ASyncLoad_SetActiveThreadLimit(int count);

ASyncLoadEntry* ASyncLoad_Entry_Allocate(int paramBytes);
void ASyncLoad_Entry_Free(ASyncLoadEntry* entry);     // for an entry that was never queued
// Queues the job. A loader thread may run and free the entry before this returns, so a caller that
// needs the job's index takes it through indexOut (written before any thread can see the job).
int ASyncLoad_Entry_Enqueue(ASyncLoadEntry* entry, int* indexOut = nullptr);
int ASyncLoad_Entry_Remove(int index, int onlyIfUnstarted);  // 0, -1 no such job, -2 started
// Main thread only: runs the job now on the dedicated thread, or waits for the worker that runs it.
// 0 also when no job is left at the index (it has just ended); -1 off the main thread, for an index
// outside the table, without loader threads, or when the wait was given up because the program ends.
int ASyncLoad_Entry_RunNow(int index);

int ASyncLoad_MainThreadRequest_Post(MainThreadRequest* request);
// A request built from a procedure and its argument words (at most MainThreadRequest_ParamCount, pointers
// passed as they are: the caller's data stays valid while it waits), posted; the procedure's result.
int ASyncLoad_MainThreadRequest_PostWords(MainThreadRequestProc procedure, std::initializer_list<intptr_t> words);
int ASyncLoad_ServeMainThreadRequests();                    // main thread only
int ASyncLoad_WakeThreads(int extraAllowance);
int ASyncLoad_IsMainThread();
int ASyncLoad_GetPendingCount();
// The millisecond time base of queue times and time slices (GetMillisecondCount).
int ASyncLoad_GetTime();

// Parameter packing: each put with a null area only measures; every put and get advances the
// offset by the field's size. A string or block longer than 65533 bytes is refused: the put
// returns -1 and sets the offset to -1, after which every put refuses too, so that the measured
// size is negative and ASyncLoad_Entry_Allocate fails (puts return 0 otherwise).
int ASyncLoad_Param_PutInt(void* area, int* offset, int32_t value);
int ASyncLoad_Param_PutInt64(void* area, int* offset, int64_t value);
int ASyncLoad_Param_PutString(void* area, int* offset, const wchar_t* text);
int ASyncLoad_Param_PutBlock(void* area, int* offset, const void* data, int bytes);
int32_t ASyncLoad_Param_GetInt(const void* area, int* offset);
int64_t ASyncLoad_Param_GetInt64(const void* area, int* offset);
const wchar_t* ASyncLoad_Param_GetString(const void* area, int* offset);   // null for a null string
const void* ASyncLoad_Param_GetBlock(const void* area, int* offset, int* bytes = nullptr);

// Pointers travel as 64-bit integers so that one packing serves both builds.
inline int ASyncLoad_Param_PutPointer(void* area, int* offset, const void* pointer)
{
    return ASyncLoad_Param_PutInt64(area, offset, (int64_t)(intptr_t)pointer);
}
inline void* ASyncLoad_Param_GetPointer(const void* area, int* offset)
{
    return (void*)(intptr_t)ASyncLoad_Param_GetInt64(area, offset);
}

// The entry function of all 33 loader threads.
void ASyncLoad_WorkerThread_Main(ThreadRecord* thread, void* parameter);

}  // namespace Vantrel
