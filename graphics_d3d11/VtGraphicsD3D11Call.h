// Direct3D 11 call layer: one thin wrapper per Direct3D 11 and DXGI call the back-end makes, the
// global interface pointers (factory, adapter, device, immediate context), loading and freeing
// d3d11.dll and dxgi.dll, one live-object counter per object type, and the ASync variants that let a
// loader thread have the main thread make a call. Wrappers log nothing and return what the method
// returns. Stands on the asynchronous-loading service (main-thread requests) and the log.
#pragma once

#include <d3d11.h>
#include <dxgi1_6.h>
#include <stdint.h>

namespace Vantrel {

// Live-object counter types, in the order of the shut-down dump.
enum D3D11ObjectType : int {
    D3D11OBJ_BUFFER,
    D3D11OBJ_TEXTURE1D,
    D3D11OBJ_TEXTURE2D,
    D3D11OBJ_TEXTURE3D,
    D3D11OBJ_SHADER_RESOURCE_VIEW,
    D3D11OBJ_RENDER_TARGET_VIEW,
    D3D11OBJ_DEPTH_STENCIL_VIEW,
    D3D11OBJ_INPUT_LAYOUT,
    D3D11OBJ_VERTEX_SHADER,
    D3D11OBJ_GEOMETRY_SHADER,
    D3D11OBJ_PIXEL_SHADER,
    D3D11OBJ_BLEND_STATE,
    D3D11OBJ_DEPTH_STENCIL_STATE,
    D3D11OBJ_RASTERIZER_STATE,
    D3D11OBJ_SAMPLER_STATE,
    D3D11OBJ_TYPE_COUNT
};

// The immediate-context methods the layer wraps; each wrapper counts its calls (the state cache's
// tests and figures read how often the device was really reached).
#define VT_D3D11_CONTEXT_CALLS(X)                                                                                     \
  X(ClearDepthStencilView) X(ClearRenderTargetView) X(CopyResource) X(Draw) X(DrawIndexed) X(CSSetShader)             \
  X(DSSetShader) X(HSSetShader) X(GSSetShader) X(GSSetShaderResources) X(IASetIndexBuffer) X(IASetInputLayout)        \
  X(IASetPrimitiveTopology) X(IASetVertexBuffers) X(Map) X(Unmap) X(OMSetBlendState) X(OMSetDepthStencilState)        \
  X(OMSetRenderTargets) X(PSSetConstantBuffers) X(PSSetSamplers) X(PSSetShader) X(PSSetShaderResources)               \
  X(VSSetConstantBuffers) X(VSSetShader) X(VSSetShaderResources) X(RSSetState) X(RSSetViewports)                      \
  X(ResolveSubresource) X(UpdateSubresource)

enum D3D11ContextCall : int {
#define VT_D3D11_CONTEXT_CALL_ENUM(name) D3D11CALL_##name,
    VT_D3D11_CONTEXT_CALLS(VT_D3D11_CONTEXT_CALL_ENUM)
#undef VT_D3D11_CONTEXT_CALL_ENUM
    D3D11CALL_COUNT
};

typedef HRESULT(WINAPI* D3D11Call_CreateDXGIFactoryProc)(REFIID riid, void** factory);
typedef HRESULT(WINAPI* D3D11Call_CreateDXGIFactory2Proc)(UINT flags, REFIID riid, void** factory);

// The functions taken from the two libraries by name. An entry set before the look-up is used in place
// of the library's export (tests put fakes there); the layer fills empty entries when it looks them up
// and clears them again when it frees the library.
struct D3D11CallApiRecord {
    PFN_D3D11_CREATE_DEVICE D3D11CreateDevice;
    D3D11Call_CreateDXGIFactoryProc CreateDXGIFactory;
    D3D11Call_CreateDXGIFactoryProc CreateDXGIFactory1;
    D3D11Call_CreateDXGIFactory2Proc CreateDXGIFactory2;
    int32_t Faked[4];   // 1 where the entry was put in from outside (kept on free)
};
extern D3D11CallApiRecord D3D11CallApi;

// The layer's globals (one set for the process, main thread only).
struct D3D11CallStateRecord {
    HMODULE D3D11Module;
    HMODULE DXGIModule;
    IDXGIFactory* Factory;
    IDXGIFactory1* Factory1;     // the same object when CreateDXGIFactory1 made it
    IDXGIFactory2* Factory2;     // the same object when CreateDXGIFactory2 made it
    IDXGIFactory6* Factory6;     // queried; null when the system has none
    IDXGIAdapter* Adapter;
    IDXGIAdapter1* Adapter1;
    IDXGIAdapter2* Adapter2;
    IDXGIAdapter3* Adapter3;
    IDXGIAdapter4* Adapter4;
    ID3D11Device* Device;
    ID3D11DeviceContext* Context;
    IDXGIDevice1* DXGIDevice;
    D3D_FEATURE_LEVEL FeatureLevel;
    int32_t ObjectCount[D3D11OBJ_TYPE_COUNT];
    uint32_t ContextCalls[D3D11CALL_COUNT];
    uint32_t LastDeviceCallThread;   // thread id of the latest device or context call made
    int32_t ObjectsOutlived;         // the device or factory was still referenced at its release: the
                                     // modules stay loaded, since their code still backs those objects
};
extern D3D11CallStateRecord D3D11CallState;

// Time spent inside Direct3D 11 and DXGI, summed by the wrappers while Enabled is 1 (the benchmarks
// switch it on; switched off, a wrapper only tests the flag, a predictable branch). The swap chain's
// present is summed apart from every other call. Ticks of the performance counter.
struct D3D11CallTimingRecord {
    int32_t Enabled;
    int64_t Frequency;      // ticks per second, taken when the timing is switched on
    int64_t CallTicks;      // every timed call but the present
    int64_t PresentTicks;   // IDXGISwapChain::Present
    uint32_t Calls;         // calls timed (the present among them)
};
extern D3D11CallTimingRecord D3D11CallTiming;
// Switches the timing on (1) or off (0); either clears the sums.
void D3D11Call_SetTiming(int enabled);
void D3D11Call_ResetTiming();
double D3D11Call_TicksToMilliseconds(int64_t ticks);

// Module and global management.
int D3D11Call_LoadD3D11();
int D3D11Call_LoadDXGI(int log);
int D3D11Call_FreeD3D11();
int D3D11Call_FreeDXGI(int log);
// The export of the loaded library (or the entry put in D3D11CallApi); null when missing.
FARPROC D3D11Call_GetD3D11Proc(const char* name);
FARPROC D3D11Call_GetDXGIProc(const char* name);
int D3D11Call_Device_ReleaseAll();
int D3D11Call_DXGIFactory_ReleaseAll();
int D3D11Call_DumpObjectCounts();
int D3D11Call_GetTotalObjectCount();
void D3D11Call_ResetContextCallCounts();

int D3D11Call_Device_Exists();
int D3D11Call_DXGIFactory_Exists();
int D3D11Call_DXGIFactory6_Exists();

// Immediate context.
void D3D11Call_DeviceContext_ClearDepthStencilView(ID3D11DepthStencilView* view, UINT flags, FLOAT depth, UINT8 stencil);
int D3D11Call_DeviceContext_ClearDepthStencilViewASync(ID3D11DepthStencilView* view, UINT flags, FLOAT depth,
                                                       UINT8 stencil, int otherThread);
void D3D11Call_DeviceContext_ClearRenderTargetView(ID3D11RenderTargetView* view, const FLOAT color[4]);
int D3D11Call_DeviceContext_ClearRenderTargetViewASync(ID3D11RenderTargetView* view, const FLOAT color[4],
                                                       int otherThread);
void D3D11Call_DeviceContext_CopyResource(ID3D11Resource* destination, ID3D11Resource* source);
void D3D11Call_DeviceContext_Draw(UINT vertexCount, UINT startVertex);
void D3D11Call_DeviceContext_DrawIndexed(UINT indexCount, UINT startIndex, INT baseVertex);
void D3D11Call_DeviceContext_CSSetShader(ID3D11ComputeShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_DSSetShader(ID3D11DomainShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_HSSetShader(ID3D11HullShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_GSSetShader(ID3D11GeometryShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_GSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views);
void D3D11Call_DeviceContext_IASetIndexBuffer(ID3D11Buffer* buffer, DXGI_FORMAT format, UINT offset);
void D3D11Call_DeviceContext_IASetInputLayout(ID3D11InputLayout* layout);
void D3D11Call_DeviceContext_IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology);
void D3D11Call_DeviceContext_IASetVertexBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers, const UINT* strides,
                                                const UINT* offsets);
HRESULT D3D11Call_DeviceContext_Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
                                    D3D11_MAPPED_SUBRESOURCE* mapped);
HRESULT D3D11Call_DeviceContext_MapASync(ID3D11Resource* resource, UINT subresource, D3D11_MAP type, UINT flags,
                                         D3D11_MAPPED_SUBRESOURCE* mapped, int otherThread);
int D3D11Call_DeviceContext_UnmapASync(ID3D11Resource* resource, UINT subresource, int otherThread);
void D3D11Call_DeviceContext_OMSetBlendState(ID3D11BlendState* state, const FLOAT factor[4], UINT sampleMask);
void D3D11Call_DeviceContext_OMSetDepthStencilState(ID3D11DepthStencilState* state, UINT stencilRef);
void D3D11Call_DeviceContext_OMSetRenderTargets(UINT count, ID3D11RenderTargetView* const* views,
                                                ID3D11DepthStencilView* depth);
void D3D11Call_DeviceContext_PSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers);
void D3D11Call_DeviceContext_PSSetSamplers(UINT start, UINT count, ID3D11SamplerState* const* samplers);
void D3D11Call_DeviceContext_PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_PSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views);
void D3D11Call_DeviceContext_VSSetConstantBuffers(UINT start, UINT count, ID3D11Buffer* const* buffers);
void D3D11Call_DeviceContext_VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const* instances, UINT count);
void D3D11Call_DeviceContext_VSSetShaderResources(UINT start, UINT count, ID3D11ShaderResourceView* const* views);
void D3D11Call_DeviceContext_RSSetState(ID3D11RasterizerState* state);
void D3D11Call_DeviceContext_RSSetViewports(UINT count, const D3D11_VIEWPORT* viewports);
void D3D11Call_DeviceContext_ResolveSubresource(ID3D11Resource* destination, UINT destinationSub, ID3D11Resource* source,
                                                UINT sourceSub, DXGI_FORMAT format);
