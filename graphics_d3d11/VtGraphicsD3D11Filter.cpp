// Direct3D 11 graph filters: run and pass set-up with the work-texture cache, the filter shaders made
// from the filter archive on first use, the draw pass, the final copy, and the body of each filter
// kind.
// Stands on the call layer, the constant buffers, the built-in shader code, the simple-transfer blit,
// the graph textures and the core's filter run, graph and shader handles.
#include "graphics_d3d11/VtGraphicsD3D11Filter.h"

#include <stdio.h>
#include <string.h>

#include "foundation/VtHandle.h"
#include "foundation/VtLog.h"
#include "foundation/VtMemory.h"
#include "graphics/VtGraphFilter.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsCamera.h"
#include "graphics/VtMatrix.h"
#include "foundation/VtBaseFunc.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsShader.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11ConstantBuffer.h"
#include "graphics_d3d11/VtGraphicsD3D11DrawTarget.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

namespace Vantrel {

namespace {

constexpr int ScreenHandle = -2;

// ---- Caches ----

// The filter shaders live in the core's filter shader cache (GraphFilter_ShaderHandles): each file of
// the archive has the slot of its place in this list, the shaders named by their channel-mix pattern
// follow it, and the pre-built channel-mix shaders take the slots from ChannelMixSlotBase on.
const char* const FilterShaderFiles[] = {
    "Mono.pso", "Gauss_08Pixel_PS.pso", "Gauss_16Pixel_PS.pso", "Gauss_32Pixel_PS.pso", "DownScaleX2.pso",
    "DownScaleX4.pso", "DownScaleX8.pso", "BrightClipLess.pso", "BrightClipLess_PMA.pso", "BrightClipFillLess.pso",
    "BrightClipFillLess_PMA.pso", "BrightClipGreater.pso", "BrightClipGreater_PMA.pso", "BrightClipFillGreater.pso",
    "BrightClipFillGreater_PMA.pso", "BrightnessScale.pso", "BrightnessScale_PMA.pso", "Hsb_HSB_BASE.pso",
    "Hsb_HSB_BASE_PMA.pso", "Hsb_HSB_HLOCK.pso", "Hsb_HSB_HLOCK_PMA.pso", "Invert.pso", "Invert_PMA.pso", "Level.pso",
    "Level_PMA.pso", "TwoColor.pso", "TwoColor_PMA.pso", "GradientMap.pso", "GradientMap_PMA.pso", "GradientMapRev.pso",
    "GradientMapRev_PMA.pso", "Replacement.pso", "Replacement_PMA.pso", "PremultipliedAlpha.pso",
    "InterpolatedAlpha.pso", "Y2uv2ToRgb.pso", "Y2uv1ToRgb.pso", "Y2uv2ToRgb_RRA.pso", "Y2uv1ToRgb_RRA.pso",
    "Bicubic.pso", "Lanczos3.pso", "SSAO.pso", "SSAO_Blur.pso", "SSAO_MIX.pso", "FloatColorScale.pso",
    "BasBF_Normal.pso", "BasBF_Normal_PMA.pso", "BasBF_Multiple.pso", "BasBF_Multiple_PMA.pso",
    "BasBF_Difference.pso", "BasBF_Difference_PMA.pso", "BasBF_Add.pso", "BasBF_Add_PMA.pso", "BasBF_Screen.pso",
    "BasBF_Screen_PMA.pso", "BasBF_Overlay.pso", "BasBF_Overlay_PMA.pso", "BasBF_Dodge.pso", "BasBF_Dodge_PMA.pso",
    "BasBF_Burn.pso", "BasBF_Burn_PMA.pso", "BasBF_Darken.pso", "BasBF_Darken_PMA.pso", "BasBF_Lighten.pso",
    "BasBF_Lighten_PMA.pso", "BasBF_SoftLight.pso", "BasBF_SoftLight_PMA.pso", "BasBF_HardLight.pso",
    "BasBF_HardLight_PMA.pso", "BasBF_Exclusion.pso", "BasBF_Exclusion_PMA.pso", "BasBF_Normal_AlphaCh.pso",
    "BasBF_Normal_AlphaCh_PMA.pso", "BasBF_Add_AlphaCh.pso", "BasBF_Add_AlphaCh_PMA.pso", "BasBF_Multiple_AOnly.pso",
    "BasBF_Multiple_AOnly_PMA.pso", "BasBF_Mask.pso", "BasBF_Mask_PMA.pso", "RGBAMix_Base.pso", "RGBAMix_Base_PMA.pso",
};
constexpr int FilterShaderFileCount = (int)(sizeof(FilterShaderFiles) / sizeof(FilterShaderFiles[0]));
// "RGBAMix_S%sS%sS%sB%s%s.pso": colour letters R, G, B or all three, alpha letter, "_PMA" or not.
constexpr int PatternMixSlotBase = FilterShaderFileCount;
constexpr int ChannelMixSlotBase = GraphFilter_ShaderSlotCount - D3D11SHADER_CHANNEL_MIX_COUNT;
static_assert(PatternMixSlotBase + 4 * 4 * 2 <= ChannelMixSlotBase, "the filter shader cache holds every shader");

int32_t WorkTextures[D3D11FilterPixelTypes][D3D11FilterSizeSteps][D3D11FilterSizeSteps][2];

// Deletes what the caches hold (each handle's delete notification puts -1 back into its entry), so that a
// device made again starts from nothing and no handle of the old device is left behind.
void DeleteCachedHandles() {
    // An entry never set (before the first start) holds 0, which names no handle.
    for (int32_t& handle : GraphFilter_ShaderHandles)
        if (handle > 0) Handle_Delete(handle, 0, 0);
    int32_t* work = &WorkTextures[0][0][0][0];
    for (size_t i = 0; i < sizeof(WorkTextures) / sizeof(int32_t); ++i)
        if (work[i] > 0) DeleteGraph(work[i]);
}

void ResetCaches() {
    GraphFilter_ResetShaderHandles();
    int32_t* work = &WorkTextures[0][0][0][0];
    for (size_t i = 0; i < sizeof(WorkTextures) / sizeof(int32_t); ++i) work[i] = -1;
}

constexpr const char* FilterShaderFailure = "フィルター用シェーダーの作成に失敗しました %s\n";
constexpr const char* ChannelMixShaderFailure = "RGBAMixS フィルター用シェーダーの作成に失敗しました %s\n";

// The shader handle of a file of the archive in its cache slot, made on first use; -1 after the log line
// (`failure` formats the file name).
int FilterShaderAt(int slot, const char* name, const char* failure = FilterShaderFailure) {
    if (slot < 0 || slot >= GraphFilter_ShaderSlotCount) return -1;
    int32_t& entry = GraphFilter_ShaderHandles[slot];
    if (entry != -1) return entry;
    const int handle = Graphics_D3D11_GraphFilter_CreateShader(name, 1);
    if (handle < 0) {
        Log_AddFormatShiftJIS(failure, name);
        return -1;
    }
    entry = handle;
    Handle_SetDeleteNotify(handle, &entry);
    return handle;
}

int FilterShader(const char* name) { return FilterShaderAt(Graphics_D3D11_GraphFilter_ShaderSlot(name), name); }

// ---- Images ----

struct Image {
    GraphHandleRecord* Graph;
    D3D11OrigTexture* Part;
    int PixelType;
};

// A live graph with a device texture (its pending load finished first).
bool ResolveGraph(int handle, Image* out) {
    *out = {nullptr, nullptr, 0};
    if (handle < 0) return false;
    GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(handle, 0);
    if (graph == nullptr || graph->Orig == nullptr || graph->Orig->partCount < 1 || !graph->Orig->format.hardware) return false;
    D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&graph->Orig->parts[0]);
    if (part == nullptr || part->Texture == nullptr) return false;
    *out = {graph, part, graph->Orig->colorFormatIndex};
    return true;
}

void ScreenTarget(ID3D11Texture2D** texture, ID3D11RenderTargetView** view, ID3D11ShaderResourceView** shaderView) {
    const D3D11WindowStateRecord& windows = D3D11WindowState;
    if (windows.SubTexture != nullptr) {
        *texture = windows.SubTexture, *view = windows.SubRTV, *shaderView = windows.SubSRV;
        return;
    }
    const D3D11TargetWindow& main = windows.Targets[windows.MainTarget];
    *texture = main.BackBuffer, *view = main.BackBufferRTV, *shaderView = main.BackBufferSRV;
}

// A live shadow map's colour texture (the depth its pass wrote), which filters read and write like a
// graph's texture.
D3D11ShadowMapPlatform* ResolveShadowMap(int handle) {
    if (handle < 0 || Handle_TypeOf(handle) != HandleType_ShadowMap) return nullptr;
    D3D11ShadowMapPlatform* map = Graphics_D3D11_ShadowMap_PlatformOf(handle);
    return map != nullptr && map->Texture != nullptr && map->ShaderView != nullptr ? map : nullptr;
}

// Texture, sampled view and render-target view of a pass image (a graph, a shadow map, or -2 the screen).
bool PassImage(int handle, ID3D11Texture2D** texture, ID3D11ShaderResourceView** view, ID3D11RenderTargetView** target) {
    *texture = nullptr, *view = nullptr, *target = nullptr;
    if (handle == ScreenHandle) {
        ScreenTarget(texture, target, view);
        return *texture != nullptr;
    }
    if (D3D11ShadowMapPlatform* map = ResolveShadowMap(handle)) {
        *texture = map->Texture, *view = map->ShaderView, *target = map->TargetView;
        return true;
    }
    Image image;
    if (!ResolveGraph(handle, &image)) return false;
    *texture = image.Part->Texture;
    *view = image.Part->TextureView;
    *target = image.Part->RenderTargetViews != nullptr ? image.Part->RenderTargetViews[0] : nullptr;
    return true;
}

int Log2Ceil(int value) {
    int step = 0;
    while ((1 << step) < value && step < 31) ++step;
    return step;
}

// Slot n of the filter constant buffer.
float* Constants() {
    D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_PS_FILTER];
    return buffer != nullptr ? (float*)buffer->Data : nullptr;
}

