// Direct3D 9 call layer: the wrappers over the global Direct3D 9 object and device and over the objects
// they make, the live-object counters (a small table of the objects the layer handed out, so that one
// release wrapper serves every type), the device-call counters, the main-thread hand-over of the ASync
// variants, and d3d9.dll.
// Stands on the asynchronous-loading service (main-thread requests), the allocator, the log and the
// state cache's scene flag.
#include "graphics_d3d9/VtGraphicsD3D9Call.h"

#include <initializer_list>
#include <type_traits>
#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

D3D9CallApiRecord D3D9CallApi;
D3D9CallStateRecord D3D9CallState;

namespace {

#define VT_D3D9_DEVICE (D3D9CallState.Device)
#define VT_D3D9_OBJECT (D3D9CallState.Direct3D9)

inline void NoteDeviceCall(D3D9DeviceCall call) {
    D3D9CallState.DeviceCalls[call]++;
    D3D9CallState.LastDeviceCallThread = GetCurrentThreadId();
}

// ---- The objects handed out, with their type and the references the library holds ----

struct LiveObject {
    void* Object;        // null: empty slot
    int32_t Type;        // -1: a slot whose object was released (the search goes on past it)
    int32_t References;
};

struct LiveObjectTable {
    LiveObject* Slots;
    uint32_t Capacity;   // a power of two
    uint32_t Live;
    uint32_t Released;
};
LiveObjectTable LiveObjects;

uint32_t SlotOf(const void* object, uint32_t capacity) {
    const uint64_t key = (uint64_t)(uintptr_t)object >> 3;
    return (uint32_t)((key * 0x9E3779B97F4A7C15ull) >> 32) & (capacity - 1);
}

LiveObject* FindLive(const void* object) {
    const LiveObjectTable& table = LiveObjects;
    if (table.Slots == nullptr) return nullptr;
    for (uint32_t i = SlotOf(object, table.Capacity), n = 0; n < table.Capacity; i = (i + 1) & (table.Capacity - 1), ++n) {
        LiveObject& slot = table.Slots[i];
        if (slot.Object == nullptr) return nullptr;
        if (slot.Object == object && slot.Type >= 0) return &slot;
    }
    return nullptr;
}

void PutLive(LiveObject* slots, uint32_t capacity, void* object, int32_t type, int32_t references) {
    for (uint32_t i = SlotOf(object, capacity);; i = (i + 1) & (capacity - 1))
        if (slots[i].Object == nullptr) {
            slots[i] = {object, type, references};
            return;
        }
}

// Makes room for one more object; false when the table cannot grow (the object then goes uncounted
// on release, and shows as left over in the dump).
bool ReserveLive() {
    LiveObjectTable& table = LiveObjects;
    if (table.Slots != nullptr && ((uint64_t)table.Live + table.Released + 1) * 4 <= (uint64_t)table.Capacity * 3)
        return true;
    uint64_t capacity = 64;
    while (capacity * 3 < ((uint64_t)table.Live + 1) * 4 * 2) capacity *= 2;
    const uint64_t bytes = capacity * sizeof(LiveObject);
    if (bytes > 0x7FFFFFFFull) return false;
    LiveObject* slots = (LiveObject*)Memory_AllocateZeroed((uint32_t)bytes, __FILE__, __LINE__);
    if (slots == nullptr) return false;
    for (uint32_t i = 0; table.Slots != nullptr && i < table.Capacity; ++i) {
        const LiveObject& old = table.Slots[i];
        if (old.Object != nullptr && old.Type >= 0) PutLive(slots, (uint32_t)capacity, old.Object, old.Type, old.References);
    }
    Memory_Free(table.Slots);
    table.Slots = slots;
    table.Capacity = (uint32_t)capacity;
    table.Released = 0;
    return true;
}

void TrackObject(void* object, D3D9ObjectType type) {
    if (object == nullptr) return;
    D3D9CallState.ObjectCount[type]++;
    if (LiveObject* known = FindLive(object)) {
        known->References++;
        return;
    }
    if (!ReserveLive()) return;
    PutLive(LiveObjects.Slots, LiveObjects.Capacity, object, type, 1);
    LiveObjects.Live++;
}

void UntrackObject(void* object) {
    LiveObject* known = FindLive(object);
    if (known == nullptr) return;
    D3D9CallState.ObjectCount[known->Type]--;
    if (--known->References > 0) return;
    known->Type = -1;
    LiveObjects.Live--;
    LiveObjects.Released++;
    if (LiveObjects.Live == 0) {
        Memory_Free(LiveObjects.Slots);
        LiveObjects = {};
    }
}

template <typename T>
HRESULT Counted(HRESULT result, T** out, D3D9ObjectType type) {
    if (result == D3D_OK && out != nullptr) TrackObject(*out, type);
    return result;
}

// Hands a call to the main thread; the loader thread waits until the procedure has run.
int PostToMainThread(MainThreadRequestProc procedure, std::initializer_list<intptr_t> words) {
    return ASyncLoad_MainThreadRequest_PostWords(procedure, words);
}

template <typename T>
T* Param(const MainThreadRequest* request, int index) {
    return (T*)request->Params[index];
}

// The last release of a reference the layer holds: an object that still lives afterwards (something
// made from it was never released) keeps running code of d3d9.dll.
template <typename T>
ULONG ReleaseLastAndClear(T*& object) {
    if (object == nullptr) return 0;
    const ULONG left = object->Release();
    if (left != 0) D3D9CallState.ObjectsOutlived = 1;
    object = nullptr;
    return left;
}

}  // namespace

