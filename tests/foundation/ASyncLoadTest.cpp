// Asynchronous loading: parameter packing, and the loader threads under load: hundreds of jobs on the
// 33 threads, jobs that post main-thread requests, run-now on started and unstarted jobs, deleting
// handles while they load, stopping the threads with jobs queued. Every wait here is bounded.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtThread.h"

using namespace Vantrel;

namespace {

constexpr int JobType = 14;   // a type no module registers

TEST(ASyncLoadParamTest, PackAndUnpackInOrder)
{
    static const uint8_t block[5] = {1, 2, 3, 4, 5};
    auto pack = [&](void* area, int* offset) {
        ASyncLoad_Param_PutInt(area, offset, -7);
        ASyncLoad_Param_PutInt64(area, offset, 0x0123456789ABCDEFll);
        ASyncLoad_Param_PutString(area, offset, nullptr);
        ASyncLoad_Param_PutString(area, offset, L"");
        ASyncLoad_Param_PutString(area, offset, L"絵.png");
        ASyncLoad_Param_PutBlock(area, offset, block, 5);
        ASyncLoad_Param_PutPointer(area, offset, block);
    };
    int size = 0;
    pack(nullptr, &size);
    EXPECT_EQ(4 + 8 + 2 + 4 + 14 + 7 + 8, size);
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(size);
    ASSERT_NE(nullptr, entry);
    int offset = 0;
    pack(entry->Params, &offset);
    EXPECT_EQ(size, offset);
    // Low word first.
    EXPECT_EQ(0xEF, entry->Params[4]);
    EXPECT_EQ(0x67, entry->Params[8]);
    EXPECT_EQ(2, entry->Params[12]);   // a null string is its length alone

    offset = 0;
    EXPECT_EQ(-7, ASyncLoad_Param_GetInt(entry->Params, &offset));
    EXPECT_EQ(0x0123456789ABCDEFll, ASyncLoad_Param_GetInt64(entry->Params, &offset));
    EXPECT_EQ(nullptr, ASyncLoad_Param_GetString(entry->Params, &offset));
    const wchar_t* empty = ASyncLoad_Param_GetString(entry->Params, &offset);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0, empty[0]);
    EXPECT_EQ(0, wcscmp(L"絵.png", ASyncLoad_Param_GetString(entry->Params, &offset)));
    int bytes = 0;
    EXPECT_EQ(0, memcmp(block, ASyncLoad_Param_GetBlock(entry->Params, &offset, &bytes), 5));
    EXPECT_EQ(5, bytes);
    EXPECT_EQ(block, ASyncLoad_Param_GetPointer(entry->Params, &offset));
    EXPECT_EQ(size, offset);
    ASyncLoad_Entry_Free(entry);
}

TEST(ASyncLoadParamTest, OverLongStringOrBlockIsRefused)
{
    std::vector<uint8_t> big(65534, 0x41);
    int offset = 0;
    EXPECT_EQ(0, ASyncLoad_Param_PutBlock(nullptr, &offset, big.data(), 65533));   // the longest
    EXPECT_EQ(65535, offset);
    offset = 0;
    EXPECT_EQ(-1, ASyncLoad_Param_PutBlock(nullptr, &offset, big.data(), 65534));
    EXPECT_EQ(-1, offset);
    EXPECT_EQ(-1, ASyncLoad_Param_PutInt(nullptr, &offset, 1));   // stays refused
    EXPECT_EQ(-1, offset);
    EXPECT_EQ(nullptr, ASyncLoad_Entry_Allocate(offset));

    // 32767 units with the terminator: 65534 bytes, one too many; one unit fewer fits.
    std::wstring text(32766, L'x');
    offset = 0;
    EXPECT_EQ(-1, ASyncLoad_Param_PutString(nullptr, &offset, text.c_str()));
    EXPECT_EQ(-1, offset);
    text.pop_back();
    offset = 0;
    EXPECT_EQ(0, ASyncLoad_Param_PutString(nullptr, &offset, text.c_str()));
    EXPECT_EQ(65534, offset);
}

