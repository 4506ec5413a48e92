// Running qelvar.exe as a user would, for the end-to-end tests and the latency benchmark: a working
// folder with the program, the scripted xinput1_4.dll and the setting files, the program started
// as a process, its window found, and real mouse clicks at window coordinates (SendInput).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/SettingFiles.h"
#include "tests/system/WindowReadBack.h"

namespace QelvarTest {

// The build folder: where qelvar.exe was built. levelsUp: how far the running program lies below it.
inline std::wstring BuildFolder(int levelsUp)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    for (int i = 0; i <= levelsUp; ++i) folder.resize(folder.find_last_of(L"\\/"));
    return folder + L"\\";
}

inline bool WriteBytes(const std::wstring& path, const void* data, size_t size)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

inline bool WriteText(const std::wstring& path, const std::string& text)
{
    return WriteBytes(path, text.data(), text.size());
}

// The pad script of user 0: connected, with these buttons held (wButtons, hexadecimal).
inline std::string PadScript(unsigned buttons)
{
    char line[96];
    snprintf(line, sizeof(line), "# pad\n0 0 0x%04x 0 0 0 0 0 0\n", buttons);
    return line;
}

struct ToolRun {
    std::wstring Folder;
    std::wstring Script;
    PROCESS_INFORMATION Process = {};
    HWND Window = nullptr;
};

// A fresh working folder with the program, the scripted pad and the setting files: pad button 0
// types W (DirectInput code 0x11); "system.data" with the frame rate and exit confirmation given.
inline bool PrepareToolFolder(ToolRun& run, const std::wstring& buildFolder, const wchar_t* name,
                              int32_t frameRateType, uint8_t noExitConfirm)
{
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    run.Folder = std::wstring(temporary) + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(run.Folder.c_str(), nullptr);
    if (!CopyFileW((buildFolder + L"qelvar.exe").c_str(), (run.Folder + L"qelvar.exe").c_str(), FALSE)) return false;
    if (!CopyFileW((buildFolder + L"tests\\xinput1_4.dll").c_str(), (run.Folder + L"xinput1_4.dll").c_str(),
                   FALSE))
        return false;

    Qelvar::InitDefaultSettings();
    Qelvar::Settings.Buttons.FirstAssigned[0] = 1;
    Qelvar::Settings.Buttons.FirstType[0] = 0;
    Qelvar::Settings.Buttons.FirstKey[0] = 0x11;
    unsigned char option[Qelvar::SettingFileSize];
    const int32_t version = Qelvar::SettingFileVersion;
    memcpy(option, &version, 4);
    memcpy(option + 4, &Qelvar::Settings, sizeof(Qelvar::SettingBlock));
    Qelvar::InitDefaultSettings();
    if (!WriteBytes(run.Folder + L"option.data", option, sizeof(option))) return false;

    unsigned char systemFile[Qelvar::SystemFileSize] = {};
    memcpy(systemFile + 1, &frameRateType, 4);
    systemFile[5] = noExitConfirm;
    if (!WriteBytes(run.Folder + L"system.data", systemFile, sizeof(systemFile))) return false;

    run.Script = run.Folder + L"pad.txt";
    return WriteText(run.Script, PadScript(0));
}

// Direct3D 11 and 9 switched off for the tool in the prefix (while the record lives), so that it
// runs with no device: the software screen through GDI.
struct NoDirect3D {
    HKEY Key = nullptr;
    NoDirect3D()
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\qelvar.exe\\DllOverrides", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &Key, nullptr) != ERROR_SUCCESS)
            return;
        for (const wchar_t* dll : {L"d3d11", L"d3d9", L"dxgi"})
            RegSetValueExW(Key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    }
    ~NoDirect3D()
    {
        if (Key == nullptr) return;
        for (const wchar_t* dll : {L"d3d11", L"d3d9", L"dxgi"}) RegDeleteValueW(Key, dll);
        RegCloseKey(Key);
    }
    NoDirect3D(const NoDirect3D&) = delete;
    NoDirect3D& operator=(const NoDirect3D&) = delete;
};

// Direct3D 11 alone switched off for the tool in the test prefix, as on a machine without it: the tool
// then draws through Direct3D 9.
struct NoDirect3D11 {
    HKEY Key = nullptr;
    NoDirect3D11()
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\qelvar.exe\\DllOverrides", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &Key, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(Key, L"d3d11", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    }
    ~NoDirect3D11()
    {
        if (Key == nullptr) return;
        RegDeleteValueW(Key, L"d3d11");
        RegCloseKey(Key);
    }
    NoDirect3D11(const NoDirect3D11&) = delete;
    NoDirect3D11& operator=(const NoDirect3D11&) = delete;
};

