// The shader assembler: turns shader-model 4/5 assembly text into a DXBC container (input and
// output signature chunks, the program chunk of instruction tokens, the container checksum).
// Header-only, no platform dependency: used by the build-time tool vtshasm and by tests.
//
// Source form: the first line names the program ("vs_4_0", "ps_4_0", "vs_5_0", "ps_5_0"); then
// signature lines and instructions, one per line, written the way the platform's disassembler prints
// them. "//" starts a comment.
//   .input NAME[index] REG.mask [usedmask] [float|uint|sint]   one input signature element
//   .output NAME[index] REG.mask [float|uint|sint]             one output signature element
// Names beginning "SV_" carry their system value (SV_POSITION, SV_VertexID, ...).
// A constant-buffer register may be chosen at run time: "cb0[r3.x + 4]" (the buffer declared
// dynamicIndexed).
#pragma once
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "graphics_d3d11/VtGraphicsD3D11Dxbc.h"
#include "tools/VtShaderText.h"

namespace VtShaderAsm {

// ---- Container checksum: the library's own (graphics_d3d11/VtGraphicsD3D11Dxbc.h) --------------------

inline void Checksum(const uint8_t* container, size_t size, uint32_t out[4])
{
    Vantrel::D3D11Dxbc_Checksum(container, size, out);
}

// ---- Tokens ------------------------------------------------------------------------------------------

enum Opcode : uint32_t {
    OP_ADD = 0, OP_AND = 1, OP_DISCARD = 13, OP_DIV = 14, OP_DP2 = 15, OP_DP3 = 16, OP_DP4 = 17, OP_ELSE = 18, OP_ENDIF = 21,
    OP_EQ = 24, OP_EXP = 25, OP_FRC = 26, OP_FTOI = 27, OP_GE = 29, OP_IADD = 30, OP_IF = 31, OP_IEQ = 32, OP_IGE = 33,
    OP_ILT = 34, OP_IMAX = 36, OP_IMIN = 37, OP_IMUL = 38, OP_INE = 39, OP_INEG = 40, OP_ISHL = 41, OP_ISHR = 42,
    OP_ITOF = 43, OP_LD = 45, OP_LOG = 47, OP_LT = 49, OP_MAD = 50, OP_MIN = 51,
    OP_MAX = 52, OP_MOV = 54, OP_MOVC = 55, OP_MUL = 56, OP_NE = 57, OP_NOT = 59, OP_OR = 60, OP_RET = 62,
    OP_ROUND_NE = 64, OP_ROUND_NI = 65, OP_RSQ = 68, OP_SAMPLE = 69, OP_SAMPLE_L = 72, OP_SQRT = 75, OP_SINCOS = 77,
    OP_UDIV = 78, OP_ULT = 79, OP_UGE = 80, OP_USHR = 85, OP_UTOF = 86,
    OP_DCL_RESOURCE = 88, OP_DCL_CONSTANT_BUFFER = 89, OP_DCL_SAMPLER = 90, OP_DCL_INPUT = 95,
    OP_DCL_INPUT_SGV = 96, OP_DCL_INPUT_SIV = 97, OP_DCL_INPUT_PS = 98, OP_DCL_INPUT_PS_SGV = 99,
    OP_DCL_INPUT_PS_SIV = 100, OP_DCL_OUTPUT = 101, OP_DCL_OUTPUT_SGV = 102, OP_DCL_OUTPUT_SIV = 103,
    OP_DCL_TEMPS = 104, OP_DCL_GLOBAL_FLAGS = 106,
};

enum OperandType : uint32_t {
    OPERAND_TEMP = 0, OPERAND_INPUT = 1, OPERAND_OUTPUT = 2, OPERAND_IMMEDIATE32 = 4, OPERAND_SAMPLER = 6,
    OPERAND_RESOURCE = 7, OPERAND_CONSTANT_BUFFER = 8, OPERAND_NULL = 13,
};

// Plain arithmetic instructions: destination then `sources` sources.
struct ArithmeticOp {
    const char* Name;
    uint32_t Opcode;
    int Sources;
    bool Integer = false;   // literal values are integers ("l(-1)")
};
inline const ArithmeticOp kArithmetic[] = {
    {"add", OP_ADD, 2}, {"div", OP_DIV, 2}, {"dp2", OP_DP2, 2}, {"dp3", OP_DP3, 2}, {"dp4", OP_DP4, 2},
    {"frc", OP_FRC, 1}, {"mad", OP_MAD, 3}, {"min", OP_MIN, 2}, {"max", OP_MAX, 2}, {"mov", OP_MOV, 1},
    {"mul", OP_MUL, 2}, {"rsq", OP_RSQ, 1}, {"sqrt", OP_SQRT, 1}, {"sample", OP_SAMPLE, 3},
    {"sample_l", OP_SAMPLE_L, 4}, {"and", OP_AND, 2, true}, {"or", OP_OR, 2, true}, {"not", OP_NOT, 1, true},
    {"eq", OP_EQ, 2}, {"ne", OP_NE, 2}, {"lt", OP_LT, 2}, {"ge", OP_GE, 2}, {"movc", OP_MOVC, 3},
    {"exp", OP_EXP, 1}, {"log", OP_LOG, 1}, {"round_ne", OP_ROUND_NE, 1}, {"round_ni", OP_ROUND_NI, 1},
    {"ftoi", OP_FTOI, 1}, {"itof", OP_ITOF, 1, true}, {"iadd", OP_IADD, 2, true}, {"ieq", OP_IEQ, 2, true},
    {"ine", OP_INE, 2, true}, {"ige", OP_IGE, 2, true}, {"ilt", OP_ILT, 2, true}, {"imax", OP_IMAX, 2, true},
    {"imin", OP_IMIN, 2, true}, {"ineg", OP_INEG, 1, true}, {"ishl", OP_ISHL, 2, true}, {"ishr", OP_ISHR, 2, true},
    {"ushr", OP_USHR, 2, true}, {"ult", OP_ULT, 2, true}, {"uge", OP_UGE, 2, true}, {"utof", OP_UTOF, 1, true},
    {"ld", OP_LD, 2, true},
};

// Instructions that test one component for zero or non-zero ("if_nz r0.x").
struct ConditionalOp {
    const char* Name;
    uint32_t Opcode;
};
inline const ConditionalOp kConditional[] = {{"if", OP_IF}, {"discard", OP_DISCARD}};

// System values: the name token of a declaration and the signature's system value are the same numbers.
inline const NamedValue kSystemValues[] = {
    {"position", 1}, {"clip_distance", 2}, {"cull_distance", 3}, {"rendertarget_array_index", 4},
    {"viewport_array_index", 5}, {"vertex_id", 6}, {"primitive_id", 7}, {"instance_id", 8},
    {"is_front_face", 9}, {"sample_index", 10},
};
inline const NamedValue kSemanticSystemValues[] = {
    {"SV_POSITION", 1}, {"SV_CLIPDISTANCE", 2}, {"SV_CULLDISTANCE", 3}, {"SV_RENDERTARGETARRAYINDEX", 4},
    {"SV_VIEWPORTARRAYINDEX", 5}, {"SV_VERTEXID", 6}, {"SV_PRIMITIVEID", 7}, {"SV_INSTANCEID", 8},
    {"SV_ISFRONTFACE", 9}, {"SV_SAMPLEINDEX", 10},
};
inline const NamedValue kInterpolation[] = {
    {"constant", 1}, {"linear", 2}, {"linear centroid", 3}, {"linear noperspective", 4},
    {"linear noperspective centroid", 5}, {"linear sample", 6}, {"linear noperspective sample", 7},
};
inline const NamedValue kResourceDimensions[] = {
    {"buffer", 1}, {"texture1d", 2}, {"texture2d", 3}, {"texture2dms", 4}, {"texture3d", 5}, {"texturecube", 6},
};
inline const NamedValue kReturnTypes[] = {{"unorm", 1}, {"snorm", 2}, {"sint", 3}, {"uint", 4}, {"float", 5}};
inline const NamedValue kComponentTypes[] = {{"uint", 1}, {"sint", 2}, {"float", 3}};

// ---- Text --------------------------------------------------------------------------------------------

// One instruction line in a canonical spelling: blanks squeezed, none before "(", lower case, literal
// values as the single-precision numbers they become (the disassembler prints "1.00000000e+00" where a
// source says "1.0", "-1.44269502e+00" for "-1.442695"), a replicated
// swizzle as its one component (".wwww" and ".w" select the same), "discard" for the "texkill" some
// disassemblers print.
inline std::string Canonical(const std::string& text)
{
    std::string line = text;
    for (size_t at = 0; (at = line.find('.', at)) != std::string::npos; ++at) {
        if (at + 4 < line.size() && strchr("xyzw", line[at + 1]) && line[at + 2] == line[at + 1] &&
            line[at + 3] == line[at + 1] && line[at + 4] == line[at + 1] &&
            (at + 5 == line.size() || !isalnum((unsigned char)line[at + 5])))
            line.erase(at + 2, 3);
    }
    if (line.rfind("texkill_", 0) == 0) line.replace(0, 7, "discard");
    std::string squeezed;
    for (const std::string& w : Words(line)) squeezed += (squeezed.empty() ? "" : " ") + w;
    std::string out;
    for (size_t i = 0; i < squeezed.size(); ++i) {
        char c = squeezed[i];
        if (c == ' ' && i + 1 < squeezed.size() && squeezed[i + 1] == '(') continue;
        out += char(tolower((unsigned char)c));
        if (c == '(' && i > 0 && squeezed[i - 1] == 'l') {
            size_t close = squeezed.find(')', i);
            if (close == std::string::npos) break;
            std::string values;
            for (const std::string& v : SplitOperands(squeezed.substr(i + 1, close - i - 1))) {
                char text[32];
                if (v.rfind("0x", 0) == 0) snprintf(text, sizeof(text), "%s", v.c_str());
                else snprintf(text, sizeof(text), "%.9g", (double)strtof(v.c_str(), nullptr));
                values += (values.empty() ? "" : ", ") + std::string(text);
            }
            out += values + ")";
            i = close;
        }
    }
    return out;
}

// The lines of a source that are instructions, comments and signature lines taken out, blanks
// squeezed: what the disassembler's listing of the assembled program must read.
inline std::vector<std::string> InstructionLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : SourceLines(text))
        if (!line.empty() && line[0] != '.') lines.push_back(Canonical(line));
    return lines;
}

