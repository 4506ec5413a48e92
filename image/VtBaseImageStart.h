// Base-image and soft-image module start and stop, and the colour code of the current screen format,
// in their least form (no soft images exist). Stands on the screen settings of the graphics core.
#pragma once

namespace Vantrel {

int BaseImage_Initialize();
int BaseImage_Terminate();
int SoftImage_Initialize();
int SoftImage_Terminate();
int SoftImage_DeleteAll();
unsigned int MakeColorCode(int red, int green, int blue);

}  // namespace Vantrel
