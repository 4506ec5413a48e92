// VtSoundWin: the platform half of the sound state: the choice loop of the output back-ends, the
// waveOut output with its refill thread, the device-less output of last resort, releasing the
// output, and the sound-processing thread.
// Stands on the sound state, the mixer, the window state, the pump, the system function table and
// the back-end modules (VtSoundOutput*).
#include "sound/VtSoundWin.h"
#include "sound/VtSoundMusic.h"

#include <string.h>

#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
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

int SoundWin_MixInto(void* data, int32_t frames)
{
    const int sampleBytes = SoundSystemState.Output.BitsPerSample / 8;
    return Sound_Mixer_Render(data, (uint8_t*)data + sampleBytes, SoundSystemState.Output.BlockAlign, frames);
}

void SoundWin_LogOutputFormat()
{
    const SoundOutputFormat& format = SoundSystemState.Output;
    Log_AddFormatUTF16(L"チャンネル数  　   : %d ch", (int)format.Channels);
    Log_AddFormatUTF16(L"量子化ビット深度   : %d bit", (int)format.BitsPerSample);
    Log_AddFormatUTF16(L"有効ビット深度　   : %d bit", (int)format.ValidBits);
    Log_AddFormatUTF16(L"サンプリングレート : %d Hz", (int)format.SamplesPerSec);
    Log_AddTextUTF16(format.FloatFlag ? L"データ形式         : 浮動小数点型" : L"データ形式         : 整数型");
}

// waveOut ---------------------------------------------------------------------------------------

static void SoundWin_WaveOut_FillHeader(int index)
{
    SoundWin_MixInto(SoundWinState.WaveOutHeaders[index].lpData, SoundWinState.WaveOutFrames);
}

// Refills and queues again every header the done-callback handed over, until the output stops.
static DWORD WINAPI SoundWin_WaveOut_RefillThread_Main(LPVOID parameter)
{
    for (;;) {
        WinAPITable.WaitForSingleObject(SoundWinState.WaveOutRefillEvent, INFINITE);
        if (InterlockedCompareExchange(&SoundWinState.WaveOutStopping, 0, 0) != 0) break;
        const LONG done = InterlockedExchange(&SoundWinState.WaveOutDoneMask, 0);
        for (int i = 0; i < 2; i++) {
            if ((done & (1 << i)) == 0) continue;
            SoundWin_WaveOut_FillHeader(i);
            WinAPITable.waveOutWrite(SoundWinState.WaveOutDevice, &SoundWinState.WaveOutHeaders[i], sizeof(WAVEHDR));
        }
    }
    return 0;
}

void CALLBACK SoundWin_WaveOut_DoneCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR parameter1,
                                            DWORD_PTR parameter2)
{
    if (InterlockedCompareExchange(&SoundWinState.WaveOutStopping, 0, 0) != 0 || message != WOM_DONE) return;
    const int index = parameter1 == (DWORD_PTR)&SoundWinState.WaveOutHeaders[0] ? 0 : 1;
    InterlockedOr(&SoundWinState.WaveOutDoneMask, 1 << index);
    // Only the refill thread may call waveOut functions: the system forbids them in this callback.
    WinAPITable.SetEvent(SoundWinState.WaveOutRefillEvent);
}

