// The DDS loader: Direct3D 9 format numbers, four-character codes of the block-compressed formats
// (kept compressed for the graphics back-ends), RGB masks, mip chains and cube maps. Every size is
// worked out in 64 bits and held against the bytes the file has. Stands on base images.
#include <cstring>

#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

namespace {

struct DdsFormatRow {
    int32_t number;
    uint8_t bits;
    uint32_t red, green, blue, alpha;
    uint8_t channelCount, channelBits, isFloat;
};

const DdsFormatRow DdsFormatTable[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0, 0, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0, 0, 0, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0, 0, 0, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0, 0, 0},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000, 0, 0, 0},
    {27, 8, 0xE0, 0x1C, 0x3, 0, 0, 0, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00, 0, 0, 0},
    {30, 16, 0xF00, 0xF0, 0xF, 0, 0, 0, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 0, 0, 0},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0, 0, 0},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0, 0, 0},
    {34, 0, 0, 0, 0, 0, 2, 16, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0, 0, 0},
    {36, 0, 0, 0, 0, 0, 4, 16, 0},
    {81, 0, 0, 0, 0, 0, 1, 16, 0},
    {111, 0, 0, 0, 0, 0, 1, 16, 1},
    {112, 0, 0, 0, 0, 0, 2, 16, 1},
    {113, 0, 0, 0, 0, 0, 4, 16, 1},
    {114, 0, 0, 0, 0, 0, 1, 32, 1},
    {115, 0, 0, 0, 0, 0, 2, 32, 1},
    {116, 0, 0, 0, 0, 0, 4, 32, 1},
    {-1, 0, 0, 0, 0, 0, 0, 0, 0},
};

constexpr uint32_t Dds_FourCC(char a, char b, char c, char d)
{
    return (uint32_t)(uint8_t)a | ((uint32_t)(uint8_t)b << 8) | ((uint32_t)(uint8_t)c << 16) | ((uint32_t)(uint8_t)d << 24);
}

// Offsets of the header words, counted from the end of the magic and the size word.
enum : int {
    DdsFlags = 0, DdsHeight = 4, DdsWidth = 8, DdsPitch = 12, DdsMipCount = 20, DdsPfFlags = 72, DdsFourCC = 76,
    DdsRgbBits = 80, DdsRedMask = 84, DdsGreenMask = 88, DdsBlueMask = 92, DdsAlphaMask = 96, DdsCaps = 100,
    DdsCaps2 = 104, DdsHeaderWords = 120,
};

// Block-compression code and block bytes from the four-character code (0 when none).
int Dds_BlockCode(uint32_t fourCC, const uint8_t* dx10, int* blockBytes)
{
    if (fourCC == Dds_FourCC('D', 'X', '1', '0')) {
        if (dx10 == nullptr) return 0;
        const uint32_t dxgi = ImageLoad_Le32(dx10);
        *blockBytes = 16;
        return dxgi == 98 ? BaseImageFormat_BC7 : dxgi == 99 ? BaseImageFormat_BC7SRGB : 0;
    }
    for (int code = 1; code <= 5; code++) {
        if (fourCC == Dds_FourCC('D', 'X', 'T', (char)('0' + code))) {
            *blockBytes = code == 1 ? 8 : 16;
            return code;
        }
    }
    return 0;
}

