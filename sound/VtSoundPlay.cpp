// VtSoundPlay: playback control of sound handles: start with a play type, stop, play state, position,
// frequency, pan and volume, millisecond conversions and loop points. Normal sounds act on their
// buffers, rotating through them at each start; stream sounds go to VtSoundStream.cpp.
// Stands on sound buffers, the sound lists, the base 128-bit arithmetic and the WAVE images.
#include "sound/VtSoundHandle.h"

#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

namespace {

CriticalSection* Sound_TypeLock() { return &HandleManagerTable[HandleType_Sound].Lock; }

int Sound_Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// a x b / divisor over an unsigned 128-bit product.
int64_t Sound_MulDiv128(uint64_t a, uint64_t b, uint64_t divisor)
{
    const uint32_t left[2] = {(uint32_t)a, (uint32_t)(a >> 32)};
    const uint32_t right[2] = {(uint32_t)b, (uint32_t)(b >> 32)};
    const uint32_t by[2] = {(uint32_t)divisor, (uint32_t)(divisor >> 32)};
    uint32_t product[4], quotient[2];
    BaseFunc_Mul64To128(left, right, product);
    BaseFunc_Div128By64(product, by, quotient);
    return (int64_t)((uint64_t)quotient[1] << 32 | quotient[0]);
}

// The buffer whose state the getters report: the last started buffer, or the ring a stream uses.
SoundBuffer* Sound_ReportBuffer(HandleValue handle, SoundHandleRecord* sound)
{
    if (!sound->IsStream) {
        if (sound->CurrentBuffer < 0 || sound->CurrentBuffer >= SOUND_HANDLE_BUFFER_MAX) return nullptr;
        SoundBuffer* buffer = &sound->Buffers[sound->CurrentBuffer];
        return buffer->Valid ? buffer : nullptr;
    }
    Sound_Stream_FinishRingLoads(handle, sound);
    CriticalSection_Enter(Sound_TypeLock(), "VtSoundPlay", __LINE__);
    SoundBuffer* ring = nullptr;
    Sound_Stream_ResolveBuffer(handle, sound, &ring, 0, 1);
    CriticalSection_Leave(Sound_TypeLock());
    return ring;
}

void Sound_JoinPlayingLists(HandleValue handle, SoundHandleRecord* sound)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (sound->Is3D && !sound->In3DPlayingList) {
        CriticalSection_Enter(&state.Sound3DPlayingListLock, "VtSoundPlay", __LINE__);
        Handle_List_Append(&state.Sound3DPlayingList.End, &sound->Node3DPlaying, handle, sound);
        sound->In3DPlayingList = 1;
        CriticalSection_Leave(&state.Sound3DPlayingListLock);
    }
    if (!sound->InPlayingList) {
        CriticalSection_Enter(&state.SoundPlayingListLock, "VtSoundPlay", __LINE__);
        Handle_List_Append(&state.SoundPlayingList.End, &sound->NodePlaying, handle, sound);
        sound->InPlayingList = 1;
        CriticalSection_Leave(&state.SoundPlayingListLock);
    }
}

// Runs a buffer setter on every buffer the handle has: -1 when it failed on any of them (a
// platform call that failed), 0 otherwise.
template <typename Setter> int Sound_ForEachBuffer(SoundHandleRecord* sound, Setter set)
{
    int result = 0;
    for (int i = 0; i < SOUND_HANDLE_BUFFER_MAX; i++)
        if (sound->Buffers[i].Valid && set(&sound->Buffers[i]) != 0) result = -1;
    return result;
}

int64_t Sound_SampleCountOf(const SoundHandleRecord* sound)
{
    if (sound->IsStream) return sound->TotalSamples;
    return sound->WaveFormat.nBlockAlign != 0 ? sound->PcmSize / sound->WaveFormat.nBlockAlign : 0;
}

// Checks a loop point against the sound and turns a normal sound into a stream first. Returns the
// record, or null (no lock held). On success the Sound handle-type lock is held.
SoundHandleRecord* Sound_LoopPoint_Begin(int64_t sample, HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    if (sound == nullptr || sample >= Sound_SampleCountOf(sound) || sample < -1) return nullptr;
    if (sample != -1 && !sound->IsStream && (inJob || Sound_RecreateAsStream(handle) != 0)) return nullptr;
    CriticalSection_Enter(Sound_TypeLock(), "VtSoundPlay", __LINE__);
    sound = Sound_Handle_Get(handle, 1);
    if (sound == nullptr) CriticalSection_Leave(Sound_TypeLock());
    return sound;
}

}  // namespace

