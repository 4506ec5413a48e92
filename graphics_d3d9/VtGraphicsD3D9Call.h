// Direct3D 9 call layer: one small wrapper per Direct3D 9 call the back-end makes, the global
// interface pointers (the Direct3D 9 object and device with their Ex forms, the implicit swap chain),
// loading and freeing d3d9.dll, one live-object counter per object type, a call counter per device
// method, and the ASync variants that let a loader thread have the main thread make a call. Wrappers
// log nothing and return what the method returns.
// Stands on the asynchronous-loading service (main-thread requests), the allocator and the log.
#pragma once

#include <d3d9.h>
#include <stdint.h>

namespace Vantrel {

// Live-object counter types, in the order of the shut-down dump.
enum D3D9ObjectType : int {
    D3D9OBJ_TEXTURE,
    D3D9OBJ_CUBE_TEXTURE,
    D3D9OBJ_SURFACE,
    D3D9OBJ_VERTEX_BUFFER,
    D3D9OBJ_INDEX_BUFFER,
    D3D9OBJ_VERTEX_SHADER,
    D3D9OBJ_PIXEL_SHADER,
    D3D9OBJ_VERTEX_DECLARATION,
    D3D9OBJ_SWAP_CHAIN,
    D3D9OBJ_TYPE_COUNT
};

// The device methods the layer wraps; each wrapper counts its calls (the tests and figures read how
// often the device was really reached).
#define VT_D3D9_DEVICE_CALLS(X)                                                                                       \
  X(TestCooperativeLevel) X(BeginScene) X(EndScene) X(Clear) X(Present) X(ColorFill) X(CreateTexture)                  \
  X(CreateCubeTexture) X(CreateRenderTarget) X(CreateDepthStencilSurface) X(CreateOffscreenPlainSurface)              \
  X(CreateVertexBuffer) X(CreateIndexBuffer) X(CreateVertexShader) X(CreatePixelShader) X(CreateVertexDeclaration)    \
  X(UpdateSurface) X(UpdateTexture) X(StretchRect) X(GetRenderTargetData) X(GetBackBuffer) X(GetDepthStencilSurface)  \
  X(GetDeviceCaps) X(GetMaterial) X(SetDialogBoxMode) X(SetRenderTarget) X(SetDepthStencilSurface) X(SetViewport)     \
  X(SetScissorRect) X(SetTransform) X(SetMaterial) X(SetLight) X(LightEnable) X(SetRenderState) X(SetSamplerState)    \
  X(SetTextureStageState) X(SetTexture) X(SetFVF) X(SetVertexDeclaration) X(SetStreamSource) X(SetIndices)            \
  X(SetVertexShader) X(SetPixelShader) X(SetVertexShaderConstantF) X(SetVertexShaderConstantI)                        \
  X(SetVertexShaderConstantB) X(SetPixelShaderConstantF) X(SetPixelShaderConstantI) X(SetPixelShaderConstantB)        \
  X(DrawPrimitiveUP) X(DrawIndexedPrimitiveUP)

enum D3D9DeviceCall : int {
#define VT_D3D9_DEVICE_CALL_ENUM(name) D3D9CALL_##name,
    VT_D3D9_DEVICE_CALLS(VT_D3D9_DEVICE_CALL_ENUM)
#undef VT_D3D9_DEVICE_CALL_ENUM
    D3D9CALL_COUNT
};

typedef IDirect3D9*(WINAPI* D3D9Call_Direct3DCreate9Proc)(UINT sdkVersion);
typedef HRESULT(WINAPI* D3D9Call_Direct3DCreate9ExProc)(UINT sdkVersion, IDirect3D9Ex** object);
typedef HRESULT(WINAPI* D3D9Call_TestCooperativeLevelProc)(IDirect3DDevice9* device);

// The creation functions taken from d3d9.dll by name. An entry set before the look-up is used in place
// of the library's export (tests put fakes there); the layer fills empty entries when it looks them up
// and clears them again when it frees the library.
struct D3D9CallApiRecord {
    D3D9Call_Direct3DCreate9Proc Direct3DCreate9;
    D3D9Call_Direct3DCreate9ExProc Direct3DCreate9Ex;
    int32_t Faked[2];   // 1 where the entry was put in from outside (kept on free)
    // When set, asked in place of the device's TestCooperativeLevel (a lost device is made this way);
    // never touched by the layer.
    D3D9Call_TestCooperativeLevelProc TestCooperativeLevel;
};
extern D3D9CallApiRecord D3D9CallApi;

// The layer's globals (one set for the process, main thread only).
struct D3D9CallStateRecord {
    HMODULE Module;                    // d3d9.dll
    IDirect3D9* Direct3D9;
    IDirect3D9Ex* Direct3D9Ex;         // the same object when Direct3DCreate9Ex made it; the Ex road is
                                       // in use exactly while this is set
    IDirect3DDevice9* Device;
    IDirect3DDevice9Ex* DeviceEx;      // the same device when it was made on the Ex road
    IDirect3DSwapChain9* SwapChain;    // implicit swap chain 0
    int32_t NoEx;                      // an Ex device was refused: the Ex road is not tried again
    int32_t ObjectCount[D3D9OBJ_TYPE_COUNT];
    uint32_t DeviceCalls[D3D9CALL_COUNT];
    uint32_t ConstantRegistersSent[6]; // registers sent by the six constant setters, in the order vertex
                                       // float, int, bool, pixel float, int, bool
    uint32_t LastDeviceCallThread;     // thread id of the latest device call made
    int32_t ObjectsOutlived;           // the device or object was still referenced at its release: the
                                       // module stays loaded, since its code still backs those objects
};
extern D3D9CallStateRecord D3D9CallState;

// ---- Library and object ----

int D3D9Call_Library_Load();
int D3D9Call_Library_Free();
// The export of the loaded library (or the entry put in D3D9CallApi); null when missing.
FARPROC D3D9Call_GetProc(const char* name);
ULONG D3D9Call_Direct3D9_Release();
int D3D9Call_Direct3D9_Exists();
int D3D9Call_Direct3D9Ex_Exists();
HRESULT D3D9Call_Direct3D9_GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier);
HMONITOR D3D9Call_Direct3D9_GetAdapterMonitor(UINT adapter);
HRESULT D3D9Call_Direct3D9_GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode);
UINT D3D9Call_Direct3D9_GetAdapterModeCount(UINT adapter, D3DFORMAT format);
HRESULT D3D9Call_Direct3D9_GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps);
HRESULT D3D9Call_Direct3D9_CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                             D3DRESOURCETYPE resourceType, D3DFORMAT format);
HRESULT D3D9Call_Direct3D9_CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                                  D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat);
HRESULT D3D9Call_Direct3D9_CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                                      D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels);
// 0 when the depth format is usable as a depth-stencil surface and matches the render-target format, else -1.
int D3D9Call_Direct3D9_CheckDepthFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                        D3DFORMAT renderTargetFormat, D3DFORMAT depthFormat);

