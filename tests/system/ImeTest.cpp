// IME entry over the real main window with fake IMM32 entries in the system function table and a fake
// text-services thread manager handing out scripted candidate-list UI elements (Wine never composes):
// composition and result strings, IMM and TSF candidate lists and their pages, reconversion requests,
// attaching and detaching, and the reopen steps.
#include <gtest/gtest.h>
#include <windows.h>
#include <msctf.h>

#include <cstring>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "foundation/VtWinAPI.h"
#include "system/VtIme.h"
#include "system/VtKeyInput.h"

using namespace Vantrel;

namespace {

// ----- fake IMM32 -----
const HIMC FakeContext = reinterpret_cast<HIMC>(static_cast<intptr_t>(0x5150));
const HIMC WindowContext = reinterpret_cast<HIMC>(static_cast<intptr_t>(0x7070));

struct FakeImmState {
    std::wstring Composition;
    std::wstring Result;
    LONG CursorUnits = 0;
    std::vector<int32_t> Clauses;
    std::vector<uint8_t> Attributes;
    std::vector<uint8_t> CandidateList;  // the block ImmGetCandidateListW hands out
    DWORD CandidateSizeOverride = 0;     // a size to report instead of the block's
    int CandidateReadFails = 0;
    int CandidateCalls = 0;
    BOOL Open = TRUE;
    BOOL SetCompositionResult = TRUE;
    std::vector<std::string> Calls;
    std::vector<std::wstring> SetStrings;
    std::vector<HIMC> Associated;
} Imm;

HIMC WINAPI FakeImmGetContext(HWND) { return FakeContext; }
BOOL WINAPI FakeImmReleaseContext(HWND, HIMC) { return TRUE; }

LONG Copy(const void* data, size_t bytes, LPVOID buffer, DWORD size) {
    if (size == 0 || buffer == nullptr) return (LONG)bytes;
    if (bytes > size) bytes = size;
    memcpy(buffer, data, bytes);
    return (LONG)bytes;
}

LONG WINAPI FakeImmGetCompositionStringW(HIMC, DWORD kind, LPVOID buffer, DWORD size) {
    switch (kind) {
        case GCS_COMPSTR: return Copy(Imm.Composition.data(), Imm.Composition.size() * 2, buffer, size);
        case GCS_RESULTSTR: return Copy(Imm.Result.data(), Imm.Result.size() * 2, buffer, size);
        case GCS_CURSORPOS: return Imm.CursorUnits;
        case GCS_COMPCLAUSE: return Copy(Imm.Clauses.data(), Imm.Clauses.size() * 4, buffer, size);
        case GCS_COMPATTR: return Copy(Imm.Attributes.data(), Imm.Attributes.size(), buffer, size);
        default: return 0;
    }
}

BOOL WINAPI FakeImmNotifyIME(HIMC, DWORD action, DWORD index, DWORD value) {
    Imm.Calls.push_back("notify " + std::to_string(action) + " " + std::to_string(index) + " " + std::to_string(value));
    return TRUE;
}

BOOL WINAPI FakeImmSetOpenStatus(HIMC, BOOL open) {
    Imm.Calls.push_back("open " + std::to_string(open));
    return TRUE;
}

BOOL WINAPI FakeImmGetOpenStatus(HIMC) { return Imm.Open; }

BOOL WINAPI FakeImmSetCompositionStringW(HIMC, DWORD index, LPVOID composition, DWORD bytes, LPVOID, DWORD) {
    Imm.Calls.push_back("set " + std::to_string(index) + " " + std::to_string(bytes));
    if (index == SCS_SETSTR) Imm.SetStrings.push_back(std::wstring(static_cast<const wchar_t*>(composition), bytes / 2));
    return Imm.SetCompositionResult;
}

DWORD WINAPI FakeImmGetCandidateListW(HIMC, DWORD, LPCANDIDATELIST list, DWORD size) {
    ++Imm.CandidateCalls;
    if (list == nullptr) return Imm.CandidateSizeOverride ? Imm.CandidateSizeOverride : (DWORD)Imm.CandidateList.size();
    if (Imm.CandidateReadFails) return 0;
    return (DWORD)Copy(Imm.CandidateList.data(), Imm.CandidateList.size(), list, size);
}

HIMC WINAPI FakeImmAssociateContext(HWND, HIMC context) {
    Imm.Associated.push_back(context);
    return context == nullptr ? WindowContext : nullptr;
}

std::vector<uint8_t> BuildCandidateList(const std::vector<std::wstring>& texts, DWORD selection) {
    size_t size = 24 + 4 * texts.size();
    for (const auto& text : texts) size += (text.size() + 1) * 2;
    std::vector<uint8_t> block(size, 0);
    CANDIDATELIST* header = reinterpret_cast<CANDIDATELIST*>(block.data());
    header->dwSize = (DWORD)size;
    header->dwCount = (DWORD)texts.size();
    header->dwSelection = selection;
    uint32_t offset = (uint32_t)(24 + 4 * texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        reinterpret_cast<uint32_t*>(block.data() + 24)[i] = offset;
        memcpy(block.data() + offset, texts[i].c_str(), (texts[i].size() + 1) * 2);
        offset += (uint32_t)(texts[i].size() + 1) * 2;
    }
    return block;
}

// Candidate i of the captured list.
std::wstring Captured(int index) {
    const uint8_t* list = ImeState.CandidateList;
    const uint32_t offset = reinterpret_cast<const uint32_t*>(list + 24)[index];
    return std::wstring(reinterpret_cast<const wchar_t*>(list + offset));
}
DWORD CapturedCount() { return reinterpret_cast<const CANDIDATELIST*>(ImeState.CandidateList)->dwCount; }
DWORD CapturedSelection() { return reinterpret_cast<const CANDIDATELIST*>(ImeState.CandidateList)->dwSelection; }

// ----- fake text services -----
class FakeCandidateElement : public D_ITfCandidateListUIElement {
public:
    std::vector<std::wstring> Texts;
    UINT Selection = 0;
    int FailCount = 0;
    int FailStringIndex = -1;
    LONG References = 1;
    bool IsCandidateList = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualGUID(iid, VT_IID_ITfCandidateListUIElement) && !IsCandidateList) return E_NOINTERFACE;
        *out = this;
        ++References;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override { return --References; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Show(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsShown(BOOL* shown) override { *shown = FALSE; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUpdatedFlags(DWORD* flags) override { *flags = 0; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDocumentMgr(IUnknown** manager) override { *manager = nullptr; return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        if (FailCount) return E_FAIL;
        *count = (UINT)Texts.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSelection(UINT* index) override { *index = Selection; return S_OK; }
    HRESULT STDMETHODCALLTYPE GetString(UINT index, BSTR* text) override {
        if ((int)index == FailStringIndex || index >= Texts.size()) return E_FAIL;
        *text = SysAllocString(Texts[index].c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageIndex(UINT*, UINT, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPageIndex(UINT*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPage(UINT*) override { return E_NOTIMPL; }
};

class FakeThreadMgr : public ITfThreadMgrEx, public ITfSource, public ITfUIElementMgr {
public:
    std::vector<std::pair<DWORD, FakeCandidateElement*>> Elements;
    IUnknown* Sink = nullptr;
    DWORD ActivateFlags = 0;
    int Deactivated = 0;
    int Unadvised = 0;
    LONG References = 1;

    // IUnknown, shared by the three faces
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualGUID(iid, VT_IID_ITfSource))
            *out = static_cast<ITfSource*>(this);
        else if (IsEqualGUID(iid, VT_IID_ITfUIElementMgr))
            *out = static_cast<ITfUIElementMgr*>(this);
        else if (IsEqualGUID(iid, VT_IID_ITfThreadMgrEx) || IsEqualGUID(iid, VT_IID_IUnknown))
            *out = static_cast<ITfThreadMgrEx*>(this);
        else
            return E_NOINTERFACE;
        ++References;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override { return --References; }
    // ITfThreadMgr
    HRESULT STDMETHODCALLTYPE Activate(TfClientId* id) override { *id = 42; return S_OK; }
    HRESULT STDMETHODCALLTYPE Deactivate() override { ++Deactivated; return S_OK; }
    HRESULT STDMETHODCALLTYPE CreateDocumentMgr(ITfDocumentMgr**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDocumentMgrs(IEnumTfDocumentMgrs**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFocus(ITfDocumentMgr**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFocus(ITfDocumentMgr*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AssociateFocus(HWND, ITfDocumentMgr*, ITfDocumentMgr**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsThreadFocus(BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFunctionProvider(REFCLSID, ITfFunctionProvider**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFunctionProviders(IEnumTfFunctionProviders**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGlobalCompartment(ITfCompartmentMgr**) override { return E_NOTIMPL; }
    // ITfThreadMgrEx
    HRESULT STDMETHODCALLTYPE ActivateEx(TfClientId* id, DWORD flags) override {
        *id = 42;
        ActivateFlags = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetActiveFlags(DWORD* flags) override { *flags = ActivateFlags; return S_OK; }
    // ITfSource
    HRESULT STDMETHODCALLTYPE AdviseSink(REFIID iid, IUnknown* sink, DWORD* cookie) override {
        if (!IsEqualGUID(iid, VT_IID_ITfUIElementSink)) return E_INVALIDARG;
        Sink = sink;
        sink->AddRef();
        *cookie = 77;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnadviseSink(DWORD cookie) override {
        if (cookie != 77 || Sink == nullptr) return E_INVALIDARG;
        ++Unadvised;
        Sink->Release();
        Sink = nullptr;
        return S_OK;
    }
    // ITfUIElementMgr
    HRESULT STDMETHODCALLTYPE BeginUIElement(ITfUIElement*, BOOL*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateUIElement(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndUIElement(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUIElement(DWORD id, ITfUIElement** element) override {
        *element = nullptr;
        for (auto& entry : Elements) {
            if (entry.first != id) continue;
            entry.second->AddRef();
            *element = reinterpret_cast<ITfUIElement*>(static_cast<D_ITfUIElement*>(entry.second));
            return S_OK;
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE EnumUIElements(IEnumTfUIElements**) override { return E_NOTIMPL; }
};

FakeThreadMgr* CurrentThreadMgr = nullptr;
decltype(WinAPITableRecord::CoCreateInstance) RealCoCreateInstance = nullptr;

HRESULT WINAPI FakeCoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    if (IsEqualGUID(classId, VT_CLSID_TF_ThreadMgr)) {
        if (CurrentThreadMgr == nullptr) return REGDB_E_CLASSNOTREG;
        return CurrentThreadMgr->QueryInterface(iid, out);
    }
    return RealCoCreateInstance(classId, outer, context, iid, out);
}

WinAPITableRecord SavedTable;

}  // namespace

class ImeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { WindowTest::StartLibraryForSuite(); }
    static void TearDownTestSuite() { TerminateLibrary(); }

    void SetUp() override {
        Ime_TextServices_Remove();  // whatever the system's text services gave at start-up
        SavedTable = WinAPITable;
        Imm = FakeImmState{};
        WinAPITable.ImmGetContext = FakeImmGetContext;
        WinAPITable.ImmReleaseContext = FakeImmReleaseContext;
        WinAPITable.ImmGetCompositionStringW = FakeImmGetCompositionStringW;
        WinAPITable.ImmNotifyIME = FakeImmNotifyIME;
        WinAPITable.ImmSetOpenStatus = FakeImmSetOpenStatus;
        WinAPITable.ImmGetOpenStatus = FakeImmGetOpenStatus;
        WinAPITable.ImmSetCompositionStringW = FakeImmSetCompositionStringW;
        WinAPITable.ImmGetCandidateListW = FakeImmGetCandidateListW;
        WinAPITable.ImmAssociateContext = FakeImmAssociateContext;
        RealCoCreateInstance = SavedTable.CoCreateInstance;
        WinAPITable.CoCreateInstance = FakeCoCreateInstance;
        CurrentThreadMgr = nullptr;
    }
    void TearDown() override {
        ActivateKeyInput(-1);
        KeyInput_DeleteAll();
        Ime_TextServices_Remove();
        Ime_FreeCandidateList();
        WinAPITable = SavedTable;
    }

    static HWND MainWindow() { return Window_GetMainHandle(); }
    static LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
        return SendMessageW(MainWindow(), message, wParam, lParam);
    }
    static int NewActiveField(int maximum, int singleByte = 0) {
        const int handle = CreateKeyInput(maximum, 0, singleByte, 0, 0, 0);
        EXPECT_NE(handle, -1);
        EXPECT_EQ(ActivateKeyInput(handle), 0);
        return handle;
    }
    static std::wstring Text(int handle) {
        const KeyInputRecord* field = KeyInput_GetRecord(handle);
        return field == nullptr ? L"<invalid>" : std::wstring(field->Text, field->Length);
    }
    static void OpenTheIme() {
        Send(WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
        ASSERT_EQ(ImeState.OpenStatus, 1);
    }
};

TEST_F(ImeTest, CompositionResultFromTheFakesLandsInTheField) {
    const int field = NewActiveField(16);
    Send(WM_IME_STARTCOMPOSITION, 0, 0);
    EXPECT_EQ(ImeState.Composing, 1);
    EXPECT_EQ(Ime_IsCompositionActive(), 1);

    Imm.Composition = L"か\xD842\xDFB7じ";
    Imm.CursorUnits = 3;  // after the surrogate pair: two characters
    Imm.Clauses = {0, 1, 4};
    Imm.Attributes = {1, 1, 1, 0};
    Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE | GCS_COMPATTR);
    EXPECT_EQ(std::wstring(ImeState.Composition), Imm.Composition);
    EXPECT_EQ(ImeState.CompositionCursor, 2);
    EXPECT_EQ(ImeState.ClauseCount, 3);
    EXPECT_EQ(ImeState.AttributeCount, 4);

    Imm.Result = L"漢字";
    Imm.Composition = L"";
    Send(WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
    EXPECT_EQ(ImeState.Composition[0], 0);
    Send(WM_IME_ENDCOMPOSITION, 0, 0);
    EXPECT_EQ(ImeState.Composing, 0);
    PollMessages();  // the next frame takes the two units into the field
    EXPECT_EQ(Text(field), L"漢字");
    char copied[17] = {};
    EXPECT_EQ(CopyKeyInputText(copied, field), 0);
    EXPECT_STREQ(copied, "漢字");  // Shift-JIS bytes of the narrow literal

    // A composition longer than 1024 bytes is cut there and stays terminated.
    Imm.Composition = std::wstring(700, L'あ');
    Send(WM_IME_COMPOSITION, 0, GCS_COMPSTR);
    EXPECT_EQ(wcslen(ImeState.Composition), 512u);
}

TEST_F(ImeTest, ImmCandidateListIsCapturedAndAFailedAllocationOnlyDropsIt) {
    NewActiveField(16);
    Imm.CandidateList = BuildCandidateList({L"感じ", L"漢字", L"幹事"}, 1);
    EXPECT_EQ(Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 1), 0);
    ASSERT_NE(ImeState.CandidateList, nullptr);
    EXPECT_EQ(CapturedCount(), 3u);
    EXPECT_EQ(CapturedSelection(), 1u);
    EXPECT_EQ(Captured(2), L"幹事");
    Send(WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 1);
    EXPECT_EQ(ImeState.CandidateList, nullptr);

    // The list cannot be held: the program goes on without it.
    Imm.CandidateSizeOverride = 0xFFFFFFF0u;
    EXPECT_EQ(Send(WM_IME_NOTIFY, IMN_CHANGECANDIDATE, 1), 0);
    EXPECT_EQ(ImeState.CandidateList, nullptr);
    EXPECT_EQ(ImeState.CandidateListSize, 0);
    EXPECT_TRUE(WindowTest::LogContains(u8"漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ -16 バイト )"));
    // The list cannot be read.
    Imm.CandidateSizeOverride = 0;
    Imm.CandidateReadFails = 1;
    Send(WM_IME_NOTIFY, IMN_SETCANDIDATEPOS, 1);
    EXPECT_EQ(ImeState.CandidateList, nullptr);
    EXPECT_TRUE(WindowTest::LogContains(u8"漢字変換候補の取得に失敗しました  BufSize:"));
}

TEST_F(ImeTest, CandidateListFollowsThePagesOfTheTextServicesElement) {
    FakeThreadMgr manager;
    FakeCandidateElement candidates, other, second;
    for (int i = 1; i <= 12; ++i) candidates.Texts.push_back(L"候補" + std::to_wstring(i));
    other.IsCandidateList = false;
    second.Texts = {L"x"};
    manager.Elements = {{7, &candidates}, {8, &other}, {9, &second}};
    CurrentThreadMgr = &manager;
    ASSERT_EQ(Ime_TextServices_Setup(), 0);
    EXPECT_EQ(manager.ActivateFlags, VT_TF_TMAE_UIELEMENTENABLEDONLY);
    ASSERT_NE(manager.Sink, nullptr);
    D_ITfUIElementSink* sink = reinterpret_cast<D_ITfUIElementSink*>(manager.Sink);
    NewActiveField(16);

    // With the sink in place the IMM notification fetches nothing.
    Imm.CandidateList = BuildCandidateList({L"imm"}, 0);
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 1);
    EXPECT_EQ(Imm.CandidateCalls, 0);
    EXPECT_EQ(ImeState.CandidateList, nullptr);

    BOOL show = TRUE;
    EXPECT_EQ(sink->BeginUIElement(99, &show), E_INVALIDARG);
    EXPECT_EQ(show, TRUE);
    EXPECT_EQ(sink->BeginUIElement(8, &show), S_OK);  // not a candidate list: hidden, nothing captured
    EXPECT_EQ(show, FALSE);
    EXPECT_EQ(ImeState.CandidateList, nullptr);

    struct Page {
        UINT Selection;
        int Start;
        int OnPage;
    };
    const Page pages[] = {{0, 0, 5}, {7, 5, 5}, {11, 10, 2}, {4, 0, 5}};
    show = TRUE;
    ASSERT_EQ(sink->BeginUIElement(7, &show), S_OK);
    EXPECT_EQ(show, FALSE);
    EXPECT_EQ(ImeState.OpenCandidateElements, 1);
    for (const Page& page : pages) {
        candidates.Selection = page.Selection;
        ASSERT_EQ(sink->UpdateUIElement(7), S_OK);
        ASSERT_NE(ImeState.CandidateList, nullptr);
        EXPECT_EQ(CapturedCount(), 12u);
        EXPECT_EQ(CapturedSelection(), page.Selection);
        int start = -1, perPage = 0;
        Ime_CandidatePage((int)CapturedSelection(), 5, 16, 560, &start, &perPage);
        EXPECT_EQ(start, page.Start) << page.Selection;
        EXPECT_EQ(perPage, 5);
        const int onPage = (int)CapturedCount() - start < perPage ? (int)CapturedCount() - start : perPage;
        EXPECT_EQ(onPage, page.OnPage);
        EXPECT_EQ(Captured(start), L"候補" + std::to_wstring(start + 1));
    }
    EXPECT_EQ(candidates.References, 1);  // every interface handed out was released

    // A failed string is an empty one; a failed count gives an empty list.
    candidates.FailStringIndex = 3;
    sink->UpdateUIElement(7);
    EXPECT_EQ(Captured(3), L"");
    EXPECT_EQ(Captured(4), L"候補5");
    candidates.FailCount = 1;
    sink->UpdateUIElement(7);
    EXPECT_EQ(CapturedCount(), 0u);
    EXPECT_EQ(ImeState.CandidateListSize, 24);
    candidates.FailCount = 0;
    candidates.FailStringIndex = -1;
    sink->UpdateUIElement(7);

    // Two open lists: the end of the first keeps the captured list, the end of the second frees it.
    ASSERT_EQ(sink->BeginUIElement(9, &show), S_OK);
    EXPECT_EQ(ImeState.OpenCandidateElements, 2);
    EXPECT_EQ(sink->EndUIElement(7), S_OK);
    EXPECT_NE(ImeState.CandidateList, nullptr);
    EXPECT_EQ(sink->EndUIElement(9), S_OK);
    EXPECT_EQ(ImeState.CandidateList, nullptr);

    // The sink answers for its own interfaces only.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(sink->QueryInterface(VT_IID_ITfSource, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(sink->QueryInterface(VT_IID_ITfUIElementSink, nullptr), E_INVALIDARG);

    Ime_TextServices_Remove();
    EXPECT_EQ(manager.Unadvised, 1);
    EXPECT_EQ(manager.Deactivated, 1);
    EXPECT_EQ(manager.References, 1);
    EXPECT_EQ(ImeState.ThreadMgr, nullptr);
}

TEST_F(ImeTest, CandidatePageShrinksToTheDrawArea) {
    struct Case {
        int Selection, PerPage, FontSize, Height, Start, Fitted;
    };
    const Case cases[] = {
        {7, 5, 16, 560, 5, 5},   // fits
        {7, 5, 16, 106, 5, 5},   // (5 + 1) x 16 + 2 x 5 exactly
        {7, 5, 16, 105, 4, 4},   // one line fewer: (105 - 10) / 16 - 1 = 4
        {7, 5, 16, 20, 7, 1},    // never below one
    };
    for (const Case& c : cases) {
        int start = -1, fitted = -1;
        Ime_CandidatePage(c.Selection, c.PerPage, c.FontSize, c.Height, &start, &fitted);
        EXPECT_EQ(fitted, c.Fitted) << c.Height;
        EXPECT_EQ(start, c.Start) << c.Height;
    }
}

TEST_F(ImeTest, ReconversionChecksTheCallersSizeBeforeWriting) {
    const int field = NewActiveField(16);
    KeyInputRecord* record = KeyInput_GetRecord(field);
    for (wchar_t c : std::wstring(L"abcdef")) KeyInput_StockChar(c);
    PollMessages();
    ASSERT_EQ(Text(field), L"abcdef");
    record->Cursor = 2;

    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 6 * 2 + 34);
    std::vector<uint8_t> small(64, 0xCC);
    reinterpret_cast<RECONVERTSTRING*>(small.data())->dwSize = 45;
    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, (LPARAM)small.data()), 0);
    for (size_t i = 4; i < small.size(); ++i) ASSERT_EQ(small[i], 0xCC) << i;
    EXPECT_EQ(Text(field), L"abcdef");

    std::vector<uint8_t> block(46, 0xCC);
    RECONVERTSTRING* request = reinterpret_cast<RECONVERTSTRING*>(block.data());
    request->dwSize = 46;
    Imm.SetCompositionResult = FALSE;  // the IME declines: the field stays as it is
    Imm.Calls.clear();
    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, (LPARAM)request), 0);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(block.data() + 32)), L"abcdef");
    EXPECT_EQ(request->dwStrLen, 6u);
    EXPECT_EQ(request->dwStrOffset, 32u);
    EXPECT_EQ(request->dwCompStrLen, 6u);
    EXPECT_EQ(request->dwCompStrOffset, 4u);  // the range starts at the cursor
    EXPECT_EQ(request->dwTargetStrLen, 0u);
    EXPECT_EQ(Text(field), L"abcdef");
    EXPECT_EQ(Imm.Calls.size(), 2u);  // the query, then the set

    // Accepted: the range (kept inside the text) leaves the field for the IME's result.
    Imm.SetCompositionResult = TRUE;
    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, (LPARAM)request), 0);
    EXPECT_EQ(Text(field), L"ab");
    EXPECT_EQ(record->Cursor, 2);

    // With a selection only the selection is offered.
    record->SelectAnchor = 2;
    record->SelectEnd = 0;
    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 2 * 2 + 34);
    EXPECT_EQ(Send(WM_IME_REQUEST, IMR_RECONVERTSTRING, (LPARAM)request), 0);
    EXPECT_EQ(request->dwCompStrLen, 2u);
    EXPECT_EQ(request->dwCompStrOffset, 0u);
    EXPECT_EQ(Text(field), L"");
}

TEST_F(ImeTest, AttachingFollowsTheFieldAndReopeningRestoresTheComposition) {
    ImeState.Attached = 1;  // as after an earlier field that allowed double-byte text
    const int single = NewActiveField(8, 1);
    EXPECT_EQ(KeyInputState.ActiveHandle, single);
    EXPECT_EQ(ImeState.Attached, 0);
    ASSERT_FALSE(Imm.Associated.empty());
    EXPECT_EQ(Imm.Associated.back(), nullptr);
    EXPECT_EQ(ImeState.SavedContext, WindowContext);
    NewActiveField(8);
    EXPECT_EQ(ImeState.Attached, 1);
    EXPECT_EQ(Imm.Associated.back(), WindowContext);

    OpenTheIme();
    EXPECT_EQ(Ime_IsConversionOpen(), 1);
    Imm.Composition = L"へんかん";
    Imm.Calls.clear();
    Ime_RequestReopenIfOpen();
    EXPECT_EQ(ImeState.ReopenStep, 1);
    PollMessages();
    EXPECT_EQ(ImeState.ReopenStep, 0);
    const std::vector<std::string> expected = {
        "notify " + std::to_string(NI_COMPOSITIONSTR) + " " + std::to_string(CPS_CANCEL) + " 0",
        "open 0", "open 1", "open 1", "set " + std::to_string(SCS_SETSTR) + " 8"};
    EXPECT_EQ(Imm.Calls, expected);
    ASSERT_EQ(Imm.SetStrings.size(), 1u);
    EXPECT_EQ(Imm.SetStrings[0], L"へんかん");

    // Detaching drops the candidates and the composition.
    Imm.CandidateList = BuildCandidateList({L"候補"}, 0);
    Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 1);
    ASSERT_NE(ImeState.CandidateList, nullptr);
    ActivateKeyInput(-1);
    EXPECT_EQ(ImeState.Attached, 0);
    EXPECT_EQ(ImeState.CandidateList, nullptr);
    EXPECT_EQ(ImeState.Composition[0], 0);
}

namespace {

struct EnableImeCall {
    HWND Window;
    BOOL Enable;
};
std::vector<EnableImeCall> EnableImeCalls;

BOOL WINAPI RecordingEnableIme(HWND window, BOOL enable) {
    EnableImeCalls.push_back({window, enable});
    return TRUE;
}

}  // namespace

TEST_F(ImeTest, EndingWithAFieldThatUsesTheImeFreesItsCandidatesAndTheRestartKeepsTheImeOn) {
    NewActiveField(16);
    ASSERT_EQ(ImeState.Attached, 1);
    Imm.CandidateList = BuildCandidateList({L"感じ", L"漢字"}, 0);
    ASSERT_EQ(Send(WM_IME_NOTIFY, IMN_OPENCANDIDATE, 1), 0);
    ASSERT_NE(ImeState.CandidateList, nullptr);

    // The program ends while the list is shown: nothing of the memory layer is left behind.
    ASSERT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(ImeState.CandidateList, nullptr);
    EXPECT_EQ(System_GetLeftoverBlockCount(), 0);

    // Started again, the new window gets its IME back, as the field it will show needs it.
    WinAPI_EnsureLoaded();
    SavedTable = WinAPITable;  // the fresh table of this start, for the tear-down
    EnableImeCalls.clear();
    WinAPITable.WINNLSEnableIME = RecordingEnableIme;
    WindowTest::StartLibraryForSuite();
    EXPECT_EQ(ImeState.CandidateList, nullptr);
    HWND window = MainWindow();
    int lastForWindow = -1;
    for (const EnableImeCall& call : EnableImeCalls)
        if (call.Window == window) lastForWindow = call.Enable ? 1 : 0;
    EXPECT_EQ(lastForWindow, 1);
    WinAPITable.WINNLSEnableIME = SavedTable.WINNLSEnableIME;
}
