// The platform converters that decode through system components: MP3 through a DirectShow graph of the
// library's own filters and the system's decoder, and Media Foundation's source reader over the
// library's byte stream. Each decodes the MP3 with every other converter disabled and must match the
// ACM converter's PCM (correlation at least 0.99 at the best alignment, RMS difference below 1% of full
// scale); seeks and the jump back to a loop start land on the right sample; damaged copies end with
// -1 and never hang. Media Foundation also decodes a lossless FLAC file (exactly the source's PCM).
// The byte stream's COM rules, its read thread and the once-per-process start-up are checked with
// fakes in the system function table. The DirectShow graph needs the system's audio renderer to build,
// so its cases run where a sound device exists (the device run) and skip themselves elsewhere.
#include <gtest/gtest.h>

#include <memory>

#include "SoundCaptureSupport.h"
#include "SoundConvertTestSupport.h"
#include "../foundation/LogReadBack.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "movie/VtMovieMediaFoundation.h"
#include "sound/VtSoundConvertDSMP3.h"
#include "sound/VtSoundConvertMF.h"
#include "sound/VtSoundHandle.h"

using namespace Vantrel;
using namespace SoundTest;

namespace {

// Every converter but the one given.
int32_t Only(int32_t converter) { return ~converter; }

struct Decoded {
    int Result = -1;
    int32_t Kind = -1;
    WAVEFORMATEX Format = {};
    int64_t Total = 0;
    Bytes Pcm;
};

Decoded DecodeWith(const Bytes& file, int32_t disable)
{
    Decoded out;
    MemorySource source(file);
    SoundConvertRecord record = {};
    out.Result = SoundConvert_Setup(&record, source.Get(), disable, 2, 0);
    if (out.Result != 0) return out;
    out.Kind = record.Kind;
    SoundConvert_GetOutputFormat(&record, &out.Format);
    out.Total = SoundConvert_GetTotalBytes(&record);
    out.Pcm = RunToEnd(&record, 7000);
    SoundConvert_Close(&record);
    return out;
}

// The best correlation of a against b over lags of up to range frames, and that lag (b's offset).
struct Match {
    double Correlation = 0;
    ptrdiff_t Lag = 0;
    double RmsDifference = 0;
};

Match BestMatch(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int range)
{
    Match best;
    best.Correlation = -2;
    for (int lag = -range; lag <= range; ++lag) {
        double ab = 0, aa = 0, bb = 0, dd = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            ptrdiff_t j = ptrdiff_t(i) + ptrdiff_t(lag) * channels;
            if (j < 0 || size_t(j) >= b.size()) continue;
            ab += double(a[i]) * b[size_t(j)];
            aa += double(a[i]) * a[i];
            bb += double(b[size_t(j)]) * b[size_t(j)];
            dd += (double(a[i]) - b[size_t(j)]) * (double(a[i]) - b[size_t(j)]);
        }
        double c = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
        if (c > best.Correlation) {
            best.Correlation = c;
            best.Lag = ptrdiff_t(lag);
            best.RmsDifference = std::sqrt(dd / double(a.size()));
        }
    }
    return best;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& all, size_t from, size_t count)
{
    if (from >= all.size()) return {};
    return std::vector<int16_t>(all.begin() + ptrdiff_t(from), all.begin() + ptrdiff_t(std::min(all.size(), from + count)));
}

// The two converters under test, with what tells them apart.
struct PlatformConverter {
    const char* Name;
    int32_t Flag;
    int32_t Kind;
    bool NeedsDevice;  // the DirectShow graph builds only with an audio renderer present
};
const PlatformConverter Converters[] = {
    {"DirectShow", SoundConvertDisable_Mp3DirectShow, SoundConvertKind_Mp3DirectShow, true},
    {"MediaFoundation", SoundConvertDisable_MediaFoundation, SoundConvertKind_MediaFoundation, false},
};

bool Usable(const PlatformConverter& converter)
{
    return !converter.NeedsDevice || !SoundCapture::CapturePath().empty();
}

class SoundConvertPlatform : public ::testing::Test {
protected:
    static void SetUpTestSuite() { acmReady = SoundConvertWin_Initialize() == 0; }
    static bool acmReady;
    SoundCapture::ComScope com;
};
bool SoundConvertPlatform::acmReady = false;

}  // namespace

