// Handle manager: handle layout and check values, slot choice, stale handles, deletion at once and on
// request, refusing terminate callbacks, record resizing and type restarts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtThread.h"

using namespace Vantrel;

namespace {

constexpr int TestType = 13;   // a type no module registers

struct TestRecord {
    HandleHeader Header;
    int Payload[4];
};

int TerminateCalls;
int RefuseDeletion;
int InitCalls;

void CountInit(HandleHeader*) { InitCalls++; }
int MaybeRefuse(HandleHeader*)
{
    TerminateCalls++;
    return RefuseDeletion ? 1 : 0;
}

// Whether the library log holds the text (UTF-8).
bool LogContains(const char8_t* text)
{
    wchar_t path[1024];
    Log_File_BuildPath(path, sizeof(path));
    FILE* file = _wfopen(path, L"rb");
    if (file == nullptr) return false;
    std::string content;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) content.append(buffer, got);
    fclose(file);
    return content.find((const char*)text) != std::string::npos;
}

class HandleTest : public ::testing::Test {
protected:
    bool preparedHere = false;
    void SetUp() override
    {
        TerminateCalls = 0;
        RefuseDeletion = 0;
        InitCalls = 0;
        if (!ASyncLoad_IsMainThread()) preparedHere = ASyncLoad_Prepare(Thread_GetCurrentId()) == 0;
    }
    void TearDown() override
    {
        RefuseDeletion = 0;
        if (HandleManagerTable[TestType].Initialized) Handle_Type_Shutdown(TestType);
        if (preparedHere) ASyncLoad_Finish();
    }
    void Setup(int maxCount)
    {
        ASSERT_EQ(0, Handle_Type_Setup(TestType, sizeof(TestRecord), maxCount, CountInit, MaybeRefuse, nullptr, L"Test"));
    }
    HandleManager& Manager() { return HandleManagerTable[TestType]; }
};

}  // namespace

TEST_F(HandleTest, HandleLayoutAndSetup)
{
    Setup(16);
    EXPECT_EQ(-1, Handle_Type_Setup(TestType, sizeof(TestRecord), 16, nullptr, nullptr, nullptr, L"Test"));
    const HandleValue h = Handle_New(TestType, 0, -1);
    ASSERT_GE(h, 0);
    EXPECT_EQ(TestType << 26, h & 0x7C000000);
    EXPECT_EQ(0, h & 0x0003FFFF);
    TestRecord* record = (TestRecord*)Handle_GetRecord(h);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(record->Header.CheckValue << 18, h & 0x03FC0000);
    EXPECT_EQ(h, record->Header.Handle);
    EXPECT_EQ((int)sizeof(TestRecord), record->Header.RecordSize);
    EXPECT_EQ(-1, record->Header.JobIndex);
    EXPECT_EQ(0, record->Payload[3]);
    EXPECT_EQ(1, InitCalls);
    EXPECT_EQ(0, Handle_IsASyncLoading(h));

    const HandleValue inJob = Handle_New(TestType, 1, -1);
    EXPECT_EQ(1, Handle_IsASyncLoading(inJob));
    EXPECT_EQ(-1, Handle_GetRecord(inJob)->JobIndex);
    EXPECT_EQ(0, Handle_ASyncLoad_End(inJob));   // else its deletion would wait for the job

    // Handles of other types, negative values and unregistered types do not validate.
    EXPECT_EQ(nullptr, Handle_GetRecord(-1));
    EXPECT_EQ(nullptr, Handle_GetRecord(Handle_MakeValue(TestType + 1, Handle_CheckOf(h), 0)));
    EXPECT_EQ(nullptr, Handle_GetRecord(Handle_MakeValue(TestType, Handle_CheckOf(h), 15)));
    EXPECT_EQ(-1, Handle_IsASyncLoading(Handle_MakeValue(TestType, Handle_CheckOf(h), 100)));
}

