// Shader, constant-buffer and vertex/index-buffer handles. For now the records hold only what their
// handle types need to exist (none is created yet), with the callbacks the graphics module
// registers; ending a record hands its device object to the switch layer.
// Stands on the handle manager and the switch layer.
#pragma once

#include "foundation/VtHandle.h"

namespace Vantrel {

struct ShaderHandleRecord {
    HandleHeader Header;
    int Kind;                   // 0 vertex, 1 pixel, 2 geometry
    void* ByteCode;
    int ByteCodeSize;
    void* Platform;             // the back-end's shader object
};

struct ConstantBufferHandleRecord {
    HandleHeader Header;
    void* Platform;             // the back-end's constant buffer
};

struct BufferHandleRecord {
    HandleHeader Header;
    int Kind;
    int ElementSize;
    int ElementCount;
    void* SystemCopy;
    void* Platform;             // the back-end's device buffer
};

void Graphics_Shader_HandleRecord_Initialize(HandleHeader* record);
int Graphics_Shader_HandleRecord_Terminate(HandleHeader* record);
void Graphics_ConstantBuffer_HandleRecord_Initialize(HandleHeader* record);
int Graphics_ConstantBuffer_HandleRecord_Terminate(HandleHeader* record);
void Graphics_Buffer_HandleRecord_Initialize(HandleHeader* record);
int Graphics_Buffer_HandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel
