// Image loading: every format loader on files the tests write, the loader chain with its post-load
// steps and the alpha companion file, DIB exchange through GDI, WIC as a second opinion, and
// damaged copies of every format (truncated and byte-flipped, read from a buffer that ends at a
// page without access) that must load cleanly or be refused with nothing left allocated.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../system/LogReading.h"
#include "ImageLoadFixtures.h"
#include "foundation/VtFile.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "image/VtImageLoad.h"

using namespace Vantrel;
using namespace ImageFixtures;

namespace {

// A copy of the bytes that ends exactly where an inaccessible page begins, so that any read past
// the end faults.
class GuardedBytes {
public:
    explicit GuardedBytes(const Bytes& bytes)
    {
        const size_t page = 4096;
        const size_t pages = (bytes.size() + page - 1) / page + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE, PAGE_NOACCESS));
        VirtualAlloc(base_, pages * page, MEM_COMMIT, PAGE_READWRITE);
        data_ = base_ + pages * page - bytes.size();
        if (!bytes.empty()) memcpy(data_, bytes.data(), bytes.size());
        size_ = bytes.size();
    }
    ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    uint8_t* base_;
    uint8_t* data_;
    size_t size_;
};

BaseImageLoadSettings Settings()
{
    BaseImageLoadSettings s;
    BaseImage_InitLoadSettings(&s, 0);
    return s;
}

int LoadMemory(const Bytes& bytes, BaseImage* out, const BaseImageLoadSettings& settings = Settings())
{
    GuardedBytes guarded(bytes);
    return BaseImage_LoadImageOrDIB(&settings, nullptr, guarded.data(), (int)guarded.size(), 1, 0, 0, 0, out, nullptr,
                                    nullptr);
}

// One loader alone over a memory stream.
int LoadWith(ImageLoaderProc loader, const Bytes& bytes, BaseImage* out, int headerOnly = 0)
{
    GuardedBytes guarded(bytes);
    Stream stream = {*File_GetMemStreamOps(), File_MemStream_Open(guarded.data(), (uint32_t)guarded.size())};
    memset(out, 0, sizeof(*out));
    const int result = loader(&stream, out, headerOnly);
    stream.ops.Close(stream.data);
    return result;
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// Bytes of a top-down row-major 24-bit image (B, G, R) with padding to 4.
Bytes Rows24(const std::vector<uint32_t>& pixels, int width, int height, bool bottomUp)
{
    Bytes data;
    const int pitch = (width * 3 + 3) / 4 * 4;
    for (int row = 0; row < height; row++) {
        const int y = bottomUp ? height - 1 - row : row;
        for (int x = 0; x < width; x++) {
            const uint32_t p = pixels[(size_t)y * width + x];
            data.push_back((uint8_t)p), data.push_back((uint8_t)(p >> 8)), data.push_back((uint8_t)(p >> 16));
        }
        data.resize(data.size() + (pitch - width * 3));
    }
    return data;
}

// A "VBIM" dump: the header, the five leading format bytes, the rest of the descriptor as given, then
// the pixel data.
Bytes Vbim(int w, int h, int pitch, const uint8_t lead[5], const Bytes& rest, const Bytes& data)
{
    Bytes b = {'V', 'B', 'I', 'M'};
    Put32(b, (uint32_t)w), Put32(b, (uint32_t)h), Put32(b, (uint32_t)pitch), Put32(b, 0), Put32(b, 0);
    const uint32_t offset = 36 + 5 + (uint32_t)rest.size();
    Put32(b, offset), Put32(b, (uint32_t)data.size()), Put32(b, 0);
    b.insert(b.end(), lead, lead + 5);
    Append(b, rest);
    Append(b, data);
    return b;
}

// The descriptor bytes 41 to 71 (and the palette for depths of 8 bits or less) of a mask format.
Bytes VbimMaskFields(const ColorFormatDesc& f)
{
    Bytes rest = {f.bitDepth, f.unusedShift, f.unusedWidth, f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth,
                  f.redShift, f.greenShift, f.blueShift, f.alphaShift};
    Put32(rest, f.redMask), Put32(rest, f.greenMask), Put32(rest, f.blueMask), Put32(rest, f.alphaMask);
    Put32(rest, f.unusedMask);
    if (f.bitDepth <= 8) {
        Put32(rest, f.maxPaletteIndex);
        for (uint32_t i = 0; i < (1u << f.bitDepth); i++) Put32(rest, f.palette[i]);
    }
    return rest;
}

std::vector<uint32_t> TestColors(int count)
{
    std::vector<uint32_t> out;
    for (int i = 0; i < count; i++) out.push_back(Argb(255, (i * 37 + 11) & 255, (i * 91 + 5) & 255, (i * 53 + 200) & 255));
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// BMP
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadBmpTest, UncompressedBitCountsDecodeToTheirPixels)
{
    const int w = 3, h = 2;
    const std::vector<uint32_t> px = TestColors(w * h);
    BaseImage image;
    // 24 bits, bottom-up: pitch 12, first output row is the last stored row.
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(w, h, 24, BI_RGB, {}, Rows24(px, w, h, true)), &image));
    EXPECT_EQ(12, image.pitch);
    EXPECT_EQ(24, image.format.bitDepth);
    EXPECT_EQ(px, ToARGB(image));
    BaseImage_Release(&image);

    // 32 bits top-down keeps the fourth bytes as alpha; all-zero fourth bytes load opaque.
    Bytes data32;
    for (int i = 0; i < w * h; i++) Put32(data32, (px[i] & 0xFFFFFF) | (uint32_t)(i * 40) << 24);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(w, -h, 32, BI_RGB, {}, data32), &image));
    EXPECT_EQ(0xFF000000u, image.format.alphaMask);
    for (int i = 0; i < w * h; i++) EXPECT_EQ((px[i] & 0xFFFFFF) | (uint32_t)(i * 40) << 24, ToARGB(image)[i]);
    BaseImage_Release(&image);
    Bytes opaque;
    for (int i = 0; i < w * h; i++) Put32(opaque, px[i] & 0xFFFFFF);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(w, -h, 32, BI_RGB, {}, opaque), &image));
    EXPECT_EQ(0u, image.format.alphaWidth);
    EXPECT_EQ(px, ToARGB(image));
    BaseImage_Release(&image);

    // 16 bits: X1R5G5B5 without GDI.
    Bytes data16;
    for (int i = 0; i < 4; i++) Put16(data16, 0x7C00 >> (5 * (i % 3)) | 0x8000);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(4, -1, 16, BI_RGB, {}, data16), &image));
    EXPECT_EQ(0x7C00u, image.format.redMask);
    EXPECT_EQ(0x8000u, image.format.unusedMask);
    EXPECT_EQ((std::vector<uint32_t>{0xFFF80000, 0xFF00F800, 0xFF0000F8, 0xFFF80000}), ToARGB(image));   // 5-bit channels read as their top bits
    BaseImage_Release(&image);
}

