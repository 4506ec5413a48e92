// The Direct3D 9 built-in shaders as permutations of the templates in graphics_d3d9/shaders: the
// tables that say which template with which macro values makes each shader of the three packs, and
// the small preprocessor that expands a template for one permutation.
// Header-only, no platform dependency: used by the build-time tool vtshgen9 and by tests.
//
// The preprocessor is the subset of the C preprocessor the templates use, so that the platform's
// assembler, given a template and the same macros, reads the same program: #if, #elif, #else and
// #endif over integer expressions of the macros (an unknown name is 0; defined(NAME); the operators
// ! - * / % + - < > <= >= == != && || and parentheses). Macros are never replaced outside directives,
// so a macro name in an instruction line is an error.
#pragma once
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace VtD3D9Shaders {

struct Macro {
    std::string Name;
    int Value;
};

// One shader: its name (a file name of pack 1 or 3, or the entry's number in pack 2), its template
// (a file name of graphics_d3d9/shaders) and the macros it is expanded with.
struct Permutation {
    std::string Name;
    std::string Template;
    std::vector<Macro> Macros;
};

struct TemplateText {
    std::string Name;
    std::string Text;
};

// ---- Preprocessor --------------------------------------------------------------------------------------

class Expression {
public:
    Expression(const std::string& text, const std::vector<Macro>& macros) : text_(text), macros_(macros) {}

    bool Evaluate(long& value)
    {
        value = Or();
        Blank();
        return ok_ && at_ == text_.size();
    }

private:
    const std::string& text_;
    const std::vector<Macro>& macros_;
    size_t at_ = 0;
    bool ok_ = true;

    void Blank()
    {
        while (at_ < text_.size() && isspace((unsigned char)text_[at_])) ++at_;
    }
    bool Take(const char* op)
    {
        Blank();
        const size_t n = strlen(op);
        if (text_.compare(at_, n, op) != 0) return false;
        // "<" is not the start of "<=", "!" not of "!=", "&" and "|" only doubled.
        if (n == 1 && at_ + 1 < text_.size() && text_[at_ + 1] == '=' && strchr("<>!=", op[0])) return false;
        at_ += n;
        return true;
    }
    long Value(const std::string& name) const
    {
        for (const Macro& m : macros_)
            if (m.Name == name) return m.Value;
        return 0;
    }
    bool Defined(const std::string& name) const
    {
        for (const Macro& m : macros_)
            if (m.Name == name) return true;
        return false;
    }
    std::string Name()
    {
        Blank();
        size_t start = at_;
        while (at_ < text_.size() && (isalnum((unsigned char)text_[at_]) || text_[at_] == '_')) ++at_;
        return text_.substr(start, at_ - start);
    }
    long Primary()
    {
        Blank();
        if (Take("(")) {
            long v = Or();
            if (!Take(")")) ok_ = false;
            return v;
        }
        if (at_ < text_.size() && isdigit((unsigned char)text_[at_])) {
            size_t start = at_;
            while (at_ < text_.size() && isdigit((unsigned char)text_[at_])) ++at_;
            return std::stol(text_.substr(start, at_ - start));
        }
        const std::string name = Name();
        if (name.empty()) {
            ok_ = false;
            return 0;
        }
        if (name == "defined") {
            const bool parenthesised = Take("(");
            const std::string what = Name();
            if (what.empty() || (parenthesised && !Take(")"))) ok_ = false;
            return Defined(what) ? 1 : 0;
        }
        return Value(name);
    }
    long Unary()
    {
        if (Take("!")) return !Unary();
        if (Take("-")) return -Unary();
        return Primary();
    }
    long Product()
    {
        long v = Unary();
        for (;;) {
            if (Take("*")) v *= Unary();
            else if (Take("/") || Take("%")) {
                const bool divide = text_[at_ - 1] == '/';
                long d = Unary();
                if (d == 0) return ok_ = false, 0;
                v = divide ? v / d : v % d;
            } else return v;
        }
    }
    long Sum()
    {
        long v = Product();
        for (;;) {
            if (Take("+")) v += Product();
            else if (Take("-")) v -= Product();
            else return v;
        }
    }
    long Relation()
    {
        long v = Sum();
        for (;;) {
            if (Take("<=")) v = v <= Sum();
            else if (Take(">=")) v = v >= Sum();
            else if (Take("<")) v = v < Sum();
            else if (Take(">")) v = v > Sum();
            else return v;
        }
    }
    long Equality()
    {
        long v = Relation();
        for (;;) {
            if (Take("==")) v = v == Relation();
            else if (Take("!=")) v = v != Relation();
            else return v;
        }
    }
    long And()
    {
        long v = Equality();
        while (Take("&&")) {
            long w = Equality();
            v = v && w;
        }
        return v;
    }
    long Or()
    {
        long v = And();
        while (Take("||")) {
            long w = And();
            v = v || w;
        }
        return v;
    }
};

// Expands `text` for `macros`. Lines of directives and of skipped sections become empty lines, so
// that the lines of the expansion keep their numbers. False with `error` ("line N: ...") when a
// directive is malformed, unbalanced, or a macro name stands in a kept line.
inline bool Expand(const std::string& text, const std::vector<Macro>& macros, std::string& out, std::string& error)
{
    struct Level {
        bool Active;     // this section is kept
        bool Taken;      // a section of this #if was kept already
        bool Outer;      // the enclosing section is kept
        bool SawElse;
    };
    std::vector<Level> levels;
    out.clear();
    int lineNumber = 0;
    size_t at = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const bool last = end == text.size();
        at = end + 1;
        ++lineNumber;
        const bool active = levels.empty() || levels.back().Active;
        size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] == '#') {
            size_t word = line.find_first_not_of(" \t", first + 1);
            size_t wordEnd = word == std::string::npos ? line.size() : line.find_first_of(" \t(\r", word);
            if (wordEnd == std::string::npos) wordEnd = line.size();
            const std::string directive = word == std::string::npos ? "" : line.substr(word, wordEnd - word);
            std::string rest = wordEnd < line.size() ? line.substr(wordEnd) : "";
            const size_t comment = rest.find("//");
            if (comment != std::string::npos) rest.resize(comment);
            long value = 0;
            if (directive != "if" && directive != "elif" && directive != "else" && directive != "endif")
                return fail("unknown directive \"#" + directive + "\"");
            if (directive == "if" || directive == "elif") {
                if (!Expression(rest, macros).Evaluate(value)) return fail("bad expression \"" + rest + "\"");
            } else if (rest.find_first_not_of(" \t\r") != std::string::npos) {
                return fail("#" + directive + " takes nothing after it");
            }
            if (directive == "if") {
                levels.push_back({active && value != 0, value != 0, active, false});
            } else if (directive == "elif" || directive == "else") {
                if (levels.empty() || levels.back().SawElse) return fail("#" + directive + " without #if");
                Level& l = levels.back();
                const bool take = !l.Taken && (directive == "else" || value != 0);
                l.Active = l.Outer && take;
                l.Taken = l.Taken || take;
                l.SawElse = directive == "else";
            } else {
                if (levels.empty()) return fail("#endif without #if");
                levels.pop_back();
            }
        } else if (active) {
            // Kept as written; a macro name outside a comment would mean something else to the
            // platform's preprocessor.
            const std::string code = line.substr(0, line.find("//"));
            for (size_t i = 0; i < code.size();) {
                if (!isalpha((unsigned char)code[i]) && code[i] != '_') {
                    ++i;
                    continue;
                }
                size_t j = i;
                while (j < code.size() && (isalnum((unsigned char)code[j]) || code[j] == '_')) ++j;
                const std::string word = code.substr(i, j - i);
                for (const Macro& m : macros)
                    if (m.Name == word) return fail("macro " + word + " in an instruction line");
                i = j;
            }
            out += line;
        }
        if (!last) out += '\n';
    }
    if (!levels.empty()) return fail("#if without #endif");
    return true;
}

