// Graph creation, loading and image transfer: empty graphs, graphs from image files, memory images
// and base images (at once or as a job on the loader threads), divided graphs, the transfer of a base
// image into a graph, filling, and the restore of every graph's pixels after a device loss.
// Stands on the graph records, the image loader chain, memory images, the asynchronous loader and
// the switch layer.
#include <string.h>
#include <wchar.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

namespace Vantrel {

namespace {

constexpr int AbsolutePathBytes = 2048;

int NewGraphHandle(const GraphCreateParam* param, int inJob) {
    return Handle_New(HandleType_Graph, inJob, param->handleToReuse > 0 ? param->handleToReuse : -1);
}

// Runs `work` on a handle made in a job: the handle's asynchronous count covers the work.
template <typename Work>
int RunCounted(int graph, int inJob, Work work) {
    if (inJob) Handle_ASyncLoad_Begin(graph, -1);
    const int result = work();
    if (inJob) Handle_ASyncLoad_End(graph);
    return result;
}

}  // namespace

// ---- Empty graphs ----

namespace {

// The parameters of an empty graph made on a loader thread, packed by value.
struct MakeGraphJob {
    GraphCreateParam param;
    int32_t graph, width, height, unused, palette, paletteBits;
};

// Queues the set-up of `graph` as a loader-thread job and registers the job on the handle. 0 / -1.
int QueueMakeGraphJob(const GraphCreateParam* param, int graph, int width, int height, int unused, int palette,
                      int paletteBits) {
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(static_cast<int>(sizeof(MakeGraphJob)));
    if (entry == nullptr) return -1;
    MakeGraphJob* job = reinterpret_cast<MakeGraphJob*>(entry->Params);
    *job = {*param, graph, width, height, unused, palette, paletteBits};
    // The handle array belongs to divided graphs: an empty graph leaves it with its caller.
    job->param.handleArray = nullptr;
    job->param.handleArrayCount = 0;
    entry->Procedure = Graphics_Image_MakeGraph_ASyncJob;
    int index = -1;
    if (ASyncLoad_Entry_Enqueue(entry, &index) < 0) {
        ASyncLoad_Entry_Free(entry);
        return -1;
    }
    Handle_ASyncLoad_Begin(graph, index);
    return 0;
}

}  // namespace

int Graphics_Image_MakeEmptyGraph_GParam(const GraphCreateParam* param, int width, int height, int unused, int palette,
                                         int paletteBits, int async, int inJob) {
    if (!GraphicsSystemState.Initialised) return -1;
    if (!inJob) Graphics_WaitWhileInactive();
    const int graph = NewGraphHandle(param, inJob);
    if (graph < 0) return -1;
    if (async && !inJob) {
        if (QueueMakeGraphJob(param, graph, width, height, unused, palette, paletteBits) == 0) return graph;
        Handle_Delete(graph, 0, 0);
        return -1;
    }
    const int result = RunCounted(graph, inJob, [&] {
        return Graphics_Image_SetupHandle_GParam(param, graph, width, height, unused, param->alpha, palette,
                                                 paletteBits, 0, -1, inJob);
    });
    if (result < 0) {
        Handle_Delete(graph, inJob, 0);
        return -1;
    }
    return graph;
}

int MakeGraph(int width, int height) {
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    return Graphics_Image_MakeEmptyGraph_GParam(&param, width, height, 0, 0, 0, 0, 0);
}

int CreateDrawableGraph(int width, int height, int alpha) {
    // Software drawing has no alpha plane to draw into.
    if (alpha && !GraphicsSystemState.DeviceValid) return -1;
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    param.drawable = 1;
    param.drawableAlpha = param.alpha = alpha ? 1 : 0;
    return Graphics_Image_MakeEmptyGraph_GParam(&param, width, height, 0, 0, 0, IsAsyncLoadEnabled(), 0);
}

// ---- From base images ----

int Graphics_Image_CreateGraphForImage_GParam(const GraphCreateParam* param, int graph, const BaseImage* image,
                                              const BaseImage* alphaImage, int inJob) {
    if (!GraphicsSystemState.Initialised) return -1;
    if (alphaImage && (alphaImage->width != image->width || alphaImage->height != image->height)) return -1;
    GraphCreateParam local = *param;
    local.cubeMap = image->faceCount == 6 ? 1 : 0;
    const ColorFormatDesc& f = image->format;
    const bool paletteImage = f.bytesPerPixel == 1 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF;
    int palette = 0, paletteBits = 8;
    if (paletteImage && (GraphicsSystemState.DeviceValid || f.alphaMask == 0) && alphaImage == nullptr &&
        !param->noPaletteTexture) {
        palette = 1;
        if (GraphicsSystemState.BackEndCaps[0] & 1) {  // 4-bit palette textures
            uint32_t highest = f.maxPaletteIndex;
            if (highest == 0 || highest == 255) highest = static_cast<uint32_t>(BaseImage_GetMaxPaletteIndex(image));
            if (f.bitDepth == 8 && highest < 16) paletteBits = 4;
        }
    }
    if (f.channelCount > 0) {
        if (local.drawable) local.drawableChannelCount = f.channelCount;
        else local.channelCount = f.channelCount;
        local.channelBits = f.channelBits;
    }
    const int alpha = f.alphaMask != 0 || f.alphaWidth != 0 || alphaImage != nullptr ? 1 : 0;
    return Graphics_Image_SetupHandle_GParam(&local, graph, image->width, image->height, 0, alpha, palette, paletteBits,
                                             f.formatCode, image->mipLevelCount == 0 ? -1 : image->mipLevelCount,
                                             inJob);
}

namespace {

// The image with every key-coloured pixel made transparent and given its opaque neighbour's colour.
int KeyToAlpha(const BaseImage* image, uint32_t key, BaseImage* out) {
    if (BaseImage_CreateARGB8(image->width, image->height, out) < 0) return -1;
    const int w = image->width, h = image->height;
    auto keyed = [&](int x, int y) { return (BaseImage_GetPixelARGB8(image, x, y) & 0xFFFFFF) == key; };
    uint32_t* pixels = static_cast<uint32_t*>(out->pixels);
    const int pitch = out->pitch / 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t colour = BaseImage_GetPixelARGB8(image, x, y);
            const uint32_t alpha = image->format.alphaMask || image->format.alphaWidth ? colour >> 24 : 255;
            pixels[y * pitch + x] = keyed(x, y) ? (colour & 0xFFFFFF) : (colour & 0xFFFFFF) | (alpha << 24);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (keyed(x, y)) continue;
            const uint32_t rgb = BaseImage_GetPixelARGB8(image, x, y) & 0xFFFFFF;
            const int around[4][2] = {{x - 1, y}, {x, y - 1}, {x + 1, y}, {x, y + 1}};
            for (const auto& n : around)
                if (n[0] >= 0 && n[1] >= 0 && n[0] < w && n[1] < h && keyed(n[0], n[1])) pixels[n[1] * pitch + n[0]] = rgb;
        }
    return 0;
}

}  // namespace

int Graphics_Image_MakeGraphFromBaseImage_GParam(GraphLoadParam* param, int graph, const BaseImage* image,
                                                 const BaseImage* alphaImage, int inJob) {
    BaseImage keyed = {};
    const bool convert = !param->refresh && param->transColorToAlpha && !param->noTransColor;
    if (convert) {
        if (KeyToAlpha(image, static_cast<uint32_t>(param->create.transColor) & 0xFFFFFF, &keyed) < 0) return -1;
        image = &keyed;
    }
    BaseImage colour = *image, alpha = alphaImage ? *alphaImage : BaseImage{};
    BaseImage_ColorFormat_SetUnusedMask(&colour.format);
    if (alphaImage) BaseImage_ColorFormat_SetUnusedMask(&alpha.format);
    int result = 0;
    if (param->refresh) {
        const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, inJob);
        if (record == nullptr || record->Width != image->width || record->Height != image->height ||
            (alphaImage && (alphaImage->width != image->width || alphaImage->height != image->height)))
            result = -1;
    } else {
        result = Graphics_Image_CreateGraphForImage_GParam(&param->create, graph, &colour, alphaImage ? &alpha : nullptr,
                                                           inJob);
    }
    if (result == 0) {
        if (param->leftTopIsTransColor) {
            param->create.transColor = static_cast<int32_t>(BaseImage_GetPixelARGB8(&colour, 0, 0) & 0xFFFFFF);
            GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
            if (record && record->Orig && record->Orig->format.softwareImage && record->Orig->memImage.body) {
                const uint32_t key = static_cast<uint32_t>(param->create.transColor);
                record->Orig->transColor = key;
                record->Orig->memImage.body->transColor = BaseImage_ColorFormat_PackColor(
                    record->Orig->memImage.body->format, (key >> 16) & 0xFF, (key >> 8) & 0xFF, key & 0xFF, 0);
            }
        }
        result = Graphics_Image_BltImageAtSourcePos(&colour, alphaImage ? &alpha : nullptr, 0, 0, graph,
                                                    param->noTransColor ? 0 : 1);
    }
    if (convert) BaseImage_Release(&keyed);
    return result;
}