// ---- Library and object ----

int D3D9Call_Library_Load() {
    if (D3D9CallState.Module != nullptr) return 0;
    D3D9CallState.ObjectsOutlived = 0;
    D3D9CallState.Module = LoadLibraryW(L"d3d9.dll");
    if (D3D9CallState.Module == nullptr) {
        Log_AddTextShiftJIS("d3d9.dll の読み込みに失敗しました\n");
        return -1;
    }
    return 0;
}

int D3D9Call_Library_Free() {
    if (D3D9CallState.Module == nullptr) return 0;
    Log_AddTextShiftJIS("d3d9.dll の解放 1\n");
    if (D3D9CallState.ObjectsOutlived) {
        // A late release of those objects (or a thread of the runtime serving them) must never run
        // unloaded code: the module stays for the rest of the process.
        Log_AddTextShiftJIS("解放されていない Direct3D 9 のオブジェクトがあるので d3d9.dll は読み込んだままにします\n");
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"d3d9.dll", &pinned);
    }
    FreeLibrary(D3D9CallState.Module);
    D3D9CallState.Module = nullptr;
    if (!D3D9CallApi.Faked[0]) D3D9CallApi.Direct3DCreate9 = nullptr;
    if (!D3D9CallApi.Faked[1]) D3D9CallApi.Direct3DCreate9Ex = nullptr;
    return 0;
}

FARPROC D3D9Call_GetProc(const char* name) {
    HMODULE module = D3D9CallState.Module;
    auto lookUp = [&](auto& entry) -> FARPROC {
        if (entry == nullptr && module != nullptr)
            entry = (std::remove_reference_t<decltype(entry)>)(void*)GetProcAddress(module, name);
        return (FARPROC)(void*)entry;
    };
    if (strcmp(name, "Direct3DCreate9") == 0) return lookUp(D3D9CallApi.Direct3DCreate9);
    if (strcmp(name, "Direct3DCreate9Ex") == 0) return lookUp(D3D9CallApi.Direct3DCreate9Ex);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

ULONG D3D9Call_Direct3D9_Release() {
    D3D9CallState.Direct3D9Ex = nullptr;
    return ReleaseLastAndClear(D3D9CallState.Direct3D9);
}

int D3D9Call_Direct3D9_Exists() { return D3D9CallState.Direct3D9 != nullptr ? 1 : 0; }
int D3D9Call_Direct3D9Ex_Exists() { return D3D9CallState.Direct3D9Ex != nullptr ? 1 : 0; }

HRESULT D3D9Call_Direct3D9_GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) {
    return VT_D3D9_OBJECT->GetAdapterIdentifier(adapter, flags, identifier);
}
HMONITOR D3D9Call_Direct3D9_GetAdapterMonitor(UINT adapter) { return VT_D3D9_OBJECT->GetAdapterMonitor(adapter); }
HRESULT D3D9Call_Direct3D9_GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    return VT_D3D9_OBJECT->GetAdapterDisplayMode(adapter, mode);
}
UINT D3D9Call_Direct3D9_GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    return VT_D3D9_OBJECT->GetAdapterModeCount(adapter, format);
}
HRESULT D3D9Call_Direct3D9_GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    return VT_D3D9_OBJECT->GetDeviceCaps(adapter, type, caps);
}
HRESULT D3D9Call_Direct3D9_CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                             D3DRESOURCETYPE resourceType, D3DFORMAT format) {
    return VT_D3D9_OBJECT->CheckDeviceFormat(adapter, type, adapterFormat, usage, resourceType, format);
}
HRESULT D3D9Call_Direct3D9_CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                  D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) {
    return VT_D3D9_OBJECT->CheckDepthStencilMatch(adapter, type, adapterFormat, renderTargetFormat, depthFormat);
}
HRESULT D3D9Call_Direct3D9_CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                                      D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) {
    return VT_D3D9_OBJECT->CheckDeviceMultiSampleType(adapter, type, format, windowed, multiSample, qualityLevels);
}

