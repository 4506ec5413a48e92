// The button converter: normal and two-key mode over the 20 pad buttons. The hold test compares
// the elapsed time by difference, so it stays right across the millisecond counter's wrap.
// Stands on PadReading (Pad.Buttons), SettingFiles (ButtonSettings) and InputInjection.
#include "app/ButtonConverter.h"

#include <cstring>

#include "app/InputInjection.h"
#include "app/PadReading.h"
#include "system/VtTime.h"

namespace Qelvar {

ButtonConverterState ButtonConverter;

int32_t ElapsedMilliseconds(int32_t start, int32_t now)
{
    return static_cast<int32_t>((static_cast<uint32_t>(now) - static_cast<uint32_t>(start)) & 0x7FFFFFFF);
}

int32_t (*ButtonConverter_Clock)() = Vantrel::GetMillisecondCount;

void ButtonConverter_Clear()
{
    memset(&ButtonConverter, 0, sizeof(ButtonConverter));
}

void ButtonConverter_ClearHeld()
{
    memset(ButtonConverter.FirstActive, 0, sizeof(ButtonConverter.FirstActive));
    memset(ButtonConverter.SecondActive, 0, sizeof(ButtonConverter.SecondActive));
    memset(ButtonConverter.FirstSent, 0, sizeof(ButtonConverter.FirstSent));
    memset(ButtonConverter.SecondSent, 0, sizeof(ButtonConverter.SecondSent));
}

int ConvertButtons()
{
    if (PadCount <= 0) {
        return 0;
    }
    const ButtonSettings& settings = Settings.Buttons;
    ButtonConverterState& state = ButtonConverter;
    for (int i = 0; i < ConvertedButtonCount; ++i) {
        if (Pad.Buttons[i] == 0x80) {
            if (settings.ButtonMode[i] == 0) {
                if (settings.FirstAssigned[i] == 1 && state.FirstActive[i] == 0) {
                    state.FirstSent[i] = InputInjection_PressInput(settings.FirstType[i], settings.FirstKey[i],
                                                              settings.FirstMouse[i]);
                    state.FirstActive[i] = 1;
                }
                // A hold in normal mode keeps its press time current: when the button is switched to
                // two-key mode while held, the half second counts from the switch.
                if (state.FirstActive[i] == 1) {
                    state.PressTime[i] = ButtonConverter_Clock();
                }
            } else if (settings.FirstAssigned[i] == 1) {
                if (state.FirstActive[i] == 0 && state.SecondActive[i] == 0) {
                    state.FirstSent[i] = InputInjection_PressInput(settings.FirstType[i], settings.FirstKey[i],
                                                              settings.FirstMouse[i]);
                    state.PressTime[i] = ButtonConverter_Clock();
                    state.FirstActive[i] = 1;
                } else if (state.FirstActive[i] == 1 && state.SecondActive[i] == 0 &&
                           ElapsedMilliseconds(state.PressTime[i], ButtonConverter_Clock()) > TwoKeyHoldMilliseconds) {
                    InputInjection_ReleaseInput(state.FirstSent[i]);
                    state.FirstSent[i] = 0;
                    if (settings.SecondAssigned[i] == 1) {
                        state.SecondSent[i] = InputInjection_PressInput(settings.SecondType[i], settings.SecondKey[i],
                                                                   settings.SecondMouse[i]);
                    }
                    state.SecondActive[i] = 1;
                }
            }
        } else if (state.FirstActive[i] == 1) {
            if (state.SecondActive[i] == 0) {
                InputInjection_ReleaseInput(state.FirstSent[i]);
                state.FirstSent[i] = 0;
                state.FirstActive[i] = 0;
            } else {
                InputInjection_ReleaseInput(state.SecondSent[i]);
                state.SecondSent[i] = 0;
                state.SecondActive[i] = 0;
                state.FirstActive[i] = 0;
            }
        }
    }
    return 0;
}

}  // namespace Qelvar
