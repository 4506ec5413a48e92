// Test helper: another process that watches the system input stream with a low-level keyboard hook,
// as a game would see the tool's keys, with the time each event reached it. Usage: ToolHookHelper
// <ready event> <result file> <event count> <time limit ms>. The message queue and display driver are
// made ready before the hook goes in, so that no event is lost to a slow first message wait; the
// event is signalled from inside the message loop. Each key event is written as
// "vk scan flags microseconds" (hex, hex, hex, decimal QueryPerformanceCounter time); the program
// ends after the count, the time limit, or a quit message to its thread (what it saw is still written).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Recorded;
int Remaining = 0;
LARGE_INTEGER Frequency;

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION && Remaining > 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const KBDLLHOOKSTRUCT* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        char line[96];
        snprintf(line, sizeof(line), "%02lx %02lx %02lx %lld\n", key->vkCode, key->scanCode, key->flags,
                 static_cast<long long>(now.QuadPart * 1000000 / Frequency.QuadPart));
        Recorded += line;
        if (--Remaining == 0) PostQuitMessage(0);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) return 2;
    QueryPerformanceFrequency(&Frequency);
    Remaining = _wtoi(argv[3]);
    const UINT limit = static_cast<UINT>(_wtoi(argv[4]));
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (ready == nullptr) return 4;
    const UINT readyMessage = WM_APP + 1;
    PostThreadMessageW(GetCurrentThreadId(), readyMessage, 0, 0);
    SetTimer(nullptr, 0, limit, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == readyMessage) {
            SetEvent(ready);
            continue;
        }
        if (message.message == WM_TIMER) break;
        DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    CloseHandle(ready);
    if (window != nullptr) DestroyWindow(window);

    FILE* file = _wfopen(argv[2], L"wb");
    if (file == nullptr) return 5;
    fwrite(Recorded.data(), 1, Recorded.size(), file);
    fclose(file);
    return Remaining == 0 ? 0 : 1;
}