// The first megabyte of the tool's log (Log.txt in its folder, Shift-JIS); empty when there is none.
inline std::string ReadToolLog(const std::wstring& folder)
{
    const HANDLE file = CreateFileW((folder + L"Log.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string text(1 << 20, '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], DWORD(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

// The tool's log holds the text.
inline bool LogHasText(const std::wstring& folder, const wchar_t* wanted)
{
    const std::string text = ReadToolLog(folder);
    char bytes[512] = {};
    const int length = WideCharToMultiByte(932, 0, wanted, -1, bytes, sizeof(bytes), nullptr, nullptr);
    return length > 1 && text.find(std::string(bytes, size_t(length - 1))) != std::string::npos;
}

// The tool's log (Log.txt in its folder) names the swap chain made for its window when it draws
// through Direct3D 11.
inline bool LogShowsSwapChain(const std::wstring& folder)
{
    const std::string text = ReadToolLog(folder);
    const size_t at = text.find("CreateSwapChainForHwnd");
    return at != std::string::npos && text.substr(at, text.find('\n', at) - at).find("0x00000000") != std::string::npos;
}

// The tool's client area and the page layer's place in it.
constexpr int ClientWidth = 860, ClientHeight = 560;
constexpr int PageOriginX = 120;

// Caption colours of the pages (0x00RRGGBB).
constexpr uint32_t Light = 0xE6E6E6, Cyan = 0x00F5F5, Pink = 0xFFC8C8;

struct Capture {
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top row first

    uint32_t At(int x, int y) const { return Pixels[size_t(y) * ClientWidth + x]; }

    // Pixels of the colour inside the rectangle (window coordinates).
    int Count(int left, int top, int width, int height, uint32_t color) const
    {
        int count = 0;
        for (int y = top < 0 ? 0 : top; y < top + height && y < ClientHeight; ++y)
            for (int x = left < 0 ? 0 : left; x < left + width && x < ClientWidth; ++x) count += At(x, y) == color;
        return count;
    }
};

// The client area read from the window's device context with BitBlt into a 32-bit DIB section.
inline Capture CaptureWindow(HWND window)
{
    Capture capture;
    capture.Pixels.assign(size_t(ClientWidth) * ClientHeight, 0);
    const HDC windowDC = GetDC(window);
    const HDC memoryDC = CreateCompatibleDC(windowDC);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = ClientWidth;
    info.bmiHeader.biHeight = -ClientHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memoryDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memoryDC, bitmap);
    BitBlt(memoryDC, 0, 0, ClientWidth, ClientHeight, windowDC, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < capture.Pixels.size(); ++i) capture.Pixels[i] = source[i] & 0xFFFFFF;
    SelectObject(memoryDC, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    ReleaseDC(window, windowDC);
    return capture;
}

struct WindowSearch {
    DWORD ProcessId;
    HWND Found;
};

inline BOOL CALLBACK FindToolWindowProc(HWND window, LPARAM data)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (owner == search->ProcessId && IsWindowVisible(window) && strncmp(title, "Qelvar", 6) == 0) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

// The home tab's outline, drawn in cyan while it is the chosen tab (0x00RRGGBB).
constexpr uint32_t FirstFrameOutline = 0x0000F5F5;

// Starts the program in its folder with the scripted pad (Wine is told to take the DLL beside the
// program) and waits, at most ten seconds, for its window and then twenty for its first frame.
inline bool StartTool(ToolRun& run)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\qelvar.exe\\DllOverrides", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"xinput1_4", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native"), sizeof(L"native"));
        RegCloseKey(key);
    }
    SetEnvironmentVariableW(L"VT_XINPUT_SCRIPT", run.Script.c_str());
    std::wstring program = run.Folder + L"qelvar.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, run.Folder.c_str(),
                        &startup, &run.Process))
        return false;
    WindowSearch search = {run.Process.dwProcessId, nullptr};
    for (int waited = 0; waited < 10000 && search.Found == nullptr; waited += 50) {
        if (WaitForSingleObject(run.Process.hProcess, 50) == WAIT_OBJECT_0) return false;
        EnumWindows(FindToolWindowProc, reinterpret_cast<LPARAM>(&search));
    }
    run.Window = search.Found;
    if (run.Window == nullptr) return false;
    // The window shows long before the loop's first frame (the graphics device, the fonts and the
    // layers are made in between: seconds with Direct3D 11 on a loaded machine), and a click before
    // it is lost. The user waits for the tool to appear: the chosen tab's cyan outline at (10, 10).
    bool shown = false;
    for (int waited = 0; waited < 20000 && !shown; waited += 50) {
        shown = WindowTest::ReadWindowPixels(run.Window, 11, 11)[10 * 11 + 10] == FirstFrameOutline;
        if (!shown && WaitForSingleObject(run.Process.hProcess, 50) == WAIT_OBJECT_0) return false;
    }
    // A few frames more, so that the loop reads the mouse before the first click.
    if (shown) Sleep(200);
    return shown;
}

