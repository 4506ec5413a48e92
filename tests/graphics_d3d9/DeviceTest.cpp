// The Direct3D 9 device on Wine's real device: the set-up's log report, the capabilities handed to the
// core against GetDeviceCaps, the format tables against CheckDeviceFormat, three starts and ends with
// every live-object count back at 0, a refused Ex device, the ladder of safer screen settings, a device
// without block-compressed formats, the multisample check and the back-buffer lock measurement, and the
// library's start-up landing on Direct3D 9 where Direct3D 11 is missing.
#include <gtest/gtest.h>

#include <initializer_list>

#include "D3D9TestSupport.h"
#include "FakeDirect3D9.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawTarget.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

bool LogHas(const std::string& log, const std::string& text) { return LogFindLines(log, text) != std::string::npos; }

std::string Format(const char8_t* format, int value) {
    char text[256];
    snprintf(text, sizeof(text), (const char*)format, value);
    return text;
}

bool TextureUsable(D3DFORMAT format, DWORD usage) {
    return D3D9Call_Direct3D9_CheckDeviceFormat(D3D9DeviceState.Adapter, D3DDEVTYPE_HAL, D3D9DeviceState.ScreenFormat,
                                                usage, D3DRTYPE_TEXTURE, format) == D3D_OK;
}

D3DFORMAT FirstUsable(std::initializer_list<D3DFORMAT> candidates, DWORD usage) {
    for (D3DFORMAT format : candidates)
        if (TextureUsable(format, usage)) return format;
    return D3DFMT_UNKNOWN;
}

class D3D9DeviceSetUp : public ::testing::Test {
protected:
    void TearDown() override {
        EndBackEnd();
        RemoveFakeObject();
        D3D9CallState.NoEx = 0;
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    }
};

}  // namespace

