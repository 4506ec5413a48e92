// Direct3D 11 call layer: the wrappers over the global device, immediate context and factory, the
// live-object counters, the main-thread hand-over of the ASync variants, and the two libraries.
// Stands on the asynchronous-loading service (main-thread requests) and the log.
#include "graphics_d3d11/VtGraphicsD3D11Call.h"

#include <d3d11_1.h>

#include <initializer_list>
#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"

namespace Vantrel {

D3D11CallApiRecord D3D11CallApi;
D3D11CallStateRecord D3D11CallState;
D3D11CallTimingRecord D3D11CallTiming;

namespace {

#define VT_D3D11_CONTEXT (D3D11CallState.Context)
#define VT_D3D11_DEVICE (D3D11CallState.Device)

inline void NoteCall() { D3D11CallState.LastDeviceCallThread = GetCurrentThreadId(); }
inline void NoteContextCall(D3D11ContextCall call) {
    D3D11CallState.ContextCalls[call]++;
    NoteCall();
}

inline int64_t TimingNow() {
    LARGE_INTEGER counter;
    WinAPITable.QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// Adds the time of the wrapped call it lives in to a sum, while the timing is switched on.
struct TimedCall {
    int64_t& Sum;
    const int32_t On;
    const int64_t Start;
    explicit TimedCall(int64_t& sum = D3D11CallTiming.CallTicks)
        : Sum(sum), On(D3D11CallTiming.Enabled), Start(On ? TimingNow() : 0) {}
    ~TimedCall() {
        if (!On) return;
        Sum += TimingNow() - Start;
        ++D3D11CallTiming.Calls;
    }
    TimedCall(const TimedCall&) = delete;
    TimedCall& operator=(const TimedCall&) = delete;
};

inline HRESULT Counted(HRESULT result, D3D11ObjectType type) {
    if (result == S_OK) D3D11CallState.ObjectCount[type]++;
    return result;
}

// Hands a call to the main thread: the request carries the arguments as words (pointers as they are;
// the caller's data stays valid because the loader thread waits until the procedure has run).
int PostToMainThread(MainThreadRequestProc procedure, std::initializer_list<intptr_t> words) {
    MainThreadRequest request = {};
    request.Procedure = procedure;
    int i = 0;
    for (intptr_t word : words) request.Params[i++] = word;
    return ASyncLoad_MainThreadRequest_Post(&request);
}

intptr_t FloatWord(float value) {
    intptr_t word = 0;
    memcpy(&word, &value, sizeof(value));
    return word;
}
float WordFloat(intptr_t word) {
    float value;
    memcpy(&value, &word, sizeof(value));
    return value;
}

template <typename T>
T* Param(const MainThreadRequest* request, int index) {
    return (T*)request->Params[index];
}

// Takes an export of a loaded library, unless the entry was put in from outside.
template <typename Proc>
FARPROC LookUp(Proc& entry, int fakedIndex, HMODULE module, const char* name) {
    if (entry != nullptr) return (FARPROC)entry;
    if (module == nullptr) return nullptr;
    entry = (Proc)(void*)GetProcAddress(module, name);
    D3D11CallApi.Faked[fakedIndex] = 0;
    return (FARPROC)entry;
}

void ForgetLookUps(int dxgi) {
    if (!dxgi && !D3D11CallApi.Faked[0]) D3D11CallApi.D3D11CreateDevice = nullptr;
    if (dxgi) {
        if (!D3D11CallApi.Faked[1]) D3D11CallApi.CreateDXGIFactory = nullptr;
        if (!D3D11CallApi.Faked[2]) D3D11CallApi.CreateDXGIFactory1 = nullptr;
        if (!D3D11CallApi.Faked[3]) D3D11CallApi.CreateDXGIFactory2 = nullptr;
    }
}

template <typename T>
void ReleaseAndClear(T*& object) {
    if (object == nullptr) return;
    object->Release();
    object = nullptr;
}

// The last release of the layer's own reference: an object that still lives afterwards (something made
// from it was never released) keeps running code of the module that made it.
template <typename T>
void ReleaseLastAndClear(T*& object) {
    if (object == nullptr) return;
    if (object->Release() != 0) D3D11CallState.ObjectsOutlived = 1;
    object = nullptr;
}

// Frees a module unless objects outlived the device: such a module is pinned for the rest of the process,
// so that a late release of those objects (or a thread of the system's runtime serving them) never runs
// unloaded code.
void FreeLibraryUnlessOutlived(HMODULE module, const wchar_t* name) {
    if (D3D11CallState.ObjectsOutlived) {
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, name, &pinned);
    }
    FreeLibrary(module);
}

}  // namespace

// ---- Libraries and globals ----

int D3D11Call_LoadD3D11() {
    D3D11CallState.ObjectsOutlived = 0;
    Log_AddTextShiftJIS("d3d11.dll の読み込み.... ");
    D3D11CallState.D3D11Module = LoadLibraryW(L"d3d11.dll");
    if (D3D11CallState.D3D11Module == nullptr) {
        Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int D3D11Call_LoadDXGI(int log) {
    if (log) Log_AddTextShiftJIS("dxgi.dll の読み込み.... ");
    D3D11CallState.DXGIModule = LoadLibraryW(L"dxgi.dll");
    if (D3D11CallState.DXGIModule == nullptr) {
        if (D3D11CallState.D3D11Module != nullptr) {
            FreeLibrary(D3D11CallState.D3D11Module);
            D3D11CallState.D3D11Module = nullptr;
            ForgetLookUps(0);
        }
        if (log) Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    if (log) Log_AddTextShiftJIS("成功\n");
    return 0;
}

int D3D11Call_FreeD3D11() {
    if (D3D11CallState.D3D11Module == nullptr) return 0;
    Log_AddTextShiftJIS("d3d11.dll の解放 1\n");
    if (D3D11CallState.ObjectsOutlived)
        Log_AddTextShiftJIS("解放されていない Direct3D 11 のオブジェクトがあるので d3d11.dll と dxgi.dll は読み込んだままにします\n");
    FreeLibraryUnlessOutlived(D3D11CallState.D3D11Module, L"d3d11.dll");
    D3D11CallState.D3D11Module = nullptr;
    ForgetLookUps(0);
    return 0;
}

int D3D11Call_FreeDXGI(int log) {
    if (D3D11CallState.DXGIModule == nullptr) return 0;
    if (log) Log_AddTextShiftJIS("dxgi.dll の解放 1\n");
    FreeLibraryUnlessOutlived(D3D11CallState.DXGIModule, L"dxgi.dll");
    D3D11CallState.DXGIModule = nullptr;
    ForgetLookUps(1);
    return 0;
}

FARPROC D3D11Call_GetD3D11Proc(const char* name) {
    if (strcmp(name, "D3D11CreateDevice") == 0)
        return LookUp(D3D11CallApi.D3D11CreateDevice, 0, D3D11CallState.D3D11Module, name);
    return D3D11CallState.D3D11Module != nullptr ? GetProcAddress(D3D11CallState.D3D11Module, name) : nullptr;
}

FARPROC D3D11Call_GetDXGIProc(const char* name) {
    HMODULE module = D3D11CallState.DXGIModule;
    if (strcmp(name, "CreateDXGIFactory") == 0) return LookUp(D3D11CallApi.CreateDXGIFactory, 1, module, name);
    if (strcmp(name, "CreateDXGIFactory1") == 0) return LookUp(D3D11CallApi.CreateDXGIFactory1, 2, module, name);
    if (strcmp(name, "CreateDXGIFactory2") == 0) return LookUp(D3D11CallApi.CreateDXGIFactory2, 3, module, name);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

int D3D11Call_Device_ReleaseAll() {
    if (D3D11CallState.Context != nullptr) {
        D3D11CallState.Context->ClearState();
        D3D11CallState.Context->Flush();
        ReleaseAndClear(D3D11CallState.Context);
    }
    ReleaseAndClear(D3D11CallState.DXGIDevice);
    ReleaseLastAndClear(D3D11CallState.Device);
    ReleaseAndClear(D3D11CallState.Adapter);
    ReleaseAndClear(D3D11CallState.Adapter1);
    ReleaseAndClear(D3D11CallState.Adapter2);
    ReleaseAndClear(D3D11CallState.Adapter3);
    ReleaseAndClear(D3D11CallState.Adapter4);
    D3D11Call_DXGIFactory_ReleaseAll();
    return 0;
}

int D3D11Call_DXGIFactory_ReleaseAll() {
    ReleaseAndClear(D3D11CallState.Factory6);
    ReleaseLastAndClear(D3D11CallState.Factory);
    D3D11CallState.Factory1 = nullptr;
    D3D11CallState.Factory2 = nullptr;
    return 0;
}

int D3D11Call_DumpObjectCounts() {
    static const char* const formats[D3D11OBJ_TYPE_COUNT] = {
        "ID3D11Buffer : %d",           "ID3D11Texture1D : %d",          "ID3D11Texture2D : %d",
        "ID3D11Texture3D : %d",        "ID3D11ShaderResourceView : %d", "ID3D11RenderTargetView : %d",
        "ID3D11DepthStencilView : %d", "ID3D11InputLayout : %d",        "ID3D11VertexShader : %d",
        nullptr,                       "ID3D11PixelShader : %d",        "ID3D11BlendState : %d",
        "ID3D11DepthStencilState : %d", "ID3D11RasterizerState : %d",   "ID3D11SamplerState : %d",
    };
    Log_AddTextShiftJIS("Direct3D11 のオブジェクト数を出力\n");
    int total = 0;
    for (int type = 0; type < D3D11OBJ_TYPE_COUNT; ++type) {
        const int count = D3D11CallState.ObjectCount[type];
        if (formats[type] == nullptr || count <= 0) continue;
        Log_AddFormatShiftJIS(formats[type], count);
        total += count;
    }
    Log_AddFormatShiftJIS("Direct3D11 のオブジェクト合計数 : %d", total);
    return 0;
}

int D3D11Call_GetTotalObjectCount() {
    int total = 0;
    for (int count : D3D11CallState.ObjectCount) total += count;
    return total;
}

void D3D11Call_SetTiming(int enabled) {
    WinAPI_EnsureLoaded();
    LARGE_INTEGER frequency = {};
    WinAPITable.QueryPerformanceFrequency(&frequency);
    D3D11CallTiming.Frequency = frequency.QuadPart;
    D3D11CallTiming.Enabled = enabled != 0 && frequency.QuadPart > 0;
    D3D11Call_ResetTiming();
}

void D3D11Call_ResetTiming() {
    D3D11CallTiming.CallTicks = 0;
    D3D11CallTiming.PresentTicks = 0;
    D3D11CallTiming.Calls = 0;
}

double D3D11Call_TicksToMilliseconds(int64_t ticks) {
    return D3D11CallTiming.Frequency > 0 ? (double)ticks * 1000.0 / (double)D3D11CallTiming.Frequency : 0.0;
}

void D3D11Call_ResetContextCallCounts() { memset(D3D11CallState.ContextCalls, 0, sizeof(D3D11CallState.ContextCalls)); }

int D3D11Call_Device_Exists() { return D3D11CallState.Device != nullptr ? 1 : 0; }
int D3D11Call_DXGIFactory_Exists() { return D3D11CallState.Factory != nullptr ? 1 : 0; }
int D3D11Call_DXGIFactory6_Exists() { return D3D11CallState.Factory6 != nullptr ? 1 : 0; }

// ---- Immediate context ----

void D3D11Call_DeviceContext_ClearDepthStencilView(ID3D11DepthStencilView* view, UINT flags, FLOAT depth, UINT8 stencil) {
    NoteContextCall(D3D11CALL_ClearDepthStencilView);
    const TimedCall timed;
    VT_D3D11_CONTEXT->ClearDepthStencilView(view, flags, depth, stencil);
}

int D3D11Call_DeviceContext_ClearDepthStencilViewASync(ID3D11DepthStencilView* view, UINT flags, FLOAT depth,
                                                       UINT8 stencil, int otherThread) {
    if (!otherThread) {
        D3D11Call_DeviceContext_ClearDepthStencilView(view, flags, depth, stencil);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            D3D11Call_DeviceContext_ClearDepthStencilView(Param<ID3D11DepthStencilView>(r, 0), (UINT)r->Params[1],
                                                          WordFloat(r->Params[2]), (UINT8)r->Params[3]);
            return 0;
        },
        {(intptr_t)view, (intptr_t)flags, FloatWord(depth), (intptr_t)stencil});
}

void D3D11Call_DeviceContext_ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]) {
    NoteContextCall(D3D11CALL_ClearRenderTargetView);
    const TimedCall timed;
    VT_D3D11_CONTEXT->ClearRenderTargetView(view, color);
}

int D3D11Call_DeviceContext_ClearRenderTargetViewASync(ID3D11RenderTargetView* view, const FLOAT color[4],
                                                       int otherThread) {
    if (!otherThread) {
        D3D11Call_DeviceContext_ClearRenderTargetView(view, color);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            FLOAT color[4];
            memcpy(color, Param<const FLOAT>(r, 1), sizeof(color));
            D3D11Call_DeviceContext_ClearRenderTargetView(Param<ID3D11RenderTargetView>(r, 0), color);
            return 0;
        },
        {(intptr_t)view, (intptr_t)color});
}

void D3D11Call_DeviceContext_CopyResource(ID3D11Resource* destination, ID3D11Resource* source) {
    NoteContextCall(D3D11CALL_CopyResource);
    const TimedCall timed;
    VT_D3D11_CONTEXT->CopyResource(destination, source);
}
void D3D11Call_DeviceContext_Draw(UINT vertexCount, UINT startVertex) {
    NoteContextCall(D3D11CALL_Draw);
    const TimedCall timed;
    VT_D3D11_CONTEXT->Draw(vertexCount, startVertex);
}
void D3D11Call_DeviceContext_DrawIndexed(UINT indexCount, UINT startIndex, INT baseVertex) {
    NoteContextCall(D3D11CALL_DrawIndexed);
    const TimedCall timed;
    VT_D3D11_CONTEXT->DrawIndexed(indexCount, startIndex, baseVertex);
}
void D3D11Call_DeviceContext_CSSetShader(ID3D11ComputeShader* shader, ID3D11ClassInstance* const* instances, UINT count) {
    NoteContextCall(D3D11CALL_CSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->CSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_DSSetShader(ID3D11DomainShader* shader, ID3D11ClassInstance* const* instances, UINT count) {
    NoteContextCall(D3D11CALL_DSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->DSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_HSSetShader(ID3D11HullShader* shader, ID3D11ClassInstance* const* instances, UINT count) {
    NoteContextCall(D3D11CALL_HSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->HSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_GSSetShader(ID3D11GeometryShader* shader, ID3D11ClassInstance* const* instances,
                                         UINT count) {
    NoteContextCall(D3D11CALL_GSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->GSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_GSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) {
    NoteContextCall(D3D11CALL_GSSetShaderResources);
    const TimedCall timed;
    VT_D3D11_CONTEXT->GSSetShaderResources(start, count, views);
}
void D3D11Call_DeviceContext_IASetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format, UINT offset) {
    NoteContextCall(D3D11CALL_IASetIndexBuffer);
    const TimedCall timed;
    VT_D3D11_CONTEXT->IASetIndexBuffer(buffer, format, offset);
}
void D3D11Call_DeviceContext_IASetInputLayout(ID3D11InputLayout* layout) {
    NoteContextCall(D3D11CALL_IASetInputLayout);
    const TimedCall timed;
    VT_D3D11_CONTEXT->IASetInputLayout(layout);
}
void D3D11Call_DeviceContext_IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) {
    NoteContextCall(D3D11CALL_IASetPrimitiveTopology);
    const TimedCall timed;
    VT_D3D11_CONTEXT->IASetPrimitiveTopology(topology);
}
void D3D11Call_DeviceContext_IASetVertexBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers, const UINT* strides,
                                                const UINT* offsets) {
    NoteContextCall(D3D11CALL_IASetVertexBuffers);
    const TimedCall timed;
    VT_D3D11_CONTEXT->IASetVertexBuffers(start, count, buffers, strides, offsets);
}

HRESULT D3D11Call_DeviceContext_Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
                                    D3D11_MAPPED_SUBRESOURCE* mapped) {
    NoteContextCall(D3D11CALL_Map);
    const TimedCall timed;
    return VT_D3D11_CONTEXT->Map(resource, subresource, type, flags, mapped);
}

HRESULT D3D11Call_DeviceContext_MapASync(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
                                         D3D11_MAPPED_SUBRESOURCE* mapped, int otherThread) {
    if (!otherThread) return D3D11Call_DeviceContext_Map(resource, subresource, type, flags, mapped);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D11Call_DeviceContext_Map(Param<ID3D11Resource>(r, 0), (UINT)r->Params[1],
                                                    (D3D11_MAP)r->Params[2], (UINT)r->Params[3],
                                                    Param<D3D11_MAPPED_SUBRESOURCE>(r, 4));
        },
        {(intptr_t)resource, (intptr_t)subresource, (intptr_t)type, (intptr_t)flags, (intptr_t)mapped});
}

int D3D11Call_DeviceContext_UnmapASync(ID3D11Resource* resource, UINT subresource, int otherThread) {
    if (!otherThread) {
        NoteContextCall(D3D11CALL_Unmap);
        const TimedCall timed;
        VT_D3D11_CONTEXT->Unmap(resource, subresource);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) { return D3D11Call_DeviceContext_UnmapASync(Param<ID3D11Resource>(r, 0), (UINT)r->Params[1], 0); },
        {(intptr_t)resource, (intptr_t)subresource});
}

void D3D11Call_DeviceContext_OMSetBlendState(ID3D11BlendState* state, const FLOAT factor[4], UINT sampleMask) {
    NoteContextCall(D3D11CALL_OMSetBlendState);
    const TimedCall timed;
    VT_D3D11_CONTEXT->OMSetBlendState(state, factor, sampleMask);
}
void D3D11Call_DeviceContext_OMSetDepthStencilState(ID3D11DepthStencilState* state, UINT stencilRef) {
    NoteContextCall(D3D11CALL_OMSetDepthStencilState);
    const TimedCall timed;
    VT_D3D11_CONTEXT->OMSetDepthStencilState(state, stencilRef);
}
void D3D11Call_DeviceContext_OMSetRenderTargets(UINT count, ID3D11RenderTargetView* const* views,
                                                ID3D11DepthStencilView* depth) {
    NoteContextCall(D3D11CALL_OMSetRenderTargets);
    const TimedCall timed;
    VT_D3D11_CONTEXT->OMSetRenderTargets(count, views, depth);
}
void D3D11Call_DeviceContext_PSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) {
    NoteContextCall(D3D11CALL_PSSetConstantBuffers);
    const TimedCall timed;
    VT_D3D11_CONTEXT->PSSetConstantBuffers(start, count, buffers);
}
void D3D11Call_DeviceContext_PSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers) {
    NoteContextCall(D3D11CALL_PSSetSamplers);
    const TimedCall timed;
    VT_D3D11_CONTEXT->PSSetSamplers(start, count, samplers);
}
void D3D11Call_DeviceContext_PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const* instances, UINT count) {
    NoteContextCall(D3D11CALL_PSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->PSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_PSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) {
    NoteContextCall(D3D11CALL_PSSetShaderResources);
    const TimedCall timed;
    VT_D3D11_CONTEXT->PSSetShaderResources(start, count, views);
}
void D3D11Call_DeviceContext_VSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers) {
    NoteContextCall(D3D11CALL_VSSetConstantBuffers);
    const TimedCall timed;
    VT_D3D11_CONTEXT->VSSetConstantBuffers(start, count, buffers);
}
void D3D11Call_DeviceContext_VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const* instances, UINT count) {
    NoteContextCall(D3D11CALL_VSSetShader);
    const TimedCall timed;
    VT_D3D11_CONTEXT->VSSetShader(shader, instances, count);
}
void D3D11Call_DeviceContext_VSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views) {
    NoteContextCall(D3D11CALL_VSSetShaderResources);
    const TimedCall timed;
    VT_D3D11_CONTEXT->VSSetShaderResources(start, count, views);
}
void D3D11Call_DeviceContext_RSSetState(ID3D11RasterizerState* state) {
    NoteContextCall(D3D11CALL_RSSetState);
    const TimedCall timed;
    VT_D3D11_CONTEXT->RSSetState(state);
}
void D3D11Call_DeviceContext_RSSetViewports(UINT count, const D3D11_VIEWPORT* viewports) {
    NoteContextCall(D3D11CALL_RSSetViewports);
    const TimedCall timed;
    VT_D3D11_CONTEXT->RSSetViewports(count, viewports);
}
void D3D11Call_DeviceContext_ResolveSubresource(ID3D11Resource* destination, UINT destinationSub, ID3D11Resource* source,
                                                UINT sourceSub, DXGI_FORMAT format) {
    NoteContextCall(D3D11CALL_ResolveSubresource);
    const TimedCall timed;
    VT_D3D11_CONTEXT->ResolveSubresource(destination, destinationSub, source, sourceSub, format);
}
void D3D11Call_DeviceContext_UpdateSubresource(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box,
                                               const void* data, UINT rowPitch, UINT depthPitch) {
    NoteContextCall(D3D11CALL_UpdateSubresource);
    const TimedCall timed;
    VT_D3D11_CONTEXT->UpdateSubresource(resource, subresource, box, data, rowPitch, depthPitch);
}

