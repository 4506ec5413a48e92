// Graphics module start and end with the library under Wine: no device when hardware graphics are
// off or the Direct3D libraries cannot be loaded, the back-end order, every switch's result without
// a device (and that a device value reaches the back-end), nothing left behind, the monitor list, the
// scratch buffers and the queries.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

int OpenSystemHandles() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

const int GraphicsHandleTypes[] = {HandleType_Graph, HandleType_Shader, HandleType_ShaderConstantBuffer,
                                   HandleType_VertexBuffer, HandleType_IndexBuffer, HandleType_ShadowMap};

// Wine leaves a library alone whose load order in the DllOverrides of the program is empty. It
// reads the program's key once, when the process starts: the values are set for this program's name
// around a child process that runs one test again, and taken away afterwards.
class Direct3DUnloadable {
public:
    Direct3DUnloadable() {
        const std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + ProgramName() + L"\\DllOverrides";
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS)
            key_ = nullptr;
        for (const wchar_t* library : Libraries)
            if (key_) RegSetValueExW(key_, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(L""));
    }
    ~Direct3DUnloadable() {
        if (key_ == nullptr) return;
        for (const wchar_t* library : Libraries) RegDeleteValueW(key_, library);
        RegCloseKey(key_);
    }
    static std::wstring ProgramPath() {
        wchar_t path[MAX_PATH] = {0};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        return path;
    }
    static std::wstring ProgramName() {
        const std::wstring path = ProgramPath();
        const size_t slash = path.find_last_of(L'\\');
        return slash == std::wstring::npos ? path : path.substr(slash + 1);
    }

private:
    static constexpr const wchar_t* Libraries[] = {L"d3d11", L"d3d9"};
    HKEY key_ = nullptr;
};

