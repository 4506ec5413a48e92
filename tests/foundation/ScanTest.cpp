// Scan engine: the library's cases in the narrow and the wide flavour, strings between the pages,
// every code page, and inputs that must end quickly (huge exponents, long digit runs).
#include "foundation/VtCharCode.h"
#include "foundation/VtScan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <vector>

using namespace Vantrel;

namespace {

struct Flavour {
    const char* name;
    CodePageId page;
    int wideFlag;
    CodePageId OtherPage() const { return wideFlag ? CodePage_ShiftJis : CodePage_Utf16LE; }
};
const Flavour Flavours[] = {{"narrow", CodePage_ShiftJis, 0}, {"wide", CodePage_Utf16LE, 1}};

std::deque<std::vector<uint8_t>> KeptTexts;

const void* TextIn(const char* narrowText, CodePageId page) {
    int bytes = CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, nullptr, 0x7FFFFFFF, page);
    KeptTexts.emplace_back((size_t)(bytes > 0 ? bytes : 0) + 8, 0);
    CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, KeptTexts.back().data(), bytes, page);
    return KeptTexts.back().data();
}

enum OutKind { Out_None, Out_Int32, Out_Int16, Out_Int64, Out_Float, Out_Double, Out_String, Out_OtherString, Out_Chars };
struct Out {
    OutKind kind;
    int64_t integer;
    double real;
    const char* text;
};
Out None() { return {Out_None, 0, 0, nullptr}; }
Out I32(int64_t v) { return {Out_Int32, v, 0, nullptr}; }
Out I16(int64_t v) { return {Out_Int16, v, 0, nullptr}; }
Out I64(int64_t v) { return {Out_Int64, v, 0, nullptr}; }
Out F(double v) { return {Out_Float, 0, v, nullptr}; }
Out D(double v) { return {Out_Double, 0, v, nullptr}; }
Out Str(const char* t) { return {Out_String, 0, 0, t}; }
Out StrOther(const char* t) { return {Out_OtherString, 0, 0, t}; }
Out Chars(const char* t) { return {Out_Chars, 0, 0, t}; }

struct ScanCase {
    const char* format;
    const char* input;
    int expected;
    Out out0, out1;
};

const ScanCase Cases[] = {
    {"VID_%4X", "VID_045E&PID_028E", 1, I32(0x045E), None()},
    {"PID_%4X", "PID_028E", 1, I32(0x028E), None()},
    {"%d %s", "12 abc", 2, I32(12), Str("abc")},
    {"%3d%d", "12345", 2, I32(123), I32(45)},
    {"%i", "0x1f", 1, I32(31), None()},
    {"%i", "017", 1, I32(15), None()},
    {"%i", "10", 1, I32(10), None()},
    {"%i", "0", 0, None(), None()},
    {"%i", "09", 0, None(), None()},
    {"%i", "-0x10", 1, I32(-16), None()},
    {"%I", "0x10", 1, I32(16), None()},
    {"%x", "0x1f", 1, I32(0), None()},
    {"%X", "fF", 1, I32(255), None()},
    {"%d", "+5", 0, None(), None()},
    {"%d", "-5", 1, I32(-5), None()},
    {"%1d", "-5", 0, None(), None()},
    {"%d", "-", 0, None(), None()},
    {"%d", "", 0, None(), None()},
    {"%d", " \t\r\n", 0, None(), None()},
    {"%u", "4294967295", 1, I32(-1), None()},
    {"%D|%U", "1|2", 2, I32(1), I32(2)},
    {"%O", "17", 1, I32(15), None()},
    {"%o", "778", 1, I32(63), None()},
    {"%f", "1.5e2", 1, F(150.0), None()},
    {"%lf", "1.5e2", 1, D(150.0), None()},
    {"%f", "-.5", 1, F(-0.5), None()},
    {"%f", "1e", 1, F(1.0), None()},
    {"%lf", "3.14159", 1, D(3.14159), None()},
    {"%Lf", "0.1", 1, D(0.1), None()},
    {"%lf", "-2.5E-3x", 1, D(-0.0025), None()},
    {"%lf", "1e+2", 1, D(100.0), None()},
    {"%lf", "1.2.3", 1, D(1.2), None()},
    {"%3lf", "12345", 1, D(123.0), None()},
    {"%lf", "1e400", 1, D(std::numeric_limits<double>::infinity()), None()},
    {"%lf", "-1e400", 1, D(-std::numeric_limits<double>::infinity()), None()},
    {"%lf", "1e-400", 1, D(0.0), None()},
    {"%lf", "1e-99999999999999999999", 1, D(0.0), None()},
    {"%lf", "7e99999999999999999999", 1, D(std::numeric_limits<double>::infinity()), None()},
    {"%lf", ".", 0, None(), None()},
    {"%f", "+1", 0, None(), None()},
    {"%[a-c]", "abcd", 1, Str("abc"), None()},
    {"%[^,]", "ab,cd", 1, Str("ab"), None()},
    {"%[ab]", "  ab", 1, Str("ab"), None()},
    {"%[a]", "xyz", 1, Str(""), None()},
    {"%[c-a]", "abcd", 1, Str("abc"), None()},
    {"%[a-]", "a-b", 1, Str("a-"), None()},
    {"%2[a-z]", "abc", 1, Str("ab"), None()},
    {"%[a-c]%d", "cab7", 2, Str("cab"), I32(7)},
    {"%[abc", "abc", 0, None(), None()},
    {"%h[a]", "a", 0, None(), None()},
    {"%s", "  hello world", 1, Str("hello"), None()},
    {"%2s", "abcdef", 1, Str("ab"), None()},
    {"%S", "text", 1, StrOther("text"), None()},
    {"%c", " x", 1, Chars(" "), None()},
    {"%3c", "abcdef", 1, Chars("abc"), None()},
    {"%C", "z", 1, StrOther(nullptr), None()},
    {"%*d %d", "1 2", 1, I32(2), None()},
    {"%*s %s", "ab cd", 1, Str("cd"), None()},
    {"%*[a-z]%d", "abc5", 1, I32(5), None()},
    {"%*c%c", "xy", 1, Chars("y"), None()},
    {"%*lf|%I64u", "2.5|7", 1, I64(7), None()},
    {"a%d", "b5", 1, I32(5), None()},
    {"ab%d", "ax5", 1, I32(5), None()},
    {"x = %d", "x=3", 1, I32(3), None()},
    {"%d%%%d", "1%2", 2, I32(1), I32(2)},
    {"%q", "q", 1, None(), None()},
    {"%*q", "q", 0, None(), None()},
    {"%0d", "5", 0, None(), None()},
    {"%5", "5", 0, None(), None()},
    {"%l", "5", 0, None(), None()},
    {"%*", "5", 0, None(), None()},
    {"%hd", "-2", 1, I16(-2), None()},
    {"%I64d", "-9223372036854775807", 1, I64(-9223372036854775807ll), None()},
    {"%I64x", "ffffffffffffffff", 1, I64(-1), None()},
    {"%d", "99999999999", 1, I32((int32_t)(uint32_t)99999999999ull), None()},
};

