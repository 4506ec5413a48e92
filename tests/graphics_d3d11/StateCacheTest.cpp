// The Direct3D 11 state cache and constant buffers on the real device: unchanged values never reach
// the device, a change first draws the batch, render targets of different sizes wait, shared and
// private state objects, and constant buffers uploaded only when they changed.
#include <gtest/gtest.h>

#include <math.h>

#include "D3D11TestSupport.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

uint32_t Calls(D3D11ContextCall call) { return D3D11CallState.ContextCalls[call]; }

}  // namespace

using D3D11StateCache_ = BackEndTest;

TEST_F(D3D11StateCache_, RepeatedStatesReachTheDeviceOnlyForTheChanges) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    D3D11Call_ResetContextCallCounts();
    // Twenty draws that alternate two viewports and two blend keys every fifth draw, with the same
    // topology, shaders and depth state throughout.
    int viewportChanges = 0, blendChanges = 0;
    for (int draw = 0; draw < 20; ++draw) {
        const float width = (draw / 5) % 2 == 0 ? 64.0f : 32.0f;
        viewportChanges += draw % 5 == 0 && draw > 0;
        ASSERT_EQ(Graphics_D3D11_StateCache_SetViewportRect(0, 0, width, width), 0);
        const int preset = (draw / 5) % 2 == 0 ? 0 : 1;
        blendChanges += draw % 5 == 0;
        ASSERT_EQ(Graphics_D3D11_StateCache_SetBlendStateKey(preset, 0, 0, 0, 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetPixelShader(shaders.Pixel, 1), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetDepthEnable(0), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetDrawMode(0), 0);
        ASSERT_TRUE(AddBox(1, 1, 2, 2, 0xFFFFFFFF));
    }
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    // The first blend key equals the default's, so the first draw changes nothing.
    EXPECT_EQ(Calls(D3D11CALL_RSSetViewports), (uint32_t)viewportChanges);
    EXPECT_EQ(Calls(D3D11CALL_OMSetBlendState), (uint32_t)blendChanges - 1);
    EXPECT_EQ(Calls(D3D11CALL_IASetPrimitiveTopology), 0u);
    EXPECT_EQ(Calls(D3D11CALL_PSSetShader), 0u);
    EXPECT_EQ(Calls(D3D11CALL_OMSetDepthStencilState), 0u);
    EXPECT_EQ(Calls(D3D11CALL_PSSetSamplers), 0u);
    // One Draw per run of equal state: the runs end at draws 5, 10, 15 and the last flush.
    EXPECT_EQ(Calls(D3D11CALL_Draw), 4u);
    EXPECT_EQ(Calls(D3D11CALL_IASetVertexBuffers), 1u);   // the batch buffer, bound at its first draw
    EXPECT_EQ(Calls(D3D11CALL_IASetInputLayout), 1u);
}

TEST_F(D3D11StateCache_, AChangeDrawsTheBatchWithTheStateItWasWrittenFor) {
    // A red box, then a viewport change: the box goes out under the full viewport before the change.
    ASSERT_TRUE(AddBox(0, 0, 8, 8, 0xFFFF0000));
    D3D11Call_ResetContextCallCounts();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetViewportRect(0, 0, 32, 32), 0);
    EXPECT_EQ(Calls(D3D11CALL_Draw), 1u);
    EXPECT_EQ(Calls(D3D11CALL_RSSetViewports), 1u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 0u);
    // The same value again: no flush, no call.
    ASSERT_TRUE(AddBox(0, 0, 8, 8, 0xFF00FF00));
    ASSERT_EQ(Graphics_D3D11_StateCache_SetViewportRect(0, 0, 32, 32), 0);
    EXPECT_EQ(Calls(D3D11CALL_Draw), 1u);
    EXPECT_EQ(Calls(D3D11CALL_RSSetViewports), 1u);
    EXPECT_EQ(D3D11VertexBatch.Pending, 6u);
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    const std::vector<uint32_t> pixels = target.Read();
    ASSERT_EQ(pixels.size(), 64u * 64u);
    // The green box was drawn into the 32 x 32 viewport: at half size, over the red one.
    EXPECT_EQ(pixels[1 * 64 + 1], 0xFF00FF00u);
    EXPECT_EQ(pixels[6 * 64 + 6], 0xFF0000FFu);   // red (R8G8B8A8 read as a word)
    EXPECT_EQ(pixels[10 * 64 + 10], 0xFF000000u);
}

TEST_F(D3D11StateCache_, RenderTargetsOfDifferentSizesSendNothingUntilTheyMatch) {
    Target small;
    ASSERT_TRUE(small.Create(32, 32));
    D3D11Call_ResetContextCallCounts();
    ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(small.Texture, small.View, 1), 0);
    EXPECT_EQ(Calls(D3D11CALL_OMSetRenderTargets), 0u);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(small.Texture, small.View, 0), 0);
    EXPECT_EQ(Calls(D3D11CALL_OMSetRenderTargets), 1u);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(nullptr, nullptr, 1), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.View, 0), 0);
    EXPECT_EQ(Calls(D3D11CALL_OMSetRenderTargets), 3u);
    small.Release();
}

