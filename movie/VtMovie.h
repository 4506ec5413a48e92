// Movie services called by start-up, shut-down and activation changes, in their least form: no movie
// handles exist, so pausing and resuming have nothing to act on. Stands on nothing.
#pragma once

namespace Vantrel {

int Movie_Initialize();
int Movie_Terminate();
int Movie_PauseAll();
int Movie_ResumeAll();

}  // namespace Vantrel
