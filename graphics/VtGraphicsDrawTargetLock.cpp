// CPU access to draw targets: locking a rectangle of a target's pixels, copying a rectangle of the
// current target into a graph and reading single pixels back. Without a device these work on the
// target's memory image in place; with one they go to the back-end through the switch layer.
// Stands on the graphics state records, the switch layer, graph records and memory images.
#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

namespace {

// The memory image software drawing of a target goes to: the graph's, else the main screen's.
MEMIMG* TargetMemImg(GraphHandleRecord* graph) {
    return graph != nullptr ? &graph->memImage : &GraphicsSystemState.SoftScreenMain;
}

// One channel of a channel-format pixel as 0.0 to 1.0 (floats as they are).
float ChannelValue(const uint8_t* pixel, int channel, int bits, int isFloat) {
    if (isFloat) {
        if (bits == 16) {
            uint16_t half;
            memcpy(&half, pixel + channel * 2, 2);
            return BaseImage_HalfToFloat(half);
        }
        float value;
        memcpy(&value, pixel + channel * 4, 4);
        return value;
    }
    if (bits == 16) {
        uint16_t value;
        memcpy(&value, pixel + channel * 2, 2);
        return value / 65535.0f;
    }
    return pixel[channel] / 255.0f;
}

int ToByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 1.0f) return 255;
    return (int)(value * 255.0f);
}

bool RectInside(const RECT& rect, int width, int height) {
    return rect.left >= 0 && rect.left < rect.right && rect.right <= width && rect.top >= 0 &&
           rect.top < rect.bottom && rect.bottom <= height;
}

}  // namespace

int Graphics_Screen_LockDrawTarget(const RECT* rect, BaseImage* out, int target, int surface, int mipLevel,
                                   int readOnly, int partIndex) {
    if (rect == nullptr || out == nullptr) return -1;
    if (target == -1) {
        const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
        target = slot.Handle, surface = slot.Surface, mipLevel = slot.MipLevel;
    } else {
        if (surface == -1) surface = 0;
        if (mipLevel == -1) mipLevel = 0;
    }
    GraphHandleRecord* graph = Graphics_Screen_GetTargetGraphRecord(target);
    int width = GraphicsScreenState.DrawTargetWidth, height = GraphicsScreenState.DrawTargetHeight;
    if (graph != nullptr) Graphics_Image_ComputeMipLevelSize(graph->Width, graph->Height, mipLevel, &width, &height);
    if (!RectInside(*rect, width, height)) return -1;

    if (GraphicsSystemState.DeviceValid) {
        if (Graphics_Dispatch_DrawScreen_Lock(rect, out, target, graph, surface, mipLevel, readOnly, partIndex) < 0)
            return -1;
    } else {
        const MEMIMG* image = TargetMemImg(graph);
        if (!MemImg_IsValid(image) || rect->right > image->width || rect->bottom > image->height) return -1;
        const MemImgBody* body = image->body;
        *out = {};
        out->format = *body->format;
        out->pitch = body->pitch;
        out->pixels = static_cast<uint8_t*>(image->pixels) + static_cast<int64_t>(rect->top) * body->pitch +
                      static_cast<int64_t>(rect->left) * body->format->bytesPerPixel;
        out->width = rect->right - rect->left;
        out->height = rect->bottom - rect->top;
    }
    GraphicsSystemState.DrawTargetLocked = 1;
    return 0;
}

int Graphics_Screen_LockedPixelColour(const BaseImage* image, uint32_t* colour) {
    const ColorFormatDesc& format = image->format;
    const uint8_t* pixel = (const uint8_t*)image->pixels;
    if (pixel == nullptr) return -1;
    int r = 0, g = 0, b = 0;
    if (format.channelCount != 0) {
        // Channels the format lacks count as full.
        float channels[3] = {1.0f, 1.0f, 1.0f};
        for (int c = 0; c < 3 && c < format.channelCount; ++c)
            channels[c] = ChannelValue(pixel, c, format.channelBits, format.isFloat);
        r = ToByte(channels[0]), g = ToByte(channels[1]), b = ToByte(channels[2]);
    } else if (format.bitDepth == 16 || format.bitDepth == 32) {
        uint32_t value = 0;
        memcpy(&value, pixel, (size_t)format.bitDepth / 8);
        BaseImage_ColorFormat_UnpackColor(&format, value, &r, &g, &b, nullptr);
    } else {
        return -1;
    }
    *colour = 0xFF000000u | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
    return 0;
}

int Graphics_Screen_UnlockDrawTarget() {
    if (GraphicsSystemState.DrawTargetLocked && GraphicsSystemState.DeviceValid) Graphics_Dispatch_DrawScreen_Unlock();
    GraphicsSystemState.DrawTargetLocked = 0;
    return 0;
}

int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph) {
    const GraphHandleRecord* destination = Graphics_Image_GetGraphRecord(graph, 0);
    if (destination == nullptr) return -1;
    const int64_t width = static_cast<int64_t>(x2) - x1, height = static_cast<int64_t>(y2) - y1;
    if (destination->Width != width || destination->Height != height) return -1;
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    return Graphics_Image_CopyDrawTargetToGraph(slot.Handle, slot.Surface, slot.MipLevel, x1, y1, x2, y2, 0, 0, graph);
}

int ReadDrawScreenPixelWithStatus(int x, int y, int* status) {
    if (status) *status = -1;
    if (x < 0 || y < 0 || x >= GraphicsScreenState.DrawTargetWidth || y >= GraphicsScreenState.DrawTargetHeight)
        return -1;
    if (GraphicsSystemState.DeviceValid) return Graphics_Dispatch_DrawScreen_GetPixelWithStatus(x, y, status);
    const int target = GraphicsScreenState.DrawTargets[0].Handle;
    GraphHandleRecord* graph = Graphics_Screen_GetTargetGraphRecord(target);
    if (graph == nullptr && target >= 0) return -1;
    const MEMIMG* image = TargetMemImg(graph);
    const int bits = Graphics_SoftScreen_BitsPerPixel(image);
    if (bits != 16 && bits != 32) return -1;
    const int64_t pixel = Graphics_SoftScreen_GetPixel(image, x, y);
    if (pixel < 0) return -1;
    if (status) *status = 0;
    return static_cast<int>(static_cast<uint32_t>(pixel));
}

int ReadDrawScreenPixel(int x, int y) { return ReadDrawScreenPixelWithStatus(x, y, nullptr); }

}  // namespace Vantrel
