// Direct3D 11 built-in shaders: pack expansion, the shader objects group by group, the input layouts
// of the standard vertex types and the simple-transfer forms, the simple-transfer state objects, and
// the lit-3D index tables.
// Stands on the shader packs, the call layer, the state cache, the vertex batch's per-type slots, the
// graphics core's state and the log.
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"

#include <float.h>
#include <string.h>

#include <initializer_list>

#include "VtShaderPacks.h"
#include "foundation/VtCharCode.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Lit3D.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"

namespace Vantrel {

D3D11ShaderCodeRecord D3D11ShaderCodeState = {
    0,
    {VtShaderPackText_Main, VtShaderPackCount_Main, 0, nullptr, 0, nullptr},
    {VtShaderPackText_ChannelMix, VtShaderPackCount_ChannelMix, 0, nullptr, 0, nullptr},
    {}, {}, {}, {}, {}, {},
    {VtShaderPackText_Lit3D, VtShaderPackCount_Lit3D, 0, nullptr, 0, nullptr},
    {}, 0, 0,
    {VtShaderPackText_Filter, VtShaderPackCount_Filter, 0, nullptr, 0, nullptr},
    {}, 0,
};
D3D11ShaderObjectsRecord D3D11ShaderObjects;

static_assert(VtShaderPackCount_Main == D3D11SHADER_MAIN_COUNT, "main pack entries");
static_assert(VtShaderPackCount_ChannelMix == D3D11SHADER_CHANNEL_MIX_COUNT, "channel-mix pack entries");
static_assert(VtShaderPackCount_Lit3D == D3D11LIT3D_COUNT, "lit-3D pack entries");
static_assert(VtShaderPackCount_Filter == 0, "the filter pack is an archive used whole");

namespace {

D3D11ShaderCodeRecord& Code = D3D11ShaderCodeState;
D3D11ShaderObjectsRecord& Objects = D3D11ShaderObjects;

// Enumerates the non-increasing sequences of `length` codes 0..maxCode in order, numbering them.
template <int Length, int Count>
void BuildSequences(uint8_t (&sequences)[Count][Length], int16_t* numbers, int numberCount, int maxCode = 3) {
    for (int i = 0; i < numberCount; ++i) numbers[i] = -1;
    int made = 0;
    uint8_t codes[Length] = {};
    for (int key = 0; key < numberCount; ++key) {
        for (int i = 0; i < Length; ++i) codes[i] = (uint8_t)((key >> (2 * (Length - 1 - i))) & 3);
        bool nonIncreasing = codes[0] <= maxCode;
        for (int i = 1; i < Length; ++i) nonIncreasing &= codes[i] <= codes[i - 1];
        if (!nonIncreasing || made >= Count) continue;
        memcpy(sequences[made], codes, Length);
        numbers[key] = (int16_t)made++;
    }
}

bool IndexTablesBuilt = false;

void BuildIndexTables() {
    if (IndexTablesBuilt) return;
    BuildSequences(Code.Light6Sequence, Code.Light6Number, 4096);
    BuildSequences(Code.Light3Sequence, Code.Light3Number, 64);
    BuildSequences(Code.Class3Sequence, Code.Class3Number, 64, 2);
    IndexTablesBuilt = true;
}

// The element table of one standard vertex type; the colour format follows the device's byte order.
struct VertexTypeDesc {
    const char* Name;
    UINT Stride;
    int Count;
    D3D11_INPUT_ELEMENT_DESC Elements[11];
};

constexpr DXGI_FORMAT F4 = DXGI_FORMAT_R32G32B32A32_FLOAT;
constexpr DXGI_FORMAT F3 = DXGI_FORMAT_R32G32B32_FLOAT;
constexpr DXGI_FORMAT F2 = DXGI_FORMAT_R32G32_FLOAT;
constexpr DXGI_FORMAT C4 = DXGI_FORMAT_R8G8B8A8_UNORM;
#define VT_ELEMENT(semantic, index, format, offset) {semantic, index, format, 0, offset, D3D11_INPUT_PER_VERTEX_DATA, 0}

const VertexTypeDesc VertexTypes[8] = {
    {"Base_VERTEX_NOTEX_2D.vso", 20, 2, {VT_ELEMENT("POSITION", 0, F4, 0), VT_ELEMENT("COLOR", 0, C4, 16)}},
    {"Base_VERTEX2D.vso", 28, 3,
     {VT_ELEMENT("POSITION", 0, F4, 0), VT_ELEMENT("COLOR", 0, C4, 16), VT_ELEMENT("TEXCOORD", 0, F2, 20)}},
    {"Base_VERTEX_BLENDTEX_2D.vso", 40, 5,
     {VT_ELEMENT("POSITION", 0, F4, 0), VT_ELEMENT("COLOR", 0, C4, 16), VT_ELEMENT("COLOR", 1, C4, 20),
      VT_ELEMENT("TEXCOORD", 0, F2, 24), VT_ELEMENT("TEXCOORD", 1, F2, 32)}},
    {"Base_VERTEX_NOTEX_3D.vso", 16, 2, {VT_ELEMENT("POSITION", 0, F3, 0), VT_ELEMENT("COLOR", 0, C4, 12)}},
    {"Base_VERTEX_3D.vso", 24, 3,
     {VT_ELEMENT("POSITION", 0, F3, 0), VT_ELEMENT("COLOR", 0, C4, 12), VT_ELEMENT("TEXCOORD", 0, F2, 16)}},
    {"Base_VERTEX3D.vso", 48, 6,
     {VT_ELEMENT("POSITION", 0, F3, 0), VT_ELEMENT("NORMAL", 0, F3, 12), VT_ELEMENT("COLOR", 0, C4, 24),
      VT_ELEMENT("COLOR", 1, C4, 28), VT_ELEMENT("TEXCOORD", 0, F2, 32), VT_ELEMENT("TEXCOORD", 1, F2, 40)}},
    {"Base_VERTEX3DSHADER.vso", 88, 9,
     {VT_ELEMENT("POSITION", 0, F3, 0), VT_ELEMENT("POSITION", 1, F4, 12), VT_ELEMENT("NORMAL", 0, F3, 28),
      VT_ELEMENT("TANGENT", 0, F3, 40), VT_ELEMENT("BINORMAL", 0, F3, 52), VT_ELEMENT("COLOR", 0, C4, 64),
      VT_ELEMENT("COLOR", 1, C4, 68), VT_ELEMENT("TEXCOORD", 0, F2, 72), VT_ELEMENT("TEXCOORD", 1, F2, 80)}},
    {"Base_VERTEX2DSHADER.vso", 40, 5,
     {VT_ELEMENT("POSITION", 0, F4, 0), VT_ELEMENT("COLOR", 0, C4, 16), VT_ELEMENT("COLOR", 1, C4, 20),
      VT_ELEMENT("TEXCOORD", 0, F2, 24), VT_ELEMENT("TEXCOORD", 1, F2, 32)}},
};
const D3D11_INPUT_ELEMENT_DESC SimpleTransferElements[3] = {
    VT_ELEMENT("POSITION", 0, F2, 0), VT_ELEMENT("TEXCOORD", 0, F2, 8), VT_ELEMENT("TEXCOORD", 1, F2, 16)};
const D3D11_INPUT_ELEMENT_DESC SimpleTransferElements8[9] = {
    VT_ELEMENT("POSITION", 0, F2, 0),  VT_ELEMENT("TEXCOORD", 0, F2, 8),  VT_ELEMENT("TEXCOORD", 1, F2, 16),
    VT_ELEMENT("TEXCOORD", 2, F2, 24), VT_ELEMENT("TEXCOORD", 3, F2, 32), VT_ELEMENT("TEXCOORD", 4, F2, 40),
    VT_ELEMENT("TEXCOORD", 5, F2, 48), VT_ELEMENT("TEXCOORD", 6, F2, 56), VT_ELEMENT("TEXCOORD", 7, F2, 64)};
#undef VT_ELEMENT

// One group of shader objects: pack entries [first, first + count), vertex or pixel shaders.
struct ShaderGroup {
    int First, Count;
    bool Vertex;
    const char* Failure;   // with the shader's number within the group
};
const ShaderGroup Groups[] = {
    {D3D11SHADER_STANDARD_VS, 8, true, "標準描画用の複雑な処理を行わない頂点シェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_UNTEXTURED_PS, D3D11SHADER_UNTEXTURED_COUNT, false,
     "固定機能パイプライン互換のピクセルシェーダーオブジェクト( テクスチャなし ) No.%d の作成に失敗しました\n"},
    {D3D11SHADER_TEXTURED_PS, D3D11SHADER_TEXTURED_COUNT, false,
     "固定機能パイプライン互換のピクセルシェーダーオブジェクト( テクスチャあり ) No.%d の作成に失敗しました\n"},
    {D3D11SHADER_MASK_PS, 1, false, "マスク処理用のピクセルシェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_MASK_REVERSE_PS, 1, false, "反転効果マスク処理用のピクセルシェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_MASK_VARIANT_PS, 4, false, "マスク処理用のピクセルシェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_MASK_REVERSE_VARIANT_PS, 4, false, "反転効果マスク処理用のピクセルシェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_SIMPLE_TRANSFER_VS, 1, true, "単純転送用の頂点シェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_SIMPLE_TRANSFER_VS8, 1, true,
     "テクスチャ座標8個の単純転送用の頂点シェーダーオブジェクト No.%d の作成に失敗しました\n"},
    {D3D11SHADER_SIMPLE_TRANSFER_PS, 1, false, "単純転送用のピクセルシェーダーオブジェクト No.%d の作成に失敗しました\n"},
};

int FailInitialize(const char* format, int number) {
    Log_AddFormatShiftJIS(format, number);
    GraphicsSystemState.ShadersUsable = 0;
    return -1;
}

template <typename T>
void ReleaseObject(T*& object, ULONG (*release)(T*)) {
    if (object != nullptr) release(object);
    object = nullptr;
}

}  // namespace

D3D11ShaderCode Graphics_D3D11_ShaderCode_GetMain(int index) {
    if (!Code.Main.Expanded || index < 0 || index >= Code.Main.EntryCount) return {nullptr, 0};
    return Code.Main.Codes[index];
}

D3D11ShaderCode Graphics_D3D11_ShaderCode_GetChannelMix(int index) {
    if (!Code.ChannelMix.Expanded || index < 0 || index >= Code.ChannelMix.EntryCount) return {nullptr, 0};
    return Code.ChannelMix.Codes[index];
}

D3D11ShaderCode Graphics_D3D11_ShaderCode_GetLit3D(int index) {
    if (!Code.Lit3DExpanded || index < 0 || index >= Code.Lit3D.EntryCount) return {nullptr, 0};
    return Code.Lit3D.Codes[index];
}

int Graphics_D3D11_ShaderCode_Base3DInitialize() {
    if (Code.Lit3DExpanded) return 1;
    if (!Code.Lit3DLockMade) Code.Lit3DLockMade = CriticalSection_Create(&Code.Lit3DLock) == 0;
    CriticalSection_Enter(&Code.Lit3DLock, __FILE__, __LINE__);
    if (!Code.Lit3DExpanded && Graphics_D3D11_ShaderPack_Expand(&Code.Lit3D)) InterlockedExchange(&Code.Lit3DExpanded, 1);
    CriticalSection_Leave(&Code.Lit3DLock);
    return Code.Lit3DExpanded ? 1 : 0;
}

namespace {

// The number of a sequence of `length` codes in a reverse table read as base-4 digits.
int SequenceNumber(const int16_t* numbers, const int* codes, int length) {
    int key = 0;
    for (int i = 0; i < length; ++i) key = key * 4 + codes[i];
    return numbers[key];
}

}  // namespace

int Graphics_D3D11_Shader_Lit3DChoose(const D3D11Lit3DKeys* keys, D3D11Lit3DChoice* choice) {
    if (keys == nullptr || choice == nullptr) return -1;
    if (keys->FogMode < 0 || keys->FogMode > 3 || keys->ShaderType < 0 || keys->ShaderType > 6) return -1;
    for (int type : keys->LightType)
        if (type < 0 || type > 3) return -1;
    if (!Graphics_D3D11_ShaderCode_Base3DInitialize()) return -1;
    BuildIndexTables();
    const int fog = keys->FogMode, shadow = keys->ShadowMaps != 0, type = keys->ShaderType, test = keys->AlphaTest != 0;

    // Enabled lights by type, directional first, in the core's order within a type.
    int sorted[6] = {0, 0, 0, 0, 0, 0}, count = 0;
    for (int i = 0; i < 6; ++i) choice->LightOrder[i] = -1;
    for (int code = 3; code >= 1; --code)
        for (int i = 0; i < 6; ++i)
            if (keys->LightType[i] == code) sorted[count] = code, choice->LightOrder[count++] = i;

    choice->PerPixel = 0;
    if (keys->ShadowPass) {
        choice->VertexEntry = D3D11LIT3D_SHADOW_VS + test;
        choice->PixelEntry = D3D11LIT3D_SHADOW_PS + test;
        return 0;
    }
    if (!keys->Lighting) {
        choice->VertexEntry = D3D11LIT3D_UNLIT_VS + fog;
        choice->PixelEntry = D3D11LIT3D_UNLIT_PS + type * 2 + test;
        return 0;
    }
    const int six = SequenceNumber(Code.Light6Number, sorted, 6);
    const int perPixelVS = D3D11LIT3D_PER_PIXEL_VS + fog + 4 * shadow;
    const int perPixelPS = D3D11LIT3D_PER_PIXEL_PS + ((six + 84 * shadow) * 7 + type) * 2 + test;
    if (count > 3 && Code.Lit3D.Codes[perPixelVS].Code != nullptr && Code.Lit3D.Codes[perPixelPS].Code != nullptr) {
        choice->PerPixel = 1;
        choice->VertexEntry = perPixelVS;
        choice->PixelEntry = perPixelPS;
        return 0;
    }
    // Per-vertex lighting: the first three lights of the order.
    for (int i = 3; i < 6; ++i) choice->LightOrder[i] = -1;
    int classes[3];
    for (int i = 0; i < 3; ++i) classes[i] = sorted[i] == 3 ? 2 : sorted[i] != 0 ? 1 : 0;
    const int three = SequenceNumber(Code.Light3Number, sorted, 3);
    const int classNumber = SequenceNumber(Code.Class3Number, classes, 3);
    choice->VertexEntry = D3D11LIT3D_PER_VERTEX_VS + three + (fog + 4 * shadow) * 20;
    choice->PixelEntry = D3D11LIT3D_PER_VERTEX_PS + ((classNumber + 10 * shadow) * 7 + type) * 2 + test;
    return 0;
}

int Graphics_D3D11_Shader_Lit3DWriteLightTable(const D3D11Lit3DChoice* choice) {
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_LIGHTING];
    if (choice == nullptr || buffer == nullptr) return -1;
    // Words 1-3 of light records 0 and 1: the register where the k-th light's record starts.
    int32_t* words[6];
    for (int k = 0; k < 6; ++k) words[k] = (int32_t*)Graphics_D3D11_ConstantBuffer_Float(D3D11CB_LIGHTING, (k < 3 ? 0 : 112) + 4 * (1 + k % 3));
    for (int k = 0; k < 6; ++k) {
        const int32_t base = choice->LightOrder[k] >= 0 ? 7 * choice->LightOrder[k] : 0;
        if (*words[k] != base) *words[k] = base, buffer->Changed = 1;
    }
    return 0;
}

