// VtSound: the sound system's global state and lifecycle: start-up and shut-down with the library,
// the three sound handle types, the lists of playing objects with their locks, the lookup tables,
// the tone buffers, the per-frame services and pausing on deactivation.
// Stands on the handle manager, critical sections, memory, the log, the platform output
// (VtSoundWin), sound buffers and the capture file (VtSoundWave).
#pragma once

#include <stdint.h>

#include "foundation/VtHandle.h"
#include "foundation/VtRingBuffer.h"
#include "foundation/VtStream.h"
#include "foundation/VtThread.h"
#include "sound/VtSoundBuffer.h"
#include "sound/VtSoundConvert.h"
#include "sound/VtXAudio2Decl.h"

namespace Vantrel {

constexpr int SOUND_HANDLE_BUFFER_MAX = 10;
constexpr int SOUND_TONE_BUFFER_COUNT = 3;
constexpr int SOUND_TONE_SAMPLES = 22050;

// The settings a sound is loaded with; the state keeps the defaults.
struct SoundLoadParam {
    int KeepFlag;
    int Is3D;
    int DataType;               // 0 whole in memory, 2 stream from a memory image, 3 stream from the file
    int PitchSwitch;
    float PitchRate;
    int TimeStretchSwitch;
    float TimeStretchRate;
    int64_t LoopStartTime;      // ms
    int64_t LoopStartSample;
    int64_t LoopEndTime;        // ms
    int64_t LoopEndSample;
    int LoopAreaOff;
    int ConvertDisableFlags;
    int OggBytesPerSample;
    int VorbisVariant;
};

// One source of a stream sound: its data, its decoder and how often it plays.
struct SoundStreamSource {
    int LoopCount;              // 255 loops for ever, otherwise the number of extra passes
    int DataType;               // 0 decoded WAVE image, 2 memory copy, 3 straight from the file
    void* MemoryCopy;           // owned: the file copy or the decoded WAVE image
    int64_t MemoryCopySize;
    Stream Source;              // over the memory copy, or the file the loader opened
    MemStream* Memory;          // the memory stream over MemoryCopy (owned), null for data type 3
    int64_t LoopStartSample;    // 0 none
    int64_t LoopEndSample;      // -1 none
    SoundConvertRecord Convert;
};
constexpr int SOUND_STREAM_SOURCE_MAX = 3;

// A sound handle's record: list memberships, buffers, the stream or normal data, and the playback
// settings applied at each start.
struct SoundHandleRecord {
    HandleHeader Header;
    HandleListNode Node3D;
    int Is3D;
    int In3DPlayingList;
    HandleListNode Node3DPlaying;
    int InPlayingList;
    HandleListNode NodePlaying;
    int InFinishDeleteList;
    HandleListNode NodeFinishDelete;
    int KeepFlag;
    int BufferCount;
    int Paused[SOUND_HANDLE_BUFFER_MAX];
    int WasPlaying[SOUND_HANDLE_BUFFER_MAX];
    SoundBuffer Buffers[SOUND_HANDLE_BUFFER_MAX];
    WAVEFORMATEX WaveFormat;
    int IsStream;

    // Stream part (positions in bytes of the ring buffer unless said otherwise).
    int PlayType;
    HandleValue UnionHandle;    // the stream whose ring this one uses, -1 none
    int UnionUserCount;         // streams using this one's ring
    HandleValue CurrentUser;    // the handle now using this ring, -1 none
    int DeletePending;
    int RingSize;
    int WritePosition;          // -800 until primed
    int RefillLimit;
    SoundStreamSource Sources[SOUND_STREAM_SOURCE_MAX];
    uint8_t SourceClosesStream[SOUND_STREAM_SOURCE_MAX];
    int SourceCount;
    int CurrentSource;
    int PassCount;
    int64_t Consumed;           // bytes of the current source decoded so far
    int LargeBuffer;
    int64_t TotalSamples;
    int64_t PlayedBytes;
    int LastPlayPosition;
    uint8_t StreamPrepared;
    uint8_t Draining;
    uint8_t WrapPending;
    uint8_t EndReached;
    int64_t LoopBase;
    int StopAfterSource;
    int EndWritePosition;
    int EndPlayPosition;
    int WrapPosition;
    int InStreamList;
    HandleListNode NodeStream;

