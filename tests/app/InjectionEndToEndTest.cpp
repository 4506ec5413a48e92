// End to end under the real input stream: the senders call SendInput, and a low-level keyboard
// hook in another process sees the keys with their scan codes, as a game would.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/InputInjection.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

TEST(InjectionEndToEnd, HookInAnotherProcessSeesScanCodesAndFlags)
{
    InputInjection_UseSystemSink();
    memset(PressedKeyTable, 0, sizeof(PressedKeyTable));

    wchar_t eventName[64];
    swprintf(eventName, 64, L"QelvarHookReady%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
    ASSERT_NE(ready, nullptr);
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    std::wstring result = std::wstring(temporary) + L"qelvar-hook-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(result.c_str());

    std::wstring helper = BesideThisProgram(L"KeyboardHookHelper.exe");
    std::wstring command = L"\"" + helper + L"\" " + eventName + L" \"" + result + L"\" 4";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << "cannot start " << std::string(helper.begin(), helper.end());
    HANDLE waits[2] = {ready, process.hProcess};
    DWORD woken = WaitForMultipleObjects(2, waits, FALSE, 15000);
    ASSERT_EQ(woken, WAIT_OBJECT_0) << "the helper did not install its hook";

    SendKeyDown(0x11);  // W
    SendKeyUp(0x11);
    SendKeyDown(0xC8);  // Up
    SendKeyUp(0xC8);

    ASSERT_EQ(WaitForSingleObject(process.hProcess, 15000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(ready);

    std::string recorded;
    FILE* file = _wfopen(result.c_str(), L"rb");
    ASSERT_NE(file, nullptr);
    char buffer[512];
    size_t count = fread(buffer, 1, sizeof(buffer), file);
    fclose(file);
    DeleteFileW(result.c_str());
    recorded.assign(buffer, count);
    EXPECT_EQ(exitCode, 0u) << recorded;

    // vkCode, scanCode, KBDLLHOOKSTRUCT flags: LLKHF_INJECTED 0x10, LLKHF_UP 0x80, LLKHF_EXTENDED 0x01.
    EXPECT_EQ(recorded,
              "57 11 10\n"
              "57 11 90\n"
              "26 c8 11\n"
              "26 c8 91\n");
}

}  // namespace
}  // namespace QelvarTest