void MarkConstants() {
    if (D3D11ConstantBuffer* buffer = D3D11ConstantBufferState.Standard[D3D11CB_PS_FILTER]) buffer->Changed = 1;
}

const float LumaWeights[4] = {0.299f, 0.587f, 0.114f, 0.0f};

}  // namespace

// ---- Shaders and work textures ----

int Graphics_D3D11_GraphFilter_ShaderSlot(const char* name) {
    for (int i = 0; i < FilterShaderFileCount; ++i)
        if (strcmp(FilterShaderFiles[i], name) == 0) return i;
    static const char Letters[4] = {'R', 'G', 'B', 'A'};
    for (int colour = 0; colour < 4; ++colour)
        for (int alpha = 0; alpha < 4; ++alpha)
            for (int pma = 0; pma < 2; ++pma) {
                char pattern[40];
                const char r = colour < 3 ? Letters[colour] : 'R', g = colour < 3 ? Letters[colour] : 'G';
                const char b = colour < 3 ? Letters[colour] : 'B';
                snprintf(pattern, sizeof(pattern), "RGBAMix_S%cS%cS%cB%c%s.pso", r, g, b, Letters[alpha], pma ? "_PMA" : "");
                if (strcmp(pattern, name) == 0) return PatternMixSlotBase + (colour * 4 + alpha) * 2 + pma;
            }
    return -1;
}

int Graphics_D3D11_GraphFilter_ChannelMixSlot(int index) {
    return index >= 0 && index < D3D11SHADER_CHANNEL_MIX_COUNT ? ChannelMixSlotBase + index : -1;
}

int Graphics_D3D11_GraphFilter_CreateShader(const char* name, int shaderType) {
    const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetFilter(name);
    if (code.Code == nullptr) return -1;
    return Graphics_Shader_CreateFromBinary_GParam(shaderType, code.Code, (int)code.Size, 0, 0, 0);
}

int Graphics_D3D11_GraphFilter_GetWorkTexture(int pixelType, int width, int height, int index) {
    if (pixelType < 0 || pixelType >= D3D11FilterPixelTypes || width <= 0 || height <= 0 || index < 0 || index > 1) return -1;
    const int stepX = Log2Ceil(width), stepY = Log2Ceil(height);
    if (stepX >= D3D11FilterSizeSteps || stepY >= D3D11FilterSizeSteps) return -1;
    int32_t& entry = WorkTextures[pixelType][stepX][stepY][index];
    Image image;
    if (entry != -1 && ResolveGraph(entry, &image)) return entry;
    // A 32-bit colour render target, or a float one for a float pixel type (the intermediate results of
    // a float image keep their range).
    GraphCreateParam param;
    Graphics_Image_InitRenderTargetFormatParam(&param, 32, 1);
    const ColorFormatDesc* format = Graphics_Image_GetTextureColorFormatByIndex(pixelType);
    if (format != nullptr && format->isFloat) param.drawableIsFloat = 1;
    const int graph = Graphics_Image_MakeEmptyGraph_GParam(&param, 1 << stepX, 1 << stepY, 0, 0, 0, 0, 0);
    if (graph < 0) {
        char line[96];
        snprintf(line, sizeof(line), "作業用描画可能テクスチャの作成に失敗しました Size:%dx%d\n", 1 << stepX, 1 << stepY);
        Log_AddTextShiftJIS(line);
        return -1;
    }
    entry = graph;
    Handle_SetDeleteNotify(graph, &entry);
    return graph;
}

// ---- The run ----

int Graphics_D3D11_GraphFilter_RectBltSetup(GraphFilterContext* run, const GraphFilterParams*) {
    const bool second = run->BlendFlag != 0;
    if (!second && run->Kind == GraphFilter_KindGauss) run->PassCount = 2, run->WorkTextureFlag = 1;
    else if (!second && run->Kind == GraphFilter_KindSsao) run->PassCount = 3, run->WorkTextureFlag = 1;
    else run->PassCount = 1, run->WorkTextureFlag = 0;
    if (run->X1 != run->DestX || run->Y1 != run->DestY) run->WorkTextureFlag = 1;
    return 0;
}