// ---- Loading ----

int Graphics_Image_LoadSourceImage(GraphLoadParam* param, GraphSourceImages* out) {
    *out = {};
    if (param->fileName != nullptr || param->memImage != nullptr) {
        const int fromMemory = param->fileName == nullptr ? 1 : 0;
        const int alphaKind = fromMemory ? (param->alphaMemImage ? 1 : 2) : (param->create.noAlphaImage ? 2 : 0);
        const int got = BaseImage_LoadWithAlphaFile(&param->loadSettings, param->fileName, param->memImage,
                                                    param->memSize, fromMemory, param->alphaMemImage,
                                                    param->alphaMemSize, alphaKind, &out->image, &out->alphaImage,
                                                    param->mirror, param->noTransColor);
        if (got < 0) return -1;
        out->owned = 1;
        out->hasAlpha = got == 0 ? 1 : 0;
    } else if (param->bitmapInfo != nullptr && param->bitmapBits != nullptr) {
        if (BaseImage_ConvertFromDIB(param->bitmapInfo, param->bitmapBits, &out->image, 1) < 0) return -1;
        out->owned = 1;
        if (param->alphaBitmapInfo != nullptr && param->alphaBitmapBits != nullptr) {
            if (BaseImage_ConvertFromDIB(param->alphaBitmapInfo, param->alphaBitmapBits, &out->alphaImage, 1) < 0) {
                BaseImage_Release(&out->image);
                *out = {};
                return -1;
            }
            out->hasAlpha = 1;
        }
        if (param->mirror) {
            BaseImage_MirrorHorizontal(&out->image);
            if (out->hasAlpha) BaseImage_MirrorHorizontal(&out->alphaImage);
        }
    } else if (param->image != nullptr) {
        out->image = *param->image;
        if (param->alphaImage) out->alphaImage = *param->alphaImage, out->hasAlpha = 1;
        out->caller = param;
        if (param->mirror) {
            BaseImage_MirrorHorizontal(&out->image);
            if (out->hasAlpha) BaseImage_MirrorHorizontal(&out->alphaImage);
        }
    } else {
        return -1;
    }
    out->use = &out->image;
    out->useAlpha = out->hasAlpha ? &out->alphaImage : nullptr;
    return 0;
}

void Graphics_Image_ReleaseSourceImage(GraphSourceImages* images) {
    if (images->owned) {
        BaseImage_Release(&images->image);
        if (images->hasAlpha) BaseImage_Release(&images->alphaImage);
    } else if (images->caller != nullptr && images->caller->mirror) {
        // The caller's images go back as they came.
        BaseImage_MirrorHorizontal(&images->image);
        if (images->hasAlpha) BaseImage_MirrorHorizontal(&images->alphaImage);
    }
    *images = {};
}

int Graphics_Image_RecordSource(const GraphLoadParam* param, int graph, const GraphSourceImages* images,
                                int sourceGraph, int inJob) {
    // Images from a file or memory are read again from there; any other kind is kept as the
    // (already mirrored) images the graph was made from.
    const bool fromData = param->fileName != nullptr || param->memImage != nullptr;
    return Graphics_Image_SetSourceInfo(param->noSourceInfo, graph, param->fileName, nullptr, nullptr, nullptr,
                                        param->fileName ? nullptr : param->memImage, param->memSize,
                                        param->alphaMemImage, param->alphaMemSize,
                                        fromData ? nullptr : images->use, fromData ? nullptr : images->useAlpha,
                                        param->mirror, param->loadSettings.premultiplyAlpha, param->noTransColor,
                                        sourceGraph, inJob);
}

