// Shared helpers of the output and device tests: the back-end switches, tone buffers written through
// the buffer lock, and the device run's capture file (ALSA's default device writes a WAVE file
// named by VT_SOUND_CAPTURE) read back and measured per channel.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>
#include <objbase.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundWin.h"

namespace SoundCapture {

// The capture file of the device run (its .asoundrc names it); empty in the ordinary run.
inline std::string CapturePath()
{
    const char* path = getenv("VT_SOUND_CAPTURE");
    return path != nullptr ? path : "";
}

inline void ResetSwitches()
{
    using Vantrel::SoundWinState;
    SoundWinState.UseAsio = 0;
    SoundWinState.UseWaveOut = 0;
    SoundWinState.UseDirectSoundFamily = 0;
    SoundWinState.UseXAudio2 = 0;
    SoundWinState.UseSoftwareBuffers = 0;
    SoundWinState.WasapiExclusive = 0;
    Vantrel::SoundSystemState.MidiMode = 0;
}

struct ComScope {
    ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComScope() { CoUninitialize(); }
};

// A mono 16-bit tone buffer of the given length, written through the buffer's lock as a loader
// writes it (so platform buffers get their data).
inline void MakeTone(Vantrel::SoundBuffer* buffer, int rate, double frequency, double seconds, int amplitude, int is3D = 0)
{
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = (DWORD)rate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = (DWORD)rate * 2;
    const int frames = (int)(rate * seconds);
    memset(buffer, 0, sizeof(*buffer));
    ASSERT_EQ(Vantrel::SoundBuffer_Create(buffer, (uint32_t)frames * 2, &format, nullptr, is3D), 0);
    void* region[2] = {nullptr, nullptr};
    uint32_t length[2] = {0, 0};
    ASSERT_EQ(Vantrel::SoundBuffer_LockRegion(buffer, 0, frames * 2, &region[0], &length[0], &region[1], &length[1]), 0);
    ASSERT_EQ(length[0], (uint32_t)frames * 2);
    int16_t* samples = (int16_t*)region[0];
    for (int i = 0; i < frames; i++) samples[i] = (int16_t)lrint(amplitude * sin(2.0 * 3.14159265358979323846 * frequency * i / rate));
    ASSERT_EQ(Vantrel::SoundBuffer_UnlockRegion(buffer, region[0], length[0], region[1], length[1]), 0);
}

// The capture's first two channels as fractions of full scale.
struct Capture {
    int Rate = 0;
    int Channels = 0;
    std::vector<double> Left;
    std::vector<double> Right;
};

inline double CaptureSample(const uint8_t* at, int bits)
{
    if (bits == 32) {
        int32_t s;
        memcpy(&s, at, 4);
        return s / 2147483648.0;
    }
    int16_t s;
    memcpy(&s, at, 2);
    return s / 32768.0;
}

inline bool ReadCapture(const std::string& path, Capture* capture)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0 || memcmp(bytes.data() + 8, "WAVE", 4) != 0) return false;
    size_t at = 12;
    int bits = 0, tag = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t size;
        memcpy(&size, bytes.data() + at + 4, 4);
        if (memcmp(bytes.data() + at, "fmt ", 4) == 0 && at + 8 + 16 <= bytes.size()) {
            uint16_t v16;
            uint32_t v32;
            memcpy(&v16, bytes.data() + at + 8, 2);
            tag = v16;
            memcpy(&v16, bytes.data() + at + 10, 2);
            capture->Channels = v16;
            memcpy(&v32, bytes.data() + at + 12, 4);
            capture->Rate = (int)v32;
            memcpy(&v16, bytes.data() + at + 22, 2);
            bits = v16;
        } else if (memcmp(bytes.data() + at, "data", 4) == 0) {
            // The writer may not have fixed the size up: the data runs to the end of the file.
            const size_t sampleBytes = (size_t)bits / 8;
            const size_t step = (size_t)capture->Channels * sampleBytes;
            if (step == 0 || (bits != 16 && bits != 32) || (tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_EXTENSIBLE)) return false;
            for (size_t p = at + 8; p + step <= bytes.size(); p += step) {
                capture->Left.push_back(CaptureSample(bytes.data() + p, bits));
                capture->Right.push_back(capture->Channels > 1 ? CaptureSample(bytes.data() + p + sampleBytes, bits)
                                                               : capture->Left.back());
            }
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// What a tone in one channel of the capture measures: its span, frequency (from the median period
// between rising zero crossings, so a gap does not bend it), RMS level, the longest run of silence
// inside it, and the frames of all the gaps inside it (runs of silence longer than a zero crossing of
// the tone can give, so that span minus gaps is the time the tone sounded).
struct ToneFigures {
    double Seconds = 0;
    double Frequency = 0;
    double Rms = 0;
    int LongestGap = 0;
    int GapFrames = 0;
};

inline ToneFigures MeasureTone(const std::vector<double>& x, int rate, double threshold = 0.01)
{
    ToneFigures figures;
    size_t first = x.size(), last = 0;
    for (size_t i = 0; i < x.size(); i++) {
        if (fabs(x[i]) > threshold) {
            if (first == x.size()) first = i;
            last = i;
        }
    }
    if (first >= last || rate <= 0) return figures;
    std::vector<double> periods;
    double previousCrossing = -1, sum = 0;
    int run = 0;
    for (size_t i = first + 1; i <= last; i++) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            // The crossing between the two samples, interpolated.
            const double at = (double)(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (previousCrossing >= 0) periods.push_back(at - previousCrossing);
            previousCrossing = at;
        }
        sum += x[i] * x[i];
        const bool silent = fabs(x[i]) < threshold;
        if (!silent && run > 8) figures.GapFrames += run;
        run = silent ? run + 1 : 0;
        if (run > figures.LongestGap) figures.LongestGap = run;
    }
    figures.Seconds = (double)(last - first + 1) / rate;
    if (!periods.empty()) {
        std::sort(periods.begin(), periods.end());
        figures.Frequency = rate / periods[periods.size() / 2];
    }
    figures.Rms = sqrt(sum / (double)(last - first));
    return figures;
}

