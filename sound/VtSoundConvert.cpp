// Sound conversion front end: the set-up chain, the staging buffer that every converter fills, runs,
// seeks and whole conversions, and the WAVE/RF64 converter (PCM of any width, IEEE float, extensible).
// Stands on the foundation's streams and memory layer; the other converters plug in by kind.
#include "sound/VtSoundConvert.h"
#include "sound/VtSound.h"

#include <string.h>

#include "foundation/VtMemory.h"

namespace Vantrel {

namespace {

// The per-kind operations of the converters the front end drives.
struct SoundConverterOps {
    int (*Step)(SoundConvertRecord* record);
    void (*Seek)(SoundConvertRecord* record, int64_t sample);
    int64_t (*GetTotalBytes)(SoundConvertRecord* record);
    void (*Close)(SoundConvertRecord* record);
};

const SoundConverterOps SoundConverters[] = {
    {SoundConvert_Wave_Step, SoundConvert_Wave_Seek, SoundConvert_Wave_GetTotalBytes, SoundConvert_Wave_Close},
    {SoundConvert_Ogg_Step, SoundConvert_Ogg_Seek, SoundConvert_Ogg_GetTotalBytes, SoundConvert_Ogg_Close},
    {SoundConvert_Opus_Step, SoundConvert_Opus_Seek, SoundConvert_Opus_GetTotalBytes, SoundConvert_Opus_Close},
    {SoundConvertWin_Acm_Step, SoundConvertWin_Acm_Seek, SoundConvertWin_Acm_GetTotalBytes, SoundConvertWin_Acm_Close},
    {SoundConvertWin_DSMP3_Step, SoundConvertWin_DSMP3_Seek, SoundConvertWin_DSMP3_GetTotalBytes,
     SoundConvertWin_DSMP3_Close},
    {SoundConvertWin_MF_Step, SoundConvertWin_MF_Seek, SoundConvertWin_MF_GetTotalBytes, SoundConvertWin_MF_Close},
};

const SoundConverterOps* SoundConvert_Ops(const SoundConvertRecord* record)
{
    if (record->Kind < 0 || record->Kind >= int32_t(sizeof(SoundConverters) / sizeof(SoundConverters[0]))) return nullptr;
    return &SoundConverters[record->Kind];
}

// The staging buffer and a converter's own read buffer never exceed this, whatever rate a header claims.
constexpr int64_t SOUND_CONVERT_STAGING_LIMIT = 4 << 20;

int SoundConvert_SeekStream(SoundConvertRecord* record, int64_t offset, int origin)
{
    return record->Source.ops.Seek(record->Source.data, offset, origin);
}

int64_t SoundConvert_TellStream(SoundConvertRecord* record) { return record->Source.ops.Tell(record->Source.data); }

// Frees what the converter in use holds and the staging buffer, whatever the initialised flag says.
void SoundConvert_Release(SoundConvertRecord* record)
{
    if (const SoundConverterOps* ops = SoundConvert_Ops(record)) ops->Close(record);
    if (record->StagingBuffer != nullptr) Memory_Free(record->StagingBuffer);
    record->StagingBuffer = nullptr;
    record->Kind = -1;
    record->Initialized = 0;
}

// Moves the conversion to a sample, as the converter's seek does; negative samples count as 0 and the
// byte position saturates instead of wrapping.
void SoundConvert_SeekConverter(SoundConvertRecord* record, int64_t sample)
{
    int64_t blockAlign = record->OutputFormat.nBlockAlign;
    if (sample < 0) sample = 0;
    if (blockAlign > 0 && sample > INT64_MAX / 2 / blockAlign) sample = INT64_MAX / 2 / blockAlign;
    SoundConvert_Ops(record)->Seek(record, sample);
    record->EndFlag = 0;
}

}  // namespace

uint32_t SoundConvert_ReadBytes(SoundConvertRecord* record, void* buffer, uint32_t bytes)
{
    if (bytes == 0) return 0;
    uint32_t got = record->Source.ops.Read(buffer, 1, bytes, record->Source.data);
    return got > bytes ? bytes : got;
}

int64_t SoundConvert_StreamLength(SoundConvertRecord* record)
{
    int64_t here = SoundConvert_TellStream(record);
    if (SoundConvert_SeekStream(record, 0, SeekOrigin_End) != 0) return -1;
    int64_t length = SoundConvert_TellStream(record);
    SoundConvert_SeekStream(record, here < 0 ? 0 : here, SeekOrigin_Start);
    return length;
}

void SoundConvert_SetPcmOutput(SoundConvertRecord* record, int channels, int rate, int bitsPerSample)
{
    WAVEFORMATEX& format = record->OutputFormat;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = WORD(channels);
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = WORD(bitsPerSample);
    format.nBlockAlign = WORD(channels * (bitsPerSample / 8));
    format.nAvgBytesPerSec = DWORD(format.nBlockAlign) * DWORD(rate);
    format.cbSize = 0;
}

// Module start and end: the platform converters (ACM) are loaded at start and freed at the end.
static bool SoundConvertStarted = false;

int SoundConvert_Initialize()
{
    if (SoundConvertStarted) return -1;
    if (SoundConvertWin_Initialize() != 0) return -1;
    SoundConvertStarted = true;
    return 0;
}

int SoundConvert_Terminate()
{
    if (!SoundConvertStarted) return -1;
    SoundConvertWin_Terminate();
    SoundConvertStarted = false;
    return 0;
}

int SoundConvert_Setup(SoundConvertRecord* record, const Stream* stream, int32_t disableFlags,
                       int32_t oggBytesPerSample, int32_t vorbisVariant)
{
    if (record == nullptr || stream == nullptr) return -1;
    if (record->Initialized) SoundConvert_Release(record);
    record->Source = *stream;
    record->OggBytesPerSample = oggBytesPerSample == 1 ? 1 : 2;
    record->VorbisVariant = vorbisVariant;
    record->LoopStartBytePosition = 0;
    record->StagingBuffer = nullptr;
    record->Kind = -1;
    SoundConvert_SeekStream(record, 0, SeekOrigin_Start);

    int accepted = -1;
    if (!(disableFlags & SoundConvertDisable_Wave)) {
        accepted = SoundConvert_Wave_Setup(record);
        if (accepted != 0) SoundConvert_SeekStream(record, 0, SeekOrigin_Start);
    }
    if (accepted != 0 && !(disableFlags & SoundConvertDisable_OggVorbis)) {
        accepted = SoundConvert_Ogg_Setup(record);
        if (accepted != 0) SoundConvert_SeekStream(record, 0, SeekOrigin_Start);
    }
    if (accepted != 0 && !(disableFlags & SoundConvertDisable_Opus)) {
        accepted = SoundConvert_Opus_Setup(record);
        if (accepted != 0) SoundConvert_SeekStream(record, 0, SeekOrigin_Start);
    }
    if (accepted != 0) accepted = SoundConvertWin_Setup(record, disableFlags);
    if (accepted != 0) {
        record->Kind = -1;
        return -1;
    }

    record->Initialized = 0;
    record->EndFlag = 0;
    if (record->StagingSize <= 0 || record->StagingSize > SOUND_CONVERT_STAGING_LIMIT ||
        record->OutputFormat.nBlockAlign == 0 ||
        (record->StagingBuffer = static_cast<uint8_t*>(
             Memory_Allocate(uint32_t(record->StagingSize), "VtSoundConvert", __LINE__))) == nullptr) {
        SoundConvert_Release(record);
        return -1;
    }
    record->Staged = 0;
    record->StagingOffset = 0;
    record->Position = 0;
    record->Initialized = 1;
    return 0;
}

int64_t SoundConvert_Run(SoundConvertRecord* record, void* destination, int64_t count)
{
    if (!record->Initialized || record->EndFlag || count <= 0) return 0;
    const SoundConverterOps* ops = SoundConvert_Ops(record);
    uint8_t* out = static_cast<uint8_t*>(destination);
    int64_t done = 0;
    while (done < count) {
        if (record->Staged == 0) {
            // With room for a whole step left, the step writes straight into the destination.
            record->StagingOffset = 0;
            uint8_t* staging = record->StagingBuffer;
            const bool direct = count - done >= record->StagingSize;
            if (direct) record->StagingBuffer = out + done;
            int result = ops->Step(record);
            record->StagingBuffer = staging;
            if (result != 0) {
                record->Staged = 0;
                record->EndFlag = 1;
                break;
            }
            if (direct) {
                done += record->Staged;
                record->Position += record->Staged;
                record->Staged = 0;
            }
            continue;
        }
        int64_t n = count - done < record->Staged ? count - done : record->Staged;
        memcpy(out + done, record->StagingBuffer + record->StagingOffset, size_t(n));
        record->Staged -= n;
        record->StagingOffset += n;
        record->Position += n;
        done += n;
    }
    return done;
}

int SoundConvert_SetSampleTime(SoundConvertRecord* record, int64_t sample)
{
    if (!record->Initialized) return 0;
    int64_t blockAlign = record->OutputFormat.nBlockAlign;
    if (sample < 0) sample = 0;
    if (sample > INT64_MAX / 2 / blockAlign) sample = INT64_MAX / 2 / blockAlign;
    int64_t distance = sample * blockAlign - record->Position;
    if (distance > -16 && distance < 16) return 0;
    SoundConvert_SeekConverter(record, sample);
    return 0;
}

int SoundConvert_ConvertWhole(SoundConvertRecord* record, WAVEFORMATEX* format, void** data, uint32_t* size)
{
    if (!record->Initialized) return -1;
    int64_t total = SoundConvert_GetTotalBytes(record);
    if (total < 0 || total > int64_t(UINT32_MAX) - 16) return -1;
    uint8_t* block = static_cast<uint8_t*>(Memory_Allocate(uint32_t(total) + 1, "VtSoundConvert", __LINE__));
    if (block == nullptr) return -1;
    if (record->Position != 0 || record->EndFlag || record->Staged != 0) SoundConvert_SeekConverter(record, 0);

    int64_t delivered;
    if (record->Kind == SoundConvertKind_Wave && !SoundConvert_Area<SoundConvertWaveArea>(record)->FloatSource) {
        // PCM: the whole data in one read; a short read delivers the whole frames it brought.
        delivered = SoundConvert_ReadBytes(record, block, uint32_t(total));
        delivered -= delivered % record->OutputFormat.nBlockAlign;
        record->Position += delivered;
        if (delivered < total) record->EndFlag = 1;
    } else {
        delivered = SoundConvert_Run(record, block, total);
    }
    if (format != nullptr) *format = record->OutputFormat;
    *data = block;
    *size = uint32_t(delivered);
    return 0;
}

int SoundConvert_Close(SoundConvertRecord* record)
{
    if (!record->Initialized) return -1;
    SoundConvert_Release(record);
    return 0;
}

int SoundConvert_GetOutputFormat(SoundConvertRecord* record, WAVEFORMATEX* out)
{
    *out = record->OutputFormat;
    return 0;
}

int64_t SoundConvert_GetTotalBytes(SoundConvertRecord* record)
{
    const SoundConverterOps* ops = SoundConvert_Ops(record);
    return ops == nullptr ? 0 : ops->GetTotalBytes(record);
}

int SoundConvert_IsEnd(SoundConvertRecord* record) { return record->EndFlag; }

int SoundConvert_SetLoopStartSample(SoundConvertRecord* record, int64_t sample)
{
    record->LoopStartBytePosition = sample * record->OutputFormat.nBlockAlign;
    return 0;
}

int SoundConvert_GetLoopArea(SoundConvertRecord* record, int64_t* start, int64_t* end)
{
    if (start != nullptr) *start = -1;
    if (end != nullptr) *end = -1;
    int64_t loopStart = -1, loopEnd = -1;
    if (record->Kind == SoundConvertKind_Wave) {
        loopStart = SoundConvert_Area<SoundConvertWaveArea>(record)->LoopStart;
        loopEnd = SoundConvert_Area<SoundConvertWaveArea>(record)->LoopEnd;
    } else if (record->Kind == SoundConvertKind_OggVorbis) {
        if (SoundConvert_Ogg_GetLoopArea(record, &loopStart, &loopEnd) != 0) return -1;
    }
    if (loopStart < 0 || loopEnd < 0) return -1;
    if (start != nullptr) *start = loopStart;
    if (end != nullptr) *end = loopEnd;
    return 0;
}

// ---- WAVE and RF64 -----------------------------------------------------------------------------------

namespace {

uint16_t Wave_Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Wave_Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Wave_Get64(const uint8_t* p) { return uint64_t(Wave_Get32(p)) | uint64_t(Wave_Get32(p + 4)) << 32; }

// What the chunk walks of one file share.
struct WaveWalk {
    SoundConvertRecord* Record;
    int Rf64;
    uint64_t Ds64DataSize;
};

// Reads one 8-byte chunk header; a short read fails.
int Wave_ReadChunkHeader(SoundConvertRecord* record, char id[4], uint32_t* size)
{
    uint8_t header[8];
    if (SoundConvert_ReadBytes(record, header, 8) != 8) return -1;
    memcpy(id, header, 4);
    *size = Wave_Get32(header + 4);
    return 0;
}

// Skips a chunk body of the given size and its word-alignment byte; a 64-bit size beyond any stream
// moves to its end, never backwards.
void Wave_SkipChunk(SoundConvertRecord* record, uint64_t size)
{
    if (size > uint64_t(INT64_MAX / 4)) size = uint64_t(INT64_MAX / 4);
    SoundConvert_SeekStream(record, int64_t(size + (size & 1)), SeekOrigin_Current);
}

// Reads chunk headers from the stream position until the wanted id; every other chunk is skipped (in
// RF64 files a "data" chunk by the ds64 size). Fails at the end of the stream, or once the position
// reaches limit (when limit >= 0).
int Wave_SearchChunk(WaveWalk* walk, const char* wanted, uint32_t* size, int64_t limit)
{
    SoundConvertRecord* record = walk->Record;
    for (;;) {
        if (record->Source.ops.Eof(record->Source.data)) return -1;
        if (limit >= 0 && SoundConvert_TellStream(record) >= limit) return -1;
        char id[4];
        if (Wave_ReadChunkHeader(record, id, size) != 0) return -1;
        if (memcmp(id, wanted, 4) == 0) return 0;
        if (walk->Rf64 && memcmp(id, "data", 4) == 0) Wave_SkipChunk(record, walk->Ds64DataSize);
        else Wave_SkipChunk(record, *size);
    }
}

// The sub-format of an extensible format chunk: its first two bytes carry the format tag, the rest
// is the base GUID {xxxxxxxx-0000-0010-8000-00AA00389B71}.
int Wave_ExtensibleTag(const uint8_t* body, uint32_t size)
{
    static const uint8_t baseGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (size < 40 || Wave_Get16(body + 16) < 22) return -1;
    if (Wave_Get16(body + 26) != 0 || memcmp(body + 28, baseGuidTail, 12) != 0) return -1;
    return Wave_Get16(body + 24);
}

void Wave_FreeFloatBuffer(SoundConvertWaveArea* area)
{
    if (area->FloatBuffer != nullptr) Memory_Free(area->FloatBuffer);
    area->FloatBuffer = nullptr;
}

// Reads the "fmt " chunk whose header was just read and fills the output and source formats.
int Wave_ReadFormat(SoundConvertRecord* record, uint32_t size)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    uint8_t body[64] = {};
    record->FormatChunkOffset = SoundConvert_TellStream(record);
    record->FormatChunkSize = size;
    uint32_t wanted = size < sizeof(body) ? size : uint32_t(sizeof(body));
    if (size < 16 || SoundConvert_ReadBytes(record, body, wanted) != wanted) return -1;
    SoundConvert_SeekStream(record, record->FormatChunkOffset + int64_t(size) + (size & 1), SeekOrigin_Start);

