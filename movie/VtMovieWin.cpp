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

#include "foundation/VtASyncLoad.h"
#include "foundation/VtFile.h"
#include "foundation/VtFileWin.h"
#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPIText.h"
#include "movie/VtMovie.h"
#include "movie/VtMovieMediaFoundation.h"

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
    return MovieWin_DS_Open(movie, path, width, height, platformOption, asynchronous);
}

int MovieWin_Pause(MovieRecord* movie) {
    if (movie->MediaControl == nullptr) return -1;
    movie->MediaControl->Pause();
    return 0;
}

int MovieWin_Play(MovieRecord* movie, int playType) {
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
