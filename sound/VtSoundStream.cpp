// VtSoundStream: stream sounds. Up to three decoded sources play one after the other through one ring
// buffer that is kept a little ahead of the play position; sources loop whole or between loop points,
// and the count of played bytes follows the play position across every wrap. Several stream handles
// may share one ring ("union" handles), one of them using it at a time.
// Stands on sound buffers, the sound conversion, memory streams, files and the WAVE images.
#include "sound/VtSoundHandle.h"

#include <string.h>

#include "foundation/VtFile.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

namespace {

// Ring length, prefill span and lead threshold of normal and large rings.
constexpr int RING_SECONDS_256THS = 256;
constexpr int RING_LARGE_SECONDS_256THS = 3328;
constexpr int PREFILL_256THS = 192;
constexpr int PREFILL_LARGE_256THS = 3264;
constexpr int LEAD_512THS = 192;
constexpr int LEAD_LARGE_512THS = 6144;
constexpr int LOOP_FOR_EVER = 255;

CriticalSection* Sound_TypeLock() { return &HandleManagerTable[HandleType_Sound].Lock; }

#define SOUND_TYPE_LOCK() CriticalSection_Enter(Sound_TypeLock(), "VtSoundStream", __LINE__)
#define SOUND_TYPE_UNLOCK() CriticalSection_Leave(Sound_TypeLock())

// Checks the handle (finishing a pending load first), then takes the Sound handle-type lock and
// checks it again under the lock. Null: no lock is held.
SoundHandleRecord* Sound_Stream_LockHandle(HandleValue handle, int inJob)
{
    if (Sound_Handle_Get(handle, inJob) == nullptr) return nullptr;
    SOUND_TYPE_LOCK();
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 1);
    if (sound == nullptr) SOUND_TYPE_UNLOCK();
    return sound;
}

int Sound_RingBytes(const SoundBuffer* ring) { return ring->SampleCount * (int)ring->Format.nBlockAlign; }

// Whether p lies strictly between from and to, going forward round the ring.
bool Sound_InOpenRange(int p, int from, int to)
{
    if (from < to) return p > from && p < to;
    if (from > to) return p > from || p < to;
    return false;
}

// Whether p lies in [from, to) going forward round the ring.
bool Sound_InHalfOpenRange(int p, int from, int to)
{
    if (from <= to) return p >= from && p < to;
    return p >= from || p < to;
}

int Sound_Forward(int from, int to, int ring) { return to >= from ? to - from : to - from + ring; }

int Sound_RingPlayPosition(const SoundBuffer* ring)
{
    int32_t play = 0;
    if (SoundBuffer_GetPosition(ring, &play, nullptr) != 0) return 0;
    return play;
}

// Back to the start of the data: the next preparation primes the ring from the beginning.
void Sound_Stream_Rewind(SoundHandleRecord* sound)
{
    sound->WrapPending = 0;
    sound->EndReached = 0;
    sound->Consumed = 0;
    sound->PlayedBytes = 0;
    sound->PassCount = 0;
    sound->CurrentSource = 0;
    sound->Draining = 0;
    sound->StreamPrepared = 0;
}

int Sound_Stream_TopUpBytes(const WAVEFORMATEX& format)
{
    const int align = format.nBlockAlign;
    return align * (int)(format.nAvgBytesPerSec / 8 / align);
}

int Sound_Stream_WritePosition(const SoundStreamWrite* write)
{
    const int64_t at = (int64_t)write->Start + write->Written[0] + write->Written[1];
    return (int)(at % write->RingBytes);
}

void Sound_Stream_CloseSource(SoundStreamSource* source, bool closeStream)
{
    if (source->Convert.Initialized) SoundConvert_Close(&source->Convert);
    if (source->Memory != nullptr) File_MemStream_Close(source->Memory);
    if (closeStream && source->DataType == 3 && source->Source.ops.Close != nullptr) source->Source.ops.Close(source->Source.data);
    Memory_Free(source->MemoryCopy);
    memset(source, 0, sizeof(*source));
}

