// Divided graphs: one image cut into a grid of cells that share one full image, created at once or
// as one job on the loader threads, refreshed in place, with integer or float cell positions and
// the cells numbered from the right when mirrored.
// Stands on the graph records, derivation, the load worker's source images and the asynchronous loader.
#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

// The place of cell `index` in the image (integer and float), counted from the right when mirrored.
void CellPlace(const GraphLoadParam* param, int index, int64_t* x, float* xF, int64_t* y, float* yF) {
    const int64_t column = index % param->columns, row = index / param->columns;
    const int64_t placed = param->mirror ? param->columns - 1 - column : column;
    *x = placed * param->stepX, *y = row * param->stepY;
    *xF = static_cast<float>(placed) * param->stepXF, *yF = static_cast<float>(row) * param->stepYF;
}

void TakeDefaultSteps(GraphLoadParam* param) {
    if (param->stepX == 0) param->stepX = param->cellWidth;
    if (param->stepY == 0) param->stepY = param->cellHeight;
    if (param->stepXF == 0.0f) param->stepXF = param->cellWidthF;
    if (param->stepYF == 0.0f) param->stepYF = param->cellHeightF;
}

void DeleteHandles(int32_t* handles, int count, int inJob) {
    for (int i = 0; i < count; ++i)
        if (handles[i] > 0) Handle_Delete(handles[i], inJob, 0), handles[i] = -1;
}

// The cells and the hidden whole graph of one job: cells first, the whole graph last.
int Graphics_Image_CreateDivGraph_ASyncJob(ASyncLoadEntry* entry) {
    GraphLoadParam* param = nullptr;
    int count = 0;
    int32_t* handles = Graphics_Image_UnpackLoadJob(entry, &param, &count);
    param->handles = handles;
    param->wholeGraph = handles[count - 1];
    int result = Graphics_Image_LoadDivGraphWorker(param, 1);
    // The whole graph has done its work: the cells keep the full image alive.
    Graphics_Image_FinishLoadJob(&handles[count - 1], 1, -1);
    Graphics_Image_FinishLoadJob(handles, count - 1, result);
    return 0;
}

}  // namespace

