// Graphics core: device API choice, device state and main screen size, in the least form the
// foundation needs. Stands on nothing yet: no device is ever set up here.
#include "graphics/VtGraphics.h"

namespace Vantrel {

int GraphicsApi = GRAPHICS_API_NONE;
GraphicsSystemStateRecord GraphicsSystemState = {0, 0, 0};

void* Graphics_Dispatch_DirectDraw7_Get() { return nullptr; }

int GetMainScreenSize(int* width, int* height)
{
    const int w = GraphicsSystemState.ScreenWidth > 0 ? GraphicsSystemState.ScreenWidth : 640;
    const int h = GraphicsSystemState.ScreenHeight > 0 ? GraphicsSystemState.ScreenHeight : 480;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 0;
}

}  // namespace Vantrel
