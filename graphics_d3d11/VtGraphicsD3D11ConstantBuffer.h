// Direct3D 11 constant buffers: records with a CPU copy and a changed flag that the state setters
// write, uploaded whole with UpdateSubresource when a draw applies pending state; the seven standard
// buffers of the built-in shaders; the fog terms written into buffer 0.
// Stands on the call layer, the state cache's slots, the allocator and a critical section.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

struct D3D11ConstantBuffer {
    uint32_t Size;                  // bytes, a multiple of 16
    ID3D11Buffer* Buffer;
    void* Data;                     // the CPU copy (the bytes after the header)
    int32_t Changed;
    D3D11ConstantBuffer* Next;
    D3D11ConstantBuffer* Previous;
};

enum : int {
    D3D11CB_LIGHTING = 0,           // lights, material, ambient, fog (vertex slot 0, pixel slot 0)
    D3D11CB_VS_BASE = 1,            // matrices and the three vertex-shader switches (vertex slot 1)
    D3D11CB_VS_TEXTURE = 2,         // texture-coordinate transform (vertex slot 2)
    D3D11CB_VS_3D = 3,              // further vertex data of the 3D shaders (vertex slot 3)
    D3D11CB_PS_BASE = 4,            // pixel-shader base values (pixel slot 1)
    D3D11CB_PS_3D = 5,              // further pixel data of the 3D shaders (pixel slot 2)
    D3D11CB_PS_FILTER = 6,          // 3D shaders and graph filters (pixel slot 3)
    D3D11CB_STANDARD_COUNT = 7,
};

// Byte offsets in the standard buffers that the setters write.
enum : uint32_t {
    D3D11CB0_FOG_MODE = 736,
    D3D11CB0_FOG_TERMS = 752,
    D3D11CB0_FOG_COLOR = 784,
    D3D11CB0_FOG2_MODE = 800,
    D3D11CB0_FOG2_TERMS = 816,
    D3D11CB0_FOG2_COLOR = 848,
    D3D11CB1_PROJECTION_2D = 0,
    D3D11CB1_PROJECTION = 64,
    D3D11CB1_VIEW = 128,
    D3D11CB1_WORLD = 176,
    D3D11CB1_SWITCHES = 240,
    D3D11CB2_TEXTURE_MATRIX = 192,
    D3D11CB4_BLEND_GRAPH = 0,
    D3D11CB4_ALPHA_REF = 20,
    D3D11CB4_ALPHA_FUNC = 32,
};

struct D3D11ConstantBufferStateRecord {
    D3D11ConstantBuffer* Head;
    int32_t Count;
    int32_t LockMade;
    D3D11ConstantBuffer* Standard[D3D11CB_STANDARD_COUNT];
};
extern D3D11ConstantBufferStateRecord D3D11ConstantBufferState;

D3D11ConstantBuffer* Graphics_D3D11_ConstantBuffer_Create(uint32_t size, int otherThread);
int Graphics_D3D11_ConstantBuffer_Delete(D3D11ConstantBuffer* buffer);
int Graphics_D3D11_ConstantBuffer_Update(D3D11ConstantBuffer* buffer);
int Graphics_D3D11_ConstantBuffer_SetPS(int firstSlot, int count, D3D11ConstantBuffer* const* buffers);
int Graphics_D3D11_ConstantBuffers_Create();
int Graphics_D3D11_ConstantBuffers_Release();
// Uploads every standard buffer whose CPU copy changed.
int Graphics_D3D11_ConstantBuffers_UpdateStandard();
// The float at a byte offset of a standard buffer's CPU copy (buffers exist).
float* Graphics_D3D11_ConstantBuffer_Float(int standard, uint32_t offset);

// Fog terms of the first and second fog sets, from the state cache's fog parameters.
int Graphics_D3D11_StateCache_UpdateFogConstants();
int Graphics_D3D11_StateCache_UpdateFog2Constants();

}  // namespace Vantrel
