// vtshgen: makes the library's built-in shader packs on the build machine: the sources come from the
// templates of VtBuiltInShaders.h, are assembled into DXBC containers and written as pack texts into
// one C++ header (VtShaderPackText_Main, VtShaderPackText_ChannelMix, VtShaderPackText_Lit3D, and
// VtShaderPackText_Filter, an archive of the filter shaders).
// Usage: vtshgen OUT.h [SOURCE-FOLDER]   (with a folder, every source is written there too)
#include <cstdio>
#include <string>
#include "tools/VtBuiltInShaders.h"
#include "tools/VtFilterShaders.h"
#include "tools/VtLit3DShaders.h"
#include "tools/VtShaderAssemble.h"
#include "tools/VtShaderPackText.h"

namespace {

bool Assemble(const std::vector<VtBuiltIn::Source>& sources, const std::string& folder, std::vector<VtShaderAsm::Bytes>& codes)
{
    for (const VtBuiltIn::Source& source : sources) {
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        if (!assembler.Assemble(source.second, code)) {
            fprintf(stderr, "vtshgen: %s: %s\n%s", source.first.c_str(), assembler.Error.c_str(), source.second.c_str());
            return false;
        }
        if (!folder.empty() && !VtShaderPack::WriteFile(folder + "/" + source.first + ".asm", source.second)) {
            fprintf(stderr, "vtshgen: cannot write %s/%s.asm\n", folder.c_str(), source.first.c_str());
            return false;
        }
        codes.push_back(code);
    }
    return true;
}

bool AddPack(const char* name, const std::vector<VtBuiltIn::Source>& sources, const std::string& folder, std::string& header)
{
    std::vector<VtShaderAsm::Bytes> codes;
    if (!Assemble(sources, folder, codes)) return false;
    std::string text;
    if (!VtShaderPack::PackText(codes, text)) {
        fprintf(stderr, "vtshgen: a shader of %s does not fit a pack's 16-bit size\n", name);
        return false;
    }
    header += VtShaderPack::Declaration(name, codes.size(), text);
    return true;
}

// The filter shaders as an archive of the library's format (default key, files stored as they are),
// used whole.
bool AddFilterArchive(const std::string& folder, std::string& header)
{
    const std::vector<VtBuiltIn::Source> sources = VtBuiltIn::FilterSources();
    std::vector<VtShaderAsm::Bytes> codes;
    if (!Assemble(sources, folder, codes)) return false;
    std::vector<std::string> names;
    for (const VtBuiltIn::Source& source : sources) names.push_back(source.first);
    header += VtShaderPack::Declaration("Filter", 0, VtShaderPack::ArchiveText(names, codes));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: vtshgen OUT.h [SOURCE-FOLDER]\n");
        return 2;
    }
    const std::string folder = argc == 3 ? argv[2] : "";
    std::string header = "// Made by vtshgen from the built-in shader templates at build time.\n#pragma once\n";
    if (!AddPack("Main", VtBuiltIn::MainPackSources(), folder, header) ||
        !AddPack("ChannelMix", VtBuiltIn::ChannelMixSources(), folder, header) ||
        !AddPack("Lit3D", VtBuiltIn::Lit3DSources(), folder, header) || !AddFilterArchive(folder, header))
        return 1;
    if (!VtShaderPack::WriteFile(argv[1], header)) {
        fprintf(stderr, "vtshgen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
