// VtSound: the sound system's lifecycle and per-frame services: the global state, the three handle
// types, the lists of playing objects and their locks, the sine and 8-bit tables, the tone buffers,
// pausing on deactivation, and shut-down that waits for the processing thread before freeing.
// Stands on the handle manager, critical sections, memory, the log, the base math, the platform
// output (VtSoundWin), sound buffers and the capture file (VtSoundWave).
#include "sound/VtSound.h"

#include <string.h>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "system/VtTime.h"
#include "sound/VtSoundHandle.h"
#include "sound/VtSoundWave.h"
#include "sound/VtSoundBufferWin.h"
#include "sound/VtSoundWin.h"

namespace Vantrel {

SoundSystemStateRecord SoundSystemState;

namespace {

#define SOUND_LOCK(lock) CriticalSection_Enter(&(lock), "VtSound", __LINE__)
#define SOUND_UNLOCK(lock) CriticalSection_Leave(&(lock))

constexpr uint32_t TONE_BUFFER_BYTES = 44100;
constexpr int TONE_REFILL_SAMPLES = 5512;

HandleManager& Sound_Manager(int type) { return HandleManagerTable[type]; }

// A list node's handle still names the record it was added with.
bool Sound_NodeIsLive(const HandleListNode* node)
{
    return node->Record != nullptr && Handle_GetRecord(node->Handle) == (HandleHeader*)node->Record;
}

// Whether a sound handle still has something playing (the paused buffers by what they did before).
bool Sound_HandleIsPlaying(SoundHandleRecord* sound)
{
    if (sound->IsStream) return Sound_Stream_IsPlayingRecord(sound->Header.Handle, sound) == 1;
    for (int i = 0; i < sound->BufferCount && i < SOUND_HANDLE_BUFFER_MAX; i++) {
        SoundBuffer* buffer = &sound->Buffers[i];
        if (!buffer->Valid) return true;
        if (sound->Paused[i] ? sound->WasPlaying[i] != 0 : SoundBuffer_IsPlaying(buffer) == 1) return true;
    }
    return false;
}

// The first live handle of a list with nothing playing, or null.
HandleListNode* Sound_FindFinished(HandleListNode* end, HandleListNode* start)
{
    for (HandleListNode* node = end->Prev; node != nullptr && node != start; node = node->Prev) {
        if (!Sound_NodeIsLive(node)) continue;
        SoundHandleRecord* sound = (SoundHandleRecord*)node->Record;
        if (sound->Header.ASyncLoadCount != 0) continue;
        if (!Sound_HandleIsPlaying(sound)) return node;
    }
    return nullptr;
}

void Sound_DeleteLeftoverHandles()
{
    if (Sound_Manager(HandleType_Sound).Initialized) Handle_DeleteAll(HandleType_Sound, Sound_HandleFilter_Flagged);
    SoundSystemState.MciDeviceId = -1;
    if (SoundSystemState.Initialized && Sound_Manager(HandleType_SoftSound).Initialized)
        Handle_DeleteAll(HandleType_SoftSound, SoftSound_HandleFilter_IsPlayer);
    if (SoundSystemState.Initialized && Sound_Manager(HandleType_SoftSound).Initialized)
        Handle_DeleteAll(HandleType_SoftSound, SoftSound_HandleFilter_IsData);
}

void Sound_SetDefaults()
{
    SoundSystemStateRecord& state = SoundSystemState;
    static const float front[3] = {0.0f, 0.0f, 1.0f};
    static const float right[3] = {1.0f, 0.0f, 0.0f};
    memset(state.ListenerPosition, 0, sizeof(state.ListenerPosition));
    memcpy(state.ListenerFront, front, sizeof(front));
    memset(state.ListenerVelocity, 0, sizeof(state.ListenerVelocity));
    state.ConeInnerAngle = 2.6179941f;
    state.ConeOuterAngle = 5.7595868f;
    state.ConeInnerVolume = 1.0f;
    state.ConeOuterVolume = 0.75f;
    memcpy(state.ListenerRight, right, sizeof(right));

    SoundLoadParam& param = state.DefaultLoadParam;
    memset(&param, 0, sizeof(param));
    param.PitchRate = 1.0f;
    param.TimeStretchRate = 1.0f;
    param.OggBytesPerSample = 2;
}

void Sound_CreateListsAndLocks()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!state.ListLocksCreated) {
        CriticalSection_Create(&state.Sound3DHandleListLock);
        CriticalSection_Create(&state.Sound3DPlayingListLock);
        CriticalSection_Create(&state.SoundPlayingListLock);
        CriticalSection_Create(&state.SoundStreamListLock);
        state.ListLocksCreated = 1;
    }
    if (!state.MixerLockCreated) {
        CriticalSection_Create(&state.SoundMixerListLock);
        state.MixerLockCreated = 1;
    }
    Handle_List_Init(&state.Sound3DHandleList.End, &state.Sound3DHandleList.Start);
    Handle_List_Init(&state.Sound3DPlayingList.End, &state.Sound3DPlayingList.Start);
    Handle_List_Init(&state.SoundPlayingList.End, &state.SoundPlayingList.Start);
    Handle_List_Init(&state.SoundStreamList.End, &state.SoundStreamList.Start);
    Handle_List_Init(&state.SoftSoundPlayerList.End, &state.SoftSoundPlayerList.Start);
    Handle_List_Init(&state.SoundFinishDeleteList.End, &state.SoundFinishDeleteList.Start);
    Handle_PtrList_Init(&state.SoundMixerList.End, &state.SoundMixerList.Start);
}