int D3D9Call_Direct3D9_CheckDepthFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                        D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat) {
    if (D3D9Call_Direct3D9_CheckDeviceFormat(adapter, type, adapterFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                             depthFormat) != D3D_OK)
        return -1;
    return D3D9Call_Direct3D9_CheckDepthStencilMatch(adapter, type, adapterFormat, renderTargetFormat, depthFormat) ==
                   D3D_OK
               ? 0
               : -1;
}

// ---- Device ----

int D3D9Call_Device_Exists() { return D3D9CallState.Device != nullptr ? 1 : 0; }

int D3D9Call_Device_CheckLost() {
    if (VT_D3D9_DEVICE == nullptr) return 1;
    NoteDeviceCall(D3D9CALL_TestCooperativeLevel);
    const HRESULT result = D3D9CallApi.TestCooperativeLevel != nullptr ? D3D9CallApi.TestCooperativeLevel(VT_D3D9_DEVICE)
                                                                       : VT_D3D9_DEVICE->TestCooperativeLevel();
    return result != D3D_OK ? 1 : 0;
}

int D3D9Call_Device_Release() {
    if (D3D9CallState.SwapChain != nullptr) {
        D3D9Call_Object_Release(D3D9CallState.SwapChain);
        D3D9CallState.SwapChain = nullptr;
    }
    if (D3D9CallState.Device != nullptr) {
        Log_AddTextShiftJIS("Direct3DDevice9 の解放 2\n");
        D3D9CallState.DeviceEx = nullptr;
        ReleaseLastAndClear(D3D9CallState.Device);
    }
    return 0;
}

HRESULT D3D9Call_Device_BeginScene() {
    NoteDeviceCall(D3D9CALL_BeginScene);
    return VT_D3D9_DEVICE->BeginScene();
}

void D3D9Call_Device_BeginSceneOnce() {
    if (!D3D9Call_Direct3D9_Exists() || D3D9DeviceStateCache.Scene == 1 || !D3D9Call_Device_Exists()) return;
    D3D9Call_Device_BeginScene();
    D3D9DeviceStateCache.Scene = 1;
    D3D9DeviceStateCache.LastPrepareFlags = 0;
}

HRESULT D3D9Call_Device_EndScene() {
    NoteDeviceCall(D3D9CALL_EndScene);
    return VT_D3D9_DEVICE->EndScene();
}

HRESULT D3D9Call_Device_Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
    NoteDeviceCall(D3D9CALL_Clear);
    return VT_D3D9_DEVICE->Clear(count, rects, flags, colour, z, stencil);
}

HRESULT D3D9Call_Device_Present(const RECT* source, const RECT* destination, HWND window, const RGNDATA* dirty) {
    NoteDeviceCall(D3D9CALL_Present);
    return VT_D3D9_DEVICE->Present(source, destination, window, dirty);
}

HRESULT D3D9Call_Device_ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour) {
    NoteDeviceCall(D3D9CALL_ColorFill);
    return VT_D3D9_DEVICE->ColorFill(surface, rect, colour);
}

int D3D9Call_Device_ColorFillASync(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour, int async) {
    if (!async) {
        D3D9Call_Device_ColorFill(surface, rect, colour);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            D3D9Call_Device_ColorFill(Param<IDirect3DSurface9>(r, 0), Param<const RECT>(r, 1), (D3DCOLOR)r->Params[2]);
            return 0;
        },
        {(intptr_t)surface, (intptr_t)rect, (intptr_t)colour});
}

HRESULT D3D9Call_Device_CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DTexture9** texture, HANDLE* shared) {
    NoteDeviceCall(D3D9CALL_CreateTexture);
    return Counted(VT_D3D9_DEVICE->CreateTexture(width, height, levels, usage, format, pool, texture, shared), texture,
                   D3D9OBJ_TEXTURE);
}

HRESULT D3D9Call_Device_CreateTextureASync(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                           D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared, int async) {
    if (!async) return D3D9Call_Device_CreateTexture(width, height, levels, usage, format, pool, texture, shared);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_CreateTexture((UINT)r->Params[0], (UINT)r->Params[1], (UINT)r->Params[2],
                                                      (DWORD)r->Params[3], (D3DFORMAT)r->Params[4],
                                                      (D3DPOOL)r->Params[5], Param<IDirect3DTexture9*>(r, 6),
                                                      Param<HANDLE>(r, 7));
        },
        {(intptr_t)width, (intptr_t)height, (intptr_t)levels, (intptr_t)usage, (intptr_t)format, (intptr_t)pool,
         (intptr_t)texture, (intptr_t)shared});
}

