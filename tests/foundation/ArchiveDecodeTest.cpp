// Archive decoders against blocks assembled by hand (LZ codes, the Huffman header and tie rule, the
// size-prefixed Base64, CRC-32, keys), and the packer's output pinned to the same hand-made bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/VtArchive.h"
#include "tools/VtaEncode.h"

using namespace Vantrel;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes LzBlock(uint32_t unpacked, uint8_t escape, const Bytes& body)
{
    Bytes b;
    uint32_t packed = uint32_t(9 + body.size());
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(unpacked >> (8 * i)));
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(packed >> (8 * i)));
    b.push_back(escape);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

std::string Unpack(const Bytes& block)
{
    int64_t size = Archive_LzDecompressChecked(block.data(), block.size(), nullptr, 0);
    if (size < 0) return "<refused>";
    std::string out(size_t(size), '\0');
    if (Archive_LzDecompressChecked(block.data(), block.size(), out.data(), out.size()) != size) return "<refused>";
    return out;
}

// Bits written most significant first, as the Huffman header is read.
struct Bits {
    Bytes bytes;
    int used = 0;
    Bits& Put(uint64_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (used % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (used % 8));
            ++used;
        }
        return *this;
    }
};

} // namespace

TEST(ArchiveLz, HandAssembledCodes)
{
    struct Case {
        const char* what;
        Bytes block;
        std::string expected;
    } cases[] = {
        // Escape 0x00: code 0x01 is above the escape, becomes 0x00: length 4, one distance byte (0 -> 1).
        {"escape 0, code 1", LzBlock(5, 0x00, {0x41, 0x00, 0x01, 0x00}), "AAAAA"},
        // The escape byte twice is one literal escape byte.
        {"escaped escape", LzBlock(3, 0x80, {0x61, 0x80, 0x80, 0x62}), std::string("a\x80" "b", 3)},
        // Escape 0x80, code 0x79 below it is used unchanged: length code 15 (19 bytes), two distance bytes.
        {"code below escape", LzBlock(22, 0x80, {'a', 'b', 'c', 0x80, 0x79, 0x02, 0x00}), "abcabcabcabcabcabcabca"},
        // Escape 0x10, code 0x12 above it becomes 0x11: length 6, two distance bytes (1 -> 2).
        {"code above escape", LzBlock(8, 0x10, {'x', 'y', 0x10, 0x12, 0x01, 0x00}), "xyxyxyxy"},
        // Distance 1, length 10 repeats the previous byte ten times (code 6 << 3 = 0x30, stored 0x31).
        {"distance 1 length 10", LzBlock(11, 0x00, {'Z', 0x00, 0x31, 0x00}), std::string(11, 'Z')},
        // Extension byte: code 0x2C (length code low bits 5, extension flag), extension 1: length 41.
        {"length extension", LzBlock(42, 0xFF, {'q', 0xFF, 0x2C, 0x01, 0x00}), std::string(42, 'q')},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Unpack(c.block)) << c.what;
}

TEST(ArchiveLz, SizeQueryReadsOnlyTheHeader)
{
    Bytes header = LzBlock(123456, 0x00, {});
    header[4] = 200;  // claims a body that is not there
    EXPECT_EQ(123456u, Archive_LzDecompress(header.data(), nullptr));
}

TEST(ArchiveLz, DamagedBlocksAreRefused)
{
    struct Case {
        const char* what;
        Bytes block;
    } cases[] = {
        {"distance before the start", LzBlock(5, 0x00, {0x41, 0x00, 0x01, 0x05})},
        {"match past the declared size", LzBlock(4, 0x00, {0x41, 0x00, 0x01, 0x00})},
        {"code cut off at the end", LzBlock(2, 0x00, {0x41, 0x00})},
        {"distance bytes cut off", LzBlock(9, 0x00, {0x41, 0x00, 0x02, 0x00})},
        {"unused distance size", LzBlock(9, 0x00, {0x41, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00})},
        {"fewer bytes than declared", LzBlock(9, 0x00, {0x41})},
        {"literal past the declared size", LzBlock(1, 0x00, {0x41, 0x42})},
    };
    for (const Case& c : cases) EXPECT_EQ("<refused>", Unpack(c.block)) << c.what;
    Bytes shortBlock = LzBlock(1, 0x00, {0x41});
    EXPECT_EQ(-1, Archive_LzDecompressChecked(shortBlock.data(), shortBlock.size() - 1, nullptr, 0)) << "packed size beyond the input";
}

