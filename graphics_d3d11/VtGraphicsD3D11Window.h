// The Direct3D 11 back-end's handling of the target window's full-screen state on activation
// changes, in its form without a device. Stands on nothing.
#pragma once

namespace Vantrel {

int Graphics_D3D11_TargetWindow_SetFullscreenState(int flag);

}  // namespace Vantrel
