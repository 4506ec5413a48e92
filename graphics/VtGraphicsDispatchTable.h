// The device switch layer's one table: every operation that is a plain switch on GraphicsApi (the
// Direct3D 9 body for 1, the Direct3D 11 body for 2, 0 otherwise), with its parameters and the
// argument list handed on unchanged. The switches, the back-ends' declarations and their bodies are
// all generated from it, so that none can drift. Stands on the records it names (declared here).
#pragma once

#include <windows.h>

namespace Vantrel {

struct MatrixF;
struct BaseImage;
struct GraphHandleRecord;
struct GraphOrigRecord;
struct BufferHandleRecord;
struct ShaderHandleRecord;
struct ConstantBufferHandleRecord;
struct ShadowMapRecord;
struct LightParams;
struct MovieRecord;
struct SimpleQuadGraphList;

// X(name, (parameters), (arguments))
#define VT_GRAPHICS_DISPATCH_PLAIN(X)                                                                                  \
  X(Texture_CheckConvertNeeded,                                                                                        \
    (GraphOrigRecord * orig, int colorFormat, int* colorConvert, int alphaFormat, int* alphaConvert),                  \
    (orig, colorFormat, colorConvert, alphaFormat, alphaConvert))                                                      \
  X(BltBmpOrBaseImageToGraph3,                                                                                         \
    (const RECT* sourceRect, int destX, int destY, int graph, const BaseImage* colorImage,                             \
     const BaseImage* alphaImage, int convertOption, int transparentToAlpha, int wholeOrig, void* async),              \
    (sourceRect, destX, destY, graph, colorImage, alphaImage, convertOption, transparentToAlpha, wholeOrig, async))    \
  X(DrawScreen_Clear, (const RECT* rect), (rect))                                                                      \
  X(OrigTexture_Create, (GraphOrigRecord * orig, void* async), (orig, async))                                          \
  X(DrawCircle, (int x, int y, int r, unsigned int color, int fill, int narrowRight, int shortBottom),                 \
    (x, y, r, color, fill, narrowRight, shortBottom))                                                                  \
  X(DrawCircleThick, (int x, int y, int r, unsigned int color, int thickness), (x, y, r, color, thickness))            \
  X(DrawGraphStretched,                                                                                                \
    (int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2, GraphHandleRecord* graph,             \
     GraphHandleRecord* blendGraph, int transparent, int intCoordinates),                                              \
    (x1, y1, x2, y2, fx1, fy1, fx2, fy2, graph, blendGraph, transparent, intCoordinates))                              \
  X(DrawFillRect, (int x1, int y1, int x2, int y2, unsigned int color), (x1, y1, x2, y2, color))                       \
  X(DrawGraphAt,                                                                                                       \
    (int x, int y, float fx, float fy, GraphHandleRecord* graph, GraphHandleRecord* blendGraph, int transparent,       \
     int intCoordinates),                                                                                              \
    (x, y, fx, fy, graph, blendGraph, transparent, intCoordinates))                                                    \
  X(DrawRectOutline, (int x1, int y1, int x2, int y2, unsigned int color, int thickness),                              \
    (x1, y1, x2, y2, color, thickness))                                                                                \
  X(DrawLineSegment, (int x1, int y1, int x2, int y2, unsigned int color), (x1, y1, x2, y2, color))                    \
  X(DrawGraphQuadF,                                                                                                    \
    (float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, GraphHandleRecord* graph,          \
     GraphHandleRecord* blendGraph, int transparent, int flags),                                                       \
    (x1, y1, x2, y2, x3, y3, x4, y4, graph, blendGraph, transparent, flags))                                           \
  X(DrawPrimitive2DUser,                                                                                               \
    (const void* vertices, int count, int primitiveType, GraphHandleRecord* graph, int transparent, int depthFlag,     \
     int reserved1, int reserved2, int divisionIndex),                                                                 \
    (vertices, count, primitiveType, graph, transparent, depthFlag, reserved1, reserved2, divisionIndex))              \
  X(DrawQuadF,                                                                                                         \
    (float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, unsigned int color, int fill),    \
    (x1, y1, x2, y2, x3, y3, x4, y4, color, fill))                                                                     \
  X(DrawSimpleQuadGraphF, (const SimpleQuadGraphList* quads, GraphHandleRecord* graph, GraphHandleRecord* blendGraph), \
    (quads, graph, blendGraph))                                                                                        \
  X(Graph_Fill, (GraphHandleRecord * graph, int red, int green, int blue, int alpha), (graph, red, green, blue, alpha)) \
  X(DrawScreen_CopyToGraph,                                                                                            \
    (GraphHandleRecord * destination, GraphHandleRecord* source, int lockTarget, int lockSurface, int lockMip,          \
     int reserved1, int reserved2, int left, int top, int right, int bottom, int destX, int destY),                    \
    (destination, source, lockTarget, lockSurface, lockMip, reserved1, reserved2, left, top, right, bottom, destX,      \
     destY))                                                                                                           \
  X(DrawScreen_GetPixel, (int x, int y), (x, y))                                                                       \
  X(Buffer_Release, (BufferHandleRecord * buffer), (buffer))                                                           \
  X(StateCache_SetDefaults, (), ())                                                                                    \
  X(Light_SetEnable, (int index, int flag), (index, flag))                                                             \
  X(Light_SetParam, (int index, const LightParams* params), (index, params))                                           \
  X(Lighting_SetEnable, (int flag), (flag))                                                                            \
  X(DrawScreen_Lock,                                                                                                   \
    (const RECT* rect, BaseImage* out, int target, GraphHandleRecord* graph, int surface, int mip, int readOnly,       \
     int partIndex),                                                                                                   \
    (rect, out, target, graph, surface, mip, readOnly, partIndex))                                                     \
  X(DrawScreen_RefreshTargetFlag, (), ())                                                                              \
  X(Texture_Release, (GraphOrigRecord * orig), (orig))                                                                 \
  X(SubBackBuffer_Setup, (int flag), (flag))                                                                           \
  X(BlendGraph_Setup, (GraphHandleRecord * blendGraph, int type, const int* params), (blendGraph, type, params))       \
  X(ColorAdd_Set, (int red, int green, int blue), (red, green, blue))                                                  \
  X(DiffuseColor_Refresh, (), ())                                                                                      \
  X(DrawArea_Set, (), ())                                                                                              \
  X(DrawMode_Set, (int mode), (mode))                                                                                  \
  X(DrawScreen_Set,                                                                                                    \
    (int target, int previousSurface, int previousMip, GraphHandleRecord* graph, GraphHandleRecord* previousGraph,     \
     ShadowMapRecord* shadowMap, ShadowMapRecord* previousShadowMap),                                                  \
    (target, previousSurface, previousMip, graph, previousGraph, shadowMap, previousShadowMap))                        \
  X(Fog_SetColor, (unsigned int color), (color))                                                                       \
  X(Fog_SetEnable, (int flag), (flag))                                                                                 \
  X(Fog_SetMode, (int mode), (mode))                                                                                   \
  X(Fog_SetStartEnd, (float start, float end), (start, end))                                                           \
  X(ShaderRenderTarget_Set, (int slot, int graph, int surface, int mip), (slot, graph, surface, mip))                  \
  X(TextureAddressMode_Set, (int u, int v, int sampler), (u, v, sampler))                                              \
  X(Transform_SetProjection, (), ())                                                                                   \
  X(Transform_SetView, (const MatrixF* matrix), (matrix))                                                              \
  X(Transform_SetWorld, (const MatrixF* matrix), (matrix))                                                             \
  X(ZBuffer_Setup, (), ())                                                                                             \
  X(ShaderConstantBuffer_Release, (ConstantBufferHandleRecord * record), (record))                                     \
  X(Shader_Create, (int shader, int kind, const void* byteCode, int size, int freeSource, int inJob),                  \
    (shader, kind, byteCode, size, freeSource, inJob))                                                                 \
  X(Shader_GetSupportVersion, (), ())                                                                                  \
  X(Shader_Release, (ShaderHandleRecord * record), (record))                                                           \
  X(ShadowMap_RefreshSlotParams, (), ())                                                                               \
  X(ShadowMap_RefreshLightMatrices, (), ())                                                                            \
  X(ShadowMap_ReleaseTextures, (ShadowMapRecord * record), (record))                                                   \
  X(ShadowMap_SetSlot, (int slot, int shadowMap), (slot, shadowMap))                                                   \
  X(ShadowMap_CreateTextures, (ShadowMapRecord * record, void* async), (record, async))                               \
  X(DrawScreen_Unlock, (), ())                                                                                         \
  X(WaitVSync, (int count), (count))                                                                                   \
  X(DeviceObjects_ReleaseAll, (), ())                                                                                  \
  X(StateCache_Reapply, (), ())                                                                                        \
  X(Mask_SaveSurfaces, (), ())                                                                                         \
  X(Mask_CreateSurfaces, (int width, int height), (width, height))                                                     \
  X(Mask_CopyAndReleaseSaved, (int oldWidth, int oldHeight), (oldWidth, oldHeight))                                    \
  X(Mask_DrawBegin, (const RECT* rect), (rect))                                                                        \
  X(Mask_DrawAfter, (const RECT* rect), (rect))                                                                        \
  X(Mask_ReleaseSurfaces, (), ())                                                                                      \
  X(Mask_SetUseFlag, (), ())

}  // namespace Vantrel
