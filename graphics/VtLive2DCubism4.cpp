// The Live2D module: start and end, the model handle type, the core library's loading and entry-point
// look-up, and the shader pack of the back-end in use.
// Stands on the handle manager, the allocator, the log, archives, the system function table and the
// framework part.
#include "graphics/VtLive2DCubism4.h"

#include <string.h>

#include "foundation/VtArchiveDecode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"

namespace Vantrel {

Live2DModuleStateRecord Live2DModuleState;

namespace {

constexpr int Live2DModel_MaxCount = 32768;

// Each entry point with the name its missing-entry message shows (tabs included).
struct CoreEntry {
    const char* Name;
    const char* Shown;
};

const CoreEntry CoreEntries[Live2D_CoreEntryCount] = {
    {"csmGetVersion", "_csmGetVersion@0\t\t\t\t\t"},
    {"csmGetLatestMocVersion", "_csmGetLatestMocVersion@0\t\t\t"},
    {"csmGetMocVersion", "_csmGetMocVersion@8\t\t\t\t"},
    {"csmHasMocConsistency", "csmHasMocConsistency\t\t\t\t"},
    {"csmGetLogFunction", "_csmGetLogFunction@0\t\t\t\t"},
    {"csmSetLogFunction", "_csmSetLogFunction@4\t\t\t\t"},
    {"csmReviveMocInPlace", "_csmReviveMocInPlace@8\t\t\t\t"},
    {"csmGetSizeofModel", "_csmGetSizeofModel@4\t\t\t\t"},
    {"csmInitializeModelInPlace", "_csmInitializeModelInPlace@12\t\t"},
    {"csmUpdateModel", "_csmUpdateModel@4\t\t\t\t\t"},
    {"csmReadCanvasInfo", "_csmReadCanvasInfo@16\t\t\t\t"},
    {"csmGetParameterCount", "_csmGetParameterCount@4\t\t\t"},
    {"csmGetParameterIds", "_csmGetParameterIds@4\t\t\t\t"},
    {"csmGetParameterTypes", "csmGetParameterTypes\t\t\t\t"},
    {"csmGetParameterMinimumValues", "_csmGetParameterMinimumValues@4\t"},
    {"csmGetParameterMaximumValues", "_csmGetParameterMaximumValues@4\t"},
    {"csmGetParameterDefaultValues", "_csmGetParameterDefaultValues@4\t"},
    {"csmGetParameterValues", "_csmGetParameterValues@4\t\t\t"},
    {"csmGetParameterKeyCounts", "csmGetParameterKeyCounts\t\t\t"},
    {"csmGetParameterKeyValues", "csmGetParameterKeyValues\t\t\t"},
    {"csmGetPartCount", "_csmGetPartCount@4\t\t\t\t\t"},
    {"csmGetPartIds", "_csmGetPartIds@4\t\t\t\t\t"},
    {"csmGetPartOpacities", "_csmGetPartOpacities@4\t\t\t\t"},
    {"csmGetPartParentPartIndices", "_csmGetPartParentPartIndices@4\t\t"},
    {"csmGetDrawableCount", "_csmGetDrawableCount@4\t\t\t\t"},
    {"csmGetDrawableIds", "_csmGetDrawableIds@4\t\t\t\t"},
    {"csmGetDrawableConstantFlags", "_csmGetDrawableConstantFlags@4\t\t"},
    {"csmGetDrawableDynamicFlags", "_csmGetDrawableDynamicFlags@4\t\t"},
    {"csmGetDrawableTextureIndices", "_csmGetDrawableTextureIndices@4\t"},
    {"csmGetDrawableDrawOrders", "_csmGetDrawableDrawOrders@4\t\t"},
    {"csmGetDrawableRenderOrders", "_csmGetDrawableRenderOrders@4\t\t"},
    {"csmGetDrawableOpacities", "_csmGetDrawableOpacities@4\t\t\t"},
    {"csmGetDrawableMaskCounts", "_csmGetDrawableMaskCounts@4\t\t"},
    {"csmGetDrawableMasks", "_csmGetDrawableMasks@4\t\t\t\t"},
    {"csmGetDrawableVertexCounts", "_csmGetDrawableVertexCounts@4\t\t"},
    {"csmGetDrawableVertexPositions", "_csmGetDrawableVertexPositions@4\t"},
    {"csmGetDrawableVertexUvs", "_csmGetDrawableVertexUvs@4\t\t\t"},
    {"csmGetDrawableIndexCounts", "_csmGetDrawableIndexCounts@4\t\t"},
    {"csmGetDrawableIndices", "_csmGetDrawableIndices@4\t\t\t"},
    {"csmGetDrawableMultiplyColors", "csmGetDrawableMultiplyColors\t\t\t"},
    {"csmGetDrawableScreenColors", "csmGetDrawableScreenColors\t\t\t"},
    {"csmGetDrawableParentPartIndices", "csmGetDrawableParentPartIndices\t\t\t"},
    {"csmResetDrawableDynamicFlags", "_csmResetDrawableDynamicFlags@4\t"},
};

// The built-in Live2D shader packs of the two back-ends (size-prefixed Base64 of an LZ-packed
// archive). Their shaders are not part of this build: both are empty, so opening one fails.
const char Live2DShaderPackD3D11[] = "";
const char Live2DShaderPackD3D9[] = "";

}  // namespace

const char* Live2D_CoreEntryName(int index) {
    return index >= 0 && index < Live2D_CoreEntryCount ? CoreEntries[index].Name : nullptr;
}

void Live2D_ModelHandleRecord_Initialize(HandleHeader* record) {
    Live2DModelRecord* model = reinterpret_cast<Live2DModelRecord*>(record);
    model->Values[0] = model->Values[1] = 0;
    model->Scale[0] = model->Scale[1] = 1.0f;
    model->Flag = 0;
    model->Handle = -1;
}

int Live2D_ModelHandleRecord_Terminate(HandleHeader* record) {
    Live2DModelRecord* model = reinterpret_cast<Live2DModelRecord*>(record);
    Live2D_Model_Release(model->Model);
    model->Model = nullptr;
    return 0;
}

int Live2D_DeleteAllModels() {
    if (!HandleManagerTable[HandleType_Live2DModel].Initialized) return 0;
    return Handle_DeleteAll(HandleType_Live2DModel, nullptr);
}

int Live2D_Platform_LoadCore() {
    Live2DModuleStateRecord& state = Live2DModuleState;
    if (state.Core != nullptr) return 0;
    WinAPI_EnsureLoaded();
    if (WinAPITable.LoadLibraryW == nullptr || WinAPITable.GetProcAddress == nullptr) return -1;
    state.Core = WinAPITable.LoadLibraryW(L"Live2DCubismCore.dll");
    if (state.Core == nullptr) return -1;
    Log_AddTextShiftJIS("Live2DCubismCore.dll の読み込みに成功しました\n");
    for (int i = 0; i < Live2D_CoreEntryCount; ++i)
        state.CoreEntries[i] = reinterpret_cast<void*>(WinAPITable.GetProcAddress(state.Core, CoreEntries[i].Name));
    // The two key-count entries may be exported only under their stdcall names.
    for (int i = 0; i < Live2D_CoreEntryCount; ++i) {
        if (state.CoreEntries[i] != nullptr) continue;
        if (strcmp(CoreEntries[i].Name, "csmGetParameterKeyCounts") == 0)
            state.CoreEntries[i] = reinterpret_cast<void*>(WinAPITable.GetProcAddress(state.Core, "_csmGetParameterKeyCounts@4"));
        else if (strcmp(CoreEntries[i].Name, "csmGetParameterKeyValues") == 0)
            state.CoreEntries[i] = reinterpret_cast<void*>(WinAPITable.GetProcAddress(state.Core, "_csmGetParameterKeyValues@4"));
    }
    for (int i = 0; i < Live2D_CoreEntryCount; ++i) {
        if (state.CoreEntries[i] == nullptr) {
            Log_AddFormatShiftJIS("Error : Live2D API %sを取得できませんでした\n", CoreEntries[i].Shown);
            return -1;
        }
    }
    return 0;
}

int Live2D_Platform_Terminate() {
    Live2DModuleStateRecord& state = Live2DModuleState;
    if (state.Core != nullptr && WinAPITable.FreeLibrary != nullptr) WinAPITable.FreeLibrary(state.Core);
    state.Core = nullptr;
    for (void*& entry : state.CoreEntries) entry = nullptr;
    return 0;
}

int Live2D_ShaderPack_Open(int32_t* decodedSwitch, const char* text) {
    Live2DModuleStateRecord& state = Live2DModuleState;
    if (text == nullptr) return -1;
    // The text is decoded into a block of its own (the built-in text stays as it is, read-only) and
    // the block is dropped once the pack is expanded; the switch records that it has been read.
    *decodedSwitch = 1;
    const uint64_t textLength = strlen(text);
    if (textLength < 6) return -1;
    const uint32_t packedSize = Archive_DecodeBase64(text, nullptr);
    if (packedSize == 0 || packedSize > (textLength - 6) / 4 * 3 + 3) return -1;
    void* packed = Memory_Allocate(packedSize, __FILE__, __LINE__);
    if (packed == nullptr) return -1;
    Archive_DecodeBase64(text, packed);
    const int64_t size = Archive_LzDecompressChecked(packed, packedSize, nullptr, 0);
    void* image = size > 0 && size <= 0x7FFFFFFF
                      ? Memory_Allocate(static_cast<uint32_t>(size), __FILE__, __LINE__)
                      : nullptr;
    if (image == nullptr || Archive_LzDecompressChecked(packed, packedSize, image, static_cast<uint64_t>(size)) != size) {
        Memory_Free(image);
        Memory_Free(packed);
        return -1;
    }
    Memory_Free(packed);
    Archive_ResetContext(&state.ShaderPack);
    if (Archive_OpenFromMemory(&state.ShaderPack, image, static_cast<uint64_t>(size), 0, 0, nullptr, nullptr) < 0) {
        Memory_Free(image);
        return -1;
    }
    state.ShaderPackImage = image;
    return 0;
}

int Live2D_Platform_Initialize() {
    if (Live2D_Platform_LoadCore() < 0) return -1;
    Live2DModuleStateRecord& state = Live2DModuleState;
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Live2D_ShaderPack_Open(&state.ShaderPackDecoded[1], Live2DShaderPackD3D9);
        case GRAPHICS_API_D3D11: return Live2D_ShaderPack_Open(&state.ShaderPackDecoded[0], Live2DShaderPackD3D11);
        default: return -1;
    }
}

