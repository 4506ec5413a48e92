// The small operation bodies on the real device: vertex and index buffers of buffer handles drawn and read
// back (also after every device object was released and made again from the records), a caller's shader
// pair drawn, the constant table a shader's byte code carries, shadow-map objects, the draw area, the
// world and projection registers, the vertex declarations made at start, and the release of a texture a
// stage still holds.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "D3D9TestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "tools/VtShaderAssembleD3D9.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

const float* VertexFloat(int reg) {
    return (const float*)D3D9ShaderConstants.Layers[D3D9CONST_VERTEX_FLOAT][0].Values + reg * 4;
}

std::vector<uint8_t> Assemble(const std::string& text) {
    VtShaderAsm::D3D9Assembler assembler;
    std::vector<uint8_t> code;
    EXPECT_TRUE(assembler.Assemble(text, code)) << assembler.Error;
    return code;
}

// The user vertex of buffer type 0 (XYZ, NORMAL, DIFFUSE, SPECULAR, TEX2; 48 bytes).
struct UserVertex {
    float X, Y, Z;
    float Normal[3];
    uint32_t Diffuse, Specular;
    float U0, V0, U1, V1;
};
static_assert(sizeof(UserVertex) == 48, "type-0 user vertex");

// A box over clip-space x from left to right, the full height, as four corners.
void Box(UserVertex* out, float left, float right, uint32_t colour) {
    const float xs[4] = {left, right, left, right}, ys[4] = {1, 1, -1, -1};
    for (int i = 0; i < 4; ++i) out[i] = {xs[i], ys[i], 0.5f, {0, 0, 1}, colour, 0, 0, 0, 0, 0};
}

class D3D9Operation : public BackEndTest {
protected:
    void SetUp() override {
        BackEndTest::SetUp();
        for (int type : {HandleType_VertexBuffer, HandleType_IndexBuffer, HandleType_Shader}) {
            if (HandleManagerTable[type].Initialized) continue;
            const bool buffer = type != HandleType_Shader;
            ASSERT_EQ(Handle_Type_Setup(type, buffer ? sizeof(BufferHandleRecord) : sizeof(ShaderHandleRecord), 16,
                                        buffer ? Graphics_Buffer_HandleRecord_Initialize : Graphics_Shader_HandleRecord_Initialize,
                                        buffer ? Graphics_Buffer_HandleRecord_Terminate : Graphics_Shader_HandleRecord_Terminate,
                                        nullptr, L"Test"),
                      0);
            OwnTypes.push_back(type);
        }
    }

    void TearDown() override {
        for (int type : OwnTypes) Handle_Type_Shutdown(type);
        OwnTypes.clear();
        BackEndTest::TearDown();
    }

    // A buffer handle of `count` elements with its system copy and device buffer.
    BufferHandleRecord* MakeBuffer(int type, int kind, int elementSize, int count, int* handle) {
        *handle = Handle_New(type, 0, -1);
        BufferHandleRecord* record = (BufferHandleRecord*)Handle_GetRecord(*handle);
        if (record == nullptr) return nullptr;
        record->Kind = kind;
        record->ElementSize = elementSize;
        record->ElementCount = count;
        record->SystemCopy = Memory_AllocateZeroed((uint32_t)(elementSize * count), __FILE__, __LINE__);
        const int made = type == HandleType_VertexBuffer ? Graphics_D3D9_VertexBuffer_Create(record, 0)
                                                         : Graphics_D3D9_IndexBuffer_Create(record, 0);
        EXPECT_EQ(made, 0);
        return record;
    }

    // The buffers drawn as two indexed triangles per box through the fixed-function pipeline (identity
    // transforms, no lighting); the back buffer's first row comes back.
    std::vector<uint32_t> DrawBuffers(BufferHandleRecord* vertices, BufferHandleRecord* indices, int boxes) {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        D3DMATRIX identity = {};
        identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
        for (D3DTRANSFORMSTATETYPE t : {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION}) D3D9Call_Device_SetTransform(t, &identity);
        D3D9Call_Device_SetRenderState(D3DRS_LIGHTING, FALSE);
        D3D9Call_Device_SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Graphics_D3D9_StateCache_ResetVertexShader(0);
        Graphics_D3D9_StateCache_ResetPixelShader(0);
        Graphics_D3D9_StateCache_SetFVF(0x2D2);
        Graphics_D3D9_StateCache_SetVertexBuffer((IDirect3DVertexBuffer9*)vertices->PlatformArea[0], 48);
        Graphics_D3D9_StateCache_SetIndexBuffer((IDirect3DIndexBuffer9*)indices->PlatformArea[0]);
        D3D9Call_Device_BeginSceneOnce();
        EXPECT_EQ(D3D9CallState.Device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, (UINT)vertices->ElementCount, 0,
                                                             (UINT)boxes * 2),
                  D3D_OK);
        return ReadBackBuffer(64, 1);
    }

    std::vector<int> OwnTypes;
};

