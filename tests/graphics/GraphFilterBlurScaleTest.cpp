// Gaussian blur, down-scale and bicubic resampling against direct double-precision computations,
// within 1 per channel, with the kernel and edge values the blur is known for.
#include <cmath>
#include <vector>

#include "GraphFilterFixture.h"

namespace GraphFilterTest {
namespace {

class GraphFilterBlurScale : public GraphFilterFixture {};

// The blur in doubles: paired taps, 16.16 weights, edge pixels repeated, the horizontal result held as a byte
// between the passes as the 8-bit work image holds it (truncated).
std::vector<double> BlurReference(int width, int height, int taps, double strength)
{
    const int n = taps / 2;
    std::vector<double> w(n);
    double sum = 0;
    for (int k = 0; k < n; k++) {
        w[k] = std::exp(-0.5 * k * k / strength);
        sum += k == 0 ? w[k] : 2 * w[k];
    }
    for (double& v : w) v = std::floor(v / sum * 65536.0) / 65536.0;  // the 16.16 weights
    auto at = [](int i, int count) { return i < 0 ? 0 : i >= count ? count - 1 : i; };
    std::vector<double> mid(width * height * 4);
    std::vector<double> out(width * height * 4);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 4; c++) {
                auto p = [&](int j) { return Byte(Varied(at(x + j, width), y), c); };
                double v = w[0] * p(0);
                for (int k = 1; k < n; k++) v += w[k] * (p(-(2 * k - 1)) + p(-2 * k) + p(2 * k - 1) + p(2 * k)) / 2;
                mid[(y * width + x) * 4 + c] = std::floor(v);
            }
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 4; c++) {
                auto p = [&](int j) { return mid[(at(y + j, height) * width + x) * 4 + c]; };
                double v = w[0] * p(0);
                for (int k = 1; k < n; k++) v += w[k] * (p(-(2 * k - 1)) + p(-2 * k) + p(2 * k - 1) + p(2 * k)) / 2;
                out[(y * width + x) * 4 + c] = v;
            }
    return out;
}

TEST_F(GraphFilterBlurScale, GaussAgainstDoubles)
{
    struct Case { int width, height, pixelWidth, strength; };
    const Case cases[] = {{16, 16, 8, 100}, {13, 9, 16, 250}, {16, 5, 32, 400}, {1, 12, 8, 300}, {12, 1, 16, 100}};
    for (const Case& c : cases) {
        const int source = MakeGraph(c.width, c.height, Varied);
        const int out = MakeSolid(c.width, c.height, 0);
        ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindGauss, c.pixelWidth, c.strength));
        const std::vector<double> expected =
            BlurReference(c.width, c.height, GraphFilter_GaussTapCount(c.pixelWidth), c.strength / 100.0);
        for (int y = 0; y < c.height; y++)
            for (int x = 0; x < c.width; x++)
                for (int ch = 0; ch < 4; ch++)
                    // The byte the exact blur truncates to, within 1 (the fixed-point weights sum a
                    // little below 1, so the filter never comes out above it).
                    ASSERT_NEAR(std::floor(expected[(y * c.width + x) * 4 + ch]), Byte(Pixel(out, x, y), ch), 1.0)
                        << c.width << "x" << c.height << " at " << x << "," << y << " channel " << ch;
    }
}

TEST_F(GraphFilterBlurScale, GaussKernelAndEdges)
{
    const float* kernel = GraphFilter_GaussKernel(8, 1.0f);
    const int expected[4] = {26152, 15862, 3539, 290};
    for (int k = 0; k < 4; k++) EXPECT_EQ(expected[k], (int)(kernel[k] * 65536.0f));
    EXPECT_EQ(8, GraphFilter_GaussTapCount(-5));
    EXPECT_EQ(8, GraphFilter_GaussTapCount(8));
    EXPECT_EQ(16, GraphFilter_GaussTapCount(9));
    EXPECT_EQ(32, GraphFilter_GaussTapCount(1000));

    const int white = MakeSolid(10, 10, 0xFFFFFFFF);
    const int out = MakeSolid(10, 10, 0);
    // The weights sum to a little under 65536: each pass loses a little, 255 -> 254 -> 253.
    for (int taps : {8, 16, 32}) {
        ASSERT_EQ(0, FilterGraphToGraph(white, out, GraphFilter_KindGauss, taps, taps == 32 ? 400 : 100));
        EXPECT_EQ(Bgra(253, 253, 253, 253), Pixel(out, 5, 5));
    }
    const int black = MakeSolid(10, 10, 0);
    ASSERT_EQ(0, FilterGraphToGraph(black, out, GraphFilter_KindGauss, 8, 100));
    EXPECT_EQ(0u, Pixel(out, 5, 5));
    // Strength 0 or below copies the source exactly.
    const int picture = MakeGraph(7, 7, Varied);
    for (int strength : {0, -50}) {
        ASSERT_EQ(0, FilterGraphToGraph(picture, out, GraphFilter_KindGauss, 16, strength));
        for (int y = 0; y < 7; y++)
            for (int x = 0; x < 7; x++) ASSERT_EQ(Varied(x, y), Pixel(out, x, y));
    }
}

