// The tool's pages on the Direct3D 11 device at 60 frames per second: the tool starts as qelvar.exe
// starts it (in a scratch folder), then each page, chosen by a click on its tab (or sub-tab), is run
// for two seconds of frames, first steady (nothing changes, as in most frames of the tool) and then
// drawn every frame: the tab bar and the page marked for redrawing before each frame (as a hover or
// a click marks them), so that they are drawn again and the layers composed anew.
// Per frame it prints the whole frame's time, the time inside Direct3D 11 calls (summed by the call
// layer), the present (IDXGISwapChain::Present) and our code: the rest, with the part of it spent
// drawing (before the present step), and the immediate-context calls. Goal: at most 0.2 ms of our
// code per frame. With the argument "calls" it also lists the context calls of a drawn frame by kind.
// Run after scripts/test.sh built everything: scripts/wine-run.sh build/bench_d3d11pages.exe [calls]
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/AppMain.h"
#include "app/DevicePage.h"
#include "app/SettingsPage.h"
#include "app/Tabs.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;

namespace {

constexpr int Frames = 120;
constexpr double FrameSeconds = 1.0 / 60.0;
constexpr int PageOriginX = 120;   // the page layer's place in the window

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

// One frame's parts, in milliseconds.
struct FrameTimes {
    double Total = 0;          // the click state, tabs and pages, composing and the present step
    double Calls = 0;          // inside Direct3D calls, but the swap chain's present
    double Present = 0;        // IDXGISwapChain::Present
    double Ours = 0;           // the rest, less the timing's own reads of the counter
    double OursDrawing = 0;    // of which before the present step
    uint32_t ContextCalls = 0;
};

// What one read of the performance counter costs (seconds); a timed call makes two, about one of
// which falls outside the call.
double CounterRead = 0;

uint32_t CountContextCalls()
{
    uint32_t count = 0;
    for (uint32_t calls : D3D11CallState.ContextCalls) count += calls;
    return count;
}

// Waits for the next frame's time, pumping the window's messages as the tool's loop does.
void WaitUntil(double deadline)
{
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0) return;
        PollMessages();
        if (left > 0.002) Sleep(1);
    }
}

// The tab bar and the page shown marked for redrawing (the settings page draws its sub-tab column
// and marks its sub-page in turn).
void MarkForRedrawing()
{
    Qelvar::TabBarRedraw = 1;
    switch (Qelvar::CurrentTab) {
    case Qelvar::TabHome: Qelvar::HomePage.Redraw = 1; break;
    case Qelvar::TabDevice: Qelvar::DevicePage.Redraw = 1; break;
    case Qelvar::TabSettings: Qelvar::SettingsPage.Redraw = 1; break;
    case Qelvar::TabRun: Qelvar::RunPage.Redraw = 1; break;
    default: Qelvar::ExitPage.Redraw = 1; break;
    }
}

// One frame of the tool: the click state (a press at the point given, or none; the pointer rests
// at the window's corner), the tabs and pages, the layers composed, then the present.
FrameTimes RunToolFrame(const POINT* press, bool redraw)
{
    if (press != nullptr) Qelvar::UpdateClickState(0, press->x, press->y);   // released since the last frame
    D3D11Call_ResetTiming();
    D3D11Call_ResetContextCallCounts();
    const double start = Now();
    if (press != nullptr)
        Qelvar::UpdateClickState(1, press->x, press->y);
    else
        Qelvar::UpdateClickState(0, 1, 1);
    if (redraw) MarkForRedrawing();
    Qelvar::UpdateTabs();
    Qelvar::ComposeFrame();
    const double drawn = Now();
    const int64_t drawingTicks = D3D11CallTiming.CallTicks;
    const uint32_t drawingCalls = D3D11CallTiming.Calls;
    Qelvar::AppMain_Present();
    const double presented = Now();

    FrameTimes times;
    const double timingCost = CounterRead * 1000.0 * D3D11CallTiming.Calls;
    times.Total = (presented - start) * 1000.0;
    times.Calls = D3D11Call_TicksToMilliseconds(D3D11CallTiming.CallTicks);
    times.Present = D3D11Call_TicksToMilliseconds(D3D11CallTiming.PresentTicks);
    times.Ours = times.Total - times.Calls - times.Present - timingCost;
    times.OursDrawing = (drawn - start) * 1000.0 - D3D11Call_TicksToMilliseconds(drawingTicks) -
                        CounterRead * 1000.0 * drawingCalls;
    times.ContextCalls = CountContextCalls();
    return times;
}

