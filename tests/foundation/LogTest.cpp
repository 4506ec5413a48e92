// The log file read back: byte-order mark, "%d:" prefixes, one tab per level, continuation of an
// open line, CR LF line ends, long and converted entries, error codes, and an entry after the log
// was ended that keeps the run's earlier entries. Also the memory layer and the log writing at
// once from several threads without a deadlock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtThread.h"
#include "foundation/VtWinAPI.h"
#include "tests/foundation/LogReadBack.h"

using namespace Vantrel;

namespace {

using FoundationTest::ReadLogBytes;
using FoundationTest::Utf8ToWide;

// The lines of the log after the byte-order mark, each without its CR LF.
std::vector<std::string> LogLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 3;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Strips a "%d:" prefix; -1 when there is none.
int StripStamp(std::string& line)
{
    size_t i = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') i++;
    if (i == 0 || i >= line.size() || line[i] != ':') return -1;
    const int stamp = std::stoi(line.substr(0, i));
    line = line.substr(i + 1);
    return stamp;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Log_File_Shutdown();
        wcscpy(LogState.UserFileName, L"LogTest.txt");
        wchar_t path[1536];
        Log_File_BuildPath(path, sizeof(path));
        wcscpy(LogState.FileName, L"LogTest.txt");
        Log_File_BuildPath(path, sizeof(path));
        DeleteFileW(path);
        // A new name for this process's first file of that name: start from an empty name.
        LogState.FileName[0] = 0;
    }
    void TearDown() override
    {
        LogState.LogOff = 0;
        LogState.IndentLevel = 0;
    }
};

}  // namespace

TEST_F(LogTest, FirstEntryPrefixTabsFormattingAndLineEnds)
{
    ASSERT_EQ(Log_File_Create(), 0);
    EXPECT_EQ(Log_AddTextUTF16(L"start\n"), 0);
    Log_Indent_Increase();
    Log_Indent_Increase();
    EXPECT_EQ(Log_AddFormatUTF16(L"value %d and %s", 42, L"text"), 0);
    Log_Indent_Decrease();
    Log_Indent_Decrease();
    Log_Indent_Decrease();  // not below 0
    EXPECT_EQ(LogState.IndentLevel, 0);
    const std::string bytes = ReadLogBytes();
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    std::vector<std::string> lines = LogLines(bytes);
    ASSERT_EQ(lines.size(), 2u);
    const int first = StripStamp(lines[0]);
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 5000);
    EXPECT_EQ(lines[0], "start");
    EXPECT_GE(StripStamp(lines[1]), first);
    EXPECT_EQ(lines[1], "\t\tvalue 42 and text");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST_F(LogTest, OpenLineIsContinuedWithoutPrefix)
{
    Log_File_Create();
    Log_Indent_Increase();
    Log_AddTextUTF16(L"part one, ");
    Log_AddTextUTF16(L"part two\n");
    Log_AddTextUTF16(L"next\n");
    std::vector<std::string> lines = LogLines(ReadLogBytes());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_GE(StripStamp(lines[0]), 0);
    EXPECT_EQ(lines[0], "\tpart one, part two");
    EXPECT_GE(StripStamp(lines[1]), 0);
    EXPECT_EQ(lines[1], "\tnext");
}

TEST_F(LogTest, EveryBareLineFeedBecomesCrLf)
{
    const struct {
        const wchar_t* Text;
        const char* Expected;
    } cases[] = {
        {L"\nleading\n", "\r\nleading\r\n"},
        {L"a\r\nb\nc\n", "a\r\nb\r\nc\r\n"},  // LFs after an existing CR LF are converted too
        {L"x\n\ny\n", "x\r\n\r\ny\r\n"},
    };
    Log_File_Create();
    LogState.TimeStampsOff = 1;
    for (const auto& c : cases) Log_AddTextUTF16(c.Text);
    LogState.TimeStampsOff = 0;
    std::string expected = "\xEF\xBB\xBF";
    for (const auto& c : cases) expected += c.Expected;
    EXPECT_EQ(ReadLogBytes(), expected);
}

TEST_F(LogTest, ConvertedLongAndErrorEntries)
{
    Log_File_Create();
    LogState.TimeStampsOff = 1;
    EXPECT_EQ(Log_AddTextShiftJIS("日本語のログ\n"), 0);
    EXPECT_EQ(Log_AddFormatShiftJIS("%s:%d", "番号", 7), 0);
    const std::wstring longText(3000, L'あ');
    EXPECT_EQ(Log_AddTextUTF16((longText + L"\n").c_str()), 0);
    EXPECT_EQ(Log_AddTextUTF16WithError(5, L"failed\n"), -1);
    EXPECT_EQ(Log_AddFormatUTF16WithError(0, L"fine"), 0);
    LogState.LogOff = 1;
    // The error code makes the call fail even when nothing is written.
    EXPECT_EQ(Log_AddTextUTF16WithError(7, L"dropped\n"), -1);
    EXPECT_EQ(Log_AddTextUTF16(L"dropped\n"), 0);
    LogState.LogOff = 0;
    LogState.TimeStampsOff = 0;
    const std::wstring text = Utf8ToWide(ReadLogBytes());
    EXPECT_EQ(text, L"\xFEFF" L"日本語のログ\r\n番号:7\r\n" + longText + L"\r\nfailed\r\nfine\r\n");
}

