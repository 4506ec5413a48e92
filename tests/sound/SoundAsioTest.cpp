// ASIO output against a fake driver of our own (VtFakeAsio.dll, registered here in the prefix): the
// host finds and opens it, its driver thread pulls half-buffers holding exactly what the mixer makes
// of a known sound, every failing step falls back to the next output, closing stops the driver
// thread and releases the driver, and the registry enumeration lists usable drivers only.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "../fakes/fake_asio/FakeAsio.h"
#include "../foundation/LogReadBack.h"
#include "SoundCaptureSupport.h"
#include "SoundMixTestSupport.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtAsioDecl.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"
#include "system/VtWindow.h"

using namespace Vantrel;

namespace {

std::wstring TestFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring FakeDriverPath() { return TestFolder() + L"\\VtFakeAsio.dll"; }

void SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)((value.size() + 1) * sizeof(wchar_t)));
}

// The prefix's ASIO registration: driver keys under HKLM "software\asio" and the classes they name.
// Everything written is removed again.
class AsioRegistry {
public:
    ~AsioRegistry() { Clear(); }

    void AddDriver(const std::wstring& keyName, const std::wstring& clsid, const wchar_t* description = nullptr)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\ASIO\\" + keyName).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetString(key, L"CLSID", clsid);
        if (description != nullptr) SetString(key, L"Description", description);
        RegCloseKey(key);
    }

    void AddClass(const std::wstring& clsid, const std::wstring& serverPath)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        SetString(key, nullptr, serverPath);
        SetString(key, L"ThreadingModel", L"Both");
        RegCloseKey(key);
        Classes.push_back(clsid);
    }

    void Clear()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\ASIO");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\ASIO");
        for (const std::wstring& clsid : Classes) {
            const std::wstring key = L"Software\\Classes\\CLSID\\" + clsid;
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
        }
        Classes.clear();
    }

private:
    std::vector<std::wstring> Classes;
};

FakeAsio::Script DefaultScript()
{
    FakeAsio::Script script;
    std::memset(&script, 0, sizeof(script));
    script.InitResult = ASIOTrue;
    script.BufferSizeResult = ASE_OK;
    script.Minimum = 64;
    script.Maximum = 2048;
    script.Preferred = 256;
    script.Granularity = 32;
    script.ChannelInfoResult = ASE_OK;
    script.SampleType = ASIOSTInt16LSB;
    script.SetRateResult = ASE_OK;
    script.Rate = 48000.0;
    script.CreateBuffersResult = ASE_OK;
    script.StartResult = ASE_OK;
    return script;
}

void ClearAsioSettings()
{
    SoundWinState.AsioConfigured = 0;
    SoundWinState.AsioConfigBufferSize = 0;
    SoundWinState.AsioConfigRate = 0;
    SoundWinState.AsioSelected = 0;
}

class SoundAsioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SoundCapture::ResetSwitches();
        ClearAsioSettings();
        Registry.Clear();
        Module = LoadLibraryW(FakeDriverPath().c_str());
        ASSERT_NE(Module, nullptr);
        SetScript = (FakeAsio::SetScriptProc)GetProcAddress(Module, "FakeAsio_SetScript");
        GetRecord = (FakeAsio::GetRecordProc)GetProcAddress(Module, "FakeAsio_GetRecord");
        Pull = (FakeAsio::PullProc)GetProcAddress(Module, "FakeAsio_Pull");
        ChangeRate = (FakeAsio::ChangeRateProc)GetProcAddress(Module, "FakeAsio_ChangeRate");
        ASSERT_TRUE(SetScript && GetRecord && Pull && ChangeRate);
        const FakeAsio::Script script = DefaultScript();
        SetScript(&script);
        Registry.AddDriver(L"Vantrel Fake ASIO", FakeAsio::ClsidText, L"Vantrel Fake ASIO Driver");
        Registry.AddClass(FakeAsio::ClsidText, FakeDriverPath());
        FoundationTest::StartFreshLog(L"SoundAsioTest.txt");
    }
    void TearDown() override
    {
        Sound_Terminate();
        SoundCapture::ResetSwitches();
        ClearAsioSettings();
        Registry.Clear();
        if (Module != nullptr) FreeLibrary(Module);
    }

    FakeAsio::Record Record()
    {
        FakeAsio::Record record;
        GetRecord(&record);
        return record;
    }

    // The log file ends its entries with "\r\n".
    bool LogHas(const wchar_t* text)
    {
        std::wstring wanted = text;
        if (!wanted.empty() && wanted.back() == L'\n') wanted.insert(wanted.size() - 1, L"\r");
        return FoundationTest::ReadLog().find(wanted) != std::wstring::npos;
    }

    // Whatever output the choice loop fell back to is open, with no ASIO driver left behind.
    void ExpectFellBack()
    {
        EXPECT_EQ(SoundWinState.UseAsio, 0);
        EXPECT_EQ(SoundWin_IsOutputReady(), 1);
        const FakeAsio::Record record = Record();
        EXPECT_EQ(record.Objects, 0);
        EXPECT_EQ(record.ThreadRunning, 0);
        EXPECT_EQ(record.BuffersLive, 0);
        EXPECT_EQ(SoundWinState.AsioDrivers[0].Driver, nullptr);
    }

    SoundCapture::ComScope Com;
    AsioRegistry Registry;
    HMODULE Module = nullptr;
    FakeAsio::SetScriptProc SetScript = nullptr;
    FakeAsio::GetRecordProc GetRecord = nullptr;
    FakeAsio::PullProc Pull = nullptr;
    FakeAsio::ChangeRateProc ChangeRate = nullptr;
};

// The device samples of each sample type the driver may ask for.
struct TypeCase {
    const char* Name;
    long Type;
    int Bits, ValidBits;
    bool Float, MsbFirst;
};
void PrintTo(const TypeCase& c, std::ostream* out) { *out << c.Name; }

const TypeCase TypeCases[] = {
    {"Int16LSB", ASIOSTInt16LSB, 16, 16, false, false},   {"Int16MSB", ASIOSTInt16MSB, 16, 16, false, true},
    {"Int24LSB", ASIOSTInt24LSB, 24, 24, false, false},   {"Int32LSB", ASIOSTInt32LSB, 32, 32, false, false},
    {"Int32MSB", ASIOSTInt32MSB, 32, 32, false, true},    {"Int32LSB16", ASIOSTInt32LSB16, 32, 16, false, false},
    {"Int32LSB20", ASIOSTInt32LSB20, 32, 20, false, false}, {"Int32MSB24", ASIOSTInt32MSB24, 32, 24, false, true},
    {"Float32LSB", ASIOSTFloat32LSB, 32, 32, true, false}, {"Float32MSB", ASIOSTFloat32MSB, 32, 32, true, true},
    {"Float64LSB", ASIOSTFloat64LSB, 64, 64, true, false}, {"Float64MSB", ASIOSTFloat64MSB, 64, 64, true, true},
};

// A stereo sound at half the output rate (so the mixer resamples), attenuated and panned: nothing
// of it reaches the device unchanged.
std::vector<uint8_t> KnownSound(int frames)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; i++) {
        samples.push_back((int16_t)(((i * 7919) % 52000) - 26000));
        samples.push_back((int16_t)(((i * 7919 + 104729) % 52000) - 26000));
    }
    return SoundMixTest::Pcm16(samples);
}

void StartKnownSound(SoundBuffer* buffer, int rate)
{
    SoundMixTest::MakeBuffer(buffer, SoundMixTest::PcmFormat(2, 16, rate), KnownSound(700));
    ASSERT_EQ(SoundBuffer_SetAllVolumes(buffer, -600), 0);
    ASSERT_EQ(SoundBuffer_SetPanning(buffer, 2500), 0);
    ASSERT_EQ(SoundBuffer_Start(buffer, 0), 0);
}

