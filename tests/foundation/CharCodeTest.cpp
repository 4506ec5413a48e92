// Tests of the code pages: reading and writing characters, the translation tables and string
// conversion between every page, checked against the system's own converter where it has one.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "foundation/VtCharCode.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes BytesOf(const void *data, size_t size) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  return Bytes(p, p + size);
}
Bytes Narrow(const char *text) { return BytesOf(text, strlen(text)); }
Bytes Wide(const char16_t *text) { return BytesOf(text, std::char_traits<char16_t>::length(text) * 2); }
Bytes Utf8(const char8_t *text) { return BytesOf(text, std::char_traits<char8_t>::length(text)); }
Bytes Utf32(const char32_t *text) { return BytesOf(text, std::char_traits<char32_t>::length(text) * 4); }
Bytes Swapped(const Bytes &bytes, int unit) {
  Bytes out(bytes);
  for (size_t i = 0; i + unit <= out.size(); i += unit)
    for (int j = 0; j < unit / 2; j++) std::swap(out[i + j], out[i + unit - 1 - j]);
  return out;
}
Bytes Terminated(Bytes bytes, int unit) {
  bytes.insert(bytes.end(), unit, 0);
  return bytes;
}

// Converts a whole string into a large buffer; returns the text without its terminator.
Bytes Convert(const Bytes &text, CodePageId from, CodePageId to, int32_t *result = nullptr) {
  const Bytes source = Terminated(text, CharCode_GetUnitSize(from));
  std::vector<uint8_t> buffer(text.size() * 8 + 16, 0xCC);
  const int32_t written = CharCode_ConvertString(source.data(), -1, from, buffer.data(), (int32_t)buffer.size(), to);
  if (result != nullptr) *result = written;
  const int32_t unit = CharCode_GetUnitSize(to);
  if (written < unit) return Bytes();
  return Bytes(buffer.begin(), buffer.begin() + (written - unit));
}

// Bytes placed at the very end of a readable page followed by an inaccessible one: reading one byte
// too far faults.
class GuardedBytes {
public:
  explicit GuardedBytes(const Bytes &bytes) {
    base_ = static_cast<uint8_t *>(VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + 4096, 4096, PAGE_NOACCESS, &old);
    data_ = base_ + 4096 - bytes.size();
    memcpy(data_, bytes.data(), bytes.size());
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  const uint8_t *Data() const { return data_; }

private:
  uint8_t *base_;
  uint8_t *data_;
};

bool IsShiftJisLead(int byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// The system's reading of one Shift_JIS character, 0 when it refuses it.
uint16_t SystemShiftJis(uint32_t code) {
  char bytes[3] = {0, 0, 0};
  if (code < 256) {
    bytes[0] = (char)code;
  } else {
    bytes[0] = (char)(code >> 8);
    bytes[1] = (char)code;
  }
  WCHAR out[8];
  if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, -1, out, 8) == 0) return 0;
  return out[0];
}

} // namespace

TEST(CharCode, UnitSizes) {
  const struct {
    CodePageId page;
    int32_t unit;
  } cases[] = {{932, 1}, {936, 1}, {949, 1}, {950, 1}, {1252, 1}, {1200, 2}, {1201, 2}, {32764, 1}, {32765, 1},
               {32766, 4}, {32767, 4}, {65001, 1}, {0, -1}, {437, -1}, {1250, -1}};
  for (const auto &c : cases) EXPECT_EQ(c.unit, CharCode_GetUnitSize(c.page)) << c.page;
}