// Releases whatever a waveOut open made, in the reverse order. Callable at any stage.
int SoundWin_WaveOut_Close()
{
    SoundWinStateRecord& win = SoundWinState;
    InterlockedExchange(&win.WaveOutStopping, 1);
    if (win.WaveOutRefillThread != nullptr) {
        WinAPITable.SetEvent(win.WaveOutRefillEvent);
        WinAPITable.WaitForSingleObject(win.WaveOutRefillThread, INFINITE);
        WinAPITable.CloseHandle(win.WaveOutRefillThread);
        win.WaveOutRefillThread = nullptr;
    }
    if (win.WaveOutDevice != nullptr) {
        WinAPITable.waveOutReset(win.WaveOutDevice);
        for (int i = 0; i < 2; i++) {
            if (win.WaveOutHeaders[i].dwFlags & WHDR_PREPARED)
                WinAPITable.waveOutUnprepareHeader(win.WaveOutDevice, &win.WaveOutHeaders[i], sizeof(WAVEHDR));
        }
        WinAPITable.waveOutClose(win.WaveOutDevice);
        win.WaveOutDevice = nullptr;
    }
    if (win.WaveOutRefillEvent != nullptr) {
        WinAPITable.CloseHandle(win.WaveOutRefillEvent);
        win.WaveOutRefillEvent = nullptr;
    }
    Memory_Free(win.WaveOutBlock);
    win.WaveOutBlock = nullptr;
    memset(win.WaveOutHeaders, 0, sizeof(win.WaveOutHeaders));
    win.WaveOutDoneMask = 0;
    return 0;
}

static int SoundWin_WaveOut_Fail(const wchar_t* message)
{
    Log_Indent_Decrease();
    Log_AddTextUTF16(message);
    SoundWin_WaveOut_Close();
    return -1;
}

