// Our shader-model 2/3 assembler against the platform's: the same source gives the same tokens, for a
// table that uses every instruction, register kind and modifier the assembler knows, and for every
// shader of the three packs (the platform expanding each template with the same macros itself).
// Also: errors name their line, the template preprocessor's own errors, and the packs as the library
// expands them hold exactly these shaders under their names.
#include <gtest/gtest.h>

#include <set>

#include "D3D9ShaderSupport.h"
#include "foundation/VtMemory.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "tools/VtShaderPackText.h"

using namespace Vantrel;
using namespace D3D9ShaderTest;

namespace {

struct NamedSource {
    const char* Name;
    const char* Text;
};

// Together these use every instruction, register kind, result and source modifier, declaration form
// and comparison of the assembler.
const NamedSource kFormSources[] = {
    {"vs2",
     R"(vs_2_0
// Every vertex instruction of shader model 2, with relative addressing and flow control.
dcl_position v0
dcl_blendweight v1
dcl_color1 v2
dcl_texcoord7 v3.xy
dcl_normal v4
def c90, 1, -2.5, 0.299, .5
defi i0, 3, 0, 1, 0
defb b3, true
mova a0.x, v1.x
mova a0, v1
mov r0, c[a0.x + 5]
mov r1, c5[a0.w]
dp4 oPos.x, v0, c2
dp3 oPos.y, v0, c3
mad oPos.zw, v0, c4, -c90.y
mov oD0, v2
mov_sat oD1.xyz, v2.bgra
mov oT0.xy, v3
mov oT7, v3.yx
mov oFog, v0.x
mov oPts, v0.y
rep i0
add r0, r0, c1
endrep
if b3
mul r0, r0, r0
else
sub r0, -r1, c1.z
endif
loop aL, i0
add r0, r0, c[aL + 1]
endloop
call l2
callnz l3, b3
m4x4 r2, v0, c10
m4x3 r2.xyz, v0, c10
m3x4 r2, v0, c10
m3x3 r2.xyz, v0, c10
m3x2 r2.xy, v0, c10
sincos r3.xy, r0.x, c20, c21
lit r4, r1
dst r4, r1, r2
slt r4, r1, r2
sge r4, r1, r2
sgn r4, r1, r2, r3
expp r4, r1.x
logp r4, r1.y
frc r4.xy, r1
exp r4.x, r1.z
log r4.y, r1.w
rcp r4.z, r1.x
rsq r4.w, r1.y
min r5, r1, r2
max r5, r1, r2
lrp r5, r1, r2, r3
abs r5, -r1
nop
ret
label l2
nrm r4.xyz, r0
ret
label l3
pow r5.x, r0.x, r0.y
crs r5.xyz, r0, r1
ret
)"},
    {"ps2",
     R"(ps_2_0
// Pixel shader model 2: declarations with modifiers, the texture loads, kill, compare, and ";".
def c6, 0, 0.5, 1, 2
dcl v0
dcl_pp v1.xyz
dcl t0.xy
dcl_centroid t1
dcl_2d s0
dcl_cube s1
dcl_volume s2
texld r0, t0, s0
texldp r1, t1, s1   ; projected
texldb_pp r2, t1, s2
mul r0, r0, v0
mad_sat r1.xyz, r0, c5.w, -r1
add_pp r2.x, r0.y, -c6.zzzz
cmp r3, -r0.w, c6.x, r2.yzxw
dp2add r4.x, r0, r1, c6.y
lrp_sat_pp r4, r0.a, r1.rgba, r2
texkill r3
texkill t0
mov oC0, r0
mov oC1, r4.xz
mov oDepth, r0.x
)"},
    {"ps3",
     R"(ps_3_0
// Pixel shader model 3: predicates, compared flow control, loops over inputs, gradients.
defi i1, 2, 1, 1, 0
dcl_2d s0
add r9, r0, r0
def c7, 1, 2, 3, 4
dcl_texcoord0 v0.xy
dcl_color0_pp v1
dcl_texcoord1_centroid v2
defb b2, false
dcl_texcoord2 v3.zw
texldl r0, v0, s0
texldd r1, v0, s0, v2, v2
dsx r2, v0
dsy r2, v1
setp_gt p0, r0, c7
setp_le p0.x, r0, c7.y
(p0) add r3, r0, c7
(!p0.x) mul r3.x, r0.x, c7.y
if_lt r0.x, c7.x
break
endif
rep i1
break_ge r0.x, c7.y
break_eq r0.y, -c7.y
breakp p0.x
breakp !p0.y
endrep
if_ne r0.y, -c1.w
else
endif
if_eq r0.y, c1.w
endif
if_le r0.y, c1.w
endif
if_ge r0.z, c1_abs.w
endif
if_gt r0.y, c1.w
endif
if b2
endif
if !b2
endif
if p0.x
endif
callnz l1, !b2
callnz l1, p0.y
loop aL, i1
add r6, r6, v[aL]
add r6, r6, v1[aL]
endloop
add r5, r0_abs, -r1_abs
sincos r8.xy, r0.x
mov_centroid r0, r1
mov_sat_pp r0, r1
mov oC0, r8
mov oC1, r0
mov oDepth, r0.x
ret
label l1
ret
)"},
    {"vs3",
     R"(vs_3_0
// Vertex shader model 3: every usage, outputs by usage, samplers and loads, indexed outputs.
dcl_2d s3
dcl_position o0
defi i1, 2, 1, 1, 0
def c7, 1, 2, 3, 4
dcl_texcoord3 o5.xy
dcl_position v0
dcl_blendweight v1
dcl_blendindices v2
dcl_normal v3
dcl_psize v4
dcl_texcoord v5
dcl_tangent v6
dcl_binormal v7
dcl_tessfactor v8
dcl_positiont v9
dcl_color v10
dcl_fog v11
dcl_depth v12
dcl_sample v13
dcl_position1 v14
defb b2, false
dcl_psize o7.x
dcl_fog o8.x
dcl_color1 o9
dcl_texcoord o10
dcl_cube s1
dcl_volume s2
mova a0.x, v1.x
mov r1, c[a0.x + 4]
mov o0, v0
texldl o5, v0, s3
texldl o9, v0, s1
texldl o10, v0, s2
sincos r2.xy, r1.w
mov o7.x, r2.x
mov o8.x, r2.y
loop aL, i1
mov o[aL], r0
endloop
)"},
};

uint32_t Word(const Bytes& b, size_t i) {
    return (uint32_t)b[4 * i] | (uint32_t)b[4 * i + 1] << 8 | (uint32_t)b[4 * i + 2] << 16 | (uint32_t)b[4 * i + 3] << 24;
}

uint32_t RegisterType(uint32_t token) {
    return (token >> 28 & 7) | (token >> 8 & 0x18);
}

// What a token stream uses: instructions (opcode << 8 | control), register kinds, result modifiers
// and source modifiers.
struct Usage {
    std::set<uint32_t> Instructions, Registers, ResultModifiers, SourceModifiers;