// ---- Loader threads --------------------------------------------------------------------------------

uint32_t MainThreadId;
volatile LONG RequestsServed;
volatile LONG RequestsOffMainThread;

struct Job {
    HandleValue Handle = -1;
    int Index = -1;
    volatile LONG Started = 0;
    volatile LONG Release = 1;      // 0: the job waits for it (at most HoldMs)
    DWORD HoldMs = 5000;
    int Requests = 0;               // main-thread requests the job posts
    volatile LONG Finished = 0;
    volatile LONG RequestResults = 0;
    DWORD ThreadId = 0;
    LONG StartOrder = 0;
    ASyncLoadEntry* Entry = nullptr;   // valid only while the job waits in the table
};

volatile LONG StartCounter;

int MainThreadProc(MainThreadRequest* request)
{
    if (Thread_GetCurrentId() != MainThreadId) InterlockedIncrement(&RequestsOffMainThread);
    InterlockedIncrement(&RequestsServed);
    return (int)request->Params[0] + 1;
}

int JobProc(ASyncLoadEntry* entry)
{
    int offset = 0;
    const HandleValue handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    Job* job = (Job*)ASyncLoad_Param_GetPointer(entry->Params, &offset);
    const wchar_t* name = ASyncLoad_Param_GetString(entry->Params, &offset);
    job->ThreadId = GetCurrentThreadId();
    job->StartOrder = InterlockedIncrement(&StartCounter);
    InterlockedExchange(&job->Started, 1);
    const DWORD start = GetTickCount();
    while (!job->Release && GetTickCount() - start < job->HoldMs) Sleep(1);
    for (int i = 0; i < job->Requests; i++) {
        MainThreadRequest request = {};
        request.Procedure = MainThreadProc;
        request.Params[0] = 100 + i;
        request.Params[10] = (intptr_t)job;   // eleven words fit
        if (ASyncLoad_MainThreadRequest_Post(&request) == 101 + i) InterlockedIncrement(&job->RequestResults);
    }
    HandleHeader* record = Handle_GetRecord(handle);
    if (record != nullptr) record->ASyncLoadResult = name != nullptr && wcscmp(name, L"job") == 0 ? 1 : -1;
    Handle_ASyncLoad_End(handle);
    InterlockedExchange(&job->Finished, 1);
    return 0;
}

// The creator's pattern: a handle, the measured parameters, the queued job, the count on the handle.
void QueueJob(Job* job)
{
    job->Handle = Handle_New(JobType, 0, -1);
    ASSERT_GE(job->Handle, 0);
    auto pack = [&](void* area, int* offset) {
        ASyncLoad_Param_PutInt(area, offset, job->Handle);
        ASyncLoad_Param_PutPointer(area, offset, job);
        ASyncLoad_Param_PutString(area, offset, L"job");
    };
    int size = 0;
    pack(nullptr, &size);
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(size);
    ASSERT_NE(nullptr, entry);
    entry->Procedure = JobProc;
    job->Entry = entry;
    int offset = 0;
    pack(entry->Params, &offset);
    ASSERT_EQ(0, ASyncLoad_Entry_Enqueue(entry, &job->Index));
    ASSERT_EQ(0, Handle_ASyncLoad_Begin(job->Handle, job->Index));
}

// Serves the main thread's duties until the condition holds or the time is up.
template <typename Condition>
bool ServeUntil(Condition condition, DWORD limitMs = 10000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs) return false;
        ASyncLoad_ServeMainThreadRequests();
        Handle_ProcessDeleteRequests(0);
        Sleep(1);
    }
    return true;
}

int EndingPump() { return 1; }

class ASyncLoadThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MainThreadId = Thread_GetCurrentId();
        RequestsServed = 0;
        RequestsOffMainThread = 0;
        ASSERT_EQ(0, ASyncLoad_Prepare(MainThreadId));
        ASSERT_EQ(-1, ASyncLoad_Prepare(MainThreadId));
        ASyncLoad_SetActiveThreadLimit(3);
        ASSERT_EQ(0, ASyncLoad_StartThreads(4));
        ASSERT_EQ(0, Handle_Type_Setup(JobType, sizeof(HandleHeader) + 16, 4096, nullptr, nullptr, nullptr, L"Job"));
    }
    void TearDown() override
    {
        ASyncLoad_SetMessagePump(nullptr);
        Thread_ParkHookForTest = nullptr;
        for (auto& job : jobs) InterlockedExchange(&job->Release, 1);
        EXPECT_TRUE(ServeUntil([] { return ASyncLoad_GetPendingCount() == 0; }));
        EXPECT_EQ(0, ASyncLoad_StopThreads());
        Handle_Type_Shutdown(JobType);
        EXPECT_EQ(0, ASyncLoad_Finish());
        EXPECT_EQ(-1, ASyncLoad_Finish());
        EXPECT_EQ(0, RequestsOffMainThread);
    }
    void RunManyJobs(int count);
    Job* NewJob(LONG release = 1, int requests = 0)
    {
        jobs.push_back(std::make_unique<Job>());
        jobs.back()->Release = release;
        jobs.back()->Requests = requests;
        return jobs.back().get();
    }
    std::vector<std::unique_ptr<Job>> jobs;
};

TEST_F(ASyncLoadThreadTest, HundredsOfJobsWithRequestsRunNowAndDeletion)
{
    RunManyJobs(400);
}

// The same while every parking thread lingers between announcing its park and waiting, so that
// wakes arrive early.
TEST_F(ASyncLoadThreadTest, ManyJobsWithLateParking)
{
    Thread_ParkHookForTest = [](ThreadRecord*) { Sleep(2); };
    RunManyJobs(150);
    Thread_ParkHookForTest = nullptr;
}

void ASyncLoadThreadTest::RunManyJobs(int count)
{
    int expectedRequests = 0;
    std::vector<Job*> deletedNow, runNow;
    for (int i = 0; i < count; i++) {
        Job* job = NewJob(1, i % 3 == 0 ? 2 : 0);
        QueueJob(job);
        if (i % 10 == 5) {
            ASSERT_EQ(0, Handle_Delete(job->Handle, 0, 1));   // deleted once loaded
        }
        if (i % 7 == 3) {
            ASSERT_EQ(0, Handle_DeleteNow(job->Handle));                  // removed, or waited for
            deletedNow.push_back(job);
        } else if (i % 11 == 4) {
            HandleHeader* record = Handle_GetRecord(job->Handle);
            const int result = record->ASyncLoadCount == 1 && record->JobIndex >= 0 ? ASyncLoad_Entry_RunNow(record->JobIndex)
                                                                                    : Handle_ASyncLoad_Wait(job->Handle);
            EXPECT_EQ(0, result);
            EXPECT_EQ(0, Handle_ASyncLoad_Wait(job->Handle));
            EXPECT_EQ(1, Handle_GetRecord(job->Handle)->ASyncLoadResult);
            runNow.push_back(job);
        }
    }
    ASSERT_TRUE(ServeUntil([] { return ASyncLoad_GetPendingCount() == 0; }, 30000));
    ASSERT_TRUE(ServeUntil([&] { return HandleManagerTable[JobType].DeleteRequestCount == 0; }));

    for (int i = 0; i < count; i++) {
        Job* job = jobs[i].get();
        const bool removed = std::find(deletedNow.begin(), deletedNow.end(), job) != deletedNow.end();
        if (removed) {
            // Either it never ran, or the deletion waited for its end.
            EXPECT_TRUE(job->Started == 0 || job->Finished == 1) << i;
            EXPECT_EQ(nullptr, Handle_GetRecord(job->Handle)) << i;
            continue;
        }
        ASSERT_EQ(1, job->Finished) << i;
        expectedRequests += job->Requests;
        EXPECT_EQ(job->Requests, job->RequestResults) << i;
        if (i % 10 == 5) {
            EXPECT_EQ(nullptr, Handle_GetRecord(job->Handle)) << i;
        } else {
            ASSERT_NE(nullptr, Handle_GetRecord(job->Handle)) << i;
            EXPECT_EQ(0, Handle_IsASyncLoading(job->Handle)) << i;
            EXPECT_EQ(1, Handle_GetRecord(job->Handle)->ASyncLoadResult) << i;
        }
    }
    EXPECT_GE(RequestsServed, expectedRequests);
    EXPECT_FALSE(runNow.empty());
}

