// VtString: string functions over units of any code page, and the fronts bound to the current narrow
// and wide pages. Stands on VtCharCode (unit sizes, reading and writing characters).
#include "foundation/VtString.h"

#include <string.h>

namespace Vantrel {

namespace {

// A unit of 1, 2 or 4 bytes as an unsigned number.
inline uint32_t String_Unit(const uint8_t *p, int32_t unit) {
  switch (unit) {
  case 1: return p[0];
  case 2: {
    uint16_t value;
    memcpy(&value, p, 2);
    return value;
  }
  default: {
    uint32_t value;
    memcpy(&value, p, 4);
    return value;
  }
  }
}

inline bool String_ValidUnit(int32_t unit) { return unit == 1 || unit == 2 || unit == 4; }

// Units before the terminator.
int32_t String_UnitLength(const uint8_t *p, int32_t unit) {
  switch (unit) {
  case 1: return (int32_t)strlen(reinterpret_cast<const char *>(p));
  case 2: {
    int32_t n = 0;
    while (String_Unit(p + n * 2, 2) != 0) n++;
    return n;
  }
  default: {
    int32_t n = 0;
    while (String_Unit(p + n * 4, 4) != 0) n++;
    return n;
  }
  }
}

inline int32_t String_Order(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Skips blanks and reads the sign. Returns the position of the first digit candidate.
const uint8_t *String_ParseStart(CodePageId page, const uint8_t *p, bool &negative) {
  int32_t bytes;
  uint32_t code = CharCode_DecodeChar(p, page, &bytes);
  while (code != 0 && ((code >= 9 && code <= 13) || code == 32)) {
    p += bytes;
    code = CharCode_DecodeChar(p, page, &bytes);
  }
  negative = false;
  if (code == '+' || code == '-') {
    negative = code == '-';
    p += bytes;
  }
  return p;
}

} // namespace

int32_t CharCode_StringLength(CodePageId page, const void *string) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return 0;
  return String_UnitLength(static_cast<const uint8_t *>(string), unit);
}

void CharCode_CopyString(CodePageId page, void *destination, const void *source) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return;
  const int32_t units = String_UnitLength(static_cast<const uint8_t *>(source), unit);
  memmove(destination, source, (size_t)(units + 1) * unit);
}

void CharCode_CopyStringBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit) || destinationSize < unit) return;
  const uint8_t *s = static_cast<const uint8_t *>(source);
  uint8_t *d = static_cast<uint8_t *>(destination);
  int32_t copied = 0;
  // (copied + unit <= size - unit: a size that is no whole number of units is never overrun either)
  while (copied + unit <= destinationSize - unit && String_Unit(s + copied, unit) != 0) {
    memcpy(d + copied, s + copied, unit);
    copied += unit;
  }
  memset(d + copied, 0, unit);
}

void CharCode_AppendString(CodePageId page, void *destination, const void *source) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return;
  uint8_t *d = static_cast<uint8_t *>(destination);
  CharCode_CopyString(page, d + String_UnitLength(d, unit) * unit, source);
}

void CharCode_AppendStringBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return;
  uint8_t *d = static_cast<uint8_t *>(destination);
  // Looks for the terminator only within the buffer.
  int32_t end = 0;
  while (end < destinationSize && String_Unit(d + end, unit) != 0) end += unit;
  if (end >= destinationSize - unit) return;
  CharCode_CopyStringBounded(page, d + end, destinationSize - end, source);
}

void CharCode_CopyStringN(CodePageId page, void *destination, const void *source, int32_t n) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit) || n <= 0) return;
  const uint8_t *s = static_cast<const uint8_t *>(source);
  uint8_t *d = static_cast<uint8_t *>(destination);
  int32_t i = 0;
  for (; i < n && String_Unit(s + i * unit, unit) != 0; i++) memcpy(d + i * unit, s + i * unit, unit);
  if (i < n) memset(d + i * unit, 0, (size_t)(n - i) * unit);
}

void CharCode_CopyStringNBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source,
                                 int32_t n) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit) || destinationSize < unit) return;
  if (n > destinationSize / unit) n = destinationSize / unit;
  CharCode_CopyStringN(page, destination, source, n);
}

int32_t CharCode_CompareStringN(CodePageId page, const void *a, const void *b, int32_t n) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return 0;
  const uint8_t *pa = static_cast<const uint8_t *>(a);
  const uint8_t *pb = static_cast<const uint8_t *>(b);
  for (int32_t i = 0; i < n; i++) {
    const uint32_t ua = String_Unit(pa + i * unit, unit);
    const uint32_t ub = String_Unit(pb + i * unit, unit);
    if (ua != ub) return String_Order(ua, ub);
    if (ua == 0) return 0;
  }
  return 0;
}

