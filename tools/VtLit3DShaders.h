// The sources of the lit-3D shader pack, made from templates: vertex and pixel shaders of the lit 3D
// vertex type (position, normal, diffuse and specular colour, two texture coordinates) for per-pixel
// lighting (up to six lights), per-vertex lighting (up to three), unlit drawing and the shadow-map
// pass, over the light-type sequences, fog modes, the shadow-map switch, the blend-row shader types
// and the alpha-test switch. Header-only, no platform dependency: used by vtshgen and by tests.
//
// Light codes: 0 none, 1 point, 2 spot, 3 directional. A shader made for a light-type sequence
// (non-increasing codes) treats its k-th light as the light whose constants start at register
// cb0[L(k)], where L(k) = 7 x (the light's index) is read from the light table: cb0[0].yzw for k = 0-2,
// cb0[7].yzw for k = 3-5 (unused words of the light records). The code choosing the shaders writes it.
//
// Constants read (register numbers; each register four floats):
//   vertex cb0 / pixel cb0 (lighting): light i at 7i: type, position (view space) and range squared,
//     direction and falloff, diffuse and cos(outer / 2), specular and 1 / (cos(inner / 2) - cos(outer / 2)),
//     ambient x material ambient, attenuation 0-2; material diffuse 42, specular 43, global ambient term
//     44, power 45.x and the colour-source switches 45.y (diffuse from the vertex), 45.z (specular from
//     the vertex); fog terms 47 (end / (end - start), -1 / (end - start), density), fog colour 49.
//   vertex cb1: projection (view x projection x viewport) 4-7, view rows 8-10, world rows 11-13,
//     the specular switch 15.z.
//   vertex cb2: the light view-projection of shadow map s at 4s-4s+3, the texture matrix rows 12-13.
//   pixel cb1: alpha-test reference 1.y and function 2.x, the uses-texture switch 3.y (an integer).
//   pixel cb2: shadow map s: 2s.x depth adjustment, enables for the first three lights 2s.z, 2s.w,
//     (2s+1).x.
// Textures: t0 (sampler s0) the draw texture; t8-t10 (samplers s8-s10) the shadow maps, whose red
// channel holds the depth z / w the shadow pass wrote.
//
// Colour: diffuse = global term + sum of (light diffuse x material diffuse x N.L + light ambient) x
// attenuation x spot factor (x shadow for N.L), alpha = material diffuse alpha; specular = sum of light
// specular x (N.H)^power, times material specular and the switch; then the texture colour times the
// diffuse, plus the specular, blended with the fog colour by the fog factor, and the blend-row shader
// type and alpha test of the fixed-function pixel shaders.
#pragma once
#include <string>
#include <vector>

#include "tools/VtBuiltInShaders.h"

