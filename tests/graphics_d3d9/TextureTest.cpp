// Direct3D 9 graph textures and image transfer on the real device: every format of the format table takes
// an image and gives it back when drawn (held to the software conversion within the back buffer's 8 bits),
// a partial rectangle from a non-zero source position lands in place (plain and drawable graphs), the edge
// column and row are repeated where the image ends inside the texture, mip levels are generated or taken
// ready-made, block-compressed transfers that cannot be done are refused, the objects of drawable graphs
// with and without depth surfaces, cube maps face by face, and a transfer made from a loader thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "../foundation/LoaderJobSupport.h"
#include "D3D9TestSupport.h"
#include "foundation/VtThread.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

// A graph of one texture part built the way the core lays it out: the full image, its part with a
// platform area, and a graph handle with one division over the whole part.
struct TestGraph {
    GraphOrigRecord Orig = {};
    GraphTexturePart Part = {};
    void* Area[GraphOrig_PlatformAreaSlots] = {};
    int Handle = -1;

    D3D9GraphTexture* Object() { return Graphics_D3D9_GraphTexture_Of(&Part); }
};

// The image of the tests: an A8R8G8B8 picture where every pixel differs (seed changes it throughout).
struct TestImage {
    BaseImage Image = {};
    std::vector<uint32_t> Pixels;

    TestImage(int width, int height, int seed, int levels = 1, int faces = 0) {
        BaseImage_ColorFormat_InitARGB8(&Image.format);
        Image.width = width;
        Image.height = height;
        Image.pitch = width * 4;
        Image.mipLevelCount = levels;
        Image.faceCount = faces;
        for (int face = 0; face < std::max(faces, 1); ++face, seed += 50)
        for (int level = 0, w = width, h = height; level < levels; ++level, w = std::max(w / 2, 1), h = std::max(h / 2, 1))
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    Pixels.push_back(levels > 1 ? LevelColour(level)
                                                : (uint32_t)(0x40 + (x * 11 + y * 3 + seed) % 0xC0) << 24 |
                                                      (uint32_t)((x * 37 + seed * 5) & 0xFF) << 16 |
                                                      (uint32_t)((y * 29 + seed) & 0xFF) << 8 |
                                                      (uint32_t)((x * 7 + y * 13) & 0xFF));
        Image.pixels = Pixels.data();
    }
    static uint32_t LevelColour(int level) { return 0xFF000000u | (uint32_t)(0x30 * level + 0x10) << 16 | 0x8040u >> level; }
    uint32_t At(int x, int y, int face = 0) const { return Pixels[((size_t)face * Image.height + y) * Image.width + x]; }
};