// Opens a memory stream over the source's own copy and sets its conversion up on it.
int Sound_Stream_OpenCopy(SoundStreamSource* source, const SoundLoadParam* param, int disableFlags)
{
    source->Memory = File_MemStream_Open(source->MemoryCopy, (uint32_t)source->MemoryCopySize);
    if (source->Memory == nullptr) return -1;
    source->Source.ops = *File_GetMemStreamOps();
    source->Source.data = source->Memory;
    return SoundConvert_Setup(&source->Convert, &source->Source, disableFlags, param->OggBytesPerSample,
                              param->VorbisVariant);
}

// Decodes a whole stream into a WAVE image of its PCM.
int Sound_Stream_DecodeToImage(const SoundLoadParam* param, Stream stream, void** image, int64_t* imageSize)
{
    void* data = nullptr;
    int64_t size = 0;
    if (Sound_Stream_ReadWhole(stream, &data, &size) != 0) {
        Log_AddTextUTF16(L"音声データの読み込みに失敗しました");
        return -1;
    }
    int result = -1;
    MemStream* memory = File_MemStream_Open(data, (uint32_t)size);
    SoundConvertRecord* convert = (SoundConvertRecord*)Memory_AllocateZeroed(sizeof(SoundConvertRecord), "VtSoundStream", __LINE__);
    void* pcm = nullptr;
    uint32_t pcmSize = 0;
    WAVEFORMATEX format;
    if (memory != nullptr && convert != nullptr) {
        const Stream over = {*File_GetMemStreamOps(), memory};
        if (SoundConvert_Setup(convert, &over, param->ConvertDisableFlags, param->OggBytesPerSample, param->VorbisVariant) == 0) {
            if (SoundConvert_ConvertWhole(convert, &format, &pcm, &pcmSize) == 0) result = 0;
            SoundConvert_Close(convert);
        }
    }
    Memory_Free(convert);
    if (memory != nullptr) File_MemStream_Close(memory);
    Memory_Free(data);
    if (result != 0) {
        Log_AddTextUTF16(L"音声データの変換に失敗しました");
        return -1;
    }
    uint32_t bytes = 0;
    format.cbSize = 0;
    result = Sound_CreateWaveFileImage(image, &bytes, &format, 18, pcm, pcmSize);
    Memory_Free(pcm);
    *imageSize = bytes;
    return result;
}

int Sound_Stream_ResolveRing(HandleValue handle, SoundHandleRecord* sound, SoundBuffer** ring)
{
    return Sound_Stream_ResolveBuffer(handle, sound, ring, 0, 1);
}

int Sound_Stream_UpdatePlayedRecord(SoundHandleRecord* sound, const SoundBuffer* ring, int position)
{
    if (!sound->StreamPrepared) return 0;
    const int p = position >= 0 ? position : Sound_RingPlayPosition(ring);
    if (p == sound->LastPlayPosition) return 0;
    const int ringBytes = Sound_RingBytes(ring);
    const int moved = Sound_Forward(sound->LastPlayPosition, p, ringBytes);
    if (sound->WrapPending && Sound_Forward(sound->LastPlayPosition, sound->WrapPosition, ringBytes) <= moved) {
        sound->PlayedBytes = sound->LoopBase + Sound_Forward(sound->WrapPosition, p, ringBytes);
        sound->WrapPending = 0;
    } else {
        sound->PlayedBytes += moved;
    }
    sound->LastPlayPosition = p;
    return 0;
}

int Sound_Stream_PrepareRecord(HandleValue handle, SoundHandleRecord* sound, int inJob)
{
    if (!sound->IsStream || sound->SourceCount == 0) return 0;
    SoundBuffer* ring = nullptr;
    if (Sound_Stream_ResolveRing(handle, sound, &ring) != 0) return 0;
    if (!inJob && SoundBuffer_IsPlaying(ring) == 1) return 0;
    if (sound->StreamPrepared) return 0;
    SoundBuffer_SetPosition(ring, 0);
    sound->WritePosition = SOUND_STREAM_UNPRIMED;
    sound->RefillLimit = -1;
    sound->LastPlayPosition = 0;
    sound->Draining = 0;
    if (sound->CurrentSource >= sound->SourceCount) sound->CurrentSource = 0;
    SoundStreamSource* source = &sound->Sources[sound->CurrentSource];
    SoundConvert_SetSampleTime(&source->Convert, sound->Consumed / sound->WaveFormat.nBlockAlign);
    sound->StreamPrepared = 1;
    Sound_Stream_RefillRecord(sound);
    return 0;
}

}  // namespace

