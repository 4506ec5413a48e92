// Test helper: a separate process that watches the system input stream with a low-level keyboard
// hook, as another program would see the tool's keys. Usage: KeyboardHookHelper <ready event>
// <result file> <event count>. Signals the event once the hook is in place, records each key
// event as "vk scan flags" (hex) and exits after the count or after 10 seconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Recorded;
int Remaining = 0;

LRESULT CALLBACK KeyboardHook(int code, WPARAM message, LPARAM data)
{
    if (code == HC_ACTION && Remaining > 0) {
        const KBDLLHOOKSTRUCT* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        char line[64];
        snprintf(line, sizeof(line), "%02lx %02lx %02lx\n", key->vkCode, key->scanCode, key->flags);
        Recorded += line;
        if (--Remaining == 0) {
            PostQuitMessage(0);
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        return 2;
    }
    Remaining = _wtoi(argv[3]);
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHook, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        return 3;
    }
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (ready == nullptr) {
        return 4;
    }
    // The hook runs only while this thread pumps messages: report ready from inside the loop.
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    SetTimer(nullptr, 0, 10000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            break;
        }
        if (message.message == WM_APP) {
            SetEvent(ready);
            continue;
        }
        DispatchMessageW(&message);
    }
    CloseHandle(ready);
    UnhookWindowsHookEx(hook);

    FILE* file = _wfopen(argv[2], L"wb");
    if (file == nullptr) {
        return 5;
    }
    fwrite(Recorded.data(), 1, Recorded.size(), file);
    fclose(file);
    return Remaining == 0 ? 0 : 1;
}
