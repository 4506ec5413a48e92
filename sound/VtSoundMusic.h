// VtSoundMusic: MIDI music handles played through the MCI sequencer or a DirectMusic segment: the
// current piece, its per-frame upkeep, the MCI notification that replays a looping piece, stopping,
// the playing query and the handle's release.
// Stands on the sound state, the platform half's DirectMusic objects, the sound handles, the window
// and the system function table.
#pragma once

#include <stdint.h>

#include "sound/VtSound.h"

namespace Vantrel {

// The platform half's music state (the MCI device id is SoundSystemState.MciDeviceId).
struct SoundMusicStateRecord {
    int MciLoop;                // replay from the start when the sequencer reports the end
    int MciPlaying;
    HandleValue Current;        // the current music (a music handle, or a sound handle used as music); 0 none
    int CurrentIsSound;
    wchar_t TempMidiPath[260];  // a MIDI file written for the sequencer; empty none
    int TempMidiExists;
};
extern SoundMusicStateRecord SoundMusicState;

int IsMusicPlaying(HandleValue handle);
int StopMusicHandle(HandleValue handle);
int StopMusicPlayback();
int Sound_Music_ProcessAll();
int Sound_Midi_OnMciNotify();

int SoundWin_Music_Process(MusicRecord* music);
int SoundWin_Music_Stop(MusicRecord* music);
int SoundWin_Music_Release(MusicRecord* music);
// Shut-down of the output: the temporary MIDI file goes and a DirectMusic performance is stopped.
int SoundWin_Music_Terminate();

void Sound_MusicHandleRecord_Initialize(HandleHeader* record);
int Sound_MusicHandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel
