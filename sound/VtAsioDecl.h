// VtAsioDecl: the ASIO driver interface as its vendor publishes it (the compiler's headers have
// none): the IASIO COM interface in its published method order, the records its methods take, the
// host callbacks, the sample-type and error codes. Used by the ASIO output and the tests' fake driver.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace Vantrel {

typedef long ASIOBool;
typedef long ASIOError;
typedef long ASIOSampleType;
typedef double ASIOSampleRate;

constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

// Error codes.
constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3f4847a0;
constexpr ASIOError ASE_NotPresent = -1000;
constexpr ASIOError ASE_HWMalfunction = -999;
constexpr ASIOError ASE_InvalidParameter = -998;
constexpr ASIOError ASE_InvalidMode = -997;
constexpr ASIOError ASE_SPNotAdvancing = -996;
constexpr ASIOError ASE_NoClock = -995;
constexpr ASIOError ASE_NoMemory = -994;

// Sample types (the codes the sample-type table of the output is indexed by).
enum : ASIOSampleType {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
    ASIOSTLastEntry
};

// 64-bit values split in two 32-bit halves, most significant first.
struct ASIOSamples {
    unsigned long hi;
    unsigned long lo;
};
struct ASIOTimeStamp {
    unsigned long hi;
    unsigned long lo;
};

struct ASIOClockSource {
    long index;
    long associatedChannel;
    long associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    long channel;           // in: the channel asked for
    ASIOBool isInput;       // in
    ASIOBool isActive;      // out
    long channelGroup;      // out
    ASIOSampleType type;    // out
    char name[32];          // out
};

struct ASIOBufferInfo {
    ASIOBool isInput;       // in
    long channelNum;        // in
    void* buffers[2];       // out: the two half-buffers of the double buffer
};

// Only named here: the host hands no time-info callback.
struct ASIOTime;

// The host's callbacks (plain C calling convention), handed to createBuffers.
struct ASIOCallbacks {
    void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sampleRate);
    long (*asioMessage)(long selector, long value, void* message, double* optional);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* parameters, long doubleBufferIndex, ASIOBool directProcess);
};

// The driver's methods after IUnknown use the C++ member-function convention of the platform's
// compiler (thiscall on 32-bit x86); the IUnknown methods keep stdcall.
#if defined(__i386__)
#define VT_ASIO_METHOD __attribute__((thiscall))
#else
#define VT_ASIO_METHOD
#endif

// The driver object; its interface id is the driver's own CLSID.
struct IASIO : public IUnknown {
    virtual ASIOBool VT_ASIO_METHOD init(void* systemHandle) = 0;
    virtual void VT_ASIO_METHOD getDriverName(char* name) = 0;
    virtual long VT_ASIO_METHOD getDriverVersion() = 0;
    virtual void VT_ASIO_METHOD getErrorMessage(char* text) = 0;
    virtual ASIOError VT_ASIO_METHOD start() = 0;
    virtual ASIOError VT_ASIO_METHOD stop() = 0;
    virtual ASIOError VT_ASIO_METHOD getChannels(long* inputChannels, long* outputChannels) = 0;
    virtual ASIOError VT_ASIO_METHOD getLatencies(long* inputLatency, long* outputLatency) = 0;
    virtual ASIOError VT_ASIO_METHOD getBufferSize(long* minimumSize, long* maximumSize, long* preferredSize,
                                                   long* granularity) = 0;
    virtual ASIOError VT_ASIO_METHOD canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError VT_ASIO_METHOD getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError VT_ASIO_METHOD setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError VT_ASIO_METHOD getClockSources(ASIOClockSource* clocks, long* sourceCount) = 0;
    virtual ASIOError VT_ASIO_METHOD setClockSource(long reference) = 0;
    virtual ASIOError VT_ASIO_METHOD getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) = 0;
    virtual ASIOError VT_ASIO_METHOD getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError VT_ASIO_METHOD createBuffers(ASIOBufferInfo* bufferInfos, long channelCount, long bufferSize,
                                                   ASIOCallbacks* callbacks) = 0;
    virtual ASIOError VT_ASIO_METHOD disposeBuffers() = 0;
    virtual ASIOError VT_ASIO_METHOD controlPanel() = 0;
    virtual ASIOError VT_ASIO_METHOD future(long selector, void* optional) = 0;
    virtual ASIOError VT_ASIO_METHOD outputReady() = 0;
};

}  // namespace Vantrel
