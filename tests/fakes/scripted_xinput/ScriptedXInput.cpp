// A scripted stand-in for xinput1_4.dll: plays pad states from a text file and records what the
// program sends to the motors, so that pad code can be tested where no pad exists (Wine, CI).
// Stands on kernel32 only. Build it as xinput1_4.dll and put it beside the program. Wine takes its own
// builtin unless told otherwise: start Wine with WINEDLLOVERRIDES=xinput1_4=n, or set the registry value
// HKCU\Software\Wine\DllOverrides "xinput1_4" = "native" before the library is loaded (a variable set
// from inside an already running Wine process, or given to a child it creates, is not honoured).
//
// Environment:
//   VT_XINPUT_SCRIPT  path of the script (read again whenever its size or write time changes)
//   VT_XINPUT_LOG     path of the record file; every XInputSetState and XInputEnable call appends a line
//   VT_XINPUT_TRACE   path of a trace file; each XInputGetState whose answer for a user differs from
//                     the last one appends "<microseconds> <user> <buttons> <gap>" (QueryPerformanceCounter
//                     time, buttons in hexadecimal, "-" when not connected, the longest time in
//                     microseconds between two reads of that user since the last line), so that a test
//                     can tell when the program saw a state and how long it went without looking
//
// Script: one entry per line; blank lines and lines starting with '#' are ignored.
//   <ms> <user> <buttons> <lt> <rt> <lx> <ly> <rx> <ry>   user connected with this state
//   <ms> <user> -                                          user not connected
// ms: milliseconds since the script was (re)loaded, at which the entry takes effect; user 0..3;
// buttons: wButtons in hexadecimal (0x prefix optional); lt, rt 0..255; lx ly rx ry -32768..32767.
// At time t each user shows the last of its entries whose ms is <= t (a later line with the same ms
// wins); a user without such an entry is not connected. dwPacketNumber counts the entries applied.
// Example: "0 0 0x1000 0 0 0 0 0 0" = user 0 connected from the start with A held.
//
// Record lines: "set <user> <left> <right>" (XInputSetState), "enable <0|1>" (XInputEnable).
#include <windows.h>
#include <xinput.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct ScriptEntry {
    DWORD time;
    int user;
    int connected;
    XINPUT_GAMEPAD pad;
};

const int MaxEntries = 4096;
ScriptEntry g_entries[MaxEntries];
int g_entryCount = 0;
DWORD g_loadTime = 0;
FILETIME g_scriptWriteTime = {};
DWORD g_scriptSize = 0xFFFFFFFF;
int g_scriptSeen = 0;
CRITICAL_SECTION g_lock;

int ReadEnvironmentPath(const char* name, char* path, DWORD size)
{
    DWORD length = GetEnvironmentVariableA(name, path, size);
    return length > 0 && length < size;
}

void ParseScript(char* text)
{
    g_entryCount = 0;
    char* line = text;
    while (line != nullptr && *line != '\0' && g_entryCount < MaxEntries) {
        char* next = strchr(line, '\n');
        if (next != nullptr) *next++ = '\0';
        while (*line == ' ' || *line == '\t') ++line;
        if (*line != '#' && *line != '\0' && *line != '\r') {
            ScriptEntry entry = {};
            unsigned long time = 0;
            int user = -1;
            char buttons[32] = {};
            int lt = 0, rt = 0, lx = 0, ly = 0, rx = 0, ry = 0;
            int fields = sscanf(line, "%lu %d %31s %d %d %d %d %d %d", &time, &user, buttons, &lt, &rt, &lx, &ly,
                                &rx, &ry);
            if (fields >= 3 && user >= 0 && user <= 3) {
                entry.time = static_cast<DWORD>(time);
                entry.user = user;
                if (strcmp(buttons, "-") == 0) {
                    entry.connected = 0;
                    g_entries[g_entryCount++] = entry;
                } else if (fields == 9) {
                    entry.connected = 1;
                    entry.pad.wButtons = static_cast<WORD>(strtoul(buttons, nullptr, 16));
                    entry.pad.bLeftTrigger = static_cast<BYTE>(lt);
                    entry.pad.bRightTrigger = static_cast<BYTE>(rt);
                    entry.pad.sThumbLX = static_cast<SHORT>(lx);
                    entry.pad.sThumbLY = static_cast<SHORT>(ly);
                    entry.pad.sThumbRX = static_cast<SHORT>(rx);
                    entry.pad.sThumbRY = static_cast<SHORT>(ry);
                    g_entries[g_entryCount++] = entry;
                }
            }
        }
        line = next;
    }
}