int D3D11Call_DeviceContext_UpdateSubresourceASync(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box,
                                                   const void* data, UINT rowPitch, UINT depthPitch, int otherThread) {
    if (!otherThread) {
        D3D11Call_DeviceContext_UpdateSubresource(resource, subresource, box, data, rowPitch, depthPitch);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            D3D11Call_DeviceContext_UpdateSubresource(Param<ID3D11Resource>(r, 0), (UINT)r->Params[1],
                                                      Param<const D3D11_BOX>(r, 2), Param<const void>(r, 3),
                                                      (UINT)r->Params[4], (UINT)r->Params[5]);
            return 0;
        },
        {(intptr_t)resource, (intptr_t)subresource, (intptr_t)box, (intptr_t)data, (intptr_t)rowPitch,
         (intptr_t)depthPitch});
}

// ---- Device ----

// A creation with a resource or description, optional data and an out pointer, and its ASync twin.
#define VT_D3D11_CREATE_WITH_ASYNC(name, argType1, argType2, outType, counter)                                        \
    HRESULT D3D11Call_Device_##name(argType1 a, argType2 b, outType** out) {                                          \
        NoteCall();                                                                                                   \
        const TimedCall timed;                                                                                        \
        return Counted(VT_D3D11_DEVICE->name(a, b, out), counter);                                                    \
    }                                                                                                                 \
    HRESULT D3D11Call_Device_##name##ASync(argType1 a, argType2 b, outType** out, int otherThread) {                  \
        if (!otherThread) return D3D11Call_Device_##name(a, b, out);                                                  \
        return PostToMainThread(                                                                                      \
            [](MainThreadRequest* r) {                                                                                \
                return (int)D3D11Call_Device_##name((argType1)r->Params[0], (argType2)r->Params[1],                   \
                                                    Param<outType*>(r, 2));                                           \
            },                                                                                                        \
            {(intptr_t)a, (intptr_t)b, (intptr_t)out});                                                               \
    }

