// VtSoundBufferWin: the platform half of sound buffers while DirectSound or XAudio2 mixes: a
// DirectSound secondary buffer or an XAudio2 source voice (with a reverb submix for 3D buffers) per
// buffer, and the 3D refresh (X3DAudio under XAudio2, the library's listener model otherwise).
// Stands on the sound state, the platform output objects (VtSoundWin) and the generic buffer code.
#pragma once

#include <stdint.h>

#include "sound/VtSoundBuffer.h"

namespace Vantrel {

// The answer of an operation that the platform half leaves to the generic software code.
constexpr int SOUNDBUFFERWIN_NOT_HANDLED = 2;

// The XAudio2 voice callback of one buffer: it feeds the voice from the buffer's wave data.
class SOUNDBUFFER_CALLBACK final : public D_IXAudio2VoiceCallback {
public:
    explicit SOUNDBUFFER_CALLBACK(SoundBuffer* owner) : Owner(owner) {}
    void STDMETHODCALLTYPE OnVoiceProcessingPassStart(UINT32 bytesRequired) override;
    void STDMETHODCALLTYPE OnVoiceProcessingPassEnd() override {}
    void STDMETHODCALLTYPE OnStreamEnd() override {}
    void STDMETHODCALLTYPE OnBufferStart(void*) override {}
    void STDMETHODCALLTYPE OnBufferEnd(void* context) override;
    void STDMETHODCALLTYPE OnLoopEnd(void*) override {}
    void STDMETHODCALLTYPE OnVoiceError(void*, HRESULT) override {}
    SoundBuffer* Owner;
};

// Results: 0 done, -1 failed, SOUNDBUFFERWIN_NOT_HANDLED where said.
int SoundBufferWin_Create(SoundBuffer* buffer, uint32_t byteSize, const WAVEFORMATEX* format, const SoundBuffer* source,
                          int is3D);
int SoundBufferWin_Create3D(SoundBuffer* buffer, const SoundBuffer* source, int is3D);
int SoundBufferWin_Release(SoundBuffer* buffer);
int SoundBufferWin_Lock(SoundBuffer* buffer, int32_t offset, int32_t length, void** pointer1, uint32_t* length1,
                        void** pointer2, uint32_t* length2);
int SoundBufferWin_Unlock(SoundBuffer* buffer, void* pointer1, uint32_t length1, void* pointer2, uint32_t length2);
int SoundBufferWin_Start(SoundBuffer* buffer, int loop);
int SoundBufferWin_Halt(SoundBuffer* buffer, int cut);
int SoundBufferWin_IsPlaying(const SoundBuffer* buffer);
int SoundBufferWin_GetPosition(const SoundBuffer* buffer, int32_t* playBytes, int32_t* writeBytes);
int SoundBufferWin_SetPosition(SoundBuffer* buffer, int32_t bytePosition);
int SoundBufferWin_SetRate(SoundBuffer* buffer, int frequency);
int SoundBufferWin_GetRate(const SoundBuffer* buffer, int* frequency);
int SoundBufferWin_UpdateVolume(SoundBuffer* buffer);
int SoundBufferWin_Update3D(SoundBuffer* buffer);
// Copy a 3D position, velocity or radius of the generic half into the buffer's X3DAudio emitter
// (position, velocity, curve distance scaler), where the next 3D refresh reads them.
int SoundBufferWin_Store3DPosition(SoundBuffer* buffer, const float* position);
int SoundBufferWin_Store3DVelocity(SoundBuffer* buffer, const float* velocity);
int SoundBufferWin_Store3DRadius(SoundBuffer* buffer, float radius);
// 0 while an XAudio2 buffer's reverb still rings (playing, or stopped less than 3 s ago); -1 once
// it is done or where there is no reverb.
int SoundBufferWin_ReverbTail(SoundBuffer* buffer);
int SoundBufferWin_HasVoice(const SoundBuffer* buffer);

// The listener model of DirectSound and software buffers: the 3D volume and pan factors of a buffer
// at the given position seen from the listener of the sound state.
void SoundBufferWin_ListenerFactors(const float* position, float radius, float* volumeFactor, float* panFactor);

}  // namespace Vantrel
