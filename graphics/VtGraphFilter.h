// Graph filters: the filter kinds and their parameter lists, the run record handed to every filter
// body, the dispatcher (handle checks, clipping, parameter parsing, the pass loop), the software
// road's image set-up and write-back, and every filter body (colour, tone, blur, YUV and SSAO,
// scaling, blend) over 32-bit ARGB base images.
// Stands on the base images and the alpha tables of the image module, the graphics state, and the
// graph-handle seams below, which hold the real graph handles unless a test puts stand-ins in them.
#pragma once

#include <stdarg.h>
#include <stdint.h>

#include "image/VtBaseImage.h"

namespace Vantrel {

struct GraphHandleRecord;

enum GraphFilterKind : int32_t {
    GraphFilter_KindMono = 0,
    GraphFilter_KindGauss = 1,
    GraphFilter_KindDownScale = 2,
    GraphFilter_KindBrightClip = 3,
    GraphFilter_KindBrightScale = 4,
    GraphFilter_KindHsb = 5,
    GraphFilter_KindInvert = 6,
    GraphFilter_KindLevel = 7,
    GraphFilter_KindTwoColor = 8,
    GraphFilter_KindGradientMap = 9,
    GraphFilter_KindReplacement = 10,
    GraphFilter_KindPremultipliedAlpha = 11,
    GraphFilter_KindInterpolatedAlpha = 12,
    GraphFilter_KindYuvToRgb = 13,
    GraphFilter_KindYuvToRgbUv = 14,
    GraphFilter_KindYuvToRgbRra = 15,
    GraphFilter_KindYuvToRgbUvRra = 16,
    GraphFilter_KindBicubic = 17,
    GraphFilter_KindLanczos3 = 18,
    GraphFilter_KindSsao = 19,
    GraphFilter_KindFloatColorScale = 20,
    GraphFilter_KindBrightClipPma = 21,
    GraphFilter_KindBrightScalePma = 22,
    GraphFilter_KindHsbPma = 23,
    GraphFilter_KindInvertPma = 24,
    GraphFilter_KindLevelPma = 25,
    GraphFilter_KindTwoColorPma = 26,
    GraphFilter_KindGradientMapPma = 27,
    GraphFilter_KindReplacementPma = 28,
    GraphFilter_KindCount = 29,
};

enum GraphBlendKind : int32_t {
    GraphBlend_Normal = 0,
    GraphBlend_RgbaMix = 1,
    GraphBlend_Multiple = 2,
    GraphBlend_Difference = 3,
    GraphBlend_Add = 4,
    GraphBlend_Screen = 5,
    GraphBlend_Overlay = 6,
    GraphBlend_Dodge = 7,
    GraphBlend_Burn = 8,
    GraphBlend_Darken = 9,
    GraphBlend_Lighten = 10,
    GraphBlend_SoftLight = 11,
    GraphBlend_HardLight = 12,
    GraphBlend_Exclusion = 13,
    GraphBlend_NormalAlphaCh = 14,
    GraphBlend_AddAlphaCh = 15,
    GraphBlend_MultipleAOnly = 16,
    GraphBlend_NormalPma = 17,
    GraphBlend_RgbaMixPma = 18,
    GraphBlend_MultiplePma = 19,
    GraphBlend_DifferencePma = 20,
    GraphBlend_AddPma = 21,
    GraphBlend_ScreenPma = 22,
    GraphBlend_OverlayPma = 23,
    GraphBlend_DodgePma = 24,
    GraphBlend_BurnPma = 25,
    GraphBlend_DarkenPma = 26,
    GraphBlend_LightenPma = 27,
    GraphBlend_SoftLightPma = 28,
    GraphBlend_HardLightPma = 29,
    GraphBlend_ExclusionPma = 30,
    GraphBlend_NormalAlphaChPma = 31,
    GraphBlend_AddAlphaChPma = 32,
    GraphBlend_MultipleAOnlyPma = 33,
    GraphBlend_Mask = 34,
    GraphBlend_MaskPma = 35,
    GraphBlend_KindCount = 36,
};

// The parsed parameters of one run, zeroed at its start.
struct GraphFilterParams {
    int32_t GaussWidth;
    float GaussStrength;
    int32_t BrightClipCompare;
    float BrightClipThreshold;
    int32_t BrightClipFill;
    FloatColor BrightClipFillColor;
    int32_t BrightScaleMin, BrightScaleMax;
    int32_t HsbType;
    float HsbHue, HsbSaturation, HsbBrightness;
    float MonoCb, MonoCr;
    float LevelMin, LevelMax, LevelGamma, LevelOutMin, LevelOutMax;
    float TwoColorThreshold;
    FloatColor TwoColor1, TwoColor2;
    int32_t GradientGraph, GradientReverse;
    int32_t UvGraph;
    int32_t ScaleWidth, ScaleHeight;   // Bicubic and Lanczos3
    uint32_t ReplaceTarget, ReplaceColor;
    int32_t SsaoDepthGraph;
    float SsaoParam[4];
    int32_t SsaoColor;
    float SsaoMix;
    int32_t SsaoMixGraph;
    float FloatColorScale[8];
    int32_t RgbaMixSelector[4];
    int32_t DownScaleDivisor;
};

// The record of one run, owned by the dispatcher and handed to every body.
struct GraphFilterContext {
    int32_t BlendSampling;       // 1 in every run
    int32_t OutputBlendMode;     // 0 in every run: the passes replace the target's pixels
    int32_t BlendFlag;           // 1 for the blend form
    int32_t Kind;                // GraphFilterKind or GraphBlendKind
    int32_t PassSource;
    int32_t BlendGraph;          // -1 for filters
    int32_t PassOutput;          // -2 the back screen
    int32_t DownScaleFlag;
    float BlendRatio;            // 0 to 1
    int32_t PassIndex;
    int32_t X1, Y1, X2, Y2;      // clipped source rectangle, x2 and y2 exclusive
    int32_t Divisor;             // 1, 2, 4 or 8
    int32_t BlendX, BlendY, BlendRectFlag, BlendX2, BlendY2, BlendScaleFlag;
    int32_t DestX, DestY;
    int32_t PassCount;
    int32_t WorkTextureFlag;
    int32_t SoftWidth, SoftHeight;
    BaseImage SourceImage;       // present when pixels is not null
    BaseImage BlendImage;
    BaseImage DestImage;
    GraphHandleRecord* SourceRecord;
    GraphHandleRecord* DestRecord;
    GraphHandleRecord* BlendRecord;
    GraphHandleRecord* MsaaTargetRecord;
    // The run's own bookkeeping.
    int32_t Source;              // the run's source and destination handles
    int32_t Destination;
    int32_t DrawnPasses;         // counted by the back-ends' draw pass each time it draws
};

// ---- Graph-handle seams ----
// What the filters need of graph handles, shadow maps, draw targets and the device, as one table
// (tests may put stand-ins in it). An empty entry gives the no-device answer noted beside it.
enum : int32_t {
    GraphFilter_HandleNone = 0,
    GraphFilter_HandleGraph = 1,
    GraphFilter_HandleShadowMap = 2,
};

struct GraphFilterSeams {
    // A live graph or shadow map: finishes its pending load, brings a movie graph up to date, gives
    // its size and record. Returns GraphFilter_HandleGraph, _ShadowMap, or _None for anything else.
    // Empty: every handle is dead.
    int (*QueryHandle)(int handle, int* width, int* height, GraphHandleRecord** record);
    // The rectangle of a graph or of -2 (the back screen) copied into an ARGB8 image of the
    // rectangle's size, already created by the caller. Empty: -1.
    int (*ReadGraph)(int handle, const BaseImageRect* rect, BaseImage* out);
    // The whole image written into a graph at x, y (the base-image transfer); for -2 drawn on the
    // back screen with the drawn pixels, alpha included, replacing the screen's. Empty: -1.
    int (*WriteGraph)(int handle, int x, int y, const BaseImage* image);
    // The record of the current draw target when it is a multisampled graph. Empty: none.
    GraphHandleRecord* (*MsaaDrawTarget)();
};
extern GraphFilterSeams GraphFilter_Seams;
// The seams over real graph handles that GraphFilter_Seams holds from the start: graphs read and
// written through their memory images while no device is in use. The device's half of a run goes
// through the named filter switches of the switch layer (Graphics_Dispatch_GraphFilter_*).
int GraphFilter_Graph_QueryHandle(int handle, int* width, int* height, GraphHandleRecord** record);
int GraphFilter_Graph_Read(int handle, const BaseImageRect* rect, BaseImage* out);
int GraphFilter_Graph_Write(int handle, int x, int y, const BaseImage* image);
GraphHandleRecord* GraphFilter_Graph_MsaaDrawTarget();
extern const GraphFilterSeams GraphFilter_GraphSeams;

// ---- Public entry points (0 or -1) ----
int FilterGraph(int graph, int kind, ...);
int FilterGraphToGraph(int source, int destination, int kind, ...);
int FilterGraphRectToGraph(int source, int destination, int x1, int y1, int x2, int y2, int destX, int destY,
                           int kind, ...);
// The dispatcher; blendRatio 0 to 255.
int GraphFilter_Execute(int blendFlag, int source, int blendGraph, int destination, int blendRatio, int kind, int x1,
                        int y1, int x2, int y2, int blendX, int blendY, int blendRectFlag, int blendX2, int blendY2,
                        int blendScaleFlag, int destX, int destY, ...);
int GraphFilter_ExecuteV(int blendFlag, int source, int blendGraph, int destination, int blendRatio, int kind, int x1,
                         int y1, int x2, int y2, int blendX, int blendY, int blendRectFlag, int blendX2, int blendY2,
                         int blendScaleFlag, int destX, int destY, va_list args);
// Divisor of DownScale from its public parameter: 1, 2, 4 or 8.
int GraphFilter_DownScaleDivisor(int value);

// ---- Software road ----
int GraphFilter_Software_Begin(GraphFilterContext* context, int newDestination, int width, int height,
                               const BaseImageRect* rect);
int GraphFilter_Software_End(GraphFilterContext* context);
int GraphFilter_ReadGraphToImage(int graph, BaseImage* out, const BaseImageRect* rect);
// 1 when the bodies send their pass to the device (the shader-usable flag).
int GraphFilter_UseDevice();

// Filter shader cache: 640 slots of shader handles, -1 when empty.
constexpr int GraphFilter_ShaderSlotCount = 640;
extern int32_t GraphFilter_ShaderHandles[GraphFilter_ShaderSlotCount];
int GraphFilter_ResetShaderHandles();

// ---- Bodies (0, or -1 when the software images cannot be set up or a parameter is refused) ----
int GraphFilter_Mono(GraphFilterContext* context, float cb, float cr);
int GraphFilter_Invert(GraphFilterContext* context, int pma);
int GraphFilter_TwoColor(GraphFilterContext* context, float threshold, const FloatColor* color1,
                         const FloatColor* color2, int pma);
int GraphFilter_GradientMap(GraphFilterContext* context, int gradientGraph, int reverse, int pma);
int GraphFilter_Replacement(GraphFilterContext* context, uint32_t target, uint32_t replacement, int pma);
int GraphFilter_BrightClip(GraphFilterContext* context, int compare, float threshold, int fill,
                           const FloatColor* fillColor, int pma);
int GraphFilter_PremultipliedAlpha(GraphFilterContext* context);
int GraphFilter_InterpolatedAlpha(GraphFilterContext* context);
int GraphFilter_Level(GraphFilterContext* context, float inMin, float inMax, float gamma, float outMin, float outMax,
                      int pma);
int GraphFilter_Hsb(GraphFilterContext* context, int type, float hue, float saturation, float brightness, int pma);
int GraphFilter_BrightScale(GraphFilterContext* context, int min, int max, int pma);
int GraphFilter_Gauss(GraphFilterContext* context, int pixelWidth, float strength);
int GraphFilter_YuvToRgb(GraphFilterContext* context, int uvGraph);
int GraphFilter_Ssao(GraphFilterContext* context, int depthGraph, float p1, float p2, float p3, float p4, int color,
                     float mix, int mixGraph);
int GraphFilter_DownScale(GraphFilterContext* context, int divisor);
int GraphFilter_Bicubic(GraphFilterContext* context, int width, int height);
int GraphFilter_Lanczos3(GraphFilterContext* context, int width, int height);
int GraphFilter_FloatColorScale(GraphFilterContext* context, const float* values);
int GraphFilter_Blend(GraphFilterContext* context, int pma);
int GraphFilter_BlendRGBAMix(GraphFilterContext* context, int r, int g, int b, int a, int pma);

// ---- Image-level pixel work (the software road's arithmetic, reusable as the device reference) ----
// Gaussian kernel of GraphFilter_Gauss: tap count 8, 16 or 32 from the pixel width, weights cached.
int GraphFilter_GaussTapCount(int pixelWidth);
const float* GraphFilter_GaussKernel(int tapCount, float strength);
// Separable blur of source into destination (both ARGB8, same size) with 16.16 weights; the
// intermediate image must be ARGB8 of the same size.
int GraphFilter_GaussImage(const BaseImage* source, BaseImage* intermediate, BaseImage* destination,
                           const int32_t* weights, int weightCount);
// Bicubic resampling (Catmull-Rom, 4 x 4 taps at -1.5 to 1.5 texels) of the whole source onto the
// whole destination, both ARGB8; the reference the device's resampling is held to.
int GraphFilter_BicubicImage(const BaseImage* source, BaseImage* destination);
double GraphFilter_BicubicWeight(double x);
// Level's gamma table for gamma g: 256 entries.
const int32_t* GraphFilter_LevelGammaTable(float gamma);
// Level's gamma graph for the device passes: 256 x 1, entry i of the table in every byte of pixel i;
// made on first use, written again when the gamma moves. The handle, or -1 when it cannot be made.
int GraphFilter_LevelGammaGraph(float gamma);
// The gamma graph as it stands (-1 for none), and forgetting it (with the filter shader cache).
int GraphFilter_LevelGammaGraphHandle();
void GraphFilter_LevelGammaGraph_Forget();
// Full-range YUV to one byte, 15 fractional bits.
int GraphFilter_YuvClamp(int32_t sum);

}  // namespace Vantrel
