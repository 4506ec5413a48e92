// VtCharCode: code pages, character reading and writing, translation tables and string conversion.
// Stands on the system function table (MultiByteToWideChar, GetOEMCP).
#include "foundation/VtCharCode.h"

#include <stddef.h>
#include <string.h>

#include <utility>

#include "foundation/VtWinAPI.h"

namespace Vantrel {

const CodePageId CharSetCodePageTable[CharSet_Count] = {
    CodePage_ShiftJis, CodePage_ShiftJis, CodePage_Korean, CodePage_Big5,
    CodePage_Gbk,      CodePage_Western,  CodePage_Latin9, CodePage_Utf8,
};

CharCodeDefaultsRecord CharCodeDefaults;

namespace {

// Translation tables of one table page: UTF-16 unit by character code and back, 0 = no mapping.
struct CharCode_Table {
  int32_t Built;
  int32_t Building; // claimed by the one thread that fills the table
  uint16_t Forward[65536];
  uint16_t Reverse[65536];
};

enum { CharCode_TablePageCount = 6 };
CharCode_Table CharCode_Tables[CharCode_TablePageCount]; // 932, 936, 949, 950, 1252, 32764

int CharCode_TableIndex(CodePageId page) {
  switch (page) {
  case CodePage_ShiftJis: return 0;
  case CodePage_Gbk: return 1;
  case CodePage_Korean: return 2;
  case CodePage_Big5: return 3;
  case CodePage_Western: return 4;
  case CodePage_Latin9: return 5;
  default: return -1;
  }
}

bool CharCode_IsUnicodePage(CodePageId page) {
  return page == CodePage_Utf16LE || page == CodePage_Utf16BE || page == CodePage_Utf32LE ||
         page == CodePage_Utf32BE || page == CodePage_Utf8;
}

bool CharCode_IsTableBuilt(const CharCode_Table &table) { return __atomic_load_n(&table.Built, __ATOMIC_ACQUIRE) != 0; }

inline bool CharCode_IsShiftJisLead(uint8_t byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Byte length of the character whose first unit is at p (the first unit is not zero); 0 = invalid.
inline int32_t CharCode_LeadLength(const uint8_t *p, CodePageId page) {
  switch (page) {
  case CodePage_ShiftJis: return CharCode_IsShiftJisLead(p[0]) ? 2 : 1;
  case CodePage_Gbk:
  case CodePage_Korean:
  case CodePage_Big5: return p[0] >= 0x80 ? 2 : 1;
  case CodePage_Utf16LE: return (p[1] & 0xFC) == 0xD8 ? 4 : 2;
  case CodePage_Utf16BE: return (p[0] & 0xFC) == 0xD8 ? 4 : 2;
  case CodePage_Western:
  case CodePage_Latin9:
  case CodePage_Ascii: return 1;
  case CodePage_Utf32LE:
  case CodePage_Utf32BE: return 4;
  case CodePage_Utf8: {
    const uint8_t lead = p[0];
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    if (lead < 0xFC) return 5;
    if (lead < 0xFE) return 6;
    return 0;
  }
  default: return 0;
  }
}

inline bool CharCode_IsZeroUnit(const uint8_t *p, int32_t unit) {
  switch (unit) {
  case 1: return p[0] == 0;
  case 2: return (p[0] | p[1]) == 0;
  default: return (p[0] | p[1] | p[2] | p[3]) == 0;
  }
}

// Reads one character from at most available bytes. Returns its code; at the terminator 0 with bytes =
// unit size; at an invalid lead, or a character cut short by a zero unit or by the end of the available
// bytes, 0 with bytes = 0. Never reads a unit past a zero unit or past the available bytes.
uint32_t CharCode_ReadLimited(const uint8_t *p, CodePageId page, int32_t *bytes, size_t available) {
  const int32_t unit = CharCode_GetUnitSize(page);
  *bytes = 0;
  if (unit < 0 || available < (size_t)unit) return 0;
  if (CharCode_IsZeroUnit(p, unit)) {
    *bytes = unit;
    return 0;
  }
  const int32_t length = CharCode_LeadLength(p, page);
  if (length == 0 || available < (size_t)length) return 0;
  // The following units of a multi-unit character must not be terminators.
  for (int32_t offset = unit; offset < length; offset += unit)
    if (CharCode_IsZeroUnit(p + offset, unit)) return 0;

  uint32_t code;
  switch (page) {
  case CodePage_ShiftJis:
  case CodePage_Gbk:
  case CodePage_Korean:
  case CodePage_Big5: code = length == 2 ? (uint32_t)p[0] << 8 | p[1] : p[0]; break;
  case CodePage_Utf16LE:
  case CodePage_Utf16BE: {
    const bool little = page == CodePage_Utf16LE;
    const uint32_t first = little ? (uint32_t)(p[0] | p[1] << 8) : (uint32_t)(p[0] << 8 | p[1]);
    if (length == 2) {
      code = first;
    } else {
      const uint32_t second = little ? (uint32_t)(p[2] | p[3] << 8) : (uint32_t)(p[2] << 8 | p[3]);
      code = (((first & 0x3FF) << 10) | (second & 0x3FF)) + 0x10000;
    }
    break;
  }
  case CodePage_Utf32LE: code = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; break;
  case CodePage_Utf32BE: code = (uint32_t)p[3] | (uint32_t)p[2] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[0] << 24; break;
  case CodePage_Utf8: {
    static const uint8_t payloadMask[7] = {0, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
    code = p[0] & payloadMask[length];
    for (int32_t i = 1; i < length; i++) code = code << 6 | (p[i] & 0x3F);
    break;
  }
  default: code = p[0]; break;
  }
  *bytes = length;
  return code;
}

} // namespace

// ---- Characters -------------------------------------------------------------------------------------

int32_t CharCode_GetUnitSize(CodePageId page) {
  switch (page) {
  case CodePage_ShiftJis:
  case CodePage_Gbk:
  case CodePage_Korean:
  case CodePage_Big5:
  case CodePage_Western:
  case CodePage_Latin9:
  case CodePage_Ascii:
  case CodePage_Utf8: return 1;
  case CodePage_Utf16LE:
  case CodePage_Utf16BE: return 2;
  case CodePage_Utf32LE:
  case CodePage_Utf32BE: return 4;
  default: return -1;
  }
}

int32_t CharCode_GetCharByteCount(const void *position, CodePageId page) {
  const int32_t length = CharCode_LeadLength(static_cast<const uint8_t *>(position), page);
  return length == 0 ? -1 : length;
}

uint32_t CharCode_ReadChar(const void *position, CodePageId page, int32_t *bytes, int32_t *unitCounter) {
  int32_t length;
  const uint32_t code = CharCode_ReadLimited(static_cast<const uint8_t *>(position), page, &length, SIZE_MAX);
  if (bytes != nullptr) *bytes = length;
  if (code != 0 && unitCounter != nullptr) *unitCounter += length / CharCode_GetUnitSize(page);
  return code;
}

uint32_t CharCode_DecodeChar(const void *position, CodePageId page, int32_t *bytes) {
  int32_t units = 0;
  return CharCode_ReadChar(position, page, bytes, &units);
}

int32_t CharCode_WriteChar(uint32_t code, CodePageId page, void *destination, int32_t room) {
  uint8_t *d = static_cast<uint8_t *>(destination);
  switch (page) {
  case CodePage_ShiftJis:
  case CodePage_Gbk:
  case CodePage_Korean:
  case CodePage_Big5:
    if (code < 256) {
      if (room < 1) return 0;
      if (d != nullptr) d[0] = (uint8_t)code;
      return 1;
    }
    if (room < 2) return 0;
    if (d != nullptr) {
      d[0] = (uint8_t)(code >> 8);
      d[1] = (uint8_t)code;
    }
    return 2;
  case CodePage_Western:
  case CodePage_Latin9:
  case CodePage_Ascii:
    if (room < 1) return 0;
    if (d != nullptr) d[0] = (uint8_t)code;
    return 1;
  case CodePage_Utf16LE:
  case CodePage_Utf16BE: {
    if (code > 0x10FFFF) return 0;
    const bool little = page == CodePage_Utf16LE;
    uint32_t units[2];
    int32_t count;
    if (code < 0x10000) {
      units[0] = code;
      count = 1;
    } else {
      units[0] = 0xD800 | ((code - 0x10000) >> 10);
      units[1] = 0xDC00 | (code & 0x3FF);
      count = 2;
    }
    if (room < count * 2) return 0;
    if (d != nullptr) {
      for (int32_t i = 0; i < count; i++) {
        d[i * 2 + (little ? 0 : 1)] = (uint8_t)units[i];
        d[i * 2 + (little ? 1 : 0)] = (uint8_t)(units[i] >> 8);
      }
    }
    return count * 2;
  }
  case CodePage_Utf32LE:
  case CodePage_Utf32BE:
    if (room < 4) return 0;
    if (d != nullptr) {
      for (int i = 0; i < 4; i++) d[page == CodePage_Utf32LE ? i : 3 - i] = (uint8_t)(code >> (i * 8));
    }
    return 4;
  case CodePage_Utf8: {
    int32_t length;
    uint8_t lead;
    if (code < 0x80) {
      length = 1;
      lead = 0;
    } else if (code < 0x800) {
      length = 2;
      lead = 0xC0;
    } else if (code < 0x10000) {
      length = 3;
      lead = 0xE0;
    } else if (code <= 0x1FFFFF) {
      length = 4;
      lead = 0xF0;
    } else if (code <= 0x3FFFFFF) {
      length = 5;
      lead = 0xF8;
    } else if (code <= 0x7FFFFFFF) {
      length = 6;
      lead = 0xFC;
    } else {
      return 0;
    }
    if (room < length) return 0;
    if (d != nullptr) {
      for (int32_t i = length - 1; i > 0; i--) {
        d[i] = (uint8_t)(0x80 | (code & 0x3F));
        code >>= 6;
      }
      d[0] = (uint8_t)(lead | code);
    }
    return length;
  }
  default: return 0;
  }
}

int32_t CharCode_EncodeChar(uint32_t code, CodePageId page, void *destination, int32_t room) {
  return CharCode_WriteChar(code, page, destination, room);
}

int32_t CharCode_WriteCharUnbounded(uint32_t code, CodePageId page, void *destination) {
  return CharCode_WriteChar(code, page, destination, 0x7FFFFFFF);
}

// ---- Translation tables -------------------------------------------------------------------------------

int32_t CharCode_BuildTable(CodePageId page) {
  const int index = CharCode_TableIndex(page);
  if (index < 0) return 0;
  CharCode_Table &table = CharCode_Tables[index];
  if (CharCode_IsTableBuilt(table)) return 0;

  // One thread fills the table; one that comes meanwhile waits until it is complete, so that no reader
  // ever sees a half-built table.
  if (__atomic_exchange_n(&table.Building, 1, __ATOMIC_ACQ_REL) != 0) {
    while (!CharCode_IsTableBuilt(table)) Sleep(0);
    return 0;
  }
  WinAPI_EnsureLoaded();
  const UINT systemPage = page == CodePage_Latin9 ? (UINT)CodePage_Western : (UINT)page;
  const auto convert = WinAPITable.MultiByteToWideChar;
  const bool doubleByte = page == CodePage_ShiftJis || page == CodePage_Gbk || page == CodePage_Korean ||
                          page == CodePage_Big5;
  const uint32_t last = doubleByte ? 0xFFFF : 0xFF;
  for (uint32_t code = 0; code <= last && convert != nullptr; code++) {
    char bytes[3];
    int accepted;
    WCHAR output[8];
    if (code < 256) {
      bytes[0] = (char)code;
      bytes[1] = 0;
      accepted = convert(systemPage, MB_ERR_INVALID_CHARS, bytes, -1, output, 8) != 0;
    } else {
      const uint8_t lead = (uint8_t)(code >> 8);
      const uint8_t trail = (uint8_t)code;
      if (page == CodePage_ShiftJis) {
        if (!CharCode_IsShiftJisLead(lead)) {
          code |= 0xFF; // on to the next lead byte
          continue;
        }
      } else if (trail == 0) {
        continue;
      }
      bytes[0] = (char)lead;
      bytes[1] = (char)trail;
      bytes[2] = 0;
      const int result = convert(systemPage, MB_ERR_INVALID_CHARS, bytes, -1, output, 8);
      accepted = page == CodePage_ShiftJis ? result != 0 : result == 2;
    }
    if (accepted) {
      table.Forward[code] = output[0];
      table.Reverse[output[0]] = (uint16_t)code;
    }
  }
  if (page == CodePage_Latin9) {
    static const uint16_t replaced[8][2] = {{0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
                                            {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};
    for (const auto &pair : replaced) {
      table.Forward[pair[0]] = pair[1];
      table.Reverse[pair[1]] = pair[0];
    }
  }
  __atomic_store_n(&table.Built, 1, __ATOMIC_RELEASE);
  return 0;
}

uint32_t CharCode_MapChar(uint32_t code, CodePageId sourcePage, CodePageId destinationPage) {
  if (sourcePage == destinationPage) return code;
  if (sourcePage == CodePage_Ascii) return code;
  const int sourceTable = CharCode_TableIndex(sourcePage);
  const int destinationTable = CharCode_TableIndex(destinationPage);
  if (sourceTable >= 0) {
    if (destinationPage == CodePage_Ascii) return code <= 0xFF ? code : 0;
    const uint32_t unicode = code > 0xFFFF ? 0 : CharCode_Tables[sourceTable].Forward[code];
    if (unicode == 0) return 0;
    if (CharCode_IsUnicodePage(destinationPage)) return unicode;
    if (destinationTable >= 0) return CharCode_Tables[destinationTable].Reverse[unicode];
    return 0;
  }
  if (CharCode_IsUnicodePage(sourcePage)) {
    if (destinationTable >= 0) return code > 0xFFFF ? 0 : CharCode_Tables[destinationTable].Reverse[code];
    if (CharCode_IsUnicodePage(destinationPage)) return code;
    if (destinationPage == CodePage_Ascii) return code <= 0xFF ? code : 0;
    return 0;
  }
  return 0;
}

uint32_t CharCode_ConvertChar(uint32_t code, CodePageId sourcePage, CodePageId destinationPage) {
  CharCode_BuildTable(sourcePage);
  CharCode_BuildTable(destinationPage);
  return CharCode_MapChar(code, sourcePage, destinationPage);
}

// ---- String conversion --------------------------------------------------------------------------------

namespace {

// The encodings with loops of their own.
enum CharCode_FastEncoding { Fast_ShiftJis, Fast_Utf16LE, Fast_Utf16BE, Fast_Utf32LE, Fast_Utf32BE, Fast_Utf8, Fast_Ascii, Fast_None };

CharCode_FastEncoding CharCode_FastEncodingOf(CodePageId page) {
  switch (page) {
  case CodePage_ShiftJis: return Fast_ShiftJis;
  case CodePage_Utf16LE: return Fast_Utf16LE;
  case CodePage_Utf16BE: return Fast_Utf16BE;
  case CodePage_Utf32LE: return Fast_Utf32LE;
  case CodePage_Utf32BE: return Fast_Utf32BE;
  case CodePage_Utf8: return Fast_Utf8;
  case CodePage_Ascii: return Fast_Ascii;
  default: return Fast_None;
  }
}

// Reads one character of a fast source. Returns false at the end of the text (terminator, invalid
// lead, a character cut short, or the given length reached). value 0 means: no character to write.
template <int Source>
inline bool CharCode_FastRead(const uint8_t *&p, size_t &available, uint32_t &value, const uint16_t *forward) {
  if constexpr (Source == Fast_ShiftJis) {
    if (available == 0) return false;
    const uint8_t lead = p[0];
    if (lead == 0) return false;
    uint32_t code = lead;
    if (CharCode_IsShiftJisLead(lead)) {
      if (available < 2 || p[1] == 0) return false;
      code = (uint32_t)lead << 8 | p[1];
      p += 2;
      available -= 2;
    } else {
      p += 1;
      available -= 1;
    }
    value = forward[code]; // 0: no mapping, left out
    return true;
  } else if constexpr (Source == Fast_Utf16LE || Source == Fast_Utf16BE) {
    constexpr int low = Source == Fast_Utf16LE ? 0 : 1;
    if (available < 2) return false;
    const uint32_t first = (uint32_t)p[low] | (uint32_t)p[1 - low] << 8;
    if (first == 0) return false;
    if ((first & 0xFC00) == 0xD800) {
      if (available < 4) return false;
      const uint32_t second = (uint32_t)p[2 + low] | (uint32_t)p[3 - low] << 8;
      if (second == 0) return false;
      value = (((first & 0x3FF) << 10) | (second & 0x3FF)) + 0x10000;
      p += 4;
      available -= 4;
    } else {
      value = first;
      p += 2;
      available -= 2;
    }
    return true;
  } else if constexpr (Source == Fast_Utf32LE || Source == Fast_Utf32BE) {
    if (available < 4) return false;
    if constexpr (Source == Fast_Utf32LE)
      value = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    else
      value = (uint32_t)p[3] | (uint32_t)p[2] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[0] << 24;
    if (value == 0) return false;
    p += 4;
    available -= 4;
    return true;
  } else {
    static_assert(Source == Fast_Utf8);
    if (available == 0) return false;
    const uint8_t lead = p[0];
    if (lead == 0) return false;
    if (lead < 0x80) {
      value = lead;
      p += 1;
      available -= 1;
      return true;
    }
    const int32_t length = CharCode_LeadLength(p, CodePage_Utf8);
    if (length == 0 || available < (size_t)length) return false;
    static const uint8_t payloadMask[7] = {0, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
    uint32_t code = lead & payloadMask[length];
    for (int32_t i = 1; i < length; i++) {
      if (p[i] == 0) return false;
      code = code << 6 | (p[i] & 0x3F);
    }
    value = code; // an over-long form of 0 gives 0 and is left out
    p += length;
    available -= length;
    return true;
  }
}

// Bytes of one value in a fast destination, 0 when it is left out; packed receives what to store.
template <int Destination>
inline int32_t CharCode_FastSize(uint32_t value, uint32_t &packed, const uint16_t *reverse) {
  if constexpr (Destination == Fast_ShiftJis) {
    if (value > 0xFFFF) return 0;
    packed = reverse[value];
    return packed == 0 ? 0 : packed >= 256 ? 2 : 1;
  } else if constexpr (Destination == Fast_Utf16LE || Destination == Fast_Utf16BE) {
    packed = value;
    return value > 0x10FFFF ? 0 : value < 0x10000 ? 2 : 4;
  } else if constexpr (Destination == Fast_Utf32LE || Destination == Fast_Utf32BE) {
    packed = value;
    return 4;
  } else if constexpr (Destination == Fast_Utf8) {
    packed = value;
    return value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : value <= 0x1FFFFF ? 4 : value <= 0x3FFFFFF ? 5
         : value <= 0x7FFFFFFF ? 6 : 0;
  } else {
    static_assert(Destination == Fast_Ascii);
    packed = value;
    return value <= 0xFF ? 1 : 0;
  }
}

template <int Destination> inline void CharCode_FastPut(uint8_t *d, uint32_t packed, int32_t length) {
  if constexpr (Destination == Fast_ShiftJis) {
    if (length == 2) {
      d[0] = (uint8_t)(packed >> 8);
      d[1] = (uint8_t)packed;
    } else {
      d[0] = (uint8_t)packed;
    }
  } else if constexpr (Destination == Fast_Utf16LE || Destination == Fast_Utf16BE) {
    constexpr int low = Destination == Fast_Utf16LE ? 0 : 1;
    if (length == 2) {
      d[low] = (uint8_t)packed;
      d[1 - low] = (uint8_t)(packed >> 8);
    } else {
      const uint32_t high = 0xD800 | ((packed - 0x10000) >> 10);
      const uint32_t lowUnit = 0xDC00 | (packed & 0x3FF);
      d[low] = (uint8_t)high;
      d[1 - low] = (uint8_t)(high >> 8);
      d[2 + low] = (uint8_t)lowUnit;
      d[3 - low] = (uint8_t)(lowUnit >> 8);
    }
  } else if constexpr (Destination == Fast_Utf32LE || Destination == Fast_Utf32BE) {
    for (int i = 0; i < 4; i++) d[Destination == Fast_Utf32LE ? i : 3 - i] = (uint8_t)(packed >> (i * 8));
  } else if constexpr (Destination == Fast_Utf8) {
    if (length == 1) {
      d[0] = (uint8_t)packed;
      return;
    }
    static const uint8_t leads[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (int32_t i = length - 1; i > 0; i--) {
      d[i] = (uint8_t)(0x80 | (packed & 0x3F));
      packed >>= 6;
    }
    d[0] = (uint8_t)(leads[length] | packed);
  } else {
    d[0] = (uint8_t)packed;
  }
}

template <int Destination> constexpr int32_t CharCode_FastTerminatorSize() {
  return Destination == Fast_Utf16LE || Destination == Fast_Utf16BE ? 2
         : Destination == Fast_Utf32LE || Destination == Fast_Utf32BE ? 4
                                                                      : 1;
}

// One loop per pair: characters that do not fit are skipped and the loop goes on.
template <int Source, int Destination>
int32_t CharCode_FastConvert(const uint8_t *source, size_t available, uint8_t *destination, int32_t size) {
  constexpr int32_t terminator = CharCode_FastTerminatorSize<Destination>();
  const uint16_t *forward = CharCode_Tables[0].Forward;
  const uint16_t *reverse = CharCode_Tables[0].Reverse;
  const uint8_t *p = source;
  uint32_t value;
  uint32_t packed = 0;
  if (destination == nullptr) {
    int32_t count = 0;
    while (CharCode_FastRead<Source>(p, available, value, forward)) {
      if (value == 0) continue;
      count += CharCode_FastSize<Destination>(value, packed, reverse);
    }
    return count + terminator;
  }
  if (size < terminator) return 0;
  const int32_t limit = size - terminator; // room for characters
  int32_t written = 0;
  while (CharCode_FastRead<Source>(p, available, value, forward)) {
    if (value == 0) continue;
    const int32_t length = CharCode_FastSize<Destination>(value, packed, reverse);
    if (length == 0 || length > limit - written) continue;
    CharCode_FastPut<Destination>(destination + written, packed, length);
    written += length;
  }
  for (int32_t i = 0; i < terminator; i++) destination[written + i] = 0;
  return written + terminator;
}

typedef int32_t (*CharCode_FastConverter)(const uint8_t *, size_t, uint8_t *, int32_t);

template <int Source, int... Destinations>
constexpr void CharCode_FillFastRow(CharCode_FastConverter (&row)[Fast_None], std::integer_sequence<int, Destinations...>) {
  ((row[Destinations] = Source == Destinations ? nullptr : &CharCode_FastConvert<Source, Destinations>), ...);
}

struct CharCode_FastTable {
  CharCode_FastConverter Converters[Fast_Ascii][Fast_None]; // sources (no 32765) by destinations
  constexpr CharCode_FastTable() : Converters{} {
    using Destinations = std::make_integer_sequence<int, Fast_None>;
    CharCode_FillFastRow<Fast_ShiftJis>(Converters[Fast_ShiftJis], Destinations{});
    CharCode_FillFastRow<Fast_Utf16LE>(Converters[Fast_Utf16LE], Destinations{});
    CharCode_FillFastRow<Fast_Utf16BE>(Converters[Fast_Utf16BE], Destinations{});
    CharCode_FillFastRow<Fast_Utf32LE>(Converters[Fast_Utf32LE], Destinations{});
    CharCode_FillFastRow<Fast_Utf32BE>(Converters[Fast_Utf32BE], Destinations{});
    CharCode_FillFastRow<Fast_Utf8>(Converters[Fast_Utf8], Destinations{});
  }
};
constexpr CharCode_FastTable CharCode_Fast;

int32_t CharCode_CopySamePage(const uint8_t *source, int32_t length, CodePageId page, uint8_t *destination, int32_t size) {
  const int32_t unit = CharCode_GetUnitSize(page);
  if (unit < 0) return -1;
  if (destination != nullptr && size < unit) return 0;
  int32_t units = 0;
  while (!CharCode_IsZeroUnit(source + units * unit, unit)) {
    if (length >= 0 && units >= length) break;
    if (destination != nullptr) {
      if ((units + 1) * unit > size - unit) break;
      memcpy(destination + units * unit, source + units * unit, unit);
    }
    units++;
  }
  if (destination != nullptr) memset(destination + units * unit, 0, unit);
  return (units + 1) * unit;
}

int32_t CharCode_ConvertGeneral(const uint8_t *source, int32_t length, CodePageId sourcePage, uint8_t *destination,
                                int32_t size, CodePageId destinationPage) {
  const int32_t terminator = CharCode_EncodeChar(0, destinationPage, destination, size);
  if (terminator == 0) return 0;
  const int32_t sourceUnit = CharCode_GetUnitSize(sourcePage);
  size_t available = length < 0 || sourceUnit < 0 ? SIZE_MAX : (size_t)length * (size_t)sourceUnit;
  const uint8_t *p = source;
  int32_t written = 0;
  for (;;) {
    int32_t bytes;
    const uint32_t code = CharCode_ReadLimited(p, sourcePage, &bytes, available);
    if (code == 0) break;
    p += bytes;
    available -= available == SIZE_MAX ? 0 : (size_t)bytes;
    const uint32_t mapped = CharCode_MapChar(code, sourcePage, destinationPage);
    if (mapped == 0) continue;
    const int32_t room = size - written;
    const int32_t needed = CharCode_EncodeChar(mapped, destinationPage, nullptr, room);
    if (needed == 0) break;
    if (destination != nullptr) {
      if (room < needed + terminator) break;
      CharCode_EncodeChar(mapped, destinationPage, destination + written, room);
    }
    written += needed;
    if (destination != nullptr && size - written <= terminator) break;
  }
  if (destination != nullptr) CharCode_EncodeChar(0, destinationPage, destination + written, size - written);
  return written + terminator;
}

} // namespace

int32_t CharCode_ConvertString(const void *source, int32_t sourceLength, CodePageId sourcePage, void *destination,
                               int32_t destinationSize, CodePageId destinationPage) {
  CharCode_BuildTable(sourcePage);
  CharCode_BuildTable(destinationPage);
  const uint8_t *s = static_cast<const uint8_t *>(source);
  uint8_t *d = static_cast<uint8_t *>(destination);
  if (sourcePage == destinationPage) return CharCode_CopySamePage(s, sourceLength, sourcePage, d, destinationSize);

  const CharCode_FastEncoding from = CharCode_FastEncodingOf(sourcePage);
  const CharCode_FastEncoding to = CharCode_FastEncodingOf(destinationPage);
  if (from < Fast_Ascii && to != Fast_None) {
    const size_t available =
        sourceLength < 0 ? SIZE_MAX : (size_t)sourceLength * (size_t)CharCode_GetUnitSize(sourcePage);
    return CharCode_Fast.Converters[from][to](s, available, d, destinationSize);
  }
  return CharCode_ConvertGeneral(s, sourceLength, sourcePage, d, destinationSize, destinationPage);
}

// ---- Walking strings ------------------------------------------------------------------------------------

void *CharCode_GetCharPointer(const void *string, CodePageId page, int32_t index) {
  const uint8_t *p = static_cast<const uint8_t *>(string);
  for (int32_t i = 0; i < index; i++) {
    int32_t bytes;
    if (CharCode_ReadLimited(p, page, &bytes, SIZE_MAX) == 0) return nullptr;
    p += bytes;
  }
  return const_cast<uint8_t *>(p);
}

int32_t CharCode_CountChars(const void *string, CodePageId page) {
  const uint8_t *p = static_cast<const uint8_t *>(string);
  int32_t count = 0;
  for (;;) {
    int32_t bytes;
    if (CharCode_ReadLimited(p, page, &bytes, SIZE_MAX) == 0) return count;
    p += bytes;
    count++;
  }
}

int32_t CharCode_DecodeString(const void *string, CodePageId page, uint32_t *codes) {
  const uint8_t *p = static_cast<const uint8_t *>(string);
  int32_t count = 0;
  for (;;) {
    int32_t bytes;
    const uint32_t code = CharCode_ReadLimited(p, page, &bytes, SIZE_MAX);
    if (code == 0) break;
    if (codes != nullptr) codes[count] = code;
    p += bytes;
    count++;
  }
  if (codes != nullptr) codes[count] = 0;
  return (count + 1) * 4;
}

// ---- Current pages -------------------------------------------------------------------------------------

void CharCode_Initialize(void) {}

void CharCode_EnsureDefaults(void) {
  if (CharCodeDefaults.DefaultCharSet != 0) return;
  WinAPI_EnsureLoaded();
  const UINT oemPage = WinAPITable.GetOEMCP != nullptr ? WinAPITable.GetOEMCP() : 0;
  CodePageId narrow;
  CharSetId charSet;
  switch (oemPage) {
  case 949: narrow = CodePage_Korean, charSet = CharSet_Hangul; break;
  case 936: narrow = CodePage_Gbk, charSet = CharSet_Gb2312; break;
  case 950: narrow = CodePage_Big5, charSet = CharSet_Big5; break;
  case 1252: narrow = CodePage_Western, charSet = CharSet_Western; break;
  case 32764: narrow = CodePage_Latin9, charSet = CharSet_Latin9; break;
  default: narrow = CodePage_ShiftJis, charSet = CharSet_ShiftJis; break;
  }
  CharCodeDefaults.WidePage = CodePage_Utf16LE;
  CharCodeDefaults.NarrowPage = narrow;
  __atomic_store_n(&CharCodeDefaults.DefaultCharSet, charSet, __ATOMIC_RELEASE);
}

CharSetId CharCode_GetDefaultCharSet(void) { return CharCodeDefaults.DefaultCharSet; }

} // namespace Vantrel
