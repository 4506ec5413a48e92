// VtBaseFunc: math wrappers, 128-bit arithmetic, byte-block functions, the sine table and the
// seeding of the MT19937 generator. Stands on the C math library, and for the current directory on
// VtCharCode and the text-API wrappers.
#include "foundation/VtBaseFunc.h"

#include <math.h>
#include <string.h>

#include "foundation/VtCharCode.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"

namespace Vantrel {

float SineTable[SineTableSize];
RandomStateRecord RandomState;

// ---- Math ---------------------------------------------------------------------------------------------

float BaseFunc_Acos(float x) { return (float)acos((double)x); }
double BaseFunc_Atan2D(double y, double x) { return atan2(y, x); }
float BaseFunc_Exp(float x) { return (float)exp((double)x); }
float BaseFunc_Pow(float x, float y) { return (float)pow((double)x, (double)y); }
float BaseFunc_Sqrt(float x) { return (float)sqrt((double)x); }
double BaseFunc_SqrtD(double x) { return sqrt(x); }
double BaseFunc_Log10D(double x) { return log10(x); }

void BaseFunc_SinCos(float angle, float *sine, float *cosine) {
  *sine = (float)sin((double)angle);
  *cosine = (float)cos((double)angle);
}

void BaseFunc_SinCosD(double angle, double *sine, double *cosine) {
  *sine = sin(angle);
  *cosine = cos(angle);
}

int64_t BaseFunc_DoubleToInt64(double x) { return (int64_t)x; }

void BaseFunc_Float4ToInt4(const float *source, int32_t *destination) {
  for (int i = 0; i < 4; i++) destination[i] = (int32_t)source[i];
}

int BaseFunc_FpClass(double x) {
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const uint32_t exponent = (uint32_t)(bits >> 52) & 0x7FF;
  const uint64_t mantissa = bits & 0xFFFFFFFFFFFFFull;
  if (exponent == 0x7FF) {
    if (mantissa == 0) return negative ? FpClass_NegativeInfinity : FpClass_PositiveInfinity;
    return (mantissa >> 51) != 0 ? FpClass_QuietNaN : FpClass_SignalingNaN;
  }
  if (exponent == 0) {
    if (mantissa == 0) return negative ? FpClass_NegativeZero : FpClass_PositiveZero;
    return negative ? FpClass_NegativeDenormal : FpClass_PositiveDenormal;
  }
  return negative ? FpClass_NegativeNormal : FpClass_PositiveNormal;
}

// ---- Wide arithmetic ------------------------------------------------------------------------------------

void BaseFunc_Mul64To128(const uint32_t *a, const uint32_t *b, uint32_t *product) {
  const uint64_t lowLow = (uint64_t)a[0] * b[0];
  const uint64_t lowHigh = (uint64_t)a[0] * b[1];
  const uint64_t highLow = (uint64_t)a[1] * b[0];
  const uint64_t highHigh = (uint64_t)a[1] * b[1];
  // Middle column: the high half of lowLow plus the low halves of the cross products.
  const uint64_t middle = (lowLow >> 32) + (uint32_t)lowHigh + (uint32_t)highLow;
  const uint64_t upper = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
  product[0] = (uint32_t)lowLow;
  product[1] = (uint32_t)middle;
  product[2] = (uint32_t)upper;
  product[3] = (uint32_t)(upper >> 32);
}

void BaseFunc_Div128By64(const uint32_t *dividend, const uint32_t *divisor, uint32_t *quotient) {
  const uint64_t divide = (uint64_t)divisor[1] << 32 | divisor[0];
  if (divide == 0) {
    // Outside the contract: answer the largest quotient rather than looping.
    quotient[0] = quotient[1] = 0xFFFFFFFF;
    return;
  }
  uint64_t high = (uint64_t)dividend[3] << 32 | dividend[2];
  const uint64_t low = (uint64_t)dividend[1] << 32 | dividend[0];
  // Long division one bit at a time; the remainder stays below the divisor, so a 64-bit word and the
  // bit shifted out of it hold it. Only the low 64 quotient bits are kept (the quotient modulo 2^64),
  // and bits of the high word's own quotient fall beyond them, so start from high modulo the divisor.
  uint64_t remainder = high % divide;
  uint64_t result = 0;
  for (int bit = 63; bit >= 0; bit--) {
    const uint64_t carry = remainder >> 63;
    remainder = remainder << 1 | ((low >> bit) & 1);
    result <<= 1;
    if (carry != 0 || remainder >= divide) {
      remainder -= divide;
      result |= 1;
    }
  }
  quotient[0] = (uint32_t)result;
  quotient[1] = (uint32_t)(result >> 32);
}

// ---- Memory ---------------------------------------------------------------------------------------------

void BaseFunc_MemCopy(void *destination, const void *source, uint32_t length) {
  if (length != 0) memcpy(destination, source, length);
}

void BaseFunc_MemMove(void *destination, const void *source, uint32_t length) {
  if (length != 0) memmove(destination, source, length);
}

void BaseFunc_MemFill(void *destination, int value, uint32_t length) {
  if (length != 0) memset(destination, value & 0xFF, length);
}

void BaseFunc_FillInt32(int32_t *destination, int32_t value, uint32_t count) {
  for (uint32_t i = 0; i < count; i++) destination[i] = value;
}

int32_t BaseFunc_MemCompare(const void *a, const void *b, uint32_t length) {
  if (length == 0) return 0;
  const int order = memcmp(a, b, length);
  return order > 0 ? -1 : order < 0 ? 1 : 0;
}

// ---- Sine table ---------------------------------------------------------------------------------------

int32_t BaseFunc_InitSineTable(void) {
  // The angle is formed in single precision, each product rounded to float in this order.
  const float pi = 3.14159274f; // pi rounded to float
  for (int i = 0; i < SineTableSize; i++) {
    float angle = (float)i * pi;
    angle = angle * 2.0f;
    angle = angle * (1.0f / 65536.0f);
    SineTable[i] = (float)sin((double)angle);
  }
  return 0;
}

// ---- Current directory --------------------------------------------------------------------------------

// The current directory through the text wrappers, which take UTF-16 and fall back to narrow text
// where the wide system calls are stubs.
int32_t BaseFunc_SetCurrentDir(const wchar_t *path) {
  WinAPI_EnsureLoaded();
  WCHAR wide[1024];
  // A path too long for the buffer is refused rather than cut, which could name another directory.
  const CodePageId page = CharCode_GetWidePage();
  if (CharCode_ConvertString(path, -1, page, nullptr, 0x7FFFFFFF, CodePage_Utf16LE) > (int32_t)sizeof wide) return -1;
  CharCode_ConvertString(path, -1, page, wide, sizeof wide, CodePage_Utf16LE);
  return WinAPI_SetCurrentDirectory(wide) ? 0 : -1;
}

wchar_t *BaseFunc_GetCurrentDir(wchar_t *destination, int32_t destinationSize) {
  WinAPI_EnsureLoaded();
  WCHAR wide[1024];
  wide[0] = 0;
  if (WinAPI_GetCurrentDirectory(1024, wide) >= 1024) wide[0] = 0;
  CharCode_ConvertString(wide, -1, CodePage_Utf16LE, destination, destinationSize, CharCode_GetWidePage());
  return destination;
}

// ---- Random generator -----------------------------------------------------------------------------------

void Random_Seed(uint32_t seed) {
  RandomStateRecord &state = RandomState;
  uint32_t x = seed;
  for (int i = 0; i < RandomStateWords; i++) {
    uint32_t word = x & 0xFFFF0000u;
    x = 69069u * x + 1u;
    word |= x >> 16;
    state.Words[i] = word;
    x = 69069u * x + 1u;
  }
  state.Seeded = 1;

  // The twist of the whole block; words 397 and above are still the old ones for i < 227.
  for (int i = 0; i < RandomStateWords; i++) {
    const uint32_t next = state.Words[(i + 1) % RandomStateWords];
    const uint32_t y = (state.Words[i] & 0x80000000u) | (next & 0x7FFFFFFFu);
    state.Words[i] = state.Words[(i + 397) % RandomStateWords] ^ (y >> 1) ^ ((y & 1u) != 0 ? 0x9908B0DFu : 0u);
  }
  state.FirstWordCopy = state.Words[0];

  for (int i = 0; i < RandomStateWords; i++) {
    uint32_t y = state.Words[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    state.Output[i] = y;
  }
  state.Position = 0;
}

int Math_Rect_Clip(int32_t *rect, const int32_t *clip) {
  if (rect[2] < rect[0]) rect[2] = rect[0];
  if (rect[3] < rect[1]) rect[3] = rect[1];
  auto clamp = [](int32_t value, int32_t low, int32_t high) { return value > high ? high : value < low ? low : value; };
  rect[3] = clamp(rect[3], clip[1], clip[3]);
  rect[1] = clamp(rect[1], clip[1], clip[3]);
  rect[2] = clamp(rect[2], clip[0], clip[2]);
  rect[0] = clamp(rect[0], clip[0], clip[2]);
  return 0;
}

} // namespace Vantrel
