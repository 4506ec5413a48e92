// The shader-model 2/3 assembler: turns Direct3D 9 assembly text (vs_2_0, ps_2_0, vs_3_0, ps_3_0)
// into the token stream that CreateVertexShader and CreatePixelShader take: the version token, the
// declarations, the constants, the instructions, the end token. No comment token is written.
// Header-only, no platform dependency: used by the build-time tool vtshgen9 and by tests.
//
// Source form: the first line names the program; then one instruction per line in the platform's
// assembly syntax, "//" or ";" starting a comment:
//   dcl v0 / dcl t0.xy / dcl_texcoord1 v2.xy / dcl_color0_pp v1 / dcl_position o0   inputs, outputs
//   dcl_2d s0 / dcl_cube s1 / dcl_volume s2                                          samplers
//   def c6, 0, 0.5, 1, 2 / defi i0, 3, 0, 1, 0 / defb b0, true                       constants
//   (!p0.x) mad_sat_pp r0.xyz, -r1_abs.w, c[a0.x + 4], v[aL]                          instructions
// Declarations and constants may stand anywhere; they are written first, in this order: inputs,
// outputs, then for shader model 2 the samplers before the constants (float, bool, integer), for
// shader model 3 the constants before the samplers; each group keeps the order of the source.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "tools/VtShaderText.h"