double Median(std::vector<FrameTimes>& frames, double FrameTimes::*part)
{
    std::vector<double> values;
    for (const FrameTimes& frame : frames) values.push_back(frame.*part);
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void PrintRow(const char* name, std::vector<FrameTimes>& frames)
{
    double contextCalls = 0;
    for (const FrameTimes& frame : frames) contextCalls += frame.ContextCalls;
    printf("  %-26s %7.3f %9.3f %8.3f %9.3f %9.3f %7.1f\n", name, Median(frames, &FrameTimes::Total),
           Median(frames, &FrameTimes::Calls), Median(frames, &FrameTimes::Present), Median(frames, &FrameTimes::Ours),
           Median(frames, &FrameTimes::OursDrawing), contextCalls / frames.size());
}

// The context calls of the latest frame by kind.
void PrintContextCalls()
{
    static const char* const names[D3D11CALL_COUNT] = {
#define VT_BENCH_CALL_NAME(name) #name,
        VT_D3D11_CONTEXT_CALLS(VT_BENCH_CALL_NAME)
#undef VT_BENCH_CALL_NAME
    };
    printf("   ");
    for (int call = 0; call < D3D11CALL_COUNT; ++call)
        if (D3D11CallState.ContextCalls[call] != 0) printf(" %s %u", names[call], D3D11CallState.ContextCalls[call]);
    printf("\n");
}

// Frames of one page: the clicks show it (not counted), then the run of frames, drawn each frame or not.
void MeasurePage(const char* name, POINT tab, const POINT* subTab, bool drawEachFrame, bool listCalls)
{
    RunToolFrame(&tab, false);   // not counted: the page shown (and what its first drawing needs made)
    if (subTab != nullptr) RunToolFrame(subTab, false);
    RunToolFrame(nullptr, drawEachFrame);
    std::vector<FrameTimes> frames;
    double deadline = Now() + FrameSeconds;
    for (int frame = 0; frame < Frames; ++frame) {
        WaitUntil(deadline);
        deadline += FrameSeconds;
        frames.push_back(RunToolFrame(nullptr, drawEachFrame));
    }
    char label[64];
    snprintf(label, sizeof(label), "%s%s", name, drawEachFrame ? " (drawn)" : "");
    PrintRow(label, frames);
    if (listCalls && drawEachFrame) PrintContextCalls();
}

POINT TabCentre(int tab)
{
    const Qelvar::Rect& rect = Qelvar::TabRect[tab];
    return {rect.X + rect.Width / 2, rect.Y + rect.Height / 2};
}

POINT SubTabCentre(int subTab)
{
    const Qelvar::Rect& rect = Qelvar::SettingsPage.SubTabRect[subTab];
    return {rect.X + rect.Width / 2 + PageOriginX, rect.Y + rect.Height / 2};
}

// The tool's files (setting files, "save") go into a scratch folder of their own.
bool EnterScratchFolder()
{
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder =
        std::wstring(temporary) + L"qelvar-bench-pages-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return SetCurrentDirectoryW(folder.c_str()) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool listCalls = argc > 1 && strcmp(argv[1], "calls") == 0;
    if (!EnterScratchFolder()) {
        printf("the scratch folder could not be made\n");
        return 1;
    }
    Graphics_D3D11_SetDeviceEnabled(1);
    Qelvar::RunStaticInitialisers();
    if (Qelvar::StartApplication() != 0 || GraphicsApi != GRAPHICS_API_D3D11) {
        printf("the tool did not start on Direct3D 11\n");
        return 1;
    }
    D3D11Call_SetTiming(1);
    // What the timing itself costs: a timed call reads the counter twice.
    const double calibrationStart = Now();
    for (int i = 0; i < 100000; ++i) Now();
    CounterRead = (Now() - calibrationStart) / 100000;

    printf("The tool's pages on Direct3D 11 at 60 frames per second, %d frames each; ms per frame (medians)\n", Frames);
    printf("  %-26s %7s %9s %8s %9s %9s %7s\n", "page", "total", "D3D calls", "Present", "our code", "(drawing)",
           "calls");
    struct Page {
        const char* Name;
        int Tab;
        int SubTab;   // -1: none
    };
    const Page pages[] = {
        {"home", Qelvar::TabHome, -1},
        {"device", Qelvar::TabDevice, -1},
        {"settings: load", Qelvar::TabSettings, Qelvar::SubTabLoad},
        {"settings: stick", Qelvar::TabSettings, Qelvar::SubTabStick},
        {"settings: buttons", Qelvar::TabSettings, Qelvar::SubTabButtons},
        {"settings: POV", Qelvar::TabSettings, Qelvar::SubTabPov},
        {"settings: save", Qelvar::TabSettings, Qelvar::SubTabSave},
        {"run", Qelvar::TabRun, -1},
        {"exit", Qelvar::TabExit, -1},
    };
    printf("  (a read of the performance counter, %.3f us a timed call, is taken off our code)\n", CounterRead * 1e6);
    for (const Page& page : pages) {
        const POINT subTab = page.SubTab >= 0 ? SubTabCentre(page.SubTab) : POINT{0, 0};
        for (bool drawn : {false, true})
            MeasurePage(page.Name, TabCentre(page.Tab), page.SubTab >= 0 ? &subTab : nullptr, drawn, listCalls);
    }
    D3D11Call_SetTiming(0);
    TerminateLibrary();
    return 0;
}