VT_D3D11_CREATE_WITH_ASYNC(CreateBuffer, const D3D11_BUFFER_DESC*, const D3D11_SUBRESOURCE_DATA*, ID3D11Buffer,
                           D3D11OBJ_BUFFER)
VT_D3D11_CREATE_WITH_ASYNC(CreateTexture2D, const D3D11_TEXTURE2D_DESC*, const D3D11_SUBRESOURCE_DATA*, ID3D11Texture2D,
                           D3D11OBJ_TEXTURE2D)
VT_D3D11_CREATE_WITH_ASYNC(CreateShaderResourceView, ID3D11Resource*, const D3D11_SHADER_RESOURCE_VIEW_DESC*,
                           ID3D11ShaderResourceView, D3D11OBJ_SHADER_RESOURCE_VIEW)
VT_D3D11_CREATE_WITH_ASYNC(CreateRenderTargetView, ID3D11Resource*, const D3D11_RENDER_TARGET_VIEW_DESC*,
                           ID3D11RenderTargetView, D3D11OBJ_RENDER_TARGET_VIEW)
VT_D3D11_CREATE_WITH_ASYNC(CreateDepthStencilView, ID3D11Resource*, const D3D11_DEPTH_STENCIL_VIEW_DESC*,
                           ID3D11DepthStencilView, D3D11OBJ_DEPTH_STENCIL_VIEW)
