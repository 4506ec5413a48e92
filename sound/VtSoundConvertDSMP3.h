// The DirectShow side of the MP3 converter (VtSoundConvertDSMP3.cpp): its sample callback and the
// small graph helpers, for the converter and its tests.
#pragma once

#include "movie/directshow/VtUseCStrmBaseFilter.h"
#include "sound/VtSoundConvert.h"

namespace Vantrel {

// The grabber's callback: appends the sample's bytes to the PCM of the record given as the user value,
// growing the buffer in 1 MiB steps (the buffer goes when it cannot grow). Returns S_OK.
HRESULT SoundConvert_DSMP3_SampleCallback(D_IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          BOOL typeChanged, void* user);
// The filter's first pin of the direction, with a reference the caller releases; null when none.
IPin* SoundConvert_DSMP3_FindPin(IBaseFilter* filter, PIN_DIRECTION direction);
// 1 when the two GUIDs differ, 0 when equal.
int SoundConvert_GuidNotEqual(const GUID* a, const GUID* b);

}  // namespace Vantrel