// Runs one test of this program again in a child process that cannot load d3d11.dll or d3d9.dll.
// Returns the child's exit code, -1 when it could not be run.
int RunTestWithoutDirect3D(const wchar_t* testName) {
    Direct3DUnloadable unloadable;
    const std::wstring path = Direct3DUnloadable::ProgramPath();
    std::wstring command = L"\"" + path + L"\" --gtest_brief=1 --gtest_filter=" + testName;
    SetEnvironmentVariableW(L"VT_GRAPHICS_NO_DIRECT3D", L"1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(L"VT_GRAPHICS_NO_DIRECT3D", nullptr);
    if (!started) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

bool InChildWithoutDirect3D() { return GetEnvironmentVariableW(L"VT_GRAPHICS_NO_DIRECT3D", nullptr, 0) != 0; }

// One start and end of the library without a device, with everything given back.
void StartAndEndWithoutDevice(int round, const std::function<void(const std::string&)>& checkLog) {
    SCOPED_TRACE(round);
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(GraphicsApi, GRAPHICS_API_NONE);
    EXPECT_EQ(GraphicsSystemState.Initialised, 1);
    EXPECT_EQ(GraphicsSystemState.DeviceValid, 0);
    EXPECT_EQ(IsHardwareRenderingActive(), 0);
    EXPECT_EQ(Graphics_Dispatch_Device_IsValid(), 0);
    // Without a device the core keeps the DirectDraw object of the vertical-blank wait (COM serves it).
    EXPECT_NE(Graphics_Dispatch_DirectDraw7_Get(), nullptr);
    EXPECT_EQ(GetShaderModelVersion(), 0);
    EXPECT_EQ(GetCurrentDrawScreen(), DRAW_SCREEN_FRONT);
    EXPECT_EQ(MemImg_IsValid(&GraphicsSystemState.SoftScreenMain), 1);
    EXPECT_EQ(GraphicsSystemState.SoftScreenWorkAlpha.body->hasAlpha, 1);
    EXPECT_EQ(GraphicsSystemState.MemImgDrawTarget, &GraphicsSystemState.SoftScreenMain);
    for (int type : GraphicsHandleTypes) EXPECT_EQ(HandleManagerTable[type].Initialized, 1) << type;
    EXPECT_EQ(SetHardwareGraphicsEnable(1), -1);  // too late once started
    for (int frame = 0; frame < 3; ++frame) ASSERT_EQ(PollMessages(), 0);
    // The log of this start: the file goes on across the starts of one process.
    const std::string log = ReadLog();
    const size_t start = log.rfind(Utf8(u8"Vantrelの初期化処理開始"));
    ASSERT_NE(start, std::string::npos);
    checkLog(log.substr(start));

    ASSERT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(GraphicsSystemState.Initialised, 0);
    EXPECT_EQ(Graphics_Dispatch_DirectDraw7_Get(), nullptr);
    EXPECT_EQ(GraphicsSystemState.MonitorList, nullptr);
    EXPECT_EQ(MemImg_IsValid(&GraphicsSystemState.SoftScreenMain), 0);
    for (int type : GraphicsHandleTypes) EXPECT_EQ(HandleManagerTable[type].Initialized, 0) << type;
    EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    for (const HandleManager& manager : HandleManagerTable)
        EXPECT_EQ(manager.Initialized ? manager.Count : 0, 0) << static_cast<int>(&manager - HandleManagerTable);
}

}  // namespace

class GraphicsLifecycleTest : public LibraryTest {
public:
    // This program never loads a scripted XInput: the system's libraries stay pinned to the end, since
    // freeing them while their device thread runs can crash the process (the child runs exit here).
    static void TearDownTestSuite() {}

protected:
    void TearDown() override {
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        GraphicsApi = GRAPHICS_API_NONE;
    }
};

TEST_F(GraphicsLifecycleTest, HardwareOffStartsAndEndsTwiceWithoutTouchingABackEnd) {
    EXPECT_EQ(IsHardwareRenderingActive(), 1);
    ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
    EXPECT_EQ(IsHardwareRenderingActive(), 0);
    int systemHandles = 0;
    for (int round = 0; round < 2; ++round) {
        StartAndEndWithoutDevice(round, [](const std::string& log) {
            EXPECT_EQ(LogFind(log, u8"d3d11.dll"), std::string::npos);
            EXPECT_EQ(LogFind(log, u8"d3d9.dll"), std::string::npos);
        });
        // The first round loads what stays loaded; the second gives back all it opened.
        if (round == 0)
            systemHandles = OpenSystemHandles();
        else
            EXPECT_EQ(OpenSystemHandles(), systemHandles);
    }
}

TEST_F(GraphicsLifecycleTest, UnloadableDirect3DLibrariesFallBackToNoDevice) {
    if (!InChildWithoutDirect3D()) {
        EXPECT_EQ(RunTestWithoutDirect3D(L"GraphicsLifecycleTest.UnloadableDirect3DLibrariesFallBackToNoDevice"), 0);
        return;
    }
    HMODULE probe = LoadLibraryW(L"d3d11.dll");
    if (probe != nullptr) FreeLibrary(probe);
    ASSERT_EQ(probe, nullptr) << "the load order should keep d3d11.dll from loading";
    for (int round = 0; round < 2; ++round) {
        StartAndEndWithoutDevice(round, [](const std::string& log) {
            const size_t d3d11 = LogFind(log, u8"d3d11.dll の読み込み.... ");
            ASSERT_NE(d3d11, std::string::npos);
            const size_t failed = LogFind(log, u8"失敗", d3d11);
            ASSERT_NE(failed, std::string::npos);
            EXPECT_NE(LogFind(log, u8"d3d9.dll の読み込みに失敗しました", failed), std::string::npos);
        });
    }
}

TEST_F(GraphicsLifecycleTest, LoadableLibrariesAreTriedDirect3D11FirstAndGivenBack) {
    // With the Direct3D 11 start-up switched off its library is only loaded, told of and given back, and
    // the start lands on Direct3D 9; the end gives d3d9.dll back too.
    Graphics_D3D11_SetDeviceEnabled(0);
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(GraphicsApi, GRAPHICS_API_D3D9);
    EXPECT_EQ(Graphics_Dispatch_Device_IsValid(), 1);
    ASSERT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    const std::string log = ReadLog();
    const size_t start = log.rfind(Utf8(u8"Vantrelの初期化処理開始"));
    ASSERT_NE(start, std::string::npos);
    const size_t d3d11 = LogFind(log, u8"d3d11.dll の読み込み.... ", start);
    ASSERT_NE(d3d11, std::string::npos);
    const size_t freed11 = LogFind(log, u8"d3d11.dll の解放 1", d3d11);
    ASSERT_NE(freed11, std::string::npos);
    const size_t chosen = LogFind(log, u8"Direct3D 11 が使えないので Direct3D 9 で描画します", freed11);
    ASSERT_NE(chosen, std::string::npos);
    EXPECT_NE(LogFind(log, u8"d3d9.dll の解放 1", chosen), std::string::npos);
}

// A start without a device after one with Direct3D 11 answers as if the device had never been there.
TEST_F(GraphicsLifecycleTest, CapabilitiesOfADeviceEndWithIt) {
    ASSERT_EQ(InitializeLibrary(), 0);
    if (GraphicsApi != GRAPHICS_API_D3D11) GTEST_SKIP() << "no Direct3D 11 device on this machine";
    EXPECT_EQ(GraphicsSystemState.WaitVSyncChangeable, 1);
    EXPECT_GT(GraphicsSystemState.MaxTextureWidth, 0);
    ASSERT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(GraphicsSystemState.MaxTextureWidth, 0);
    EXPECT_EQ(GraphicsSystemState.ShadersUsable, 0);

    ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(SetWaitVSyncEnable(1), -1);
    EXPECT_EQ(GraphicsSystemState.WaitVSyncChangeable, 0);
    EXPECT_EQ(GraphicsSystemState.SubtractiveBlendSupported, 0);
    EXPECT_EQ(GetShaderModelVersion(), 0);
}

TEST_F(GraphicsLifecycleTest, ScreenOfSizeZeroStartsAt640x480With16Bits) {
    GraphicsScreenState.ScreenWidth = GraphicsScreenState.ScreenHeight = GraphicsScreenState.ColourBits = 0;
    ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);  // the software screen shows the size and depth
    ASSERT_EQ(InitializeLibrary(), 0);
    int width = 0, height = 0, bits = 0;
    GetScreenModeSettings(&width, &height, &bits);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(Graphics_SoftScreen_BitsPerPixel(&GraphicsSystemState.SoftScreenMain), 16);
    EXPECT_EQ(Graphics_SoftScreen_Pitch(&GraphicsSystemState.SoftScreenMain), 640 * 2);
    EXPECT_EQ(AspectScreenWidth, 640);
    EXPECT_EQ(Graphics_Module_Initialize(), 0);  // already started: nothing changes
    EXPECT_EQ(GraphicsSystemState.SoftScreenMain.width, 640);
}

