// Key capture over the library's keyboard queries, with a scripted keyboard state: the first key of
// the capture list wins, a key outside it completes the capture with code 0, nothing down gives 0,
// and a key the tool injected is never taken.
#include <gtest/gtest.h>

#include <cstring>

#include "../system/InputTestSupport.h"
#include "app/ButtonConverter.h"
#include "app/InputInjection.h"
#include "app/KeyNames.h"
#include "foundation/VtWinAPI.h"
#include "system/VtInput.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"

namespace QelvarTest {
namespace {

using namespace Qelvar;

BYTE ScriptedKeys[256];

BOOL WINAPI ScriptedGetKeyboardState(PBYTE keys)
{
    memcpy(keys, ScriptedKeys, 256);
    return TRUE;
}

UINT WINAPI DropSendInput(UINT count, LPINPUT, int) { return count; }
void WINAPI DropMouseEvent(DWORD, DWORD, DWORD, DWORD, ULONG_PTR) {}

class KeyCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InputTest::PrepareWindowState(0x10C);
        InputTest::FakeTime = 30000;
        InputTest::Joysticks.clear();
        InputTest::RestartInputWithFakes(nullptr);
        realGetKeyboardState_ = Vantrel::WinAPITable.GetKeyboardState;
        Vantrel::WinAPITable.GetKeyboardState = ScriptedGetKeyboardState;
        Vantrel::Window.MainWindow = GetDesktopWindow();
        memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
        BuildKeyNames();
    }
    void TearDown() override
    {
        Vantrel::WinAPITable.GetKeyboardState = realGetKeyboardState_;
        Vantrel::Window.MainWindow = nullptr;
        InputTest::RestoreSystem();
    }
    static int Capture()
    {
        ++InputTest::FakeTime;
        return CaptureKey();
    }

    decltype(Vantrel::WinAPITable.GetKeyboardState) realGetKeyboardState_ = nullptr;
};

TEST_F(KeyCaptureTest, FirstListedKeyWins)
{
    EXPECT_EQ(Capture(), 0);

    ScriptedKeys['S'] = 0x80;
    ScriptedKeys['A'] = 0x80;
    EXPECT_EQ(Capture(), 1);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0x1E);  // A comes before S in the list

    memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
    ScriptedKeys[VK_UP] = 0x80;
    EXPECT_EQ(Capture(), 1);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0xC8);

    memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
    ScriptedKeys[VK_LWIN] = 0x80;  // not in the list: captured as 0
    EXPECT_EQ(Capture(), 1);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0);

    KeyNameTable.CapturedKey = 0x11;
    memset(ScriptedKeys, 0, sizeof(ScriptedKeys));
    EXPECT_EQ(Capture(), 0);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0x11);  // an unfinished capture changes nothing
}

TEST_F(KeyCaptureTest, KeysTheToolInjectedAreNeverCaptured)
{
    InputInjection_Sink = {DropSendInput, DropMouseEvent};
    const auto clock = ButtonConverter_Clock;
    ButtonConverter_Clock = Vantrel::GetMillisecondCount;  // the scripted time of the keyboard state

    SendKeyDown(0x20);  // the tool holds D
    ScriptedKeys['D'] = 0x80;
    EXPECT_EQ(Capture(), 0) << "only the tool's own key is down";
    ScriptedKeys['W'] = 0x80;  // the user's key; D comes before W in the list
    EXPECT_EQ(Capture(), 1);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0x11);

    // Let go by the tool, D may still show down for a moment; later a D that is down is the user's.
    ScriptedKeys['W'] = 0;
    ReleaseAllHeld();
    EXPECT_EQ(Capture(), 0);
    InputTest::FakeTime += 300;
    EXPECT_EQ(Capture(), 1);
    EXPECT_EQ(KeyNameTable.CapturedKey, 0x20);

    ButtonConverter_Clock = clock;
    InputInjection_UseSystemSink();
}

}  // namespace
}  // namespace QelvarTest
