// Full-screen state of the Direct3D 11 swap chain's window; without a device there is no swap chain.
// Stands on nothing.
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

namespace Vantrel {

int Graphics_D3D11_TargetWindow_SetFullscreenState(int flag) { return 0; }

}  // namespace Vantrel
