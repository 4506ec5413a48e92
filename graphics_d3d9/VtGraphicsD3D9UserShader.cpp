// Direct3D 9 shaders of the library's shader handles: the device shader made from the caller's byte code
// (vertex or pixel), the record's own copy of that code with the constant table it begins with, the
// device shader made again from the copy on a new device, and the release that first takes it off the
// device.
// Stands on the call layer, the state cache, the allocator, the log and the core's shader records.
#include <string.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

static_assert(sizeof(D3D9UserShaderPlatform) <= sizeof(((ShaderHandleRecord*)nullptr)->PlatformArea),
              "the shader's device objects fit the record's platform area");

namespace {

// Layout of a byte code that begins with its constant table: the version token, a comment token
// (0xFFFE in its low word), the "CTAB" tag, then the table header, whose fourth word is the constant
// count, and the constant records (20 bytes each) right after the 28-byte header.
constexpr size_t ConstantCountOffset = 24;
constexpr size_t ConstantRecordsOffset = 40;
constexpr size_t ConstantRecordBytes = 20;

// The device shader of a kind from byte code; null with a log line on failure or for another kind.
IUnknown* MakeShader(int kind, const void* byteCode, int async) {
    if (kind == SHADER_KIND_VERTEX) {
        IDirect3DVertexShader9* shader = nullptr;
        if (D3D9Call_Device_CreateVertexShaderASync((const DWORD*)byteCode, &shader, async) == D3D_OK && shader != nullptr)
            return shader;
        Log_AddTextShiftJIS("頂点シェーダーの作成に失敗しました\n");
        return nullptr;
    }
    if (kind == SHADER_KIND_PIXEL) {
        IDirect3DPixelShader9* shader = nullptr;
        if (D3D9Call_Device_CreatePixelShaderASync((const DWORD*)byteCode, &shader, async) == D3D_OK && shader != nullptr)
            return shader;
        Log_AddTextShiftJIS("ピクセルシェーダーの作成に失敗しました\n");
        return nullptr;
    }
    Log_AddTextShiftJIS("対応していないタイプのシェーダーを作成しようとしました\n");
    return nullptr;
}

// The constant table of a byte-code copy, when the code begins with one that fits inside it.
void ReadConstantTable(D3D9UserShaderPlatform* p, const uint8_t* code, int size) {
    p->ConstantCount = 0;
    p->Constants = nullptr;
    if (size < (int)ConstantRecordsOffset || code[4] != 0xFE || code[5] != 0xFF) return;
    uint32_t count = 0;
    memcpy(&count, code + ConstantCountOffset, sizeof(count));
    // A count that reaches past the code would have readers of the table walk outside the copy.
    if ((uint64_t)ConstantRecordsOffset + (uint64_t)count * ConstantRecordBytes > (uint64_t)size) return;
    p->ConstantCount = (intptr_t)count;
    p->Constants = code + ConstantRecordsOffset;
}

void ReleaseDeviceShader(int kind, IUnknown* object) {
    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    if (kind == SHADER_KIND_VERTEX && (IUnknown*)cache.VertexShader == object) {
        D3D9Call_Device_SetVertexShader(nullptr);
        cache.VertexShader = nullptr;
        cache.VertexShaderUser = 0;
    }
    if (kind == SHADER_KIND_PIXEL && (IUnknown*)cache.PixelShader == object) {
        D3D9Call_Device_SetPixelShader(nullptr);
        cache.PixelShader = nullptr;
        cache.PixelShaderUser = 0;
        cache.StateChanged = 1;
    }
    D3D9Call_Object_Release(object);
}

}  // namespace

D3D9UserShaderPlatform* Graphics_D3D9_UserShader_Platform(ShaderHandleRecord* record) {
    if (record == nullptr) return nullptr;
    if (record->Platform == nullptr) record->Platform = record->PlatformArea;
    return (D3D9UserShaderPlatform*)record->Platform;
}

int Graphics_D3D9_Shader_Create(int shader, int kind, const void* byteCode, int size, int freeSource, int inJob) {
    auto end = [&](int result) {
        if (freeSource) Memory_Free(const_cast<void*>(byteCode));
        return result;
    };
    if (!D3D9Call_Device_Exists()) return end(-1);
    // On the main thread a pending load of the handle finishes first.
    ShaderHandleRecord* record = Graphics_Shader_GetHandleData(shader, inJob ? 1 : 0);
    if (record == nullptr || byteCode == nullptr || size < 4) return end(-1);
    IUnknown* object = MakeShader(kind, byteCode, inJob);
    if (object == nullptr) return end(-1);
    uint8_t* copy = (uint8_t*)Memory_Allocate((uint32_t)size, __FILE__, __LINE__);
    if (copy == nullptr) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました\n");
        D3D9Call_Object_Release(object);
        return end(-1);
    }
    memcpy(copy, byteCode, (size_t)size);
    D3D9UserShaderPlatform* p = Graphics_D3D9_UserShader_Platform(record);
    if (p->Shader != nullptr) ReleaseDeviceShader(record->Kind, p->Shader);
    Memory_Free(record->ByteCode);
    record->ByteCode = copy;
    record->ByteCodeSize = size;
    record->Kind = kind;
    p->Shader = object;
    ReadConstantTable(p, copy, size);
    return end(0);
}

int Graphics_D3D9_Shader_ReCreate(ShaderHandleRecord* record) {
    if (!D3D9Call_Device_Exists() || record == nullptr) return -1;
    D3D9UserShaderPlatform* p = Graphics_D3D9_UserShader_Platform(record);
    if (p->Shader != nullptr || record->ByteCode == nullptr) return 0;
    IUnknown* object = record->ByteCodeSize >= 4 ? MakeShader(record->Kind, record->ByteCode, 0) : nullptr;
    if (object == nullptr) return -1;
    p->Shader = object;
    ReadConstantTable(p, (const uint8_t*)record->ByteCode, record->ByteCodeSize);
    return 0;
}

int Graphics_D3D9_Shader_Release(ShaderHandleRecord* record) {
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9UserShaderPlatform* p = Graphics_D3D9_UserShader_Platform(record);
    if (p == nullptr || p->Shader == nullptr) return 0;
    ReleaseDeviceShader(record->Kind, p->Shader);
    p->Shader = nullptr;
    // The table pointed into the byte-code copy, which the record may free next.
    p->ConstantCount = 0;
    p->Constants = nullptr;
    return 0;
}

}  // namespace Vantrel
