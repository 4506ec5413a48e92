// Colour filters: luminance with a tint (Mono), invert, two-colour threshold, gradient map, exact
// colour replacement, brightness clip, and the premultiply / un-premultiply pair, each as a device
// pass or over ARGB8 work images. Stands on the filter framework and the alpha tables.
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

int GraphFilter_Mono(GraphFilterContext* context, float cb, float cr)
{
    cb = GraphFilter_ClampF(cb / 200.0f, -0.5f, 0.5f);
    cr = GraphFilter_ClampF(cr / 200.0f, -0.5f, 0.5f);
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_Mono(context, cb, cr) < 0 ? -1 : 0;
    }
    const int32_t oR = (int32_t)(cr * 1.402f * 255.0f * 4096.0f);
    const int32_t oG = (int32_t)((cb * 0.34414f - cr * 0.71414f) * 255.0f * 4096.0f);
    const int32_t oB = (int32_t)(cb * 1.772f * 255.0f * 4096.0f);
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        const int32_t y = GraphFilter_Luminance(s[0], s[1], s[2]);
        d[0] = (uint8_t)GraphFilter_Clamp((y + oB) >> 12, 0, 255);
        d[1] = (uint8_t)GraphFilter_Clamp((y + oG) >> 12, 0, 255);
        d[2] = (uint8_t)GraphFilter_Clamp((y + oR) >> 12, 0, 255);
        d[3] = s[3];
    });
}

int GraphFilter_Invert(GraphFilterContext* context, int pma)
{
    if (GraphFilter_UseDevice()) return Graphics_Dispatch_GraphFilter_Invert(context, pma) < 0 ? -1 : 0;
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        const int a = s[3];
        for (int c = 0; c < 3; c++)
            d[c] = pma ? AlphaMulTable[255 - AlphaDivTable[s[c]][a]][a] : (uint8_t)(255 - s[c]);
        d[3] = (uint8_t)a;
    });
}

int GraphFilter_TwoColor(GraphFilterContext* context, float threshold, const FloatColor* color1,
                         const FloatColor* color2, int pma)
{
    if (color1 == nullptr || color2 == nullptr) return -1;
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_TwoColor(context, threshold, color1, color2, pma) < 0 ? -1 : 0;
    }
    // Luminance lies in 0 .. 255 x 4094 / 4096: a threshold beyond that range sorts every pixel alike, and
    // is held there so that it fits the integer compare.
    const int32_t t = (int32_t)(GraphFilter_ClampF(threshold, -1.0f, 256.0f) * 4096.0f);
    const uint32_t packed1 = GraphFilter_PackFloatColor(color1, pma);
    const uint32_t packed2 = GraphFilter_PackFloatColor(color2, pma);
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        int b, g, r;
        GraphFilter_ReadStraight(s, pma, &b, &g, &r);
        GraphFilter_StorePacked(d, GraphFilter_Luminance(b, g, r) < t ? packed1 : packed2);
    });
}

int GraphFilter_GradientMap(GraphFilterContext* context, int gradientGraph, int reverse, int pma)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_GradientMap(context, gradientGraph, reverse, pma) < 0 ? -1 : 0;
    }
    BaseImage gradient;
    if (GraphFilter_ReadGraphToImage(gradientGraph, &gradient, nullptr) != 0) return -1;
    uint32_t table[256];
    const int64_t gw = gradient.width;
    if (gw <= 0 || gradient.height <= 0) {
        BaseImage_Release(&gradient);
        return -1;
    }
    const uint8_t* top = GraphFilter_Row(&gradient, 0);
    for (int i = 0; i < 256; i++) {
        uint32_t entry = GraphFilter_LoadPacked(top + (i * gw / 256) * 4);
        if (pma) {
            const int a = (int)(entry >> 24);
            entry = (uint32_t)AlphaMulTable[entry & 0xFF][a] | (uint32_t)AlphaMulTable[(entry >> 8) & 0xFF][a] << 8 |
                    (uint32_t)AlphaMulTable[(entry >> 16) & 0xFF][a] << 16 | (uint32_t)a << 24;
        }
        table[reverse ? 255 - i : i] = entry;
    }
    BaseImage_Release(&gradient);
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        int b, g, r;
        GraphFilter_ReadStraight(s, pma, &b, &g, &r);
        GraphFilter_StorePacked(d, table[(uint32_t)GraphFilter_Luminance(b, g, r) >> 12]);
    });
}

