// Decoders of the VTA archive format: LZ unpacking, Huffman decoding, size-prefixed Base64 (the form
// of the built-in font and shader packs), CRC-32, key derivation and XOR scrambling. Whole blocks in
// memory; no platform dependency.
#pragma once
#include <cstdint>
#include "foundation/VtArchiveFormat.h"

namespace Vantrel {

struct ArchiveBitReader {
    const uint8_t* Data;
    uint64_t BytePos;
    uint32_t BitPos;      // 0 to 7
    uint64_t Limit;       // bytes readable from Data; bits past it read as 0 and set Overrun
    int32_t Overrun;
};

// Trusting forms (built-in blobs): sizes come from the blocks' own headers. With a null output the
// header's size; with an output the size written, or -1 when the block does not decode.
int64_t Archive_LzDecompress(const void* packed, void* out);
int64_t Archive_HuffmanDecode(const void* block, void* out);
uint32_t Archive_DecodeBase64(const char* text, void* out);
// Checked forms: never read past inputBytes nor write past outBytes; -1 for a damaged block.
// With a null output only the header is read (and checked) and the size returned.
int64_t Archive_LzDecompressChecked(const void* packed, uint64_t inputBytes, void* out, uint64_t outBytes);
int64_t Archive_HuffmanDecodeChecked(const void* block, uint64_t inputBytes, void* out, uint64_t outBytes);

uint32_t Archive_Crc32(const void* data, uint32_t length);
void Archive_DeriveKey(const char* text, uint32_t length, ArchiveKey* key);
const ArchiveKey* Archive_ApplyKey(void* buffer, uint64_t length, uint64_t position, const ArchiveKey* key);
uint64_t Archive_ReadBits(ArchiveBitReader* reader, uint32_t count);

} // namespace Vantrel
