// Direct3D 9 small operation bodies of the switch layer: the packed diffuse colour, colour add, the blend
// graph, the draw area and transforms, draw mode, anisotropy, texture address modes, the movie surface
// copy, the texture unbinding every release goes through, and the re-creation of all device objects.
// Stands on the call layer, the state cache, the normal-draw state, the shader-constant manager, the
// system-memory pools and the core's draw settings, transforms and handle records.
#include "graphics_d3d9/VtGraphicsD3D9Operation.h"

#include <string.h>

#include "foundation/VtHandle.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtGraphicsDispatch.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics/VtMatrix.h"
#include "graphics_d3d9/VtGraphicsD3D9.h"
#include "graphics_d3d9/VtGraphicsD3D9Batch.h"
#include "graphics_d3d9/VtGraphicsD3D9Device.h"
#include "graphics_d3d9/VtGraphicsD3D9NormalDraw.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderConstant.h"
#include "graphics_d3d9/VtGraphicsD3D9ShaderPack.h"
#include "graphics_d3d9/VtGraphicsD3D9State.h"
#include "graphics_d3d9/VtGraphicsD3D9SysMemPool.h"
#include "graphics_d3d9/VtGraphicsD3D9Texture.h"
#include "movie/VtMovie.h"
#include "movie/VtUseCLibOgg.h"

namespace Vantrel {

namespace {

constexpr int ColourAddRegister = 22;      // pixel float: (0, red, green, blue) / 255
constexpr int WorldRegister = 94;          // vertex float c94-c97: the world matrix, transposed

void Flush() { Graphics_Dispatch_VertexBatch_Flush(0); }

void SetVertexFloats(int first, const void* values, int count) {
    Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_VERTEX_FLOAT, 0, first, values, count, 1);
}

// The device projection: the 2D matrix in 2D mode, else projection x 3D viewport, then the draw area's
// viewport conversion. The fixed-function pipeline gets it as it is (its view transform is a device state
// of its own); the shaders' registers get the view folded in front, transposed.
int RefreshProjection() {
    if (!D3D9Call_Device_Exists()) return -1;
    const GraphicsTransformRecord& t = GraphicsTransform;
    MatrixF device, withView;
    if (t.Projection2DSet) {
        MakeProductMatrix(&device, &t.Projection2DF, &t.DrawAreaViewportInverseF);
        withView = device;
    } else {
        MakeProductMatrix(&device, &t.ProjectionF, &t.Viewport3DF);
        MakeProductMatrix(&device, &device, &t.DrawAreaViewportInverseF);
        MakeProductMatrix(&withView, &t.ViewF, &device);
    }
    const HRESULT sent = D3D9Call_Device_SetTransform(D3DTS_PROJECTION, (const D3DMATRIX*)&device);
    MatrixF transposed;
    MakeTransposedMatrix(&transposed, &withView);
    SetVertexFloats(D3D9VertexRegister_Projection, &transposed, 4);
    return sent == D3D_OK ? 0 : -1;
}

bool Forced() { return D3D9DeviceStateCache.Force != 0; }

}  // namespace

int Graphics_D3D9_DiffuseColor_Refresh() {
    if (!D3D9Call_Device_Exists()) return -1;
    const DrawSettingsRecord& s = DrawSettings;
    const bool colourAdd = s.ColorAdd[0] != 0 || s.ColorAdd[1] != 0 || s.ColorAdd[2] != 0;
    const uint32_t alpha = s.BlendMode == 0 && !colourAdd ? 255u : (uint32_t)s.BlendParam & 0xFF;
    // The draw bodies combine their own colours with this one.
    D3D9VertexBatch.Diffuse = alpha << 24 | (s.DrawBright & 0xFFFFFF);
    return 0;
}

int Graphics_D3D9_ColorAdd_Set(int red, int green, int blue) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (!Forced()) Flush();
    const float values[4] = {0.0f, (float)red / 255.0f, (float)green / 255.0f, (float)blue / 255.0f};
    return Graphics_D3D9_ShaderConstant_SetValues(&D3D9ShaderConstants, D3D9CONST_PIXEL_FLOAT, 0, ColourAddRegister,
                                                  values, 1, 1);
}

