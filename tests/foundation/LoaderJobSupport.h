// Runs one job on an asynchronous-loading thread while this (main) thread serves the requests the job
// hands over, for tests of code that must behave when called from a loader thread.
#pragma once

#include <windows.h>

#include "foundation/VtASyncLoad.h"

namespace LoaderJob {

// Starts the loader threads with this thread as the main thread, runs `procedure` with `data` as its one
// pointer parameter, serves main-thread requests until `done` turns 1 or ten seconds passed, and stops the
// threads again. 0 when the job finished.
inline int Run(int (*procedure)(Vantrel::ASyncLoadEntry*), void* data, volatile LONG* done) {
    using namespace Vantrel;
    if (ASyncLoad_Prepare(GetCurrentThreadId()) < 0 || ASyncLoad_StartThreads(2) < 0) return -1;
    int size = 0;
    ASyncLoad_Param_PutPointer(nullptr, &size, data);
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(size);
    int result = -1;
    if (entry != nullptr) {
        entry->Procedure = procedure;
        int offset = 0;
        ASyncLoad_Param_PutPointer(entry->Params, &offset, data);
        if (ASyncLoad_Entry_Enqueue(entry) == 0) {
            const DWORD start = GetTickCount();
            while (!*done && GetTickCount() - start < 10000) {
                ASyncLoad_ServeMainThreadRequests();
                Sleep(1);
            }
            result = *done ? 0 : -1;
        }
    }
    ASyncLoad_StopThreads();
    ASyncLoad_Finish();
    return result;
}

// The job's pointer parameter.
inline void* Data(Vantrel::ASyncLoadEntry* entry) {
    int offset = 0;
    return Vantrel::ASyncLoad_Param_GetPointer(entry->Params, &offset);
}

}  // namespace LoaderJob
