// Mask screens: the module record, the "Mask" handle type, creating and growing the mask screen, the
// use switch, the bracket around draw calls (a memory-image work surface and a pixel loop without a
// device, the back-end's bodies through the switch layer with one) and the free and rebuild around a
// device re-creation.
// Stands on the handle manager, the allocator, memory images, the draw settings and the switch layer.
#include "graphics/VtGraphicsMask.h"

#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

MaskScreenStateRecord MaskScreenState = {0, 0, 0, nullptr, 0, 0, 1, 0, 0, {}, 0, 0};

namespace {

constexpr int MaskHandle_MaxCount = 32768;

bool DevicePath() { return GraphicsSystemState.DeviceValid != 0; }

// The memory image of the current draw target: the draw target graph's, or the main screen's.
MEMIMG* RealTargetImage() {
    const int target = GraphicsScreenState.DrawTargets[0].Handle;
    if (target >= 0) {
        GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(target, 0);
        return graph != nullptr ? &graph->memImage : nullptr;
    }
    return &GraphicsSystemState.SoftScreenMain;
}

// Orders the rectangle and clips it to the draw area; false when nothing is left.
bool ClipToDrawArea(RECT* rect) {
    int32_t r[4] = {rect->left < rect->right ? rect->left : rect->right,
                    rect->top < rect->bottom ? rect->top : rect->bottom,
                    rect->left < rect->right ? rect->right : rect->left,
                    rect->top < rect->bottom ? rect->bottom : rect->top};
    const RECT& area = DrawSettings.DrawArea;
    const int32_t clip[4] = {area.left, area.top, area.right, area.bottom};
    Math_Rect_Clip(r, clip);
    *rect = {r[0], r[1], r[2], r[3]};
    return r[2] > r[0] && r[3] > r[1];
}

void ReleaseWorkImage() {
    if (MaskScreenState.MaskWorkImageValid) MemImg_Release(&MaskScreenState.MaskWorkImage);
    MaskScreenState.MaskWorkImage = {};
    MaskScreenState.MaskWorkImageValid = 0;
}

// Software drawing goes back to the real target when the work image it pointed at goes away.
void UnbindWorkImage() {
    if (GraphicsSystemState.MemImgDrawTarget == &MaskScreenState.MaskWorkImage)
        GraphicsSystemState.MemImgDrawTarget = RealTargetImage();
}

void FreeMaskData() {
    Memory_Free(MaskScreenState.MaskData);
    MaskScreenState.MaskData = nullptr;
}

}  // namespace

int Mask_ModuleInitialize() {
    if (MaskScreenState.MaskModuleReady) return -1;
    if (Handle_Type_Setup(HandleType_Mask, sizeof(MaskHandleRecord), MaskHandle_MaxCount, Common_ReturnZero,
                          Mask_HandleRecord_Terminate, nullptr, L"Mask") < 0)
        return -1;
    MaskScreenState.MaskModuleReady = 1;
    return 0;
}

int Mask_ModuleTerminate() {
    if (!MaskScreenState.MaskModuleReady) return -1;
    Mask_DeleteScreen();
    Handle_DeleteAll(HandleType_Mask, nullptr);
    MaskScreenState.MaskModuleReady = 0;
    Handle_Type_Shutdown(HandleType_Mask);
    return 0;
}

int Mask_HandleRecord_Terminate(HandleHeader* record) {
    MaskHandleRecord* mask = reinterpret_cast<MaskHandleRecord*>(record);
    if (mask->Pixels != nullptr) {
        Memory_Free(mask->Pixels);
        mask->Pixels = nullptr;
    }
    return 0;
}

int Mask_DeleteAllHandles() {
    if (!MaskScreenState.MaskModuleReady) return -1;
    return Handle_DeleteAll(HandleType_Mask, nullptr);
}

int Mask_ResetUseFlag() {
    MaskScreenState.MaskUse = 1;
    MaskScreenState.MaskActive = 0;
    return 0;
}

