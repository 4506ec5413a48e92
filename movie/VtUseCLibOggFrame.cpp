// Theora frame output: waits until the decode-ahead thread has the current frame in its stock, then
// fills what is asked for once per frame: the XRGB8 image (converted here), the Y and UV plane graphs
// (converted by the graph filters), and the Direct3D 9 surface slot, which stays empty.
// Stands on the decoder (VtUseCLibOgg), the image module's YUV tables, graph handles and the
// main-thread requests of asynchronous loading.
#include <windows.h>
#include <unknwn.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImageStart.h"
#include "movie/VtMovie.h"
#include "movie/VtUseCLibOgg.h"

namespace Vantrel {

#define THEORA_LOCK(decoder) CriticalSection_Enter(&(decoder)->Lock, __FILE__, __LINE__)
#define THEORA_UNLOCK(decoder) CriticalSection_Leave(&(decoder)->Lock)

namespace {

// Waits until the current packet's frame is in the stock: its entry, or -1 when none can be had (the
// thread has ended, or the data ended before the frame).
int WaitForCurrentFrame(TheoraDecoder* decoder) {
    for (;;) {
        THEORA_LOCK(decoder);
        const int state = decoder->ThreadState;
        if (state == TheoraThread_Exited) {
            THEORA_UNLOCK(decoder);
            return -1;
        }
        // A seek that the thread has not taken up yet counts as seeking: the stock is about to go.
        if (state == TheoraThread_Seeking || decoder->SeekRequest) {
            THEORA_UNLOCK(decoder);
            Thread_Sleep(1);
            continue;
        }
        const int entry = Theora_Stock_Find(decoder, decoder->CurrentPacket);
        const int ended = decoder->EndOfData;
        THEORA_UNLOCK(decoder);
        if (entry >= 0) return entry;
        if (ended) return -1;
        Thread_Sleep(0);
    }
}

void FillPlanes(TheoraDecoder* decoder, const TheoraFrameStockEntry* entry, int asynchronous) {
    // Graphs made inside a loading job start counted as being loaded: the count ends once they hold
    // their first picture.
    const bool madeY = decoder->YGraph == -1, madeUV = decoder->UVGraph == -1;
    if (madeY && Movie_MakePlaneGraph(entry->YWidth, entry->YHeight, &decoder->YGraph, asynchronous) < 0) return;
    if (madeUV && Movie_MakePlaneGraph(entry->UVWidth, entry->UVHeight, &decoder->UVGraph, asynchronous) < 0) {
        if (asynchronous && madeY) Handle_ASyncLoad_End(decoder->YGraph);
        return;
    }
    Movie_TransferPlane(decoder->YGraph, false, entry->YWidth, entry->YHeight, entry->YStride, entry->YPlane,
                        &decoder->PlaneScratch, &decoder->PlaneScratchPixels, asynchronous);
    Movie_TransferPlane(decoder->UVGraph, true, entry->UVWidth, entry->UVHeight, entry->UVStride, entry->UVPlane,
                        &decoder->PlaneScratch, &decoder->PlaneScratchPixels, asynchronous);
    if (asynchronous && madeY) Handle_ASyncLoad_End(decoder->YGraph);
    if (asynchronous && madeUV) Handle_ASyncLoad_End(decoder->UVGraph);
    decoder->PlanesFilled = 1;
}

inline uint32_t TablePixel(int luma, int red, int green, int blue) {
    const int y = BaseImage_YuvTables.Y[luma];
    return 0xFF000000u | (uint32_t)BaseImage_ClampTable[(y + red) >> 14] << 16 |
           (uint32_t)BaseImage_ClampTable[(y + green) >> 14] << 8 | BaseImage_ClampTable[(y + blue) >> 14];
}

// 4:2:0: each chroma sample serves a 2 x 2 block, its terms taken from the tables once.
void ConvertTable(const TheoraFrameStockEntry* entry, BaseImage* image, int width, int height) {
    const BaseImageYuvTables& tables = BaseImage_YuvTables;
    for (int y = 0; y < height; y += 2) {
        const uint8_t* luma0 = entry->YPlane + (size_t)y * entry->YStride;
        const uint8_t* luma1 = y + 1 < height ? luma0 + entry->YStride : nullptr;
        const uint8_t* chroma = entry->UVPlane + (size_t)(y / 2) * entry->UVStride;
        uint32_t* out0 = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + (size_t)y * image->pitch);
        uint32_t* out1 = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(out0) + image->pitch);
        for (int x = 0; x < width; x += 2) {
            const int u = chroma[x], v = chroma[x + 1];
            const int red = tables.VToRed[v], green = tables.UToGreen[u] + tables.VToGreen[v], blue = tables.UToBlue[u];
            const bool pair = x + 1 < width;
            out0[x] = TablePixel(luma0[x], red, green, blue);
            if (pair) out0[x + 1] = TablePixel(luma0[x + 1], red, green, blue);
            if (luma1 != nullptr) {
                out1[x] = TablePixel(luma1[x], red, green, blue);
                if (pair) out1[x + 1] = TablePixel(luma1[x + 1], red, green, blue);
            }
        }
    }
}

