// The POV converter: hat value to direction mask, switch sets taken in the order they are
// pressed, and the presses and releases of the set in use. Stands on PadReading, SettingFiles
// and InputInjection.
#include "app/PovConverter.h"

#include <cstring>

#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "app/SettingFiles.h"

namespace Qelvar {

PovConverterState PovConverter;

namespace {

constexpr int Up = 1, Right = 2, Down = 4, Left = 8;

bool SwitchHeld(int32_t button)
{
    return button >= 0 && button < 32 && Pad.Buttons[button] == 0x80;
}

// Lets go of every active direction (a switch change).
void ReleaseActiveDirections()
{
    for (int d = 0; d < 4; ++d) {
        if (PovConverter.DirActive[d] == 1) {
            InputInjection_ReleaseInput(PovConverter.DirPressed[d]);
            PovConverter.DirPressed[d] = 0;
            PovConverter.DirActive[d] = 0;
        }
    }
}

void UpdateSwitch(uint8_t enabled, int32_t button, uint8_t* active, uint8_t otherActive)
{
    if (enabled != 1) {
        return;
    }
    if (SwitchHeld(button) && otherActive == 0) {
        if (*active == 0) {
            ReleaseActiveDirections();
            *active = 1;
        }
    } else if (*active == 1) {
        ReleaseActiveDirections();
        *active = 0;
    }
}

}  // namespace

int PovDirectionMask(int32_t pov, bool diagonals)
{
    switch (pov) {
    case 0: return Up;
    case 4500: return diagonals ? Up | Right : 0;
    case 9000: return Right;
    case 13500: return diagonals ? Right | Down : 0;
    case 18000: return Down;
    case 22500: return diagonals ? Down | Left : 0;
    case 27000: return Left;
    case 31500: return diagonals ? Left | Up : 0;
    default: return 0;
    }
}

void PovConverter_ClearHeld()
{
    memset(&PovConverter, 0, sizeof(PovConverter));
}

int ConvertPov()
{
    if (PadCount <= 0) {
        return 0;
    }
    const PovSettings& pov = Settings.Pov;
    PovConverterState& state = PovConverter;
    const int mask = PovDirectionMask(Pad.POV[0], pov.DiagonalEnabled != 0);

    UpdateSwitch(pov.Switch1Enabled, pov.Switch1Button, &state.Switch1Active, state.Switch2Active);
    UpdateSwitch(pov.Switch2Enabled, pov.Switch2Button, &state.Switch2Active, state.Switch1Active);
    // Switch 2 let go while switch 1 is held: switch 1 takes over in this pass, so that the hat
    // goes from set 2 to set 1 without a tap of set 0 between them.
    UpdateSwitch(pov.Switch1Enabled, pov.Switch1Button, &state.Switch1Active, state.Switch2Active);

    const int set = state.Switch1Active ? 1 : (state.Switch2Active ? 2 : 0);
    for (int d = 0; d < 4; ++d) {
        const int entry = set * 4 + d;
        const bool pointed = (mask & (1 << d)) != 0;
        if (pointed && state.DirActive[d] == 0 && pov.DirAssigned[entry] == 1) {
            state.DirPressed[d] = InputInjection_PressInput(pov.DirType[entry], pov.DirKey[entry], pov.DirMouse[entry]);
            state.DirActive[d] = 1;
        } else if (!pointed && state.DirActive[d] == 1) {
            InputInjection_ReleaseInput(state.DirPressed[d]);
            state.DirPressed[d] = 0;
            state.DirActive[d] = 0;
        }
    }
    return 0;
}

}  // namespace Qelvar
