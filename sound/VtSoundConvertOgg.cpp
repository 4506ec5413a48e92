// Ogg Vorbis converter of the sound conversion: decodes through vorbisfile over the record's stream and
// reads the loop points of the comments LOOPSTART= and LOOPLENGTH=. Stands on the front end
// (VtSoundConvert) and the strings of the foundation.
#include "sound/VtSoundConvert.h"

#include <string.h>

#include <vorbis/vorbisfile.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtString.h"

namespace Vantrel {

namespace {

struct SoundConvertOggArea {
    int32_t Opened;
    OggVorbis_File File;
    int32_t BytesPerSample;
    int64_t LoopStart;  // samples; -1 when there is no loop
    int64_t LoopEnd;
};

SoundConvertOggArea* Ogg_Area(SoundConvertRecord* record) { return SoundConvert_Area<SoundConvertOggArea>(record); }

// vorbisfile's view of the record's stream (the data source is the record's Stream copy).
size_t Ogg_Read(void* buffer, size_t size, size_t count, void* source)
{
    if (source == nullptr) return size_t(-1);
    Stream* stream = static_cast<Stream*>(source);
    if (size > UINT32_MAX || count > UINT32_MAX) return 0;
    return stream->ops.Read(buffer, uint32_t(size), uint32_t(count), stream->data);
}

int Ogg_Seek(void* source, ogg_int64_t offset, int origin)
{
    if (source == nullptr) return -1;
    Stream* stream = static_cast<Stream*>(source);
    return stream->ops.Seek(stream->data, offset, origin);
}

int Ogg_Close(void*) { return 0; }

long Ogg_Tell(void* source)
{
    if (source == nullptr) return -1;
    Stream* stream = static_cast<Stream*>(source);
    return long(int32_t(stream->ops.Tell(stream->data)));
}

// The loop of the comments: LOOPSTART with LOOPLENGTH, either alone, or none.
void Ogg_ReadLoopComments(SoundConvertOggArea* area)
{
    area->LoopStart = area->LoopEnd = -1;
    vorbis_comment* comments = ov_comment(&area->File, -1);
    if (comments == nullptr || comments->comments <= 0) return;
    int64_t loopStart = -1, loopLength = -1;
    for (int i = 0; i < comments->comments; ++i) {
        const char* comment = comments->user_comments[i];
        if (comment == nullptr) continue;
        if (CharCode_CompareStringN(CodePage_Ascii, comment, "LOOPSTART=", 10) == 0) {
            loopStart = CharCode_StringToInt64(CodePage_Ascii, comment + 10);
        } else if (CharCode_CompareStringN(CodePage_Ascii, comment, "LOOPLENGTH=", 11) == 0) {
            loopLength = CharCode_StringToInt64(CodePage_Ascii, comment + 11);
        }
    }
    if (loopStart < 0 && loopLength <= 0) return;
    if (loopStart < 0) {
        area->LoopStart = 0;
        area->LoopEnd = loopLength;
    } else if (loopLength <= 0) {
        area->LoopStart = loopStart;
        area->LoopEnd = ov_pcm_total(&area->File, -1);
    } else {
        area->LoopStart = loopStart;
        area->LoopEnd = loopStart + loopLength;
    }
}

}  // namespace

int SoundConvert_Ogg_Setup(SoundConvertRecord* record)
{
    static const ov_callbacks callbacks = {Ogg_Read, Ogg_Seek, Ogg_Close, Ogg_Tell};
    SoundConvertOggArea* area = Ogg_Area(record);
    memset(area, 0, sizeof(*area));
    if (ov_open_callbacks(&record->Source, &area->File, nullptr, 0, callbacks) != 0) return -1;
    area->Opened = 1;
    vorbis_info* info = ov_info(&area->File, -1);
    if (info == nullptr || info->channels <= 0 || info->rate <= 0) {
        SoundConvert_Ogg_Close(record);
        return -1;
    }
    Ogg_ReadLoopComments(area);

    area->BytesPerSample = record->OggBytesPerSample;
    SoundConvert_SetPcmOutput(record, info->channels, int(info->rate), 8 * area->BytesPerSample);
    record->StagingSize = 4096;
    record->Kind = SoundConvertKind_OggVorbis;
    record->DataSize = SoundConvert_Ogg_GetTotalBytes(record);
    return 0;
}

int SoundConvert_Ogg_Step(SoundConvertRecord* record)
{
    SoundConvertOggArea* area = Ogg_Area(record);
    int bitstream = 0;
    long got = ov_read(&area->File, reinterpret_cast<char*>(record->StagingBuffer), int(record->StagingSize), 0,
                       area->BytesPerSample, area->BytesPerSample == 1 ? 0 : 1, &bitstream);
    if (got <= 0) return -1;
    record->Staged = got;
    return 0;
}

void SoundConvert_Ogg_Seek(SoundConvertRecord* record, int64_t sample)
{
    ov_pcm_seek(&Ogg_Area(record)->File, sample);
    record->Staged = 0;
    record->StagingOffset = 0;
    record->Position = sample * record->OutputFormat.nBlockAlign;
}

int64_t SoundConvert_Ogg_GetTotalBytes(SoundConvertRecord* record)
{
    SoundConvertOggArea* area = Ogg_Area(record);
    return ov_pcm_total(&area->File, -1) * area->BytesPerSample * record->OutputFormat.nChannels;
}

int SoundConvert_Ogg_GetLoopArea(SoundConvertRecord* record, int64_t* start, int64_t* end)
{
    SoundConvertOggArea* area = Ogg_Area(record);
    if (area->LoopStart < 0 || area->LoopEnd < 0) return -1;
    *start = area->LoopStart;
    *end = area->LoopEnd;
    return 0;
}

void SoundConvert_Ogg_Close(SoundConvertRecord* record)
{
    SoundConvertOggArea* area = Ogg_Area(record);
    if (!area->Opened) return;
    ov_clear(&area->File);
    area->Opened = 0;
}

}  // namespace Vantrel
