// The Theora decoder on its own: the index read at creation, seeking and stepping with the
// decode-ahead stock, refusing streams that are no Ogg before allocating anything, the two YUV-to-RGB
// conversions, and damaged copies of a movie (sizes, frame numbers, truncation, bytes changed under
// right checksums), each of which fails with a log line or plays without a crash or a hang.
#include "TheoraTestSupport.h"

#include <random>

#include "foundation/VtStream.h"
#include "image/VtBaseImageStart.h"

using namespace Vantrel;
using namespace TheoraTest;

namespace {

class TheoraDecoderTest : public SoftwareMovieTest {
protected:
    // A decoder over a memory stream of the bytes (kept by the test until the decoder is gone).
    TheoraDecoder* Open(const std::vector<uint8_t>& bytes) {
        stream = File_MemStream_Open(bytes.data(), (uint32_t)bytes.size());
        TheoraDecoder* decoder = Theora_Decoder_Create(File_GetMemStreamOps(), stream, TheoraMovieStockSize, 0, 0);
        if (decoder == nullptr) Close();
        return decoder;
    }
    void Close(TheoraDecoder* decoder = nullptr) {
        Theora_Decoder_Destroy(decoder);
        if (stream != nullptr) File_MemStream_Close(stream);
        stream = nullptr;
    }
    MemStream* stream = nullptr;
};

int RGBFrameNumber(TheoraDecoder* decoder) { return ReadFrameNumberOfImage(*Theora_GetRGBImage(decoder)); }

}  // namespace

TEST_F(TheoraDecoderTest, TheIndexMapsEveryFrameToItsPacketAndKeyFrames) {
    const std::vector<uint8_t> bytes = ReadMovieBytes("counted.ogv");
    ASSERT_FALSE(bytes.empty());
    TheoraDecoder* decoder = Open(bytes);
    ASSERT_NE(decoder, nullptr);
    TheoraInfo info;
    ASSERT_EQ(Theora_GetInfo(decoder, &info), 0);
    EXPECT_EQ(info.FramesPerSecond, 25.0);
    EXPECT_EQ(info.FrameCount, 50);
    EXPECT_EQ(info.Width, 64);
    EXPECT_EQ(info.Height, 48);
    EXPECT_EQ(decoder->PacketCount, 50);
    for (int frame = 0; frame < 50; ++frame) EXPECT_EQ(decoder->FrameTable[frame], frame);
    // A key frame every 12 (the encoder may start a group early, never late).
    EXPECT_EQ(decoder->KeyFrames[0], 1);
    int keys = 0;
    for (int packet = 0; packet < 50; ++packet) keys += decoder->KeyFrames[packet];
    EXPECT_GE(keys, 5);
    EXPECT_EQ(decoder->Pages[0].Offset, 0);
    EXPECT_EQ(decoder->Pages[0].Spare, 0);
    int64_t packets = 0;
    for (int page = 0; page < decoder->PageCount; ++page) packets += decoder->Pages[page].PacketCount;
    EXPECT_EQ(packets, 50);
    // Created on frame 0 with its picture converted, which a second request does not convert again.
    EXPECT_EQ(Theora_GetCurrentFrame(decoder), 0);
    EXPECT_EQ(decoder->RGBFilled, 1);
    EXPECT_EQ(RGBFrameNumber(decoder), 0);
    EXPECT_EQ(Theora_PrepareFrame(decoder, 1, 0, 0, 0), 0);
    // No plane graphs on the software road, and never any surface.
    EXPECT_EQ(Theora_GetYGraphHandle(decoder), -1);
    EXPECT_EQ(Theora_GetD3D9Surface(decoder), nullptr);
    Close(decoder);
}

TEST_F(TheoraDecoderTest, SeekingAndSteppingReachEveryFrameAndWrapAround) {
    const std::vector<uint8_t> bytes = ReadMovieBytes("counted.ogv");
    TheoraDecoder* decoder = Open(bytes);
    ASSERT_NE(decoder, nullptr);
    // Seeks in every direction, out of range clamped.
    for (int target : {30, 5, 49, 0, 23, 200, -4}) {
        ASSERT_EQ(Theora_SeekToFrame(decoder, target), 0);
        const int expected = target < 0 ? 0 : target > 49 ? 49 : target;
        EXPECT_EQ(Theora_GetCurrentFrame(decoder), expected);
        EXPECT_EQ(Theora_PrepareFrame(decoder, 1, 0, 0, 0), 1);
        EXPECT_EQ(RGBFrameNumber(decoder), expected) << target;
    }
    // Steps of several sizes from near the end wrap to the start, as a looping movie does; the
    // stock keeps the start of the stream ready.
    Theora_SeekToFrame(decoder, 40);
    int frame = 40;
    for (int step : {1, 3, 5, 2, 7, 1, 11, 20, 1, 49, 2}) {
        ASSERT_EQ(Theora_AdvanceFrames(decoder, step), 0);
        frame = (frame + step) % 50;
        EXPECT_EQ(Theora_GetCurrentFrame(decoder), frame);
        EXPECT_EQ(RGBFrameNumber(decoder), frame) << step;
    }
    Theora_AdvanceFrames(decoder, 0);
    EXPECT_EQ(Theora_GetCurrentFrame(decoder), frame);
    Close(decoder);
}

TEST_F(TheoraDecoderTest, AStreamThatIsNoOggIsRefusedBeforeAnythingIsAllocated) {
    static const uint8_t Junk[] = "RIFF....WAVEfmt and so on";
    MemStream* memory = File_MemStream_Open(Junk, sizeof(Junk));
    const int blocks = MemoryState.AllocBlockCount;
    EXPECT_EQ(Theora_Decoder_Create(File_GetMemStreamOps(), memory, TheoraMovieStockSize, 0, 0), nullptr);
    EXPECT_EQ(MemoryState.AllocBlockCount, blocks);
    File_MemStream_Close(memory);
}

TEST_F(TheoraDecoderTest, TheTableAndPerPixelConversionsAgreeAndChromaComesFromItsOwnPlace) {
    BaseImage_EnsureTables();
    constexpr int W = 8, H = 6;
    std::vector<uint8_t> luma(W * H), chroma420(W * H / 2), chroma444(W * H * 2);
    for (int i = 0; i < W * H; ++i) luma[i] = (uint8_t)(16 + i * 5);
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W / 2; ++x) {
            const uint8_t u = (uint8_t)(40 + x * 50), v = (uint8_t)(220 - y * 60 - x * 7);
            chroma420[y * W + 2 * x] = u, chroma420[y * W + 2 * x + 1] = v;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const int at = (2 * y + dy) * W * 2 + (2 * x + dx) * 2;
                    chroma444[at] = u, chroma444[at + 1] = v;
                }
        }
    TheoraFrameStockEntry table = {1, 0, luma.data(), chroma420.data(), W, H, W, W / 2, H / 2, W};
    TheoraFrameStockEntry full = {1, 0, luma.data(), chroma444.data(), W, H, W, W, H, W * 2};
    BaseImage a, b;
    ASSERT_EQ(BaseImage_CreateXRGB8(W, H, &a), 0);
    ASSERT_EQ(BaseImage_CreateXRGB8(W, H, &b), 0);
    Theora_ConvertToRGB(&table, &a);
    Theora_ConvertToRGB(&full, &b);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = BaseImage_GetPixelARGB8(&a, x, y), q = BaseImage_GetPixelARGB8(&b, x, y);
            for (int shift : {0, 8, 16}) EXPECT_NEAR((int)(p >> shift & 0xFF), (int)(q >> shift & 0xFF), 2) << x << "," << y;
            // The per-pixel path by its formula, from the pixel's own chroma sample.
            const float l = (luma[y * W + x] - 16) * 1.164f;
            const float u = chroma444[y * W * 2 + x * 2] - 128.0f, v = chroma444[y * W * 2 + x * 2 + 1] - 128.0f;
            auto clamp = [](float value) { const int c = (int)value; return c < 0 ? 0 : c > 255 ? 255 : c; };
            EXPECT_EQ(q & 0xFFFFFF, (uint32_t)clamp(l + 1.596f * v) << 16 |
                             (uint32_t)clamp(l - 0.391f * u - 0.813f * v) << 8 | (uint32_t)clamp(l + 2.018f * u));
        }
    // A 4:4:4 picture whose chroma differs in every pixel takes each pixel's own sample.
    for (int i = 0; i < W * H; ++i) chroma444[2 * i] = (uint8_t)(i * 5), chroma444[2 * i + 1] = (uint8_t)(255 - i * 5);
    Theora_ConvertToRGB(&full, &b);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int i = y * W + x;
            const float l = (luma[i] - 16) * 1.164f, v = chroma444[2 * i + 1] - 128.0f;
            const int red = (int)(l + 1.596f * v);
            EXPECT_EQ((int)(BaseImage_GetPixelARGB8(&b, x, y) >> 16 & 0xFF), red < 0 ? 0 : red > 255 ? 255 : red);
        }
    BaseImage_Release(&a);
    BaseImage_Release(&b);
}

