// Scaling filters: block down-scale by 2, 4 or 8 (device or software), bicubic and Lanczos-3
// resampling and the float colour scale (device passes only), and the bicubic resampler over ARGB8
// images that the device's resampling is held to. Stands on the filter framework.
#include <emmintrin.h>

#include <cmath>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

int GraphFilter_DownScale(GraphFilterContext* context, int divisor)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_DownScale(context, divisor) < 0 ? -1 : 0;
    }
    const int d = divisor >= 8 ? 8 : divisor >= 4 ? 4 : divisor >= 2 ? 2 : 1;
    const int shift = d == 8 ? 6 : d == 4 ? 4 : d == 2 ? 2 : 0;
    const unsigned w = (unsigned)(context->X2 - context->X1), h = (unsigned)(context->Y2 - context->Y1);
    const int outWidth = (int)(w / (unsigned)d), outHeight = (int)(h / (unsigned)d);
    // A rectangle narrower or lower than the divisor reduces to nothing: nothing is written.
    if (outWidth == 0 || outHeight == 0) return 0;
    if (GraphFilter_Software_Begin(context, 1, outWidth, outHeight, nullptr) != 0) return -1;
    for (int y = 0; y < outHeight; y++) {
        uint8_t* out = GraphFilter_Row(&context->DestImage, y);
        for (int x = 0; x < outWidth; x++) {
            uint32_t sum[4] = {0, 0, 0, 0};
            for (int by = 0; by < d; by++) {
                const uint8_t* in = GraphFilter_Row(&context->SourceImage, y * d + by) + (int64_t)x * d * 4;
                for (int bx = 0; bx < d * 4; bx += 4)
                    for (int c = 0; c < 4; c++) sum[c] += in[bx + c];
            }
            for (int c = 0; c < 4; c++) out[x * 4 + c] = (uint8_t)(sum[c] >> shift);
        }
    }
    return GraphFilter_Software_End(context);
}

// The device-only kinds: without the shader-usable flag they change nothing.
int GraphFilter_Bicubic(GraphFilterContext* context, int width, int height)
{
    if (!GraphFilter_UseDevice()) return 0;
    return Graphics_Dispatch_GraphFilter_Bicubic(context, width, height) < 0 ? -1 : 0;
}

int GraphFilter_Lanczos3(GraphFilterContext* context, int width, int height)
{
    if (!GraphFilter_UseDevice()) return 0;
    return Graphics_Dispatch_GraphFilter_Lanczos3(context, width, height) < 0 ? -1 : 0;
}

int GraphFilter_FloatColorScale(GraphFilterContext* context, const float* values)
{
    if (!GraphFilter_UseDevice()) return 0;
    return Graphics_Dispatch_GraphFilter_FloatColorScale(context, values) < 0 ? -1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Bicubic resampling
// ---------------------------------------------------------------------------------------------

double GraphFilter_BicubicWeight(double x)
{
    const double a = -0.5;
    x = std::fabs(x);
    if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0) return ((a * x - 5.0 * a) * x + 8.0 * a) * x - 4.0 * a;
    return 0.0;
}

// The four source positions and weights of every output position along one axis.
struct GraphFilterBicubicTaps {
    int32_t Index[4];
    float Weight[4];
};

static void GraphFilter_BicubicAxis(int sourceSize, int outputSize, GraphFilterBicubicTaps* taps)
{
    const double step = (double)sourceSize / outputSize;
    for (int i = 0; i < outputSize; i++) {
        const double u = (i + 0.5) * step - 0.5;
        const double base = std::floor(u);
        const double f = u - base;
        for (int k = 0; k < 4; k++) {
            int index = (int)base - 1 + k;
            index = index < 0 ? 0 : index >= sourceSize ? sourceSize - 1 : index;
            taps[i].Index[k] = index;
            taps[i].Weight[k] = (float)GraphFilter_BicubicWeight(f + 1.0 - k);
        }
    }
}

static inline __m128 GraphFilter_PixelToFloats(const uint8_t* p)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(*reinterpret_cast<const int32_t*>(p));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

// The source row filtered across into outputWidth float pixels.
static void GraphFilter_BicubicRow(const uint8_t* row, const GraphFilterBicubicTaps* columns, int outputWidth,
                                   __m128* out)
{
    for (int x = 0; x < outputWidth; x++) {
        const GraphFilterBicubicTaps& t = columns[x];
        __m128 sum = _mm_mul_ps(GraphFilter_PixelToFloats(row + t.Index[0] * 4), _mm_set1_ps(t.Weight[0]));
        for (int k = 1; k < 4; k++)
            sum = _mm_add_ps(sum, _mm_mul_ps(GraphFilter_PixelToFloats(row + t.Index[k] * 4), _mm_set1_ps(t.Weight[k])));
        out[x] = sum;
    }
}

int GraphFilter_BicubicImage(const BaseImage* source, BaseImage* destination)
{
    const int sw = source->width, sh = source->height, dw = destination->width, dh = destination->height;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return -1;
    // Column and row taps, then four filtered source rows kept by row index.
    const int64_t tapBytes = (int64_t)(dw + dh) * sizeof(GraphFilterBicubicTaps);
    const int64_t rowBytes = (int64_t)dw * sizeof(__m128) * 4 + 16;
    if (tapBytes + rowBytes > 0x7FFFFFFF) return -1;
    uint8_t* memory = static_cast<uint8_t*>(Memory_Allocate((uint32_t)(tapBytes + rowBytes), __FILE__, __LINE__));
    if (memory == nullptr) return -1;
    GraphFilterBicubicTaps* columns = reinterpret_cast<GraphFilterBicubicTaps*>(memory);
    GraphFilterBicubicTaps* rows = columns + dw;
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(memory + tapBytes) + 15) & ~(uintptr_t)15;
    __m128* cache[4];
    int cachedRow[4];
    for (int k = 0; k < 4; k++) {
        cache[k] = reinterpret_cast<__m128*>(aligned) + (int64_t)k * dw;
        cachedRow[k] = -1;
    }
    GraphFilter_BicubicAxis(sw, dw, columns);
    GraphFilter_BicubicAxis(sh, dh, rows);
    for (int y = 0; y < dh; y++) {
        const GraphFilterBicubicTaps& t = rows[y];
        const __m128* line[4];
        for (int k = 0; k < 4; k++) {
            const int index = t.Index[k];
            const int slot = index & 3;  // four consecutive rows never share a slot
            if (cachedRow[slot] != index) {
                GraphFilter_BicubicRow(GraphFilter_Row(source, index), columns, dw, cache[slot]);
                cachedRow[slot] = index;
            }
            line[k] = cache[slot];
        }
        const __m128 w0 = _mm_set1_ps(t.Weight[0]), w1 = _mm_set1_ps(t.Weight[1]);
        const __m128 w2 = _mm_set1_ps(t.Weight[2]), w3 = _mm_set1_ps(t.Weight[3]);
        uint8_t* out = GraphFilter_Row(destination, y);
        for (int x = 0; x < dw; x++) {
            __m128 sum = _mm_add_ps(_mm_add_ps(_mm_mul_ps(line[0][x], w0), _mm_mul_ps(line[1][x], w1)),
                                    _mm_add_ps(_mm_mul_ps(line[2][x], w2), _mm_mul_ps(line[3][x], w3)));
            const __m128i v = _mm_cvtps_epi32(sum);  // nearest
            const __m128i words = _mm_packs_epi32(v, v);
            *reinterpret_cast<int32_t*>(out + x * 4) = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
        }
    }
    Memory_Free(memory);
    return 0;
}

}  // namespace Vantrel
