// Small graph draws without a device against the same drawing done with GDI, in the same run: a
// frame is 10,000 draws of a 16 x 16 picture at scattered places of an 860 x 560 screen, opaque
// (DrawGraphAt without transparency against StretchBlt at 1:1 from a memory DC) and with per-pixel
// alpha (DrawGraphAt with transparency against AlphaBlend from a premultiplied DIB section). The
// presentation is left out on both sides. Prints frames per second and the ratio library / GDI.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics/VtGraphicsScreen.h"
#include "image/VtBaseImage.h"
#include "system/VtSystem.h"
#include "system/VtWindowSettings.h"
#include "tests/system/WindowReadBack.h"

using namespace Vantrel;

namespace {

constexpr int ScreenWidth = 860, ScreenHeight = 560;
constexpr int Sprite = 16;
constexpr int DrawsPerFrame = 10000;

double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Frames per second over frames drawn for at least a second: the best of three such runs.
double FramesPerSecond(const std::function<void()>& frame) {
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        int frames = 0;
        const double start = Now();
        double elapsed = 0;
        do {
            frame();
            ++frames;
            elapsed = Now() - start;
        } while (elapsed < 1.0);
        const double fps = frames / elapsed;
        if (fps > best) best = fps;
    }
    return best;
}

struct Place {
    int X, Y;
};

std::vector<Place> Places() {
    std::vector<Place> places(DrawsPerFrame);
    uint32_t seed = 12345;
    for (Place& p : places) {
        seed = seed * 1103515245u + 12345u;
        p.X = static_cast<int>((seed >> 8) % (ScreenWidth - Sprite));
        seed = seed * 1103515245u + 12345u;
        p.Y = static_cast<int>((seed >> 8) % (ScreenHeight - Sprite));
    }
    return places;
}

// The sprite: a colour ramp whose alpha runs from clear at the rim to solid in the middle.
uint32_t SpritePixel(int x, int y) {
    const int edge = std::min(std::min(x, Sprite - 1 - x), std::min(y, Sprite - 1 - y));
    const uint32_t alpha = edge >= 4 ? 255u : static_cast<uint32_t>(edge * 64);
    return alpha << 24 | static_cast<uint32_t>(x * 16) << 16 | static_cast<uint32_t>(y * 16) << 8 | 0x80;
}

}  // namespace

int main() {
    SetScreenResolution(ScreenWidth, ScreenHeight, 32, 60);
    ChangeWindowMode(1);
    SetWaitVSyncEnable(0);
    SetRunWhileInactive(1);
    SetHardwareGraphicsEnable(0);
    if (InitializeLibrary() != 0) {
        printf("InitializeLibrary failed\n");
        return 1;
    }
    SelectDrawScreen(DRAW_SCREEN_BACK);
    const std::vector<Place> places = Places();

    BaseImage image;
    BaseImage_CreateARGB8(Sprite, Sprite, &image);
    for (int y = 0; y < Sprite; ++y)
        for (int x = 0; x < Sprite; ++x)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image.pixels) + y * image.pitch)[x] = SpritePixel(x, y);
    const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
    BaseImage_Release(&image);
    if (graph < 0) {
        printf("the sprite graph could not be made\n");
        return 1;
    }

    // GDI: a screen-sized DIB section and the sprite as a premultiplied DIB section, each in a memory DC.
    const HDC screenDC = GetDC(nullptr);
    void* targetBits = nullptr;
    void* spriteBits = nullptr;
    const HDC targetDC = CreateCompatibleDC(screenDC), spriteDC = CreateCompatibleDC(screenDC);
    const HBITMAP target = WindowTest::MakeDibSection(screenDC, ScreenWidth, ScreenHeight, &targetBits);
    const HBITMAP sprite = WindowTest::MakeDibSection(screenDC, Sprite, Sprite, &spriteBits);
    for (int y = 0; y < Sprite; ++y)
        for (int x = 0; x < Sprite; ++x) {
            const uint32_t p = SpritePixel(x, y), a = p >> 24;
            uint32_t premultiplied = a << 24;
            for (int c = 0; c < 3; ++c) premultiplied |= (((p >> (8 * c)) & 0xFF) * a / 255) << (8 * c);
            static_cast<uint32_t*>(spriteBits)[y * Sprite + x] = premultiplied;
        }
    const HGDIOBJ oldTarget = SelectObject(targetDC, target);
    const HGDIOBJ oldSprite = SelectObject(spriteDC, sprite);
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // AlphaBlend lives in msimg32.dll, which nothing else of the program links.
    typedef BOOL(WINAPI * AlphaBlendProc)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
    const AlphaBlendProc alphaBlend =
        reinterpret_cast<AlphaBlendProc>(GetProcAddress(LoadLibraryW(L"msimg32.dll"), "AlphaBlend"));
    if (alphaBlend == nullptr) {
        printf("AlphaBlend is not available\n");
        return 1;
    }

    auto libraryFrame = [&](int transparent) {
        ClearDrawScreen();
        for (const Place& p : places) DrawGraphAt(p.X, p.Y, graph, transparent);
    };
    auto gdiFrame = [&](bool alpha) {
        PatBlt(targetDC, 0, 0, ScreenWidth, ScreenHeight, BLACKNESS);
        for (const Place& p : places) {
            if (alpha)
                alphaBlend(targetDC, p.X, p.Y, Sprite, Sprite, spriteDC, 0, 0, Sprite, Sprite, blend);
            else
                StretchBlt(targetDC, p.X, p.Y, Sprite, Sprite, spriteDC, 0, 0, Sprite, Sprite, SRCCOPY);
        }
        GdiFlush();
    };

    printf("%d draws of a %d x %d graph a frame, no device, %d x %d screen\n", DrawsPerFrame, Sprite, Sprite,
           ScreenWidth, ScreenHeight);
    const double libraryOpaque = FramesPerSecond([&] { libraryFrame(0); });
    const double gdiOpaque = FramesPerSecond([&] { gdiFrame(false); });
    const double libraryAlpha = FramesPerSecond([&] { libraryFrame(1); });
    const double gdiAlpha = FramesPerSecond([&] { gdiFrame(true); });
    printf("opaque:      library %8.1f fps   GDI StretchBlt %8.1f fps   ratio %.2f\n", libraryOpaque, gdiOpaque,
           libraryOpaque / gdiOpaque);
    printf("alpha blend: library %8.1f fps   GDI AlphaBlend %8.1f fps   ratio %.2f\n", libraryAlpha, gdiAlpha,
           libraryAlpha / gdiAlpha);

    SelectObject(targetDC, oldTarget);
    SelectObject(spriteDC, oldSprite);
    DeleteObject(target);
    DeleteObject(sprite);
    DeleteDC(targetDC);
    DeleteDC(spriteDC);
    ReleaseDC(nullptr, screenDC);
    DeleteGraph(graph);
    TerminateLibrary();
    return 0;
}
