// Files: path functions, plain files read directly, through a read-ahead thread and asynchronously,
// reads that fail or come back empty (faked in the system function table), temporary and write-only
// files, directory search, and caller tables installed in place of the default set.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VtArchive.h"
#include "foundation/VtFile.h"
#include "foundation/VtFileWin.h"
#include "foundation/VtHandle.h"
#include "foundation/VtStream.h"
#include "foundation/VtWinAPI.h"
#include "tests/foundation/LogReadBack.h"

using namespace Vantrel;
using Bytes = std::vector<uint8_t>;

namespace {

std::wstring TempDir()
{
    wchar_t t[MAX_PATH];
    GetTempPathW(MAX_PATH, t);
    std::wstring d = std::wstring(t) + L"vtf4file_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(d.c_str(), nullptr);
    return d;
}

std::wstring WriteFileOf(const std::wstring& name, const Bytes& data)
{
    std::wstring path = TempDir() + L"\\" + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (!data.empty()) WriteFile(h, data.data(), DWORD(data.size()), &put, nullptr);
    CloseHandle(h);
    return path;
}

Bytes Pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + i / 251);
    return b;
}

bool WaitIdle(FileAccessHandle h)
{
    for (int i = 0; i < 5000; ++i) {
        if (File_Plain_IdleCheck(h) == 1) return true;
        Sleep(1);
    }
    return false;
}

} // namespace

TEST(FilePath, SplitNameDirStemAndExtension)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* dir;
    } cases[] = {{L"a/b\\c.txt", L"c.txt", L"a/b"}, {L"c.txt", L"c.txt", L""}, {L"E:x", L"x", L"E"}, {L"\\", L"", L""}};
    for (const Case& c : cases) {
        wchar_t name[64], dir[64];
        File_Path_SplitNameAndDir(c.path, name, sizeof(name), dir, sizeof(dir));
        EXPECT_STREQ(c.name, name) << c.path;
        EXPECT_STREQ(c.dir, dir) << c.path;
    }
    wchar_t small[4];
    File_Path_SplitNameAndDir(L"dir\\c.txt", small, sizeof(small), nullptr, 0);
    EXPECT_STREQ(L"c.t", small);
    struct StemCase {
        const wchar_t* path;
        const wchar_t* stem;
        const wchar_t* ext;
    } stems[] = {{L"dir\\archive.tar.gz", L"archive.tar", L"gz"}, {L"README", L"README", L""}, {L"a.b\\c", L"c", L""}};
    for (const StemCase& c : stems) {
        wchar_t stem[64], ext[64];
        File_Path_SplitStemAndExt(c.path, stem, sizeof(stem), ext, sizeof(ext));
        EXPECT_STREQ(c.stem, stem) << c.path;
        EXPECT_STREQ(c.ext, ext) << c.path;
    }
}

TEST(FilePath, ToAbsolute)
{
    struct Case {
        const wchar_t* base;
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"E:\\work\\app", L"data\\a.png", L"E:\\work\\app\\data\\a.png"},
        {L"E:\\work\\app", L"..\\b", L"E:\\work\\b"},
        {L"E:\\work\\app", L"\\x", L"E:\\x"},
        {L"E:\\work\\app", L"D:y", L"D:\\y"},
        {L"E:\\work\\app", L"//srv/share", L"\\\\srv\\share"},
        {L"E:\\work\\app", L"a//b/./c/", L"E:\\work\\app\\a\\b\\c"},
        {L"E:\\a\\b\\", L".", L"E:\\a\\b"},
        {L"E:\\a\\b\\", L"..\\..\\..\\x", L"E:\\x"},
        {L"E:\\a\\b\\", L"sub\\..", L"E:\\a\\b"},
    };
    for (const Case& c : cases) {
        wchar_t out[256];
        EXPECT_EQ(0, File_Path_ToAbsoluteW(c.path, out, sizeof(out), c.base));
        EXPECT_STREQ(c.expected, out) << c.path;
    }
    wchar_t out[5];
    File_Path_ToAbsoluteW(L"data", out, sizeof(out), L"E:\\w");
    EXPECT_STREQ(L"E:\\w", out) << "cut at the output size";
    File_Path_ToAbsoluteW(nullptr, out, sizeof(out), L"C:\\");
    EXPECT_STREQ(L"C:\\", out);
    // Narrow paths in Shift_JIS: the trail byte 0x5C of "ソ" (83 5C) is not a separator.
    char narrow[64];
    File_Path_ToAbsolute("\x83\x5C\\f", narrow, sizeof(narrow), "E:\\dir");
    EXPECT_STREQ("E:\\dir\\\x83\x5C\\f", narrow);
    File_Path_ToAbsolute("\x83\x5C\\..\\g", narrow, sizeof(narrow), "E:\\dir");
    EXPECT_STREQ("E:\\dir\\g", narrow);
}

