// ACM converter of the sound conversion: compressed WAVE (any format an installed codec turns into PCM)
// and MP3, whose frame headers are parsed here. The whole compressed data is held in memory; a second
// decoder runs ahead to just before the loop start so that a jump back to it resumes at once.
// Stands on the front end (VtSoundConvert), the ACM functions loaded by VtSoundConvertWin and the
// memory layer.
#include "sound/VtSoundConvert.h"

#include <string.h>

#include "foundation/VtMemory.h"

namespace Vantrel {

namespace {

struct SoundConvertAcmArea {
    WAVEFORMATEX* SourceFormat;
    HACMSTREAM MainDecoder;
    HACMSTREAM LookAheadDecoder;
    uint8_t* SourceData;
    int32_t SourceDataSize;
    int64_t MainSourcePosition;
    int64_t TotalSamples;           // MP3: the samples of all frames; -1 for WAVE
    int64_t LookAheadSourcePosition;
    int64_t LookAheadOutputPosition;
    uint8_t* LookAheadBuffer;       // the look-ahead decoder's output, discarded
    int32_t PieceSize;              // source bytes converted per step: 2,048, or one block when larger
};

static_assert(sizeof(void*) != 4 || sizeof(ACMSTREAMHEADER) == 84, "the 32-bit stream header is 84 bytes");

// The look-ahead decoder stops this many bytes before the loop start.
constexpr int64_t ACM_LOOK_AHEAD_MARGIN = 10240;
constexpr int32_t ACM_PIECE_SIZE = 2048;

SoundConvertAcmArea* Acm_Area(SoundConvertRecord* record) { return SoundConvert_Area<SoundConvertAcmArea>(record); }

int Acm_Available()
{
    return SoundConvertWin.acmFormatSuggest != nullptr && SoundConvertWin.acmStreamOpen != nullptr &&
           SoundConvertWin.acmStreamClose != nullptr && SoundConvertWin.acmMetrics != nullptr &&
           SoundConvertWin.acmStreamPrepareHeader != nullptr && SoundConvertWin.acmStreamConvert != nullptr &&
           SoundConvertWin.acmStreamUnprepareHeader != nullptr && SoundConvertWin.acmStreamSize != nullptr;
}

HACMSTREAM Acm_OpenDecoder(SoundConvertRecord* record)
{
    HACMSTREAM decoder = nullptr;
    if (SoundConvertWin.acmStreamOpen(&decoder, nullptr, Acm_Area(record)->SourceFormat, &record->OutputFormat, nullptr,
                                      0, 0, ACM_STREAMOPENF_NONREALTIME) != 0)
        return nullptr;
    return decoder;
}

void Acm_CloseDecoder(HACMSTREAM* decoder)
{
    if (*decoder != nullptr) SoundConvertWin.acmStreamClose(*decoder, 0);
    *decoder = nullptr;
}

// Converts one piece with block alignment; -1 when the header could not be prepared. The used counts
// never exceed what was offered, whatever the codec reports.
int Acm_ConvertPiece(HACMSTREAM decoder, uint8_t* source, uint32_t sourceBytes, uint8_t* destination,
                     uint32_t destinationBytes, uint32_t* sourceUsed, uint32_t* destinationUsed)
{
    *sourceUsed = *destinationUsed = 0;
    if (decoder == nullptr) return -1;
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof(header);
    header.pbSrc = source;
    header.cbSrcLength = sourceBytes;
    header.pbDst = destination;
    header.cbDstLength = destinationBytes;
    if (SoundConvertWin.acmStreamPrepareHeader(decoder, &header, 0) != 0) return -1;
    SoundConvertWin.acmStreamConvert(decoder, &header, ACM_STREAMCONVERTF_BLOCKALIGN);
    *sourceUsed = header.cbSrcLengthUsed < sourceBytes ? header.cbSrcLengthUsed : sourceBytes;
    *destinationUsed = header.cbDstLengthUsed < destinationBytes ? header.cbDstLengthUsed : destinationBytes;
    SoundConvertWin.acmStreamUnprepareHeader(decoder, &header, 0);
    return 0;
}

void Acm_Release(SoundConvertAcmArea* area)
{
    if (area->SourceFormat != nullptr) Memory_Free(area->SourceFormat);
    if (area->LookAheadBuffer != nullptr) Memory_Free(area->LookAheadBuffer);
    Acm_CloseDecoder(&area->MainDecoder);
    Acm_CloseDecoder(&area->LookAheadDecoder);
    if (area->SourceData != nullptr) Memory_Free(area->SourceData);
    area->SourceFormat = nullptr;
    area->LookAheadBuffer = nullptr;
    area->SourceData = nullptr;
}

// The common end of both set-ups: the PCM format ACM suggests, the compressed data in memory, both
// decoders and the look-ahead buffer. stagingThirds is 3 for one second of PCM, 4 for four thirds.
int Acm_Finish(SoundConvertRecord* record, int stagingThirds)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    memset(&record->OutputFormat, 0, sizeof(record->OutputFormat));
    record->OutputFormat.wFormatTag = WAVE_FORMAT_PCM;
    if (SoundConvertWin.acmFormatSuggest(nullptr, area->SourceFormat, &record->OutputFormat, sizeof(WAVEFORMATEX),
                                         ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
        return -1;
    const WAVEFORMATEX& output = record->OutputFormat;
    if (output.wFormatTag != WAVE_FORMAT_PCM || output.nBlockAlign == 0 || output.nAvgBytesPerSec == 0) return -1;
    record->OutputFormat.cbSize = 0;

    if (record->DataSize <= 0 || record->DataSize > INT32_MAX) return -1;
    area->SourceDataSize = int32_t(record->DataSize);
    area->SourceData = static_cast<uint8_t*>(Memory_Allocate(uint32_t(area->SourceDataSize), "VtSoundConvertAcm", __LINE__));
    if (area->SourceData == nullptr) return -1;
    record->Source.ops.Seek(record->Source.data, record->DataStart, SeekOrigin_Start);
    area->SourceDataSize = int32_t(SoundConvert_ReadBytes(record, area->SourceData, uint32_t(area->SourceDataSize)));
    record->Source.ops.Seek(record->Source.data, record->DataStart, SeekOrigin_Start);
    area->MainSourcePosition = 0;
    if (area->SourceDataSize == 0) return -1;

    // Whole source blocks per piece: a block larger than the usual piece is converted alone.
    int32_t block = area->SourceFormat->nBlockAlign == 0 ? 1 : area->SourceFormat->nBlockAlign;
    area->PieceSize = ACM_PIECE_SIZE < block ? block : ACM_PIECE_SIZE;

    area->MainDecoder = Acm_OpenDecoder(record);
    if (area->MainDecoder == nullptr) return -1;
    area->LookAheadDecoder = Acm_OpenDecoder(record);
    if (area->LookAheadDecoder == nullptr) return -1;

    int64_t staging = int64_t(output.nAvgBytesPerSec) * stagingThirds / 3;
    if (staging > (4 << 20)) staging = 4 << 20;
    staging -= staging % output.nBlockAlign;
    if (staging <= 0) return -1;
    record->StagingSize = staging;
    area->LookAheadBuffer = static_cast<uint8_t*>(Memory_Allocate(uint32_t(staging), "VtSoundConvertAcm", __LINE__));
    if (area->LookAheadBuffer == nullptr) return -1;
    area->LookAheadSourcePosition = area->LookAheadOutputPosition = 0;
    record->Kind = SoundConvertKind_Acm;
    return 0;
}

int Acm_ReadHeader(SoundConvertRecord* record, char id[4], uint32_t* size)
{
    uint8_t header[8];
    if (SoundConvert_ReadBytes(record, header, 8) != 8) return -1;
    memcpy(id, header, 4);
    *size = uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 | uint32_t(header[7]) << 24;
    return 0;
}

// The bitrate table of the MPEG audio standard (kbit/s), by row: MPEG-1 Layer I, II, III, then MPEG-2
// (and 2.5) Layer I, and Layers II and III.
const uint16_t Mp3_Bitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
const uint32_t Mp3_SampleRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int SoundConvertWin_Mp3_ParseFrameHeader(const uint8_t* b, Mp3FrameHeader* out)
{
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return -2;
    static const int8_t versions[4] = {2, -1, 1, 0};
    int version = versions[(b[1] >> 3) & 3];
    int layerBits = (b[1] >> 1) & 3;
    int bitrateIndex = b[2] >> 4;
    int rateIndex = (b[2] >> 2) & 3;
    if (version < 0 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) return -1;
    Mp3FrameHeader h = {};
    h.Layer = uint8_t(3 - layerBits);
    h.Version = uint8_t(version);
    h.BitrateIndex = uint8_t(bitrateIndex);
    h.SampleRateIndex = uint8_t(rateIndex);
    h.Padding = (b[2] >> 1) & 1;
    h.Channels = (b[3] >> 6) == 3 ? 1 : 2;
    h.SampleRate = Mp3_SampleRates[version][rateIndex];
    int row = version == 0 ? h.Layer : (h.Layer == 0 ? 3 : 4);
    h.Bitrate = Mp3_Bitrates[row][bitrateIndex];
    if (h.Layer == 0) {
        h.SamplesPerFrame = 384;
        h.FrameLength = (12000 * h.Bitrate / h.SampleRate + h.Padding) * 4;
    } else if (h.Layer == 1 || version == 0) {
        h.SamplesPerFrame = 1152;
        h.FrameLength = 144000 * h.Bitrate / h.SampleRate + h.Padding;
    } else {
        h.SamplesPerFrame = 576;
        h.FrameLength = 72000 * h.Bitrate / h.SampleRate + h.Padding;
    }
    *out = h;
    return 0;
}

int SoundConvertWin_Acm_SetupWave(SoundConvertRecord* record)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    memset(area, 0, sizeof(*area));
    area->TotalSamples = -1;
    if (!Acm_Available()) return -1;

    char id[4];
    uint32_t size;
    uint8_t form[4];
    if (Acm_ReadHeader(record, id, &size) != 0 || memcmp(id, "RIFF", 4) != 0) return -1;
    if (SoundConvert_ReadBytes(record, form, 4) != 4 || memcmp(form, "WAVE", 4) != 0) return -1;
    if (Acm_ReadHeader(record, id, &size) != 0) return -1;
    if (memcmp(id, "bext", 4) == 0) {
        record->Source.ops.Seek(record->Source.data, size, SeekOrigin_Current);
        if (Acm_ReadHeader(record, id, &size) != 0) return -1;
    }
    if (memcmp(id, "fmt ", 4) != 0 || size < 16 || size > 0x10000) return -1;

    // The format with room for the extra bytes its size field claims (the codec reads them), zero-filled.
    record->FormatChunkOffset = record->Source.ops.Tell(record->Source.data);
    record->FormatChunkSize = size;
    uint32_t room = size + 0x10000;
    area->SourceFormat = static_cast<WAVEFORMATEX*>(Memory_AllocateZeroed(room, "VtSoundConvertAcm", __LINE__));
    if (area->SourceFormat == nullptr) return -1;
    if (SoundConvert_ReadBytes(record, area->SourceFormat, size) != size) {
        Acm_Release(area);
        return -1;
    }
    WAVEFORMATEX* source = area->SourceFormat;
    if (size < 18) source->cbSize = 0;
    if (source->nChannels == 0 || source->nBlockAlign == 0 || source->nSamplesPerSec == 0) {
        Acm_Release(area);
        return -1;
    }
    if (source->wFormatTag == WAVE_FORMAT_PCM && size == 16) {
        source->wBitsPerSample = WORD(source->nBlockAlign / source->nChannels * 8);
        source->cbSize = 0;
    }
    record->Source.ops.Seek(record->Source.data, record->FormatChunkOffset + size + (size & 1), SeekOrigin_Start);

    for (;;) {
        if (Acm_ReadHeader(record, id, &size) != 0) {
            Acm_Release(area);
            return -1;
        }
        if (memcmp(id, "data", 4) == 0) break;
        record->Source.ops.Seek(record->Source.data, int64_t(size) + (size & 1), SeekOrigin_Current);
    }
    record->DataStart = record->Source.ops.Tell(record->Source.data);
    record->DataSize = size;
    int64_t length = SoundConvert_StreamLength(record);
    if (length >= 0 && record->DataSize > length - record->DataStart) record->DataSize = length - record->DataStart;

    if (Acm_Finish(record, 3) != 0) {
        Acm_Release(area);
        return -1;
    }
    return 0;
}

int SoundConvertWin_Acm_SetupMp3(SoundConvertRecord* record)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    memset(area, 0, sizeof(*area));
    area->TotalSamples = 0;
    if (!Acm_Available()) return -1;
    const StreamOps& ops = record->Source.ops;
    void* data = record->Source.data;

    int64_t fileSize = SoundConvert_StreamLength(record);
    ops.Seek(data, 0, SeekOrigin_Start);
    if (fileSize <= 0) return -1;

    // An ID3v2 tag at the start is skipped, an ID3v1 tag at the end left out.
    int64_t skip = 0;
    uint8_t tag[10];
    if (SoundConvert_ReadBytes(record, tag, 3) == 3 && memcmp(tag, "ID3", 3) == 0 &&
        SoundConvert_ReadBytes(record, tag + 3, 7) == 7) {
        skip = ((int64_t(tag[6]) * 128 + tag[7]) * 128 + tag[8]) * 128 + tag[9] + 10;
        if (tag[3] == 4 && (tag[5] & 0x10)) skip += 10;
    }
    int64_t tagSize = 0;
    if (fileSize > 128) {
        ops.Seek(data, fileSize - 128, SeekOrigin_Start);
        if (SoundConvert_ReadBytes(record, tag, 3) == 3 && memcmp(tag, "TAG", 3) == 0) tagSize = 128;
    }
    int64_t limit = fileSize - tagSize;

    // Two passes over the frames: the first finds the largest sample rate, the second takes the first
    // frame of that rate as the reference and requires every later frame to match it.
    int64_t referenceOffset = -1, dataEnd = 0;
    uint32_t largestRate = 0;
    Mp3FrameHeader reference = {};
    bool readFailed = false;
    for (int pass = 0; pass < 2 && !readFailed; ++pass) {
        ops.Seek(data, skip, SeekOrigin_Start);
        area->TotalSamples = 0;
        referenceOffset = -1;
        int64_t position = skip;
        for (;;) {
            uint8_t bytes[4];
            if (SoundConvert_ReadBytes(record, bytes, 1) != 1) {
                readFailed = true;
                break;
            }
            if (bytes[0] != 0xFF) {
                ++position;
                continue;
            }
            if (SoundConvert_ReadBytes(record, bytes + 1, 1) != 1) {
                readFailed = true;
                break;
            }
            if ((bytes[1] & 0xE0) != 0xE0) {
                ++position;
                ops.Seek(data, position, SeekOrigin_Start);
                continue;
            }
            if (SoundConvert_ReadBytes(record, bytes + 2, 2) != 2) {
                readFailed = true;
                break;
            }
            Mp3FrameHeader frame;
            if (SoundConvertWin_Mp3_ParseFrameHeader(bytes, &frame) != 0 || frame.FrameLength == 0) return -1;
            if (pass == 0) {
                if (referenceOffset < 0) {
                    referenceOffset = position;
                    reference = frame;
                }
                if (frame.SampleRate > largestRate) largestRate = frame.SampleRate;
            } else if (referenceOffset < 0) {
                if (frame.SampleRate == largestRate) {
                    referenceOffset = position;
                    reference = frame;
                }
            } else if (frame.Channels != reference.Channels || frame.SampleRate != reference.SampleRate) {
                return -1;
            }
            area->TotalSamples += frame.SamplesPerFrame;
            int64_t frameEnd = position + frame.FrameLength;
            dataEnd = frameEnd < limit ? frameEnd : limit;
            if (frameEnd >= limit) break;
            position = frameEnd;
            ops.Seek(data, position, SeekOrigin_Start);
        }
    }
    if (referenceOffset < 0) return -1;
    uint8_t bytes[4];
    ops.Seek(data, referenceOffset, SeekOrigin_Start);
    if (SoundConvert_ReadBytes(record, bytes, 4) != 4 || SoundConvertWin_Mp3_ParseFrameHeader(bytes, &reference) != 0)
        return -1;

