// Tone filters: levels (input range, gamma, output range), hue / saturation / brightness in an HSL
// model, and the lightness stretch, as device passes or in integer arithmetic over ARGB8 work
// images. Stands on the filter framework, the alpha tables and the float helpers of the foundation.
#include <cstring>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphFilterPixel.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

// The gamma table of the software road and the 256 x 1 gamma graph the device passes read, each with the
// gamma it holds; both are rebuilt only when the gamma moves by more than 0.0001.
static struct {
    int32_t Table[256];
    float Gamma = -10000000.0f;
    int32_t Graph = -1;             // -1 again when the graph is deleted
    float GraphGamma = -10000000.0f;
} LevelGammaCache;

static bool GraphFilter_GammaMoved(float held, float gamma)
{
    const float moved = held - gamma;
    return moved > 0.0001f || moved < -0.0001f;
}

const int32_t* GraphFilter_LevelGammaTable(float gamma)
{
    if (GraphFilter_GammaMoved(LevelGammaCache.Gamma, gamma)) {
        for (int i = 0; i < 256; i++) {
            const float v = BaseFunc_Pow((float)i / 255.0f, 1.0f / gamma) * 255.0f;
            LevelGammaCache.Table[i] = v > 255.0f ? 255 : (int32_t)v;
        }
        LevelGammaCache.Gamma = gamma;
    }
    return LevelGammaCache.Table;
}

int GraphFilter_LevelGammaGraph(float gamma)
{
    if (LevelGammaCache.Graph < 0) {
        GraphCreateParam request;
        Graphics_Image_InitGraphFormatParam(&request, 32, 0, 0);
        const int graph = Graphics_Image_MakeEmptyGraph_GParam(&request, 256, 1, 0, 0, 0, 0, 0);
        if (graph < 0) return -1;
        LevelGammaCache.Graph = graph;
        Handle_SetDeleteNotify(graph, &LevelGammaCache.Graph);
        LevelGammaCache.GraphGamma = -10000000.0f;
    }
    BaseImage image;
    // Without the image the graph keeps its old content and the pass still runs.
    if (GraphFilter_GammaMoved(LevelGammaCache.GraphGamma, gamma) && BaseImage_CreateXRGB8(256, 1, &image) == 0) {
        const int32_t* table = GraphFilter_LevelGammaTable(gamma);
        for (int i = 0; i < 256; i++) {
            const uint32_t v = (uint32_t)table[i] & 0xFF;
            const uint32_t pixel = v | v << 8 | v << 16 | v << 24;
            memcpy(static_cast<uint8_t*>(image.pixels) + (size_t)i * 4, &pixel, 4);
        }
        const BaseImageRect whole = {0, 0, 256, 1};
        Graphics_Image_BltImageToGraph(&whole, 0, 0, LevelGammaCache.Graph, &image, nullptr, 0, 0, 0, 0);
        LevelGammaCache.GraphGamma = gamma;
        BaseImage_Release(&image);
    }
    return LevelGammaCache.Graph;
}

int GraphFilter_LevelGammaGraphHandle() { return LevelGammaCache.Graph; }

void GraphFilter_LevelGammaGraph_Forget() { LevelGammaCache.Graph = -1; }

