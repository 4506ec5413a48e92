// Qelvar: the program's entry. Turns a game pad into keyboard and mouse input for the program
// that has the focus; stands on the Vantrel library and the tool's AppMain.
#include <windows.h>

#include "app/AppMain.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    // The tool's start-of-program work runs here, in its fixed order, not in static constructors.
    Qelvar::RunStaticInitialisers();
    return Qelvar::RunApplication();
}
