// Direct3D 11 built-in shader packs: the compiled shader code ships in the program as size-prefixed
// Base64 text of LZ-packed data. A pack of entries expands into one block holding a table of 16-bit
// sizes and the codes back to back, with a code table (pointer, size) per entry; a size of 0 marks an
// absent shader. A pack without entries (an archive image) is expanded whole.
// Stands on the archive decoders, the allocator and the log.
#pragma once

#include <stdint.h>

namespace Vantrel {

struct D3D11ShaderCode {
    const uint8_t* Code;            // nullptr when the entry is absent
    uint32_t Size;
};

struct D3D11ShaderPack {
    const char* Text;               // the pack as size-prefixed Base64 text
    int32_t EntryCount;             // entries of the size table; 0: contents used whole
    int32_t Expanded;
    uint8_t* Block;                 // the expanded contents, then the code table
    uint32_t BlockSize;             // bytes of expanded contents
    D3D11ShaderCode* Codes;         // EntryCount entries inside Block
};

// Expands the pack once: 1 when expanded (also when done before), 0 when the text is damaged or the
// block cannot be allocated (nothing kept).
int Graphics_D3D11_ShaderPack_Expand(D3D11ShaderPack* pack);
// Frees the expanded block; the pack can be expanded again.
void Graphics_D3D11_ShaderPack_Free(D3D11ShaderPack* pack);

}  // namespace Vantrel
