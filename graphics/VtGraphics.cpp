// Graphics state and module lifecycle: the three module records, the start and end of the graphics
// module (handle types, back-end choice, software screens, draw defaults, the first clears), the
// scratch buffers, the rebuild after a device loss and the small queries.
// Stands on the handle manager, the allocator, the switch layer, draw settings, the font manager,
// the mask module and the window and system modules.
#include "graphics/VtGraphics.h"

#include <stddef.h>
#include <string.h>

#include "font/VtFont.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics/VtLive2DCubism4.h"
#include "image/VtMemImg.h"
#include "graphics/VtMatrix.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

int GraphicsApi = GRAPHICS_API_NONE;
GraphicsSystemStateRecord GraphicsSystemState;
GraphicsScreenStateRecord GraphicsScreenState;

namespace {

struct GraphicsHandleType {
    int Type;
    const wchar_t* Name;
    int RecordSize;
    int MaxCount;
    HandleInitCallback Initialize;
    HandleTerminateCallback Terminate;
    HandleDumpCallback Dump;
};

const GraphicsHandleType GraphicsHandleTypes[] = {
    {HandleType_Graph, L"Graph", sizeof(GraphHandleRecord), 262144, Common_ReturnZero,
     Graphics_Image_HandleRecord_Terminate,
     Graphics_Image_HandleRecord_Dump},
    {HandleType_Shader, L"Shader", sizeof(ShaderHandleRecord), 4096, Graphics_Shader_HandleRecord_Initialize,
     Graphics_Shader_HandleRecord_Terminate, nullptr},
    {HandleType_ShaderConstantBuffer, L"ShaderConstantBuffer", sizeof(ConstantBufferHandleRecord), 32768,
     Graphics_ConstantBuffer_HandleRecord_Initialize, Graphics_ConstantBuffer_HandleRecord_Terminate, nullptr},
    {HandleType_VertexBuffer, L"VertexBuffer", sizeof(BufferHandleRecord), 16384, Graphics_Buffer_HandleRecord_Initialize,
     Graphics_Buffer_HandleRecord_Terminate, nullptr},
    {HandleType_IndexBuffer, L"IndexBuffer", sizeof(BufferHandleRecord), 16384, Graphics_Buffer_HandleRecord_Initialize,
     Graphics_Buffer_HandleRecord_Terminate, nullptr},
    {HandleType_ShadowMap, L"ShadowMap", sizeof(ShadowMapRecord), 8192, Graphics_ShadowMap_HandleRecord_Initialize,
     Graphics_ShadowMap_HandleRecord_Terminate, nullptr},
};

// The order in which the module end shuts the handle types down.
const int GraphicsHandleTypeShutdownOrder[] = {HandleType_ShadowMap,  HandleType_VertexBuffer,
                                               HandleType_IndexBuffer, HandleType_Shader,
                                               HandleType_ShaderConstantBuffer, HandleType_Graph};

void Graphics_ShutdownHandleTypes() {
    for (int type : GraphicsHandleTypeShutdownOrder)
        if (HandleManagerTable[type].Initialized) Handle_Type_Shutdown(type);
}

// A start that fails before the module counts as initialised leaves nothing registered.
int Graphics_Module_InitializeFailed() {
    Graphics_Module_Terminate();
    Graphics_ShutdownHandleTypes();
    return -1;
}

void Graphics_FreeBlock(void*& block, uint32_t& size) {
    Memory_Free(block);
    block = nullptr;
    size = 0;
}

}  // namespace

int Graphics_WaitWhileInactive() {
    if (Window.ActiveFlag || Window.InActivate) return 0;
    return Window_WaitWhileInactive();
}

int Graphics_Module_Initialize() {
    if (GraphicsSystemState.Initialised) return 0;
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    if (screen.ScreenWidth == 0 || screen.ScreenHeight == 0) {
        screen.ScreenWidth = screen.MainScreenWidth = 640;
        screen.ScreenHeight = screen.MainScreenHeight = 480;
        Graphics_Math_SetAspectScreenSize(640, 480);
    }
    if (screen.ColourBits == 0) screen.ColourBits = 16;

    for (const GraphicsHandleType& type : GraphicsHandleTypes) {
        if (Handle_Type_Setup(type.Type, type.RecordSize, type.MaxCount, type.Initialize, type.Terminate, type.Dump,
                              type.Name) < 0)
            return Graphics_Module_InitializeFailed();
    }
    if (Graphics_Dispatch_Device_Initialize() < 0) return Graphics_Module_InitializeFailed();
    GraphicsSystemState.Initialised = 1;

    if (GraphicsSystemState.DeviceValid) {
        Graphics_Dispatch_StateCache_SetDefaults();
    } else {
        // Memory-image drawing needs its tables before the first software screen exists.
        MemImg_Initialize();
        MemImg_SetDefaultColorType(screen.ColourBits == 16 ? MemImgColorType_R5G6B5 : MemImgColorType_XRGB8);
        Graphics_Screen_CreateSoftScreens();
    }
    Graphics_DrawSetting_ResetDefaults();
    Font_Manager_Initialize();
    Mask_ModuleInitialize();
    if (Graphics_Dispatch_Device_PostInitialize() < 0) {
        Graphics_Module_Terminate();
        return -1;
    }

    // Empty every buffer of the swap chain before the first frame.
    for (int i = 0; i < 6; ++i) {
        ClearDrawTarget(nullptr);
        GraphicsSystemState.PresentInProgress = 1;
        Graphics_Dispatch_Screen_Flip();
        GraphicsSystemState.PresentInProgress = 0;
    }
    return 0;
}

