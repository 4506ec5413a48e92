// Writing a built-in shader pack: a table of 16-bit sizes, then the codes back to back, or an archive
// of the codes by name, LZ-packed and written as size-prefixed Base64 text in a C++ declaration; and
// the source and header files around it. Header-only, used by the build-time shader tools (vtshasm,
// vtshgen, vtshgen9).
#pragma once
#include <cstdint>
#include <cstdio>
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

// An archive of the codes under their names (files stored as they are) as pack text.
inline std::string ArchiveText(const std::vector<std::string>& names, const std::vector<std::vector<uint8_t>>& codes,
                               const VtaPack::Options& options = VtaPack::Options())
{
    std::vector<VtaPack::FileSpec> files;
    for (size_t i = 0; i < names.size() && i < codes.size(); ++i) {
        VtaPack::FileSpec file;
        file.Path = names[i];
        file.Data = codes[i];
        files.push_back(file);
    }
    return ImageText(VtaPack::BuildArchive(files, options));
}

// "static const int VtShaderPackCount_NAME = N;" and the text as VtShaderPackText_NAME.
inline std::string Declaration(const std::string& name, size_t count, const std::string& text)
{
    std::string out = "\nstatic const int VtShaderPackCount_" + name + " = " + std::to_string(count) + ";\n";
    out += "static const char VtShaderPackText_" + name + "[] =";
    for (size_t at = 0; at < text.size(); at += 96) out += "\n    \"" + text.substr(at, 96) + "\"";
    return out + ";\n";
}

// ---- Files ---------------------------------------------------------------------------------------------

inline bool ReadText(const std::string& path, std::string& out)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    out.clear();
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
    fclose(f);
    return true;
}

// Written beside the path and renamed over it, so that a build never sees half a file.
inline bool WriteFile(const std::string& path, const std::string& text)
{
    const std::string temp = path + ".tmp";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok && rename(temp.c_str(), path.c_str()) == 0;
}

// A C++ string literal of `text`, one source line per line.
inline std::string CString(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') out += "\\n\"\n    \"";
        else if (c == '\\' || c == '"') out += '\\', out += c;
        else if (c == '\r' || c == '\t') out += ' ';
        else out += c;
    }
    return out + "\"";
}

}  // namespace VtShaderPack