void D3D11Call_DeviceContext_UpdateSubresource(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box,
                                               const void* data, UINT rowPitch, UINT depthPitch);
int D3D11Call_DeviceContext_UpdateSubresourceASync(ID3D11Resource* resource, UINT subresource, const D3D11_BOX* box,
                                                   const void* data, UINT rowPitch, UINT depthPitch, int otherThread);

// Device (each creation counts its type on S_OK).
HRESULT D3D11Call_Device_CreateBuffer(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                      ID3D11Buffer** buffer);
HRESULT D3D11Call_Device_CreateBufferASync(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                           ID3D11Buffer** buffer, int otherThread);
HRESULT D3D11Call_Device_CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                         ID3D11Texture2D** texture);
HRESULT D3D11Call_Device_CreateTexture2DASync(const D3D11_TEXTURE2D_DESC* desc, const D3D11_SUBRESOURCE_DATA* data,
                                              ID3D11Texture2D** texture, int otherThread);
HRESULT D3D11Call_Device_CreateShaderResourceView(ID3D11Resource* resource, const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                                  ID3D11ShaderResourceView** view);
HRESULT D3D11Call_Device_CreateShaderResourceViewASync(ID3D11Resource* resource,
                                                       const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                                       ID3D11ShaderResourceView** view, int otherThread);
