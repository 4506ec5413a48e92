// Gaussian blur: the kernel (paired taps, cached across runs) and the separable blur in 16.16 fixed
// point over ARGB8 work images, or the two device passes. Stands on the filter framework and the
// float helpers of the foundation.
#include <cstring>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

static struct {
    float Strength = -10000000.0f;
    int32_t TapCount = 0;
    float Weights[16];
} GaussKernelCache;

int GraphFilter_GaussTapCount(int pixelWidth)
{
    if (pixelWidth <= 8) return 8;
    if (pixelWidth <= 16) return 16;
    return 32;
}

const float* GraphFilter_GaussKernel(int tapCount, float strength)
{
    const float moved = GaussKernelCache.Strength - strength;
    if (moved > 0.0002f || moved < -0.0002f || tapCount != GaussKernelCache.TapCount) {
        GaussKernelCache.Strength = strength;
        GaussKernelCache.TapCount = tapCount;
        const float variance = strength > 1e-10f ? strength : 1e-10f;
        const int n = tapCount / 2;
        float sum = 0.0f;
        for (int k = 0; k < n; k++) {
            const float x = ((float)(k * k) * -0.5f) / variance;
            GaussKernelCache.Weights[k] = BaseFunc_Exp(x);
            sum = k == 0 ? sum + GaussKernelCache.Weights[0] : sum + (GaussKernelCache.Weights[k] + GaussKernelCache.Weights[k]);
        }
        for (int k = 0; k < n; k++) GaussKernelCache.Weights[k] = GaussKernelCache.Weights[k] / sum;
    }
    return GaussKernelCache.Weights;
}

// One line of the blur: count pixels read from `in` at `inStep` bytes apart, written to `out` at
// `outStep`; every channel of a pixel together. Positions off either end read the end pixel.
static void GraphFilter_GaussLine(const uint8_t* in, int inStep, uint8_t* out, int outStep, int count,
                                  const int32_t* weights, int n)
{
    const int reach = 2 * (n - 1);
    for (int i = 0; i < count; i++) {
        int32_t sum[4] = {0, 0, 0, 0};
        const bool inside = i - reach >= 0 && i + reach < count;
        for (int k = 1; k < n; k++) {
            int j1 = i - (2 * k - 1), j2 = i - 2 * k, j3 = i + 2 * k - 1, j4 = i + 2 * k;
            if (!inside) {
                j1 = j1 < 0 ? 0 : j1;
                j2 = j2 < 0 ? 0 : j2;
                j3 = j3 >= count ? count - 1 : j3;
                j4 = j4 >= count ? count - 1 : j4;
            }
            const uint8_t* p1 = in + (int64_t)j1 * inStep;
            const uint8_t* p2 = in + (int64_t)j2 * inStep;
            const uint8_t* p3 = in + (int64_t)j3 * inStep;
            const uint8_t* p4 = in + (int64_t)j4 * inStep;
            const int32_t w = weights[k];
            for (int c = 0; c < 4; c++) sum[c] += w * (p1[c] + p2[c] + p3[c] + p4[c]);
        }
        const uint8_t* p0 = in + (int64_t)i * inStep;
        uint8_t* o = out + (int64_t)i * outStep;
        for (int c = 0; c < 4; c++) o[c] = (uint8_t)(((sum[c] >> 1) + weights[0] * p0[c]) >> 16);
    }
}

// The vertical pass row by row: every output row gathers its rows of the input whole, so the image
// is read in memory order.
static int GraphFilter_GaussColumns(const BaseImage* in, BaseImage* out, const int32_t* weights, int n)
{
    const int width = in->width, height = in->height;
    const int values = width * 4;
    int32_t stackSums[1024];
    int32_t* sums = stackSums;
    if (values > 1024) {
        const int64_t bytes = (int64_t)values * 4;
        if (bytes > 0x7FFFFFFF) return -1;
        sums = static_cast<int32_t*>(Memory_Allocate((uint32_t)bytes, __FILE__, __LINE__));
        if (sums == nullptr) return -1;
    }
    for (int y = 0; y < height; y++) {
        memset(sums, 0, sizeof(int32_t) * values);
        for (int k = 1; k < n; k++) {
            int r1 = y - (2 * k - 1), r2 = y - 2 * k, r3 = y + 2 * k - 1, r4 = y + 2 * k;
            r1 = r1 < 0 ? 0 : r1;
            r2 = r2 < 0 ? 0 : r2;
            r3 = r3 >= height ? height - 1 : r3;
            r4 = r4 >= height ? height - 1 : r4;
            const uint8_t* p1 = GraphFilter_Row(in, r1);
            const uint8_t* p2 = GraphFilter_Row(in, r2);
            const uint8_t* p3 = GraphFilter_Row(in, r3);
            const uint8_t* p4 = GraphFilter_Row(in, r4);
            const int32_t w = weights[k];
            for (int v = 0; v < values; v++) sums[v] += w * (p1[v] + p2[v] + p3[v] + p4[v]);
        }
        const uint8_t* p0 = GraphFilter_Row(in, y);
        uint8_t* o = GraphFilter_Row(out, y);
        const int32_t w0 = weights[0];
        for (int v = 0; v < values; v++) o[v] = (uint8_t)(((sums[v] >> 1) + w0 * p0[v]) >> 16);
    }
    if (sums != stackSums) Memory_Free(sums);
    return 0;
}

int GraphFilter_GaussImage(const BaseImage* source, BaseImage* intermediate, BaseImage* destination,
                           const int32_t* weights, int weightCount)
{
    if (weightCount < 1 || weightCount > 16) return -1;
    for (int y = 0; y < source->height; y++)
        GraphFilter_GaussLine(GraphFilter_Row(source, y), 4, GraphFilter_Row(intermediate, y), 4, source->width,
                              weights, weightCount);
    return GraphFilter_GaussColumns(intermediate, destination, weights, weightCount);
}

int GraphFilter_Gauss(GraphFilterContext* context, int pixelWidth, float strength)
{
    const int taps = GraphFilter_GaussTapCount(pixelWidth);
    const float* kernel = GraphFilter_GaussKernel(taps, strength);
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_Gauss(context, taps, strength, kernel) < 0 ? -1 : 0;
    }
    const int n = taps / 2;
    int32_t weights[16];
    for (int k = 0; k < n; k++) weights[k] = (int32_t)(kernel[k] * 65536.0f);
    if (GraphFilter_Software_Begin(context, 1, -1, -1, nullptr) != 0) return -1;
    if (strength < 0.0000001f) {
        for (int y = 0; y < context->SoftHeight; y++)
            memcpy(GraphFilter_Row(&context->DestImage, y), GraphFilter_Row(&context->SourceImage, y),
                   (size_t)context->SoftWidth * 4);
        return GraphFilter_Software_End(context);
    }
    BaseImage intermediate;
    if (BaseImage_CreateARGB8(context->SoftWidth, context->SoftHeight, &intermediate) != 0) {
        // Nothing is written: the run reports the failure.
        BaseImage_Release(&context->DestImage);
        context->DestImage.pixels = nullptr;
        GraphFilter_Software_End(context);
        return -1;
    }
    const int result = GraphFilter_GaussImage(&context->SourceImage, &intermediate, &context->DestImage, weights, n);
    BaseImage_Release(&intermediate);
    if (result != 0) {
        BaseImage_Release(&context->DestImage);
        context->DestImage.pixels = nullptr;
        GraphFilter_Software_End(context);
        return -1;
    }
    return GraphFilter_Software_End(context);
}

}  // namespace Vantrel
