// PNG decoding: the library's own decoder (non-interlaced files of every standard colour type,
// inflated with zlib straight from the memory stream, unfiltered and converted row by row) and the
// libpng loader that takes what the own decoder declines. Stands on base images and zlib.
#include <zlib.h>

#include <cstring>
#include <cstdlib>

#include "foundation/VtLog.h"
#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

#if VT_HAVE_LIBPNG
#include <png.h>
#include <csetjmp>
#endif

namespace Vantrel {

namespace {

const uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const uint8_t PngWiden1[2] = {0x00, 0xFF};
const uint8_t PngWiden2[4] = {0x00, 0x55, 0xAA, 0xFF};
const uint8_t PngWiden4[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                               0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

constexpr uint32_t PngChunk(char a, char b, char c, char d)
{
    return ((uint32_t)(uint8_t)a << 24) | ((uint32_t)(uint8_t)b << 16) | ((uint32_t)(uint8_t)c << 8) | (uint8_t)d;
}

// One chunk found by the walk.
struct PngChunkRef {
    uint32_t type;
    const uint8_t* data;
    uint32_t length;
};

// The next chunk at *offset: false at the end of the data or when a chunk reaches past it.
bool Png_NextChunk(const uint8_t* file, uint64_t size, uint64_t* offset, PngChunkRef* chunk)
{
    if (*offset + 12 > size) return false;
    chunk->length = ImageLoad_Be32(file + *offset);
    chunk->type = ImageLoad_Be32(file + *offset + 4);
    if ((uint64_t)chunk->length > size - *offset - 12) return false;
    chunk->data = file + *offset + 8;
    *offset += 12 + (uint64_t)chunk->length;
    return true;
}

struct PngHeader {
    uint32_t width, height;
    int bitDepth, colorType;
    const uint8_t* palette;
    uint32_t paletteLength;
    const uint8_t* trns;
    uint32_t trnsLength;
};

int Png_SamplesPerPixel(int colorType)
{
    switch (colorType) {
    case 0: case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
    }
}

bool Png_DepthAllowed(int colorType, int depth)
{
    if (colorType == 0 || colorType == 3) return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    return depth == 8 || depth == 16;
}

inline uint8_t Png_Paeth(int a, int b, int c)
{
    const int pa = abs(b - c), pb = abs(a - c), pc = abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return (uint8_t)a;
    return (uint8_t)(pb <= pc ? b : c);
}

// Reverses the row's filter in place; `prior` is the unfiltered row above (null on the first).
bool Png_Unfilter(uint8_t* row, const uint8_t* prior, int64_t length, int bpp, int filter)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (int64_t i = bpp; i < length; i++) row[i] = (uint8_t)(row[i] + row[i - bpp]);
        return true;
    case 2:
        if (prior != nullptr)
            for (int64_t i = 0; i < length; i++) row[i] = (uint8_t)(row[i] + prior[i]);
        return true;
    case 3:
        if (prior == nullptr) {
            for (int64_t i = bpp; i < length; i++) row[i] = (uint8_t)(row[i] + (row[i - bpp] >> 1));
        } else {
            for (int64_t i = 0; i < bpp && i < length; i++) row[i] = (uint8_t)(row[i] + (prior[i] >> 1));
            for (int64_t i = bpp; i < length; i++) row[i] = (uint8_t)(row[i] + ((row[i - bpp] + prior[i]) >> 1));
        }
        return true;
    case 4:
        if (prior == nullptr) {
            for (int64_t i = bpp; i < length; i++) row[i] = (uint8_t)(row[i] + row[i - bpp]);
        } else {
            for (int64_t i = 0; i < bpp && i < length; i++) row[i] = (uint8_t)(row[i] + prior[i]);
            for (int64_t i = bpp; i < length; i++)
                row[i] = (uint8_t)(row[i] + Png_Paeth(row[i - bpp], prior[i], prior[i - bpp]));
        }
        return true;
    default:
        return false;
    }
}

// Sample k of an unfiltered row (the high byte of a 16-bit sample).
inline uint32_t Png_Sample(const uint8_t* row, int64_t k, int depth)
{
    switch (depth) {
    case 8: return row[k];
    case 16: return row[k * 2];
    default: {
        const int64_t bit = k * depth;
        return (uint32_t)(row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
    }
    }
}

inline uint8_t Png_WidenGrey(uint32_t sample, int depth)
{
    switch (depth) {
    case 1: return PngWiden1[sample];
    case 2: return PngWiden2[sample];
    case 4: return PngWiden4[sample];
    default: return (uint8_t)sample;
    }
}

// One unfiltered row into its output row.
void Png_ConvertRow(const PngHeader& h, const uint8_t* row, uint8_t* out, int trnsKey, const uint8_t* rgbKey)
{
    const int64_t width = h.width;
    const int depth = h.bitDepth;
    const int step = depth == 16 ? 2 : 1;
    switch (h.colorType) {
    case 0:
        if (trnsKey < 0) {
            if (depth == 8) memcpy(out, row, (size_t)width);
            else for (int64_t x = 0; x < width; x++) out[x] = Png_WidenGrey(Png_Sample(row, x, depth), depth);
        } else {
            for (int64_t x = 0; x < width; x++) {
                const uint32_t s = Png_Sample(row, x, depth);
                const uint8_t g = Png_WidenGrey(s, depth);
                out[x * 4] = out[x * 4 + 1] = out[x * 4 + 2] = g;
                out[x * 4 + 3] = (int)s == trnsKey ? 0 : 255;
            }
        }
        break;
    case 3:
        if (depth == 8) memcpy(out, row, (size_t)width);
        else for (int64_t x = 0; x < width; x++) out[x] = (uint8_t)Png_Sample(row, x, depth);
        break;
    case 2:
        if (rgbKey == nullptr) {
            for (int64_t x = 0; x < width; x++) {
                const uint8_t* p = row + x * 3 * step;
                out[x * 3] = p[2 * step];
                out[x * 3 + 1] = p[step];
                out[x * 3 + 2] = p[0];
            }
        } else {
            for (int64_t x = 0; x < width; x++) {
                const uint8_t* p = row + x * 3 * step;
                const uint8_t r = p[0], g = p[step], b = p[2 * step];
                out[x * 4] = b;
                out[x * 4 + 1] = g;
                out[x * 4 + 2] = r;
                out[x * 4 + 3] = r == rgbKey[0] && g == rgbKey[1] && b == rgbKey[2] ? 0 : 255;
            }
        }
        break;
    case 4:
        for (int64_t x = 0; x < width; x++) {
            const uint8_t* p = row + x * 2 * step;
            out[x * 4] = out[x * 4 + 1] = out[x * 4 + 2] = p[0];
            out[x * 4 + 3] = p[step];
        }
        break;
    case 6:
        if (step == 1) {
            for (int64_t x = 0; x < width; x++) {
                const uint8_t* p = row + x * 4;
                uint32_t v = (uint32_t)p[2] | ((uint32_t)p[1] << 8) | ((uint32_t)p[0] << 16) | ((uint32_t)p[3] << 24);
                memcpy(out + x * 4, &v, 4);
            }
        } else {
            for (int64_t x = 0; x < width; x++) {
                const uint8_t* p = row + x * 8;
                out[x * 4] = p[4];
                out[x * 4 + 1] = p[2];
                out[x * 4 + 2] = p[0];
                out[x * 4 + 3] = p[6];
            }
        }
        break;
    }
}

int PngOwn_Decode(const uint8_t* file, uint64_t size, BaseImage* image, int headerOnly)
{
    if (size < 8 || memcmp(file, PngSignature, 8) != 0) return -1;
    PngHeader h = {};
    bool haveHeader = false, haveData = false;
    int compression = 0, filterMethod = 0, interlace = 0;
    uint64_t offset = 8;
    PngChunkRef chunk;
    while (Png_NextChunk(file, size, &offset, &chunk)) {
        if (chunk.type == PngChunk('I', 'H', 'D', 'R')) {
            if (haveHeader || chunk.length < 13) return -1;
            haveHeader = true;
            h.width = ImageLoad_Be32(chunk.data);
            h.height = ImageLoad_Be32(chunk.data + 4);
            h.bitDepth = chunk.data[8];
            h.colorType = chunk.data[9];
            compression = chunk.data[10];
            filterMethod = chunk.data[11];
            interlace = chunk.data[12];
        } else if (chunk.type == PngChunk('P', 'L', 'T', 'E')) {
            if (h.palette != nullptr) return -1;
            h.palette = chunk.data;
            h.paletteLength = chunk.length;
        } else if (chunk.type == PngChunk('t', 'R', 'N', 'S')) {
            h.trns = chunk.data;
            h.trnsLength = chunk.length;
        } else if (chunk.type == PngChunk('I', 'D', 'A', 'T')) {
            haveData = true;
        } else if (chunk.type == PngChunk('I', 'E', 'N', 'D')) {
            break;
        }
    }
    if (!haveHeader || !haveData || compression != 0 || filterMethod != 0 || interlace != 0) return -1;
    if (!Png_DepthAllowed(h.colorType, h.bitDepth)) return -1;
    if (h.width == 0 || h.height == 0 || h.width > 0x7FFFFFFF || h.height > 0x7FFFFFFF) return -1;
    if (h.colorType == 3 && (h.palette == nullptr || h.paletteLength < 3)) return -1;
    const int samples = Png_SamplesPerPixel(h.colorType);
    const int bitsPerPixel = samples * h.bitDepth;
    const int64_t rowBytes = ((int64_t)h.width * bitsPerPixel + 7) / 8;
    const int64_t inflatedSize = ImageLoad_Size(rowBytes + 1, h.height);
    if (inflatedSize < 0) return -1;

    // The output format, with the transparent key of grey and RGB images.
    ColorFormatDesc& format = image->format;
    int trnsKey = -1;
    uint8_t rgbKey[3] = {0, 0, 0};
    bool useRgbKey = false;
    int outBytes = 4;
    const bool hasTrns = h.trns != nullptr;
    const int keyByte = h.bitDepth == 16 ? 0 : 1;   // the high byte at 16 bits, else the low byte
    if (h.colorType == 0 && hasTrns && h.trnsLength >= 2) {
        trnsKey = h.trns[keyByte];
        BaseImage_ColorFormat_InitARGB8(&format);
    } else if (h.colorType == 0) {
        BaseImage_ColorFormat_InitGray8(&format);
        outBytes = 1;
    } else if (h.colorType == 2 && hasTrns && h.trnsLength >= 6) {
        useRgbKey = true;
        for (int i = 0; i < 3; i++) rgbKey[i] = h.trns[i * 2 + keyByte];
        BaseImage_ColorFormat_InitARGB8(&format);
    } else if (h.colorType == 2) {
        BaseImage_ColorFormat_InitRGB24(&format);
        outBytes = 3;
    } else if (h.colorType == 3) {
        BaseImage_ColorFormat_InitPal8Preset(&format, hasTrns ? 1 : 0);
        uint32_t entries = h.paletteLength / 3;
        if (entries > 256) entries = 256;
        for (uint32_t i = 0; i < entries; i++) {
            const uint8_t* p = h.palette + i * 3;
            format.palette[i] = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
        }
        const uint32_t trnsLength = h.trnsLength > 256 ? 256 : h.trnsLength;
        for (uint32_t i = 0; i < 256; i++) {
            const uint32_t alpha = !hasTrns ? 0 : i < trnsLength ? h.trns[i] : 255;
            format.palette[i] = (format.palette[i] & 0xFFFFFF) | (alpha << 24);
        }
        format.maxPaletteIndex = entries - 1;
        outBytes = 1;
    } else {
        BaseImage_ColorFormat_InitARGB8(&format);
    }
    const int64_t pitch = ImageLoad_Size(h.width, outBytes);
    if (pitch < 0 || ImageLoad_Size(pitch, h.height) < 0) return -1;
    image->width = (int)h.width;
    image->height = (int)h.height;
    image->pitch = (int)pitch;
    if (headerOnly) return 0;

    uint8_t* pixels = static_cast<uint8_t*>(ImageLoad_Allocate(pitch * h.height, __LINE__));
    uint8_t* inflated = static_cast<uint8_t*>(ImageLoad_Allocate(inflatedSize, __LINE__));
    z_stream z;
    memset(&z, 0, sizeof(z));
    if (pixels == nullptr || inflated == nullptr || inflateInit(&z) != Z_OK) {
        if (pixels != nullptr) Memory_Free(pixels);
        if (inflated != nullptr) Memory_Free(inflated);
        return -1;
    }
    z.next_out = inflated;
    z.avail_out = (uInt)inflatedSize;
    int status = Z_OK;
    offset = 8;
    while (status == Z_OK && Png_NextChunk(file, size, &offset, &chunk)) {
        if (chunk.type == PngChunk('I', 'E', 'N', 'D')) break;
        if (chunk.type != PngChunk('I', 'D', 'A', 'T') || chunk.length == 0) continue;
        z.next_in = const_cast<Bytef*>(chunk.data);
        z.avail_in = chunk.length;
        status = inflate(&z, Z_NO_FLUSH);
    }
    const bool complete = status == Z_STREAM_END && (int64_t)z.total_out == inflatedSize;
    inflateEnd(&z);
    bool ok = complete;
    const int bpp = bitsPerPixel < 8 ? 1 : bitsPerPixel / 8;
    for (int64_t y = 0; ok && y < h.height; y++) {
        uint8_t* row = inflated + y * (rowBytes + 1);
        const uint8_t* prior = y == 0 ? nullptr : row - rowBytes;
        ok = Png_Unfilter(row + 1, prior, rowBytes, bpp, row[0]);
        if (ok) Png_ConvertRow(h, row + 1, pixels + y * pitch, trnsKey, useRgbKey ? rgbKey : nullptr);
    }
    Memory_Free(inflated);
    if (!ok) {
        Memory_Free(pixels);
        return -1;
    }
    image->pixels = pixels;
    return 0;
}

}  // namespace

int BaseImage_LoadPngOwn(Stream* stream, BaseImage* image, int headerOnly)
{
    if (!ImageLoad_IsMemStream(stream)) return -1;
    const MemStream* mem = static_cast<const MemStream*>(stream->data);
    if (mem->data == nullptr) return -1;
    const int result = PngOwn_Decode(mem->data, mem->size, image, headerOnly);
    return result == 0 ? 0 : ImageLoad_Fail(image);
}

#if VT_HAVE_LIBPNG

namespace {

struct PngReadRecord {
    Stream* stream;
    int64_t length;
};

}  // namespace

static void PngRead_Callback(png_structp png, png_bytep destination, size_t count)
{
    PngReadRecord* record = static_cast<PngReadRecord*>(png_get_io_ptr(png));
    const int64_t left = record->length - record->stream->ops.Tell(record->stream->data);
    if (left < 0 || (uint64_t)left < count) png_error(png, "Read Error");
    if (count != 0 && record->stream->ops.Read(destination, (uint32_t)count, 1, record->stream->data) != 1)
        png_error(png, "Read Error");
}

int PngRead_Setup(png_structp png, PngReadRecord* record, Stream* stream)
{
    record->stream = stream;
    const int64_t position = stream->ops.Tell(stream->data);
    stream->ops.Seek(stream->data, 0, SeekOrigin_End);
    record->length = stream->ops.Tell(stream->data) - position;
    stream->ops.Seek(stream->data, position, SeekOrigin_Start);
    record->length += position;   // kept as the end position, compared with Tell
    png_set_read_fn(png, record, PngRead_Callback);
    return 0;
}

// Everything that libpng may leave by longjmp lives in plain C data: no destructor is skipped.
struct PngLibWork {
    png_structp png;
    png_infop info;
    png_bytep block;
    png_bytepp rows;
    uint8_t* pixels;
};

static void PngLib_Release(PngLibWork* work)
{
    if (work->block != nullptr) png_free(work->png, work->block);
    if (work->rows != nullptr) Memory_Free(work->rows);
    if (work->pixels != nullptr) Memory_Free(work->pixels);
    png_destroy_read_struct(&work->png, work->info != nullptr ? &work->info : nullptr, nullptr);
    work->block = nullptr;
    work->rows = nullptr;
    work->pixels = nullptr;
}

// Grey, grey with key, grey + alpha and RGB with key become new ARGB8 (or Gray8) rows.
static uint8_t* PngLib_Expand(const uint8_t* rows, int64_t rowBytes, uint32_t width, uint32_t height, int colorType,
                              int bitDepth, int channels, int keyGrey, const int* keyRgb, int64_t* pitchOut,
                              int* gray8)
{
    *gray8 = colorType == 0 && keyGrey < 0;
    const int64_t pitch = *gray8 ? width : (int64_t)width * 4;
    uint8_t* out = static_cast<uint8_t*>(ImageLoad_Allocate(ImageLoad_Size(pitch, height), __LINE__));
    if (out == nullptr) return nullptr;
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t* src = rows + y * rowBytes;
        uint8_t* dst = out + y * pitch;
        for (uint32_t x = 0; x < width; x++) {
            if (colorType == 0) {
                const uint8_t s = src[x];
                const uint8_t g = Png_WidenGrey(s, bitDepth > 8 ? 8 : bitDepth);
                if (*gray8) {
                    dst[x] = g;
                } else {
                    dst[x * 4] = dst[x * 4 + 1] = dst[x * 4 + 2] = g;
                    dst[x * 4 + 3] = s == keyGrey ? 0 : 255;
                }
            } else if (colorType == 4) {
                dst[x * 4] = dst[x * 4 + 1] = dst[x * 4 + 2] = src[x * 2];
                dst[x * 4 + 3] = src[x * 2 + 1];
            } else {
                const uint8_t* p = src + x * channels;   // blue, green, red
                dst[x * 4] = p[0];
                dst[x * 4 + 1] = p[1];
                dst[x * 4 + 2] = p[2];
                dst[x * 4 + 3] = p[2] == keyRgb[0] && p[1] == keyRgb[1] && p[0] == keyRgb[2] ? 0 : 255;
            }
        }
    }
    *pitchOut = pitch;
    return out;
}

