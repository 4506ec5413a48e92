// VtSoundMixer: the software mixer of the self-mixed outputs: sums every playing software buffer
// into a stereo work buffer (resampling where rates differ), limits peaks with a gain that recovers
// over half a second, and writes the device's sample format; also appends to an active capture.
// Stands on the sound state (mixer list, lock, work buffer, output format), sound buffers, memory,
// the log and the capture file.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <stdint.h>

namespace Vantrel {

// Frame k of the left channel goes to left + k x step bytes, of the right channel to right + k x step.
// 0, or -1 when software mixing is off (or no work buffer could be had: silence is written then).
int Sound_Mixer_Render(void* left, void* right, int32_t step, int32_t frameCount);

// Publishes the device format the mixer writes (a self-mixed output's open calls it before
// setting up the work buffer): the format head, valid bits, float and big-endian flags and whether
// a container wider than the valid bits holds them at its low end. Resets the limiter.
int Sound_Mixer_SetOutputFormat(const WAVEFORMATEXTENSIBLE* format, int bigEndian, int lowJustified);

// One cell of the work buffer as a 16-bit sample: float cells scaled by 32,768 and truncated,
// integer cells as they are; both clamped to the 16-bit range.
inline int32_t Sound_Mixer_CellToSample16(const void* cells, int index, bool floatCells)
{
    if (floatCells) {
        const float v = ((const float*)cells)[index] * 32768.0f;
        return v >= 32767.0f ? 32767 : v <= -32768.0f ? -32768 : (int32_t)v;
    }
    const int32_t v = ((const int32_t*)cells)[index];
    return v > 32767 ? 32767 : v < -32768 ? -32768 : v;
}

}  // namespace Vantrel
