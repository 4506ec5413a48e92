// Stream sounds made of several sources and streams that share one ring: sources played in turn
// with their loop counts (checked sample for sample), the refused fourth source and source of
// another format, union handles taking the ring over from each other and living until their last
// user, letting a looping stream finish its pass, and starting a stream while the handle that owns
// its ring is still loading.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "../foundation/LogReadBack.h"
#include "SoundHandleTestSupport.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtThread.h"

using namespace Vantrel;
using namespace SoundMixTest;
using namespace SoundHandleTestSupport;

namespace {

const WAVEFORMATEX Stereo44 = PcmFormat(2, 16, 44100);

// Consecutive runs of distinct frames, so that every source of a test differs from the others.
std::vector<std::vector<int16_t>> Slices(const std::vector<int>& lengths)
{
    int total = 0;
    for (int length : lengths) total += length;
    const std::vector<int16_t> all = DistinctFrames(total, 2);
    std::vector<std::vector<int16_t>> slices;
    int at = 0;
    for (int length : lengths) {
        slices.emplace_back(all.begin() + 2 * at, all.begin() + 2 * (at + length));
        at += length;
    }
    return slices;
}

// The index of the first output frame that differs from the expected frames, or -1.
int FirstDifference(const std::vector<int16_t>& out, const std::vector<int16_t>& expected, size_t from = 0)
{
    for (size_t i = 0; i < expected.size(); i++) {
        if (from * 2 + i >= out.size() || out[from * 2 + i] != expected[i]) return (int)(i / 2);
    }
    return -1;
}

bool SilentFrom(const std::vector<int16_t>& out, size_t frame, size_t frames)
{
    for (size_t i = frame * 2; i < (frame + frames) * 2 && i < out.size(); i++)
        if (out[i] != 0) return false;
    return true;
}

size_t LogCount(const wchar_t* text)
{
    const std::wstring log = FoundationTest::ReadLog();
    size_t count = 0;
    for (size_t at = log.find(text); at != std::wstring::npos; at = log.find(text, at + 1)) count++;
    return count;
}

class SoundStreamTest : public SoundHandleTest {
protected:
    void SetUp() override
    {
        SoundHandleTest::SetUp();
        FoundationTest::StartFreshLog(L"SoundStreamTest.txt");
        param_.DataType = 2;
    }

    HandleValue LoadStream(const std::vector<int16_t>& frames, HandleValue unionHandle = -1,
                           const WAVEFORMATEX& format = Stereo44)
    {
        const std::vector<uint8_t> image = WaveImage(Pcm16(frames), format);
        return LoadSoundFromMemImageWithParam(&param_, 1, -1, image.data(), (int64_t)image.size(), 1, unionHandle, 0, 0);
    }

