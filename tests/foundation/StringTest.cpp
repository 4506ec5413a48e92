// Tests of the code-page string functions and their current-page fronts.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "foundation/VtString.h"

using namespace Vantrel;

namespace {
std::u16string U16(const void *p) { return std::u16string(static_cast<const char16_t *>(p)); }
} // namespace

TEST(String, LengthAndUnknownPages) {
  EXPECT_EQ(3, CharCode_StringLength(932, "aあ")); // units, not characters
  EXPECT_EQ(3, CharCode_StringLength(1200, u"abc"));
  EXPECT_EQ(2, CharCode_StringLength(32766, U"ab"));
  EXPECT_EQ(0, CharCode_StringLength(1234, "abc"));
  char buffer[8] = "xyz";
  CharCode_CopyString(1234, buffer, "abc");
  CharCode_CopyStringBounded(1234, buffer, 8, "abc");
  CharCode_AppendString(1234, buffer, "abc");
  EXPECT_STREQ("xyz", buffer);
  EXPECT_EQ(0, CharCode_CompareString(1234, "a", "b"));
  EXPECT_EQ(nullptr, CharCode_FindChar(1234, "abc", 'a'));
  EXPECT_EQ(nullptr, CharCode_FindString(1234, "abc", "b"));
}

TEST(String, BoundedCopies) {
  char16_t wide[8];
  for (auto &unit : wide) unit = u'#';
  CharCode_CopyStringBounded(1200, wide, 6, u"ABC");
  EXPECT_EQ(u"AB", U16(wide));
  EXPECT_EQ(u'#', wide[3]);
  CharCode_CopyStringBounded(1200, wide, 4, u"ABC");
  EXPECT_EQ(u"A", U16(wide));
  // Sizes below one unit write nothing at all.
  char narrow[4] = "###";
  CharCode_CopyStringBounded(932, narrow, 0, "abc");
  EXPECT_STREQ("###", narrow);
  wide[0] = u'#';
  CharCode_CopyStringBounded(1200, wide, 1, u"abc");
  EXPECT_EQ(u'#', wide[0]);
  char32_t wider[2] = {U'#', 0};
  CharCode_CopyStringBounded(32766, wider, 3, U"abc");
  EXPECT_EQ(U'#', wider[0]);
  CharCode_CopyStringBounded(32766, wider, 8, U"abc");
  EXPECT_EQ(U'a', wider[0]);
  EXPECT_EQ(0u, (uint32_t)wider[1]);
  // A size that is no whole number of units is not overrun.
  for (auto &unit : wide) unit = u'#';
  CharCode_CopyStringBounded(1200, wide, 5, u"ABC");
  EXPECT_EQ(u"A", U16(wide));
  EXPECT_EQ(u'#', wide[2]);
  // A cut may fall inside a double-byte character.
  char sjis[3];
  CharCode_CopyStringBounded(932, sjis, 3, "aあ");
  EXPECT_EQ(2u, strlen(sjis));
  EXPECT_EQ((char)0x82, sjis[1]);
}

TEST(String, Appends) {
  char text[8] = "abc";
  CharCode_AppendStringBounded(932, text, 8, "defghij");
  EXPECT_STREQ("abcdefg", text);
  CharCode_AppendStringBounded(932, text, 8, "x"); // already fills size - 1 bytes
  EXPECT_STREQ("abcdefg", text);
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  CharCode_AppendStringBounded(932, unterminated, 4, "x"); // no terminator within the size: nothing
  EXPECT_EQ('d', unterminated[3]);
  char16_t wide[16] = u"ab";
  CharCode_AppendString(1200, wide, u"cd");
  EXPECT_EQ(u"abcd", U16(wide));
  CharCode_AppendStringBounded(1200, wide, 12, u"efgh");
  EXPECT_EQ(u"abcde", U16(wide));
}

TEST(String, CopyN) {
  char out[8];
  memset(out, '#', sizeof out);
  CharCode_CopyStringN(932, out, "ab", 5);
  EXPECT_EQ(0, memcmp(out, "ab\0\0\0###", 8));
  memset(out, '#', sizeof out);
  CharCode_CopyStringN(932, out, "ab", 2);
  EXPECT_EQ(0, memcmp(out, "ab######", 8));
  CharCode_CopyStringN(932, out, "zz", 0);
  EXPECT_EQ('a', out[0]);
  memset(out, '#', sizeof out);
  CharCode_CopyStringNBounded(932, out, 3, "abcdef", 10);
  EXPECT_EQ(0, memcmp(out, "abc#####", 8));
  char16_t wide[4] = {u'#', u'#', u'#', u'#'};
  CharCode_CopyStringNBounded(1200, wide, 6, u"a", 10);
  EXPECT_EQ(u'a', wide[0]);
  EXPECT_EQ(0, wide[1]);
  EXPECT_EQ(0, wide[2]);
  EXPECT_EQ(u'#', wide[3]);
}