HRESULT D3D11Call_Device_CreateRenderTargetView(ID3D11Resource* resource, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                                ID3D11RenderTargetView** view);
HRESULT D3D11Call_Device_CreateRenderTargetViewASync(ID3D11Resource* resource, const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                                     ID3D11RenderTargetView** view, int otherThread);
HRESULT D3D11Call_Device_CreateDepthStencilView(ID3D11Resource* resource, const D3D11_DEPTH_STENCIL_VIEW_DESC* desc,
                                                ID3D11DepthStencilView** view);
HRESULT D3D11Call_Device_CreateDepthStencilViewASync(ID3D11Resource* resource, const D3D11_DEPTH_STENCIL_VIEW_DESC* desc,
                                                     ID3D11DepthStencilView** view, int otherThread);
HRESULT D3D11Call_Device_CreateInputLayout(const D3D11_INPUT_ELEMENT_DESC* elements, UINT count, const void* code,
                                           SIZE_T codeSize, ID3D11InputLayout** layout);
HRESULT D3D11Call_Device_CreateVertexShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                            ID3D11VertexShader** shader);
HRESULT D3D11Call_Device_CreateVertexShaderASync(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                                 ID3D11VertexShader** shader, int otherThread);
HRESULT D3D11Call_Device_CreateGeometryShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                              ID3D11GeometryShader** shader);
HRESULT D3D11Call_Device_CreateGeometryShaderASync(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                                   ID3D11GeometryShader** shader, int otherThread);
HRESULT D3D11Call_Device_CreatePixelShader(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                           ID3D11PixelShader** shader);
HRESULT D3D11Call_Device_CreatePixelShaderASync(const void* code, SIZE_T size, ID3D11ClassLinkage* linkage,
                                                ID3D11PixelShader** shader, int otherThread);
