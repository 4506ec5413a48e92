// The image loader chain: load settings taken as a snapshot, the loaders tried in their fixed order
// over one memory stream, the post-load steps (mirroring, premultiplied alpha with colour keying,
// hand-over as a DIB) and the alpha companion image. Stands on base images, files and streams.
#include "image/VtImageLoad.h"

#include <cstring>

#include "foundation/VtMemory.h"
#include "image/VtImageLoadInternal.h"

namespace Vantrel {

BaseImageLoadState BaseImage_LoadState = {};

const ImageLoaderProc ImageLoaderTable[] = {
    BaseImage_LoadBmp, BaseImage_LoadJpeg, BaseImage_LoadPngOwn, BaseImage_LoadPngLib, BaseImage_LoadTga,
    BaseImage_LoadDds, BaseImage_LoadTiff, BaseImage_LoadRawBGRA, BaseImage_LoadDump, nullptr,
};

const ImageLoaderProc PlatformImageLoaderTable[] = {BaseImage_LoadByWic, nullptr};

// ---------------------------------------------------------------------------------------------
// The stream as one block
// ---------------------------------------------------------------------------------------------

int ImageLoad_OpenSource(Stream* stream, ImageLoadSource* source)
{
    memset(source, 0, sizeof(*source));
    if (ImageLoad_IsMemStream(stream)) {
        const MemStream* mem = static_cast<const MemStream*>(stream->data);
        source->data = mem->data;
        source->size = mem->data == nullptr ? 0 : mem->size;
        return 0;
    }
    if (stream->ops.Seek(stream->data, 0, SeekOrigin_End) != 0) return -1;
    const int64_t size = stream->ops.Tell(stream->data);
    if (stream->ops.Seek(stream->data, 0, SeekOrigin_Start) != 0) return -1;
    if (size < 0 || size > BaseImage_MaxDataSize) return -1;
    if (size == 0) return 0;
    void* buffer = ImageLoad_Allocate(size, __LINE__);
    if (buffer == nullptr) return -1;
    if (stream->ops.Read(buffer, 1, (uint32_t)size, stream->data) != (uint32_t)size) {
        Memory_Free(buffer);
        return -1;
    }
    source->data = static_cast<const uint8_t*>(buffer);
    source->size = (uint64_t)size;
    source->owned = buffer;
    return 0;
}

void ImageLoad_CloseSource(ImageLoadSource* source)
{
    if (source->owned != nullptr) Memory_Free(source->owned);
    memset(source, 0, sizeof(*source));
}

int ImageLoad_DecodeStream(Stream* stream, BaseImage* image, int headerOnly, ImageLoadDecodeProc decode)
{
    ImageLoadSource source;
    if (ImageLoad_OpenSource(stream, &source) != 0) return -1;
    const int result = decode(source.data, source.size, image, headerOnly);
    ImageLoad_CloseSource(&source);
    return result == 0 ? 0 : ImageLoad_Fail(image);
}

// ---------------------------------------------------------------------------------------------
// Settings
// ---------------------------------------------------------------------------------------------

void BaseImage_InitLoadSettingsLoaders(BaseImageLoadSettings* out, int headerOnly)
{
    memcpy(out->userLoaders, BaseImage_LoadState.userLoaders, sizeof(out->userLoaders));
    out->userLoaderCount = BaseImage_LoadState.userLoaderCount;
    out->headerOnly = headerOnly;
}

void BaseImage_InitLoadSettings(BaseImageLoadSettings* out, int headerOnly)
{
    BaseImage_InitLoadSettingsLoaders(out, headerOnly);
    out->fileAccess = *File_Access_GetTable();
    out->fileStreamOps = *File_GetFileStreamOps();
    out->memStreamOps = *File_GetMemStreamOps();
    out->premultiplyAlpha = BaseImage_LoadState.premultiplyAlpha;
    out->expandCompressed = BaseImage_LoadState.expandCompressed;
    out->useTransparentColor = BaseImage_LoadState.useTransparentColor;
    out->transparentColor = BaseImage_LoadState.transparentColor;
}

void BaseImage_SetLoadUseTransparentColor(int use) { BaseImage_LoadState.useTransparentColor = use; }

void BaseImage_SetLoadTransparentColor(uint32_t color) { BaseImage_LoadState.transparentColor = color & 0xFFFFFF; }

int BaseImage_AddUserLoader(UserImageLoaderProc loader)
{
    if (loader == nullptr || BaseImage_LoadState.userLoaderCount >= BaseImage_UserLoaderMax) return -1;
    BaseImage_LoadState.userLoaders[BaseImage_LoadState.userLoaderCount++] = loader;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The chain
// ---------------------------------------------------------------------------------------------

static int BaseImage_TryLoaderTable(const ImageLoaderProc* table, Stream* stream, BaseImage* out, int headerOnly)
{
    for (int i = 0; table[i] != nullptr; i++) {
        stream->ops.Seek(stream->data, 0, SeekOrigin_Start);
        memset(out, 0, sizeof(*out));
        if (table[i](stream, out, headerOnly) == 0) return 0;
    }
    return -1;
}

int BaseImage_RunLoaderChain(const BaseImageLoadSettings* settings, Stream* stream, BaseImage* out)
{
    memset(out, 0, sizeof(*out));
    const int count = settings->userLoaderCount < 0                          ? 0
                      : settings->userLoaderCount > BaseImage_UserLoaderMax ? BaseImage_UserLoaderMax
                                                                             : settings->userLoaderCount;
    for (int i = 0; i < count; i++) {
        if (settings->userLoaders[i] == nullptr) continue;
        stream->ops.Seek(stream->data, 0, SeekOrigin_Start);
        memset(out, 0, sizeof(*out));
        if (settings->userLoaders[i](stream, out) == 0) return 0;
    }
    const int platformLast = BaseImage_LoadState.platformLoadersLast;
    if (!platformLast && BaseImage_TryLoaderTable(PlatformImageLoaderTable, stream, out, settings->headerOnly) == 0)
        return 0;
    if (BaseImage_TryLoaderTable(ImageLoaderTable, stream, out, settings->headerOnly) == 0) return 0;
    if (platformLast && BaseImage_TryLoaderTable(PlatformImageLoaderTable, stream, out, settings->headerOnly) == 0)
        return 0;
    memset(out, 0, sizeof(*out));
    return -1;
}

// Reads a whole file through the settings' file-access table into a new buffer.
static int BaseImage_ReadWholeFile(const BaseImageLoadSettings* settings, const wchar_t* fileName, void** buffer,
                                   uint32_t* size)
{
    if (fileName == nullptr || settings->fileAccess.Open == nullptr) return -1;
    const FileAccessHandle file = settings->fileAccess.Open(fileName, 0, 1, 0);
    if (file == 0) return -1;
    int result = -1;
    settings->fileAccess.Seek(file, 0, SeekOrigin_End);
    const int64_t length = settings->fileAccess.Tell(file);
    settings->fileAccess.Seek(file, 0, SeekOrigin_Start);
    if (length >= 0 && length <= BaseImage_MaxDataSize) {
        void* data = ImageLoad_Allocate(length, __LINE__);
        if (data != nullptr) {
            if (length == 0 || settings->fileAccess.Read(data, (uint32_t)length, 1, file) == 1) {
                *buffer = data;
                *size = (uint32_t)length;
                result = 0;
            } else {
                Memory_Free(data);
            }
        }
    }
    settings->fileAccess.Close(file);
    return result;
}

static bool BaseImage_IsExactARGB8(const ColorFormatDesc* f)
{
    return f->formatCode == 0 && f->channelCount == 0 && f->bitDepth == 32 && f->bytesPerPixel == 4 &&
           f->isFloat == 0 && f->unusedMask == 0 && f->alphaMask == 0xFF000000u && f->redMask == 0xFF0000u &&
           f->greenMask == 0xFF00u && f->blueMask == 0xFFu;
}

static int BaseImage_ExpandIfCompressed(BaseImage* image)
{
    if (image->format.formatCode == BaseImageFormat_Plain) return 0;
    return BaseImage_ExpandCompressed(image, 1);
}

// Turns an image without alpha into ARGB8 and makes its transparent-colour pixels transparent black.
static int BaseImage_KeyTransparentColor(BaseImage* image, uint32_t transparentColor)
{
    if (BaseImage_ExpandIfCompressed(image) != 0) return -1;
    if (!BaseImage_IsExactARGB8(&image->format)) {
        BaseImage old = *image;
        BaseImage converted = {};
        if (BaseImage_CreateARGB8(old.width, old.height, &converted) != 0) return -1;
        BaseImage_BltWhole(0, 0, &old, &converted);
        BaseImage_Release(&old);
        *image = converted;
    }
    const uint32_t key = 0xFF000000u | (transparentColor & 0xFFFFFF);
    for (int y = 0; y < image->height; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + (size_t)y * image->pitch);
        for (int x = 0; x < image->width; x++) {
            if (row[x] == key) row[x] = 0;
        }
    }
    return 0;
}

// Steps 4 to 7 of a load: mirror, expand, premultiply or key, hand over.
static int BaseImage_PostLoad(const BaseImageLoadSettings* settings, BaseImage* image, int toDIB, int mirror,
                              int noColorKey, BaseImage* out, BITMAPINFO** dibInfo, void** dibBits)
{
    if (mirror == 1) {
        if (BaseImage_ExpandIfCompressed(image) != 0) return ImageLoad_Fail(image);
        BaseImage_MirrorHorizontal(image);
    }
    if (settings->expandCompressed && BaseImage_ExpandIfCompressed(image) != 0) return ImageLoad_Fail(image);
    if (settings->premultiplyAlpha) {
        if (image->format.alphaWidth == 0 && settings->useTransparentColor == 1 && noColorKey == 0) {
            if (BaseImage_KeyTransparentColor(image, settings->transparentColor) != 0) return ImageLoad_Fail(image);
        } else if (BaseImage_ConvertPremultipliedAlpha(image) != 0) {
            return ImageLoad_Fail(image);
        }
    }
    if (!toDIB) {
        *out = *image;
        return 0;
    }
    if (BaseImage_ExpandIfCompressed(image) != 0) return ImageLoad_Fail(image);
    BITMAPINFO* info = static_cast<BITMAPINFO*>(
        Memory_AllocateZeroed(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), "VtImageLoad", __LINE__));
    if (info == nullptr) return ImageLoad_Fail(image);
    void* bits = nullptr;
    const int converted = BaseImage_ConvertToDIB(image, info, &bits, 0, 0);
    if (converted == -1) {
        Memory_Free(info);
        return ImageLoad_Fail(image);
    }
    if (converted == 1) ImageLoad_Fail(image);   // the DIB bits are a copy: the image's own go
    *dibInfo = info;
    *dibBits = bits;
    return 0;
}

