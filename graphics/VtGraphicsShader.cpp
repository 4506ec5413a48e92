// Shader, constant-buffer and vertex/index-buffer handles: record callbacks, shader creation at once
// or as a loader job, the user-shader selection, extra render targets, buffer data writes and the
// standard vertex layouts. A shader handle is handed out only once its device shader exists (or,
// for a queued creation, once its job is counted on the handle so that every lookup waits for it).
// Stands on the handle manager, the asynchronous loader, the graph handles and the switch layer.
#include "graphics/VtGraphicsShader.h"

#include <string.h>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

namespace Vantrel {

UserShaderStateRecord UserShaderState;

const StandardVertexLayout StandardVertexLayouts[StandardVertexTypeCount] = {
    {"Base_VERTEX_NOTEX_2D.vso", 20, StandardVertexBatchBytes / 20},
    {"Base_VERTEX2D.vso", 28, StandardVertexBatchBytes / 28},
    {"Base_VERTEX_BLENDTEX_2D.vso", 40, StandardVertexBatchBytes / 40},
    {"Base_VERTEX_NOTEX_3D.vso", 16, StandardVertexBatchBytes / 16},
    {"Base_VERTEX_3D.vso", 24, StandardVertexBatchBytes / 24},
    {"Base_VERTEX3D.vso", 48, StandardVertexBatchBytes / 48},
    {"Base_VERTEX3DSHADER.vso", 88, StandardVertexBatchBytes / 88},
    {"Base_VERTEX2DSHADER.vso", 40, StandardVertexBatchBytes / 40},
};

// ---- Record callbacks ----

void Graphics_Shader_HandleRecord_Initialize(HandleHeader* record) {
    ShaderHandleRecord* shader = reinterpret_cast<ShaderHandleRecord*>(record);
    shader->Platform = shader->PlatformArea;
}

int Graphics_Shader_HandleRecord_Terminate(HandleHeader* record) {
    ShaderHandleRecord* shader = reinterpret_cast<ShaderHandleRecord*>(record);
    const int handle = record->Handle;
    if (UserShaderState.VertexShader == handle) UserShaderState.VertexShader = 0;
    if (UserShaderState.GeometryShader == handle) UserShaderState.GeometryShader = 0;
    if (UserShaderState.PixelShader == handle) UserShaderState.PixelShader = 0;
    Memory_Free(shader->ByteCode);
    shader->ByteCode = nullptr;
    shader->ByteCodeSize = 0;
    Graphics_Dispatch_Shader_Release(shader);
    return 0;
}

void Graphics_ConstantBuffer_HandleRecord_Initialize(HandleHeader* record) {
    ConstantBufferHandleRecord* buffer = reinterpret_cast<ConstantBufferHandleRecord*>(record);
    buffer->Platform = buffer->PlatformArea;
}

int Graphics_ConstantBuffer_HandleRecord_Terminate(HandleHeader* record) {
    Graphics_Dispatch_ShaderConstantBuffer_Release(reinterpret_cast<ConstantBufferHandleRecord*>(record));
    return 0;
}

void Graphics_Buffer_HandleRecord_Initialize(HandleHeader* record) {
    BufferHandleRecord* buffer = reinterpret_cast<BufferHandleRecord*>(record);
    buffer->Platform = buffer->PlatformArea;
}

int Graphics_Buffer_HandleRecord_Terminate(HandleHeader* record) {
    BufferHandleRecord* buffer = reinterpret_cast<BufferHandleRecord*>(record);
    Graphics_Dispatch_Buffer_Release(buffer);
    Memory_Free(buffer->SystemCopy);
    buffer->SystemCopy = nullptr;
    return 0;
}

// ---- Lookups ----

HandleHeader* Graphics_Shader_GetTypedRecord(int handle, int type, int noWait) {
    const HandleManager& manager = HandleManagerTable[type];
    if (!manager.Initialized || handle < 0 || (handle & HandleValue_TypeMask) != manager.TypeMask) return nullptr;
    const int slot = Handle_SlotOf(handle);
    if (slot >= manager.MaxCount) return nullptr;
    auto live = [&]() -> HandleHeader* {
        HandleHeader* record = manager.Slots[slot];
        return record != nullptr && record->CheckValue == Handle_CheckOf(handle) ? record : nullptr;
    };
    HandleHeader* record = live();
    if (record == nullptr || noWait || record->ASyncLoadCount == 0) return record;
    // Finish the pending job here when it is the only one and still queued, else wait for it.
    const bool ranHere = record->ASyncLoadCount == 1 && record->JobIndex >= 0 && ASyncLoad_Entry_RunNow(record->JobIndex) >= 0;
    if (!ranHere && Handle_ASyncLoad_Wait(handle) < 0) return nullptr;
    record = live();
    if (record != nullptr && record->ASyncLoadCount > 0 && Handle_ASyncLoad_Wait(handle) < 0) return nullptr;
    return live();
}

ShaderHandleRecord* Graphics_Shader_GetHandleData(int shader, int noWait) {
    return reinterpret_cast<ShaderHandleRecord*>(Graphics_Shader_GetTypedRecord(shader, HandleType_Shader, noWait));
}

// ---- Creation ----

int Graphics_Shader_CreateFromBinary_GParam(int kind, const void* byteCode, int size, int freeSource, int async,
                                            int inJob) {
    // Nothing is made (and no handle value exists) before the checks pass.
    const bool refused = !Graphics_Dispatch_Device_IsValid() || !GraphicsSystemState.ShadersUsable ||
                         !GraphicsSystemState.Initialised || kind < SHADER_KIND_VERTEX || kind > SHADER_KIND_GEOMETRY ||
                         byteCode == nullptr || size <= 0;
    if (refused) {
        if (freeSource) Memory_Free(const_cast<void*>(byteCode));
        return -1;
    }
    const int handle = Handle_New(HandleType_Shader, inJob, -1);
    if (handle < 0) {
        if (freeSource) Memory_Free(const_cast<void*>(byteCode));
        return -1;
    }
    if (async && !inJob) {
        int bytes = 0;
        ASyncLoad_Param_PutInt(nullptr, &bytes, 0);
        ASyncLoad_Param_PutInt(nullptr, &bytes, 0);
        ASyncLoad_Param_PutPointer(nullptr, &bytes, nullptr);
        ASyncLoad_Param_PutInt(nullptr, &bytes, 0);
        ASyncLoad_Param_PutInt(nullptr, &bytes, 0);
        ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(bytes);
        if (entry != nullptr) {
            int offset = 0;
            ASyncLoad_Param_PutInt(entry->Params, &offset, handle);
            ASyncLoad_Param_PutInt(entry->Params, &offset, kind);
            ASyncLoad_Param_PutPointer(entry->Params, &offset, byteCode);
            ASyncLoad_Param_PutInt(entry->Params, &offset, size);
            ASyncLoad_Param_PutInt(entry->Params, &offset, freeSource);
            entry->Procedure = Graphics_Shader_Create_ASyncJob;
            int index = -1;
            if (ASyncLoad_Entry_Enqueue(entry, &index) >= 0) {
                Handle_ASyncLoad_Begin(handle, index);
                return handle;
            }
            ASyncLoad_Entry_Free(entry);
        }
        Handle_Delete(handle, 0, 0);
        if (freeSource) Memory_Free(const_cast<void*>(byteCode));
        return -1;
    }
    const int created = Graphics_Dispatch_Shader_Create(handle, kind, byteCode, size, freeSource, inJob);
    if (inJob) Handle_ASyncLoad_End(handle);
    if (created < 0) {
        Handle_Delete(handle, 0, inJob);
        return -1;
    }
    return handle;
}

int Graphics_Shader_CreatePixelShaderFromMemory(const void* byteCode, int size) {
    return Graphics_Shader_CreateFromBinary_GParam(SHADER_KIND_PIXEL, byteCode, size, 0, IsAsyncLoadEnabled(), 0);
}

int Graphics_Shader_Create_ASyncJob(ASyncLoadEntry* entry) {
    int offset = 0;
    const int handle = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int kind = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const void* byteCode = ASyncLoad_Param_GetPointer(entry->Params, &offset);
    const int size = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int freeSource = ASyncLoad_Param_GetInt(entry->Params, &offset);
    const int created = Graphics_Dispatch_Shader_Create(handle, kind, byteCode, size, freeSource, 1);
    HandleHeader* record = Handle_GetRecord(handle);
    if (record != nullptr) record->ASyncLoadResult = created;
    const int ended = Handle_ASyncLoad_End(handle);
    if (created < 0) {
        Handle_Delete(handle, 1, 0);   // on the main thread
        return created;
    }
    return ended;
}

// ---- Selection ----

namespace {

int SelectShader(int shader, int kind, int32_t* slot) {
    if (shader <= 0) {
        *slot = 0;
        return 0;
    }
    const ShaderHandleRecord* record = Graphics_Shader_GetHandleData(shader, 0);
    if (record == nullptr || record->Kind != kind) return -1;
    *slot = shader;
    return 0;
}

}  // namespace

int SelectVertexShader(int shader) { return SelectShader(shader, SHADER_KIND_VERTEX, &UserShaderState.VertexShader); }

int SelectPixelShader(int shader) { return SelectShader(shader, SHADER_KIND_PIXEL, &UserShaderState.PixelShader); }

int SelectShaderTexture(int slot, int graphOrShadowMap) {
    if (slot < 0 || slot > 15) return -1;
    if (graphOrShadowMap == -1) {
        UserShaderState.Textures[slot] = 0;
        return 0;
    }
    if (Graphics_Image_GetGraphRecord(graphOrShadowMap, 0) == nullptr &&
        Graphics_Shader_GetTypedRecord(graphOrShadowMap, HandleType_ShadowMap, 0) == nullptr)
        return -1;
    UserShaderState.Textures[slot] = graphOrShadowMap;
    return 0;
}

int SetShaderRenderTarget(int slot, int graph, int surface, int mipLevel) {
    const int slots = GraphicsSystemState.MaxRenderTargets > 0 ? GraphicsSystemState.MaxRenderTargets : 1;
    if (slot < 0 || slot >= slots || slot >= 8) return -1;
    if (slot == 0 && surface == 0 && mipLevel == 0) return SelectDrawScreen(graph);
    if (!GraphicsSystemState.DeviceValid) return -1;
    DrawTargetSlot& target = GraphicsScreenState.DrawTargets[slot];
    const int previous = GraphicsScreenState.DrawTargets[0].Handle;
    target = {graph, surface, mipLevel};
    if (slot == 0) {
        int width = 0, height = 0;
        QueryGraphSize(graph, &width, &height);
        if (mipLevel > 0) Graphics_Image_ComputeMipLevelSize(width, height, mipLevel, &width, &height);
        GraphicsScreenState.DrawTargetWidth = width;
        GraphicsScreenState.DrawTargetHeight = height;
    }
    Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
    if (Graphics_Dispatch_ShaderRenderTarget_Set(slot, graph, surface, mipLevel) < 0) return -1;
    if (slot == 0) Graphics_Camera_ResetForRenderTarget(previous);
    return 0;
}

// ---- Buffer data ----

namespace {

int SetBufferData(int first, const void* data, int count, int handle, int type) {
    BufferHandleRecord* buffer = reinterpret_cast<BufferHandleRecord*>(Graphics_Shader_GetTypedRecord(handle, type, 0));
    if (buffer == nullptr) return -1;
    if (first < 0 || count < 0 || static_cast<int64_t>(first) + count > buffer->ElementCount) return -1;
    if (count == 0) return 0;
    if (data == nullptr || buffer->SystemCopy == nullptr || buffer->ElementSize <= 0) return -1;
    const int64_t offset = static_cast<int64_t>(first) * buffer->ElementSize;
    const int64_t bytes = static_cast<int64_t>(count) * buffer->ElementSize;
    // The system copy came from the library heap: it never reaches 4 GB.
    if (offset + bytes > static_cast<int64_t>(buffer->ElementCount) * buffer->ElementSize ||
        offset + bytes > static_cast<int64_t>(UINT32_MAX))
        return -1;
    memcpy(static_cast<uint8_t*>(buffer->SystemCopy) + offset, data, static_cast<size_t>(bytes));
    const int result = type == HandleType_VertexBuffer ? Graphics_Dispatch_VertexBuffer_SetData(buffer, first, data, count)
                                                       : Graphics_Dispatch_IndexBuffer_SetData(buffer, first, data, count);
    return result < 0 ? -1 : 0;
}

}  // namespace

int Graphics_Buffer_SetVertexData(int first, const void* data, int count, int vertexBuffer) {
    return SetBufferData(first, data, count, vertexBuffer, HandleType_VertexBuffer);
}

int Graphics_Buffer_SetIndexData(int first, const void* data, int count, int indexBuffer) {
    return SetBufferData(first, data, count, indexBuffer, HandleType_IndexBuffer);
}

}  // namespace Vantrel
