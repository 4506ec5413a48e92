// Sound system services called by start-up, shut-down, the pump and activation changes, in their
// least form: no sound device is opened, nothing plays, each call reports that state.
// Stands on nothing.
#pragma once

namespace Vantrel {

int SoundConvert_Initialize();
int SoundConvert_Terminate();
int Sound_Initialize();
int Sound_Terminate();
int Sound_ProcessStreamsAll();
int SoftSound_ProcessPlayersAll();
int Sound_Process3DAll();
int Sound_ProcessPlayingAll();
int Sound_ProcessFinishDeleteAll();
int Sound_Music_ProcessAll();
int Sound_ProcessDeviceChange();
int Sound_Midi_OnMciNotify();
int PauseAllSounds(int pause);
int PauseAllSoftSoundPlayers(int pause);
int StopMusicPlayback();

}  // namespace Vantrel