class D3D9Texture_ : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        if (!HandleManagerTable[HandleType_Graph].Initialized) {
            ASSERT_EQ(Handle_Type_Setup(HandleType_Graph, sizeof(GraphHandleRecord), 64, nullptr, nullptr, nullptr, L"Graph"),
                      0);
            OwnHandleType = true;
        }
    }

    void TearDown() override {
        for (TestGraph* graph : Graphs) {
            Graphics_D3D9_Texture_Release(&graph->Orig);
            if (graph->Handle >= 0) Handle_DeleteNow(graph->Handle);
            delete graph;
        }
        Graphs.clear();
        Graphics_D3D9_SysMemPool_ReleaseAll();
        if (OwnHandleType) Handle_Type_Shutdown(HandleType_Graph);
        BackEndTest::TearDown();
    }

    // A graph of width x height in a texture of textureWidth x textureHeight of the table's format `code`.
    TestGraph* MakeGraph(int code, int width, int height, int textureWidth = 0, int textureHeight = 0, int mips = 1,
                         bool drawable = false) {
        TestGraph* graph = new TestGraph;
        Graphs.push_back(graph);
        GraphOrigRecord& orig = graph->Orig;
        orig.colorFormatIndex = code;
        orig.format.hardware = 1;
        orig.format.drawable = drawable ? 1 : 0;
        orig.width = width;
        orig.height = height;
        orig.mipLevels = mips;
        orig.partCount = 1;
        orig.parts = &graph->Part;
        graph->Part = {graph->Area, 0, 0, width, height, textureWidth ? textureWidth : width,
                       textureHeight ? textureHeight : height};
        graph->Handle = Handle_New(HandleType_Graph, 0, -1);
        GraphHandleRecord* record = (GraphHandleRecord*)Handle_GetRecord(graph->Handle);
        if (record == nullptr) return graph;
        record->Orig = &orig;
        record->Width = width;
        record->Height = height;
        record->drawPartCount = 1;
        GraphDrawPart& division = record->drawParts[0];
        division.width = width;
        division.height = height;
        division.part = &graph->Part;
        return graph;
    }

    // The texture drawn 1:1 at the top-left of the back buffer with point sampling (level `mip` of it), its
    // colour or, with `alpha`, its alpha in every channel; 0x00RRGGBB words.
    // A cube texture (face >= 0) is drawn with directions that meet that face's texel centres.
    std::vector<uint32_t> Draw(IDirect3DBaseTexture9* texture, int width, int height, int mip = 0, bool alpha = false,
                               int face = -1) {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        D3D9Call_Device_SetVertexShader(nullptr);
        D3D9Call_Device_SetPixelShader(nullptr);
        D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, FALSE);
        D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
        D3D9Call_Device_SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        D3D9Call_Device_SetRenderState(D3DRS_LIGHTING, FALSE);
        D3D9Call_Device_SetTexture(0, texture);
        D3D9Call_Device_SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        D3D9Call_Device_SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        D3D9Call_Device_SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
        D3D9Call_Device_SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, (DWORD)mip);
        const DWORD arg = alpha ? D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE : D3DTA_TEXTURE;
        D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        D3D9Call_Device_SetTextureStageState(0, D3DTSS_COLORARG1, arg);
        D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        D3D9Call_Device_SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        D3D9Call_Device_SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        const float r = width - 0.5f, b = height - 0.5f;
        struct Vertex {
            float X, Y, Z, Rhw, U, V, W;
        };
        Vertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0, 0, 0}, {r, -0.5f, 0, 1, 1, 0, 0}, {-0.5f, b, 0, 1, 0, 1, 0}, {r, b, 0, 1, 1, 1, 0}};
        if (face >= 0)
            for (Vertex& v : quad) {
                // Face coordinates sc, tc from -1 to 1 and the direction that gives them on `face`.
                const float sc = v.U * 2 - 1, tc = v.V * 2 - 1;
                const float directions[6][3] = {{1, -tc, -sc}, {-1, -tc, sc}, {sc, 1, tc},
                                                {sc, -1, -tc}, {sc, -tc, 1}, {-sc, -tc, -1}};
                v.U = directions[face][0], v.V = directions[face][1], v.W = directions[face][2];
            }
        D3D9Call_Device_SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
        D3D9Call_Device_BeginSceneOnce();
        D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        D3D9Call_Device_SetTexture(0, nullptr);
        return ReadBackBuffer(width, height);
    }

    std::vector<TestGraph*> Graphs;
    bool OwnHandleType = false;
};

int Channel(uint32_t colour, int shift) { return (int)(colour >> shift & 0xFF); }

// Largest channel difference of two 0x00RRGGBB words.
int Difference(uint32_t a, uint32_t b) {
    int most = 0;
    for (int shift = 0; shift <= 16; shift += 8) most = std::max(most, std::abs(Channel(a, shift) - Channel(b, shift)));
    return most;
}

// What sampling a texel of `format` holding `texel` gives, as 0xAARRGGBB: the software conversion's bits read
// as the device reads them (missing colour channels 1, missing alpha 1; luminance in red, green and blue).
uint32_t Sampled(D3DFORMAT format, const ColorFormatDesc* desc, const uint8_t* texel) {
    auto level = [](double v) { return (uint32_t)std::lround(std::clamp(v, 0.0, 1.0) * 255.0); };
    double c[4] = {1, 1, 1, 1};
    if (desc->channelCount != 0) {
        for (int i = 0; i < desc->channelCount; ++i) {
            if (desc->isFloat && desc->channelBits == 16) {
                uint16_t h;
                memcpy(&h, texel + 2 * i, 2);
                c[i] = BaseImage_HalfToFloat(h);
            } else if (desc->isFloat) {
                float f;
                memcpy(&f, texel + 4 * i, 4);
                c[i] = f;
            } else if (desc->channelBits == 16) {
                uint16_t v;
                memcpy(&v, texel + 2 * i, 2);
                c[i] = v / 65535.0;
            } else {
                c[i] = texel[i] / 255.0;
            }
        }
        if (format == D3DFMT_L8 || format == D3DFMT_L16 || format == D3DFMT_A8L8) {
            const double a = format == D3DFMT_A8L8 ? c[1] : 1.0;
            c[1] = c[2] = c[0];
            c[3] = a;
        }
        return level(c[3]) << 24 | level(c[0]) << 16 | level(c[1]) << 8 | level(c[2]);
    }
    uint32_t value = 0;
    memcpy(&value, texel, desc->bytesPerPixel);
    int r = 0, g = 0, b = 0, a = 255;
    BaseImage_ColorFormat_UnpackColor(desc, value, &r, &g, &b, &a);
    if (desc->alphaWidth == 0) a = 255;
    return (uint32_t)a << 24 | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
}

