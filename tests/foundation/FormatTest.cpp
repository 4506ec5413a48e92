// Formatted text engine: the library's cases in the narrow and the wide flavour with every
// destination size, characters and strings between pages, every code page, and a generated
// comparison against the C runtime's snprintf.
#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <string>
#include <vector>

using namespace Vantrel;

namespace {

struct Flavour {
    const char* name;
    CodePageId formatPage;
    int wideFlag;
    CodePageId OwnPage() const { return wideFlag ? CodePage_Utf16LE : CodePage_ShiftJis; }
    CodePageId OtherPage() const { return wideFlag ? CodePage_ShiftJis : CodePage_Utf16LE; }
};
const Flavour Flavours[] = {{"narrow", CodePage_ShiftJis, 0}, {"wide", CodePage_Utf16LE, 1}};

// Text in a page, kept alive for the duration of a test.
std::deque<std::vector<uint8_t>> KeptTexts;

const void* TextIn(const char* narrowText, CodePageId page) {
    int bytes = CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, nullptr, 0x7FFFFFFF, page);
    KeptTexts.emplace_back((size_t)(bytes > 0 ? bytes : 0) + 8, 0);
    CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, KeptTexts.back().data(), bytes, page);
    return KeptTexts.back().data();
}

enum ArgKind { Arg_None, Arg_Int, Arg_Int64, Arg_Double, Arg_Pointer, Arg_OwnString, Arg_OtherString, Arg_Null };
struct Arg {
    ArgKind kind;
    int64_t integer;
    double real;
    const char* text;
};
Arg None() { return {Arg_None, 0, 0, nullptr}; }
Arg I(int64_t v) { return {Arg_Int, v, 0, nullptr}; }
Arg L(int64_t v) { return {Arg_Int64, v, 0, nullptr}; }
Arg D(double v) { return {Arg_Double, 0, v, nullptr}; }
Arg P(uintptr_t v) { return {Arg_Pointer, (int64_t)v, 0, nullptr}; }
Arg S(const char* t) { return {Arg_OwnString, 0, 0, t}; }
Arg SO(const char* t) { return {Arg_OtherString, 0, 0, t}; }
Arg Null() { return {Arg_Null, 0, 0, nullptr}; }

template <typename F>
int WithArg(const Arg& a, const Flavour& flavour, F&& call) {
    switch (a.kind) {
    case Arg_Int: return call((int)a.integer);
    case Arg_Int64: return call((int64_t)a.integer);
    case Arg_Double: return call(a.real);
    case Arg_Pointer: return call((const void*)(uintptr_t)a.integer);
    case Arg_OwnString: return call(TextIn(a.text, flavour.OwnPage()));
    case Arg_OtherString: return call(TextIn(a.text, flavour.OtherPage()));
    case Arg_Null: return call((const void*)nullptr);
    default: return call();
    }
}

int FormatWith(const Flavour& flavour, void* destination, int units, const char* format, const Arg& a0,
               const Arg& a1, const Arg& a2) {
    const void* pageFormat = TextIn(format, flavour.formatPage);
    return WithArg(a0, flavour, [&](auto... x0) {
        return WithArg(a1, flavour, [&](auto... x1) {
            return WithArg(a2, flavour, [&](auto... x2) {
                return CharCode_Format(flavour.formatPage, flavour.wideFlag, CodePage_ShiftJis, CodePage_Utf16LE,
                                       destination, units, pageFormat, x0..., x1..., x2...);
            });
        });
    });
}

struct FormatCase {
    const char* format;
    const char* expected;
    Arg a0, a1, a2;
};

