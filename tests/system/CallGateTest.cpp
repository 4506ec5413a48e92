// The library call gate: re-entry, release, first-come-first-served order, a full queue, and a gate
// that is kept while threads wait on it.
#include <gtest/gtest.h>
#include <windows.h>

#include "system/VtCallGate.h"
#include "system/VtWindow.h"

using namespace Vantrel;

namespace {

// Bounded wait until the gate's queue holds `count` threads.
bool WaitForWaiters(int count) {
    for (int i = 0; i < 5000; ++i) {
        LibraryCallGate& gate = Window_LibraryCallGate_Get();
        EnterCriticalSection(&gate.GateLock.System);
        const int waiting = gate.WaiterCount;
        LeaveCriticalSection(&gate.GateLock.System);
        if (waiting >= count) return true;
        Sleep(1);
    }
    return false;
}

struct GateVisitor {
    volatile LONG* NextOrder;
    int Order;
    int MaxWaiters;
};

DWORD WINAPI VisitGate(LPVOID parameter) {
    GateVisitor* visitor = static_cast<GateVisitor*>(parameter);
    Window_LibraryCallGate_Enter();
    visitor->Order = InterlockedIncrement(visitor->NextOrder);
    visitor->MaxWaiters = Window_LibraryCallGate_Get().WaiterCount;
    Window_LibraryCallGate_Leave();
    return 0;
}

HANDLE StartVisitor(GateVisitor* visitor) { return CreateThread(nullptr, 0, VisitGate, visitor, 0, nullptr); }

void JoinAll(HANDLE* threads, int count) {
    ASSERT_EQ(WaitForMultipleObjects(count, threads, TRUE, 10000), WAIT_OBJECT_0);
    for (int i = 0; i < count; ++i) CloseHandle(threads[i]);
}

}  // namespace

TEST(CallGate, OwnerReentersAndReleasesOnlyAtOutermostLeave) {
    LibraryCallGate& gate = Window_LibraryCallGate_Get();
    Window_LibraryCallGate_Enter();
    Window_LibraryCallGate_Enter();
    EXPECT_EQ(gate.OwnerDepth, 2);
    EXPECT_EQ(gate.WaiterCount, 0);
    EXPECT_EQ(gate.OwnerThreadId, GetCurrentThreadId());
    Window_LibraryCallGate_Leave();
    EXPECT_EQ(gate.GateOwned, 1);
    EXPECT_EQ(gate.OwnerDepth, 1);
    Window_LibraryCallGate_Leave();
    EXPECT_EQ(gate.GateOwned, 0);
    EXPECT_EQ(gate.OwnerDepth, 0);
    EXPECT_EQ(gate.OwnerThreadId, 0xFFFFFFFFu);
    EXPECT_EQ(gate.WaiterCount, 0);
}

