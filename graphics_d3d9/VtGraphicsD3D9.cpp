// Direct3D 9 back-end: device start and end, the DirectDraw vertical-blank object and the bodies of
// the core's switches. The device is not created yet: start-up loads d3d9.dll (logging a failure),
// frees it again and fails, so the core runs without a device. No DirectDraw object is made, so
// vertical-blank sleeps return at once. The other bodies, never reached without a device, report
// failure (-1).
// Stands on the log and the switch layer's table.
#include "graphics_d3d9/VtGraphicsD3D9.h"

#include <windows.h>

#include "foundation/VtLog.h"

namespace Vantrel {

namespace {

HMODULE D3D9Module = nullptr;

}  // namespace

#define VT_GRAPHICS_D3D9_BODY(name, params, args) \
    int Graphics_D3D9_##name params { return -1; }
VT_GRAPHICS_DISPATCH_PLAIN(VT_GRAPHICS_D3D9_BODY)
#undef VT_GRAPHICS_D3D9_BODY

int Graphics_D3D9_VertexBatch_Flush(int otherThread) { return -1; }
int Graphics_D3D9_IndexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) { return -1; }
int Graphics_D3D9_VertexBuffer_SetData(BufferHandleRecord* buffer, int first, const void* data, int count) { return -1; }
int Graphics_D3D9_SysMemPool_ReleaseAll() { return -1; }
int Graphics_D3D9_SysMemTexturePool_ReleaseUnused() { return -1; }
int Graphics_D3D9_SysMemSurfacePool_ReleaseUnused() { return -1; }
int Graphics_D3D9_ZBuffer_CheckGraph(int reserved, GraphHandleRecord* graph) { return -1; }
int Graphics_D3D9_MaxAnisotropy_Set(int value) { return -1; }
int Graphics_D3D9_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph) { return -1; }

int Graphics_D3D9_Device_Initialize() {
    if (D3D9Call_Library_Load() < 0) return -1;
    Log_AddTextShiftJIS("Direct3D 9 のデバイスはまだ作成できません\n");
    D3D9Call_Library_Free();
    return -1;
}

int Graphics_D3D9_Device_PostInitialize() { return -1; }
int Graphics_D3D9_Device_CheckLostOnActivate() { return -1; }
int Graphics_D3D9_Device_RestoreOrChange(int mode, int width, int height, int colorBits, int refreshRate) { return -1; }
int Graphics_D3D9_Device_Terminate() {
    D3D9Call_Library_Free();
    return 0;
}
int Graphics_D3D9_SetDialogBoxMode(int flag) {
    if (D3D9Call_Device_Exists()) D3D9Call_Device_SetDialogBoxMode(flag);
    return 0;
}
int Graphics_D3D9_Screen_Flip() { return -1; }
int Graphics_D3D9_DrawScreen_SetPost(int screen) { return -1; }

int D3D9Call_Device_Exists() { return 0; }
int D3D9Call_Device_SetDialogBoxMode(int flag) { return -1; }

int D3D9Call_Library_Load() {
    D3D9Module = LoadLibraryW(L"d3d9.dll");
    if (D3D9Module == nullptr) {
        Log_AddTextShiftJIS("d3d9.dll の読み込みに失敗しました\n");
        return -1;
    }
    return 0;
}

int D3D9Call_Library_Free() {
    if (D3D9Module == nullptr) return 0;
    Log_AddTextShiftJIS("d3d9.dll の解放 1\n");
    FreeLibrary(D3D9Module);
    D3D9Module = nullptr;
    return 0;
}

int D3D9Call_DDraw_Create() {
    D3D9Call_DDraw_Release();
    return -1;
}

void* D3D9Call_DDraw_Get() { return nullptr; }
void D3D9Call_DDraw_MeasureRefreshInterval() {}
int D3D9Call_DDraw_Release() { return 0; }
void D3D9Call_DDraw_SleepUntilVBlank() {}

}  // namespace Vantrel
