// Movie frames in graphs without a device: the frame callback moves a movie's frame image into the
// graph (row copies at the same depth, a converting transfer otherwise), a finished Theora movie keeps
// its last frame, and data that is neither image nor movie fails the load with its message.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsImage.h"
#include "image/VtBaseImage.h"
#include "image/VtMemImg.h"
#include "movie/VtMovie.h"

using namespace Vantrel;
using namespace WindowTest;

namespace {

constexpr int Width = 8, Height = 6;

class MovieGraphTest : public LibraryTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        SetScreenResolution(64, 64, GetParam(), 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
    }
    void TearDown() override {
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
};

// A frame of pure colours (every channel 0 or 255, exact at any depth).
uint32_t FrameColour(int x, int y) {
    return ((x & 1) ? 0xFF0000u : 0) | ((y & 1) ? 0x00FF00u : 0) | (((x + y) % 3 == 0) ? 0x0000FFu : 0);
}

void MakeFrame(BaseImage* frame, int shift) {
    ASSERT_EQ(BaseImage_CreateXRGB8(Width, Height, frame), 0);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t c = FrameColour(x + shift, y);
            BaseImage_SetPixelRGBA(frame, x, y, c >> 16, (c >> 8) & 0xFF, c & 0xFF, 255);
        }
}

std::vector<uint32_t> GraphPixels(int graph) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    std::vector<uint32_t> out(Width * Height);
    for (int y = 0; y < Height; ++y)
        MemImg_RowToArgb(record->memImage.body,
                         static_cast<const uint8_t*>(record->memImage.pixels) + y * record->memImage.body->pitch, Width,
                         &out[y * Width], false);
    for (uint32_t& pixel : out) pixel &= 0xFFFFFF;
    return out;
}

std::vector<uint32_t> Expected(int shift) {
    std::vector<uint32_t> out;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) out.push_back(FrameColour(x + shift, y));
    return out;
}

}  // namespace

TEST_P(MovieGraphTest, FramesReachTheGraphAndAFinishedTheoraMovieKeepsItsLastFrame) {
    BaseImage blank;
    ASSERT_EQ(BaseImage_CreateXRGB8(Width, Height, &blank), 0);
    BaseImage_Fill(&blank, 0, 0, 0, 255);
    const int graph = MakeGraphFromBaseImage(&blank, nullptr, 0);
    BaseImage_Release(&blank);
    ASSERT_GE(graph, 0);

    BaseImage frame;
    MakeFrame(&frame, 0);
    MovieRecord movie = {};
    movie.FrameImage = &frame;
    movie.LumaGraph = movie.ChromaGraph = -1;
    ASSERT_EQ(Graphics_Image_UpdateMovieGraph(&movie, graph), 0);
    EXPECT_EQ(GraphPixels(graph), Expected(0));

    // A Theora movie whose decoder has ended: the first update still shows the frame, later ones
    // keep it.
    movie.Theora = 1;
    BaseImage next;
    MakeFrame(&next, 1);
    movie.FrameImage = &next;
    movie.FrameShown = 1;
    ASSERT_EQ(Graphics_Image_UpdateMovieGraph(&movie, graph), 0);
    EXPECT_EQ(GraphPixels(graph), Expected(0));
    movie.FrameShown = 0;
    ASSERT_EQ(Graphics_Image_UpdateMovieGraph(&movie, graph), 0);
    EXPECT_EQ(movie.FrameShown, 1);
    EXPECT_EQ(GraphPixels(graph), Expected(1));

    ASSERT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(Graphics_Image_UpdateMovieGraph(&movie, graph), -1);
    BaseImage_Release(&frame);
    BaseImage_Release(&next);
}

TEST_P(MovieGraphTest, DataThatIsNoImageAndNoMovieFailsTheLoad) {
    static const char Junk[] = "neither a picture nor a movie, only some text";
    EXPECT_EQ(CreateGraphFromMemoryImage(Junk, sizeof(Junk), nullptr, 0, 0), -1);
    EXPECT_NE(LogFind(ReadLog(), u8"Image File Load Error"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ScreenDepths, MovieGraphTest, ::testing::Values(32, 16));