static int PngLib_Decode(Stream* stream, BaseImage* image, int headerOnly, PngLibWork* work)
{
    PngReadRecord record;
    if (setjmp(png_jmpbuf(work->png))) return -1;
    PngRead_Setup(work->png, &record, stream);
    png_set_sig_bytes(work->png, 0);
    png_read_info(work->png, work->info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(work->png, work->info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return -1;
    png_set_strip_16(work->png);
    png_set_packing(work->png);
    png_set_packswap(work->png);
    png_set_bgr(work->png);
    if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(work->png);
    png_read_update_info(work->png, work->info);
    const int64_t rowBytes = (int64_t)png_get_rowbytes(work->png, work->info);
    const int channels = png_get_channels(work->png, work->info);
    const int64_t total = ImageLoad_Size(rowBytes, height);
    if (rowBytes <= 0 || total < 0) return -1;

    // The transparent key of grey and RGB images, as the unpacked samples hold it.
    png_bytep trnsAlpha = nullptr;
    int trnsCount = 0;
    png_color_16p trnsColor = nullptr;
    const bool hasTrns = png_get_valid(work->png, work->info, PNG_INFO_tRNS) != 0 &&
                         png_get_tRNS(work->png, work->info, &trnsAlpha, &trnsCount, &trnsColor) != 0;
    const int shift = bitDepth == 16 ? 8 : 0;
    const int keyGrey = colorType == 0 && hasTrns && trnsColor != nullptr ? (trnsColor->gray >> shift) & 0xFF : -1;
    int keyRgb[3] = {-1, -1, -1};
    if (colorType == 2 && hasTrns && trnsColor != nullptr && channels == 3) {
        keyRgb[0] = (trnsColor->red >> shift) & 0xFF;
        keyRgb[1] = (trnsColor->green >> shift) & 0xFF;
        keyRgb[2] = (trnsColor->blue >> shift) & 0xFF;
    }
    image->width = (int)width;
    image->height = (int)height;
    image->pitch = (int)rowBytes;
    ColorFormatDesc& format = image->format;
    if (colorType == 3) {
        BaseImage_ColorFormat_InitPal8(&format);
        memset(format.palette, 0, sizeof(format.palette));
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(work->png, work->info, &palette, &count);
        if (count > 256) count = 256;
        for (int i = 0; i < count; i++)
            format.palette[i] = ((uint32_t)palette[i].red << 16) | ((uint32_t)palette[i].green << 8) | palette[i].blue;
        format.maxPaletteIndex = count > 0 ? (uint32_t)(count - 1) : 0;
        if (hasTrns && trnsAlpha != nullptr) {
            for (int i = 0; i < count; i++)
                format.palette[i] |= (uint32_t)(i < trnsCount ? trnsAlpha[i] : 255) << 24;
            format.alphaShift = 24;
            format.alphaWidth = 8;
            format.alphaMask = 0xFF000000u;
        }
    } else if (colorType == 6 || (colorType == 2 && keyRgb[0] < 0)) {
        if (colorType == 6) BaseImage_ColorFormat_InitARGB8(&format);
        else BaseImage_ColorFormat_InitRGB24(&format);
    } else if (colorType == 0 && keyGrey < 0) {
        BaseImage_ColorFormat_InitGray8(&format);
    } else {
        BaseImage_ColorFormat_InitARGB8(&format);
    }
    if (headerOnly) return 0;

    work->rows = static_cast<png_bytepp>(ImageLoad_Allocate(ImageLoad_Size(sizeof(png_bytep), height), __LINE__));
    if (work->rows == nullptr) return -1;
    work->block = static_cast<png_bytep>(png_malloc(work->png, (png_alloc_size_t)total));
    for (uint32_t y = 0; y < height; y++) work->rows[y] = work->block + y * rowBytes;
    png_read_image(work->png, work->rows);
    png_read_end(work->png, nullptr);
    const bool direct = colorType == 3 || colorType == 6 || (colorType == 2 && keyRgb[0] < 0);
    int64_t pitch = rowBytes;
    if (direct) {
        work->pixels = static_cast<uint8_t*>(ImageLoad_Allocate(total, __LINE__));
        if (work->pixels == nullptr) return -1;
        memcpy(work->pixels, work->block, (size_t)total);
    } else {
        int gray8 = 0;
        work->pixels = PngLib_Expand(work->block, rowBytes, width, height, colorType, bitDepth, channels, keyGrey,
                                     keyRgb, &pitch, &gray8);
        if (work->pixels == nullptr) return -1;
    }
    image->pitch = (int)pitch;
    image->pixels = work->pixels;
    work->pixels = nullptr;
    return 0;
}

// The own decoder's bound for the libpng row: every chunk up to IEND must end inside the data. libpng
// only warns about a chunk longer than its limit and then allocates and clears a buffer of the claimed
// size for its text chunks, which a damaged length makes gigabytes long.
static bool PngLib_ChunksInsideData(Stream* stream)
{
    const int64_t start = stream->ops.Tell(stream->data);
    stream->ops.Seek(stream->data, 0, SeekOrigin_End);
    const int64_t end = stream->ops.Tell(stream->data);
    bool inside = true;
    for (int64_t at = start + 8; end - at >= 8;) {
        uint8_t head[8];
        stream->ops.Seek(stream->data, at, SeekOrigin_Start);
        if (stream->ops.Read(head, 1, 8, stream->data) != 8) break;
        const int64_t length = ImageLoad_Be32(head);
        if (at + 12 + length > end) {
            inside = false;
            break;
        }
        if (ImageLoad_Be32(head + 4) == PngChunk('I', 'E', 'N', 'D')) break;
        at += 12 + length;
    }
    stream->ops.Seek(stream->data, start, SeekOrigin_Start);
    return inside;
}

int BaseImage_LoadPngLib(Stream* stream, BaseImage* image, int headerOnly)
{
    uint8_t signature[8];
    if (stream->ops.Read(signature, 1, 8, stream->data) != 8) return -1;
    stream->ops.Seek(stream->data, 0, SeekOrigin_Start);
    if (memcmp(signature, PngSignature, 8) != 0) return -1;
    if (!PngLib_ChunksInsideData(stream)) {
        Log_AddTextShiftJIS("PNG ファイルのチャンクがデータの終わりを越えています\n");
        return -1;
    }
    PngLibWork work = {};
    work.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (work.png == nullptr) return -1;
    work.info = png_create_info_struct(work.png);
    if (work.info == nullptr) {
        PngLib_Release(&work);
        return -1;
    }
    const int result = PngLib_Decode(stream, image, headerOnly, &work);
    PngLib_Release(&work);
    return result == 0 ? 0 : ImageLoad_Fail(image);
}

int BaseImage_HasLibPng() { return 1; }

#else

int BaseImage_LoadPngLib(Stream* stream, BaseImage* image, int headerOnly) { return -1; }

int BaseImage_HasLibPng() { return 0; }

#endif

}  // namespace Vantrel
