// Caption boxes, centred captions, gauges, the capture overlay and the scroll-bar geometry of the pages.
// Stands on the graphics draw calls, the font module's formatted text and the tool's colours.
#include "app/DrawHelpers.h"

#include "font/VtFontDraw.h"
#include "graphics/VtGraphicsDraw.h"
#include "app/AppMain.h"

namespace Qelvar {

using namespace Vantrel;

int DrawCaptionCentred(int x, int y, int width, int height, const char* caption, unsigned int color)
{
    // The captions are program texts, numbers and key names; none holds a "%".
    const int textWidth = GetFormattedTextWidth(caption);
    DrawFormattedText(x + width / 2 - textWidth / 2 - 1, y + height / 2 - 10, color, "%s", caption);
    return 0;
}

void RedrawIfMarked(int32_t& redraw, void (*draw)())
{
    if (!redraw) return;
    draw();
    redraw = 0;
    ScreenLayers.LayersChanged = 1;
}

int DrawCaptionBox(int x, int y, int width, int height, const char* caption, unsigned int color)
{
    DrawRectangle(x, y, x + width, y + height, color, 0, 1);
    return DrawCaptionCentred(x, y, width, height, caption, color);
}

int DrawCaptionBoxWithFont(int x, int y, int width, int height, const char* caption, int fontHandle,
                           unsigned int color)
{
    DrawRectangle(x, y, x + width, y + height, color, 0, 1);
    int size = 0;
    GetFontParamsToHandle(nullptr, &size, nullptr, fontHandle, nullptr, nullptr, nullptr, nullptr);
    const int textWidth = GetFormattedTextWidthToHandle(fontHandle, caption);
    DrawFormattedTextToHandle(x + width / 2 - textWidth / 2 - 1, y + height / 2 - size / 2, color, fontHandle, "%s",
                              caption);
    return 0;
}

}  // namespace Qelvar

namespace Qelvar {

using namespace Vantrel;

int DrawGauge(int x, int y, int width, int height, int segmentCount, int value, float segmentWidth)
{
    for (int i = 0; i < segmentCount; ++i) {
        const float left = static_cast<float>(x) + static_cast<float>(i) * segmentWidth;
        DrawRectangle(static_cast<int>(left + 2.0f), y + 2, static_cast<int>(left + segmentWidth - 2.0f), y + height - 2,
                      i < value ? ColorCyan : ColorLight, 1, 1);
    }
    DrawFormattedText(x + width - 40, y - 20, ColorLight, "%3d%%", value * 5);
    return 0;
}

void DrawCaptureOverlay(const char* request)
{
    const int x = 110 + 620 / 2 - 200;
    const int y = 10 + 540 / 2 - 100;
    DrawRectangle(x, y, x + 400, y + 200, ColorBlack, 1, 1);
    DrawRectangle(x, y, x + 400, y + 200, ColorCyan, 0, 1);
    DrawFormattedText(x + 50, y + 50, ColorLight, "%s", request);
    DrawFormattedText(x + 50, y + 100, ColorLight, "%s", "入力待機中...");
}

ScrollBarState ComputeScrollBar(int x, int y, int trackLength, int visibleLength, int contentLength, int position,
                                uint8_t flag)
{
    ScrollBarState bar = {};
    bar.X = x;
    bar.Y = y;
    bar.BarWidth = 20;
    bar.TrackLength = trackLength;
    if (contentLength == 0 || contentLength <= visibleLength) {
        bar.State = -1;
        bar.Position = 0;
        return bar;
    }
    bar.Flag = flag;
    bar.State = 0;
    bar.ThumbWidth = 20;
    bar.VisibleLength = visibleLength;
    bar.LargestPosition = contentLength - visibleLength;
    bar.Position = position < 0 ? 0 : (position > bar.LargestPosition ? bar.LargestPosition : position);
    bar.ThumbLength = static_cast<int32_t>(static_cast<int64_t>(trackLength) * visibleLength / contentLength);
    bar.FreeTravel = trackLength - bar.ThumbLength;
    bar.ThumbOffset = static_cast<int32_t>(static_cast<int64_t>(bar.FreeTravel) * bar.Position / bar.LargestPosition);
    return bar;
}

}  // namespace Qelvar