int Mask_CreateScreen(int create, int width, int height) {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (!create) return 0;
    if (width <= 0 || height <= 0) return -1;

    bool grown = false;
    uint8_t* oldData = nullptr;
    int oldPitch = 0, oldWidth = 0, oldHeight = 0;
    MEMIMG oldWork = {};
    int oldWorkValid = 0;
    if (mask.MaskData != nullptr) {
        const int newWidth = width > mask.MaskWidth ? width : mask.MaskWidth;
        const int newHeight = height > mask.MaskHeight ? height : mask.MaskHeight;
        if (newWidth != mask.MaskWidth || newHeight != mask.MaskHeight) {
            grown = true;
            oldData = mask.MaskData, oldPitch = mask.MaskPitch;
            oldWidth = mask.MaskWidth, oldHeight = mask.MaskHeight;
            oldWork = mask.MaskWorkImage, oldWorkValid = mask.MaskWorkImageValid;
            mask.MaskData = nullptr;
            mask.MaskWorkImage = {};
            mask.MaskWorkImageValid = 0;
            Graphics_Dispatch_Mask_SaveSurfaces();
        }
        width = newWidth, height = newHeight;
    }

    // Puts the kept old screen back when the grow fails part way, so nothing is lost or leaked; on the
    // device the old surfaces come back too (the back-end keeps the saved screen, and the mask image is
    // made again from the old data), so that no target is left on a screen the mask no longer has.
    auto fail = [&]() {
        if (grown) {
            FreeMaskData();
            ReleaseWorkImage();
            mask.MaskData = oldData, mask.MaskPitch = oldPitch;
            mask.MaskWidth = oldWidth, mask.MaskHeight = oldHeight;
            mask.MaskWorkImage = oldWork, mask.MaskWorkImageValid = oldWorkValid;
            if (DevicePath()) Graphics_Dispatch_Mask_CreateSurfaces(oldWidth, oldHeight);
        }
        return -1;
    };

    if (mask.MaskData == nullptr) {
        const int64_t pitch = (static_cast<int64_t>(width) + 3) & ~static_cast<int64_t>(3);
        const int64_t bytes = pitch * height;
        uint8_t* data = bytes <= 0x7FFFFFFF ? static_cast<uint8_t*>(Memory_AllocateZeroed(
                                                  static_cast<uint32_t>(bytes), __FILE__, __LINE__))
                                            : nullptr;
        if (data == nullptr) {
            Log_AddTextShiftJIS("マスクスクリーン用のメモリの確保に失敗しました\n");
            return fail();
        }
        mask.MaskData = data;
        mask.MaskPitch = static_cast<int32_t>(pitch);
    }
    mask.MaskWidth = width;
    mask.MaskHeight = height;

    if (DevicePath()) {
        if (Graphics_Dispatch_Mask_CreateSurfaces(width, height) < 0) return fail();
    } else if (!MemImg_IsValid(&mask.MaskWorkImage)) {
        if (MemImg_SetupWithDefaults(&mask.MaskWorkImage, width, height, -1) < 0) {
            Log_AddTextShiftJIS("マスク用 MEMIMG の作成に失敗しました\n");
            mask.MaskWorkImage = {};
            return fail();
        }
        mask.MaskWorkImageValid = 1;
    }

    if (grown) {
        for (int y = 0; y < oldHeight; ++y)
            memcpy(mask.MaskData + static_cast<int64_t>(y) * mask.MaskPitch, oldData + static_cast<int64_t>(y) * oldPitch,
                   oldWidth);
        Memory_Free(oldData);
        if (DevicePath()) {
            if (Graphics_Dispatch_Mask_CopyAndReleaseSaved(oldWidth, oldHeight) < 0) return -1;
        } else {
            // Software drawing that pointed at the old work image follows it to the new one.
            if (oldWorkValid) MemImg_Release(&oldWork);
            if (mask.MaskActive) GraphicsSystemState.MemImgDrawTarget = &mask.MaskWorkImage;
        }
    }
    return 0;
}

int Mask_DeleteScreen() {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (!mask.MaskModuleReady) return -1;
    if (mask.MaskUse == 1) SetMaskScreenUse(0);
    FreeMaskData();
    UnbindWorkImage();
    ReleaseWorkImage();
    Graphics_Dispatch_Mask_ReleaseSurfaces();
    mask.MaskScreenCreated = 0;
    mask.MaskActive = 0;
    mask.MaskWidth = mask.MaskHeight = mask.MaskPitch = 0;
    return 0;
}

int SetMaskScreenUse(int flag) {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (!mask.MaskModuleReady || mask.MaskData == nullptr) return -1;
    mask.MaskUse = flag;
    mask.MaskActive = flag != 0 && mask.MaskScreenCreated != 0 ? 1 : 0;
    if (DevicePath()) {
        Graphics_Dispatch_Mask_SetUseFlag();
    } else {
        GraphicsSystemState.MemImgDrawTarget =
            mask.MaskActive && mask.MaskWorkImageValid ? &mask.MaskWorkImage : RealTargetImage();
    }
    return 0;
}

int GetMaskScreenUseFlag() { return MaskScreenState.MaskUse; }

