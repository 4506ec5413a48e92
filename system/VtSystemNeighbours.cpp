// Least forms of the entry points the window modules call that no module provides yet: the mouse
// and touch logs of the input module (nothing is logged). Stands on nothing.
#include "system/VtSystemNeighbours.h"

namespace Vantrel {

int Input_LogMouseClick(int, int, int) { return 0; }
int Input_LogMouseInput(int, int, int, int) { return 0; }
int Input_LogTouch(const void*) { return 0; }

}  // namespace Vantrel