    bool HasDestination(uint32_t opcode) const {
        if (opcode == VtShaderAsm::D3D9OP_TEXKILL || opcode == VtShaderAsm::D3D9OP_SETP) return true;
        for (const VtShaderAsm::D3D9Instruction& i : VtShaderAsm::kD3D9Instructions)
            if (i.Opcode == opcode) return i.Destination;
        return false;
    }

    void Add(const Bytes& code) {
        const size_t words = code.size() / 4;
        for (size_t at = 1; at < words && Word(code, at) != VtShaderAsm::kD3D9EndToken;) {
            const uint32_t token = Word(code, at);
            const uint32_t opcode = token & 0xFFFF, length = token >> 24 & 0xF;
            Instructions.insert(opcode << 8 | (token >> 16 & 0xFF));
            size_t first = at + 1, end = at + 1 + length;
            if (opcode == VtShaderAsm::D3D9OP_DCL) ++first;   // the usage token
            const bool constant = opcode == VtShaderAsm::D3D9OP_DEF || opcode == VtShaderAsm::D3D9OP_DEFI ||
                                  opcode == VtShaderAsm::D3D9OP_DEFB;
            bool destination = opcode == VtShaderAsm::D3D9OP_DCL || constant || HasDestination(opcode);
            for (size_t p = first; p < end && p < words; ++p) {
                const uint32_t param = Word(code, p);
                Registers.insert(RegisterType(param));
                if (destination) ResultModifiers.insert(param >> 20 & 0xF);
                else SourceModifiers.insert(param >> 24 & 0xF);
                if (param & 0x2000) Registers.insert(RegisterType(Word(code, ++p)));
                destination = false;
                if (constant) break;
            }
            at = end;
        }
    }
};

}  // namespace

