// Critical sections that remember their last locker, and library threads that park themselves
// until they are woken. Stands on the kernel's critical sections, threads and events.
#include "foundation/VtThread.h"

namespace Vantrel {

volatile LONG Thread_ParkDelayForTest = 0;

// The record of the library thread running on this thread (null on other threads).
static thread_local ThreadRecord* Thread_CurrentRecord = nullptr;

int CriticalSection_Create(CriticalSection* lock)
{
    InitializeCriticalSection(&lock->System);
    for (int i = 0; i < 512; i++) lock->OwnerFile[i] = 0;
    lock->OwnerLine = 0;
    lock->OwnerThread = 0;
    return 0;
}

int CriticalSection_Enter(CriticalSection* lock, const char* file, int line)
{
    const uint32_t thread = GetCurrentThreadId();
    EnterCriticalSection(&lock->System);
    int i = 0;
    if (file != nullptr) {
        for (; i < 511 && file[i] != 0; i++) lock->OwnerFile[i] = file[i];
    }
    lock->OwnerFile[i] = 0;
    lock->OwnerLine = line;
    lock->OwnerThread = thread;
    return 0;
}

void CriticalSection_Leave(CriticalSection* lock)
{
    LeaveCriticalSection(&lock->System);
}

void CriticalSection_Delete(CriticalSection* lock)
{
    DeleteCriticalSection(&lock->System);
}

int Thread_Spawn(ThreadRecord* record, ThreadEntryProc entry, void* parameter)
{
    record->Entry = entry;
    record->Parameter = parameter;
    record->ParkState = THREAD_PARK_RUNNING;
    record->WakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    record->Handle = nullptr;
    record->Id = 0;
    if (record->WakeEvent == nullptr) return -1;
    DWORD id = 0;
    record->Handle = CreateThread(nullptr, 0, Thread_StartRoutine, record, 0, &id);
    if (record->Handle == nullptr) {
        CloseHandle(record->WakeEvent);
        record->WakeEvent = nullptr;
        return -1;
    }
    record->Id = id;
    return 0;
}

DWORD WINAPI Thread_StartRoutine(LPVOID parameter)
{
    ThreadRecord* record = (ThreadRecord*)parameter;
    Thread_CurrentRecord = record;
    Thread_SuspendSelf();
    record->Entry(record, record->Parameter);
    ExitThread(0);
    return 0;
}

int Thread_Resume(ThreadRecord* record)
{
    if (record->WakeEvent == nullptr) {
        // Not one of our threads (or never spawned): the system's suspension count decides.
        if (record->Handle == nullptr) return 1;
        return ResumeThread(record->Handle) != 0 ? 1 : 0;
    }
    // Only a thread that has announced that it is parked is woken; the event keeps the wake even
    // when the thread has not begun its wait yet.
    if (InterlockedCompareExchange(&record->ParkState, THREAD_PARK_RUNNING, THREAD_PARK_PARKED) != THREAD_PARK_PARKED)
        return 0;
    SetEvent(record->WakeEvent);
    return 1;
}

void Thread_SuspendSelf()
{
    ThreadRecord* record = Thread_CurrentRecord;
    if (record == nullptr || record->WakeEvent == nullptr) {
        SuspendThread(GetCurrentThread());
        return;
    }
    InterlockedExchange(&record->ParkState, THREAD_PARK_PARKED);
    if (Thread_ParkDelayForTest > 0) Sleep((DWORD)Thread_ParkDelayForTest);
    WaitForSingleObject(record->WakeEvent, INFINITE);
}

int Thread_Release(ThreadRecord* record)
{
    int result = 0;
    if (record->Handle != nullptr) result = CloseHandle(record->Handle);
    record->Handle = nullptr;
    if (record->WakeEvent != nullptr) CloseHandle(record->WakeEvent);
    record->WakeEvent = nullptr;
    return result;
}

void Thread_SetPriorityLevel(ThreadRecord* record, int level)
{
    static const int priorities[4] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                      THREAD_PRIORITY_HIGHEST};
    if (level < 0 || level > 3 || record->Handle == nullptr) return;
    SetThreadPriority(record->Handle, priorities[level]);
}

uint32_t Thread_GetCurrentId() { return GetCurrentThreadId(); }

uint32_t Thread_GetId(const ThreadRecord* record) { return record->Id; }

int Thread_HasHandle(const ThreadRecord* record) { return record->Handle != nullptr ? 1 : 0; }

void Thread_Sleep(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace Vantrel
