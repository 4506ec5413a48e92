// vtshasm: assembles the library's shader sources into DXBC containers on the build machine and
// writes them as one C++ header of byte arrays, each with its source text.
// Usage: vtshasm [-p PACK | -a PACK] OUT.h FILE.asm...   (a shader's name is its file name without the
// extension)
//   -p PACK also writes the shaders as a pack in the library's form, in the order given: a table of
//   16-bit sizes, then the codes back to back, LZ-packed, as size-prefixed Base64 text
//   (VtShaderPackText_PACK).
//   -a PACK writes them as an archive of the library's format instead (each shader a file named as
//   the shader, default key), LZ-packed as size-prefixed Base64 text (VtShaderPackText_PACK, count 0),
//   without the byte arrays and sources.
#include <cstdio>
#include <string>
#include "tools/VtShaderAssemble.h"
#include "tools/VtShaderPackText.h"

namespace {

std::string Stem(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string pack;
    bool archive = false;
    int first = 1;
    if (argc > 2 && (std::string(argv[1]) == "-p" || std::string(argv[1]) == "-a"))
        archive = argv[1][1] == 'a', pack = argv[2], first = 3;
    if (argc < first + 2) {
        fprintf(stderr, "usage: vtshasm [-p PACK | -a PACK] OUT.h FILE.asm...\n");
        return 2;
    }
    std::vector<VtShaderAsm::Bytes> packCodes;
    std::vector<std::string> names;
    std::string header = "// Made by vtshasm from the shader sources at build time.\n#pragma once\n#include <cstddef>\n#include <cstdint>\n\n";
    std::string table = "struct VtBuiltShader {\n    const char* Name;\n    const uint8_t* Code;\n    size_t Size;\n    const char* Source;\n};\n\n"
                        "static const VtBuiltShader VtBuiltShaders[] = {\n";
    for (int i = first + 1; i < argc; ++i) {
        std::string text;
        if (!VtShaderPack::ReadText(argv[i], text)) {
            fprintf(stderr, "vtshasm: cannot read %s\n", argv[i]);
            return 1;
        }
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        if (!assembler.Assemble(text, code)) {
            fprintf(stderr, "%s: %s\n", argv[i], assembler.Error.c_str());
            return 1;
        }
        packCodes.push_back(code);
        const std::string name = Stem(argv[i]);
        if (archive) {
            names.push_back(name);
            continue;
        }
        header += "static const uint8_t VtShaderCode_" + name + "[" + std::to_string(code.size()) + "] = {";
        for (size_t b = 0; b < code.size(); ++b) {
            char hex[16];
            snprintf(hex, sizeof(hex), "%s0x%02x,", b % 16 == 0 ? "\n    " : "", code[b]);
            header += hex;
        }
        header += "\n};\nstatic const char VtShaderSource_" + name + "[] =\n    " + VtShaderPack::CString(text) + ";\n\n";
        table += "    {\"" + name + "\", VtShaderCode_" + name + ", sizeof(VtShaderCode_" + name + "), VtShaderSource_" + name + "},\n";
    }
    if (archive) {
        header = "// Made by vtshasm from the shader sources at build time.\n#pragma once\n";
        header += VtShaderPack::Declaration(pack, 0, VtShaderPack::ArchiveText(names, packCodes));
    } else {
        header += table + "};\n";
    }
    if (!pack.empty() && !archive) {
        std::string text;
        if (!VtShaderPack::PackText(packCodes, text)) {
            fprintf(stderr, "vtshasm: a shader does not fit a pack's 16-bit size\n");
            return 1;
        }
        header += VtShaderPack::Declaration(pack, packCodes.size(), text);
    }
    if (!VtShaderPack::WriteFile(argv[first], header)) {
        fprintf(stderr, "vtshasm: cannot write %s\n", argv[first]);
        return 1;
    }
    return 0;
}
