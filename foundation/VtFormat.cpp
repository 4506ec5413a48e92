// Formatted text engine: printf-style formatting into any code page, the format decoded into an
// array of character codes first, character and string arguments converted from the narrow or the
// wide page. Stands on VtCharCode / VtString (pages, conversion) and VtFloatFormat.
#include "foundation/VtFormat.h"

#include "foundation/VtCharCode.h"
#include "foundation/VtFloatFormat.h"
#include "foundation/VtMemory.h"
#include "foundation/VtString.h"

#include <cstdint>
#include <cstring>

namespace Vantrel {

// ---------------------------------------------------------------------------------------------
// Work areas and the writer shared by the engines

void* Format_AllocateWork(size_t bytes) {
    if (bytes == 0 || bytes > UINT32_MAX) return nullptr;
    return Memory_Allocate((uint32_t)bytes, "VtFormat", __LINE__);
}

void Format_FreeWork(void* block) {
    if (block != nullptr) Memory_Free(block);
}

void FormatWriter_Begin(FormatWriter& writer, void* destination, int room, int terminatorBytes, int32_t page) {
    writer.destination = (uint8_t*)destination;
    writer.room = room;
    writer.used = 0;
    writer.terminatorBytes = terminatorBytes;
    writer.page = page;
    writer.stopped = 0;
    // ASCII is written directly in the one-byte pages and in UTF-16LE; other pages encode it.
    if (CharCode_GetUnitSize(page) == 1) writer.asciiUnit = 1;
    else if (page == CodePage_Utf16LE) writer.asciiUnit = 2;
    else writer.asciiUnit = 0;
}

int FormatWriter_Put(FormatWriter& writer, uint32_t code) {
    if (writer.stopped) return 0;
    int left = writer.room - writer.used - writer.terminatorBytes;
    uint8_t* at = writer.destination + writer.used;
    if (code < 0x80 && writer.asciiUnit == 1) {
        if (left < 1) {
            writer.stopped = 1;
            return 0;
        }
        at[0] = (uint8_t)code;
        writer.used += 1;
        return 1;
    }
    if (code < 0x80 && writer.asciiUnit == 2) {
        if (left < 2) {
            writer.stopped = 1;
            return 0;
        }
        at[0] = (uint8_t)code;
        at[1] = 0;
        writer.used += 2;
        return 1;
    }
    int bytes = left > 0 ? CharCode_EncodeChar(code, writer.page, at, left) : 0;
    if (bytes <= 0) {
        writer.stopped = 1;
        return 0;
    }
    writer.used += bytes;
    return 1;
}

void FormatWriter_PutAscii(FormatWriter& writer, const char* text, int length) {
    if (writer.asciiUnit == 1) {
        // One byte per character: copy what fits in one go.
        int left = writer.room - writer.used - writer.terminatorBytes;
        if (writer.stopped || left <= 0) {
            if (length > 0) writer.stopped = 1;
            return;
        }
        int n = length <= left ? length : left;
        std::memcpy(writer.destination + writer.used, text, (size_t)n);
        writer.used += n;
        if (n < length) writer.stopped = 1;
        return;
    }
    for (int i = 0; i < length; ++i) {
        if (!FormatWriter_Put(writer, (uint8_t)text[i])) return;
    }
}

void FormatWriter_PutRepeated(FormatWriter& writer, uint32_t code, int count) {
    if (count <= 0) return;
    if (writer.asciiUnit == 1 && code < 0x80) {
        int left = writer.room - writer.used - writer.terminatorBytes;
        if (writer.stopped || left <= 0) {
            writer.stopped = 1;
            return;
        }
        int n = count <= left ? count : left;
        std::memset(writer.destination + writer.used, (int)code, (size_t)n);
        writer.used += n;
        if (n < count) writer.stopped = 1;
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (!FormatWriter_Put(writer, code)) return;
    }
}

void FormatWriter_End(FormatWriter& writer) {
    if (writer.room - writer.used >= writer.terminatorBytes && writer.terminatorBytes > 0) {
        std::memset(writer.destination + writer.used, 0, (size_t)writer.terminatorBytes);
    }
}

uint32_t* Format_DecodeCodes(const void* text, int32_t page, uint32_t* stackArea, size_t stackBytes,
                             void** allocated) {
    *allocated = nullptr;
    int unit = CharCode_GetUnitSize(page);
    // Units before the terminator bound the number of characters, so they size the area.
    size_t units = 0;
    bool simple = true;
    if (unit == 1) {
        const uint8_t* bytes = (const uint8_t*)text;
        while (bytes[units] != 0) {
            if (bytes[units] >= 0x80) simple = false;
            ++units;
        }
    } else if (unit == 2) {
        const uint8_t* bytes = (const uint8_t*)text;
        for (;;) {
            uint16_t u;
            std::memcpy(&u, bytes + units * 2, 2);
            if (u == 0) break;
            if (page != CodePage_Utf16LE || (u >= 0xD800 && u <= 0xDFFF)) simple = false;
            ++units;
        }
    } else if (unit == 4) {
        const uint8_t* bytes = (const uint8_t*)text;
        for (;;) {
            uint32_t u;
            std::memcpy(&u, bytes + units * 4, 4);
            if (u == 0) break;
            ++units;
        }
        simple = false;
    } else {
        simple = false;
    }
    // In 64 bits: four bytes a unit would wrap a 32-bit size_t for a text of a gigabyte.
    const uint64_t areaBytes = ((uint64_t)units + 1 + 16) * 4 + 64;
    uint32_t* codes = stackArea;
    if (areaBytes > stackBytes) {
        if (areaBytes > 0x7FFFFFF0u) return nullptr;
        *allocated = Format_AllocateWork((size_t)areaBytes);
        if (*allocated == nullptr) return nullptr;
        codes = (uint32_t*)*allocated;
    }
    size_t count;
    if (simple && unit == 1) {
        // ASCII in a one-byte page (UTF-8 and the double-byte pages included): the byte is the code.
        const uint8_t* bytes = (const uint8_t*)text;
        for (size_t i = 0; i < units; ++i) codes[i] = bytes[i];
        count = units;
    } else if (simple) {
        const uint8_t* bytes = (const uint8_t*)text;
        for (size_t i = 0; i < units; ++i) codes[i] = (uint32_t)bytes[2 * i] | ((uint32_t)bytes[2 * i + 1] << 8);
        count = units;
    } else {
        count = (size_t)(CharCode_DecodeString(text, page, codes) / 4 - 1);
    }
    std::memset(codes + count, 0, 17 * sizeof(uint32_t));
    return codes;
}

int CharCode_Format_PutRepeated(uint32_t code, int count, void* destination, int room, int32_t page) {
    int terminator = CharCode_EncodeChar(0, page, destination, room);
    if (terminator <= 0) return 0;
    FormatWriter writer;
    FormatWriter_Begin(writer, destination, room, terminator, page);
    FormatWriter_PutRepeated(writer, code, count);
    FormatWriter_End(writer);
    return writer.used;
}

// ---------------------------------------------------------------------------------------------
// Numbers

uint32_t CharCode_ParseDecimal(const uint32_t* position, int* digitCount) {
    uint32_t value = 0;
    int n = 0;
    while (n < 1024 && position[n] >= '0' && position[n] <= '9') {
        value = value * 10u + (position[n] - '0');
        ++n;
    }
    if (digitCount != nullptr) *digitCount = n;
    return value;
}

uint32_t CharCode_UInt64_Remainder(uint64_t* value, uint32_t divisor) {
    uint64_t v = *value;
    if (v <= 0xFFFFFFFFu) {
        // 32-bit division where the value allows it (much cheaper on 32-bit processors).
        uint32_t small = (uint32_t)v;
        *value = small / divisor;
        return small % divisor;
    }
    *value = v / divisor;
    return (uint32_t)(v % divisor);
}

namespace {

enum FormatSize : int32_t {
    FormatSize_None,
    FormatSize_H,
    FormatSize_L,
    FormatSize_LL,
    FormatSize_W,
    FormatSize_I,
    FormatSize_I32,
    FormatSize_I64,
};

struct FormatDirective {
    int left;
    int plus;
    int space;
    int alternate;
    int zero;
    int width;
    int precision;
    FormatSize size;
    int widthStarted;
    int precisionSeen;
    int sizeSeen;
};

struct FormatContext {
    int32_t formatPage;
    int wideFlag;
    int32_t narrowPage;
    int32_t widePage;
};

// Signed decimal ('d', 'i') uses the sign flags; every other base is unsigned.
void CharCode_Format_PutInteger(FormatWriter& writer, const FormatDirective& directive, uint64_t magnitude,
                                int negative, int letter) {
    int base = letter == 'o' ? 8 : (letter == 'x' || letter == 'X' || letter == 'p') ? 16 : 10;
    bool isSigned = letter == 'd' || letter == 'i';
    const char* digitSet = (letter == 'X' || letter == 'p') ? "0123456789ABCDEF" : "0123456789abcdef";
    int zero = directive.zero;
    if (directive.left || directive.precision >= 0) zero = 0;
    int plus = 0, space = 0, alternate = directive.alternate;
    if (isSigned) {
        plus = directive.plus;
        space = plus ? 0 : directive.space;
        if (negative) plus = space = 0;
        alternate = 0;
    } else {
        negative = 0;
    }

    char digits[32];
    int count = 0;
    uint64_t value = magnitude;
    if (base == 10) {
        while (value > 0xFFFFFFFFu) digits[count++] = digitSet[CharCode_UInt64_Remainder(&value, 10)];
        uint32_t small = (uint32_t)value;
        while (small != 0) {
            digits[count++] = digitSet[small % 10];
            small /= 10;
        }
    } else {
        int shift = base == 16 ? 4 : 3;
        while (value != 0) {
            digits[count++] = digitSet[value & (uint64_t)(base - 1)];
            value >>= shift;
        }
    }
    int minimum = directive.precision >= 0 ? directive.precision : 1;
    if (magnitude == 0 && directive.precision == 0) {
        // A precision of 0 asks for no digit, yet a zero still shows its one digit.
        digits[count++] = '0';
    }
    int precisionZeros = minimum - count > 0 ? minimum - count : 0;
    const char* prefix = "";
    if (alternate) {
        if (base == 8) prefix = "0";
        else if (base == 16) prefix = (letter == 'X' || letter == 'p') ? "0X" : "0x";
    }
    int prefixLength = (int)std::strlen(prefix);
    char sign = negative ? '-' : plus ? '+' : space ? ' ' : 0;
    int width = directive.width < 0 ? 0 : directive.width;
    int64_t padWide = (int64_t)width - (sign ? 1 : 0) - prefixLength - precisionZeros - count;
    int pad = padWide > 0 ? (int)padWide : 0;

    char ordered[32];
    for (int i = 0; i < count; ++i) ordered[i] = digits[count - 1 - i];
    if (!directive.left && !zero) FormatWriter_PutRepeated(writer, ' ', pad);
    if (sign) FormatWriter_Put(writer, (uint8_t)sign);
    FormatWriter_PutAscii(writer, prefix, prefixLength);
    if (zero) FormatWriter_PutRepeated(writer, '0', pad);
    FormatWriter_PutRepeated(writer, '0', precisionZeros);
    FormatWriter_PutAscii(writer, ordered, count);
    if (directive.left) FormatWriter_PutRepeated(writer, ' ', pad);
}

// A character argument of argumentPage written in the writer's page.
void CharCode_Format_PutChar(FormatWriter& writer, const FormatDirective& directive, uint32_t argument,
                             int32_t argumentPage) {
    uint32_t code;
    switch (CharCode_GetUnitSize(argumentPage)) {
    case 1: code = argument & 0xFF; break;
    case 2: code = argument & 0xFFFF; break;
    case 4: code = argument; break;
    default: code = 0; break;
    }
    bool dropped = false;
    if (argumentPage != writer.page && code != 0) {
        code = CharCode_ConvertChar(code, argumentPage, writer.page);
        // A character without a mapping in the destination page is left out, as in every
        // conversion of text; writing it as code 0 would end the text early.
        dropped = code == 0;
    }
    int pad = directive.width >= 1 ? directive.width - (dropped ? 0 : 1) : 0;
    int zero = directive.left ? 0 : directive.zero;
    if (directive.left) {
        if (!dropped && !FormatWriter_Put(writer, code)) return;
        FormatWriter_PutRepeated(writer, ' ', pad);
    } else {
        FormatWriter_PutRepeated(writer, zero ? '0' : ' ', pad);
        if (!dropped) FormatWriter_Put(writer, code);
    }
}

// A string argument of argumentPage written in the writer's page.
void CharCode_Format_PutString(FormatWriter& writer, const FormatDirective& directive, const void* string,
                               int32_t argumentPage) {
    if (string == nullptr || writer.stopped) return;
    int unit = CharCode_GetUnitSize(writer.page);
    if (unit <= 0) return;
    const uint8_t* text = (const uint8_t*)string;
    uint8_t stackArea[512];
    void* allocated = nullptr;
    if (argumentPage != writer.page) {
        int sourceUnits = CharCode_StringLength(argumentPage, string);
        // In 64 bits: a long enough string would wrap a 32-bit size_t to a small area.
        const uint64_t areaBytes = ((uint64_t)sourceUnits + 1) * (uint64_t)unit * 8;
        uint8_t* area = stackArea;
        if (areaBytes > sizeof(stackArea)) {
            if (areaBytes > 0x7FFFFFF0u) return;
            allocated = Format_AllocateWork((size_t)areaBytes);
            if (allocated == nullptr) return;
            area = (uint8_t*)allocated;
        }
        if (CharCode_ConvertString(string, -1, argumentPage, area, (int)areaBytes, writer.page) <= 0) {
            if (allocated != nullptr) Format_FreeWork(allocated);
            return;
        }
        text = area;
    }
    int n = CharCode_StringLength(writer.page, text);
    if (directive.precision >= 0 && directive.precision < n) n = directive.precision;
    int pad = directive.width >= 0 ? directive.width - n : 0;
    int zero = directive.left ? 0 : directive.zero;
    if (!directive.left) FormatWriter_PutRepeated(writer, zero ? '0' : ' ', pad);
    if (!writer.stopped) {
        // Whole units only, as many as leave room for the terminator; a cut can fall inside a
        // multi-unit character.
        int left = writer.room - writer.used - writer.terminatorBytes;
        int fit = left / unit;
        int copy = n <= fit ? n : fit;
        if (copy > 0) {
            std::memcpy(writer.destination + writer.used, text, (size_t)copy * (size_t)unit);
            writer.used += copy * unit;
        }
        if (copy < n) writer.stopped = 1;
    }
    if (directive.left) FormatWriter_PutRepeated(writer, ' ', pad);
    if (allocated != nullptr) Format_FreeWork(allocated);
}

bool Format_IsConversionLetter(uint32_t c) {
    switch (c) {
    case 'c': case 'C': case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
    case 'e': case 'E': case 'f': case 'g': case 'G': case 'a': case 'A':
    case 'p': case 's': case 'S':
        return true;
    default:
        return false;
    }
}

// Reads the directive after the '%' at codes[start]. Returns the index after the conversion
// letter (letter set), or the index of the code that abandons it (letter 0).
int Format_ReadDirective(const uint32_t* codes, int start, FormatDirective& directive, uint32_t& letter, va_list* arguments) {
    directive.left = directive.plus = directive.space = directive.alternate = directive.zero = 0;
    directive.width = -1;
    directive.precision = -1;
    directive.size = FormatSize_None;
    directive.widthStarted = directive.precisionSeen = directive.sizeSeen = 0;
    letter = 0;
    int j = start + 1;
    for (;;) {
        uint32_t c = codes[j];
        switch (c) {
        case ' ': case '#': case '+': case '-':
            if (directive.widthStarted) return j;
            if (c == ' ') directive.space = 1;
            else if (c == '#') directive.alternate = 1;
            else if (c == '+') directive.plus = 1;
            else directive.left = 1;
            ++j;
            continue;
        case '.':
            if (directive.precisionSeen) return j;
            directive.widthStarted = directive.precisionSeen = 1;
            directive.precision = 0;
            ++j;
            continue;
        case '*': {
            if (directive.sizeSeen) return j;
            int value = va_arg(*arguments, int);
            if (value < 0) value = -1;
            if (directive.precisionSeen) directive.precision = value;
            else directive.width = value;
            ++j;
            continue;
        }
        case 'h': case 'l': case 'w': case 'I':
            directive.widthStarted = directive.precisionSeen = directive.sizeSeen = 1;
            if (c == 'h') {
                directive.size = FormatSize_H;
            } else if (c == 'l') {
                if (codes[j + 1] == 'l') {
                    directive.size = FormatSize_LL;
                    ++j;
                } else {
                    directive.size = FormatSize_L;
                }
            } else if (c == 'w') {
                directive.size = FormatSize_W;
            } else if (codes[j + 1] == '3' && codes[j + 2] == '2') {
                directive.size = FormatSize_I32;
                j += 2;
            } else if (codes[j + 1] == '6' && codes[j + 2] == '4') {
                directive.size = FormatSize_I64;
                j += 2;
            } else {
                directive.size = FormatSize_I;
            }
            ++j;
            continue;
        case 'n': case 'Z':
            return j + 1;
        default:
            break;
        }
        if (c >= '0' && c <= '9') {
            if (directive.sizeSeen) return j;
            int count = 0;
            if (directive.precisionSeen) {
                uint32_t value = CharCode_ParseDecimal(codes + j, &count);
                directive.precision = value > 0x7FFFFFFFu ? -1 : (int)value;
                j += count;
            } else if (c == '0' && !directive.widthStarted) {
                directive.zero = 1;
                ++j;
            } else {
                directive.widthStarted = 1;
                uint32_t value = CharCode_ParseDecimal(codes + j, &count);
                directive.width = value > 0x7FFFFFFFu ? -1 : (int)value;
                j += count;
            }
            continue;
        }
        if (Format_IsConversionLetter(c)) {
            letter = c;
            return j + 1;
        }
        return j;
    }
}

void Format_Convert(FormatWriter& writer, const FormatContext& context, const FormatDirective& directive,
                    uint32_t letter, va_list* arguments) {
    switch (letter) {
    case 'c':
    case 'C': {
        int value = va_arg(*arguments, int);
        bool ownPage = (letter == 'c') == (context.wideFlag == 0);
        CharCode_Format_PutChar(writer, directive, (uint32_t)value, ownPage ? context.narrowPage : context.widePage);
        break;
    }
    case 'd':
    case 'i': {
        int64_t value;
        if (directive.size == FormatSize_LL || directive.size == FormatSize_I64) value = va_arg(*arguments, int64_t);
        else if (directive.size == FormatSize_H) value = (int16_t)va_arg(*arguments, int);
        else value = va_arg(*arguments, int);
        uint64_t magnitude = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
        CharCode_Format_PutInteger(writer, directive, magnitude, value < 0, (int)letter);
        break;
    }
    case 'o':
    case 'u':
    case 'x':
    case 'X': {
        uint64_t value;
        if (directive.size == FormatSize_LL || directive.size == FormatSize_I64) value = va_arg(*arguments, uint64_t);
        else if (directive.size == FormatSize_H) value = (uint16_t)va_arg(*arguments, unsigned int);
        else value = va_arg(*arguments, unsigned int);
        CharCode_Format_PutInteger(writer, directive, value, 0, (int)letter);
        break;
    }
    case 'p': {
        // The pointer's value with at least eight digits (all of them on a 64-bit build).
        const void* pointer = va_arg(*arguments, const void*);
        FormatDirective pointerDirective = directive;
        pointerDirective.precision = 8;
        CharCode_Format_PutInteger(writer, pointerDirective, (uint64_t)(uintptr_t)pointer, 0, 'p');
        break;
    }
    case 's':
    case 'S': {
        const void* string = va_arg(*arguments, const void*);
        bool ownPage = (letter == 's') == (context.wideFlag == 0);
        CharCode_Format_PutString(writer, directive, string, ownPage ? context.narrowPage : context.widePage);
        break;
    }
    default: {
        double value = va_arg(*arguments, double);
        int written = CharCode_Format_PutFloat(value, (int)letter, directive.alternate, directive.zero, directive.left,
                                               directive.plus, directive.space, directive.width, directive.precision,
                                               writer.destination + writer.used, writer.room - writer.used,
                                               writer.page);
        writer.used += written;
        break;
    }
    }
}

int Format_Run(const FormatContext& context, void* destination, int64_t roomBytes, const void* format,
               va_list* arguments) {
    int unit = CharCode_GetUnitSize(context.formatPage);
    if (unit <= 0 || destination == nullptr || format == nullptr || roomBytes <= 0) return 0;
    if (roomBytes > 0x7FFFFFF0) roomBytes = 0x7FFFFFF0 - 0x7FFFFFF0 % unit;
    int room = (int)roomBytes;

    // 1. The format as character codes.
    uint32_t stackCodes[4096 / 4];
    void* allocated = nullptr;
    uint32_t* codes = Format_DecodeCodes(format, context.formatPage, stackCodes, sizeof(stackCodes), &allocated);
    if (codes == nullptr) return -1;

    // 2. The terminator first, so that every outcome leaves a terminated destination.
    int terminator = CharCode_EncodeChar(0, context.formatPage, destination, room);
    if (terminator <= 0) {
        if (allocated != nullptr) Format_FreeWork(allocated);
        return 0;
    }

    FormatWriter out;
    FormatWriter_Begin(out, destination, room, terminator, context.formatPage);
    int i = 0;
    while (codes[i] != 0) {
        uint32_t c = codes[i];
        if (c == '%' && codes[i + 1] == '%') {
            if (!FormatWriter_Put(out, '%')) break;
            i += 2;
        } else if (c == '%') {
            FormatDirective directive;
            uint32_t letter;
            int next = Format_ReadDirective(codes, i, directive, letter, arguments);
            i = next;
            if (letter == 0) {
                // 'n' and 'Z' end here having consumed their letter; anything else abandons the
                // directive and is taken as ordinary text.
                continue;
            }
            FormatWriter piece;
            FormatWriter_Begin(piece, out.destination + out.used, out.room - out.used, terminator, out.page);
            Format_Convert(piece, context, directive, letter, arguments);
            out.used += piece.used;
            if (out.room - out.used <= terminator) break;
            continue;
        } else if (c < 0x80 && out.asciiUnit == 1) {
            // A run of ASCII text into a one-byte page: copied while it leaves room for the terminator.
            int left = out.room - out.used - terminator;
            uint8_t* at = out.destination + out.used;
            int k = 0;
            while (k < left && codes[i] != 0 && codes[i] < 0x80 && codes[i] != '%') at[k++] = (uint8_t)codes[i++];
            out.used += k;
        } else {
            if (!FormatWriter_Put(out, c)) break;
            ++i;
        }
        if (out.room - out.used <= terminator) break;
    }
    FormatWriter_End(out);
    if (allocated != nullptr) Format_FreeWork(allocated);
    return out.used / unit;
}

} // namespace

int CharCode_FormatV(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                     void* destination, int destinationUnits, const void* format, va_list arguments) {
    FormatContext context = {formatPage, wideFlag, narrowPage, widePage};
    int unit = CharCode_GetUnitSize(formatPage);
    va_list copy;
    va_copy(copy, arguments);
    int result = Format_Run(context, destination, (int64_t)destinationUnits * (unit > 0 ? unit : 0), format, &copy);
    va_end(copy);
    return result;
}

int CharCode_Format(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                    void* destination, int destinationUnits, const void* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = CharCode_FormatV(formatPage, wideFlag, narrowPage, widePage, destination, destinationUnits,
                                  format, arguments);
    va_end(arguments);
    return result;
}

int CharCode_FormatVUnbounded(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                              void* destination, const void* format, va_list arguments) {
    return CharCode_FormatV(formatPage, wideFlag, narrowPage, widePage, destination, 0x7FFFFFFF, format,
                            arguments);
}

int CharCode_FormatUnbounded(int32_t formatPage, int wideFlag, int32_t narrowPage, int32_t widePage,
                             void* destination, const void* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = CharCode_FormatV(formatPage, wideFlag, narrowPage, widePage, destination, 0x7FFFFFFF,
                                  format, arguments);
    va_end(arguments);
    return result;
}

} // namespace Vantrel
