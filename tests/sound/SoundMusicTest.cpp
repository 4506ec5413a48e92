// MIDI music: the MCI notification (replay while looping, close once otherwise), the DirectMusic
// segment's playing state followed each frame, stopping a music handle or a sound handle used as
// music, and the release of a handle's segment; the sequencer and the performance are fakes (an
// entry of the system function table, objects over the published method tables).
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "FakeDirectMusic.h"
#include "SoundMixTestSupport.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundMusic.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundWin.h"
#include "system/VtWindow.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

struct MciCall {
    MCIDEVICEID Device;
    UINT Message;
    DWORD_PTR Flags;
    DWORD From;
    DWORD_PTR Callback;
};
std::vector<MciCall> MciCalls;

MCIERROR WINAPI FakeMciSendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameter)
{
    MciCall call = {device, message, flags, 0, 0};
    if (message == MCI_PLAY && parameter != 0) {
        call.From = ((const MCI_PLAY_PARMS*)parameter)->dwFrom;
        call.Callback = ((const MCI_PLAY_PARMS*)parameter)->dwCallback;
    }
    MciCalls.push_back(call);
    return 0;
}

class SoundMusicTest : public SoundModuleTest {
protected:
    void SetUp() override
    {
        SoundModuleTest::SetUp();
        WinAPI_EnsureLoaded();
        saved_ = WinAPITable;
        WinAPITable.mciSendCommandW = FakeMciSendCommand;
        MciCalls.clear();
        FakeDirectMusic::Calls = FakeDirectMusic::Counts();
        SoundMusicState = SoundMusicStateRecord();
        SoundSystemState.MidiMode = 0;
        SoundSystemState.MciDeviceId = 7;
    }
    void TearDown() override
    {
        // The fakes know nothing of the shut-down's calls.
        Handle_DeleteAll(HandleType_Music, nullptr);
        SoundWinState.MusicPerformance = nullptr;
        SoundWinState.MusicLoader = nullptr;
        SoundSystemState.MidiMode = 0;
        SoundMusicState = SoundMusicStateRecord();
        SoundModuleTest::TearDown();
        WinAPITable = saved_;
    }
    void UseDirectMusic(int mode)
    {
        SoundSystemState.MidiMode = mode;
        SoundWinState.MusicPerformance = (IDirectMusicPerformance8*)FakeDirectMusic::Performance();
        SoundWinState.MusicLoader = (IDirectMusicLoader8*)FakeDirectMusic::Loader();
    }
    // A music handle as a loader leaves it: playing, with a segment and its MIDI data.
    HandleValue MakeMusic(int playing, bool withSegment)
    {
        const HandleValue handle = Handle_New(HandleType_Music, 0, -1);
        EXPECT_GE(handle, 0);
        MusicRecord* music = Record(handle);
        music->Playing = playing;
        if (withSegment) music->Segment = FakeDirectMusic::Segment();
        music->MidiDataSize = 64;
        music->MidiData = Memory_AllocateZeroed(64, "SoundMusicTest", __LINE__);
        return handle;
    }
    static MusicRecord* Record(HandleValue handle) { return (MusicRecord*)Handle_GetRecord(handle); }

    WinAPITableRecord saved_;
};

}  // namespace

TEST_F(SoundMusicTest, MciNotificationReplaysWhileLoopingAndClosesOnlyOnce)
{
    SoundMusicState.MciLoop = 1;
    SoundMusicState.MciPlaying = 1;
    EXPECT_EQ(Sound_Midi_OnMciNotify(), 0);
    ASSERT_EQ(MciCalls.size(), 1u);
    EXPECT_EQ(MciCalls[0].Device, 7u);
    EXPECT_EQ(MciCalls[0].Message, (UINT)MCI_PLAY);
    EXPECT_EQ(MciCalls[0].Flags, (DWORD_PTR)(MCI_NOTIFY | MCI_FROM));
    EXPECT_EQ(MciCalls[0].From, 0u);
    EXPECT_EQ(MciCalls[0].Callback, (DWORD_PTR)Window_GetMainHandle());
    EXPECT_EQ(SoundMusicState.MciPlaying, 1);

    SoundMusicState.MciLoop = 0;
    EXPECT_EQ(Sound_Midi_OnMciNotify(), 0);
    ASSERT_EQ(MciCalls.size(), 2u);
    EXPECT_EQ(MciCalls[1].Message, (UINT)MCI_CLOSE);
    EXPECT_EQ(MciCalls[1].Device, 7u);
    EXPECT_EQ(SoundMusicState.MciPlaying, 0);
    EXPECT_EQ(Sound_Midi_OnMciNotify(), 0);
    EXPECT_EQ(MciCalls.size(), 2u) << "a second notification does nothing";
}

