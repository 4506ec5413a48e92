// Movie services called by start-up, shut-down, activation changes and the graph side, in their
// least form: no movie handles exist, so pausing and resuming have nothing to act on, deleting a
// movie does nothing and opening one fails. Stands on nothing.
#pragma once

#include <stdint.h>

namespace Vantrel {

// The open switches copied into every movie record; 0 in this library (no setter exists).
struct MovieOpenSettings {
    int32_t switches[3];
};

int Movie_Initialize();
int Movie_Terminate();
int Movie_PauseAll();
int Movie_ResumeAll();

void Movie_InitOpenSettings(MovieOpenSettings* out);
// Deletes the movie handle; nothing for -1.
void Movie_Handle_Delete(int movie);
// Opens a movie into a graph: -1 while no movie can be opened.
int Movie_Open(int ownerGraph, const MovieOpenSettings* settings, const wchar_t* path, const void* memImage,
               int memSize, int* width, int* height, int platformOption, int noSound, int inJob);

}  // namespace Vantrel
