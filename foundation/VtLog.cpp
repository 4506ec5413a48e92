// The library log: composes entries (time stamp, indent tabs, CR LF line ends), appends them to the
// log file as UTF-8 and sends them to the debugger output; and the on-screen log panel.
// Stands on the critical sections, the memory layer, the code pages and formatter, the millisecond
// clock, the text-API wrappers, the file layer's current directory, and the graphics and font
// services for the panel.
#include "foundation/VtLog.h"

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "font/VtFont.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "system/VtTime.h"

namespace Vantrel {

// Services of neighbouring modules that a program may leave out; absent ones are skipped.
int System_SetLastError(int code, const wchar_t* text) __attribute__((weak));
HWND Window_GetMainHandle() __attribute__((weak));
int Handle_Delete(int32_t handle, int loaderContext, int delay) __attribute__((weak));

LogStateRecord LogState;
LogScreenStateRecord LogScreenState = {0, 16, -1, 1, 0, 0, 0, 0, 0, {}, {}};

// Set when the run's log file was ended: a later entry reopens that file instead of starting anew.
static int Log_FileEnded = 0;

// ---------------------------------------------------------------------------------------------
// Text helpers

static int Log_Length(const wchar_t* text)
{
    int length = 0;
    while (text[length] != 0) length++;
    return length;
}

static int Log_CodePageLength(const char* text)
{
    int length = 0;
    while (text[length] != 0) length++;
    return length;
}

// Converts 8-bit text of a code page to the wide page through a stack buffer of 512 units or a
// block; text already in the wide page goes straight to the writer.
static int Log_AddConverted(int libraryMessage, const char* text, CodePageId codePage)
{
    const CodePageId widePage = CharCode_GetWidePage();
    if (codePage == widePage) return Log_AddTextCore(libraryMessage, 0, (const wchar_t*)text);
    const int length = Log_CodePageLength(text);
    wchar_t local[512];
    wchar_t* buffer = local;
    int bytes = (int)sizeof(local);
    if (length + 16 > 512) {
        bytes = 2 * length + 32;
        buffer = (wchar_t*)Memory_Allocate((uint32_t)bytes, "VtLog", __LINE__);
        if (buffer == nullptr) return -1;
    }
    if (CharCode_ConvertString(text, length, codePage, buffer, bytes, widePage) <= 0) buffer[0] = 0;
    const int result = Log_AddTextCore(libraryMessage, 0, buffer);
    if (buffer != local) Memory_Free(buffer);
    return result;
}

// ---------------------------------------------------------------------------------------------
// File side

// Opens the log file for appending; on the narrow system functions the path is converted into the
// caller's buffer.
static int LogWin_OpenAppend(const wchar_t* path, HANDLE* file, char* work, int workBytes)
{
    *file = WinAPI_CreateFileInBuffer(work, workBytes, path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (*file == INVALID_HANDLE_VALUE || *file == nullptr) return -1;
    WinAPITable.SetFilePointer(*file, 0, nullptr, FILE_END);
    return 0;
}

// Appends an entry with a conversion buffer given by the caller (taken before the log lock, so the
// log never asks the memory layer for memory while it holds its lock). The buffer serves in turn the
// narrow path, the UTF-8 entry and the narrow entry for the debugger: at least 4096 bytes and three
// per unit of the entry.
static int LogWin_AppendTextBuffered(const wchar_t* path, const wchar_t* text, char* work, int workBytes)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.Kernel32DLL == nullptr) return -1;
    HANDLE file;
    if (LogWin_OpenAppend(path, &file, work, workBytes) == 0) {
        const int units = Log_Length(text);
        const int bytes = CharCode_ConvertString(text, units, CharCode_GetWidePage(), work, workBytes, CodePage_Utf8);
        if (bytes > 1) {
            DWORD done = 0;
            WinAPITable.WriteFile(file, work, (DWORD)(bytes - 1), &done, nullptr);
        }
        WinAPITable.CloseHandle(file);
    }
    WinAPI_OutputDebugStringInBuffer(work, workBytes, text);
    return 0;
}

// Bytes of the work buffer for an entry of `units` units.
static int LogWin_WorkBytes(int units) { return 3 * units + 8 > 4096 ? 3 * units + 8 : 4096; }

