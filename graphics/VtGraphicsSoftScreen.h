// Software screen images: the memory surfaces the graphics core draws into while no hardware
// device is in use, and that the GDI present copies to the window. A narrow stand-in for the
// memory images of the image module, holding only what the screens and the present read.
// Stands on the library allocator.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace Vantrel {

// Colour types: 0 R5G6B5 (16 bits), 1 X8R8G8B8 (32 bits).
enum : int {
    SOFTSCREEN_COLOR_R5G6B5 = 0,
    SOFTSCREEN_COLOR_XRGB8 = 1,
};

struct SoftScreenImage {
    int SetUp;              // 1 once the pixels exist
    int Width;
    int Height;
    int Pitch;              // bytes per row: width rounded up to 8 pixels at 16 bits, 4 pixels at 32
    int ColorType;
    int BitsPerPixel;
    uint32_t RedMask;
    uint32_t GreenMask;
    uint32_t BlueMask;
    uint8_t* Pixels;        // Pitch x Height bytes, top row first
    uint8_t* AlphaPlane;    // one byte per pixel (Width x Height) when made with the alpha flag
};

// Makes the pixels of a width x height image (cleared to 0); -1 for a size of 0 or less, one whose
// byte count does not fit 31 bits, or when the memory cannot be had (the record stays empty).
int Graphics_SoftScreen_Setup(SoftScreenImage* image, int width, int height, int colorType, int alphaFlag);
// Frees the pixels; nothing for an image never set up. Always 0.
int Graphics_SoftScreen_Release(SoftScreenImage* image);
// The colour (components 0-255) packed for the image's format.
uint32_t Graphics_SoftScreen_PackColor(const SoftScreenImage* image, int red, int green, int blue);
// Fills the rectangle (left, top, right, bottom; right and bottom exclusive) clipped to the
// image, or the whole image for null, with a packed colour. 0, or -1 for an image not set up.
int Graphics_SoftScreen_FillRect(SoftScreenImage* image, const RECT* rect, uint32_t packedColor);
// The packed pixel at (x, y), or -1 outside the image.
int64_t Graphics_SoftScreen_GetPixel(const SoftScreenImage* image, int x, int y);

}  // namespace Vantrel
