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
    int32_t ShaderPackDecoded[2];                   // Direct3D 11, Direct3D 9
};

extern Live2DModuleStateRecord Live2DModuleState;

// The entry-point names in look-up order ("csmGetVersion" first).
const char* Live2D_CoreEntryName(int index);

struct Live2DModelRecord {
    HandleHeader Header;
    int32_t Values[2];
    float Scale[2];
    int32_t Flag;
    int32_t Handle;
    D_Live2DObject* Model;                          // owned
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

}  // namespace Vantrel