TEST(D3D9ShaderAssembler, EqualsThePlatformAssemblerForEveryForm) {
    ASSERT_NE(PlatformAssembler(), nullptr);
    Usage usage;
    for (const NamedSource& s : kFormSources) {
        Bytes ours, platform;
        std::string error;
        ASSERT_TRUE(OurAssemble(s.Text, ours, error)) << s.Name << ": " << error;
        ASSERT_TRUE(PlatformAssemble(s.Text, {}, platform, error)) << s.Name << ": " << error;
        EXPECT_EQ(Hex(ours), Hex(platform)) << s.Name;
        usage.Add(ours);
    }
    // Every instruction and form the assembler knows was among them.
    for (const VtShaderAsm::D3D9Instruction& i : VtShaderAsm::kD3D9Instructions)
        EXPECT_EQ(usage.Instructions.count(i.Opcode << 8 | i.Control), 1u) << i.Name;
    for (const VtShaderAsm::NamedValue& c : VtShaderAsm::kD3D9Comparisons)
        EXPECT_EQ(usage.Instructions.count(VtShaderAsm::D3D9OP_IFC << 8 | c.Value), 1u) << "if_" << c.Name;
    for (uint32_t opcode : {VtShaderAsm::D3D9OP_BREAKC, VtShaderAsm::D3D9OP_SETP}) {
        bool seen = false;
        for (const VtShaderAsm::NamedValue& c : VtShaderAsm::kD3D9Comparisons) seen |= usage.Instructions.count(opcode << 8 | c.Value) != 0;
        EXPECT_TRUE(seen) << opcode;
    }
    for (uint32_t opcode : {VtShaderAsm::D3D9OP_DCL, VtShaderAsm::D3D9OP_DEF, VtShaderAsm::D3D9OP_DEFI, VtShaderAsm::D3D9OP_DEFB})
        EXPECT_EQ(usage.Instructions.count(opcode << 8), 1u) << opcode;
    const uint32_t registers[] = {VtShaderAsm::D3D9REG_TEMP,      VtShaderAsm::D3D9REG_INPUT,     VtShaderAsm::D3D9REG_CONST,
                                  VtShaderAsm::D3D9REG_ADDR,      VtShaderAsm::D3D9REG_RASTOUT,   VtShaderAsm::D3D9REG_ATTROUT,
                                  VtShaderAsm::D3D9REG_OUTPUT,    VtShaderAsm::D3D9REG_CONSTINT,  VtShaderAsm::D3D9REG_COLOROUT,
                                  VtShaderAsm::D3D9REG_DEPTHOUT,  VtShaderAsm::D3D9REG_SAMPLER,   VtShaderAsm::D3D9REG_CONSTBOOL,
                                  VtShaderAsm::D3D9REG_LOOP,      VtShaderAsm::D3D9REG_LABEL,     VtShaderAsm::D3D9REG_PREDICATE};
    for (uint32_t r : registers) EXPECT_EQ(usage.Registers.count(r), 1u) << "register kind " << r;
    for (uint32_t m : {1u, 2u, 3u, 4u}) EXPECT_EQ(usage.ResultModifiers.count(m), 1u) << "result modifier " << m;
    for (uint32_t m : {VtShaderAsm::kD3D9SourceNegate, VtShaderAsm::kD3D9SourceAbs, VtShaderAsm::kD3D9SourceAbsNegate,
                       VtShaderAsm::kD3D9SourceNot})
        EXPECT_EQ(usage.SourceModifiers.count(m), 1u) << "source modifier " << m;
}

