// The Theora decoder and its decode-ahead thread: creation reads the stream headers and indexes the
// whole source (pages, packets, key frames, the packet of every frame); the thread keeps a stock of
// decoded frames around the current one, seeks by restarting at the first page, and wraps to the
// stream start for looping. Stands on libogg, libtheora's legacy decoding interface, streams,
// threads and locks, memory and the log.
#include "movie/VtUseCLibOgg.h"

#include <emmintrin.h>
#include <string.h>

#include <initializer_list>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphicsDraw.h"
#include "system/VtTime.h"

namespace Vantrel {

#define THEORA_LOCK(decoder) CriticalSection_Enter(&(decoder)->Lock, __FILE__, __LINE__)
#define THEORA_UNLOCK(decoder) CriticalSection_Leave(&(decoder)->Lock)

namespace {

// Results of Theora_DecodePackets besides 0 and 1.
constexpr int DecodeEndOfData = -1;
constexpr int DecodeInterrupted = -2;

// Reads the next block of the source into the sync buffer; the bytes read, 0 at the end.
uint32_t ReadIntoSync(TheoraDecoder* decoder) {
    char* buffer = ogg_sync_buffer(&decoder->Sync, TheoraReadBlockBytes);
    if (buffer == nullptr) return 0;
    const uint32_t got = decoder->Source.ops.Read(buffer, 1, TheoraReadBlockBytes, decoder->Source.data);
    if (got == 0 || got > (uint32_t)TheoraReadBlockBytes) return 0;
    ogg_sync_wrote(&decoder->Sync, (long)got);
    return got;
}

// The next packet of the Theora stream, taking pages and reading data as needed: 1, or 0 when the
// source has ended. A gap in the data only skips to the next whole packet.
int NextStreamPacket(TheoraDecoder* decoder, ogg_packet* packet) {
    for (;;) {
        const int taken = ogg_stream_packetout(&decoder->StreamState, packet);
        if (taken == 1) return 1;
        if (taken < 0) continue;
        const int page = ogg_sync_pageout(&decoder->Sync, &decoder->Page);
        if (page == 1) {
            ogg_stream_pagein(&decoder->StreamState, &decoder->Page);  // pages of other streams are refused
            continue;
        }
        if (page < 0) continue;
        if (ReadIntoSync(decoder) == 0) return 0;
    }
}

// The next video packet (header packets skipped): 1, or 0 when the source has ended.
int NextVideoPacket(TheoraDecoder* decoder, ogg_packet* packet) {
    while (NextStreamPacket(decoder, packet) == 1)
        if (theora_packet_iskeyframe(packet) >= 0) return 1;
    return 0;
}

// Back to the stream start: the sync and stream states forget what they held, the source goes to the
// first page.
void RestartAtFirstPage(TheoraDecoder* decoder) {
    ogg_sync_reset(&decoder->Sync);
    ogg_stream_reset(&decoder->StreamState);
    decoder->Source.ops.Seek(decoder->Source.data, decoder->PageCount > 0 ? decoder->Pages[0].Offset : 0,
                             SeekOrigin_Start);
}

// Grows an index table to hold `needed` entries, in steps of TheoraIndexGrowth; false (logged) when
// it cannot.
template <typename T>
bool GrowTable(T** table, int32_t* capacity, int64_t needed, const wchar_t* failure) {
    if (needed <= *capacity) return true;
    int64_t wanted = *capacity + TheoraIndexGrowth;
    if (wanted < needed) wanted = (needed + TheoraIndexGrowth - 1) / TheoraIndexGrowth * TheoraIndexGrowth;
    const int64_t bytes = wanted * (int64_t)sizeof(T);
    void* grown = bytes <= 0x7FFFFFFF ? Memory_Reallocate(*table, (uint32_t)bytes, __FILE__, __LINE__) : nullptr;
    if (grown == nullptr) {
        Log_AddTextUTF16(failure);
        return false;
    }
    *table = static_cast<T*>(grown);
    *capacity = (int32_t)wanted;
    return true;
}

const wchar_t PageTableFailure[] = L"Theora ページ情報格納用メモリの確保に失敗しました\n";
const wchar_t KeyFrameTableFailure[] = L"Theora キーフレーム情報格納用メモリの確保に失敗しました\n";
const wchar_t FrameTableFailure[] = L"Theora タイムフレームとデータフレーム対応情報格納用メモリの確保に失敗しました\n";

// Reads the whole source once (under the lock, from its start) and fills the page, key-frame and
// frame tables. 0, or -1 (logged) for a table that cannot grow or numbering the tables cannot hold.
int BuildIndex(TheoraDecoder* decoder) {
    int64_t offset = 0, pageStart = 0, frame = 0;
    bool newPage = false;
    for (;;) {
        ogg_packet packet;
        const int taken = ogg_stream_packetout(&decoder->StreamState, &packet);
        if (taken < 0) continue;
        if (taken == 0) {
            const long bytes = ogg_sync_pageseek(&decoder->Sync, &decoder->Page);
            if (bytes > 0) {
                if (ogg_stream_pagein(&decoder->StreamState, &decoder->Page) == 0) {
                    pageStart = offset;
                    newPage = true;
                }
                offset += bytes;
            } else if (bytes < 0) {
                offset -= bytes;
            } else if (ReadIntoSync(decoder) == 0) {
                break;
            }
            continue;
        }
        const int key = theora_packet_iskeyframe(&packet);
        if (key < 0) continue;  // a header packet
        const int64_t index = decoder->PacketCount;
        if (index >= 0x7FFFFFFE) {
            Log_AddTextUTF16(L"Theora ムービーのパケットが多すぎます\n");
            return -1;
        }
        if (newPage) {
            if (!GrowTable(&decoder->Pages, &decoder->PageCapacity, decoder->PageCount + 1, PageTableFailure)) return -1;
            decoder->Pages[decoder->PageCount++] = {pageStart, (int32_t)index, 0, 0};
            newPage = false;
        }
        if (!GrowTable(&decoder->KeyFrames, &decoder->KeyFrameCapacity, index + 1, KeyFrameTableFailure)) return -1;
        decoder->KeyFrames[index] = key == 1 ? 1 : 0;
        if (packet.granulepos >= 0) {
            // The granule position names the frame this packet completes, counted from 0.
            const int64_t granuleFrame = theora_granule_frame(&decoder->State, packet.granulepos);
            if (granuleFrame > (int64_t)decoder->FrameCount + TheoraMaxFrameSkip) {
                Log_AddFormatUTF16(L"Theora ムービーのフレーム番号 %lld が壊れています", (long long)granuleFrame);
                return -1;
            }
            frame = granuleFrame;
        }
        if (frame >= TheoraMaxFrameCount) {
            Log_AddTextUTF16(L"Theora ムービーのフレームが多すぎます\n");
            return -1;
        }
        if (frame >= decoder->FrameCount) {
            if (!GrowTable(&decoder->FrameTable, &decoder->FrameCapacity, frame + 1, FrameTableFailure)) return -1;
            // Frames without a packet of their own show the next packet's picture.
            while (frame >= decoder->FrameCount) decoder->FrameTable[decoder->FrameCount++] = (int32_t)index;
        }
        decoder->PacketCount = index + 1;
        frame += 1;
        if (decoder->PageCount > 0) decoder->Pages[decoder->PageCount - 1].PacketCount++;
    }
    if (decoder->PageCount > 0) decoder->Pages[0].Offset = 0;
    return 0;
}

// The coded and visible sizes, the frame rate and the pixel format of the headers, checked before
// anything is made from them. 0, or -1 (logged).
int CheckHeaderInfo(const theora_info& info) {
    const bool sizes = info.width > 0 && info.height > 0 && info.width <= (uint32_t)TheoraMaxFrameSide &&
                       info.height <= (uint32_t)TheoraMaxFrameSide && info.frame_width > 0 && info.frame_height > 0 &&
                       (uint64_t)info.offset_x + info.frame_width <= info.width &&
                       (uint64_t)info.offset_y + info.frame_height <= info.height;
    if (!sizes) {
        Log_AddFormatUTF16(L"Theora ムービーのフレームサイズ %u x %u は扱えません", (unsigned)info.width,
                           (unsigned)info.height);
        return -1;
    }
    const bool format = info.fps_numerator > 0 && info.fps_denominator > 0 &&
                        (info.pixelformat == OC_PF_420 || info.pixelformat == OC_PF_422 || info.pixelformat == OC_PF_444);
    if (!format) {
        Log_AddTextUTF16(L"Theora ムービーのフレームレートか画素形式が不正です\n");
        return -1;
    }
    return 0;
}

// Interleaves one row of U and V samples, U first.
void InterleaveRow(uint8_t* out, const uint8_t* u, const uint8_t* v, int count) {
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i us = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x));
        const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), _mm_unpacklo_epi8(us, vs));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), _mm_unpackhi_epi8(us, vs));
    }
    for (; x < count; ++x) {
        out[2 * x] = u[x];
        out[2 * x + 1] = v[x];
    }
}

