// Theora movies with devices: on Direct3D 11 the frames reach the graph as Y and UV plane graphs
// converted by the YUV graph filter, and the end leaves no device object; with a sound device (the
// device run, whose ALSA output is a capture file) the audio track plays through the sound system for
// the movie's length, starts again when a looping movie wraps, and a movie whose sound outlasts its
// pictures ends only once the sound has stopped; a device re-creation tells the movie its surface went.
#include "TheoraTestSupport.h"

#include "../sound/SoundCaptureSupport.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "sound/VtSoundHandle.h"

using namespace Vantrel;
using namespace TheoraTest;

class MovieTheoraD3D11Test : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Graphics_D3D11_SetDeviceEnabled(1);
        SetScreenResolution(128, 96, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(1), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(GraphicsApi, GRAPHICS_API_D3D11);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    }
    void TearDown() override {
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
        for (int type = 0; type < D3D11OBJ_TYPE_COUNT; ++type) EXPECT_EQ(D3D11CallState.ObjectCount[type], 0) << type;
        memset(D3D11CallState.ObjectCount, 0, sizeof(D3D11CallState.ObjectCount));
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
};

TEST_F(MovieTheoraD3D11Test, FramesReachTheGraphThroughThePlaneGraphsAndTheYuvFilter) {
    ASSERT_GT(GetShaderModelVersion(), 199);
    const int graphsBefore = HandleManagerTable[HandleType_Graph].Count;
    const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(DrawAndReadFrame(graph), 0);
    const int y = Theora_GetYGraphHandle(movie->Decoder), uv = Theora_GetUVGraphHandle(movie->Decoder);
    ASSERT_GE(y, 0);
    ASSERT_GE(uv, 0);
    int width = 0, height = 0;
    QueryGraphSize(y, &width, &height);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    QueryGraphSize(uv, &width, &height);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 24);
    EXPECT_EQ(movie->Decoder->PlanesFilled, 1);
    EXPECT_EQ(Theora_GetD3D9Surface(movie->Decoder), nullptr);
    for (int frame : {1, 2, 13, 49}) {
        Theora_SeekToFrame(movie->Decoder, frame);
        EXPECT_EQ(DrawAndReadFrame(graph), frame);
    }
    // The plane graphs deleted from outside are made again at the next frame.
    DeleteGraph(y);
    EXPECT_EQ(Theora_GetYGraphHandle(movie->Decoder), -1);
    Theora_SeekToFrame(movie->Decoder, 7);
    EXPECT_EQ(DrawAndReadFrame(graph), 7);
    EXPECT_GE(Theora_GetYGraphHandle(movie->Decoder), 0);
    // Played, then deleted with its plane graphs; a second one stays open to the library's end.
    StartMovie(graph, 3, 2.0);
    for (int i = 0; i < 20; ++i) DrawAndReadFrame(graph), Sleep(10);
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Graph].Count, graphsBefore);
    EXPECT_EQ(LiveMovieCount(), 0);
    // Opened in a loading job, its plane graphs made there too.
    ASSERT_EQ(EnableAsyncLoad(1), 0);
    const int open = LoadGraphFile(MoviePath("silent.ogv").c_str(), 0);
    ASSERT_GE(open, 0);
    EXPECT_EQ(DrawAndReadFrame(open), 0);
    EXPECT_GE(Theora_GetYGraphHandle(MovieOf(open)->Decoder), 0);
    Theora_SeekToFrame(MovieOf(open)->Decoder, 21);
    EXPECT_EQ(DrawAndReadFrame(open), 21);
    EnableAsyncLoad(0);
    StartMovie(open, 3, 1.0);
    DrawAndReadFrame(open);
}

// Releasing the device objects for a re-creation tells the movie that its surface went with them; its
// frames reach the graph again on the new device.
TEST_F(MovieTheoraD3D11Test, ADeviceReCreationReleasesTheMoviesSurfaceAndItsFramesComeBack) {
    const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    Theora_SeekToFrame(movie->Decoder, 5);
    EXPECT_EQ(DrawAndReadFrame(graph), 5);
    EXPECT_EQ(movie->Decoder->SurfaceLost, 0);
    ASSERT_EQ(Graphics_Dispatch_Device_RestoreOrChange(0, -1, -1, -1, -1), 0);
    EXPECT_EQ(movie->Decoder->SurfaceLost, 1);
    Theora_SeekToFrame(movie->Decoder, 9);
    EXPECT_EQ(DrawAndReadFrame(graph), 9);
}