int32_t CharCode_CompareString(CodePageId page, const void *a, const void *b) {
  return CharCode_CompareStringN(page, a, b, 0x7FFFFFFF);
}

int32_t CharCode_CompareStringToBytes(CodePageId page, const void *string, const char *bytes) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return 0;
  const uint8_t *p = static_cast<const uint8_t *>(string);
  const uint8_t *q = reinterpret_cast<const uint8_t *>(bytes);
  for (int32_t i = 0;; i++) {
    const uint32_t ua = String_Unit(p + i * unit, unit);
    const uint32_t ub = q[i];
    if (ua != ub) return String_Order(ua, ub);
    if (ua == 0) return 0;
  }
}

int32_t CharCode_CompareStringNoCase(CodePageId page, const void *a, const void *b) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return 0;
  const uint8_t *pa = static_cast<const uint8_t *>(a);
  const uint8_t *pb = static_cast<const uint8_t *>(b);
  for (;;) {
    int32_t lengthA, lengthB;
    uint32_t ca = CharCode_DecodeChar(pa, page, &lengthA);
    uint32_t cb = CharCode_DecodeChar(pb, page, &lengthB);
    if (ca >= 'a' && ca <= 'z') ca -= 0x20;
    if (cb >= 'a' && cb <= 'z') cb -= 0x20;
    if (ca != cb || lengthA != lengthB) {
      if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
      return ca < cb ? -1 : 1;
    }
    if (ca == 0) return 0; // both ended (a terminator or an invalid lead on both sides)
    pa += lengthA;
    pb += lengthB;
  }
}

void *CharCode_FindChar(CodePageId page, const void *string, uint32_t code) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return nullptr;
  const uint8_t *p = static_cast<const uint8_t *>(string);
  while (String_Unit(p, unit) != 0) {
    int32_t bytes;
    const uint32_t found = CharCode_DecodeChar(p, page, &bytes);
    if (found != 0 && found == code) return const_cast<uint8_t *>(p);
    p += bytes > 0 ? bytes : unit;
  }
  return nullptr;
}

void *CharCode_FindString(CodePageId page, const void *string, const void *substring) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return nullptr;
  const uint8_t *p = static_cast<const uint8_t *>(string);
  const uint8_t *q = static_cast<const uint8_t *>(substring);
  if (String_Unit(p, unit) == 0) return nullptr;
  const int32_t needle = String_UnitLength(q, unit);
  if (unit == 1) return const_cast<char *>(strstr(reinterpret_cast<const char *>(p), reinterpret_cast<const char *>(q)));
  for (; String_Unit(p, unit) != 0; p += unit) {
    int32_t i = 0;
    while (i < needle && String_Unit(p + i * unit, unit) == String_Unit(q + i * unit, unit)) i++;
    if (i == needle) return const_cast<uint8_t *>(p);
  }
  return nullptr;
}

namespace {

void *String_ChangeCase(CodePageId page, void *string, uint32_t first, uint32_t last, int32_t delta) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (!String_ValidUnit(unit)) return string;
  uint8_t *p = static_cast<uint8_t *>(string);
  for (;;) {
    int32_t bytes;
    const uint32_t code = CharCode_DecodeChar(p, page, &bytes);
    if (code == 0) {
      if (bytes != 0) break; // the terminator
      p += unit;             // an invalid lead
      continue;
    }
    if (code >= first && code <= last) CharCode_WriteCharUnbounded(code + delta, page, p);
    p += bytes;
  }
  return string;
}

} // namespace

void *CharCode_ToLower(CodePageId page, void *string) { return String_ChangeCase(page, string, 'A', 'Z', 0x20); }
void *CharCode_ToUpper(CodePageId page, void *string) { return String_ChangeCase(page, string, 'a', 'z', -0x20); }

int CharCode_StringToInt(CodePageId page, const void *string) {
  if (string == nullptr || !String_ValidUnit(CharCode_GetUnitSize(page))) return 0;
  bool negative;
  const uint8_t *p = String_ParseStart(page, static_cast<const uint8_t *>(string), negative);
  const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  uint64_t value = 0;
  for (;;) {
    int32_t bytes;
    const uint32_t code = CharCode_DecodeChar(p, page, &bytes);
    if (code < '0' || code > '9') break;
    value = value * 10 + (code - '0');
    if (value > limit) value = limit; // saturated; further digits keep it there
    p += bytes;
  }
  return negative ? (int)(0 - (uint32_t)value) : (int)value;
}