TEST_F(SoundConvertPlatform, Mp3DecodesLikeAcmSeeksAndLoopsThroughEachConverter)
{
    const Bytes file = ReadFixture("mp3.mp3");
    ASSERT_FALSE(file.empty());
    // The ACM converter's PCM is the reference; lame's own decoding where ACM is missing.
    std::vector<int16_t> reference;
    if (acmReady) {
        Decoded acm = DecodeWith(file, Only(SoundConvertDisable_Mp3Acm));
        ASSERT_EQ(0, acm.Result);
        reference = AsSamples16(acm.Pcm);
    } else {
        for (double s : ReadReferenceWave(ReadFixture("mp3.ref.wav")).Samples) reference.push_back(int16_t(s));
    }
    ASSERT_GT(reference.size(), 200000u);
    int tried = 0;
    for (const PlatformConverter& converter : Converters) {
        SCOPED_TRACE(converter.Name);
        if (!Usable(converter)) continue;
        ++tried;
        MemorySource source(file);
        SoundConvertRecord record = {};
        ASSERT_EQ(0, SoundConvert_Setup(&record, source.Get(), Only(converter.Flag), 2, 0));
        EXPECT_EQ(converter.Kind, record.Kind);
        WAVEFORMATEX f;
        SoundConvert_GetOutputFormat(&record, &f);
        EXPECT_EQ(WAVE_FORMAT_PCM, f.wFormatTag);
        EXPECT_EQ(2, f.nChannels);
        EXPECT_EQ(44100u, f.nSamplesPerSec);
        EXPECT_EQ(16, f.wBitsPerSample);
        EXPECT_EQ(4, f.nBlockAlign);
        EXPECT_EQ(176400u, f.nAvgBytesPerSec);
        const int64_t total = SoundConvert_GetTotalBytes(&record);
        std::vector<int16_t> all = AsSamples16(RunToEnd(&record, 7000));
        EXPECT_EQ(1, SoundConvert_IsEnd(&record));
        // 3 s of sound: the decoders differ only in the start delay and padding they keep.
        const int64_t frames = int64_t(all.size() / 2);
        EXPECT_GE(frames, 132300 - 2400);
        EXPECT_LE(frames, 132300 + 4000);
        EXPECT_NEAR(double(total), double(all.size() * 2), 4 * 4000.0);
        Match m = BestMatch(Slice(all, 40000, 20000), Slice(reference, 40000 - 6000, 32000), 2, 3000);
        RecordProperty(std::string(converter.Name) + "Correlation", std::to_string(m.Correlation));
        EXPECT_GT(m.Correlation, 0.99);
        EXPECT_LT(m.RmsDifference, 327.0);

        // Seeks, and the jump back to a loop start after the end, land on the sample asked for.
        SoundConvert_SetLoopStartSample(&record, 44100);
        for (int64_t sample : {int64_t(70000), int64_t(3000), int64_t(44100), int64_t(0), int64_t(100000)}) {
            SCOPED_TRACE(sample);
            SoundConvert_SetSampleTime(&record, sample);
            EXPECT_EQ(0, SoundConvert_IsEnd(&record));
            std::vector<int16_t> part = AsSamples16(RunToEnd(&record, 8000, 8000));
            ASSERT_EQ(4000u, part.size());
            std::vector<int16_t> expected = Slice(all, size_t(sample) * 2, 4000);
            Match at = BestMatch(part, Slice(all, size_t(sample) * 2 > 200 ? size_t(sample) * 2 - 200 : 0, 4400), 2,
                                 100);
            EXPECT_EQ(sample * 2 > 200 ? 100 : 0, at.Lag) << "the seek lands " << (at.Lag - 100) << " frames off";
            if (converter.Kind == SoundConvertKind_Mp3DirectShow) {
                EXPECT_EQ(expected, part);
            } else {
                EXPECT_GT(at.Correlation, 0.99);
            }
            if (sample == 100000) {
                // Played to the end, the stream goes back to its loop start.
                RunToEnd(&record, 7000);
                EXPECT_EQ(1, SoundConvert_IsEnd(&record));
                SoundConvert_SetSampleTime(&record, 44100);
                std::vector<int16_t> looped = AsSamples16(RunToEnd(&record, 8000, 8000));
                Match loop = BestMatch(looped, Slice(all, 44100 * 2 - 200, 4400), 2, 100);
                EXPECT_EQ(100, loop.Lag);
                EXPECT_GT(loop.Correlation, 0.99);
            }
        }
        // Whole conversion gives the same PCM.
        void* data = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(0, SoundConvert_ConvertWhole(&record, nullptr, &data, &size));
        EXPECT_LE(int64_t(size), total);
        EXPECT_GT(int64_t(size), total - 8 * 4608);
        EXPECT_EQ(0, memcmp(data, all.data(), std::min<size_t>(size, all.size() * 2) / 2)) << "the first half";
        Memory_Free(data);
        EXPECT_EQ(0, SoundConvert_Close(&record));
    }
    if (tried < 2) RecordProperty("DirectShowSkipped", "no audio renderer outside the device run");
}