int LogWin_AppendText(const wchar_t* path, const wchar_t* text)
{
    const int units = Log_Length(text);
    char local[4096];
    char* buffer = local;
    const int bytes = LogWin_WorkBytes(units);
    if (bytes > (int)sizeof(local)) {
        buffer = (char*)Memory_Allocate((uint32_t)bytes, "VtLogWin", __LINE__);
        if (buffer == nullptr) return -1;
    }
    const int result = LogWin_AppendTextBuffered(path, text, buffer, bytes);
    if (buffer != local) Memory_Free(buffer);
    return result;
}

int LogWin_CreateFile(const wchar_t* path)
{
    WinAPI_EnsureLoaded();
    // Called before the log lock exists, possibly from a memory dump: the narrow path stays on the stack.
    char work[4096];
    WinAPI_DeleteFileInBuffer(work, (int32_t)sizeof(work), path);
    HANDLE file = WinAPI_CreateFileInBuffer(work, (int32_t)sizeof(work), path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) return 0;
    static const unsigned char bom[3] = {0xEF, 0xBB, 0xBF};
    DWORD done = 0;
    WinAPITable.WriteFile(file, bom, 3, &done, nullptr);
    WinAPITable.CloseHandle(file);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// File control

int File_Access_GetCurrentDir(wchar_t* buffer, uint32_t bufferBytes) __attribute__((weak));

void Log_File_BuildPath(wchar_t* buffer, int bufferBytes)
{
    const int units = bufferBytes / (int)sizeof(wchar_t);
    if (units <= 0) return;
    if (LogState.Folder[0] == 0) {
        wchar_t folder[1536] = {0};
        if (&File_Access_GetCurrentDir != nullptr) File_Access_GetCurrentDir(folder, (uint32_t)sizeof(folder));
        else {
            WinAPI_EnsureLoaded();
            WinAPI_GetCurrentDirectory(1536, folder);
        }
        folder[1535] = 0;
        memcpy(LogState.Folder, folder, sizeof(folder));
    }
    int length = 0;
    for (; length < units - 1 && LogState.Folder[length] != 0; length++) buffer[length] = LogState.Folder[length];
    if (length > 0 && buffer[length - 1] != L'\\' && buffer[length - 1] != L'/' && length < units - 1) buffer[length++] = L'\\';
    for (int i = 0; length < units - 1 && LogState.FileName[i] != 0; i++) buffer[length++] = LogState.FileName[i];
    buffer[length] = 0;
}

// Two threads whose first entries meet must not both start the file (and its lock).
static volatile LONG Log_CreateGuard = 0;

int Log_File_Create()
{
    if (LogState.Started || LogState.LogOff) return 0;
    WinAPI_EnsureLoaded();
    while (InterlockedCompareExchange(&Log_CreateGuard, 1, 0) != 0) WinAPITable.Sleep(0);
    if (LogState.Started) {
        InterlockedExchange(&Log_CreateGuard, 0);
        return 0;
    }
    wchar_t name[256];
    if (LogState.UserFileName[0] != 0) {
        memcpy(name, LogState.UserFileName, sizeof(name));
        name[255] = 0;
    } else if (LogState.DatedFileName) {
        DateTimeRecord now;
        GetLocalDateTime(&now);
        CharCode_Format(CodePage_Utf16LE, 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), name, 256,
                        L"Log%d_%d_%d_%d_%d_%d.txt", now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second);
    } else {
        wcscpy(name, L"Log.txt");
    }
    // After the log was ended, a late entry goes on in the same file rather than replacing it.
    const int reopen = Log_FileEnded && wcscmp(name, LogState.FileName) == 0;
    memcpy(LogState.FileName, name, sizeof(name));
    wchar_t path[1024];
    Log_File_BuildPath(path, (int)sizeof(path));
    CriticalSection_Create(&LogState.LogLock);
    if (!reopen) {
        LogWin_CreateFile(path);
        LogState.IndentLevel = 0;
        LogState.Continuation = 0;
        LogState.StartTime = GetMillisecondCount();
    }
    Log_FileEnded = 0;
    LogState.Started = 1;
    InterlockedExchange(&Log_CreateGuard, 0);
    return 0;
}

