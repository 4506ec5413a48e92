// The text wrappers on both paths: with the wide functions (arguments passed unchanged) and with
// WideUsable forced to 0, so that the narrow paths convert to the narrow code page and call the A
// functions (checked with fakes in the table and against the real system under Wine).
#include <gtest/gtest.h>

#include <string>

#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"

using namespace Vantrel;

namespace {

class WinAPITextTest : public ::testing::Test {
protected:
    WinAPITableRecord Saved;
    void SetUp() override
    {
        WinAPI_EnsureLoaded();
        Saved = WinAPITable;
    }
    void TearDown() override { WinAPITable = Saved; }
    void ForceNarrow() { WinAPITable.WideUsable = 0; }
};

std::string FakeNarrowPath;
bool FakeSawNull;
int32_t FakeBlocksDuringCall;
const wchar_t* FakeWidePath;

HANDLE WINAPI FakeCreateFileA(LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    FakeNarrowPath = path;
    FakeBlocksDuringCall = Memory_GetBlockCount();
    return (HANDLE)0x1234;
}

HANDLE WINAPI FakeCreateFileW(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    FakeWidePath = path;
    return (HANDLE)0x5678;
}

HMODULE WINAPI FakeGetModuleHandleA(LPCSTR name)
{
    FakeSawNull = name == nullptr;
    return (HMODULE)0x42;
}

}  // namespace

TEST_F(WinAPITextTest, WidePathPassesArgumentsUnchanged)
{
    WinAPITable.CreateFileW = FakeCreateFileW;
    const wchar_t* path = L"C:\\some\\file.txt";
    EXPECT_EQ(WinAPI_CreateFile(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), (HANDLE)0x5678);
    EXPECT_EQ(FakeWidePath, path);
    EXPECT_EQ(WinAPI_lstrlen(L"abc"), 3);
}

