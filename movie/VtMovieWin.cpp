// The platform movie players. A movie file that is not Ogg Theora is played by a DirectShow filter
// graph: the library's movie renderer is put into the graph before the graph manager renders the
// file, so the decoded picture ends in the renderer's frame buffer (or its Y and UV planes) and the
// sound goes to the audio renderer the graph manager picks; the graph keeps the time.
// Stands on the movie records (VtMovie), the library's DirectShow classes (the movie renderer), file
// access and temporary files, graph handles, and the log.
#include "movie/VtMovieWin.h"

#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtFile.h"
#include "foundation/VtFileWin.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphics.h"
#include "movie/VtMovie.h"
#include "movie/VtUseCLibOgg.h"
#include "sound/VtSoundHandle.h"
#include "movie/VtMovieMediaFoundation.h"
#include "system/VtTime.h"

namespace Vantrel {

namespace {

// The time per frame when the graph names none (100-ns units, 60 frames a second).
constexpr int64_t MovieWin_DefaultTimePerFrame = 166666;
// Copies of archived movies go to their temporary file in chunks of at most this many bytes.
constexpr uint32_t MovieWin_CopyChunk = 1 << 20;

template <typename Interface>
void MovieWin_Release(Interface*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

void MovieWin_DS_ReleaseInterfaces(MovieRecord* movie) {
    MovieWin_Release(movie->BasicAudio);
    MovieWin_Release(movie->MediaSeeking);
    MovieWin_Release(movie->MediaControl);
    MovieWin_Release(movie->GraphBuilder);
}

// Copies `path` into the record's path field with "/" turned into "\".
void MovieWin_SetPlayerPath(MovieRecord* movie, const wchar_t* path) {
    const size_t room = sizeof(movie->PlayerPath) / sizeof(wchar_t);
    size_t i = 0;
    for (; path[i] != 0 && i + 1 < room; i++) movie->PlayerPath[i] = path[i] == L'/' ? L'\\' : path[i];
    movie->PlayerPath[i] = 0;
}

// The extension of the path's file name with its dot, or an empty text.
const wchar_t* MovieWin_Extension(const wchar_t* path) {
    const wchar_t* dot = nullptr;
    for (const wchar_t* at = path; *at != 0; at++) {
        if (*at == L'\\' || *at == L'/') dot = nullptr;
        else if (*at == L'.') dot = at;
    }
    return dot != nullptr ? dot : L"";
}

// Copies an opened file into a new temporary file with the extension; the temporary path goes into the
// record's path field and the temporary-copy flag is set. 0 / -1 (nothing left behind).
int MovieWin_CopyToTempFile(MovieRecord* movie, FileAccessHandle file, const wchar_t* extension) {
    File_Access_Seek(file, 0, SEEK_END);
    const int64_t size = File_Access_Tell(file);
    File_Access_Seek(file, 0, SEEK_SET);
    if (size < 0) return -1;
    void* buffer = Memory_Allocate(MovieWin_CopyChunk, __FILE__, __LINE__);
    if (buffer == nullptr) return -1;
    HANDLE temp = static_cast<HANDLE>(File_CreateTempFile(movie->PlayerPath, sizeof(movie->PlayerPath), extension));
    if (temp == nullptr || temp == INVALID_HANDLE_VALUE) {
        Memory_Free(buffer);
        return -1;
    }
    movie->TempCopy = 1;
    for (int64_t left = size; left > 0;) {
        const uint32_t chunk = left < MovieWin_CopyChunk ? (uint32_t)left : MovieWin_CopyChunk;
        const uint32_t got = File_Access_Read(buffer, 1, chunk, file);
        DWORD written = 0;
        if (got == 0 || !WriteFile(temp, buffer, got, &written, nullptr) || written < got) break;
        left -= got;
    }
    CloseHandle(temp);
    Memory_Free(buffer);
    return 0;
}

void MovieWin_DeleteTempCopy(MovieRecord* movie) {
    if (!movie->TempCopy) return;
    DeleteFileW(movie->PlayerPath);
    movie->TempCopy = 0;
}

// The frame image over the renderer's frame buffer, in the colour format of its subtype.
void MovieWin_DS_SetFrameImage(MovieRecord* movie) {
    const D_CMovieRender* renderer = movie->MovieRender;
    BaseImage& image = movie->PlatformFrameImage;
    image.width = renderer->Width;
    image.height = renderer->Height;
    image.pitch = renderer->FramePitch;
    image.pixels = renderer->FrameBuffer;
    movie->PlatformFramePixelsNotOwned = 1;
    switch (renderer->Subtype) {
    case MovieRender_RGB24: BaseImage_ColorFormat_InitRGB24(&image.format); break;
    case MovieRender_RGB32:
        if (movie->OpenSettings.Alpha)
            BaseImage_ColorFormat_InitARGB8(&image.format);
        else
            BaseImage_ColorFormat_InitXRGB8(&image.format);
        break;
    case MovieRender_RGB565: BaseImage_ColorFormat_InitR5G6B5(&image.format); break;
    case MovieRender_RGB555: BaseImage_ColorFormat_InitX1R5G5B5(&image.format); break;
    case MovieRender_RGB8:
        BaseImage_ColorFormat_InitPal8(&image.format);
        for (int i = 0; i < 256; i++) image.format.palette[i] = (renderer->Palette[i] & 0xFFFFFF) | 0xFF000000u;
        break;
    default: BaseImage_ColorFormat_InitXRGB8(&image.format); break;
    }
    movie->FrameImage = &image;
}

// Logs "Movie File Open Error : " with the path.
void MovieWin_DS_LogOpenError(const wchar_t* path) {
    std::wstring line = L"Movie File Open Error : ";
    line += path;
    line += L"\n";
    Log_AddTextUTF16(line.c_str());
}

// Renders the file (or its temporary copy when it lives in an archive). S_OK or a failure.
HRESULT MovieWin_DS_Render(MovieRecord* movie) {
    const FileAccessHandle file = File_Access_Open(movie->PlayerPath, 0, 1, 0);
    if (file == 0) return E_FAIL;
    if (File_Access_IsArchived(file) == 1) {
        if (movie->TempCopy) {
            File_Access_Close(file);
            return E_FAIL;
        }
        wchar_t extension[64] = {};
        wcsncpy(extension, MovieWin_Extension(movie->PlayerPath), 63);
        const int copied = MovieWin_CopyToTempFile(movie, file, extension);
        File_Access_Close(file);
        if (copied < 0) return E_FAIL;
        const HRESULT hr = movie->GraphBuilder->RenderFile(movie->PlayerPath, nullptr);
        if (FAILED(hr)) MovieWin_DeleteTempCopy(movie);
        return hr;
    }
    File_Access_Close(file);
    return movie->GraphBuilder->RenderFile(movie->PlayerPath, nullptr);
}

// Reads the stop position, the frame count and the time per frame from the graph.
void MovieWin_DS_ReadTiming(MovieRecord* movie) {
    IMediaSeeking* seeking = movie->MediaSeeking;
    LONGLONG stop = 0, frames = 0;
    if (FAILED(seeking->GetStopPosition(&stop))) stop = 0;
    movie->Duration = stop;
    if (SUCCEEDED(seeking->SetTimeFormat(&TIME_FORMAT_FRAME))) {
        if (FAILED(seeking->GetStopPosition(&frames))) frames = 0;
        seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME);
    }
    movie->DsFrameCount = frames;
    LONGLONG duration = 0;
    // A graph that counts no frames names no time per frame: the default stands in.
    if (SUCCEEDED(seeking->GetDuration(&duration)) && duration != 0 && frames > 0)
        movie->DsTimePerFrame = stop / frames;
    else
        movie->DsTimePerFrame = MovieWin_DefaultTimePerFrame;
}

}  // namespace

// ---- Media Foundation -------------------------------------------------------------------------------

namespace {

int64_t MovieWin_AlignUp(int64_t value, int64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// The form the graph side takes frames in: planes when the graph filters can turn them into RGB.
bool MovieWin_WantsPlanes() { return GraphicsSystemState.ShadersUsable != 0; }

void MovieWin_MF_Release(MovieRecord* movie) {
    MovieWin_Release(movie->SourceReader);
    MovieWin_Release(movie->MfCurrentType);
    MovieWin_Release(movie->MfOutputType);
    if (movie->PlatformFrameImage.pixels == movie->RgbBuffer) movie->PlatformFrameImage.pixels = nullptr;
    Memory_Free(movie->RgbBuffer);
    Memory_Free(movie->YBuffer);
    Memory_Free(movie->UVBuffer);
    movie->RgbBuffer = movie->YBuffer = movie->UVBuffer = nullptr;
}

// Copies the locked IYUV sample into the Y buffer and the interleaved UV buffer. 0, or -1 when no plane
// layout fits the sample's length.
int MovieWin_MF_CopyPlanes(MovieRecord* movie, const uint8_t* data, DWORD length) {
    const int64_t width = movie->MfWidth, height = movie->MfHeight;
    static const int64_t Alignments[5][4] = {{16, 32, 8, 16}, {16, 16, 8, 8}, {8, 8, 4, 4}, {4, 4, 2, 2}, {2, 2, 1, 1}};
    for (const auto& a : Alignments) {
        const int64_t yPitch = MovieWin_AlignUp(width, a[0]), yRows = MovieWin_AlignUp(height, a[1]);
        const int64_t cPitch = MovieWin_AlignUp(width / 2, a[2]), cRows = MovieWin_AlignUp(height / 2, a[3]);
        if (yPitch * yRows + 2 * cPitch * cRows > (int64_t)length) continue;
        if (yPitch == movie->YPitch) {
            memcpy(movie->YBuffer, data, (size_t)(yPitch * height));
        } else {
            for (int64_t y = 0; y < height; y++)
                memcpy(movie->YBuffer + y * movie->YPitch, data + y * yPitch, (size_t)width);
        }
        const uint8_t* u = data + yPitch * yRows;
        const uint8_t* v = u + cPitch * cRows;
        for (int64_t y = 0; y < movie->UVHeight; y++) {
            uint8_t* out = movie->UVBuffer + y * movie->UVPitch;
            for (int64_t x = 0; x < movie->UVWidth; x++) {
                out[2 * x] = u[y * cPitch + x];
                out[2 * x + 1] = v[y * cPitch + x];
            }
        }
        return 0;
    }
    return -1;
}

}  // namespace

int MovieWin_MF_DecodeFrame(MovieRecord* movie, int wantRGB, int wantPlanes, int asynchronous) {
    if (movie->SourceReader == nullptr) return -1;
    if ((!wantRGB || movie->RgbDone) && (!wantPlanes || movie->PlanesDone)) return 0;
    const uint64_t numerator = movie->FrameRateNumerator, denominator = movie->FrameRateDenominator;
    while (movie->LastSampleFrame < movie->TargetFrame) {
        DWORD flags = 0;
        LONGLONG time = 0;
        IMFSample* sample = nullptr;
        const HRESULT hr = movie->SourceReader->ReadSample((DWORD)MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, nullptr,
                                                          &flags, &time, &sample);
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ENDOFSTREAM) || sample == nullptr) {
            MovieWin_Release(sample);
            return -1;
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
            sample->Release();
            continue;
        }
        const int64_t at = time + movie->MfTimePerFrame / 4;
        const uint64_t perSecond = denominator != 0 ? numerator * 4096 / denominator : 0;
        const int32_t frame = at > 0 ? (int32_t)Movie_MulDiv128((uint64_t)at, perSecond, 10000000ull * 4096) : 0;
        movie->LastSampleTime = time;
        movie->LastSampleFrame = frame;
        if (frame < movie->TargetFrame) {
            sample->Release();
            continue;
        }
        IMFMediaBuffer* buffer = nullptr;
        BYTE* data = nullptr;
        DWORD maxLength = 0, length = 0;
        int copied = -1;
        if (SUCCEEDED(sample->GetBufferByIndex(0, &buffer)) && SUCCEEDED(buffer->Lock(&data, &maxLength, &length))) {
            copied = MovieWin_MF_CopyPlanes(movie, data, length);
            buffer->Unlock();
        }
        MovieWin_Release(buffer);
        sample->Release();
        if (copied < 0) return -1;
    }
    if (wantPlanes && !movie->PlanesDone && GetShaderModelVersion() > 199) {
        if (movie->LumaGraph == -1 && Movie_MakePlaneGraph(movie->YWidth, movie->YHeight, &movie->LumaGraph,
                                                           asynchronous) < 0)
            return -1;
        if (movie->ChromaGraph == -1 && Movie_MakePlaneGraph(movie->UVWidth, movie->UVHeight, &movie->ChromaGraph,
                                                             asynchronous) < 0)
            return -1;
        Movie_TransferPlane(movie->LumaGraph, false, movie->YWidth, movie->YHeight, movie->YPitch, movie->YBuffer,
                            &movie->PlaneScratch, &movie->PlaneScratchPixels, asynchronous);
        Movie_TransferPlane(movie->ChromaGraph, true, movie->UVWidth, movie->UVHeight, movie->UVPitch,
                            movie->UVBuffer, &movie->PlaneScratch, &movie->PlaneScratchPixels, asynchronous);
        movie->PlanesDone = 1;
    }
    if (wantRGB && !movie->RgbDone) {
        TheoraFrameStockEntry planes = {};
        planes.YPlane = movie->YBuffer;
        planes.UVPlane = movie->UVBuffer;
        planes.YWidth = movie->YWidth;
        planes.YHeight = movie->YHeight;
        planes.YStride = movie->YPitch;
        planes.UVWidth = movie->UVWidth;
        planes.UVHeight = movie->UVHeight;
        planes.UVStride = movie->UVPitch;
        Theora_ConvertToRGB(&planes, &movie->PlatformFrameImage);
        movie->RgbDone = 1;
    }
    return 0;
}