// ---- Sources ----------------------------------------------------------------------------------------------

int AddSreamSound(SoundLoadParam* param, Stream stream, int loopCount, HandleValue handle, int dataType, int* takenOver,
                  HandleValue unionHandle, int inJob)
{
    *takenOver = 0;
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    if (sound == nullptr) return -1;
    if (sound->SourceCount > 0) {
        if (!sound->IsStream) {
            Log_AddTextUTF16(L"ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
            return -1;
        }
        if (Sound_Stream_IsPlayingRecord(handle, sound) == 1) {
            Log_AddTextUTF16(L"既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
            return -1;
        }
        if (sound->SourceCount >= SOUND_STREAM_SOURCE_MAX) {
            Log_AddTextUTF16(L"ストリーム風サウンドの制御データ領域がいっぱいです\n");
            return -1;
        }
    }

    const int index = sound->SourceCount;
    SoundStreamSource* source = &sound->Sources[index];
    memset(source, 0, sizeof(*source));
    sound->SourceClosesStream[index] = 0;
    source->DataType = dataType;
    source->LoopEndSample = -1;
    stream.ops.Seek(stream.data, 0, SeekOrigin_Start);

    if (dataType == 0) {
        if (Sound_Stream_DecodeToImage(param, stream, &source->MemoryCopy, &source->MemoryCopySize) != 0) return -1;
        // The image is plain WAVE whatever converters the load allowed.
        if (Sound_Stream_OpenCopy(source, param, 0) != 0) {
            Sound_Stream_CloseSource(source, false);
            Log_AddTextUTF16(L"音声データのオープンに失敗しました");
            return -1;
        }
        *takenOver = 1;
    } else if (dataType == 2) {
        if (Sound_Stream_ReadWhole(stream, &source->MemoryCopy, &source->MemoryCopySize) != 0) return -1;
        if (Sound_Stream_OpenCopy(source, param, param->ConvertDisableFlags) != 0) {
            Sound_Stream_CloseSource(source, false);
            Log_AddTextUTF16(L"音声データのオープンに失敗しました");
            return -1;
        }
        *takenOver = 1;
    } else if (dataType == 3) {
        sound->LargeBuffer = 1;
        source->Source = stream;
        if (SoundConvert_Setup(&source->Convert, &source->Source, param->ConvertDisableFlags, param->OggBytesPerSample,
                               param->VorbisVariant) != 0) {
            memset(source, 0, sizeof(*source));
            Log_AddTextUTF16(L"音声データのオープンに失敗しました");
            return -1;
        }
    } else {
        return -1;
    }
    if ((dataType == 2 || dataType == 3) && param->LoopStartSample == param->LoopEndSample &&
        param->LoopStartTime == param->LoopEndTime && !param->LoopAreaOff) {
        int64_t start = -1, end = -1;
        if (SoundConvert_GetLoopArea(&source->Convert, &start, &end) == 0) {
            param->LoopStartSample = start;
            param->LoopEndSample = end;
        }
    }

    WAVEFORMATEX format = source->Convert.OutputFormat;
    format.cbSize = 0;
    if (index == 0) {
        sound->WaveFormat = format;
        SoundHandleRecord* shared = unionHandle != -1 ? Sound_Handle_Get(unionHandle, inJob) : nullptr;
        if (shared != nullptr && shared->IsStream && shared->UnionHandle == -1 && shared->Buffers[0].Valid &&
            memcmp(&shared->WaveFormat, &format, sizeof(format)) == 0) {
            sound->IsStream = 1;
            sound->BufferCount = 1;
            CriticalSection_Enter(&SoundSystemState.SoundStreamListLock, "VtSoundStream", __LINE__);
            Handle_List_Append(&SoundSystemState.SoundStreamList.End, &sound->NodeStream, handle, sound);
            sound->InStreamList = 1;
            CriticalSection_Leave(&SoundSystemState.SoundStreamListLock);
            sound->UnionHandle = unionHandle;
            shared->UnionUserCount++;
        } else {
            const int span = sound->LargeBuffer ? RING_LARGE_SECONDS_256THS : RING_SECONDS_256THS;
            const uint64_t align = format.nBlockAlign;
            const uint64_t wanted = align == 0 ? 0 : ((uint64_t)format.nAvgBytesPerSec * span / 256 + align - 1) / align * align;
            if (wanted == 0 || wanted > 0x7FFFFFFF ||
                Sound_Handle_CreateBuffers(&format, (uint32_t)wanted, 1, 1, handle, -1, inJob) != 0) {
                Sound_Stream_CloseSource(source, false);
                return -1;
            }
            sound->UnionHandle = -1;
            sound->RingSize = (int)wanted;
            sound->Frequency = (int)format.nSamplesPerSec;
        }
        sound->UnionUserCount = 0;
        sound->CurrentUser = -1;
        sound->DeletePending = 0;
    } else if (memcmp(&sound->WaveFormat, &format, sizeof(format)) != 0) {
        Sound_Stream_CloseSource(source, false);
        Log_AddTextUTF16(L"フォーマットの違う音声データは同時に使うことは出来ません");
        return -1;
    }

    source->LoopCount = loopCount & 255;
    sound->SourceCount = index + 1;
    int64_t total = 0;
    for (int i = 0; i < sound->SourceCount; i++) total += SoundConvert_GetTotalBytes(&sound->Sources[i].Convert) / format.nBlockAlign;
    sound->TotalSamples = total;
    return 0;
}

int Sound_Stream_AddFromFile(SoundLoadParam* param, const wchar_t* path, int loopCount, HandleValue handle, int dataType,
                             HandleValue unionHandle, int inJob)
{
    const FileAccessHandle file = File_Access_Open(path, 0, 1, 0);
    if (file == 0) {
        Log_AddFormatUTF16(L"Sound File Open Error : %s", path);
        return -1;
    }
    const Stream stream = {*File_GetFileStreamOps(), (void*)file};
    int takenOver = 0;
    if (AddSreamSound(param, stream, loopCount, handle, dataType, &takenOver, unionHandle, inJob) != 0) {
        File_Access_Close(file);
        Log_AddFormatUTF16(L"Sound File Setup Error : %s", path);
        return -1;
    }
    if (takenOver) {
        File_Access_Close(file);
    } else {
        SoundHandleRecord* sound = Sound_Handle_Get(handle, 1);
        if (sound != nullptr) sound->SourceClosesStream[sound->SourceCount - 1] = 1;
    }
    return 0;
}

int Sound_Stream_AddFromMemImage(SoundLoadParam* param, const void* image, int64_t imageSize, int loopCount,
                                 HandleValue handle, int dataType, HandleValue unionHandle, int inJob)
{
    MemStream* memory = imageSize >= 0 && imageSize <= 0xFFFFFFFFll ? File_MemStream_Open(image, (uint32_t)imageSize) : nullptr;
    if (memory == nullptr) {
        Log_AddTextUTF16(L"ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
        return -1;
    }
    if (dataType == 3) dataType = 2;
    const Stream stream = {*File_GetMemStreamOps(), memory};
    int takenOver = 0;
    const int result = AddSreamSound(param, stream, loopCount, handle, dataType, &takenOver, unionHandle, inJob);
    if (result != 0) Log_AddTextUTF16(L"ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    if (result != 0 || takenOver) File_MemStream_Close(memory);
    return result;
}

void Sound_Stream_ReleaseSources(SoundHandleRecord* sound)
{
    for (int i = 0; i < sound->SourceCount && i < SOUND_STREAM_SOURCE_MAX; i++)
        Sound_Stream_CloseSource(&sound->Sources[i], sound->SourceClosesStream[i] != 0);
    sound->SourceCount = 0;
}

int Sound_Stream_ReadWhole(Stream stream, void** data, int64_t* size)
{
    *data = nullptr;
    *size = 0;
    stream.ops.Seek(stream.data, 0, SeekOrigin_End);
    const int64_t length = stream.ops.Tell(stream.data);
    stream.ops.Seek(stream.data, 0, SeekOrigin_Start);
    void* block = length >= 0 && length < 0x7FFFFFFF ? Memory_Allocate((uint32_t)length + 1, "VtSoundStream", __LINE__) : nullptr;
    if (block == nullptr) {
        Log_AddTextUTF16(L"ストリームの読み込みに必要なメモリの確保に失敗しました");
        return -1;
    }
    const uint32_t got = length > 0 ? stream.ops.Read(block, 1, (uint32_t)length, stream.data) : 0;
    *data = block;
    *size = got;
    return 0;
}

// ---- The ring ---------------------------------------------------------------------------------------------

void Sound_Stream_FinishRingLoads(HandleValue handle, SoundHandleRecord* sound)
{
    if (!sound->IsStream) return;
    SoundHandleRecord* owner = sound;
    if (sound->UnionHandle != -1) {
        owner = Sound_Handle_Get(sound->UnionHandle, 0);
        if (owner == nullptr) return;
    }
    const HandleValue user = owner->CurrentUser;
    if (user != -1 && user != handle) Sound_Handle_Get(user, 0);
}

int Sound_Stream_ResolveBuffer(HandleValue handle, SoundHandleRecord* sound, SoundBuffer** ring, int takeOver, int inJob)
{
    // Callers may hold the Sound handle-type lock, which a loading job needs to end: the handles
    // are looked at as they are, never waited for (Sound_Stream_FinishRingLoads does that first,
    // without the lock).
    (void)inJob;
    *ring = nullptr;
    if (!sound->IsStream) {
        *ring = &sound->Buffers[0];
        return sound->Buffers[0].Valid ? 0 : -1;
    }
    SoundHandleRecord* owner = sound;
    if (sound->UnionHandle != -1) {
        owner = Sound_Handle_Get(sound->UnionHandle, 1);
        if (owner == nullptr) return -1;
    }
    if (owner->CurrentUser != -1 && owner->CurrentUser != handle) {
        if (!takeOver) return -1;
        SoundHandleRecord* user = Sound_Handle_Get(owner->CurrentUser, 1);
        if (user != nullptr) Sound_Stream_StopRecord(owner->CurrentUser, user, 0);
    }
    owner->CurrentUser = handle;
    if (!owner->Buffers[0].Valid) return -1;
    *ring = &owner->Buffers[0];
    return 0;
}

int Sound_Stream_Prepare(HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, inJob);
    if (sound == nullptr) return -1;
    const int result = Sound_Stream_PrepareRecord(handle, sound, inJob);
    SOUND_TYPE_UNLOCK();
    return result;
}

int Sound_Stream_Refill(HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, inJob);
    if (sound == nullptr) return -1;
    const int result = Sound_Stream_RefillRecord(sound);
    SOUND_TYPE_UNLOCK();
    return result;
}

int Sound_Stream_RefillRecord(SoundHandleRecord* sound)
{
    const HandleValue handle = sound->Header.Handle;
    SoundBuffer* ring = nullptr;
    SOUND_TYPE_LOCK();
    if (!sound->IsStream || Sound_Stream_ResolveRing(handle, sound, &ring) != 0 || !sound->StreamPrepared) {
        SOUND_TYPE_UNLOCK();
        return 0;
    }
    Sound_Stream_UpdatePlayedRecord(sound, ring, -1);

    const WAVEFORMATEX& format = sound->WaveFormat;
    const int align = format.nBlockAlign;
    const int64_t perSecond = format.nAvgBytesPerSec;
    const int ringBytes = Sound_RingBytes(ring);
    const int prefill = sound->LargeBuffer ? PREFILL_LARGE_256THS : PREFILL_256THS;
    const int lead = sound->LargeBuffer ? LEAD_LARGE_512THS : LEAD_512THS;
    const int topUp = Sound_Stream_TopUpBytes(format);
    if (align == 0 || ringBytes <= 0 || perSecond == 0) {
        SOUND_TYPE_UNLOCK();
        return -1;
    }

    bool priming = false;
    int start = sound->WritePosition;
    int amount = topUp;
    int play = 0;
    if (sound->Draining) {
        play = Sound_RingPlayPosition(ring);
        if (!Sound_InHalfOpenRange(play, sound->EndPlayPosition, sound->EndWritePosition)) {
            SoundBuffer_Halt(ring, 0);
            Sound_Stream_Rewind(sound);
            SOUND_TYPE_UNLOCK();
            return 0;
        }
        if (Sound_InOpenRange(play, sound->WritePosition, sound->RefillLimit)) {
            SOUND_TYPE_UNLOCK();
            return -1;
        }
    } else if (SoundBuffer_IsPlaying(ring) != 1) {
        if (sound->WritePosition != SOUND_STREAM_UNPRIMED) {
            SOUND_TYPE_UNLOCK();
            return 0;
        }
        priming = true;
        start = 0;
        amount = align * (int)(perSecond * prefill / 256 / align);
    } else {
        play = Sound_RingPlayPosition(ring);
        if (Sound_InOpenRange(play, sound->WritePosition, sound->RefillLimit)) {
            SOUND_TYPE_UNLOCK();
            return -1;
        }
        const int64_t ahead = (int64_t)Sound_Forward(play, sound->WritePosition, ringBytes) * 512 / perSecond;
        if (ahead < lead) amount = align * (int)((lead - ahead) * perSecond / 512 / align);
    }
    if (amount > ringBytes - align) amount = ringBytes - align;

    void* pointer[2] = {nullptr, nullptr};
    uint32_t length[2] = {0, 0};
    if (amount <= 0 || SoundBuffer_LockRegion(ring, start, amount, &pointer[0], &length[0], &pointer[1], &length[1]) != 0) {
        SOUND_TYPE_UNLOCK();
        return -1;
    }
    SoundStreamWrite write;
    write.Start = start;
    write.RingBytes = ringBytes;
    for (int r = 0; r < 2; r++) {
        write.Pointer[r] = (uint8_t*)pointer[r];
        write.Length[r] = pointer[r] != nullptr ? length[r] : 0;
        write.Written[r] = 0;
        write.Free[r] = write.Length[r];
    }

    if (sound->Draining) {
        Sound_Stream_FillSilence(sound, &write, topUp);
    } else {
        int64_t remaining = amount;
        while (!sound->Draining && remaining > 0) {
            const int current = sound->CurrentSource;
            SoundStreamSource* source = &sound->Sources[current];
            int64_t limit = remaining;
            bool endHit = false;
            const int64_t loopEnd = source->LoopEndSample >= 0 ? source->LoopEndSample * align : -1;
            if (loopEnd >= 0 && sound->Consumed + remaining > loopEnd) {
                limit = loopEnd - sound->Consumed;
                if (limit < 0) limit = 0;
                endHit = true;
            }
            const int64_t got = limit > 0 ? Sound_Stream_ReadSource(&write, &source->Convert, limit) : 0;
            sound->Consumed += got;
            remaining -= got;
            if (got == 0) {
                if (!endHit && !SoundConvert_IsEnd(&source->Convert)) break;
                if (Sound_Stream_NextData(sound, &write, play) != 0) break;
                remaining = (int64_t)write.Free[0] + write.Free[1];
                continue;
            }
            if (sound->CurrentSource == current && loopEnd >= 0 && sound->Consumed >= loopEnd) break;
        }
    }
    SoundBuffer_UnlockRegion(ring, pointer[0], length[0], pointer[1], length[1]);

    const int written = (int)(write.Written[0] + write.Written[1]);
    if (priming) {
        sound->WritePosition = written;
        sound->RefillLimit = 0;
    } else {
        int w = sound->WritePosition + written;
        if (w >= ringBytes) w -= ringBytes;
        sound->WritePosition = w;
        const int64_t span = ((int64_t)perSecond * prefill / 256 + align - 1) / align * align;
        int limit = (int)(w - span);
        if (limit < 0) limit += ringBytes;
        sound->RefillLimit = limit;
    }
    SOUND_TYPE_UNLOCK();
    return 0;
}

int Sound_Stream_NextData(SoundHandleRecord* sound, SoundStreamWrite* write, int playPosition)
{
    SoundStreamSource* source = &sound->Sources[sound->CurrentSource];
    sound->PassCount++;
    if (source->LoopCount != LOOP_FOR_EVER || sound->StopAfterSource) {
        if (sound->StopAfterSource || sound->PassCount > source->LoopCount) {
            if (sound->CurrentSource == sound->SourceCount - 1 && sound->PlayType == SoundPlayType_Loop && sound->WrapPending) {
                sound->PassCount--;
                return -1;
            }
            sound->PassCount = 0;
            sound->CurrentSource++;
            if (sound->CurrentSource >= sound->SourceCount) {
                sound->EndReached = 1;
                if (sound->PlayType != SoundPlayType_Loop) {
                    sound->Draining = 1;
                    sound->EndWritePosition = Sound_Stream_WritePosition(write);
                    sound->EndPlayPosition = playPosition;
                    sound->CurrentSource = sound->SourceCount - 1;
                    Sound_Stream_FillSilence(sound, write, Sound_Stream_TopUpBytes(sound->WaveFormat));
                    return 0;
                }
                sound->CurrentSource = 0;
                sound->LoopBase = 0;
                sound->WrapPending = 1;
                sound->WrapPosition = Sound_Stream_WritePosition(write);
            }
        }
        sound->Consumed = 0;
    } else {
        if (sound->WrapPending) {
            sound->PassCount--;
            return -1;
        }
        sound->Consumed = sound->LoopBase = source->LoopStartSample * sound->WaveFormat.nBlockAlign;
        sound->WrapPending = 1;
        sound->WrapPosition = Sound_Stream_WritePosition(write);
    }
    SoundConvert_SetSampleTime(&sound->Sources[sound->CurrentSource].Convert, sound->Consumed / sound->WaveFormat.nBlockAlign);
    return 0;
}

int64_t Sound_Stream_ReadSource(SoundStreamWrite* write, SoundConvertRecord* convert, int64_t bytes)
{
    int64_t total = 0;
    for (int r = 0; r < 2; r++) {
        while (bytes > 0 && write->Free[r] > 0) {
            const int64_t want = bytes < write->Free[r] ? bytes : write->Free[r];
            const int64_t got = SoundConvert_Run(convert, write->Pointer[r] + write->Written[r], want);
            if (got <= 0) return total;
            write->Written[r] += (uint32_t)got;
            write->Free[r] -= (uint32_t)got;
            bytes -= got;
            total += got;
        }
    }
    return total;
}

void Sound_Stream_FillSilence(SoundHandleRecord* sound, SoundStreamWrite* write, int64_t bytes)
{
    const int value = sound->WaveFormat.wBitsPerSample == 8 ? 127 : 0;
    for (int r = 0; r < 2 && bytes > 0; r++) {
        const uint32_t count = bytes < write->Free[r] ? (uint32_t)bytes : write->Free[r];
        memset(write->Pointer[r] + write->Written[r], value, count);
        write->Written[r] += count;
        write->Free[r] -= count;
        bytes -= count;
    }
}

// ---- Played bytes -------------------------------------------------------------------------------------------

int Sound_Stream_UpdatePlayedBytes(HandleValue handle, int position, int inJob)
{
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, inJob);
    if (sound == nullptr) return -1;
    SoundBuffer* ring = nullptr;
    if (sound->IsStream && Sound_Stream_ResolveRing(handle, sound, &ring) == 0) Sound_Stream_UpdatePlayedRecord(sound, ring, position);
    SOUND_TYPE_UNLOCK();
    return 0;
}

int64_t Sound_Stream_GetPlayedBytes(HandleValue handle)
{
    if (!SoundSystemState.Initialized || !SoundWin_IsOutputReady()) return -1;
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, 0);
    if (sound == nullptr) return -1;
    SoundBuffer* ring = nullptr;
    if (sound->IsStream && Sound_Stream_ResolveRing(handle, sound, &ring) == 0) Sound_Stream_UpdatePlayedRecord(sound, ring, -1);
    const int64_t played = sound->PlayedBytes;
    SOUND_TYPE_UNLOCK();
    return played;
}

