// Font creation by face name and formatted text in their form without a graphics device: no font
// handle exists, so creation gives -1, drawing and measuring report failure and write nothing.
// Stands on nothing.
#include "font/VtFontDraw.h"

namespace Vantrel {

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reuseHandle)
{
    return -1;
}

int DeleteFontToHandle(int fontHandle) { return -1; }

int GetFontParamsToHandle(char* faceName, int* size, int* thickness, int fontHandle, int* fontType, int* charSet,
                          int* edgeSize, int* italic)
{
    return -1;
}

int DrawTextDefaultFont(int x, int y, const char* text, unsigned int color, unsigned int edgeColor) { return -1; }

int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...) { return -1; }

int DrawFormattedTextToHandle(int x, int y, unsigned int color, int fontHandle, const char* format, ...) { return -1; }

int GetFormattedTextWidth(const char* format, ...) { return -1; }

int GetFormattedTextWidthToHandle(int fontHandle, const char* format, ...) { return -1; }

}  // namespace Vantrel