TEST_F(D3D9DeviceSetUp, LogsTheReportAndHandsTheCapabilitiesToTheCore) {
    ASSERT_EQ(StartBackEnd(), 0);
    ASSERT_EQ(D3D9Call_Device_Exists(), 1);
    D3DCAPS9 caps = {};
    ASSERT_EQ(D3D9Call_Device_GetDeviceCaps(&caps), D3D_OK);
    const GraphicsSystemStateRecord& core = GraphicsSystemState;
    const int width = caps.MaxTextureWidth ? (int)caps.MaxTextureWidth : 256;
    const int height = caps.MaxTextureHeight ? (int)caps.MaxTextureHeight : 256;
    EXPECT_EQ(core.MaxTextureWidth, width);
    EXPECT_EQ(core.MaxTextureHeight, height);
    EXPECT_EQ(core.MaxTextureSize, width < height ? width : height);
    EXPECT_EQ(core.MaxRenderTargets, caps.NumSimultaneousRTs < 8 ? (int)caps.NumSimultaneousRTs : 8);
    EXPECT_EQ(core.MaxPrimitiveCount, (int)caps.MaxPrimitiveCount);
    EXPECT_EQ(core.MaxVertexIndex, (int)caps.MaxVertexIndex);
    EXPECT_EQ(core.SubtractiveBlendSupported, (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) != 0);
    EXPECT_EQ(core.SeparateAlphaBlendSupported, (caps.PrimitiveMiscCaps & D3DPMISCCAPS_SEPARATEALPHABLEND) != 0);
    EXPECT_EQ(core.TexturePowerOfTwoOnly, (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0);
    EXPECT_EQ(core.TextureSquareOnly, (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0);
    EXPECT_EQ(core.TextureNonPowerOfTwoConditional, (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0);
    EXPECT_EQ(core.WaitVSyncChangeable, 1);
    EXPECT_EQ(core.FurtherCapsSwitch, 1);
    EXPECT_EQ(core.NoHalfPixelOffset, 0);
    EXPECT_EQ(core.DeviceValid, 1);
    EXPECT_EQ(D3D9DeviceState.TextureStageCount, (int)caps.MaxTextureBlendStages);
    EXPECT_EQ(D3D9DeviceState.StageTemporary, (caps.PrimitiveMiscCaps & D3DPMISCCAPS_TSSARGTEMP) != 0);
    EXPECT_EQ(D3D9DeviceState.PixelShader30, (caps.PixelShaderVersion & 0xFFFF) >= 0x300 &&
                                                 (caps.VertexShaderVersion & 0xFFFF) >= 0x300);
    EXPECT_EQ(GetShaderModelVersion(), D3D9DeviceState.PixelShader30 ? 300 : 200);
    EXPECT_EQ(GraphicsScreenState.ColourBits, 32);   // the desktop's X8R8G8B8
    EXPECT_EQ(D3D9DeviceState.ScreenFormat, D3DFMT_X8R8G8B8);

    const std::string log = ReadLog();
    for (const char8_t* line :
         {u8"DirectDraw オブジェクトの取得を行います....  成功\n引き続き初期化処理... 初期化に成功しました\n",
          u8"IDirect3D9Ex オブジェクトを取得します.... 成功\n",
          u8"IDirect3DDevice9Ex オブジェクトを取得します.... ハードウエア頂点演算を使用します\n",
          u8"Driver:", u8"  Description:", u8"画面のフォーマットは D3DFMT_X8R8G8B8 です\n",
          u8"16bit Zバッファフォーマットは D3DFMT_D16 です\n", u8"32bit カラーフォーマットは D3DFMT_X8R8G8B8 です\n",
          u8"アルファ付き 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\n",
          u8"描画用アルファ付き 32bit カラーフォーマットは D3DFMT_A8R8G8B8 です\n",
          u8"A8R8G8B8 カラーフォーマットは頂点テクスチャフェッチに使用", u8"最大テクスチャサイズ　幅:",
          u8"減算合成のハードウェア対応：ネイティブ\n", u8"ハードウェア頂点シェーダーバージョンコード：",
          u8"エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\n",
          u8"バックバッファロック転送の時間:", u8"nsec  一時的な描画可能バッファを使用した転送の時間:"})
        EXPECT_TRUE(LogHas(log, Utf8(line))) << Utf8(line);
    EXPECT_TRUE(LogHas(log, Format(u8"一度に描画できるプリミティブの最大数:%d\n", (int)caps.MaxPrimitiveCount)));
    EXPECT_TRUE(LogHas(log, Format(u8"対応している最大頂点インデックス:%d\n", (int)caps.MaxVertexIndex)));
    EXPECT_TRUE(LogHas(log, Format(u8"同時にレンダリングできるバッファの数:%d\n", core.MaxRenderTargets)));
    EXPECT_TRUE(LogHas(log, Format(u8"ピクセルシェーダーバージョンコード：%x\n", (int)(caps.PixelShaderVersion & 0xFFFF))));
    EXPECT_TRUE(LogHas(log, Utf8(D3D9DeviceState.BackBufferLock ? u8"バックバッファロックを使用します\n"
                                                                : u8"バックバッファロックを使用しません\n")));
    EXPECT_EQ(D3D9DeviceState.LockEdge, 64);   // 256 halved to fit the 64 x 64 screen
    EXPECT_GE(D3D9DeviceState.LockTimeNs, 0);
    EXPECT_GE(D3D9DeviceState.CopyTimeNs, 0);
}

TEST_F(D3D9DeviceSetUp, FormatTablesHoldWhatTheDeviceAllows) {
    ASSERT_EQ(StartBackEnd(), 0);
    const D3DFORMAT* t = D3D9TextureFormatTable;
    const DWORD texture = 0, render = D3DUSAGE_RENDERTARGET;
    struct Row {
        int Code;
        DWORD Usage;
        std::initializer_list<D3DFORMAT> Candidates;
    };
    const Row rows[] = {
        {6, texture, {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}},
        {8, texture, {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}},
        {9, texture, {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}},
        {10, texture, {D3DFMT_A1R5G5B5, D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}},
        {11, texture, {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4}},
        {24, texture, {D3DFMT_A16B16G16R16}},
        {26, texture, {D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}},
        {28, texture, {D3DFMT_G16R16, D3DFMT_A16B16G16R16}},
        {29, texture, {D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F}},
        {34, texture, {D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}},
        {35, render, {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}},   // the screen is not R5G6B5
        {36, render, {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}},
        {37, render, {D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4}},
        {41, render, {D3DFMT_L8, D3DFMT_A8L8, D3DFMT_A8R8G8B8}},
        {42, render, {D3DFMT_L16, D3DFMT_G16R16, D3DFMT_A16B16G16R16}},
        {44, render, {D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16F}},
        {45, render, {D3DFMT_A8L8, D3DFMT_A8R8G8B8}},
    };
    for (const Row& row : rows) EXPECT_EQ(t[row.Code], FirstUsable(row.Candidates, row.Usage)) << row.Code;
    // Every row the set-up filled names a format the device takes for that use.
    for (int code = 6; code <= 48; ++code) {
        if (t[code] == D3DFMT_UNKNOWN) continue;
        EXPECT_TRUE(TextureUsable(t[code], code >= 35 ? render : texture)) << code;
    }
    EXPECT_EQ(t[7], FirstUsable({D3DFMT_X8R8G8B8}, texture) ? D3DFMT_X8R8G8B8 : t[6]);
    EXPECT_EQ(t[12], TextureUsable(D3DFMT_DXT1, texture) ? D3DFMT_DXT1 : t[10]);
    EXPECT_EQ(t[16], TextureUsable(D3DFMT_DXT5, texture) ? D3DFMT_DXT5 : t[9]);
    for (int code : {0, 1}) EXPECT_EQ(t[code], t[7]);   // a 32-bit screen
    for (int code : {2, 3, 17, 18}) EXPECT_EQ(t[code], t[9]);
    for (int code : {4, 5, 50}) EXPECT_EQ(t[code], t[11]);
    for (int code = 19; code <= 23; ++code) EXPECT_EQ(t[code], D3DFMT_UNKNOWN);
    EXPECT_EQ(t[49], t[36]);
    EXPECT_EQ(D3D9DepthFormatTable[0], D3DFMT_D16);
    for (int depth = 1; depth < 3; ++depth)
        EXPECT_EQ(D3D9Call_Direct3D9_CheckDepthFormat(D3D9DeviceState.Adapter, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                                      D3DFMT_X8R8G8B8, D3D9DepthFormatTable[depth]),
                  0)
            << depth;
}

TEST_F(D3D9DeviceSetUp, StartsAndEndsThreeTimesWithEveryCountBackAtZero) {
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(StartBackEnd(), 0);
        EXPECT_EQ(D3D9Call_Device_Exists(), 1);
        EXPECT_EQ(D3D9Call_Direct3D9Ex_Exists(), 1);
        EXPECT_NE(D3D9CallState.SwapChain, nullptr);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], 2);      // the back buffer and the depth buffer
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SWAP_CHAIN], 1);
        // Objects of every kind the layer counts, made and released again.
        IDirect3DTexture9* texture = nullptr;
        IDirect3DSurface9* level = nullptr;
        IDirect3DVertexBuffer9* vertices = nullptr;
        ASSERT_EQ(D3D9Call_Device_CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &texture, nullptr), D3D_OK);
        ASSERT_EQ(D3D9Call_Texture_GetSurfaceLevel(texture, 0, &level), D3D_OK);
        ASSERT_EQ(D3D9Call_Device_CreateVertexBufferASync(256, 0, 0, D3DPOOL_SYSTEMMEM, &vertices, 0), 0);
        // With them the built-in shaders: the 2D vertex shader, 14 untextured, 224 textured and 9 mask
        // pixel shaders, and the twelve vertex declarations.
        EXPECT_EQ(GraphicsSystemState.ShadersUsable, 1);
        EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 6 + 248 + 12);
        D3D9Call_Object_Release(level);
        D3D9Call_Object_Release(texture);
        D3D9Call_Object_Release(vertices);
        EndBackEnd();
        EXPECT_EQ(D3D9Call_Device_Exists(), 0);
        EXPECT_EQ(D3D9Call_Direct3D9_Exists(), 0);
        EXPECT_EQ(D3D9CallState.SwapChain, nullptr);
        EXPECT_EQ(D3D9VBlankState.DirectDraw, nullptr);
        for (int type = 0; type < D3D9OBJ_TYPE_COUNT; ++type) EXPECT_EQ(D3D9CallState.ObjectCount[type], 0) << type;
        EXPECT_EQ(D3D9CallState.Module, nullptr);
        EXPECT_EQ(D3D9CallState.ObjectsOutlived, 0);
    }
    const std::string log = ReadLog();
    EXPECT_TRUE(LogHas(log, Utf8(u8"Direct3D9 のオブジェクト合計数 : 0\n")));
    EXPECT_TRUE(LogHas(log, Utf8(u8"Direct3DDevice9 の解放 2\nd3d9.dll の解放 1\n")));
}

