// Movie services in their least form: start and stop succeed, pause and resume find nothing playing,
// no movie can be opened and so none is ever found, updated or deleted; a decoder is never made, so
// its queries answer "none". Stands on nothing.
#include "movie/VtMovie.h"

namespace Vantrel {

int Movie_Initialize() { return 0; }
int Movie_Terminate() { return 0; }
int Movie_PauseAll() { return 0; }
int Movie_ResumeAll() { return 0; }

void Movie_InitOpenSettings(MovieOpenSettings* out) { *out = {}; }

void Movie_Handle_Delete(int movie) {}

MovieRecord* Movie_Handle_GetRecord(int movie) { return nullptr; }

int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int inJob) {
    return -1;
}

int Movie_SetFrameCallback(int movie, MovieFrameCallback callback, int userValue) { return -1; }

int Movie_Update(int movie, int platformFlag) { return -1; }

int Theora_GetYGraphHandle(TheoraDecoder* decoder) { return -1; }
int Theora_GetUVGraphHandle(TheoraDecoder* decoder) { return -1; }
void* Theora_GetD3D9Surface(TheoraDecoder* decoder) { return nullptr; }
int Theora_PrepareFrame(TheoraDecoder* decoder, int wantImage, int wantGraphs, int wantSurface, int inJob) { return 0; }

}  // namespace Vantrel
