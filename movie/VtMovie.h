// VtMovie: movie handles (type 6, "Movie") and the movie front end. A movie is opened for a graph
// handle: through the library's own Theora decoder first, else (for files) through the platform
// players. Its update runs the Theora playback clock, steps the decoder to the frame the clock names
// and calls the graph's frame callback; all movies pause and resume with the main window.
// Stands on the handle manager, files and memory streams, the Theora decoder (VtUseCLibOgg), the
// platform players (VtMovieWin), sound handles for the audio track, and the clocks.
#pragma once

#include <stdint.h>

#include "foundation/VtHandle.h"
#include "image/VtBaseImage.h"

struct IGraphBuilder;
struct IMediaControl;
struct IMediaSeeking;
struct IBasicAudio;
struct IMFSourceReader;
struct IMFMediaType;

namespace Vantrel {

struct TheoraDecoder;
class D_CMovieRender;
struct MovieRecord;

// The switches copied into every movie record; all 0 in this library (no setter exists).
struct MovieOpenSettings {
    int32_t YuvOutput;      // how the graph side receives frames
    int32_t Alpha;          // DirectShow 32-bit frames keep their alpha
    int32_t NoPlanes;       // the Theora decoder makes no Y/UV plane graphs
};

typedef int (*MovieFrameCallback)(MovieRecord* movie, int userValue);

// Movie records are 4,728 bytes (more only where the platform's pointers are wider); at most 100.
constexpr int MovieRecordBytes = 4728;
constexpr int MovieMaxHandles = 100;
// The stock of decoded frames a Theora movie keeps ahead.
constexpr int MovieTheoraStockSize = 20;

// Where a movie reads its data from (MovieRecord::DataStreamKind).
enum : int32_t { MovieStream_File = 0, MovieStream_Memory = 1 };

struct MovieRecord {
    HandleHeader Header;
    int32_t OwnerGraph;
    int32_t PlayType;                   // 1 at open; bit value 2 loops (SoundPlayType 1 or 3)
    int32_t Theora;                     // plays through the Theora decoder
    TheoraDecoder* Decoder;
    uint64_t LastClock;                 // GetMicrosecondCount of the last update
    uint64_t ElapsedTime;               // microseconds of play
    int32_t TotalTime;                  // milliseconds
    void* DataStream;                   // file-access handle or MemStream
    int32_t DataStreamKind;             // MovieStream_File or MovieStream_Memory
    double FramesPerSecond;
    int32_t MovieShorterThanSound;
    int32_t Sound;                      // the audio track, -1 none
    int32_t SoundLength;                // milliseconds
    double PlayRate;                    // 1.0 at open
    uint64_t LastFrameChangeClock;      // microseconds
    int64_t Duration;                   // 100-ns units (platform players)
    int32_t FrameWidth;
    int32_t FrameHeight;
    MovieOpenSettings OpenSettings;
    int32_t Playing;                    // 0 at open; 1 while the movie is meant to play
    int32_t Paused;                     // 1 at open; 1 while the clock stands
    BaseImage PlatformFrameImage;       // the platform players' frame
    int32_t PlatformFramePixelsNotOwned;
    BaseImage* FrameImage;              // current frame: the decoder's RGB image or the platform frame
    int32_t LumaGraph;                  // the platform players' Y-plane and UV-plane graphs, -1 when none
    int32_t ChromaGraph;
    MovieFrameCallback FrameCallback;
    int32_t FrameCallbackValue;
    int32_t FrameShown;                 // set by the graph side once a frame reached the graph
    void* MemoryCopy;                   // the movie's own copy of a memory image (the MemStream's data)
    // The Media Foundation player (VtMovieWin); its sound is the record's sound handle and its rate the
    // record's play rate.
    IMFSourceReader* SourceReader;
    IMFMediaType* MfCurrentType;        // the reader's current video type
    IMFMediaType* MfOutputType;         // the IYUV type asked of the reader
    uint32_t MfWidth, MfHeight;
    uint32_t FrameRateNumerator, FrameRateDenominator;
    uint32_t AspectNumerator, AspectDenominator;
    int64_t LastSampleTime;             // 100-ns units, -1 none
    int32_t LastSampleFrame;            // -1 none
    int64_t MfDuration;                 // 100-ns units
    int32_t MfFrameCount;
    uint8_t* RgbBuffer;                 // the frame image's pixels
    int32_t TargetFrame;
    uint64_t MfLastClock;               // microseconds
    uint64_t MfElapsed;                 // microseconds of play
    uint8_t* YBuffer;
    uint8_t* UVBuffer;                  // U and V interleaved, U first
    int32_t YWidth, YHeight, YPitch;
    int32_t UVWidth, UVHeight, UVPitch;
    int32_t RgbDone, PlanesDone;
    int64_t MfTimePerFrame;             // 100-ns units
    // The DirectShow player (VtMovieWin).
    IGraphBuilder* GraphBuilder;
    IMediaControl* MediaControl;
    IMediaSeeking* MediaSeeking;
    IBasicAudio* BasicAudio;
    D_CMovieRender* MovieRender;        // the renderer in the graph, owned by the record
    int64_t DsTimePerFrame;             // 100-ns units
    int64_t DsFrameCount;
    uint32_t* PlaneScratch;             // a plane widened to 32-bit pixels on its way into its graph
    int32_t PlaneScratchPixels;
    // Shared by the platform players: the file they play, the movie's own or a temporary copy of it.
    int32_t TempCopy;
    wchar_t PlayerPath[1536];
};

int Movie_Initialize();
int Movie_Terminate();
void Movie_InitOpenSettings(MovieOpenSettings* out);

// Opens a movie for a graph: a movie handle (paused, first frame ready), or -1 with a log line.
int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int asynchronous);
// The movie's record after any pending open has finished, null for a handle that is not a live movie.
MovieRecord* Movie_Handle_GetRecord(int movie);
// Deletes the movie handle (queued while asynchronous loading is on).
int Movie_Handle_Delete(int movie);
// Runs the movie's clock and frame pick, then its frame callback. 0 / -1.
int Movie_Update(int movie, int platformFlag);
int Movie_SetFrameCallback(int movie, MovieFrameCallback callback, int userValue);
// Main window deactivated / activated: every playing movie pauses / resumes. 0, -1 before start-up.
int Movie_PauseAll();
int Movie_ResumeAll();
// The graphics back-ends release their device objects: a Theora movie's surface is made again later.
int Movie_ReleaseSurface(int movie);

// value x factor / divisor through a 128-bit product (unsigned; 0 for a divisor of 0).
uint64_t Movie_MulDiv128(uint64_t value, uint64_t factor, uint64_t divisor);

// The Y and UV plane graphs the graph filters turn into RGB: one graph made (its handle variable
// follows the graph's deletion), one plane widened into the scratch image and transferred.
int Movie_MakePlaneGraph(int width, int height, int32_t* handle, int asynchronous);
void Movie_TransferPlane(int graph, bool pairs, int width, int height, int pitch, const uint8_t* samples,
                         uint32_t** scratch, int32_t* scratchPixels, int asynchronous);

// Handle callbacks.
void Movie_HandleRecord_Initialize(HandleHeader* record);
int Movie_HandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel

// The Theora decoder's frame forms that the graph side reads.
#include "movie/VtUseCLibOgg.h"
