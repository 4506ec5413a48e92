// VtString: the library's string functions for strings of any code page (length, copy, append,
// compare, search, case change, number conversion), and their fronts bound to the current narrow
// (char) and wide (wchar_t, UTF-16) pages. Stands on VtCharCode; the formatting fronts on the
// formatted text engine.
#pragma once

#include <stdarg.h>
#include <stdint.h>
#include <wchar.h>

#include "foundation/VtCharCode.h"

namespace Vantrel {

// ---- Strings of a given page ----------------------------------------------------------------------
// A string is a run of units of the page's unit size ended by a zero unit. Destination sizes are in
// bytes (whole units); counts n are in units; comparisons give -1, 0 or 1 (units compare unsigned).
// An unknown page: length 0, comparisons 0, searches null, copies, appends and case changes do nothing.

// Units before the terminator.
int32_t CharCode_StringLength(CodePageId page, const void *string);

// Copies all units and the terminator.
void CharCode_CopyString(CodePageId page, void *destination, const void *source);

// Copies at most destinationSize - unit bytes and always terminates (nothing when the size is below one
// unit). A cut may fall inside a multi-unit character.
void CharCode_CopyStringBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source);

// Copies the source after the destination's text.
void CharCode_AppendString(CodePageId page, void *destination, const void *source);

// Appends within destinationSize bytes in all; nothing when the text already fills size - unit bytes.
void CharCode_AppendStringBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source);

// Copies up to n units and pads a shorter source with zero units up to n; a source of n units or more
// leaves the destination without terminator. n <= 0: nothing.
void CharCode_CopyStringN(CodePageId page, void *destination, const void *source, int32_t n);

// CharCode_CopyStringN with n limited to destinationSize / unit (nothing when the size is below a unit).
void CharCode_CopyStringNBounded(CodePageId page, void *destination, int32_t destinationSize, const void *source,
                                 int32_t n);

// Compares unit by unit; a terminator counts as the unit 0.
int32_t CharCode_CompareString(CodePageId page, const void *a, const void *b);

// As CharCode_CompareString over at most n units (0 for n <= 0).
int32_t CharCode_CompareStringN(CodePageId page, const void *a, const void *b, int32_t n);

// Each unit of the string against one byte (0-255) of an 8-bit string.
int32_t CharCode_CompareStringToBytes(CodePageId page, const void *string, const char *bytes);

// Character-wise comparison ignoring the case of 'a'-'z'; a character of fewer bytes is the smaller.
int32_t CharCode_CompareStringNoCase(CodePageId page, const void *a, const void *b);

// The first character whose code equals the given one; null when the terminator comes first (so 0
// gives null).
void *CharCode_FindChar(CodePageId page, const void *string, uint32_t code);

// The first position where the substring's units occur; an empty substring gives the string itself
// unless the string is empty; an empty string gives null.
void *CharCode_FindString(CodePageId page, const void *string, const void *substring);

// Lowers 'A'-'Z' / raises 'a'-'z' in place (other characters untouched); returns the string.
void *CharCode_ToLower(CodePageId page, void *string);
void *CharCode_ToUpper(CodePageId page, void *string);

// Decimal parse after blanks (9-13, 32) and an optional sign; saturates at 0x7FFFFFFF / 0x80000000.
// Null gives 0; -1 when the work area cannot be allocated.
int CharCode_StringToInt(CodePageId page, const void *string);

// Decimal parse modulo 2^64, negated for '-'; a run of 256 digits or more gives -1.
int64_t CharCode_StringToInt64(CodePageId page, const void *string);

// Writes the value in the base (2 to 36, digits 0-9 then a-z), '-' first when negative, terminated.
// The destination must hold the result. Returns the destination.
void *CharCode_IntToString(CodePageId page, int value, void *destination, int base);

// ---- Fronts bound to the current narrow page (char) ----------------------------------------------

// Formatted text (size in units); see CharCode_FormatV. Returns units written without the terminator.
int32_t String_Format(char *destination, int32_t size, const char *format, ...);
int32_t String_Compare(const char *a, const char *b);
void String_CopyBounded(char *destination, int32_t destinationBytes, const char *source);
int32_t String_Length(const char *string);
void String_AppendBounded(char *destination, int32_t destinationBytes, const char *source);

// ---- Fronts bound to the current wide page (wchar_t, UTF-16) -------------------------------------

int32_t String_FormatW(wchar_t *destination, int32_t size, const wchar_t *format, ...);
int32_t String_FormatUnboundedW(wchar_t *destination, const wchar_t *format, ...);
int32_t String_FormatVW(wchar_t *destination, int32_t size, const wchar_t *format, va_list arguments);
wchar_t *String_IntToStringW(int value, wchar_t *destination, int base);
void String_AppendW(wchar_t *destination, const wchar_t *source);
void String_AppendBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source);
wchar_t *String_FindCharW(const wchar_t *string, wchar_t code);
int32_t String_CompareW(const wchar_t *a, const wchar_t *b);
int32_t String_CompareNoCaseW(const wchar_t *a, const wchar_t *b);
void String_CopyW(wchar_t *destination, const wchar_t *source);
void String_CopyBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source);
void String_CopyNBoundedW(wchar_t *destination, int32_t destinationBytes, const wchar_t *source, int32_t n);
wchar_t *String_FindW(const wchar_t *string, const wchar_t *substring);
wchar_t *String_ToUpperW(wchar_t *string);

} // namespace Vantrel