TEST(ImageLoadBmpTest, PaletteBitCountsUnpackToIndices)
{
    BaseImage image;
    // 1 bit, width 10: pitch 12, maxPaletteIndex 1, most significant bit first.
    Bytes one = {0xA5, 0x40, 0, 0, 0x00, 0x80, 0, 0};   // bottom-up: stored row 0 is the bottom row
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(10, 2, 1, BI_RGB, {0x000000, 0xFFFFFF}, one), &image));
    EXPECT_EQ(12, image.pitch);
    EXPECT_EQ(1u, image.format.maxPaletteIndex);
    const uint8_t* p = static_cast<uint8_t*>(image.pixels);
    const uint8_t top[10] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    const uint8_t bottom[10] = {1, 0, 1, 0, 0, 1, 0, 1, 0, 1};
    EXPECT_EQ(0, memcmp(top, p, 10));
    EXPECT_EQ(0, memcmp(bottom, p + 12, 10));
    EXPECT_EQ(0xFFFFFFu, image.format.palette[1]);
    BaseImage_Release(&image);

    // 4 bits: 16 entries, high nibble first; 8 bits: the indices and the file's row size.
    std::vector<uint32_t> table16(16);
    for (int i = 0; i < 16; i++) table16[i] = (uint32_t)i * 0x111111;
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(3, -1, 4, BI_RGB, table16, {0x1F, 0x70, 0, 0}), &image));
    EXPECT_EQ(15u, image.format.maxPaletteIndex);
    EXPECT_EQ(1, static_cast<uint8_t*>(image.pixels)[0]);
    EXPECT_EQ(15, static_cast<uint8_t*>(image.pixels)[1]);
    EXPECT_EQ(7, static_cast<uint8_t*>(image.pixels)[2]);
    BaseImage_Release(&image);
    std::vector<uint32_t> table256(256, 0x102030);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(5, -1, 8, BI_RGB, table256, {9, 8, 7, 6, 255, 0, 0, 0}), &image));
    EXPECT_EQ(8, image.pitch);
    EXPECT_EQ(255u, image.format.maxPaletteIndex);
    EXPECT_EQ(255, static_cast<uint8_t*>(image.pixels)[4]);
    BaseImage_Release(&image);
}

TEST(ImageLoadBmpTest, RunLengthEscapesDeltasAndLiteralPadding)
{
    std::vector<uint32_t> table256(256, 0);
    BaseImage image;
    // RLE8, 6 x 3 bottom-up: run of 2 x 5, delta (3, 1), literal of 3 (one pad byte), end.
    const Bytes rle8 = {2, 5, 0, 2, 3, 1, 0, 3, 7, 8, 9, 0, 0, 0, 1, 4, 0, 1};
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(6, 3, 8, BI_RLE8, table256, rle8), &image));
    const uint8_t* p = static_cast<uint8_t*>(image.pixels);
    const int pitch = image.pitch;
    const uint8_t bottom[6] = {5, 5, 0, 0, 0, 0}, middle[6] = {0, 0, 0, 0, 0, 7}, top[6] = {4, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(bottom, p + 2 * pitch, 6));
    EXPECT_EQ(0, memcmp(middle, p + 1 * pitch, 6));   // 8 and 9 fall past the row's end
    EXPECT_EQ(0, memcmp(top, p, 6));
    BaseImage_Release(&image);

    // RLE4 top-down: literal of 5 nibbles (3 bytes + pad), literal of 3 (2 bytes, no pad), run.
    std::vector<uint32_t> table16(16, 0);
    const Bytes rle4 = {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 3, 0x67, 0x80, 4, 0x9A, 0, 1};
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(8, -2, 4, BI_RLE4, table16, rle4), &image));
    p = static_cast<uint8_t*>(image.pixels);
    const uint8_t row0[8] = {1, 2, 3, 4, 5, 0, 0, 0}, row1[8] = {6, 7, 8, 9, 10, 9, 10, 0};
    EXPECT_EQ(0, memcmp(row0, p, 8));
    EXPECT_EQ(0, memcmp(row1, p + image.pitch, 8));
    BaseImage_Release(&image);
}

TEST(ImageLoadBmpTest, BitFieldMasksAndGdiRedraws)
{
    BaseImage image;
    // 565 masks in 16 bits; the same masks in 32-bit pixels keep 4 bytes per pixel.
    Bytes d16;
    Put16(d16, 0xF800), Put16(d16, 0x07E0);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(2, -1, 16, BI_BITFIELDS, {0xF800, 0x7E0, 0x1F}, d16), &image));
    EXPECT_EQ(2, image.format.bytesPerPixel);
    EXPECT_EQ((std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00}), ToARGB(image));
    BaseImage_Release(&image);
    Bytes d32;
    Put32(d32, 0xF800), Put32(d32, 0x001F);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(2, -1, 32, BI_BITFIELDS, {0xF800, 0x7E0, 0x1F}, d32), &image));
    EXPECT_EQ(4, image.format.bytesPerPixel);
    EXPECT_EQ((std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}), ToARGB(image));
    BaseImage_Release(&image);
    // 0xFF000000 / 0xFF0000 / 0xFF00 in 32 bits: the low byte is unused.
    Bytes dr;
    Put32(dr, 0x112233AA);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(1, -1, 32, BI_BITFIELDS, {0xFF000000, 0xFF0000, 0xFF00}, dr), &image));
    EXPECT_EQ(0xFFu, image.format.unusedMask);
    EXPECT_EQ(0xFF112233u, ToARGB(image)[0]);
    BaseImage_Release(&image);

    // Masks the fast paths do not know go through GDI into RGB24 (4-bit channels widen).
    Bytes d444;
    Put16(d444, 0x0F00), Put16(d444, 0x00F0), Put16(d444, 0x000F), Put16(d444, 0);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadBmp, Bmp(3, -1, 16, BI_BITFIELDS, {0x0F00, 0x00F0, 0x000F}, d444), &image));
    EXPECT_EQ(24, image.format.bitDepth);
    EXPECT_EQ(12, image.pitch);
    EXPECT_EQ((std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF}), ToARGB(image));
    BaseImage_Release(&image);
    // 32-bit masks in a 16-bit file are never read as 4-byte pixels.
    if (LoadWith(BaseImage_LoadBmp, Bmp(2, -1, 16, BI_BITFIELDS, {0xFF0000, 0xFF00, 0xFF}, d16), &image) == 0) {
        EXPECT_EQ(3, image.format.bytesPerPixel);
        BaseImage_Release(&image);
    }
    // 2 bits per pixel is no bit count of the fast paths: GDI redraws it where it can (Wine's GDI
    // cannot, and then the failed draw refuses the file instead of handing out an empty image).
    if (LoadWith(BaseImage_LoadBmp, Bmp(4, -1, 2, BI_RGB, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}, {0x1B, 0, 0, 0}), &image) == 0) {
        EXPECT_EQ(24, image.format.bitDepth);
        EXPECT_EQ((std::vector<uint32_t>{0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF}), ToARGB(image));
        BaseImage_Release(&image);
    } else {
        EXPECT_EQ(nullptr, image.pixels);
    }
}