// ---- Time ---------------------------------------------------------------------------------------------

int64_t Sound_MsToSamples(int rate, int64_t ms) { return Sound_MulDiv128((uint64_t)ms, (uint64_t)(int64_t)rate, 1000); }

int64_t Sound_SamplesToMs(int rate, int64_t samples)
{
    if (rate == 0) return -1;
    return Sound_MulDiv128((uint64_t)samples, 1000, (uint64_t)(int64_t)rate);
}

// ---- Start and stop -----------------------------------------------------------------------------------

void Sound_ApplySettings(SoundHandleRecord* sound, SoundBuffer* buffer)
{
    for (int channel = 0; channel < 8; channel++) {
        int volume = sound->ChannelVolume[channel];
        if (sound->VolumeOverrideSet[channel]) {
            sound->VolumeOverrideSet[channel] = 0;
            volume = sound->VolumeOverride[channel];
        }
        SoundBuffer_SetChannelVolume(buffer, channel, volume);
    }
    int pan = sound->Pan;
    if (sound->PanOverrideSet) {
        sound->PanOverrideSet = 0;
        pan = sound->PanOverride;
    }
    SoundBuffer_SetPanning(buffer, Sound_Clamp(pan, -10000, 10000));
    int frequency = sound->Frequency;
    if (sound->FrequencyOverrideSet) {
        sound->FrequencyOverrideSet = 0;
        frequency = sound->FrequencyOverride;
    }
    if (sound->PitchApplied) frequency = (int)((float)frequency * sound->PitchRate);
    SoundBuffer_SetRate(buffer, frequency);
    if (!sound->Is3D) return;
    const float* position = sound->Position3D;
    if (sound->Position3DOverrideSet) {
        sound->Position3DOverrideSet = 0;
        position = sound->Position3DOverride;
    }
    float radius = sound->Radius3D;
    if (sound->Radius3DOverrideSet) {
        sound->Radius3DOverrideSet = 0;
        radius = sound->Radius3DOverride;
    }
    const float* velocity = sound->Velocity3D;
    if (sound->Velocity3DOverrideSet) {
        sound->Velocity3DOverrideSet = 0;
        velocity = sound->Velocity3DOverride;
    }
    SoundBuffer_Move3D(buffer, position);
    SoundBuffer_SetReach3D(buffer, radius);
    SoundBuffer_SetVelocity3D(buffer, velocity);
    SoundBuffer_Update3D(buffer, 0);
}

int Sound_PrepareNextBuffer(SoundHandleRecord* sound, int fromTop)
{
    if (sound->BufferCount <= 0) return -1;
    if (sound->CurrentBuffer < 0 || sound->CurrentBuffer >= sound->BufferCount) sound->CurrentBuffer = 0;
    int32_t position = -1;
    if (SoundBuffer_GetPosition(&sound->Buffers[sound->CurrentBuffer], &position, nullptr) != 0) position = -1;
    sound->CurrentBuffer = (sound->CurrentBuffer + 1) % sound->BufferCount;
    SoundBuffer* buffer = &sound->Buffers[sound->CurrentBuffer];
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlaying(buffer) == 1) {
        if (!fromTop) return 1;
        SoundBuffer_Halt(buffer, 0);
    }
    // A sound that ended by itself left its position at (or past) the end of the data: it starts
    // again from the beginning.
    const int align = buffer->Format.nBlockAlign;
    if (fromTop || position < 0 || align == 0 || position / align >= buffer->SampleCount) position = 0;
    if (SoundBuffer_SetPosition(buffer, position) != 0) SoundBuffer_SetPosition(buffer, 0);
    Sound_ApplySettings(sound, buffer);
    return 0;
}

