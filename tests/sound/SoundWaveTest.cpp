// WAVE images in memory and the capture file: the image layout, ending a capture that never began,
// and the capture of a mixed run, which sox reads back as the samples the mixer produced.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SoundMixTestSupport.h"
#include "foundation/VtMemory.h"
#include "sound/VtSoundWave.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

uint32_t Get32(const uint8_t* at)
{
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

uint16_t Get16(const uint8_t* at)
{
    uint16_t v;
    std::memcpy(&v, at, 2);
    return v;
}

std::vector<uint8_t> ReadFile(const std::string& unixPath)
{
    std::ifstream in("Z:" + unixPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : (wchar_t)(unsigned char)c);
    return path;
}

// A folder of this test's own under the build folder (a Unix path; Wine shows it on drive Z:).
std::string WorkFolder()
{
    const char* binary = std::getenv("VT_TEST_BINARY_DIR");
    std::string folder = std::string(binary ? binary : "/tmp") + "/sound_capture";
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    return folder;
}

// Runs a shell command line of the host (Wine starts Unix programs without a process handle to wait
// on) and waits until it has touched the marker file.
bool RunHostCommand(const std::string& command, const std::string& marker)
{
    DeleteFileW(WindowsPath(marker).c_str());
    std::wstring line = L"Z:\\bin\\sh -c \"";
    for (char c : command + "; touch '" + marker + "'") line.push_back((wchar_t)(unsigned char)c);
    line += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    for (int i = 0; i < 300; i++) {
        if (GetFileAttributesW(WindowsPath(marker).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

TEST(SoundWaveImageTest, LayoutOfAnImage)
{
    const WAVEFORMATEX format = PcmFormat(2, 16, 44100);
    void* image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 18, nullptr, 0), 0);
    EXPECT_EQ(size, 46u);
    const uint8_t* bytes = (const uint8_t*)image;
    EXPECT_EQ(std::memcmp(bytes, "RIFF", 4), 0);
    EXPECT_EQ(Get32(bytes + 4), 38u);
    EXPECT_EQ(std::memcmp(bytes + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Get32(bytes + 16), 18u);
    EXPECT_EQ(std::memcmp(bytes + 20, &format, 18), 0);
    EXPECT_EQ(std::memcmp(bytes + 38, "data", 4), 0);
    EXPECT_EQ(Get32(bytes + 42), 0u);
    Memory_Free(image);

    const int16_t pcm[3] = {-1, 2, -32768};
    ASSERT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 16, pcm, 6), 0);
    bytes = (const uint8_t*)image;
    EXPECT_EQ(size, 50u);
    EXPECT_EQ(Get32(bytes + 4), 42u);
    EXPECT_EQ(std::memcmp(bytes + 36, "data", 4), 0);
    EXPECT_EQ(Get32(bytes + 40), 6u);
    EXPECT_EQ(std::memcmp(bytes + 44, pcm, 6), 0);
    Memory_Free(image);

    EXPECT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 18, pcm, 0xFFFFFFF0u), -1);   // past 4 GB
}

using SoundCaptureTest = SoundModuleTest;

TEST_F(SoundCaptureTest, EndingWithoutACaptureTouchesNoFile)
{
    EXPECT_EQ(Sound_EndCapture(), -1);
    EXPECT_EQ(SoundSystemState.CaptureActive, 0);
    EXPECT_EQ(Sound_BeginCapture(L"Z:\\no\\such\\folder\\capture.wav"), -1);
    EXPECT_EQ(SoundSystemState.CaptureActive, 0);
}

TEST_F(SoundCaptureTest, CaptureOfAMixedRunIsAWaveThatSoxReads)
{
    OpenDevice(Device16);
    const std::string folder = WorkFolder();
    const std::string wave = folder + "/capture.wav";
    ASSERT_EQ(Sound_BeginCapture(WindowsPath(wave).c_str()), 0);

    std::vector<int16_t> stereo;
    for (int i = 0; i < 300; i++) stereo.insert(stereo.end(), {(int16_t)(i * 211 - 31000), (int16_t)(20000 - i * 137)});
    SoundBuffer music, voice;
    MakeBuffer(&music, PcmFormat(2, 16, 44100), Pcm16(stereo));
    std::vector<uint8_t> bytes8(500);
    for (int i = 0; i < 500; i++) bytes8[i] = (uint8_t)(i * 37);
    MakeBuffer(&voice, PcmFormat(1, 8, 22050), bytes8);
    SoundBuffer_SetAllVolumes(&music, -600);
    SoundBuffer_SetPanning(&music, 2000);
    SoundBuffer_SetAllVolumes(&voice, -1500);
    SoundBuffer_Start(&music, 1);
    SoundBuffer_Start(&voice, 0);

    std::vector<uint8_t> mixed;
    for (int frames : {1000, 470, 2000}) {
        const std::vector<uint8_t> block = Render(Device16, frames);
        mixed.insert(mixed.end(), block.begin(), block.end());
    }
    ASSERT_EQ(Sound_EndCapture(), 0);
    SoundBuffer_Release(&music);
    SoundBuffer_Release(&voice);

    const std::vector<uint8_t> file = ReadFile(wave);
    ASSERT_EQ(file.size(), 46 + mixed.size());
    EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
    EXPECT_EQ(Get32(&file[4]), 4 * 3470u + 38);
    EXPECT_EQ(std::memcmp(&file[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(Get32(&file[16]), 18u);
    EXPECT_EQ(Get16(&file[20]), 1);
    EXPECT_EQ(Get16(&file[22]), 2);
    EXPECT_EQ(Get32(&file[24]), 44100u);
    EXPECT_EQ(Get32(&file[28]), 176400u);
    EXPECT_EQ(Get16(&file[32]), 4);
    EXPECT_EQ(Get16(&file[34]), 16);
    EXPECT_EQ(std::memcmp(&file[38], "data", 4), 0);
    EXPECT_EQ(Get32(&file[42]), 4 * 3470u);
    EXPECT_TRUE(std::equal(mixed.begin(), mixed.end(), file.begin() + 46)) << "the captured PCM is what the device got";

    const std::string info = folder + "/info.txt", raw = folder + "/capture.raw";
    ASSERT_TRUE(RunHostCommand("sox --i -c '" + wave + "' > '" + info + "'; sox --i -r '" + wave + "' >> '" + info +
                                   "'; sox --i -b '" + wave + "' >> '" + info + "'; sox --i -s '" + wave + "' >> '" + info +
                                   "'; sox '" + wave + "' -t raw -e signed-integer -b 16 '" + raw + "'",
                               folder + "/sox.done"))
        << "sox did not run";
    const std::vector<uint8_t> text = ReadFile(info);
    EXPECT_EQ(std::string(text.begin(), text.end()), "2\n44100\n16\n3470\n");
    EXPECT_EQ(ReadFile(raw), mixed) << "sox reads the samples the mixer produced";
}

}  // namespace