HRESULT D3D9Call_Device_CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DCubeTexture9** texture, HANDLE* shared) {
    NoteDeviceCall(D3D9CALL_CreateCubeTexture);
    return Counted(VT_D3D9_DEVICE->CreateCubeTexture(edge, levels, usage, format, pool, texture, shared), texture,
                   D3D9OBJ_CUBE_TEXTURE);
}

HRESULT D3D9Call_Device_CreateCubeTextureASync(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                               IDirect3DCubeTexture9** texture, HANDLE* shared, int async) {
    if (!async) return D3D9Call_Device_CreateCubeTexture(edge, levels, usage, format, pool, texture, shared);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_CreateCubeTexture((UINT)r->Params[0], (UINT)r->Params[1], (DWORD)r->Params[2],
                                                          (D3DFORMAT)r->Params[3], (D3DPOOL)r->Params[4],
                                                          Param<IDirect3DCubeTexture9*>(r, 5), Param<HANDLE>(r, 6));
        },
        {(intptr_t)edge, (intptr_t)levels, (intptr_t)usage, (intptr_t)format, (intptr_t)pool, (intptr_t)texture,
         (intptr_t)shared});
}

HRESULT D3D9Call_Device_CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                           DWORD quality, BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) {
    NoteDeviceCall(D3D9CALL_CreateRenderTarget);
    return Counted(
        VT_D3D9_DEVICE->CreateRenderTarget(width, height, format, multiSample, quality, lockable, surface, shared),
        surface, D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Device_CreateRenderTargetASync(UINT width, UINT height, D3DFORMAT format,
                                                D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                                IDirect3DSurface9** surface, HANDLE* shared, int async) {
    if (!async)
        return D3D9Call_Device_CreateRenderTarget(width, height, format, multiSample, quality, lockable, surface, shared);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_CreateRenderTarget(
                (UINT)r->Params[0], (UINT)r->Params[1], (D3DFORMAT)r->Params[2], (D3DMULTISAMPLE_TYPE)r->Params[3],
                (DWORD)r->Params[4], (BOOL)r->Params[5], Param<IDirect3DSurface9*>(r, 6), Param<HANDLE>(r, 7));
        },
        {(intptr_t)width, (intptr_t)height, (intptr_t)format, (intptr_t)multiSample, (intptr_t)quality,
         (intptr_t)lockable, (intptr_t)surface, (intptr_t)shared});
}

HRESULT D3D9Call_Device_CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                  D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                  IDirect3DSurface9** surface, HANDLE* shared) {
    NoteDeviceCall(D3D9CALL_CreateDepthStencilSurface);
    return Counted(VT_D3D9_DEVICE->CreateDepthStencilSurface(width, height, format, multiSample, quality, discard,
                                                             surface, shared),
                   surface, D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Device_CreateDepthStencilSurfaceASync(UINT width, UINT height, D3DFORMAT format,
                                                       D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                       IDirect3DSurface9** surface, HANDLE* shared, int async) {
    if (!async)
        return D3D9Call_Device_CreateDepthStencilSurface(width, height, format, multiSample, quality, discard, surface,
                                                         shared);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_CreateDepthStencilSurface(
                (UINT)r->Params[0], (UINT)r->Params[1], (D3DFORMAT)r->Params[2], (D3DMULTISAMPLE_TYPE)r->Params[3],
                (DWORD)r->Params[4], (BOOL)r->Params[5], Param<IDirect3DSurface9*>(r, 6), Param<HANDLE>(r, 7));
        },
        {(intptr_t)width, (intptr_t)height, (intptr_t)format, (intptr_t)multiSample, (intptr_t)quality,
         (intptr_t)discard, (intptr_t)surface, (intptr_t)shared});
}

HRESULT D3D9Call_Device_CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DSurface9** surface, HANDLE* shared) {
    NoteDeviceCall(D3D9CALL_CreateOffscreenPlainSurface);
    return Counted(VT_D3D9_DEVICE->CreateOffscreenPlainSurface(width, height, format, pool, surface, shared), surface,
                   D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Device_CreateOffscreenPlainSurfaceASync(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                         IDirect3DSurface9** surface, HANDLE* shared, int async) {
    if (!async) return D3D9Call_Device_CreateOffscreenPlainSurface(width, height, format, pool, surface, shared);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_CreateOffscreenPlainSurface((UINT)r->Params[0], (UINT)r->Params[1],
                                                                    (D3DFORMAT)r->Params[2], (D3DPOOL)r->Params[3],
                                                                    Param<IDirect3DSurface9*>(r, 4),
                                                                    Param<HANDLE>(r, 5));
        },
        {(intptr_t)width, (intptr_t)height, (intptr_t)format, (intptr_t)pool, (intptr_t)surface, (intptr_t)shared});
}

