// Movie services called by start-up, shut-down, activation changes and the graph side, in their
// least form: no movie handles exist, so pausing and resuming have nothing to act on, deleting a
// movie does nothing, opening one fails, no record is found and no frame is brought up to date; the
// Theora decoder queries answer "none". Stands on nothing.
#pragma once

#include <stdint.h>

namespace Vantrel {

struct BaseImage;
struct TheoraDecoder;

// The open switches copied into every movie record; 0 in this library (no setter exists).
struct MovieOpenSettings {
    int32_t switches[3];
};

// The fields of a movie record the graph side reads (and the frame-shown flag it writes).
struct MovieRecord {
    int32_t Theora;                     // a Theora movie (decoded by the library)
    TheoraDecoder* Decoder;
    int32_t FrameWidth;
    int32_t FrameHeight;
    int32_t FrameShown;                 // a frame reached the graph at least once
    MovieOpenSettings OpenSettings;     // always 0
    BaseImage* FrameImage;              // current frame as an image, null when none
    int32_t LumaGraph;                  // a platform movie's luma and chroma graphs, -1 when none
    int32_t ChromaGraph;
};

typedef int (*MovieFrameCallback)(MovieRecord* movie, int userValue);

int Movie_Initialize();
int Movie_Terminate();
int Movie_PauseAll();
int Movie_ResumeAll();

void Movie_InitOpenSettings(MovieOpenSettings* out);
// Deletes the movie handle; nothing for -1.
void Movie_Handle_Delete(int movie);
// The movie's record (a pending open finished first), null for a handle that is not live.
MovieRecord* Movie_Handle_GetRecord(int movie);
// Opens a movie into a graph: -1 while no movie can be opened.
int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int inJob);
// Registers the callback Movie_Update calls after each update. 0 / -1.
int Movie_SetFrameCallback(int movie, MovieFrameCallback callback, int userValue);
// Brings the movie's current frame up to date. 0 / -1.
int Movie_Update(int movie, int platformFlag);

// The Theora decoder's frame forms: luma and chroma graphs (-1 before they exist), the Direct3D 9
// YUV surface (null when none), and the preparation of the current frame (1 ready, 0 when the
// decode-ahead thread has ended).
int Theora_GetYGraphHandle(TheoraDecoder* decoder);
int Theora_GetUVGraphHandle(TheoraDecoder* decoder);
void* Theora_GetD3D9Surface(TheoraDecoder* decoder);
int Theora_PrepareFrame(TheoraDecoder* decoder, int wantImage, int wantGraphs, int wantSurface, int inJob);

}  // namespace Vantrel