TEST_F(D3D9DeviceSetUp, ARefusedExDeviceIsMadeAgainWithAPlainObject) {
    PutFakeObject();
    FakeSettings.RefuseDeviceEx = 1;
    ASSERT_EQ(StartBackEnd(), 0);
    EXPECT_EQ(D3D9CallState.NoEx, 1);
    EXPECT_EQ(D3D9Call_Direct3D9Ex_Exists(), 0);
    EXPECT_EQ(D3D9CallState.DeviceEx, nullptr);
    EXPECT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(FakeSettings.CreateCalls, 3);   // Ex, its software retry, then the plain device
    const std::string log = ReadLog();
    EXPECT_TRUE(LogHas(log, Utf8(u8"IDirect3DDevice9Ex オブジェクトを取得します.... Direct3DDevice9Ex の作成に失敗しました\n"
                                 u8"IDirect3D9 オブジェクトを取得します.... 成功\n"
                                 u8"IDirect3DDevice9 オブジェクトを取得します.... ハードウエア頂点演算を使用します\n")));
    // The Ex road stays closed for the rest of the process.
    EndBackEnd();
    ASSERT_EQ(StartBackEnd(), 0);
    EXPECT_EQ(D3D9Call_Direct3D9Ex_Exists(), 0);
}

TEST_F(D3D9DeviceSetUp, RefusedDevicesStepDownTheScreenSettings) {
    PutFakeObject();
    // The plain road (a refused Ex device skips the ladder). Both tries of the first two settings refused:
    // 32-bit colour, then 800 x 600 succeeds.
    D3D9CallState.NoEx = 1;
    FakeSettings.RefuseDevices = 4;
    PrepareCore(64, 64);
    GraphicsScreenState.ColourBits = 16;
    ASSERT_EQ(Graphics_D3D9_System_Initialize(), 0);
    EXPECT_EQ(FakeSettings.CreateCalls, 5);
    EXPECT_EQ(GraphicsScreenState.MainScreenWidth, 800);
    EXPECT_EQ(GraphicsScreenState.MainScreenHeight, 600);
    EXPECT_EQ(FakeSettings.LastBackBufferWidth, 800u);
    EXPECT_EQ(D3D9DeviceState.SoftwareRetry, 0);
    EndBackEnd();
    // Every rung refused: no device, nothing left.
    FakeSettings.RefuseDevices = 100;
    FakeSettings.CreateCalls = 0;
    PrepareCore(64, 64);
    EXPECT_EQ(Graphics_D3D9_System_Initialize(), -1);
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(D3D9Call_Direct3D9_Exists(), 0);
    EXPECT_EQ(D3D9CallState.Module, nullptr);
    EXPECT_EQ(FakeSettings.CreateCalls, 8);   // four settings, two tries each
    EXPECT_TRUE(LogHas(ReadLog(), Utf8(u8"Direct3DDevice9 の作成に失敗しました\n")));
    Graphics_Screen_SetMainScreenSize(64, 64);
}