int Graphics_Image_LoadGraphWorker(GraphLoadParam* param, int graph, int inJob) {
    GraphSourceImages images;
    if (Graphics_Image_LoadSourceImage(param, &images) < 0) {
        if (param->refresh || (param->fileName == nullptr && param->memImage == nullptr)) return -1;
        if (param->fileName != nullptr) {
            const FileAccessHandle file = File_Access_Open(param->fileName, 0, 1, 0);
            if (file == 0) {
                Log_AddFormatUTF16(L"画像ファイル %s がありません", param->fileName);
                return -1;
            }
            File_Access_Close(file);
        }
        // No image loader took the data: it may be a movie.
        if (Graphics_Image_OpenMovieGraph(param, graph, param->fileName, param->memImage, param->memSize, param->option,
                                          param->movieOption, 0, inJob) < 0) {
            if (param->fileName != nullptr)
                Log_AddFormatUTF16(L"画像ファイル %s のロードに失敗しました", param->fileName);
            else
                Log_AddTextShiftJIS("メモリからの画像データのロードに失敗しました\n");
            return -1;
        }
        return Graphics_Image_FillGraph_GParam(graph, 0, 0, 0, 0);
    }

    const int result = Graphics_Image_MakeGraphFromBaseImage_GParam(param, graph, images.use, images.useAlpha, inJob);
    // A source record that cannot be kept leaves the graph standing without one (logged).
    if (result == 0 && !param->refresh) Graphics_Image_RecordSource(param, graph, &images, -1, inJob);
    Graphics_Image_ReleaseSourceImage(&images);
    return result;
}

namespace {

// The job of one asynchronous load: the parameters by value, then every block they point at, the
// pixels of the caller's base images included, so that the caller may free them at once; then the
// handles the job ends (one graph, or the cells and the hidden whole graph of a division).
struct GraphLoadJob {
    GraphLoadParam param;
    int32_t handleCount;
    int32_t fileNameBytes, memSize, alphaMemSize, imageBytes, alphaBytes;
    BaseImage image, alphaImage;
    int32_t hasImage, hasAlpha;
};

int64_t Aligned(int64_t bytes) { return (bytes + 7) & ~static_cast<int64_t>(7); }

// Unpacks a job's parameters in place; the handles follow them.
int32_t* UnpackGraphLoadJob(ASyncLoadEntry* entry) {
    GraphLoadJob* job = reinterpret_cast<GraphLoadJob*>(entry->Params);
    uint8_t* blob = entry->Params + Aligned(sizeof(GraphLoadJob));
    auto take = [&](int64_t bytes) {
        uint8_t* at = bytes > 0 ? blob : nullptr;
        blob += Aligned(bytes);
        return at;
    };
    int32_t* handles = reinterpret_cast<int32_t*>(take(static_cast<int64_t>(job->handleCount) * 4));
    GraphLoadParam& param = job->param;
    param.fileName = reinterpret_cast<const wchar_t*>(take(job->fileNameBytes));
    param.memImage = take(job->memSize);
    param.alphaMemImage = take(job->alphaMemSize);
    job->image.pixels = take(job->imageBytes);
    job->alphaImage.pixels = take(job->alphaBytes);
    param.image = job->hasImage ? &job->image : nullptr;
    param.alphaImage = job->hasAlpha ? &job->alphaImage : nullptr;
    return handles;
}

// Ends the job's count on each handle with its result. A failed job hands their deletion to the main
// thread (texture release, draw-target and state-cache unbinding and movie deletion belong there),
// asked for before the count ends so that a main thread waiting for the handle finds it asked for;
// from then on the failed result makes the handles dead for every caller.
void FinishGraphLoadJob(const int32_t* handles, int count, int result) {
    for (int i = 0; i < count; ++i) {
        HandleHeader* record = Handle_GetRecord(handles[i]);
        if (record != nullptr) record->ASyncLoadResult = result;
        if (result < 0) Handle_Delete(handles[i], 1, 0);
        Handle_ASyncLoad_End(handles[i]);
    }
}

}  // namespace

int Graphics_Image_MakeGraph_ASyncJob(ASyncLoadEntry* entry) {
    MakeGraphJob* job = reinterpret_cast<MakeGraphJob*>(entry->Params);
    const int result = Graphics_Image_SetupHandle_GParam(&job->param, job->graph, job->width, job->height, job->unused,
                                                         job->param.alpha, job->palette, job->paletteBits, 0, -1, 1);
    FinishGraphLoadJob(&job->graph, 1, result < 0 ? -1 : 0);
    return 0;
}

namespace {

int Graphics_Image_CreateGraph_ASyncJob(ASyncLoadEntry* entry) {
    const int32_t* handles = UnpackGraphLoadJob(entry);
    GraphLoadParam& param = reinterpret_cast<GraphLoadJob*>(entry->Params)->param;
    const int result = Graphics_Image_LoadGraphWorker(&param, handles[0], 1);
    FinishGraphLoadJob(handles, 1, result);
    return 0;
}

}  // namespace

