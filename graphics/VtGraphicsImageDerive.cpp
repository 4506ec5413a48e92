// Graph derivation, source records and deletion: graphs that show a rectangle of another graph's
// full image, the shared record of where a graph's pixels came from, the end of a graph (its share
// of the full image, its draw-target slots, its owner's lost flag) and the sweeps over all graphs.
// Stands on the handle manager, memory images, the switch layer and the movie services.
#include <string.h>
#include <wchar.h>

#include "foundation/VtWinAPI.h"  // first: it brings winsock2.h before windows.h
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"

namespace Vantrel {

// ---- Derivation ----

int Graphics_Image_DeriveGraphBase(int graph, int floatMode, int x, float xF, int y, float yF, int width, float widthF,
                                   int height, float heightF, int sourceGraph, int inJob) {
    const GraphHandleRecord* source = Graphics_Image_GetGraphRecord(sourceGraph, inJob);
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (source == nullptr || record == nullptr || record == source) return -1;
    if (x < 0 || y < 0 || x >= source->Width || y >= source->Height) return -1;
    if (xF < 0.0f || yF < 0.0f || xF >= source->widthF || yF >= source->heightF) return -1;
    if (width <= 0 || height <= 0) return -1;
    if (static_cast<int64_t>(x) + width > source->Width) width = source->Width - x;
    if (static_cast<int64_t>(y) + height > source->Height) height = source->Height - y;
    if (xF + widthF > source->widthF) widthF = source->widthF - xF;
    if (yF + heightF > source->heightF) heightF = source->heightF - yF;
    return Graphics_Image_InitDerivedHandle(graph, floatMode, x, xF, y, yF, width, widthF, height, heightF, sourceGraph,
                                            inJob);
}

int Graphics_Image_InitDerivedHandle(int graph, int floatMode, int x, float xF, int y, float yF, int width,
                                     float widthF, int height, float heightF, int sourceGraph, int inJob) {
    const GraphHandleRecord* source = Graphics_Image_GetGraphRecord(sourceGraph, inJob);
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (source == nullptr || record == nullptr || record == source) return -1;
    record->Orig = source->Orig;
    record->Orig->refCount++;
    Graphics_Image_ShareSourceInfo(graph, sourceGraph, 1);
    record->sourceX = source->sourceX + x, record->sourceY = source->sourceY + y;
    record->sourceXF = source->sourceXF + xF, record->sourceYF = source->sourceYF + yF;
    record->x = source->x + x, record->y = source->y + y;
    record->xF = source->xF + xF, record->yF = source->yF + yF;
    record->Width = width, record->Height = height;
    record->widthF = widthF, record->heightF = heightF;
    record->keepAlways = source->keepAlways;
    record->keepAtModeChange = source->keepAtModeChange;
    return Graphics_Image_BuildDrawParts(graph, floatMode, 1);
}

int Graphics_Image_DeriveGraphRect_GParam(int floatMode, int x, float xF, int y, float yF, int width, float widthF,
                                          int height, float heightF, int sourceGraph, int inJob) {
    if (Graphics_Image_GetGraphRecord(sourceGraph, inJob) == nullptr) return -1;
    const int graph = Handle_New(HandleType_Graph, inJob, -1);
    if (graph < 0) return -1;
    if (inJob) Handle_ASyncLoad_Begin(graph, -1);
    const int result = Graphics_Image_DeriveGraphBase(graph, floatMode, x, xF, y, yF, width, widthF, height, heightF,
                                                      sourceGraph, inJob);
    if (inJob) Handle_ASyncLoad_End(graph);
    if (result < 0) {
        Handle_Delete(graph, inJob, 0);
        return -1;
    }
    return graph;
}

int DeriveGraphRect(int x, int y, int width, int height, int sourceGraph) {
    return Graphics_Image_DeriveGraphRect_GParam(0, x, static_cast<float>(x), y, static_cast<float>(y), width,
                                                 static_cast<float>(width), height, static_cast<float>(height),
                                                 sourceGraph, 0);
}

// ---- Source records ----

namespace {

void ReleaseSourceInfo(GraphSourceInfo*& info) {
    if (info == nullptr) return;
    if (--info->refCount <= 0) {
        Memory_Free(info->fileName);
        if (info->image) BaseImage_Release(info->image);
        if (info->alphaImage) BaseImage_Release(info->alphaImage);
        Memory_Free(info->image);
        Memory_Free(info->alphaImage);
        Memory_Free(info->memImage);
        Memory_Free(info->alphaMemImage);
        Memory_Free(info);
    }
    info = nullptr;
}

void* CopyBlock(const void* data, int size) {
    if (size <= 0) return nullptr;
    void* copy = Memory_Allocate(static_cast<uint32_t>(size), __FILE__, __LINE__);
    if (copy != nullptr) memcpy(copy, data, static_cast<size_t>(size));
    return copy;
}

// A base image and its pixels copied into one new block pair; null when it cannot be had.
BaseImage* CopyBaseImage(const BaseImage* image) {
    BaseImage* copy = static_cast<BaseImage*>(Memory_Allocate(sizeof(BaseImage), __FILE__, __LINE__));
    if (copy == nullptr) return nullptr;
    *copy = *image;
    const int size = BaseImage_GetDataSize(image);
    copy->pixels = size > 0 ? CopyBlock(image->pixels, size) : nullptr;
    if (size > 0 && copy->pixels == nullptr) {
        Memory_Free(copy);
        return nullptr;
    }
    return copy;
}

}  // namespace

int Graphics_Image_DescribeBitmap(HBITMAP bitmap, const ColorFormatDesc* format, BaseImage* out) {
    BITMAP header = {};
    if (bitmap == nullptr || format == nullptr || WinAPITable.GetObjectA == nullptr ||
        WinAPITable.GetObjectA(bitmap, sizeof(header), &header) == 0 || header.bmBits == nullptr ||
        header.bmWidth <= 0 || header.bmHeight == 0)
        return -1;
    const int64_t pitch = (static_cast<int64_t>(header.bmWidth) * format->bitDepth + 31) / 32 * 4;
    const int64_t height = header.bmHeight < 0 ? -static_cast<int64_t>(header.bmHeight) : header.bmHeight;
    if (BaseImage_CheckedSize(pitch, height) < 0) return -1;
    *out = {};
    out->format = *format;
    out->width = header.bmWidth;
    out->height = static_cast<int32_t>(height);
    out->pitch = static_cast<int32_t>(pitch);
    out->pixels = header.bmBits;
    return 0;
}

int Graphics_Image_SetSourceInfo(int noSourceInfo, int graph, const wchar_t* fileName,
                                 const ColorFormatDesc* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                                 const void* memImage, int memSize, const void* alphaMemImage, int alphaMemSize,
                                 const BaseImage* image, const BaseImage* alphaImage, int mirror, int premultiplyAlpha,
                                 int noTransColor, int sourceGraph, int inJob) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    const GraphHandleRecord* source = sourceGraph >= 0 ? Graphics_Image_GetGraphRecord(sourceGraph, inJob) : nullptr;
    ReleaseSourceInfo(record->sourceInfo);
    BaseImage bitmapImage, bitmapAlpha;
    if (bitmap != nullptr && fileName == nullptr && source == nullptr) {
        if (Graphics_Image_DescribeBitmap(bitmap, bitmapFormat, &bitmapImage) < 0) return -1;
        image = &bitmapImage;
        alphaImage = alphaBitmap != nullptr && Graphics_Image_DescribeBitmap(alphaBitmap, bitmapFormat, &bitmapAlpha) == 0
                         ? &bitmapAlpha
                         : nullptr;
        memImage = nullptr;
    }
    if (noSourceInfo) return 0;
    if (source != nullptr) {
        record->sourceInfo = source->sourceInfo;
        if (record->sourceInfo) record->sourceInfo->refCount++;
        return 0;
    }
    if (fileName == nullptr && memImage == nullptr && image == nullptr) return 0;