int D3D9Call_Device_CreateVertexBufferASync(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer9** buffer, int async) {
    if (async)
        return PostToMainThread(
            [](MainThreadRequest* r) {
                return D3D9Call_Device_CreateVertexBufferASync((UINT)r->Params[0], (DWORD)r->Params[1],
                                                               (DWORD)r->Params[2], (D3DPOOL)r->Params[3],
                                                               Param<IDirect3DVertexBuffer9*>(r, 4), 0);
            },
            {(intptr_t)length, (intptr_t)usage, (intptr_t)fvf, (intptr_t)pool, (intptr_t)buffer});
    if (!D3D9Call_Device_Exists()) return -1;
    NoteDeviceCall(D3D9CALL_CreateVertexBuffer);
    return Counted(VT_D3D9_DEVICE->CreateVertexBuffer(length, usage, fvf, pool, buffer, nullptr), buffer,
                   D3D9OBJ_VERTEX_BUFFER) == D3D_OK
               ? 0
               : -1;
}

int D3D9Call_Device_CreateIndexBufferASync(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DIndexBuffer9** buffer, int async) {
    if (async)
        return PostToMainThread(
            [](MainThreadRequest* r) {
                return D3D9Call_Device_CreateIndexBufferASync((UINT)r->Params[0], (DWORD)r->Params[1],
                                                              (D3DFORMAT)r->Params[2], (D3DPOOL)r->Params[3],
                                                              Param<IDirect3DIndexBuffer9*>(r, 4), 0);
            },
            {(intptr_t)length, (intptr_t)usage, (intptr_t)format, (intptr_t)pool, (intptr_t)buffer});
    if (!D3D9Call_Device_Exists()) return -1;
    NoteDeviceCall(D3D9CALL_CreateIndexBuffer);
    return Counted(VT_D3D9_DEVICE->CreateIndexBuffer(length, usage, format, pool, buffer, nullptr), buffer,
                   D3D9OBJ_INDEX_BUFFER) == D3D_OK
               ? 0
               : -1;
}

// A shader creation (code, out) and its ASync twin.
#define VT_D3D9_CREATE_SHADER(kind, counter)                                                                          \
    HRESULT D3D9Call_Device_Create##kind(const DWORD* code, IDirect3D##kind##9** shader) {                             \
        NoteDeviceCall(D3D9CALL_Create##kind);                                                                         \
        return Counted(VT_D3D9_DEVICE->Create##kind(code, shader), shader, counter);                                   \
    }                                                                                                                 \
    HRESULT D3D9Call_Device_Create##kind##ASync(const DWORD* code, IDirect3D##kind##9** shader, int async) {           \
        if (!async) return D3D9Call_Device_Create##kind(code, shader);                                                 \
        return PostToMainThread(                                                                                      \
            [](MainThreadRequest* r) {                                                                                \
                return (int)D3D9Call_Device_Create##kind(Param<const DWORD>(r, 0), Param<IDirect3D##kind##9*>(r, 1)); \
            },                                                                                                        \
            {(intptr_t)code, (intptr_t)shader});                                                                      \
    }
VT_D3D9_CREATE_SHADER(VertexShader, D3D9OBJ_VERTEX_SHADER)
VT_D3D9_CREATE_SHADER(PixelShader, D3D9OBJ_PIXEL_SHADER)
#undef VT_D3D9_CREATE_SHADER

HRESULT D3D9Call_Device_CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                IDirect3DVertexDeclaration9** declaration) {
    NoteDeviceCall(D3D9CALL_CreateVertexDeclaration);
    return Counted(VT_D3D9_DEVICE->CreateVertexDeclaration(elements, declaration), declaration,
                   D3D9OBJ_VERTEX_DECLARATION);
}

HRESULT D3D9Call_Device_UpdateSurfaceASync(IDirect3DSurface9* source, const RECT* sourceRect,
                                           IDirect3DSurface9* destination, const POINT* destinationPoint, int async) {
    if (!async) {
        NoteDeviceCall(D3D9CALL_UpdateSurface);
        return VT_D3D9_DEVICE->UpdateSurface(source, sourceRect, destination, destinationPoint);
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Device_UpdateSurfaceASync(Param<IDirect3DSurface9>(r, 0), Param<const RECT>(r, 1),
                                                           Param<IDirect3DSurface9>(r, 2), Param<const POINT>(r, 3), 0);
        },
        {(intptr_t)source, (intptr_t)sourceRect, (intptr_t)destination, (intptr_t)destinationPoint});
}

int D3D9Call_Device_UpdateTextureASync(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination, int async) {
    if (!async) {
        NoteDeviceCall(D3D9CALL_UpdateTexture);
        VT_D3D9_DEVICE->UpdateTexture(source, destination);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return D3D9Call_Device_UpdateTextureASync(Param<IDirect3DBaseTexture9>(r, 0),
                                                      Param<IDirect3DBaseTexture9>(r, 1), 0);
        },
        {(intptr_t)source, (intptr_t)destination});
}