TEST_F(SoundMusicTest, StoppingAnMciPieceClosesTheSequencerAndDeletesTheTemporaryFile)
{
    const HandleValue music = MakeMusic(1, false);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"mid", 0, SoundMusicState.TempMidiPath);
    SoundMusicState.TempMidiExists = 1;
    SoundMusicState.MciLoop = 1;
    SoundMusicState.MciPlaying = 1;
    SoundMusicState.Current = music;

    EXPECT_EQ(IsMusicPlaying(music), 1);
    EXPECT_EQ(StopMusicHandle(music), 0);
    ASSERT_EQ(MciCalls.size(), 1u) << "the loop flag went first, so the notification closed";
    EXPECT_EQ(MciCalls[0].Message, (UINT)MCI_CLOSE);
    EXPECT_EQ(IsMusicPlaying(music), 0);
    EXPECT_EQ(Record(music)->Playing, 0);
    EXPECT_EQ(SoundMusicState.TempMidiExists, 0);
    EXPECT_EQ(GetFileAttributesW(SoundMusicState.TempMidiPath), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(Handle_GetRecord(music), nullptr) << "the current music's handle is deleted";
    EXPECT_EQ(SoundMusicState.Current, 0);
    EXPECT_EQ(StopMusicPlayback(), 0) << "no current music: nothing to do";
    EXPECT_EQ(MciCalls.size(), 1u);
    EXPECT_EQ(IsMusicPlaying(music), -1);
    EXPECT_EQ(StopMusicHandle(music), -1);
}

TEST_F(SoundMusicTest, PerFrameUpkeepFollowsTheSegmentOnceSeenPlaying)
{
    UseDirectMusic(1);
    const HandleValue music = MakeMusic(1, true);
    const HandleValue idle = MakeMusic(0, true);
    MusicRecord* record = Record(music);

    FakeDirectMusic::Calls.IsPlayingAnswer = S_FALSE;
    EXPECT_EQ(Sound_Music_ProcessAll(), 0);
    EXPECT_EQ(FakeDirectMusic::Calls.IsPlaying, 1) << "only handles flagged playing are asked about";
    EXPECT_EQ(record->Started, 0);
    EXPECT_EQ(record->Playing, 1) << "not yet seen playing: the flag stays";

    FakeDirectMusic::Calls.IsPlayingAnswer = E_FAIL;   // any answer but S_FALSE counts as playing
    EXPECT_EQ(Sound_Music_ProcessAll(), 0);
    EXPECT_EQ(record->Started, 1);
    EXPECT_EQ(IsMusicPlaying(music), 1);

    FakeDirectMusic::Calls.IsPlayingAnswer = S_FALSE;
    EXPECT_EQ(Sound_Music_ProcessAll(), 0);
    EXPECT_EQ(record->Playing, 0);
    EXPECT_EQ(IsMusicPlaying(music), 0);
    EXPECT_EQ(IsMusicPlaying(idle), 0);

    SoundSystemState.MidiMode = 0;
    const int asked = FakeDirectMusic::Calls.IsPlaying;
    record->Playing = 1;
    EXPECT_EQ(Sound_Music_ProcessAll(), 0);
    EXPECT_EQ(FakeDirectMusic::Calls.IsPlaying, asked) << "nothing is asked in MCI mode";
}

