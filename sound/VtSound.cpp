// Sound system services in their least form: no device, no sounds, no music; start and stop succeed,
// the per-frame upkeep has nothing to do. Stands on nothing.
#include "sound/VtSound.h"

namespace Vantrel {

int SoundConvert_Initialize() { return 0; }
int SoundConvert_Terminate() { return 0; }
int Sound_Initialize() { return 0; }
int Sound_Terminate() { return 0; }
int Sound_ProcessStreamsAll() { return 0; }
int SoftSound_ProcessPlayersAll() { return 0; }
int Sound_Process3DAll() { return 0; }
int Sound_ProcessPlayingAll() { return 0; }
int Sound_ProcessFinishDeleteAll() { return 0; }
int Sound_Music_ProcessAll() { return 0; }
int Sound_ProcessDeviceChange() { return 0; }
int Sound_Midi_OnMciNotify() { return 0; }
int PauseAllSounds(int pause) { return 0; }
int PauseAllSoftSoundPlayers(int pause) { return 0; }
int StopMusicPlayback() { return 0; }

}  // namespace Vantrel
