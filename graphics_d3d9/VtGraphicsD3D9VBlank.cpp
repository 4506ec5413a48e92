// DirectDraw 7 vertical-blank wait: the object's creation through COM, the refresh-interval measurement,
// the local wait of the present and the counted wait. A wait that cannot see the display (no object, a
// WaitForVerticalBlank that returns at once, a blank status that never changes) paces by time at the
// refresh interval, so it neither spins nor hangs.
// Stands on COM through the system function table, the performance counter, the message pump, the
// window module and the log.
#include "graphics_d3d9/VtGraphicsD3D9VBlank.h"

#include <windows.h>
#include <ddraw.h>

#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

D3D9VBlankStateRecord D3D9VBlankState = {nullptr, -1, 0, 0, 0, 0, 0, 0, 0};

namespace {

D3D9VBlankStateRecord& State = D3D9VBlankState;

const GUID DirectDraw7ClassId = {0x3C305196, 0x50DB, 0x11D3, {0x9C, 0xFE, 0x00, 0xC0, 0x4F, 0xD9, 0x30, 0xC5}};
const GUID DirectDraw7InterfaceId = {0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

int64_t Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t Frequency() {
    if (State.Frequency <= 0) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        State.Frequency = frequency.QuadPart > 0 ? frequency.QuadPart : 1000;
    }
    return State.Frequency;
}

int64_t Milliseconds(int64_t milliseconds) { return milliseconds * Frequency() / 1000; }

void WaitForBlank() {
    State.Waits++;
    State.DirectDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
}

bool InBlank() {
    State.StatusPolls++;
    BOOL inBlank = FALSE;
    State.DirectDraw->GetVerticalBlankStatus(&inBlank);
    return inBlank != FALSE;
}

// The interval the waits work with: the measured one, else the refresh rate's.
int64_t Interval() { return State.RefreshInterval > 0 ? State.RefreshInterval : D3D9Call_DDraw_RefreshRateInterval(); }

// The next blank by the clock: one interval after the last one, or now when there was none yet or the
// caller fell a whole interval behind (the grid then starts again from now).
int64_t NextTimedBlank(int64_t now) {
    if (State.LastVBlank == 0) return now;
    const int64_t next = State.LastVBlank + Interval();
    return now - next >= Interval() ? now : next;
}

// One blank by the clock; with `pump`, messages are processed while waiting and a non-zero result of the
// processing ends the wait early with that result.
int WaitTimedBlank(bool pump) {
    const int64_t next = NextTimedBlank(Now());
    for (;;) {
        if (pump) {
            const int result = System_PollMessagesNoLock();
            if (result != 0) return result;
        }
        if (Now() >= next) break;
        Sleep(1);
    }
    State.LastVBlank = next;
    return 0;
}

// Polls the blank status until it equals `inBlank`, processing messages between polls with `pump`; gives
// up after two intervals (a status that never changes). 1 when the status was seen, 0 on time-out, or the
// processing's non-zero result.
int PollStatus(bool inBlank, bool pump, int64_t deadline) {
    for (;;) {
        if (pump) {
            const int result = System_PollMessagesNoLock();
            if (result != 0) return result;
        }
        if (InBlank() == inBlank) return 1;
        if (Now() >= deadline) return 0;
    }
}

}  // namespace

int64_t D3D9Call_DDraw_RefreshRateInterval() {
    int rate = GraphicsScreenState.RefreshRate;
    if (rate <= 0) {
        DEVMODEW mode = {};
        mode.dmSize = sizeof(mode);
        if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1)
            rate = (int)mode.dmDisplayFrequency;
    }
    if (rate <= 1) rate = 60;
    return Frequency() / rate;
}