int Graphics_D3D11_GraphFilter_RectBltPassSetup(GraphFilterContext* run, int* source, int* destination) {
    Image from, to;
    // A shadow map is its own texture, placed at texel (0, 0): it needs no gathering.
    const D3D11ShadowMapPlatform* fromMap = ResolveShadowMap(*source);
    if (fromMap == nullptr && !ResolveGraph(*source, &from)) return -1;
    const int runDestination = run->Destination;
    int destinationType = 0;
    bool destinationDrawable = true;
    if (runDestination != ScreenHandle) {
        if (const D3D11ShadowMapPlatform* toMap = ResolveShadowMap(runDestination)) {
            destinationType = toMap->ColorFormatIndex;
            destinationDrawable = toMap->TargetView != nullptr;
        } else {
            if (!ResolveGraph(runDestination, &to)) return -1;
            destinationType = to.PixelType;
            destinationDrawable = to.Graph->Orig->format.drawable != 0 && to.Part->RenderTargetViews != nullptr;
        }
    }
    // No pass renders into the image it samples: a shadow map filtered in place goes through a work
    // texture as a graph does.
    const bool work = runDestination != ScreenHandle && (runDestination == run->Source || !destinationDrawable);
    const bool alternate = run->WorkTextureFlag && (run->PassIndex % 2) == (run->PassCount % 2);
    const bool gather = fromMap == nullptr && run->PassIndex == 0 &&
                        (from.Graph->drawPartCount > 1 || from.Graph->x != 0 || from.Graph->y != 0);
    int width, height;
    if (fromMap != nullptr) {
        D3D11_TEXTURE2D_DESC desc = {};
        D3D11Call_Texture2D_GetDesc(fromMap->Texture, &desc);
        width = (int)desc.Width, height = (int)desc.Height;
    } else {
        const GraphTexturePart& part = from.Graph->Orig->parts[0];
        width = gather ? from.Graph->Width : part.textureWidth;
        height = gather ? from.Graph->Height : part.textureHeight;
    }
    int output = runDestination;
    if (work || alternate) {
        output = Graphics_D3D11_GraphFilter_GetWorkTexture(destinationType, width, height, alternate ? 0 : 1);
        if (output < 0) return -1;
    }
    if (gather) {
        const int gathered = Graphics_D3D11_GraphFilter_GetWorkTexture(from.PixelType, from.Graph->Width, from.Graph->Height,
                                                                       alternate ? 1 : 0);
        Image into;
        if (gathered < 0 || !ResolveGraph(gathered, &into) || into.Part->RenderTargetViews == nullptr) return -1;
        for (int i = 0; i < from.Graph->drawPartCount; ++i) {
            const GraphDrawPart& division = from.Graph->drawParts[i];
            D3D11OrigTexture* object = division.part != nullptr ? Graphics_D3D11_OrigTexture_Of(division.part) : nullptr;
            if (object == nullptr || object->Texture == nullptr) continue;
            const RECT in = {division.srcX, division.srcY, division.srcX + division.width, division.srcY + division.height};
            const RECT at = {division.destX, division.destY, division.destX + division.width, division.destY + division.height};
            Graphics_D3D11_ShaderBlit(object->Texture, object->TextureView, &in, into.Part->Texture,
                                      into.Part->RenderTargetViews[0], &at, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, 0);
            // The work texture is larger than the graph: its last column and row are repeated out to the
            // texture's edges, so that a pass sampling beyond the picture reads its edge, as it does from
            // a graph that fills its own texture.
            const GraphTexturePart& room = into.Graph->Orig->parts[0];
            const int right = from.Graph->Width, bottom = from.Graph->Height;
            const bool lastColumn = division.destX + division.width == right && right < room.textureWidth;
            const bool lastRow = division.destY + division.height == bottom && bottom < room.textureHeight;
            auto stretch = [&](const RECT& texels, const RECT& onto) {
                Graphics_D3D11_ShaderBlit(object->Texture, object->TextureView, &texels, into.Part->Texture,
                                          into.Part->RenderTargetViews[0], &onto, 0, 0, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, 0);
            };
            if (lastColumn)
                stretch({in.right - 1, in.top, in.right, in.bottom}, {right, at.top, room.textureWidth, at.bottom});
            if (lastRow)
                stretch({in.left, in.bottom - 1, in.right, in.bottom}, {at.left, bottom, at.right, room.textureHeight});
            if (lastColumn && lastRow)
                stretch({in.right - 1, in.bottom - 1, in.right, in.bottom},
                        {right, bottom, room.textureWidth, room.textureHeight});
        }
        *source = gathered;
    }
    *destination = output;
    return 0;
}

int Graphics_D3D11_GraphFilter_RectBltFinish(GraphFilterContext* run, int finalImage, int status) {
    if (status < 0) return 0;
    if (finalImage == run->Destination && !(run->WorkTextureFlag && run->Source == run->Destination)) return 0;
    if (finalImage == run->Destination) return 0;
    ID3D11Texture2D *from = nullptr, *to = nullptr;
    ID3D11ShaderResourceView *fromView = nullptr, *toView = nullptr;
    ID3D11RenderTargetView *fromTarget = nullptr, *toTarget = nullptr;
    if (!PassImage(finalImage, &from, &fromView, &fromTarget) || !PassImage(run->Destination, &to, &toView, &toTarget))
        return 0;
    const int divisor = run->Divisor > 1 ? run->Divisor : 1;
    const RECT rect = {run->DestX, run->DestY, run->DestX + (run->X2 - run->X1) / divisor,
                       run->DestY + (run->Y2 - run->Y1) / divisor};
    if (toTarget == nullptr) {
        // A graph that is no render target: the texels as they are when the formats match and the graph
        // starts at texel (0, 0) of its texture; otherwise (an opaque picture in a format of its own, a
        // derived graph) the result is read back and transferred like an image.
        D3D11_TEXTURE2D_DESC fromDesc = {}, toDesc = {};
        D3D11Call_Texture2D_GetDesc(from, &fromDesc);
        D3D11Call_Texture2D_GetDesc(to, &toDesc);
        GraphHandleRecord* destination = Graphics_Image_GetGraphRecord(run->Destination, 0);
        if (destination == nullptr) return -1;
        const bool direct = fromDesc.Format == toDesc.Format && toDesc.SampleDesc.Count <= 1 &&
                            destination->drawPartCount == 1 && destination->drawParts[0].srcX == 0 &&
                            destination->drawParts[0].srcY == 0;
        if (direct) {
            const D3D11_BOX box = {(UINT)rect.left, (UINT)rect.top, 0, (UINT)rect.right, (UINT)rect.bottom, 1};
            D3D11Call_DeviceContext_CopySubresourceRegion(to, 0, (UINT)rect.left, (UINT)rect.top, 0, from, 0, &box);
            return 0;
        }
        // The read-back view is copied out before the transfer, which may use the device again.
        BaseImage locked = {};
        int sent = -1;
        if (Graphics_D3D11_Texture_CreateReadBack(from, &rect, 0, 0, &locked) == 0) {
            BaseImage result = locked;
            const int64_t rowBytes = (int64_t)locked.width * locked.format.bytesPerPixel;
            result.pitch = (int32_t)rowBytes;
            result.pixels = Memory_Allocate((uint32_t)(rowBytes * locked.height), __FILE__, __LINE__);
            if (result.pixels != nullptr)
                for (int y = 0; y < locked.height; ++y)
                    memcpy((uint8_t*)result.pixels + y * rowBytes, (const uint8_t*)locked.pixels + (int64_t)y * locked.pitch,
                           (size_t)rowBytes);
            Graphics_D3D11_DrawScreen_Unlock();
            if (result.pixels != nullptr) {
                const BaseImageRect whole = {0, 0, result.width, result.height};
                sent = Graphics_Image_BltImageToGraph(&whole, rect.left, rect.top, run->Destination, &result, nullptr,
                                                      destination->Orig->format.blendImage, 0, 0, 0);
                Memory_Free(result.pixels);
            }
        }
        if (sent < 0) Log_AddTextShiftJIS("フィルター結果を描画可能ではないグラフィックに転送できませんでした\n");
        return sent < 0 ? -1 : 0;
    }
    Graphics_D3D11_ShaderBlit(from, fromView, &rect, to, toTarget, &rect, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, 0);
    return 0;
}