int Graphics_Image_QueueLoadJob(const GraphLoadParam* param, const int32_t* handles, int handleCount,
                                ASyncLoadJobProc procedure) {
    wchar_t absolute[AbsolutePathBytes / sizeof(wchar_t)];
    const wchar_t* name = param->fileName;
    if (name != nullptr && File_Path_ToAbsoluteW(name, absolute, sizeof(absolute), nullptr) >= 0) name = absolute;
    const int64_t handleBytes = static_cast<int64_t>(handleCount) * 4;
    const int64_t nameBytes = name ? static_cast<int64_t>(wcslen(name) + 1) * sizeof(wchar_t) : 0;
    const int64_t memSize = param->memImage ? param->memSize : 0;
    const int64_t alphaMemSize = param->alphaMemImage ? param->alphaMemSize : 0;
    const int64_t imageBytes = param->image && param->image->pixels ? BaseImage_GetDataSize(param->image) : 0;
    const int64_t alphaBytes =
        param->alphaImage && param->alphaImage->pixels ? BaseImage_GetDataSize(param->alphaImage) : 0;
    if (handleCount < 1 || memSize < 0 || alphaMemSize < 0 || imageBytes < 0 || alphaBytes < 0) return -1;
    const int64_t total = Aligned(sizeof(GraphLoadJob)) + Aligned(handleBytes) + Aligned(nameBytes) +
                          Aligned(memSize) + Aligned(alphaMemSize) + Aligned(imageBytes) + Aligned(alphaBytes);
    if (total > 0x7FFF0000) return -1;
    ASyncLoadEntry* entry = ASyncLoad_Entry_Allocate(static_cast<int>(total));
    if (entry == nullptr) return -1;
    GraphLoadJob* job = reinterpret_cast<GraphLoadJob*>(entry->Params);
    *job = {};
    job->param = *param;
    job->param.handles = nullptr;   // the caller's array is filled already and may be gone
    job->handleCount = handleCount;
    job->fileNameBytes = static_cast<int32_t>(nameBytes);
    job->memSize = static_cast<int32_t>(memSize);
    job->alphaMemSize = static_cast<int32_t>(alphaMemSize);
    job->imageBytes = static_cast<int32_t>(imageBytes);
    job->alphaBytes = static_cast<int32_t>(alphaBytes);
    if (param->image) job->image = *param->image, job->hasImage = 1;
    if (param->alphaImage) job->alphaImage = *param->alphaImage, job->hasAlpha = 1;
    uint8_t* blob = entry->Params + Aligned(sizeof(GraphLoadJob));
    auto put = [&](const void* data, int64_t bytes) {
        if (bytes > 0) memcpy(blob, data, static_cast<size_t>(bytes));
        blob += Aligned(bytes);
    };
    put(handles, handleBytes);
    put(name, nameBytes);
    put(param->memImage, memSize);
    put(param->alphaMemImage, alphaMemSize);
    put(imageBytes ? param->image->pixels : nullptr, imageBytes);
    put(alphaBytes ? param->alphaImage->pixels : nullptr, alphaBytes);
    entry->Procedure = procedure;
    int index = -1;
    if (ASyncLoad_Entry_Enqueue(entry, &index) < 0) {
        ASyncLoad_Entry_Free(entry);
        return -1;
    }
    for (int i = 0; i < handleCount; ++i) Handle_ASyncLoad_Begin(handles[i], index);
    return 0;
}

int32_t* Graphics_Image_UnpackLoadJob(ASyncLoadEntry* entry, GraphLoadParam** param, int* handleCount) {
    GraphLoadJob* job = reinterpret_cast<GraphLoadJob*>(entry->Params);
    int32_t* handles = UnpackGraphLoadJob(entry);
    *param = &job->param;
    *handleCount = job->handleCount;
    return handles;
}

void Graphics_Image_FinishLoadJob(const int32_t* handles, int count, int result) {
    FinishGraphLoadJob(handles, count, result);
}

int Graphics_Image_CreateGraph_GParam(GraphLoadParam* param, int async, int inJob) {
    if (!GraphicsSystemState.Initialised) return -1;
    if (param->refresh) {
        const GraphHandleRecord* record = Graphics_Image_GetGraphRecord(param->graph, inJob);
        if (record == nullptr || (inJob && record->Header.ASyncLoadCount > 0)) return -1;
        return Graphics_Image_LoadGraphWorker(param, param->graph, inJob) < 0 ? -1 : 0;
    }
    if (!inJob) Graphics_WaitWhileInactive();
    const int graph = NewGraphHandle(&param->create, inJob);
    if (graph < 0) return -1;
    // A bitmap is read where it lies: its load runs at once.
    if (async && !inJob && param->bitmapInfo == nullptr) {
        const int32_t handles[1] = {graph};
        if (Graphics_Image_QueueLoadJob(param, handles, 1, Graphics_Image_CreateGraph_ASyncJob) == 0) return graph;
        Handle_Delete(graph, 0, 0);
        return -1;
    }
    const int result = RunCounted(graph, inJob, [&] { return Graphics_Image_LoadGraphWorker(param, graph, inJob); });
    if (result < 0) {
        Handle_Delete(graph, inJob, 0);
        return -1;
    }
    return graph;
}

