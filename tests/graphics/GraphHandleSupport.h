// Graph-handle tests without a device: the test pictures (a pattern no transparent colour meets,
// as BMP files made here), pixel reads of graphs, and the fixture that starts the library with
// software drawing and checks that every block came back.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "system/VtSystem.h"

namespace GraphHandleSupport {

using namespace Vantrel;
using namespace WindowTest;



// The colour of pixel (x, y) of the test pictures: no pixel has the transparent colour.
inline uint32_t PatternColor(int x, int y, int seed) {
    return (static_cast<uint32_t>((x * 7 + seed) & 0xFF) << 16) | (static_cast<uint32_t>((y * 5) & 0x7F) << 8) |
           static_cast<uint32_t>((x + y) & 0xFF);
}

// A 24-bit bottom-up BMP file of the pattern.
inline std::vector<uint8_t> MakeBmp(int width, int height, int seed) {
    const int pitch = (width * 3 + 3) & ~3;
    const uint32_t dataSize = static_cast<uint32_t>(pitch * height);
    std::vector<uint8_t> file(54 + dataSize, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&file[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { memcpy(&file[at], &v, 2); };
    file[0] = 'B', file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, dataSize);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t c = PatternColor(x, y, seed);
            uint8_t* p = &file[54 + static_cast<size_t>(height - 1 - y) * pitch + static_cast<size_t>(x) * 3];
            p[0] = c & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = (c >> 16) & 0xFF;
        }
    return file;
}

inline std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

inline void WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

inline GraphHandleRecord* Record(int graph) { return Graphics_Image_GetGraphRecord(graph, 0); }

inline uint32_t GraphPixel(int graph, int x, int y) {
    return static_cast<uint32_t>(Graphics_SoftScreen_GetPixel(&Record(graph)->memImage, x, y)) & 0xFFFFFF;
}

// Number of pixels of the graph that differ from the pattern at (offsetX + x, offsetY + y).
inline int PatternDifferences(int graph, int seed, int offsetX = 0, int offsetY = 0) {
    const GraphHandleRecord* record = Record(graph);
    if (record == nullptr) return -1;
    int differences = 0;
    for (int y = 0; y < record->Height; ++y)
        for (int x = 0; x < record->Width; ++x)
            if (GraphPixel(graph, x, y) != PatternColor(offsetX + x, offsetY + y, seed)) ++differences;
    return differences;
}

inline int LiveGraphs() { return HandleManagerTable[HandleType_Graph].Count; }


class GraphHandleTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsSystemState.DeviceValid, 0);
    }
    void TearDown() override {
        EnableAsyncLoad(0);
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
};


}  // namespace GraphHandleSupport