const FormatCase Cases[] = {
    {"%5d", "   42", I(42), None(), None()},
    {"%-5d", "42   ", I(42), None(), None()},
    {"%05d", "-0042", I(-42), None(), None()},
    {"%+d", "+5", I(5), None(), None()},
    {"% d", " 5", I(5), None(), None()},
    {"%+ d", "+5", I(5), None(), None()},
    {"% d", "-5", I(-5), None(), None()},
    {"%.3d", "007", I(7), None(), None()},
    {"%08.3d", "     007", I(7), None(), None()},
    {"%.0d", "0", I(0), None(), None()},
    {"%d", "0", I(0), None(), None()},
    {"%5d", "    0", I(0), None(), None()},
    {"%#x", "0x0", I(0), None(), None()},
    {"%#o", "010", I(8), None(), None()},
    {"%#x", "0xff", I(255), None(), None()},
    {"%#X", "0XFF", I(255), None(), None()},
    {"%#u", "5", I(5), None(), None()},
    {"%#o", "00", I(0), None(), None()},
    {"%#.0o", "00", I(0), None(), None()},
    {"%#08x", "0x0000ff", I(255), None(), None()},
    {"%x", "ffffffff", I(-1), None(), None()},
    {"%hd", "-1", I(65535), None(), None()},
    {"%hu", "1", I(65537), None(), None()},
    {"%hhd", "-1", I(65535), None(), None()},
    {"%lld", "9223372036854775807", L(INT64_MAX), None(), None()},
    {"%lld", "-9223372036854775808", L(INT64_MIN), None(), None()},
    {"%I64x", "123456789abcdef0", L(0x123456789abcdef0ll), None(), None()},
    {"%I64u", "18446744073709551615", L(-1), None(), None()},
    {"%I32d|%ld|%wd", "1|2|3", I(1), I(2), I(3)},
    {"%Id|%I3d", "4|3d", I(4), None(), None()},
    {"%d", "-2147483648", I(INT32_MIN), None(), None()},
    {"%u", "4294967295", I(-1), None(), None()},
    {"%p", "00001234", P(0x1234), None(), None()},
    {"%p", "80000000", P(0x80000000u), None(), None()},
    {"%#p", "0X0000ABCD", P(0xABCD), None(), None()},
    {"%.2p", "0000ABCD", P(0xABCD), None(), None()},
    {"%5c", "    A", I('A'), None(), None()},
    {"%-3c", "A  ", I('A'), None(), None()},
    {"%03c", "00A", I('A'), None(), None()},
    {"%-03c|", "A  |", I('A'), None(), None()},
    {"%.2s", "ab", S("abcd"), None(), None()},
    {"%5s", "   ab", S("ab"), None(), None()},
    {"%05s", "000ab", S("ab"), None(), None()},
    {"%-5s|", "ab   |", S("ab"), None(), None()},
    {"%-05s|", "ab   |", S("ab"), None(), None()},
    {"%S", "converted", SO("converted"), None(), None()},
    {"%6.3S|", "   con|", SO("converted"), None(), None()},
    {"[%s]", "[]", Null(), None(), None()},
    {"[%5s]", "[]", Null(), None(), None()},
    {"%%", "%", None(), None(), None()},
    {"100%%!", "100%!", None(), None(), None()},
    {"%q", "q", None(), None(), None()},
    {"ab%", "ab", None(), None(), None()},
    {"%5-d", "-d", None(), None(), None()},
    {"%.5.3d", ".3d", None(), None(), None()},
    {"%l5d", "5d", None(), None(), None()},
    {"%hl*d|", "*d|", None(), None(), None()},
    {"a%nb%Zc", "abc", None(), None(), None()},
    {"%*d", "   7", I(4), I(7), None()},
    {"%-*d|", "7   |", I(4), I(7), None()},
    {"%*d|", "7|", I(-4), I(7), None()},
    {"%.*d", "0007", I(4), I(7), None()},
    {"%.*d", "7", I(-1), I(7), None()},
    {"%*.*f", "  3.14", I(6), I(2), D(3.14159)},
    {"%d %s %08.3f", "12 ab 0003.142", I(12), S("ab"), D(3.14159)},
    {"%c%c%c", "xyz", I('x'), I('y'), I('z')},
    {"%-+6d|", "+12   |", I(12), None(), None()},
    {"%+06d", "+00012", I(12), None(), None()},
    {"%+.3u", "012", I(12), None(), None()},
    {"% x", "c", I(12), None(), None()},
    {"%#5o", "  017", I(15), None(), None()},
    {"%020.3d", "                -012", I(-12), None(), None()},
    {"%.10X", "00DEADBEEF", I((int)0xDEADBEEF), None(), None()},
    {"%.40d", "0000000000000000000000000000000000000042", I(42), None(), None()},
};

