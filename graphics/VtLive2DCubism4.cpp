// The Live2D module: start and end, the model handle type, the core library's loading and entry-point
// look-up, and the shader pack of the back-end in use.
// Stands on the handle manager, the allocator, the log, archives, the system function table and the
// framework part.
#include "graphics/VtLive2DCubism4.h"

#include <string.h>

#include "VtLive2DShaderPack.h"
#include "foundation/VtArchiveDecode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d11/VtGraphicsD3D11Live2D.h"

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
// archive). The Direct3D 11 one is made at build time from graphics_d3d11/shaders/live2d; the
// Direct3D 9 back-end has no Live2D shaders in this build, so its pack is empty and opening it fails.
const char* const Live2DShaderPackD3D11 = VtShaderPackText_Live2D;
const char Live2DShaderPackD3D9[] = "";

}  // namespace

const char* Live2D_CoreEntryName(int index) {
    return index >= 0 && index < Live2D_CoreEntryCount ? CoreEntries[index].Name : nullptr;
}

void Live2D_ModelHandleRecord_Initialize(HandleHeader* record) {
    Live2DModelRecord* model = reinterpret_cast<Live2DModelRecord*>(record);
    model->Position[0] = model->Position[1] = 0;
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
    state.ShaderPackImageSize = static_cast<uint32_t>(size);
    return 0;
}

