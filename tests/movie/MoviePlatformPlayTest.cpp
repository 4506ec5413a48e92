// Movies that are not Ogg Theora, played on the software road through Media Foundation's source reader
// and through a DirectShow graph around the library's movie renderer, and read back from the screen by
// the frame numbers their pictures carry: which files each player plays here, frames at their times,
// looping, pausing and resuming with the window, deleting a playing movie, and a file no player opens.
#include "movie/directshow/VtUseCStrmBaseFilterRenderer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "TheoraTestSupport.h"
#include "foundation/VtWinAPI.h"
#include "movie/VtMovieWin.h"

using namespace Vantrel;
using namespace TheoraTest;

namespace {

std::string PlatformMoviePath(const char* name) {
    std::string path = std::string("Z:") + VT_PLATFORM_MOVIE_DIR + "/" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// How far the picture may lie from the graph's stream time (the clock its renderer schedules by), and
// how far it may lag the wall clock since the movie was started (the graph starts its stream time
// about 0.2 s after it is run, and its first picture comes later still), in frames of 40 ms.
constexpr int StreamBound = 3;
constexpr int WallBound = 12;

// Media Foundation takes every file here that the graph plays: for the graph's tests its reader is
// taken out of the system function table.
class MovieDirectShowPlayTest : public SoftwareMovieTest {
protected:
    void SetUp() override {
        SoftwareMovieTest::SetUp();
        Reader = WinAPITable.MFCreateSourceReaderFromURL;
        WinAPITable.MFCreateSourceReaderFromURL = nullptr;
    }
    void TearDown() override {
        WinAPITable.MFCreateSourceReaderFromURL = Reader;
        SoftwareMovieTest::TearDown();
    }
    WinAPI_MFCreateSourceReaderFromURLProc Reader = nullptr;
};

class MovieMediaFoundationPlayTest : public SoftwareMovieTest {};

struct Distances {
    int Stream = 0;   // largest distance from the stream time's frame
    int Lag = 0;      // largest lag behind the wall clock's frame
};

// Draws a movie that does not loop over and over for `milliseconds`: every frame shown lies within
// StreamBound of the graph's stream time (plus `streamFrame`, the frame the stream time started from)
// and is never ahead of, and at most WallBound behind, `startFrame` + the time since `start`
// (microseconds) at 25 frames a second. The frames seen, in order.
std::vector<int> PlayAndCheck(int graph, uint64_t start, int startFrame, int count, int milliseconds,
                              Distances* worst) {
    std::vector<int> seen;
    MovieRecord* movie = MovieOf(graph);
    const uint64_t end = GetMicrosecondCount() + (uint64_t)milliseconds * 1000;
    while (GetMicrosecondCount() < end) {
        const uint64_t at = GetMicrosecondCount();
        const int shown = DrawAndReadFrame(graph);
        REFERENCE_TIME stream = 0;
        if (movie->MovieRender->State == State_Running && movie->MovieRender->StreamTime(&stream) == S_OK &&
            stream >= 0) {
            const int64_t streamFrame = std::min<int64_t>(stream / 400000, count - 1);
            const int64_t off = std::abs(shown - streamFrame);
            worst->Stream = std::max(worst->Stream, (int)off);
            EXPECT_LE(off, StreamBound) << "frame " << shown << " shown at stream frame " << streamFrame;
        }
        const int64_t wallFrame = std::min<int64_t>(startFrame + (int64_t)(at - start) / 40000, count - 1);
        worst->Lag = std::max(worst->Lag, (int)(wallFrame - shown));
        EXPECT_LE(shown, wallFrame + 1) << "frame " << shown << " shown at wall-clock frame " << wallFrame;
        EXPECT_GE(shown, wallFrame - WallBound) << "frame " << shown << " shown at wall-clock frame " << wallFrame;
        seen.push_back(shown);
        PollMessages();
        Sleep(5);
    }
    return seen;
}

// The end of a movie that does not loop: the frames seen never went back, the movie stops paused on its
// last frame, and deleting its graph leaves no movie behind.
void ExpectEndsOnItsLastFrameAndGoes(int graph, const std::vector<int>& seen, int lastFrame) {
    MovieRecord* movie = MovieOf(graph);
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
    EXPECT_TRUE(WindowTest::PumpUntil([&] {
        DrawAndReadFrame(graph);
        return movie->Playing == 0;
    }));
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(DrawAndReadFrame(graph), lastFrame);
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(LiveMovieCount(), 0);
}

}  // namespace

TEST_F(MovieDirectShowPlayTest, TheGraphPlaysWhatTheSystemDecodes) {
    struct Case {
        const char* Name;
        int Expected;
    };
    const Case cases[] = {
        {"counted.avi", 0},    // Motion JPEG
        {"sound.avi", 0},      // Motion JPEG with PCM sound
        {"counted.webm", 0},   // VP8
        {"counted.ogv", 0},    // Theora, through the system's splitter
        {"counted.mpg", -1},   // MPEG-1: no decoder here
        {"noise.avi", -1},
        {"missing.avi", -1},
    };
    const LONG objectsBefore = StrmBase_GetObjectCount();
    for (const Case& c : cases) {
        MovieRecord* movie = static_cast<MovieRecord*>(Memory_AllocateZeroed(sizeof(MovieRecord), __FILE__, __LINE__));
        ASSERT_NE(movie, nullptr);
        movie->LumaGraph = movie->ChromaGraph = -1;
        int width = 0, height = 0;
        const std::wstring path = Wide(PlatformMoviePath(c.Name));
        EXPECT_EQ(MovieWin_Open(movie, path.c_str(), &width, &height, 0, 0, 0), c.Expected) << c.Name;
        if (c.Expected == 0) {
            EXPECT_NE(movie->GraphBuilder, nullptr) << c.Name;
            EXPECT_EQ(width, 64) << c.Name;
            EXPECT_EQ(height, 48) << c.Name;
            ASSERT_NE(movie->MovieRender, nullptr);
            EXPECT_EQ(movie->FrameImage, &movie->PlatformFrameImage) << c.Name;
            EXPECT_EQ(movie->PlatformFrameImage.pixels, movie->MovieRender->FrameBuffer) << c.Name;
            EXPECT_GT(movie->Duration, 0) << c.Name;
            EXPECT_GT(movie->DsTimePerFrame, 0) << c.Name;
            RecordProperty(std::string(c.Name) + " subtype", movie->MovieRender->Subtype);
            RecordProperty(std::string(c.Name) + " frames", (int)movie->DsFrameCount);
            RecordProperty(std::string(c.Name) + " time per frame", (int)movie->DsTimePerFrame);
        } else {
            EXPECT_EQ(movie->GraphBuilder, nullptr) << c.Name;
            EXPECT_TRUE(WindowTest::LogContains(u8"Movie File Open Error : ")) << c.Name;
        }
        EXPECT_EQ(MovieWin_Terminate(movie), 0);
        EXPECT_EQ(movie->MovieRender, nullptr);
        EXPECT_EQ(movie->PlatformFrameImage.pixels, nullptr);
        Memory_Free(movie);
    }
    EXPECT_EQ(StrmBase_GetObjectCount(), objectsBefore);
}

TEST_F(MovieDirectShowPlayTest, FramesShowAtTheirTimesAndAMovieThatEndsKeepsItsLastFrame) {
    const int graph = LoadGraphFile(PlatformMoviePath("counted.avi").c_str(), 0);
    ASSERT_GE(graph, 0);
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(graph, &width, &height), 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->Theora, 0);
    EXPECT_NE(movie->GraphBuilder, nullptr);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(movie->Playing, 0);

