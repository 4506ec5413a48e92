// VtSoundBuffer: the one playable object of the sound system: a block of PCM frames with its pan,
// eight channel volumes, rate, loop flag, play position and optional 3D state, and the shared,
// reference-counted wave data behind it. Software buffers play by joining the mixer list; platform
// buffers (DirectSound, XAudio2) forward to their platform half (VtSoundBufferWin).
// Stands on the sound state (lists, locks, output), memory and the log.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>

#include "foundation/VtHandle.h"
#include "sound/VtXAudio2Decl.h"

namespace Vantrel {

class SOUNDBUFFER_CALLBACK;

// Wave data shared by every buffer made from one block; freed with the last reference.
struct SoundWaveBlock {
    uint8_t* Data;          // 16-byte aligned, inside the same allocation
    uint8_t* StereoCopy;    // two-channel copy of mono data that an XAudio2 voice plays; else null
    uint32_t ByteSize;
    volatile LONG ReferenceCount;
};

struct SoundBuffer {
    int Valid;
    int Pan;                // -10,000 left .. 10,000 right
    int Volume[8];          // hundredths of a decibel, 0 full, -10,000 silent
    int Frequency;          // -1: the rate of the data
    int RateChanged;
    int SampleCount;        // frames
    WAVEFORMATEX Format;
    SoundWaveBlock* Wave;
    int Playing;
    int PlayPosition;       // frames
    int ReadCursor;         // frames
    // The resampling mixer's position past the read cursor: ReadFraction / ReadFractionScale of a
    // frame (the scale is the output rate it was counted at; 0 before the first resampled block).
    // Whole frames and the fraction are kept apart, so that no rounding replays or skips a frame.
    uint32_t ReadFraction;
    uint32_t ReadFractionScale;
    int Resampling;
    int Loop;
    float PanGain;          // -1.0 .. 1.0
    float VolumeGain;       // 0.0 .. 1.0
    int ReverbCycleState;
    uint32_t ReverbCycleStamp;
    int Tracking;
    int64_t StartFrame;
    int InMixerList;
    PointerListNode MixerNode;
    int StartDelay;         // output frames still to skip
    int Is3D;
    float Position3D[3];
    float Front3D[3];
    float Up3D[3];
    float Velocity3D[3];
    float Extra3D[4];
    float Radius3D;
    float InnerRadius3D;
    int Refresh3DPending;
    float Volume3DFactor;   // 0.0 .. 1.0
    float Pan3DFactor;      // -0.8 .. 0.8; below 0 lowers the left side, above 0 the right side

    // Platform half (DirectSound or XAudio2 output, VtSoundBufferWin); null for software buffers.
    void* PlatformVoice;                // IDirectSoundBuffer or IXAudio2SourceVoice
    void* ReverbSubmix;                 // IXAudio2SubmixVoice (XAudio2, 3D buffers)
    void* ReverbEffect;                 // IUnknown of the reverb effect
    SOUNDBUFFER_CALLBACK* VoiceCallback;
    XAudio2ReverbParameters28 ReverbParameters;
    int VoiceChannels;
    uint32_t OutputGeneration;          // the opening of the output that made the voice
    X3DAudioCone EmitterCone;
    float EmitterAzimuths[8];
    X3DAudioEmitter Emitter;
};

// Wave blocks: allocated with one reference (and room for a two-channel copy when asked), shared by
// adding references, freed with the last one. Null when the size cannot be allocated.
SoundWaveBlock* SoundWaveBlock_Allocate(uint32_t byteSize, int stereoCopy);
SoundWaveBlock* SoundWaveBlock_AddRef(SoundWaveBlock* block);
void SoundWaveBlock_Drop(SoundWaveBlock* block);

int SoundBuffer_Create(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX* format, const SoundBuffer* source,
                       int is3D);
int SoundBuffer_CreateShared(SoundBuffer* buffer, const SoundBuffer* source, int is3D);
int SoundBuffer_Release(SoundBuffer* buffer);
int SoundBuffer_LockRegion(SoundBuffer* buffer, int32_t offset, int32_t length, void** pointer1, uint32_t* length1,
                           void** pointer2, uint32_t* length2);
int SoundBuffer_UnlockRegion(SoundBuffer* buffer, void* pointer1, uint32_t length1, void* pointer2, uint32_t length2);
int SoundBuffer_Start(SoundBuffer* buffer, int loop);
int SoundBuffer_Halt(SoundBuffer* buffer, int cut);
int SoundBuffer_IsPlaying(const SoundBuffer* buffer);
int SoundBuffer_GetPosition(const SoundBuffer* buffer, int32_t* playBytes, int32_t* writeBytes);
int SoundBuffer_SetPosition(SoundBuffer* buffer, int32_t bytePosition);
int SoundBuffer_SetRate(SoundBuffer* buffer, int frequency);
int SoundBuffer_GetRate(const SoundBuffer* buffer, int* frequency);
int SoundBuffer_SetPanning(SoundBuffer* buffer, int pan);
int SoundBuffer_GetPanning(const SoundBuffer* buffer, int* pan);
int SoundBuffer_SetChannelVolume(SoundBuffer* buffer, int channel, int value);
int SoundBuffer_SetAllVolumes(SoundBuffer* buffer, int value);
int SoundBuffer_GetChannelVolume(const SoundBuffer* buffer, int channel, int* value);
int SoundBuffer_UpdateGains(SoundBuffer* buffer);
int SoundBuffer_Move3D(SoundBuffer* buffer, const float* position);
int SoundBuffer_SetVelocity3D(SoundBuffer* buffer, const float* velocity);
int SoundBuffer_SetReach3D(SoundBuffer* buffer, float radius);
int SoundBuffer_Update3D(SoundBuffer* buffer, int force);

// The mixer's level factor of a level in hundredths of a decibel: 10 ^ (level / 2,000).
float SoundBuffer_LevelToGain(int level);
// The mixer's pan factor of a pan: -1.0, 0.0 and 1.0 at the ends and the centre exactly.
float SoundBuffer_PanToGain(int pan);
// Folds a left and a right level (hundredths of a decibel) and a pan into one level and one pan.
void SoundBuffer_CombineSideLevels(int leftLevel, int rightLevel, int pan, int* level, int* combinedPan);
// A 3D buffer's side levels after its 3D volume and pan factors, folded with its pan as above.
void SoundBuffer_Combine3DLevels(const SoundBuffer* buffer, int* level, int* combinedPan);

}  // namespace Vantrel