TEST_F(GraphicsLifecycleTest, ModuleEndBeforeAnyStartReturnsZero) {
    EXPECT_EQ(Graphics_Module_Terminate(), 0);
    EXPECT_EQ(GraphicsSystemState.Initialised, 0);
}

TEST_F(GraphicsLifecycleTest, ScratchBuffersGrowOnlyAndAreGivenBack) {
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(Graphics_Other_ReserveScratchBuffer(3, 16), -1);
    EXPECT_EQ(Graphics_Other_ReserveScratchBuffer(-1, 16), -1);
    ASSERT_EQ(Graphics_Other_ReserveScratchBuffer(1, 4096), 0);
    void* block = GraphicsSystemState.Scratch.Buffer[1];
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[100] = 42;
    EXPECT_EQ(Graphics_Other_ReserveScratchBuffer(1, 100), 0);
    EXPECT_EQ(GraphicsSystemState.Scratch.Buffer[1], block);
    EXPECT_EQ(GraphicsSystemState.Scratch.Size[1], 4096u);
    ASSERT_EQ(Graphics_Other_ReserveScratchBuffer(1, 1 << 20), 0);
    EXPECT_EQ(static_cast<char*>(GraphicsSystemState.Scratch.Buffer[1])[100], 42);  // contents kept
    ASSERT_EQ(TerminateLibrary(), 0);
    EXPECT_EQ(GraphicsSystemState.Scratch.Buffer[1], nullptr);
    EXPECT_EQ(GraphicsSystemState.Scratch.Size[1], 0u);
    EXPECT_EQ(MemoryState.AllocBlockCount, 0);
}

