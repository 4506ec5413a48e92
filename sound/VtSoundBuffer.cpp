// VtSoundBuffer: playable sound buffers, their shared wave blocks and the software realisation that
// the mixer reads (positions, rate, gains, the mixer list). Buffers of the platform-mixed back-ends
// forward to their platform half (VtSoundBufferWin), which may hand an operation back to the
// software code here.
// Stands on the sound state (mixer list and lock, output), memory, the log and the base math.
#include "sound/VtSoundBuffer.h"

#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBufferWin.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

namespace {

// The mixer-list lock guards the list, the playing flag and the positions; it exists while the sound
// system is up (a buffer outlives it only by its owner's mistake, and then touches no list).
#define SOUND_MIXER_LOCK() \
    if (SoundSystemState.MixerLockCreated) CriticalSection_Enter(&SoundSystemState.SoundMixerListLock, "VtSoundBuffer", __LINE__)
#define SOUND_MIXER_UNLOCK() \
    if (SoundSystemState.MixerLockCreated) CriticalSection_Leave(&SoundSystemState.SoundMixerListLock)

int SoundBuffer_DataRate(const SoundBuffer* buffer) { return (int)buffer->Format.nSamplesPerSec; }

bool SoundBuffer_IsPlatform(const SoundBuffer* buffer) { return buffer->PlatformVoice != nullptr; }

}  // namespace

SoundWaveBlock* SoundWaveBlock_Allocate(uint32_t byteSize, int stereoCopy)
{
    // The header sits at the start of the allocation; the data follows at the next 16-byte boundary,
    // and a two-channel copy (twice the bytes) at the first 16-byte boundary after the data.
    const uint64_t copyBytes = stereoCopy ? (uint64_t)byteSize * 2 + 16 : 0;
    const uint64_t total = (uint64_t)byteSize + sizeof(SoundWaveBlock) + 15 + copyBytes;
    if (total > 0xFFFFFFFFull) return nullptr;
    uint8_t* block = (uint8_t*)Memory_Allocate((uint32_t)total, "VtSoundBuffer", __LINE__);
    if (block == nullptr) return nullptr;
    SoundWaveBlock* wave = (SoundWaveBlock*)block;
    wave->Data = (uint8_t*)(((uintptr_t)block + sizeof(SoundWaveBlock) + 15) & ~(uintptr_t)15);
    wave->StereoCopy = stereoCopy ? (uint8_t*)(((uintptr_t)wave->Data + byteSize + 15) & ~(uintptr_t)15) : nullptr;
    wave->ByteSize = byteSize;
    wave->ReferenceCount = 1;
    return wave;
}

SoundWaveBlock* SoundWaveBlock_AddRef(SoundWaveBlock* block)
{
    InterlockedIncrement(&block->ReferenceCount);
    return block;
}

void SoundWaveBlock_Drop(SoundWaveBlock* wave)
{
    if (wave == nullptr) return;
    if (InterlockedDecrement(&wave->ReferenceCount) == 0) Memory_Free(wave);
}

float SoundBuffer_LevelToGain(int level)
{
    return BaseFunc_Pow(10.0f, (float)level / 100.0f / 20.0f);
}

float SoundBuffer_PanToGain(int pan)
{
    if (pan <= -10000) return -1.0f;
    if (pan >= 10000) return 1.0f;
    if (pan == 0) return 0.0f;
    const float magnitude = 1.0f - SoundBuffer_LevelToGain(pan < 0 ? pan : -pan);
    return pan < 0 ? -magnitude : magnitude;
}

