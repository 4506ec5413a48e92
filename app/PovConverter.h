// The POV converter: the hat becomes four direction inputs (with optional diagonals) from the
// normal set or from one of two alternative sets held by switch buttons. Stands on PadReading,
// SettingFiles (PovSettings) and InputInjection.
#pragma once

#include <cstdint>

namespace Qelvar {

struct PovConverterState {
    uint8_t DirActive[4];  // 0 up, 1 right, 2 down, 3 left: held, in whatever set pressed it
    uint8_t Switch1Active;
    uint8_t Switch2Active;
    int32_t DirPressed[4];  // what went down for each direction (InputInjection_PressInput)
};

extern PovConverterState PovConverter;

// The directions of a hat value as a mask (bit d), exact values only.
int PovDirectionMask(int32_t pov, bool diagonals);
// One pass; does nothing without a pad. Returns 0.
int ConvertPov();
// Clears the direction flags (the inputs themselves are released by ReleaseAllHeld).
void PovConverter_ClearHeld();

}  // namespace Qelvar
