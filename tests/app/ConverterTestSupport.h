// Shared fixture of the converter tests: every injected event goes to a recorder instead of the
// system, and the recorder spells it out ("+11" key 0x11 down, "-C8" key 0xC8 up, "+L"/"-L" left
// button, "+M", "+R", "m15,0" a move), so a case reads as the events it expects.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ButtonConverter.h"
#include "app/InputInjection.h"
#include "app/KeyNames.h"
#include "app/PadReading.h"
#include "app/PovConverter.h"
#include "app/SettingFiles.h"
#include "app/StickConverters.h"

namespace QelvarTest {

struct KeyRecord {
    WORD VirtualKey;
    WORD Scan;
    DWORD Flags;
    DWORD Time;
    int Size;
};

inline std::vector<std::string> RecordedEvents;
inline std::vector<KeyRecord> RecordedKeys;
inline int32_t FakeNow = 1000;

inline UINT WINAPI RecordSendInput(UINT count, LPINPUT inputs, int size)
{
    for (UINT i = 0; i < count; ++i) {
        const KEYBDINPUT& key = inputs[i].ki;
        char text[16];
        snprintf(text, sizeof(text), "%c%02X", (key.dwFlags & KEYEVENTF_KEYUP) ? '-' : '+', key.wScan);
        RecordedEvents.push_back(text);
        RecordedKeys.push_back({key.wVk, key.wScan, key.dwFlags, key.time, size});
    }
    return count;
}

inline void WINAPI RecordMouseEvent(DWORD flags, DWORD dx, DWORD dy, DWORD data, ULONG_PTR extraInfo)
{
    struct Named {
        DWORD Flag;
        const char* Text;
    };
    static const Named buttons[] = {{MOUSEEVENTF_LEFTDOWN, "+L"}, {MOUSEEVENTF_LEFTUP, "-L"},
                                    {MOUSEEVENTF_MIDDLEDOWN, "+M"}, {MOUSEEVENTF_MIDDLEUP, "-M"},
                                    {MOUSEEVENTF_RIGHTDOWN, "+R"}, {MOUSEEVENTF_RIGHTUP, "-R"}};
    if (flags == MOUSEEVENTF_MOVE) {
        char text[32];
        snprintf(text, sizeof(text), "m%d,%d", static_cast<int>(dx), static_cast<int>(dy));
        RecordedEvents.push_back(text);
        return;
    }
    for (const Named& button : buttons) {
        if (flags == button.Flag) {
            RecordedEvents.push_back(button.Text);
            return;
        }
    }
    RecordedEvents.push_back("?mouse");
}

inline int32_t FakeClock()
{
    return FakeNow;
}

class ConverterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Qelvar::ResetSettings();
        Qelvar::Settings.Pov.DiagonalEnabled = 0;
        memset(Qelvar::PressedKeyTable, 0, sizeof(Qelvar::PressedKeyTable));
        memset(Qelvar::PressedMouseTable, 0, sizeof(Qelvar::PressedMouseTable));
        Qelvar::LeftStick = {0x11, 0x20, 0x1F, 0x1E, 0, 0, 0, 0, 0, 0};
        Qelvar::RightStick = {0, 0};
        Qelvar::ButtonConverter_Clear();
        Qelvar::PovConverter_ClearHeld();
        Qelvar::Pad = {};
        for (int32_t& hat : Qelvar::Pad.POV) {
            hat = -1;
        }
        memset(Qelvar::VirtualAxes, 0, sizeof(Qelvar::VirtualAxes));
        Qelvar::PadCount = 1;
        FakeNow = 1000;
        Qelvar::ButtonConverter_Clock = FakeClock;
        Qelvar::InputInjection_Sink = {RecordSendInput, RecordMouseEvent};
        RecordedEvents.clear();
        RecordedKeys.clear();
    }

    void TearDown() override
    {
        Qelvar::InputInjection_UseSystemSink();
        memset(Qelvar::PressedKeyTable, 0, sizeof(Qelvar::PressedKeyTable));
        memset(Qelvar::PressedMouseTable, 0, sizeof(Qelvar::PressedMouseTable));
    }

public:
    // The events recorded since the last call, separated by spaces.
    static std::string Take()
    {
        std::string joined;
        for (const std::string& event : RecordedEvents) {
            if (!joined.empty()) {
                joined += ' ';
            }
            joined += event;
        }
        RecordedEvents.clear();
        return joined;
    }
};

}  // namespace QelvarTest