int GraphFilter_Level(GraphFilterContext* context, float inMin, float inMax, float gamma, float outMin, float outMax,
                      int pma)
{
    const float g = GraphFilter_ClampF(inMin / 255.0f, 0.0f, 1.0f);
    const float r = GraphFilter_ClampF(inMax / 255.0f, 0.0f, 1.0f);
    const float gm = gamma < 0.001f ? 0.001f : gamma;
    const float l = GraphFilter_ClampF(outMin / 255.0f, 0.0f, 1.0f);
    const float m = GraphFilter_ClampF(outMax / 255.0f, 0.0f, 1.0f);
    const float t = g < r ? g : r;
    const float u = l < m ? l : m;
    if (GraphFilter_UseDevice()) {
        GraphFilter_LevelGammaGraph(gm);
        return Graphics_Dispatch_GraphFilter_Level(context, t, r, gm, u, m, pma) < 0 ? -1 : 0;
    }
    const int32_t* table = GraphFilter_LevelGammaTable(gm);
    const int32_t lowIn = (int32_t)(t * 255.0f);
    const int32_t rangeIn = (int32_t)(r * 255.0f) - lowIn;
    const int32_t lowOut = (int32_t)(u * 255.0f);
    const int32_t rangeOut = (int32_t)(m * 255.0f) - lowOut;
    // An empty input range is a step at its one value: at or below it the bottom of the table, above
    // it the top.
    int32_t lookup[256];
    for (int c = 0; c < 256; c++) {
        int32_t v;
        if (rangeIn == 0) {
            v = c > lowIn ? table[255] : table[0];
        } else {
            const int32_t index = ((c - lowIn) * 256) / rangeIn;
            v = index < 0 ? table[0] : index > 255 ? table[255] : table[index];
        }
        lookup[c] = (v * rangeOut + (lowOut << 8)) >> 8;
    }
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        const int a = s[3];
        int b, gg, rr;
        GraphFilter_ReadStraight(s, pma, &b, &gg, &rr);
        d[0] = GraphFilter_StoreStraight(lookup[b], a, pma);
        d[1] = GraphFilter_StoreStraight(lookup[gg], a, pma);
        d[2] = GraphFilter_StoreStraight(lookup[rr], a, pma);
        d[3] = (uint8_t)a;
    });
}

// Lightness L and saturation S (0..256) of a pixel in the HSL model, with its max, min and delta.
struct GraphFilterHsl {
    int Max, Min, Delta, L, S;
};

static inline GraphFilterHsl GraphFilter_ToHsl(int r, int g, int b)
{
    GraphFilterHsl h;
    h.Max = r > g ? (r > b ? r : b) : (g > b ? g : b);
    h.Min = r < g ? (r < b ? r : b) : (g < b ? g : b);
    h.Delta = h.Max - h.Min;
    const int sum = h.Max + h.Min;
    h.L = sum >> 1;
    h.S = 0;
    if (h.Delta > 0) {
        const int div = h.L <= 128 ? sum : 512 - sum;
        h.S = div > 0 ? (h.Delta << 8) / div : 256;
    }
    return h;
}

// Channel c pulled to grey by saturation k, then lit to lightness l.
static inline int GraphFilter_SaturateLight(int c, int k, int l)
{
    c = c + (((128 - c) * (256 - k)) >> 8);
    return l <= 128 ? (2 * l * c) >> 8 : c + (((255 - c) * (l - 128) * 2) >> 8);
}