TEST(ImageLoadBmpTest, RefusalsLeaveNothingAllocated)
{
    const int32_t blocks = Memory_GetBlockCount();
    BaseImage image;
    const Bytes good = Bmp(3, 2, 24, BI_RGB, {}, Rows24(TestColors(6), 3, 2, true));
    Bytes wrongMagic = good;
    wrongMagic[0] = 'X';
    Bytes zeroBits = good;
    zeroBits[28] = 0;
    Bytes shortRows(good.begin(), good.end() - 1);
    Bytes hugeWidth = good;
    hugeWidth[18] = 0xFF, hugeWidth[19] = 0xFF, hugeWidth[20] = 0xFF, hugeWidth[21] = 0x7F;
    Bytes offsetPastEnd = good;
    offsetPastEnd[12] = 0x10;
    for (const Bytes* b : {&wrongMagic, &zeroBits, &shortRows, &hugeWidth, &offsetPastEnd}) {
        EXPECT_EQ(-1, LoadWith(BaseImage_LoadBmp, *b, &image));
        EXPECT_EQ(nullptr, image.pixels);
    }
    EXPECT_EQ(blocks, Memory_GetBlockCount());
}

// ---------------------------------------------------------------------------------------------
// DIB exchange
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadDibTest, ConvertFromAndToDib)
{
    struct {
        BITMAPINFOHEADER header;
        uint32_t masks[3];
    } info = {};
    info.header.biSize = 40;
    info.header.biWidth = 5;
    info.header.biHeight = -2;
    info.header.biPlanes = 1;
    info.header.biBitCount = 24;
    const std::vector<uint32_t> px = TestColors(10);
    Bytes bits = Rows24(px, 5, 2, false);
    BaseImage image;
    // Top-down 24 bits: borrowed, pitch 16, result the copy flag.
    EXPECT_EQ(0, BaseImage_ConvertFromDIB(reinterpret_cast<BITMAPINFO*>(&info), bits.data(), &image, 0));
    EXPECT_EQ(bits.data(), image.pixels);
    EXPECT_EQ(16, image.pitch);
    EXPECT_EQ(px, ToARGB(image));
    EXPECT_EQ(1, BaseImage_ConvertFromDIB(reinterpret_cast<BITMAPINFO*>(&info), bits.data(), &image, 1));
    EXPECT_NE(bits.data(), image.pixels);
    EXPECT_EQ(px, ToARGB(image));
    BaseImage_Release(&image);
    // Bottom-up: redrawn by GDI, result 1, rows turned the right way up.
    info.header.biHeight = 2;
    Bytes bottomUp = Rows24(px, 5, 2, true);
    ASSERT_EQ(1, BaseImage_ConvertFromDIB(reinterpret_cast<BITMAPINFO*>(&info), bottomUp.data(), &image, 0));
    EXPECT_EQ(px, ToARGB(image));
    BaseImage_Release(&image);
    // Top-down 32 bits without bit fields: taken as XRGB8 in its own row order.
    info.header.biHeight = -2;
    info.header.biBitCount = 32;
    Bytes bits32;
    for (uint32_t p : px) Put32(bits32, p & 0xFFFFFF);
    ASSERT_EQ(0, BaseImage_ConvertFromDIB(reinterpret_cast<BITMAPINFO*>(&info), bits32.data(), &image, 0));
    EXPECT_EQ(px, ToARGB(image));

    // ARGB8 of width 5 to a 24-bit DIB: a new buffer of row size 16.
    BaseImage argb = {};
    ASSERT_EQ(0, BaseImage_CreateARGB8(5, 2, &argb));
    BaseImage_BltWhole(0, 0, &image, &argb);
    std::vector<uint8_t> out(sizeof(BITMAPINFOHEADER) + 1024);
    void* dibBits = nullptr;
    ASSERT_EQ(1, BaseImage_ConvertToDIB(&argb, reinterpret_cast<BITMAPINFO*>(out.data()), &dibBits, 0, 0));
    const BITMAPINFOHEADER* h = reinterpret_cast<BITMAPINFOHEADER*>(out.data());
    EXPECT_EQ(24, h->biBitCount);
    EXPECT_EQ(-2, h->biHeight);
    EXPECT_EQ(0, memcmp(dibBits, Rows24(px, 5, 2, false).data(), 32));
    Memory_Free(dibBits);
    BaseImage_Release(&argb);
}

