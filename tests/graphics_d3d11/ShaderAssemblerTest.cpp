// The shader assembler against the platform: its container checksum equals the one the system's
// shader compiler writes (both tail forms of the last block), the disassembler reads every built
// shader back to the instructions of its source, the device creates each of them, and the colour
// shaders drawn on a 4 x 4 target give the colours their instructions mean.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "BuiltInShaderSupport.h"
#include "VtBuiltShaders.h"
#include "tools/VtShaderAssemble.h"

using namespace Vantrel;
using namespace D3D11Test;

namespace {

const VtBuiltShader* Built(const char* name) {
    for (const VtBuiltShader& s : VtBuiltShaders)
        if (strcmp(s.Name, name) == 0) return &s;
    return nullptr;
}

bool IsPixelShader(const VtBuiltShader& s) {
    // The program chunk's version token: program type in the high word, 0 for pixel shaders.
    const uint8_t* code = s.Code;
    const uint32_t chunks = *(const uint32_t*)(code + 28);
    for (uint32_t i = 0; i < chunks; ++i) {
        const uint8_t* chunk = code + *(const uint32_t*)(code + 32 + 4 * i);
        if (memcmp(chunk, "SHDR", 4) == 0 || memcmp(chunk, "SHEX", 4) == 0) return (*(const uint32_t*)(chunk + 8) >> 16) == 0;
    }
    return false;
}

}  // namespace

TEST(D3D11ShaderAssembler, ChecksumEqualsTheSystemCompilersForBothTailForms) {
    auto compile = (pD3DCompile)(void*)GetProcAddress(Compiler(), "D3DCompile");
    ASSERT_NE(compile, nullptr);
    bool shortTail = false, longTail = false;
    const char* profiles[] = {"ps_4_0", "ps_5_0", "vs_4_0"};
    for (const char* profile : profiles) {
        // Programs of growing length move the hashed tail through every residue class of 4 bytes.
        for (int terms = 1; terms <= 20; ++terms) {
            std::string source = "float4 k[32];\nfloat4 main(float4 c : COLOR) : ";
            source += profile[0] == 'v' ? "SV_POSITION" : "SV_TARGET";
            source += " { float4 r = c;";
            for (int t = 0; t < terms; ++t) source += " r = r * k[" + std::to_string(t) + "] + c.yzwx;";
            source += " return r; }\n";
            ID3DBlob* code = nullptr;
            ASSERT_EQ(compile(source.data(), source.size(), "t", nullptr, nullptr, "main", profile, 0, 0, &code, nullptr), S_OK);
            const uint8_t* bytes = (const uint8_t*)code->GetBufferPointer();
            const size_t size = code->GetBufferSize();
            uint32_t sum[4];
            VtShaderAsm::Checksum(bytes, size, sum);
            EXPECT_EQ(memcmp(sum, bytes + 4, 16), 0) << profile << " " << terms << " terms, " << size << " bytes";
            ((size - 20) % 64 < 56 ? shortTail : longTail) = true;
            code->Release();
        }
    }
    EXPECT_TRUE(shortTail);
    EXPECT_TRUE(longTail);
}

TEST(D3D11ShaderAssembler, DisassemblerReadsEveryBuiltShaderBackToItsSource) {
    ASSERT_GT(sizeof(VtBuiltShaders) / sizeof(VtBuiltShaders[0]), 0u);
    for (const VtBuiltShader& s : VtBuiltShaders) {
        const std::string listing = Disassemble(s.Code, s.Size);
        EXPECT_EQ(VtShaderAsm::InstructionLines(listing), VtShaderAsm::InstructionLines(s.Source)) << s.Name << ":\n" << listing;
    }
}

TEST(D3D11ShaderAssembler, SourceErrorsNameTheirLine) {
    struct Case {
        const char* Source;
        const char* Error;
    };
    const Case cases[] = {
        {"", "line 1: no program version line"},
        {"gs_4_0\n", "line 1: unknown program version \"gs_4_0\""},
        {"ps_4_0\nmov o0.xyzw\n", "line 2: mov takes 2 operands"},
        {"ps_4_0\n\nmov o0.xyzw, q1.xyzw\n", "line 3: unknown operand \"q1.xyzw\""},
        {"ps_4_0\nmov o0.xzy, v1.xyzw\n", "line 2: bad write mask in \"o0.xzy\""},
        {"ps_4_0\nmov o0.xyzw, v1.xyzq\n", "line 2: bad swizzle in \"v1.xyzq\""},
        {"ps_4_0\nmov o0.xyzw, l(1, 2)\n", "line 2: a literal has one or four values"},
        {"ps_4_0\ndcl_input_ps cubic v1.xyzw\n", "line 2: unknown interpolation in \"cubic v1.xyzw\""},
        {"ps_4_0\nfoo r0.x\n", "line 2: unknown instruction \"foo\""},
        {"ps_4_0\n.input COLOR r1.xyzw\n", "line 2: expected a v register: \"r1.xyzw\""},
    };
    for (const Case& c : cases) {
        VtShaderAsm::Assembler assembler;
        VtShaderAsm::Bytes code;
        EXPECT_FALSE(assembler.Assemble(c.Source, code)) << c.Source;
        EXPECT_EQ(assembler.Error, c.Error) << c.Source;
    }
}