// A second format through Media Foundation: FLAC is lossless, so the PCM is exactly the source's.
TEST_F(SoundConvertPlatform, MediaFoundationDecodesFlacExactly)
{
    const Bytes file = ReadFixture("flac.flac");
    const Bytes raw = ReadFixture("src16.raw");
    ASSERT_FALSE(file.empty());
    MemorySource source(file);
    SoundConvertRecord record = {};
    ASSERT_EQ(0, SoundConvert_Setup(&record, source.Get(), Only(SoundConvertDisable_MediaFoundation), 2, 0));
    EXPECT_EQ(SoundConvertKind_MediaFoundation, record.Kind);
    EXPECT_EQ(4096, record.StagingSize);
    EXPECT_EQ(int64_t(raw.size()), SoundConvert_GetTotalBytes(&record));
    Bytes all = RunToEnd(&record, 5000);
    ASSERT_EQ(raw.size(), all.size());
    EXPECT_TRUE(all == raw);
    for (int64_t sample : {int64_t(123457), int64_t(1), int64_t(66150)}) {
        SoundConvert_SetSampleTime(&record, sample);
        Bytes part = RunToEnd(&record, 4000, 4000);
        ASSERT_EQ(4000u, part.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), raw.begin() + sample * 4)) << "seek to " << sample;
    }
    EXPECT_EQ(0, SoundConvert_Close(&record));
}

// Damaged copies: nothing an MP3 decoder can take gives -1 (the DirectShow converter logs why), a
// copy that still holds frames decodes to a bounded length; no crash and no hang either way.
TEST_F(SoundConvertPlatform, DamagedMp3CopiesFailCleanly)
{
    const Bytes file = ReadFixture("part44.mp3");
    ASSERT_GT(file.size(), 4000u);
    Bytes garbage(3000);
    uint32_t seed = 99;
    for (uint8_t& b : garbage) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    Bytes noSync = file;  // every frame sync destroyed
    for (uint8_t& b : noSync) if (b == 0xFF) b = 0x7F;
    struct Case {
        const char* Name;
        Bytes Copy;
        bool MustFail;
    };
    FoundationTest::StartFreshLog(L"SoundConvertPlatform.log");
    const Case cases[] = {
        {"three bytes", Bytes(file.begin(), file.begin() + 3), true},
        {"garbage", garbage, true},
        {"no frame sync", noSync, true},
        {"cut in half", Bytes(file.begin(), file.begin() + ptrdiff_t(file.size() / 2)), false},
        {"flipped header bytes", [&] { Bytes c = file; for (int i = 0; i < 400; i += 7) c[size_t(i)] ^= 0x5A; return c; }(),
         false},
    };
    for (const PlatformConverter& converter : Converters) {
        SCOPED_TRACE(converter.Name);
        if (!Usable(converter)) continue;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.Name);
            GuardedBlock block(c.Copy);
            MemorySource source(block.Data(), block.Size());
            SoundConvertRecord record = {};
            const std::wstring logBefore = FoundationTest::ReadLog();
            const DWORD started = GetTickCount();
            int result = SoundConvert_Setup(&record, source.Get(), Only(converter.Flag), 2, 0);
            EXPECT_LT(GetTickCount() - started, 60000u);
            if (c.MustFail) {
                EXPECT_EQ(-1, result);
            }
            if (result != 0) {
                EXPECT_EQ(0, record.Initialized);
                if (converter.Kind == SoundConvertKind_Mp3DirectShow) {
                    // The DirectShow converter says why in the log.
                    std::wstring added = FoundationTest::ReadLog().substr(logBefore.size());
                    EXPECT_TRUE(added.find(L"失敗") != std::wstring::npos || added.find(L"MP3変換") != std::wstring::npos ||
                                added.find(L"音声") != std::wstring::npos || added.find(L"サポート外") != std::wstring::npos)
                        << "log: " << std::string(added.begin(), added.end());
                }
                continue;
            }
            Bytes all = RunToEnd(&record, 8192, 4 << 20);
            EXPECT_GT(all.size(), 0u) << "accepted, so it holds sound";
            EXPECT_LE(all.size(), size_t(2 * 44100 * 2 * 2)) << "no more than the clean file holds";
            SoundConvert_SetSampleTime(&record, 1000);
            RunToEnd(&record, 4096, 65536);
            EXPECT_EQ(0, SoundConvert_Close(&record));
        }
    }
}