int Graphics_D3D11_GraphFilter_RestoreDrawState() { return 0; }

int Graphics_D3D11_GraphFilter_DrawPass(int pixelShader, GraphFilterContext* run, int linear, int divisor, int second,
                                        int secondDepth, const D3D11BlitCorner* corners, int third, int extra) {
    if (!D3D11Call_Device_Exists()) return -1;
    ShaderHandleRecord* shader = Graphics_Shader_GetHandleData(pixelShader, 0);
    if (shader == nullptr || shader->PlatformArea[0] == nullptr) return -1;
    ID3D11Texture2D *source = nullptr, *destination = nullptr;
    ID3D11ShaderResourceView *sourceView = nullptr, *unusedView = nullptr;
    ID3D11RenderTargetView *unusedTarget = nullptr, *destinationTarget = nullptr;
    if (!PassImage(run->PassSource, &source, &sourceView, &unusedTarget) || sourceView == nullptr) return -1;
    if (!PassImage(run->PassOutput, &destination, &unusedView, &destinationTarget) || destinationTarget == nullptr) return -1;

    const int width = run->X2 - run->X1, height = run->Y2 - run->Y1;
    // The first pass reads the run's rectangle; later ones read what the pass before wrote, which lies
    // at the destination position.
    // A reduction uses whole blocks only: the columns and rows left over at the right and the bottom of
    // the rectangle are not read (as in software), so that each output pixel is the mean of its own block.
    const int scale = divisor > 1 ? divisor : 1;
    const int readWidth = width / scale * scale, readHeight = height / scale * scale;
    const RECT sourceRect = run->PassIndex == 0
                                ? RECT{run->X1, run->Y1, run->X1 + readWidth, run->Y1 + readHeight}
                                : RECT{run->DestX, run->DestY, run->DestX + readWidth, run->DestY + readHeight};
    const RECT destinationRect = {run->DestX, run->DestY, run->DestX + width / scale, run->DestY + height / scale};

    ID3D11Texture2D* secondTexture = nullptr;
    ID3D11ShaderResourceView* secondView = nullptr;
    RECT secondRect = {0, 0, 0, 0};
    const int secondHandle = run->BlendFlag ? run->BlendGraph : second;
    if (secondHandle >= 0) {
        Image image;
        if (!ResolveGraph(secondHandle, &image)) return -1;
        secondTexture = secondDepth ? image.Part->DepthTexture : image.Part->Texture;
        secondView = secondDepth ? image.Part->DepthTextureView : image.Part->TextureView;
        if (secondTexture == nullptr || secondView == nullptr) return -1;
        const GraphHandleRecord* graph = image.Graph;
        if (run->BlendFlag && run->BlendRectFlag) {
            secondRect.left = run->BlendX + graph->x;
            secondRect.top = run->BlendY + graph->y;
            secondRect.right = run->BlendScaleFlag ? run->BlendX2 + graph->x : secondRect.left + width;
            secondRect.bottom = run->BlendScaleFlag ? run->BlendY2 + graph->y : secondRect.top + height;
        } else {
            secondRect = {graph->x, graph->y, graph->x + graph->Width, graph->y + graph->Height};
        }
    }
    ID3D11Texture2D* thirdTexture = nullptr;
    ID3D11ShaderResourceView* thirdView = nullptr;
    if (third >= 0) {
        Image image;
        if (!ResolveGraph(third, &image)) return -1;
        thirdTexture = image.Part->Texture;
        thirdView = image.Part->TextureView;
    }

    D3D11ConstantBuffer* constants = D3D11ConstantBufferState.Standard[D3D11CB_PS_FILTER];
    if (constants == nullptr) return -1;
    Graphics_D3D11_ConstantBuffer_Update(constants);
    Graphics_D3D11_ConstantBuffer_SetPS(3, 1, &constants);
    const int drawn = Graphics_D3D11_ShaderBlit(source, sourceView, &sourceRect, destination, destinationTarget,
                                                &destinationRect, linear, run->OutputBlendMode == 1,
                                                (ID3D11PixelShader*)shader->PlatformArea[0], nullptr, secondTexture,
                                                secondView, secondHandle >= 0 ? &secondRect : nullptr, corners,
                                                thirdTexture, thirdView, extra);
    if (drawn >= 0) ++run->DrawnPasses;
    return drawn;
}

// ---- Bodies ----