#undef VT_D3D11_CREATE_WITH_ASYNC

// A shader creation (code, size, linkage, out) and its ASync twin.
#define VT_D3D11_CREATE_SHADER(kind, counter)                                                                         \
    HRESULT D3D11Call_Device_Create##kind(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,                 \
                                          ID3D11##kind** shader) {                                                    \
        NoteCall();                                                                                                   \
        const TimedCall timed;                                                                                        \
        return Counted(VT_D3D11_DEVICE->Create##kind(code, size, linkage, shader), counter);                          \
    }                                                                                                                 \
    HRESULT D3D11Call_Device_Create##kind##ASync(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,          \
                                                 ID3D11##kind** shader, int otherThread) {                            \
        if (!otherThread) return D3D11Call_Device_Create##kind(code, size, linkage, shader);                          \
        return PostToMainThread(                                                                                      \
            [](MainThreadRequest* r) {                                                                                \
                return (int)D3D11Call_Device_Create##kind(Param<const void>(r, 0), (SIZE_T)r->Params[1],             \
                                                          Param<ID3D11ClassLinkage>(r, 2),                            \
                                                          Param<ID3D11##kind*>(r, 3));                                \
            },                                                                                                        \
            {(intptr_t)code, (intptr_t)size, (intptr_t)linkage, (intptr_t)shader});                                   \
    }

