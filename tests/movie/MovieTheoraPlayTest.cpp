// Theora movies played into graphs on the software road, read back from the screen by the frame
// numbers their pictures carry: the first draw shows frame 0, frame n shows at n / fps on the real
// clock (at 1x and 2x), looping wraps, a movie that ends keeps its last frame, pausing and resuming
// all movies keeps the position, memory images play from the movie's own copy, and deleting movies
// or ending the library leaves no decode-ahead thread, handle or memory block behind.
#include "TheoraTestSupport.h"

#include <cmath>

using namespace Vantrel;
using namespace TheoraTest;

namespace {

class MovieTheoraPlayTest : public SoftwareMovieTest {};

constexpr double Fps = 25.0;

// The clock's frame for a time since the start (microseconds) at a rate.
int64_t ClockFrame(uint64_t since, double rate) { return (int64_t)std::floor((double)since * rate * Fps / 1e6); }

// Plays a movie for a while, drawing it over and over: every frame shown is the decoder's current
// frame, and within one frame of the frame the clock names at the moments just before and just after
// the draw (the update reads the clock between them). Frames of a looping movie are compared modulo
// the frame count; those of a movie that ends stop at the last one. Returns the frames seen in order.
std::vector<int> PlayAndCheck(int graph, double rate, int count, bool loop, int milliseconds) {
    std::vector<int> seen;
    MovieRecord* movie = MovieOf(graph);
    const uint64_t start = movie->LastClock;
    const uint64_t end = start + (uint64_t)milliseconds * 1000;
    for (;;) {
        const uint64_t before = GetMicrosecondCount();
        if (before > end) break;
        const int shown = DrawAndReadFrame(graph);
        const uint64_t after = GetMicrosecondCount();
        EXPECT_EQ(shown, Theora_GetCurrentFrame(movie->Decoder));
        ExpectShownWithinClockFrames(shown, ClockFrame(before - start, rate) - 1, ClockFrame(after - start, rate) + 1,
                                     count, loop);
        seen.push_back(shown);
        PollMessages();
        Sleep(7);
    }
    return seen;
}

}  // namespace

TEST_F(MovieTheoraPlayTest, AMovieFileBecomesAGraphOfItsSizeShowingFrameZeroAndKeepsItsLastFrame) {
    const int graph = LoadGraphFile(MoviePath("silent.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    int width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(graph, &width, &height), 0);
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->Theora, 1);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(movie->Playing, 0);
    EXPECT_EQ(movie->PlayType, 1);
    EXPECT_EQ(movie->TotalTime, 1600);
    EXPECT_EQ(movie->Sound, -1);
    EXPECT_EQ(DrawAndReadFrame(graph), 0);
    // A paused movie stays where it is.
    Sleep(120);
    EXPECT_EQ(DrawAndReadFrame(graph), 0);

    // Played at four times the rate it reaches its end (no sound: at once) and keeps the last frame.
    StartMovie(graph, 1, 4.0);
    WindowTest::PumpUntil([&] {
        DrawAndReadFrame(graph);
        return movie->Playing == 0;
    });
    EXPECT_EQ(movie->Playing, 0);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(DrawAndReadFrame(graph), 39);
    Sleep(100);
    EXPECT_EQ(DrawAndReadFrame(graph), 39);
    EXPECT_EQ(DeleteGraph(graph), 0);
    EXPECT_EQ(LiveMovieCount(), 0);
}

TEST_F(MovieTheoraPlayTest, FrameNShowsAtNOverTheFrameRateAtOneAndTwoTimesTheRate) {
    struct Case {
        double Rate;
        int Milliseconds;
    };
    for (const Case c : {Case{1.0, 1500}, Case{2.0, 900}}) {
        const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
        ASSERT_GE(graph, 0);
        StartMovie(graph, 1, c.Rate);
        const std::vector<int> seen = PlayAndCheck(graph, c.Rate, 50, false, c.Milliseconds);
        ASSERT_FALSE(seen.empty());
        // The clock at its rate took the movie well on (each frame was held to the clock above).
        EXPECT_GT(seen.back(), (int)(c.Milliseconds / 1000.0 * c.Rate * Fps) / 2) << c.Rate;
        for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]) << c.Rate;
        EXPECT_EQ(DeleteGraph(graph), 0);
    }
}