namespace {

// One row of a pass output, kept across runs (grown when a wider or other-format row is needed): the
// blur's last row is read from it while it is stretched into the same texture.
struct FilterRowRecord {
    ID3D11Texture2D* Texture;
    ID3D11ShaderResourceView* View;
    UINT Width;
    DXGI_FORMAT Format;
};
FilterRowRecord FilterRow;

void ReleaseFilterRow() {
    D3D11Call_ShaderResourceView_Release(FilterRow.View);
    D3D11Call_Texture2D_Release(FilterRow.Texture);
    FilterRow = {};
}

bool RowCopy(ID3D11Texture2D* from, const D3D11_TEXTURE2D_DESC& desc, UINT left, UINT right, UINT row) {
    if (FilterRow.Texture == nullptr || FilterRow.Width < desc.Width || FilterRow.Format != desc.Format) {
        ReleaseFilterRow();
        D3D11_TEXTURE2D_DESC rowDesc = {};
        rowDesc.Width = desc.Width;
        rowDesc.Height = 1;
        rowDesc.MipLevels = 1;
        rowDesc.ArraySize = 1;
        rowDesc.Format = desc.Format;
        rowDesc.SampleDesc.Count = 1;
        rowDesc.Usage = D3D11_USAGE_DEFAULT;
        rowDesc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        if (D3D11Call_Device_CreateTexture2D(&rowDesc, nullptr, &FilterRow.Texture) != S_OK ||
            D3D11Call_Device_CreateShaderResourceView(FilterRow.Texture, nullptr, &FilterRow.View) != S_OK) {
            Log_AddTextShiftJIS("フィルター用の作業テクスチャの作成に失敗しました\n");
            ReleaseFilterRow();
            return false;
        }
        FilterRow.Width = desc.Width;
        FilterRow.Format = desc.Format;
    }
    const D3D11_BOX box = {left, row, 0, right, row + 1, 1};
    D3D11Call_DeviceContext_CopySubresourceRegion(FilterRow.Texture, 0, left, 0, 0, from, 0, &box);
    return true;
}


// The ambient-occlusion sample kernel: 64 vectors in the upper hemisphere (z >= 0) whose length for entry
// i is 0.1 + 0.9 (i / 64)^2 (0.1 to about 0.97), entries 0, 1, 2, 32 and 63 fixed, the other directions
// spread by a fixed sequence.
struct SsaoKernelRecord {
    float Vectors[64][4];
    int32_t Made;
};
SsaoKernelRecord SsaoKernel;

const float* SsaoSamples() {
    if (SsaoKernel.Made) return &SsaoKernel.Vectors[0][0];
    static const struct {
        int Index;
        float X, Y, Z;
    } Fixed[5] = {{0, -0.079099f, 0.057714f, 0.020306f},
                  {1, -0.0263f, 0.0967f, 0.0005f},
                  {2, 0.072f, -0.0707f, 0.0013f},
                  {32, 0.004501f, 0.324601f, 0.015450f},
                  {63, -0.230385f, 0.924516f, 0.192770f}};
    uint32_t seed = 0x2545F491u;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return (float)(seed >> 8) / 16777216.0f;
    };
    for (int i = 0; i < 64; ++i) {
        float* v = SsaoKernel.Vectors[i];
        float x, y, z, length2;
        do {
            x = next() * 2.0f - 1.0f, y = next() * 2.0f - 1.0f, z = next();
            length2 = x * x + y * y + z * z;
        } while (length2 < 0.01f || length2 > 1.0f || z < 0.05f);
        const float t = (float)i / 64.0f;
        const float scale = (0.1f + 0.9f * t * t) / BaseFunc_Sqrt(length2);
        v[0] = x * scale, v[1] = y * scale, v[2] = z * scale, v[3] = 1.0f;
        for (const auto& f : Fixed)
            if (f.Index == i) v[0] = f.X, v[1] = f.Y, v[2] = f.Z;
    }
    SsaoKernel.Made = 1;
    return &SsaoKernel.Vectors[0][0];
}

// A matrix into 16 slots, transposed.
void PutTransposed(float* slot, const MatrixD& matrix) {
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) slot[column * 4 + row] = (float)matrix.m[row][column];
}

// Texture size of a pass image's first part or of a shadow map (1 x 1 when unknown).
void TextureSize(int handle, float* width, float* height) {
    *width = 1.0f, *height = 1.0f;
    if (const D3D11ShadowMapPlatform* map = ResolveShadowMap(handle)) {
        D3D11_TEXTURE2D_DESC desc = {};
        D3D11Call_Texture2D_GetDesc(map->Texture, &desc);
        *width = (float)desc.Width, *height = (float)desc.Height;
        return;
    }
    Image image;
    if (!ResolveGraph(handle, &image)) return;
    *width = (float)image.Graph->Orig->parts[0].textureWidth;
    *height = (float)image.Graph->Orig->parts[0].textureHeight;
}

// "_PMA" appended when premultiplied.
const char* Variant(char* buffer, size_t size, const char* base, int pma) {
    snprintf(buffer, size, "%s%s.pso", base, pma ? "_PMA" : "");
    return buffer;
}

// The destination's area of the run copied into the same place of the pass output.
void CopyDestinationArea(GraphFilterContext* run) {
    ID3D11Texture2D *from = nullptr, *to = nullptr;
    ID3D11ShaderResourceView *fromView = nullptr, *toView = nullptr;
    ID3D11RenderTargetView *fromTarget = nullptr, *toTarget = nullptr;
    if (!PassImage(run->Destination, &from, &fromView, &fromTarget) || fromView == nullptr ||
        !PassImage(run->PassOutput, &to, &toView, &toTarget) || toTarget == nullptr)
        return;
    const RECT rect = {run->DestX, run->DestY, run->DestX + (run->X2 - run->X1), run->DestY + (run->Y2 - run->Y1)};
    Graphics_D3D11_ShaderBlit(from, fromView, &rect, to, toTarget, &rect, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, 0);
}

int PassAt(int slot, const char* name, GraphFilterContext* run, int linear, int divisor, int second,
           const char* failure = FilterShaderFailure) {
    const int shader = FilterShaderAt(slot, name, failure);
    if (shader < 0) return -1;
    MarkConstants();
    return Graphics_D3D11_GraphFilter_DrawPass(shader, run, linear, divisor, second, 0, nullptr, -1, 0) < 0 ? -1 : 0;
}

int Pass(const char* name, GraphFilterContext* run, int linear, int divisor, int second) {
    return PassAt(Graphics_D3D11_GraphFilter_ShaderSlot(name), name, run, linear, divisor, second);
}

void PutColour(float* slot, const FloatColor* colour) {
    if (colour == nullptr) return;
    slot[0] = colour->r, slot[1] = colour->g, slot[2] = colour->b, slot[3] = colour->a;
}

void PutPacked(float* slot, uint32_t colour) {
    slot[0] = (float)((colour >> 16) & 0xFF) / 255.0f;
    slot[1] = (float)((colour >> 8) & 0xFF) / 255.0f;
    slot[2] = (float)(colour & 0xFF) / 255.0f;
    slot[3] = (float)((colour >> 24) & 0xFF) / 255.0f;
}

const char* const BlendShaderNames[17] = {"Normal",    "Multiple",  "Difference",     "Add",         "Screen",
                                          "Overlay",   "Dodge",     "Burn",           "Darken",      "Lighten",
                                          "SoftLight", "HardLight", "Exclusion",      "Normal_AlphaCh", "Add_AlphaCh",
                                          "Multiple_AOnly", "Mask"};

int BlendBody(GraphFilterContext* run, float* c) {
    const int kind = run->Kind;
    int index = -1, pma = 0;
    if (kind == GraphBlend_Mask || kind == GraphBlend_MaskPma) index = 16, pma = kind == GraphBlend_MaskPma;
    else if (kind >= 0 && kind < 17 && kind != GraphBlend_RgbaMix) index = kind == 0 ? 0 : kind - 1;
    else if (kind >= 17 && kind < 34 && kind != GraphBlend_RgbaMixPma) index = kind == 17 ? 0 : kind - 18, pma = 1;
    if (index < 0) return -1;
    char name[48], base[40];
    snprintf(base, sizeof(base), "BasBF_%s", BlendShaderNames[index]);
    for (int i = 0; i < 4; ++i) c[i] = run->BlendRatio;
    return Pass(Variant(name, sizeof(name), base, pma), run, run->BlendSampling, 1, -1);
}

