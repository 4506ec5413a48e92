// Shared helpers of the sound-handle and stream tests: a work folder under the build folder, WAVE
// images of known PCM, mixing with the per-frame stream service between blocks, and the fixture
// that starts the sound module with the device-less output.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SoundMixTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWave.h"

namespace SoundHandleTestSupport {

using namespace Vantrel;
using namespace SoundMixTest;

// A folder of this test's own under the build folder (a Unix path; Wine shows it on drive Z:).
inline std::string WorkFolder()
{
    const char* binary = std::getenv("VT_TEST_BINARY_DIR");
    return std::string(binary ? binary : "/tmp") + "/sound_handle";
}

inline std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : (wchar_t)(unsigned char)c);
    return path;
}

inline void WriteFile(const std::string& unixPath, const void* data, size_t size)
{
    std::ofstream out("Z:" + unixPath, std::ios::binary | std::ios::trunc);
    out.write((const char*)data, (std::streamsize)size);
}

inline std::vector<uint8_t> ReadFile(const std::string& unixPath)
{
    std::ifstream in("Z:" + unixPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Frames of 16-bit PCM that differ from each other everywhere (a sum of two ramps with a
// pseudo-random part), kept well inside the range so that the mixer passes them unchanged.
inline std::vector<int16_t> DistinctFrames(int frames, int channels)
{
    std::vector<int16_t> samples((size_t)frames * channels);
    uint32_t seed = 12345;
    for (size_t i = 0; i < samples.size(); i++) {
        seed = seed * 1664525u + 1013904223u;
        samples[i] = (int16_t)((int)(seed >> 20) % 6000 - 3000 + (int)(i % 997));
    }
    return samples;
}

inline std::vector<uint8_t> WaveImage(const std::vector<uint8_t>& pcm, const WAVEFORMATEX& format)
{
    void* image = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 18, pcm.data(), (uint32_t)pcm.size()), 0);
    std::vector<uint8_t> out((const uint8_t*)image, (const uint8_t*)image + size);
    Memory_Free(image);
    return out;
}

inline SoundHandleRecord* Record(HandleValue handle) { return (SoundHandleRecord*)Handle_GetRecord(handle); }

// Mixes frames in blocks of a sixtieth of a second, running the per-frame stream service before
// each block as the sound-processing thread would; returns the 16-bit stereo output.
inline std::vector<int16_t> MixFrames(int frames)
{
    std::vector<int16_t> out;
    out.reserve((size_t)frames * 2);
    for (int done = 0; done < frames; done += 735) {
        Sound_ProcessStreamsAll();
        const std::vector<uint8_t> block = Render(Device16, frames - done < 735 ? frames - done : 735);
        const int16_t* samples = (const int16_t*)block.data();
        out.insert(out.end(), samples, samples + block.size() / 2);
    }
    return out;
}

inline void PlayFrames(int frames) { MixFrames(frames); }

class SoundHandleTest : public SoundModuleTest {
protected:
    void SetUp() override
    {
        SoundModuleTest::SetUp();
        OpenDevice(Device16);
        CreateDirectoryW(WindowsPath(WorkFolder()).c_str(), nullptr);
        Sound_LoadParam_Init(&param_);
    }

    HandleValue LoadImage(const std::vector<uint8_t>& image, int buffers = 1)
    {
        return LoadSoundFromMemImageWithParam(&param_, 1, -1, image.data(), (int64_t)image.size(), buffers, -1, 0, 0);
    }

    SoundLoadParam param_;
};

}  // namespace SoundHandleTestSupport
