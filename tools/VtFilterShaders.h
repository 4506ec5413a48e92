// The sources of the graph-filter pixel shaders, made from templates, with the file names the filter
// archive gives them. Header-only, no platform dependency: used by vtshgen and by tests.
//
// Every shader follows the simple-transfer vertex shader (texture coordinates 0 and 1; the resampling
// filters follow the eight-coordinate one) and reads the filter constants from cb3 (four floats a
// register, slot n of the filter constant buffer is cb3[n / 4], component n % 4). Texture 0 is the
// source at coordinate 0, texture 1 the second image at coordinate 1, texture 2 the third image.
// A "_PMA" shader takes premultiplied colours: it divides the colour by alpha first and multiplies
// again at the end (the blend shaders do so for both images).
#pragma once
#include <string>
#include <vector>

#include "tools/VtBuiltInShaders.h"

namespace VtBuiltIn {

namespace Filter {

inline std::string Num(int n)
{
    return std::to_string(n);
}

// The head: `textures` textures (point or bilinear as the pass binds them), `coordinates` texture
// coordinates (2, or 8 for the resampling filters), `constants` registers of cb3 (0: none).
inline std::string Head(const std::string& comment, int textures, int coordinates, int constants, int temps)
{
    std::string s = "// " + comment + "\nps_4_0\n.input SV_POSITION v0.xyzw\n";
    for (int i = 0; i < coordinates; ++i) s += ".input TEXCOORD" + Num(i) + " v" + Num(i + 1) + ".xy\n";
    s += ".output SV_TARGET o0.xyzw\n";
    if (constants > 0) s += "dcl_constantBuffer cb3[" + Num(constants) + "], immediateIndexed\n";
    for (int i = 0; i < textures; ++i) s += "dcl_sampler s" + Num(i) + "\n";
    for (int i = 0; i < textures; ++i) s += "dcl_resource_texture2d (float,float,float,float) t" + Num(i) + "\n";
    const int used = coordinates == 8 ? 1 : textures >= 2 ? 2 : 1;
    for (int i = 1; i <= used; ++i) s += "dcl_input_ps linear v" + Num(i) + ".xy\n";
    return s + "dcl_output o0.xyzw\ndcl_temps " + Num(temps) + "\n";
}

// Colour in `reg` divided by its alpha (0 where alpha is 0); r15 is scratch.
inline std::string Unpremultiply(const std::string& reg)
{
    return "lt r15.x, l(0.000000), " + reg + ".w\ndiv r15.yzw, " + reg + ".xxyz, " + reg + ".wwww\nmovc " + reg + ".xyz, r15.xxxx, r15.yzwy, l(0, 0, 0, 0)\n";
}

inline std::string Premultiply(const std::string& reg)
{
    return "mul " + reg + ".xyz, " + reg + ".xyzx, " + reg + ".wwww\n";
}

// A one-source colour filter: r0 = the source texel (un-premultiplied for _PMA), `body` leaves the
// result in r0.
inline std::string ColourFilter(const std::string& name, bool pma, int textures, int constants, const std::string& body)
{
    std::string s = Head("Filter " + name + (pma ? ", premultiplied" : ""), textures, 2, constants, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\n";
    if (pma) s += Unpremultiply("r0");
    s += body;
    if (pma) s += Premultiply("r0");
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Luminance of r0 by the weights in cb3[reg] into r1.x.
inline std::string Luminance(int reg)
{
    return "dp3 r1.x, r0.xyzx, cb3[" + Num(reg) + "].xyzx\n";
}

// ---- Bodies ------------------------------------------------------------------------------------------

inline std::string Mono()
{
    return ColourFilter("Mono", false, 1, 2,
                        Luminance(0) + "add_sat r0.xyz, r1.xxxx, cb3[1].xyzx\n");
}

// Gauss: weight 0 at the texel, weight k at +- offset k (slot 16 + 2k, 17 + 2k), taps 0 .. width / 2.
inline std::string Gauss(int width)
{
    const int taps = width / 2 < 15 ? width / 2 : 15;
    std::string s = Head("Filter Gauss, " + Num(width) + " pixels", 1, 2, 12, 4);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nmul r0.xyzw, r0.xyzw, cb3[0].xxxx\n";
    for (int k = 1; k <= taps; ++k) {
        const std::string offset = "cb3[" + Num(4 + k / 2) + "]." + (k % 2 == 0 ? "xyxx" : "zwzz");
        const std::string weight = "cb3[" + Num(k / 4) + "]." + std::string(1, "xyzw"[k % 4]);
        s += "add r1.xy, v1.xyxx, " + offset + "\nsample r2.xyzw, r1.xyxx, t0.xyzw, s0\n";
        s += "add r1.xy, v1.xyxx, -" + offset + "\nsample r3.xyzw, r1.xyxx, t0.xyzw, s0\n";
        s += "add r2.xyzw, r2.xyzw, r3.xyzw\nmad r0.xyzw, r2.xyzw, " + weight + ", r0.xyzw\n";
    }
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Down-scale: the mean of the samples at the offset pairs (two a register).
inline std::string DownScale(int factor)
{
    const int pairs = factor == 2 ? 1 : factor == 4 ? 4 : 16;
    std::string s = Head("Filter down-scale by " + Num(factor), 1, 2, (pairs + 1) / 2, 4);
    s += "mov r0.xyzw, l(0, 0, 0, 0)\n";
    for (int p = 0; p < pairs; ++p) {
        s += "add r1.xy, v1.xyxx, cb3[" + Num(p / 2) + "]." + (p % 2 == 0 ? "xyxx" : "zwzz") + "\n";
        s += "sample r2.xyzw, r1.xyxx, t0.xyzw, s0\nadd r0.xyzw, r0.xyzw, r2.xyzw\n";
    }
    char scale[32];
    snprintf(scale, sizeof(scale), "%.6f", 1.0 / pairs);
    return s + "mul o0.xyzw, r0.xyzw, l(" + scale + ")\nret\n";
}

inline std::string Invert(bool pma)
{
    return ColourFilter("Invert", pma, 1, 0, "add r0.xyz, -r0.xyzx, l(1.000000, 1.000000, 1.000000, 0)\n");
}

// Level (values 0-1): input minimum and 1 / input range, the gamma table (texture 1, 256 x 1), the output
// minimum and maximum.
inline std::string Level(bool pma)
{
    std::string body = "add r1.xyz, r0.xyzx, -cb3[0].xxxx\nmul_sat r1.xyz, r1.xyzx, cb3[0].yyyy\n";
    body += "mov r2.y, l(0.500000)\n";
    for (int c = 0; c < 3; ++c) {
        body += std::string("mov r2.x, r1.") + "xyz"[c] + "\nsample r3.xyzw, r2.xyxx, t1.xyzw, s1\n";
        body += std::string("mov r0.") + "xyz"[c] + ", r3.x\n";
    }
    body += "add r1.x, cb3[0].w, -cb3[0].z\nmad_sat r0.xyz, r0.xyzx, r1.xxxx, cb3[0].zzzz\n";
    return ColourFilter("Level", pma, 2, 1, body);
}

inline std::string TwoColor(bool pma)
{
    return ColourFilter("TwoColor", pma, 1, 3, Luminance(0) + "lt r1.x, r1.x, cb3[0].w\nmovc r0.xyzw, r1.xxxx, cb3[1].xyzw, cb3[2].xyzw\n");
}

inline std::string Replacement(bool pma)
{
    std::string body = "add r1.xyzw, r0.xyzw, -cb3[0].xyzw\nlt r1.xyzw, |r1.xyzw|, l(0.002000, 0.002000, 0.002000, 0.002000)\n";
    body += "and r1.x, r1.x, r1.y\nand r1.x, r1.x, r1.z\nand r1.x, r1.x, r1.w\nmovc r0.xyzw, r1.xxxx, cb3[1].xyzw, r0.xyzw\n";
    return ColourFilter("Replacement", pma, 1, 2, body);
}

inline std::string PremultipliedAlpha()
{
    return ColourFilter("PremultipliedAlpha", false, 1, 0, Premultiply("r0"));
}

inline std::string InterpolatedAlpha()
{
    return ColourFilter("InterpolatedAlpha", false, 1, 0, Unpremultiply("r0"));
}

// Catmull-Rom weights of f (a component of r2) into r3.xyzw; r4 is scratch.
inline std::string CubicWeights(char f)
{
    const std::string c(1, f);
    std::string s = "mul r4.x, r2." + c + ", r2." + c + "\nmul r4.y, r4.x, r2." + c + "\n";
    s += "mad r3.x, r4.x, l(2.000000), -r4.y\nadd r3.x, r3.x, -r2." + c + "\n";
    s += "mul r3.y, r4.y, l(3.000000)\nmad r3.y, r4.x, l(-5.000000), r3.y\nadd r3.y, r3.y, l(2.000000)\n";
    s += "mul r3.z, r4.y, l(-3.000000)\nmad r3.z, r4.x, l(4.000000), r3.z\nadd r3.z, r3.z, r2." + c + "\n";
    s += "add r3.w, r4.y, -r4.x\nmul r3.xyzw, r3.xyzw, l(0.500000, 0.500000, 0.500000, 0.500000)\n";
    return s;
}

// The head of a resampling shader (eight texture coordinates, only the first read; cb3[0].xy the source
// size): r0.xy the centre of the first texel of the `taps` x `taps` block around the sample point, r1.xy
// one texel, r2.xy the sample point's fraction. `shift` turns coordinate 0 into the position half a texel before
// the sample point (texel units, x and y); `first` places the first texel relative to the one under it.
inline std::string ResampleHead(const std::string& comment, int temps, const std::string& shift, const std::string& first)
{
    std::string s = "// " + comment + "\nps_4_0\n.input SV_POSITION v0.xyzw\n";
    for (int i = 0; i < 8; ++i) s += ".input TEXCOORD" + Num(i) + " v" + Num(i + 1) + ".xy\n";
    s += ".output SV_TARGET o0.xyzw\ndcl_constantBuffer cb3[1], immediateIndexed\ndcl_sampler s0\n";
    s += "dcl_resource_texture2d (float,float,float,float) t0\ndcl_input_ps linear v1.xy\ndcl_output o0.xyzw\ndcl_temps " + Num(temps) + "\n";
    s += "mad r0.xy, v1.xyxx, cb3[0].xyxx, l(" + shift + ", 0, 0)\nfrc r2.xy, r0.xyxx\nadd r0.xy, r0.xyxx, -r2.xyxx\n";
    s += "add r0.xy, r0.xyxx, l(" + first + ", " + first + ", 0, 0)\ndiv r0.xy, r0.xyxx, cb3[0].xyxx\n";
    return s + "div r1.xy, l(1.000000, 1.000000, 0, 0), cb3[0].xyxx\n";
}

// Bicubic: 4 x 4 texels around the sample point with Catmull-Rom weights; coordinate 0 lies 1.5 texels
// up and left of the point; cb3[0].xy the source texture size.
inline std::string Bicubic()
{
    // Texel space: p = coordinate 0 x size + 1.5 - 0.5; f its fraction; the first texel one before.
    std::string s = ResampleHead("Filter bicubic", 10, "1.000000, 1.000000", "-0.500000");
    s += CubicWeights('x') + "mov r5.xyzw, r3.xyzw\n" + CubicWeights('y') + "mov r6.xyzw, r3.xyzw\n";
    s += "mov r7.xyzw, l(0, 0, 0, 0)\n";
    for (int y = 0; y < 4; ++y) {
        s += "mov r9.xyzw, l(0, 0, 0, 0)\n";
        for (int x = 0; x < 4; ++x) {
            s += "mad r8.xy, r1.xyxx, l(" + Num(x) + ".000000, " + Num(y) + ".000000, 0, 0), r0.xyxx\n";
            s += "sample r8.xyzw, r8.xyxx, t0.xyzw, s0\nmad r9.xyzw, r8.xyzw, r5." + std::string(1, "xyzw"[x]) + ", r9.xyzw\n";
        }
        s += "mad r7.xyzw, r9.xyzw, r6." + std::string(1, "xyzw"[y]) + ", r7.xyzw\n";
    }
    return s + "mov_sat o0.xyzw, r7.xyzw\nret\n";
}

// Lanczos-3 weight of the distance in `d` (a register component) into `out`: sinc(d) sinc(d / 3).
inline std::string LanczosWeight(const std::string& d, const std::string& out)
{
    std::string s = "mul r12.x, " + d + ", l(3.141593)\nmax r12.x, |r12.x|, l(0.000100)\nmul r12.y, r12.x, l(0.333333)\n";
    s += "sincos r13.x, null, r12.x\nsincos r13.y, null, r12.y\nmul r13.x, r13.x, r13.y\nmul r12.x, r12.x, r12.y\n";
    return s + "div " + out + ", r13.x, r12.x\n";
}

// Lanczos-3: 6 x 6 texels; coordinate 0 lies 0.5 texel left and 2.5 up of the point; cb3[0].xy the
// source size.
inline std::string Lanczos3()
{
    // p = coordinate 0 x size + (0.5, 2.5) - 0.5; the first texel two before.
    std::string s = ResampleHead("Filter Lanczos-3", 14, "0.000000, 2.000000", "-1.500000");
    // Weights: x in r5.xyzw r6.xy, y in r7.xyzw r8.xy, distances 2 + f - i.
    const char* slots[6] = {"r5.x", "r5.y", "r5.z", "r5.w", "r6.x", "r6.y"};
    const char* slotsY[6] = {"r7.x", "r7.y", "r7.z", "r7.w", "r8.x", "r8.y"};
    for (int axis = 0; axis < 2; ++axis)
        for (int i = 0; i < 6; ++i) {
            s += std::string("add r3.x, r2.") + "xy"[axis] + ", l(" + Num(2 - i) + ".000000)\n";
            s += LanczosWeight("r3.x", axis == 0 ? slots[i] : slotsY[i]);
        }
    s += "mov r9.xyzw, l(0, 0, 0, 0)\nmov r11.x, l(0)\n";
    for (int y = 0; y < 6; ++y) {
        s += "mov r10.xyzw, l(0, 0, 0, 0)\n";
        for (int x = 0; x < 6; ++x) {
            s += "mad r4.xy, r1.xyxx, l(" + Num(x) + ".000000, " + Num(y) + ".000000, 0, 0), r0.xyxx\n";
            s += std::string("sample r4.xyzw, r4.xyxx, t0.xyzw, s0\nmad r10.xyzw, r4.xyzw, ") + slots[x] + ", r10.xyzw\n";
        }
        s += std::string("mad r9.xyzw, r10.xyzw, ") + slotsY[y] + ", r9.xyzw\n";
    }
    // Normalised by the sum of the weights.
    s += "add r3.x, r5.x, r5.y\nadd r3.x, r3.x, r5.z\nadd r3.x, r3.x, r5.w\nadd r3.x, r3.x, r6.x\nadd r3.x, r3.x, r6.y\n";
    s += "add r3.y, r7.x, r7.y\nadd r3.y, r3.y, r7.z\nadd r3.y, r3.y, r7.w\nadd r3.y, r3.y, r8.x\nadd r3.y, r3.y, r8.y\n";
    s += "mul r3.x, r3.x, r3.y\ndiv r9.xyzw, r9.xyzw, r3.xxxx\n";
    return s + "mov_sat o0.xyzw, r9.xyzw\nret\n";
}

// SSAO, pass 0: the occlusion of each pixel from the depth buffer of the depth graph (texture 1 at
// coordinate 1, read with point sampling). cb3: 0 the sampling radius (view units), the strength, the
// depth bias, the largest depth gap an occluder may have (0 or less: no limit); 1 near, far, width,
// height; 2-5 the projection, 6-9 its inverse, each column by column; 10-73 the sample kernel. The pixel's
// view position comes from its depth through the inverse projection. Each kernel vector, turned about the
// view axis by the 4 x 4 pattern (texture 2, wrapped: the cosine of the angle in red) and pointed towards
// the camera, scaled by the radius, gives a point near the surface; it is occluded when the depth buffer
// at its place on the screen holds a surface in front of it by more than the bias. The share of occluded
// points times the strength, clamped, is written to every colour channel; alpha 1. A flat surface facing
// the camera is never occluded.
inline std::string Ssao()
{
    std::string s = Head("Filter SSAO", 3, 2, 74, 12);
    s += "sample r0.xyzw, v2.xyxx, t1.xyzw, s1\n";
    s += "mad r1.xy, v2.xyxx, l(2.000000, -2.000000, 0, 0), l(-1.000000, 1.000000, 0, 0)\nmov r1.z, r0.x\nmov r1.w, l(1.000000)\n";
    for (int c = 0; c < 4; ++c) s += std::string("dp4 r2.") + "xyzw"[c] + ", r1.xyzw, cb3[" + Num(6 + c) + "].xyzw\n";
    s += "div r2.xyz, r2.xyzx, r2.wwww\n";
    s += "mul r3.xy, v1.xyxx, cb3[1].zwzz\nmul r3.xy, r3.xyxx, l(0.250000, 0.250000, 0, 0)\nsample r3.xyzw, r3.xyxx, t2.xyzw, s2\n";
    s += "mad r3.y, -r3.x, r3.x, l(1.000000)\nmax r3.y, r3.y, l(0.000000)\nsqrt r3.y, r3.y\n";
    s += "ge r11.x, l(0.000000), cb3[0].w\nmov r4.x, l(0)\n";
    for (int k = 0; k < 64; ++k) {
        const std::string v = "cb3[" + Num(10 + k) + "]";
        s += "mul r5.x, " + v + ".x, r3.x\nmad r5.x, -" + v + ".y, r3.y, r5.x\nmul r5.y, " + v + ".x, r3.y\n";
        s += "mad r5.y, " + v + ".y, r3.x, r5.y\nmov r5.z, -" + v + ".z\nmad r5.xyz, r5.xyzx, cb3[0].xxxx, r2.xyzx\nmov r5.w, l(1.000000)\n";
        s += "dp4 r6.x, r5.xyzw, cb3[2].xyzw\ndp4 r6.y, r5.xyzw, cb3[3].xyzw\ndp4 r6.w, r5.xyzw, cb3[5].xyzw\n";
        s += "div r6.xy, r6.xyxx, r6.wwww\nmad r7.xy, r6.xyxx, l(0.500000, -0.500000, 0, 0), l(0.500000, 0.500000, 0, 0)\n";
        s += "sample r8.xyzw, r7.xyxx, t1.xyzw, s1\nmov r6.z, r8.x\nmov r6.w, l(1.000000)\n";
        s += "dp4 r9.x, r6.xyzw, cb3[8].xyzw\ndp4 r9.y, r6.xyzw, cb3[9].xyzw\ndiv r9.x, r9.x, r9.y\n";
        s += "add r9.z, r5.z, -cb3[0].z\nlt r9.w, r9.x, r9.z\nadd r10.x, r2.z, -r9.x\nlt r10.y, r10.x, cb3[0].w\n";
        s += "or r10.y, r10.y, r11.x\nand r9.w, r9.w, r10.y\nmovc r9.w, r9.w, l(1.000000), l(0.000000)\nadd r4.x, r4.x, r9.w\n";
    }
    s += "mul r4.x, r4.x, l(0.015625)\nmul_sat r4.x, r4.x, cb3[0].y\nmov o0.xyz, r4.xxxx\nmov o0.w, l(1.000000)\n";
    return s + "ret\n";
}

// SSAO, pass 1: the occlusion blurred over 4 x 4 pixels (cb3[1].xy the texture size).
inline std::string SsaoBlur()
{
    std::string s = Head("Filter SSAO blur", 1, 2, 2, 4);
    s += "div r1.xy, l(1.000000, 1.000000, 0, 0), cb3[1].xyxx\nmov r0.x, l(0)\n";
    for (int y = -2; y < 2; ++y)
        for (int x = -2; x < 2; ++x) {
            s += "mad r2.xy, r1.xyxx, l(" + Num(x) + ".500000, " + Num(y) + ".500000, 0, 0), v1.xyxx\n";
            s += "sample r2.xyzw, r2.xyxx, t0.xyzw, s0\nadd r0.x, r0.x, r2.x\n";
        }
    s += "mul r0.x, r0.x, l(0.062500)\nmov o0.xyz, r0.xxxx\nmov o0.w, l(1.000000)\n";
    return s + "ret\n";
}

// SSAO, pass 2: the colour graph (texture 1) darkened towards the occlusion colour (cb3[0].xyz) by the
// occlusion times cb3[1].x.
inline std::string SsaoMix()
{
    std::string s = Head("Filter SSAO mix", 2, 2, 2, 4);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nsample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
    s += "mul_sat r0.x, r0.x, cb3[1].x\nmul r2.xyz, r1.xyzx, cb3[0].xyzx\nadd r2.xyz, r2.xyzx, -r1.xyzx\nmad r1.xyz, r2.xyzx, r0.xxxx, r1.xyzx\n";
    return s + "mov o0.xyzw, r1.xyzw\nret\n";
}

inline std::string FloatColorScale()
{
    return ColourFilter("FloatColorScale", false, 1, 2, "mad r0.xyzw, r0.xyzw, cb3[0].xyzw, cb3[1].xyzw\n");
}

// ---- Byte-exact colour filters -----------------------------------------------------------------------
// These shaders take the texel's bytes as integers (red, green, blue, alpha in x, y, z, w; point sampling
// reads an 8-bit texel as exactly byte / 255) and do the integer arithmetic of the software filters, so
// that both give the same bytes. Luminance is weighed in 1/4096: the weights handed as 0.299, 0.587,
// 0.114 become 1224, 2404, 466 when multiplied by 4096 and truncated, the software's own weights.

// The bytes of the float texel `from` into the integer register `to`.
inline std::string TexelBytes(const std::string& from, const std::string& to)
{
    return "mad " + to + ".xyzw, " + from + ".xyzw, l(255.000000, 255.000000, 255.000000, 255.000000), l(0.500000, 0.500000, 0.500000, 0.500000)\n"
           "ftoi " + to + ".xyzw, " + to + ".xyzw\n";
}

// Straight colour bytes of the premultiplied bytes in `reg`: min(255, c x 255 / a), 0 where alpha is 0
// (r14, r15 scratch).
inline std::string UnpremultiplyBytes(const std::string& reg)
{
    return "imul null, r14.xyz, " + reg + ".xyzx, l(255, 255, 255, 0)\nudiv r14.xyz, null, r14.xyzx, " + reg + ".wwww\n"
           "imin r14.xyz, r14.xyzx, l(255, 255, 255, 0)\nieq r15.x, " + reg + ".w, l(0)\n"
           "movc " + reg + ".xyz, r15.xxxx, l(0, 0, 0, 0), r14.xyzx\n";
}

// The colour bytes in `reg` premultiplied by its alpha byte: c x a / 255, truncated.
inline std::string PremultiplyBytes(const std::string& reg)
{
    return "imul null, " + reg + ".xyz, " + reg + ".xyzx, " + reg + ".wwww\nudiv " + reg + ".xyz, null, " + reg +
           ".xyzx, l(255, 255, 255, 0)\n";
}

// The bytes in `reg` written out (r0 scratch).
inline std::string OutputBytes(const std::string& reg)
{
    return "itof r0.xyzw, " + reg + ".xyzw\ndiv o0.xyzw, r0.xyzw, l(255.000000, 255.000000, 255.000000, 255.000000)\n";
}

// Luminance of the bytes in `reg` in 1/4096 by the weights of cb3[`weights`] into r13.x.
inline std::string LuminanceBytes(const std::string& reg, int weights)
{
    return "mul r13.xyz, cb3[" + Num(weights) + "].xyzx, l(4096.000000, 4096.000000, 4096.000000, 0)\nftoi r13.xyz, r13.xyzx\n"
           "imul null, r13.xyz, r13.xyzx, " + reg + ".xyzx\niadd r13.x, r13.x, r13.y\niadd r13.x, r13.x, r13.z\n";
}

// The head of a byte-exact filter: r0 the texel, r1 its bytes (straight for _PMA).
inline std::string ByteFilterHead(const std::string& name, bool pma, int textures, int constants)
{
    std::string s = Head("Filter " + name + (pma ? ", premultiplied" : ""), textures, 2, constants, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\n" + TexelBytes("r0", "r1");
    if (pma) s += UnpremultiplyBytes("r1");
    return s;
}

// The HSL quantities of the bytes r1.xyz: r3.x max, r3.y min, r3.z delta, r3.w sum, r4.x lightness, r4.z
// saturation (0-256), r5.xyz (max - c) x 256 / delta for red, green, blue (0 for a grey).
inline std::string HslBytes()
{
    return "imax r3.x, r1.x, r1.y\nimax r3.x, r3.x, r1.z\nimin r3.y, r1.x, r1.y\nimin r3.y, r3.y, r1.z\n"
           "iadd r3.z, r3.x, -r3.y\niadd r3.w, r3.x, r3.y\nushr r4.x, r3.w, l(1)\n"
           "iadd r4.y, -r3.w, l(512)\nilt r4.z, l(128), r4.x\nmovc r4.y, r4.z, r4.y, r3.w\nimax r4.y, r4.y, l(1)\n"
           "ishl r4.z, r3.z, l(8)\nudiv r4.z, null, r4.z, r4.y\n"
           "imax r4.w, r3.z, l(1)\niadd r5.xyz, r3.xxxx, -r1.xyzx\nishl r5.xyz, r5.xyzx, l(8, 8, 8, 0)\n"
           "udiv r5.xyz, null, r5.xyzx, r4.wwww\n";
}

// The colour bytes r10.xyz pulled to grey by the saturation in `k`, then lit to the lightness in `l`
// (0-255): c + ((128 - c)(256 - k) >> 8), then (2 l c) >> 8 up to 128, else c + ((255 - c)(l - 128) 2 >> 8).
// r12, r13, r14 scratch.
inline std::string SaturateLightBytes(const std::string& k, const std::string& l)
{
    return "iadd r12.xyz, -r10.xyzx, l(128, 128, 128, 0)\niadd r12.w, -" + k + ", l(256)\n"
           "imul null, r12.xyz, r12.xyzx, r12.wwww\nishr r12.xyz, r12.xyzx, l(8, 8, 8, 0)\niadd r10.xyz, r10.xyzx, r12.xyzx\n"
           "ishl r12.w, " + l + ", l(1)\nimul null, r12.xyz, r10.xyzx, r12.wwww\nishr r12.xyz, r12.xyzx, l(8, 8, 8, 0)\n"
           "iadd r13.xyz, -r10.xyzx, l(255, 255, 255, 0)\niadd r13.w, " + l + ", l(-128)\nishl r13.w, r13.w, l(1)\n"
           "imul null, r13.xyz, r13.xyzx, r13.wwww\nishr r13.xyz, r13.xyzx, l(8, 8, 8, 0)\niadd r13.xyz, r13.xyzx, r10.xyzx\n"
           "ilt r14.x, l(128), " + l + "\nmovc r10.xyz, r14.xxxx, r13.xyzx, r12.xyzx\n";
}

// The end of a byte-exact tone filter: alpha from the source, premultiplied for _PMA, written.
inline std::string ToneTail(bool pma)
{
    std::string s = "mov r10.w, r1.w\n";
    if (pma) s += PremultiplyBytes("r10");
    return s + OutputBytes("r10") + "ret\n";
}

// ---- Bodies (byte-exact) -----------------------------------------------------------------------------

// Bright clip: cb3[0].x the threshold (0-1), cb3[1] the luminance weights, cb3[2] the fill colour. A
// pixel whose luminance lies below (above for `greater`) threshold x 255 x 4096 becomes the fill colour
// (bytes truncated from colour x 255; premultiplied for _PMA); without fill it is not written at all, so
// the target keeps its pixel. Every other pixel is the source's, byte for byte.
inline std::string BrightClip(bool greater, bool fill, bool pma)
{
    const std::string name = std::string("BrightClip") + (fill ? "Fill" : "") + (greater ? "Greater" : "Less");
    std::string s = Head("Filter " + name + (pma ? ", premultiplied" : ""), 1, 2, 3, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\n" + TexelBytes("r0", "r1") + "mov r2.xyzw, r1.xyzw\n";
    if (pma) s += UnpremultiplyBytes("r2");
    s += LuminanceBytes("r2", 1) + "mul r3.x, cb3[0].x, l(1044480.000000)\nftoi r3.x, r3.x\n";
    s += greater ? "ilt r3.y, r3.x, r13.x\n" : "ilt r3.y, r13.x, r3.x\n";
    if (!fill) return s + "discard_nz r3.y\nmov o0.xyzw, r0.xyzw\nret\n";
    s += "mul r4.xyzw, cb3[2].xyzw, l(255.000000, 255.000000, 255.000000, 255.000000)\nftoi r4.xyzw, r4.xyzw\n";
    s += "imax r4.xyzw, r4.xyzw, l(0, 0, 0, 0)\nimin r4.xyzw, r4.xyzw, l(255, 255, 255, 255)\n";
    if (pma) s += PremultiplyBytes("r4");
    return s + "movc r5.xyzw, r3.yyyy, r4.xyzw, r1.xyzw\n" + OutputBytes("r5") + "ret\n";
}

// Lightness stretch: cb3[0].x the low end / 255, cb3[0].y 255 / (high - low). Each pixel takes the pure
// colour of its own hue, its own saturation and the lightness (L - low) x (255 x 4096 / (high - low)) >> 12.
inline std::string BrightnessScale(bool pma)
{
    std::string s = ByteFilterHead("BrightnessScale", pma, 1, 1);
    s += "mul r2.x, cb3[0].x, l(255.000000)\nround_ne r2.x, r2.x\nftoi r2.x, r2.x\n";
    s += "div r2.y, l(255.000000), cb3[0].y\nround_ne r2.y, r2.y\nftoi r2.y, r2.y\nimax r2.y, r2.y, l(1)\n";
    s += "udiv r2.z, null, l(1044480), r2.y\n";
    s += HslBytes();
    // The pure colour: the largest channel 255, one other the difference of the two others' distances.
    s += "iadd r6.x, l(255), l(0)\niadd r6.y, r5.z, -r5.y\niadd r6.z, r5.y, -r5.z\n";
    s += "iadd r7.y, l(255), l(0)\niadd r7.x, r5.z, -r5.x\niadd r7.z, r5.x, -r5.z\n";
    s += "iadd r8.z, l(255), l(0)\niadd r8.x, r5.y, -r5.x\niadd r8.y, r5.x, -r5.y\n";
    s += "imax r6.yz, r6.yyzy, l(0, 0, 0, 0)\nimax r7.xz, r7.xxzx, l(0, 0, 0, 0)\nimax r8.xy, r8.xyxx, l(0, 0, 0, 0)\n";
    s += "ieq r9.x, r1.x, r3.x\nieq r9.y, r1.y, r3.x\nmovc r10.xyz, r9.yyyy, r7.xyzx, r8.xyzx\n"
         "movc r10.xyz, r9.xxxx, r6.xyzx, r10.xyzx\n";
    s += "iadd r11.x, r4.x, -r2.x\nimul null, r11.x, r11.x, r2.z\nishr r11.x, r11.x, l(12)\n"
         "imax r11.x, r11.x, l(0)\nimin r11.x, r11.x, l(255)\n";
    s += SaturateLightBytes("r4.z", "r11.x") + "imin r10.xyz, r10.xyzx, l(255, 255, 255, 0)\n";
    return s + ToneTail(pma);
}

// HSB in the HSL model: cb3[0].x the hue in sixths of a turn, cb3[0].y the saturation factor, cb3[0].z
// the brightness (-1 to 1). Hue in 1536ths of a turn; hue lock takes that hue for every pixel.
inline std::string Hsb(bool hueLock, bool pma)
{
    std::string s = ByteFilterHead(hueLock ? "Hsb hue lock" : "Hsb", pma, 1, 3);
    s += "mul r2.xyz, cb3[0].xyzx, l(256.000000, 256.000000, 256.000000, 0)\nftoi r2.xyz, r2.xyzx\n";
    if (hueLock) s += "ieq r2.w, r2.x, l(1536)\nmovc r2.x, r2.w, l(0), r2.x\n";
    s += "iadd r2.w, r2.y, l(256)\n";
    // Brightness.
    s += "iadd r3.xyz, -r1.xyzx, l(255, 255, 255, 0)\nimul null, r3.xyz, r3.xyzx, r2.zzzz\nishr r3.xyz, r3.xyzx, l(8, 8, 8, 0)\n"
         "iadd r3.xyz, r3.xyzx, r1.xyzx\niadd r4.x, r2.z, l(256)\nimul null, r4.yzw, r1.xxyz, r4.xxxx\n"
         "ishr r4.yzw, r4.yyzw, l(0, 8, 8, 8)\nilt r5.x, l(0), r2.z\nmovc r1.xyz, r5.xxxx, r3.xyzx, r4.yzwy\n";
    s += HslBytes();
    if (hueLock) {
        s += "mov r6.w, r2.x\n";
    } else {
        s += "iadd r6.x, r5.z, -r5.y\niadd r6.y, r5.x, -r5.z\niadd r6.y, r6.y, l(512)\niadd r6.z, r5.y, -r5.x\n"
             "iadd r6.z, r6.z, l(1024)\nieq r7.x, r1.x, r3.x\nieq r7.y, r1.y, r3.x\nmovc r6.w, r7.y, r6.y, r6.z\n"
             "movc r6.w, r7.x, r6.x, r6.w\nilt r7.z, r6.w, l(0)\niadd r7.w, r6.w, l(1536)\nmovc r6.w, r7.z, r7.w, r6.w\n"
             "ieq r7.z, r3.z, l(0)\nmovc r6.w, r7.z, l(0), r6.w\niadd r6.w, r6.w, r2.x\n"
             "ilt r7.z, r6.w, l(0)\niadd r7.w, r6.w, l(1536)\nmovc r6.w, r7.z, r7.w, r6.w\n"
             "ige r7.z, r6.w, l(1536)\niadd r7.w, r6.w, l(-1536)\nmovc r6.w, r7.z, r7.w, r6.w\n";
    }
    // The pure colour of the hue: 0, 255, f, 255 - f by sector.
    s += "and r7.x, r6.w, l(255)\nushr r7.y, r6.w, l(8)\nmov r9.x, l(0)\niadd r9.y, l(255), l(0)\nmov r9.z, r7.x\n"
         "iadd r9.w, -r7.x, l(255)\nmov r10.xyz, r9.yxwy\n";
    const char* sectors[5] = {"r9.yzxy", "r9.wyxw", "r9.xyzx", "r9.xwyx", "r9.zxyz"};
    for (int sector = 4; sector >= 0; --sector)
        s += "ieq r11.x, r7.y, l(" + Num(sector) + ")\nmovc r10.xyz, r11.xxxx, " + sectors[sector] + ", r10.xyzx\n";
    s += "imul null, r11.x, r2.w, r4.z\nishr r11.x, r11.x, l(8)\nimin r11.x, r11.x, l(256)\n";
    s += SaturateLightBytes("r11.x", "r4.x") + "and r10.xyz, r10.xyzx, l(255, 255, 255, 0)\n";
    return s + ToneTail(pma);
}

// Gradient map: the luminance's whole steps (0-255; reversed 255 - step) pick column step x width / 256
// of the gradient graph's top row (texture 1; cb3[1].x its width, cb3[1].yz its place in the texture);
// the pixel becomes that texel, alpha included (colour premultiplied by the texel's alpha for _PMA).
inline std::string GradientMap(bool reverse, bool pma)
{
    std::string s = ByteFilterHead(reverse ? "GradientMapRev" : "GradientMap", pma, 2, 2);
    s += LuminanceBytes("r1", 0) + "ushr r2.x, r13.x, l(12)\n";
    if (reverse) s += "iadd r2.x, -r2.x, l(255)\n";
    s += "ftoi r3.xyz, cb3[1].xyzx\nimul null, r2.y, r2.x, r3.x\nushr r2.y, r2.y, l(8)\niadd r4.x, r2.y, r3.y\n"
         "mov r4.y, r3.z\nmov r4.zw, l(0, 0, 0, 0)\nld r5.xyzw, r4.xyzw, t1.xyzw\n";
    if (!pma) return s + "mov o0.xyzw, r5.xyzw\nret\n";
    return s + TexelBytes("r5", "r6") + PremultiplyBytes("r6") + OutputBytes("r6") + "ret\n";
}

// YUV to RGB in 15-bit fixed point: Y the source's blue byte; U and V the blue and green bytes of the UV
// graph (texture 1 at coordinate 0 scaled by cb3[0].xy), or without one the source's green and red bytes.
// Blue Y 32768 + 58064 u, green Y 32768 - 11272 u - 23396 v, red Y 32768 + 45940 v (u, v less 128), each
// clamped to 0 .. 255 x 32768 and shifted down by 15. Alpha 255; the RRA layout takes it from the red
// conversion of the Y and V half a source (cb3[0].z) and half a UV graph (cb3[0].w) to the right.
inline std::string YuvToRgb(bool uvGraph, bool rra)
{
    std::string s = Head(std::string("Filter YUV to RGB") + (uvGraph ? ", UV graph" : "") + (rra ? ", alpha picture at the right" : ""),
                         uvGraph ? 2 : 1, 2, 1, 12);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\n" + TexelBytes("r0", "r1");
    if (uvGraph) s += "mul r2.xy, v1.xyxx, cb3[0].xyxx\nsample r3.xyzw, r2.xyxx, t1.xyzw, s1\n" + TexelBytes("r3", "r3") + "mov r4.xy, r3.zyzz\n";
    else s += "mov r4.xy, r1.yxyy\n";
    // r4.x u, r4.y v; r5 the three sums; r6 their bytes.
    s += "iadd r4.xy, r4.xyxx, l(-128, -128, 0, 0)\nishl r4.z, r1.z, l(15)\n";
    s += "imul null, r5.x, r4.y, l(45940)\niadd r5.x, r5.x, r4.z\n";
    s += "imul null, r5.y, r4.x, l(-11272)\niadd r5.y, r5.y, r4.z\nimul null, r4.w, r4.y, l(-23396)\niadd r5.y, r5.y, r4.w\n";
    s += "imul null, r5.z, r4.x, l(58064)\niadd r5.z, r5.z, r4.z\n";
    if (rra) {
        s += "add r7.x, v1.x, cb3[0].z\nmov r7.y, v1.y\nsample r7.xyzw, r7.xyxx, t0.xyzw, s0\n" + TexelBytes("r7", "r7");
        if (uvGraph)
            s += "add r8.x, r2.x, cb3[0].w\nmov r8.y, r2.y\nsample r8.xyzw, r8.xyxx, t1.xyzw, s1\n" + TexelBytes("r8", "r8") + "mov r8.x, r8.y\n";
        else s += "mov r8.x, r7.x\n";
        s += "iadd r8.x, r8.x, l(-128)\nimul null, r8.x, r8.x, l(45940)\nishl r7.z, r7.z, l(15)\niadd r5.w, r8.x, r7.z\n";
    } else {
        s += "iadd r5.w, l(8355840), l(0)\n";
    }
    s += "imax r5.xyzw, r5.xyzw, l(0, 0, 0, 0)\nishr r5.xyzw, r5.xyzw, l(15, 15, 15, 15)\nimin r5.xyzw, r5.xyzw, l(255, 255, 255, 255)\n";
    return s + OutputBytes("r5") + "ret\n";
}

// ---- Blend filters -----------------------------------------------------------------------------------

const char* const kBlendNames[17] = {"Normal",   "Multiple", "Difference", "Add",       "Screen",         "Overlay",
                                     "Dodge",    "Burn",     "Darken",     "Lighten",   "SoftLight",      "HardLight",
                                     "Exclusion", "Normal_AlphaCh", "Add_AlphaCh", "Multiple_AOnly", "Mask"};

// s = r0 (source), b = r1 (blend image); the blended colour into r2.xyz; r3, r4 scratch.
inline std::string BlendColour(int mode)
{
    const std::string one = "l(1.000000, 1.000000, 1.000000, 0)";
    switch (mode) {
    case 0: return "mov r2.xyz, r1.xyzx\n";
    case 1: return "mul r2.xyz, r0.xyzx, r1.xyzx\n";
    case 2: return "add r2.xyz, r0.xyzx, -r1.xyzx\nmov r2.xyz, |r2.xyzx|\n";
    case 3: return "add_sat r2.xyz, r0.xyzx, r1.xyzx\n";
    case 4: return "add r3.xyz, -r0.xyzx, " + one + "\nadd r4.xyz, -r1.xyzx, " + one + "\nmul r3.xyz, r3.xyzx, r4.xyzx\nadd r2.xyz, -r3.xyzx, " + one + "\n";
    case 5:
    case 11: {
        // Overlay on the source (hard light on the blend image): 2ab below one half, else 1 - 2(1-a)(1-b).
        const std::string a = mode == 5 ? "r0" : "r1", b = mode == 5 ? "r1" : "r0";
        std::string s = "mul r3.xyz, " + a + ".xyzx, " + b + ".xyzx\nadd r3.xyz, r3.xyzx, r3.xyzx\n";
        s += "add r4.xyz, -" + a + ".xyzx, " + one + "\nadd r2.xyz, -" + b + ".xyzx, " + one + "\nmul r4.xyz, r4.xyzx, r2.xyzx\n";
        s += "mad r4.xyz, r4.xyzx, l(-2.000000, -2.000000, -2.000000, 0), " + one + "\n";
        s += "lt r2.xyz, " + a + ".xyzx, l(0.500000, 0.500000, 0.500000, 0)\nmovc r2.xyz, r2.xyzx, r3.xyzx, r4.xyzx\n";
        return s;
    }
    case 6: return "add r3.xyz, -r1.xyzx, l(1.000010, 1.000010, 1.000010, 0)\ndiv_sat r2.xyz, r0.xyzx, r3.xyzx\n";
    case 7: return "add r3.xyz, -r0.xyzx, " + one + "\nmax r4.xyz, r1.xyzx, l(0.000010, 0.000010, 0.000010, 0)\ndiv_sat r3.xyz, r3.xyzx, r4.xyzx\nadd r2.xyz, -r3.xyzx, " + one + "\n";
    case 8: return "min r2.xyz, r0.xyzx, r1.xyzx\n";
    case 9: return "max r2.xyz, r0.xyzx, r1.xyzx\n";
    case 10: return "mul r3.xyz, r0.xyzx, r0.xyzx\nmad r4.xyz, r1.xyzx, l(-2.000000, -2.000000, -2.000000, 0), " + one +
                    "\nmul r3.xyz, r3.xyzx, r4.xyzx\nmul r4.xyz, r0.xyzx, r1.xyzx\nmad r2.xyz, r4.xyzx, l(2.000000, 2.000000, 2.000000, 0), r3.xyzx\n";
    default: return "mul r3.xyz, r0.xyzx, r1.xyzx\nadd r2.xyz, r0.xyzx, r1.xyzx\nmad r2.xyz, r3.xyzx, l(-2.000000, -2.000000, -2.000000, 0), r2.xyzx\n";
    }
}

// Blend of the second image onto the source by ratio cb3[0].x times the blend image's alpha.
inline std::string Blend(int mode, bool pma)
{
    std::string s = Head(std::string("Filter blend ") + kBlendNames[mode] + (pma ? ", premultiplied" : ""), 2, 2, 1, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nsample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
    if (pma) s += Unpremultiply("r0") + Unpremultiply("r1");
    s += "mul r5.x, r1.w, cb3[0].x\n";   // the blend weight
    switch (mode) {
    case 13:   // alpha compositing of the blend image over the source
        s += "add r5.y, -r5.x, l(1.000000)\nmul r5.y, r5.y, r0.w\nadd r5.z, r5.x, r5.y\n";
        s += "mul r2.xyz, r1.xyzx, r5.xxxx\nmad r2.xyz, r0.xyzx, r5.yyyy, r2.xyzx\n";
        s += "lt r5.w, l(0.000000), r5.z\ndiv r2.xyz, r2.xyzx, r5.zzzz\nmovc r0.xyz, r5.wwww, r2.xyzx, l(0, 0, 0, 0)\nmov r0.w, r5.z\n";
        break;
    case 14: s += "mad_sat r0.xyz, r1.xyzx, r5.xxxx, r0.xyzx\n"; break;
    case 15: s += "add r5.y, r1.w, l(-1.000000)\nmad r5.y, r5.y, cb3[0].x, l(1.000000)\nmul r0.w, r0.w, r5.y\n"; break;
    case 16: s += "add r5.y, -r5.x, l(1.000000)\nmul r0.w, r0.w, r5.y\n"; break;
    default:
        s += BlendColour(mode);
        s += "add r2.xyz, r2.xyzx, -r0.xyzx\nmad_sat r0.xyz, r2.xyzx, r5.xxxx, r0.xyzx\n";
        break;
    }
    if (pma) s += Premultiply("r0");
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Channel mix with selectors in cb3[0] (selector + 0.5): 0-3 the source's R, G, B, A, 4-7 the second
// image's, 8-11 one minus the source's, 12-15 one minus the second image's.
inline std::string RgbaMixBase(bool pma)
{
    std::string s = Head(std::string("Filter channel mix") + (pma ? ", premultiplied" : ""), 2, 2, 1, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nsample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
    if (pma) s += Unpremultiply("r0") + Unpremultiply("r1");
    s += "add r2.xyzw, -r0.xyzw, l(1.000000, 1.000000, 1.000000, 1.000000)\nadd r3.xyzw, -r1.xyzw, l(1.000000, 1.000000, 1.000000, 1.000000)\n";
    s += "ftoi r4.xyzw, cb3[0].xyzw\nmov r5.xyzw, l(0, 0, 0, 0)\n";
    const char* sources[4] = {"r0", "r1", "r2", "r3"};
    for (int i = 0; i < 16; ++i) {
        s += "ieq r6.xyzw, r4.xyzw, l(" + Num(i) + ", " + Num(i) + ", " + Num(i) + ", " + Num(i) + ")\n";
        s += std::string("movc r5.xyzw, r6.xyzw, ") + sources[i / 4] + "." + std::string(4, "xyzw"[i % 4]) + ", r5.xyzw\n";
    }
    s += "mov r0.xyzw, r5.xyzw\n";
    if (pma) s += Premultiply("r0");
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

// Channel mix "RGBAMix_S<x>S<y>S<z>B<w>": red, green, blue from the source's channels x, y, z, alpha
// from the second image's channel w.
inline std::string RgbaMixNamed(int r, int g, int b, int a, bool pma)
{
    const char* names = "xyzw";
    std::string s = Head(std::string("Filter channel mix ") + names[r] + names[g] + names[b] + " from the source, " + names[a] +
                             " from the second image" + (pma ? ", premultiplied" : ""),
                         2, 2, 0, 16);
    s += "sample r0.xyzw, v1.xyxx, t0.xyzw, s0\nsample r1.xyzw, v2.xyxx, t1.xyzw, s1\n";
    if (pma) s += Unpremultiply("r0") + Unpremultiply("r1");
    s += std::string("mov r2.xyz, r0.") + names[r] + names[g] + names[b] + names[b] + "\nmov r2.w, r1." + names[a] + "\nmov r0.xyzw, r2.xyzw\n";
    if (pma) s += Premultiply("r0");
    return s + "mov o0.xyzw, r0.xyzw\nret\n";
}

}  // namespace Filter

// The filter shaders with their archive file names.
inline std::vector<Source> FilterSources()
{
    using namespace Filter;
    std::vector<Source> out;
    auto both = [&](const std::string& name, auto make) {
        out.push_back({name + ".pso", make(false)});
        out.push_back({name + "_PMA.pso", make(true)});
    };
    out.push_back({"Mono.pso", Mono()});
    for (int w : {8, 16, 32}) out.push_back({std::string("Gauss_") + (w < 10 ? "0" : "") + Num(w) + "Pixel_PS.pso", Gauss(w)});
    for (int f : {2, 4, 8}) out.push_back({"DownScaleX" + Num(f) + ".pso", DownScale(f)});
    both("BrightClipLess", [](bool p) { return BrightClip(false, false, p); });
    both("BrightClipFillLess", [](bool p) { return BrightClip(false, true, p); });
    both("BrightClipGreater", [](bool p) { return BrightClip(true, false, p); });
    both("BrightClipFillGreater", [](bool p) { return BrightClip(true, true, p); });
    both("BrightnessScale", [](bool p) { return BrightnessScale(p); });
    both("Hsb_HSB_BASE", [](bool p) { return Hsb(false, p); });
    both("Hsb_HSB_HLOCK", [](bool p) { return Hsb(true, p); });
    both("Invert", [](bool p) { return Invert(p); });
    both("Level", [](bool p) { return Level(p); });
    both("TwoColor", [](bool p) { return TwoColor(p); });
    both("GradientMap", [](bool p) { return GradientMap(false, p); });
    both("GradientMapRev", [](bool p) { return GradientMap(true, p); });
    both("Replacement", [](bool p) { return Replacement(p); });
    out.push_back({"PremultipliedAlpha.pso", PremultipliedAlpha()});
    out.push_back({"InterpolatedAlpha.pso", InterpolatedAlpha()});
    out.push_back({"Y2uv2ToRgb.pso", YuvToRgb(false, false)});
    out.push_back({"Y2uv1ToRgb.pso", YuvToRgb(true, false)});
    out.push_back({"Y2uv2ToRgb_RRA.pso", YuvToRgb(false, true)});
    out.push_back({"Y2uv1ToRgb_RRA.pso", YuvToRgb(true, true)});
    out.push_back({"Bicubic.pso", Bicubic()});
    out.push_back({"Lanczos3.pso", Lanczos3()});
    out.push_back({"SSAO.pso", Ssao()});
    out.push_back({"SSAO_Blur.pso", SsaoBlur()});
    out.push_back({"SSAO_MIX.pso", SsaoMix()});
    out.push_back({"FloatColorScale.pso", FloatColorScale()});
    for (int mode = 0; mode < 17; ++mode)
        both(std::string("BasBF_") + kBlendNames[mode], [mode](bool p) { return Blend(mode, p); });
    both("RGBAMix_Base", [](bool p) { return RgbaMixBase(p); });
    const char* letters = "RGBA";
    for (int x = 0; x < 4; ++x)
        for (int a = 0; a < 4; ++a) {
            // Red, green and blue from one channel (not alpha), or from R, G, B as they are (x = 3).
            const int r = x < 3 ? x : 0, g = x < 3 ? x : 1, b = x < 3 ? x : 2;
            const std::string name = std::string("RGBAMix_S") + letters[r] + "S" + letters[g] + "S" + letters[b] + "B" + letters[a];
            both(name, [=](bool p) { return RgbaMixNamed(r, g, b, a, p); });
        }
    return out;
}

}  // namespace VtBuiltIn
