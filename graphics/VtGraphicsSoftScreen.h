// Software screen images: the memory images the graphics core draws into while no hardware device
// is in use, and that the GDI present copies to the window: set-up, colour packing, fills and pixel
// reads over the memory images of the image module.
// Stands on memory images and base-image colour formats.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "image/VtMemImg.h"

namespace Vantrel {

// Colour types: 0 R5G6B5 (16 bits), 1 X8R8G8B8 (32 bits).
enum : int {
    SOFTSCREEN_COLOR_R5G6B5 = MemImgColorType_R5G6B5,
    SOFTSCREEN_COLOR_XRGB8 = MemImgColorType_XRGB8,
};

// MemImg_Setup with the default pitch that, when it fails, keeps nothing behind; -1 then.
int Graphics_MemImg_Setup(MEMIMG* image, int width, int height, uint32_t transColor, int colorType, int palette,
                          int alpha);
// Makes the pixels of a width x height image (rows of a multiple of 16 bytes); -1 for a size of 0 or
// less, one whose byte count does not fit 31 bits, or when the memory cannot be had (the image stays
// empty).
int Graphics_SoftScreen_Setup(MEMIMG* image, int width, int height, int colorType, int alphaFlag);
// Frees the pixels; nothing for an image never set up. Always 0.
int Graphics_SoftScreen_Release(MEMIMG* image);
// The colour (components 0-255) packed for the image's format.
uint32_t Graphics_SoftScreen_PackColor(const MEMIMG* image, int red, int green, int blue);
// Fills the rectangle (left, top, right, bottom; right and bottom exclusive) clipped to the
// image, or the whole image for null, with a packed colour. 0, or -1 for an image not set up.
int Graphics_SoftScreen_FillRect(MEMIMG* image, const RECT* rect, uint32_t packedColor);
// The packed pixel at (x, y), or -1 outside the image.
int64_t Graphics_SoftScreen_GetPixel(const MEMIMG* image, int x, int y);
// Bits per pixel and row pitch in bytes, 0 for an image not set up.
int Graphics_SoftScreen_BitsPerPixel(const MEMIMG* image);
int Graphics_SoftScreen_Pitch(const MEMIMG* image);

}  // namespace Vantrel