// Replays or pauses one buffer for PauseAllSounds and PauseAllSoftSoundPlayers.
void Sound_PauseBuffer(SoundBuffer* buffer, int* paused, int* wasPlaying, int pause)
{
    if (pause) {
        if (*paused) return;
        const int playing = SoundBuffer_IsPlaying(buffer);
        if (playing < 0) {
            *paused = 0;
            return;
        }
        *paused = 1;
        *wasPlaying = playing;
        if (playing) SoundBuffer_Halt(buffer, 1);
    } else {
        if (*paused && *wasPlaying) SoundBuffer_Start(buffer, buffer->Loop);
        *paused = 0;
    }
}

// A running timer expires 16 ms after its stamp, or at once when the clock went back.
bool Sound_TimerExpired(int set, int stamp, int now) { return set && (now - stamp >= 16 || now < stamp); }

}  // namespace

void Sound_BuildTables()
{
    SoundSystemStateRecord& state = SoundSystemState;
    for (int i = 0; i < 65536; i++) {
        const float angle = (float)i * 3.1415927f * 2.0f * (1.0f / 65536.0f);
        float sine = 0.0f, cosine = 0.0f;
        BaseFunc_SinCos(angle, &sine, &cosine);
        state.SineTable[i] = (int16_t)(int32_t)(sine * 16384.0f);
    }
    for (int u = 0; u < 256; u++) state.Byte8To16Table[u] = (int16_t)(u * 257 - 32768);
}

// ---- Start and end -----------------------------------------------------------------------------------

int Sound_Initialize()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (state.Initialized) return -1;
    if (state.OutputRate == 0) state.OutputRate = 44100;

    if (Handle_Type_Setup(HandleType_Sound, sizeof(SoundHandleRecord), 32768, Sound_HandleRecord_Initialize,
                          Sound_HandleRecord_Terminate, Sound_HandleRecord_Dump, L"Sound") != 0 ||
        Handle_Type_Setup(HandleType_SoftSound, sizeof(SoftSoundRecord), 8192, nullptr, SoftSound_HandleRecord_Terminate,
                          nullptr, L"SoftSound") != 0 ||
        Handle_Type_Setup(HandleType_Music, sizeof(MusicRecord), 256, Sound_MusicHandleRecord_Initialize,
                          Sound_MusicHandleRecord_Terminate, nullptr, L"Music") != 0) {
        Sound_Terminate();
        return -1;
    }
    Sound_CreateListsAndLocks();
    Sound_BuildTables();
    state.TotalOutputFrames = 0;

    if (SoundWin_InitializeOutput() != 0) {
        Sound_Terminate();
        return -1;
    }
    Sound_SetDefaults();
    state.Initialized = 1;
    Sound_DeleteLeftoverHandles();

    if (SoundWin_InitializeOutput_Finish() != 0) {
        Sound_Terminate();
        return -1;
    }
    if (state.SoftwareMixing) {
        state.PlayStartCounter = 0;
        state.PlayStartIncrement = state.SoftwareOutputRate / 480;
        state.HalfOutputRate = state.SoftwareOutputRate / 2;
    }
    // The processing thread may already look at the tone buffers.
    CriticalSection_Enter(&Sound_Manager(HandleType_Sound).Lock, "VtSound", __LINE__);
    const int toneResult = Sound_Tone_Initialize();
    CriticalSection_Leave(&Sound_Manager(HandleType_Sound).Lock);
    if (toneResult != 0) {
        Sound_Terminate();
        return -1;
    }
    return 0;
}

int Sound_Terminate()
{
    SoundSystemStateRecord& state = SoundSystemState;
    Log_AddTextUTF16(L"サウンド関連の終了処理... ");

    SoundWin_Terminate_StopThread();
    Sound_Tone_Terminate();
    Sound_EndCapture();

    if (state.Initialized) Sound_DeleteLeftoverHandles();
    if (Sound_Manager(HandleType_Music).Initialized) Handle_DeleteAll(HandleType_Music, nullptr);
    if (Sound_Manager(HandleType_Sound).Initialized) Handle_Type_Shutdown(HandleType_Sound);
    if (Sound_Manager(HandleType_SoftSound).Initialized) Handle_Type_Shutdown(HandleType_SoftSound);
    if (Sound_Manager(HandleType_Music).Initialized) Handle_Type_Shutdown(HandleType_Music);

    // The locks go whenever they were made, also after a start-up that stopped half way.
    if (state.ListLocksCreated) {
        CriticalSection_Delete(&state.Sound3DHandleListLock);
        CriticalSection_Delete(&state.Sound3DPlayingListLock);
        CriticalSection_Delete(&state.SoundPlayingListLock);
        CriticalSection_Delete(&state.SoundStreamListLock);
        state.ListLocksCreated = 0;
    }

    SoundWin_Terminate_ReleaseOutput();

    // No output calls the mixer any more: its lock and work buffer can go.
    if (state.MixerLockCreated) {
        CriticalSection_Delete(&state.SoundMixerListLock);
        state.MixerLockCreated = 0;
    }
    Memory_Free(state.MixBuffer);
    state.MixBuffer = nullptr;
    state.MixFrameCount = 0;
    state.Initialized = 0;
    Log_AddTextUTF16(L"完了\n");
    return 0;
}

int Sound_SetupMixingWorkBuffer(int option, int frameCount)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (state.MixerLockCreated) SOUND_LOCK(state.SoundMixerListLock);
    state.MixOption = option;
    Memory_Free(state.MixBuffer);
    state.MixBuffer = nullptr;
    state.MixFrameCount = 0;
    const uint64_t bytes = frameCount > 0 ? (uint64_t)frameCount * 8 : 0;
    if (bytes > 0 && bytes <= 0xFFFFFFFFull) state.MixBuffer = Memory_AllocateZeroed((uint32_t)bytes, "VtSound", __LINE__);
    if (state.MixBuffer != nullptr) state.MixFrameCount = frameCount;
    if (state.MixerLockCreated) SOUND_UNLOCK(state.SoundMixerListLock);
    if (state.MixBuffer == nullptr) {
        Log_AddTextUTF16(L"自前ミキシング処理用のメモリの確保に失敗しました\n");
        return -1;
    }
    return 0;
}

void Sound_LoadParam_Init(SoundLoadParam* param)
{
    *param = SoundSystemState.DefaultLoadParam;
    const bool timeLoop = param->LoopStartTime != param->LoopEndTime;
    const bool sampleLoop = param->LoopStartSample != param->LoopEndSample;
    if (param->DataType == 0 && (timeLoop || sampleLoop) && param->LoopAreaOff == 0) param->DataType = 2;
}

// ---- Handle records ----------------------------------------------------------------------------------

int Sound_HandleFilter_Flagged(HandleHeader* record) { return ((SoundHandleRecord*)record)->KeepFlag != 0; }
int SoftSound_HandleFilter_IsPlayer(HandleHeader* record) { return ((SoftSoundRecord*)record)->IsPlayer != 0; }
int SoftSound_HandleFilter_IsData(HandleHeader* record) { return ((SoftSoundRecord*)record)->IsPlayer == 0; }

// ---- Per-frame services --------------------------------------------------------------------------------