TEST(FilePlain, DirectReadsAreClampedAndSetTheEndFlag)
{
    Bytes data = Pattern(38);
    std::wstring path = WriteFileOf(L"plain38.bin", data);
    FileAccessHandle h = File_Plain_Open(path.c_str(), 0, 1, 0);
    ASSERT_NE(0u, h);
    ASSERT_EQ(0, File_Plain_Seek(h, 30, SeekOrigin_Start));
    uint8_t out[40] = {};
    EXPECT_EQ(2u, File_Plain_Read(out, 4, 10, h));
    EXPECT_EQ(0, memcmp(out, data.data() + 30, 8));
    EXPECT_EQ(38, File_Plain_Tell(h));
    EXPECT_EQ(0, File_Plain_Eof(h));
    EXPECT_EQ(0u, File_Plain_Read(out, 4, 10, h));
    EXPECT_EQ(-1, File_Plain_Eof(h));
    EXPECT_EQ(0, File_Plain_Seek(h, -5, SeekOrigin_Start));
    EXPECT_EQ(0, File_Plain_Tell(h));
    EXPECT_EQ(0, File_Plain_Eof(h));
    EXPECT_EQ(0, File_Plain_Seek(h, 100, SeekOrigin_End));
    EXPECT_EQ(38, File_Plain_Tell(h));
    EXPECT_EQ(-1, File_Plain_Seek(h, 0, 5));
    EXPECT_EQ(38, File_Plain_Tell(h));
    EXPECT_EQ(0, File_Plain_Seek(h, 0, SeekOrigin_Start));
    EXPECT_EQ(0u, File_Plain_Read(out, 0, 10, h));
    EXPECT_EQ(1u, File_Plain_Read(out, 38, 1, h));
    EXPECT_EQ(0, memcmp(out, data.data(), 38));
    EXPECT_EQ(0, File_Plain_Close(h));
    EXPECT_EQ(0u, File_Plain_Open((TempDir() + L"\\missing.bin").c_str(), 0, 1, 0));
    DeleteFileW(path.c_str());
}

TEST(FilePlain, ReadAheadAndAsynchronousReadsDeliverTheFile)
{
    Bytes data = Pattern(400000);
    std::wstring path = WriteFileOf(L"plain400k.bin", data);
    struct Mode {
        int cache, async;
    } modes[] = {{1, 0}, {0, 1}, {1, 1}};
    for (const Mode& m : modes) {
        FileAccessHandle h = File_Plain_Open(path.c_str(), m.cache, 1, m.async);
        ASSERT_NE(0u, h) << m.cache << m.async;
        Bytes got;
        uint32_t piece = 1000;
        std::vector<uint8_t> buf(70000);
        for (;;) {
            uint32_t n = File_Plain_Read(buf.data(), 1, piece, h);
            if (n == 0) break;
            ASSERT_TRUE(WaitIdle(h));
            got.insert(got.end(), buf.begin(), buf.begin() + n);
            piece = piece * 3 % 65521 + 1;
            if (got.size() == 150000) Sleep(250);  // lets the read-ahead fill its cache
        }
        EXPECT_EQ(data, got) << m.cache << m.async;
        EXPECT_EQ(-1, File_Plain_Eof(h));
        // A seek discards the cache; the next read comes from the new offset.
        ASSERT_EQ(0, File_Plain_Seek(h, 123457, SeekOrigin_Start));
        ASSERT_EQ(500u, File_Plain_Read(buf.data(), 1, 500, h));
        ASSERT_TRUE(WaitIdle(h));
        EXPECT_EQ(0, memcmp(buf.data(), data.data() + 123457, 500));
        EXPECT_EQ(0, File_Plain_Close(h));
    }
    DeleteFileW(path.c_str());
}

namespace {

decltype(WinAPITable.ReadFile) RealReadFile;
BOOL WINAPI ReadFailing(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED)
{
    if (read) *read = 0;
    return FALSE;
}
BOOL WINAPI ReadNothing(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED)
{
    if (read) *read = 0;
    return TRUE;
}

} // namespace

