// Helpers shared by the format loaders: the stream seen as one block of bytes, bounded
// little- and big-endian reads, and sizes checked in 64 bits before they become buffer sizes.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/VtMemory.h"
#include "foundation/VtStream.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

// The stream's bytes from its start: the memory stream's own block, or a copy read from the
// stream (then `owned` holds it).
struct ImageLoadSource {
    const uint8_t* data;
    uint64_t size;
    void* owned;
};

inline bool ImageLoad_IsMemStream(const Stream* stream)
{
    return stream->ops.Read == File_GetMemStreamOps()->Read && stream->data != nullptr;
}

// 0 with the source filled, -1 when the stream cannot be read whole.
int ImageLoad_OpenSource(Stream* stream, ImageLoadSource* source);
void ImageLoad_CloseSource(ImageLoadSource* source);

// a x b when both are non-negative and the product is at most BaseImage_MaxDataSize, else -1.
inline int64_t ImageLoad_Size(int64_t a, int64_t b)
{
    if (a < 0 || b < 0) return -1;
    if (b != 0 && a > BaseImage_MaxDataSize / b) return -1;
    return a * b;
}

// Allocation of a pixel or work buffer whose size has been checked (0 bytes allocate 1).
inline void* ImageLoad_Allocate(int64_t size, int line)
{
    if (size < 0 || size > BaseImage_MaxDataSize) return nullptr;
    return Memory_Allocate((uint32_t)(size == 0 ? 1 : size), "VtImageLoad", line);
}

inline uint16_t ImageLoad_Le16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t ImageLoad_Le32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint32_t ImageLoad_Be32(const uint8_t* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

// A decoder over the stream's bytes: 0 with the image filled, -1 otherwise.
typedef int (*ImageLoadDecodeProc)(const uint8_t* data, uint64_t size, BaseImage* image, int headerOnly);
// Runs a decoder over the stream seen as one block; a refusal leaves nothing allocated.
int ImageLoad_DecodeStream(Stream* stream, BaseImage* image, int headerOnly, ImageLoadDecodeProc decode);

// Frees the pixels a failed load attempt allocated; always -1.
inline int ImageLoad_Fail(BaseImage* image)
{
    if (image->pixels != nullptr) Memory_Free(image->pixels);
    image->pixels = nullptr;
    return -1;
}

}  // namespace Vantrel
