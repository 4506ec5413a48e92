// Writing a built-in shader pack: a table of 16-bit sizes, then the codes back to back, LZ-packed and
// written as size-prefixed Base64 text in a C++ declaration. Header-only, used by the build-time
// shader tools (vtshasm, vtshgen).
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "tools/VtaEncode.h"

namespace VtShaderPack {

// False when a code does not fit the 16-bit size of the table.
inline bool PackText(const std::vector<std::vector<uint8_t>>& codes, std::string& text)
{
    std::vector<uint8_t> bytes;
    for (const std::vector<uint8_t>& code : codes) {
        if (code.size() > 0xFFFF) return false;
        bytes.push_back(uint8_t(code.size()));
        bytes.push_back(uint8_t(code.size() >> 8));
    }
    for (const std::vector<uint8_t>& code : codes) bytes.insert(bytes.end(), code.begin(), code.end());
    const VtaPack::Bytes packed = VtaPack::LzPack(bytes.data(), bytes.size());
    text = VtaPack::Base64Encode(packed.data(), packed.size());
    return true;
}

// A pack used whole (an archive image): the bytes LZ-packed as Base64 text.
inline std::string ImageText(const std::vector<uint8_t>& image)
{
    const VtaPack::Bytes packed = VtaPack::LzPack(image.data(), image.size());
    return VtaPack::Base64Encode(packed.data(), packed.size());
}

// "static const int VtShaderPackCount_NAME = N;" and the text as VtShaderPackText_NAME.
inline std::string Declaration(const std::string& name, size_t count, const std::string& text)
{
    std::string out = "\nstatic const int VtShaderPackCount_" + name + " = " + std::to_string(count) + ";\n";
    out += "static const char VtShaderPackText_" + name + "[] =";
    for (size_t at = 0; at < text.size(); at += 96) out += "\n    \"" + text.substr(at, 96) + "\"";
    return out + ";\n";
}

}  // namespace VtShaderPack
