// Floating-point conversions: the library's cases in the narrow and the wide flavour with every
// destination size, exact digits at the extremes of the double range, and the styles on their own.
#include "foundation/VtCharCode.h"
#include "foundation/VtFloatFormat.h"
#include "foundation/VtFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace Vantrel;

namespace {

const double Infinity = std::numeric_limits<double>::infinity();
const double QuietNaN = std::numeric_limits<double>::quiet_NaN();

struct Flavour {
    const char* name;
    CodePageId formatPage;
    int wideFlag;
};
const Flavour Flavours[] = {{"narrow", CodePage_ShiftJis, 0}, {"wide", CodePage_Utf16LE, 1}};

// The format and the expected text (ASCII) in the flavour's page.
std::vector<uint8_t> InPage(const std::string& ascii, CodePageId page) {
    int unit = CharCode_GetUnitSize(page);
    std::vector<uint8_t> bytes((ascii.size() + 1) * unit, 0);
    for (size_t i = 0; i < ascii.size(); ++i) bytes[i * unit] = (uint8_t)ascii[i];
    return bytes;
}

struct FloatCase {
    const char* format;
    double value;
    const char* expected;
};

const FloatCase FloatCases[] = {
    {"%f", 1.5, "1.500000"},
    {"%.0f", 2.5, "2"},
    {"%.0f", 2.6, "3"},
    {"%.0f", 0.5, "0"},
    {"%.1f", 0.96, "1.0"},
    {"%#.0f", 3.0, "3."},
    {"%e", 12345.678, "1.234568e+004"},
    {"%E", 0.0, "0.000000E+000"},
    {"%.0e", 5.0, "5e+000"},
    {"%g", 100000.0, "100000"},
    {"%g", 1000000.0, "1e+006"},
    {"%g", 0.0001, "0.0001"},
    {"%g", 0.00001, "1e-005"},
    {"%g", 0.0, "0"},
    {"%#g", 1.0, "1.00000"},
    {"%G", 1e-10, "1E-010"},
    {"%a", 1.0, "0x1.000000p+0"},
    {"%A", 255.0, "0x1.FE0000P+7"},
    {"%a", 0.0, "0x0.000000p+0"},
    {"%f", -0.0, "0.000000"},
    {"%+f", 1.0, "+1.000000"},
    {"% f", 1.0, " 1.000000"},
    {"%010.2f", -3.14159, "-000003.14"},
    {"%-8.1f", 2.25, "2.2     "},
    {"%f", Infinity, "1.#INF00"},
    {"%f", -Infinity, "-1.#INF00"},
    {"%e", QuietNaN, "1.#QNAN0e+000"},
    {"%.2f", QuietNaN, "1.#R"},
    {"%g", Infinity, "1.#INF"},
    {"%a", Infinity, "001.#INF00p+0"},
    {"%+f", QuietNaN, "+1.#QNAN0"},
    // Exact digits: the value of the double itself, correctly rounded.
    {"%f", 3.14159, "3.141590"},
    {"%.17f", 0.1, "0.10000000000000001"},
    {"%.20f", 1e308,
     "1000000000000000010979063629440455417404923096773118463368106829031575854049114915371633289784946888"
     "9906124966972117251561159028374314008832830700919814604603127166450293302718569748969958855904333838"
     "4466165001178426897626212945177628091195786707458122783970171784415105291802893207873272974885715430"
     "223118336.00000000000000000000"},
    {"%.3e", 5e-324, "4.941e-324"},
    {"%.0f", 1.5, "1"},
    {"%.2f", 0.125, "0.12"},
    {"%.2f", 0.375, "0.37"},
    {"%.1f", 0.25000000000000006, "0.3"},
    {"%g", 9.9999999, "10"},
    {"%g", 123456789.0, "1.23457e+008"},
    {"%.3g", 0.00012345, "0.000123"},
    {"%#.3g", 0.0001, "0.000100"},
    {"%g", 1e100, "1e+100"},
    {"%.15g", 0.1, "0.1"},
    {"%.17g", 0.1, "0.10000000000000001"},
    {"%13.4e", -1234.5, " -1.2345e+003"},
    {"%-12.3E", 1234.5, "1.234E+003  "},
    {"%012g", -2.5, "-000000002.5"},
    // Hexadecimal: rounding strictly above half, normalised after a carry.
    {"%.1a", 1.96875, "0x1.fp+0"},
    {"%.0a", 1.5, "0x1p+0"},
    {"%.0a", 1.75, "0x1p+1"},
    {"%.13a", 0.1, "0x1.999999999999ap-4"},
    {"%a", 4.9406564584124654e-324, "0x1.000000p-1074"},
    {"%#.0a", 2.0, "0x1.p+1"},
    // Special values at every precision, and their filled forms.
    {"%.0f", Infinity, "1"},
    {"%#.0f", Infinity, "1."},
    {"%.1f", QuietNaN, "1.$"},
    {"%.3f", Infinity, "1.#IO"},
    {"%.4f", QuietNaN, "1.#QNB"},
    {"%.8f", Infinity, "1.#INF0000"},
    {"%E", -Infinity, "-1.#INF00E+000"},
    {"%.2g", QuietNaN, "1.$"},
    {"%A", QuietNaN, "001.#QNAN0P+0"},
    {"%10f", -Infinity, " -1.#INF00"},
    {"%-10.3f", Infinity, "1.#IO     "},
    {"%010f", Infinity, "001.#INF00"},
};

int FormatDouble(const Flavour& flavour, void* destination, int units, const char* format, double value) {
    std::vector<uint8_t> pageFormat = InPage(format, flavour.formatPage);
    return CharCode_Format(flavour.formatPage, flavour.wideFlag, CodePage_ShiftJis, CodePage_Utf16LE, destination,
                           units, pageFormat.data(), value);
}

TEST(FloatFormat, CasesInBothFlavoursAtEveryDestinationSize) {
    for (const Flavour& flavour : Flavours) {
        int unit = CharCode_GetUnitSize(flavour.formatPage);
        for (const FloatCase& c : FloatCases) {
            std::string expected = c.expected;
            int length = (int)expected.size();
            std::vector<uint8_t> expectedBytes = InPage(expected, flavour.formatPage);
            // Sizes 0 to 5 (a few units), both sides of an exact fit, and plenty of room.
            std::vector<int> sizes = {0, 1, 2, 3, 4, 5, length - 1, length, length + 1, length + 8};
            for (int size : sizes) {
                if (size < 0) continue;
                SCOPED_TRACE(std::string(flavour.name) + " " + c.format + " -> " + c.expected + " size " +
                             std::to_string(size));
                std::vector<uint8_t> destination((size_t)(size + 4) * unit, 0xCC);
                int result = FormatDouble(flavour, destination.data(), size, c.format, c.value);
                int written = size == 0 ? 0 : std::min(length, size - 1);
                ASSERT_EQ(result, written);
                EXPECT_EQ(0, std::memcmp(destination.data(), expectedBytes.data(), (size_t)written * unit));
                if (size > 0) {
                    for (int b = 0; b < unit; ++b) EXPECT_EQ(destination[written * unit + b], 0);
                }
                for (size_t b = (size_t)size * unit; b < destination.size(); ++b) ASSERT_EQ(destination[b], 0xCC);
            }
        }
    }
}

TEST(FloatFormat, LargestValueWithLongPrecisionFitsTheWorkArea) {
    // Every digit of the largest double and of the smallest subnormal, with a long tail.
    std::vector<char> text(8192);
    int length = CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, text.data(),
                                 (int)text.size(), "%.1100f", std::numeric_limits<double>::max());
    ASSERT_EQ(length, 309 + 1 + 1100);
    EXPECT_EQ(std::string(text.data(), 17), "17976931348623157");
    EXPECT_EQ(std::string(text.data() + 309, 3), ".00");
    length = CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, text.data(),
                             (int)text.size(), "%.1100f", 4.9406564584124654e-324);
    ASSERT_EQ(length, 2 + 1100);
    // 2^-1074 has 1074 fraction digits ending in ...265625, then zeros.
    EXPECT_EQ(std::string(text.data() + 2 + 1068, 10), "2656250000");
    EXPECT_EQ(std::string(text.data(), 12), "0.0000000000");
    // A precision beyond the stack area takes an allocated one.
    length = CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, text.data(),
                             (int)text.size(), "%.3000e", 1.0 / 3.0);
    ASSERT_EQ(length, 3000 + 2 + 5);
    EXPECT_EQ(std::string(text.data(), 20), "3.333333333333333148");
    EXPECT_EQ(std::string(text.data() + 3002, 5), "e-001");
}