TEST(D3D9ShaderAssembler, EveryPackShaderEqualsThePlatformsAssemblyOfItsTemplate) {
    ASSERT_NE(PlatformAssembler(), nullptr);
    const std::vector<PackShader> shaders = AllPackShaders();
    ASSERT_EQ(shaders.size(), 1u + 14u + 224u + 1u + 8u + 512u + 97u);
    for (const PackShader& s : shaders) {
        ASSERT_FALSE(s.Code.empty()) << s.Shader.Name << " does not assemble";
        // The platform preprocesses the template with the same macros and assembles the result.
        Bytes platform;
        std::string error;
        ASSERT_TRUE(PlatformAssemble(s.TemplateText, s.Shader.Macros, platform, error)) << s.Shader.Name << ": " << error;
        ASSERT_EQ(Hex(s.Code), Hex(platform)) << s.Shader.Name << " from " << s.Shader.Template << ":\n" << s.Source;
    }
}

TEST(D3D9ShaderAssembler, SourceErrorsNameTheirLine) {
    struct Case {
        const char* Source;
        const char* Error;
    };
    const Case cases[] = {
        {"", "line 1: no program version line"},
        {"ps_1_4\n", "line 1: unknown program version \"ps_1_4\""},
        {"ps_2_0\nmov oC0\n", "line 2: mov takes 2 operands"},
        {"ps_2_0\n\nmov oC0, q1\n", "line 3: unknown register \"q1\""},
        {"ps_2_0\nmov r0.xzy, v0\n", "line 2: bad write mask in \"r0.xzy\""},
        {"ps_2_0\nmov r0, v0.xyzq\n", "line 2: bad swizzle in \"v0.xyzq\""},
        {"ps_2_0\nmov oPos, v0\n", "line 2: register \"oPos\" is not part of this program version"},
        {"vs_3_0\nmov oD0, v0\n", "line 2: register \"oD0\" is not part of this program version"},
        {"vs_2_0\nmov r0, c[a0 + 2]\n", "line 2: an address register selects one component: \"c[a0 + 2]\""},
        {"ps_2_0\nfoo r0, r1\n", "line 2: unknown instruction \"foo\""},
        {"ps_2_0\nmov_x2 r0, r1\n", "line 2: unknown modifier in \"mov_x2\""},
        {"ps_2_0\ndef r0, 1, 2, 3, 4\n", "line 2: def names a whole c register"},
        {"ps_2_0\ndef c0, 1, 2, x, 4\n", "line 2: bad value \"x\""},
        {"vs_2_0\ndefb b0, 1\n", "line 2: defb takes true or false"},
        {"ps_2_0\ndcl_texcoord0 r0\n", "line 2: nothing to declare in \"dcl_texcoord0 r0\""},
        {"ps_3_0\ndcl v0\n", "line 2: nothing to declare in \"dcl v0\""},
        {"ps_3_0\n(r0) mov r1, r2\n", "line 2: bad predicate in \"(r0) mov r1, r2\""},
    };
    for (const Case& c : cases) {
        Bytes code;
        std::string error;
        EXPECT_FALSE(OurAssemble(c.Source, code, error)) << c.Source;
        EXPECT_EQ(error, c.Error) << c.Source;
    }
}