    DWORD formatSize = 32;
    SoundConvertWin.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &formatSize);
    if (formatSize < sizeof(MPEGLAYER3WAVEFORMAT)) formatSize = sizeof(MPEGLAYER3WAVEFORMAT);
    if (formatSize > 0x10000) formatSize = 0x10000;
    MPEGLAYER3WAVEFORMAT* format =
        static_cast<MPEGLAYER3WAVEFORMAT*>(Memory_AllocateZeroed(formatSize, "VtSoundConvertAcm", __LINE__));
    if (format == nullptr) return -1;
    area->SourceFormat = &format->wfx;
    format->wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    format->wfx.nChannels = reference.Channels;
    format->wfx.nSamplesPerSec = reference.SampleRate;
    format->wfx.nAvgBytesPerSec = reference.Bitrate * 1000 / 8;
    format->wfx.nBlockAlign = 1;
    format->wfx.wBitsPerSample = 0;
    format->wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    format->wID = MPEGLAYER3_ID_MPEG;
    format->fdwFlags = reference.Padding;
    format->nBlockSize = WORD(reference.FrameLength);
    format->nFramesPerBlock = 1;
    format->nCodecDelay = 700;

    record->DataStart = referenceOffset;
    record->DataSize = dataEnd - referenceOffset;
    if (Acm_Finish(record, 4) != 0) {
        Acm_Release(area);
        return -1;
    }
    return 0;
}

