// Shadow-map handles. For now the record holds only what the handle type needs to exist (none is
// created yet), with the callbacks the graphics module registers.
// Stands on the handle manager and the switch layer.
#pragma once

#include "foundation/VtHandle.h"

namespace Vantrel {

struct ShadowMapRecord {
    HandleHeader Header;
    int Width;
    int Height;
    void* Platform;             // the back-end's textures and views
};

void Graphics_ShadowMap_HandleRecord_Initialize(HandleHeader* record);
int Graphics_ShadowMap_HandleRecord_Terminate(HandleHeader* record);

}  // namespace Vantrel