inline ToneFigures MeasureTone(const Capture& capture) { return MeasureTone(capture.Left, capture.Rate); }

// The frequency of a tone to a small fraction of a hertz: the rising crossings of its mean (times
// interpolated between frames) fitted by least squares, over the longest run of crossings without
// a gap (a run ends where one period is more than half again the median), so that a block of
// silence from a late device does not bend it.
inline double FittedFrequency(const std::vector<double>& x, int rate)
{
    if (x.empty()) return 0;
    double mean = 0;
    for (double v : x) mean += v;
    mean /= (double)x.size();
    std::vector<double> crossings;
    for (size_t i = 1; i < x.size(); i++) {
        const double a = x[i - 1] - mean, b = x[i] - mean;
        if (a < 0 && b >= 0) crossings.push_back((double)(i - 1) + a / (a - b));
    }
    if (crossings.size() < 3) return 0;
    std::vector<double> periods;
    for (size_t k = 1; k < crossings.size(); k++) periods.push_back(crossings[k] - crossings[k - 1]);
    std::vector<double> sorted = periods;
    std::sort(sorted.begin(), sorted.end());
    const double limit = sorted[sorted.size() / 2] * 1.5;
    size_t bestFrom = 0, bestTo = 0, from = 0;
    for (size_t k = 1; k <= periods.size(); k++) {
        if (k == periods.size() || periods[k] > limit) {
            if (k - from > bestTo - bestFrom) bestFrom = from, bestTo = k;
            from = k + 1;
        }
    }
    double n = 0, sumK = 0, sumT = 0, sumKK = 0, sumKT = 0;
    for (size_t k = bestFrom; k <= bestTo; k++) {
        const double index = (double)(k - bestFrom);
        n += 1;
        sumK += index;
        sumT += crossings[k];
        sumKK += index * index;
        sumKT += index * crossings[k];
    }
    const double period = (n * sumKT - sumK * sumT) / (n * sumKK - sumK * sumK);
    return rate / period;
}

// The RMS of a channel over the middle half of the span where either channel sounds.
inline double MiddleRms(const Capture& capture, const std::vector<double>& x)
{
    size_t first = x.size(), last = 0;
    for (size_t i = 0; i < x.size(); i++) {
        if (fabs(capture.Left[i]) > 0.002 || fabs(capture.Right[i]) > 0.002) {
            if (first == x.size()) first = i;
            last = i;
        }
    }
    if (first >= last) return 0;
    const size_t from = first + (last - first) / 4, to = last - (last - first) / 4;
    double sum = 0;
    for (size_t i = from; i < to; i++) sum += x[i] * x[i];
    return sqrt(sum / (double)(to - from));
}

inline bool WaitUntilEnded(Vantrel::SoundBuffer* buffer, int milliseconds)
{
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (Vantrel::SoundBuffer_IsPlaying(buffer) == 0) return true;
        Sleep(10);
    }
    return false;
}

// Lets the tone play to its end, releases it, ends the sound system (which closes the device and so
// finishes the capture file) and reads the capture.
inline void PlayOutAndCapture(Vantrel::SoundBuffer* tone, Capture* capture)
{
    EXPECT_TRUE(WaitUntilEnded(tone, 5000));
    Sleep(200);
    Vantrel::SoundBuffer_Release(tone);
    Vantrel::Sound_Terminate();
    ASSERT_TRUE(ReadCapture(CapturePath(), capture));
}

// The levels X3DAudio gives a mono 3D buffer's emitter towards the two output channels, as the
// back-end's instance and listener compute them.
inline void X3DAudioStereoLevels(const Vantrel::SoundBuffer& buffer, float levels[2])
{
    Vantrel::X3DAudioDspSettings dsp;
    memset(&dsp, 0, sizeof(dsp));
    levels[0] = levels[1] = 0.0f;
    dsp.pMatrixCoefficients = levels;
    dsp.SrcChannelCount = 1;
    dsp.DstChannelCount = 2;
    const Vantrel::SoundWinStateRecord& win = Vantrel::SoundWinState;
    win.X3DAudioCalculateEntry(win.X3DInstance, &win.DefaultListener, &buffer.Emitter, 1, &dsp);
}

// Device cases run only in the device run; each starts with no capture file and ends the sound
// system.
class SoundDeviceFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (CapturePath().empty()) GTEST_SKIP() << "only the device run has a capture device";
        ResetSwitches();
        DeleteFileA(CapturePathWindows().c_str());
    }
    void TearDown() override
    {
        Vantrel::Sound_Terminate();
        ResetSwitches();
    }
    static std::string CapturePathWindows()
    {
        // The Unix path through the Z: drive.
        std::string path = "Z:" + CapturePath();
        for (char& c : path) if (c == '/') c = '\\';
        return path;
    }
    ComScope Com;
};

}  // namespace SoundCapture
