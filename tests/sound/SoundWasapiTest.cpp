// WASAPI through an endpoint of the test's own (FakeWasapi): the exclusive-mode format search and its
// fall-back to shared mode, the retry walk over the formats with a fresh audio client each, the
// period adjustment inside that walk, the event-driven render thread, play positions that run on
// across a re-opening after a default-device change, and the audio clock never read after its
// release while the output is opened again.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmreg.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "../foundation/LogReadBack.h"
#include "FakeWasapi.h"
#include "SoundCaptureSupport.h"
#include "SoundMixTestSupport.h"
#include "sound/VtSound.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundMixer.h"
#include "sound/VtSoundWin.h"

using namespace Vantrel;

namespace {

const GUID SubtypeFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The exclusive-mode format table: container bits, valid bits, float.
struct Row {
    int Bits, Valid;
    bool Float;
};
const Row Rows[5] = {{16, 16, false}, {24, 24, false}, {32, 24, false}, {32, 32, false}, {32, 32, true}};
const int Rates[6] = {44100, 48000, 88200, 96000, 176400, 192000};

bool Is(const WAVEFORMATEXTENSIBLE& f, int rate, int row)
{
    return f.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && f.Format.nChannels == 2 && (int)f.Format.nSamplesPerSec == rate &&
           f.Format.wBitsPerSample == Rows[row].Bits && f.Samples.wValidBitsPerSample == Rows[row].Valid &&
           IsEqualGUID(f.SubFormat, SubtypeFloat) == Rows[row].Float &&
           f.Format.nBlockAlign == 2 * Rows[row].Bits / 8 && f.Format.nAvgBytesPerSec == (DWORD)(rate * 2 * Rows[row].Bits / 8);
}

bool LogHas(const wchar_t* text)
{
    std::wstring wanted = text;
    if (!wanted.empty() && wanted.back() == L'\n') wanted.insert(wanted.size() - 1, L"\r");
    return FoundationTest::ReadLog().find(wanted) != std::wstring::npos;
}

class SoundWasapiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SoundCapture::ResetSwitches();
        FoundationTest::StartFreshLog(L"SoundWasapiTest.txt");
    }
    void TearDown() override
    {
        Sound_Terminate();
        FakeWasapi::Uninstall();
        SoundCapture::ResetSwitches();
    }
    void Open(const FakeWasapi::Settings& settings, bool exclusive)
    {
        FakeWasapi::Install(settings);
        SoundWinState.WasapiExclusive = exclusive ? 1 : 0;
        ASSERT_EQ(Sound_Initialize(), 0);
        ASSERT_EQ(SoundWinState.OutputDevice, 1u);
        ASSERT_NE(SoundWinState.WasapiAudioClient, nullptr);
    }
    // Mixes frames into a block of the output format, as the render thread would.
    void Mix(int frames)
    {
        std::vector<uint8_t> block((size_t)frames * SoundSystemState.Output.BlockAlign);
        ASSERT_EQ(SoundWin_MixInto(block.data(), frames), 0);
    }
    SoundCapture::ComScope Com;
};

// A device that takes only 24-bit samples at 48 kHz in exclusive mode: after the wanted format
// (16 bits at 44.1 kHz) the search asks rate by rate, row by row, and opens the first one it accepts,
// event-driven, with that format published to the mixer.
TEST_F(SoundWasapiTest, ExclusiveSearchAsksRateByRateRowByRow)
{
    FakeWasapi::Settings settings;
    settings.ExclusiveSupported = [](const WAVEFORMATEXTENSIBLE& f) { return Is(f, 48000, 1); };
    Open(settings, true);
    const std::vector<WAVEFORMATEXTENSIBLE> asked = FakeWasapi::ExclusiveQueries();
    ASSERT_EQ(asked.size(), 8u);
    EXPECT_TRUE(Is(asked[0], 44100, 0));
    for (int row = 0; row < 5; row++) EXPECT_TRUE(Is(asked[1 + row], 44100, row)) << row;
    EXPECT_TRUE(Is(asked[6], 48000, 0));
    EXPECT_TRUE(Is(asked[7], 48000, 1));

    const std::vector<FakeWasapi::InitializeCall> calls = FakeWasapi::Initializations();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Mode, AUDCLNT_SHAREMODE_EXCLUSIVE);
    EXPECT_EQ(calls[0].Flags, (DWORD)AUDCLNT_STREAMFLAGS_EVENTCALLBACK);
    EXPECT_EQ(calls[0].Duration, 100000);
    EXPECT_EQ(calls[0].Periodicity, 100000);
    EXPECT_TRUE(Is(calls[0].Format, 48000, 1));
    EXPECT_EQ(SoundWinState.WasapiExclusive, 1);
    EXPECT_EQ(SoundSystemState.Output.SamplesPerSec, 48000u);
    EXPECT_EQ(SoundSystemState.Output.BitsPerSample, 24);
    EXPECT_EQ(SoundSystemState.Output.ValidBits, 24);
    EXPECT_EQ(SoundSystemState.Output.FloatFlag, 0);
    EXPECT_EQ(SoundSystemState.SoftwareOutputRate, 48000);
    EXPECT_NE(SoundWinState.WasapiEvent, nullptr);
    EXPECT_EQ(FakeWasapi::EventHandle(), SoundWinState.WasapiEvent);
    EXPECT_TRUE(LogHas(L"デバイスが指定のフォーマットに非対応だったため他のフォーマットでの初期化を試みます"));
    EXPECT_TRUE(LogHas(L"動作モード         : 排他モード"));
}

