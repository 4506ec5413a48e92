// VtMovieWin: the platform movie players behind the movie front end. Opening tries Media Foundation,
// then a DirectShow graph; pause, play, update and terminate act on whichever player a record holds.
// Stands on the movie records (VtMovie) and the library's DirectShow classes.
#pragma once

namespace Vantrel {

struct MovieRecord;

// 0 with a player made for the file (the record's frame image set up), -1 when no player takes it.
int MovieWin_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption, int noSound,
                  int asynchronous);
// The DirectShow player: a filter graph around the library's movie renderer. 0 / -1 with a log line.
int MovieWin_DS_Open(MovieRecord* movie, const wchar_t* path, int* width, int* height, int platformOption,
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