namespace {

// The sound cases run only in the device run; each starts with no capture file.
class MovieDeviceSoundTest : public SoftwareMovieTest {
protected:
    void SetUp() override {
        if (SoundCapture::CapturePath().empty()) GTEST_SKIP() << "only the device run has a capture device";
        std::string path = "Z:" + SoundCapture::CapturePath();
        for (char& c : path)
            if (c == '/') c = '\\';
        DeleteFileA(path.c_str());
        SoftwareMovieTest::SetUp();
    }

    // Ends the library (which closes the device and finishes the capture) and measures the tone.
    SoundCapture::ToneFigures EndAndMeasure() {
        TerminateLibrary();
        SoundCapture::Capture capture;
        EXPECT_TRUE(SoundCapture::ReadCapture(SoundCapture::CapturePath(), &capture));
        const SoundCapture::ToneFigures figures = SoundCapture::MeasureTone(capture);
        sounding = capture.Rate > 0 ? figures.Seconds - (double)figures.GapFrames / capture.Rate : 0;
        return figures;
    }

    // Draws and pumps until the movie stops playing or the time runs out; false when it ran out.
    bool PlayOut(int graph, int milliseconds) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < (DWORD)milliseconds) {
            DrawAndReadFrame(graph);
            PollMessages();
            if (MovieOf(graph)->Playing == 0) return true;
            Sleep(5);
        }
        return false;
    }

    double sounding = 0;
};

}  // namespace

TEST_F(MovieDeviceSoundTest, TheAudioTrackPlaysForTheMoviesLength) {
    const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_GE(movie->Sound, 0);
    EXPECT_NEAR(movie->SoundLength, 2000, 30);
    EXPECT_EQ(movie->TotalTime, 2000);
    StartMovie(graph, 1, 1.0);
    EXPECT_EQ(IsSoundPlaying(movie->Sound), 1);
    EXPECT_TRUE(PlayOut(graph, 8000));
    EXPECT_EQ(DrawAndReadFrame(graph), 49);
    const SoundCapture::ToneFigures figures = EndAndMeasure();
    EXPECT_NEAR(figures.Frequency, 1000.0, 5.0);
    EXPECT_NEAR(sounding, 2.0, 0.1);
}

TEST_F(MovieDeviceSoundTest, ALoopingMovieStartsItsSoundAgainAtEachWrap) {
    const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_GE(movie->Sound, 0);
    EXPECT_EQ(movie->MovieShorterThanSound, 0);
    // Two and a half passes of two seconds: the sound is started three times from its top.
    StartMovie(graph, 3, 1.0);
    EXPECT_FALSE(PlayOut(graph, 5000));
    EndAndMeasure();
    EXPECT_GE(sounding, 4.0);
}

TEST_F(MovieDeviceSoundTest, AMovieWhoseSoundOutlastsItsPicturesEndsWhenTheSoundStops) {
    const int graph = LoadGraphFile(MoviePath("longsound.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_GE(movie->Sound, 0);
    EXPECT_EQ(movie->MovieShorterThanSound, 1);
    StartMovie(graph, 1, 1.0);
    const DWORD start = GetTickCount();
    int lastFrameWhileSounding = 0;
    while (movie->Playing && GetTickCount() - start < 15000) {
        const int shown = DrawAndReadFrame(graph);
        // A sound still playing after the update was playing during it: the movie went on.
        if (IsSoundPlaying(movie->Sound) == 1) {
            EXPECT_EQ(movie->Playing, 1);
            if (shown == 14) ++lastFrameWhileSounding;
        }
        PollMessages();
        Sleep(5);
    }
    EXPECT_EQ(movie->Playing, 0);
    EXPECT_EQ(IsSoundPlaying(movie->Sound), 0);
    EXPECT_EQ(DrawAndReadFrame(graph), 14);
    EXPECT_GT(lastFrameWhileSounding, 0);
    EndAndMeasure();
    EXPECT_NEAR(sounding, 6.0, 0.2);
}
