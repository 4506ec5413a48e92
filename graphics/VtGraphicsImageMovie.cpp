// Movie frames in graphs: opening a movie into a graph for the graph load (the graph set up at the
// movie's size, the movie held by the full image, the frame callback registered), and the callback
// that moves each updated frame into the graph: rows copied into the memory image without a device;
// with one the Direct3D 9 surface copy, the luma and chroma graphs through the YUV filter, or the
// frame image.
// Stands on the movie services, graph handles, image transfer and the graph filters.
#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsImage.h"
#include "movie/VtMovie.h"

namespace Vantrel {

namespace {

// Word 1 of the back-end capabilities, bit 0: the Direct3D 9 back-end copies Theora frames from its
// YUV surface.
bool MovieSurfacesSupported() {
    return GraphicsApi == GRAPHICS_API_D3D9 && (GraphicsSystemState.BackEndCaps[1] & 1) != 0;
}

int ScreenBytesPerPixel() {
    switch (GetScreenColorBitDepth()) {
        case 8: return 1;
        case 16: return 2;
        case 32: return 4;
        default: return 0;
    }
}

// Without a device: the frame's rows into the graph's memory image.
void CopyFrameToMemImage(const MovieRecord* movie, GraphHandleRecord* record) {
    const BaseImage* frame = movie->FrameImage;
    MEMIMG* image = &record->memImage;
    if (frame == nullptr || frame->pixels == nullptr || !MemImg_IsValid(image)) return;
    if (image->body->format->bitDepth == frame->format.bitDepth) {
        const int bytes = ScreenBytesPerPixel();
        const int rows = frame->height < image->height ? frame->height : image->height;
        const int width = frame->width < image->width ? frame->width : image->width;
        const int64_t rowBytes = static_cast<int64_t>(width) * bytes;
        if (rowBytes <= 0 || rowBytes > frame->pitch || rowBytes > image->body->pitch) return;
        for (int y = 0; y < rows; ++y)
            memcpy(static_cast<uint8_t*>(image->pixels) + static_cast<int64_t>(y) * image->body->pitch,
                   static_cast<const uint8_t*>(frame->pixels) + static_cast<int64_t>(y) * frame->pitch,
                   static_cast<size_t>(rowBytes));
    } else {
        MemImg_BltBaseImage(frame, nullptr, image, 0, 0, record->Width, record->Height, 0, 0, 0);
    }
}

}  // namespace

int Graphics_Image_OpenMovieGraph(GraphLoadParam* param, int graph, const wchar_t* fileName, const void* memImage,
                                  int memSize, int option, int movieOption, int unused, int inJob) {
    int width = 0, height = 0;
    const int movie =
        Movie_Open(graph, &param->movieSettings, fileName, memImage, memSize, &width, &height, movieOption, 0, inJob);
    if (movie < 0) {
        Log_AddFormatUTF16(L"Image File Load Error : %s \n", fileName != nullptr ? fileName : L"");
        return -1;
    }
    GraphCreateParam& create = param->create;
    create.bitDepth = GetScreenColorBitDepth();
    create.alpha = 0;
    create.channelCount = create.channelBits = 0;
    create.alphaTest = 0;
    create.cubeMap = 0;
    create.managed = 0;
    create.mipLevels = 0;
    create.reserved24 = 1;
    create.reserved11 = 1;
    create.reserved12 = 0;
    const MovieRecord* record = Movie_Handle_GetRecord(movie);
    const bool theora = record != nullptr && record->Theora;
    if ((theora && MovieSurfacesSupported()) || GraphicsSystemState.ShadersUsable) {
        create.drawable = 1;
        create.drawableAlpha = create.drawableIsFloat = create.withDepthBuffer = 0;
        create.drawableMipLevels = create.drawableChannelCount = create.depthBits = 0;
        create.multiSampleCount = create.multiSampleQuality = 0;
    }
    if (Graphics_Image_SetupHandle_GParam(&create, graph, width, height, 0, 0, 0, 0, 0, -1, inJob) < 0) {
        Log_AddFormatUTF16(L"Graph Handle Setup Error : %s", fileName != nullptr ? fileName : L"");
        Movie_Handle_Delete(movie);
        return -1;
    }
    GraphHandleRecord* graphRecord = Graphics_Image_GetGraphRecord(graph, inJob);
    if (graphRecord == nullptr || graphRecord->Orig == nullptr) {
        Movie_Handle_Delete(movie);
        return -1;
    }
    graphRecord->Orig->movie = movie;
    Movie_SetFrameCallback(movie, Graphics_Image_UpdateMovieGraph, graph);
    return 0;
}

int Graphics_Image_UpdateMovieGraph(MovieRecord* movie, int graph) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    if (record == nullptr || record->Orig == nullptr || movie == nullptr) return -1;

    if (!record->Orig->format.hardware) {
        if (movie->Theora) {
            if (Theora_PrepareFrame(movie->Decoder, 1, 0, 0, 0) == 0 && movie->FrameShown) return 0;
            movie->FrameShown = 1;
        }
        CopyFrameToMemImage(movie, record);
        return 0;
    }

    if (movie->Theora) {
        void* surface = Theora_GetD3D9Surface(movie->Decoder);
        const bool graphs = surface == nullptr && GraphicsSystemState.ShadersUsable;
        const int ready = Theora_PrepareFrame(movie->Decoder, surface == nullptr && !graphs ? 1 : 0, graphs ? 1 : 0,
                                              surface != nullptr ? 1 : 0, 0);
        if (ready == 0 && movie->FrameShown) return 0;
        if (surface != nullptr) {
            Graphics_Dispatch_Texture_UpdateFromMovie(movie, record);
            movie->FrameShown = 1;
            return 0;
        }
        if (graphs) {
            FilterGraphToGraph(Theora_GetYGraphHandle(movie->Decoder), graph, GraphFilter_KindYuvToRgbUv,
                               Theora_GetUVGraphHandle(movie->Decoder));
            movie->FrameShown = 1;
            return 0;
        }
        movie->FrameShown = 1;
    } else if (movie->LumaGraph != -1 && movie->ChromaGraph != -1) {
        return FilterGraphToGraph(movie->LumaGraph, graph, GraphFilter_KindYuvToRgbUv, movie->ChromaGraph);
    }
    if (movie->FrameImage != nullptr) {
        const BaseImageRect rect = {record->x, record->y, record->x + record->Width, record->y + record->Height};
        Graphics_Image_BltImageToGraph(&rect, 0, 0, graph, movie->FrameImage, nullptr, 0, 0, 0, 0);
    }
    return 0;
}

}  // namespace Vantrel