// Reads the script again when the file changed since the last look.
void ReloadScriptIfChanged()
{
    char path[MAX_PATH];
    if (!ReadEnvironmentPath("VT_XINPUT_SCRIPT", path, sizeof(path))) {
        g_entryCount = 0;
        return;
    }
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &attributes)) {
        g_entryCount = 0;
        g_scriptSeen = 0;
        return;
    }
    if (g_scriptSeen && attributes.nFileSizeLow == g_scriptSize &&
        CompareFileTime(&attributes.ftLastWriteTime, &g_scriptWriteTime) == 0)
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, nullptr);
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
    DWORD got = 0;
    if (text != nullptr && ReadFile(file, text, size, &got, nullptr)) {
        text[got] = '\0';
        ParseScript(text);
        g_scriptSeen = 1;
        g_scriptSize = attributes.nFileSizeLow;
        g_scriptWriteTime = attributes.ftLastWriteTime;
        g_loadTime = GetTickCount();
    }
    if (text != nullptr) HeapFree(GetProcessHeap(), 0, text);
    CloseHandle(file);
}

// The entry in effect for a user now, or null when the user is not connected.
const ScriptEntry* CurrentEntry(DWORD user, DWORD* applied)
{
    DWORD elapsed = GetTickCount() - g_loadTime;
    const ScriptEntry* found = nullptr;
    DWORD count = 0;
    for (int i = 0; i < g_entryCount; ++i) {
        if (g_entries[i].time > elapsed) continue;
        ++count;
        if (g_entries[i].user != static_cast<int>(user)) continue;
        if (found == nullptr || g_entries[i].time >= found->time) found = &g_entries[i];
    }
    if (applied != nullptr) *applied = count;
    return found != nullptr && found->connected ? found : nullptr;
}

void AppendLine(const char* variable, const char* line)
{
    char path[MAX_PATH];
    if (!ReadEnvironmentPath(variable, path, sizeof(path))) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    CloseHandle(file);
}

void AppendRecord(const char* line)
{
    AppendLine("VT_XINPUT_LOG", line);
}

// Per user: the last answer traced (-1 not connected, else the buttons; -2 before the first), the
// time of the last read and the longest gap between reads since the last line.
int g_tracedButtons[4] = {-2, -2, -2, -2};
long long g_lastReadTime[4];
long long g_longestGap[4];

void TraceAnswer(DWORD user, const ScriptEntry* entry)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    const long long time = now.QuadPart * 1000000 / frequency.QuadPart;
    if (g_lastReadTime[user] != 0 && time - g_lastReadTime[user] > g_longestGap[user])
        g_longestGap[user] = time - g_lastReadTime[user];
    g_lastReadTime[user] = time;
    const int buttons = entry != nullptr ? entry->pad.wButtons : -1;
    if (g_tracedButtons[user] == buttons) return;
    g_tracedButtons[user] = buttons;
    char line[96];
    if (buttons < 0)
        snprintf(line, sizeof(line), "%lld %lu - %lld\r\n", time, static_cast<unsigned long>(user), g_longestGap[user]);
    else
        snprintf(line, sizeof(line), "%lld %lu %04x %lld\r\n", time, static_cast<unsigned long>(user), buttons,
                 g_longestGap[user]);
    g_longestGap[user] = 0;
    AppendLine("VT_XINPUT_TRACE", line);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
    if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_lock);
    return TRUE;
}

