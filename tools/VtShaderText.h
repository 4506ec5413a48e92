// What both shader assemblers read the same way: source lines with "//" comments, blanks, operand
// lists, name tables, write masks and swizzles, and errors that name their line.
// Header-only, no platform dependency: used by the shader-model 4/5 assembler (VtShaderAssemble.h),
// the shader-model 2/3 assembler (VtShaderAssembleD3D9.h) and their tools and tests.
#pragma once
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace VtShaderAsm {

using Bytes = std::vector<uint8_t>;

struct NamedValue {
    const char* Name;
    uint32_t Value;
};

inline bool Lookup(const NamedValue* table, size_t count, const std::string& name, uint32_t& value)
{
    for (size_t i = 0; i < count; ++i)
        if (name == table[i].Name) return value = table[i].Value, true;
    return false;
}
template <size_t N>
bool Lookup(const NamedValue (&table)[N], const std::string& name, uint32_t& value)
{
    return Lookup(table, N, name, value);
}

inline std::string Trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && isspace((unsigned char)s[a])) ++a;
    while (b > a && isspace((unsigned char)s[b - 1])) --b;
    return s.substr(a, b - a);
}

inline std::string Upper(std::string s)
{
    for (char& c : s) c = char(toupper((unsigned char)c));
    return s;
}

// Splits at commas outside parentheses.
inline std::vector<std::string> SplitOperands(const std::string& s)
{
    std::vector<std::string> parts;
    std::string cur;
    int depth = 0;
    for (char c : s) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!Trim(cur).empty()) parts.push_back(Trim(cur));
    return parts;
}

inline std::vector<std::string> Words(const std::string& s)
{
    std::vector<std::string> words;
    std::string cur;
    for (char c : s) {
        if (isspace((unsigned char)c)) {
            if (!cur.empty()) words.push_back(cur), cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) words.push_back(cur);
    return words;
}

// The lines of a source, numbered from 1, each without its "//" comment and trimmed (empty lines
// stay, so that the numbers hold).
inline std::vector<std::string> SourceLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t comment = line.find("//");
        if (comment != std::string::npos) line.resize(comment);
        lines.push_back(Trim(line));
    }
    return lines;
}

// The pieces of `s` between the separators ("mad_sat_pp" at '_': "mad", "sat", "pp").
inline std::vector<std::string> SplitAt(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    for (size_t at = 0; at <= s.size();) {
        size_t next = s.find(separator, at);
        if (next == std::string::npos) next = s.size();
        parts.push_back(s.substr(at, next - at));
        at = next + 1;
    }
    return parts;
}

// One component letter: 0-3 for x, y, z, w (and r, g, b, a), -1 for anything else.
inline int ComponentOf(char c)
{
    switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
    }
}

// A write mask: components in order, each once ("xz", "xyzw"); bit 0 is x.
inline bool ParseMask(const std::string& s, uint8_t& mask)
{
    mask = 0;
    int last = -1;
    for (char c : s) {
        int bit = ComponentOf(c);
        if (bit <= last) return false;
        mask |= uint8_t(1 << bit);
        last = bit;
    }
    return mask != 0;
}

// A swizzle of one to four components into eight bits, two a component from the lowest; a shorter
// swizzle repeats its last component (".xz" reads x, z, z, z).
inline bool ParseSwizzle(const std::string& s, uint32_t& swizzle)
{
    swizzle = 0;
    if (s.empty() || s.size() > 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        int comp = ComponentOf(s[i < s.size() ? i : s.size() - 1]);
        if (comp < 0) return false;
        swizzle |= uint32_t(comp) << (2 * i);
    }
    return true;
}

// The error of an assembler: the first failure, with the number of the line being read.
class SourceErrors {
public:
    std::string Error;

protected:
    int lineNumber_ = 0;

    // Calls `read` with each line of the source that is not empty once its comment is cut off
    // (`cut` also cuts at the first of its characters), the line's number kept for Fail; stops at
    // the first line `read` refuses.
    template <class Read>
    bool ForEachLine(const std::string& text, const char* cut, Read read)
    {
        const std::vector<std::string> lines = SourceLines(text);
        for (size_t i = 0; i < lines.size(); ++i) {
            lineNumber_ = int(i + 1);
            const std::string line = Trim(lines[i].substr(0, lines[i].find_first_of(cut)));
            if (!line.empty() && !read(line)) return false;
        }
        return true;
    }

    bool Fail(const std::string& what)
    {
        Error = "line " + std::to_string(lineNumber_) + ": " + what;
        return false;
    }
};

}  // namespace VtShaderAsm