int BaseImage_LoadImageOrDIB(const BaseImageLoadSettings* settings, const wchar_t* fileName, const void* memImage,
                             int memSize, int fromMemory, int toDIB, int mirror, int noColorKey, BaseImage* out,
                             BITMAPINFO** dibInfo, void** dibBits)
{
    void* fileBuffer = nullptr;
    const void* data = memImage;
    uint32_t size = (uint32_t)memSize;
    if (fromMemory) {
        if (memImage == nullptr || memSize < 0) return -1;
    } else {
        if (BaseImage_ReadWholeFile(settings, fileName, &fileBuffer, &size) != 0) return -1;
        data = fileBuffer;
    }
    MemStream* mem = File_MemStream_Open(data, size);
    if (mem == nullptr) {
        if (fileBuffer != nullptr) Memory_Free(fileBuffer);
        return -1;
    }
    Stream stream = {settings->memStreamOps, mem};
    if (stream.ops.Read == nullptr) stream.ops = *File_GetMemStreamOps();

    BaseImage image;
    const int loaded = BaseImage_RunLoaderChain(settings, &stream, &image);
    stream.ops.Close(mem);
    int result = -1;
    if (loaded == 0) {
        if (settings->headerOnly) {
            if (!toDIB) *out = image;
            result = 0;
        } else {
            result = BaseImage_PostLoad(settings, &image, toDIB, mirror, noColorKey, out, dibInfo, dibBits);
        }
    }
    if (fileBuffer != nullptr) Memory_Free(fileBuffer);
    return result;
}