// ---- Start, stop, seek ---------------------------------------------------------------------------------------

int Sound_Stream_PrepareStart(HandleValue handle, SoundHandleRecord* sound, int playType, int fromTop, SoundBuffer** ring)
{
    SOUND_TYPE_LOCK();
    SoundBuffer* buffer = nullptr;
    if (Sound_Stream_ResolveBuffer(handle, sound, &buffer, 1, 1) != 0) {
        SOUND_TYPE_UNLOCK();
        return -1;
    }
    if (!fromTop && Sound_Stream_IsPlayingRecord(handle, sound) == 1) {
        SOUND_TYPE_UNLOCK();
        return 1;
    }
    Sound_Stream_StopRecord(handle, sound, 0);
    if (((sound->PlayType ^ playType) & 2) != 0 && sound->EndReached) Sound_Stream_Rewind(sound);
    if (fromTop) {
        sound->EndReached = 0;
        if (sound->PlayedBytes > 0) Sound_Stream_Rewind(sound);
    }
    sound->PlayType = playType;
    sound->StopAfterSource = 0;
    Sound_Stream_PrepareRecord(handle, sound, 0);
    Sound_ApplySettings(sound, buffer);
    *ring = buffer;
    SOUND_TYPE_UNLOCK();
    return 0;
}