VT_D3D11_CREATE_SHADER(VertexShader, D3D11OBJ_VERTEX_SHADER)
VT_D3D11_CREATE_SHADER(GeometryShader, D3D11OBJ_GEOMETRY_SHADER)
VT_D3D11_CREATE_SHADER(PixelShader, D3D11OBJ_PIXEL_SHADER)
#undef VT_D3D11_CREATE_SHADER

HRESULT D3D11Call_Device_CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* elements, UINT count, const void* code,
                                           SIZE_T codeSize, ID3D11InputLayout** layout) {
    NoteCall();
    const TimedCall timed;
    return Counted(VT_D3D11_DEVICE->CreateInputLayout(elements, count, code, codeSize, layout), D3D11OBJ_INPUT_LAYOUT);
}
HRESULT D3D11Call_Device_CreateBlendState(const D3D11_BLEND_DESC* desc, ID3D11BlendState** state) {
    NoteCall();
    const TimedCall timed;
    return Counted(VT_D3D11_DEVICE->CreateBlendState(desc, state), D3D11OBJ_BLEND_STATE);
}
HRESULT D3D11Call_Device_CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* desc, ID3D11DepthStencilState** state) {
    NoteCall();
    const TimedCall timed;
    return Counted(VT_D3D11_DEVICE->CreateDepthStencilState(desc, state), D3D11OBJ_DEPTH_STENCIL_STATE);
}
HRESULT D3D11Call_Device_CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc, ID3D11RasterizerState** state) {
    NoteCall();
    const TimedCall timed;
    return Counted(VT_D3D11_DEVICE->CreateRasterizerState(desc, state), D3D11OBJ_RASTERIZER_STATE);
}
HRESULT D3D11Call_Device_CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state) {
    NoteCall();
    const TimedCall timed;
    return Counted(VT_D3D11_DEVICE->CreateSamplerState(desc, state), D3D11OBJ_SAMPLER_STATE);
}
HRESULT D3D11Call_Device_CheckFormatSupport(DXGI_FORMAT format, UINT* support) {
    NoteCall();
    const TimedCall timed;
    return VT_D3D11_DEVICE->CheckFormatSupport(format, support);
}

