// Direct3D 11 built-in shader packs: Base64 text decoded into a scratch block, the LZ data expanded
// with the checked decoder, the size table checked against the contents before any code is used.
// The text stays untouched, so a pack in read-only data can be expanded again after a free.
#include "graphics_d3d11/VtGraphicsD3D11ShaderPack.h"

#include <string.h>

#include "foundation/VtArchiveDecode.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics_d3d11/VtGraphicsD3D11Dxbc.h"

namespace Vantrel {

namespace {

const uint32_t kAllocationLimit = 0x7FFFFFFFu;

int Damaged(const char* what) {
    Log_AddTextShiftJIS("シェーダーパックが壊れています: ");
    Log_AddTextShiftJIS(what);
    Log_AddTextShiftJIS("\n");
    return 0;
}

}  // namespace

int Graphics_D3D11_ShaderPack_Expand(D3D11ShaderPack* pack) {
    if (pack == nullptr || pack->Text == nullptr || pack->EntryCount < 0) return 0;
    if (pack->Expanded) return 1;

    // The Base64 text: six characters of size, then four characters per three bytes.
    const uint64_t textLength = strlen(pack->Text);
    if (textLength < 6) return Damaged("size");
    const uint64_t packedSize = Archive_DecodeBase64(pack->Text, nullptr);
    if (packedSize < 9 || (packedSize * 4 + 2) / 3 != textLength - 6) return Damaged("size");
    uint8_t* packed = (uint8_t*)Memory_Allocate((uint32_t)packedSize, __FILE__, __LINE__);
    if (packed == nullptr) return 0;
    Archive_DecodeBase64(pack->Text, packed);

    const int64_t expandedSize = Archive_LzDecompressChecked(packed, packedSize, nullptr, 0);
    const uint64_t tableBytes = (uint64_t)pack->EntryCount * sizeof(D3D11ShaderCode);
    const uint64_t sizeBytes = (uint64_t)pack->EntryCount * 2;
    if (expandedSize < 0 || (uint64_t)expandedSize < sizeBytes || (uint64_t)expandedSize + tableBytes + 8 > kAllocationLimit) {
        Memory_Free(packed);
        return Damaged("LZ");
    }
    // Contents first, the code table after them on an 8-byte boundary.
    const uint64_t tableAt = ((uint64_t)expandedSize + 7) & ~(uint64_t)7;
    uint8_t* block = (uint8_t*)Memory_Allocate((uint32_t)(tableAt + tableBytes), __FILE__, __LINE__);
    if (block == nullptr) {
        Memory_Free(packed);
        return 0;
    }
    const int64_t written = Archive_LzDecompressChecked(packed, packedSize, block, (uint64_t)expandedSize);
    Memory_Free(packed);
    if (written != expandedSize) {
        Memory_Free(block);
        return Damaged("LZ");
    }

    D3D11ShaderCode* codes = (D3D11ShaderCode*)(block + tableAt);
    uint64_t at = sizeBytes;
    bool intact = true;
    for (int32_t i = 0; i < pack->EntryCount && intact; ++i) {
        const uint32_t size = (uint32_t)block[2 * i] | (uint32_t)block[2 * i + 1] << 8;
        codes[i].Code = size != 0 ? block + at : nullptr;
        codes[i].Size = size;
        at += size;
        // Every code is a whole container with its checksum: a damaged one never reaches the device.
        intact = at <= (uint64_t)expandedSize && (size == 0 || D3D11Dxbc_IsIntact(codes[i].Code, size));
    }
    if (!intact || (pack->EntryCount > 0 && at != (uint64_t)expandedSize)) {
        Memory_Free(block);
        return Damaged("table");
    }
    pack->Block = block;
    pack->BlockSize = (uint32_t)expandedSize;
    pack->Codes = pack->EntryCount > 0 ? codes : nullptr;
    pack->Expanded = 1;
    return 1;
}

void Graphics_D3D11_ShaderPack_Free(D3D11ShaderPack* pack) {
    if (pack == nullptr || pack->Block == nullptr) return;
    Memory_Free(pack->Block);
    pack->Block = nullptr;
    pack->BlockSize = 0;
    pack->Codes = nullptr;
    pack->Expanded = 0;
}

}  // namespace Vantrel
