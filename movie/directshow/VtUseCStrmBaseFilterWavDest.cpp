// VtUseCStrmBaseFilterWavDest: the WAV writer: a transform filter that passes PCM on to a
// downstream file writer, each sample stamped with its byte position in the file, and writes the
// RIFF WAVE header at the start of the file through the downstream pin's IStream when streaming stops.
#include <string.h>

#include "movie/directshow/VtUseCStrmBaseFilterInternal.h"
#include "movie/directshow/VtUseCStrmBaseFilterTransform.h"

namespace Vantrel {

const CLSID CLSID_D_WavDest = {0x3C78B8E2, 0x6C4D, 0x11D1, {0xAD, 0xE2, 0x00, 0x00, 0xF8, 0x75, 0x4B, 0x99}};

// The setup data: no pins are registered.
static const StrmBase_FilterSetup StrmBase_WavDest_Setup = {&CLSID_D_WavDest, L"WAV Dest", 0x200000, 0, nullptr};

// RIFF list header, "fmt " chunk header and "data" chunk header around the format block.
constexpr uint32_t StrmBase_WavDest_HeaderOverhead = 12 + 8 + 8;

// ---- Output pin --------------------------------------------------------------------------------------

D_CWavDestOutputPin::D_CWavDestOutputPin(D_CTransformFilter* filter, HRESULT* result)
    : D_CTransformOutputPin(L"WavDest output pin", filter, result, L"Out")
{
}

HRESULT D_CWavDestOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    if (type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_WAVE) return S_OK;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE D_CWavDestOutputPin::EnumMediaTypes(D_IEnumMediaTypes** types)
{
    return D_CBasePin::EnumMediaTypes(types);
}

// ---- Filter ------------------------------------------------------------------------------------------

D_CWavDestFilter::D_CWavDestFilter(D_IUnknown* outer, HRESULT* result)
    : D_CTransformFilter(L"WavDest filter", outer, CLSID_D_WavDest), DataBytes(0), HeaderSize(0)
{
    HRESULT hr = S_OK;
    Output = new (__FILE__, __LINE__) D_CWavDestOutputPin(this, &hr);
    if (Output != nullptr && FAILED(hr)) {
        delete Output;
        Output = nullptr;
    }
    if (Output == nullptr) {
        if (result != nullptr) *result = E_OUTOFMEMORY;
        return;
    }
    Input = new (__FILE__, __LINE__) D_CTransformInputPin(L"Transform input pin", this, &hr, L"In");
    if (Input != nullptr && FAILED(hr)) {
        delete Input;
        Input = nullptr;
    }
    if (Input == nullptr) {
        delete Output;
        Output = nullptr;
        if (result != nullptr) *result = E_OUTOFMEMORY;
    }
}

D_CWavDestFilter* StrmBase_WavDest_Create(D_IUnknown* outer, HRESULT* result)
{
    HRESULT hr = S_OK;
    D_CWavDestFilter* filter = new (__FILE__, __LINE__) D_CWavDestFilter(outer, &hr);
    if (filter == nullptr) hr = E_OUTOFMEMORY;
    if (result != nullptr) *result = hr;
    return filter;
}

const StrmBase_FilterSetup* D_CWavDestFilter::GetSetupData() { return &StrmBase_WavDest_Setup; }

HRESULT D_CWavDestFilter::CheckInputType(const AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    return type->formattype == FORMAT_WaveFormatEx ? S_OK : S_FALSE;
}

HRESULT D_CWavDestFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    HRESULT hr = CheckInputType(in);
    if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT D_CWavDestFilter::GetMediaType(int position, AM_MEDIA_TYPE* type)
{
    if (type == nullptr) return E_POINTER;
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    type->majortype = MEDIATYPE_Stream;
    type->subtype = MEDIASUBTYPE_WAVE;
    return S_OK;
}

HRESULT D_CWavDestFilter::DecideBufferSize(D_IMemAllocator* allocator, ALLOCATOR_PROPERTIES* properties)
{
    if (Input == nullptr || !Input->IsConnected()) return E_UNEXPECTED;
    if (allocator == nullptr || properties == nullptr) return E_POINTER;
    if (Input->Allocator == nullptr) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES inputProperties;
    memset(&inputProperties, 0, sizeof(inputProperties));
    HRESULT hr = Input->Allocator->GetProperties(&inputProperties);
    if (FAILED(hr)) return hr;
    properties->cBuffers = 1;
    properties->cbAlign = 1;
    properties->cbBuffer = inputProperties.cbBuffer;
    ALLOCATOR_PROPERTIES actual;
    memset(&actual, 0, sizeof(actual));
    hr = allocator->SetProperties(properties, &actual);
    if (FAILED(hr)) return hr;
    if (actual.cBuffers < 1 || actual.cbBuffer < properties->cbBuffer) return E_FAIL;
    return S_OK;
}

HRESULT D_CWavDestFilter::StartStreaming()
{
    DataBytes = 0;
    HeaderSize = Input->ConnectionType.cbFormat + StrmBase_WavDest_HeaderOverhead;
    return S_OK;
}

HRESULT D_CWavDestFilter::Transform(D_IMediaSample* in, D_IMediaSample* out)
{
    BYTE* source = nullptr;
    BYTE* destination = nullptr;
    HRESULT hr = in->GetPointer(&source);
    if (SUCCEEDED(hr)) hr = out->GetPointer(&destination);
    if (FAILED(hr)) return hr;
    long length = in->GetActualDataLength();
    if (length < 0 || length > out->GetSize()) return E_FAIL;
    if (length > 0) memcpy(destination, source, (size_t)length);

    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (in->GetTime(&start, &stop) == S_OK) out->SetTime(&start, &stop);
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    if (in->GetMediaTime(&mediaStart, &mediaStop) == S_OK) out->SetMediaTime(&mediaStart, &mediaStop);
    AM_MEDIA_TYPE* type = nullptr;
    if (in->GetMediaType(&type) == S_OK && type != nullptr) {
        out->SetMediaType(type);
        StrmBase_MediaType_Delete(type);
    }
    hr = out->SetActualDataLength(length);
    if (FAILED(hr)) return hr;

    // Byte positions in the file: the data follows the header.
    uint64_t position = (uint64_t)HeaderSize + DataBytes;
    if (position + (uint64_t)length > 0xFFFFFFFFu) return E_FAIL;
    DataBytes += (uint32_t)length;
    LONGLONG first = (LONGLONG)position;
    LONGLONG end = (LONGLONG)(position + (uint64_t)length);
    out->SetMediaTime(&first, &end);
    return S_OK;
}

HRESULT D_CWavDestFilter::Receive(D_IMediaSample* sample)
{
    uint32_t before = DataBytes;
    HRESULT hr = D_CTransformFilter::Receive(sample);
    if (hr != S_OK) DataBytes = before;
    return hr;
}

static void StrmBase_WavDest_Put32(BYTE* destination, uint32_t value)
{
    destination[0] = (BYTE)value;
    destination[1] = (BYTE)(value >> 8);
    destination[2] = (BYTE)(value >> 16);
    destination[3] = (BYTE)(value >> 24);
}

HRESULT D_CWavDestFilter::StopStreaming()
{
    if (Output == nullptr || !Output->IsConnected()) return E_FAIL;
    IStream* stream = nullptr;
    HRESULT hr = Output->GetConnected()->QueryInterface(IID_IStream, (void**)&stream);
    if (FAILED(hr) || stream == nullptr) return FAILED(hr) ? hr : E_NOINTERFACE;

    const AM_MEDIA_TYPE& type = Input->ConnectionType;
    uint32_t formatSize = type.cbFormat;
    uint32_t headerSize = formatSize + StrmBase_WavDest_HeaderOverhead;
    BYTE* header = (BYTE*)WinAPITable.CoTaskMemAlloc(headerSize);
    if (header == nullptr) {
        stream->Release();
        return E_OUTOFMEMORY;
    }
    memcpy(header, "RIFF", 4);
    StrmBase_WavDest_Put32(header + 4, (uint32_t)((uint64_t)DataBytes + headerSize - 8));
    memcpy(header + 8, "WAVE", 4);
    memcpy(header + 12, "fmt ", 4);
    StrmBase_WavDest_Put32(header + 16, formatSize);
    if (formatSize != 0 && type.pbFormat != nullptr) memcpy(header + 20, type.pbFormat, formatSize);
    memcpy(header + 20 + formatSize, "data", 4);
    StrmBase_WavDest_Put32(header + 24 + formatSize, DataBytes);

    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = stream->Write(header, headerSize, nullptr);
    WinAPITable.CoTaskMemFree(header);
    stream->Release();
    return hr;
}

// ---- Class-factory template --------------------------------------------------------------------------

static D_CBaseFilter* StrmBase_WavDest_CreateInstance(D_IUnknown* outer, HRESULT* result)
{
    return StrmBase_WavDest_Create(outer, result);
}


const StrmBase_FactoryTemplate StrmBase_WavDest_Templates[] = {
    {L"WAV Dest", &CLSID_D_WavDest, StrmBase_WavDest_CreateInstance, nullptr, &StrmBase_WavDest_Setup},
};
const int StrmBase_WavDest_TemplateCount = 1;

}  // namespace Vantrel
