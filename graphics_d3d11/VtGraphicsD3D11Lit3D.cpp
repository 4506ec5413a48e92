// Direct3D 11 lit-3D shader choice: keys from the cached fog, lights and blend state, the pack entry
// of each shader from them, and the shader objects made on first use.
// Stands on the shader packs, the call layer, the state cache, the normal-draw state and the index
// tables of the built-in shader set-up.
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics_d3d11/VtGraphicsD3D11NormalDraw.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11Lit3DRecord D3D11Lit3D = {{nullptr, D3D11LIT_COUNT, 0, nullptr, 0, nullptr}, 0, 0, {}};

namespace {

bool IsVertexEntry(int entry) {
    return entry < D3D11LIT_PER_PIXEL_PS || (entry >= D3D11LIT_SHADOW_VS && entry < D3D11LIT_SHADOW_PS);
}

// The number of the non-increasing order of `count` type codes in the index tables.
int SequenceNumber(const int32_t* types, int count) {
    int sorted[6] = {};
    for (int i = 0; i < count; ++i) {
        int code = types[i] < 0 || types[i] > 3 ? 0 : types[i];
        int at = i;
        while (at > 0 && sorted[at - 1] < code) sorted[at] = sorted[at - 1], --at;
        sorted[at] = code;
    }
    int key = 0;
    for (int i = 0; i < count; ++i) key = key * 4 + sorted[i];
    const D3D11ShaderCodeRecord& code = D3D11ShaderCodeState;
    return count == 6 ? code.Light6Number[key] : code.Light3Number[key];
}

// Makes the object of a pack entry when it does not exist yet; null when the entry is absent or the
// device refuses it.
void* ObjectOf(int entry) {
    void*& object = D3D11Lit3D.Objects[entry];
    if (object != nullptr) return object;
    const D3D11ShaderPack& pack = D3D11Lit3D.Pack;
    const D3D11ShaderCode code = pack.Expanded && entry < pack.EntryCount ? pack.Codes[entry] : D3D11ShaderCode{nullptr, 0};
    const bool vertex = IsVertexEntry(entry);
    HRESULT made = E_FAIL;
    if (code.Code != nullptr && code.Size > 0)
        made = vertex ? D3D11Call_Device_CreateVertexShader(code.Code, code.Size, nullptr, (ID3D11VertexShader**)&object)
                      : D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, (ID3D11PixelShader**)&object);
    if (made != S_OK) {
        object = nullptr;
        Log_AddTextShiftJIS(vertex ? "Graphics_D3D11_Shader_Normal3DDraw_Setup で頂点シェーダーの作成に失敗しました\n"
                                   : "Graphics_D3D11_Shader_Normal3DDraw_Setup でピクセルシェーダーの作成に失敗しました\n");
    }
    return object;
}

bool Present(int entry) {
    const D3D11ShaderPack& pack = D3D11Lit3D.Pack;
    return pack.Expanded && entry < pack.EntryCount && pack.Codes[entry].Size > 0;
}

}  // namespace

int Graphics_D3D11_Lit3D_Choose(const D3D11Lit3DKeys& keys, int* vertexEntry, int* pixelEntry) {
    const int fog = keys.Fog, shadow = keys.Shadow ? 1 : 0, type = keys.ShaderType, test = keys.AlphaTest ? 1 : 0;
    if (fog < 0 || fog > 3 || type < 0 || type > 6) return -1;
    if (keys.ShadowPass) {
        *vertexEntry = D3D11LIT_SHADOW_VS + test;
        *pixelEntry = D3D11LIT_SHADOW_PS + test;
        return 0;
    }
    if (!keys.Lighting) {
        *vertexEntry = D3D11LIT_UNLIT_VS + fog;
        *pixelEntry = D3D11LIT_UNLIT_PS + type * 2 + test;
        return 0;
    }
    int enabled = 0;
    int32_t firstThree[3] = {};
    for (int i = 0; i < 6; ++i)
        if (keys.LightTypes[i] > 0) {
            if (enabled < 3) firstThree[enabled] = keys.LightTypes[i];
            ++enabled;
        }
    if (enabled > 3) {
        const int six = SequenceNumber(keys.LightTypes, 6);
        const int vertex = D3D11LIT_PER_PIXEL_VS + fog + 4 * shadow;
        const int pixel = D3D11LIT_PER_PIXEL_PS + ((six + 84 * shadow) * 7 + type) * 2 + test;
        if (six >= 0 && Present(vertex) && Present(pixel)) {
            *vertexEntry = vertex;
            *pixelEntry = pixel;
            return 0;
        }
    }
    const int three = SequenceNumber(firstThree, 3);
    if (three < 0) return -1;
    // The pixel shaders of per-vertex lighting tell the lights apart only by how many of the first
    // three are on.
    const int pixelClass = enabled < 3 ? enabled : 3;
    *vertexEntry = D3D11LIT_PER_VERTEX_VS + three + (fog + 4 * shadow) * 20;
    *pixelEntry = D3D11LIT_PER_VERTEX_PS + ((pixelClass + 10 * shadow) * 7 + type) * 2 + test;
    return 0;
}

