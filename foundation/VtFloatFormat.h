// Floating-point formatting: the 'e', 'E', 'f', 'g', 'G', 'a' and 'A' conversions of the formatter.
// Digits come from the exact binary value of the double (big-integer arithmetic), rounded with the
// library's rule: a remainder strictly above half rounds up, exactly half does not.
// Stands on VtCharCode (writing into the destination page).
#pragma once

#include <cstdint>

namespace Vantrel {

// Class of a value.
enum FloatClass : int32_t {
    FloatClass_Finite = 0,
    FloatClass_NaN = 1,
    FloatClass_NegativeInfinity = 2,
    FloatClass_PositiveInfinity = 3,
};

// One conversion: the double, the letter, the flags '#', '0', '-', '+' and ' ', the width and the
// precision (-1 for none) into destination with room bytes in the given page. Returns the bytes
// written; 0 when not even the terminator fits. The output is terminated.
int CharCode_Format_PutFloat(double value, int letter, int alternate, int zero, int left, int plus,
                             int space, int width, int precision, void* destination, int room,
                             int32_t page);

// Bytes of text area the styles need for a precision (the whole text of any value, 'f' of the
// largest double included, with its terminator).
int CharCode_Format_FloatTextSize(int precision);

// The styles write ASCII text (no sign) for a magnitude that is never negative and return its
// length; the text area must hold CharCode_Format_FloatTextSize(precision) bytes. precision -1
// means the default of 6.
int CharCode_Format_FloatFixed(double magnitude, int alternate, int precision, char* text);
int CharCode_Format_FloatExp(double magnitude, int alternate, int precision, int upper, char* text);
int CharCode_Format_FloatGeneral(double magnitude, int alternate, int precision, int upper, char* text);
int CharCode_Format_FloatHex(double magnitude, int alternate, int precision, int upper, char* text);

// The texts of NaN and the infinities ("1.#QNAN", "1.#INF" rounded to the precision) in the form of
// the letter's style.
int CharCode_Format_FloatSpecial(FloatClass valueClass, int letter, int alternate, int precision,
                                 char* text);

} // namespace Vantrel