int ChannelMixBody(GraphFilterContext* run, int r, int g, int b, int a, int pmaFlag, float* c) {
    const int selectors[4] = {r, g, b, a};
    const int pma = pmaFlag != 0;
    c[0] = (float)r + 0.5f, c[1] = (float)g + 0.5f, c[2] = (float)b + 0.5f, c[3] = (float)a + 0.5f;
    Image source, blend;
    const bool sameSize = ResolveGraph(run->Source, &source) && ResolveGraph(run->BlendGraph, &blend) &&
                          source.Graph->Width == blend.Graph->Width && source.Graph->Height == blend.Graph->Height;
    const bool rectMatches = !run->BlendRectFlag || (run->BlendX == run->X1 && run->BlendY == run->Y1 &&
                                                     (!run->BlendScaleFlag || (run->BlendX2 == run->X2 && run->BlendY2 == run->Y2)));
    const bool constant = r >= 8 || g >= 8 || b >= 8 || a >= 8;
    // The shaders that take their channels from one image read the blend graph as the pass source,
    // that is with the run's rectangle as texels of its texture: only a blend graph that is one
    // texture of its own from texel (0, 0) (not derived, not a cell of a divided image) may stand in.
    const bool blendPlain = sameSize && blend.Graph->drawPartCount == 1 && blend.Graph->x == 0 && blend.Graph->y == 0 &&
                            blend.Graph->drawParts[0].srcX == 0 && blend.Graph->drawParts[0].srcY == 0;
    char name[48];
    const auto general = [&]() {
        c[0] = (float)selectors[0] + 0.5f, c[1] = (float)selectors[1] + 0.5f;
        c[2] = (float)selectors[2] + 0.5f, c[3] = (float)selectors[3] + 0.5f;
        return Pass(Variant(name, sizeof(name), "RGBAMix_Base", pma), run, run->BlendSampling, 1, -1);
    };
    if (constant || !sameSize || !rectMatches) return general();

    auto swap = [run]() {
        const int s = run->PassSource;
        run->PassSource = run->BlendGraph;
        run->BlendGraph = s;
    };
    const auto inSource = [](int v) { return v >= 0 && v < 4; };
    const auto inSecond = [](int v) { return v >= 4 && v < 8; };
    bool swapped = false;
    if (inSecond(r) && inSecond(g) && inSecond(b) && inSecond(a)) {
        if (!blendPlain) return general();
        swap(), swapped = true;
        r -= 4, g -= 4, b -= 4, a -= 4;
    }
    int result;
    if (inSource(r) && inSource(g) && inSource(b) && inSource(a)) {
        // The pre-built channel-mix shaders, one per selector set.
        const int index = (((r * 4 + g) * 4 + b) * 4 + a) * 2 + pma;
        int32_t& entry = GraphFilter_ShaderHandles[Graphics_D3D11_GraphFilter_ChannelMixSlot(index)];
        if (entry == -1) {
            const D3D11ShaderCode code = Graphics_D3D11_ShaderCode_GetChannelMix(index);
            if (code.Code != nullptr) {
                entry = Graphics_Shader_CreatePixelShaderFromMemory(code.Code, (int)code.Size);
                if (entry < 0) {
                    Log_AddTextShiftJIS("RGBAMixS フィルター用シェーダーの作成に失敗しました\n");
                    entry = -1;
                } else {
                    Handle_SetDeleteNotify(entry, &entry);
                }
            }
        }
        if (entry != -1) {
            c[0] = (float)r + 0.5f, c[1] = (float)g + 0.5f, c[2] = (float)b + 0.5f, c[3] = (float)a + 0.5f;
            MarkConstants();
            result = Graphics_D3D11_GraphFilter_DrawPass(entry, run, run->BlendSampling, 1, -1, 0, nullptr, -1, 0) < 0 ? -1 : 0;
        } else {
            // No pre-built shader for the set: the general shader on the images as they came.
            if (swapped) swap(), swapped = false;
            result = general();
        }
    } else {
        static const char* const Letters[4] = {"R", "G", "B", "A"};
        int x = -1;
        if (r == g && g == b && r != 3 && r != 7) {
            if (inSecond(r)) {
                if (blendPlain) {
                    swap(), swapped = true;
                    r -= 4, g -= 4, b -= 4, a += 4;
                    x = r;
                }
            } else {
                x = r;
            }
        } else if (r == 0 && g == 1 && b == 2) {
            x = 3;
        } else if (r == 4 && g == 5 && b == 6 && blendPlain) {
            swap(), swapped = true;
            a += 4, x = 3;
        }
        if (x >= 0 && a >= 4 && a < 8) {
            const char* red = x < 3 ? Letters[x] : "R";
            const char* green = x < 3 ? Letters[x] : "G";
            const char* blue = x < 3 ? Letters[x] : "B";
            snprintf(name, sizeof(name), "RGBAMix_S%sS%sS%sB%s%s.pso", red, green, blue, Letters[a - 4], pma ? "_PMA" : "");
            c[0] = (float)r + 0.5f, c[1] = (float)g + 0.5f, c[2] = (float)b + 0.5f, c[3] = (float)a + 0.5f;
            result = PassAt(Graphics_D3D11_GraphFilter_ShaderSlot(name), name, run, run->BlendSampling, 1, -1,
                            ChannelMixShaderFailure);
        } else {
            if (swapped) swap(), swapped = false;
            result = general();
        }
    }
    if (swapped) swap();
    return result;
}

// After the blur's first pass: the vertical pass reads below the picture, so the last row is repeated
// down to the texture's bottom.
void StretchLastRowDown(GraphFilterContext* run) {
    ID3D11Texture2D* to = nullptr;
    ID3D11ShaderResourceView* toView = nullptr;
    ID3D11RenderTargetView* toTarget = nullptr;
    if (!PassImage(run->PassOutput, &to, &toView, &toTarget)) return;
    D3D11_TEXTURE2D_DESC desc = {};
    D3D11Call_Texture2D_GetDesc(to, &desc);
    const int bottom = run->DestY + (run->Y2 - run->Y1);
    const UINT left = (UINT)run->DestX, right = (UINT)(run->DestX + (run->X2 - run->X1));
    if (bottom > 0 && bottom < (int)desc.Height && desc.SampleDesc.Count <= 1 &&
        RowCopy(to, desc, left, right, (UINT)bottom - 1)) {
        const RECT line = {(LONG)left, 0, (LONG)right, 1};
        const RECT below = {(LONG)left, bottom, (LONG)right, (LONG)desc.Height};
        Graphics_D3D11_ShaderBlit(FilterRow.Texture, FilterRow.View, &line, to, toTarget, &below, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    }
}

// The filter constant buffer's CPU copy, or null without a device (the body then ends with -1).
float* BodyConstants() { return D3D11Call_Device_Exists() ? Constants() : nullptr; }

// Bicubic (cubic 1) or Lanczos-3 resampling of the pass source onto (0, 0)-(width, height) of the pass
// output.
int Resample(GraphFilterContext* run, int cubicFlag, int width, int height) {
    if (BodyConstants() == nullptr) return -1;
    float* c = Constants();
    const bool cubic = cubicFlag != 0;
    const int shader = FilterShader(cubic ? "Bicubic.pso" : "Lanczos3.pso");
    if (shader < 0) return -1;
    Image source;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    const float tw = (float)source.Graph->Orig->parts[0].textureWidth, th = (float)source.Graph->Orig->parts[0].textureHeight;
    c[0] = tw, c[1] = th, c[2] = (cubic ? 2.0f : 1.0f) / tw, c[3] = 0.0f;
    // One quad over (0, 0)-(width, height) of the pass output, whatever the destination position, onto
    // which the whole texture of the pass source is mapped; each corner carries its texture corner plus
    // the texel offsets of the taps.
    const float W = (float)width, H = (float)height;
    const float u0 = 0.0f, u1 = 1.0f, v0 = 0.0f, v1 = 1.0f;
    D3D11BlitCorner corners[4] = {};
    for (int corner = 0; corner < 4; ++corner) {
        const bool right = (corner & 1) != 0, bottom = (corner & 2) != 0;
        D3D11BlitCorner& k = corners[corner];
        k.X = right ? W : 0.0f, k.Y = bottom ? H : 0.0f;
        k.Unused[0] = cubic ? 0.2f : 0.0f, k.Unused[1] = 1.0f;
        const float u = right ? u1 : u0, v = bottom ? v1 : v0;
        for (int pair = 0; pair < (cubic ? 8 : 6); ++pair) {
            const float dx = cubic ? (pair % 2 == 0 ? -1.5f : -0.5f) : -0.5f;
            const float dy = cubic ? -1.5f + (float)(pair / 2) : -2.5f + (float)pair;
            k.Coords[pair * 2] = u + dx / tw;
            k.Coords[pair * 2 + 1] = v + dy / th;
        }
    }
    MarkConstants();
    return Graphics_D3D11_GraphFilter_DrawPass(shader, run, 0, 1, -1, 0, corners, -1, 0) < 0 ? -1 : 0;
}

}  // namespace