// Left half one colour, right half another: what the first row of a two-box draw must show.
void ExpectHalves(const std::vector<uint32_t>& row, uint32_t left, uint32_t right) {
    ASSERT_EQ(row.size(), 64u);
    EXPECT_EQ(row[4], left);
    EXPECT_EQ(row[28], left);
    EXPECT_EQ(row[36], right);
    EXPECT_EQ(row[60], right);
}

TEST_F(D3D9Operation, BuffersDrawWhatWasWrittenAlsoAfterTheDeviceObjectsAreMadeAgain) {
    for (int indexKind : {0, 1}) {
        SCOPED_TRACE(indexKind == 0 ? "16-bit indices" : "32-bit indices");
        int vertexHandle = -1, indexHandle = -1;
        BufferHandleRecord* vertices = MakeBuffer(HandleType_VertexBuffer, 0, 48, 8, &vertexHandle);
        BufferHandleRecord* indices = MakeBuffer(HandleType_IndexBuffer, indexKind, indexKind ? 4 : 2, 12, &indexHandle);
        ASSERT_NE(vertices, nullptr);
        ASSERT_NE(indices, nullptr);
        ASSERT_NE(vertices->PlatformArea[0], nullptr);
        UserVertex corners[8];
        Box(corners, -1.0f, 0.0f, 0xFFFF0000);
        Box(corners + 4, 0.0f, 1.0f, 0xFF0000FF);
        const uint32_t order[12] = {0, 1, 2, 3, 2, 1, 4, 5, 6, 7, 6, 5};
        uint16_t order16[12];
        for (int i = 0; i < 12; ++i) order16[i] = (uint16_t)order[i];
        ASSERT_EQ(Graphics_Buffer_SetVertexData(0, corners, 8, vertexHandle), 0);
        ASSERT_EQ(Graphics_Buffer_SetIndexData(0, indexKind ? (const void*)order : (const void*)order16, 12, indexHandle), 0);
        ExpectHalves(DrawBuffers(vertices, indices, 2), 0xFF0000, 0x0000FF);

        // A part of the buffer written again: only the right box changes.
        Box(corners + 4, 0.0f, 1.0f, 0xFF00FF00);
        ASSERT_EQ(Graphics_Buffer_SetVertexData(4, corners + 4, 4, vertexHandle), 0);
        ExpectHalves(DrawBuffers(vertices, indices, 2), 0xFF0000, 0x00FF00);

        // A range past the end writes nothing.
        EXPECT_EQ(Graphics_D3D9_VertexBuffer_SetData(vertices, 6, corners, 4), -1);

        // Released, the cache forgets the bindings and the counts fall; made again from the records, the
        // buffers hold what was last written.
        Graphics_D3D9_Buffer_Release(vertices);
        Graphics_D3D9_Buffer_Release(indices);
        EXPECT_EQ(vertices->PlatformArea[0], nullptr);
        EXPECT_EQ(D3D9DeviceStateCache.VertexBuffer, nullptr);
        EXPECT_EQ(D3D9DeviceStateCache.IndexBuffer, nullptr);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_BUFFER], 0);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_INDEX_BUFFER], 0);
        ASSERT_EQ(Graphics_D3D9_DeviceObjects_CreateAll(), 0);
        ASSERT_NE(vertices->PlatformArea[0], nullptr);
        ASSERT_NE(indices->PlatformArea[0], nullptr);
        ExpectHalves(DrawBuffers(vertices, indices, 2), 0xFF0000, 0x00FF00);

        Handle_DeleteNow(vertexHandle);
        Handle_DeleteNow(indexHandle);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_BUFFER], 0);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_INDEX_BUFFER], 0);
    }
}