TEST_F(ASyncLoadThreadTest, OldestJobFirstHigherIndexOnEqualTimes)
{
    ASyncLoad_SetActiveThreadLimit(1);
    Job* blocker = NewJob(0);
    QueueJob(blocker);
    ASSERT_TRUE(ServeUntil([&] { return blocker->Started == 1; }));
    Job* a = NewJob();
    Job* b = NewJob();
    Job* c = NewJob();
    for (Job* job : {a, b, c}) QueueJob(job);
    ASSERT_LT(a->Index, b->Index);
    ASSERT_LT(b->Index, c->Index);
    // The one worker is busy, so the queued entries stay in the table untouched: give them times.
    HandleHeader* records[] = {Handle_GetRecord(a->Handle), Handle_GetRecord(b->Handle), Handle_GetRecord(c->Handle)};
    for (HandleHeader* record : records) ASSERT_EQ(1, record->ASyncLoadCount);
    ASSERT_EQ(0, a->Started + b->Started + c->Started);
    const int now = ASyncLoad_GetTime();
    a->Entry->QueueTime = now;
    b->Entry->QueueTime = now;
    c->Entry->QueueTime = now - 5;

    InterlockedExchange(&blocker->Release, 1);
    ASSERT_TRUE(ServeUntil([&] { return a->Finished && b->Finished && c->Finished; }));
    EXPECT_LT(c->StartOrder, b->StartOrder);   // oldest first
    EXPECT_LT(b->StartOrder, a->StartOrder);   // then the higher index of equal times
}

TEST_F(ASyncLoadThreadTest, RunNowOnUnstartedJobUsesTheDedicatedThread)
{
    ASyncLoad_SetActiveThreadLimit(1);
    Job* blocker = NewJob(0);
    QueueJob(blocker);
    ASSERT_TRUE(ServeUntil([&] { return blocker->Started == 1; }));
    Job* job = NewJob(1, 1);
    QueueJob(job);
    ServeUntil([] { return false; }, 30);
    ASSERT_EQ(0, job->Started);   // the one allowed worker is busy

    EXPECT_EQ(0, ASyncLoad_Entry_RunNow(job->Index));
    EXPECT_EQ(1, job->Finished);
    EXPECT_EQ(1, job->RequestResults);   // its request was served while the main thread waited
    EXPECT_NE(blocker->ThreadId, job->ThreadId);
    EXPECT_EQ(0, blocker->Finished);
    EXPECT_EQ(0, ASyncLoad_Entry_RunNow(job->Index));    // gone from the table: nothing to run

    InterlockedExchange(&blocker->Release, 1);
    EXPECT_TRUE(ServeUntil([&] { return blocker->Finished == 1; }));
}

TEST_F(ASyncLoadThreadTest, RunNowOnStartedJobWaitsForIt)
{
    Job* job = NewJob(0, 2);
    job->HoldMs = 100;   // ends by itself
    QueueJob(job);
    ASSERT_TRUE(ServeUntil([&] { return job->Started == 1; }));
    EXPECT_EQ(-2, ASyncLoad_Entry_Remove(job->Index, 1));
    EXPECT_EQ(0, ASyncLoad_Entry_RunNow(job->Index));
    EXPECT_EQ(1, job->Finished);
    EXPECT_EQ(2, job->RequestResults);
    EXPECT_EQ(0, Handle_IsASyncLoading(job->Handle));
}

