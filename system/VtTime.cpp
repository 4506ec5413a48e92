// The library's clocks, the local date, clipboard text and the error exit.
// Stands on the multimedia timer, the performance counter, the clipboard, the log and the
// library's shut-down sequence.
#include "system/VtTime.h"
#include "foundation/VtWinAPI.h"

#include <windows.h>
#include <mmsystem.h>
#include <stdarg.h>
#include <string.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"

namespace Vantrel {

// The shut-down sequence of the system module; absent in programs that leave the system module out.
int System_EndBody() __attribute__((weak));
int Window_LibraryCallGate_Release() __attribute__((weak));

TimeStateRecord TimeState;

void Time_SetPerfCounter(int usePerfCounter, int64_t perfFrequency)
{
    TimeState.PerfFrequency = perfFrequency;
    TimeState.UsePerfCounter = usePerfCounter != 0 && perfFrequency != 0;
}

// 64 x 64 -> 128-bit product and 128 / 64 -> 64-bit quotient (low 64 bits), without a 128-bit type.
static void Time_Multiply128(uint64_t a, uint64_t b, uint64_t* high, uint64_t* low)
{
    const uint64_t aLow = (uint32_t)a, aHigh = a >> 32, bLow = (uint32_t)b, bHigh = b >> 32;
    const uint64_t ll = aLow * bLow, lh = aLow * bHigh, hl = aHigh * bLow, hh = aHigh * bHigh;
    const uint64_t middle = (ll >> 32) + (uint32_t)lh + (uint32_t)hl;
    *low = (middle << 32) | (uint32_t)ll;
    *high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
}

static uint64_t Time_Divide128(uint64_t high, uint64_t low, uint64_t divisor)
{
    if (divisor == 0) return ~0ull;
    uint64_t quotient = 0, remainder = 0;
    for (int bit = 127; bit >= 0; bit--) {
        const uint64_t carry = remainder >> 63;
        remainder = (remainder << 1) | ((bit >= 64 ? high >> (bit - 64) : low >> bit) & 1);
        if (carry != 0 || remainder >= divisor) {
            remainder -= divisor;
            if (bit < 64) quotient |= 1ull << bit;
        }
    }
    return quotient;
}

static uint64_t Time_MulDiv(uint64_t a, uint64_t b, uint64_t divisor)
{
    uint64_t high, low;
    Time_Multiply128(a, b, &high, &low);
    return Time_Divide128(high, low, divisor);
}

int32_t GetMillisecondCount()
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.WinmmDLL == nullptr || WinAPITable.timeGetTime == nullptr) return -1;
    return (int32_t)(WinAPITable.timeGetTime() & 0x7FFFFFFF);
}

uint64_t GetMicrosecondCount()
{
    WinAPI_EnsureLoaded();
    if (TimeState.UsePerfCounter) {
        LARGE_INTEGER counter;
        WinAPITable.QueryPerformanceCounter(&counter);
        return Time_MulDiv((uint64_t)counter.QuadPart, 1000000, (uint64_t)TimeState.PerfFrequency);
    }
    if (WinAPITable.WinmmDLL == nullptr || WinAPITable.timeGetTime == nullptr) return ~0ull;
    return (uint64_t)WinAPITable.timeGetTime() * 1000;
}

uint64_t GetPerformanceCount()
{
    WinAPI_EnsureLoaded();
    if (TimeState.UsePerfCounter) {
        LARGE_INTEGER counter;
        WinAPITable.QueryPerformanceCounter(&counter);
        return (uint64_t)counter.QuadPart;
    }
    if (WinAPITable.WinmmDLL == nullptr || WinAPITable.timeGetTime == nullptr) return 0;
    return WinAPITable.timeGetTime();
}

uint64_t ConvertMsToPerfCount(int64_t milliseconds)
{
    uint64_t high, low;
    Time_Multiply128((uint64_t)milliseconds, (uint64_t)TimeState.PerfFrequency, &high, &low);
    if (high == 0) return low / 1000;
    return Time_Divide128(high, low, 1000);
}

uint64_t ConvertPerfCountToUs(int64_t ticks)
{
    const uint64_t frequency = (uint64_t)TimeState.PerfFrequency;
    if (frequency == 0) return 0;
    if (((uint64_t)ticks >> 32) < 256) return (uint64_t)ticks * 1000000 / frequency;
    return Time_MulDiv((uint64_t)ticks, 1000000, frequency);
}

int64_t ConvertPerfCountToNs(int64_t ticks)
{
    const uint64_t frequency = (uint64_t)TimeState.PerfFrequency;
    if (frequency == 0) return 0;
    if (((uint64_t)ticks >> 32) == 0) return (int64_t)((uint64_t)ticks * 1000000000 / frequency);
    return (int64_t)Time_MulDiv((uint64_t)ticks, 1000000000, frequency);
}

int GetLocalDateTime(DateTimeRecord* out)
{
    WinAPI_EnsureLoaded();
    SYSTEMTIME time;
    WinAPITable.GetLocalTime(&time);
    out->Year = time.wYear;
    out->Month = time.wMonth;
    out->Day = time.wDay;
    out->Hour = time.wHour;
    out->Minute = time.wMinute;
    out->Second = time.wSecond;
    return 0;
}

