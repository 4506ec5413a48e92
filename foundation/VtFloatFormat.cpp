// Floating-point formatting: 'e', 'E', 'f', 'g', 'G', 'a' and 'A' for the formatter. The decimal
// digits are taken from the exact value of the double with a small big-integer, then rounded by the
// library's rule (strictly above half rounds up). Stands on VtCharCode for the destination page.
#include "foundation/VtFloatFormat.h"

#include "foundation/VtCharCode.h"
#include "foundation/VtFormat.h"

#include <cstring>

namespace Vantrel {

namespace {

// A double is m * 2^e with m below 2^53 and e from -1074 to 971; its exact decimal form needs at
// most 767 significant digits (m * 5^1074 has 2,547 bits) or 309 integer digits.
constexpr int FloatBigWords = 84;
constexpr int FloatMaxDigits = 800;
// Text of one conversion: 309 integer digits, the point, the precision's digits, an exponent.
constexpr int FloatTextMargin = 400;
// Beyond this many fraction digits every digit of a double is 0.
constexpr int FloatExactFractionDigits = 1080;

struct FloatBig {
    uint32_t words[FloatBigWords];
    int size;
};

void FloatBig_MulSmall(FloatBig& big, uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < big.size; ++i) {
        uint64_t product = (uint64_t)big.words[i] * factor + carry;
        big.words[i] = (uint32_t)product;
        carry = product >> 32;
    }
    if (carry != 0) big.words[big.size++] = (uint32_t)carry;
}

uint32_t FloatBig_DivSmall(FloatBig& big, uint32_t divisor) {
    uint64_t remainder = 0;
    for (int i = big.size - 1; i >= 0; --i) {
        uint64_t part = (remainder << 32) | big.words[i];
        big.words[i] = (uint32_t)(part / divisor);
        remainder = part % divisor;
    }
    while (big.size > 0 && big.words[big.size - 1] == 0) --big.size;
    return (uint32_t)remainder;
}

// The exact decimal form of a finite, non-negative double: value = 0.d1 d2 ... dn * 10^point,
// digits 0-9 without leading or trailing zeros; zero has no digits.
struct FloatDecimal {
    uint8_t digits[FloatMaxDigits + 16];
    int count;
    int point;
};

void FloatDecimal_FromUInt64(FloatDecimal& decimal, uint64_t value, int fractionDigits) {
    char reversed[24];
    int n = 0;
    while (value != 0) {
        reversed[n++] = (char)(value % 10);
        value /= 10;
    }
    for (int i = 0; i < n; ++i) decimal.digits[i] = (uint8_t)reversed[n - 1 - i];
    decimal.count = n;
    decimal.point = n - fractionDigits;
}

void FloatDecimal_FromBig(FloatDecimal& decimal, FloatBig& big, int fractionDigits) {
    // Nine digits at a time, least significant chunk first, into the end of a scratch area.
    uint8_t scratch[FloatMaxDigits + 32];
    int end = (int)sizeof(scratch);
    int position = end;
    while (big.size > 2) {
        uint32_t chunk = FloatBig_DivSmall(big, 1000000000u);
        for (int i = 0; i < 9; ++i) {
            scratch[--position] = (uint8_t)(chunk % 10);
            chunk /= 10;
        }
    }
    uint64_t rest = big.size == 0 ? 0 : big.size == 1 ? big.words[0]
                                       : ((uint64_t)big.words[1] << 32) | big.words[0];
    while (rest != 0) {
        scratch[--position] = (uint8_t)(rest % 10);
        rest /= 10;
    }
    while (position < end && scratch[position] == 0) ++position;
    decimal.count = end - position;
    std::memcpy(decimal.digits, scratch + position, (size_t)decimal.count);
    decimal.point = decimal.count - fractionDigits;
}

void FloatDecimal_Make(FloatDecimal& decimal, double magnitude) {
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof(bits));
    int biased = (int)((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & 0xFFFFFFFFFFFFFull;
    int exponent;
    if (biased == 0) {
        exponent = -1074;
    } else {
        mantissa |= 1ull << 52;
        exponent = biased - 1075;
    }
    decimal.count = 0;
    decimal.point = 0;
    if (mantissa == 0) return;
    while ((mantissa & 1) == 0 && exponent < 0) {
        mantissa >>= 1;
        ++exponent;
    }
    if (exponent >= 0 && exponent <= 10) {
        FloatDecimal_FromUInt64(decimal, mantissa << exponent, 0);
    } else if (exponent < 0 && exponent >= -4 && mantissa < (1ull << 53)) {
        // m * 5^k stays below 2^63 for k up to 4.
        uint64_t value = mantissa;
        for (int i = 0; i < -exponent; ++i) value *= 5;
        FloatDecimal_FromUInt64(decimal, value, -exponent);
    } else {
        FloatBig big;
        big.words[0] = (uint32_t)mantissa;
        big.words[1] = (uint32_t)(mantissa >> 32);
        big.size = big.words[1] != 0 ? 2 : 1;
        if (exponent > 0) {
            int words = exponent / 32;
            int shift = exponent % 32;
            // Shift left by whole words, then by the rest.
            for (int i = big.size - 1; i >= 0; --i) big.words[i + words] = big.words[i];
            for (int i = 0; i < words; ++i) big.words[i] = 0;
            big.size += words;
            if (shift != 0) {
                uint32_t carry = 0;
                for (int i = words; i < big.size; ++i) {
                    uint32_t word = big.words[i];
                    big.words[i] = (word << shift) | carry;
                    carry = word >> (32 - shift);
                }
                if (carry != 0) big.words[big.size++] = carry;
            }
            FloatDecimal_FromBig(decimal, big, 0);
        } else {
            // m * 2^-k = m * 5^k / 10^k.
            int k = -exponent;
            int left = k;
            while (left >= 13) {
                FloatBig_MulSmall(big, 1220703125u);  // 5^13
                left -= 13;
            }
            uint32_t factor = 1;
            while (left-- > 0) factor *= 5;
            if (factor != 1) FloatBig_MulSmall(big, factor);
            FloatDecimal_FromBig(decimal, big, k);
        }
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == 0) --decimal.count;
}

// Keeps the first keep digits; the rest rounds up only when it is strictly above half a unit of
// the last kept place (exactly half does not).
void FloatDecimal_Round(FloatDecimal& decimal, int keep) {
    if (keep >= decimal.count) return;
    if (keep < 0) {
        decimal.count = 0;
        return;
    }
    int next = decimal.digits[keep];
    bool up = next > 5 || (next == 5 && decimal.count > keep + 1);
    decimal.count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && decimal.digits[i] == 9) --i;
        if (i < 0) {
            decimal.digits[0] = 1;
            decimal.count = 1;
            decimal.point += 1;
        } else {
            decimal.digits[i] += 1;
            decimal.count = i + 1;
        }
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == 0) --decimal.count;
}

