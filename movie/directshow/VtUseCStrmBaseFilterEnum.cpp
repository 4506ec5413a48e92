// VtUseCStrmBaseFilterEnum: the companions of the filter and pin bases: pin and media-type
// enumerators, media-type records, the pointer list, filter registration, the IDispatch support
// (OLE Automation loaded at run time) and the wait that keeps a window thread's messages flowing.
#include <string.h>

#include "foundation/VtMemory.h"
#include "movie/directshow/VtUseCStrmBaseFilter.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"

namespace Vantrel {

// Loaded by the first type-information request, freed with the last object of the family.
HMODULE StrmBase_OleAutomationModule;

// ---- Media-type records ------------------------------------------------------------------------------

void StrmBase_MediaType_Init(AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return;
    memset(type, 0, sizeof(*type));
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
}

HRESULT StrmBase_MediaType_Copy(AM_MEDIA_TYPE* destination, const AM_MEDIA_TYPE* source)
{
    if (destination == nullptr || source == nullptr) return E_POINTER;
    WinAPI_EnsureLoaded();
    *destination = *source;
    if (source->cbFormat != 0 && source->pbFormat != nullptr) {
        destination->pbFormat = (BYTE*)WinAPITable.CoTaskMemAlloc(source->cbFormat);
        if (destination->pbFormat == nullptr) {
            destination->cbFormat = 0;
            destination->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(destination->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        destination->cbFormat = 0;
        destination->pbFormat = nullptr;
    }
    if (destination->pUnk != nullptr) destination->pUnk->AddRef();
    return S_OK;
}

void StrmBase_MediaType_Destroy(AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return;
    if (type->pbFormat != nullptr) {
        WinAPI_EnsureLoaded();
        WinAPITable.CoTaskMemFree(type->pbFormat);
    }
    type->cbFormat = 0;
    type->pbFormat = nullptr;
    if (type->pUnk != nullptr) {
        type->pUnk->Release();
        type->pUnk = nullptr;
    }
}

BOOL StrmBase_MediaType_Equal(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b)
{
    if (a == nullptr || b == nullptr) return a == b;
    if (a->majortype != b->majortype || a->subtype != b->subtype || a->formattype != b->formattype) return FALSE;
    if (a->cbFormat != b->cbFormat) return FALSE;
    if (a->cbFormat == 0) return TRUE;
    if (a->pbFormat == nullptr || b->pbFormat == nullptr) return a->pbFormat == b->pbFormat;
    return memcmp(a->pbFormat, b->pbFormat, a->cbFormat) == 0;
}

BOOL StrmBase_MediaType_IsPartiallySpecified(const AM_MEDIA_TYPE* type)
{
    return type->majortype == GUID_NULL || type->formattype == GUID_NULL;
}

BOOL StrmBase_MediaType_MatchesPartial(const AM_MEDIA_TYPE* type, const AM_MEDIA_TYPE* partial)
{
    if (partial->majortype != GUID_NULL && partial->majortype != type->majortype) return FALSE;
    if (partial->subtype != GUID_NULL && partial->subtype != type->subtype) return FALSE;
    if (partial->formattype != GUID_NULL) {
        if (partial->formattype != type->formattype) return FALSE;
        if (partial->cbFormat != type->cbFormat) return FALSE;
        if (partial->cbFormat != 0 &&
            (partial->pbFormat == nullptr || type->pbFormat == nullptr ||
             memcmp(partial->pbFormat, type->pbFormat, partial->cbFormat) != 0))
            return FALSE;
    }
    return TRUE;
}

AM_MEDIA_TYPE* StrmBase_MediaType_Duplicate(const AM_MEDIA_TYPE* source)
{
    if (source == nullptr) return nullptr;
    WinAPI_EnsureLoaded();
    AM_MEDIA_TYPE* copy = (AM_MEDIA_TYPE*)WinAPITable.CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
    if (copy == nullptr) return nullptr;
    if (FAILED(StrmBase_MediaType_Copy(copy, source))) {
        WinAPITable.CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

void StrmBase_MediaType_Delete(AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return;
    WinAPI_EnsureLoaded();
    StrmBase_MediaType_Destroy(type);
    WinAPITable.CoTaskMemFree(type);
}

HRESULT StrmBase_GetWideString(const wchar_t* text, LPWSTR* out)
{
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    WinAPI_EnsureLoaded();
    size_t bytes = (StrmBase_Text_Length(text) + 1) * sizeof(wchar_t);
    wchar_t* copy = (wchar_t*)WinAPITable.CoTaskMemAlloc(bytes);
    if (copy == nullptr) return E_OUTOFMEMORY;
    if (text != nullptr)
        memcpy(copy, text, bytes);
    else
        copy[0] = 0;
    *out = copy;
    return S_OK;
}

// ---- Pointer list ------------------------------------------------------------------------------------

void StrmBase_PtrList_Init(StrmBase_PtrList* list)
{
    memset(list, 0, sizeof(*list));
    list->CacheLimit = 10;
}

static void StrmBase_PtrList_FreeChain(StrmBase_PtrListNode* node)
{
    while (node != nullptr) {
        StrmBase_PtrListNode* next = node->Next;
        Memory_Free(node);
        node = next;
    }
}

void StrmBase_PtrList_Free(StrmBase_PtrList* list)
{
    StrmBase_PtrList_FreeChain(list->Head);
    StrmBase_PtrList_FreeChain(list->CacheHead);
    int32_t limit = list->CacheLimit;
    memset(list, 0, sizeof(*list));
    list->CacheLimit = limit;
}

StrmBase_PtrListNode* StrmBase_PtrList_AddTail(StrmBase_PtrList* list, void* object)
{
    StrmBase_PtrListNode* node = list->CacheHead;
    if (node != nullptr) {
        list->CacheHead = node->Next;
        list->CachedCount--;
    } else {
        node = (StrmBase_PtrListNode*)Memory_Allocate(sizeof(StrmBase_PtrListNode), __FILE__, __LINE__);
        if (node == nullptr) return nullptr;
    }
    node->Object = object;
    node->Next = nullptr;
    node->Previous = list->Tail;
    if (list->Tail != nullptr)
        list->Tail->Next = node;
    else
        list->Head = node;
    list->Tail = node;
    list->Count++;
    return node;
}

static void StrmBase_PtrList_Unlink(StrmBase_PtrList* list, StrmBase_PtrListNode* node)
{
    if (node->Previous != nullptr)
        node->Previous->Next = node->Next;
    else
        list->Head = node->Next;
    if (node->Next != nullptr)
        node->Next->Previous = node->Previous;
    else
        list->Tail = node->Previous;
    list->Count--;
    if (list->CachedCount < list->CacheLimit) {
        node->Next = list->CacheHead;
        node->Previous = nullptr;
        list->CacheHead = node;
        list->CachedCount++;
    } else {
        Memory_Free(node);
    }
}

void* StrmBase_PtrList_RemoveHead(StrmBase_PtrList* list)
{
    StrmBase_PtrListNode* node = list->Head;
    if (node == nullptr) return nullptr;
    void* object = node->Object;
    StrmBase_PtrList_Unlink(list, node);
    return object;
}

BOOL StrmBase_PtrList_Contains(const StrmBase_PtrList* list, const void* object)
{
    for (StrmBase_PtrListNode* node = list->Head; node != nullptr; node = node->Next)
        if (node->Object == object) return TRUE;
    return FALSE;
}

void StrmBase_PtrList_RemoveAll(StrmBase_PtrList* list)
{
    while (list->Head != nullptr) StrmBase_PtrList_Unlink(list, list->Head);
}

BOOL StrmBase_PtrList_AppendCopy(StrmBase_PtrList* destination, const StrmBase_PtrList* source)
{
    for (StrmBase_PtrListNode* node = source->Head; node != nullptr; node = node->Next)
        if (StrmBase_PtrList_AddTail(destination, node->Object) == nullptr) return FALSE;
    return TRUE;
}

// ---- Pin enumerator ----------------------------------------------------------------------------------

D_CEnumPins::D_CEnumPins(D_CBaseFilter* filter, const D_CEnumPins* copyFrom)
    : Position(0), PinCount(0), Filter(filter), Version(0), ReferenceCount(1)
{
    StrmBase_PtrList_Init(&HandedOut);
    if (copyFrom != nullptr) {
        Position = copyFrom->Position;
        PinCount = copyFrom->PinCount;
        Version = copyFrom->Version;
        StrmBase_PtrList_AppendCopy(&HandedOut, &copyFrom->HandedOut);
    } else {
        Version = Filter->GetPinVersion();
        PinCount = Filter->GetPinCount();
    }
    Filter->AsBaseFilter()->AddRef();
}

D_CEnumPins::~D_CEnumPins()
{
    Filter->AsBaseFilter()->Release();
    StrmBase_PtrList_Free(&HandedOut);
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IEnumPins || iid == IID_IUnknown) return StrmBase_GetInterface(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CEnumPins::AddRef() { return (ULONG)InterlockedIncrement(&ReferenceCount); }

ULONG STDMETHODCALLTYPE D_CEnumPins::Release()
{
    LONG count = InterlockedDecrement(&ReferenceCount);
    if (count == 0) delete this;
    return (ULONG)count;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Next(ULONG count, D_IPin** pins, ULONG* fetched)
{
    if (pins == nullptr) return E_POINTER;
    if (fetched == nullptr && count != 1) return E_INVALIDARG;
    if (fetched != nullptr) *fetched = 0;
    if (Filter->GetPinVersion() != Version) {
        // The filter's pins changed: start over, but never hand out a pin twice.
        Version = Filter->GetPinVersion();
        PinCount = Filter->GetPinCount();
        Position = 0;
    }
    int32_t left = PinCount - Position;
    if (left <= 0) return S_FALSE;
    ULONG wanted = count < (ULONG)left ? count : (ULONG)left;
    ULONG got = 0;
    while (got < wanted && Position < PinCount) {
        D_CBasePin* pin = Filter->GetPin(Position);
        Position++;
        if (pin == nullptr) {
            if (fetched != nullptr) *fetched = got;
            return VFW_E_ENUM_OUT_OF_SYNC;
        }
        if (StrmBase_PtrList_Contains(&HandedOut, pin)) continue;
        if (StrmBase_PtrList_AddTail(&HandedOut, pin) == nullptr) break;
        pins[got] = pin->AsPin();
        pin->AsPin()->AddRef();
        got++;
    }
    if (fetched != nullptr) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Skip(ULONG count)
{
    if (Filter->GetPinVersion() != Version) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG left = PinCount > Position ? (ULONG)(PinCount - Position) : 0;
    if (count > left) return S_FALSE;
    Position += (int32_t)count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Reset()
{
    Version = Filter->GetPinVersion();
    PinCount = Filter->GetPinCount();
    Position = 0;
    StrmBase_PtrList_RemoveAll(&HandedOut);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumPins::Clone(D_IEnumPins** clone)
{
    if (clone == nullptr) return E_POINTER;
    *clone = nullptr;
    if (Filter->GetPinVersion() != Version) return VFW_E_ENUM_OUT_OF_SYNC;
    D_CEnumPins* copy = new (__FILE__, __LINE__) D_CEnumPins(Filter, this);
    if (copy == nullptr) return E_OUTOFMEMORY;
    if (copy->HandedOut.Count != HandedOut.Count) {
        copy->Release();
        return E_OUTOFMEMORY;
    }
    *clone = copy;
    return S_OK;
}

// ---- Media-type enumerator ---------------------------------------------------------------------------

D_CEnumMediaTypes::D_CEnumMediaTypes(D_CBasePin* pin, const D_CEnumMediaTypes* copyFrom)
    : Position(0), Pin(pin), Version(0), ReferenceCount(1)
{
    if (copyFrom != nullptr) {
        Position = copyFrom->Position;
        Version = copyFrom->Version;
    } else {
        Version = Pin->GetMediaTypeVersion();
    }
    Pin->AsPin()->AddRef();
}

D_CEnumMediaTypes::~D_CEnumMediaTypes() { Pin->AsPin()->Release(); }

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IEnumMediaTypes || iid == IID_IUnknown) return StrmBase_GetInterface(this, object);
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_CEnumMediaTypes::AddRef() { return (ULONG)InterlockedIncrement(&ReferenceCount); }

ULONG STDMETHODCALLTYPE D_CEnumMediaTypes::Release()
{
    LONG count = InterlockedDecrement(&ReferenceCount);
    if (count == 0) delete this;
    return (ULONG)count;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (types == nullptr) return E_POINTER;
    if (fetched == nullptr && count != 1) return E_INVALIDARG;
    if (fetched != nullptr) *fetched = 0;
    if (Pin->GetMediaTypeVersion() != Version) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG got = 0;
    while (got < count) {
        AM_MEDIA_TYPE type;
        StrmBase_MediaType_Init(&type);
        HRESULT hr = Pin->GetMediaType(Position, &type);
        Position++;
        if (hr != S_OK) {
            StrmBase_MediaType_Destroy(&type);
            break;
        }
        AM_MEDIA_TYPE* record = (AM_MEDIA_TYPE*)WinAPITable.CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
        if (record == nullptr) {
            StrmBase_MediaType_Destroy(&type);
            break;
        }
        *record = type;  // the record takes over the format block
        types[got++] = record;
    }
    if (fetched != nullptr) *fetched = got;
    return got == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Skip(ULONG count)
{
    if (count == 0) return S_OK;
    if (Pin->GetMediaTypeVersion() != Version) return VFW_E_ENUM_OUT_OF_SYNC;
    Position += (int32_t)count;
    AM_MEDIA_TYPE type;
    StrmBase_MediaType_Init(&type);
    HRESULT hr = Pin->GetMediaType(Position - 1, &type);
    StrmBase_MediaType_Destroy(&type);
    return hr == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Reset()
{
    Position = 0;
    Version = Pin->GetMediaTypeVersion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_CEnumMediaTypes::Clone(D_IEnumMediaTypes** clone)
{
    if (clone == nullptr) return E_POINTER;
    *clone = nullptr;
    if (Pin->GetMediaTypeVersion() != Version) return VFW_E_ENUM_OUT_OF_SYNC;
    D_CEnumMediaTypes* copy = new (__FILE__, __LINE__) D_CEnumMediaTypes(Pin, this);
    if (copy == nullptr) return E_OUTOFMEMORY;
    *clone = copy;
    return S_OK;
}

// ---- Filter registration -----------------------------------------------------------------------------

HRESULT StrmBase_RegisterFilterSetup(const StrmBase_FilterSetup* setup, IFilterMapper* mapper, BOOL registering)
{
    if (setup == nullptr) return S_FALSE;
    if (mapper == nullptr) return E_POINTER;
    const CLSID& classId = *setup->ClassId;
    HRESULT hr = mapper->UnregisterFilter(classId);
    if (registering) {
        hr = mapper->RegisterFilter(classId, setup->Name, setup->Merit);
        for (UINT i = 0; SUCCEEDED(hr) && i < setup->PinCount; i++) {
            const REGFILTERPINS& pin = setup->Pins[i];
            CLSID connectsTo = pin.clsConnectsToFilter != nullptr ? *pin.clsConnectsToFilter : GUID_NULL;
            hr = mapper->RegisterPin(classId, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany, connectsTo,
                                     pin.strConnectsToPin);
            for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; t++) {
                const REGPINTYPES& type = pin.lpMediaType[t];
                hr = mapper->RegisterPinType(classId, pin.strName,
                                             type.clsMajorType != nullptr ? *type.clsMajorType : GUID_NULL,
                                             type.clsMinorType != nullptr ? *type.clsMinorType : GUID_NULL);
            }
        }
    }
    if (hr == StrmBase_FileNotFound) hr = S_OK;
    return hr;
}

// ---- IDispatch support -------------------------------------------------------------------------------

typedef HRESULT(WINAPI* StrmBase_LoadRegTypeLibProc)(REFGUID library, WORD major, WORD minor, LCID locale,
                                                     ITypeLib** typeLib);
typedef HRESULT(WINAPI* StrmBase_LoadTypeLibProc)(LPCOLESTR file, ITypeLib** typeLib);

static HRESULT StrmBase_Dispatch_Load(StrmBase_Dispatch* dispatch, REFIID iid, LCID locale)
{
    if (dispatch->TypeInfo != nullptr) return S_OK;
    WinAPI_EnsureLoaded();
    HMODULE module = StrmBase_OleAutomationModule;
    if (module == nullptr) {
        module = WinAPITable.LoadLibraryW(L"OleAut32.dll");
        if (module == nullptr) return HRESULT_FROM_WIN32(WinAPITable.GetLastError());
        HMODULE previous =
            (HMODULE)InterlockedCompareExchangePointer((void* volatile*)&StrmBase_OleAutomationModule, module, nullptr);
        if (previous != nullptr) {
            WinAPITable.FreeLibrary(module);
            module = previous;
        }
    }
    StrmBase_LoadRegTypeLibProc loadRegistered =
        (StrmBase_LoadRegTypeLibProc)(void*)WinAPITable.GetProcAddress(module, "LoadRegTypeLib");
    StrmBase_LoadTypeLibProc loadFile = (StrmBase_LoadTypeLibProc)(void*)WinAPITable.GetProcAddress(module, "LoadTypeLib");
    if (loadRegistered == nullptr || loadFile == nullptr) return HRESULT_FROM_WIN32(WinAPITable.GetLastError());
    ITypeLib* library = nullptr;
    HRESULT hr = loadRegistered(LIBID_QuartzTypeLib, 1, 0, locale, &library);
    if (FAILED(hr)) hr = loadFile(L"control.tlb", &library);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = library->GetTypeInfoOfGuid(iid, &info);
    library->Release();
    if (FAILED(hr)) return hr;
    dispatch->TypeInfo = info;
    return S_OK;
}

HRESULT StrmBase_Dispatch_GetTypeInfo(StrmBase_Dispatch* dispatch, REFIID iid, UINT index, LCID locale,
                                      ITypeInfo** typeInfo)
{
    if (typeInfo == nullptr) return E_POINTER;
    *typeInfo = nullptr;
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    HRESULT hr = StrmBase_Dispatch_Load(dispatch, iid, locale);
    if (FAILED(hr)) return hr;
    *typeInfo = dispatch->TypeInfo;
    dispatch->TypeInfo->AddRef();
    return S_OK;
}

HRESULT StrmBase_Dispatch_GetIDsOfNames(StrmBase_Dispatch* dispatch, REFIID iid, LPOLESTR* names, UINT count,
                                        LCID locale, DISPID* ids)
{
    ITypeInfo* info = nullptr;
    HRESULT hr = StrmBase_Dispatch_GetTypeInfo(dispatch, iid, 0, locale, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

void StrmBase_Dispatch_Release(StrmBase_Dispatch* dispatch)
{
    if (dispatch->TypeInfo != nullptr) {
        dispatch->TypeInfo->Release();
        dispatch->TypeInfo = nullptr;
    }
}

// ---- Message-dispatching wait ------------------------------------------------------------------------

DWORD StrmBase_WaitDispatchingMessages(HANDLE event, DWORD timeout)
{
    WinAPI_EnsureLoaded();
    static UINT unblockMessage;
    if (unblockMessage == 0) unblockMessage = WinAPITable.RegisterWindowMessageW(L"AMUnblock");

    const DWORD begin = WinAPITable.timeGetTime();
    HANDLE thread = WinAPITable.GetCurrentThread();
    BOOL dispatched = FALSE;
    int oldPriority = THREAD_PRIORITY_NORMAL;
    DWORD result;
    for (;;) {
        DWORD slice = 10;
        if (timeout != INFINITE) {
            DWORD elapsed = WinAPITable.timeGetTime() - begin;
            DWORD left = elapsed < timeout ? timeout - elapsed : 0;
            if (left < slice) slice = left;
        }
        result = WinAPITable.MsgWaitForMultipleObjects(1, &event, FALSE, slice, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0 + 1) {
            // A sent message: a peek with no removal lets it through.
            MSG message;
            WinAPITable.PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
            if (!dispatched) {
                dispatched = TRUE;
                oldPriority = WinAPITable.GetThreadPriority(thread);
                if (oldPriority < THREAD_PRIORITY_HIGHEST) WinAPITable.SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
            }
            result = WAIT_TIMEOUT;
        }
        if (result != WAIT_TIMEOUT) break;
        if (timeout != INFINITE && WinAPITable.timeGetTime() - begin >= timeout) break;
    }
    if (dispatched) {
        WinAPITable.SetThreadPriority(thread, oldPriority);
        if ((HIWORD(WinAPITable.GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE) != 0) {
            // Posted messages wait: make sure the thread's message loop wakes for them.
            MSG message;
            while (WinAPITable.PeekMessageW(&message, (HWND)-1, unblockMessage, unblockMessage, PM_REMOVE)) {
            }
            WinAPITable.PostThreadMessageW(WinAPITable.GetCurrentThreadId(), unblockMessage, 0, 0);
        }
    }
    return result;
}

}  // namespace Vantrel