int Sound_ProcessStreamsAll()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!SoundWin_IsOutputReady() || !Sound_Manager(HandleType_Sound).Initialized) return -1;
    CriticalSection& soundLock = Sound_Manager(HandleType_Sound).Lock;
    SOUND_LOCK(soundLock);
    // Streams still being loaded are left to their loading job.
    SOUND_LOCK(state.SoundStreamListLock);
    for (HandleListNode* node = state.SoundStreamList.End.Prev; node != nullptr && node != &state.SoundStreamList.Start;
         node = node->Prev) {
        if (!Sound_NodeIsLive(node)) continue;
        SoundHandleRecord* sound = (SoundHandleRecord*)node->Record;
        if (sound->Header.ASyncLoadCount == 0 && sound->StreamPrepared) Sound_Stream_RefillRecord(sound);
    }
    SOUND_UNLOCK(state.SoundStreamListLock);

    const int now = GetMillisecondCount();
    for (int i = 0; i < SOUND_TONE_BUFFER_COUNT; i++) {
        SoundToneBuffer& tone = state.Tones[i];
        if (tone.Buffer.Valid && SoundBuffer_IsPlaying(&tone.Buffer) == 1) {
            int32_t playBytes = 0;
            SoundBuffer_GetPosition(&tone.Buffer, &playBytes, nullptr);
            const int played = playBytes / 2;
            const int ahead = tone.WritePosition > played ? tone.WritePosition - played
                                                          : tone.WritePosition - played + SOUND_TONE_SAMPLES;
            if (ahead <= TONE_REFILL_SAMPLES) Sound_Tone_Refill(i);
        }
        if (Sound_TimerExpired(tone.VolumeRestoreTimerSet, tone.VolumeRestoreTimerStamp, now)) {
            if (tone.Buffer.Valid) SoundBuffer_SetChannelVolume(&tone.Buffer, 0, 0);
            tone.VolumeRestoreTimerSet = 0;
            tone.VolumeRestoreTimerStamp = 0;
        }
        if (Sound_TimerExpired(tone.StopTimerSet, tone.StopTimerStamp, now)) {
            SoundBuffer_Halt(&tone.Buffer, 0);
            tone.StopTimerSet = 0;
            tone.StopTimerStamp = 0;
        }
    }
    SOUND_UNLOCK(soundLock);
    return 0;
}

int Sound_Process3DAll()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!SoundWin_IsOutputReady()) return -1;
    SOUND_LOCK(state.Sound3DPlayingListLock);
    // A handle stays while a buffer's reverb still rings (XAudio2 only; software buffers and
    // DirectSound have no reverb cycle, so their handles leave at the first pass).
    HandleListNode* node = state.Sound3DPlayingList.End.Prev;
    while (node != nullptr && node != &state.Sound3DPlayingList.Start) {
        HandleListNode* previous = node->Prev;
        SoundHandleRecord* sound = (SoundHandleRecord*)node->Record;
        bool ringing = false;
        for (int i = 0; sound != nullptr && !state.SoftwareMixing && i < SOUND_HANDLE_BUFFER_MAX; i++) {
            if (sound->Buffers[i].Valid && SoundBufferWin_ReverbTail(&sound->Buffers[i]) == 0) ringing = true;
        }
        if (!ringing) {
            Handle_List_Remove(node);
            if (sound != nullptr) sound->In3DPlayingList = 0;
        }
        node = previous;
    }
    SOUND_UNLOCK(state.Sound3DPlayingListLock);
    return 0;
}

int Sound_ProcessPlayingAll()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!SoundWin_IsOutputReady()) return -1;
    SOUND_LOCK(state.SoundPlayingListLock);
    while (HandleListNode* node = Sound_FindFinished(&state.SoundPlayingList.End, &state.SoundPlayingList.Start)) {
        ((SoundHandleRecord*)node->Record)->InPlayingList = 0;
        Handle_List_Remove(node);
    }
    SOUND_UNLOCK(state.SoundPlayingListLock);
    return 0;
}

int Sound_ProcessFinishDeleteAll()
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!SoundWin_IsOutputReady()) return -1;
    while (HandleListNode* node = Sound_FindFinished(&state.SoundFinishDeleteList.End, &state.SoundFinishDeleteList.Start)) {
        if (Handle_Delete(node->Handle, 0, 0) != 0) break;
    }
    return 0;
}

int Sound_ProcessDeviceChange()
{
    // Only the WASAPI output follows a change of the default device.
    return SoundWin_Wasapi_CheckDeviceChange();
}

int PauseAllSounds(int pause)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!state.Initialized || !SoundWin_IsOutputReady()) return -1;
    CriticalSection& soundLock = Sound_Manager(HandleType_Sound).Lock;
    SOUND_LOCK(soundLock);
    for (HandleListNode* node = state.SoundPlayingList.End.Prev; node != nullptr && node != &state.SoundPlayingList.Start;
         node = node->Prev) {
        if (!Sound_NodeIsLive(node)) continue;
        SoundHandleRecord* sound = (SoundHandleRecord*)node->Record;
        for (int i = 0; i < SOUND_HANDLE_BUFFER_MAX; i++) {
            if (!sound->Buffers[i].Valid || (!state.SoftwareMixing && !SoundBufferWin_HasVoice(&sound->Buffers[i]))) continue;
            Sound_PauseBuffer(&sound->Buffers[i], &sound->Paused[i], &sound->WasPlaying[i], pause);
        }
    }
    if (state.ToneActive) {
        SoundBuffer* tone = &state.Tones[state.ToneIndex].Buffer;
        if (pause) SoundBuffer_Halt(tone, 0);
        else SoundBuffer_Start(tone, 1);
    }
    SOUND_UNLOCK(soundLock);
    return 0;
}