TEST_F(HandleTest, CheckValuesWrapWithoutTheReservedValue)
{
    Setup(4);
    std::vector<int> checks;
    for (int i = 0; i < 600; i++) {
        const HandleValue h = Handle_New(TestType, 0, -1);
        ASSERT_GE(h, 0);
        checks.push_back(Handle_CheckOf(h));
        ASSERT_EQ(0, Handle_DeleteNow(h));
    }
    const int start = checks[0];
    for (size_t i = 0; i < checks.size(); i++) {
        EXPECT_NE(255, checks[i]);
        EXPECT_EQ((start + (int)i) % 255, checks[i]) << "creation " << i;
    }
}

TEST_F(HandleTest, StaleHandleFailsValidation)
{
    Setup(4);
    const HandleValue old = Handle_New(TestType, 0, -1);
    ASSERT_EQ(0, Handle_DeleteNow(old));
    const HandleValue fresh = Handle_New(TestType, 0, -1);
    EXPECT_EQ(Handle_SlotOf(old), Handle_SlotOf(fresh));
    EXPECT_EQ(nullptr, Handle_GetRecord(old));
    EXPECT_EQ(-1, Handle_Delete(old, 0, 0));
    EXPECT_EQ(-1, Handle_DeleteNow(old));
    EXPECT_NE(nullptr, Handle_GetRecord(fresh));

    // After 255 creations in between the check value comes round again.
    ASSERT_EQ(0, Handle_DeleteNow(fresh));
    for (int i = 0; i < 253; i++) Handle_DeleteNow(Handle_New(TestType, 0, -1));
    const HandleValue again = Handle_New(TestType, 0, -1);
    EXPECT_EQ(old, again);

    // A handle of a type that was shut down and set up again does not validate.
    const int counter = Manager().CheckCounter;
    Handle_Type_Shutdown(TestType);
    EXPECT_EQ(nullptr, Handle_GetRecord(again));
    Setup(4);
    EXPECT_EQ(counter, Manager().CheckCounter);
    EXPECT_NE(again, Handle_New(TestType, 0, -1));
}

TEST_F(HandleTest, SlotChoiceOrder)
{
    Setup(12);
    std::vector<HandleValue> h;
    for (int i = 0; i < 12; i++) h.push_back(Handle_New(TestType, 0, -1));
    for (int i = 0; i < 12; i++) EXPECT_EQ(i, Handle_SlotOf(h[i]));   // first at 0, then above the highest
    EXPECT_EQ(-1, Handle_New(TestType, 0, -1));                      // at the maximum
    EXPECT_TRUE(LogContains(u8"Testハンドルの数が限界数( 12 )に達していて新たなハンドルを作成できません"));

    Handle_DeleteNow(h[0]);
    Handle_DeleteNow(h[1]);
    Handle_DeleteNow(h[2]);
    Handle_DeleteNow(h[6]);
    EXPECT_EQ(3, Manager().LowestUsed);
    EXPECT_EQ(11, Manager().HighestUsed);
    // The highest used slot is the last: below the lowest, then, from slot 0 on, the first free one.
    const int expected[] = {2, 1, 0, 6};
    for (int slot : expected) {
        const HandleValue next = Handle_New(TestType, 0, -1);
        EXPECT_EQ(slot, Handle_SlotOf(next));
    }

    // Deleting the highest and lowest moves the used range inwards past empty slots.
    for (int i = 0; i < 12; i++)
        if (i != 5 && i != 7) Handle_DeleteNow(Handle_MakeValue(TestType, Manager().Slots[i]->CheckValue, i));
    EXPECT_EQ(5, Manager().LowestUsed);
    EXPECT_EQ(7, Manager().HighestUsed);
    EXPECT_EQ(8, Handle_SlotOf(Handle_New(TestType, 0, -1)));
}