int LoadGraphFileExW(const wchar_t* fileName, int option, int mirror, int movieOption) {
    if (fileName == nullptr) return -1;
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.fileName = fileName;
    param.option = option;
    param.mirror = mirror;
    param.movieOption = movieOption;
    return Graphics_Image_CreateGraph_GParam(&param, IsAsyncLoadEnabled(), 0);
}

int LoadGraphFileEx(const char* fileName, int option, int mirror, int movieOption) {
    if (fileName == nullptr) return -1;
    // A name of any length is converted whole: short ones in a buffer on the stack, longer ones in
    // an allocated one of their own size.
    const CodePageId page = CharCode_GetNarrowPage();
    const int32_t bytes = CharCode_ConvertString(fileName, -1, page, nullptr, 0x7FFFFFFF, CodePage_Utf16LE);
    if (bytes <= 0) return -1;
    wchar_t local[256];
    wchar_t* name = bytes <= static_cast<int32_t>(sizeof(local))
                        ? local
                        : static_cast<wchar_t*>(Memory_Allocate(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (name == nullptr) return -1;
    CharCode_ConvertString(fileName, -1, page, name, bytes, CodePage_Utf16LE);
    const int graph = LoadGraphFileExW(name, option, mirror, movieOption);
    if (name != local) Memory_Free(name);
    return graph;
}

int LoadGraphFile(const char* fileName, int option) { return LoadGraphFileEx(fileName, option, 0, 0); }

int CreateGraphFromMemoryImage(const void* image, int size, const void* alphaImage, int alphaSize, int mirror) {
    if (image == nullptr || size <= 0) return -1;
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.memImage = image;
    param.memSize = size;
    param.alphaMemImage = alphaImage;
    param.alphaMemSize = alphaImage ? alphaSize : 0;
    param.mirror = mirror;
    return Graphics_Image_CreateGraph_GParam(&param, IsAsyncLoadEnabled(), 0);
}

int MakeGraphFromBaseImage(const BaseImage* image, const BaseImage* alphaImage, int option) {
    if (image == nullptr) return -1;
    GraphLoadParam param;
    Graphics_Image_InitLoadParam(&param);
    param.image = image;
    param.alphaImage = alphaImage;
    param.option = option;
    return Graphics_Image_CreateGraph_GParam(&param, IsAsyncLoadEnabled(), 0);
}

// ---- Transfer and fill ----

int Graphics_Image_BltImageToGraph(const BaseImageRect* rect, int destX, int destY, int graph, const BaseImage* image,
                                   const BaseImage* alphaImage, int blendImage, int transFlag, int origCoordinates,
                                   int inJob) {
    if (!GraphicsSystemState.Initialised) return -1;
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, inJob);
    if (record == nullptr) return -1;
    BaseImageRect r = *rect;
    BaseImage colour = *image, alpha = alphaImage ? *alphaImage : BaseImage{};
    const bool compressed = colour.format.formatCode >= 1 && colour.format.formatCode <= 7;
    if (compressed) {
        colour.width = (colour.width + 3) & ~3, colour.height = (colour.height + 3) & ~3;
        r.left &= ~3, r.top &= ~3, r.right = (r.right + 3) & ~3, r.bottom = (r.bottom + 3) & ~3;
    }
    GraphOrigRecord* orig = record->Orig;
    if ((orig->format.cubeMap != 0) != (image->faceCount != 0)) return -1;
    if (r.left >= r.right || r.top >= r.bottom) return 0;

    bool expanded = false, alphaExpanded = false;
    int expandColour = compressed, expandAlpha = alphaImage && alpha.format.formatCode >= 1 && alpha.format.formatCode <= 7;
    if (orig->format.hardware) {
        int colourConvert = 0, alphaConvert = 0;
        Graphics_Dispatch_Texture_CheckConvertNeeded(orig, colour.format.formatCode, &colourConvert,
                                                     alphaImage ? alpha.format.formatCode : -1, &alphaConvert);
        expandColour = compressed && colourConvert, expandAlpha = expandAlpha && alphaConvert;
    }
    if (expandColour) {
        colour = *image;
        if (BaseImage_ExpandCompressed(&colour, 0) < 0) {
            Log_AddTextShiftJIS("標準イメージ用のメモリ確保に失敗しました\n");
            return -1;
        }
        expanded = true;
    }
    if (expandAlpha) {
        if (BaseImage_ExpandCompressed(&alpha, 0) < 0) {
            Log_AddTextShiftJIS("標準イメージ用のメモリ確保に失敗しました\n");
            if (expanded) BaseImage_Release(&colour);
            return -1;
        }
        alphaExpanded = true;
    }
    int result = 0;
    if (orig->format.hardware) {
        const RECT source = {r.left, r.top, r.right, r.bottom};
        result = Graphics_Dispatch_BltBmpOrBaseImageToGraph3(&source, destX, destY, graph, &colour,
                                                             alphaImage ? &alpha : nullptr, blendImage, transFlag,
                                                             origCoordinates, nullptr);
    } else {
        int width = r.right - r.left, height = r.bottom - r.top;
        MEMIMG* target = origCoordinates ? &orig->memImage : &record->memImage;
        if (origCoordinates) {
            if (width > orig->width) width = orig->width;
            if (height > orig->height) height = orig->height;
        }
        result = MemImg_BltBaseImage(&colour, alphaImage ? &alpha : nullptr, target, r.left, r.top, width, height,
                                     destX, destY, transFlag);
    }
    if (expanded) BaseImage_Release(&colour);
    if (alphaExpanded) BaseImage_Release(&alpha);
    return result < 0 ? -1 : 0;
}

int Graphics_Image_BltImageAtSourcePos(const BaseImage* image, const BaseImage* alphaImage, int sourceX, int sourceY,
                                       int graph, int transFlag) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    record->sourceX = sourceX, record->sourceY = sourceY;
    record->sourceXF = static_cast<float>(sourceX), record->sourceYF = static_cast<float>(sourceY);
    const BaseImageRect rect = {sourceX, sourceY, sourceX + image->width, sourceY + image->height};
    return Graphics_Image_BltImageToGraph(&rect, 0, 0, graph, image, alphaImage, record->Orig->format.blendImage,
                                          transFlag, 0, 1);
}