int Graphics_D3D9_BlendGraph_Setup(GraphHandleRecord* blendGraph, int type, const int* params) {
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9NormalDrawStateRecord& state = D3D9NormalDrawState;
    if (blendGraph != nullptr && blendGraph->Orig != nullptr && blendGraph->Orig->format.hardware &&
        blendGraph->Orig->partCount > 0 && blendGraph->drawPartCount > 0 && blendGraph->drawParts[0].part != nullptr) {
        GraphTexturePart* part = blendGraph->drawParts[0].part;
        const D3D9GraphTexture* objects = Graphics_D3D9_GraphTexture_Of(part);
        if (objects != nullptr && objects->Texture != nullptr) {
            Graphics_D3D9_StateCache_SetBlendTexture((IDirect3DTexture9*)objects->Texture, part->textureWidth,
                                                     part->textureHeight);
            return Graphics_D3D9_StateCache_SetBlendGraphParam(type, params);
        }
    }
    DrawSettings.BlendGraph = -1;
    if (!Forced() && state.BlendTexture == nullptr) return 0;
    Flush();
    const bool wasBound = state.BlendTexture != nullptr;
    state.BlendTexture = nullptr;
    state.TextureChanged = 1;
    state.StateChanged = 1;
    D3D9DeviceStateCache.StateChanged = 1;
    if (wasBound) state.SetupNeeded = 1;
    return 0;
}

int Graphics_D3D9_DrawArea_Set() {
    if (!D3D9Call_Device_Exists()) return -1;
    const RECT& area = DrawSettings.DrawArea;
    if (area.right <= area.left || area.bottom <= area.top) return -1;
    D3DVIEWPORT9 viewport = {};
    viewport.X = (DWORD)area.left;
    viewport.Y = (DWORD)area.top;
    viewport.Width = (DWORD)(area.right - area.left);
    viewport.Height = (DWORD)(area.bottom - area.top);
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    Graphics_D3D9_StateCache_SetViewport(&viewport);
    Graphics_D3D9_StateCache_SetScissorRect(&area);
    return RefreshProjection();
}

int Graphics_D3D9_Transform_SetProjection() { return RefreshProjection(); }

int Graphics_D3D9_Transform_SetWorld(const MatrixF* matrix) {
    if (matrix == nullptr) return -1;
    if (!D3D9Call_Device_Exists()) return -1;
    const HRESULT sent = D3D9Call_Device_SetTransform(D3DTS_WORLD, (const D3DMATRIX*)matrix);
    MatrixF transposed;
    MakeTransposedMatrix(&transposed, matrix);
    SetVertexFloats(WorldRegister, &transposed, 4);
    return sent == D3D_OK ? 0 : -1;
}

int Graphics_D3D9_DrawMode_Set(int mode) { return Graphics_D3D9_StateCache_SetFilterMode(mode); }

int Graphics_D3D9_MaxAnisotropy_Set(int value) {
    if (!D3D9Call_Device_Exists()) return -1;
    return Graphics_D3D9_StateCache_SetMaxAnisotropy(value, -1);
}

int Graphics_D3D9_TextureAddressMode_Set(int u, int v, int sampler) {
    if (!D3D9Call_Device_Exists()) return -1;
    const int which = sampler < 0 ? -1 : sampler;
    if (Graphics_D3D9_StateCache_SetTextureAddressU(u, which) < 0) return -1;
    return Graphics_D3D9_StateCache_SetTextureAddressV(v, which);
}

int Graphics_D3D9_ShaderConstantBuffer_Release(ConstantBufferHandleRecord* record) {
    (void)record;
    return -1;   // constant-buffer handles have no device object on this back-end
}

int Graphics_D3D9_ShadowMap_SetSlot(int slot, int shadowMap) {
    (void)slot;
    (void)shadowMap;
    if (!D3D9Call_Device_Exists()) return -1;
    D3D9NormalDrawState.SetupNeeded = 1;
    D3D9NormalDrawState.StateChanged = 1;
    D3D9DeviceStateCache.StateChanged = 1;
    return 0;
}

