// MP3 through a DirectShow graph: the whole file is read into memory and played, without a clock, from
// the library's memory reader through the system's splitter and decoder into the library's sample
// grabber, whose callback collects every PCM sample; the system's audio renderer the graph builder
// picks is swapped for the null renderer. After set-up the converter only copies from the collected
// PCM. Stands on the front end (VtSoundConvert), the DirectShow classes (movie/directshow), the
// system function table and the message pump.
#include "movie/directshow/VtUseCStrmBaseFilterReader.h"
#include "movie/directshow/VtUseCStrmBaseFilterTransform.h"
#include "sound/VtSoundConvertDSMP3.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "system/VtSystem.h"

namespace Vantrel {

// {C1F400A4-3F08-11D3-9F0B-006008039E37}: the system's null renderer (qedit), which the compiler's
// headers do not name.
const CLSID SoundConvert_CLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

namespace {

SoundConvertDSMP3Area* DSMP3(SoundConvertRecord* record) { return SoundConvert_Area<SoundConvertDSMP3Area>(record); }

// Everything the set-up holds while the graph exists.
struct DSMP3Graph {
    uint8_t* File = nullptr;
    D_CMemStream* MemStream = nullptr;
    D_CMemReader* Reader = nullptr;
    IBaseFilter* NullRenderer = nullptr;
    IGraphBuilder* Graph = nullptr;
    D_CSampleGrabber* Grabber = nullptr;
    IMediaFilter* MediaFilter = nullptr;
    IMediaControl* Control = nullptr;
    IMediaEvent* Event = nullptr;
    AM_MEDIA_TYPE ReaderType;
    AM_MEDIA_TYPE AcceptedType;
    AM_MEDIA_TYPE ConnectedType;
};

void DSMP3_ReleaseGraph(DSMP3Graph* g)
{
    if (g->Control != nullptr) g->Control->Stop();
    if (g->Event != nullptr) g->Event->Release();
    if (g->MediaFilter != nullptr) g->MediaFilter->Release();
    if (g->Control != nullptr) g->Control->Release();
    if (g->Graph != nullptr) g->Graph->Release();
    StrmBase_Filter_Delete(g->Grabber);
    if (g->NullRenderer != nullptr) g->NullRenderer->Release();
    StrmBase_Filter_Delete(g->Reader);
    StrmBase_Stream_Delete(g->MemStream);
    if (g->File != nullptr) Memory_Free(g->File);
    StrmBase_MediaType_Destroy(&g->ReaderType);
    StrmBase_MediaType_Destroy(&g->AcceptedType);
    StrmBase_MediaType_Destroy(&g->ConnectedType);
}

void DSMP3_FreePcm(SoundConvertDSMP3Area* area)
{
    if (area->PcmBuffer != nullptr) Memory_Free(area->PcmBuffer);
    area->PcmBuffer = nullptr;
    area->Capacity = 0;
    area->PcmSize = 0;
    area->ReadPosition = 0;
}

// Finds the graph's renderer (a filter with a connected input pin and no output pin), takes it out of
// the stream and connects what fed it to the null renderer's input instead.
int DSMP3_ReplaceRenderer(DSMP3Graph* g)
{
    IEnumFilters* filters = nullptr;
    if (FAILED(g->Graph->EnumFilters(&filters)) || filters == nullptr) return -1;
    IPin* upstream = nullptr;
    IBaseFilter* filter = nullptr;
    while (upstream == nullptr && filters->Next(1, &filter, nullptr) == S_OK) {
        IPin* input = SoundConvert_DSMP3_FindPin(filter, PINDIR_INPUT);
        IPin* output = SoundConvert_DSMP3_FindPin(filter, PINDIR_OUTPUT);
        if (input != nullptr && output == nullptr) {
            IPin* connected = nullptr;
            if (SUCCEEDED(input->ConnectedTo(&connected)) && connected != nullptr) {
                g->Graph->Disconnect(connected);
                g->Graph->Disconnect(input);
                upstream = connected;
            }
        }
        if (output != nullptr) output->Release();
        if (input != nullptr) input->Release();
        filter->Release();
    }
    filters->Release();
    if (upstream == nullptr) return -1;
    IPin* nullInput = SoundConvert_DSMP3_FindPin(g->NullRenderer, PINDIR_INPUT);
    HRESULT hr = nullInput != nullptr ? g->Graph->Connect(upstream, nullInput) : E_FAIL;
    if (nullInput != nullptr) nullInput->Release();
    upstream->Release();
    return SUCCEEDED(hr) ? 0 : -1;
}

// The wait for the graph's end: 100 ms slices with the messages pumped between them. A graph that
// delivers nothing new for this long, or runs longer than the overall limit, has stalled.
constexpr DWORD DSMP3_StallLimitMs = 15000;
constexpr DWORD DSMP3_OverallLimitMs = 600000;

// Runs the graph to its end; 0, or -1 after logging why not.
int DSMP3_RunGraph(SoundConvertRecord* record, DSMP3Graph* g)
{
    if (FAILED(g->Control->Run())) {
        Log_AddTextUTF16(L"MP3変換の途中でエラーが発生しました\n");
        return -1;
    }
    if (System_PollMessagesNoLock() != 0) {
        Log_AddTextUTF16(L"MP3変換の途中でソフトが終了しました\n");
        return -1;
    }
    DWORD started = GetTickCount();
    DWORD lastGrowth = started;
    int32_t lastSize = 0;
    for (;;) {
        long code = 0;
        HRESULT hr = g->Event->WaitForCompletion(100, &code);
        if (hr == S_OK) {
            if (code == EC_ERRORABORT) {
                Log_AddTextUTF16(L"MP3変換の途中でエラーが発生しました\n");
                return -1;
            }
            if (code == EC_COMPLETE) return 0;
        }
        if (System_PollMessagesNoLock() != 0) {
            Log_AddTextUTF16(L"MP3変換の途中でソフトが終了しました\n");
            return -1;
        }
        DWORD now = GetTickCount();
        int32_t size = *static_cast<volatile int32_t*>(&DSMP3(record)->PcmSize);
        if (size != lastSize) {
            lastSize = size;
            lastGrowth = now;
        }
        if (hr == S_OK || now - lastGrowth > DSMP3_StallLimitMs || now - started > DSMP3_OverallLimitMs) {
            // Any other end of the stream, or no end at all.
            Log_AddTextUTF16(L"MP3変換の途中でエラーが発生しました\n");
            return -1;
        }
    }
}

// The set-up's steps while the graph exists; 0 or -1 (after logging the failing step).
int DSMP3_Build(SoundConvertRecord* record, DSMP3Graph* g, int64_t fileSize)
{
    SoundConvertDSMP3Area* area = DSMP3(record);
    HRESULT hr = S_OK;
    g->MemStream = StrmBase_MemStream_Create(g->File, fileSize, StrmBase_MemStream_NoRateLimit);
    if (g->MemStream == nullptr) {
        Log_AddTextUTF16(L"MP3変換用 D_CMemStream の作成に失敗しました\n");
        return -1;
    }
    g->ReaderType.majortype = MEDIATYPE_Stream;
    g->ReaderType.subtype = MEDIASUBTYPE_MPEG1Audio;
    g->Reader = StrmBase_MemReader_Create(g->MemStream, &g->ReaderType, &hr);
    if (g->Reader == nullptr || FAILED(hr)) {
        Log_AddTextUTF16(L"MP3変換用 D_CMemReader の作成に失敗しました\n");
        return -1;
    }
    g->Reader->NonDelegatingAddRef();

    hr = WinAPITable.CoCreateInstance(SoundConvert_CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void**>(&g->NullRenderer));
    if (FAILED(hr)) {
        WinAPITable.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        hr = WinAPITable.CoCreateInstance(SoundConvert_CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IBaseFilter, reinterpret_cast<void**>(&g->NullRenderer));
    }
    if (FAILED(hr) || g->NullRenderer == nullptr) {
        g->NullRenderer = nullptr;
        Log_AddTextUTF16(L"MP3変換用 NullRender の作成に失敗しました\n");
        return -1;
    }
    hr = WinAPITable.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                      IID_IGraphBuilder, reinterpret_cast<void**>(&g->Graph));
    if (FAILED(hr) || g->Graph == nullptr) {
        g->Graph = nullptr;
        Log_AddTextUTF16(L"MP3変換用 IGraphBuilder の作成に失敗しました\n");
        return -1;
    }
    g->Grabber = StrmBase_SampleGrabber_Create(nullptr, &hr);
    if (g->Grabber == nullptr || FAILED(hr)) {
        Log_AddTextUTF16(L"MP3変換用 D_CSampleGrabber の作成に失敗しました\n");
        return -1;
    }
    g->AcceptedType.majortype = MEDIATYPE_Audio;
    g->AcceptedType.subtype = MEDIASUBTYPE_PCM;
    if (FAILED(g->Grabber->AsGrabberSample()->SetAcceptedMediaType(&g->AcceptedType))) {
        Log_AddTextUTF16(L"サンプルグラバフィルタのメディアタイプの設定に失敗しました\n");
        return -1;
    }
    if (FAILED(g->Graph->AddFilter(StrmBase_AsIBaseFilter(g->Grabber), L"SampleGrabber"))) {
        Log_AddTextUTF16(L"サンプルグラバフィルタのグラフへの追加に失敗しました\n");
        return -1;
    }
    if (FAILED(g->Graph->AddFilter(StrmBase_AsIBaseFilter(g->Reader), L"MemFile"))) {
        Log_AddTextUTF16(L"メモリファイルフィルタのグラフへの追加に失敗しました\n");
        return -1;
    }
    IPin* readerOut = StrmBase_AsIPin(g->Reader->GetPin(0));
    if (readerOut == nullptr || FAILED(g->Graph->Render(readerOut))) {
        Log_AddTextUTF16(L"グラフの構築に失敗しました\n");
        return -1;
    }
    if (FAILED(g->Graph->AddFilter(g->NullRenderer, L"File Renderer"))) {
        Log_AddTextUTF16(L"ヌルレンダラーフィルタのグラフへの追加に失敗しました\n");
        return -1;
    }
    if (DSMP3_ReplaceRenderer(g) != 0) {
        Log_AddTextUTF16(L"既存レンダラーをNullレンダラーと交換する処理が失敗しました\n");
        return -1;
    }

