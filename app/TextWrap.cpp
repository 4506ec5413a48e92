// Line breaking for the log panels of the load and save pages: cp932 characters are measured one by
// one and a line feed is put where the next character overflows, moved back where the breaking
// rules forbid the split. Stands on the font module's measuring and drawing of formatted text.
#include "app/TextWrap.h"

#include <cstring>

#include "font/VtFontDraw.h"

namespace Qelvar {

using namespace Vantrel;

namespace {

const unsigned char StartForbiddenDouble[] = {
    0x81, 0x41, 0x81, 0x42, 0x81, 0x45, 0x81, 0x4A, 0x81, 0x4B, 0x81, 0x66, 0x81, 0x68, 0x81, 0x6C, 0x81, 0x72,
    0x81, 0x74, 0x81, 0x76, 0x81, 0x78, 0x81, 0x7A, 0x81, 0x5B, 0x82, 0x9F, 0x82, 0xA1, 0x82, 0xA3, 0x82, 0xA5,
    0x82, 0xA7, 0x82, 0xC1, 0x82, 0xE1, 0x82, 0xE3, 0x82, 0xE5, 0x82, 0xEC, 0x83, 0x40, 0x83, 0x42, 0x83, 0x44,
    0x83, 0x46, 0x83, 0x48, 0x83, 0x62, 0x83, 0x83, 0x83, 0x85, 0x83, 0x87, 0x83, 0x8E, 0x83, 0x95, 0x83, 0x96,
    0x81, 0x52, 0x81, 0x53, 0x81, 0x54, 0x81, 0x55, 0x81, 0x56, 0x81, 0x58, 0x81, 0x5C, 0x81, 0x5D, 0x81, 0x60,
    0x81, 0x8B, 0x81, 0x8C, 0x81, 0x8D, 0x81, 0x8E, 0x81, 0x91, 0x00};
// "､｡,.･:;?!ﾞﾟ)]}｣ｰｧｨｩｪｫｯｬｭｮ-=%"
const unsigned char StartForbiddenSingle[] = {0xA4, 0xA1, ',', '.', 0xA5, ':', ';', '?', '!', 0xDE, 0xDF, ')', ']', '}',
                                              0xA3, 0xB0, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAF, 0xAC, 0xAD, 0xAE, '-',
                                              '=', '%', 0x00};
const unsigned char EndForbiddenDouble[] = {0x81, 0x65, 0x81, 0x67, 0x81, 0x6B, 0x81, 0x71, 0x81, 0x73, 0x81, 0x75,
                                            0x81, 0x77, 0x81, 0x79, 0x81, 0x8F, 0x00};
const unsigned char EndForbiddenSingle[] = {0x28, 0x5B, 0x7B, 0xA2, 0x5C, 0x24, 0x00};

int MeasureWithFont(int fontHandle, const char* character)
{
    return GetFormattedTextWidthToHandle(fontHandle, "%s", character);
}

// Appends text[from, to) whole: a long piece is never cut.
void AppendPiece(std::string& result, const std::string& text, size_t from, size_t to)
{
    result.append(text, from, to - from);
}

}  // namespace

const KinsokuSet LineStartForbidden = {StartForbiddenDouble, StartForbiddenSingle};
const KinsokuSet LineEndForbidden = {EndForbiddenDouble, EndForbiddenSingle};

int (*TextWrap_MeasureCharacter)(int fontHandle, const char* character) = MeasureWithFont;

bool IsKinsokuChar(const KinsokuSet& set, const char* character)
{
    const unsigned char lead = static_cast<unsigned char>(character[0]);
    if (IsLeadByte(lead)) {
        const unsigned char trail = static_cast<unsigned char>(character[1]);
        for (const unsigned char* pair = set.DoubleByte; pair[0] != 0; pair += 2) {
            if (pair[0] == lead && pair[1] == trail) return true;
        }
        return false;
    }
    for (const unsigned char* byte = set.SingleByte; *byte != 0; ++byte) {
        if (*byte == lead) return true;
    }
    return false;
}

std::string WrapText(int fontHandle, std::string text, int maxWidth)
{
    std::string result;
    size_t start = 0;      // the pending piece
    size_t lineStart = 0;  // where the current line began: a break never reaches back before it
    int width = 0;
    size_t previous = 0, previousLength = 0, beforePreviousLength = 0;
    size_t position = 0;
    while (position < text.size() && text[position] != '\0') {
        size_t length = 1;
        if (IsLeadByte(static_cast<unsigned char>(text[position])) && position + 1 < text.size() &&
            text[position + 1] != '\0')
            length = 2;
        if (text[position] == '\n') {
            AppendPiece(result, text, start, position + 1);
            start = lineStart = position + 1;
            width = 0;
            position += 1;
            continue;
        }
        char character[3] = {text[position], length == 2 ? text[position + 1] : '\0', '\0'};
        width += TextWrap_MeasureCharacter(fontHandle, character);
        if (width > maxWidth) {
            size_t breakAt = position;
            if (IsKinsokuChar(LineStartForbidden, character)) {
                const bool previousToo = previousLength > 0 && IsKinsokuChar(LineStartForbidden, &text[previous]);
                breakAt = position - previousLength - (previousToo ? beforePreviousLength : 0);
            } else if (previousLength > 0 && IsKinsokuChar(LineEndForbidden, &text[previous])) {
                breakAt = position - previousLength;
            }
            // The carried characters must leave something on the line; otherwise break where the
            // overflow happened. A character wider than the whole line stays alone on its line.
            if (breakAt <= lineStart || breakAt > position) breakAt = position;
            if (breakAt == lineStart) {
                beforePreviousLength = previousLength;
                previous = position;
                previousLength = length;
                position += length;
                continue;
            }
            AppendPiece(result, text, start, breakAt);
            result += '\n';
            start = lineStart = breakAt;
            width = 0;
            previousLength = beforePreviousLength = 0;
            position = breakAt;
            continue;
        }
        beforePreviousLength = previousLength;
        previous = position;
        previousLength = length;
        position += length;
    }
    AppendPiece(result, text, start, position);
    return result;
}

void DrawTextLines(int y, int fontHandle, unsigned int color, const std::string& text)
{
    if (text.empty()) return;
    size_t position = 0;
    for (int line = 0;; ++line) {
        const size_t end = text.find('\n', position);
        const std::string piece = text.substr(position, end == std::string::npos ? std::string::npos : end - position);
        DrawFormattedTextToHandle(10, y + 20 * line, color, fontHandle, "%s", piece.c_str());
        if (end == std::string::npos) break;
        position = end + 1;
    }
}

}  // namespace Qelvar