TEST(FilePlain, FailedOrEmptyReadsReportNothingAndSetTheEnd)
{
    Bytes data = Pattern(64);
    std::wstring path = WriteFileOf(L"plainfail.bin", data);
    WinAPI_EnsureLoaded();
    RealReadFile = WinAPITable.ReadFile;
    struct Case {
        int cache;
        decltype(WinAPITable.ReadFile) fake;
        const char* what;
    } cases[] = {{0, ReadNothing, "direct, 0 bytes"}, {0, ReadFailing, "direct, failure"},
                 {1, ReadFailing, "threaded, failure"}, {1, ReadNothing, "threaded, 0 bytes"}};
    for (const Case& c : cases) {
        FileAccessHandle h = File_Plain_Open(path.c_str(), c.cache, 1, 0);
        ASSERT_NE(0u, h);
        WinAPITable.ReadFile = c.fake;
        uint8_t out[16];
        EXPECT_EQ(0u, File_Plain_Read(out, 4, 4, h)) << c.what;
        EXPECT_EQ(-1, File_Plain_Eof(h)) << c.what;
        WinAPITable.ReadFile = RealReadFile;
        EXPECT_EQ(0, File_Plain_Close(h));
    }
    WinAPITable.ReadFile = RealReadFile;
    DeleteFileW(path.c_str());
}

TEST(FileTemp, TemporaryFilesLeaveNothingBehind)
{
    wchar_t path[1024];
    void* h = File_CreateTempFile(path, sizeof(path), L"wav");
    ASSERT_NE(nullptr, h);
    std::wstring p = path;
    ASSERT_GT(p.size(), 4u);
    EXPECT_EQ(L".wav", p.substr(p.size() - 4));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(p.substr(0, p.size() - 4).c_str()))
        << "the file the system made to reserve the name is gone";
    uint32_t written = 0;
    EXPECT_EQ(0, File_WriteOnly_Write(h, "0123456789", 10, &written));
    EXPECT_EQ(10u, written);
    EXPECT_EQ(0, File_WriteOnly_Seek(h, 2, 0, 0));
    EXPECT_EQ(0, File_WriteOnly_Write(h, "ab", 2, nullptr));
    EXPECT_NE(0, File_WriteOnly_Close(h));
    FileAccessHandle r = File_Plain_Open(path, 0, 1, 0);
    ASSERT_NE(0u, r);
    char out[11] = {};
    EXPECT_EQ(10u, File_Plain_Read(out, 1, 10, r));
    EXPECT_STREQ("01ab456789", out);
    File_Plain_Close(r);
    EXPECT_TRUE(DeleteFileW(path));

    h = File_CreateTempFile(path, sizeof(path), nullptr);
    ASSERT_NE(nullptr, h);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path));
    File_WriteOnly_Close(h);
    EXPECT_TRUE(DeleteFileW(path));
}

TEST(FilePlain, DirectorySearch)
{
    std::wstring a = WriteFileOf(L"find_a.txt", Pattern(10));
    std::wstring b = WriteFileOf(L"find_b.txt", Pattern(20));
    FileFindData d;
    FileFindHandle f = File_Plain_FindFirst((TempDir() + L"\\find_*.txt").c_str(), &d);
    ASSERT_NE(-1, f);
    std::vector<std::pair<std::wstring, uint64_t>> found;
    do found.push_back({d.Name, d.Size});
    while (File_Plain_FindNext(f, &d) == 0);
    EXPECT_EQ(0, File_Plain_FindClose(f));
    std::sort(found.begin(), found.end());
    ASSERT_EQ(2u, found.size());
    EXPECT_EQ(L"find_a.txt", found[0].first);
    EXPECT_EQ(20u, found[1].second);
    EXPECT_EQ(-1, File_Plain_FindFirst((TempDir() + L"\\nothing_*.none").c_str(), nullptr));
    DeleteFileW(a.c_str());
    DeleteFileW(b.c_str());
}

namespace {

std::string NarrowOpened;
int NarrowGetDirCalls = 0;
FileAccessHandle FakeNarrowOpen(const char* path, int, int, int)
{
    NarrowOpened = path;
    return 77;
}
int FakeNarrowGetDir(char* buffer)
{
    ++NarrowGetDirCalls;
    strcpy(buffer, "C:\\narrow");
    return 9;
}
int FakeWideIsArchived(FileAccessHandle) { return 5; }
int FakeWideGetDir(wchar_t* buffer)
{
    wcscpy(buffer, L"C:\\wide");
    return 9;
}

} // namespace

TEST(FileTable, CallerTablesReplaceTheDefaultSet)
{
    FileAccessTable wide = *File_Plain_GetTable();
    wide.IsArchived = FakeWideIsArchived;
    wide.GetCurrentDirBounded = nullptr;
    wide.GetCurrentDir = FakeWideGetDir;
    File_Access_InstallTableW(&wide);
    wchar_t dir[64] = {};
    EXPECT_EQ(9, File_Access_GetCurrentDir(dir, sizeof(dir))) << "slot 9 when slot 10 is empty";
    EXPECT_STREQ(L"C:\\wide", dir);

    FileAccessTableNarrow narrow = {};
    narrow.Open = FakeNarrowOpen;
    narrow.GetCurrentDir = FakeNarrowGetDir;
    File_Access_InstallTable(&narrow);
    EXPECT_EQ(77u, File_Access_Open(L"dir\\file.txt", 0, 1, 0));
    EXPECT_EQ("dir\\file.txt", NarrowOpened);
    EXPECT_EQ(5, File_Access_IsArchived(1)) << "installing a narrow table leaves slot 7";
    EXPECT_EQ(9, File_Access_GetCurrentDir(dir, sizeof(dir)));
    EXPECT_EQ(1, NarrowGetDirCalls);
    EXPECT_STREQ(L"C:\\narrow", dir);

    File_Access_InstallTable(nullptr);
    EXPECT_EQ(Archive_Access_GetTable()->Open, File_Access_GetTable()->Open);
}