namespace VtBuiltIn {

constexpr int kLit3DCount = 2822;
// First entries of the groups of the lit-3D pack, in pack order.
constexpr int kLitPerPixelVS = 0, kLitPerPixelPS = 8, kLitShadowVS = 2360, kLitUnlitVS = 2362, kLitPerVertexVS = 2366,
              kLitShadowPS = 2526, kLitUnlitPS = 2528, kLitPerVertexPS = 2542;

// The non-increasing sequences of `length` codes 0..maxCode, in the order of the number that reads the
// codes as base-4 digits, first code highest.
inline std::vector<std::vector<int>> NonIncreasingSequences(int length, int maxCode)
{
    std::vector<std::vector<int>> out;
    int keys = 1;
    for (int i = 0; i < length; ++i) keys *= 4;
    for (int key = 0; key < keys; ++key) {
        std::vector<int> codes(length);
        bool take = true;
        for (int i = 0; i < length; ++i) {
            codes[i] = key >> (2 * (length - 1 - i)) & 3;
            take &= codes[i] <= maxCode && (i == 0 || codes[i] <= codes[i - 1]);
        }
        if (take) out.push_back(codes);
    }
    return out;
}

// The class of a light for the per-vertex pixel shaders: 0 none, 1 point or spot, 2 directional.
inline int LightClass(int code)
{
    return code == 3 ? 2 : code != 0 ? 1 : 0;
}

inline std::string N(int value)
{
    return std::to_string(value);
}

// ---- Pieces ------------------------------------------------------------------------------------------

struct Element {
    std::string Semantic;   // with its index ("TEXCOORD1")
    std::string Mask;
};

inline std::string SignatureLines(const char* direction, char letter, const std::vector<Element>& elements)
{
    std::string s;
    for (size_t i = 0; i < elements.size(); ++i)
        s += std::string(".") + direction + " " + elements[i].Semantic + " " + letter + N(int(i)) + "." + elements[i].Mask + "\n";
    return s;
}

// The inputs of the lit 3D vertex type, as its input layout gives them.
inline std::string LitVertexInputs()
{
    return ".input POSITION v0.xyz\n.input NORMAL v1.xyz\n.input COLOR v2.xyzw\n.input COLOR1 v3.xyzw\n"
           ".input TEXCOORD v4.xy\n.input TEXCOORD1 v5.xy\n";
}

// World position in r1 (w = 1), the clip position into o0, the light-space positions of the three shadow
// maps into o[shadowOut]..o[shadowOut + 2] when shadowOut > 0, the view position in r2.
inline std::string VertexPosition(int shadowOut)
{
    std::string s = "mov r0.xyz, v0.xyzx\nmov r0.w, l(1.000000)\n";
    for (int c = 0; c < 3; ++c) s += std::string("dp4 r1.") + "xyz"[c] + ", r0.xyzw, cb1[" + N(11 + c) + "].xyzw\n";
    s += "mov r1.w, l(1.000000)\n";
    for (int c = 0; c < 4; ++c) s += std::string("dp4 o0.") + "xyzw"[c] + ", r1.xyzw, cb1[" + N(4 + c) + "].xyzw\n";
    if (shadowOut > 0)
        for (int m = 0; m < 3; ++m)
            for (int c = 0; c < 4; ++c)
                s += std::string("dp4 o") + N(shadowOut + m) + "." + "xyzw"[c] + ", r1.xyzw, cb2[" + N(4 * m + c) + "].xyzw\n";
    for (int c = 0; c < 3; ++c) s += std::string("dp4 r2.") + "xyz"[c] + ", r1.xyzw, cb1[" + N(8 + c) + "].xyzw\n";
    return s;
}

// Texture coordinate 0 through the texture matrix ((u, v, 1, 0) times its first two columns).
inline std::string VertexTexcoord(int out)
{
    return "mov r0.xy, v4.xyxx\nmov r0.zw, l(0, 0, 1.000000, 0)\ndp4 o" + N(out) + ".x, r0.xyzw, cb2[12].xyzw\ndp4 o" + N(out) +
           ".y, r0.xyzw, cb2[13].xyzw\n";
}

// The fog factor of `mode` (0 none, 1 exp, 2 exp2, 3 linear) at view depth r2.z into `dest`.
inline std::string VertexFog(int mode, const std::string& dest)
{
    switch (mode) {
    case 1: return "mul r0.x, r2.z, cb0[47].z\nmul r0.x, r0.x, l(-1.442695)\nexp_sat " + dest + ", r0.x\n";
    case 2: return "mul r0.x, r2.z, cb0[47].z\nmul r0.x, r0.x, r0.x\nmul r0.x, r0.x, l(-1.442695)\nexp_sat " + dest + ", r0.x\n";
    case 3: return "mad_sat " + dest + ", r2.z, cb0[47].y, cb0[47].x\n";
    default: return "mov " + dest + ", l(1.000000)\n";
    }
}

inline std::string VertexNormal()
{
    std::string s;
    for (int c = 0; c < 3; ++c) s += std::string("dp3 r3.") + "xyz"[c] + ", v1.xyzx, cb1[" + N(11 + c) + "].xyzx\n";
    for (int c = 0; c < 3; ++c) s += std::string("dp3 r0.") + "xyz"[c] + ", r3.xyzx, cb1[" + N(8 + c) + "].xyzx\n";
    return s + "dp3 r0.w, r0.xyzx, r0.xyzx\nrsq r0.w, r0.w\nmul r0.xyz, r0.xyzx, r0.wwww\n";
}

// The register base of the k-th light of a sequence, as a relative index ("r10.x + ").
inline std::string LightBase(int k)
{
    return std::string(k < 3 ? "r10." : "r11.") + "xyz"[k % 3];
}
inline std::string LightRegister(int k, int offset)
{
    return "cb0[" + LightBase(k) + " + " + N(offset) + "]";
}
// The light table into r10 (lights 0-2) and r11 (3-5).
inline std::string LightTable(int lights)
{
    std::string s = "iadd r10.xyz, cb0[0].yzwy, l(0, 0, 0, 0)\n";
    if (lights > 3) s += "iadd r11.xyz, cb0[7].yzwy, l(0, 0, 0, 0)\n";
    return s;
}

// One light of type `code` at position k: r4.xyz the half vector, r4.w attenuation x spot factor, r5.w
// its diffuse scale (N.L x r4.w x shadow), r5.x its specular scale; N in `n`, the view vector in `v`,
// the view position in `p`; `shadow` the operand of its shadow factor or empty. r5 and r4 are scratch.
inline std::string LightFactors(int code, int k, const std::string& p, const std::string& n, const std::string& v,
                                const std::string& shadow)
{
    std::string s = "// light " + N(k) + (code == 3 ? ": directional\n" : code == 2 ? ": spot\n" : ": point\n");
    if (code == 3) {
        s += "mov r4.xyz, -" + LightRegister(k, 2) + ".xyzx\nmov r4.w, l(1.000000)\n";
    } else {
        s += "add r4.xyz, " + LightRegister(k, 1) + ".xyzx, -" + p + ".xyzx\n";
        s += "dp3 r5.x, r4.xyzx, r4.xyzx\nrsq r5.y, r5.x\nmul r4.xyz, r4.xyzx, r5.yyyy\nsqrt r5.z, r5.x\n";
        s += "mad r5.w, " + LightRegister(k, 6) + ".z, r5.x, " + LightRegister(k, 6) + ".x\n";
        s += "mad r5.w, " + LightRegister(k, 6) + ".y, r5.z, r5.w\n";
        s += "div r4.w, l(1.000000), r5.w\n";
        s += "ge r5.x, " + LightRegister(k, 1) + ".w, r5.x\nand r4.w, r4.w, r5.x\n";
        if (code == 2) {
            s += "dp3 r5.x, -r4.xyzx, " + LightRegister(k, 2) + ".xyzx\n";
            s += "add r5.x, r5.x, -" + LightRegister(k, 3) + ".w\n";
            s += "mul_sat r5.x, r5.x, " + LightRegister(k, 4) + ".w\n";
            s += "lt r5.z, l(0.000000), r5.x\nmax r5.x, r5.x, l(0.000001)\nlog r5.x, r5.x\n";
            s += "mul r5.x, r5.x, " + LightRegister(k, 2) + ".w\nexp r5.x, r5.x\nand r5.x, r5.x, r5.z\nmul r4.w, r4.w, r5.x\n";
        }
    }
    s += "dp3_sat r5.y, " + n + ".xyzx, r4.xyzx\n";
    s += shadow.empty() ? "mov r5.z, r4.w\n" : "mul r5.z, r4.w, " + shadow + "\n";
    s += "mul r5.w, r5.y, r5.z\n";
    s += "add r4.xyz, r4.xyzx, " + v + ".xyzx\ndp3 r5.x, r4.xyzx, r4.xyzx\nrsq r5.x, r5.x\nmul r4.xyz, r4.xyzx, r5.xxxx\n";
    s += "dp3_sat r5.x, " + n + ".xyzx, r4.xyzx\nmax r5.x, r5.x, l(0.000001)\nlog r5.x, r5.x\nmul r5.x, r5.x, cb0[45].x\nexp r5.x, r5.x\n";
    s += "lt r5.y, l(0.000000), r5.y\nand r5.x, r5.x, r5.y\nmul r5.x, r5.x, r5.z\n";
    return s;
}

// Material diffuse into `md` and specular into `ms` (from the vertex colours when their switches say so).
inline std::string MaterialColours(const std::string& md, const std::string& ms)
{
    return "ine " + md + ".x, cb0[45].y, l(0)\nmovc " + md + ".xyzw, " + md + ".xxxx, v2.xyzw, cb0[42].xyzw\n" + "ine " + ms +
           ".x, cb0[45].z, l(0)\nmovc " + ms + ".xyzw, " + ms + ".xxxx, v3.xyzw, cb0[43].xyzw\n";
}

// Pixel shader: 1 - (lit by shadow map s) into r6.x, r6.y, r6.z from the light-space positions in
// v[first]..v[first + 2].
inline std::string ShadowTests(int first)
{
    std::string s;
    for (int m = 0; m < 3; ++m) {
        const std::string v = "v" + N(first + m);
        s += "div r4.xyz, " + v + ".xyzx, " + v + ".wwww\n";
        s += "mad r4.xy, r4.xyxx, l(0.500000, -0.500000, 0, 0), l(0.500000, 0.500000, 0, 0)\n";
        s += "sample r5.xyzw, r4.xyxx, t" + N(8 + m) + ".xyzw, s" + N(8 + m) + "\n";
        s += "add r5.x, r5.x, cb2[" + N(2 * m) + "].x\nge r5.x, r5.x, r4.z\n";
        s += std::string("movc r6.") + "xyz"[m] + ", r5.x, l(0.000000), l(1.000000)\n";
    }
    return s;
}

// Pixel shader: the shadow factor of the k-th light (k < 3) into r8.x, from r6.
inline std::string ShadowFactor(int k)
{
    std::string s;
    for (int m = 0; m < 3; ++m) {
        const std::string enable = k < 2 ? "cb2[" + N(2 * m) + "]." + "zw"[k] : "cb2[" + N(2 * m + 1) + "].x";
        s += std::string("mad r8.") + "xyz"[m] + ", -" + enable + ", r6." + "xyz"[m] + ", l(1.000000)\n";
    }
    return s + "mul r8.x, r8.x, r8.y\nmul r8.x, r8.x, r8.z\n";
}

inline std::string PixelDeclarations(bool shadowMaps, int inputs, const std::vector<std::string>& inputMasks)
{
    std::string s = "dcl_constantBuffer cb0[54], dynamicIndexed\ndcl_constantBuffer cb1[5], immediateIndexed\n";
    if (shadowMaps) s += "dcl_constantBuffer cb2[6], immediateIndexed\n";
    s += "dcl_sampler s0\n";
    if (shadowMaps) s += "dcl_sampler s8\ndcl_sampler s9\ndcl_sampler s10\n";
    s += "dcl_resource_texture2d (float,float,float,float) t0\n";
    if (shadowMaps)
        for (int m = 8; m <= 10; ++m) s += "dcl_resource_texture2d (float,float,float,float) t" + N(m) + "\n";
    for (int i = 1; i < inputs; ++i) s += "dcl_input_ps linear v" + N(i) + "." + inputMasks[i] + "\n";
    return s + "dcl_output o0.xyzw\ndcl_temps 12\n";
}

// The end of every lit pixel shader: the texture (when the uses-texture switch is on) times the colour
// in `diffuse`, plus the specular in `specular` (or none), the fog, the shader type and the alpha test.
inline std::string LitPixelTail(const std::string& diffuse, const std::string& specular, const std::string& fog, int type,
                                bool alphaTest)
{
    std::string s = "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nine r1.x, cb1[3].y, l(0)\n";
    s += "movc r0.xyzw, r1.xxxx, r0.xyzw, l(1.000000, 1.000000, 1.000000, 1.000000)\n";
    s += "mul r0.xyzw, r0.xyzw, " + diffuse + ".xyzw\n";
    if (!specular.empty()) s += "add r0.xyz, r0.xyzx, " + specular + ".xyzx\n";
    s += "add r1.xyz, r0.xyzx, -cb0[49].xyzx\nmad r0.xyz, r1.xyzx, " + fog + ", cb0[49].xyzx\n";
    s += "mov r3.w, " + diffuse + ".w\n";
    return s + ShaderTypeTail(type, alphaTest, "r3.wwww");
}

// ---- Shaders -----------------------------------------------------------------------------------------

// The outputs of the per-pixel vertex shaders (and inputs of their pixel shaders).
inline std::vector<Element> PerPixelVaryings(bool shadowMaps)
{
    std::vector<Element> e = {{"SV_POSITION", "xyzw"}, {"TEXCOORD0", "xy"}, {"COLOR0", "xyzw"}, {"COLOR1", "xyzw"},
                              {"TEXCOORD1", "xyzw"},   {"TEXCOORD2", "xyzw"}};
    if (shadowMaps)
        for (int m = 0; m < 3; ++m) e.push_back({"TEXCOORD" + N(3 + m), "xyzw"});
    return e;
}

// Per-vertex lighting varyings: colour 0 the lit diffuse (without shadows: all of it; with them: the
// part no shadow touches), colour 1 the specular (with shadows: the material specular), the fog factor,
// and with shadows each light's diffuse (xyz) and specular scale (w), then the light-space positions.
inline std::vector<Element> PerVertexVaryings(bool shadowMaps)
{
    std::vector<Element> e = {{"SV_POSITION", "xyzw"}, {"TEXCOORD0", "xy"}, {"COLOR0", "xyzw"}, {"COLOR1", "xyzw"}, {"TEXCOORD1", "x"}};
    if (shadowMaps)
        for (int i = 0; i < 6; ++i) e.push_back({"TEXCOORD" + N(2 + i), "xyzw"});
    return e;
}

inline std::string VertexHead(const std::string& comment, const std::vector<Element>& outputs, bool lighting)
{
    std::string s = "// " + comment + "\nvs_4_0\n" + LitVertexInputs() + SignatureLines("output", 'o', outputs);
    s += std::string("dcl_constantBuffer cb0[54], ") + (lighting ? "dynamicIndexed\n" : "immediateIndexed\n");
    s += "dcl_constantBuffer cb1[16], immediateIndexed\ndcl_constantBuffer cb2[14], immediateIndexed\n";
    s += "dcl_input v0.xyz\n";
    if (lighting) s += "dcl_input v1.xyz\n";
    s += "dcl_input v2.xyzw\n";
    if (lighting) s += "dcl_input v3.xyzw\n";
    s += "dcl_input v4.xy\ndcl_output_siv o0.xyzw, position\n";
    for (size_t i = 1; i < outputs.size(); ++i) s += "dcl_output o" + N(int(i)) + "." + outputs[i].Mask + "\n";
    return s + "dcl_temps 12\n";
}

inline std::string PixelHead(const std::string& comment, const std::vector<Element>& inputs, bool shadowMaps)
{
    std::vector<std::string> masks;
    for (const Element& e : inputs) masks.push_back(e.Mask);
    return "// " + comment + "\nps_4_0\n" + SignatureLines("input", 'v', inputs) + ".output SV_TARGET o0.xyzw\n" +
           PixelDeclarations(shadowMaps, int(inputs.size()), masks);
}

inline std::string PerPixelVertexShader(int fog, bool shadowMaps)
{
    std::string s = VertexHead("Per-pixel lighting vertex shader: fog mode " + N(fog) + (shadowMaps ? ", shadow maps" : ""),
                               PerPixelVaryings(shadowMaps), true);
    s += VertexPosition(shadowMaps ? 6 : 0);
    s += VertexTexcoord(1);
    s += "mov o2.xyzw, v2.xyzw\nmov o3.xyzw, v3.xyzw\nmov o4.xyz, r2.xyzx\n";
    s += VertexFog(fog, "o4.w");
    s += VertexNormal();
    s += "mov o5.xyz, r0.xyzx\nmov o5.w, cb1[15].z\n";
    return s + "ret\n";
}

inline std::string SequenceText(const std::vector<int>& codes)
{
    std::string s;
    for (int c : codes) s += N(c);
    return s;
}

inline std::string PerPixelPixelShader(const std::vector<int>& lights, bool shadowMaps, int type, bool alphaTest)
{
    std::string s = PixelHead("Per-pixel lighting pixel shader: lights " + SequenceText(lights) + (shadowMaps ? ", shadow maps" : "") +
                                  ", shader type " + N(type) + (alphaTest ? ", alpha test" : ""),
                              PerPixelVaryings(shadowMaps), shadowMaps);
    int count = 0;
    for (int c : lights) count += c != 0;
    if (shadowMaps) s += ShadowTests(6);
    s += LightTable(count);
    s += "dp3 r0.w, v5.xyzx, v5.xyzx\nrsq r0.w, r0.w\nmul r0.xyz, r0.wwww, v5.xyzx\n";
    s += "dp3 r1.w, v4.xyzx, v4.xyzx\nrsq r1.w, r1.w\nmul r1.xyz, -r1.wwww, v4.xyzx\n";
    s += MaterialColours("r7", "r9");
    s += "mov r2.xyz, cb0[44].xyzx\nmov r3.xyz, l(0, 0, 0, 0)\n";
    for (int k = 0; k < 6; ++k) {
        if (lights[k] == 0) continue;
        const bool shadowed = shadowMaps && k < 3;
        if (shadowed) s += ShadowFactor(k);
        s += LightFactors(lights[k], k, "v4", "r0", "r1", shadowed ? "r8.x" : "");
        s += "mul r8.xyz, " + LightRegister(k, 3) + ".xyzx, r7.xyzx\nmad r2.xyz, r8.xyzx, r5.wwww, r2.xyzx\n";
        s += "mad r2.xyz, " + LightRegister(k, 5) + ".xyzx, r4.wwww, r2.xyzx\n";
        s += "mad r3.xyz, " + LightRegister(k, 4) + ".xyzx, r5.xxxx, r3.xyzx\n";
    }
    s += "mov_sat r2.xyz, r2.xyzx\nmov r2.w, r7.w\nmul r3.xyz, r3.xyzx, r9.xyzx\nmul r3.xyz, r3.xyzx, v5.wwww\n";
    return s + LitPixelTail("r2", "r3", "v4.wwww", type, alphaTest);
}

inline std::string PerVertexVertexShader(const std::vector<int>& lights, int fog, bool shadowMaps)
{
    std::string s = VertexHead("Per-vertex lighting vertex shader: lights " + SequenceText(lights) + ", fog mode " + N(fog) +
                                   (shadowMaps ? ", shadow maps" : ""),
                               PerVertexVaryings(shadowMaps), true);
    s += VertexPosition(shadowMaps ? 8 : 0);
    s += VertexTexcoord(1);
    s += VertexFog(fog, "o4.x");
    s += VertexNormal();
    s += "dp3 r1.w, r2.xyzx, r2.xyzx\nrsq r1.w, r1.w\nmul r1.xyz, -r1.wwww, r2.xyzx\n";
    s += LightTable(3);
    s += MaterialColours("r7", "r6");
    s += "mov r3.xyz, cb0[44].xyzx\nmov r8.xyz, l(0, 0, 0, 0)\n";
    for (int k = 0; k < 3; ++k) {
        if (lights[k] == 0) {
            if (shadowMaps) s += "mov o" + N(5 + k) + ".xyzw, l(0, 0, 0, 0)\n";
            continue;
        }
        s += LightFactors(lights[k], k, "r2", "r0", "r1", "");
        s += "mul r9.xyz, " + LightRegister(k, 3) + ".xyzx, r7.xyzx\n";
        s += "mad r3.xyz, " + LightRegister(k, 5) + ".xyzx, r4.wwww, r3.xyzx\n";
        if (shadowMaps) {
            s += "mul o" + N(5 + k) + ".xyz, r9.xyzx, r5.wwww\nmov o" + N(5 + k) + ".w, r5.x\n";
        } else {
            s += "mad r3.xyz, r9.xyzx, r5.wwww, r3.xyzx\n";
            s += "mad r8.xyz, " + LightRegister(k, 4) + ".xyzx, r5.xxxx, r8.xyzx\n";
        }
    }
    if (shadowMaps) {
        s += "mov o2.xyz, r3.xyzx\nmov o2.w, r7.w\nmul o3.xyz, r6.xyzx, cb1[15].zzzz\nmov o3.w, l(0.000000)\n";
    } else {
        s += "mov_sat o2.xyz, r3.xyzx\nmov o2.w, r7.w\nmul r8.xyz, r8.xyzx, r6.xyzx\nmul o3.xyz, r8.xyzx, cb1[15].zzzz\n";
        s += "mov o3.w, l(0.000000)\n";
    }
    return s + "ret\n";
}

// `classes`: the light classes of the sequence (LightClass); the shader reads as many per-light terms as
// the sequence has lights.
inline std::string PerVertexPixelShader(const std::vector<int>& classes, bool shadowMaps, int type, bool alphaTest)
{
    std::string s = PixelHead("Per-vertex lighting pixel shader: light classes " + SequenceText(classes) +
                                  (shadowMaps ? ", shadow maps" : "") + ", shader type " + N(type) + (alphaTest ? ", alpha test" : ""),
                              PerVertexVaryings(shadowMaps), shadowMaps);
    s += "mov r2.xyzw, v2.xyzw\n";
    if (shadowMaps) {
        s += ShadowTests(8);
        s += LightTable(3);
        s += "mov r3.xyz, l(0, 0, 0, 0)\n";
        for (int k = 0; k < 3; ++k) {
            if (classes[k] == 0) continue;
            s += ShadowFactor(k);
            s += "mad r2.xyz, v" + N(5 + k) + ".xyzx, r8.xxxx, r2.xyzx\nmul r8.x, r8.x, v" + N(5 + k) + ".w\n";
            s += "mad r3.xyz, " + LightRegister(k, 4) + ".xyzx, r8.xxxx, r3.xyzx\n";
        }
        s += "mul r3.xyz, r3.xyzx, v3.xyzx\n";
    } else {
        s += "mov r3.xyz, v3.xyzx\n";
    }
    s += "mov_sat r2.xyz, r2.xyzx\n";
    return s + LitPixelTail("r2", "r3", "v4.xxxx", type, alphaTest);
}

inline std::vector<Element> UnlitVaryings()
{
    return {{"SV_POSITION", "xyzw"}, {"TEXCOORD0", "xy"}, {"COLOR0", "xyzw"}, {"TEXCOORD1", "x"}};
}

inline std::string UnlitVertexShader(int fog)
{
    std::string s = VertexHead("Unlit 3D vertex shader: fog mode " + N(fog), UnlitVaryings(), false);
    s += VertexPosition(0) + VertexTexcoord(1) + "mov o2.xyzw, v2.xyzw\n" + VertexFog(fog, "o3.x");
    return s + "ret\n";
}

inline std::string UnlitPixelShader(int type, bool alphaTest)
{
    std::string s = PixelHead("Unlit 3D pixel shader: shader type " + N(type) + (alphaTest ? ", alpha test" : ""), UnlitVaryings(), false);
    return s + LitPixelTail("v2", "", "v3.xxxx", type, alphaTest);
}

// The shadow-map pass: the depth z / w into every channel; with the alpha test the texture's alpha
// (uses-texture switch) times the vertex alpha is tested first.
inline std::vector<Element> ShadowVaryings(bool alphaTest)
{
    if (!alphaTest) return {{"SV_POSITION", "xyzw"}, {"TEXCOORD0", "xy"}};
    return {{"SV_POSITION", "xyzw"}, {"TEXCOORD0", "xy"}, {"COLOR0", "xyzw"}, {"TEXCOORD1", "xy"}};
}

inline std::string ShadowVertexShader(bool alphaTest)
{
    std::string s = VertexHead(std::string("Shadow-map pass vertex shader") + (alphaTest ? ", alpha test" : ""), ShadowVaryings(alphaTest), false);
    s += VertexPosition(0);
    const std::string depth = alphaTest ? "o3" : "o1";
    for (int c = 0; c < 2; ++c) s += std::string("dp4 ") + depth + "." + "xy"[c] + ", r1.xyzw, cb1[" + N(6 + c) + "].xyzw\n";
    if (alphaTest) s += VertexTexcoord(1) + "mov o2.xyzw, v2.xyzw\n";
    return s + "ret\n";
}

inline std::string ShadowPixelShader(bool alphaTest)
{
    const std::vector<Element> in = ShadowVaryings(alphaTest);
    std::string s = "// Shadow-map pass pixel shader" + std::string(alphaTest ? ", alpha test" : "") + "\nps_4_0\n" +
                    SignatureLines("input", 'v', in) + ".output SV_TARGET o0.xyzw\n";
    if (alphaTest) {
        s += "dcl_constantBuffer cb1[5], immediateIndexed\ndcl_sampler s0\ndcl_resource_texture2d (float,float,float,float) t0\n";
        s += "dcl_input_ps linear v1.xy\ndcl_input_ps linear v2.xyzw\ndcl_input_ps linear v3.xy\n";
    } else {
        s += "dcl_input_ps linear v1.xy\n";
    }
    s += "dcl_output o0.xyzw\ndcl_temps 3\n";
    const std::string depth = alphaTest ? "v3" : "v1";
    if (alphaTest) {
        s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nine r1.x, cb1[3].y, l(0)\nmovc r0.w, r1.x, r0.w, l(1.000000)\n";
        s += "mul r0.w, r0.w, v2.w\n" + AlphaTest(true);
    }
    s += "div r0.x, " + depth + ".x, " + depth + ".y\nmov o0.xyz, r0.xxxx\nmov o0.w, l(1.000000)\n";
    return s + "ret\n";
}

// ---- Pack --------------------------------------------------------------------------------------------

// Lit-3D pack in pack order; indexes as the shader choice computes them:
//   per-pixel VS [fog + 4 x shadow]; PS [((six-light number + 84 x shadow) x 7 + type) x 2 + test];
//   shadow pass VS and PS [test]; unlit VS [fog], PS [type x 2 + test];
//   per-vertex VS [three-light number + (fog + 4 x shadow) x 20]; PS [((class number + 10 x shadow) x 7
//   + type) x 2 + test].
inline std::vector<Source> Lit3DSources()
{
    const std::vector<std::vector<int>> six = NonIncreasingSequences(6, 3);
    const std::vector<std::vector<int>> three = NonIncreasingSequences(3, 3);
    const std::vector<std::vector<int>> classes = NonIncreasingSequences(3, 2);
    std::vector<Source> out;
    for (int i = 0; i < 8; ++i) out.push_back({"LitPixelVS" + N(i), PerPixelVertexShader(i % 4, i >= 4)});
    for (int i = 0; i < 2352; ++i) {
        const int seq = i / 14 % 84, shadow = i / (14 * 84);
        out.push_back({"LitPixelPS" + N(i), PerPixelPixelShader(six[seq], shadow != 0, i / 2 % 7, (i & 1) != 0)});
    }
    for (int t = 0; t < 2; ++t) out.push_back({"ShadowVS" + N(t), ShadowVertexShader(t != 0)});
    for (int f = 0; f < 4; ++f) out.push_back({"UnlitVS" + N(f), UnlitVertexShader(f)});
    for (int i = 0; i < 160; ++i) {
        const int key = i / 20;
        out.push_back({"LitVertexVS" + N(i), PerVertexVertexShader(three[i % 20], key % 4, key >= 4)});
    }
    for (int t = 0; t < 2; ++t) out.push_back({"ShadowPS" + N(t), ShadowPixelShader(t != 0)});
    for (int i = 0; i < 14; ++i) out.push_back({"UnlitPS" + N(i), UnlitPixelShader(i / 2, (i & 1) != 0)});
    for (int i = 0; i < 280; ++i) {
        const int seq = i / 14 % 10, shadow = i / 140;
        out.push_back({"LitVertexPS" + N(i), PerVertexPixelShader(classes[seq], shadow != 0, i / 2 % 7, (i & 1) != 0)});
    }
    return out;
}

}  // namespace VtBuiltIn
