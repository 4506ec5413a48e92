// The writing side of the VTA archive format: LZ packing, Huffman coding, key derivation and
// scrambling, and an in-memory archive builder. Header-only, no platform dependency: used by the
// build-time packer (vtapack) and by test and benchmark programs that need archives to read.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "foundation/VtArchiveFormat.h"

namespace VtaPack {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put64At(Bytes& b, size_t at, uint64_t v)
{
    for (int i = 0; i < 8; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// ---- LZ ----------------------------------------------------------------------------------------------
// Block: unpacked size (4), packed size with header (4), escape byte, body. A match is the escape byte,
// a code byte c' (c, plus one when c is not below the escape), an optional length extension byte and a
// 1-3 byte distance - 1; c = (length - 4) low five bits << 3 | extension flag << 2 | distance bytes - 1.

inline void LzPutMatch(Bytes& out, uint8_t escape, uint32_t length, uint32_t distance)
{
    uint32_t lc = length - 4;
    uint32_t d = distance - 1;
    uint32_t db = d < 0x100 ? 1 : d < 0x10000 ? 2 : 3;
    uint32_t c = (lc & 31) << 3 | (lc >= 32 ? 4u : 0u) | (db - 1);
    if (c >= escape) c += 1;
    out.push_back(escape);
    out.push_back(uint8_t(c));
    if (lc >= 32) out.push_back(uint8_t(lc >> 5));
    for (uint32_t i = 0; i < db; ++i) out.push_back(uint8_t(d >> (8 * i)));
}

inline uint32_t LzMatchCost(uint32_t length, uint32_t distance)
{
    uint32_t d = distance - 1;
    return 2 + (length - 4 >= 32 ? 1 : 0) + (d < 0x100 ? 1 : d < 0x10000 ? 2 : 3);
}

// chainDepth bounds the search per position; window bounds the distance (at most 16 MiB).
inline Bytes LzPack(const uint8_t* src, size_t n, int chainDepth = 32, uint32_t window = 1u << 20)
{
    size_t freq[256] = {};
    for (size_t i = 0; i < n; ++i) freq[src[i]]++;
    uint8_t escape = 0;
    for (int b = 1; b < 256; ++b)
        if (freq[b] < freq[escape]) escape = uint8_t(b);
    Bytes out;
    out.reserve(n / 2 + 16);
    Put32(out, uint32_t(n));
    Put32(out, 0);
    out.push_back(escape);
    const uint32_t hashBits = 16;
    std::vector<int32_t> head(size_t(1) << hashBits, -1);
    std::vector<int32_t> prev(n, -1);
    auto hash = [&](size_t i) {
        uint32_t v;
        memcpy(&v, src + i, 4);
        return (v * 2654435761u) >> (32 - hashBits);
    };
    auto insert = [&](size_t i) {
        if (i + 4 > n) return;
        uint32_t h = hash(i);
        prev[i] = head[h];
        head[h] = int32_t(i);
    };
    size_t i = 0;
    while (i < n) {
        uint32_t bestLen = 0, bestDist = 0;
        if (i + 4 <= n) {
            int64_t cand = head[hash(i)];
            int depth = chainDepth;
            size_t maxLen = std::min<size_t>(8195, n - i);
            while (cand >= 0 && depth-- > 0 && i - size_t(cand) <= window) {
                const uint8_t* a = src + cand;
                const uint8_t* b = src + i;
                if (a[bestLen < maxLen ? bestLen : 0] == b[bestLen < maxLen ? bestLen : 0]) {
                    size_t l = 0;
                    while (l < maxLen && a[l] == b[l]) ++l;
                    if (l >= 4 && l > bestLen) {
                        uint32_t dist = uint32_t(i - size_t(cand));
                        if (LzMatchCost(uint32_t(l), dist) < l) {
                            bestLen = uint32_t(l);
                            bestDist = dist;
                            if (l == maxLen) break;
                        }
                    }
                }
                cand = prev[size_t(cand)];
            }
        }
        if (bestLen >= 4) {
            LzPutMatch(out, escape, bestLen, bestDist);
            for (size_t k = 0; k < bestLen; ++k) insert(i + k);
            i += bestLen;
        } else {
            out.push_back(src[i]);
            if (src[i] == escape) out.push_back(escape);
            insert(i);
            ++i;
        }
    }
    uint32_t packed = uint32_t(out.size());
    for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(packed >> (8 * k));
    return out;
}

// ---- Huffman -----------------------------------------------------------------------------------------
// Header bits most significant first: 6-bit n and n+1 bits decoded size, the same for the coded size,
// 256 weights (symbol 0: 3-bit w, 1 unused bit, 2(w+1) bits value; others a signed difference from
// the previous weight); then, from the next byte, the code bits least significant first.

struct BitWriterMsb {
    Bytes& out;
    uint32_t bit = 0;
    void Put(uint64_t value, uint32_t count)
    {
        for (uint32_t i = count; i-- > 0;) {
            if (bit == 0) out.push_back(0);
            if ((value >> i) & 1) out.back() |= uint8_t(0x80 >> bit);
            bit = (bit + 1) & 7;
        }
    }
};

inline uint32_t BitLength(uint64_t v)
{
    uint32_t n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Builds the 511-node tree from the weights: the two lightest parentless nodes (earliest index on a
// tie, the lightest first) become children 0 and 1 of the next node. Fills each symbol's code (first
// bit lowest) and length; false when a code would exceed 64 bits.
inline bool HuffmanCodes(const uint16_t* weights, uint64_t* codes, uint32_t* lengths)
{
    uint64_t w[511];
    int c0[511], c1[511];
    bool used[511] = {};
    for (int i = 0; i < 256; ++i) w[i] = weights[i];
    for (int node = 256; node < 511; ++node) {
        int a = -1, b = -1;
        for (int i = 0; i < node; ++i)
            if (!used[i] && (a < 0 || w[i] < w[a])) a = i;
        for (int i = 0; i < node; ++i)
            if (!used[i] && i != a && (b < 0 || w[i] < w[b])) b = i;
        used[a] = used[b] = true;
        w[node] = w[a] + w[b];
        c0[node] = a;
        c1[node] = b;
    }
    uint64_t code[511];
    uint32_t len[511];
    code[510] = 0;
    len[510] = 0;
    for (int node = 510; node >= 256; --node) {
        if (len[node] >= 64) return false;
        code[c0[node]] = code[node];
        len[c0[node]] = len[node] + 1;
        code[c1[node]] = code[node] | (uint64_t(1) << len[node]);
        len[c1[node]] = len[node] + 1;
    }
    for (int i = 0; i < 256; ++i) {
        codes[i] = code[i];
        lengths[i] = len[i];
    }
    return true;
}

inline Bytes HuffmanCode(const uint8_t* src, size_t n)
{
    uint64_t freq[256] = {};
    for (size_t i = 0; i < n; ++i) freq[src[i]]++;
    uint64_t maxFreq = *std::max_element(freq, freq + 256);
    uint16_t weights[256];
    uint64_t codes[256];
    uint32_t lengths[256];
    uint64_t limit = 65535;
    for (;;) {
        for (int i = 0; i < 256; ++i) {
            uint64_t f = freq[i];
            if (maxFreq > limit && f) f = std::max<uint64_t>(1, f * limit / maxFreq);
            weights[i] = uint16_t(f);
        }
        if (HuffmanCodes(weights, codes, lengths)) break;
        limit /= 2;
    }
    Bytes bits;
    uint64_t acc = 0;
    uint32_t accBits = 0;
    for (size_t i = 0; i < n; ++i) {
        uint64_t c = codes[src[i]];
        uint32_t l = lengths[src[i]];
        for (uint32_t k = 0; k < l; ++k) {
            acc |= ((c >> k) & 1) << accBits;
            if (++accBits == 8) {
                bits.push_back(uint8_t(acc));
                acc = 0;
                accBits = 0;
            }
        }
    }
    if (accBits) bits.push_back(uint8_t(acc));
    Bytes out;
    BitWriterMsb w{out};
    auto putSize = [&](uint64_t v) {
        uint32_t l = std::max<uint32_t>(1, BitLength(v));
        w.Put(l - 1, 6);
        w.Put(v, l);
    };
    putSize(n);
    putSize(bits.size());
    for (int i = 0; i < 256; ++i) {
        int64_t d = i == 0 ? weights[0] : int64_t(weights[i]) - int64_t(weights[i - 1]);
        uint64_t v = uint64_t(d < 0 ? -d : d);
        uint32_t l = std::max<uint32_t>(1, BitLength(v));
        uint32_t wf = (l + 1) / 2 - 1;
        w.Put(wf, 3);
        w.Put(i != 0 && d < 0 ? 1 : 0, 1);
        w.Put(v, 2 * (wf + 1));
    }
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
}

// ---- Size-prefixed Base64 ----------------------------------------------------------------------------
// The form of the built-in packs: the 32-bit size as six characters (three bytes, then one), then the
// bytes in groups of three as four characters, a last group of one or two bytes as two or three.

inline std::string Base64Encode(const uint8_t* src, size_t n)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(6 + (n + 2) / 3 * 4);
    auto group = [&](const uint8_t* p, size_t count) {
        uint32_t v = uint32_t(p[0]) << 16 | (count > 1 ? uint32_t(p[1]) << 8 : 0u) | (count > 2 ? uint32_t(p[2]) : 0u);
        for (size_t i = 0; i <= count; ++i) out += alphabet[v >> (18 - 6 * i) & 63];
    };
    const uint8_t size[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    group(size, 3);
    group(size + 3, 1);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) group(src + i, 3);
    if (i < n) group(src + i, n - i);
    return out;
}

// ---- Keys --------------------------------------------------------------------------------------------

inline uint32_t Crc32Update(uint32_t crc, uint8_t b)
{
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    return crc;
}

inline uint32_t Crc32(const uint8_t* p, size_t n)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) crc = Crc32Update(crc, p[i]);
    return ~crc;
}

inline Vantrel::ArchiveKey DeriveKey(std::string text)
{
    if (text.size() < 4) text += Vantrel::ArchiveDefaultKeyText;
    std::string even, odd;
    for (size_t i = 0; i < text.size(); ++i) (i % 2 ? odd : even).push_back(text[i]);
    uint32_t a = Crc32(reinterpret_cast<const uint8_t*>(even.data()), even.size());
    uint32_t b = Crc32(reinterpret_cast<const uint8_t*>(odd.data()), odd.size());
    Vantrel::ArchiveKey k;
    for (int i = 0; i < 4; ++i) k.Bytes[i] = uint8_t(a >> (8 * i));
    for (int i = 0; i < 3; ++i) k.Bytes[4 + i] = uint8_t(b >> (8 * i));
    return k;
}

inline void Scramble(uint8_t* p, size_t n, uint64_t position, const Vantrel::ArchiveKey& key)
{
    for (size_t i = 0; i < n; ++i) p[i] ^= key.Bytes[(position + i) % 7];
}

// ---- Archive builder ---------------------------------------------------------------------------------

enum class Mode { Raw, Lz, Huffman, LzHuffman };

struct FileSpec {
    std::string Path;      // inside the archive, components separated by '/' or '\\', single-byte names
    Bytes Data;
    Mode StoreMode = Mode::Raw;
    uint64_t WriteTime = 0; // FILETIME
};

struct Options {
    bool NoKey = false;
    std::string KeyText;    // empty: the default key text
    bool DirectoryUnpacked = false;
    uint8_t HuffmanKB = 255;
    uint32_t CodePage = 932;
};

inline std::string Upper(const std::string& s)
{
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return u;
}

struct BuildDir;
struct BuildEntry {
    std::string Name;
    bool IsDir = false;
    const FileSpec* File = nullptr;
    BuildDir* Dir = nullptr;
};
struct BuildDir {
    std::string Name;
    BuildDir* Parent = nullptr;
    std::vector<BuildEntry> Entries;
    std::vector<BuildDir*> Owned;
    ~BuildDir()
    {
        for (BuildDir* d : Owned) delete d;
    }
    BuildDir* Sub(const std::string& name)
    {
        for (BuildEntry& e : Entries)
            if (e.IsDir && Upper(e.Name) == Upper(name)) return e.Dir;
        BuildDir* d = new BuildDir;
        d->Name = name;
        d->Parent = this;
        Owned.push_back(d);
        BuildEntry e;
        e.Name = name;
        e.IsDir = true;
        e.Dir = d;
        Entries.push_back(e);
        return d;
    }
};

inline std::vector<std::string> SplitPath(const std::string& p)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : p) {
        if (c == '/' || c == '\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

// Appends a name record: length in 4-byte units, parity of the upper-case bytes, upper-case copy,
// case-preserving copy, each zero-padded to 4 x units bytes.
inline uint64_t PutName(Bytes& names, const std::string& name)
{
    uint64_t at = names.size();
    uint32_t units = uint32_t(name.size() / 4 + 1);
    const std::string up = Upper(name);
    uint32_t parity = 0;
    for (unsigned char c : up) parity += c;
    names.push_back(uint8_t(units));
    names.push_back(uint8_t(units >> 8));
    names.push_back(uint8_t(parity));
    names.push_back(uint8_t(parity >> 8));
    for (const std::string* s : {&up, &name}) {
        names.insert(names.end(), s->begin(), s->end());
        names.insert(names.end(), units * 4 - s->size(), 0);
    }
    return at;
}

inline Bytes BuildArchive(const std::vector<FileSpec>& files, const Options& opt)
{
    BuildDir root;
    for (const FileSpec& f : files) {
        std::vector<std::string> parts = SplitPath(f.Path);
        if (parts.empty()) continue;
        BuildDir* d = &root;
        for (size_t i = 0; i + 1 < parts.size(); ++i) d = d->Sub(parts[i]);
        BuildEntry e;
        e.Name = parts.back();
        e.File = &f;
        d->Entries.push_back(e);
    }
    std::string keyText = opt.KeyText.empty() ? std::string(Vantrel::ArchiveDefaultKeyText) : opt.KeyText;
    if (keyText.size() > 63) keyText.resize(63);

    // Directories in breadth-first order; each directory's entries are consecutive in the file table.
    std::vector<BuildDir*> dirs{&root};
    for (size_t i = 0; i < dirs.size(); ++i)
        for (BuildEntry& e : dirs[i]->Entries)
            if (e.IsDir) dirs.push_back(e.Dir);
    Bytes names;
    PutName(names, "");
    std::vector<uint64_t> firstEntry(dirs.size());
    std::vector<uint64_t> ownEntry(dirs.size());
    uint64_t fileIndex = 1; // entry 0 names the root
    for (size_t i = 0; i < dirs.size(); ++i) {
        firstEntry[i] = fileIndex * 72;
        for (BuildEntry& e : dirs[i]->Entries) {
            if (e.IsDir)
                for (size_t j = 0; j < dirs.size(); ++j)
                    if (dirs[j] == e.Dir) ownEntry[j] = fileIndex * 72;
            ++fileIndex;
        }
    }
    auto dirIndex = [&](const BuildDir* d) {
        return size_t(std::find(dirs.begin(), dirs.end(), d) - dirs.begin());
    };

    Bytes data;
    Bytes fileTable(size_t(fileIndex) * 72, 0);
    auto putEntry = [&](uint64_t at, uint64_t nameOff, uint64_t attr, uint64_t time, uint64_t dataOff,
                        uint64_t size, uint64_t lz, uint64_t huff) {
        uint64_t v[9] = {nameOff, attr, time, time, time, dataOff, size, lz, huff};
        for (int k = 0; k < 9; ++k) Put64At(fileTable, size_t(at) + 8 * k, v[k]);
    };
    putEntry(0, 0, 0x10, 0, 0, 0, Vantrel::ArchiveNone, Vantrel::ArchiveNone);
    uint64_t at = 72;
    const uint64_t edge = uint64_t(opt.HuffmanKB) * 1024;
    for (size_t di = 0; di < dirs.size(); ++di) {
        for (BuildEntry& e : dirs[di]->Entries) {
            uint64_t nameOff = PutName(names, e.Name);
            if (e.IsDir) {
                putEntry(at, nameOff, 0x10, 0, dirIndex(e.Dir) * 32, 0, Vantrel::ArchiveNone, Vantrel::ArchiveNone);
                at += 72;
                continue;
            }
            const FileSpec& f = *e.File;
            uint64_t size = f.Data.size();
            uint64_t lzSize = Vantrel::ArchiveNone, huffSize = Vantrel::ArchiveNone;
            Bytes stored;
            Bytes s = f.Data;
            if (size > 0 && (f.StoreMode == Mode::Lz || f.StoreMode == Mode::LzHuffman)) {
                s = LzPack(f.Data.data(), f.Data.size());
                lzSize = s.size();
            }
            if (size > 0 && (f.StoreMode == Mode::Huffman || f.StoreMode == Mode::LzHuffman)) {
                bool partial = opt.HuffmanKB != 255 && s.size() > 2 * edge;
                if (partial) {
                    Bytes ends(s.begin(), s.begin() + edge);
                    ends.insert(ends.end(), s.end() - edge, s.end());
                    stored = HuffmanCode(ends.data(), ends.size());
                    huffSize = stored.size();
                    stored.insert(stored.end(), s.begin() + edge, s.end() - edge);
                } else {
                    stored = HuffmanCode(s.data(), s.size());
                    huffSize = stored.size();
                }
            } else {
                stored = s;
            }
            if (!opt.NoKey && !stored.empty()) {
                std::string kt = keyText + Upper(e.Name);
                for (const BuildDir* d = dirs[di]; d->Parent; d = d->Parent) kt += Upper(d->Name);
                if (kt.size() > 2039) kt.resize(2039);
                Scramble(stored.data(), stored.size(), size, DeriveKey(kt));
            }
            putEntry(at, nameOff, 0x20, f.WriteTime, data.size(), size, lzSize, huffSize);
            data.insert(data.end(), stored.begin(), stored.end());
            at += 72;
        }
    }
    // Directory block: names, then (8-aligned) the file table, then the directory table.
    Bytes block = names;
    while (block.size() % 8) block.push_back(0);
    uint64_t fileTableOffset = block.size();
    block.insert(block.end(), fileTable.begin(), fileTable.end());
    uint64_t dirTableOffset = block.size();
    for (size_t i = 0; i < dirs.size(); ++i) {
        size_t o = block.size();
        block.resize(o + 32);
        uint64_t parent = dirs[i]->Parent ? dirIndex(dirs[i]->Parent) * 32 : Vantrel::ArchiveNone;
        Put64At(block, o, i == 0 ? 0 : ownEntry[i]);
        Put64At(block, o + 8, parent);
        Put64At(block, o + 16, dirs[i]->Entries.size());
        Put64At(block, o + 24, firstEntry[i]);
    }
    Bytes storedBlock;
    if (opt.DirectoryUnpacked) {
        storedBlock = block;
    } else {
        Bytes lz = LzPack(block.data(), block.size());
        storedBlock = HuffmanCode(lz.data(), lz.size());
    }
    if (!opt.NoKey) Scramble(storedBlock.data(), storedBlock.size(), 0, DeriveKey(keyText));

    Bytes out(64, 0);
    out[0] = 'V';
    out[1] = 'T';
    out[2] = 8;
    for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(block.size() >> (8 * k));
    Put64At(out, 8, 64);
    Put64At(out, 16, 64 + data.size());
    Put64At(out, 24, fileTableOffset);
    Put64At(out, 32, dirTableOffset);
    for (int k = 0; k < 4; ++k) out[40 + k] = uint8_t(opt.CodePage >> (8 * k));
    uint32_t flags = (opt.NoKey ? 1u : 0u) | (opt.DirectoryUnpacked ? 2u : 0u);
    out[44] = uint8_t(flags);
    out[48] = opt.HuffmanKB;
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), storedBlock.begin(), storedBlock.end());
    return out;
}

} // namespace VtaPack