int Magnitude(int value) { return value < 0 ? -value : value; }

// Copies the decoder's output picture into a stock entry, (re)allocating its buffers when a size
// changed. The picture must fit the RGB image and its strides must cover its rows; false otherwise
// or when a buffer cannot be had.
bool CopyPictureToEntry(TheoraDecoder* decoder, const yuv_buffer& yuv, TheoraFrameStockEntry* entry) {
    const int yStride = Magnitude(yuv.y_stride), chromaStride = Magnitude(yuv.uv_stride);
    const bool sane = yuv.y != nullptr && yuv.u != nullptr && yuv.v != nullptr && yuv.y_width > 0 && yuv.y_height > 0 &&
                      yuv.y_width <= decoder->RGBImage.width && yuv.y_height <= decoder->RGBImage.height &&
                      yuv.uv_width > 0 && yuv.uv_height > 0 && yuv.uv_width <= yuv.y_width &&
                      yuv.uv_height <= yuv.y_height && yStride >= yuv.y_width && chromaStride >= yuv.uv_width &&
                      chromaStride <= TheoraMaxFrameSide * 2;
    if (!sane) return false;
    const int uvStride = 2 * chromaStride;
    if (entry->YPlane == nullptr || entry->UVPlane == nullptr || entry->YWidth != yuv.y_width ||
        entry->YHeight != yuv.y_height || entry->YStride != yStride || entry->UVWidth != yuv.uv_width ||
        entry->UVHeight != yuv.uv_height || entry->UVStride != uvStride) {
        Memory_Free(entry->YPlane);
        Memory_Free(entry->UVPlane);
        entry->YPlane = entry->UVPlane = nullptr;
        const int64_t yBytes = (int64_t)yStride * yuv.y_height, uvBytes = (int64_t)uvStride * yuv.uv_height;
        if (yBytes > 0x7FFFFFFF || uvBytes > 0x7FFFFFFF) return false;
        entry->YPlane = static_cast<uint8_t*>(Memory_Allocate((uint32_t)yBytes, __FILE__, __LINE__));
        entry->UVPlane = static_cast<uint8_t*>(Memory_Allocate((uint32_t)uvBytes, __FILE__, __LINE__));
        if (entry->YPlane == nullptr || entry->UVPlane == nullptr) {
            Memory_Free(entry->YPlane);
            Memory_Free(entry->UVPlane);
            entry->YPlane = entry->UVPlane = nullptr;
            return false;
        }
        entry->YWidth = yuv.y_width, entry->YHeight = yuv.y_height, entry->YStride = yStride;
        entry->UVWidth = yuv.uv_width, entry->UVHeight = yuv.uv_height, entry->UVStride = uvStride;
    }
    // Rows one by one: the decoder's strides may run upward (negative).
    if (yuv.y_stride == yStride) {
        memcpy(entry->YPlane, yuv.y, (size_t)yStride * (yuv.y_height - 1) + yuv.y_width);
    } else {
        for (int row = 0; row < yuv.y_height; ++row)
            memcpy(entry->YPlane + (size_t)row * yStride, yuv.y + (ptrdiff_t)row * yuv.y_stride, (size_t)yuv.y_width);
    }
    for (int row = 0; row < yuv.uv_height; ++row)
        InterleaveRow(entry->UVPlane + (size_t)row * uvStride, yuv.u + (ptrdiff_t)row * yuv.uv_stride,
                      yuv.v + (ptrdiff_t)row * yuv.uv_stride, yuv.uv_width);
    return true;
}

