// The 17 blend modes on Wine's Direct3D 11 device: a box graph of one colour drawn over stripes of known
// colours with each mode must give, on every stripe, what the mode's blend equation gives (source colour as the mode's
// shader type turns it, blend factors and operation of its row), within 2 of 255 per channel; the modes
// the software road draws as well give its picture within the same bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "../system/WindowTestSupport.h"
#include "D3D11TestSupport.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDraw.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsDrawTarget.h"
#include "graphics/VtGraphicsImage.h"
#include "graphics_d3d11/VtGraphicsD3D11.h"
#include "graphics_d3d11/VtGraphicsD3D11System.h"
#include "image/VtBaseImage.h"

using namespace Vantrel;

namespace {

constexpr int Size = 32, Param = 160, Bound = 2;
const uint32_t Stripes[4] = {0x000000u, 0xFFFFFFu, 0x3C82C8u, 0xC8643Cu};   // 0x00RRGGBB
const uint32_t Colour = 0x1E46C8u;   // 30, 70, 200: times four one channel stays below 255, two clamp

// Factor and operation codes of Direct3D 11.
enum { ZERO = 1, ONE = 2, SRC_COLOR = 3, INV_SRC_COLOR = 4, SRC_ALPHA = 5, INV_SRC_ALPHA = 6, INV_DEST_ALPHA = 8,
       DEST_COLOR = 9, INV_DEST_COLOR = 10 };
enum { ADD = 1, SUBTRACT = 2, REV_SUBTRACT = 3 };

// Per mode: the source colour's shader type (0 as drawn, 1 c a - a + 1, 2 1 - c, 3 4 c), blending on, and the
// colour factors and operation.
struct ModeRow {
    int Mode, Type, Enable, Source, Destination, Operation;
    bool Software;   // drawn the same way by the software road
};
const ModeRow Rows[17] = {
    {0, 0, 0, ONE, ZERO, ADD, true},
    {1, 0, 1, SRC_ALPHA, INV_SRC_ALPHA, ADD, true},
    {2, 0, 1, SRC_ALPHA, ONE, ADD, true},
    {3, 0, 1, SRC_ALPHA, ONE, REV_SUBTRACT, true},
    {4, 0, 1, ZERO, SRC_COLOR, ADD, false},
    {5, 0, 1, SRC_ALPHA, ONE, ADD, true},
    {6, 0, 0, ONE, ZERO, ADD, false},
    {7, 0, 0, ONE, ZERO, ADD, false},
    {8, 0, 1, ZERO, ONE, ADD, false},
    {9, 0, 1, INV_DEST_COLOR, ZERO, ADD, false},
    {10, 2, 1, SRC_ALPHA, INV_SRC_ALPHA, ADD, false},
    {11, 1, 1, ZERO, SRC_COLOR, ADD, false},
    {12, 3, 1, SRC_ALPHA, INV_SRC_ALPHA, ADD, false},
    {13, 3, 1, SRC_ALPHA, ONE, ADD, false},
    {14, 0, 1, ONE, ZERO, ADD, false},
    {15, 0, 1, ONE, INV_SRC_ALPHA, ADD, false},
    {16, 0, 1, SRC_ALPHA, ONE, REV_SUBTRACT, false},
};

int Channel(uint32_t colour, int c) { return (int)(colour >> (16 - 8 * c) & 0xFF); }

// The blend equation of a row for the box colour over destination `d` (destination alpha 1).
uint32_t Expected(const ModeRow& row, uint32_t d) {
    const double a = row.Mode == 0 ? 1.0 : Param / 255.0;
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        const double colour = Channel(Colour, c) / 255.0, dc = Channel(d, c) / 255.0;
        double s = row.Type == 1 ? colour * a - a + 1 : row.Type == 2 ? 1 - colour : row.Type == 3 ? 4 * colour : colour;
        s = std::clamp(s, 0.0, 1.0);   // a unorm target takes the shader's colour saturated
        auto factor = [&](int code) {
            switch (code) {
                case ZERO: return 0.0;
                case ONE: return 1.0;
                case SRC_COLOR: return s;
                case INV_SRC_COLOR: return 1 - s;
                case SRC_ALPHA: return a;
                case INV_SRC_ALPHA: return 1 - a;
                case INV_DEST_ALPHA: return 0.0;
                case DEST_COLOR: return dc;
                case INV_DEST_COLOR: return 1 - dc;
            }
            return -1.0;
        };
        double v = s;
        if (row.Enable) {
            const double left = s * factor(row.Source), right = dc * factor(row.Destination);
            v = row.Operation == ADD ? left + right : row.Operation == SUBTRACT ? left - right : right - left;
        }
        out |= (uint32_t)std::lround(std::clamp(v, 0.0, 1.0) * 255.0) << (16 - 8 * c);
    }
    return out;
}

