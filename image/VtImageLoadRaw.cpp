// The library's own raw formats: "BGRA" pixel dumps with 8- or 16-bit channels, and "VBIM" dumps
// of a whole base image (descriptor, palette and every level and face). Stands on base images.
#include <cstring>

#include "foundation/VtLog.h"
#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

namespace {

int RawBGRA_Decode(const uint8_t* file, uint64_t size, BaseImage* image, int headerOnly)
{
    if (size < 16 || memcmp(file, "BGRA", 4) != 0) return -1;
    const uint32_t code = ImageLoad_Le32(file + 4);
    if (code != 0x08080808u && code != 0x10101010u) return -1;
    const int64_t width = (int32_t)ImageLoad_Le32(file + 8), height = (int32_t)ImageLoad_Le32(file + 12);
    if (width <= 0 || height <= 0) return -1;
    const int64_t pitch = ImageLoad_Size(width, 4);
    const int64_t bytes = pitch < 0 ? -1 : ImageLoad_Size(pitch, height);
    if (bytes < 0) return -1;
    BaseImage_ColorFormat_InitARGB8(&image->format);
    image->width = (int)width;
    image->height = (int)height;
    image->pitch = (int)pitch;
    if (headerOnly) return 0;
    const int channelBytes = code == 0x08080808u ? 1 : 2;
    if ((size - 16) / channelBytes < (uint64_t)bytes) return -1;
    uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate(bytes, __LINE__));
    if (pixels == nullptr) return -1;
    if (channelBytes == 1) {
        memcpy(pixels, file + 16, (size_t)bytes);
    } else {
        const uint8_t* src = file + 16;
        for (int64_t i = 0; i < bytes; i++) pixels[i] = src[i * 2 + 1];
    }
    image->pixels = pixels;
    return 0;
}

// Whether a channel of a mask format lies inside the value it is read from.
bool Dump_ChannelFits(uint32_t mask, int width, int shift, int valueBits)
{
    if (shift + width > valueBits) return false;
    return valueBits == 32 || (mask >> valueBits) == 0;
}

// A stored descriptor that every pixel reader can follow: pixel sizes that match the channels, masks
// inside the pixel, no channels for block-compressed data.
bool Dump_FormatIsSound(const ColorFormatDesc& f)
{
    if (f.formatCode != 0) return f.channelCount == 0 && f.channelBits == 0 && f.isFloat == 0;
    if (f.channelCount != 0 && f.channelBits != 0) {
        const bool bitsKnown = f.channelBits == 8 || f.channelBits == 16 || f.channelBits == 32;
        return f.channelCount <= 4 && bitsKnown && (!f.isFloat || f.channelBits != 8) &&
               f.bytesPerPixel == f.channelCount * f.channelBits / 8;
    }
    if (f.isFloat || f.bytesPerPixel < 1 || f.bytesPerPixel > 4) return false;
    const int pixelBits = f.bytesPerPixel * 8;
    if (f.bitDepth < 1 || f.bitDepth > pixelBits) return false;
    // One-byte pixels index the palette, whose 32-bit entries the masks describe.
    const int valueBits = f.bytesPerPixel == 1 ? 32 : pixelBits;
    return Dump_ChannelFits(f.redMask, f.redWidth, f.redShift, valueBits) &&
           Dump_ChannelFits(f.greenMask, f.greenWidth, f.greenShift, valueBits) &&
           Dump_ChannelFits(f.blueMask, f.blueWidth, f.blueShift, valueBits) &&
           Dump_ChannelFits(f.alphaMask, f.alphaWidth, f.alphaShift, valueBits) &&
           Dump_ChannelFits(f.unusedMask, f.unusedWidth, f.unusedShift, valueBits);
}

int Dump_Decode(const uint8_t* file, uint64_t size, BaseImage* image, int headerOnly)
{
    if (size < 41 || memcmp(file, "VBIM", 4) != 0) return -1;
    memset(image, 0, sizeof(*image));
    image->width = (int32_t)ImageLoad_Le32(file + 4);
    image->height = (int32_t)ImageLoad_Le32(file + 8);
    image->pitch = (int32_t)ImageLoad_Le32(file + 12);
    image->mipLevelCount = (int32_t)ImageLoad_Le32(file + 16);
    image->faceCount = (int32_t)ImageLoad_Le32(file + 20);
    const uint64_t dataOffset = ImageLoad_Le32(file + 24);
    const uint64_t dataSize = ImageLoad_Le32(file + 28);   // the low half of the 64-bit field
    ColorFormatDesc& f = image->format;
    f.formatCode = file[36];
    f.channelCount = file[37];
    f.channelBits = file[38];
    f.isFloat = file[39];
    f.bytesPerPixel = file[40];
    const bool maskFormat = f.formatCode == 0 && (f.channelCount == 0 || f.channelBits == 0);
    if (maskFormat) {
        if (size < 72) return -1;
        f.bitDepth = file[41];
        f.unusedShift = file[42];
        f.unusedWidth = file[43];
        f.redWidth = file[44], f.greenWidth = file[45], f.blueWidth = file[46], f.alphaWidth = file[47];
        f.redShift = file[48], f.greenShift = file[49], f.blueShift = file[50], f.alphaShift = file[51];
        f.redMask = ImageLoad_Le32(file + 52);
        f.greenMask = ImageLoad_Le32(file + 56);
        f.blueMask = ImageLoad_Le32(file + 60);
        f.alphaMask = ImageLoad_Le32(file + 64);
        f.unusedMask = ImageLoad_Le32(file + 68);
        if (f.bitDepth <= 8) {
            const uint64_t entries = 1ull << f.bitDepth;
            if (size < 76 + entries * 4) return -1;
            f.maxPaletteIndex = ImageLoad_Le32(file + 72);
            memcpy(f.palette, file + 76, (size_t)(entries * 4));
        }
    }
    // The stored record must describe a buffer that its own data covers, in a format the pixel readers
    // can follow.
    auto damaged = [image]() {
        Log_AddTextShiftJIS("VBIM ファイルの画像の情報が壊れています\n");
        memset(image, 0, sizeof(*image));
        return -1;
    };
    if (image->width <= 0 || image->height <= 0 || image->pitch < 0 || image->mipLevelCount < 0 ||
        (image->faceCount != 0 && image->faceCount != 6) || f.formatCode > BaseImageFormat_BC7SRGB ||
        image->mipLevelCount > 32 || !Dump_FormatIsSound(f))
        return damaged();
    if (f.formatCode == 0 && (int64_t)image->pitch < (int64_t)image->width * f.bytesPerPixel) return damaged();
    const int needed = BaseImage_GetDataSize(image);
    if (needed < 0 || (uint64_t)ImageLoad_Size(needed, image->faceCount == 6 ? 6 : 1) > dataSize) return damaged();
    if (headerOnly) return 0;
    if (dataOffset > size || size - dataOffset < dataSize) return damaged();
    image->pixels = ImageLoad_Allocate((int64_t)dataSize, __LINE__);
    if (image->pixels == nullptr) return -1;
    memcpy(image->pixels, file + dataOffset, (size_t)dataSize);
    return 0;
}

}  // namespace

int BaseImage_LoadRawBGRA(Stream* stream, BaseImage* image, int headerOnly)
{
    return ImageLoad_DecodeStream(stream, image, headerOnly, RawBGRA_Decode);
}

int BaseImage_LoadDump(Stream* stream, BaseImage* image, int headerOnly)
{
    return ImageLoad_DecodeStream(stream, image, headerOnly, Dump_Decode);
}

}  // namespace Vantrel