// The picture as the device should show it: the image converted into the format by the software road.
std::vector<uint32_t> Expected(D3DFORMAT format, const TestImage& image) {
    const ColorFormatDesc* desc = Graphics_D3D9_GetColorDataOfFormat(format);
    const int w = image.Image.width, h = image.Image.height, bytes = desc->bytesPerPixel;
    std::vector<uint8_t> converted((size_t)w * h * bytes);
    const BaseImageRect all = {0, 0, w, h};
    EXPECT_EQ(BaseImage_ColorConvertBlt(converted.data(), w * bytes, desc, image.Image.pixels, image.Image.pitch,
                                        &image.Image.format, nullptr, 0, nullptr, 0, 0, &all, 0, 0, 0, 0, 0, 0, 0, 0),
              0);
    std::vector<uint32_t> out;
    for (int i = 0; i < w * h; ++i) out.push_back(Sampled(format, desc, &converted[(size_t)i * bytes]));
    return out;
}

}  // namespace

TEST_F(D3D9Texture_, EveryFormatOfTheTableGivesBackItsImage) {
    // Each distinct plain format of the table once, as a whole texture (through a pooled texture) and as a
    // rectangle inside it (through a pooled surface).
    std::set<D3DFORMAT> seen;
    int tested = 0;
    for (int code = 0; code < D3D9TextureFormatCount; ++code) {
        const D3DFORMAT format = D3D9TextureFormatTable[code];
        if (format == D3DFMT_UNKNOWN || !seen.insert(format).second || Graphics_D3D9_GetColorDataOfFormat(format) == nullptr)
            continue;
        SCOPED_TRACE(Graphics_D3D9_Format_GetName(format));
        TestGraph* graph = MakeGraph(code, 16, 16);
        ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
        const TestImage first(16, 16, 1), second(16, 16, 2);
        const RECT whole = {0, 0, 16, 16}, inner = {4, 4, 12, 12};
        ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &first.Image, nullptr, 0, 0, 1, nullptr), 0);
        ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&inner, 4, 4, graph->Handle, &second.Image, nullptr, 0, 0, 1, nullptr), 0);
        const std::vector<uint32_t> a = Expected(format, first), b = Expected(format, second);
        const std::vector<uint32_t> colour = Draw(graph->Object()->Texture, 16, 16);
        const std::vector<uint32_t> alpha = Draw(graph->Object()->Texture, 16, 16, 0, true);
        ASSERT_EQ(colour.size(), 256u);
        int worst = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool in = x >= 4 && x < 12 && y >= 4 && y < 12;
                const uint32_t want = in ? b[y * 16 + x] : a[y * 16 + x];
                worst = std::max({worst, Difference(colour[y * 16 + x], want & 0xFFFFFF),
                                  Difference(alpha[y * 16 + x] & 0xFF, want >> 24)});
            }
        EXPECT_LE(worst, 2);
        ++tested;
    }
    EXPECT_GE(tested, 8);
}

