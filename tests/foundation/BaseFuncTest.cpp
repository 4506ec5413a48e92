// Tests of the base functions: wide arithmetic, byte blocks, the sine table, the random generator's
// seeding, the math wrappers and the current directory.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>

#include "foundation/VtBaseFunc.h"
#include "foundation/VtWinAPI.h"

using namespace Vantrel;

static const double Pi = 3.14159265358979323846;

TEST(BaseFunc, Mul64To128) {
  const struct {
    uint64_t a, b;
    uint32_t product[4];
  } cases[] = {
      {0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, {0x00000001, 0x00000000, 0xFFFFFFFE, 0xFFFFFFFF}},
      {0, 0x1234, {0, 0, 0, 0}},
      {0x100000000ull, 0x100000000ull, {0, 0, 1, 0}},
      {0xFFFFFFFFull, 0xFFFFFFFFull, {0x00000001, 0xFFFFFFFE, 0, 0}},
      {0x123456789ABCDEF0ull, 0x0FEDCBA987654321ull, {0xE5618CF0, 0x2236D88F, 0xAD77D742, 0x0121FA00}},
  };
  for (const auto &c : cases) {
    const uint32_t a[2] = {(uint32_t)c.a, (uint32_t)(c.a >> 32)};
    const uint32_t b[2] = {(uint32_t)c.b, (uint32_t)(c.b >> 32)};
    uint32_t product[4];
    BaseFunc_Mul64To128(a, b, product);
    for (int i = 0; i < 4; i++) EXPECT_EQ(c.product[i], product[i]) << std::hex << c.a << " x " << c.b << " word " << i;
  }
}

