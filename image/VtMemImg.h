// Memory images: software drawing surfaces in four fixed colour layouts with a reference-counted
// body shared by derived views, the draw state memory-image drawing reads, the module's blend
// tables, and the blits that bring base images in and draw one memory image onto another.
// Stands on the base images, the conversion blit and the memory layer.
#pragma once

#include <cstdint>

#include "image/VtBaseImage.h"

namespace Vantrel {

enum MemImgColorType : int32_t {
    MemImgColorType_R5G6B5 = 0,   // 2 bytes; 4 with alpha (alpha in bits 16 to 23)
    MemImgColorType_XRGB8 = 1,    // 4 bytes; ARGB8 with alpha
    MemImgColorType_One8 = 2,     // one 8-bit channel
    MemImgColorType_One16 = 3,    // one 16-bit channel
};

constexpr uint32_t MemImg_InitMark = 0x12345678;

// Run-plane bytes: bits 0 to 5 the run length - 1, bits 6 and 7 the kind; 0xC0 ends a row.
enum : uint8_t {
    MemImgRun_Transparent = 0x00,
    MemImgRun_Opaque = 0x40,
    MemImgRun_Translucent = 0x80,
    MemImgRun_RowEnd = 0xC0,
};

struct MemImgBody {
    int32_t refCount;
    int32_t width, height, pitch;
    int32_t pitchShift;                 // log2 of the pitch when a power of two, else -1
    const ColorFormatDesc* format;      // static descriptor of MemImg_GetColorData
    int32_t useTransColor;
    uint32_t transColor;                // in pixel format
    int32_t colorType;                  // MemImgColorType
    int32_t hasPalette, paletteUsed, hasAlpha, premulValid, runsValid, userPixels;
    void* palette;                      // first half of one 2048-byte block
    void* paletteCopy;                  // second half
    void* pixels;
    void* premulPixels;
    uint8_t* runs;
};

struct MEMIMG {
    uint32_t initMark;
    int32_t width, height;
    void* pixels;
    void* premulPixels;
    MemImgBody* body;
};

struct MemImgDrawState {
    int32_t defaultColorType;
    int32_t drawArea[4];                // left, top, right, bottom
    int32_t blendMode, blendParam;
    uint32_t brightColor;               // 0x00RRGGBB, white at start
    uint8_t blendGraphThreshold[256];
};
extern MemImgDrawState MemImgState;

// Lookup tables of MemImg_Initialize.
extern int32_t MemImg_SignedProductTable[256][512];   // i x (j - 255) / 255
extern int32_t MemImg_ProductTable[256][256];         // i x k / 255
extern uint8_t MemImg_Blend6Table[64][64][64];        // (o x m + (63 - o) x k) / 63

int MemImg_Setup(MEMIMG* image, int width, int height, int pitch, uint32_t transColor, int colorType, int usePalette,
                 int useAlpha, int extraPlanes, void* userPixels);
int MemImg_SetupWithDefaults(MEMIMG* image, int width, int height, int colorType);
int MemImg_Release(MEMIMG* image);
int MemImg_IsValid(const MEMIMG* image);
void MemImg_Derive(MEMIMG* out, const MEMIMG* source, int x, int y, int width, int height);
void MemImg_FillRect(MEMIMG* image, const int32_t* rect, uint32_t value);
int MemImg_Blt(MEMIMG* destination, const MEMIMG* source, const int32_t* srcRect, int dstX, int dstY);
int MemImg_BltBaseImage(const BaseImage* source, const BaseImage* alphaImage, MEMIMG* destination, int srcX, int srcY,
                        int width, int height, int dstX, int dstY, int useTransColor);
const ColorFormatDesc* MemImg_GetColorData(int colorType, int alpha, int palette);
int MemImg_Initialize();
int MemImg_SetBlendGraphBorder(int borderParam, int borderRange);
int MemImg_SetDefaultColorType(int colorType);
int MemImg_SetDrawArea(const int32_t* rect);
int MemImg_SetBlendMode(int mode, int param);
int MemImg_SetDrawBright(uint32_t bright);

// Bytes per pixel of the body's layout.
int MemImg_BytesPerPixel(const MemImgBody* body);
// A row of a type-0 or type-1 image as ARGB8 words (16-bit channels widened by repeating their top
// bits, alpha 255 without an alpha plane, 0 for a pixel equal to the key when keyed), and back.
void MemImg_RowToArgb(const MemImgBody* body, const uint8_t* p, int count, uint32_t* out, bool keyed);
void MemImg_RowFromArgb(const MemImgBody* body, const uint32_t* in, int count, uint8_t* p);

// Draws `source` at (x, y) of `destination` inside the draw area with the blend mode of the draw
// state: mode 0 copies (keyed pixels and alpha still honoured), mode 1 blends with the parameter
// as opacity. Images are of type 0 or 1 without a palette; type-0 pixels are widened to 8 bits
// per channel by repeating their top bits and narrowed again by keeping them. Per pixel, with S the source tinted by the bright
// colour (0x00RRGGBB, each channel x bright / 255), made premultiplied (alpha 255 without an alpha
// plane, 0 for a keyed pixel) and scaled by the opacity p, and D the destination:
// out = S + D x (255 - S alpha) / 255, every division by 255 rounded to nearest.
// Returns 0, or -1 for images or modes it does not draw.
int MemImg_DrawImage(MEMIMG* destination, const MEMIMG* source, int x, int y, int useTransColor);
// The same with flags: MemImgDraw_Opaque ignores the source's alpha (every pixel drawn at full
// strength); MemImgDraw_ClearSpare leaves the spare byte of a 32-bit destination without alpha 0
// instead of the blended alpha.
enum : int {
    MemImgDraw_Opaque = 1,
    MemImgDraw_ClearSpare = 2,
};
int MemImg_DrawImageEx(MEMIMG* destination, const MEMIMG* source, int x, int y, int useTransColor, int flags);
// Blends `count` ARGB8 words (straight alpha) onto a row of a 32-bit image at full opacity with a
// white bright colour: the arithmetic of MemImg_DrawImage for a source with alpha in mode 0, so a
// picture blended row by row here equals the same picture drawn from an image with
// MemImgDraw_ClearSpare. The spare byte of the row is left 0 (the row belongs to an image without
// alpha); words of alpha 0 leave their pixels' colours as they are.
void MemImg_BlendArgbRow(uint32_t* destination, const uint32_t* source, int count);

}  // namespace Vantrel
