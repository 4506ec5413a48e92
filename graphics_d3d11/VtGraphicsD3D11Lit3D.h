// Direct3D 11 lit-3D draw set-up: the keys of the lit-3D shader choice taken from the cached fog,
// lights, blend mode and alpha test, the chosen pair made on first use and bound before a batch of
// lit 3D vertices.
// Stands on the built-in shader set-up's lit-3D choice, the state cache and the normal-draw state.
#pragma once

#include <stdint.h>

namespace Vantrel {

// The shadow-map count the choice reads (the shadow-map slot body keeps it); the shadow pass is the
// core's: while it draws into a shadow map.
struct D3D11Lit3DStateRecord {
    int32_t ShadowMapsInUse;
};
extern D3D11Lit3DStateRecord D3D11Lit3DState;

// Chooses, makes when needed and binds the lit-3D shaders for the next 3D draw; 0, -1 when the pack
// or a chosen shader is missing (the draw is then skipped) or without device.
int Graphics_D3D11_Shader_Normal3DDraw_Setup();

}  // namespace Vantrel