int GraphFilter_Replacement(GraphFilterContext* context, uint32_t target, uint32_t replacement, int pma)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_Replacement(context, target, replacement, pma) < 0 ? -1 : 0;
    }
    uint32_t stored = replacement;
    if (pma) {
        const int a = (int)(replacement >> 24);
        stored = (uint32_t)AlphaMulTable[replacement & 0xFF][a] | (uint32_t)AlphaMulTable[(replacement >> 8) & 0xFF][a]
                 << 8 | (uint32_t)AlphaMulTable[(replacement >> 16) & 0xFF][a] << 16 | (uint32_t)a << 24;
    }
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        uint32_t key = GraphFilter_LoadPacked(s);
        if (pma) {
            int b, g, r;
            GraphFilter_ReadStraight(s, 1, &b, &g, &r);
            key = (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16 | (uint32_t)s[3] << 24;
        }
        GraphFilter_StorePacked(d, key == target ? stored : GraphFilter_LoadPacked(s));
    });
}

int GraphFilter_BrightClip(GraphFilterContext* context, int compare, float threshold, int fill,
                           const FloatColor* fillColor, int pma)
{
    if (compare != 2 && compare != 5) return -1;
    if (fill != 0 && fillColor == nullptr) return -1;
    const float t = GraphFilter_ClampF(threshold / 255.0f, 0.0f, 1.0f);
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_BrightClip(context, compare, t, fill, fill != 0 ? fillColor : nullptr, pma) < 0
                   ? -1
                   : 0;
    }
    const int32_t limit = (int32_t)(t * 255.0f * 4096.0f);
    const uint32_t packed = fill != 0 ? GraphFilter_PackFloatColor(fillColor, pma) : 0;
    const bool greater = compare == 5;
    return GraphFilter_ForEachPixel(context, 0, [&](const uint8_t* s, uint8_t* d) {
        int b, g, r;
        GraphFilter_ReadStraight(s, pma, &b, &g, &r);
        const int32_t y = GraphFilter_Luminance(b, g, r);
        const bool meets = greater ? y > limit : y < limit;
        if (!meets)
            GraphFilter_StorePacked(d, GraphFilter_LoadPacked(s));
        else if (fill != 0)
            GraphFilter_StorePacked(d, packed);
    });
}

int GraphFilter_PremultipliedAlpha(GraphFilterContext* context)
{
    if (GraphFilter_UseDevice()) return Graphics_Dispatch_GraphFilter_PremultipliedAlpha(context) < 0 ? -1 : 0;
    return GraphFilter_ForEachPixel(context, 1, [](const uint8_t* s, uint8_t* d) {
        const int a = s[3];
        for (int c = 0; c < 3; c++) d[c] = (uint8_t)((s[c] * a) >> 8);
        d[3] = (uint8_t)a;
    });
}

int GraphFilter_InterpolatedAlpha(GraphFilterContext* context)
{
    if (GraphFilter_UseDevice()) return Graphics_Dispatch_GraphFilter_InterpolatedAlpha(context) < 0 ? -1 : 0;
    return GraphFilter_ForEachPixel(context, 1, [](const uint8_t* s, uint8_t* d) {
        const unsigned a = s[3];
        for (int c = 0; c < 3; c++) {
            const unsigned v = a == 0 ? 0 : s[c] * 255u / a;
            d[c] = (uint8_t)(v > 255 ? 255 : v);
        }
        d[3] = (uint8_t)a;
    });
}

}  // namespace Vantrel
