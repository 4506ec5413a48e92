// DirectDraw 7 vertical-blank wait: one DirectDraw object kept only for its vertical-blank services,
// the refresh interval measured once per device set-up, the cheap local wait used when presenting
// (sleep until shortly before the expected blank, then wait for it) and the counted wait of the
// public vertical-sync wait. Where there is no object, or its wait does not really wait (Wine's returns
// at once), both waits pace by time at the refresh interval instead.
// Stands on COM through the system function table, the performance counter, the message pump, the
// window module and the log.
#pragma once

#include <stdint.h>

struct IDirectDraw7;

namespace Vantrel {

struct D3D9VBlankStateRecord {
    IDirectDraw7* DirectDraw;       // null when absent
    int64_t RefreshInterval;        // performance-counter ticks between two blanks; -1 not measured
    int64_t LastVBlank;             // counter value right after the last blank of the local wait
    int64_t Frequency;              // counter ticks per second
    int32_t WaitBlocks;             // the object's WaitForVerticalBlank was seen to wait for the blank
    int32_t Measured;               // the interval came from the display (else from the refresh rate)
    int32_t MeasureWaits;           // waits the last measurement made
    uint32_t Waits;                 // WaitForVerticalBlank calls made
    uint32_t StatusPolls;           // GetVerticalBlankStatus calls made
};
extern D3D9VBlankStateRecord D3D9VBlankState;

int D3D9Call_DDraw_Create();
int D3D9Call_DDraw_Release();
void* D3D9Call_DDraw_Get();
void D3D9Call_DDraw_MeasureRefreshInterval();
void D3D9Call_DDraw_SleepUntilVBlank();
int D3D9Call_DDraw_WaitVBlankCount(int count);
// The interval of the refresh rate the library knows (the screen's, else the desktop's, else 60 Hz), in
// counter ticks.
int64_t D3D9Call_DDraw_RefreshRateInterval();
int Graphics_D3D9_WaitVSync(int count);

}  // namespace Vantrel