namespace VtShaderAsm {

// ---- Tokens ------------------------------------------------------------------------------------------

enum D3D9Opcode : uint32_t {
    D3D9OP_NOP = 0, D3D9OP_MOV = 1, D3D9OP_ADD = 2, D3D9OP_SUB = 3, D3D9OP_MAD = 4, D3D9OP_MUL = 5, D3D9OP_RCP = 6,
    D3D9OP_RSQ = 7, D3D9OP_DP3 = 8, D3D9OP_DP4 = 9, D3D9OP_MIN = 10, D3D9OP_MAX = 11, D3D9OP_SLT = 12, D3D9OP_SGE = 13,
    D3D9OP_EXP = 14, D3D9OP_LOG = 15, D3D9OP_LIT = 16, D3D9OP_DST = 17, D3D9OP_LRP = 18, D3D9OP_FRC = 19,
    D3D9OP_M4X4 = 20, D3D9OP_M4X3 = 21, D3D9OP_M3X4 = 22, D3D9OP_M3X3 = 23, D3D9OP_M3X2 = 24, D3D9OP_CALL = 25,
    D3D9OP_CALLNZ = 26, D3D9OP_LOOP = 27, D3D9OP_RET = 28, D3D9OP_ENDLOOP = 29, D3D9OP_LABEL = 30, D3D9OP_DCL = 31,
    D3D9OP_POW = 32, D3D9OP_CRS = 33, D3D9OP_SGN = 34, D3D9OP_ABS = 35, D3D9OP_NRM = 36, D3D9OP_SINCOS = 37,
    D3D9OP_REP = 38, D3D9OP_ENDREP = 39, D3D9OP_IF = 40, D3D9OP_IFC = 41, D3D9OP_ELSE = 42, D3D9OP_ENDIF = 43,
    D3D9OP_BREAK = 44, D3D9OP_BREAKC = 45, D3D9OP_MOVA = 46, D3D9OP_DEFB = 47, D3D9OP_DEFI = 48, D3D9OP_TEXKILL = 65,
    D3D9OP_TEXLD = 66, D3D9OP_EXPP = 78, D3D9OP_LOGP = 79, D3D9OP_DEF = 81, D3D9OP_CMP = 88, D3D9OP_DP2ADD = 90,
    D3D9OP_DSX = 91, D3D9OP_DSY = 92, D3D9OP_TEXLDD = 93, D3D9OP_SETP = 94, D3D9OP_TEXLDL = 95, D3D9OP_BREAKP = 96,
};

enum D3D9RegisterType : uint32_t {
    D3D9REG_TEMP = 0, D3D9REG_INPUT = 1, D3D9REG_CONST = 2, D3D9REG_ADDR = 3, D3D9REG_TEXTURE = 3, D3D9REG_RASTOUT = 4,
    D3D9REG_ATTROUT = 5, D3D9REG_TEXCRDOUT = 6, D3D9REG_OUTPUT = 6, D3D9REG_CONSTINT = 7, D3D9REG_COLOROUT = 8,
    D3D9REG_DEPTHOUT = 9, D3D9REG_SAMPLER = 10, D3D9REG_CONSTBOOL = 14, D3D9REG_LOOP = 15, D3D9REG_LABEL = 18,
    D3D9REG_PREDICATE = 19,
};

constexpr uint32_t kD3D9EndToken = 0x0000FFFFu;

// Source modifiers (bits 24-27 of a source token) and destination modifiers (bits 20-23).
constexpr uint32_t kD3D9SourceNegate = 1, kD3D9SourceAbs = 11, kD3D9SourceAbsNegate = 12, kD3D9SourceNot = 13;
inline const NamedValue kD3D9ResultModifiers[] = {{"sat", 1}, {"pp", 2}, {"centroid", 4}};

// Comparisons of if_, break_ and setp_ (bits 16-18 of the instruction token).
inline const NamedValue kD3D9Comparisons[] = {{"gt", 1}, {"eq", 2}, {"ge", 3}, {"lt", 4}, {"ne", 5}, {"le", 6}};

inline const NamedValue kD3D9Usages[] = {
    {"position", 0}, {"blendweight", 1}, {"blendindices", 2}, {"normal", 3}, {"psize", 4}, {"texcoord", 5},
    {"tangent", 6}, {"binormal", 7}, {"tessfactor", 8}, {"positiont", 9}, {"color", 10}, {"fog", 11},
    {"depth", 12}, {"sample", 13},
};
inline const NamedValue kD3D9SamplerTypes[] = {{"2d", 2}, {"cube", 3}, {"volume", 4}};

// Instructions with a destination (unless `Destination` is false) and a fixed number of sources. The
// texture loads take control bits (texldp 1, texldb 2).
struct D3D9Instruction {
    const char* Name;
    uint32_t Opcode;
    int Sources;
    bool Destination = true;
    uint32_t Control = 0;
};
inline const D3D9Instruction kD3D9Instructions[] = {
    {"nop", D3D9OP_NOP, 0, false}, {"mov", D3D9OP_MOV, 1}, {"add", D3D9OP_ADD, 2}, {"sub", D3D9OP_SUB, 2},
    {"mad", D3D9OP_MAD, 3}, {"mul", D3D9OP_MUL, 2}, {"rcp", D3D9OP_RCP, 1}, {"rsq", D3D9OP_RSQ, 1},
    {"dp3", D3D9OP_DP3, 2}, {"dp4", D3D9OP_DP4, 2}, {"min", D3D9OP_MIN, 2}, {"max", D3D9OP_MAX, 2},
    {"slt", D3D9OP_SLT, 2}, {"sge", D3D9OP_SGE, 2}, {"exp", D3D9OP_EXP, 1}, {"log", D3D9OP_LOG, 1},
    {"lit", D3D9OP_LIT, 1}, {"dst", D3D9OP_DST, 2}, {"lrp", D3D9OP_LRP, 3}, {"frc", D3D9OP_FRC, 1},
    {"m4x4", D3D9OP_M4X4, 2}, {"m4x3", D3D9OP_M4X3, 2}, {"m3x4", D3D9OP_M3X4, 2}, {"m3x3", D3D9OP_M3X3, 2},
    {"m3x2", D3D9OP_M3X2, 2}, {"call", D3D9OP_CALL, 1, false}, {"callnz", D3D9OP_CALLNZ, 2, false},
    {"loop", D3D9OP_LOOP, 2, false}, {"ret", D3D9OP_RET, 0, false}, {"endloop", D3D9OP_ENDLOOP, 0, false},
    {"label", D3D9OP_LABEL, 1, false}, {"pow", D3D9OP_POW, 2}, {"crs", D3D9OP_CRS, 2}, {"sgn", D3D9OP_SGN, 3},
    {"abs", D3D9OP_ABS, 1}, {"nrm", D3D9OP_NRM, 1}, {"sincos", D3D9OP_SINCOS, 1}, {"rep", D3D9OP_REP, 1, false}, {"endrep", D3D9OP_ENDREP, 0, false},
    {"if", D3D9OP_IF, 1, false}, {"else", D3D9OP_ELSE, 0, false}, {"endif", D3D9OP_ENDIF, 0, false},
    {"break", D3D9OP_BREAK, 0, false}, {"breakp", D3D9OP_BREAKP, 1, false}, {"mova", D3D9OP_MOVA, 1},
    {"texkill", D3D9OP_TEXKILL, 0}, {"texld", D3D9OP_TEXLD, 2}, {"texldp", D3D9OP_TEXLD, 2, true, 1},
    {"texldb", D3D9OP_TEXLD, 2, true, 2}, {"texldl", D3D9OP_TEXLDL, 2}, {"texldd", D3D9OP_TEXLDD, 4},
    {"expp", D3D9OP_EXPP, 1}, {"logp", D3D9OP_LOGP, 1}, {"cmp", D3D9OP_CMP, 3}, {"dp2add", D3D9OP_DP2ADD, 3},
    {"dsx", D3D9OP_DSX, 1}, {"dsy", D3D9OP_DSY, 1},
};
// Compared forms: "if_lt src0, src1", "break_ge src0, src1", "setp_gt p0, src0, src1".
inline const D3D9Instruction kD3D9ComparedInstructions[] = {
    {"if", D3D9OP_IFC, 2, false}, {"break", D3D9OP_BREAKC, 2, false}, {"setp", D3D9OP_SETP, 2},
};

inline uint32_t D3D9RegisterToken(uint32_t type, uint32_t number)
{
    return 0x80000000u | (type & 7) << 28 | (type & 0x18) << 8 | (number & 0x7FF);
}

// ---- Assembler ---------------------------------------------------------------------------------------

class D3D9Assembler : public SourceErrors {
public:
    // The token stream as bytes (little-endian words).
    bool Assemble(const std::string& text, Bytes& out)
    {
        // ";" starts a comment too in this syntax.
        bool haveVersion = false;
        if (!ForEachLine(text, ";", [&](const std::string& line) { return haveVersion ? Instruction(line) : (haveVersion = Version(line)); }))
            return false;
        if (!haveVersion) return Fail("no program version line");
        std::vector<uint32_t> tokens = {version_};
        const std::vector<uint32_t>* order[] = {&inputs_, &outputs_, &samplers_, &floats_, &bools_, &integers_, &code_};
        if (major_ == 3) order[2] = &floats_, order[3] = &bools_, order[4] = &integers_, order[5] = &samplers_;
        for (const std::vector<uint32_t>* group : order) tokens.insert(tokens.end(), group->begin(), group->end());
        tokens.push_back(kD3D9EndToken);
        out.clear();
        for (uint32_t t : tokens)
            for (int b = 0; b < 4; ++b) out.push_back(uint8_t(t >> (8 * b)));
        return true;
    }

private:
    uint32_t version_ = 0;
    int major_ = 0;
    bool pixel_ = false;
    std::vector<uint32_t> inputs_, outputs_, samplers_, floats_, bools_, integers_, code_;

