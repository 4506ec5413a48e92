// The Direct3D 11 device on Wine's real device: set-up, capabilities and formats as logged, three
// starts and ends in one process with every live-object count back at 0, a runtime that refuses the
// 11_1 feature level, device creation that fails, and the adapter choice over an adapter table.
#include <gtest/gtest.h>

#include "D3D11TestSupport.h"
#include "graphics/VtGraphics.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

PFN_D3D11_CREATE_DEVICE RealCreateDevice() {
    return (PFN_D3D11_CREATE_DEVICE)(void*)GetProcAddress(GetModuleHandleW(L"d3d11.dll"), "D3D11CreateDevice");
}

int FakeCalls = 0;

// A runtime that knows nothing above 11_0: a list naming 11_1 is refused as a whole.
HRESULT WINAPI CreateWithout11_1(IDXGIAdapter* adapter, D3D_DRIVER_TYPE type, HMODULE software, UINT flags,
                                 const D3D_FEATURE_LEVEL* levels, UINT count, UINT sdk, ID3D11Device** device,
                                 D3D_FEATURE_LEVEL* level, ID3D11DeviceContext** context) {
    ++FakeCalls;
    for (UINT i = 0; i < count; ++i)
        if (levels[i] == D3D_FEATURE_LEVEL_11_1) return E_INVALIDARG;
    return RealCreateDevice()(adapter, type, software, flags, levels, count, sdk, device, level, context);
}

HRESULT WINAPI CreateNever(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT, const D3D_FEATURE_LEVEL*, UINT, UINT,
                           ID3D11Device**, D3D_FEATURE_LEVEL*, ID3D11DeviceContext**) {
    ++FakeCalls;
    return DXGI_ERROR_UNSUPPORTED;
}

void PutFakeCreate(PFN_D3D11_CREATE_DEVICE fake) {
    D3D11CallApi.D3D11CreateDevice = fake;
    D3D11CallApi.Faked[0] = fake != nullptr;
}

}  // namespace

TEST(D3D11Device, StartsAndEndsThreeTimesWithEveryCountBackAtZero) {
    EXPECT_EQ(D3D11Call_Device_Exists(), 0);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(StartBackEnd(), 0);
        EXPECT_EQ(D3D11Call_Device_Exists(), 1);
        EXPECT_EQ(D3D11Call_DXGIFactory_Exists(), 1);
        EXPECT_TRUE(D3D11CallState.FeatureLevel == D3D_FEATURE_LEVEL_11_0 ||
                    D3D11CallState.FeatureLevel == D3D_FEATURE_LEVEL_11_1);
        EXPECT_GT(D3D11CallState.ObjectCount[D3D11OBJ_BUFFER], 7);   // seven constant buffers and the batch
        EXPECT_GT(D3D11CallState.ObjectCount[D3D11OBJ_SAMPLER_STATE], 0);
        EndBackEnd();
        EXPECT_EQ(D3D11Call_Device_Exists(), 0);
        EXPECT_EQ(D3D11Call_DXGIFactory_Exists(), 0);
        for (int type = 0; type < D3D11OBJ_TYPE_COUNT; ++type) EXPECT_EQ(D3D11CallState.ObjectCount[type], 0) << type;
        EXPECT_EQ(D3D11CallState.D3D11Module, nullptr);
        EXPECT_EQ(D3D11CallState.DXGIModule, nullptr);
    }
    const std::string log = ReadLog();
    EXPECT_NE(log.find(Utf8(u8"Direct3D11 のオブジェクト合計数 : 0")), std::string::npos);
    EXPECT_EQ(log.find(Utf8(u8"ID3D11Buffer : ")), std::string::npos);
}