TEST(ImageLoadDibTest, SectionsFromDibsAndLoadedFiles)
{
    // An 8-bit DIB makes an 8-bit section with its colour table; a 32-bit one a 24-bit section.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info = {};
    info.header = {40, 4, -1, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    info.colors[3] = {0x30, 0x20, 0x10, 0};
    const uint8_t indices[4] = {3, 0, 3, 0};
    HBITMAP section = CreateDIBGraph(reinterpret_cast<BITMAPINFO*>(&info), indices, 0, nullptr);
    ASSERT_NE(nullptr, section);
    DIBSECTION ds = {};
    GetObjectA(section, sizeof(ds), &ds);
    EXPECT_EQ(8, ds.dsBm.bmBitsPixel);
    EXPECT_EQ(3, static_cast<uint8_t*>(ds.dsBm.bmBits)[0]);
    DeleteObject(section);
    info.header.biBitCount = 32;
    const uint32_t pixels[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00102030};
    section = CreateDIBGraph(reinterpret_cast<BITMAPINFO*>(&info), pixels, 0, nullptr);
    ASSERT_NE(nullptr, section);
    GetObjectA(section, sizeof(ds), &ds);
    EXPECT_EQ(24, ds.dsBm.bmBitsPixel);
    EXPECT_EQ(0xFF, static_cast<uint8_t*>(ds.dsBm.bmBits)[2]);   // red of the first pixel
    DeleteObject(section);

    // A loaded 8-bit BMP whose rows are a multiple of 4 hands its own buffer over as the DIB bits.
    std::vector<uint32_t> table(256, 0);
    const Bytes bmp = Bmp(4, -2, 8, BI_RGB, table, {1, 2, 3, 4, 5, 6, 7, 8});
    const BaseImageLoadSettings settings = Settings();
    BITMAPINFO* dibInfo = nullptr;
    void* dibBits = nullptr;
    const int32_t blocks = Memory_GetBlockCount();
    ASSERT_EQ(0, BaseImage_LoadImageOrDIB(&settings, nullptr, bmp.data(), (int)bmp.size(), 1, 1, 0, 0, nullptr, &dibInfo,
                                          &dibBits));
    EXPECT_EQ(8, dibInfo->bmiHeader.biBitCount);
    EXPECT_EQ(5, static_cast<uint8_t*>(dibBits)[4]);
    EXPECT_EQ(blocks + 2, Memory_GetBlockCount());
    Memory_Free(dibInfo);
    Memory_Free(dibBits);
    section = BaseImage_LoadDIBGraph(nullptr, bmp.data(), (int)bmp.size(), 1, 0, nullptr);
    ASSERT_NE(nullptr, section);
    DeleteObject(section);
    EXPECT_EQ(blocks, Memory_GetBlockCount());
}

// ---------------------------------------------------------------------------------------------
// TGA, DDS, raw
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadTgaTest, OrientationsColourMapsAndRunLengths)
{
    // 2 x 2, 24 bits, stored rows: (A B) (C D).
    const Bytes stored = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    struct Case {
        int descriptor;
        uint8_t first[4];   // first byte of each output pixel, top-down
    } cases[] = {{0x00, {3, 4, 1, 2}}, {0x20, {1, 2, 3, 4}}, {0x30, {2, 1, 4, 3}}, {0x10, {4, 3, 2, 1}}};
    BaseImage image;
    for (const Case& c : cases) {
        ASSERT_EQ(0, LoadWith(BaseImage_LoadTga, Tga(2, 2, 2, 24, c.descriptor, {}, 0, 0, 0, stored, false), &image));
        const uint8_t* p = static_cast<uint8_t*>(image.pixels);
        for (int i = 0; i < 4; i++) EXPECT_EQ(c.first[i], p[i * 3]) << c.descriptor;
        EXPECT_EQ(6, image.pitch);
        BaseImage_Release(&image);
    }
    // Colour map from first index 10, length 5: index 9 is black, 12 the third entry.
    Bytes map;
    for (int i = 0; i < 5; i++) Put16(map, 0x1F << (i % 3 * 5));
    ASSERT_EQ(0, LoadWith(BaseImage_LoadTga, Tga(1, 2, 1, 8, 0x20, map, 10, 5, 16, {9, 12}, false), &image));
    EXPECT_EQ((std::vector<uint32_t>{0xFF000000, 0xFFF80000}), ToARGB(image));
    BaseImage_Release(&image);
    // Run-length true colour (32 bits) ending at the file's last byte, and with a footer.
    const Bytes packets = {0x81, 10, 20, 30, 40, 0x01, 1, 2, 3, 4, 5, 6, 7, 8};
    for (bool footer : {false, true}) {
        ASSERT_EQ(0, LoadWith(BaseImage_LoadTga, Tga(10, 4, 1, 32, 0x20, {}, 0, 0, 0, packets, footer), &image));
        EXPECT_EQ((std::vector<uint32_t>{0x281E140A, 0x281E140A, 0x04030201, 0x08070605}), ToARGB(image));
        BaseImage_Release(&image);
    }
    // Run-length colour-mapped, 16-bit pixels.
    ASSERT_EQ(0, LoadWith(BaseImage_LoadTga, Tga(9, 3, 1, 8, 0x20, map, 0, 5, 16, {0x82, 1}, false), &image));
    EXPECT_EQ((std::vector<uint32_t>{0xFF00F800, 0xFF00F800, 0xFF00F800}), ToARGB(image));
    BaseImage_Release(&image);
    // Refused: x origin, grey type 3, 8-bit true colour, width above 32768.
    Bytes origin = Tga(2, 2, 2, 24, 0, {}, 0, 0, 0, stored, false);
    origin[8] = 1;
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadTga, origin, &image));
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadTga, Tga(3, 2, 2, 8, 0, {}, 0, 0, 0, stored, false), &image));
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadTga, Tga(2, 2, 2, 8, 0, {}, 0, 0, 0, stored, false), &image));
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadTga, Tga(2, 32769, 1, 24, 0, {}, 0, 0, 0, stored, false), &image));
}

TEST(ImageLoadDdsTest, BlockCompressedMipsCubesAndPlainFormats)
{
    BaseImage image;
    // DXT1 10 x 10, no mips: 3 x 3 blocks of 8 bytes.
    Bytes dxt1(72);
    for (size_t i = 0; i < dxt1.size(); i++) dxt1[i] = (uint8_t)i;
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(10, 10, 4, FourCC("DXT1"), 0, nullptr, 0, false, dxt1), &image));
    EXPECT_EQ(1, image.format.formatCode);
    EXPECT_EQ(4, image.format.bitDepth);
    EXPECT_EQ(0, image.pitch);
    EXPECT_EQ(0, memcmp(dxt1.data(), image.pixels, 72));
    // A solid-colour DXT1 block expands to that colour.
    BaseImage_Release(&image);
    Bytes solid;
    for (int b = 0; b < 1; b++) Put16(solid, 0xF800), Put16(solid, 0xF800), Put32(solid, 0);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(4, 4, 4, FourCC("DXT1"), 0, nullptr, 0, false, solid), &image));
    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
    EXPECT_EQ(std::vector<uint32_t>(16, 0xFFFF0000), ToARGB(image));
    BaseImage_Release(&image);
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadDds, Dds(10, 10, 4, FourCC("DXT1"), 0, nullptr, 0, false, Bytes(71)), &image));

    // DXT5 cube map, 16 x 16, 3 levels: 6 x (256 + 64 + 16) bytes.
    Bytes cube(6 * 336, 0x5A);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(16, 16, 4, FourCC("DXT5"), 0, nullptr, 3, true, cube), &image));
    EXPECT_EQ(6, image.faceCount);
    EXPECT_EQ(3, image.mipLevelCount);
    EXPECT_EQ(5, image.format.formatCode);
    EXPECT_EQ(336, BaseImage_GetDataSize(&image));
    BaseImage_Release(&image);
    // BC7 through the DX10 extension.
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(4, 4, 4, FourCC("DX10"), 0, nullptr, 0, false, Bytes(16), 98), &image));
    EXPECT_EQ(6, image.format.formatCode);
    BaseImage_Release(&image);

    // Format number 116: four float channels; a mip chain of plain pixels has the implied pitches.
    Bytes floats(2 * 2 * 16 + 16);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(2, 2, 4, 116, 0, nullptr, 2, false, floats), &image));
    EXPECT_EQ(16, image.format.bytesPerPixel);
    EXPECT_EQ(1, image.format.isFloat);
    EXPECT_EQ(32, image.pitch);
    EXPECT_EQ(2, image.mipLevelCount);
    BaseImage_Release(&image);
    // RGB masks: A8R8G8B8 by masks.
    const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    Bytes argb;
    Put32(argb, 0x80112233);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDds, Dds(1, 1, 0x41, 0, 32, masks, 0, false, argb), &image));
    EXPECT_EQ(0x80112233u, ToARGB(image)[0]);
    BaseImage_Release(&image);
    // Sizes whose products wrap 32 bits, and an unknown code, are refused.
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadDds, Dds(65536, 65536, 4, 116, 0, nullptr, 0, false, Bytes(64)), &image));
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadDds, Dds(0x40000000, 4, 4, FourCC("DXT5"), 0, nullptr, 0, false, Bytes(64)), &image));
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadDds, Dds(4, 4, 4, FourCC("ATI2"), 0, nullptr, 0, false, Bytes(16)), &image));
}