// No format at all in exclusive mode: the open fails without choosing DirectSound, and the choice
// loop's next pass opens the same endpoint in shared mode with its mix format.
TEST_F(SoundWasapiTest, ExclusiveWithoutAFormatFallsBackToSharedMode)
{
    FakeWasapi::Settings settings;
    Open(settings, true);
    EXPECT_EQ(FakeWasapi::ExclusiveQueries().size(), 31u) << "the wanted format, then all 30 of the table";
    EXPECT_EQ(SoundWinState.WasapiExclusive, 0);
    EXPECT_EQ(SoundWinState.UseDirectSoundFamily, 0);
    EXPECT_EQ(SoundWinState.WasapiEvent, nullptr);
    const std::vector<FakeWasapi::InitializeCall> calls = FakeWasapi::Initializations();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Mode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(calls[0].Flags, 0u);
    EXPECT_EQ(calls[0].Periodicity, 0);
    EXPECT_EQ(std::memcmp(&calls[0].Format, &FakeWasapi::Current().MixFormat, sizeof(WAVEFORMATEXTENSIBLE)), 0);
    EXPECT_EQ(SoundSystemState.Output.FloatFlag, 1);
    EXPECT_EQ(SoundSystemState.Output.SamplesPerSec, 48000u);
    EXPECT_TRUE(LogHas(L"WASAPI の排他モードがサポートするフォーマットが見つかりませんでした\n"));
    EXPECT_TRUE(LogHas(L"排他モードの初期化に失敗したので共有モードの初期化を試行します\n"));
    EXPECT_TRUE(LogHas(L"動作モード         : 共有モード"));
}

// Initialize refuses every format but 32-bit integers at 48 kHz: the walk tries row 0 at 44.1 kHz
// first, then row by row and rate by rate, each format once on a freshly activated client, and
// the format that opened is the one the mixer writes.
TEST_F(SoundWasapiTest, ExclusiveRetryWalkTriesEachFormatOnceOnAFreshClient)
{
    FakeWasapi::Settings settings;
    settings.ExclusiveSupported = [](const WAVEFORMATEXTENSIBLE&) { return true; };
    settings.InitializeResult = [](const FakeWasapi::InitializeCall& call) {
        return Is(call.Format, 48000, 3) ? S_OK : AUDCLNT_E_DEVICE_IN_USE;
    };
    Open(settings, true);
    const std::vector<FakeWasapi::InitializeCall> calls = FakeWasapi::Initializations();
    ASSERT_EQ(calls.size(), 10u) << "the wanted format, then five rows at 44.1 kHz and four at 48 kHz";
    EXPECT_TRUE(Is(calls[0].Format, 44100, 0)) << "the wanted format";
    for (int i = 1; i < 10; i++) {
        const int candidate = i - 1;
        EXPECT_TRUE(Is(calls[i].Format, Rates[candidate / 5], candidate % 5)) << "call " << i;
        EXPECT_EQ(calls[i].Client, i + 1) << "a fresh client for each format";
        EXPECT_EQ(calls[i].Mode, AUDCLNT_SHAREMODE_EXCLUSIVE);
    }
    EXPECT_EQ(FakeWasapi::Activations(), 10);
    EXPECT_EQ(SoundWinState.WasapiExclusive, 1);
    EXPECT_EQ(SoundSystemState.Output.BitsPerSample, 32);
    EXPECT_EQ(SoundSystemState.Output.ValidBits, 32);
    EXPECT_EQ(SoundSystemState.Output.FloatFlag, 0);
    EXPECT_EQ(SoundSystemState.Output.SamplesPerSec, 48000u);
    EXPECT_TRUE(LogHas(L"フォーマットに変更があったためフォーマット情報を再出力"));
}