    bool Version(const std::string& line)
    {
        if (line != "vs_2_0" && line != "ps_2_0" && line != "vs_3_0" && line != "ps_3_0")
            return Fail("unknown program version \"" + line + "\"");
        pixel_ = line[0] == 'p';
        major_ = line[3] - '0';
        version_ = (pixel_ ? 0xFFFF0000u : 0xFFFE0000u) | uint32_t(major_) << 8;
        return true;
    }

    // ---- Registers ----

    struct Register {
        uint32_t Type = 0, Number = 0;
        bool HasNumber = true;
    };

    // The register a name such as "r3", "oC0", "oPos", "aL", "c" (index given in brackets) stands for.
    bool ParseRegister(const std::string& name, Register& reg)
    {
        struct Form {
            const char* Prefix;
            uint32_t Type;
            int Fixed;          // -1: a number follows; else the register number
            int Model;          // 0 any; 2 shader model 2 only; 3 shader model 3 only
            int Program;        // 0 any; 'v' vertex; 'p' pixel
        };
        static const Form forms[] = {
            {"oPos", D3D9REG_RASTOUT, 0, 2, 'v'},   {"oFog", D3D9REG_RASTOUT, 1, 2, 'v'},
            {"oPts", D3D9REG_RASTOUT, 2, 2, 'v'},   {"oDepth", D3D9REG_DEPTHOUT, 0, 0, 'p'},
            {"oC", D3D9REG_COLOROUT, -1, 0, 'p'},   {"oD", D3D9REG_ATTROUT, -1, 2, 'v'},
            {"oT", D3D9REG_TEXCRDOUT, -1, 2, 'v'},  {"o", D3D9REG_OUTPUT, -1, 3, 'v'},
            {"aL", D3D9REG_LOOP, 0, 0, 0},          {"a", D3D9REG_ADDR, -1, 0, 'v'},
            {"t", D3D9REG_TEXTURE, -1, 2, 'p'},     {"r", D3D9REG_TEMP, -1, 0, 0},
            {"v", D3D9REG_INPUT, -1, 0, 0},         {"c", D3D9REG_CONST, -1, 0, 0},
            {"s", D3D9REG_SAMPLER, -1, 0, 0},       {"i", D3D9REG_CONSTINT, -1, 0, 0},
            {"b", D3D9REG_CONSTBOOL, -1, 0, 0},     {"p", D3D9REG_PREDICATE, -1, 0, 0},
            {"l", D3D9REG_LABEL, -1, 0, 0},
        };
        for (const Form& f : forms) {
            const std::string prefix = f.Prefix;
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            const std::string rest = name.substr(prefix.size());
            if (f.Fixed >= 0 ? !rest.empty() : (!rest.empty() && !isdigit((unsigned char)rest[0]))) continue;
            if ((f.Model != 0 && f.Model != major_) || (f.Program != 0 && f.Program != (pixel_ ? 'p' : 'v')))
                return Fail("register \"" + name + "\" is not part of this program version");
            reg.Type = f.Type;
            reg.HasNumber = f.Fixed >= 0 || !rest.empty();
            if (f.Fixed >= 0) {
                reg.Number = uint32_t(f.Fixed);
            } else if (!rest.empty()) {
                char* end = nullptr;
                reg.Number = uint32_t(strtoul(rest.c_str(), &end, 10));
                if (*end != 0 || reg.Number > 0x7FF) return Fail("bad register \"" + name + "\"");
            }
            return true;
        }
        return Fail("unknown register \"" + name + "\"");
    }

    // "c[a0.x + 4]", "c4[a0.x]", "v[aL]" (a register chosen at run time) or a plain register, then
    // an optional component selection after a dot.
    struct Operand {
        Register Reg;
        std::string Select;
        bool Relative = false;
        uint32_t RelativeToken = 0;
    };

    bool ParseOperand(const std::string& text, Operand& op)
    {
        std::string s = text;
        size_t open = s.find('[');
        std::string base = s, index;
        if (open != std::string::npos) {
            size_t close = s.find(']', open);
            if (close == std::string::npos) return Fail("bad index in \"" + text + "\"");
            base = s.substr(0, open);
            index = s.substr(open + 1, close - open - 1);
            s = base + s.substr(close + 1);
        }
        size_t dot = s.find('.');
        const std::string name = dot == std::string::npos ? s : s.substr(0, dot);
        op.Select = dot == std::string::npos ? std::string() : s.substr(dot + 1);
        if (!ParseRegister(name, op.Reg)) return false;
        if (index.empty()) {
            if (!op.Reg.HasNumber) return Fail("register without a number: \"" + text + "\"");
            return true;
        }
        // The index: an address register with one component (a0.x) or the loop counter, plus an
        // optional offset that adds to the register's own number.
        const size_t plus = index.find('+');
        const std::string address = Trim(index.substr(0, plus));
        if (plus != std::string::npos) {
            const std::string offset = Trim(index.substr(plus + 1));
            char* end = nullptr;
            const unsigned long n = strtoul(offset.c_str(), &end, 10);
            if (offset.empty() || *end != 0 || op.Reg.Number + n > 0x7FF) return Fail("bad index in \"" + text + "\"");
            op.Reg.Number += uint32_t(n);
        }
        const size_t addressDot = address.find('.');
        Register a;
        if (!ParseRegister(address.substr(0, addressDot), a)) return false;
        uint32_t swizzle = 0xE4;
        if (a.Type == D3D9REG_ADDR && !pixel_) {
            if (addressDot == std::string::npos || !ParseSwizzle(address.substr(addressDot + 1), swizzle) ||
                address.size() != addressDot + 2)
                return Fail("an address register selects one component: \"" + text + "\"");
        } else if (a.Type != D3D9REG_LOOP || addressDot != std::string::npos) {
            return Fail("bad index in \"" + text + "\"");
        }
        op.Reg.HasNumber = true;
        op.Relative = true;
        op.RelativeToken = D3D9RegisterToken(a.Type, a.Number) | swizzle << 16;
        return true;
    }

