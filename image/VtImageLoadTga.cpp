// The TGA loader: colour-mapped and true-colour images, raw or run-length, any orientation, turned
// into top-down rows of X1R5G5B5, RGB24 or ARGB8. The format has no magic number: the header's
// plausibility decides. Stands on base images and the loaders' shared helpers.
#include <cstring>

#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

namespace {

void Tga_SetFormat(int bits, ColorFormatDesc* format)
{
    if (bits == 16) BaseImage_ColorFormat_InitX1R5G5B5(format);
    else if (bits == 24) BaseImage_ColorFormat_InitRGB24(format);
    else BaseImage_ColorFormat_InitARGB8(format);
}

// Run-length packets of `valueBytes`-byte values into `count` values; values past the data read
// stay as they were (zero) and packets past the end are cut.
void Tga_DecodeRle(const uint8_t* data, uint64_t size, int valueBytes, uint8_t* out, uint64_t count)
{
    uint64_t p = 0, written = 0;
    while (written < count && p < size) {
        const uint8_t h = data[p++];
        uint64_t n = (uint64_t)(h & 0x7F) + 1;
        if (n > count - written) n = count - written;
        if (h & 0x80) {
            if (p + valueBytes > size) break;
            for (uint64_t i = 0; i < n; i++) memcpy(out + (written + i) * valueBytes, data + p, valueBytes);
            p += valueBytes;
        } else {
            const uint64_t available = (size - p) / valueBytes;
            const uint64_t take = n < available ? n : available;
            memcpy(out + written * valueBytes, data + p, (size_t)(take * valueBytes));
            p += take * valueBytes;
            if (take < n) break;
        }
        written += n;
    }
}

int Tga_Decode(const uint8_t* file, uint64_t size, BaseImage* image, int headerOnly)
{
    if (size < 18) return -1;
    // A bare footer (no extension area) is not part of the run-length data.
    uint64_t dataEnd = size;
    if (size >= 18 + 26 && memcmp(file + size - 18, "TRUEVISION-XFILE.\0", 18) == 0 &&
        ImageLoad_Le32(file + size - 26) == 0)
        dataEnd = size - 26;
    const int idLength = file[0];
    const int type = file[2];
    const int mapFirst = ImageLoad_Le16(file + 3);
    const int mapLength = ImageLoad_Le16(file + 5);
    const int mapEntryBits = file[7];
    const int width = ImageLoad_Le16(file + 12);
    const int height = ImageLoad_Le16(file + 14);
    const int descriptor = file[17];
    const bool mapped = type == 1 || type == 9;
    if (type != 1 && type != 2 && type != 9 && type != 10) return -1;
    if (ImageLoad_Le16(file + 8) != 0 || ImageLoad_Le16(file + 10) != 0) return -1;
    if (width == 0 || height == 0 || width > 32768 || height > 32768) return -1;
    const int bits = mapped ? mapEntryBits : file[16];
    if (bits != 16 && bits != 24 && bits != 32) return -1;
    const int bytes = bits / 8;
    Tga_SetFormat(bits, &image->format);
    image->width = width;
    image->height = height;
    image->pitch = width * bytes;
    if (headerOnly) return 0;

    const uint64_t pixelCount = (uint64_t)width * height;
    uint64_t p = 18 + (uint64_t)idLength;
    uint8_t map[256 * 4];
    memset(map, 0, sizeof(map));
    if (mapped) {
        // Entries beyond the 256 a byte index can reach are skipped.
        const uint64_t mapBytes = (uint64_t)mapLength * bytes;
        if (p + mapBytes > size) return -1;
        for (int i = 0; i < mapLength; i++)
            if (mapFirst + i < 256) memcpy(map + (mapFirst + i) * bytes, file + p + (uint64_t)i * bytes, bytes);
        p += mapBytes;
    } else if (type == 2 || type == 10) {
        p += (uint64_t)mapLength * ((mapEntryBits + 7) / 8) * (file[1] != 0);
    }
    if (p > size) return -1;
    uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate((int64_t)(pixelCount * bytes), __LINE__));
    if (pixels == nullptr) return -1;
    if (type == 2) {
        if (size - p < pixelCount * bytes) {
            Memory_Free(pixels);
            return -1;
        }
        memcpy(pixels, file + p, (size_t)(pixelCount * bytes));
    } else if (type == 10) {
        memset(pixels, 0, (size_t)(pixelCount * bytes));
        Tga_DecodeRle(file + p, dataEnd > p ? dataEnd - p : 0, bytes, pixels, pixelCount);
    } else {
        uint8_t* indices = static_cast<uint8_t*>(ImageLoad_Allocate((int64_t)pixelCount, __LINE__));
        if (indices == nullptr) {
            Memory_Free(pixels);
            return -1;
        }
        if (type == 1) {
            if (size - p < pixelCount) {
                Memory_Free(indices);
                Memory_Free(pixels);
                return -1;
            }
            memcpy(indices, file + p, (size_t)pixelCount);
        } else {
            memset(indices, 0, (size_t)pixelCount);
            Tga_DecodeRle(file + p, dataEnd > p ? dataEnd - p : 0, 1, indices, pixelCount);
        }
        for (uint64_t i = 0; i < pixelCount; i++) memcpy(pixels + i * bytes, map + indices[i] * bytes, bytes);
        Memory_Free(indices);
    }
    const bool bottomUp = (descriptor & 0x20) == 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    if (bottomUp || rightToLeft) {
        uint8_t* turned = static_cast<uint8_t*>(ImageLoad_Allocate((int64_t)(pixelCount * bytes), __LINE__));
        if (turned == nullptr) {
            Memory_Free(pixels);
            return -1;
        }
        const size_t pitch = (size_t)width * bytes;
        for (int y = 0; y < height; y++) {
            const uint8_t* src = pixels + (size_t)(bottomUp ? height - 1 - y : y) * pitch;
            uint8_t* dst = turned + (size_t)y * pitch;
            if (!rightToLeft) {
                memcpy(dst, src, pitch);
            } else {
                for (int x = 0; x < width; x++) memcpy(dst + (size_t)x * bytes, src + (size_t)(width - 1 - x) * bytes, bytes);
            }
        }
        Memory_Free(pixels);
        pixels = turned;
    }
    image->pixels = pixels;
    return 0;
}

}  // namespace

int BaseImage_LoadTga(Stream* stream, BaseImage* image, int headerOnly)
{
    return ImageLoad_DecodeStream(stream, image, headerOnly, Tga_Decode);
}

}  // namespace Vantrel
