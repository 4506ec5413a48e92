// Decoders of the VTA archive format: LZ unpacking, Huffman decoding, size-prefixed Base64, CRC-32,
// key derivation and XOR scrambling. Work on whole blocks in memory; no platform dependency.
#include "foundation/VtArchiveDecode.h"
#include <cstring>

namespace Vantrel {

namespace {

inline uint32_t Archive_Read32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Copies a match of `length` bytes from `distance` bytes back; equal to a bytewise copy.
inline uint8_t* Archive_CopyMatch(uint8_t* d, uint32_t distance, uint32_t length, const uint8_t* outEnd)
{
    const uint8_t* src = d - distance;
    if (distance >= 8 && uint64_t(outEnd - d) >= uint64_t(length) + 8) {
        uint8_t* q = d;
        uint8_t* qe = d + length;
        do {
            memcpy(q, src, 8);
            q += 8;
            src += 8;
        } while (q < qe);
        return qe;
    }
    if (distance >= length) {
        memcpy(d, src, length);
        return d + length;
    }
    // Overlapping: the copied run doubles each step, the output stays the bytewise result.
    while (length > 0) {
        uint32_t n = uint32_t(d - src) < length ? uint32_t(d - src) : length;
        memcpy(d, src, n);
        d += n;
        length -= n;
    }
    return d;
}

} // namespace

int64_t Archive_LzDecompressChecked(const void* packed, uint64_t inputBytes, void* out, uint64_t outBytes)
{
    if (packed == nullptr || inputBytes < 9) return -1;
    const uint8_t* p = static_cast<const uint8_t*>(packed);
    uint32_t unpacked = Archive_Read32(p);
    uint32_t packedSize = Archive_Read32(p + 4);
    if (packedSize < 9 || packedSize > inputBytes) return -1;
    // No code yields more than 8195 bytes from 4 body bytes.
    if (uint64_t(unpacked) > uint64_t(packedSize - 9) * 2049) return -1;
    if (out == nullptr) return unpacked;
    if (unpacked > outBytes) return -1;
    const uint8_t escape = p[8];
    const uint8_t* s = p + 9;
    const uint8_t* end = p + packedSize;
    uint8_t* const start = static_cast<uint8_t*>(out);
    uint8_t* d = start;
    uint8_t* const dend = start + unpacked;
    while (s < end) {
        const uint8_t* e = static_cast<const uint8_t*>(memchr(s, escape, size_t(end - s)));
        if (e == nullptr) e = end;
        if (e != s) {
            size_t run = size_t(e - s);
            if (run > size_t(dend - d)) return -1;
            memcpy(d, s, run);
            d += run;
            s = e;
            continue;
        }
        if (end - s < 2) return -1;
        uint32_t c = s[1];
        s += 2;
        if (c == escape) {
            if (d == dend) return -1;
            *d++ = escape;
            continue;
        }
        if (c > escape) c -= 1;
        uint32_t lengthCode = c >> 3;
        if (c & 4) {
            if (s >= end) return -1;
            lengthCode |= uint32_t(*s++) << 5;
        }
        uint32_t distanceBytes = (c & 3) + 1;
        if (distanceBytes == 4 || uint32_t(end - s) < distanceBytes) return -1;
        uint32_t distance = s[0];
        if (distanceBytes >= 2) distance |= uint32_t(s[1]) << 8;
        if (distanceBytes >= 3) distance |= uint32_t(s[2]) << 16;
        s += distanceBytes;
        distance += 1;
        uint32_t length = lengthCode + 4;
        if (distance > uint64_t(d - start) || length > uint64_t(dend - d)) return -1;
        d = Archive_CopyMatch(d, distance, length, dend);
    }
    if (d != dend) return -1;
    return unpacked;
}

int64_t Archive_LzDecompress(const void* packed, void* out)
{
    const uint8_t* p = static_cast<const uint8_t*>(packed);
    if (out == nullptr) return Archive_Read32(p);
    return Archive_LzDecompressChecked(packed, Archive_Read32(p + 4), out, Archive_Read32(p));
}

uint64_t Archive_ReadBits(ArchiveBitReader* reader, uint32_t count)
{
    uint64_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t bit = 0;
        if (reader->BytePos < reader->Limit)
            bit = (reader->Data[reader->BytePos] >> (7 - reader->BitPos)) & 1;
        else
            reader->Overrun = 1;
        value = value << 1 | bit;
        if (++reader->BitPos == 8) {
            reader->BitPos = 0;
            reader->BytePos += 1;
        }
    }
    return value;
}

