// Software screen images: set-up, release, colour packing, rectangle fills and pixel reads of the
// memory surfaces used without a hardware device. Sizes are worked out in 64 bits and refused
// when they do not fit. Stands on the library allocator.
#include "graphics/VtGraphicsSoftScreen.h"

#include "foundation/VtMemory.h"

namespace Vantrel {

int Graphics_SoftScreen_Setup(SoftScreenImage* image, int width, int height, int colorType, int alphaFlag) {
    *image = {};
    if (width <= 0 || height <= 0) return -1;
    const bool wide = colorType != SOFTSCREEN_COLOR_R5G6B5;
    const int64_t rowPixels = wide ? (static_cast<int64_t>(width) + 3) / 4 * 4 : (static_cast<int64_t>(width) + 7) / 8 * 8;
    const int64_t pitch = rowPixels * (wide ? 4 : 2);
    const int64_t bytes = pitch * height;
    const int64_t alphaBytes = alphaFlag ? static_cast<int64_t>(width) * height : 0;
    if (pitch > 0x7FFFFFFF || bytes > 0x7FFFFFFF || alphaBytes > 0x7FFFFFFF) return -1;

    uint8_t* pixels = static_cast<uint8_t*>(Memory_AllocateZeroed(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (pixels == nullptr) return -1;
    uint8_t* alpha = nullptr;
    if (alphaFlag) {
        alpha = static_cast<uint8_t*>(Memory_AllocateZeroed(static_cast<uint32_t>(alphaBytes), __FILE__, __LINE__));
        if (alpha == nullptr) {
            Memory_Free(pixels);
            return -1;
        }
    }
    image->Width = width;
    image->Height = height;
    image->Pitch = static_cast<int>(pitch);
    image->ColorType = wide ? SOFTSCREEN_COLOR_XRGB8 : SOFTSCREEN_COLOR_R5G6B5;
    image->BitsPerPixel = wide ? 32 : 16;
    image->RedMask = wide ? 0x00FF0000u : 0xF800u;
    image->GreenMask = wide ? 0x0000FF00u : 0x07E0u;
    image->BlueMask = wide ? 0x000000FFu : 0x001Fu;
    image->Pixels = pixels;
    image->AlphaPlane = alpha;
    image->SetUp = 1;
    return 0;
}

int Graphics_SoftScreen_Release(SoftScreenImage* image) {
    if (image->SetUp) {
        Memory_Free(image->Pixels);
        Memory_Free(image->AlphaPlane);
    }
    *image = {};
    return 0;
}

uint32_t Graphics_SoftScreen_PackColor(const SoftScreenImage* image, int red, int green, int blue) {
    const uint32_t r = static_cast<uint32_t>(red) & 0xFF, g = static_cast<uint32_t>(green) & 0xFF,
                   b = static_cast<uint32_t>(blue) & 0xFF;
    if (image->ColorType == SOFTSCREEN_COLOR_R5G6B5) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    return (r << 16) | (g << 8) | b;
}

int Graphics_SoftScreen_FillRect(SoftScreenImage* image, const RECT* rect, uint32_t packedColor) {
    if (!image->SetUp) return -1;
    int left = 0, top = 0, right = image->Width, bottom = image->Height;
    if (rect != nullptr) {
        left = rect->left < 0 ? 0 : static_cast<int>(rect->left);
        top = rect->top < 0 ? 0 : static_cast<int>(rect->top);
        right = rect->right > image->Width ? image->Width : static_cast<int>(rect->right);
        bottom = rect->bottom > image->Height ? image->Height : static_cast<int>(rect->bottom);
    }
    if (left >= right || top >= bottom) return 0;
    for (int y = top; y < bottom; ++y) {
        uint8_t* row = image->Pixels + static_cast<size_t>(y) * image->Pitch;
        if (image->BitsPerPixel == 32) {
            uint32_t* pixel = reinterpret_cast<uint32_t*>(row) + left;
            for (int x = left; x < right; ++x) *pixel++ = packedColor;
        } else {
            uint16_t* pixel = reinterpret_cast<uint16_t*>(row) + left;
            for (int x = left; x < right; ++x) *pixel++ = static_cast<uint16_t>(packedColor);
        }
    }
    return 0;
}

int64_t Graphics_SoftScreen_GetPixel(const SoftScreenImage* image, int x, int y) {
    if (!image->SetUp || x < 0 || y < 0 || x >= image->Width || y >= image->Height) return -1;
    const uint8_t* row = image->Pixels + static_cast<size_t>(y) * image->Pitch;
    if (image->BitsPerPixel == 32) return reinterpret_cast<const uint32_t*>(row)[x];
    return reinterpret_cast<const uint16_t*>(row)[x];
}

}  // namespace Vantrel