TEST(ArchiveLz, PackerWritesTheHandAssembledCodes)
{
    const char* five = "AAAAA";
    EXPECT_EQ(LzBlock(5, 0x00, {0x41, 0x00, 0x01, 0x00}), VtaPack::LzPack(reinterpret_cast<const uint8_t*>(five), 5));
    struct Case {
        uint8_t escape;
        uint32_t length, distance;
        Bytes expected;
    } cases[] = {
        {0x00, 4, 1, {0x00, 0x01, 0x00}},
        {0x80, 19, 3, {0x80, 0x78, 0x02}},        // one distance byte: code 15 << 3 | 0
        {0x10, 6, 258, {0x10, 0x12, 0x01, 0x01}},
        {0xFF, 41, 1, {0xFF, 0x2C, 0x01, 0x00}},
        {0x00, 8195, 16777216, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        Bytes out;
        VtaPack::LzPutMatch(out, c.escape, c.length, c.distance);
        EXPECT_EQ(c.expected, out) << "length " << c.length << " distance " << c.distance;
    }
}

TEST(ArchiveHuffman, EqualWeightsTieToTheLowerIndexAsChildZero)
{
    // Decoded size 1, coded size 1, all 256 weights 1: the tree is balanced and, with the lower index
    // as child 0, a symbol's code is its bits from the highest; 'A' 0x41 = 01000001 read least
    // significant bit first in the byte gives 0x82.
    Bits h;
    h.Put(0, 6).Put(1, 1).Put(0, 6).Put(1, 1);
    h.Put(0, 3).Put(0, 1).Put(1, 2);
    for (int i = 1; i < 256; ++i) h.Put(0, 3).Put(0, 1).Put(0, 2);
    ASSERT_EQ(194u, h.bytes.size());
    EXPECT_EQ(0x02, h.bytes[0]);
    EXPECT_EQ(0x04, h.bytes[1]);
    EXPECT_EQ(0x10, h.bytes[2]);
    Bytes block = h.bytes;
    block.push_back(0x82);
    uint8_t out = 0;
    EXPECT_EQ(1u, Archive_HuffmanDecode(block.data(), nullptr));
    ASSERT_EQ(1, Archive_HuffmanDecodeChecked(block.data(), block.size(), &out, 1));
    EXPECT_EQ(0x41, out);
}

namespace {

// One symbol of weight 3 among 255 of weight 0: the root's children are the zero subtree (lighter,
// child 0) and the symbol (child 1), so the symbol's code is the single bit 1.
// codedBytes 0: the coded size the code bits need.
Bytes SingleSymbolBlock(uint8_t symbol, uint32_t count, uint32_t codedBytes = 0)
{
    Bits h;
    uint32_t sizeBits = 0;
    while ((count >> sizeBits) > 1) ++sizeBits;
    h.Put(sizeBits, 6).Put(count, int(sizeBits + 1));
    if (codedBytes == 0) codedBytes = (count + 7) / 8;
    uint32_t codedBits = 0;
    while ((codedBytes >> codedBits) > 1) ++codedBits;
    h.Put(codedBits, 6).Put(codedBytes, int(codedBits + 1));
    for (int i = 0; i < 256; ++i) {
        if (i == symbol) h.Put(0, 3).Put(0, 1).Put(3, 2);                      // +3
        else if (i == symbol + 1) h.Put(0, 3).Put(1, 1).Put(3, 2);             // -3
        else h.Put(0, 3).Put(0, 1).Put(0, 2);
    }
    Bytes block = h.bytes;
    for (uint32_t i = 0; i < count; i += 8) block.push_back(uint8_t((1u << (count - i >= 8 ? 8 : count - i)) - 1));
    return block;
}

} // namespace

TEST(ArchiveHuffman, OneWeightedSymbolAmongZeros)
{
    Bytes block = SingleSymbolBlock('A', 3);
    EXPECT_EQ(0x07, block.back());
    char out[3] = {};
    ASSERT_EQ(3, Archive_HuffmanDecodeChecked(block.data(), block.size(), out, 3));
    EXPECT_EQ(std::string("AAA"), std::string(out, 3));
    // The packer codes "AAA" to exactly this block.
    EXPECT_EQ(block, VtaPack::HuffmanCode(reinterpret_cast<const uint8_t*>("AAA"), 3));
}

TEST(ArchiveHuffman, DamagedBlocksAreRefused)
{
    Bytes block = SingleSymbolBlock('A', 20);
    std::vector<uint8_t> out(64);
    ASSERT_EQ(20, Archive_HuffmanDecodeChecked(block.data(), block.size(), out.data(), out.size()));
    EXPECT_EQ(-1, Archive_HuffmanDecodeChecked(block.data(), block.size() - 1, out.data(), out.size())) << "code bits cut off";
    EXPECT_EQ(-1, Archive_HuffmanDecodeChecked(block.data(), 100, out.data(), out.size())) << "header cut off";
    EXPECT_EQ(-1, Archive_HuffmanDecodeChecked(block.data(), block.size(), out.data(), 19)) << "output too small";
}

// The trusting forms serve the built-in packs: a size query reads the header alone, a decode that
// fails says so instead of passing off the header's size (or nothing) as the bytes written.
TEST(ArchiveDecode, TrustingFormsReportAFailedDecode)
{
    std::vector<uint8_t> out(64, 0);
    const Bytes lzGood = LzBlock(5, 0x00, {0x41, 0x00, 0x01, 0x00});
    EXPECT_EQ(5, Archive_LzDecompress(lzGood.data(), out.data()));
    EXPECT_EQ("AAAAA", std::string(out.begin(), out.begin() + 5));
    const Bytes lzBad = LzBlock(5, 0x00, {0x41, 0x00, 0x01, 0x05});  // distance before the start
    EXPECT_EQ(5, Archive_LzDecompress(lzBad.data(), nullptr)) << "the size query reads only the header";
    EXPECT_EQ(-1, Archive_LzDecompress(lzBad.data(), out.data()));

    const Bytes huffGood = SingleSymbolBlock('B', 20);
    EXPECT_EQ(20, Archive_HuffmanDecode(huffGood.data(), nullptr));
    EXPECT_EQ(20, Archive_HuffmanDecode(huffGood.data(), out.data()));
    EXPECT_EQ(std::string(20, 'B'), std::string(out.begin(), out.begin() + 20));
    // The header says one byte of code bits; twenty symbols need three.
    const Bytes huffBad = SingleSymbolBlock('B', 20, 1);
    EXPECT_EQ(20, Archive_HuffmanDecode(huffBad.data(), nullptr));
    EXPECT_EQ(-1, Archive_HuffmanDecode(huffBad.data(), out.data()));
}

TEST(ArchiveBase64, SizePrefixAndPayload)
{
    struct Case {
        const char* text;
        std::string expected;
    } cases[] = {
        {"AQAAAAQQ", "A"},             // size 1: six prefix characters, two payload characters
        {"AwAAAAYWJj", "abc"},         // size 3: four payload characters
        {"AgAAAAYWI", "ab"},           // size 2: three payload characters
        {"AQAAAA*A", std::string(1, '\0')},  // a character outside the alphabet counts as 0
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.expected.size(), Archive_DecodeBase64(c.text, nullptr)) << c.text;
        std::string out(c.expected.size(), '\x55');
        Archive_DecodeBase64(c.text, out.data());
        EXPECT_EQ(c.expected, out) << c.text;
    }
    // A text that ends early is not read past its terminator.
    char out[3] = {1, 1, 1};
    EXPECT_EQ(3u, Archive_DecodeBase64("AwAAAAYW", out));
    EXPECT_EQ('a', out[0]);
}