// ---- Device ----

int D3D9Call_Device_Exists();
// 1 while the device is lost (or lost and ready to be reset), 0 when it is usable; 1 without a device.
int D3D9Call_Device_CheckLost();
// The swap chain (when held), then the device; 0.
int D3D9Call_Device_Release();
HRESULT D3D9Call_Device_BeginScene();
// BeginScene unless a scene is open; the scene flag and the draw-preparation flag word of the state cache
// follow.
void D3D9Call_Device_BeginSceneOnce();
HRESULT D3D9Call_Device_EndScene();
HRESULT D3D9Call_Device_Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil);
HRESULT D3D9Call_Device_Present(const RECT* source, const RECT* destination, HWND window, const RGNDATA* dirty);
HRESULT D3D9Call_Device_ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour);
int D3D9Call_Device_ColorFillASync(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour, int async);
HRESULT D3D9Call_Device_CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DTexture9** texture, HANDLE* shared);
HRESULT D3D9Call_Device_CreateTextureASync(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                           D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared, int async);
HRESULT D3D9Call_Device_CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DCubeTexture9** texture, HANDLE* shared);
HRESULT D3D9Call_Device_CreateCubeTextureASync(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                               IDirect3DCubeTexture9** texture, HANDLE* shared, int async);
HRESULT D3D9Call_Device_CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                           DWORD quality, BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared);
HRESULT D3D9Call_Device_CreateRenderTargetASync(UINT width, UINT height, D3DFORMAT format,
                                                D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL lockable,
                                                IDirect3DSurface9** surface, HANDLE* shared, int async);
