// TIFF decoding over libtiff: client procedures reading the library's stream, and the first image
// directory read as RGBA strips into ARGB8 rows. Without libtiff in the build the row refuses
// every stream.
#include <cstring>

#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

#if VT_HAVE_LIBTIFF
#include <tiffio.h>
#endif

namespace Vantrel {

#if VT_HAVE_LIBTIFF

namespace {

struct TiffClient {
    Stream* stream;
    void* unused;
    int64_t size;
};

}  // namespace

static tmsize_t TiffClient_Read(thandle_t client, void* buffer, tmsize_t size)
{
    TiffClient* c = static_cast<TiffClient*>(client);
    const int64_t left = c->size - c->stream->ops.Tell(c->stream->data);
    int64_t count = size;
    if (left < count) count = left;
    if (count <= 0) return 0;
    return (tmsize_t)c->stream->ops.Read(buffer, 1, (uint32_t)count, c->stream->data);
}

static tmsize_t TiffClient_Write(thandle_t, void*, tmsize_t size) { return size; }

static toff_t TiffClient_Seek(thandle_t client, toff_t offset, int origin)
{
    TiffClient* c = static_cast<TiffClient*>(client);
    const int from = origin == SEEK_CUR ? SeekOrigin_Current : origin == SEEK_END ? SeekOrigin_End : SeekOrigin_Start;
    c->stream->ops.Seek(c->stream->data, (int64_t)offset, from);
    return (toff_t)c->stream->ops.Tell(c->stream->data);
}

static int TiffClient_Close(thandle_t) { return 0; }
static toff_t TiffClient_Size(thandle_t client) { return (toff_t)static_cast<TiffClient*>(client)->size; }
static int TiffClient_Map(thandle_t, void**, toff_t*) { return 0; }
static void TiffClient_Unmap(thandle_t, void*, toff_t) {}

int BaseImage_LoadTiff(Stream* stream, BaseImage* image, int headerOnly)
{
    TiffClient client = {stream, nullptr, 0};
    const int64_t position = stream->ops.Tell(stream->data);
    stream->ops.Seek(stream->data, 0, SeekOrigin_End);
    client.size = stream->ops.Tell(stream->data);
    stream->ops.Seek(stream->data, position, SeekOrigin_Start);
    uint8_t order[2];
    if (stream->ops.Read(order, 1, 2, stream->data) != 2) return -1;
    if (order[0] != order[1] || (order[0] != 'I' && order[0] != 'M')) return -1;
    stream->ops.Seek(stream->data, -2, SeekOrigin_Current);
    TIFF* tiff = TIFFClientOpen("Read", "r", &client, TiffClient_Read, TiffClient_Write, TiffClient_Seek,
                                TiffClient_Close, TiffClient_Size, TiffClient_Map, TiffClient_Unmap);
    if (tiff == nullptr) return -1;
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    if (TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) == 0) rowsPerStrip = height;
    // A strip never holds more rows than the image has.
    if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
    const int64_t pitch = ImageLoad_Size(width, 4);
    const int64_t size = pitch < 0 ? -1 : ImageLoad_Size(pitch, height);
    const int64_t stripSize = pitch < 0 ? -1 : ImageLoad_Size(pitch, rowsPerStrip);
    if (width == 0 || height == 0 || size < 0 || stripSize < 0) {
        TIFFClose(tiff);
        return -1;
    }
    BaseImage_ColorFormat_InitARGB8(&image->format);
    image->width = (int)width;
    image->height = (int)height;
    image->pitch = (int)pitch;
    if (headerOnly) {
        TIFFClose(tiff);
        return 0;
    }
    uint32_t* strip = static_cast<uint32_t*>(ImageLoad_Allocate(stripSize, __LINE__));
    uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate(size, __LINE__));
    int result = strip != nullptr && pixels != nullptr ? 0 : -1;
    for (uint32_t r = 0; result == 0 && r < height; r += rowsPerStrip) {
        if (TIFFReadRGBAStrip(tiff, r, strip) == 0) {
            result = -1;
            break;
        }
        const uint32_t k = rowsPerStrip < height - r ? rowsPerStrip : height - r;
        for (uint32_t i = 0; i < k; i++) {
            const uint32_t* src = strip + (size_t)i * width;
            uint8_t* dst = pixels + (int64_t)(r + k - 1 - i) * pitch;
            for (uint32_t x = 0; x < width; x++) {
                const uint32_t v = src[x];
                dst[x * 4] = (uint8_t)TIFFGetB(v);
                dst[x * 4 + 1] = (uint8_t)TIFFGetG(v);
                dst[x * 4 + 2] = (uint8_t)TIFFGetR(v);
                dst[x * 4 + 3] = (uint8_t)TIFFGetA(v);
            }
        }
    }
    TIFFClose(tiff);
    if (strip != nullptr) Memory_Free(strip);
    if (result != 0) {
        if (pixels != nullptr) Memory_Free(pixels);
        return ImageLoad_Fail(image);
    }
    image->pixels = pixels;
    return 0;
}

int BaseImage_HasLibTiff() { return 1; }

#else

int BaseImage_LoadTiff(Stream* stream, BaseImage* image, int headerOnly) { return -1; }

int BaseImage_HasLibTiff() { return 0; }

#endif

}  // namespace Vantrel
