// The conversion blit and the memory-image alpha blend of 512 x 512 images against what a Windows
// program would otherwise use, in the same run: GDI's SetDIBitsToDevice and StretchDIBits into a
// 32-bit DIB section, and AlphaBlend between 32-bit DIB sections.
// Prints milliseconds per 512 x 512 image for each and the ratio GDI / library (above 1: the
// library is faster).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <cstring>
#include <functional>
#include <vector>

#include "image/VtBaseImage.h"
#include "image/VtMemImg.h"

using namespace Vantrel;

namespace {

constexpr int Size = 512;

double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// Milliseconds per run: the best of five rounds, each long enough to measure.
double Time(const std::function<void()>& body)
{
    body();
    int count = 1;
    for (;;) {
        const double start = Now();
        for (int i = 0; i < count; i++) body();
        if (Now() - start > 0.05) break;
        count *= 2;
    }
    double best = 1e30;
    for (int round = 0; round < 5; round++) {
        const double start = Now();
        for (int i = 0; i < count; i++) body();
        const double ms = (Now() - start) * 1000.0 / count;
        if (ms < best) best = ms;
    }
    return best;
}

void Report(const char* what, double library, const char* gdiName, double gdi)
{
    printf("%-34s library %8.3f ms   %-18s %8.3f ms   GDI/library %5.2fx\n", what, library, gdiName, gdi, gdi / library);
}

// A 32-bit top-down DIB section selected into its own memory DC.
struct DibSection {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint32_t* bits = nullptr;
    DibSection()
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = Size;
        info.bmiHeader.biHeight = -Size;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = (uint32_t*)pixels;
        old = SelectObject(dc, bitmap);
    }
    ~DibSection()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

// BITMAPINFO of a top-down source of the given depth; 16 bits as R5G6B5 bit fields.
struct SourceInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
    explicit SourceInfo(int bits)
    {
        memset(this, 0, sizeof(*this));
        header.biSize = sizeof(BITMAPINFOHEADER);
        header.biWidth = Size;
        header.biHeight = -Size;
        header.biPlanes = 1;
        header.biBitCount = (WORD)bits;
        header.biCompression = bits == 16 ? BI_BITFIELDS : BI_RGB;
        masks[0] = 0xF800;
        masks[1] = 0x7E0;
        masks[2] = 0x1F;
    }
};

void BenchConversion(const char* name, int bits, const ColorFormatDesc& sourceFormat, DibSection& target)
{
    const int pitch = (Size * bits / 8 + 3) / 4 * 4;
    std::vector<uint8_t> source((size_t)pitch * Size);
    uint32_t random = 99;
    for (uint8_t& b : source) b = (uint8_t)((random = random * 1664525u + 1013904223u) >> 24);
    ColorFormatDesc xrgb8;
    memset(&xrgb8, 0, sizeof(xrgb8));
    BaseImage_ColorFormat_InitXRGB8(&xrgb8);
    const BaseImageRect rect = {0, 0, Size, Size};
    const double library = Time([&] {
        BaseImage_ColorConvertBlt(target.bits, Size * 4, &xrgb8, source.data(), pitch, &sourceFormat, nullptr, 0,
                                  nullptr, 0, 0, &rect, 0, 0, 0, 0, 0, 0, 0, 0);
    });
    SourceInfo info(bits);
    const double setDibits = Time([&] {
        SetDIBitsToDevice(target.dc, 0, 0, Size, Size, 0, 0, 0, Size, source.data(), (BITMAPINFO*)&info, DIB_RGB_COLORS);
        GdiFlush();
    });
    const double stretch = Time([&] {
        StretchDIBits(target.dc, 0, 0, Size, Size, 0, 0, Size, Size, source.data(), (BITMAPINFO*)&info, DIB_RGB_COLORS,
                      SRCCOPY);
        GdiFlush();
    });
    char what[64];
    snprintf(what, sizeof(what), "convert %s -> XRGB8", name);
    Report(what, library, "SetDIBitsToDevice", setDibits);
    Report(what, library, "StretchDIBits", stretch);
}