namespace {

int MovieWin_MF_DecodeWanted(MovieRecord* movie, int asynchronous) {
    const bool planes = MovieWin_WantsPlanes();
    return MovieWin_MF_DecodeFrame(movie, planes ? 0 : 1, planes ? 1 : 0, asynchronous);
}

// Microseconds of play at which a frame starts.
uint64_t MovieWin_MF_ElapsedAt(const MovieRecord* movie, int frame) {
    return frame > 0 ? Movie_MulDiv128((uint64_t)frame * movie->FrameRateDenominator, 1000000,
                                       movie->FrameRateNumerator)
                     : 0;
}

int MovieWin_MF_Fail(MovieRecord* movie) {
    MovieWin_MF_Release(movie);
    MovieWin_DeleteTempCopy(movie);
    return -1;
}

}  // namespace

int MovieWin_MF_Seek(MovieRecord* movie, int frame) {
    if (movie->SourceReader == nullptr || frame < 0 || frame >= movie->MfFrameCount) return -1;
    PROPVARIANT position;
    PropVariantInit(&position);
    position.vt = VT_I8;
    position.hVal.QuadPart = (LONGLONG)Movie_MulDiv128((uint64_t)frame * movie->FrameRateDenominator, 10000000,
                                                       movie->FrameRateNumerator);
    if (FAILED(movie->SourceReader->SetCurrentPosition(GUID_NULL, position))) return -1;
    movie->TargetFrame = frame;
    movie->MfElapsed = MovieWin_MF_ElapsedAt(movie, frame);
    movie->LastSampleTime = -1;
    movie->LastSampleFrame = -1;
    movie->RgbDone = movie->PlanesDone = 0;
    if (movie->Sound > 0) {
        if (movie->Playing) StopSoundPlayback(movie->Sound, 0);
        SeekSoundToTime(movie->Sound, (int)(movie->MfElapsed / 1000));
        if (movie->Playing) StartSoundPlayback(movie->Sound, 1, 0);
    }
    return 0;
}