TEST(ImageLoadRawTest, BgraChannelSizesAndBaseImageDumps)
{
    BaseImage image;
    Bytes raw8 = {'B', 'G', 'R', 'A'}, raw16 = {'B', 'G', 'R', 'A'};
    Put32(raw8, 0x08080808), Put32(raw8, 2), Put32(raw8, 2);
    Put32(raw16, 0x10101010), Put32(raw16, 2), Put32(raw16, 2);
    for (int i = 0; i < 16; i++) raw8.push_back((uint8_t)(i * 15)), raw16.push_back((uint8_t)(i * 7)), raw16.push_back((uint8_t)(i * 15));
    EXPECT_EQ(32u, raw8.size());
    ASSERT_EQ(0, LoadWith(BaseImage_LoadRawBGRA, raw8, &image));
    const std::vector<uint32_t> from8 = ToARGB(image);
    EXPECT_EQ(0x2D1E0F00u, from8[0]);
    BaseImage_Release(&image);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadRawBGRA, raw16, &image));
    EXPECT_EQ(from8, ToARGB(image));
    BaseImage_Release(&image);
    Bytes badCode = raw8;
    badCode[4] = 7;
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadRawBGRA, badCode, &image));

    // A dump of a DXT1 image stores the five leading format bytes; one of a palette image its palette.
    auto dump = Vbim;
    const uint8_t dxt1Lead[5] = {1, 0, 0, 0, 4};
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDump, dump(4, 4, 0, dxt1Lead, {}, Bytes(8, 0x33)), &image));
    EXPECT_EQ(1, image.format.formatCode);
    EXPECT_EQ(0u, image.format.redMask);
    BaseImage_Release(&image);
    ColorFormatDesc pal;
    BaseImage_ColorFormat_InitPal8(&pal);
    pal.palette[1] = 0x00ABCDEF;
    Bytes rest = {pal.bitDepth, pal.unusedShift, pal.unusedWidth, pal.redWidth, pal.greenWidth, pal.blueWidth, pal.alphaWidth,
                  pal.redShift, pal.greenShift, pal.blueShift, pal.alphaShift};
    Put32(rest, pal.redMask), Put32(rest, pal.greenMask), Put32(rest, pal.blueMask), Put32(rest, pal.alphaMask);
    Put32(rest, pal.unusedMask), Put32(rest, 1);
    for (uint32_t c : pal.palette) Put32(rest, c);
    const uint8_t palLead[5] = {0, 0, 0, 0, 1};
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDump, dump(2, 1, 4, palLead, rest, {1, 0, 0, 0}), &image));
    EXPECT_EQ((std::vector<uint32_t>{0xFFABCDEF, pal.palette[0] | 0xFF000000}), ToARGB(image));
    BaseImage_Release(&image);
    // Data that does not cover the stated image is refused.
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadDump, dump(8, 8, 0, dxt1Lead, {}, Bytes(8)), &image));
}