TEST_F(GraphFilterBlurScale, DownScaleBlockMeans)
{
    for (int divisor : {1, 2, 3, 8}) {
        const int d = GraphFilter_DownScaleDivisor(divisor);
        const int source = MakeGraph(16, 16, Varied);
        const int out = MakeSolid(16, 16, 0x01020304);
        ASSERT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindDownScale, divisor));
        for (int y = 0; y < 16 / d; y++)
            for (int x = 0; x < 16 / d; x++)
                for (int c = 0; c < 4; c++) {
                    double sum = 0;
                    for (int by = 0; by < d; by++)
                        for (int bx = 0; bx < d; bx++) sum += Byte(Varied(x * d + bx, y * d + by), c);
                    ASSERT_NEAR(sum / (d * d), Byte(Pixel(out, x, y), c), 1.0) << d;
                    ASSERT_EQ((int)std::floor(sum / (d * d)), Byte(Pixel(out, x, y), c)) << d;
                }
        if (d > 1) {
            EXPECT_EQ(0x01020304u, Pixel(out, 15, 15));
        }
    }
    EXPECT_EQ(1, GraphFilter_DownScaleDivisor(0));
    EXPECT_EQ(4, GraphFilter_DownScaleDivisor(3));
    EXPECT_EQ(8, GraphFilter_DownScaleDivisor(100));

    // 5 x 3 by 2: a 2 x 1 result from the top-left 4 x 2 pixels.
    const int small = MakeGraph(5, 3, [](int x, int y) { return Bgra(x + 2 * y + 1, 0, 0, 255); });
    const int out = MakeSolid(5, 3, 0);
    ASSERT_EQ(0, FilterGraphToGraph(small, out, GraphFilter_KindDownScale, 2));
    EXPECT_EQ(Bgra((1 + 2 + 3 + 4) >> 2, 0, 0, 255), Pixel(out, 0, 0));
    EXPECT_EQ(0u, Pixel(out, 2, 0));
    // One 255 among sixty-four zeros gives 3.
    const int block = MakeGraph(8, 8, [](int x, int y) { return x == 3 && y == 4 ? 0xFFFFFFFFu : 0u; });
    ASSERT_EQ(0, FilterGraphToGraph(block, out, GraphFilter_KindDownScale, 8));
    EXPECT_EQ(Bgra(3, 3, 3, 3), Pixel(out, 0, 0));
    // In place: the result at the top-left, the rest transparent black.
    const int graph = MakeGraph(16, 16, [](int, int) { return 0xFF808080u; });
    ASSERT_EQ(0, FilterGraph(graph, GraphFilter_KindDownScale, 2));
    EXPECT_EQ(0xFF808080u, Pixel(graph, 7, 7));
    EXPECT_EQ(0u, Pixel(graph, 8, 8));
    EXPECT_EQ(0u, Pixel(graph, 15, 0));
    // A rectangle smaller than the divisor writes nothing.
    const int target = MakeSolid(4, 4, 0x5A5A5A5A);
    ASSERT_EQ(0, FilterGraphRectToGraph(graph, target, 0, 0, 3, 3, 0, 0, GraphFilter_KindDownScale, 4));
    EXPECT_EQ(0x5A5A5A5Au, Pixel(target, 0, 0));
}

TEST_F(GraphFilterBlurScale, BicubicImageAgainstDoubles)
{
    struct Case { int sw, sh, dw, dh; };
    const Case cases[] = {{8, 8, 16, 16}, {16, 12, 5, 7}, {4, 4, 4, 4}, {1, 6, 3, 9}};
    for (const Case& c : cases) {
        BaseImage source, destination;
        ASSERT_EQ(0, BaseImage_CreateARGB8(c.sw, c.sh, &source));
        ASSERT_EQ(0, BaseImage_CreateARGB8(c.dw, c.dh, &destination));
        for (int y = 0; y < c.sh; y++)
            for (int x = 0; x < c.sw; x++) *PixelAt(source, x, y) = Varied(x, y);
        ASSERT_EQ(0, GraphFilter_BicubicImage(&source, &destination));
        auto kernel = [](double x) {
            x = std::fabs(x);
            return x < 1 ? 1.5 * x * x * x - 2.5 * x * x + 1 : x < 2 ? -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2 : 0.0;
        };
        for (int y = 0; y < c.dh; y++)
            for (int x = 0; x < c.dw; x++)
                for (int ch = 0; ch < 4; ch++) {
                    const double u = (x + 0.5) * c.sw / c.dw - 0.5, v = (y + 0.5) * c.sh / c.dh - 0.5;
                    double sum = 0;
                    for (int j = (int)std::floor(v) - 1; j <= (int)std::floor(v) + 2; j++)
                        for (int i = (int)std::floor(u) - 1; i <= (int)std::floor(u) + 2; i++) {
                            const int si = i < 0 ? 0 : i >= c.sw ? c.sw - 1 : i, sj = j < 0 ? 0 : j >= c.sh ? c.sh - 1 : j;
                            sum += kernel(u - i) * kernel(v - j) * Byte(Varied(si, sj), ch);
                        }
                    sum = sum < 0 ? 0 : sum > 255 ? 255 : sum;
                    ASSERT_NEAR(sum, Byte(*PixelAt(destination, x, y), ch), 1.0) << x << "," << y;
                }
        BaseImage_Release(&source);
        BaseImage_Release(&destination);
    }
}

TEST_F(GraphFilterBlurScale, DeviceOnlyKindsChangeNothingInSoftware)
{
    const int source = MakeGraph(8, 8, Varied);
    const int out = MakeSolid(8, 8, 0x12345678);
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindBicubic, 16, 16));
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindLanczos3, -5, 0));
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindFloatColorScale, 1.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0));
    EXPECT_EQ(0, FilterGraphToGraph(source, out, GraphFilter_KindSsao, source, 1.0, 2.0, 3.0, 4.0, 0xFFFFFF, 0.5));
    EXPECT_EQ(0x12345678u, Pixel(out, 3, 3));
}

}  // namespace
}  // namespace GraphFilterTest
