// Blend filters: every pixel of a source rectangle combined with the blend graph's pixel by one of
// the blend kinds, weighted by the blend alpha and the ratio, and the channel mix, as a device pass
// or over ARGB8 work images. Stands on the filter framework and the alpha tables.
#include <cmath>

#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

// The operation X(S, B) of the kinds that mix one colour byte.
static inline int GraphFilter_BlendOperation(int kind, int s, int b)
{
    int x;
    switch (kind) {
    case GraphBlend_Normal: return b;
    case GraphBlend_Multiple: return (b * s) >> 8;
    case GraphBlend_Difference: return s - b > 0 ? s - b : 0;
    case GraphBlend_Add: return s + b < 255 ? s + b : 255;
    case GraphBlend_Screen: return 255 - (((255 - b) * (255 - s)) >> 8);
    case GraphBlend_Overlay:
        x = s < 128 ? (2 * b * s) >> 8 : ((((256 - b) * s + 256 * b) * 2) >> 8) - 255;
        return x > 255 ? 255 : x;
    case GraphBlend_Dodge:
        if (b == 255) return 255;
        x = (s * 256) / (255 - b);
        return x > 255 ? 255 : x;
    case GraphBlend_Burn:
        x = (s - 255) * 256 / (b + 1) + 255;
        return x < 0 ? 0 : x;
    case GraphBlend_Darken: return s < b ? s : b;
    case GraphBlend_Lighten: return s > b ? s : b;
    case GraphBlend_SoftLight: {
        const float bf = (float)b / 255.0f;
        const float e = b < 128 ? 2.0f * (1.0f - bf) : 0.5f / bf;
        x = (int)(std::pow((float)s / 255.0f, e) * 255.0f);
        return x < 0 ? 0 : x > 255 ? 255 : x;
    }
    case GraphBlend_HardLight:
        x = b < 128 ? (2 * s * b) >> 8 : ((((256 - b) * s + 256 * b) * 2) >> 8) - 255;
        return x > 255 ? 255 : x;
    case GraphBlend_Exclusion:
        x = (((128 - b) * s + 128 * b) * 2) >> 8;
        return x > 255 ? 255 : x;
    default: return s;
    }
}

// mix(s, x) = floor((s x 65536 + (x - s) x t) / 65536); the sum is never negative.
static inline int GraphFilter_BlendMix(int s, int x, int t)
{
    return (int)(((int64_t)s * 65536 + (int64_t)(x - s) * t) >> 16);
}

// One pixel of the straight kind `kind` (0, 2 to 16, 34), premultiplied forms through the tables.
static inline void GraphFilter_BlendPixel(int kind, int pma, int r, const uint8_t* sp, const uint8_t* bp, uint8_t* out)
{
    const int sa = sp[3], ba = bp[3];
    int s[3], b[3];
    for (int c = 0; c < 3; c++) {
        s[c] = pma ? AlphaDivTable[sp[c]][sa] : sp[c];
        b[c] = pma ? AlphaDivTable[bp[c]][ba] : bp[c];
    }
    const int t = ba * r;
    switch (kind) {
    case GraphBlend_NormalAlphaCh: {
        const int a = (ba * r) >> 8;
        const int64_t d = (int64_t)sa * (256 - a) + a * 256;
        if (d == 0) return;
        const int outAlpha = (int)(d >> 8);
        for (int c = 0; c < 3; c++) {
            const int m = (int)(((int64_t)s[c] * sa * (256 - a) + (int64_t)b[c] * a * 256) / d);
            out[c] = GraphFilter_StoreStraight(m, outAlpha, pma);
        }
        out[3] = (uint8_t)outAlpha;
        return;
    }
    case GraphBlend_AddAlphaCh: {
        const int a = (ba * r) >> 8;
        const int d = (sa * (256 - a) + a * 256) >> 8;
        if (d == 0) return;
        for (int c = 0; c < 3; c++) {
            int m = (b[c] * a + s[c] * sa) / d;
            m = m > 255 ? 255 : m;
            out[c] = GraphFilter_StoreStraight(m, d, pma);
        }
        out[3] = (uint8_t)d;
        return;
    }
    case GraphBlend_MultipleAOnly: {
        const int outAlpha = (int)(((int64_t)sa * 65536 + (int64_t)(((ba * sa) >> 8) - sa) * r * 255) >> 16);
        for (int c = 0; c < 3; c++) out[c] = GraphFilter_StoreStraight(s[c], outAlpha, pma);
        out[3] = (uint8_t)outAlpha;
        return;
    }
    case GraphBlend_Mask:
        for (int c = 0; c < 3; c++) {
            const int m = (((b[c] - s[c]) * ba + s[c] * 256) >> 8) & 0xFF;
            out[c] = GraphFilter_StoreStraight(((m - s[c]) * r + s[c] * 256) >> 8, sa, pma);
        }
        out[3] = (uint8_t)sa;
        return;
    default:
        for (int c = 0; c < 3; c++)
            out[c] = GraphFilter_StoreStraight(GraphFilter_BlendMix(s[c], GraphFilter_BlendOperation(kind, s[c], b[c]), t),
                                               sa, pma);
        out[3] = (uint8_t)sa;
        return;
    }
}