int D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT format, UINT* samples, UINT* quality, int strict) {
    NoteCall();
    const TimedCall timed;
    if (*samples <= 1) {
        *quality = 0;
        return 0;
    }
    UINT levels[2] = {0, 0};
    const DXGI_FORMAT formats[2] = {format, DXGI_FORMAT_D16_UNORM};
    for (int step = 0; step < 2; ++step) {
        for (;;) {
            HRESULT result = VT_D3D11_DEVICE->CheckMultisampleQualityLevels(formats[step], *samples, &levels[step]);
            if (result == S_OK && levels[step] > 0) break;
            if (strict) {
                *quality = 0;
                return -1;
            }
            if (--*samples <= 1) {
                *samples = 1;
                *quality = 0;
                return 0;
            }
        }
    }
    const UINT most = (levels[0] < levels[1] ? levels[0] : levels[1]) - 1;
    if (*quality > most) *quality = most;
    return 0;
}

int D3D11Call_Device_CheckMultiSampleParamASync(DXGI_FORMAT format, UINT* samples, UINT* quality, int strict,
                                                int otherThread) {
    if (!otherThread) return D3D11Call_Device_CheckMultiSampleParam(format, samples, quality, strict);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return D3D11Call_Device_CheckMultiSampleParam((DXGI_FORMAT)r->Params[0], Param<UINT>(r, 1),
                                                          Param<UINT>(r, 2), (int)r->Params[3]);
        },
        {(intptr_t)format, (intptr_t)samples, (intptr_t)quality, (intptr_t)strict});
}

