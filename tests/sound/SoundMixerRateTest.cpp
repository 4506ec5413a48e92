// The mixer's rate conversion: a tone at every source rate from 8 kHz to 192 kHz (and a few odd
// ones) played through 44.1 and 48 kHz devices in the blocks a device asks for. The output must be
// the linear interpolation at the exact rational positions k x source rate / device rate: as long
// as that says to the frame, at the tone's frequency to a hundredth of a hertz, sample for sample;
// and a looping buffer's read position after any number of blocks is exactly where the rates put it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SoundCaptureSupport.h"
#include "SoundMixTestSupport.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double ToneHz = 1000.0;

const int SourceRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100,
                           48000, 64000, 88200, 96000, 176400, 192000, 12345, 47999};

// A 1 kHz tone on a positive offset, so that every frame the mixer produces is non-zero and the
// output's length can be read off it.
std::vector<int16_t> OffsetTone(int rate, int frames)
{
    std::vector<int16_t> samples(frames);
    for (int i = 0; i < frames; i++) samples[i] = (int16_t)std::lrint(8000.0 + 4000.0 * std::sin(2.0 * Pi * ToneHz * i / rate));
    return samples;
}

double RmsAroundMean(const std::vector<double>& x)
{
    double mean = 0, sum = 0;
    for (double v : x) mean += v;
    mean /= (double)x.size();
    for (double v : x) sum += (v - mean) * (v - mean);
    return std::sqrt(sum / (double)x.size());
}

class MixerRateTest : public SoundModuleTest {
protected:
    // Plays the buffer through the device in blocks of the given sizes (repeated) and returns the
    // left channel of the float device.
    std::vector<double> Play(int deviceRate, const std::vector<int>& blocks, int total)
    {
        const Device device = {2, 32, 32, true, false, deviceRate};
        std::vector<double> left;
        left.reserve(total);
        for (size_t b = 0; (int)left.size() < total; b++) {
            const int frames = std::min(blocks[b % blocks.size()], total - (int)left.size());
            const std::vector<uint8_t> block = Render(device, frames);
            for (int k = 0; k < frames; k++) {
                float v;
                std::memcpy(&v, block.data() + (size_t)k * 8, 4);
                left.push_back(v);
            }
        }
        return left;
    }
};

// A non-looping tone of 1.25 s plus a little, in device blocks of 10 ms (the WASAPI period) and in
// uneven blocks: every source rate against both device rates.
TEST_F(MixerRateTest, EverySourceRateKeepsLengthFrequencyAndSamples)
{
    struct Blocking {
        const char* Name;
        std::vector<int> Frames;   // empty: a tenth of the device rate, 10 ms
    };
    const Blocking blockings[] = {{"10 ms", {}}, {"uneven", {1, 997, 64, 333, 2048, 7}}};
    for (int deviceRate : {44100, 48000}) {
        const Device device = {2, 32, 32, true, false, deviceRate};
        OpenDevice(device);
        for (int sourceRate : SourceRates) {
            for (const Blocking& blocking : blockings) {
                SCOPED_TRACE(::testing::Message() << sourceRate << " Hz into " << deviceRate << " Hz, " << blocking.Name);
                const int frames = sourceRate * 5 / 4 + 3;
                const std::vector<int16_t> source = OffsetTone(sourceRate, frames);
                SoundBuffer buffer;
                MakeBuffer(&buffer, PcmFormat(1, 16, sourceRate), Pcm16(source));
                ASSERT_EQ(SoundBuffer_Start(&buffer, 0), 0);

                // ceil(frames x device rate / source rate) frames, then the buffer ends.
                const int64_t expectedLength = ((int64_t)frames * deviceRate + sourceRate - 1) / sourceRate;
                std::vector<int> sizes = blocking.Frames;
                if (sizes.empty()) sizes.push_back(deviceRate / 100);
                const std::vector<double> out = Play(deviceRate, sizes, (int)expectedLength + deviceRate / 10);
                int64_t length = (int64_t)out.size();
                while (length > 0 && out[length - 1] == 0.0) length--;
                EXPECT_EQ(length, expectedLength);
                EXPECT_EQ(buffer.Playing, 0);
                EXPECT_EQ(buffer.InMixerList, 0);

                // Frame k interpolates between source frames i and i + 1 at i + f = k x source / device.
                int wrong = 0, firstWrong = -1;
                for (int64_t k = 0; k < expectedLength && k < (int64_t)out.size(); k++) {
                    const int64_t numerator = k * sourceRate;
                    const int64_t i = numerator / deviceRate;
                    const double f = (double)(numerator % deviceRate) / (double)deviceRate;
                    const double a = source[i], b = i + 1 < frames ? source[i + 1] : 0.0;
                    const double expected = (double)((float)(a + (b - a) * f) * (1.0f / 32768.0f));
                    if (std::fabs(out[k] - expected) > 1e-6) {
                        if (firstWrong < 0) firstWrong = (int)k;
                        wrong++;
                    }
                }
                EXPECT_EQ(wrong, 0) << "first wrong output frame " << firstWrong;

                const std::vector<double> tone(out.begin(), out.begin() + std::min<int64_t>(length, (int64_t)out.size()));
                const double frequency = SoundCapture::FittedFrequency(tone, deviceRate);
                EXPECT_NEAR(frequency, ToneHz, 0.01);
                if (blocking.Frames.empty()) {
                    std::vector<double> sourceScaled(source.begin(), source.end());
                    const double level = 20.0 * std::log10(RmsAroundMean(tone) * 32768.0 / RmsAroundMean(sourceScaled));
                    printf("%6d Hz -> %5d Hz: %d frames in, %lld out, tone at %.4f Hz, level %+.3f dB of the source's\n",
                           sourceRate, deviceRate, frames, (long long)length, frequency, level);
                }
                SoundBuffer_Release(&buffer);
            }
        }
    }
}