int MovieWin_MF_Advance(MovieRecord* movie, int steps) {
    if (steps <= 0) return 0;
    movie->TargetFrame += steps;
    if (movie->LastSampleFrame >= movie->TargetFrame) return 0;
    movie->RgbDone = movie->PlanesDone = 0;
    MovieWin_MF_DecodeWanted(movie, 0);
    return 0;
}

int MovieWin_MF_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int noSound,
                     int asynchronous) {
    movie->PlatformFrameImage.pixels = nullptr;
    movie->RgbBuffer = movie->YBuffer = movie->UVBuffer = nullptr;
    movie->LastSampleTime = -1;
    movie->LastSampleFrame = -1;
    WinAPI_EnsureLoaded();
    if (WinAPITable.MFStartup == nullptr || WinAPITable.MFCreateSourceReaderFromURL == nullptr ||
        WinAPITable.MFCreateMediaType == nullptr)
        return -1;
    if (MovieWin_StartupMediaFoundation() < 0) {
        Log_AddTextUTF16(L"MFStartup Error\n");
        return -1;
    }
    MovieWin_SetPlayerPath(movie, path);
    HRESULT hr = WinAPITable.MFCreateSourceReaderFromURL(movie->PlayerPath, nullptr, &movie->SourceReader);
    if (FAILED(hr) && !movie->TempCopy) {
        // Files Media Foundation cannot open by their path (those inside archives) are read from a copy.
        movie->SourceReader = nullptr;
        const FileAccessHandle file = File_Access_Open(movie->PlayerPath, 0, 1, 0);
        if (file == 0) return -1;
        const int copied = MovieWin_CopyToTempFile(movie, file, nullptr);
        File_Access_Close(file);
        if (copied < 0) return MovieWin_MF_Fail(movie);
        hr = WinAPITable.MFCreateSourceReaderFromURL(movie->PlayerPath, nullptr, &movie->SourceReader);
    }
    if (FAILED(hr) || movie->SourceReader == nullptr) {
        movie->SourceReader = nullptr;
        return MovieWin_MF_Fail(movie);
    }
    const DWORD video = (DWORD)MF_SOURCE_READER_FIRST_VIDEO_STREAM;
    if (FAILED(movie->SourceReader->GetCurrentMediaType(video, &movie->MfCurrentType)) ||
        FAILED(MFGetAttributeSize(movie->MfCurrentType, MF_MT_FRAME_SIZE, &movie->MfWidth, &movie->MfHeight)))
        return MovieWin_MF_Fail(movie);
    // Sizes from the platform are checked before anything is made for them.
    if (movie->MfWidth == 0 || movie->MfHeight == 0 || movie->MfWidth > 16384 || movie->MfHeight > 16384)
        return MovieWin_MF_Fail(movie);
    if (noSound) {
        if (width != nullptr) *width = (int)movie->MfWidth;
        if (height != nullptr) *height = (int)movie->MfHeight;
        return 0;
    }
    if (FAILED(MFGetAttributeRatio(movie->MfCurrentType, MF_MT_FRAME_RATE, &movie->FrameRateNumerator,
                                   &movie->FrameRateDenominator)))
        return MovieWin_MF_Fail(movie);
    if (FAILED(MFGetAttributeRatio(movie->MfCurrentType, MF_MT_PIXEL_ASPECT_RATIO, &movie->AspectNumerator,
                                   &movie->AspectDenominator))) {
        movie->AspectNumerator = movie->AspectDenominator = 1;
    }
    PROPVARIANT duration;
    PropVariantInit(&duration);
    if (FAILED(movie->SourceReader->GetPresentationAttribute((DWORD)MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION,
                                                             &duration)))
        return MovieWin_MF_Fail(movie);
    movie->MfDuration = duration.vt == VT_UI8 ? (int64_t)duration.uhVal.QuadPart : 0;
    PropVariantClear(&duration);
    movie->Duration = movie->MfDuration;
    movie->MfFrameCount = (int32_t)Movie_MulDiv128(
        (uint64_t)(movie->MfDuration > 0 ? movie->MfDuration : 0), movie->FrameRateNumerator,
        (uint64_t)movie->FrameRateDenominator * 10000000ull);

    IMFMediaType* output = nullptr;
    if (FAILED(WinAPITable.MFCreateMediaType(&output))) return MovieWin_MF_Fail(movie);
    movie->MfOutputType = output;
    output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    output->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_IYUV);
    output->SetUINT32(MF_MT_DEFAULT_STRIDE, movie->MfWidth);
    MFSetAttributeRatio(output, MF_MT_FRAME_RATE, movie->FrameRateNumerator, movie->FrameRateDenominator);
    MFSetAttributeSize(output, MF_MT_FRAME_SIZE, movie->MfWidth, movie->MfHeight);
    output->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, 1);
    MFSetAttributeRatio(output, MF_MT_PIXEL_ASPECT_RATIO, movie->AspectNumerator, movie->AspectDenominator);
    if (FAILED(movie->SourceReader->SetCurrentMediaType(video, nullptr, output))) {
        // Some readers (Wine's) refuse the fully described type but convert to IYUV when asked for the
        // subtype alone.
        IMFMediaType* plain = nullptr;
        if (FAILED(WinAPITable.MFCreateMediaType(&plain))) return MovieWin_MF_Fail(movie);
        plain->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        plain->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_IYUV);
        hr = movie->SourceReader->SetCurrentMediaType(video, nullptr, plain);
        plain->Release();
        if (FAILED(hr)) return MovieWin_MF_Fail(movie);
    }
    movie->MfTimePerFrame = movie->FrameRateNumerator != 0
                                ? (int64_t)((uint64_t)movie->FrameRateDenominator * 10000000ull /
                                            movie->FrameRateNumerator)
                                : MovieWin_DefaultTimePerFrame;

    const int64_t width64 = movie->MfWidth, height64 = movie->MfHeight;
    BaseImage& image = movie->PlatformFrameImage;
    const int64_t rgbPitch = (width64 * 4 + 15) / 16 * 16, planePitch = MovieWin_AlignUp(width64, 16);
    movie->RgbBuffer = static_cast<uint8_t*>(Memory_AllocateZeroed((uint32_t)(rgbPitch * height64), __FILE__, __LINE__));
    movie->YBuffer = static_cast<uint8_t*>(Memory_Allocate((uint32_t)(planePitch * height64), __FILE__, __LINE__));
    movie->UVBuffer = static_cast<uint8_t*>(
        Memory_AllocateZeroed((uint32_t)(planePitch * (height64 / 2 > 0 ? height64 / 2 : 1)), __FILE__, __LINE__));
    if (movie->RgbBuffer == nullptr || movie->YBuffer == nullptr || movie->UVBuffer == nullptr)
        return MovieWin_MF_Fail(movie);
    BaseImage_ColorFormat_InitXRGB8(&image.format);
    image.width = (int32_t)width64;
    image.height = (int32_t)height64;
    image.pitch = (int32_t)rgbPitch;
    image.pixels = movie->RgbBuffer;
    movie->PlatformFramePixelsNotOwned = 1;
    movie->FrameImage = &image;
    movie->YWidth = (int32_t)width64;
    movie->YHeight = (int32_t)height64;
    movie->YPitch = (int32_t)planePitch;
    movie->UVWidth = (int32_t)(width64 / 2);
    movie->UVHeight = (int32_t)(height64 / 2);
    movie->UVPitch = (int32_t)planePitch;
    if (width != nullptr) *width = image.width;
    if (height != nullptr) *height = image.height;

    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    param.KeepFlag = 1;
    param.VorbisVariant = 1;
    param.ConvertDisableFlags = -65;
    param.DataType = 3;
    movie->Sound = LoadSoundFromFileWithParam(&param, movie->PlayerPath, 1, -1, 0, asynchronous);
    movie->SoundLength = movie->Sound != -1 ? (int32_t)GetSoundLengthMs(movie->Sound) : 0;
    movie->PlayRate = 1.0;
    movie->TargetFrame = 0;
    movie->RgbDone = movie->PlanesDone = 0;
    MovieWin_MF_DecodeWanted(movie, asynchronous);
    return 0;
}