int SoundConvertWin_Acm_Step(SoundConvertRecord* record)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    uint32_t used, produced;

    // The look-ahead decoder walks towards the loop start, one piece per step.
    int64_t loopStart = record->LoopStartBytePosition;
    if (loopStart != area->LookAheadOutputPosition && area->LookAheadDecoder != nullptr) {
        if (area->LookAheadOutputPosition > loopStart) {
            Acm_CloseDecoder(&area->LookAheadDecoder);
            area->LookAheadDecoder = Acm_OpenDecoder(record);
            area->LookAheadSourcePosition = area->LookAheadOutputPosition = 0;
        }
        int64_t sourceLeft = area->SourceDataSize - area->LookAheadSourcePosition;
        if (loopStart - ACM_LOOK_AHEAD_MARGIN > area->LookAheadOutputPosition && sourceLeft > 0) {
            int64_t wanted = loopStart - area->LookAheadOutputPosition;
            if (Acm_ConvertPiece(area->LookAheadDecoder, area->SourceData + area->LookAheadSourcePosition,
                                 uint32_t(sourceLeft < area->PieceSize ? sourceLeft : area->PieceSize),
                                 area->LookAheadBuffer,
                                 uint32_t(wanted < record->StagingSize ? wanted : record->StagingSize), &used,
                                 &produced) != 0)
                return -1;
            area->LookAheadSourcePosition += used;
            area->LookAheadOutputPosition += produced;
        }
    }

    int64_t sourceLeft = area->SourceDataSize - area->MainSourcePosition;
    if (sourceLeft <= 0) return -1;
    if (Acm_ConvertPiece(area->MainDecoder, area->SourceData + area->MainSourcePosition,
                         uint32_t(sourceLeft < area->PieceSize ? sourceLeft : area->PieceSize), record->StagingBuffer,
                         uint32_t(record->StagingSize), &used, &produced) != 0)
        return -1;
    area->MainSourcePosition += used;
    record->Staged = produced - produced % record->OutputFormat.nBlockAlign;
    if (record->Staged == 0) {
        area->MainSourcePosition = area->SourceDataSize;
        return -1;
    }
    return 0;
}

