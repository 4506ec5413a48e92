// Critical sections and library threads: the last locker is recorded, many threads keep a shared
// counter exact under one lock, a spawned thread waits for its resume, and a wake that arrives
// before the thread begins to wait is not lost.
#include <gtest/gtest.h>

#include <string>

#include "foundation/VtThread.h"

using namespace Vantrel;

TEST(CriticalSectionTest, RecordsLastLockerAndCutsLongFileNames)
{
    CriticalSection lock;
    CriticalSection_Create(&lock);
    CriticalSection_Enter(&lock, "VtHandle", 123);
    EXPECT_STREQ(lock.OwnerFile, "VtHandle");
    EXPECT_EQ(lock.OwnerLine, 123);
    EXPECT_EQ(lock.OwnerThread, Thread_GetCurrentId());
    // Re-entrant for its owner.
    const std::string longName(700, 'x');
    CriticalSection_Enter(&lock, longName.c_str(), 7);
    EXPECT_EQ(std::string(lock.OwnerFile), std::string(511, 'x'));
    CriticalSection_Leave(&lock);
    CriticalSection_Leave(&lock);
    // The owner fields stay after leaving.
    EXPECT_EQ(lock.OwnerLine, 7);
    CriticalSection_Delete(&lock);
}

struct CounterJob {
    CriticalSection* Lock;
    volatile long* Counter;
    int Rounds;
    volatile LONG* Done;
};

static void CounterEntry(ThreadRecord* record, void* parameter)
{
    CounterJob* job = (CounterJob*)parameter;
    for (int i = 0; i < job->Rounds; i++) {
        CriticalSection_Enter(job->Lock, "ThreadTest", i);
        const long value = *job->Counter;  // read, yield, write: a lost update shows without the lock
        if ((i & 255) == 0) Thread_Sleep(0);
        *job->Counter = value + 1;
        CriticalSection_Leave(job->Lock);
    }
    InterlockedIncrement(job->Done);
}

static int ResumeUntilRunning(ThreadRecord* record)
{
    for (int tries = 0; tries < 5000; tries++) {
        if (Thread_Resume(record) == 1) return 1;
        Thread_Sleep(1);
    }
    return 0;
}

static bool WaitThreadEnd(ThreadRecord* record, DWORD milliseconds)
{
    return WaitForSingleObject(record->Handle, milliseconds) == WAIT_OBJECT_0;
}

TEST(CriticalSectionTest, ManyThreadsKeepCounterExact)
{
    CriticalSection lock;
    CriticalSection_Create(&lock);
    volatile long counter = 0;
    volatile LONG done = 0;
    const int threadCount = 16, rounds = 20000;
    CounterJob job = {&lock, &counter, rounds, &done};
    ThreadRecord threads[threadCount] = {};
    for (int i = 0; i < threadCount; i++) ASSERT_EQ(Thread_Spawn(&threads[i], CounterEntry, &job), 0);
    for (int i = 0; i < threadCount; i++) ASSERT_EQ(ResumeUntilRunning(&threads[i]), 1);
    for (int i = 0; i < threadCount; i++) {
        EXPECT_TRUE(WaitThreadEnd(&threads[i], 30000));
        Thread_Release(&threads[i]);
    }
    EXPECT_EQ(done, threadCount);
    EXPECT_EQ(counter, (long)threadCount * rounds);
    CriticalSection_Delete(&lock);
}

struct FlagJob {
    volatile LONG Ran;
    volatile LONG Parks;
    volatile LONG Wakes;
    int ParkRounds;
};

static void FlagEntry(ThreadRecord* record, void* parameter)
{
    FlagJob* job = (FlagJob*)parameter;
    InterlockedExchange(&job->Ran, 1);
    for (int i = 0; i < job->ParkRounds; i++) {
        InterlockedIncrement(&job->Parks);
        Thread_SuspendSelf();
        InterlockedIncrement(&job->Wakes);
    }
}