int SoundBuffer_Create(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX* format, const SoundBuffer* source,
                       int is3D)
{
    if (buffer->Valid) return -1;
    if (source == nullptr && (format == nullptr || format->nBlockAlign == 0)) return -1;
    if (source != nullptr && (!source->Valid || (source->Wave == nullptr && !SoundBuffer_IsPlatform(source)))) return -1;
    buffer->Wave = nullptr;
    buffer->ReverbCycleState = 0;
    buffer->ReverbCycleStamp = 0;
    buffer->Is3D = is3D;

    buffer->PlatformVoice = nullptr;
    buffer->ReverbSubmix = nullptr;
    buffer->ReverbEffect = nullptr;
    buffer->VoiceCallback = nullptr;

    if (!SoundSystemState.SoftwareMixing) {
        if (SoundBufferWin_Create(buffer, byteSize, format, source, is3D) != 0) {
            SoundWaveBlock_Drop(buffer->Wave);
            buffer->Wave = nullptr;
            return -1;
        }
    } else if (source != nullptr) {
        buffer->Wave = SoundWaveBlock_AddRef(source->Wave);
    } else {
        buffer->Wave = SoundWaveBlock_Allocate(byteSize, 0);
        if (buffer->Wave == nullptr) {
            Log_AddTextUTF16(L"サウンドバッファ用のメモリ確保に失敗しました\n");
            return -1;
        }
    }

    buffer->Playing = 0;
    buffer->PlayPosition = 0;
    buffer->ReadCursor = 0;
    buffer->ReadFraction = 0;
    buffer->ReadFractionScale = 0;
    buffer->Resampling = 0;
    buffer->Loop = 0;
    buffer->PanGain = 0.0f;
    buffer->Tracking = 0;
    buffer->StartFrame = 0;
    buffer->RateChanged = 0;
    buffer->VolumeGain = 1.0f;
    buffer->InMixerList = 0;
    buffer->StartDelay = 0;
    buffer->Volume3DFactor = 1.0f;
    buffer->Pan3DFactor = 0.0f;

    if (source != nullptr) {
        buffer->Pan = source->Pan;
        memcpy(buffer->Volume, source->Volume, sizeof(buffer->Volume));
        buffer->Frequency = source->Frequency;
        buffer->SampleCount = source->SampleCount;
        buffer->Format = source->Format;
    } else {
        buffer->Pan = 0;
        memset(buffer->Volume, 0, sizeof(buffer->Volume));
        buffer->Frequency = -1;
        buffer->SampleCount = (int)(byteSize / format->nBlockAlign);
        buffer->Format = *format;
    }

    if (is3D) {
        buffer->Refresh3DPending = 1;
        if (source != nullptr) {
            memcpy(buffer->Position3D, source->Position3D, sizeof(buffer->Position3D));
            memcpy(buffer->Front3D, source->Front3D, sizeof(buffer->Front3D));
            memcpy(buffer->Up3D, source->Up3D, sizeof(buffer->Up3D));
            memcpy(buffer->Velocity3D, source->Velocity3D, sizeof(buffer->Velocity3D));
            memcpy(buffer->Extra3D, source->Extra3D, sizeof(buffer->Extra3D));
            buffer->Radius3D = source->Radius3D;
            buffer->InnerRadius3D = source->InnerRadius3D;
        } else {
            static const float front[3] = {0.0f, 0.0f, 1.0f};
            static const float up[3] = {0.0f, 1.0f, 0.0f};
            memset(buffer->Position3D, 0, sizeof(buffer->Position3D));
            memcpy(buffer->Front3D, front, sizeof(front));
            memcpy(buffer->Up3D, up, sizeof(up));
            memset(buffer->Velocity3D, 0, sizeof(buffer->Velocity3D));
        }
        if (!SoundSystemState.SoftwareMixing) SoundBufferWin_Create3D(buffer, source, is3D);
    }
    buffer->Valid = 1;
    if (SoundBuffer_IsPlatform(buffer) && source != nullptr) {
        // The voice starts at its own defaults: it takes the copied volumes, rate and pan.
        if (buffer->Frequency > 0) SoundBufferWin_SetRate(buffer, buffer->Frequency);
        SoundBuffer_UpdateGains(buffer);
    }
    return 0;
}

int SoundBuffer_CreateShared(SoundBuffer* buffer, const SoundBuffer* source, int is3D)
{
    return SoundBuffer_Create(buffer, 0, nullptr, source, is3D);
}

int SoundBuffer_Release(SoundBuffer* buffer)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) SoundBufferWin_Release(buffer);
    else if (buffer->Playing || buffer->InMixerList) SoundBuffer_Halt(buffer, 1);
    SoundWaveBlock_Drop(buffer->Wave);
    buffer->Wave = nullptr;
    buffer->Valid = 0;
    return 0;
}

