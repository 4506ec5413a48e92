// Direct3D 11 back-end: device start and end, and the bodies of the core's switches. The device is
// not created yet: start-up loads d3d11.dll (telling the log whether it could), frees it again and
// fails, so the core falls back to Direct3D 9 or to no device. The other bodies, never reached
// without a device, report failure (-1).
// Stands on the log and the switch layer's table.
#include "graphics_d3d11/VtGraphicsD3D11.h"

#include <windows.h>

#include "foundation/VtLog.h"

namespace Vantrel {

namespace {

HMODULE D3D11Module = nullptr;

}  // namespace

#define VT_GRAPHICS_D3D11_BODY(name, params, args) \
    int Graphics_D3D11_##name params { return -1; }
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D11_BODY)
#undef VT_GRAPHICS_D3D11_BODY

int Graphics_D3D11_VertexBatch_Flush(int reserved, int otherThread) { return -1; }
int Graphics_D3D11_Buffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) { return -1; }

int Graphics_D3D11_Device_Initialize() {
    if (D3D11Call_LoadD3D11() < 0) return -1;
    Log_AddTextShiftJIS("Direct3D 11 のデバイスはまだ作成できません\n");
    D3D11Call_FreeD3D11();
    return -1;
}

int Graphics_D3D11_Device_PostInitialize() { return -1; }
int Graphics_D3D11_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) { return -1; }
int Graphics_D3D11_Device_Terminate() {
    D3D11Call_FreeD3D11();
    return 0;
}
int Graphics_D3D11_Screen_Flip() { return -1; }
int Graphics_D3D11_DrawScreen_SetPost(int screen) { return -1; }

int D3D11Call_Device_Exists() { return 0; }

int D3D11Call_LoadD3D11() {
    Log_AddTextShiftJIS("d3d11.dll の読み込み.... ");
    D3D11Module = LoadLibraryW(L"d3d11.dll");
    if (D3D11Module == nullptr) {
        Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int D3D11Call_FreeD3D11() {
    if (D3D11Module == nullptr) return 0;
    Log_AddTextShiftJIS("d3d11.dll の解放 1\n");
    FreeLibrary(D3D11Module);
    D3D11Module = nullptr;
    return 0;
}

}  // namespace Vantrel
