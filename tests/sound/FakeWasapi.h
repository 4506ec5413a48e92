// A WASAPI endpoint of the test's own (FakeWasapi.cpp): a device enumerator handed out by the
// system function table's CoCreateInstance in place of the system's, with its device, audio
// clients, render clients and clocks. It answers as the test configures it (the formats exclusive
// mode supports, what Initialize says, the padding, the clock) and records what the sound system
// asked of it. Wine gives no exclusive mode, so this is how the exclusive paths are driven.
// Objects are never freed while installed: a call on a released one is counted, not a crash.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace FakeWasapi {

// One Initialize call as the fake saw it.
struct InitializeCall {
    AUDCLNT_SHAREMODE Mode;
    DWORD Flags;
    REFERENCE_TIME Duration;
    REFERENCE_TIME Periodicity;
    WAVEFORMATEXTENSIBLE Format;
    int Client;     // which activation of the device made the client (1 the first)
};

struct Settings {
    WAVEFORMATEXTENSIBLE MixFormat = {};                // shared mode; 32-bit float stereo 48 kHz by default
    // Exclusive mode: whether IsFormatSupported accepts the format (default: nothing).
    std::function<bool(const WAVEFORMATEXTENSIBLE&)> ExclusiveSupported;
    // What Initialize answers (default S_OK); the call is already recorded when it is asked.
    std::function<HRESULT(const InitializeCall&)> InitializeResult;
    UINT32 BufferFrames = 480;
    REFERENCE_TIME DefaultPeriod = 100000;              // 10 ms
    REFERENCE_TIME MinimumPeriod = 30000;
    UINT64 ClockFrequency = 10000000;                   // clock units per second
    DWORD ClockCallMilliseconds = 0;                    // GetFrequency takes this long
    bool FailEnumerator = false;
};

// Installs the fake into the system function table (other classes still reach the system's).
void Install(const Settings& settings);
// Puts the system's CoCreateInstance back and frees every fake object.
void Uninstall();
Settings& Current();

// Recorded calls and the objects of the last opening.
std::vector<WAVEFORMATEXTENSIBLE> ExclusiveQueries();
std::vector<InitializeCall> Initializations();
int Activations();
HANDLE EventHandle();                   // what SetEventHandle was given last
IMMNotificationClient* Notification();  // the registered client, or null
LONG ClockCallsAfterRelease();
LONG RenderCalls();                     // ReleaseBuffer calls with frames
DWORD RenderThread();                   // the thread of the last GetBuffer
std::vector<uint8_t> LastRendered();    // the bytes of the last ReleaseBuffer
UINT32 LastRenderedFrames();

// The shared-mode render thread gets this many frames free (0: the endpoint buffer is full).
void SetFreeFrames(UINT32 frames);
// The position of the current opening's clock, in output frames (counted at the opening's rate).
void SetClockFrames(UINT64 frames);

}  // namespace FakeWasapi