TEST_F(D3D11StateCache_, CommonStateDescriptionsShareObjectsAndUnusualOnesGetTheirOwn) {
    ASSERT_EQ(Graphics_D3D11_VertexBatch_Flush(-1, 0), 0);
    const int samplers = D3D11CallState.ObjectCount[D3D11OBJ_SAMPLER_STATE];
    // Anisotropy 8 is no shared class: one private object per slot, released when replaced.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetMaxAnisotropy(8, 3), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_SAMPLER_STATE], samplers + 1);
    EXPECT_EQ(D3D11StateCache.SamplerPrivate[3], 1);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetMaxAnisotropy(16, 3), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_SAMPLER_STATE], samplers);
    EXPECT_EQ(D3D11StateCache.SamplerPrivate[3], 0);
    EXPECT_EQ(D3D11StateCache.Sampler[3], D3D11StateCache.Sampler[0]);

    // Back-face culling twice over: one shared rasterizer object, made once.
    const int rasterizers = D3D11CallState.ObjectCount[D3D11OBJ_RASTERIZER_STATE];
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(Graphics_D3D11_StateCache_SetCullMode(1), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_SetCullMode(0), 0);
        ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    }
    EXPECT_EQ(D3D11CallState.ObjectCount[D3D11OBJ_RASTERIZER_STATE], rasterizers + 1);
    // A depth bias makes a private rasterizer.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetDepthBias(4), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(D3D11StateCache.RasterizerPrivate, 1);
    // User blend factors build a private blend state; presets are shared.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetBlendStateKey(32, 1, 4, 5, 0, 1, 0, 0, 0), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(D3D11StateCache.BlendPrivate, 1);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetBlendStateKey(16, 0, 0, 0, 0, 0, 0, 0, 1), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(D3D11StateCache.BlendPrivate, 0);
    D3D11_BLEND_DESC desc = {};
    D3D11StateCache.Blend->GetDesc(&desc);
    EXPECT_EQ(desc.RenderTarget[0].BlendOp, D3D11_BLEND_OP_REV_SUBTRACT);
    EXPECT_EQ(desc.RenderTarget[0].SrcBlendAlpha, D3D11_BLEND_ZERO);   // the keep-destination-alpha variant
    EXPECT_EQ(desc.RenderTarget[0].DestBlendAlpha, D3D11_BLEND_ONE);
}

TEST_F(D3D11StateCache_, ConstantBuffersUploadOnlyWhenChanged) {
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    D3D11Call_ResetContextCallCounts();
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(Calls(D3D11CALL_UpdateSubresource), 0u);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetAlphaTestRef(128), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetAlphaTestFunc(7), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    ASSERT_EQ(Graphics_D3D11_StateCache_ApplyPending(), 0);
    EXPECT_EQ(Calls(D3D11CALL_UpdateSubresource), 1u);   // buffer 4 once, for both values
    const uint8_t* base = (const uint8_t*)D3D11ConstantBufferState.Standard[D3D11CB_PS_BASE]->Data;
    EXPECT_FLOAT_EQ(*(const float*)(base + 20), 128.0f / 255.0f);
    EXPECT_EQ(*(const int32_t*)(base + 32), 7);

    // The reversed second fog set keeps its terms finite.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetFog2StartEnd(100.0f, 10.0f), 0);
    const float* fog2 = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, D3D11CB0_FOG2_TERMS);
    EXPECT_TRUE(isfinite(fog2[0]) && isfinite(fog2[1]));
    EXPECT_FLOAT_EQ(fog2[0], -(10.0f / 90.0f));
    EXPECT_FLOAT_EQ(fog2[1], 1.0f / 90.0f);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetFogStartEnd(5.0f, 5.0f), 0);
    const float* fog = Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, D3D11CB0_FOG_TERMS);
    EXPECT_TRUE(isfinite(fog[0]) && isfinite(fog[1]));
}

TEST_F(D3D11StateCache_, ConstantBufferRecordsCheckSizeAndLeaveTheSlotsTheyHeld) {
    EXPECT_EQ(Graphics_D3D11_ConstantBuffer_Create(100, 0), nullptr);
    EXPECT_NE(ReadLog().find(Utf8(u8"定数バッファのサイズは１６の倍数である必要があります")), std::string::npos);
    const int count = D3D11ConstantBufferState.Count;
    D3D11ConstantBuffer* buffer = Graphics_D3D11_ConstantBuffer_Create(64, 0);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(D3D11ConstantBufferState.Count, count + 1);
    D3D11ConstantBuffer* const records[1] = {buffer};
    ASSERT_EQ(Graphics_D3D11_ConstantBuffer_SetPS(5, 1, records), 0);
    EXPECT_EQ(D3D11StateCache.PSConstantBuffers[5], buffer->Buffer);
    EXPECT_EQ(Graphics_D3D11_ConstantBuffer_SetPS(13, 2, records), -1);   // beyond slot 13
    ((float*)buffer->Data)[0] = 2.0f;
    buffer->Changed = 1;
    D3D11Call_ResetContextCallCounts();
    EXPECT_EQ(Graphics_D3D11_ConstantBuffer_Update(buffer), 0);
    EXPECT_EQ(Graphics_D3D11_ConstantBuffer_Update(buffer), 0);
    EXPECT_EQ(Calls(D3D11CALL_UpdateSubresource), 1u);
    EXPECT_EQ(Graphics_D3D11_ConstantBuffer_Delete(buffer), 0);
    EXPECT_EQ(D3D11StateCache.PSConstantBuffers[5], nullptr);
    EXPECT_EQ(D3D11ConstantBufferState.Count, count);
}
