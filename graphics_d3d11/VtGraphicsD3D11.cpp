// Direct3D 11 back-end in the least form the foundation needs: no device exists yet.
// Stands on nothing.
#include "graphics_d3d11/VtGraphicsD3D11.h"

namespace Vantrel {

int D3D11Call_Device_Exists() { return 0; }

}  // namespace Vantrel