TEST_F(TheoraDecoderTest, DamagedMoviesFailWithALogLineOrPlayWithoutACrash) {
    const std::vector<uint8_t> original = ReadMovieBytes("counted.ogv");
    ASSERT_FALSE(original.empty());
    std::vector<OggPageSpan> pages;
    const OggPageSpan* header = TheoraHeaderPage(original, pages);
    ASSERT_NE(header, nullptr);
    const size_t info = header->Start + header->HeaderBytes;

    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char8_t* Log;     // the line a refused copy leaves, null when it may open
    };
    std::vector<Case> cases;
    {
        // Frame size of 65,535 x 65,535 macro blocks with a picture to match.
        std::vector<uint8_t> b = original;
        const uint8_t sizes[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xF0, 0x0F, 0xFF, 0xF0};
        memcpy(&b[info + 10], sizes, sizeof(sizes));
        FixOggChecksums(b);
        cases.push_back({"huge frame", b, u8"Theora ムービーのフレームサイズ"});
    }
    {
        // A frame rate of 0 / 1.
        std::vector<uint8_t> b = original;
        memset(&b[info + 22], 0, 4);
        FixOggChecksums(b);
        cases.push_back({"zero frame rate", b, u8"ムービーファイルオープン処理時に失敗しました"});
    }
    {
        // A granule position far past the frames so far on a picture page in the middle.
        std::vector<uint8_t> b = original;
        std::vector<const OggPageSpan*> picture;
        for (const OggPageSpan& page : pages)
            if (memcmp(&b[page.Start + 14], &b[header->Start + 14], 4) == 0 && page.Start != header->Start)
                picture.push_back(&page);
        ASSERT_GT(picture.size(), 4u);
        const OggPageSpan& middle = *picture[picture.size() / 2];
        for (int i = 0; i < 8; ++i) b[middle.Start + 6 + i] = i == 5 ? 0x40 : 0x00;
        FixOggChecksums(b);
        cases.push_back({"granule far ahead", b, u8"Theora ムービーのフレーム番号"});
    }
    for (size_t length : {(size_t)4, (size_t)60, header->Start + header->HeaderBytes + 20, original.size() / 3,
                          original.size() / 2, original.size() - 100})
        cases.push_back({"truncated", std::vector<uint8_t>(original.begin(), original.begin() + length), nullptr});
    std::mt19937 random(4711);
    for (int round = 0; round < 6; ++round) {
        // Bytes of packet data changed, the checksums made right: libtheora gets damaged packets.
        std::vector<uint8_t> b = original;
        for (int k = 0; k < 12; ++k) {
            const OggPageSpan& page = pages[3 + random() % (pages.size() - 3)];
            if (page.BodyBytes == 0) continue;
            b[page.Start + page.HeaderBytes + random() % page.BodyBytes] ^= (uint8_t)(1 + random() % 255);
        }
        FixOggChecksums(b);
        cases.push_back({"changed packets", b, nullptr});
        // Bytes changed anywhere with the checksums left: whole pages are lost.
        b = original;
        for (int k = 0; k < 8; ++k) b[random() % b.size()] ^= 0x5A;
        cases.push_back({"changed pages", b, nullptr});
    }

    for (const Case& c : cases) {
        const int graph = CreateGraphFromMemoryImage(c.Bytes.data(), (int)c.Bytes.size(), nullptr, 0, 0);
        if (c.Log != nullptr) {
            EXPECT_EQ(graph, -1) << c.Name;
            EXPECT_NE(WindowTest::LogFind(WindowTest::ReadLog(), c.Log), std::string::npos) << c.Name;
        }
        if (graph < 0) {
            EXPECT_EQ(LiveMovieCount(), 0) << c.Name;
            continue;
        }
        // Whatever opened plays, loops and is deleted in bounded time.
        StartMovie(graph, 3, 8.0);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 250) {
            DrawAndReadFrame(graph);
            PollMessages();
        }
        EXPECT_LT(GetTickCount() - start, 5000u) << c.Name;
        EXPECT_EQ(DeleteGraph(graph), 0) << c.Name;
        EXPECT_EQ(LiveMovieCount(), 0) << c.Name;
    }
}