int SoundBuffer_LockRegion(SoundBuffer* buffer, int32_t offset, int32_t length, void** pointer1, uint32_t* length1,
                           void** pointer2, uint32_t* length2)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) {
        const int result = SoundBufferWin_Lock(buffer, offset, length, pointer1, length1, pointer2, length2);
        if (result != SOUNDBUFFERWIN_NOT_HANDLED) return result;
    }
    if (buffer->Wave == nullptr) return -1;
    // Byte-exact and bounded: the regions never reach past the data, however the range is given.
    const int64_t size = (int64_t)buffer->SampleCount * buffer->Format.nBlockAlign;
    if (offset < 0 || length < 0 || offset >= size) return -1;
    const int64_t wanted = length < size ? length : size;
    *pointer1 = buffer->Wave->Data + offset;
    if (offset + wanted > size) {
        *length1 = (uint32_t)(size - offset);
        *pointer2 = buffer->Wave->Data;
        *length2 = (uint32_t)(wanted - (size - offset));
    } else {
        *length1 = (uint32_t)wanted;
        *pointer2 = nullptr;
        *length2 = 0;
    }
    return 0;
}

int SoundBuffer_UnlockRegion(SoundBuffer* buffer, void* pointer1, uint32_t length1, void* pointer2, uint32_t length2)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_Unlock(buffer, pointer1, length1, pointer2, length2);
    return 0;
}

int SoundBuffer_Start(SoundBuffer* buffer, int loop)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) {
        buffer->Loop = loop;
        return SoundBufferWin_Start(buffer, loop);
    }
    if (!SoundSystemState.MixerLockCreated) return -1;
    buffer->Loop = loop;
    SOUND_MIXER_LOCK();
    if (!buffer->InMixerList) {
        Handle_PtrList_Append(&SoundSystemState.SoundMixerList.End, &buffer->MixerNode, buffer);
        buffer->InMixerList = 1;
        const double frames = (double)(uint32_t)SoundBuffer_DataRate(buffer) * (double)SoundSystemState.TotalOutputFrames /
                              (double)(uint32_t)SoundSystemState.SoftwareOutputRate;
        buffer->StartFrame = BaseFunc_DoubleToInt64(frames) - buffer->ReadCursor;
        buffer->Tracking = 1;
    }
    buffer->StartDelay = 0;
    SoundSystemState.PlayStartCounter += SoundSystemState.PlayStartIncrement;
    buffer->Playing = 1;
    SOUND_MIXER_UNLOCK();
    return 0;
}

int SoundBuffer_Halt(SoundBuffer* buffer, int cut)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_Halt(buffer, cut);
    SOUND_MIXER_LOCK();
    if (buffer->InMixerList && SoundSystemState.MixerLockCreated) {
        Handle_PtrList_Remove(&buffer->MixerNode);
    }
    buffer->InMixerList = 0;
    buffer->Playing = 0;
    SOUND_MIXER_UNLOCK();
    return 0;
}

int SoundBuffer_IsPlaying(const SoundBuffer* buffer)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_IsPlaying(buffer);
    return buffer->Playing;
}

int SoundBuffer_GetPosition(const SoundBuffer* buffer, int32_t* playBytes, int32_t* writeBytes)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) {
        const int result = SoundBufferWin_GetPosition(buffer, playBytes, writeBytes);
        if (result != SOUNDBUFFERWIN_NOT_HANDLED) return result;
    }
    const int blockAlign = buffer->Format.nBlockAlign;
    const int dataRate = SoundBuffer_DataRate(buffer);
    int64_t play = (int64_t)buffer->PlayPosition * blockAlign;
    uint64_t clock = 0, frequency = 0;
    const bool direct = !buffer->Playing || !buffer->Tracking || buffer->RateChanged ||
                        (buffer->Frequency > 0 && buffer->Frequency != dataRate) ||
                        SoundWin_GetOutputClock(&clock, &frequency) != 0 || frequency == 0;
    if (!direct) {
        const int64_t estimate = BaseFunc_DoubleToInt64((double)(uint32_t)dataRate * (double)clock / (double)frequency);
        if (buffer->StartFrame > estimate) {
            play = 0;
        } else {
            const int64_t played = estimate - buffer->StartFrame;
            if (played < buffer->SampleCount) play = played * blockAlign;
            else if (buffer->Loop) play = (played % buffer->SampleCount) * blockAlign;
            else play = (int64_t)buffer->SampleCount * blockAlign;
        }
    }
    if (playBytes) *playBytes = (int32_t)play;
    if (writeBytes) *writeBytes = (int32_t)((int64_t)buffer->PlayPosition * blockAlign);
    return 0;
}

