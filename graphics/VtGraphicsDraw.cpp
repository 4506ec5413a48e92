// Graph handles and draw calls in their form without a device (GraphicsApi 0): no graph handle can
// be made, so creation and loading give -1 and drawing does nothing.
// Stands on the graphics core's device record.
#include "graphics/VtGraphicsDraw.h"

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawTarget.h"

namespace Vantrel {

namespace {

int Graphics_DeviceReady() { return GraphicsApi != GRAPHICS_API_NONE && GraphicsSystemState.DeviceValid; }

}  // namespace

int CreateDrawableGraph(int width, int height, int alphaChannel)
{
    if (width <= 0 || height <= 0) return -1;
    if (!Graphics_DeviceReady()) return -1;
    return -1;
}

int LoadGraphFile(const char* fileName, int flag)
{
    if (fileName == nullptr || !Graphics_DeviceReady()) return -1;
    return -1;
}

int DeleteGraph(int graphHandle) { return -1; }

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