void SoundConvertWin_Acm_Seek(SoundConvertRecord* record, int64_t sample)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    int64_t target = sample * record->OutputFormat.nBlockAlign;
    if (target >= record->Position && target - record->Position <= record->Staged) {
        int64_t d = target - record->Position;
        record->StagingOffset += d;
        record->Staged -= d;
        record->Position = target;
        return;
    }
    if (target < record->Position && target >= area->LookAheadOutputPosition && area->LookAheadDecoder != nullptr) {
        // The look-ahead decoder is already where the jump lands (or before it): it takes over.
        Acm_CloseDecoder(&area->MainDecoder);
        area->MainDecoder = area->LookAheadDecoder;
        area->MainSourcePosition = area->LookAheadSourcePosition;
        record->Position = area->LookAheadOutputPosition;
        record->Staged = record->StagingOffset = 0;
        area->LookAheadDecoder = Acm_OpenDecoder(record);
        area->LookAheadSourcePosition = area->LookAheadOutputPosition = 0;
    } else if (target < record->Position) {
        Acm_CloseDecoder(&area->MainDecoder);
        area->MainDecoder = Acm_OpenDecoder(record);
        record->Source.ops.Seek(record->Source.data, record->DataStart, SeekOrigin_Start);
        area->MainSourcePosition = 0;
        record->Staged = record->StagingOffset = record->Position = 0;
    }
    while (record->Position + record->Staged < target) {
        record->Position += record->Staged;
        record->Staged = record->StagingOffset = 0;
        if (SoundConvertWin_Acm_Step(record) != 0) {
            record->Staged = 0;
            return;
        }
    }
    int64_t d = target - record->Position;
    record->StagingOffset += d;
    record->Staged -= d;
    record->Position = target;
}

int64_t SoundConvertWin_Acm_GetTotalBytes(SoundConvertRecord* record)
{
    SoundConvertAcmArea* area = Acm_Area(record);
    if (area->TotalSamples >= 0) return area->TotalSamples * record->OutputFormat.nBlockAlign;
    DWORD output = 0;
    if (area->MainDecoder == nullptr ||
        SoundConvertWin.acmStreamSize(area->MainDecoder, DWORD(area->SourceDataSize), &output, ACM_STREAMSIZEF_SOURCE) != 0)
        return 0;
    return output;
}

void SoundConvertWin_Acm_Close(SoundConvertRecord* record) { Acm_Release(Acm_Area(record)); }

}  // namespace Vantrel
