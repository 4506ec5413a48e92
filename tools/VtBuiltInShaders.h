// The sources of the library's built-in shaders, made from templates: the standard vertex shaders of
// the eight vertex types, the fixed-function pixel shaders of every blend-row shader type (untextured;
// textured plain and with a blend graph of kind 0, 1 or 2, each with the ignore-colour, opaque and
// alpha-test switches), the mask composite shaders, the simple-transfer shaders, and the channel-mix
// shaders. Header-only, no platform dependency: used by the build-time tool vtshgen and by tests.
//
// What the pixel shaders compute (C = texture sample, D = vertex colour, both RGBA in 0..1):
//   opaque switch: C.a = 1; ignore-colour switch: C.rgb = 1 (C.a for the premultiplied types 4-6);
//   blend graph (texture 1 at texture coordinate 0, B its sample, K = constant buffer 1 register 0;
//   the texture C is then sampled at texture coordinate 1):
//     kind 0: C = C + (B - C) x K.w; kind 1: f = saturate((B.r + K.w) x K.z); kind 2: f = B.a;
//     for kinds 1 and 2 C.a *= f (types 4-6, premultiplied: C *= f);
//   S = C x D, then by shader type: 0 S; 1 S.rgb = S.rgb x S.a + 1 - S.a; 2 S.rgb = 1 - S.rgb;
//     3 S.rgb *= 4; 4 S.rgb *= D.a; 5 as 4, then S.rgb = S.a - S.rgb; 6 as 4, then S.rgb *= 4;
//   untextured shaders take C = (1, 1, 1, 1);
//   alpha test: with the test switch, the comparison function of constant buffer 1 at byte 32 (the
//     device's comparison codes 1-8) against the reference at byte 20; without it, S.a > reference.
//     A texel that fails is discarded.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace VtBuiltIn {

using Source = std::pair<std::string, std::string>;   // name, assembly text

constexpr int kShaderTypes = 7;
constexpr int kMainPackCount = 259;
constexpr int kChannelMixCount = 512;

// ---- Vertex shaders ---------------------------------------------------------------------------------

struct VertexElement {
    const char* Semantic;   // as the signature names it (index appended)
    int Components;         // 2, 3 or 4
};

// The input elements of each standard vertex type, in register order.
inline std::vector<VertexElement> StandardVertexInputs(int type)
{
    switch (type) {
    case 0: return {{"POSITION", 4}, {"COLOR", 4}};
    case 1: return {{"POSITION", 4}, {"COLOR", 4}, {"TEXCOORD", 2}};
    case 2:
    case 7: return {{"POSITION", 4}, {"COLOR", 4}, {"COLOR1", 4}, {"TEXCOORD", 2}, {"TEXCOORD1", 2}};
    case 3: return {{"POSITION", 3}, {"COLOR", 4}};
    case 4: return {{"POSITION", 3}, {"COLOR", 4}, {"TEXCOORD", 2}};
    case 5: return {{"POSITION", 3}, {"NORMAL", 3}, {"COLOR", 4}, {"COLOR1", 4}, {"TEXCOORD", 2}, {"TEXCOORD1", 2}};
    default:
        return {{"POSITION", 3}, {"POSITION1", 4}, {"NORMAL", 3}, {"TANGENT", 3}, {"BINORMAL", 3},
                {"COLOR", 4},    {"COLOR1", 4},    {"TEXCOORD", 2}, {"TEXCOORD1", 2}};
    }
}

inline const char* MaskOf(int components)
{
    return components == 2 ? "xy" : components == 3 ? "xyz" : "xyzw";
}

inline int FindInput(const std::vector<VertexElement>& inputs, const std::string& semantic)
{
    for (size_t i = 0; i < inputs.size(); ++i)
        if (semantic == inputs[i].Semantic) return int(i);
    return -1;
}

