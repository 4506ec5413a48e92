// Movie handles and the movie front end: the handle type, the open sequence (the Theora decoder over
// the file or a copy of the memory image, its audio track as a sound handle; the platform players
// for files the decoder refuses), the Theora playback clock and frame pick, pausing and resuming all
// movies with the main window, and the records' life cycle.
// Stands on the handle manager, files and memory streams, the Theora decoder, the platform players,
// sound handles, the clocks and the log.
#include "movie/VtMovie.h"

#include <string.h>

#include <initializer_list>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtBaseFunc.h"
#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtStream.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsImage.h"
#include "movie/VtMovieWin.h"
#include "sound/VtSoundHandle.h"
#include "system/VtSystem.h"
#include "system/VtTime.h"

namespace Vantrel {

uint64_t Movie_MulDiv128(uint64_t value, uint64_t factor, uint64_t divisor) {
    if (divisor == 0) return 0;
    const uint32_t a[2] = {(uint32_t)value, (uint32_t)(value >> 32)};
    const uint32_t b[2] = {(uint32_t)factor, (uint32_t)(factor >> 32)};
    const uint32_t d[2] = {(uint32_t)divisor, (uint32_t)(divisor >> 32)};
    uint32_t product[4], quotient[2];
    BaseFunc_Mul64To128(a, b, product);
    BaseFunc_Div128By64(product, d, quotient);
    return (uint64_t)quotient[1] << 32 | quotient[0];
}

namespace {

struct MovieModuleState {
    int32_t Initialized;
    MovieOpenSettings Settings;     // the current open settings (no setter: all 0)
};
MovieModuleState MovieState;

// The record size registered for type 6.
constexpr int MovieRecordSize = sizeof(MovieRecord) > (size_t)MovieRecordBytes ? (int)sizeof(MovieRecord) : MovieRecordBytes;

// The clock's fixed-point scale: rates and frame rates are taken as truncate(value x 65536).
constexpr uint64_t ClockScale = 65536;
constexpr uint64_t MicrosecondsScaled = 1000000ull * ClockScale;


// truncate(value x 65536), held to 0 .. 2^40 so that the products stay within 128 bits.
uint64_t Scaled(double value) {
    if (!(value > 0.0)) return 0;
    const double scaled = value * (double)ClockScale;
    return scaled >= 1099511627776.0 ? 1099511627776ull : (uint64_t)BaseFunc_DoubleToInt64(scaled);
}

// The first microsecond of play at which the clock names `frame`.
uint64_t ElapsedAtFrame(int frame, double framesPerSecond) {
    const uint64_t rate = Scaled(framesPerSecond);
    if (frame <= 0 || rate == 0) return 0;
    const uint64_t before = Movie_MulDiv128((uint64_t)frame, MicrosecondsScaled, rate);
    return Movie_MulDiv128(before, rate, MicrosecondsScaled) >= (uint64_t)frame ? before : before + 1;
}

void CloseSource(MovieRecord* movie) {
    if (movie->DataStream != nullptr) {
        if (movie->DataStreamKind == MovieStream_File)
            File_Access_Close(reinterpret_cast<FileAccessHandle>(movie->DataStream));
        else
            File_MemStream_Close(movie->DataStream);
    }
    movie->DataStream = nullptr;
    Memory_Free(movie->MemoryCopy);
    movie->MemoryCopy = nullptr;
}

// The audio track: a sound handle loaded from the same data with only the Ogg Vorbis converter.
void LoadTrackSound(MovieRecord* movie, const wchar_t* path, int memSize, int asynchronous) {
    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    param.KeepFlag = 1;
    param.VorbisVariant = 1;
    param.ConvertDisableFlags = -3;
    if (path != nullptr) {
        param.DataType = 3;
        movie->Sound = LoadSoundFromFileWithParam(&param, path, 1, -1, 0, asynchronous);
    } else {
        param.DataType = 2;
        movie->Sound = LoadSoundFromMemImageWithParam(&param, 1, -1, movie->MemoryCopy, memSize, 1, -1, 0, asynchronous);
    }
    movie->SoundLength = (int32_t)GetSoundLengthMs(movie->Sound);
    movie->MovieShorterThanSound = movie->TotalTime < movie->SoundLength ? 1 : 0;
}

// The Theora road of the open: the decoder over the record's source. 0, or -1 with the source closed.
int OpenTheora(MovieRecord* movie, const wchar_t* path, const void* memImage, int memSize, int* width, int* height,
               int noSound, int asynchronous) {
    const StreamOps* ops = nullptr;
    if (path != nullptr) {
        const FileAccessHandle file = File_Access_Open(path, 0, 1, 0);
        if (file != 0) {
            movie->DataStream = reinterpret_cast<void*>(file);
            movie->DataStreamKind = MovieStream_File;
            ops = File_GetFileStreamOps();
        }
    } else if (memImage != nullptr && memSize > 0) {
        // The movie reads its data for as long as it lives: it keeps a copy of its own.
        movie->MemoryCopy = Memory_Allocate((uint32_t)memSize, __FILE__, __LINE__);
        if (movie->MemoryCopy != nullptr) {
            memcpy(movie->MemoryCopy, memImage, (size_t)memSize);
            movie->DataStream = File_MemStream_Open(movie->MemoryCopy, (uint32_t)memSize);
            movie->DataStreamKind = MovieStream_Memory;
            ops = File_GetMemStreamOps();
        }
    }
    if (ops != nullptr && movie->DataStream != nullptr)
        movie->Decoder = Theora_Decoder_Create(ops, movie->DataStream, MovieTheoraStockSize,
                                               movie->OpenSettings.NoPlanes, asynchronous);
    if (movie->Decoder == nullptr) {
        CloseSource(movie);
        return -1;
    }
    TheoraInfo info;
    Theora_GetInfo(movie->Decoder, &info);
    movie->FrameWidth = info.Width;
    movie->FrameHeight = info.Height;
    if (width != nullptr) *width = info.Width;
    if (height != nullptr) *height = info.Height;
    movie->FramesPerSecond = info.FramesPerSecond;
    const double totalTime = 1000.0 / info.FramesPerSecond * info.FrameCount;
    movie->TotalTime = totalTime < 2147483647.0 ? (int32_t)BaseFunc_DoubleToInt64(totalTime) : 0x7FFFFFFF;
    movie->Sound = -1;
    if (!noSound) LoadTrackSound(movie, path, memSize, asynchronous);
    movie->PlayRate = 1.0;
    movie->Theora = 1;
    movie->FrameImage = Theora_GetRGBImage(movie->Decoder);
    return 0;
}

}  // namespace

// Makes one plane graph and has its handle variable follow its deletion. The graph filter that turns
// the planes into RGB reads Y from the blue channel of the Y graph and U, V from the blue and green
// channels of the UV graph, so the planes travel as 32-bit pictures with their samples there.
int Movie_MakePlaneGraph(int width, int height, int32_t* handle, int asynchronous) {
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    Graphics_Image_InitGraphFormatParam(&param, 32, 0, 0);
    const int graph = Graphics_Image_MakeEmptyGraph_GParam(&param, width, height, 0, 0, 0, 0, asynchronous);
    if (graph < 0) return -1;
    *handle = graph;
    Handle_SetDeleteNotify(graph, handle);
    return 0;
}

// Widens one plane (one sample per pixel, or U and V pairs) into the caller's scratch image and
// transfers it into its graph: Y as grey, U in blue and V in green.
void Movie_TransferPlane(int graph, bool pairs, int width, int height, int pitch, const uint8_t* samples,
                         uint32_t** scratch, int32_t* scratchPixels, int asynchronous) {
    const int64_t pixels = (int64_t)width * height;
    if (pixels > *scratchPixels) {
        void* grown = pixels * 4 <= 0x7FFFFFFF
                          ? Memory_Reallocate(*scratch, (uint32_t)(pixels * 4), __FILE__, __LINE__)
                          : nullptr;
        if (grown == nullptr) return;
        *scratch = static_cast<uint32_t*>(grown);
        *scratchPixels = (int32_t)pixels;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = samples + (size_t)y * pitch;
        uint32_t* out = *scratch + (size_t)y * width;
        if (pairs) {
            for (int x = 0; x < width; ++x) out[x] = 0xFF000000u | (uint32_t)row[2 * x + 1] << 8 | row[2 * x];
        } else {
            for (int x = 0; x < width; ++x) out[x] = 0xFF000000u | row[x] * 0x010101u;
        }
    }
    BaseImage image = {};
    BaseImage_ColorFormat_InitXRGB8(&image.format);
    image.width = width;
    image.height = height;
    image.pitch = width * 4;
    image.pixels = *scratch;
    const BaseImageRect rect = {0, 0, width, height};
    Graphics_Image_BltImageToGraph(&rect, 0, 0, graph, &image, nullptr, 0, 0, 0, asynchronous);
}

int Movie_Initialize() {
    if (MovieState.Initialized) return -1;
    if (Handle_Type_Setup(HandleType_Movie, MovieRecordSize, MovieMaxHandles, Movie_HandleRecord_Initialize,
                          Movie_HandleRecord_Terminate, nullptr, L"Movie") != 0)
        return -1;
    MovieState.Initialized = 1;
    return 0;
}

int Movie_Terminate() {
    if (!MovieState.Initialized) return -1;
    Handle_Type_Shutdown(HandleType_Movie);
    MovieState.Initialized = 0;
    return MovieWin_Shutdown() < 0 ? -1 : 0;
}

void Movie_InitOpenSettings(MovieOpenSettings* out) { *out = MovieState.Settings; }

MovieRecord* Movie_Handle_GetRecord(int movie) {
    const HandleManager& manager = HandleManagerTable[HandleType_Movie];
    if (!MovieState.Initialized || !manager.Initialized || movie < 0 ||
        (movie & HandleValue_TypeMask) != manager.TypeMask || Handle_SlotOf(movie) >= manager.MaxCount)
        return nullptr;
    HandleHeader* record = manager.Slots[Handle_SlotOf(movie)];
    if (record == nullptr || record->CheckValue != Handle_CheckOf(movie) || record->DeleteRequested) return nullptr;
    // A movie still being opened by a loading job: that job is finished here, or waited for.
    if (record->ASyncLoadCount != 0) {
        const bool ranHere = record->ASyncLoadCount == 1 && record->JobIndex >= 0 && ASyncLoad_IsMainThread() &&
                             ASyncLoad_Entry_RunNow(record->JobIndex) >= 0;
        record = Handle_GetRecord(movie);
        if (record != nullptr && (!ranHere || record->ASyncLoadCount != 0)) {
            if (Handle_ASyncLoad_Wait(movie) < 0) return nullptr;
            record = Handle_GetRecord(movie);
        }
        if (record == nullptr || record->ASyncLoadCount != 0 || record->DeleteRequested) return nullptr;
    }
    return reinterpret_cast<MovieRecord*>(record);
}

int Movie_Handle_Delete(int movie) { return Handle_Delete(movie, IsAsyncLoadEnabled(), 0); }

void Movie_HandleRecord_Initialize(HandleHeader* record) {
    MovieRecord* movie = reinterpret_cast<MovieRecord*>(record);
    movie->LumaGraph = movie->ChromaGraph = -1;
    movie->Sound = -1;
}

int Movie_HandleRecord_Terminate(HandleHeader* record) {
    MovieRecord* movie = reinterpret_cast<MovieRecord*>(record);
    for (int32_t* graph : {&movie->LumaGraph, &movie->ChromaGraph}) {
        if (*graph == -1) continue;
        const int handle = *graph;
        Handle_SetDeleteNotify(handle, nullptr);
        *graph = -1;
        DeleteGraph(handle);
    }
    MovieWin_Terminate(movie);
    // The decoder's thread reads the source: it goes first.
    Theora_Decoder_Destroy(movie->Decoder);
    movie->Decoder = nullptr;
    CloseSource(movie);
    if (movie->Sound != -1) Handle_Delete(movie->Sound, 0, 0);
    movie->Sound = -1;
    movie->FrameImage = nullptr;
    if (!movie->PlatformFramePixelsNotOwned) Memory_Free(movie->PlatformFrameImage.pixels);
    movie->PlatformFrameImage.pixels = nullptr;
    return 0;
}

int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int asynchronous) {
    if (!MovieState.Initialized) return -1;
    const HandleValue handle = Handle_New(HandleType_Movie, asynchronous, -1);
    if (handle < 0) return -1;
    MovieRecord* movie = reinterpret_cast<MovieRecord*>(Handle_GetRecord(handle));
    if (movie == nullptr) return -1;
    movie->OwnerGraph = ownerGraph;
    movie->OpenSettings = settings != nullptr ? *settings : MovieState.Settings;

    if (OpenTheora(movie, path, memImage, memSize, width, height, noSound, asynchronous) < 0) {
        const bool opened = path != nullptr &&
                            MovieWin_Open(movie, path, width, height, platformOption, noSound, asynchronous) == 0;
        if (!opened) {
            Log_AddTextUTF16(path == nullptr ? L"ムービーファイルオープン処理時に失敗しました\n"
                                             : L"ムービーファイルオープン処理時にエラーが発生しました\n");
            if (asynchronous) Handle_ASyncLoad_End(handle);
            Handle_Delete(handle, asynchronous, 0);
            return -1;
        }
        movie->FrameWidth = movie->PlatformFrameImage.width;
        movie->FrameHeight = movie->PlatformFrameImage.height;
        movie->FrameImage = &movie->PlatformFrameImage;
    }
    movie->Paused = 1;
    movie->Playing = 0;
    movie->PlayType = 1;
    if (asynchronous) Handle_ASyncLoad_End(handle);
    return handle;
}