// The digit at an index counted from the first significant digit; 0 outside the digits.
inline char FloatDecimal_DigitAt(const FloatDecimal& decimal, int index) {
    return (char)('0' + ((index >= 0 && index < decimal.count) ? decimal.digits[index] : 0));
}

// Integer part, then '.' when precision > 0 or alternate, then precision fraction digits.
int FloatText_Fixed(const FloatDecimal& decimal, int alternate, int precision, char* text) {
    int n = 0;
    if (decimal.point <= 0) {
        text[n++] = '0';
    } else {
        for (int i = 0; i < decimal.point; ++i) text[n++] = FloatDecimal_DigitAt(decimal, i);
    }
    if (precision > 0 || alternate) text[n++] = '.';
    int exact = precision < FloatExactFractionDigits ? precision : FloatExactFractionDigits;
    for (int j = 0; j < exact; ++j) text[n++] = FloatDecimal_DigitAt(decimal, decimal.point + j);
    if (precision > exact) {
        std::memset(text + n, '0', (size_t)(precision - exact));
        n += precision - exact;
    }
    text[n] = 0;
    return n;
}

int FloatText_Exponent(int exponent, int upper, char* text) {
    int n = 0;
    text[n++] = upper ? 'E' : 'e';
    unsigned magnitude;
    if (exponent < 0) {
        text[n++] = '-';
        magnitude = (unsigned)-exponent;
    } else {
        text[n++] = '+';
        magnitude = (unsigned)exponent;
    }
    text[n++] = (char)('0' + magnitude / 100 % 10);
    text[n++] = (char)('0' + magnitude / 10 % 10);
    text[n++] = (char)('0' + magnitude % 10);
    text[n] = 0;
    return n;
}

// Leading digit, optional point, fractionDigits digits, exponent.
int FloatText_Scientific(const FloatDecimal& decimal, int point, int fractionDigits, int exponent,
                         int upper, char* text) {
    int n = 0;
    text[n++] = FloatDecimal_DigitAt(decimal, 0);
    if (point) text[n++] = '.';
    for (int j = 1; j <= fractionDigits; ++j) text[n++] = FloatDecimal_DigitAt(decimal, j);
    return n + FloatText_Exponent(exponent, upper, text + n);
}

int FloatPrecisionOrDefault(int precision) { return precision < 0 ? 6 : precision; }

} // namespace

int CharCode_Format_FloatTextSize(int precision) {
    int p = FloatPrecisionOrDefault(precision);
    return p > 0x7FFFFFFF - FloatTextMargin ? 0x7FFFFFFF : p + FloatTextMargin;
}

namespace {

// 128-bit helpers for the short path of 'f'.
struct FloatWide {
    uint64_t high;
    uint64_t low;
};

FloatWide FloatWide_Multiply(uint64_t a, uint64_t b) {
    uint64_t aLow = (uint32_t)a, aHigh = a >> 32, bLow = (uint32_t)b, bHigh = b >> 32;
    uint64_t lowLow = aLow * bLow, lowHigh = aLow * bHigh, highLow = aHigh * bLow, highHigh = aHigh * bHigh;
    uint64_t middle = (lowLow >> 32) + (uint32_t)lowHigh + (uint32_t)highLow;
    FloatWide result;
    result.low = (middle << 32) | (uint32_t)lowLow;
    result.high = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
    return result;
}

// Bit n (0-127) of x.
inline int FloatWide_Bit(const FloatWide& x, int n) {
    return n >= 64 ? (int)((x.high >> (n - 64)) & 1) : (int)((x.low >> n) & 1);
}

// Whether any of the n lowest bits of x is set (n 0-127).
inline bool FloatWide_LowBitsSet(const FloatWide& x, int n) {
    if (n <= 0) return false;
    if (n < 64) return (x.low & ((1ull << n) - 1)) != 0;
    if (x.low != 0) return true;
    return n > 64 && (x.high & ((1ull << (n - 64)) - 1)) != 0;
}

const uint64_t FloatPowersOfTen[20] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                      10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                      100000000000ull, 1000000000000ull, 10000000000000ull,
                                      100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                                      100000000000000000ull, 1000000000000000000ull,
                                      10000000000000000000ull};

// 'f' for the common case in which the value times 10^p fits 64 bits: one 128-bit product and a
// shift give the rounded digits exactly. Returns -1 when the value is out of its range.
int FloatText_FixedShort(double magnitude, int alternate, int p, char* text) {
    if (p > 19) return -1;
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof(bits));
    int biased = (int)((bits >> 52) & 0x7FF);
    if (biased == 0) return -1;
    uint64_t mantissa = (bits & 0xFFFFFFFFFFFFFull) | (1ull << 52);
    int exponent = biased - 1075;
    uint64_t scaled;
    if (exponent >= 0) {
        if (exponent > 10) return -1;
        FloatWide product = FloatWide_Multiply(mantissa << exponent, FloatPowersOfTen[p]);
        if (product.high != 0) return -1;
        scaled = product.low;
    } else {
        int shift = -exponent;
        if (shift > 127) return -1;
        FloatWide product = FloatWide_Multiply(mantissa, FloatPowersOfTen[p]);
        if (shift >= 64) {
            scaled = product.high >> (shift - 64);
        } else {
            if ((product.high >> shift) != 0) return -1;
            scaled = (product.low >> shift) | (shift == 0 ? 0 : product.high << (64 - shift));
        }
        // Strictly above half of the last place rounds up.
        if (FloatWide_Bit(product, shift - 1) && FloatWide_LowBitsSet(product, shift - 1)) {
            if (scaled == UINT64_MAX) return -1;
            ++scaled;
        }
    }
    uint64_t integer = scaled / FloatPowersOfTen[p];
    uint64_t fraction = scaled % FloatPowersOfTen[p];
    char reversed[24];
    int r = 0;
    do {
        reversed[r++] = (char)('0' + integer % 10);
        integer /= 10;
    } while (integer != 0);
    int n = 0;
    while (r > 0) text[n++] = reversed[--r];
    if (p > 0 || alternate) text[n++] = '.';
    for (int j = p - 1; j >= 0; --j) {
        text[n + j] = (char)('0' + fraction % 10);
        fraction /= 10;
    }
    n += p;
    text[n] = 0;
    return n;
}

} // namespace

int CharCode_Format_FloatFixed(double magnitude, int alternate, int precision, char* text) {
    int p = FloatPrecisionOrDefault(precision);
    int length = FloatText_FixedShort(magnitude, alternate, p, text);
    if (length >= 0) return length;
    FloatDecimal decimal;
    FloatDecimal_Make(decimal, magnitude);
    FloatDecimal_Round(decimal, decimal.point + p);
    return FloatText_Fixed(decimal, alternate, p, text);
}

int CharCode_Format_FloatExp(double magnitude, int alternate, int precision, int upper, char* text) {
    int p = FloatPrecisionOrDefault(precision);
    FloatDecimal decimal;
    FloatDecimal_Make(decimal, magnitude);
    int exponent = 0;
    if (decimal.count > 0) {
        FloatDecimal_Round(decimal, p + 1);
        exponent = decimal.point - 1;
    }
    return FloatText_Scientific(decimal, p > 0 || alternate, p, exponent, upper, text);
}

int CharCode_Format_FloatGeneral(double magnitude, int alternate, int precision, int upper, char* text) {
    int p = FloatPrecisionOrDefault(precision);
    if (p == 0) p = 1;
    FloatDecimal decimal;
    FloatDecimal_Make(decimal, magnitude);
    int exponent = 0;
    if (decimal.count > 0) {
        FloatDecimal_Round(decimal, p);
        exponent = decimal.point - 1;
    }
    // Index (after the leading digit) of the last non-zero digit; -1 when all are zero.
    int last = decimal.count - 2;
    if (last < -1) last = -1;
    if (exponent >= 0 && exponent < p) {
        int fixed = alternate ? p - 1 - exponent : (last - exponent + 1 > 0 ? last - exponent + 1 : 0);
        return FloatText_Fixed(decimal, alternate, fixed, text);
    }
    if (exponent >= -4 && exponent < 0) {
        int fixed = p - 1 - exponent;
        if (!alternate && last - exponent + 1 < fixed) fixed = last - exponent + 1;
        return FloatText_Fixed(decimal, alternate, fixed, text);
    }
    return FloatText_Scientific(decimal, alternate || last >= 0, alternate ? p - 1 : last + 1, exponent,
                                upper, text);
}

