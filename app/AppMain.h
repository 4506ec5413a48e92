// The tool's spine: the start-up work before and after the library starts, the layers each frame is
// composed from, the per-frame click state, the main loop and the frame pacing.
// Stands on the library's start-up, input, graphics and font services and on every page of the tool.
#pragma once
#include <cstdint>

namespace Qelvar {

struct Rect {
    int32_t X, Y, Width, Height;
};

// Strict on all four sides: a point on the outline is outside.
inline bool IsInsideRect(const Rect& rect, int32_t x, int32_t y, int32_t originX = 0, int32_t originY = 0)
{
    return x > originX + rect.X && x < originX + rect.X + rect.Width && y > originY + rect.Y &&
           y < originY + rect.Y + rect.Height;
}

struct ScreenLayersRecord {
    uint8_t FlipToggle;
    int32_t& BackgroundHidden;  // the SystemSettings value itself, as "system.data" gave it
    uint8_t LayersChanged;
    int32_t CompositeScreen;
    Rect ScreenRect;
    int32_t TabBarLayer;
    Rect TabBarRect;
    int32_t PageLayer;
    Rect PageRect;
    int32_t BackgroundPicture;
    int32_t EmptyBackground;
    int32_t Background;
    int32_t TabBarBackground;
    int32_t PageBackground;
    int32_t BlackSquare;
    int32_t Panel;
    int32_t SubPanel;
    int32_t DimAlpha;
    uint64_t LastFlipTime;
};
extern ScreenLayersRecord ScreenLayers;

extern unsigned int ColorBlack, ColorLight, ColorCyan, ColorGrey, ColorPink, ColorRed, ColorGreen, ColorBlue;

struct MouseClickStateRecord {
    uint8_t Down;
    int32_t X, Y;
    uint8_t Pressed;
    uint8_t PressEvent;
    int32_t PressX, PressY;
    uint8_t ReleaseEvent;
    int32_t ReleaseX, ReleaseY;
    int32_t Wheel;
};
extern MouseClickStateRecord MouseClickState;

// The tool's face name for every font (cp932).
extern const char* const PageFontFace;

// A press this frame inside a rectangle of the current page (the page origin is added), or inside a
// rectangle in window coordinates. The control that acts clears PressEvent itself.
bool IsPressInPageRect(const Rect& rect);
bool IsPressInWindowRect(const Rect& rect);
bool IsPointerInPageRect(const Rect& rect);

// The work that must be done before the program's entry, in this order: captions of the mouse
// buttons, key names, default settings, the load page's layout and "save" folder, the button
// converter's state, "system.data" (which also forbids closing by the close box).
void RunStaticInitialisers();

// Everything of the program's entry after the static initialisers: -1 when the library does not
// start, else 0 after the main loop ended.
int RunApplication();
// Its first half: the library started and the screens, colours, pages and fonts made (-1 when the
// library does not start). The benchmarks drive the frames themselves after it.
int StartApplication();

void CreateScreens();
void RedrawBackgroundLayers(int32_t hidden);

// Steps 2 of the frame's click state: events from the left button's state this frame.
void UpdateClickState(uint8_t down, int32_t x, int32_t y);

// How one frame waits and presents.
struct FramePacingRow {
    int32_t SleepMilliseconds;  // slept first
    int32_t FrameMicroseconds;  // then waited until this much time passed since the last paced frame
    uint8_t EverySecondFrame;   // 1: present only every second frame
};
// The row of a FrameRateType; a value outside 0 to 4 (a damaged file) takes the default rate.
FramePacingRow FramePacing_ForRate(int32_t frameRateType);
// The row in vertical-blank mode when the wait for the vertical blank returns at once: the
// display's refresh rate, every second frame presented.
FramePacingRow FramePacing_ForRefreshRate(int32_t refreshRate);

// The layers put together on the composite screen and drawn to the back screen, when they changed.
void ComposeFrame();
// Composes, paces and presents one frame.
void EndFrame();

// One pass of the loop after the pump: 0 to go on, -1 to end (the frame was not finished).
int RunFrame();
// The loop: runs while the pump reports 0 and the pages do not ask to end; then releases
// whatever the converters hold.
void RunMainLoop();

// Seams of the loop: the message pump, the present and the clock (the library's by default).
extern int (*AppMain_Pump)();
extern int (*AppMain_Present)();
extern uint64_t (*AppMain_Clock)();
// Counts of this run, for the figures of the benchmark and the tests.
extern uint64_t AppMain_FrameCount;
extern uint64_t AppMain_PresentCount;

}  // namespace Qelvar