TEST(CharCode, ReadChar) {
  const struct {
    CodePageId page;
    Bytes bytes;
    uint32_t code;
    int32_t length;
    int32_t units;
  } cases[] = {
      {932, {0x41, 0}, 0x41, 1, 1},
      {932, {0x82, 0xA0, 0}, 0x82A0, 2, 2},
      {932, {0xB1, 0}, 0xB1, 1, 1},
      {932, {0}, 0, 1, 0},
      {936, {0xD6, 0xD0, 0}, 0xD6D0, 2, 2},
      {949, {0x80, 0x41, 0}, 0x8041, 2, 2},
      {1252, {0x80, 0}, 0x80, 1, 1},
      {1200, {0x42, 0x30, 0, 0}, 0x3042, 2, 1},
      {1200, {0x3D, 0xD8, 0x00, 0xDE, 0, 0}, 0x1F600, 4, 2},
      {1200, {0x00, 0xDC, 0, 0}, 0xDC00, 2, 1}, // a lone low surrogate is one character
      {1201, {0x30, 0x42, 0, 0}, 0x3042, 2, 1},
      {1201, {0xD8, 0x3D, 0xDE, 0x00, 0, 0}, 0x1F600, 4, 2},
      {1200, {0, 0}, 0, 2, 0},
      {32766, {0x00, 0xF6, 0x01, 0x00, 0, 0, 0, 0}, 0x1F600, 4, 1},
      {32767, {0x00, 0x01, 0xF6, 0x00, 0, 0, 0, 0}, 0x1F600, 4, 1},
      {32766, {0, 0, 0, 0}, 0, 4, 0},
      {65001, {0xE3, 0x81, 0x82, 0}, 0x3042, 3, 3},
      {65001, {0xF0, 0x9F, 0x98, 0x80, 0}, 0x1F600, 4, 4},
      {65001, {0xF8, 0x88, 0x80, 0x80, 0x80, 0}, 0x200000, 5, 5},
      {65001, {0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0}, 0x7FFFFFFF, 6, 6},
      {65001, {0xC3, 0x29, 0}, 0xE9, 2, 2}, // follow-up bits are not checked
      {65001, {0x80, 0x41, 0}, 0, 0, 0},    // invalid leads
      {65001, {0xFE, 0x41, 0}, 0, 0, 0},
      {65001, {0xFF, 0x41, 0}, 0, 0, 0},
      {32765, {0xE9, 0}, 0xE9, 1, 1},
      {1234, {0x41, 0}, 0, 0, 0}, // unknown page
  };
  for (const auto &c : cases) {
    int32_t length = -5, units = 0;
    EXPECT_EQ(c.code, CharCode_ReadChar(c.bytes.data(), c.page, &length, &units)) << c.page << " " << (int)c.bytes[0];
    EXPECT_EQ(c.length, length) << c.page << " " << (int)c.bytes[0];
    EXPECT_EQ(c.units, units) << c.page << " " << (int)c.bytes[0];
  }
  EXPECT_EQ(-1, CharCode_GetCharByteCount("\x80", 65001));
  EXPECT_EQ(-1, CharCode_GetCharByteCount("A", 1234));
  EXPECT_EQ(6, CharCode_GetCharByteCount("\xFC", 65001));
  EXPECT_EQ(2, CharCode_GetCharByteCount("\x82\xA0", 932));
}

// A multi-unit character cut short by the terminator ends the text; nothing past the terminator is read.
TEST(CharCode, LeadRightBeforeTheTerminatorIsNotReadPast) {
  const struct {
    CodePageId page;
    Bytes bytes;
    int32_t characters; // before the cut character
  } cases[] = {
      {932, {0x41, 0x82, 0}, 1},
      {936, {0x41, 0xD6, 0}, 1},
      {1200, {0x41, 0, 0x3D, 0xD8, 0, 0}, 1},
      {1201, {0, 0x41, 0xD8, 0x3D, 0, 0}, 1},
      {65001, {0x41, 0xE3, 0x81, 0}, 1},
      {65001, {0xFC, 0}, 0},
  };
  for (const auto &c : cases) {
    GuardedBytes text(c.bytes);
    EXPECT_EQ(c.characters, CharCode_CountChars(text.Data(), c.page)) << c.page;
    for (CodePageId to : {1200, 65001, 32766, 932, 1252}) {
      if (to == c.page) continue;
      uint8_t out[32];
      const int32_t unit = CharCode_GetUnitSize(to);
      const int32_t written = CharCode_ConvertString(text.Data(), -1, c.page, out, sizeof out, to);
      EXPECT_EQ(unit * (c.characters + 1), written) << c.page << " to " << to;
      EXPECT_EQ(unit * (c.characters + 1),
                CharCode_ConvertString(text.Data(), -1, c.page, nullptr, 0x7FFFFFFF, to)) << c.page << " to " << to;
    }
  }
  // The same with a length that ends inside a character (no terminator within reach).
  GuardedBytes sjis(Bytes{0x41, 0x82});
  char16_t out[8];
  EXPECT_EQ(4, CharCode_ConvertString(sjis.Data(), 2, 932, out, sizeof out, 1200));
  EXPECT_EQ(u'A', out[0]);
  EXPECT_EQ(2, CharCode_ConvertString(sjis.Data(), 2, 932, out, sizeof out, 936));
  GuardedBytes utf8(Bytes{0x41, 0xE3, 0x81});
  EXPECT_EQ(4, CharCode_ConvertString(utf8.Data(), 3, 65001, out, sizeof out, 1200));
  EXPECT_EQ(2, CharCode_ConvertString(utf8.Data(), 3, 65001, out, sizeof out, 1252));
}

