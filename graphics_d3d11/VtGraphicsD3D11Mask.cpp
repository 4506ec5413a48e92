// Direct3D 11 mask screen: the mask image texture (the core's mask bytes) and the mask screen texture
// that draws land on while the mask is in use, kept across a resize, and the per-draw copy in and the
// masked composite back into the real target.
// Stands on the call layer, the state cache, the vertex batch, the format table of the device set-up,
// the simple-transfer blit, the target windows and the graphics core's mask and screen state.
#include "graphics_d3d11/VtGraphicsD3D11Mask.h"

#include <utility>

#include "foundation/VtLog.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsMask.h"
#include "graphics/VtGraphicsShadowMap.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11Batch.h"
#include "graphics_d3d11/VtGraphicsD3D11Device.h"
#include "graphics_d3d11/VtGraphicsD3D11Light.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderBlit.h"
#include "graphics_d3d11/VtGraphicsD3D11ShaderCode.h"
#include "graphics_d3d11/VtGraphicsD3D11State.h"
#include "graphics_d3d11/VtGraphicsD3D11Texture.h"
#include "graphics_d3d11/VtGraphicsD3D11Window.h"

namespace Vantrel {

D3D11MaskStateRecord D3D11MaskState;

namespace {

// Library texture-format codes of the mask buffers.
constexpr int MaskColourFormatCode = 49;
constexpr int MaskAlphaFormatCode = 50;

struct Target {
    ID3D11Texture2D* Texture;
    ID3D11ShaderResourceView* View;
    ID3D11RenderTargetView* RenderTargetView;
};

// The draw target drawing would land on without the mask: the shadow map being drawn, the slot-0
// graph's first part (with the view of slot 0's face), else the sub back buffer, else the main back buffer.
Target RealTarget() {
    const DrawTargetSlot& slot = GraphicsScreenState.DrawTargets[0];
    if (ShadowMapSlots.Drawing) {
        D3D11ShadowMapPlatform* map = Graphics_D3D11_ShadowMap_PlatformOf(ShadowMapSlots.DrawingHandle);
        if (map != nullptr) return {map->Texture, map->ShaderView, map->TargetView};
    }
    if (slot.Handle >= 0) {
        GraphHandleRecord* graph = Graphics_Image_GetGraphRecord(slot.Handle, 0);
        if (graph != nullptr && graph->Orig != nullptr && graph->Orig->partCount >= 1 && graph->Orig->format.hardware) {
            D3D11OrigTexture* part = Graphics_D3D11_OrigTexture_Of(&graph->Orig->parts[0]);
            if (part != nullptr)
                return {part->Texture, part->TextureView,
                        Graphics_D3D11_OrigTexture_RenderTargetView(graph->Orig, 0, slot.Surface, 0)};
        }
        return {nullptr, nullptr, nullptr};
    }
    const D3D11WindowStateRecord& windows = D3D11WindowState;
    if (windows.SubTexture != nullptr) return {windows.SubTexture, windows.SubSRV, windows.SubRTV};
    const D3D11TargetWindow& main = windows.Targets[windows.MainTarget];
    return {main.BackBuffer, main.BackBufferSRV, main.BackBufferRTV};
}

bool MaskInUse() { return MaskScreenState.MaskActive != 0 && D3D11MaskState.ScreenTexture != nullptr; }

void UploadMaskImage(int width, int height) {
    const MaskScreenStateRecord& mask = MaskScreenState;
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (s.ImageTexture == nullptr || mask.MaskData == nullptr) return;
    if (width > mask.MaskWidth) width = mask.MaskWidth;
    if (height > mask.MaskHeight) height = mask.MaskHeight;
    if (width <= 0 || height <= 0) return;
    const D3D11_BOX box = {0, 0, 0, (UINT)width, (UINT)height, 1};
    D3D11Call_DeviceContext_UpdateSubresource(s.ImageTexture, 0, &box, mask.MaskData, (UINT)mask.MaskPitch, 0);
}

void ReleaseImage() {
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (s.ImageView != nullptr) Graphics_D3D11_ShaderResourceView_UnbindAndRelease(s.ImageView);
    D3D11Call_Texture2D_Release(s.ImageTexture);
    s.ImageView = nullptr;
    s.ImageTexture = nullptr;
}

void ReleaseSaved() {
    D3D11MaskStateRecord& s = D3D11MaskState;
    D3D11Call_RenderTargetView_Release(s.SavedRenderTargetView);
    if (s.SavedView != nullptr) Graphics_D3D11_ShaderResourceView_UnbindAndRelease(s.SavedView);
    D3D11Call_Texture2D_Release(s.SavedTexture);
    s.SavedRenderTargetView = nullptr;
    s.SavedView = nullptr;
    s.SavedTexture = nullptr;
}

int Fail(const char* text) {
    Log_AddTextShiftJIS(text);
    return -1;
}

}  // namespace

namespace {

// The mask screen and the screen kept through a grow change places.
void SwapScreenAndSaved() {
    D3D11MaskStateRecord& s = D3D11MaskState;
    std::swap(s.SavedTexture, s.ScreenTexture);
    std::swap(s.SavedView, s.ScreenView);
    std::swap(s.SavedRenderTargetView, s.ScreenRenderTargetView);
}

}  // namespace

int Graphics_D3D11_Mask_SaveSurfaces() {
    // The saved screen holds nothing here: it goes once the grow has copied it or given up.
    SwapScreenAndSaved();
    ReleaseImage();
    return 0;
}

namespace {

// The mask image texture and the mask screen of the mask's size, each made when missing.
int MakeSurfaces(int width, int height) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11MaskStateRecord& s = D3D11MaskState;
    const DXGI_FORMAT colourFormat = D3D11DeviceState.TextureFormat[MaskColourFormatCode];
    const DXGI_FORMAT alphaFormat = D3D11DeviceState.TextureFormat[MaskAlphaFormatCode];
    if (colourFormat == DXGI_FORMAT_UNKNOWN)
        return Fail("マスク描画用カラーバッファで使用できるテクスチャフォーマットがありませんでした");
    if (alphaFormat == DXGI_FORMAT_UNKNOWN)
        return Fail("マスク描画用アルファチャンネルバッファで使用できるテクスチャフォーマットがありませんでした");
    s.Width = width;
    s.Height = height;
    const MaskScreenStateRecord& mask = MaskScreenState;
    if (mask.MaskWidth <= 0 || mask.MaskHeight <= 0) return -1;

    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = (UINT)mask.MaskWidth;
    desc.Height = (UINT)mask.MaskHeight;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    if (s.ImageTexture == nullptr) {
        desc.Format = alphaFormat;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &s.ImageTexture) != S_OK) {
            s.ImageTexture = nullptr;
            return Fail("マスクイメージ用テクスチャの作成に失敗しました");
        }
        D3D11_SHADER_RESOURCE_VIEW_DESC view = {};
        view.Format = alphaFormat;
        view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
        view.Texture2D.MipLevels = 1;
        if (D3D11Call_Device_CreateShaderResourceView(s.ImageTexture, &view, &s.ImageView) != S_OK) {
            s.ImageView = nullptr;
            return Fail("マスクイメージテクスチャ用シェーダーリソースビューの作成に失敗しました");
        }
        UploadMaskImage(mask.MaskWidth, mask.MaskHeight);
    }
    if (s.ScreenTexture == nullptr) {
        desc.Format = colourFormat;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
        if (D3D11Call_Device_CreateTexture2D(&desc, nullptr, &s.ScreenTexture) != S_OK) {
            s.ScreenTexture = nullptr;
            return Fail("マスク用スクリーンテクスチャの作成に失敗しました\n");
        }
        if (D3D11Call_Device_CreateShaderResourceView(s.ScreenTexture, nullptr, &s.ScreenView) != S_OK) {
            s.ScreenView = nullptr;
            return Fail("マスクスクリーンテクスチャ用シェーダーリソースビューの作成に失敗しました");
        }
        if (D3D11Call_Device_CreateRenderTargetView(s.ScreenTexture, nullptr, &s.ScreenRenderTargetView) != S_OK) {
            s.ScreenRenderTargetView = nullptr;
            return Fail("マスクスクリーンテクスチャ用レンダーターゲットビューの作成に失敗しました");
        }
    }
    return 0;
}

}  // namespace

