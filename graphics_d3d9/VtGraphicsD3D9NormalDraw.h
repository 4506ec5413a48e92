// Direct3D 9 normal-draw state: what the stage set-up derives its blend, alpha-test and texture-stage
// state from (the blend mode with its parameters, the draw and blend textures, the blend graph and the
// draw switches), kept by a small family of cached setters that flush the batch before a real change
// and ask for the set-up to be rebuilt.
// Stands on the call layer, the state cache (its force flag) and the vertex batch (through the core's
// flush switch).
#pragma once

#include <stdint.h>

#include "graphics_d3d9/VtGraphicsD3D9Call.h"

namespace Vantrel {

struct D3D9NormalDrawStateRecord {
    int32_t LastFlags;              // the flag word of the last preparation (cleared when a scene begins)
    int32_t StateChanged;
    int32_t AlphaBlendWanted;       // B
    int32_t AlphaTestWanted;        // T
    int32_t AlphaTestMode;          // -1: the set-up's own choice
    int32_t AlphaTestRef;
    int32_t BlendMode;
    int32_t BlendParams[7];
    int32_t SetupNeeded;            // the next preparation runs the whole stage set-up
    int32_t TextureChanged;         // the next preparation binds the textures again
    int32_t BlendSwitch;            // the target's alpha stays as it was
    int32_t IgnoreTextureColor;
    int32_t UseDiffuseColor;
    int32_t UseBlend;
    int32_t BlendGraphKind;         // 0 crossfade, 1 transition, 2 alpha from the blend graph
    int32_t BlendGraphParams[2];    // kind 0: the ratio; kind 1: threshold and width
    IDirect3DTexture9* BlendTexture;   // not owned; a blend graph is in use while set
    float BlendWidth, BlendHeight;
    float BlendWidthInverse, BlendHeightInverse;
    IDirect3DTexture9* DrawTexture;    // not owned; what normal draws sample in stage 0
    int32_t Prepared;               // a draw preparation ran since the device was set up
};
extern D3D9NormalDrawStateRecord D3D9NormalDrawState;

// Setters: 0, -1 without a device; an equal value does nothing unless the state cache forces.
int Graphics_D3D9_StateCache_SetDrawTexture(IDirect3DTexture9* texture);
int Graphics_D3D9_StateCache_SetBlendTexture(IDirect3DTexture9* texture, int width, int height);
// Kind 0 reads params[0], kind 1 params[0] and params[1], kind 2 none (params may then be null).
int Graphics_D3D9_StateCache_SetBlendGraphParam(int kind, const int* params);
int Graphics_D3D9_StateCache_SetAlphaTest(int mode, int reference);
// params: p1 to p7.
int Graphics_D3D9_StateCache_SetBlendMode(int mode, const int* params, int alphaTestWanted, int alphaBlendWanted);
int Graphics_D3D9_StateCache_SetIgnoreTextureColor(int flag);
int Graphics_D3D9_StateCache_SetUseDiffuseColor(int flag);
int Graphics_D3D9_StateCache_SetUseBlend(int flag);
int Graphics_D3D9_StateCache_SetBlendSwitch(int value);
// The neutral state of start-up: blend mode 0, no textures, no alpha-test override, set-up requested.
void Graphics_D3D9_NormalDraw_Reset();

}  // namespace Vantrel