// ---- Assembler ---------------------------------------------------------------------------------------

struct SignatureElement {
    std::string Name;
    uint32_t Index = 0, SystemValue = 0, ComponentType = 3, Register = 0;
    uint8_t Mask = 0, UsedMask = 0;
};

class Assembler : public SourceErrors {
public:
    bool Assemble(const std::string& text, Bytes& out)
    {
        bool haveVersion = false;
        const bool read = ForEachLine(text, "", [&](const std::string& line) {
            if (!haveVersion) return haveVersion = Version(line);
            return line[0] == '.' ? Signature(line) : Instruction(line);
        });
        if (!read) return false;
        if (!haveVersion) return Fail("no program version line");
        Build(out);
        return true;
    }

private:
    uint32_t versionToken_ = 0;
    bool model5_ = false;
    std::vector<uint32_t> tokens_;
    std::vector<SignatureElement> inputs_, outputs_;

    bool Version(const std::string& line)
    {
        int major = 0, minor = 0;
        char kind[3] = {};
        if (sscanf(line.c_str(), "%2[vp]s_%d_%d", kind, &major, &minor) != 3 || (major != 4 && major != 5) || minor < 0 || minor > 1)
            return Fail("unknown program version \"" + line + "\"");
        const uint32_t type = kind[0] == 'p' ? 0 : 1;
        versionToken_ = type << 16 | uint32_t(major) << 4 | uint32_t(minor);
        model5_ = major == 5;
        return true;
    }