    const uint64_t start = GetMicrosecondCount();
    StartMovie(graph, 1, 1.0);
    Distances worst;
    const std::vector<int> seen = PlayAndCheck(graph, start, 0, 50, 2300, &worst);
    RecordProperty("largest distance from the stream time in frames", worst.Stream);
    RecordProperty("largest lag behind the wall clock in frames", worst.Lag);
    std::printf("DirectShow play: largest distance from the stream time %d frames, largest lag %d frames\n",
                worst.Stream, worst.Lag);
    ExpectEndsOnItsLastFrameAndGoes(graph, seen, 49);
}

TEST_F(MovieDirectShowPlayTest, ALoopingMovieStartsAgainAtItsEnd) {
    const int graph = LoadGraphFile(PlatformMoviePath("counted.webm").c_str(), 0);
    ASSERT_GE(graph, 0);
    StartMovie(graph, 3, 1.0);
    // 30 frames: 1.2 s a pass.
    std::vector<int> seen;
    const uint64_t end = GetMicrosecondCount() + 2000000;
    while (GetMicrosecondCount() < end) {
        seen.push_back(DrawAndReadFrame(graph));
        PollMessages();
        Sleep(5);
    }
    int wraps = 0;
    for (size_t i = 1; i < seen.size(); ++i) wraps += seen[i] + 15 < seen[i - 1] ? 1 : 0;
    EXPECT_EQ(wraps, 1);
    EXPECT_LT(seen.back(), 29);
    MovieRecord* movie = MovieOf(graph);
    EXPECT_EQ(movie->Playing, 1);
    EXPECT_EQ(movie->Paused, 0);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieDirectShowPlayTest, PausingAndResumingWithTheWindowKeepsThePosition) {
    const int graph = LoadGraphFile(PlatformMoviePath("sound.avi").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    const uint64_t start = GetMicrosecondCount();
    StartMovie(graph, 1, 1.0);
    Distances worst;
    const std::vector<int> before = PlayAndCheck(graph, start, 0, 50, 700, &worst);
    ASSERT_FALSE(before.empty());
    // The window is deactivated: the graph pauses and the picture stands where it was.
    ASSERT_EQ(Movie_PauseAll(), 0);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(movie->Playing, 1);
    Sleep(100);
    const int held = DrawAndReadFrame(graph);
    EXPECT_GE(held, before.back());
    EXPECT_LE(held, before.back() + StreamBound);
    Sleep(400);
    EXPECT_EQ(DrawAndReadFrame(graph), held);

    // Activated again: on from the frame it held, on the graph's clock.
    const uint64_t resumed = GetMicrosecondCount();
    ASSERT_EQ(Movie_ResumeAll(), 0);
    EXPECT_EQ(movie->Paused, 0);
    const std::vector<int> after = PlayAndCheck(graph, resumed, held, 50, 500, &worst);
    ASSERT_FALSE(after.empty());
    EXPECT_GE(after.front(), held);
    EXPECT_GT(after.back(), held + 4);
    RecordProperty("largest distance from the stream time in frames", worst.Stream);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieDirectShowPlayTest, DeletingAPlayingMovieLeavesNoGraphThreadOrObject) {
    const LONG objectsBefore = StrmBase_GetObjectCount();
    // The first graph of the process starts services that stay; they are counted before.
    const int warm = LoadGraphFile(PlatformMoviePath("sound.avi").c_str(), 0);
    ASSERT_GE(warm, 0);
    StartMovie(warm, 1, 1.0);
    Sleep(200);
    ASSERT_EQ(DeleteGraph(warm), 0);
    Sleep(200);
    const std::set<DWORD> before = ProcessThreads();

    const int graph = LoadGraphFile(PlatformMoviePath("sound.avi").c_str(), 0);
    ASSERT_GE(graph, 0);
    StartMovie(graph, 3, 1.0);
    Sleep(300);
    DrawAndReadFrame(graph);
    EXPECT_GT(StrmBase_GetObjectCount(), objectsBefore);
    ASSERT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(LiveMovieCount(), 0);
    EXPECT_EQ(StrmBase_GetObjectCount(), objectsBefore);
    // The graph's threads end with it.
    std::set<DWORD> left;
    WindowTest::PumpUntil([&] {
        left.clear();
        for (DWORD id : ProcessThreads())
            if (before.count(id) == 0) left.insert(id);
        return left.empty();
    });
    EXPECT_TRUE(left.empty()) << left.size() << " threads left";
}

TEST_F(MovieMediaFoundationPlayTest, AFileNoPlayerOpensIsLoggedAndLeavesNoHandle) {
    const int graphsBefore = HandleManagerTable[HandleType_Graph].Count;
    for (const char* name : {"noise.avi", "counted.mpg"}) {
        EXPECT_EQ(LoadGraphFile(PlatformMoviePath(name).c_str(), 0), -1) << name;
        const std::wstring path = Wide(PlatformMoviePath(name));
        MovieOpenSettings settings;
        Movie_InitOpenSettings(&settings);
        int width = -7;
        EXPECT_EQ(Movie_Open(-1, &settings, path.c_str(), nullptr, 0, &width, nullptr, 0, 0, 0), -1) << name;
        EXPECT_EQ(width, -7);
    }
    EXPECT_TRUE(WindowTest::LogContains(u8"ムービーファイルオープン処理時にエラーが発生しました"));
    EXPECT_TRUE(WindowTest::LogContains(u8"Movie File Open Error : "));
    EXPECT_EQ(LiveMovieCount(), 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Graph].Count, graphsBefore);
}