namespace {

// The Media Foundation part of the update: the clock, the frame it names, the end.
void MovieWin_MF_Update(MovieRecord* movie) {
    if (movie->Paused) {
        MovieWin_MF_DecodeWanted(movie, 0);
        return;
    }
    const uint64_t now = GetMicrosecondCount();
    uint64_t delta = now - movie->MfLastClock;
    if (movie->PlayRate < 0.999999999 || movie->PlayRate > 1.0000000001) {
        const double scaled = movie->PlayRate > 0.0 ? movie->PlayRate * 65536.0 : 0.0;
        delta = Movie_MulDiv128(delta, scaled < 1099511627776.0 ? (uint64_t)scaled : 1099511627776ull, 65536);
    }
    movie->MfElapsed += delta;
    movie->MfLastClock = now;
    const uint64_t denominator = movie->FrameRateDenominator;
    const uint64_t perSecond = denominator != 0 ? (uint64_t)movie->FrameRateNumerator * 65536 / denominator : 0;
    int64_t frame = (int64_t)Movie_MulDiv128(movie->MfElapsed, perSecond, 65536000000ull);
    const int64_t count = movie->MfFrameCount;
    const bool loop = (movie->PlayType & 2) != 0;
    if (count > 0 && frame >= count) frame = loop ? frame % count : count - 1;
    if (frame != movie->TargetFrame) {
        if (frame < movie->TargetFrame) {
            if (MovieWin_MF_Seek(movie, (int)frame) == 0) MovieWin_MF_DecodeWanted(movie, 0);
        } else {
            int64_t step = frame - movie->TargetFrame;
            const int64_t tenth = movie->MfTimePerFrame / 10;
            if (step == 2 && !(tenth != 0 && ((int64_t)movie->LastFrameChangeClock + movie->MfTimePerFrame / 100 -
                                              (int64_t)now) / tenth >= 2))
                step = 1;
            MovieWin_MF_Advance(movie, (int)step);
        }
        movie->LastFrameChangeClock = now;
    } else if (frame >= count - 1 && !loop) {
        if (movie->Sound <= 0 || IsSoundPlaying(movie->Sound) != 1) {
            movie->Playing = 0;
            movie->Paused = 1;
        }
    }
}

}  // namespace

