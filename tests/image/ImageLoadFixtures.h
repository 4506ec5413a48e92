// Image files written by the tests themselves: BMP, TGA, DDS, PNG (through zlib, Adam7 too), GIF,
// raw "BGRA" and "VBIM", and a read-back of any loaded image as ARGB8 pixels.
#pragma once

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/VtBaseImage.h"

namespace ImageFixtures {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) { b.push_back((uint8_t)v), b.push_back((uint8_t)(v >> 8)); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
inline void Put32Be(Bytes& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// A BMP file: 14-byte file header, 40-byte info header, the colour table or masks, the data.
inline Bytes Bmp(int width, int height, int bits, uint32_t compression, const std::vector<uint32_t>& table,
                 const Bytes& data)
{
    Bytes b = {'B', 'M'};
    const uint32_t offset = 54 + (uint32_t)table.size() * 4;
    Put32(b, offset + (uint32_t)data.size());
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, (uint32_t)width);
    Put32(b, (uint32_t)height);
    Put16(b, 1);
    Put16(b, (uint32_t)bits);
    Put32(b, compression);
    Put32(b, (uint32_t)data.size());
    Put32(b, 2835), Put32(b, 2835), Put32(b, 0), Put32(b, 0);
    for (uint32_t t : table) Put32(b, t);
    Append(b, data);
    return b;
}

inline Bytes Tga(int type, int width, int height, int bits, int descriptor, const Bytes& colorMap, int mapFirst,
                 int mapLength, int mapBits, const Bytes& data, bool footer)
{
    Bytes b = {0, (uint8_t)(mapLength > 0), (uint8_t)type};
    Put16(b, (uint32_t)mapFirst);
    Put16(b, (uint32_t)mapLength);
    b.push_back((uint8_t)mapBits);
    Put16(b, 0), Put16(b, 0);
    Put16(b, (uint32_t)width), Put16(b, (uint32_t)height);
    b.push_back((uint8_t)bits);
    b.push_back((uint8_t)descriptor);
    Append(b, colorMap);
    Append(b, data);
    if (footer) {
        Put32(b, 0), Put32(b, 0);
        const char sig[] = "TRUEVISION-XFILE.";
        b.insert(b.end(), sig, sig + 18);
    }
    return b;
}

// A DDS file with a four-character code (or a D3D9 number) or RGB masks.
inline Bytes Dds(int width, int height, uint32_t pfFlags, uint32_t fourCC, uint32_t rgbBits, const uint32_t masks[4],
                 int mips, bool cube, const Bytes& data, int dxgi = -1)
{
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1007 | (mips > 0 ? 0x20000 : 0));
    Put32(b, (uint32_t)height);
    Put32(b, (uint32_t)width);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, (uint32_t)mips);
    for (int i = 0; i < 11; i++) Put32(b, 0);
    Put32(b, 32);
    Put32(b, pfFlags);
    Put32(b, fourCC);
    Put32(b, rgbBits);
    for (int i = 0; i < 4; i++) Put32(b, masks != nullptr ? masks[i] : 0);
    Put32(b, 0x1000 | (mips > 0 ? 0x400008 : 0) | (cube ? 0x8 : 0));
    Put32(b, cube ? 0xFE00 : 0);
    Put32(b, 0), Put32(b, 0), Put32(b, 0);
    if (dxgi >= 0) {
        Put32(b, (uint32_t)dxgi);
        Put32(b, 3), Put32(b, 0), Put32(b, 1), Put32(b, 0);
    }
    Append(b, data);
    return b;
}

inline uint32_t FourCC(const char* s) { return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 | (uint32_t)(uint8_t)s[2] << 16 | (uint32_t)(uint8_t)s[3] << 24; }

inline void PngChunk(Bytes& b, const char* type, const Bytes& data)
{
    Put32Be(b, (uint32_t)data.size());
    Bytes typed(type, type + 4);
    Append(typed, data);
    Append(b, typed);
    Put32Be(b, (uint32_t)crc32(0, typed.data(), (uInt)typed.size()));
}

// PNG samples: `samples` holds width x height x channels values of the bit depth.
struct PngSpec {
    int width, height, bitDepth, colorType;
    std::vector<uint16_t> samples;
    Bytes palette;   // PLTE data
    Bytes trns;      // tRNS data (empty: none)
    bool interlaced = false;
    int idatPieces = 1;
    int zlibTrim = 0;   // bytes cut from the end of the zlib data
};

inline int PngChannels(int colorType) { return colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1; }

// Packs one row of samples (x0, x0 + step, ...) into filtered bytes with a filter chosen by row.
inline Bytes PngPackRow(const PngSpec& s, int y, int x0, int step, int count)
{
    const int ch = PngChannels(s.colorType);
    Bytes row;
    int bitPos = 0;
    for (int i = 0; i < count; i++) {
        for (int c = 0; c < ch; c++) {
            const uint16_t v = s.samples[((size_t)y * s.width + x0 + (size_t)i * step) * ch + c];
            if (s.bitDepth == 16) row.push_back((uint8_t)(v >> 8)), row.push_back((uint8_t)v);
            else if (s.bitDepth == 8) row.push_back((uint8_t)v);
            else {
                if (bitPos % 8 == 0) row.push_back(0);
                row.back() |= (uint8_t)(v << (8 - s.bitDepth - bitPos % 8));
                bitPos += s.bitDepth;
            }
        }
    }
    return row;
}

