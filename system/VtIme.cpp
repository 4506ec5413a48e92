// IME entry for the key-input fields: attaching and detaching the IME, the IME window messages,
// candidate lists from IMM32 or the text-services UI-element sink, the reopen steps after activation,
// and the composition and candidate drawing at the field's cursor.
// Stands on IMM32 and TSF through the system function table, memory, the log, the pump, the key-input
// fields, fonts and drawing.
#include "system/VtIme.h"

#include <msctf.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "font/VtFont.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtKeyInput.h"
#include "system/VtSystem.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"

namespace Vantrel {

ImeStateRecord ImeState;

namespace {

const int CandidateHeaderBytes = 24;

HIMC Ime_GetContext(HWND window) {
    if (window == nullptr || WinAPITable.ImmGetContext == nullptr) return nullptr;
    return WinAPITable.ImmGetContext(window);
}

void Ime_ReleaseContext(HWND window, HIMC context) {
    if (context != nullptr && WinAPITable.ImmReleaseContext != nullptr) WinAPITable.ImmReleaseContext(window, context);
}

// Reads a composition string of at most maxBytes bytes; returns the bytes read (0 on failure).
int Ime_ReadString(HIMC context, DWORD kind, void* buffer, int maxBytes) {
    if (WinAPITable.ImmGetCompositionStringW == nullptr) return 0;
    const LONG bytes = WinAPITable.ImmGetCompositionStringW(context, kind, buffer, (DWORD)maxBytes);
    if (bytes <= 0) return 0;
    return bytes > maxBytes ? maxBytes : (int)bytes;
}

void Ime_ReadComposition(HIMC context, wchar_t* text) {
    memset(text, 0, ImeCompositionUnits * sizeof(wchar_t));
    const int bytes = Ime_ReadString(context, GCS_COMPSTR, text, 1024);
    text[bytes / 2] = 0;
}

void Ime_ClearComposition() { memset(ImeState.Composition, 0, sizeof(ImeState.Composition)); }

int Ime_Length(const wchar_t* text) {
    int length = 0;
    while (length < ImeCompositionUnits - 1 && text[length] != 0) ++length;
    return length;
}

bool Ime_IsHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

int Ime_UnitsAt(const wchar_t* text, int pos) {
    if (Ime_IsHigh(text[pos]) && text[pos + 1] >= 0xDC00 && text[pos + 1] <= 0xDFFF) return 2;
    return 1;
}

LRESULT Ime_OnComposition(HWND window, LPARAM lParam) {
    HIMC context = Ime_GetContext(window);
    if (context == nullptr) return 0;
    if (lParam & GCS_COMPSTR) Ime_ReadComposition(context, ImeState.Composition);
    if (lParam & GCS_RESULTSTR) {
        memset(ImeState.Composition, 0, sizeof(ImeState.Composition));
        const int bytes = Ime_ReadString(context, GCS_RESULTSTR, ImeState.Composition, 1024);
        ImeState.Composition[bytes / 2] = 0;
        for (int i = 0; ImeState.Composition[i] != 0; ++i) KeyInput_StockChar(ImeState.Composition[i]);
        Ime_ClearComposition();
        Ime_ReadComposition(context, ImeState.Composition);
        Ime_FreeCandidateList();
    }
    if (lParam & GCS_CURSORPOS) {
        LONG units = WinAPITable.ImmGetCompositionStringW != nullptr
                         ? WinAPITable.ImmGetCompositionStringW(context, GCS_CURSORPOS, nullptr, 0)
                         : 0;
        const int length = Ime_Length(ImeState.Composition);
        if (units < 0) units = 0;
        if (units > length) units = length;
        int characters = 0;
        for (int pos = 0; pos < units; pos += Ime_UnitsAt(ImeState.Composition, pos)) ++characters;
        ImeState.CompositionCursor = characters;
    }
    if (lParam & GCS_COMPCLAUSE) {
        memset(ImeState.Clauses, 0, sizeof(ImeState.Clauses));
        ImeState.ClauseCount = Ime_ReadString(context, GCS_COMPCLAUSE, ImeState.Clauses, 4096) / 4;
    }
    if (lParam & GCS_COMPATTR) {
        memset(ImeState.Attributes, 0, sizeof(ImeState.Attributes));
        ImeState.AttributeCount = Ime_ReadString(context, GCS_COMPATTR, ImeState.Attributes, 1024);
    }
    Ime_ReleaseContext(window, context);
    return 0;
}

LRESULT Ime_OnCandidateNotify(HWND window) {
    if (ImeState.ThreadMgr != nullptr) return 0;  // the text-services sink supplies the candidates
    HIMC context = Ime_GetContext(window);
    if (context == nullptr || WinAPITable.ImmGetCandidateListW == nullptr) {
        Ime_ReleaseContext(window, context);
        return 0;
    }
    const DWORD size = WinAPITable.ImmGetCandidateListW(context, 0, nullptr, 0);
    if (size == 0) {
        Ime_ReleaseContext(window, context);
        return 0;
    }
    Ime_FreeCandidateList();
    uint8_t* list = static_cast<uint8_t*>(Memory_Allocate(size, "VtIme", __LINE__));
    if (list == nullptr) {
        // Losing the candidates is no reason to end the program: the list is dropped.
        // Logged as the error exit would log it (the text and a line end).
        Log_AddFormatUTF16(L"漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )\n",
                           (int)size);
        Ime_ReleaseContext(window, context);
        return 0;
    }
    if (WinAPITable.ImmGetCandidateListW(context, 0, reinterpret_cast<LPCANDIDATELIST>(list), size) == 0) {
        Memory_Free(list);
        Log_AddFormatUTF16(L"漢字変換候補の取得に失敗しました  BufSize:%d\n", (int)size);
    } else {
        ImeState.CandidateList = list;
        ImeState.CandidateListSize = (int32_t)size;
    }
    Ime_ReleaseContext(window, context);
    return 0;
}

LRESULT Ime_OnOpenStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (ImeState.OpenStatusGuard) return 0;
    ImeState.OpenStatusGuard = 1;
    WinAPI_DefWindowProc(window, message, wParam, lParam);
    // About 2 ms of pumping lets the IME settle; the microsecond clock serves whichever timer the
    // start-up chose (counter ticks without a counter frequency would never add up to 2 ms).
    // Inside a running pump (the notification arrives while it dispatches) that pump goes on
    // draining by itself; pumping again from here would end its pass under it.
    const uint64_t start = GetMicrosecondCount();
    while (Window.Pumping == 0 && System_PollMessagesNoLock() == 0) {
        const uint64_t now = GetMicrosecondCount();
        if (now == ~0ull || now - start >= 2000) break;
    }
    ImeState.OpenStatusGuard = 0;
    HIMC context = Ime_GetContext(window);
    ImeState.OpenStatus =
        (context != nullptr && WinAPITable.ImmGetOpenStatus != nullptr && WinAPITable.ImmGetOpenStatus(context)) ? 1 : 0;
    Ime_ReleaseContext(window, context);
    return 0;
}

LRESULT Ime_OnReconvert(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeyInputRecord* field = KeyInput_GetActiveRecord();
    if (field == nullptr || wParam != IMR_RECONVERTSTRING) {
        WinAPI_DefWindowProc(window, message, wParam, lParam);
        return 0;
    }
    const bool selected = field->SelectAnchor != -1 && field->SelectEnd != -1;
    int lo = 0, hi = field->Length;
    if (selected) {
        lo = field->SelectAnchor < field->SelectEnd ? field->SelectAnchor : field->SelectEnd;
        hi = field->SelectAnchor < field->SelectEnd ? field->SelectEnd : field->SelectAnchor;
        if (lo < 0) lo = 0;
        if (hi > field->Length) hi = field->Length;
        if (lo > hi) lo = hi;
    }
    const int units = hi - lo;
    const DWORD needed = (DWORD)units * 2 + 34;
    if (lParam == 0) return (LRESULT)needed;
    RECONVERTSTRING* request = reinterpret_cast<RECONVERTSTRING*>(lParam);
    // The record is the caller's: nothing is written unless the text and its terminator fit its size.
    if (request->dwSize < needed) return 0;
    wchar_t* text = reinterpret_cast<wchar_t*>(reinterpret_cast<uint8_t*>(request) + 32);
    memcpy(text, field->Text + lo, units * sizeof(wchar_t));
    text[units] = 0;
    request->dwStrLen = units;
    request->dwStrOffset = 32;
    request->dwTargetStrLen = 0;
    request->dwTargetStrOffset = 0;
    if (selected) {
        request->dwCompStrLen = units;
        request->dwCompStrOffset = 0;
    } else {
        request->dwCompStrLen = field->Length;
        request->dwCompStrOffset = field->Cursor * 2;
    }
    HIMC context = Ime_GetContext(window);
    if (context == nullptr) return 0;
    if (WinAPITable.ImmSetCompositionStringW != nullptr) {
        WinAPITable.ImmSetCompositionStringW(context, SCS_QUERYRECONVERTSTRING, request, request->dwSize, nullptr, 0);
        if (WinAPITable.ImmSetCompositionStringW(context, SCS_SETRECONVERTSTRING, request, request->dwSize, nullptr, 0)) {
            if (!selected) {
                // The range comes back from the IME: it is kept inside the text.
                int start = (int)(request->dwCompStrOffset / 2);
                int end = start + (int)request->dwCompStrLen;
                if (start > field->Length) start = field->Length;
                if (end > field->Length || end < start) end = field->Length;
                field->SelectAnchor = start;
                field->SelectEnd = end;
                field->Cursor = start;
            }
            KeyInput_DeleteSelection(field);
        }
    }
    Ime_ReleaseContext(window, context);
    return 0;
}

}  // namespace

