// Shared pieces of the Theora movie tests: the test movies made at build time, the library started on
// the software road (or a device), a movie graph drawn and its frame number read back from the
// picture, the movie record behind a graph, starting a movie as a start call would, the decode-ahead
// threads alive in the process, and Ogg pages damaged with their checksums made right again.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImage.h"
#include "movie/VtMovie.h"
#include "system/VtTime.h"

namespace TheoraTest {

using namespace Vantrel;

// The Unix path of a test movie and the same through Wine's Z: drive.
inline std::string MovieUnixPath(const char* name) { return std::string(VT_THEORA_MOVIE_DIR) + "/" + name; }
inline std::string MoviePath(const char* name) {
    std::string path = "Z:" + MovieUnixPath(name);
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

inline std::vector<uint8_t> ReadMovieBytes(const char* name) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(MoviePath(name).c_str(), "rb");
    if (file == nullptr) return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

// The number a picture carries: bit k in the 8 x 8 block k of rows of 8 blocks, white for 1. Read
// from the centre 4 x 4 pixels of each block's green channel (the number is grey), 16 bits.
template <typename Pixel>
int ReadFrameNumber(Pixel pixel) {
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) {
        const int bx = (bit % 8) * 8, by = (bit / 8) * 8;
        int sum = 0;
        for (int y = 2; y < 6; ++y)
            for (int x = 2; x < 6; ++x) sum += (int)((pixel(bx + x, by + y) >> 8) & 0xFF);
        if (sum / 16 >= 128) number |= 1 << bit;
    }
    return number;
}

inline int ReadFrameNumberOfImage(const BaseImage& image) {
    return ReadFrameNumber([&](int x, int y) { return BaseImage_GetPixelARGB8(&image, x, y); });
}

// Draws the graph at the top left of the back screen (which updates its movie) and reads the number
// it shows; -1 when the screen cannot be read.
inline int DrawAndReadFrame(int graph) {
    if (DrawGraphAt(0, 0, graph, 0) < 0) return -1;
    const RECT area = {0, 0, 64, 16};
    BaseImage image = {};
    if (Graphics_Screen_LockDrawTarget(&area, &image, -1, 0, 0, 1, 0) < 0) return -1;
    const int number = ReadFrameNumberOfImage(image);
    Graphics_Screen_UnlockDrawTarget();
    return number;
}

inline int MovieHandleOf(int graph) {
    GraphHandleRecord* record = Graphics_Image_GetGraphRecord(graph, 0);
    return record != nullptr && record->Orig != nullptr ? record->Orig->movie : -1;
}
inline MovieRecord* MovieOf(int graph) { return Movie_Handle_GetRecord(MovieHandleOf(graph)); }

// Starts a movie the way a start call would: play type and rate set, meant to play, then resumed
// (which sets the clock from its current frame and starts its sound).
inline void StartMovie(int graph, int playType, double rate) {
    MovieRecord* movie = MovieOf(graph);
    ASSERT_NE(movie, nullptr);
    movie->PlayType = playType;
    movie->PlayRate = rate;
    movie->Playing = 1;
    ASSERT_EQ(Movie_ResumeAll(), 0);
    ASSERT_EQ(movie->Paused, 0);
}

inline int LiveMovieCount() { return HandleManagerTable[HandleType_Movie].Count; }

// The ids of the threads of this process.
inline std::set<DWORD> ProcessThreads() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

// The Ogg page checksum (CRC-32 of polynomial 0x04C11DB7, no reflection, start 0).
inline uint32_t OggChecksum(const uint8_t* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= (uint32_t)data[i] << 24;
        for (int k = 0; k < 8; ++k) crc = crc & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// One page of an Ogg file: where it starts, its header size and its body size.
struct OggPageSpan {
    size_t Start, HeaderBytes, BodyBytes;
};

inline std::vector<OggPageSpan> OggPages(const std::vector<uint8_t>& bytes) {
    std::vector<OggPageSpan> pages;
    size_t at = 0;
    while (at + 27 <= bytes.size() && memcmp(&bytes[at], "OggS", 4) == 0) {
        const size_t segments = bytes[at + 26];
        if (at + 27 + segments > bytes.size()) break;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += bytes[at + 27 + i];
        if (at + 27 + segments + body > bytes.size()) break;
        pages.push_back({at, 27 + segments, body});
        at += 27 + segments + body;
    }
    return pages;
}

// Makes every page's checksum right again after its bytes were changed.
inline void FixOggChecksums(std::vector<uint8_t>& bytes) {
    for (const OggPageSpan& page : OggPages(bytes)) {
        memset(&bytes[page.Start + 22], 0, 4);
        const uint32_t crc = OggChecksum(&bytes[page.Start], page.HeaderBytes + page.BodyBytes);
        for (int i = 0; i < 4; ++i) bytes[page.Start + 22 + i] = (uint8_t)(crc >> (8 * i));
    }
}

// The page whose body starts with the Theora identification header.
inline const OggPageSpan* TheoraHeaderPage(const std::vector<uint8_t>& bytes, std::vector<OggPageSpan>& pages) {
    pages = OggPages(bytes);
    for (const OggPageSpan& page : pages)
        if (page.BodyBytes >= 42 && memcmp(&bytes[page.Start + page.HeaderBytes], "\x80theora", 7) == 0) return &page;
    return nullptr;
}

// The library started on the software road (no device) with a screen the movies fit on.
class SoftwareMovieTest : public WindowTest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        SetScreenResolution(128, 96, 32, 60);
        ASSERT_EQ(SetHardwareGraphicsEnable(0), 0);
        ASSERT_EQ(InitializeLibrary(), 0);
        ASSERT_EQ(SelectDrawScreen(DRAW_SCREEN_BACK), 0);
    }
    void TearDown() override {
        LibraryTest::TearDown();
        SetHardwareGraphicsEnable(1);
        // Ending the library gives every block back, the movies' included.
        EXPECT_EQ(MemoryState.AllocBlockCount, 0);
    }
};

// Expects frame `shown` to be one of the clock frames low..high: taken modulo `count` for a looping movie,
// the range held to the last frame for one that ends.
inline void ExpectShownWithinClockFrames(int shown, int64_t low, int64_t high, int64_t count, bool loop) {
    if (!loop) {
        low = low < count - 1 ? low : count - 1;
        high = high < count - 1 ? high : count - 1;
    }
    bool within = false;
    for (int64_t f = low; f <= high && !within; ++f) within = ((f % count) + count) % count == shown;
    EXPECT_TRUE(within) << "frame " << shown << " shown between clock frames " << low << " and " << high;
}

}  // namespace TheoraTest
