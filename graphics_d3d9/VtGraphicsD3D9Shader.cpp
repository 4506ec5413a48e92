// Direct3D 9 built-in shader objects: made from pack 1 by file name, released with the system.
// Stands on the call layer, the shader packs, the shader-constant manager, the device's capability flags
// and the log.
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"

#include <string.h>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"

namespace Vantrel {

D3D9ShaderObjectsRecord D3D9ShaderObjects;
IDirect3DVertexDeclaration9* D3D9VertexDeclarations[D3D9VertexDeclarationCount];
D3D9ShaderSettingsRecord D3D9ShaderSettings;

namespace {

D3D9ShaderObjectsRecord& Objects = D3D9ShaderObjects;

bool MakePixel(const D3D9ShaderCode& code, IDirect3DPixelShader9** shader) {
    *shader = nullptr;
    if (code.Code == nullptr) return false;
    if (D3D9Call_Device_CreatePixelShader((const DWORD*)code.Code, shader) != D3D_OK) {
        *shader = nullptr;
        return false;
    }
    return true;
}

bool MakeAll() {
    if (!Graphics_D3D9_ShaderCode_Base_Initialize()) {
        Log_AddTextShiftJIS("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
        return false;
    }
    const D3D9ShaderCode vertex = Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_Base2DVertex);
    if (vertex.Code == nullptr || D3D9Call_Device_CreateVertexShader((const DWORD*)vertex.Code, &Objects.Base2DVertex) != D3D_OK) {
        Objects.Base2DVertex = nullptr;
        Log_AddTextShiftJIS("２Ｄ描画用基本頂点シェーダーオブジェクトの作成に失敗しました\n");
        return false;
    }
    bool made = true;
    for (int i = 0; made && i < D3D9SHADER_UNTEXTURED_COUNT; ++i)
        made = MakePixel(Graphics_D3D9_ShaderCode_GetUntextured(i), &Objects.Untextured[i]);
    for (int i = 0; made && i < D3D9SHADER_TEXTURED_COUNT; ++i)
        made = MakePixel(Graphics_D3D9_ShaderCode_GetTextured(i), &Objects.Textured[i]);
    if (!made) {
        Log_AddTextShiftJIS("基本シェーダーオブジェクトの作成に失敗しました\n");
        return false;
    }
    made = MakePixel(Graphics_D3D9_ShaderCode_GetBase(D3D9ShaderName_MaskBlend), &Objects.MaskBlend);
    for (int i = 0; made && i < D3D9SHADER_MASK_GRAPH_COUNT; ++i)
        made = MakePixel(Graphics_D3D9_ShaderCode_GetMaskGraph(i), &Objects.MaskGraph[i]);
    if (!made) {
        Log_AddTextShiftJIS("マスク処理用シェーダーオブジェクトの作成に失敗しました\n");
        return false;
    }
    return true;
}

}  // namespace

int Graphics_D3D9_VertexDeclaration_ReleaseAll() {
    bool any = false;
    for (IDirect3DVertexDeclaration9* declaration : D3D9VertexDeclarations) any = any || declaration != nullptr;
    if (!any) return 0;
    if (D3D9Call_Device_Exists()) {
        Graphics_D3D9_StateCache_ResetVertexShader(0);
        Graphics_D3D9_StateCache_ResetPixelShader(0);
    }
    for (IDirect3DVertexDeclaration9*& declaration : D3D9VertexDeclarations) {
        if (declaration != nullptr) D3D9Call_Object_Release(declaration);
        declaration = nullptr;
    }
    return 0;
}

int Graphics_D3D9_VertexDeclaration_CreateAll() {
    Graphics_D3D9_VertexDeclaration_ReleaseAll();
    if (!D3D9Call_Device_Exists()) return -1;
    for (int i = 0; i < D3D9VertexDeclarationCount; ++i) {
        if (D3D9Call_Device_CreateVertexDeclaration(D3D9VertexDeclarationElements[i], &D3D9VertexDeclarations[i]) != D3D_OK) {
            D3D9VertexDeclarations[i] = nullptr;
            Log_AddTextShiftJIS("頂点データ宣言の作成に失敗しました\n");
            Graphics_D3D9_VertexDeclaration_ReleaseAll();
            return -1;
        }
    }
    return 0;
}

int Graphics_D3D9_Shader_ReleaseAll() {
    GraphicsSystemState.ShadersUsable = 0;
    Graphics_D3D9_VertexDeclaration_ReleaseAll();
    // The device must not keep a shader about to be released.
    if (D3D9Call_Device_Exists()) {
        Graphics_D3D9_StateCache_ResetVertexShader(0);
        Graphics_D3D9_StateCache_ResetPixelShader(0);
    }
    IUnknown** objects = (IUnknown**)&Objects;
    for (size_t i = 0; i < sizeof(Objects) / sizeof(IUnknown*); ++i) {
        if (objects[i] != nullptr) D3D9Call_Object_Release(objects[i]);
        objects[i] = nullptr;
    }
    return 0;
}

int Graphics_D3D9_Shader_Initialize() {
    Graphics_D3D9_Shader_ReleaseAll();
    const D3D9DeviceStateRecord& device = D3D9DeviceState;
    const bool capable = (device.VertexShader30 && device.PixelShader30) || (device.VertexShader20 && device.PixelShader20);
    if (capable && !D3D9ShaderSettings.FixedFunctionOnly) {
        GraphicsSystemState.ShadersUsable = 1;
        if (!MakeAll() || Graphics_D3D9_VertexDeclaration_CreateAll() < 0) Graphics_D3D9_Shader_ReleaseAll();
    }
    Log_AddTextShiftJIS(GraphicsSystemState.ShadersUsable ? "プログラマブルシェーダーを使用します\n"
                                                          : "プログラマブルシェーダーを使用しません\n");
    static const float vertexZero[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    static const float pixelZero[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_FLOAT, 0, 0, vertexZero, 1, 1);
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, 0, pixelZero, 1, 1);
    return 1;
}

}  // namespace Vantrel