int Difference(uint32_t a, uint32_t b) {
    int most = 0;
    for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(Channel(a, c) - Channel(b, c)));
    return most;
}

class BlendModeTest : public WindowTest::LibraryTest {
protected:
    void TearDown() override {
        SetBlendModeAndParam(0, 255);
        LibraryTest::TearDown();
        Graphics_D3D11_SetDeviceEnabled(D3D11DeviceEnabledByDefault);
    }

    // A graph of the box colour, without alpha channel (drawn textured, the shader type of the mode's row
    // applies).
    int MakeBoxGraph() {
        BaseImage image = {};
        if (BaseImage_CreateXRGB8(Size, 16, &image) < 0) return -1;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < Size; ++x) memcpy((uint8_t*)image.pixels + (size_t)y * image.pitch + x * 4, &Colour, 4);
        const int graph = MakeGraphFromBaseImage(&image, nullptr, 0);
        BaseImage_Release(&image);
        return graph;
    }

    // The box graph drawn with the mode over the stripes; the centre pixel of each stripe.
    std::vector<uint32_t> Draw(int mode) {
        const int graph = MakeBoxGraph();
        if (graph < 0) return {};
        SetBlendModeAndParam(0, 255);
        for (int i = 0; i < 4; ++i)
            DrawFilledRectangle(i * 8, 0, i * 8 + 8, Size, MakeColorCode(Channel(Stripes[i], 0), Channel(Stripes[i], 1), Channel(Stripes[i], 2)));
        SetBlendModeAndParam(mode, Param);
        DrawGraphAt(0, 8, graph, 0);
        SetBlendModeAndParam(0, 255);
        DeleteGraph(graph);
        const std::vector<uint32_t> screen = D3D11Test::ReadDrawTarget(Size);
        std::vector<uint32_t> centres;
        if (screen.size() != (size_t)(Size * Size)) return centres;
        for (int i = 0; i < 4; ++i) centres.push_back(screen[(size_t)16 * Size + i * 8 + 4]);
        return centres;
    }
};

}  // namespace

// Disabled for now: run in this program after the suites that start the back-end without the library,
// its device start fails and the library suites after it find no Direct3D 11 device.
TEST_F(BlendModeTest, DISABLED_EveryModeGivesItsBlendEquationAndTheSoftwareRoadsPicture) {
    std::vector<uint32_t> software[17];
    D3D11Test::StartLibraryOnRoad(0, Size, Size);
    ASSERT_FALSE(HasFatalFailure());
    for (const ModeRow& row : Rows)
        if (row.Software) software[row.Mode] = Draw(row.Mode);
    TerminateLibrary();

    D3D11Test::StartLibraryOnRoad(1, Size, Size);
    ASSERT_FALSE(HasFatalFailure());
    for (const ModeRow& row : Rows) {
        SCOPED_TRACE(row.Mode);
        const std::vector<uint32_t> device = Draw(row.Mode);
        ASSERT_EQ(device.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_LE(Difference(device[i], Expected(row, Stripes[i])), Bound)
                << "stripe " << i << std::hex << ": got " << device[i] << ", equation " << Expected(row, Stripes[i]);
            if (row.Software) {
                ASSERT_EQ(software[row.Mode].size(), 4u);
                EXPECT_LE(Difference(device[i], software[row.Mode][i]), Bound)
                    << "stripe " << i << std::hex << ": got " << device[i] << ", software road " << software[row.Mode][i];
            }
        }
    }
}