    // "v1.xyzw" (or without the mask: all four) into register type letter, number and mask.
    bool ParseRegisterMask(const std::string& s, char letter, uint32_t& number, uint8_t& mask)
    {
        if (s.size() < 2 || s[0] != letter || !isdigit((unsigned char)s[1])) return Fail("expected a " + std::string(1, letter) + " register: \"" + s + "\"");
        char* end = nullptr;
        number = uint32_t(strtoul(s.c_str() + 1, &end, 10));
        mask = 0xF;
        if (*end == '.' && !ParseMask(end + 1, mask)) return Fail("bad write mask in \"" + s + "\"");
        if (*end != '.' && *end != 0) return Fail("bad register \"" + s + "\"");
        return true;
    }

    bool Signature(const std::string& line)
    {
        std::vector<std::string> w = Words(line);
        const bool input = w[0] == ".input";
        if ((!input && w[0] != ".output") || w.size() < 3) return Fail("bad signature line");
        SignatureElement e;
        std::string name = w[1];
        size_t digits = name.size();
        while (digits > 0 && isdigit((unsigned char)name[digits - 1])) --digits;
        e.Name = name.substr(0, digits);
        e.Index = digits < name.size() ? uint32_t(atoi(name.c_str() + digits)) : 0;
        if (e.Name.empty()) return Fail("signature element without a name");
        Lookup(kSemanticSystemValues, Upper(e.Name), e.SystemValue);
        if (!ParseRegisterMask(w[2], input ? 'v' : 'o', e.Register, e.Mask)) return false;
        e.UsedMask = input ? e.Mask : 0;
        for (size_t i = 3; i < w.size(); ++i) {
            uint32_t type;
            if (Lookup(kComponentTypes, w[i], type)) e.ComponentType = type;
            else if (input && ParseMask(w[i], e.UsedMask)) continue;
            else return Fail("unknown signature word \"" + w[i] + "\"");
        }
        (input ? inputs_ : outputs_).push_back(e);
        return true;
    }

