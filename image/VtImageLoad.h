// Image loading: the loader chain that turns a file or a memory block into a base image, its
// settings snapshot, the alpha companion file and the post-load steps; the format loaders (BMP,
// JPEG, PNG, TGA, DDS, TIFF, raw "BGRA" and "VBIM", the Windows Imaging Component) and the
// exchange of Windows device-independent bitmaps. Stands on base images, streams and files.
#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/VtFile.h"
#include "foundation/VtStream.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

// A loader of the built-in tables: 0 when it recognised and read the image, -1 otherwise.
typedef int (*ImageLoaderProc)(Stream* stream, BaseImage* image, int headerOnly);
// A caller-supplied loader (tried first, without the header-only flag).
typedef int (*UserImageLoaderProc)(Stream* stream, BaseImage* image);

constexpr int BaseImage_UserLoaderMax = 10;

// Everything one load runs with, copied when the load is requested.
struct BaseImageLoadSettings {
    UserImageLoaderProc userLoaders[BaseImage_UserLoaderMax];
    int32_t userLoaderCount;
    int32_t headerOnly;
    FileAccessTable fileAccess;
    StreamOps fileStreamOps;
    StreamOps memStreamOps;
    int32_t premultiplyAlpha;
    int32_t expandCompressed;
    int32_t useTransparentColor;
    uint32_t transparentColor;   // 0x00RRGGBB
};

// Module state of the chain (plain globals, no lock).
struct BaseImageLoadState {
    UserImageLoaderProc userLoaders[BaseImage_UserLoaderMax];
    int32_t userLoaderCount;
    int32_t premultiplyAlpha;
    int32_t expandCompressed;
    int32_t useTransparentColor;
    uint32_t transparentColor;
    int32_t platformLoadersLast;   // set once the image module has started
};
extern BaseImageLoadState BaseImage_LoadState;

// The two built-in tables, each ended by a null entry.
extern const ImageLoaderProc ImageLoaderTable[];
extern const ImageLoaderProc PlatformImageLoaderTable[];

// ---- The chain ----
void BaseImage_InitLoadSettingsLoaders(BaseImageLoadSettings* out, int headerOnly);
void BaseImage_InitLoadSettings(BaseImageLoadSettings* out, int headerOnly);
int BaseImage_RunLoaderChain(const BaseImageLoadSettings* settings, Stream* stream, BaseImage* out);
int BaseImage_LoadImageOrDIB(const BaseImageLoadSettings* settings, const wchar_t* fileName, const void* memImage,
                             int memSize, int fromMemory, int toDIB, int mirror, int noColorKey, BaseImage* out,
                             BITMAPINFO** dibInfo, void** dibBits);
int BaseImage_LoadWithAlphaFile(const BaseImageLoadSettings* settings, const wchar_t* fileName, const void* memImage,
                                int memSize, int fromMemory, const void* alphaMemImage, int alphaMemSize,
                                int alphaKind, BaseImage* out, BaseImage* alphaOut, int mirror, int noColorKey);
// The module's transparent-colour switches (the graphics core keeps them in step with its own).
void BaseImage_SetLoadUseTransparentColor(int use);
void BaseImage_SetLoadTransparentColor(uint32_t color);
// Adds a caller's loader to the list tried first: 0, or -1 when the list is full.
int BaseImage_AddUserLoader(UserImageLoaderProc loader);

// ---- Format loaders (rows of the tables) ----
int BaseImage_LoadBmp(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadJpeg(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadPngOwn(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadPngLib(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadTga(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadDds(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadTiff(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadRawBGRA(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadDump(Stream* stream, BaseImage* image, int headerOnly);
int BaseImage_LoadByWic(Stream* stream, BaseImage* image, int headerOnly);

// Whether the loaders over outside libraries are built in (1) or their rows refuse everything (0).
int BaseImage_HasLibPng();
int BaseImage_HasLibJpeg();
int BaseImage_HasLibTiff();

// ---- The imaging factory (image-module start and end) ----
int BaseImage_Platform_Initialize();
int BaseImage_Platform_Terminate();
int BaseImage_Platform_HasFactory();

// ---- Device-independent bitmaps ----
int BaseImage_ConvertFromDIB(const BITMAPINFO* info, const void* bits, BaseImage* out, int copy);
int BaseImage_ConvertToDIB(const BaseImage* image, BITMAPINFO* out, void** bitsOut, int forceCopy, int force24);
HBITMAP CreateDIBGraph(const BITMAPINFO* info, const void* bits, int mirror, ColorFormatDesc* wantedFormat);
HBITMAP BaseImage_LoadDIBGraph(const wchar_t* fileName, const void* memImage, int memSize, int fromMemory, int mirror,
                               ColorFormatDesc* wantedFormat);
HBITMAP LoadDIBGraph(const wchar_t* fileName, int mirror, ColorFormatDesc* wantedFormat);

}  // namespace Vantrel
