// Direct3D 11 normal-draw state and draw preparation: what ordinary drawing asks for (a blend mode
// with its parameters, a texture, perhaps a blend graph, an alpha test) kept in the normal-draw state
// by its cached setters; the normal-draw set-up that turns it into the blend-state key, the built-in
// pixel shader, the pixel-shader base constants, the shader resources and the batch's vertex kind; and
// the draw preparation that brings the cached state in line with the core's draw settings before a
// draw.
// Stands on the call layer, the state cache, the vertex batch, the constant buffers, the built-in
// shader objects and the core's draw settings.
#pragma once

#include <stdint.h>

#include "graphics_d3d11/VtGraphicsD3D11Call.h"

namespace Vantrel {

// DrawPrepFlags: the flag word every draw body hands to the draw preparation.
enum : uint32_t {
    DRAWPREP_TRANS = 0x1,
    DRAWPREP_PIXEL_EXACT = 0x2,
    DRAWPREP_SHAPE_2D = 0x20,
    DRAWPREP_FOG = 0x80,
    DRAWPREP_KEEP_BLEND = 0x100,
    DRAWPREP_LIGHTING = 0x200,
    DRAWPREP_SPECULAR = 0x400,
    DRAWPREP_DEPTH_3D = 0x800,
    DRAWPREP_ADDRESS_MODES = 0x1000,
    DRAWPREP_CULLING = 0x4000,
    DRAWPREP_TEXTURED = 0x8000,
    DRAWPREP_ALPHA_CHANNEL = 0x10000,
    DRAWPREP_CUT_OUT = 0x20000,
};

// Byte offsets of the pixel-shader base constant buffer written here.
enum : uint32_t {
    D3D11CB4_IGNORE_COLOUR = 36,    // three floats
    D3D11CB4_SWITCHES = 48,         // three further switches
};

struct D3D11NormalDrawStateRecord {
    uint32_t LastFlags;
    int32_t StateChanged;
    int32_t SetupNeeded;
    int32_t TextureChanged;
    int32_t Force;                  // set by the state refresh: every setter re-applies, none flushes
    int32_t BlendMode;
    int32_t BlendParams[7];         // enable, colour source, destination, operation, alpha source, ...
    int32_t AlphaTestWanted;        // the draw's cut-out alpha asks for an alpha test
    int32_t AlphaBlendWanted;       // the draw's alpha channel asks for blending
    int32_t KeepDestAlpha;
    int32_t AlphaTestMode;          // -1 none, else a comparison code 1-8
    int32_t AlphaTestRef;
    ID3D11Texture2D* DrawTexture;
    ID3D11ShaderResourceView* DrawTextureView;
    ID3D11Texture2D* BlendTexture;
    ID3D11ShaderResourceView* BlendTextureView;
    int32_t BlendWidth, BlendHeight;
    float BlendInvWidth, BlendInvHeight;
    int32_t BlendGraphKind;         // 0, 1 or 2
    int32_t BlendGraphParams[2];    // kind 0: ratio; kind 1: border parameter and width
    int32_t IgnoreTextureColor;
    int32_t Switch[3];
    int32_t Prepared;               // a preparation ran since start-up
};
extern D3D11NormalDrawStateRecord D3D11NormalDrawState;

// What the normal-draw set-up derives: pure, so that the table can be read without a device.
struct D3D11NormalDrawInputs {
    int32_t BlendMode;
    int32_t Premultiplied;
    int32_t Textured;
    int32_t BlendGraph;             // a blend graph is used
    int32_t BlendGraphKind;
    int32_t BlendGraphParams[2];
    int32_t AlphaChannel;           // the draw's alpha-channel flag
    int32_t CutOut;                 // the draw's cut-out flag
    int32_t AlphaTestMode, AlphaTestRef;
    int32_t IgnoreTextureColor;
    int32_t DepthEnabled;
};
struct D3D11NormalDrawChoice {
    int32_t Preset;                 // row of the blend-mode table for the blend state
    int32_t ShaderType;
    int32_t VertexKind;             // 0 untextured, 1 textured, 2 with a blend graph
    int32_t PixelShader;            // entry of the main shader pack
    int32_t AlphaTestOn, AlphaFunc, AlphaRef;
    int32_t BaseConstantsSet;
    float BaseConstants[4];
    int32_t SkipDraw;
};
D3D11NormalDrawChoice Graphics_D3D11_NormalDraw_Choose(const D3D11NormalDrawInputs& in);

int Graphics_D3D11_StateCache_Setup2D();
int Graphics_D3D11_StateCache_SetDrawTexture(ID3D11Texture2D* texture, ID3D11ShaderResourceView* view);
int Graphics_D3D11_StateCache_SetBlendTexture(ID3D11Texture2D* texture, ID3D11ShaderResourceView* view, int width,
                                              int height);
int Graphics_D3D11_StateCache_SetBlendGraphParam(int kind, const int* params);
int Graphics_D3D11_StateCache_SetAlphaTest(int mode, int reference);
int Graphics_D3D11_StateCache_SetBlendMode(int mode, const int* params, int alphaTestWanted, int alphaBlendWanted);
int Graphics_D3D11_StateCache_SetIgnoreTextureColor(int flag);
// Further pixel-shader switches (index 0: a float 1.0 / 0.0; 1 and 2: an integer 0 / 1). Switch 1 tells
// the lit-3D pixel shaders to sample the draw texture.
enum : int { D3D11PS_SWITCH_USES_TEXTURE = 1 };
int Graphics_D3D11_StateCache_SetPSSwitch(int index, int flag);

// True when a draw with this flag word must run the preparation (the cheap path skips it).
int Graphics_D3D11_DrawStateNeedsPrepare(uint32_t flags);
void Graphics_D3D11_PrepareDrawState(uint32_t flags);
// Sends the normal-draw state again (the state refresh): no texture, no blend graph, the blend mode
// without the draw's alpha wishes, the shader switches.
void Graphics_D3D11_NormalDraw_Refresh();
// Forgets the normal-draw state (device start and re-creation).
void Graphics_D3D11_NormalDraw_Reset();

}  // namespace Vantrel