// 32-bit floats in the device's byte order, widened to 64-bit ones in the same order.
std::vector<uint8_t> WidenFloats(const uint8_t* in, int count, bool msbFirst)
{
    std::vector<uint8_t> out((size_t)count * 8);
    for (int k = 0; k < count; k++) {
        uint8_t bytes[4];
        for (int i = 0; i < 4; i++) bytes[i] = in[4 * k + (msbFirst ? 3 - i : i)];
        float single;
        std::memcpy(&single, bytes, 4);
        const double wide = single;
        uint8_t wideBytes[8];
        std::memcpy(wideBytes, &wide, 8);
        for (int i = 0; i < 8; i++) out[8 * k + i] = wideBytes[msbFirst ? 7 - i : i];
    }
    return out;
}

class SoundAsioTypeTest : public SoundAsioTest, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(SoundAsioTypeTest, DriverThreadReceivesTheMixersSamplesExactly)
{
    const TypeCase& c = GetParam();
    FakeAsio::Script script = DefaultScript();
    script.SampleType = c.Type;
    SetScript(&script);
    SoundWinState.UseAsio = 1;
    ASSERT_EQ(Sound_Initialize(), 0);

    // The ASIO road was taken and nothing else opened.
    EXPECT_EQ(SoundWinState.UseAsio, 1);
    EXPECT_EQ(SoundWinState.OutputDevice, 1u);
    EXPECT_EQ(SoundSystemState.SoftwareMixing, 1);
    EXPECT_EQ(SoundWinState.WasapiAudioClient, nullptr);
    EXPECT_EQ(SoundWinState.WaveOutDevice, nullptr);
    FakeAsio::Record record = Record();
    EXPECT_EQ(record.Objects, 1);
    EXPECT_EQ(record.InitCalls, 1);
    EXPECT_EQ(record.InitHandle, (void*)Window_GetMainHandle());
    EXPECT_EQ(record.CreateBuffersCalls, 1);
    EXPECT_EQ(record.ChannelCount, 2);
    EXPECT_EQ(record.Channels[0], 0);
    EXPECT_EQ(record.Channels[1], 1);
    EXPECT_EQ(record.IsInput[0] | record.IsInput[1], 0);
    EXPECT_EQ(record.BufferSize, 256);
    EXPECT_EQ(record.RateSet, 44100.0);
    EXPECT_EQ(record.StartCalls, 1);
    EXPECT_EQ(record.ThreadRunning, 1);