HRESULT D3D9Call_Device_StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                                    const RECT* destinationRect, D3DTEXTUREFILTERTYPE filter) {
    NoteDeviceCall(D3D9CALL_StretchRect);
    return VT_D3D9_DEVICE->StretchRect(source, sourceRect, destination, destinationRect, filter);
}

HRESULT D3D9Call_Device_GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* systemSurface) {
    NoteDeviceCall(D3D9CALL_GetRenderTargetData);
    return VT_D3D9_DEVICE->GetRenderTargetData(renderTarget, systemSurface);
}

HRESULT D3D9Call_Device_GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
    NoteDeviceCall(D3D9CALL_GetBackBuffer);
    return Counted(VT_D3D9_DEVICE->GetBackBuffer(swapChain, index, type, surface), surface, D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Device_GetDepthStencilSurface(IDirect3DSurface9** surface) {
    NoteDeviceCall(D3D9CALL_GetDepthStencilSurface);
    return Counted(VT_D3D9_DEVICE->GetDepthStencilSurface(surface), surface, D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Device_GetDeviceCaps(D3DCAPS9* caps) {
    NoteDeviceCall(D3D9CALL_GetDeviceCaps);
    return VT_D3D9_DEVICE->GetDeviceCaps(caps);
}

HRESULT D3D9Call_Device_GetMaterial(D3DMATERIAL9* material) {
    NoteDeviceCall(D3D9CALL_GetMaterial);
    return VT_D3D9_DEVICE->GetMaterial(material);
}

HRESULT D3D9Call_Device_SetDialogBoxMode(BOOL enable) {
    NoteDeviceCall(D3D9CALL_SetDialogBoxMode);
    return VT_D3D9_DEVICE->SetDialogBoxMode(enable);
}

// The device setters that take their arguments straight through.
#define VT_D3D9_DEVICE_SETTER(name, params, args)                                                                     \
    HRESULT D3D9Call_Device_##name params {                                                                            \
        NoteDeviceCall(D3D9CALL_##name);                                                                               \
        return VT_D3D9_DEVICE->name args;                                                                              \
    }
VT_D3D9_DEVICE_SETTER(SetRenderTarget, (DWORD index, IDirect3DSurface9* surface), (index, surface))
VT_D3D9_DEVICE_SETTER(SetDepthStencilSurface, (IDirect3DSurface9* surface), (surface))
VT_D3D9_DEVICE_SETTER(SetViewport, (const D3DVIEWPORT9* viewport), (viewport))
VT_D3D9_DEVICE_SETTER(SetScissorRect, (const RECT* rect), (rect))
VT_D3D9_DEVICE_SETTER(SetTransform, (D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix), (state, matrix))
VT_D3D9_DEVICE_SETTER(SetMaterial, (const D3DMATERIAL9* material), (material))
VT_D3D9_DEVICE_SETTER(SetLight, (DWORD index, const D3DLIGHT9* light), (index, light))
VT_D3D9_DEVICE_SETTER(LightEnable, (DWORD index, BOOL enable), (index, enable))
VT_D3D9_DEVICE_SETTER(SetRenderState, (D3DRENDERSTATETYPE state, DWORD value), (state, value))
VT_D3D9_DEVICE_SETTER(SetSamplerState, (DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value), (sampler, type, value))
VT_D3D9_DEVICE_SETTER(SetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value),
                      (stage, type, value))
VT_D3D9_DEVICE_SETTER(SetTexture, (DWORD stage, IDirect3DBaseTexture9* texture), (stage, texture))
VT_D3D9_DEVICE_SETTER(SetFVF, (DWORD fvf), (fvf))
VT_D3D9_DEVICE_SETTER(SetVertexDeclaration, (IDirect3DVertexDeclaration9* declaration), (declaration))
VT_D3D9_DEVICE_SETTER(SetStreamSource, (UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride),
                      (stream, buffer, offset, stride))
VT_D3D9_DEVICE_SETTER(SetIndices, (IDirect3DIndexBuffer9* buffer), (buffer))
VT_D3D9_DEVICE_SETTER(SetVertexShader, (IDirect3DVertexShader9* shader), (shader))
VT_D3D9_DEVICE_SETTER(SetPixelShader, (IDirect3DPixelShader9* shader), (shader))
VT_D3D9_DEVICE_SETTER(DrawPrimitiveUP, (D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride),
                      (type, primitiveCount, vertices, stride))
VT_D3D9_DEVICE_SETTER(DrawIndexedPrimitiveUP,
                      (D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount, UINT primitiveCount, const void* indices,
                       D3DFORMAT indexFormat, const void* vertices, UINT stride),
                      (type, minIndex, vertexCount, primitiveCount, indices, indexFormat, vertices, stride))
#undef VT_D3D9_DEVICE_SETTER

// The six constant setters also count the registers they send.
#define VT_D3D9_CONSTANT_SETTER(name, type, set)                                                                      \
    HRESULT D3D9Call_Device_##name(UINT start, const type* data, UINT count) {                                         \
        NoteDeviceCall(D3D9CALL_##name);                                                                               \
        D3D9CallState.ConstantRegistersSent[set] += count;                                                             \
        return VT_D3D9_DEVICE->name(start, data, count);                                                               \
    }
VT_D3D9_CONSTANT_SETTER(SetVertexShaderConstantF, float, 0)
VT_D3D9_CONSTANT_SETTER(SetVertexShaderConstantI, int, 1)
VT_D3D9_CONSTANT_SETTER(SetVertexShaderConstantB, BOOL, 2)
VT_D3D9_CONSTANT_SETTER(SetPixelShaderConstantF, float, 3)
VT_D3D9_CONSTANT_SETTER(SetPixelShaderConstantI, int, 4)
VT_D3D9_CONSTANT_SETTER(SetPixelShaderConstantB, BOOL, 5)
#undef VT_D3D9_CONSTANT_SETTER

// ---- Other objects ----

ULONG D3D9Call_Object_Release(IUnknown* object) {
    if (object == nullptr) return 0;
    UntrackObject(object);
    return object->Release();
}

int D3D9Call_Object_ReleaseASync(IUnknown* object, int async) {
    if (!async) {
        D3D9Call_Object_Release(object);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            D3D9Call_Object_Release(Param<IUnknown>(r, 0));
            return 0;
        },
        {(intptr_t)object});
}

HRESULT D3D9Call_SwapChain_Present(IDirect3DSwapChain9* swapChain, const RECT* source, const RECT* destination,
                                   HWND window, const RGNDATA* dirty, DWORD flags) {
    NoteDeviceCall(D3D9CALL_Present);
    return swapChain->Present(source, destination, window, dirty, flags);
}

HRESULT D3D9Call_Texture_GetSurfaceLevel(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** surface) {
    return Counted(texture->GetSurfaceLevel(level, surface), surface, D3D9OBJ_SURFACE);
}

HRESULT D3D9Call_Texture_GetSurfaceLevelASync(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** surface,
                                              int async) {
    if (!async) return D3D9Call_Texture_GetSurfaceLevel(texture, level, surface);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Texture_GetSurfaceLevel(Param<IDirect3DTexture9>(r, 0), (UINT)r->Params[1],
                                                         Param<IDirect3DSurface9*>(r, 2));
        },
        {(intptr_t)texture, (intptr_t)level, (intptr_t)surface});
}