TEST(ArchiveKeys, Crc32AndKeyDerivation)
{
    EXPECT_EQ(0xCBF43926u, Archive_Crc32("123456789", 9));
    struct Case {
        const char* text;
        uint32_t length;
        Bytes expected;  // CRC-32 of the even bytes (4 bytes), then of the odd bytes (3 low bytes)
    } cases[] = {
        {"ABCD", 0, {0x91, 0x7c, 0x6e, 0x47, 0xf1, 0xba, 0x27}},
        {"abc", 0, {0x50, 0x54, 0x0c, 0xdd, 0xe8, 0xc8, 0xfd}},        // extended by the default key text
        {"abcQWMZPTRB", 0, {0x50, 0x54, 0x0c, 0xdd, 0xe8, 0xc8, 0xfd}},
        {"ABCDEFG", 4, {0x91, 0x7c, 0x6e, 0x47, 0xf1, 0xba, 0x27}},     // an explicit length of 4
    };
    for (const Case& c : cases) {
        ArchiveKey k;
        Archive_DeriveKey(c.text, c.length, &k);
        EXPECT_EQ(c.expected, Bytes(k.Bytes, k.Bytes + 7)) << c.text;
        Vantrel::ArchiveKey w = VtaPack::DeriveKey(std::string(c.text, c.length ? c.length : strlen(c.text)));
        EXPECT_EQ(c.expected, Bytes(w.Bytes, w.Bytes + 7)) << "packer, " << c.text;
    }
}

