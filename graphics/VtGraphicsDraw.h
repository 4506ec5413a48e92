// Graph handles and draw calls the tool's pages use: drawable graphs, image files, graphs, boxes,
// lines and circles. Stands on the graphics core's device state; without a device
// no graph can be made and nothing is drawn.
#pragma once

#include "graphics/VtGraphicsScreen.h"  // DrawRectangle, SetBlendModeAndParam

namespace Vantrel {

int CreateDrawableGraph(int width, int height, int alphaChannel);
int LoadGraphFile(const char* fileName, int flag);
int DeleteGraph(int graphHandle);
int DrawGraphAt(int x, int y, int graphHandle, int transparent);
int DrawGraphPart(int x, int y, int sourceX, int sourceY, int width, int height, int graphHandle, int transparent,
                  int reverseX, int reverseY);
int DrawLineSegment(int x1, int y1, int x2, int y2, unsigned int color, int thickness);
int DrawCircleShape(int x, int y, int radius, unsigned int color, int fill, int thickness);
int ClearDrawScreen();

}  // namespace Vantrel
