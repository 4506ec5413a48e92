// Decoding ten minutes of Ogg Vorbis and of Opus (stereo, 44,100 Hz source) through the sound
// conversion front end against the bare library's own decode loop (ov_read, op_read) over the same
// bytes in memory, in the same run. Prints the best of several rounds, the front end's overhead and
// the decode speed in multiples of real time (thread CPU time).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <opusfile.h>
#include <vorbis/vorbisfile.h>

#include "foundation/VtStream.h"
#include "sound/VtSoundConvert.h"

using namespace Vantrel;

namespace {

// CPU time of this thread in seconds: the machine's other load does not count (wall time would).
double Now()
{
    FILETIME creation, exit, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
    auto seconds = [](const FILETIME& t) { return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 1e-7; };
    return seconds(kernel) + seconds(user);
}

std::vector<uint8_t> ReadBenchFile(const char* name)
{
    std::wstring path = L"Z:";
    for (const char* p = VT_SOUND_BENCH_DIR; *p; ++p) path.push_back(*p == '/' ? L'\\' : wchar_t(uint8_t(*p)));
    path += L"\\";
    for (const char* p = name; *p; ++p) path.push_back(wchar_t(uint8_t(*p)));
    std::vector<uint8_t> out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), got = 0;
    out.resize(size);
    ReadFile(h, out.data(), size, &got, nullptr);
    out.resize(got);
    CloseHandle(h);
    return out;
}

// The front end: set-up over a memory stream, then runs of 64 KiB as a stream refill asks for.
int64_t DecodeFrontEnd(const std::vector<uint8_t>& file)
{
    Stream stream = {*File_GetMemStreamOps(), File_MemStream_Open(file.data(), uint32_t(file.size()))};
    SoundConvertRecord record = {};
    int64_t total = 0;
    if (SoundConvert_Setup(&record, &stream, 0, 2, 0) == 0) {
        static uint8_t buffer[65536];
        int64_t got;
        while ((got = SoundConvert_Run(&record, buffer, sizeof(buffer))) > 0) total += got;
        SoundConvert_Close(&record);
    }
    File_MemStream_Close(stream.data);
    return total;
}

// The bare libraries over the same bytes: vorbisfile with plain memory callbacks, opusfile's own
// memory reader; the same 4,096-byte buffer as the front end's staging.
struct BareMemory {
    const uint8_t* Data;
    size_t Size, Position;
};

size_t BareRead(void* buffer, size_t size, size_t count, void* source)
{
    BareMemory* m = static_cast<BareMemory*>(source);
    size_t bytes = size * count, left = m->Size - m->Position;
    if (bytes > left) bytes = left;
    memcpy(buffer, m->Data + m->Position, bytes);
    m->Position += bytes;
    return size == 0 ? 0 : bytes / size;
}
int BareSeek(void* source, ogg_int64_t offset, int origin)
{
    BareMemory* m = static_cast<BareMemory*>(source);
    int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(m->Position) : int64_t(m->Size);
    int64_t target = base + offset;
    if (target < 0 || target > int64_t(m->Size)) return -1;
    m->Position = size_t(target);
    return 0;
}
long BareTell(void* source) { return long(static_cast<BareMemory*>(source)->Position); }

int64_t DecodeBareVorbis(const std::vector<uint8_t>& file)
{
    BareMemory memory = {file.data(), file.size(), 0};
    ov_callbacks callbacks = {BareRead, BareSeek, nullptr, BareTell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&memory, &vf, nullptr, 0, callbacks) != 0) return 0;
    static char buffer[4096];
    int64_t total = 0;
    int bitstream;
    long got;
    while ((got = ov_read(&vf, buffer, sizeof(buffer), 0, 2, 1, &bitstream)) > 0) total += got;
    ov_clear(&vf);
    return total;
}

int64_t DecodeBareOpus(const std::vector<uint8_t>& file)
{
    OggOpusFile* of = op_open_memory(file.data(), file.size(), nullptr);
    if (of == nullptr) return 0;
    static opus_int16 buffer[2048];
    int channels = op_channel_count(of, -1);
    int64_t total = 0;
    int got;
    while ((got = op_read(of, buffer, 2048, nullptr)) > 0) total += int64_t(got) * channels * 2;
    op_free(of);
    return total;
}

void Measure(const char* what, const std::vector<uint8_t>& file, int64_t (*bare)(const std::vector<uint8_t>&),
             double seconds)
{
    // Alternating order, best of each: the machine's other load only ever adds time.
    const int rounds = 5;
    double bestOurs = 1e30, bestBare = 1e30;
    int64_t oursBytes = 0, bareBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            double t0 = Now();
            if ((round + turn) % 2 == 0) {
                bareBytes = bare(file);
                bestBare = std::min(bestBare, Now() - t0);
            } else {
                oursBytes = DecodeFrontEnd(file);
                bestOurs = std::min(bestOurs, Now() - t0);
            }
        }
    }
    printf("%-6s %.0f s of sound, CPU time: front end %.3f s (%lld bytes), bare library %.3f s (%lld bytes), "
           "front end %+.1f%% (goal at most +5%%), %.0fx real time\n",
           what, seconds, bestOurs, (long long)oursBytes, bestBare, (long long)bareBytes,
           (bestOurs / bestBare - 1.0) * 100.0, seconds / bestOurs);
}

}  // namespace

int main()
{
    std::vector<uint8_t> vorbis = ReadBenchFile("bench.ogg"), opus = ReadBenchFile("bench.opus");
    if (vorbis.empty() || opus.empty()) {
        printf("bench_sound_decode: the benchmark files are missing (%s)\n", VT_SOUND_BENCH_DIR);
        return 1;
    }
    Measure("Vorbis", vorbis, DecodeBareVorbis, 600);
    Measure("Opus", opus, DecodeBareOpus, 600);
    return 0;
}