int Ime_IsCompositionActive() { return ImeState.Composing; }

int Ime_IsAttached() { return ImeState.Attached ? 1 : 0; }

int Ime_IsConversionOpen() { return ImeState.Attached && ImeState.OpenStatus ? 1 : 0; }

int Ime_RequestReopenIfOpen() {
    if (ImeState.Attached && ImeState.OpenStatus) ImeState.ReopenStep = 1;
    return 0;
}

void Ime_FreeCandidateList() {
    if (ImeState.CandidateList != nullptr) Memory_Free(ImeState.CandidateList);
    ImeState.CandidateList = nullptr;
    ImeState.CandidateListSize = 0;
}

int Ime_RefreshEnabled(int force) {
    WinAPI_EnsureLoaded();
    const int wanted = (ImeState.AlwaysOn || ImeState.Permitted) ? 1 : 0;
    if (wanted == ImeState.Attached && !force) return 0;
    HWND window = Window.MainWindow;
    if (WinAPITable.WINNLSEnableIME != nullptr) WinAPITable.WINNLSEnableIME(window, wanted ? TRUE : FALSE);
    ImeState.Attached = wanted;
    if (WinAPITable.ImmAssociateContext != nullptr && window != nullptr) {
        if (!wanted) {
            HIMC previous = WinAPITable.ImmAssociateContext(window, nullptr);
            if (previous != nullptr) ImeState.SavedContext = previous;
        } else {
            WinAPITable.ImmAssociateContext(window, ImeState.SavedContext);
        }
    }
    if (!ImeState.Attached) {
        Ime_FreeCandidateList();
        Ime_ClearComposition();
        ImeState.Composing = 0;
    }
    return 0;
}

