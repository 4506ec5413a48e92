// The software mixer under load: 64 and 256 looping voices of 16-bit stereo, each with its own volume
// and pan, mixed into a 48 kHz stereo device for 10 s of output in 10 ms blocks (the period of a
// shared WASAPI device), once into a 16-bit device and once into a float device; the voices at the
// device's rate (same-rate path) and at 44.1 kHz (resampled path). Prints the time taken and the
// share of one core that real-time output would cost (goal: 64 voices under 1%).
#include <windows.h>
#include <mmreg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"

using namespace Vantrel;

namespace {

constexpr int Rate = 48000;
constexpr int BlockFrames = Rate / 100;
constexpr int Seconds = 10;
constexpr int VoiceFrames = Rate * 2;   // two seconds of sound per voice

WAVEFORMATEXTENSIBLE DeviceFormat(bool isFloat)
{
    static const GUID pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    static const GUID ieeeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    WAVEFORMATEXTENSIBLE format;
    memset(&format, 0, sizeof(format));
    const int bits = isFloat ? 32 : 16;
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = Rate;
    format.Format.wBitsPerSample = (WORD)bits;
    format.Format.nBlockAlign = (WORD)(2 * bits / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * Rate;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = (WORD)bits;
    format.dwChannelMask = 3;
    format.SubFormat = isFloat ? ieeeFloat : pcm;
    return format;
}

double Run(int voices, bool isFloat, int voiceRate)
{
    const WAVEFORMATEXTENSIBLE device = DeviceFormat(isFloat);
    SoundWin_OpenDevicelessOutput(&device);

    WAVEFORMATEX source;
    memset(&source, 0, sizeof(source));
    source.wFormatTag = WAVE_FORMAT_PCM;
    source.nChannels = 2;
    source.nSamplesPerSec = (DWORD)voiceRate;
    source.wBitsPerSample = 16;
    source.nBlockAlign = 4;
    source.nAvgBytesPerSec = (DWORD)voiceRate * 4;

    std::vector<SoundBuffer> buffers(voices);
    uint32_t random = 2024;
    for (int v = 0; v < voices; v++) {
        SoundBuffer& buffer = buffers[v];
        memset(&buffer, 0, sizeof(buffer));
        SoundBuffer_Create(&buffer, VoiceFrames * 4, &source, nullptr, 0);
        int16_t* samples = (int16_t*)buffer.Wave->Data;
        for (int i = 0; i < VoiceFrames * 2; i++) {
            random = random * 1664525u + 1013904223u;
            samples[i] = (int16_t)(random >> 16) / 64;
        }
        SoundBuffer_SetAllVolumes(&buffer, -600 - (v % 10) * 100);
        SoundBuffer_SetPanning(&buffer, (v % 9 - 4) * 2000);
        SoundBuffer_SetPosition(&buffer, (v * 997 % VoiceFrames) * 4);
        SoundBuffer_Start(&buffer, 1);
    }

    std::vector<uint8_t> block(BlockFrames * device.Format.nBlockAlign);
    const int sampleBytes = device.Format.wBitsPerSample / 8;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int b = 0; b < Seconds * 100; b++)
        Sound_Mixer_Render(block.data(), block.data() + sampleBytes, device.Format.nBlockAlign, BlockFrames);
    QueryPerformanceCounter(&end);
    for (SoundBuffer& buffer : buffers) SoundBuffer_Release(&buffer);
    return (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

}  // namespace

int main()
{
    if (Sound_Initialize() != 0) {
        printf("the sound module did not start\n");
        return 1;
    }
    printf("software mixer: %d s of 48 kHz stereo output in %d-frame blocks\n", Seconds, BlockFrames);
    for (int voiceRate : {Rate, 44100}) {
        for (bool isFloat : {false, true}) {
            for (int voices : {64, 256}) {
                const double taken = Run(voices, isFloat, voiceRate);
                printf("%-6s device, %3d voices at %5d Hz: %8.1f ms for %d s = %6.3f%% of one core (%.2f ns per voice frame)\n",
                       isFloat ? "float" : "16-bit", voices, voiceRate, taken * 1000.0, Seconds, taken / Seconds * 100.0,
                       taken * 1e9 / ((double)voices * Rate * Seconds));
            }
        }
    }
    Sound_Terminate();
    return 0;
}