TEST(FloatFormat, RoundTripsThroughSeventeenDigits) {
    // Exact digits make %.17g read back as the same double for values across the whole range.
    uint64_t state = 0x9E3779B97F4A7C15ull;
    char text[64];
    for (int i = 0; i < 20000; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        double value;
        std::memcpy(&value, &state, sizeof(value));
        if (!std::isfinite(value)) continue;
        CharCode_Format(CodePage_ShiftJis, 0, CodePage_ShiftJis, CodePage_Utf16LE, text, (int)sizeof(text),
                        "%.17g", value);
        double back = std::strtod(text, nullptr);
        if (value == 0.0) {
            ASSERT_EQ(back, 0.0) << text;
        } else {
            ASSERT_EQ(std::memcmp(&back, &value, sizeof(value)), 0) << text;
        }
    }
}

TEST(FloatFormat, StylesWriteTheTextAlone) {
    char text[2048];
    EXPECT_EQ(CharCode_Format_FloatFixed(2.5, 0, 0, text), 1);
    EXPECT_STREQ(text, "2");
    EXPECT_EQ(CharCode_Format_FloatExp(0.000123, 1, 0, 1, text), 7);
    EXPECT_STREQ(text, "1.E-004");
    CharCode_Format_FloatGeneral(1234567.0, 0, 0, 0, text);
    EXPECT_STREQ(text, "1e+006");
    CharCode_Format_FloatHex(3.0, 0, -1, 0, text);
    EXPECT_STREQ(text, "0x1.800000p+1");
    CharCode_Format_FloatSpecial(FloatClass_NaN, 'g', 1, 0, text);
    EXPECT_STREQ(text, "1.");
    CharCode_Format_FloatSpecial(FloatClass_PositiveInfinity, 'e', 0, 2, text);
    EXPECT_STREQ(text, "1.#Je+000");
}

