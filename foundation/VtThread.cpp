// Critical sections that remember their last locker, and library threads that park themselves
// until they are woken. Stands on the kernel's critical sections, threads and events.
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"

namespace Vantrel {

void (*volatile Thread_ParkHookForTest)(ThreadRecord* record) = nullptr;

// The record of the library thread running on this thread (null on other threads).
static thread_local ThreadRecord* Thread_CurrentRecord = nullptr;

int CriticalSection_Create(CriticalSection* lock)
{
    WinAPI_EnsureLoaded();
    WinAPITable.InitializeCriticalSection(&lock->System);
    for (int i = 0; i < 512; i++) lock->OwnerFile[i] = 0;
    lock->OwnerLine = 0;
    lock->OwnerThread = 0;
    return 0;
}

int CriticalSection_Enter(CriticalSection* lock, const char* file, int line)
{
    WinAPI_EnsureLoaded();
    const uint32_t thread = WinAPITable.GetCurrentThreadId();
    WinAPITable.EnterCriticalSection(&lock->System);
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
    WinAPI_EnsureLoaded();
    WinAPITable.LeaveCriticalSection(&lock->System);
}

void CriticalSection_Delete(CriticalSection* lock)
{
    WinAPI_EnsureLoaded();
    WinAPITable.DeleteCriticalSection(&lock->System);
}

int Thread_Spawn(ThreadRecord* record, ThreadEntryProc entry, void* parameter)
{
    WinAPI_EnsureLoaded();
    record->Entry = entry;
    record->Parameter = parameter;
    record->ParkState = THREAD_PARK_RUNNING;
    record->WakeEvent = WinAPITable.CreateEventA(nullptr, FALSE, FALSE, nullptr);
    record->Handle = nullptr;
    record->Id = 0;
    if (record->WakeEvent == nullptr) return -1;
    DWORD id = 0;
    record->Handle = WinAPITable.CreateThread(nullptr, 0, Thread_StartRoutine, record, 0, &id);
    if (record->Handle == nullptr) {
        WinAPITable.CloseHandle(record->WakeEvent);
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
    WinAPITable.ExitThread(0);
    return 0;
}

int Thread_Resume(ThreadRecord* record)
{
    WinAPI_EnsureLoaded();
    if (record->WakeEvent == nullptr) {
        // Not one of our threads (or never spawned): the system's suspension count decides.
        if (record->Handle == nullptr) return 1;
        return WinAPITable.ResumeThread(record->Handle) != 0 ? 1 : 0;
    }
    // Only a thread that has announced that it is parked is woken; the event keeps the wake even
    // when the thread has not begun its wait yet.
    if (InterlockedCompareExchange(&record->ParkState, THREAD_PARK_RUNNING, THREAD_PARK_PARKED) != THREAD_PARK_PARKED)
        return 0;
    WinAPITable.SetEvent(record->WakeEvent);
    return 1;
}

void Thread_SuspendSelf()
{
    WinAPI_EnsureLoaded();
    ThreadRecord* record = Thread_CurrentRecord;
    if (record == nullptr || record->WakeEvent == nullptr) {
        WinAPITable.SuspendThread(WinAPITable.GetCurrentThread());
        return;
    }
    InterlockedExchange(&record->ParkState, THREAD_PARK_PARKED);
    if (Thread_ParkHookForTest != nullptr) Thread_ParkHookForTest(record);
    WinAPITable.WaitForSingleObject(record->WakeEvent, INFINITE);
}

int Thread_Release(ThreadRecord* record)
{
    WinAPI_EnsureLoaded();
    int result = 0;
    if (record->Handle != nullptr) result = WinAPITable.CloseHandle(record->Handle);
    record->Handle = nullptr;
    if (record->WakeEvent != nullptr) WinAPITable.CloseHandle(record->WakeEvent);
    record->WakeEvent = nullptr;
    return result;
}

void Thread_SetPriorityLevel(ThreadRecord* record, int level)
{
    WinAPI_EnsureLoaded();
    static const int priorities[4] = {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                      THREAD_PRIORITY_HIGHEST};
    if (level < 0 || level > 3 || record->Handle == nullptr) return;
    WinAPITable.SetThreadPriority(record->Handle, priorities[level]);
}

uint32_t Thread_GetCurrentId() { WinAPI_EnsureLoaded(); return WinAPITable.GetCurrentThreadId(); }

uint32_t Thread_GetId(const ThreadRecord* record) { return record->Id; }

int Thread_HasHandle(const ThreadRecord* record) { return record->Handle != nullptr ? 1 : 0; }

void Thread_Sleep(uint32_t milliseconds) { WinAPI_EnsureLoaded(); WinAPITable.Sleep(milliseconds); }

}  // namespace Vantrel