    // One operand into tokens. `dest` operands carry a write mask, sources a swizzle.
    bool Operand(std::string s, bool dest, std::vector<uint32_t>& out, bool scalar = false, bool integer = false)
    {
        uint32_t modifier = 0;
        if (!s.empty() && s[0] == '-') modifier |= 1, s = Trim(s.substr(1));
        if (s.size() >= 2 && s.front() == '|' && s.back() == '|') modifier |= 2, s = Trim(s.substr(1, s.size() - 2));
        if (s.rfind("l(", 0) == 0) {
            if (dest || s.back() != ')') return Fail("bad literal \"" + s + "\"");
            std::vector<std::string> values = SplitOperands(s.substr(2, s.size() - 3));
            if (values.size() != 1 && values.size() != 4) return Fail("a literal has one or four values");
            out.push_back(uint32_t(values.size() == 1 ? 1 : 2) | OPERAND_IMMEDIATE32 << 12);
            for (const std::string& v : values) {
                char* end = nullptr;
                uint32_t bits;
                if (v.rfind("0x", 0) == 0) {
                    bits = uint32_t(strtoul(v.c_str(), &end, 16));
                } else if (integer) {
                    bits = uint32_t(int32_t(strtol(v.c_str(), &end, 10)));
                } else {
                    float f = strtof(v.c_str(), &end);
                    memcpy(&bits, &f, 4);
                }
                if (end == v.c_str() || *end != 0) return Fail("bad literal value \"" + v + "\"");
                out.push_back(bits);
            }
            return modifier == 0 || Fail("a literal takes no modifier");
        }
        if (s == "null") {
            if (!dest || modifier != 0) return Fail("null is a destination without modifiers");
            out.push_back(OPERAND_NULL << 12);
            return true;
        }
        uint32_t type;
        size_t at;
        if (s.rfind("cb", 0) == 0) type = OPERAND_CONSTANT_BUFFER, at = 2;
        else if (s[0] == 'r') type = OPERAND_TEMP, at = 1;
        else if (s[0] == 'v') type = OPERAND_INPUT, at = 1;
        else if (s[0] == 'o') type = OPERAND_OUTPUT, at = 1;
        else if (s[0] == 's') type = OPERAND_SAMPLER, at = 1;
        else if (s[0] == 't') type = OPERAND_RESOURCE, at = 1;
        else return Fail("unknown operand \"" + s + "\"");
        if (at >= s.size() || !isdigit((unsigned char)s[at])) return Fail("operand without a register number: \"" + s + "\"");
        char* end = nullptr;
        std::vector<uint32_t> index = {uint32_t(strtoul(s.c_str() + at, &end, 10))};
        uint32_t relative = 0;   // representation of the second index: 0 immediate, 3 register + immediate
        if (*end == '[' && end[1] == 'r') {
            // "cb0[r1.x + 4]": a temporary's component plus an offset.
            uint32_t reg = 0, offset = 0;
            char comp = 0;
            int used = 0;
            if (sscanf(end + 1, "r%u.%c + %u]%n", &reg, &comp, &offset, &used) != 3 || used == 0 || !strchr("xyzw", comp))
                return Fail("bad relative index in \"" + s + "\"");
            relative = 3;
            index.push_back(offset);
            index.push_back(2 | 2u << 2 | uint32_t(strchr("xyzw", comp) - "xyzw") << 4 | OPERAND_TEMP << 12 | 1u << 20);
            index.push_back(reg);
            end += 1 + used;
        } else if (*end == '[') {
            char* close = nullptr;
            index.push_back(uint32_t(strtoul(end + 1, &close, 10)));
            if (close == end + 1 || *close != ']') return Fail("bad index in \"" + s + "\"");
            end = close + 1;
        }
        std::string select = *end == '.' ? std::string(end + 1) : std::string();
        if (*end != '.' && *end != 0) return Fail("bad operand \"" + s + "\"");
        uint32_t token = type << 12 | uint32_t(relative != 0 ? 2 : index.size()) << 20 | relative << 25;
        if (type == OPERAND_SAMPLER) {
            if (!select.empty()) return Fail("a sampler has no components");
        } else if (dest) {
            uint8_t mask = 0xF;
            if (!select.empty() && !ParseMask(select, mask)) return Fail("bad write mask in \"" + s + "\"");
            token |= 2 | 0u << 2 | uint32_t(mask) << 4;
        } else if (scalar) {
            int comp = select.size() != 1 ? -1 : ComponentOf(select[0]);
            if (comp < 0) return Fail("expected one component in \"" + s + "\"");
            token |= 2 | 2u << 2 | uint32_t(comp) << 4;
        } else {
            uint32_t swizzle = 0;
            if (!ParseSwizzle(select.empty() ? "xyzw" : select, swizzle)) return Fail("bad swizzle in \"" + s + "\"");
            token |= 2 | 1u << 2 | swizzle << 4;
        }
        if (modifier != 0) {
            if (dest) return Fail("a destination takes no modifier");
            out.push_back(token | 0x80000000u);
            out.push_back(1 | modifier << 6);
        } else {
            out.push_back(token);
        }
        out.insert(out.end(), index.begin(), index.end());
        return true;
    }