int Movie_SetFrameCallback(int movie, MovieFrameCallback callback, int userValue) {
    MovieRecord* record = Movie_Handle_GetRecord(movie);
    if (record == nullptr) return -1;
    record->FrameCallback = callback;
    record->FrameCallbackValue = userValue;
    return 0;
}

int Movie_Update(int movie, int platformFlag) {
    MovieRecord* record = Movie_Handle_GetRecord(movie);
    if (record == nullptr) return -1;
    if (!record->Theora) {
        MovieWin_Update(record, platformFlag);
        return 0;
    }
    TheoraDecoder* decoder = record->Decoder;
    if (!record->Paused && decoder != nullptr) {
        TheoraInfo info;
        Theora_GetInfo(decoder, &info);
        const uint64_t now = GetMicrosecondCount();
        uint64_t delta = now - record->LastClock;
        if (record->PlayRate < 0.999999999 || record->PlayRate > 1.0000000001)
            delta = Movie_MulDiv128(delta, Scaled(record->PlayRate), ClockScale);
        record->ElapsedTime += delta;
        record->LastClock = now;

        const uint64_t count = (uint64_t)info.FrameCount;
        const bool loop = (record->PlayType & 2) != 0;
        uint64_t frame = Movie_MulDiv128(record->ElapsedTime, Scaled(record->FramesPerSecond), MicrosecondsScaled);
        if (frame >= count) frame = loop ? frame % count : count - 1;
        const int64_t current = Theora_GetCurrentFrame(decoder);
        if ((int64_t)frame != current) {
            int64_t step = (int64_t)frame - current;
            if ((int64_t)frame < current) {
                // Wrapped to the start: the sound starts again with the picture.
                step += (int64_t)count;
                if (!record->MovieShorterThanSound && record->Sound != -1) StartSoundPlayback(record->Sound, 1, 1);
            }
            Theora_AdvanceFrames(decoder, (int)step);
            record->LastFrameChangeClock = now;
        } else if (frame == count - 1 && !loop) {
            if (record->Sound == -1 || IsSoundPlaying(record->Sound) != 1) {
                record->Playing = 0;
                record->Paused = 1;
            }
        }
    }
    if (record->FrameCallback != nullptr) record->FrameCallback(record, record->FrameCallbackValue);
    return 0;
}

