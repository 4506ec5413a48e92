// JPEG and TIFF through their libraries: files written at test time (JPEG by libjpeg's own
// compressor: baseline, progressive, greyscale, CMYK; TIFF by hand: strips and tiles) decode to
// the pixels they were made from (tiled TIFFs are refused), and damaged copies load cleanly or are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "ImageLoadFixtures.h"
#include "foundation/VtMemory.h"
#include "foundation/VtStream.h"
#include "image/VtImageLoad.h"

#if VT_HAVE_LIBJPEG
#include <cstdio>
extern "C" {
#include <jpeglib.h>
}
#endif

using namespace Vantrel;
using namespace ImageFixtures;

namespace {

int LoadWithLoader(ImageLoaderProc loader, const Bytes& bytes, BaseImage* out)
{
    Stream stream = {*File_GetMemStreamOps(), File_MemStream_Open(bytes.data(), (uint32_t)bytes.size())};
    memset(out, 0, sizeof(*out));
    const int result = loader(&stream, out, 0);
    stream.ops.Close(stream.data);
    return result;
}

// Truncated and byte-flipped copies: each loads (and reads back) or is refused, nothing leaks.
void DamagedCopies(ImageLoaderProc loader, const Bytes& file, int flips)
{
    std::mt19937 random(99);
    const int32_t blocks = Memory_GetBlockCount();
    std::vector<Bytes> copies;
    for (size_t length = 0; length < file.size(); length += 1 + file.size() / 40) copies.emplace_back(file.begin(), file.begin() + length);
    for (int i = 0; i < flips; i++) {
        Bytes flipped = file;
        flipped[random() % flipped.size()] ^= (uint8_t)(1 + random() % 255);
        copies.push_back(flipped);
    }
    for (const Bytes& copy : copies) {
        BaseImage image;
        if (LoadWithLoader(loader, copy, &image) == 0) {
            ToARGB(image);
            BaseImage_Release(&image);
        }
        ASSERT_EQ(blocks, Memory_GetBlockCount());
    }
}

#if VT_HAVE_LIBJPEG
// A JPEG of the given components written by libjpeg into memory.
Bytes Jpeg(int width, int height, int components, J_COLOR_SPACE space, bool progressive, const std::vector<uint8_t>& samples)
{
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = (JDIMENSION)width;
    c.image_height = (JDIMENSION)height;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&samples[(size_t)c.next_scanline * width * components]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}
#endif

// An uncompressed RGB TIFF, in strips of `rowsPerStrip` rows or in 16 x 16 tiles.
Bytes Tiff(int width, int height, const std::vector<uint8_t>& rgb, int rowsPerStrip, bool tiled)
{
    std::vector<Bytes> pieces;
    if (!tiled) {
        for (int r = 0; r < height; r += rowsPerStrip) {
            const int rows = std::min(rowsPerStrip, height - r);
            pieces.emplace_back(rgb.begin() + (size_t)r * width * 3, rgb.begin() + (size_t)(r + rows) * width * 3);
        }
    } else {
        for (int ty = 0; ty < height; ty += 16)
            for (int tx = 0; tx < width; tx += 16) {
                Bytes tile(16 * 16 * 3, 0);
                for (int y = 0; y < 16 && ty + y < height; y++)
                    for (int x = 0; x < 16 && tx + x < width; x++)
                        memcpy(&tile[(y * 16 + x) * 3], &rgb[((size_t)(ty + y) * width + tx + x) * 3], 3);
                pieces.push_back(tile);
            }
    }
    Bytes b = {'I', 'I', 42, 0};
    Put32(b, 8);
    const uint16_t entries = 11;
    const uint32_t ifdEnd = 8 + 2 + entries * 12 + 4;
    const uint32_t bitsAt = ifdEnd, offsetsAt = bitsAt + 6, countsAt = offsetsAt + 4 * (uint32_t)pieces.size();
    uint32_t dataAt = countsAt + 4 * (uint32_t)pieces.size();
    // Entries in tag order; a single offset or count sits in the entry itself.
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const uint32_t single = pieces.size() == 1;
    std::vector<Entry> list = {{256, 4, 1, (uint32_t)width}, {257, 4, 1, (uint32_t)height}, {258, 3, 3, bitsAt},
                               {259, 3, 1, 1}, {262, 3, 1, 2}, {277, 3, 1, 3}, {284, 3, 1, 1}};
    const uint32_t firstData = dataAt, firstSize = (uint32_t)pieces[0].size();
    if (!tiled) {
        list.push_back({273, 4, (uint32_t)pieces.size(), single ? firstData : offsetsAt});
        list.push_back({278, 4, 1, (uint32_t)rowsPerStrip});
        list.push_back({279, 4, (uint32_t)pieces.size(), single ? firstSize : countsAt});
        list.push_back({305, 2, 1, 0});   // an empty software string keeps the entry count
    } else {
        list.push_back({322, 4, 1, 16});
        list.push_back({323, 4, 1, 16});
        list.push_back({324, 4, (uint32_t)pieces.size(), offsetsAt});
        list.push_back({325, 4, (uint32_t)pieces.size(), countsAt});
    }
    std::sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    Put16(b, entries);
    for (const Entry& e : list) {
        Put16(b, e.tag), Put16(b, e.type), Put32(b, e.count);
        if (e.type == 3 && e.count == 1) Put16(b, e.value), Put16(b, 0);
        else Put32(b, e.value);
    }
    Put32(b, 0);
    Put16(b, 8), Put16(b, 8), Put16(b, 8);
    for (const Bytes& p : pieces) Put32(b, dataAt), dataAt += (uint32_t)p.size();
    for (const Bytes& p : pieces) Put32(b, (uint32_t)p.size());
    for (const Bytes& p : pieces) Append(b, p);
    return b;
}

std::vector<uint8_t> Pattern(int width, int height, int components)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < components; c++) out.push_back((uint8_t)((x * 255 / std::max(1, width - 1)) * (c != 1) + (y * 255 / std::max(1, height - 1)) * (c == 1)));
    return out;
}

}  // namespace