int Sound_Stream_Stop(HandleValue handle, int letFinish)
{
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, 0);
    if (sound == nullptr) return -1;
    const int result = Sound_Stream_StopRecord(handle, sound, letFinish);
    SOUND_TYPE_UNLOCK();
    return result;
}

int Sound_Stream_StopRecord(HandleValue handle, SoundHandleRecord* sound, int letFinish)
{
    SOUND_TYPE_LOCK();
    SoundBuffer* ring = nullptr;
    if (Sound_Stream_ResolveRing(handle, sound, &ring) != 0) {
        SOUND_TYPE_UNLOCK();
        return 0;
    }
    Sound_Stream_UpdatePlayedRecord(sound, ring, -1);
    if (letFinish) {
        sound->StopAfterSource = 1;
        if (sound->PlayType == SoundPlayType_Loop) sound->PlayType = SoundPlayType_Back;
        SOUND_TYPE_UNLOCK();
        return 0;
    }
    if (sound->UnionHandle != -1) {
        SoundHandleRecord* shared = (SoundHandleRecord*)Handle_GetRecord(sound->UnionHandle);
        if (shared != nullptr) shared->CurrentUser = -1;
    }
    const int playing = SoundBuffer_IsPlaying(ring);
    if (playing < 0) {
        SOUND_TYPE_UNLOCK();
        return -1;
    }
    if (playing == 1) {
        SoundBuffer_Halt(ring, 1);
        sound->Paused[0] = 0;
        sound->WasPlaying[0] = 0;
    }
    SOUND_TYPE_UNLOCK();
    return 0;
}

