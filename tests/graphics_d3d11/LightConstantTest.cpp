// Lights and material in constant buffer 0: positions and directions in view space (again when the
// view changes), range squared, cone terms, ambient products for enabled lights only, the global term.
#include <gtest/gtest.h>

#include <cmath>

#include "D3D11TestSupport.h"

using namespace Vantrel;
using namespace D3D11Test;

TEST(D3D11LightConstants, LightsGoIntoViewSpaceWithTheirAmbientProducts) {
    ASSERT_EQ(StartBackEnd(), 0);
    const float* cb = (const float*)D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING]->Data;
    D3D11LightRecord light = {};
    light.Type = 2;
    light.Position[0] = 1, light.Position[1] = 2, light.Position[2] = 3;
    light.Direction[0] = 0, light.Direction[1] = 0, light.Direction[2] = 1;
    light.Range = 10;
    light.Theta = 0.5f, light.Phi = 1.0f;
    for (int c = 0; c < 4; ++c) light.Ambient[c] = 0.5f, light.Diffuse[c] = 0.25f;
    const float diffuse[4] = {1, 1, 1, 1}, ambient[4] = {0.5f, 1, 1, 1}, specular[4] = {}, emissive[4] = {0.125f, 0, 0, 0};
    ASSERT_EQ(Graphics_D3D11_StateCache_SetMaterial(diffuse, ambient, specular, emissive, 0.0f), 0);
    EXPECT_EQ(cb[720 / 4], 1e-11f);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLight(1, &light), 0);
    const float* l = cb + 112 / 4;
    EXPECT_EQ(*(const int32_t*)l, 2);
    EXPECT_EQ(l[4], 1.0f);
    EXPECT_EQ(l[6], 3.0f);
    EXPECT_EQ(l[7], 100.0f);
    EXPECT_NEAR(l[15], std::cos(0.5f), 1e-6);
    EXPECT_NEAR(l[19], 1.0f / (std::cos(0.25f) - std::cos(0.5f)), 1e-3);
    // A view that moves everything by (10, 0, 0) and turns x into y: positions move, directions only turn.
    const float view[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
    ASSERT_EQ(Graphics_D3D11_StateCache_SetViewMatrix(view), 0);
    EXPECT_EQ(l[4], 10.0f - 2.0f);
    EXPECT_EQ(l[5], 1.0f);
    EXPECT_EQ(l[6], 3.0f);
    EXPECT_EQ(l[8], 0.0f);
    EXPECT_EQ(l[10], 1.0f);
    // Enabling gives the ambient product; the global term is global ambient x material ambient + emissive.
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(1, 1), 0);
    EXPECT_EQ(D3D11StateCache.LightMaxIndex, 1);
    EXPECT_EQ(l[20], 0.25f);
    EXPECT_EQ(l[21], 0.5f);
    const float global[4] = {1, 0, 0, 0};
    ASSERT_EQ(Graphics_D3D11_StateCache_SetGlobalAmbient(global), 0);
    EXPECT_EQ(cb[704 / 4], 0.5f + 0.125f);
    ASSERT_EQ(Graphics_D3D11_StateCache_SetLightEnable(1, 0), 0);
    EXPECT_EQ(D3D11StateCache.LightMaxIndex, -1);
    EndBackEnd();
}
