// The tool started with no graphics device shows its layers in the window: a gradient background
// picture, the tab column with its darkened squares and outlined tabs, the page with its darkened
// panel and outlined frame, read back from the window through GDI at the places the tool puts them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/app/ToolProcess.h"
#include "tests/system/WindowReadBack.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"

namespace QelvarTest {
namespace {

constexpr int Width = 860, Height = 560;

// The background picture's pixel (x, y) as 0x00RRGGBB: different at every place of the window.
uint32_t Picture(int x, int y) {
    return static_cast<uint32_t>(x & 0xFF) << 16 | static_cast<uint32_t>(y & 0xFF) << 8 |
           static_cast<uint32_t>((x >> 8) << 6 | (y >> 8) << 4 | 0x08);
}

// The colour under black drawn at alpha 153: each channel x 102 / 255, rounded.
uint32_t Darkened(uint32_t colour) {
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c)
        out |= static_cast<uint32_t>(std::lround(((colour >> (8 * c)) & 0xFF) * 102 / 255.0)) << (8 * c);
    return out;
}

// A 24-bit BMP of the picture (the tool's loader recognises the file by its contents).
std::vector<uint8_t> PictureFile() {
    const int pitch = Width * 3;
    std::vector<uint8_t> file(54 + static_cast<size_t>(pitch) * Height, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&file[at], &v, 4); };
    file[0] = 'B', file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, Width);
    put32(22, Height);
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const uint32_t c = Picture(x, y);
            uint8_t* p = &file[54 + static_cast<size_t>(Height - 1 - y) * pitch + static_cast<size_t>(x) * 3];
            p[0] = c & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = (c >> 16) & 0xFF;
        }
    return file;
}

struct Expected {
    const char* What;
    int X, Y;
    uint32_t Colour;
};

}  // namespace

// Starts the tool over the background picture (with no device: Direct3D switched off for it) and reads
// its layers back from the window.
void ExpectLayersInPlace(bool noDevice) {
    ToolRun run;
    ASSERT_TRUE(PrepareToolFolder(run, BuildFolder(1), L"qelvar-layers-run", 1, 1));
    CreateDirectoryW((run.Folder + L"picture").c_str(), nullptr);
    const std::vector<uint8_t> picture = PictureFile();
    ASSERT_TRUE(WriteBytes(run.Folder + L"picture\\backscreen.jpg", picture.data(), picture.size()));
    // No Direct3D for the tool: it draws without a device.
    if (noDevice) SetEnvironmentVariableW(L"WINEDLLOVERRIDES", L"d3d11,d3d9,dxgi=d");
    const bool started = StartTool(run);
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", nullptr);
    ASSERT_TRUE(started) << "qelvar.exe did not show its window";

    const uint32_t cyan = 0x00F5F5, light = 0xE6E6E6;
    const std::vector<Expected> places = {
        {"tab column beside the tabs", 5, 5, Picture(5, 5)},
        {"tab column between two tabs", 60, 115, Picture(60, 115)},
        {"tab column below the last tab", 60, 555, Picture(60, 555)},
        {"inside a tab's dark square", 20, 130, Darkened(Picture(20, 130))},
        {"inside the last tab's square", 95, 545, Darkened(Picture(95, 545))},
        {"current tab's outline", 10, 10, cyan},
        {"current tab's outline, right edge", 109, 60, cyan},
        {"another tab's outline", 10, 120, light},
        {"another tab's outline, bottom", 60, 219, light},
        {"page above the panel", 300, 5, Picture(300, 5)},
        {"page right of the panel", 855, 300, Picture(855, 300)},
        {"page below the panel", 300, 555, Picture(300, 555)},
        {"panel", 700, 300, Darkened(Picture(700, 300))},
        {"panel near its corner", 845, 545, Darkened(Picture(845, 545))},
        {"frame's left edge", 120, 300, cyan},
        {"frame's top edge", 500, 10, cyan},
        {"frame's right edge", 849, 300, cyan},
        {"frame's bottom edge", 500, 549, cyan},
    };
    std::vector<uint32_t> shown;
    bool all = false;
    for (int waited = 0; waited < 10000 && !all; waited += 100) {
        shown = WindowTest::ReadWindowPixels(run.Window, Width, Height);
        all = true;
        for (const Expected& e : places) all = all && shown[static_cast<size_t>(e.Y) * Width + e.X] == e.Colour;
        if (!all) Sleep(100);
    }
    for (const Expected& e : places)
        EXPECT_EQ(shown[static_cast<size_t>(e.Y) * Width + e.X], e.Colour)
            << e.What << " at (" << e.X << ", " << e.Y << ")" << std::hex;

    PostMessageW(run.Window, WM_CLOSE, 0, 0);
    FinishTool(run, 5000);
}

TEST(ToolWindowLayers, NoDeviceWindowShowsBackgroundTabColumnPanelAndBoxesInPlace) { ExpectLayersInPlace(true); }

TEST(ToolWindowLayers, Direct3D11WindowShowsBackgroundTabColumnPanelAndBoxesInPlace) {
    // The tool is built with the same library: its start-up uses Direct3D 11 only when built to.
    if (!Vantrel::Graphics_D3D11_IsDeviceEnabled()) GTEST_SKIP() << "built with -DVT_D3D11_DEVICE=OFF";
    ExpectLayersInPlace(false);
}

}  // namespace QelvarTest