TEST_F(D3D9DeviceSetUp, WithoutBlockFormatsTheDxtRowsTakeTheAlphaFormats) {
    PutFakeObject();
    FakeSettings.HideBlockFormats = 1;
    ASSERT_EQ(StartBackEnd(), 0);
    EXPECT_EQ(D3D9TextureFormatTable[12], D3D9TextureFormatTable[10]);
    for (int code = 13; code <= 16; ++code) EXPECT_EQ(D3D9TextureFormatTable[code], D3D9TextureFormatTable[9]) << code;
    const std::string log = ReadLog();
    EXPECT_TRUE(LogHas(log, Utf8(u8"ＤＸＴ１テクスチャフォーマットは使えません\n")));
    EXPECT_TRUE(LogHas(log, Utf8(u8"ＤＸＴ５テクスチャフォーマットは使えません\n")));
}

TEST_F(D3D9DeviceSetUp, CapabilitiesOfAnUnusualDevice) {
    ASSERT_EQ(StartBackEnd(), 0);
    D3DCAPS9 caps = D3D9DeviceState.Caps;
    caps.MaxTextureWidth = 0;
    caps.MaxTextureHeight = 2048;
    caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    caps.NumSimultaneousRTs = 12;
    caps.PrimitiveMiscCaps &= ~(DWORD)(D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_TSSARGTEMP);
    Graphics_D3D9_Device_ReadCaps(&caps);
    EXPECT_EQ(GraphicsSystemState.MaxTextureWidth, 256);   // 0 is taken as 256
    EXPECT_EQ(GraphicsSystemState.MaxTextureSize, 256);
    EXPECT_EQ(GraphicsSystemState.MaxRenderTargets, 8);
    EXPECT_EQ(D3D9DeviceState.VertexShader20, 1);
    EXPECT_EQ(D3D9DeviceState.VertexShader30, 0);   // the 3.0 flags only together
    EXPECT_EQ(D3D9DeviceState.PixelShader30, 0);
    EXPECT_EQ(GraphicsSystemState.SubtractiveBlendSupported, 0);
    EXPECT_EQ(D3D9DeviceState.StageTemporary, 0);
    EXPECT_EQ(D3D9DeviceStateCache.DiffuseMaterialSource, 255);
}