// The byte stream's COM rules: IUnknown is the object itself, attributes answer their own IID, writes
// are not offered, and while an asynchronous read is pending a synchronous read fails and a seek keeps
// the position.
TEST_F(SoundConvertPlatform, ByteStreamFollowsComRulesAndGuardsAPendingRead)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.MFCreateAttributes == nullptr) GTEST_SKIP() << "no Media Foundation";
    ASSERT_EQ(0, MovieWin_StartupMediaFoundation());
    Bytes data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    MemorySource source(data);
    Stream stream = *source.Get();
    D_SoundConvertMFByteStream* bytes = SoundConvertMF_CreateByteStream(&stream, int64_t(data.size()));
    ASSERT_NE(nullptr, bytes);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, bytes->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IMFByteStream*>(bytes)), identity);
    identity->Release();
    IMFAttributes* attributes = nullptr;
    EXPECT_EQ(S_OK, bytes->QueryInterface(IID_IMFAttributes, reinterpret_cast<void**>(&attributes)));
    ASSERT_NE(nullptr, attributes);
    attributes->Release();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, bytes->QueryInterface(IID_IMFMediaSource, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_INVALIDARG, bytes->QueryInterface(IID_IUnknown, nullptr));
    DWORD caps = 0;
    EXPECT_EQ(S_OK, bytes->GetCapabilities(&caps));
    EXPECT_EQ(5u, caps);
    ULONG written = 0;
    EXPECT_EQ(E_NOTIMPL, bytes->Write(data.data(), 1, &written));
    EXPECT_EQ(E_NOTIMPL, bytes->SetLength(5));
    EXPECT_EQ(E_NOTIMPL, bytes->Flush());

    // The callback is held back until the test has tried the stream while the read is pending.
    struct HeldCallback : IMFAsyncCallback {
        HANDLE Go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HANDLE Done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        D_SoundConvertMFByteStream* Stream = nullptr;
        ULONG Read = 0;
        HRESULT EndResult = E_PENDING;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
        {
            if (iid == IID_IUnknown || iid == IID_IMFAsyncCallback) {
                *object = this;
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
        HRESULT STDMETHODCALLTYPE GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Invoke(IMFAsyncResult* result) override
        {
            WaitForSingleObject(Go, 10000);
            EndResult = Stream->EndRead(result, &Read);
            SetEvent(Done);
            return S_OK;
        }
    } callback;
    callback.Stream = bytes;
    QWORD position = 0;
    ASSERT_EQ(S_OK, bytes->Seek(msoBegin, 1000, 0, &position));
    EXPECT_EQ(1000u, position);
    Bytes into(3000);
    ASSERT_EQ(S_OK, bytes->BeginRead(into.data(), 3000, &callback, nullptr));
    uint8_t one[4];
    ULONG got = 0;
    EXPECT_EQ(E_FAIL, bytes->Read(one, 4, &got));
    EXPECT_EQ(E_FAIL, bytes->BeginRead(one, 4, &callback, nullptr));
    EXPECT_EQ(S_OK, bytes->Seek(msoBegin, 0, 0, nullptr)) << "a seek while a read is pending succeeds";
    EXPECT_EQ(E_INVALIDARG, bytes->Seek(MFBYTESTREAM_SEEK_ORIGIN(2), 0, 0, nullptr));
    SetEvent(callback.Go);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(callback.Done, 10000));
    EXPECT_EQ(S_OK, callback.EndResult);
    EXPECT_EQ(3000u, callback.Read);
    EXPECT_TRUE(std::equal(into.begin(), into.end(), data.begin() + 1000)) << "read from where it began";
    ASSERT_EQ(S_OK, bytes->GetCurrentPosition(&position));
    EXPECT_EQ(4000u, position) << "the seek during the read moved nothing";
    EXPECT_EQ(S_OK, bytes->Read(one, 4, &got));
    EXPECT_EQ(4u, got);
    EXPECT_EQ(0, memcmp(one, data.data() + 4000, 4));
    BOOL end = TRUE;
    EXPECT_EQ(S_OK, bytes->IsEndOfStream(&end));
    EXPECT_FALSE(end);
    EXPECT_EQ(0u, bytes->Release());
    CloseHandle(callback.Go);
    CloseHandle(callback.Done);
}

