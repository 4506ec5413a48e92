// Direct3D 11 lit-3D draw set-up: the choice's keys from the cached state, the shaders made on first
// use and bound, the light order written for them.
// Stands on the built-in shader set-up's lit-3D choice, the state cache and the normal-draw state.
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11Lit3DStateRecord D3D11Lit3DState;

int Graphics_D3D11_Shader_Normal3DDraw_Setup() {
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_ShadowMap_BindSlots();
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    const D3D11NormalDrawStateRecord& normal = D3D11NormalDrawState;
    // The lit shaders sample texture 0 only while the switch says so: a draw without a texture takes
    // its colour from the vertices and the lights alone (an alpha wish or a blend graph without a draw
    // texture would sample nothing and draw black).
    Graphics_D3D11_StateCache_SetPSSwitch(D3D11PS_SWITCH_USES_TEXTURE, normal.DrawTextureView != nullptr);
    if (normal.DrawTextureView != nullptr) Graphics_D3D11_StateCache_SetPSShaderResources(0, 1, &normal.DrawTextureView);
    int preset = normal.BlendMode;
    if (preset == 3) preset = 16;
    else if (preset == 0 && DrawSettings.PremultipliedAlpha) preset = 14;
    if (preset < 0 || preset >= D3D11BlendPresetCount) preset = 0;
    D3D11Lit3DKeys keys = {};
    keys.ShadowPass = ShadowMapSlots.Drawing;
    keys.Lighting = cache.LightingEnable;
    for (int i = 0; i < 6; ++i) {
        const int type = cache.Light[i].Type;
        keys.LightType[i] = cache.LightEnable[i] && type >= 1 && type <= 3 ? type : 0;
    }
    keys.FogMode = cache.FogEnable[0] && cache.FogMode[0] >= 0 && cache.FogMode[0] <= 3 ? cache.FogMode[0] : 0;
    keys.ShadowMaps = D3D11Lit3DState.ShadowMapsInUse > 0;
    keys.ShaderType = D3D11BlendModeTable[preset].ShaderType;
    keys.AlphaTest = normal.AlphaTestMode >= 0 || normal.AlphaTestWanted;
    D3D11Lit3DChoice choice = {};
    if (Graphics_D3D11_Shader_Lit3DChoose(&keys, &choice) < 0) {
        Log_AddTextShiftJIS("ライティング付き３Ｄ描画用のシェーダーコードを展開できませんでした\n");
        return -1;
    }
    ID3D11VertexShader* vertex = Graphics_D3D11_Shader_GetLit3DVertexShader(choice.VertexEntry);
    if (vertex == nullptr) {
        Log_AddTextShiftJIS("Graphics_D3D11_Shader_Normal3DDraw_Setup で頂点シェーダーの作成に失敗しました\n");
        return -1;
    }
    ID3D11PixelShader* pixel = Graphics_D3D11_Shader_GetLit3DPixelShader(choice.PixelEntry);
    if (pixel == nullptr) {
        Log_AddTextShiftJIS("Graphics_D3D11_Shader_Normal3DDraw_Setup でピクセルシェーダーの作成に失敗しました\n");
        return -1;
    }
    Graphics_D3D11_Shader_Lit3DWriteLightTable(&choice);
    if (cache.VertexShader != vertex || cache.Force) Graphics_D3D11_StateCache_SetVertexShader(vertex, 0);
    if (cache.PixelShader != pixel || cache.Force) Graphics_D3D11_StateCache_SetPixelShader(pixel, 0);
    return 0;
}

}  // namespace Vantrel