TEST_F(HandleTest, WantedHandle)
{
    Setup(8);
    const HandleValue wanted = Handle_MakeValue(TestType, 77, 5);
    EXPECT_EQ(wanted, Handle_New(TestType, 0, wanted));
    // The slot is taken now: another slot, the wanted check value.
    const HandleValue second = Handle_New(TestType, 0, wanted);
    EXPECT_EQ(77, Handle_CheckOf(second));
    EXPECT_NE(5, Handle_SlotOf(second));
    // A wanted slot beyond the type's slots, or a check value never given out, is refused.
    EXPECT_EQ(-1, Handle_New(TestType, 0, Handle_MakeValue(TestType, 3, 8)));
    EXPECT_EQ(-1, Handle_New(TestType, 0, Handle_MakeValue(TestType, 3, 0x3FFFF)));
    EXPECT_EQ(-1, Handle_New(TestType, 0, Handle_MakeValue(TestType, 255, 1)));
    EXPECT_EQ(2, Manager().Count);
}

TEST_F(HandleTest, RefusingTerminateCallback)
{
    Setup(8);
    const HandleValue a = Handle_New(TestType, 0, -1);
    const HandleValue b = Handle_New(TestType, 0, -1);
    int notify = 0;
    Handle_SetDeleteNotify(a, &notify);
    RefuseDeletion = 1;
    EXPECT_EQ(0, Handle_DeleteNow(a));
    EXPECT_NE(nullptr, Handle_GetRecord(a));
    EXPECT_EQ(0, notify);

    // Every record refuses: the pass ends, each asked once.
    TerminateCalls = 0;
    EXPECT_EQ(0, Handle_DeleteAll(TestType, nullptr));
    EXPECT_EQ(2, TerminateCalls);
    EXPECT_NE(nullptr, Handle_GetRecord(b));

    // A refused requested deletion does not hold up the waiting request pass.
    ASSERT_EQ(0, Handle_Delete(b, 0, 1));
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(1));
    EXPECT_NE(nullptr, Handle_GetRecord(b));

    RefuseDeletion = 0;
    EXPECT_EQ(0, Handle_DeleteNow(a));
    EXPECT_EQ(-1, notify);
    EXPECT_EQ(nullptr, Handle_GetRecord(a));
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(1));
    EXPECT_EQ(nullptr, Handle_GetRecord(b));
    EXPECT_EQ(0, Manager().Count);
}

TEST_F(HandleTest, DeleteAllWithFilterAndPendingRequests)
{
    Setup(16);
    std::vector<HandleValue> h;
    for (int i = 0; i < 10; i++) {
        h.push_back(Handle_New(TestType, 0, -1));
        ((TestRecord*)Handle_GetRecord(h[i]))->Payload[0] = i;
    }
    ASSERT_EQ(0, Handle_Delete(h[3], 1, 0));
    EXPECT_EQ(-1, Handle_Delete(h[3], 0, 1));          // already requested
    EXPECT_EQ(0, Handle_DeleteAll(TestType, [](HandleHeader* r) { return ((TestRecord*)r)->Payload[0] % 2; }));
    for (int i = 0; i < 10; i++) EXPECT_EQ(i % 2 == 1 || i == 3, Handle_GetRecord(h[i]) != nullptr) << i;
    EXPECT_EQ(1, Manager().DeleteRequestCount);
    EXPECT_EQ(-1, Handle_DeleteAll(TestType + 1, nullptr));
}

TEST_F(HandleTest, DeleteRequestsPassOverLoadingRecords)
{
    Setup(16);
    const HandleValue loading = Handle_New(TestType, 1, -1);
    const HandleValue done1 = Handle_New(TestType, 0, -1);
    const HandleValue done2 = Handle_New(TestType, 0, -1);
    for (HandleValue h : {loading, done1, done2}) ASSERT_EQ(0, Handle_Delete(h, 0, 1));
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(0));
    EXPECT_NE(nullptr, Handle_GetRecord(loading));
    EXPECT_EQ(nullptr, Handle_GetRecord(done1));
    EXPECT_EQ(nullptr, Handle_GetRecord(done2));
    EXPECT_EQ(1, Manager().DeleteRequestCount);

    // The load ends: the next pass deletes it.
    EXPECT_EQ(0, Handle_ASyncLoad_End(loading));
    EXPECT_EQ(0, Handle_IsASyncLoading(loading));
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(1));
    EXPECT_EQ(nullptr, Handle_GetRecord(loading));
    EXPECT_EQ(0, Manager().DeleteRequestCount);
}

