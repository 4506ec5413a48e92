// Decoding a large LZ-packed file from a VTA archive (archive stream open and read) against zlib's
// inflate of the same data, in the same run. Prints both throughputs and their ratio.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VtArchive.h"
#include "foundation/VtMemory.h"
#include "tools/VtaEncode.h"

using namespace Vantrel;

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) / double(f.QuadPart);
}

// Text-like data: lines of words from a small vocabulary, with numbers.
std::vector<uint8_t> MakeData(size_t n)
{
    static const char* words[] = {"vantrel", "qelvar", "archive", "folder", "stream", "packed", "huffman", "escape",
                                  "distance", "length", "table", "pad", "button", "stick", "mouse", "key",
                                  "frame", "window", "handle", "memory", "the", "a", "of", "and"};
    std::vector<uint8_t> d;
    d.reserve(n + 64);
    uint32_t seed = 42;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    while (d.size() < n) {
        int count = 3 + int(next() % 10);
        for (int i = 0; i < count; ++i) {
            const char* w = words[next() % 24];
            d.insert(d.end(), w, w + strlen(w));
            d.push_back(' ');
        }
        char num[16];
        int len = snprintf(num, sizeof(num), "%u", next() % 1000);
        d.insert(d.end(), num, num + len);
        d.push_back('\r');
        d.push_back('\n');
    }
    d.resize(n);
    return d;
}

} // namespace

int main()
{
    const size_t size = 24u << 20;
    const int rounds = 5;
    std::vector<uint8_t> data = MakeData(size);

    VtaPack::FileSpec f;
    f.Path = "big.bin";
    f.Data = data;
    f.StoreMode = VtaPack::Mode::Lz;
    VtaPack::Options opt;
    std::vector<uint8_t> archive = VtaPack::BuildArchive({f}, opt);

    uLongf zSize = compressBound(uLong(size));
    std::vector<uint8_t> z(zSize);
    compress2(z.data(), &zSize, data.data(), uLong(size), Z_DEFAULT_COMPRESSION);
    z.resize(zSize);

    ArchiveContext c;
    Archive_ResetContext(&c);
    if (Archive_OpenFromMemory(&c, archive.data(), archive.size(), 0, 0, nullptr, nullptr) < 0) {
        printf("archive open failed\n");
        return 1;
    }
    uint64_t offset = 0, fileSize = 0;
    Archive_LocateFile(&c, 932, "big.bin", &offset, &fileSize);
    const uint8_t* stored = static_cast<const uint8_t*>(Archive_GetMemoryImage(&c)) + offset;
    std::vector<uint8_t> out(size);
    std::vector<uint8_t> warm(size);
    auto check = [&](const uint8_t* p, const char* what) {
        if (memcmp(p, data.data(), size) != 0) {
            printf("%s: mismatch\n", what);
            exit(1);
        }
    };

    // 1. The decoders alone, each into a buffer that is already in use.
    double lzBest = 1e9, zBest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double t0 = Now();
        int64_t n = Archive_LzDecompressChecked(stored, archive.size() - offset, out.data(), size);
        double t = Now() - t0;
        if (n != int64_t(size)) return 1;
        check(out.data(), "archive LZ");
        if (t < lzBest) lzBest = t;
        uLongf outSize = uLongf(size);
        t0 = Now();
        int rc = uncompress(warm.data(), &outSize, z.data(), uLong(z.size()));
        t = Now() - t0;
        if (rc != Z_OK || outSize != size) return 1;
        check(warm.data(), "inflate");
        if (t < zBest) zBest = t;
    }

    // 2. The whole archive stream (open allocates and decodes, read copies out) against inflate into a
    //    block freshly taken from the same memory layer.
    double streamBest = 1e9, zFreshBest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        double t0 = Now();
        ArchiveStream s;
        if (Archive_Stream_Open(&s, &c, "big.bin", 0) < 0) return 1;
        uint32_t got = Archive_Stream_Read(&s, out.data(), uint32_t(size));
        Archive_Stream_Close(&s);
        double t = Now() - t0;
        if (got != size) return 1;
        check(out.data(), "archive stream");
        if (t < streamBest) streamBest = t;
        t0 = Now();
        uint8_t* fresh = static_cast<uint8_t*>(Memory_Allocate(uint32_t(size), "bench_archive", __LINE__));
        uLongf outSize = uLongf(size);
        int rc = uncompress(fresh, &outSize, z.data(), uLong(z.size()));
        memcpy(warm.data(), fresh, size);
        Memory_Free(fresh);
        t = Now() - t0;
        if (rc != Z_OK) return 1;
        check(warm.data(), "inflate (fresh block)");
        if (t < zFreshBest) zFreshBest = t;
    }
    Archive_Close(&c);

    const double mb = double(size) / (1024.0 * 1024.0);
    printf("data: %.1f MB text-like; LZ-packed in the archive %.1f MB, zlib %.1f MB\n", mb,
           double(archive.size()) / (1024.0 * 1024.0), double(z.size()) / (1024.0 * 1024.0));
    printf("archive LZ decode:      %8.1f MB/s\n", mb / lzBest);
    printf("zlib inflate:           %8.1f MB/s\n", mb / zBest);
    printf("ratio (goal >= 1.5):    %8.2f\n", zBest / lzBest);
    printf("archive stream open+read:            %8.1f MB/s\n", mb / streamBest);
    printf("inflate into a fresh block + copy:   %8.1f MB/s\n", mb / zFreshBest);
    printf("ratio, whole paths:                  %8.2f\n", zFreshBest / streamBest);
    return 0;
}
