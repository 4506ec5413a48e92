// Draw calls in their form without a device (GraphicsApi 0): drawing does nothing; deleting a graph
// ends its handle (creation and loading live with the graph handles).
// Stands on the graphics core's device record.
#include "graphics/VtGraphicsDraw.h"

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

namespace {

int Graphics_DeviceReady() { return GraphicsApi != GRAPHICS_API_NONE && GraphicsSystemState.DeviceValid; }

}  // namespace

int DeleteGraph(int graphHandle) {
    if (Graphics_Image_GetGraphRecord(graphHandle, 0) == nullptr) return -1;
    return Handle_Delete(graphHandle, 0, 0);
}

int DrawGraphAt(int x, int y, int graphHandle, int transparent) { return -1; }

int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                  int reverseX, int reverseY)
{
    if (width <= 0 || height <= 0) return -1;
    return -1;
}

int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness) { return 0; }

int DrawCircleShape(int x, int y, int radius, unsigned int color, int fill, int thickness)
{
    if (radius < 0) return 0;
    return Graphics_DeviceReady() ? 0 : -1;
}

int ClearDrawScreen() { return ClearDrawTarget(nullptr); }

}  // namespace Vantrel