void CheckOut(const Out& out, const uint8_t* stored, const Flavour& flavour) {
    switch (out.kind) {
    case Out_None:
        for (int i = 0; i < 16; ++i) ASSERT_EQ(stored[i], 0xCC) << "nothing is stored";
        break;
    case Out_Int32: {
        int32_t v;
        std::memcpy(&v, stored, 4);
        EXPECT_EQ(v, (int32_t)out.integer);
        EXPECT_EQ(stored[4], 0xCC);
        break;
    }
    case Out_Int16: {
        int16_t v;
        std::memcpy(&v, stored, 2);
        EXPECT_EQ(v, (int16_t)out.integer);
        EXPECT_EQ(stored[2], 0xCC);
        break;
    }
    case Out_Int64: {
        int64_t v;
        std::memcpy(&v, stored, 8);
        EXPECT_EQ(v, out.integer);
        EXPECT_EQ(stored[8], 0xCC);
        break;
    }
    case Out_Float: {
        float v;
        std::memcpy(&v, stored, 4);
        EXPECT_EQ(v, (float)out.real);
        EXPECT_EQ(stored[4], 0xCC);
        break;
    }
    case Out_Double: {
        double v;
        std::memcpy(&v, stored, 8);
        EXPECT_EQ(v, out.real);
        EXPECT_EQ(stored[8], 0xCC);
        break;
    }
    case Out_String:
    case Out_OtherString:
    case Out_Chars: {
        CodePageId page = out.kind == Out_OtherString ? flavour.OtherPage() : flavour.page;
        int unit = CharCode_GetUnitSize(page);
        if (out.text == nullptr) {
            // %C: one character of the other page, no terminator.
            EXPECT_EQ(CharCode_DecodeChar(stored, page, nullptr), (uint32_t)'z');
            EXPECT_EQ(stored[unit], 0xCC);
            break;
        }
        const uint8_t* expected = (const uint8_t*)TextIn(out.text, page);
        size_t length = std::strlen(out.text);
        bool terminated = out.kind != Out_Chars;
        EXPECT_EQ(0, std::memcmp(stored, expected, (length + (terminated ? 1 : 0)) * unit));
        EXPECT_EQ(stored[(length + (terminated ? 1 : 0)) * unit], 0xCC);
        break;
    }
    }
}