HRESULT D3D11Call_Device_CreateBlendState(const D3D11_BLEND_DESC* desc, ID3D11BlendState** state);
HRESULT D3D11Call_Device_CreateDepthStencilState(const D3D11_DEPTH_STENCIL_DESC* desc, ID3D11DepthStencilState** state);
HRESULT D3D11Call_Device_CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc, ID3D11RasterizerState** state);
HRESULT D3D11Call_Device_CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state);
HRESULT D3D11Call_Device_CheckFormatSupport(DXGI_FORMAT format, UINT* support);
// Settles a sample count and quality that the colour format and 16-bit depth both support.
int D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT format, UINT* samples, UINT* quality, int strict);
int D3D11Call_Device_CheckMultiSampleParamASync(DXGI_FORMAT format, UINT* samples, UINT* quality, int strict,
                                                int otherThread);

// Factory, adapter, output, swap chain, texture and view.
HRESULT D3D11Call_DXGIFactory_EnumAdapters(UINT index, IDXGIAdapter** adapter);
HRESULT D3D11Call_DXGIFactory_EnumAdapterByGpuPreference(UINT index, DXGI_GPU_PREFERENCE preference, REFIID riid,
                                                         void** adapter);
HRESULT D3D11Call_DXGIFactory_MakeWindowAssociation(HWND window, UINT flags);
HRESULT D3D11Call_DXGIFactory_CreateSwapChain(DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** swapChain);
HRESULT D3D11Call_DXGIFactory_CreateSwapChainForHwnd(IUnknown* device, HWND window, const DXGI_SWAP_CHAIN_DESC1* desc,
                                                     const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreenDesc,
                                                     IDXGIOutput* restrictTo, IDXGISwapChain1** swapChain);
HRESULT D3D11Call_Adapter_EnumOutputs(IDXGIAdapter* adapter, UINT index, IDXGIOutput** output);
HRESULT D3D11Call_Adapter_GetDesc(IDXGIAdapter* adapter, DXGI_ADAPTER_DESC* desc);
HRESULT D3D11Call_Output_GetDesc(IDXGIOutput* output, DXGI_OUTPUT_DESC* desc);
HRESULT D3D11Call_Output_WaitForVBlank(IDXGIOutput* output);
HRESULT D3D11Call_SwapChain_GetBuffer(IDXGISwapChain* swapChain, UINT index, REFIID riid, void** buffer);
HRESULT D3D11Call_SwapChain_GetContainingOutput(IDXGISwapChain* swapChain, IDXGIOutput** output);
HRESULT D3D11Call_SwapChain_GetDesc(IDXGISwapChain* swapChain, DXGI_SWAP_CHAIN_DESC* desc);
HRESULT D3D11Call_SwapChain_Present(IDXGISwapChain* swapChain, UINT syncInterval, UINT flags);
HRESULT D3D11Call_SwapChain_ResizeBuffers(IDXGISwapChain* swapChain, UINT count, UINT width, UINT height,
                                          DXGI_FORMAT format, UINT flags);
