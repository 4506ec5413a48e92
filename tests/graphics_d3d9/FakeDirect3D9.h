// A Direct3D 9 object at the platform edge for the device-creation tests: it hands every call to Wine's
// real object but can refuse device creation (on the Ex road, or a number of plain creations) and hide
// the block-compressed formats, so that the retries and fall-backs of the set-up can be driven. Put in
// through the call layer's creation-function entries.
#pragma once

#include <d3d9.h>

namespace D3D9Test {

struct FakeDirect3D9Settings {
    int RefuseDeviceEx = 0;       // every CreateDeviceEx fails
    int RefuseDevices = 0;        // this many CreateDevice / CreateDeviceEx calls fail before one may succeed
    int HideBlockFormats = 0;     // CheckDeviceFormat refuses DXT1 to DXT5
    int CreateCalls = 0;          // creations asked for (counted, refused or not)
    UINT LastBackBufferWidth = 0;
    UINT LastBackBufferHeight = 0;
};
inline FakeDirect3D9Settings FakeSettings;

class FakeDirect3D9 final : public IDirect3D9Ex {
public:
    explicit FakeDirect3D9(IDirect3D9Ex* real) : Real(real) {}

    STDMETHOD(QueryInterface)(REFIID iid, void** out) override { return Real->QueryInterface(iid, out); }
    STDMETHOD_(ULONG, AddRef)() override { return ++References; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --References;
        if (left == 0) {
            Real->Release();
            delete this;
        }
        return left;
    }
    STDMETHOD(RegisterSoftwareDevice)(void* init) override { return Real->RegisterSoftwareDevice(init); }
    STDMETHOD_(UINT, GetAdapterCount)() override { return Real->GetAdapterCount(); }
    STDMETHOD(GetAdapterIdentifier)(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override {
        return Real->GetAdapterIdentifier(adapter, flags, identifier);
    }
    STDMETHOD_(UINT, GetAdapterModeCount)(UINT adapter, D3DFORMAT format) override {
        return Real->GetAdapterModeCount(adapter, format);
    }
    STDMETHOD(EnumAdapterModes)(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* mode) override {
        return Real->EnumAdapterModes(adapter, format, index, mode);
    }
    STDMETHOD(GetAdapterDisplayMode)(UINT adapter, D3DDISPLAYMODE* mode) override {
        return Real->GetAdapterDisplayMode(adapter, mode);
    }
    STDMETHOD(CheckDeviceType)(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT back, WINBOOL windowed) override {
        return Real->CheckDeviceType(adapter, type, display, back, windowed);
    }
    STDMETHOD(CheckDeviceFormat)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                 D3DRESOURCETYPE resource, D3DFORMAT format) override {
        if (FakeSettings.HideBlockFormats && (format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
                                              format == D3DFMT_DXT4 || format == D3DFMT_DXT5))
            return D3DERR_NOTAVAILABLE;
        return Real->CheckDeviceFormat(adapter, type, adapterFormat, usage, resource, format);
    }
    STDMETHOD(CheckDeviceMultiSampleType)(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, WINBOOL windowed,
                                          D3DMULTISAMPLE_TYPE multiSample, DWORD* levels) override {
        return Real->CheckDeviceMultiSampleType(adapter, type, format, windowed, multiSample, levels);
    }
    STDMETHOD(CheckDepthStencilMatch)(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT target,
                                      D3DFORMAT depth) override {
        return Real->CheckDepthStencilMatch(adapter, type, adapterFormat, target, depth);
    }
    STDMETHOD(CheckDeviceFormatConversion)(UINT adapter, D3DDEVTYPE type, D3DFORMAT from, D3DFORMAT to) override {
        return Real->CheckDeviceFormatConversion(adapter, type, from, to);
    }
    STDMETHOD(GetDeviceCaps)(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        return Real->GetDeviceCaps(adapter, type, caps);
    }
    STDMETHOD_(HMONITOR, GetAdapterMonitor)(UINT adapter) override { return Real->GetAdapterMonitor(adapter); }
    STDMETHOD(CreateDevice)(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                            IDirect3DDevice9** device) override {
        if (Refused(parameters)) return D3DERR_NOTAVAILABLE;
        return Real->CreateDevice(adapter, type, focus, flags, parameters, device);
    }
    STDMETHOD_(UINT, GetAdapterModeCountEx)(UINT adapter, const D3DDISPLAYMODEFILTER* filter) override {
        return Real->GetAdapterModeCountEx(adapter, filter);
    }
    STDMETHOD(EnumAdapterModesEx)(UINT adapter, const D3DDISPLAYMODEFILTER* filter, UINT index,
                                  D3DDISPLAYMODEEX* mode) override {
        return Real->EnumAdapterModesEx(adapter, filter, index, mode);
    }
    STDMETHOD(GetAdapterDisplayModeEx)(UINT adapter, D3DDISPLAYMODEEX* mode, D3DDISPLAYROTATION* rotation) override {
        return Real->GetAdapterDisplayModeEx(adapter, mode, rotation);
    }
    STDMETHOD(CreateDeviceEx)(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                              D3DDISPLAYMODEEX* mode, IDirect3DDevice9Ex** device) override {
        if (Refused(parameters) || FakeSettings.RefuseDeviceEx) return D3DERR_NOTAVAILABLE;
        return Real->CreateDeviceEx(adapter, type, focus, flags, parameters, mode, device);
    }
    STDMETHOD(GetAdapterLUID)(UINT adapter, LUID* luid) override { return Real->GetAdapterLUID(adapter, luid); }

private:
    bool Refused(const D3DPRESENT_PARAMETERS* parameters) {
        ++FakeSettings.CreateCalls;
        FakeSettings.LastBackBufferWidth = parameters->BackBufferWidth;
        FakeSettings.LastBackBufferHeight = parameters->BackBufferHeight;
        if (FakeSettings.RefuseDevices <= 0) return false;
        --FakeSettings.RefuseDevices;
        return true;
    }

    IDirect3D9Ex* Real;
    ULONG References = 1;
};

// The creation functions the call layer takes in place of d3d9.dll's: the real object wrapped.
inline HRESULT WINAPI CreateFakeEx(UINT sdk, IDirect3D9Ex** out) {
    IDirect3D9Ex* real = nullptr;
    HMODULE module = GetModuleHandleW(L"d3d9.dll");
    auto create = (HRESULT(WINAPI*)(UINT, IDirect3D9Ex**))(void*)GetProcAddress(module, "Direct3DCreate9Ex");
    if (create == nullptr || create(sdk, &real) != D3D_OK) return E_FAIL;
    *out = new FakeDirect3D9(real);
    return D3D_OK;
}

inline IDirect3D9* WINAPI CreateFakePlain(UINT sdk) {
    IDirect3D9Ex* real = nullptr;
    HMODULE module = GetModuleHandleW(L"d3d9.dll");
    auto create = (HRESULT(WINAPI*)(UINT, IDirect3D9Ex**))(void*)GetProcAddress(module, "Direct3DCreate9Ex");
    if (create == nullptr || create(sdk, &real) != D3D_OK) return nullptr;
    return new FakeDirect3D9(real);
}

inline void PutFakeObject() {
    Vantrel::D3D9CallApi.Direct3DCreate9 = CreateFakePlain;
    Vantrel::D3D9CallApi.Direct3DCreate9Ex = CreateFakeEx;
    Vantrel::D3D9CallApi.Faked[0] = Vantrel::D3D9CallApi.Faked[1] = 1;
}

inline void RemoveFakeObject() {
    Vantrel::D3D9CallApi = {};
    FakeSettings = {};
}

}  // namespace D3D9Test
