// Test helper: Shift-JIS test text converted into any code page, kept alive until the caller clears
// KeptTexts. Used by the formatting and scanning tests.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "foundation/VtCharCode.h"

namespace FoundationTest {

inline std::deque<std::vector<uint8_t>> KeptTexts;

inline const void* TextIn(const char* narrowText, Vantrel::CodePageId page) {
    using namespace Vantrel;
    int bytes = CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, nullptr, 0x7FFFFFFF, page);
    KeptTexts.emplace_back((size_t)(bytes > 0 ? bytes : 0) + 8, 0);
    CharCode_ConvertString(narrowText, -1, CodePage_ShiftJis, KeptTexts.back().data(), bytes, page);
    return KeptTexts.back().data();
}

}  // namespace FoundationTest
