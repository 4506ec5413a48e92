// Memory streams: clamped seeks, whole-element reads, the end flag; and the two shared operation
// tables read alike by a reader that does not know which one it holds.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/VtFile.h"
#include "foundation/VtStream.h"

using namespace Vantrel;

TEST(MemStream, EmptyBlockSetsEndAndSeekClearsIt)
{
    const StreamOps* ops = File_GetMemStreamOps();
    uint8_t byte = 0;
    MemStream* s = File_MemStream_Open(&byte, 0);
    ASSERT_NE(nullptr, s);
    uint8_t out = 0x55;
    EXPECT_EQ(0u, ops->Read(&out, 1, 1, s));
    EXPECT_EQ(1, ops->Eof(s));
    EXPECT_EQ(0, ops->Seek(s, 0, SeekOrigin_Start));
    EXPECT_EQ(0, ops->Eof(s));
    EXPECT_EQ(1, ops->IdleCheck(s));
    EXPECT_EQ(0, ops->Close(s));
}

TEST(MemStream, SeeksAreClamped)
{
    uint8_t data[20] = {};
    MemStream* s = File_MemStream_Open(data, sizeof(data));
    struct Case {
        int64_t offset;
        int origin;
        int64_t expected;
    } cases[] = {{10, 2, 20}, {-1000, 1, 0}, {5, 7, 0}, {7, 0, 7}, {3, 1, 10}, {-4, 2, 16}, {-3, 0, 0}, {99, 0, 20}};
    for (const Case& c : cases) {
        EXPECT_EQ(0, File_MemStream_Seek(s, c.offset, c.origin));
        EXPECT_EQ(c.expected, File_MemStream_Tell(s)) << c.offset << " from " << c.origin;
    }
    File_MemStream_Close(s);
}

TEST(MemStream, WholeElementsOnlyAndThePartialTail)
{
    uint8_t data[10];
    for (int i = 0; i < 10; ++i) data[i] = uint8_t(i + 1);
    MemStream* s = File_MemStream_Open(data, sizeof(data));
    File_MemStream_Seek(s, 4, SeekOrigin_Start);
    uint8_t out[16] = {};
    // 6 bytes left: two 4-byte elements asked, one whole element given.
    EXPECT_EQ(1u, File_MemStream_Read(out, 4, 2, s));
    EXPECT_EQ(0, memcmp(out, data + 4, 4));
    EXPECT_EQ(0, File_MemStream_Eof(s));
    // 2 bytes left: they are copied but are not a whole element; the end has been hit.
    memset(out, 0, sizeof(out));
    EXPECT_EQ(0u, File_MemStream_Read(out, 4, 1, s));
    EXPECT_EQ(9, out[0]);
    EXPECT_EQ(10, out[1]);
    EXPECT_EQ(10, File_MemStream_Tell(s));
    EXPECT_EQ(1, File_MemStream_Eof(s));
    EXPECT_EQ(0u, File_MemStream_Read(out, 4, 1, s));
    File_MemStream_Close(s);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(i + 1, data[i]) << "the caller's block is untouched";
}

TEST(MemStream, CountZeroAndHugeCountsReadSafely)
{
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    MemStream* s = File_MemStream_Open(data, sizeof(data));
    uint8_t out[8] = {};
    EXPECT_EQ(0u, File_MemStream_Read(out, 4, 0, s)) << "count 0 reads nothing";
    EXPECT_EQ(0u, File_MemStream_Read(out, 0, 5, s)) << "element size 0 reads nothing";
    EXPECT_EQ(0, File_MemStream_Tell(s));
    EXPECT_EQ(0, out[0]);
    // 0x40000001 x 4 wraps to 4 in 32 bits; it must be clamped to the 8 bytes there are, not read as 4.
    EXPECT_EQ(2u, File_MemStream_Read(out, 4, 0x40000001u, s));
    EXPECT_EQ(0, memcmp(out, data, 8));
    // Reading exactly to the end does not set the end flag; the next read does.
    EXPECT_EQ(0, File_MemStream_Eof(s));
    EXPECT_EQ(0u, File_MemStream_Read(out, 1, 1, s));
    EXPECT_EQ(1, File_MemStream_Eof(s));
    File_MemStream_Close(s);
}

// A reader holding a Stream record sees the same bytes, positions and end whether the record was
// filled from the file table (a file opened through the file access table) or the memory table.
TEST(Streams, FileAndMemoryTablesReadTheSameSource)
{
    uint8_t data[26];
    for (int i = 0; i < 26; ++i) data[i] = uint8_t('a' + i);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"vtstream_" + std::to_wstring(GetCurrentProcessId()) + L".bin";
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD put = 0;
    WriteFile(h, data, sizeof(data), &put, nullptr);
    CloseHandle(h);

    File_Access_InstallTableW(nullptr);
    Stream file = {*File_GetFileStreamOps(), reinterpret_cast<void*>(File_Access_Open(path.c_str(), 0, 1, 0))};
    Stream memory = {*File_GetMemStreamOps(), File_MemStream_Open(data, sizeof(data))};
    ASSERT_NE(nullptr, file.data);
    ASSERT_NE(nullptr, memory.data);
    for (Stream* s : {&file, &memory}) {
        const char* what = s == &file ? "file" : "memory";
        char out[32] = {};
        EXPECT_EQ(0, s->ops.Seek(s->data, 20, SeekOrigin_Start)) << what;
        EXPECT_EQ(20, s->ops.Tell(s->data)) << what;
        EXPECT_EQ(2u, s->ops.Read(out, 3, 4, s->data)) << what << ": six bytes left, two whole elements";
        EXPECT_STREQ("uvwxyz", out) << what;
        EXPECT_EQ(0, s->ops.Eof(s->data)) << what << ": reading up to the end is not hitting it";
        EXPECT_EQ(0u, s->ops.Read(out, 1, 1, s->data)) << what;
        EXPECT_NE(0, s->ops.Eof(s->data)) << what;
        EXPECT_EQ(0, s->ops.Seek(s->data, -26, SeekOrigin_End)) << what;
        EXPECT_EQ(0, s->ops.Eof(s->data)) << what;
        EXPECT_EQ(1u, s->ops.Read(out, 2, 1, s->data)) << what;
        EXPECT_EQ(0, memcmp(out, "ab", 2)) << what;
        EXPECT_EQ(2, s->ops.Tell(s->data)) << what;
        EXPECT_EQ(1, s->ops.IdleCheck(s->data)) << what;
        EXPECT_EQ(0, s->ops.Close(s->data)) << what;
    }
    DeleteFileW(path.c_str());
}