// Every format refused: after the last candidate the exclusive fall-back, and shared mode opens.
TEST_F(SoundWasapiTest, ExclusiveRetryWalkUsedUpFallsBackToSharedMode)
{
    FakeWasapi::Settings settings;
    settings.ExclusiveSupported = [](const WAVEFORMATEXTENSIBLE&) { return true; };
    settings.InitializeResult = [](const FakeWasapi::InitializeCall& call) {
        return call.Mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? AUDCLNT_E_DEVICE_IN_USE : S_OK;
    };
    Open(settings, true);
    const std::vector<FakeWasapi::InitializeCall> calls = FakeWasapi::Initializations();
    ASSERT_EQ(calls.size(), 32u) << "the wanted format, 30 candidates, then shared mode";
    EXPECT_EQ(calls.back().Mode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(SoundWinState.WasapiExclusive, 0);
    wchar_t failure[96];
    swprintf(failure, 96, L"オーディオクライアントの初期化に失敗しました　エラーコード：%08x", (unsigned)AUDCLNT_E_DEVICE_IN_USE);
    EXPECT_TRUE(LogHas(failure));
    EXPECT_TRUE(LogHas(L"排他モードでの初期化に失敗したので共有モードでの初期化を試行します\n"));
}

// A candidate of the walk whose period the device wants aligned: the period is adjusted once, the
// same format opens on a fresh client, and it is that format (not the one asked for first) that
// the mixer writes.
TEST_F(SoundWasapiTest, AlignedPeriodInsideTheWalkKeepsTheFormatThatOpened)
{
    FakeWasapi::Settings settings;
    settings.BufferFrames = 448;
    settings.ExclusiveSupported = [](const WAVEFORMATEXTENSIBLE&) { return true; };
    settings.InitializeResult = [](const FakeWasapi::InitializeCall& call) {
        if (!Is(call.Format, 44100, 1)) return AUDCLNT_E_DEVICE_IN_USE;
        return call.Duration == 100000 ? AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED : S_OK;
    };
    Open(settings, true);
    const std::vector<FakeWasapi::InitializeCall> calls = FakeWasapi::Initializations();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(Is(calls[0].Format, 44100, 0));
    EXPECT_TRUE(Is(calls[1].Format, 44100, 0));
    EXPECT_TRUE(Is(calls[2].Format, 44100, 1));
    EXPECT_TRUE(Is(calls[3].Format, 44100, 1));
    EXPECT_EQ(calls[3].Duration, 101587) << "448 frames at 44.1 kHz, in 100 ns units";
    EXPECT_EQ(calls[3].Client, 4);
    EXPECT_EQ(SoundSystemState.Output.BitsPerSample, 24) << "the mixer writes the format that opened";
    EXPECT_EQ(SoundSystemState.Output.BlockAlign, 6);
    EXPECT_TRUE(LogHas(L"オーディオクライアントの初期化が AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED エラーで失敗しました、遅延時間を調整します"));
}

// Exclusive mode is event-driven: each time the device signals, the render thread (not the caller)
// takes the whole endpoint buffer and the mixer fills it; without a signal nothing is written.
TEST_F(SoundWasapiTest, EventThreadFillsTheWholeBufferOnEachSignal)
{
    FakeWasapi::Settings settings;
    settings.BufferFrames = 441;
    settings.ExclusiveSupported = [](const WAVEFORMATEXTENSIBLE& f) { return Is(f, 44100, 0); };
    Open(settings, true);
    ASSERT_NE(FakeWasapi::EventHandle(), nullptr);
    ASSERT_EQ(SoundSystemState.Output.BitsPerSample, 16);

    std::vector<int16_t> samples(2 * 2000);
    for (size_t i = 0; i < samples.size(); i++) samples[i] = (int16_t)(i * 37 % 20000 - 10000);
    SoundBuffer buffer;
    SoundMixTest::MakeBuffer(&buffer, SoundMixTest::PcmFormat(2, 16, 44100), SoundMixTest::Pcm16(samples));
    ASSERT_EQ(SoundBuffer_Start(&buffer, 0), 0);

    const LONG before = FakeWasapi::RenderCalls();
    Sleep(100);
    EXPECT_EQ(FakeWasapi::RenderCalls(), before) << "no signal, no block";
    for (int block = 0; block < 2; block++) {
        SCOPED_TRACE(block);
        const LONG calls = FakeWasapi::RenderCalls();
        ASSERT_TRUE(SetEvent(FakeWasapi::EventHandle()));
        for (int waited = 0; waited < 10000 && FakeWasapi::RenderCalls() == calls; waited += 2) Sleep(2);
        ASSERT_EQ(FakeWasapi::RenderCalls(), calls + 1);
        EXPECT_NE(FakeWasapi::RenderThread(), GetCurrentThreadId());
        EXPECT_EQ(FakeWasapi::LastRenderedFrames(), 441u);
        const std::vector<uint8_t> rendered = FakeWasapi::LastRendered();
        ASSERT_EQ(rendered.size(), 441u * 4);
        EXPECT_EQ(std::memcmp(rendered.data(), samples.data() + (size_t)block * 441 * 2, rendered.size()), 0);
    }
    SoundBuffer_Release(&buffer);
}

// Play positions come from the audio clock, which starts again at 0 when the output is opened
// again after a default-device change: a buffer started before the change, and one started after
// it, both report the time they have played.
TEST_F(SoundWasapiTest, PositionsRunOnAcrossAReopening)
{
    FakeWasapi::Settings settings;
    Open(settings, false);
    ASSERT_EQ(SoundSystemState.SoftwareOutputRate, 48000);
    Mix(48000);
    FakeWasapi::SetClockFrames(48000);

    SoundBuffer first;
    SoundMixTest::MakeBuffer(&first, SoundMixTest::PcmFormat(1, 16, 44100), std::vector<uint8_t>(3 * 44100 * 2, 1));
    ASSERT_EQ(SoundBuffer_Start(&first, 0), 0);
    Mix(24000);
    FakeWasapi::SetClockFrames(72000);
    int32_t play = -1;
    ASSERT_EQ(SoundBuffer_GetPosition(&first, &play, nullptr), 0);
    EXPECT_EQ(play, 22050 * 2);

    ASSERT_NE(FakeWasapi::Notification(), nullptr);
    FakeWasapi::Notification()->OnDefaultDeviceChanged(eRender, eConsole, L"{1}");
    EXPECT_EQ(Sound_ProcessDeviceChange(), 0);
    EXPECT_EQ(FakeWasapi::Activations(), 2) << "opened again";
    Mix(4800);
    FakeWasapi::SetClockFrames(4800);
    ASSERT_EQ(SoundBuffer_GetPosition(&first, &play, nullptr), 0);
    EXPECT_EQ(play, 26460 * 2) << "0.6 s played";

    SoundBuffer second;
    SoundMixTest::MakeBuffer(&second, SoundMixTest::PcmFormat(1, 16, 44100), std::vector<uint8_t>(44100 * 2, 1));
    ASSERT_EQ(SoundBuffer_Start(&second, 0), 0);
    Mix(2400);
    FakeWasapi::SetClockFrames(7200);
    ASSERT_EQ(SoundBuffer_GetPosition(&second, &play, nullptr), 0);
    EXPECT_EQ(play, 2205 * 2) << "50 ms played";
    ASSERT_EQ(SoundBuffer_GetPosition(&first, &play, nullptr), 0);
    EXPECT_EQ(play, 28665 * 2);
    SoundBuffer_Release(&first);
    SoundBuffer_Release(&second);
}

// The processing thread reads the audio clock for play positions while the main thread opens the
// output again: the old clock is released only once no reader is inside it.
struct PositionReader {
    SoundBuffer* Buffer;
    volatile LONG Stop;
};

DWORD WINAPI ReadPositions(LPVOID parameter)
{
    PositionReader* reader = (PositionReader*)parameter;
    int32_t play = 0;
    while (InterlockedCompareExchange(&reader->Stop, 0, 0) == 0) SoundBuffer_GetPosition(reader->Buffer, &play, nullptr);
    return 0;
}

TEST_F(SoundWasapiTest, ClockIsNeverReadAfterItsRelease)
{
    FakeWasapi::Settings settings;
    settings.ClockCallMilliseconds = 1;
    Open(settings, false);
    SoundBuffer buffer;
    SoundMixTest::MakeBuffer(&buffer, SoundMixTest::PcmFormat(1, 16, 48000), std::vector<uint8_t>(48000 * 2, 1));
    ASSERT_EQ(SoundBuffer_Start(&buffer, 1), 0);
    PositionReader reading = {&buffer, 0};
    HANDLE reader = CreateThread(nullptr, 0, ReadPositions, &reading, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(FakeWasapi::Notification(), nullptr);
    for (int i = 0; i < 40; i++) {
        FakeWasapi::Notification()->OnDefaultDeviceChanged(eRender, eConsole, L"{1}");
        Sound_ProcessDeviceChange();
        Sleep(1);
    }
    InterlockedExchange(&reading.Stop, 1);
    EXPECT_EQ(WaitForSingleObject(reader, 10000), WAIT_OBJECT_0);
    CloseHandle(reader);
    EXPECT_EQ(FakeWasapi::Activations(), 41);
    EXPECT_EQ(FakeWasapi::ClockCallsAfterRelease(), 0);
    SoundBuffer_Release(&buffer);
}

}  // namespace