// Standard vertex shader: 2D types place pixels through the 2D projection (constant buffer 1,
// registers 0-3); 3D types go through the world rows (11-13) and the projection rows (4-7), which
// hold view x projection x viewport.
// Outputs: position, colour 0, then texture coordinate 0, texture coordinate 1 and colour 1 as the
// type has them, in that order (the pixel shaders read a prefix of them).
inline std::string StandardVertexShader(int type)
{
    const std::vector<VertexElement> in = StandardVertexInputs(type);
    const bool is3D = type >= 3 && type <= 6;
    std::string s = "// Standard vertex type " + std::to_string(type) + "\nvs_4_0\n";
    for (size_t i = 0; i < in.size(); ++i)
        s += std::string(".input ") + in[i].Semantic + " v" + std::to_string(i) + "." + MaskOf(in[i].Components) + "\n";
    struct Out {
        const char* Semantic;
        int Input;
        int Components;
    };
    std::vector<Out> outs;
    for (const char* semantic : {"COLOR", "TEXCOORD", "TEXCOORD1", "COLOR1"}) {
        const int at = FindInput(in, semantic);
        if (at >= 0) outs.push_back({semantic, at, in[at].Components});
    }
    s += ".output SV_POSITION o0.xyzw\n";
    for (size_t i = 0; i < outs.size(); ++i)
        s += std::string(".output ") + outs[i].Semantic + " o" + std::to_string(i + 1) + "." + MaskOf(outs[i].Components) + "\n";
    s += is3D ? "dcl_constantBuffer cb1[14], immediateIndexed\n" : "dcl_constantBuffer cb1[4], immediateIndexed\n";
    s += std::string("dcl_input v0.") + (is3D ? "xyz" : "xyz") + "\n";
    for (const Out& o : outs) s += "dcl_input v" + std::to_string(o.Input) + "." + MaskOf(o.Components) + "\n";
    s += "dcl_output_siv o0.xyzw, position\n";
    for (size_t i = 0; i < outs.size(); ++i) s += "dcl_output o" + std::to_string(i + 1) + "." + MaskOf(outs[i].Components) + "\n";
    s += "dcl_temps 2\n";
    s += "mov r0.xyz, v0.xyzx\nmov r0.w, l(1.000000)\n";
    if (is3D) {
        s += "dp4 r1.x, r0.xyzw, cb1[11].xyzw\ndp4 r1.y, r0.xyzw, cb1[12].xyzw\ndp4 r1.z, r0.xyzw, cb1[13].xyzw\nmov r1.w, l(1.000000)\n";
        for (int c = 0; c < 4; ++c) s += std::string("dp4 o0.") + "xyzw"[c] + ", r1.xyzw, cb1[" + std::to_string(4 + c) + "].xyzw\n";
    } else {
        for (int c = 0; c < 4; ++c) s += std::string("dp4 o0.") + "xyzw"[c] + ", r0.xyzw, cb1[" + std::to_string(c) + "].xyzw\n";
    }
    for (size_t i = 0; i < outs.size(); ++i) {
        const std::string mask = MaskOf(outs[i].Components);
        const std::string swizzle = outs[i].Components == 2 ? "xyxx" : "xyzw";
        s += "mov o" + std::to_string(i + 1) + "." + mask + ", v" + std::to_string(outs[i].Input) + "." + swizzle + "\n";
    }
    return s + "ret\n";
}

// ---- Fixed-function pixel shaders ---------------------------------------------------------------------

// Alpha test of r0.w; r1 and r2 are free.
inline std::string AlphaTest(bool functionFromConstants)
{
    if (!functionFromConstants) return "ge r1.x, cb1[1].y, r0.w\ndiscard_nz r1.x\n";
    // Comparison code - 1 is a bit set: 1 less, 2 equal, 4 greater.
    return "lt r1.x, r0.w, cb1[1].y\n"
           "eq r1.y, r0.w, cb1[1].y\n"
           "lt r1.z, cb1[1].y, r0.w\n"
           "iadd r2.x, cb1[2].x, l(-1)\n"
           "and r2.xyz, r2.xxxx, l(1, 2, 4, 0)\n"
           "ine r2.xyz, r2.xyzx, l(0, 0, 0, 0)\n"
           "and r1.xyz, r1.xyzx, r2.xyzx\n"
           "or r1.x, r1.y, r1.x\n"
           "or r1.x, r1.z, r1.x\n"
           "discard_z r1.x\n";
}