HRESULT D3D11Call_SwapChain_SetFullscreenState(IDXGISwapChain* swapChain, BOOL fullscreen, IDXGIOutput* output);
void D3D11Call_Texture2D_GetDesc(ID3D11Texture2D* texture, D3D11_TEXTURE2D_DESC* desc);
void D3D11Call_View_GetResource(ID3D11View* view, ID3D11Resource** resource);
void D3D11Call_View_GetDesc(ID3D11RenderTargetView* view, D3D11_RENDER_TARGET_VIEW_DESC* desc);

// Region copy and rectangle clear of the draw targets, with their own call counts.
struct D3D11CallRegionCountsRecord {
    uint32_t CopySubresourceRegion;
    uint32_t ClearView;
};
extern D3D11CallRegionCountsRecord D3D11CallRegionCounts;
void D3D11Call_DeviceContext_CopySubresourceRegion(ID3D11Resource* destination, UINT destinationSub, UINT x, UINT y,
                                                   UINT z, ID3D11Resource* source, UINT sourceSub, const D3D11_BOX* box);
// ID3D11DeviceContext1::ClearView over the rectangles; E_NOINTERFACE when the runtime has no such context.
HRESULT D3D11Call_DeviceContext_ClearView(ID3D11View* view, const FLOAT colour[4], const D3D11_RECT* rects, UINT count);

// Counted releases; the object may be null (nothing happens).
#define VT_D3D11_COUNTED_TYPES(X)                                                                                     \
  X(BlendState, ID3D11BlendState, D3D11OBJ_BLEND_STATE) X(Buffer, ID3D11Buffer, D3D11OBJ_BUFFER)                      \
  X(DepthStencilState, ID3D11DepthStencilState, D3D11OBJ_DEPTH_STENCIL_STATE)                                         \
  X(DepthStencilView, ID3D11DepthStencilView, D3D11OBJ_DEPTH_STENCIL_VIEW)                                            \
  X(GeometryShader, ID3D11GeometryShader, D3D11OBJ_GEOMETRY_SHADER)                                                   \
  X(InputLayout, ID3D11InputLayout, D3D11OBJ_INPUT_LAYOUT) X(PixelShader, ID3D11PixelShader, D3D11OBJ_PIXEL_SHADER)   \
  X(RasterizerState, ID3D11RasterizerState, D3D11OBJ_RASTERIZER_STATE)                                                \
  X(RenderTargetView, ID3D11RenderTargetView, D3D11OBJ_RENDER_TARGET_VIEW)                                            \
  X(SamplerState, ID3D11SamplerState, D3D11OBJ_SAMPLER_STATE)                                                         \
  X(ShaderResourceView, ID3D11ShaderResourceView, D3D11OBJ_SHADER_RESOURCE_VIEW)                                      \
  X(Texture2D, ID3D11Texture2D, D3D11OBJ_TEXTURE2D) X(VertexShader, ID3D11VertexShader, D3D11OBJ_VERTEX_SHADER)

#define VT_D3D11_RELEASE_DECLARE(name, type, counter) ULONG D3D11Call_##name##_Release(type* object);
VT_D3D11_COUNTED_TYPES(VT_D3D11_RELEASE_DECLARE)
#undef VT_D3D11_RELEASE_DECLARE
int D3D11Call_DepthStencilView_ReleaseASync(ID3D11DepthStencilView* object, int otherThread);
int D3D11Call_PixelShader_ReleaseASync(ID3D11PixelShader* object, int otherThread);
int D3D11Call_Texture2D_ReleaseASync(ID3D11Texture2D* object, int otherThread);
int D3D11Call_VertexShader_ReleaseASync(ID3D11VertexShader* object, int otherThread);
// Release without a counter (adapters, outputs, swap chains).
ULONG D3D11Call_Object_Release(IUnknown* object);

}  // namespace Vantrel
