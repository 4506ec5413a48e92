// VtUseCLibOgg: the library's own Ogg Theora decoder. A decoder reads its whole source once to index
// pages, packets, key frames and frames, then keeps a stock of decoded YUV frames ahead of the frame
// shown, filled by a decode-ahead thread of its own; the frame output turns the current frame into an
// XRGB8 image, Y and UV plane graphs, or (never made here) a Direct3D 9 surface.
// Stands on libogg and libtheora's legacy decoding interface, streams, threads and locks, memory, the
// log, base images and the YUV tables of the image module, and graph handles.
#pragma once

#include <stdint.h>

#include <ogg/ogg.h>
#include <theora/theora.h>

#include "foundation/VtStream.h"
#include "foundation/VtThread.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

// What the decode-ahead thread is doing (TheoraDecoder::ThreadState).
enum TheoraThreadState : int32_t {
    TheoraThread_Idle = 0,          // the stock is full and holds the current frame
    TheoraThread_Decoding = 1,
    TheoraThread_Seeking = 2,
    TheoraThread_Exited = 3,        // final
    TheoraThread_Paused = 4,        // a pause request has been seen
};

// The stock size movies are opened with.
constexpr int TheoraMovieStockSize = 20;
// Index tables grow by this many entries; the source is read in blocks of this many bytes.
constexpr int TheoraIndexGrowth = 1000;
constexpr int TheoraReadBlockBytes = 4096;
// Limits of what a stream may ask for: the coded frame size on either side, the frames one packet's
// granule position may skip ahead, and the frames of a movie.
constexpr int TheoraMaxFrameSide = 16384;
constexpr int64_t TheoraMaxFrameSkip = 65536;
constexpr int64_t TheoraMaxFrameCount = 1 << 24;

// One page of the index: where it starts in the source, the first video packet ending on it, a
// spare word (always 0) and the number of video packets ending on it.
struct TheoraPageEntry {
    int64_t Offset;
    int32_t FirstPacket;
    int32_t Spare;
    int32_t PacketCount;
};

// One decoded frame of the stock. The UV plane holds U and V interleaved, U first; buffers stay
// allocated across frames while the sizes stay the same.
struct TheoraFrameStockEntry {
    int32_t Filled;
    int32_t Packet;
    uint8_t* YPlane;
    uint8_t* UVPlane;
    int32_t YWidth, YHeight, YStride;     // stride in bytes
    int32_t UVWidth, UVHeight, UVStride;  // chroma samples; the stride in bytes covers both of a pair
};

struct TheoraDecoder {
    CriticalSection Lock;               // guards every field the two threads share

    // Shared with the decode-ahead thread.
    volatile int32_t ThreadState;       // TheoraThreadState
    volatile int32_t PauseRequest;
    volatile int32_t ExitRequest;
    volatile int32_t SeekRequest;
    volatile int32_t Ready;             // creation is complete
    int32_t SeekTarget;                 // packet index
    int32_t EndOfData;
    int32_t IdleSince;                  // GetMillisecondCount of the last change to idle

    ThreadRecord Thread;
    int32_t ThreadStarted;

    Stream Source;

    // libogg.
    ogg_sync_state Sync;
    ogg_page Page;
    ogg_stream_state StreamState;
    ogg_packet Packet;
    int32_t StreamStateMade;

    // libtheora.
    theora_info Info;
    theora_comment Comment;
    theora_state State;
    int32_t StateMade;
    int32_t Serial;
    int32_t HeadersRead;                // 0-3

    // The index.
    TheoraPageEntry* Pages;
    int32_t PageCount, PageCapacity;
    int32_t* FrameTable;                // frame -> the packet that completes it
    int32_t FrameCapacity;
    uint8_t* KeyFrames;                 // packet -> 1 for a key frame
    int32_t KeyFrameCapacity;
    int64_t PacketCount;
    int32_t FrameCount;
    double FrameTime;                   // seconds

    int32_t CurrentFrame;               // -1 at creation
    int32_t CurrentPacket;              // -1 at creation
    int32_t DecoderPosition;            // packet last fed to libtheora (the thread's own)

    TheoraFrameStockEntry* Stock;
    int32_t StockSize;

    // Frame output.
    BaseImage RGBImage;                 // XRGB8 of the coded size
    int32_t RGBFilled;
    int32_t NoPlanes;                   // 1: no Y/UV plane graphs are made
    int32_t SurfaceUsable;
    int32_t SurfaceLost;
    int32_t SurfaceFormat;              // FourCC, 0 none
    int32_t SurfaceFilled;
    int32_t YGraph;                     // -1 until made; set back to -1 when deleted
    int32_t UVGraph;
    int32_t PlanesFilled;
    uint32_t* PlaneScratch;             // a plane widened to 32-bit pixels on its way into its graph
    int32_t PlaneScratchPixels;
    void** SurfaceSlot;                 // points at Surface
    void* Surface;
};

// What Theora_GetInfo reports.
struct TheoraInfo {
    double FramesPerSecond;
    int32_t FrameCount;
    int32_t Width, Height;              // the visible picture
};

// ---- Decoder and decode-ahead thread (VtUseCLibOgg.cpp) ------------------------------------------
TheoraDecoder* Theora_Decoder_Create(const StreamOps* ops, void* data, int stockSize, int noPlanes, int asynchronous);
int Theora_Decoder_Destroy(TheoraDecoder* decoder);
int Theora_GetInfo(TheoraDecoder* decoder, TheoraInfo* out);
int Theora_GetCurrentFrame(TheoraDecoder* decoder);
int Theora_AdvanceFrames(TheoraDecoder* decoder, int count);
int Theora_SeekToFrame(TheoraDecoder* decoder, int frame);
int Theora_ReadHeaders(TheoraDecoder* decoder);
int Theora_StartDecodeThread(TheoraDecoder* decoder);
void Theora_DecodeThread_Main(ThreadRecord* thread, void* decoder);
int Theora_DecodeThread_Step(TheoraDecoder* decoder);
int Theora_DecodePackets(TheoraDecoder* decoder, int count);
// The stock entry holding a packet, -1 when none (caller holds the lock).
int Theora_Stock_Find(const TheoraDecoder* decoder, int packet);

// ---- Frame output (VtUseCLibOggFrame.cpp) ---------------------------------------------------------
int Theora_PrepareFrame(TheoraDecoder* decoder, int wantRGB, int wantPlanes, int wantSurface, int asynchronous);
BaseImage* Theora_GetRGBImage(TheoraDecoder* decoder);
int Theora_GetYGraphHandle(TheoraDecoder* decoder);
int Theora_GetUVGraphHandle(TheoraDecoder* decoder);
void* Theora_GetD3D9Surface(TheoraDecoder* decoder);
void Theora_CreateSurface(TheoraDecoder* decoder, int asynchronous);
void Theora_Surface_Release(TheoraDecoder* decoder);
void Theora_Surface_Reset(TheoraDecoder* decoder);
int Theora_MarkSurfaceLost(TheoraDecoder* decoder);
// The YUV-to-XRGB8 conversion of one stock entry into an image at least as large as its Y plane:
// the table path for 4:2:0, the per-pixel formula otherwise.
void Theora_ConvertToRGB(const TheoraFrameStockEntry* entry, BaseImage* image);

}  // namespace Vantrel