    GraphSourceInfo* info =
        static_cast<GraphSourceInfo*>(Memory_AllocateZeroed(sizeof(GraphSourceInfo), __FILE__, __LINE__));
    bool failed = info == nullptr;
    const char* message = "転送する画像データを保存するメモリ領域の確保に失敗しました\n";
    if (!failed && fileName != nullptr) {
        message = "転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n";
        info->fileName = static_cast<wchar_t*>(CopyBlock(fileName, static_cast<int>((wcslen(fileName) + 1) * sizeof(wchar_t))));
        failed = info->fileName == nullptr;
    } else if (!failed && memImage != nullptr) {
        info->memImage = CopyBlock(memImage, memSize);
        info->memSize = memSize;
        info->alphaMemImage = alphaMemImage ? CopyBlock(alphaMemImage, alphaMemSize) : nullptr;
        info->alphaMemSize = alphaMemImage ? alphaMemSize : 0;
        failed = info->memImage == nullptr || (alphaMemImage != nullptr && info->alphaMemImage == nullptr);
    } else if (!failed) {
        message = "転送する基本イメージを保存するメモリ領域の確保に失敗しました\n";
        info->image = CopyBaseImage(image);
        info->alphaImage = alphaImage ? CopyBaseImage(alphaImage) : nullptr;
        failed = info->image == nullptr || (alphaImage != nullptr && info->alphaImage == nullptr);
    }
    if (failed) {
        Log_AddTextShiftJIS(message);
        if (info) {
            info->refCount = 1;
            ReleaseSourceInfo(info);
        }
        return -1;
    }
    info->mirror = mirror;
    info->premultiplyAlpha = premultiplyAlpha;
    info->noTransColor = noTransColor;
    info->refCount = 1;
    record->sourceInfo = info;
    return 0;
}

