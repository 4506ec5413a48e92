// Software screen images over memory images: set-up, release, colour packing, rectangle fills and
// pixel reads. Sizes are checked by the memory-image set-up in 64 bits.
// Stands on memory images and base-image colour formats.
#include "graphics/VtGraphicsSoftScreen.h"

#include <string.h>

namespace Vantrel {

int Graphics_MemImg_Setup(MEMIMG* image, int width, int height, uint32_t transColor, int colorType, int palette,
                          int alpha) {
    *image = {};
    if (MemImg_Setup(image, width, height, -1, transColor, colorType, palette, alpha, 0, nullptr) == 0) return 0;
    if (image->body != nullptr) {
        // A failed set-up keeps its body for another try: give it back so nothing stays behind.
        image->body->refCount = 1;
        image->initMark = MemImg_InitMark;
        MemImg_Release(image);
    }
    *image = {};
    return -1;
}

int Graphics_SoftScreen_Setup(MEMIMG* image, int width, int height, int colorType, int alphaFlag) {
    *image = {};
    if (width <= 0 || height <= 0) return -1;
    const int type = colorType != SOFTSCREEN_COLOR_R5G6B5 ? SOFTSCREEN_COLOR_XRGB8 : SOFTSCREEN_COLOR_R5G6B5;
    if (Graphics_MemImg_Setup(image, width, height, 0, type, 0, alphaFlag) < 0) return -1;
    const int64_t bytes = static_cast<int64_t>(image->body->pitch) * height;
    memset(image->pixels, 0, static_cast<size_t>(bytes));
    return 0;
}

int Graphics_SoftScreen_Release(MEMIMG* image) {
    MemImg_Release(image);
    *image = {};
    return 0;
}

uint32_t Graphics_SoftScreen_PackColor(const MEMIMG* image, int red, int green, int blue) {
    if (!MemImg_IsValid(image)) return 0;
    // The spare bits of the screen stay 0, as the present and the pixel reads expect.
    const ColorFormatDesc* format = image->body->format;
    return BaseImage_ColorFormat_PackColor(format, red & 0xFF, green & 0xFF, blue & 0xFF, 0) & ~format->unusedMask;
}

int Graphics_SoftScreen_FillRect(MEMIMG* image, const RECT* rect, uint32_t packedColor) {
    if (!MemImg_IsValid(image)) return -1;
    if (rect == nullptr) {
        MemImg_FillRect(image, nullptr, packedColor);
        return 0;
    }
    // An inverted rectangle fills nothing (the memory-image fill would order it).
    if (rect->left >= rect->right || rect->top >= rect->bottom) return 0;
    const int32_t area[4] = {static_cast<int32_t>(rect->left), static_cast<int32_t>(rect->top),
                             static_cast<int32_t>(rect->right), static_cast<int32_t>(rect->bottom)};
    MemImg_FillRect(image, area, packedColor);
    return 0;
}

int64_t Graphics_SoftScreen_GetPixel(const MEMIMG* image, int x, int y) {
    if (!MemImg_IsValid(image) || x < 0 || y < 0 || x >= image->width || y >= image->height) return -1;
    const uint8_t* row = static_cast<const uint8_t*>(image->pixels) + static_cast<int64_t>(y) * image->body->pitch;
    if (Graphics_SoftScreen_BitsPerPixel(image) == 32) {
        uint32_t value;
        memcpy(&value, row + static_cast<size_t>(x) * 4, 4);
        return value;
    }
    uint16_t value;
    memcpy(&value, row + static_cast<size_t>(x) * 2, 2);
    return value;
}

int Graphics_SoftScreen_BitsPerPixel(const MEMIMG* image) {
    if (!MemImg_IsValid(image)) return 0;
    return image->body->colorType == SOFTSCREEN_COLOR_R5G6B5 ? 16 : 32;
}

int Graphics_SoftScreen_Pitch(const MEMIMG* image) { return MemImg_IsValid(image) ? image->body->pitch : 0; }

}  // namespace Vantrel