TEST(CallGate, ServesThreadsInArrivalOrder) {
    volatile LONG next = 0;
    GateVisitor visitors[4];
    HANDLE threads[4];
    Window_LibraryCallGate_Enter();
    // Each thread starts only once the one before it is queued, so the arrival order is fixed.
    for (int i = 0; i < 4; ++i) {
        visitors[i] = {&next, 0, 0};
        threads[i] = StartVisitor(&visitors[i]);
        ASSERT_TRUE(WaitForWaiters(i + 1));
    }
    Window_LibraryCallGate_Leave();
    JoinAll(threads, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(visitors[i].Order, i + 1) << "thread " << i;
    EXPECT_EQ(Window_LibraryCallGate_Get().WaiterCount, 0);
    EXPECT_EQ(Window_LibraryCallGate_Get().GateOwned, 0);
}

TEST(CallGate, ThreadFindingTheQueueFullPollsAndIsServedLast) {
    const int previous = Window_LibraryCallGate_SetQueueCapacity(2);
    volatile LONG next = 0;
    GateVisitor visitors[3];
    HANDLE threads[3];
    Window_LibraryCallGate_Enter();
    for (int i = 0; i < 2; ++i) {
        visitors[i] = {&next, 0, 0};
        threads[i] = StartVisitor(&visitors[i]);
        ASSERT_TRUE(WaitForWaiters(i + 1));
    }
    visitors[2] = {&next, 0, 0};
    threads[2] = StartVisitor(&visitors[2]);
    Sleep(50);  // the third thread polls; it never takes a queue place
    EXPECT_EQ(Window_LibraryCallGate_Get().WaiterCount, 2);
    Window_LibraryCallGate_Leave();
    JoinAll(threads, 3);
    Window_LibraryCallGate_SetQueueCapacity(previous);
    EXPECT_EQ(visitors[0].Order, 1);
    EXPECT_EQ(visitors[1].Order, 2);
    EXPECT_EQ(visitors[2].Order, 3);
    for (const GateVisitor& visitor : visitors) EXPECT_LE(visitor.MaxWaiters, 2);
}

TEST(CallGate, ReleaseFreesAnIdleGateAndTheNextEntryRebuildsIt) {
    LibraryCallGate& gate = Window_LibraryCallGate_Get();
    Window_LibraryCallGate_Enter();
    Window_LibraryCallGate_Leave();
    EXPECT_EQ(Window_LibraryCallGate_Release(), 0);
    EXPECT_EQ(gate.EventsCreated, 0);
    for (int i = 0; i < LibraryCallGateQueueSize; ++i) ASSERT_EQ(gate.Waiters[i].WaitEvent, nullptr);
    Window_LibraryCallGate_Enter();
    EXPECT_EQ(gate.EventsCreated, 1);
    EXPECT_EQ(gate.OwnerDepth, 1);
    Window_LibraryCallGate_Leave();
}

TEST(CallGate, ReleaseRefusedWhileOwnedOrWaitedOn) {
    volatile LONG next = 0;
    GateVisitor visitor = {&next, 0, 0};
    Window_LibraryCallGate_Enter();
    HANDLE thread = StartVisitor(&visitor);
    ASSERT_TRUE(WaitForWaiters(1));
    EXPECT_EQ(Window_LibraryCallGate_Release(), -1);
    EXPECT_EQ(Window_LibraryCallGate_Get().EventsCreated, 1);
    Window_LibraryCallGate_Leave();
    JoinAll(&thread, 1);
    EXPECT_EQ(visitor.Order, 1);
}

namespace {

// Threads that take the gate again and again, each time checking that nobody else is inside.
struct GateHammer {
    HANDLE Start;             // all threads begin together
    int Rounds;
    volatile LONG* Inside;    // threads inside the gate right now
    volatile LONG* Overlaps;  // times a thread found another one inside
};

DWORD WINAPI HammerGate(LPVOID parameter) {
    GateHammer* hammer = static_cast<GateHammer*>(parameter);
    WaitForSingleObject(hammer->Start, INFINITE);
    for (int round = 0; round < hammer->Rounds; ++round) {
        Window_LibraryCallGate_Enter();
        if (InterlockedIncrement(hammer->Inside) != 1) InterlockedIncrement(hammer->Overlaps);
        if (round % 8 == 0) Sleep(0);
        InterlockedDecrement(hammer->Inside);
        Window_LibraryCallGate_Leave();
    }
    return 0;
}

// Runs `count` hammering threads while `meanwhile` runs on this thread; false when the threads did
// not all finish (a broken gate leaves them stuck).
template <typename Meanwhile>
bool HammerWhile(int count, int rounds, volatile LONG* overlaps, Meanwhile meanwhile) {
    volatile LONG inside = 0;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    GateHammer hammer = {start, rounds, &inside, overlaps};
    HANDLE threads[8];
    for (int i = 0; i < count; ++i) threads[i] = CreateThread(nullptr, 0, HammerGate, &hammer, 0, nullptr);
    SetEvent(start);
    meanwhile();
    const bool finished = WaitForMultipleObjects(count, threads, TRUE, 20000) == WAIT_OBJECT_0;
    if (finished)
        for (int i = 0; i < count; ++i) CloseHandle(threads[i]);
    CloseHandle(start);
    return finished;
}

void ExpectIdleGate() {
    const LibraryCallGate& gate = Window_LibraryCallGate_Get();
    EXPECT_EQ(gate.GateOwned, 0);
    EXPECT_EQ(gate.OwnerDepth, 0);
    EXPECT_EQ(gate.WaiterCount, 0);
}

}  // namespace

TEST(CallGate, ThreadsMeetingAtTheFirstUseShareOneGate) {
    ASSERT_EQ(Window_LibraryCallGate_Release(), 0);
    ASSERT_EQ(Window_LibraryCallGate_Get().EventsCreated, 0);
    volatile LONG overlaps = 0;
    ASSERT_TRUE(HammerWhile(8, 50, &overlaps, [] {}));
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(Window_LibraryCallGate_Get().EventsCreated, 1);
    ExpectIdleGate();
}

TEST(CallGate, ReleasesRacingWithEntriesNeverPullTheLockAway) {
    volatile LONG overlaps = 0;
    int released = 0;
    ASSERT_TRUE(HammerWhile(2, 400, &overlaps, [&released] {
        for (int i = 0; i < 200; ++i) {
            if (Window_LibraryCallGate_Release() == 0) ++released;
            Sleep(0);
        }
    }));
    EXPECT_EQ(overlaps, 0);
    ExpectIdleGate();
    EXPECT_GT(released, 0) << "the race was never run";
    Window_LibraryCallGate_Enter();
    Window_LibraryCallGate_Leave();
}

TEST(CallGate, AWindowStartDoesNotDisturbThreadsUsingTheGate) {
    volatile LONG overlaps = 0;
    ASSERT_TRUE(HammerWhile(3, 3000, &overlaps, [] {
        for (int i = 0; i < 3000; ++i) Window_ResetState();
    }));
    EXPECT_EQ(overlaps, 0);
    ExpectIdleGate();
}
