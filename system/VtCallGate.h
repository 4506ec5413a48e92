// Library call gate: serialises the three process-level entry points (start-up, shut-down, pump).
// One owner thread at a time, re-entrant, waiting threads served strictly in arrival order.
// Stands on the critical sections of foundation/VtThread and the system function table.
#pragma once

#include <cstdint>
#include <windows.h>

#include "foundation/VtThread.h"

namespace Vantrel {

// Number of queue places (and wait events) of the gate.
constexpr int LibraryCallGateQueueSize = 4096;

struct LibraryCallGateWaiter {
    uint32_t WaiterThreadId;
    HANDLE WaitEvent;
};

struct LibraryCallGate {
    int32_t OwnerDepth;
    int32_t GateOwned;
    uint32_t OwnerThreadId;
    LibraryCallGateWaiter Waiters[LibraryCallGateQueueSize];  // an event is made when its place is first used
    int32_t EventsCreated;                                     // 1 while the gate exists (GateLock made)
    int32_t WaiterCount;
    CriticalSection GateLock;
};

// Returns when the calling thread owns the gate.
void Window_LibraryCallGate_Enter();
// Gives up one level of ownership.
void Window_LibraryCallGate_Leave();
// Closes the events and deletes the lock (last step of TerminateLibrary). A gate that is owned or has
// threads waiting on it is left as it is; returns 0 when released, -1 when kept.
int Window_LibraryCallGate_Release();

// The gate record (a part of the window state).
LibraryCallGate& Window_LibraryCallGate_Get();

// Queue capacity used from now on (1 .. LibraryCallGateQueueSize); lets tests exercise a full queue
// with a few threads. Only honoured while nobody waits. Returns the previous capacity.
int Window_LibraryCallGate_SetQueueCapacity(int capacity);

}  // namespace Vantrel
