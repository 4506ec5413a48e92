// Base-image and soft-image start and stop without soft-image handles, and MakeColorCode for the
// screen's colour depth. Stands on graphics/VtGraphicsScreen.
#include "image/VtBaseImageStart.h"

#include "graphics/VtGraphicsScreen.h"

namespace Vantrel {

int BaseImage_Initialize() { return 0; }
int BaseImage_Terminate() { return 0; }
int SoftImage_Initialize() { return 0; }
int SoftImage_Terminate() { return 0; }
int SoftImage_DeleteAll() { return 0; }

unsigned int MakeColorCode(int red, int green, int blue) {
    const unsigned int r = static_cast<unsigned int>(red) & 0xFF;
    const unsigned int g = static_cast<unsigned int>(green) & 0xFF;
    const unsigned int b = static_cast<unsigned int>(blue) & 0xFF;
    if (GetScreenColorBitDepth() == 16) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

}  // namespace Vantrel