int Mask_BeforeMaskedDraw(RECT rect) {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (++mask.MaskDrawNesting != 1) return 0;
    ClipToDrawArea(&rect);
    if (DevicePath()) {
        Graphics_Dispatch_Mask_DrawBegin(&rect);
    } else if (mask.MaskActive && mask.MaskWorkImageValid) {
        MEMIMG* target = RealTargetImage();
        if (target != nullptr && MemImg_IsValid(target) && rect.right > rect.left && rect.bottom > rect.top) {
            const int32_t source[4] = {rect.left, rect.top, rect.right, rect.bottom};
            MemImg_Blt(&mask.MaskWorkImage, target, source, rect.left, rect.top);
        }
    }
    return 0;
}

int Mask_AfterMaskedDraw(RECT rect) {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (mask.MaskDrawNesting <= 0) return 0;
    if (mask.MaskDrawNesting-- != 1) return 0;
    if (!ClipToDrawArea(&rect)) return 0;
    if (DevicePath()) {
        Graphics_Dispatch_Mask_DrawAfter(&rect);
        return 0;
    }
    if (!mask.MaskActive || !mask.MaskWorkImageValid || mask.MaskData == nullptr) return 0;
    MEMIMG* target = RealTargetImage();
    if (target == nullptr || !MemImg_IsValid(target)) return 0;
    const MemImgBody* to = target->body;
    const MemImgBody* from = mask.MaskWorkImage.body;
    const int bytes = MemImg_BytesPerPixel(to);
    if ((bytes != 2 && bytes != 4) || MemImg_BytesPerPixel(from) != bytes) return 0;
    // The rectangle lies inside the draw area, the draw target and (grown to the largest target) the
    // mask screen; clip to the smaller of them all the same.
    const LONG right = rect.right < mask.MaskWidth ? rect.right : mask.MaskWidth;
    const LONG bottom = rect.bottom < mask.MaskHeight ? rect.bottom : mask.MaskHeight;
    for (LONG y = rect.top; y < bottom && y < target->height; ++y) {
        const uint8_t* maskRow = mask.MaskData + static_cast<int64_t>(y) * mask.MaskPitch;
        const uint8_t* source = static_cast<const uint8_t*>(mask.MaskWorkImage.pixels) + static_cast<int64_t>(y) * from->pitch;
        uint8_t* destination = static_cast<uint8_t*>(target->pixels) + static_cast<int64_t>(y) * to->pitch;
        for (LONG x = rect.left; x < right && x < target->width; ++x)
            if ((maskRow[x] == 0) != (mask.MaskReverse != 0)) memcpy(destination + x * bytes, source + x * bytes, bytes);
    }
    return 0;
}

int Mask_FreeSurfaces() {
    FreeMaskData();
    UnbindWorkImage();
    ReleaseWorkImage();
    Graphics_Dispatch_Mask_ReleaseSurfaces();
    return 0;
}

int Mask_RestoreScreen() {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (!mask.MaskModuleReady) return -1;
    Mask_CreateScreen(mask.MaskScreenCreated, GraphicsScreenState.DrawTargetWidth, GraphicsScreenState.DrawTargetHeight);
    if (mask.MaskUse == 1) SetMaskScreenUse(1);
    return 0;
}

int CreateMaskScreen() {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (!mask.MaskModuleReady || !GraphicsSystemState.Initialised) return -1;
    if (mask.MaskScreenCreated) return 0;
    mask.MaskScreenCreated = 1;
    if (Mask_CreateScreen(1, GraphicsScreenState.DrawTargetWidth, GraphicsScreenState.DrawTargetHeight) < 0) {
        Mask_DeleteScreen();
        return -1;
    }
    return SetMaskScreenUse(mask.MaskUse);
}

int FillMaskScreenRect(int x1, int y1, int x2, int y2, int value) {
    MaskScreenStateRecord& mask = MaskScreenState;
    if (mask.MaskData == nullptr) return -1;
    int32_t rect[4] = {x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    const int32_t clip[4] = {0, 0, mask.MaskWidth, mask.MaskHeight};
    Math_Rect_Clip(rect, clip);
    for (int y = rect[1]; y < rect[3]; ++y)
        memset(mask.MaskData + static_cast<int64_t>(y) * mask.MaskPitch + rect[0], value & 0xFF, rect[2] - rect[0]);
    // The device keeps its own copy of the mask: it is uploaded again through a rebuild of the surfaces.
    if (DevicePath() && rect[2] > rect[0] && rect[3] > rect[1]) {
        Graphics_Dispatch_Mask_SaveSurfaces();
        Graphics_Dispatch_Mask_CreateSurfaces(mask.MaskWidth, mask.MaskHeight);
        Graphics_Dispatch_Mask_CopyAndReleaseSaved(mask.MaskWidth, mask.MaskHeight);
    }
    return 0;
}

int Mask_RecreateAfterRestart(int existed, int use) {
    if (!existed) return 0;
    MaskScreenState.MaskUse = use;
    return CreateMaskScreen();
}

}  // namespace Vantrel
