// The message-dispatching wait: it ends when the event is set or the time runs out, and it lets
// messages sent to the waiting thread's windows through meanwhile (a sender would otherwise block).
#include "DirectShowTestSupport.h"

using namespace Vantrel;
using namespace DirectShowTest;

namespace {

HANDLE WaitTestEvent;

LRESULT CALLBACK SignalOnUserMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 7) {
        SetEvent(WaitTestEvent);
        return 42;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct SendJob {
    HWND Window;
    LRESULT Answer;
};

DWORD WINAPI SendFromOtherThread(LPVOID parameter)
{
    SendJob* job = static_cast<SendJob*>(parameter);
    Sleep(50);
    job->Answer = SendMessageW(job->Window, WM_USER + 7, 0, 0);
    return 0;
}

TEST(DirectShowWaitTest, WaitEndsOnTheEventOrTheTimeAndDispatchesSentMessages)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD begin = timeGetTime();
    EXPECT_EQ(StrmBase_WaitDispatchingMessages(event, 60), (DWORD)WAIT_TIMEOUT);
    EXPECT_GE(timeGetTime() - begin, 50u);
    SetEvent(event);
    EXPECT_EQ(StrmBase_WaitDispatchingMessages(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(StrmBase_WaitDispatchingMessages(event, INFINITE), WAIT_OBJECT_0);
    CloseHandle(event);

    // The only way the event gets set is through a message another thread sends to our window.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = SignalOnUserMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VtDirectShowWaitTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"VtDirectShowWaitTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    WaitTestEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SendJob job = {window, 0};
    HANDLE thread = CreateThread(nullptr, 0, SendFromOtherThread, &job, 0, nullptr);
    EXPECT_EQ(StrmBase_WaitDispatchingMessages(WaitTestEvent, 10000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(job.Answer, 42);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL) << "the priority is restored";
    CloseHandle(thread);
    CloseHandle(WaitTestEvent);
    DestroyWindow(window);
    UnregisterClassW(L"VtDirectShowWaitTest", GetModuleHandleW(nullptr));
}

}  // namespace