HRESULT D3D9Call_Device_CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                  D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                  IDirect3DSurface9** surface, HANDLE* shared);
HRESULT D3D9Call_Device_CreateDepthStencilSurfaceASync(UINT width, UINT height, D3DFORMAT format,
                                                       D3DMULTISAMPLE_TYPE multiSample, DWORD quality, BOOL discard,
                                                       IDirect3DSurface9** surface, HANDLE* shared, int async);
HRESULT D3D9Call_Device_CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DSurface9** surface, HANDLE* shared);
HRESULT D3D9Call_Device_CreateOffscreenPlainSurfaceASync(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                         IDirect3DSurface9** surface, HANDLE* shared, int async);
// -1 without a device, 0 on D3D_OK, -1 on any other result (posted or not).
int D3D9Call_Device_CreateVertexBufferASync(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer9** buffer, int async);
int D3D9Call_Device_CreateIndexBufferASync(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DIndexBuffer9** buffer, int async);
HRESULT D3D9Call_Device_CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader);
HRESULT D3D9Call_Device_CreateVertexShaderASync(const DWORD* code, IDirect3DVertexShader9** shader, int async);
HRESULT D3D9Call_Device_CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader);
HRESULT D3D9Call_Device_CreatePixelShaderASync(const DWORD* code, IDirect3DPixelShader9** shader, int async);
HRESULT D3D9Call_Device_CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                                IDirect3DVertexDeclaration9** declaration);
HRESULT D3D9Call_Device_UpdateSurfaceASync(IDirect3DSurface9* source, const RECT* sourceRect,
                                           IDirect3DSurface9* destination, const POINT* destinationPoint, int async);
int D3D9Call_Device_UpdateTextureASync(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination, int async);
HRESULT D3D9Call_Device_StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                                    const RECT* destinationRect, D3DTEXTUREFILTERTYPE filter);
HRESULT D3D9Call_Device_GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* systemSurface);
HRESULT D3D9Call_Device_GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface);
HRESULT D3D9Call_Device_GetDepthStencilSurface(IDirect3DSurface9** surface);
HRESULT D3D9Call_Device_GetDeviceCaps(D3DCAPS9* caps);
HRESULT D3D9Call_Device_GetMaterial(D3DMATERIAL9* material);
HRESULT D3D9Call_Device_SetDialogBoxMode(BOOL enable);
HRESULT D3D9Call_Device_SetRenderTarget(DWORD index, IDirect3DSurface9* surface);
HRESULT D3D9Call_Device_SetDepthStencilSurface(IDirect3DSurface9* surface);
HRESULT D3D9Call_Device_SetViewport(const D3DVIEWPORT9* viewport);
HRESULT D3D9Call_Device_SetScissorRect(const RECT* rect);
HRESULT D3D9Call_Device_SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix);
HRESULT D3D9Call_Device_SetMaterial(const D3DMATERIAL9* material);
HRESULT D3D9Call_Device_SetLight(DWORD index, const D3DLIGHT9* light);
HRESULT D3D9Call_Device_LightEnable(DWORD index, BOOL enable);
HRESULT D3D9Call_Device_SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
HRESULT D3D9Call_Device_SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);
HRESULT D3D9Call_Device_SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
HRESULT D3D9Call_Device_SetTexture(DWORD stage, IDirect3DBaseTexture9* texture);
HRESULT D3D9Call_Device_SetFVF(DWORD fvf);
HRESULT D3D9Call_Device_SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
HRESULT D3D9Call_Device_SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride);
HRESULT D3D9Call_Device_SetIndices(IDirect3DIndexBuffer9* buffer);
HRESULT D3D9Call_Device_SetVertexShader(IDirect3DVertexShader9* shader);
HRESULT D3D9Call_Device_SetPixelShader(IDirect3DPixelShader9* shader);
HRESULT D3D9Call_Device_SetVertexShaderConstantF(UINT start, const float* data, UINT count);
HRESULT D3D9Call_Device_SetVertexShaderConstantI(UINT start, const int* data, UINT count);
HRESULT D3D9Call_Device_SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count);
HRESULT D3D9Call_Device_SetPixelShaderConstantF(UINT start, const float* data, UINT count);
HRESULT D3D9Call_Device_SetPixelShaderConstantI(UINT start, const int* data, UINT count);
HRESULT D3D9Call_Device_SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count);
HRESULT D3D9Call_Device_DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride);
HRESULT D3D9Call_Device_DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                               UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                               const void* vertices, UINT stride);

