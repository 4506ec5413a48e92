// Direct3D 9 graph filters: the run's framework bodies, the work textures, the filter shaders, the draw
// pass, and one body per filter kind whose shader the filter archive holds.
// Stands on the call layer, the state cache, the shader-constant manager, the filter-shader pack, the
// graph textures and the core's filter run and graph handles.
#include "graphics_d3d9/VtGraphicsD3D9Filter.h"

#include <stdio.h>
#include <string.h>

#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9DrawTarget.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "image/VtBaseImage.h"

namespace Vantrel {

D3D9FilterSavedDrawParams D3D9FilterSavedParams;

namespace {

constexpr int ScreenHandle = -2;
constexpr int SizeSteps = 18;

struct ShaderEntry {
    char Name[48];
    IDirect3DPixelShader9* Shader;
};
constexpr int ShaderCacheSize = 160;
ShaderEntry Shaders[ShaderCacheSize];
int ShaderCount = 0;

// Work graphs by (float flag, 32-bit channels, log2 width, log2 height, slot); -1 until made, set back
// to -1 by the handle manager when the graph is deleted.
int32_t WorkTextures[2][2][SizeSteps][SizeSteps][2];
bool WorkTexturesReady = false;

int Log2Ceil(int value) {
    int step = 0;
    while ((1 << step) < value && step < SizeSteps - 1) ++step;
    return step;
}

// A live graph with its first texture part's device texture.
struct Image {
    GraphHandleRecord* Graph;
    IDirect3DTexture9* Texture;
    int TextureWidth, TextureHeight;
};

bool ResolveGraph(int handle, Image* out) {
    *out = {nullptr, nullptr, 0, 0};
    if (handle < 0) return false;
    GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(handle, 0);
    if (graph == nullptr || graph->Orig == nullptr || graph->Orig->partCount < 1 || graph->Orig->parts == nullptr ||
        !graph->Orig->format.hardware)
        return false;
    GraphTexturePart& part = graph->Orig->parts[0];
    D3D9GraphTexture* objects = Graphics_D3D9_GraphTexture_Of(&part);
    if (objects == nullptr || objects->Texture == nullptr || part.textureWidth <= 0 || part.textureHeight <= 0) return false;
    *out = {graph, (IDirect3DTexture9*)objects->Texture, part.textureWidth, part.textureHeight};
    return true;
}

// The surface a pass draws into: the screen's, or a drawable graph's (its multisample surface when it
// has one).
IDirect3DSurface9* OutputSurface(int handle, bool* multiSampled) {
    *multiSampled = false;
    if (handle == ScreenHandle) return Graphics_D3D9_DrawScreen_ScreenSurface();
    GraphHandleRecord* graph = handle >= 0 ? Graphics_Image_GetGraphRecord(handle, 0) : nullptr;
    D3D9GraphSurfaces surfaces = {};
    if (graph == nullptr || Graphics_D3D9_GraphTexture_GetSurfaces(graph, 0, 0, &surfaces) != 0 || surfaces.Surface == nullptr ||
        !surfaces.RenderTarget)
        return nullptr;
    *multiSampled = surfaces.MultiSample != nullptr;
    return surfaces.MultiSample != nullptr ? surfaces.MultiSample : surfaces.Surface;
}

// The layer-1 constants of one body, written from c0 up.
struct Constants {
    float Values[24][4];
    int Count;
    void Put(int reg, float x, float y, float z, float w) {
        Values[reg][0] = x, Values[reg][1] = y, Values[reg][2] = z, Values[reg][3] = w;
        if (reg + 1 > Count) Count = reg + 1;
    }
    void PutColour(int reg, const FloatColor* c) {
        if (c != nullptr) Put(reg, c->r, c->g, c->b, c->a);
        else Put(reg, 0, 0, 0, 0);
    }
    void PutPacked(int reg, uint32_t c) {
        Put(reg, (float)(c >> 16 & 0xFF) / 255.0f, (float)(c >> 8 & 0xFF) / 255.0f, (float)(c & 0xFF) / 255.0f,
            (float)(c >> 24) / 255.0f);
    }
};

// A body's pass: its shader, its constants over layer 0 for the pass, the extra texture in stage 1 (a
// graph handle, or -1), the pass; the constants fall back to layer 0 afterwards.
int Pass(GraphFilterContext* run, const char* shaderName, const Constants& constants, int extraGraph, int divisor,
         int linear) {
    if (!D3D9Call_Device_Exists()) return -1;
    IDirect3DPixelShader9* shader = Graphics_D3D9_GraphFilter_CreateShader(shaderName);
    if (shader == nullptr) return -1;
    D3D9ShaderConstantManager* manager = &D3D9ShaderConstants;
    const int layers = manager->LayerMask;
    Graphics_D3D9_ShaderConstant_SelectLayers(manager, layers | 3);
    if (constants.Count > 0)
        Graphics_D3D9_ShaderConstant_SetValues(manager, D3D9CONST_PIXEL_FLOAT, 1, 0, constants.Values, constants.Count, 0);
    IDirect3DTexture9* extra = nullptr;
    if (extraGraph >= 0) {
        Image image;
        if (ResolveGraph(extraGraph, &image)) extra = image.Texture;
    }
    Graphics_Dispatch_VertexBatch_Flush(0);
    Graphics_D3D9_StateCache_SetPixelShader(shader, 0);
    if (extra != nullptr) D3D9Call_Device_SetTexture(1, extra);
    const int result = Graphics_D3D9_GraphFilter_DrawPass(run, divisor, linear);
    if (extra != nullptr) D3D9Call_Device_SetTexture(1, nullptr);
    D3D9DeviceStateCache.Applied.Stages[1].Texture = 0;
    Graphics_D3D9_StateCache_ResetPixelShader(0);
    if (constants.Count > 0)
        Graphics_D3D9_ShaderConstant_ResetArea(manager, D3D9CONST_PIXEL_FLOAT, 1, 0, constants.Count);
    Graphics_D3D9_ShaderConstant_SelectLayers(manager, layers);
    return result < 0 ? -1 : 0;
}

const char* Variant(char (&buffer)[64], const char* base, int pma) {
    snprintf(buffer, sizeof(buffer), "%s%s.pso", base, pma ? "_PMA" : "");
    return buffer;
}

void PutLuminance(Constants& c, int reg) { c.Put(reg, 0.299f, 0.587f, 0.114f, 0); }

}  // namespace

// ---- Shaders and work textures ----

IDirect3DPixelShader9* Graphics_D3D9_GraphFilter_CreateShader(const char* name) {
    if (name == nullptr || !D3D9Call_Device_Exists()) return nullptr;
    for (int i = 0; i < ShaderCount; ++i)
        if (strcmp(Shaders[i].Name, name) == 0) return Shaders[i].Shader;
    const D3D9ShaderCode code = Graphics_D3D9_ShaderCode_GetFilter(name);
    IDirect3DPixelShader9* shader = nullptr;
    if (code.Code == nullptr || ShaderCount >= ShaderCacheSize || strlen(name) >= sizeof(Shaders[0].Name) ||
        D3D9Call_Device_CreatePixelShader((const DWORD*)code.Code, &shader) != D3D_OK || shader == nullptr) {
        char line[128];
        snprintf(line, sizeof(line), "フィルター用シェーダーの作成に失敗しました %s\n", name);
        Log_AddTextShiftJIS(line);
        return nullptr;
    }
    ShaderEntry& entry = Shaders[ShaderCount++];
    strcpy(entry.Name, name);
    entry.Shader = shader;
    return shader;
}

int Graphics_D3D9_GraphFilter_ReleaseShaders() {
    for (int i = 0; i < ShaderCount; ++i)
        if (Shaders[i].Shader != nullptr) D3D9Call_Object_Release(Shaders[i].Shader);
    ShaderCount = 0;
    WorkTexturesReady = false;
    return 0;
}

int Graphics_D3D9_GraphFilter_GetWorkTexture(int floatFlag, int bitsPerChannel, int width, int height, int slot) {
    if (!WorkTexturesReady) {
        memset(WorkTextures, 0xFF, sizeof(WorkTextures));
        WorkTexturesReady = true;
    }
    if (width <= 0 || height <= 0) return -1;
    const int w = Log2Ceil(width), h = Log2Ceil(height);
    const int f = floatFlag ? 1 : 0, d = floatFlag && bitsPerChannel == 32 ? 1 : 0, s = slot ? 1 : 0;
    int32_t& entry = WorkTextures[f][d][w][h][s];
    if (entry >= 0 && Graphics_Image_GetGraphRecord(entry, 0) != nullptr) return entry;
    GraphCreateParam param;
    Graphics_Image_InitRenderTargetFormatParam(&param, 32, 1);
    const int graph = Graphics_Image_MakeEmptyGraph_GParam(&param, 1 << w, 1 << h, 0, 0, 0, 0, 0);
    if (graph < 0) {
        char line[96];
        snprintf(line, sizeof(line), "作業用描画可能テクスチャの作成に失敗しました Size:%dx%d\n", 1 << w, 1 << h);
        Log_AddTextShiftJIS(line);
        return -1;
    }
    entry = graph;
    Handle_SetDeleteNotify((HandleValue)graph, &entry);
    return graph;
}

// ---- The run's framework ----

int Graphics_D3D9_GraphFilter_RectBltSetup(GraphFilterContext* run, const GraphFilterParams* params) {
    if (!D3D9Call_Device_Exists()) return -1;
    int passes = 1;
    if (!run->BlendFlag) {
        const int kind = run->Kind;
        if (kind == GraphFilter_KindGauss) passes = 2;
        else if ((kind == GraphFilter_KindHsb || kind == GraphFilter_KindHsbPma) && !(params != nullptr && params->HsbType == 1))
            passes = 2;
    }
    run->WorkTextureFlag = 1;
    if (!GraphicsSystemState.ShadersUsable) passes = 1;
    run->PassCount = passes;
    D3D9Call_Device_BeginSceneOnce();
    D3D9FilterSavedDrawParams& saved = D3D9FilterSavedParams;
    for (int i = 0; i < 8; ++i) saved.RenderTargets[i] = D3D9DeviceStateCache.RenderTarget[i];
    saved.Saved = 1;
    // No target but the pass's own is bound while the passes draw.
    for (int i = 1; i < 8; ++i)
        if (D3D9DeviceStateCache.RenderTarget[i] != nullptr) Graphics_D3D9_StateCache_SetRenderTarget(nullptr, i);
    return 0;
}

int Graphics_D3D9_GraphFilter_RectBltPassSetup(GraphFilterContext* run, int* source, int* destination) {
    if (!D3D9Call_Device_Exists()) return -1;
    Image from;
    if (!ResolveGraph(*source, &from)) return -1;
    const int runDestination = run->Destination;
    if (!GraphicsSystemState.ShadersUsable) {
        *destination = runDestination;
        return 0;
    }
    bool drawable = true, multiSampled = false;
    if (runDestination != ScreenHandle) {
        Image to;
        if (!ResolveGraph(runDestination, &to)) return -1;
        drawable = OutputSurface(runDestination, &multiSampled) != nullptr;
    }
    const bool work = runDestination != ScreenHandle && (runDestination == run->Source || !drawable);
    const bool alternate = run->WorkTextureFlag && (run->PassIndex % 2) == (run->PassCount % 2);
    const bool gather = run->PassIndex == 0 && (from.Graph->drawPartCount > 1 || from.Graph->drawParts[0].srcX != 0 ||
                                                from.Graph->drawParts[0].srcY != 0);
    if (gather) {
        // A divided or derived source would have to be gathered into one texture first.
        Log_AddTextShiftJIS("分割されたグラフィックにはフィルターを掛けられません\n");
        return -1;
    }
    int output = runDestination;
    if (work || alternate) {
        output = Graphics_D3D9_GraphFilter_GetWorkTexture(0, 8, from.TextureWidth, from.TextureHeight, alternate ? 0 : 1);
        if (output < 0) return -1;
    }
    *destination = output;
    return 0;
}

int Graphics_D3D9_GraphFilter_RectBltFinish(GraphFilterContext* run, int lastOutput, int lastResult) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (lastResult < 0 || (run->Destination < 0 && run->Destination != ScreenHandle)) return 0;
    if (!GraphicsSystemState.ShadersUsable || lastOutput == run->Destination) return 0;
    bool fromMultiSampled = false, toMultiSampled = false;
    IDirect3DSurface9* from = OutputSurface(lastOutput, &fromMultiSampled);
    IDirect3DSurface9* to = OutputSurface(run->Destination, &toMultiSampled);
    if (from == nullptr || to == nullptr) {
        Log_AddTextShiftJIS("フィルター結果を描画可能ではないグラフィックに転送できませんでした\n");
        return -1;
    }
    const int divisor = run->Divisor > 1 ? run->Divisor : 1;
    const RECT rect = {run->DestX, run->DestY, run->DestX + (run->X2 - run->X1) / divisor,
                       run->DestY + (run->Y2 - run->Y1) / divisor};
    if (rect.right <= rect.left || rect.bottom <= rect.top) return 0;
    Graphics_Dispatch_VertexBatch_Flush(0);
    if (D3D9DeviceStateCache.Scene == 1) {
        D3D9Call_Device_EndScene();
        D3D9DeviceStateCache.Scene = 0;
    }
    return D3D9Call_Device_StretchRect(from, &rect, to, &rect, D3DTEXF_NONE) == D3D_OK ? 0 : -1;
}