TEST(CharCode, WriteChar) {
  const struct {
    uint32_t code;
    CodePageId page;
    int32_t room;
    Bytes bytes; // empty: cannot be written
  } cases[] = {
      {0x41, 1200, 1, {}}, // the room is tested while measuring too
      {0x41, 1200, 2, {0x41, 0}},
      {0xD800, 1200, 2, {0x00, 0xD8}},
      {0x110000, 1200, 8, {}},
      {0x1F600, 1200, 4, {0x3D, 0xD8, 0x00, 0xDE}},
      {0x1F600, 1200, 3, {}},
      {0x1F600, 1201, 4, {0xD8, 0x3D, 0xDE, 0x00}},
      {0x82A0, 932, 2, {0x82, 0xA0}},
      {0x82A0, 932, 1, {}},
      {0xB1, 932, 1, {0xB1}},
      {0x1E9, 1252, 1, {0xE9}},
      {0x12345678, 32766, 4, {0x78, 0x56, 0x34, 0x12}},
      {0x12345678, 32767, 4, {0x12, 0x34, 0x56, 0x78}},
      {0x7F, 65001, 1, {0x7F}},
      {0x7FF, 65001, 2, {0xDF, 0xBF}},
      {0xFFFF, 65001, 3, {0xEF, 0xBF, 0xBF}},
      {0x1FFFFF, 65001, 4, {0xF7, 0xBF, 0xBF, 0xBF}},
      {0x200000, 65001, 5, {0xF8, 0x88, 0x80, 0x80, 0x80}},
      {0x4000000, 65001, 6, {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}},
      {0x4000000, 65001, 5, {}},
      {0x7FFFFFFF, 65001, 6, {0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}},
      {0x80000000, 65001, 8, {}},
      {0x41, 1234, 8, {}},
  };
  for (const auto &c : cases) {
    uint8_t out[8] = {};
    EXPECT_EQ((int32_t)c.bytes.size(), CharCode_EncodeChar(c.code, c.page, nullptr, c.room)) << std::hex << c.code;
    const int32_t written = CharCode_EncodeChar(c.code, c.page, out, c.room);
    EXPECT_EQ(c.bytes, Bytes(out, out + written)) << std::hex << c.code;
  }
}

TEST(CharCode, ShiftJisTablesAgreeWithTheSystem) {
  Bytes all;
  std::u16string expected;
  for (uint32_t code = 1; code <= 0xFFFF; code++) {
    if (code >= 256 && !IsShiftJisLead(code >> 8)) {
      code |= 0xFF;
      continue;
    }
    if (code < 256 && IsShiftJisLead(code)) continue;
    const uint16_t system = SystemShiftJis(code);
    EXPECT_EQ(system, CharCode_ConvertChar(code, 932, 1200)) << std::hex << code;
    if (system == 0) continue;
    if (code >= 256) all.push_back((uint8_t)(code >> 8));
    all.push_back((uint8_t)code);
    expected.push_back(system);
  }
  ASSERT_GT(expected.size(), 7000u);
  EXPECT_EQ(Wide(expected.c_str()), Convert(all, 932, 1200));
  // And back: every character whose code is the one the reverse table keeps.
  Bytes back = Convert(Wide(expected.c_str()), 1200, 932);
  EXPECT_EQ(Wide(expected.c_str()), Convert(back, 932, 1200));
}

