// The process-wide Media Foundation started flag. Callers may come from the loading thread (sound
// decoding) and the main thread (movies) at once: the flag passes through a "starting" state so that
// only one of them calls MFStartup. Stands on the system function table.
#include "movie/VtMovieMediaFoundation.h"

#include "foundation/VtWinAPI.h"

namespace Vantrel {

namespace {

enum : LONG { MediaFoundation_Stopped = 0, MediaFoundation_Starting = 1, MediaFoundation_Started = 2 };
volatile LONG MediaFoundationState = MediaFoundation_Stopped;

// Takes the flag from one state to "starting"; waits while another thread holds it there.
bool MediaFoundation_Claim(LONG from)
{
    for (;;) {
        LONG seen = InterlockedCompareExchange(&MediaFoundationState, MediaFoundation_Starting, from);
        if (seen == from) return true;
        if (seen != MediaFoundation_Starting) return false;
        Sleep(1);
    }
}

}  // namespace

int MovieWin_StartupMediaFoundation()
{
    if (!MediaFoundation_Claim(MediaFoundation_Stopped)) return 0;  // started already
    WinAPI_EnsureLoaded();
    HRESULT hr = WinAPITable.MFStartup != nullptr
                     ? WinAPITable.MFStartup(MovieWin_MediaFoundationVersion, 0 /* MFSTARTUP_FULL */)
                     : E_NOTIMPL;
    InterlockedExchange(&MediaFoundationState, SUCCEEDED(hr) ? MediaFoundation_Started : MediaFoundation_Stopped);
    return SUCCEEDED(hr) ? 0 : -1;
}

int MovieWin_ShutdownMediaFoundation()
{
    if (!MediaFoundation_Claim(MediaFoundation_Started)) return 0;
    if (WinAPITable.MFShutdown != nullptr) WinAPITable.MFShutdown();
    InterlockedExchange(&MediaFoundationState, MediaFoundation_Stopped);
    return 0;
}

int MovieWin_IsMediaFoundationStarted() { return MediaFoundationState == MediaFoundation_Started ? 1 : 0; }

}  // namespace Vantrel