int StartSoundPlayback(HandleValue handle, int playType, int fromTop)
{
    if (!SoundWin_IsOutputReady()) return -1;
    Window_WaitWhileInactive();
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;

    if (sound->IsStream) {
        if (!SoundSystemState.Initialized) return -1;
        // Loads of the handles sharing the ring end before the lock is taken: their jobs need it.
        Sound_Stream_FinishRingLoads(handle, sound);
        CriticalSection_Enter(Sound_TypeLock(), "VtSoundPlay", __LINE__);
        sound = Sound_Handle_Get(handle, 1);
        SoundBuffer* ring = nullptr;
        const int prepared = sound != nullptr ? Sound_Stream_PrepareStart(handle, sound, playType, fromTop, &ring) : -1;
        if (prepared != 0 || SoundBuffer_Start(ring, 1) != 0) {
            CriticalSection_Leave(Sound_TypeLock());
            return -1;
        }
        Sound_JoinPlayingLists(handle, sound);
        CriticalSection_Leave(Sound_TypeLock());
    } else {
        const int prepared = Sound_PrepareNextBuffer(sound, fromTop);
        if (prepared == 1) return 0;
        if (prepared != 0) return -1;
        if (SoundBuffer_Start(&sound->Buffers[sound->CurrentBuffer], playType == SoundPlayType_Loop ? 1 : 0) != 0) return -1;
        Sound_JoinPlayingLists(handle, sound);
    }

    if (playType == SoundPlayType_Normal) {
        while (System_PollMessagesNoLock() == 0 && IsSoundPlaying(handle) == 1) Thread_Sleep(1);
    }
    return 0;
}

int StopSoundPlayback(HandleValue handle, int letFinish)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (sound->IsStream) return Sound_Stream_Stop(handle, letFinish);
    const bool clearLoop = SoundSystemState.SoftwareMixing || SoundWinState.UseXAudio2;
    for (int i = 0; i < sound->BufferCount; i++) {
        SoundBuffer* buffer = &sound->Buffers[i];
        if (!buffer->Valid) continue;
        if (!letFinish) sound->Paused[i] = sound->WasPlaying[i] = 0;
        const int playing = SoundBuffer_IsPlaying(buffer);
        if (playing < 0) return -1;
        if (playing != 1) continue;
        if (!letFinish) {
            SoundBuffer_Halt(buffer, 1);
        } else if (clearLoop) {
            buffer->Loop = 0;
        } else {
            SoundBuffer_Halt(buffer, 0);
            SoundBuffer_Start(buffer, 0);
        }
    }
    return 0;
}

int IsSoundPlaying(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (sound->IsStream) return Sound_Stream_IsPlayingRecord(handle, sound) == 1 ? 1 : 0;
    for (int i = 0; i < sound->BufferCount; i++) {
        if (!sound->Buffers[i].Valid) continue;
        if (sound->Paused[i] ? sound->WasPlaying[i] != 0 : SoundBuffer_IsPlaying(&sound->Buffers[i]) == 1) return 1;
    }
    return 0;
}

// ---- Getters and setters --------------------------------------------------------------------------------

int GetSoundFrequency(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    SoundBuffer* buffer = sound != nullptr ? Sound_ReportBuffer(handle, sound) : nullptr;
    int frequency = 0;
    if (buffer == nullptr || SoundBuffer_GetRate(buffer, &frequency) != 0) return -1;
    return frequency;
}

int64_t GetSoundSampleCount(HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    return sound != nullptr ? Sound_SampleCountOf(sound) : -1;
}

int64_t GetSoundLengthMs(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    return Sound_SamplesToMs((int)sound->WaveFormat.nSamplesPerSec, Sound_SampleCountOf(sound));
}

int64_t GetSoundPosition(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (sound->IsStream) return Sound_Stream_GetPlayedBytes(handle);
    SoundBuffer* buffer = Sound_ReportBuffer(handle, sound);
    int32_t play = 0;
    if (buffer == nullptr || SoundBuffer_GetPosition(buffer, &play, nullptr) != 0) return -1;
    return play;
}

int SetSoundPosition(int64_t bytePosition, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (sound->IsStream) return Sound_Stream_Seek(bytePosition, handle, 0);
    SoundBuffer* buffer = Sound_ReportBuffer(handle, sound);
    // A buffer's positions are 32-bit: a position beyond them is beyond the data, never a wrapped
    // small one.
    if (buffer == nullptr || bytePosition < 0 || bytePosition > INT32_MAX) return -1;
    return SoundBuffer_SetPosition(buffer, (int32_t)bytePosition);
}

