// The library's clocks (milliseconds, microseconds, the raw performance counter and conversions),
// the local date, UTF-16 text exchange with the clipboard and the error exit. Stands on the
// multimedia timer and the performance counter, the clipboard, the log and library shut-down.
#pragma once

#include <stdint.h>
#include <wchar.h>

namespace Vantrel {

struct DateTimeRecord {
    int32_t Year;
    int32_t Month;
    int32_t Day;
    int32_t Hour;
    int32_t Minute;
    int32_t Second;
};
static_assert(sizeof(DateTimeRecord) == 24, "date record layout");

// The clock choice made once at window start-up: the performance counter when its test found it
// finer than the multimedia timer. Set through Time_SetPerfCounter.
struct TimeStateRecord {
    int UsePerfCounter;
    int64_t PerfFrequency;
};
extern TimeStateRecord TimeState;
void Time_SetPerfCounter(int usePerfCounter, int64_t perfFrequency);

int32_t GetMillisecondCount();
uint64_t GetMicrosecondCount();
uint64_t GetPerformanceCount();
uint64_t ConvertMsToPerfCount(int64_t milliseconds);
uint64_t ConvertPerfCountToUs(int64_t ticks);
int64_t ConvertPerfCountToNs(int64_t ticks);
int GetLocalDateTime(DateTimeRecord* out);
void File_FileTimeToLocalDate(uint64_t fileTime, DateTimeRecord* out);

int Clipboard_ReadText(wchar_t* buffer, int bufferBytes);
int Clipboard_WriteText(const wchar_t* text);
int System_ClipboardReadW(wchar_t* buffer, int bufferBytes);
int System_ClipboardWriteW(const wchar_t* text);

[[noreturn]] void System_ErrorExit(const wchar_t* text);
int System_ErrorExitFormat(const wchar_t* format, ...);

}  // namespace Vantrel
