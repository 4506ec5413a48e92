// A fake ASIO driver of our own (VtFakeAsio.dll, an in-process COM server): what the test tells it to
// answer, and what it records of the host. The test loads the DLL itself (the same module COM loads
// for the driver object) and reaches these through the exported functions below.
#pragma once

#include <windows.h>

namespace FakeAsio {

// {6A0C3E52-8D1B-4F47-9A21-5C3B7E90D4F1}: the class the test registers for the driver.
constexpr CLSID Clsid = {0x6a0c3e52, 0x8d1b, 0x4f47, {0x9a, 0x21, 0x5c, 0x3b, 0x7e, 0x90, 0xd4, 0xf1}};
constexpr const wchar_t* ClsidText = L"{6A0C3E52-8D1B-4F47-9A21-5C3B7E90D4F1}";

// What the driver answers.
struct Script {
    long InitResult;            // ASIOBool returned by init
    long BufferSizeResult;      // ASIOError of getBufferSize
    long Minimum, Maximum, Preferred, Granularity;
    long ChannelInfoResult;
    long SampleType;            // of every channel
    long SetRateResult;
    double Rate;                // the rate the driver runs at until set otherwise
    long CreateBuffersResult;
    long StartResult;
};

// What the driver saw.
struct Record {
    LONG Objects;               // driver objects alive
    LONG References;            // references held on the last driver object
    int InitCalls;
    void* InitHandle;
    int BufferSizeCalls;
    int ChannelInfoCalls;
    int CreateBuffersCalls;
    long ChannelCount;
    long BufferSize;
    long Channels[2];
    long IsInput[2];
    double RateSet;
    int StartCalls, StopCalls, DisposeCalls;
    int BuffersLive;            // half-buffer pairs made and not yet disposed
    int ThreadRunning;          // the driver thread exists
    int Switches;               // buffer switches made
    int OutputReadyCalls;
    int OutputReadyOnDriverThread;  // of those, the calls made on the driver thread (inside the switch)
};

typedef void (*SetScriptProc)(const Script* script);
typedef void (*GetRecordProc)(Record* record);
// Lets the driver thread make `switches` buffer switches and copies what the host wrote: per switch,
// channel 0's half-buffer then channel 1's, each bufferSize x sample bytes. Returns the bytes
// copied, -1 when the driver is not running or the switches did not come within 10 s.
typedef int (*PullProc)(int switches, unsigned char* out, int capacity);
// The driver thread announces a new sample rate to the host (sampleRateDidChange). 0 / -1.
typedef int (*ChangeRateProc)(double rate);

}  // namespace FakeAsio