int SeekSoundToTime(int64_t ms, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr || ms < 0) return -1;
    if (sound->IsStream) return Sound_Stream_SeekToTime(ms, handle);
    // No normal sound holds 2^31 frames: a time past that is past the data (and its frame count
    // times the block alignment stays far inside 64 bits).
    if (ms > (int64_t)INT32_MAX * 1000) return -1;
    const int64_t samples = Sound_MsToSamples((int)sound->WaveFormat.nSamplesPerSec, ms);
    if (samples > INT32_MAX) return -1;
    return SetSoundPosition(samples * sound->WaveFormat.nBlockAlign, handle);
}

int SetSoundVolume(int volume, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    // The public volume runs 0..10,000; outside it is held at the ends, so that the buffers only
    // ever get levels from silence (-10,000) to full (0).
    const int level = Sound_Clamp(volume, 0, 10000) - 10000;
    if (Sound_ForEachBuffer(sound, [&](SoundBuffer* buffer) { return SoundBuffer_SetAllVolumes(buffer, level); }) != 0)
        return -1;
    for (int channel = 0; channel < 8; channel++) sound->ChannelVolume[channel] = level;
    return 0;
}

int SetSoundPan(int pan, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    pan = Sound_Clamp(pan, -10000, 10000);
    if (Sound_ForEachBuffer(sound, [&](SoundBuffer* buffer) { return SoundBuffer_SetPanning(buffer, pan); }) != 0) return -1;
    sound->Pan = pan;
    return 0;
}

int SetSoundFrequency(int frequency, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (frequency == -1) frequency = 0;
    const int applied = sound->PitchApplied ? (int)((float)frequency * sound->PitchRate) : frequency;
    if (Sound_ForEachBuffer(sound, [&](SoundBuffer* buffer) { return SoundBuffer_SetRate(buffer, applied); }) != 0) return -1;
    sound->Frequency = frequency;
    return 0;
}

int GetSoundChannelVolume(int channel, HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr || channel < 0 || channel > 7) return -1;
    SoundBuffer* buffer = Sound_ReportBuffer(handle, sound);
    int volume = 0;
    if (buffer == nullptr || SoundBuffer_GetChannelVolume(buffer, channel, &volume) != 0) return -1;
    return volume + 10000;
}

int GetSoundPan(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    SoundBuffer* buffer = sound != nullptr ? Sound_ReportBuffer(handle, sound) : nullptr;
    int pan = 0;
    if (buffer == nullptr || SoundBuffer_GetPanning(buffer, &pan) != 0) return -1;
    return pan;
}

// ---- Loop points ------------------------------------------------------------------------------------------

int Sound_SetLoopAreaSamples(int64_t start, int64_t end, HandleValue handle, int inJob)
{
    if (start >= end) return -1;
    if (Sound_SetLoopStartSample(start, handle, inJob) != 0) return -1;
    return Sound_SetLoopEndSample(end, handle, inJob);
}

int Sound_SetLoopAreaTime(int64_t startMs, int64_t endMs, HandleValue handle, int inJob)
{
    if (startMs >= endMs) return -1;
    if (Sound_SetLoopStartTime(startMs, handle, inJob) != 0) return -1;
    return Sound_SetLoopEndTime(endMs, handle, inJob);
}

int Sound_SetLoopStartTime(int64_t ms, HandleValue handle, int inJob)
{
    if (ms == -1) return Sound_SetLoopStartSample(-1, handle, inJob);
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    if (sound == nullptr) return -1;
    return Sound_SetLoopStartSample(Sound_MsToSamples((int)sound->WaveFormat.nSamplesPerSec, ms), handle, inJob);
}

int Sound_SetLoopEndTime(int64_t ms, HandleValue handle, int inJob)
{
    if (ms == -1) return Sound_SetLoopEndSample(-1, handle, inJob);
    SoundHandleRecord* sound = Sound_Handle_Get(handle, inJob);
    if (sound == nullptr) return -1;
    return Sound_SetLoopEndSample(Sound_MsToSamples((int)sound->WaveFormat.nSamplesPerSec, ms), handle, inJob);
}

