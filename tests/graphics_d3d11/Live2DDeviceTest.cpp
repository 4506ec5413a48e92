// The Live2D module on Direct3D 11: the library started with the device and our stand-in core library
// (built beside the test programs in live2d_core_full). The start opens the shader pack made at build
// time and makes every Live2D shader on the device; models of the stand-in core's own "moc" form are
// drawn into the back buffer and read back: a quad shows the graph's pixels where it was placed, a
// mask lets the masked quad through only where the mask mesh lies (or only where it does not), a
// premultiplied texture gives the straight one's picture, and the library's own drawing goes on as
// before afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../fakes/live2d_core/FakeCoreFolder.h"
#include "../fakes/live2d_core/FakeCubismMoc.h"
#include "../graphics/Draw2DCases.h"
#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "foundation/VtArchive.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtLive2DCubism4.h"
#include "graphics_d3d11/VtGraphicsD3D11Live2D.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace Draw2DCases;
using WindowTest::LogFind;
using WindowTest::ReadLog;

namespace {

// A quad from model point (x1, y1) to (x2, y2) (y up) showing the whole texture.
FakeCubismMoc::Drawable Quad(float x1, float y1, float x2, float y2, int texture, int order) {
    FakeCubismMoc::Drawable d = {};
    const float positions[8] = {x1, y2, x2, y2, x1, y1, x2, y1};   // top-left, top-right, bottom-left, bottom-right
    const float uvs[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    memcpy(d.Positions, positions, sizeof(positions));
    memcpy(d.Uvs, uvs, sizeof(uvs));
    memcpy(d.Indices, indices, sizeof(indices));
    d.TextureIndex = texture;
    d.RenderOrder = order;
    d.Opacity = 1.0f;
    for (int c = 0; c < 3; ++c) d.MultiplyColor[c] = 1.0f;
    d.MultiplyColor[3] = d.ScreenColor[3] = 1.0f;
    return d;
}

// A canvas of the test graph's size (8 x 4 pixels), 4 pixels a unit, origin at its centre: the quad
// (-1, -0.5)-(1, 0.5) covers it exactly.
FakeCubismMoc Moc(std::initializer_list<FakeCubismMoc::Drawable> drawables) {
    FakeCubismMoc moc = {};
    memcpy(moc.Magic, "FAKEMOC", 8);
    moc.CanvasWidth = GraphWidth;
    moc.CanvasHeight = GraphHeight;
    moc.OriginX = GraphWidth / 2.0f;
    moc.OriginY = GraphHeight / 2.0f;
    moc.PixelsPerUnit = 4.0f;
    for (const FakeCubismMoc::Drawable& d : drawables) moc.Drawables[moc.DrawableCount++] = d;
    return moc;
}

// A plain graph of the test graph's size in one colour and alpha.
int SolidGraph(uint32_t argb) {
    BaseImage image;
    if (BaseImage_CreateARGB8(GraphWidth, GraphHeight, &image) < 0) return -1;
    for (int j = 0; j < GraphHeight; ++j)
        for (int i = 0; i < GraphWidth; ++i) memcpy(static_cast<uint8_t*>(image.pixels) + j * image.pitch + i * 4, &argb, 4);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

// The test graph with its colours premultiplied by their alpha.
int PremultipliedTestGraph() {
    BaseImage image;
    if (BaseImage_CreateARGB8(GraphWidth, GraphHeight, &image) < 0) return -1;
    for (int j = 0; j < GraphHeight; ++j)
        for (int i = 0; i < GraphWidth; ++i) {
            const uint32_t a = GraphAlpha(i, j);
            const uint32_t c = GraphColour(i, j);
            const uint32_t pixel = a << 24 | Mul((c >> 16) & 0xFF, a) << 16 | Mul((c >> 8) & 0xFF, a) << 8 | Mul(c & 0xFF, a);
            memcpy(static_cast<uint8_t*>(image.pixels) + j * image.pitch + i * 4, &pixel, 4);
        }
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    return graph;
}

constexpr int PlaceX = 10, PlaceY = 20;

bool Near(uint32_t a, uint32_t b) {
    for (int c = 0; c < 3; ++c)
        if (std::abs((int)Channel(a, c) - (int)Channel(b, c)) > 2) return false;
    return true;
}

}  // namespace

class Live2DDeviceTest : public WindowTest::LibraryTest {
protected:
    FakeCoreFolder* folder = nullptr;
    int graph = -1;

    void SetUp() override {
        LibraryTest::SetUp();
        folder = new FakeCoreFolder("full");
        Graphics_D3D11_SetDeviceEnabled(1);
        SetScreenResolution(Size, Size, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(1), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 1);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
        Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
        graph = MakeTestGraph();
        ASSERT_GE(graph, 0);
    }

    void TearDown() override {
        LibraryTest::TearDown();
        delete folder;
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
    }

    void Clear() {
        GraphicsScreenState.BackgroundColor[0] = (Background >> 16) & 0xFF;
        GraphicsScreenState.BackgroundColor[1] = (Background >> 8) & 0xFF;
        GraphicsScreenState.BackgroundColor[2] = Background & 0xFF;
        ClearDrawTarget(nullptr);
    }

    // Loads the moc, gives texture 0 the graph (texture 1 `second`) and draws the model at PlaceX, PlaceY.
    std::vector<uint32_t> DrawModel(const FakeCubismMoc& moc, int texture, int premultiplied = 0, int second = -1) {
        const int model = Live2D_Model_LoadFromMemory(&moc, sizeof(moc));
        EXPECT_GE(model, 0);
        EXPECT_EQ(Live2D_Model_SetTexture(model, 0, texture, premultiplied), 0);
        if (second >= 0) {
            EXPECT_EQ(Live2D_Model_SetTexture(model, 1, second, 0), 0);
        }
        EXPECT_EQ(Live2D_Model_SetPosition(model, PlaceX, PlaceY), 0);
        Clear();
        EXPECT_EQ(Live2D_Model_Draw(model), 0);
        return D3D11Test::ReadDrawTarget(Size);
    }

    // Every pixel: inside the graph's place where `shown` says so, the graph's pixel over the
    // background; the background everywhere else.
    void ExpectGraphWhere(const std::vector<uint32_t>& screen, bool (*shown)(int i, int j)) {
        ASSERT_EQ(screen.size(), (size_t)(Size * Size));
        int wrong = 0;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x) {
                const int i = x - PlaceX, j = y - PlaceY;
                uint32_t expected = Background;
                if (i >= 0 && i < GraphWidth && j >= 0 && j < GraphHeight && shown(i, j)) {
                    const uint32_t a = GraphAlpha(i, j);
                    expected = PerChannel(GraphColour(i, j), Background,
                                          [&](uint32_t s, uint32_t d) { return Mul(s, a) + Mul(d, 255 - a); });
                }
                if (!Near(screen[(size_t)y * Size + x], expected) && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << ": " << std::hex << screen[(size_t)y * Size + x]
                                  << " for " << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(Live2DDeviceTest, TheStartOpensTheBuiltPackAndMakesEveryShaderOnTheDevice) {
    EXPECT_EQ(Live2DModuleState.Started, 1);
    EXPECT_NE(Live2DModuleState.Core, nullptr);
    EXPECT_TRUE(HandleManagerTable[HandleType_Live2DModel].Initialized);
    for (const char* name : D3D11Live2DVertexShaderNames) {
        uint64_t offset = 0, size = 0;
        EXPECT_EQ(Archive_LocateFile(&Live2DModuleState.ShaderPack, CodePage_Ascii, name, &offset, &size), 0) << name;
        EXPECT_GT(size, 0u) << name;
    }
    for (ID3D11VertexShader* shader : D3D11Live2D.VertexShader) EXPECT_NE(shader, nullptr);
    for (ID3D11PixelShader* shader : D3D11Live2D.PixelShader) EXPECT_NE(shader, nullptr);
    EXPECT_NE(D3D11Live2D.Layout, nullptr);
    EXPECT_NE(ReadLog().find("Live2DCubismCore.dll"), std::string::npos);

    // The module's end releases them; a second start makes them again from the same pack.
    EXPECT_EQ(Live2D_ModuleTerminate(), 0);
    EXPECT_EQ(Graphics_D3D11_Live2D_Ready(), 0);
    for (ID3D11PixelShader* shader : D3D11Live2D.PixelShader) EXPECT_EQ(shader, nullptr);
    ASSERT_EQ(Live2D_ModuleInitialize(), 0);
    EXPECT_EQ(Graphics_D3D11_Live2D_Ready(), 1);
}

TEST_F(Live2DDeviceTest, AQuadModelShowsTheGraphsPixelsAndTheLibraryDrawsOnAfterwards) {
    const FakeCubismMoc moc = Moc({Quad(-1, -0.5f, 1, 0.5f, 0, 0)});
    ExpectGraphWhere(DrawModel(moc, graph), [](int, int) { return true; });

    // The state cache is back: a filled box and a graph draw as ever over the model.
    ASSERT_EQ(DrawFilledRectangle(40, 40, 44, 44, MakeColorCode(200, 100, 50)), 0);
    ASSERT_EQ(DrawGraphAt(40, 10, graph, 0), 0);
    const std::vector<uint32_t> after = D3D11Test::ReadDrawTarget(Size);
    EXPECT_TRUE(Near(after[41 * Size + 41], 0xC86432));
    EXPECT_TRUE(Near(after[10 * Size + 40], GraphColour(0, 0)));
    EXPECT_TRUE(Near(after[20 * Size + 10], GraphColour(0, 0))) << "the model's pixels stay";
}

TEST_F(Live2DDeviceTest, APremultipliedTextureGivesTheStraightPicture) {
    const int premultiplied = PremultipliedTestGraph();
    ASSERT_GE(premultiplied, 0);
    const FakeCubismMoc moc = Moc({Quad(-1, -0.5f, 1, 0.5f, 0, 0)});
    ExpectGraphWhere(DrawModel(moc, premultiplied, 1), [](int, int) { return true; });
}

TEST_F(Live2DDeviceTest, MasksLetTheMeshThroughOnlyWhereTheyLieOrOnlyWhereTheyDoNot) {
    const int white = SolidGraph(0xFFFFFFFF);
    ASSERT_GE(white, 0);
    // The mask covers the canvas's left half (x below 0); it is drawn only as a mask (hidden).
    FakeCubismMoc::Drawable mask = Quad(-1, -0.5f, 0, 0.5f, 1, 0);
    mask.Hidden = 1;
    FakeCubismMoc::Drawable masked = Quad(-1, -0.5f, 1, 0.5f, 0, 1);
    masked.MaskCount = 1;
    masked.Masks[0] = 0;
    ExpectGraphWhere(DrawModel(Moc({mask, masked}), graph, 0, white), [](int i, int) { return i < GraphWidth / 2; });
    masked.ConstantFlags = 8;   // inverted
    ExpectGraphWhere(DrawModel(Moc({mask, masked}), graph, 0, white), [](int i, int) { return i >= GraphWidth / 2; });
}

TEST_F(Live2DDeviceTest, BadModelsAndHandlesAreRefusedWithNothingDrawn) {
    FakeCubismMoc moc = Moc({Quad(-1, -0.5f, 1, 0.5f, 0, 0)});
    moc.Magic[0] = 'X';
    EXPECT_EQ(Live2D_Model_LoadFromMemory(&moc, sizeof(moc)), -1);
    EXPECT_NE(LogFind(ReadLog(), u8"Live2D のモデルデータが正しくありません"), std::string::npos);
    EXPECT_EQ(Live2D_Model_LoadFromMemory(nullptr, 0), -1);
    EXPECT_EQ(Live2D_Model_Draw(graph), -1);
    EXPECT_EQ(Live2D_Model_SetTexture(-1, 0, graph, 0), -1);

    // A model without its texture draws nothing; deleting it gives back all its memory.
    moc.Magic[0] = 'F';
    const int32_t blocks = Memory_GetBlockCount();
    const int model = Live2D_Model_LoadFromMemory(&moc, sizeof(moc));
    ASSERT_GE(model, 0);
    EXPECT_EQ(Live2D_Model_SetTexture(model, 16, graph, 0), -1);
    Clear();
    EXPECT_EQ(Live2D_Model_Draw(model), -1);
    ExpectGraphWhere(D3D11Test::ReadDrawTarget(Size), [](int, int) { return false; });
    EXPECT_EQ(Live2D_Model_Delete(model), 0);
    EXPECT_EQ(Live2D_Model_Delete(model), -1);
    EXPECT_EQ(Live2D_Model_Draw(model), -1);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);

    // Once the module has ended, no model loads.
    EXPECT_EQ(Live2D_ModuleTerminate(), 0);
    moc.Magic[0] = 'F';
    EXPECT_EQ(Live2D_Model_LoadFromMemory(&moc, sizeof(moc)), -1);
    EXPECT_NE(LogFind(ReadLog(), u8"Live2D は使えない状態なのでモデルを読み込めません"), std::string::npos);
}

TEST_F(Live2DDeviceTest, ADeviceRecreationMakesTheShadersAgainOnTheNextDrawAndTheEndLeavesNoObject) {
    const FakeCubismMoc moc = Moc({Quad(-1, -0.5f, 1, 0.5f, 0, 0)});
    ExpectGraphWhere(DrawModel(moc, graph), [](int, int) { return true; });
    ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1), 0);
    EXPECT_EQ(Graphics_D3D11_Live2D_Ready(), 0) << "the old device's objects went with it";
    Graphics_DrawSetting_SetDrawAreaRect(0, 0, Size, Size);
    const int fresh = MakeTestGraph();
    ASSERT_GE(fresh, 0);
    ExpectGraphWhere(DrawModel(moc, fresh), [](int, int) { return true; });
    EXPECT_EQ(Graphics_D3D11_Live2D_Ready(), 1);
    TerminateLibrary();
    EXPECT_EQ(Graphics_D3D11_Live2D_Ready(), 0);
    EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
}

TEST_F(Live2DDeviceTest, BlendModesOpacityAndTheMultiplyAndScreenColoursMixAsTheirFormulasSay) {
    constexpr uint32_t Colour = 0x60A020;   // the quad's opaque texture
    const int solid = SolidGraph(0xFF000000u | Colour);
    ASSERT_GE(solid, 0);
    auto each = [](uint32_t a, uint32_t b, uint32_t (*f)(uint32_t, uint32_t)) {
        return f(a >> 16 & 0xFF, b >> 16 & 0xFF) << 16 | f(a >> 8 & 0xFF, b >> 8 & 0xFF) << 8 | f(a & 0xFF, b & 0xFF);
    };
    struct Case {
        const char* Name;
        uint8_t Flags;
        float Opacity;
        float Multiply[3], Screen[3];
        uint32_t Expected;
    };
    const Case cases[] = {
        {"normal", 0, 1.0f, {1, 1, 1}, {0, 0, 0}, Colour},
        {"half opacity", 0, 0.5f, {1, 1, 1}, {0, 0, 0},
         each(Colour, Background, [](uint32_t s, uint32_t d) { return Mul(s, 128) + Mul(d, 127); })},
        {"additive", 1, 1.0f, {1, 1, 1}, {0, 0, 0},
         each(Colour, Background, [](uint32_t s, uint32_t d) { return s + d > 255 ? 255u : s + d; })},
        {"multiplicative", 2, 1.0f, {1, 1, 1}, {0, 0, 0}, each(Colour, Background, [](uint32_t s, uint32_t d) { return Mul(s, d); })},
        {"multiply colour", 0, 1.0f, {0.5f, 1, 0}, {0, 0, 0}, (Colour & 0x00FF00) | (Mul(Colour >> 16, 128) << 16)},
        {"screen colour", 0, 1.0f, {1, 1, 1}, {1, 0, 0.5f},
         0xFF0000 | (Colour & 0x00FF00) | ((Colour & 0xFF) + Mul(255 - (Colour & 0xFF), 128))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FakeCubismMoc::Drawable quad = Quad(-1, -0.5f, 1, 0.5f, 0, 0);
        quad.ConstantFlags = c.Flags;
        quad.Opacity = c.Opacity;
        for (int i = 0; i < 3; ++i) quad.MultiplyColor[i] = c.Multiply[i], quad.ScreenColor[i] = c.Screen[i];
        const std::vector<uint32_t> screen = DrawModel(Moc({quad}), solid);
        ASSERT_EQ(screen.size(), (size_t)(Size * Size));
        EXPECT_TRUE(Near(screen[(PlaceY + 1) * Size + PlaceX + 1], c.Expected))
            << std::hex << screen[(PlaceY + 1) * Size + PlaceX + 1] << " for " << c.Expected;
        EXPECT_EQ(screen[(PlaceY + 1) * Size + PlaceX - 1], Background) << "left of the quad";
    }
}