TEST(String, Comparisons) {
  const struct {
    CodePageId page;
    const void *a, *b;
    int32_t result;
  } cases[] = {
      {932, "a", "ab", -1}, {932, "ab", "a", 1},   {932, "abc", "abc", 0}, {932, "\x82\xA0", "a", 1},
      {1200, u"\uFF21", u"A", 1}, {1200, u"A", u"\uFF21", -1}, {32766, U"\U0001F600", U"a", 1}, {1200, u"", u"", 0},
  };
  for (const auto &c : cases) EXPECT_EQ(c.result, CharCode_CompareString(c.page, c.a, c.b)) << c.page;
  EXPECT_EQ(0, CharCode_CompareStringN(932, "abcX", "abcY", 3));
  EXPECT_EQ(-1, CharCode_CompareStringN(932, "abcX", "abcY", 4));
  EXPECT_EQ(0, CharCode_CompareStringN(932, "a", "b", 0));
  EXPECT_EQ(0, CharCode_CompareStringN(932, "ab", "ab", 10));
  EXPECT_EQ(0, CharCode_CompareStringToBytes(1200, u"DATA", "DATA"));
  EXPECT_EQ(1, CharCode_CompareStringToBytes(1200, u"\u0141", "A"));
  EXPECT_EQ(-1, CharCode_CompareStringToBytes(32766, U"DAT", "DATA"));

  const struct {
    CodePageId page;
    const void *a, *b;
    int32_t result;
  } noCase[] = {
      {65001, u8"abc", u8"ABC", 0},   {65001, u8"\u00E9", u8"z", 1}, {65001, u8"z", u8"\u00E9", -1},
      {932, "Abc", "abD", -1},        {932, "\x82\xA0", "\x82\xA0", 0}, {932, "ab", "AB c", -1},
      {1200, u"HeLLo", u"hello", 0},  {1200, u"[", u"a", 1}, // letters compare as capitals: '[' (0x5B) after 'A' (0x41)
      {932, "\x82\x61", "\x82\x41", 1}, // double-byte characters keep their case
  };
  for (const auto &c : noCase) EXPECT_EQ(c.result, CharCode_CompareStringNoCase(c.page, c.a, c.b)) << c.page;
}

TEST(String, Searches) {
  const char *text = "abcabc";
  EXPECT_EQ(text + 2, CharCode_FindChar(932, text, 'c'));
  EXPECT_EQ(nullptr, CharCode_FindChar(932, text, 'z'));
  EXPECT_EQ(nullptr, CharCode_FindChar(932, text, 0));
  // A double-byte character is found whole; its trail byte is no match for a one-byte character.
  const char *sjis = "\x82\x61" "a";
  EXPECT_EQ(sjis + 2, CharCode_FindChar(932, sjis, 'a'));
  EXPECT_EQ(sjis, CharCode_FindChar(932, sjis, 0x8261));
  const char16_t *wide = u"x\U0001F600y";
  EXPECT_EQ(wide + 1, CharCode_FindChar(1200, wide, 0x1F600));
  EXPECT_EQ(wide + 3, CharCode_FindChar(1200, wide, 'y'));
  EXPECT_EQ(nullptr, CharCode_FindChar(65001, "a\xE3\x81", 'z')); // a cut character is stepped over safely

  EXPECT_EQ(text + 1, CharCode_FindString(932, text, "bc"));
  EXPECT_EQ(nullptr, CharCode_FindString(932, text, "cb a"));
  EXPECT_EQ(text, CharCode_FindString(932, text, ""));
  EXPECT_EQ(nullptr, CharCode_FindString(932, "", ""));
  const char16_t *haystack = u"one two two";
  EXPECT_EQ(haystack + 4, CharCode_FindString(1200, haystack, u"two"));
  EXPECT_EQ(haystack, CharCode_FindString(1200, haystack, u""));
  EXPECT_EQ(nullptr, CharCode_FindString(1200, u"", u""));
  EXPECT_EQ(nullptr, CharCode_FindString(1200, haystack, u"three"));
}

TEST(String, CaseChange) {
  char sjis[] = "aZ\x82\x61q";
  EXPECT_EQ(sjis, CharCode_ToUpper(932, sjis));
  EXPECT_STREQ("AZ\x82\x61Q", sjis);
  CharCode_ToLower(932, sjis);
  EXPECT_STREQ("az\x82\x61q", sjis);
  char16_t wide[] = u"MiXed 1";
  CharCode_ToLower(1200, wide);
  EXPECT_EQ(u"mixed 1", U16(wide));
  char utf8[] = "\xC3\xA9" "e\xE3\x81" ""; // a cut character ends the change without harm
  CharCode_ToUpper(65001, utf8);
  EXPECT_STREQ("\xC3\xA9" "E\xE3\x81", utf8);
}

