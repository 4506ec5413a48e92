// Opus converter of the sound conversion: decodes Ogg Opus through opusfile over the record's stream,
// always as 16-bit PCM at 48,000 samples per second. Stands on the front end (VtSoundConvert).
#include "sound/VtSoundConvert.h"

#include <string.h>

#include <opusfile.h>

namespace Vantrel {

namespace {

struct SoundConvertOpusArea {
    int32_t Opened;
    OggOpusFile* Reader;
    int32_t BlockAlign;  // channels x 2
};

SoundConvertOpusArea* Opus_Area(SoundConvertRecord* record) { return SoundConvert_Area<SoundConvertOpusArea>(record); }

// opusfile's view of the record's stream (the data source is the record's Stream copy).
int Opus_Read(void* source, unsigned char* buffer, int bytes)
{
    if (source == nullptr || bytes < 0) return -1;
    Stream* stream = static_cast<Stream*>(source);
    return int(stream->ops.Read(buffer, 1, uint32_t(bytes), stream->data));
}

int Opus_Seek(void* source, opus_int64 offset, int origin)
{
    if (source == nullptr) return -1;
    Stream* stream = static_cast<Stream*>(source);
    return stream->ops.Seek(stream->data, offset, origin);
}

opus_int64 Opus_Tell(void* source)
{
    if (source == nullptr) return -1;
    Stream* stream = static_cast<Stream*>(source);
    return stream->ops.Tell(stream->data);
}

int Opus_Close(void*) { return 0; }

}  // namespace

int SoundConvert_Opus_Setup(SoundConvertRecord* record)
{
    static const OpusFileCallbacks callbacks = {Opus_Read, Opus_Seek, Opus_Tell, Opus_Close};
    SoundConvertOpusArea* area = Opus_Area(record);
    memset(area, 0, sizeof(*area));
    int error = 0;
    area->Reader = op_open_callbacks(&record->Source, &callbacks, nullptr, 0, &error);
    if (area->Reader == nullptr) return -1;
    area->Opened = 1;
    const OpusHead* head = op_head(area->Reader, -1);
    if (head == nullptr || head->channel_count <= 0) {
        // The reader is freed here: a refused file keeps nothing.
        SoundConvert_Opus_Close(record);
        return -1;
    }
    SoundConvert_SetPcmOutput(record, head->channel_count, 48000, 16);
    area->BlockAlign = head->channel_count * 2;
    record->StagingSize = 4096;
    record->Kind = SoundConvertKind_Opus;
    record->DataSize = SoundConvert_Opus_GetTotalBytes(record);
    return 0;
}

int SoundConvert_Opus_Step(SoundConvertRecord* record)
{
    SoundConvertOpusArea* area = Opus_Area(record);
    // The size is in 16-bit values: the whole staging buffer.
    int frames = op_read(area->Reader, reinterpret_cast<opus_int16*>(record->StagingBuffer), int(record->StagingSize / 2),
                         nullptr);
    if (frames <= 0) return -1;
    int64_t bytes = int64_t(frames) * area->BlockAlign;
    // A chained link with fewer channels gives more frames per value; never stage beyond the buffer.
    record->Staged = bytes < record->StagingSize ? bytes : record->StagingSize - record->StagingSize % area->BlockAlign;
    return 0;
}

void SoundConvert_Opus_Seek(SoundConvertRecord* record, int64_t sample)
{
    op_pcm_seek(Opus_Area(record)->Reader, sample);
    record->Staged = 0;
    record->StagingOffset = 0;
    record->Position = sample * record->OutputFormat.nBlockAlign;
}

int64_t SoundConvert_Opus_GetTotalBytes(SoundConvertRecord* record)
{
    SoundConvertOpusArea* area = Opus_Area(record);
    return op_pcm_total(area->Reader, -1) * area->BlockAlign;
}

void SoundConvert_Opus_Close(SoundConvertRecord* record)
{
    SoundConvertOpusArea* area = Opus_Area(record);
    if (!area->Opened) return;
    op_free(area->Reader);
    area->Reader = nullptr;
    area->Opened = 0;
}

}  // namespace Vantrel