// Whether a packet lies within the pages of the index.
bool PacketInIndex(const TheoraDecoder* decoder, int packet) {
    if (packet < 0) return false;
    for (int i = 0; i < decoder->PageCount; ++i)
        if ((int64_t)decoder->Pages[i].FirstPacket + decoder->Pages[i].PacketCount > packet) return true;
    return false;
}

// The thread's handling of a seek request (entered and left with the lock).
void SeekStep(TheoraDecoder* decoder) {
    decoder->ThreadState = TheoraThread_Seeking;
    const int target = decoder->SeekTarget;
    THEORA_UNLOCK(decoder);
    int result = DecodeEndOfData;
    if (PacketInIndex(decoder, target)) {
        RestartAtFirstPage(decoder);
        decoder->DecoderPosition = -1;
        result = Theora_DecodePackets(decoder, target + 1);
    }
    THEORA_LOCK(decoder);
    for (int i = 0; i < decoder->StockSize; ++i) decoder->Stock[i].Filled = 0;
    decoder->DecoderPosition = target;
    // An interrupted seek stays asked for: the pause or exit that cut it short comes first.
    if (result == DecodeInterrupted) return;
    decoder->SeekRequest = 0;
    decoder->EndOfData = result == DecodeEndOfData ? 1 : 0;
}

