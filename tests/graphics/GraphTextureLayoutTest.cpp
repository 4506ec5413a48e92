// How graphs are laid out on textures: the division of one axis into texture sizes (with and without a
// power-of-two demand, plain and block-compressed), the texture colour format chosen for a format
// description and the entry the public query returns, and the creation settings' array of handle values
// that divided graphs take for their cells.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "GraphHandleSupport.h"
#include "foundation/VtHandle.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"

using namespace Vantrel;
using namespace WindowTest;
using namespace GraphHandleSupport;

namespace {

// The device capabilities the division reads, set for one case and put back afterwards.
struct TextureCapsScope {
    int32_t max, powerOfTwo;
    TextureCapsScope(int maxSize, int powerOfTwoOnly)
        : max(GraphicsSystemState.MaxTextureSize), powerOfTwo(GraphicsSystemState.TexturePowerOfTwoOnly) {
        GraphicsSystemState.MaxTextureSize = maxSize;
        GraphicsSystemState.TexturePowerOfTwoOnly = powerOfTwoOnly;
    }
    ~TextureCapsScope() {
        GraphicsSystemState.MaxTextureSize = max;
        GraphicsSystemState.TexturePowerOfTwoOnly = powerOfTwo;
    }
};

std::vector<int> Sizes(int size, int maxParameter, int compressed) {
    int16_t sizes[32] = {};
    const int count = Graphics_Image_ListTextureSizes(size, sizes, maxParameter, compressed);
    return count < 0 ? std::vector<int>{-1} : std::vector<int>(sizes, sizes + count);
}

}  // namespace

TEST(GraphTextureLayout, OneAxisIsDividedIntoTheTextureSizesOfTheRules) {
    struct Case {
        int size, deviceMax, maxParameter, powerOfTwo, compressed;
        std::vector<int> sizes;
    };
    const Case cases[] = {
        // Beyond the largest texture without a power-of-two demand: the largest, then ever smaller powers.
        {300, 4096, 256, 0, 0, {256, 32, 8, 4}},
        // A rest of more than three quarters of the part before it ends the list with the double of that part.
        {376, 4096, 256, 0, 0, {256, 128}},
        {200, 4096, 256, 0, 0, {200}},
        {256, 4096, 256, 0, 0, {256}},
        // The parameter's maximum of 0 is the device's.
        {300, 256, 0, 0, 0, {256, 32, 8, 4}},
        // With a power-of-two demand the next power up, as long as it fits.
        {300, 2048, 0, 1, 0, {512}},
        {3, 2048, 0, 1, 0, {4}},
        {1, 2048, 0, 1, 0, {1}},
        // Two equal last parts merge when their double fits; here it does not.
        {512, 256, 0, 1, 0, {256, 256}},
        {600, 256, 0, 1, 0, {256, 256, 64, 16, 8}},
        // Block-compressed images: sizes are multiples of 4, never below 4.
        {6, 2048, 0, 0, 1, {8}},
        {2, 2048, 0, 1, 1, {4}},
        {300, 256, 0, 0, 1, {256, 32, 8, 4}},
    };
    for (const Case& c : cases) {
        TextureCapsScope caps(c.deviceMax, c.powerOfTwo);
        EXPECT_EQ(Sizes(c.size, c.maxParameter, c.compressed), c.sizes)
            << "size " << c.size << " max " << c.deviceMax << "/" << c.maxParameter << " power of two " << c.powerOfTwo
            << " compressed " << c.compressed;
    }
}

TEST(GraphTextureLayout, TheTextureColourFormatFollowsTheDescription) {
    struct Case {
        const char* name;
        GraphFormatDesc desc;
        int index;
    };
    auto desc = [](int bitDepth, int alpha, int alphaTest, int drawable, int isFloat, int channelCount, int channelBits,
                   int compressed) {
        GraphFormatDesc d = {};
        d.bitDepth = (uint8_t)bitDepth, d.alpha = (uint8_t)alpha, d.alphaTest = (uint8_t)alphaTest;
        d.drawable = (uint8_t)drawable, d.isFloat = (uint8_t)isFloat, d.channelCount = (uint8_t)channelCount;
        d.channelBits = (uint8_t)channelBits, d.compressedFormat = (uint8_t)compressed;
        return d;
    };
    const Case cases[] = {
        {"DXT1", desc(32, 1, 0, 0, 0, 0, 0, 1), 12},
        {"BC7 wins over channels", desc(32, 0, 0, 0, 0, 1, 8, 7), 18},
        {"one 8-bit channel", desc(32, 0, 0, 0, 0, 1, 8, 0), 27},
        {"one 16-bit channel", desc(32, 0, 0, 0, 0, 1, 16, 0), 28},
        {"one channel by depth", desc(16, 0, 0, 0, 0, 1, 0, 0), 28},
        {"one float channel by depth", desc(16, 0, 0, 0, 1, 1, 0, 0), 29},
        {"one 32-bit float channel drawable", desc(32, 0, 0, 1, 1, 1, 32, 0), 44},
        {"two 8-bit channels drawable", desc(32, 0, 0, 1, 0, 2, 8, 0), 45},
        {"two channels by depth 32", desc(32, 0, 0, 0, 0, 2, 0, 0), 32},
        {"two float channels by depth 32", desc(32, 0, 0, 0, 1, 2, 0, 0), 33},
        {"two float channels by depth 64", desc(64, 0, 0, 0, 1, 2, 0, 0), 34},
        {"4-bit palette with alpha", desc(4, 1, 0, 0, 0, 0, 0, 0), 2},
        {"4-bit palette with alpha test", desc(4, 0, 1, 0, 0, 0, 0, 0), 4},
        {"8-bit palette", desc(8, 0, 0, 0, 0, 0, 0, 0), 1},
        {"drawable 16-bit", desc(16, 0, 0, 1, 0, 0, 0, 0), 35},
        {"drawable 32-bit", desc(32, 0, 0, 1, 0, 0, 0, 0), 36},
        {"drawable with alpha", desc(16, 1, 0, 1, 0, 0, 0, 0), 37},
        {"drawable 16-bit channels", desc(64, 0, 0, 1, 0, 0, 16, 0), 38},
        {"drawable float 64", desc(64, 0, 0, 1, 1, 0, 0, 0), 39},
        {"drawable float 128", desc(128, 0, 0, 1, 1, 0, 0, 0), 40},
        {"16-bit", desc(16, 0, 0, 0, 0, 0, 0, 0), 6},
        {"16-bit alpha", desc(16, 1, 1, 0, 0, 0, 0, 0), 8},
        {"16-bit alpha test", desc(16, 0, 1, 0, 0, 0, 0, 0), 10},
        {"32-bit", desc(32, 0, 0, 0, 0, 0, 0, 0), 7},
        {"32-bit alpha", desc(32, 1, 0, 0, 0, 0, 0, 0), 9},
        {"32-bit alpha test", desc(32, 0, 1, 0, 0, 0, 0, 0), 11},
        {"float 16-bit channels", desc(64, 0, 0, 0, 1, 0, 16, 0), 25},
        {"float 32-bit channels", desc(64, 0, 0, 0, 1, 0, 32, 0), 26},
        {"integer 16-bit channels", desc(64, 0, 0, 0, 0, 0, 16, 0), 24},
    };
    for (const Case& c : cases) EXPECT_EQ(Graphics_Image_SelectTextureColorFormat(&c.desc), c.index) << c.name;
}

