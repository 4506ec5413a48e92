// VtSoundMusic: MIDI music: the MCI sequencer's notification (replay while looping, else close),
// the DirectMusic segment's playing state followed each frame, stopping the current piece (a music
// handle or a sound handle used as music), and the release of a music handle's segment and data.
// Stands on the sound state, the platform half's DirectMusic objects, the sound handles, the window,
// the message pump and the system function table.
#include "sound/VtSoundMusic.h"

#include <windows.h>
#include <mmsystem.h>
#include <dmusici.h>
#include <string.h>

#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWin.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

SoundMusicStateRecord SoundMusicState;

namespace {

constexpr int MUSIC_STOP_PUMP_PASSES = 5;

MusicRecord* Music_Get(HandleValue handle) { return (MusicRecord*)Sound_Handle_GetOfType(HandleType_Music, handle, 0); }

void Music_ClearCurrent()
{
    SoundMusicState.Current = 0;
    SoundMusicState.CurrentIsSound = 0;
}

void Music_DeleteTempFile()
{
    SoundMusicStateRecord& music = SoundMusicState;
    if (music.TempMidiExists && music.TempMidiPath[0] != 0) WinAPI_DeleteFile(music.TempMidiPath);
    music.TempMidiExists = 0;
}

}  // namespace

void Sound_MusicHandleRecord_Initialize(HandleHeader* record) { ((MusicRecord*)record)->Volume = 255; }

int Sound_MusicHandleRecord_Terminate(HandleHeader* record)
{
    MusicRecord* music = (MusicRecord*)record;
    // A sound handle that is the current music is not this record's to stop.
    if (!SoundMusicState.CurrentIsSound && IsMusicPlaying(record->Handle) == 1) StopMusicHandle(record->Handle);
    SoundWin_Music_Release(music);
    if (!SoundMusicState.CurrentIsSound && SoundMusicState.Current == record->Handle) Music_ClearCurrent();
    return 0;
}

int Sound_Music_ProcessAll()
{
    const HandleManager& manager = HandleManagerTable[HandleType_Music];
    if (!SoundWin_IsOutputReady() || !manager.Initialized) return -1;
    for (int i = manager.LowestUsed; i <= manager.HighestUsed && i < manager.MaxCount; i++) {
        if (i < 0) continue;
        MusicRecord* music = (MusicRecord*)manager.Slots[i];
        if (music != nullptr && music->Playing && SoundWin_Music_Process(music) != 0) return -1;
    }
    return 0;
}

int SoundWin_Music_Process(MusicRecord* music)
{
    IDirectMusicPerformance8* performance = SoundWinState.MusicPerformance;
    if (SoundSystemState.MidiMode == 0 || performance == nullptr) return 0;
    const bool playing = performance->IsPlaying((IDirectMusicSegment*)music->Segment, nullptr) != S_FALSE;
    if (music->Started) music->Playing = playing ? 1 : 0;
    else if (playing) music->Started = 1;
    return 0;
}

int Sound_Midi_OnMciNotify()
{
    SoundMusicStateRecord& music = SoundMusicState;
    const MCIDEVICEID device = (MCIDEVICEID)SoundSystemState.MciDeviceId;
    WinAPI_EnsureLoaded();
    if (music.MciLoop == 1) {
        MCI_PLAY_PARMS play;
        memset(&play, 0, sizeof(play));
        play.dwCallback = (DWORD_PTR)Window_GetMainHandle();
        play.dwFrom = 0;
        WinAPITable.mciSendCommandW(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&play);
        music.MciPlaying = 1;
    } else if (music.MciPlaying == 1) {
        WinAPITable.mciSendCommandW(device, MCI_CLOSE, 0, 0);
        music.MciPlaying = 0;
    }
    return 0;
}

int IsMusicPlaying(HandleValue handle)
{
    const SoundMusicStateRecord& state = SoundMusicState;
    if (state.Current != 0 && state.CurrentIsSound) return IsSoundPlaying(state.Current);
    const MusicRecord* music = Music_Get(handle);
    if (music == nullptr) return -1;
    return SoundWin_Midi_IsPlaying(music);
}

int StopMusicHandle(HandleValue handle)
{
    SoundMusicStateRecord& state = SoundMusicState;
    if (state.Current != 0 && state.CurrentIsSound) {
        StopSoundPlayback(state.Current, 0);
        Handle_Delete(state.Current, 0, 0);
        Music_ClearCurrent();
        return 0;
    }
    MusicRecord* music = Music_Get(handle);
    if (music == nullptr) return -1;
    state.MciLoop = 0;
    if (SoundWin_Music_Stop(music) != 0) return -1;
    music->Playing = 0;
    music->Started = 0;
    return 0;
}

int SoundWin_Music_Stop(MusicRecord* music)
{
    if (SoundSystemState.MidiMode == 0) {
        // The notification now closes the sequencer; the pump lets its own notification pass.
        Sound_Midi_OnMciNotify();
        for (int i = 0; i < MUSIC_STOP_PUMP_PASSES; i++) System_PollMessagesNoLock();
    } else {
        IDirectMusicPerformance8* performance = SoundWinState.MusicPerformance;
        if (performance != nullptr && music->Segment != nullptr &&
            FAILED(performance->StopEx((IUnknown*)music->Segment, 0, 0)))
            return -1;
    }
    Music_DeleteTempFile();
    return 0;
}

int StopMusicPlayback()
{
    SoundMusicStateRecord& state = SoundMusicState;
    if (state.Current == 0) return 0;
    const HandleValue current = state.Current;
    if (state.CurrentIsSound) StopSoundPlayback(current, 0);
    else StopMusicHandle(current);
    // Stopping a sound handle used as music has deleted it already.
    if (state.Current == current) Handle_Delete(current, 0, 0);
    Music_ClearCurrent();
    return 0;
}

int SoundWin_Music_Release(MusicRecord* music)
{
    SoundWinStateRecord& win = SoundWinState;
    if (music->Segment != nullptr) {
        IDirectMusicSegment8* segment = (IDirectMusicSegment8*)music->Segment;
        if (win.MusicPerformance != nullptr) segment->Unload((IUnknown*)win.MusicPerformance);
        if (win.MusicLoader != nullptr) win.MusicLoader->ReleaseObjectByUnknown((IUnknown*)segment);
        segment->Release();
        music->Segment = nullptr;
    }
    if (music->MidiData != nullptr) {
        memset(music->MidiData, 0, music->MidiDataSize);
        Memory_Free(music->MidiData);
        music->MidiData = nullptr;
        music->MidiDataSize = 0;
    }
    return 0;
}

int SoundWin_Music_Terminate()
{
    Music_DeleteTempFile();
    SoundMusicState.TempMidiPath[0] = 0;
    SoundMusicState.MciLoop = 0;
    SoundMusicState.MciPlaying = 0;
    if (SoundWinState.MusicPerformance != nullptr) SoundWinState.MusicPerformance->Stop(nullptr, nullptr, 0, 0);
    return 0;
}

}  // namespace Vantrel