int D3D9Call_DDraw_Create() {
    D3D9Call_DDraw_Release();
    Log_AddTextShiftJIS("DirectDraw オブジェクトの取得を行います....  ");
    WinAPI_EnsureLoaded();
    IDirectDraw7* object = nullptr;
    if (WinAPITable.CoCreateInstance == nullptr ||
        WinAPITable.CoCreateInstance(DirectDraw7ClassId, nullptr, 23, DirectDraw7InterfaceId, (void**)&object) != S_OK ||
        object == nullptr) {
        Log_AddTextUTF16WithError(0x1020001, L"オブジェクトの取得に失敗しました\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    Log_AddTextShiftJIS("引き続き初期化処理... ");
    if (object->Initialize(nullptr) != DD_OK) {
        Log_AddTextUTF16WithError(0x1020002, L"DirectDrawオブジェクトの初期化に失敗しました\n");
        object->Release();
        return -1;
    }
    Log_AddTextShiftJIS("初期化に成功しました\n");
    object->SetCooperativeLevel(Window_GetMainHandle(), D3D9Settings.FpuPreserve ? DDSCL_NORMAL | DDSCL_FPUPRESERVE
                                                                                 : DDSCL_NORMAL);
    State.DirectDraw = object;
    State.WaitBlocks = 0;
    if (D3D9Settings.DesktopComposition == 2) Window_SetDwmComposition(0);
    return 0;
}

int D3D9Call_DDraw_Release() {
    if (State.DirectDraw != nullptr) State.DirectDraw->Release();
    State.DirectDraw = nullptr;
    State.WaitBlocks = 0;
    return 0;
}

void* D3D9Call_DDraw_Get() { return State.DirectDraw; }

void D3D9Call_DDraw_MeasureRefreshInterval() {
    State.RefreshInterval = -1;
    State.Measured = 0;
    State.WaitBlocks = 0;
    State.MeasureWaits = 0;
    if (State.DirectDraw != nullptr) {
        const int64_t tolerance = Milliseconds(1);
        // A wait shorter than this on every try does not wait for the display at all.
        const int64_t blocking = Frequency() / 4000;
        WaitForBlank();
        int64_t previous = Now();
        int64_t previousInterval = 0, sum = 0, waited = 0;
        int accepted = 0, shortWaits = 0;
        for (int i = 0; i < 60 && accepted < 10; ++i) {
            const int64_t start = Now();
            WaitForBlank();
            const int64_t now = Now();
            State.MeasureWaits++;
            waited += now - start;
            shortWaits = now - start < blocking ? shortWaits + 1 : 0;
            if (shortWaits >= 3) break;
            const int64_t interval = now - previous;
            previous = now;
            const int64_t difference = interval > previousInterval ? interval - previousInterval : previousInterval - interval;
            if (difference < tolerance) {
                sum += interval;
                ++accepted;
            } else {
                sum = 0;
                accepted = 0;
            }
            previousInterval = interval;
            Sleep(5);
        }
        State.WaitBlocks = shortWaits < 3 && State.MeasureWaits > 0 && waited / State.MeasureWaits >= blocking;
        if (State.WaitBlocks && accepted >= 10) {
            State.RefreshInterval = sum / accepted;
            State.Measured = 1;
        }
    }
    // Intervals that never agreed, or waits that measured only the sleeps between them: the known
    // refresh rate stands in.
    if (State.RefreshInterval <= 0) State.RefreshInterval = D3D9Call_DDraw_RefreshRateInterval();
    D3D9Call_DDraw_SleepUntilVBlank();
}

void D3D9Call_DDraw_SleepUntilVBlank() {
    if (State.DirectDraw == nullptr || !State.WaitBlocks) {
        const int64_t now = Now();
        const int64_t next = NextTimedBlank(now);
        Sleep(0);
        while (Now() < next) Sleep(1);
        State.LastVBlank = next;
        return;
    }
    const int64_t threshold = State.RefreshInterval > 0 ? State.RefreshInterval - Milliseconds(3) : Milliseconds(4);
    if (Now() - State.LastVBlank >= threshold) {
        WaitForBlank();
        State.LastVBlank = Now();
        Sleep(0);
        return;
    }
    Sleep(0);
    while (Now() - State.LastVBlank < threshold) Sleep(1);
    WaitForBlank();
    State.LastVBlank = Now();
}

int D3D9Call_DDraw_WaitVBlankCount(int count) {
    if (count == 1) {
        if (State.DirectDraw == nullptr) return WaitTimedBlank(false) != 0 ? -1 : 0;
        const int64_t deadline = Now() + 2 * Interval();
        if (PollStatus(false, false, deadline) == 0 || PollStatus(true, false, deadline) == 0) WaitTimedBlank(false);
        return 0;
    }
    if (!Window.ActiveFlag) Window_WaitWhileInactive();
    if (count < 0) return 0;
    if (count == 0) {
        if (State.DirectDraw == nullptr) return WaitTimedBlank(true) < 0 ? -1 : 0;
        PollStatus(true, true, Now() + 2 * Interval());
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        int result;
        if (State.DirectDraw == nullptr) {
            result = WaitTimedBlank(true);
        } else {
            const int64_t deadline = Now() + 2 * Interval();
            result = PollStatus(false, true, deadline);
            if (result == 1 || result == 0) result = PollStatus(true, true, deadline);
            if (result == 0) result = WaitTimedBlank(true);
            if (result == 1) result = 0;
        }
        if (result != 0) return result < 0 ? -1 : 0;
        if (System_PollMessagesNoLock() < 0) return -1;
    }
    return 0;
}

int Graphics_D3D9_WaitVSync(int count) { return D3D9Call_DDraw_WaitVBlankCount(count); }

}  // namespace Vantrel
