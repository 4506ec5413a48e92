// Graphics core state and module lifecycle: which back-end serves the device operations
// (GraphicsApi), the module record (flags, device capabilities, software screens, monitor list,
// scratch buffers) and the screen record (size, depth, background colour, draw-target slots), the
// start and end of the graphics module, and the small queries over them.
// Stands on the handle manager, the allocator, the switch layer and the window module.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "graphics/VtGraphicsSoftScreen.h"

namespace Vantrel {

enum : int {
    GRAPHICS_API_NONE = 0,
    GRAPHICS_API_D3D9 = 1,
    GRAPHICS_API_D3D11 = 2,
};

// Screen codes of the draw-target slots.
enum : int {
    DRAW_SCREEN_BACK = -2,
    DRAW_SCREEN_FRONT = -4,
};

// Width, height, colour bits, refresh rate; four -1 stand for "none".
struct DisplayModeRecord {
    int32_t Width;
    int32_t Height;
    int32_t ColourBits;
    int32_t RefreshRate;
};
using GraphicsDisplayMode = DisplayModeRecord;

// One monitor of the monitor list (process heap).
struct MonitorInfo {
    int32_t Primary;
    HMONITOR Monitor;
    int32_t DpiX;
    int32_t DpiY;
    RECT Rect;
    int32_t Width;
    int32_t Height;
    int32_t PhysicalWidth;
    int32_t PhysicalHeight;
    int32_t ColourBits;
    int32_t RefreshRate;
    wchar_t DeviceName[128];
    int32_t DisplayModeCount;
    DisplayModeRecord* DisplayModes;
};

// Three growable byte buffers shared by the draw code and the back-ends; never shrunk while the
// module lives.
struct ScratchBuffers {
    void* Buffer[3];
    uint32_t Size[3];
};

struct GraphicsSystemStateRecord {
    int32_t Initialised;
    int32_t Terminating;
    void (*GraphRestoreCallback)();
    int32_t DeviceValid;                // hardware device in use; written by the back-ends
    int32_t SoftwareOnly;               // SetHardwareGraphicsEnable(0) before start-up
    // Device capabilities, filled by the back-end at device creation.
    int32_t ScreenMultiSampleCount;
    int32_t ScreenMultiSampleQuality;
    int32_t SubtractiveBlendSupported;
    int32_t MaxRenderTargets;
    int32_t MaxTextureWidth;
    int32_t MaxTextureHeight;
    int32_t MaxTextureSize;
    int32_t TexturePowerOfTwoOnly;
    int32_t TextureSquareOnly;
    int32_t ShadersUsable;
    int32_t NoHalfPixelOffset;
    int32_t WaitVSyncChangeable;
    int32_t FurtherCapsSwitch;          // a second switch the device set-ups turn on
    int32_t SeparateAlphaBlendSupported;
    int32_t TextureNonPowerOfTwoConditional;
    int32_t MaxPrimitiveCount;
    int32_t MaxVertexIndex;
    int32_t BackEndCaps[8];             // further words only the back-ends read
    int32_t PresentInProgress;
    int32_t ModeChangeInProgress;
    int32_t PreviousScreenWidth;
    int32_t PreviousScreenHeight;
    // Software screen images: main, auxiliary, and the two work images of the font drawing (the
    // second with an alpha plane); set up only while no hardware device is in use.
    MEMIMG SoftScreenMain;
    MEMIMG SoftScreenAux;
    MEMIMG SoftScreenWork;
    MEMIMG SoftScreenWorkAlpha;
    MEMIMG* MemImgDrawTarget;           // where software drawing goes
    MEMIMG* BlendGraphMemImg;
    int32_t MonitorCount;
    MonitorInfo* MonitorList;
    int32_t PrimaryMonitor;
    int32_t DrawTargetLocked;
    int32_t DeleteGraphsOnModeChange;   // stored inverted
    void* VertexConvertBuffer;
    uint32_t VertexConvertBufferSize;
    void* GraphCreateWorkBuffer;
    uint32_t GraphCreateWorkBufferSize;
    ScratchBuffers Scratch;
    int32_t GDIDrawAllowed;
    wchar_t GraphicsApiName[32];        // the API in use as the back-end names it ("DirectX 11")
    // Called with its parameter before a back-end releases its device objects for a re-creation.
    void (*BeforeReCreateCallback)(void* param);
    void* BeforeReCreateParam;
};

struct DrawTargetSlot {
    int32_t Handle;
    int32_t Surface;
    int32_t MipLevel;
};

struct GraphicsScreenStateRecord {
    int32_t ScreenWidth;
    int32_t ScreenHeight;
    int32_t MainScreenWidth;
    int32_t MainScreenHeight;
    int32_t ColourBits;
    int32_t RefreshRate;
    int32_t LowResolutionEmulation;
    int32_t EmulationFilter;
    int32_t FullScreenResolutionMode;
    DisplayModeRecord FullScreenDisplayMode;
    RECT FullScreenOutputRect;
    RECT MonitorRect;
    int32_t NoVSyncWait;                // stored inverted: the setting is "wait"
    int32_t BackgroundColor[4];         // red, green, blue, alpha 0-255
    int32_t BackgroundColorSet;
    DrawTargetSlot DrawTargets[8];
    int32_t DrawTargetWidth;
    int32_t DrawTargetHeight;
    int32_t DepthBufferGraph;           // graph whose depth buffer draws use; -2 (or 0) the target's own
};

extern int GraphicsApi;
extern GraphicsSystemStateRecord GraphicsSystemState;
extern GraphicsScreenStateRecord GraphicsScreenState;

// Waits while the main window is inactive, unless it is active or inside its activation processing.
int Graphics_WaitWhileInactive();

// Module start and end (library start-up, screen-mode changes).
int Graphics_Module_Initialize();
int Graphics_Module_Terminate();

int Graphics_Other_ReserveScratchBuffer(int index, uint32_t size);
int Graphics_Screen_CreateSoftScreens();
int Graphics_Screen_ReleaseSoftScreens();
int Graphics_Screen_RestoreOnActivate();
int Graphics_Image_RestoreAllAfterLoss();

typedef void (*GraphRestoreHandler)();
int SetGraphRestoreHandler(GraphRestoreHandler handler);
int Graphics_Image_HasRestoreCallback();
typedef void (*DeviceReCreateHandler)(void* param);
// The function run (with its parameter) before the device objects are released for a re-creation;
// null removes it.
int SetDeviceReCreateHandler(DeviceReCreateHandler handler, void* param);
// The name of the graphics API in use ("DirectX 11"), empty before a device exists.
const wchar_t* GetGraphicsApiName();
int SetHardwareGraphicsEnable(int flag);
int IsHardwareRenderingActive();

// Queries.
int GetCurrentDrawScreen();
int GetScreenColorBitDepth();
int GetScreenModeSettings(int* width, int* height, int* colorBits);
int GetMainScreenSize(int* width, int* height);
int Graphics_Screen_GetFullScreenResolutionMode();
int Graphics_Screen_IsFullScreenResolutionModeSet();
int GetWaitVSyncEnable();
int Graphics_Caps_GetNoHalfPixelOffset();
int GetShaderModelVersion();
int GetDeleteGraphsOnModeChange();

// The DirectDraw 7 object of the Direct3D 9 side, or null when there is none.
void* Graphics_Dispatch_DirectDraw7_Get();

}  // namespace Vantrel