// ---- Other objects (the object first) ----

// Releases any Direct3D 9 object; one the layer counted is uncounted first.
ULONG D3D9Call_Object_Release(IUnknown* object);
// Releases an object the caller keeps a pointer to (null allowed) and clears the pointer.
template <typename Object>
void D3D9Call_Object_ReleaseAndClear(Object*& object) {
    D3D9Call_Object_Release(object);
    object = nullptr;
}
int D3D9Call_Object_ReleaseASync(IUnknown* object, int async);
HRESULT D3D9Call_SwapChain_Present(IDirect3DSwapChain9* swapChain, const RECT* source, const RECT* destination,
                                   HWND window, const RGNDATA* dirty, DWORD flags);
HRESULT D3D9Call_Texture_GetSurfaceLevel(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** surface);
HRESULT D3D9Call_Texture_GetSurfaceLevelASync(IDirect3DTexture9* texture, UINT level, IDirect3DSurface9** surface,
                                              int async);
HRESULT D3D9Call_Texture_LockRectASync(IDirect3DTexture9* texture, UINT level, D3DLOCKED_RECT* locked,
                                       const RECT* rect, DWORD flags, int async);
int D3D9Call_Texture_UnlockRectASync(IDirect3DTexture9* texture, UINT level, int async);
HRESULT D3D9Call_CubeTexture_GetCubeMapSurfaceASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level,
                                                    IDirect3DSurface9** surface, int async);
HRESULT D3D9Call_CubeTexture_LockRectASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level,
                                           D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags, int async);
int D3D9Call_CubeTexture_UnlockRectASync(IDirect3DCubeTexture9* texture, D3DCUBEMAP_FACES face, UINT level, int async);
HRESULT D3D9Call_Surface_GetDesc(IDirect3DSurface9* surface, D3DSURFACE_DESC* desc);
HRESULT D3D9Call_Surface_LockRect(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
HRESULT D3D9Call_Surface_LockRectASync(IDirect3DSurface9* surface, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags, int async);
HRESULT D3D9Call_Surface_UnlockRect(IDirect3DSurface9* surface);
int D3D9Call_Surface_UnlockRectASync(IDirect3DSurface9* surface, int async);
// Lock and Unlock of a vertex or an index buffer.
HRESULT D3D9Call_Buffer_Lock(IDirect3DResource9* buffer, UINT offset, UINT size, void** data, DWORD flags);
HRESULT D3D9Call_Buffer_Unlock(IDirect3DResource9* buffer);

// ---- Counts ----

// Counts an object the layer did not make itself (a device's implicit swap chain).
void D3D9Call_CountObject(IUnknown* object, D3D9ObjectType type);
int D3D9Call_DumpObjectCounts();
int D3D9Call_GetTotalObjectCount();
void D3D9Call_ResetDeviceCallCounts();

}  // namespace Vantrel
