// VtCharCode: the library's twelve text encodings (code pages), reading and writing one character,
// converting characters and strings between pages, and the current narrow and wide pages.
// Stands on the system function table (MultiByteToWideChar builds the tables of the table pages).
#pragma once

#include <stdint.h>

namespace Vantrel {

// A text encoding. Unit size 1 byte unless noted.
typedef int32_t CodePageId;
enum : CodePageId {
  CodePage_ShiftJis = 932, // Shift_JIS; lead bytes 0x81-0x9F and 0xE0-0xFC
  CodePage_Gbk = 936,      // Simplified Chinese; every byte 0x80-0xFF leads
  CodePage_Korean = 949,   // Korean; lead bytes 0x80-0xFF
  CodePage_Big5 = 950,     // Traditional Chinese; lead bytes 0x80-0xFF
  CodePage_Western = 1252, // Windows-1252
  CodePage_Utf16LE = 1200, // 2-byte units
  CodePage_Utf16BE = 1201, // 2-byte units
  CodePage_Latin9 = 32764, // Windows-1252 with the eight ISO/IEC 8859-15 letters
  CodePage_Ascii = 32765,  // the byte is the character code
  CodePage_Utf32LE = 32766, // 4-byte units
  CodePage_Utf32BE = 32767, // 4-byte units
  CodePage_Utf8 = 65001,   // UTF-8 including the five- and six-byte forms
};

// Index into CharSetCodePageTable, shared with the fonts.
typedef int32_t CharSetId;
enum : CharSetId {
  CharSet_Default = 0,
  CharSet_ShiftJis = 1,
  CharSet_Hangul = 2,
  CharSet_Big5 = 3,
  CharSet_Gb2312 = 4,
  CharSet_Western = 5,
  CharSet_Latin9 = 6,
  CharSet_Utf8 = 7,
  CharSet_Count = 8,
};

// The code page of each CharSetId.
extern const CodePageId CharSetCodePageTable[CharSet_Count];

// The current pages: 0 until CharCode_EnsureDefaults has chosen them, then fixed.
struct CharCodeDefaultsRecord {
  CharSetId DefaultCharSet; // from the system's OEM code page
  CodePageId NarrowPage;    // the application's text
  CodePageId WidePage;      // the library's own text (always 1200)
};
extern CharCodeDefaultsRecord CharCodeDefaults;

// 1, 2 or 4 bytes per unit; -1 for an unknown page.
int32_t CharCode_GetUnitSize(CodePageId page);

// Bytes of the character at the position (1 to 6), without looking past its first unit; -1 for an
// invalid UTF-8 lead byte or an unknown page. 0 is never returned: a terminator counts its unit size.
int32_t CharCode_GetCharByteCount(const void *position, CodePageId page);

// Reads one character: returns its code, 0 at the terminator (bytes = unit size) or at an invalid
// lead (bytes = 0). A multi-unit character cut short by the terminator reads as the terminator: the
// reader never looks past a zero unit. bytes (may be null) receives the bytes read; unitCounter (may
// be null) grows by the units read.
uint32_t CharCode_ReadChar(const void *position, CodePageId page, int32_t *bytes, int32_t *unitCounter);

// CharCode_ReadChar without a unit counter.
uint32_t CharCode_DecodeChar(const void *position, CodePageId page, int32_t *bytes);

// Writes one character into room bytes (destination may be null to measure; the room is tested all the
// same). Returns the bytes written or that would be written; 0 when it does not fit or cannot be encoded.
int32_t CharCode_WriteChar(uint32_t code, CodePageId page, void *destination, int32_t room);

// Same as CharCode_WriteChar.
int32_t CharCode_EncodeChar(uint32_t code, CodePageId page, void *destination, int32_t room);

// CharCode_WriteChar without room checks, for callers that know the space suffices.
int32_t CharCode_WriteCharUnbounded(uint32_t code, CodePageId page, void *destination);

// Builds the translation tables of a table page (932, 936, 949, 950, 1252, 32764) on first use;
// nothing for other pages. Returns 0.
int32_t CharCode_BuildTable(CodePageId page);

// The code of a character in another page, 0 when it has none. The tables must be built.
uint32_t CharCode_MapChar(uint32_t code, CodePageId sourcePage, CodePageId destinationPage);

// Builds the tables of both pages, then CharCode_MapChar.
uint32_t CharCode_ConvertChar(uint32_t code, CodePageId sourcePage, CodePageId destinationPage);

// Converts a string. sourceLength counts source units (negative: up to the terminator). destination
// may be null to measure (destinationSize still bounds the count; pass 0x7FFFFFFF). Characters without
// a mapping in the destination page are left out. Returns the bytes written including the terminator;
// 0 when not even the terminator fits or the destination page is unknown; -1 for an unknown page
// converted to itself.
int32_t CharCode_ConvertString(const void *source, int32_t sourceLength, CodePageId sourcePage, void *destination,
                               int32_t destinationSize, CodePageId destinationPage);

// Pointer to the index-th character (from 0; index = character count gives the terminator), null when
// the string ends before.
void *CharCode_GetCharPointer(const void *string, CodePageId page, int32_t index);

// Characters before the terminator or the first invalid lead.
int32_t CharCode_CountChars(const void *string, CodePageId page);

// Decodes a string into an array of codes with a final 0 entry (codes may be null to measure).
// Returns the array's bytes: 4 per character plus 4.
int32_t CharCode_DecodeString(const void *string, CodePageId page, uint32_t *codes);

// Start-up hook; tables and current pages are set up on demand.
void CharCode_Initialize(void);

// Chooses the current pages on first use (GetOEMCP): narrow page 949, 936, 950, 1252 or 32764 when the
// OEM page is one of those, else 932; wide page 1200.
void CharCode_EnsureDefaults(void);

// The default CharSetId, 0 until CharCode_EnsureDefaults has run.
CharSetId CharCode_GetDefaultCharSet(void);

// The current narrow and wide pages, chosen first when still 0.
inline CodePageId CharCode_GetNarrowPage(void) {
  if (CharCodeDefaults.NarrowPage == 0) CharCode_EnsureDefaults();
  return CharCodeDefaults.NarrowPage;
}
inline CodePageId CharCode_GetWidePage(void) {
  if (CharCodeDefaults.WidePage == 0) CharCode_EnsureDefaults();
  return CharCodeDefaults.WidePage;
}

} // namespace Vantrel