// A looping buffer of an awkward length mixed for 20 s of output in uneven blocks: its read cursor
// and the fraction past it are exactly floor and remainder of output frames x source rate / device
// rate, wrapped at the buffer's length, after every block.
TEST_F(MixerRateTest, LoopingPositionStaysExactOverManyBlocks)
{
    const int blocks[] = {480, 441, 1, 1023, 333, 64, 4096, 7, 2000};
    for (int deviceRate : {44100, 48000}) {
        OpenDevice({2, 16, 16, false, false, deviceRate});
        for (int sourceRate : SourceRates) {
            SCOPED_TRACE(::testing::Message() << sourceRate << " Hz into " << deviceRate << " Hz");
            const int frames = 1009;
            SoundBuffer buffer;
            MakeBuffer(&buffer, PcmFormat(2, 16, sourceRate), Pcm16(std::vector<int16_t>(2 * frames, 100)));
            ASSERT_EQ(SoundBuffer_Start(&buffer, 1), 0);
            int64_t mixed = 0;
            int mismatches = 0;
            for (int b = 0; mixed < (int64_t)deviceRate * 20; b++) {
                const int count = blocks[b % (sizeof(blocks) / sizeof(blocks[0]))];
                Render({2, 16, 16, false, false, deviceRate}, count);
                mixed += count;
                const int64_t numerator = mixed * sourceRate;
                const int cursor = (int)((numerator / deviceRate) % frames);
                const uint32_t fraction = sourceRate == deviceRate ? 0u : (uint32_t)(numerator % deviceRate);
                if (buffer.ReadCursor != cursor || buffer.ReadFraction != fraction) {
                    if (mismatches++ == 0)
                        ADD_FAILURE() << "after " << mixed << " frames: cursor " << buffer.ReadCursor << " + "
                                      << buffer.ReadFraction << "/" << deviceRate << ", expected " << cursor << " + "
                                      << fraction;
                }
            }
            EXPECT_EQ(mismatches, 0);
            EXPECT_EQ(buffer.Playing, 1);
            SoundBuffer_Release(&buffer);
        }
    }
}

// A rate change while playing restarts the fraction on the current frame; a seek puts the
// position on the frame sought; back at the data rate with the fraction on a frame, the buffer
// takes the same-rate road again.
TEST_F(MixerRateTest, RateChangesAndSeeksPutTheFractionOnAFrame)
{
    OpenDevice({2, 16, 16, false, false, 48000});
    SoundBuffer buffer;
    MakeBuffer(&buffer, PcmFormat(1, 16, 48000), Pcm16(std::vector<int16_t>(4800, 50)));
    ASSERT_EQ(SoundBuffer_Start(&buffer, 1), 0);
    Render({2, 16, 16, false, false, 48000}, 100);
    EXPECT_EQ(buffer.Resampling, 0);
    EXPECT_EQ(buffer.ReadCursor, 100);
    ASSERT_EQ(SoundBuffer_SetRate(&buffer, 44100), 0);
    EXPECT_EQ(buffer.Resampling, 1);
    EXPECT_EQ(buffer.ReadFraction, 0u);
    Render({2, 16, 16, false, false, 48000}, 160);   // 147 source frames exactly
    EXPECT_EQ(buffer.ReadCursor, 247);
    EXPECT_EQ(buffer.ReadFraction, 0u);
    ASSERT_EQ(SoundBuffer_SetRate(&buffer, 0), 0);
    EXPECT_EQ(buffer.Resampling, 0) << "on a whole frame: back to the same-rate road";
    ASSERT_EQ(SoundBuffer_SetRate(&buffer, 44100), 0);
    Render({2, 16, 16, false, false, 48000}, 7);
    EXPECT_EQ(buffer.ReadCursor, 253);
    EXPECT_EQ(buffer.ReadFraction, 7u * 44100 % 48000);
    ASSERT_EQ(SoundBuffer_SetRate(&buffer, 0), 0);
    EXPECT_EQ(buffer.Resampling, 1) << "between two frames: the fraction plays out at step 1";
    Render({2, 16, 16, false, false, 48000}, 10);
    EXPECT_EQ(buffer.ReadCursor, 263);
    EXPECT_EQ(buffer.ReadFraction, 7u * 44100 % 48000);
    ASSERT_EQ(SoundBuffer_SetPosition(&buffer, 2000 * 2), 0);
    EXPECT_EQ(buffer.ReadFraction, 0u);
    EXPECT_EQ(buffer.Resampling, 0);
    SoundBuffer_Release(&buffer);
}

}  // namespace