    int AddSource(HandleValue handle, const std::vector<int16_t>& frames, int loopCount, const WAVEFORMATEX& format = Stereo44)
    {
        const std::vector<uint8_t> image = WaveImage(Pcm16(frames), format);
        return Sound_Stream_AddFromMemImage(&param_, image.data(), (int64_t)image.size(), loopCount, handle, 2, -1, 0);
    }
};

// Three sources play one after the other, the second twice (one extra pass); a fourth is refused
// with the log line; after the last source the stream drains and stops by itself.
TEST_F(SoundStreamTest, ThreeSourcesPlayInTurnAndAFourthIsRefused)
{
    const auto s = Slices({5000, 7000, 3000, 1000});
    // Sources go into an empty handle; the stream is prepared once they are all there.
    const HandleValue handle = Sound_Handle_Create(0, 0, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(AddSource(handle, s[0], 0), 0);
    ASSERT_EQ(Record(handle)->IsStream, 1);
    ASSERT_EQ(AddSource(handle, s[1], 1), 0);
    ASSERT_EQ(AddSource(handle, s[2], 0), 0);
    EXPECT_EQ(Record(handle)->SourceCount, 3);
    EXPECT_EQ(GetSoundSampleCount(handle, 0), 15000);
    EXPECT_EQ(GetSoundLengthMs(handle), 15000 * 1000 / 44100);
    const size_t full = LogCount(L"ストリーム風サウンドの制御データ領域がいっぱいです");
    EXPECT_EQ(AddSource(handle, s[3], 0), -1);
    EXPECT_EQ(LogCount(L"ストリーム風サウンドの制御データ領域がいっぱいです"), full + 1);
    EXPECT_EQ(Record(handle)->SourceCount, 3);
    ASSERT_EQ(Sound_Stream_Prepare(handle, 0), 0);

    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    const std::vector<int16_t> out = MixFrames(22000 + 2 * 44100);
    std::vector<int16_t> expected = s[0];
    for (const auto* part : {&s[1], &s[1], &s[2]}) expected.insert(expected.end(), part->begin(), part->end());
    EXPECT_EQ(FirstDifference(out, expected), -1);
    EXPECT_TRUE(SilentFrom(out, 22000, 44100)) << "silence after the last source";
    EXPECT_EQ(IsSoundPlaying(handle), 0) << "drained and stopped by itself";
    EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
}

// A source must have the first one's format and the stream must not play while it is added.
TEST_F(SoundStreamTest, SourcesOfAnotherFormatOrAddedWhilePlayingAreRefused)
{
    const int32_t blocks = Memory_GetBlockCount();
    const auto s = Slices({3000, 3000});
    const HandleValue handle = LoadStream(s[0]);
    ASSERT_GE(handle, 0);
    const wchar_t* formatLine = L"フォーマットの違う音声データは同時に使うことは出来ません";
    const size_t before = LogCount(formatLine);
    EXPECT_EQ(AddSource(handle, s[1], 0, PcmFormat(2, 16, 22050)), -1);
    EXPECT_EQ(AddSource(handle, std::vector<int16_t>(s[1].begin(), s[1].begin() + 3000), 0, PcmFormat(1, 16, 44100)), -1);
    EXPECT_EQ(LogCount(formatLine), before + 2);
    EXPECT_EQ(Record(handle)->SourceCount, 1);

    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Loop, 0), 0);
    const wchar_t* playingLine = L"既に再生中のストリームサウンドデータにデータを追加しようとしました";
    const size_t playing = LogCount(playingLine);
    EXPECT_EQ(AddSource(handle, s[1], 0), -1);
    EXPECT_EQ(LogCount(playingLine), playing + 1);
    EXPECT_EQ(Record(handle)->SourceCount, 1);
    ASSERT_EQ(StopSoundPlayback(handle, 0), 0);
    EXPECT_EQ(AddSource(handle, s[1], 0), 0);
    EXPECT_EQ(Record(handle)->SourceCount, 2);
    EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks) << "the refused sources left nothing behind";
}

