// VtBaseFunc: the small numeric and memory functions every library module calls instead of the
// standard library: math wrappers, 128-bit multiply and divide, byte-block copy, move, fill and
// compare, the sine table, the current directory in the wide page and the random generator's seeding.
#pragma once

#include <stdint.h>
#include <wchar.h>

namespace Vantrel {

// ---- Math (float arguments: the double-precision result rounded to float) ------------------------
float BaseFunc_Acos(float x);
double BaseFunc_Atan2D(double y, double x);
float BaseFunc_Exp(float x);
float BaseFunc_Pow(float x, float y);
float BaseFunc_Sqrt(float x);
double BaseFunc_SqrtD(double x);
double BaseFunc_Log10D(double x);
// Writes the sine first, then the cosine.
void BaseFunc_SinCos(float angle, float *sine, float *cosine);
void BaseFunc_SinCosD(double angle, double *sine, double *cosine);
// Truncated toward zero.
int64_t BaseFunc_DoubleToInt64(double x);
void BaseFunc_Float4ToInt4(const float *source, int32_t *destination);
// Clips a rectangle (left, top, right, bottom) to a clip rectangle in place: a right left of the left
// and a bottom above the top collapse onto them, then bottom, top, right and left are clamped into
// the clip. Always 0.
int Math_Rect_Clip(int32_t *rect, const int32_t *clip);
// The floating-point class bits of x, one of the FpClass_ values (the C run-time's _fpclass bits).
enum : int {
  FpClass_SignalingNaN = 0x0001,
  FpClass_QuietNaN = 0x0002,
  FpClass_NegativeInfinity = 0x0004,
  FpClass_NegativeNormal = 0x0008,
  FpClass_NegativeDenormal = 0x0010,
  FpClass_NegativeZero = 0x0020,
  FpClass_PositiveZero = 0x0040,
  FpClass_PositiveDenormal = 0x0080,
  FpClass_PositiveNormal = 0x0100,
  FpClass_PositiveInfinity = 0x0200,
};
int BaseFunc_FpClass(double x);

// ---- Wide arithmetic (words least significant first) ---------------------------------------------
// product[4] = a[2] x b[2], unsigned.
void BaseFunc_Mul64To128(const uint32_t *a, const uint32_t *b, uint32_t *product);
// quotient[2] = dividend[4] / divisor[2] modulo 2^64, unsigned; the remainder is dropped. The divisor
// must not be 0 (the quotient is then all ones) and the dividend below 2^127.
void BaseFunc_Div128By64(const uint32_t *dividend, const uint32_t *divisor, uint32_t *quotient);

// ---- Memory ---------------------------------------------------------------------------------------
// Copies upward; blocks must not overlap.
void BaseFunc_MemCopy(void *destination, const void *source, uint32_t length);
// Copies so that overlapping blocks are moved correctly.
void BaseFunc_MemMove(void *destination, const void *source, uint32_t length);
// Fills with the low 8 bits of value.
void BaseFunc_MemFill(void *destination, int value, uint32_t length);
// Stores value count times.
void BaseFunc_FillInt32(int32_t *destination, int32_t value, uint32_t count);
// 0 when equal (or length 0); else by the first differing byte, unsigned: -1 when a's byte is the
// greater, 1 when it is the smaller (the opposite sign of memcmp). Callers test only for 0.
int32_t BaseFunc_MemCompare(const void *a, const void *b, uint32_t length);

// ---- Sine table -----------------------------------------------------------------------------------
constexpr int SineTableSize = 65536;
// Entry i: the sine of i x 2 pi / 65,536. Zero until BaseFunc_InitSineTable.
extern float SineTable[SineTableSize];
// Fills SineTable (library start-up). Returns 0.
int32_t BaseFunc_InitSineTable(void);

// ---- Current directory in the current wide page ---------------------------------------------------
// 0 on success, -1 when the system refuses the directory.
int32_t BaseFunc_SetCurrentDir(const wchar_t *path);
// Writes the current directory into destination (destinationSize bytes); returns destination.
wchar_t *BaseFunc_GetCurrentDir(wchar_t *destination, int32_t destinationSize);

// ---- Random generator (MT19937) -------------------------------------------------------------------
constexpr int RandomStateWords = 624;
struct RandomStateRecord {
  uint32_t Words[RandomStateWords];   // generator state
  uint32_t FirstWordCopy;             // copy of word 0 after each regeneration
  uint32_t Output[RandomStateWords];  // tempered outputs of the current block
  int32_t Position;                   // next output
  int32_t Seeded;                     // 1 once seeded
};
extern RandomStateRecord RandomState;

// Seeds the generator (1998 seeding), generates the first block and its tempered outputs.
void Random_Seed(uint32_t seed);

} // namespace Vantrel