int PauseAllSoftSoundPlayers(int pause)
{
    SoundSystemStateRecord& state = SoundSystemState;
    if (!state.Initialized || !SoundWin_IsOutputReady()) return -1;
    CriticalSection& softLock = Sound_Manager(HandleType_SoftSound).Lock;
    SOUND_LOCK(softLock);
    for (HandleListNode* node = state.SoftSoundPlayerList.End.Prev; node != nullptr && node != &state.SoftSoundPlayerList.Start;
         node = node->Prev) {
        if (!Sound_NodeIsLive(node)) continue;
        SoftSoundRecord* player = (SoftSoundRecord*)node->Record;
        if (!pause && !player->PlayerStarted) {
            player->Paused = 0;
            continue;
        }
        if (!player->Buffer.Valid) continue;
        Sound_PauseBuffer(&player->Buffer, &player->Paused, &player->WasPlaying, pause);
    }
    SOUND_UNLOCK(softLock);
    return 0;
}

// ---- Tone buffers ----------------------------------------------------------------------------------------

int Sound_Tone_Initialize()
{
    SoundSystemStateRecord& state = SoundSystemState;
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 88200;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    for (int i = 0; i < SOUND_TONE_BUFFER_COUNT; i++) {
        SoundToneBuffer& tone = state.Tones[i];
        if (tone.Buffer.Valid) {
            Log_AddTextUTF16(L"BEEP音用のサウンドバッファの作成に失敗しました\n");
            return -1;
        }
        tone.WritePosition = 0;
        tone.ToneIndex = 0;
        tone.VolumeRestoreTimerSet = tone.VolumeRestoreTimerStamp = 0;
        tone.StopTimerSet = tone.StopTimerStamp = 0;
        if (SoundBuffer_Create(&tone.Buffer, TONE_BUFFER_BYTES, &format, nullptr, 0) != 0) {
            Log_AddTextUTF16(L"BEEP音用のサウンドバッファの作成に失敗しました\n");
            return -1;
        }
    }
    return 0;
}

int Sound_Tone_Refill(int index)
{
    if (index < 0 || index >= SOUND_TONE_BUFFER_COUNT) return -1;
    SoundToneBuffer& tone = SoundSystemState.Tones[index];
    void* region[2] = {nullptr, nullptr};
    uint32_t length[2] = {0, 0};
    if (SoundBuffer_LockRegion(&tone.Buffer, 2 * tone.WritePosition, 2 * TONE_REFILL_SAMPLES, &region[0], &length[0],
                               &region[1], &length[1]) != 0) {
        Log_AddTextUTF16(L"BEEP音用のサウンドバッファのロックに失敗しました\n");
        return -1;
    }
    for (int part = 0; part < 2; part++) {
        int16_t* out = (int16_t*)region[part];
        for (uint32_t k = 0; k < length[part] / 2; k++) {
            out[k] = tone.ToneTable != nullptr && tone.ToneLength > 0 ? tone.ToneTable[tone.ToneIndex] : 0;
            if (++tone.WritePosition == SOUND_TONE_SAMPLES) tone.WritePosition = 0;
            if (++tone.ToneIndex >= tone.ToneLength) tone.ToneIndex = 0;
        }
    }
    SoundBuffer_UnlockRegion(&tone.Buffer, region[0], length[0], region[1], length[1]);
    return 0;
}

int Sound_Tone_Terminate()
{
    SoundSystemStateRecord& state = SoundSystemState;
    for (int i = 0; i < SOUND_TONE_BUFFER_COUNT; i++) {
        SoundToneBuffer& tone = state.Tones[i];
        if (tone.Buffer.Valid) SoundBuffer_Release(&tone.Buffer);
        Memory_Free(tone.ToneTable);
        tone.ToneTable = nullptr;
        tone.ToneLength = 0;
        tone.VolumeRestoreTimerSet = tone.VolumeRestoreTimerStamp = 0;
        tone.StopTimerSet = tone.StopTimerStamp = 0;
    }
    state.ToneActive = 0;
    state.ToneIndex = 0;
    return 0;
}

}  // namespace Vantrel
