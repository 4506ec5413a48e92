// Direct3D 11 lit-3D shader choice: the pack of lit 3D shaders, expanded when the first lit 3D draw
// needs it, the choice of its vertex and pixel shader from the fog mode, the shadow-map use, the
// enabled lights' types, the blend row's shader type and the alpha test, and each shader object made
// the first time it is chosen.
// Stands on the shader packs, the call layer, the state cache, the normal-draw state and the index
// tables of the built-in shader set-up.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderPack.h"

namespace Vantrel {

// Entries of the lit-3D pack, in pack order.
enum : int {
    D3D11LIT_PER_PIXEL_VS = 0,        // 8: [fog + 4 x shadow]
    D3D11LIT_PER_PIXEL_PS = 8,        // 2352: [((six-light number + 84 x shadow) x 7 + type) x 2 + test]
    D3D11LIT_SHADOW_VS = 2360,        // 2: [test]
    D3D11LIT_UNLIT_VS = 2362,         // 4: [fog]
    D3D11LIT_PER_VERTEX_VS = 2366,    // 160: [three-light number + (fog + 4 x shadow) x 20]
    D3D11LIT_SHADOW_PS = 2526,        // 2: [test]
    D3D11LIT_UNLIT_PS = 2528,         // 14: [type x 2 + test]
    D3D11LIT_PER_VERTEX_PS = 2542,    // 280: [((three-class number + 10 x shadow) x 7 + type) x 2 + test]
    D3D11LIT_COUNT = 2822,
};

struct D3D11Lit3DKeys {
    int32_t Fog;              // fog mode 0-3 while fog is on, else 0
    int32_t Shadow;           // 1 while shadow maps are in use
    int32_t ShadowPass;       // drawing into a shadow map
    int32_t Lighting;
    int32_t LightTypes[6];    // type code of each light slot, 0 when disabled
    int32_t ShaderType;       // of the blend row, 0-6
    int32_t AlphaTest;
};

struct D3D11Lit3DRecord {
    D3D11ShaderPack Pack;     // text null while the program carries no lit-3D pack
    int32_t ShadowMapsInUse;
    int32_t ShadowPass;
    void* Objects[D3D11LIT_COUNT];   // vertex or pixel shader per entry, made on first use
};
extern D3D11Lit3DRecord D3D11Lit3D;

// The pack entries of the vertex and pixel shader for the keys; -1 when the keys are out of range.
int Graphics_D3D11_Lit3D_Choose(const D3D11Lit3DKeys& keys, int* vertexEntry, int* pixelEntry);
// Chooses, makes when needed and binds the lit-3D shaders for the next 3D draw; 0, -1 when the pack or
// a chosen shader is missing (the draw is then skipped).
int Graphics_D3D11_Shader_Normal3DDraw_Setup();
// Releases every lit-3D shader object (device end) and frees the expanded pack.
int Graphics_D3D11_Lit3D_ReleaseAll();
int Graphics_D3D11_Lit3D_FreePack();

}  // namespace Vantrel