// Failures at the platform edge: a read thread that cannot be made fails the byte stream and the
// converter; a failed start-up of Media Foundation fails the set-up and is tried again next time.
TEST_F(SoundConvertPlatform, ThreadAndStartupFailuresFailTheSetupAndAreRetried)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.MFStartup == nullptr) GTEST_SKIP() << "no Media Foundation";
    const Bytes file = ReadFixture("flac.flac");
    const int32_t onlyMF = Only(SoundConvertDisable_MediaFoundation);

    static int startups;
    static decltype(WinAPITable.MFStartup) realStartup;
    startups = 0;
    realStartup = WinAPITable.MFStartup;
    MovieWin_ShutdownMediaFoundation();
    WinAPITable.MFStartup = [](ULONG, DWORD) -> HRESULT {
        ++startups;
        return E_FAIL;
    };
    EXPECT_EQ(-1, DecodeWith(file, onlyMF).Result);
    EXPECT_EQ(-1, DecodeWith(file, onlyMF).Result);
    EXPECT_EQ(2, startups) << "a failed start-up is tried again";
    EXPECT_EQ(0, MovieWin_IsMediaFoundationStarted());
    WinAPITable.MFStartup = [](ULONG version, DWORD flags) -> HRESULT {
        ++startups;
        return realStartup(version, flags);
    };
    EXPECT_EQ(0, DecodeWith(file, onlyMF).Result);
    EXPECT_EQ(0, DecodeWith(file, onlyMF).Result);
    EXPECT_EQ(3, startups) << "once started, never again";
    EXPECT_EQ(1, MovieWin_IsMediaFoundationStarted());
    WinAPITable.MFStartup = realStartup;

    auto realCreateThread = WinAPITable.CreateThread;
    WinAPITable.CreateThread = [](LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                                  LPDWORD) -> HANDLE { return nullptr; };
    MemorySource source(file);
    Stream stream = *source.Get();
    EXPECT_EQ(nullptr, SoundConvertMF_CreateByteStream(&stream, int64_t(file.size())));
    EXPECT_EQ(-1, DecodeWith(file, onlyMF).Result);
    WinAPITable.CreateThread = realCreateThread;
    EXPECT_EQ(0, DecodeWith(file, onlyMF).Result);
}

// A sound handle loaded from the MP3 with only these converters plays: the capture of the device run
// holds the tone's sound.
class SoundDeviceMp3Test : public SoundCapture::SoundDeviceFixture {};