TEST(Scan, CasesInBothFlavours) {
    for (const Flavour& flavour : Flavours) {
        for (const ScanCase& c : Cases) {
            SCOPED_TRACE(std::string(flavour.name) + " \"" + c.format + "\" on \"" + c.input + "\"");
            uint8_t stored0[64], stored1[64];
            std::memset(stored0, 0xCC, sizeof(stored0));
            std::memset(stored1, 0xCC, sizeof(stored1));
            int count = CharCode_Scan(flavour.page, flavour.wideFlag, CodePage_ShiftJis, CodePage_Utf16LE,
                                      TextIn(c.input, flavour.page), TextIn(c.format, flavour.page), stored0,
                                      stored1);
            EXPECT_EQ(count, c.expected);
            CheckOut(c.out0, stored0, flavour);
            CheckOut(c.out1, stored1, flavour);
        }
        KeptTexts.clear();
    }
}

TEST(Scan, StringsBetweenThePages) {
    // Wide flavour: %s stays UTF-16, %S is stored in Shift_JIS; characters without a mapping are
    // left out, never stored as code 0.
    wchar_t wide[16];
    char narrow[16];
    EXPECT_EQ(CharCode_Scan(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, L"日本 日本", L"%s %S", wide,
                            narrow), 2);
    EXPECT_STREQ(wide, L"日本");
    EXPECT_STREQ(narrow, "日本");
    EXPECT_EQ(CharCode_Scan(CodePage_Utf16LE, 1, CodePage_ShiftJis, CodePage_Utf16LE, L"a\u0101b", L"%S", narrow), 1);
    EXPECT_STREQ(narrow, "ab");
    // Narrow flavour: %S stores UTF-16; the width counts units written, so one double-byte character
    // of Shift_JIS fills a width of 2.
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, "語x", "%S", wide), 1);
    EXPECT_STREQ(wide, L"語x");
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, "語x", "%2s", narrow), 1);
    EXPECT_STREQ(narrow, "語");
    // A scan set stores in the input's own page.
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, "日本,x", "%[^,]", narrow), 1);
    EXPECT_STREQ(narrow, "日本");
}

TEST(Scan, EveryCodePage) {
    const CodePageId pages[] = {CodePage_ShiftJis, CodePage_Gbk, CodePage_Korean, CodePage_Big5,
                                CodePage_Western, CodePage_Utf16LE, CodePage_Utf16BE, CodePage_Latin9,
                                CodePage_Ascii, CodePage_Utf32LE, CodePage_Utf32BE, CodePage_Utf8};
    for (CodePageId page : pages) {
        SCOPED_TRACE(page);
        int value = 0;
        double real = 0;
        uint8_t set[64];
        std::memset(set, 0xCC, sizeof(set));
        EXPECT_EQ(CharCode_Scan(page, 0, page, CodePage_Utf16LE, TextIn("id=0x2A; 2.5e1 word!", page),
                                TextIn("id=%i; %lf %[a-z]", page), &value, &real, set), 3);
        EXPECT_EQ(value, 42);
        EXPECT_EQ(real, 25.0);
        int unit = CharCode_GetUnitSize(page);
        EXPECT_EQ(0, std::memcmp(set, TextIn("word", page), 5 * (size_t)unit));
    }
    KeptTexts.clear();
}

TEST(Scan, LongInputsEndQuickly) {
    // An exponent of hundreds of digits, the digit limits of each part, and an input beyond the
    // stack work area.
    std::string huge = "1e" + std::string(250, '9');
    double value = 0;
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, huge.c_str(), "%lf", &value), 1);
    EXPECT_TRUE(std::isinf(value));
    huge = "1e-" + std::string(250, '9');
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, huge.c_str(), "%lf", &value), 1);
    EXPECT_EQ(value, 0.0);
    // 260 integer digits: 255 are taken, the rest is left in the input for the next conversion.
    std::string digits(260, '1');
    int rest = 0;
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, digits.c_str(), "%lf%d", &value,
                            &rest), 2);
    EXPECT_EQ(rest, 11111);
    EXPECT_NEAR(value / 1.1111111111111111e254, 1.0, 1e-15);
    std::string longInput(5000, ' ');
    longInput += "77";
    int seven = 0;
    EXPECT_EQ(CharCode_Scan(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, longInput.c_str(), "%d", &seven), 1);
    EXPECT_EQ(seven, 77);
    const uint32_t blanks[] = {' ', '\t', '\r', '\n', 11, 'x', 0};
    EXPECT_EQ(CharCode_CountLeadingBlanks(blanks), 4);
}

} // namespace
