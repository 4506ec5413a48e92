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
struct GraphFilterContext;
struct GraphFilterParams;
struct FloatColor;

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

// The graph-filter switches: the run's framework (pass planning, each pass's source and output, the
// restore of the draw state, the final copy) and one switch per filter kind, whose back-end bodies draw
// one pixel-shader pass of the run handed to them. Generated like the plain switches (0 without a
// device); the kinds with no body on one back-end (the float colour scale and the occlusion filter on
// Direct3D 9) are written out beside the others.
#define VT_GRAPHICS_DISPATCH_GRAPHFILTER(X)                                                                            \
  X(GraphFilter_RectBltSetup, (GraphFilterContext * context, const GraphFilterParams* params), (context, params))       \
  X(GraphFilter_RectBltPassSetup, (GraphFilterContext * context, int* passSource, int* passOutput),                     \
    (context, passSource, passOutput))                                                                                 \
  X(GraphFilter_RestoreDrawState, (), ())                                                                              \
  X(GraphFilter_RectBltFinish, (GraphFilterContext * context, int lastOutput, int lastResult),                         \
    (context, lastOutput, lastResult))                                                                                 \
  X(GraphFilter_Mono, (GraphFilterContext * context, float cb, float cr), (context, cb, cr))                           \
  X(GraphFilter_Gauss, (GraphFilterContext * context, int taps, float strength, const float* weights),                 \
    (context, taps, strength, weights))                                                                                \
  X(GraphFilter_DownScale, (GraphFilterContext * context, int divisor), (context, divisor))                            \
  X(GraphFilter_BrightClip,                                                                                            \
    (GraphFilterContext * context, int compare, float threshold, int fill, const FloatColor* fillColor, int pma),      \
    (context, compare, threshold, fill, fillColor, pma))                                                               \
  X(GraphFilter_BrightScale, (GraphFilterContext * context, int min, int max, int pma), (context, min, max, pma))       \
  X(GraphFilter_Hsb, (GraphFilterContext * context, int type, float hue, float saturation, float brightness, int pma), \
    (context, type, hue, saturation, brightness, pma))                                                                 \
  X(GraphFilter_Invert, (GraphFilterContext * context, int pma), (context, pma))                                       \
  X(GraphFilter_Level,                                                                                                 \
    (GraphFilterContext * context, float inMin, float inMax, float gamma, float outMin, float outMax, int pma),        \
    (context, inMin, inMax, gamma, outMin, outMax, pma))                                                               \
  X(GraphFilter_TwoColor,                                                                                              \
    (GraphFilterContext * context, float threshold, const FloatColor* color1, const FloatColor* color2, int pma),      \
    (context, threshold, color1, color2, pma))                                                                         \
  X(GraphFilter_GradientMap, (GraphFilterContext * context, int gradientGraph, int reverse, int pma),                  \
    (context, gradientGraph, reverse, pma))                                                                            \
  X(GraphFilter_Replacement, (GraphFilterContext * context, unsigned int target, unsigned int replacement, int pma),   \
    (context, target, replacement, pma))                                                                               \
  X(GraphFilter_PremultipliedAlpha, (GraphFilterContext * context), (context))                                         \
  X(GraphFilter_InterpolatedAlpha, (GraphFilterContext * context), (context))                                          \
  X(GraphFilter_YuvToRgb, (GraphFilterContext * context, int uvGraph), (context, uvGraph))                             \
  X(GraphFilter_Bicubic, (GraphFilterContext * context, int width, int height), (context, width, height))              \
  X(GraphFilter_Lanczos3, (GraphFilterContext * context, int width, int height), (context, width, height))            \
  X(GraphFilter_Blend, (GraphFilterContext * context, int pma), (context, pma))                                        \
  X(GraphFilter_BlendRGBAMix, (GraphFilterContext * context, int r, int g, int b, int a, int pma),                     \
    (context, r, g, b, a, pma))

}  // namespace Vantrel