int SoundWin_WaveOut_Open()
{
    static const GUID subtypePcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    SoundWinStateRecord& win = SoundWinState;
    Log_AddTextUTF16(L"MME waveOut の初期化を行います\n");
    Log_Indent_Increase();
    win.WaveOutStopping = 0;
    win.WaveOutDoneMask = 0;

    const int rate = win.WaveOutConfigured && win.WaveOutConfigRate > 0 ? win.WaveOutConfigRate : 44100;
    const int frames = win.WaveOutConfigured && win.WaveOutConfigFrames > 0 ? win.WaveOutConfigFrames : rate / 30;
    win.WaveOutFrames = frames;

    WAVEFORMATEXTENSIBLE format;
    memset(&format, 0, sizeof(format));
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = (DWORD)rate;
    format.Format.wBitsPerSample = 16;
    format.Format.nBlockAlign = 4;
    format.Format.nAvgBytesPerSec = (DWORD)rate * 4;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = 16;
    format.dwChannelMask = 3;
    format.SubFormat = subtypePcm;
    win.OutputFormat = format;
    Sound_Mixer_SetOutputFormat(&format, 0, 0);
    SoundWin_LogOutputFormat();
    Log_AddFormatUTF16(L"遅延時間           : %.3f ms", (double)((float)frames / (float)rate * 1000.0f));

    if (Sound_SetupMixingWorkBuffer(0, frames) != 0) return SoundWin_WaveOut_Fail(L"自前ミキシング作業用バッファの確保に失敗しました\n");

    WAVEFORMATEX device = format.Format;
    device.wFormatTag = WAVE_FORMAT_PCM;
    device.cbSize = 0;
    // The refill thread exists before the device, so the first done-callback finds it.
    win.WaveOutRefillEvent = WinAPITable.CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (win.WaveOutRefillEvent != nullptr)
        win.WaveOutRefillThread = WinAPITable.CreateThread(nullptr, 0, SoundWin_WaveOut_RefillThread_Main, nullptr, 0, nullptr);
    if (win.WaveOutRefillThread == nullptr) return SoundWin_WaveOut_Fail(L"waveOut 補充用スレッドの作成に失敗しました\n");
    WinAPITable.SetThreadPriority(win.WaveOutRefillThread, THREAD_PRIORITY_TIME_CRITICAL);

    if (WinAPITable.waveOutOpen(&win.WaveOutDevice, WAVE_MAPPER, &device, (DWORD_PTR)SoundWin_WaveOut_DoneCallback, 0,
                                CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        win.WaveOutDevice = nullptr;
        return SoundWin_WaveOut_Fail(L"waveOutOpen が失敗しました\n");
    }
    const uint64_t headerBytes = (uint64_t)device.nBlockAlign * (uint64_t)frames;
    if (headerBytes * 2 > 0x7fffffffu) return SoundWin_WaveOut_Fail(L"waveOutWrite 用のバッファの確保に失敗しました\n");
    win.WaveOutBlock = (uint8_t*)Memory_Allocate((uint32_t)(headerBytes * 2), "ViZedavWin", __LINE__);
    if (win.WaveOutBlock == nullptr) return SoundWin_WaveOut_Fail(L"waveOutWrite 用のバッファの確保に失敗しました\n");
    for (int i = 0; i < 2; i++) {
        memset(&win.WaveOutHeaders[i], 0, sizeof(WAVEHDR));
        win.WaveOutHeaders[i].dwBufferLength = (DWORD)headerBytes;
        win.WaveOutHeaders[i].dwLoops = 1;
        win.WaveOutHeaders[i].lpData = (LPSTR)(win.WaveOutBlock + headerBytes * i);
    }
    for (int i = 0; i < 2; i++) {
        if (WinAPITable.waveOutPrepareHeader(win.WaveOutDevice, &win.WaveOutHeaders[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            return SoundWin_WaveOut_Fail(L"waveOutPrepareHeader が失敗しました\n");
    }
    for (int i = 0; i < 2; i++) {
        SoundWin_WaveOut_FillHeader(i);
        if (WinAPITable.waveOutWrite(win.WaveOutDevice, &win.WaveOutHeaders[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
            return SoundWin_WaveOut_Fail(L"waveOutWrite が失敗しました\n");
    }
    Log_Indent_Decrease();
    Log_AddTextUTF16(L"MME waveOut の初期化は正常に終了しました\n");
    win.OutputDevice = 1;
    return 0;
}

// Choice loop ------------------------------------------------------------------------------------

int SoundWin_InitializeOutput()
{
    WinAPI_EnsureLoaded();
    SoundWinStateRecord& win = SoundWinState;
    SoundSystemStateRecord& state = SoundSystemState;
    if (win.OutputDevice != 0) return -1;
    if (!win.WasapiClockLockCreated) {
        CriticalSection_Create(&win.WasapiClockLock);
        win.WasapiClockLockCreated = 1;
    }
    for (;;) {
        if (state.MidiMode != 0) {
            if (state.MidiMode < 1 || state.MidiMode > 2) break;
            win.UseXAudio2 = 0;
            const int result = SoundWin_DirectMusic_Open();
            if (result == 0) break;
            if (result == -2) return -1;    // fatal: the performance exists but could not start
            state.MidiMode = 0;
            continue;
        }
        if (win.UseAsio) {
            state.SoftwareMixing = 1;
            if (SoundWin_Asio_Open() == 0) break;
            win.UseAsio = 0;
            state.SoftwareMixing = 0;
            continue;
        }
        if (win.UseWaveOut) {
            state.SoftwareMixing = 1;
            if (SoundWin_WaveOut_Open() == 0) break;
            win.UseWaveOut = 0;
            state.SoftwareMixing = 0;
            continue;
        }
        if (win.UseDirectSoundFamily == 0) {
            if (SoundWin_Wasapi_Open() == 0) {
                win.OutputDevice = 1;
                break;
            }
            continue;
        }
        if (win.UseXAudio2) {
            if (SoundWin_XAudio2_Open() == 0) break;
            SoundWin_PlatformOutput_Close();
            win.OutputDevice = 0;
            win.UseXAudio2 = 0;
            continue;
        }
        if (SoundWin_DirectSound_Open() != 0) {
            // No device at all: the library runs on with the device-less output, silent, so that
            // sound handles and the mixer keep working for whoever asks.
            Log_AddTextUTF16(L"出力デバイスが無いため、出力デバイスを使わない自前ミキシング出力を開きます\n");
            if (SoundWin_OpenDevicelessOutput(nullptr) != 0) return -1;
        }
        break;
    }
    SoundWin_PlatformOutput_Finish();
    SoundWin_Store3DDefaults();
    return 0;
}

int SoundWin_InitializeOutput_Finish()
{
    WinAPI_EnsureLoaded();
    SoundWinStateRecord& win = SoundWinState;
    const bool platformMixed = !win.UseWaveOut && !win.UseAsio && win.UseDirectSoundFamily && win.OutputDevice > 1;
    // The XAudio2 open left the log indented for this step's closing line.
    if (platformMixed && win.UseXAudio2) Log_Indent_Decrease();
    if (Window.LogicalProcessorCount > 1 && win.ProcessThread == nullptr) {
        win.ProcessThreadState = 0;
        DWORD id = 0;
        HANDLE thread = WinAPITable.CreateThread(nullptr, 0, SoundWin_ProcessThread_Main, nullptr, CREATE_SUSPENDED, &id);
        if (thread == nullptr) {
            // Without it nothing would refill streams or feed players on this machine (the message
            // processing leaves that to the thread): the start-up fails, and its caller undoes it.
            Log_AddTextUTF16(L"サウンド処理用スレッドの作成に失敗しました\n");
            return -1;
        }
        WinAPITable.SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
        win.ProcessThread = thread;
        win.ProcessThreadId = id;
        WinAPITable.ResumeThread(thread);
    }
    if (platformMixed) {
        Log_AddTextUTF16(win.UseXAudio2 ? L"XAudio2 の初期化は正常に終了しました\n" : L"DirectSound の初期化は正常に終了しました\n");
    }
    return 0;
}

int SoundWin_IsOutputReady() { return SoundWinState.OutputDevice != 0 ? 1 : 0; }

int SoundWin_GetOutputClock(uint64_t* position, uint64_t* frequency)
{
    // The WASAPI clock starts at 0 with each opening; the frames mixed before it (by an earlier
    // opening, before a default-device change) come first, so that the clock runs on with the
    // mixer's count of output frames, which the buffers' start frames are counted in.
    SoundWinStateRecord& win = SoundWinState;
    if (!win.WasapiClockLockCreated) return -1;
    CriticalSection_Enter(&win.WasapiClockLock, "ViZedavWin", __LINE__);
    uint64_t raw = 0, rawFrequency = 0;
    const int result = SoundWin_Wasapi_GetClockPosition(&raw, &rawFrequency);
    const uint64_t base = win.WasapiClockBase;
    const uint32_t rate = win.WasapiClockRate;
    CriticalSection_Leave(&win.WasapiClockLock);
    if (result != 0 || rawFrequency == 0 || rate == 0) return -1;
    *position = base + (uint64_t)((double)raw * (double)rate / (double)rawFrequency);
    *frequency = rate;
    return 0;
}

int SoundWin_Midi_IsPlaying(const void* musicRecord)
{
    const int mode = SoundSystemState.MidiMode;
    if (mode == 0) return SoundMusicState.MciPlaying;
    if (mode == 1 || mode == 2) return musicRecord != nullptr ? ((const MusicRecord*)musicRecord)->Playing : 0;
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
    SoundWinStateRecord& win = SoundWinState;
    WinAPI_EnsureLoaded();
    SoundWin_Music_Terminate();
    SoundSystemState.MciDeviceId = -1;
    SoundWin_WaveOut_Close();
    SoundWin_Asio_Close();
    SoundWin_Wasapi_Close();
    SoundWin_PlatformOutput_Close();
    // The processing thread has ended: nothing reads the clock any more.
    if (win.WasapiClockLockCreated) {
        CriticalSection_Delete(&win.WasapiClockLock);
        win.WasapiClockLockCreated = 0;
    }
    win.OutputDevice = 0;
    SoundSystemState.SoftwareMixing = 0;
    return 0;
}

}  // namespace Vantrel