TEST(ImageLoadRawTest, DumpDescriptorsThatDoNotMatchTheirPixelsAreRefused)
{
    const std::string DamagedDumpLine(reinterpret_cast<const char*>(u8"VBIM ファイルの画像の情報が壊れています"));
    // A 2 x 2 image of four 32-bit float channels loads and converts.
    const float values[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    Bytes floats;
    for (int i = 0; i < 4; i++) floats.insert(floats.end(), (const uint8_t*)values, (const uint8_t*)values + 16);
    const uint8_t floatLead[5] = {0, 4, 32, 1, 16};
    BaseImage image;
    ASSERT_EQ(0, LoadWith(BaseImage_LoadDump, Vbim(2, 2, 32, floatLead, {}, floats), &image));
    EXPECT_EQ(0xFFFF7F00u, ToARGB(image)[3]);
    BaseImage_Release(&image);

    // The same pixels under descriptors whose pixel size or masks do not fit them: each refused with a
    // log line, before any pixel is read.
    ColorFormatDesc argb;
    BaseImage_ColorFormat_InitARGB8(&argb);
    ColorFormatDesc alphaOutside = argb, deepPixel = argb, shallow = argb;
    alphaOutside.bytesPerPixel = 2;   // the masks of four bytes on two-byte pixels
    deepPixel.bytesPerPixel = 9;
    shallow.bitDepth = 0;
    struct Case {
        const char* Name;
        uint8_t Lead[5];
        const ColorFormatDesc* Mask;
    };
    const Case cases[] = {
        {"float channels on one-byte pixels", {0, 4, 32, 1, 1}, nullptr},
        {"float channels of eight bits", {0, 4, 8, 1, 4}, nullptr},
        {"five channels", {0, 5, 8, 0, 5}, nullptr},
        {"channels of 12 bits", {0, 2, 12, 0, 3}, nullptr},
        {"compressed data with channels", {1, 4, 8, 0, 4}, nullptr},
        {"masks beyond the pixel", {0, 0, 0, 0, 2}, &alphaOutside},
        {"pixels of nine bytes", {0, 0, 0, 0, 9}, &deepPixel},
        {"no bit depth", {0, 0, 0, 0, 4}, &shallow},
    };
    for (const Case& c : cases) {
        const Bytes rest = c.Mask != nullptr ? VbimMaskFields(*c.Mask) : Bytes();
        const size_t before = LogReading::ReadLog().size();
        EXPECT_EQ(-1, LoadWith(BaseImage_LoadDump, Vbim(2, 2, 32, c.Lead, rest, floats), &image)) << c.Name;
        EXPECT_NE(std::string::npos, LogReading::ReadLog().find(DamagedDumpLine, before)) << c.Name;
        EXPECT_EQ(nullptr, image.pixels) << c.Name;
    }
}

// ---------------------------------------------------------------------------------------------
// PNG
// ---------------------------------------------------------------------------------------------

namespace {

// Samples of every channel from a simple pattern within the bit depth's range.
PngSpec MakePng(int colorType, int depth, int width, int height, bool trns, uint32_t seed)
{
    PngSpec s;
    s.width = width, s.height = height, s.bitDepth = depth, s.colorType = colorType;
    std::mt19937 random(seed);
    const int ch = PngChannels(colorType);
    const uint32_t range = colorType == 3 ? std::min(1u << depth, 5u) : 1u << depth;
    for (int i = 0; i < width * height * ch; i++) s.samples.push_back((uint16_t)(random() % range));
    if (colorType == 3) {
        for (int i = 0; i < 5 * 3; i++) s.palette.push_back((uint8_t)(i * 17 + 3));
        if (trns) s.trns = {0, 128, 255};
    } else if (trns && colorType == 0) {
        Put16(s.trns, 0), s.trns = {0, 0};   // grey level 0 transparent
    } else if (trns && colorType == 2) {
        s.trns = {0, 0, 0, 0, 0, 0};
        s.samples[0] = s.samples[1] = s.samples[2] = 0;   // at least one keyed pixel
    }
    return s;
}

// What the loaders must give, as 0xAARRGGBB.
std::vector<uint32_t> PngExpected(const PngSpec& s)
{
    std::vector<uint32_t> out;
    const int ch = PngChannels(s.colorType);
    auto high = [&](uint16_t v) -> uint32_t { return s.bitDepth == 16 ? v >> 8 : v; };
    auto widen = [&](uint16_t v) -> uint32_t { return s.bitDepth >= 8 ? high(v) : v * (255 / ((1 << s.bitDepth) - 1)); };
    for (int i = 0; i < s.width * s.height; i++) {
        const uint16_t* v = &s.samples[(size_t)i * ch];
        uint32_t r, g, b, a = 255;
        if (s.colorType == 0 || s.colorType == 4) {
            r = g = b = widen(v[0]);
            if (s.colorType == 4) a = high(v[1]);
            if (s.colorType == 0 && !s.trns.empty() && high(v[0]) == 0) a = 0;   // the key's high byte at 16 bits
        } else if (s.colorType == 3) {
            r = s.palette[v[0] * 3], g = s.palette[v[0] * 3 + 1], b = s.palette[v[0] * 3 + 2];
            if (!s.trns.empty()) a = v[0] < s.trns.size() ? s.trns[v[0]] : 255;
        } else {
            r = high(v[0]), g = high(v[1]), b = high(v[2]);
            if (s.colorType == 6) a = high(v[3]);
            if (s.colorType == 2 && !s.trns.empty() && high(v[0]) == 0 && high(v[1]) == 0 && high(v[2]) == 0) a = 0;
        }
        out.push_back(a << 24 | r << 16 | g << 8 | b);
    }
    return out;
}

struct PngCase {
    int colorType, depth;
    bool trns;
};
const PngCase PngCases[] = {
    {0, 1, false}, {0, 2, false}, {0, 4, false}, {0, 8, false}, {0, 16, false}, {0, 8, true}, {0, 16, true},
    {0, 2, true},  {2, 8, false}, {2, 16, false}, {2, 8, true}, {2, 16, true}, {3, 1, false}, {3, 2, false},
    {3, 4, false}, {3, 8, false}, {3, 8, true},  {3, 2, true},  {4, 8, false}, {4, 16, false}, {6, 8, false},
    {6, 16, false},
};

}  // namespace

TEST(ImageLoadPngTest, OwnDecoderEveryColourTypeDepthAndFilter)
{
    for (const PngCase& c : PngCases) {
        for (int width : {1, 5, 13}) {
            const PngSpec spec = MakePng(c.colorType, c.depth, width, 7, c.trns, (uint32_t)(width * 100 + c.depth));
            BaseImage image;
            ASSERT_EQ(0, LoadWith(BaseImage_LoadPngOwn, Png(spec, width), &image))
                << "type " << c.colorType << " depth " << c.depth << " width " << width;
            EXPECT_EQ(PngExpected(spec), ToARGB(image)) << "type " << c.colorType << " depth " << c.depth << " width " << width;
            EXPECT_EQ(image.width * image.format.bytesPerPixel, image.pitch);
            if (c.colorType == 3) {
                EXPECT_EQ(4u, image.format.maxPaletteIndex);
                EXPECT_EQ(c.trns ? 255u : 0u, image.format.palette[3] >> 24);
                EXPECT_EQ(c.trns ? 255u : 0u, image.format.palette[200] >> 24);
            }
            BaseImage_Release(&image);
        }
    }
}

TEST(ImageLoadPngTest, ChunkLayoutsRefusalsAndTheLibPngRow)
{
    BaseImage image;
    // Image data in many IDAT chunks with other chunks between them.
    PngSpec spec = MakePng(6, 8, 31, 17, false, 7);
    spec.idatPieces = 9;
    ASSERT_EQ(0, LoadWith(BaseImage_LoadPngOwn, Png(spec), &image));
    EXPECT_EQ(PngExpected(spec), ToARGB(image));
    BaseImage_Release(&image);
    // Widening: 1-bit grey 0 and 1 give 0 and 255, a 4-bit 7 gives 119.
    PngSpec grey = MakePng(0, 4, 2, 1, false, 1);
    grey.samples = {7, 15};
    ASSERT_EQ(0, LoadWith(BaseImage_LoadPngOwn, Png(grey), &image));
    EXPECT_EQ(119, static_cast<uint8_t*>(image.pixels)[0]);
    BaseImage_Release(&image);

    // zlib data one byte short, an interlaced file, a chunk running past the end: refused.
    PngSpec shortData = spec;
    shortData.zlibTrim = 1;
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadPngOwn, Png(shortData), &image));
    PngSpec interlaced = MakePng(2, 8, 11, 9, false, 3);
    interlaced.interlaced = true;
    const Bytes interlacedFile = Png(interlaced);
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadPngOwn, interlacedFile, &image));
    Bytes runaway = Png(spec);
    runaway[33 + 2] = 0x7F;   // the first IDAT's length
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadPngOwn, runaway, &image));
    // A PNG that no stream over memory carries is refused by the own decoder.
    Stream fileLike = {*File_GetFileStreamOps(), nullptr};
    EXPECT_EQ(-1, BaseImage_LoadPngOwn(&fileLike, &image, 0));

    // libpng takes the interlaced files (every colour type) when it is built in.
    if (!BaseImage_HasLibPng()) GTEST_SKIP() << "libpng is not part of this build";
    for (const PngCase& c : PngCases) {
        PngSpec s = MakePng(c.colorType, c.depth, 11, 9, c.trns, 5);
        s.interlaced = true;
        ASSERT_EQ(0, LoadWith(BaseImage_LoadPngLib, Png(s), &image)) << c.colorType << " " << c.depth;
        EXPECT_EQ(PngExpected(s), ToARGB(image)) << c.colorType << " " << c.depth;
        BaseImage_Release(&image);
    }
}

namespace {

// The largest working set the process has had, in bytes (0 when the system does not say).
uint64_t PeakWorkingSet()
{
    using Query = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (query == nullptr || !query(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PeakWorkingSetSize;
}

}  // namespace

TEST(ImageLoadPngTest, AChunkClaimingMoreThanTheFileIsRefusedWithoutAllocatingIt)
{
    if (!BaseImage_HasLibPng()) GTEST_SKIP() << "libpng is not part of this build";
    // An interlaced file (the own decoder hands it on) whose text chunk after the header claims
    // 0x7FFFFFFF bytes; the file itself holds a few hundred.
    PngSpec spec = MakePng(2, 8, 9, 7, false, 11);
    spec.interlaced = true;
    const Bytes file = Png(spec);
    Bytes damaged(file.begin(), file.begin() + 33);   // signature and IHDR
    Put32Be(damaged, 0x7FFFFFFF);
    Append(damaged, Bytes{'t', 'E', 'X', 't', 'k', 'e', 'y', 0});
    damaged.insert(damaged.end(), file.begin() + 33, file.end());
    ASSERT_LT(damaged.size(), 1000u);
    const uint64_t peak = PeakWorkingSet();
    const size_t logged = LogReading::ReadLog().size();
    BaseImage image;
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadPngLib, damaged, &image));
    // Nothing of the claimed size was ever touched.
    EXPECT_LT(PeakWorkingSet(), peak + (256u << 20));
    EXPECT_NE(std::string::npos, LogReading::ReadLog().find(
                                     reinterpret_cast<const char*>(u8"PNG ファイルのチャンクがデータの終わりを越えています"), logged));
    EXPECT_EQ(-1, LoadMemory(damaged, &image));
    // The undamaged file still loads through libpng.
    ASSERT_EQ(0, LoadWith(BaseImage_LoadPngLib, file, &image));
    EXPECT_EQ(PngExpected(spec), ToARGB(image));
    BaseImage_Release(&image);
}

