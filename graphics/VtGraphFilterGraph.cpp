// The graph filters' graph-handle seams over real handles: the handle query (graphs and shadow
// maps), reading a rectangle of a graph or of the back screen into an ARGB8 image, writing an
// image back into a graph or onto the back screen, and the multisampled draw target. Without a
// device a graph's pixels are its full image's memory image, read and written here directly.
// Stands on the graph records, memory images, the software screens and the draw settings.
#include <string.h>

#include "foundation/VtHandle.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShadowMap.h"

namespace Vantrel {

namespace {

// The palette entry `index` of a memory image's palette as 0x00RRGGBB.
uint32_t PaletteColor(const MemImgBody* body, int index) {
    if (body->colorType == MemImgColorType_XRGB8) return static_cast<const uint32_t*>(body->palette)[index] & 0xFFFFFF;
    const uint32_t v = static_cast<const uint16_t*>(body->palette)[index];
    const uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// The rectangle of a memory image (view) copied into `out`, an ARGB8 image of the rectangle's size.
int MemImgToImage(const MEMIMG* image, const BaseImageRect* rect, BaseImage* out) {
    if (!MemImg_IsValid(image) || rect->left < 0 || rect->top < 0 || rect->right > image->width ||
        rect->bottom > image->height)
        return -1;
    const MemImgBody* body = image->body;
    if (body->hasPalette) {
        for (int y = rect->top; y < rect->bottom; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(image->pixels) + static_cast<int64_t>(y) * body->pitch;
            uint32_t* dest = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(out->pixels) +
                                                         static_cast<int64_t>(y - rect->top) * out->pitch);
            for (int x = rect->left; x < rect->right; ++x) dest[x - rect->left] = PaletteColor(body, row[x]) | 0xFF000000u;
        }
        return 0;
    }
    return BaseImage_ColorConvertBlt(out->pixels, out->pitch, &out->format, image->pixels, body->pitch, body->format,
                                     nullptr, 0, nullptr, 0, 0, rect, 0, 0, 0, 0, 0, 0, 0, 0) < 0
               ? -1
               : 0;
}

// A palette memory image can only hold its palette's colours: each pixel takes the nearest entry.
int ImageToPaletteMemImg(const BaseImage* image, MEMIMG* target, int x0, int y0) {
    const MemImgBody* body = target->body;
    ColorFormatDesc palette;
    BaseImage_ColorFormat_InitPal8(&palette);
    for (int i = 0; i < 256; ++i) palette.palette[i] = PaletteColor(body, i) | 0xFF000000u;
    for (int y = 0; y < image->height; ++y) {
        if (y0 + y < 0 || y0 + y >= target->height) continue;
        uint8_t* row = static_cast<uint8_t*>(target->pixels) + static_cast<int64_t>(y0 + y) * body->pitch;
        for (int x = 0; x < image->width; ++x) {
            if (x0 + x < 0 || x0 + x >= target->width) continue;
            const uint32_t c = BaseImage_GetPixelARGB8(image, x, y);
            row[x0 + x] = static_cast<uint8_t>(
                BaseImage_ColorFormat_NearestPaletteIndex(&palette, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
        }
    }
    target->body->premulValid = 0;
    target->body->runsValid = 0;
    return 0;
}

// The back screen without a device: the image copied (the drawn pixels replace the screen's)
// inside the draw area.
int WriteSoftBackScreen(int x, int y, const BaseImage* image) {
    MEMIMG* screen = &GraphicsSystemState.SoftScreenMain;
    if (!MemImg_IsValid(screen)) return -1;
    const RECT& area = DrawSettings.DrawArea;
    const int64_t left = x > area.left ? x : area.left, top = y > area.top ? y : area.top;
    const int64_t right = static_cast<int64_t>(x) + image->width < area.right ? static_cast<int64_t>(x) + image->width
                                                                              : area.right;
    const int64_t bottom = static_cast<int64_t>(y) + image->height < area.bottom
                               ? static_cast<int64_t>(y) + image->height
                               : area.bottom;
    if (left >= right || top >= bottom) return 0;
    return MemImg_BltBaseImage(image, nullptr, screen, static_cast<int>(left - x), static_cast<int>(top - y),
                               static_cast<int>(right - left), static_cast<int>(bottom - top), static_cast<int>(left),
                               static_cast<int>(top), 0) < 0
               ? -1
               : 0;
}

// The back screen on a device: drawn through a temporary graph with blend mode 14 at 255.
int WriteDeviceBackScreen(int x, int y, const BaseImage* image) {
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.image = image;
    param.noSourceInfo = 1;
    param.noTransColor = 1;
    const int graph = Graphics_Image_CreateGraph_GParam(&param, 0, 0);
    if (graph < 0) return -1;
    int mode = 0, blendParam = 0;
    GetBlendModeAndParam(&mode, &blendParam);
    SetBlendModeAndParam(14, 255);
    const int alpha = image->format.alphaMask != 0 || image->format.alphaWidth != 0 ? 1 : 0;
    const int result = DrawGraphAt(x, y, graph, alpha);
    SetBlendModeAndParam(mode, blendParam);
    Handle_Delete(graph, 0, 0);
    return result < 0 ? -1 : 0;
}

}  // namespace

int GraphFilter_Graph_QueryHandle(int handle, int* width, int* height, GraphHandleRecord** record) {
    *record = nullptr;
    if (handle < 0) return GraphFilter_HandleNone;
    if (Handle_TypeOf(handle) == HandleType_ShadowMap) {
        const ShadowMapRecord* map = reinterpret_cast<const ShadowMapRecord*>(Handle_GetRecord(handle));
        if (map == nullptr) return GraphFilter_HandleNone;
        *width = map->Width;
        *height = map->Height;
        return GraphFilter_HandleShadowMap;
    }
    // The check finishes a pending load (the filter run brings a movie's frame up to date).
    GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(handle, 0);
    if (graph == nullptr || graph->Orig == nullptr) return GraphFilter_HandleNone;
    *width = graph->Width;
    *height = graph->Height;
    *record = graph;
    return GraphFilter_HandleGraph;
}

int GraphFilter_Graph_Read(int handle, const BaseImageRect* rect, BaseImage* out) {
    if (handle == DRAW_SCREEN_BACK) {
        // The device's back buffer is read through the draw-target lock of the back-end.
        if (GraphicsSystemState.DeviceValid) return -1;
        return MemImgToImage(&GraphicsSystemState.SoftScreenMain, rect, out);
    }
    const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(handle, 0);
    if (record == nullptr || record->Orig == nullptr) return -1;
    // A texture's pixels are read through the back-end's texture lock.
    if (!record->Orig->format.softwareImage) return -1;
    return MemImgToImage(&record->memImage, rect, out);
}

int GraphFilter_Graph_Write(int handle, int x, int y, const BaseImage* image) {
    if (handle == DRAW_SCREEN_BACK)
        return GraphicsSystemState.DeviceValid ? WriteDeviceBackScreen(x, y, image) : WriteSoftBackScreen(x, y, image);
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(handle, 0);
    if (record == nullptr || record->Orig == nullptr) return -1;
    if (record->Orig->format.softwareImage && MemImg_IsValid(&record->memImage) && record->memImage.body->hasPalette)
        return ImageToPaletteMemImg(image, &record->memImage, x, y);
    const BaseImageRect rect = {0, 0, image->width, image->height};
    return Graphics_Image_BltImageToGraph(&rect, x, y, handle, image, nullptr, record->Orig->format.blendImage, 0, 0, 0);
}

GraphHandleRecord* GraphFilter_Graph_MsaaDrawTarget() {
    const int target = GraphicsScreenState.DrawTargets[0].Handle;
    if (target < 0 || !Graphics_Image_CheckMSAADrawTarget(target)) return nullptr;
    return Graphics_Image_GetGraphRecord(target, 0);
}

}  // namespace Vantrel
