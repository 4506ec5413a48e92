// Font creation by face name and the public text functions: drawing and measuring plain, scaled and
// formatted text in the font's character code or in UTF-16.
// Stands on the font module's handles and the text engine.
#pragma once

#include "font/VtFont.h"
#include "image/VtMemImg.h"

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

// ---- Internal: the roads of drawing ----
// Texture road (the font's cache lives in a texture): the engine draws from the cache graph.
int Font_DrawText_Texture(int x, int y, const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                          unsigned int edgeColor, int vertical);
int Font_DrawScaledText_Texture(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                                unsigned int color, FontHandleRecord* font, unsigned int edgeColor, int vertical);
// Memory road (no device): glyph pixels into the memory-image draw target, directly or through a work image.
int Font_DrawText_Memory(int x, int y, const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                         unsigned int edgeColor, int vertical);
int Font_DrawScaledText_Memory(int x, int y, double scaleX, double scaleY, const wchar_t* text, int length,
                               unsigned int color, FontHandleRecord* font, unsigned int edgeColor, int vertical);
// Fills the work area (0, 0, width, height, cut to the work image) with the work image's transparent
// colour and draws the text into it at (drawX, 0); the work area is left as the memory images' draw
// area. Returns the work image (the one with alpha for antialiased fonts) and the work rectangle in
// `work`, or null when there is no work image or no area.
MEMIMG* Font_DrawTextToWorkImage(const wchar_t* text, int length, unsigned int color, FontHandleRecord* font,
                                 unsigned int edgeColor, int vertical, int width, int height, int drawX,
                                 int32_t* work);

}  // namespace Vantrel