TEST_F(D3D9Operation, AUserShaderPairDrawsAndIsMadeAgainFromItsKeptCode) {
    ASSERT_EQ(GraphicsSystemState.ShadersUsable, 1);
    // The vertex shader moves every vertex half the screen to the right; the pixel shader paints green.
    const std::vector<uint8_t> vertexCode = Assemble(
        "vs_2_0\ndef c0, 1, 0, 0, 0\ndcl_position v0\ndcl_color v1\nadd oPos, v0, c0\nmov oD0, v1\n");
    const std::vector<uint8_t> pixelCode = Assemble("ps_2_0\ndef c0, 0, 1, 0, 1\nmov oC0, c0\n");
    const int vertexShader = Handle_New(HandleType_Shader, 0, -1), pixelShader = Handle_New(HandleType_Shader, 0, -1);
    ASSERT_EQ(Graphics_D3D9_Shader_Create(vertexShader, SHADER_KIND_VERTEX, vertexCode.data(), (int)vertexCode.size(), 0, 0), 0);
    ASSERT_EQ(Graphics_D3D9_Shader_Create(pixelShader, SHADER_KIND_PIXEL, pixelCode.data(), (int)pixelCode.size(), 0, 0), 0);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_SHADER], 1 + 1);   // the built-in 2D one and ours
    ShaderHandleRecord* pixelRecord = Graphics_Shader_GetHandleData(pixelShader, 0);
    ASSERT_NE(pixelRecord, nullptr);
    EXPECT_EQ(pixelRecord->ByteCodeSize, (int)pixelCode.size());
    EXPECT_NE(pixelRecord->ByteCode, (const void*)pixelCode.data());   // its own copy

    auto draw = [&]() {
        D3D9Call_Device_Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        EXPECT_EQ(Graphics_D3D9_StateCache_SetVertexShaderHandle(vertexShader), 0);
        EXPECT_EQ(Graphics_D3D9_StateCache_SetPixelShaderHandle(pixelShader), 0);
        Graphics_D3D9_StateCache_SetVertexDeclaration(D3D9VertexDeclarations[1]);
        D3D9Call_Device_SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        // The left half in clip space; the shader puts it on the right half.
        const D3D9Test::Vertex2D quad[4] = {{-1, 1, 0.5f, 1, 0xFFFF0000}, {0, 1, 0.5f, 1, 0xFFFF0000},
                                  {-1, -1, 0.5f, 1, 0xFFFF0000}, {0, -1, 0.5f, 1, 0xFFFF0000}};
        D3D9Call_Device_BeginSceneOnce();
        EXPECT_EQ(D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(D3D9Test::Vertex2D)), D3D_OK);
        return ReadBackBuffer(64, 1);
    };
    ExpectHalves(draw(), 0x000000, 0x00FF00);

    // Released, the device no longer holds them; made again from the kept byte code, they draw the same.
    Graphics_D3D9_Shader_Release(Graphics_Shader_GetHandleData(vertexShader, 0));
    Graphics_D3D9_Shader_Release(pixelRecord);
    EXPECT_EQ(D3D9DeviceStateCache.PixelShader, nullptr);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_PIXEL_SHADER] + D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_SHADER],
              (int)(1 + D3D9SHADER_UNTEXTURED_COUNT + D3D9SHADER_TEXTURED_COUNT + 1 + D3D9SHADER_MASK_GRAPH_COUNT));
    ASSERT_EQ(Graphics_D3D9_DeviceObjects_CreateAll(), 0);
    ExpectHalves(draw(), 0x000000, 0x00FF00);

    Handle_DeleteNow(vertexShader);
    Handle_DeleteNow(pixelShader);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_SHADER], 1);
}