// ---- Factory, adapter, output, swap chain, texture, view ----

HRESULT D3D11Call_DXGIFactory_EnumAdapters(UINT index, IDXGIAdapter** adapter) {
    const TimedCall timed;
    return D3D11CallState.Factory->EnumAdapters(index, adapter);
}
HRESULT D3D11Call_DXGIFactory_EnumAdapterByGpuPreference(UINT index, DXGI_GPU_PREFERENCE preference, REFIID riid,
                                                         void** adapter) {
    const TimedCall timed;
    return D3D11CallState.Factory6->EnumAdapterByGpuPreference(index, preference, riid, adapter);
}
HRESULT D3D11Call_DXGIFactory_MakeWindowAssociation(HWND window, UINT flags) {
    const TimedCall timed;
    return D3D11CallState.Factory->MakeWindowAssociation(window, flags);
}
HRESULT D3D11Call_DXGIFactory_CreateSwapChain(DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** swapChain) {
    const TimedCall timed;
    return D3D11CallState.Factory->CreateSwapChain(D3D11CallState.Device, desc, swapChain);
}
HRESULT D3D11Call_DXGIFactory_CreateSwapChainForHwnd(IUnknown* device, HWND window, const DXGI_SWAP_CHAIN_DESC1* desc,
                                                     const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreenDesc,
                                                     IDXGIOutput* restrictTo, IDXGISwapChain1** swapChain) {
    const TimedCall timed;
    return D3D11CallState.Factory2->CreateSwapChainForHwnd(device, window, desc, fullscreenDesc, restrictTo, swapChain);
}
HRESULT D3D11Call_Adapter_EnumOutputs(IDXGIAdapter* adapter, UINT index, IDXGIOutput** output) {
    const TimedCall timed;
    return adapter->EnumOutputs(index, output);
}
HRESULT D3D11Call_Adapter_GetDesc(IDXGIAdapter* adapter, DXGI_ADAPTER_DESC* desc) {
    const TimedCall timed;
    return adapter->GetDesc(desc);
}
HRESULT D3D11Call_Output_GetDesc(IDXGIOutput* output, DXGI_OUTPUT_DESC* desc) {
    const TimedCall timed;
    return output->GetDesc(desc);
}
HRESULT D3D11Call_Output_WaitForVBlank(IDXGIOutput* output) {
    const TimedCall timed;
    return output->WaitForVBlank();
}
HRESULT D3D11Call_SwapChain_GetBuffer(IDXGISwapChain* swapChain, UINT index, REFIID riid, void** buffer) {
    const TimedCall timed;
    return Counted(swapChain->GetBuffer(index, riid, buffer), D3D11OBJ_TEXTURE2D);
}
HRESULT D3D11Call_SwapChain_GetContainingOutput(IDXGISwapChain* swapChain, IDXGIOutput** output) {
    const TimedCall timed;
    return swapChain->GetContainingOutput(output);
}
HRESULT D3D11Call_SwapChain_GetDesc(IDXGISwapChain* swapChain, DXGI_SWAP_CHAIN_DESC* desc) {
    const TimedCall timed;
    return swapChain->GetDesc(desc);
}
HRESULT D3D11Call_SwapChain_Present(IDXGISwapChain* swapChain, UINT syncInterval, UINT flags) {
    const TimedCall timed(D3D11CallTiming.PresentTicks);
    return swapChain->Present(syncInterval, flags);
}
HRESULT D3D11Call_SwapChain_ResizeBuffers(IDXGISwapChain* swapChain, UINT count, UINT width, UINT height,
                                          DXGI_FORMAT format, UINT flags) {
    const TimedCall timed;
    return swapChain->ResizeBuffers(count, width, height, format, flags);
}
HRESULT D3D11Call_SwapChain_SetFullscreenState(IDXGISwapChain* swapChain, BOOL fullscreen, IDXGIOutput* output) {
    const TimedCall timed;
    return swapChain->SetFullscreenState(fullscreen, output);
}
void D3D11Call_Texture2D_GetDesc(ID3D11Texture2D* texture, D3D11_TEXTURE2D_DESC* desc) {
    const TimedCall timed;
    texture->GetDesc(desc);
}
void D3D11Call_View_GetResource(ID3D11View* view, ID3D11Resource** resource) {
    const TimedCall timed;
    view->GetResource(resource);
}
void D3D11Call_View_GetDesc(ID3D11RenderTargetView* view, D3D11_RENDER_TARGET_VIEW_DESC* desc) {
    const TimedCall timed;
    view->GetDesc(desc);
}