// ---------------------------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadChainTest, FormatsReachTheirRowsAndUnknownDataIsRefused)
{
    BaseImage image;
    const PngSpec spec = MakePng(2, 8, 4, 3, false, 9);
    ASSERT_EQ(0, LoadMemory(Png(spec), &image));
    EXPECT_EQ(PngExpected(spec), ToARGB(image));
    BaseImage_Release(&image);

    memset(&image, 0x5A, sizeof(image));
    BaseImage untouched;
    memcpy(&untouched, &image, sizeof(image));
    EXPECT_EQ(-1, LoadMemory(Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e', '!', '!', '!', '!', '!', '!', '!'}, &image));
    EXPECT_EQ(0, memcmp(&untouched, &image, sizeof(image)));
    const BaseImageLoadSettings settings = Settings();
    const uint8_t none = 0;
    EXPECT_EQ(-1, BaseImage_LoadImageOrDIB(&settings, nullptr, &none, 0, 1, 0, 0, 0, &image, nullptr, nullptr));
    EXPECT_EQ(-1, BaseImage_LoadImageOrDIB(&settings, nullptr, nullptr, 10, 1, 0, 0, 0, &image, nullptr, nullptr));

    // A user loader is tried before the tables.
    BaseImageLoadSettings withUser = settings;
    withUser.userLoaders[0] = [](Stream*, BaseImage* out) {
        BaseImage_CreateARGB8(1, 1, out);
        return 0;
    };
    withUser.userLoaderCount = 1;
    ASSERT_EQ(0, LoadMemory(Png(spec), &image, withUser));
    EXPECT_EQ(1, image.width);
    BaseImage_Release(&image);
}

TEST(ImageLoadChainTest, PremultiplyKeysTheTransparentColourAndMirrors)
{
    std::vector<uint32_t> px = {0xFFFF00FF, 0xFF102030, 0xFFFF00FF, 0xFF405060};
    const Bytes bmp = Bmp(2, -2, 24, BI_RGB, {}, Rows24(px, 2, 2, false));
    BaseImageLoadSettings settings = Settings();
    settings.premultiplyAlpha = 1;
    settings.useTransparentColor = 1;
    settings.transparentColor = 0xFF00FF;
    BaseImage image;
    ASSERT_EQ(0, LoadMemory(bmp, &image, settings));
    EXPECT_EQ(0xFF000000u, image.format.alphaMask);
    EXPECT_EQ((std::vector<uint32_t>{0, 0xFF102030, 0, 0xFF405060}), ToARGB(image));
    BaseImage_Release(&image);
    // With the no-colour-key flag the file keeps its format and its magenta.
    ASSERT_EQ(0, BaseImage_LoadImageOrDIB(&settings, nullptr, bmp.data(), (int)bmp.size(), 1, 0, 0, 1, &image, nullptr,
                                          nullptr));
    EXPECT_EQ(24, image.format.bitDepth);
    EXPECT_EQ(px, ToARGB(image));
    BaseImage_Release(&image);
    // Mirror flag 1 swaps every row left to right.
    settings = Settings();
    ASSERT_EQ(0, BaseImage_LoadImageOrDIB(&settings, nullptr, bmp.data(), (int)bmp.size(), 1, 0, 1, 0, &image, nullptr,
                                          nullptr));
    EXPECT_EQ((std::vector<uint32_t>{px[1], px[0], px[3], px[2]}), ToARGB(image));
    BaseImage_Release(&image);
}

TEST(ImageLoadChainTest, AlphaCompanionFiles)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring dir = std::wstring(folder) + L"vt_imageload_alpha.old\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring main = dir + L"chara.bmp", alpha = dir + L"chara_a.bmp";
    const Bytes bmp = Bmp(2, -1, 24, BI_RGB, {}, Rows24({0xFF112233, 0xFF445566}, 2, 1, false));
    auto write = [](const std::wstring& name, const Bytes& b) {
        FILE* f = _wfopen(name.c_str(), L"wb");
        fwrite(b.data(), 1, b.size(), f);
        fclose(f);
    };
    write(main, bmp);
    DeleteFileW(alpha.c_str());
    BaseImageLoadSettings settings = Settings();
    settings.fileAccess = *File_Plain_GetTable();
    BaseImage image, alphaImage;
    const int32_t blocks = Memory_GetBlockCount();
    ASSERT_EQ(1, BaseImage_LoadWithAlphaFile(&settings, main.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0, 0));
    EXPECT_EQ(2, image.width);
    BaseImage_Release(&image);
    write(alpha, bmp);
    ASSERT_EQ(0, BaseImage_LoadWithAlphaFile(&settings, main.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alphaImage, 0, 0));
    EXPECT_EQ(ToARGB(image), ToARGB(alphaImage));
    BaseImage_Release(&image);
    BaseImage_Release(&alphaImage);
    // Kind 1: the alpha image from memory; a damaged one only turns the result into 1.
    ASSERT_EQ(0, BaseImage_LoadWithAlphaFile(&settings, nullptr, bmp.data(), (int)bmp.size(), 1, bmp.data(), (int)bmp.size(), 1,
                                             &image, &alphaImage, 0, 0));
    BaseImage_Release(&image);
    BaseImage_Release(&alphaImage);
    ASSERT_EQ(1, BaseImage_LoadWithAlphaFile(&settings, nullptr, bmp.data(), (int)bmp.size(), 1, bmp.data(), 10, 1, &image,
                                             &alphaImage, 0, 0));
    BaseImage_Release(&image);
    EXPECT_EQ(-1, BaseImage_LoadWithAlphaFile(&settings, (dir + L"missing.bmp").c_str(), nullptr, 0, 0, nullptr, 0, 0, &image,
                                              &alphaImage, 0, 0));
    EXPECT_EQ(blocks, Memory_GetBlockCount());
    DeleteFileW(main.c_str());
    DeleteFileW(alpha.c_str());
    RemoveDirectoryW(dir.c_str());
}

// ---------------------------------------------------------------------------------------------
// WIC
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadWicTest, SecondOpinionOnLosslessFilesAndGif)
{
    BaseImage image;
    const PngSpec spec = MakePng(6, 8, 9, 5, false, 11);
    const Bytes png = Png(spec);
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadByWic, png, &image));   // no factory yet
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BaseImage_Platform_Initialize();
    if (!BaseImage_Platform_HasFactory()) GTEST_SKIP() << "no imaging factory";
    ASSERT_EQ(0, LoadWith(BaseImage_LoadByWic, png, &image));
    EXPECT_EQ(PngExpected(spec), ToARGB(image));
    BaseImage_Release(&image);
    const std::vector<uint32_t> px = TestColors(15);
    ASSERT_EQ(0, LoadWith(BaseImage_LoadByWic, Bmp(5, 3, 24, BI_RGB, {}, Rows24(px, 5, 3, true)), &image));
    EXPECT_EQ(px, ToARGB(image));
    EXPECT_EQ(image.width * image.format.bytesPerPixel, image.pitch);
    BaseImage_Release(&image);
    // A two-frame GIF (no table row knows it) gives its first frame through the chain.
    const Bytes gif = Gif(3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, {{0, 1, 2, 3, 2, 1}, {3, 3, 3, 3, 3, 3}});
    ASSERT_EQ(0, LoadMemory(gif, &image));
    EXPECT_EQ((std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF0000FF, 0xFF00FF00}), ToARGB(image));
    BaseImage_Release(&image);
    BaseImage_Platform_Terminate();
    EXPECT_EQ(-1, LoadWith(BaseImage_LoadByWic, png, &image));
    EXPECT_EQ(-1, LoadMemory(gif, &image));
}

