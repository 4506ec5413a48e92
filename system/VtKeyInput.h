// Key-input text fields: 256 editable single- or multi-line fields behind KeyInputHandle, the
// character buffer the window procedure and the IME fill, the per-frame editing and the drawing.
// Stands on memory, the log, code pages, the pump, the clipboard, keyboard queries, fonts and drawing.
#pragma once

#include <cstdint>

#include "system/VtSystemNeighbours.h"

namespace Vantrel {

const int KeyInputFieldCount = 256;
const int KeyInputCharBufferUnits = 1025;
const int KeyInputColorKindCount = 23;

struct KeyInputRecord {
    int32_t InUse;
    int32_t Serial;
    int32_t Finished;
    int32_t Cancelled;
    int32_t Length;
    int32_t Maximum;
    int32_t SelectAnchor;
    int32_t SelectEnd;
    int32_t FirstShown;
    int32_t Cursor;
    wchar_t* Text;
    wchar_t* ConvertArea;
    int32_t ConvertAreaSize;
    int32_t CancelAllowed;
    int32_t SingleByteOnly;
    int32_t DigitsOnly;
    int32_t DoubleByteOnly;
    int32_t MultiLine;
};

struct KeyInputStateRecord {
    KeyInputRecord Fields[KeyInputFieldCount];
    int32_t SerialCounter;
    int32_t ActiveHandle;
    int32_t CursorVisible;
    int32_t CursorTime;
    uint32_t Colors[KeyInputColorKindCount];
    int32_t ColorSet[KeyInputColorKindCount];  // in-use flags of kinds 7, 12 and 18
    wchar_t CharBuffer[KeyInputCharBufferUnits];
    int32_t ReadIndex;
    int32_t WriteIndex;
};

extern KeyInputStateRecord KeyInputState;

// Public operations.
int CreateKeyInput(int maximum, int cancelAllowed, int singleByteOnly, int digitsOnly, int doubleByteOnly,
                   int multiLine);
int ActivateKeyInput(int handle);
int GetKeyInputStatus(int handle);
int CopyKeyInputText(char* buffer, int handle);
int SetKeyInputColor(int kind, unsigned int color);
int DrawKeyInputText(int x, int y, int handle, int drawCandidates);

// For the window procedure, the IME, the pump, start-up and shut-down (declared with the window's
// neighbours: KeyInput_StockChar, KeyInput_IsCharBufferFull, KeyInput_ProcessFrame,
// KeyInput_InitializeCharBuffer, KeyInput_TerminateCharBuffer, KeyInput_DeleteAll).
int KeyInput_FlushChars();
int KeyInput_TakeChar(wchar_t* out, int consume);
// The record of a valid handle, null otherwise.
KeyInputRecord* KeyInput_GetRecord(int handle);
// The active field's record, null when none is active or its handle is stale.
KeyInputRecord* KeyInput_GetActiveRecord();
int KeyInput_DeleteSelection(KeyInputRecord* field);
void KeyInput_SetCursorVisible();
// Start point, line height and draw area shared with the IME drawing; -1 when nothing can be laid out.
struct KeyInputLayoutBase {
    int FontHandle;
    int FontSize;
    int LineHeight;
    int AreaLeft, AreaTop, AreaRight, AreaBottom;
    int X0, Y0;
    int Rows;
};
int KeyInput_LayoutBase(int x, int y, KeyInputLayoutBase* out);

}  // namespace Vantrel