int BaseImage_LoadWithAlphaFile(const BaseImageLoadSettings* settings, const wchar_t* fileName, const void* memImage,
                                int memSize, int fromMemory, const void* alphaMemImage, int alphaMemSize,
                                int alphaKind, BaseImage* out, BaseImage* alphaOut, int mirror, int noColorKey)
{
    if (BaseImage_LoadImageOrDIB(settings, fileName, memImage, memSize, fromMemory, 0, mirror, noColorKey, out,
                                 nullptr, nullptr) != 0)
        return -1;
    if (alphaOut == nullptr) return 1;
    int loaded = -1;
    if (alphaKind == 0 && fileName != nullptr) {
        wchar_t alphaName[3072 / sizeof(wchar_t)];
        if (BaseImage_MakeAlphaFileName(fileName, alphaName, (int)sizeof(alphaName)) == 0)
            loaded = BaseImage_LoadImageOrDIB(settings, alphaName, nullptr, 0, 0, 0, mirror, 0, alphaOut, nullptr,
                                              nullptr);
    } else if (alphaKind == 1) {
        loaded = BaseImage_LoadImageOrDIB(settings, nullptr, alphaMemImage, alphaMemSize, 1, 0, mirror, 0, alphaOut,
                                          nullptr, nullptr);
    }
    return loaded == 0 ? 0 : 1;
}

}  // namespace Vantrel