int Dds_Decode(const uint8_t* file, uint64_t size, BaseImage* image, int headerOnly)
{
    if (size < 8 || memcmp(file, "DDS", 3) != 0) return -1;
    const uint64_t headerSize = ImageLoad_Le32(file + 4);
    // The header record is 124 bytes (the size word among them); a larger header is read to its
    // end, a smaller one is refused.
    if (headerSize < DdsHeaderWords + 4 || 4 + headerSize > size) return -1;
    const uint8_t* h = file + 8;
    uint64_t dataStart = 4 + headerSize;
    const uint32_t flags = ImageLoad_Le32(h + DdsFlags);
    const int64_t height = (int32_t)ImageLoad_Le32(h + DdsHeight);
    const int64_t width = (int32_t)ImageLoad_Le32(h + DdsWidth);
    const uint32_t pfFlags = ImageLoad_Le32(h + DdsPfFlags);
    const uint32_t fourCC = ImageLoad_Le32(h + DdsFourCC);
    const uint32_t caps = ImageLoad_Le32(h + DdsCaps), caps2 = ImageLoad_Le32(h + DdsCaps2);
    if (width <= 0 || height <= 0) return -1;

    ColorFormatDesc& format = image->format;
    int blockBytes = 0, blockCode = 0;
    bool found = false;
    if (pfFlags == 4) {
        for (const DdsFormatRow* row = DdsFormatTable; row->number != -1; row++) {
            if ((uint32_t)row->number != fourCC) continue;
            BaseImage_ColorFormat_InitFromMasks(&format, row->bits, row->red, row->green, row->blue, row->alpha,
                                                row->channelCount, row->channelBits, row->isFloat);
            found = true;
            break;
        }
    }
    if (!found && (pfFlags & 4) != 0) {
        const uint8_t* dx10 = nullptr;
        if (fourCC == Dds_FourCC('D', 'X', '1', '0')) {
            if (dataStart + 20 > size) return -1;
            dx10 = file + dataStart;
            dataStart += 20;
        }
        blockCode = Dds_BlockCode(fourCC, dx10, &blockBytes);
        found = blockCode != 0;
    }
    if (!found) {
        if ((pfFlags & 0x40) == 0) return -1;
        const uint32_t bits = ImageLoad_Le32(h + DdsRgbBits);
        const uint32_t red = ImageLoad_Le32(h + DdsRedMask), green = ImageLoad_Le32(h + DdsGreenMask);
        if (bits == 8 && red == 0xFF) BaseImage_ColorFormat_InitFromMasks(&format, 0, 0, 0, 0, 0, 1, 8, 0);
        else if (bits == 16 && red == 0xFF00 && green == 0xFF) BaseImage_ColorFormat_InitFromMasks(&format, 0, 0, 0, 0, 0, 2, 8, 0);
        else if (bits == 8 || bits == 16 || bits == 24 || bits == 32)
            BaseImage_ColorFormat_InitFromMasks(&format, (int)bits, red, green, ImageLoad_Le32(h + DdsBlueMask),
                                                ImageLoad_Le32(h + DdsAlphaMask), 0, 0, 0);
        else return -1;
    }
    int mipCount = 0;
    if ((flags & 0x20000) && (caps & 0x8) && (caps & 0x400000)) {
        const uint32_t stated = ImageLoad_Le32(h + DdsMipCount);
        mipCount = stated > 32 ? 32 : (int)stated;   // a chain never has more levels than 32 halvings
    }
    const int faces = (caps2 & 0x200) && (caps2 & 0xFC00) == 0xFC00 ? 6 : 1;
    const int levels = mipCount < 2 ? 1 : mipCount;

    // Bytes of every level of one face, in the layout the format implies.
    int64_t faceSize = 0;
    int64_t rowPitch = 0;
    if (blockCode != 0) {
        BaseImage_ColorFormat_InitFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 0, 0);
        format.formatCode = (uint8_t)blockCode;
        format.bitDepth = blockCode == 1 ? 4 : 8;
        // Levels halve the true size (as the writers of the format and BaseImage_GetDataSize do), so
        // that faces after the first start where the expansion of cube maps looks for them.
        int64_t w = width, hgt = height;
        for (int i = 0; i < levels; i++) {
            faceSize += ((w + 3) / 4) * ((hgt + 3) / 4) * blockBytes;
            if (faceSize > BaseImage_MaxDataSize) return -1;
            w = w > 1 ? w / 2 : 1;
            hgt = hgt > 1 ? hgt / 2 : 1;
        }
    } else {
        const int bytesPerPixel = format.bytesPerPixel;
        if (bytesPerPixel == 0) return -1;
        rowPitch = width * bytesPerPixel;
        const int64_t statedPitch = ImageLoad_Le32(h + DdsPitch);
        if ((flags & 0x8) && levels == 1 && statedPitch > rowPitch) rowPitch = statedPitch;
        int64_t w = width, hgt = height;
        for (int i = 0; i < levels; i++) {
            const int64_t level = ImageLoad_Size(i == 0 ? rowPitch : w * bytesPerPixel, hgt);
            if (level < 0) return -1;
            faceSize += level;
            if (faceSize > BaseImage_MaxDataSize) return -1;
            w = w > 1 ? w / 2 : 1;
            hgt = hgt > 1 ? hgt / 2 : 1;
        }
        if (rowPitch > 0x7FFFFFFF) return -1;
    }
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) return -1;
    const int64_t total = ImageLoad_Size(faceSize, faces);
    if (total < 0) return -1;
    image->width = (int)width;
    image->height = (int)height;
    image->pitch = (int)rowPitch;
    image->mipLevelCount = mipCount;
    image->faceCount = faces == 6 ? 6 : 0;
    if (headerOnly) return 0;
    if (dataStart > size || size - dataStart < (uint64_t)total) return -1;
    image->pixels = ImageLoad_Allocate(total, __LINE__);
    if (image->pixels == nullptr) return -1;
    memcpy(image->pixels, file + dataStart, (size_t)total);
    return 0;
}

}  // namespace

int BaseImage_LoadDds(Stream* stream, BaseImage* image, int headerOnly)
{
    return ImageLoad_DecodeStream(stream, image, headerOnly, Dds_Decode);
}

}  // namespace Vantrel