// Streams loaded with a union handle play through its ring, one at a time: starting one stops the
// one that used the ring; a stop of a stream that does not hold the ring touches nothing. The
// ring's owner, deleted while others use it, lives on until the last of them goes.
TEST_F(SoundStreamTest, UnionStreamsShareOneRingOneAtATime)
{
    const int32_t blocks = Memory_GetBlockCount();
    const auto s = Slices({20000, 20000, 20000});
    const HandleValue owner = LoadStream(s[0]);
    ASSERT_GE(owner, 0);
    const HandleValue second = LoadStream(s[1], owner);
    const HandleValue third = LoadStream(s[2], owner);
    const HandleValue other = LoadStream(std::vector<int16_t>(s[2].begin(), s[2].begin() + 4000), owner, PcmFormat(2, 16, 22050));
    ASSERT_GE(second, 0);
    ASSERT_GE(third, 0);
    ASSERT_GE(other, 0);
    EXPECT_EQ(Record(second)->UnionHandle, owner);
    EXPECT_EQ(Record(third)->UnionHandle, owner);
    EXPECT_EQ(Record(second)->Buffers[0].Valid, 0) << "no ring of its own";
    EXPECT_EQ(Record(owner)->UnionUserCount, 2);
    EXPECT_EQ(Record(other)->UnionHandle, -1) << "another format gets a ring of its own";
    EXPECT_EQ(Record(other)->Buffers[0].Valid, 1);

    ASSERT_EQ(StartSoundPlayback(owner, SoundPlayType_Loop, 0), 0);
    std::vector<int16_t> out = MixFrames(2000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(s[0].begin(), s[0].begin() + 4000)), -1);

    ASSERT_EQ(StartSoundPlayback(second, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(IsSoundPlaying(owner), 0) << "the second took the ring over";
    EXPECT_EQ(IsSoundPlaying(second), 1);
    EXPECT_EQ(Record(owner)->CurrentUser, second);
    out = MixFrames(3000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(s[1].begin(), s[1].begin() + 6000)), -1);

    ASSERT_EQ(StartSoundPlayback(third, SoundPlayType_Back, 0), 0);
    EXPECT_EQ(IsSoundPlaying(second), 0);
    EXPECT_EQ(IsSoundPlaying(third), 1);
    EXPECT_EQ(StopSoundPlayback(second, 0), 0);
    EXPECT_EQ(IsSoundPlaying(third), 1) << "a stop of a stream that does not hold the ring leaves it alone";
    EXPECT_EQ(StartSoundPlayback(third, SoundPlayType_Back, 0), -1) << "already playing";
    out = MixFrames(1000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(s[2].begin(), s[2].begin() + 2000)), -1);

    ASSERT_EQ(StartSoundPlayback(owner, SoundPlayType_Back, 1), 0);
    EXPECT_EQ(IsSoundPlaying(third), 0);
    out = MixFrames(1000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(s[0].begin(), s[0].begin() + 2000)), -1) << "from the top";

    EXPECT_EQ(Handle_Delete(owner, 0, 0), 0);
    ASSERT_NE(Record(owner), nullptr) << "kept while two streams use its ring";
    EXPECT_EQ(Record(owner)->DeletePending, 1);
    EXPECT_EQ(IsSoundPlaying(owner), 0);
    EXPECT_EQ(Handle_Delete(second, 0, 0), 0);
    ASSERT_NE(Record(owner), nullptr);
    EXPECT_EQ(Record(owner)->UnionUserCount, 1);
    EXPECT_EQ(Handle_Delete(third, 0, 0), 0);
    EXPECT_EQ(Record(owner), nullptr) << "gone with its last user";
    EXPECT_EQ(Handle_Delete(other, 0, 0), 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Sound].Count, 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

// A looping stream told to finish plays to the end of the pass it is in, drains and stops, and the
// next start begins at the top.
TEST_F(SoundStreamTest, LetFinishPlaysTheCurrentPassToItsEnd)
{
    // Two seconds: the ring runs at most 0.75 s ahead of the play position, so the stop comes
    // while the first pass is still being decoded.
    const std::vector<int16_t> source = DistinctFrames(88200, 2);
    const HandleValue handle = LoadStream(source);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Loop, 0), 0);
    std::vector<int16_t> out = MixFrames(10000);
    ASSERT_EQ(StopSoundPlayback(handle, 1), 0);
    EXPECT_EQ(IsSoundPlaying(handle), 1) << "it plays on to the end of the pass";
    const std::vector<int16_t> rest = MixFrames(78200 + 2 * 44100);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(FirstDifference(out, source), -1);
    EXPECT_TRUE(SilentFrom(out, 88200, 44100)) << "no second pass";
    EXPECT_EQ(IsSoundPlaying(handle), 0);

    ASSERT_EQ(StartSoundPlayback(handle, SoundPlayType_Back, 0), 0);
    out = MixFrames(1000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(source.begin(), source.begin() + 2000)), -1);
    EXPECT_EQ(Handle_Delete(handle, 0, 0), 0);
}

// A loading job on the handle that owns a shared ring, running on a loader thread while the main
// thread starts (or asks about) a stream of that ring. The job ends by taking the Sound handle-type
// lock, as every load does; were the main thread to wait for the job while holding that lock, the
// job could never end. The probe tells that case apart without hanging: it gives the lock five
// seconds, then notes the deadlock and lets the waiter go by ending the load by hand.
struct LoadProbe {
    HandleValue Owner;
    DWORD MainThread;
    HANDLE Started;
    HANDLE Finished;
    volatile LONG Deadlocked;
};

