// Input latency of the tool end to end: qelvar.exe runs with the scripted pad and converts; the
// benchmark flips pad button 0 (mapped to W) at a recorded time and a low-level hook in a helper
// process records when W arrives. Prints the median and 99th percentile latency at 60 and 144 frames
// per second and the tool's CPU time per second while converting (its drawing and presenting
// included; goal at 60: at most 2% of one core), on both roads the tool draws by: with no device (the
// software screen through GDI; Direct3D switched off for it in the prefix) and through Direct3D 11
// (when the build's start-up uses it). Run after scripts/test.sh built everything:
// scripts/wine-run.sh build/bench_latency.exe [presses]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "tests/app/ToolProcess.h"

using namespace QelvarTest;

namespace {

long long NowMicroseconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000000 / frequency.QuadPart;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string text;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char block[4096];
    DWORD read = 0;
    while (ReadFile(file, block, sizeof(block), &read, nullptr) && read > 0) text.append(block, read);
    CloseHandle(file);
    return text;
}

// Under Wine, GetProcessTimes of another process reports only a small part of its time; the host
// counts every thread of it (Direct3D's worker and rasteriser threads among them). The host's
// process is found through its /proc (Wine's Z: drive) by the tool's folder in its command line;
// an empty name where there is none (Windows), and GetProcessTimes is used.
std::wstring HostStatFile(const std::wstring& toolFolder)
{
    std::string folder(toolFolder.begin(), toolFolder.end());   // the temporary path is ASCII
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    folder = folder.substr(folder.find_last_of('\\') + 1);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return L"";
    std::wstring stat;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') continue;
        const std::wstring process = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const std::string commandLine = ReadWholeFile(process + L"\\cmdline");
        if (commandLine.find(folder) != std::string::npos && commandLine.find("qelvar.exe") != std::string::npos)
            stat = process + L"\\stat";
    } while (stat.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return stat;
}

double ProcessCpuSeconds(HANDLE process, const std::wstring& hostStat)
{
    if (!hostStat.empty()) {
        // utime and stime, fields 14 and 15, in ticks of 1/100 s, after the parenthesised name.
        const std::string text = ReadWholeFile(hostStat);
        const size_t name = text.rfind(')');
        unsigned long long user = 0, system = 0;
        if (name != std::string::npos &&
            sscanf(text.c_str() + name + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) == 2)
            return (user + system) / 100.0;
    }
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](FILETIME t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * (values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The run button shows its caption in cyan while the tool converts.
bool ShowsConversion(HWND window, int waitMilliseconds)
{
    for (int waited = 0;; waited += 100) {
        if (CaptureWindow(window).Count(PageOriginX + 200, 210, 300, 100, Cyan) > 50) return true;
        if (waited >= waitMilliseconds) return false;
        Sleep(100);
    }
}

// The run tab and its button clicked until the tool shows that it converts (a click can be lost
// while the window is still settling); false when it never does.
bool StartConversion(HWND window)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        ClickAt(window, RunTabX, RunTabY);
        if (ShowsConversion(window, 300)) return true;
        ClickAt(window, RunButtonX, RunButtonY);
        if (ShowsConversion(window, 2000)) return true;
    }
    return false;
}