TEST_F(GraphicsLifecycleTest, QueriesAndRestoreHandler) {
    ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);  // the answers without a device
    ASSERT_EQ(InitializeLibrary(), 0);
    EXPECT_EQ(GetScreenColorBitDepth(), 32);
    int width = 0, height = 0;
    GetMainScreenSize(&width, &height);
    EXPECT_EQ(width, 860);
    EXPECT_EQ(height, 560);
    EXPECT_EQ(GetWaitVSyncEnable(), 0);               // the tool's setting before start-up
    EXPECT_EQ(SetWaitVSyncEnable(1), -1);             // no device: fixed after start-up
    EXPECT_EQ(Graphics_Screen_GetFullScreenResolutionMode(), 0);
    EXPECT_EQ(Graphics_Screen_IsFullScreenResolutionModeSet(), 0);
    EXPECT_EQ(Graphics_Caps_GetNoHalfPixelOffset(), 0);
    EXPECT_EQ(GetDeleteGraphsOnModeChange(), 1);
    EXPECT_EQ(SetGraphRestoreHandler(nullptr), 0);
    EXPECT_EQ(Graphics_Image_HasRestoreCallback(), 1);  // the default reloader is stored
    EXPECT_EQ(Graphics_Image_RestoreAllAfterLoss(), 0);
    EXPECT_EQ(Graphics_Screen_RestoreOnActivate(), 0);
    EXPECT_EQ(SetGDIDrawEnableFlag(1), 0);
    EXPECT_EQ(GetGDIDrawEnableFlag(), 1);
    SetGDIDrawEnableFlag(0);
}