TEST(String, Numbers) {
  const struct {
    const char *text;
    int value;
  } ints[] = {
      {" \t-12abc", -12}, {"99999999999", 2147483647}, {"-99999999999", (int)0x80000000}, {"+", 0},
      {"000000000000000000001", 1}, {"2147483647", 2147483647}, {"-2147483648", (int)0x80000000},
      {"2147483648", 2147483647}, {"\n\v\f\r 42", 42}, {"x1", 0}, {"", 0}, {"+7", 7},
  };
  for (const auto &c : ints) EXPECT_EQ(c.value, CharCode_StringToInt(932, c.text)) << c.text;
  EXPECT_EQ(0, CharCode_StringToInt(932, nullptr));
  EXPECT_EQ(-345, CharCode_StringToInt(1200, u"  -345"));
  EXPECT_EQ(0, CharCode_StringToInt(1200, u"\u3000" "5")); // an ideographic space is no blank

  EXPECT_EQ(1, CharCode_StringToInt64(932, "18446744073709551617")); // 2^64 + 1
  EXPECT_EQ(-9223372036854775807ll - 1, CharCode_StringToInt64(932, "-9223372036854775808"));
  EXPECT_EQ(-5, CharCode_StringToInt64(32766, U" -5"));
  EXPECT_EQ(-1, CharCode_StringToInt64(932, std::string(300, '7').c_str()));
  EXPECT_EQ(-1, CharCode_StringToInt64(932, std::string(256, '0').c_str()));
  EXPECT_EQ(0, CharCode_StringToInt64(932, std::string(255, '0').c_str()));
  EXPECT_EQ(2147483647, CharCode_StringToInt(932, std::string(300, '9').c_str()));

  char out[40];
  const struct {
    int value, base;
    const char *text;
  } writes[] = {{-255, 16, "-ff"}, {0, 10, "0"}, {(int)0x80000000, 10, "-2147483648"}, {35, 36, "z"},
                {5, 2, "101"}, {2147483647, 10, "2147483647"}};
  for (const auto &c : writes) {
    EXPECT_EQ(out, CharCode_IntToString(932, c.value, out, c.base));
    EXPECT_STREQ(c.text, out);
  }
  char32_t wide[16];
  CharCode_IntToString(32767, -12, wide, 10);
  EXPECT_EQ((char32_t)0x2D000000, wide[0]); // big-endian '-'
  EXPECT_EQ(0u, (uint32_t)wide[3]);
}

TEST(String, CurrentPageFronts) {
  char narrow[8];
  String_CopyBounded(narrow, sizeof narrow, "abcdefghij");
  EXPECT_STREQ("abcdefg", narrow);
  EXPECT_EQ(7, String_Length(narrow));
  String_CopyBounded(narrow, sizeof narrow, "ab");
  String_AppendBounded(narrow, sizeof narrow, "cd");
  EXPECT_STREQ("abcd", narrow);
  EXPECT_EQ(-1, String_Compare("a", "b"));

  wchar_t wide[32];
  String_CopyW(wide, L"Hello");
  String_AppendW(wide, L", ");
  String_AppendBoundedW(wide, 20, L"world");
  EXPECT_STREQ(L"Hello, wo", wide);
  EXPECT_EQ(wide + 2, String_FindCharW(wide, L'l'));
  EXPECT_EQ(wide + 7, String_FindW(wide, L"wo"));
  EXPECT_EQ(0, String_CompareNoCaseW(L"HELLO, WO", wide));
  EXPECT_EQ(1, String_CompareW(L"HELLO, WO", wide) * -1);
  EXPECT_STREQ(L"HELLO, WO", String_ToUpperW(wide));
  String_CopyBoundedW(wide, 6, L"abcdef");
  EXPECT_STREQ(L"ab", wide);
  wmemset(wide, L'#', 8);
  String_CopyNBoundedW(wide, 8, L"x", 3);
  EXPECT_EQ(L'x', wide[0]);
  EXPECT_EQ(L'\0', wide[2]);
  EXPECT_EQ(L'#', wide[3]);
  EXPECT_STREQ(L"-42", String_IntToStringW(-42, wide, 10));
}

TEST(String, FormattingFronts) {
  char narrow[16];
  EXPECT_EQ(9, String_Format(narrow, sizeof narrow, "%d-%s!", 42, "abcde"));
  EXPECT_STREQ("42-abcde!", narrow);
  EXPECT_EQ(3, String_Format(narrow, 4, "%s", "abcdef")); // cut, terminated
  EXPECT_STREQ("abc", narrow);
  wchar_t wide[32];
  EXPECT_EQ(8, String_FormatW(wide, 32, L"%s=%d", L"x", 123456));
  EXPECT_STREQ(L"x=123456", wide);
  EXPECT_EQ(5, String_FormatUnboundedW(wide, L"%S%x", "\x82\xA0", 0xabcd)); // %S: a narrow-page string
  EXPECT_STREQ(L"\u3042abcd", wide);
}