// Once the image module's platform half has started, the chain asks the platform decoder after every
// table row: an 8-bit palette BMP, which both read, comes from the library's own row (one byte per pixel)
// with the same colours the platform decoder gives when it is asked first; a GIF, which only the
// platform decoder reads, still loads at the end of the chain.
TEST(ImageLoadChainTest, ThePlatformDecoderIsAskedLast)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BaseImage_Platform_Initialize();
    if (!BaseImage_Platform_HasFactory()) GTEST_SKIP() << "no imaging factory";
    EXPECT_EQ(1, BaseImage_LoadState.platformLoadersLast);
    std::vector<uint32_t> table(256);
    for (int i = 0; i < 256; i++) table[i] = (uint32_t)i << 16 | (uint32_t)(255 - i) << 8 | (uint32_t)i / 2;
    const Bytes bmp = Bmp(5, -1, 8, BI_RGB, table, {9, 8, 7, 6, 255, 0, 0, 0});
    const std::vector<uint32_t> colours = {0xFF000000u | table[9], 0xFF000000u | table[8], 0xFF000000u | table[7],
                                           0xFF000000u | table[6], 0xFF000000u | table[255]};
    struct Case {
        int PlatformLast;
        int BytesPerPixel;
    };
    for (const Case& c : {Case{1, 1}, Case{0, 4}, Case{1, 1}}) {
        SCOPED_TRACE(c.PlatformLast);
        BaseImage_LoadState.platformLoadersLast = c.PlatformLast;
        BaseImage image;
        ASSERT_EQ(0, LoadMemory(bmp, &image));
        EXPECT_EQ(c.BytesPerPixel, image.format.bytesPerPixel);
        EXPECT_EQ(colours, ToARGB(image));
        BaseImage_Release(&image);
    }
    const Bytes gif = Gif(2, 1, {0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF}, {{1, 0}});
    BaseImage image;
    ASSERT_EQ(0, LoadMemory(gif, &image));
    EXPECT_EQ((std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00}), ToARGB(image));
    BaseImage_Release(&image);
    BaseImage_Platform_Terminate();
}

// ---------------------------------------------------------------------------------------------
// Damaged files
// ---------------------------------------------------------------------------------------------

TEST(ImageLoadDamageTest, TruncatedAndFlippedCopiesLoadCleanlyOrAreRefused)
{
    std::vector<Bytes> files;
    std::vector<uint32_t> table256(256, 0x123456);
    files.push_back(Bmp(7, 5, 24, BI_RGB, {}, Rows24(TestColors(35), 7, 5, true)));
    files.push_back(Bmp(6, 3, 8, BI_RLE8, table256, {2, 5, 0, 2, 3, 1, 0, 3, 7, 8, 9, 0, 0, 0, 1, 4, 0, 1}));
    files.push_back(Bmp(8, -2, 4, BI_RLE4, std::vector<uint32_t>(16, 1), {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 0, 3, 0x67, 0x80, 4, 0x9A, 0, 1}));
    files.push_back(Bmp(10, 2, 1, BI_RGB, {0, 0xFFFFFF}, Bytes(8, 0xA5)));
    files.push_back(Tga(10, 4, 1, 32, 0x20, {}, 0, 0, 0, {0x81, 10, 20, 30, 40, 0x01, 1, 2, 3, 4, 5, 6, 7, 8}, true));
    files.push_back(Tga(9, 3, 1, 8, 0x00, Bytes(10, 7), 0, 5, 16, {0x82, 1}, false));
    files.push_back(Dds(8, 8, 4, FourCC("DXT5"), 0, nullptr, 4, false, Bytes(64 + 16 + 16 + 16, 0x77)));
    files.push_back(Dds(4, 4, 4, 21, 0, nullptr, 3, true, Bytes(6 * (64 + 16 + 4), 0x11)));
    for (const PngCase& c : {PngCases[2], PngCases[10], PngCases[16], PngCases[21]}) {
        PngSpec s = MakePng(c.colorType, c.depth, 9, 6, c.trns, 3);
        s.idatPieces = 3;
        files.push_back(Png(s));
    }
    Bytes raw = {'B', 'G', 'R', 'A'};
    Put32(raw, 0x10101010), Put32(raw, 3), Put32(raw, 2);
    raw.resize(raw.size() + 48, 0x42);
    files.push_back(raw);
    // Dumps of a float image, a palette image and an ARGB8 image: their descriptors are flipped too.
    const uint8_t floatLead[5] = {0, 4, 32, 1, 16}, maskLead[5] = {0, 0, 0, 0, 4}, paletteLead[5] = {0, 0, 0, 0, 1};
    ColorFormatDesc argb, palette;
    BaseImage_ColorFormat_InitARGB8(&argb);
    BaseImage_ColorFormat_InitPal8(&palette);
    files.push_back(Vbim(3, 2, 48, floatLead, {}, Bytes(96, 0x3F)));
    files.push_back(Vbim(3, 2, 12, maskLead, VbimMaskFields(argb), Bytes(24, 0x81)));
    files.push_back(Vbim(3, 2, 4, paletteLead, VbimMaskFields(palette), Bytes(8, 7)));

    std::mt19937 random(12345);
    const int32_t blocks = Memory_GetBlockCount();
    int loaded = 0, refused = 0;
    for (const Bytes& file : files) {
        std::vector<Bytes> copies;
        for (size_t length = 0; length < file.size(); length += 1 + file.size() / 60) copies.emplace_back(file.begin(), file.begin() + length);
        for (int i = 0; i < 120; i++) {
            Bytes flipped = file;
            const int flips = 1 + (int)(random() % 4);
            for (int f = 0; f < flips; f++) flipped[random() % flipped.size()] ^= (uint8_t)(1 + random() % 255);
            copies.push_back(flipped);
        }
        for (const Bytes& copy : copies) {
            BaseImage image;
            if (LoadMemory(copy, &image) == 0) {
                ASSERT_NE(nullptr, image.pixels);
                ASSERT_GT(image.width, 0);
                // Every pixel the record describes can be read.
                if (image.format.formatCode != 0) {
                    ASSERT_EQ(0, BaseImage_ExpandCompressed(&image, 1));
                }
                ToARGB(image);
                BaseImage_Release(&image);
                loaded++;
            } else {
                refused++;
            }
            ASSERT_EQ(blocks, Memory_GetBlockCount());
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}