TEST(CharCode, RoundTripsBetweenUnicodePagesAndShiftJis) {
  const char16_t *text = u"Aあいうカナ漢字ｶﾅ、。～１２３ xyz";
  const Bytes utf16 = Wide(text);
  const Bytes sjis = Narrow("Aあいうカナ漢字ｶﾅ、。～１２３ xyz"); // narrow literals are Shift_JIS
  EXPECT_EQ(sjis, Convert(utf16, 1200, 932));
  EXPECT_EQ(utf16, Convert(sjis, 932, 1200));
  const Bytes utf8 = Utf8(u8"Aあいうカナ漢字ｶﾅ、。～１２３ xyz");
  const Bytes utf32 = Utf32(U"Aあいうカナ漢字ｶﾅ、。～１２３ xyz");
  const struct {
    CodePageId page;
    Bytes text;
  } pages[] = {{932, sjis}, {1200, utf16}, {1201, Swapped(utf16, 2)}, {65001, utf8}, {32766, utf32},
               {32767, Swapped(utf32, 4)}};
  for (const auto &from : pages)
    for (const auto &to : pages) EXPECT_EQ(to.text, Convert(from.text, from.page, to.page)) << from.page << " to " << to.page;

  // Beyond the Basic Multilingual Plane: everything but Shift_JIS carries it.
  // (Texts outside Shift_JIS stay out of the test macros, which quote their arguments as narrow text.)
  const Bytes emoji16 = Wide(u"a😀b");
  const Bytes emoji8 = Utf8(u8"a😀b");
  const Bytes emoji32 = Utf32(U"a😀b");
  EXPECT_EQ(emoji8, Convert(emoji16, 1200, 65001));
  EXPECT_EQ(emoji32, Convert(emoji8, 65001, 32766));
  EXPECT_EQ(emoji16, Convert(emoji32, 32766, 1200));
  EXPECT_EQ(Narrow("ab"), Convert(emoji16, 1200, 932));
}

TEST(CharCode, LongUtf8FormsAndSurrogates) {
  // Five- and six-byte forms travel between UTF-8 and UTF-32; UTF-16 cannot hold them.
  const char32_t big[] = {0x41, 0x200000, 0x4000000, 0x7FFFFFFF, 0x42, 0};
  const Bytes utf8 = {0x41, 0xF8, 0x88, 0x80, 0x80, 0x80, 0xFC, 0x84, 0x80, 0x80, 0x80, 0x80,
                      0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0x42};
  EXPECT_EQ(utf8, Convert(Utf32(big), 32766, 65001));
  EXPECT_EQ(Utf32(big), Convert(utf8, 65001, 32766));
  EXPECT_EQ(Wide(u"AB"), Convert(utf8, 65001, 1200));
  // Bit 31 cannot be written in UTF-8 but is kept by UTF-32.
  const char32_t huge[] = {0x80000001, 0x43, 0};
  EXPECT_EQ(Bytes{0x43}, Convert(Utf32(huge), 32766, 65001));
  EXPECT_EQ(Swapped(Utf32(huge), 4), Convert(Utf32(huge), 32766, 32767));
  // Lone surrogates are characters of their own.
  const char16_t lone[] = {0x41, 0xDC00, 0x42, 0};
  EXPECT_EQ((Bytes{0x41, 0xED, 0xB0, 0x80, 0x42}), Convert(Wide(lone), 1200, 65001));
  EXPECT_EQ(Wide(lone), Convert(Bytes{0x41, 0xED, 0xB0, 0x80, 0x42}, 65001, 1200));
  // An invalid UTF-8 lead ends the text in every path.
  const Bytes broken = {0x41, 0x80, 0x42};
  EXPECT_EQ(Wide(u"A"), Convert(broken, 65001, 1200));
  EXPECT_EQ(Narrow("A"), Convert(broken, 65001, 1252));
  EXPECT_EQ(1, CharCode_CountChars("A\x80" "B", 65001));
}

