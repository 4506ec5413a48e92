// Caption boxes and centred captions for the pages' buttons.
// Stands on the graphics draw calls and the font module's formatted text.
#include "app/DrawHelpers.h"

#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"

namespace Qelvar {

using namespace Vantrel;

int DrawCaptionCentred(int x, int y, int width, int height, const char* caption, unsigned int color)
{
    // The captions are program texts, numbers and key names; none holds a "%".
    const int textWidth = GetFormattedTextWidth(caption);
    DrawFormattedText(x + width / 2 - textWidth / 2 - 1, y + height / 2 - 10, color, "%s", caption);
    return 0;
}

int DrawCaptionBox(int x, int y, int width, int height, const char* caption, unsigned int color)
{
    DrawRectangle(x, y, x + width, y + height, color, 0, 1);
    return DrawCaptionCentred(x, y, width, height, caption, color);
}

int DrawCaptionBoxWithFont(int x, int y, int width, int height, const char* caption, int fontHandle,
                           unsigned int color)
{
    DrawRectangle(x, y, x + width, y + height, color, 0, 1);
    int size = 0;
    GetFontParamsToHandle(nullptr, &size, nullptr, fontHandle, nullptr, nullptr, nullptr, nullptr);
    const int textWidth = GetFormattedTextWidthToHandle(fontHandle, caption);
    DrawFormattedTextToHandle(x + width / 2 - textWidth / 2 - 1, y + height / 2 - size / 2, color, fontHandle, "%s",
                              caption);
    return 0;
}

}  // namespace Qelvar
