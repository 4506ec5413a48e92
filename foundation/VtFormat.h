// Formatted text engine: the library's printf-style formatter, writing into a destination of any
// code page from a format of the same page, with character and string arguments in the narrow or
// the wide page. Stands on the code-page functions (VtCharCode, VtString) and VtFloatFormat.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace Vantrel {

// Every call names four pages (code page ids as in VtCharCode.h):
//   formatPage  the page of the format string and of the destination;
//   wideFlag    0 for the narrow flavour, 1 for the wide flavour;
//   narrowPage  the current narrow page; widePage the current wide page.
// The narrow flavour calls with (narrow page, 0, narrow page, wide page), the wide flavour with
// (wide page, 1, narrow page, wide page).
//
// Conversions: %c %C %d %i %o %u %x %X %p %s %S %e %E %f %g %G %a %A, flags "-+ #0", width and
// precision (digits or '*'), size letters h l ll w I I32 I64 (ll and I64 take a 64-bit integer),
// %% for a percent sign; %n and %Z take nothing and write nothing. Arguments: int for '*', c, C and
// the integer conversions without a 64-bit size; int64_t with ll or I64; double for every floating
// conversion; a pointer for p, s and S ('p' prints at least eight capital hexadecimal digits, all
// of a 64-bit pointer's on a 64-bit build). 's' takes a string of the wide page in the wide flavour,
// of the narrow page in the narrow flavour; 'S' the other one ('c' and 'C' likewise). Characters
// without a mapping in the format page are left out.
//
// Result: units of the format page written, the terminator not counted; the output is always
// terminated and cut at the last piece that leaves room for the terminator. 0 when the destination
// cannot hold the terminator (a size of 0 included); -1 when the format's work area cannot be
// allocated.
int CharCode_FormatV(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                     void* destination, int destinationUnits, const void* format, va_list arguments);
int CharCode_Format(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                    void* destination, int destinationUnits, const void* format, ...);

// The same without a size (0x7FFFFFFF units): the caller guarantees the room.
int CharCode_FormatVUnbounded(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                              void* destination, const void* format, va_list arguments);
int CharCode_FormatUnbounded(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                             void* destination, const void* format, ...);

// The value of the run of decimal digits at a position of a code array (at most 1,024 digits are
// read, the value wraps modulo 2^32); the number of digits read goes to digitCount (may be null).
// Shared with the scanner.
uint32_t CharCode_ParseDecimal(const uint32_t* position, int* digitCount);

// Divides *value by divisor in place and returns the remainder.
uint32_t CharCode_UInt64_Remainder(uint64_t* value, uint32_t divisor);

// Pieces of a conversion, each writing into destination with room bytes left in the format page
// and reporting the bytes written; a piece is written only when it leaves room for the terminator.
int CharCode_Format_PutRepeated(uint32_t code, int count, void* destination, int room, int32_t page);

// --- Shared by the formatter, the floating-point conversions and the scanner ---

// Work areas larger than the stack limits (freed with Format_FreeWork); null when memory is out.
void* Format_AllocateWork(size_t bytes);
void Format_FreeWork(void* block);

// Decodes a text into an array of character codes ending in 0 (as CharCode_DecodeString), followed
// by 16 more zero entries: in stackArea when it fits, else in an area from Format_AllocateWork
// returned through allocated (null otherwise). Returns the codes, null when memory is out.
uint32_t* Format_DecodeCodes(const void* text, int32_t page, uint32_t* stackArea, size_t stackBytes,
                             void** allocated);

// Writes the characters of one conversion: each character only when it leaves room for the
// terminator (terminatorBytes); the first that does not fit stops the writer.
struct FormatWriter {
    uint8_t* destination;
    int room;
    int used;
    int terminatorBytes;
    int32_t page;
    int asciiUnit;  // bytes of an ASCII character written directly: 1, 2 for UTF-16LE, else 0
    int stopped;
};

void FormatWriter_Begin(FormatWriter& writer, void* destination, int room, int terminatorBytes, int32_t page);
// 1 when written, 0 when the writer is (now) stopped.
int FormatWriter_Put(FormatWriter& writer, uint32_t code);
void FormatWriter_PutAscii(FormatWriter& writer, const char* text, int length);
void FormatWriter_PutRepeated(FormatWriter& writer, uint32_t code, int count);
// Writes the terminator after what was written (it always fits).
void FormatWriter_End(FormatWriter& writer);

} // namespace Vantrel