// ---- Bodies, one per filter kind ----

int Graphics_D3D11_GraphFilter_Mono(GraphFilterContext* run, float cb, float cr) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    memcpy(c, LumaWeights, sizeof(LumaWeights));
    c[4] = cr * 1.402f, c[5] = cb * 0.34414f - cr * 0.71414f, c[6] = cb * 1.772f, c[7] = 0.0f;
    return Pass("Mono.pso", run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_Gauss(GraphFilterContext* run, int taps, float, const float* weights) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    const char* shader = taps <= 8 ? "Gauss_08Pixel_PS.pso" : taps <= 16 ? "Gauss_16Pixel_PS.pso" : "Gauss_32Pixel_PS.pso";
    const int used = taps / 2 < 16 ? taps / 2 : 16;
    for (int i = 0; i < 16; ++i) c[i] = weights != nullptr && i < used ? weights[i] : 0.0f;
    float width, height;
    TextureSize(run->PassSource, &width, &height);
    for (int k = 0; k < 16; ++k) {
        const float offset = k == 0 ? 0.0f : (float)(2 * k) - 0.5f;
        c[16 + 2 * k] = run->PassIndex == 0 ? offset / width : 0.0f;
        c[17 + 2 * k] = run->PassIndex == 0 ? 0.0f : offset / height;
    }
    const int result = Pass(shader, run, 1, 1, -1);
    if (result == 0 && run->PassIndex == 0) StretchLastRowDown(run);
    return result;
}

int Graphics_D3D11_GraphFilter_DownScale(GraphFilterContext* run, int divisor) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    Image source;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    const float w = (float)source.Graph->Orig->parts[0].textureWidth, h = (float)source.Graph->Orig->parts[0].textureHeight;
    static const float X4[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    static const float Steps[4] = {-3, -1, 1, 3};
    // Divisor 1 is a copy: the one tap of the divide-by-2 shader at each pixel's own texel.
    if (divisor == 1 || divisor == 2) {
        c[0] = c[1] = 0.0f;
    } else if (divisor == 4) {
        for (int i = 0; i < 4; ++i) c[2 * i] = X4[i][0] / w, c[2 * i + 1] = X4[i][1] / h;
    } else if (divisor == 8) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) c[(y * 4 + x) * 2] = Steps[x] / w, c[(y * 4 + x) * 2 + 1] = Steps[y] / h;
    } else {
        return -1;
    }
    const char* shader = divisor <= 2 ? "DownScaleX2.pso" : divisor == 4 ? "DownScaleX4.pso" : "DownScaleX8.pso";
    return Pass(shader, run, 1, divisor, -1);
}