TEST(CharCode, UnmappedShiftJisIsDropped) {
  // A double-byte code the system does not map, between two mapped characters.
  uint32_t unmapped = 0;
  for (uint32_t code = 0x8140; code <= 0x9FFC && unmapped == 0; code++)
    if ((code & 0xFF) >= 0x40 && (code & 0xFF) != 0x7F && SystemShiftJis(code) == 0) unmapped = code;
  ASSERT_NE(0u, unmapped);
  const Bytes text = {0x41, (uint8_t)(unmapped >> 8), (uint8_t)unmapped, 0x42};
  int32_t result;
  EXPECT_EQ(Wide(u"AB"), Convert(text, 932, 1200, &result));
  EXPECT_EQ(6, result);
  EXPECT_EQ(Utf8(u8"AB"), Convert(text, 932, 65001));
  EXPECT_EQ(Utf32(U"AB"), Convert(text, 932, 32766));
  EXPECT_EQ(Narrow("AB"), Convert(text, 932, 32765));
  EXPECT_EQ(Narrow("AB"), Convert(text, 932, 1252)); // general path
  EXPECT_EQ(4, CharCode_ConvertString(Terminated(text, 1).data(), -1, 932, nullptr, 0x7FFFFFFF, 1201) - 2);
  // Unicode characters without a Shift_JIS code are dropped too.
  const Bytes withAcute = Wide(u"A\u00E9B");
  EXPECT_EQ(Narrow("AB"), Convert(withAcute, 1200, 932));
}

TEST(CharCode, DestinationSizes) {
  char16_t out[8];
  // Fast path: exact fit, one short (the character that does not fit is skipped).
  EXPECT_EQ(6, CharCode_ConvertString("AB", -1, 932, out, 6, 1200));
  EXPECT_EQ(std::u16string(u"AB"), std::u16string(out));
  EXPECT_EQ(4, CharCode_ConvertString("AB", -1, 932, out, 5, 1200));
  EXPECT_EQ(std::u16string(u"A"), std::u16string(out));
  EXPECT_EQ(2, CharCode_ConvertString("AB", -1, 932, out, 2, 1200));
  EXPECT_EQ(u'\0', out[0]);
  EXPECT_EQ(0, CharCode_ConvertString("AB", -1, 932, out, 1, 1200));
  // Into Shift_JIS with two bytes of room: the double-byte character is skipped, the next one written.
  char sjis[8];
  EXPECT_EQ(2, CharCode_ConvertString(u"あA", -1, 1200, sjis, 2, 932));
  EXPECT_STREQ("A", sjis);
  EXPECT_EQ(3, CharCode_ConvertString(u"あA", -1, 1200, sjis, 3, 932));
  EXPECT_STREQ("あ", sjis);
  EXPECT_EQ(4, CharCode_ConvertString(u"あA", -1, 1200, sjis, 4, 932));
  EXPECT_STREQ("あA", sjis);
  // The general path stops at the first character that does not fit.
  const char gbk[] = {(char)0xD6, (char)0xD0, 'A', 0}; // 中A in code page 936
  char utf8[8];
  EXPECT_EQ(1, CharCode_ConvertString(gbk, -1, 936, utf8, 3, 65001));
  EXPECT_STREQ("", utf8);
  EXPECT_EQ(4, CharCode_ConvertString(gbk, -1, 936, utf8, 4, 65001));
  EXPECT_EQ(Utf8(u8"中"), Narrow(utf8));
  EXPECT_EQ(5, CharCode_ConvertString(gbk, -1, 936, utf8, 8, 65001));
  EXPECT_EQ(Utf8(u8"中A"), Narrow(utf8));
  // Same page: a unit-by-unit copy, cut at the size.
  EXPECT_EQ(4, CharCode_ConvertString(u"xyz", -1, 1200, out, 5, 1200));
  EXPECT_EQ(std::u16string(u"x"), std::u16string(out));
  EXPECT_EQ(8, CharCode_ConvertString(u"xyz", -1, 1200, nullptr, 0, 1200));
  EXPECT_EQ(6, CharCode_ConvertString(u"xyz", 2, 1200, out, 16, 1200));
  EXPECT_EQ(0, CharCode_ConvertString(u"xyz", -1, 1200, out, 1, 1200));
  // Lengths count source units.
  EXPECT_EQ(3, CharCode_ConvertString(u"xyz", 2, 1200, out, 16, 932));
  EXPECT_EQ(6, CharCode_ConvertString("\x82\xA0\x82\xA2", 2, 932, out, 16, 1200) + 2);
}

