// VtSoundOutputReverb: the 30 reverb environments in I3DL2 form, their conversion into the native
// reverb records of XAudio2 2.7 and 2.8, the default sound cone and listener of the 3D calculation,
// and the amplitude-to-decibel conversion of the XAudio2 volume code.
// Stands on the platform half of the sound state.
#include <math.h>
#include <string.h>

#include "sound/VtSoundWin.h"

namespace Vantrel {

#define VT_PRESET(room, roomHF, decay, decayHF, reflections, reflectionsDelay, reverb, reverbDelay, diffusion, density) \
    {100.0f, room, roomHF, 0.0f, decay, decayHF, reflections, reflectionsDelay, reverb, reverbDelay, diffusion, density, 5000.0f}

const XAudio2I3DL2Parameters SoundWin_ReverbPresetsI3DL2[SOUND_REVERB_PRESET_COUNT] = {
    VT_PRESET(-1000, -3300, 1.49f, 0.54f, -2560, 0.162f, -613, 0.088f, 79.0f, 100.0f),     // forest
    VT_PRESET(-10000, 0, 1.00f, 0.50f, -10000, 0.020f, -10000, 0.040f, 100.0f, 100.0f),    // default
    VT_PRESET(-1000, -100, 1.49f, 0.83f, -2602, 0.007f, 200, 0.011f, 100.0f, 100.0f),      // generic
    VT_PRESET(-1000, -6000, 0.17f, 0.10f, -1204, 0.001f, 207, 0.002f, 100.0f, 100.0f),     // padded cell
    VT_PRESET(-1000, -454, 0.40f, 0.83f, -1646, 0.002f, 53, 0.003f, 100.0f, 100.0f),       // room
    VT_PRESET(-1000, -1200, 1.49f, 0.54f, -370, 0.007f, 1030, 0.011f, 100.0f, 60.0f),      // bathroom
    VT_PRESET(-1000, -6000, 0.50f, 0.10f, -1376, 0.003f, -1104, 0.004f, 100.0f, 100.0f),   // living room
    VT_PRESET(-1000, -300, 2.31f, 0.64f, -711, 0.012f, 83, 0.017f, 100.0f, 100.0f),        // stone room
    VT_PRESET(-1000, -476, 4.32f, 0.59f, -789, 0.020f, -289, 0.030f, 100.0f, 100.0f),      // auditorium
    VT_PRESET(-1000, -500, 3.92f, 0.70f, -1230, 0.020f, -2, 0.029f, 100.0f, 100.0f),       // concert hall
    VT_PRESET(-1000, 0, 2.91f, 1.30f, -602, 0.015f, -302, 0.022f, 100.0f, 100.0f),         // cave
    VT_PRESET(-1000, -698, 7.24f, 0.33f, -1166, 0.020f, 16, 0.030f, 100.0f, 100.0f),       // arena
    VT_PRESET(-1000, -1000, 10.05f, 0.23f, -602, 0.020f, 198, 0.030f, 100.0f, 100.0f),     // hangar
    VT_PRESET(-1000, -4000, 0.30f, 0.10f, -1831, 0.002f, -1630, 0.030f, 100.0f, 100.0f),   // carpeted hallway
    VT_PRESET(-1000, -300, 1.49f, 0.59f, -1219, 0.007f, 441, 0.011f, 100.0f, 100.0f),      // hallway
    VT_PRESET(-1000, -237, 2.70f, 0.79f, -1214, 0.013f, 395, 0.020f, 100.0f, 100.0f),      // stone corridor
    VT_PRESET(-1000, -270, 1.49f, 0.86f, -1204, 0.007f, -4, 0.011f, 100.0f, 100.0f),       // alley
    VT_PRESET(-1000, -800, 1.49f, 0.67f, -2273, 0.007f, -2217, 0.011f, 50.0f, 100.0f),     // city
    VT_PRESET(-1000, -2500, 1.49f, 0.21f, -2780, 0.300f, -2014, 0.100f, 27.0f, 100.0f),    // mountains
    VT_PRESET(-1000, -1000, 1.49f, 0.83f, -10000, 0.061f, 500, 0.025f, 100.0f, 100.0f),    // quarry
    VT_PRESET(-1000, -2000, 1.49f, 0.50f, -2466, 0.179f, -2514, 0.100f, 21.0f, 100.0f),    // plain
    VT_PRESET(-1000, 0, 1.65f, 1.50f, -1363, 0.008f, -1153, 0.012f, 100.0f, 100.0f),       // car park
    VT_PRESET(-1000, -1000, 2.81f, 0.14f, 429, 0.014f, 648, 0.021f, 80.0f, 60.0f),         // sewer pipe
    VT_PRESET(-1000, -4000, 1.49f, 0.10f, -449, 0.007f, 1700, 0.011f, 100.0f, 100.0f),     // underwater
    VT_PRESET(-1000, -600, 1.10f, 0.83f, -400, 0.005f, 500, 0.010f, 100.0f, 100.0f),       // small room
    VT_PRESET(-1000, -600, 1.30f, 0.83f, -1000, 0.010f, -200, 0.020f, 100.0f, 100.0f),     // medium room
    VT_PRESET(-1000, -600, 1.50f, 0.83f, -1600, 0.020f, -1000, 0.040f, 100.0f, 100.0f),    // large room
    VT_PRESET(-1000, -600, 1.80f, 0.70f, -1300, 0.015f, -800, 0.030f, 100.0f, 100.0f),     // medium hall
    VT_PRESET(-1000, -600, 1.80f, 0.70f, -2000, 0.030f, -1400, 0.060f, 100.0f, 100.0f),    // large hall
    VT_PRESET(-1000, -200, 1.30f, 0.90f, 0, 0.002f, 0, 0.010f, 100.0f, 75.0f),             // plate
};
#undef VT_PRESET

void SoundWin_Reverb_I3DL2ToNative27(const XAudio2I3DL2Parameters* preset, XAudio2ReverbParameters27* native)
{
    native->RearDelay = 5;
    native->PositionLeft = 6;
    native->PositionRight = 6;
    native->PositionMatrixLeft = 27;
    native->PositionMatrixRight = 27;
    native->RoomSize = 100.0f;
    native->LowEQCutoff = 4;
    native->HighEQCutoff = 6;

    native->RoomFilterMain = (float)preset->Room / 100.0f;
    native->RoomFilterHF = (float)preset->RoomHF / 100.0f;
    native->ReflectionsGain = (float)preset->Reflections / 100.0f;
    native->ReverbGain = (float)preset->Reverb / 100.0f;

    if (preset->DecayHFRatio >= 1.0f) {
        const int n = (int)(-4.0 * log10((double)preset->DecayHFRatio));
        native->LowEQGain = (uint8_t)(n < -8 ? 0 : n < 0 ? n + 8 : 8);
        native->HighEQGain = 8;
        native->DecayTime = preset->DecayTime * preset->DecayHFRatio;
    } else {
        const int n = (int)(4.0 * log10((double)preset->DecayHFRatio));
        native->LowEQGain = 8;
        native->HighEQGain = (uint8_t)(n >= 0 ? 8 : n < -8 ? 0 : n + 8);
        native->DecayTime = preset->DecayTime;
    }

    float reflectionsDelay = preset->ReflectionsDelay * 1000.0f;
    if (reflectionsDelay >= 300.0f) reflectionsDelay = 299.0f;
    else if (reflectionsDelay < 1.0f) reflectionsDelay = 1.0f;
    native->ReflectionsDelay = (uint32_t)reflectionsDelay;
    float reverbDelay = preset->ReverbDelay * 1000.0f;
    if (reverbDelay >= 85.0f) reverbDelay = 84.0f;
    native->ReverbDelay = (uint8_t)reverbDelay;

    native->EarlyDiffusion = (uint8_t)(preset->Diffusion * 15.0f / 100.0f);
    native->LateDiffusion = native->EarlyDiffusion;
    native->Density = preset->Density;
    native->RoomFilterFreq = preset->HFReference;
    native->WetDryMix = preset->WetDryMix;
}

void SoundWin_Reverb_I3DL2ToNative28(const XAudio2I3DL2Parameters* preset, XAudio2ReverbParameters28* native)
{
    SoundWin_Reverb_I3DL2ToNative27(preset, native);
    native->DisableLateField = FALSE;
}

int SoundWin_Reverb_ConvertPresets(int version)
{
    for (int i = 0; i < SOUND_REVERB_PRESET_COUNT; i++) {
        if (version == 8) SoundWin_Reverb_I3DL2ToNative28(&SoundWin_ReverbPresetsI3DL2[i], &SoundWinState.ReverbPresets28[i]);
        else SoundWin_Reverb_I3DL2ToNative27(&SoundWin_ReverbPresetsI3DL2[i], &SoundWinState.ReverbPresets27[i]);
    }
    return 0;
}

int SoundWin_GetReverbPresetParam(XAudio2ReverbParameters27* native, int preset)
{
    if (!SoundWinState.UseXAudio2) return -1;
    if (native == nullptr) return 0;
    // Callers pass 0 to 29; anything else is held inside the table rather than read past it.
    if (preset < 0 || preset >= SOUND_REVERB_PRESET_COUNT) preset = 0;
    const XAudio2ReverbParameters27* source = SoundWinState.XAudio2Module != nullptr
                                                  ? static_cast<const XAudio2ReverbParameters27*>(&SoundWinState.ReverbPresets28[preset])
                                                  : &SoundWinState.ReverbPresets27[preset];
    *native = *source;
    return 0;
}

float SoundWin_AmplitudeToDecibel(float amplitude)
{
    if (amplitude == 0.0f) return -3.4028235e38f;
    return 20.0f * (float)log10((double)amplitude);
}

int SoundWin_Store3DDefaults()
{
    X3DAudioCone& cone = SoundWinState.DefaultCone;
    cone.InnerAngle = 2.6179941f;
    cone.OuterAngle = 5.7595868f;
    cone.InnerVolume = 1.0f;
    cone.OuterVolume = 0.75f;
    cone.InnerLPF = 0.0f;
    cone.OuterLPF = 0.25f;
    cone.InnerReverb = 0.708f;
    cone.OuterReverb = 1.0f;
    X3DAudioListener& listener = SoundWinState.DefaultListener;
    memset(&listener, 0, sizeof(listener));
    listener.OrientFront.z = 1.0f;
    listener.OrientTop.y = 1.0f;
    listener.pCone = &SoundWinState.DefaultCone;
    return 0;
}

}  // namespace Vantrel
