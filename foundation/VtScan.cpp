// Scan engine: scanf-style reading of values out of a text, input and format decoded into arrays of
// character codes of one page; strings stored in the narrow or the wide page.
// Stands on VtCharCode (decoding, conversion, writing) and VtFormat (decimal runs, work areas).
#include "foundation/VtScan.h"

#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"

#include <cstdlib>
#include <cstring>

namespace Vantrel {

int CharCode_CountLeadingBlanks(const uint32_t* position) {
    int n = 0;
    for (;;) {
        uint32_t c = position[n];
        if (c != 9 && c != 10 && c != 13 && c != 32) return n;
        ++n;
    }
}

namespace {

enum ScanSize : int32_t {
    ScanSize_None,
    ScanSize_Short,
    ScanSize_Long,
    ScanSize_Int64,
};

constexpr int ScanMaxDigits = 255;
constexpr int ScanMaxSetMembers = 1023;
// Exponents beyond this make every real number infinite or zero; the value read is held here.
constexpr int64_t ScanExponentLimit = 100000;

inline bool Scan_IsBlank(uint32_t c) { return c == 9 || c == 10 || c == 13 || c == 32; }

// A code array of a text: on the stack when small, else allocated.
struct ScanCodes {
    uint32_t* codes;
    void* allocated;
};

bool ScanCodes_Make(ScanCodes& area, uint32_t* stackArea, size_t stackBytes, const void* text, int32_t page) {
    area.codes = Format_DecodeCodes(text, page, stackArea, stackBytes, &area.allocated);
    return area.codes != nullptr;
}

void ScanCodes_Free(ScanCodes& area) {
    if (area.allocated != nullptr) Format_FreeWork(area.allocated);
    area.allocated = nullptr;
}

int Scan_DigitValue(uint32_t c, int base) {
    int value;
    if (c >= '0' && c <= '9') value = (int)(c - '0');
    else if (c >= 'a' && c <= 'f') value = (int)(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') value = (int)(c - 'A' + 10);
    else return -1;
    return value < base ? value : -1;
}

struct ScanState {
    const uint32_t* input;
    int position;
    int32_t page;
    int wideFlag;
    int32_t narrowPage;
    int32_t widePage;
};

// Result of one conversion.
enum ScanStep { ScanStep_Stored, ScanStep_End };

ScanStep Scan_Integer(ScanState& state, uint32_t letter, int width, ScanSize size, bool suppress, va_list* arguments) {
    state.position += CharCode_CountLeadingBlanks(state.input + state.position);
    const uint32_t* in = state.input;
    int& at = state.position;
    if (in[at] == 0) return ScanStep_End;
    int used = 0;
    auto widthLeft = [&]() { return width < 0 || used < width; };
    bool negative = false;
    if (in[at] == '-') {
        negative = true;
        ++at;
        ++used;
        if (!widthLeft() || in[at] == 0) return ScanStep_End;
    }
    int base = 10;
    switch (letter) {
    case 'o': case 'O': base = 8; break;
    case 'x': case 'X': base = 16; break;
    case 'i': case 'I':
        if (in[at] == '0') {
            ++at;
            ++used;
            if (!widthLeft() || in[at] == 0) return ScanStep_End;
            if (in[at] == 'x') {
                ++at;
                ++used;
                if (!widthLeft() || in[at] == 0) return ScanStep_End;
                base = 16;
            } else {
                base = 8;
            }
        }
        break;
    default: break;
    }
    uint64_t value = 0;
    int digits = 0;
    while (widthLeft() && digits < ScanMaxDigits) {
        int d = Scan_DigitValue(in[at], base);
        if (d < 0) break;
        value = value * (uint64_t)base + (uint64_t)d;
        ++digits;
        ++at;
        ++used;
    }
    if (digits == 0) return ScanStep_End;
    if (negative) value = 0 - value;
    if (!suppress) {
        void* target = va_arg(*arguments, void*);
        if (size == ScanSize_Int64) {
            std::memcpy(target, &value, 8);
        } else if (size == ScanSize_Short) {
            uint16_t v = (uint16_t)value;
            std::memcpy(target, &v, 2);
        } else {
            uint32_t v = (uint32_t)value;
            std::memcpy(target, &v, 4);
        }
    }
    return ScanStep_Stored;
}

ScanStep Scan_Real(ScanState& state, int width, ScanSize size, bool suppress, va_list* arguments) {
    state.position += CharCode_CountLeadingBlanks(state.input + state.position);
    const uint32_t* in = state.input;
    int& at = state.position;
    if (in[at] == 0) return ScanStep_End;
    int used = 0;
    auto widthLeft = [&]() { return width < 0 || used < width; };
    bool negative = false;
    if (in[at] == '-') {
        negative = true;
        ++at;
        ++used;
        if (!widthLeft() || in[at] == 0) return ScanStep_End;
    }
    // The number's digits gathered as plain text for an exactly rounded conversion.
    char integerDigits[ScanMaxDigits + 1], fractionDigits[ScanMaxDigits + 1];
    int integerCount = 0, fractionCount = 0, exponentCount = 0;
    bool point = false, exponentSeen = false, exponentNegative = false;
    int64_t exponent = 0;
    while (widthLeft()) {
        uint32_t c = in[at];
        if (c == '.') {
            if (point || exponentSeen) break;
            point = true;
        } else if (c == 'e' || c == 'E') {
            if (exponentSeen) break;
            exponentSeen = true;
        } else if (c == '+' || c == '-') {
            if (!exponentSeen || exponentCount > 0) break;
            if (c == '-') exponentNegative = true;
        } else if (c >= '0' && c <= '9') {
            if (exponentSeen) {
                if (exponentCount == ScanMaxDigits) break;
                ++exponentCount;
                // Held at a bound far beyond the range of a double.
                if (exponent < ScanExponentLimit) exponent = exponent * 10 + (int64_t)(c - '0');
            } else if (point) {
                if (fractionCount == ScanMaxDigits) break;
                fractionDigits[fractionCount++] = (char)c;
            } else {
                if (integerCount == ScanMaxDigits) break;
                integerDigits[integerCount++] = (char)c;
            }
        } else {
            break;
        }
        ++at;
        ++used;
    }
    if (integerCount == 0 && fractionCount == 0) return ScanStep_End;
    if (exponent > ScanExponentLimit) exponent = ScanExponentLimit;
    if (exponentNegative) exponent = -exponent;

    char text[2 * ScanMaxDigits + 40];
    int n = 0;
    if (negative) text[n++] = '-';
    if (integerCount == 0) text[n++] = '0';
    std::memcpy(text + n, integerDigits, (size_t)integerCount);
    n += integerCount;
    text[n++] = '.';
    std::memcpy(text + n, fractionDigits, (size_t)fractionCount);
    n += fractionCount;
    text[n++] = 'e';
    int64_t e = exponent;
    if (e < 0) {
        text[n++] = '-';
        e = -e;
    }
    char reversed[24];
    int r = 0;
    do {
        reversed[r++] = (char)('0' + e % 10);
        e /= 10;
    } while (e != 0);
    while (r > 0) text[n++] = reversed[--r];
    text[n] = 0;
    double value = std::strtod(text, nullptr);

    if (!suppress) {
        void* target = va_arg(*arguments, void*);
        if (size == ScanSize_Long) {
            std::memcpy(target, &value, sizeof(double));
        } else {
            float single = (float)value;
            std::memcpy(target, &single, sizeof(float));
        }
    }
    return ScanStep_Stored;
}

// 's', 'S', 'c' and 'C': characters converted into the page of the conversion.
ScanStep Scan_Text(ScanState& state, uint32_t letter, int width, bool suppress, va_list* arguments) {
    bool isString = letter == 's' || letter == 'S';
    bool ownPage = (letter == 's' || letter == 'c') == (state.wideFlag == 0);
    int32_t targetPage = ownPage ? state.narrowPage : state.widePage;
    const uint32_t* in = state.input;
    int& at = state.position;
    if (isString) {
        at += CharCode_CountLeadingBlanks(in + at);
        if (in[at] == 0) return ScanStep_End;
    } else if (width < 0) {
        width = 1;
    }
    uint8_t* target = suppress ? nullptr : (uint8_t*)va_arg(*arguments, void*);
    int unit = CharCode_GetUnitSize(targetPage);
    if (unit <= 0) unit = 1;
    int unitsWritten = 0;
    int offset = 0;
    while (in[at] != 0) {
        if (isString && Scan_IsBlank(in[at])) break;
        if (!isString && unitsWritten >= width) break;
        uint32_t code = in[at];
        if (targetPage != state.page) code = CharCode_ConvertChar(code, state.page, targetPage);
        ++at;
        // A character without a mapping in the target page is left out.
        if (code != 0) {
            int bytes = CharCode_WriteCharUnbounded(code, targetPage, target != nullptr ? target + offset : nullptr);
            if (bytes > 0) {
                offset += bytes;
                unitsWritten += bytes / unit;
            }
        }
        if (isString && width >= 0 && unitsWritten >= width) break;
    }
    if (isString && target != nullptr) CharCode_WriteCharUnbounded(0, targetPage, target + offset);
    return ScanStep_Stored;
}

// Reads the members of a scan set starting after the '['; returns the index after the ']', or -1
// when the format ends first.
int Scan_ReadSet(const uint32_t* format, int j, uint32_t* members, int& count, bool& negated) {
    count = 0;
    negated = false;
    if (format[j] == '^') {
        negated = true;
        ++j;
    }
    // The member before the current code; '[' at the start and after a range.
    uint32_t previous = '[';
    auto add = [&](uint32_t code) {
        if (count < ScanMaxSetMembers) members[count++] = code;
    };
    for (;;) {
        uint32_t c = format[j];
        if (c == 0) return -1;
        if (c == ']') return j + 1;
        if (c == '-' && previous != '[' && format[j + 1] != ']' && format[j + 1] != 0) {
            uint32_t end = format[j + 1];
            uint32_t low = previous & 0xFF, high = end & 0xFF;
            if (low > high) {
                uint32_t swap = low;
                low = high;
                high = swap;
            }
            for (uint32_t code = low; code <= high; ++code) {
                if (code != previous) add(code);
            }
            previous = '[';
            j += 2;
            continue;
        }
        add(c);
        previous = c;
        ++j;
    }
}

ScanStep Scan_Set(ScanState& state, const uint32_t* members, int count, bool negated, int width, bool suppress,
                  va_list* arguments) {
    uint8_t* target = suppress ? nullptr : (uint8_t*)va_arg(*arguments, void*);
    const uint32_t* in = state.input;
    int& at = state.position;
    at += CharCode_CountLeadingBlanks(in + at);
    if (in[at] == 0) return ScanStep_End;
    int read = 0;
    int offset = 0;
    while (in[at] != 0 && (width < 0 || read < width)) {
        uint32_t c = in[at];
        bool member = false;
        for (int k = 0; k < count; ++k) {
            if (members[k] == c) {
                member = true;
                break;
            }
        }
        if (member == negated) break;
        int bytes = CharCode_WriteCharUnbounded(c, state.page, target != nullptr ? target + offset : nullptr);
        if (bytes > 0) offset += bytes;
        ++at;
        ++read;
    }
    if (target != nullptr) CharCode_WriteCharUnbounded(0, state.page, target + offset);
    return ScanStep_Stored;
}

int Scan_Run(ScanState& state, const uint32_t* format, va_list* arguments) {
    const uint32_t* in = state.input;
    int& at = state.position;
    int stored = 0;
    int f = 0;
    while (format[f] != 0) {
        uint32_t c = format[f];
        if (Scan_IsBlank(c)) {
            f += CharCode_CountLeadingBlanks(format + f);
            at += CharCode_CountLeadingBlanks(in + at);
            if (in[at] == 0) return stored;
            continue;
        }
        if (c == '%' && format[f + 1] == '%') {
            // A literal percent sign, matched against one input code; like any literal, a
            // mismatching code is consumed.
            if (in[at] != 0) ++at;
            f += 2;
            continue;
        }
        if (c != '%') {
            // A literal run up to the next blank or '%': each comparison consumes one input code;
            // the first mismatch (or the input's end) ends the run.
            int runEnd = f;
            while (format[runEnd] != 0 && format[runEnd] != '%' && !Scan_IsBlank(format[runEnd])) ++runEnd;
            while (f < runEnd) {
                if (in[at] == 0) break;
                bool match = in[at] == format[f];
                ++at;
                if (!match) break;
                ++f;
            }
            f = runEnd;
            continue;
        }

        // A conversion.
        ++f;
        bool suppress = false;
        if (format[f] == '*') {
            suppress = true;
            ++f;
            if (format[f] == 0) return stored;
        }
        int width = -1;
        if (format[f] >= '0' && format[f] <= '9') {
            int digits = 0;
            uint32_t value = CharCode_ParseDecimal(format + f, &digits);
            f += digits;
            if (value == 0 || format[f] == 0) return stored;
            width = value > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)value;
        }
        ScanSize size = ScanSize_None;
        switch (format[f]) {
        case 'h': case 'H': size = ScanSize_Short; ++f; break;
        case 'l': case 'L': size = ScanSize_Long; ++f; break;
        case 'I':
            if (format[f + 1] == '6' && format[f + 2] == '4') {
                size = ScanSize_Int64;
                f += 3;
            }
            break;
        default: break;
        }
        uint32_t letter = format[f];
        if (letter == 0) return stored;
        ScanStep step;
        switch (letter) {
        case 'd': case 'D': case 'u': case 'U': case 'o': case 'O':
        case 'x': case 'X': case 'i': case 'I':
            ++f;
            step = Scan_Integer(state, letter, width, size, suppress, arguments);
            break;
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
            ++f;
            step = Scan_Real(state, width, size, suppress, arguments);
            break;
        case 's': case 'S': case 'c': case 'C':
            ++f;
            step = Scan_Text(state, letter, width, suppress, arguments);
            break;
        case '[': {
            if (size != ScanSize_None) return stored;
            uint32_t members[ScanMaxSetMembers + 1];
            int count;
            bool negated;
            int next = Scan_ReadSet(format, f + 1, members, count, negated);
            if (next < 0) return stored;
            f = next;
            step = Scan_Set(state, members, count, negated, width, suppress, arguments);
            break;
        }
        default:
            // An unknown letter counts as a conversion and is then matched as literal text.
            step = ScanStep_Stored;
            break;
        }
        if (step == ScanStep_End) return stored;
        if (!suppress) ++stored;
    }
    return stored;
}

} // namespace

int CharCode_ScanV(int32_t page, int wideFlag, int32_t narrowPage, int32_t widePage,
                   const void* input, const void* format, va_list arguments) {
    if (input == nullptr || format == nullptr) return 0;
    uint32_t stackInput[4096 / 4];
    uint32_t stackFormat[4096 / 4];
    ScanCodes inputCodes, formatCodes;
    if (!ScanCodes_Make(inputCodes, stackInput, sizeof(stackInput), input, page)) return 0;
    if (!ScanCodes_Make(formatCodes, stackFormat, sizeof(stackFormat), format, page)) {
        ScanCodes_Free(inputCodes);
        return 0;
    }
    ScanState state = {inputCodes.codes, 0, page, wideFlag, narrowPage, widePage};
    va_list copy;
    va_copy(copy, arguments);
    int result = Scan_Run(state, formatCodes.codes, &copy);
    va_end(copy);
    ScanCodes_Free(formatCodes);
    ScanCodes_Free(inputCodes);
    return result;
}

int CharCode_Scan(int32_t page, int wideFlag, int32_t narrowPage, int32_t widePage,
                  const void* input, const void* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = CharCode_ScanV(page, wideFlag, narrowPage, widePage, input, format, arguments);
    va_end(arguments);
    return result;
}

} // namespace Vantrel