TEST_F(GraphicsLifecycleTest, MonitorListHoldsThePrimaryMonitorAndItsModesOnce) {
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(Graphics_Display_SetupInfo(), 0);
    ASSERT_GE(GraphicsSystemState.MonitorCount, 1);
    const MonitorInfo& monitor = GraphicsSystemState.MonitorList[GraphicsSystemState.PrimaryMonitor];
    EXPECT_EQ(monitor.Primary, 1);
    EXPECT_GT(monitor.Width, 0);
    EXPECT_GT(monitor.Height, 0);
    EXPECT_GE(monitor.PhysicalWidth, 1);
    EXPECT_EQ(monitor.Width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(monitor.ColourBits, 32);
    EXPECT_NE(monitor.DeviceName[0], 0);
    ASSERT_GE(monitor.DisplayModeCount, 1);
    for (int i = 0; i < monitor.DisplayModeCount; ++i) {
        const DisplayModeRecord& mode = monitor.DisplayModes[i];
        EXPECT_GE(mode.ColourBits, 16);
        for (int j = 0; j < i; ++j) {
            const DisplayModeRecord& other = monitor.DisplayModes[j];
            EXPECT_FALSE(mode.Width == other.Width && mode.Height == other.Height && mode.ColourBits == other.ColourBits &&
                         mode.RefreshRate == other.RefreshRate)
                << i << " repeats " << j;
        }
    }
    DisplayModeRecord none;
    GetDisplayModeEntry(&none, monitor.DisplayModeCount, GraphicsSystemState.PrimaryMonitor);
    EXPECT_EQ(none.Width, -1);
    EXPECT_EQ(none.RefreshRate, -1);
    const std::string log = ReadLog();
    const size_t start = LogFind(log, u8"ディスプレイ情報のセットアップ開始");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(LogFind(log, u8"モニターの数：", start), std::string::npos);
    EXPECT_NE(LogFind(log, u8"ディスプレイ情報のセットアップ完了", start), std::string::npos);
}

TEST_F(GraphicsLifecycleTest, DrawScreenSelectionResetsDrawAreaAndCamera) {
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    RECT area;
    GetDrawAreaRect(&area);
    EXPECT_EQ(area.right, 860);
    EXPECT_EQ(area.bottom, 560);
    EXPECT_EQ(DrawSettings.DrawAreaEmpty, 0);

    // World (x, y, 0) lands on pixel (x, height - y).
    MatrixD toPixels;
    MakeProductMatrixD(&toPixels, &GraphicsTransform.World, &GraphicsTransform.View);
    MakeProductMatrixD(&toPixels, &toPixels, &GraphicsTransform.Projection);
    MakeProductMatrixD(&toPixels, &toPixels, &GraphicsTransform.Viewport3D);
    for (const VectorD point : {VectorD{430, 280, 0}, VectorD{0, 0, 0}, VectorD{860, 560, 0}, VectorD{100, 60, 0}}) {
        VectorD pixel;
        double w = 0;
        TransformVector4D(&pixel, &w, &point, 1.0, &toPixels);
        EXPECT_NEAR(pixel.x / w, point.x, 1e-3);
        EXPECT_NEAR(pixel.y / w, 560 - point.y, 1e-3);
    }

    EXPECT_EQ(SelectDrawScreen(-3), 0);
    EXPECT_EQ(DrawSettings.DrawAreaEmpty, 1);
    EXPECT_EQ(GraphicsScreenState.DrawTargetWidth, 860);  // kept
    EXPECT_EQ(SelectDrawScreen(12345), -1);
    EXPECT_EQ(GetCurrentDrawScreen(), -3);
    EXPECT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    EXPECT_EQ(ReadDrawScreenPixel(860, 0), -1);
    EXPECT_EQ(ReadDrawScreenPixel(0, -1), -1);
}

namespace {

// Calls a switch with every argument zero or null.
template <typename... Arguments>
int CallWithZeros(int (*function)(Arguments...)) {
    return function(Arguments{}...);
}

struct SwitchCase {
    const char* Name;
    std::function<int()> Call;
    int NoDevice, D3D9, D3D11;
};

}  // namespace

TEST(GraphicsSwitchTest, EverySwitchGivesItsNoDeviceResultAndADeviceValueReachesTheBackEnd) {
    std::vector<SwitchCase> cases;
    // The plain switches: 0 without a device; the back-ends, having no device, report -1.
#define VT_TEST_PLAIN_SWITCH(name, params, args) \
    cases.push_back({#name, [] { return CallWithZeros(Graphics_Dispatch_##name); }, 0, -1, -1});
    VT_GRAPHICS_DISPATCH_PLAIN(VT_TEST_PLAIN_SWITCH)
#undef VT_TEST_PLAIN_SWITCH
    // The switches that differ.
    cases.push_back({"Device_IsValid", [] { return Graphics_Dispatch_Device_IsValid(); }, 0, 0, 0});
    cases.push_back({"VertexBatch_Flush", [] { return Graphics_Dispatch_VertexBatch_Flush(0); }, 0, -1, -1});
    cases.push_back({"IndexBuffer_SetData", [] { return CallWithZeros(Graphics_Dispatch_IndexBuffer_SetData); }, 0, -1, -1});
    cases.push_back({"VertexBuffer_SetData", [] { return CallWithZeros(Graphics_Dispatch_VertexBuffer_SetData); }, 0, -1, -1});
    cases.push_back({"SysMemPool_ReleaseAll", [] { return Graphics_Dispatch_SysMemPool_ReleaseAll(); }, 0, -1, 0});
    cases.push_back({"SysMemPool_ReleaseUnused", [] { return Graphics_Dispatch_SysMemPool_ReleaseUnused(); }, 0, 0, 0});
    cases.push_back({"ZBuffer_CheckGraph", [] { return CallWithZeros(Graphics_Dispatch_ZBuffer_CheckGraph); }, 0, -1, 0});
    cases.push_back({"MaxAnisotropy_Set", [] { return Graphics_Dispatch_MaxAnisotropy_Set(4); }, 0, -1, 0});
    cases.push_back({"Texture_UpdateFromMovie", [] { return CallWithZeros(Graphics_Dispatch_Texture_UpdateFromMovie); }, 0, -1, 0});
    cases.push_back({"ShadowMap_DrawEndHook", [] { return Graphics_Dispatch_ShadowMap_DrawEndHook(); }, 0, 0, 0});
    cases.push_back({"Device_PostInitialize", [] { return Graphics_Dispatch_Device_PostInitialize(); }, 0, -1, -1});
    cases.push_back({"Device_CheckLostOnActivate", [] { return Graphics_Dispatch_Device_CheckLostOnActivate(); }, 0, 0, 0});
    cases.push_back({"SetDialogBoxMode", [] { return Graphics_Dispatch_SetDialogBoxMode(1); }, 0, 0, 0});
    cases.push_back({"DrawScreen_SetPost", [] { return Graphics_Dispatch_DrawScreen_SetPost(DRAW_SCREEN_BACK); }, 0, -1, 0});
    cases.push_back({"Screen_Flip", [] { return Graphics_Dispatch_Screen_Flip(); }, 0, -1, -1});
    // The 82 switches but the four with tests of their own: back-end choice, restore, device end and
    // the DirectDraw object.
    EXPECT_EQ(cases.size(), 78u);

    // Direct3D 9 bodies that answer 0 without a device: the lighting switch (nothing to send), the
    // shader model (no Direct3D 9 object to ask), the texture check and release (no device textures), and
    // clearing, the target flag and the unlock, the release of the device objects and of the mask
    // surfaces (nothing to do).
    for (SwitchCase& c : cases)
        for (const char* name : {"Lighting_SetEnable", "Shader_GetSupportVersion", "Texture_CheckConvertNeeded",
                                 "Texture_Release", "DrawScreen_Clear",
                                 "DrawScreen_RefreshTargetFlag", "DrawScreen_Unlock", "DeviceObjects_ReleaseAll",
                                 "Mask_SaveSurfaces", "Mask_CopyAndReleaseSaved", "Mask_ReleaseSurfaces"})
            if (strcmp(c.Name, name) == 0) c.D3D9 = 0;

    // Direct3D 11 bodies with nothing to do without a device (or with null arguments) answer 0; the
    // shader model is 0 where there is no device to ask.
    for (SwitchCase& c : cases)
        for (const char* name : {"Shader_GetSupportVersion", "Texture_CheckConvertNeeded", "DrawScreen_Clear", "DrawScreen_RefreshTargetFlag",
                                 "Texture_Release", "SubBackBuffer_Setup", "DrawScreen_Unlock", "DeviceObjects_ReleaseAll",
                                 "Mask_SaveSurfaces", "Mask_CopyAndReleaseSaved", "Mask_ReleaseSurfaces"})
            if (strcmp(c.Name, name) == 0) c.D3D11 = 0;

    // The Direct3D 9 vertical-blank wait paces by time where it cannot see the display, pumping messages
    // as it waits: with the window ending, the pump ends the wait with -1.
    for (SwitchCase& c : cases)
        if (strcmp(c.Name, "WaitVSync") == 0)
            c.Call = [] {
                const int endFlag = Window.EndFlag;
                Window.EndFlag = 1;
                const int result = Graphics_Dispatch_WaitVSync(0);
                Window.EndFlag = endFlag;
                return result;
            };

    for (const SwitchCase& c : cases) {
        GraphicsApi = GRAPHICS_API_NONE;
        EXPECT_EQ(c.Call(), c.NoDevice) << c.Name;
        GraphicsApi = GRAPHICS_API_D3D9;
        EXPECT_EQ(c.Call(), c.D3D9) << c.Name;
        GraphicsApi = GRAPHICS_API_D3D11;
        EXPECT_EQ(c.Call(), c.D3D11) << c.Name;
        GraphicsApi = 7;  // any other value counts as no device
        EXPECT_EQ(c.Call(), c.NoDevice) << c.Name;
    }
    GraphicsApi = GRAPHICS_API_NONE;
    EXPECT_EQ(Graphics_Dispatch_DirectDraw7_Get(), nullptr);
}

namespace {

// Display modes of a fake display: duplicates and modes below 16 bits among them.
const DWORD FakeModes[][4] = {{640, 480, 8, 60},  {640, 480, 16, 60}, {640, 480, 16, 60}, {800, 600, 32, 60},
                              {800, 600, 32, 75}, {800, 600, 4, 60},  {800, 600, 32, 60}, {1024, 768, 24, 60}};

BOOL WINAPI FakeEnumDisplaySettingsW(LPCWSTR device, DWORD index, DEVMODEW* mode) {
    if (index >= sizeof(FakeModes) / sizeof(FakeModes[0])) return FALSE;
    mode->dmPelsWidth = FakeModes[index][0];
    mode->dmPelsHeight = FakeModes[index][1];
    mode->dmBitsPerPel = FakeModes[index][2];
    mode->dmDisplayFrequency = FakeModes[index][3];
    return TRUE;
}

// A device context that reports no physical desktop size.
decltype(WinAPITable.GetDeviceCaps) RealGetDeviceCaps = nullptr;
int WINAPI FakeGetDeviceCaps(HDC dc, int index) {
    if (index == DESKTOPHORZRES || index == DESKTOPVERTRES) return 0;
    return RealGetDeviceCaps(dc, index);
}

}  // namespace

namespace {

// A monitor that appears between the counting pass and the filling pass: the first enumeration
// reports one monitor, every later one three (the real primary monitor each time).
int MonitorEnumerations = 0;
BOOL WINAPI GrowingEnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC callback, LPARAM data) {
    const int count = MonitorEnumerations++ == 0 ? 1 : 3;
    const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    RECT rect = {0, 0, 1, 1};
    for (int i = 0; i < count; ++i)
        if (!callback(primary, nullptr, &rect, data)) break;
    return TRUE;
}

// Heap blocks that end where a page without access begins (16-byte aligned), so that a write past a
// block faults at once.
struct GuardedBlock {
    void* Base;
    void* Block;
};
std::vector<GuardedBlock> GuardedBlocks;
LPVOID WINAPI GuardedHeapAlloc(HANDLE, DWORD, SIZE_T bytes) {
    const size_t page = 4096, placed = bytes == 0 ? 16 : (bytes + 15) & ~static_cast<size_t>(15);
    const size_t pages = (placed + page - 1) / page;
    uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE, PAGE_NOACCESS));
    if (base == nullptr || VirtualAlloc(base, pages * page, MEM_COMMIT, PAGE_READWRITE) == nullptr) return nullptr;
    void* block = base + pages * page - placed;
    GuardedBlocks.push_back({base, block});
    return block;
}
BOOL WINAPI GuardedHeapFree(HANDLE, DWORD, LPVOID block) {
    for (size_t i = 0; i < GuardedBlocks.size(); ++i)
        if (GuardedBlocks[i].Block == block) {
            VirtualFree(GuardedBlocks[i].Base, 0, MEM_RELEASE);
            GuardedBlocks.erase(GuardedBlocks.begin() + static_cast<std::ptrdiff_t>(i));
            return TRUE;
        }
    return FALSE;
}

}  // namespace

