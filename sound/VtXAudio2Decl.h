// VtXAudio2Decl: the X3DAudio types and the XAudio2 reverb parameter records that the compiler's
// headers leave out, declared after the platform's published documentation.
#pragma once

#include <windows.h>
#include <stdint.h>

namespace Vantrel {

// The I3DL2 form of a reverb environment (52 bytes).
struct XAudio2I3DL2Parameters {
    float WetDryMix;
    int32_t Room;
    int32_t RoomHF;
    float RoomRolloffFactor;
    float DecayTime;
    float DecayHFRatio;
    int32_t Reflections;
    float ReflectionsDelay;
    int32_t Reverb;
    float ReverbDelay;
    float Diffusion;
    float Density;
    float HFReference;
};

// The reverb effect's native parameters of XAudio2 2.7.
struct XAudio2ReverbParameters27 {
    float WetDryMix;
    uint32_t ReflectionsDelay;
    uint8_t ReverbDelay;
    uint8_t RearDelay;
    uint8_t PositionLeft;
    uint8_t PositionRight;
    uint8_t PositionMatrixLeft;
    uint8_t PositionMatrixRight;
    uint8_t EarlyDiffusion;
    uint8_t LateDiffusion;
    uint8_t LowEQGain;
    uint8_t LowEQCutoff;
    uint8_t HighEQGain;
    uint8_t HighEQCutoff;
    float RoomFilterFreq;
    float RoomFilterMain;
    float RoomFilterHF;
    float ReflectionsGain;
    float ReverbGain;
    float DecayTime;
    float Density;
    float RoomSize;
};

// Version 2.8 adds one word at the end.
struct XAudio2ReverbParameters28 : XAudio2ReverbParameters27 {
    BOOL DisableLateField;
};

struct X3DAudioVector {
    float x, y, z;
};

// X3DAUDIO_HANDLE: the calculation instance, 20 bytes.
typedef uint8_t X3DAudioHandle[20];

struct X3DAudioCone {
    float InnerAngle;
    float OuterAngle;
    float InnerVolume;
    float OuterVolume;
    float InnerLPF;
    float OuterLPF;
    float InnerReverb;
    float OuterReverb;
};

struct X3DAudioListener {
    X3DAudioVector OrientFront;
    X3DAudioVector OrientTop;
    X3DAudioVector Position;
    X3DAudioVector Velocity;
    X3DAudioCone* pCone;
};

#define VT_X3DAUDIO_SPEED_OF_SOUND 343.5f

typedef HRESULT(__cdecl* X3DAudioInitializeProc)(UINT32 speakerChannelMask, float speedOfSound, X3DAudioHandle instance);
typedef void(__cdecl* X3DAudioCalculateProc)(const X3DAudioHandle instance, const void* listener, const void* emitter,
                                              UINT32 flags, void* dspSettings);

}  // namespace Vantrel