// The back-end started, with the built 2D vertex shader as the untextured vertex type's shader and a
// 4 x 4 target.
class D3D11BuiltShaders : public ::testing::Test {
protected:
    Target target;
    ID3D11VertexShader* vertex = nullptr;
    ID3D11InputLayout* layout = nullptr;

    void SetUp() override {
        ASSERT_EQ(StartBackEnd(), 0);
        const VtBuiltShader* vs = Built("Test2DVertex");
        ASSERT_NE(vs, nullptr);
        const D3D11_INPUT_ELEMENT_DESC elements[2] = {
            {"POSITION", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"COLOR", 0, DXGI_FORMAT_B8G8R8A8_UNORM, 0, 16, D3D11_INPUT_PER_VERTEX_DATA, 0},
        };
        ASSERT_EQ(D3D11Call_Device_CreateVertexShader(vs->Code, vs->Size, nullptr, &vertex), S_OK);
        ASSERT_EQ(D3D11Call_Device_CreateInputLayout(elements, 2, vs->Code, vs->Size, &layout), S_OK);
        ASSERT_TRUE(target.Create(4, 4));
        ASSERT_TRUE(DrawUntexturedInto(target, vertex, layout, 0.0f));
    }

    void TearDown() override {
        StopDrawingInto(target);
        D3D11Call_VertexShader_Release(vertex);
        D3D11Call_InputLayout_Release(layout);
        EndBackEnd();
        EXPECT_EQ(D3D11Call_GetTotalObjectCount(), 0);
    }

    // Draws the whole target in one colour through the named pixel shader and reads it back.
    std::vector<uint32_t> Fill(const char* shader, uint32_t colour) {
        std::vector<uint32_t> none;
        const VtBuiltShader* ps = Built(shader);
        ID3D11PixelShader* pixel = nullptr;
        if (ps == nullptr || D3D11Call_Device_CreatePixelShader(ps->Code, ps->Size, nullptr, &pixel) != S_OK) return none;
        const bool drawn = Graphics_D3D11_StateCache_SetPixelShader(pixel, 1) == 0 && AddBox(0, 0, 4, 4, colour) &&
                           Graphics_D3D11_VertexBatch_Flush(-1, 0) == 0;
        std::vector<uint32_t> pixels = drawn ? target.Read() : none;
        Graphics_D3D11_StateCache_SetPixelShader(nullptr, 1);
        D3D11Call_PixelShader_Release(pixel);
        return pixels;
    }
};

TEST_F(D3D11BuiltShaders, DeviceCreatesEveryBuiltShader) {
    for (const VtBuiltShader& s : VtBuiltShaders) {
        if (IsPixelShader(s)) {
            ID3D11PixelShader* shader = nullptr;
            EXPECT_EQ(D3D11Call_Device_CreatePixelShader(s.Code, s.Size, nullptr, &shader), S_OK) << s.Name;
            D3D11Call_PixelShader_Release(shader);
        } else {
            ID3D11VertexShader* shader = nullptr;
            EXPECT_EQ(D3D11Call_Device_CreateVertexShader(s.Code, s.Size, nullptr, &shader), S_OK) << s.Name;
            D3D11Call_VertexShader_Release(shader);
        }
    }
}

TEST_F(D3D11BuiltShaders, ColourShadersGiveTheColoursTheirInstructionsMean) {
    // Drawn as 0xAARRGGBB; read back as R8G8B8A8 words 0xAABBGGRR.
    struct Case {
        const char* Shader;
        uint32_t Drawn, Expected;
    };
    const Case cases[] = {
        {"TestColourPixel", 0xFF336699u, 0xFF996633u},
        {"TestColourPixel", 0x80FF0001u, 0x800100FFu},
        // Red and blue swapped, each channel c / 2 + 64, alpha kept: (0x20, 0x40, 0xC0) -> (0xA0, 0x60, 0x50).
        {"TestArithmeticPixel", 0xFF2040C0u, 0xFF5060A0u},
        {"TestArithmeticPixel", 0x40000000u, 0x40404040u},
    };
    for (const Case& c : cases) {
        const std::vector<uint32_t> pixels = Fill(c.Shader, c.Drawn);
        ASSERT_EQ(pixels.size(), 16u) << c.Shader;
        for (uint32_t p : pixels)
            for (int shift = 0; shift < 32; shift += 8)
                ASSERT_LE(std::abs(int(p >> shift & 0xFF) - int(c.Expected >> shift & 0xFF)), 1)
                    << c.Shader << std::hex << " drew " << c.Drawn << " read " << p << " expected " << c.Expected;
    }
}
