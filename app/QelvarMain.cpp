// Qelvar: the program's entry. Turns a game pad into keyboard and mouse input for the program
// that has the focus; stands on the Vantrel library.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    return 0;
}