int CharCode_Format_FloatHex(double magnitude, int alternate, int precision, int upper, char* text) {
    int p = FloatPrecisionOrDefault(precision);
    const char* digitSet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof(bits));
    int biased = (int)((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & 0xFFFFFFFFFFFFFull;
    int exponent = 0;
    int lead = 0;
    if (biased != 0 || mantissa != 0) {
        if (biased == 0) {
            // Subnormal: normalise so that the leading bit stands at bit 52.
            exponent = -1022;
            while ((mantissa & (1ull << 52)) == 0) {
                mantissa <<= 1;
                --exponent;
            }
            mantissa &= 0xFFFFFFFFFFFFFull;
        } else {
            exponent = biased - 1023;
        }
        lead = 1;
    }
    // mantissa now holds 52 fraction bits = 13 hexadecimal digits.
    int n = 0;
    text[n++] = '0';
    text[n++] = 'x';
    uint64_t fraction = mantissa;
    int shown = p < 13 ? p : 13;
    if (p < 13) {
        int dropped = 52 - 4 * p;
        uint64_t rest = fraction & ((1ull << dropped) - 1);
        uint64_t half = 1ull << (dropped - 1);
        fraction >>= dropped;
        if (rest > half) {
            ++fraction;
            if (fraction >> (4 * p)) {
                fraction = 0;
                ++exponent;
            }
        }
    }
    text[n++] = (char)('0' + lead);
    if (p > 0 || alternate) text[n++] = '.';
    for (int j = 0; j < shown; ++j) {
        int shift = 4 * (shown - 1 - j);
        text[n++] = digitSet[(fraction >> shift) & 15];
    }
    if (p > shown) {
        std::memset(text + n, '0', (size_t)(p - shown));
        n += p - shown;
    }
    text[n++] = upper ? 'P' : 'p';
    unsigned exponentMagnitude;
    if (exponent < 0) {
        text[n++] = '-';
        exponentMagnitude = (unsigned)-exponent;
    } else {
        text[n++] = '+';
        exponentMagnitude = (unsigned)exponent;
    }
    char reversed[12];
    int r = 0;
    do {
        reversed[r++] = (char)('0' + exponentMagnitude % 10);
        exponentMagnitude /= 10;
    } while (exponentMagnitude != 0);
    while (r > 0) text[n++] = reversed[--r];
    text[n] = 0;
    return n;
}

int CharCode_Format_FloatSpecial(FloatClass valueClass, int letter, int alternate, int precision,
                                 char* text) {
    bool general = letter == 'g' || letter == 'G';
    int q = FloatPrecisionOrDefault(precision);
    if (general && q > 0) --q;
    bool nan = valueClass == FloatClass_NaN;
    static const char* const NaNTexts[] = {"1", "1.$", "1.#R", "1.#QO", "1.#QNB", "1.#QNAN"};
    static const char* const InfinityTexts[] = {"1", "1.$", "1.#J", "1.#IO", "1.#INF", "1.#INF"};
    const char* base = (nan ? NaNTexts : InfinityTexts)[q < 5 ? q : 5];
    int n = 0;
    if (letter == 'a' || letter == 'A') {
        text[n++] = '0';
        text[n++] = '0';
    }
    int start = n;
    for (const char* s = base; *s; ++s) text[n++] = *s;
    if (q == 0 && alternate) text[n++] = '.';
    // Filled with zeros to q + 2 characters, except for 'g'. A precision of 0 keeps the bare "1":
    // a filled "10" would read as ten.
    if (!general && q > 0) {
        while (n - start < q + 2) text[n++] = '0';
    }
    switch (letter) {
    case 'e':
    case 'E':
        n += FloatText_Exponent(0, letter == 'E', text + n);
        break;
    case 'a':
    case 'A':
        text[n++] = letter == 'A' ? 'P' : 'p';
        text[n++] = '+';
        text[n++] = '0';
        break;
    default:
        break;
    }
    text[n] = 0;
    return n;
}

int CharCode_Format_PutFloat(double value, int letter, int alternate, int zero, int left, int plus,
                             int space, int width, int precision, void* destination, int room,
                             int32_t page) {
    uint8_t* out = (uint8_t*)destination;
    int terminator = CharCode_EncodeChar(0, page, destination, room);
    if (terminator <= 0) return 0;

    uint64_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    bool negativeBit = (bits >> 63) != 0;
    FloatClass valueClass = FloatClass_Finite;
    if (((bits >> 52) & 0x7FF) == 0x7FF) {
        if ((bits & 0xFFFFFFFFFFFFFull) != 0) valueClass = FloatClass_NaN;
        else valueClass = negativeBit ? FloatClass_NegativeInfinity : FloatClass_PositiveInfinity;
    }
    bool negative = valueClass == FloatClass_NegativeInfinity || (valueClass == FloatClass_Finite && value < 0.0);
    double magnitude = value;
    if (valueClass == FloatClass_Finite) {
        // -0.0 is not negative; its magnitude is printed as 0.
        magnitude = negativeBit ? -value : value;
    }
    if (left) zero = 0;
    if (negative) plus = 0;
    if (plus || negative) space = 0;

    // Work area: on the stack for ordinary precisions, else from the allocator; when that fails the
    // precision is cut to 1,024.
    char stackText[1024 + FloatTextMargin + 32];
    char* text = stackText;
    char* allocated = nullptr;
    if (precision >= 1024) {
        allocated = (char*)Format_AllocateWork((size_t)precision + FloatTextMargin);
        if (allocated != nullptr) text = allocated;
        else precision = 1024;
    }

    int length;
    if (valueClass != FloatClass_Finite) {
        length = CharCode_Format_FloatSpecial(valueClass, letter, alternate, precision, text);
    } else {
        switch (letter) {
        case 'e':
        case 'E':
            length = CharCode_Format_FloatExp(magnitude, alternate, precision, letter == 'E', text);
            break;
        case 'g':
        case 'G':
            length = CharCode_Format_FloatGeneral(magnitude, alternate, precision, letter == 'G', text);
            break;
        case 'a':
        case 'A':
            length = CharCode_Format_FloatHex(magnitude, alternate, precision, letter == 'A', text);
            break;
        default:
            length = CharCode_Format_FloatFixed(magnitude, alternate, precision, text);
            break;
        }
    }

    char sign = negative ? '-' : plus ? '+' : space ? ' ' : 0;
    int pad = (width < 0 ? 0 : width) - (sign ? 1 : 0) - length;
    FormatWriter writer;
    FormatWriter_Begin(writer, out, room, terminator, page);
    if (left) {
        if (sign) FormatWriter_Put(writer, (uint8_t)sign);
        FormatWriter_PutAscii(writer, text, length);
        FormatWriter_PutRepeated(writer, ' ', pad);
    } else if (zero) {
        if (sign) FormatWriter_Put(writer, (uint8_t)sign);
        FormatWriter_PutRepeated(writer, '0', pad);
        FormatWriter_PutAscii(writer, text, length);
    } else {
        FormatWriter_PutRepeated(writer, ' ', pad);
        if (sign) FormatWriter_Put(writer, (uint8_t)sign);
        FormatWriter_PutAscii(writer, text, length);
    }
    FormatWriter_End(writer);
    if (allocated != nullptr) Format_FreeWork(allocated);
    return writer.used;
}

} // namespace Vantrel
