// VtUseCStrmBaseFilterInternal: small helpers the sources of the DirectShow classes share: UTF-16
// strings in library memory and the byte coverage of AM_SAMPLE2_PROPERTIES.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "movie/directshow/VtUseCStrmBaseFilter.h"

namespace Vantrel {

// Length in characters of a zero-terminated UTF-16 string (0 for null).
size_t StrmBase_Text_Length(const wchar_t* text);
// A copy in library memory (null for null text or when memory runs out).
wchar_t* StrmBase_Text_Duplicate(const wchar_t* text);
BOOL StrmBase_Text_Equal(const wchar_t* a, const wchar_t* b);
// Copies at most capacity - 1 characters and the terminator; null text gives an empty string.
void StrmBase_Text_CopyBounded(wchar_t* destination, size_t capacity, const wchar_t* source);

// Whether a properties block of the given size reaches the end of the field.
#define VT_STRMBASE_PROPS_COVER(size, field)                                                            \
    ((size_t)(size) >= offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(((AM_SAMPLE2_PROPERTIES*)0)->field))

// Saturates a 64-bit time difference into the range an int holds here (50 s either way).
inline int32_t StrmBase_ClampTime(LONGLONG value)
{
    if (value > 500000000) return 500000000;
    if (value < -500000000) return -500000000;
    return (int32_t)value;
}

}  // namespace Vantrel