TEST_F(D3D9Operation, ShaderCreationKeepsOnlyAConstantTableThatFitsTheCode) {
    const std::vector<uint8_t> plain = Assemble("ps_2_0\ndef c0, 0, 1, 0, 1\nmov oC0, c0\n");
    // The same program with a comment after the version: "CTAB", a 28-byte header naming `count`
    // constants, and two 20-byte constant records.
    auto withTable = [&](uint32_t count) {
        std::vector<uint32_t> comment = {0x42415443u /* CTAB */, 28, 0, 0xFFFF0200u, count, 28, 0, 0};
        comment.resize(1 + 7 + 10, 0);
        std::vector<uint8_t> code(plain.begin(), plain.begin() + 4);
        const uint32_t token = 0xFFFEu | (uint32_t)comment.size() << 16;
        code.insert(code.end(), (const uint8_t*)&token, (const uint8_t*)&token + 4);
        code.insert(code.end(), (const uint8_t*)comment.data(), (const uint8_t*)(comment.data() + comment.size()));
        code.insert(code.end(), plain.begin() + 4, plain.end());
        return code;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> Code;
        intptr_t Count;
        bool Table;
    };
    const Case cases[] = {{"no comment after the version", plain, 0, false},
                          {"a table of two constants", withTable(2), 2, true},
                          {"a count reaching past the code", withTable(1000000), 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const int shader = Handle_New(HandleType_Shader, 0, -1);
        ASSERT_EQ(Graphics_D3D9_Shader_Create(shader, SHADER_KIND_PIXEL, c.Code.data(), (int)c.Code.size(), 0, 0), 0);
        ShaderHandleRecord* record = Graphics_Shader_GetHandleData(shader, 0);
        const D3D9UserShaderPlatform* p = Graphics_D3D9_UserShader_Platform(record);
        EXPECT_EQ(p->ConstantCount, c.Count);
        EXPECT_EQ(p->Constants, c.Table ? (const uint8_t*)record->ByteCode + 40 : nullptr);
        Handle_DeleteNow(shader);
    }
    // Another kind is refused with its log line, and a constant buffer has nothing to release here.
    const int shader = Handle_New(HandleType_Shader, 0, -1);
    EXPECT_EQ(Graphics_D3D9_Shader_Create(shader, SHADER_KIND_GEOMETRY, plain.data(), (int)plain.size(), 0, 0), -1);
    EXPECT_TRUE(LogHasLines(ReadLog(), u8"対応していないタイプのシェーダーを作成しようとしました\n"));
    Handle_DeleteNow(shader);
    EXPECT_EQ(Graphics_D3D9_ShaderConstantBuffer_Release(nullptr), -1);
}

TEST_F(D3D9Operation, ShadowMapObjectsFollowTheRecordAndAreReleasedInFull) {
    struct Case {
        int BitDepth, Float, ColorIndex, DepthIndex;
    };
    const Case cases[] = {{16, 0, 42, 0}, {16, 1, 43, 0}, {32, 0, 44, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.BitDepth << " bits, float " << c.Float);
        std::vector<uint8_t> block(sizeof(ShadowMapRecord), 0);
        ShadowMapRecord* record = (ShadowMapRecord*)block.data();
        record->Width = 32;
        record->Height = 16;
        record->BitDepth = c.BitDepth;
        record->FloatFlag = c.Float;
        const bool formatKnown = D3D9TextureFormatTable[c.ColorIndex] != (D3DFORMAT)0;
        ASSERT_EQ(Graphics_D3D9_ShadowMap_CreateTextures(record, nullptr), formatKnown ? 0 : -1);
        D3D9ShadowMapPlatform* p = Graphics_D3D9_ShadowMap_Platform(record);
        EXPECT_EQ(p->ColorFormatIndex, c.ColorIndex);
        EXPECT_EQ(p->DepthFormatIndex, c.DepthIndex);
        if (formatKnown) {
            ASSERT_NE(p->Texture, nullptr);
            ASSERT_NE(p->Surface, nullptr);
            ASSERT_NE(p->DepthSurface, nullptr);
            D3DSURFACE_DESC desc = {};
            D3D9Call_Surface_GetDesc(p->Surface, &desc);
            EXPECT_EQ(desc.Width, 32u);
            EXPECT_EQ(desc.Height, 16u);
            EXPECT_EQ(desc.Usage & D3DUSAGE_RENDERTARGET, (DWORD)D3DUSAGE_RENDERTARGET);
        }
        EXPECT_EQ(Graphics_D3D9_ShadowMap_ReleaseTextures(record), 0);
        EXPECT_EQ(p->Texture, nullptr);
        EXPECT_EQ(p->Surface, nullptr);
        EXPECT_EQ(p->DepthSurface, nullptr);
        EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE], 0);
    }
}