void File_FileTimeToLocalDate(uint64_t fileTime, DateTimeRecord* out)
{
    WinAPI_EnsureLoaded();
    FILETIME utc, local;
    utc.dwLowDateTime = (DWORD)fileTime;
    utc.dwHighDateTime = (DWORD)(fileTime >> 32);
    WinAPITable.FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME time;
    WinAPITable.FileTimeToSystemTime(&local, &time);
    out->Year = time.wYear;
    out->Month = time.wMonth;
    out->Day = time.wDay;
    out->Hour = time.wHour;
    out->Minute = time.wMinute;
    out->Second = time.wSecond;
}

// The window the clipboard is opened for: the main window once it exists.
HWND Window_GetMainHandle() __attribute__((weak));

static HWND Time_ClipboardOwner()
{
    return &Window_GetMainHandle != nullptr ? Window_GetMainHandle() : nullptr;
}

int System_ClipboardReadW(wchar_t* buffer, int bufferBytes)
{
    WinAPI_EnsureLoaded();
    if (!WinAPITable.OpenClipboard(Time_ClipboardOwner())) return -1;
    if (!WinAPITable.IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        WinAPITable.CloseClipboard();
        return -1;
    }
    HANDLE data = WinAPITable.GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) {
        WinAPITable.CloseClipboard();
        return -1;
    }
    if (buffer == nullptr) {
        const int size = (int)WinAPITable.GlobalSize(data);
        WinAPITable.CloseClipboard();
        return size;
    }
    const wchar_t* text = (const wchar_t*)WinAPITable.GlobalLock(data);
    if (text == nullptr) {
        WinAPITable.CloseClipboard();
        return -1;
    }
    // The block may hold no terminator within its size: never read past it.
    const size_t blockUnits = WinAPITable.GlobalSize(data) / sizeof(wchar_t);
    size_t length = 0;
    while (length < blockUnits && text[length] != 0) length++;
    if (bufferBytes >= 0) {
        const size_t capacity = (size_t)bufferBytes / sizeof(wchar_t);
        if (capacity > 0) {
            if (length > capacity - 1) length = capacity - 1;
            memcpy(buffer, text, length * sizeof(wchar_t));
            buffer[length] = 0;
        }
    } else {
        memcpy(buffer, text, length * sizeof(wchar_t));
        buffer[length] = 0;
    }
    WinAPITable.GlobalUnlock(data);
    WinAPITable.CloseClipboard();
    return 0;
}

int System_ClipboardWriteW(const wchar_t* text)
{
    WinAPI_EnsureLoaded();
    const size_t length = wcslen(text);
    // -1 when the text did not reach the clipboard: no block, the clipboard not opened, or refused.
    HGLOBAL block = WinAPITable.GlobalAlloc(GMEM_FIXED, (length + 1) * sizeof(wchar_t));
    if (block == nullptr) return -1;
    memcpy((void*)block, text, (length + 1) * sizeof(wchar_t));
    if (!WinAPITable.OpenClipboard(Time_ClipboardOwner())) {
        WinAPITable.GlobalFree(block);
        return -1;
    }
    int result = 0;
    WinAPITable.EmptyClipboard();
    if (WinAPITable.SetClipboardData(CF_UNICODETEXT, block) == nullptr) {
        WinAPITable.GlobalFree(block);
        result = -1;
    }
    WinAPITable.CloseClipboard();
    return result;
}

int Clipboard_ReadText(wchar_t* buffer, int bufferBytes) { return System_ClipboardReadW(buffer, bufferBytes); }

int Clipboard_WriteText(const wchar_t* text) { return System_ClipboardWriteW(text); }

void System_ErrorExit(const wchar_t* text)
{
    if (text != nullptr) Log_AddTextUTF16(text);
    Log_AddTextUTF16(L"\n");
    if (&System_EndBody != nullptr) System_EndBody();
    if (&Window_LibraryCallGate_Release != nullptr) Window_LibraryCallGate_Release();
    WinAPI_EnsureLoaded();
    WinAPITable.ExitProcess((UINT)-1);
    __builtin_unreachable();
}

int System_ErrorExitFormat(const wchar_t* format, ...)
{
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    CharCode_FormatV(CodePage_Utf16LE, 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), buffer, 1024, format, args);
    va_end(args);
    const CodePageId widePage = CharCode_GetWidePage();
    if (widePage == CodePage_Utf16LE) System_ErrorExit(buffer);
    // Another wide page: the text is handed over in that page.
    const int length = CharCode_StringLength(CodePage_Utf16LE, buffer);
    char local[512 * 2];
    char* converted = local;
    int bytes = (int)sizeof(local);
    if (length + 16 > 512) {
        bytes = (length + 16) * 4;
        converted = (char*)Memory_Allocate((uint32_t)bytes, "VtTime", __LINE__);
        if (converted == nullptr) return -1;
    }
    CharCode_ConvertString(buffer, -1, CodePage_Utf16LE, converted, bytes, widePage);
    System_ErrorExit((const wchar_t*)converted);
}

}  // namespace Vantrel
