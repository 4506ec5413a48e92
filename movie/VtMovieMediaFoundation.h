// Media Foundation start-up and shut-down, shared by the sound system's decoder and movie playback:
// MFStartup runs once per process, whoever asks first; movie shut-down ends it.
#pragma once

namespace Vantrel {

// The Media Foundation version asked of MFStartup.
constexpr unsigned long MovieWin_MediaFoundationVersion = 0x20070;

// 0 when Media Foundation is started (now or before), -1 when MFStartup is missing or fails; the started
// flag is set only by a start-up that succeeded, so a failed one may be tried again later.
int MovieWin_StartupMediaFoundation();
// When the library started Media Foundation: clears the started flag and calls MFShutdown. Returns 0.
int MovieWin_ShutdownMediaFoundation();
// 1 while the library's start-up of Media Foundation holds.
int MovieWin_IsMediaFoundationStarted();

}  // namespace Vantrel
