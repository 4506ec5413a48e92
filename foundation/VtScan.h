// Scan engine: the library's scanf-style parser over a text and a format of one code page, storing
// through pointer arguments. Stands on the code-page functions (VtCharCode) and VtFormat.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace Vantrel {

// page: the page of the input and of the format; wideFlag 1 for the wide flavour; narrowPage and
// widePage the current pages. 's', 'c' store in the wide page when wideFlag is set, else in the
// narrow page; 'S', 'C' the other one; '[' stores in the input's own page.
// Conversions: d D u U o O x X i I (integers; h/H short, l/L long, I64 64-bit), e E f F g G (real
// numbers; a double with l/L, else a float), s S c C, [set]; '*' suppresses the store; a width
// bounds what is read. Returns the count of stored conversions; 0 when a work area cannot be
// allocated.
int CharCode_ScanV(int32_t page, int wideFlag, int32_t narrowPage, int32_t widePage,
                   const void* input, const void* format, va_list arguments);
int CharCode_Scan(int32_t page, int wideFlag, int32_t narrowPage, int32_t widePage,
                  const void* input, const void* format, ...);

// The number of blanks (codes 9, 10, 13, 32) at a position of a code array.
int CharCode_CountLeadingBlanks(const uint32_t* position);

} // namespace Vantrel
