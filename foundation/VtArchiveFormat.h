// The VTA archive layout: header, directory records and name records, all little-endian.
// Pure data definitions with no platform dependency; shared by the library's reader and the
// build-time packer.
#pragma once
#include <cstddef>
#include <cstdint>

namespace Vantrel {

constexpr uint16_t ArchiveVersion = 8;
constexpr uint64_t ArchiveNone = ~uint64_t(0);          // all-ones: field not set / root parent
constexpr uint32_t ArchiveFlag_NoKey = 1;               // nothing is scrambled
constexpr uint32_t ArchiveFlag_DirectoryUnpacked = 2;   // directory block stored as it is
constexpr uint8_t ArchiveHuffmanWhole = 255;            // every Huffman-coded file is coded whole
constexpr uint32_t ArchiveKeyBytes = 7;
constexpr uint32_t ArchiveKeyTextMax = 63;
constexpr const char* ArchiveDefaultKeyText = "QWMZPTRB";

struct ArchiveHeader {
    uint8_t Magic[2];          // "VT"
    uint16_t Version;          // 8
    uint32_t DirectorySize;    // directory block size once unpacked
    uint64_t DataStart;
    uint64_t DirectoryOffset;  // archive offset of the stored directory block
    uint64_t FileTableOffset;  // inside the directory block
    uint64_t DirTableOffset;   // inside the directory block
    uint32_t CodePage;
    uint32_t Flags;
    uint8_t HuffmanKB;
    uint8_t Reserved[15];
};
static_assert(sizeof(ArchiveHeader) == 64, "archive header layout");
static_assert(offsetof(ArchiveHeader, DataStart) == 8 && offsetof(ArchiveHeader, CodePage) == 40 &&
              offsetof(ArchiveHeader, HuffmanKB) == 48, "archive header layout");

struct ArchiveFileEntry {
    uint64_t NameOffset;
    uint64_t Attributes;       // bit 4 (0x10): directory
    uint64_t CreationTime;
    uint64_t AccessTime;       // not read
    uint64_t LastWriteTime;
    uint64_t DataOffset;       // file: from data start; directory: its ArchiveDirEntry
    uint64_t Size;
    uint64_t LzSize;           // ArchiveNone: not LZ-packed
    uint64_t HuffmanSize;      // ArchiveNone: not Huffman-coded
};
static_assert(sizeof(ArchiveFileEntry) == 72, "archive file entry layout");

struct ArchiveDirEntry {
    uint64_t OwnEntry;         // file table offset of the entry naming this directory
    uint64_t Parent;           // directory table offset of the parent; ArchiveNone for the root
    uint64_t Count;            // entries in this directory
    uint64_t FirstEntry;       // file table offset of the first of them
};
static_assert(sizeof(ArchiveDirEntry) == 32, "archive directory entry layout");

constexpr uint64_t ArchiveAttribute_Directory = 0x10;

// The seven-byte scrambling key.
struct ArchiveKey {
    uint8_t Bytes[7];
};

// Stored length of a file's data (size, LZ size, Huffman size, or Huffman size + the raw middle).
inline uint64_t Archive_StoredLength(const ArchiveFileEntry& e, uint8_t huffmanKB)
{
    if (e.HuffmanSize == ArchiveNone) return e.LzSize == ArchiveNone ? e.Size : e.LzSize;
    uint64_t s = e.LzSize == ArchiveNone ? e.Size : e.LzSize;
    uint64_t edge = uint64_t(huffmanKB) * 1024;
    if (huffmanKB != ArchiveHuffmanWhole && s > 2 * edge) return e.HuffmanSize + s - 2 * edge;
    return e.HuffmanSize;
}

} // namespace Vantrel