// Ends the program if it still runs (bounded) and closes the handles. Returns its exit code.
inline DWORD FinishTool(ToolRun& run, DWORD waitMilliseconds)
{
    DWORD code = STILL_ACTIVE;
    if (run.Process.hProcess == nullptr) return code;
    if (WaitForSingleObject(run.Process.hProcess, waitMilliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(run.Process.hProcess, 99);
        WaitForSingleObject(run.Process.hProcess, 5000);
    } else {
        GetExitCodeProcess(run.Process.hProcess, &code);
    }
    CloseHandle(run.Process.hThread);
    CloseHandle(run.Process.hProcess);
    run.Process = {};
    return code;
}

// A left click with the real input stream at a point of the window's client area; each state is
// held long enough for the program's loop to see it (a few frames).
inline void ClickAt(HWND window, int x, int y, DWORD holdMilliseconds = 120)
{
    POINT point = {x, y};
    ClientToScreen(window, &point);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((point.x * 65536LL + width / 2) / width);
    input.mi.dy = static_cast<LONG>((point.y * 65536LL + height / 2) / height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
    Sleep(holdMilliseconds);
    input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
    Sleep(holdMilliseconds);
    input.mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
    Sleep(holdMilliseconds);
}

// The hook helper (ToolHookHelper.exe beside the test programs) recording key events.
struct HookHelper {
    PROCESS_INFORMATION Process = {};
    HANDLE Ready = nullptr;
    std::wstring Result;
};

struct HookRecord {
    unsigned VirtualKey, Scan, Flags;
    long long Microseconds;  // QueryPerformanceCounter time when the hook saw it
};

// Starts the helper to record count key events within the time limit; true once its hook is in.
inline bool StartHookHelper(HookHelper& helper, const std::wstring& buildFolder, int count, int limitMilliseconds)
{
    wchar_t eventName[64];
    swprintf(eventName, 64, L"QelvarToolHookReady%lu", GetCurrentProcessId());
    helper.Ready = CreateEventW(nullptr, TRUE, FALSE, eventName);
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    helper.Result = std::wstring(temporary) + L"qelvar-tool-hook-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(helper.Result.c_str());
    std::wstring program = buildFolder + L"tests\\ToolHookHelper.exe";
    std::wstring command = L"\"" + program + L"\" " + eventName + L" \"" + helper.Result + L"\" " +
                           std::to_wstring(count) + L" " + std::to_wstring(limitMilliseconds);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &helper.Process))
        return false;
    HANDLE waits[2] = {helper.Ready, helper.Process.hProcess};
    return WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0;
}

// Waits (bounded) for the helper to end and returns what it recorded. A helper that has not seen its
// count of events by then is asked to stop (a quit message to its loop), so that what it did see is
// still written; only one that does not answer is ended by force, losing its records.
inline std::vector<HookRecord> FinishHookHelper(HookHelper& helper, DWORD waitMilliseconds)
{
    if (helper.Process.hProcess != nullptr) {
        if (WaitForSingleObject(helper.Process.hProcess, waitMilliseconds) != WAIT_OBJECT_0) {
            PostThreadMessageW(helper.Process.dwThreadId, WM_QUIT, 0, 0);
            if (WaitForSingleObject(helper.Process.hProcess, 5000) != WAIT_OBJECT_0)
                TerminateProcess(helper.Process.hProcess, 9);
        }
        WaitForSingleObject(helper.Process.hProcess, 5000);
        CloseHandle(helper.Process.hThread);
        CloseHandle(helper.Process.hProcess);
        helper.Process = {};
    }
    if (helper.Ready != nullptr) CloseHandle(helper.Ready);
    helper.Ready = nullptr;
    std::vector<HookRecord> records;
    FILE* file = _wfopen(helper.Result.c_str(), L"rb");
    if (file != nullptr) {
        HookRecord record;
        while (fscanf(file, "%x %x %x %lld", &record.VirtualKey, &record.Scan, &record.Flags, &record.Microseconds) == 4)
            records.push_back(record);
        fclose(file);
    }
    DeleteFileW(helper.Result.c_str());
    return records;
}

// "vk scan flags" of each record, one line each.
inline std::string HookText(const std::vector<HookRecord>& records)
{
    std::string text;
    for (const HookRecord& record : records) {
        char line[32];
        snprintf(line, sizeof(line), "%02x %02x %02x\n", record.VirtualKey, record.Scan, record.Flags);
        text += line;
    }
    return text;
}

// Window coordinates of the tool's controls (strictly inside their rectangles).
constexpr int RunTabX = 60, RunTabY = 390;      // tab 3: 10, 340, 100, 100
constexpr int RunButtonX = 470, RunButtonY = 260;  // run page 200, 210, 300, 100 at the page origin 120, 0
constexpr int ExitButtonX = 470, ExitButtonY = 260;

}  // namespace QelvarTest