LRESULT Ime_HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WinAPI_EnsureLoaded();
    KeyInput_SetCursorVisible();
    switch (message) {
        case WM_IME_STARTCOMPOSITION:
            ImeState.CompositionCursor = 0;
            ImeState.Composing = 1;
            return 0;
        case WM_IME_ENDCOMPOSITION:
            Ime_ClearComposition();
            ImeState.Composing = 0;
            return 0;
        case WM_IME_COMPOSITION:
            return Ime_OnComposition(window, lParam);
        case WM_IME_SETCONTEXT:
            return WinAPI_DefWindowProc(window, message, wParam, 0);
        case WM_IME_NOTIFY:
            switch (wParam) {
                case IMN_OPENCANDIDATE:
                case IMN_CHANGECANDIDATE:
                case IMN_SETCANDIDATEPOS:
                    return Ime_OnCandidateNotify(window);
                case IMN_CLOSECANDIDATE:
                    Ime_FreeCandidateList();
                    return 0;
                case IMN_SETOPENSTATUS:
                    return Ime_OnOpenStatus(window, message, wParam, lParam);
                default:
                    return WinAPI_DefWindowProc(window, message, wParam, lParam);
            }
        case WM_IME_REQUEST:
            return Ime_OnReconvert(window, message, wParam, lParam);
        default:
            return WinAPI_DefWindowProc(window, message, wParam, lParam);
    }
}