int Graphics_Image_ShareSourceInfo(int graph, int sourceGraph, int inJob) {
    return Graphics_Image_SetSourceInfo(0, graph, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr,
                                        nullptr, 0, 0, 0, sourceGraph, inJob);
}

int SetGraphLostNotifyFlag(int graph, int* flag) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr) return -1;
    record->lostNotify = flag;
    if (flag) *flag = 0;
    return 0;
}

int SetDeleteGraphsOnModeChange(int flag) {
    GraphCreateSettings.keepAtModeChange = flag == 0 ? 1 : 0;
    GraphicsSystemState.DeleteGraphsOnModeChange = GraphCreateSettings.keepAtModeChange;
    return 0;
}

// ---- Deletion and sweeps ----

int Graphics_Image_HandleRecord_Terminate(HandleHeader* header) {
    GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(header);
    const int graph = header->Handle;
    const int slots = GraphicsSystemState.MaxRenderTargets > 0 ? GraphicsSystemState.MaxRenderTargets : 1;
    for (int i = 0; i < slots && i < 8; ++i) {
        DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[i];
        if (slot.Handle != graph) continue;
        if (i == 0) {
            SelectDrawScreen(DRAW_SCREEN_FRONT);
        } else if (GraphicsSystemState.DeviceValid) {
            slot = {-1, 0, 0};
            Graphics_Dispatch_DrawScreen_RefreshTargetFlag();
            Graphics_Dispatch_ShaderRenderTarget_Set(i, -1, 0, 0);
        }
    }
    if (GraphicsScreenState.DepthBufferGraph == graph && GraphicsSystemState.Initialised) {
        // Draws go back to the draw target's own depth buffer.
        Graphics_WaitWhileInactive();
        if (Graphics_Dispatch_ZBuffer_CheckGraph(-2, nullptr) == 0) {
            GraphicsScreenState.DepthBufferGraph = DRAW_SCREEN_BACK;
            Graphics_Dispatch_ZBuffer_Setup();
        }
    }
    if (GraphicsSystemState.BlendGraphMemImg == &record->memImage) GraphicsSystemState.BlendGraphMemImg = nullptr;
    MemImg_Release(&record->memImage);
    GraphOrigRecord* orig = record->Orig;
    record->Orig = nullptr;
    if (orig != nullptr && --orig->refCount <= 0) {
        Movie_Handle_Delete(orig->movie);
        if (orig->format.softwareImage || !orig->format.hardware)
            MemImg_Release(&orig->memImage);
        else
            Graphics_Dispatch_Texture_Release(orig);
        Memory_Free(orig);
    }
    ReleaseSourceInfo(record->sourceInfo);
    if (record->lostNotify) *record->lostNotify = 1;
    return 0;
}

int Graphics_Image_HandleRecord_Dump(HandleHeader* header) {
    const GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(header);
    const wchar_t* file = record->sourceInfo && record->sourceInfo->fileName ? record->sourceInfo->fileName : L"None";
    Log_AddFormatUTF16(L"Handle:0x%08x Size:%dx%d UsePos:%d,%d File:%s", header->Handle, record->Width,
                       record->Height, record->x, record->y, file);
    return 0;
}

int Graphics_Image_HandleFilter_ModeChange(HandleHeader* header) {
    const GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(header);
    if (record->keepAlways) return 1;
    return record->keepAtModeChange && !GraphicsSystemState.Terminating ? 1 : 0;
}

int Graphics_Image_DeleteLostFlaggedGraphs() {
    HandleManager& manager = HandleManagerTable[HandleType_Graph];
    if (!manager.Initialized) return 0;
    for (int slot = manager.LowestUsed; slot <= manager.HighestUsed && slot < manager.MaxCount; ++slot) {
        const GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(manager.Slots[slot]);
        if (record == nullptr || record->Orig == nullptr || !record->deleteOnDeviceLoss) continue;
        Handle_DeleteNow(record->Header.Handle);
    }
    return 0;
}

}  // namespace Vantrel