    // A destination: register, write mask (all four when none is given), result modifiers.
    bool Destination(const std::string& text, uint32_t modifiers, std::vector<uint32_t>& out)
    {
        Operand op;
        if (!ParseOperand(text, op)) return false;
        uint8_t mask = 0xF;
        if (!op.Select.empty() && !ParseMask(op.Select, mask)) return Fail("bad write mask in \"" + text + "\"");
        out.push_back(D3D9RegisterToken(op.Reg.Type, op.Reg.Number) | uint32_t(mask) << 16 | modifiers << 20 |
                      (op.Relative ? 0x2000u : 0u));
        if (op.Relative) out.push_back(op.RelativeToken);
        return true;
    }

    // A source: "-" negates, "!" inverts a bool or predicate, "_abs" after the register takes the
    // magnitude; then the swizzle (all four in order when none is given).
    bool Source(const std::string& text, std::vector<uint32_t>& out)
    {
        std::string s = text;
        uint32_t modifier = 0;
        if (!s.empty() && s[0] == '-') modifier = kD3D9SourceNegate, s = Trim(s.substr(1));
        else if (!s.empty() && s[0] == '!') modifier = kD3D9SourceNot, s = Trim(s.substr(1));
        const size_t abs = s.find("_abs");
        if (abs != std::string::npos) {
            if (s.find_first_of(".[") < abs) return Fail("bad source \"" + text + "\"");
            if (modifier == kD3D9SourceNot) return Fail("bad source \"" + text + "\"");
            modifier = modifier == kD3D9SourceNegate ? kD3D9SourceAbsNegate : kD3D9SourceAbs;
            s.erase(abs, 4);
        }
        Operand op;
        if (!ParseOperand(s, op)) return false;
        uint32_t swizzle = 0xE4;
        if (!op.Select.empty() && !ParseSwizzle(op.Select, swizzle)) return Fail("bad swizzle in \"" + text + "\"");
        out.push_back(D3D9RegisterToken(op.Reg.Type, op.Reg.Number) | swizzle << 16 | modifier << 24 |
                      (op.Relative ? 0x2000u : 0u));
        if (op.Relative) out.push_back(op.RelativeToken);
        return true;
    }

