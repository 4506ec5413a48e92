// Direct3D 9 draw preparation, the shape colour and the scene end.
// Stands on the call layer, the state cache, the normal-draw state, the stage set-up, the lighting cache,
// the vertex batch and the core's draw settings.
#include "graphics_d3d9/VtGraphicsD3D9Draw.h"

#include <string.h>

#include "font/VtFontText.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsLight.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Light.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

namespace {

D3D9DeviceStateCacheRecord& Cache = D3D9DeviceStateCache;
D3D9NormalDrawStateRecord& Normal = D3D9NormalDrawState;

void FlushBeforeChange() {
    if (!Cache.Force) Graphics_Dispatch_VertexBatch_Flush(0);
}

// A render state switched off directly (flush first), with the cache cleared and the change noted.
void SwitchOff(int32_t& cached, D3DRENDERSTATETYPE state, DWORD value) {
    FlushBeforeChange();
    D3D9Call_Device_SetRenderState(state, value);
    cached = 0;
    Cache.StateChanged = 1;
}

void SendMaterial(const DrawSettingsRecord& s) {
    D3DMATERIAL9 material = {};
    memcpy(&material.Diffuse, s.MaterialDiffuse, sizeof(material.Diffuse));
    memcpy(&material.Ambient, s.MaterialAmbient, sizeof(material.Ambient));
    memcpy(&material.Specular, s.MaterialSpecular, sizeof(material.Specular));
    memcpy(&material.Emissive, s.MaterialEmissive, sizeof(material.Emissive));
    material.Power = s.MaterialPower;
    Graphics_D3D9_StateCache_SetMaterial(&material);
}

// The draw's alpha wishes: T (alpha test) and B (alpha blend) from the flag word and the blend mode.
void AlphaWishes(uint32_t flags, const DrawSettingsRecord& s, int* test, int* blend) {
    *test = *blend = 0;
    if (!(flags & D3D9DRAWPREP_TEXTURED) || !(flags & D3D9DRAWPREP_TRANS) ||
        !(flags & (D3D9DRAWPREP_ALPHA_CHANNEL | D3D9DRAWPREP_CUT_OUT)))
        return;
    if (s.BlendMode != 0 && s.BlendMode != 8) {
        *blend = 1;
    } else if (!(flags & D3D9DRAWPREP_PIXEL_EXACT) && s.DrawMode == 1) {
        *blend = 1;
    } else {
        *test = (flags & D3D9DRAWPREP_CUT_OUT) != 0;
        *blend = (flags & D3D9DRAWPREP_ALPHA_CHANNEL) != 0;
    }
}

}  // namespace

int Graphics_D3D9_DrawStateNeedsPrepare(uint32_t flags) {
    return DrawSettings.StateChanged || Normal.StateChanged || (int32_t)flags != Cache.LastPrepareFlags;
}

void Graphics_D3D9_PrepareDrawStateIfNeeded(uint32_t flags) {
    if (Graphics_D3D9_DrawStateNeedsPrepare(flags)) Graphics_D3D9_PrepareDrawState(flags);
}

