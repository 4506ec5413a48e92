// Graph filter framework: the three public entry points, the dispatcher (handle checks, clipping,
// parameter parsing, the pass loop), the software road's image set-up and write-back, and the
// filter shader cache. Stands on the graph-handle seams, the graphics state and the base images.
#include "graphics/VtGraphFilter.h"

#include <cstring>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"
#include "movie/VtMovie.h"
#include "image/VtBaseImageStart.h"

namespace Vantrel {

const GraphFilterSeams GraphFilter_GraphSeams = {
    GraphFilter_Graph_QueryHandle, GraphFilter_Graph_Read, GraphFilter_Graph_Write, GraphFilter_Graph_MsaaDrawTarget,
};
GraphFilterSeams GraphFilter_Seams = GraphFilter_GraphSeams;
int32_t GraphFilter_ShaderHandles[GraphFilter_ShaderSlotCount];

int GraphFilter_ResetShaderHandles()
{
    for (int i = 0; i < GraphFilter_ShaderSlotCount; i++) GraphFilter_ShaderHandles[i] = -1;
    GraphFilter_LevelGammaGraph_Forget();
    return 0;
}

int GraphFilter_UseDevice() { return GraphicsSystemState.ShadersUsable == 1 ? 1 : 0; }

// A source or blend graph that shows a movie brings its frame up to date first.
static void GraphFilter_UpdateMovie(const GraphHandleRecord* record)
{
    if (record != nullptr && record->Orig != nullptr && record->Orig->movie != -1) Movie_Update(record->Orig->movie, 0);
}

static int GraphFilter_QueryHandle(int handle, int* width, int* height, GraphHandleRecord** record)
{
    *width = 0;
    *height = 0;
    if (record) *record = nullptr;
    if (GraphFilter_Seams.QueryHandle == nullptr) return GraphFilter_HandleNone;
    GraphHandleRecord* dummy = nullptr;
    return GraphFilter_Seams.QueryHandle(handle, width, height, record ? record : &dummy);
}

int GraphFilter_DownScaleDivisor(int value)
{
    if (value <= 1) return 1;
    if (value == 2) return 2;
    if (value <= 4) return 4;
    return 8;
}

// ---------------------------------------------------------------------------------------------
// Reading and writing graphs
// ---------------------------------------------------------------------------------------------

int GraphFilter_ReadGraphToImage(int graph, BaseImage* out, const BaseImageRect* rect)
{
    out->pixels = nullptr;
    int width = 0, height = 0;
    if (graph == DRAW_SCREEN_BACK) {
        GetMainScreenSize(&width, &height);
    } else if (GraphFilter_QueryHandle(graph, &width, &height, nullptr) != GraphFilter_HandleGraph) {
        return -1;
    }
    BaseImageRect whole = {0, 0, width, height};
    if (rect == nullptr) rect = &whole;
    if (rect->right < rect->left || rect->bottom < rect->top) return -1;
    if (BaseImage_CreateARGB8(rect->right - rect->left, rect->bottom - rect->top, out) != 0) return -1;
    if (GraphFilter_Seams.ReadGraph == nullptr || GraphFilter_Seams.ReadGraph(graph, rect, out) != 0) {
        BaseImage_Release(out);
        out->pixels = nullptr;
        return -1;
    }
    return 0;
}

static void GraphFilter_ReleaseImage(BaseImage* image)
{
    if (image->pixels != nullptr) BaseImage_Release(image);
    image->pixels = nullptr;
}

static void GraphFilter_ClearImage(BaseImage* image)
{
    for (int y = 0; y < image->height; y++)
        memset(static_cast<uint8_t*>(image->pixels) + (int64_t)y * image->pitch, 0, (size_t)image->width * 4);
}

// The source rectangle of a DownScale run that filters a graph into itself is left transparent black.
static int GraphFilter_ClearSourceRect(GraphFilterContext* context)
{
    BaseImage clear;
    if (BaseImage_CreateARGB8(context->X2 - context->X1, context->Y2 - context->Y1, &clear) != 0) return -1;
    GraphFilter_ClearImage(&clear);
    int result = GraphFilter_Seams.WriteGraph ? GraphFilter_Seams.WriteGraph(context->PassSource, context->X1,
                                                                               context->Y1, &clear)
                                              : -1;
    BaseImage_Release(&clear);
    return result;
}

int GraphFilter_Software_Begin(GraphFilterContext* context, int newDestination, int width, int height,
                               const BaseImageRect* rect)
{
    BaseImageRect sourceRect = {context->X1, context->Y1, context->X2, context->Y2};
    if (rect != nullptr) sourceRect = *rect;
    int w = sourceRect.right - sourceRect.left;
    int h = sourceRect.bottom - sourceRect.top;
    if (width >= 0 && height >= 0) {
        w = width;
        h = height;
    }
    context->SoftWidth = w;
    context->SoftHeight = h;
    context->SourceImage.pixels = nullptr;
    context->BlendImage.pixels = nullptr;
    context->DestImage.pixels = nullptr;

    if (GraphFilter_ReadGraphToImage(context->PassSource, &context->SourceImage, &sourceRect) != 0) goto failed;
    if (context->BlendFlag &&
        GraphFilter_ReadGraphToImage(context->BlendGraph, &context->BlendImage, &sourceRect) != 0)
        goto failed;
    if (newDestination) {
        // Cleared, so that no pixel a body leaves alone carries old memory into the graph.
        if (BaseImage_CreateARGB8(w, h, &context->DestImage) != 0) goto failed;
        GraphFilter_ClearImage(&context->DestImage);
    } else {
        BaseImageRect destRect = {context->DestX, context->DestY, context->DestX + w, context->DestY + h};
        if (GraphFilter_ReadGraphToImage(context->PassOutput, &context->DestImage, &destRect) != 0) goto failed;
    }
    return 0;

failed:
    GraphFilter_ReleaseImage(&context->SourceImage);
    GraphFilter_ReleaseImage(&context->BlendImage);
    GraphFilter_ReleaseImage(&context->DestImage);
    return -1;
}

int GraphFilter_Software_End(GraphFilterContext* context)
{
    GraphFilter_ReleaseImage(&context->SourceImage);
    GraphFilter_ReleaseImage(&context->BlendImage);
    if (context->DestImage.pixels == nullptr) return 0;
    int result = 0;
    if (context->PassOutput != DRAW_SCREEN_BACK && context->BlendFlag == 0 &&
        context->Kind == GraphFilter_KindDownScale && context->PassOutput == context->PassSource &&
        context->PassIndex == 0)
        GraphFilter_ClearSourceRect(context);
    if (GraphFilter_Seams.WriteGraph == nullptr ||
        GraphFilter_Seams.WriteGraph(context->PassOutput, context->DestX, context->DestY, &context->DestImage) != 0)
        result = -1;
    GraphFilter_ReleaseImage(&context->DestImage);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Parameters
// ---------------------------------------------------------------------------------------------

static FloatColor GraphFilter_ColorFromCode(int code, int alpha)
{
    int r = 0, g = 0, b = 0;
    SplitColorCode((unsigned int)code, &r, &g, &b);
    return FloatColor{r / 255.0f, g / 255.0f, b / 255.0f, alpha / 255.0f};
}

// The parameters of kinds 3 to 10 and their premultiplied forms 21 to 28.
static int GraphFilter_BaseKind(int kind) { return kind >= GraphFilter_KindBrightClipPma ? kind - 18 : kind; }

static int GraphFilter_ParseParams(int kind, GraphFilterParams* p, va_list args)
{
    switch (GraphFilter_BaseKind(kind)) {
    case GraphFilter_KindMono:
        p->MonoCb = va_arg(args, int) * 100 / 255.0f;
        p->MonoCr = va_arg(args, int) * 100 / 255.0f;
        break;
    case GraphFilter_KindGauss:
        p->GaussWidth = va_arg(args, int);
        p->GaussStrength = va_arg(args, int) / 100.0f;
        break;
    case GraphFilter_KindBrightClip: {
        p->BrightClipCompare = va_arg(args, int);
        p->BrightClipThreshold = (float)va_arg(args, int);
        p->BrightClipFill = va_arg(args, int);
        const int color = va_arg(args, int);
        const int alpha = va_arg(args, int);
        if (p->BrightClipFill != 0) p->BrightClipFillColor = GraphFilter_ColorFromCode(color, alpha);
        break;
    }
    case GraphFilter_KindBrightScale:
        p->BrightScaleMin = va_arg(args, int);
        p->BrightScaleMax = va_arg(args, int);
        break;
    case GraphFilter_KindHsb:
        p->HsbType = va_arg(args, int);
        p->HsbHue = (float)va_arg(args, int);
        p->HsbSaturation = va_arg(args, int) * 100 / 255.0f;
        p->HsbBrightness = va_arg(args, int) * 100 / 255.0f;
        break;
    case GraphFilter_KindLevel:
        p->LevelMin = (float)va_arg(args, int);
        p->LevelMax = (float)va_arg(args, int);
        p->LevelGamma = va_arg(args, int) / 100.0f;
        p->LevelOutMin = (float)va_arg(args, int);
        p->LevelOutMax = (float)va_arg(args, int);
        break;
    case GraphFilter_KindTwoColor: {
        p->TwoColorThreshold = (float)va_arg(args, int);
        const int color1 = va_arg(args, int);
        const int alpha1 = va_arg(args, int);
        const int color2 = va_arg(args, int);
        const int alpha2 = va_arg(args, int);
        p->TwoColor1 = GraphFilter_ColorFromCode(color1, alpha1);
        p->TwoColor2 = GraphFilter_ColorFromCode(color2, alpha2);
        break;
    }
    case GraphFilter_KindGradientMap:
        p->GradientGraph = va_arg(args, int);
        p->GradientReverse = va_arg(args, int);
        break;
    case GraphFilter_KindReplacement: {
        uint32_t bytes[8];
        for (int i = 0; i < 8; i++) bytes[i] = (uint32_t)va_arg(args, int) & 0xFF;
        // r, g, b, a stored as the bytes B, G, R, A in memory order.
        p->ReplaceTarget = bytes[2] | bytes[1] << 8 | bytes[0] << 16 | bytes[3] << 24;
        p->ReplaceColor = bytes[6] | bytes[5] << 8 | bytes[4] << 16 | bytes[7] << 24;
        break;
    }
    case GraphFilter_KindYuvToRgb:
    case GraphFilter_KindYuvToRgbRra:
        p->UvGraph = -1;
        break;
    case GraphFilter_KindYuvToRgbUv:
    case GraphFilter_KindYuvToRgbUvRra:
        p->UvGraph = va_arg(args, int);
        break;
    case GraphFilter_KindBicubic:
    case GraphFilter_KindLanczos3:
        p->ScaleWidth = va_arg(args, int);
        p->ScaleHeight = va_arg(args, int);
        break;
    case GraphFilter_KindSsao:
        p->SsaoDepthGraph = va_arg(args, int);
        for (int i = 0; i < 4; i++) p->SsaoParam[i] = (float)va_arg(args, double);
        p->SsaoColor = va_arg(args, int);
        p->SsaoMix = (float)va_arg(args, double);
        p->SsaoMixGraph = p->SsaoDepthGraph;
        break;
    case GraphFilter_KindFloatColorScale:
        for (int i = 0; i < 8; i++) p->FloatColorScale[i] = (float)va_arg(args, double);
        break;
    default:
        break;
    }
    return 0;
}

// The UV graph of kinds 14 and 16 must be the source's size, half or a quarter of it in each axis.
static int GraphFilter_CheckUvSize(int uvGraph, int sourceWidth, int sourceHeight)
{
    int uvWidth = 0, uvHeight = 0;
    if (GraphFilter_QueryHandle(uvGraph, &uvWidth, &uvHeight, nullptr) != GraphFilter_HandleGraph) return -1;
    const bool widthFits = uvWidth == sourceWidth || uvWidth == sourceWidth / 2 || uvWidth == sourceWidth / 4;
    const bool heightFits = uvHeight == sourceHeight || uvHeight == sourceHeight / 2 || uvHeight == sourceHeight / 4;
    return widthFits && heightFits ? 0 : -1;
}

static int GraphFilter_RunBody(GraphFilterContext* context, const GraphFilterParams* p)
{
    const int kind = context->Kind;
    if (context->BlendFlag) {
        if (kind == GraphBlend_RgbaMix || kind == GraphBlend_RgbaMixPma)
            return GraphFilter_BlendRGBAMix(context, p->RgbaMixSelector[0], p->RgbaMixSelector[1],
                                            p->RgbaMixSelector[2], p->RgbaMixSelector[3],
                                            kind == GraphBlend_RgbaMixPma ? 1 : 0);
        return GraphFilter_Blend(context, kind >= GraphBlend_NormalPma && kind <= GraphBlend_MultipleAOnlyPma ? 1 : 0);
    }
    const int pma = kind >= GraphFilter_KindBrightClipPma ? 1 : 0;
    switch (GraphFilter_BaseKind(kind)) {
    case GraphFilter_KindMono: return GraphFilter_Mono(context, p->MonoCb, p->MonoCr);
    case GraphFilter_KindGauss: return GraphFilter_Gauss(context, p->GaussWidth, p->GaussStrength);
    case GraphFilter_KindDownScale: return GraphFilter_DownScale(context, context->Divisor);
    case GraphFilter_KindBrightClip:
        return GraphFilter_BrightClip(context, p->BrightClipCompare, p->BrightClipThreshold, p->BrightClipFill,
                                      &p->BrightClipFillColor, pma);
    case GraphFilter_KindBrightScale: return GraphFilter_BrightScale(context, p->BrightScaleMin, p->BrightScaleMax, pma);
    case GraphFilter_KindHsb:
        return GraphFilter_Hsb(context, p->HsbType, p->HsbHue, p->HsbSaturation, p->HsbBrightness, pma);
    case GraphFilter_KindInvert: return GraphFilter_Invert(context, pma);
    case GraphFilter_KindLevel:
        return GraphFilter_Level(context, p->LevelMin, p->LevelMax, p->LevelGamma, p->LevelOutMin, p->LevelOutMax,
                                 pma);
    case GraphFilter_KindTwoColor:
        return GraphFilter_TwoColor(context, p->TwoColorThreshold, &p->TwoColor1, &p->TwoColor2, pma);
    case GraphFilter_KindGradientMap:
        return GraphFilter_GradientMap(context, p->GradientGraph, p->GradientReverse, pma);
    case GraphFilter_KindReplacement: return GraphFilter_Replacement(context, p->ReplaceTarget, p->ReplaceColor, pma);
    case GraphFilter_KindPremultipliedAlpha: return GraphFilter_PremultipliedAlpha(context);
    case GraphFilter_KindInterpolatedAlpha: return GraphFilter_InterpolatedAlpha(context);
    case GraphFilter_KindYuvToRgb:
    case GraphFilter_KindYuvToRgbUv:
    case GraphFilter_KindYuvToRgbRra:
    case GraphFilter_KindYuvToRgbUvRra: return GraphFilter_YuvToRgb(context, p->UvGraph);
    case GraphFilter_KindBicubic: return GraphFilter_Bicubic(context, p->ScaleWidth, p->ScaleHeight);
    case GraphFilter_KindLanczos3: return GraphFilter_Lanczos3(context, p->ScaleWidth, p->ScaleHeight);
    case GraphFilter_KindSsao:
        return GraphFilter_Ssao(context, p->SsaoDepthGraph, p->SsaoParam[0], p->SsaoParam[1], p->SsaoParam[2],
                                p->SsaoParam[3], p->SsaoColor, p->SsaoMix, p->SsaoMixGraph);
    case GraphFilter_KindFloatColorScale: return GraphFilter_FloatColorScale(context, p->FloatColorScale);
    default: return -1;
    }
}

// ---------------------------------------------------------------------------------------------
// Dispatcher
// ---------------------------------------------------------------------------------------------

int GraphFilter_ExecuteV(int blendFlag, int source, int blendGraph, int destination, int blendRatio, int kind, int x1,
                         int y1, int x2, int y2, int blendX, int blendY, int blendRectFlag, int blendX2, int blendY2,
                         int blendScaleFlag, int destX, int destY, va_list args)
{
    GraphFilterContext context;
    memset(&context, 0, sizeof(context));
    GraphFilterParams params;
    memset(&params, 0, sizeof(params));

    // 1-3: the handles.
    int sourceWidth = 0, sourceHeight = 0;
    if (GraphFilter_QueryHandle(source, &sourceWidth, &sourceHeight, &context.SourceRecord) ==
        GraphFilter_HandleNone)
        return -1;
    GraphFilter_UpdateMovie(context.SourceRecord);
    int destWidth = 0, destHeight = 0;
    if (destination == DRAW_SCREEN_BACK) {
        GetMainScreenSize(&destWidth, &destHeight);
    } else if (GraphFilter_QueryHandle(destination, &destWidth, &destHeight, &context.DestRecord) ==
               GraphFilter_HandleNone) {
        return -1;
    }
    if (GraphFilter_Seams.MsaaDrawTarget) context.MsaaTargetRecord = GraphFilter_Seams.MsaaDrawTarget();

    // 4-5: the rectangle and the kind.
    if (x1 >= x2 || y1 >= y2) return -1;
    double scaleX = 1.0, scaleY = 1.0;
    if (blendFlag) {
        int blendWidth = 0, blendHeight = 0;
        if (GraphFilter_QueryHandle(blendGraph, &blendWidth, &blendHeight, &context.BlendRecord) !=
            GraphFilter_HandleGraph)
            return -1;
        GraphFilter_UpdateMovie(context.BlendRecord);
        if (kind < 0 || kind >= GraphBlend_KindCount) return -1;
        if (blendRectFlag && blendScaleFlag) {
            scaleX = (double)(blendX2 - blendX) / (x2 - x1);
            scaleY = (double)(blendY2 - blendY) / (y2 - y1);
        }
    } else if (kind < 0 || kind >= GraphFilter_KindCount) {
        return -1;
    }

    // 6: the ratio.
    const int ratio = blendRatio < 0 ? 0 : blendRatio > 255 ? 255 : blendRatio;
    context.BlendRatio = (float)ratio / 255.0f;

    // 7: clipping; the blend rectangle follows the source's own cuts.
    const bool moveBlend = blendFlag && blendRectFlag;
    if (x1 < 0) {
        if (moveBlend) blendX -= (int)(x1 * scaleX);
        destX -= x1;
        x1 = 0;
    }
    if (y1 < 0) {
        if (moveBlend) blendY -= (int)(y1 * scaleY);
        destY -= y1;
        y1 = 0;
    }
    if (destX < 0) {
        if (moveBlend) blendX -= (int)(destX * scaleX);
        x1 -= destX;
        destX = 0;
    }
    if (destY < 0) {
        if (moveBlend) blendY -= (int)(destY * scaleY);
        y1 -= destY;
        destY = 0;
    }
    if (x2 > sourceWidth) {
        if (moveBlend) blendX2 -= (int)((x2 - sourceWidth) * scaleX);
        x2 = sourceWidth;
    }
    if (y2 > sourceHeight) {
        if (moveBlend) blendY2 -= (int)((y2 - sourceHeight) * scaleY);
        y2 = sourceHeight;
    }
    if (x2 <= x1 || y2 <= y1 || x1 >= sourceWidth || y1 >= sourceHeight || x2 <= 0 || y2 <= 0 ||
        destX >= destWidth || destY >= destHeight)
        return 0;
    int w = x2 - x1, h = y2 - y1;
    int divisor = 1;
    const bool downScale = !blendFlag && kind == GraphFilter_KindDownScale;
    if (downScale) {
        divisor = GraphFilter_DownScaleDivisor(va_arg(args, int));
        params.DownScaleDivisor = divisor;
        if (destX + w / divisor > destWidth) {
            w = (destWidth - destX) * divisor;
            x2 = x1 + w;
        }
        if (destY + h / divisor > destHeight) {
            h = (destHeight - destY) * divisor;
            y2 = y1 + h;
        }
    } else {
        if (destX + w > destWidth) {
            w = destWidth - destX;
            x2 = x1 + w;
        }
        if (destY + h > destHeight) {
            h = destHeight - destY;
            y2 = y1 + h;
        }
    }
    if (w <= 0 || h <= 0) return 0;
    // A rectangle narrower or lower than the divisor reduces to nothing: nothing is written, on the
    // device (whose in-place run would clear the source) as in software.
    if (downScale && (w / divisor == 0 || h / divisor == 0)) return 0;

    // 8: the parameters.
    if (blendFlag) {
        if (kind == GraphBlend_RgbaMix || kind == GraphBlend_RgbaMixPma)
            for (int i = 0; i < 4; i++) params.RgbaMixSelector[i] = va_arg(args, int);
    } else if (!downScale) {
        GraphFilter_ParseParams(kind, &params, args);
        if ((kind == GraphFilter_KindYuvToRgbUv || kind == GraphFilter_KindYuvToRgbUvRra) &&
            GraphFilter_CheckUvSize(params.UvGraph, sourceWidth, sourceHeight) != 0)
            return -1;
    }

    // 9: the context.
    context.BlendSampling = 1;
    context.OutputBlendMode = 0;
    context.BlendFlag = blendFlag ? 1 : 0;
    context.Kind = kind;
    context.BlendGraph = blendFlag ? blendGraph : -1;
    context.DownScaleFlag = downScale ? 1 : 0;
    context.X1 = x1;
    context.Y1 = y1;
    context.X2 = x2;
    context.Y2 = y2;
    context.Divisor = divisor;
    context.BlendX = blendX;
    context.BlendY = blendY;
    context.BlendRectFlag = blendRectFlag;
    context.BlendX2 = blendX2;
    context.BlendY2 = blendY2;
    context.BlendScaleFlag = blendScaleFlag;
    context.DestX = destX;
    context.DestY = destY;
    context.Source = source;
    context.Destination = destination;

    // 10: pass planning (without a device one pass into the destination).
    context.PassCount = 1;
    context.WorkTextureFlag = 0;
    Graphics_Dispatch_GraphFilter_RectBltSetup(&context, &params);
    if (x1 != destX || y1 != destY) context.WorkTextureFlag = 1;

    // 11: the pass loop. A body that fails makes the run fail and ends it: a later pass would read what
    // the failed one did not write, and no final copy is made.
    int result = 0;
    int lastResult = 0;
    int passSource = source;
    int lastOutput = destination;
    // A device pass that drew nothing (a kind without a body on the back-end in use) leaves its output
    // as an earlier run left it: no final copy may take that into the destination.
    bool undrawn = false;
    for (int pass = 0; pass < context.PassCount; pass++) {
        context.PassIndex = pass;
        context.PassSource = source;
        context.PassOutput = destination;
        int passOutput = destination;
        if (Graphics_Dispatch_GraphFilter_RectBltPassSetup(&context, &passSource, &passOutput) < 0) {
            result = -1;
            break;
        }
        int outWidth, outHeight;
        if (passOutput != DRAW_SCREEN_BACK &&
            GraphFilter_QueryHandle(passOutput, &outWidth, &outHeight, nullptr) == GraphFilter_HandleNone) {
            result = -1;
            break;
        }
        context.PassSource = passSource;
        context.PassOutput = passOutput;
        const int drawnBefore = context.DrawnPasses;
        const int bodyResult = GraphFilter_RunBody(&context, &params);
        const bool drew = !GraphFilter_UseDevice() || context.DrawnPasses != drawnBefore;
        if (!drew) undrawn = true;
        if (bodyResult < 0) {
            lastResult = bodyResult;
            result = -1;
            lastOutput = passOutput;
            break;
        }
        if (GraphFilter_UseDevice() && drew && downScale && source == destination && pass == 0)
            GraphFilter_ClearSourceRect(&context);
        lastOutput = passOutput;
        passSource = passOutput;
    }

    // 12: restore and the final copy.
    Graphics_Dispatch_GraphFilter_RestoreDrawState();
    context.PassSource = source;
    context.PassOutput = destination;
    // A final copy that fails loses the run's result: the call fails too.
    if (Graphics_Dispatch_GraphFilter_RectBltFinish(&context, lastOutput, undrawn ? -1 : lastResult) < 0)
        result = -1;
    return result;
}

int GraphFilter_Execute(int blendFlag, int source, int blendGraph, int destination, int blendRatio, int kind, int x1,
                        int y1, int x2, int y2, int blendX, int blendY, int blendRectFlag, int blendX2, int blendY2,
                        int blendScaleFlag, int destX, int destY, ...)
{
    va_list args;
    va_start(args, destY);
    const int result = GraphFilter_ExecuteV(blendFlag, source, blendGraph, destination, blendRatio, kind, x1, y1, x2,
                                            y2, blendX, blendY, blendRectFlag, blendX2, blendY2, blendScaleFlag, destX,
                                            destY, args);
    va_end(args);
    return result;
}

int FilterGraph(int graph, int kind, ...)
{
    int width = 0, height = 0;
    if (GraphFilter_QueryHandle(graph, &width, &height, nullptr) == GraphFilter_HandleNone) return -1;
    va_list args;
    va_start(args, kind);
    const int result = GraphFilter_ExecuteV(0, graph, -1, graph, 0, kind, 0, 0, width, height, 0, 0, 0, 0, 0, 0, 0, 0,
                                            args);
    va_end(args);
    return result;
}

int FilterGraphToGraph(int source, int destination, int kind, ...)
{
    int width = 0, height = 0;
    if (GraphFilter_QueryHandle(source, &width, &height, nullptr) == GraphFilter_HandleNone) return -1;
    va_list args;
    va_start(args, kind);
    const int result = GraphFilter_ExecuteV(0, source, -1, destination, 0, kind, 0, 0, width, height, 0, 0, 0, 0, 0, 0,
                                            0, 0, args);
    va_end(args);
    return result;
}

int FilterGraphRectToGraph(int source, int destination, int x1, int y1, int x2, int y2, int destX, int destY,
                           int kind, ...)
{
    va_list args;
    va_start(args, kind);
    const int result = GraphFilter_ExecuteV(0, source, -1, destination, 0, kind, x1, y1, x2, y2, 0, 0, 0, 0, 0, 0,
                                            destX, destY, args);
    va_end(args);
    return result;
}

}  // namespace Vantrel
