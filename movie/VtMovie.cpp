// Movie services in their least form: start and stop succeed, pause and resume find nothing playing.
// Stands on nothing.
#include "movie/VtMovie.h"

namespace Vantrel {

int Movie_Initialize() { return 0; }
int Movie_Terminate() { return 0; }
int Movie_PauseAll() { return 0; }
int Movie_ResumeAll() { return 0; }

}  // namespace Vantrel