TEST(D3D11Device, SetUpLogsTheAdapterTheLevelAndTheFormatsAndFillsTheCapabilities) {
    ASSERT_EQ(StartBackEnd(), 0);
    const std::string log = ReadLog();
    for (const char8_t* line : {u8"d3d11.dll の読み込み.... 成功", u8"dxgi.dll の読み込み.... 成功", u8"IDXGIAdapter を列挙",
                                u8"\tAdapter No.0 Desc:", u8"\t\tOutput Device No.0 Name:",
                                u8"ID3D11Device オブジェクトを取得します.... 成功", u8"Graphics Device:",
                                u8"画面のフォーマットは DXGI_FORMAT_R8G8B8A8_UNORM です",
                                u8"16bit Zバッファフォーマットは DXGI_FORMAT_D16_UNORM です",
                                u8"アルファ付き 32bit カラーフォーマットは DXGI_FORMAT_R8G8B8A8_UNORM です",
                                u8"描画用アルファ付き 32bit カラーフォーマットは DXGI_FORMAT_R8G8B8A8_UNORM です",
                                u8"使用する機能レベル:D3D_FEATURE_LEVEL_11_", u8"同時にレンダリングできるバッファの数:8",
                                u8"最大テクスチャサイズ　幅:16384 高さ:16384", u8"各種シェーダー用定数バッファの作成.... 成功",
                                u8"標準描画用の頂点バッファの作成.... 成功"})
        EXPECT_NE(log.find(Utf8(line)), std::string::npos) << Utf8(line);
    EXPECT_GE(D3D11DeviceState.AdapterCount, 1);
    EXPECT_EQ(GraphicsSystemState.MaxTextureSize, 16384);
    EXPECT_EQ(GraphicsSystemState.MaxRenderTargets, 8);
    EXPECT_EQ(GraphicsSystemState.SubtractiveBlendSupported, 1);
    EXPECT_EQ(GraphicsSystemState.BackEndCaps[D3D11CAPS_MAX_PRIMITIVE_COUNT], 0x7FFFFFFF);
    EXPECT_EQ(GraphicsSystemState.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA], 1);
    EXPECT_STRNE(D3D11DeviceState.DeviceName, L"");
    // Fixed rows, and rows that every level-11 device can give.
    for (int code : {0, 5, 9, 11, 13, 15}) EXPECT_EQ(D3D11DeviceState.TextureFormat[code], DXGI_FORMAT_R8G8B8A8_UNORM) << code;
    for (int code = 19; code <= 23; ++code) EXPECT_EQ(D3D11DeviceState.TextureFormat[code], DXGI_FORMAT_UNKNOWN);
    EXPECT_EQ(D3D11DeviceState.TextureFormat[37], DXGI_FORMAT_R8G8B8A8_UNORM);
    EXPECT_EQ(D3D11DeviceState.TextureFormat[50], DXGI_FORMAT_R8_UNORM);
    EXPECT_EQ(D3D11DeviceState.TextureFormat[25], DXGI_FORMAT_R16G16B16A16_FLOAT);
    EXPECT_EQ(D3D11DeviceState.DepthViewFormat[0], DXGI_FORMAT_D16_UNORM);
    EXPECT_EQ(D3D11DeviceState.DepthShaderViewFormat[0], DXGI_FORMAT_R16_UNORM);
    const ColorFormatDesc* rgba = Graphics_D3D11_Format_GetColorFormatDesc(DXGI_FORMAT_R8G8B8A8_UNORM);
    ASSERT_NE(rgba, nullptr);
    EXPECT_EQ(rgba->redMask, 0x000000FFu);
    EXPECT_EQ(rgba->alphaMask, 0xFF000000u);
    EXPECT_EQ(Graphics_D3D11_Format_GetColorFormatDesc(DXGI_FORMAT_BC1_UNORM), nullptr);
    EndBackEnd();
}

TEST(D3D11Device, ARuntimeThatRefusesLevel11_1IsAskedFor11_0Alone) {
    FakeCalls = 0;
    PutFakeCreate(CreateWithout11_1);
    const int started = StartBackEnd();
    PutFakeCreate(nullptr);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(FakeCalls, 2);
    EXPECT_EQ(D3D11DeviceState.FeatureLevelRetried, 1);
    EXPECT_EQ(D3D11CallState.FeatureLevel, D3D_FEATURE_LEVEL_11_0);
    EXPECT_EQ(D3D11Call_Device_Exists(), 1);
    EndBackEnd();
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}

TEST(D3D11Device, FailedCreationLeavesNoDeviceAndNoAdapter) {
    FakeCalls = 0;
    PutFakeCreate(CreateNever);
    ASSERT_EQ(D3D11Call_LoadD3D11(), 0);
    ASSERT_EQ(D3D11Call_LoadDXGI(1), 0);
    EXPECT_EQ(Graphics_D3D11_Device_Setup(), -1);
    PutFakeCreate(nullptr);
    EXPECT_EQ(FakeCalls, 1);   // not E_INVALIDARG: no second try
    EXPECT_EQ(D3D11Call_Device_Exists(), 0);
    EXPECT_EQ(D3D11CallState.Adapter, nullptr);
    EXPECT_EQ(D3D11CallState.Adapter1, nullptr);
    EXPECT_EQ(D3D11CallState.Context, nullptr);
    EndBackEnd();
    EXPECT_NE(ReadLog().find(Utf8(u8"ID3D11Device オブジェクトを取得します.... 失敗")), std::string::npos);
}

