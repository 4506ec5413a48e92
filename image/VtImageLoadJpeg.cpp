// JPEG decoding over libjpeg: a source manager reading the library's stream, libjpeg's errors
// caught by setjmp/longjmp in frames that hold no C++ objects, and grey, RGB and CMYK scan lines
// turned into Gray8 or RGB24 rows. Without libjpeg in the build the row refuses every stream.
#include <cstdio>
#include <cstring>

#include "image/VtImageLoad.h"
#include "image/VtImageLoadInternal.h"

#if VT_HAVE_LIBJPEG
#include <csetjmp>
extern "C" {
#include <jpeglib.h>
}
#endif

namespace Vantrel {

#if VT_HAVE_LIBJPEG

namespace {

constexpr int JpegSourceBufferSize = 4096;

struct JpegSource {
    jpeg_source_mgr manager;
    JOCTET* buffer;
    boolean startOfFile;
    Stream* stream;
    int64_t length;
};

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf recovery;
};

}  // namespace

static void JpegSource_Init(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = TRUE; }

static boolean JpegSource_Fill(j_decompress_ptr cinfo)
{
    JpegSource* source = reinterpret_cast<JpegSource*>(cinfo->src);
    const int64_t remaining = source->length - source->stream->ops.Tell(source->stream->data);
    uint32_t count = 0;
    if (remaining > 0) {
        count = remaining >= JpegSourceBufferSize ? JpegSourceBufferSize : (uint32_t)remaining;
        count = source->stream->ops.Read(source->buffer, 1, count, source->stream->data);
    }
    if (count == 0) {
        if (source->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = count;
    source->startOfFile = FALSE;
    return TRUE;
}

static void JpegSource_Skip(j_decompress_ptr cinfo, long count)
{
    JpegSource* source = reinterpret_cast<JpegSource*>(cinfo->src);
    if (count <= 0) return;
    while (count > (long)source->manager.bytes_in_buffer) {
        count -= (long)source->manager.bytes_in_buffer;
        JpegSource_Fill(cinfo);
    }
    source->manager.next_input_byte += count;
    source->manager.bytes_in_buffer -= (size_t)count;
}

static void JpegSource_Term(j_decompress_ptr) {}

static void JpegSource_ErrorExit(j_common_ptr cinfo)
{
    JpegError* error = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    longjmp(error->recovery, 1);
}

static void JpegSource_Setup(j_decompress_ptr cinfo, Stream* stream)
{
    if (cinfo->src == nullptr) {
        cinfo->src = static_cast<jpeg_source_mgr*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
        reinterpret_cast<JpegSource*>(cinfo->src)->buffer = static_cast<JOCTET*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, JpegSourceBufferSize));
    }
    JpegSource* source = reinterpret_cast<JpegSource*>(cinfo->src);
    source->manager.init_source = JpegSource_Init;
    source->manager.fill_input_buffer = JpegSource_Fill;
    source->manager.skip_input_data = JpegSource_Skip;
    source->manager.resync_to_restart = jpeg_resync_to_restart;
    source->manager.term_source = JpegSource_Term;
    source->stream = stream;
    const int64_t position = stream->ops.Tell(stream->data);
    stream->ops.Seek(stream->data, 0, SeekOrigin_End);
    source->length = stream->ops.Tell(stream->data);   // the end position, compared with Tell
    stream->ops.Seek(stream->data, position, SeekOrigin_Start);
    source->manager.bytes_in_buffer = 0;
    source->manager.next_input_byte = nullptr;
}

// The decoding proper; libjpeg may leave it by longjmp, so it holds plain C data only and keeps
// the buffer it allocates in *pixels, where the caller frees it.
static int Jpeg_Decode(jpeg_decompress_struct* cinfo, JpegError* error, Stream* stream, BaseImage* image,
                       int headerOnly, uint8_t** pixels)
{
    cinfo->err = jpeg_std_error(&error->manager);
    error->manager.error_exit = JpegSource_ErrorExit;
    if (setjmp(error->recovery)) return -1;
    jpeg_CreateDecompress(cinfo, JPEG_LIB_VERSION, sizeof(*cinfo));
    JpegSource_Setup(cinfo, stream);
    jpeg_read_header(cinfo, TRUE);
    if (headerOnly) {
        image->width = (int)cinfo->image_width;
        image->height = (int)cinfo->image_height;
        return 0;
    }
    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    if (components != 1 && components != 3 && components != 4) return -1;
    const int n = components == 4 ? 3 : components;
    const int64_t pitch = ImageLoad_Size(cinfo->output_width, n);
    const int64_t size = pitch < 0 ? -1 : ImageLoad_Size(pitch, cinfo->output_height);
    if (size < 0 || cinfo->output_width == 0 || cinfo->output_height == 0) return -1;
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                 cinfo->output_width * components, 1);
    *pixels = static_cast<uint8_t*>(ImageLoad_Allocate(size, __LINE__));
    if (*pixels == nullptr) return -1;
    while (cinfo->output_scanline < cinfo->output_height) {
        uint8_t* out = *pixels + (int64_t)cinfo->output_scanline * pitch;
        if (jpeg_read_scanlines(cinfo, row, 1) != 1) return -1;
        const uint8_t* in = row[0];
        if (components == 1) {
            memcpy(out, in, cinfo->output_width);
        } else if (components == 3) {
            for (JDIMENSION x = 0; x < cinfo->output_width; x++) {
                out[x * 3] = in[x * 3 + 2];
                out[x * 3 + 1] = in[x * 3 + 1];
                out[x * 3 + 2] = in[x * 3];
            }
        } else {
            for (JDIMENSION x = 0; x < cinfo->output_width; x++) {
                const uint32_t c = in[x * 4], m = in[x * 4 + 1], y = in[x * 4 + 2], k = in[x * 4 + 3];
                out[x * 3] = (uint8_t)(k * y / 255);
                out[x * 3 + 1] = (uint8_t)(k * m / 255);
                out[x * 3 + 2] = (uint8_t)(k * c / 255);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    image->width = (int)cinfo->output_width;
    image->height = (int)cinfo->output_height;
    image->pitch = (int)pitch;
    if (n == 1) BaseImage_ColorFormat_InitGray8(&image->format);
    else BaseImage_ColorFormat_InitRGB24(&image->format);
    image->pixels = *pixels;
    *pixels = nullptr;
    return 0;
}

int BaseImage_LoadJpeg(Stream* stream, BaseImage* image, int headerOnly)
{
    uint8_t first = 0;
    if (stream->ops.Read(&first, 1, 1, stream->data) != 1) return -1;
    stream->ops.Seek(stream->data, 0, SeekOrigin_Start);
    if (first != 0xFF) return -1;
    jpeg_decompress_struct cinfo;
    JpegError error;
    memset(&cinfo, 0, sizeof(cinfo));
    uint8_t* pixels = nullptr;
    const int result = Jpeg_Decode(&cinfo, &error, stream, image, headerOnly, &pixels);
    jpeg_destroy_decompress(&cinfo);
    if (pixels != nullptr) Memory_Free(pixels);
    return result == 0 ? 0 : ImageLoad_Fail(image);
}

int BaseImage_HasLibJpeg() { return 1; }

#else

int BaseImage_LoadJpeg(Stream* stream, BaseImage* image, int headerOnly) { return -1; }

int BaseImage_HasLibJpeg() { return 0; }

#endif

}  // namespace Vantrel