namespace {

// Plays a Media Foundation movie for a while, drawing it over and over: every frame shown is within one
// frame of what the player's own clock names just before and just after the draw (25 frames a second).
std::vector<int> PlayOnOwnClock(int graph, int count, bool loop, int milliseconds) {
    std::vector<int> seen;
    MovieRecord* movie = MovieOf(graph);
    const uint64_t start = movie->MfLastClock;
    const uint64_t end = start + (uint64_t)milliseconds * 1000;
    while (GetMicrosecondCount() < end) {
        const uint64_t before = GetMicrosecondCount();
        const int shown = DrawAndReadFrame(graph);
        const uint64_t after = GetMicrosecondCount();
        ExpectShownWithinClockFrames(shown, (int64_t)(before - start) / 40000 - 1, (int64_t)(after - start) / 40000 + 1,
                                     count, loop);
        seen.push_back(shown);
        PollMessages();
        Sleep(5);
    }
    return seen;
}

}  // namespace

TEST_F(MovieMediaFoundationPlayTest, AMovieFileOpensThroughTheSourceReaderAndShowsFramesOnItsClock) {
    const int graph = LoadGraphFile(PlatformMoviePath("counted.avi").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->Theora, 0);
    ASSERT_NE(movie->SourceReader, nullptr);
    EXPECT_EQ(movie->GraphBuilder, nullptr);
    EXPECT_EQ(movie->FrameWidth, 64);
    EXPECT_EQ(movie->FrameHeight, 48);
    EXPECT_EQ(movie->MfFrameCount, 50);
    EXPECT_EQ(movie->MfTimePerFrame, 400000);
    EXPECT_EQ(movie->Sound, -1);
    EXPECT_EQ(DrawAndReadFrame(graph), 0);
    Sleep(100);
    EXPECT_EQ(DrawAndReadFrame(graph), 0);

    StartMovie(graph, 1, 1.0);
    const std::vector<int> seen = PlayOnOwnClock(graph, 50, false, 2200);
    ExpectEndsOnItsLastFrameAndGoes(graph, seen, 49);
}