    void Emit(uint32_t opcode, const std::vector<uint32_t>& body)
    {
        tokens_.push_back(opcode | uint32_t(body.size() + 1) << 24);
        tokens_.insert(tokens_.end(), body.begin(), body.end());
    }

    bool Instruction(const std::string& line)
    {
        size_t space = line.find_first_of(" \t(");
        std::string op = line.substr(0, space);
        std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
        std::vector<uint32_t> body;
        if (op == "ret") {
            if (!rest.empty()) return Fail("ret takes no operands");
            Emit(OP_RET, body);
            return true;
        }
        if (op == "else" || op == "endif") {
            if (!rest.empty()) return Fail(op + " takes no operands");
            Emit(op == "else" ? OP_ELSE : OP_ENDIF, body);
            return true;
        }
        for (const ConditionalOp& c : kConditional) {
            const std::string name = c.Name;
            if (op != name + "_z" && op != name + "_nz") continue;
            if (!Operand(rest, false, body, true)) return false;
            Emit(c.Opcode | (op == name + "_nz" ? 1u << 18 : 0u), body);
            return true;
        }
        if (op == "dcl_globalFlags") {
            if (rest != "refactoringAllowed") return Fail("unknown global flags \"" + rest + "\"");
            Emit(OP_DCL_GLOBAL_FLAGS | 1u << 11, body);
            return true;
        }
        if (op == "dcl_temps") {
            char* end = nullptr;
            unsigned long n = strtoul(rest.c_str(), &end, 10);
            if (rest.empty() || *end != 0 || n > 4096) return Fail("bad temporary count");
            body.push_back(uint32_t(n));
            Emit(OP_DCL_TEMPS, body);
            return true;
        }
        if (op == "dcl_constantBuffer" || op == "dcl_constantbuffer") {
            std::vector<std::string> parts = SplitOperands(rest);
            uint32_t access = parts.size() == 2 && parts[1] == "dynamicIndexed" ? 1 : 0;
            if (parts.size() != 2 || (access == 0 && parts[1] != "immediateIndexed")) return Fail("dcl_constantbuffer cbN[size], immediateIndexed|dynamicIndexed");
            if (!Operand(parts[0], false, body) || body.size() != 3) return Fail("bad constant buffer \"" + parts[0] + "\"");
            Emit(OP_DCL_CONSTANT_BUFFER | access << 11, body);
            return true;
        }
        if (op == "dcl_sampler") {
            std::vector<std::string> parts = SplitOperands(rest);
            uint32_t mode = parts.size() == 1 || parts[1] == "mode_default" ? 0 : parts.size() == 2 && parts[1] == "mode_comparison" ? 1 : 9;
            if (mode == 9 || parts[0].empty() || parts[0][0] != 's' || !Operand(parts[0], false, body)) return Fail("dcl_sampler sN[, mode_default|mode_comparison]");
            Emit(OP_DCL_SAMPLER | mode << 11, body);
            return true;
        }
        if (op.rfind("dcl_resource_", 0) == 0) {
            uint32_t dimension;
            if (!Lookup(kResourceDimensions, op.substr(13), dimension)) return Fail("unknown resource kind \"" + op + "\"");
            size_t close = rest.find(')');
            if (rest.empty() || rest[0] != '(' || close == std::string::npos) return Fail("dcl_resource_KIND (type,type,type,type) tN");
            std::vector<std::string> types = SplitOperands(rest.substr(1, close - 1));
            if (types.size() != 4) return Fail("a resource has four return types");
            uint32_t returns = 0;
            for (size_t i = 0; i < 4; ++i) {
                uint32_t t;
                if (!Lookup(kReturnTypes, types[i], t)) return Fail("unknown return type \"" + types[i] + "\"");
                returns |= t << (4 * i);
            }
            std::string reg = Trim(rest.substr(close + 1));
            if (reg.empty() || reg[0] != 't' || reg.find('.') != std::string::npos) return Fail("expected tN");
            body.push_back(OPERAND_RESOURCE << 12 | 1u << 20);
            body.push_back(uint32_t(atoi(reg.c_str() + 1)));
            body.push_back(returns);
            Emit(OP_DCL_RESOURCE | dimension << 11, body);
            return true;
        }
        if (op.rfind("dcl_input", 0) == 0 || op.rfind("dcl_output", 0) == 0) return Declaration(op, rest);

        bool saturate = false;
        if (op.size() > 4 && op.compare(op.size() - 4, 4, "_sat") == 0) saturate = true, op.resize(op.size() - 4);
        if (op == "sincos") {
            // Two destinations (sine, cosine; either may be null), one source.
            std::vector<std::string> parts = SplitOperands(rest);
            if (parts.size() != 3) return Fail("sincos takes 3 operands");
            for (size_t i = 0; i < 3; ++i)
                if (!Operand(parts[i], i < 2, body)) return false;
            Emit(OP_SINCOS | (saturate ? 1u << 13 : 0u), body);
            return true;
        }
        if (op == "imul" || op == "udiv") {
            // Two destinations (high and low product, or quotient and remainder; either may be null).
            std::vector<std::string> parts = SplitOperands(rest);
            if (parts.size() != 4) return Fail(op + " takes 4 operands");
            for (size_t i = 0; i < 4; ++i)
                if (!Operand(parts[i], i < 2, body, false, true)) return false;
            Emit((op == "imul" ? OP_IMUL : OP_UDIV) | (saturate ? 1u << 13 : 0u), body);
            return true;
        }
        for (const ArithmeticOp& a : kArithmetic) {
            if (op != a.Name) continue;
            std::vector<std::string> parts = SplitOperands(rest);
            if (int(parts.size()) != a.Sources + 1) return Fail(op + " takes " + std::to_string(a.Sources + 1) + " operands");
            for (size_t i = 0; i < parts.size(); ++i)
                if (!Operand(parts[i], i == 0, body, false, a.Integer)) return false;
            Emit(a.Opcode | (saturate ? 1u << 13 : 0u), body);
            return true;
        }
        return Fail("unknown instruction \"" + op + "\"");
    }

