// Font creation by face name and the public text functions: drawing and measuring plain, scaled and
// formatted text in the font's character code or in UTF-16.
// Stands on the font module's handles and the text engine.
#pragma once

#include "font/VtFont.h"

namespace Vantrel {

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int reuseHandle);
int DeleteFontToHandle(int fontHandle);
int GetFontParamsToHandle(char* faceName, int* size, int* thickness, int fontHandle, int* fontType, int* charSet,
                          int* edgeSize, int* italic);
int DrawScaledTextToHandleW(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                            unsigned int color, int fontHandle, unsigned int edgeColor, int vertical);
int DrawTextToHandle(int x, int y, const char* text, unsigned int color, int fontHandle, unsigned int edgeColor,
                     int vertical);
int GetScaledTextWidthToHandleW(double scaleX, const wchar_t* text, int length, int cap, int fontHandle, int vertical);
// Width of a text in the font's code (length < 0: the whole text).
int GetTextWidthToHandle(const char* text, int length, int fontHandle, int vertical);
int DrawTextDefaultFont(int x, int y, const char* text, unsigned int color, unsigned int edgeColor);
int DrawFormattedText(int x, int y, unsigned int color, const char* format, ...);
int DrawFormattedTextToHandle(int x, int y, unsigned int color, int fontHandle, const char* format, ...);
int GetFormattedTextWidth(const char* format, ...);
int GetFormattedTextWidthToHandle(int fontHandle, const char* format, ...);

}  // namespace Vantrel