namespace {

// Runs `visit` (handle, record) for every used movie slot whose handle checks (pending opens finished).
template <typename Visit>
void ForEachMovie(Visit visit) {
    const HandleManager& manager = HandleManagerTable[HandleType_Movie];
    for (int slot = 0; manager.Initialized && slot < manager.MaxCount; ++slot) {
        const HandleHeader* header = manager.Slots[slot];
        if (header == nullptr) continue;
        const HandleValue handle = header->Handle;
        MovieRecord* movie = Movie_Handle_GetRecord(handle);
        if (movie != nullptr) visit(handle, movie);
    }
}

}  // namespace

int Movie_PauseAll() {
    if (!MovieState.Initialized) return -1;
    ForEachMovie([](HandleValue handle, MovieRecord* movie) {
        if (movie->Paused) return;
        if (movie->Theora) {
            if (movie->Sound != -1) StopSoundPlayback(movie->Sound, 0);
            // The clock and the frame are brought up to now before they stand.
            Movie_Update(handle, 0);
            movie = Movie_Handle_GetRecord(handle);
            if (movie != nullptr) movie->Paused = 1;
        } else if (MovieWin_Pause(movie) == 0) {
            movie->Paused = 1;
        }
    });
    return 0;
}

int Movie_ResumeAll() {
    if (!MovieState.Initialized) return -1;
    ForEachMovie([](HandleValue, MovieRecord* movie) {
        if (!movie->Paused || !movie->Playing) return;
        movie->Paused = 0;
        if (movie->PlayType == 0) movie->PlayType = 1;
        movie->Playing = 1;
        if (movie->Theora) {
            movie->LastClock = GetMicrosecondCount();
            movie->ElapsedTime = movie->Decoder != nullptr
                                     ? ElapsedAtFrame(Theora_GetCurrentFrame(movie->Decoder), movie->FramesPerSecond)
                                     : 0;
            if (movie->Sound != -1)
                StartSoundPlayback(movie->Sound, movie->MovieShorterThanSound ? movie->PlayType : 1, 0);
        } else {
            MovieWin_Play(movie, movie->PlayType);
        }
    });
    return 0;
}

int Movie_ReleaseSurface(int movie) {
    MovieRecord* record = Movie_Handle_GetRecord(movie);
    if (record == nullptr) return -1;
    if (record->Theora && record->Decoder != nullptr) Theora_MarkSurfaceLost(record->Decoder);
    return 0;
}

}  // namespace Vantrel
