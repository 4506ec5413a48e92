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

// The gate's life: GateLock is created and deleted, and the events released, only under this lock,
// and GateLock is only ever entered under it, so no thread can reach a lock that is not made yet or
// is being deleted. A spin word needs nothing created first; it is held for short steps only.
// Order: LifeLock, then GateLock.
volatile LONG CallGate_LifeLock = 0;

void CallGate_LockLife() {
    for (int spins = 0; InterlockedCompareExchange(&CallGate_LifeLock, 1, 0) != 0; ++spins) {
        WinAPI_EnsureLoaded();
        WinAPITable.Sleep(spins < 16 ? 0 : 1);
    }
}

void CallGate_UnlockLife() { InterlockedExchange(&CallGate_LifeLock, 0); }

// Under the life lock: GateLock exists once this returns. The wait events are made when a queue
// place is first used (most programs call from one thread and never queue): making all 4096 at
// each start cost more than a tenth of a second.
void CallGate_CreateResources(LibraryCallGate& gate) {
    if (gate.EventsCreated) return;
    for (int i = 0; i < LibraryCallGateQueueSize; ++i) gate.Waiters[i].WaiterThreadId = 0;
    CriticalSection_Create(&gate.GateLock);
    gate.EventsCreated = 1;
}

// Enters GateLock, creating the gate first when create is set. Returns false (nothing locked) when
// the gate does not exist and is not to be created.
bool CallGate_Lock(LibraryCallGate& gate, bool create) {
    CallGate_LockLife();
    if (create) CallGate_CreateResources(gate);
    const bool exists = gate.EventsCreated != 0;
    if (exists) CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
    CallGate_UnlockLife();
    return exists;
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
    WinAPI_EnsureLoaded();
    int previous = CallGate_QueueCapacity;
    if (capacity < 1) capacity = 1;
    if (capacity > LibraryCallGateQueueSize) capacity = LibraryCallGateQueueSize;
    LibraryCallGate& gate = Window.Gate;
    CallGate_LockLife();
    if (gate.EventsCreated) {
        CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
        if (gate.WaiterCount == 0) CallGate_QueueCapacity = capacity;
        CriticalSection_Leave(&gate.GateLock);
    } else {
        CallGate_QueueCapacity = capacity;
    }
    CallGate_UnlockLife();
    return previous;
}

void Window_LibraryCallGate_Enter() {
    WinAPI_EnsureLoaded();
    LibraryCallGate& gate = Window.Gate;
    const uint32_t self = WinAPITable.GetCurrentThreadId();
    for (;;) {
        // Created on first use; made again when a release came between two turns of a thread that
        // found the queue full.
        CallGate_Lock(gate, true);
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
        LibraryCallGateWaiter* place = nullptr;
        if (gate.WaiterCount < CallGate_QueueCapacity) {
            place = &gate.Waiters[gate.WaiterCount];
            if (place->WaitEvent == nullptr) place->WaitEvent = WinAPITable.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        // A full queue (or no event to wait on) is polled once per millisecond.
        if (place == nullptr || place->WaitEvent == nullptr) {
            CriticalSection_Leave(&gate.GateLock);
            WinAPITable.Sleep(1);
            continue;
        }
        // A queued thread keeps the gate in use, so its event outlives the wait.
        place->WaiterThreadId = self;
        HANDLE event = place->WaitEvent;
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
    if (!CallGate_Lock(gate, false)) return;  // never entered: nothing to give up
    bool wake = false;
    HANDLE headEvent = nullptr;
    if (gate.OwnerDepth == 1) {
        gate.GateOwned = 0;
        gate.OwnerThreadId = 0xFFFFFFFFu;
        wake = gate.WaiterCount > 0;
        // Taken under the lock: the head's place can be rotated as soon as the lock is left. The
        // head stays queued until it runs, so the gate cannot be released before the signal.
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
    // The whole release holds the life lock: no thread can enter GateLock between the check and the
    // deletion. A gate that another thread owns or waits on stays: its lock and events are in use.
    CallGate_LockLife();
    if (gate.EventsCreated == 0) {
        CallGate_UnlockLife();
        return 0;
    }
    WinAPI_EnsureLoaded();
    CriticalSection_Enter(&gate.GateLock, __FILE__, __LINE__);
    const bool inUse = gate.GateOwned != 0 || gate.WaiterCount != 0;
    CriticalSection_Leave(&gate.GateLock);
    if (inUse) {
        CallGate_UnlockLife();
        return -1;
    }
    gate.EventsCreated = 0;
    for (int i = 0; i < LibraryCallGateQueueSize; ++i) {
        if (gate.Waiters[i].WaitEvent != nullptr) {
            WinAPITable.CloseHandle(gate.Waiters[i].WaitEvent);
            gate.Waiters[i].WaitEvent = nullptr;
        }
    }
    CriticalSection_Delete(&gate.GateLock);
    CallGate_UnlockLife();
    return 0;
}

}  // namespace Vantrel