TEST_F(D3D9Texture_, APartialRectangleFromASourcePositionLandsInPlace) {
    // The rectangle (5, 7)-(15, 19) of the image goes to (3, 4): its texel (3, 4) is image pixel (5, 7), and
    // nothing else of the texture changes; drawable graphs (through temporary surfaces) alike.
    for (const bool drawable : {false, true}) {
        SCOPED_TRACE(drawable ? "drawable" : "plain");
        TestGraph* graph = MakeGraph(0, 32, 32, 32, 32, 1, drawable);
        graph->Orig.format.explicitFormat = 3;   // X8R8G8B8: the colour is all the test reads
        ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
        const TestImage base(32, 32, 3), patch(32, 32, 4);
        const RECT whole = {0, 0, 32, 32}, part = {5, 7, 15, 19};
        ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &base.Image, nullptr, 0, 0, 0, nullptr), 0);
        ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&part, 3, 4, graph->Handle, &patch.Image, nullptr, 0, 0, 0, nullptr), 0);
        const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, 32, 32);
        ASSERT_EQ(pixels.size(), 32u * 32u);
        int wrong = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const bool in = x >= 3 && x < 13 && y >= 4 && y < 16;
                const uint32_t want = (in ? patch.At(x + 2, y + 3) : base.At(x, y)) & 0xFFFFFF;
                wrong += pixels[y * 32 + x] != want;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(D3D9Texture_, AnImageEndingInsideTheTextureRepeatsItsLastColumnAndRow) {
    TestGraph* graph = MakeGraph(0, 20, 12, 32, 16);
    graph->Orig.format.explicitFormat = 3;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    const TestImage image(20, 12, 5);
    const RECT whole = {0, 0, 20, 12};
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &image.Image, nullptr, 0, 0, 1, nullptr), 0);
    const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, 32, 16);
    ASSERT_EQ(pixels.size(), 32u * 16u);
    auto at = [&](int x, int y) { return pixels[y * 32 + x]; };
    for (int y = 0; y < 12; ++y) ASSERT_EQ(at(20, y), image.At(19, y) & 0xFFFFFF) << y;
    for (int x = 0; x < 20; ++x) ASSERT_EQ(at(x, 12), image.At(x, 11) & 0xFFFFFF) << x;
    EXPECT_EQ(at(20, 12), image.At(19, 11) & 0xFFFFFF);
    EXPECT_NE(at(18, 11), at(19, 11));
}

TEST_F(D3D9Texture_, MipLevelsAreMadeFromLevelZeroOrTakenFromTheImage) {
    // Generated: each level k of the whole texture is level k - 1 halved (the software road's halving as the
    // reference), and a rectangle writes level k into the rectangle shifted by k. Ready-made: an image with
    // all five levels, each one colour, gives each level its own colour.
    const ColorFormatDesc* desc = Graphics_D3D9_GetColorDataOfFormat(D3DFMT_X8R8G8B8);
    TestGraph* graph = MakeGraph(0, 16, 16, 16, 16, 5);
    graph->Orig.format.explicitFormat = 3;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    const TestImage image(16, 16, 6);
    const RECT whole = {0, 0, 16, 16};
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &image.Image, nullptr, 0, 0, 1, nullptr), 0);
    std::vector<uint32_t> reference(image.Pixels), next(256);
    for (int level = 0, size = 16; level < 5; ++level, size /= 2) {
        SCOPED_TRACE(level);
        if (level > 0) {
            ASSERT_EQ(BaseImage_HalfSizeBlt(desc, next.data(), 64, reference.data(), 64, 0, 0, 0, 0, size * 2, size * 2), 0);
            reference = next;
        }
        const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, size, size, level);
        int worst = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) worst = std::max(worst, Difference(pixels[y * size + x], reference[y * 16 + x]));
        EXPECT_LE(worst, 1);
    }

    // A rectangle (8, 8)-(16, 16) of one colour: level k holds it at (8 >> k, 8 >> k).
    TestImage plain(8, 8, 0);
    std::fill(plain.Pixels.begin(), plain.Pixels.end(), 0xFF20C040u);
    const RECT all8 = {0, 0, 8, 8};
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&all8, 8, 8, graph->Handle, &plain.Image, nullptr, 0, 0, 1, nullptr), 0);
    for (int level = 0; level < 4; ++level) {
        const int size = 16 >> level, at = 8 >> level;
        const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, size, size, level);
        EXPECT_EQ(pixels[at * size + at], 0x20C040u) << level;
        EXPECT_EQ(pixels[(size - 1) * size + size - 1], 0x20C040u) << level;
        if (at > 0) {
            EXPECT_NE(pixels[(at - 1) * size + at - 1], 0x20C040u) << level;
        }
    }

    const TestImage levels(16, 16, 0, 5);
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &levels.Image, nullptr, 0, 0, 1, nullptr), 0);
    for (int level = 0; level < 5; ++level) {
        const int size = 16 >> level;
        const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, size, size, level);
        EXPECT_EQ(pixels.front(), TestImage::LevelColour(level) & 0xFFFFFF) << level;
        EXPECT_EQ(pixels.back(), TestImage::LevelColour(level) & 0xFFFFFF) << level;
    }
}

