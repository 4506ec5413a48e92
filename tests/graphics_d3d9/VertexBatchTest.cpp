// The Direct3D 9 vertex batch on the real device: it starts empty, a thousand boxes of one state go out
// in the fewest DrawPrimitiveUP calls the buffer allows and land where they were put with their colours,
// a state change between two boxes flushes once, and the flush's rules (primitive counts, the skip flag,
// the library's end, the scene, posting from a loader thread).
#include <gtest/gtest.h>

#include "D3D9TestSupport.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace D3D9Test;

namespace {

using D3D9VertexBatch_ = BackEndTest;

// Box i: one pixel at (2 (i mod 32), 2 (i / 32)) with its own colour.
uint32_t BoxColour(int i) { return 0xFF000000u | (uint32_t)(i & 0xFF) << 16 | (uint32_t)(i >> 8) << 8 | 0x40; }

void AddGridBoxes(int count) {
    for (int i = 0; i < count; ++i) {
        const int x = 2 * (i % 32), y = 2 * (i / 32);
        ASSERT_TRUE(AddBox(x, y, x + 1, y + 1, BoxColour(i)));
    }
}

uint32_t Draws() { return DeviceCalls(D3D9CALL_DrawPrimitiveUP); }

}  // namespace

TEST_F(D3D9VertexBatch_, TheBatchStartsEmpty) {
    // Right after the defaults: nothing batched, nothing drawn by a flush, and the buffers prepared.
    ASSERT_EQ(Graphics_D3D9_StateCache_SetDefaults(), 0);
    D3D9Call_ResetDeviceCallCounts();
    EXPECT_EQ(D3D9VertexBatch.Count, 0u);
    EXPECT_EQ(D3D9VertexBatch.Layout, 1);
    EXPECT_EQ(D3D9VertexBatch.Space, 0);
    EXPECT_EQ(D3D9VertexBatch.Write, D3D9VertexBatch.Buffers[1]);
    EXPECT_EQ(D3D9VertexBatch.Diffuse, 0xFFFFFFFFu);
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    EXPECT_EQ(Draws(), 0u);
    float rhw = 0;
    memcpy(&rhw, D3D9VertexBatch.Buffers[1] + 2339 * 28 + 12, sizeof(rhw));
    EXPECT_EQ(rhw, 1.0f);
    uint32_t second = 0;
    memcpy(&second, D3D9VertexBatch.Buffers[2] + 1637 * 40 + 20, sizeof(second));
    EXPECT_EQ(second, 0xFFFFFFFFu);
}

TEST_F(D3D9VertexBatch_, AThousandBoxesGoOutInTheFewestDrawsAndLandWithTheirColours) {
    const uint32_t drawCalls = D3D9VertexBatch.DrawCalls;
    AddGridBoxes(1000);
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    // 3225 vertices a batch: 537 boxes fit (the 538th would reach the capacity), so 1000 boxes are two
    // draws, the fewest 6000 vertices can be.
    EXPECT_EQ(Draws(), 2u);
    EXPECT_EQ(D3D9VertexBatch.DrawCalls, drawCalls + 2);
    EXPECT_EQ(D3D9VertexBatch.Count, 0u);
    const std::vector<uint32_t> pixels = ReadBackBuffer(64, 64);
    ASSERT_EQ(pixels.size(), 64u * 64u);
    for (int i = 0; i < 1000; ++i) {
        const int x = 2 * (i % 32), y = 2 * (i / 32);
        ASSERT_EQ(pixels[y * 64 + x], BoxColour(i) & 0xFFFFFF) << i;
        ASSERT_EQ(pixels[y * 64 + x + 1], 0u) << i;   // the gap stays black
    }
    EXPECT_EQ(pixels[63 * 64 + 63], 0u);
}

TEST_F(D3D9VertexBatch_, AStateChangeBetweenTwoBoxesFlushesOnce) {
    ASSERT_TRUE(AddBox(0, 0, 2, 2, 0xFFFF0000));
    ASSERT_EQ(Graphics_D3D9_StateCache_SetZFunc(D3DCMP_ALWAYS), 0);
    ASSERT_TRUE(AddBox(2, 0, 4, 2, 0xFF00FF00));
    ASSERT_EQ(Graphics_D3D9_StateCache_SetZFunc(D3DCMP_ALWAYS), 0);   // the same again: no flush
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D9VertexBatch.Count, 6u);
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    EXPECT_EQ(Draws(), 2u);
    // A change of layout or primitive type also starts a new batch.
    ASSERT_TRUE(AddBox(0, 0, 1, 1, 0xFFFFFFFF));
    ASSERT_NE(Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_LINELIST, 2), nullptr);
    EXPECT_EQ(Draws(), 3u);
    ASSERT_NE(Graphics_D3D9_VertexBatch_Reserve(1, 0, D3DPT_LINELIST, 2), nullptr);
    EXPECT_EQ(Draws(), 3u);   // nothing was committed: nothing to draw
    EXPECT_EQ(D3D9VertexBatch.Write, D3D9VertexBatch.Buffers[1]);
    EXPECT_EQ(Graphics_D3D9_VertexBatch_Reserve(2, 1, D3DPT_TRIANGLELIST, 3), nullptr);   // no such buffer
    EXPECT_EQ(Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_TRIANGLELIST, 3226), nullptr);
}

TEST_F(D3D9VertexBatch_, TheFlushCountsPrimitivesAndDropsWhatMustNotBeDrawn) {
    // Seven triangle-list vertices draw two triangles; the seventh goes with the batch.
    uint8_t* at = Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_TRIANGLELIST, 7);
    ASSERT_NE(at, nullptr);
    const Vertex2D vertex = {0.5f, 0.5f, 0, 1, 0xFFFFFFFF};
    for (int i = 0; i < 7; ++i) memcpy(at + 20 * i, &vertex, sizeof(vertex));
    Graphics_D3D9_VertexBatch_Commit(7);
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D9VertexBatch.Count, 0u);

    // The skip flag and the library's end discard the vertices without a draw.
    D3D9VertexBatch.SkipDraw = 1;
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    const uint32_t drawCalls = D3D9VertexBatch.DrawCalls;
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    D3D9VertexBatch.SkipDraw = 0;
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D9VertexBatch.DrawCalls, drawCalls);
    LibraryCore.EndRequested = 1;
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    LibraryCore.EndRequested = 0;
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D9VertexBatch.Count, 0u);
    EXPECT_EQ(D3D9VertexBatch.Write, D3D9VertexBatch.Buffers[0]);
    EXPECT_EQ(ReadBackBuffer(8, 8)[2 * 8 + 2], 0u);

    // No scene open: the flush begins one and leaves it open.
    ASSERT_EQ(D3D9DeviceStateCache.Scene, 0);
    ASSERT_TRUE(AddBox(0, 0, 1, 1, 0xFFFFFFFF));
    ASSERT_EQ(Graphics_D3D9_VertexBatch_Flush(0), 0);
    EXPECT_EQ(D3D9DeviceStateCache.Scene, 1);
    EXPECT_EQ(DeviceCalls(D3D9CALL_BeginScene), 1u);
    EXPECT_EQ(DeviceCalls(D3D9CALL_EndScene), 1u);   // the read-back's
}

TEST(D3D9VertexBatchWithoutDevice, FlushAndReserveNeedTheDevice) {
    EXPECT_EQ(Graphics_D3D9_VertexBatch_Flush(0), -1);
    EXPECT_EQ(Graphics_D3D9_VertexBatch_Reserve(0, 0, D3DPT_TRIANGLELIST, 6), nullptr);
}