int Live2D_Platform_Initialize() {
    if (Live2D_Platform_LoadCore() < 0) return -1;
    Live2DModuleStateRecord& state = Live2DModuleState;
    switch (GraphicsApi) {
        case GRAPHICS_API_D3D9: return Live2D_ShaderPack_Open(&state.ShaderPackDecoded[1], Live2DShaderPackD3D9);
        case GRAPHICS_API_D3D11:
            // The shaders are made on the device at once (and again after a device re-creation, on
            // the first draw).
            if (Live2D_ShaderPack_Open(&state.ShaderPackDecoded[0], Live2DShaderPackD3D11) < 0) return -1;
            return Graphics_D3D11_Live2D_Create();
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
    Graphics_D3D11_Live2D_Release();
    Archive_CloseAndReset(&state.ShaderPack);
    Memory_Free(state.ShaderPackImage);
    state.ShaderPackImage = nullptr;
    state.ShaderPackImageSize = 0;
    state.Started = 0;
    return 0;
}

// ---- Models ----

namespace {

// The core library's calling convention (stdcall on 32-bit Windows).
typedef int(WINAPI* HasMocConsistencyFunction)(void* address, unsigned int size);
typedef void*(WINAPI* ReviveMocFunction)(void* address, unsigned int size);
typedef unsigned int(WINAPI* SizeofModelFunction)(const void* moc);
typedef void*(WINAPI* InitializeModelFunction)(const void* moc, void* address, unsigned int size);
typedef void(WINAPI* ModelFunction)(void* model);
typedef void(WINAPI* CanvasInfoFunction)(const void* model, float* size, float* origin, float* pixelsPerUnit);
typedef int(WINAPI* CountFunction)(const void* model);
typedef const void*(WINAPI* ArrayFunction)(const void* model);

template <typename F>
F Entry(int index) {
    return reinterpret_cast<F>(Live2DModuleState.CoreEntries[index]);
}

const void* DrawableArray(int index, const void* model) { return Entry<ArrayFunction>(index)(model); }

// A block of `size` bytes whose address is a multiple of `alignment` (a power of two) inside a heap
// block of its own; null when the size does not fit.
void* AllocateAligned(uint32_t size, uint32_t alignment, void** block) {
    const uint64_t total = (uint64_t)size + alignment;
    if (total > 0x7FFFFFFFu) return *block = nullptr;
    *block = Memory_Allocate(static_cast<uint32_t>(total), __FILE__, __LINE__);
    if (*block == nullptr) return nullptr;
    const uintptr_t at = (reinterpret_cast<uintptr_t>(*block) + alignment - 1) & ~static_cast<uintptr_t>(alignment - 1);
    return reinterpret_cast<void*>(at);
}

Live2DModelRecord* ModelRecord(int handle) {
    if (!HandleManagerTable[HandleType_Live2DModel].Initialized) return nullptr;
    if (handle < 0 || (handle & HandleValue_TypeMask) != HandleManagerTable[HandleType_Live2DModel].TypeMask) return nullptr;
    Live2DModelRecord* record = reinterpret_cast<Live2DModelRecord*>(Handle_GetRecord(handle));
    return record != nullptr && record->Model != nullptr ? record : nullptr;
}

Live2DCoreModel* CoreModel(Live2DModelRecord* record) { return static_cast<Live2DCoreModel*>(record->Model); }

// The drawing side of the core's drawables, read once a draw.
struct Drawables {
    int Count;
    const uint8_t* ConstantFlags;
    const uint8_t* DynamicFlags;
    const int32_t* TextureIndices;
    const int32_t* RenderOrders;
    const float* Opacities;
    const int32_t* MaskCounts;
    const int32_t* const* Masks;
    const int32_t* VertexCounts;
    const float* const* Positions;
    const float* const* Uvs;
    const int32_t* IndexCounts;
    const uint16_t* const* Indices;
    const float* MultiplyColors;        // four floats a drawable
    const float* ScreenColors;
};

enum : uint8_t {
    ConstantFlag_Additive = 1,
    ConstantFlag_Multiplicative = 2,
    ConstantFlag_InvertedMask = 8,
    DynamicFlag_Visible = 1,
};

bool ReadDrawables(const void* model, Drawables* d) {
    d->Count = Entry<CountFunction>(Live2DCore_GetDrawableCount)(model);
    d->ConstantFlags = static_cast<const uint8_t*>(DrawableArray(Live2DCore_GetDrawableConstantFlags, model));
    d->DynamicFlags = static_cast<const uint8_t*>(DrawableArray(Live2DCore_GetDrawableDynamicFlags, model));
    d->TextureIndices = static_cast<const int32_t*>(DrawableArray(Live2DCore_GetDrawableTextureIndices, model));
    d->RenderOrders = static_cast<const int32_t*>(DrawableArray(Live2DCore_GetDrawableRenderOrders, model));
    d->Opacities = static_cast<const float*>(DrawableArray(Live2DCore_GetDrawableOpacities, model));
    d->MaskCounts = static_cast<const int32_t*>(DrawableArray(Live2DCore_GetDrawableMaskCounts, model));
    d->Masks = static_cast<const int32_t* const*>(DrawableArray(Live2DCore_GetDrawableMasks, model));
    d->VertexCounts = static_cast<const int32_t*>(DrawableArray(Live2DCore_GetDrawableVertexCounts, model));
    d->Positions = static_cast<const float* const*>(DrawableArray(Live2DCore_GetDrawableVertexPositions, model));
    d->Uvs = static_cast<const float* const*>(DrawableArray(Live2DCore_GetDrawableVertexUvs, model));
    d->IndexCounts = static_cast<const int32_t*>(DrawableArray(Live2DCore_GetDrawableIndexCounts, model));
    d->Indices = static_cast<const uint16_t* const*>(DrawableArray(Live2DCore_GetDrawableIndices, model));
    d->MultiplyColors = static_cast<const float*>(DrawableArray(Live2DCore_GetDrawableMultiplyColors, model));
    d->ScreenColors = static_cast<const float*>(DrawableArray(Live2DCore_GetDrawableScreenColors, model));
    return d->Count >= 0 && (d->Count == 0 || (d->ConstantFlags && d->DynamicFlags && d->TextureIndices && d->RenderOrders &&
                                               d->Opacities && d->MaskCounts && d->Masks && d->VertexCounts && d->Positions &&
                                               d->Uvs && d->IndexCounts && d->Indices && d->MultiplyColors && d->ScreenColors));
}

// One drawable as the renderer's mesh, its texture coordinates taken to the part of the graph's
// texture the picture covers (into `uvs`, 2 x vertex count floats). False when it cannot be drawn.
bool MakeMesh(const Drawables& d, int i, const Live2DCoreModel* model, float* uvs, uint32_t uvCapacity,
              D3D11Live2DMesh* mesh) {
    const int texture = d.TextureIndices[i];
    if (texture < 0 || texture >= Live2DCoreModel::TextureCount || d.VertexCounts[i] <= 0 || d.IndexCounts[i] <= 0 ||
        static_cast<uint32_t>(d.VertexCounts[i]) > uvCapacity)
        return false;
    GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(model->Texture[texture], 0);
    if (graph == nullptr || graph->drawPartCount != 1 || graph->drawParts[0].part == nullptr ||
        graph->drawParts[0].part->platformArea == nullptr || graph->drawParts[0].part->platformArea[2] == nullptr)
        return false;
    const GraphDrawPart& division = graph->drawParts[0];
    const float width = division.part->textureWidth > 0 ? (float)division.width / division.part->textureWidth : 1.0f;
    const float height = division.part->textureHeight > 0 ? (float)division.height / division.part->textureHeight : 1.0f;
    const float* source = d.Uvs[i];
    for (int v = 0; v < d.VertexCounts[i]; ++v) {
        uvs[2 * v] = source[2 * v] * width;
        uvs[2 * v + 1] = 1.0f - (1.0f - source[2 * v + 1]) * height;
    }
    mesh->Positions = d.Positions[i];
    mesh->Uvs = uvs;
    mesh->VertexCount = static_cast<uint32_t>(d.VertexCounts[i]);
    mesh->Indices = d.Indices[i];
    mesh->IndexCount = static_cast<uint32_t>(d.IndexCounts[i]);
    mesh->Texture = static_cast<ID3D11ShaderResourceView*>(division.part->platformArea[2]);
    const uint8_t flags = d.ConstantFlags[i];
    mesh->Blend = (flags & ConstantFlag_Additive)         ? D3D11LIVE2D_BLEND_ADDITIVE
                  : (flags & ConstantFlag_Multiplicative) ? D3D11LIVE2D_BLEND_MULTIPLICATIVE
                                                          : D3D11LIVE2D_BLEND_NORMAL;
    mesh->Premultiplied = model->Premultiplied[texture];
    for (int c = 0; c < 3; ++c) mesh->BaseColor[c] = 1.0f;
    mesh->BaseColor[3] = d.Opacities[i];
    memcpy(mesh->MultiplyColor, d.MultiplyColors + 4 * i, sizeof(mesh->MultiplyColor));
    memcpy(mesh->ScreenColor, d.ScreenColors + 4 * i, sizeof(mesh->ScreenColor));
    return true;
}

}  // namespace

Live2DCoreModel::Live2DCoreModel() : MocBlock(nullptr), Moc(nullptr), ModelBlock(nullptr), Model(nullptr) {
    for (int i = 0; i < TextureCount; ++i) {
        Texture[i] = -1;
        Premultiplied[i] = 0;
    }
}

Live2DCoreModel::~Live2DCoreModel() {
    Memory_Free(ModelBlock);
    Memory_Free(MocBlock);
}

int Live2D_Model_LoadFromMemory(const void* moc, uint32_t size) {
    const Live2DModuleStateRecord& state = Live2DModuleState;
    if (!state.Started || state.Core == nullptr) {
        Log_AddTextShiftJIS("Live2D は使えない状態なのでモデルを読み込めません\n");
        return -1;
    }
    if (moc == nullptr || size == 0) {
        Log_AddTextShiftJIS("Live2D のモデルデータがありません\n");
        return -1;
    }
    Live2DCoreModel* model = Live2D_New<Live2DCoreModel>();
    void* mocCopy = model != nullptr ? AllocateAligned(size, 64, &model->MocBlock) : nullptr;
    if (mocCopy == nullptr) {
        Log_AddTextShiftJIS("Live2D のモデルデータを置くメモリの確保に失敗しました\n");
        Live2D_Delete(model);
        return -1;
    }
    memcpy(mocCopy, moc, size);
    if (!Entry<HasMocConsistencyFunction>(Live2DCore_HasMocConsistency)(mocCopy, size) ||
        (model->Moc = Entry<ReviveMocFunction>(Live2DCore_ReviveMocInPlace)(mocCopy, size)) == nullptr) {
        Log_AddTextShiftJIS("Live2D のモデルデータが正しくありません\n");
        Live2D_Delete(model);
        return -1;
    }
    const unsigned int modelSize = Entry<SizeofModelFunction>(Live2DCore_GetSizeofModel)(model->Moc);
    void* modelMemory = modelSize != 0 ? AllocateAligned(modelSize, 16, &model->ModelBlock) : nullptr;
    if (modelMemory == nullptr ||
        (model->Model = Entry<InitializeModelFunction>(Live2DCore_InitializeModelInPlace)(model->Moc, modelMemory, modelSize)) ==
            nullptr) {
        Log_AddTextShiftJIS("Live2D のモデルの作成に失敗しました\n");
        Live2D_Delete(model);
        return -1;
    }
    Entry<ModelFunction>(Live2DCore_UpdateModel)(model->Model);
    const HandleValue handle = Handle_New(HandleType_Live2DModel, 0, -1);
    Live2DModelRecord* record = handle >= 0 ? reinterpret_cast<Live2DModelRecord*>(Handle_GetRecord(handle)) : nullptr;
    if (record == nullptr) {
        Live2D_Delete(model);
        return -1;
    }
    record->Model = model;
    return handle;
}

int Live2D_Model_Delete(int model) {
    if (ModelRecord(model) == nullptr) return -1;
    return Handle_Delete(model, 0, 0) < 0 ? -1 : 0;
}

int Live2D_Model_SetTexture(int model, int index, int graph, int premultiplied) {
    Live2DModelRecord* record = ModelRecord(model);
    if (record == nullptr || index < 0 || index >= Live2DCoreModel::TextureCount) return -1;
    CoreModel(record)->Texture[index] = graph;
    CoreModel(record)->Premultiplied[index] = premultiplied ? 1 : 0;
    return 0;
}

int Live2D_Model_SetPosition(int model, int x, int y) {
    Live2DModelRecord* record = ModelRecord(model);
    if (record == nullptr) return -1;
    record->Position[0] = x;
    record->Position[1] = y;
    return 0;
}

int Live2D_Model_SetScale(int model, float x, float y) {
    Live2DModelRecord* record = ModelRecord(model);
    if (record == nullptr) return -1;
    record->Scale[0] = x;
    record->Scale[1] = y;
    return 0;
}

int Live2D_Model_Update(int model) {
    Live2DModelRecord* record = ModelRecord(model);
    if (record == nullptr || Live2DModuleState.Core == nullptr) return -1;
    Entry<ModelFunction>(Live2DCore_UpdateModel)(CoreModel(record)->Model);
    return 0;
}

int Live2D_Model_Draw(int model) {
    Live2DModelRecord* record = ModelRecord(model);
    if (record == nullptr || Live2DModuleState.Core == nullptr || GraphicsApi != GRAPHICS_API_D3D11) return -1;
    Live2DCoreModel* core = CoreModel(record);
    Drawables d = {};
    if (!ReadDrawables(core->Model, &d)) return -1;
    float canvas[2] = {}, origin[2] = {}, pixelsPerUnit = 1.0f;
    Entry<CanvasInfoFunction>(Live2DCore_ReadCanvasInfo)(core->Model, canvas, origin, &pixelsPerUnit);

    // Drawables by render order; each one's texture coordinates go into a scratch block.
    uint32_t largest = 0;
    for (int i = 0; i < d.Count; ++i)
        if (d.VertexCounts[i] > 0 && static_cast<uint32_t>(d.VertexCounts[i]) > largest) largest = d.VertexCounts[i];
    const uint64_t bytes = (uint64_t)d.Count * sizeof(int32_t) + (uint64_t)largest * 2 * sizeof(float);
    if (bytes > 0x7FFFFFFFu) return -1;
    if (d.Count == 0) return 0;
    int32_t* order = static_cast<int32_t*>(Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (order == nullptr) return -1;
    float* uvs = reinterpret_cast<float*>(order + d.Count);
    for (int i = 0; i < d.Count; ++i) order[i] = -1;
    for (int i = 0; i < d.Count; ++i) {
        const int at = d.RenderOrders[i];
        if (at >= 0 && at < d.Count && order[at] < 0) order[at] = i;
    }

    int result = 0;
    float projection[16] = {};
    if (Graphics_D3D11_Live2D_Begin() < 0 ||
        Graphics_D3D11_Live2D_PixelProjection(projection, pixelsPerUnit * record->Scale[0], pixelsPerUnit * record->Scale[1],
                                              record->Position[0] + origin[0] * record->Scale[0],
                                              record->Position[1] + origin[1] * record->Scale[1]) < 0) {
        Memory_Free(order);
        Graphics_D3D11_Live2D_End();
        return -1;
    }
    D3D11Live2DMesh mesh = {};
    for (int at = 0; at < d.Count && result == 0; ++at) {
        const int i = order[at];
        if (i < 0 || !(d.DynamicFlags[i] & DynamicFlag_Visible)) continue;
        if (!MakeMesh(d, i, core, uvs, largest, &mesh)) {
            result = -1;
            break;
        }
        int mask = 0;
        if (d.MaskCounts[i] > 0) {
            if (Graphics_D3D11_Live2D_ClearMask() < 0) {
                result = -1;
                break;
            }
            D3D11Live2DMesh maskMesh = {};
            float* maskUvs = uvs;   // the drawable's mesh keeps its own coordinates: remake it after
            for (int m = 0; m < d.MaskCounts[i] && result == 0; ++m) {
                const int source = d.Masks[i][m];
                if (source < 0 || source >= d.Count) continue;
                if (!MakeMesh(d, source, core, maskUvs, largest, &maskMesh) ||
                    Graphics_D3D11_Live2D_DrawMaskMesh(&maskMesh, projection) < 0)
                    result = -1;
            }
            if (result != 0 || !MakeMesh(d, i, core, uvs, largest, &mesh)) {
                result = -1;
                break;
            }
            mask = (d.ConstantFlags[i] & ConstantFlag_InvertedMask) ? 2 : 1;
        }
        if (Graphics_D3D11_Live2D_DrawMesh(&mesh, projection, mask) < 0) result = -1;
    }
    Graphics_D3D11_Live2D_End();
    Memory_Free(order);
    return result;
}

}  // namespace Vantrel
