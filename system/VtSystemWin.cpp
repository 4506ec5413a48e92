// Per-frame message processing: drains the window's queue, replays the activation changes deferred
// during the drain, and runs the library's per-frame services; while the window is inactive and the
// program does not run in the background, the pump waits and keeps only background services alive.
// Stands on the window state and procedure, the call gate, handles, asynchronous loading, memory,
// sound, input and key input.
#include "foundation/VtWinAPI.h"
#include "foundation/VtASyncLoad.h"
#include "foundation/VtHandle.h"
#include "foundation/VtMemory.h"
#include "foundation/VtNetwork.h"
#include "foundation/VtWinAPI.h"
#include "foundation/VtWinAPIText.h"
#include "graphics/VtGraphicsScreen.h"
#include "sound/VtSound.h"
#include "system/VtSystem.h"
#include "system/VtInputKeyMouseWin.h"
#include "system/VtInputPadWin.h"
#include "system/VtPadVibration.h"
#include "system/VtSystemNeighbours.h"
#include "system/VtTime.h"
#include "system/VtWindow.h"

namespace Vantrel {

int32_t KeyInputPumpGuard = 0;

namespace {

bool Pump_IsInactive() { return Window.ActiveFlag == 0 || Window.MinimisedFlag == 1; }

bool Pump_IsWaiting() {
    return Window.DestroyRequested == 0 && Window.ActivateQueue.Count == 0 && Window.RunWhileInactive == 0 &&
           Pump_IsInactive();
}

void Pump_SoundUpkeepOnSingleProcessor() {
    if (Window.LogicalProcessorCount > 1) return;
    Sound_ProcessStreamsAll();
    SoftSound_ProcessPlayersAll();
    Sound_Process3DAll();
    Sound_ProcessPlayingAll();
}

// One message of the thread: any window's, else one posted to the thread, else the main window's.
bool Pump_Take(MSG* message) {
    if (WinAPI_PeekMessage(message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (WinAPI_PeekMessage(message, nullptr, 0, 0, PM_REMOVE)) return true;
    }
    if (WinAPI_PeekMessage(message, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE)) return true;
    return WinAPITable.PeekMessageW(message, Window.MainWindow, 0, 0, PM_REMOVE) != FALSE;
}

}  // namespace

int System_PollMessagesNoLock() {
    if (KeyInputPumpGuard == 1) return 0;
    WinAPI_EnsureLoaded();
    Window.Pumping = 1;

    if (!LibraryCore.NoWindow) {
        if (Window.MainWindow == nullptr) {
            Window.Pumping = 0;
            return Window.EndFlag == 1 ? -1 : 0;
        }
        const uint32_t self = WinAPITable.GetCurrentThreadId();
        bool handledBefore = true;
        bool firstPass = true;
        int passes = 0;
        bool leaveAll = false;
        for (;;) {
            if (!Pump_IsWaiting()) {
                if ((!firstPass && !handledBefore) || Window.EndFlag == 1) break;
            }
            firstPass = false;
            if (Pump_IsInactive() && Window.RunWhileInactive == 0) {
                WinAPITable.Sleep(1);
                const uint32_t now = static_cast<uint32_t>(GetMillisecondCount());
                if (Window.PaintPending == 1 && now - Window.LastPresentTime > 64) {
                    PresentScreen();
                    Window.LastPresentTime = now;
                    Window.PaintPending = 0;
                }
            }
            bool handled = false;
            MSG message{};
            while (Pump_Take(&message)) {
                if (message.message == WM_ACTIVATEAPP && Window_IsNormalWindow())
                    Window.ActiveFlag = LOWORD(message.wParam);
                if (Window.EndFlag == 1) {
                    leaveAll = true;
                    break;
                }
                if (message.message == WM_QUIT) {
                    Window.EndFlag = 1;
                    System_RequestEnd();
                }
                // No accelerator table is ever installed, so translation always declines.
                WinAPITable.TranslateMessage(&message);
                WinAPI_DispatchMessage(&message);
                handled = true;
            }
            if (leaveAll) break;
            handledBefore = handled;
            if (Pump_IsInactive() && Window.RunWhileInactive == 0) {
                Memory_Tick();
                Network_ProcessMessages(1);
                Pump_SoundUpkeepOnSingleProcessor();
                Sound_ProcessFinishDeleteAll();
                Graphics_Dispatch_SysMemPool_ReleaseUnused();
                Handle_ProcessDeleteRequests(0);
                ASyncLoad_ServeMainThreadRequests();
                WinAPITable.Sleep(1);
            }
            if (Window.EndFlag == 1 || self != Window.WindowThreadId) break;
            ++passes;
            if (Window.CloseState != CloseStateNormal && passes >= 10) break;
        }

        // Full-screen menu upkeep has nothing to do in windowed mode (no menu in this system).

        if (Window.DestroyRequested != 1) {
            ActivateQueue& queue = Window.ActivateQueue;
            while (queue.Count > 0) {
                const ActivateQueueEntry entry = queue.Entries[queue.ReadIndex];
                queue.ReadIndex = (queue.ReadIndex + 1) % ActivateQueueSize;
                queue.Count -= 1;
                Window_ProcessActivate(entry.WParam, static_cast<LPARAM>(static_cast<int32_t>(entry.LParam)),
                                       entry.FromActivateApp, 0);
            }
        }
    }

    Pump_SoundUpkeepOnSingleProcessor();
    Sound_ProcessFinishDeleteAll();
    Graphics_Dispatch_SysMemPool_ReleaseUnused();
    if (Window.EndFlag != 1) {
        Handle_ProcessDeleteRequests(0);
        ASyncLoad_ServeMainThreadRequests();
    }
    Sound_Music_ProcessAll();
    if (Window.DevicesChanged == 1) {
        Window.DevicesChanged = 0;
        if (Window.EndFlag != 1) Joypad_Setup();
    }
    Keyboard_RefreshGuarded(0);
    Joypad_UpdateVibrationTimers();
    Network_ProcessMessages(1);
    Memory_Tick();
    Sound_ProcessDeviceChange();

    KeyInputPumpGuard = 1;
    KeyInput_ProcessFrame();
    KeyInputPumpGuard = 0;

    Window.Pumping = 0;
    return Window.EndFlag == 1 ? -1 : 0;
}

int PollMessages() {
    Window_LibraryCallGate_Enter();
    const int result = System_PollMessagesNoLock();
    Window_LibraryCallGate_Leave();
    return result;
}

int Window_QueueActivate(WPARAM wParam, LPARAM lParam, int fromActivateApp, int skipBackPicture) {
    ActivateQueue& queue = Window.ActivateQueue;
    if (Window.Pumping == 1 && Window.CreatingWindow == 0 && queue.Count < ActivateQueueSize) {
        ActivateQueueEntry& entry = queue.Entries[queue.WriteIndex];
        entry.WParam = static_cast<uint32_t>(wParam);
        entry.LParam = static_cast<uint32_t>(lParam);
        entry.FromActivateApp = fromActivateApp;
        queue.WriteIndex = (queue.WriteIndex + 1) % ActivateQueueSize;
        queue.Count += 1;
        return 0;
    }
    Window_ProcessActivate(wParam, lParam, fromActivateApp, skipBackPicture);
    return 0;
}

int Window_IsInactiveWaitNeeded() {
    if (Graphics_Screen_IsSettingUp()) return 0;
    if (Window.InPaint) return 0;
    if (!(Window.ActiveFlag == 0 || Window.MinimisedFlag == 1)) return 0;
    if (LibraryCore.NoWindow) return 0;
    if (Window.RunWhileInactive) return 0;
    return 1;
}

int Window_WaitWhileInactive() {
    const int needed = Window_IsInactiveWaitNeeded();
    // While the pump runs the key-input processing it returns at once without pumping, so a wait
    // from in there would spin for ever: the next frame's pump does the waiting instead.
    if (needed == 1 && KeyInputPumpGuard == 1) return 1;
    if (needed == 1 && Window.EndFlag == 0 && Window.MainWindow != nullptr) {
        int result = 0;
        do {
            result = System_PollMessagesNoLock();
        } while (result == 0 && (Window.ActiveFlag == 0 || Window.MinimisedFlag == 1));
        return result;
    }
    return needed;
}

}  // namespace Vantrel