int Sound_Stream_IsPlaying(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    return sound != nullptr ? Sound_Stream_IsPlayingRecord(handle, sound) : -1;
}

int Sound_Stream_IsPlayingRecord(HandleValue handle, SoundHandleRecord* sound)
{
    SoundBuffer* ring = nullptr;
    if (Sound_Stream_ResolveRing(handle, sound, &ring) != 0) return 0;
    if (sound->Paused[0]) return sound->WasPlaying[0];
    return SoundBuffer_IsPlaying(ring);
}

int Sound_Stream_Seek(int64_t bytePosition, HandleValue handle, int inJob)
{
    if (!inJob) {
        SoundHandleRecord* checked = Sound_Handle_Get(handle, 0);
        if (checked == nullptr) return -1;
        Sound_Stream_FinishRingLoads(handle, checked);
    }
    SoundHandleRecord* sound = Sound_Stream_LockHandle(handle, inJob);
    if (sound == nullptr) return -1;
    const bool wasPlaying = Sound_Stream_IsPlayingRecord(handle, sound) == 1;
    Sound_Stream_StopRecord(handle, sound, 0);
    const int align = sound->WaveFormat.nBlockAlign;
    const bool fits = align != 0 && bytePosition >= 0 && bytePosition / align <= sound->TotalSamples && sound->SourceCount <= 1;
    if (fits) {
        Sound_Stream_Rewind(sound);
        sound->PlayedBytes = sound->Consumed = bytePosition - bytePosition % align;
    }
    if (wasPlaying) {
        SoundBuffer* ring = nullptr;
        if (Sound_Stream_PrepareStart(handle, sound, sound->PlayType, 0, &ring) == 0) SoundBuffer_Start(ring, 1);
    }
    SOUND_TYPE_UNLOCK();
    return fits ? 0 : -1;
}

int Sound_Stream_SeekToTime(int64_t ms, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    const int64_t samples = Sound_MsToSamples((int)sound->WaveFormat.nSamplesPerSec, ms);
    return Sound_Stream_Seek(samples * sound->WaveFormat.nBlockAlign, handle, 0);
}

}  // namespace Vantrel
