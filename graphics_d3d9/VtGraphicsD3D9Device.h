// Direct3D 9 object and device creation: the Direct3D 9 object (the Ex form where the system has it),
// the present parameters from the graphics core's screen settings, the device with the best
// vertex-processing mode that works and a ladder of safer screen settings, the capabilities handed to
// the graphics core, the Direct3D format chosen for every library texture-format code and depth code,
// the capability report in the log, and the measurement of whether the back buffer is read faster by
// locking it or by copying it through a render target.
// Stands on the call layer, the vertical-blank wait, the graphics core's state, the window module and
// the memory-image module's default colour type.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

constexpr int D3D9TextureFormatCount = 51;

// D3D9TextureFormatTable: the D3DFORMAT of every library texture-format code, 0 where the device offers
// none. D3D9DepthFormatTable: the depth formats of 16-bit, 24-bit and 32-bit depth requests.
extern D3DFORMAT D3D9TextureFormatTable[D3D9TextureFormatCount];
extern D3DFORMAT D3D9DepthFormatTable[3];

// Library settings the device creation and the vertical-blank object read (no public setter: they stay
// 0 unless a program or a test sets them).
struct D3D9SettingsRecord {
    int32_t Multithreaded;        // create the device with D3DCREATE_MULTITHREADED
    int32_t FpuPreserve;          // D3DCREATE_FPU_PRESERVE and DDSCL_FPUPRESERVE
    int32_t DesktopComposition;   // 0 follow the mode, 1 keep it on in full screen, 2 keep it off
    int32_t UseAdapter;           // create on AdapterIndex instead of adapter 0
    int32_t AdapterIndex;
};
extern D3D9SettingsRecord D3D9Settings;

struct D3D9DeviceStateRecord {
    D3DFORMAT ScreenFormat;             // the back buffer's format after creation
    D3DCAPS9 Caps;                      // the device's capabilities
    UINT Adapter;                       // the adapter in use
    int32_t TextureStageCount;          // MaxTextureBlendStages
    int32_t StageTemporary;             // D3DTSS_RESULTARG may name the temporary register
    int32_t BlendOperation;             // D3DRS_BLENDOP is honoured
    int32_t VertexShader20;
    int32_t PixelShader20;
    int32_t VertexShader30;             // both 3.0 flags are set only together
    int32_t PixelShader30;
    int32_t MixedProcessing;            // the object's capabilities give shader model 2.0 or above
    DWORD ObjectVertexShaderVersion;    // read from the object before the device existed
    int32_t SoftwareRetry;              // the device was made on the software vertex-processing retry
    int32_t ExclusiveFullScreen;
    int32_t BackBufferLock;             // reading the back buffer by LockRect measured faster
    int32_t LockEdge;                   // edge of the squares the last measurement read (0: none)
    int64_t LockTimeNs;                 // the last round's times, -1 where it failed
    int64_t CopyTimeNs;
    IDirect3DSurface9* BackBuffer;      // buffer 0 of swap chain 0
    D3DPRESENT_PARAMETERS PresentParams;
    D3DDISPLAYMODEEX DisplayModeEx;     // exclusive full screen only
};
extern D3D9DeviceStateRecord D3D9DeviceState;

int D3D9Call_Direct3D9_Create();
// Settles a multisample type and quality that the back-buffer format and 16-bit depth both support.
int D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFORMAT format, D3DMULTISAMPLE_TYPE* type, DWORD* quality, int fail);
int D3D9Call_Direct3D9_CheckMultiSampleParamASync(D3DFORMAT format, D3DMULTISAMPLE_TYPE* type, DWORD* quality, int fail,
                                                  int async);
// 0, -1 refused, -2 the Ex device was refused (the next object is made without Ex).
int D3D9Call_Direct3D9_CreateDevice();
// 0, -1, or -2 passed on from the creation.
int Graphics_D3D9_Device_Setup();
// The capabilities copy, the back-end's flags and the graphics core's capability fields from `caps`.
void Graphics_D3D9_Device_ReadCaps(const D3DCAPS9* caps);
// The depth and texture format tables with their log lines; -1 when a required row has no format.
int Graphics_D3D9_Format_SetupTable();
// The back-buffer lock measurement with its log lines; 0.
int Graphics_D3D9_Device_MeasureBackBufferLock();
// "D3DFMT_" followed by the format's name, for the formats the set-up can choose.
const char* Graphics_D3D9_Format_GetName(D3DFORMAT format);
int Graphics_D3D9_Shader_GetSupportVersion();

}  // namespace Vantrel