TEST(ArchiveKeys, KeyPositionFive)
{
    ArchiveKey k = {{1, 2, 3, 4, 5, 6, 7}};
    uint8_t buffer[10] = {};
    Archive_ApplyKey(buffer, 10, 5, &k);
    const uint8_t expected[10] = {6, 7, 1, 2, 3, 4, 5, 6, 7, 1};
    EXPECT_EQ(0, memcmp(expected, buffer, 10));
    Archive_ApplyKey(buffer, 10, 5, &k);
    for (uint8_t b : buffer) EXPECT_EQ(0, b);
    // Long buffers at every starting position equal the bytewise rule.
    std::vector<uint8_t> big(1000, 0);
    for (uint64_t pos = 0; pos < 14; ++pos) {
        std::fill(big.begin(), big.end(), 0);
        Archive_ApplyKey(big.data(), big.size(), pos, &k);
        for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(k.Bytes[(pos + i) % 7], big[i]) << pos << " " << i;
    }
}

TEST(ArchiveRoundTrip, PackerAndDecodersAgreeOnVariedData)
{
    uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int t = 0; t < 60; ++t) {
        size_t n = next() % (t < 30 ? 400 : 70000);
        Bytes d(n);
        uint32_t alphabet = 1 + next() % 256;
        for (size_t i = 0; i < n; ++i) d[i] = (i > 8 && next() % 3 == 0) ? d[i - 1 - next() % 8] : uint8_t(next() % alphabet);
        Bytes lz = VtaPack::LzPack(d.data(), d.size());
        Bytes out(n + 1);
        ASSERT_EQ(int64_t(n), Archive_LzDecompressChecked(lz.data(), lz.size(), out.data(), n)) << t;
        ASSERT_EQ(0, memcmp(out.data(), d.data(), n)) << t;
        Bytes h = VtaPack::HuffmanCode(d.data(), d.size());
        ASSERT_EQ(int64_t(n), Archive_HuffmanDecodeChecked(h.data(), h.size(), out.data(), n)) << t;
        ASSERT_EQ(0, memcmp(out.data(), d.data(), n)) << t;
    }
}