TEST(BaseFunc, Div128By64) {
  const struct {
    uint32_t dividend[4];
    uint64_t divisor;
    uint64_t quotient;
  } cases[] = {
      {{5, 0, 1, 0}, 2, 0x8000000000000002ull},           // 2^64 + 5 by 2
      {{0, 0, 1, 0}, 1, 0},                               // 2^64 by 1: the quotient modulo 2^64
      {{12345, 0, 0, 0x10}, 7, 0x2492492492492B75ull},    // 2^100 + 12,345 by 7
      {{7, 0, 0, 0}, 8, 0},                               // the divisor exceeds the dividend
      {{0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, 0xFFFFFFFFFFFFFFFFull, 1},
      {{0, 0, 0xFFFFFFFF, 0x7FFFFFFF}, 0xFFFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull},
  };
  for (const auto &c : cases) {
    const uint32_t divisor[2] = {(uint32_t)c.divisor, (uint32_t)(c.divisor >> 32)};
    uint32_t quotient[2];
    BaseFunc_Div128By64(c.dividend, divisor, quotient);
    EXPECT_EQ(c.quotient, (uint64_t)quotient[1] << 32 | quotient[0]) << std::hex << c.divisor;
  }
  // A product divided by one of its factors gives the other.
  const uint32_t ticks[2] = {0x89ABCDEF, 0x01234567}, nanoseconds[2] = {1000000000, 0}, frequency[2] = {10000000, 0};
  uint32_t product[4], quotient[2];
  BaseFunc_Mul64To128(ticks, nanoseconds, product);
  BaseFunc_Div128By64(product, ticks, quotient);
  EXPECT_EQ(1000000000u, quotient[0]);
  EXPECT_EQ(0u, quotient[1]);
  BaseFunc_Div128By64(product, frequency, quotient);
  EXPECT_EQ(0x0123456789ABCDEFull * 100, (uint64_t)quotient[1] << 32 | quotient[0]);
}

TEST(BaseFunc, MemCompareHasTheReversedSign) {
  const struct {
    const char *a, *b;
    uint32_t length;
    int32_t result;
  } cases[] = {
      {"abc", "abd", 3, 1}, {"abd", "abc", 3, -1}, {"abc", "abd", 2, 0}, {"abc", "xyz", 0, 0},
      {"\x80", "\x7F", 1, -1}, {"\x7F", "\x80", 1, 1}, {"same", "same", 4, 0},
  };
  for (const auto &c : cases) EXPECT_EQ(c.result, BaseFunc_MemCompare(c.a, c.b, c.length)) << c.a << " " << c.b;
}

TEST(BaseFunc, MemMoveCopyAndFill) {
  char block[16] = "0123456789";
  BaseFunc_MemMove(block + 1, block, 10);
  EXPECT_STREQ("00123456789", block);
  BaseFunc_MemMove(block, block + 1, 11);
  EXPECT_STREQ("0123456789", block);
  BaseFunc_MemMove(block, block, 10);
  EXPECT_STREQ("0123456789", block);
  char copy[16] = {};
  BaseFunc_MemCopy(copy, block, 11);
  EXPECT_STREQ("0123456789", copy);

  for (uint32_t length = 0; length <= 9; length++) {
    uint8_t bytes[12];
    memset(bytes, 0x11, sizeof bytes);
    BaseFunc_MemFill(bytes + 1, 0x1FF, length);
    EXPECT_EQ(0x11, bytes[0]);
    for (uint32_t i = 0; i < length; i++) EXPECT_EQ(0xFF, bytes[1 + i]) << length;
    EXPECT_EQ(0x11, bytes[1 + length]) << length;
  }
  int32_t words[5] = {};
  BaseFunc_FillInt32(words, -7, 4);
  EXPECT_EQ(-7, words[3]);
  EXPECT_EQ(0, words[4]);
}

TEST(BaseFunc, SineTable) {
  EXPECT_EQ(0.0f, SineTable[16384]); // zero before start-up
  EXPECT_EQ(0, BaseFunc_InitSineTable());
  EXPECT_EQ(0.0f, SineTable[0]);
  EXPECT_EQ(1.0f, SineTable[16384]);
  EXPECT_EQ((float)sin((double)3.14159274f), SineTable[32768]);
  EXPECT_NEAR(-8.742278e-8f, SineTable[32768], 1e-13f);
  EXPECT_EQ(-1.0f, SineTable[49152]);
  EXPECT_NEAR(0.70710678f, SineTable[8192], 1e-7f);
}

namespace {

// The 1998 reference generator (seeding by x -> 69069 x + 1, one block at a time).
struct ReferenceTwister {
  uint32_t mt[624];
  int mti = 625;
  void Seed(uint32_t seed) {
    for (int i = 0; i < 624; i++) {
      mt[i] = seed & 0xFFFF0000u;
      seed = 69069u * seed + 1;
      mt[i] |= (seed & 0xFFFF0000u) >> 16;
      seed = 69069u * seed + 1;
    }
    mti = 624;
  }
  uint32_t Next() {
    static const uint32_t mag01[2] = {0, 0x9908B0DFu};
    if (mti >= 624) {
      int kk;
      uint32_t y;
      for (kk = 0; kk < 624 - 397; kk++) {
        y = (mt[kk] & 0x80000000u) | (mt[kk + 1] & 0x7FFFFFFFu);
        mt[kk] = mt[kk + 397] ^ (y >> 1) ^ mag01[y & 1];
      }
      for (; kk < 623; kk++) {
        y = (mt[kk] & 0x80000000u) | (mt[kk + 1] & 0x7FFFFFFFu);
        mt[kk] = mt[kk + (397 - 624)] ^ (y >> 1) ^ mag01[y & 1];
      }
      y = (mt[623] & 0x80000000u) | (mt[0] & 0x7FFFFFFFu);
      mt[623] = mt[396] ^ (y >> 1) ^ mag01[y & 1];
      mti = 0;
    }
    uint32_t y = mt[mti++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
};

} // namespace

TEST(BaseFunc, RandomSeedMatchesTheReferenceGenerator) {
  for (uint32_t seed : {4357u, 0u, 0xFFFFFFFFu, 123456789u}) {
    ReferenceTwister reference;
    reference.Seed(seed);
    uint32_t outputs[624];
    for (int i = 0; i < 624; i++) outputs[i] = reference.Next();
    Random_Seed(seed);
    EXPECT_EQ(1, RandomState.Seeded);
    EXPECT_EQ(0, RandomState.Position);
    EXPECT_EQ(0, memcmp(reference.mt, RandomState.Words, sizeof reference.mt)) << seed;
    EXPECT_EQ(0, memcmp(outputs, RandomState.Output, sizeof outputs)) << seed;
    EXPECT_EQ(RandomState.Words[0], RandomState.FirstWordCopy);
  }
}

TEST(BaseFunc, MathWrappers) {
  float sine = -5, cosine = -5;
  BaseFunc_SinCos(0.0f, &sine, &cosine);
  EXPECT_EQ(0.0f, sine);
  EXPECT_EQ(1.0f, cosine);
  double sineD, cosineD;
  BaseFunc_SinCosD(Pi / 2, &sineD, &cosineD);
  EXPECT_EQ(1.0, sineD);
  EXPECT_EQ(-2, BaseFunc_DoubleToInt64(-2.7));
  EXPECT_EQ(5000000000ll, BaseFunc_DoubleToInt64(5000000000.9));
  const float floats[4] = {1.9f, -1.9f, 0.5f, -0.0f};
  int32_t ints[4];
  BaseFunc_Float4ToInt4(floats, ints);
  EXPECT_EQ(1, ints[0]);
  EXPECT_EQ(-1, ints[1]);
  EXPECT_EQ(0, ints[2]);
  EXPECT_EQ(3.0f, BaseFunc_Sqrt(9.0f));
  EXPECT_TRUE(isnan(BaseFunc_Sqrt(-1.0f)));
  EXPECT_EQ(8.0f, BaseFunc_Pow(2.0f, 3.0f));
  EXPECT_EQ(2.0, BaseFunc_Log10D(100.0));
  EXPECT_FLOAT_EQ((float)Pi, BaseFunc_Acos(-1.0f));
  EXPECT_DOUBLE_EQ(-Pi / 2, BaseFunc_Atan2D(-1.0, 0.0));
  EXPECT_FLOAT_EQ(1.0f, BaseFunc_Exp(0.0f));
  const struct {
    double value;
    int fpClass;
  } classes[] = {{NAN, FpClass_QuietNaN},        {INFINITY, FpClass_PositiveInfinity},
                 {-INFINITY, FpClass_NegativeInfinity}, {0.0, FpClass_PositiveZero},
                 {-0.0, FpClass_NegativeZero},   {1.5, FpClass_PositiveNormal},
                 {-1.5, FpClass_NegativeNormal}, {4.9e-324, FpClass_PositiveDenormal},
                 {-4.9e-324, FpClass_NegativeDenormal}};
  for (const auto &c : classes) EXPECT_EQ(c.fpClass, BaseFunc_FpClass(c.value)) << c.value;
}

TEST(BaseFunc, CurrentDirectory) {
  wchar_t before[1024];
  ASSERT_EQ(before, BaseFunc_GetCurrentDir(before, sizeof before));
  EXPECT_NE(L'\0', before[0]);
  EXPECT_EQ(-1, BaseFunc_SetCurrentDir(L"C:\\no such folder\\at all"));
  wchar_t after[1024];
  BaseFunc_GetCurrentDir(after, sizeof after);
  EXPECT_STREQ(before, after);

  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_EQ(0, BaseFunc_SetCurrentDir(windows));
  BaseFunc_GetCurrentDir(after, sizeof after);
  EXPECT_EQ(0, _wcsicmp(windows, after));
  // A destination too small gets a cut, terminated text.
  wchar_t small[4];
  BaseFunc_GetCurrentDir(small, sizeof small);
  EXPECT_EQ(3u, wcslen(small));
  // A path longer than the conversion buffer is refused rather than cut.
  std::wstring longPath = std::wstring(windows) + L"\\";
  while (longPath.size() < 1100) longPath += L"x\\";
  EXPECT_EQ(-1, BaseFunc_SetCurrentDir(longPath.c_str()));
  EXPECT_EQ(0, BaseFunc_SetCurrentDir(before));
}
