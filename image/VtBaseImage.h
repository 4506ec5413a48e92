// Base images: the library's software image (a pixel buffer described by a colour format), its
// formats, creation and release, per-pixel access, colour packing, half floats and screen colour
// codes; the conversion blit, drawing, block-compressed and YUV formats built on them.
// Stands on the memory layer and the log.
#pragma once

#include <cstdint>

namespace Vantrel {

// Block-compression code of a format.
enum BaseImageFormatCode : uint8_t {
    BaseImageFormat_Plain = 0,
    BaseImageFormat_DXT1 = 1,
    BaseImageFormat_DXT2 = 2,
    BaseImageFormat_DXT3 = 3,
    BaseImageFormat_DXT4 = 4,
    BaseImageFormat_DXT5 = 5,
    BaseImageFormat_BC7 = 6,
    BaseImageFormat_BC7SRGB = 7,
};

// One pixel format: a mask format (channels read through masks), a palette format (a one-byte
// mask format whose masks describe the palette entry) or a per-channel format.
struct ColorFormatDesc {
    uint8_t formatCode;
    uint8_t channelCount;
    uint8_t channelBits;
    uint8_t isFloat;
    uint8_t bytesPerPixel;
    uint8_t bitDepth;
    uint8_t unusedShift;
    uint8_t unusedWidth;
    uint8_t redWidth, greenWidth, blueWidth, alphaWidth;
    uint8_t redShift, greenShift, blueShift, alphaShift;
    uint32_t redMask, greenMask, blueMask, alphaMask;
    uint32_t unusedMask;
    uint32_t maxPaletteIndex;
    uint32_t palette[256];   // bytes blue, green, red, alpha: 0xAARRGGBB read little-endian
};

struct BaseImage {
    ColorFormatDesc format;
    int32_t width;
    int32_t height;
    int32_t pitch;
    void* pixels;
    int32_t mipLevelCount;   // 0 and 1 both mean one level
    int32_t faceCount;       // 0 plain, else cube-map faces stored one after another
};

struct FloatColor {
    float r, g, b, a;
};

// Source rectangle: left, top, right, bottom (right and bottom exclusive).
struct BaseImageRect {
    int32_t left, top, right, bottom;
};

// Largest pixel buffer an image may have: every size and offset fits a signed 32-bit integer.
constexpr int64_t BaseImage_MaxDataSize = 0x7FFFFFFF;

// ---- Formats ----
int BaseImage_ColorFormat_InitFromMasks(ColorFormatDesc* desc, int bitDepth, uint32_t redMask, uint32_t greenMask,
                                        uint32_t blueMask, uint32_t alphaMask, int channelCount, int channelBits,
                                        int isFloat);
int BaseImage_ColorFormat_SetUnusedMask(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitARGB8(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitABGR8(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitXRGB8(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitRGB24(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitBGR24(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitR5G6B5(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitX1R5G5B5(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitPal8(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitGray8(ColorFormatDesc* desc);
int BaseImage_ColorFormat_InitPal8Preset(ColorFormatDesc* desc, int alpha);

// ---- Creation and release ----
// Bytes of rows x pitch, or -1 (logged) when a size is negative or the buffer would pass
// BaseImage_MaxDataSize; computed in 64 bits so a 32-bit build cannot wrap.
int64_t BaseImage_CheckedSize(int64_t pitch, int64_t rows);
int BaseImage_CreateARGB8(int width, int height, BaseImage* out);
int BaseImage_CreateXRGB8(int width, int height, BaseImage* out);
int BaseImage_CreatePal8(int width, int height, BaseImage* out, int alpha);
int BaseImage_CreateARGBF32(int width, int height, BaseImage* out);
int BaseImage_Release(BaseImage* image);
int BaseImage_Derive(const BaseImage* source, int x1, int y1, int x2, int y2, BaseImage* out);
// The rectangle clipped to the image on all four sides: -1 when x or y lies past the image or the
// size is not positive, 0 when nothing is left, 1 with `out` set.
int BaseImage_ClipRect(const BaseImage* image, int x, int y, int width, int height, BaseImageRect* out);

// ---- Sizes and palettes ----
int BaseImage_GetDataSize(const BaseImage* image);
int BaseImage_GetMaxPaletteIndex(const BaseImage* image);

// ---- Colour values through a format ----
uint32_t BaseImage_ColorFormat_PackColor(const ColorFormatDesc* desc, int r, int g, int b, int a);
int BaseImage_ColorFormat_UnpackColor(const ColorFormatDesc* desc, uint32_t value, int* r, int* g, int* b, int* a);
// Index of the palette entry nearest to (r, g, b); the first of equal distances wins.
int BaseImage_ColorFormat_NearestPaletteIndex(const ColorFormatDesc* desc, int r, int g, int b);
uint32_t BaseImage_PackARGB8(int r, int g, int b, int a);
FloatColor* BaseImage_MakeFloatColor(FloatColor* out, float r, float g, float b, float a);

// ---- Pixels ----
uint32_t BaseImage_GetPixelARGB8(const BaseImage* image, int x, int y);
int BaseImage_GetPixelRGBA(BaseImage* image, int x, int y, int* r, int* g, int* b, int* a);
int BaseImage_SetPixelRGBA(BaseImage* image, int x, int y, int r, int g, int b, int a);

// ---- Half floats ----
float BaseImage_HalfToFloat(uint16_t half);
uint16_t BaseImage_FloatToHalf(float value);

// ---- Screen colour codes ----
unsigned int MakeColorCode(int red, int green, int blue);
int SplitColorCode(unsigned int code, int* red, int* green, int* blue);

// ---- Alpha-image file names (library's wide code page) ----
int BaseImage_MakeAlphaFileName(const wchar_t* name, wchar_t* out, int outBytes);

// ---- Conversion blit ----
int BaseImage_ColorConvertBlt(void* dstPixels, int dstPitch, const ColorFormatDesc* dstDesc, const void* srcPixels,
                              int srcPitch, const ColorFormatDesc* srcDesc, const void* alphaPixels, int alphaPitch,
                              const ColorFormatDesc* alphaDesc, int dstX, int dstY, const BaseImageRect* srcRect,
                              int mirror, int keyToAlpha, uint32_t keyColor, int dither, int zeroColor,
                              int alphaFromRed, int keySkip, int paletteRemap);
// The per-pixel path alone, with the same arguments and option rules: every specialised path
// must give what this gives (tests hold them to it).
int BaseImage_ColorConvertBlt_General(void* dstPixels, int dstPitch, const ColorFormatDesc* dstDesc,
                                      const void* srcPixels, int srcPitch, const ColorFormatDesc* srcDesc,
                                      const void* alphaPixels, int alphaPitch, const ColorFormatDesc* alphaDesc,
                                      int dstX, int dstY, const BaseImageRect* srcRect, int mirror, int keyToAlpha,
                                      uint32_t keyColor, int dither, int zeroColor, int alphaFromRed, int keySkip,
                                      int paletteRemap);
int BaseImage_Blt(int srcX, int srcY, int width, int height, int dstX, int dstY, BaseImage* source,
                  BaseImage* destination);
int BaseImage_BltWhole(int dstX, int dstY, BaseImage* source, BaseImage* destination);
int BaseImage_ClearRect(BaseImage* image, int x, int y, int width, int height);
int BaseImage_HalfSizeBlt(const ColorFormatDesc* desc, void* dstPixels, int dstPitch, const void* srcPixels,
                          int srcPitch, int dstX, int dstY, int srcX, int srcY, int srcWidth, int srcHeight);
int BaseImage_MirrorHorizontal(BaseImage* image);

// ---- Drawing ----
int BaseImage_Fill(BaseImage* image, int r, int g, int b, int a);
int BaseImage_FillRect(BaseImage* image, int x, int y, int width, int height, int r, int g, int b, int a);
int BaseImage_DrawCircle(BaseImage* image, int centreX, int centreY, int radius, int r, int g, int b, int a,
                         int fill);

// ---- Block-compressed and YUV formats, premultiplied alpha ----
int BaseImage_ExpandCompressed(BaseImage* image, int freeOldPixels);
int BaseImage_Yuv_NV11ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_NV12ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_YV12ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_UYVYToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_YUY2ToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_YVYUToXRGB8(const uint8_t* frame, int width, int height, BaseImage* destination);
int BaseImage_Yuv_NV11ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_Yuv_NV12ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_Yuv_YV12ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_Yuv_UYVYToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_Yuv_YUY2ToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_Yuv_YVYUToPlanes(const uint8_t* frame, int width, int height, uint8_t* yPlane, uint8_t* uvPlane);
int BaseImage_ConvertPremultipliedAlpha(BaseImage* image);

}  // namespace Vantrel