int ClampChannel(float value) {
    const int channel = (int)value;
    return channel < 0 ? 0 : channel > 255 ? 255 : channel;
}

// Any other layout: each pixel with the chroma sample at its place in the chroma plane.
void ConvertPerPixel(const TheoraFrameStockEntry* entry, BaseImage* image, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* luma = entry->YPlane + (size_t)y * entry->YStride;
        const uint8_t* chroma = entry->UVPlane + (size_t)((int64_t)y * entry->UVHeight / entry->YHeight) * entry->UVStride;
        uint32_t* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + (size_t)y * image->pitch);
        for (int x = 0; x < width; ++x) {
            const int cx = (int)((int64_t)x * entry->UVWidth / entry->YWidth);
            const float l = (float)(luma[x] - 16) * 1.164f;
            const float u = (float)(chroma[2 * cx] - 128), v = (float)(chroma[2 * cx + 1] - 128);
            const int r = ClampChannel(l + 1.596f * v), g = ClampChannel(l - 0.391f * u - 0.813f * v),
                      b = ClampChannel(l + 2.018f * u);
            out[x] = 0xFF000000u | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
        }
    }
}

int CreateSurfaceOnMainThread(MainThreadRequest* request) {
    Theora_CreateSurface(reinterpret_cast<TheoraDecoder*>(request->Params[0]), 0);
    return 0;
}

}  // namespace

void Theora_ConvertToRGB(const TheoraFrameStockEntry* entry, BaseImage* image) {
    if (entry->YPlane == nullptr || entry->UVPlane == nullptr || image->pixels == nullptr) return;
    BaseImage_EnsureTables();
    const int width = entry->YWidth < image->width ? entry->YWidth : image->width;
    const int height = entry->YHeight < image->height ? entry->YHeight : image->height;
    if (entry->YWidth == 2 * entry->UVWidth && entry->YHeight == 2 * entry->UVHeight)
        ConvertTable(entry, image, width, height);
    else
        ConvertPerPixel(entry, image, width, height);
}

int Theora_PrepareFrame(TheoraDecoder* decoder, int wantRGB, int wantPlanes, int wantSurface, int asynchronous) {
    if (decoder == nullptr) return 0;
    const bool rgb = wantRGB && !decoder->RGBFilled;
    const bool planes = wantPlanes && !decoder->PlanesFilled && decoder->NoPlanes != 1;
    const bool surface = wantSurface && !decoder->SurfaceFilled && decoder->SurfaceUsable;
    if (!rgb && !planes && !surface) return 0;
    const int index = WaitForCurrentFrame(decoder);
    if (index < 0) return 0;
    // The thread never writes a filled entry, and only this thread moves the current frame.
    const TheoraFrameStockEntry* entry = &decoder->Stock[index];
    // A surface is never made usable (see Theora_Surface_Reset), so there is nothing to fill.
    if (planes && decoder->NoPlanes == 0 && GetShaderModelVersion() > 199) FillPlanes(decoder, entry, asynchronous);
    if (rgb) {
        Theora_ConvertToRGB(entry, &decoder->RGBImage);
        decoder->RGBFilled = 1;
    }
    return 1;
}

BaseImage* Theora_GetRGBImage(TheoraDecoder* decoder) {
    if (!decoder->RGBFilled) Theora_PrepareFrame(decoder, 1, 0, 0, 0);
    return &decoder->RGBImage;
}

int Theora_GetYGraphHandle(TheoraDecoder* decoder) { return decoder != nullptr ? decoder->YGraph : -1; }

int Theora_GetUVGraphHandle(TheoraDecoder* decoder) { return decoder != nullptr ? decoder->UVGraph : -1; }

void* Theora_GetD3D9Surface(TheoraDecoder* decoder) {
    if (decoder == nullptr || GraphicsApi != GRAPHICS_API_D3D9) return nullptr;
    return *decoder->SurfaceSlot;
}

void Theora_CreateSurface(TheoraDecoder* decoder, int asynchronous) {
    if (asynchronous && !ASyncLoad_IsMainThread()) {
        MainThreadRequest request = {};
        request.Procedure = CreateSurfaceOnMainThread;
        request.Params[0] = reinterpret_cast<intptr_t>(decoder);
        ASyncLoad_MainThreadRequest_Post(&request);
        return;
    }
    Theora_Surface_Release(decoder);
    Theora_Surface_Reset(decoder);
}

void Theora_Surface_Release(TheoraDecoder* decoder) {
    if (GraphicsApi != GRAPHICS_API_D3D9) return;
    decoder->SurfaceLost = 0;
    if (decoder->Surface != nullptr) static_cast<IUnknown*>(decoder->Surface)->Release();
    decoder->Surface = nullptr;
}

void Theora_Surface_Reset(TheoraDecoder* decoder) {
    if (GraphicsApi != GRAPHICS_API_D3D9 && GraphicsApi != GRAPHICS_API_D3D11) return;
    decoder->SurfaceFormat = 0;
    decoder->SurfaceUsable = 0;
}

int Theora_MarkSurfaceLost(TheoraDecoder* decoder) {
    if (decoder != nullptr) decoder->SurfaceLost = 1;
    return 0;
}

}  // namespace Vantrel
