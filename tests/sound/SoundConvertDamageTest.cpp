// Damaged input through the whole conversion chain: truncated and byte-flipped copies of a file of
// every kind are set up, run to their end, seeked and converted whole. Each must give -1 or a clean
// end; every copy lies flush against a no-access page, so a read past its end faults.
#include <gtest/gtest.h>

#include "SoundConvertTestSupport.h"
#include "foundation/VtMemory.h"

using namespace Vantrel;
using namespace SoundTest;

namespace {

// The converters of the library's own decoders; the ones that go through system components
// (DirectShow, Media Foundation) have damaged-input cases of their own.
constexpr int32_t LibraryConverters = SoundConvertDisable_Mp3DirectShow | SoundConvertDisable_MediaFoundation;

struct DamageCounts {
    int Refused = 0;
    int Decoded = 0;
};

// Sets up a conversion over the damaged copy and drives it through everything a caller does.
void DriveDamaged(const Bytes& copy, int64_t outputLimit, DamageCounts* counts)
{
    GuardedBlock block(copy);
    MemorySource source(block.Data(), block.Size());
    SoundConvertRecord record = {};
    if (SoundConvert_Setup(&record, source.Get(), LibraryConverters, 2, 0) != 0) {
        EXPECT_EQ(0, record.Initialized);
        ++counts->Refused;
        return;
    }
    ++counts->Decoded;
    WAVEFORMATEX format;
    SoundConvert_GetOutputFormat(&record, &format);
    ASSERT_NE(0, format.nBlockAlign);
    Bytes all = RunToEnd(&record, 8192, outputLimit);
    EXPECT_LE(int64_t(all.size()), outputLimit) << "the output runs on";
    EXPECT_EQ(0u, all.size() % format.nBlockAlign);
    int64_t start, end;
    SoundConvert_GetLoopArea(&record, &start, &end);
    SoundConvert_SetLoopStartSample(&record, 1000);
    SoundConvert_SetSampleTime(&record, int64_t(all.size() / format.nBlockAlign / 2));
    RunToEnd(&record, 4096, 65536);
    int64_t total = SoundConvert_GetTotalBytes(&record);
    if (total >= 0 && total <= outputLimit) {
        void* data = nullptr;
        uint32_t size = 0;
        if (SoundConvert_ConvertWhole(&record, nullptr, &data, &size) == 0) {
            EXPECT_LE(int64_t(size), total);
            Memory_Free(data);
        }
    }
    EXPECT_EQ(0, SoundConvert_Close(&record));
}

}  // namespace

TEST(SoundConvertDamage, TruncatedAndFlippedCopiesOfEveryKind)
{
    SoundConvertWin_Initialize();
    const char* names[] = {"mono.wav", "small-float.wav", "loop0.ogg", "short.opus", "small-ima.wav",
                           "small-ms.wav", "small-mulaw.wav", "part44.mp3", "lsf.mp3"};
    const int truncations = 100, flips = 200;
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    ULONGLONG started = GetTickCount64();
    int cases = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Bytes file = ReadFixture(name);
        ASSERT_GT(file.size(), 1000u);
        // The clean file decodes, and bounds what a damaged copy may deliver.
        int64_t limit;
        {
            GuardedBlock block(file);
            MemorySource source(block.Data(), block.Size());
            SoundConvertRecord record = {};
            ASSERT_EQ(0, SoundConvert_Setup(&record, source.Get(), LibraryConverters, 2, 0));
            limit = 8 * int64_t(RunToEnd(&record).size()) + (1 << 20);
            SoundConvert_Close(&record);
        }
        DamageCounts counts;
        for (int i = 0; i < truncations; ++i, ++cases) {
            // Half the cuts inside the first 600 bytes (headers), the rest spread over the file.
            size_t cut = i < truncations / 2 ? size_t(i) * 600 / (truncations / 2) : next() % file.size();
            DriveDamaged(Bytes(file.begin(), file.begin() + cut), limit, &counts);
        }
        for (int i = 0; i < flips; ++i, ++cases) {
            Bytes copy = file;
            int changes = 1 + int(next() % 4);
            for (int k = 0; k < changes; ++k) {
                // Most flips hit the first 600 bytes, where the headers lie.
                size_t at = (next() % 3 != 0) ? next() % 600 : next() % copy.size();
                copy[at] ^= uint8_t(1 + next() % 255);
            }
            DriveDamaged(copy, limit, &counts);
        }
        printf("%-16s %d refused, %d decoded\n", name, counts.Refused, counts.Decoded);
    }
    double seconds = double(GetTickCount64() - started) / 1000.0;
    printf("%d damaged copies in %.1f s\n", cases, seconds);
}
