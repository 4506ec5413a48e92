// Shader, constant-buffer and vertex/index-buffer handles: their records and callbacks, shader
// creation from byte code (at once or as a loader job), the selection of the caller's own shaders
// and shader textures that drawing with them reads, extra render targets, the buffer data writers,
// and the standard vertex layouts of the batch buffers. The device objects are made and released by
// the back-ends through the switch layer.
// Stands on the handle manager, the asynchronous loader, the graph handles and the switch layer.
#pragma once

#include <stdint.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"

namespace Vantrel {

enum ShaderKind : int32_t {
    SHADER_KIND_VERTEX = 0,
    SHADER_KIND_PIXEL = 1,
    SHADER_KIND_GEOMETRY = 2,
};

// Pointer slots of a record's platform area (the back-end's device objects).
constexpr int GraphicsPlatformAreaSlots = 4;

struct ShaderHandleRecord {
    HandleHeader Header;
    int Kind;                   // ShaderKind
    void* ByteCode;             // the record's own copy (library heap), null until created
    int ByteCodeSize;
    void* Platform;             // points at PlatformArea
    void* PlatformArea[GraphicsPlatformAreaSlots];
};

struct ConstantBufferHandleRecord {
    HandleHeader Header;
    void* Platform;             // points at PlatformArea
    void* PlatformArea[GraphicsPlatformAreaSlots];
};

struct BufferHandleRecord {
    HandleHeader Header;
    int Kind;                   // vertex buffers: 0 type-5, 1 type-6 vertices; index buffers: 0 16-bit, 1 32-bit
    int ElementSize;
    int ElementCount;
    void* SystemCopy;           // ElementSize x ElementCount bytes mirroring the device buffer
    void* Platform;             // points at PlatformArea
    void* PlatformArea[GraphicsPlatformAreaSlots];
};

// The caller's shaders and shader textures; the back-ends and the graph filters read it.
struct UserShaderStateRecord {
    int32_t Textures[16];       // graph or shadow-map handles, 0 = none
    int32_t VertexShader;
    int32_t GeometryShader;     // no setter: stays 0
    int32_t PixelShader;
};
extern UserShaderStateRecord UserShaderState;

// The standard vertex layouts 0 to 7 of the batch buffers (64 KB each).
constexpr int StandardVertexTypeCount = 8;
constexpr int StandardVertexBatchBytes = 65536;
struct StandardVertexLayout {
    const char* VertexShaderName;
    int32_t Stride;
    int32_t PerBatch;
};
extern const StandardVertexLayout StandardVertexLayouts[StandardVertexTypeCount];

void Graphics_Shader_HandleRecord_Initialize(HandleHeader* record);
int Graphics_Shader_HandleRecord_Terminate(HandleHeader* record);
void Graphics_ConstantBuffer_HandleRecord_Initialize(HandleHeader* record);
int Graphics_ConstantBuffer_HandleRecord_Terminate(HandleHeader* record);
void Graphics_Buffer_HandleRecord_Initialize(HandleHeader* record);
int Graphics_Buffer_HandleRecord_Terminate(HandleHeader* record);

// A shader handle made from byte code, or -1 (no device, no shader support, graphics not started,
// bad kind or size, creation failed). With `async` (outside a job) the handle comes back at once and
// the device shader is made by a loader job; every lookup waits for it.
int Graphics_Shader_CreateFromBinary_GParam(int kind, const void* byteCode, int size, int freeSource, int async,
                                            int inJob);
int Graphics_Shader_CreatePixelShaderFromMemory(const void* byteCode, int size);
int Graphics_Shader_Create_ASyncJob(ASyncLoadEntry* entry);
// The live record of a handle of `type`, its pending load finished first unless `noWait`; null.
HandleHeader* Graphics_Shader_GetTypedRecord(int handle, int type, int noWait);
ShaderHandleRecord* Graphics_Shader_GetHandleData(int shader, int noWait);

int SelectVertexShader(int shader);
int SelectPixelShader(int shader);
int SelectShaderTexture(int slot, int graphOrShadowMap);
int SetShaderRenderTarget(int slot, int graph, int surface, int mipLevel);

// Writes count elements from `first`; -1 for a dead handle, a negative first or count, a range past
// the end, or a device write that fails (the system copy is written first).
int Graphics_Buffer_SetVertexData(int first, const void* data, int count, int vertexBuffer);
int Graphics_Buffer_SetIndexData(int first, const void* data, int count, int indexBuffer);

}  // namespace Vantrel
