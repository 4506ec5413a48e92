// Draw targets and presentation: draw-target selection with the draw-area and camera reset, the
// clear, the common present, pixel read-back and the vertical-blank setting.
// Stands on the graphics state records, the switch layer, draw settings, the camera, the software
// screens and the library state of the system module.
#include "graphics/VtGraphicsDrawTarget.h"

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

bool IsScreenCode(int target) {
    return target == DRAW_SCREEN_BACK || target == DRAW_SCREEN_FRONT || target == -3 || target == -16;
}

}  // namespace

int SelectDrawScreen(int screen) {
    if (!GraphicsSystemState.Initialised) return -1;
    Graphics_WaitWhileInactive();
    // A drawable graph serves as target through its memory image while no device is in use.
    GraphHandleRecord* graph = nullptr;
    if (!IsScreenCode(screen)) {
        graph = Graphics_Image_GetGraphRecord(screen, 0);
        if (graph == nullptr || GraphicsSystemState.DeviceValid || graph->Orig == nullptr ||
            !graph->Orig->format.drawable || !MemImg_IsValid(&graph->memImage))
            return -1;
    }

    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    if (slot.Handle == DRAW_SCREEN_FRONT) {
        if (GraphicsSystemState.DeviceValid) Graphics_Dispatch_SubBackBuffer_Setup(1);
        Graphics_Screen_PresentBase();
    }
    const int maskUse = GetMaskScreenUseFlag();
    SetMaskScreenUse(0);

    const DrawTargetSlot previous = slot;
    slot = {screen, 0, 0};
    const bool sized = screen == DRAW_SCREEN_BACK || screen == DRAW_SCREEN_FRONT;
    if (sized) GetMainScreenSize(&GraphicsScreenState.DrawTargetWidth, &GraphicsScreenState.DrawTargetHeight);
    if (graph != nullptr) GraphicsScreenState.DrawTargetWidth = graph->Width, GraphicsScreenState.DrawTargetHeight = graph->Height;
    Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
    if (GraphicsSystemState.DeviceValid)
        Graphics_Dispatch_DrawScreen_Set(screen, previous.Surface, previous.MipLevel, nullptr, nullptr, nullptr, nullptr);
    else
        GraphicsSystemState.MemImgDrawTarget = graph != nullptr ? &graph->memImage : &GraphicsSystemState.SoftScreenMain;

    if (sized || graph != nullptr)
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, GraphicsScreenState.DrawTargetWidth, GraphicsScreenState.DrawTargetHeight);
    else
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, 0, 0);
    Graphics_Camera_ResetForDrawScreen();

    SetMaskScreenUse(maskUse);
    Graphics_Dispatch_DrawScreen_SetPost(screen);
    return 0;
}

int ClearDrawTarget(const RECT* rect) {
    if (rect != nullptr && (rect->left < 0 || rect->top < 0)) rect = nullptr;
    if (GraphicsSystemState.DeviceValid) {
        Graphics_Dispatch_DrawScreen_Clear(rect);
        return 0;
    }
    MEMIMG* image = GraphicsSystemState.MemImgDrawTarget;
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

int ReadDrawScreenPixel(int x, int y) {
    if (x < 0 || y < 0 || x >= GraphicsScreenState.DrawTargetWidth || y >= GraphicsScreenState.DrawTargetHeight)
        return -1;
    if (GraphicsSystemState.DeviceValid) return Graphics_Dispatch_DrawScreen_GetPixel(x, y);
    const MEMIMG* image = GraphicsSystemState.MemImgDrawTarget;
    if (image == nullptr) return -1;
    return static_cast<int>(Graphics_SoftScreen_GetPixel(image, x, y));
}

int SetWaitVSyncEnable(int flag) {
    if (LibraryCore.Initialised && !GraphicsSystemState.WaitVSyncChangeable) return -1;
    GraphicsScreenState.NoVSyncWait = flag == 0 ? 1 : 0;
    return 0;
}

int WaitVerticalBlank(int count) { return Graphics_Dispatch_WaitVSync(count); }

}  // namespace Vantrel