TEST(ThreadTest, SpawnedThreadWaitsForItsResume)
{
    FlagJob job = {0, 0, 0, 0};
    ThreadRecord record = {};
    ASSERT_EQ(Thread_Spawn(&record, FlagEntry, &job), 0);
    EXPECT_EQ(Thread_HasHandle(&record), 1);
    EXPECT_NE(Thread_GetId(&record), 0u);
    Thread_Sleep(50);
    EXPECT_EQ(job.Ran, 0);
    ASSERT_EQ(ResumeUntilRunning(&record), 1);
    EXPECT_TRUE(WaitThreadEnd(&record, 10000));
    EXPECT_EQ(job.Ran, 1);
    EXPECT_NE(Thread_Release(&record), 0);
    EXPECT_EQ(Thread_HasHandle(&record), 0);
}

static void SpinEntry(ThreadRecord* record, void* parameter)
{
    volatile LONG* stop = (volatile LONG*)parameter;
    while (*stop == 0) Thread_Sleep(1);
}

TEST(ThreadTest, ResumeOfRunningThreadReturnsZeroAndPriorityLevelsOutsideTableChangeNothing)
{
    volatile LONG stop = 0;
    ThreadRecord record = {};
    ASSERT_EQ(Thread_Spawn(&record, SpinEntry, (void*)&stop), 0);
    ASSERT_EQ(ResumeUntilRunning(&record), 1);
    EXPECT_EQ(Thread_Resume(&record), 0);
    Thread_SetPriorityLevel(&record, 1);
    EXPECT_EQ(GetThreadPriority(record.Handle), THREAD_PRIORITY_BELOW_NORMAL);
    Thread_SetPriorityLevel(&record, 4);
    Thread_SetPriorityLevel(&record, -1);
    EXPECT_EQ(GetThreadPriority(record.Handle), THREAD_PRIORITY_BELOW_NORMAL);
    Thread_SetPriorityLevel(&record, 3);
    EXPECT_EQ(GetThreadPriority(record.Handle), THREAD_PRIORITY_HIGHEST);
    InterlockedExchange(&stop, 1);
    EXPECT_TRUE(WaitThreadEnd(&record, 10000));
    Thread_Release(&record);
}

// A waker resumes the thread after it has announced that it parks but before it begins to wait
// (the hook runs in exactly that window). With a plain suspend/resume pair that wake would be spent
// on a running thread and the thread would then sleep for ever; here the resume counts (1) and the
// thread goes on by itself.
static volatile LONG EarlyResumeResults[8];
static volatile LONG EarlyResumeCount = 0;

static void ResumeInsideParkWindow(ThreadRecord* record)
{
    const LONG index = InterlockedIncrement(&EarlyResumeCount) - 1;
    if (index < 8) EarlyResumeResults[index] = Thread_Resume(record);
}

TEST(ThreadTest, WakeBeforeThreadWaitsIsNotLost)
{
    FlagJob job = {0, 0, 0, 3};
    ThreadRecord record = {};
    EarlyResumeCount = 0;
    Thread_ParkHookForTest = ResumeInsideParkWindow;
    ASSERT_EQ(Thread_Spawn(&record, FlagEntry, &job), 0);
    // No one else resumes it: the start and the three parks are all woken inside the window.
    const bool ended = WaitThreadEnd(&record, 10000);
    Thread_ParkHookForTest = nullptr;
    ASSERT_TRUE(ended);
    EXPECT_EQ(job.Ran, 1);
    EXPECT_EQ(job.Wakes, 3);
    ASSERT_EQ(EarlyResumeCount, 4);
    for (int i = 0; i < 4; i++) EXPECT_EQ(EarlyResumeResults[i], 1);
    Thread_Release(&record);
}

// Parks and wakes from another thread in quick succession: every wake reaches the thread.
TEST(ThreadTest, RepeatedParkAndWakeFromAnotherThread)
{
    FlagJob job = {0, 0, 0, 500};
    ThreadRecord record = {};
    ASSERT_EQ(Thread_Spawn(&record, FlagEntry, &job), 0);
    for (int round = 0; round <= job.ParkRounds; round++) ASSERT_EQ(ResumeUntilRunning(&record), 1) << round;
    EXPECT_TRUE(WaitThreadEnd(&record, 10000));
    EXPECT_EQ(job.Wakes, job.ParkRounds);
    Thread_Release(&record);
}