TEST_F(MovieTheoraPlayTest, ALoopingMovieWrapsToItsStart) {
    const int graph = LoadGraphFile(MoviePath("silent.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    // 40 frames at 3x: 0.53 s a pass, about two and a half passes.
    StartMovie(graph, 3, 3.0);
    const std::vector<int> seen = PlayAndCheck(graph, 3.0, 40, true, 1400);
    int wraps = 0;
    for (size_t i = 1; i < seen.size(); ++i) wraps += seen[i] < seen[i - 1] ? 1 : 0;
    EXPECT_GE(wraps, 1);
    EXPECT_LE(wraps, 2);
    MovieRecord* movie = MovieOf(graph);
    EXPECT_EQ(movie->Playing, 1);
    EXPECT_EQ(movie->Paused, 0);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieTheoraPlayTest, PausingAndResumingAllMoviesKeepsThePosition) {
    const int graph = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(graph, 0);
    MovieRecord* movie = MovieOf(graph);
    StartMovie(graph, 1, 1.0);
    const uint64_t start = movie->LastClock;
    PlayAndCheck(graph, 1.0, 50, false, 500);
    const uint64_t pausing = GetMicrosecondCount();
    ASSERT_EQ(Movie_PauseAll(), 0);
    const uint64_t paused = GetMicrosecondCount();
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(movie->Playing, 1);
    // The pause brought the frame up to its moment.
    const int held = DrawAndReadFrame(graph);
    EXPECT_GE(held, ClockFrame(pausing - start, 1.0) - 1);
    EXPECT_LE(held, ClockFrame(paused - start, 1.0) + 1);
    // Paused twice: nothing changes.
    ASSERT_EQ(Movie_PauseAll(), 0);
    Sleep(400);
    EXPECT_EQ(DrawAndReadFrame(graph), held);

    // Resumed: on from the frame it held, on the clock again.
    ASSERT_EQ(Movie_ResumeAll(), 0);
    EXPECT_EQ(movie->Paused, 0);
    const uint64_t resumed = movie->LastClock;
    Sleep(300);
    const uint64_t before = GetMicrosecondCount();
    const int later = DrawAndReadFrame(graph);
    const uint64_t after = GetMicrosecondCount();
    EXPECT_GE(later, held + ClockFrame(before - resumed, 1.0) - 1);
    EXPECT_LE(later, held + ClockFrame(after - resumed, 1.0) + 1);

    // A movie that is not meant to play is not resumed.
    ASSERT_EQ(Movie_PauseAll(), 0);
    movie->Playing = 0;
    ASSERT_EQ(Movie_ResumeAll(), 0);
    EXPECT_EQ(movie->Paused, 1);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieTheoraPlayTest, MoviesOfOtherLayoutsShowTheirNumbers) {
    // The audio stream first; a visible size that is no multiple of 16; 4:4:4 and 4:2:2 pictures.
    struct Case {
        const char* Name;
        int Width, Height, Frames;
    };
    for (const Case c : {Case{"audiofirst.ogv", 64, 48, 20}, Case{"oddsize.ogv", 100, 60, 25},
                         Case{"full444.ogv", 64, 48, 25}, Case{"half422.ogv", 64, 48, 25}}) {
        const int graph = LoadGraphFile(MoviePath(c.Name).c_str(), 0);
        ASSERT_GE(graph, 0) << c.Name;
        int width = 0, height = 0;
        QueryGraphSize(graph, &width, &height);
        EXPECT_EQ(width, c.Width) << c.Name;
        EXPECT_EQ(height, c.Height) << c.Name;
        EXPECT_EQ(DrawAndReadFrame(graph), 0) << c.Name;
        // Stepped frame by frame through the decoder: every picture carries its own number.
        MovieRecord* movie = MovieOf(graph);
        TheoraInfo info;
        Theora_GetInfo(movie->Decoder, &info);
        EXPECT_EQ(info.FrameCount, c.Frames) << c.Name;
        for (int frame = 1; frame < c.Frames; ++frame) {
            Theora_AdvanceFrames(movie->Decoder, 1);
            ASSERT_EQ(DrawAndReadFrame(graph), frame) << c.Name;
        }
        EXPECT_EQ(DeleteGraph(graph), 0);
    }
}

TEST_F(MovieTheoraPlayTest, AMemoryImagePlaysFromTheMoviesOwnCopy) {
    std::vector<uint8_t>* bytes = new std::vector<uint8_t>(ReadMovieBytes("silent.ogv"));
    ASSERT_FALSE(bytes->empty());
    const int graph = CreateGraphFromMemoryImage(bytes->data(), (int)bytes->size(), nullptr, 0, 0);
    ASSERT_GE(graph, 0);
    // The caller's image is gone (overwritten first, so that reading it would show).
    memset(bytes->data(), 0, bytes->size());
    delete bytes;
    EXPECT_EQ(DrawAndReadFrame(graph), 0);
    EXPECT_EQ(MovieOf(graph)->DataStreamKind, MovieStream_Memory);
    StartMovie(graph, 3, 4.0);
    const std::vector<int> seen = PlayAndCheck(graph, 4.0, 40, true, 700);
    int wraps = 0;
    for (size_t i = 1; i < seen.size(); ++i) wraps += seen[i] < seen[i - 1] ? 1 : 0;
    EXPECT_GE(wraps, 1);
    EXPECT_EQ(DeleteGraph(graph), 0);
}

TEST_F(MovieTheoraPlayTest, AMemoryImageThatIsNoTheoraMovieFailsAndLeavesNoHandle) {
    const std::vector<uint8_t> sound = ReadMovieBytes("soundonly.ogg");
    ASSERT_FALSE(sound.empty());
    static const char Junk[] = "OggS and then nothing an Ogg reader could use, not even a page header";
    const int graphsBefore = HandleManagerTable[HandleType_Graph].Count;
    auto failures = [] {
        const std::string log = WindowTest::ReadLog();
        size_t found = 0, at = 0;
        while ((at = WindowTest::LogFind(log, u8"ムービーファイルオープン処理時に失敗しました", at)) != std::string::npos) ++found, ++at;
        return found;
    };
    const size_t failedBefore = failures();
    EXPECT_EQ(CreateGraphFromMemoryImage(sound.data(), (int)sound.size(), nullptr, 0, 0), -1);
    EXPECT_EQ(CreateGraphFromMemoryImage(Junk, sizeof(Junk), nullptr, 0, 0), -1);
    // Straight to the front end as well.
    int width = -7, height = -7;
    MovieOpenSettings settings;
    Movie_InitOpenSettings(&settings);
    EXPECT_EQ(Movie_Open(-1, &settings, nullptr, Junk, sizeof(Junk), &width, &height, 0, 0, 0), -1);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(LiveMovieCount(), 0);
    EXPECT_EQ(HandleManagerTable[HandleType_Graph].Count, graphsBefore);
    EXPECT_EQ(failures() - failedBefore, 3u);
}

TEST_F(MovieTheoraPlayTest, DeletingPlayingMoviesAndEndingTheLibraryLeaveNoThreadBehind) {
    const std::set<DWORD> before = ProcessThreads();
    const int first = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    const int second = LoadGraphFile(MoviePath("silent.ogv").c_str(), 0);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    std::set<DWORD> decoders;
    for (int graph : {first, second}) {
        decoders.insert(MovieOf(graph)->Decoder->Thread.Id);
        StartMovie(graph, 3, 1.0);
        DrawAndReadFrame(graph);
    }
    std::set<DWORD> during = ProcessThreads();
    for (DWORD id : decoders) EXPECT_EQ(during.count(id), 1u);
    for (DWORD id : decoders) EXPECT_EQ(before.count(id), 0u);

    // One deleted while it plays (its graph goes, its movie with it).
    const DWORD firstThread = MovieOf(first)->Decoder->Thread.Id;
    EXPECT_EQ(DeleteGraph(first), 0);
    EXPECT_EQ(LiveMovieCount(), 1);
    EXPECT_EQ(ProcessThreads().count(firstThread), 0u);
    // One deleted while its thread is asked to seek (a seek to the middle, then gone at once).
    MovieRecord* movie = MovieOf(second);
    const DWORD secondThread = movie->Decoder->Thread.Id;
    Theora_SeekToFrame(movie->Decoder, 30);
    // A third one open when the library ends.
    const int third = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    ASSERT_GE(third, 0);
    const DWORD thirdThread = MovieOf(third)->Decoder->Thread.Id;
    StartMovie(third, 1, 1.0);
    EXPECT_EQ(DeleteGraph(second), 0);
    EXPECT_EQ(ProcessThreads().count(secondThread), 0u);

    TerminateLibrary();
    EXPECT_EQ(ProcessThreads().count(thirdThread), 0u);
    EXPECT_EQ(HandleManagerTable[HandleType_Movie].Initialized, 0);
}

TEST_F(MovieTheoraPlayTest, MoviesLoadedAsynchronouslyOpenInTheirJobs) {
    ASSERT_EQ(EnableAsyncLoad(1), 0);
    const int fromFile = LoadGraphFile(MoviePath("counted.ogv").c_str(), 0);
    std::vector<uint8_t>* bytes = new std::vector<uint8_t>(ReadMovieBytes("silent.ogv"));
    const int fromMemory = CreateGraphFromMemoryImage(bytes->data(), (int)bytes->size(), nullptr, 0, 0);
    // The job took its own copy of the image; the caller's goes at once.
    delete bytes;
    ASSERT_GE(fromFile, 0);
    ASSERT_GE(fromMemory, 0);
    // Drawing waits for the jobs.
    EXPECT_EQ(DrawAndReadFrame(fromFile), 0);
    EXPECT_EQ(DrawAndReadFrame(fromMemory), 0);
    EXPECT_EQ(MovieOf(fromFile)->Theora, 1);
    StartMovie(fromMemory, 3, 4.0);
    PlayAndCheck(fromMemory, 4.0, 40, true, 500);
    // Deleted while asynchronous loading is on: the deletions wait for the message processing.
    EXPECT_EQ(DeleteGraph(fromFile), 0);
    EXPECT_EQ(DeleteGraph(fromMemory), 0);
    EXPECT_TRUE(WindowTest::PumpUntil([] { return LiveMovieCount() == 0; }));
    EnableAsyncLoad(0);
}
