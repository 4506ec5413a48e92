// Screen modes at run time: the screen setting and the low-resolution emulation, and the screen-mode
// change that restarts the graphics module with the new size, colour depth and refresh rate (down a
// ladder of fall-backs when the start fails), bringing the default font back as it was.
// Stands on the graphics module lifecycle, draw targets, the font manager, memory images, the math
// module's aspect default and the window and system modules.
#include "font/VtFont.h"
#include "foundation/VtLog.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics/VtMatrix.h"
#include "image/VtMemImg.h"
#include "system/VtSystem.h"
#include "system/VtWindowSettings.h"

namespace Vantrel {

namespace {

struct ScreenSettings {
    int Width, Height, Bits, Refresh;
};

ScreenSettings CurrentSettings() {
    const GraphicsScreenStateRecord& screen = GraphicsScreenState;
    return {screen.ScreenWidth, screen.ScreenHeight, screen.ColourBits, screen.RefreshRate};
}

bool SameSettings(const ScreenSettings& a, const ScreenSettings& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Bits == b.Bits && a.Refresh == b.Refresh;
}

void StoreSettings(const ScreenSettings& settings) {
    Graphics_Screen_SetMainScreenSize(settings.Width, settings.Height);
    GraphicsScreenState.RefreshRate = settings.Refresh;
    GraphicsScreenState.ColourBits = settings.Bits;
    MemImg_SetDefaultColorType(settings.Bits == 32 ? MemImgColorType_XRGB8 : MemImgColorType_R5G6B5);
}

// The default font's parameters, kept across the restart.
struct DefaultFontSave {
    bool Saved;
    wchar_t Name[Font_FaceNameLength];
    int Size, Thickness, FontType, CharSet, EdgeSize, Italic, Spacing;
};

void SaveDefaultFont(DefaultFontSave* save) {
    save->Saved = false;
    if (!GraphicsSystemState.Initialised || !IsFontHandleValid(Font_GetDefaultHandle())) return;
    save->Name[0] = 0;
    if (GetFontParamsToHandleW(save->Name, &save->Size, &save->Thickness, -2, &save->FontType, &save->CharSet,
                               &save->EdgeSize, &save->Italic) < 0)
        return;
    save->Spacing = GetFontCharSpacingToHandle(-2);
    save->Saved = true;
}

int ChangeModeEnd(int result) {
    GraphicsSystemState.ModeChangeInProgress = 0;
    return result;
}

}  // namespace

int Graphics_Screen_SetMainScreenSize(int width, int height) {
    GraphicsScreenStateRecord& screen = GraphicsScreenState;
    screen.ScreenWidth = width;
    screen.ScreenHeight = height;
    screen.MainScreenWidth = width != 0 ? width : 640;
    screen.MainScreenHeight = height != 0 ? height : 480;
    return Graphics_Math_SetAspectScreenSize(screen.MainScreenWidth, screen.MainScreenHeight);
}

int SetScreenResolution(int width, int height, int colourBits, int refreshRate) {
    if (colourBits == 0) colourBits = 16;
    if (GraphicsScreenState.LowResolutionEmulation) {
        width = 320;
        height = 240;
    } else if (width <= 0 || height <= 0) {
        return -1;
    }
    if (colourBits != 8 && colourBits != 16 && colourBits != 32) return -1;
    const ScreenSettings requested = {width, height, colourBits, refreshRate};
    if (!LibraryCore.Initialised) {
        StoreSettings(requested);
        return 0;
    }
    const ScreenSettings before = CurrentSettings();
    Graphics_Screen_ChangeMode(width, height, colourBits, 0, refreshRate);
    const ScreenSettings now = CurrentSettings();
    if (SameSettings(now, requested)) return 0;
    if (SameSettings(now, before) || now.Width != 640 || now.Height != 480) return -1;
    return now.Bits == 16 && now.Refresh == 0 ? -2 : -1;
}

int SetLowResolutionEmulation(int flag) {
    if (LibraryCore.Initialised) return -1;
    GraphicsScreenState.LowResolutionEmulation = flag ? 1 : 0;
    if (flag) {
        SetScreenResolution(320, 240, GraphicsScreenState.ColourBits, GraphicsScreenState.RefreshRate);
        GraphicsScreenState.EmulationFilter = 1;
    }
    return 0;
}

int Graphics_Screen_ChangeMode(int width, int height, int colourBits, int windowModeChanged, int refreshRate) {
    GraphicsSystemState.ModeChangeInProgress = 1;
    Graphics_Dispatch_VertexBatch_Flush(0);
    const ScreenSettings before = CurrentSettings();
    const ScreenSettings requested = {width != -1 ? width : before.Width, height != -1 ? height : before.Height,
                                      colourBits != -1 ? colourBits : before.Bits,
                                      refreshRate != -1 ? refreshRate : before.Refresh};
    if (SameSettings(requested, before) && !windowModeChanged) return ChangeModeEnd(0);

    Log_AddTextShiftJIS("画面モード変更処理を開始します\n");
    Log_Indent_Increase();
    DefaultFontSave font;
    SaveDefaultFont(&font);
    GraphicsSystemState.PreviousScreenWidth = before.Width;
    GraphicsSystemState.PreviousScreenHeight = before.Height;
    if (!LibraryCore.Initialised && !LibraryCore.Initialising) {
        Log_Indent_Decrease();
        return ChangeModeEnd(0);
    }

    // The mask screen keeps its existence and its use switch across the restart, not its contents.
    const int maskExisted = MaskScreenState.MaskScreenCreated, maskUse = MaskScreenState.MaskUse;
    if (GraphicsSystemState.Initialised) Graphics_Module_Terminate();
    StoreSettings(requested);
    if (font.Saved) {
        SetDefaultFontParamsW(font.Name, font.Size, font.Thickness, font.FontType, font.CharSet, font.EdgeSize,
                              font.Italic);
        SetFontCharSpacing(font.Spacing);
    }

    // The fall-backs, each tried when the start before it failed.
    const ScreenSettings ladder[] = {before, {640, 480, 16, 0}, {640, 480, 32, 0}};
    bool started = Graphics_Module_Initialize() >= 0;
    if (!started && requested.Width == 320 && requested.Height == 240) {
        Graphics_Screen_SetMainScreenSize(640, 480);
        SetLowResolutionEmulation(1);
        started = Graphics_Module_Initialize() >= 0;
    }
    for (const ScreenSettings& fallBack : ladder) {
        if (started) break;
        StoreSettings(fallBack);
        started = Graphics_Module_Initialize() >= 0;
    }
    if (!started) {
        Log_AddTextShiftJIS("予期せぬ画面モード変更不能現象が起きました2\n");
        Log_Indent_Decrease();
        return ChangeModeEnd(-1);
    }

    Window_ApplyStyle(1);
    Log_Indent_Decrease();
    Log_AddTextShiftJIS("画面モード変更処理は正常に終了しました\n");
    System_PollMessagesNoLock();
    Graphics_Screen_ResetRenderTargetSlots();
    Mask_RecreateAfterRestart(maskExisted, maskUse);
    Window_RefreshDragAcceptFiles();
    return ChangeModeEnd(0);
}

}  // namespace Vantrel