int Graphics_Module_Terminate() {
    Font_Manager_Terminate();
    if (!GraphicsSystemState.Initialised) return 0;
    GraphicsSystemState.Terminating = 1;
    const HWND window = Window_GetMainHandle();
    if (window != nullptr && WinAPITable.KillTimer != nullptr) WinAPITable.KillTimer(window, FrontScreenTimerId);

    Mask_ModuleTerminate();
    Live2D_DeleteAllModels();
    Handle_DeleteAll(HandleType_Graph, Graphics_Image_HandleFilter_ModeChange);
    Handle_DeleteAll(HandleType_ShadowMap, nullptr);
    Graphics_Dispatch_SysMemPool_ReleaseAll();
    Handle_DeleteAll(HandleType_VertexBuffer, nullptr);
    Handle_DeleteAll(HandleType_IndexBuffer, nullptr);
    if (GraphicsSystemState.Initialised) {
        Handle_DeleteAll(HandleType_ShaderConstantBuffer, nullptr);
        Handle_DeleteAll(HandleType_Shader, nullptr);
    }
    Graphics_Light_DeleteAll();
    Graphics_Light_Delete(DrawSettings.DefaultLight);
    DrawSettings.DefaultLight = -1;

    Graphics_Screen_ReleaseSoftScreens();
    Graphics_Soft_ReleaseBuffers();
    Graphics_Dispatch_Device_Terminate();
    // The device's capabilities go with it: a later start with another device or none must not see them.
    char* const state = reinterpret_cast<char*>(&GraphicsSystemState);
    const size_t capsStart = offsetof(GraphicsSystemStateRecord, ScreenMultiSampleCount);
    memset(state + capsStart, 0, offsetof(GraphicsSystemStateRecord, PresentInProgress) - capsStart);
    Graphics_FreeBlock(GraphicsSystemState.VertexConvertBuffer, GraphicsSystemState.VertexConvertBufferSize);
    Graphics_FreeBlock(GraphicsSystemState.GraphCreateWorkBuffer, GraphicsSystemState.GraphCreateWorkBufferSize);
    Graphics_ShutdownHandleTypes();
    for (int i = 0; i < 3; ++i) Graphics_FreeBlock(GraphicsSystemState.Scratch.Buffer[i], GraphicsSystemState.Scratch.Size[i]);

    GraphicsSystemState.Terminating = 0;
    GraphicsSystemState.Initialised = 0;
    return 0;
}

int Graphics_Other_ReserveScratchBuffer(int index, uint32_t size) {
    if (index < 0 || index > 2) return -1;
    ScratchBuffers& scratch = GraphicsSystemState.Scratch;
    if (scratch.Size[index] >= size) return 0;
    void* grown = Memory_Reallocate(scratch.Buffer[index], size, __FILE__, __LINE__);
    if (grown == nullptr) return -1;
    scratch.Buffer[index] = grown;
    scratch.Size[index] = size;
    return 0;
}

int Graphics_Screen_CreateSoftScreens() {
    const GraphicsScreenStateRecord& screen = GraphicsScreenState;
    const int colorType = screen.ColourBits != 16 ? SOFTSCREEN_COLOR_XRGB8 : SOFTSCREEN_COLOR_R5G6B5;
    const int width = screen.ScreenWidth, height = screen.ScreenHeight;
    if (Graphics_SoftScreen_Setup(&GraphicsSystemState.SoftScreenMain, width, height, colorType, 0) < 0) {
        Log_AddTextShiftJIS("仮画面用の MEMIMG の作成に失敗しました\n");
        return 0;
    }
    if (Graphics_SoftScreen_Setup(&GraphicsSystemState.SoftScreenAux, width, height, colorType, 0) < 0) {
        Log_AddTextShiftJIS("補助用の MEMIMG の作成に失敗しました\n");
        return 0;
    }
    Graphics_SoftScreen_Setup(&GraphicsSystemState.SoftScreenWork, width, height, colorType, 0);
    Graphics_SoftScreen_Setup(&GraphicsSystemState.SoftScreenWorkAlpha, width, height, colorType, 1);
    MEMIMG* main = &GraphicsSystemState.SoftScreenMain;
    const int32_t* colour = screen.BackgroundColor;
    Graphics_SoftScreen_FillRect(main, nullptr, Graphics_SoftScreen_PackColor(main, colour[0], colour[1], colour[2]));
    GraphicsSystemState.MemImgDrawTarget = main;
    return 0;
}

