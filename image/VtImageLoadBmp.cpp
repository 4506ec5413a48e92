// Windows bitmaps: the BMP loader (uncompressed, RLE8, RLE4, bit fields; GDI redraws the rest),
// DIBs to and from base images, and DIB sections made from loaded images for the window code.
// Stands on base images, the conversion blit, the loader chain and GDI through the WinAPITable.
#include <cstring>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

namespace {

// The 40-byte info header followed by room for a full colour table (or the three masks).
struct BmpInfo {
    BITMAPINFOHEADER header;
    uint32_t colors[256];
};

// Bytes of one stored row of `bits` bits per pixel, rounded up to 4: -1 when too large.
int64_t Bmp_RowSize(int64_t width, int bits)
{
    const int64_t row = (width * bits + 31) / 32 * 4;
    return row > BaseImage_MaxDataSize ? -1 : row;
}

// The 24-bit top-down DIB section GDI draws a bitmap into; the copy of its bits becomes RGB24.
int Bmp_RedrawByGdi(const BITMAPINFO* info, const void* bits, uint32_t bitsSize, BaseImage* out)
{
    const int64_t width = info->bmiHeader.biWidth;
    const int64_t height = info->bmiHeader.biHeight < 0 ? -(int64_t)info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    const int64_t pitch = Bmp_RowSize(width, 24);
    if (width <= 0 || height <= 0 || pitch < 0 || ImageLoad_Size(pitch, height) < 0) return -1;
    WinAPI_EnsureLoaded();
    if (WinAPITable.CreateCompatibleDC == nullptr || WinAPITable.CreateDIBSection == nullptr) return -1;
    HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
    if (dc == nullptr) return -1;
    BITMAPINFO section = {};
    section.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    section.bmiHeader.biWidth = (LONG)width;
    section.bmiHeader.biHeight = -(LONG)height;
    section.bmiHeader.biPlanes = 1;
    section.bmiHeader.biBitCount = 24;
    section.bmiHeader.biCompression = BI_RGB;
    void* sectionBits = nullptr;
    HBITMAP bitmap = WinAPITable.CreateDIBSection(dc, &section, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (bitmap == nullptr || sectionBits == nullptr) {
        Log_AddTextUTF16(L"ＤＩＢの作成に失敗しました3\n");
        if (bitmap != nullptr) WinAPITable.DeleteObject(bitmap);
        WinAPITable.DeleteDC(dc);
        return -1;
    }
    BITMAP object = {};
    WinAPITable.GetObjectA(bitmap, sizeof(object), &object);
    // The source header is copied so that GDI sees the size of the bits it may read.
    BmpInfo source;
    memset(&source, 0, sizeof(source));
    const uint32_t tableBytes = info->bmiHeader.biBitCount <= 8 ? 4u << info->bmiHeader.biBitCount
                                : info->bmiHeader.biCompression == BI_BITFIELDS ? 12u
                                                                                : 0u;
    memcpy(&source, info, sizeof(BITMAPINFOHEADER) + (tableBytes > 1024 ? 1024 : tableBytes));
    source.header.biSizeImage = bitsSize;
    if (source.header.biClrUsed > 256) source.header.biClrUsed = 0;
    HGDIOBJ old = WinAPITable.SelectObject(dc, bitmap);
    const int drawn = WinAPITable.SetDIBitsToDevice(dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, bits,
                                                    reinterpret_cast<const BITMAPINFO*>(&source), DIB_RGB_COLORS);
    WinAPITable.SelectObject(dc, old);
    WinAPITable.DeleteDC(dc);
    int result = -1;
    if (drawn > 0) {
        const int64_t rows = object.bmHeight < 0 ? -(int64_t)object.bmHeight : object.bmHeight;
        const int64_t size = ImageLoad_Size(pitch, rows < height ? rows : height);
        void* pixels = ImageLoad_Allocate(size, __LINE__);
        if (pixels == nullptr) {
            Log_AddTextUTF16(L"２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
        } else {
            memcpy(pixels, sectionBits, (size_t)size);
            memset(out, 0, sizeof(*out));
            BaseImage_ColorFormat_InitRGB24(&out->format);
            out->width = (int)width;
            out->height = (int)height;
            out->pitch = (int)pitch;
            out->pixels = pixels;
            result = 0;
        }
    }
    WinAPITable.DeleteObject(bitmap);
    return result;
}

// Run-length data (RLE8 or RLE4) into a cleared buffer of one index byte per pixel; runs,
// literals and moves that leave the image are cut at its edges. `flip` writes row r of the file
// order to image row height - 1 - r.
void Bmp_DecodeRle(const uint8_t* data, uint64_t size, int nibbles, int width, int height, bool flip, uint8_t* out,
                   int64_t pitch)
{
    int64_t x = 0, row = 0;
    uint64_t p = 0;
    auto put = [&](uint8_t value) {
        if (x < width && row < height) out[(flip ? height - 1 - row : row) * pitch + x] = value;
        x++;
    };
    while (p + 2 <= size && row < height) {
        const uint8_t n = data[p], v = data[p + 1];
        p += 2;
        if (n > 0) {
            for (int i = 0; i < n; i++) put(nibbles ? (uint8_t)((i & 1) ? v & 0x0F : v >> 4) : v);
            continue;
        }
        if (v == 0) {
            x = 0;
            row++;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (p + 2 > size) break;
            x += data[p];
            row += data[p + 1];
            p += 2;
        } else {
            const uint64_t bytes = nibbles ? (v + 1u) / 2 : v;
            if (p + bytes > size) break;
            for (int i = 0; i < v; i++) {
                const uint8_t b = data[p + (nibbles ? i / 2 : i)];
                put(nibbles ? (uint8_t)((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            p += (bytes + 1) & ~1ull;
        }
    }
}

void Bmp_SetPaletteFormat(ColorFormatDesc* format, const uint32_t* colors, int entries)
{
    BaseImage_ColorFormat_InitPal8(format);
    memset(format->palette, 0, sizeof(format->palette));
    for (int i = 0; i < entries; i++) format->palette[i] = colors[i] & 0xFFFFFF;
    format->maxPaletteIndex = (uint32_t)(entries - 1);
}

// The formats of the bit-field layouts read without GDI; false for masks the fast paths do not
// know, or masks reaching past the pixel's own bits.
bool Bmp_BitFieldFormat(int bits, uint32_t r, uint32_t g, uint32_t b, ColorFormatDesc* format)
{
    const uint64_t pixelMask = bits == 32 ? 0xFFFFFFFFull : (1ull << bits) - 1;
    if (((uint64_t)(r | g | b) & ~pixelMask) != 0) return false;
    if (r == 0xFF000000u && g == 0xFF0000u && b == 0xFF00u) {
        BaseImage_ColorFormat_InitFromMasks(format, 32, r, g, b, 0, 0, 0, 0);
        return true;
    }
    const bool known = (r == 0xFF0000u && g == 0xFF00u && b == 0xFFu) || (r == 0xF800u && g == 0x7E0u && b == 0x1Fu) ||
                       (r == 0x7C00u && g == 0x3E0u && b == 0x1Fu);
    if (!known) return false;
    if (bits == 16 && r == 0xF800u) BaseImage_ColorFormat_InitR5G6B5(format);
    else if (bits == 16) BaseImage_ColorFormat_InitX1R5G5B5(format);
    else if (r == 0xFF0000u) BaseImage_ColorFormat_InitXRGB8(format);
    else BaseImage_ColorFormat_InitFromMasks(format, 32, r, g, b, 0, 0, 0, 0);   // 16-bit layout in 4-byte pixels
    return true;
}

// Stored rows into a top-down buffer of the same row size.
void* Bmp_CopyRows(const uint8_t* data, int64_t rowSize, int64_t height, bool bottomUp)
{
    uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate(rowSize * height, __LINE__));
    if (pixels == nullptr) return nullptr;
    for (int64_t y = 0; y < height; y++)
        memcpy(pixels + y * rowSize, data + (bottomUp ? height - 1 - y : y) * rowSize, (size_t)rowSize);
    return pixels;
}

bool Bmp_AllAlphaZero(const uint8_t* pixels, int64_t pitch, int width, int height)
{
    for (int64_t y = 0; y < height; y++)
        for (int64_t x = 0; x < width; x++)
            if (pixels[y * pitch + x * 4 + 3] != 0) return false;
    return true;
}

int Bmp_Decode(const uint8_t* file, uint64_t fileSize, BaseImage* image, int headerOnly)
{
    if (fileSize < 54 || file[0] != 'B' || file[1] != 'M') return -1;
    BmpInfo info;
    memset(&info, 0, sizeof(info));
    memcpy(&info.header, file + 14, sizeof(BITMAPINFOHEADER));
    const int bits = info.header.biBitCount;
    const uint32_t compression = info.header.biCompression;
    const int64_t width = info.header.biWidth;
    const bool bottomUp = info.header.biHeight > 0;
    const int64_t height = bottomUp ? (int64_t)info.header.biHeight : -(int64_t)info.header.biHeight;
    if (bits == 0 || bits > 32 || width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return -1;
    // The colour table or the masks follow the 40-byte header; a short table leaves zeros.
    if (bits <= 8 || compression == BI_BITFIELDS) {
        const uint64_t want = bits <= 8 ? (4ull << (bits > 8 ? 8 : bits)) : 12;
        const uint64_t have = fileSize - 54 < want ? fileSize - 54 : want;
        if (have == 0) return -1;
        memcpy(info.colors, file + 54, (size_t)(have > sizeof(info.colors) ? sizeof(info.colors) : have));
    }
    const uint64_t offset = ImageLoad_Le32(file + 10);
    if (offset > fileSize) return -1;
    const uint8_t* data = file + offset;
    const uint64_t dataSize = fileSize - offset;
    if (!headerOnly && dataSize == 0) return -1;

    image->width = (int)width;
    image->height = (int)height;
    const int64_t rowSize = Bmp_RowSize(width, bits);
    if (rowSize < 0 || ImageLoad_Size(rowSize, height) < 0) return -1;
    const bool rle = (compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4);
    const bool unpacked = compression == BI_RGB && (bits == 1 || bits == 4);
    ColorFormatDesc fieldFormat;
    const bool plain = compression == BI_RGB && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    const bool fields = compression == BI_BITFIELDS && (bits == 16 || bits == 32) &&
                        Bmp_BitFieldFormat(bits, info.colors[0], info.colors[1], info.colors[2], &fieldFormat);

    if (rle || unpacked) {
        const int entries = 1 << bits;
        Bmp_SetPaletteFormat(&image->format, info.colors, entries);
        const int64_t pitch = bits == 8 ? rowSize : (width + 3) / 4 * 4;
        if (ImageLoad_Size(pitch, height) < 0) return -1;
        image->pitch = (int)pitch;
        if (headerOnly) return 0;
        if (!rle && dataSize < (uint64_t)(rowSize * height)) return -1;
        uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate(pitch * height, __LINE__));
        if (pixels == nullptr) return -1;
        if (rle) {
            memset(pixels, 0, (size_t)(pitch * height));
            Bmp_DecodeRle(data, dataSize, bits == 4, (int)width, (int)height, bottomUp, pixels, pitch);
        } else {
            const int perByte = 8 / bits, mask = (1 << bits) - 1;
            for (int64_t y = 0; y < height; y++) {
                const uint8_t* src = data + (bottomUp ? height - 1 - y : y) * rowSize;
                uint8_t* dst = pixels + y * pitch;
                for (int64_t x = 0; x < width; x++)
                    dst[x] = (uint8_t)((src[x / perByte] >> (8 - bits * (1 + x % perByte))) & mask);
            }
        }
        image->pixels = pixels;
        return 0;
    }
    if (plain || fields) {
        if (fields) image->format = fieldFormat;
        else if (bits == 8) Bmp_SetPaletteFormat(&image->format, info.colors, 256);
        else if (bits == 16) BaseImage_ColorFormat_InitX1R5G5B5(&image->format);
        else if (bits == 24) BaseImage_ColorFormat_InitRGB24(&image->format);
        else BaseImage_ColorFormat_InitARGB8(&image->format);
        image->pitch = (int)rowSize;
        if (headerOnly) return 0;
        if (dataSize < (uint64_t)(rowSize * height)) return -1;
        image->pixels = Bmp_CopyRows(data, rowSize, height, bottomUp);
        if (image->pixels == nullptr) return -1;
        // Bitmaps that never wrote their fourth bytes are opaque, not invisible.
        if (plain && bits == 32 && Bmp_AllAlphaZero(static_cast<uint8_t*>(image->pixels), rowSize, (int)width, (int)height))
            BaseImage_ColorFormat_InitXRGB8(&image->format);
        return 0;
    }
    // Everything else is drawn by GDI; compressions beyond run lengths and bit fields are refused
    // (GDI cannot draw them into a section), and uncompressed data must hold its rows.
    if (compression != BI_RGB && compression != BI_BITFIELDS && compression != BI_RLE8 && compression != BI_RLE4)
        return -1;
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        if (dataSize < (uint64_t)(rowSize * height)) return -1;
    }
    if (headerOnly) {
        BaseImage_ColorFormat_InitRGB24(&image->format);
        image->pitch = (int)Bmp_RowSize(width, 24);
        return 0;
    }
    const uint32_t bitsSize = dataSize > 0x7FFFFFFF ? 0x7FFFFFFF : (uint32_t)dataSize;
    return Bmp_RedrawByGdi(reinterpret_cast<const BITMAPINFO*>(&info), data, bitsSize, image);
}

// Shift and width of a mask's run of set bits (shift 32 for a zero mask).
void Bmp_MaskShiftWidth(uint32_t mask, uint8_t* shift, uint8_t* width)
{
    if (mask == 0) {
        *shift = 32;
        *width = 0;
        return;
    }
    int s = 0;
    while (((mask >> s) & 1) == 0) s++;
    int w = 0;
    while (s + w < 32 && ((mask >> (s + w)) & 1) != 0) w++;
    *shift = (uint8_t)s;
    *width = (uint8_t)w;
}

}  // namespace

int BaseImage_LoadBmp(Stream* stream, BaseImage* image, int headerOnly)
{
    return ImageLoad_DecodeStream(stream, image, headerOnly, Bmp_Decode);
}

int BaseImage_ConvertFromDIB(const BITMAPINFO* info, const void* bits, BaseImage* out, int copy)
{
    memset(out, 0, sizeof(*out));
    if (info == nullptr || bits == nullptr) return -1;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biWidth <= 0 || h.biHeight == 0) return -1;
    const int64_t height = h.biHeight < 0 ? -(int64_t)h.biHeight : h.biHeight;
    out->width = h.biWidth;
    out->height = (int)height;
    const int count = h.biBitCount;
    const bool direct = h.biHeight < 0 && (count == 16 || count == 24 || count == 32) &&
                        (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
    if (!direct) {
        const int64_t rowSize = Bmp_RowSize(h.biWidth, count > 32 ? 32 : count);
        const int64_t size = rowSize < 0 ? -1 : ImageLoad_Size(rowSize, height);
        if (size < 0) return -1;
        BaseImage redrawn = {};
        if (Bmp_RedrawByGdi(info, bits, (uint32_t)size, &redrawn) != 0) return -1;
        *out = redrawn;
        return 1;
    }
    ColorFormatDesc& f = out->format;
    if (h.biCompression == BI_BITFIELDS) {
        const uint32_t* masks = reinterpret_cast<const uint32_t*>(&h + 1);
        f.bitDepth = (uint8_t)count;
        f.bytesPerPixel = (uint8_t)(count / 8);
        f.redMask = masks[0];
        f.greenMask = masks[1];
        f.blueMask = masks[2];
        Bmp_MaskShiftWidth(f.redMask, &f.redShift, &f.redWidth);
        Bmp_MaskShiftWidth(f.greenMask, &f.greenShift, &f.greenWidth);
        Bmp_MaskShiftWidth(f.blueMask, &f.blueShift, &f.blueWidth);
        f.alphaShift = 32;
        BaseImage_ColorFormat_SetUnusedMask(&f);
    } else if (count == 16) {
        BaseImage_ColorFormat_InitX1R5G5B5(&f);
    } else if (count == 24) {
        BaseImage_ColorFormat_InitRGB24(&f);
        BaseImage_ColorFormat_SetUnusedMask(&f);
    } else {
        BaseImage_ColorFormat_InitXRGB8(&f);   // the fourth byte of a 32-bit DIB is unused
    }
    const int64_t pitch = ((int64_t)f.bytesPerPixel * h.biWidth + 3) / 4 * 4;
    const int64_t size = ImageLoad_Size(pitch, height);
    if (size < 0) return -1;
    out->pitch = (int)pitch;
    if (copy == 1) {
        out->pixels = ImageLoad_Allocate(size, __LINE__);
        if (out->pixels == nullptr) return -1;
        memcpy(out->pixels, bits, (size_t)size);
        return 1;
    }
    out->pixels = const_cast<void*>(bits);
    return copy;
}

int BaseImage_ConvertToDIB(const BaseImage* image, BITMAPINFO* out, void** bitsOut, int forceCopy, int force24)
{
    memset(out, 0, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER& h = out->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = image->width;
    h.biHeight = -image->height;
    h.biPlanes = 1;
    h.biCompression = BI_RGB;
    const ColorFormatDesc& f = image->format;
    const bool eightBit = f.bitDepth == 8 && f.channelCount == 0 && !force24;
    h.biBitCount = eightBit ? 8 : 24;
    if (eightBit) memcpy(out->bmiColors, f.palette, sizeof(f.palette));
    const int64_t rowSize = eightBit ? ((int64_t)image->width + 3) / 4 * 4 : ((int64_t)image->width * 3 + 3) / 4 * 4;
    const int64_t size = ImageLoad_Size(rowSize, image->height);
    if (size < 0) return -1;
    const bool rgb24 = !eightBit && f.formatCode == 0 && f.channelCount == 0 && f.bitDepth == 24 &&
                       f.redMask == 0xFF0000u && f.greenMask == 0xFF00u && f.blueMask == 0xFFu;
    if ((eightBit || rgb24) && forceCopy != 1 && rowSize == image->pitch) {
        *bitsOut = image->pixels;
        return forceCopy;
    }
    uint8_t* bits = static_cast<uint8_t*>(ImageLoad_Allocate(size, __LINE__));
    if (bits == nullptr) return -1;
    if (eightBit || rgb24) {
        const size_t rowBytes = (size_t)image->width * (eightBit ? 1 : 3);
        for (int y = 0; y < image->height; y++)
            memcpy(bits + y * rowSize, static_cast<const uint8_t*>(image->pixels) + (int64_t)y * image->pitch, rowBytes);
    } else {
        ColorFormatDesc target;
        memset(&target, 0, sizeof(target));
        BaseImage_ColorFormat_InitRGB24(&target);
        const BaseImageRect whole = {0, 0, image->width, image->height};
        BaseImage_ColorConvertBlt(bits, (int)rowSize, &target, image->pixels, image->pitch, &f, nullptr, 0, nullptr, 0, 0,
                                  &whole, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    *bitsOut = bits;
    return 1;
}

HBITMAP CreateDIBGraph(const BITMAPINFO* info, const void* bits, int mirror, ColorFormatDesc* wantedFormat)
{
    WinAPI_EnsureLoaded();
    if (info == nullptr || bits == nullptr) return nullptr;
    HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
    if (dc == nullptr) return nullptr;
    BmpInfo* header = static_cast<BmpInfo*>(Memory_AllocateZeroed(sizeof(BmpInfo), "VtImageLoadBmp", __LINE__));
    if (header == nullptr) {
        Log_AddTextShiftJIS("メモリの確保に失敗しました in CreateDIBGraph \n");
        WinAPITable.DeleteDC(dc);
        return nullptr;
    }
    const BITMAPINFOHEADER& src = info->bmiHeader;
    const LONG height = src.biHeight < 0 ? -src.biHeight : src.biHeight;
    header->header.biSize = sizeof(BITMAPINFOHEADER);
    header->header.biWidth = src.biWidth;
    header->header.biHeight = -height;
    header->header.biPlanes = 1;
    if (wantedFormat != nullptr && wantedFormat->bitDepth != 0) {
        const int depth = wantedFormat->bitDepth;
        const bool masked = depth == 16 || (depth > 24 && src.biBitCount != 24);
        if (depth > 24 && src.biBitCount == 24) BaseImage_ColorFormat_InitRGB24(wantedFormat);
        header->header.biBitCount = (WORD)(depth > 24 && src.biBitCount == 24 ? 24 : depth);
        header->header.biCompression = masked ? BI_BITFIELDS : BI_RGB;
        if (masked) {
            header->colors[0] = wantedFormat->redMask;
            header->colors[1] = wantedFormat->greenMask;
            header->colors[2] = wantedFormat->blueMask;
        }
    } else if (src.biBitCount == 8) {
        header->header.biBitCount = 8;
        header->header.biCompression = src.biCompression;
        memcpy(header->colors, info->bmiColors, sizeof(header->colors));
    } else {
        header->header.biBitCount = 24;
        header->header.biCompression = BI_RGB;
    }
    void* sectionBits = nullptr;
    HBITMAP bitmap = WinAPITable.CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS,
                                                  &sectionBits, nullptr, 0);
    Memory_Free(header);
    if (bitmap == nullptr) {
        Log_AddTextUTF16(L"ＤＩＢの作成に失敗しました3\n");
        WinAPITable.DeleteDC(dc);
        return nullptr;
    }
    BITMAP object = {};
    WinAPITable.GetObjectA(bitmap, sizeof(object), &object);
    if (object.bmBits == nullptr) {
        Log_AddTextUTF16(L"ＤＩＢの作成に失敗しました2\n");
        WinAPITable.DeleteObject(bitmap);
        WinAPITable.DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ old = WinAPITable.SelectObject(dc, bitmap);
    int drawn;
    if (mirror) {
        drawn = WinAPITable.StretchDIBits(dc, 0, 0, src.biWidth, src.biHeight, src.biWidth - 1, 0, -src.biWidth, height,
                                          bits, info, DIB_RGB_COLORS, SRCCOPY);
    } else {
        drawn = WinAPITable.SetDIBitsToDevice(dc, 0, 0, src.biWidth, height, 0, 0, 0, height, bits, info,
                                              DIB_RGB_COLORS);
    }
    WinAPITable.SelectObject(dc, old);
    WinAPITable.DeleteDC(dc);
    if (drawn <= 0) {
        // A section GDI could not draw into holds nothing of the source.
        Log_AddTextUTF16(L"ＤＩＢへの描画に失敗しました\n");
        WinAPITable.DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

HBITMAP BaseImage_LoadDIBGraph(const wchar_t* fileName, const void* memImage, int memSize, int fromMemory, int mirror,
                               ColorFormatDesc* wantedFormat)
{
    BaseImageLoadSettings settings;
    BaseImage_InitLoadSettings(&settings, 0);
    BITMAPINFO* info = nullptr;
    void* bits = nullptr;
    if (BaseImage_LoadImageOrDIB(&settings, fileName, memImage, memSize, fromMemory, 1, 0, 0, nullptr, &info, &bits) !=
        0)
        return nullptr;
    HBITMAP bitmap = CreateDIBGraph(info, bits, mirror, wantedFormat);
    Memory_Free(info);
    Memory_Free(bits);
    return bitmap;
}

HBITMAP LoadDIBGraph(const wchar_t* fileName, int mirror, ColorFormatDesc* wantedFormat)
{
    return BaseImage_LoadDIBGraph(fileName, nullptr, 0, 0, mirror, wantedFormat);
}

}  // namespace Vantrel