int Graphics_D3D9_GraphFilter_RestoreDrawState() {
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9FilterSavedDrawParams& saved = D3D9FilterSavedParams;
    if (!saved.Saved) return 0;
    Graphics_Dispatch_VertexBatch_Flush(0);
    for (int i = 0; i < 8; ++i)
        if (D3D9DeviceStateCache.RenderTarget[i] != saved.RenderTargets[i] && (i == 0 || saved.RenderTargets[i] != nullptr ||
                                                                               D3D9DeviceStateCache.RenderTarget[i] != nullptr))
            Graphics_D3D9_StateCache_SetRenderTarget(saved.RenderTargets[i], i);
    saved.Saved = 0;
    const RECT& area = DrawSettings.DrawArea;
    const int32_t force = D3D9DeviceStateCache.Force;
    D3D9DeviceStateCache.Force = 1;
    Graphics_D3D9_StateCache_SetViewportRect(area.left, area.top, area.right, area.bottom);
    D3D9DeviceStateCache.Force = force;
    return 0;
}

// ---- The draw pass ----

int Graphics_D3D9_GraphFilter_DrawPass(GraphFilterContext* run, int divisor, int linear) {
    if (!D3D9Call_Device_Exists()) return -1;
    Image source;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    bool multiSampled = false;
    IDirect3DSurface9* output = OutputSurface(run->PassOutput, &multiSampled);
    if (output == nullptr) return -1;

    const int width = run->X2 - run->X1, height = run->Y2 - run->Y1;
    const int scale = divisor > 1 ? divisor : 1;
    // The first pass reads the run's rectangle; later ones what the pass before wrote at the destination
    // position.
    const RECT from = run->PassIndex == 0 ? RECT{run->X1, run->Y1, run->X2, run->Y2}
                                          : RECT{run->DestX, run->DestY, run->DestX + width, run->DestY + height};
    float second[4] = {0, 0, 0, 0};
    IDirect3DTexture9* secondTexture = nullptr;
    if (run->BlendFlag && run->BlendGraph >= 0) {
        Image image;
        if (!ResolveGraph(run->BlendGraph, &image)) return -1;
        const GraphHandleRecord* graph = image.Graph;
        RECT at;
        if (run->BlendRectFlag) {
            at.left = run->BlendX + graph->x;
            at.top = run->BlendY + graph->y;
            at.right = run->BlendScaleFlag ? run->BlendX2 + graph->x : at.left + width;
            at.bottom = run->BlendScaleFlag ? run->BlendY2 + graph->y : at.top + height;
        } else {
            at = {graph->x, graph->y, graph->x + graph->Width, graph->y + graph->Height};
        }
        second[0] = (float)at.left / image.TextureWidth, second[1] = (float)at.top / image.TextureHeight;
        second[2] = (float)at.right / image.TextureWidth, second[3] = (float)at.bottom / image.TextureHeight;
        secondTexture = image.Texture;
    }

    D3D9DeviceStateCacheRecord& cache = D3D9DeviceStateCache;
    Graphics_Dispatch_VertexBatch_Flush(0);
    Graphics_D3D9_StateCache_SetRenderTarget(output, 0);
    D3DSURFACE_DESC desc = {};
    D3D9Call_Surface_GetDesc(output, &desc);
    const int32_t force = cache.Force;
    cache.Force = 1;
    Graphics_D3D9_StateCache_SetViewportRect(0, 0, (int)desc.Width, (int)desc.Height);
    cache.Force = force;
    D3D9Call_Device_BeginSceneOnce();

    const DWORD filter = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    for (DWORD s = 0; s < 2; ++s) {
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MAGFILTER, filter);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MINFILTER, filter);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    D3D9Call_Device_SetTexture(0, source.Texture);
    if (secondTexture != nullptr) D3D9Call_Device_SetTexture(1, secondTexture);
    Graphics_D3D9_StateCache_ResetVertexShader(0);
    Graphics_D3D9_StateCache_SetVertexBuffer(nullptr, 0);
    Graphics_D3D9_StateCache_SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2);

    struct Vertex {
        float X, Y, Z, Rhw;
        D3DCOLOR Diffuse, Specular;
        float U0, V0, U1, V1;
    };
    const float l = run->DestX - 0.5f, t = run->DestY - 0.5f;
    const float r = run->DestX + (float)(width / scale) - 0.5f, b = run->DestY + (float)(height / scale) - 0.5f;
    const float u0 = (float)from.left / source.TextureWidth, v0 = (float)from.top / source.TextureHeight;
    const float u1 = (float)from.right / source.TextureWidth, v1 = (float)from.bottom / source.TextureHeight;
    const Vertex strip[4] = {{l, t, 0, 1, 0xFFFFFFFF, 0, u0, v0, second[0], second[1]},
                             {r, t, 0, 1, 0xFFFFFFFF, 0, u1, v0, second[2], second[1]},
                             {l, b, 0, 1, 0xFFFFFFFF, 0, u0, v1, second[0], second[3]},
                             {r, b, 0, 1, 0xFFFFFFFF, 0, u1, v1, second[2], second[3]}};
    const HRESULT drawn = D3D9Call_Device_DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(Vertex));
    D3D9VertexBatch.DrawCalls++;

    // What the pass changed behind the state cache goes back to what the cache holds.
    D3D9Call_Device_SetTexture(0, nullptr);
    if (secondTexture != nullptr) D3D9Call_Device_SetTexture(1, nullptr);
    cache.Applied.Stages[0].Texture = 0;
    cache.Applied.Stages[1].Texture = 0;
    for (DWORD s = 0; s < 2; ++s) {
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MAGFILTER, cache.MagFilter[s]);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_MINFILTER, cache.MinFilter[s]);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSU, cache.AddressU[s]);
        D3D9Call_Device_SetSamplerState(s, D3DSAMP_ADDRESSV, cache.AddressV[s]);
    }
    D3D9Call_Device_SetRenderState(D3DRS_ALPHABLENDENABLE, cache.Applied.BlendEnable ? TRUE : FALSE);
    D3D9Call_Device_SetRenderState(D3DRS_ALPHATESTENABLE, cache.Applied.AlphaTestEnable ? TRUE : FALSE);
    D3D9Call_Device_SetRenderState(D3DRS_ZENABLE, cache.ZEnable == 1 ? D3DZB_TRUE : D3DZB_FALSE);
    cache.StateChanged = 1;
    if (multiSampled && run->PassOutput >= 0) {
        D3D9Call_Device_EndScene();
        cache.Scene = 0;
        GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(run->PassOutput, 0);
        D3D9GraphSurfaces surfaces = {};
        if (graph != nullptr && Graphics_D3D9_GraphTexture_GetSurfaces(graph, 0, 0, &surfaces) == 0 && surfaces.MultiSample)
            D3D9Call_Device_StretchRect(surfaces.MultiSample, nullptr, surfaces.Surface, nullptr, D3DTEXF_NONE);
    }
    if (drawn != D3D_OK) return -1;
    ++run->DrawnPasses;  // the run copies a pass's output only when a pass drew
    return 0;
}