    memset(record->Area, 0, sizeof(record->Area));
    memset(&record->OutputFormat, 0, sizeof(record->OutputFormat));
    area->LoopStart = area->LoopEnd = -1;

    int tag = Wave_Get16(body);
    if (tag == WAVE_FORMAT_EXTENSIBLE) tag = Wave_ExtensibleTag(body, size);
    int channels = Wave_Get16(body + 2);
    uint32_t rate = Wave_Get32(body + 4);
    int blockAlign = Wave_Get16(body + 12);
    int bits = Wave_Get16(body + 14);
    // Zero channels, rate or block align describe nothing that can be played (and would be divided by).
    if (channels == 0 || rate == 0 || blockAlign == 0 || rate > INT32_MAX) return -1;
    if (tag == WAVE_FORMAT_PCM) {
        memcpy(&record->OutputFormat, body, size < 18 ? size : 18);
        if (size == 16) bits = blockAlign / channels * 8;
        if (bits == 0) return -1;
        SoundConvert_SetPcmOutput(record, channels, int(rate), bits);
        record->OutputFormat.nBlockAlign = WORD(blockAlign);
        record->OutputFormat.nAvgBytesPerSec = DWORD(uint64_t(blockAlign) * rate);
    } else if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        if ((bits != 32 && bits != 64) || blockAlign != channels * bits / 8) return -1;
        SoundConvert_SetPcmOutput(record, channels, int(rate), 16);
        area->FloatSource = 1;
    } else {
        return -1;
    }
    memcpy(&area->SourceFormat, body, size < 18 ? size : 18);
    area->SourceFormat.nBlockAlign = WORD(blockAlign);
    return 0;
}