namespace {

bool IsLit3DVertexEntry(int entry) {
    return (entry >= D3D11LIT3D_PER_PIXEL_VS && entry < D3D11LIT3D_PER_PIXEL_PS) ||
           (entry >= D3D11LIT3D_SHADOW_VS && entry < D3D11LIT3D_SHADOW_PS);
}

}  // namespace

ID3D11VertexShader* Graphics_D3D11_Shader_GetLit3DVertexShader(int entry) {
    if (entry < 0 || entry >= D3D11LIT3D_COUNT || !IsLit3DVertexEntry(entry)) return nullptr;
    if (Objects.Lit3DVertexShader[entry] != nullptr) return Objects.Lit3DVertexShader[entry];
    const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetLit3D(entry);
    if (code.Code == nullptr || D3D11Call_Device_CreateVertexShader(code.Code, code.Size, nullptr, &Objects.Lit3DVertexShader[entry]) != S_OK)
        Objects.Lit3DVertexShader[entry] = nullptr;
    return Objects.Lit3DVertexShader[entry];
}

ID3D11PixelShader* Graphics_D3D11_Shader_GetLit3DPixelShader(int entry) {
    if (entry < 0 || entry >= D3D11LIT3D_COUNT || IsLit3DVertexEntry(entry)) return nullptr;
    if (Objects.Lit3DPixelShader[entry] != nullptr) return Objects.Lit3DPixelShader[entry];
    const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetLit3D(entry);
    if (code.Code == nullptr || D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &Objects.Lit3DPixelShader[entry]) != S_OK)
        Objects.Lit3DPixelShader[entry] = nullptr;
    return Objects.Lit3DPixelShader[entry];
}