int Sound_SetLoopStartSample(int64_t sample, HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_LoopPoint_Begin(sample, handle, inJob);
    if (sound == nullptr) return -1;
    int result = 0;
    if (!sound->IsStream || sound->SourceCount == 0) {
        result = sample == -1 ? 0 : -1;
    } else if (sample == -1) {
        sound->Sources[0].LoopStartSample = 0;
        sound->Sources[0].LoopCount = 0;
    } else if (sound->SourceCount > 1) {
        Log_AddTextUTF16(L"二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません\n");
        result = -1;
    } else {
        sound->Sources[0].LoopStartSample = sample;
        SoundConvert_SetLoopStartSample(&sound->Sources[0].Convert, sample);
        sound->Sources[0].LoopCount = 255;
    }
    CriticalSection_Leave(Sound_TypeLock());
    return result;
}

int Sound_SetLoopEndSample(int64_t sample, HandleValue handle, int inJob)
{
    SoundHandleRecord* sound = Sound_LoopPoint_Begin(sample, handle, inJob);
    if (sound == nullptr) return -1;
    int result = 0;
    if (!sound->IsStream || sound->SourceCount == 0) {
        result = sample == -1 ? 0 : -1;
    } else if (sample == -1) {
        sound->Sources[0].LoopEndSample = -1;
    } else if (sound->SourceCount > 1) {
        Log_AddTextUTF16(L"二つ以上の音声ファイルから作成されたサウンドハンドルにループ開始位置を指定する事は出来ません\n");
        result = -1;
    } else {
        sound->Sources[0].LoopEndSample = sample;
        if (sound->Consumed > sample * sound->WaveFormat.nBlockAlign) {
            Sound_Stream_UpdatePlayedBytes(handle, -1, 1);
            result = Sound_Stream_Seek(sound->PlayedBytes, handle, 1);
        }
    }
    CriticalSection_Leave(Sound_TypeLock());
    return result;
}

int Sound_RecreateAsStream(HandleValue handle)
{
    SoundHandleRecord* sound = Sound_Handle_Get(handle, 0);
    if (sound == nullptr) return -1;
    if (sound->IsStream) return 0;
    void* image = nullptr;
    uint32_t imageSize = 0;
    WAVEFORMATEX format = sound->WaveFormat;
    format.cbSize = 0;
    if (sound->Pcm == nullptr || Sound_CreateWaveFileImage(&image, &imageSize, &format, 18, sound->Pcm, sound->PcmSize) != 0) {
        Log_AddTextUTF16(L"ストリームサウンドハンドルの作成に失敗しました\n");
        return -1;
    }
    const int volume = GetSoundChannelVolume(0, handle);
    const int64_t position = GetSoundPosition(handle);
    const int frequency = GetSoundFrequency(handle);
    const int pan = GetSoundPan(handle);
    const int is3D = sound->Is3D;
    const int keep = sound->KeepFlag;
    StopSoundPlayback(handle, 0);
    Handle_Delete(handle, 0, 0);

    int result = -1;
    if (Handle_New(HandleType_Sound, 0, handle) == handle) {
        sound = (SoundHandleRecord*)Handle_GetRecord(handle);
        sound->Is3D = is3D;
        sound->KeepFlag = keep;
        if (is3D) {
            CriticalSection_Enter(&SoundSystemState.Sound3DHandleListLock, "VtSoundPlay", __LINE__);
            Handle_List_Append(&SoundSystemState.Sound3DHandleList.End, &sound->Node3D, handle, sound);
            CriticalSection_Leave(&SoundSystemState.Sound3DHandleListLock);
        }
        SoundLoadParam param;
        Sound_LoadParam_Init(&param);
        result = Sound_Stream_AddFromMemImage(&param, image, imageSize, 0, handle, 0, -1, 0);
    }
    Memory_Free(image);
    if (result != 0) {
        Log_AddTextUTF16(L"ストリームサウンドハンドルの作成に失敗しました\n");
        return -1;
    }
    if (volume >= 0) SetSoundVolume(volume, handle);
    if (position >= 0) SetSoundPosition(position, handle);
    if (frequency > 0) SetSoundFrequency(frequency, handle);
    if (pan != -1) SetSoundPan(pan, handle);
    return 0;
}

}  // namespace Vantrel
