// Draw targets and presentation: draw-target selection with the draw-area and camera reset, the
// render-target slots after a restart, the clear, the common present and the vertical-blank setting.
// Stands on the graphics state records, the switch layer, graph records, draw settings, the camera,
// the software screens and the library state of the system module.
#include "graphics/VtGraphicsDrawTarget.h"

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

bool IsScreenCode(int target) {
    return target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_FRONT || target == DRAW_SCREEN_SIZELESS_A ||
           target == DRAW_SCREEN_SIZELESS_B;
}

bool IsSizedScreen(int target) { return target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_FRONT; }

}  // namespace

GraphHandleRecord* Graphics_Screen_GetTargetGraphRecord(int target) {
    if (target < 0) return nullptr;
    return Graphics_Image_GetGraphRecord(target, 0);
}

int SelectDrawScreen(int target) {
    if (!GraphicsSystemState.Initialised) return -1;
    Graphics_WaitWhileInactive();

    // Everything that can refuse the target is checked before slot 0 changes, so that a refused
    // target leaves the current one whole.
    GraphHandleRecord* graph = nullptr;
    if (!IsScreenCode(target)) {
        graph = Graphics_Screen_GetTargetGraphRecord(target);
        if (graph == nullptr || graph->Orig == nullptr || !graph->Orig->format.drawable) return -1;
        // Software drawing has no alpha plane to draw into.
        if (!GraphicsSystemState.DeviceValid &&
            (!MemImg_IsValid(&graph->memImage) || graph->memImage.body->hasAlpha))
            return -1;
    }
    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    GraphHandleRecord* previousGraph = Graphics_Screen_GetTargetGraphRecord(slot.Handle);

    if (slot.Handle == DRAW_SCREEN_FRONT) {
        if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_SubBackBuffer_Setup(1);
        Graphics_Screen_PresentBase();
    }
    const int maskUse = GetMaskScreenUseFlag();
    SetMaskScreenUse(0);

    const DrawTargetSlot previous = slot;
    slot = {target, 0, 0};
    int& width = GraphicsScreenState.DrawTargetWidth;
    int& height = GraphicsScreenState.DrawTargetHeight;
    if (graph != nullptr) {
        width = graph->Width;
        height = graph->Height;
    } else if (IsSizedScreen(target)) {
        GetMainScreenSize(&width, &height);
    }
    Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
    if (GraphicsSystemState.DeviceValid)
        Graphics_Dispatch_DrawScreen_Set(target, previous.Surface, previous.MipLevel, graph, previousGraph, nullptr,
                                         nullptr);
    else
        GraphicsSystemState.MemImgDrawTarget = graph != nullptr ? &graph->memImage : &GraphicsSystemState.SoftScreenMain;

    if (graph != nullptr || IsSizedScreen(target))
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, width, height);
    else
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, 0, 0);
    Graphics_Camera_ResetForDrawScreen();

    // The mask screen grows to the largest draw target selected (its result is not needed: drawing
    // goes on without a mask that could not grow).
    if (graph != nullptr || IsSizedScreen(target)) Mask_CreateScreen(MaskScreenState.MaskScreenCreated, width, height);
    SetMaskScreenUse(maskUse);
    Graphics_Dispatch_DrawScreen_SetPost(target);
    return 0;
}

int Graphics_Screen_SelectShadowMap(int shadowMap) {
    if (!GraphicsSystemState.Initialised || !GraphicsSystemState.DeviceValid) return -1;
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(shadowMap, 0);
    if (record == nullptr) return -1;
    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    const DrawTargetSlot previous = slot;
    GraphHandleRecord* previousGraph = Graphics_Screen_GetTargetGraphRecord(previous.Handle);
    ShadowMapRecord* previousShadowMap = Graphics_ShadowMap_GetHandleData(previous.Handle, 0);
    if (previous.Handle == DRAW_SCREEN_FRONT) {
        Graphics_Dispatch_SubBackBuffer_Setup(1);
        Graphics_Screen_PresentBase();
    }
    slot = {shadowMap, 0, 0};
    GraphicsScreenState.DrawTargetWidth = record->Width;
    GraphicsScreenState.DrawTargetHeight = record->Height;
    Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
    if (Graphics_Dispatch_DrawScreen_Set(shadowMap, previous.Surface, previous.MipLevel, nullptr, previousGraph, record,
                                         previousShadowMap) < 0)
        return -1;
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, record->Width, record->Height);
    Graphics_Camera_ResetForDrawScreen();
    Graphics_Dispatch_DrawScreen_SetPost(shadowMap);
    return 0;
}

int Graphics_Screen_ResetRenderTargetSlots() {
    const DrawTargetSlot first = GraphicsScreenState.DrawTargets[0];
    if (SelectDrawScreen(first.Handle) < 0) SelectDrawScreen(DRAW_SCREEN_FRONT);
    if (!GraphicsSystemState.DeviceValid) return 0;
    const int slots = GraphicsSystemState.MaxRenderTargets < 8 ? GraphicsSystemState.MaxRenderTargets : 8;
    for (int i = 1; i < slots; ++i) {
        GraphicsScreenState.DrawTargets[i] = {-1, 0, 0};
        Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
        Graphics_Dispatch_ShaderRenderTarget_Set(i, -1, 0, 0);
    }
    return 0;
}

int ClearDrawTarget(const RECT* rect) {
    if (rect != nullptr && (rect->left < 0 || rect->top < 0)) rect = nullptr;
    if (GraphicsSystemState.DeviceValid) {
        Graphics_Dispatch_DrawScreen_Clear(rect);
        return 0;
    }
    // A graph target's pending load is finished before its pixels are touched.
    const GraphHandleRecord* graph = Graphics_Screen_GetTargetGraphRecord(GraphicsScreenState.DrawTargets[0].Handle);
    MEMIMG* image = GraphicsSystemState.MemImgDrawTarget;
    if (graph == nullptr && GraphicsScreenState.DrawTargets[0].Handle >= 0) return 0;
    if (image == nullptr || !MemImg_IsValid(image)) return 0;
    const int32_t* colour = GraphicsScreenState.BackgroundColor;
    Graphics_SoftScreen_FillRect(image, rect, Graphics_SoftScreen_PackColor(image, colour[0], colour[1], colour[2]));
    return 0;
}

int Graphics_Screen_PresentBase() {
    GraphicsSystemState.PresentInProgress = 1;
    if (!LibraryCore.Initialised || System_IsEndRequested()) {
        GraphicsSystemState.PresentInProgress = 0;
        return -1;
    }
    const int result = Graphics_Dispatch_Screen_Flip();
    GraphicsSystemState.PresentInProgress = 0;
    return result;
}

int PresentScreen() {
    if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_SubBackBuffer_Setup(0);
    return Graphics_Screen_PresentBase();
}

int PresentScreenDirect() { return Graphics_Screen_PresentBase(); }

int SetWaitVSyncEnable(int flag) {
    if (LibraryCore.Initialised && !GraphicsSystemState.WaitVSyncChangeable) return -1;
    GraphicsScreenState.NoVSyncWait = flag == 0 ? 1 : 0;
    return 0;
}

int WaitVerticalBlank(int count) { return Graphics_Dispatch_WaitVSync(count); }

int Graphics_Screen_RebindDepthBuffer() { return Graphics_Dispatch_ZBuffer_Setup(); }

}  // namespace Vantrel
