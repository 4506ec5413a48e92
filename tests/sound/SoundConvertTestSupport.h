// Helpers of the sound conversion tests: the made files, reference WAVE data, streams over memory
// (optionally ending flush against a no-access page so that any read past the end faults), whole
// decodes and sample comparisons with a stated tolerance.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/VtStream.h"
#include "sound/VtSoundConvert.h"

namespace SoundTest {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFixture(const char* name)
{
    std::wstring path = L"Z:";
    for (const char* p = VT_SOUND_FIXTURE_DIR; *p; ++p) path.push_back(*p == '/' ? L'\\' : wchar_t(uint8_t(*p)));
    path += L"\\";
    for (const char* p = name; *p; ++p) path.push_back(wchar_t(uint8_t(*p)));
    Bytes out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), got = 0;
    out.resize(size);
    if (size != 0 && !ReadFile(h, out.data(), size, &got, nullptr)) got = 0;
    out.resize(got);
    CloseHandle(h);
    return out;
}

// The samples of a reference WAVE file (PCM 8/16 bits, or 32-bit float scaled to 16-bit units).
struct ReferencePcm {
    int Channels = 0;
    int Rate = 0;
    std::vector<double> Samples;  // interleaved, in 16-bit units
};

inline ReferencePcm ReadReferenceWave(const Bytes& file)
{
    ReferencePcm out;
    size_t at = 12;
    int tag = 0, bits = 0;
    while (at + 8 <= file.size()) {
        uint32_t size;
        memcpy(&size, &file[at + 4], 4);
        const uint8_t* body = &file[at + 8];
        if (memcmp(&file[at], "fmt ", 4) == 0) {
            tag = body[0] | body[1] << 8;
            out.Channels = body[2] | body[3] << 8;
            memcpy(&out.Rate, body + 4, 4);
            bits = body[14] | body[15] << 8;
            if (tag == 0xFFFE) tag = body[24] | body[25] << 8;
        } else if (memcmp(&file[at], "data", 4) == 0) {
            size_t end = size > file.size() - at - 8 ? file.size() - at - 8 : size;
            for (size_t i = 0; i + bits / 8 <= end; i += bits / 8) {
                if (tag == 3 && bits == 32) {
                    float f;
                    memcpy(&f, body + i, 4);
                    out.Samples.push_back(f * 32768.0);
                } else if (bits == 16) {
                    out.Samples.push_back(int16_t(body[i] | body[i + 1] << 8));
                } else if (bits == 8) {
                    out.Samples.push_back(body[i]);
                }
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

// A copy of a block whose last byte lies just before a no-access page.
class GuardedBlock {
public:
    explicit GuardedBlock(const Bytes& data)
    {
        SIZE_T pages = (data.size() + 4095) / 4096 + 1;
        base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + (pages - 1) * 4096, 4096, PAGE_NOACCESS, &old);
        data_ = base_ + (pages - 1) * 4096 - data.size();
        if (!data.empty()) memcpy(data_, data.data(), data.size());
        size_ = data.size();
    }
    ~GuardedBlock() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    const uint8_t* Data() const { return data_; }
    uint32_t Size() const { return uint32_t(size_); }

private:
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// A memory stream over a block (closed by the destructor).
class MemorySource {
public:
    MemorySource(const void* data, uint32_t size)
    {
        stream_.ops = *Vantrel::File_GetMemStreamOps();
        stream_.data = Vantrel::File_MemStream_Open(data, size);
    }
    explicit MemorySource(const Bytes& data) : MemorySource(data.data(), uint32_t(data.size())) {}
    ~MemorySource() { Vantrel::File_MemStream_Close(stream_.data); }
    MemorySource(const MemorySource&) = delete;
    MemorySource& operator=(const MemorySource&) = delete;
    const Vantrel::Stream* Get() const { return &stream_; }

private:
    Vantrel::Stream stream_;
};

// Runs the conversion to its end in pieces of the given size; stops after limit bytes.
inline Bytes RunToEnd(Vantrel::SoundConvertRecord* record, int64_t piece = 10000, int64_t limit = INT64_MAX)
{
    Bytes out;
    std::vector<uint8_t> buffer(static_cast<size_t>(piece));
    while (int64_t(out.size()) < limit) {
        int64_t got = Vantrel::SoundConvert_Run(record, buffer.data(), piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        if (got < piece) break;
    }
    return out;
}

inline std::vector<int16_t> AsSamples16(const Bytes& pcm)
{
    std::vector<int16_t> out(pcm.size() / 2);
    if (!out.empty()) memcpy(out.data(), pcm.data(), out.size() * 2);
    return out;
}

// How far decoded samples lie from a reference over the samples both have, from an offset into the
// reference (in interleaved samples).
struct Difference {
    double MaxAbs = 0;
    double Rms = 0;
    size_t Compared = 0;
};

inline Difference Compare(const std::vector<int16_t>& decoded, const std::vector<double>& reference,
                          ptrdiff_t referenceOffset = 0)
{
    Difference d;
    double sum = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        ptrdiff_t r = ptrdiff_t(i) + referenceOffset;
        if (r < 0) continue;
        if (size_t(r) >= reference.size()) break;
        double e = decoded[i] - reference[size_t(r)];
        if (e < 0) e = -e;
        if (e > d.MaxAbs) d.MaxAbs = e;
        sum += e * e;
        ++d.Compared;
    }
    if (d.Compared != 0) d.Rms = std::sqrt(sum / double(d.Compared));
    return d;
}

}  // namespace SoundTest
