// Direct3D 11 back-end: the least of it the foundation needs (whether a device exists).
// Stands on nothing yet: no device is created here.
#pragma once

namespace Vantrel {

int D3D11Call_Device_Exists();

}  // namespace Vantrel
