// Time-stretch under load: 60 s of a stereo 48 kHz float sound (two tones with noise, the decoded
// sound's form on the load road) stretched by 1.5 and by 0.75, and resampled to 0.5 of its length
// (the second half of a one-octave pitch step). Prints the time taken and its share of the sound's
// own duration (goal for the stretch: under 5%).
#include <windows.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "sound/VtSound.h"
#include "sound/VtSoundTimeStretch.h"

using namespace Vantrel;

namespace {

constexpr int Rate = 48000;
constexpr int Seconds = 60;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

SoftSoundData View(std::vector<float>& samples, int64_t frames)
{
    samples.assign((size_t)(frames * 2), 0.0f);
    return {3, 2, Rate, 32, frames, samples.data()};
}

void Report(const char* what, double seconds)
{
    printf("%-34s %8.3f s  %6.2f%% of real time\n", what, seconds, 100.0 * seconds / Seconds);
}

}  // namespace

int main()
{
    Sound_BuildTables();
    const int64_t frames = (int64_t)Rate * Seconds;
    std::vector<float> sourceSamples;
    SoftSoundData source = View(sourceSamples, frames);
    uint32_t random = 77;
    for (int64_t i = 0; i < frames; i++) {
        random = random * 1664525u + 1013904223u;
        const float noise = (float)(int32_t)random * (0.02f / 2147483648.0f);
        sourceSamples[2 * i] = 0.4f * sinf(2.0f * 3.1415927f * 220.0f * (float)(i % Rate) / Rate) + noise;
        sourceSamples[2 * i + 1] = 0.4f * sinf(2.0f * 3.1415927f * 330.0f * (float)(i % Rate) / Rate) - noise;
    }

    const struct {
        const char* Name;
        double Ratio;
        bool Resample;
    } runs[] = {
        {"time-stretch x1.5", 1.5, false},
        {"time-stretch x0.75", 0.75, false},
        {"resample to x0.5", 0.5, true},
    };
    printf("60 s of stereo 48 kHz float\n");
    for (const auto& run : runs) {
        std::vector<float> outSamples;
        SoftSoundData out = View(outSamples, (int64_t)(frames * run.Ratio));
        const double start = Now();
        const int result = run.Resample ? SoftSound_Resample(&source, &out) : SoftSound_TimeStretch(&source, &out);
        const double took = Now() - start;
        if (result != 0) {
            printf("%s failed\n", run.Name);
            return 1;
        }
        Report(run.Name, took);
    }
    return 0;
}