// Loop points of a "smpl" chunk whose header was just read: the first sample loop's start and end.
void Wave_ReadSampleLoop(SoundConvertRecord* record, uint32_t size)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    uint8_t body[60];
    if (size < 60 || SoundConvert_ReadBytes(record, body, 60) != 60) return;
    area->LoopStart = int64_t(Wave_Get32(body + 44));
    area->LoopEnd = int64_t(Wave_Get32(body + 48));
}

}  // namespace

int SoundConvert_Wave_Setup(SoundConvertRecord* record)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    area->FloatBuffer = nullptr;
    area->LoopStart = area->LoopEnd = -1;
    WaveWalk walk = {record, 0, 0};

    char id[4];
    uint32_t size;
    uint8_t form[4];
    if (Wave_ReadChunkHeader(record, id, &size) != 0) return -1;
    if (memcmp(id, "RF64", 4) == 0) walk.Rf64 = 1;
    else if (memcmp(id, "RIFF", 4) != 0) return -1;
    if (SoundConvert_ReadBytes(record, form, 4) != 4 || memcmp(form, "WAVE", 4) != 0) return -1;
    int64_t afterWave = SoundConvert_TellStream(record);

    if (walk.Rf64) {
        uint8_t ds64[28];
        if (Wave_SearchChunk(&walk, "ds64", &size, -1) != 0 || size < 28) return -1;
        int64_t body = SoundConvert_TellStream(record);
        if (SoundConvert_ReadBytes(record, ds64, 28) != 28) return -1;
        walk.Ds64DataSize = Wave_Get64(ds64 + 8);
        SoundConvert_SeekStream(record, body + int64_t(size) + (size & 1), SeekOrigin_Start);
    }

    if (Wave_SearchChunk(&walk, "fmt ", &size, -1) != 0 || Wave_ReadFormat(record, size) != 0) return -1;
    int64_t sourceBlockAlign = area->SourceFormat.nBlockAlign;
    const WAVEFORMATEX& output = record->OutputFormat;

    if (Wave_SearchChunk(&walk, "data", &size, -1) != 0) return -1;
    record->DataStart = SoundConvert_TellStream(record);
    uint64_t chunkSize = walk.Rf64 ? walk.Ds64DataSize : size;
    // A data chunk that claims more than the stream holds ends where the stream ends.
    int64_t dataSize = chunkSize > uint64_t(INT64_MAX / 2) ? INT64_MAX / 2 : int64_t(chunkSize);
    int64_t length = SoundConvert_StreamLength(record);
    if (length >= 0 && dataSize > length - record->DataStart) dataSize = length - record->DataStart;
    if (dataSize < 0) dataSize = 0;
    record->DataSize = dataSize - dataSize % sourceBlockAlign;

    // One second of PCM (a whole number of frames, within the staging limit); float sources read the
    // same number of frames.
    int64_t frames = output.nSamplesPerSec;
    if (frames * output.nBlockAlign > SOUND_CONVERT_STAGING_LIMIT) frames = SOUND_CONVERT_STAGING_LIMIT / output.nBlockAlign;
    if (frames * sourceBlockAlign > SOUND_CONVERT_STAGING_LIMIT) frames = SOUND_CONVERT_STAGING_LIMIT / sourceBlockAlign;
    if (frames == 0) return -1;
    record->StagingSize = frames * output.nBlockAlign;
    if (area->FloatSource) {
        area->FloatBufferSize = frames * sourceBlockAlign;
        area->FloatBuffer = static_cast<float*>(Memory_Allocate(uint32_t(area->FloatBufferSize), "VtSoundConvert", __LINE__));
        if (area->FloatBuffer == nullptr) return -1;
    }

    // Loop points: a "smpl" chunk after the data, else one between "WAVE" and the data.
    SoundConvert_SeekStream(record, record->DataStart, SeekOrigin_Start);
    Wave_SkipChunk(record, chunkSize);
    if (Wave_SearchChunk(&walk, "smpl", &size, -1) == 0) {
        Wave_ReadSampleLoop(record, size);
    } else {
        SoundConvert_SeekStream(record, afterWave, SeekOrigin_Start);
        if (Wave_SearchChunk(&walk, "smpl", &size, record->DataStart) == 0) Wave_ReadSampleLoop(record, size);
    }

    SoundConvert_SeekStream(record, record->DataStart, SeekOrigin_Start);
    record->Kind = SoundConvertKind_Wave;
    return 0;
}

