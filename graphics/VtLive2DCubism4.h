// The Live2D module: the "Live2DModel" handle type, the framework's shared values and id registry,
// the closed Cubism Core library (Live2DCubismCore.dll) loaded at run time with its 43 entry points
// looked up (none is called here), and the Live2D shader pack of the Direct3D back-end in use.
// Stands on the handle manager, the allocator, the log, archives, the system function table and the
// framework part.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "foundation/VtArchive.h"
#include "foundation/VtHandle.h"
#include "graphics/VtLive2DFramework.h"

namespace Vantrel {

constexpr int Live2D_CoreEntryCount = 43;

struct Live2DModuleStateRecord {
    int32_t Started;
    HMODULE Core;                                   // null while not loaded
    void* CoreEntries[Live2D_CoreEntryCount];       // in look-up order; null = not found
    Live2DIdManager* IdManager;
    ArchiveContext ShaderPack;
    void* ShaderPackImage;                          // the expanded pack the archive reads
    uint32_t ShaderPackImageSize;
    int32_t ShaderPackDecoded[2];                   // Direct3D 11, Direct3D 9
};

extern Live2DModuleStateRecord Live2DModuleState;

// The entry-point names in look-up order ("csmGetVersion" first).
const char* Live2D_CoreEntryName(int index);

struct Live2DModelRecord {
    HandleHeader Header;
    int32_t Position[2];                            // the canvas's top-left on the draw target, pixels
    float Scale[2];
    int32_t Flag;
    int32_t Handle;
    D_Live2DObject* Model;                          // owned (a Live2DCoreModel)
};

// Entry points the model operations call, by their place in the look-up order.
enum : int {
    Live2DCore_HasMocConsistency = 3,
    Live2DCore_ReviveMocInPlace = 6,
    Live2DCore_GetSizeofModel = 7,
    Live2DCore_InitializeModelInPlace = 8,
    Live2DCore_UpdateModel = 9,
    Live2DCore_ReadCanvasInfo = 10,
    Live2DCore_GetDrawableCount = 24,
    Live2DCore_GetDrawableConstantFlags = 26,
    Live2DCore_GetDrawableDynamicFlags = 27,
    Live2DCore_GetDrawableTextureIndices = 28,
    Live2DCore_GetDrawableRenderOrders = 30,
    Live2DCore_GetDrawableOpacities = 31,
    Live2DCore_GetDrawableMaskCounts = 32,
    Live2DCore_GetDrawableMasks = 33,
    Live2DCore_GetDrawableVertexCounts = 34,
    Live2DCore_GetDrawableVertexPositions = 35,
    Live2DCore_GetDrawableVertexUvs = 36,
    Live2DCore_GetDrawableIndexCounts = 37,
    Live2DCore_GetDrawableIndices = 38,
    Live2DCore_GetDrawableMultiplyColors = 39,
    Live2DCore_GetDrawableScreenColors = 40,
};

// A model of the core library: the moc and the model in blocks of their own, aligned as the core
// wants them, and the graphs its texture indices draw with.
class Live2DCoreModel : public D_Live2DObject {
public:
    static constexpr int TextureCount = 16;
    Live2DCoreModel();
    ~Live2DCoreModel() override;
    void* MocBlock;
    void* Moc;
    void* ModelBlock;
    void* Model;
    int32_t Texture[TextureCount];                  // graph handles, -1 = none
    int32_t Premultiplied[TextureCount];
};

// Start: 0, or -1 (no core library, a missing entry point, no device to open a shader pack for) with
// everything it made undone.
int Live2D_ModuleInitialize();
int Live2D_ModuleTerminate();
int Live2D_DeleteAllModels();
void Live2D_ModelHandleRecord_Initialize(HandleHeader* record);
int Live2D_ModelHandleRecord_Terminate(HandleHeader* record);

int Live2D_Platform_Initialize();
int Live2D_Platform_LoadCore();
int Live2D_Platform_Terminate();
// Opens a size-prefixed Base64 pack of LZ data as the shader-pack archive. 0 / -1.
int Live2D_ShaderPack_Open(int32_t* decodedSwitch, const char* text);

// Models (the module started, its core library loaded). The moc is copied; the new model is updated
// once. A handle, or -1 with a log line (module not started, a moc the core refuses, no memory).
int Live2D_Model_LoadFromMemory(const void* moc, uint32_t size);
// Deletes a model with its core memory. 0 / -1.
int Live2D_Model_Delete(int model);
// The graph a texture index of the model draws with (straight or premultiplied alpha). 0 / -1.
int Live2D_Model_SetTexture(int model, int index, int graph, int premultiplied);
// Where the canvas's top-left lands on the draw target, in pixels (0, 0 at first), and its scale
// (1.0 at first). 0 / -1.
int Live2D_Model_SetPosition(int model, int x, int y);
int Live2D_Model_SetScale(int model, float x, float y);
// Runs the core's update of the model. 0 / -1.
int Live2D_Model_Update(int model);
// Draws the model's visible meshes in render order into the draw target, masks first where a mesh
// has them (Direct3D 11 only). 0, or -1 with nothing drawn for a bad handle, a missing texture or no
// device.
int Live2D_Model_Draw(int model);

}  // namespace Vantrel