TEST_F(D3D9DeviceSetUp, MultiSampleCheckSettlesTypeAndQuality) {
    ASSERT_EQ(StartBackEnd(), 0);
    D3DMULTISAMPLE_TYPE type = D3DMULTISAMPLE_NONE;
    DWORD quality = 7;
    EXPECT_EQ(D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFMT_X8R8G8B8, &type, &quality, 0), 0);
    EXPECT_EQ(quality, 0u);
    type = D3DMULTISAMPLE_4_SAMPLES;
    quality = 100;
    EXPECT_EQ(D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFMT_X8R8G8B8, &type, &quality, 0), 0);
    if (type != D3DMULTISAMPLE_NONE) {
        DWORD levels = 0;
        ASSERT_EQ(D3D9Call_Direct3D9_CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, type, &levels), D3D_OK);
        EXPECT_LT(quality, levels);
    }
    // A format that takes no multisampling: down to none, or -1 with the fail flag.
    type = D3DMULTISAMPLE_8_SAMPLES;
    quality = 3;
    EXPECT_EQ(D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFMT_DXT1, &type, &quality, 1), -1);
    EXPECT_EQ(quality, 0u);
    type = D3DMULTISAMPLE_8_SAMPLES;
    EXPECT_EQ(D3D9Call_Direct3D9_CheckMultiSampleParam(D3DFMT_DXT1, &type, &quality, 0), 0);
    EXPECT_EQ(type, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(quality, 0u);
}

