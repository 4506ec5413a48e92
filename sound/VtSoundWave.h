// VtSoundWave: RIFF WAVE in two places: complete WAVE file images of PCM in memory, and the capture
// file, into which the mixer appends what it produced as 16-bit stereo and whose header is written
// when the capture ends. Stands on memory, the log, the write-only files and the sound state.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>

namespace Vantrel {

// One allocation of 28 + format size + PCM size bytes; the caller frees it with Memory_Free.
int Sound_CreateWaveFileImage(void** image, uint32_t* imageSize, const void* format, uint32_t formatSize, const void* pcm,
                              uint32_t pcmSize);

// Starts capturing the mixer's output into a new file at the path (an open capture is ended first).
int Sound_BeginCapture(const wchar_t* path);
// Writes the header with the frames captured and closes the file; -1 when no capture is active.
int Sound_EndCapture();
// Appends frames of the mixer's work buffer (float or 16-bit-scale integer cells) as 16-bit stereo.
int Sound_Capture_Append(const void* cells, bool floatCells, int frames);

}  // namespace Vantrel