TEST(FloatFormat, PutFloatIntoOtherPages) {
    // UTF-32 big-endian and UTF-8 destinations; the terminator is written in the page's own size.
    uint8_t out[64];
    std::memset(out, 0xCC, sizeof(out));
    int bytes = CharCode_Format_PutFloat(-1.25, 'f', 0, 0, 0, 0, 0, 7, 1, out, (int)sizeof(out), CodePage_Utf32BE);
    ASSERT_EQ(bytes, 28);
    const char* expected = "   -1.2";
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(out[i * 4 + 3], (uint8_t)expected[i]);
        EXPECT_EQ(out[i * 4], 0);
    }
    for (int b = 28; b < 32; ++b) EXPECT_EQ(out[b], 0);
    // Room for the terminator and one character less than a UTF-32 unit: nothing but the terminator.
    std::memset(out, 0xCC, sizeof(out));
    EXPECT_EQ(CharCode_Format_PutFloat(1.0, 'f', 0, 0, 0, 0, 0, -1, -1, out, 7, CodePage_Utf32LE), 0);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], 0xCC);
    std::memset(out, 0xCC, sizeof(out));
    EXPECT_EQ(CharCode_Format_PutFloat(1.0, 'f', 0, 0, 0, 0, 0, -1, -1, out, 3, CodePage_Utf32LE), 0);
    EXPECT_EQ(out[0], 0xCC);
}

} // namespace
