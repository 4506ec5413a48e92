// VtSoundWin: the platform half of the sound state: opening and releasing the output, the output
// format, and the sound-processing thread. The device back-ends are not part of this module yet:
// the output opened is the device-less self-mixed one, whose frames whoever calls the mixer takes.
// Stands on the sound state, the mixer, the window state, the pump and the system function table.
#include "sound/VtSoundWin.h"

#include <string.h>

#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtWinAPI.h"
#include "sound/VtSound.h"
#include "sound/VtSoundMixer.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"

namespace Vantrel {

SoundWinStateRecord SoundWinState;

int SoundWin_OpenDevicelessOutput(const WAVEFORMATEXTENSIBLE* format)
{
    static const GUID subtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    WAVEFORMATEXTENSIBLE chosen;
    if (format != nullptr) {
        chosen = *format;
    } else {
        memset(&chosen, 0, sizeof(chosen));
        chosen.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        chosen.Format.nChannels = 2;
        chosen.Format.nSamplesPerSec = 44100;
        chosen.Format.wBitsPerSample = 16;
        chosen.Format.nBlockAlign = 4;
        chosen.Format.nAvgBytesPerSec = 44100 * 4;
        chosen.Format.cbSize = 22;
        chosen.Samples.wValidBitsPerSample = 16;
        chosen.dwChannelMask = 3;
        chosen.SubFormat = subtypePcm;
    }
    SoundSystemState.SoftwareMixing = 1;
    if (Sound_Mixer_SetOutputFormat(&chosen, 0, 0) != 0) {
        SoundSystemState.SoftwareMixing = 0;
        return -1;
    }
    SoundWinState.OutputFormat = chosen;
    const int frames = (int)(chosen.Format.nSamplesPerSec / 30);
    if (Sound_SetupMixingWorkBuffer(SoundSystemState.Output.FloatFlag, frames > 0 ? frames : 1) != 0) {
        Log_AddTextUTF16(L"自前ミキシング作業用バッファの確保に失敗しました\n");
        SoundSystemState.SoftwareMixing = 0;
        return -1;
    }
    SoundWinState.OutputDevice = 1;
    return 0;
}

int SoundWin_InitializeOutput()
{
    WinAPI_EnsureLoaded();
    if (SoundWinState.OutputDevice != 0) return -1;
    Log_AddTextUTF16(L"出力デバイスを使わない自前ミキシング出力を開きます\n");
    return SoundWin_OpenDevicelessOutput(nullptr);
}

int SoundWin_InitializeOutput_Finish()
{
    WinAPI_EnsureLoaded();
    if (Window.LogicalProcessorCount > 1 && SoundWinState.ProcessThread == nullptr) {
        SoundWinState.ProcessThreadState = 0;
        DWORD id = 0;
        HANDLE thread = WinAPITable.CreateThread(nullptr, 0, SoundWin_ProcessThread_Main, nullptr, CREATE_SUSPENDED, &id);
        if (thread != nullptr) {
            WinAPITable.SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
            SoundWinState.ProcessThread = thread;
            SoundWinState.ProcessThreadId = id;
            WinAPITable.ResumeThread(thread);
        } else {
            Log_AddTextUTF16(L"サウンド処理用スレッドの作成に失敗しました\n");
        }
    }
    Log_AddTextUTF16(L"自前ミキシング出力の初期化は正常に終了しました\n");
    return 0;
}

int SoundWin_IsOutputReady() { return SoundWinState.OutputDevice != 0 ? 1 : 0; }

int SoundWin_GetOutputClock(uint64_t* position, uint64_t* frequency)
{
    // Only a device output has a clock to read.
    return -1;
}

DWORD WINAPI SoundWin_ProcessThread_Main(LPVOID parameter)
{
    WinAPI_EnsureLoaded();
    while (InterlockedCompareExchange(&SoundWinState.ProcessThreadState, 0, 0) != 1 && SoundSystemState.Initialized) {
        CriticalSection_Enter(&HandleManagerTable[HandleType_Sound].Lock, "VtSoundWin", __LINE__);
        Sound_ProcessStreamsAll();
        Sound_Process3DAll();
        Sound_ProcessPlayingAll();
        CriticalSection_Leave(&HandleManagerTable[HandleType_Sound].Lock);
        CriticalSection_Enter(&HandleManagerTable[HandleType_SoftSound].Lock, "VtSoundWin", __LINE__);
        SoftSound_ProcessPlayersAll();
        CriticalSection_Leave(&HandleManagerTable[HandleType_SoftSound].Lock);
        WinAPITable.Sleep(10);
    }
    InterlockedExchange(&SoundWinState.ProcessThreadState, 2);
    return 0;
}

int SoundWin_Terminate_StopThread()
{
    WinAPI_EnsureLoaded();
    HANDLE thread = SoundWinState.ProcessThread;
    if (thread == nullptr) return 0;
    InterlockedExchange(&SoundWinState.ProcessThreadState, 1);
    int pump = System_PollMessagesNoLock();
    while (pump == 0 && InterlockedCompareExchange(&SoundWinState.ProcessThreadState, 1, 1) == 1) {
        WinAPITable.Sleep(2);
        pump = System_PollMessagesNoLock();
    }
    // Whatever the pump said, the thread still reads the lists, locks and buffers shut-down frees:
    // they go only once it has ended.
    WinAPITable.WaitForSingleObject(thread, INFINITE);
    WinAPITable.CloseHandle(thread);
    SoundWinState.ProcessThread = nullptr;
    SoundWinState.ProcessThreadId = 0;
    SoundWinState.ProcessThreadState = 0;
    return 0;
}

int SoundWin_Terminate_ReleaseOutput()
{
    SoundSystemState.MciDeviceId = -1;
    // The device-less output holds no objects.
    SoundWinState.OutputDevice = 0;
    SoundSystemState.SoftwareMixing = 0;
    return 0;
}

}  // namespace Vantrel