TEST(CharCode, EmptyAndUnknownPages) {
  uint8_t out[8];
  for (CodePageId page : {932, 936, 1252, 1200, 1201, 32764, 32765, 32766, 32767, 65001}) {
    for (CodePageId to : {932, 949, 1200, 32766, 65001, 32765}) {
      const uint8_t empty[4] = {0, 0, 0, 0};
      EXPECT_EQ(CharCode_GetUnitSize(to), CharCode_ConvertString(empty, -1, page, out, sizeof out, to)) << page << " " << to;
    }
  }
  EXPECT_EQ(-1, CharCode_ConvertString("A", -1, 1234, out, sizeof out, 1234));
  EXPECT_EQ(0, CharCode_ConvertString("A", -1, 932, out, sizeof out, 1234));
  EXPECT_EQ(2, CharCode_ConvertString("A", -1, 1234, out, sizeof out, 1200));
  EXPECT_EQ(0u, CharCode_MapChar(0x41, 1234, 1200));
}

TEST(CharCode, SingleBytePages) {
  EXPECT_EQ(0xB1u, CharCode_ConvertChar(0xB1, 932, 32765));
  EXPECT_EQ(1, CharCode_ConvertString("\xB1", -1, 932, nullptr, 0x7FFFFFFF, 32765)); // U+FF71 is above 0xFF
  EXPECT_EQ(0xE9u, CharCode_ConvertChar(0xE9, 32765, 932));
  EXPECT_EQ(0xA4u, CharCode_ConvertChar(0xA4, 1200, 32764)); // the old reverse entry stays
  EXPECT_EQ(0x20ACu, CharCode_ConvertChar(0xA4, 32764, 1200));
  EXPECT_EQ(0xA4u, CharCode_ConvertChar(0x20AC, 1200, 32764));
  EXPECT_EQ(0x80u, CharCode_ConvertChar(0x20AC, 1200, 1252));
  EXPECT_EQ(0x20ACu, CharCode_ConvertChar(0x80, 32764, 1200)); // 0x80-0x9F keep their 1252 characters
  const Bytes western = {'c', 'a', 'f', 0xE9, ' ', 0x80, ' ', 0x8A};
  const Bytes wide = Wide(u"café € Š");
  EXPECT_EQ(wide, Convert(western, 1252, 1200));
  EXPECT_EQ(western, Convert(wide, 1200, 1252));
  const Bytes westernUtf8 = Utf8(u8"café € Š");
  const Bytes latin9Letters = Wide(u"€Šš");
  const Bytes eAcute = Wide(u"é");
  EXPECT_EQ(westernUtf8, Convert(western, 1252, 65001));
  EXPECT_EQ(latin9Letters, Convert(Bytes{0xA4, 0xA6, 0xA8}, 32764, 1200));
  EXPECT_EQ((Bytes{0xA4, 0xA6, 0xA8}), Convert(latin9Letters, 1200, 32764));
  EXPECT_EQ(Narrow("\xE9"), Convert(eAcute, 1200, 32765));
  EXPECT_EQ(eAcute, Convert(Bytes{0xE9}, 32765, 1200));
  EXPECT_EQ(Wide(u"ｱ"), Convert(Narrow("\xB1"), 932, 1200));
  // Between table pages through Unicode.
  EXPECT_EQ(Narrow("A"), Convert(Narrow("A\x82\xA0"), 932, 1252));
}

