// vtshgen9: makes the Direct3D 9 back-end's three built-in shader packs on the build machine. Each
// shader is a template of graphics_d3d9/shaders expanded for one permutation of VtD3D9BuiltInShaders.h
// and assembled into shader-model 2 tokens; the packs are written as Base64 text of LZ-packed data:
// VtShaderPackText_D3D9Base (an archive of the 2D shaders by file name, no key),
// VtShaderPackText_D3D9ChannelMix (512 16-bit sizes, then the codes) and VtShaderPackText_D3D9Filter
// (an archive of the graph-filter shaders). A second header holds the template texts for tests.
// Usage: vtshgen9 PACKS.h TEMPLATES.h TEMPLATE.asm...
#include <cstdio>
#include <string>
#include "tools/VtD3D9BuiltInShaders.h"
#include "tools/VtShaderAssembleD3D9.h"
#include "tools/VtShaderPackText.h"

namespace {

std::string FileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Assemble(const std::vector<VtD3D9Shaders::TemplateText>& templates, const std::vector<VtD3D9Shaders::Permutation>& shaders,
              std::vector<VtShaderAsm::Bytes>& codes)
{
    for (const VtD3D9Shaders::Permutation& p : shaders) {
        std::string source, error;
        if (!VtD3D9Shaders::Source(templates, p, source, error)) {
            fprintf(stderr, "vtshgen9: %s\n", error.c_str());
            return false;
        }
        VtShaderAsm::D3D9Assembler assembler;
        VtShaderAsm::Bytes code;
        if (!assembler.Assemble(source, code)) {
            fprintf(stderr, "vtshgen9: %s (%s): %s\n", p.Name.c_str(), p.Template.c_str(), assembler.Error.c_str());
            return false;
        }
        codes.push_back(code);
    }
    return true;
}

// An archive of the shaders by name (no key, files stored as they are) as pack text.
bool AddArchive(const char* pack, const std::vector<VtD3D9Shaders::TemplateText>& templates,
                const std::vector<VtD3D9Shaders::Permutation>& shaders, std::string& header)
{
    std::vector<VtShaderAsm::Bytes> codes;
    if (!Assemble(templates, shaders, codes)) return false;
    std::vector<std::string> names;
    for (const VtD3D9Shaders::Permutation& p : shaders) names.push_back(p.Name);
    VtaPack::Options options;
    options.NoKey = true;
    header += VtShaderPack::Declaration(pack, 0, VtShaderPack::ArchiveText(names, codes, options));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: vtshgen9 PACKS.h TEMPLATES.h TEMPLATE.asm...\n");
        return 2;
    }
    std::vector<VtD3D9Shaders::TemplateText> templates;
    std::string templateHeader =
        "// Made by vtshgen9 from graphics_d3d9/shaders at build time.\n#pragma once\n\n"
        "struct VtD3D9ShaderTemplate {\n    const char* Name;\n    const char* Text;\n};\n\n"
        "static const VtD3D9ShaderTemplate VtD3D9ShaderTemplates[] = {\n";
    for (int i = 3; i < argc; ++i) {
        VtD3D9Shaders::TemplateText t;
        t.Name = FileName(argv[i]);
        if (!VtShaderPack::ReadText(argv[i], t.Text)) {
            fprintf(stderr, "vtshgen9: cannot read %s\n", argv[i]);
            return 1;
        }
        templateHeader += "    {\"" + t.Name + "\",\n    " + VtShaderPack::CString(t.Text) + "},\n";
        templates.push_back(t);
    }
    templateHeader += "};\n";

    std::string header = "// Made by vtshgen9 from graphics_d3d9/shaders at build time.\n#pragma once\n";
    std::vector<VtShaderAsm::Bytes> channelMix;
    if (!AddArchive("D3D9Base", templates, VtD3D9Shaders::BasePack(), header) ||
        !Assemble(templates, VtD3D9Shaders::ChannelMixPack(), channelMix) ||
        !AddArchive("D3D9Filter", templates, VtD3D9Shaders::FilterPack(), header))
        return 1;
    std::string text;
    if (!VtShaderPack::PackText(channelMix, text)) {
        fprintf(stderr, "vtshgen9: a channel-mix shader does not fit the pack's 16-bit size\n");
        return 1;
    }
    header += VtShaderPack::Declaration("D3D9ChannelMix", channelMix.size(), text);
    if (!VtShaderPack::WriteFile(argv[1], header) || !VtShaderPack::WriteFile(argv[2], templateHeader)) {
        fprintf(stderr, "vtshgen9: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
