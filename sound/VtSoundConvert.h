// Sound conversion: any sound source readable through a Stream becomes plain PCM through one record.
// The front end (VtSoundConvert.cpp) owns the record, the order in which converters are tried, the
// staging buffer and the WAVE/RF64 converter; the Ogg Vorbis, Opus and ACM converters plug into the
// same record. Stands on the foundation's streams, memory layer and strings.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <stdint.h>

#include "foundation/VtStream.h"

namespace Vantrel {

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is the packed 18-byte record");

// The converter that accepted a source.
enum SoundConvertKind : int32_t {
    SoundConvertKind_Wave = 0,
    SoundConvertKind_OggVorbis = 1,
    SoundConvertKind_Opus = 2,
    SoundConvertKind_Acm = 3,
    SoundConvertKind_Mp3DirectShow = 4,
    SoundConvertKind_MediaFoundation = 5,
};

// SoundConvertDisableFlags: a set bit removes that converter from the chain.
enum : int32_t {
    SoundConvertDisable_Wave = 1,
    SoundConvertDisable_OggVorbis = 2,
    SoundConvertDisable_Opus = 4,
    SoundConvertDisable_AcmWave = 8,
    SoundConvertDisable_Mp3Acm = 16,
    SoundConvertDisable_Mp3DirectShow = 32,
    SoundConvertDisable_MediaFoundation = 64,
};

constexpr int SOUND_CONVERT_AREA_SIZE = 1024;

// State of the WAVE/RF64 converter.
struct SoundConvertWaveArea {
    float* FloatBuffer;        // IEEE float sources only: one read's worth of source frames
    int64_t FloatBufferSize;
    int64_t LoopStart;         // samples, from the "smpl" chunk; -1 when absent
    int64_t LoopEnd;
    WAVEFORMATEX SourceFormat; // the first min(chunk size, 18) bytes of the "fmt " chunk
    int32_t FloatSource;       // 1 for IEEE float samples (32 or 64 bits)
};

struct SoundConvertRecord {
    int32_t Initialized;
    int32_t EndFlag;
    int32_t Kind;                 // SoundConvertKind
    Stream Source;                // every read, seek, tell and end test of every converter goes through it
    int64_t FormatChunkOffset;
    int64_t FormatChunkSize;
    int64_t DataStart;
    int64_t DataSize;
    WAVEFORMATEX OutputFormat;    // always PCM
    alignas(8) uint8_t Area[SOUND_CONVERT_AREA_SIZE];  // the state of the converter in use
    uint8_t* StagingBuffer;
    int64_t StagingSize;
    int64_t Staged;               // PCM bytes in the staging buffer not yet delivered
    int64_t StagingOffset;        // where the next undelivered byte lies
    int64_t Position;             // output bytes delivered (or skipped by a seek) since position 0
    int64_t LoopStartBytePosition;
    int32_t OggBytesPerSample;    // 1 (unsigned 8-bit) or 2
    int32_t VorbisVariant;
};

// The converter area of a record seen as the converter's own record.
template <typename T> T* SoundConvert_Area(SoundConvertRecord* record)
{
    static_assert(sizeof(T) <= SOUND_CONVERT_AREA_SIZE, "converter state must fit the record's area");
    return reinterpret_cast<T*>(record->Area);
}

// ---- Front end -------------------------------------------------------------------------------------
int SoundConvert_Setup(SoundConvertRecord* record, const Stream* stream, int32_t disableFlags,
                       int32_t oggBytesPerSample, int32_t vorbisVariant);
int64_t SoundConvert_Run(SoundConvertRecord* record, void* destination, int64_t count);
int SoundConvert_SetSampleTime(SoundConvertRecord* record, int64_t sample);
int SoundConvert_ConvertWhole(SoundConvertRecord* record, WAVEFORMATEX* format, void** data, uint32_t* size);
int SoundConvert_Close(SoundConvertRecord* record);
int SoundConvert_GetOutputFormat(SoundConvertRecord* record, WAVEFORMATEX* out);
int64_t SoundConvert_GetTotalBytes(SoundConvertRecord* record);
int SoundConvert_IsEnd(SoundConvertRecord* record);
int SoundConvert_SetLoopStartSample(SoundConvertRecord* record, int64_t sample);
int SoundConvert_GetLoopArea(SoundConvertRecord* record, int64_t* start, int64_t* end);

// Reads up to bytes from the record's stream; returns the bytes read (a short count is the end).
uint32_t SoundConvert_ReadBytes(SoundConvertRecord* record, void* buffer, uint32_t bytes);
// The stream's length in bytes (the position is left at 0); -1 when it cannot be told.
int64_t SoundConvert_StreamLength(SoundConvertRecord* record);
// Stores the output format: PCM of the given channels, rate and sample width.
void SoundConvert_SetPcmOutput(SoundConvertRecord* record, int channels, int rate, int bitsPerSample);

// ---- WAVE and RF64 ---------------------------------------------------------------------------------
int SoundConvert_Wave_Setup(SoundConvertRecord* record);
int SoundConvert_Wave_Step(SoundConvertRecord* record);
void SoundConvert_Wave_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvert_Wave_GetTotalBytes(SoundConvertRecord* record);
void SoundConvert_Wave_Close(SoundConvertRecord* record);

// ---- Ogg Vorbis (VtSoundConvertOgg.cpp) --------------------------------------------------------------
int SoundConvert_Ogg_Setup(SoundConvertRecord* record);
int SoundConvert_Ogg_Step(SoundConvertRecord* record);
void SoundConvert_Ogg_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvert_Ogg_GetTotalBytes(SoundConvertRecord* record);
int SoundConvert_Ogg_GetLoopArea(SoundConvertRecord* record, int64_t* start, int64_t* end);
void SoundConvert_Ogg_Close(SoundConvertRecord* record);

// ---- Opus (VtSoundConvertOpus.cpp) -----------------------------------------------------------------
int SoundConvert_Opus_Setup(SoundConvertRecord* record);
int SoundConvert_Opus_Step(SoundConvertRecord* record);
void SoundConvert_Opus_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvert_Opus_GetTotalBytes(SoundConvertRecord* record);
void SoundConvert_Opus_Close(SoundConvertRecord* record);

// ---- Platform converters (VtSoundConvertWin.cpp, VtSoundConvertAcm.cpp) -------------------------------
// The Audio Compression Manager functions, loaded from msacm32.dll by SoundConvertWin_Initialize.
// Tests may put fakes in the entries.
struct SoundConvertWinState {
    HMODULE Msacm32DLL;
    decltype(&::acmFormatSuggest) acmFormatSuggest;
    decltype(&::acmStreamOpen) acmStreamOpen;
    decltype(&::acmStreamClose) acmStreamClose;
    decltype(&::acmMetrics) acmMetrics;
    decltype(&::acmStreamPrepareHeader) acmStreamPrepareHeader;
    decltype(&::acmStreamConvert) acmStreamConvert;
    decltype(&::acmStreamUnprepareHeader) acmStreamUnprepareHeader;
    decltype(&::acmStreamSize) acmStreamSize;
};
extern SoundConvertWinState SoundConvertWin;

// The module's start-up and shut-down: the platform half loads or frees msacm32.dll and its eight
// functions (-1 when the library or a function is missing). SoundConvert_Initialize and
// SoundConvert_Terminate of the sound module's lifecycle call them.
int SoundConvertWin_Initialize();
int SoundConvertWin_Terminate();
// The platform chain: ACM WAVE, MP3 through ACM, MP3 through a DirectShow graph, Media Foundation.
int SoundConvertWin_Setup(SoundConvertRecord* record, int32_t disableFlags);

// ACM converter (kind 3).
struct Mp3FrameHeader {
    uint8_t Layer;          // 0 Layer I, 1 Layer II, 2 Layer III
    uint8_t Version;        // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    uint8_t BitrateIndex;
    uint8_t SampleRateIndex;
    uint8_t Padding;
    uint8_t Channels;
    uint32_t SampleRate;    // Hz
    uint32_t Bitrate;       // kbit/s
    uint32_t FrameLength;   // bytes, header included
    uint32_t SamplesPerFrame;
};
int SoundConvertWin_Mp3_ParseFrameHeader(const uint8_t* bytes, Mp3FrameHeader* out);
int SoundConvertWin_Acm_SetupWave(SoundConvertRecord* record);
int SoundConvertWin_Acm_SetupMp3(SoundConvertRecord* record);
int SoundConvertWin_Acm_Step(SoundConvertRecord* record);
void SoundConvertWin_Acm_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvertWin_Acm_GetTotalBytes(SoundConvertRecord* record);
void SoundConvertWin_Acm_Close(SoundConvertRecord* record);

// MP3 through a DirectShow graph (kind 4; VtSoundConvertDSMP3.cpp): all PCM is collected at set-up.
struct SoundConvertDSMP3Area {
    uint8_t* PcmBuffer;    // all decoded PCM (owned)
    int32_t Capacity;      // bytes allocated for it
    int32_t PcmSize;       // bytes collected
    int32_t ReadPosition;  // next byte to copy
};
// The most PCM one conversion collects (the sizes above count it in 32 bits).
constexpr int64_t SoundConvertDSMP3_PcmLimit = 0x7FF00000;
int SoundConvert_DSMP3_Setup(SoundConvertRecord* record);
int SoundConvertWin_DSMP3_Step(SoundConvertRecord* record);
void SoundConvertWin_DSMP3_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvertWin_DSMP3_GetTotalBytes(SoundConvertRecord* record);
void SoundConvertWin_DSMP3_Close(SoundConvertRecord* record);

// Media Foundation (kind 5; VtSoundConvertMF.cpp): a source reader over the record's own stream.
int SoundConvertWin_MF_Setup(SoundConvertRecord* record);
int SoundConvertWin_MF_Step(SoundConvertRecord* record);
void SoundConvertWin_MF_Seek(SoundConvertRecord* record, int64_t sample);
int64_t SoundConvertWin_MF_GetTotalBytes(SoundConvertRecord* record);
void SoundConvertWin_MF_Close(SoundConvertRecord* record);

}  // namespace Vantrel
