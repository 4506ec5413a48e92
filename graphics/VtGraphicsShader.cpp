// Shader, constant-buffer and vertex/index-buffer handle callbacks: a record starts empty and, when
// it ends, its device object goes back through the switch layer.
// Stands on the handle manager and the switch layer.
#include "graphics/VtGraphicsShader.h"

#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

void Graphics_Shader_HandleRecord_Initialize(HandleHeader* record) {}

int Graphics_Shader_HandleRecord_Terminate(HandleHeader* record) {
    ShaderHandleRecord* shader = reinterpret_cast<ShaderHandleRecord*>(record);
    if (shader->Platform != nullptr) Graphics_Dispatch_Shader_Release(shader);
    return 0;
}

void Graphics_ConstantBuffer_HandleRecord_Initialize(HandleHeader* record) {}

int Graphics_ConstantBuffer_HandleRecord_Terminate(HandleHeader* record) {
    ConstantBufferHandleRecord* buffer = reinterpret_cast<ConstantBufferHandleRecord*>(record);
    if (buffer->Platform != nullptr) Graphics_Dispatch_ShaderConstantBuffer_Release(buffer);
    return 0;
}

void Graphics_Buffer_HandleRecord_Initialize(HandleHeader* record) {}

int Graphics_Buffer_HandleRecord_Terminate(HandleHeader* record) {
    BufferHandleRecord* buffer = reinterpret_cast<BufferHandleRecord*>(record);
    if (buffer->Platform != nullptr) Graphics_Dispatch_Buffer_Release(buffer);
    return 0;
}

}  // namespace Vantrel