    // Normal part.
    uint32_t PcmSize;
    void* Pcm;                  // shared with re-created handles through PcmReferences
    int* PcmReferences;
    int CurrentBuffer;          // the buffer started last

    XAudio2ReverbParameters27 ReverbParam;

    // Playback settings applied at each start.
    int ChannelVolume[8];       // hundredths of a decibel
    int ChannelLevel[8];        // 0-255
    int Pan;
    int Frequency;              // Hz, 0 the rate of the data
    float Position3D[3];
    float Radius3D;
    float Velocity3D[3];
    int PitchApplied;
    float PitchRate;

    // One-shot overrides for the next start.
    uint8_t VolumeOverrideSet[8];
    uint8_t PanOverrideSet;
    uint8_t FrequencyOverrideSet;
    uint8_t Position3DOverrideSet;
    uint8_t Radius3DOverrideSet;
    uint8_t Velocity3DOverrideSet;
    int VolumeOverride[8];
    int PanOverride;
    int FrequencyOverride;
    float Position3DOverride[3];
    float Radius3DOverride;
    float Velocity3DOverride[3];
};

// A soft sound's record: plain PCM data held for the program, or a player that feeds one buffer from
// a queue of frames (VtSoundSoft).
struct SoftSoundRecord {
    HandleHeader Header;
    int IsPlayer;
    WAVEFORMATEX Format;        // tag 1 integer PCM or 3 float (32 bits), extra size 0

    // Plain data.
    int64_t SampleCount;        // frames
    void* Pcm;                  // owned

    // Player.
    int InPlayerList;
    HandleListNode NodePlayer;
    int QueuedFrames;
    RingBuffer Queue;           // frames waiting to be written into the buffer
    int Paused;
    int WasPlaying;
    SoundBuffer Buffer;         // one second, played looping
    int RingSize;               // bytes of the buffer
    int WritePosition;          // bytes
    int StopPosition;           // bytes, -1 none: where the last data ends
    int LastPlayPosition;       // bytes
    uint8_t Dry;                // the play position passed the end of the last data
    int StartThreshold;         // bytes, about 0.2 s
    int Lead;                   // bytes, about 31 ms
    int PlayerStarted;
};

// A music record: MIDI played through the MCI sequencer or a DirectMusic segment (VtSoundMusic).
struct MusicRecord {
    HandleHeader Header;
    int Playing;
    int Started;                // the segment has been seen playing
    int Volume;                 // 0-255
    void* MidiData;             // owned
    uint32_t MidiDataSize;
    int Reserved;
    void* Segment;              // IDirectMusicSegment8, or null
};

struct SoundToneBuffer {
    SoundBuffer Buffer;
    int WritePosition;          // samples, 0 .. 22,049
    int ToneIndex;
    int ToneLength;             // samples
    int16_t* ToneTable;         // owned
    int VolumeRestoreTimerSet;
    int VolumeRestoreTimerStamp;
    int StopTimerSet;
    int StopTimerStamp;
};

// The device format as the mixer writes it: the wave-format head of the output format and its
// extension words.
struct SoundOutputFormat {
    uint16_t FormatTag;
    uint16_t Channels;
    uint32_t SamplesPerSec;
    uint32_t AvgBytesPerSec;
    uint16_t BlockAlign;
    uint16_t BitsPerSample;     // container bits
    int32_t ExtensionSize;
    int32_t ValidBits;
    int32_t FloatFlag;
    int32_t BigEndianFlag;
    int32_t LowJustified;       // valid bits at the low end of a wider container (sign-extended)
};

// A list of handles, found by its name: new entries go in before End, walks run from End.Prev back
// to Start.
struct SoundHandleList {
    HandleListNode End;
    HandleListNode Start;
};

// The same for a list of pointers (the mixer's buffers).
struct SoundPointerList {
    PointerListNode End;
    PointerListNode Start;
};

struct SoundSystemStateRecord {
    volatile int Initialized;
    int OutputChannels;
    int OutputRate;