    // The published format follows the sample type.
    const WAVEFORMATEXTENSIBLE& format = SoundWinState.OutputFormat;
    EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(format.Format.nChannels, 2);
    EXPECT_EQ(format.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(format.Format.wBitsPerSample, c.Bits);
    EXPECT_EQ(format.Format.nBlockAlign, 2 * c.Bits / 8);
    EXPECT_EQ(format.Format.nAvgBytesPerSec, 44100u * (2 * c.Bits / 8));
    EXPECT_EQ(format.Samples.wValidBitsPerSample, c.ValidBits);
    EXPECT_EQ(format.dwChannelMask, 3u);
    EXPECT_EQ(format.SubFormat.Data1, c.Float ? 3u : 1u);
    EXPECT_EQ(SoundSystemState.Output.ValidBits, c.ValidBits);
    EXPECT_EQ(SoundSystemState.Output.FloatFlag, c.Float ? 1 : 0);
    EXPECT_EQ(SoundSystemState.Output.BigEndianFlag, c.MsbFirst ? 1 : 0);

    // The driver pulls eight half-buffers while the sound plays and ends.
    SoundBuffer sound;
    StartKnownSound(&sound, 22050);
    const int sampleBytes = c.Bits / 8;
    const int halfBytes = 256 * sampleBytes;
    std::vector<uint8_t> received(8 * 2 * (size_t)halfBytes);
    ASSERT_EQ(Pull(8, received.data(), (int)received.size()), (int)received.size());
    record = Record();
    EXPECT_EQ(record.Switches, 8);
    EXPECT_EQ(record.OutputReadyCalls, 8);
    EXPECT_EQ(record.OutputReadyOnDriverThread, 8);
    EXPECT_EQ(sound.Playing, 0);

    // The same sound mixed again straight from the mixer, in blocks of the same size.
    SoundBuffer again;
    StartKnownSound(&again, 22050);
    const int mixBytes = c.Bits == 64 ? 4 : sampleBytes;
    for (int block = 0; block < 8; block++) {
        std::vector<uint8_t> left(256 * (size_t)mixBytes), right(256 * (size_t)mixBytes);
        ASSERT_EQ(Sound_Mixer_Render(left.data(), right.data(), mixBytes, 256), 0);
        if (c.Bits == 64) {
            left = WidenFloats(left.data(), 256, c.MsbFirst);
            right = WidenFloats(right.data(), 256, c.MsbFirst);
        }
        const uint8_t* got = received.data() + (size_t)block * 2 * halfBytes;
        EXPECT_EQ(std::memcmp(got, left.data(), halfBytes), 0) << "left half-buffer " << block;
        EXPECT_EQ(std::memcmp(got + halfBytes, right.data(), halfBytes), 0) << "right half-buffer " << block;
    }
    // Something audible arrived, and after the sound's 1,400 output frames only silence.
    bool audible = false;
    for (int i = 0; i < halfBytes; i++) audible |= received[i] != 0;
    EXPECT_TRUE(audible);
    for (int i = 0; i < 2 * halfBytes; i++) EXPECT_EQ(received[7 * 2 * (size_t)halfBytes + i], 0) << i;
    SoundBuffer_Release(&sound);
    SoundBuffer_Release(&again);

    // Closing stops the driver thread, disposes the buffers and releases the driver.
    Sound_Terminate();
    record = Record();
    EXPECT_EQ(record.StopCalls, 1);
    EXPECT_EQ(record.DisposeCalls, 1);
    EXPECT_EQ(record.ThreadRunning, 0);
    EXPECT_EQ(record.BuffersLive, 0);
    EXPECT_EQ(record.Objects, 0);
    EXPECT_EQ(Pull(1, received.data(), (int)received.size()), -1);
    EXPECT_EQ(SoundWin_IsOutputReady(), 0);
    EXPECT_EQ(SoundWinState.AsioDrivers[0].Driver, nullptr);
    EXPECT_TRUE(LogHas(L"\tフォーマットタイプ : ASIOST"));
    EXPECT_TRUE(LogHas(L"ASIO の初期化に成功しました"));
}

INSTANTIATE_TEST_SUITE_P(Types, SoundAsioTypeTest, ::testing::ValuesIn(TypeCases),
                         [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.Name); });

// A full-level, centred sound at the device's rate arrives as its own samples, in the encoding of
// each sample type (worked out here from the sample, not from the mixer).
struct RawCase {
    long Type;
    int Bytes;
    void (*Encode)(int16_t sample, uint8_t* out);
};

void Store(uint32_t value, int bytes, bool msbFirst, uint8_t* out)
{
    for (int i = 0; i < bytes; i++) out[msbFirst ? bytes - 1 - i : i] = (uint8_t)(value >> (8 * i));
}