// Drops stock entries outside the window the current packet needs (under the lock): entries before
// it, except the stream start when the window wraps past the last packet, and entries past both the
// decoder and the window.
void DropStaleEntries(TheoraDecoder* decoder) {
    const int64_t current = decoder->CurrentPacket, size = decoder->StockSize, count = decoder->PacketCount;
    for (int i = 0; i < decoder->StockSize; ++i) {
        TheoraFrameStockEntry& entry = decoder->Stock[i];
        if (!entry.Filled) continue;
        const int64_t packet = entry.Packet;
        const bool wrappedPart = current + size - 1 >= count && packet < current + size - count;
        if ((packet < current && !wrappedPart) || (packet > decoder->DecoderPosition && packet >= current + size))
            entry.Filled = 0;
    }
}

// Polls the thread's state (under the lock) until it is one of the two, sleeping between looks.
void WaitForThreadState(TheoraDecoder* decoder, int wanted, int orElse, uint32_t sleepMs) {
    for (;;) {
        THEORA_LOCK(decoder);
        const int state = decoder->ThreadState;
        THEORA_UNLOCK(decoder);
        if (state == wanted || state == orElse) return;
        Thread_Sleep(sleepMs);
    }
}

}  // namespace

int Theora_Stock_Find(const TheoraDecoder* decoder, int packet) {
    for (int i = 0; i < decoder->StockSize; ++i)
        if (decoder->Stock[i].Filled && decoder->Stock[i].Packet == packet) return i;
    return -1;
}

