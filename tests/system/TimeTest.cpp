// Clocks, date and clipboard text: the millisecond time base, the conversions on their 64- and
// 128-bit paths, the local date, clipboard round trips, and the error exit ending the process.
#include <gtest/gtest.h>

#include <string>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "system/VtTime.h"

using namespace Vantrel;

namespace {

class TimeTest : public ::testing::Test {
protected:
    TimeStateRecord Saved;
    void SetUp() override { Saved = TimeState; }
    void TearDown() override { TimeState = Saved; }
};

}  // namespace

TEST_F(TimeTest, MillisecondCountIsNonNegativeAndAdvances)
{
    const int32_t first = GetMillisecondCount();
    EXPECT_GE(first, 0);
    Sleep(30);
    const int32_t second = GetMillisecondCount();
    EXPECT_GE(second - first, 20);
    EXPECT_LT(second - first, 5000);
    EXPECT_EQ((uint32_t)first & 0x80000000u, 0u);
}

TEST_F(TimeTest, ConversionsOnBothPaths)
{
    Time_SetPerfCounter(1, 10000000);
    EXPECT_EQ(ConvertMsToPerfCount(1000), 10000000u);
    EXPECT_EQ(ConvertPerfCountToNs(1ll << 32), 429496729600ll);  // the 128-bit path
    EXPECT_EQ(ConvertPerfCountToNs(12345), 1234500ll);
    EXPECT_EQ(ConvertPerfCountToUs(1ll << 40), (uint64_t)((1ull << 40) / 10));
    EXPECT_EQ(ConvertPerfCountToUs(25), 2u);
    // Products beyond 64 bits: 2^62 ms at 10 MHz is 2^62 x 10^4 ticks.
    const uint64_t ms = 1ull << 40;
    EXPECT_EQ(ConvertMsToPerfCount((int64_t)ms), ms * 10000);
    Time_SetPerfCounter(1, 3);
    // Quotients beyond 64 bits keep their low 64 bits.
    EXPECT_EQ((uint64_t)ConvertPerfCountToNs(0x7FFFFFFFFFFFFFFFll), 12297829382139701077ull);
    EXPECT_EQ(ConvertPerfCountToUs(0x123456789ABCDEFll), 8881765665119056704ull);
    EXPECT_EQ(ConvertPerfCountToUs(0x123456789ABll), 0x123456789ABull * 1000000 / 3);
    // With the multimedia timer: microseconds are milliseconds x 1000.
    Time_SetPerfCounter(0, 0);
    const uint64_t us = GetMicrosecondCount();
    EXPECT_EQ(us % 1000, 0u);
    EXPECT_LE(GetPerformanceCount(), 0xFFFFFFFFull);
    // With the counter: microseconds follow QueryPerformanceFrequency.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    Time_SetPerfCounter(1, frequency.QuadPart);
    const uint64_t a = GetMicrosecondCount();
    Sleep(20);
    const uint64_t b = GetMicrosecondCount();
    EXPECT_GE(b - a, 15000u);
    EXPECT_LT(b - a, 5000000u);
}

TEST_F(TimeTest, LocalDateAndFileTime)
{
    DateTimeRecord date = {};
    EXPECT_EQ(GetLocalDateTime(&date), 0);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(date.Year, now.wYear);
    EXPECT_GE(date.Month, 1);
    EXPECT_LE(date.Month, 12);
    EXPECT_GE(date.Day, 1);
    // A file time converts to the same local date as the system's own conversion.
    SYSTEMTIME utc = {2024, 1, 0, 1, 9, 5, 3, 0};
    FILETIME fileTime;
    SystemTimeToFileTime(&utc, &fileTime);
    DateTimeRecord converted = {};
    File_FileTimeToLocalDate(((uint64_t)fileTime.dwHighDateTime << 32) | fileTime.dwLowDateTime, &converted);
    FILETIME local;
    FileTimeToLocalFileTime(&fileTime, &local);
    SYSTEMTIME expected;
    FileTimeToSystemTime(&local, &expected);
    EXPECT_EQ(converted.Year, expected.wYear);
    EXPECT_EQ(converted.Month, expected.wMonth);
    EXPECT_EQ(converted.Day, expected.wDay);
    EXPECT_EQ(converted.Hour, expected.wHour);
    EXPECT_EQ(converted.Minute, 5);
    EXPECT_EQ(converted.Second, 3);
}

TEST_F(TimeTest, ClipboardRoundTrip)
{
    const wchar_t* text = L"クリップボード text";
    if (Clipboard_WriteText(text) != 0) GTEST_SKIP() << "no clipboard in this environment";
    const int size = Clipboard_ReadText(nullptr, 0);
    if (size < 0) GTEST_SKIP() << "no clipboard in this environment";
    EXPECT_GE(size, (int)((wcslen(text) + 1) * sizeof(wchar_t)));
    wchar_t buffer[64];
    EXPECT_EQ(Clipboard_ReadText(buffer, sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, text);
    // A bounded read is cut and still terminated.
    wchar_t small[5];
    EXPECT_EQ(Clipboard_ReadText(small, sizeof(small)), 0);
    EXPECT_STREQ(small, L"クリップ");
    wchar_t unbounded[64];
    EXPECT_EQ(Clipboard_ReadText(unbounded, -1), 0);
    EXPECT_STREQ(unbounded, text);
}

TEST(TimeDeathTest, ErrorExitLogsAndEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            wcscpy(LogState.UserFileName, L"ErrorExitTest.txt");
            System_ErrorExitFormat(L"fatal %d", 7);
        },
        ::testing::ExitedWithCode(-1), "");
    HANDLE file = CreateFileW(L"ErrorExitTest.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char bytes[256] = {0};
    DWORD done = 0;
    ReadFile(file, bytes, sizeof(bytes) - 1, &done, nullptr);
    CloseHandle(file);
    EXPECT_NE(std::string(bytes).find("fatal 7\r\n"), std::string::npos);
}