    bool Declaration(const std::string& op, const std::string& rest)
    {
        struct Form {
            const char* Name;
            uint32_t Opcode;
            bool Interpolated, Named;
        };
        static const Form forms[] = {
            {"dcl_input", OP_DCL_INPUT, false, false},           {"dcl_input_sgv", OP_DCL_INPUT_SGV, false, true},
            {"dcl_input_siv", OP_DCL_INPUT_SIV, false, true},    {"dcl_input_ps", OP_DCL_INPUT_PS, true, false},
            {"dcl_input_ps_sgv", OP_DCL_INPUT_PS_SGV, true, true}, {"dcl_input_ps_siv", OP_DCL_INPUT_PS_SIV, true, true},
            {"dcl_output", OP_DCL_OUTPUT, false, false},         {"dcl_output_sgv", OP_DCL_OUTPUT_SGV, false, true},
            {"dcl_output_siv", OP_DCL_OUTPUT_SIV, false, true},
        };
        for (const Form& f : forms) {
            if (op != f.Name) continue;
            std::string operands = rest;
            uint32_t opcode = f.Opcode;
            if (f.Interpolated) {
                size_t reg = 0;
                while ((reg = rest.find('v', reg + 1)) != std::string::npos)
                    if (isspace((unsigned char)rest[reg - 1]) && reg + 1 < rest.size() && isdigit((unsigned char)rest[reg + 1])) break;
                uint32_t mode;
                if (reg == std::string::npos || !Lookup(kInterpolation, Trim(rest.substr(0, reg)), mode)) return Fail("unknown interpolation in \"" + rest + "\"");
                opcode |= mode << 11;
                operands = rest.substr(reg);
            }
            std::vector<std::string> parts = SplitOperands(operands);
            if (parts.size() != (f.Named ? 2u : 1u)) return Fail(op + ": wrong operand count");
            std::vector<uint32_t> body;
            if (!Operand(parts[0], true, body)) return false;
            if (f.Named) {
                uint32_t name;
                if (!Lookup(kSystemValues, parts[1], name)) return Fail("unknown system value \"" + parts[1] + "\"");
                body.push_back(name);
            }
            Emit(opcode, body);
            return true;
        }
        return Fail("unknown declaration \"" + op + "\"");
    }

