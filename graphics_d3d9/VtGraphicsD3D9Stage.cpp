// Direct3D 9 texture-stage and blend set-up: the blend-mode table, the stage templates, the derivation
// from the normal-draw state and the application against the device's copy.
// Stands on the call layer, the state cache, the normal-draw state, the shader-constant manager, the
// built-in shader objects, the vertex batch and the graphics core's handles and settings.
#include "graphics_d3d9/VtGraphicsD3D9Stage.h"

#include <string.h>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"
#include "graphics_d3d9/VtGraphicsD3D9Shader.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"

namespace Vantrel {

// ---- Blend-mode table ----

#define VT_ROW(s, d, o, sa, da, oa, type, enable, separate, test) \
    {D3DBLEND_##s, D3DBLEND_##d, D3DBLENDOP_##o, D3DBLEND_##sa, D3DBLEND_##da, D3DBLENDOP_##oa, type, enable, separate, test}
#define VT_KEEP_ROW(type, enable, separate, test) {-1, -1, D3DBLENDOP_ADD, -1, -1, D3DBLENDOP_ADD, type, enable, separate, test}

const D3D9BlendModeRow D3D9BlendModeTable[D3D9BlendModeCount] = {
    VT_KEEP_ROW(0, 0, 0, 1),                                                                  // 0
    VT_ROW(SRCALPHA, INVSRCALPHA, ADD, SRCALPHA, INVSRCALPHA, ADD, 0, 1, 0, 1),               // 1
    VT_ROW(SRCALPHA, ONE, ADD, SRCALPHA, ONE, ADD, 0, 1, 0, 1),                               // 2
    VT_ROW(INVDESTCOLOR, ZERO, ADD, INVDESTALPHA, ZERO, ADD, 0, 1, 0, 1),                     // 3
    VT_ROW(ZERO, SRCCOLOR, ADD, ZERO, SRCALPHA, ADD, 0, 1, 0, 0),                             // 4
    VT_ROW(SRCALPHA, ONE, ADD, SRCALPHA, ONE, ADD, 0, 1, 0, 1),                               // 5
    VT_KEEP_ROW(0, 0, 0, 1),                                                                  // 6
    VT_KEEP_ROW(0, 0, 0, 1),                                                                  // 7
    VT_ROW(ZERO, ONE, ADD, ZERO, ONE, ADD, 0, 1, 0, 0),                                       // 8
    VT_ROW(INVDESTCOLOR, ZERO, ADD, INVDESTALPHA, ZERO, ADD, 0, 1, 0, 0),                     // 9
    VT_ROW(SRCALPHA, INVSRCALPHA, ADD, SRCALPHA, INVSRCALPHA, ADD, 2, 1, 0, 1),               // 10
    VT_ROW(ZERO, SRCCOLOR, ADD, ZERO, SRCALPHA, ADD, 1, 1, 0, 1),                             // 11
    VT_ROW(SRCALPHA, INVSRCALPHA, ADD, SRCALPHA, INVSRCALPHA, ADD, 3, 1, 0, 1),               // 12
    VT_ROW(SRCALPHA, ONE, ADD, SRCALPHA, ONE, ADD, 3, 1, 0, 1),                               // 13
    VT_ROW(ONE, ZERO, ADD, ONE, ZERO, ADD, 0, 1, 0, 0),                                       // 14
    VT_ROW(ONE, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 0, 1, 0, 0),                         // 15
    VT_ROW(SRCALPHA, ONE, REVSUBTRACT, SRCALPHA, ONE, REVSUBTRACT, 0, 1, 0, 1),               // 16
    VT_ROW(ONE, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 4, 1, 0, 1),                         // 17
    VT_ROW(ONE, ONE, ADD, ONE, ONE, ADD, 4, 1, 0, 1),                                         // 18
    VT_ROW(ONE, ONE, REVSUBTRACT, ONE, ONE, REVSUBTRACT, 4, 1, 0, 1),                         // 19
    VT_ROW(ONE, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 5, 1, 0, 1),                         // 20
    VT_ROW(ONE, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 6, 1, 0, 1),                         // 21
    VT_ROW(ONE, ONE, ADD, ONE, ONE, ADD, 6, 1, 0, 1),                                         // 22
    VT_ROW(ZERO, ZERO, ADD, ZERO, ZERO, ADD, 0, 1, 0, 0),                                     // 23
    VT_ROW(ONE, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 0, 1, 0, 0),                         // 24
    VT_ROW(ONE, ONE, ADD, ZERO, ONE, ADD, 0, 1, 0, 0),                                        // 25
    VT_ROW(DESTCOLOR, INVSRCALPHA, ADD, ZERO, ONE, ADD, 0, 1, 1, 0),                          // 26
    VT_ROW(ZERO, INVSRCCOLOR, ADD, ZERO, INVSRCALPHA, ADD, 0, 1, 1, 0),                       // 27
    VT_ROW(SRCALPHA, INVSRCALPHA, ADD, ONE, INVSRCALPHA, ADD, 0, 1, 1, 0),                    // 28
    VT_ROW(SRCALPHA, ONE, ADD, ONE, ONE, ADD, 0, 1, 1, 0),                                    // 29
    VT_ROW(DESTCOLOR, INVSRCALPHA, ADD, INVSRCALPHA, INVSRCALPHA, ADD, 0, 1, 1, 0),           // 30
    VT_ROW(ONE, INVSRCCOLOR, ADD, INVSRCCOLOR, INVSRCCOLOR, ADD, 0, 1, 1, 0),                 // 31
    VT_ROW(SRCALPHA, INVSRCALPHA, ADD, SRCALPHA, INVSRCALPHA, ADD, 0, 1, 0, 0),               // 32
    VT_ROW(ZERO, ONE, ADD, ONE, ZERO, ADD, 0, 1, 1, 0),                                       // 33
    VT_ROW(ZERO, ONE, ADD, INVDESTALPHA, ZERO, ADD, 0, 1, 1, 0),                              // 34
    VT_ROW(ZERO, ONE, ADD, ZERO, SRCALPHA, ADD, 0, 1, 1, 0),                                  // 35
    VT_ROW(ZERO, SRCALPHA, ADD, INVDESTALPHA, ZERO, ADD, 0, 1, 1, 0),                         // 36
    VT_ROW(ZERO, SRCALPHA, ADD, ZERO, SRCALPHA, ADD, 0, 1, 1, 0),                             // 37
};
#undef VT_ROW
#undef VT_KEEP_ROW

const int32_t D3D9UserBlendFactorMap[11] = {D3DBLEND_ZERO,     D3DBLEND_ONE,         D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                                            D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR,
                                            D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, D3DBLEND_SRCALPHASAT};

// ---- Stage templates ----

namespace {

constexpr int16_t COMPLEMENT = D3DTA_COMPLEMENT;
constexpr int16_t REPLICATE = D3DTA_ALPHAREPLICATE;

// A template written stage by stage; the stage after the last one disables colour and alpha.
struct TemplateWriter {
    D3D9StageTemplate Template = {};
    int Count = 0;

    constexpr TemplateWriter() {
        for (D3D9StageEntry& e : Template.Stages) e = {0, -1, -1, -1, -1, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE};
    }
    constexpr void Add(int coordinates, int colourOp, int colour1, int colour2, int alphaOp, int alpha1, int alpha2) {
        D3D9StageEntry& e = Template.Stages[Count++];
        e = {0, coordinates, 0, (int16_t)alpha1, (int16_t)alpha2, (int16_t)alphaOp, (int16_t)colour1, (int16_t)colour2, (int16_t)colourOp};
    }
    constexpr D3D9StageTemplate Finish() {
        Template.Stages[0].Texture = (uintptr_t)Count;
        return Template;
    }
};

// The colour treatment of a type after a blend graph's scheme, on the current colour; the diffuse colour
// and alpha join here (for type 0 only when asked).
constexpr void AddTypeTail(TemplateWriter& w, int type, bool diffuse, int useBlend) {
    const int cur = D3DTA_CURRENT, dif = D3DTA_DIFFUSE;
    switch (type) {
        case 0:
            if (diffuse) w.Add(0, D3DTOP_MODULATE, cur, dif, D3DTOP_MODULATE, cur, dif);
            break;
        case 2: w.Add(0, D3DTOP_MODULATE, cur | COMPLEMENT, dif, D3DTOP_MODULATE, cur, dif); break;
        case 3: w.Add(0, D3DTOP_MODULATE4X, cur, dif, D3DTOP_MODULATE, cur, dif); break;
        case 4:
        case 5:
            w.Add(0, D3DTOP_MODULATE, type == 5 ? cur | COMPLEMENT : cur, dif, D3DTOP_MODULATE, cur, dif);
            w.Add(0, D3DTOP_MODULATE, cur, cur | REPLICATE, D3DTOP_SELECTARG1, cur, -1);
            break;
        case 6:
            w.Add(0, D3DTOP_MODULATE4X, cur, dif, D3DTOP_MODULATE, cur, dif);
            if (useBlend) w.Add(0, D3DTOP_MODULATE, cur, dif | REPLICATE, D3DTOP_SELECTARG1, cur, -1);
            break;
        default: break;
    }
}

constexpr D3D9StageTemplate MakeTemplate(int index) {
    const int a = index % 3, useBlend = index / 3 % 2, useDiffuse = index / 6 % 2, v = index / 12 % 4, type = index / 48;
    const int tex = D3DTA_TEXTURE, dif = D3DTA_DIFFUSE, cur = D3DTA_CURRENT, fac = D3DTA_TFACTOR;
    TemplateWriter w;
    if (v == 0) {
        int alphaOp = D3DTOP_SELECTARG1, alpha1 = dif, alpha2 = -1;
        if (a != 0) {
            alpha1 = tex;
            if (useBlend) alphaOp = D3DTOP_MODULATE, alpha2 = dif;
        }
        int colourOp = D3DTOP_SELECTARG1, colour1 = tex, colour2 = -1;
        const int texel = type == 2 || type == 5 ? tex | COMPLEMENT : tex;
        switch (type) {
            case 0:
            case 1:
            case 2:
                colour1 = texel;
                if (useDiffuse) colourOp = D3DTOP_MODULATE, colour2 = dif;
                break;
            case 3:
            case 6: colourOp = D3DTOP_MODULATE4X, colour2 = dif; break;
            default:   // 4 and 5
                colour1 = texel;
                if (useDiffuse) colourOp = D3DTOP_MODULATE, colour2 = dif;
                else if (useBlend) colourOp = D3DTOP_MODULATE, colour2 = dif | REPLICATE;
                break;
        }
        w.Add(0, colourOp, colour1, colour2, alphaOp, alpha1, alpha2);
        if (type == 1) w.Add(0, D3DTOP_BLENDCURRENTALPHA, cur, fac, D3DTOP_SELECTARG1, cur, -1);
        if (((type == 4 || type == 5) && useDiffuse && useBlend) || (type == 6 && useBlend))
            w.Add(0, D3DTOP_MODULATE, cur, dif | REPLICATE, D3DTOP_SELECTARG1, cur, -1);
        return w.Finish();
    }
    if (type == 1) return w.Finish();   // no stages: stage 0 disabled
    const bool diffuse = useDiffuse || useBlend;
    if (v == 1) {
        // Crossfade: the blend graph (stage 0) and the draw texture (stage 1) mixed by the factor's alpha.
        w.Add(0, D3DTOP_SELECTARG1, tex, -1, D3DTOP_SELECTARG1, tex, -1);
        w.Add(1, D3DTOP_BLENDFACTORALPHA, cur, tex, D3DTOP_BLENDFACTORALPHA, cur, tex);
        AddTypeTail(w, type, diffuse, useBlend);
    } else if (v == 2) {
        // Transition: the blend graph's alpha moved by the factor's alpha decides where the draw texture shows.
        const bool telling = type == 0 && a == 0 && useDiffuse == 0 && useBlend == 0;
        w.Add(0, D3DTOP_SELECTARG1, dif, -1, telling ? D3DTOP_MODULATE : D3DTOP_ADD, tex, fac);
        if (a == 1) w.Add(0, D3DTOP_SELECTARG1, cur, -1, D3DTOP_MODULATE, D3DTA_SPECULAR, cur);
        const bool plain = type == 0;
        w.Add(1, plain && useDiffuse ? D3DTOP_MODULATE : D3DTOP_SELECTARG1, tex, plain && useDiffuse ? dif : -1,
              D3DTOP_MODULATE, cur, a == 1 ? tex : dif);
        AddTypeTail(w, type, false, useBlend);
    } else {
        // Alpha from the blend graph: the draw texture (stage 0) takes its alpha from the blend graph (stage 1).
        w.Add(1, D3DTOP_SELECTARG1, tex, -1, D3DTOP_SELECTARG1, tex, -1);
        w.Add(0, D3DTOP_SELECTARG1, cur, -1, D3DTOP_MODULATE, cur, tex);
        AddTypeTail(w, type, diffuse, useBlend);
    }
    return w.Finish();
}

struct TemplateTable {
    D3D9StageTemplate Templates[D3D9StageTemplateCount];
    constexpr TemplateTable() : Templates() {
        for (int i = 0; i < D3D9StageTemplateCount; ++i) Templates[i] = MakeTemplate(i);
    }
};
constexpr TemplateTable Templates;

}  // namespace

const D3D9StageTemplate D3D9StageTemplateTable[D3D9StageTemplateCount] = {
#define VT_T(i) Templates.Templates[i]
#define VT_T8(i) VT_T(i), VT_T(i + 1), VT_T(i + 2), VT_T(i + 3), VT_T(i + 4), VT_T(i + 5), VT_T(i + 6), VT_T(i + 7)
#define VT_T48(i) VT_T8(i), VT_T8(i + 8), VT_T8(i + 16), VT_T8(i + 24), VT_T8(i + 32), VT_T8(i + 40)
    VT_T48(0), VT_T48(48), VT_T48(96), VT_T48(144), VT_T48(192), VT_T48(240), VT_T48(288),
#undef VT_T48
#undef VT_T8
#undef VT_T
};

// ---- Building and applying ----

namespace {

D3D9DeviceStateCacheRecord& Cache = D3D9DeviceStateCache;
D3D9NormalDrawStateRecord& Normal = D3D9NormalDrawState;

// The first device texture of a Graph handle, or the colour texture of a ShadowMap handle; null for any
// other value.
IDirect3DTexture9* HandleTexture(uintptr_t handle) {
    const int value = (int)handle;
    if (value == 0 || value == -1) return nullptr;
    if (GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(value, 0)) {
        // The part's platform area begins with its texture.
        GraphOrigRecord* orig = graph->Orig;
        if (orig == nullptr || orig->partCount < 1 || orig->parts == nullptr || orig->parts[0].platformArea == nullptr)
            return nullptr;
        return (IDirect3DTexture9*)orig->parts[0].platformArea[0];
    }
    return Graphics_D3D9_ShadowMap_TextureOf(value);
}

// The work set of one build: the set-up to apply, its textures, and the built-in shader chosen.
struct Work {
    D3D9StageSetup Setup;
    IDirect3DTexture9* Textures[D3D9TextureStageCount];
    IDirect3DPixelShader9* Shader;
    int UseShader;
    int StageCount;   // stages to apply
};

void SetStage(D3D9StageEntry& e, int colourOp, int colour1, int colour2, int alphaOp, int alpha1, int alpha2) {
    e = {0, 0, 0, (int16_t)alpha1, (int16_t)alpha2, (int16_t)alphaOp, (int16_t)colour1, (int16_t)colour2, (int16_t)colourOp};
}

void DisableStage(D3D9StageEntry& e) { e = {0, -1, -1, -1, -1, D3DTOP_DISABLE, -1, -1, D3DTOP_DISABLE}; }

void CopyTemplate(Work& work, int index) {
    const D3D9StageTemplate& t = D3D9StageTemplateTable[index];
    memcpy(work.Setup.Stages, t.Stages, sizeof(t.Stages));
    work.Setup.StageCount = (int32_t)t.Stages[0].Texture;
    work.Setup.Stages[0].Texture = 0;
}

// The texture of the plain white graph, made on first use.
IDirect3DTexture9* WhiteTexture() {
    const int graph = Graphics_Image_GetPlainWhiteGraph();
    IDirect3DTexture9* texture = graph > 0 ? HandleTexture((uintptr_t)graph) : nullptr;
    D3D9Call_Device_BeginSceneOnce();
    return texture;
}

// The textures of the quick path and of the derived path's blend-graph kinds.
void BindNormalTextures(IDirect3DTexture9* textures[]) {
    IDirect3DTexture9* draw = Normal.DrawTexture;
    IDirect3DTexture9* blend = Normal.BlendTexture;
    if (blend == nullptr) {
        textures[0] = draw;
    } else if (Normal.BlendGraphKind == 2) {
        textures[0] = draw, textures[1] = blend;
    } else if (Normal.BlendGraphKind == 0) {
        textures[0] = blend, textures[1] = draw;
    } else {
        textures[0] = blend;
        textures[Normal.AlphaBlendWanted ? 2 : 1] = draw;
    }
}

// Stage colour arguments of the ignore-texture-colour edit of a kind-1 draw stage.
void IgnoreColourOfDrawStage(D3D9StageEntry& e) {
    const int op = e.ColorOp;
    if (op == D3DTOP_SELECTARG1 && (e.ColorArg1 & ~COMPLEMENT) == D3DTA_TEXTURE)
        e.ColorArg1 = (int16_t)(D3DTA_CURRENT | (e.ColorArg1 & COMPLEMENT));
    else if ((op == D3DTOP_MODULATE || op == D3DTOP_MODULATE2X || op == D3DTOP_MODULATE4X) && e.ColorArg1 == D3DTA_TEXTURE)
        e.ColorOp = D3DTOP_SELECTARG2;
}

// The whole derived set-up (no record, past the quick path).
void Derive(Work& work, int shaderFlag) {
    const D3D9DeviceStateRecord& device = D3D9DeviceState;
    Normal.TextureChanged = 0;
    Normal.SetupNeeded = 0;
    Cache.StateChanged = 1;

    const int mode = Normal.BlendMode >= 0 && Normal.BlendMode < D3D9BlendModeCount ? Normal.BlendMode : 0;
    const int T = Normal.AlphaTestWanted, B = Normal.AlphaBlendWanted;
    const bool blendGraph = Normal.BlendTexture != nullptr;
    const int kind = Normal.BlendGraphKind;
    int row = mode;
    if (mode == 0) {
        if (DrawSettings.DrawTargetFlag) row = 14;
        if (Normal.DrawTexture != nullptr &&
            ((blendGraph && (kind == 0 || kind == 2) && (T || B)) || (blendGraph && kind == 1) || (!blendGraph && B)))
            row = 1;
    }
    if (mode == 3 && device.BlendOperation) row = 16;
    const D3D9BlendModeRow& r = D3D9BlendModeTable[row];
    D3D9StageSetup& s = work.Setup;
    s.SrcBlend = r.SrcBlend, s.DestBlend = r.DestBlend, s.BlendOp = r.BlendOp;
    s.SrcBlendAlpha = r.SrcBlendAlpha, s.DestBlendAlpha = r.DestBlendAlpha, s.BlendOpAlpha = r.BlendOpAlpha;
    s.BlendEnable = r.BlendEnable;
    s.SeparateAlphaEnable = r.SeparateAlpha;
    if (mode == 32) {
        auto factor = [](int code) { return code >= 0 && code <= 10 ? D3D9UserBlendFactorMap[code] : -1; };
        const int32_t* p = Normal.BlendParams;
        s.SrcBlend = factor(p[1]), s.DestBlend = factor(p[2]), s.BlendOp = factor(p[3]);
        s.SrcBlendAlpha = factor(p[4]), s.DestBlendAlpha = factor(p[5]), s.BlendOpAlpha = factor(p[6]);
        s.BlendEnable = p[0] != 0;
    }
    const int type = r.Type;
    s.TextureFactor = 0xFFFFFFFF;
    s.AlphaTestEnable = 0;
    s.AlphaRef = Cache.Applied.AlphaRef;
    s.AlphaFunc = Cache.Applied.AlphaFunc;

    const int a = B ? 1 : T ? 2 : (Cache.ZEnable == 1 && !blendGraph) ? 2 : 0;
    const int v = blendGraph ? kind + 1 : 0;
    D3D9VertexBatchRecord& batch = D3D9VertexBatch;
    int layout = 0;

    if (Normal.DrawTexture == nullptr) {
        batch.SkipDraw = 0;
        if (work.UseShader) {
            s.StageCount = 0;
            work.Shader = D3D9ShaderObjects.Untextured[type * 2];
        } else {
            const int dif = D3DTA_DIFFUSE;
            D3D9StageEntry* st = s.Stages;
            s.StageCount = 1;
            switch (type) {
                case 0: SetStage(st[0], D3DTOP_SELECTARG2, -1, dif, D3DTOP_SELECTARG2, -1, dif); break;
                case 1: SetStage(st[0], D3DTOP_BLENDDIFFUSEALPHA, dif, D3DTA_TFACTOR, D3DTOP_SELECTARG1, dif, -1); break;
                case 2: SetStage(st[0], D3DTOP_SELECTARG1, dif | COMPLEMENT, -1, D3DTOP_SELECTARG1, dif, -1); break;
                case 3:
                case 6:
                    work.Textures[0] = WhiteTexture();
                    SetStage(st[0], D3DTOP_MODULATE4X, dif, D3DTA_TEXTURE, D3DTOP_SELECTARG1, dif, -1);
                    if (type == 6) {
                        SetStage(st[1], D3DTOP_MODULATE, D3DTA_CURRENT, dif | REPLICATE, D3DTOP_SELECTARG1, D3DTA_CURRENT, -1);
                        s.StageCount = 2;
                    }
                    break;
                case 4: SetStage(st[0], D3DTOP_MODULATE, dif, dif | REPLICATE, D3DTOP_SELECTARG1, dif, -1); break;
                default: SetStage(st[0], D3DTOP_MODULATE, dif | COMPLEMENT, dif | REPLICATE, D3DTOP_SELECTARG1, dif, -1); break;
            }
            DisableStage(st[s.StageCount]);
        }
        layout = 0;
    } else if (!blendGraph) {
        batch.SkipDraw = 0;
        layout = 1;
        work.Textures[0] = Normal.DrawTexture;
        if (work.UseShader) {
            s.StageCount = 1;
            const int K = Normal.IgnoreTextureColor ? 1 : 0, I = a == 0 ? 1 : 0;
            work.Shader = D3D9ShaderObjects.Textured[2 * I + 4 * K + 8 * type];
        } else {
            CopyTemplate(work, D3D9StageTemplateIndex(a, Normal.UseBlend ? 1 : 0, Normal.UseDiffuseColor ? 1 : 0, 0, type));
            if (Normal.IgnoreTextureColor) {
                D3D9StageEntry& e = s.Stages[0];
                if (e.ColorArg1 == D3DTA_TEXTURE) e.ColorArg1 = D3DTA_TFACTOR;
                else if (e.ColorArg1 == (D3DTA_TEXTURE | COMPLEMENT)) e.ColorArg1 = D3DTA_TFACTOR | COMPLEMENT;
            }
        }
        if (T) s.AlphaTestEnable = 1, s.AlphaRef = 16, s.AlphaFunc = D3DCMP_GREATER;
        else if (s.BlendEnable && r.AlphaTestWhenBlending) s.AlphaTestEnable = 1, s.AlphaRef = 0, s.AlphaFunc = D3DCMP_GREATER;
    } else {
        layout = 2;
        work.UseShader = 0;
        CopyTemplate(work, D3D9StageTemplateIndex(a, Normal.UseBlend ? 1 : 0, Normal.UseDiffuseColor ? 1 : 0, v, type));
        BindNormalTextures(work.Textures);
        D3D9StageEntry* st = s.Stages;
        const bool ignore = Normal.IgnoreTextureColor != 0;
        if (kind == 0) {
            batch.SkipDraw = 0;
            if (T || s.BlendEnable || B) s.AlphaTestEnable = 1, s.AlphaRef = 0, s.AlphaFunc = D3DCMP_GREATER;
            s.TextureFactor = (uint32_t)(Normal.BlendGraphParams[0] & 0xFF) << 24 | 0xFFFFFF;
            if (ignore) {
                st[0].ColorOp = D3DTOP_SELECTARG1, st[0].ColorArg1 = D3DTA_DIFFUSE;
                st[1].ColorOp = D3DTOP_SELECTARG1, st[1].ColorArg1 = D3DTA_CURRENT;
                if (s.StageCount == 3) st[2].ColorOp = D3DTOP_SELECTARG1, st[2].ColorArg1 = D3DTA_CURRENT;
            }
        } else if (kind == 1) {
            const int u = Normal.BlendGraphParams[0], width = Normal.BlendGraphParams[1];
            batch.SkipDraw = u == 255 ? 1 : 0;
            if (width <= 1) {
                s.AlphaTestEnable = 1;
                s.AlphaRef = u == 0 && (T || B) ? 1 : u;
                s.AlphaFunc = D3DCMP_GREATEREQUAL;
                s.BlendEnable = 0;
                s.TextureFactor = 0x00FFFFFF;
            } else {
                s.AlphaTestEnable = 0;
                s.BlendEnable = 1;
                int m, split, op;
                if (width <= 64) m = 1280, split = 1024, op = D3DTOP_MODULATE4X;
                else if (width <= 128) m = 768, split = 512, op = D3DTOP_MODULATE2X;
                else m = 512, split = 256, op = D3DTOP_MODULATE;
                const int G = m - u * m / 255;
                st[1].AlphaOp = (int16_t)op;
                int factorAlpha;
                if (G < split) {
                    const int k = G * 255 / split;
                    factorAlpha = 255 - k;
                    st[0].AlphaOp = D3DTOP_SUBTRACT;
                } else {
                    const int k = width <= 64 ? (G - split) * 64 / 256 : width <= 128 ? (G - split) * 128 / 256 : (G - 256) * 255 / 256;
                    factorAlpha = k;
                    st[0].AlphaOp = D3DTOP_ADD;
                }
                s.TextureFactor = (uint32_t)(factorAlpha & 0xFF) << 24 | 0xFFFFFF;
            }
            if (ignore) IgnoreColourOfDrawStage(st[B ? 2 : 1]);
        } else {
            batch.SkipDraw = 0;
            if (s.BlendEnable) s.AlphaTestEnable = 1, s.AlphaRef = 0, s.AlphaFunc = D3DCMP_GREATER;
            if (ignore) st[0].ColorArg1 = D3DTA_DIFFUSE;
        }
    }
    (void)shaderFlag;
    Graphics_D3D9_VertexBatch_SetLayout(layout);

    if (s.StageCount != Cache.StageCountUsed) {
        Cache.StageCountUsed = s.StageCount;
        const int force = Cache.Force;
        Cache.Force = 1;
        if (Cache.FilterMode >= 0 && Cache.FilterMode <= 2) Graphics_D3D9_StateCache_SetFilterMode(Cache.FilterMode);
        Graphics_D3D9_StateCache_SetMaxAnisotropy(Cache.AllMaxAnisotropy, -1);
        Cache.Force = force;
    }
    work.StageCount = s.StageCount + 1 < D3D9TextureStageCount ? s.StageCount + 1 : D3D9TextureStageCount;

    if (ShadowMapSlots.Count != 0) {
        for (int j = 0; j < 3; ++j) {
            const int stage = 8 + j;
            IDirect3DTexture9* texture = Graphics_D3D9_ShadowMap_TextureOf(ShadowMapSlots.Handles[j]);
            work.Textures[stage] = texture;
            if (texture == nullptr) continue;
            Graphics_D3D9_StateCache_SetTextureAddressUVW(D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, stage);
            Graphics_D3D9_StateCache_SetSamplerFilter(stage, 17, D3DTEXF_LINEAR);
            Graphics_D3D9_StateCache_SetSamplerFilter(stage, 16, D3DTEXF_LINEAR);
            Graphics_D3D9_StateCache_SetSamplerFilter(stage, 18, D3DTEXF_LINEAR);
            Cache.FilterMode = 3;
            Cache.StateChanged = 1;
            if (work.StageCount < stage + 1) work.StageCount = stage + 1;
        }
    }
    if (Normal.AlphaTestMode != -1) {
        s.AlphaTestEnable = 1;
        s.AlphaFunc = Normal.AlphaTestMode;
        s.AlphaRef = Normal.AlphaTestRef;
    }
    if (Normal.BlendSwitch) {
        s.SeparateAlphaEnable = 1;
        s.SrcBlendAlpha = D3DBLEND_ZERO;
        s.DestBlendAlpha = D3DBLEND_ONE;
        s.BlendOpAlpha = D3DBLENDOP_ADD;
    }
}

// One render state of the set-up header against the applied copy; `always` sends it even when equal
// (the forced run's enables).
void HeaderState(int32_t& applied, int32_t value, D3DRENDERSTATETYPE state, bool always = false) {
    if (!Cache.Force && !always && applied == value) return;
    D3D9Call_Device_SetRenderState(state, (DWORD)value);
    applied = value;
}

// A blend factor or operation: -1 leaves it; a forced run re-sends the copy's value when it is above 1.
void BlendState(int32_t& applied, int32_t value, D3DRENDERSTATETYPE state) {
    if (value == -1) {
        if (Cache.Force && applied > 1) D3D9Call_Device_SetRenderState(state, (DWORD)applied);
        return;
    }
    HeaderState(applied, value, state);
}

void StageState(int stage, int16_t& applied, int value, D3DTEXTURESTAGESTATETYPE type) {
    if (value == -1) return;
    if (!Cache.Force && applied == value) return;
    D3D9Call_Device_SetTextureStageState((DWORD)stage, type, (DWORD)value);
    applied = (int16_t)value;
}

void StageTexture(int stage, IDirect3DTexture9* texture) {
    D3D9StageEntry& applied = Cache.Applied.Stages[stage];
    if (!Cache.Force && applied.Texture == (uintptr_t)texture) return;
    D3D9Call_Device_SetTexture((DWORD)stage, texture);
    if (stage < 4) D3D9Call_Device_SetTexture(D3DVERTEXTEXTURESAMPLER0 + (DWORD)stage, texture);
    applied.Texture = (uintptr_t)texture;
}

// The stage states of one entry (everything but the texture and the coordinate set).
void StageStates(int stage, const D3D9StageEntry& e) {
    D3D9StageEntry& applied = Cache.Applied.Stages[stage];
    if (e.ResultArg != -1 && D3D9DeviceState.StageTemporary && (Cache.Force || applied.ResultArg != e.ResultArg)) {
        D3D9Call_Device_SetTextureStageState((DWORD)stage, D3DTSS_RESULTARG, e.ResultArg == 0 ? D3DTA_CURRENT : D3DTA_TEMP);
        applied.ResultArg = e.ResultArg;
    }
    StageState(stage, applied.AlphaOp, e.AlphaOp, D3DTSS_ALPHAOP);
    StageState(stage, applied.AlphaArg1, e.AlphaArg1, D3DTSS_ALPHAARG1);
    StageState(stage, applied.AlphaArg2, e.AlphaArg2, D3DTSS_ALPHAARG2);
    StageState(stage, applied.ColorOp, e.ColorOp, D3DTSS_COLOROP);
    StageState(stage, applied.ColorArg1, e.ColorArg1, D3DTSS_COLORARG1);
    StageState(stage, applied.ColorArg2, e.ColorArg2, D3DTSS_COLORARG2);
}

void CoordinateSet(int stage, int value) {
    D3D9StageEntry& applied = Cache.Applied.Stages[stage];
    if (value == -1 || stage >= D3D9DeviceState.TextureStageCount) return;
    if (!Cache.Force && applied.TexCoordIndex == value) return;
    D3D9Call_Device_SetTextureStageState((DWORD)stage, D3DTSS_TEXCOORDINDEX, (DWORD)value);
    applied.TexCoordIndex = value;
}

void UseFixedFunction() {
    if (Cache.PixelShader == nullptr && !Cache.Force) return;
    D3D9Call_Device_SetPixelShader(nullptr);
    Cache.PixelShader = nullptr;
    Cache.PixelShaderUser = 0;
    Cache.StateChanged = 1;
}

void Apply(const Work& work, int texturesOnly) {
    const D3D9StageSetup& s = work.Setup;
    D3D9StageSetup& applied = Cache.Applied;
    const bool force = Cache.Force != 0;
    HeaderState(applied.AlphaFunc, s.AlphaFunc, D3DRS_ALPHAFUNC);
    HeaderState(applied.AlphaRef, s.AlphaRef, D3DRS_ALPHAREF);
    HeaderState(applied.AlphaTestEnable, s.AlphaTestEnable, D3DRS_ALPHATESTENABLE);
    HeaderState(applied.BlendEnable, s.BlendEnable, D3DRS_ALPHABLENDENABLE, force);

    if (!work.UseShader && (force || applied.TextureFactor != s.TextureFactor))
        D3D9Call_Device_SetRenderState(D3DRS_TEXTUREFACTOR, s.TextureFactor);
    applied.TextureFactor = s.TextureFactor;
    const uint32_t f = s.TextureFactor;
    const float factor[4] = {(float)(f & 0xFF) / 255.0f, (float)(f >> 8 & 0xFF) / 255.0f, (float)(f >> 16 & 0xFF) / 255.0f,
                             (float)(f >> 24) / 255.0f};
    if (force || memcmp(factor, Cache.TextureFactor, sizeof(factor)) != 0) {
        memcpy(Cache.TextureFactor, factor, sizeof(factor));
        Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, D3D9PixelRegister_TextureFactor,
                                               factor, 1, 1);
    }

    BlendState(applied.SrcBlend, s.SrcBlend, D3DRS_SRCBLEND);
    BlendState(applied.DestBlend, s.DestBlend, D3DRS_DESTBLEND);
    BlendState(applied.BlendOp, s.BlendOp, D3DRS_BLENDOP);
    HeaderState(applied.SeparateAlphaEnable, s.SeparateAlphaEnable, D3DRS_SEPARATEALPHABLENDENABLE, force);
    BlendState(applied.SrcBlendAlpha, s.SrcBlendAlpha, D3DRS_SRCBLENDALPHA);
    BlendState(applied.DestBlendAlpha, s.DestBlendAlpha, D3DRS_DESTBLENDALPHA);
    BlendState(applied.BlendOpAlpha, s.BlendOpAlpha, D3DRS_BLENDOPALPHA);

    const int n = work.StageCount;
    const int limit = ShadowMapSlots.Count != 0 ? n : 2;
    const int deviceStages = D3D9DeviceState.TextureStageCount;
    int end = force ? D3D9TextureStageCount : n;
    for (int i = 0; i < end; ++i) {
        if (i >= n) {
            // The forced run resets every stage past the set-up.
            StageTexture(i, nullptr);
            if (!work.UseShader) CoordinateSet(i, 0);
            if (!texturesOnly) {
                D3D9StageEntry off = {0, -1, 0, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_DISABLE, D3DTA_DIFFUSE, D3DTA_DIFFUSE, D3DTOP_DISABLE};
                StageStates(i, off);
            }
            continue;
        }
        if (!force && i >= limit && !texturesOnly && !(!work.UseShader && s.Stages[i - 1].AlphaOp != D3DTOP_DISABLE)) {
            end = i;
            break;
        }
        const D3D9StageEntry& e = s.Stages[i];
        StageTexture(i, work.Textures[i]);
        if (!work.UseShader) CoordinateSet(i, e.TexCoordIndex);
        if (texturesOnly) continue;
        if (work.UseShader) {
            if (i == 0 && (work.Shader != Cache.PixelShader || force)) {
                D3D9Call_Device_SetPixelShader(work.Shader);
                Cache.PixelShader = work.Shader;
                Cache.PixelShaderUser = 1;
            }
        } else {
            UseFixedFunction();
            if (i < deviceStages) StageStates(i, e);
        }
    }
    if (!force) {
        for (int i = end; i < D3D9TextureStageCount; ++i) {
            D3D9StageEntry& applied = Cache.Applied.Stages[i];
            if (applied.Texture != 0) {
                D3D9Call_Device_SetTexture((DWORD)i, nullptr);
                applied.Texture = 0;
            }
            if (i < 4) D3D9Call_Device_SetTexture(D3DVERTEXTEXTURESAMPLER0 + (DWORD)i, nullptr);
        }
    }
}

}  // namespace

int Graphics_D3D9_StateCache_BuildStageSetup(const D3D9StageSetup* record, int texturesOnly, int handleFlag, int shaderFlag) {
    if (!D3D9Call_Device_Exists()) return -1;
    Work work = {};
    work.UseShader = GraphicsSystemState.ShadersUsable == 1 && shaderFlag != 0 && Normal.BlendTexture == nullptr ? 1 : 0;
    if (record != nullptr) {
        work.Setup = *record;
        const int n = record->StageCount < 0 ? 0 : record->StageCount > D3D9TextureStageCount ? D3D9TextureStageCount : record->StageCount;
        work.Setup.StageCount = n;
        for (int i = 0; i < n; ++i)
            work.Textures[i] = handleFlag ? HandleTexture(record->Stages[i].Texture) : (IDirect3DTexture9*)record->Stages[i].Texture;
        work.StageCount = n;
        // A record states its own stages: the built-in shader stays out unless the record's caller binds one.
        work.Shader = Cache.PixelShader;
        if (work.UseShader) work.UseShader = Cache.PixelShader != nullptr ? 1 : 0;
        Apply(work, texturesOnly);
        return 0;
    }
    if (!Cache.Force && !Normal.SetupNeeded) {
        if (!Normal.TextureChanged) return -1;
        IDirect3DTexture9* textures[3] = {};
        BindNormalTextures(textures);
        for (int i = 0; i < 3; ++i) StageTexture(i, textures[i]);
        Normal.TextureChanged = 0;
        Cache.StateChanged = 1;
        return 0;
    }
    Derive(work, shaderFlag);
    Apply(work, texturesOnly);
    return 0;
}

int Graphics_D3D9_StateCache_ApplyStageSetup(const D3D9StageSetup* record, int texturesOnly, int handleFlag, int shaderFlag) {
    Graphics_Dispatch_VertexBatch_Flush(0);
    Graphics_D3D9_StateCache_BuildStageSetup(record, texturesOnly, handleFlag, shaderFlag);
    Normal.SetupNeeded = 1;
    Normal.TextureChanged = 1;
    Normal.StateChanged = 1;
    Cache.StateChanged = 1;
    return 0;
}

}  // namespace Vantrel
