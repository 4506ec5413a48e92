// VtSoundSoft: soft sounds, PCM held in memory for the program to read and write frame by frame, and
// soft-sound players, one-second looping buffers kept topped up from a queue of frames.
// Stands on the sound state and its lists, sound buffers, the sound conversion, ring buffers, files,
// asynchronous loading and the sound handles (VtSoundHandle).
#pragma once

#include <stdint.h>

#include "foundation/VtASyncLoad.h"
#include "sound/VtSound.h"
#include "sound/VtSoundTimeStretch.h"

namespace Vantrel {

// Channels a soft sound may have; integer data is 8, 16, 24 or 32 bits, float data 32 bits.
constexpr int SOFT_SOUND_CHANNEL_MAX = 8;
// The largest PCM a soft sound holds (frames x block alignment), so that every byte offset of it and
// of the buffers made from it fits a 32-bit int.
constexpr int64_t SOFT_SOUND_BYTE_MAX = 0x7FFFFFFF;

// Fills a new soft-sound record (plain data or a player) of the given format.
int AddSoftSoundData(HandleValue handle, int isPlayer, int channels, int bits, int rate, int floatFlag, int64_t sampleCount);

// Loading a file (path) or a file image (path null) decoded into plain soft-sound data.
HandleValue SoftSound_Load(const SoundLoadParam* param, const wchar_t* path, const void* image, int64_t imageSize,
                           int asynchronous);
int SoftSound_Load_Worker(const SoundLoadParam* param, HandleValue handle, const wchar_t* path, const void* image,
                          int64_t imageSize, int inJob);
int SoftSound_Load_ASyncJob(ASyncLoadEntry* entry);
// The same load made at once, from inside a loading job when inJob is set (the sound loaders' road
// to pitch and time-stretch).
HandleValue SoftSound_LoadForJob(const SoundLoadParam* param, const wchar_t* path, const void* image, int64_t imageSize,
                                 int inJob);

// Making an empty soft sound; a format-source soft sound (or -1) gives channels, bits, rate and float flag.
HandleValue SoftSound_Make(int isPlayer, int channels, int bits, int rate, int64_t sampleCount, int floatFlag,
                           HandleValue formatSource, int asynchronous);
int SoftSound_Make_Worker(HandleValue handle, int isPlayer, int channels, int bits, int rate, int64_t sampleCount,
                          int floatFlag, HandleValue formatSource, int inJob);
int SoftSound_Make_ASyncJob(ASyncLoadEntry* entry);
HandleValue SoftSound_MakeData(int channels, int bits, int rate, int64_t sampleCount, int floatFlag);
HandleValue SoftSound_MakePlayer(int channels, int bits, int rate, int floatFlag);

int SoftSound_GetFormat(HandleValue handle, int* channels, int* bits, int* rate, int* floatFlag);
int64_t SoftSound_GetSampleCount(HandleValue handle);

// Conversions and copies between plain soft sounds of equal length and channel count.
int SoftSound_ConvertFloatToInt(HandleValue floatSource, HandleValue intDestination);
int SoftSound_ConvertIntToFloat(HandleValue intSource, HandleValue floatDestination);
int SoftSound_Copy(HandleValue source, HandleValue destination);

// Reading and writing one value of plain data: integer data as stored (8-bit unsigned 0..255, wider
// depths signed; values out of range are clamped on writing), float data as stored.
int SoftSound_WriteSample(HandleValue handle, int64_t frame, int channel, int value);
int SoftSound_ReadSample(HandleValue handle, int64_t frame, int channel, int* value);
int SoftSound_WriteSampleF(HandleValue handle, int64_t frame, int channel, float value);
int SoftSound_ReadSampleF(HandleValue handle, int64_t frame, int channel, float* value);

// The plain data seen as the time-stretch sees it (the record's own PCM, not a copy).
int SoftSound_GetDataView(HandleValue handle, SoftSoundData* view, int inJob);

// Makes a sound handle that plays the plain data (integer data as it is; float data as 16-bit PCM).
HandleValue LoadSoundFromSoftSound(HandleValue softSound, int bufferCount);

// Players: frames queued at the end of the queue, playback started and stopped, what is waiting.
int SoftSound_Player_AddData(HandleValue handle, const void* frames, int frameCount);
int SoftSound_Player_Start(HandleValue handle);
int SoftSound_Player_Stop(HandleValue handle);
int SoftSound_Player_IsPlaying(HandleValue handle);
int SoftSound_Player_GetQueuedFrames(HandleValue handle);
// 1 once the queue ran out and the play position passed the end of the last data written.
int SoftSound_Player_IsDry(HandleValue handle);

int SoftSound_ProcessPlayersAll();
int SoftSound_HandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel
