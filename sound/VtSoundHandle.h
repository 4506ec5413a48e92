// VtSoundHandle: sound handles and what is done with them: loading from files and memory images
// (at once or as loading jobs), playback control of normal sounds (VtSoundPlay.cpp) and stream
// sounds played through a refilled ring buffer (VtSoundStream.cpp).
// Stands on the sound state and its lists, sound buffers, the sound conversion, the WAVE images,
// the handle manager, asynchronous loading, files and streams.
#pragma once

#include <stdint.h>

#include <functional>

#include "foundation/VtASyncLoad.h"
#include "foundation/VtStream.h"
#include "sound/VtSound.h"

namespace Vantrel {

// How a sound is started.
enum SoundPlayType : int {
    SoundPlayType_Normal = 0,   // returns when the sound has ended
    SoundPlayType_Back = 1,     // returns at once
    SoundPlayType_Loop = 3,     // returns at once and loops
};

// Sounds longer than this are streamed instead of decoded into memory.
constexpr int SOUND_STREAM_THRESHOLD_SECONDS = 180;
// The write position of a stream that is prepared but not yet primed.
constexpr int SOUND_STREAM_UNPRIMED = -800;

// ---- Handles and loading (VtSoundHandle.cpp) -----------------------------------------------------------
// The check every sound operation starts with: the record of a live sound handle with the output open,
// after finishing (or waiting for) a pending load unless called from inside a loading job.
SoundHandleRecord* Sound_Handle_Get(HandleValue handle, int inJob);
// The same check for a handle of any of the sound system's types (sound, soft sound, music).
HandleHeader* Sound_Handle_GetOfType(int type, HandleValue handle, int inJob);

// Loading jobs: queues a job whose parameters pack writes (a null area only measures) and records it
// on the handle; ends a job's work on the handle (its result stored, a handle the job made dropped on
// failure); reads the load settings at the start of a job's parameters.
int Sound_Job_Queue(HandleValue handle, ASyncLoadJobProc procedure, const std::function<int(void*)>& pack);
void Sound_Job_Finish(HandleValue handle, int result, bool deleteOnFailure);
void Sound_Job_UnpackParam(const ASyncLoadEntry* entry, int* offset, SoundLoadParam* param);

HandleValue LoadSoundFromFileWithParam(const SoundLoadParam* param, const wchar_t* path, int bufferCount,
                                       HandleValue unionHandle, int asynchronous, int inJob);
int LoadSoundFromMemImageWithParam(const SoundLoadParam* param, int createFlag, HandleValue handle, const void* image,
                                   int64_t imageSize, int bufferCount, HandleValue unionHandle, int asynchronous, int inJob);
int LoadSoundMemByMemImageBase(const SoundLoadParam* param, HandleValue handle, const void* image, int64_t imageSize,
                               int bufferCount, HandleValue unionHandle, int inJob);
int Sound_LoadFromFile_Worker(SoundLoadParam* param, HandleValue handle, const wchar_t* path, int bufferCount,
                              HandleValue unionHandle, int inJob);
int Sound_Load_ASyncJob(ASyncLoadEntry* entry);
int Sound_LoadFromMemImage_ASyncJob(ASyncLoadEntry* entry);
HandleValue Sound_Handle_Create(int is3D, int keep, int inJob);
int Sound_Handle_CreateBuffers(const WAVEFORMATEX* format, uint32_t byteSize, int streamBuffer, int bufferCount,
                               HandleValue handle, HandleValue unionHandle, int inJob);
int Sound_File_ReadWhole(const wchar_t* path, void** data, uint32_t* size, int logOpenFailure);
int Sound_LoopTagFile_MakeName(const wchar_t* path, wchar_t* out, uint32_t outBytes);
int Sound_LoopTagFile_Read(const wchar_t* tagPath, int64_t* start, int64_t* end);
// The loop-tag text after its byte-order prefix, as UTF-16: 0 and the loop found, or -1.
int Sound_LoopTagFile_Parse(const wchar_t* text, int64_t* start, int64_t* end);

// ---- Playback control (VtSoundPlay.cpp) --------------------------------------------------------------
int StartSoundPlayback(HandleValue handle, int playType, int fromTop);
int StopSoundPlayback(HandleValue handle, int letFinish);
int IsSoundPlaying(HandleValue handle);
int GetSoundFrequency(HandleValue handle);
int64_t GetSoundSampleCount(HandleValue handle, int inJob);
int64_t GetSoundLengthMs(HandleValue handle);
int64_t GetSoundPosition(HandleValue handle);
int SetSoundPosition(int64_t bytePosition, HandleValue handle);
int SeekSoundToTime(int64_t ms, HandleValue handle);
int SetSoundVolume(int volume, HandleValue handle);
int SetSoundPan(int pan, HandleValue handle);
int SetSoundFrequency(int frequency, HandleValue handle);
int GetSoundChannelVolume(int channel, HandleValue handle);
int GetSoundPan(HandleValue handle);
int Sound_SetLoopAreaSamples(int64_t start, int64_t end, HandleValue handle, int inJob);
int Sound_SetLoopAreaTime(int64_t startMs, int64_t endMs, HandleValue handle, int inJob);
int Sound_SetLoopStartSample(int64_t sample, HandleValue handle, int inJob);
int Sound_SetLoopEndSample(int64_t sample, HandleValue handle, int inJob);
int Sound_SetLoopStartTime(int64_t ms, HandleValue handle, int inJob);
int Sound_SetLoopEndTime(int64_t ms, HandleValue handle, int inJob);
int64_t Sound_MsToSamples(int rate, int64_t ms);
int64_t Sound_SamplesToMs(int rate, int64_t samples);
int Sound_PrepareNextBuffer(SoundHandleRecord* sound, int fromTop);
int Sound_RecreateAsStream(HandleValue handle);
// The settings (or their one-shot overrides) applied to a buffer at a start.
void Sound_ApplySettings(SoundHandleRecord* sound, SoundBuffer* buffer);

// ---- Stream sounds (VtSoundStream.cpp) -----------------------------------------------------------------
// The regions of one ring-buffer write.
struct SoundStreamWrite {
    int Start;                  // ring position of the first byte
    int RingBytes;
    uint8_t* Pointer[2];
    uint32_t Length[2];
    uint32_t Written[2];
    uint32_t Free[2];
};

int AddSreamSound(SoundLoadParam* param, Stream stream, int loopCount, HandleValue handle, int dataType,
                  int* takenOver, HandleValue unionHandle, int inJob);
int Sound_Stream_AddFromFile(SoundLoadParam* param, const wchar_t* path, int loopCount, HandleValue handle, int dataType,
                             HandleValue unionHandle, int inJob);
int Sound_Stream_AddFromMemImage(SoundLoadParam* param, const void* image, int64_t imageSize, int loopCount,
                                 HandleValue handle, int dataType, HandleValue unionHandle, int inJob);
int Sound_Stream_Prepare(HandleValue handle, int inJob);
int Sound_Stream_Refill(HandleValue handle, int inJob);
// The refill of a record already checked (the per-frame service, under the Sound handle-type lock).
int Sound_Stream_RefillRecord(SoundHandleRecord* sound);
int Sound_Stream_PrepareStart(HandleValue handle, SoundHandleRecord* sound, int playType, int fromTop, SoundBuffer** ring);
int Sound_Stream_Stop(HandleValue handle, int letFinish);
// The stop of a record already found (handle deletion).
int Sound_Stream_StopRecord(HandleValue handle, SoundHandleRecord* sound, int letFinish);
int Sound_Stream_IsPlaying(HandleValue handle);
int Sound_Stream_IsPlayingRecord(HandleValue handle, SoundHandleRecord* sound);
int Sound_Stream_Seek(int64_t bytePosition, HandleValue handle, int inJob);
int Sound_Stream_SeekToTime(int64_t ms, HandleValue handle);
int64_t Sound_Stream_GetPlayedBytes(HandleValue handle);
int Sound_Stream_UpdatePlayedBytes(HandleValue handle, int position, int inJob);
// The ring a stream plays through (a normal handle's buffer 0); with the take-over flag the handle
// that now uses a shared ring is stopped first. It never waits for a load.
int Sound_Stream_ResolveBuffer(HandleValue handle, SoundHandleRecord* sound, SoundBuffer** ring, int takeOver, int inJob);
// Finishes (or waits for) a pending load of the handles a stream's ring involves: the union handle
// whose ring it uses and the handle now using that ring. Called without the Sound handle-type lock,
// which the loading job needs to end: nothing waits for a job while holding it.
void Sound_Stream_FinishRingLoads(HandleValue handle, SoundHandleRecord* sound);
int Sound_Stream_NextData(SoundHandleRecord* sound, SoundStreamWrite* write, int playPosition);
int64_t Sound_Stream_ReadSource(SoundStreamWrite* write, SoundConvertRecord* convert, int64_t bytes);
void Sound_Stream_FillSilence(SoundHandleRecord* sound, SoundStreamWrite* write, int64_t bytes);
int Sound_Stream_ReadWhole(Stream stream, void** data, int64_t* size);
// Closes every source and forgets them (handle deletion).
void Sound_Stream_ReleaseSources(SoundHandleRecord* sound);

}  // namespace Vantrel