int Ime_RunReopenSteps() {
    HWND window = Window.MainWindow;
    HIMC context = Ime_GetContext(window);
    while (ImeState.ReopenStep >= 1 && ImeState.ReopenStep <= 4) {
        switch (ImeState.ReopenStep) {
            case 1:
                if (context != nullptr) {
                    Ime_ClearComposition();
                    Ime_ReadComposition(context, ImeState.SavedComposition);
                    if (WinAPITable.ImmNotifyIME != nullptr)
                        WinAPITable.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
                }
                break;
            case 2:
            case 3:
                if (context != nullptr && WinAPITable.ImmSetOpenStatus != nullptr)
                    WinAPITable.ImmSetOpenStatus(context, ImeState.ReopenStep == 3 ? TRUE : FALSE);
                break;
            case 4:
                if (context != nullptr) {
                    if (WinAPITable.ImmSetOpenStatus != nullptr) WinAPITable.ImmSetOpenStatus(context, TRUE);
                    if (WinAPITable.ImmSetCompositionStringW != nullptr)
                        WinAPITable.ImmSetCompositionStringW(context, SCS_SETSTR, ImeState.SavedComposition,
                                                             Ime_Length(ImeState.SavedComposition) * 2, nullptr, 0);
                }
                break;
        }
        ++ImeState.ReopenStep;
    }
    ImeState.ReopenStep = 0;
    Ime_ReleaseContext(window, context);
    return 0;
}

void Ime_ResetState() {
    const int32_t attached = ImeState.Attached;
    const int32_t alwaysOn = ImeState.AlwaysOn;
    const int32_t noTextServices = ImeState.NoTextServices;
    HIMC saved = ImeState.SavedContext;
    Ime_FreeCandidateList();
    memset(&ImeState, 0, sizeof(ImeState));
    ImeState.Attached = attached;
    ImeState.AlwaysOn = alwaysOn;
    ImeState.NoTextServices = noTextServices;
    ImeState.SavedContext = saved;
    HWND window = Window.MainWindow;
    if (!ImeState.Attached && window != nullptr && WinAPITable.ImmAssociateContext != nullptr) {
        HIMC previous = WinAPITable.ImmAssociateContext(window, nullptr);
        if (previous != nullptr) ImeState.SavedContext = previous;
    }
}

// ---- candidate lists ----

