// Key-input text fields: the table of 256 fields, the character buffer, the per-frame editing of the
// active field and its drawing with the default font.
// Stands on memory, the log, code pages, the pump, the clipboard, keyboard queries, fonts, drawing
// and the IME module.
#include "system/VtKeyInput.h"

#include <cstring>
#include <utility>

#include "font/VtFont.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImageStart.h"
#include "system/VtIme.h"
#include "system/VtInput.h"
#include "system/VtSystem.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"

namespace Vantrel {

KeyInputStateRecord KeyInputState;

namespace {

const wchar_t LineFeed = 0x0A;

bool KeyInput_IsHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool KeyInput_IsLow(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The nine editing codes of key-down messages are never surrogate halves (they lie below 0x20).
int KeyInput_BufferCount() {
    return (KeyInputState.WriteIndex - KeyInputState.ReadIndex + KeyInputCharBufferUnits) % KeyInputCharBufferUnits;
}

// Units of the character that ends at pos (1, or 2 for a surrogate pair).
int KeyInput_UnitsBefore(const KeyInputRecord* field, int pos) {
    if (pos >= 2 && KeyInput_IsLow(field->Text[pos - 1]) && KeyInput_IsHigh(field->Text[pos - 2])) return 2;
    return 1;
}

// Units of the character that starts at pos.
int KeyInput_UnitsAt(const KeyInputRecord* field, int pos) {
    if (pos + 1 < field->Length && KeyInput_IsHigh(field->Text[pos]) && KeyInput_IsLow(field->Text[pos + 1])) return 2;
    return 1;
}

// Code units of `units` UTF-16 units in the current character code.
int KeyInput_CodeUnits(const wchar_t* text, int units) {
    if (units <= 0) return 0;
    const CodePageId page = CharCode_GetNarrowPage();
    const int bytes = CharCode_ConvertString(text, units, CodePage_Utf16LE, nullptr, 0x7FFFFFFF, page);
    const int unitSize = CharCode_GetUnitSize(page);
    if (bytes <= 0 || unitSize <= 0) return 0;
    return bytes / unitSize - 1;
}

bool KeyInput_HasSelection(const KeyInputRecord* field) { return field->SelectAnchor != -1 && field->SelectEnd != -1; }

void KeyInput_ClearSelection(KeyInputRecord* field) {
    field->SelectAnchor = -1;
    field->SelectEnd = -1;
}

// With Shift the selection runs from the anchor (set to the position before the move when missing)
// to the cursor; without Shift it is cleared.
void KeyInput_FollowSelection(KeyInputRecord* field, int before, bool shift) {
    if (shift) {
        if (field->SelectAnchor == -1) field->SelectAnchor = before;
        field->SelectEnd = field->Cursor;
    } else {
        KeyInput_ClearSelection(field);
    }
}

int KeyInput_LineStart(const KeyInputRecord* field, int pos) {
    while (pos > 0 && field->Text[pos - 1] != LineFeed) --pos;
    return pos;
}

int KeyInput_LineEnd(const KeyInputRecord* field, int pos) {
    while (pos < field->Length && field->Text[pos] != LineFeed) ++pos;
    return pos;
}

// Characters between two positions.
int KeyInput_CharsBetween(const KeyInputRecord* field, int from, int to) {
    int count = 0;
    while (from < to) {
        from += KeyInput_UnitsAt(field, from);
        ++count;
    }
    return count;
}

// From pos forward by up to count characters, stopping at a line feed or the end.
int KeyInput_ForwardInLine(const KeyInputRecord* field, int pos, int count) {
    while (count > 0 && pos < field->Length && field->Text[pos] != LineFeed) {
        pos += KeyInput_UnitsAt(field, pos);
        --count;
    }
    return pos;
}

void KeyInput_RemoveUnits(KeyInputRecord* field, int pos, int units) {
    memmove(field->Text + pos, field->Text + pos + units, (field->Length - pos - units + 1) * sizeof(wchar_t));
    field->Length -= units;
}

// Puts the units from..to on the clipboard; false when the temporary block cannot be had.
bool KeyInput_CopyRange(const KeyInputRecord* field, int from, int to) {
    const int units = to - from;
    wchar_t* block = static_cast<wchar_t*>(Memory_Allocate((uint32_t)(units + 1) * sizeof(wchar_t), "VtKeyInput", __LINE__));
    if (block == nullptr) return false;
    memcpy(block, field->Text + from, units * sizeof(wchar_t));
    block[units] = 0;
    Clipboard_WriteText(block);
    Memory_Free(block);
    return true;
}

void KeyInput_CopySelection(const KeyInputRecord* field) {
    if (!KeyInput_HasSelection(field)) return;
    int lo = field->SelectAnchor, hi = field->SelectEnd;
    if (lo > hi) std::swap(lo, hi);
    KeyInput_CopyRange(field, lo, hi);
}

void KeyInput_Cut(KeyInputRecord* field) {
    KeyInput_CopySelection(field);
    KeyInput_DeleteSelection(field);
}

// Insertion rules: selection first, then the digit, byte-width and length limits.
void KeyInput_Insert(KeyInputRecord* field, const wchar_t* character, int units) {
    KeyInput_DeleteSelection(field);
    const wchar_t first = character[0];
    if (field->DigitsOnly) {
        bool pass = first >= L'0' && first <= L'9';
        if (first == L'-') pass = field->Cursor == 0;
        if (first == L'.') pass = wcschr(field->Text, L'.') == nullptr;
        if (!pass) return;
    }
    const int cb = KeyInput_CodeUnits(character, units);
    int tb = KeyInput_CodeUnits(field->Text, field->Length);
    if (field->SingleByteOnly && cb != 1) return;
    if (field->DoubleByteOnly && cb == 1) return;
    // A full field gives up its last character for the new one. The text buffer holds Maximum units,
    // so the units are checked too (a character without a code in the current page counts 0 bytes).
    while (tb + cb > field->Maximum || field->Cursor + units > field->Maximum || field->Length + units > field->Maximum) {
        if (field->Length == 0) return;  // cannot fit even alone: dropped
        const int lastUnits = KeyInput_UnitsBefore(field, field->Length);
        const int start = field->Length - lastUnits;
        tb -= KeyInput_CodeUnits(field->Text + start, lastUnits);
        field->Length = start;
        field->Text[start] = 0;
        if (field->Cursor > field->Length) field->Cursor = field->Length;
    }
    memmove(field->Text + field->Cursor + units, field->Text + field->Cursor,
            (field->Length - field->Cursor + 1) * sizeof(wchar_t));
    memcpy(field->Text + field->Cursor, character, units * sizeof(wchar_t));
    field->Cursor += units;
    field->Length += units;
}

// Pasted text only ever inserts: it goes into the field by the insertion rules right away and never
// passes through the character buffer, where its control units would act as commands (a pasted 0x16
// would paste again for ever, a pasted 0x08 or 0x1B would edit or cancel). A line end becomes a line
// feed in a multi-line field and is left out of a single-line one; other control units are dropped.
// A paste takes at most as many units as the character buffer holds.
void KeyInput_Paste(KeyInputRecord* field) {
    const int bytes = Clipboard_ReadText(nullptr, 0);
    if (bytes <= 0) return;
    wchar_t* text = static_cast<wchar_t*>(Memory_Allocate((uint32_t)bytes + sizeof(wchar_t), "VtKeyInput", __LINE__));
    if (text == nullptr) return;
    if (Clipboard_ReadText(text, bytes + (int)sizeof(wchar_t)) == 0) {
        int taken = 0;
        for (int i = 0; text[i] != 0 && taken < KeyInputCharBufferUnits - 1; ++i, ++taken) {
            wchar_t unit = text[i];
            if (unit == 0x0D || unit == 0x0A) {
                if (!field->MultiLine) continue;
                unit = LineFeed;
            } else if (unit < 0x20 || unit == 0x7F) {
                continue;
            }
            if (KeyInput_IsHigh(unit) && KeyInput_IsLow(text[i + 1])) {
                KeyInput_Insert(field, text + i, 2);
                ++i;
                ++taken;
                continue;
            }
            KeyInput_Insert(field, &unit, 1);
        }
    }
    Memory_Free(text);
}

void KeyInput_Finish(KeyInputRecord* field) {
    field->Finished = 1;
    KeyInputState.ActiveHandle = -1;
}

// One character of the buffer acting on the active field.
void KeyInput_Act(KeyInputRecord* field, const wchar_t* character, int units) {
    const bool shift = IsKeyDown(0x2A) || IsKeyDown(0x36);
    const bool ctrl = IsKeyDown(0x1D) || IsKeyDown(0x9D);
    const int before = field->Cursor;
    switch (character[0]) {
        case 0x09:
            return;
        case 0x03:
            KeyInput_CopySelection(field);
            return;
        case 0x18:
            if (KeyInput_HasSelection(field)) KeyInput_Cut(field);
            return;
        case 0x16:
            KeyInput_Paste(field);
            return;
        case 0x0D:
            if (field->MultiLine) {
                const wchar_t lf = LineFeed;
                KeyInput_Insert(field, &lf, 1);
            } else {
                KeyInput_Finish(field);
            }
            return;
        case 0x1B:
            if (field->CancelAllowed) {
                field->Cancelled = 1;
                KeyInput_Finish(field);
            }
            return;
        case 0x08: {
            if (KeyInput_HasSelection(field)) {
                KeyInput_DeleteSelection(field);
                return;
            }
            if (field->Cursor == 0) return;
            const int back = KeyInput_UnitsBefore(field, field->Cursor);
            const bool lineFeed = field->Text[field->Cursor - back] == LineFeed;
            field->Cursor -= back;
            KeyInput_RemoveUnits(field, field->Cursor, back);
            if (lineFeed && field->FirstShown > 0 && field->Cursor <= field->FirstShown)
                field->FirstShown = KeyInput_LineStart(field, field->Cursor);
            return;
        }
        case 0x10:
            if (!KeyInput_HasSelection(field)) {
                if (field->Cursor < field->Length)
                    KeyInput_RemoveUnits(field, field->Cursor, KeyInput_UnitsAt(field, field->Cursor));
            } else if (shift) {
                KeyInput_Cut(field);
            } else {
                KeyInput_DeleteSelection(field);
            }
            return;
        case 0x1D: {
            if (field->Cursor == 0) return;
            const int back = KeyInput_UnitsBefore(field, field->Cursor);
            field->Cursor -= back;
            if (field->Text[field->Cursor] == LineFeed && field->Cursor <= field->FirstShown)
                field->FirstShown = KeyInput_LineStart(field, field->Cursor);
            KeyInput_FollowSelection(field, before, shift);
            return;
        }
        case 0x1C:
            if (field->Cursor >= field->Length) return;
            field->Cursor += KeyInput_UnitsAt(field, field->Cursor);
            KeyInput_FollowSelection(field, before, shift);
            return;
        case 0x1A:
        case 0x19: {
            const bool home = character[0] == 0x1A;
            if (ctrl) {
                field->Cursor = home ? 0 : field->Length;
                if (shift) {
                    if (field->SelectAnchor == -1) field->SelectAnchor = before;
                    field->SelectEnd = field->Cursor;
                } else {
                    KeyInput_ClearSelection(field);
                }
                return;
            }
            if (home) {
                if (field->Cursor == 0) return;
                field->Cursor = KeyInput_LineStart(field, field->Cursor);
            } else {
                field->Cursor = KeyInput_LineEnd(field, field->Cursor);
            }
            KeyInput_FollowSelection(field, before, shift);
            return;
        }
        case 0x1E: {
            if (field->Cursor == 0) return;
            if (field->Text[field->Cursor - 1] == LineFeed) {
                field->Cursor = KeyInput_LineStart(field, field->Cursor - 1);
            } else {
                const int lineStart = KeyInput_LineStart(field, field->Cursor);
                if (lineStart == 0) {
                    if (!shift) KeyInput_ClearSelection(field);
                    return;
                }
                const int column = KeyInput_CharsBetween(field, lineStart, field->Cursor);
                field->Cursor = KeyInput_ForwardInLine(field, KeyInput_LineStart(field, lineStart - 1), column);
            }
            if (field->FirstShown > field->Cursor) field->FirstShown = field->Cursor;
            KeyInput_FollowSelection(field, before, shift);
            return;
        }
        case 0x1F: {
            if (field->Cursor >= field->Length) return;
            const int column = KeyInput_CharsBetween(field, KeyInput_LineStart(field, field->Cursor), field->Cursor);
            const int lineEnd = KeyInput_LineEnd(field, field->Cursor);
            if (lineEnd >= field->Length) {
                if (!shift) KeyInput_ClearSelection(field);
                return;
            }
            field->Cursor = KeyInput_ForwardInLine(field, lineEnd + 1, column);
            KeyInput_FollowSelection(field, before, shift);
            return;
        }
        default:
            KeyInput_Insert(field, character, units);
            return;
    }
}

bool KeyInput_IsValid(int handle) { return KeyInput_GetRecord(handle) != nullptr; }

}  // namespace

KeyInputRecord* KeyInput_GetRecord(int handle) {
    if (handle < 0) return nullptr;
    if (((handle >> 26) & 0x1F) != 9) return nullptr;
    const int index = handle & 0x3FFFF;
    if (index >= KeyInputFieldCount) return nullptr;
    KeyInputRecord* field = &KeyInputState.Fields[index];
    if (!field->InUse || field->Serial != ((handle >> 18) & 0xFF)) return nullptr;
    return field;
}

KeyInputRecord* KeyInput_GetActiveRecord() { return KeyInput_GetRecord(KeyInputState.ActiveHandle); }

void KeyInput_SetCursorVisible() {
    KeyInputState.CursorVisible = 1;
    KeyInputState.CursorTime = GetMillisecondCount();
}

int KeyInput_DeleteSelection(KeyInputRecord* field) {
    if (!KeyInput_HasSelection(field)) return 0;
    int lo = field->SelectAnchor, hi = field->SelectEnd;
    if (lo > hi) std::swap(lo, hi);
    if (lo < 0) lo = 0;
    if (hi > field->Length) hi = field->Length;
    if (lo > hi) lo = hi;
    field->Cursor = lo;
    KeyInput_RemoveUnits(field, lo, hi - lo);
    KeyInput_ClearSelection(field);
    if (field->Length < field->FirstShown) field->FirstShown = field->Length;
    return 0;
}

int KeyInput_StockChar(wchar_t character) {
    const int next = (KeyInputState.WriteIndex + 1) % KeyInputCharBufferUnits;
    if (next == KeyInputState.ReadIndex) return -1;
    KeyInputState.CharBuffer[KeyInputState.WriteIndex] = character;
    KeyInputState.WriteIndex = next;
    return 0;
}

int KeyInput_IsCharBufferFull() {
    return (KeyInputState.WriteIndex + 1) % KeyInputCharBufferUnits == KeyInputState.ReadIndex ? 1 : 0;
}

int KeyInput_TakeChar(wchar_t* out, int consume) {
    const int count = KeyInput_BufferCount();
    if (count == 0) return 0;
    const int read = KeyInputState.ReadIndex;
    const wchar_t unit = KeyInputState.CharBuffer[read];
    int units = 1;
    out[0] = unit;
    if (KeyInput_IsHigh(unit)) {
        if (count < 2) return 0;  // its second half has not arrived yet
        out[1] = KeyInputState.CharBuffer[(read + 1) % KeyInputCharBufferUnits];
        units = 2;
    }
    if (consume) KeyInputState.ReadIndex = (read + units) % KeyInputCharBufferUnits;
    return units;
}

int KeyInput_FlushChars() {
    int result = System_PollMessagesNoLock();
    wchar_t discarded[2];
    while (result == 0 && KeyInput_BufferCount() > 0) {
        if (KeyInput_TakeChar(discarded, 1) == 0) break;  // a lone high surrogate: emptied below
        result = System_PollMessagesNoLock();
    }
    KeyInputState.ReadIndex = 0;
    KeyInputState.WriteIndex = 0;
    HWND window = Window.MainWindow;
    if (window != nullptr && ImeState.Attached && ImeState.OpenStatus && WinAPITable.ImmGetContext != nullptr) {
        ImeState.Composition[0] = 0;
        HIMC context = WinAPITable.ImmGetContext(window);
        if (context != nullptr) {
            if (WinAPITable.ImmNotifyIME != nullptr) WinAPITable.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
            WinAPITable.ImmReleaseContext(window, context);
        }
    }
    return 0;
}

int CreateKeyInput(int maximum, int cancelAllowed, int singleByteOnly, int digitsOnly, int doubleByteOnly,
                   int multiLine) {
    WinAPI_EnsureLoaded();
    if (maximum <= 0 || maximum > 0x0FFFFFFE) return -1;
    int index = 0;
    while (index < KeyInputFieldCount && KeyInputState.Fields[index].InUse) ++index;
    if (index == KeyInputFieldCount) return -1;
    KeyInputRecord* field = &KeyInputState.Fields[index];
    memset(field, 0, sizeof(*field));
    wchar_t* block = static_cast<wchar_t*>(
        Memory_AllocateZeroed((uint32_t)(maximum + 1) * 4, "VtKeyInput", __LINE__));
    if (block == nullptr) return -1;
    field->Text = block;
    field->ConvertArea = block + maximum + 1;
    field->ConvertAreaSize = maximum * 2 + 2;
    field->Maximum = maximum;
    field->CancelAllowed = cancelAllowed;
    field->SingleByteOnly = singleByteOnly;
    field->DigitsOnly = digitsOnly;
    field->DoubleByteOnly = doubleByteOnly;
    field->MultiLine = multiLine;
    field->InUse = 1;
    field->Serial = KeyInputState.SerialCounter;
    KeyInputState.SerialCounter = KeyInputState.SerialCounter >= 254 ? 0 : KeyInputState.SerialCounter + 1;
    KeyInput_ClearSelection(field);
    const int serial = field->Serial;
    ImeState.Permitted = singleByteOnly ? 0 : 1;
    Ime_RefreshEnabled(0);
    KeyInput_FlushChars();
    return index | ((serial | 0x900) << 18);
}

int ActivateKeyInput(int handle) {
    WinAPI_EnsureLoaded();
    if (handle >= 0 && !KeyInput_IsValid(handle)) return -1;
    KeyInput_SetCursorVisible();
    KeyInputRecord* field = KeyInput_GetRecord(handle);
    if (handle == KeyInputState.ActiveHandle && field != nullptr && !field->Finished) return 0;
    if (KeyInputState.ActiveHandle != -1) {
        KeyInputRecord* active = KeyInput_GetActiveRecord();
        if (active == nullptr) return -1;
        KeyInput_ClearSelection(active);
    }
    if (handle < 0) {
        KeyInputState.ActiveHandle = -1;
        ImeState.Permitted = 0;
    } else {
        KeyInput_FlushChars();
        KeyInputState.ActiveHandle = handle;
        field->Finished = 0;
        field->Cancelled = 0;
        ImeState.Permitted = field->SingleByteOnly ? 0 : 1;
    }
    Ime_RefreshEnabled(0);
    return 0;
}

int GetKeyInputStatus(int handle) {
    const KeyInputRecord* field = KeyInput_GetRecord(handle);
    if (field == nullptr) return -1;
    if (field->Cancelled) return 2;
    return field->Finished ? 1 : 0;
}

int CopyKeyInputText(char* buffer, int handle) {
    const KeyInputRecord* field = KeyInput_GetRecord(handle);
    if (field == nullptr || buffer == nullptr) return -1;
    const CodePageId page = CharCode_GetNarrowPage();
    // The caller's buffer holds Maximum + 1 code units: the text and its terminator.
    CharCode_ConvertString(field->Text, -1, CodePage_Utf16LE, buffer, (field->Maximum + 1) * CharCode_GetUnitSize(page), page);
    return 0;
}

int SetKeyInputColor(int kind, unsigned int color) {
    if (kind < 0 || kind >= KeyInputColorKindCount) return -1;
    KeyInputState.Colors[kind] = color;
    if (kind == 7 || kind == 12 || kind == 18) KeyInputState.ColorSet[kind] = 1;
    return 0;
}

int KeyInput_ProcessFrame() {
    WinAPI_EnsureLoaded();
    if (ImeState.ReopenStep != 0) Ime_RunReopenSteps();
    if (KeyInputState.ActiveHandle == -1) return 0;
    KeyInputRecord* field = KeyInput_GetActiveRecord();
    if (field == nullptr) return -1;
    while (!field->Finished) {
        wchar_t character[2];
        const int units = KeyInput_TakeChar(character, 1);
        if (units == 0) break;
        KeyInput_SetCursorVisible();
        KeyInput_Act(field, character, units);
    }
    return 0;
}

int KeyInput_DeleteAll() {
    for (KeyInputRecord& field : KeyInputState.Fields) {
        if (!field.InUse) continue;
        if (field.Text != nullptr) Memory_Free(field.Text);
        memset(&field, 0, sizeof(field));
    }
    KeyInputState.ActiveHandle = -1;
    return 0;
}

int KeyInput_InitializeCharBuffer() {
    WinAPI_EnsureLoaded();
    Log_AddTextUTF16(L"文字コードバッファの初期化を行います... ");
    // Fields left from an earlier run of the library give their text blocks back first.
    KeyInput_DeleteAll();
    memset(&KeyInputState, 0, sizeof(KeyInputState));
    Ime_ResetState();
    static const unsigned char defaults[KeyInputColorKindCount][3] = {
        {255, 255, 255}, {0, 0, 0},     {255, 255, 255}, {0, 0, 0},     {128, 128, 128}, {255, 255, 255},
        {0, 0, 0},       {0, 0, 0},     {255, 255, 0},   {0, 255, 255}, {255, 255, 255}, {0, 0, 0},
        {0, 0, 0},       {255, 0, 0},   {255, 255, 255}, {0, 0, 0},     {255, 0, 0},     {0, 0, 0},
        {0, 0, 0},       {255, 255, 0}, {0, 0, 0},       {255, 255, 20}, {0, 0, 0},
    };
    for (int kind = 0; kind < KeyInputColorKindCount; ++kind)
        KeyInputState.Colors[kind] = MakeColorCode(defaults[kind][0], defaults[kind][1], defaults[kind][2]);
    Ime_TextServices_Setup();
    KeyInputState.ActiveHandle = -1;
    KeyInput_SetCursorVisible();
    Log_AddTextUTF16(L"完了しました\n");
    return 0;
}

int KeyInput_TerminateCharBuffer() {
    Ime_TextServices_Remove();
    // The memory layer ends with the library: a candidate list still held would be left behind.
    Ime_FreeCandidateList();
    return 0;
}

// ---- drawing ----

int KeyInput_LayoutBase(int x, int y, KeyInputLayoutBase* out) {
    out->FontHandle = Font_GetDefaultHandle();
    out->FontSize = GetFontCreateSizeToHandle(out->FontHandle);
    if (out->FontSize <= 0) return -1;  // no font to lay out with
    out->LineHeight = out->FontSize + (out->FontSize / 10) * 3;
    RECT area{};
    GetDrawAreaRect(&area);
    if (area.right - area.left <= 0 || area.bottom - area.top <= 0) return -1;
    out->AreaLeft = area.left;
    out->AreaTop = area.top;
    out->AreaRight = area.right;
    out->AreaBottom = area.bottom;
    out->X0 = x > area.left ? x : area.left;
    out->Y0 = y > area.top ? y : area.top;
    const int width = area.right - area.left;
    while (out->X0 > area.right) {
        out->X0 -= width;
        out->Y0 += out->LineHeight;
    }
    out->Rows = (area.bottom - out->Y0) / out->LineHeight;
    if (out->Rows < 1) out->Rows = 1;
    return 0;
}

namespace {

int KeyInput_CharWidth(const KeyInputLayoutBase& base, const wchar_t* character, int units) {
    const int width = GetTextWidthToHandleW(character, units, -1, base.FontHandle, 0);
    return width > 0 ? width : 0;
}

// Lays the text from..to out from the start point; visit(pos, units, x, y, width) sees each character
// that is not a line feed. Returns the place after the last character in (x, y) and the top of the
// line of the last character laid out in lastLineTop.
template <typename Visit>
void KeyInput_DrawWrappedText(const KeyInputLayoutBase& base, const KeyInputRecord* field, int from, int to, int* x,
                              int* y, Visit visit) {
    int cx = base.X0, cy = base.Y0;
    for (int pos = from; pos < to;) {
        const int units = KeyInput_UnitsAt(field, pos);
        if (field->Text[pos] == LineFeed) {
            cx = base.X0;
            cy += base.LineHeight;
            pos += units;
            continue;
        }
        const int width = KeyInput_CharWidth(base, field->Text + pos, units);
        if (cx + width > base.AreaRight && cx > base.X0) {
            cx = base.X0;
            cy += base.LineHeight;
        }
        visit(pos, units, cx, cy, width);
        cx += width;
        pos += units;
    }
    *x = cx;
    *y = cy;
}

void KeyInput_DrawWrappedBox(const KeyInputLayoutBase& base, int x, int y, int width, unsigned int color) {
    while (width > 0) {
        const int room = base.AreaRight - x;
        const int part = room < width ? (room > 0 ? room : width) : width;
        DrawRectangle(x, y, x + part, y + base.FontSize, color, 1, 1);
        width -= part;
        x = base.X0;
        y += base.LineHeight;
    }
}

}  // namespace

int DrawKeyInputText(int x, int y, int handle, int drawCandidates) {
    KeyInputRecord* field = KeyInput_GetRecord(handle);
    if (field == nullptr || field->Finished) return -1;
    KeyInputLayoutBase base{};
    if (KeyInput_LayoutBase(x, y, &base) != 0) return -1;
    const auto none = [](int, int, int, int, int) {};
    int endX = 0, endY = 0;
    KeyInput_DrawWrappedText(base, field, 0, field->Length, &endX, &endY, none);
    if (endY < base.AreaBottom - base.LineHeight) {
        field->FirstShown = 0;
    } else if (field->Cursor < field->FirstShown) {
        field->FirstShown = field->Cursor;
    } else {
        for (;;) {
            int cx = 0, cy = 0;
            KeyInput_DrawWrappedText(base, field, field->FirstShown, field->Cursor, &cx, &cy, none);
            const bool visible = base.Rows == 1 ? cy == base.Y0 : cy <= base.AreaBottom - base.LineHeight;
            if (visible || field->FirstShown >= field->Cursor) break;
            field->FirstShown += KeyInput_UnitsAt(field, field->FirstShown);
        }
    }
    const bool active = handle == KeyInputState.ActiveHandle;
    int cx = 0, cy = 0;
    KeyInput_DrawWrappedText(base, field, field->FirstShown, field->Cursor, &cx, &cy, none);
    if (active && KeyInputState.CursorVisible) KeyInput_DrawWrappedBox(base, cx, cy, 2, KeyInputState.Colors[2]);
    int lo = -1, hi = -1;
    if (KeyInput_HasSelection(field)) {
        lo = field->SelectAnchor < field->SelectEnd ? field->SelectAnchor : field->SelectEnd;
        hi = field->SelectAnchor < field->SelectEnd ? field->SelectEnd : field->SelectAnchor;
    }
    const uint32_t* colors = KeyInputState.Colors;
    int textX = 0, textY = 0;
    KeyInput_DrawWrappedText(base, field, field->FirstShown, field->Length, &textX, &textY,
                             [&](int pos, int units, int px, int py, int width) {
                                 if (py > base.AreaBottom) return;
                                 if (pos >= lo && pos < hi) {
                                     DrawRectangle(px, py, px + width, py + base.FontSize, colors[5], 1, 1);
                                     DrawTextToHandleW(px, py, field->Text + pos, units, colors[3], base.FontHandle,
                                                       colors[4], 0);
                                 } else {
                                     DrawTextToHandleW(px, py, field->Text + pos, units, colors[0], base.FontHandle,
                                                       colors[1], 0);
                                 }
                             });
    if (active) Ime_DrawComposition(cx, cy, 5, drawCandidates);
    return 0;
}

}  // namespace Vantrel
