// Built-in shader packs: the pack that vtshasm writes expands into the same codes as the single
// shaders, once, and again after a free; a damaged text (a changed character anywhere but in the
// unused bits of the last one) fails with a log line, keeps nothing and never crashes, or, where the
// change still expands, gives the very same codes.
#include <gtest/gtest.h>

#include <string>

#include "D3D11TestSupport.h"
#include "VtBuiltShaders.h"
#include "foundation/VtMemory.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderPack.h"

using namespace Vantrel;
using namespace D3D11Test;

TEST(D3D11ShaderPack, ExpandsIntoTheBuiltCodesOnceAndAgainAfterAFree) {
    const int32_t blocks = Memory_GetBlockCount();
    D3D11ShaderPack pack = {VtShaderPackText_Test, VtShaderPackCount_Test, 0, nullptr, 0, nullptr};
    ASSERT_EQ(VtShaderPackCount_Test, (int)(sizeof(VtBuiltShaders) / sizeof(VtBuiltShaders[0])));
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(Graphics_D3D11_ShaderPack_Expand(&pack), 1);
        const uint8_t* block = pack.Block;
        ASSERT_EQ(Graphics_D3D11_ShaderPack_Expand(&pack), 1);
        EXPECT_EQ(pack.Block, block);  // expanded once
        for (int i = 0; i < pack.EntryCount; ++i) {
            ASSERT_EQ(pack.Codes[i].Size, VtBuiltShaders[i].Size) << i;
            EXPECT_EQ(memcmp(pack.Codes[i].Code, VtBuiltShaders[i].Code, pack.Codes[i].Size), 0) << i;
        }
        Graphics_D3D11_ShaderPack_Free(&pack);
        EXPECT_EQ(pack.Block, nullptr);
        EXPECT_EQ(pack.Expanded, 0);
    }
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
}

TEST(D3D11ShaderPack, DamagedTextFailsWithALogLineAndKeepsNothing) {
    const std::string text = VtShaderPackText_Test;
    const int32_t blocks = Memory_GetBlockCount();
    int refused = 0, harmless = 0;
    // Every character but the last (whose low bits carry nothing), changed to another of the alphabet.
    for (size_t at = 0; at + 1 < text.size(); at += (at < 12 ? 1 : 7)) {
        std::string damaged = text;
        damaged[at] = damaged[at] == 'Q' ? 'g' : 'Q';
        D3D11ShaderPack pack = {damaged.c_str(), VtShaderPackCount_Test, 0, nullptr, 0, nullptr};
        if (Graphics_D3D11_ShaderPack_Expand(&pack) == 1) {
            // The LZ data has no check of its own: a change that still expands must give the same codes
            // (a match copying equal bytes from elsewhere), else the containers' checksums refuse it.
            for (int i = 0; i < pack.EntryCount; ++i)
                EXPECT_EQ(memcmp(pack.Codes[i].Code, VtBuiltShaders[i].Code, VtBuiltShaders[i].Size), 0) << "character " << at;
            Graphics_D3D11_ShaderPack_Free(&pack);
            ++harmless;
            continue;
        }
        EXPECT_EQ(pack.Block, nullptr);
        EXPECT_EQ(pack.Expanded, 0);
        ++refused;
    }
    EXPECT_GT(refused, 50);
    EXPECT_LT(harmless, refused / 10);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    // Cut short, empty, and a size table that claims more than there is.
    const std::string cut = text.substr(0, text.size() / 2);
    D3D11ShaderPack shortPack = {cut.c_str(), VtShaderPackCount_Test, 0, nullptr, 0, nullptr};
    EXPECT_EQ(Graphics_D3D11_ShaderPack_Expand(&shortPack), 0);
    D3D11ShaderPack empty = {"", VtShaderPackCount_Test, 0, nullptr, 0, nullptr};
    EXPECT_EQ(Graphics_D3D11_ShaderPack_Expand(&empty), 0);
    D3D11ShaderPack tooMany = {VtShaderPackText_Test, VtShaderPackCount_Test + 1, 0, nullptr, 0, nullptr};
    EXPECT_EQ(Graphics_D3D11_ShaderPack_Expand(&tooMany), 0);
    EXPECT_EQ(Memory_GetBlockCount(), blocks);
    EXPECT_NE(ReadLog().find(Utf8(u8"シェーダーパックが壊れています")), std::string::npos);
}