TEST_F(SoundMusicTest, DirectMusicStopFailureKeepsTheFlagsAndReleaseUnloadsTheSegment)
{
    UseDirectMusic(2);
    const HandleValue music = MakeMusic(1, true);
    Record(music)->Started = 1;

    FakeDirectMusic::Calls.StopExResult = E_FAIL;
    EXPECT_EQ(StopMusicHandle(music), -1);
    EXPECT_EQ(Record(music)->Playing, 1);
    EXPECT_EQ(Record(music)->Started, 1);

    FakeDirectMusic::Calls.StopExResult = S_OK;
    EXPECT_EQ(StopMusicHandle(music), 0);
    EXPECT_EQ(FakeDirectMusic::Calls.StopEx, 2);
    EXPECT_EQ(FakeDirectMusic::Calls.StopExObject, FakeDirectMusic::Segment());
    EXPECT_EQ(Record(music)->Playing, 0);
    EXPECT_EQ(Record(music)->Started, 0);

    EXPECT_EQ(Handle_Delete(music, 0, 0), 0);
    EXPECT_EQ(FakeDirectMusic::Calls.StopEx, 2) << "a stopped piece is not stopped again";
    EXPECT_EQ(FakeDirectMusic::Calls.Unload, 1);
    EXPECT_EQ(FakeDirectMusic::Calls.UnloadPath, FakeDirectMusic::Performance());
    EXPECT_EQ(FakeDirectMusic::Calls.ReleaseObject, 1);
    EXPECT_EQ(FakeDirectMusic::Calls.SegmentRelease, 1);
}

TEST_F(SoundMusicTest, SoundHandleUsedAsMusicIsStoppedAndDeleted)
{
    OpenDevice(Device16);
    std::vector<int16_t> samples(44100, 1000);
    const WAVEFORMATEX format = PcmFormat(1, 16, 44100);
    void* image = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(Sound_CreateWaveFileImage(&image, &size, &format, 18, samples.data(), (uint32_t)samples.size() * 2), 0);
    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    const HandleValue sound = LoadSoundFromMemImageWithParam(&param, 1, -1, image, size, 1, -1, 0, 0);
    Memory_Free(image);
    ASSERT_GE(sound, 0);
    ASSERT_EQ(StartSoundPlayback(sound, SoundPlayType_Loop, 1), 0);
    SoundMusicState.Current = sound;
    SoundMusicState.CurrentIsSound = 1;

    EXPECT_EQ(IsMusicPlaying(-1), 1) << "the sound handle answers for the music";
    EXPECT_EQ(StopMusicPlayback(), 0);
    EXPECT_EQ(IsSoundPlaying(sound), -1) << "deleted";
    EXPECT_EQ(SoundMusicState.Current, 0);
    EXPECT_EQ(SoundMusicState.CurrentIsSound, 0);
    EXPECT_TRUE(MciCalls.empty());
}

// The platform's playing query: the MCI playing flag in mode 0, the record's own flag through
// DirectMusic, -1 for a mode that is neither.
TEST_F(SoundMusicTest, PlatformPlayingQueryFollowsTheMidiMode)
{
    MusicRecord record = {};
    record.Playing = 1;
    SoundMusicState.MciPlaying = 1;
    EXPECT_EQ(SoundWin_Midi_IsPlaying(&record), 1);
    SoundMusicState.MciPlaying = 0;
    EXPECT_EQ(SoundWin_Midi_IsPlaying(&record), 0) << "mode 0 answers the MCI flag, not the record's";
    UseDirectMusic(2);
    EXPECT_EQ(SoundWin_Midi_IsPlaying(&record), 1);
    record.Playing = 0;
    EXPECT_EQ(SoundWin_Midi_IsPlaying(&record), 0);
    SoundSystemState.MidiMode = 3;
    EXPECT_EQ(SoundWin_Midi_IsPlaying(&record), -1);
    SoundSystemState.MidiMode = 0;
}