TEST(ImageLoadJpegTest, BaselineProgressiveGreyAndCmyk)
{
    BaseImage image;
    EXPECT_EQ(-1, LoadWithLoader(BaseImage_LoadJpeg, Bytes{0x89, 'P', 'N', 'G'}, &image));
#if !VT_HAVE_LIBJPEG
    GTEST_SKIP() << "libjpeg is not part of this build";
#else
    // Smooth pictures at quality 100 come back within a few levels; the compressor's 2 x 2 chroma
    // subsampling accounts for most of the difference.
    const int tolerance = 12;
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> rgb = Pattern(21, 13, 3);
        ASSERT_EQ(0, LoadWithLoader(BaseImage_LoadJpeg, Jpeg(21, 13, 3, JCS_RGB, progressive, rgb), &image));
        EXPECT_EQ(24, image.format.bitDepth);
        EXPECT_EQ(63, image.pitch);
        const uint8_t* p = static_cast<uint8_t*>(image.pixels);
        for (int i = 0; i < 21 * 13; i++)
            for (int c = 0; c < 3; c++) ASSERT_NEAR(rgb[i * 3 + c], p[i * 3 + 2 - c], tolerance) << i;
        BaseImage_Release(&image);
    }
    const std::vector<uint8_t> grey = Pattern(5, 7, 1);
    ASSERT_EQ(0, LoadWithLoader(BaseImage_LoadJpeg, Jpeg(5, 7, 1, JCS_GRAYSCALE, false, grey), &image));
    EXPECT_EQ(5, image.pitch);
    EXPECT_EQ(1, image.format.bytesPerPixel);
    for (int i = 0; i < 35; i++) ASSERT_NEAR(grey[i], static_cast<uint8_t*>(image.pixels)[(i / 5) * 5 + i % 5], tolerance);
    BaseImage_Release(&image);
    // CMYK in the Adobe convention: (255, 0, 255, 255) is magenta.
    std::vector<uint8_t> cmyk;
    for (int i = 0; i < 64; i++) cmyk.insert(cmyk.end(), {255, 0, 255, 255});
    ASSERT_EQ(0, LoadWithLoader(BaseImage_LoadJpeg, Jpeg(8, 8, 4, JCS_CMYK, false, cmyk), &image));
    const uint8_t* m = static_cast<uint8_t*>(image.pixels);
    EXPECT_NEAR(255, m[2], tolerance);
    EXPECT_NEAR(0, m[1], tolerance);
    EXPECT_NEAR(255, m[0], tolerance);
    BaseImage_Release(&image);
    // Cut in the scan data: completed by libjpeg; empty: refused.
    const Bytes full = Jpeg(32, 32, 3, JCS_RGB, false, Pattern(32, 32, 3));
    ASSERT_EQ(0, LoadWithLoader(BaseImage_LoadJpeg, Bytes(full.begin(), full.begin() + full.size() * 2 / 3), &image));
    EXPECT_EQ(32, image.height);
    BaseImage_Release(&image);
    EXPECT_EQ(-1, LoadWithLoader(BaseImage_LoadJpeg, Bytes{0xFF}, &image));
    DamagedCopies(BaseImage_LoadJpeg, Jpeg(16, 16, 3, JCS_RGB, true, Pattern(16, 16, 3)), 300);