void Graphics_D3D9_PrepareDrawState(uint32_t flags) {
    if (!D3D9Call_Device_Exists()) return;
    const DrawSettingsRecord& s = DrawSettings;
    Normal.StateChanged = 0;
    DrawSettings.StateChanged = 0;

    // Shaders: a user pixel shader stays until the state is refreshed. Dropping a bound built-in shader
    // asks for the stage set-up again, so that the draw gets its stages or its shader back.
    if (!(flags & D3D9DRAWPREP_KEEP_SHADERS)) {
        Graphics_D3D9_StateCache_ResetVertexShader(1);
        const bool hadShader = Cache.PixelShader != nullptr;
        if (Cache.PixelShader != nullptr && Cache.PixelShaderUser && !Cache.Force) {
            // kept
        } else if (Cache.PixelShader != nullptr || Cache.Force) {
            FlushBeforeChange();
            D3D9Call_Device_SetPixelShader(nullptr);
            Cache.PixelShader = nullptr;
            if (hadShader) Normal.SetupNeeded = 1;
        }
        Cache.PixelShaderUser = 0;
        Cache.StateChanged = 1;
    }
    // The next user-buffer draw binds its buffers again.
    Cache.IndexBuffer = nullptr;
    Cache.VertexBuffer = nullptr;
    Cache.VertexStride = 0;

    // Lighting, the material and where the lit colours come from.
    if ((flags & D3D9DRAWPREP_LIGHTING) && !s.LightingOff) {
        if (s.LightsChanged || LightState.ForceResend) Graphics_Light_RefreshDeviceLights();
        else if (!Cache.Lighting) Graphics_D3D9_Lighting_SetEnable(1);
        if (s.MaterialChanged) {
            DrawSettings.MaterialChanged = 0;
            SendMaterial(s);
        }
        const int diffuseFromVertex = s.MaterialColorSource[0] != 0, specularFromVertex = s.MaterialColorSource[1] != 0;
        if (Cache.DiffuseMaterialSource != diffuseFromVertex) Graphics_D3D9_StateCache_SetDiffuseMaterialSource(diffuseFromVertex);
        if (Cache.SpecularMaterialSource != specularFromVertex) Graphics_D3D9_StateCache_SetSpecularMaterialSource(specularFromVertex);
    } else if (Cache.Lighting) {
        SwitchOff(Cache.Lighting, D3DRS_LIGHTING, FALSE);
    }
    const int specular = (flags & D3D9DRAWPREP_SPECULAR) ? 1 : 0;
    if (Cache.SpecularEnable != specular) Graphics_D3D9_StateCache_SetSpecularEnable(specular);

    // Depth: the first setting set, or the second for 3D draws.
    const int32_t* depth = (flags & D3D9DRAWPREP_DEPTH_3D) ? s.Depth3D : s.DepthNormal;
    if (depth[0]) {
        if (Cache.ZEnable != 1) Graphics_D3D9_StateCache_SetZEnable(1);
        if (Cache.ZWriteEnable != depth[1]) Graphics_D3D9_StateCache_SetZWriteEnable(depth[1]);
        if (Cache.ZFunc != depth[2]) Graphics_D3D9_StateCache_SetZFunc(depth[2]);
        if (Cache.DepthBias != (DWORD)depth[3]) Graphics_D3D9_StateCache_SetDepthBias((DWORD)depth[3]);
    } else {
        if (Cache.ZEnable) SwitchOff(Cache.ZEnable, D3DRS_ZENABLE, D3DZB_FALSE);
        if (!(flags & D3D9DRAWPREP_DEPTH_3D) && Cache.ZWriteEnable) Graphics_D3D9_StateCache_SetZWriteEnable(0);
    }
    const int fill = s.FillWord == D3DFILL_WIREFRAME ? D3DFILL_WIREFRAME : D3DFILL_SOLID;
    if (Cache.FillMode != fill) Graphics_D3D9_StateCache_SetFillMode(fill);
    const int fog = (flags & D3D9DRAWPREP_FOG) && s.FogEnable ? 1 : 0;
    if (Cache.FogEnable != fog) Graphics_D3D9_StateCache_SetFogEnable(fog);

    // Blend, alpha test and the stage set-up.
    if (!(flags & D3D9DRAWPREP_KEEP_BLEND)) {
        int test = 0, blend = 0;
        AlphaWishes(flags, s, &test, &blend);
        const uint32_t bright = s.DrawBright & 0xFFFFFF;
        const int useDiffuse = (flags & D3D9DRAWPREP_SHAPE_2D) || bright != 0xFFFFFF || Font_TextDrawing ? 1 : 0;
        if (Normal.UseDiffuseColor != useDiffuse) Graphics_D3D9_StateCache_SetUseDiffuseColor(useDiffuse);
        const int colourAdd = s.ColorAdd[0] != 0 || s.ColorAdd[1] != 0 || s.ColorAdd[2] != 0;
        const int useBlend = (flags & D3D9DRAWPREP_FORCE_BLEND) || s.BlendMode != 0 || colourAdd ? 1 : 0;
        if (Normal.UseBlend != useBlend) Graphics_D3D9_StateCache_SetUseBlend(useBlend);
        if (Normal.IgnoreTextureColor != s.IgnoreTextureColor)
            Graphics_D3D9_StateCache_SetIgnoreTextureColor(s.IgnoreTextureColor);
        Graphics_D3D9_StateCache_SetBlendMode(s.BlendMode, s.BlendFactor, test, blend);
        Graphics_D3D9_StateCache_SetAlphaTest(s.AlphaTestMode, s.AlphaTestParam);
        if (Normal.SetupNeeded || Normal.TextureChanged) {
            const int shaderFlag = (flags & D3D9DRAWPREP_DEPTH_3D) && specular ? 0 : 1;
            Graphics_D3D9_StateCache_BuildStageSetup(nullptr, 0, 1, shaderFlag);
        }
    }

    const int shade = (flags & D3D9DRAWPREP_GOURAUD) ? D3DSHADE_GOURAUD : D3DSHADE_FLAT;
    if (Cache.ShadeMode != shade) Graphics_D3D9_StateCache_SetShadeMode(shade);
    if (Cache.FilterMode != s.DrawMode) Graphics_D3D9_StateCache_SetFilterMode(s.DrawMode);
    if (Cache.AllMaxAnisotropy != s.MaxAnisotropy) Graphics_D3D9_StateCache_SetMaxAnisotropy(s.MaxAnisotropy, -1);

    if (flags & D3D9DRAWPREP_CULLING) {
        const int cull = s.CullMode == 0 ? 0 : s.CullMode == 2 ? 2 : 1;
        if (Cache.CullMode != cull) Graphics_D3D9_StateCache_SetCullMode(cull);
    } else if (Cache.CullMode != 0) {
        FlushBeforeChange();
        D3D9Call_Device_SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Cache.CullMode = 0;
        Cache.StateChanged = 1;
    }

    // The first preparation after start-up leaves the texture transforms of the stages off.
    if (!Normal.Prepared) {
        Graphics_D3D9_StateCache_SetTextureTransform(0, nullptr, -1);
        Normal.Prepared = 1;
        Cache.StateChanged = 1;
    }

    if (flags & D3D9DRAWPREP_ADDRESS_MODES) {
        for (int sampler = 0; sampler < 8; ++sampler) {
            if (Cache.AddressU[sampler] != (DWORD)s.AddressModeU[sampler])
                Graphics_D3D9_StateCache_SetTextureAddressU(s.AddressModeU[sampler], sampler);
            if (Cache.AddressV[sampler] != (DWORD)s.AddressModeV[sampler])
                Graphics_D3D9_StateCache_SetTextureAddressV(s.AddressModeV[sampler], sampler);
        }
    } else {
        for (int sampler = 0; sampler < 4; ++sampler)
            if (Cache.AddressU[sampler] != D3DTADDRESS_CLAMP || Cache.AddressV[sampler] != D3DTADDRESS_CLAMP) {
                Graphics_D3D9_StateCache_SetTextureAddressU(D3DTADDRESS_CLAMP, sampler);
                Graphics_D3D9_StateCache_SetTextureAddressV(D3DTADDRESS_CLAMP, sampler);
            }
    }
    Cache.LastPrepareFlags = (int32_t)flags;
    Normal.LastFlags = (int32_t)flags;
    // What the setters above changed is in line now: the next draw with this word prepares nothing.
    Normal.StateChanged = 0;
}

int Graphics_D3D9_EndSceneIfOpen() {
    if (!D3D9Call_Direct3D9_Exists()) return 0;
    if (Cache.Scene != 1 || !D3D9Call_Device_Exists()) return 1;
    const HRESULT result = D3D9Call_Device_EndScene();
    Cache.Scene = 0;
    return (int)result;
}

D3DCOLOR Graphics_D3D9_ShapeColor(unsigned int color) {
    int red = 0, green = 0, blue = 0;
    SplitColorCode(color, &red, &green, &blue);
    const uint32_t d = D3D9VertexBatch.Diffuse;
    const uint32_t r = ((d >> 16) & 0xFF) * (uint32_t)red / 255, g = ((d >> 8) & 0xFF) * (uint32_t)green / 255;
    const uint32_t b = (d & 0xFF) * (uint32_t)blue / 255;
    return (d & 0xFF000000u) | r << 16 | g << 8 | b;
}

}  // namespace Vantrel
