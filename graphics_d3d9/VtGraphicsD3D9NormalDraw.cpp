// Direct3D 9 normal-draw state and its cached setters.
// Stands on the call layer, the state cache (its force flag) and the vertex batch (through the core's
// flush switch).
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"

#include <string.h>

#include "graphics/VtGraphicsDispatch.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

D3D9NormalDrawStateRecord D3D9NormalDrawState;

namespace {

D3D9NormalDrawStateRecord& State = D3D9NormalDrawState;

bool Forced() { return D3D9DeviceStateCache.Force != 0; }

void FlushBeforeChange() {
    if (!Forced()) Graphics_Dispatch_VertexBatch_Flush(0);
}

// One int switch of the set-up: flush, store, rebuild.
int SetSwitch(int32_t& cached, int value) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (cached == value && !Forced()) return 0;
    FlushBeforeChange();
    cached = value;
    State.StateChanged = 1;
    State.SetupNeeded = 1;
    return 0;
}

}  // namespace

int Graphics_D3D9_StateCache_SetDrawTexture(IDirect3DTexture9* texture) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (State.DrawTexture == texture && !Forced()) return 0;
    FlushBeforeChange();
    State.TextureChanged = 1;
    if ((State.DrawTexture == nullptr) != (texture == nullptr)) State.SetupNeeded = 1;
    State.DrawTexture = texture;
    State.StateChanged = 1;
    return 0;
}

int Graphics_D3D9_StateCache_SetBlendTexture(IDirect3DTexture9* texture, int width, int height) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (State.BlendTexture == texture && !Forced()) return 0;
    FlushBeforeChange();
    State.TextureChanged = 1;
    State.StateChanged = 1;
    if ((State.BlendTexture == nullptr) != (texture == nullptr)) State.SetupNeeded = 1;
    State.BlendTexture = texture;
    if (texture != nullptr && width > 0 && height > 0) {
        State.BlendWidth = (float)width;
        State.BlendHeight = (float)height;
        State.BlendWidthInverse = 1.0f / (float)width;
        State.BlendHeightInverse = 1.0f / (float)height;
    }
    return 0;
}

int Graphics_D3D9_StateCache_SetBlendGraphParam(int kind, const int* params) {
    if (!D3D9Call_Device_Exists()) return -1;
    int32_t values[2] = {0, 0};
    const int count = kind == 0 ? 1 : kind == 1 ? 2 : 0;
    for (int i = 0; i < count && params != nullptr; ++i) values[i] = params[i];
    if (State.BlendGraphKind == kind && memcmp(State.BlendGraphParams, values, sizeof(values)) == 0 && !Forced()) return 0;
    FlushBeforeChange();
    State.BlendGraphKind = kind;
    memcpy(State.BlendGraphParams, values, sizeof(values));
    State.SetupNeeded = 1;
    State.StateChanged = 1;
    return 0;
}

int Graphics_D3D9_StateCache_SetAlphaTest(int mode, int reference) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (State.AlphaTestMode == mode && State.AlphaTestRef == reference && !Forced()) return 0;
    FlushBeforeChange();
    State.AlphaTestMode = mode;
    State.AlphaTestRef = reference;
    State.StateChanged = 1;
    State.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D9_StateCache_SetBlendMode(int mode, const int* params, int alphaTestWanted, int alphaBlendWanted) {
    if (!D3D9Call_Device_Exists()) return -1;
    int32_t values[7] = {};
    if (params != nullptr) memcpy(values, params, sizeof(values));
    if (State.BlendMode == mode && memcmp(State.BlendParams, values, sizeof(values)) == 0 &&
        State.AlphaTestWanted == alphaTestWanted && State.AlphaBlendWanted == alphaBlendWanted && !Forced())
        return 0;
    FlushBeforeChange();
    State.BlendMode = mode;
    memcpy(State.BlendParams, values, sizeof(values));
    State.AlphaTestWanted = alphaTestWanted;
    State.AlphaBlendWanted = alphaBlendWanted;
    State.StateChanged = 1;
    State.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D9_StateCache_SetIgnoreTextureColor(int flag) { return SetSwitch(State.IgnoreTextureColor, flag); }
int Graphics_D3D9_StateCache_SetUseDiffuseColor(int flag) { return SetSwitch(State.UseDiffuseColor, flag); }
int Graphics_D3D9_StateCache_SetUseBlend(int flag) { return SetSwitch(State.UseBlend, flag); }
int Graphics_D3D9_StateCache_SetBlendSwitch(int value) { return SetSwitch(State.BlendSwitch, value); }

void Graphics_D3D9_NormalDraw_Reset() {
    memset(&State, 0, sizeof(State));
    State.AlphaTestMode = -1;
    State.SetupNeeded = 1;
    State.TextureChanged = 1;
    State.StateChanged = 1;
}

}  // namespace Vantrel
