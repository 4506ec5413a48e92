// Library call gate: one owner thread at a time, re-entrant, strictly first come first served.
// Each waiter sleeps on an event of its own so that a release wakes exactly the thread whose turn it is.
// Stands on foundation/VtThread (critical sections) and the system function table (events, threads).
#include "system/VtCallGate.h"

#include "foundation/VtWinAPI.h"
#include "system/VtWindow.h"

namespace Vantrel {

namespace {

// Queue places in use; tests may lower it to reach a full queue with a few threads.
int CallGate_QueueCapacity = LibraryCallGateQueueSize;

void CallGate_CreateResources(LibraryCallGate& gate) {
    gate.EventsCreated = 1;
    for (int i = 0; i < LibraryCallGateQueueSize; ++i) {
        gate.Waiters[i].WaitEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        gate.Waiters[i].WaiterThreadId = 0;
    }
    CriticalSection_Create(&gate.GateLock);
}

// Removes the head of the queue; its event moves to the last used place.
void CallGate_PopHead(LibraryCallGate& gate) {
    if (gate.WaiterCount > 1) {
        HANDLE headEvent = gate.Waiters[0].WaitEvent;
        for (int i = 1; i < gate.WaiterCount; ++i) gate.Waiters[i - 1] = gate.Waiters[i];
        gate.Waiters[gate.WaiterCount - 1].WaitEvent = headEvent;
        gate.Waiters[gate.WaiterCount - 1].WaiterThreadId = 0;
    } else {
        gate.Waiters[0].WaiterThreadId = 0;
    }
    gate.WaiterCount -= 1;
}

}  // namespace

LibraryCallGate& Window_LibraryCallGate_Get() { return Window.Gate; }

int Window_LibraryCallGate_SetQueueCapacity(int capacity) {
    int previous = CallGate_QueueCapacity;
    if (capacity < 1) capacity = 1;
    if (capacity > LibraryCallGateQueueSize) capacity = LibraryCallGateQueueSize;
    LibraryCallGate& gate = Window.Gate;
    if (gate.EventsCreated) {
        CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
        if (gate.WaiterCount == 0) CallGate_QueueCapacity = capacity;
        CriticalSection_Leave(&gate.GateLock);
    } else {
        CallGate_QueueCapacity = capacity;
    }
    return previous;
}

void Window_LibraryCallGate_Enter() {
    WinAPI_EnsureLoaded();
    LibraryCallGate& gate = Window.Gate;
    if (gate.EventsCreated == 0) CallGate_CreateResources(gate);

    const uint32_t self = WinAPITable.GetCurrentThreadId();
    for (;;) {
        CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
        if (gate.GateOwned == 1) {
            if (gate.OwnerThreadId == self) break;  // re-entry
        } else {
            if (gate.WaiterCount == 0) break;
            if (gate.Waiters[0].WaiterThreadId == self) {
                CallGate_PopHead(gate);
                break;
            }
            // Free, but others queued first: a newcomer never overtakes the queue.
        }
        if (gate.WaiterCount >= CallGate_QueueCapacity) {
            CriticalSection_Leave(&gate.GateLock);
            WinAPITable.Sleep(1);
            continue;
        }
        LibraryCallGateWaiter& place = gate.Waiters[gate.WaiterCount];
        place.WaiterThreadId = self;
        HANDLE event = place.WaitEvent;
        gate.WaiterCount += 1;
        CriticalSection_Leave(&gate.GateLock);
        WinAPITable.WaitForSingleObject(event, INFINITE);
        WinAPITable.ResetEvent(event);
    }
    gate.OwnerDepth += 1;
    gate.GateOwned = 1;
    gate.OwnerThreadId = self;
    CriticalSection_Leave(&gate.GateLock);
}

void Window_LibraryCallGate_Leave() {
    WinAPI_EnsureLoaded();
    LibraryCallGate& gate = Window.Gate;
    if (gate.EventsCreated == 0) return;  // never entered: nothing to give up
    bool wake = false;
    HANDLE headEvent = nullptr;
    CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
    if (gate.OwnerDepth == 1) {
        gate.GateOwned = 0;
        gate.OwnerThreadId = 0xFFFFFFFFu;
        wake = gate.WaiterCount > 0;
        // Taken under the lock: the head's place can be rotated as soon as the lock is left.
        if (wake) headEvent = gate.Waiters[0].WaitEvent;
    }
    if (gate.OwnerDepth > 0) gate.OwnerDepth -= 1;
    CriticalSection_Leave(&gate.GateLock);
    if (wake) {
        WinAPITable.SetEvent(headEvent);
        WinAPITable.Sleep(0);
    }
}

int Window_LibraryCallGate_Release() {
    LibraryCallGate& gate = Window.Gate;
    if (gate.EventsCreated == 0) return 0;
    WinAPI_EnsureLoaded();
    // A gate that another thread owns or waits on stays: its lock and events are in use.
    CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
    const bool inUse = gate.GateOwned != 0 || gate.WaiterCount != 0;
    CriticalSection_Leave(&gate.GateLock);
    if (inUse) return -1;
    gate.EventsCreated = 0;
    for (int i = 0; i < LibraryCallGateQueueSize; ++i) {
        if (gate.Waiters[i].WaitEvent != nullptr) {
            WinAPITable.CloseHandle(gate.Waiters[i].WaitEvent);
            gate.Waiters[i].WaitEvent = nullptr;
        }
    }
    CriticalSection_Delete(&gate.GateLock);
    return 0;
}

}  // namespace Vantrel