D3D11ShaderCode Graphics_D3D11_ShaderCode_GetFilter(const char* name) {
    uint64_t offset = 0, size = 0;
    if (!Code.FilterArchiveOpen || name == nullptr ||
        Archive_LocateFile(&Code.FilterArchive, CodePage_Ascii, name, &offset, &size) != 0 || size == 0 ||
        offset > Code.Filter.BlockSize || size > Code.Filter.BlockSize - offset)
        return {nullptr, 0};
    return {Code.Filter.Block + offset, (uint32_t)size};
}

int Graphics_D3D11_ShaderCode_BaseInitialize() {
    if (Code.BaseInitialized) return 1;
    BuildIndexTables();
    if (!Code.Lit3DLockMade) Code.Lit3DLockMade = CriticalSection_Create(&Code.Lit3DLock) == 0;
    // The main pack, the channel-mix pack, the filter pack, and last the filter archive in its block.
    if (!Graphics_D3D11_ShaderPack_Expand(&Code.Main) || !Graphics_D3D11_ShaderPack_Expand(&Code.ChannelMix) ||
        !Graphics_D3D11_ShaderPack_Expand(&Code.Filter) ||
        Archive_OpenFromMemory(&Code.FilterArchive, Code.Filter.Block, Code.Filter.BlockSize, 0, 0, nullptr, nullptr) != 0) {
        Graphics_D3D11_ShaderPack_Free(&Code.Main);
        Graphics_D3D11_ShaderPack_Free(&Code.ChannelMix);
        Graphics_D3D11_ShaderPack_Free(&Code.Filter);
        return 0;
    }
    Code.FilterArchiveOpen = 1;
    Code.BaseInitialized = 1;
    return 1;
}

