// The DirectMusic fakes: the C layout of the published interfaces, so that only the methods the MIDI
// paths call need a body (the others stay null and would fault if called).
#define CINTERFACE
#include "FakeDirectMusic.h"

#include <dmusici.h>

namespace FakeDirectMusic {

Counts Calls;

namespace {

HRESULT STDMETHODCALLTYPE PerformanceIsPlaying(IDirectMusicPerformance8*, IDirectMusicSegment*, IDirectMusicSegmentState*)
{
    Calls.IsPlaying++;
    return Calls.IsPlayingAnswer;
}
HRESULT STDMETHODCALLTYPE PerformanceStopEx(IDirectMusicPerformance8*, IUnknown* object, __int64, DWORD)
{
    Calls.StopEx++;
    Calls.StopExObject = object;
    return Calls.StopExResult;
}
HRESULT STDMETHODCALLTYPE PerformanceStop(IDirectMusicPerformance8*, IDirectMusicSegment*, IDirectMusicSegmentState*,
                                          MUSIC_TIME, DWORD)
{
    Calls.Stop++;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE SegmentUnload(IDirectMusicSegment8*, IUnknown* path)
{
    Calls.Unload++;
    Calls.UnloadPath = path;
    return S_OK;
}
ULONG STDMETHODCALLTYPE SegmentRelease(IDirectMusicSegment8*)
{
    Calls.SegmentRelease++;
    return 0;
}
HRESULT STDMETHODCALLTYPE LoaderReleaseObject(IDirectMusicLoader8*, IUnknown*)
{
    Calls.ReleaseObject++;
    return S_OK;
}

}  // namespace

void* Performance()
{
    static IDirectMusicPerformance8Vtbl table = {};
    static IDirectMusicPerformance8 object = {&table};
    table.IsPlaying = PerformanceIsPlaying;
    table.StopEx = PerformanceStopEx;
    table.Stop = PerformanceStop;
    return &object;
}

void* Segment()
{
    static IDirectMusicSegment8Vtbl table = {};
    static IDirectMusicSegment8 object = {&table};
    table.Unload = SegmentUnload;
    table.Release = SegmentRelease;
    return &object;
}

void* Loader()
{
    static IDirectMusicLoader8Vtbl table = {};
    static IDirectMusicLoader8 object = {&table};
    table.ReleaseObjectByUnknown = LoaderReleaseObject;
    return &object;
}

}  // namespace FakeDirectMusic