DWORD WINAPI XInputGetState(DWORD user, XINPUT_STATE* state)
{
    if (user > 3) return ERROR_BAD_ARGUMENTS;
    if (state == nullptr) return ERROR_BAD_ARGUMENTS;
    EnterCriticalSection(&g_lock);
    ReloadScriptIfChanged();
    DWORD applied = 0;
    const ScriptEntry* entry = CurrentEntry(user, &applied);
    TraceAnswer(user, entry);
    DWORD result = ERROR_DEVICE_NOT_CONNECTED;
    if (entry != nullptr) {
        state->dwPacketNumber = applied;
        state->Gamepad = entry->pad;
        result = ERROR_SUCCESS;
    }
    LeaveCriticalSection(&g_lock);
    return result;
}

DWORD WINAPI XInputSetState(DWORD user, XINPUT_VIBRATION* vibration)
{
    if (user > 3 || vibration == nullptr) return ERROR_BAD_ARGUMENTS;
    char line[64];
    snprintf(line, sizeof(line), "set %lu %u %u\r\n", static_cast<unsigned long>(user), vibration->wLeftMotorSpeed,
             vibration->wRightMotorSpeed);
    EnterCriticalSection(&g_lock);
    AppendRecord(line);
    ReloadScriptIfChanged();
    DWORD result = CurrentEntry(user, nullptr) != nullptr ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
    LeaveCriticalSection(&g_lock);
    return result;
}

DWORD WINAPI XInputGetCapabilities(DWORD user, DWORD flags, XINPUT_CAPABILITIES* capabilities)
{
    if (user > 3 || capabilities == nullptr) return ERROR_BAD_ARGUMENTS;
    EnterCriticalSection(&g_lock);
    ReloadScriptIfChanged();
    DWORD result = CurrentEntry(user, nullptr) != nullptr ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
    LeaveCriticalSection(&g_lock);
    if (result == ERROR_SUCCESS) {
        memset(capabilities, 0, sizeof(*capabilities));
        capabilities->Type = XINPUT_DEVTYPE_GAMEPAD;
        capabilities->SubType = XINPUT_DEVSUBTYPE_GAMEPAD;
        capabilities->Gamepad.wButtons = 0xF3FF;
        capabilities->Gamepad.bLeftTrigger = 0xFF;
        capabilities->Gamepad.bRightTrigger = 0xFF;
        capabilities->Gamepad.sThumbLX = capabilities->Gamepad.sThumbLY = static_cast<SHORT>(0xFFC0);
        capabilities->Gamepad.sThumbRX = capabilities->Gamepad.sThumbRY = static_cast<SHORT>(0xFFC0);
        capabilities->Vibration.wLeftMotorSpeed = capabilities->Vibration.wRightMotorSpeed = 0xFF;
    }
    return result;
}

void WINAPI XInputEnable(BOOL enable)
{
    char line[32];
    snprintf(line, sizeof(line), "enable %d\r\n", enable ? 1 : 0);
    EnterCriticalSection(&g_lock);
    AppendRecord(line);
    LeaveCriticalSection(&g_lock);
}

DWORD WINAPI XInputGetBatteryInformation(DWORD user, BYTE type,
                                                               XINPUT_BATTERY_INFORMATION* information)
{
    if (user > 3 || information == nullptr) return ERROR_BAD_ARGUMENTS;
    EnterCriticalSection(&g_lock);
    ReloadScriptIfChanged();
    DWORD result = CurrentEntry(user, nullptr) != nullptr ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
    LeaveCriticalSection(&g_lock);
    if (result == ERROR_SUCCESS) {
        information->BatteryType = BATTERY_TYPE_WIRED;
        information->BatteryLevel = BATTERY_LEVEL_FULL;
    }
    return result;
}

DWORD WINAPI XInputGetKeystroke(DWORD user, DWORD reserved, XINPUT_KEYSTROKE* keystroke)
{
    if (keystroke == nullptr) return ERROR_BAD_ARGUMENTS;
    return user <= 3 || user == XUSER_INDEX_ANY ? ERROR_EMPTY : ERROR_BAD_ARGUMENTS;
}

// Tells a test that this scripted library, not the system's, was loaded.
int WINAPI ScriptedXInput_IsScripted()
{
    return 1;
}

} // extern "C"