int MovieWin_DS_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption,
                     int asynchronous) {
    movie->PlatformFrameImage.pixels = nullptr;
    const int offMainThread = asynchronous && !ASyncLoad_IsMainThread() ? 1 : 0;
    HRESULT hr = WinAPI_CoCreateInstanceOnMainThread(CLSID_FilterGraph, nullptr,
                                                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                                                     reinterpret_cast<void**>(&movie->GraphBuilder), offMainThread);
    if (FAILED(hr) || movie->GraphBuilder == nullptr) {
        movie->GraphBuilder = nullptr;
        Log_AddTextUTF16(L"CoCreateInstance Error : CLSID_FilterGraph\n");
        return -1;
    }
    const wchar_t* failure = nullptr;
    if (movie->MovieRender == nullptr) movie->MovieRender = StrmBase_MovieRender_Create(nullptr, &hr);
    if (movie->MovieRender == nullptr ||
        FAILED(movie->GraphBuilder->AddFilter(StrmBase_AsIBaseFilter(movie->MovieRender), L"MovieRenderer")))
        failure = L"Could not add renderer filter to graph!\n";
    else if (FAILED(movie->GraphBuilder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&movie->BasicAudio))))
        failure = L"QueryInterface Error : IID_IBasicAudio\n";
    else if (FAILED(movie->GraphBuilder->QueryInterface(IID_IMediaControl,
                                                        reinterpret_cast<void**>(&movie->MediaControl))))
        failure = L"QueryInterface Error : IID_IMediaControl\n";
    else if (FAILED(movie->GraphBuilder->QueryInterface(IID_IMediaSeeking,
                                                        reinterpret_cast<void**>(&movie->MediaSeeking))))
        failure = L"QueryInterface Error : IID_IMediaSeeking\n";
    if (failure != nullptr) {
        Log_AddTextUTF16(failure);
        MovieWin_DS_ReleaseInterfaces(movie);
        return -1;
    }
    MovieWin_SetPlayerPath(movie, path);
    // A graph whose picture did not reach our renderer (no video, or only types it refuses) has no frame.
    if (FAILED(MovieWin_DS_Render(movie)) || movie->MovieRender->FrameBuffer == nullptr) {
        MovieWin_DS_LogOpenError(movie->PlayerPath);
        if (movie->MediaControl != nullptr) movie->MediaControl->Stop();
        MovieWin_DS_ReleaseInterfaces(movie);
        MovieWin_DeleteTempCopy(movie);
        return -1;
    }
    MovieWin_DS_ReadTiming(movie);
    MovieWin_DS_SetFrameImage(movie);
    if (width != nullptr) *width = movie->PlatformFrameImage.width;
    if (height != nullptr) *height = movie->PlatformFrameImage.height;
    return 0;
}