#endif
}

TEST(ImageLoadTiffTest, StripsAndTiles)
{
    BaseImage image;
    EXPECT_EQ(-1, LoadWithLoader(BaseImage_LoadTiff, Bytes{'I', 'M', 42, 0, 8, 0, 0, 0}, &image));
    if (!BaseImage_HasLibTiff()) GTEST_SKIP() << "libtiff is not part of this build";
    const int w = 37, h = 21;
    const std::vector<uint8_t> rgb = Pattern(w, h, 3);
    std::vector<uint32_t> expected;
    for (int i = 0; i < w * h; i++) expected.push_back(0xFF000000u | rgb[i * 3] << 16 | rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2]);
    // Rows per strip that do not divide the height, a whole-image strip, one far beyond the height.
    struct {
        int rowsPerStrip;
        bool tiled;
    } cases[] = {{4, false}, {21, false}, {1000000, false}};
    for (auto c : cases) {
        const Bytes file = Tiff(w, h, rgb, c.tiled ? 16 : std::min(c.rowsPerStrip, h), c.tiled);
        Bytes stated = file;
        if (!c.tiled) {
            // The file's own rows-per-strip field, as large as the case says.
            for (size_t at = 10; at + 12 <= stated.size(); at += 12)
                if (stated[at] == 0x16 && stated[at + 1] == 0x01) {
                    stated[at + 8] = (uint8_t)c.rowsPerStrip, stated[at + 9] = (uint8_t)(c.rowsPerStrip >> 8);
                    stated[at + 10] = (uint8_t)(c.rowsPerStrip >> 16), stated[at + 11] = (uint8_t)(c.rowsPerStrip >> 24);
                }
        }
        ASSERT_EQ(0, LoadWithLoader(BaseImage_LoadTiff, stated, &image)) << c.rowsPerStrip << " " << c.tiled;
        EXPECT_EQ(expected, ToARGB(image));
        BaseImage_Release(&image);
    }
    // Strip reads refuse tiled files.
    EXPECT_EQ(-1, LoadWithLoader(BaseImage_LoadTiff, Tiff(w, h, rgb, 16, true), &image));
    DamagedCopies(BaseImage_LoadTiff, Tiff(w, h, rgb, 4, false), 300);
}