    void Emit(std::vector<uint32_t>& group, uint32_t opcode, const std::vector<uint32_t>& body)
    {
        group.push_back(opcode | uint32_t(body.size()) << 24);
        group.insert(group.end(), body.begin(), body.end());
    }

    // ---- Lines ----

    bool Instruction(const std::string& text)
    {
        std::string line = text;
        std::vector<uint32_t> predicate;
        if (line[0] == '(') {
            // "(p0)" or "(!p0.x)": the instruction runs where the predicate holds.
            const size_t close = line.find(')');
            if (close == std::string::npos || !Source(Trim(line.substr(1, close - 1)), predicate)) return Fail("bad predicate in \"" + text + "\"");
            if ((predicate[0] >> 28 & 7) != (D3D9REG_PREDICATE & 7) || (predicate[0] & 0x1800) != (D3D9REG_PREDICATE & 0x18) << 8)
                return Fail("bad predicate in \"" + text + "\"");
            line = Trim(line.substr(close + 1));
        }
        const size_t space = line.find_first_of(" \t");
        const std::string op = line.substr(0, space);
        const std::vector<std::string> operands = space == std::string::npos ? std::vector<std::string>() : SplitOperands(line.substr(space));
        if (op == "def" || op == "defi" || op == "defb") return Constant(op, operands);
        if (op.rfind("dcl", 0) == 0) return Declaration(op, operands);

        // The name, then "_" and result modifiers or a comparison.
        const std::vector<std::string> parts = SplitAt(op, '_');
        const D3D9Instruction* form = nullptr;
        uint32_t control = 0, modifiers = 0;
        size_t next = 1;
        if (parts.size() > 1 && Lookup(kD3D9Comparisons, parts[1], control)) {
            for (const D3D9Instruction& c : kD3D9ComparedInstructions)
                if (parts[0] == c.Name) form = &c;
            next = 2;
        } else {
            for (const D3D9Instruction& i : kD3D9Instructions)
                if (parts[0] == i.Name) form = &i;
        }
        if (form == nullptr) return Fail("unknown instruction \"" + op + "\"");
        for (size_t i = next; i < parts.size(); ++i) {
            uint32_t m;
            if (!Lookup(kD3D9ResultModifiers, parts[i], m) || !form->Destination) return Fail("unknown modifier in \"" + op + "\"");
            modifiers |= m;
        }
        int sources = form->Sources;
        if (form->Opcode == D3D9OP_SINCOS && major_ == 2) sources = 3;   // shader model 2 passes two constants besides
        const bool killOperand = form->Opcode == D3D9OP_TEXKILL;
        const size_t expected = size_t(sources + (form->Destination || killOperand ? 1 : 0));
        if (operands.size() != expected) return Fail(parts[0] + " takes " + std::to_string(expected) + " operand" + (expected == 1 ? "" : "s"));
        std::vector<uint32_t> body;
        size_t first = 0;
        if (form->Destination || killOperand) {
            if (!Destination(operands[0], modifiers, body)) return false;
            first = 1;
        }
        if (!predicate.empty()) body.insert(body.end(), predicate.begin(), predicate.end());
        for (size_t i = first; i < operands.size(); ++i)
            if (!Source(operands[i], body)) return false;
        Emit(code_, form->Opcode | (form->Control | control) << 16 | (predicate.empty() ? 0u : 0x10000000u), body);
        return true;
    }