int GraphFilter_Hsb(GraphFilterContext* context, int type, float hue, float saturation, float brightness, int pma)
{
    float f = hue / 360.0f;
    f = type == 0 ? GraphFilter_ClampF(f, -0.5f, 0.5f) : GraphFilter_ClampF(f, 0.0f, 1.0f);
    const float gs = GraphFilter_ClampF(saturation / 100.0f, -1.0f, 1.0f);
    // Brightness beyond full scale would push channels out of 0..255 and zero the saturation divisor.
    const float bd = GraphFilter_ClampF(brightness / 100.0f, -1.0f, 1.0f);
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_Hsb(context, type, f * 6.0f, gs, bd, pma) < 0 ? -1 : 0;
    }
    int h = (int)(f * 6.0f * 256.0f);
    const int ms = (int)((gs > 0 ? gs * 5.0f : gs) * 256.0f);
    const int lb = (int)(bd * 256.0f);
    const int satScale = 256 + ms;
    if (type == 1 && h == 1536) h = 0;
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        const int a = s[3];
        int ch[3];  // b, g, r
        GraphFilter_ReadStraight(s, pma, &ch[0], &ch[1], &ch[2]);
        for (int i = 0; i < 3; i++)
            ch[i] = lb > 0 ? ch[i] + (((255 - ch[i]) * lb) >> 8) : (ch[i] * (256 + lb)) >> 8;
        const int b = ch[0], g = ch[1], r = ch[2];
        const GraphFilterHsl hsl = GraphFilter_ToHsl(r, g, b);
        int pixelHue;
        if (type == 1) {
            pixelHue = h;
        } else {
            pixelHue = 0;
            if (hsl.Delta != 0) {
                const int dR = ((hsl.Max - r) << 8) / hsl.Delta;
                const int dG = ((hsl.Max - g) << 8) / hsl.Delta;
                const int dB = ((hsl.Max - b) << 8) / hsl.Delta;
                if (r == hsl.Max)
                    pixelHue = dB - dG;
                else if (g == hsl.Max)
                    pixelHue = dR - dB + 512;
                else
                    pixelHue = dG - dR + 1024;
                if (pixelHue < 0) pixelHue += 1536;
            }
            pixelHue += h;
            if (pixelHue < 0) pixelHue += 1536;
            else if (pixelHue >= 1536) pixelHue -= 1536;
        }
        const int fr = pixelHue & 255;
        int pr, pg, pb;
        switch (pixelHue >> 8) {
        case 0: pr = 255, pg = fr, pb = 0; break;
        case 1: pr = 255 - fr, pg = 255, pb = 0; break;
        case 2: pr = 0, pg = 255, pb = fr; break;
        case 3: pr = 0, pg = 255 - fr, pb = 255; break;
        case 4: pr = fr, pg = 0, pb = 255; break;
        default: pr = 255, pg = 0, pb = 255 - fr; break;
        }
        int k = (satScale * hsl.S) >> 8;
        if (k > 256) k = 256;
        d[0] = GraphFilter_StoreStraight(GraphFilter_SaturateLight(pb, k, hsl.L), a, pma);
        d[1] = GraphFilter_StoreStraight(GraphFilter_SaturateLight(pg, k, hsl.L), a, pma);
        d[2] = GraphFilter_StoreStraight(GraphFilter_SaturateLight(pr, k, hsl.L), a, pma);
        d[3] = (uint8_t)a;
    });
}

int GraphFilter_BrightScale(GraphFilterContext* context, int min, int max, int pma)
{
    const int lo = GraphFilter_Clamp(min, 0, 254);
    int hi = GraphFilter_Clamp(max, 1, 255);
    if (lo == hi) hi = lo + 1;
    if (GraphFilter_UseDevice()) {
        return Graphics_Dispatch_GraphFilter_BrightScale(context, lo, hi, pma) < 0 ? -1 : 0;
    }
    const int scale = 1044480 / (hi - lo);
    return GraphFilter_ForEachPixel(context, 1, [&](const uint8_t* s, uint8_t* d) {
        const int a = s[3];
        int b, g, r;
        GraphFilter_ReadStraight(s, pma, &b, &g, &r);
        const GraphFilterHsl hsl = GraphFilter_ToHsl(r, g, b);
        int pr = 255, pg = 0, pb = 0;
        if (hsl.Delta != 0) {
            const int dR = ((hsl.Max - r) << 8) / hsl.Delta;
            const int dG = ((hsl.Max - g) << 8) / hsl.Delta;
            const int dB = ((hsl.Max - b) << 8) / hsl.Delta;
            if (r == hsl.Max) {
                pr = 255;
                if (dB > dG) pg = dB - dG, pb = 0;
                else pb = dG - dB, pg = 0;
            } else if (g == hsl.Max) {
                pg = 255;
                if (dR > dB) pb = dR - dB, pr = 0;
                else pr = dB - dR, pb = 0;
            } else {
                pb = 255;
                if (dG > dR) pr = dG - dR, pg = 0;
                else pg = dR - dG, pr = 0;
            }
        }
        const int l = GraphFilter_Clamp(((hsl.L - lo) * scale) >> 12, 0, 255);
        const int ob = GraphFilter_SaturateLight(pb, hsl.S, l);
        const int og = GraphFilter_SaturateLight(pg, hsl.S, l);
        const int orr = GraphFilter_SaturateLight(pr, hsl.S, l);
        d[0] = GraphFilter_StoreStraight(ob > 255 ? 255 : ob, a, pma);
        d[1] = GraphFilter_StoreStraight(og > 255 ? 255 : og, a, pma);
        d[2] = GraphFilter_StoreStraight(orr > 255 ? 255 : orr, a, pma);
        d[3] = (uint8_t)a;
    });
}

}  // namespace Vantrel