int64_t CharCode_StringToInt64(CodePageId page, const void *string) {
  if (string == nullptr || !String_ValidUnit(CharCode_GetUnitSize(page))) return 0;
  bool negative;
  const uint8_t *p = String_ParseStart(page, static_cast<const uint8_t *>(string), negative);
  uint64_t value = 0;
  int32_t digits = 0;
  for (;;) {
    int32_t bytes;
    const uint32_t code = CharCode_DecodeChar(p, page, &bytes);
    if (code < '0' || code > '9') break;
    value = value * 10 + (code - '0');
    digits++;
    p += bytes;
  }
  if (digits >= 256) return -1;
  return (int64_t)(negative ? 0 - value : value);
}

void *CharCode_IntToString(CodePageId page, int value, void *destination, int base) {
  if (base < 2 || base > 36) base = 10;
  uint8_t *d = static_cast<uint8_t *>(destination);
  uint32_t magnitude = (uint32_t)value;
  if (value < 0) {
    d += CharCode_WriteCharUnbounded('-', page, d);
    magnitude = 0 - magnitude;
  }
  char digits[33];
  int32_t count = 0;
  do {
    const uint32_t digit = magnitude % (uint32_t)base;
    digits[count++] = (char)(digit < 10 ? '0' + digit : 'a' + digit - 10);
    magnitude /= (uint32_t)base;
  } while (magnitude != 0);
  while (count > 0) d += CharCode_WriteCharUnbounded((uint8_t)digits[--count], page, d);
  CharCode_WriteCharUnbounded(0, page, d);
  return destination;
}

// ---- Fronts bound to the current pages ------------------------------------------------------------------

int32_t String_Compare(const char *a, const char *b) { return CharCode_CompareString(CharCode_GetNarrowPage(), a, b); }
void String_CopyBounded(char *destination, int32_t destinationBytes, const char *source) {
  CharCode_CopyStringBounded(CharCode_GetNarrowPage(), destination, destinationBytes, source);
}
int32_t String_Length(const char *string) { return CharCode_StringLength(CharCode_GetNarrowPage(), string); }
void String_AppendBounded(char *destination, int32_t destinationBytes, const char *source) {
  CharCode_AppendStringBounded(CharCode_GetNarrowPage(), destination, destinationBytes, source);
}

wchar_t *String_IntToStringW(int value, wchar_t *destination, int base) {
  return static_cast<wchar_t *>(CharCode_IntToString(CharCode_GetWidePage(), value, destination, base));
}
void String_AppendW(wchar_t *destination, const wchar_t *source) {
  CharCode_AppendString(CharCode_GetWidePage(), destination, source);
}
void String_AppendBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source) {
  CharCode_AppendStringBounded(CharCode_GetWidePage(), destination, destinationBytes, source);
}
wchar_t *String_FindCharW(const wchar_t *string, wchar_t code) {
  return static_cast<wchar_t *>(CharCode_FindChar(CharCode_GetWidePage(), string, (uint16_t)code));
}
int32_t String_CompareW(const wchar_t *a, const wchar_t *b) { return CharCode_CompareString(CharCode_GetWidePage(), a, b); }
int32_t String_CompareNoCaseW(const wchar_t *a, const wchar_t *b) {
  return CharCode_CompareStringNoCase(CharCode_GetWidePage(), a, b);
}
void String_CopyW(wchar_t *destination, const wchar_t *source) {
  CharCode_CopyString(CharCode_GetWidePage(), destination, source);
}
void String_CopyBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source) {
  CharCode_CopyStringBounded(CharCode_GetWidePage(), destination, destinationBytes, source);
}
void String_CopyNBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source, int32_t n) {
  CharCode_CopyStringNBounded(CharCode_GetWidePage(), destination, destinationBytes, source, n);
}
wchar_t *String_FindW(const wchar_t *string, const wchar_t *substring) {
  return static_cast<wchar_t *>(CharCode_FindString(CharCode_GetWidePage(), string, substring));
}
wchar_t *String_ToUpperW(wchar_t *string) {
  return static_cast<wchar_t *>(CharCode_ToUpper(CharCode_GetWidePage(), string));
}

} // namespace Vantrel