TEST_F(LogTest, NarrowSystemPathsWriteTheSameFile)
{
    WinAPI_EnsureLoaded();
    const int32_t wide = WinAPITable.WideUsable;
    WinAPITable.WideUsable = 0;
    Log_File_Create();
    LogState.TimeStampsOff = 1;
    Log_AddTextUTF16(L"narrow ログ\n");
    LogState.TimeStampsOff = 0;
    WinAPITable.WideUsable = wide;
    EXPECT_EQ(Utf8ToWide(ReadLogBytes()), L"\xFEFF" L"narrow ログ\r\n");
}

TEST_F(LogTest, EntryAfterShutdownKeepsTheRunsLog)
{
    Log_File_Create();
    Log_AddTextUTF16(L"before the end\n");
    Log_File_Shutdown();
    EXPECT_EQ(Log_AddTextUTF16(L"after the end\n"), 0);
    std::vector<std::string> lines = LogLines(ReadLogBytes());
    ASSERT_EQ(lines.size(), 2u);
    StripStamp(lines[0]);
    StripStamp(lines[1]);
    EXPECT_EQ(lines[0], "before the end");
    EXPECT_EQ(lines[1], "after the end");
}

TEST_F(LogTest, DatedFileNameAndDormantScreenLog)
{
    LogState.UserFileName[0] = 0;
    LogState.DatedFileName = 1;
    Log_File_Create();
    LogState.DatedFileName = 0;
    const std::wstring name = LogState.FileName;
    EXPECT_EQ(name.substr(0, 3), L"Log");
    EXPECT_EQ(name.substr(name.size() - 4), L".txt");
    int separators = 0;
    for (wchar_t c : name) separators += c == L'_';
    EXPECT_EQ(separators, 5);
    wchar_t path[1536];
    Log_File_BuildPath(path, sizeof(path));
    Log_File_Shutdown();
    DeleteFileW(path);
    // No window and no device: the on-screen log cannot draw and stays unprepared.
    EXPECT_EQ(Log_Screen_CanDraw(), 0);
    EXPECT_EQ(Log_Screen_Setup(), -1);
    EXPECT_EQ(Log_Screen_IsEnabled(), 0);
    // Drawing then does nothing: no font is made for a panel that cannot be shown.
    Log_Screen_Draw();
    EXPECT_EQ(LogScreenState.Prepared, 0);
    EXPECT_EQ(LogScreenState.FontHandle, -1);
    EXPECT_EQ(LogScreenState.FontNeedsCreating, 1);
    EXPECT_EQ(Log_Screen_Shutdown(), 0);
}

// Long entries make the log take memory, and the memory layer writes dump lines to the log: with
// the two locks taken in opposite orders these threads would deadlock.
struct LockOrderJob {
    int Mode;
    volatile LONG* Done;
};

static void LockOrderEntry(ThreadRecord* record, void* parameter)
{
    LockOrderJob* job = (LockOrderJob*)parameter;
    const std::wstring longText(1500, L'x');
    for (int i = 0; i < 60; i++) {
        if (job->Mode == 0) {
            Log_AddTextUTF16((longText + L"\n").c_str());
        } else {
            void* block = Memory_Allocate(100, "LockOrder", i);
            Memory_DumpAll();
            Memory_Free(block);
        }
    }
    InterlockedIncrement(job->Done);
}

TEST_F(LogTest, LogAndMemoryFromManyThreadsDoNotDeadlock)
{
    Log_File_Create();
    volatile LONG done = 0;
    LockOrderJob jobs[2] = {{0, &done}, {1, &done}};
    ThreadRecord threads[6] = {};
    for (int i = 0; i < 6; i++) ASSERT_EQ(Thread_Spawn(&threads[i], LockOrderEntry, &jobs[i % 2]), 0);
    for (int i = 0; i < 6; i++) {
        for (int tries = 0; tries < 5000 && Thread_Resume(&threads[i]) == 0; tries++) Thread_Sleep(1);
    }
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(WaitForSingleObject(threads[i].Handle, 60000), WAIT_OBJECT_0);
        Thread_Release(&threads[i]);
    }
    EXPECT_EQ(done, 6);
}

// With the narrow system functions the log converts its path and entry for them while it holds its
// lock: that must not wait for the memory layer, which writes its dumps to the log under its own lock.
// Here one thread holds the memory lock and another writes an entry whose narrow form outgrows the
// small local buffers: the entry must still be written.
static void NarrowEntry(ThreadRecord* record, void* parameter)
{
    Log_AddTextUTF16((std::wstring(300, L'n') + L"\n").c_str());
    InterlockedIncrement((volatile LONG*)parameter);
}

TEST_F(LogTest, NarrowEntriesNeverWaitForMemoryUnderTheLogLock)
{
    WinAPI_EnsureLoaded();
    Log_File_Create();
    Memory_Free(Memory_Allocate(16, "LogTest", __LINE__));  // the memory lock exists
    const int32_t wide = WinAPITable.WideUsable;
    WinAPITable.WideUsable = 0;
    volatile LONG done = 0;
    ThreadRecord thread = {};
    ASSERT_EQ(Thread_Spawn(&thread, NarrowEntry, (void*)&done), 0);
    CriticalSection_Enter(&MemoryState.MemoryLock, "LogTest", __LINE__);
    for (int tries = 0; tries < 5000 && Thread_Resume(&thread) == 0; tries++) Thread_Sleep(1);
    const DWORD waited = WaitForSingleObject(thread.Handle, 10000);
    CriticalSection_Leave(&MemoryState.MemoryLock);
    WaitForSingleObject(thread.Handle, INFINITE);
    Thread_Release(&thread);
    WinAPITable.WideUsable = wide;
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the entry waited for the memory lock";
    EXPECT_EQ(done, 1);
    EXPECT_NE(ReadLogBytes().find(std::string(300, 'n') + "\r\n"), std::string::npos);
}
