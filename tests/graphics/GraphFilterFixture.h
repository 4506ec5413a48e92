// Graph filter tests: graphs stand in as ARGB8 base images behind the filters' graph-handle seams,
// so that every kind runs through the dispatcher exactly as a caller reaches it; the real seams are
// put back after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "image/VtBaseImageStart.h"

namespace GraphFilterTest {

using namespace Vantrel;

inline uint32_t Bgra(int b, int g, int r, int a)
{
    return (uint32_t)b | (uint32_t)g << 8 | (uint32_t)r << 16 | (uint32_t)a << 24;
}

struct FakeGraph {
    BaseImage image;
    int shadowMap;
};

inline std::map<int, FakeGraph>& Graphs()
{
    static std::map<int, FakeGraph> graphs;
    return graphs;
}

inline uint32_t* PixelAt(const BaseImage& image, int x, int y)
{
    return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) + (int64_t)y * image.pitch) + x;
}

inline int FakeQuery(int handle, int* width, int* height, GraphHandleRecord** record)
{
    *record = nullptr;
    auto it = Graphs().find(handle);
    if (it == Graphs().end()) return GraphFilter_HandleNone;
    *width = it->second.image.width;
    *height = it->second.image.height;
    return it->second.shadowMap ? GraphFilter_HandleShadowMap : GraphFilter_HandleGraph;
}

// The back screen is graph -2 of the same map.
inline int FakeRead(int handle, const BaseImageRect* rect, BaseImage* out)
{
    auto it = Graphs().find(handle);
    if (it == Graphs().end()) return -1;
    const BaseImage& image = it->second.image;
    if (rect->left < 0 || rect->top < 0 || rect->right > image.width || rect->bottom > image.height) return -1;
    for (int y = rect->top; y < rect->bottom; y++)
        for (int x = rect->left; x < rect->right; x++)
            *PixelAt(*out, x - rect->left, y - rect->top) = *PixelAt(image, x, y);
    return 0;
}

inline int FakeWrite(int handle, int x0, int y0, const BaseImage* source)
{
    auto it = Graphs().find(handle);
    if (it == Graphs().end()) return -1;
    BaseImage& image = it->second.image;
    for (int y = 0; y < source->height; y++)
        for (int x = 0; x < source->width; x++)
            if (x0 + x < image.width && y0 + y < image.height) *PixelAt(image, x0 + x, y0 + y) = *PixelAt(*source, x, y);
    return 0;
}

class GraphFilterFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        BaseImage_EnsureTables();
        savedSeams = GraphFilter_Seams;
        GraphFilter_Seams = GraphFilterSeams{};
        GraphFilter_Seams.QueryHandle = FakeQuery;
        GraphFilter_Seams.ReadGraph = FakeRead;
        GraphFilter_Seams.WriteGraph = FakeWrite;
        GraphicsSystemState.ShadersUsable = 0;
        nextHandle = 100;
    }
    void TearDown() override
    {
        for (auto& entry : Graphs()) BaseImage_Release(&entry.second.image);
        Graphs().clear();
        GraphFilter_Seams = savedSeams;
    }

    // A graph whose pixel (x, y) is fill(x, y), packed blue, green, red, alpha from the low byte.
    int MakeGraph(int width, int height, const std::function<uint32_t(int, int)>& fill, int handle = 0)
    {
        if (handle == 0) handle = nextHandle++;
        FakeGraph graph = {};
        EXPECT_EQ(0, BaseImage_CreateARGB8(width, height, &graph.image));
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) *PixelAt(graph.image, x, y) = fill(x, y);
        Graphs()[handle] = graph;
        return handle;
    }
    int MakeSolid(int width, int height, uint32_t value) { return MakeGraph(width, height, [=](int, int) { return value; }); }
    uint32_t Pixel(int handle, int x, int y) { return *PixelAt(Graphs()[handle].image, x, y); }
    const BaseImage& Image(int handle) { return Graphs()[handle].image; }

    int nextHandle = 100;
    GraphFilterSeams savedSeams = {};
};

// A small varied picture: every byte of every pixel differs from its neighbours'.
inline uint32_t Varied(int x, int y)
{
    const uint32_t seed = (uint32_t)(x * 73 + y * 151 + x * y * 19);
    return Bgra((seed * 7 + 3) & 255, (seed * 13 + 101) & 255, (seed * 29 + 50) & 255, (seed * 11 + 200) & 255);
}

// A colour code with an alpha as the filters turn it into bytes: split, each channel / 255 as a
// float, then trunc(x * 255).
inline uint32_t CodePixel(unsigned int code, int alpha)
{
    int r = 0, g = 0, b = 0;
    SplitColorCode(code, &r, &g, &b);
    auto byte = [](int c) { return (int)((c / 255.0f) * 255.0f); };
    return Bgra(byte(b), byte(g), byte(r), byte(alpha));
}

inline int Byte(uint32_t pixel, int index) { return (int)((pixel >> (index * 8)) & 255); }

}  // namespace GraphFilterTest