TEST(GraphTextureLayout, ThePublicFormatQueryReturnsTheTableEntry) {
    struct Case {
        int alpha, alphaTest, bits32, drawable, index;
        uint32_t alphaMask;
        int bytes;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 6, 0, 2},           {0, 0, 1, 0, 7, 0, 4},      {1, 0, 0, 0, 8, 0xF000, 2},
        {1, 0, 1, 0, 9, 0xFF000000, 4},  {0, 1, 0, 0, 10, 0x8000, 2}, {0, 0, 0, 1, 35, 0, 2},
        {1, 0, 1, 1, 37, 0xFF000000, 4},
    };
    for (const Case& c : cases) {
        const ColorFormatDesc* entry = GetTextureColorFormat(c.alpha, c.alphaTest, c.bits32, c.drawable);
        ASSERT_NE(entry, nullptr) << c.index;
        EXPECT_EQ(entry, Graphics_Image_GetTextureColorFormatByIndex(c.index));
        EXPECT_EQ(entry->alphaMask, c.alphaMask) << c.index;
        EXPECT_EQ(entry->bytesPerPixel, c.bytes) << c.index;
    }
    // The block-compressed entries carry their code and depth; past the table there is nothing.
    EXPECT_EQ(Graphics_Image_GetTextureColorFormatByIndex(12)->formatCode, 1);
    EXPECT_EQ(Graphics_Image_GetTextureColorFormatByIndex(12)->bitDepth, 4);
    EXPECT_EQ(Graphics_Image_GetTextureColorFormatByIndex(15)->bitDepth, 8);
    EXPECT_EQ(Graphics_Image_GetTextureColorFormatByIndex(49), nullptr);
}

TEST_F(GraphHandleTest, DividedGraphsTakeTheirCellHandlesFromTheCurrentArray) {
    const std::vector<uint8_t> bmp = MakeBmp(32, 32, 3);
    int handles[8];
    ASSERT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), (int)bmp.size(), 8, 4, 2, 8, 16, handles, 0, 0, nullptr, 0), 0);
    const std::vector<int32_t> old(handles, handles + 8);
    for (int handle : old) ASSERT_EQ(DeleteGraph(handle), 0);

    // Each creation parameter owns a copy; the division uses it and frees it.
    Graphics_Image_SetCreateHandleArray(old.data(), 8);
    GraphCreateParam param;
    Graphics_Image_InitCreateParam(&param);
    ASSERT_NE(param.handleArray, nullptr);
    EXPECT_NE(param.handleArray, old.data());
    EXPECT_EQ(std::vector<int32_t>(param.handleArray, param.handleArray + param.handleArrayCount), old);
    Memory_Free(param.handleArray);
    int again[8];
    ASSERT_EQ(CreateDivGraphFromMemoryImage(bmp.data(), (int)bmp.size(), 8, 4, 2, 8, 16, again, 0, 0, nullptr, 0), 0);
    Graphics_Image_SetCreateHandleArray(nullptr, 0);
    EXPECT_EQ(std::vector<int32_t>(again, again + 8), old);
    EXPECT_EQ(PatternDifferences(again[5], 3, 8, 16), 0);
    for (int handle : again) DeleteGraph(handle);

    // An array too large for any copy is refused with its line; creation goes on without it.
    Graphics_Image_SetCreateHandleArray(old.data(), 0x20000000);
    Graphics_Image_InitCreateParam(&param);
    Graphics_Image_SetCreateHandleArray(nullptr, 0);
    EXPECT_EQ(param.handleArray, nullptr);
    EXPECT_EQ(param.handleArrayCount, 0);
    EXPECT_TRUE(LogContains(u8"分割画像グラフィックハンドル値指定用配列のメモリ"));
    EXPECT_EQ(param.transColor, (int32_t)GraphCreateSettings.transColor);
}
