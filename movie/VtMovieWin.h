// VtMovieWin: the platform movie players behind the movie front end. Opening tries Media Foundation,
// then a DirectShow graph; pause, play, update and terminate act on whichever player a record holds.
// In this form no platform player exists yet: opening fails, pausing reports that nothing can be
// paused, the rest has nothing to do. Stands on the movie records (VtMovie).
#pragma once

namespace Vantrel {

struct MovieRecord;

// 0 with a player made for the file (the record's frame image set up), -1 when no player takes it.
int MovieWin_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption, int noSound,
                  int asynchronous);
// -1 when the record holds no platform player.
int MovieWin_Pause(MovieRecord* movie);
int MovieWin_Play(MovieRecord* movie, int playType);
int MovieWin_Update(MovieRecord* movie, int platformFlag);
// Releases whichever player the record holds.
int MovieWin_Terminate(MovieRecord* movie);
// At the movie module's end (Media Foundation is shut down here when the library started it).
int MovieWin_Shutdown();

}  // namespace Vantrel