namespace {

struct HuffmanHeader {
    uint64_t DecodedSize;
    uint64_t CodedSize;
    uint64_t HeaderBytes;
    uint16_t Weights[256];
};

// Reads the bit-packed header; -1 when it runs past the input.
int Archive_Huffman_ReadHeader(const uint8_t* p, uint64_t inputBytes, HuffmanHeader* h)
{
    ArchiveBitReader r = {p, 0, 0, inputBytes, 0};
    uint32_t n = uint32_t(Archive_ReadBits(&r, 6));
    h->DecodedSize = Archive_ReadBits(&r, n + 1);
    n = uint32_t(Archive_ReadBits(&r, 6));
    h->CodedSize = Archive_ReadBits(&r, n + 1);
    uint16_t weight = 0;
    for (int i = 0; i < 256; ++i) {
        uint32_t w = uint32_t(Archive_ReadBits(&r, 3));
        uint32_t sign = uint32_t(Archive_ReadBits(&r, 1));
        uint16_t v = uint16_t(Archive_ReadBits(&r, 2 * (w + 1)));
        if (i == 0) weight = v;
        else weight = sign && i != 0 ? uint16_t(weight - v) : uint16_t(weight + v);
        h->Weights[i] = weight;
    }
    if (r.BitPos != 0) {
        r.BitPos = 0;
        r.BytePos += 1;
    }
    if (r.Overrun || r.BytePos > inputBytes) return -1;
    h->HeaderBytes = r.BytePos;
    return 0;
}

} // namespace

