// Shared helpers of the window and start-up tests: a private working folder, the settings the tool
// makes before start-up, and reading the library log.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "LogReading.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

namespace WindowTest {

// UTF-8 bytes of a u8 literal, for searching the log (narrow literals here are Shift-JIS).
inline std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

using LogReading::ReadLog;

inline bool LogContains(const char8_t* text) { return ReadLog().find(Utf8(text)) != std::string::npos; }

// Position of a text in the log, std::string::npos when missing.
inline size_t LogFind(const std::string& log, const char8_t* text, size_t from = 0) { return log.find(Utf8(text), from); }

// The settings the tool makes before InitializeLibrary.
inline void ApplyToolSettings() {
    Vantrel::SetScreenResolution(860, 560, 32, 60);
    Vantrel::ChangeWindowMode(1);
    Vantrel::SetWaitVSyncEnable(0);
    Vantrel::SetRunWhileInactive(1);
    Vantrel::SetAllowMultipleInstances(1);
    Vantrel::SetWindowCloseEnabled(1);
}

// Window enumeration callback (a lambda cannot have the stdcall convention 32-bit Windows wants).
inline BOOL CALLBACK DestroyLeftoverWindow(HWND window, LPARAM) {
    DestroyWindow(window);
    return TRUE;
}

// Starts the library once for a whole suite on this thread with the tool's settings. Windows and
// messages that earlier tests of this program left on this thread (a window destroyed late ends
// whatever library is running then) are cleared away first.
inline void StartLibraryForSuite() {
    ApplyToolSettings();
    Vantrel::Window.ClassName[0] = 0;
    EnumThreadWindows(GetCurrentThreadId(), DestroyLeftoverWindow, 0);
    MSG leftover;
    while (PeekMessageW(&leftover, nullptr, 0, 0, PM_REMOVE)) {
    }
    ASSERT_EQ(Vantrel::InitializeLibrary(), 0);
    // A quit that an earlier library of this thread posted while ending reaches this one's
    // start-up pump; these tests need a running pump.
    Vantrel::Window.EndFlag = 0;
    Vantrel::System_ClearEndRequest();
}

inline int ScreenSaverActive() {
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active ? 1 : 0;
}

inline void SetScreenSaverActive(int active) {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE);
}

// Runs the pump until the condition holds or about two seconds passed.
template <typename Condition>
bool PumpUntil(Condition condition) {
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        Vantrel::PollMessages();
        Sleep(5);
    }
    return condition();
}

// Keeps the XInput libraries loaded while the library is started and ended again and again: under
// Wine, freeing xinput1_4.dll at each library end while its device-update thread still runs makes that
// thread execute unloaded code now and then. Given back after the suite, so that later suites can load
// the scripted xinput1_4.dll of their own.
inline HMODULE PinnedXInput[3] = {nullptr, nullptr, nullptr};

inline void PinXInputLibraries() {
    if (PinnedXInput[0] || PinnedXInput[1] || PinnedXInput[2]) return;
    PinnedXInput[0] = LoadLibraryW(L"xinput1_4.dll");
    PinnedXInput[1] = LoadLibraryW(L"xinput1_3.dll");
    PinnedXInput[2] = LoadLibraryW(L"xinput9_1_0.dll");
}

inline void UnpinXInputLibraries() {
    for (HMODULE& module : PinnedXInput) {
        if (module) FreeLibrary(module);
        module = nullptr;
    }
}

// Every test of the window and start-up runs with the library ended and the tool's settings applied.
class LibraryTest : public ::testing::Test {
public:
    static void TearDownTestSuite() { UnpinXInputLibraries(); }

protected:
    void SetUp() override {
        PinXInputLibraries();
        ApplyToolSettings();
        // Each test starts like a new process: the class name follows the title again.
        Vantrel::Window.ClassName[0] = 0;
    }
    void TearDown() override {
        Vantrel::TerminateLibrary();
        Vantrel::SetWindowCloseEnabled(1);
        Vantrel::SetRunWhileInactive(1);
        Vantrel::SetAllowMultipleInstances(1);
    }
};

}  // namespace WindowTest