HRESULT D3D9Call_Texture_LockRectASync(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                                       const RECT* rect, DWORD flags, int async) {
    if (!async) return texture->LockRect(level, locked, rect, flags);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Texture_LockRectASync(Param<IDirect3DTexture9>(r, 0), (UINT)r->Params[1],
                                                       Param<D3DLOCKED_RECT>(r, 2), Param<const RECT>(r, 3),
                                                       (DWORD)r->Params[4], 0);
        },
        {(intptr_t)texture, (intptr_t)level, (intptr_t)locked, (intptr_t)rect, (intptr_t)flags});
}

int D3D9Call_Texture_UnlockRectASync(IDirect3DTexture9* texture, UINT level, int async) {
    if (!async) {
        texture->UnlockRect(level);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return D3D9Call_Texture_UnlockRectASync(Param<IDirect3DTexture9>(r, 0), (UINT)r->Params[1], 0);
        },
        {(intptr_t)texture, (intptr_t)level});
}

HRESULT D3D9Call_CubeTexture_GetCubeMapSurfaceASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level,
                                                    IDirect3DSurface9** surface, int async) {
    if (!async) return Counted(texture->GetCubeMapSurface(face, level, surface), surface, D3D9OBJ_SURFACE);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_CubeTexture_GetCubeMapSurfaceASync(Param<IDirect3DCubeTexture9>(r, 0),
                                                                    (D3DCUBEMAP_FACES)r->Params[1], (UINT)r->Params[2],
                                                                    Param<IDirect3DSurface9*>(r, 3), 0);
        },
        {(intptr_t)texture, (intptr_t)face, (intptr_t)level, (intptr_t)surface});
}

