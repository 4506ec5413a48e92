// Software graph filters on a 1024 x 1024 ARGB image against the same operations written plainly
// (a straight per-pixel loop in doubles, as a user would write it), in the same run: the Gaussian
// blur with 16 taps and bicubic resampling to 1536 x 1536.
// Prints milliseconds per image for each and the ratio plain / library (above 1: the library is faster).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <cmath>
#include <functional>
#include <vector>

#include "graphics/VtGraphFilter.h"
#include "image/VtBaseImageStart.h"

using namespace Vantrel;

namespace {

constexpr int Size = 1024;
constexpr int ScaledSize = 1536;

double Now()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

// Milliseconds per run: the best of three.
double Time(const std::function<void()>& body)
{
    double best = 1e30;
    for (int round = 0; round < 3; round++) {
        const double start = Now();
        body();
        const double ms = (Now() - start) * 1000.0;
        if (ms < best) best = ms;
    }
    return best;
}

uint8_t* Pixel(const BaseImage& image, int x, int y)
{
    return static_cast<uint8_t*>(image.pixels) + (int64_t)y * image.pitch + x * 4;
}

int Clamp(int i, int count) { return i < 0 ? 0 : i >= count ? count - 1 : i; }

// The blur a user would write: a 31-tap kernel in doubles, horizontal then vertical, per pixel and channel.
void PlainGauss(const BaseImage& source, BaseImage& destination, const float* kernel, int n)
{
    const int reach = 2 * (n - 1);
    std::vector<double> weight(2 * reach + 1, 0.0);
    weight[reach] = kernel[0];
    for (int k = 1; k < n; k++)
        for (int j : {2 * k - 1, 2 * k}) weight[reach + j] = weight[reach - j] = kernel[k] / 2.0;
    std::vector<double> mid((size_t)Size * Size * 4);
    for (int y = 0; y < Size; y++)
        for (int x = 0; x < Size; x++)
            for (int c = 0; c < 4; c++) {
                double sum = 0;
                for (int j = -reach; j <= reach; j++) sum += weight[reach + j] * Pixel(source, Clamp(x + j, Size), y)[c];
                mid[((size_t)y * Size + x) * 4 + c] = sum;
            }
    for (int y = 0; y < Size; y++)
        for (int x = 0; x < Size; x++)
            for (int c = 0; c < 4; c++) {
                double sum = 0;
                for (int j = -reach; j <= reach; j++) sum += weight[reach + j] * mid[((size_t)Clamp(y + j, Size) * Size + x) * 4 + c];
                Pixel(destination, x, y)[c] = (uint8_t)sum;
            }
}

// Bicubic resampling a user would write: weights worked per output pixel, 16 taps per channel.
void PlainBicubic(const BaseImage& source, BaseImage& destination)
{
    const int sw = source.width, sh = source.height, dw = destination.width, dh = destination.height;
    for (int y = 0; y < dh; y++)
        for (int x = 0; x < dw; x++) {
            const double u = (x + 0.5) * sw / dw - 0.5, v = (y + 0.5) * sh / dh - 0.5;
            const int iu = (int)std::floor(u), iv = (int)std::floor(v);
            for (int c = 0; c < 4; c++) {
                double sum = 0;
                for (int j = iv - 1; j <= iv + 2; j++)
                    for (int i = iu - 1; i <= iu + 2; i++)
                        sum += GraphFilter_BicubicWeight(u - i) * GraphFilter_BicubicWeight(v - j) *
                               Pixel(source, Clamp(i, sw), Clamp(j, sh))[c];
                Pixel(destination, x, y)[c] = (uint8_t)(sum < 0 ? 0 : sum > 255 ? 255 : sum + 0.5);
            }
        }
}

}  // namespace

int main()
{
    BaseImage_EnsureTables();
    BaseImage source, middle, library, plain, scaledLibrary, scaledPlain;
    if (BaseImage_CreateARGB8(Size, Size, &source) != 0 || BaseImage_CreateARGB8(Size, Size, &middle) != 0 ||
        BaseImage_CreateARGB8(Size, Size, &library) != 0 || BaseImage_CreateARGB8(Size, Size, &plain) != 0 ||
        BaseImage_CreateARGB8(ScaledSize, ScaledSize, &scaledLibrary) != 0 ||
        BaseImage_CreateARGB8(ScaledSize, ScaledSize, &scaledPlain) != 0) {
        printf("could not create the images\n");
        return 1;
    }
    for (int y = 0; y < Size; y++)
        for (int x = 0; x < Size; x++) {
            const uint32_t seed = (uint32_t)(x * 73 + y * 151 + ((x * y) >> 3));
            for (int c = 0; c < 4; c++) Pixel(source, x, y)[c] = (uint8_t)(seed * (7 + c * 6) >> (c + 1));
        }

    const int taps = 16, n = taps / 2;
    const float* kernel = GraphFilter_GaussKernel(taps, 4.0f);
    int32_t weights[16];
    for (int k = 0; k < n; k++) weights[k] = (int32_t)(kernel[k] * 65536.0f);
    const double gaussLibrary = Time([&] { GraphFilter_GaussImage(&source, &middle, &library, weights, n); });
    const double gaussPlain = Time([&] { PlainGauss(source, plain, kernel, n); });
    const double bicubicLibrary = Time([&] { GraphFilter_BicubicImage(&source, &scaledLibrary); });
    const double bicubicPlain = Time([&] { PlainBicubic(source, scaledPlain); });

    int gaussWorst = 0, bicubicWorst = 0;
    for (int y = 0; y < Size; y++)
        for (int x = 0; x < Size * 4; x++) {
            const int d = std::abs((int)Pixel(library, 0, y)[x] - (int)Pixel(plain, 0, y)[x]);
            if (d > gaussWorst) gaussWorst = d;
        }
    for (int y = 0; y < ScaledSize; y++)
        for (int x = 0; x < ScaledSize * 4; x++) {
            const int d = std::abs((int)Pixel(scaledLibrary, 0, y)[x] - (int)Pixel(scaledPlain, 0, y)[x]);
            if (d > bicubicWorst) bicubicWorst = d;
        }
    printf("gauss 16 taps 1024x1024:     library %8.2f ms  plain %8.2f ms  ratio %5.2f  (largest difference %d)\n",
           gaussLibrary, gaussPlain, gaussPlain / gaussLibrary, gaussWorst);
    printf("bicubic 1024x1024->1536x1536: library %8.2f ms  plain %8.2f ms  ratio %5.2f  (largest difference %d)\n",
           bicubicLibrary, bicubicPlain, bicubicPlain / bicubicLibrary, bicubicWorst);
    BaseImage_Release(&source);
    BaseImage_Release(&middle);
    BaseImage_Release(&library);
    BaseImage_Release(&plain);
    BaseImage_Release(&scaledLibrary);
    BaseImage_Release(&scaledPlain);
    return 0;
}
