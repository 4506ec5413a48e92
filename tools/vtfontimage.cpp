// vtfontimage: makes the built-in 8 x 16 font of the font module from a PCF bitmap font (the
// public-domain misc-fixed 8x16 face of Debian's xfonts-base, unpacked): a 128 x 128 BMP image with
// characters 0-127 as 8 x 16 cells in 16 columns and 8 rows, white ink on (255, 0, 255), LZ-packed as
// size-prefixed Base64 text; and the glyph-less "FNTF" font data whose metrics suit those cells.
// Usage: vtfontimage FONT.pcf OUTPUT.inc
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/VtaEncode.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int CellWidth = 8, CellHeight = 16, Columns = 16, Rows = 8;

// One table of a PCF file: its format word and where it lies.
struct PcfTable {
    uint32_t Type = 0, Format = 0, Size = 0, Offset = 0;
};

enum : uint32_t { PcfAccelerators = 2, PcfMetrics = 4, PcfBitmaps = 8, PcfEncodings = 32 };
enum : uint32_t { PcfByteMsb = 1u << 2, PcfBitMsb = 1u << 3, PcfCompressedMetrics = 0x100 };

struct Reader {
    const Bytes& Data;
    size_t At;
    bool BigEndian;
    bool Failed = false;

    uint32_t Get(int bytes) {
        if (At + bytes > Data.size()) {
            Failed = true;
            return 0;
        }
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint32_t b = Data[At + i];
            value |= BigEndian ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
        }
        At += bytes;
        return value;
    }
    int32_t Int32() { return int32_t(Get(4)); }
    int16_t Int16() { return int16_t(Get(2)); }
};

struct Glyph {
    int Left = 0, Right = 0, Width = 0, Ascent = 0, Descent = 0;
};

bool ReadFile(const char* path, Bytes& out) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) out.insert(out.end(), buffer, buffer + got);
    fclose(file);
    return true;
}

// Draws characters 0-127 of the face into cells (ink 1) of a 128 x 128 map; false when the file is
// not a PCF font this tool reads.
bool DrawFace(const Bytes& file, std::vector<uint8_t>& ink) {
    if (file.size() < 8 || memcmp(file.data(), "\1fcp", 4) != 0) return false;
    Reader header{file, 4, false};
    const int count = header.Int32();
    PcfTable accelerators, metrics, bitmaps, encodings;
    for (int i = 0; i < count; ++i) {
        PcfTable table;
        table.Type = header.Get(4), table.Format = header.Get(4), table.Size = header.Get(4), table.Offset = header.Get(4);
        if (table.Type == PcfAccelerators) accelerators = table;
        if (table.Type == PcfMetrics) metrics = table;
        if (table.Type == PcfBitmaps) bitmaps = table;
        if (table.Type == PcfEncodings) encodings = table;
    }
    if (header.Failed || metrics.Type == 0 || bitmaps.Type == 0 || encodings.Type == 0) return false;
    auto open = [&](const PcfTable& table) {
        Reader reader{file, table.Offset, false};
        const uint32_t format = reader.Get(4);
        reader.BigEndian = (format & PcfByteMsb) != 0;
        return reader;
    };

    int fontAscent = 12;
    if (accelerators.Type != 0) {
        Reader reader = open(accelerators);
        reader.At += 8;  // flags and padding
        fontAscent = reader.Int32();
    }

    Reader metricReader = open(metrics);
    const uint32_t metricFormat = file[metrics.Offset] | file[metrics.Offset + 1] << 8;
    const bool compressed = (metricFormat & PcfCompressedMetrics) != 0;
    const int glyphCount = compressed ? metricReader.Int16() : metricReader.Int32();
    std::vector<Glyph> glyphs(glyphCount > 0 ? glyphCount : 0);
    for (Glyph& glyph : glyphs) {
        if (compressed) {
            glyph.Left = int(metricReader.Get(1)) - 0x80, glyph.Right = int(metricReader.Get(1)) - 0x80;
            glyph.Width = int(metricReader.Get(1)) - 0x80, glyph.Ascent = int(metricReader.Get(1)) - 0x80;
            glyph.Descent = int(metricReader.Get(1)) - 0x80;
        } else {
            glyph.Left = metricReader.Int16(), glyph.Right = metricReader.Int16(), glyph.Width = metricReader.Int16();
            glyph.Ascent = metricReader.Int16(), glyph.Descent = metricReader.Int16();
            metricReader.Get(2);
        }
    }

    Reader bitmapReader = open(bitmaps);
    const uint32_t bitmapFormat = file[bitmaps.Offset] | file[bitmaps.Offset + 1] << 8;
    const int pad = 1 << (bitmapFormat & 3), unit = 1 << ((bitmapFormat >> 4) & 3);
    const bool byteMsb = (bitmapFormat & PcfByteMsb) != 0, bitMsb = (bitmapFormat & PcfBitMsb) != 0;
    const int bitmapCount = bitmapReader.Int32();
    std::vector<uint32_t> offsets(bitmapCount > 0 ? bitmapCount : 0);
    for (uint32_t& offset : offsets) offset = bitmapReader.Get(4);
    uint32_t sizes[4];
    for (uint32_t& size : sizes) size = bitmapReader.Get(4);
    const size_t bitmapStart = bitmapReader.At;

    Reader encodingReader = open(encodings);
    const int minLow = encodingReader.Int16(), maxLow = encodingReader.Int16();
    const int minHigh = encodingReader.Int16(), maxHigh = encodingReader.Int16();
    encodingReader.Int16();  // default character
    std::vector<int> glyphOf(128, -1);
    for (int high = minHigh; high <= maxHigh; ++high)
        for (int low = minLow; low <= maxLow; ++low) {
            const int index = uint16_t(encodingReader.Int16());
            const int code = high << 8 | low;
            if (code < 128 && index != 0xFFFF) glyphOf[code] = index;
        }
    if (metricReader.Failed || bitmapReader.Failed || encodingReader.Failed || bitmapStart + sizes[bitmapFormat & 3] > file.size())
        return false;

    ink.assign(128 * 128, 0);
    for (int code = 0; code < 128; ++code) {
        const int index = glyphOf[code];
        if (index < 0 || index >= int(glyphs.size()) || index >= int(offsets.size())) continue;
        const Glyph& glyph = glyphs[index];
        const int width = glyph.Right - glyph.Left, height = glyph.Ascent + glyph.Descent;
        const int rowBytes = (width + 8 * pad - 1) / (8 * pad) * pad;
        const size_t start = bitmapStart + offsets[index];
        const int cellX = code % Columns * CellWidth, cellY = code / Columns * CellHeight;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                size_t byte = size_t(y) * rowBytes + x / 8;
                // Bytes of a scan unit stored in the other order than the bits run.
                if (unit > 1 && byteMsb != bitMsb) byte = byte / unit * unit + (unit - 1 - byte % unit);
                if (start + byte >= file.size()) return false;
                const int bit = bitMsb ? 7 - x % 8 : x % 8;
                if (!((file[start + byte] >> bit) & 1)) continue;
                const int px = glyph.Left + x, py = fontAscent - glyph.Ascent + y;
                if (px < 0 || px >= CellWidth || py < 0 || py >= CellHeight) continue;
                ink[size_t(cellY + py) * 128 + cellX + px] = 1;
            }
    }
    return true;
}