int CreateDivGraphFromGraphImage(GraphLoadParam* param, const BaseImage* image, const BaseImage* alphaImage,
                                 int inJob) {
    if (param->count > static_cast<int64_t>(param->columns) * param->rows) return -1;
    TakeDefaultSteps(param);
    if (param->refresh) {
        const int64_t width = static_cast<int64_t>(param->stepX) * param->columns;
        const int64_t height = static_cast<int64_t>(param->stepY) * param->rows;
        if (Graphics_Image_GetGraphRecord(param->handles[0], inJob) == nullptr || image->width < width ||
            image->height < height ||
            (alphaImage && (alphaImage->width != image->width || alphaImage->height != image->height)))
            return -1;
        if (param->leftTopIsTransColor)
            param->create.transColor = static_cast<int32_t>(BaseImage_GetPixelARGB8(image, 0, 0) & 0xFFFFFF);
        return Graphics_Image_BltImageToDivGraphs(param, image, alphaImage, inJob);
    }
    if (Graphics_Image_MakeGraphFromBaseImage_GParam(param, param->wholeGraph, image, alphaImage, inJob) < 0) return -1;
    for (int i = 0; i < param->count; ++i) {
        int64_t x, y;
        float xF, yF;
        CellPlace(param, i, &x, &xF, &y, &yF);
        const int64_t row = i / param->columns;
        if (image->width < x + param->stepX || image->height < (row + 1) * param->stepY) {
            Log_AddTextShiftJIS("グラフィックの分割に失敗しました。分割後の総サイズが分割元の画像よりも大きい指定になってしまっています。 in CreateDivGraphFromGraphImage\n");
            return -1;
        }
        if (Graphics_Image_DeriveGraphBase(param->handles[i], param->floatCoords, static_cast<int>(x), xF,
                                           static_cast<int>(y), yF, param->cellWidth, param->cellWidthF,
                                           param->cellHeight, param->cellHeightF, param->wholeGraph, inJob) < 0) {
            Log_AddTextShiftJIS("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
            return -1;
        }
    }
    return 0;
}

int Graphics_Image_BltImageToDivGraphs(GraphLoadParam* param, const BaseImage* image, const BaseImage* alphaImage,
                                       int inJob) {
    const GraphHandleRecord* first = Graphics_Image_GetGraphRecord(param->handles[0], inJob);
    if (first == nullptr) return -1;
    bool shared = true;
    for (int i = 0; i < param->count; ++i) {
        GraphHandleRecord* cell = Graphics_Image_GetGraphRecord(param->handles[i], inJob);
        if (cell == nullptr) return -1;
        int64_t x, y;
        float xF, yF;
        CellPlace(param, i, &x, &xF, &y, &yF);
        cell->sourceX = static_cast<int32_t>(x), cell->sourceY = static_cast<int32_t>(y);
        cell->sourceXF = xF, cell->sourceYF = yF;
        shared = shared && cell->Orig == first->Orig;
    }
    const int trans = param->noTransColor ? 0 : 1;
    if (shared) {
        const BaseImageRect whole = {0, 0, image->width, image->height};
        return Graphics_Image_BltImageToGraph(&whole, 0, 0, param->handles[0], image, alphaImage,
                                              first->Orig->format.blendImage, trans, 1, inJob);
    }
    for (int i = 0; i < param->count; ++i) {
        const GraphHandleRecord* cell = Graphics_Image_GetGraphRecord(param->handles[i], inJob);
        const BaseImageRect rect = {cell->sourceX, cell->sourceY, cell->sourceX + cell->Width,
                                    cell->sourceY + cell->Height};
        if (Graphics_Image_BltImageToGraph(&rect, 0, 0, param->handles[i], image, alphaImage,
                                           cell->Orig->format.blendImage, trans, 0, inJob) < 0)
            return -1;
    }
    return 0;
}

int Graphics_Image_LoadDivGraphWorker(GraphLoadParam* param, int inJob) {
    GraphSourceImages images;
    if (Graphics_Image_LoadSourceImage(param, &images) < 0) {
        if (param->fileName) Log_AddFormatUTF16(L"画像ファイル %s のロードに失敗しました", param->fileName);
        return -1;
    }
    int result = CreateDivGraphFromGraphImage(param, images.use, images.useAlpha, inJob);
    if (result < 0) {
        if (param->fileName) Log_AddFormatUTF16(L"画像ファイル %s の分割読み込みに失敗しました", param->fileName);
    } else if (!param->refresh) {
        // The first cell keeps the source, the others share its record.
        Graphics_Image_RecordSource(param, param->handles[0], &images, -1, inJob);
        for (int i = 1; i < param->count; ++i)
            Graphics_Image_ShareSourceInfo(param->handles[i], param->handles[0], inJob);
    }
    Graphics_Image_ReleaseSourceImage(&images);
    return result;
}

int Graphics_Image_CreateDivGraph_GParam(GraphLoadParam* param, int async, int inJob) {
    if (!GraphicsSystemState.Initialised) return -1;
    const int count = param->count;
    int32_t* handles = param->handles;
    if (count <= 0 || handles == nullptr || param->columns <= 0 || param->rows <= 0 || param->cellWidth <= 0 ||
        param->cellHeight <= 0 || param->stepX < 0 || param->stepY < 0)
        return -1;
    if (count > static_cast<int64_t>(param->columns) * param->rows) return -1;
    if (param->refresh) {
        for (int i = 0; i < count; ++i)
            if (Handle_IsASyncLoading(handles[i]) > 0) return -1;
        return Graphics_Image_LoadDivGraphWorker(param, inJob) < 0 ? -1 : 0;
    }
    if (!inJob) Graphics_WaitWhileInactive();

    // The cells (under the handle values the creation parameters carry, when they carry enough),
    // then the hidden whole graph; for a job they travel as one array with the whole graph last.
    const int64_t bytes = (static_cast<int64_t>(count) + 1) * 4;
    if (bytes > 0x7FFF0000) return -1;
    int32_t* created = static_cast<int32_t*>(Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (created == nullptr) return -1;
    memset(handles, 0, static_cast<size_t>(count) * 4);
    GraphCreateParam& create = param->create;
    const bool reuse = create.handleArray != nullptr && create.handleArrayCount >= count;
    int result = 0;
    for (int i = 0; i < count && result == 0; ++i) {
        handles[i] = Handle_New(HandleType_Graph, inJob, reuse ? create.handleArray[i] : -1);
        if (handles[i] < 0) handles[i] = 0, result = -1;
    }
    if (create.handleArray != nullptr) {
        Memory_Free(create.handleArray);
        create.handleArray = nullptr;
        create.handleArrayCount = 0;
    }
    param->wholeGraph = result == 0 ? Handle_New(HandleType_Graph, inJob, -1) : -1;
    if (param->wholeGraph < 0) result = -1;
    if (result == 0) {
        memcpy(created, handles, static_cast<size_t>(count) * 4);
        created[count] = param->wholeGraph;
        // A bitmap is read where it lies: its load runs at once.
        if (async && !inJob && param->bitmapInfo == nullptr) {
            result = Graphics_Image_QueueLoadJob(param, created, count + 1, Graphics_Image_CreateDivGraph_ASyncJob);
            if (result == 0) {
                Memory_Free(created);
                return 0;
            }
        } else {
            if (inJob)
                for (int i = 0; i <= count; ++i) Handle_ASyncLoad_Begin(created[i], -1);
            result = Graphics_Image_LoadDivGraphWorker(param, inJob);
            if (inJob)
                for (int i = 0; i <= count; ++i) Handle_ASyncLoad_End(created[i]);
        }
    }
    if (param->wholeGraph > 0) Handle_Delete(param->wholeGraph, inJob, 0);
    param->wholeGraph = -1;
    Memory_Free(created);
    if (result < 0) {
        DeleteHandles(handles, count, inJob);
        for (int i = 0; i < count; ++i) handles[i] = -1;
        return -1;
    }
    return 0;
}

int Graphics_Image_CreateDivGraphFromMemory_GParam(GraphLoadParam* param, const void* image, int size, int count,
                                                   int columns, int rows, int cellWidth, int cellHeight,
                                                   int* handles, int async, int inJob) {
    if (image == nullptr || size <= 0) return -1;
    param->memImage = image;
    param->memSize = size;
    param->count = count, param->columns = columns, param->rows = rows;
    param->cellWidth = cellWidth, param->cellHeight = cellHeight;
    param->cellWidthF = static_cast<float>(cellWidth), param->cellHeightF = static_cast<float>(cellHeight);
    param->handles = reinterpret_cast<int32_t*>(handles);
    return Graphics_Image_CreateDivGraph_GParam(param, async, inJob);
}

int CreateDivGraphFromMemoryImage(const void* image, int size, int count, int columns, int rows, int cellWidth,
                                  int cellHeight, int* handles, int option, int mirror, const void* alphaImage,
                                  int alphaSize) {
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.alphaMemImage = alphaImage;
    param.alphaMemSize = alphaImage ? alphaSize : 0;
    param.option = option;
    param.mirror = mirror;
    return Graphics_Image_CreateDivGraphFromMemory_GParam(&param, image, size, count, columns, rows, cellWidth,
                                                          cellHeight, handles, IsAsyncLoadEnabled(), 0);
}

}  // namespace Vantrel