int MovieWin_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption, int noSound,
                  int asynchronous) {
    if (movie == nullptr || path == nullptr) return -1;
    movie->TempCopy = 0;
    if (MovieWin_MF_Open(movie, path, width, height, noSound, asynchronous) == 0) return 0;
    movie->TempCopy = 0;
    return MovieWin_DS_Open(movie, path, width, height, platformOption, asynchronous);
}

int MovieWin_Pause(MovieRecord* movie) {
    if (movie->SourceReader != nullptr) {
        if (movie->Sound > 0) StopSoundPlayback(movie->Sound, 0);
        Movie_Update(movie->Header.Handle, 0);
        return 0;
    }
    if (movie->MediaControl == nullptr) return -1;
    movie->MediaControl->Pause();
    return 0;
}

int MovieWin_Play(MovieRecord* movie, int playType) {
    if (movie->SourceReader != nullptr) {
        MovieWin_MF_DecodeWanted(movie, 0);
        if (movie->Sound > 0) StartSoundPlayback(movie->Sound, 1, 0);
        movie->MfLastClock = GetMicrosecondCount();
        movie->MfElapsed = MovieWin_MF_ElapsedAt(movie, movie->TargetFrame);
        return 0;
    }
    if (movie->MediaControl != nullptr) movie->MediaControl->Run();
    return 0;
}

