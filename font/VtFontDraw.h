// Font creation by face name and the formatted text drawing and measuring the tool's pages use.
// Stands on the font module's handles; without a graphics device no font exists.
#pragma once

#include "font/VtFont.h"

namespace Vantrel {

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reuseHandle);
int DeleteFontToHandle(int fontHandle);
int GetFontParamsToHandle(char* faceName, int* size, int* thickness, int fontHandle, int* fontType, int* charSet,
                          int* edgeSize, int* italic);
int DrawTextDefaultFont(int x, int y, const char* text, unsigned int color, unsigned int edgeColor);
int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...);
int DrawFormattedTextToHandle(int x, int y, unsigned int color, int fontHandle, const char* format, ...);
int GetFormattedTextWidth(const char* format, ...);
int GetFormattedTextWidthToHandle(int fontHandle, const char* format, ...);

}  // namespace Vantrel