TEST(Format, CasesInBothFlavoursAtEveryDestinationSize) {
    for (const Flavour& flavour : Flavours) {
        int unit = CharCode_GetUnitSize(flavour.formatPage);
        for (const FormatCase& c : Cases) {
            std::string expected = c.expected;
            int length = (int)expected.size();
            std::vector<int> sizes;
            for (int size = 0; size <= length + 2; ++size) sizes.push_back(size);
            sizes.push_back(1000);
            for (int size : sizes) {
                SCOPED_TRACE(std::string(flavour.name) + " \"" + c.format + "\" -> \"" + c.expected + "\" size " +
                             std::to_string(size));
                std::vector<uint8_t> destination((size_t)(size + 4) * unit, 0xCC);
                int result = FormatWith(flavour, destination.data(), size, c.format, c.a0, c.a1, c.a2);
                int written = size == 0 ? 0 : std::min(length, size - 1);
                ASSERT_EQ(result, written);
                for (int i = 0; i < written; ++i) {
                    uint32_t code = CharCode_DecodeChar(destination.data() + i * unit, flavour.formatPage, nullptr);
                    ASSERT_EQ(code, (uint8_t)expected[i]) << "at " << i;
                }
                if (size > 0) {
                    for (int b = 0; b < unit; ++b) ASSERT_EQ(destination[written * unit + b], 0);
                }
                for (size_t b = (size_t)size * unit; b < destination.size(); ++b) ASSERT_EQ(destination[b], 0xCC);
            }
        }
        KeptTexts.clear();
    }
}

TEST(Format, ShortDestinationCutsAtTheLastWholeCharacter) {
    char out[8];
    EXPECT_EQ(CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, 4, "%d", 123456), 3);
    EXPECT_STREQ(out, "123");
    std::memset(out, 0xCC, sizeof(out));
    EXPECT_EQ(CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, 0, "%d", 1), 0);
    EXPECT_EQ((uint8_t)out[0], 0xCC);
    // A Shift_JIS double-byte character is never cut: with two bytes left only the terminator fits.
    EXPECT_EQ(CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, 3, "a日b"), 1);
    EXPECT_STREQ(out, "a");
    // A wide destination of one unit holds only the terminator.
    wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(CharCode_Format(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, wide, 1, L"%d", 5), 0);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(wide[1], L'x');
    // UTF-16: a character outside the BMP needs a pair; with one unit of room left it is not written
    // and the literal after it is not reached.
    EXPECT_EQ(CharCode_Format(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, wide, 3,
                              L"a\U0001F600b"), 1);
    EXPECT_EQ(wide[0], L'a');
    EXPECT_EQ(wide[1], 0);
}

TEST(Format, CharactersAndStringsBetweenThePages) {
    // Narrow literals are Shift_JIS here.
    const char* narrowJapanese = "日本語";
    const wchar_t* wideJapanese = L"日本語";
    wchar_t wide[64];
    char narrow[64];
    // Wide flavour: %s is UTF-16, %S the narrow page converted.
    EXPECT_EQ(CharCode_Format(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, wide, 64, L"<%s|%S>",
                              wideJapanese, narrowJapanese), 9);
    EXPECT_STREQ(wide, L"<日本語|日本語>");
    // Narrow flavour: %S is UTF-16 converted to Shift_JIS.
    EXPECT_EQ(CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, narrow, 64, "<%s|%S>",
                              narrowJapanese, wideJapanese), 15);
    EXPECT_STREQ(narrow, "<日本語|日本語>");
    // The precision counts units of the format page: one UTF-16 unit is one character, two bytes
    // of Shift_JIS are one.
    CharCode_Format(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, wide, 64, L"%.2S|%4s", narrowJapanese,
                    L"日");
    EXPECT_STREQ(wide, L"日本|   日");
    CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, narrow, 64, "%.4S|%4s", wideJapanese,
                    "日");
    EXPECT_STREQ(narrow, "日本|  日");
    // %c in the wide flavour is a UTF-16 unit, %C a Shift_JIS code (low 8 bits: a single-byte one).
    CharCode_Format(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, wide, 64, L"%c%C%c", 0x65E5, 0xB1, 'z');
    EXPECT_STREQ(wide, L"日\uFF71z");
    // %C in the narrow flavour is a UTF-16 unit converted into a double-byte Shift_JIS character.
    CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, narrow, 64, "[%C]", 0x65E5);
    EXPECT_STREQ(narrow, "[日]");
    // Characters without a mapping are left out, never written as code 0 (which would end the text).
    CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, narrow, 64, "[%S][%3C][%-2C]x",
                    L"a\u0101b", 0x0101, 0x0101);
    EXPECT_STREQ(narrow, "[ab][   ][  ]x");
}

