// Critical sections that remember their last locker, and library threads that park themselves
// until their creator (or whoever gives them work) wakes them. Stands on the kernel's critical
// sections, threads and events, reached through the system function table.
#pragma once

#include <windows.h>
#include <stdint.h>

namespace Vantrel {

// A re-entrant lock that records the source file, line and thread of the most recent entry, so
// that a hang can be traced to the line that holds the lock.
struct CriticalSection {
    CRITICAL_SECTION System;
    char OwnerFile[512];
    int32_t OwnerLine;
    uint32_t OwnerThread;
};

int CriticalSection_Create(CriticalSection* lock);
int CriticalSection_Enter(CriticalSection* lock, const char* file, int line);
void CriticalSection_Leave(CriticalSection* lock);
void CriticalSection_Delete(CriticalSection* lock);

struct ThreadRecord;
typedef void (*ThreadEntryProc)(ThreadRecord* record, void* parameter);

// Park states of a library thread (ThreadRecord::ParkState).
enum : LONG {
    THREAD_PARK_RUNNING = 0,
    THREAD_PARK_PARKED = 1,
};

// A library thread. Entry, Parameter, Handle and Id are the thread's public face; ParkState and
// WakeEvent carry the park/wake hand-over: a thread parks by switching ParkState from running to
// parked and then waits on WakeEvent; a waker that switches it back from parked to running sets the
// event, so a wake that comes between the switch and the wait is kept by the event.
struct ThreadRecord {
    ThreadEntryProc Entry;
    void* Parameter;
    HANDLE Handle;
    uint32_t Id;
    volatile LONG ParkState;
    HANDLE WakeEvent;
};

int Thread_Spawn(ThreadRecord* record, ThreadEntryProc entry, void* parameter);
DWORD WINAPI Thread_StartRoutine(LPVOID record);
// 1 when the thread was parked and now runs (or the call failed), 0 when it was running and
// nothing changed (the caller tries again later).
int Thread_Resume(ThreadRecord* record);
// Parks the calling thread until another thread resumes it.
void Thread_SuspendSelf();
int Thread_Release(ThreadRecord* record);
void Thread_SetPriorityLevel(ThreadRecord* record, int level);
uint32_t Thread_GetCurrentId();
uint32_t Thread_GetId(const ThreadRecord* record);
int Thread_HasHandle(const ThreadRecord* record);
void Thread_Sleep(uint32_t milliseconds);

// Test aid: called (when set) by a parking thread between announcing that it is parked and
// beginning to wait, the window in which a wake may arrive early.
extern void (*volatile Thread_ParkHookForTest)(ThreadRecord* record);

}  // namespace Vantrel
