// A DirectMusic performance, segment and loader of the test's own (FakeDirectMusic.cpp), built over
// the interfaces' published method tables, that answer the calls of the MIDI paths and count them.
#pragma once

#include <windows.h>

namespace FakeDirectMusic {

struct Counts {
    int IsPlaying = 0;
    HRESULT IsPlayingAnswer = S_OK;
    int StopEx = 0;
    HRESULT StopExResult = S_OK;
    void* StopExObject = nullptr;
    int Stop = 0;
    int Unload = 0;
    void* UnloadPath = nullptr;
    int ReleaseObject = 0;
    int SegmentRelease = 0;
};
extern Counts Calls;

// The objects as the library keeps them (IDirectMusicPerformance8*, IDirectMusicSegment8*,
// IDirectMusicLoader8*); they live as long as the program.
void* Performance();
void* Segment();
void* Loader();

}  // namespace FakeDirectMusic
