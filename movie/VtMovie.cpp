// Movie services in their least form: start and stop succeed, pause and resume find nothing playing,
// no movie can be opened and so none is ever deleted. Stands on nothing.
#include "movie/VtMovie.h"

namespace Vantrel {

int Movie_Initialize() { return 0; }
int Movie_Terminate() { return 0; }
int Movie_PauseAll() { return 0; }
int Movie_ResumeAll() { return 0; }

void Movie_InitOpenSettings(MovieOpenSettings* out) { *out = {}; }

void Movie_Handle_Delete(int movie) {}

int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int inJob) {
    return -1;
}

}  // namespace Vantrel