HRESULT D3D9Call_CubeTexture_LockRectASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level,
                                           D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags, int async) {
    if (!async) return texture->LockRect(face, level, locked, rect, flags);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_CubeTexture_LockRectASync(Param<IDirect3DCubeTexture9>(r, 0),
                                                           (D3DCUBEMAP_FACES)r->Params[1], (UINT)r->Params[2],
                                                           Param<D3DLOCKED_RECT>(r, 3), Param<const RECT>(r, 4),
                                                           (DWORD)r->Params[5], 0);
        },
        {(intptr_t)texture, (intptr_t)face, (intptr_t)level, (intptr_t)locked, (intptr_t)rect, (intptr_t)flags});
}

int D3D9Call_CubeTexture_UnlockRectASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level, int async) {
    if (!async) {
        texture->UnlockRect(face, level);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return D3D9Call_CubeTexture_UnlockRectASync(Param<IDirect3DCubeTexture9>(r, 0),
                                                        (D3DCUBEMAP_FACES)r->Params[1], (UINT)r->Params[2], 0);
        },
        {(intptr_t)texture, (intptr_t)face, (intptr_t)level});
}

HRESULT D3D9Call_Surface_GetDesc(IDirect3DSurface9* surface, D3DSURFACE_DESC* desc) { return surface->GetDesc(desc); }

HRESULT D3D9Call_Surface_LockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    return surface->LockRect(locked, rect, flags);
}

HRESULT D3D9Call_Surface_LockRectASync(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags, int async) {
    if (!async) return D3D9Call_Surface_LockRect(surface, locked, rect, flags);
    return PostToMainThread(
        [](MainThreadRequest* r) {
            return (int)D3D9Call_Surface_LockRect(Param<IDirect3DSurface9>(r, 0), Param<D3DLOCKED_RECT>(r, 1),
                                                  Param<const RECT>(r, 2), (DWORD)r->Params[3]);
        },
        {(intptr_t)surface, (intptr_t)locked, (intptr_t)rect, (intptr_t)flags});
}

HRESULT D3D9Call_Surface_UnlockRect(IDirect3DSurface9* surface) { return surface->UnlockRect(); }

int D3D9Call_Surface_UnlockRectASync(IDirect3DSurface9* surface, int async) {
    if (!async) {
        D3D9Call_Surface_UnlockRect(surface);
        return 0;
    }
    return PostToMainThread(
        [](MainThreadRequest* r) {
            D3D9Call_Surface_UnlockRect(Param<IDirect3DSurface9>(r, 0));
            return 0;
        },
        {(intptr_t)surface});
}

HRESULT D3D9Call_Buffer_Lock(IDirect3DResource9* buffer, UINT offset, UINT size, void** data, DWORD flags) {
    if (buffer->GetType() == D3DRTYPE_INDEXBUFFER)
        return static_cast<IDirect3DIndexBuffer9*>(buffer)->Lock(offset, size, data, flags);
    return static_cast<IDirect3DVertexBuffer9*>(buffer)->Lock(offset, size, data, flags);
}

HRESULT D3D9Call_Buffer_Unlock(IDirect3DResource9* buffer) {
    if (buffer->GetType() == D3DRTYPE_INDEXBUFFER) return static_cast<IDirect3DIndexBuffer9*>(buffer)->Unlock();
    return static_cast<IDirect3DVertexBuffer9*>(buffer)->Unlock();
}

// ---- Counts ----

void D3D9Call_CountObject(IUnknown* object, D3D9ObjectType type) { TrackObject(object, type); }

int D3D9Call_DumpObjectCounts() {
    static const char* const formats[D3D9OBJ_TYPE_COUNT] = {
        "IDirect3DTexture9 : %d",      "IDirect3DCubeTexture9 : %d",       "IDirect3DSurface9 : %d",
        "IDirect3DVertexBuffer9 : %d", "IDirect3DIndexBuffer9 : %d",       "IDirect3DVertexShader9 : %d",
        "IDirect3DPixelShader9 : %d",  "IDirect3DVertexDeclaration9 : %d", "IDirect3DSwapChain9 : %d",
    };
    Log_AddTextShiftJIS("Direct3D9 のオブジェクト数を出力\n");
    int total = 0;
    for (int type = 0; type < D3D9OBJ_TYPE_COUNT; ++type) {
        const int count = D3D9CallState.ObjectCount[type];
        if (count <= 0) continue;
        Log_AddFormatShiftJIS(formats[type], count);
        total += count;
    }
    Log_AddFormatShiftJIS("Direct3D9 のオブジェクト合計数 : %d", total);
    return 0;
}

int D3D9Call_GetTotalObjectCount() {
    int total = 0;
    for (int count : D3D9CallState.ObjectCount) total += count;
    return total;
}

void D3D9Call_ResetDeviceCallCounts() {
    memset(D3D9CallState.DeviceCalls, 0, sizeof(D3D9CallState.DeviceCalls));
    memset(D3D9CallState.ConstantRegistersSent, 0, sizeof(D3D9CallState.ConstantRegistersSent));
}

}  // namespace Vantrel
