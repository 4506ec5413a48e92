// Draw targets and presentation: selecting the back screen (-2) or the front screen (-4) as draw
// target, clearing it, presenting the back screen, reading pixels back and the vertical-blank
// setting. Without a device the draw target is the main software screen. Drawable graphs are
// refused as targets until graph handles carry their images.
// Stands on the graphics state records, the switch layer, draw settings and the camera.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace Vantrel {

int SelectDrawScreen(int screen);
// Fills the draw target (or the rectangle; a negative left or top counts as none) with the
// background colour. Always 0.
int ClearDrawTarget(const RECT* rect);
int PresentScreen();
int PresentScreenDirect();
int Graphics_Screen_PresentBase();
// The packed pixel of the draw target, -1 outside it.
int ReadDrawScreenPixel(int x, int y);
int SetWaitVSyncEnable(int flag);
int WaitVerticalBlank(int count);

}  // namespace Vantrel
