// Transfers into graphs beyond the plain base-image one: Windows bitmaps (DIB sections) or base
// images with their source recorded, the copy of a rectangle of a graph or of the current draw
// target into a graph, and the built-in white and SSAO-pattern graphs.
// Stands on the graph records and transfer, memory images, the switch layer and the draw-target state.
#include <string.h>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

namespace {

// The bitmap (and its alpha bitmap) described as base images, else the caller's images.
int PickBmpOrImage(const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap, const BaseImage* image,
                   const BaseImage* alphaImage, BaseImage* colour, BaseImage* alpha, const BaseImage** useAlpha) {
    *useAlpha = nullptr;
    if (bitmap != nullptr) {
        if (Graphics_Image_DescribeBitmap(bitmap, bitmapFormat, colour) < 0) return -1;
        if (alphaBitmap != nullptr) {
            if (Graphics_Image_DescribeBitmap(alphaBitmap, bitmapFormat, alpha) < 0) return -1;
            *useAlpha = alpha;
        }
        return 0;
    }
    if (image == nullptr) return -1;
    *colour = *image;
    if (alphaImage != nullptr) *alpha = *alphaImage, *useAlpha = alpha;
    return 0;
}

// The transparent-colour switch of the current load settings.
int CurrentTransFlag() {
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    return param.noTransColor ? 0 : 1;
}

}  // namespace

int Graphics_Image_BltBmpOrImageToGraph(const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                        int graph, const BaseImage* image, const BaseImage* alphaImage, int inJob) {
    BaseImage colour, alpha;
    const BaseImage* useAlpha = nullptr;
    if (PickBmpOrImage(bitmapFormat, bitmap, alphaBitmap, image, alphaImage, &colour, &alpha, &useAlpha) < 0)
        return -1;
    const int trans = CurrentTransFlag();
    if (Graphics_Image_BltImageAtSourcePos(&colour, useAlpha, 0, 0, graph, trans) < 0) return -1;
    // The transfer stands even when its source cannot be kept (logged).
    Graphics_Image_SetSourceInfo(0, graph, nullptr, bitmapFormat, bitmap, alphaBitmap, nullptr, 0, nullptr, 0,
                                 bitmap ? nullptr : image, bitmap ? nullptr : alphaImage, 0, 0, trans ? 0 : 1, -1,
                                 inJob);
    return 0;
}

int Graphics_Image_BltBmpOrImageRectToGraph(const BaseImageRect* rect, int x, int y,
                                            const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                            int graph, const BaseImage* image, const BaseImage* alphaImage) {
    BaseImage colour, alpha;
    const BaseImage* useAlpha = nullptr;
    if (rect == nullptr ||
        PickBmpOrImage(bitmapFormat, bitmap, alphaBitmap, image, alphaImage, &colour, &alpha, &useAlpha) < 0)
        return -1;
    return Graphics_Image_BltImageRectToGraph(&colour, useAlpha, rect, x, y, graph, CurrentTransFlag());
}

// ---- Copy of a draw target ----