// A grow whose new surfaces cannot be made puts the saved screen back as the screen (the targets that
// still draw into it keep a live mask screen); the image texture of the old size follows when the core
// hands back the old mask data.
int Graphics_D3D11_Mask_CreateSurfaces(int width, int height) {
    if (MakeSurfaces(width, height) == 0) return 0;
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (s.SavedTexture != nullptr) {
        D3D11Call_RenderTargetView_Release(s.ScreenRenderTargetView);
        if (s.ScreenView != nullptr) Graphics_D3D11_ShaderResourceView_UnbindAndRelease(s.ScreenView);
        D3D11Call_Texture2D_Release(s.ScreenTexture);
        ReleaseImage();
        s.ScreenTexture = nullptr;
        s.ScreenView = nullptr;
        s.ScreenRenderTargetView = nullptr;
        SwapScreenAndSaved();
    }
    return -1;
}

int Graphics_D3D11_Mask_CopyAndReleaseSaved(int width, int height) {
    D3D11MaskStateRecord& s = D3D11MaskState;
    UploadMaskImage(width, height);
    if (s.SavedTexture == nullptr) return 0;
    if (s.ScreenTexture != nullptr && width > 0 && height > 0) {
        const RECT rect = {0, 0, width, height};
        Graphics_D3D11_ShaderBlit(s.SavedTexture, s.SavedView, &rect, s.ScreenTexture, s.ScreenRenderTargetView, &rect, 0,
                                  0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    }
    // Wherever the old screen is still bound, the new one takes its place (no draw may land in a
    // released texture).
    for (int slot = 0; slot < 8; ++slot)
        if (D3D11StateCache.RenderTargetTexture[slot] == s.SavedTexture)
            Graphics_D3D11_StateCache_SetRenderTarget(s.ScreenTexture, s.ScreenRenderTargetView, slot);
    ReleaseSaved();
    return 0;
}

int Graphics_D3D11_Mask_DrawBegin(const RECT* rect) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (!MaskInUse() || rect == nullptr) return 0;
    const Target real = RealTarget();
    s.RealTexture = real.Texture;
    s.RealView = real.View;
    s.RealRenderTargetView = real.RenderTargetView;
    if (real.Texture == nullptr || real.View == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    Graphics_D3D11_ShaderBlit(real.Texture, real.View, rect, s.ScreenTexture, s.ScreenRenderTargetView, rect, 0, 0, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    return 0;
}

int Graphics_D3D11_Mask_DrawAfter(const RECT* rect) {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (!MaskInUse() || rect == nullptr || s.RealTexture == nullptr || s.RealRenderTargetView == nullptr) return 0;
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    const int composite = MaskScreenState.MaskReverse ? D3D11SHADER_MASK_REVERSE_PS : D3D11SHADER_MASK_PS;
    ID3D11PixelShader* shader = D3D11ShaderObjects.PixelShader[composite];
    if (shader == nullptr) return 0;   // without the composite no draw may pass the mask unchecked
    Graphics_D3D11_ShaderBlit(s.ScreenTexture, s.ScreenView, rect, s.RealTexture, s.RealRenderTargetView, rect, 0, 0,
                              shader, nullptr, s.ImageTexture, s.ImageView, rect, nullptr, nullptr, nullptr, 0);
    return 0;
}

int Graphics_D3D11_Mask_ReleaseSurfaces() {
    D3D11MaskStateRecord& s = D3D11MaskState;
    if (s.ScreenTexture != nullptr) {
        Graphics_D3D11_VertexBatch_Flush(-1, 0);
        // A mask screen still bound as a target goes back to the real one first.
        for (int slot = 0; slot < 8; ++slot)
            if (D3D11StateCache.RenderTargetTexture[slot] == s.ScreenTexture) {
                const Target real = slot == 0 ? RealTarget() : Target{nullptr, nullptr, nullptr};
                Graphics_D3D11_StateCache_SetRenderTarget(real.Texture, real.RenderTargetView, slot);
            }
    }
    D3D11Call_RenderTargetView_Release(s.ScreenRenderTargetView);
    if (s.ScreenView != nullptr) Graphics_D3D11_ShaderResourceView_UnbindAndRelease(s.ScreenView);
    D3D11Call_Texture2D_Release(s.ScreenTexture);
    s.ScreenRenderTargetView = nullptr;
    s.ScreenView = nullptr;
    s.ScreenTexture = nullptr;
    ReleaseImage();
    // A screen saved for a copy that never came (its successor could not be made) goes as well.
    ReleaseSaved();
    s.RealTexture = nullptr;
    s.RealView = nullptr;
    s.RealRenderTargetView = nullptr;
    return 0;
}

int Graphics_D3D11_Mask_SetUseFlag() {
    if (!D3D11Call_Device_Exists()) return -1;
    D3D11MaskStateRecord& s = D3D11MaskState;
    Target target = {nullptr, nullptr, nullptr};
    if (MaskInUse()) target = {s.ScreenTexture, s.ScreenView, s.ScreenRenderTargetView};
    else target = RealTarget();
    Graphics_D3D11_VertexBatch_Flush(-1, 0);
    if (target.Texture != nullptr && target.RenderTargetView != nullptr)
        Graphics_D3D11_StateCache_SetRenderTarget(target.Texture, target.RenderTargetView, 0);
    Graphics_Screen_RebindDepthBuffer();
    const RECT& area = DrawSettings.DrawArea;
    D3D11StateCache.Force = 1;
    Graphics_D3D11_StateCache_SetViewportRect((float)area.left, (float)area.top, (float)area.right, (float)area.bottom);
    D3D11StateCache.Force = 0;
    return 0;
}

}  // namespace Vantrel