int Ime_CaptureCandidateList(D_ITfCandidateListUIElement* element) {
    Ime_FreeCandidateList();
    UINT count = 0, selection = 0;
    const bool ok = SUCCEEDED(element->GetCount(&count)) && SUCCEEDED(element->GetSelection(&selection)) && count > 0;
    if (!ok) {
        count = 0;
        selection = 0;
    }
    // Each string is asked for twice (size, then copy): the element may hand out a new one each time.
    uint64_t size = CandidateHeaderBytes + 4ull * count;
    for (UINT i = 0; i < count; ++i) {
        BSTR text = nullptr;
        if (SUCCEEDED(element->GetString(i, &text)) && text != nullptr) {
            size += (wcslen(text) + 1) * 2;
            if (WinAPITable.SysFreeString != nullptr) WinAPITable.SysFreeString(text);
        } else {
            size += 2;
        }
    }
    uint8_t* list = size < 0x7FFFFFFF ? static_cast<uint8_t*>(Memory_Allocate((uint32_t)size, "VtIme", __LINE__)) : nullptr;
    if (list == nullptr) {
        Log_AddFormatUTF16(L"漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                           (int)size);
        return -1;
    }
    memset(list, 0, CandidateHeaderBytes);
    CANDIDATELIST* header = reinterpret_cast<CANDIDATELIST*>(list);
    header->dwSize = (DWORD)size;
    header->dwCount = count;
    header->dwSelection = selection;
    uint32_t offset = CandidateHeaderBytes + 4 * count;
    for (UINT i = 0; i < count; ++i) {
        uint32_t* offsets = reinterpret_cast<uint32_t*>(list + CandidateHeaderBytes);
        offsets[i] = offset;
        wchar_t* out = reinterpret_cast<wchar_t*>(list + offset);
        BSTR text = nullptr;
        size_t length = 0;
        if (SUCCEEDED(element->GetString(i, &text)) && text != nullptr) {
            length = wcslen(text);
            const size_t room = (size - offset) / 2 - 1;  // a string that grew since it was measured is cut
            if (length > room) length = room;
            memcpy(out, text, length * 2);
            if (WinAPITable.SysFreeString != nullptr) WinAPITable.SysFreeString(text);
        }
        out[length] = 0;
        offset += (uint32_t)(length + 1) * 2;
    }
    ImeState.CandidateList = list;
    ImeState.CandidateListSize = (int32_t)size;
    return 0;
}

void Ime_CandidatePage(int selection, int perPage, int fontSize, int areaHeight, int* pageStart, int* fittedPerPage) {
    const int third = fontSize / 3;
    if (perPage < 1) perPage = 1;
    if ((perPage + 1) * fontSize + 2 * third > areaHeight && fontSize > 0) {
        perPage = (areaHeight - 2 * third) / fontSize - 1;
        if (perPage < 1) perPage = 1;
    }
    if (selection < 0) selection = 0;
    *pageStart = selection - selection % perPage;
    *fittedPerPage = perPage;
}

// ---- text services ----

namespace {

// The element of an id as a candidate list (null when it is another kind), and whether it exists.
bool Ime_LookUpElement(DWORD id, D_ITfCandidateListUIElement** candidates) {
    *candidates = nullptr;
    if (ImeState.ThreadMgr == nullptr) return false;
    ITfUIElementMgr* manager = nullptr;
    if (FAILED(ImeState.ThreadMgr->QueryInterface(VT_IID_ITfUIElementMgr, reinterpret_cast<void**>(&manager))) ||
        manager == nullptr)
        return false;
    ITfUIElement* element = nullptr;
    const HRESULT found = manager->GetUIElement(id, &element);
    manager->Release();
    if (FAILED(found) || element == nullptr) return false;
    void* list = nullptr;
    if (SUCCEEDED(element->QueryInterface(VT_IID_ITfCandidateListUIElement, &list)) && list != nullptr)
        *candidates = static_cast<D_ITfCandidateListUIElement*>(list);
    element->Release();
    return true;
}

}  // namespace

HRESULT STDMETHODCALLTYPE VT_UIElementSink::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualGUID(iid, VT_IID_IUnknown) || IsEqualGUID(iid, VT_IID_ITfUIElementSink)) {
        *out = this;
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE VT_UIElementSink::AddRef() { return (ULONG)++ReferenceCount; }

ULONG STDMETHODCALLTYPE VT_UIElementSink::Release() {
    const LONG count = --ReferenceCount;
    if (count == 0) delete this;
    return (ULONG)count;
}

HRESULT STDMETHODCALLTYPE VT_UIElementSink::BeginUIElement(DWORD id, BOOL* show) {
    D_ITfCandidateListUIElement* candidates = nullptr;
    if (!Ime_LookUpElement(id, &candidates)) return E_INVALIDARG;
    if (show != nullptr) *show = FALSE;
    if (candidates != nullptr) {
        ImeState.OpenCandidateElements += 1;
        Ime_CaptureCandidateList(candidates);
        candidates->Release();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VT_UIElementSink::UpdateUIElement(DWORD id) {
    D_ITfCandidateListUIElement* candidates = nullptr;
    if (!Ime_LookUpElement(id, &candidates)) return E_INVALIDARG;
    if (candidates != nullptr) {
        Ime_CaptureCandidateList(candidates);
        candidates->Release();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VT_UIElementSink::EndUIElement(DWORD id) {
    D_ITfCandidateListUIElement* candidates = nullptr;
    if (!Ime_LookUpElement(id, &candidates)) return E_INVALIDARG;
    if (candidates != nullptr) {
        const int open = ImeState.OpenCandidateElements;
        ImeState.OpenCandidateElements -= 1;
        if (open == 1) Ime_FreeCandidateList();
        candidates->Release();
    }
    return S_OK;
}

int Ime_TextServices_Setup() {
    if (ImeState.NoTextServices || Window.OsVersionCode < 0x109 || WinAPITable.CoCreateInstance == nullptr) return 0;
    ITfThreadMgrEx* manager = nullptr;
    if (FAILED(WinAPITable.CoCreateInstance(VT_CLSID_TF_ThreadMgr, nullptr, CLSCTX_INPROC_SERVER,
                                            VT_IID_ITfThreadMgrEx, reinterpret_cast<void**>(&manager))) ||
        manager == nullptr)
        return -1;
    VT_UIElementSink* sink = nullptr;
    bool ok = SUCCEEDED(manager->ActivateEx(&ImeState.ClientId, VT_TF_TMAE_UIELEMENTENABLEDONLY));
    if (ok) {
        sink = new (std::nothrow) VT_UIElementSink();
        ok = sink != nullptr;
    }
    if (ok) {
        ITfSource* source = nullptr;
        ok = SUCCEEDED(manager->QueryInterface(VT_IID_ITfSource, reinterpret_cast<void**>(&source))) && source != nullptr;
        if (ok) {
            ok = SUCCEEDED(source->AdviseSink(VT_IID_ITfUIElementSink, reinterpret_cast<IUnknown*>(sink),
                                              &ImeState.SinkCookie));
            source->Release();
        }
    }
    if (!ok) {
        if (sink != nullptr) sink->Release();
        manager->Release();
        ImeState.ThreadMgr = nullptr;
        ImeState.Sink = nullptr;
        return -1;
    }
    ImeState.ThreadMgr = manager;
    ImeState.Sink = sink;
    return 0;
}

int Ime_TextServices_Remove() {
    if (ImeState.ThreadMgr == nullptr) return 0;
    if (ImeState.Sink != nullptr) {
        ITfSource* source = nullptr;
        if (SUCCEEDED(ImeState.ThreadMgr->QueryInterface(VT_IID_ITfSource, reinterpret_cast<void**>(&source))) &&
            source != nullptr) {
            source->UnadviseSink(ImeState.SinkCookie);
            source->Release();
        }
    }
    ImeState.ThreadMgr->Deactivate();
    ImeState.ThreadMgr->Release();
    if (ImeState.Sink != nullptr) ImeState.Sink->Release();
    ImeState.ThreadMgr = nullptr;
    ImeState.Sink = nullptr;
    return 0;
}

// ---- drawing the composition ----

namespace {

// Writes the decimal number at out; returns the units written.
int Ime_WriteNumber(wchar_t* out, int value) {
    wchar_t digits[12];
    int count = 0;
    unsigned int rest = value < 0 ? 0u : (unsigned int)value;
    do {
        digits[count++] = (wchar_t)(L'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (int i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
    return count;
}

struct ImeCharPlace {
    int X, Y, Pos, Units, Width, Converted;
};

// The candidate's text in the list, bounded by the block (an offset outside it gives an empty text).
const wchar_t* Ime_CandidateText(int index, int* length) {
    *length = 0;
    const uint8_t* list = ImeState.CandidateList;
    const uint32_t size = (uint32_t)ImeState.CandidateListSize;
    if ((uint64_t)CandidateHeaderBytes + 4ull * (index + 1) > size) return L"";
    const uint32_t offset = reinterpret_cast<const uint32_t*>(list + CandidateHeaderBytes)[index];
    if (offset >= size || offset < CandidateHeaderBytes) return L"";
    const wchar_t* text = reinterpret_cast<const wchar_t*>(list + offset);
    const int room = (int)((size - offset) / 2);
    while (*length < room && text[*length] != 0) ++*length;
    return text;
}

void Ime_DrawLine(const KeyInputLayoutBase& base, int x, int y, const wchar_t* text, int length, uint32_t color,
                  uint32_t edge) {
    for (int i = 0; i < length;) {
        const int units = (Ime_IsHigh(text[i]) && i + 1 < length) ? 2 : 1;
        DrawTextToHandleW(x, y, text + i, units, color, base.FontHandle, edge, 0);
        const int width = GetTextWidthToHandleW(text + i, units, -1, base.FontHandle, 0);
        x += width > 0 ? width : 0;
        i += units;
    }
}

int Ime_LineWidth(const KeyInputLayoutBase& base, const wchar_t* text, int length) {
    int total = 0;
    for (int i = 0; i < length;) {
        const int units = (Ime_IsHigh(text[i]) && i + 1 < length) ? 2 : 1;
        const int width = GetTextWidthToHandleW(text + i, units, -1, base.FontHandle, 0);
        total += width > 0 ? width : 0;
        i += units;
    }
    return total;
}

void Ime_DrawCandidates(const KeyInputLayoutBase& base, int cursorX, int cursorY, int firstLineTop, int perPage) {
    const CANDIDATELIST* header = reinterpret_cast<const CANDIDATELIST*>(ImeState.CandidateList);
    const int count = (int)header->dwCount;
    const int fs = base.FontSize;
    const int third = fs / 3;
    int selection = (int)header->dwSelection;
    if (selection >= count) selection = count - 1;
    int pageStart = 0;
    Ime_CandidatePage(selection, perPage, fs, base.AreaBottom - base.AreaTop, &pageStart, &perPage);
    int lines = count - pageStart < perPage ? count - pageStart : perPage;
    wchar_t lineText[64][300];
    int lineLength[64];
    if (lines > 64) lines = 64;
    int listWidth = 0;
    bool anyText = false;
    for (int i = 0; i < lines; ++i) {
        int length = 0;
        const wchar_t* text = Ime_CandidateText(pageStart + i, &length);
        if (length > 0) anyText = true;
        if (length > 280) length = 280;
        int n = Ime_WriteNumber(lineText[i], i + 1);
        lineText[i][n++] = L':';
        memcpy(lineText[i] + n, text, length * sizeof(wchar_t));
        lineLength[i] = n + length;
        const int width = Ime_LineWidth(base, lineText[i], lineLength[i]);
        if (width > listWidth) listWidth = width;
    }
    wchar_t pageLine[40];
    int pageLength = Ime_WriteNumber(pageLine, selection + 1);
    pageLine[pageLength++] = L'/';
    pageLength += Ime_WriteNumber(pageLine + pageLength, count);
    const int pageWidth = Ime_LineWidth(base, pageLine, pageLength);
    if (pageWidth > listWidth) listWidth = pageWidth;
    if (!anyText) return;

    int left = cursorX;
    int top = cursorY + fs + fs / 2;
    const int width = listWidth + 2 * third;
    const int height = (lines + 1) * fs + 2 * third;
    if (top + height > base.AreaBottom) {
        if (firstLineTop - height - fs / 2 >= base.AreaTop)
            top = firstLineTop - height - fs / 2;
        else
            top = base.AreaBottom - height;
    }
    if (left + width > base.AreaRight) left -= left + width - base.AreaRight;
    const uint32_t* colors = KeyInputState.Colors;
    DrawRectangle(left, top, left + width, top + height, colors[20], 1, 1);
    DrawRectangle(left, top, left + width, top + height, colors[19], 0, 1);
    for (int i = 0; i < lines; ++i) {
        const int y = top + third + i * fs;
        if (pageStart + i == selection) {
            if (KeyInputState.ColorSet[18]) DrawRectangle(left + 1, y, left + width - 1, y + fs, colors[18], 1, 1);
            Ime_DrawLine(base, left + third, y, lineText[i], lineLength[i], colors[16], colors[17]);
        } else {
            Ime_DrawLine(base, left + third, y, lineText[i], lineLength[i], colors[14], colors[15]);
        }
    }
    Ime_DrawLine(base, left + third + listWidth - pageWidth, top + third + lines * fs, pageLine, pageLength, colors[14],
                 colors[15]);
    HWND window = Window.MainWindow;
    HIMC context = Ime_GetContext(window);
    if (context != nullptr && WinAPITable.ImmNotifyIME != nullptr) {
        WinAPITable.ImmNotifyIME(context, NI_SETCANDIDATE_PAGESIZE, 0, perPage);
        WinAPITable.ImmNotifyIME(context, NI_SETCANDIDATE_PAGESTART, 0, pageStart);
    }
    Ime_ReleaseContext(window, context);
}

}  // namespace

int Ime_DrawComposition(int x, int y, int perPage, int drawCandidates) {
    if (!ImeState.Attached || !ImeState.OpenStatus) return -1;
    const int length = Ime_Length(ImeState.Composition);
    if (length == 0) return 0;
    KeyInputLayoutBase base{};
    if (KeyInput_LayoutBase(x, y, &base) != 0) return -1;
    const uint32_t bytes = (uint32_t)(length + 1) * sizeof(ImeCharPlace);
    ImeCharPlace* places = static_cast<ImeCharPlace*>(Memory_Allocate(bytes, "VtIme", __LINE__));
    if (places == nullptr) {
        Log_AddFormatUTF16(L"IME文字列描画情報を格納するメモリ領域の確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                           (int)bytes);
        return -1;
    }
    const int fs = base.FontSize;
    int count = 0;
    int cx = base.X0, cy = base.Y0;
    for (int pos = 0; pos < length;) {
        const int units = Ime_UnitsAt(ImeState.Composition, pos);
        if (ImeState.Composition[pos] == 0x0A) {
            cx = base.AreaLeft;
            cy += base.LineHeight;
            pos += units;
            continue;
        }
        int width = GetTextWidthToHandleW(ImeState.Composition + pos, units, -1, base.FontHandle, 0);
        if (width < 0) width = 0;
        if (cx + width > base.AreaRight && cx > base.AreaLeft) {
            cx = base.AreaLeft;
            cy += base.LineHeight;
        }
        ImeCharPlace& place = places[count++];
        place = {cx, cy, pos, units, width, pos < ImeState.AttributeCount && ImeState.Attributes[pos] == ATTR_TARGET_CONVERTED};
        cx += width;
        pos += units;
    }
    const uint32_t* colors = KeyInputState.Colors;
    for (int i = 0; i < count; ++i) {
        const ImeCharPlace& place = places[i];
        DrawRectangle(place.X, place.Y, place.X + place.Width, place.Y + fs, colors[place.Converted ? 13 : 8], 1, 1);
    }
    for (int i = 0; i < count; ++i) {
        const ImeCharPlace& place = places[i];
        const wchar_t* text = ImeState.Composition + place.Pos;
        if (place.Converted)
            DrawTextToHandleW(place.X, place.Y, text, place.Units, colors[11], base.FontHandle,
                              colors[KeyInputState.ColorSet[12] ? 12 : 13], 0);
        else
            DrawTextToHandleW(place.X, place.Y, text, place.Units, colors[6], base.FontHandle,
                              colors[KeyInputState.ColorSet[7] ? 7 : 8], 0);
    }
    int cursorX = cx, cursorY = cy;
    if (ImeState.CompositionCursor < count && count > 0) {
        const int index = ImeState.CompositionCursor < 0 ? 0 : ImeState.CompositionCursor;
        cursorX = places[index].X;
        cursorY = places[index].Y;
    }
    DrawRectangle(cursorX, cursorY, cursorX + 2, cursorY + fs, colors[9], 1, 1);

    // Clause underlines: one bar per line segment a clause covers, below the character boxes.
    const int thin = fs / 10 > 0 ? fs / 10 : 1;
    const int minimum = 4 * (fs / 20 > 1 ? fs / 20 : 1);
    for (int clause = 0; clause + 1 < ImeState.ClauseCount; ++clause) {
        const int from = ImeState.Clauses[clause], to = ImeState.Clauses[clause + 1];
        const int thickness = (from >= 0 && from < ImeState.AttributeCount && ImeState.Attributes[from] == 1) ? 2 * thin : thin;
        int clauseWidth = 0;
        for (int i = 0; i < count; ++i)
            if (places[i].Pos >= from && places[i].Pos < to) clauseWidth += places[i].Width;
        if (clauseWidth <= minimum) continue;
        int segmentLeft = 0, segmentRight = 0, segmentY = 0;
        bool open = false;
        for (int i = 0; i <= count; ++i) {
            const bool inside = i < count && places[i].Pos >= from && places[i].Pos < to;
            if (open && (!inside || places[i].Y != segmentY)) {
                DrawRectangle(segmentLeft + 1, segmentY + fs + thin, segmentRight - 1, segmentY + fs + thin + thickness,
                              colors[10], 1, 1);
                open = false;
            }
            if (inside && !open) {
                segmentLeft = places[i].X;
                segmentY = places[i].Y;
                open = true;
            }
            if (inside) segmentRight = places[i].X + places[i].Width;
        }
    }

    if (drawCandidates && ImeState.CandidateList != nullptr && ImeState.CandidateListSize >= CandidateHeaderBytes &&
        reinterpret_cast<const CANDIDATELIST*>(ImeState.CandidateList)->dwCount > 0) {
        Ime_DrawCandidates(base, cursorX, cursorY, count > 0 ? places[0].Y : cursorY, perPage);
    }
    Memory_Free(places);
    return 0;
}

}  // namespace Vantrel