int Graphics_D3D9_Texture_UpdateFromMovie(MovieRecord* movie, GraphHandleRecord* graph) {
    if (!D3D9Call_Device_Exists()) return -1;
    if (movie == nullptr || graph == nullptr || graph->Orig == nullptr || graph->Orig->partCount < 1) return -1;
    IDirect3DSurface9* source = (IDirect3DSurface9*)Theora_GetD3D9Surface(movie->Decoder);
    const D3D9GraphTexture* objects = Graphics_D3D9_GraphTexture_Of(&graph->Orig->parts[0]);
    if (source == nullptr || objects == nullptr || objects->Texture == nullptr || graph->Orig->format.cubeMap) return -1;
    IDirect3DSurface9* level = nullptr;
    if (D3D9Call_Texture_GetSurfaceLevel((IDirect3DTexture9*)objects->Texture, 0, &level) != D3D_OK || level == nullptr)
        return -1;
    Flush();
    const RECT rect = {0, 0, graph->Orig->width, graph->Orig->height};
    const HRESULT copied = D3D9Call_Device_StretchRect(source, &rect, level, &rect, D3DTEXF_NONE);
    D3D9Call_Object_Release(level);
    return copied == D3D_OK ? 0 : -1;
}

int Graphics_D3D9_StateCache_UnbindTexture(IDirect3DBaseTexture9* texture) {
    if (texture == nullptr) return 0;
    D3D9NormalDrawStateRecord& normal = D3D9NormalDrawState;
    const bool device = D3D9Call_Device_Exists() != 0;
    bool flushed = false;
    auto flushOnce = [&]() {
        if (!flushed && device) Flush();
        flushed = true;
    };
    for (int stage = 0; stage < D3D9TextureStageCount; ++stage) {
        D3D9StageEntry& applied = D3D9DeviceStateCache.Applied.Stages[stage];
        if (applied.Texture != (uintptr_t)texture) continue;
        flushOnce();
        if (device) {
            D3D9Call_Device_SetTexture((DWORD)stage, nullptr);
            if (stage < 4) D3D9Call_Device_SetTexture(D3DVERTEXTEXTURESAMPLER0 + (DWORD)stage, nullptr);
        }
        applied.Texture = 0;
    }
    if ((IDirect3DBaseTexture9*)normal.DrawTexture == texture || (IDirect3DBaseTexture9*)normal.BlendTexture == texture) {
        flushOnce();
        if ((IDirect3DBaseTexture9*)normal.DrawTexture == texture) normal.DrawTexture = nullptr;
        if ((IDirect3DBaseTexture9*)normal.BlendTexture == texture) {
            normal.BlendTexture = nullptr;
            normal.SetupNeeded = 1;
        }
        normal.TextureChanged = 1;
        normal.StateChanged = 1;
        D3D9DeviceStateCache.StateChanged = 1;
    }
    return 0;
}

// ---- Re-creation ----

int Graphics_D3D9_DeviceObjects_CreateAll() {
    if (!D3D9Call_Device_Exists()) return -1;
    Graphics_D3D9_SysMemPool_CreateObjects();

    Handle_ForEachRecord<GraphHandleRecord>(HandleType_Graph, [](GraphHandleRecord* graph) {
        if (graph->Orig != nullptr && graph->Orig->format.hardware)
            Graphics_Dispatch_OrigTexture_Create(graph->Orig, nullptr);
    });
    Handle_ForEachRecord<ShadowMapRecord>(HandleType_ShadowMap,
                                   [](ShadowMapRecord* record) { Graphics_D3D9_ShadowMap_CreateTextures(record, nullptr); });
    const D3D9DeviceStateRecord& device = D3D9DeviceState;
    if (device.VertexShader20 || device.VertexShader30) {
        Handle_ForEachRecord<BufferHandleRecord>(HandleType_VertexBuffer,
                                          [](BufferHandleRecord* buffer) { Graphics_D3D9_VertexBuffer_Create(buffer, 0); });
        Handle_ForEachRecord<BufferHandleRecord>(HandleType_IndexBuffer,
                                          [](BufferHandleRecord* buffer) { Graphics_D3D9_IndexBuffer_Create(buffer, 0); });
    }
    Handle_ForEachRecord<ShaderHandleRecord>(HandleType_Shader, [](ShaderHandleRecord* record) { Graphics_D3D9_Shader_ReCreate(record); });
    return 0;
}

}  // namespace Vantrel