TEST_F(ASyncLoadThreadTest, DeletingHandlesWhileTheyLoad)
{
    ASyncLoad_SetActiveThreadLimit(1);
    Job* running = NewJob(0, 1);
    running->HoldMs = 100;
    QueueJob(running);
    ASSERT_TRUE(ServeUntil([&] { return running->Started == 1; }));
    Job* queued = NewJob(1);
    QueueJob(queued);

    // The unstarted job is taken out and never runs; the running one is waited for.
    EXPECT_EQ(0, Handle_DeleteNow(queued->Handle));
    EXPECT_EQ(nullptr, Handle_GetRecord(queued->Handle));
    EXPECT_EQ(0, Handle_DeleteNow(running->Handle));
    EXPECT_EQ(1, running->Finished);
    EXPECT_EQ(1, running->RequestResults);
    EXPECT_EQ(nullptr, Handle_GetRecord(running->Handle));
    EXPECT_EQ(-1, Handle_DeleteNow(running->Handle));
    EXPECT_TRUE(ServeUntil([] { return ASyncLoad_GetPendingCount() == 0; }));
    ServeUntil([] { return false; }, 30);
    EXPECT_EQ(0, queued->Started);
}

TEST_F(ASyncLoadThreadTest, StoppingThreadsWithJobsQueued)
{
    ASyncLoad_SetActiveThreadLimit(1);
    Job* blocker = NewJob(0, 1);
    blocker->HoldMs = 50;
    QueueJob(blocker);
    ASSERT_TRUE(ServeUntil([&] { return blocker->Started == 1; }));
    for (int i = 0; i < 20; i++) QueueJob(NewJob(1, 1));

    EXPECT_EQ(0, ASyncLoad_StopThreads());
    EXPECT_EQ(1, blocker->Finished);   // a started job runs to its end
    EXPECT_GT(ASyncLoad_GetPendingCount(), 0);
    for (auto& job : jobs) EXPECT_TRUE(job->Started == 0 || job->Finished == 1);

    // What never ran is taken out with its handle.
    for (auto& job : jobs)
        if (job->Started == 0) {
            EXPECT_EQ(0, Handle_DeleteNow(job->Handle));
        }
    EXPECT_EQ(0, ASyncLoad_GetPendingCount());
}

TEST_F(ASyncLoadThreadTest, RunNowGivenUpWhenTheProgramEndsReportsFailure)
{
    ASyncLoad_SetActiveThreadLimit(1);
    Job* blocker = NewJob(0);
    QueueJob(blocker);
    ASSERT_TRUE(ServeUntil([&] { return blocker->Started == 1; }));
    Job* job = NewJob(0);
    QueueJob(job);

    ASyncLoad_SetMessagePump(EndingPump);
    EXPECT_EQ(-1, ASyncLoad_Entry_RunNow(job->Index));
    ASyncLoad_SetMessagePump(nullptr);
    EXPECT_EQ(0, job->Finished);
    InterlockedExchange(&job->Release, 1);
    InterlockedExchange(&blocker->Release, 1);
    EXPECT_TRUE(ServeUntil([&] { return job->Finished == 1 && blocker->Finished == 1; }));
}

TEST_F(ASyncLoadThreadTest, RequestFromOtherThreadIsRefused)
{
    static int ran;
    ran = 0;
    MainThreadRequest request = {};
    request.Procedure = [](MainThreadRequest*) { return ++ran; };
    EXPECT_EQ(-1, ASyncLoad_MainThreadRequest_Post(&request));
    ASyncLoad_ServeMainThreadRequests();
    EXPECT_EQ(0, ran);
    EXPECT_EQ(1, ASyncLoad_IsMainThread());
    EXPECT_EQ(-1, ASyncLoad_Entry_Remove(ASyncLoad_JobTableSize, 0));
    EXPECT_EQ(-1, ASyncLoad_Entry_RunNow(-1));
}

}  // namespace