int Graphics_D3D11_Shader_Normal3DDraw_Setup() {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11ShaderPack& pack = D3D11Lit3D.Pack;
    if (!pack.Expanded && (pack.Text == nullptr || !Graphics_D3D11_ShaderPack_Expand(&pack))) {
        Log_AddTextShiftJIS("ライティング付き３Ｄ描画用のシェーダーコードがありません\n");
        return -1;
    }
    const D3D11StateCacheRecord& cache = D3D11StateCache;
    const D3D11NormalDrawStateRecord& normal = D3D11NormalDrawState;
    int preset = normal.BlendMode;
    if (preset == 3) preset = 16;
    else if (preset == 0 && DrawSettings.PremultipliedAlpha) preset = 14;
    if (preset < 0 || preset >= D3D11BlendPresetCount) preset = 0;
    D3D11Lit3DKeys keys = {};
    keys.Fog = cache.FogEnable[0] ? cache.FogMode[0] : 0;
    keys.Shadow = D3D11Lit3D.ShadowMapsInUse > 0;
    keys.ShadowPass = D3D11Lit3D.ShadowPass;
    keys.Lighting = cache.LightingEnable;
    for (int i = 0; i < 6; ++i) keys.LightTypes[i] = cache.LightEnable[i] ? cache.Light[i].Type : 0;
    keys.ShaderType = D3D11BlendModeTable[preset].ShaderType;
    keys.AlphaTest = normal.AlphaTestMode >= 0 || normal.AlphaTestWanted;
    int vertexEntry = 0, pixelEntry = 0;
    if (Graphics_D3D11_Lit3D_Choose(keys, &vertexEntry, &pixelEntry) < 0) return -1;
    ID3D11VertexShader* vertex = (ID3D11VertexShader*)ObjectOf(vertexEntry);
    if (vertex == nullptr) return -1;
    ID3D11PixelShader* pixel = (ID3D11PixelShader*)ObjectOf(pixelEntry);
    if (pixel == nullptr) return -1;
    if (cache.VertexShader != vertex || cache.Force) Graphics_D3D11_StateCache_SetVertexShader(vertex, 0);
    if (cache.PixelShader != pixel || cache.Force) Graphics_D3D11_StateCache_SetPixelShader(pixel, 0);
    return 0;
}

int Graphics_D3D11_Lit3D_ReleaseAll() {
    D3D11StateCacheRecord& cache = D3D11StateCache;
    for (int entry = 0; entry < D3D11LIT_COUNT; ++entry) {
        void*& object = D3D11Lit3D.Objects[entry];
        if (object == nullptr) continue;
        if (IsVertexEntry(entry)) {
            if (cache.VertexShader == object) Graphics_D3D11_StateCache_ClearVertexShader(0);
            D3D11Call_VertexShader_Release((ID3D11VertexShader*)object);
        } else {
            if (cache.PixelShader == object) cache.PixelShader = nullptr;
            D3D11Call_PixelShader_Release((ID3D11PixelShader*)object);
        }
        object = nullptr;
    }
    return 0;
}

int Graphics_D3D11_Lit3D_FreePack() {
    Graphics_D3D11_ShaderPack_Free(&D3D11Lit3D.Pack);
    return 0;
}

}  // namespace Vantrel