TEST_F(D3D9Operation, AShadowMapIsDrawnIntoWithItsOwnDepthAndLeavesTheDeviceWhenReleased) {
    bool ownType = false;
    if (!HandleManagerTable[HandleType_ShadowMap].Initialized) {
        ASSERT_EQ(Handle_Type_Setup(HandleType_ShadowMap, sizeof(ShadowMapRecord), 4, Graphics_ShadowMap_HandleRecord_Initialize,
                                    nullptr, nullptr, L"ShadowMap"),
                  0);
        ownType = true;
    }
    const int handle = Handle_New(HandleType_ShadowMap, 0, -1);
    ShadowMapRecord* record = Graphics_ShadowMap_GetHandleData(handle, 0);
    ASSERT_NE(record, nullptr);
    record->Width = 16;
    record->Height = 8;
    record->BitDepth = 32;
    ASSERT_EQ(Graphics_D3D9_ShadowMap_CreateTextures(record, nullptr), 0);
    const D3D9ShadowMapPlatform* p = Graphics_D3D9_ShadowMap_Platform(record);
    EXPECT_EQ(Graphics_D3D9_ShadowMap_TextureOf(handle), p->Texture);

    DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    const DrawTargetSlot saved = slot;
    slot = {};
    slot.Handle = handle;
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Set(handle, 0, 0, nullptr, nullptr, record, nullptr), 0);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], p->Surface);
    ASSERT_EQ(Graphics_D3D9_ZBuffer_Setup(), 0);
    IDirect3DSurface9* depth = nullptr;
    D3D9CallState.Device->GetDepthStencilSurface(&depth);
    EXPECT_EQ(depth, p->DepthSurface);
    if (depth != nullptr) depth->Release();

    // A clear in the background colour's red reaches the whole map (1.0 for 255 in its float channel).
    const int32_t background[4] = {GraphicsScreenState.BackgroundColor[0], GraphicsScreenState.BackgroundColor[1],
                                   GraphicsScreenState.BackgroundColor[2], GraphicsScreenState.BackgroundColor[3]};
    GraphicsScreenState.BackgroundColor[0] = 255;
    ASSERT_EQ(Graphics_D3D9_DrawScreen_Clear(nullptr), 0);
    memcpy(GraphicsScreenState.BackgroundColor, background, sizeof(background));
    D3DSURFACE_DESC desc = {};
    D3D9Call_Surface_GetDesc(p->Surface, &desc);
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(D3D9Call_Device_CreateOffscreenPlainSurface(16, 8, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(D3D9Call_Device_GetRenderTargetData(p->Surface, copy), D3D_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(D3D9Call_Surface_LockRect(copy, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const float* row = (const float*)((const uint8_t*)locked.pBits + 7 * locked.Pitch);
    EXPECT_EQ(row[0], 1.0f);
    EXPECT_EQ(row[15], 1.0f);
    D3D9Call_Surface_UnlockRect(copy);
    D3D9Call_Object_Release(copy);

    // Released while it is the target: the back buffer takes its place and nothing is left counted.
    Graphics_D3D9_ShadowMap_ReleaseTextures(record);
    slot = saved;
    Handle_DeleteNow(handle);
    EXPECT_EQ(D3D9DeviceStateCache.RenderTarget[0], D3D9DeviceState.BackBuffer);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE], 0);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_SURFACE], 2);   // the back buffer and the depth buffer
    if (ownType) Handle_Type_Shutdown(HandleType_ShadowMap);
}

TEST_F(D3D9Operation, DrawAreaSetsViewportScissorAndProjectionOrRefusesAnEmptyOne) {
    const RECT saved = DrawSettings.DrawArea;
    DrawSettings.DrawArea = {10, 10, 10, 40};
    const uint32_t calls = AllDeviceCalls();
    EXPECT_EQ(Graphics_D3D9_DrawArea_Set(), -1);
    EXPECT_EQ(AllDeviceCalls(), calls);

    DrawSettings.DrawArea = {8, 4, 40, 36};
    ASSERT_EQ(Graphics_D3D9_DrawArea_Set(), 0);
    const D3DVIEWPORT9& v = D3D9DeviceStateCache.Viewport;
    EXPECT_EQ(v.X, 8u);
    EXPECT_EQ(v.Y, 4u);
    EXPECT_EQ(v.Width, 32u);
    EXPECT_EQ(v.Height, 32u);
    EXPECT_EQ(D3D9DeviceStateCache.ScissorRect.right, 40);
    EXPECT_EQ(D3D9DeviceStateCache.ScissorRect.bottom, 36);
    DrawSettings.DrawArea = saved;
}

TEST_F(D3D9Operation, WorldAndProjectionReachTheirRegistersTransposed) {
    MatrixF world = {};
    for (int i = 0; i < 16; ++i) world.m[i / 4][i % 4] = (float)(i + 1);
    ASSERT_EQ(Graphics_D3D9_Transform_SetWorld(&world), 0);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) EXPECT_EQ(VertexFloat(94 + row)[column], world.m[column][row]);

    // In 2D mode the projection is the 2D matrix times the draw area's viewport conversion.
    GraphicsTransformRecord& t = GraphicsTransform;
    const GraphicsTransformRecord saved = t;
    t.Projection2DSet = 1;
    t.Projection2DF = world;
    t.DrawAreaViewportInverseF = {};
    for (int i = 0; i < 4; ++i) t.DrawAreaViewportInverseF.m[i][i] = 2.0f;
    ASSERT_EQ(Graphics_D3D9_Transform_SetProjection(), 0);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(VertexFloat(D3D9VertexRegister_Projection + row)[column], 2.0f * world.m[column][row]);
    t = saved;
}

