// Direct3D 11 device and adapter set-up: factory creation (newest creation function first), the
// adapter table with its log, the adapter choice, device creation with the feature-level list, the
// capabilities written into the graphics core's state, and the texture, depth and screen formats.
// Stands on the call layer, the graphics core's state and monitor list, the window module and the
// image module's colour-format descriptions.
#include "graphics_d3d11/VtGraphicsD3D11Device.h"

#include <string.h>

#include <initializer_list>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"
#include "image/VtBaseImage.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

D3D11DeviceStateRecord D3D11DeviceState;

namespace {

void LogResult(int log, bool success) {
    if (log) Log_AddTextShiftJIS(success ? "成功\n" : "失敗\n");
}

// One way of making the factory: the creation function's name, its log lines and the interface.
template <typename Store>
bool TryFactory(int log, const char* procLog, const char* createLog, const char* name, Store store) {
    if (log) Log_AddTextShiftJIS(procLog);
    FARPROC proc = D3D11Call_GetDXGIProc(name);
    LogResult(log, proc != nullptr);
    if (proc == nullptr) return false;
    if (log) Log_AddTextShiftJIS(createLog);
    const bool made = store(proc);
    LogResult(log, made);
    return made;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

int64_t OverlapArea(const RECT& a, const RECT& b) {
    const int64_t width = (int64_t)(a.right < b.right ? a.right : b.right) - (a.left > b.left ? a.left : b.left);
    const int64_t height = (int64_t)(a.bottom < b.bottom ? a.bottom : b.bottom) - (a.top > b.top ? a.top : b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

bool AdapterShows(const D3D11AdapterRecord& adapter, const RECT& window) {
    for (int i = 0; i < adapter.OutputCount; ++i)
        if (Contains(adapter.Outputs[i].DesktopCoordinates, window)) return true;
    return false;
}

HRESULT GetAdapter(UINT index, IDXGIAdapter** adapter) {
    if (D3D11Call_DXGIFactory6_Exists())
        return D3D11Call_DXGIFactory_EnumAdapterByGpuPreference(index, DXGI_GPU_PREFERENCE_HIGH_PERFORMANCE,
                                                                __uuidof(IDXGIAdapter), (void**)adapter);
    return D3D11Call_DXGIFactory_EnumAdapters(index, adapter);
}

template <typename From, typename To>
void QueryLogged(From* from, To** to, const char* progress) {
    if (from == nullptr) return;
    Log_AddTextShiftJIS(progress);
    const bool got = from->QueryInterface(__uuidof(To), (void**)to) == S_OK;
    if (!got) *to = nullptr;
    LogResult(1, got);
}

void ReleaseCreated() {
    auto clear = [](auto*& object) {
        if (object != nullptr) object->Release();
        object = nullptr;
    };
    clear(D3D11CallState.Context);
    clear(D3D11CallState.Device);
    clear(D3D11CallState.Adapter);
    clear(D3D11CallState.Adapter1);
    clear(D3D11CallState.Adapter2);
    clear(D3D11CallState.Adapter3);
    clear(D3D11CallState.Adapter4);
    clear(D3D11CallState.DXGIDevice);
}

// ---- Formats ----

struct FormatName {
    DXGI_FORMAT Format;
    const char* Name;
};

const FormatName FormatNames[] = {
    {DXGI_FORMAT_R8G8B8A8_UNORM, "DXGI_FORMAT_R8G8B8A8_UNORM"},
    {DXGI_FORMAT_B5G6R5_UNORM, "DXGI_FORMAT_B5G6R5_UNORM"},
    {DXGI_FORMAT_B5G5R5A1_UNORM, "DXGI_FORMAT_B5G5R5A1_UNORM"},
    {DXGI_FORMAT_B4G4R4A4_UNORM, "DXGI_FORMAT_B4G4R4A4_UNORM"},
    {DXGI_FORMAT_B8G8R8X8_UNORM, "DXGI_FORMAT_B8G8R8X8_UNORM"},
    {DXGI_FORMAT_B8G8R8A8_UNORM, "DXGI_FORMAT_B8G8R8A8_UNORM"},
    {DXGI_FORMAT_BC1_UNORM, "DXGI_FORMAT_BC1_UNORM"},
    {DXGI_FORMAT_BC2_UNORM, "DXGI_FORMAT_BC2_UNORM"},
    {DXGI_FORMAT_BC3_UNORM, "DXGI_FORMAT_BC3_UNORM"},
    {DXGI_FORMAT_BC7_UNORM, "DXGI_FORMAT_BC7_UNORM"},
    {DXGI_FORMAT_BC7_UNORM_SRGB, "DXGI_FORMAT_BC7_UNORM_SRGB"},
    {DXGI_FORMAT_R16G16B16A16_UNORM, "DXGI_FORMAT_R16G16B16A16_UNORM"},
    {DXGI_FORMAT_R16G16B16A16_FLOAT, "DXGI_FORMAT_R16G16B16A16_FLOAT"},
    {DXGI_FORMAT_R32G32B32A32_FLOAT, "DXGI_FORMAT_R32G32B32A32_FLOAT"},
    {DXGI_FORMAT_R8_UNORM, "DXGI_FORMAT_R8_UNORM"},
    {DXGI_FORMAT_R16_UNORM, "DXGI_FORMAT_R16_UNORM"},
    {DXGI_FORMAT_R16_FLOAT, "DXGI_FORMAT_R16_FLOAT"},
    {DXGI_FORMAT_R32_FLOAT, "DXGI_FORMAT_R32_FLOAT"},
    {DXGI_FORMAT_R8G8_UNORM, "DXGI_FORMAT_R8G8_UNORM"},
    {DXGI_FORMAT_R16G16_UNORM, "DXGI_FORMAT_R16G16_UNORM"},
    {DXGI_FORMAT_R16G16_FLOAT, "DXGI_FORMAT_R16G16_FLOAT"},
    {DXGI_FORMAT_R32G32_FLOAT, "DXGI_FORMAT_R32G32_FLOAT"},
    {DXGI_FORMAT_D16_UNORM, "DXGI_FORMAT_D16_UNORM"},
    {DXGI_FORMAT_D24_UNORM_S8_UINT, "DXGI_FORMAT_D24_UNORM_S8_UINT"},
    {DXGI_FORMAT_D32_FLOAT, "DXGI_FORMAT_D32_FLOAT"},
};

constexpr UINT NeedTexture = D3D11_FORMAT_SUPPORT_TEXTURE2D;
constexpr UINT NeedRender = D3D11_FORMAT_SUPPORT_TEXTURE2D | D3D11_FORMAT_SUPPORT_RENDER_TARGET;

bool Supports(DXGI_FORMAT format, UINT need) {
    UINT support = 0;
    return D3D11Call_Device_CheckFormatSupport(format, &support) == S_OK && (support & need) == need;
}

DXGI_FORMAT FirstSupported(const DXGI_FORMAT* candidates, UINT need) {
    for (int i = 0; i < 4 && candidates[i] != DXGI_FORMAT_UNKNOWN; ++i)
        if (Supports(candidates[i], need)) return candidates[i];
    return DXGI_FORMAT_UNKNOWN;
}

// Rows 24 to 48: the first usable candidate, or none (0) with the row's message. The messages of the
// texture rows end in the two characters backslash and n, as the log has always shown them.
struct UniformRow {
    const char* Found;
    UINT Need;
    DXGI_FORMAT Candidates[4];
    const char* None;
};

#define F(name) DXGI_FORMAT_##name
const UniformRow UniformRows[] = {
    {"ABGR 整数 16 ビット型カラーフォーマットは %s です", NeedTexture, {F(R16G16B16A16_UNORM)},
     "使用できる ABGR 整数 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"ABGR 浮動小数点 16 ビット型カラーフォーマットは %s です", NeedTexture, {F(R16G16B16A16_FLOAT)},
     "使用できるABGR 浮動小数点 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"ABGR 浮動小数点 32 ビット型カラーフォーマットは %s です", NeedTexture, {F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できるABGR 浮動小数点 32 ビット型カラーフォーマットがありませんでした\\n"},
    {"１チャンネル整数 8 ビット型カラーフォーマットは %s です", NeedTexture, {F(R8_UNORM), F(R8G8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる１チャンネル整数 8 ビット型カラーフォーマットがありませんでした\\n"},
    {"１チャンネル整数 16 ビット型カラーフォーマットは %s です", NeedTexture,
     {F(R16_UNORM), F(R16G16_UNORM), F(R16G16B16A16_UNORM)},
     "使用できる１チャンネル整数 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"１チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", NeedTexture,
     {F(R16_FLOAT), F(R16G16_FLOAT), F(R16G16B16A16_FLOAT), F(R32G32B32A32_FLOAT)},
     "使用できる１チャンネル浮動小数点 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"１チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", NeedTexture,
     {F(R32_FLOAT), F(R32G32_FLOAT), F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できる１チャンネル浮動小数点 32 ビット型カラーフォーマットがありませんでした\\n"},
    {"２チャンネル整数 8 ビット型カラーフォーマットは %s です", NeedTexture, {F(R8G8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる２チャンネル整数 8 ビット型カラーフォーマットがありませんでした\\n"},
    {"２チャンネル整数 16 ビット型カラーフォーマットは %s です", NeedTexture, {F(R16G16_UNORM), F(R16G16B16A16_UNORM)},
     "使用できる２チャンネル整数 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"２チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", NeedTexture,
     {F(R16G16_FLOAT), F(R16G16B16A16_FLOAT), F(R32G32B32A32_FLOAT)},
     "使用できる２チャンネル浮動小数点 16 ビット型カラーフォーマットがありませんでした\\n"},
    {"２チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", NeedTexture,
     {F(R32G32_FLOAT), F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できる２チャンネル浮動小数点 32 ビット型カラーフォーマットがありませんでした\\n"},
    {"描画用 16bit カラーフォーマットは %s です", NeedRender, {F(B5G6R5_UNORM), F(B8G8R8X8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる 16bit 描画可能カラーフォーマットが見つかりませんでした\n"},
    {"描画用 32bit カラーフォーマットは %s です", NeedRender, {F(B8G8R8X8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる 32bit 描画可能カラーフォーマットが見つかりませんでした\n"},
    {"描画用アルファ付き 32bit カラーフォーマットは %s です", NeedRender, {F(R8G8B8A8_UNORM)},
     "使用できるアルファ付き 32bit 描画可能カラーフォーマットが見つかりませんでした\n"},
    {"描画用 ABGR 整数 16 ビット型カラーフォーマットは %s です", NeedRender, {F(R16G16B16A16_UNORM)},
     "使用できる描画用 ABGR 整数 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用 ABGR 浮動小数点 16 ビット型カラーフォーマットは %s です", NeedRender, {F(R16G16B16A16_FLOAT)},
     "使用できる描画用 ABGR 浮動小数点 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用 ABGR 浮動小数点 32 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できる描画用 ABGR 浮動小数点 32 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数 8 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R8_UNORM), F(R8G8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる描画用１チャンネル整数 8 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル整数 16 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R16_UNORM), F(R16G16_UNORM), F(R16G16B16A16_UNORM)},
     "使用できる描画用１チャンネル整数 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R16_FLOAT), F(R16G16_FLOAT), F(R16G16B16A16_FLOAT), F(R32G32B32A32_FLOAT)},
     "使用できる描画用１チャンネル浮動小数点 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用１チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R32_FLOAT), F(R32G32_FLOAT), F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できる描画用１チャンネル浮動小数点 32 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数 8 ビット型カラーフォーマットは %s です", NeedRender, {F(R8G8_UNORM), F(R8G8B8A8_UNORM)},
     "使用できる描画用２チャンネル整数 8 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル整数 16 ビット型カラーフォーマットは %s です", NeedRender, {F(R16G16_UNORM), F(R16G16B16A16_UNORM)},
     "使用できる描画用２チャンネル整数 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点 16 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R16G16_FLOAT), F(R16G16B16A16_FLOAT), F(R32G32B32A32_FLOAT)},
     "使用できる描画用２チャンネル浮動小数点 16 ビット型カラーフォーマットがありませんでした\n"},
    {"描画用２チャンネル浮動小数点 32 ビット型カラーフォーマットは %s です", NeedRender,
     {F(R32G32_FLOAT), F(R32G32B32A32_FLOAT), F(R16G16B16A16_FLOAT)},
     "使用できる描画用２チャンネル浮動小数点 32 ビット型カラーフォーマットがありませんでした\n"},
};
constexpr int UniformFirstCode = 24;
constexpr int UniformRenderFirstCode = 35;
static_assert(sizeof(UniformRows) / sizeof(UniformRows[0]) == 25, "rows 24 to 48");

// A colour row with a fallback: the first usable candidate, else the fallback, logged with the row's message
// either way.
DXGI_FORMAT ColourRow(const char* message, std::initializer_list<DXGI_FORMAT> candidates, DXGI_FORMAT fallback) {
    DXGI_FORMAT chosen = fallback;
    for (DXGI_FORMAT candidate : candidates)
        if (Supports(candidate, NeedTexture)) {
            chosen = candidate;
            break;
        }
    Log_AddFormatShiftJIS(message, Graphics_D3D11_Format_GetName(chosen));
    return chosen;
}

// A block-compressed row: its format when usable ("... です"), else the fallback ("使えません").
DXGI_FORMAT BlockRow(const char* message, DXGI_FORMAT format, const char* found, DXGI_FORMAT fallback) {
    const bool usable = Supports(format, NeedTexture);
    Log_AddFormatShiftJIS(message, usable ? found : "使えません");
    return usable ? format : fallback;
}
#undef F

struct ColourDescRow {
    DXGI_FORMAT Format;
    int BitDepth;
    uint32_t Red, Green, Blue, Alpha;
    int Channels, Bits, IsFloat;
};

const ColourDescRow ColourDescRows[] = {
    {DXGI_FORMAT_B5G6R5_UNORM, 16, 0xF800, 0x07E0, 0x001F, 0, 0, 0, 0},
    {DXGI_FORMAT_B5G5R5A1_UNORM, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0, 0, 0},
    {DXGI_FORMAT_B4G4R4A4_UNORM, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0, 0, 0},
    {DXGI_FORMAT_R8G8B8A8_UNORM, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000, 0, 0, 0},
    {DXGI_FORMAT_B8G8R8X8_UNORM, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, 0, 0, 0},
    {DXGI_FORMAT_B8G8R8A8_UNORM, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0, 0, 0},
    {DXGI_FORMAT_R16G16B16A16_UNORM, 64, 0, 0, 0, 0, 4, 16, 0},
    {DXGI_FORMAT_R16G16B16A16_FLOAT, 64, 0, 0, 0, 0, 4, 16, 1},
    {DXGI_FORMAT_R32G32B32A32_FLOAT, 128, 0, 0, 0, 0, 4, 32, 1},
    {DXGI_FORMAT_R8_UNORM, 8, 0, 0, 0, 0, 1, 8, 0},
    {DXGI_FORMAT_R16_UNORM, 16, 0, 0, 0, 0, 1, 16, 0},
    {DXGI_FORMAT_R16_FLOAT, 16, 0, 0, 0, 0, 1, 16, 1},
    {DXGI_FORMAT_R32_FLOAT, 32, 0, 0, 0, 0, 1, 32, 1},
    {DXGI_FORMAT_R8G8_UNORM, 16, 0, 0, 0, 0, 2, 8, 0},
    {DXGI_FORMAT_R16G16_UNORM, 32, 0, 0, 0, 0, 2, 16, 0},
    {DXGI_FORMAT_R16G16_FLOAT, 32, 0, 0, 0, 0, 2, 16, 1},
    {DXGI_FORMAT_R32G32_FLOAT, 64, 0, 0, 0, 0, 2, 32, 1},
};
constexpr int ColourDescCount = sizeof(ColourDescRows) / sizeof(ColourDescRows[0]);
ColorFormatDesc ColourDescs[ColourDescCount];
int ColourDescsMade = 0;

void MakeColourDescs() {
    if (ColourDescsMade) return;
    for (int i = 0; i < ColourDescCount; ++i) {
        const ColourDescRow& row = ColourDescRows[i];
        BaseImage_ColorFormat_InitFromMasks(&ColourDescs[i], row.BitDepth, row.Red, row.Green, row.Blue, row.Alpha,
                                            row.Channels, row.Bits, row.IsFloat);
    }
    ColourDescsMade = 1;
}

}  // namespace

// ---- Factory ----

int D3D11Call_DXGIFactory_Create(int log) {
    D3D11Call_DXGIFactory_ReleaseAll();
    TryFactory(log, "API CreateDXGIFactory2 のアドレスを取得します.... ", "IDXGIFactory2 を作成します.... ",
               "CreateDXGIFactory2", [](FARPROC proc) {
                   IDXGIFactory2* factory = nullptr;
                   if (((D3D11Call_CreateDXGIFactory2Proc)(void*)proc)(0, __uuidof(IDXGIFactory2), (void**)&factory) != S_OK)
                       return false;
                   D3D11CallState.Factory = factory;
                   D3D11CallState.Factory2 = factory;
                   return true;
               });
    if (D3D11CallState.Factory == nullptr)
        TryFactory(log, "API CreateDXGIFactory1 のアドレスを取得します.... ", "IDXGIFactory1 を作成します.... ",
                   "CreateDXGIFactory1", [](FARPROC proc) {
                       IDXGIFactory1* factory = nullptr;
                       if (((D3D11Call_CreateDXGIFactoryProc)(void*)proc)(__uuidof(IDXGIFactory1), (void**)&factory) != S_OK)
                           return false;
                       D3D11CallState.Factory = factory;
                       D3D11CallState.Factory1 = factory;
                       return true;
                   });
    if (D3D11CallState.Factory == nullptr &&
        !TryFactory(log, "API CreateDXGIFactory のアドレスを取得します.... ", "IDXGIFactory を作成します.... ",
                    "CreateDXGIFactory", [](FARPROC proc) {
                        IDXGIFactory* factory = nullptr;
                        if (((D3D11Call_CreateDXGIFactoryProc)(void*)proc)(__uuidof(IDXGIFactory), (void**)&factory) != S_OK)
                            return false;
                        D3D11CallState.Factory = factory;
                        return true;
                    }))
        return -1;
    if (log) Log_AddTextShiftJIS("API CreateDXGIFactory6 のアドレスを取得します.... ");
    if (D3D11CallState.Factory->QueryInterface(__uuidof(IDXGIFactory6), (void**)&D3D11CallState.Factory6) != S_OK)
        D3D11CallState.Factory6 = nullptr;
    LogResult(log, D3D11CallState.Factory6 != nullptr);
    return 0;
}

// ---- Adapters ----

void Graphics_D3D11_Adapter_ResetTable() {
    D3D11DeviceState.AdapterCount = 0;
    D3D11DeviceState.AdaptersEnumerated = 0;
}

int Graphics_D3D11_Adapter_EnumAll() {
    if (D3D11DeviceState.AdaptersEnumerated) return 0;
    const bool ownFactory = !D3D11Call_DXGIFactory_Exists();
    if (ownFactory) {
        if (D3D11Call_LoadDXGI(1) < 0) return -1;
        if (D3D11Call_DXGIFactory_Create(1) < 0) {
            D3D11Call_FreeDXGI(1);
            return -1;
        }
    }
    Log_AddTextShiftJIS("IDXGIAdapter を列挙\n");
    int count = 0;
    while (count < D3D11AdapterMax) {
        IDXGIAdapter* adapter = nullptr;
        if (GetAdapter((UINT)count, &adapter) != S_OK) break;
        D3D11AdapterRecord& record = D3D11DeviceState.Adapters[count];
        memset(&record, 0, sizeof(record));
        D3D11Call_Adapter_GetDesc(adapter, &record.Desc);
        Log_AddFormatUTF16(L"\tAdapter No.%d Desc:%s  VRAM:%dMB", count, record.Desc.Description,
                           (int)(record.Desc.DedicatedVideoMemory >> 20));
        for (int i = 0; i < D3D11OutputMax; ++i) {
            IDXGIOutput* output = nullptr;
            if (D3D11Call_Adapter_EnumOutputs(adapter, (UINT)i, &output) != S_OK) break;
            DXGI_OUTPUT_DESC& desc = record.Outputs[i];
            D3D11Call_Output_GetDesc(output, &desc);
            Log_AddFormatUTF16(L"\t\tOutput Device No.%d Name:%s ( %d, %d )-( %d, %d )", i, desc.DeviceName,
                               (int)desc.DesktopCoordinates.left, (int)desc.DesktopCoordinates.top,
                               (int)desc.DesktopCoordinates.right, (int)desc.DesktopCoordinates.bottom);
            D3D11Call_Object_Release(output);
            record.OutputCount = i + 1;
        }
        D3D11Call_Object_Release(adapter);
        ++count;
    }
    D3D11DeviceState.AdapterCount = count;
    if (ownFactory) {
        D3D11Call_DXGIFactory_ReleaseAll();
        D3D11Call_FreeDXGI(1);
    }
    D3D11DeviceState.AdaptersEnumerated = 1;
    return 0;
}

int Graphics_D3D11_Adapter_Choose(const RECT* window) {
    D3D11DeviceStateRecord& state = D3D11DeviceState;
    const int selected = state.SelectedAdapter;
    if (selected >= 0 && selected < state.AdapterCount && AdapterShows(state.Adapters[selected], *window))
        return selected;
    for (int i = 0; i < state.AdapterCount; ++i)
        if (AdapterShows(state.Adapters[i], *window)) return state.SelectedAdapter = i;
    int64_t bestArea = 0;
    for (int i = 0; i < state.AdapterCount; ++i) {
        RECT desktop = {0, 0, 0, 0};
        for (int j = 0; j < state.Adapters[i].OutputCount; ++j)
            if (state.Adapters[i].Outputs[j].AttachedToDesktop) desktop = state.Adapters[i].Outputs[j].DesktopCoordinates;
        const int64_t area = OverlapArea(*window, desktop);
        if (area > bestArea) {
            bestArea = area;
            state.SelectedAdapter = i;
        }
    }
    return state.SelectedAdapter;
}

// ---- Device ----

int D3D11Call_Device_Create() {
    if (D3D11CallState.D3D11Module == nullptr) return -1;
    if (Window_IsWindowed() || Graphics_Screen_GetFullScreenResolutionMode() == 0) Window_SetDwmComposition(1);
    Log_AddTextShiftJIS("API D3D11CreateDevice のアドレスを取得します.... ");
    PFN_D3D11_CREATE_DEVICE create = (PFN_D3D11_CREATE_DEVICE)(void*)D3D11Call_GetD3D11Proc("D3D11CreateDevice");
    if (create == nullptr) {
        Log_AddTextShiftJIS("失敗\n");
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    Log_AddTextShiftJIS("IDXGIAdapter を取得します.... ");
    const int chosen = Graphics_D3D11_Adapter_Choose(&Window.ClientRect);
    if (GetAdapter((UINT)chosen, &D3D11CallState.Adapter) != S_OK) {
        D3D11CallState.Adapter = nullptr;
        Log_AddTextShiftJIS("失敗\n");
        ReleaseCreated();
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    QueryLogged(D3D11CallState.Adapter, &D3D11CallState.Adapter1, "IDXGIAdapter1 を取得します.... ");
    QueryLogged(D3D11CallState.Adapter1, &D3D11CallState.Adapter2, "IDXGIAdapter2 を取得します.... ");
    QueryLogged(D3D11CallState.Adapter2, &D3D11CallState.Adapter3, "IDXGIAdapter3 を取得します.... ");
    QueryLogged(D3D11CallState.Adapter3, &D3D11CallState.Adapter4, "IDXGIAdapter4 を取得します.... ");

    Log_AddTextShiftJIS("Direct3D 11 FeatureLevel 11_0 以上を対象とします\n");
    static const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    Log_AddTextShiftJIS("ID3D11Device オブジェクトを取得します.... ");
    HRESULT result = create(D3D11CallState.Adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_SINGLETHREADED,
                            levels, 2, D3D11_SDK_VERSION, &D3D11CallState.Device, &D3D11CallState.FeatureLevel,
                            &D3D11CallState.Context);
    // A runtime that does not know 11_1 refuses the whole list; 11_0 alone is still a usable device.
    D3D11DeviceState.FeatureLevelRetried = result == E_INVALIDARG;
    if (result == E_INVALIDARG)
        result = create(D3D11CallState.Adapter, D3D_DRIVER_TYPE_UNKNOWN, nullptr, D3D11_CREATE_DEVICE_SINGLETHREADED,
                        levels + 1, 1, D3D11_SDK_VERSION, &D3D11CallState.Device, &D3D11CallState.FeatureLevel,
                        &D3D11CallState.Context);
    if (result != S_OK) {
        Log_AddTextShiftJIS("失敗\n");
        ReleaseCreated();
        return -1;
    }
    Log_AddTextShiftJIS("成功\n");
    Log_AddTextShiftJIS("IDXGIDevice1 を取得します.... ");
    if (D3D11CallState.Device->QueryInterface(__uuidof(IDXGIDevice1), (void**)&D3D11CallState.DXGIDevice) != S_OK) {
        D3D11CallState.DXGIDevice = nullptr;
        Log_AddTextShiftJIS("失敗\n");
    } else {
        Log_AddTextShiftJIS("成功\n");
        D3D11CallState.DXGIDevice->SetMaximumFrameLatency(1);
        Log_AddTextShiftJIS("IDXGIDevice1->SetMaximunFrameLatency( 1 ); を実行しました\n");
    }
    return 0;
}

int Graphics_D3D11_Device_Setup() {
    D3D11Call_Device_ReleaseAll();
    if (D3D11Call_DXGIFactory_Create(1) < 0 || Graphics_D3D11_Adapter_EnumAll() < 0 || D3D11Call_Device_Create() < 0)
        return -1;
    // The library's output window is target window 0 (a set-up without a window, as in tests, has none).
    D3D11WindowState.MainTarget = 0;
    const HWND output = Window_GetOutputWindow();
    if (output != nullptr && Graphics_D3D11_TargetWindow_Attach(output, 1) < 0) return -1;

    if (!Window_IsWindowed() && Graphics_Screen_GetFullScreenResolutionMode() != 0) {
        if (GraphicsSystemState.MonitorCount == 0) Graphics_Display_SetupInfo();
        const int display = Graphics_Display_GetCurrentIndex();
        if (display >= 0 && display < GraphicsSystemState.MonitorCount)
            GraphicsScreenState.MonitorRect = GraphicsSystemState.MonitorList[display].Rect;
    }

    GraphicsSystemStateRecord& caps = GraphicsSystemState;
    caps.SubtractiveBlendSupported = 1;
    caps.TextureSquareOnly = 0;
    caps.WaitVSyncChangeable = 1;
    // Pixel centres lie at +0.5: quads at whole coordinates cover whole pixels without a shift.
    caps.NoHalfPixelOffset = 1;
    caps.BackEndCaps[D3D11CAPS_SEPARATE_ALPHA_BLEND] = 1;
    caps.BackEndCaps[D3D11CAPS_FURTHER_SWITCH] = 1;
    caps.BackEndCaps[D3D11CAPS_MAX_VERTEX_INDEX] = 0xFFFF;
    const bool level11 = D3D11CallState.FeatureLevel == D3D_FEATURE_LEVEL_11_0 ||
                         D3D11CallState.FeatureLevel == D3D_FEATURE_LEVEL_11_1;
    if (level11) {
        caps.BackEndCaps[D3D11CAPS_MAX_PRIMITIVE_COUNT] = 0x7FFFFFFF;
        caps.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA] = 1;
        caps.TexturePowerOfTwoOnly = 0;
        caps.BackEndCaps[D3D11CAPS_NONPOW2_CONDITIONAL] = 1;
        caps.MaxTextureWidth = 16384;
        caps.MaxTextureHeight = 16384;
    }
    caps.MaxTextureSize = caps.MaxTextureWidth < caps.MaxTextureHeight ? caps.MaxTextureWidth : caps.MaxTextureHeight;
    caps.MaxRenderTargets = 8;

    const wchar_t* name = D3D11DeviceState.Adapters[D3D11DeviceState.SelectedAdapter].Desc.Description;
    Log_AddFormatUTF16(L"Graphics Device:%s", name);
    wcsncpy(D3D11DeviceState.DeviceName, name, 127);
    D3D11DeviceState.DeviceName[127] = 0;

    Graphics_D3D11_Format_SetupTable();

    Log_AddFormatShiftJIS("使用する機能レベル:%s", D3D11CallState.FeatureLevel == D3D_FEATURE_LEVEL_11_1
                                                       ? "D3D_FEATURE_LEVEL_11_1"
                                                       : "D3D_FEATURE_LEVEL_11_0");
    Log_AddFormatShiftJIS("同時にレンダリングできるバッファの数:%d", caps.MaxRenderTargets);
    Log_AddFormatShiftJIS("最大テクスチャサイズ　幅:%d 高さ:%d", caps.MaxTextureWidth, caps.MaxTextureHeight);
    MakeColourDescs();
    return 0;
}

// ---- Formats ----

const char* Graphics_D3D11_Format_GetName(DXGI_FORMAT format) {
    for (const FormatName& entry : FormatNames)
        if (entry.Format == format) return entry.Name;
    return "DXGI_FORMAT_UNKNOWN";
}

int Graphics_D3D11_Format_SetupTable() {
    D3D11DeviceStateRecord& s = D3D11DeviceState;
    DXGI_FORMAT* t = s.TextureFormat;
    s.ScreenFormat = DXGI_FORMAT_R8G8B8A8_UNORM;
    Log_AddFormatShiftJIS("画面のフォーマットは %s です", Graphics_D3D11_Format_GetName(s.ScreenFormat));

    s.DepthTextureFormat[0] = DXGI_FORMAT_D16_UNORM;
    s.DepthShaderViewFormat[0] = DXGI_FORMAT_R16_UNORM;
    s.DepthViewFormat[0] = DXGI_FORMAT_D16_UNORM;
    auto copyDepth = [&](int to, int from) {
        s.DepthTextureFormat[to] = s.DepthTextureFormat[from];
        s.DepthShaderViewFormat[to] = s.DepthShaderViewFormat[from];
        s.DepthViewFormat[to] = s.DepthViewFormat[from];
    };
    if (Supports(DXGI_FORMAT_D24_UNORM_S8_UINT, D3D11_FORMAT_SUPPORT_DEPTH_STENCIL)) {
        s.DepthTextureFormat[1] = DXGI_FORMAT_R24G8_TYPELESS;
        s.DepthShaderViewFormat[1] = DXGI_FORMAT_R24_UNORM_X8_TYPELESS;
        s.DepthViewFormat[1] = DXGI_FORMAT_D24_UNORM_S8_UINT;
    } else {
        copyDepth(1, 0);
    }
    if (Supports(DXGI_FORMAT_D32_FLOAT, D3D11_FORMAT_SUPPORT_DEPTH_STENCIL)) {
        s.DepthTextureFormat[2] = DXGI_FORMAT_R32_TYPELESS;
        s.DepthShaderViewFormat[2] = DXGI_FORMAT_R32_FLOAT;
        s.DepthViewFormat[2] = DXGI_FORMAT_D32_FLOAT;
    } else {
        copyDepth(2, 1);
    }
    static const char* const depthMessages[3] = {"16bit Zバッファフォーマットは %s です",
                                                 "24bit Zバッファフォーマットは %s です",
                                                 "32bit Zバッファフォーマットは %s です"};
    for (int i = 0; i < 3; ++i) Log_AddFormatShiftJIS(depthMessages[i], Graphics_D3D11_Format_GetName(s.DepthViewFormat[i]));

    const DXGI_FORMAT rgba = DXGI_FORMAT_R8G8B8A8_UNORM;
    for (int code = 0; code <= 5; ++code) t[code] = rgba;
    t[6] = ColourRow("16bit カラーフォーマットは %s です", {DXGI_FORMAT_B5G6R5_UNORM, DXGI_FORMAT_B5G5R5A1_UNORM}, rgba);
    t[7] = ColourRow("32bit カラーフォーマットは %s です", {DXGI_FORMAT_B8G8R8X8_UNORM}, t[6]);
    t[8] = ColourRow("アルファ付き 16bit カラーフォーマットは %s です", {DXGI_FORMAT_B4G4R4A4_UNORM}, rgba);
    t[9] = ColourRow("アルファ付き 32bit カラーフォーマットは %s です", {}, rgba);
    t[10] = ColourRow("アルファテスト用 16bit カラーフォーマットは %s です", {DXGI_FORMAT_B5G5R5A1_UNORM}, rgba);
    t[11] = ColourRow("アルファテスト用 32bit カラーフォーマットは %s です", {}, rgba);
    t[12] = BlockRow("ＤＸＴ１テクスチャフォーマットは%s", DXGI_FORMAT_BC1_UNORM, " DXGI_FORMAT_BC1_UNORM です", t[10]);
    Log_AddTextShiftJIS("ＤＸＴ２テクスチャフォーマットは使えません\n");
    t[13] = t[9];
    t[14] = BlockRow("ＤＸＴ３テクスチャフォーマットは%s", DXGI_FORMAT_BC2_UNORM, " DXGI_FORMAT_BC2_UNORM です", t[9]);
    Log_AddTextShiftJIS("ＤＸＴ４テクスチャフォーマットは使えません\n");
    t[15] = t[9];
    t[16] = BlockRow("ＤＸＴ５テクスチャフォーマットは%s", DXGI_FORMAT_BC3_UNORM, " DXGI_FORMAT_BC3_UNORM です", t[9]);
    t[17] = BlockRow("BC7_UNORM テクスチャフォーマットは%s", DXGI_FORMAT_BC7_UNORM, " DXGI_FORMAT_BC7_UNORM です", t[9]);
    t[18] = BlockRow("BC7_UNORM_SRGB テクスチャフォーマットは%s", DXGI_FORMAT_BC7_UNORM_SRGB,
                     " DXGI_FORMAT_BC7_UNORM_SRGB です", t[9]);
    for (int code = 19; code <= 23; ++code) t[code] = DXGI_FORMAT_UNKNOWN;
    for (int i = 0; i < 25; ++i) {
        const UniformRow& row = UniformRows[i];
        const DXGI_FORMAT chosen = FirstSupported(row.Candidates, row.Need);
        t[UniformFirstCode + i] = chosen;
        if (chosen != DXGI_FORMAT_UNKNOWN)
            Log_AddFormatShiftJIS(row.Found, Graphics_D3D11_Format_GetName(chosen));
        else if (UniformFirstCode + i < UniformRenderFirstCode)
            Log_AddFormatShiftJIS("%s", row.None);
        else
            Log_AddTextShiftJIS(row.None);
    }
    t[49] = GraphicsScreenState.ColourBits == 32 ? t[36] : t[35];
    t[50] = DXGI_FORMAT_R8_UNORM;
    return 0;
}

const ColorFormatDesc* Graphics_D3D11_Format_GetColorFormatDesc(DXGI_FORMAT format) {
    MakeColourDescs();
    for (int i = 0; i < ColourDescCount; ++i)
        if (ColourDescRows[i].Format == format) return &ColourDescs[i];
    return nullptr;
}

}  // namespace Vantrel