typedef BOOL(WINAPI* AlphaBlendProc)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

void BenchBlend(AlphaBlendProc alphaBlend, int opacity)
{
    // Translucent everywhere: alpha runs over 1..254 so no run is skipped or copied whole.
    std::vector<uint32_t> straight((size_t)Size * Size);
    for (int y = 0; y < Size; y++)
        for (int x = 0; x < Size; x++) {
            const uint32_t a = 1 + (uint32_t)(x + y) % 254;
            straight[(size_t)y * Size + x] = a << 24 | (uint32_t)(x & 255) << 16 | (uint32_t)(y & 255) << 8 | (uint32_t)((x ^ y) & 255);
        }
    BaseImage image = {};
    BaseImage_CreateARGB8(Size, Size, &image);
    memcpy(image.pixels, straight.data(), straight.size() * 4);
    MEMIMG source = {}, destination = {};
    MemImg_Setup(&source, Size, Size, -1, 0, MemImgColorType_XRGB8, 0, 1, 1, nullptr);
    MemImg_BltBaseImage(&image, nullptr, &source, 0, 0, Size, Size, 0, 0, 0);
    MemImg_SetupWithDefaults(&destination, Size, Size, MemImgColorType_XRGB8);
    MemImg_FillRect(&destination, nullptr, 0xFF336699u);
    const int32_t area[4] = {0, 0, Size, Size};
    MemImg_SetDrawArea(area);
    MemImg_SetBlendMode(1, opacity);
    const double library = Time([&] { MemImg_DrawImage(&destination, &source, 0, 0, 0); });

    // GDI takes premultiplied source pixels.
    DibSection gdiSource, gdiTarget;
    BaseImage_ConvertPremultipliedAlpha(&image);
    memcpy(gdiSource.bits, image.pixels, (size_t)Size * Size * 4);
    for (int i = 0; i < Size * Size; i++) gdiTarget.bits[i] = 0xFF336699u;
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, (BYTE)opacity, AC_SRC_ALPHA};
    const double gdi = Time([&] {
        alphaBlend(gdiTarget.dc, 0, 0, Size, Size, gdiSource.dc, 0, 0, Size, Size, blend);
        GdiFlush();
    });
    char what[64];
    snprintf(what, sizeof(what), "alpha blend ARGB8, opacity %d", opacity);
    Report(what, library, "AlphaBlend", gdi);
    MemImg_Release(&source);
    MemImg_Release(&destination);
    BaseImage_Release(&image);
}

}  // namespace

int main()
{
    printf("512 x 512 images, milliseconds per image (best of 5 rounds)\n");
    DibSection target;
    ColorFormatDesc argb8, rgb24, rgb565, xrgb8;
    memset(&argb8, 0, sizeof(argb8));
    rgb24 = rgb565 = xrgb8 = argb8;
    BaseImage_ColorFormat_InitARGB8(&argb8);
    BaseImage_ColorFormat_InitXRGB8(&xrgb8);
    BaseImage_ColorFormat_InitRGB24(&rgb24);
    BaseImage_ColorFormat_InitR5G6B5(&rgb565);
    BenchConversion("ARGB8", 32, argb8, target);
    BenchConversion("XRGB8", 32, xrgb8, target);
    BenchConversion("RGB24", 24, rgb24, target);
    BenchConversion("R5G6B5", 16, rgb565, target);

    HMODULE msimg = LoadLibraryW(L"msimg32.dll");
    AlphaBlendProc alphaBlend = msimg ? (AlphaBlendProc)(void*)GetProcAddress(msimg, "AlphaBlend") : nullptr;
    if (alphaBlend == nullptr) {
        printf("AlphaBlend is not available\n");
        return 1;
    }
    BenchBlend(alphaBlend, 255);
    BenchBlend(alphaBlend, 128);
    return 0;
}
