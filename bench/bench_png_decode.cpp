// PNG decoding: the library's own decoder against libpng (when the build has it) and the Windows
// Imaging Component on the same files, in one run: photographic and flat-colour images of 1, 2 and
// 4 megapixels written at start. Prints milliseconds per image and the ratio other / own (above 1:
// the own decoder is faster).
#include <windows.h>
#include <objbase.h>
#include <stdio.h>

#include <algorithm>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "foundation/VtStream.h"
#include "image/VtImageLoad.h"
#include "tests/image/ImageLoadFixtures.h"

using namespace Vantrel;
using namespace ImageFixtures;

namespace {

double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// Milliseconds per run: the best of three rounds of at least 0.2 s.
double Time(const std::function<bool()>& body)
{
    if (!body()) return -1;
    double best = 1e30;
    for (int round = 0; round < 3; round++) {
        int count = 0;
        const double start = Now();
        do {
            body();
            count++;
        } while (Now() - start < 0.2);
        best = std::min(best, (Now() - start) * 1000.0 / count);
    }
    return best;
}

bool Decode(ImageLoaderProc loader, const Bytes& file)
{
    Stream stream = {*File_GetMemStreamOps(), File_MemStream_Open(file.data(), (uint32_t)file.size())};
    BaseImage image = {};
    const int result = loader(&stream, &image, 0);
    stream.ops.Close(stream.data);
    BaseImage_Release(&image);
    return result == 0;
}

// A smooth picture with sensor noise (RGB) or large areas of a few colours (RGB + alpha).
PngSpec Picture(int width, int height, bool photographic)
{
    PngSpec s;
    s.width = width, s.height = height, s.bitDepth = 8, s.colorType = photographic ? 2 : 6;
    s.samples.reserve((size_t)width * height * (photographic ? 3 : 4));
    std::mt19937 random(7);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            if (photographic) {
                const double u = (double)x / width, v = (double)y / height;
                const int noise = (int)(random() % 9) - 4;
                s.samples.push_back((uint16_t)std::clamp((int)(128 + 100 * std::sin(u * 7 + v * 3)) + noise, 0, 255));
                s.samples.push_back((uint16_t)std::clamp((int)(128 + 90 * std::cos(u * 4 - v * 5)) + noise, 0, 255));
                s.samples.push_back((uint16_t)std::clamp((int)(60 + 150 * u * v) + noise, 0, 255));
            } else {
                const int cell = ((x / 97) + (y / 61) * 3) % 5;
                const uint16_t colours[5][4] = {{255, 255, 255, 255}, {30, 60, 200, 255}, {200, 40, 40, 255},
                                                {0, 0, 0, 0}, {240, 200, 0, 128}};
                for (int c = 0; c < 4; c++) s.samples.push_back(colours[cell][c]);
            }
        }
    }
    return s;
}

}  // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BaseImage_Platform_Initialize();
    printf("PNG decoding, milliseconds per image (ratio = other / own; above 1: own is faster)\n");
    printf("%-14s %6s %9s %9s %7s %9s %7s\n", "image", "MP", "own", "libpng", "ratio", "WIC", "ratio");
    const struct {
        int width, height;
    } sizes[] = {{1024, 1024}, {1600, 1250}, {2048, 2048}};
    for (bool photographic : {true, false}) {
        for (auto size : sizes) {
            const Bytes file = Png(Picture(size.width, size.height, photographic), 4);
            const double own = Time([&] { return Decode(BaseImage_LoadPngOwn, file); });
            const double lib = BaseImage_HasLibPng() ? Time([&] { return Decode(BaseImage_LoadPngLib, file); }) : -1;
            const double wic = BaseImage_Platform_HasFactory() ? Time([&] { return Decode(BaseImage_LoadByWic, file); }) : -1;
            printf("%-14s %6.1f %9.2f %9.2f %7.2f %9.2f %7.2f\n", photographic ? "photographic" : "flat colour",
                   size.width * size.height / 1e6, own, lib, lib > 0 ? lib / own : 0.0, wic, wic > 0 ? wic / own : 0.0);
        }
    }
    BaseImage_Platform_Terminate();
    return 0;
}