int Log_File_Shutdown()
{
    if (!LogState.Started) return 0;
    LogState.Started = 0;
    Log_FileEnded = 1;
    CriticalSection_Delete(&LogState.LogLock);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Entries

int Log_AddTextCore(int libraryMessage, int errorCode, const wchar_t* text)
{
    const int result = errorCode != 0 ? -1 : 0;
    if (errorCode != 0 && &System_SetLastError != nullptr) System_SetLastError(errorCode, text);
    if (LogState.LogOff || (libraryMessage && LogState.LibraryMessagesOff)) return result;
    if (!LogState.Started && Log_File_Create() < 0) return -1;

    // Every buffer the entry needs is taken before the log lock: the memory layer writes its dump
    // lines to the log while it holds its own lock, so the two locks are only ever taken in the
    // order memory, then log.
    const int length = Log_Length(text);
    int indent = LogState.IndentLevel;
    if (indent < 0) indent = 0;
    const int composedUnits = indent + 2 * length + 16;
    wchar_t localEntry[1024];
    char localUtf8[4096];
    wchar_t* entry = localEntry;
    char* utf8 = localUtf8;
    int utf8Bytes = LogWin_WorkBytes(composedUnits);
    void* block = nullptr;
    const int longEntry = composedUnits > 1023;
    const int longUtf8 = utf8Bytes > (int)sizeof(localUtf8);
    if (longEntry || longUtf8) {
        const uint32_t entryBytes = longEntry ? (uint32_t)composedUnits * 2 : 0;
        block = Memory_Allocate(entryBytes + (longUtf8 ? (uint32_t)utf8Bytes : 0), nullptr, -1);
        if (block == nullptr) return -1;
        if (longEntry) entry = (wchar_t*)block;
        if (longUtf8) utf8 = (char*)block + entryBytes;
    }

    CriticalSection_Enter(&LogState.LogLock, "VtLog", __LINE__);
    int position = 0;
    if (!LogState.Continuation) {
        if (!LogState.TimeStampsOff) {
            char stamp[16];
            const int count = snprintf(stamp, sizeof(stamp), "%d:", GetMillisecondCount() - LogState.StartTime);
            for (int i = 0; i < count; i++) entry[position++] = (wchar_t)stamp[i];
        }
        for (int i = 0; i < indent; i++) entry[position++] = L'\t';
    }
    // Every bare LF becomes CR LF; an LF that already follows a CR stays as it is.
    for (int i = 0; i < length; i++) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) entry[position++] = L'\r';
        entry[position++] = text[i];
    }
    entry[position] = 0;
    LogState.Continuation = position == 0 || entry[position - 1] != L'\n';

    wchar_t path[1536];
    Log_File_BuildPath(path, (int)sizeof(path));
    LogWin_AppendTextBuffered(path, entry, utf8, utf8Bytes);
    CriticalSection_Leave(&LogState.LogLock);
    if (block != nullptr) Memory_Free(block);
    return result;
}

int Log_AddTextUTF16(const wchar_t* text) { return Log_AddTextCore(1, 0, text); }

int Log_AddTextUTF16WithError(int errorCode, const wchar_t* text) { return Log_AddTextCore(1, errorCode, text); }

int Log_AddTextShiftJIS(const char* text) { return Log_AddConverted(1, text, CodePage_ShiftJis); }

int Log_AddText(const char* text) { return Log_AddConverted(0, text, CharCode_GetNarrowPage()); }

int Log_AddTextWide(const wchar_t* text) { return Log_AddTextCore(1, 0, text); }

static void Log_AppendLineEnd(wchar_t* buffer, int units)
{
    int length = Log_Length(buffer);
    if (length > units - 2) length = units - 2;
    buffer[length] = L'\n';
    buffer[length + 1] = 0;
}

// One formatted entry of at most 1024 units, ended by a line end.
static void Log_FormatLine(wchar_t (&buffer)[1024], const wchar_t* format, va_list args)
{
    CharCode_FormatV(CodePage_Utf16LE, 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), buffer, 1024, format, args);
    Log_AppendLineEnd(buffer, 1024);
}

int Log_AddFormatUTF16(const wchar_t* format, ...)
{
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    Log_FormatLine(buffer, format, args);
    va_end(args);
    return Log_AddTextUTF16(buffer);
}

int Log_AddFormatUTF16WithError(int errorCode, const wchar_t* format, ...)
{
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    Log_FormatLine(buffer, format, args);
    va_end(args);
    return Log_AddTextUTF16WithError(errorCode, buffer);
}

int Log_AddFormatShiftJIS(const char* format, ...)
{
    char buffer[2048];
    va_list args;
    va_start(args, format);
    CharCode_FormatV(CodePage_ShiftJis, 0, CodePage_ShiftJis, CharCode_GetWidePage(), buffer, 2048, format, args);
    va_end(args);
    size_t length = strlen(buffer);
    if (length > 2046) length = 2046;
    buffer[length] = '\n';
    buffer[length + 1] = 0;
    return Log_AddTextShiftJIS(buffer);
}