TEST(Format, EveryCodePage) {
    const CodePageId pages[] = {CodePage_ShiftJis, CodePage_Gbk, CodePage_Korean, CodePage_Big5,
                                CodePage_Western, CodePage_Utf16LE, CodePage_Utf16BE, CodePage_Latin9,
                                CodePage_Ascii, CodePage_Utf32LE, CodePage_Utf32BE, CodePage_Utf8};
    for (CodePageId page : pages) {
        SCOPED_TRACE(page);
        int unit = CharCode_GetUnitSize(page);
        const void* format = TextIn("%s=%5d|%-4x|%.2f|%c|%%", page);
        const void* name = TextIn("key", page);
        const void* expected = TextIn("key=   42|ff  |2.50|Q|%", page);
        int expectedUnits = 23;
        std::vector<uint8_t> out(256, 0xCC);
        int units = CharCode_Format(page, 0, page, CodePage_Utf16LE, out.data(), 64, format, name, 42, 255, 2.5, 'Q');
        ASSERT_EQ(units, expectedUnits);
        EXPECT_EQ(0, std::memcmp(out.data(), expected, (size_t)(expectedUnits + 1) * unit));
        // Exact fit and one unit short.
        std::fill(out.begin(), out.end(), 0xCC);
        EXPECT_EQ(CharCode_Format(page, 0, page, CodePage_Utf16LE, out.data(), expectedUnits + 1, format, name, 42,
                                  255, 2.5, 'Q'), expectedUnits);
        EXPECT_EQ(out[(expectedUnits + 1) * unit], 0xCC);
        EXPECT_EQ(CharCode_Format(page, 0, page, CodePage_Utf16LE, out.data(), expectedUnits, format, name, 42, 255,
                                  2.5, 'Q'), expectedUnits - 1);
    }
    // A multi-byte UTF-8 character in the format and in an argument converted from UTF-16.
    char utf8[32];
    const uint8_t format[] = {'%', 'S', 0xC3, 0xA9, 0};
    EXPECT_EQ(CharCode_Format(CodePage_Utf8, 0, CodePage_Utf8, CodePage_Utf16LE, utf8, 32, format, L"\u20AC"), 5);
    EXPECT_STREQ(utf8, "\xE2\x82\xAC\xC3\xA9");
    // An unknown page writes nothing.
    EXPECT_EQ(CharCode_Format(12345, 0, 12345, CodePage_Utf16LE, utf8, 32, "x"), 0);
}

TEST(Format, LongFormatsAndUnboundedCalls) {
    // A format beyond the stack work area, and a string argument that needs an allocated conversion.
    std::string longFormat(3000, 'x');
    longFormat += "%d";
    std::vector<char> out(4000);
    EXPECT_EQ(CharCode_FormatUnbounded(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out.data(),
                                       longFormat.c_str(), 42), 3002);
    EXPECT_EQ(std::string(out.data() + 2998), "xx42");
    std::wstring longText(600, L'w');
    EXPECT_EQ(CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out.data(), 4000, "%S.",
                              longText.c_str()), 601);
    EXPECT_EQ(out[599], 'w');
    EXPECT_EQ(out[600], '.');
}

TEST(Format, DecimalRunsAndRemainders) {
    const uint32_t codes[] = {'0', '4', '2', 'x', 0};
    int count = -1;
    EXPECT_EQ(CharCode_ParseDecimal(codes, &count), 42u);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(CharCode_ParseDecimal(codes + 3, &count), 0u);
    EXPECT_EQ(count, 0);
    std::vector<uint32_t> many(2000, '1');
    many.push_back(0);
    CharCode_ParseDecimal(many.data(), &count);
    EXPECT_EQ(count, 1024);
    const uint32_t wraps[] = {'4', '2', '9', '4', '9', '6', '7', '2', '9', '7', 0};
    EXPECT_EQ(CharCode_ParseDecimal(wraps, nullptr), 1u);
    uint64_t value = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_EQ(CharCode_UInt64_Remainder(&value, 10), 5u);
    EXPECT_EQ(value, 1844674407370955161ull);
    value = 100;
    EXPECT_EQ(CharCode_UInt64_Remainder(&value, 16), 4u);
    EXPECT_EQ(value, 6u);
}

