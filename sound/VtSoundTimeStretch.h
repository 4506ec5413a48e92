// VtSoundTimeStretch: changing a decoded sound's length without changing its pitch (pitch-synchronous
// overlap-add) or its pitch without changing its length (windowed-sinc resampling), done once at load
// time over PCM held in memory. Stands on memory, the log, the sound state's sine table and WAVE images.
#pragma once

#include <stdint.h>

#include "sound/VtSound.h"

namespace Vantrel {

// Decoded PCM as a soft sound holds it: format tag 1 (integer PCM) or 3 (IEEE float, 32 bits),
// interleaved frames. The soft-sound handles lend their data through this view.
struct SoftSoundData {
    int FormatTag;
    int Channels;
    int SampleRate;
    int BitsPerSample;
    int64_t SampleCount;        // frames
    void* Data;
};

// Writes the source into the destination's length (which must differ) with the same pitch; the
// destination's data is overwritten. -1 for unusable views, equal frame counts or differing formats
// (nothing changed then); 0 with the destination untouched for channel counts other than 1 and 2
// and integer depths other than 8 and 16 bits.
int SoftSound_TimeStretch(const SoftSoundData* source, SoftSoundData* destination);

// Resamples the source into the destination's length (which must differ): the content stays, the
// pitch moves by source / destination frames. Same checks as the time-stretch; integer data goes
// through float working copies. Needs the sound state's sine table (built at start-up).
int SoftSound_Resample(const SoftSoundData* source, SoftSoundData* destination);

// Integer data (8 or 16 bits) to float and back, value by value, for views of equal length and channel
// count: u8 -> (u - 127) / 128, s16 -> s / 32768; float -> truncated and clamped u8 (x 128 + 127) or
// s16 (x 32768). Other integer depths are left untouched (0); mismatched views -1.
int SoftSound_ConvertIntToFloatData(const SoftSoundData* source, SoftSoundData* destination);
int SoftSound_ConvertFloatToIntData(const SoftSoundData* source, SoftSoundData* destination);

// Loads a finished WAVE image into a sound handle (the sound handles' memory-image loader).
typedef int (*SoundLoadImageFunction)(int soundHandle, const void* image, uint32_t imageSize, int bufferCount,
                                      const SoundLoadParam* param, void* thread);

// Applies the load settings' pitch and time-stretch switches to the decoded data and loads the result
// through the loader with the switches cleared. 0, or -1 the float working copy failed, -2/-3 a pitch
// working copy failed, -4 the stretched copy failed, -5 the source data is unusable, -6 building the
// WAVE image failed, -7 loading it failed. The source data is not changed.
int Sound_LoadWithPitchOrStretch(int soundHandle, const SoundLoadParam* param, const SoftSoundData* source,
                                 int bufferCount, void* thread, SoundLoadImageFunction load);

// The same on soft-sound handles: plain soft sounds (players are refused), the destination made
// beforehand with the wanted length.
int SoftSound_TimeStretch(HandleValue source, HandleValue destination);
int SoftSound_Resample(HandleValue source, HandleValue destination);

// Builds a sound handle from decoded soft-sound data by the load settings' pitch and time-stretch
// switches (the loaders' road when either is set): the codes above, -5 when the soft sound is not
// usable. inJob: called from inside a loading job.
int Sound_LoadWithPitchOrStretch(HandleValue soundHandle, const SoundLoadParam* param, HandleValue softSound,
                                 int bufferCount, int inJob);

}  // namespace Vantrel