TEST_F(WinAPITextTest, NarrowPathConvertsInLocalOrAllocatedBuffer)
{
    ForceNarrow();
    WinAPITable.CreateFileA = FakeCreateFileA;
    const int32_t blocksBefore = Memory_GetBlockCount();
    // Shift-JIS is the narrow page of this program: the path reaches the A function in it.
    EXPECT_EQ(WinAPI_CreateFile(L"セーブ\\a.save", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), (HANDLE)0x1234);
    EXPECT_EQ(FakeNarrowPath, "セーブ\\a.save");
    EXPECT_EQ(FakeBlocksDuringCall, blocksBefore);
    // 80 units (496 bytes) still fit the local buffer; 100 units (616 bytes) take a block, freed after.
    const std::wstring path80(80, L'p'), path100(100, L'q');
    WinAPI_CreateFile(path80.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(FakeBlocksDuringCall, blocksBefore);
    EXPECT_EQ(FakeNarrowPath, std::string(80, 'p'));
    WinAPI_CreateFile(path100.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(FakeBlocksDuringCall, blocksBefore + 1);
    EXPECT_EQ(FakeNarrowPath, std::string(100, 'q'));
    EXPECT_EQ(Memory_GetBlockCount(), blocksBefore);
    // No memory for the conversion: the open is not tried and the invalid-handle value comes back,
    // as callers test for it.
    Memory_Free(Memory_Allocate(MEMORY_SMALL_LIMIT + 1, "WinAPITextTest", 1));
    const int savedGrow = MemoryState.LargeHeap.AutoGrow;
    MemoryState.LargeHeap.AutoGrow = 0;
    const std::wstring huge(10000000, L'h');
    EXPECT_EQ(WinAPI_CreateFile(huge.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    // (The memory layer's dump went to the log, whose own opens reach the fake; the huge path never did.)
    EXPECT_LT(FakeNarrowPath.size(), 2000u);
    MemoryState.LargeHeap.AutoGrow = savedGrow;
    // A null argument stays null.
    WinAPITable.GetModuleHandleA = FakeGetModuleHandleA;
    FakeSawNull = false;
    EXPECT_EQ(WinAPI_GetModuleHandle(nullptr), (HMODULE)0x42);
    EXPECT_TRUE(FakeSawNull);
}

// The forms with a caller's buffer never take memory: a path that does not fit fails instead.
TEST_F(WinAPITextTest, NarrowPathIntoTheCallersBufferTakesNoMemory)
{
    ForceNarrow();
    WinAPITable.CreateFileA = FakeCreateFileA;
    const int32_t blocksBefore = Memory_GetBlockCount();
    const std::wstring path = L"セーブ\\" + std::wstring(300, L'q');
    char work[400];
    FakeNarrowPath.clear();
    EXPECT_EQ(WinAPI_CreateFileInBuffer(work, sizeof(work), path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              (HANDLE)0x1234);
    EXPECT_EQ(FakeBlocksDuringCall, blocksBefore);
    EXPECT_EQ(FakeNarrowPath, "セーブ\\" + std::string(300, 'q'));
    FakeNarrowPath.clear();
    EXPECT_EQ(WinAPI_CreateFileInBuffer(work, 300, path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FakeNarrowPath.empty()) << "a path cut short is never opened";
    EXPECT_EQ(Memory_GetBlockCount(), blocksBefore);
}

TEST_F(WinAPITextTest, NarrowPathAgainstTheSystem)
{
    ForceNarrow();
    wchar_t directory[1024] = {0};
    const DWORD length = WinAPI_GetCurrentDirectory(1024, directory);
    wchar_t expected[1024] = {0};
    GetCurrentDirectoryW(1024, expected);
    EXPECT_STREQ(directory, expected);
    EXPECT_EQ(length, (DWORD)wcslen(expected));
    EXPECT_NE(WinAPI_GetModuleHandle(L"kernel32.dll"), nullptr);

    const wchar_t* name = L"WinAPITextTest_narrow.tmp";
    HANDLE file = WinAPI_CreateFile(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    WIN32_FIND_DATAW found = {};
    HANDLE find = WinAPI_FindFirstFile(L"WinAPITextTest_narrow.*", &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, name);
    EXPECT_FALSE(WinAPI_FindNextFile(find, &found));
    FindClose(find);
    EXPECT_TRUE(WinAPI_DeleteFile(name));
    EXPECT_FALSE(WinAPI_DeleteFile(name));
    // A failed open reports the invalid-handle value on both paths.
    EXPECT_EQ(WinAPI_CreateFile(L"no_such_folder\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    WinAPITable.WideUsable = 1;
    EXPECT_EQ(WinAPI_CreateFile(L"no_such_folder\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    ForceNarrow();

    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    EXPECT_TRUE(WinAPI_GetVersionEx(&version));
    EXPECT_GE(version.dwMajorVersion, 5u);
    EXPECT_EQ(WinAPI_GetVersionEx(nullptr), 0);
    WinAPITable.WideUsable = 1;
    EXPECT_EQ(WinAPI_GetVersionEx(nullptr), 0);
    ForceNarrow();

    wchar_t temp[MAX_PATH + 1] = {0};
    EXPECT_GT(WinAPI_GetTempPath(MAX_PATH + 1, temp), 0u);
    wchar_t tempExpected[MAX_PATH + 1] = {0};
    GetTempPathW(MAX_PATH + 1, tempExpected);
    EXPECT_STREQ(temp, tempExpected);
}

TEST_F(WinAPITextTest, NarrowStringFallbacksAndWideOnlyCalls)
{
    ForceNarrow();
    wchar_t text[16] = L"MiXeD Ａ";
    EXPECT_EQ(WinAPI_CharLowerBuff(text, 3), 3u);
    EXPECT_STREQ(text, L"mixed Ａ");
    EXPECT_EQ(WinAPI_lstrlen(L"こんにちは"), 5);
    EXPECT_EQ(WinAPI_lstrcmp(L"abc", L"abd"), -1);
    EXPECT_EQ(WinAPI_lstrcmp(L"abc", L"abc"), 0);
    EXPECT_EQ(WinAPI_lstrcmp(L"abd", L"abc"), 1);
    wchar_t copy[8];
    EXPECT_EQ(WinAPI_lstrcpy(copy, L"copy"), copy);
    EXPECT_STREQ(copy, L"copy");
    wchar_t bounded[8];
    wmemset(bounded, L'#', 8);
    WinAPI_lstrcpyn(bounded, L"abcdef", 3);
    EXPECT_EQ(std::wstring(bounded, 4), L"abc#");  // no terminator when the source is as long or longer
    WinAPI_lstrcpyn(bounded, L"ab", 5);
    EXPECT_EQ(std::wstring(bounded, 6), std::wstring(L"ab\0\0\0#", 6));
    LOGFONTW font = {};
    EXPECT_EQ(WinAPI_EnumFontFamiliesEx(nullptr, &font, nullptr, 0, 0), -1);
    EXPECT_EQ(WinAPI_GetCharacterPlacement(nullptr, L"a", 1, 0, nullptr, 0), 0u);
    EXPECT_EQ(WinAPI_CoCreateInstanceOnMainThread(CLSID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr, 0),
              WinAPITable.CoCreateInstance(CLSID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr));
}

// Records filled through the narrow functions come back as the wide functions fill them.
TEST_F(WinAPITextTest, NarrowRecordsMatchTheWideCalls)
{
    DEVMODEW wideMode = {};
    wideMode.dmSize = sizeof(wideMode);
    const BOOL haveMode = EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &wideMode);
    HDC screen = GetDC(nullptr);
    TEXTMETRICW wideMetrics = {};
    GetTextMetricsW(screen, &wideMetrics);
    SIZE wideExtent = {};
    GetTextExtentPoint32W(screen, L"extent", 6, &wideExtent);

    ForceNarrow();
    if (haveMode) {
        DEVMODEW mode = {};
        mode.dmSize = sizeof(mode);
        EXPECT_TRUE(WinAPI_EnumDisplaySettings(nullptr, ENUM_CURRENT_SETTINGS, &mode));
        EXPECT_EQ(mode.dmSize, sizeof(mode));
        EXPECT_EQ(mode.dmPelsWidth, wideMode.dmPelsWidth);
        EXPECT_EQ(mode.dmPelsHeight, wideMode.dmPelsHeight);
        EXPECT_EQ(mode.dmBitsPerPel, wideMode.dmBitsPerPel);
        EXPECT_STREQ(mode.dmDeviceName, wideMode.dmDeviceName);
    }
    TEXTMETRICW metrics = {};
    EXPECT_TRUE(WinAPI_GetTextMetrics(screen, &metrics));
    EXPECT_EQ(metrics.tmHeight, wideMetrics.tmHeight);
    EXPECT_EQ(metrics.tmAveCharWidth, wideMetrics.tmAveCharWidth);
    SIZE extent = {};
    EXPECT_TRUE(WinAPI_GetTextExtentPoint32(screen, L"extent", 6, &extent));
    EXPECT_EQ(extent.cx, wideExtent.cx);
    ReleaseDC(nullptr, screen);

    // A window class and window made through the narrow path are found by their names.
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VtNarrowClass";
    ASSERT_NE(WinAPI_RegisterClassEx(&windowClass), 0);
    HWND window = WinAPI_CreateWindowEx(0, L"VtNarrowClass", L"narrow title", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WinAPI_FindWindow(L"VtNarrowClass", nullptr), window);
    EXPECT_TRUE(WinAPI_SetWindowText(window, L"renamed"));
    EXPECT_EQ(WinAPI_FindWindow(nullptr, L"renamed"), window);
    wchar_t title[32] = {0};
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"renamed");
    DestroyWindow(window);
    EXPECT_TRUE(WinAPI_UnregisterClass(L"VtNarrowClass", windowClass.hInstance));
}
