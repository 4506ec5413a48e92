// Decoding through the Windows Imaging Component: the last loader of the chain, for any format
// the system has a codec for, and the imaging factory the image module creates at start.
// Stands on base images, memory streams and COM through the WinAPITable.
#include <wincodec.h>

#include <cstring>

#include "foundation/VtWinAPI.h"
#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

namespace {

IWICImagingFactory* ImagingFactory = nullptr;

const CLSID ClsidImagingFactory = {0xCACAF262, 0x9370, 0x4615, {0xA1, 0x3B, 0x9F, 0x55, 0x39, 0xDA, 0x4C, 0x0A}};
const IID IidImagingFactory = {0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};
const GUID Format32bppBGRA = {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0F}};
const GUID Format32bppRGBA = {0xF5C7AD2D, 0x6A8D, 0x43DD, {0xA7, 0xA8, 0xA2, 0x99, 0x35, 0x26, 0x1A, 0xE9}};
const GUID Format32bppBGR = {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0E}};
const GUID Format32bppRGB = {0xD98C6B95, 0x3EFE, 0x47D6, {0xBB, 0x25, 0xEB, 0x17, 0x48, 0xAB, 0x0C, 0xF1}};
const GUID Format24bppBGR = {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0C}};
const GUID Format24bppRGB = {0x6FDDC324, 0x4E03, 0x4BFE, {0xB1, 0x85, 0x3D, 0x77, 0x76, 0x8D, 0xC9, 0x0D}};

template <typename T>
void Wic_Release(T*& object)
{
    if (object != nullptr) object->Release();
    object = nullptr;
}

// The output format of a frame format: true when the frame's pixels are taken as they are.
bool Wic_ChooseFormat(const GUID& frameFormat, ColorFormatDesc* format)
{
    if (frameFormat == Format32bppBGRA) return BaseImage_ColorFormat_InitARGB8(format), true;
    if (frameFormat == Format32bppRGBA) return BaseImage_ColorFormat_InitABGR8(format), true;
    if (frameFormat == Format32bppBGR) return BaseImage_ColorFormat_InitXRGB8(format), true;
    if (frameFormat == Format32bppRGB) return BaseImage_ColorFormat_InitFromMasks(format, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0, 0, 0), true;
    if (frameFormat == Format24bppBGR) return BaseImage_ColorFormat_InitRGB24(format), true;
    if (frameFormat == Format24bppRGB) return BaseImage_ColorFormat_InitBGR24(format), true;
    BaseImage_ColorFormat_InitARGB8(format);
    return false;
}

}  // namespace

int BaseImage_Platform_Initialize()
{
    WinAPI_EnsureLoaded();
    if (ImagingFactory == nullptr && WinAPITable.CoCreateInstance != nullptr) {
        void* factory = nullptr;
        if (SUCCEEDED(WinAPITable.CoCreateInstance(ClsidImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IidImagingFactory,
                                                   &factory)))
            ImagingFactory = static_cast<IWICImagingFactory*>(factory);
    }
    BaseImage_LoadState.platformLoadersLast = 1;
    return 0;
}

int BaseImage_Platform_Terminate()
{
    Wic_Release(ImagingFactory);
    return 0;
}

int BaseImage_Platform_HasFactory() { return ImagingFactory != nullptr; }

int BaseImage_LoadByWic(Stream* stream, BaseImage* image, int headerOnly)
{
    if (ImagingFactory == nullptr || !ImageLoad_IsMemStream(stream)) return -1;
    const MemStream* mem = static_cast<const MemStream*>(stream->data);
    if (mem->data == nullptr || mem->size == 0) return -1;
    IWICStream* wicStream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    int result = -1;
    UINT width = 0, height = 0;
    WICPixelFormatGUID frameFormat;
    if (FAILED(ImagingFactory->CreateStream(&wicStream))) goto done;
    if (FAILED(wicStream->InitializeFromMemory(const_cast<BYTE*>(mem->data), mem->size))) goto done;
    if (FAILED(ImagingFactory->CreateDecoderFromStream(wicStream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)))
        goto done;
    if (FAILED(decoder->GetFrame(0, &frame))) goto done;
    if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&frameFormat))) goto done;
    {
        if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) goto done;
        const bool direct = Wic_ChooseFormat(frameFormat, &image->format);
        const int64_t pitch = ImageLoad_Size(image->format.bytesPerPixel, width);
        const int64_t size = pitch < 0 ? -1 : ImageLoad_Size(pitch, height);
        if (size < 0) goto done;
        image->width = (int)width;
        image->height = (int)height;
        image->pitch = (int)pitch;
        image->mipLevelCount = 0;
        image->faceCount = 0;
        image->pixels = ImageLoad_Allocate(size, __LINE__);
        if (image->pixels == nullptr) goto done;
        IWICBitmapSource* source = frame;
        if (!direct) {
            BOOL can = FALSE;
            if (FAILED(ImagingFactory->CreateFormatConverter(&converter))) goto done;
            if (FAILED(converter->CanConvert(frameFormat, Format32bppBGRA, &can)) || !can) goto done;
            if (FAILED(converter->Initialize(frame, Format32bppBGRA, WICBitmapDitherTypeErrorDiffusion, nullptr, 0.0,
                                             WICBitmapPaletteTypeMedianCut)))
                goto done;
            source = converter;
        }
        const WICRect whole = {0, 0, (INT)width, (INT)height};
        if (FAILED(source->CopyPixels(&whole, (UINT)pitch, (UINT)size, static_cast<BYTE*>(image->pixels)))) goto done;
        result = 0;
    }
done:
    if (result != 0) ImageLoad_Fail(image);
    Wic_Release(converter);
    Wic_Release(frame);
    Wic_Release(decoder);
    Wic_Release(wicStream);
    return result;
}

}  // namespace Vantrel
