// vticon: writes the tool's window icon (a game pad: a rounded body, a cross on the left, two buttons on
// the right) as an .ico file with 32 x 32 and 16 x 16 images in 32-bit colour with alpha.
// Usage: vticon OUTPUT.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Colour { float r, g, b, a; };

// The colour of one point of the unit square (x, y in 0..1, y down); alpha 0 outside the pad.
Colour Shade(float x, float y) {
    auto inCircle = [](float px, float py, float cx, float cy, float r) {
        return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
    };
    // Body: a bar between two round grips.
    const bool body = (x >= 0.22f && x <= 0.78f && y >= 0.28f && y <= 0.72f) ||
                      inCircle(x, y, 0.26f, 0.50f, 0.22f) || inCircle(x, y, 0.74f, 0.50f, 0.22f);
    if (!body) return {0, 0, 0, 0};
    const bool crossH = x >= 0.14f && x <= 0.38f && y >= 0.45f && y <= 0.55f;
    const bool crossV = x >= 0.21f && x <= 0.31f && y >= 0.38f && y <= 0.62f;
    if (crossH || crossV) return {0.96f, 0.96f, 0.96f, 1};
    if (inCircle(x, y, 0.70f, 0.42f, 0.065f)) return {0.90f, 0.25f, 0.25f, 1};
    if (inCircle(x, y, 0.80f, 0.55f, 0.065f)) return {0.25f, 0.75f, 0.35f, 1};
    const float shade = 0.85f + 0.15f * (1.0f - y);
    return {0.22f * shade, 0.32f * shade, 0.58f * shade, 1};
}

// One image as the icon resource stores it: a BITMAPINFOHEADER of double height, bottom-up BGRA rows,
// then the 1-bit mask (all clear: the alpha channel decides).
std::vector<uint8_t> Image(int size) {
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
    auto put16 = [&](uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
    put32(40); put32(uint32_t(size)); put32(uint32_t(size * 2)); put16(1); put16(32);
    put32(0); put32(0); put32(0); put32(0); put32(0); put32(0);
    const int samples = 4;
    for (int row = size - 1; row >= 0; --row) {
        for (int col = 0; col < size; ++col) {
            float r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = Shade((col + (sx + 0.5f) / samples) / size, (row + (sy + 0.5f) / samples) / size);
                    r += c.r * c.a; g += c.g * c.a; b += c.b * c.a; a += c.a;
                }
            const float n = float(samples * samples);
            const float alpha = a / n;
            auto channel = [&](float premultiplied) {
                return uint8_t(alpha > 0 ? std::lround(255.0f * premultiplied / a) : 0);
            };
            out.push_back(channel(b)); out.push_back(channel(g)); out.push_back(channel(r));
            out.push_back(uint8_t(std::lround(255.0f * alpha)));
        }
    }
    const int maskPitch = ((size + 31) / 32) * 4;
    out.insert(out.end(), size_t(maskPitch) * size, 0);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) { std::fprintf(stderr, "usage: vticon OUTPUT.ico\n"); return 2; }
    const int sizes[] = {32, 16};
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes) images.push_back(Image(size));
    std::vector<uint8_t> file;
    auto put16 = [&](uint16_t v) { file.push_back(uint8_t(v)); file.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    put16(0); put16(1); put16(uint16_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file.push_back(uint8_t(sizes[i])); file.push_back(uint8_t(sizes[i])); file.push_back(0); file.push_back(0);
        put16(1); put16(32); put32(uint32_t(images[i].size())); put32(offset);
        offset += uint32_t(images[i].size());
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) { std::perror(argv[1]); return 1; }
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return (std::fclose(f) == 0 && ok) ? 0 : 1;
}