TEST(CharCode, WalkingStrings) {
  const char *text = "Aあ\xB1z"; // 1 + 2 + 1 + 1 bytes
  EXPECT_EQ(4, CharCode_CountChars(text, 932));
  EXPECT_EQ(text + 1, CharCode_GetCharPointer(text, 932, 1));
  EXPECT_EQ(text + 3, CharCode_GetCharPointer(text, 932, 2));
  EXPECT_EQ(text + 5, CharCode_GetCharPointer(text, 932, 4));
  EXPECT_EQ(nullptr, CharCode_GetCharPointer(text, 932, 5));
  uint32_t codes[8];
  EXPECT_EQ(20, CharCode_DecodeString(text, 932, nullptr));
  EXPECT_EQ(20, CharCode_DecodeString(text, 932, codes));
  const uint32_t expected[] = {0x41, 0x82A0, 0xB1, 0x7A, 0};
  for (int i = 0; i < 5; i++) EXPECT_EQ(expected[i], codes[i]);
  const char16_t *emoji = u"a😀";
  EXPECT_EQ(2, CharCode_CountChars(emoji, 1200));
}

TEST(CharCode, CurrentPagesFollowTheOemPage) {
  static UINT fakeOem;
  struct Fake {
    static UINT WINAPI GetOEMCP() { return fakeOem; }
  };
  WinAPI_EnsureLoaded();
  const CharCodeDefaultsRecord saved = CharCodeDefaults;
  const auto savedEntry = WinAPITable.GetOEMCP;
  WinAPITable.GetOEMCP = Fake::GetOEMCP;
  const struct {
    UINT oem;
    CodePageId narrow;
    CharSetId charSet;
  } cases[] = {{437, 932, 1}, {932, 932, 1}, {949, 949, 2}, {936, 936, 4}, {950, 950, 3}, {1252, 1252, 5}, {32764, 32764, 6}};
  for (const auto &c : cases) {
    CharCodeDefaults = CharCodeDefaultsRecord{};
    EXPECT_EQ(0, CharCode_GetDefaultCharSet());
    fakeOem = c.oem;
    CharCode_EnsureDefaults();
    EXPECT_EQ(c.narrow, CharCodeDefaults.NarrowPage) << c.oem;
    EXPECT_EQ(c.charSet, CharCode_GetDefaultCharSet()) << c.oem;
    EXPECT_EQ(1200, CharCodeDefaults.WidePage) << c.oem;
    fakeOem = 949; // a second call changes nothing
    CharCode_EnsureDefaults();
    EXPECT_EQ(c.narrow, CharCode_GetNarrowPage());
  }
  WinAPITable.GetOEMCP = savedEntry;
  CharCodeDefaults = saved;
  EXPECT_EQ(932, CharSetCodePageTable[CharSet_Default]);
  EXPECT_EQ(65001, CharSetCodePageTable[CharSet_Utf8]);
}

TEST(CharCode, OtherTablePagesAgreeWithTheSystem) {
  for (CodePageId page : {936, 949, 950}) {
    int mapped = 0;
    for (uint32_t code = 1; code <= 0xFFFF; code++) {
      char bytes[3] = {0, 0, 0};
      if (code < 256) {
        bytes[0] = (char)code;
      } else {
        if ((code & 0xFF) == 0) continue;
        bytes[0] = (char)(code >> 8);
        bytes[1] = (char)code;
      }
      WCHAR out[8] = {};
      const int result = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, -1, out, 8);
      const bool accepted = code < 256 ? result != 0 : result == 2;
      const uint32_t expected = accepted ? out[0] : 0;
      ASSERT_EQ(expected, CharCode_ConvertChar(code, page, 1200)) << page << " " << std::hex << code;
      if (code >= 256 && accepted) {
        mapped++;
        // Back to the page: this code, or a higher one of the same character.
        EXPECT_LE(code, CharCode_ConvertChar(expected, 1200, page)) << page << " " << std::hex << code;
      }
    }
    EXPECT_GT(mapped, 10000) << page;
  }
  for (uint32_t code = 1; code < 256; code++) {
    const char bytes[2] = {(char)code, 0};
    WCHAR out[4] = {};
    const uint32_t expected = MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, bytes, -1, out, 4) != 0 ? out[0] : 0;
    EXPECT_EQ(expected, CharCode_ConvertChar(code, 1252, 1200)) << std::hex << code;
  }
}