namespace {

// Hands the renderer's newest frame to the frame callback: the frame image, or the Y and UV graphs.
void MovieWin_DS_DeliverFrame(MovieRecord* movie) {
    D_CMovieRender* renderer = movie->MovieRender;
    // The streaming thread writes the buffers under the renderer lock: the frame is read under it too.
    StrmBase_AutoLock lock(&renderer->RendererLock);
    if (renderer->FrameBuffer != nullptr && renderer->PlaneBlock == nullptr) {
        MovieWin_DS_SetFrameImage(movie);
    } else if (renderer->PlaneBlock != nullptr) {
        if (movie->LumaGraph == -1 &&
            Movie_MakePlaneGraph(renderer->YWidth, renderer->YHeight, &movie->LumaGraph, 0) < 0)
            return;
        if (movie->ChromaGraph == -1 &&
            Movie_MakePlaneGraph(renderer->UVWidth, renderer->UVHeight, &movie->ChromaGraph, 0) < 0)
            return;
        Movie_TransferPlane(movie->LumaGraph, false, renderer->YWidth, renderer->YHeight, renderer->YPitch,
                            renderer->PlaneBlock, &movie->PlaneScratch, &movie->PlaneScratchPixels, 0);
        Movie_TransferPlane(movie->ChromaGraph, true, renderer->UVWidth, renderer->UVHeight, renderer->UVPitch,
                            renderer->UVPlane, &movie->PlaneScratch, &movie->PlaneScratchPixels, 0);
    } else {
        return;
    }
    movie->FrameCallback(movie, movie->FrameCallbackValue);
}

}  // namespace

