// VtSoundWin: the platform half of the sound state: the open output, the output format the mixer
// writes, and the sound-processing thread with its start and stop. Until the device back-ends
// exist, the output opened is the device-less one: the mixer runs in software into the output
// format, and whoever asks for frames (Sound_Mixer_Render) receives them.
// Stands on the sound state, the mixer, the window state and the system function table.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <stdint.h>

namespace Vantrel {

struct SoundWinStateRecord {
    uintptr_t OutputDevice;         // 0 no output; 1 a self-mixed output (no object)
    int32_t UseAsio;
    int32_t UseWaveOut;
    int32_t UseDirectSoundFamily;
    int32_t UseXAudio2;
    int32_t UseSoftwareBuffers;
    WAVEFORMATEXTENSIBLE OutputFormat;
    HANDLE ProcessThread;
    DWORD ProcessThreadId;
    volatile LONG ProcessThreadState;   // 0 running, 1 stop requested, 2 ended
};
extern SoundWinStateRecord SoundWinState;

int SoundWin_InitializeOutput();
int SoundWin_InitializeOutput_Finish();
int SoundWin_IsOutputReady();
DWORD WINAPI SoundWin_ProcessThread_Main(LPVOID parameter);
int SoundWin_Terminate_StopThread();
int SoundWin_Terminate_ReleaseOutput();

// Opens (or opens again) the device-less output in the given format (null: 16-bit stereo at
// 44,100 Hz), with a mixing block of a thirtieth of a second.
int SoundWin_OpenDevicelessOutput(const WAVEFORMATEXTENSIBLE* format);

// The output clock (frames played and frames per second) where the output offers one; -1 else.
int SoundWin_GetOutputClock(uint64_t* position, uint64_t* frequency);

}  // namespace Vantrel
