// YUV-to-RGB conversion of a luminance graph and its chrominance graph (plain and with the alpha
// picture in the right half) in 15-bit fixed point over ARGB8 work images, and the screen-space
// ambient occlusion filter, which only a Direct3D 11 device draws. Stands on the filter framework.
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

int GraphFilter_YuvClamp(int32_t sum)
{
    if (sum < 0) return 0;
    if (sum > 8355840) return 255;
    return sum >> 15;
}

// One pixel: Y from the source's blue byte, U and V from the UV pixel's blue and green bytes; alpha
// 255, or for the alpha layout the red conversion of the right half's Y and V.
static inline void GraphFilter_YuvPixel(const uint8_t* y, const uint8_t* uv, const uint8_t* alphaY,
                                        const uint8_t* alphaUv, uint8_t* out)
{
    const int32_t luma = y[0] * 32768;
    const int32_t u = uv[0] - 128, v = uv[1] - 128;
    out[0] = (uint8_t)GraphFilter_YuvClamp(luma + 58064 * u);
    out[1] = (uint8_t)GraphFilter_YuvClamp(luma - 11272 * u - 23396 * v);
    out[2] = (uint8_t)GraphFilter_YuvClamp(luma + 45940 * v);
    out[3] = alphaY == nullptr ? 255 : (uint8_t)GraphFilter_YuvClamp(alphaY[0] * 32768 + 45940 * (alphaUv[1] - 128));
}

int GraphFilter_YuvToRgb(GraphFilterContext* context, int uvGraph)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_YuvToRgb(context, uvGraph) < 0 ? -1 : 0;
    }
    const bool alphaLayout = context->Kind == GraphFilter_KindYuvToRgbRra || context->Kind == GraphFilter_KindYuvToRgbUvRra;
    int sourceWidth = 0, sourceHeight = 0;
    GraphHandleRecord* record = nullptr;
    if (GraphFilter_Seams.QueryHandle == nullptr ||
        GraphFilter_Seams.QueryHandle(context->PassSource, &sourceWidth, &sourceHeight, &record) ==
            GraphFilter_HandleNone)
        return -1;
    if (alphaLayout) {
        if (context->X1 != 0 || context->Y1 != 0 || context->X2 != sourceWidth / 2 || context->Y2 != sourceHeight)
            return -1;
        const BaseImageRect whole = {0, 0, sourceWidth, sourceHeight};
        if (GraphFilter_Software_Begin(context, 1, -1, -1, &whole) != 0) return -1;
    } else if (GraphFilter_Software_Begin(context, 1, -1, -1, nullptr) != 0) {
        return -1;
    }
    BaseImage uvImage;
    if (GraphFilter_ReadGraphToImage(uvGraph, &uvImage, nullptr) != 0) {
        BaseImage_Release(&context->DestImage);
        context->DestImage.pixels = nullptr;
        GraphFilter_Software_End(context);
        return -1;
    }
    const int w = context->X2 - context->X1, h = context->Y2 - context->Y1;
    const int uw = uvImage.width, uh = uvImage.height;
    int blockW = 0, blockH = 0;
    if (uw == sourceWidth && uh == sourceHeight) blockW = 1, blockH = 1;
    else if (uw == sourceWidth / 2 && uh == sourceHeight / 2) blockW = 2, blockH = 2;
    else if (uw == sourceWidth / 2 && uh == sourceHeight) blockW = 2, blockH = 1;
    else if (uw == sourceWidth && uh == sourceHeight / 2) blockW = 1, blockH = 2;
    else if (uw == sourceWidth / 4 && uh == sourceHeight) blockW = 4, blockH = 1;
    if (blockW != 0) {
        const int alphaShiftY = context->SourceImage.width / 2;
        const int alphaShiftUv = uw / 2;
        const BaseImage* source = &context->SourceImage;
        const int blocksX = w / blockW, blocksY = h / blockH;
        for (int j = 0; j < blocksY && j < uh; j++) {
            const uint8_t* uvRow = GraphFilter_Row(&uvImage, j);
            for (int i = 0; i < blocksX && i < uw; i++) {
                const uint8_t* uv = uvRow + i * 4;
                const uint8_t* alphaUv = alphaLayout && i + alphaShiftUv < uw ? uv + alphaShiftUv * 4 : nullptr;
                for (int dy = 0; dy < blockH; dy++) {
                    const int y = j * blockH + dy;
                    const uint8_t* yRow = GraphFilter_Row(source, y);
                    uint8_t* outRow = GraphFilter_Row(&context->DestImage, y);
                    for (int dx = 0; dx < blockW; dx++) {
                        const int x = i * blockW + dx;
                        const uint8_t* alphaY = alphaUv && x + alphaShiftY < source->width ? yRow + (x + alphaShiftY) * 4
                                                                                         : nullptr;
                        if (alphaLayout && alphaY == nullptr) continue;
                        GraphFilter_YuvPixel(yRow + x * 4, uv, alphaY, alphaUv, outRow + x * 4);
                    }
                }
            }
        }
    }
    BaseImage_Release(&uvImage);
    return GraphFilter_Software_End(context);
}

int GraphFilter_Ssao(GraphFilterContext* context, int depthGraph, float p1, float p2, float p3, float p4, int color,
                     float mix, int mixGraph)
{
    if (!GraphFilter_UseDevice()) return 0;
    return Graphics_Dispatch_GraphFilter_Ssao(context, depthGraph, p1, p2, p3, p4, color, mix, mixGraph) < 0 ? -1 : 0;
}

}  // namespace Vantrel
