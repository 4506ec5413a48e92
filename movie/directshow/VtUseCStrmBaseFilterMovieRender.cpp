// VtUseCStrmBaseFilterMovieRender: the movie renderer, the video renderer at the end of a movie graph.
// It accepts uncompressed RGB and the common YUV layouts in a VIDEOINFOHEADER, keeps each frame it
// draws in its own buffer (YUV converted to XRGB8 by the image module's converters) and, for YUV on
// capable hardware, splits it into a Y plane and an interleaved UV plane. It draws nothing itself.
#include <string.h>

#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"

namespace Vantrel {

const CLSID CLSID_D_MovieRender = {0x71771540, 0x2017, 0x11CF, {0xAE, 0x26, 0x00, 0x20, 0xAF, 0xD7, 0x97, 0x67}};

namespace {

// NV11 (4:1:1, one plane of interleaved chroma) is not named by the compiler's headers.
const GUID MovieRender_SubtypeNV11 = {0x3131564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

struct MovieRenderSubtypeEntry {
    const GUID* Subtype;
    int32_t Code;
};

const MovieRenderSubtypeEntry MovieRender_Subtypes[] = {
    {&MEDIASUBTYPE_RGB24, MovieRender_RGB24},   {&MEDIASUBTYPE_RGB32, MovieRender_RGB32},
    {&MEDIASUBTYPE_YV12, MovieRender_YV12},     {&MEDIASUBTYPE_NV12, MovieRender_NV12},
    {&MEDIASUBTYPE_YUY2, MovieRender_YUY2},     {&MEDIASUBTYPE_UYVY, MovieRender_UYVY},
    {&MEDIASUBTYPE_YVYU, MovieRender_YVYU},     {&MovieRender_SubtypeNV11, MovieRender_NV11},
    {&MEDIASUBTYPE_RGB565, MovieRender_RGB565}, {&MEDIASUBTYPE_RGB555, MovieRender_RGB555},
    {&MEDIASUBTYPE_RGB8, MovieRender_RGB8},
};

// The largest frame the renderer takes: every buffer it makes stays within what an image may hold.
constexpr int64_t MovieRender_MaxSide = 16384;

// The VIDEOINFOHEADER of a type, or null when its block is missing or too short.
const VIDEOINFOHEADER* MovieRender_VideoInfo(const AM_MEDIA_TYPE* type) {
    if (type->pbFormat == nullptr || type->cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
}

// Whether the bitmap size is one the renderer can hold: both sides 1 .. 16384 (64-bit arithmetic).
bool MovieRender_SizeUsable(const BITMAPINFOHEADER& bitmap) {
    const int64_t width = bitmap.biWidth, height = bitmap.biHeight < 0 ? -(int64_t)bitmap.biHeight : bitmap.biHeight;
    return width > 0 && width <= MovieRender_MaxSide && height > 0 && height <= MovieRender_MaxSide;
}

uint8_t* MovieRender_Allocate(int64_t bytes) {
    if (bytes <= 0 || bytes > BaseImage_MaxDataSize) return nullptr;
    return static_cast<uint8_t*>(Memory_Allocate((uint32_t)bytes, __FILE__, __LINE__));
}

typedef int (*MovieRenderToXRGB8)(const uint8_t*, int, int, BaseImage*);
typedef int (*MovieRenderToPlanes)(const uint8_t*, int, int, uint8_t*, uint8_t*);

MovieRenderToXRGB8 MovieRender_ConverterOf(int32_t code) {
    switch (code) {
    case MovieRender_YV12: return BaseImage_Yuv_YV12ToXRGB8;
    case MovieRender_NV12: return BaseImage_Yuv_NV12ToXRGB8;
    case MovieRender_YUY2: return BaseImage_Yuv_YUY2ToXRGB8;
    case MovieRender_UYVY: return BaseImage_Yuv_UYVYToXRGB8;
    case MovieRender_YVYU: return BaseImage_Yuv_YVYUToXRGB8;
    case MovieRender_NV11: return BaseImage_Yuv_NV11ToXRGB8;
    default: return nullptr;
    }
}

MovieRenderToPlanes MovieRender_SplitterOf(int32_t code) {
    switch (code) {
    case MovieRender_YV12: return BaseImage_Yuv_YV12ToPlanes;
    case MovieRender_NV12: return BaseImage_Yuv_NV12ToPlanes;
    case MovieRender_YUY2: return BaseImage_Yuv_YUY2ToPlanes;
    case MovieRender_UYVY: return BaseImage_Yuv_UYVYToPlanes;
    case MovieRender_YVYU: return BaseImage_Yuv_YVYUToPlanes;
    case MovieRender_NV11: return BaseImage_Yuv_NV11ToPlanes;
    default: return nullptr;
    }
}

}  // namespace

D_CMovieRender::D_CMovieRender(D_IUnknown* outer, HRESULT* result)
    : D_CBaseVideoRenderer(CLSID_D_MovieRender, nullptr, outer, result)
{
    MediaTypeSet = NoPlanes = FirstFrameConverted = Reserved = Yuv = 0;
    ConvertImage = nullptr;
    Subtype = 0;
    memset(Palette, 0, sizeof(Palette));
    FrameBuffer = PlaneBlock = UVPlane = nullptr;
    NewFrame = BottomUp = 0;
    Width = Height = FramePitch = 0;
    YWidth = YHeight = YPitch = UVWidth = UVHeight = UVPitch = 0;
    PlaneBlockBytes = 0;
}

D_CMovieRender::~D_CMovieRender() { FreeBuffers(); }

D_CMovieRender* StrmBase_MovieRender_Create(D_IUnknown* outer, HRESULT* result)
{
    HRESULT hr = S_OK;
    D_CMovieRender* renderer = new (__FILE__, __LINE__) D_CMovieRender(outer, &hr);
    if (renderer == nullptr) hr = E_OUTOFMEMORY;
    if (renderer != nullptr && FAILED(hr)) {
        delete renderer;
        renderer = nullptr;
    }
    if (result != nullptr) *result = hr;
    return renderer;
}

void D_CMovieRender::FreeBuffers()
{
    Memory_Free(FrameBuffer);
    FrameBuffer = nullptr;
    Memory_Free(PlaneBlock);
    PlaneBlock = UVPlane = nullptr;
    if (ConvertImage != nullptr) {
        BaseImage_Release(ConvertImage);
        Memory_Free(ConvertImage);
        ConvertImage = nullptr;
    }
}

HRESULT D_CMovieRender::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    if (type->formattype != FORMAT_VideoInfo) return E_INVALIDARG;
    if (type->majortype != MEDIATYPE_Video) return E_FAIL;
    for (const MovieRenderSubtypeEntry& entry : MovieRender_Subtypes) {
        if (type->subtype != *entry.Subtype) continue;
        // A format block too short for its header, or a frame no buffer could hold, is refused here.
        const VIDEOINFOHEADER* info = MovieRender_VideoInfo(type);
        if (info == nullptr || !MovieRender_SizeUsable(info->bmiHeader)) return E_FAIL;
        if (entry.Code == MovieRender_RGB8 &&
            type->cbFormat < sizeof(VIDEOINFOHEADER) + 256 * sizeof(RGBQUAD))
            return E_FAIL;
        Subtype = entry.Code;
        return S_OK;
    }
    return E_FAIL;
}

HRESULT D_CMovieRender::SetMediaType(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    const VIDEOINFOHEADER* info = MovieRender_VideoInfo(type);
    if (info == nullptr || !MovieRender_SizeUsable(info->bmiHeader)) return E_FAIL;
    for (const MovieRenderSubtypeEntry& entry : MovieRender_Subtypes)
        if (type->subtype == *entry.Subtype) Subtype = entry.Code;

    StrmBase_AutoLock lock(&RendererLock);
    const BITMAPINFOHEADER& bitmap = info->bmiHeader;
    Width = bitmap.biWidth;
    Height = bitmap.biHeight < 0 ? -bitmap.biHeight : bitmap.biHeight;
    BottomUp = bitmap.biHeight > 0 ? 1 : 0;
    Yuv = 0;
    FreeBuffers();
    const int64_t width = Width;
    switch (Subtype) {
    case MovieRender_RGB24: FramePitch = (int32_t)((width * 3 + 3) & ~3); break;
    case MovieRender_RGB32: FramePitch = (int32_t)(width * 4); break;
    case MovieRender_RGB565:
    case MovieRender_RGB555: FramePitch = (int32_t)((width * 2 + 3) & ~3); break;
    case MovieRender_RGB8: {
        FramePitch = (int32_t)((width + 3) & ~3);
        const RGBQUAD* colours = reinterpret_cast<const RGBQUAD*>(type->pbFormat + sizeof(VIDEOINFOHEADER));
        for (int i = 0; i < 256; i++)
            Palette[i] = (uint32_t)colours[i].rgbBlue | (uint32_t)colours[i].rgbGreen << 8 |
                         (uint32_t)colours[i].rgbRed << 16 | (uint32_t)colours[i].rgbReserved << 24;
        break;
    }
    default:
        BottomUp = 0;
        Yuv = 1;
        FramePitch = (int32_t)(width * 4);
        NoPlanes = GetShaderModelVersion() < 200 ? 1 : 0;
        YWidth = Width;
        YHeight = Height;
        YPitch = Width;
        if (Subtype == MovieRender_NV11) {
            UVWidth = Width / 4;
            UVHeight = Height;
            UVPitch = 2 * (Width / 4);
        } else if (Subtype == MovieRender_YV12 || Subtype == MovieRender_NV12) {
            UVWidth = Width / 2;
            UVHeight = Height / 2;
            UVPitch = Width & ~1;
        } else {
            UVWidth = Width / 2;
            UVHeight = Height;
            UVPitch = 2 * (Width / 2);
        }
        break;
    }
    const HRESULT hr = AllocateBuffers() == 0 ? S_OK : E_OUTOFMEMORY;
    NewFrame = 0;
    MediaTypeSet = 1;
    return hr;
}

int D_CMovieRender::AllocateBuffers()
{
    if (FramePitch == 0) return 0;
    if (Yuv && ConvertImage == nullptr) {
        BaseImage* image = static_cast<BaseImage*>(Memory_AllocateZeroed(sizeof(BaseImage), __FILE__, __LINE__));
        if (image == nullptr) return -1;
        if (BaseImage_CreateXRGB8(Width, Height, image) < 0) {
            Memory_Free(image);
            return -1;
        }
        ConvertImage = image;
    }
    if (FrameBuffer == nullptr) {
        FrameBuffer = MovieRender_Allocate((int64_t)FramePitch * Height);
        if (FrameBuffer == nullptr) return -1;
    }
    if (Yuv && !NoPlanes && PlaneBlock == nullptr) {
        // The splitters lay chroma rows out at the luma width; odd widths need that much room.
        const int64_t yBytes = (int64_t)YPitch * YHeight;
        const int64_t uvRow = UVPitch > Width ? UVPitch : Width;
        PlaneBlockBytes = yBytes + uvRow * UVHeight;
        PlaneBlock = MovieRender_Allocate(PlaneBlockBytes);
        if (PlaneBlock == nullptr) return -1;
        UVPlane = PlaneBlock + yBytes;
    }
    return 0;
}

int64_t D_CMovieRender::SampleBytesNeeded() const
{
    const int64_t width = Width, height = Height;
    switch (Subtype) {
    case MovieRender_YV12: return width * height + 2 * (width / 2) * (height / 2);
    case MovieRender_NV12: return width * height + width * (height / 2);
    case MovieRender_NV11: return width * height + (width / 2) * height;
    case MovieRender_YUY2:
    case MovieRender_UYVY:
    case MovieRender_YVYU: return width * 2 * height;
    default: return (int64_t)FramePitch * height;
    }
}

HRESULT D_CMovieRender::DoRenderSample(D_IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    if (!MediaTypeSet || AllocateBuffers() < 0) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
    // A sample shorter than its frame is not read at all: the previous frame stays.
    if ((int64_t)sample->GetActualDataLength() < SampleBytesNeeded()) return S_OK;

    if (FrameBuffer != nullptr && (PlaneBlock == nullptr || !FirstFrameConverted)) {
        FirstFrameConverted = 1;
        const uint8_t* source = data;
        int64_t sourcePitch = FramePitch;
        if (Yuv) {
            MovieRender_ConverterOf(Subtype)(data, Width, Height, ConvertImage);
            source = static_cast<const uint8_t*>(ConvertImage->pixels);
            sourcePitch = ConvertImage->pitch;
        }
        if (BottomUp) {
            for (int y = 0; y < Height; y++)
                memcpy(FrameBuffer + (int64_t)(Height - 1 - y) * FramePitch, source + y * sourcePitch, (size_t)FramePitch);
        } else if (sourcePitch == FramePitch) {
            memcpy(FrameBuffer, source, (size_t)((int64_t)FramePitch * Height));
        } else {
            for (int y = 0; y < Height; y++)
                memcpy(FrameBuffer + (int64_t)y * FramePitch, source + y * sourcePitch, (size_t)FramePitch);
        }
        NewFrame = 1;
    }
    if (PlaneBlock != nullptr) {
        MovieRender_SplitterOf(Subtype)(data, YWidth, YHeight, PlaneBlock, UVPlane);
        NewFrame = 1;
    }
    return S_OK;
}

}  // namespace Vantrel