// ------------------------------------------------------------------------------------------------
// Against the C runtime: thousands of generated (format, value) pairs. Every difference must fall
// into one of the differences the library defines; each class is counted and reported.

struct Comparison {
    int compared = 0;
    std::map<std::string, int> explained;
    std::vector<std::string> unexplained;
};

std::string Library(const char* format, ...) {
    char out[512];
    va_list arguments;
    va_start(arguments, format);
    CharCode_FormatV(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, out, (int)sizeof(out), format,
                     arguments);
    va_end(arguments);
    return out;
}

std::string Runtime(const char* format, ...) {
    char out[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(out, sizeof(out), format, arguments);
    va_end(arguments);
    return out;
}

// The C runtime may write two exponent digits where the library always writes three: the runtime's
// text without a width gets the third digit, then the width's padding is applied again.
std::string RuntimeReal(const std::string& flags, int width, const std::string& precision, char letter,
                        double value) {
    std::string format = "%" + flags + precision + letter;
    std::string text = Runtime(format.c_str(), value);
    size_t e = text.find_first_of("eE");
    if (e != std::string::npos && e + 2 < text.size() && (text[e + 1] == '+' || text[e + 1] == '-') &&
        text.size() - (e + 2) == 2)
        text.insert(e + 2, "0");
    if ((int)text.size() < width) {
        size_t pad = (size_t)width - text.size();
        if (flags.find('-') != std::string::npos) text.append(pad, ' ');
        else if (flags.find('0') != std::string::npos) {
            size_t at = (!text.empty() && (text[0] == '+' || text[0] == '-' || text[0] == ' ')) ? 1 : 0;
            text.insert(at, pad, '0');
        } else text.insert(0, pad, ' ');
    }
    return text;
}

// True when the exact value sits exactly half-way at the place where the conversion rounds: the C
// runtime rounds such ties to even, the library never rounds them up.
bool IsExactTie(double value, char letter, int precision) {
    char exact[1200];
    std::snprintf(exact, sizeof(exact), "%.760e", std::fabs(value));
    // exact = d.ddd...e+XXX; gather the significant digits and the exponent.
    std::string digits;
    const char* p = exact;
    for (; *p && *p != 'e'; ++p)
        if (isdigit((unsigned char)*p)) digits += *p;
    int exponent = std::atoi(p + 1);
    int keep;
    if (letter == 'f') keep = exponent + 1 + precision;
    else if (letter == 'e' || letter == 'E') keep = precision + 1;
    else keep = precision == 0 ? 1 : precision;
    if (keep < 0 || keep >= (int)digits.size()) return false;
    if (digits[keep] != '5') return false;
    for (size_t i = keep + 1; i < digits.size(); ++i)
        if (digits[i] != '0') return false;
    return true;
}

TEST(Format, AgreesWithTheRuntimeOnIntegersStringsAndReals) {
    Comparison comparison;
    auto record = [&](const std::string& format, const std::string& library, const std::string& runtime,
                      const char* reason) {
        ++comparison.compared;
        if (library == runtime) return;
        if (reason != nullptr) {
            ++comparison.explained[reason];
            return;
        }
        if (comparison.unexplained.size() < 200)
            comparison.unexplained.push_back(format + ": library \"" + library + "\", runtime \"" + runtime + "\"");
        else comparison.unexplained.push_back("");
    };

    const char* flagSets[] = {"", "-", "+", " ", "#", "0", "-0", "+0", "#0", "-#", "+ ", "-+#0 "};
    const char* widths[] = {"", "1", "6", "14"};
    const char* precisions[] = {"", ".0", ".1", ".3", ".12"};

    // Integers.
    const int64_t integerValues[] = {0, 1, -1, 7, -42, 255, 65535, 65536, 123456789, INT32_MAX, INT32_MIN,
                                     (int64_t)0x80000000u, INT64_MAX, INT64_MIN, -1234567890123ll};
    const char* integerLetters = "diouxX";
    for (const char* flags : flagSets)
        for (const char* width : widths)
            for (const char* precision : precisions)
                for (const char* letter = integerLetters; *letter; ++letter)
                    for (int64_t value : integerValues)
                        for (int size = 0; size < 3; ++size) {
                            const char* sizeLetter = size == 0 ? "" : size == 1 ? "h" : "ll";
                            std::string format = std::string("%") + flags + width + precision + sizeLetter + *letter;
                            std::string library, runtime;
                            if (size == 2) {
                                library = Library(format.c_str(), (long long)value);
                                runtime = Runtime(format.c_str(), (long long)value);
                            } else {
                                library = Library(format.c_str(), (int)value);
                                runtime = Runtime(format.c_str(), (int)value);
                            }
                            int64_t shown = size == 2 ? value : size == 1 ? (int16_t)value : (int32_t)value;
                            const char* reason = nullptr;
                            if (shown == 0 && std::strcmp(precision, ".0") == 0)
                                reason = "zero with precision 0 prints its digit";
                            else if (shown == 0 && *letter != 'u' && std::strchr(flags, '#'))
                                reason = "the # prefix is written for zero too";
                            else if (*letter != 'd' && *letter != 'i' && (std::strchr(flags, ' ') || std::strchr(flags, '+')))
                                reason = "sign flags act on d and i only";
                            else if (*letter == 'o' && std::strchr(flags, '#') && precision[0])
                                reason = "%#o puts its 0 before the precision's zeros";
                            record(format, library, runtime, reason);
                        }

    // Strings.
    const char* texts[] = {"", "a", "abc", "hello world", "0123456789abcdef"};
    for (const char* flags : {"", "-", "0", "-0"})
        for (const char* width : widths)
            for (const char* precision : precisions)
                for (const char* text : texts) {
                    std::string format = std::string("[%") + flags + width + precision + "s]";
                    const char* reason = std::strchr(flags, '0') && !std::strchr(flags, '-')
                                             ? "the 0 flag pads strings with zeros" : nullptr;
                    record(format, Library(format.c_str(), text), Runtime(format.c_str(), text), reason);
                }

    // Reals: fixed values at the edges and a spread of generated ones.
    std::vector<double> reals = {0.0, -0.0, 1.0, -1.0, 0.5, 1.5, 2.5, 0.125, 0.375, 3.14159, -3.14159,
                                 9.9999999, 0.1, 1e-5, 1e-4, 123456.0, 1e15, 1e21, 1e-300, 1.7976931348623157e308,
                                 4.9406564584124654e-324, 2.2250738585072014e-308, 1234.5, 0.05, 99.95};
    uint64_t state = 0x2545F4914F6CDD1Dull;
    for (int i = 0; i < 40; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        double mantissa = (double)(state >> 11) / 9007199254740992.0;
        int exponent = (int)(state % 41) - 20;
        reals.push_back((i & 1 ? -1 : 1) * mantissa * std::pow(10.0, exponent));
    }
    for (const char* flags : flagSets)
        for (const char* width : widths)
            for (const char* precision : precisions)
                for (char letter : {'f', 'e', 'E', 'g', 'G'})
                    for (double value : reals) {
                        std::string format = std::string("%") + flags + width + precision + letter;
                        std::string library = Library(format.c_str(), value);
                        std::string runtime = RuntimeReal(flags, width[0] ? std::atoi(width) : -1, precision,
                                                          letter, value);
                        int p = precision[0] ? std::atoi(precision + 1) : 6;
                        const char* reason = nullptr;
                        if (std::signbit(value) && value == 0.0) reason = "-0.0 is not negative";
                        else if (IsExactTie(value, letter == 'f' ? 'f' : letter == 'e' || letter == 'E' ? 'e' : 'g', p))
                            reason = "an exact half never rounds up";
                        record(format, library, runtime, reason);
                    }

    std::string report = "compared " + std::to_string(comparison.compared) + " pairs";
    for (const auto& entry : comparison.explained)
        report += "; " + entry.first + ": " + std::to_string(entry.second);
    std::printf("[ runtime  ] %s\n", report.c_str());
    EXPECT_GT(comparison.compared, 10000);
    EXPECT_TRUE(comparison.unexplained.empty()) << comparison.unexplained.size() << " unexplained, first: "
                                                << (comparison.unexplained.empty() ? "" : comparison.unexplained[0]);
    for (size_t i = 0; i < comparison.unexplained.size() && i < 200; ++i)
        ADD_FAILURE() << comparison.unexplained[i];
}

} // namespace
