// Media Foundation converter: a source reader asked for PCM decodes whatever Media Foundation reads,
// through the library's own byte stream over the record's Stream, so that sounds in archives and in
// memory decode as plain files do. Stands on the front end (VtSoundConvert), the system function
// table, the foundation's locks and memory, and the shared Media Foundation start-up of the movie
// module.
#include "sound/VtSoundConvertMF.h"

#include <new>
#include <string.h>

#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "movie/VtMovieMediaFoundation.h"

namespace Vantrel {

// ---- Byte stream -------------------------------------------------------------------------------------

void* D_SoundConvertMFByteStream::operator new(size_t size) noexcept
{
    return Memory_Allocate(uint32_t(size), "VtSoundConvertMF", __LINE__);
}

void D_SoundConvertMFByteStream::operator delete(void* block) noexcept
{
    if (block != nullptr) Memory_Free(block);
}

D_SoundConvertMFByteStream::D_SoundConvertMFByteStream(Stream* source, int64_t length)
    : ReferenceCount(1), ReadPending(0), PendingResult(nullptr), ReadDestination(nullptr), RequestedBytes(0),
      PositionAtBegin(0), BytesRead(0), Source(source), Length(length), Attributes(nullptr), Lock(), ReadThread(nullptr),
      WakeEvent(nullptr), ExitRequest(0), ThreadEnded(0)
{
    CriticalSection_Create(&Lock);
    if (WinAPITable.MFCreateAttributes != nullptr) WinAPITable.MFCreateAttributes(&Attributes, 0);
}

D_SoundConvertMFByteStream::~D_SoundConvertMFByteStream()
{
    Close();
    if (Attributes != nullptr) Attributes->Release();
    if (PendingResult != nullptr) PendingResult->Release();
    CriticalSection_Delete(&Lock);
}

int D_SoundConvertMFByteStream::Start()
{
    WakeEvent = WinAPITable.CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (WakeEvent == nullptr) return -1;
    ReadThread = WinAPITable.CreateThread(nullptr, 0, ReadThreadEntry, this, 0, nullptr);
    if (ReadThread == nullptr) {
        WinAPITable.CloseHandle(WakeEvent);
        WakeEvent = nullptr;
        return -1;
    }
    return 0;
}

DWORD WINAPI D_SoundConvertMFByteStream::ReadThreadEntry(void* parameter)
{
    D_SoundConvertMFByteStream* self = static_cast<D_SoundConvertMFByteStream*>(parameter);
    for (;;) {
        DWORD wait;
        do {
            wait = WinAPITable.WaitForSingleObject(self->WakeEvent, 16);
        } while (wait == WAIT_TIMEOUT && !self->ExitRequest);
        CriticalSection_Enter(&self->Lock, __FILE__, __LINE__);
        if (wait != WAIT_OBJECT_0 || self->ExitRequest || !self->ReadPending) {
            CriticalSection_Leave(&self->Lock);
            self->ThreadEnded = 1;
            return 0;
        }
        // The read is made under the lock: every use of the stream position is serialised by it.
        uint32_t got = 0;
        if (self->RequestedBytes != 0)
            got = self->Source->ops.Read(self->ReadDestination, 1, self->RequestedBytes, self->Source->data);
        self->BytesRead = got > self->RequestedBytes ? self->RequestedBytes : got;
        IMFAsyncResult* result = self->PendingResult;
        CriticalSection_Leave(&self->Lock);
        WinAPITable.MFInvokeCallback(result);
    }
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if (iid == IID_IMFByteStream || iid == IID_IUnknown) {
        AddRef();
        *object = static_cast<IMFByteStream*>(this);
        return S_OK;
    }
    if (iid == IID_IMFAttributes && Attributes != nullptr) {
        Attributes->AddRef();
        *object = Attributes;
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE D_SoundConvertMFByteStream::AddRef() { return ULONG(InterlockedIncrement(&ReferenceCount)); }

ULONG STDMETHODCALLTYPE D_SoundConvertMFByteStream::Release()
{
    LONG count = InterlockedDecrement(&ReferenceCount);
    if (count == 0) {
        delete this;
        return 0;
    }
    return ULONG(count);
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::GetCapabilities(DWORD* capabilities)
{
    if (capabilities == nullptr) return E_INVALIDARG;
    *capabilities = MFBYTESTREAM_IS_READABLE | MFBYTESTREAM_IS_SEEKABLE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::GetLength(QWORD* length)
{
    if (length == nullptr) return E_INVALIDARG;
    *length = QWORD(Length);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::SetLength(QWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::GetCurrentPosition(QWORD* position)
{
    if (position == nullptr) return E_INVALIDARG;
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    *position = QWORD(Source->ops.Tell(Source->data));
    CriticalSection_Leave(&Lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::SetCurrentPosition(QWORD position)
{
    return Seek(msoBegin, LONGLONG(position), 0, nullptr);
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::IsEndOfStream(BOOL* end)
{
    if (end == nullptr) return E_INVALIDARG;
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    *end = Source->ops.Tell(Source->data) >= Length ? TRUE : FALSE;
    CriticalSection_Leave(&Lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::Read(BYTE* buffer, ULONG count, ULONG* read)
{
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    if (ReadPending) {
        CriticalSection_Leave(&Lock);
        return E_FAIL;
    }
    uint32_t got = count != 0 ? Source->ops.Read(buffer, 1, count, Source->data) : 0;
    if (got > count) got = count;
    CriticalSection_Leave(&Lock);
    if (read != nullptr) *read = got;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::BeginRead(BYTE* buffer, ULONG count, IMFAsyncCallback* callback,
                                                                IUnknown* state)
{
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    if (ReadPending || ReadThread == nullptr || ThreadEnded) {
        CriticalSection_Leave(&Lock);
        return E_FAIL;
    }
    IMFAsyncResult* result = nullptr;
    HRESULT hr = WinAPITable.MFCreateAsyncResult(nullptr, callback, state, &result);
    if (FAILED(hr)) {
        CriticalSection_Leave(&Lock);
        return hr;
    }
    PendingResult = result;
    ReadDestination = buffer;
    RequestedBytes = count;
    ReadPending = 1;
    PositionAtBegin = Source->ops.Tell(Source->data);
    BytesRead = 0;
    WinAPITable.SetEvent(WakeEvent);
    CriticalSection_Leave(&Lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::EndRead(IMFAsyncResult* result, ULONG* read)
{
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    if (!ReadPending || result == nullptr || result != PendingResult) {
        CriticalSection_Leave(&Lock);
        return E_FAIL;
    }
    if (read != nullptr) *read = BytesRead;
    PendingResult->Release();
    PendingResult = nullptr;
    ReadPending = 0;
    CriticalSection_Leave(&Lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::Write(const BYTE*, ULONG, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::BeginWrite(const BYTE*, ULONG, IMFAsyncCallback*, IUnknown*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::EndWrite(IMFAsyncResult*, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::Seek(MFBYTESTREAM_SEEK_ORIGIN origin, LONGLONG offset, DWORD,
                                                           QWORD* current)
{
    if (origin != msoBegin && origin != msoCurrent) return E_INVALIDARG;
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    if (!ReadPending) {
        Source->ops.Seek(Source->data, offset, origin == msoCurrent ? SeekOrigin_Current : SeekOrigin_Start);
        if (current != nullptr) *current = QWORD(Source->ops.Tell(Source->data));
    }
    CriticalSection_Leave(&Lock);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::Flush() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE D_SoundConvertMFByteStream::Close()
{
    if (ReadThread == nullptr) return S_OK;
    CriticalSection_Enter(&Lock, __FILE__, __LINE__);
    ExitRequest = 1;
    CriticalSection_Leave(&Lock);
    while (!ThreadEnded) WinAPITable.Sleep(2);
    WinAPITable.CloseHandle(WakeEvent);
    WinAPITable.CloseHandle(ReadThread);
    WakeEvent = nullptr;
    ReadThread = nullptr;
    return S_OK;
}

D_SoundConvertMFByteStream* SoundConvertMF_CreateByteStream(Stream* source, int64_t length)
{
    D_SoundConvertMFByteStream* stream = new D_SoundConvertMFByteStream(source, length);
    if (stream == nullptr) return nullptr;
    if (stream->Attributes == nullptr || stream->Start() != 0) {
        stream->Release();
        return nullptr;
    }
    return stream;
}

// ---- Converter ---------------------------------------------------------------------------------------

namespace {

SoundConvertMFArea* MF(SoundConvertRecord* record) { return SoundConvert_Area<SoundConvertMFArea>(record); }

constexpr int64_t MF_UnitsPerSecond = 10000000;

// value x multiplier / divisor rounded down, for non-negative values, without overflow on the way.
int64_t MF_MulDiv(int64_t value, int64_t multiplier, int64_t divisor)
{
    if (value <= 0 || multiplier <= 0 || divisor <= 0) return 0;
    return value / divisor * multiplier + value % divisor * multiplier / divisor;
}

// The time of a sample, in 100-ns units, rounded up: a time rounded down lies inside the sample before,
// and the source would start from that one.
int64_t MF_SampleTime(int64_t sample, int64_t rate)
{
    int64_t time = MF_MulDiv(sample, MF_UnitsPerSecond, rate);
    return MF_MulDiv(time, rate, MF_UnitsPerSecond) < sample ? time + 1 : time;
}

template <typename T> void MF_ReleaseInterface(T*& object)
{
    if (object != nullptr) object->Release();
    object = nullptr;
}

void MF_ReleaseReaderChain(SoundConvertMFArea* area)
{
    MF_ReleaseInterface(area->Reader);
    MF_ReleaseInterface(area->CurrentType);
    MF_ReleaseInterface(area->RequestedType);
    MF_ReleaseInterface(area->ByteStream);
}

void MF_FreeAll(SoundConvertMFArea* area)
{
    MF_ReleaseReaderChain(area);
    if (area->SampleBuffer != nullptr) Memory_Free(area->SampleBuffer);
    area->SampleBuffer = nullptr;
    area->SampleCapacity = 0;
    area->Consumed = area->Held = 0;
}

// Sets the reader's position, in 100-ns units.
void MF_SetReaderPosition(SoundConvertMFArea* area, int64_t time)
{
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_I8;
    value.hVal.QuadPart = time;
    area->Reader->SetCurrentPosition(GUID_NULL, value);
}

// The stream's length, the position left at 0.
int64_t MF_MeasureStream(SoundConvertRecord* record)
{
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_End);
    int64_t length = record->Source.ops.Tell(record->Source.data);
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
    return length;
}

// Byte stream, reader and the request for PCM; the decoded type in the area. 0 or -1.
int MF_OpenReader(SoundConvertRecord* record, SoundConvertMFArea* area, int64_t length)
{
    area->ByteStream = SoundConvertMF_CreateByteStream(&record->Source, length);
    if (area->ByteStream == nullptr) return -1;
    if (FAILED(WinAPITable.MFCreateSourceReaderFromByteStream(area->ByteStream, nullptr, &area->Reader))) {
        area->Reader = nullptr;
        return -1;
    }
    if (FAILED(WinAPITable.MFCreateMediaType(&area->RequestedType))) {
        area->RequestedType = nullptr;
        return -1;
    }
    const DWORD audio = DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
    if (FAILED(area->RequestedType->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) ||
        FAILED(area->RequestedType->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM)) ||
        FAILED(area->Reader->SetCurrentMediaType(audio, nullptr, area->RequestedType)) ||
        FAILED(area->Reader->GetCurrentMediaType(audio, &area->CurrentType)) ||
        FAILED(area->Reader->SetStreamSelection(audio, TRUE)))
        return -1;
    return 0;
}

// The decoded type as a WAVEFORMATEX (freed with CoTaskMemFree); null when it cannot be had.
WAVEFORMATEX* MF_CurrentFormat(SoundConvertMFArea* area)
{
    WAVEFORMATEX* format = nullptr;
    UINT32 size = 0;
    if (area->CurrentType == nullptr ||
        FAILED(WinAPITable.MFCreateWaveFormatExFromMFMediaType(area->CurrentType, &format, &size, 0)))
        return nullptr;
    if (format != nullptr && size < 16) {
        WinAPITable.CoTaskMemFree(format);
        return nullptr;
    }
    return format;
}

int MF_Setup(SoundConvertRecord* record, SoundConvertMFArea* area, WAVEFORMATEX** format)
{
    int64_t here = record->Source.ops.Tell(record->Source.data);
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_End);
    int64_t length = record->Source.ops.Tell(record->Source.data);
    record->Source.ops.Seek(record->Source.data, here < 0 ? 0 : here, SeekOrigin_Start);
    if (length <= 0) return -1;
    if (MovieWin_StartupMediaFoundation() != 0) return -1;
    if (MF_OpenReader(record, area, length) != 0) return -1;
    if ((*format = MF_CurrentFormat(area)) == nullptr) return -1;

    const DWORD audio = DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
    DWORD flags = 0;
    LONGLONG timeStamp = 0;
    IMFSample* sample = nullptr;
    if (FAILED(area->Reader->ReadSample(audio, 0, nullptr, &flags, &timeStamp, &sample))) return -1;
    if (sample != nullptr) sample->Release();
    if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
        MF_ReleaseInterface(area->CurrentType);
        if (FAILED(area->Reader->GetCurrentMediaType(audio, &area->CurrentType))) {
            area->CurrentType = nullptr;
            return -1;
        }
        WinAPITable.CoTaskMemFree(*format);
        if ((*format = MF_CurrentFormat(area)) == nullptr) return -1;
    }
    MF_SetReaderPosition(area, 0);
    PROPVARIANT duration;
    PropVariantInit(&duration);
    if (SUCCEEDED(area->Reader->GetPresentationAttribute(DWORD(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                         &duration))) {
        if (duration.vt == VT_UI8) area->Duration = int64_t(duration.uhVal.QuadPart);
        else if (duration.vt == VT_I8) area->Duration = duration.hVal.QuadPart;
        if (WinAPITable.PropVariantClear != nullptr) WinAPITable.PropVariantClear(&duration);
    }
    if (area->Duration < 0) area->Duration = 0;

    area->SampleBuffer = static_cast<uint8_t*>(Memory_Allocate(4096, "VtSoundConvertMF", __LINE__));
    if (area->SampleBuffer == nullptr) return -1;
    area->SampleCapacity = 4096;
    area->Consumed = area->Held = 0;

    const WAVEFORMATEX* f = *format;
    if (f->nChannels == 0 || f->nSamplesPerSec == 0 || f->wBitsPerSample == 0 || f->wBitsPerSample % 8 != 0) return -1;
    SoundConvert_SetPcmOutput(record, f->nChannels, int(f->nSamplesPerSec), f->wBitsPerSample);
    int64_t blockAlign = record->OutputFormat.nBlockAlign;
    record->StagingSize = (4096 + blockAlign - 1) / blockAlign * blockAlign;
    record->DataSize = MF_MulDiv(area->Duration, record->OutputFormat.nAvgBytesPerSec, MF_UnitsPerSecond);
    return 0;
}

// Rebuilds the reader chain after a failed read and reads again at the current output position.
HRESULT MF_ReadAfterRebuild(SoundConvertRecord* record, SoundConvertMFArea* area, DWORD* flags, LONGLONG* timeStamp,
                            IMFSample** sample)
{
    MF_ReleaseReaderChain(area);
    int64_t length = MF_MeasureStream(record);
    if (length <= 0 || MF_OpenReader(record, area, length) != 0) return E_FAIL;
    int64_t sampleAt = (record->Position + record->Staged) / record->OutputFormat.nBlockAlign;
    MF_SetReaderPosition(area, MF_SampleTime(sampleAt, record->OutputFormat.nSamplesPerSec));
    return area->Reader->ReadSample(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, nullptr, flags, timeStamp, sample);
}

// Reads the next sample that carries bytes at or after the record's position into the sample buffer.
// 0, or -1 at the end of the data.
int MF_FetchSample(SoundConvertRecord* record, SoundConvertMFArea* area)
{
    const int64_t blockAlign = record->OutputFormat.nBlockAlign;
    const int64_t rate = record->OutputFormat.nSamplesPerSec;
    bool rebuilt = false;
    for (;;) {
        DWORD flags = 0;
        LONGLONG timeStamp = 0;
        IMFSample* sample = nullptr;
        HRESULT hr = area->Reader != nullptr
                         ? area->Reader->ReadSample(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, nullptr, &flags,
                                                    &timeStamp, &sample)
                         : E_FAIL;
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            if (sample != nullptr) sample->Release();
            sample = nullptr;
            if (rebuilt) return -1;
            rebuilt = true;
            flags = 0;
            hr = MF_ReadAfterRebuild(record, area, &flags, &timeStamp, &sample);
            if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
                if (sample != nullptr) sample->Release();
                return -1;
            }
        }
        if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
            if (sample != nullptr) sample->Release();
            continue;
        }
        if ((flags & MF_SOURCE_READERF_ENDOFSTREAM) || sample == nullptr) {
            if (sample != nullptr) sample->Release();
            return -1;
        }
        // Where the sample starts, in whole frames (rounded to the nearest, so that contiguous samples
        // whose time stamps were truncated to 100 ns meet exactly).
        int64_t startFrame = timeStamp < 0 ? -MF_MulDiv(-timeStamp * 2, rate, MF_UnitsPerSecond) / 2
                                           : (MF_MulDiv(timeStamp, rate * 2, MF_UnitsPerSecond) + 1) / 2;
        int64_t startByte = startFrame * blockAlign;

        IMFMediaBuffer* buffer = nullptr;
        if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) || buffer == nullptr) {
            sample->Release();
            return -1;
        }
        BYTE* data = nullptr;
        DWORD length = 0;
        int result = 0;
        if (FAILED(buffer->Lock(&data, nullptr, &length))) {
            result = -1;
        } else {
            int64_t skip = record->Position - startByte;
            if (length == 0) {
                result = -1;
            } else if (skip >= int64_t(length)) {
                result = 1;  // wholly before the position: the next one
            } else {
                if (int64_t(length) + 4096 > INT32_MAX) {
                    result = -1;
                } else if (int64_t(length) > area->SampleCapacity) {
                    uint8_t* grown = static_cast<uint8_t*>(
                        Memory_Allocate(uint32_t(length) + 4096, "VtSoundConvertMF", __LINE__));
                    if (grown == nullptr) {
                        result = -1;
                    } else {
                        Memory_Free(area->SampleBuffer);
                        area->SampleBuffer = grown;
                        area->SampleCapacity = int32_t(length) + 4096;
                    }
                }
                if (result == 0) {
                    memcpy(area->SampleBuffer, data, length);
                    area->Held = int32_t(length);
                    // A sample that straddles the position starts at it.
                    area->Consumed = skip > 0 ? int32_t(skip) : 0;
                }
            }
            if (FAILED(buffer->Unlock())) result = -1;
        }
        buffer->Release();
        sample->Release();
        if (result <= 0) return result;
    }
}

}  // namespace

int SoundConvertWin_MF_Setup(SoundConvertRecord* record)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.MfplatDLL == nullptr || WinAPITable.MfreadwriteDLL == nullptr || WinAPITable.MFStartup == nullptr ||
        WinAPITable.MFCreateMediaType == nullptr || WinAPITable.MFCreateWaveFormatExFromMFMediaType == nullptr ||
        WinAPITable.MFCreateAttributes == nullptr || WinAPITable.MFCreateAsyncResult == nullptr ||
        WinAPITable.MFInvokeCallback == nullptr || WinAPITable.MFCreateSourceReaderFromURL == nullptr ||
        WinAPITable.MFCreateSourceReaderFromByteStream == nullptr)
        return -1;
    SoundConvertMFArea* area = MF(record);
    memset(record->Area, 0, sizeof(record->Area));
    WAVEFORMATEX* format = nullptr;
    int result = MF_Setup(record, area, &format);
    if (format != nullptr) WinAPITable.CoTaskMemFree(format);
    if (result != 0) {
        MF_FreeAll(area);
        return -1;
    }
    record->Kind = SoundConvertKind_MediaFoundation;
    return 0;
}

int SoundConvertWin_MF_Step(SoundConvertRecord* record)
{
    SoundConvertMFArea* area = MF(record);
    if (area->Held == area->Consumed && MF_FetchSample(record, area) != 0) return -1;
    const int64_t blockAlign = record->OutputFormat.nBlockAlign;
    int64_t available = int64_t(area->Held) - area->Consumed;
    int64_t n = available < record->StagingSize ? available : record->StagingSize;
    memcpy(record->StagingBuffer, area->SampleBuffer + area->Consumed, size_t(n));
    // A part frame at the end of a sample is completed with silence: never past the held bytes.
    int64_t whole = (n + blockAlign - 1) / blockAlign * blockAlign;
    if (whole > n) memset(record->StagingBuffer + n, 0, size_t(whole - n));
    area->Consumed += int32_t(n);
    record->Staged = whole;
    return 0;
}

void SoundConvertWin_MF_Seek(SoundConvertRecord* record, int64_t sample)
{
    SoundConvertMFArea* area = MF(record);
    if (area->Reader != nullptr)
        MF_SetReaderPosition(area, MF_SampleTime(sample, record->OutputFormat.nSamplesPerSec));
    area->Consumed = area->Held = 0;
    record->Staged = 0;
    record->StagingOffset = 0;
    record->Position = sample * record->OutputFormat.nBlockAlign;
}

int64_t SoundConvertWin_MF_GetTotalBytes(SoundConvertRecord* record)
{
    return MF_MulDiv(MF(record)->Duration, record->OutputFormat.nAvgBytesPerSec, MF_UnitsPerSecond);
}

void SoundConvertWin_MF_Close(SoundConvertRecord* record) { MF_FreeAll(MF(record)); }

}  // namespace Vantrel