    static void Put32(Bytes& b, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    }

    static Bytes SignatureChunk(const std::vector<SignatureElement>& elements)
    {
        Bytes b;
        Put32(b, uint32_t(elements.size()));
        Put32(b, 8);
        uint32_t names = uint32_t(8 + 24 * elements.size());
        std::string strings;
        for (const SignatureElement& e : elements) {
            Put32(b, names + uint32_t(strings.size()));
            strings += e.Name;
            strings += '\0';
            Put32(b, e.Index);
            Put32(b, e.SystemValue);
            Put32(b, e.ComponentType);
            Put32(b, e.Register);
            b.push_back(e.Mask);
            b.push_back(e.UsedMask);
            b.push_back(0);
            b.push_back(0);
        }
        b.insert(b.end(), strings.begin(), strings.end());
        while (b.size() % 4 != 0) b.push_back(0xAB);
        return b;
    }

    void Build(Bytes& out)
    {
        Bytes program;
        Put32(program, versionToken_);
        Put32(program, uint32_t(tokens_.size() + 2));
        for (uint32_t t : tokens_) Put32(program, t);
        struct Chunk {
            const char* Tag;
            Bytes Data;
        };
        const Chunk chunks[] = {{"ISGN", SignatureChunk(inputs_)}, {"OSGN", SignatureChunk(outputs_)}, {model5_ ? "SHEX" : "SHDR", program}};
        const uint32_t count = 3;
        out.assign(20, 0);
        memcpy(out.data(), "DXBC", 4);
        Put32(out, 1);
        Put32(out, 0);  // total size, below
        Put32(out, count);
        uint32_t offset = 32 + 4 * count;
        for (const Chunk& c : chunks) {
            Put32(out, offset);
            offset += uint32_t(8 + c.Data.size());
        }
        for (const Chunk& c : chunks) {
            out.insert(out.end(), c.Tag, c.Tag + 4);
            Put32(out, uint32_t(c.Data.size()));
            out.insert(out.end(), c.Data.begin(), c.Data.end());
        }
        Vantrel::D3D11Dxbc_Put32(out.data() + 24, uint32_t(out.size()));
        uint32_t sum[4];
        Checksum(out.data(), out.size(), sum);
        for (int i = 0; i < 4; ++i) Vantrel::D3D11Dxbc_Put32(out.data() + 4 + 4 * i, sum[i]);
    }
};

}  // namespace VtShaderAsm