    if (FAILED(g->Grabber->AsGrabberSample()->GetConnectedMediaType(&g->ConnectedType))) {
        Log_AddTextUTF16(L"音声が含まれていないか、オーディオフォーマットの取得に失敗しました。\n");
        return -1;
    }
    if (SoundConvert_GuidNotEqual(&g->ConnectedType.formattype, &FORMAT_WaveFormatEx) ||
        g->ConnectedType.pbFormat == nullptr || g->ConnectedType.cbFormat < 16) {
        Log_AddTextUTF16(L"サポート外のストリームフォーマットです。\n");
        return -1;
    }
    WAVEFORMATEX connected = {};
    memcpy(&connected, g->ConnectedType.pbFormat, g->ConnectedType.cbFormat < 18 ? 16 : 18);
    if (connected.wFormatTag != WAVE_FORMAT_PCM || connected.nChannels == 0 || connected.nBlockAlign == 0 ||
        connected.nSamplesPerSec == 0) {
        Log_AddTextUTF16(L"サポート外のオーディオフォーマットです。\n");
        return -1;
    }
    WAVEFORMATEX& out = record->OutputFormat;
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = connected.nChannels;
    out.nSamplesPerSec = connected.nSamplesPerSec;
    out.nBlockAlign = connected.nBlockAlign;
    out.nAvgBytesPerSec = DWORD(connected.nBlockAlign) * connected.nSamplesPerSec;
    out.wBitsPerSample = WORD(connected.nBlockAlign * 8 / connected.nChannels);
    out.cbSize = 0;