// The dump line of each kind of File handle, read back from the log; a Normal handle keeps its position.
TEST(FileHandle, DumpLogsSizeAndPositionAndLeavesThePosition)
{
    FoundationTest::StartFreshLog(L"FileHandleDump.txt");
    Bytes data = Pattern(300);
    std::wstring path = WriteFileOf(L"dump.bin", data);
    File_Access_InstallTableW(File_Plain_GetTable());
    FileHandleRecord r = {};
    r.Header.Handle = 0x44000005;
    r.Kind = FileHandleKind_Normal;
    r.File = File_Access_Open(path.c_str(), 0, 1, 0);
    ASSERT_NE(0u, r.File);
    File_Access_Seek(r.File, 123, SeekOrigin_Start);
    EXPECT_EQ(0, File_HandleRecord_Dump(&r.Header));
    EXPECT_EQ(123, File_Access_Tell(r.File));
    uint8_t next = 0;
    EXPECT_EQ(1u, File_Access_Read(&next, 1, 1, r.File));
    EXPECT_EQ(data[123], next);
    EXPECT_EQ(0, File_HandleRecord_Terminate(&r.Header));
    EXPECT_EQ(0u, r.File);
    File_Access_InstallTableW(nullptr);
    DeleteFileW(path.c_str());

    FileHandleRecord m = {};
    m.Header.Handle = 0x44000006;
    m.Kind = FileHandleKind_FullyLoad;
    m.Ops = *File_GetMemStreamOps();
    m.Image = data.data();
    m.ImageSize = int64_t(data.size());
    m.StreamData = File_MemStream_Open(data.data(), uint32_t(data.size()));
    ASSERT_NE(nullptr, m.StreamData);
    m.Ops.Seek(m.StreamData, 45, SeekOrigin_Start);
    EXPECT_EQ(0, File_HandleRecord_Dump(&m.Header));
    EXPECT_EQ(0, File_HandleRecord_Terminate(&m.Header));
    EXPECT_EQ(nullptr, m.StreamData);
    EXPECT_EQ(nullptr, m.Image);

    const std::wstring log = FoundationTest::ReadLog();
    EXPECT_NE(std::wstring::npos, log.find(L":Handle:0x44000005 Type:Normal    FileSize:300 CurrentPos:123\r\n")) << log;
    EXPECT_NE(std::wstring::npos, log.find(L":Handle:0x44000006 Type:FullyLoad FileSize:300 CurrentPos:45\r\n")) << log;
}

TEST(FileHandle, InitializeAndTerminateOnce)
{
    EXPECT_EQ(-1, File_Terminate()) << "not initialised";
    ASSERT_EQ(0, File_Initialize());
    EXPECT_EQ(-1, File_Initialize());
    EXPECT_EQ(File_GetMemStreamOps()->Read, &File_MemStream_Read);
    EXPECT_EQ(0, File_Terminate());
    EXPECT_EQ(-1, File_Terminate());
}

// The File handle type cannot be registered (here: its type is already taken): the start fails.
TEST(FileHandle, InitializeFailsWhenTheHandleTypeIsNotRegistered)
{
    FoundationTest::StartFreshLog(L"FileInitialize.txt");
    ASSERT_EQ(0, Handle_Type_Setup(FileHandleType, sizeof(FileHandleRecord), 4, nullptr, nullptr, nullptr, L"Taken"));
    EXPECT_EQ(-1, File_Initialize());
    EXPECT_EQ(-1, File_Terminate()) << "nothing was started";
    EXPECT_EQ(0, Handle_Type_Shutdown(FileHandleType));
    const std::wstring log = FoundationTest::ReadLog();
    EXPECT_NE(std::wstring::npos, log.find(L"ファイルアクセス処理の初期化...失敗\r\n")) << log;
    EXPECT_EQ(std::wstring::npos, log.find(L"成功")) << log;
    ASSERT_EQ(0, File_Initialize()) << "a later start with the type free succeeds";
    EXPECT_EQ(0, File_Terminate());
}