int Live2D_ModuleInitialize() {
    Live2DModuleStateRecord& state = Live2DModuleState;
    if (state.Started) return 0;
    if (Handle_Type_Setup(HandleType_Live2DModel, sizeof(Live2DModelRecord), Live2DModel_MaxCount,
                          Live2D_ModelHandleRecord_Initialize, Live2D_ModelHandleRecord_Terminate, nullptr,
                          L"Live2DModel") < 0)
        return -1;
    Live2D_Json_CreateStatics();
    state.IdManager = Live2D_IdManager_Create();
    if (Live2D_Platform_Initialize() < 0) {
        Live2D_ModuleTerminate();
        return -1;
    }
    state.Started = 1;
    return 0;
}

int Live2D_ModuleTerminate() {
    Live2DModuleStateRecord& state = Live2DModuleState;
    if (HandleManagerTable[HandleType_Live2DModel].Initialized) {
        Handle_DeleteAll(HandleType_Live2DModel, nullptr);
        Handle_Type_Shutdown(HandleType_Live2DModel);
    }
    Live2D_Platform_Terminate();
    Live2D_Json_ReleaseStatics();
    Live2D_IdManager_Delete(state.IdManager);
    state.IdManager = nullptr;
    Live2D_Framework_ReleaseRenderer();
    Archive_CloseAndReset(&state.ShaderPack);
    Memory_Free(state.ShaderPackImage);
    state.ShaderPackImage = nullptr;
    state.Started = 0;
    return 0;
}

}  // namespace Vantrel
