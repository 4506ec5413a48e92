// The text engine: lays one UTF-16 text out with one font (horizontal or vertical writing, integer or
// float pen positions, optionally scaled) and measures it or draws it: cache cells and image glyphs
// through the graph draw calls, memory-cache glyphs pixel by pixel into a memory image.
// Stands on the glyph cache, the draw settings, the graph draw calls and memory images.
#pragma once

#include <stdint.h>

#include "font/VtFont.h"
#include "image/VtMemImg.h"

namespace Vantrel {

// 1 while the engine runs; the Direct3D 9 back-end reads it.
extern int32_t Font_TextDrawing;

struct FontTextRequest {
    int32_t Draw;                     // 1 draw, 0 measure only
    int32_t X, Y;                     // pen start for integer positions
    float FX, FY;                     // pen start for float positions
    int32_t IntegerPositions;
    int32_t Scaled;
    double ScaleX, ScaleY;
    const wchar_t* Text;
    uint32_t Color;                   // 0x00RRGGBB with a device, else a pixel of the screen format
    MEMIMG* Destination;              // memory image of the memory road, or null
    const int32_t* Clip;              // left, top, right, bottom (exclusive) of the memory road
    FontHandleRecord* Font;
    uint32_t EdgeColor;
    int32_t Length;                   // code units; negative: up to the terminator
    int32_t Vertical;
    int32_t* SizeOut;                 // width, height of the laid-out text, or null
    int32_t* LinesOut;                // number of lines, or null
    int32_t Blend;                    // memory road: glyph pixels blended onto the destination (32-bit
                                      // without alpha) as a composed work image would be, not written
    int32_t* OverlapOut;              // set to 1 when boxes of drawn glyphs may overlap (horizontal
                                      // text; image glyphs and vertical text always count), or null
};

// The widest line's length, truncated (0 for an empty text), or -1.
int Font_TextEngine(const FontTextRequest& request);

// A request that measures `length` units of `text` with the font, unscaled.
FontTextRequest Font_TextRequest_Measure(FontHandleRecord* font, const wchar_t* text, int length, int vertical);

// Channels 0-255 of a text colour as the engine reads it: 0x00RRGGBB with a hardware device, else a
// pixel value of the screen's format.
void Font_SplitTextColor(uint32_t color, int* red, int* green, int* blue);

}  // namespace Vantrel