int Theora_ReadHeaders(TheoraDecoder* decoder) {
    ogg_packet packet;
    // The beginning-of-stream pages: the first stream whose first packet is a Theora header wins.
    for (;;) {
        const int page = ogg_sync_pageout(&decoder->Sync, &decoder->Page);
        if (page < 0) continue;
        if (page == 0) {
            if (ReadIntoSync(decoder) == 0) return -1;
            continue;
        }
        if (!ogg_page_bos(&decoder->Page)) {
            if (decoder->HeadersRead == 0) return -1;
            ogg_stream_pagein(&decoder->StreamState, &decoder->Page);
            break;
        }
        ogg_stream_state probe;
        if (ogg_stream_init(&probe, ogg_page_serialno(&decoder->Page)) != 0) return -1;
        ogg_stream_pagein(&probe, &decoder->Page);
        if (decoder->HeadersRead == 0 && ogg_stream_packetout(&probe, &packet) == 1 &&
            theora_decode_header(&decoder->Info, &decoder->Comment, &packet) >= 0) {
            decoder->Serial = ogg_page_serialno(&decoder->Page);
            decoder->HeadersRead = 1;
            memcpy(&decoder->StreamState, &probe, sizeof(probe));
            decoder->StreamStateMade = 1;
        } else {
            ogg_stream_clear(&probe);
        }
    }
    // The comment and setup headers.
    while (decoder->HeadersRead < 3) {
        const int taken = ogg_stream_packetout(&decoder->StreamState, &packet);
        if (taken < 0) return -1;
        if (taken == 1) {
            if (theora_decode_header(&decoder->Info, &decoder->Comment, &packet) < 0) return -1;
            decoder->HeadersRead++;
            continue;
        }
        const int page = ogg_sync_pageout(&decoder->Sync, &decoder->Page);
        if (page > 0) {
            ogg_stream_pagein(&decoder->StreamState, &decoder->Page);
            continue;
        }
        if (page < 0) continue;
        if (ReadIntoSync(decoder) == 0) return -1;
    }
    return 1;
}

