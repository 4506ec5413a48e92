// The tool end to end, as a user runs it: qelvar.exe with a scripted pad, clicked with the real
// mouse input stream; a low-level hook in another process sees the keys it types; the close box
// ends it or opens the exit page as "system.data" says.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/app/ToolProcess.h"

namespace QelvarTest {
namespace {

struct HookHelper {
    PROCESS_INFORMATION Process = {};
    HANDLE Ready = nullptr;
    std::wstring Result;
};

// Starts KeyboardHookHelper to record the given number of key events; true once its hook is in.
bool StartHookHelper(HookHelper& helper, int count)
{
    wchar_t eventName[64];
    swprintf(eventName, 64, L"QelvarToolHookReady%lu", GetCurrentProcessId());
    helper.Ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    helper.Result = std::wstring(temporary) + L"qelvar-tool-hook-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(helper.Result.c_str());
    std::wstring program = BuildFolder(1) + L"tests\\KeyboardHookHelper.exe";
    std::wstring command = L"\"" + program + L"\" " + eventName + L" \"" + helper.Result + L"\" " +
                           std::to_wstring(count);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &helper.Process))
        return false;
    HANDLE waits[2] = {helper.Ready, helper.Process.hProcess};
    return WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0;
}

std::string FinishHookHelper(HookHelper& helper)
{
    if (helper.Process.hProcess != nullptr) {
        if (WaitForSingleObject(helper.Process.hProcess, 15000) != WAIT_OBJECT_0)
            TerminateProcess(helper.Process.hProcess, 9);
        CloseHandle(helper.Process.hThread);
        CloseHandle(helper.Process.hProcess);
    }
    if (helper.Ready != nullptr) CloseHandle(helper.Ready);
    std::string recorded;
    FILE* file = _wfopen(helper.Result.c_str(), L"rb");
    if (file != nullptr) {
        char buffer[512];
        recorded.assign(buffer, fread(buffer, 1, sizeof(buffer), file));
        fclose(file);
    }
    DeleteFileW(helper.Result.c_str());
    return recorded;
}

bool IsRunning(const ToolRun& run)
{
    return WaitForSingleObject(run.Process.hProcess, 0) == WAIT_TIMEOUT;
}

// After the tool's window went away, Wine needs a moment before a new low-level hook sees every
// injected key; the tests after these ones rely on that.
class ToolEndToEnd : public ::testing::Test {
protected:
    void TearDown() override { Sleep(2000); }
};

TEST_F(ToolEndToEnd, PadButtonTypesWUntilReleasedOrConversionStopsAndCloseBoxEnds)
{
    ToolRun run;
    ASSERT_TRUE(PrepareToolFolder(run, BuildFolder(1), L"qelvar-e2e-run", 1, 1));
    ASSERT_TRUE(StartTool(run)) << "qelvar.exe did not show its window";
    Sleep(300);

    // Run tab, then the run button: conversion on.
    ClickAt(run.Window, RunTabX, RunTabY);
    ClickAt(run.Window, RunButtonX, RunButtonY);

    HookHelper helper;
    ASSERT_TRUE(StartHookHelper(helper, 4)) << "the hook helper did not install its hook";
    // Button 0 (wButtons bit 0) pressed and released: W down, W up.
    ASSERT_TRUE(WriteText(run.Script, PadScript(0x0001)));
    Sleep(400);
    ASSERT_TRUE(WriteText(run.Script, "# released\n" + PadScript(0)));
    Sleep(400);
    // Pressed again and held while the run tab is clicked: the click stops conversion and W goes up.
    ASSERT_TRUE(WriteText(run.Script, PadScript(0x0001)));
    Sleep(400);
    ClickAt(run.Window, RunTabX, RunTabY);
    const std::string recorded = FinishHookHelper(helper);
    // vkCode, scanCode and hook flags: LLKHF_INJECTED 0x10, LLKHF_UP 0x80 (sent with KEYEVENTF_SCANCODE).
    EXPECT_EQ(recorded,
              "57 11 10\n"
              "57 11 90\n"
              "57 11 10\n"
              "57 11 90\n");
    EXPECT_TRUE(IsRunning(run));

    // NoExitConfirm 1: the close box ends the program at once, successfully.
    PostMessageW(run.Window, WM_CLOSE, 0, 0);
    EXPECT_EQ(FinishTool(run, 10000), 0u);
    // The "save" folder is made at start when missing.
    EXPECT_NE(GetFileAttributesW((run.Folder + L"save").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ToolEndToEnd, CloseBoxOpensTheExitPageWhenConfirmationIsOn)
{
    ToolRun run;
    ASSERT_TRUE(PrepareToolFolder(run, BuildFolder(1), L"qelvar-e2e-exit", 1, 0));
    ASSERT_TRUE(StartTool(run)) << "qelvar.exe did not show its window";
    Sleep(300);

    // On the home page a click where the exit button would be does nothing.
    ClickAt(run.Window, ExitButtonX, ExitButtonY);
    EXPECT_TRUE(IsRunning(run));
    // The close box only opens the exit page...
    PostMessageW(run.Window, WM_CLOSE, 0, 0);
    Sleep(500);
    ASSERT_TRUE(IsRunning(run)) << "the close box ended the program although confirmation is on";
    // ...whose button ends the program.
    ClickAt(run.Window, ExitButtonX, ExitButtonY);
    EXPECT_EQ(FinishTool(run, 10000), 0u);
}

}  // namespace
}  // namespace QelvarTest
