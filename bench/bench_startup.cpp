// Start-up and end of the library as the tool makes them: InitializeLibrary with the tool's settings,
// a few frames, then TerminateLibrary, several rounds in one process. Prints per round the start-up
// time, the time from the window's close ("ウインドウを閉じようとしています") to its destruction
// ("ウインドウが破棄されようとしています") read from the log's millisecond stamps, and the whole end.
// Run after scripts/test.sh built everything: scripts/wine-run.sh build/bench_startup.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"
#include "tests/system/LogReading.h"

using namespace Vantrel;

namespace {

// The millisecond stamp of the log entry that holds `text` (UTF-8 bytes), -1 when missing.
long StampOf(const std::string& log, const char8_t* text)
{
    const size_t at = log.rfind(reinterpret_cast<const char*>(text));
    if (at == std::string::npos) return -1;
    size_t lineStart = log.rfind('\n', at);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    return std::strtol(log.c_str() + lineStart, nullptr, 10);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // Kept loaded across the rounds: Wine's XInput libraries freed at a library end while their
    // device thread still runs would make that thread run unloaded code (a program starts once).
    for (const wchar_t* name : {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll"}) LoadLibraryW(name);
    std::vector<double> starts, closes, ends;
    for (int round = 0; round < rounds; ++round) {
        SetScreenResolution(860, 560, 32, 60);
        ChangeWindowMode(1);
        SetWaitVSyncEnable(0);
        SetRunWhileInactive(1);
        SetAllowMultipleInstances(1);
        SetWindowCloseEnabled(0);  // the tool's system.data forbids the close box
        const double beforeStart = static_cast<double>(GetTickCount());
        if (InitializeLibrary() != 0) {
            std::printf("InitializeLibrary failed\n");
            return 1;
        }
        const double started = static_cast<double>(GetTickCount());
        for (int frame = 0; frame < 10; ++frame) PollMessages();
        const double beforeEnd = static_cast<double>(GetTickCount());
        TerminateLibrary();
        const double ended = static_cast<double>(GetTickCount());
        const std::string log = LogReading::ReadLog();
        const long closing = StampOf(log, u8"ウインドウを閉じようとしています");
        const long destroying = StampOf(log, u8"ウインドウが破棄されようとしています");
        starts.push_back(started - beforeStart);
        closes.push_back(closing >= 0 && destroying >= 0 ? static_cast<double>(destroying - closing) : -1);
        ends.push_back(ended - beforeEnd);
        std::printf("round %d: start-up %.1f ms, close to destroy %.0f ms, end %.1f ms\n", round + 1, starts.back(),
                    closes.back(), ends.back());
    }
    std::printf("median: start-up %.1f ms, close to destroy %.0f ms, end %.1f ms\n", Median(starts), Median(closes),
                Median(ends));
    return 0;
}
