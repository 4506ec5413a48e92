// Wrapping of cp932 texts into lines of a pixel width with the Japanese line-breaking rules
// (no closing bracket, small kana or punctuation at a line's start, no opening bracket or currency
// sign at its end), and drawing of the wrapped lines. Stands on the font module's measuring and text.
#pragma once
#include <string>

namespace Qelvar {

struct KinsokuSet {
    const unsigned char* DoubleByte;  // byte pairs, terminated by a zero byte
    const unsigned char* SingleByte;  // bytes, terminated by a zero byte
};

extern const KinsokuSet LineStartForbidden;
extern const KinsokuSet LineEndForbidden;

inline bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// character: its lead byte and, for a two-byte character, the byte after it.
bool IsKinsokuChar(const KinsokuSet& set, const char* character);

// The width one character (1 or 2 bytes, terminated) takes in the font, drawn as plain text.
// The font module's measuring by default; tests put a fixed-width function here.
extern int (*TextWrap_MeasureCharacter)(int fontHandle, const char* character);

// The text with line feeds inserted so that no line is wider than maxWidth.
std::string WrapText(int fontHandle, std::string text, int maxWidth);

// The lines of text at x = 10, y + 20 per line, as plain text.
void DrawTextLines(int y, int fontHandle, unsigned int color, const std::string& text);

}  // namespace Qelvar
