// Sound system lifecycle: the library started and ended three times with sounds playing (nothing
// left allocated, the processing thread gone each time), a second start refused, the services
// without an output, the lookup tables, pausing and resuming, and the tone buffers' refill rule.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "SoundMixTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

using namespace Vantrel;
using namespace SoundMixTest;

namespace {

// A sound handle with two buffers over one block of 16-bit mono PCM, joined to the playing list
// as starting it would.
SoundHandleRecord* MakePlayingSound(bool play)
{
    const HandleValue handle = Handle_New(HandleType_Sound, 0, -1);
    EXPECT_NE(handle, -1);
    SoundHandleRecord* sound = (SoundHandleRecord*)Handle_GetRecord(handle);
    if (sound == nullptr) return nullptr;
    MakeBuffer(&sound->Buffers[0], PcmFormat(1, 16, 44100), Pcm16({1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(SoundBuffer_CreateShared(&sound->Buffers[1], &sound->Buffers[0], 0), 0);
    sound->BufferCount = 2;
    if (play) {
        SoundBuffer_Start(&sound->Buffers[0], 1);
        SoundBuffer_Start(&sound->Buffers[1], 0);
    }
    CriticalSection_Enter(&SoundSystemState.SoundPlayingListLock, __FILE__, __LINE__);
    Handle_List_Append(&SoundSystemState.SoundPlayingList.End, &sound->NodePlaying, handle, sound);
    sound->InPlayingList = 1;
    CriticalSection_Leave(&SoundSystemState.SoundPlayingListLock);
    return sound;
}

BOOL CALLBACK DestroyLeftover(HWND window, LPARAM) { return DestroyWindow(window); }

TEST(SoundLifecycleTest, StartAndEndThreeTimesWithSoundsPlaying)
{
    HMODULE xinput = LoadLibraryW(L"xinput1_4.dll");   // kept across the library's starts and ends
    SetScreenResolution(860, 560, 32, 60);
    ChangeWindowMode(1);
    SetWaitVSyncEnable(0);
    SetRunWhileInactive(1);
    SetAllowMultipleInstances(1);
    SetWindowCloseEnabled(1);
    for (int round = 0; round < 3; round++) {
        SCOPED_TRACE(round);
        Window.ClassName[0] = 0;
        EnumThreadWindows(GetCurrentThreadId(), DestroyLeftover, 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        Window.EndFlag = 0;
        System_ClearEndRequest();
        ASSERT_EQ(SoundSystemState.Initialized, 1);
        ASSERT_EQ(SoundWin_IsOutputReady(), 1);
        const bool threaded = Window.LogicalProcessorCount > 1;
        EXPECT_EQ(SoundWinState.ProcessThread != nullptr, threaded);

        SoundHandleRecord* playing = MakePlayingSound(true);
        SoundHandleRecord* stopped = MakePlayingSound(false);
        ASSERT_NE(playing, nullptr);
        ASSERT_NE(stopped, nullptr);
        ASSERT_EQ(SoundBuffer_Start(&SoundSystemState.Tones[0].Buffer, 1), 0);
        std::vector<uint8_t> block = Render(Device16, 256);

        // The processing thread (or, on one processor, the pump) drops the stopped sound from the
        // playing list and keeps the playing one.
        for (int i = 0; i < 400 && stopped->InPlayingList; i++) {
            PollMessages();
            Sleep(5);
        }
        EXPECT_EQ(stopped->InPlayingList, 0);
        EXPECT_EQ(playing->InPlayingList, 1);

        HANDLE thread = nullptr;
        if (threaded)
            DuplicateHandle(GetCurrentProcess(), SoundWinState.ProcessThread, GetCurrentProcess(), &thread, SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
        ASSERT_EQ(TerminateLibrary(), 0);
        EXPECT_EQ(SoundSystemState.Initialized, 0);
        EXPECT_EQ(SoundWinState.ProcessThread, nullptr);
        if (thread != nullptr) {
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the thread has ended";
            DWORD code = STILL_ACTIVE;
            GetExitCodeThread(thread, &code);
            EXPECT_EQ(code, 0u);
            CloseHandle(thread);
        }
        EXPECT_EQ(SoundWin_IsOutputReady(), 0);
        EXPECT_EQ(SoundSystemState.MixerLockCreated, 0);
        EXPECT_EQ(SoundSystemState.ListLocksCreated, 0);
        EXPECT_EQ(SoundSystemState.MixBuffer, nullptr);
        for (int type : {HandleType_Sound, HandleType_SoftSound, HandleType_Music}) EXPECT_EQ(HandleManagerTable[type].Initialized, 0);
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
    if (xinput) FreeLibrary(xinput);
}

using SoundModuleLifecycleTest = SoundModuleTest;

TEST_F(SoundModuleLifecycleTest, SecondStartIsRefusedAndChangesNothing)
{
    const int32_t blocks = Memory_GetBlockCount();
    const SoundWaveBlock* tone = SoundSystemState.Tones[0].Buffer.Wave;
    EXPECT_EQ(Sound_Initialize(), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    EXPECT_EQ(SoundSystemState.Tones[0].Buffer.Wave, tone);
    EXPECT_EQ(SoundSystemState.Initialized, 1);
}

TEST_F(SoundModuleLifecycleTest, TablesAndDefaults)
{
    const SoundSystemStateRecord& state = SoundSystemState;
    EXPECT_EQ(state.SineTable[0], 0);
    EXPECT_EQ(state.SineTable[16384], 16384);
    EXPECT_EQ(state.SineTable[32768], 0);
    EXPECT_EQ(state.SineTable[49152], -16384);
    EXPECT_EQ(state.SineTable[8192], 11585);   // 16384 x sin(pi / 4), truncated
    EXPECT_EQ(state.Byte8To16Table[0], -32768);
    EXPECT_EQ(state.Byte8To16Table[128], 128);
    EXPECT_EQ(state.Byte8To16Table[255], 32767);
    EXPECT_EQ(state.OutputRate, 44100);
    EXPECT_EQ(state.PlayStartIncrement, 91);
    EXPECT_EQ(state.HalfOutputRate, 22050);
    EXPECT_FLOAT_EQ(state.ConeOuterVolume, 0.75f);
    EXPECT_EQ(state.ListenerFront[2], 1.0f);
    SoundLoadParam param;
    Sound_LoadParam_Init(&param);
    EXPECT_EQ(param.OggBytesPerSample, 2);
    EXPECT_EQ(param.PitchRate, 1.0f);
    for (const SoundToneBuffer& tone : state.Tones) {
        EXPECT_EQ(tone.Buffer.Valid, 1);
        EXPECT_EQ(tone.Buffer.SampleCount, 22050);
        EXPECT_EQ(tone.Buffer.Frequency, -1);
        EXPECT_EQ(tone.Buffer.Wave->ByteSize, 44100u);
    }
}

TEST(SoundModuleOffTest, ServicesRefuseWithoutAnOutput)
{
    ASSERT_EQ(SoundWin_IsOutputReady(), 0);
    EXPECT_EQ(Sound_ProcessStreamsAll(), -1);
    EXPECT_EQ(SoftSound_ProcessPlayersAll(), -1);
    EXPECT_EQ(Sound_Process3DAll(), -1);
    EXPECT_EQ(Sound_ProcessPlayingAll(), -1);
    EXPECT_EQ(Sound_ProcessFinishDeleteAll(), -1);
    EXPECT_EQ(Sound_Music_ProcessAll(), -1);
    EXPECT_EQ(PauseAllSounds(1), -1);
    EXPECT_EQ(PauseAllSoftSoundPlayers(1), -1);
    EXPECT_EQ(Sound_Terminate(), 0);   // an end without a start is harmless
}

TEST(SoundModuleStartFailureTest, OutputThatCannotOpenRunsTheWholeShutDown)
{
    const int32_t blocks = Memory_GetBlockCount();
    SoundWinState.OutputDevice = 1;   // an output already open: opening another is refused
    EXPECT_EQ(Sound_Initialize(), -1);
    EXPECT_EQ(SoundSystemState.Initialized, 0);
    EXPECT_EQ(SoundWin_IsOutputReady(), 0);
    EXPECT_EQ(SoundSystemState.ListLocksCreated, 0);
    EXPECT_EQ(SoundSystemState.MixerLockCreated, 0);
    for (int type : {HandleType_Sound, HandleType_SoftSound, HandleType_Music}) EXPECT_EQ(HandleManagerTable[type].Initialized, 0);
    EXPECT_EQ(Sound_ProcessPlayingAll(), -1);
    EXPECT_EQ(Sound_ProcessStreamsAll(), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);

    ASSERT_EQ(Sound_Initialize(), 0);   // a later start begins from a clean state
    EXPECT_EQ(Sound_Terminate(), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

decltype(WinAPITable.CreateThread) SystemCreateThread;

HANDLE WINAPI CreateThreadExceptTheProcessingThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                                    LPVOID parameter, DWORD flags, LPDWORD id)
{
    if (start == SoundWin_ProcessThread_Main) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return SystemCreateThread(attributes, stack, start, parameter, flags, id);
}

// With more than one logical processor only the processing thread refills streams and feeds players
// (the message processing leaves that to it): a start that cannot make it fails, runs the whole
// shut-down and leaves nothing behind; the next start makes it.
TEST(SoundModuleStartFailureTest, NoProcessingThreadFailsTheStart)
{
    WinAPI_EnsureLoaded();
    const int32_t processors = Window.LogicalProcessorCount;
    Window.LogicalProcessorCount = 2;
    ASSERT_EQ(Sound_Initialize(), 0);
    ASSERT_EQ(Sound_Terminate(), 0);
    const int32_t blocks = Memory_GetBlockCount();
    SystemCreateThread = WinAPITable.CreateThread;
    WinAPITable.CreateThread = CreateThreadExceptTheProcessingThread;
    const int started = Sound_Initialize();
    WinAPITable.CreateThread = SystemCreateThread;
    EXPECT_EQ(started, -1);
    EXPECT_EQ(SoundSystemState.Initialized, 0);
    EXPECT_EQ(SoundWin_IsOutputReady(), 0);
    EXPECT_EQ(SoundWinState.ProcessThread, nullptr);
    for (int type : {HandleType_Sound, HandleType_SoftSound, HandleType_Music}) EXPECT_EQ(HandleManagerTable[type].Initialized, 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);

    ASSERT_EQ(Sound_Initialize(), 0);
    EXPECT_NE(SoundWinState.ProcessThread, nullptr);
    EXPECT_EQ(Sound_Terminate(), 0);
    EXPECT_EQ(SoundWinState.ProcessThread, nullptr);
    Window.LogicalProcessorCount = processors;
}

TEST_F(SoundModuleLifecycleTest, PauseRemembersTheFirstStatesAndResumesOnlyWhatPlayed)
{
    SoundHandleRecord* sound = MakePlayingSound(true);
    ASSERT_NE(sound, nullptr);
    SoundHandleRecord* idle = MakePlayingSound(false);
    ASSERT_NE(idle, nullptr);
    ASSERT_EQ(PauseAllSounds(1), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&sound->Buffers[0]), 0);
    EXPECT_EQ(sound->Paused[0], 1);
    EXPECT_EQ(sound->WasPlaying[0], 1);
    EXPECT_EQ(idle->WasPlaying[0], 0);
    ASSERT_EQ(PauseAllSounds(1), 0);   // a second pause keeps what the first remembered
    EXPECT_EQ(sound->WasPlaying[0], 1);
    EXPECT_EQ(sound->WasPlaying[1], 1);

    // The playing list keeps a paused sound that was playing.
    ASSERT_EQ(Sound_ProcessPlayingAll(), 0);
    EXPECT_EQ(sound->InPlayingList, 1);
    EXPECT_EQ(idle->InPlayingList, 0);

    ASSERT_EQ(PauseAllSounds(0), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&sound->Buffers[0]), 1);
    EXPECT_EQ(sound->Buffers[0].Loop, 1);
    EXPECT_EQ(SoundBuffer_IsPlaying(&sound->Buffers[1]), 1);
    EXPECT_EQ(sound->Buffers[1].Loop, 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&idle->Buffers[0]), 0);
    EXPECT_EQ(sound->Paused[0], 0);
}

TEST_F(SoundModuleLifecycleTest, FinishedSoundsOfTheFinishListAreDeleted)
{
    SoundHandleRecord* sound = MakePlayingSound(false);
    ASSERT_NE(sound, nullptr);
    const HandleValue handle = sound->Header.Handle;
    Handle_List_Append(&SoundSystemState.SoundFinishDeleteList.End, &sound->NodeFinishDelete, handle, sound);
    sound->InFinishDeleteList = 1;
    ASSERT_EQ(Sound_ProcessFinishDeleteAll(), 0);
    EXPECT_EQ(Handle_GetRecord(handle), nullptr);
    EXPECT_EQ(SoundSystemState.SoundPlayingList.End.Prev, &SoundSystemState.SoundPlayingList.Start);
}

TEST_F(SoundModuleLifecycleTest, ToneBufferRefillsOnlyWhenTheWriterIsClose)
{
    SoundToneBuffer& tone = SoundSystemState.Tones[1];
    tone.ToneTable = (int16_t*)Memory_Allocate(3 * sizeof(int16_t), __FILE__, __LINE__);
    tone.ToneTable[0] = -300;
    tone.ToneTable[1] = 0;
    tone.ToneTable[2] = 300;
    tone.ToneLength = 3;
    ASSERT_EQ(SoundBuffer_Start(&tone.Buffer, 1), 0);

    ASSERT_EQ(Sound_ProcessStreamsAll(), 0);   // writer at the player: 22,050 samples ahead
    EXPECT_EQ(tone.WritePosition, 0);

    tone.WritePosition = 22000;                // 50 ahead of the player, across the end of the buffer
    ASSERT_EQ(SoundBuffer_SetPosition(&tone.Buffer, 2 * 21950), 0);
    ASSERT_EQ(Sound_ProcessStreamsAll(), 0);
    EXPECT_EQ(tone.WritePosition, (22000 + 5512) % 22050);
    const int16_t* samples = (const int16_t*)tone.Buffer.Wave->Data;
    EXPECT_EQ(samples[22000], -300);
    EXPECT_EQ(samples[22049], 0);
    EXPECT_EQ(samples[0], 300);
    EXPECT_EQ(samples[(22000 + 5512) % 22050 - 1], (int16_t)((5511 % 3 - 1) * 300));

    tone.StopTimerSet = 1;
    tone.StopTimerStamp = GetMillisecondCount() - 20;
    ASSERT_EQ(Sound_ProcessStreamsAll(), 0);
    EXPECT_EQ(SoundBuffer_IsPlaying(&tone.Buffer), 0);
    EXPECT_EQ(tone.StopTimerSet, 0);
}

}  // namespace
