// The button converter: each of the 20 pad buttons becomes a key or a mouse button, held as long
// as the pad button (normal mode), or a tap of the first input and, after a hold of more than
// 500 ms, the second input (two-key mode). Stands on PadReading, SettingFiles and InputInjection.
#pragma once

#include <cstdint>

#include "app/SettingFiles.h"

namespace Qelvar {

constexpr int32_t TwoKeyHoldMilliseconds = 500;

struct ButtonConverterState {
    uint8_t FirstActive[ConvertedButtonCount];   // the press was taken (input 1 sent, or would have been)
    uint8_t SecondActive[ConvertedButtonCount];  // two-key mode: the hold switched to input 2
    int32_t PressTime[ConvertedButtonCount];     // millisecond count when a two-key press began
    // What went down (InputInjection_PressInput), so that a release goes to that input even when
    // the settings changed meanwhile.
    int32_t FirstSent[ConvertedButtonCount];
    int32_t SecondSent[ConvertedButtonCount];
};

extern ButtonConverterState ButtonConverter;
// The millisecond time base (GetMillisecondCount); tests may put a fake clock here.
extern int32_t (*ButtonConverter_Clock)();
// Milliseconds from `start` to `now` on the clock's 31-bit counter, correct across its wrap.
int32_t ElapsedMilliseconds(int32_t start, int32_t now);

// One pass over buttons 0 to 19; does nothing without a pad. Returns 0.
int ConvertButtons();
// The static initialiser's clearing of the converter state.
void ButtonConverter_Clear();
// Clears the active flags (the inputs themselves are released by ReleaseAllHeld).
void ButtonConverter_ClearHeld();

}  // namespace Qelvar