// The end of every fixed-function style pixel shader: the colour in r0 turned into what the blend row of
// shader `type` expects (`diffuseAlpha` names the colour alpha the premultiplied types scale by), the
// alpha test, the output. r1 and r2 are free.
inline std::string ShaderTypeTail(int type, bool alphaTest, const std::string& diffuseAlpha)
{
    std::string s;
    switch (type) {
    case 1: s += "mad r0.xyz, r0.xyzx, r0.wwww, -r0.wwww\nadd r0.xyz, r0.xyzx, l(1.000000, 1.000000, 1.000000, 1.000000)\n"; break;
    case 2: s += "add r0.xyz, -r0.xyzx, l(1.000000, 1.000000, 1.000000, 1.000000)\n"; break;
    case 3: s += "mul r0.xyz, r0.xyzx, l(4.000000, 4.000000, 4.000000, 4.000000)\n"; break;
    default: break;
    }
    if (type >= 4) s += "mul r0.xyz, r0.xyzx, " + diffuseAlpha + "\n";
    if (type == 5) s += "add r0.xyz, -r0.xyzx, r0.wwww\n";
    if (type == 6) s += "mul r0.xyz, r0.xyzx, l(4.000000, 4.000000, 4.000000, 4.000000)\n";
    s += AlphaTest(alphaTest);
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// graphKind: -1 untextured, 0 plain texture, 1-3 blend graph of kind 0-2.
inline std::string FixedPixelShader(int graphKind, int type, bool ignoreColour, bool opaque, bool alphaTest)
{
    const bool textured = graphKind >= 0;
    const bool blend = graphKind >= 1;
    const bool premultiplied = type >= 4;
    std::string s = "// Fixed-function pixel shader: type " + std::to_string(type) + (textured ? ", textured" : ", untextured") +
                    (blend ? ", blend graph kind " + std::to_string(graphKind - 1) : "") + (ignoreColour ? ", colour ignored" : "") +
                    (opaque ? ", opaque" : "") + (alphaTest ? ", alpha test" : "") + "\nps_4_0\n";
    s += ".input SV_POSITION v0.xyzw\n.input COLOR v1.xyzw\n";
    if (textured) s += ".input TEXCOORD v2.xy\n";
    if (blend) s += ".input TEXCOORD1 v3.xy\n";
    s += ".output SV_TARGET o0.xyzw\n";
    s += "dcl_constantBuffer cb1[3], immediateIndexed\n";
    if (textured) s += "dcl_sampler s0\n";
    if (blend) s += "dcl_sampler s1\n";
    if (textured) s += "dcl_resource_texture2d (float,float,float,float) t0\n";
    if (blend) s += "dcl_resource_texture2d (float,float,float,float) t1\n";
    s += "dcl_input_ps linear v1.xyzw\n";
    if (textured) s += "dcl_input_ps linear v2.xy\n";
    if (blend) s += "dcl_input_ps linear v3.xy\n";
    s += "dcl_output o0.xyzw\ndcl_temps 3\n";
    if (textured) {
        // With a blend graph the vertices carry the blend graph's coordinates first and the graph's second.
        s += std::string("sample r0.xyzw, ") + (blend ? "v3" : "v2") + ".xyxx, t0.xyzw, s0\n";
        if (opaque) s += "mov r0.w, l(1.000000)\n";
        if (ignoreColour) s += premultiplied ? "mov r0.xyz, r0.wwww\n" : "mov r0.xyz, l(1.000000, 1.000000, 1.000000, 1.000000)\n";
        if (blend) {
            s += "sample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
            const std::string scaled = premultiplied ? "r0.xyzw" : "r0.w";
            if (graphKind == 1) {
                s += "add r1.xyzw, r1.xyzw, -r0.xyzw\nmad r0.xyzw, r1.xyzw, cb1[0].wwww, r0.xyzw\n";
            } else if (graphKind == 2) {
                s += "add r1.x, r1.x, cb1[0].w\nmul_sat r1.x, r1.x, cb1[0].z\n";
                s += "mul " + scaled + ", r0." + (premultiplied ? "xyzw" : "w") + ", r1.xxxx\n";
            } else {
                s += "mul " + scaled + ", r0." + (premultiplied ? "xyzw" : "w") + ", r1.wwww\n";
            }
        }
        s += "mul r0.xyzw, r0.xyzw, v1.xyzw\n";
    } else {
        s += "mov r0.xyzw, v1.xyzw\n";
    }
    return s + ShaderTypeTail(type, alphaTest, "v1.wwww");
}

// ---- Simple transfer, masks, channel mix ----------------------------------------------------------------

inline std::string SimpleTransferVertexShader(int coordinates)
{
    std::string s = "// Simple transfer: clip-space position and " + std::to_string(coordinates) + " texture coordinates passed on\nvs_4_0\n";
    s += ".input POSITION v0.xy\n";
    for (int i = 0; i < coordinates; ++i) s += ".input TEXCOORD" + std::to_string(i) + " v" + std::to_string(i + 1) + ".xy\n";
    s += ".output SV_POSITION o0.xyzw\n";
    for (int i = 0; i < coordinates; ++i) s += ".output TEXCOORD" + std::to_string(i) + " o" + std::to_string(i + 1) + ".xy\n";
    for (int i = 0; i <= coordinates; ++i) s += "dcl_input v" + std::to_string(i) + ".xy\n";
    s += "dcl_output_siv o0.xyzw, position\n";
    for (int i = 1; i <= coordinates; ++i) s += "dcl_output o" + std::to_string(i) + ".xy\n";
    s += "mov o0.xy, v0.xyxx\nmov o0.zw, l(0, 0, 0, 1.000000)\n";
    for (int i = 1; i <= coordinates; ++i) s += "mov o" + std::to_string(i) + ".xy, v" + std::to_string(i) + ".xyxx\n";
    return s + "ret\n";
}

// The head of a pixel shader fed by the simple-transfer vertex shader: texture 0 sampled at
// coordinate 0 into r0 (and, with `second`, texture 1 at coordinate 1 into r1).
inline std::string TransferPixelHead(const std::string& comment, bool second, int temps)
{
    std::string s = "// " + comment + "\nps_4_0\n.input SV_POSITION v0.xyzw\n.input TEXCOORD0 v1.xy\n.input TEXCOORD1 v2.xy\n";
    s += ".output SV_TARGET o0.xyzw\ndcl_sampler s0\n";
    if (second) s += "dcl_sampler s1\n";
    s += "dcl_resource_texture2d (float,float,float,float) t0\n";
    if (second) s += "dcl_resource_texture2d (float,float,float,float) t1\n";
    s += "dcl_input_ps linear v1.xy\n";
    if (second) s += "dcl_input_ps linear v2.xy\n";
    s += "dcl_output o0.xyzw\ndcl_temps " + std::to_string(temps) + "\n";
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\n";
    if (second) s += "sample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
    return s;
}

inline std::string SimpleTransferPixelShader()
{
    return TransferPixelHead("Simple transfer: the texel as it is", false, 1) + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Mask composite: the mask screen (texture 0) where the mask image (texture 1, the given channel) is
// clear (a mask byte of 0 lets drawing through), nothing elsewhere; reversed: where it is set.
inline std::string MaskPixelShader(bool reversed, int channel)
{
    const std::string c(1, "xyzw"[channel]);
    std::string s = TransferPixelHead(std::string(reversed ? "Reversed mask" : "Mask") + " composite, mask in channel " + c, true, 2);
    s += std::string(reversed ? "eq" : "ne") + " r1.x, r1." + c + ", l(0.000000)\ndiscard_nz r1.x\n";
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Channel mix: output channel i = source channel selector[i]; premultiplied: mixed between
// un-premultiplying and premultiplying again.
inline std::string ChannelMixPixelShader(int r, int g, int b, int a, bool premultiplied)
{
    const char* names = "xyzw";
    const std::string swizzle = {names[r], names[g], names[b], names[a]};
    std::string s = TransferPixelHead("Channel mix " + swizzle + (premultiplied ? ", premultiplied" : ""), false, 3);
    if (premultiplied) {
        s += "lt r2.x, l(0.000000), r0.w\ndiv r2.yzw, r0.xxyz, r0.wwww\nmovc r0.xyz, r2.xxxx, r2.yzwy, l(0, 0, 0, 0)\n";
        s += "mov r1.xyzw, r0." + swizzle + "\nmul r1.xyz, r1.xyzx, r1.wwww\nmov o0.xyzw, r1.xyzw\n";
    } else {
        s += "mov o0.xyzw, r0." + swizzle + "\n";
    }
    return s + "ret\n";
}

// ---- Packs ----------------------------------------------------------------------------------------------

// Index of a textured fixed-function shader within its group of 56.
inline int TexturedIndex(int type, bool ignoreColour, bool opaque, bool alphaTest)
{
    return type * 8 + (ignoreColour ? 4 : 0) + (opaque ? 2 : 0) + (alphaTest ? 1 : 0);
}

// Main pack, in pack order: 8 standard vertex shaders, 14 untextured and 224 textured pixel shaders,
// the mask and reversed mask shaders with four variants each, the two simple-transfer vertex shaders
// and the simple-transfer pixel shader.
inline std::vector<Source> MainPackSources()
{
    std::vector<Source> out;
    for (int type = 0; type < 8; ++type) out.push_back({"StandardVertex" + std::to_string(type), StandardVertexShader(type)});
    for (int i = 0; i < 14; ++i) out.push_back({"Untextured" + std::to_string(i), FixedPixelShader(-1, i / 2, false, false, i & 1)});
    for (int group = 0; group < 4; ++group)
        for (int i = 0; i < 56; ++i)
            out.push_back({"Textured" + std::to_string(group) + "_" + std::to_string(i),
                           FixedPixelShader(group, i / 8, (i & 4) != 0, (i & 2) != 0, (i & 1) != 0)});
    out.push_back({"Mask", MaskPixelShader(false, 0)});
    out.push_back({"MaskReverse", MaskPixelShader(true, 0)});
    for (int c = 0; c < 4; ++c) out.push_back({"Mask" + std::to_string(c), MaskPixelShader(false, c)});
    for (int c = 0; c < 4; ++c) out.push_back({"MaskReverse" + std::to_string(c), MaskPixelShader(true, c)});
    out.push_back({"SimpleTransferVertex", SimpleTransferVertexShader(2)});
    out.push_back({"SimpleTransferVertex8", SimpleTransferVertexShader(8)});
    out.push_back({"SimpleTransferPixel", SimpleTransferPixelShader()});
    return out;
}

// Channel-mix pack: index (((R x 4 + G) x 4 + B) x 4 + A) x 2 + premultiplied.
inline std::vector<Source> ChannelMixSources()
{
    std::vector<Source> out;
    for (int i = 0; i < kChannelMixCount; ++i) {
        const int sel = i >> 1;
        out.push_back({"ChannelMix" + std::to_string(i),
                       ChannelMixPixelShader(sel >> 6 & 3, sel >> 4 & 3, sel >> 2 & 3, sel & 3, (i & 1) != 0)});
    }
    return out;
}

}  // namespace VtBuiltIn