int64_t Archive_HuffmanDecodeChecked(const void* block, uint64_t inputBytes, void* out, uint64_t outBytes)
{
    if (block == nullptr) return -1;
    const uint8_t* p = static_cast<const uint8_t*>(block);
    HuffmanHeader h;
    if (Archive_Huffman_ReadHeader(p, inputBytes, &h) < 0) return -1;
    // Every symbol takes at least one code bit.
    if (h.DecodedSize > (inputBytes - h.HeaderBytes) * 8) return -1;
    if (out == nullptr) return int64_t(h.DecodedSize);
    if (h.DecodedSize > outBytes) return -1;

    // The tree: nodes 0-255 the symbols, 256-510 made lightest pair first, earliest index on ties.
    uint64_t weight[511];
    uint16_t child[2][511];
    uint16_t parent[511];
    uint8_t hasParent[511];
    for (int i = 0; i < 256; ++i) weight[i] = h.Weights[i];
    memset(hasParent, 0, sizeof(hasParent));
    for (int made = 256; made < 511; ++made) {
        int lightest = -1, second = -1;
        for (int i = 0; i < made; ++i) {
            if (hasParent[i]) continue;
            if (lightest < 0 || weight[i] < weight[lightest]) lightest = i;
        }
        for (int i = 0; i < made; ++i) {
            if (hasParent[i] || i == lightest) continue;
            if (second < 0 || weight[i] < weight[second]) second = i;
        }
        weight[made] = weight[lightest] + weight[second];
        child[0][made] = uint16_t(lightest);
        child[1][made] = uint16_t(second);
        hasParent[lightest] = hasParent[second] = 1;
        parent[lightest] = parent[second] = uint16_t(made);
    }
    (void)parent;

    // Depth and code bits (in reading order, first bit lowest) of every node, root 510 first.
    uint32_t depth[511];
    uint32_t code[511];
    depth[510] = 0;
    code[510] = 0;
    for (int n = 510; n >= 256; --n) {
        for (int b = 0; b < 2; ++b) {
            int c = child[b][n];
            depth[c] = depth[n] + 1;
            code[c] = depth[n] < 31 ? code[n] | (uint32_t(b) << depth[n]) : code[n];
        }
    }
    // Lookup table on the next 9 code bits: the first node in index order whose code matches.
    uint16_t tableNode[512];
    uint8_t tableBits[512];
    uint8_t tableSet[512];
    memset(tableSet, 0, sizeof(tableSet));
    for (int n = 0; n < 511; ++n) {
        if (depth[n] > 9) continue;
        uint32_t len = depth[n];
        for (uint32_t hi = 0; hi < (1u << (9 - len)); ++hi) {
            uint32_t x = code[n] | (hi << len);
            if (tableSet[x]) continue;
            tableSet[x] = 1;
            tableNode[x] = uint16_t(n);
            tableBits[x] = uint8_t(len);
        }
    }

    const uint8_t* q = p + h.HeaderBytes;
    const uint8_t* qe = p + inputBytes;
    const uint64_t availableBits = uint64_t(qe - q) * 8;
    uint64_t consumed = 0;
    uint64_t buf = 0;
    uint32_t cnt = 0;
    uint8_t* o = static_cast<uint8_t*>(out);
    uint8_t* oe = o + h.DecodedSize;
    while (o < oe) {
        if (cnt < 9) {
            if (qe - q >= 8) {
                uint64_t v;
                memcpy(&v, q, 8);
                buf |= v << cnt;
                q += (63 - cnt) >> 3;
                cnt |= 56;
            } else {
                while (cnt <= 56) {
                    uint64_t b = q < qe ? *q++ : 0;
                    buf |= b << cnt;
                    cnt += 8;
                }
            }
        }
        uint32_t x = uint32_t(buf & 511);
        uint32_t node = tableNode[x];
        uint32_t len = tableBits[x];
        buf >>= len;
        cnt -= len;
        consumed += len;
        while (node >= 256) {
            if (cnt == 0) {
                buf = q < qe ? *q++ : 0;
                cnt = 8;
            }
            node = child[buf & 1][node];
            buf >>= 1;
            cnt -= 1;
            consumed += 1;
            if (consumed > availableBits) return -1;
        }
        if (consumed > availableBits) return -1;
        *o++ = uint8_t(node);
    }
    return int64_t(h.DecodedSize);
}

// Trusted blocks: the input ends where the header's coded size says.
int64_t Archive_HuffmanDecode(const void* block, void* out)
{
    HuffmanHeader h;
    if (Archive_Huffman_ReadHeader(static_cast<const uint8_t*>(block), ~uint64_t(0) >> 8, &h) < 0) return -1;
    // No block in memory decodes to 2^63 bytes or more.
    if (h.DecodedSize > uint64_t(INT64_MAX) || h.CodedSize > (~uint64_t(0) >> 8)) return -1;
    if (out == nullptr) return int64_t(h.DecodedSize);
    return Archive_HuffmanDecodeChecked(block, h.HeaderBytes + h.CodedSize, out, h.DecodedSize);
}

uint32_t Archive_DecodeBase64(const char* text, void* out)
{
    // Characters are read up to the terminator only; anything missing or outside the alphabet is 0.
    bool ended = false;
    const char* t = text;
    auto next = [&]() -> uint32_t {
        if (ended) return 0;
        char c = *t;
        if (c == 0) {
            ended = true;
            return 0;
        }
        ++t;
        if (c >= 'A' && c <= 'Z') return uint32_t(c - 'A');
        if (c >= 'a' && c <= 'z') return uint32_t(c - 'a' + 26);
        if (c >= '0' && c <= '9') return uint32_t(c - '0' + 52);
        if (c == '+') return 62;
        if (c == '/') return 63;
        return 0;
    };
    uint32_t s[6];
    for (int i = 0; i < 6; ++i) s[i] = next();
    uint8_t b[4] = {uint8_t(s[0] << 2 | s[1] >> 4), uint8_t(s[1] << 4 | s[2] >> 2), uint8_t(s[2] << 6 | s[3]),
                    uint8_t(s[4] << 2 | s[5] >> 4)};
    uint32_t size = Archive_Read32(b);
    if (out == nullptr) return size;
    uint8_t* o = static_cast<uint8_t*>(out);
    uint32_t groups = size / 3;
    for (uint32_t g = 0; g < groups; ++g) {
        uint32_t a = next(), b1 = next(), c = next(), d = next();
        *o++ = uint8_t(a << 2 | b1 >> 4);
        *o++ = uint8_t(b1 << 4 | c >> 2);
        *o++ = uint8_t(c << 6 | d);
    }
    uint32_t rest = size % 3;
    if (rest == 1) {
        uint32_t a = next(), b1 = next();
        *o++ = uint8_t(a << 2 | b1 >> 4);
    } else if (rest == 2) {
        uint32_t a = next(), b1 = next(), c = next();
        *o++ = uint8_t(a << 2 | b1 >> 4);
        *o++ = uint8_t(b1 << 4 | c >> 2);
    }
    return size;
}