int MovieWin_Update(MovieRecord* movie, int platformFlag) {
    if (movie->SourceReader != nullptr) {
        MovieWin_MF_Update(movie);
        if (movie->FrameCallback != nullptr) movie->FrameCallback(movie, movie->FrameCallbackValue);
    }
    if (movie->GraphBuilder == nullptr) return 0;
    D_CMovieRender* renderer = movie->MovieRender;
    if (renderer != nullptr && renderer->NewFrame) {
        renderer->NewFrame = 0;
        if (movie->FrameCallback != nullptr) MovieWin_DS_DeliverFrame(movie);
    }
    if (movie->MediaSeeking != nullptr && movie->MediaControl != nullptr) {
        LONGLONG position = 0;
        // The graph's position runs ahead of the stream time its renderer shows frames by: the end is
        // reached once the renderer has also shown its last sample.
        const bool shownAll = renderer == nullptr || renderer->IsEndOfStreamDelivered();
        if (shownAll && SUCCEEDED(movie->MediaSeeking->GetCurrentPosition(&position)) &&
            position >= movie->Duration) {
            if (movie->PlayType & 2) {
                LONGLONG start = 0;
                movie->MediaSeeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                                                  AM_SEEKING_NoPositioning);
                movie->MediaControl->Run();
            } else {
                movie->MediaControl->Pause();
                movie->Playing = 0;
                movie->Paused = 1;
            }
        }
    }
    return 0;
}

int MovieWin_Terminate(MovieRecord* movie) {
    // The graph stops before it goes, so that no streaming thread still reaches the renderer; the
    // temporary copy goes once the graph has let go of it.
    if (movie->MediaControl != nullptr) movie->MediaControl->Stop();
    MovieWin_DS_ReleaseInterfaces(movie);
    if (movie->SourceReader != nullptr && movie->Sound > 0) {
        Handle_Delete(movie->Sound, 0, 0);
        movie->Sound = -1;
    }
    MovieWin_MF_Release(movie);
    MovieWin_DeleteTempCopy(movie);
    if (movie->MovieRender != nullptr) delete movie->MovieRender;
    movie->MovieRender = nullptr;
    if (movie->PlatformFramePixelsNotOwned) {
        movie->PlatformFrameImage.pixels = nullptr;
        movie->PlatformFramePixelsNotOwned = 0;
    }
    Memory_Free(movie->PlaneScratch);
    movie->PlaneScratch = nullptr;
    movie->PlaneScratchPixels = 0;
    return 0;
}

int MovieWin_Shutdown() { return MovieWin_ShutdownMediaFoundation(); }

}  // namespace Vantrel