TEST(GraphicsDisplayTest, AMonitorAppearingBetweenTheTwoPassesFindsNoEntryBeyondTheList) {
    WinAPI_EnsureLoaded();
    const auto realEnum = WinAPITable.EnumDisplayMonitors;
    const auto realAlloc = WinAPITable.HeapAlloc;
    const auto realFree = WinAPITable.HeapFree;
    MonitorEnumerations = 0;
    WinAPITable.EnumDisplayMonitors = GrowingEnumDisplayMonitors;
    WinAPITable.HeapAlloc = GuardedHeapAlloc;
    WinAPITable.HeapFree = GuardedHeapFree;
    const int result = Graphics_Display_SetupInfo();
    const int count = GraphicsSystemState.MonitorCount;
    const MonitorInfo first = GraphicsSystemState.MonitorList != nullptr ? GraphicsSystemState.MonitorList[0] : MonitorInfo{};
    Graphics_Display_ReleaseInfo();
    WinAPITable.EnumDisplayMonitors = realEnum;
    WinAPITable.HeapAlloc = realAlloc;
    WinAPITable.HeapFree = realFree;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(MonitorEnumerations, 2);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(first.Primary, 1);
    EXPECT_GT(first.Width, 0);
    EXPECT_TRUE(GuardedBlocks.empty());
}