int Graphics_Image_BltImageRectToGraph(const BaseImage* image, const BaseImage* alphaImage, const BaseImageRect* rect,
                                       int x, int y, int graph, int transFlag) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    record->sourceX = rect->left - x, record->sourceY = rect->top - y;
    record->sourceXF = static_cast<float>(record->sourceX), record->sourceYF = static_cast<float>(record->sourceY);
    return Graphics_Image_BltImageToGraph(rect, x, y, graph, image, alphaImage, record->Orig->format.blendImage,
                                          transFlag, 0, 1);
}

int Graphics_Image_FillGraph_GParam(int graph, int red, int green, int blue, int alpha) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 1);
    if (record == nullptr) return -1;
    GraphOrigRecord* orig = record->Orig;
    // A graph that shows only part of its full image fills its own rectangle and nothing beside it.
    if (record->x != 0 || record->y != 0 || record->Width != orig->width || record->Height != orig->height)
        return FillGraphRect(graph, 0, 0, record->Width, record->Height, red, green, blue, alpha);
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    red = clamp(red), green = clamp(green), blue = clamp(blue), alpha = clamp(alpha);
    if (orig->format.hardware) {
        const int filled = Graphics_Dispatch_Graph_Fill(record, red, green, blue, alpha);
        if (filled != 2) return filled < 0 ? -1 : 0;
        BaseImage image;
        if (BaseImage_CreateARGB8(record->Width, record->Height, &image) < 0) return -1;
        BaseImage_Fill(&image, red, green, blue, alpha);
        // The fill becomes the graph's source, which it shows from (0, 0); the source position moves
        // only with the source.
        const BaseImageRect whole = {0, 0, image.width, image.height};
        const int result =
            Graphics_Image_BltImageToGraph(&whole, 0, 0, graph, &image, nullptr, orig->format.blendImage, 0, 0, 1) < 0
                ? -1
                : 0;
        if (result == 0 && Graphics_Image_SetSourceInfo(0, graph, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                                                        nullptr, 0, &image, nullptr, 0, 0, 1, -1, 1) == 0) {
            record->sourceX = record->sourceY = 0;
            record->sourceXF = record->sourceYF = 0.0f;
        }
        BaseImage_Release(&image);
        return result;
    }
    MemImgBody* body = record->memImage.body;
    if (body == nullptr) return -1;
    const int32_t rect[4] = {0, 0, record->Width, record->Height};
    MemImg_FillRect(&record->memImage, rect, BaseImage_ColorFormat_PackColor(body->format, red, green, blue, alpha));
    return 0;
}