    if (FAILED(g->Grabber->AsGrabberSample()->SetCallback(SoundConvert_DSMP3_SampleCallback, record))) {
        Log_AddTextUTF16(L"コールバック関数を設定できません\n");
        return -1;
    }
    // Ten times the file is enough for typical MP3s; the capacity is counted in 64 bits and kept within
    // what the PCM size can count.
    int64_t capacity = fileSize * 10;
    if (capacity > SoundConvertDSMP3_PcmLimit) capacity = SoundConvertDSMP3_PcmLimit;
    area->PcmSize = 0;
    area->PcmBuffer = static_cast<uint8_t*>(Memory_Allocate(uint32_t(capacity), "VtSoundConvertDSMP3", __LINE__));
    if (area->PcmBuffer == nullptr) {
        Log_AddTextUTF16(L"PCMデータを格納するメモリ領域の確保に失敗しました\n");
        return -1;
    }
    area->Capacity = int32_t(capacity);

    if (FAILED(g->Graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&g->MediaFilter)))) {
        g->MediaFilter = nullptr;
        Log_AddTextUTF16(L"IMediaFilter の取得に失敗しました\n");
        return -1;
    }
    g->MediaFilter->SetSyncSource(nullptr);
    if (FAILED(g->Graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g->Control)))) {
        g->Control = nullptr;
        Log_AddTextUTF16(L"IMediaControl の取得に失敗しました\n");
        return -1;
    }
    if (FAILED(g->Graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&g->Event)))) {
        g->Event = nullptr;
        Log_AddTextUTF16(L"IMediaEvent の取得に失敗しました\n");
        return -1;
    }
    if (DSMP3_RunGraph(record, g) != 0) return -1;
    // The graph stops before the collected PCM is looked at, so that no callback runs any more.
    g->Control->Stop();
    if (area->PcmBuffer == nullptr) {
        Log_AddTextUTF16(L"PCMデータを格納するメモリ領域の再確保に失敗しました\n");
        return -1;
    }
    // A graph that ran to its end without one byte of sound decoded nothing: no sound to offer.
    if (area->PcmSize < record->OutputFormat.nBlockAlign) {
        Log_AddTextUTF16(L"音声が含まれていないか、オーディオフォーマットの取得に失敗しました。\n");
        return -1;
    }
    return 0;
}

}  // namespace