int SoundBuffer_SetPosition(SoundBuffer* buffer, int32_t bytePosition)
{
    if (!buffer->Valid || bytePosition < 0) return -1;
    const int frame = bytePosition / buffer->Format.nBlockAlign;
    if (frame >= buffer->SampleCount) return -1;
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_SetPosition(buffer, bytePosition);
    SOUND_MIXER_LOCK();
    buffer->PlayPosition = frame;
    buffer->ReadCursor = frame;
    buffer->ReadFraction = 0;
    if (buffer->Frequency < 0 || buffer->Frequency == SoundBuffer_DataRate(buffer)) buffer->Resampling = 0;
    buffer->Tracking = 0;
    SOUND_MIXER_UNLOCK();
    return 0;
}

int SoundBuffer_SetRate(SoundBuffer* buffer, int frequency)
{
    if (!buffer->Valid) return -1;
    buffer->Frequency = frequency == 0 ? -1 : frequency;
    SOUND_MIXER_LOCK();
    if (buffer->Frequency > 0 && buffer->Frequency != SoundBuffer_DataRate(buffer)) {
        buffer->Resampling = 1;
        buffer->ReadFraction = 0;
    } else if (buffer->ReadFractionScale == 0 || (uint64_t)buffer->ReadFraction * 10000 < buffer->ReadFractionScale) {
        // Back at the data rate, and the position is (within a ten-thousandth) on a whole frame.
        buffer->Resampling = 0;
        buffer->ReadFraction = 0;
    }
    buffer->RateChanged = 1;
    SOUND_MIXER_UNLOCK();
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_SetRate(buffer, frequency);
    return 0;
}

int SoundBuffer_GetRate(const SoundBuffer* buffer, int* frequency)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) {
        const int result = SoundBufferWin_GetRate(buffer, frequency);
        if (result != SOUNDBUFFERWIN_NOT_HANDLED) return result;
    }
    *frequency = buffer->Frequency > 0 ? buffer->Frequency : SoundBuffer_DataRate(buffer);
    return 0;
}

int SoundBuffer_SetPanning(SoundBuffer* buffer, int pan)
{
    if (!buffer->Valid) return -1;
    buffer->Pan = pan < -10000 ? -10000 : pan > 10000 ? 10000 : pan;
    return SoundBuffer_UpdateGains(buffer);
}

int SoundBuffer_GetPanning(const SoundBuffer* buffer, int* pan)
{
    if (!buffer->Valid) return -1;
    *pan = buffer->Pan;
    return 0;
}

int SoundBuffer_SetChannelVolume(SoundBuffer* buffer, int channel, int value)
{
    if (!buffer->Valid || channel < 0 || channel > 7) return -1;
    buffer->Volume[channel] = value;
    return SoundBuffer_UpdateGains(buffer);
}

int SoundBuffer_SetAllVolumes(SoundBuffer* buffer, int value)
{
    if (!buffer->Valid) return -1;
    for (int i = 0; i < 8; i++) buffer->Volume[i] = value;
    return SoundBuffer_UpdateGains(buffer);
}

int SoundBuffer_GetChannelVolume(const SoundBuffer* buffer, int channel, int* value)
{
    if (!buffer->Valid || channel < 0 || channel > 7) return -1;
    *value = buffer->Volume[channel];
    return 0;
}

void SoundBuffer_CombineSideLevels(int leftLevel, int rightLevel, int pan, int* level, int* combinedPan)
{
    const int leftScale = pan >= 0 ? 10000 - pan : 10000;
    const int rightScale = pan >= 0 ? 10000 : pan + 10000;
    const int scaledLeft = (leftLevel + 10000) * leftScale / 10000;
    const int scaledRight = (rightLevel + 10000) * rightScale / 10000;
    *combinedPan = 0;
    *level = scaledLeft - 10000;
    if (scaledLeft > scaledRight) {
        *combinedPan = -10000 + (int)(10000.0 / scaledLeft * scaledRight);
    } else if (scaledLeft < scaledRight) {
        *combinedPan = 10000 - (int)(10000.0 / scaledRight * scaledLeft);
        *level = scaledRight - 10000;
    }
}