TEST(D3D9ShaderTemplates, PreprocessorKeepsLinesAndRefusesWhatThePlatformWouldReadOtherwise) {
    const std::string text = "ps_2_0\n#if A == 1 || (B >= 5 && !defined(C))\nmov r0, c1\n#elif defined C\nmov r0, c2\n#else\nmov r0, c3\n#endif\nmov oC0, r0";
    struct Case {
        std::vector<VtD3D9Shaders::Macro> Macros;
        const char* Kept;
    };
    const Case cases[] = {{{{"A", 1}}, "c1"}, {{{"B", 5}}, "c1"}, {{{"B", 5}, {"C", 0}}, "c2"}, {{{"B", 4}}, "c3"}};
    for (const Case& c : cases) {
        std::string out, error;
        ASSERT_TRUE(VtD3D9Shaders::Expand(text, c.Macros, out, error)) << error;
        // The kept line stands where it stood in the template.
        std::vector<std::string> lines;
        for (size_t at = 0; at <= out.size();) {
            size_t end = out.find('\n', at);
            if (end == std::string::npos) end = out.size();
            lines.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        ASSERT_EQ(lines.size(), 9u);
        const int line = std::string(c.Kept) == "c1" ? 2 : std::string(c.Kept) == "c2" ? 4 : 6;
        EXPECT_EQ(lines[line], "mov r0, " + std::string(c.Kept));
        EXPECT_EQ(lines[8], "mov oC0, r0");
    }
    struct Bad {
        const char* Text;
        const char* Error;
    };
    const Bad bad[] = {
        {"ps_2_0\n#if A\nmov r0, c0\n", "line 4: #if without #endif"},
        {"ps_2_0\n#endif\n", "line 2: #endif without #if"},
        {"ps_2_0\n#if 1\n#else\n#elif 1\n#endif\n", "line 4: #elif without #if"},
        {"ps_2_0\n#if (A\n#endif\n", "line 2: bad expression \" (A\""},
        {"ps_2_0\n#ifdef A\n#endif\n", "line 2: unknown directive \"#ifdef\""},
        {"ps_2_0\nmov r0, A  // A in a comment is fine\n", "line 2: macro A in an instruction line"},
        {"ps_2_0\n#else junk\n", "line 2: #else takes nothing after it"},
    };
    for (const Bad& b : bad) {
        std::string out, error;
        EXPECT_FALSE(VtD3D9Shaders::Expand(b.Text, {{"A", 1}}, out, error)) << b.Text;
        EXPECT_EQ(error, b.Error) << b.Text;
    }
}

// The library's packs, expanded as at start-up.
class D3D9ShaderPacks : public ::testing::Test {
protected:
    void TearDown() override { Graphics_D3D9_ShaderCode_Base_Terminate(); }
};

TEST_F(D3D9ShaderPacks, HoldEveryShaderUnderItsName) {
    ASSERT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);
    ASSERT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);   // a second call keeps what is there
    for (const PackShader& s : AllPackShaders()) {
        const D3D9ShaderCode code = s.Pack == 1   ? Graphics_D3D9_ShaderCode_GetBase(s.Shader.Name.c_str())
                                    : s.Pack == 2 ? Graphics_D3D9_ShaderCode_GetChannelMix(std::stoi(s.Shader.Name))
                                                  : Graphics_D3D9_ShaderCode_GetFilter(s.Shader.Name.c_str());
        ASSERT_NE(code.Code, nullptr) << s.Shader.Name;
        EXPECT_EQ(Hex(Bytes(code.Code, code.Code + code.Size)), Hex(s.Code)) << s.Shader.Name;
    }
    // The library's family names are the generator's.
    char name[D3D9SHADER_NAME_BYTES];
    for (int i = 0; i < D3D9SHADER_UNTEXTURED_COUNT; ++i) {
        Graphics_D3D9_ShaderCode_UntexturedName(i, name);
        EXPECT_EQ(std::string(name), VtD3D9Shaders::UntexturedName(i));
        EXPECT_NE(Graphics_D3D9_ShaderCode_GetUntextured(i).Code, nullptr) << name;
    }
    for (int i = 0; i < D3D9SHADER_TEXTURED_COUNT; ++i) {
        Graphics_D3D9_ShaderCode_TexturedName(i, name);
        EXPECT_EQ(std::string(name), VtD3D9Shaders::TexturedName(i));
        EXPECT_NE(Graphics_D3D9_ShaderCode_GetTextured(i).Code, nullptr) << name;
    }
    for (int i = 0; i < D3D9SHADER_MASK_GRAPH_COUNT; ++i) {
        Graphics_D3D9_ShaderCode_MaskGraphName(i, name);
        EXPECT_EQ(std::string(name), VtD3D9Shaders::MaskGraphName(i / 2, i % 2 != 0));
        EXPECT_NE(Graphics_D3D9_ShaderCode_GetMaskGraph(i).Code, nullptr) << name;
    }
    Graphics_D3D9_ShaderCode_TexturedName(1, name);
    EXPECT_STREQ(name, "ps_blend0_type0_igcolor0_igtalpha0_ach1.pso");
    Graphics_D3D9_ShaderCode_TexturedName(223, name);
    EXPECT_STREQ(name, "ps_blend3_type6_igcolor1_igtalpha1_ach1.pso");
    Graphics_D3D9_ShaderCode_MaskGraphName(3, name);
    EXPECT_STREQ(name, "ps_mask_blend_use_grhandle_chr_reverse.pso");
    EXPECT_NE(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_Base2DVertex).Code, nullptr);
    EXPECT_NE(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_MaskBlend).Code, nullptr);
    // What is not there.
    Graphics_D3D9_ShaderCode_TexturedName(224, name);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetTextured(-1).Code, nullptr);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetBase("ps_blend4_type0_igcolor0_igtalpha0_ach0.pso").Code, nullptr);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetBase(nullptr).Code, nullptr);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetFilter("Missing.pso").Code, nullptr);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetChannelMix(512).Code, nullptr);
    // After the end nothing is handed out, and a new start expands the texts again.
    EXPECT_EQ(Graphics_D3D9_ShaderCode_Base_Terminate(), 1);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_MaskBlend).Code, nullptr);
    EXPECT_EQ(Graphics_D3D9_ShaderCode_GetChannelMix(0).Code, nullptr);
    ASSERT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);
    EXPECT_NE(Graphics_D3D9_ShaderCode_GetChannelMix(0).Code, nullptr);
}