int Log_AddFormatWide(const wchar_t* format, ...)
{
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    CharCode_FormatV(CharCode_GetWidePage(), 1, CharCode_GetNarrowPage(), CharCode_GetWidePage(), buffer, 2048, format, args);
    va_end(args);
    Log_AppendLineEnd(buffer, 2048);
    return Log_AddTextCore(1, 0, buffer);
}

int Log_Indent_Increase()
{
    LogState.IndentLevel++;
    return 0;
}

int Log_Indent_Decrease()
{
    if (LogState.IndentLevel > 0) LogState.IndentLevel--;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// On-screen log

int Log_Screen_CanDraw()
{
    if (&Window_GetMainHandle == nullptr || Window_GetMainHandle() == nullptr) return 0;
    if (GraphicsSystemState.DeviceValid) {
        if (GraphicsApi == GRAPHICS_API_D3D11) return D3D11Call_Device_Exists();
        if (GraphicsApi == GRAPHICS_API_D3D9) return Graphics_Dispatch_DirectDraw7_Get() != nullptr ? 1 : 0;
        return 0;
    }
    return Graphics_Dispatch_DirectDraw7_Get() != nullptr ? 1 : 0;
}

int Log_Screen_Setup()
{
    if (!Log_Screen_CanDraw()) return -1;
    if (LogScreenState.Prepared) return 0;
    LogScreenState.Prepared = 1;
    LogScreenState.FontSize = 16;
    LogScreenState.FontHandle = -1;
    LogScreenState.FontNeedsCreating = 1;
    memset(LogScreenState.Lines, 0, sizeof(LogScreenState.Lines));
    memset(LogScreenState.Colors, 0, sizeof(LogScreenState.Colors));
    return 0;
}

int Log_Screen_IsEnabled() { return LogScreenState.Visible; }

int Log_Screen_CreateFont()
{
    if (!LogScreenState.FontNeedsCreating) return 0;
    FontCreateParam param;
    Font_CreateParam_Init(&param);
    const int font = CreateFontToHandleWithParam(&param, nullptr, LogScreenState.FontSize, 4, 1, -1, -1, 0, -1, 0);
    if (font != -1) {
        LogScreenState.FontHandle = font;
        SetFontDeleteFlagToHandle(font, &LogScreenState.FontNeedsCreating);
    } else {
        LogScreenState.FontHandle = -2;
    }
    LogScreenState.FontNeedsCreating = 0;
    return 0;
}

void Log_Screen_Draw()
{
    if (Log_Screen_Setup() < 0) return;
    Log_Screen_CreateFont();
    int left = LogScreenState.AreaLeft, top = LogScreenState.AreaTop;
    int width = LogScreenState.AreaRight - left, height = LogScreenState.AreaBottom - top;
    if (width <= 0 || height <= 0) {
        left = top = 0;
        GetMainScreenSize(&width, &height);
    }
    const int fontSize = LogScreenState.FontSize > 0 ? LogScreenState.FontSize : 16;
    int lines = height / fontSize;
    if (lines > LOG_SCREEN_LINE_COUNT) lines = LOG_SCREEN_LINE_COUNT;
    for (int line = 0; line < lines; line++) {
        const wchar_t* units = LogScreenState.Lines[line];
        const LogScreenColor* colors = LogScreenState.Colors[line];
        int x = left;
        int start = 0;
        while (start < LOG_SCREEN_LINE_LENGTH && units[start] != 0) {
            int end = start + 1;
            while (end < LOG_SCREEN_LINE_LENGTH && units[end] != 0 && colors[end].Text == colors[start].Text &&
                   colors[end].Edge == colors[start].Edge)
                end++;
            DrawTextToHandleW(x, top + line * fontSize, units + start, end - start, colors[start].Text,
                              LogScreenState.FontHandle, colors[start].Edge, 0);
            const int advance = GetTextWidthToHandleW(units + start, end - start, -1, LogScreenState.FontHandle, 0);
            if (advance > 0) x += advance;
            start = end;
        }
    }
}

int Log_Screen_Shutdown()
{
    if (LogScreenState.FontHandle >= 0 && &Handle_Delete != nullptr) Handle_Delete(LogScreenState.FontHandle, 0, 0);
    LogScreenState.FontHandle = -1;
    LogScreenState.FontNeedsCreating = 1;
    LogScreenState.Prepared = 0;
    return 0;
}

}  // namespace Vantrel
