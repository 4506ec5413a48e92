// Input latency of the tool end to end: qelvar.exe runs with the scripted pad and converts; the
// benchmark flips pad button 0 (mapped to W) at a recorded time and a low-level hook in a helper
// process records when W arrives. Prints the median and 99th percentile latency at 60 and 144 frames
// per second and the tool's CPU time per second while converting (its drawing and presenting
// included; goal at 60: at most 2% of one core), on both roads the tool draws by: with no device (the
// software screen through GDI; Direct3D switched off for it in the prefix) and through Direct3D 11
// (when the build's start-up uses it). Run after scripts/test.sh built everything:
// scripts/wine-run.sh build/bench_latency.exe [presses [nodevice|d3d11]]
// Each press and each release lasts a few frames. A lost press is told apart: never read by the tool
// (the scripted pad traces what its reads answered), merged with the one before (the release between
// them was never read), or read but not injected.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

// CPU ticks (1/100 s) of each thread of the host's process, by thread id, with its name.
struct ThreadTicks {
    std::string Name;
    unsigned long long Ticks;
};

std::map<std::string, ThreadTicks> HostThreadTicks(const std::wstring& hostStat)
{
    std::map<std::string, ThreadTicks> threads;
    if (hostStat.empty()) return threads;
    const std::wstring tasks = hostStat.substr(0, hostStat.size() - 4) + L"task\\";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((tasks + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return threads;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') continue;
        const std::string text = ReadWholeFile(tasks + found.cFileName + L"\\stat");
        const size_t open = text.find('('), close = text.rfind(')');
        unsigned long long user = 0, system = 0;
        if (open == std::string::npos || close == std::string::npos ||
            sscanf(text.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
            continue;
        const std::wstring id = found.cFileName;
        threads[std::string(id.begin(), id.end())] = {text.substr(open + 1, close - open - 1), user + system};
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return threads;
}

// The threads that used the most CPU between two looks, as shares of one core: "name 1.2%, ...".
std::string BusiestThreads(const std::map<std::string, ThreadTicks>& before,
                           const std::map<std::string, ThreadTicks>& after, double seconds)
{
    std::vector<std::pair<unsigned long long, std::string>> used;
    for (const auto& entry : after) {
        const auto earlier = before.find(entry.first);
        const unsigned long long ticks = entry.second.Ticks - (earlier != before.end() ? earlier->second.Ticks : 0);
        if (ticks > 0) used.push_back({ticks, entry.second.Name});
    }
    std::sort(used.rbegin(), used.rend());
    std::string text;
    for (size_t i = 0; i < used.size() && i < 5; ++i) {
        char part[96];
        snprintf(part, sizeof(part), "%s%s %.1f%%", i ? ", " : "", used[i].second.c_str(),
                 used[i].first / 100.0 / seconds * 100);
        text += part;
    }
    return text.empty() ? "none measurable" : text;
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
    const bool prepared = PrepareToolFolder(run, build, name, frameRateType, 1);
    // The scripted pad traces when the tool's reads saw each change of the buttons.
    const std::wstring trace = run.Folder + L"pad-trace.txt";
    DeleteFileW(trace.c_str());
    SetEnvironmentVariableW(L"VT_XINPUT_TRACE", trace.c_str());
    if (!prepared || !StartTool(run)) {
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
    const std::map<std::string, ThreadTicks> threads0 = HostThreadTicks(hostStat);
    const long long idle0 = NowMicroseconds();
    Sleep(5000);
    const double idleSeconds = (NowMicroseconds() - idle0) / 1e6;
    const double idleCpuShare = (ProcessCpuSeconds(run.Process.hProcess, hostStat) - cpu0) / idleSeconds;
    const std::string idleThreads = BusiestThreads(threads0, HostThreadTicks(hostStat), idleSeconds);

    HookHelper helper;
    if (!StartHookHelper(helper, build, presses * 2, presses * 200 + 10000)) {
        printf("the hook helper did not start\n");
        FinishTool(run, 0);
        return false;
    }
    // Each press: when its script was written and when its release was.
    std::vector<long long> pressTimes, releaseTimes, pressWritten;
    const double cpu1 = ProcessCpuSeconds(run.Process.hProcess, hostStat);
    const long long start = NowMicroseconds();
    for (int i = 0; i < presses; ++i) {
        // A press at a time unrelated to the tool's frames, held for a few frames; the release before
        // it lasts a few frames too, since a release shorter than the tool's frame (frames stretch
        // on a loaded machine) is never read and the two presses merge into one.
        Sleep(50 + rand() % 17);
        pressTimes.push_back(NowMicroseconds());
        WriteText(run.Script, PadScript(0x0001));
        pressWritten.push_back(NowMicroseconds());
        Sleep(60 + rand() % 13);
        releaseTimes.push_back(NowMicroseconds());
        WriteText(run.Script, "# released\n" + PadScript(0));
    }
    const double busyCpuShare =
        (ProcessCpuSeconds(run.Process.hProcess, hostStat) - cpu1) / ((NowMicroseconds() - start) / 1e6);
    // The last key-up follows the last release within a few frames; a helper still short of its count
    // then is asked to stop and hands over what it saw.
    const std::vector<HookRecord> records = FinishHookHelper(helper, 2000);
    PostMessageW(run.Window, WM_CLOSE, 0, 0);
    const DWORD exitCode = FinishTool(run, 10000);
    const bool drewThroughDirect3D = LogShowsSwapChain(run.Folder);

    // Each W key-down belongs to the last press written at or before the hook saw it; a press with
    // none was lost, a second one for the same press is a repeat.
    std::vector<long long> keyDownTimes(pressTimes.size(), -1);
    int repeats = 0, stray = 0, keyUps = 0;
    for (const HookRecord& record : records) {
        if (record.Scan != 0x11) continue;
        if ((record.Flags & LLKHF_UP) != 0) {
            ++keyUps;
            continue;
        }
        const size_t after = static_cast<size_t>(
            std::upper_bound(pressTimes.begin(), pressTimes.end(), record.Microseconds) - pressTimes.begin());
        if (after == 0) {
            ++stray;
        } else if (keyDownTimes[after - 1] >= 0) {
            ++repeats;
        } else {
            keyDownTimes[after - 1] = record.Microseconds;
        }
    }
    // When the tool's pad reads first saw each press (the first read answering button 0 after it).
    std::vector<long long> seenTimes(pressTimes.size(), -1);
    std::vector<char> releaseSeen(pressTimes.size(), 0);   // the release after the press was read
    long long longestGap = 0;
    std::vector<long long> gapAfter(pressTimes.size(), 0);   // longest read gap traced after the press
    {
        const std::string text = ReadWholeFile(trace);
        size_t at = 0, previousAfter = 0;
        while (at < text.size()) {
            long long time = 0, gap = 0;
            unsigned user = 0, buttons = 0;
            if (sscanf(text.c_str() + at, "%lld %u %x %lld", &time, &user, &buttons, &gap) == 4 && user == 0) {
                const size_t after = static_cast<size_t>(
                    std::upper_bound(pressTimes.begin(), pressTimes.end(), time) - pressTimes.begin());
                if (after > 0 && (buttons & 1) && seenTimes[after - 1] < 0) seenTimes[after - 1] = time;
                if (after > 0 && !(buttons & 1) && time >= releaseTimes[after - 1]) releaseSeen[after - 1] = 1;
                // A line's gap covers the reads since the line before it; the first line after the
                // first press also covers the hook helper's start, so it does not count.
                if (after > 0 && previousAfter > 0) {
                    longestGap = std::max(longestGap, gap);
                    gapAfter[after - 1] = std::max(gapAfter[after - 1], gap);
                }
                previousAfter = after;
            }
            const size_t end = text.find('\n', at);
            at = end == std::string::npos ? text.size() : end + 1;
        }
    }
    std::vector<double> latencies, readLatencies;
    std::string lost;
    for (size_t i = 0; i < pressTimes.size(); ++i) {
        if (seenTimes[i] >= 0) readLatencies.push_back((seenTimes[i] - pressTimes[i]) / 1000.0);
        if (keyDownTimes[i] >= 0) {
            latencies.push_back((keyDownTimes[i] - pressTimes[i]) / 1000.0);
        } else if (lost.size() < 300) {
            char line[128];
            const long long gap = std::max(gapAfter[i], i + 1 < gapAfter.size() ? gapAfter[i + 1] : 0);
            snprintf(line, sizeof(line), " #%zu (held %.1f ms, written in %.1f ms, %s, reads %.1f ms apart)", i,
                     (releaseTimes[i] - pressTimes[i]) / 1000.0, (pressWritten[i] - pressTimes[i]) / 1000.0,
                     seenTimes[i] >= 0                   ? "read by the tool"
                     : i > 0 && !releaseSeen[i - 1] ? "the release before it was never read"
                                                     : "never read by the tool",
                     gap / 1000.0);
            lost += line;
        }
    }
    printf("%-11s %3d fps: drawn %s%s\n", direct3D ? "Direct3D 11" : "no device", fps,
           drewThroughDirect3D ? "through Direct3D 11" : "without a device (software screen through GDI)",
           converting ? "" : "; the run button never showed the conversion on");
    printf("         %zu of %d presses seen, latency median %.2f ms, 99th percentile %.2f ms (frame %.2f ms)\n",
           latencies.size(), presses, Percentile(latencies, 0.5), Percentile(latencies, 0.99), 1000.0 / fps);
    printf("         the tool's pad reads saw %zu presses, %.2f ms after the press (median); longest time between "
           "two reads %.1f ms\n", readLatencies.size(), Percentile(readLatencies, 0.5), longestGap / 1000.0);
    printf("         key events: %zu, key-ups %d, repeated key-downs %d, key-downs before the first press %d\n",
           records.size(), keyUps, repeats, stray);
    if (!lost.empty()) printf("         lost:%s\n", lost.c_str());
    printf("         tool CPU time per second (%s): %.2f%% of one core converting idle, %.2f%% while pressing; exit %lu\n",
           hostStat.empty() ? "GetProcessTimes" : "all its threads, as the host counts them", idleCpuShare * 100,
           busyCpuShare * 100, exitCode);
    if (!hostStat.empty()) printf("         busiest threads converting idle: %s\n", idleThreads.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? atoi(argv[1]) : 300;
    const char* const onlyRoad = argc > 2 ? argv[2] : nullptr;   // "nodevice" or "d3d11"
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
        if (onlyRoad != nullptr && strcmp(onlyRoad, road ? "d3d11" : "nodevice") != 0) continue;
        RunAtRate(build, 1, 60, presses, road);
        RunAtRate(build, 4, 144, presses, road);
    }
    return 0;
}