TEST_F(D3D9ShaderPacks, DamagedPackLeavesNothingExpanded) {
    D3D9ShaderCodeRecord& state = D3D9ShaderCodeState;
    const char* const original = state.ChannelMix.Text;
    // A table whose shader is no program, one whose sizes overrun the data, a cut text.
    std::string notAProgram, overrun;
    ASSERT_TRUE(VtShaderPack::PackText(std::vector<Bytes>(512, Bytes(8, 0x11)), notAProgram));
    Bytes table(1024, 0);
    table[0] = 0x40;   // entry 0 claims 64 bytes that are not there
    overrun = VtShaderPack::ImageText(table);
    const std::string cut = std::string(original).substr(0, strlen(original) / 2);
    const std::string* const texts[] = {&notAProgram, &overrun, &cut};
    for (const std::string* text : texts) {
        state.ChannelMix.Text = text->c_str();
        EXPECT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 0);
        EXPECT_EQ(state.Initialized, 0);
        EXPECT_EQ(state.Base.Block, nullptr);
        EXPECT_EQ(state.ChannelMix.Block, nullptr);
        EXPECT_EQ(state.BaseArchiveOpen, 0);
        EXPECT_EQ(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_MaskBlend).Code, nullptr);
    }
    state.ChannelMix.Text = original;
    EXPECT_EQ(Graphics_D3D9_ShaderCode_Base_Initialize(), 1);
}

TEST(D3D9ShaderCode, ProgramCheckWantsVersionWholeWordsAndEnd) {
    const uint8_t good[] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    const uint8_t vertex3[] = {0x00, 0x03, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    const uint8_t model1[] = {0x04, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    const uint8_t noEnd[] = {0x00, 0x02, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x02};
    EXPECT_TRUE(Graphics_D3D9_ShaderCode_IsProgram(good, sizeof(good)));
    EXPECT_TRUE(Graphics_D3D9_ShaderCode_IsProgram(vertex3, sizeof(vertex3)));
    EXPECT_FALSE(Graphics_D3D9_ShaderCode_IsProgram(model1, sizeof(model1)));
    EXPECT_FALSE(Graphics_D3D9_ShaderCode_IsProgram(noEnd, sizeof(noEnd)));
    EXPECT_FALSE(Graphics_D3D9_ShaderCode_IsProgram(good, 6));
    EXPECT_FALSE(Graphics_D3D9_ShaderCode_IsProgram(good, 4));
    EXPECT_FALSE(Graphics_D3D9_ShaderCode_IsProgram(nullptr, 8));
}