TEST(GraphicsDisplayTest, ModesBelow16BitsAndRepeatsAreLeftOutAndAMissingPhysicalSizeTakesTheDesktops) {
    WinAPI_EnsureLoaded();
    const auto realEnum = WinAPITable.EnumDisplaySettingsW;
    RealGetDeviceCaps = WinAPITable.GetDeviceCaps;
    WinAPITable.EnumDisplaySettingsW = FakeEnumDisplaySettingsW;
    WinAPITable.GetDeviceCaps = FakeGetDeviceCaps;
    const int result = Graphics_Display_SetupInfo();
    WinAPITable.EnumDisplaySettingsW = realEnum;
    WinAPITable.GetDeviceCaps = RealGetDeviceCaps;

    ASSERT_EQ(result, 0);
    ASSERT_GE(GraphicsSystemState.MonitorCount, 1);
    const MonitorInfo& monitor = GraphicsSystemState.MonitorList[GraphicsSystemState.PrimaryMonitor];
    EXPECT_GT(monitor.Width, 0);
    EXPECT_EQ(monitor.PhysicalWidth, monitor.Width);
    EXPECT_EQ(monitor.PhysicalHeight, monitor.Height);
    const DWORD expected[][4] = {{640, 480, 16, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}, {1024, 768, 24, 60}};
    ASSERT_EQ(monitor.DisplayModeCount, 4);
    for (int i = 0; i < 4; ++i) {
        const DisplayModeRecord& mode = monitor.DisplayModes[i];
        EXPECT_EQ(mode.Width, static_cast<int>(expected[i][0])) << i;
        EXPECT_EQ(mode.Height, static_cast<int>(expected[i][1])) << i;
        EXPECT_EQ(mode.ColourBits, static_cast<int>(expected[i][2])) << i;
        EXPECT_EQ(mode.RefreshRate, static_cast<int>(expected[i][3])) << i;
    }
    EXPECT_EQ(GetDisplayModeCount(GraphicsSystemState.PrimaryMonitor), 4);
    EXPECT_EQ(GetDisplayModeCount(GraphicsSystemState.MonitorCount), -1);
    EXPECT_EQ(Graphics_Display_ReleaseInfo(), 0);
    EXPECT_EQ(GraphicsSystemState.MonitorList, nullptr);
}