TheoraDecoder* Theora_Decoder_Create(const StreamOps* ops, void* data, int stockSize, int noPlanes, int asynchronous) {
    if (ops == nullptr || ops->Read == nullptr || ops->Seek == nullptr || stockSize <= 0 || stockSize > 1024)
        return nullptr;
    char magic[4];
    if (ops->Read(magic, 1, 4, data) != 4 || memcmp(magic, "OggS", 4) != 0) return nullptr;
    ops->Seek(data, 0, SeekOrigin_Start);

    TheoraDecoder* decoder = static_cast<TheoraDecoder*>(Memory_AllocateZeroed(sizeof(TheoraDecoder), __FILE__, __LINE__));
    if (decoder == nullptr) {
        Log_AddTextUTF16(L"Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
        return nullptr;
    }
    CriticalSection_Create(&decoder->Lock);
    decoder->HeadersRead = 0;
    decoder->CurrentFrame = decoder->CurrentPacket = -1;
    decoder->DecoderPosition = -1;
    decoder->NoPlanes = noPlanes;
    decoder->YGraph = decoder->UVGraph = -1;
    decoder->SurfaceSlot = &decoder->Surface;
    ogg_sync_init(&decoder->Sync);
    theora_info_init(&decoder->Info);
    theora_comment_init(&decoder->Comment);
    decoder->Source.ops = *ops;
    decoder->Source.data = data;

    bool locked = false;
    auto fail = [&]() {
        if (locked) THEORA_UNLOCK(decoder);
        Theora_Decoder_Destroy(decoder);
        return nullptr;
    };
    if (Theora_ReadHeaders(decoder) < 0 || CheckHeaderInfo(decoder->Info) < 0) return fail();

    THEORA_LOCK(decoder);
    locked = true;
    if (theora_decode_init(&decoder->State, &decoder->Info) != 0) return fail();
    decoder->StateMade = 1;
    decoder->FrameTime = 1.0 / ((double)decoder->Info.fps_numerator / decoder->Info.fps_denominator);
    ogg_sync_reset(&decoder->Sync);
    ogg_stream_reset(&decoder->StreamState);
    decoder->Source.ops.Seek(decoder->Source.data, 0, SeekOrigin_Start);

    if (!GrowTable(&decoder->Pages, &decoder->PageCapacity, 1, PageTableFailure) ||
        !GrowTable(&decoder->KeyFrames, &decoder->KeyFrameCapacity, 1, KeyFrameTableFailure) ||
        !GrowTable(&decoder->FrameTable, &decoder->FrameCapacity, 1, FrameTableFailure) || BuildIndex(decoder) < 0)
        return fail();
    if (decoder->FrameCount <= 0 || decoder->PacketCount <= 0 || decoder->PageCount <= 0) {
        Log_AddTextUTF16(L"Theora ムービーに映像のフレームがありません\n");
        return fail();
    }
    THEORA_UNLOCK(decoder);
    locked = false;

    Theora_CreateSurface(decoder, asynchronous);

    THEORA_LOCK(decoder);
    locked = true;
    if (BaseImage_CreateXRGB8((int)decoder->Info.width, (int)decoder->Info.height, &decoder->RGBImage) < 0) {
        Log_AddTextUTF16(L"Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
        return fail();
    }
    decoder->YGraph = decoder->UVGraph = -1;
    decoder->Stock = static_cast<TheoraFrameStockEntry*>(
        Memory_AllocateZeroed((uint32_t)(sizeof(TheoraFrameStockEntry) * stockSize), __FILE__, __LINE__));
    if (decoder->Stock == nullptr) {
        Log_AddTextUTF16(L"Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
        return fail();
    }
    decoder->StockSize = stockSize;
    if (Theora_StartDecodeThread(decoder) < 0) return fail();
    THEORA_UNLOCK(decoder);
    locked = false;

    Theora_SeekToFrame(decoder, 0);
    THEORA_LOCK(decoder);
    decoder->Ready = 1;
    THEORA_UNLOCK(decoder);
    Theora_PrepareFrame(decoder, 1, 1, 1, asynchronous);
    return decoder;
}

int Theora_StartDecodeThread(TheoraDecoder* decoder) {
    decoder->PauseRequest = 1;
    decoder->ThreadState = TheoraThread_Idle;
    decoder->IdleSince = GetMillisecondCount();
    if (Thread_Spawn(&decoder->Thread, Theora_DecodeThread_Main, decoder) < 0) {
        Log_AddTextUTF16(L"Theora ムービーデコード用スレッドの作成に失敗しました\n");
        return -1;
    }
    decoder->ThreadStarted = 1;
    while (Thread_Resume(&decoder->Thread) == 0) Thread_Sleep(0);
    return 0;
}

int Theora_Decoder_Destroy(TheoraDecoder* decoder) {
    if (decoder == nullptr) return 0;
    if (decoder->ThreadStarted) {
        THEORA_LOCK(decoder);
        decoder->ExitRequest = 1;
        THEORA_UNLOCK(decoder);
        WaitForThreadState(decoder, TheoraThread_Exited, TheoraThread_Exited, 1);
        // The thread still leaves the lock and returns after saying so: wait until it has ended.
        WinAPI_EnsureLoaded();
        if (decoder->Thread.Handle != nullptr) WinAPITable.WaitForSingleObject(decoder->Thread.Handle, INFINITE);
        Thread_Release(&decoder->Thread);
        decoder->ThreadStarted = 0;
    }
    if (decoder->Stock != nullptr) {
        for (int i = 0; i < decoder->StockSize; ++i) {
            Memory_Free(decoder->Stock[i].YPlane);
            Memory_Free(decoder->Stock[i].UVPlane);
        }
        Memory_Free(decoder->Stock);
    }
    Theora_Surface_Release(decoder);
    Memory_Free(decoder->Pages);
    Memory_Free(decoder->KeyFrames);
    Memory_Free(decoder->FrameTable);
    Memory_Free(decoder->PlaneScratch);
    if (decoder->RGBImage.pixels != nullptr) BaseImage_Release(&decoder->RGBImage);
    for (int32_t* graph : {&decoder->YGraph, &decoder->UVGraph}) {
        if (*graph == -1) continue;
        const int handle = *graph;
        Handle_SetDeleteNotify(handle, nullptr);
        *graph = -1;
        DeleteGraph(handle);
    }
    if (decoder->StreamStateMade) ogg_stream_clear(&decoder->StreamState);
    if (decoder->StateMade) theora_clear(&decoder->State);
    theora_comment_clear(&decoder->Comment);
    theora_info_clear(&decoder->Info);
    ogg_sync_clear(&decoder->Sync);
    CriticalSection_Delete(&decoder->Lock);
    Memory_Free(decoder);
    return 0;
}

int Theora_GetInfo(TheoraDecoder* decoder, TheoraInfo* out) {
    out->FramesPerSecond = (double)decoder->Info.fps_numerator / decoder->Info.fps_denominator;
    out->FrameCount = decoder->FrameCount;
    out->Width = (int32_t)decoder->Info.frame_width;
    out->Height = (int32_t)decoder->Info.frame_height;
    return 0;
}

int Theora_GetCurrentFrame(TheoraDecoder* decoder) {
    THEORA_LOCK(decoder);
    const int frame = decoder->CurrentFrame;
    THEORA_UNLOCK(decoder);
    return frame;
}

int Theora_AdvanceFrames(TheoraDecoder* decoder, int count) {
    if (count <= 0 || decoder->FrameCount <= 0) return 0;
    THEORA_LOCK(decoder);
    const int64_t frame = ((int64_t)decoder->CurrentFrame + count) % decoder->FrameCount;
    decoder->CurrentFrame = (int32_t)frame;
    decoder->CurrentPacket = decoder->FrameTable[frame];
    decoder->RGBFilled = decoder->PlanesFilled = decoder->SurfaceFilled = 0;
    THEORA_UNLOCK(decoder);
    return 0;
}

int Theora_SeekToFrame(TheoraDecoder* decoder, int frame) {
    THEORA_LOCK(decoder);
    if (frame >= decoder->FrameCount) frame = decoder->FrameCount - 1;
    if (frame < 0) frame = 0;
    const int packet = decoder->FrameTable[frame];
    if (packet != decoder->CurrentPacket) {
        decoder->RGBFilled = decoder->PlanesFilled = decoder->SurfaceFilled = 0;
        decoder->PauseRequest = 1;
        THEORA_UNLOCK(decoder);
        WaitForThreadState(decoder, TheoraThread_Paused, TheoraThread_Exited, 0);
        THEORA_LOCK(decoder);
        decoder->CurrentPacket = packet;
        decoder->SeekTarget = packet;
        decoder->SeekRequest = 1;
        decoder->PauseRequest = 0;
    }
    // Frames that share a packet still move the current frame.
    decoder->CurrentFrame = frame;
    THEORA_UNLOCK(decoder);
    return 0;
}

int Theora_DecodePackets(TheoraDecoder* decoder, int count) {
    if (count <= 0) return 0;
    // Only the packets from the key frame before the last one in the range need decoding.
    const int64_t first = (int64_t)decoder->DecoderPosition + 1;
    int64_t last = first + count - 1;
    if (last >= decoder->PacketCount) last = decoder->PacketCount - 1;
    int64_t lastKey = -1, startKey = -1;
    for (int64_t i = first < 0 ? 0 : first; i <= last; ++i)
        if (decoder->KeyFrames[i]) startKey = lastKey, lastKey = i;
    int result = 0;
    for (int k = 0; k < count; ++k) {
        if (decoder->ExitRequest || decoder->PauseRequest) return DecodeInterrupted;
        ogg_packet packet;
        if (NextVideoPacket(decoder, &packet) == 0) return DecodeEndOfData;
        const int64_t position = (int64_t)decoder->DecoderPosition + 1;
        if (position >= decoder->PacketCount) return DecodeEndOfData;
        if (startKey < 0 || position >= startKey) theora_decode_packetin(&decoder->State, &packet);
        if (packet.granulepos >= 0) {
            ogg_int64_t granule = packet.granulepos;
            theora_control(&decoder->State, TH_DECCTL_SET_GRANPOS, &granule, sizeof(granule));
        }
        decoder->DecoderPosition = (int32_t)position;
        result = decoder->KeyFrames[position];
    }
    return result;
}

int Theora_DecodeThread_Step(TheoraDecoder* decoder) {
    if (decoder->ExitRequest) {
        decoder->ThreadState = TheoraThread_Exited;
        THEORA_UNLOCK(decoder);
        return 2;
    }
    if (decoder->PauseRequest) {
        decoder->ThreadState = TheoraThread_Paused;
        THEORA_UNLOCK(decoder);
        Thread_Sleep(1);
        return 0;
    }
    if (decoder->SeekRequest) {
        SeekStep(decoder);
        THEORA_UNLOCK(decoder);
        return 0;
    }
    if (decoder->Ready) {
        if (!decoder->EndOfData) DropStaleEntries(decoder);
        const int current = decoder->CurrentPacket;
        int empty = -1;
        for (int i = 0; i < decoder->StockSize && empty < 0; ++i)
            if (!decoder->Stock[i].Filled) empty = i;
        if (empty < 0) {
            if (Theora_Stock_Find(decoder, current) < 0) {
                for (int i = 0; i < decoder->StockSize; ++i) decoder->Stock[i].Filled = 0;
            } else if (decoder->ThreadState != TheoraThread_Idle) {
                decoder->ThreadState = TheoraThread_Idle;
                decoder->IdleSince = GetMillisecondCount();
            }
        } else {
            decoder->ThreadState = TheoraThread_Decoding;
            const int position = decoder->DecoderPosition;
            if (position < current || Theora_Stock_Find(decoder, position) >= 0) {
                const int step = Theora_Stock_Find(decoder, current) < 0 && position < current ? current - position : 1;
                THEORA_UNLOCK(decoder);
                int result;
                if ((int64_t)position + step < decoder->PacketCount) {
                    result = Theora_DecodePackets(decoder, step);
                } else {
                    // Past the last packet: on from the stream start.
                    RestartAtFirstPage(decoder);
                    decoder->DecoderPosition = -1;
                    result = Theora_DecodePackets(decoder, (int)((int64_t)position + step - decoder->PacketCount + 1));
                }
                if (result == DecodeInterrupted) return 0;
                if (result == DecodeEndOfData) {
                    THEORA_LOCK(decoder);
                    decoder->EndOfData = 1;
                    THEORA_UNLOCK(decoder);
                    Thread_Sleep(1);
                    return 0;
                }
            } else {
                THEORA_UNLOCK(decoder);
            }
            // The decoder's picture into the empty entry (which only this thread fills).
            yuv_buffer yuv;
            const bool copied = theora_decode_YUVout(&decoder->State, &yuv) == 0 &&
                                CopyPictureToEntry(decoder, yuv, &decoder->Stock[empty]);
            THEORA_LOCK(decoder);
            if (!copied) {
                // No picture can be had (or no buffer for it): as if the data had ended.
                decoder->EndOfData = 1;
                THEORA_UNLOCK(decoder);
                Thread_Sleep(1);
                return 0;
            }
            decoder->Stock[empty].Packet = decoder->DecoderPosition;
            decoder->Stock[empty].Filled = 1;
        }
    }
    const bool idle = decoder->ThreadState == TheoraThread_Idle;
    THEORA_UNLOCK(decoder);
    Thread_Sleep(idle ? 1 : 0);
    return 0;
}

void Theora_DecodeThread_Main(ThreadRecord* thread, void* parameter) {
    TheoraDecoder* decoder = static_cast<TheoraDecoder*>(parameter);
    for (;;) {
        THEORA_LOCK(decoder);
        if (Theora_DecodeThread_Step(decoder) == 2) break;
    }
}

}  // namespace Vantrel