int GraphFilter_Blend(GraphFilterContext* context, int pma)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_Blend(context, pma) < 0 ? -1 : 0;
    }
    // The premultiplied kinds run the operation of their straight kind.
    int kind = context->Kind;
    if (kind == GraphBlend_NormalPma) kind = GraphBlend_Normal;
    else if (kind >= GraphBlend_MultiplePma && kind <= GraphBlend_MultipleAOnlyPma) kind -= 17;
    else if (kind == GraphBlend_MaskPma) kind = GraphBlend_Mask;
    const int usePma = pma || context->Kind == GraphBlend_MaskPma ? 1 : 0;
    const int r = (int)(context->BlendRatio * 256.0f);
    if (GraphFilter_Software_Begin(context, 1, -1, -1, nullptr) != 0) return -1;
    for (int y = 0; y < context->SoftHeight; y++) {
        const uint8_t* s = GraphFilter_Row(&context->SourceImage, y);
        const uint8_t* b = GraphFilter_Row(&context->BlendImage, y);
        uint8_t* d = GraphFilter_Row(&context->DestImage, y);
        for (int x = 0; x < context->SoftWidth; x++) GraphFilter_BlendPixel(kind, usePma, r, s + x * 4, b + x * 4, d + x * 4);
    }
    return GraphFilter_Software_End(context);
}

int GraphFilter_BlendRGBAMix(GraphFilterContext* context, int r, int g, int b, int a, int pma)
{
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_BlendRGBAMix(context, r, g, b, a, pma) < 0 ? -1 : 0;
    }
    // Selector 0 to 7: source R, G, B, A, blend R, G, B, A; byte offsets in a B, G, R, A pixel.
    static const int offsets[4] = {2, 1, 0, 3};
    const int selectors[4] = {b, g, r, a};  // in the order of the output bytes
    if (GraphFilter_Software_Begin(context, 1, -1, -1, nullptr) != 0) return -1;
    for (int y = 0; y < context->SoftHeight; y++) {
        const uint8_t* s = GraphFilter_Row(&context->SourceImage, y);
        const uint8_t* bl = GraphFilter_Row(&context->BlendImage, y);
        uint8_t* d = GraphFilter_Row(&context->DestImage, y);
        for (int x = 0; x < context->SoftWidth; x++)
            for (int c = 0; c < 4; c++) {
                const int sel = selectors[c];
                if (sel < 0 || sel > 7) continue;
                d[x * 4 + c] = (sel < 4 ? s : bl)[x * 4 + offsets[sel & 3]];
            }
    }
    return GraphFilter_Software_End(context);
}

}  // namespace Vantrel
