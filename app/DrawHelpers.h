// Drawing helpers shared by the tool's pages: caption boxes (the page buttons), a caption centred
// without a box, the segmented gauge, the capture overlay and the scroll-bar geometry.
// Stands on the graphics and font services; draws into whatever screen is selected.
#pragma once
#include <cstdint>

namespace Qelvar {

int DrawCaptionBox(int x, int y, int width, int height, const char* caption, unsigned int color);
int DrawCaptionBoxWithFont(int x, int y, int width, int height, const char* caption, int fontHandle,
                           unsigned int color);
int DrawCaptionCentred(int x, int y, int width, int height, const char* caption, unsigned int color);

// A page marked for redrawing is drawn again, the mark cleared and the screen layers put together anew.
void RedrawIfMarked(int32_t& redraw, void (*draw)());

// value segments lit in ColorCyan, the rest in ColorLight, and "%3d%%" of value x 5 above the right end.
int DrawGauge(int x, int y, int width, int height, int segmentCount, int value, float segmentWidth);

// The box the settings pages show while they wait for a key or a pad button: 400 x 200, centred on
// the sub-page frame (110, 10, 620, 540), with the request and "入力待機中...".
void DrawCaptureOverlay(const char* request);

struct ScrollBarState {
    uint8_t Flag;           // the caller's (the load page: 1 while the thumb is dragged)
    int32_t State;          // 0 the content scrolls, -1 it fits
    int32_t X, Y;
    int32_t BarWidth;       // always 20
    int32_t TrackLength;
    int32_t ThumbWidth;     // always 20
    int32_t ThumbLength;
    int32_t FreeTravel;
    int32_t ThumbOffset;
    int32_t VisibleLength;
    int32_t LargestPosition;
    int32_t Position;
};

// The bar for a content of contentLength seen through visibleLength; position is clamped into the
// scrollable range. Content that fits gives state -1 and position 0 (the thumb fields are then 0).
ScrollBarState ComputeScrollBar(int x, int y, int trackLength, int visibleLength, int contentLength, int position,
                                uint8_t flag);

}  // namespace Qelvar
