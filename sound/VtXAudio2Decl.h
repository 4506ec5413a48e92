// VtXAudio2Decl: the X3DAudio types, the XAudio2 reverb parameter records and the voice-callback
// interface that the compiler's headers leave out or that the library declares itself, after the
// platform's published documentation.
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

// The X3DAudio records are byte-packed in the published interface.
#pragma pack(push, 1)

struct X3DAudioDistanceCurvePoint {
    float Distance;         // normalised: 0.0 .. 1.0 of the curve distance scaler
    float DSPSetting;
};

struct X3DAudioDistanceCurve {
    X3DAudioDistanceCurvePoint* pPoints;
    UINT32 PointCount;
};

struct X3DAudioEmitter {
    X3DAudioCone* pCone;
    X3DAudioVector OrientFront;
    X3DAudioVector OrientTop;
    X3DAudioVector Position;
    X3DAudioVector Velocity;
    float InnerRadius;
    float InnerRadiusAngle;
    UINT32 ChannelCount;
    float ChannelRadius;
    float* pChannelAzimuths;
    X3DAudioDistanceCurve* pVolumeCurve;
    X3DAudioDistanceCurve* pLFECurve;
    X3DAudioDistanceCurve* pLPFDirectCurve;
    X3DAudioDistanceCurve* pLPFReverbCurve;
    X3DAudioDistanceCurve* pReverbCurve;
    float CurveDistanceScaler;
    float DopplerScaler;
};

struct X3DAudioDspSettings {
    float* pMatrixCoefficients;     // source channels x destination channels, source-major
    float* pDelayTimes;
    UINT32 SrcChannelCount;
    UINT32 DstChannelCount;
    float LPFDirectCoefficient;
    float LPFReverbCoefficient;
    float ReverbLevel;
    float DopplerFactor;
    float EmitterToListenerAngle;
    float EmitterToListenerDistance;
    float EmitterVelocityComponent;
    float ListenerVelocityComponent;
};

#pragma pack(pop)

// X3DAudioCalculate flags.
constexpr UINT32 VT_X3DAUDIO_CALCULATE_MATRIX = 0x1;
constexpr UINT32 VT_X3DAUDIO_CALCULATE_LPF_DIRECT = 0x4;
constexpr UINT32 VT_X3DAUDIO_CALCULATE_LPF_REVERB = 0x8;
constexpr UINT32 VT_X3DAUDIO_CALCULATE_REVERB = 0x10;
constexpr UINT32 VT_X3DAUDIO_CALCULATE_DOPPLER = 0x20;
constexpr UINT32 VT_X3DAUDIO_CALCULATE_REDIRECT_TO_LFE = 0x20000;

#define VT_X3DAUDIO_SPEED_OF_SOUND 343.5f

// The XAudio2 voice-callback interface in its published slot order (no IUnknown base). One
// declaration serves 2.7 and 2.8, whose callback tables are the same.
class D_IXAudio2VoiceCallback {
public:
    virtual void STDMETHODCALLTYPE OnVoiceProcessingPassStart(UINT32 bytesRequired) = 0;
    virtual void STDMETHODCALLTYPE OnVoiceProcessingPassEnd() = 0;
    virtual void STDMETHODCALLTYPE OnStreamEnd() = 0;
    virtual void STDMETHODCALLTYPE OnBufferStart(void* context) = 0;
    virtual void STDMETHODCALLTYPE OnBufferEnd(void* context) = 0;
    virtual void STDMETHODCALLTYPE OnLoopEnd(void* context) = 0;
    virtual void STDMETHODCALLTYPE OnVoiceError(void* context, HRESULT error) = 0;
};

typedef HRESULT(__cdecl* X3DAudioInitializeProc)(UINT32 speakerChannelMask, float speedOfSound, X3DAudioHandle instance);
typedef void(__cdecl* X3DAudioCalculateProc)(const X3DAudioHandle instance, const void* listener, const void* emitter,
                                              UINT32 flags, void* dspSettings);

}  // namespace Vantrel
