// VtSoundBufferWin: sound buffers as DirectSound secondary buffers or XAudio2 source voices: creation
// and release, lock, play, stop, position, rate and volume, the XAudio2 voice feeding and per-buffer
// reverb with its tail, and the 3D refresh through X3DAudio or the library's listener model.
// Stands on the sound state, the platform output (VtSoundWin), the generic buffer code, the log and
// the system function table.
#include "sound/VtSoundBufferWin.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#include <xaudio2.h>
#include <string.h>

#include <new>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundWin.h"
#include "system/VtTime.h"

namespace Vantrel {

namespace {

// The reverb class of XAudio2 2.7, created through COM.
const CLSID SoundBufferWin_AudioReverb27 = {0x6a93130e, 0x1d53, 0x41d1, {0xa9, 0xcf, 0xe7, 0x58, 0x80, 0x0b, 0xb1, 0x79}};
const IID SoundBufferWin_IIDUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef HRESULT(WINAPI* SoundBufferWin_CreateAudioReverbProc)(IUnknown** effect);

constexpr DWORD SOUNDBUFFERWIN_DS_FLAGS = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS |
                                          DSBCAPS_GETCURRENTPOSITION2;
constexpr DWORD SOUNDBUFFERWIN_REVERB_TAIL_MS = 3000;
constexpr int SOUNDBUFFERWIN_MATRIX_SIZE = 256;
constexpr int SOUNDBUFFERWIN_MAX_3D_CHANNELS = 8;
constexpr uint32_t SOUNDBUFFERWIN_SPEAKER_LOW_FREQUENCY = 0x8;

// Distance curves shared by every emitter (X3DAudio only reads them).
X3DAudioDistanceCurvePoint VolumeCurvePoints[2] = {{0.0f, 1.0f}, {1.0f, 0.0f}};
X3DAudioDistanceCurvePoint LfeCurvePoints[3] = {{0.0f, 1.0f}, {0.25f, 0.0f}, {1.0f, 0.0f}};
X3DAudioDistanceCurvePoint ReverbCurvePoints[3] = {{0.0f, 0.5f}, {0.75f, 1.0f}, {1.0f, 0.0f}};
X3DAudioDistanceCurve VolumeCurve = {VolumeCurvePoints, 2};
X3DAudioDistanceCurve LfeCurve = {LfeCurvePoints, 3};
X3DAudioDistanceCurve ReverbCurve = {ReverbCurvePoints, 3};

bool SoundBufferWin_UsesXAudio2() { return SoundWinState.UseXAudio2 && SoundWinState.XAudio2Ready; }
bool SoundBufferWin_IsXAudio28() { return SoundWinState.MasteringVoice28 != nullptr; }

IXAudio2Voice* SoundBufferWin_MasteringVoice()
{
    // The 2.7 and 2.8 voice tables agree in every slot used here.
    return SoundBufferWin_IsXAudio28() ? (IXAudio2Voice*)SoundWinState.MasteringVoice28
                                       : (IXAudio2Voice*)SoundWinState.MasteringVoice27;
}

// A buffer's voice, only while the output that made it is still open.
IXAudio2SourceVoice* SoundBufferWin_Voice(const SoundBuffer* buffer)
{
    if (buffer->PlatformVoice == nullptr || buffer->OutputGeneration != SoundWinState.OutputGeneration) return nullptr;
    return SoundBufferWin_UsesXAudio2() ? (IXAudio2SourceVoice*)buffer->PlatformVoice : nullptr;
}

IDirectSoundBuffer* SoundBufferWin_DirectSoundBuffer(const SoundBuffer* buffer)
{
    if (buffer->PlatformVoice == nullptr || buffer->OutputGeneration != SoundWinState.OutputGeneration) return nullptr;
    return SoundBufferWin_UsesXAudio2() ? nullptr : (IDirectSoundBuffer*)buffer->PlatformVoice;
}

float SoundBufferWin_LevelToAmplitude(int level) { return BaseFunc_Pow(10.0f, (float)level / 100.0f / 20.0f); }

void SoundBufferWin_ReleaseXAudio2Objects(SoundBuffer* buffer)
{
    if (buffer->PlatformVoice != nullptr) ((IXAudio2SourceVoice*)buffer->PlatformVoice)->DestroyVoice();
    if (buffer->ReverbSubmix != nullptr) ((IXAudio2SubmixVoice*)buffer->ReverbSubmix)->DestroyVoice();
    if (buffer->ReverbEffect != nullptr) ((IUnknown*)buffer->ReverbEffect)->Release();
    buffer->PlatformVoice = nullptr;
    buffer->ReverbSubmix = nullptr;
    buffer->ReverbEffect = nullptr;
}

// The reverb of a 3D buffer: the effect, a submix voice carrying it (disabled until the buffer
// plays) and the first reverb environment.
int SoundBufferWin_CreateReverb(SoundBuffer* buffer, const WAVEFORMATEX& format)
{
    SoundWinStateRecord& win = SoundWinState;
    IUnknown* effect = nullptr;
    HRESULT hr;
    if (SoundBufferWin_IsXAudio28()) {
        hr = win.CreateAudioReverbEntry != nullptr
                 ? ((SoundBufferWin_CreateAudioReverbProc)(void*)win.CreateAudioReverbEntry)(&effect)
                 : E_FAIL;
    } else {
        hr = WinAPITable.CoCreateInstance(SoundBufferWin_AudioReverb27, nullptr, CLSCTX_INPROC_SERVER, SoundBufferWin_IIDUnknown,
                                          (void**)&effect);
    }
    if (hr != S_OK || effect == nullptr) return -1;
    buffer->ReverbEffect = effect;

    XAUDIO2_EFFECT_DESCRIPTOR descriptor;
    descriptor.pEffect = effect;
    descriptor.InitialState = TRUE;
    descriptor.OutputChannels = format.nChannels;
    XAUDIO2_EFFECT_CHAIN chain = {1, &descriptor};
    IXAudio2SubmixVoice* submix = nullptr;
    const UINT32 rate = (UINT32)SoundSystemState.OutputRate;
    if (SoundBufferWin_IsXAudio28())
        hr = ((IXAudio2*)win.OutputDevice)->CreateSubmixVoice(&submix, format.nChannels, rate, 0, 0, nullptr, &chain);
    else
        hr = ((IXAudio27*)win.OutputDevice)->CreateSubmixVoice(&submix, format.nChannels, rate, 0, 0,
                                                               nullptr, &chain);
    if (hr != S_OK || submix == nullptr) return -1;
    buffer->ReverbSubmix = submix;

    memset(&buffer->ReverbParameters, 0, sizeof(buffer->ReverbParameters));
    SoundWin_GetReverbPresetParam(&buffer->ReverbParameters, 0);
    const UINT32 size = SoundBufferWin_IsXAudio28() ? sizeof(XAudio2ReverbParameters28) : sizeof(XAudio2ReverbParameters27);
    if (submix->SetEffectParameters(0, &buffer->ReverbParameters, size, XAUDIO2_COMMIT_NOW) != S_OK) return -1;
    submix->DisableEffect(0, XAUDIO2_COMMIT_NOW);
    return 0;
}

void SoundBufferWin_WidenRegion(const SoundBuffer* buffer, const void* region, uint32_t length);

int SoundBufferWin_CreateXAudio2(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX& format, const SoundBuffer* source,
                                 int is3D)
{
    SoundWinStateRecord& win = SoundWinState;
    if (is3D && format.nChannels > SOUNDBUFFERWIN_MAX_3D_CHANNELS) return -1;
    if (is3D && SoundBufferWin_CreateReverb(buffer, format) != 0) {
        SoundBufferWin_ReleaseXAudio2Objects(buffer);
        return -1;
    }
    WAVEFORMATEX voiceFormat = format;
    voiceFormat.cbSize = 0;
    const int stereoCopy = !is3D && format.nChannels == 1;
    if (stereoCopy) {
        voiceFormat.nChannels = 2;
        voiceFormat.nBlockAlign = (WORD)(2 * format.wBitsPerSample / 8);
        voiceFormat.nAvgBytesPerSec = voiceFormat.nBlockAlign * format.nSamplesPerSec;
    }
    buffer->VoiceChannels = voiceFormat.nChannels;

    if (source != nullptr && source->Wave != nullptr && (source->Wave->StereoCopy != nullptr) == (stereoCopy != 0)) {
        buffer->Wave = SoundWaveBlock_AddRef(source->Wave);
    } else {
        // A source whose block lacks (or has) the two-channel copy this voice needs lends its data.
        buffer->Wave = SoundWaveBlock_Allocate(byteSize, stereoCopy);
        if (buffer->Wave != nullptr && source != nullptr && source->Wave != nullptr) {
            memcpy(buffer->Wave->Data, source->Wave->Data, byteSize < source->Wave->ByteSize ? byteSize : source->Wave->ByteSize);
            if (stereoCopy) SoundBufferWin_WidenRegion(buffer, buffer->Wave->Data, byteSize);
        }
    }
    if (buffer->Wave == nullptr) {
        SoundBufferWin_ReleaseXAudio2Objects(buffer);
        return -1;
    }

    buffer->VoiceCallback = new (std::nothrow) SOUNDBUFFER_CALLBACK(buffer);
    if (buffer->VoiceCallback == nullptr) {
        SoundBufferWin_ReleaseXAudio2Objects(buffer);
        return -1;
    }
    XAUDIO2_SEND_DESCRIPTOR sends[2] = {{XAUDIO2_SEND_USEFILTER, SoundBufferWin_MasteringVoice()},
                                        {XAUDIO2_SEND_USEFILTER, (IXAudio2Voice*)buffer->ReverbSubmix}};
    XAUDIO2_VOICE_SENDS sendList = {2, sends};
    IXAudio2VoiceCallback* callback = reinterpret_cast<IXAudio2VoiceCallback*>(static_cast<D_IXAudio2VoiceCallback*>(buffer->VoiceCallback));
    IXAudio2SourceVoice* voice = nullptr;
    HRESULT hr;
    if (SoundBufferWin_IsXAudio28())
        hr = ((IXAudio2*)win.OutputDevice)->CreateSourceVoice(&voice, &voiceFormat, 0, 1024.0f, callback,
                                                              is3D ? &sendList : nullptr, nullptr);
    else
        hr = ((IXAudio27*)win.OutputDevice)->CreateSourceVoice(&voice, &voiceFormat, 0, 1024.0f,
                                                               callback, is3D ? &sendList : nullptr, nullptr);
    if (hr != S_OK || voice == nullptr) {
        SoundBufferWin_ReleaseXAudio2Objects(buffer);
        delete buffer->VoiceCallback;
        buffer->VoiceCallback = nullptr;
        return -1;
    }
    buffer->PlatformVoice = voice;
    return 0;
}

int SoundBufferWin_CreateDirectSound(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX& format)
{
    IDirectSound* sound = (IDirectSound*)SoundWinState.OutputDevice;
    const DWORD location = SoundWinState.UseSoftwareBuffers ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC;
    WAVEFORMATEX bufferFormat = format;
    if (bufferFormat.wFormatTag == WAVE_FORMAT_PCM) bufferFormat.cbSize = 0;
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = SOUNDBUFFERWIN_DS_FLAGS | location;
    desc.dwBufferBytes = byteSize;
    desc.lpwfxFormat = &bufferFormat;
    IDirectSoundBuffer* created = nullptr;
    if (sound->CreateSoundBuffer(&desc, &created, nullptr) != S_OK || created == nullptr) {
        created = nullptr;
        desc.dwFlags = DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | location;
        if (sound->CreateSoundBuffer(&desc, &created, nullptr) != S_OK || created == nullptr) return -1;
    }
    buffer->PlatformVoice = created;
    buffer->VoiceChannels = format.nChannels;
    return 0;
}

// DirectSound buffers keep their own data: a buffer made from another starts with a copy of it.
void SoundBufferWin_CopyDirectSoundData(IDirectSoundBuffer* target, IDirectSoundBuffer* source, uint32_t byteSize)
{
    void* from = nullptr;
    void* to = nullptr;
    DWORD fromBytes = 0, toBytes = 0;
    if (byteSize == 0 || source->Lock(0, byteSize, &from, &fromBytes, nullptr, nullptr, 0) != S_OK) return;
    if (target->Lock(0, byteSize, &to, &toBytes, nullptr, nullptr, 0) == S_OK) {
        memcpy(to, from, fromBytes < toBytes ? fromBytes : toBytes);
        target->Unlock(to, toBytes, nullptr, 0);
    }
    source->Unlock(from, fromBytes, nullptr, 0);
}

// Widens written mono samples into the two-channel copy, frame for frame.
void SoundBufferWin_WidenRegion(const SoundBuffer* buffer, const void* region, uint32_t length)
{
    const SoundWaveBlock* wave = buffer->Wave;
    if (region == nullptr || length == 0) return;
    const uint8_t* start = (const uint8_t*)region;
    if (start < wave->Data || start >= wave->Data + wave->ByteSize) return;
    const uint64_t offset = (uint64_t)(start - wave->Data);
    uint64_t bytes = length;
    if (offset + bytes > wave->ByteSize) bytes = wave->ByteSize - offset;
    if (buffer->Format.wBitsPerSample == 8) {
        uint16_t* copy = (uint16_t*)wave->StereoCopy + offset;
        for (uint64_t i = 0; i < bytes; i++) copy[i] = (uint16_t)(start[i] * 257u);
    } else if (buffer->Format.wBitsPerSample == 16) {
        const uint16_t* samples = (const uint16_t*)start;
        uint32_t* copy = (uint32_t*)wave->StereoCopy + offset / 2;
        for (uint64_t i = 0; i < bytes / 2; i++) copy[i] = samples[i] * 65537u;
    }
}

}  // namespace

// Voice feeding --------------------------------------------------------------------------------------

void STDMETHODCALLTYPE SOUNDBUFFER_CALLBACK::OnVoiceProcessingPassStart(UINT32 bytesRequired)
{
    SoundBuffer* buffer = Owner;
    IXAudio2SourceVoice* voice = (IXAudio2SourceVoice*)buffer->PlatformVoice;
    const SoundWaveBlock* wave = buffer->Wave;
    if (voice == nullptr || wave == nullptr) return;
    int slice = (int)(buffer->Format.nSamplesPerSec / 60);
    if (slice < 1) slice = 1;
    const uint32_t frameBytes = (uint32_t)buffer->Format.wBitsPerSample * (uint32_t)buffer->VoiceChannels / 8;
    const uint8_t* data = wave->StereoCopy != nullptr ? wave->StereoCopy : wave->Data;
    int position = buffer->ReadCursor;
    uint64_t submitted = 0;
    while (submitted < bytesRequired) {
        if (position >= buffer->SampleCount) {
            // An empty sound has nothing to loop over.
            if (!buffer->Loop || buffer->SampleCount <= 0) {
                SoundBufferWin_Halt(buffer, 0);
                break;
            }
            position = 0;
        }
        int frames = buffer->SampleCount - position;
        if (frames > slice) frames = slice;
        if ((uint64_t)frames * frameBytes > bytesRequired) frames = (int)(bytesRequired / frameBytes);
        // Less than one frame asked for: it comes with the next pass.
        if (frames <= 0 || frameBytes == 0) break;
        XAUDIO2_BUFFER submission;
        memset(&submission, 0, sizeof(submission));
        submission.AudioBytes = (UINT32)frames * frameBytes;
        submission.pAudioData = data + (uint64_t)position * frameBytes;
        submission.pContext = buffer;
        if (voice->SubmitSourceBuffer(&submission, nullptr) != S_OK) break;
        position += frames;
        submitted += submission.AudioBytes;
    }
    buffer->ReadCursor = position;
}

void STDMETHODCALLTYPE SOUNDBUFFER_CALLBACK::OnBufferEnd(void* context)
{
    SoundBuffer* buffer = (SoundBuffer*)context;
    if (buffer != nullptr) buffer->PlayPosition = buffer->ReadCursor;
}

// Creation and release -------------------------------------------------------------------------------

int SoundBufferWin_Create(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX* format, const SoundBuffer* source,
                          int is3D)
{
    buffer->PlatformVoice = nullptr;
    buffer->ReverbSubmix = nullptr;
    buffer->ReverbEffect = nullptr;
    buffer->VoiceCallback = nullptr;
    buffer->Wave = nullptr;
    if (SoundWinState.OutputDevice <= 1) return -1;
    WAVEFORMATEX chosen;
    if (source != nullptr) {
        chosen = source->Format;
        const uint64_t bytes = (uint64_t)source->Format.nBlockAlign * (uint64_t)(uint32_t)source->SampleCount;
        if (bytes > 0xFFFFFFFFull) return -1;
        byteSize = (uint32_t)bytes;
    } else {
        chosen = *format;
    }
    if (chosen.nBlockAlign == 0 || chosen.nChannels == 0) return -1;
    buffer->OutputGeneration = SoundWinState.OutputGeneration;
    if (SoundBufferWin_UsesXAudio2()) return SoundBufferWin_CreateXAudio2(buffer, byteSize, chosen, source, is3D);
    if (SoundBufferWin_CreateDirectSound(buffer, byteSize, chosen) != 0) return -1;
    if (source != nullptr && SoundBufferWin_DirectSoundBuffer(source) != nullptr)
        SoundBufferWin_CopyDirectSoundData((IDirectSoundBuffer*)buffer->PlatformVoice, (IDirectSoundBuffer*)source->PlatformVoice,
                                           byteSize);
    return 0;
}

int SoundBufferWin_Create3D(SoundBuffer* buffer, const SoundBuffer* source, int is3D)
{
    if (!is3D) return 0;
    if (source != nullptr && source->Is3D) {
        buffer->EmitterCone = source->EmitterCone;
        memcpy(buffer->EmitterAzimuths, source->EmitterAzimuths, sizeof(buffer->EmitterAzimuths));
        buffer->Emitter = source->Emitter;
        buffer->Emitter.pCone = &buffer->EmitterCone;
        buffer->Emitter.pChannelAzimuths = buffer->EmitterAzimuths;
        return 0;
    }
    X3DAudioCone& cone = buffer->EmitterCone;
    memset(&cone, 0, sizeof(cone));
    cone.OuterVolume = 1.0f;
    cone.OuterLPF = 1.0f;
    cone.OuterReverb = 1.0f;
    memset(buffer->EmitterAzimuths, 0, sizeof(buffer->EmitterAzimuths));
    X3DAudioEmitter& emitter = buffer->Emitter;
    memset(&emitter, 0, sizeof(emitter));
    emitter.pCone = &cone;
    emitter.OrientFront.z = 1.0f;
    emitter.OrientTop.y = 1.0f;
    emitter.InnerRadius = 2.0f;
    emitter.InnerRadiusAngle = 0.7853982f;
    emitter.ChannelCount = buffer->Format.nChannels;
    emitter.ChannelRadius = 0.1f;
    emitter.pChannelAzimuths = buffer->EmitterAzimuths;
    emitter.pVolumeCurve = &VolumeCurve;
    emitter.pLFECurve = &LfeCurve;
    emitter.pReverbCurve = &ReverbCurve;
    emitter.CurveDistanceScaler = 14.0f;
    emitter.DopplerScaler = 1.0f;
    buffer->Extra3D[0] = cone.InnerAngle;
    buffer->Extra3D[1] = cone.OuterAngle;
    buffer->Extra3D[2] = cone.InnerVolume;
    buffer->Extra3D[3] = cone.OuterVolume;
    buffer->Radius3D = emitter.CurveDistanceScaler;
    buffer->InnerRadius3D = emitter.InnerRadius;
    return 0;
}

int SoundBufferWin_Release(SoundBuffer* buffer)
{
    // Objects of an output that was closed in the meantime went with it: they are only forgotten.
    const bool live = buffer->OutputGeneration == SoundWinState.OutputGeneration && SoundWinState.OutputDevice > 1;
    if (buffer->VoiceCallback != nullptr || buffer->ReverbSubmix != nullptr) {
        if (live) SoundBufferWin_ReleaseXAudio2Objects(buffer);
        delete buffer->VoiceCallback;
        buffer->VoiceCallback = nullptr;
    } else if (buffer->PlatformVoice != nullptr && live) {
        IDirectSoundBuffer* sound = (IDirectSoundBuffer*)buffer->PlatformVoice;
        sound->Stop();
        sound->Release();
    }
    buffer->PlatformVoice = nullptr;
    buffer->ReverbSubmix = nullptr;
    buffer->ReverbEffect = nullptr;
    buffer->Playing = 0;
    return 0;
}

int SoundBufferWin_HasVoice(const SoundBuffer* buffer) { return buffer->PlatformVoice != nullptr ? 1 : 0; }

// Lock, play state, position, rate -------------------------------------------------------------------

int SoundBufferWin_Lock(SoundBuffer* buffer, int32_t offset, int32_t length, void** pointer1, uint32_t* length1,
                        void** pointer2, uint32_t* length2)
{
    if (SoundBufferWin_UsesXAudio2()) return SOUNDBUFFERWIN_NOT_HANDLED;
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr || offset < 0 || length < 0) return -1;
    DWORD bytes1 = 0, bytes2 = 0;
    if (sound->Lock((DWORD)offset, (DWORD)length, pointer1, &bytes1, pointer2, &bytes2, 0) != S_OK) return -1;
    *length1 = bytes1;
    *length2 = bytes2;
    return 0;
}