bool RunAtRate(const std::wstring& build, int32_t frameRateType, int fps, int presses, bool direct3D)
{
    ToolRun run;
    wchar_t name[64];
    swprintf(name, 64, L"qelvar-bench-%d-%ls", fps, direct3D ? L"d3d11" : L"nodevice");
    // The no-device road: Direct3D switched off for the tool while it runs.
    std::unique_ptr<NoDirect3D> noDirect3D;
    if (!direct3D) noDirect3D = std::make_unique<NoDirect3D>();
    if (!PrepareToolFolder(run, build, name, frameRateType, 1) || !StartTool(run)) {
        printf("could not start qelvar.exe\n");
        FinishTool(run, 0);
        return false;
    }
    // The clicks only count once the tool's loop runs: its window answers when the loop pumps.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(run.Window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer);
    Sleep(500);
    const bool converting = StartConversion(run.Window);
    const std::wstring hostStat = HostStatFile(run.Folder);

    // CPU time while converting with the pad idle.
    Sleep(500);
    const double cpu0 = ProcessCpuSeconds(run.Process.hProcess, hostStat);
    const long long idle0 = NowMicroseconds();
    Sleep(5000);
    const double idleCpuShare =
        (ProcessCpuSeconds(run.Process.hProcess, hostStat) - cpu0) / ((NowMicroseconds() - idle0) / 1e6);

    HookHelper helper;
    if (!StartHookHelper(helper, build, presses * 2, presses * 200 + 10000)) {
        printf("the hook helper did not start\n");
        FinishTool(run, 0);
        return false;
    }
    std::vector<long long> pressTimes;
    const double cpu1 = ProcessCpuSeconds(run.Process.hProcess, hostStat);
    const long long start = NowMicroseconds();
    for (int i = 0; i < presses; ++i) {
        // A press at a time unrelated to the tool's frames, held for a few frames.
        Sleep(20 + rand() % 17);
        pressTimes.push_back(NowMicroseconds());
        WriteText(run.Script, PadScript(0x0001));
        Sleep(60 + rand() % 13);
        WriteText(run.Script, "# released\n" + PadScript(0));
    }
    const double busyCpuShare =
        (ProcessCpuSeconds(run.Process.hProcess, hostStat) - cpu1) / ((NowMicroseconds() - start) / 1e6);
    const std::vector<HookRecord> records = FinishHookHelper(helper, 10000);
    PostMessageW(run.Window, WM_CLOSE, 0, 0);
    const DWORD exitCode = FinishTool(run, 10000);
    const bool drewThroughDirect3D = LogShowsSwapChain(run.Folder);

    std::vector<double> latencies;
    size_t next = 0;
    for (const HookRecord& record : records) {
        if (record.Scan != 0x11 || (record.Flags & LLKHF_UP) != 0) continue;
        // The first press sent at or before the hook saw the key.
        while (next + 1 < pressTimes.size() && pressTimes[next + 1] <= record.Microseconds) ++next;
        if (next < pressTimes.size() && pressTimes[next] <= record.Microseconds)
            latencies.push_back((record.Microseconds - pressTimes[next]) / 1000.0);
        ++next;
    }
    printf("%-11s %3d fps: drawn %s%s\n", direct3D ? "Direct3D 11" : "no device", fps,
           drewThroughDirect3D ? "through Direct3D 11" : "without a device (software screen through GDI)",
           converting ? "" : "; the run button never showed the conversion on");
    printf("         %zu of %d presses seen, latency median %.2f ms, 99th percentile %.2f ms (frame %.2f ms)\n",
           latencies.size(), presses, Percentile(latencies, 0.5), Percentile(latencies, 0.99), 1000.0 / fps);
    printf("         tool CPU time per second (%s): %.2f%% of one core converting idle, %.2f%% while pressing; exit %lu\n",
           hostStat.empty() ? "GetProcessTimes" : "all its threads, as the host counts them", idleCpuShare * 100,
           busyCpuShare * 100, exitCode);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? atoi(argv[1]) : 300;
    const std::wstring build = BuildFolder(0);
    srand(12345);
    printf("bench_latency: scripted pad button -> qelvar.exe -> SendInput -> low-level hook, %d presses\n", presses);
    // The tool's start-up uses Direct3D 11 when the library it shares with this program was built to.
    const bool direct3D = Vantrel::Graphics_D3D11_IsDeviceEnabled() != 0;
    for (bool road : {false, true}) {
        if (road && !direct3D) {
            printf("Direct3D 11: not measured, the build's start-up does not use the device (-DVT_D3D11_DEVICE=ON)\n");
            continue;
        }
        RunAtRate(build, 1, 60, presses, road);
        RunAtRate(build, 4, 144, presses, road);
    }
    return 0;
}