TEST_F(MovieMediaFoundationPlayTest, ALoopingMovieSeeksBackToItsStart) {
    const int graph = LoadGraphFile(PlatformMoviePath("counted.webm").c_str(), 0);
    ASSERT_GE(graph, 0);
    ASSERT_NE(MovieOf(graph)->SourceReader, nullptr);
    StartMovie(graph, 3, 1.0);
    const std::vector<int> seen = PlayOnOwnClock(graph, 30, true, 2000);
    int wraps = 0;
    for (size_t i = 1; i < seen.size(); ++i) wraps += seen[i] + 15 < seen[i - 1] ? 1 : 0;
    EXPECT_EQ(wraps, 1);
    EXPECT_EQ(MovieOf(graph)->Playing, 1);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieMediaFoundationPlayTest, PausingAndResumingWithTheWindowKeepsThePosition) {
    const int graph = LoadGraphFile(PlatformMoviePath("sound.avi").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie->SourceReader, nullptr);
    RecordProperty("sound track through Media Foundation", movie->Sound != -1 ? 1 : 0);
    StartMovie(graph, 1, 1.0);
    PlayOnOwnClock(graph, 50, false, 500);
    ASSERT_EQ(Movie_PauseAll(), 0);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(movie->Playing, 1);
    const int held = DrawAndReadFrame(graph);
    EXPECT_GE(held, 11);
    EXPECT_LE(held, 14);
    Sleep(400);
    EXPECT_EQ(DrawAndReadFrame(graph), held);
    ASSERT_EQ(Movie_ResumeAll(), 0);
    EXPECT_EQ(movie->Paused, 0);
    Sleep(300);
    const int later = DrawAndReadFrame(graph);
    EXPECT_GE(later, held + 6);
    EXPECT_LE(later, held + 9);
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(LiveMovieCount(), 0);
}