// ---- Tables ------------------------------------------------------------------------------------------

constexpr int kShaderTypes = 7;
constexpr int kUntexturedCount = 14;     // type x 2 + alpha check
constexpr int kTexturedCount = 224;      // alpha check + 2 x ignore texture alpha + 4 x ignore colour + 8 x type + 56 x blend graph
constexpr int kChannelMixCount = 512;    // (((red x 4 + green) x 4 + blue) x 4 + alpha) x 2 + premultiplied

inline const char* const kMaskChannelLetters = "argb";

inline std::string UntexturedName(int index)
{
    return "ps_nonetex_type" + std::to_string(index / 2) + "_ach" + std::to_string(index % 2) + ".pso";
}

inline std::string TexturedName(int index)
{
    return "ps_blend" + std::to_string(index / 56) + "_type" + std::to_string(index / 8 % 7) + "_igcolor" +
           std::to_string(index / 4 % 2) + "_igtalpha" + std::to_string(index / 2 % 2) + "_ach" + std::to_string(index % 2) + ".pso";
}

inline std::string MaskGraphName(int channel, bool reverse)
{
    return std::string("ps_mask_blend_use_grhandle_ch") + kMaskChannelLetters[channel] + (reverse ? "_reverse" : "") + ".pso";
}

// Pack 1, in the order the device creates them: the 2D vertex shader, the untextured and textured
// pixel shaders, the mask shaders.
inline std::vector<Permutation> BasePack()
{
    std::vector<Permutation> out;
    out.push_back({"Base2DVertexShader.vso", "Base2DVertex.asm", {}});
    for (int i = 0; i < kUntexturedCount; ++i)
        out.push_back({UntexturedName(i), "FixedPixel.asm", {{"TEXTURED", 0}, {"TYPE", i / 2}, {"ACH", i % 2}}});
    for (int i = 0; i < kTexturedCount; ++i)
        out.push_back({TexturedName(i), "FixedPixel.asm",
                       {{"TEXTURED", 1}, {"BLEND", i / 56}, {"TYPE", i / 8 % 7}, {"IGCOLOR", i / 4 % 2},
                        {"IGTALPHA", i / 2 % 2}, {"ACH", i % 2}}});
    out.push_back({"ps_mask_blend.pso", "MaskPixel.asm", {{"GRAPH", 0}}});
    for (int channel = 0; channel < 4; ++channel)
        for (int reverse = 0; reverse < 2; ++reverse)
            out.push_back({MaskGraphName(channel, reverse != 0), "MaskPixel.asm", {{"GRAPH", 1}, {"CHANNEL", channel}, {"REVERSE", reverse}}});
    return out;
}

