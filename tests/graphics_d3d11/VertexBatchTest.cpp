// The Direct3D 11 vertex batch on the real device: boxes of one state go out in one Draw call and land
// where they were put (read back from the target), a full batch flushes by itself, and pending
// vertices are dropped while the library ends or the blend mode draws nothing.
#include <gtest/gtest.h>

#include "D3D11TestSupport.h"
#include "system/VtSystem.h"

using namespace Vantrel;
using namespace D3D11Test;

using D3D11VertexBatch_ = BackEndTest;

namespace {

uint32_t Draws() { return D3D11CallState.ContextCalls[D3D11CALL_Draw]; }

// Box i: one pixel at (2 (i mod 32), 2 (i / 32)) with its own colour.
uint32_t BoxColour(int i) { return 0xFF000000u | (uint32_t)(i & 0xFF) << 16 | (uint32_t)(i >> 8) << 8 | 0x40; }

void AddGridBoxes(int count) {
    for (int i = 0; i < count; ++i) {
        const float x = (float)(2 * (i % 32)), y = (float)(2 * (i / 32));
        ASSERT_TRUE(AddBox(x, y, x + 1, y + 1, BoxColour(i)));
    }
}

}  // namespace

TEST_F(D3D11VertexBatch_, BoxesOfOneStateAreOneDrawCallAndLandWhereTheyWerePut) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    const uint32_t drawCalls = D3D11VertexBatch.DrawCalls;
    AddGridBoxes(500);
    EXPECT_EQ(Draws(), 0u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 3000u);
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D11VertexBatch.DrawCalls, drawCalls + 1);
    EXPECT_EQ(D3D11VertexBatch.Pending, 0u);
    EXPECT_EQ(D3D11VertexBatch.Write, D3D11VertexBatch.Mapped);
    EXPECT_NE(D3D11VertexBatch.Mapped, nullptr);

    const std::vector<uint32_t> pixels = target.Read();
    ASSERT_EQ(pixels.size(), 64u * 64u);
    for (int i = 0; i < 500; ++i) {
        const int x = 2 * (i % 32), y = 2 * (i / 32);
        const uint32_t c = BoxColour(i);
        // 0xAARRGGBB drawn, read back as R8G8B8A8: 0xAABBGGRR.
        const uint32_t expected = (c & 0xFF00FF00u) | (c >> 16 & 0xFF) | (c & 0xFF) << 16;
        ASSERT_EQ(pixels[y * 64 + x], expected) << i;
        ASSERT_EQ(pixels[y * 64 + x + 1], 0xFF000000u) << i;   // the gap stays clear
    }
}

TEST_F(D3D11VertexBatch_, AFullBatchFlushesByItself) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    // 64 KB holds 3276 untextured vertices: 545 boxes fit, the 546th starts a new batch. A thousand
    // boxes are therefore two Draw calls.
    AddGridBoxes(545);
    EXPECT_EQ(Draws(), 0u);
    ASSERT_TRUE(AddBox(0, 0, 1, 1, 0xFFFFFFFF));
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 6u);
    AddGridBoxes(454);
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(Draws(), 2u);
    // More than a whole batch at once is refused.
    EXPECT_EQ(Graphics_D3D11_VertexBatch_Reserve(3277), nullptr);
}

TEST_F(D3D11VertexBatch_, NothingPendingOnlyMapsAndSetsThe3DFlag) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(1, 0), 0);
    EXPECT_EQ(D3D11VertexBatch.Is3D, 1);
    EXPECT_EQ(Draws(), 0u);
    EXPECT_EQ(D3D11CallState.ContextCalls[D3D11CALL_Map], 0u);   // still mapped
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(0, 0), 0);
    EXPECT_EQ(D3D11VertexBatch.Is3D, 0);
    EXPECT_EQ(Graphics_D3D11_VertexBatch_GetType(), 0);
    D3D11VertexBatch.Kind = 1;
    EXPECT_EQ(Graphics_D3D11_VertexBatch_GetType(), 1);
    D3D11VertexBatch.Is3D = 1;
    D3D11VertexBatch.Kind = 2;
    EXPECT_EQ(Graphics_D3D11_VertexBatch_GetType(), 0);
    D3D11VertexBatch.Is3D = 0;
    D3D11VertexBatch.Kind = 0;
}

TEST_F(D3D11VertexBatch_, PendingVerticesAreDroppedWhileEndingOrWhenTheBlendDrawsNothing) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    D3D11VertexBatch.SkipDraw = 1;
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11VertexBatch.SkipDraw = 0;
    EXPECT_EQ(Draws(), 0u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 0u);

    LibraryCore.EndRequested = 1;
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    LibraryCore.EndRequested = 0;
    EXPECT_EQ(Draws(), 0u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 0u);
    EXPECT_NE(D3D11VertexBatch.Write, nullptr);   // mapped again for the next vertices
    EXPECT_EQ(target.Read()[0], 0xFF000000u);
}

// A batch buffer the device refuses to map (made without CPU access): the flush reports no failure of its
// own but leaves no write pointer, so every draw body finds no room and writes nothing; with a mappable
// buffer back the next flush maps it again and drawing goes on.
TEST_F(D3D11VertexBatch_, AMapTheDeviceRefusesLeavesNoWritePointerAndNothingIsWritten) {
    D3D11VertexBatchRecord& batch = D3D11VertexBatch;
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    ASSERT_NE(batch.Mapped, nullptr);
    D3D11Call_DeviceContext_UnmapASync(batch.Buffer, 0, 0);
    batch.Mapped = batch.Write = nullptr;
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = D3D11VertexBatchBytes;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    ID3D11Buffer* unmappable = nullptr;
    ASSERT_EQ(D3D11Call_Device_CreateBuffer(&desc, nullptr, &unmappable), S_OK);
    ID3D11Buffer* const real = batch.Buffer;
    batch.Buffer = unmappable;
    D3D11Call_ResetContextCallCounts();

    EXPECT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(batch.Mapped, nullptr);
    EXPECT_EQ(batch.Write, nullptr);
    EXPECT_EQ(Graphics_D3D11_VertexBatch_Reserve(6), nullptr);
    EXPECT_FALSE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    EXPECT_EQ(batch.Pending, 0u);
    EXPECT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(Draws(), 0u);

    batch.Buffer = real;
    D3D11Call_Buffer_Release(unmappable);
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    ASSERT_NE(batch.Write, nullptr);
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(Draws(), 1u);
    EXPECT_EQ(target.Read()[0], 0xFFFFFFFFu);
}

// Without a device every flush fails and draws nothing.
TEST_F(D3D11VertexBatch_, AMissingDeviceFailsTheFlushAndDrawsNothing) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    ASSERT_TRUE(AddBox(0, 0, 4, 4, 0xFFFFFFFF));
    ID3D11Device* const device = D3D11CallState.Device;
    D3D11CallState.Device = nullptr;   // the device taken away for the moment
    EXPECT_EQ(D3D11Call_Device_Exists(), 0);
    EXPECT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), -1);
    D3D11CallState.Device = device;
    EXPECT_EQ(Draws(), 0u);
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    EXPECT_EQ(Draws(), 1u);
}
