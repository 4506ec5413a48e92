// The library log: "Log.txt" in UTF-8 with a byte-order mark, one time-stamped, indented entry per
// line, each entry also sent to the debugger output; and the on-screen log panel (dormant until a
// graphics device and fonts exist). Stands on the critical sections, the memory layer, the code
// pages and formatter, the millisecond clock, the text-API wrappers and the file layer's current
// directory.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "foundation/VtThread.h"

namespace Vantrel {

constexpr int LOG_SCREEN_LINE_COUNT = 80;
constexpr int LOG_SCREEN_LINE_LENGTH = 255;

struct LogStateRecord {
    int Started;
    // Switches, 0 in normal running.
    int LogOff;
    int LibraryMessagesOff;
    int TimeStampsOff;
    int DatedFileName;
    wchar_t UserFileName[256];
    wchar_t Folder[1536];
    wchar_t FileName[256];
    int IndentLevel;
    int Continuation;
    int StartTime;
    CriticalSection LogLock;
};
extern LogStateRecord LogState;

struct LogScreenColor {
    uint32_t Text;
    uint32_t Edge;
};

struct LogScreenStateRecord {
    int Prepared;
    int FontSize;
    int FontHandle;
    int FontNeedsCreating;
    int Visible;
    int AreaLeft, AreaTop, AreaRight, AreaBottom;
    wchar_t Lines[LOG_SCREEN_LINE_COUNT][LOG_SCREEN_LINE_LENGTH];
    LogScreenColor Colors[LOG_SCREEN_LINE_COUNT][LOG_SCREEN_LINE_LENGTH];
};
extern LogScreenStateRecord LogScreenState;

// Adding entries: 0, or -1 for a non-zero error code or when the entry could not be written.
int Log_AddTextCore(int libraryMessage, int errorCode, const wchar_t* text);
int Log_AddTextUTF16(const wchar_t* text);
int Log_AddTextUTF16WithError(int errorCode, const wchar_t* text);
int Log_AddTextShiftJIS(const char* text);
int Log_AddText(const char* text);
int Log_AddTextWide(const wchar_t* text);
int Log_AddFormatUTF16(const wchar_t* format, ...);
int Log_AddFormatUTF16WithError(int errorCode, const wchar_t* format, ...);
int Log_AddFormatShiftJIS(const char* format, ...);
int Log_AddFormatWide(const wchar_t* format, ...);
int Log_Indent_Increase();
int Log_Indent_Decrease();

// File control.
int Log_File_Create();
void Log_File_BuildPath(wchar_t* buffer, int bufferBytes);
int Log_File_Shutdown();

// On-screen log.
int Log_Screen_Setup();
int Log_Screen_IsEnabled();
void Log_Screen_Draw();
int Log_Screen_CreateFont();
int Log_Screen_Shutdown();
int Log_Screen_CanDraw();

// File side (Windows).
int LogWin_CreateFile(const wchar_t* path);
int LogWin_AppendText(const wchar_t* path, const wchar_t* text);

}  // namespace Vantrel
