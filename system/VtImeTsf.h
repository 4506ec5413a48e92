// Text Services Framework declarations the compiler's headers lack or that the library keeps as its
// own copies: IUnknown and ITfUIElementSink as plain virtual interfaces, the candidate-list UI element,
// the interface ids and the activation flag. Written from the published interface documentation.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace Vantrel {

// ThreadMgrEx activation flag: only UI-element-aware text services are loaded.
const DWORD VT_TF_TMAE_UIELEMENTENABLEDONLY = 0x00000004;

// {00000000-0000-0000-C000-000000000046}
const GUID VT_IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {529A9E6B-6587-4F23-AB9E-9C7D683E3C50}
const GUID VT_CLSID_TF_ThreadMgr = {0x529A9E6B, 0x6587, 0x4F23, {0xAB, 0x9E, 0x9C, 0x7D, 0x68, 0x3E, 0x3C, 0x50}};
// {3E90ADE3-7594-4CB0-BB58-69628F5F458C}
const GUID VT_IID_ITfThreadMgrEx = {0x3E90ADE3, 0x7594, 0x4CB0, {0xBB, 0x58, 0x69, 0x62, 0x8F, 0x5F, 0x45, 0x8C}};
// {4EA48A35-60AE-446F-8FD6-E6A8D82459F7}
const GUID VT_IID_ITfSource = {0x4EA48A35, 0x60AE, 0x446F, {0x8F, 0xD6, 0xE6, 0xA8, 0xD8, 0x24, 0x59, 0xF7}};
// {EA1EA135-19DF-11D7-A6D2-00065B84435C}
const GUID VT_IID_ITfUIElementMgr = {0xEA1EA135, 0x19DF, 0x11D7, {0xA6, 0xD2, 0x00, 0x06, 0x5B, 0x84, 0x43, 0x5C}};
// {EA1EA136-19DF-11D7-A6D2-00065B84435C}
const GUID VT_IID_ITfUIElementSink = {0xEA1EA136, 0x19DF, 0x11D7, {0xA6, 0xD2, 0x00, 0x06, 0x5B, 0x84, 0x43, 0x5C}};
// {EA1EA137-19DF-11D7-A6D2-00065B84435C}
const GUID VT_IID_ITfUIElement = {0xEA1EA137, 0x19DF, 0x11D7, {0xA6, 0xD2, 0x00, 0x06, 0x5B, 0x84, 0x43, 0x5C}};
// {EA1EA138-19DF-11D7-A6D2-00065B84435C}
const GUID VT_IID_ITfCandidateListUIElement = {0xEA1EA138, 0x19DF, 0x11D7,
                                               {0xA6, 0xD2, 0x00, 0x06, 0x5B, 0x84, 0x43, 0x5C}};

class D_IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

class D_ITfUIElementSink : public D_IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE BeginUIElement(DWORD id, BOOL* show) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateUIElement(DWORD id) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndUIElement(DWORD id) = 0;
};

class D_ITfUIElement : public D_IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE Show(BOOL show) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsShown(BOOL* shown) = 0;
};

class D_ITfCandidateListUIElement : public D_ITfUIElement {
public:
    virtual HRESULT STDMETHODCALLTYPE GetUpdatedFlags(DWORD* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentMgr(IUnknown** documentMgr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSelection(UINT* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetString(UINT index, BSTR* text) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPageIndex(UINT* index, UINT size, UINT* pageCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPageIndex(UINT* index, UINT pageCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPage(UINT* page) = 0;
};

// The library's UI-element sink: asks the IME to show nothing itself and captures candidate lists.
class VT_UIElementSink final : public D_ITfUIElementSink {
public:
    LONG ReferenceCount = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE BeginUIElement(DWORD id, BOOL* show) override;
    HRESULT STDMETHODCALLTYPE UpdateUIElement(DWORD id) override;
    HRESULT STDMETHODCALLTYPE EndUIElement(DWORD id) override;
};

}  // namespace Vantrel