void SoundBuffer_Combine3DLevels(const SoundBuffer* buffer, int* level, int* combinedPan)
{
    float left = SoundBuffer_LevelToGain(buffer->Volume[0]);
    float right = SoundBuffer_LevelToGain(buffer->Volume[1]);
    const float panFactor = buffer->Pan3DFactor;
    if (panFactor < 0.0f) left = (panFactor + 1.0f) * left;
    else if (panFactor > 0.0f) right = (1.0f - panFactor) * right;
    int sideLevel[2];
    const float sides[2] = {left, right};
    for (int i = 0; i < 2; i++) {
        const float product = buffer->Volume3DFactor * sides[i];
        int side = product <= 0.0f ? -10000 : (int)BaseFunc_DoubleToInt64(20.0 * BaseFunc_Log10D(product) * 100.0);
        if (side < -10000) side = -10000;
        if (side > 0) side = 0;
        sideLevel[i] = side;
    }
    SoundBuffer_CombineSideLevels(sideLevel[0], sideLevel[1], buffer->Pan, level, combinedPan);
}

int SoundBuffer_UpdateGains(SoundBuffer* buffer)
{
    if (!buffer->Valid) return -1;
    if (SoundBuffer_IsPlatform(buffer)) return SoundBufferWin_UpdateVolume(buffer);
    if (!buffer->Is3D) {
        const int level = buffer->Volume[0];
        buffer->VolumeGain = level >= -9999 ? SoundBuffer_LevelToGain(level) : 0.0f;
        buffer->PanGain = SoundBuffer_PanToGain(buffer->Pan);
        return 0;
    }
    int level = 0, combinedPan = 0;
    SoundBuffer_Combine3DLevels(buffer, &level, &combinedPan);
    buffer->VolumeGain = level >= -9999 ? SoundBuffer_LevelToGain(level) : 0.0f;
    buffer->PanGain = SoundBuffer_PanToGain(combinedPan);
    return 0;
}

namespace {

// The 3D refresh: X3DAudio for XAudio2 voices, the listener model otherwise (VtSoundBufferWin).
int SoundBuffer_Refresh3D(SoundBuffer* buffer)
{
    return SoundBufferWin_Update3D(buffer);
}

bool SoundBuffer_VectorUnchanged(const float* stored, const float* given)
{
    for (int i = 0; i < 3; i++) {
        const float difference = stored[i] - given[i];
        if (difference >= 0.001f || difference <= -0.001f) return false;
    }
    return true;
}

// Whether a 3D change is refreshed at once: on a buffer that plays (as the platform tells for its
// own buffers); otherwise the refresh waits for the next play.
bool SoundBuffer_RefreshesNow(const SoundBuffer* buffer)
{
    return !buffer->Valid || SoundBuffer_IsPlaying(buffer) == 1;
}

int SoundBuffer_Store3DVector(SoundBuffer* buffer, float* stored, const float* given,
                              int (*storeInEmitter)(SoundBuffer*, const float*))
{
    if (!buffer->Is3D) return -1;
    if (SoundBuffer_VectorUnchanged(stored, given)) return 0;
    memcpy(stored, given, sizeof(float) * 3);
    storeInEmitter(buffer, stored);
    buffer->Refresh3DPending = 1;
    if (!SoundBuffer_RefreshesNow(buffer)) return 0;
    if (SoundBuffer_Refresh3D(buffer) == 0) buffer->Refresh3DPending = 0;
    return 0;
}

}  // namespace

int SoundBuffer_Move3D(SoundBuffer* buffer, const float* position)
{
    return SoundBuffer_Store3DVector(buffer, buffer->Position3D, position, SoundBufferWin_Store3DPosition);
}

int SoundBuffer_SetVelocity3D(SoundBuffer* buffer, const float* velocity)
{
    return SoundBuffer_Store3DVector(buffer, buffer->Velocity3D, velocity, SoundBufferWin_Store3DVelocity);
}

int SoundBuffer_SetReach3D(SoundBuffer* buffer, float radius)
{
    if (!buffer->Is3D) return -1;
    const float difference = buffer->Radius3D - radius;
    if (difference < 0.001f && difference > -0.001f) return 0;
    buffer->Radius3D = radius;
    SoundBufferWin_Store3DRadius(buffer, radius);
    buffer->Refresh3DPending = 1;
    if (!SoundBuffer_RefreshesNow(buffer)) return 0;
    return SoundBuffer_Update3D(buffer, 0);
}

int SoundBuffer_Update3D(SoundBuffer* buffer, int force)
{
    if (!buffer->Is3D || !buffer->Valid) return -1;
    if (!force && !buffer->Refresh3DPending) return 0;
    if (SoundBuffer_Refresh3D(buffer) != 0) return -1;
    buffer->Refresh3DPending = 0;
    return 0;
}

}  // namespace Vantrel