    float ListenerPosition[3];
    float ListenerFront[3];
    float ListenerVelocity[3];
    float ConeInnerAngle;
    float ConeOuterAngle;
    float ConeInnerVolume;
    float ConeOuterVolume;
    float ListenerRight[3];

    int ListLocksCreated;
    CriticalSection Sound3DHandleListLock;
    SoundHandleList Sound3DHandleList;          // every 3D sound handle
    CriticalSection Sound3DPlayingListLock;
    SoundHandleList Sound3DPlayingList;         // 3D handles started and still in their reverb cycle
    CriticalSection SoundPlayingListLock;
    SoundHandleList SoundPlayingList;           // handles started and not yet seen stopped
    CriticalSection SoundStreamListLock;
    SoundHandleList SoundStreamList;            // stream handles
    SoundHandleList SoftSoundPlayerList;        // soft-sound players (the SoftSound handle-type lock)
    SoundHandleList SoundFinishDeleteList;      // handles deleted once they stop (no lock)
    int MixerLockCreated;
    CriticalSection SoundMixerListLock;
    SoundPointerList SoundMixerList;            // software buffers playing through the mixer

    int MidiMode;
    int MciDeviceId;
    SoundLoadParam DefaultLoadParam;

    int SoftwareMixing;
    int SoftwareOutputRate;
    uint64_t TotalOutputFrames;
    int PlayStartCounter;
    int PlayStartIncrement;
    int HalfOutputRate;

    // Mixer: work buffer (2 cells per frame), limiter, device format.
    int MixOption;              // 1 float cells, 0 integer cells
    int MixFrameCount;          // capacity in frames
    void* MixBuffer;
    int LimiterActive;
    float LimiterGain;
    int LimiterCounter;
    int LimiterRelease;
    SoundOutputFormat Output;

    SoundToneBuffer Tones[SOUND_TONE_BUFFER_COUNT];
    int ToneActive;
    int ToneIndex;

    int CaptureActive;
    uint32_t CaptureFrames;
    void* CaptureFile;

    int16_t SineTable[65536];
    int16_t Byte8To16Table[256];
};
extern SoundSystemStateRecord SoundSystemState;

// Library start and end.
int SoundConvert_Initialize();
int SoundConvert_Terminate();
int Sound_Initialize();
int Sound_Terminate();

// Per-frame services (also run by the sound-processing thread).
int Sound_ProcessStreamsAll();
int SoftSound_ProcessPlayersAll();
int Sound_Process3DAll();
int Sound_ProcessPlayingAll();
int Sound_ProcessFinishDeleteAll();
int Sound_Music_ProcessAll();
int Sound_ProcessDeviceChange();
int Sound_Midi_OnMciNotify();
int StopMusicPlayback();

// Window activation.
int PauseAllSounds(int pause);
int PauseAllSoftSoundPlayers(int pause);

int Sound_SetupMixingWorkBuffer(int option, int frameCount);
void Sound_LoadParam_Init(SoundLoadParam* param);
// Builds the sine and 8-bit-to-16-bit lookup tables (start-up does it; tests may call it alone).
void Sound_BuildTables();

// Keep filters for the handle manager's delete-all (non-zero keeps).
int Sound_HandleFilter_Flagged(HandleHeader* record);
int SoftSound_HandleFilter_IsPlayer(HandleHeader* record);
int SoftSound_HandleFilter_IsData(HandleHeader* record);

// Handle records.
void Sound_HandleRecord_Initialize(HandleHeader* record);
int Sound_HandleRecord_Terminate(HandleHeader* record);
int Sound_HandleRecord_Dump(HandleHeader* record);
int SoftSound_HandleRecord_Terminate(HandleHeader* record);
void Sound_MusicHandleRecord_Initialize(HandleHeader* record);
int Sound_MusicHandleRecord_Terminate(HandleHeader* record);

// Tone buffers.
int Sound_Tone_Initialize();
int Sound_Tone_Refill(int index);
int Sound_Tone_Terminate();

}  // namespace Vantrel
