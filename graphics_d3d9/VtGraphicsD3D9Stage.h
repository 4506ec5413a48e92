// Direct3D 9 texture-stage and blend set-up: how the next primitives are coloured and blended, as render
// states (alpha test, blending, texture factor), the textures of the 16 stages, and either the
// fixed-function stage operations or the built-in pixel shader that replaces them. A caller states the
// whole set-up in a D3D9StageSetup record, or the set-up is derived from the normal-draw state through
// the blend-mode table and the stage templates. Either way it is applied against the state cache's copy
// of what the device has, so that only differences reach the device (all of it while the cache forces).
// Stands on the call layer, the state cache, the normal-draw state, the shader-constant manager, the
// built-in shader objects, the vertex batch and the graphics core's handles and settings.
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

// One row of D3D9BlendModeTable: the six factors (-1 keeps the device's), the colour treatment type of
// the stages and shaders, blend and separate-alpha enables, and whether a blending textured draw without
// blend graph also tests alpha (reference 0, GREATER).
struct D3D9BlendModeRow {
    int8_t SrcBlend, DestBlend, BlendOp, SrcBlendAlpha, DestBlendAlpha, BlendOpAlpha;
    int8_t Type;
    int8_t BlendEnable;
    int8_t SeparateAlpha;
    int8_t AlphaTestWhenBlending;
};
constexpr int D3D9BlendModeCount = 38;
extern const D3D9BlendModeRow D3D9BlendModeTable[D3D9BlendModeCount];

// The user blend factors of blend mode 32 (library codes 0-10) as D3DBLEND values; the operation codes
// 0-4 go through the same map.
extern const int32_t D3D9UserBlendFactorMap[11];

// D3D9StageTemplateTable: 336 templates of 16 stages; entry 0's texture word holds the stage count.
// Index = a + 3 x (useBlend + 2 x (useDiffuse + 2 x (v + 4 x type))): alpha variant a (0-2), the
// normal-draw flags, blend-graph variant v (0 none, 1-3 kind + 1) and the blend row's type (0-6).
struct D3D9StageTemplate {
    D3D9StageEntry Stages[D3D9TextureStageCount];
};
constexpr int D3D9StageTemplateCount = 336;
extern const D3D9StageTemplate D3D9StageTemplateTable[D3D9StageTemplateCount];
constexpr int D3D9StageTemplateIndex(int a, int useBlend, int useDiffuse, int v, int type) {
    return a + 3 * (useBlend + 2 * (useDiffuse + 2 * (v + 4 * type)));
}

// The set-up from `record` (textures as pointers, or as Graph and ShadowMap handles with handleFlag), or
// derived from the normal-draw state when `record` is null. texturesOnly: textures and coordinate sets
// only. shaderFlag: the built-in pixel shaders may replace the stages. 0 done; -1 without a device, or
// when the derived quick path has nothing to do.
int Graphics_D3D9_StateCache_BuildStageSetup(const D3D9StageSetup* record, int texturesOnly, int handleFlag, int shaderFlag);
// Flushes the batch, builds, and asks the next normal draw to rebuild its own set-up: 0.
int Graphics_D3D9_StateCache_ApplyStageSetup(const D3D9StageSetup* record, int texturesOnly, int handleFlag, int shaderFlag);

}  // namespace Vantrel