TEST_F(HandleTest, LoadEndBeforeBeginAndDeleteAfterLoad)
{
    Setup(4);
    static int doneCalls;
    doneCalls = 0;
    const HandleValue h = Handle_New(TestType, 0, -1);
    HandleHeader* record = Handle_GetRecord(h);
    record->LoadDoneCallback = [](HandleValue, void* user) { (*(int*)user)++; };
    record->LoadDoneUserData = &doneCalls;
    record->DeleteAfterLoad = 1;

    // The job ran to its end before its creator counted it in.
    EXPECT_EQ(0, Handle_ASyncLoad_End(h));
    EXPECT_EQ(0, doneCalls);
    EXPECT_EQ(0, Handle_ASyncLoad_Begin(h, 7));
    EXPECT_EQ(1, doneCalls);
    EXPECT_EQ(0, Handle_IsASyncLoading(h));
    EXPECT_EQ(-1, record->JobIndex);
    EXPECT_EQ(1, record->DeleteRequested);
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(1));
    EXPECT_EQ(nullptr, Handle_GetRecord(h));
}

TEST_F(HandleTest, ResizeRecordKeepsListsLinked)
{
    Setup(8);
    const HandleValue a = Handle_New(TestType, 0, -1);
    const HandleValue b = Handle_New(TestType, 0, -1);
    const HandleValue c = Handle_New(TestType, 0, -1);
    ((TestRecord*)Handle_GetRecord(b))->Payload[2] = 1234;
    ASSERT_EQ(0, Handle_Delete(b, 0, 1));
    ASSERT_EQ(0, Handle_ResizeRecord(b, 200000));
    TestRecord* moved = (TestRecord*)Handle_GetRecord(b);
    EXPECT_EQ(1234, moved->Payload[2]);
    EXPECT_EQ(200000, moved->Header.RecordSize);
    EXPECT_EQ(0, ((uint8_t*)moved)[199999]);

    int live = 0;
    for (HandleListNode* n = Manager().LiveListStart.Next; n != &Manager().LiveListEnd; n = n->Next) {
        EXPECT_EQ(n->Record, Handle_GetRecord(n->Handle));
        live++;
    }
    EXPECT_EQ(3, live);
    EXPECT_EQ(&moved->Header.DeleteRequestNode, Manager().DeleteListStart.Next);
    EXPECT_EQ(0, Handle_ProcessDeleteRequests(1));
    EXPECT_EQ(nullptr, Handle_GetRecord(b));
    EXPECT_EQ(0, Handle_ResizeRecord(a, sizeof(TestRecord)));
    EXPECT_EQ(-1, Handle_ResizeRecord(b, 100));
    EXPECT_NE(nullptr, Handle_GetRecord(c));
}

TEST_F(HandleTest, ListOperations)
{
    HandleListNode end, start, n1, n2;
    Handle_List_Init(&end, &start);
    Handle_List_Append(&end, &n1, 1, nullptr);
    Handle_List_Append(&end, &n2, 2, nullptr);
    EXPECT_EQ(&n1, start.Next);
    EXPECT_EQ(&n2, end.Prev);
    Handle_List_Remove(&n1);
    EXPECT_EQ(&n2, start.Next);
    EXPECT_EQ(nullptr, n1.Next);

    PointerListNode pend, pstart, p1;
    Handle_PtrList_Init(&pend, &pstart);
    Handle_PtrList_Append(&pend, &p1, &end);
    EXPECT_EQ(&p1, pstart.Next);
    Handle_PtrList_Remove(&p1);
    EXPECT_EQ(&pend, pstart.Next);
    EXPECT_EQ(&pend, p1.Next);   // the pointer list leaves the links
}
