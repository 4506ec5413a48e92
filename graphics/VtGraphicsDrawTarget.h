// Draw targets and presentation: selecting the back screen (-2), the front screen (-4, presented by
// its 32 ms timer) or a drawable graph as draw target, the eight target slots, clearing, presenting
// the back screen, locking the target's pixels, reading them back and the vertical-blank setting.
// Without a device the draw target is a memory image: the main software screen or the graph's.
// Stands on the graphics state records, the switch layer, graph records, draw settings and the camera.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace Vantrel {

struct BaseImage;
struct GraphHandleRecord;

// Size-less screen codes: they bind the back buffer like -2 but leave the draw area empty.
enum : int {
    DRAW_SCREEN_SIZELESS_A = -3,
    DRAW_SCREEN_SIZELESS_B = -16,
};

// Makes a screen code or a graph created as a draw target the draw target. 0, or -1 with the
// draw target unchanged.
int SelectDrawScreen(int target);
// Makes a live shadow map the draw target (slot 0), with its size as draw area and the camera reset
// for it; the shadow-map module calls it when drawing into the map starts. 0, or -1 when the handle is
// dead or the back-end cannot bind it (slot 0 then names the shadow map until the caller puts the
// previous target back).
int Graphics_Screen_SelectShadowMap(int shadowMap);
// Fills the draw target (or the rectangle; a negative left or top counts as none) with the
// background colour. Always 0.
int ClearDrawTarget(const RECT* rect);
int PresentScreen();
int PresentScreenDirect();
int Graphics_Screen_PresentBase();

// CPU access to the pixels of a draw target (-1: the one of slot 0; surface and mip -1 count as 0).
// Without a device `out` describes the memory image in place. 0, or -1 for a rectangle outside the
// target or empty (nothing locked then).
int Graphics_Screen_LockDrawTarget(const RECT* rect, BaseImage* out, int target, int surface, int mipLevel,
                                   int readOnly, int partIndex);
int Graphics_Screen_UnlockDrawTarget();
// The first pixel of a locked image as 0xFFRRGGBB: channel formats (integer, half or float) and packed
// 16- and 32-bit formats; -1 for any other.
int Graphics_Screen_LockedPixelColour(const BaseImage* image, uint32_t* colour);

// Copies (x1, y1)-(x2, y2) of the current draw target into a graph of exactly that size; 0 or -1.
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph);
// The packed pixel of the draw target at (x, y). -1 for a point outside the target, which is also
// the value of a white 32-bit pixel: ReadDrawScreenPixelWithStatus tells them apart through
// `status` (0 read, -1 failed; may be null).
int ReadDrawScreenPixel(int x, int y);
int ReadDrawScreenPixelWithStatus(int x, int y, int* status);

int SetWaitVSyncEnable(int flag);
int WaitVerticalBlank(int count);
int Graphics_Screen_RebindDepthBuffer();

// The graph record of a draw-target handle with its pending load finished, null for screen codes
// and dead handles.
GraphHandleRecord* Graphics_Screen_GetTargetGraphRecord(int target);
// Slot 0 re-applied and, with a device, slots 1 to 7 emptied: after a screen-mode change.
int Graphics_Screen_ResetRenderTargetSlots();

}  // namespace Vantrel