int SoundConvert_GuidNotEqual(const GUID* a, const GUID* b) { return memcmp(a, b, sizeof(GUID)) != 0 ? 1 : 0; }

IPin* SoundConvert_DSMP3_FindPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    IEnumPins* pins = nullptr;
    if (filter == nullptr || FAILED(filter->EnumPins(&pins)) || pins == nullptr) return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

HRESULT SoundConvert_DSMP3_SampleCallback(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          BOOL typeChanged, void* user)
{
    SoundConvertDSMP3Area* area = DSMP3(static_cast<SoundConvertRecord*>(user));
    if (area->PcmBuffer == nullptr) return S_OK;
    BYTE* bytes = nullptr;
    if (FAILED(sample->GetPointer(&bytes)) || bytes == nullptr) return S_OK;
    int64_t length = sample->GetActualDataLength();
    if (length <= 0) return S_OK;
    int64_t needed = int64_t(area->PcmSize) + length;
    if (needed > area->Capacity) {
        int64_t capacity = area->Capacity;
        while (needed > capacity) capacity += 1048576;
        uint8_t* grown = capacity > SoundConvertDSMP3_PcmLimit
                             ? nullptr
                             : static_cast<uint8_t*>(Memory_Allocate(uint32_t(capacity), "VtSoundConvertDSMP3", __LINE__));
        if (grown == nullptr) {
            // Too much PCM for memory: the set-up finds the buffer gone and fails.
            Memory_Free(area->PcmBuffer);
            area->PcmBuffer = nullptr;
            return S_OK;
        }
        memcpy(grown, area->PcmBuffer, size_t(area->PcmSize));
        Memory_Free(area->PcmBuffer);
        area->PcmBuffer = grown;
        area->Capacity = int32_t(capacity);
    }
    memcpy(area->PcmBuffer + area->PcmSize, bytes, size_t(length));
    area->PcmSize = int32_t(needed);
    return S_OK;
}

int SoundConvert_DSMP3_Setup(SoundConvertRecord* record)
{
    WinAPI_EnsureLoaded();
    if (WinAPITable.CoCreateInstance == nullptr || WinAPITable.CoInitializeEx == nullptr) return -1;
    memset(record->Area, 0, sizeof(record->Area));
    DSMP3Graph graph;
    StrmBase_MediaType_Init(&graph.ReaderType);
    StrmBase_MediaType_Init(&graph.AcceptedType);
    StrmBase_MediaType_Init(&graph.ConnectedType);

    int result = -1;
    int64_t fileSize = SoundConvert_StreamLength(record);
    record->Source.ops.Seek(record->Source.data, 0, SeekOrigin_Start);
    // The whole file is held in memory.
    if (fileSize > 0 && fileSize <= SoundConvertDSMP3_PcmLimit) {
        graph.File = static_cast<uint8_t*>(Memory_Allocate(uint32_t(fileSize), "VtSoundConvertDSMP3", __LINE__));
        if (graph.File != nullptr && SoundConvert_ReadBytes(record, graph.File, uint32_t(fileSize)) == fileSize)
            result = DSMP3_Build(record, &graph, fileSize);
    }
    DSMP3_ReleaseGraph(&graph);
    if (result != 0) {
        DSMP3_FreePcm(DSMP3(record));
        return -1;
    }
    record->Kind = SoundConvertKind_Mp3DirectShow;
    record->DataSize = DSMP3(record)->PcmSize;
    record->StagingSize = record->OutputFormat.nAvgBytesPerSec;
    return 0;
}

int SoundConvertWin_DSMP3_Step(SoundConvertRecord* record)
{
    SoundConvertDSMP3Area* area = DSMP3(record);
    // A position at or past the collected PCM is the end.
    if (area->ReadPosition >= area->PcmSize) return -1;
    int64_t n = int64_t(area->PcmSize) - area->ReadPosition;
    if (n > record->StagingSize) n = record->StagingSize;
    memcpy(record->StagingBuffer, area->PcmBuffer + area->ReadPosition, size_t(n));
    record->Staged = n;
    area->ReadPosition += int32_t(n);
    return 0;
}

void SoundConvertWin_DSMP3_Seek(SoundConvertRecord* record, int64_t sample)
{
    SoundConvertDSMP3Area* area = DSMP3(record);
    int64_t position = sample * record->OutputFormat.nBlockAlign;
    record->Position = position;
    record->Staged = 0;
    record->StagingOffset = 0;
    area->ReadPosition = int32_t(position > area->PcmSize ? area->PcmSize : position);
}

int64_t SoundConvertWin_DSMP3_GetTotalBytes(SoundConvertRecord* record) { return DSMP3(record)->PcmSize; }

void SoundConvertWin_DSMP3_Close(SoundConvertRecord* record) { DSMP3_FreePcm(DSMP3(record)); }

}  // namespace Vantrel