int Graphics_D3D11_ShaderCode_BaseTerminate() {
    Graphics_D3D11_ShaderPack_Free(&Code.Main);
    if (Code.FilterArchiveOpen) Archive_CloseAndReset(&Code.FilterArchive);
    Code.FilterArchiveOpen = 0;
    Graphics_D3D11_ShaderPack_Free(&Code.ChannelMix);
    Graphics_D3D11_ShaderPack_Free(&Code.Filter);
    if (Code.Lit3DExpanded) {
        Graphics_D3D11_ShaderPack_Free(&Code.Lit3D);
        Code.Lit3DExpanded = 0;
    }
    Code.BaseInitialized = 0;
    return 1;
}

int Graphics_D3D11_Shader_Initialize() {
    Graphics_D3D11_Shader_ReleaseAll();
    Log_AddTextShiftJIS("シェーダーコード関係の初期化.... ");
    GraphicsSystemState.ShadersUsable = 1;
    if (!Graphics_D3D11_ShaderCode_BaseInitialize()) {
        Log_AddTextShiftJIS("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
        GraphicsSystemState.ShadersUsable = 0;
        return -1;
    }
    D3D11StandardVertex.Normal3DDrawSetup = Graphics_D3D11_Shader_Normal3DDraw_Setup;
    for (const ShaderGroup& group : Groups) {
        for (int i = 0; i < group.Count; ++i) {
            const int entry = group.First + i;
            const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetMain(entry);
            if (code.Code == nullptr) continue;   // absent from the pack
            const HRESULT hr =
                group.Vertex ? D3D11Call_Device_CreateVertexShader(code.Code, code.Size, nullptr, &Objects.VertexShader[entry])
                             : D3D11Call_Device_CreatePixelShader(code.Code, code.Size, nullptr, &Objects.PixelShader[entry]);
            if (hr != S_OK) {
                Objects.VertexShader[entry] = nullptr;
                Objects.PixelShader[entry] = nullptr;
                return FailInitialize(group.Failure, i);
            }
        }
    }
    for (int type = 0; type < D3D11StandardVertexTypeCount; ++type)
        D3D11StandardVertex.VertexShader[type] = Objects.VertexShader[D3D11SHADER_STANDARD_VS + type];
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D11_Shader_ReleaseAll() {
    // Without the shader objects no shader is usable: the filters go back to their software bodies.
    GraphicsSystemState.ShadersUsable = 0;
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11StateCacheRecord& cache = D3D11StateCache;
    if (cache.VertexShader != nullptr) Graphics_D3D11_StateCache_ClearVertexShader(0);
    if (cache.PixelShader != nullptr) {
        D3D11Call_DeviceContext_PSSetShader(nullptr, nullptr, 0);
        cache.PixelShader = nullptr;
        cache.PixelShaderStandard = 0;
    }
    if (cache.GeometryShader != nullptr) Graphics_D3D11_StateCache_ClearGeometryShader();
    for (int i = 0; i < D3D11SHADER_MAIN_COUNT; ++i) {
        ReleaseObject(Objects.VertexShader[i], D3D11Call_VertexShader_Release);
        ReleaseObject(Objects.PixelShader[i], D3D11Call_PixelShader_Release);
    }
    for (ID3D11VertexShader*& shader : D3D11StandardVertex.VertexShader) shader = nullptr;
    for (int i = 0; i < D3D11LIT3D_COUNT; ++i) {
        ReleaseObject(Objects.Lit3DVertexShader[i], D3D11Call_VertexShader_Release);
        ReleaseObject(Objects.Lit3DPixelShader[i], D3D11Call_PixelShader_Release);
    }
    return 0;
}

int Graphics_D3D11_InputLayout_CreateAll() {
    if (!D3D11Call_Device_Exists()) return -1;
    Graphics_D3D11_InputLayout_ReleaseAll();
    Log_AddTextShiftJIS("各種 ID3D11InputLayout の作成.... ");
    const bool bgra = GraphicsSystemState.BackEndCaps[D3D11CAPS_VERTEX_COLOR_BGRA] != 0;
    for (int type = 0; type < 8; ++type) {
        const VertexTypeDesc& desc = VertexTypes[type];
        D3D11_INPUT_ELEMENT_DESC elements[11];
        int count = 0;
        while (count < 11 && count < desc.Count && desc.Elements[count].SemanticName != nullptr) {
            elements[count] = desc.Elements[count];
            if (bgra && elements[count].Format == C4) elements[count].Format = DXGI_FORMAT_B8G8R8A8_UNORM;
            ++count;
        }
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetMain(D3D11SHADER_STANDARD_VS + type);
        if (code.Code == nullptr ||
            D3D11Call_Device_CreateInputLayout(elements, (UINT)count, code.Code, code.Size, &Objects.StandardLayout[type]) != S_OK) {
            Objects.StandardLayout[type] = nullptr;
            Log_AddTextShiftJIS("標準描画用の ID3D11InputLayout の作成に失敗\n");
            return -1;
        }
        D3D11StandardVertex.InputLayout[type] = Objects.StandardLayout[type];
    }
    struct Transfer {
        ID3D11InputLayout** Layout;
        const D3D11_INPUT_ELEMENT_DESC* Elements;
        UINT Count;
        int Entry;
        const char* Failure;
    };
    const Transfer transfers[2] = {
        {&Objects.SimpleTransferLayout, SimpleTransferElements, 3, D3D11SHADER_SIMPLE_TRANSFER_VS,
         "単純転送用の ID3D11InputLayout の作成に失敗\n"},
        {&Objects.SimpleTransferLayout8, SimpleTransferElements8, 9, D3D11SHADER_SIMPLE_TRANSFER_VS8,
         "テクスチャ座標8個の単純転送用の ID3D11InputLayout の作成に失敗\n"},
    };
    for (const Transfer& t : transfers) {
        const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetMain(t.Entry);
        if (code.Code == nullptr || D3D11Call_Device_CreateInputLayout(t.Elements, t.Count, code.Code, code.Size, t.Layout) != S_OK) {
            *t.Layout = nullptr;
            Log_AddTextShiftJIS(t.Failure);
            return -1;
        }
    }
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D11_InputLayout_ReleaseAll() {
    if (!D3D11Call_Device_Exists()) return -1;
    for (int type = 0; type < 8; ++type) {
        if (D3D11StateCache.InputLayout == Objects.StandardLayout[type] && Objects.StandardLayout[type] != nullptr)
            D3D11StateCache.InputLayout = nullptr;
        ReleaseObject(Objects.StandardLayout[type], D3D11Call_InputLayout_Release);
        D3D11StandardVertex.InputLayout[type] = nullptr;
    }
    for (ID3D11InputLayout** layout : {&Objects.SimpleTransferLayout, &Objects.SimpleTransferLayout8}) {
        if (D3D11StateCache.InputLayout == *layout && *layout != nullptr) D3D11StateCache.InputLayout = nullptr;
        ReleaseObject(*layout, D3D11Call_InputLayout_Release);
    }
    return 0;
}

int Graphics_D3D11_SimpleTransfer_Initialize() {
    Log_AddTextShiftJIS("画像の単純転送処理の初期化... ");
    auto fail = [](const char* text) {
        Log_AddTextShiftJIS(text);
        return -1;
    };
    D3D11_BLEND_DESC blend = {};
    for (D3D11_RENDER_TARGET_BLEND_DESC& target : blend.RenderTarget)
        target = {TRUE, D3D11_BLEND_ONE, D3D11_BLEND_ZERO, D3D11_BLEND_OP_ADD, D3D11_BLEND_ONE, D3D11_BLEND_ZERO,
                  D3D11_BLEND_OP_ADD, 15};
    if (Objects.CopyBlend == nullptr && D3D11Call_Device_CreateBlendState(&blend, &Objects.CopyBlend) != S_OK)
        return Objects.CopyBlend = nullptr, fail("単純転送用の ID3D11BlendState の作成に失敗しました\n");
    for (D3D11_RENDER_TARGET_BLEND_DESC& target : blend.RenderTarget)
        target = {TRUE, D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_OP_ADD, D3D11_BLEND_SRC_ALPHA,
                  D3D11_BLEND_INV_SRC_ALPHA, D3D11_BLEND_OP_ADD, 15};
    if (Objects.AlphaBlend == nullptr && D3D11Call_Device_CreateBlendState(&blend, &Objects.AlphaBlend) != S_OK)
        return Objects.AlphaBlend = nullptr, fail("単純アルファブレンド転送用の ID3D11BlendState の作成に失敗しました\n");

    D3D11_SAMPLER_DESC sampler = {};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
    sampler.MaxAnisotropy = 16;
    sampler.ComparisonFunc = D3D11_COMPARISON_ALWAYS;
    sampler.MinLOD = -FLT_MAX;
    sampler.MaxLOD = FLT_MAX;
    if (Objects.PointSampler == nullptr && D3D11Call_Device_CreateSamplerState(&sampler, &Objects.PointSampler) != S_OK)
        return Objects.PointSampler = nullptr, fail("最近点サンプリング単純転送用の ID3D11SamplerState の作成に失敗しました\n");
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    if (Objects.LinearSampler == nullptr && D3D11Call_Device_CreateSamplerState(&sampler, &Objects.LinearSampler) != S_OK)
        return Objects.LinearSampler = nullptr, fail("バイリニア補間単純転送用の ID3D11SamplerState の作成に失敗しました\n");
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    if (Objects.PointWrapSampler == nullptr && D3D11Call_Device_CreateSamplerState(&sampler, &Objects.PointWrapSampler) != S_OK)
        return Objects.PointWrapSampler = nullptr,
               fail("最近点サンプリング及びWRAP単純転送用の ID3D11SamplerState の作成に失敗しました\n");

    D3D11_RASTERIZER_DESC rasterizer = {};
    rasterizer.FillMode = D3D11_FILL_SOLID;
    rasterizer.CullMode = D3D11_CULL_BACK;
    rasterizer.DepthClipEnable = TRUE;
    if (Objects.Rasterizer == nullptr && D3D11Call_Device_CreateRasterizerState(&rasterizer, &Objects.Rasterizer) != S_OK)
        return Objects.Rasterizer = nullptr, fail("単純転送用の ID3D11RasterizerState の作成に失敗しました\n");

    D3D11_DEPTH_STENCIL_DESC depth = {};
    depth.DepthEnable = FALSE;
    depth.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    depth.DepthFunc = D3D11_COMPARISON_ALWAYS;
    depth.StencilEnable = FALSE;
    depth.StencilReadMask = 0xFF;
    depth.StencilWriteMask = 0xFF;
    depth.FrontFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    depth.BackFace = depth.FrontFace;
    if (Objects.DepthStencil == nullptr && D3D11Call_Device_CreateDepthStencilState(&depth, &Objects.DepthStencil) != S_OK)
        return Objects.DepthStencil = nullptr, fail("単純転送用の ID3D11DepthStencilState の作成に失敗しました\n");
    Log_AddTextShiftJIS("成功\n");
    return 0;
}

int Graphics_D3D11_SimpleTransfer_Terminate() {
    ReleaseObject(Objects.CopyBlend, D3D11Call_BlendState_Release);
    ReleaseObject(Objects.AlphaBlend, D3D11Call_BlendState_Release);
    ReleaseObject(Objects.PointSampler, D3D11Call_SamplerState_Release);
    ReleaseObject(Objects.LinearSampler, D3D11Call_SamplerState_Release);
    ReleaseObject(Objects.PointWrapSampler, D3D11Call_SamplerState_Release);
    ReleaseObject(Objects.Rasterizer, D3D11Call_RasterizerState_Release);
    ReleaseObject(Objects.DepthStencil, D3D11Call_DepthStencilState_Release);
    return 0;
}

}  // namespace Vantrel