namespace {

uint32_t Archive_CrcTable[256];
volatile int Archive_CrcTableReady = 0;

void Archive_Crc_Setup()
{
    if (Archive_CrcTableReady) return;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        Archive_CrcTable[i] = c;
    }
    Archive_CrcTableReady = 1;
}

inline uint32_t Archive_Crc_Step(uint32_t crc, uint8_t byte)
{
    return Archive_CrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

} // namespace

uint32_t Archive_Crc32(const void* data, uint32_t length)
{
    Archive_Crc_Setup();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < length; ++i) crc = Archive_Crc_Step(crc, p[i]);
    return ~crc;
}

void Archive_DeriveKey(const char* text, uint32_t length, ArchiveKey* key)
{
    Archive_Crc_Setup();
    const uint8_t* t = reinterpret_cast<const uint8_t*>(text ? text : "");
    if (length == 0) length = uint32_t(strlen(reinterpret_cast<const char*>(t)));
    const uint8_t* extra = nullptr;
    uint32_t extraLength = 0;
    if (length < 4) {
        extra = reinterpret_cast<const uint8_t*>(ArchiveDefaultKeyText);
        extraLength = uint32_t(strlen(ArchiveDefaultKeyText));
    }
    uint32_t even = 0xFFFFFFFFu, odd = 0xFFFFFFFFu;
    uint32_t total = length + extraLength;
    for (uint32_t i = 0; i < total; ++i) {
        uint8_t b = i < length ? t[i] : extra[i - length];
        if (i & 1) odd = Archive_Crc_Step(odd, b);
        else even = Archive_Crc_Step(even, b);
    }
    uint32_t a = ~even, c = ~odd;
    key->Bytes[0] = uint8_t(a);
    key->Bytes[1] = uint8_t(a >> 8);
    key->Bytes[2] = uint8_t(a >> 16);
    key->Bytes[3] = uint8_t(a >> 24);
    key->Bytes[4] = uint8_t(c);
    key->Bytes[5] = uint8_t(c >> 8);
    key->Bytes[6] = uint8_t(c >> 16);
}

const ArchiveKey* Archive_ApplyKey(void* buffer, uint64_t length, uint64_t position, const ArchiveKey* key)
{
    uint8_t* p = static_cast<uint8_t*>(buffer);
    uint32_t k = uint32_t(position % 7);
    uint64_t i = 0;
    while (i < length && k != 0) {
        p[i++] ^= key->Bytes[k];
        k = k == 6 ? 0 : k + 1;
    }
    // Aligned to key byte 0: whole seven-byte groups.
    const uint8_t* kb = key->Bytes;
    for (; i + 7 <= length; i += 7) {
        p[i] ^= kb[0];
        p[i + 1] ^= kb[1];
        p[i + 2] ^= kb[2];
        p[i + 3] ^= kb[3];
        p[i + 4] ^= kb[4];
        p[i + 5] ^= kb[5];
        p[i + 6] ^= kb[6];
    }
    for (k = 0; i < length; ++i, ++k) p[i] ^= kb[k];
    return key;
}

} // namespace Vantrel
