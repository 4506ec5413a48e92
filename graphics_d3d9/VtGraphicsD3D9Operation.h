// Direct3D 9 small operation bodies of the switch layer beside their table declarations: the packed
// diffuse colour, the unbinding of a texture that is about to go, vertex and index buffers of buffer
// handles, the caller's shaders, shadow maps, and the re-creation of every device object from the
// library's records after the device was made anew.
// Stands on the call layer, the state cache, the normal-draw state, the shader-constant manager and the
// graphics core's records.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct BufferHandleRecord;
struct ShaderHandleRecord;
struct ShadowMapRecord;

// Takes `texture` off every stage (and vertex sampler) the device has it on and out of the normal-draw
// state, so that the device never holds a texture the library has released. 0.
int Graphics_D3D9_StateCache_UnbindTexture(IDirect3DBaseTexture9* texture);

// ---- Vertex and index buffers (the record's first platform word holds the device buffer) ----

// The device buffer of a buffer handle made from its record (element size x count, written back from the
// system copy when it has one); 0 when it already exists, -1 with a log line on failure.
int Graphics_D3D9_VertexBuffer_Create(BufferHandleRecord* buffer, int async);
int Graphics_D3D9_IndexBuffer_Create(BufferHandleRecord* buffer, int async);

// ---- The caller's shaders ----

// What a shader record keeps of its device shader, in its platform area.
struct D3D9UserShaderPlatform {
    IUnknown* Shader;               // IDirect3DVertexShader9 or IDirect3DPixelShader9
    intptr_t ConstantCount;         // of the byte code's constant table, 0 without one
    const uint8_t* Constants;       // the table's constant records inside the record's byte-code copy, or null
};

// The platform part of a shader record, null for null.
D3D9UserShaderPlatform* Graphics_D3D9_UserShader_Platform(ShaderHandleRecord* record);
// The device shader made again from the record's kept byte code; 0 when it exists, -1 on failure.
int Graphics_D3D9_Shader_ReCreate(ShaderHandleRecord* record);

// ---- Shadow maps ----

// The Direct3D 9 objects of a shadow map, in the record's platform area.
struct D3D9ShadowMapPlatform {
    IDirect3DSurface9* DepthSurface;
    IDirect3DTexture9* Texture;     // colour: the depth the shadow pass writes
    IDirect3DSurface9* Surface;     // level 0 of Texture
    int32_t ColorFormatIndex;       // D3D9TextureFormatTable row in use
    int32_t DepthFormatIndex;       // D3D9DepthFormatTable row in use
};

// The platform part of a shadow-map record (its platform area), null for null.
D3D9ShadowMapPlatform* Graphics_D3D9_ShadowMap_Platform(ShadowMapRecord* record);
// The colour texture of the live shadow map a handle names, null for anything else.
IDirect3DTexture9* Graphics_D3D9_ShadowMap_TextureOf(int handle);

// Every device object of the library's records made anew on a new device: the system-memory pools'
// objects, the graphs' textures, the shadow maps, the vertex and index buffers and the shaders. 0.
int Graphics_D3D9_DeviceObjects_CreateAll();

}  // namespace Vantrel