TEST_F(D3D9Operation, TheStartMakesTheVertexDeclarationsAndTheEndReleasesThem) {
    ASSERT_EQ(GraphicsSystemState.ShadersUsable, 1);
    for (IDirect3DVertexDeclaration9* declaration : D3D9VertexDeclarations) EXPECT_NE(declaration, nullptr);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_VERTEX_DECLARATION], D3D9VertexDeclarationCount);
    // The end is checked by the fixture: every count back to 0.
}

TEST_F(D3D9Operation, ABlendGraphWithATextureIsBoundAndAnyOtherClearsTheBlend) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D9Call_Device_CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    void* area[GraphOrig_PlatformAreaSlots] = {texture};
    GraphTexturePart part = {area, 0, 0, 6, 3, 8, 4};
    GraphOrigRecord orig = {};
    orig.format.hardware = 1;
    orig.partCount = 1;
    orig.parts = &part;
    std::vector<uint8_t> block(sizeof(GraphHandleRecord), 0);
    GraphHandleRecord* graph = (GraphHandleRecord*)block.data();
    graph->Orig = &orig;
    graph->drawPartCount = 1;
    graph->drawParts[0].part = &part;

    const int params[2] = {40, 8};
    ASSERT_EQ(Graphics_D3D9_BlendGraph_Setup(graph, 1, params), 0);
    EXPECT_EQ(D3D9NormalDrawState.BlendTexture, texture);
    EXPECT_EQ(D3D9NormalDrawState.BlendWidth, 8.0f);
    EXPECT_EQ(D3D9NormalDrawState.BlendHeight, 4.0f);
    EXPECT_EQ(D3D9NormalDrawState.BlendGraphKind, 1);
    EXPECT_EQ(D3D9NormalDrawState.BlendGraphParams[1], 8);

    // A graph without device textures, or none at all, ends the blend and asks for a new set-up.
    part.platformArea = nullptr;
    for (GraphHandleRecord* other : {graph, (GraphHandleRecord*)nullptr}) {
        DrawSettings.BlendGraph = 5;
        D3D9NormalDrawState.SetupNeeded = 0;
        const bool wasBound = D3D9NormalDrawState.BlendTexture != nullptr;
        ASSERT_EQ(Graphics_D3D9_BlendGraph_Setup(other, 0, params), 0);
        EXPECT_EQ(D3D9NormalDrawState.BlendTexture, nullptr);
        EXPECT_EQ(DrawSettings.BlendGraph, -1);
        EXPECT_EQ(D3D9NormalDrawState.SetupNeeded, wasBound ? 1 : 0);
    }
    D3D9Call_Object_Release(texture);
}

TEST_F(D3D9Operation, ReleasingAGraphTextureTakesItOffTheStagesThatHoldIt) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3D9Call_Device_CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), D3D_OK);
    for (int stage : {0, 2}) {
        D3D9Call_Device_SetTexture((DWORD)stage, texture);
        D3D9DeviceStateCache.Applied.Stages[stage].Texture = (uintptr_t)texture;
    }
    Graphics_D3D9_StateCache_SetDrawTexture(texture);

    void* area[GraphOrig_PlatformAreaSlots] = {texture};
    GraphTexturePart part = {area, 0, 0, 4, 4, 4, 4};
    GraphOrigRecord orig = {};
    orig.format.hardware = 1;
    orig.partCount = 1;
    orig.parts = &part;
    ASSERT_EQ(Graphics_D3D9_Texture_Release(&orig), 0);

    for (int stage : {0, 2}) {
        IDirect3DBaseTexture9* held = nullptr;
        D3D9CallState.Device->GetTexture((DWORD)stage, &held);
        EXPECT_EQ(held, nullptr) << "stage " << stage;
        if (held != nullptr) held->Release();
        EXPECT_EQ(D3D9DeviceStateCache.Applied.Stages[stage].Texture, 0u);
    }
    EXPECT_EQ(D3D9NormalDrawState.DrawTexture, nullptr);
    EXPECT_EQ(D3D9CallState.ObjectCount[D3D9OBJ_TEXTURE], 0);
}

}  // namespace
