// Shared pieces of the Direct3D 9 shader tests: the platform's shader-model 2/3 assembler (D3DAssemble
// of d3dcompiler_47.dll, taken by name), our assembler, and every permutation of the three packs with
// its template and expanded source.
#pragma once

#include <windows.h>
#include <d3dcompiler.h>

#include <string>
#include <vector>

#include "VtD3D9ShaderTemplates.h"
#include "tools/VtD3D9BuiltInShaders.h"
#include "tools/VtShaderAssembleD3D9.h"

namespace D3D9ShaderTest {

using Bytes = VtShaderAsm::Bytes;

typedef HRESULT(WINAPI* AssembleFunction)(const void* data, SIZE_T size, const char* name, const D3D_SHADER_MACRO* defines,
                                         ID3DInclude* include, UINT flags, ID3DBlob** code, ID3DBlob** errors);

inline AssembleFunction PlatformAssembler() {
    static HMODULE module = LoadLibraryW(L"d3dcompiler_47.dll");
    return module != nullptr ? (AssembleFunction)(void*)GetProcAddress(module, "D3DAssemble") : nullptr;
}

// The platform's assembly of `text` with the macros, or its error text in `error`.
inline bool PlatformAssemble(const std::string& text, const std::vector<VtD3D9Shaders::Macro>& macros, Bytes& out,
                             std::string& error) {
    AssembleFunction assemble = PlatformAssembler();
    if (assemble == nullptr) return error = "no D3DAssemble", false;
    std::vector<std::string> values;
    for (const VtD3D9Shaders::Macro& m : macros) values.push_back(std::to_string(m.Value));
    std::vector<D3D_SHADER_MACRO> defines;
    for (size_t i = 0; i < macros.size(); ++i) defines.push_back({macros[i].Name.c_str(), values[i].c_str()});
    defines.push_back({nullptr, nullptr});
    ID3DBlob* code = nullptr;
    ID3DBlob* errors = nullptr;
    const HRESULT hr = assemble(text.data(), text.size(), "shader", defines.data(), nullptr, 0, &code, &errors);
    error = errors != nullptr ? std::string((const char*)errors->GetBufferPointer(), errors->GetBufferSize()) : std::string();
    if (errors != nullptr) errors->Release();
    if (hr != S_OK || code == nullptr) {
        if (code != nullptr) code->Release();
        if (error.empty()) error = "D3DAssemble failed";
        return false;
    }
    const uint8_t* bytes = (const uint8_t*)code->GetBufferPointer();
    out.assign(bytes, bytes + code->GetBufferSize());
    code->Release();
    return true;
}

inline bool OurAssemble(const std::string& text, Bytes& out, std::string& error) {
    VtShaderAsm::D3D9Assembler assembler;
    if (!assembler.Assemble(text, out)) return error = assembler.Error, false;
    return true;
}

inline std::vector<VtD3D9Shaders::TemplateText> Templates() {
    std::vector<VtD3D9Shaders::TemplateText> out;
    for (const VtD3D9ShaderTemplate& t : VtD3D9ShaderTemplates) out.push_back({t.Name, t.Text});
    return out;
}

// One shader of the packs with its template text, its expansion and our assembly of it.
struct PackShader {
    int Pack;   // 1, 2 or 3
    VtD3D9Shaders::Permutation Shader;
    std::string TemplateText, Source;
    Bytes Code;
};

inline std::vector<PackShader> AllPackShaders() {
    const std::vector<VtD3D9Shaders::TemplateText> templates = Templates();
    std::vector<PackShader> out;
    const std::vector<VtD3D9Shaders::Permutation> packs[3] = {VtD3D9Shaders::BasePack(), VtD3D9Shaders::ChannelMixPack(),
                                                              VtD3D9Shaders::FilterPack()};
    for (int pack = 0; pack < 3; ++pack)
        for (const VtD3D9Shaders::Permutation& p : packs[pack]) {
            PackShader s{pack + 1, p, {}, {}, {}};
            const VtD3D9Shaders::TemplateText* t = VtD3D9Shaders::FindTemplate(templates, p.Template);
            std::string error;
            if (t != nullptr) s.TemplateText = t->Text;
            if (VtD3D9Shaders::Source(templates, p, s.Source, error)) OurAssemble(s.Source, s.Code, error);
            out.push_back(s);
        }
    return out;
}

inline std::string Hex(const Bytes& b) {
    std::string out;
    char word[12];
    for (size_t i = 0; i + 3 < b.size(); i += 4) {
        snprintf(word, sizeof(word), "%08x ", (unsigned)(b[i] | b[i + 1] << 8 | b[i + 2] << 16 | (uint32_t)b[i + 3] << 24));
        out += word;
    }
    return out;
}

}  // namespace D3D9ShaderTest
