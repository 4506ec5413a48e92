// Library start-up and shut-down behind the call gate, the library's core state record (initialised
// flag, end request, last error) and the per-frame message pump. Stands on every module it starts.
#pragma once

#include <cstdint>

namespace Vantrel {

struct LibraryCoreState {
    int32_t Initialised;
    int32_t Initialising;
    int32_t NoWindow;
    int32_t NoGraphics;
    int32_t NoSound;
    int32_t NoInput;
    int32_t EndRequested;
    int32_t AsyncLoad;
    int32_t LastErrorCode;
    wchar_t LastErrorText[4096];
};

extern LibraryCoreState LibraryCore;

// Public entry points (each runs inside the library call gate).
int InitializeLibrary();
int TerminateLibrary();
int PollMessages();

int System_InitBody();
int System_EndBody();
int System_RequestEnd();
int System_ClearEndRequest();
int System_IsEndRequested();
int EnableAsyncLoad(int flag);
int IsAsyncLoadEnabled();
int System_SetLastError(int code, const wchar_t* text);
// Memory blocks still allocated when the last shut-down ended the memory layer (every module had
// ended by then, so anything counted is a leak; Memory_DumpAll has logged each block).
int32_t System_GetLeftoverBlockCount();

// The pump's body without the gate (shut-down, window end, waiting loops of other modules).
int System_PollMessagesNoLock();

// 1 while the pump runs the key-input per-frame processing (a pump call made from there returns 0).
extern int32_t KeyInputPumpGuard;

}  // namespace Vantrel