const RawCase RawCases[] = {
    {ASIOSTInt16LSB, 2, [](int16_t v, uint8_t* out) { Store((uint16_t)v, 2, false, out); }},
    {ASIOSTInt16MSB, 2, [](int16_t v, uint8_t* out) { Store((uint16_t)v, 2, true, out); }},
    {ASIOSTInt24LSB, 3, [](int16_t v, uint8_t* out) { Store((uint32_t)v << 8, 3, false, out); }},
    {ASIOSTInt32MSB, 4, [](int16_t v, uint8_t* out) { Store((uint32_t)v << 16, 4, true, out); }},
    {ASIOSTInt32LSB16, 4, [](int16_t v, uint8_t* out) { Store((uint32_t)(int32_t)v, 4, false, out); }},
    {ASIOSTInt32LSB18, 4, [](int16_t v, uint8_t* out) { Store((uint32_t)(int32_t)v * 4u, 4, false, out); }},
    {ASIOSTInt32MSB20, 4, [](int16_t v, uint8_t* out) { Store((uint32_t)(int32_t)v * 16u, 4, true, out); }},
    {ASIOSTInt32LSB24, 4, [](int16_t v, uint8_t* out) { Store((uint32_t)(int32_t)v * 256u, 4, false, out); }},
    {ASIOSTFloat32LSB, 4, [](int16_t v, uint8_t* out) { const float f = v / 32768.0f; std::memcpy(out, &f, 4); }},
    {ASIOSTFloat64MSB, 8, [](int16_t v, uint8_t* out) {
         const double d = v / 32768.0;
         uint64_t bits;
         std::memcpy(&bits, &d, 8);
         for (int i = 0; i < 8; i++) out[7 - i] = (uint8_t)(bits >> (8 * i));
     }},
};

TEST_F(SoundAsioTest, FullLevelSoundArrivesAsItsOwnSamples)
{
    const std::vector<uint8_t> bytes = KnownSound(600);
    for (const RawCase& c : RawCases) {
        SCOPED_TRACE(c.Type);
        FakeAsio::Script script = DefaultScript();
        script.SampleType = c.Type;
        SetScript(&script);
        SoundWinState.UseAsio = 1;
        ASSERT_EQ(Sound_Initialize(), 0);
        ASSERT_EQ(SoundWinState.UseAsio, 1);
        SoundBuffer sound;
        SoundMixTest::MakeBuffer(&sound, SoundMixTest::PcmFormat(2, 16, 44100), bytes);
        ASSERT_EQ(SoundBuffer_Start(&sound, 0), 0);
        const size_t half = 256 * (size_t)c.Bytes;
        std::vector<uint8_t> received(3 * 2 * half);
        ASSERT_EQ(Pull(3, received.data(), (int)received.size()), (int)received.size());
        for (int frame = 0; frame < 768; frame++) {
            for (int side = 0; side < 2; side++) {
                int16_t sample = 0;
                if (frame < 600) std::memcpy(&sample, &bytes[4 * (size_t)frame + 2 * side], 2);
                uint8_t want[8];
                c.Encode(sample, want);
                const uint8_t* got = &received[(size_t)(frame / 256) * 2 * half + side * half + (size_t)(frame % 256) * c.Bytes];
                ASSERT_EQ(std::memcmp(got, want, c.Bytes), 0) << "frame " << frame << " side " << side;
            }
        }
        SoundBuffer_Release(&sound);
        Sound_Terminate();
    }
}