int LoadProbe_Job(ASyncLoadEntry* entry)
{
    int offset = 0;
    LoadProbe* probe = (LoadProbe*)ASyncLoad_Param_GetPointer(entry->Params, &offset);
    CRITICAL_SECTION* lock = &HandleManagerTable[HandleType_Sound].Lock.System;
    SetEvent(probe->Started);
    // Give the main thread time to get as far as it goes with the lock, if it takes it at all.
    for (int waited = 0; waited < 1000; waited += 5) {
        if ((DWORD)(uintptr_t)lock->OwningThread == probe->MainThread) break;
        Sleep(5);
    }
    Sleep(50);
    bool locked = false;
    for (int waited = 0; waited < 5000 && !locked; waited += 5) {
        locked = TryEnterCriticalSection(lock) != FALSE;
        if (!locked) Sleep(5);
    }
    if (locked) {
        LeaveCriticalSection(lock);
        Sound_Job_Finish(probe->Owner, 0, false);
    } else {
        InterlockedExchange(&probe->Deadlocked, 1);
        HandleHeader* record = Handle_GetRecord(probe->Owner);
        if (record != nullptr) InterlockedDecrement((volatile LONG*)&record->ASyncLoadCount);
    }
    SetEvent(probe->Finished);
    return 0;
}

TEST_F(SoundStreamTest, StreamStartsWhileTheOwnerOfItsRingIsLoading)
{
    ASSERT_EQ(ASyncLoad_Prepare(Thread_GetCurrentId()), 0);
    ASSERT_EQ(ASyncLoad_StartThreads(2), 0);
    const auto s = Slices({8000, 8000});
    const HandleValue owner = LoadStream(s[0]);
    const HandleValue user = LoadStream(s[1], owner);
    ASSERT_GE(owner, 0);
    ASSERT_GE(user, 0);
    ASSERT_EQ(Record(user)->UnionHandle, owner);

    const std::pair<const char*, std::function<int()>> calls[] = {
        {"StartSoundPlayback", [&] { return StartSoundPlayback(user, SoundPlayType_Loop, 0); }},
        {"GetSoundFrequency", [&] { return GetSoundFrequency(user); }},
    };
    const int expected[] = {0, 44100};
    for (size_t i = 0; i < 2; i++) {
        SCOPED_TRACE(calls[i].first);
        LoadProbe probe = {owner, GetCurrentThreadId(), CreateEventA(nullptr, TRUE, FALSE, nullptr),
                           CreateEventA(nullptr, TRUE, FALSE, nullptr), 0};
        auto pack = [&](void* area) {
            int offset = 0;
            ASyncLoad_Param_PutPointer(area, &offset, &probe);
            return offset;
        };
        ASSERT_EQ(Sound_Job_Queue(owner, LoadProbe_Job, pack), 0);
        ASSERT_EQ(WaitForSingleObject(probe.Started, 10000), WAIT_OBJECT_0) << "a loader thread runs the job";
        EXPECT_EQ(calls[i].second(), expected[i]);
        EXPECT_EQ(WaitForSingleObject(probe.Finished, 20000), WAIT_OBJECT_0);
        EXPECT_EQ(probe.Deadlocked, 0) << "the main thread waited for the load while holding the Sound handle-type lock";
        CloseHandle(probe.Started);
        CloseHandle(probe.Finished);
        for (int k = 0; k < 500 && ASyncLoad_GetPendingCount() != 0; k++) Sleep(2);
    }
    EXPECT_EQ(IsSoundPlaying(user), 1);
    const std::vector<int16_t> out = MixFrames(1000);
    EXPECT_EQ(FirstDifference(out, std::vector<int16_t>(s[1].begin(), s[1].begin() + 2000)), -1);
    EXPECT_EQ(Handle_Delete(user, 0, 0), 0);
    EXPECT_EQ(Handle_Delete(owner, 0, 0), 0);
    EXPECT_EQ(ASyncLoad_StopThreads(), 0);
    EXPECT_EQ(ASyncLoad_Finish(), 0);
}

}  // namespace