int SoundBufferWin_Unlock(SoundBuffer* buffer, void* pointer1, uint32_t length1, void* pointer2, uint32_t length2)
{
    if (SoundBufferWin_UsesXAudio2()) {
        if (buffer->Wave != nullptr && buffer->Wave->StereoCopy != nullptr) {
            SoundBufferWin_WidenRegion(buffer, pointer1, length1);
            SoundBufferWin_WidenRegion(buffer, pointer2, length2);
        }
        return 0;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    return sound->Unlock(pointer1, length1, pointer2, length2) == S_OK ? 0 : -1;
}

int SoundBufferWin_Start(SoundBuffer* buffer, int loop)
{
    if (SoundBufferWin_UsesXAudio2()) {
        IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
        if (voice == nullptr) return -1;
        buffer->Playing = 1;
        if (voice->Start(0, XAUDIO2_COMMIT_NOW) != S_OK) {
            buffer->Playing = 0;
            return -1;
        }
        if (buffer->ReverbSubmix != nullptr) ((IXAudio2SubmixVoice*)buffer->ReverbSubmix)->EnableEffect(0, XAUDIO2_COMMIT_NOW);
        buffer->ReverbCycleState = 1;
        buffer->ReverbCycleStamp = 0;
        return 0;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    return sound->Play(0, 0, loop ? DSBPLAY_LOOPING : 0) == S_OK ? 0 : -1;
}

int SoundBufferWin_Halt(SoundBuffer* buffer, int cut)
{
    if (SoundBufferWin_UsesXAudio2()) {
        IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
        if (voice == nullptr) return -1;
        voice->Stop(0, XAUDIO2_COMMIT_NOW);
        if (buffer->ReverbSubmix != nullptr && cut)
            ((IXAudio2SubmixVoice*)buffer->ReverbSubmix)->DisableEffect(0, XAUDIO2_COMMIT_NOW);
        buffer->Playing = 0;
        return 0;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    return sound->Stop() == S_OK ? 0 : -1;
}

int SoundBufferWin_IsPlaying(const SoundBuffer* buffer)
{
    if (SoundBufferWin_UsesXAudio2()) return buffer->Playing;
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    DWORD status = 0;
    if (sound == nullptr || sound->GetStatus(&status) != S_OK) return -1;
    return (status & DSBSTATUS_PLAYING) ? 1 : 0;
}

int SoundBufferWin_GetPosition(const SoundBuffer* buffer, int32_t* playBytes, int32_t* writeBytes)
{
    if (SoundBufferWin_UsesXAudio2()) return SOUNDBUFFERWIN_NOT_HANDLED;
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    DWORD play = 0, write = 0;
    if (sound == nullptr || sound->GetCurrentPosition(&play, &write) != S_OK) return -1;
    if (playBytes) *playBytes = (int32_t)play;
    if (writeBytes) *writeBytes = (int32_t)write;
    return 0;
}

int SoundBufferWin_SetPosition(SoundBuffer* buffer, int32_t bytePosition)
{
    if (SoundBufferWin_UsesXAudio2()) {
        IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
        if (voice == nullptr) return -1;
        const int frame = bytePosition / buffer->Format.nBlockAlign;
        buffer->PlayPosition = frame;
        buffer->ReadCursor = frame;
        voice->FlushSourceBuffers();
        return 0;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    return sound->SetCurrentPosition((DWORD)bytePosition) == S_OK ? 0 : -1;
}

int SoundBufferWin_SetRate(SoundBuffer* buffer, int frequency)
{
    const uint32_t dataRate = buffer->Format.nSamplesPerSec;
    if (SoundBufferWin_UsesXAudio2()) {
        IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
        if (voice == nullptr) return -1;
        const double ratio = frequency <= 0 || dataRate == 0 ? 1.0 : (double)frequency / (double)dataRate;
        return voice->SetFrequencyRatio((float)ratio, XAUDIO2_COMMIT_NOW) == S_OK ? 0 : -1;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    return sound->SetFrequency(frequency <= 0 ? DSBFREQUENCY_ORIGINAL : (DWORD)frequency) == S_OK ? 0 : -1;
}

int SoundBufferWin_GetRate(const SoundBuffer* buffer, int* frequency)
{
    if (SoundBufferWin_UsesXAudio2()) return SOUNDBUFFERWIN_NOT_HANDLED;
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    DWORD rate = 0;
    if (sound == nullptr || sound->GetFrequency(&rate) != S_OK) return -1;
    *frequency = (int)rate;
    return 0;
}

// Volume -----------------------------------------------------------------------------------------------

int SoundBufferWin_UpdateVolume(SoundBuffer* buffer)
{
    if (SoundBufferWin_UsesXAudio2()) {
        IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
        if (voice == nullptr) return -1;
        float levels[64];
        const int channels = buffer->VoiceChannels < 64 ? buffer->VoiceChannels : 64;
        for (int i = 0; i < channels; i++) levels[i] = i < 8 ? SoundBufferWin_LevelToAmplitude(buffer->Volume[i]) : 1.0f;
        if (buffer->Format.nChannels <= 2 && channels >= 2) {
            if (buffer->Format.nChannels == 1) levels[1] = levels[0];
            if (buffer->Pan < 0) levels[1] *= SoundBufferWin_LevelToAmplitude(buffer->Pan);
            else if (buffer->Pan > 0) levels[0] *= SoundBufferWin_LevelToAmplitude(-buffer->Pan);
        }
        return voice->SetChannelVolumes((UINT32)channels, levels, XAUDIO2_COMMIT_NOW) == S_OK ? 0 : -1;
    }
    IDirectSoundBuffer* sound = SoundBufferWin_DirectSoundBuffer(buffer);
    if (sound == nullptr) return -1;
    if (buffer->Format.nChannels >= 3) {
        int level = buffer->Volume[0];
        level = level < -10000 ? -10000 : level > 0 ? 0 : level;
        const HRESULT volume = sound->SetVolume(level);
        const HRESULT pan = sound->SetPan(buffer->Pan);
        return volume == S_OK && pan == S_OK ? 0 : -1;
    }
    int level = 0, pan = 0;
    if (buffer->Is3D) SoundBuffer_Combine3DLevels(buffer, &level, &pan);
    else SoundBuffer_CombineSideLevels(buffer->Volume[0], buffer->Volume[0], buffer->Pan, &level, &pan);
    const HRESULT panResult = sound->SetPan(pan);
    const HRESULT volumeResult = sound->SetVolume(level < -10000 ? -10000 : level);
    return panResult == S_OK && volumeResult == S_OK ? 0 : -1;
}

// 3D ---------------------------------------------------------------------------------------------------

void SoundBufferWin_ListenerFactors(const float* position, float radius, float* volumeFactor, float* panFactor)
{
    const SoundSystemStateRecord& state = SoundSystemState;
    float d[3];
    for (int i = 0; i < 3; i++) d[i] = position[i] - state.ListenerPosition[i];
    const float square = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    float length = square < 1e-7f ? 0.0f : BaseFunc_Sqrt(square);
    if (length < 1e-13f) length = 1e-13f;
    const float distance = radius < length ? 0.0f : 1.0f - length / radius;
    float n[3];
    for (int i = 0; i < 3; i++) n[i] = d[i] / length;
    float facing = state.ListenerFront[0] * n[0] + state.ListenerFront[1] * n[1] + state.ListenerFront[2] * n[2];
    facing = facing > 1.0f ? 1.0f : facing < -1.0f ? -1.0f : facing;
    const float angle = 2.0f * BaseFunc_Acos(facing);
    float cone;
    if (angle < state.ConeInnerAngle) cone = state.ConeInnerVolume;
    else if (angle > state.ConeOuterAngle) cone = state.ConeOuterVolume;
    else
        cone = state.ConeInnerVolume + (state.ConeOuterVolume - state.ConeInnerVolume) * (angle - state.ConeInnerAngle) /
                                           (state.ConeOuterAngle - state.ConeInnerAngle);
    *volumeFactor = cone * distance;
    float side = state.ListenerRight[0] * n[0] + state.ListenerRight[1] * n[1] + state.ListenerRight[2] * n[2];
    side = side > 0.8f ? 0.8f : side < -0.8f ? -0.8f : side;
    // A sound on the right (side > 0) lowers the left side, whose factor is the negative one.
    *panFactor = -side;
}

int SoundBufferWin_Update3D(SoundBuffer* buffer)
{
    if (!SoundBufferWin_UsesXAudio2() || buffer->PlatformVoice == nullptr) {
        SoundBufferWin_ListenerFactors(buffer->Position3D, buffer->Radius3D, &buffer->Volume3DFactor, &buffer->Pan3DFactor);
        return SoundBuffer_UpdateGains(buffer);
    }
    SoundWinStateRecord& win = SoundWinState;
    IXAudio2SourceVoice* voice = SoundBufferWin_Voice(buffer);
    if (voice == nullptr || buffer->ReverbSubmix == nullptr || win.X3DAudioCalculateEntry == nullptr) return -1;
    const UINT32 sourceChannels = buffer->Format.nChannels;
    const UINT32 outputChannels = (UINT32)SoundSystemState.OutputChannels;
    if (outputChannels == 0 || (uint64_t)sourceChannels * outputChannels > SOUNDBUFFERWIN_MATRIX_SIZE) return -1;

    X3DAudioEmitter& emitter = buffer->Emitter;
    float matrix[SOUNDBUFFERWIN_MATRIX_SIZE];
    memset(matrix, 0, sizeof(matrix));
    X3DAudioDspSettings dsp;
    memset(&dsp, 0, sizeof(dsp));
    dsp.pMatrixCoefficients = matrix;
    dsp.SrcChannelCount = sourceChannels;
    dsp.DstChannelCount = outputChannels;
    UINT32 flags = VT_X3DAUDIO_CALCULATE_MATRIX | VT_X3DAUDIO_CALCULATE_LPF_DIRECT | VT_X3DAUDIO_CALCULATE_LPF_REVERB |
                   VT_X3DAUDIO_CALCULATE_REVERB | VT_X3DAUDIO_CALCULATE_DOPPLER;
    if (win.OutputChannelMask & SOUNDBUFFERWIN_SPEAKER_LOW_FREQUENCY) flags |= VT_X3DAUDIO_CALCULATE_REDIRECT_TO_LFE;
    win.X3DAudioCalculateEntry(win.X3DInstance, &win.DefaultListener, &emitter, flags, &dsp);

    IXAudio2Voice* mastering = SoundBufferWin_MasteringVoice();
    IXAudio2Voice* submix = (IXAudio2Voice*)buffer->ReverbSubmix;
    HRESULT hr = voice->SetFrequencyRatio(dsp.DopplerFactor, XAUDIO2_COMMIT_NOW);
    if (hr == S_OK) hr = voice->SetOutputMatrix(mastering, sourceChannels, outputChannels, matrix, XAUDIO2_COMMIT_NOW);
    for (UINT32 i = 0; i < sourceChannels * sourceChannels; i++) matrix[i] = dsp.ReverbLevel;
    if (hr == S_OK) hr = voice->SetOutputMatrix(submix, sourceChannels, sourceChannels, matrix, XAUDIO2_COMMIT_NOW);
    const float pi = 3.14159265f;
    float directSine, reverbSine, cosine;
    BaseFunc_SinCos(dsp.LPFDirectCoefficient * pi / 6.0f, &directSine, &cosine);
    BaseFunc_SinCos(dsp.LPFReverbCoefficient * pi / 6.0f, &reverbSine, &cosine);
    XAUDIO2_FILTER_PARAMETERS direct = {LowPassFilter, 2.0f * directSine, 1.0f};
    XAUDIO2_FILTER_PARAMETERS reverb = {LowPassFilter, 2.0f * reverbSine, 1.0f};
    if (hr == S_OK) hr = voice->SetOutputFilterParameters(mastering, &direct, XAUDIO2_COMMIT_NOW);
    if (hr == S_OK) hr = voice->SetOutputFilterParameters(submix, &reverb, XAUDIO2_COMMIT_NOW);
    return hr == S_OK ? 0 : -1;
}

int SoundBufferWin_Store3DPosition(SoundBuffer* buffer, const float* position)
{
    if (!buffer->Is3D) return -1;
    buffer->Emitter.Position = {position[0], position[1], position[2]};
    return 0;
}

int SoundBufferWin_Store3DVelocity(SoundBuffer* buffer, const float* velocity)
{
    if (!buffer->Is3D) return -1;
    buffer->Emitter.Velocity = {velocity[0], velocity[1], velocity[2]};
    return 0;
}

int SoundBufferWin_Store3DRadius(SoundBuffer* buffer, float radius)
{
    if (!buffer->Is3D) return -1;
    buffer->Emitter.CurveDistanceScaler = radius;
    return 0;
}

int SoundBufferWin_ReverbTail(SoundBuffer* buffer)
{
    if (!SoundBufferWin_UsesXAudio2() || buffer->ReverbSubmix == nullptr || buffer->ReverbCycleState == 0) return -1;
    if (buffer->Playing) return 0;
    const int64_t now = GetMillisecondCount();
    if (buffer->ReverbCycleState == 1) {
        buffer->ReverbCycleState = 2;
        buffer->ReverbCycleStamp = (uint32_t)now;
        return 0;
    }
    const int64_t stamp = (int32_t)buffer->ReverbCycleStamp;
    const int64_t elapsed = now >= stamp ? now - stamp : now - stamp + 2147483647;
    if (elapsed < SOUNDBUFFERWIN_REVERB_TAIL_MS) return 0;
    buffer->ReverbCycleState = 0;
    ((IXAudio2SubmixVoice*)buffer->ReverbSubmix)->DisableEffect(0, XAUDIO2_COMMIT_NOW);
    return -1;
}

}  // namespace Vantrel