TEST_F(D3D9DeviceSetUp, AMultiSampledScreenIsNotLockedAndASmallOneMeasuresSmallSquares) {
    PrepareCore(64, 64);
    GraphicsSystemState.ScreenMultiSampleCount = 4;
    ASSERT_EQ(Graphics_D3D9_System_Initialize(), 0);
    const int samples = GraphicsSystemState.ScreenMultiSampleCount;
    if (samples != 0) {
        EXPECT_EQ(D3D9DeviceState.PresentParams.SwapEffect, D3DSWAPEFFECT_DISCARD);
        EXPECT_EQ(D3D9DeviceState.PresentParams.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, 0u);
        EXPECT_EQ(D3D9DeviceState.BackBufferLock, 0);
        EXPECT_TRUE(LogHas(ReadLog(), Utf8(u8"フルシーンアンチエイリアスを使用する場合はバックバッファはロックできません\n")));
    }
    EndBackEnd();

    PrepareCore(200, 100);
    ASSERT_EQ(Graphics_D3D9_System_Initialize(), 0);
    EXPECT_EQ(D3D9DeviceState.PresentParams.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(D3D9DeviceState.LockEdge, 64);   // 256 halved until it fits 200 x 100
    EXPECT_EQ(D3D9DeviceState.PresentParams.BackBufferWidth, 200u);
    EXPECT_EQ(D3D9DeviceState.PresentParams.BackBufferHeight, 100u);
}

// The library's own start on a machine without Direct3D 11 (this program's prefix disables d3d11.dll):
// the choice lands on Direct3D 9, which starts, tells the log, presents frames, and at the end leaves
// no Direct3D 9 object alive.
class D3D9LibraryStart : public WindowTest::LibraryTest {};

TEST_F(D3D9LibraryStart, WithoutDirect3D11TheStartUpLandsOnDirect3D9AndDrawsThroughIt) {
    const int starts = D3D9SystemState.Starts;
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(GraphicsApi, GRAPHICS_API_D3D9);
    EXPECT_EQ(GraphicsSystemState.DeviceValid, 1);
    EXPECT_EQ(D3D9SystemState.Starts, starts + 1);
    EXPECT_EQ(D3D9Call_Device_Exists(), 1);
    EXPECT_EQ(GraphicsScreenState.MainScreenWidth, 860);
    EXPECT_EQ(GraphicsScreenState.MainScreenHeight, 560);
    EXPECT_EQ(D3D9DeviceState.PresentParams.BackBufferWidth, 860u);
    EXPECT_GT(GraphicsSystemState.MaxTextureSize, 0);
    std::string log = ReadLog();
    const size_t d3d11 = log.rfind(Utf8(u8"d3d11.dll の読み込み.... 失敗\r\n"));
    ASSERT_NE(d3d11, std::string::npos);
    const size_t object = LogFindLines(log, Utf8(u8"IDirect3D9Ex オブジェクトを取得します.... 成功\n"), d3d11);
    ASSERT_NE(object, std::string::npos);
    EXPECT_NE(LogFindLines(log, Utf8(u8"Direct3D 11 が使えないので Direct3D 9 で描画します\n"), object), std::string::npos);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(PollMessages(), 0);
        EXPECT_EQ(PresentScreen(), 0);
    }
    const uint32_t presents = DeviceCalls(D3D9CALL_Present);
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_GT(DeviceCalls(D3D9CALL_Present), presents);

    TerminateLibrary();
    EXPECT_EQ(D3D9Call_Device_Exists(), 0);
    EXPECT_EQ(D3D9CallState.Module, nullptr);
    EXPECT_EQ(D3D9Call_GetTotalObjectCount(), 0);
    log = ReadLog();
    EXPECT_NE(LogFindLines(log, Utf8(u8"Direct3D9 のオブジェクト合計数 : 0\n"), object), std::string::npos);
}