// A 24-bit bottom-up BMP of the ink map: white ink on (255, 0, 255).
Bytes MakeBmp(const std::vector<uint8_t>& ink) {
    const int side = 128, pitch = side * 3;
    Bytes out;
    auto put16 = [&](uint32_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    out.push_back('B'), out.push_back('M');
    put32(54 + pitch * side), put32(0), put32(54);
    put32(40), put32(side), put32(side), put16(1), put16(24), put32(0), put32(pitch * side);
    put32(2835), put32(2835), put32(0), put32(0);
    for (int y = side - 1; y >= 0; --y)
        for (int x = 0; x < side; ++x) {
            const bool on = ink[size_t(y) * side + x] != 0;
            out.push_back(255), out.push_back(on ? 255 : 0), out.push_back(255);  // blue, green, red
        }
    return out;
}

// The glyph-less font data: plain header, then the packed rest of the header (face name, metrics
// of 8 x 16 cells drawn from the top of the line, one bit per pixel, no glyphs, no kerning pairs).
Bytes MakeFontData() {
    Bytes rest(412 - 24, 0);
    const char16_t face[] = u"Vantrel Fixed 8x16";
    for (size_t i = 0; face[i] != 0; ++i) rest[2 * i] = uint8_t(face[i]), rest[2 * i + 1] = uint8_t(face[i] >> 8);
    auto put16 = [&](int offset, int value) {
        rest[offset - 24] = uint8_t(value);
        rest[offset - 24 + 1] = uint8_t(value >> 8);
    };
    put16(280, 4);        // thickness
    put16(282, 16);       // size
    put16(284, 16);       // height
    put16(286, 0);        // vertical offset
    put16(290, 16);       // cell size
    put16(292, 0);        // char set: default
    put16(294, 0xFFFF);   // code page: the library's default
    put16(296, 12);       // ascent
    rest[344 - 24] = 0;   // one bit per pixel
    const VtaPack::Bytes packed = VtaPack::LzPack(rest.data(), rest.size());
    Bytes out = {'F', 'N', 'T', 'F', 1, 0, 0, 0};
    const uint32_t total = uint32_t(24 + packed.size());
    for (uint32_t v : {total, 0u, 0u, 0u})
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: vtfontimage FONT.pcf OUTPUT.inc\n");
        return 2;
    }
    Bytes file;
    std::vector<uint8_t> ink;
    if (!ReadFile(argv[1], file) || !DrawFace(file, ink)) {
        fprintf(stderr, "vtfontimage: %s is not a PCF font this tool reads\n", argv[1]);
        return 1;
    }
    const Bytes bmp = MakeBmp(ink);
    const VtaPack::Bytes packed = VtaPack::LzPack(bmp.data(), bmp.size());
    const std::string text = VtaPack::Base64Encode(packed.data(), packed.size());
    const Bytes data = MakeFontData();

    std::string out = "// Made by tools/vtfontimage from the misc-fixed 8x16 face; do not edit.\n";
    out += "static const unsigned char FontBuiltin_FontData[" + std::to_string(data.size()) + "] = {";
    for (size_t i = 0; i < data.size(); ++i) out += (i % 16 ? " " : "\n    ") + std::to_string(data[i]) + ",";
    out += "\n};\nstatic const char FontBuiltin_ImageText[] =";
    for (size_t i = 0; i < text.size(); i += 96) out += "\n    \"" + text.substr(i, 96) + "\"";
    out += ";\n";
    FILE* output = fopen(argv[2], "wb");
    if (output == nullptr || fwrite(out.data(), 1, out.size(), output) != out.size() || fclose(output) != 0) {
        fprintf(stderr, "vtfontimage: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
