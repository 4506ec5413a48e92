// The platform movie players in their least form: no Media Foundation or DirectShow player is made,
// so opening fails cleanly and the other entry points find nothing to act on.
// Stands on the movie records (VtMovie).
#include "movie/VtMovieWin.h"

#include "movie/VtMovie.h"
#include "movie/VtMovieMediaFoundation.h"

namespace Vantrel {

int MovieWin_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption, int noSound,
                  int asynchronous) {
    return -1;
}

int MovieWin_Pause(MovieRecord* movie) { return -1; }

int MovieWin_Play(MovieRecord* movie, int playType) { return 0; }

int MovieWin_Update(MovieRecord* movie, int platformFlag) { return 0; }

int MovieWin_Terminate(MovieRecord* movie) { return 0; }

int MovieWin_Shutdown() { return MovieWin_ShutdownMediaFoundation(); }

}  // namespace Vantrel