int Graphics_Screen_ReleaseSoftScreens() {
    Graphics_SoftScreen_Release(&GraphicsSystemState.SoftScreenMain);
    Graphics_SoftScreen_Release(&GraphicsSystemState.SoftScreenAux);
    Graphics_SoftScreen_Release(&GraphicsSystemState.SoftScreenWork);
    Graphics_SoftScreen_Release(&GraphicsSystemState.SoftScreenWorkAlpha);
    GraphicsSystemState.MemImgDrawTarget = nullptr;
    GraphicsSystemState.BlendGraphMemImg = nullptr;
    return 0;
}

int Graphics_Screen_RestoreOnActivate() {
    Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1);
    return 0;
}

int Graphics_Image_RestoreAllAfterLoss() {
    const int asyncLoad = IsAsyncLoadEnabled();
    EnableAsyncLoad(0);
    if (GraphicsSystemState.GraphRestoreCallback != nullptr)
        GraphicsSystemState.GraphRestoreCallback();
    else
        Graphics_Image_RestoreFromSourceInfo();
    Font_RecreateAllHandles();
    EnableAsyncLoad(asyncLoad);
    return 0;
}

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
    GraphicsSystemState.GraphRestoreCallback = handler != nullptr ? handler : Graphics_Image_RestoreFromSourceInfo;
    return 0;
}

int SetDeviceReCreateHandler(DeviceReCreateHandler handler, void* param) {
    GraphicsSystemState.BeforeReCreateCallback = handler;
    GraphicsSystemState.BeforeReCreateParam = handler != nullptr ? param : nullptr;
    return 0;
}

const wchar_t* GetGraphicsApiName() { return GraphicsSystemState.GraphicsApiName; }

int Graphics_Image_HasRestoreCallback() { return GraphicsSystemState.GraphRestoreCallback != nullptr ? 1 : 0; }

int SetHardwareGraphicsEnable(int flag) {
    if (LibraryCore.Initialised) return -1;
    GraphicsSystemState.SoftwareOnly = flag == 0 ? 1 : 0;
    return 0;
}

int IsHardwareRenderingActive() {
    if (!LibraryCore.Initialised) return GraphicsSystemState.SoftwareOnly ? 0 : 1;
    return GraphicsSystemState.DeviceValid ? 1 : 0;
}

int GetCurrentDrawScreen() { return GraphicsScreenState.DrawTargets[0].Handle; }

int GetScreenColorBitDepth() { return GraphicsScreenState.ColourBits != 0 ? GraphicsScreenState.ColourBits : 16; }

int GetScreenModeSettings(int* width, int* height, int* colorBits) {
    if (width) *width = GraphicsScreenState.ScreenWidth;
    if (height) *height = GraphicsScreenState.ScreenHeight;
    if (colorBits) *colorBits = GraphicsScreenState.ColourBits;
    return 0;
}

int GetMainScreenSize(int* width, int* height) {
    if (width) *width = GraphicsScreenState.ScreenWidth != 0 ? GraphicsScreenState.ScreenWidth : 640;
    if (height) *height = GraphicsScreenState.ScreenHeight != 0 ? GraphicsScreenState.ScreenHeight : 480;
    return 0;
}

int Graphics_Screen_GetFullScreenResolutionMode() { return GraphicsScreenState.FullScreenResolutionMode; }

int Graphics_Screen_IsFullScreenResolutionModeSet() {
    return !Window_IsWindowed() && GraphicsScreenState.FullScreenResolutionMode != 0 ? 1 : 0;
}

int GetWaitVSyncEnable() { return GraphicsScreenState.NoVSyncWait ? 0 : 1; }

int Graphics_Caps_GetNoHalfPixelOffset() { return GraphicsSystemState.NoHalfPixelOffset; }

int GetShaderModelVersion() { return Graphics_Dispatch_Shader_GetSupportVersion(); }

int GetDeleteGraphsOnModeChange() { return GraphicsSystemState.DeleteGraphsOnModeChange ? 0 : 1; }

}  // namespace Vantrel