// ---- Region copy and rectangle clear ----

D3D11CallRegionCountsRecord D3D11CallRegionCounts;

void D3D11Call_DeviceContext_CopySubresourceRegion(ID3D11Resource* destination, UINT destinationSub, UINT x, UINT y,
                                                   UINT z, ID3D11Resource* source, UINT sourceSub, const D3D11_BOX* box) {
    NoteCall();
    const TimedCall timed;
    ++D3D11CallRegionCounts.CopySubresourceRegion;
    VT_D3D11_CONTEXT->CopySubresourceRegion(destination, destinationSub, x, y, z, source, sourceSub, box);
}

HRESULT D3D11Call_DeviceContext_ClearView(ID3D11View* view, const FLOAT colour[4], const D3D11_RECT* rects, UINT count) {
    NoteCall();
    const TimedCall timed;
    ID3D11DeviceContext1* context1 = nullptr;
    if (VT_D3D11_CONTEXT->QueryInterface(__uuidof(ID3D11DeviceContext1), (void**)&context1) != S_OK || context1 == nullptr)
        return E_NOINTERFACE;
    ++D3D11CallRegionCounts.ClearView;
    context1->ClearView(view, colour, rects, count);
    context1->Release();
    return S_OK;
}

// ---- Releases ----

#define VT_D3D11_RELEASE_BODY(name, type, counter)                                                                    \
    ULONG D3D11Call_##name##_Release(type* object) {                                                                  \
        if (object == nullptr) return 0;                                                                              \
        D3D11CallState.ObjectCount[counter]--;                                                                        \
        const TimedCall timed;                                                                                        \
        return object->Release();                                                                                     \
    }
VT_D3D11_COUNTED_TYPES(VT_D3D11_RELEASE_BODY)
#undef VT_D3D11_RELEASE_BODY

#define VT_D3D11_RELEASE_ASYNC_BODY(name, type)                                                                       \
    int D3D11Call_##name##_ReleaseASync(type* object, int otherThread) {                                              \
        if (!otherThread) {                                                                                           \
            D3D11Call_##name##_Release(object);                                                                       \
            return 0;                                                                                                 \
        }                                                                                                             \
        return PostToMainThread(                                                                                      \
            [](MainThreadRequest* r) {                                                                                \
                D3D11Call_##name##_Release(Param<type>(r, 0));                                                        \
                return 0;                                                                                             \
            },                                                                                                        \
            {(intptr_t)object});                                                                                      \
    }
VT_D3D11_RELEASE_ASYNC_BODY(DepthStencilView, ID3D11DepthStencilView)
VT_D3D11_RELEASE_ASYNC_BODY(PixelShader, ID3D11PixelShader)
VT_D3D11_RELEASE_ASYNC_BODY(Texture2D, ID3D11Texture2D)
VT_D3D11_RELEASE_ASYNC_BODY(VertexShader, ID3D11VertexShader)
#undef VT_D3D11_RELEASE_ASYNC_BODY

ULONG D3D11Call_Object_Release(IUnknown* object) {
    if (object == nullptr) return 0;
    const TimedCall timed;
    return object->Release();
}

}  // namespace Vantrel