int SoundConvert_Wave_Step(SoundConvertRecord* record)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    int64_t remaining = record->DataSize - (SoundConvert_TellStream(record) - record->DataStart);
    if (remaining <= 0) return -1;
    if (!area->FloatSource) {
        int64_t n = remaining < record->StagingSize ? remaining : record->StagingSize;
        int64_t got = SoundConvert_ReadBytes(record, record->StagingBuffer, uint32_t(n));
        got -= got % record->OutputFormat.nBlockAlign;
        if (got == 0) return -1;  // a short read is the end of the data
        record->Staged = got;
        return 0;
    }

    int64_t n = remaining < area->FloatBufferSize ? remaining : area->FloatBufferSize;
    int64_t got = SoundConvert_ReadBytes(record, area->FloatBuffer, uint32_t(n));
    int sourceBlockAlign = area->SourceFormat.nBlockAlign;
    int64_t frames = got / sourceBlockAlign;
    if (frames == 0) return -1;
    int64_t samples = frames * record->OutputFormat.nChannels;
    int16_t* out = reinterpret_cast<int16_t*>(record->StagingBuffer);
    const bool doubles = area->SourceFormat.wBitsPerSample == 64;
    for (int64_t i = 0; i < samples; ++i) {
        double value;
        if (doubles) {
            memcpy(&value, reinterpret_cast<const uint8_t*>(area->FloatBuffer) + i * 8, 8);
        } else {
            value = area->FloatBuffer[i];
        }
        value *= 32768.0;
        // Out-of-range and infinite samples clamp; NaN has no level and becomes silence.
        if (value >= 32767.0) out[i] = 32767;
        else if (value <= -32768.0) out[i] = -32768;
        else if (value != value) out[i] = 0;
        else out[i] = int16_t(value);
    }
    record->Staged = frames * record->OutputFormat.nBlockAlign;
    return 0;
}

void SoundConvert_Wave_Seek(SoundConvertRecord* record, int64_t sample)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    SoundConvert_SeekStream(record, record->DataStart + sample * area->SourceFormat.nBlockAlign, SeekOrigin_Start);
    record->Position = sample * record->OutputFormat.nBlockAlign;
    record->Staged = 0;
    record->StagingOffset = 0;
}

int64_t SoundConvert_Wave_GetTotalBytes(SoundConvertRecord* record)
{
    SoundConvertWaveArea* area = SoundConvert_Area<SoundConvertWaveArea>(record);
    if (!area->FloatSource) return record->DataSize;
    return record->DataSize / area->SourceFormat.nBlockAlign * record->OutputFormat.nBlockAlign;
}

void SoundConvert_Wave_Close(SoundConvertRecord* record)
{
    Wave_FreeFloatBuffer(SoundConvert_Area<SoundConvertWaveArea>(record));
}

}  // namespace Vantrel
