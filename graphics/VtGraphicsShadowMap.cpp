// Shadow-map handle callbacks: a record starts empty and, when it ends, its textures go back
// through the switch layer.
// Stands on the handle manager and the switch layer.
#include "graphics/VtGraphicsShadowMap.h"

#include "graphics/VtGraphicsDispatch.h"

namespace Vantrel {

void Graphics_ShadowMap_HandleRecord_Initialize(HandleHeader* record) {}

int Graphics_ShadowMap_HandleRecord_Terminate(HandleHeader* record) {
    ShadowMapRecord* shadowMap = reinterpret_cast<ShadowMapRecord*>(record);
    if (shadowMap->Platform != nullptr) Graphics_Dispatch_ShadowMap_ReleaseTextures(shadowMap);
    return 0;
}

}  // namespace Vantrel