// Pack 2: the channel-mix shaders, named by their number.
inline std::vector<Permutation> ChannelMixPack()
{
    std::vector<Permutation> out;
    for (int i = 0; i < kChannelMixCount; ++i) {
        const int select = i >> 1;
        out.push_back({std::to_string(i), "ChannelMixPixel.asm",
                       {{"RED", select >> 6 & 3}, {"GREEN", select >> 4 & 3}, {"BLUE", select >> 2 & 3}, {"ALPHA", select & 3},
                        {"PREMULTIPLIED", i & 1}}});
    }
    return out;
}

// Pack 3: the graph-filter shaders by file name; a "_PMA" name is the premultiplied twin of the one before.
inline std::vector<Permutation> FilterPack()
{
    std::vector<Permutation> out;
    const char* colour = "FilterColourPixel.asm";
    const char* sample = "FilterSamplePixel.asm";
    // A colour filter and, with `pma`, its premultiplied twin.
    auto add = [&](const std::string& name, std::vector<Macro> macros, bool pma) {
        out.push_back({name + ".pso", colour, macros});
        if (!pma) return;
        macros.push_back({"PMA", 1});
        out.push_back({name + "_PMA.pso", colour, macros});
    };
    add("Mono", {{"KIND", 1}}, false);
    for (int width : {8, 16, 32})
        out.push_back({std::string("Gauss_") + (width < 10 ? "0" : "") + std::to_string(width) + "Pixel_PS.pso", sample,
                       {{"GAUSS", 1}, {"TAPS", width / 2}}});
    for (int factor : {2, 4, 8})
        out.push_back({"DownScaleX" + std::to_string(factor) + ".pso", sample, {{"GAUSS", 0}, {"TAPS", factor * factor / 4}}});
    for (int greater = 0; greater < 2; ++greater)
        for (int fill = 0; fill < 2; ++fill)
            add(std::string("BrightClip") + (fill ? "Fill" : "") + (greater ? "Greater" : "Less"),
                {{"KIND", 8}, {"GREATER", greater}, {"FILL", fill}}, true);
    add("BrightnessScale", {{"KIND", 3}}, true);
    add("Invert", {{"KIND", 2}}, true);
    add("Level", {{"KIND", 9}}, true);
    add("TwoColor", {{"KIND", 4}}, true);
    add("GradientMap", {{"KIND", 10}}, true);
    add("GradientMapRev", {{"KIND", 10}, {"REVERSE", 1}}, true);
    add("Replacement", {{"KIND", 5}}, true);
    add("PremultipliedAlpha", {{"KIND", 6}}, false);
    add("InterpolatedAlpha", {{"KIND", 7}}, false);
    // The blend shaders by blend kind, each with its premultiplied twin.
    const struct {
        int Mode;
        const char* Name;
    } blends[] = {{0, "Normal"},     {2, "Multiple"},   {3, "Difference"},     {4, "Add"},          {5, "Screen"},
                  {6, "Overlay"},    {7, "Dodge"},      {8, "Burn"},           {9, "Darken"},       {10, "Lighten"},
                  {11, "SoftLight"}, {12, "HardLight"}, {13, "Exclusion"},     {14, "Normal_AlphaCh"},
                  {15, "Add_AlphaCh"}, {16, "Multiple_AOnly"}, {34, "Mask"}};
    for (const auto& b : blends)
        for (int pma = 0; pma < 2; ++pma)
            out.push_back({std::string("BasBF_") + b.Name + (pma ? "_PMA" : "") + ".pso", "FilterBlendPixel.asm",
                           {{"MODE", b.Mode}, {"PMA", pma}}});
    // Channel mix of the source's colour channels (one channel three times, or red, green, blue as they
    // are) with an alpha channel of the second image.
    const char letters[] = "RGBA";
    const int colours[4][3] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 1, 2}};
    for (const auto& c : colours)
        for (int a = 0; a < 4; ++a)
            for (int pma = 0; pma < 2; ++pma) {
                std::string name = "RGBAMix_";
                for (int i = 0; i < 3; ++i) name += std::string("S") + letters[c[i]];
                name += std::string("B") + letters[a] + (pma ? "_PMA" : "") + ".pso";
                out.push_back({name, "FilterMixPixel.asm", {{"RED", c[0]}, {"GREEN", c[1]}, {"BLUE", c[2]}, {"ALPHA", a}, {"PMA", pma}}});
            }
    return out;
}

inline const TemplateText* FindTemplate(const std::vector<TemplateText>& templates, const std::string& name)
{
    for (const TemplateText& t : templates)
        if (t.Name == name) return &t;
    return nullptr;
}

// The source of one permutation; false with `error` naming the shader when its template is missing
// or does not expand.
inline bool Source(const std::vector<TemplateText>& templates, const Permutation& p, std::string& source, std::string& error)
{
    const TemplateText* t = FindTemplate(templates, p.Template);
    if (t == nullptr) return error = p.Name + ": no template " + p.Template, false;
    if (!Expand(t->Text, p.Macros, source, error)) return error = p.Name + ": " + p.Template + " " + error, false;
    return true;
}

}  // namespace VtD3D9Shaders
