// Sprites on the Direct3D 11 device: a frame is 10,000 draws of one 16 x 16 graph with alpha at
// scattered places of an 860 x 560 screen, then the present. Prints the Draw calls per frame (the goal: one
// per batch of the vertex buffer, 389 quads), the time of the draw calls (our code with the buffer
// writes and the batched Draw calls) and of the present (the flip inside Direct3D) per frame.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "graphics_d3d11/VtGraphicsD3D11Call.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "image/VtBaseImage.h"
#include "system/VtSystem.h"
#include "system/VtWindowSettings.h"

using namespace Vantrel;

namespace {

constexpr int ScreenWidth = 860, ScreenHeight = 560;
constexpr int Sprite = 16;
constexpr int DrawsPerFrame = 10000;
constexpr int Frames = 120;

double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
    Graphics_D3D11_SetDeviceEnabled(1);
    SetScreenResolution(ScreenWidth, ScreenHeight, 32, 60);
    ChangeWindowMode(1);
    SetWaitVSyncEnable(0);
    SetRunWhileInactive(1);
    if (InitializeLibrary() != 0 || GraphicsApi != GRAPHICS_API_D3D11) {
        printf("the library did not start on Direct3D 11\n");
        return 1;
    }
    SelectDrawScreen(DRAW_SCREEN_BACK);
    BaseImage image;
    BaseImage_CreateARGB8(Sprite, Sprite, &image);
    for (int y = 0; y < Sprite; ++y)
        for (int x = 0; x < Sprite; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) + y * image.pitch)[x] =
                (x == 0 || y == 0 ? 0x80u : 0xFFu) << 24 | static_cast<uint32_t>(x * 16) << 16 | static_cast<uint32_t>(y * 16) << 8;
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    if (graph < 0) {
        printf("the sprite graph could not be made\n");
        return 1;
    }
    std::vector<POINT> places(DrawsPerFrame);
    uint32_t seed = 12345;
    for (POINT& p : places) {
        seed = seed * 1103515245u + 12345u;
        p.x = static_cast<LONG>((seed >> 8) % (ScreenWidth - Sprite));
        seed = seed * 1103515245u + 12345u;
        p.y = static_cast<LONG>((seed >> 8) % (ScreenHeight - Sprite));
    }

    double drawing = 0, flipping = 0;
    uint32_t draws = 0;
    for (int frame = 0; frame <= Frames; ++frame) {
        D3D11Call_ResetContextCallCounts();
        const double start = Now();
        ClearDrawScreen();
        for (const POINT& p : places) DrawGraphAt(p.x, p.y, graph, 1);
        const double drawn = Now();
        PresentScreen();
        const double flipped = Now();
        if (frame == 0) continue;   // the first frame makes the state objects
        drawing += drawn - start;
        flipping += flipped - drawn;
        draws += D3D11CallState.ContextCalls[D3D11CALL_Draw] + D3D11CallState.ContextCalls[D3D11CALL_DrawIndexed];
    }
    printf("10,000 sprites of one texture on Direct3D 11, %d frames\n", Frames);
    printf("  Draw calls per frame:        %.1f (one per batch of 389 quads: %d, and the present's copy)\n", (double)draws / Frames,
           (DrawsPerFrame + 388) / 389);
    printf("  draw calls, ms per frame:    %.3f (%.3f us per sprite)\n", drawing * 1000.0 / Frames,
           drawing * 1e6 / Frames / DrawsPerFrame);
    printf("  present, ms per frame:       %.3f\n", flipping * 1000.0 / Frames);
    TerminateLibrary();
    return 0;
}