TEST_F(D3D9Texture_, BlockCompressedTransfersThatCannotBeDoneAreRefused) {
    // A 16 x 16 DXT1 image with its five levels (each level two colours in every block) goes whole into a
    // DXT1 texture; a standard image into it, or a part of the DXT1 image, is refused with -1 and the log line.
    int dxt1 = -1;
    for (int code = 0; code < D3D9TextureFormatCount && dxt1 < 0; ++code)
        if (D3D9TextureFormatTable[code] == D3DFMT_DXT1) dxt1 = code;
    if (dxt1 < 0) GTEST_SKIP() << "no DXT1 textures on this device";
    std::vector<uint8_t> blocks;
    for (int level = 0, size = 16; level < 5; ++level, size = std::max(size / 2, 1))
        for (int i = 0; i < ((size + 3) / 4) * ((size + 3) / 4); ++i) {
            const uint16_t c0 = level % 2 ? 0x07E0 : 0xF800, c1 = 0x001F;
            blocks.insert(blocks.end(), {(uint8_t)c0, (uint8_t)(c0 >> 8), (uint8_t)c1, (uint8_t)(c1 >> 8), 0, 0, 0, 0});
        }
    BaseImage image = {};
    image.format.formatCode = BaseImageFormat_DXT1;
    image.width = image.height = 16;
    image.pitch = 32;
    image.mipLevelCount = 5;
    image.pixels = blocks.data();
    for (const int mips : {1, 5}) {
        SCOPED_TRACE(mips);
        TestGraph* graph = MakeGraph(dxt1, 16, 16, 16, 16, mips);
        ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
        const RECT whole = {0, 0, 16, 16}, part = {4, 4, 8, 8};
        ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &image, nullptr, 0, 0, 1, nullptr), 0);
        for (int level = 0; level < mips; ++level) {
            const int size = 16 >> level;
            EXPECT_EQ(Draw(graph->Object()->Texture, size, size, level)[0], level % 2 ? 0x00FF00u : 0xFF0000u) << level;
        }
        const size_t logSize = ReadLog().size();
        const TestImage standard(16, 16, 7);
        EXPECT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &standard.Image, nullptr, 0, 0, 1, nullptr), -1);
        EXPECT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&part, 4, 4, graph->Handle, &image, nullptr, 0, 0, 1, nullptr), -1);
        EXPECT_NE(LogFindLines(ReadLog(), Utf8(u8"DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n"), logSize),
                  std::string::npos);
        EXPECT_EQ(Draw(graph->Object()->Texture, 16, 16)[0], 0xFF0000u);   // unchanged
    }
}