inline int PngPaeth(int a, int b, int c)
{
    const int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Filters rows of one (sub-)image with filter (row index + seed) % 5 and appends them.
inline void PngFilterRows(const std::vector<Bytes>& rows, int bpp, int seed, Bytes& out)
{
    for (size_t y = 0; y < rows.size(); y++) {
        const int filter = (int)((y + seed) % 5);
        const Bytes& r = rows[y];
        out.push_back((uint8_t)filter);
        for (size_t i = 0; i < r.size(); i++) {
            const int a = i >= (size_t)bpp ? r[i - bpp] : 0;
            const int b = y > 0 ? rows[y - 1][i] : 0;
            const int c = y > 0 && i >= (size_t)bpp ? rows[y - 1][i - bpp] : 0;
            const int pred = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : PngPaeth(a, b, c);
            out.push_back((uint8_t)(r[i] - pred));
        }
    }
}

inline Bytes Png(const PngSpec& s, int seed = 0)
{
    const int bitsPerPixel = PngChannels(s.colorType) * s.bitDepth;
    const int bpp = bitsPerPixel < 8 ? 1 : bitsPerPixel / 8;
    Bytes raw;
    if (!s.interlaced) {
        std::vector<Bytes> rows;
        for (int y = 0; y < s.height; y++) rows.push_back(PngPackRow(s, y, 0, 1, s.width));
        PngFilterRows(rows, bpp, seed, raw);
    } else {
        static const int pass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        for (auto& p : pass) {
            const int cols = s.width > p[0] ? (s.width - p[0] + p[2] - 1) / p[2] : 0;
            std::vector<Bytes> rows;
            for (int y = p[1]; y < s.height && cols > 0; y += p[3]) rows.push_back(PngPackRow(s, y, p[0], p[2], cols));
            PngFilterRows(rows, bpp, seed, raw);
        }
    }
    uLongf zsize = compressBound((uLong)raw.size());
    Bytes z(zsize);
    compress2(z.data(), &zsize, raw.data(), (uLong)raw.size(), 6);
    z.resize(zsize - (uLongf)s.zlibTrim);
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    Put32Be(ihdr, (uint32_t)s.width);
    Put32Be(ihdr, (uint32_t)s.height);
    ihdr.push_back((uint8_t)s.bitDepth);
    ihdr.push_back((uint8_t)s.colorType);
    ihdr.push_back(0), ihdr.push_back(0), ihdr.push_back(s.interlaced ? 1 : 0);
    PngChunk(b, "IHDR", ihdr);
    if (!s.palette.empty()) PngChunk(b, "PLTE", s.palette);
    if (!s.trns.empty()) PngChunk(b, "tRNS", s.trns);
    const size_t piece = (z.size() + s.idatPieces - 1) / s.idatPieces;
    for (size_t at = 0; at < z.size(); at += piece) {
        PngChunk(b, "IDAT", Bytes(z.begin() + at, z.begin() + std::min(z.size(), at + piece)));
        if (at + piece < z.size()) PngChunk(b, "tEXt", Bytes{'a', 0, 'b'});
    }
    PngChunk(b, "IEND", {});
    return b;
}

// A one-frame GIF (or two frames) whose LZW data starts every code with a clear code, so that all
// codes keep their first width.
inline Bytes Gif(int width, int height, const std::vector<uint32_t>& colors, const std::vector<std::vector<uint8_t>>& frames)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, (uint32_t)width), Put16(b, (uint32_t)height);
    b.push_back(0xF1);   // global table of 4 entries
    b.push_back(0), b.push_back(0);
    for (int i = 0; i < 4; i++) {
        const uint32_t c = i < (int)colors.size() ? colors[i] : 0;
        b.push_back((uint8_t)(c >> 16)), b.push_back((uint8_t)(c >> 8)), b.push_back((uint8_t)c);
    }
    for (const auto& indices : frames) {
        b.push_back(0x2C);
        Put16(b, 0), Put16(b, 0), Put16(b, (uint32_t)width), Put16(b, (uint32_t)height);
        b.push_back(0);
        b.push_back(2);   // minimum code size: codes are 3 bits, clear 4, end 5
        Bytes lzw;
        uint32_t acc = 0;
        int bits = 0;
        auto code = [&](uint32_t c) {
            acc |= c << bits;
            bits += 3;
            while (bits >= 8) lzw.push_back((uint8_t)acc), acc >>= 8, bits -= 8;
        };
        for (uint8_t index : indices) code(4), code(index);
        code(5);
        if (bits > 0) lzw.push_back((uint8_t)acc);
        for (size_t at = 0; at < lzw.size(); at += 255) {
            const size_t n = std::min<size_t>(255, lzw.size() - at);
            b.push_back((uint8_t)n);
            b.insert(b.end(), lzw.begin() + at, lzw.begin() + at + n);
        }
        b.push_back(0);
    }
    b.push_back(0x3B);
    return b;
}

// Any loaded image read back as 0xAARRGGBB through the conversion blit (no alpha reads 255).
inline std::vector<uint32_t> ToARGB(const Vantrel::BaseImage& image)
{
    Vantrel::BaseImage source = image, argb = {};
    if (Vantrel::BaseImage_CreateARGB8(image.width, image.height, &argb) != 0) return {};
    Vantrel::BaseImage_BltWhole(0, 0, &source, &argb);
    std::vector<uint32_t> out((size_t)image.width * image.height);
    for (int y = 0; y < image.height; y++)
        memcpy(&out[(size_t)y * image.width], (uint8_t*)argb.pixels + (size_t)y * argb.pitch, (size_t)image.width * 4);
    Vantrel::BaseImage_Release(&argb);
    return out;
}

}  // namespace ImageFixtures
