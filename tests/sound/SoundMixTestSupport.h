// Shared helpers of the sound-buffer, mixer and capture tests: the sound module started on its own
// (device-less output, no processing thread), device formats, and buffers filled with known PCM.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>

#include <cstring>
#include <vector>

#include "foundation/VtMemory.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"

namespace SoundMixTest {

// The device format the mixer writes, as a test describes it.
struct Device {
    int Channels;
    int ContainerBits;
    int ValidBits;
    bool IsFloat;
    bool LowJustified;
    int Rate;
};

constexpr Device Device16 = {2, 16, 16, false, false, 44100};

inline WAVEFORMATEXTENSIBLE DeviceFormat(const Device& device)
{
    static const GUID pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    static const GUID ieeeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    WAVEFORMATEXTENSIBLE format;
    std::memset(&format, 0, sizeof(format));
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = (WORD)device.Channels;
    format.Format.nSamplesPerSec = (DWORD)device.Rate;
    format.Format.wBitsPerSample = (WORD)device.ContainerBits;
    format.Format.nBlockAlign = (WORD)(device.Channels * device.ContainerBits / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * (DWORD)device.Rate;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = (WORD)device.ValidBits;
    format.dwChannelMask = device.Channels == 1 ? 4 : 3;
    format.SubFormat = device.IsFloat ? ieeeFloat : pcm;
    return format;
}

// Opens the device-less output in the device's format.
inline void OpenDevice(const Device& device)
{
    const WAVEFORMATEXTENSIBLE format = DeviceFormat(device);
    ASSERT_EQ(Vantrel::SoundWin_OpenDevicelessOutput(&format), 0);
    ASSERT_EQ(Vantrel::Sound_Mixer_SetOutputFormat(&format, 0, device.LowJustified ? 1 : 0), 0);
}

// Mixes frames into an interleaved device block.
inline std::vector<uint8_t> Render(const Device& device, int frames)
{
    const int sampleBytes = device.ContainerBits / 8;
    const int blockAlign = device.Channels * sampleBytes;
    std::vector<uint8_t> out((size_t)frames * blockAlign, 0xCD);
    EXPECT_EQ(Vantrel::Sound_Mixer_Render(out.data(), out.data() + sampleBytes, blockAlign, frames), 0);
    return out;
}

inline WAVEFORMATEX PcmFormat(int channels, int bits, int rate)
{
    WAVEFORMATEX format;
    std::memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (WORD)channels;
    format.nSamplesPerSec = (DWORD)rate;
    format.wBitsPerSample = (WORD)bits;
    format.nBlockAlign = (WORD)(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * (DWORD)rate;
    return format;
}

// Makes a software buffer holding the bytes.
inline void MakeBuffer(Vantrel::SoundBuffer* buffer, const WAVEFORMATEX& format, const std::vector<uint8_t>& bytes)
{
    std::memset(buffer, 0, sizeof(*buffer));
    ASSERT_EQ(Vantrel::SoundBuffer_Create(buffer, (uint32_t)bytes.size(), &format, nullptr, 0), 0);
    std::memcpy(buffer->Wave->Data, bytes.data(), bytes.size());
}

inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// The sound module started on its own for each test: no window, so no processing thread; the
// output is the device-less one.
class SoundModuleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Vantrel::Sound_Initialize(), 0); }
    void TearDown() override { Vantrel::Sound_Terminate(); }
};

}  // namespace SoundMixTest
