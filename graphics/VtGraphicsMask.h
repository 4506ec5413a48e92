// Mask screens: an 8-bit stencil laid over the draw target (0 lets drawing through, anything else
// keeps the target's pixel; the other way round with the reverse effect). While it exists and is switched on every bracketed draw call lands on a
// work surface first and reaches the real target only where the mask byte is 0: a memory image and a
// pixel loop without a device, the back-end's textures through the switch layer with one. Also the
// "Mask" handle type, and the free and rebuild around a device re-creation.
// Stands on the handle manager, the allocator, memory images, the draw settings and the switch layer.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "foundation/VtHandle.h"
#include "image/VtMemImg.h"

namespace Vantrel {

struct MaskScreenStateRecord {
    int32_t MaskModuleReady;
    int32_t MaskWidth;
    int32_t MaskHeight;
    uint8_t* MaskData;                  // MaskPitch x MaskHeight bytes, null without a mask screen
    int32_t MaskPitch;                  // MaskWidth rounded up to a multiple of 4
    int32_t MaskScreenCreated;
    int32_t MaskUse;
    int32_t MaskReverse;                // reverse effect: drawing passes where the mask byte is not 0
    int32_t MaskActive;                 // MaskUse and MaskScreenCreated; every bracketed draw tests it
    int32_t MaskDrawNesting;
    MEMIMG MaskWorkImage;               // work surface without a device
    int32_t MaskWorkImageValid;
};

extern MaskScreenStateRecord MaskScreenState;

// A mask handle: the header, then its pixel buffer (owned, freed with the handle).
struct MaskHandleRecord {
    HandleHeader Header;
    void* Pixels;
};

int Mask_ModuleInitialize();
int Mask_ModuleTerminate();
int Mask_HandleRecord_Terminate(HandleHeader* record);
int Mask_DeleteAllHandles();
// Draw-settings initialisation: use switch 1, nothing active.
int Mask_ResetUseFlag();

// Creates or grows the mask screen to (at least) width x height; nothing when create is 0. 0 / -1.
int Mask_CreateScreen(int create, int width, int height);
int Mask_DeleteScreen();
int SetMaskScreenUse(int flag);
int GetMaskScreenUseFlag();

// The bracket around a draw covering `rect` (target pixels; clipped to the draw area here).
int Mask_BeforeMaskedDraw(RECT rect);
int Mask_AfterMaskedDraw(RECT rect);

// Around a device re-creation: the mask data and surfaces go, then come back at the draw target's
// size with every mask byte 0, switched on again when the use switch is 1.
int Mask_FreeSurfaces();
int Mask_RestoreScreen();

// Makes the mask screen at the current draw target's size (all bytes 0) and keeps it until
// Mask_DeleteScreen: it grows with larger draw targets and comes back after a screen-mode change
// or a device re-creation. 0 / -1.
int CreateMaskScreen();
// Sets the mask bytes of (x1, y1)-(x2, y2) (clipped to the mask screen) to value. 0 / -1.
int FillMaskScreenRect(int x1, int y1, int x2, int y2, int value);
// The mask screen after a restart of the graphics module: made again (all bytes 0) with the use
// switch it had, when it existed before.
int Mask_RecreateAfterRestart(int existed, int use);

}  // namespace Vantrel