TEST_F(SoundDeviceMp3Test, Mp3SoundHandlePlaysThroughEachConverter)
{
    const std::string path = std::string(VT_SOUND_FIXTURE_DIR) + "/mp3.mp3";
    std::wstring windowsPath = L"Z:";
    for (char ch : path) windowsPath.push_back(ch == '/' ? L'\\' : wchar_t(uint8_t(ch)));
    for (const PlatformConverter& converter : Converters) {
        SCOPED_TRACE(converter.Name);
        DeleteFileA(CapturePathWindows().c_str());
        SoundCapture::ResetSwitches();
        SoundWinState.UseDirectSoundFamily = 1;
        ASSERT_EQ(0, Sound_Initialize());
        SoundLoadParam param;
        Sound_LoadParam_Init(&param);
        param.ConvertDisableFlags = Only(converter.Flag);
        HandleValue handle = LoadSoundFromFileWithParam(&param, windowsPath.c_str(), 1, -1, 0, 0);
        ASSERT_GE(handle, 0);
        EXPECT_NEAR(double(GetSoundSampleCount(handle, 0)), 132300.0, 4000.0);
        ASSERT_EQ(0, StartSoundPlayback(handle, SoundPlayType_Back, 1));
        for (int waited = 0; waited < 10000 && IsSoundPlaying(handle) == 1; waited += 20) Sleep(20);
        EXPECT_EQ(0, IsSoundPlaying(handle));
        Sleep(200);
        Handle_Delete(handle, 0, 0);
        Sound_Terminate();
        SoundCapture::Capture capture;
        ASSERT_TRUE(SoundCapture::ReadCapture(SoundCapture::CapturePath(), &capture));
        double peak = 0;
        for (double v : capture.Left) peak = std::max(peak, std::fabs(v));
        // The source mixes two sines at 0.45 of full scale.
        EXPECT_GT(peak, 0.3);
        SoundCapture::ToneFigures figures = SoundCapture::MeasureTone(capture.Left, capture.Rate);
        EXPECT_NEAR(figures.Seconds, 3.0, 0.3);
    }
}

namespace {

// A media sample over a block of bytes, as the grabber hands samples to its callback.
struct BlockSample : D_IMediaSample {
    BYTE* Data;
    long Length;
    BlockSample(BYTE* data, long length) : Data(data), Length(length) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override
    {
        *buffer = Data;
        return S_OK;
    }
    long STDMETHODCALLTYPE GetSize() override { return Length; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
    long STDMETHODCALLTYPE GetActualDataLength() override { return Length; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) override
    {
        Length = length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** type) override
    {
        *type = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
};

}  // namespace

// The PCM collection grows in 1 MiB steps and keeps every byte; PCM that would pass what the sizes
// can count lets the buffer go (the set-up then fails with its log line) instead of wrapping.
TEST(SoundConvertDSMP3Collect, GrowsInMebibyteStepsAndRefusesWhatCannotFit)
{
    SoundConvertRecord record = {};
    SoundConvertDSMP3Area* area = SoundConvert_Area<SoundConvertDSMP3Area>(&record);
    area->PcmBuffer = static_cast<uint8_t*>(Memory_Allocate(1000, __FILE__, __LINE__));
    area->Capacity = 1000;
    std::vector<BYTE> block(700000);
    Bytes expected;
    for (int round = 0; round < 4; ++round) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = BYTE(i * 13 + round);
        BlockSample sample(block.data(), long(block.size()));
        EXPECT_EQ(S_OK, SoundConvert_DSMP3_SampleCallback(&sample, nullptr, nullptr, FALSE, &record));
        expected.insert(expected.end(), block.begin(), block.end());
    }
    ASSERT_NE(nullptr, area->PcmBuffer);
    EXPECT_EQ(int32_t(expected.size()), area->PcmSize);
    EXPECT_EQ(1000 + 3 * 1048576, area->Capacity) << "2.8 MB collected in 1 MiB steps from 1,000 bytes";
    EXPECT_EQ(0, memcmp(area->PcmBuffer, expected.data(), expected.size()));

    // Near the limit: the next sample cannot be counted, and the buffer goes.
    area->PcmSize = int32_t(SoundConvertDSMP3_PcmLimit - 1000);
    area->Capacity = int32_t(SoundConvertDSMP3_PcmLimit - 1000);
    BlockSample sample(block.data(), long(block.size()));
    EXPECT_EQ(S_OK, SoundConvert_DSMP3_SampleCallback(&sample, nullptr, nullptr, FALSE, &record));
    EXPECT_EQ(nullptr, area->PcmBuffer);
    EXPECT_EQ(S_OK, SoundConvert_DSMP3_SampleCallback(&sample, nullptr, nullptr, FALSE, &record)) << "absent: ignored";
}
