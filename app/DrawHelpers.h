// Drawing helpers shared by the tool's pages: caption boxes (the page buttons) and a caption centred
// without a box. Stands on the graphics and font services; draws into whatever screen is selected.
#pragma once

namespace Qelvar {

int DrawCaptionBox(int x, int y, int width, int height, const char* caption, unsigned int color);
int DrawCaptionBoxWithFont(int x, int y, int width, int height, const char* caption, int fontHandle,
                           unsigned int color);
int DrawCaptionCentred(int x, int y, int width, int height, const char* caption, unsigned int color);

}  // namespace Qelvar