// ---- Restore after a device loss ----

namespace {

// Whether two source records load the same images: one file read the same way, or one memory copy
// (the record graphs share).
bool SameLoadSource(const GraphSourceInfo* a, const GraphSourceInfo* b) {
    if (a->mirror != b->mirror || a->premultiplyAlpha != b->premultiplyAlpha || a->noTransColor != b->noTransColor)
        return false;
    if (a->fileName != nullptr && b->fileName != nullptr) return wcscmp(a->fileName, b->fileName) == 0;
    return a->fileName == nullptr && b->fileName == nullptr && a->memImage == b->memImage &&
           a->alphaMemImage == b->alphaMemImage;
}

}  // namespace

void Graphics_Image_RestoreFromSourceInfo() {
    Log_AddTextShiftJIS("グラフィックを復帰します\n");
    HandleManager& manager = HandleManagerTable[HandleType_Graph];
    if (!manager.Initialized) return;
    for (int slot = manager.LowestUsed; slot <= manager.HighestUsed && slot < manager.MaxCount; ++slot) {
        const GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(manager.Slots[slot]);
        if (record && record->Orig) record->Orig->restored = 0;
    }
    BaseImage image = {}, alpha = {};
    bool haveImage = false, haveAlpha = false;
    const GraphSourceInfo* loadedFrom = nullptr;
    auto releaseLoaded = [&] {
        if (haveImage) BaseImage_Release(&image);
        if (haveAlpha) BaseImage_Release(&alpha);
        haveImage = haveAlpha = false;
        loadedFrom = nullptr;
    };
    for (int slot = manager.LowestUsed; slot <= manager.HighestUsed && slot < manager.MaxCount; ++slot) {
        GraphHandleRecord* record = reinterpret_cast<GraphHandleRecord*>(manager.Slots[slot]);
        if (record == nullptr || record->sourceInfo == nullptr || record->Orig == nullptr || record->Orig->restored)
            continue;
        const GraphSourceInfo* info = record->sourceInfo;
        const BaseImage* useImage = info->image;
        const BaseImage* useAlpha = info->alphaImage;
        if (info->fileName != nullptr || info->memImage != nullptr) {
            if (loadedFrom == nullptr || !SameLoadSource(loadedFrom, info)) {
                releaseLoaded();
                BaseImageLoadSettings settings;
                BaseImage_InitLoadSettings(&settings, 0);
                settings.premultiplyAlpha = info->premultiplyAlpha;
                const int fromMemory = info->fileName == nullptr ? 1 : 0;
                const int got = BaseImage_LoadWithAlphaFile(&settings, info->fileName, info->memImage, info->memSize,
                                                            fromMemory, info->alphaMemImage, info->alphaMemSize,
                                                            fromMemory ? (info->alphaMemImage ? 1 : 2) : 0, &image,
                                                            &alpha, info->mirror, info->noTransColor);
                if (got < 0) {
                    if (info->fileName)
                        Log_AddFormatUTF16(L"Image File Load Error : %s", info->fileName);
                    else
                        Log_AddTextShiftJIS("メモリからの画像データのローができませんでした");
                    continue;
                }
                haveImage = true, haveAlpha = got == 0, loadedFrom = info;
            }
            useImage = &image;
            useAlpha = haveAlpha ? &alpha : nullptr;
        }
        if (useImage == nullptr) continue;
        const int index = record->Orig->colorFormatIndex;
        if (record->Orig->format.hardware && index >= 12 && index <= 18) {
            const BaseImageRect rect = {0, 0, useImage->width, useImage->height};
            Graphics_Image_BltImageToGraph(&rect, 0, 0, record->Header.Handle, useImage, useAlpha,
                                           record->Orig->format.blendImage, 0, 1, 0);
            record->Orig->restored = 1;
        } else {
            Graphics_Image_BltImageAtSourcePos(useImage, useAlpha, record->sourceX, record->sourceY,
                                               record->Header.Handle, info->noTransColor ? 0 : 1);
        }
    }
    releaseLoaded();
    Log_AddTextShiftJIS("グラフィックの復帰が完了しました\n");
}

}  // namespace Vantrel