int Graphics_D3D11_GraphFilter_BrightClip(GraphFilterContext* run, int compare, float threshold, int fill,
                                          const FloatColor* fillColor, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    // The fill shaders for a fill flag of exactly 1; any other flag clips without filling.
    const bool greater = compare == 5, filled = fill == 1;
    for (int i = 0; i < 4; ++i) c[i] = threshold;
    memcpy(c + 4, LumaWeights, sizeof(LumaWeights));
    PutColour(c + 8, fillColor);
    const char* base = greater ? (filled ? "BrightClipFillGreater" : "BrightClipGreater")
                               : (filled ? "BrightClipFillLess" : "BrightClipLess");
    // Without fill the clipped pixels are not written and keep what the destination holds: a work
    // texture standing in for the destination takes the destination's pixels first.
    if (!filled && run->PassOutput != run->Destination) CopyDestinationArea(run);
    char name[48];
    return Pass(Variant(name, sizeof(name), base, pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_BrightScale(GraphFilterContext* run, int min, int max, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    c[0] = (float)min / 255.0f;
    c[1] = max != min ? 255.0f / (float)(max - min) : 0.0f;
    c[2] = c[3] = 0.0f;
    char name[48];
    return Pass(Variant(name, sizeof(name), "BrightnessScale", pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_Hsb(GraphFilterContext* run, int type, float hue, float saturation, float brightness,
                                   int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    c[0] = hue;
    c[1] = saturation > 0.0f ? saturation * 5.0f : saturation;
    c[2] = brightness;
    c[3] = 0.0f;
    for (int i = 4; i < 8; ++i) c[i] = 0.5f;
    for (int i = 8; i < 12; ++i) c[i] = 1.0f;
    char name[48];
    return Pass(Variant(name, sizeof(name), type == 1 ? "Hsb_HSB_HLOCK" : "Hsb_HSB_BASE", pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_Invert(GraphFilterContext* run, int pma) {
    if (BodyConstants() == nullptr) return -1;
    char name[48];
    return Pass(Variant(name, sizeof(name), "Invert", pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_Level(GraphFilterContext* run, float inMin, float inMax, float gamma, float outMin,
                                     float outMax, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    // The gamma graph the core keeps for the gamma it was handed, read interpolated as texture 1.
    (void)gamma;
    const int gammaGraph = GraphFilter_LevelGammaGraphHandle();
    if (gammaGraph < 0) return -1;
    c[0] = inMin;
    c[1] = inMax > inMin ? 1.0f / (inMax - inMin) : 0.0f;
    c[2] = outMin;
    c[3] = outMax;
    char name[48];
    return Pass(Variant(name, sizeof(name), "Level", pma), run, 1, 1, gammaGraph);
}

int Graphics_D3D11_GraphFilter_TwoColor(GraphFilterContext* run, float threshold, const FloatColor* color1,
                                        const FloatColor* color2, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    memcpy(c, LumaWeights, 3 * sizeof(float));
    c[3] = threshold / 255.0f;
    PutColour(c + 4, color1);
    PutColour(c + 8, color2);
    char name[48];
    return Pass(Variant(name, sizeof(name), "TwoColor", pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_GradientMap(GraphFilterContext* run, int gradientGraph, int reverse, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    // Slots 4-6: the gradient's width and its top-left texel in its texture (the shader reads the top
    // row's texels by their integer place).
    memcpy(c, LumaWeights, sizeof(LumaWeights));
    Image gradient;
    c[4] = c[5] = c[6] = c[7] = 0.0f;
    if (ResolveGraph(gradientGraph, &gradient)) {
        c[4] = (float)gradient.Graph->Width;
        if (gradient.Graph->drawPartCount > 0)
            c[5] = (float)gradient.Graph->drawParts[0].srcX, c[6] = (float)gradient.Graph->drawParts[0].srcY;
    }
    char name[48];
    return Pass(Variant(name, sizeof(name), reverse ? "GradientMapRev" : "GradientMap", pma), run, 0, 1, gradientGraph);
}

int Graphics_D3D11_GraphFilter_Replacement(GraphFilterContext* run, unsigned int target, unsigned int replacement,
                                           int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    PutPacked(c, target);
    PutPacked(c + 4, replacement);
    char name[48];
    return Pass(Variant(name, sizeof(name), "Replacement", pma), run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_PremultipliedAlpha(GraphFilterContext* run) {
    if (BodyConstants() == nullptr) return -1;
    return Pass("PremultipliedAlpha.pso", run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_InterpolatedAlpha(GraphFilterContext* run) {
    if (BodyConstants() == nullptr) return -1;
    return Pass("InterpolatedAlpha.pso", run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_YuvToRgb(GraphFilterContext* run, int uv) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    static const char* const Names[4] = {"Y2uv2ToRgb.pso", "Y2uv1ToRgb.pso", "Y2uv2ToRgb_RRA.pso", "Y2uv1ToRgb_RRA.pso"};
    const bool rra = run->Kind == GraphFilter_KindYuvToRgbRra || run->Kind == GraphFilter_KindYuvToRgbUvRra;
    const int variant = (rra ? 2 : 0) + (uv >= 0 ? 1 : 0);
    Image source, uvImage;
    if (!ResolveGraph(run->PassSource, &source)) return -1;
    if (uv >= 0 || rra) {
        const GraphTexturePart& part = source.Graph->Orig->parts[0];
        const float ratio = (float)source.Graph->Width / (float)part.textureWidth;
        c[0] = c[1] = c[3] = 0.0f, c[2] = ratio * 0.5f;
        if (uv >= 0 && ResolveGraph(uv, &uvImage)) {
            const GraphTexturePart& uvPart = uvImage.Graph->Orig->parts[0];
            const float uw = (float)uvImage.Graph->Width / (float)uvPart.textureWidth;
            const float uh = (float)uvImage.Graph->Height / (float)uvPart.textureHeight;
            const float sh = (float)source.Graph->Height / (float)part.textureHeight;
            c[0] = uw / ratio, c[1] = uh / sh, c[3] = uw * 0.5f;
        }
    }
    return Pass(Names[variant], run, 0, 1, uv);
}

int Graphics_D3D11_GraphFilter_Bicubic(GraphFilterContext* run, int width, int height) {
    return Resample(run, 1, width, height);
}

int Graphics_D3D11_GraphFilter_Lanczos3(GraphFilterContext* run, int width, int height) {
    return Resample(run, 0, width, height);
}

int Graphics_D3D11_GraphFilter_Ssao(GraphFilterContext* run, int depth, float p1, float p2, float p3, float p4,
                                    int colour, float mix, int mixGraph) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    // The occlusion and blur passes read the depth graph's depth buffer: one that cannot be sampled
    // (a 16-bit depth buffer) leaves them nothing to read.
    Image depthImage;
    if (run->PassIndex < 2 && (!ResolveGraph(depth, &depthImage) || depthImage.Part->DepthTextureView == nullptr)) {
        Log_AddTextShiftJIS("SSAO フィルターの深度グラフィックに読み取れる深度バッファがありません\n");
        return -1;
    }
    float tw, th;
    TextureSize(run->PassSource, &tw, &th);
    if (run->PassIndex == 0) {
        c[0] = p1, c[1] = p2, c[2] = p3, c[3] = p4;
        c[4] = (float)GraphicsTransform.Near, c[5] = (float)GraphicsTransform.Far, c[6] = tw, c[7] = th;
        // Positions are rebuilt through the inverse projection: a projection without one gives the pass
        // nothing to work from.
        MatrixD inverse;
        if (MakeInverseMatrixD(&inverse, &GraphicsTransform.Projection) < 0) {
            Log_AddTextShiftJIS("SSAO フィルターの射影行列に逆行列がありません\n");
            return -1;
        }
        PutTransposed(c + 8, GraphicsTransform.Projection);
        PutTransposed(c + 24, inverse);
        memcpy(c + 40, SsaoSamples(), 256 * sizeof(float));
        const int shader = FilterShader("SSAO.pso");
        if (shader < 0) return -1;
        MarkConstants();
        return Graphics_D3D11_GraphFilter_DrawPass(shader, run, 0, 1, depth, 1, nullptr,
                                                   Graphics_Image_GetSsaoPatternTexHandle(), 1) < 0
                   ? -1
                   : 0;
    }
    if (run->PassIndex == 1) {
        const float blur[8] = {0.1f, 0.0f, 0.0f, 0.0f, tw, th, 0.0f, 0.0f};
        memcpy(c, blur, sizeof(blur));
        const int shader = FilterShader("SSAO_Blur.pso");
        if (shader < 0) return -1;
        MarkConstants();
        return Graphics_D3D11_GraphFilter_DrawPass(shader, run, 0, 1, depth, 1, nullptr, -1, 0) < 0 ? -1 : 0;
    }
    if (run->PassIndex == 2) {
        const uint32_t code = (uint32_t)colour;
        c[0] = (float)((code >> 16) & 0xFF) / 255.0f, c[1] = (float)((code >> 8) & 0xFF) / 255.0f;
        c[2] = (float)(code & 0xFF) / 255.0f, c[3] = 0.0f, c[4] = mix;
        return Pass("SSAO_MIX.pso", run, 0, 1, mixGraph);
    }
    return 0;
}

int Graphics_D3D11_GraphFilter_FloatColorScale(GraphFilterContext* run, const float* values) {
    float* c = BodyConstants();
    if (c == nullptr || values == nullptr) return -1;
    for (int i = 0; i < 8; ++i) c[i] = values[i];
    return Pass("FloatColorScale.pso", run, 0, 1, -1);
}

int Graphics_D3D11_GraphFilter_Blend(GraphFilterContext* run, int) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    return BlendBody(run, c);
}

int Graphics_D3D11_GraphFilter_BlendRGBAMix(GraphFilterContext* run, int r, int g, int b, int a, int pma) {
    float* c = BodyConstants();
    if (c == nullptr) return -1;
    return ChannelMixBody(run, r, g, b, a, pma, c);
}

// ---- Start and end ----

int Graphics_D3D11_GraphFilter_Install() {
    ResetCaches();
    return 0;
}

int Graphics_D3D11_GraphFilter_Uninstall() {
    ReleaseFilterRow();
    DeleteCachedHandles();
    if (GraphFilter_LevelGammaGraphHandle() > 0) DeleteGraph(GraphFilter_LevelGammaGraphHandle());
    ResetCaches();
    return 0;
}

}  // namespace Vantrel