TEST(D3D11Device, DeviceCreationWithoutTheLibraryFails) {
    EXPECT_EQ(D3D11Call_Device_Create(), -1);
    EXPECT_EQ(Graphics_D3D11_StateCache_SetDepthEnable(1), -1);
    EXPECT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), -1);
}

TEST(D3D11Device, AdapterChoiceFollowsTheOutputThatShowsTheWindow) {
    const D3D11DeviceStateRecord saved = D3D11DeviceState;
    D3D11DeviceStateRecord& state = D3D11DeviceState;
    memset(state.Adapters, 0, sizeof(state.Adapters));
    state.AdapterCount = 2;
    state.Adapters[0].OutputCount = 1;
    state.Adapters[0].Outputs[0].DesktopCoordinates = {0, 0, 1280, 1024};
    state.Adapters[0].Outputs[0].AttachedToDesktop = TRUE;
    state.Adapters[1].OutputCount = 2;
    state.Adapters[1].Outputs[0].DesktopCoordinates = {1280, 0, 2560, 1024};
    state.Adapters[1].Outputs[0].AttachedToDesktop = TRUE;
    state.Adapters[1].Outputs[1].DesktopCoordinates = {2560, 0, 3840, 1024};
    state.Adapters[1].Outputs[1].AttachedToDesktop = FALSE;

    struct Case {
        RECT Window;
        int Selected;
        int Expected;
    };
    const Case cases[] = {
        {{100, 100, 500, 400}, 0, 0},      // on the selected adapter's monitor
        {{1400, 100, 1800, 400}, 0, 1},    // on the second adapter's monitor
        {{100, 100, 500, 400}, 1, 0},      // back on the first
        {{1200, 100, 1500, 400}, 0, 1},    // across both: the larger overlap (with the last attached output)
        {{1000, 100, 1300, 400}, 1, 0},
        {{5000, 5000, 5100, 5100}, 1, 1},  // on no monitor: the selection stays
        {{5000, 5000, 5100, 5100}, 0, 0},
        {{2600, 100, 2700, 200}, 0, 1},    // an output off the desktop still shows it
    };
    for (const Case& c : cases) {
        state.SelectedAdapter = c.Selected;
        EXPECT_EQ(Graphics_D3D11_Adapter_Choose(&c.Window), c.Expected) << c.Window.left << "," << c.Selected;
        EXPECT_EQ(state.SelectedAdapter, c.Expected);
    }
    D3D11DeviceState = saved;
}

TEST(D3D11Device, MultiSampleCheckSettlesCountAndQuality) {
    ASSERT_EQ(StartBackEnd(), 0);
    UINT samples = 1, quality = 7;
    EXPECT_EQ(D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT_R8G8B8A8_UNORM, &samples, &quality, 0), 0);
    EXPECT_EQ(quality, 0u);
    samples = 4;
    quality = 100;
    EXPECT_EQ(D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT_R8G8B8A8_UNORM, &samples, &quality, 0), 0);
    EXPECT_GE(samples, 1u);
    UINT levels = 0;
    if (samples > 1) {
        D3D11CallState.Device->CheckMultisampleQualityLevels(DXGI_FORMAT_R8G8B8A8_UNORM, samples, &levels);
        EXPECT_LT(quality, levels);
    } else {
        EXPECT_EQ(quality, 0u);
    }
    // A format that cannot be multi-sampled ends at one sample, or fails when strict.
    samples = 8;
    quality = 3;
    EXPECT_EQ(D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT_BC1_UNORM, &samples, &quality, 1), -1);
    EXPECT_EQ(quality, 0u);
    samples = 8;
    EXPECT_EQ(D3D11Call_Device_CheckMultiSampleParam(DXGI_FORMAT_BC1_UNORM, &samples, &quality, 0), 0);
    EXPECT_EQ(samples, 1u);
    EXPECT_EQ(quality, 0u);
    EndBackEnd();
}