TEST_F(D3D9Texture_, DrawableGraphsGetTheirSurfacesAndADepthSurfaceWhenTheyNeedOne) {
    struct Case {
        int32_t DepthWanted;
        bool Depth;
    };
    for (const Case& c : {Case{0, false}, Case{1, true}}) {
        TestGraph* graph = MakeGraph(0, 16, 16, 16, 16, 1, true);
        graph->Orig.format.explicitFormat = 2;
        graph->Orig.hasDepthBuffer = c.DepthWanted;
        ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
        D3D9GraphTexture* object = graph->Object();
        EXPECT_NE(object->Texture, nullptr);
        EXPECT_NE(object->Surfaces[0], nullptr);
        EXPECT_EQ(object->Surfaces[1], nullptr);
        EXPECT_EQ(object->MultiSampleSurface, nullptr);
        EXPECT_EQ(object->DepthSurface != nullptr, c.Depth) << c.DepthWanted;
        // The draw targets find the graph's surface: filled on the device and read back, row by row with
        // the pitch of the lock.
        GraphHandleRecord* record = (GraphHandleRecord*)Handle_GetRecord(graph->Handle);
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(Graphics_D3D9_Graph_Fill(record, 0x10, 0x20, 0x30, 0xFF), 0);
        BaseImage image = {};
        ASSERT_EQ(Graphics_D3D9_DrawScreen_Lock(nullptr, &image, 0, record, 0, 0, 1, 0), 0);
        ASSERT_EQ(image.width, 16);
        ASSERT_EQ(image.height, 16);
        for (int y : {0, 15})
            for (int x : {0, 15}) {
                uint32_t value = 0;
                memcpy(&value, (const uint8_t*)image.pixels + (size_t)y * (size_t)image.pitch + (size_t)x * image.format.bytesPerPixel,
                       image.format.bytesPerPixel);
                int r = 0, g = 0, b = 0;
                BaseImage_ColorFormat_UnpackColor(&image.format, value, &r, &g, &b, nullptr);
                EXPECT_EQ(r << 16 | g << 8 | b, 0x102030) << x << "," << y;
            }
        Graphics_D3D9_DrawScreen_Unlock();
        // Made again, only what is missing is made.
        IDirect3DBaseTexture9* texture = object->Texture;
        ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
        EXPECT_EQ(object->Texture, texture);
        ASSERT_EQ(Graphics_D3D9_Texture_Release(&graph->Orig), 0);
        for (void* slot : graph->Area) EXPECT_EQ(slot, nullptr);
    }
    // A cube map: six face surfaces.
    TestGraph* cube = MakeGraph(0, 16, 16);
    cube->Orig.format.cubeMap = 1;
    cube->Orig.format.explicitFormat = 2;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&cube->Orig, nullptr), 0);
    for (IDirect3DSurface9* surface : cube->Object()->Surfaces) EXPECT_NE(surface, nullptr);
}

TEST_F(D3D9Texture_, RecordsWithoutDeviceTexturesAndTheConversionCheck) {
    TestGraph* graph = MakeGraph(0, 16, 16);
    graph->Orig.format.hardware = 0;
    const TestImage image(16, 16, 8);
    const RECT whole = {0, 0, 16, 16};
    EXPECT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &image.Image, nullptr, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(Graphics_D3D9_Texture_Release(&graph->Orig), 0);
    EXPECT_EQ(graph->Object()->Texture, nullptr);

    // Without device textures codes 1 to 7 need converting; with them only a block format the texture lacks.
    struct Case {
        uint8_t Hardware, Explicit;
        int Code;
        int Needed;
    };
    const Case cases[] = {{0, 0, 1, 1}, {0, 0, 7, 1}, {0, 0, 8, 0}, {1, 2, 0, 0}, {1, 2, 3, 1}, {1, 2, 6, 0}};
    for (const Case& c : cases) {
        graph->Orig.format.hardware = c.Hardware;
        graph->Orig.format.explicitFormat = c.Explicit;
        int colour = -1, alpha = -1;
        EXPECT_EQ(Graphics_D3D9_Texture_CheckConvertNeeded(&graph->Orig, c.Code, &colour, -1, &alpha), 0);
        EXPECT_EQ(colour, c.Needed) << c.Code;
        EXPECT_EQ(alpha, 0);
    }
    EXPECT_EQ(Graphics_D3D9_GetColorDataOfFormat(D3DFMT_A8L8), Graphics_D3D9_GetColorDataOfFormat(D3DFMT_V8U8));
    EXPECT_EQ(Graphics_D3D9_GetColorDataOfFormat(D3DFMT_DXT1), nullptr);
    EXPECT_EQ(Graphics_D3D9_GetColorDataOfFormat(D3DFMT_A2B10G10R10)->redMask, 0x3FFu);
}

TEST_F(D3D9Texture_, ACubeMapTakesEachFaceOfTheImage) {
    // Six faces whole (through a pooled cube texture), then a rectangle of each (through pooled surfaces).
    TestGraph* graph = MakeGraph(0, 16, 16);
    graph->Orig.format.cubeMap = 1;
    graph->Orig.format.explicitFormat = 3;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    const TestImage first(16, 16, 9, 1, 6), second(16, 16, 10, 1, 6);
    const RECT whole = {0, 0, 16, 16}, part = {2, 3, 9, 11};
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &first.Image, nullptr, 0, 0, 1, nullptr), 0);
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&part, 5, 4, graph->Handle, &second.Image, nullptr, 0, 0, 1, nullptr), 0);
    for (int face = 0; face < 6; ++face) {
        const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, 16, 16, 0, false, face);
        ASSERT_EQ(pixels.size(), 256u);
        int wrong = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool in = x >= 5 && x < 12 && y >= 4 && y < 12;
                wrong += pixels[y * 16 + x] != ((in ? second.At(x - 3, y - 1, face) : first.At(x, y, face)) & 0xFFFFFF);
            }
        EXPECT_EQ(wrong, 0) << face;
    }
}