int Graphics_Image_CopyDrawTargetToGraph(int source, int surface, int mipLevel, int x1, int y1, int x2, int y2, int x,
                                         int y, int destination) {
    GraphHandleRecord* target = Graphics_Image_GetGraphRecord(destination, 0);
    if (target == nullptr) return -1;
    GraphHandleRecord* from = source >= 0 ? Graphics_Image_GetGraphRecord(source, 0) : nullptr;
    const int sourceWidth = from ? from->Width : GraphicsScreenState.DrawTargetWidth;
    const int sourceHeight = from ? from->Height : GraphicsScreenState.DrawTargetHeight;
    if (x1 < 0 || x1 >= x2 || y1 < 0 || y1 >= y2 || x2 > sourceWidth || y2 > sourceHeight) return -1;
    if (x < 0 || y < 0 || static_cast<int64_t>(x) + (x2 - x1) > target->Width ||
        static_cast<int64_t>(y) + (y2 - y1) > target->Height)
        return -1;
    if (target->Orig->format.hardware)
        return Graphics_Dispatch_DrawScreen_CopyToGraph(target, from, source, surface, mipLevel, sourceWidth,
                                                        sourceHeight, x1, y1, x2, y2, x, y) < 0
                   ? -1
                   : 0;

    const MEMIMG* image = from ? &from->memImage : GraphicsSystemState.MemImgDrawTarget;
    if (image == nullptr || !MemImg_IsValid(image) || !MemImg_IsValid(&target->memImage)) return -1;
    MemImgBody* body = target->memImage.body;
    int result;
    if (image->body == body) {
        // One memory image on both sides: the rectangle goes through a copy, so overlapping
        // areas come out as they were before the copy.
        const int bytes = body->format->bytesPerPixel;
        const int64_t rowBytes = static_cast<int64_t>(x2 - x1) * bytes;
        uint8_t* copy = static_cast<uint8_t*>(
            Memory_Allocate(static_cast<uint32_t>(rowBytes * (y2 - y1)), __FILE__, __LINE__));
        if (copy == nullptr) return -1;
        for (int row = y1; row < y2; ++row)
            memcpy(copy + (row - y1) * rowBytes,
                   static_cast<const uint8_t*>(image->pixels) + static_cast<int64_t>(row) * body->pitch +
                       static_cast<int64_t>(x1) * bytes,
                   static_cast<size_t>(rowBytes));
        const BaseImageRect whole = {0, 0, x2 - x1, y2 - y1};
        result = BaseImage_ColorConvertBlt(target->memImage.pixels, body->pitch, body->format, copy,
                                           static_cast<int>(rowBytes), body->format, nullptr, 0, nullptr, x, y, &whole,
                                           0, 0, 0, 0, 0, 0, 0, 0);
        Memory_Free(copy);
    } else {
        const int32_t rect[4] = {x1, y1, x2, y2};
        result = MemImg_Blt(&target->memImage, image, rect, x, y);
    }
    body->premulValid = 0;
    body->runsValid = 0;
    return result < 0 ? -1 : 0;
}

// ---- Built-in graphs ----

namespace {

int PlainWhiteGraph = -1;
int SsaoPatternGraph = -1;

const float SsaoPattern[16] = {-0.5724406f, 0.1975985f, 0.5750929f,  -0.5183226f, -0.2671914f, 0.3733715f,
                               0.570049f,   0.1687963f, -0.4004638f, -0.7277528f, -0.8991244f, -0.2343576f,
                               -0.2822068f, 0.2226072f, 0.4695217f,  0.7438251f};

// A graph made once from `image` with the creation parameters `create`, kept in `cache` (which the
// graph's deletion sets back to -1) and deleted with the device's loss.
int BuiltInGraph(int* cache, const BaseImage* image, const GraphCreateParam* create) {
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.create = *create;
    param.image = image;
    const int graph = Graphics_Image_CreateGraph_GParam(&param, 0, 0);
    if (graph < 0) return -1;
    Graphics_Image_GetGraphRecord(graph, 0)->deleteOnDeviceLoss = 1;
    *cache = graph;
    Handle_SetDeleteNotify(graph, cache);
    return graph;
}

}  // namespace

int Graphics_Image_GetPlainWhiteGraph() {
    if (PlainWhiteGraph >= 0 && Graphics_Image_CheckGraphHandle(PlainWhiteGraph)) return PlainWhiteGraph;
    BaseImage image;
    if (BaseImage_CreateARGB8(8, 8, &image) < 0) return -1;
    for (int row = 0; row < 8; ++row) memset(static_cast<uint8_t*>(image.pixels) + row * image.pitch, 0xFF, 32);
    GraphCreateParam create;
    Graphics_Image_InitGraphFormatParam(&create, 16, 1, 0);
    create.transColor = 0xFF00FF;
    const int graph = BuiltInGraph(&PlainWhiteGraph, &image, &create);
    BaseImage_Release(&image);
    return graph;
}

int Graphics_Image_GetSsaoPatternTexHandle() {
    if (SsaoPatternGraph >= 0 && Graphics_Image_CheckGraphHandle(SsaoPatternGraph)) return SsaoPatternGraph;
    BaseImage image;
    if (BaseImage_CreateARGBF32(4, 4, &image) < 0) return -1;
    for (int i = 0; i < 16; ++i) {
        float* pixel = reinterpret_cast<float*>(static_cast<uint8_t*>(image.pixels) + (i / 4) * image.pitch) + (i % 4) * 4;
        pixel[0] = pixel[1] = pixel[2] = SsaoPattern[i];
        pixel[3] = 1.0f;
    }
    GraphCreateParam create;
    Graphics_Image_InitCreateParam(&create);
    create.bitDepth = 32;
    create.isFloat = 1;
    create.channelCount = 4;
    create.channelBits = 32;
    const int graph = BuiltInGraph(&SsaoPatternGraph, &image, &create);
    BaseImage_Release(&image);
    return graph;
}

}  // namespace Vantrel