// ---- Bodies ----

int Graphics_D3D9_GraphFilter_Mono(GraphFilterContext* run, float cb, float cr) {
    Constants c = {};
    PutLuminance(c, 0);
    c.Put(1, cr * 1.402f, cb * 0.34414f - cr * 0.71414f, cb * 1.772f, 0);
    return Pass(run, "Mono.pso", c, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_Gauss(GraphFilterContext* run, int taps, float strength, const float* weights) {
    Image source;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    const char* shader = taps <= 8 ? "Gauss_08Pixel_PS.pso" : taps <= 16 ? "Gauss_16Pixel_PS.pso" : "Gauss_32Pixel_PS.pso";
    const int used = taps / 2 < 16 ? taps / 2 : 16;
    Constants c = {};
    c.Put(0, (float)source.TextureWidth, (float)source.TextureHeight, 0, 0);
    for (int i = 0; i < 16; ++i) c.Values[1 + i / 4][i % 4] = weights != nullptr && i < used ? weights[i] : 0.0f;
    for (int k = 0; k < 16; ++k) {
        const float offset = k == 0 ? 0.0f : (float)(2 * k) - 0.5f;
        c.Put(5 + k, run->PassIndex == 0 ? offset / source.TextureWidth : 0.0f,
              run->PassIndex == 0 ? 0.0f : offset / source.TextureHeight, 0, 0);
    }
    return Pass(run, shader, c, -1, 1, 1);
}

int Graphics_D3D9_GraphFilter_DownScale(GraphFilterContext* run, int divisor) {
    Image source;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    const float w = (float)source.TextureWidth, h = (float)source.TextureHeight;
    Constants c = {};
    const char* shader = "DownScaleX2.pso";
    if (divisor <= 2) {
        c.Put(0, 0, 0, 0, 0);
    } else if (divisor == 4) {
        static const float X4[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        for (int i = 0; i < 4; ++i) c.Put(i, X4[i][0] / w, X4[i][1] / h, 0, 0);
        shader = "DownScaleX4.pso";
    } else {
        static const float Steps[4] = {-3, -1, 1, 3};
        for (int i = 0; i < 16; ++i) c.Put(i, Steps[i % 4] / w, Steps[i / 4] / h, 0, 0);
        shader = "DownScaleX8.pso";
    }
    return Pass(run, shader, c, -1, divisor, 1);
}

int Graphics_D3D9_GraphFilter_BrightClip(GraphFilterContext* run, int compare, float threshold, int fill,
                                         const FloatColor* fillColor, int pma) {
    char name[64];
    const bool filled = fill == 1;
    const char* base = compare == 5 ? (filled ? "BrightClipFillGreater" : "BrightClipGreater")
                                    : (filled ? "BrightClipFillLess" : "BrightClipLess");
    Constants c = {};
    c.Put(0, threshold, threshold, threshold, threshold);
    PutLuminance(c, 1);
    c.PutColour(2, filled ? fillColor : nullptr);
    return Pass(run, Variant(name, base, pma), c, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_BrightScale(GraphFilterContext* run, int min, int max, int pma) {
    char name[64];
    Constants c = {};
    c.Put(0, (float)min / 255.0f, max > min ? 255.0f / (float)(max - min) : 255.0f, 0, 0);
    return Pass(run, Variant(name, "BrightnessScale", pma), c, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_Invert(GraphFilterContext* run, int pma) {
    char name[64];
    return Pass(run, Variant(name, "Invert", pma), Constants{}, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_TwoColor(GraphFilterContext* run, float threshold, const FloatColor* color1,
                                       const FloatColor* color2, int pma) {
    char name[64];
    Constants c = {};
    c.Put(0, 0.299f, 0.587f, 0.114f, threshold / 255.0f);
    c.PutColour(1, color1);
    c.PutColour(2, color2);
    return Pass(run, Variant(name, "TwoColor", pma), c, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_GradientMap(GraphFilterContext* run, int gradientGraph, int reverse, int pma) {
    char name[64];
    Constants c = {};
    PutLuminance(c, 0);
    return Pass(run, Variant(name, reverse ? "GradientMapRev" : "GradientMap", pma), c, gradientGraph, 1, 0);
}

int Graphics_D3D9_GraphFilter_Replacement(GraphFilterContext* run, unsigned int target, unsigned int replacement, int pma) {
    char name[64];
    Constants c = {};
    c.PutPacked(0, target);
    c.PutPacked(1, replacement);
    return Pass(run, Variant(name, "Replacement", pma), c, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_PremultipliedAlpha(GraphFilterContext* run) {
    return Pass(run, "PremultipliedAlpha.pso", Constants{}, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_InterpolatedAlpha(GraphFilterContext* run) {
    return Pass(run, "InterpolatedAlpha.pso", Constants{}, -1, 1, 0);
}

int Graphics_D3D9_GraphFilter_Blend(GraphFilterContext* run, int pma) {
    static const char* const Names[36] = {
        "BasBF_Normal.pso",     nullptr,                    "BasBF_Multiple.pso",      "BasBF_Difference.pso",
        "BasBF_Add.pso",        "BasBF_Screen.pso",         "BasBF_Overlay.pso",       "BasBF_Dodge.pso",
        "BasBF_Burn.pso",       "BasBF_Darken.pso",         "BasBF_Lighten.pso",       "BasBF_SoftLight.pso",
        "BasBF_HardLight.pso",  "BasBF_Exclusion.pso",      "BasBF_Normal_AlphaCh.pso", "BasBF_Add_AlphaCh.pso",
        "BasBF_Multiple_AOnly.pso", "BasBF_Normal_PMA.pso", nullptr,                   "BasBF_Multiple_PMA.pso",
        "BasBF_Difference_PMA.pso", "BasBF_Add_PMA.pso",    "BasBF_Screen_PMA.pso",    "BasBF_Overlay_PMA.pso",
        "BasBF_Dodge_PMA.pso",  "BasBF_Burn_PMA.pso",       "BasBF_Darken_PMA.pso",    "BasBF_Lighten_PMA.pso",
        "BasBF_SoftLight_PMA.pso", "BasBF_HardLight_PMA.pso", "BasBF_Exclusion_PMA.pso", "BasBF_Normal_AlphaCh_PMA.pso",
        "BasBF_Add_AlphaCh_PMA.pso", "BasBF_Multiple_AOnly_PMA.pso", "BasBF_Mask.pso",  "BasBF_Mask_PMA.pso"};
    int kind = run->Kind;
    if (pma && kind >= 0 && kind <= 16 && kind != 1) kind += 17;
    else if (pma && kind == GraphBlend_Mask) kind = GraphBlend_MaskPma;
    if (kind < 0 || kind >= 36 || Names[kind] == nullptr) return -1;
    Constants c = {};
    c.Put(0, run->BlendRatio, run->BlendRatio, run->BlendRatio, run->BlendRatio);
    c.Put(1, 1, 1, 1, 1);
    return Pass(run, Names[kind], c, -1, 1, 1);
}

int Graphics_D3D9_GraphFilter_BlendRGBAMix(GraphFilterContext* run, int r, int g, int b, int a, int pma) {
    // The named two-image shaders: red, green and blue from the source (one channel three times, or as
    // they are), alpha from the second image. Other selections have no shader here.
    static const char Letters[] = "RGBA";
    const bool sameColour = r == g && g == b && r >= 0 && r <= 2;
    const bool plainColour = r == 0 && g == 1 && b == 2;
    if (!(sameColour || plainColour) || a < 4 || a > 7) return -1;
    char name[64];
    snprintf(name, sizeof(name), "RGBAMix_S%cS%cS%cB%c%s.pso", Letters[r], Letters[g], Letters[b], Letters[a - 4],
             pma ? "_PMA" : "");
    return Pass(run, name, Constants{}, -1, 1, 0);
}

}  // namespace Vantrel