    // def: four floats; defi: four integers; defb: true or false.
    bool Constant(const std::string& op, const std::vector<std::string>& operands)
    {
        const bool isFloat = op == "def", isBool = op == "defb";
        const size_t values = isBool ? 1 : 4;
        if (operands.size() != values + 1) return Fail(op + " takes " + std::to_string(values + 1) + " operands");
        std::vector<uint32_t> body;
        if (!Destination(operands[0], 0, body)) return false;
        const uint32_t type = (body[0] >> 28 & 7) | (body[0] >> 8 & 0x18);
        const uint32_t wanted = isFloat ? D3D9REG_CONST : isBool ? D3D9REG_CONSTBOOL : D3D9REG_CONSTINT;
        if (type != wanted || (body[0] >> 16 & 0xF) != 0xF || body.size() != 1) return Fail(op + " names a whole " + (isFloat ? "c" : isBool ? "b" : "i") + " register");
        for (size_t i = 1; i < operands.size(); ++i) {
            const std::string& v = operands[i];
            char* end = nullptr;
            uint32_t bits = 0;
            if (isBool) {
                if (v != "true" && v != "false") return Fail("defb takes true or false");
                bits = v == "true" ? 1 : 0;
            } else if (isFloat) {
                // Read as a double, then rounded to single precision.
                const float f = float(strtod(v.c_str(), &end));
                memcpy(&bits, &f, 4);
            } else {
                bits = uint32_t(int32_t(strtol(v.c_str(), &end, 10)));
            }
            if (!isBool && (v.empty() || *end != 0)) return Fail("bad value \"" + v + "\"");
            body.push_back(bits);
        }
        Emit(isFloat ? floats_ : isBool ? bools_ : integers_, isFloat ? D3D9OP_DEF : isBool ? D3D9OP_DEFB : D3D9OP_DEFI, body);
        return true;
    }

    // dcl: a sampler ("dcl_2d s0"), an input or output with its usage ("dcl_texcoord1 v2.xy"), or in
    // pixel shader model 2 an input without one ("dcl t0.xy"); "_pp" and "_centroid" may follow.
    bool Declaration(const std::string& op, const std::vector<std::string>& operands)
    {
        if (operands.size() != 1) return Fail("dcl takes 1 operand");
        const std::vector<std::string> parts = SplitAt(op, '_');
        if (parts[0] != "dcl") return Fail("unknown instruction \"" + op + "\"");
        size_t next = 1;
        uint32_t usageToken = 0x80000000u, samplerType = 0, usage = 0;
        bool hasUsage = false;
        if (parts.size() > 1 && Lookup(kD3D9SamplerTypes, parts[1], samplerType)) {
            usageToken |= samplerType << 27;
            next = 2;
        } else if (parts.size() > 1) {
            size_t digits = parts[1].size();
            while (digits > 0 && isdigit((unsigned char)parts[1][digits - 1])) --digits;
            if (Lookup(kD3D9Usages, parts[1].substr(0, digits), usage)) {
                const uint32_t index = digits < parts[1].size() ? uint32_t(atoi(parts[1].c_str() + digits)) : 0;
                if (index > 15) return Fail("bad usage index in \"" + op + "\"");
                usageToken |= usage | index << 16;
                hasUsage = true;
                next = 2;
            }
        }
        uint32_t modifiers = 0;
        for (size_t i = next; i < parts.size(); ++i) {
            uint32_t m;
            if (!Lookup(kD3D9ResultModifiers, parts[i], m) || m == 1) return Fail("unknown declaration \"" + op + "\"");
            modifiers |= m;
        }
        std::vector<uint32_t> body = {usageToken};
        if (!Destination(operands[0], modifiers, body)) return false;
        if (body.size() != 2) return Fail("a declaration names one register");
        const uint32_t type = (body[1] >> 28 & 7) | (body[1] >> 8 & 0x18);
        std::vector<uint32_t>* group = nullptr;
        if (type == D3D9REG_SAMPLER) group = samplerType != 0 ? &samplers_ : nullptr;
        else if (samplerType != 0) group = nullptr;
        else if (type == D3D9REG_INPUT || (pixel_ && type == D3D9REG_TEXTURE)) group = hasUsage || (pixel_ && major_ == 2) ? &inputs_ : nullptr;
        else if (type == D3D9REG_OUTPUT && major_ == 3 && !pixel_) group = hasUsage ? &outputs_ : nullptr;
        if (group == nullptr) return Fail("nothing to declare in \"" + op + " " + operands[0] + "\"");
        Emit(*group, D3D9OP_DCL, body);
        return true;
    }
};

}  // namespace VtShaderAsm
