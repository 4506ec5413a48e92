// The tool end to end, as a user runs it: qelvar.exe with a scripted pad, clicked with the real
// mouse input stream; a low-level hook in another process sees the keys it types; the close box
// ends it or opens the exit page as "system.data" says.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/app/ToolProcess.h"

namespace QelvarTest {
namespace {

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
    ASSERT_TRUE(StartTool(run)) << "qelvar.exe did not show its window and first frame";
    Sleep(300);

    // Run tab, then the run button: conversion on.
    ClickAt(run.Window, RunTabX, RunTabY);
    ClickAt(run.Window, RunButtonX, RunButtonY);

    HookHelper helper;
    ASSERT_TRUE(StartHookHelper(helper, BuildFolder(1), 4, 10000)) << "the hook helper did not install its hook";
    // Button 0 (wButtons bit 0) pressed and released: W down, W up.
    ASSERT_TRUE(WriteText(run.Script, PadScript(0x0001)));
    Sleep(400);
    ASSERT_TRUE(WriteText(run.Script, "# released\n" + PadScript(0)));
    Sleep(400);
    // Pressed again and held while the run tab is clicked: the click stops conversion and W goes up.
    ASSERT_TRUE(WriteText(run.Script, PadScript(0x0001)));
    Sleep(400);
    ClickAt(run.Window, RunTabX, RunTabY);
    const std::string recorded = HookText(FinishHookHelper(helper, 15000));
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
    ASSERT_TRUE(StartTool(run)) << "qelvar.exe did not show its window and first frame";
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