// A driver announcing a new rate: the format and the mixer's output rate follow.
TEST_F(SoundAsioTest, SampleRateChangeReachesTheMixer)
{
    SoundWinState.UseAsio = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_EQ(SoundWinState.UseAsio, 1);
    ASSERT_EQ(ChangeRate(48000.0), 0);
    EXPECT_EQ(SoundWinState.OutputFormat.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(SoundWinState.OutputFormat.Format.nAvgBytesPerSec, 48000u * 4);
    EXPECT_EQ(SoundSystemState.Output.SamplesPerSec, 48000u);
    EXPECT_EQ(SoundSystemState.SoftwareOutputRate, 48000);
    // Nonsense from a driver changes nothing.
    ASSERT_EQ(ChangeRate(-1.0), 0);
    EXPECT_EQ(SoundSystemState.Output.SamplesPerSec, 48000u);
}

// Each failing step releases the driver and the choice loop opens the next output.
struct FailCase {
    const char* Name;
    void (*Break)(FakeAsio::Script* script);
    const wchar_t* Message;
    int Disposed;
};
void PrintTo(const FailCase& c, std::ostream* out) { *out << c.Name; }

const FailCase FailCases[] = {
    {"init", [](FakeAsio::Script* s) { s->InitResult = ASIOFalse; }, L"ASIOの初期化に失敗しました\n", 0},
    {"buffer_size", [](FakeAsio::Script* s) { s->BufferSizeResult = ASE_NotPresent; },
     L"ASIOの作成可能なバッファサイズの取得に失敗しました\n", 0},
    {"no_usable_size", [](FakeAsio::Script* s) { s->Minimum = s->Maximum = s->Preferred = 0; },
     L"ASIOの作成可能なバッファサイズの取得に失敗しました\n", 0},
    {"channel_info", [](FakeAsio::Script* s) { s->ChannelInfoResult = ASE_NotPresent; },
     L"ASIOのチャンネル情報の取得に失敗しました\n", 0},
    {"dsd_type", [](FakeAsio::Script* s) { s->SampleType = ASIOSTDSDInt8LSB1; }, L"ASIOのチャンネル情報の取得に失敗しました\n", 0},
    {"unknown_type", [](FakeAsio::Script* s) { s->SampleType = 5; }, L"ASIOのチャンネル情報の取得に失敗しました\n", 0},
    {"create_buffers", [](FakeAsio::Script* s) { s->CreateBuffersResult = ASE_NoMemory; }, L"ASIOのバッファー作成に失敗しました\n", 0},
    {"start", [](FakeAsio::Script* s) { s->StartResult = ASE_HWMalfunction; }, L"ASIOのサウンドの再生の開始に失敗しました\n", 1},
};

class SoundAsioFailTest : public SoundAsioTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(SoundAsioFailTest, FailingDriverFallsBackToTheNextOutput)
{
    const FailCase& c = GetParam();
    FakeAsio::Script script = DefaultScript();
    c.Break(&script);
    SetScript(&script);
    SoundWinState.UseAsio = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    ExpectFellBack();
    EXPECT_EQ(Record().DisposeCalls, c.Disposed);
    EXPECT_TRUE(LogHas(c.Message));
    // The output fallen back to mixes as usual.
    SoundBuffer sound;
    StartKnownSound(&sound, 22050);
    std::vector<uint8_t> block(64 * 4);
    EXPECT_EQ(Sound_Mixer_Render(block.data(), block.data() + 2, 4, 64), SoundSystemState.SoftwareMixing ? 0 : -1);
    SoundBuffer_Release(&sound);
}

INSTANTIATE_TEST_SUITE_P(Steps, SoundAsioFailTest, ::testing::ValuesIn(FailCases),
                         [](const ::testing::TestParamInfo<FailCase>& info) { return std::string(info.param.Name); });

// The buffer size: the preferred one, or a configured one kept inside the driver's range.
TEST_F(SoundAsioTest, BufferSizeFollowsTheConfigurationWithinTheDriversRange)
{
    const struct {
        int Configured, Size, Expected;
    } cases[] = {{0, 0, 256}, {1, 10, 64}, {1, 5000, 2048}, {1, 500, 500}, {1, -1, 256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        const FakeAsio::Script script = DefaultScript();
        SetScript(&script);
        SoundWinState.UseAsio = 1;
        SoundWinState.AsioConfigured = c.Configured;
        SoundWinState.AsioConfigBufferSize = c.Size;
        ASSERT_EQ(Sound_Initialize(), 0);
        EXPECT_EQ(SoundWinState.UseAsio, 1);
        EXPECT_EQ(SoundWinState.AsioBufferSize, c.Expected);
        EXPECT_EQ(Record().BufferSize, c.Expected);
        EXPECT_EQ(SoundWinState.AsioBufferMinimum, 64);
        EXPECT_EQ(SoundWinState.AsioBufferMaximum, 2048);
        Sound_Terminate();
    }
    EXPECT_TRUE(LogHas(L"\t使用するバッファサイズ : 500"));
}

// The rate: the configured one or 44,100 Hz is asked for, and whatever the driver then reports is
// the output's rate, also when it refused the request; a selected driver past the list is the last.
TEST_F(SoundAsioTest, OutputRateIsTheRateTheDriverReports)
{
    const struct {
        int ConfiguredRate;
        long SetResult;
        double Asked, Reported;
    } cases[] = {{0, ASE_OK, 44100.0, 44100.0}, {96000, ASE_OK, 96000.0, 96000.0}, {0, ASE_NoClock, 44100.0, 48000.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ConfiguredRate);
        FakeAsio::Script script = DefaultScript();
        script.SetRateResult = c.SetResult;
        SetScript(&script);
        SoundWinState.UseAsio = 1;
        SoundWinState.AsioConfigured = c.ConfiguredRate != 0;
        SoundWinState.AsioConfigRate = c.ConfiguredRate;
        SoundWinState.AsioSelected = 7;
        ASSERT_EQ(Sound_Initialize(), 0);
        EXPECT_EQ(SoundWinState.UseAsio, 1);
        EXPECT_EQ(SoundWinState.AsioSelected, 0);
        EXPECT_EQ(Record().RateSet, c.Asked);
        EXPECT_EQ(SoundWinState.OutputFormat.Format.nSamplesPerSec, (DWORD)c.Reported);
        EXPECT_EQ(SoundSystemState.SoftwareOutputRate, (int)c.Reported);
        Sound_Terminate();
        ClearAsioSettings();
    }
    EXPECT_TRUE(LogHas(L"ASIOのサンプルレートの設定に失敗しました"));
    EXPECT_TRUE(LogHas(L"\tサンプルレート : 48000.000"));
}

// Without the registry key there is no driver to open.
TEST_F(SoundAsioTest, NoDriverKeyFallsBack)
{
    Registry.Clear();
    SoundWinState.UseAsio = 1;
    ASSERT_EQ(Sound_Initialize(), 0);
    ExpectFellBack();
    EXPECT_EQ(SoundWinState.AsioDriverCount, 0);
    EXPECT_TRUE(LogHas(L"ASIOドライバがみつかりませんでした\n"));
}

// Drivers whose DLL is missing, or whose server is a folder, are skipped; at most 32 are listed.
TEST_F(SoundAsioTest, EnumerationListsAtMost32UsableDrivers)
{
    Registry.Clear();
    const std::wstring missing = L"{6A0C3E52-8D1B-4F47-9A21-5C3B7E90D4F2}";
    const std::wstring folder = L"{6A0C3E52-8D1B-4F47-9A21-5C3B7E90D4F3}";
    Registry.AddClass(FakeAsio::ClsidText, FakeDriverPath());
    Registry.AddClass(missing, TestFolder() + L"\\NoSuchDriver.dll");
    Registry.AddClass(folder, TestFolder());
    for (int i = 0; i < 35; i++) {
        wchar_t name[32];
        swprintf(name, 32, L"Driver %02d", i);
        const std::wstring clsid = i == 3 ? missing : i == 5 ? folder : std::wstring(FakeAsio::ClsidText);
        Registry.AddDriver(name, clsid, i == 0 ? L"The first driver" : nullptr);
    }
    WinAPI_EnsureLoaded();
    ASSERT_EQ(SoundWin_Asio_EnumerateDrivers(), 32);
    EXPECT_STREQ(SoundWinState.AsioDrivers[0].Name, L"The first driver");
    EXPECT_STREQ(SoundWinState.AsioDrivers[3].Name, L"Driver 04");
    EXPECT_STREQ(SoundWinState.AsioDrivers[4].Name, L"Driver 06");
    EXPECT_STREQ(SoundWinState.AsioDrivers[31].Name, L"Driver 33");
    for (int i = 0; i < 32; i++) EXPECT_TRUE(IsEqualCLSID(SoundWinState.AsioDrivers[i].Clsid, FakeAsio::Clsid)) << i;
    EXPECT_TRUE(LogHas(L"ASIOドライバNo.3 のドライバDllの存在が確認できませんでした"));
    EXPECT_FALSE(LogHas(L"ASIOドライバNo.5 のドライバDllの存在が確認できました"));
    EXPECT_FALSE(LogHas(L"ASIOドライバNo.34 のドライバキー名"));
}

}  // namespace