namespace {

struct LoaderTransfer {
    volatile LONG Done = 0;
    int Graph = -1;
    const BaseImage* Image = nullptr;
    int Result = 1;
};

int LoaderTransferJob(ASyncLoadEntry* entry) {
    LoaderTransfer* work = (LoaderTransfer*)LoaderJob::Data(entry);
    const RECT part = {1, 2, 11, 12};
    work->Result = Graphics_D3D9_BltBmpOrBaseImageToGraph3(&part, 4, 3, work->Graph, work->Image, nullptr, 0, 0, 1, (void*)1);
    InterlockedExchange(&work->Done, 1);
    return 0;
}

}  // namespace

TEST_F(D3D9Texture_, ALoaderThreadTransfersWithTheMainThreadMakingTheDeviceCalls) {
    // A rectangle into a texture with mip levels: pooled surfaces, locks and copies all posted.
    TestGraph* graph = MakeGraph(0, 16, 16, 16, 16, 2);
    graph->Orig.format.explicitFormat = 3;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    const TestImage image(16, 16, 11);
    LoaderTransfer work;
    work.Graph = graph->Handle;
    work.Image = &image.Image;
    ASSERT_EQ(LoaderJob::Run(LoaderTransferJob, &work, &work.Done), 0);
    EXPECT_EQ(work.Result, 0);
    EXPECT_EQ(D3D9CallState.LastDeviceCallThread, Thread_GetCurrentId());
    const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, 16, 16);
    EXPECT_EQ(pixels[3 * 16 + 4], image.At(1, 2) & 0xFFFFFF);
    EXPECT_EQ(pixels[12 * 16 + 13], image.At(10, 11) & 0xFFFFFF);
    for (int i = 0; i < D3D9SysMemPoolSize; ++i) ASSERT_EQ(D3D9SysMemSurfacePool.Entries[i].UseFlag, 0) << i;
}

TEST_F(D3D9Texture_, OnAPlainDeviceAManagedGraphIsWrittenWithoutPooledObjects) {
    // The Ex device has no managed pool; on a plain one the texture is locked directly, whole and in part.
    struct PlainRoad {
        PlainRoad() { D3D9CallState.NoEx = 1; }
        ~PlainRoad() { D3D9CallState.NoEx = 0; }
    } plainRoad;
    EndBackEnd();
    ASSERT_EQ(StartBackEnd(), 0);
    ASSERT_EQ(D3D9CallState.DeviceEx, nullptr);
    TestGraph* graph = MakeGraph(0, 16, 16);
    graph->Orig.format.explicitFormat = 3;
    graph->Orig.format.managed = 1;
    ASSERT_EQ(Graphics_D3D9_OrigTexture_Create(&graph->Orig, nullptr), 0);
    EXPECT_EQ(graph->Orig.format.managed, 1);
    const TestImage first(16, 16, 12), second(16, 16, 13);
    const RECT whole = {0, 0, 16, 16}, part = {3, 3, 9, 7};
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&whole, 0, 0, graph->Handle, &first.Image, nullptr, 0, 0, 1, nullptr), 0);
    ASSERT_EQ(Graphics_D3D9_BltBmpOrBaseImageToGraph3(&part, 1, 2, graph->Handle, &second.Image, nullptr, 0, 0, 1, nullptr), 0);
    EXPECT_EQ(D3D9SysMemSurfacePool.UsedCount, 0);
    EXPECT_EQ(D3D9SysMemTexturePool.UsedCount, 0);
    const std::vector<uint32_t> pixels = Draw(graph->Object()->Texture, 16, 16);
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 1 && x < 7 && y >= 2 && y < 6;
            wrong += pixels[y * 16 + x] != ((in ? second.At(x + 2, y + 1) : first.At(x, y)) & 0xFFFFFF);
        }
    EXPECT_EQ(wrong, 0);
}
