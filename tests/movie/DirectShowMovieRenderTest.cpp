// The movie renderer on its own: which video types it takes, the frame layout each subtype gets,
// bottom-up RGB turned top-down, YUV converted (and split into planes) exactly as the image module's
// converters do it, and samples too short for their frame left unread.
#include "DirectShowTestSupport.h"

#include <climits>

#include "image/VtBaseImage.h"

using namespace DirectShowTest;

namespace {

const GUID SubtypeNV11 = {0x3131564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// A video type with its VIDEOINFOHEADER followed by a 256-colour table (entry i: blue i, green 255 - i,
// red i / 2); `blockBytes` shortens the block.
struct VideoType {
    std::vector<uint8_t> Block;
    AM_MEDIA_TYPE Type;
};

VideoType MakeVideoType(const GUID& subtype, LONG width, LONG height, const GUID& format = FORMAT_VideoInfo,
                        size_t blockBytes = sizeof(VIDEOINFOHEADER) + 256 * sizeof(RGBQUAD))
{
    VideoType video;
    video.Block.assign(sizeof(VIDEOINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(video.Block.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    RGBQUAD* colours = reinterpret_cast<RGBQUAD*>(video.Block.data() + sizeof(VIDEOINFOHEADER));
    for (int i = 0; i < 256; i++) colours[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i / 2), 0};
    video.Type = PlainType(MEDIATYPE_Video, subtype, format);
    video.Type.cbFormat = (ULONG)blockBytes;
    video.Type.pbFormat = video.Block.data();
    return video;
}

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed)
{
    std::vector<uint8_t> data(bytes);
    for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = (uint8_t)(seed >> 16);
    }
    return data;
}

class MovieRenderTest : public ComTest {
protected:
    D_CMovieRender* Renderer = nullptr;

    void SetUp() override
    {
        ComTest::SetUp();
        HRESULT hr = E_FAIL;
        Renderer = StrmBase_MovieRender_Create(nullptr, &hr);
        ASSERT_NE(Renderer, nullptr);
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override
    {
        delete Renderer;
        ComTest::TearDown();
    }
    void Connect(const VideoType& video)
    {
        ASSERT_EQ(Renderer->CheckMediaType(&video.Type), S_OK);
        ASSERT_EQ(Renderer->SetMediaType(&video.Type), S_OK);
    }
    // Hands the first `length` bytes of `bytes` to the renderer as one sample.
    HRESULT Render(std::vector<uint8_t>& bytes, size_t length)
    {
        HRESULT hr = S_OK;
        D_CMediaSample* sample =
            new (__FILE__, __LINE__) D_CMediaSample(L"Test sample", nullptr, &hr, bytes.data(), (LONG)bytes.size());
        EXPECT_NE(sample, nullptr);
        sample->SetActualDataLength((long)length);
        hr = Renderer->DoRenderSample(sample);
        delete sample;
        return hr;
    }
};

}  // namespace

TEST_F(MovieRenderTest, TakesUncompressedVideoInAVideoInfoBlockOnly)
{
    struct Case {
        const char* Name;
        GUID Major, Subtype, Format;
        LONG Width, Height;
        size_t BlockBytes;
        HRESULT Expected;
        int Code;
    };
    const size_t full = sizeof(VIDEOINFOHEADER) + 256 * sizeof(RGBQUAD), header = sizeof(VIDEOINFOHEADER);
    const Case cases[] = {
        {"RGB24", MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo, 64, 48, header, S_OK, 0},
        {"RGB32", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 64, 48, header, S_OK, 1},
        {"YV12", MEDIATYPE_Video, MEDIASUBTYPE_YV12, FORMAT_VideoInfo, 64, -48, header, S_OK, 2},
        {"NV12", MEDIATYPE_Video, MEDIASUBTYPE_NV12, FORMAT_VideoInfo, 64, 48, header, S_OK, 3},
        {"YUY2", MEDIATYPE_Video, MEDIASUBTYPE_YUY2, FORMAT_VideoInfo, 64, 48, header, S_OK, 4},
        {"UYVY", MEDIATYPE_Video, MEDIASUBTYPE_UYVY, FORMAT_VideoInfo, 64, 48, header, S_OK, 5},
        {"YVYU", MEDIATYPE_Video, MEDIASUBTYPE_YVYU, FORMAT_VideoInfo, 64, 48, header, S_OK, 6},
        {"NV11", MEDIATYPE_Video, SubtypeNV11, FORMAT_VideoInfo, 64, 48, header, S_OK, 7},
        {"RGB565", MEDIATYPE_Video, MEDIASUBTYPE_RGB565, FORMAT_VideoInfo, 64, 48, header, S_OK, 8},
        {"RGB555", MEDIATYPE_Video, MEDIASUBTYPE_RGB555, FORMAT_VideoInfo, 64, 48, header, S_OK, 9},
        {"RGB8", MEDIATYPE_Video, MEDIASUBTYPE_RGB8, FORMAT_VideoInfo, 64, 48, full, S_OK, 10},
        {"VideoInfo2", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo2, 64, 48, full, E_INVALIDARG, -1},
        {"audio", MEDIATYPE_Audio, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 64, 48, full, E_FAIL, -1},
        {"IYUV", MEDIATYPE_Video, MEDIASUBTYPE_IYUV, FORMAT_VideoInfo, 64, 48, full, E_FAIL, -1},
        {"short block", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 64, 48, header - 1, E_FAIL, -1},
        {"RGB8 without colours", MEDIATYPE_Video, MEDIASUBTYPE_RGB8, FORMAT_VideoInfo, 64, 48, header, E_FAIL, -1},
        {"no width", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 0, 48, full, E_FAIL, -1},
        {"negative width", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, -64, 48, full, E_FAIL, -1},
        {"huge", MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 0x40000000, 0x40000000, full, E_FAIL, -1},
        {"least height", MEDIATYPE_Video, MEDIASUBTYPE_YV12, FORMAT_VideoInfo, 64, LONG_MIN, full, E_FAIL, -1},
    };
    EXPECT_EQ(Renderer->CheckMediaType(nullptr), E_POINTER);
    for (const Case& c : cases) {
        VideoType video = MakeVideoType(c.Subtype, c.Width, c.Height, c.Format, c.BlockBytes);
        video.Type.majortype = c.Major;
        Renderer->Subtype = -1;
        EXPECT_EQ(Renderer->CheckMediaType(&video.Type), c.Expected) << c.Name;
        if (c.Expected == S_OK) {
            EXPECT_EQ(Renderer->Subtype, c.Code) << c.Name;
        }
    }
}

TEST_F(MovieRenderTest, EachSubtypeGetsItsFrameAndPlaneLayout)
{
    struct Case {
        const char* Name;
        GUID Subtype;
        LONG Width, Height;
        int Pitch, BottomUp, Yuv;
        int UVWidth, UVHeight, UVPitch;
    };
    const Case cases[] = {
        {"RGB24 101 wide", MEDIASUBTYPE_RGB24, 101, 10, 304, 1, 0, 0, 0, 0},
        {"RGB32 top-down", MEDIASUBTYPE_RGB32, 7, -3, 28, 0, 0, 0, 0, 0},
        {"RGB565", MEDIASUBTYPE_RGB565, 101, 4, 204, 1, 0, 0, 0, 0},
        {"RGB555", MEDIASUBTYPE_RGB555, 3, 4, 8, 1, 0, 0, 0, 0},
        {"RGB8", MEDIASUBTYPE_RGB8, 5, 4, 8, 1, 0, 0, 0, 0},
        {"YV12 never bottom-up", MEDIASUBTYPE_YV12, 64, 48, 256, 0, 1, 32, 24, 64},
        {"NV12", MEDIASUBTYPE_NV12, 66, -10, 264, 0, 1, 33, 5, 66},
        {"NV11", SubtypeNV11, 64, 48, 256, 0, 1, 16, 48, 32},
        {"YUY2", MEDIASUBTYPE_YUY2, 64, 48, 256, 0, 1, 32, 48, 64},
        {"UYVY", MEDIASUBTYPE_UYVY, 10, 2, 40, 0, 1, 5, 2, 10},
    };
    for (const Case& c : cases) {
        const VideoType video = MakeVideoType(c.Subtype, c.Width, c.Height);
        Connect(video);
        const LONG height = c.Height < 0 ? -c.Height : c.Height;
        EXPECT_EQ(Renderer->Width, c.Width) << c.Name;
        EXPECT_EQ(Renderer->Height, height) << c.Name;
        EXPECT_EQ(Renderer->FramePitch, c.Pitch) << c.Name;
        EXPECT_EQ(Renderer->BottomUp, c.BottomUp) << c.Name;
        EXPECT_EQ(Renderer->Yuv, c.Yuv) << c.Name;
        EXPECT_NE(Renderer->FrameBuffer, nullptr) << c.Name;
        EXPECT_EQ(Renderer->NewFrame, 0) << c.Name;
        EXPECT_EQ(Renderer->MediaTypeSet, 1) << c.Name;
        if (c.Yuv) {
            EXPECT_EQ(Renderer->YWidth, c.Width) << c.Name;
            EXPECT_EQ(Renderer->YHeight, height) << c.Name;
            EXPECT_EQ(Renderer->YPitch, c.Width) << c.Name;
            EXPECT_EQ(Renderer->UVWidth, c.UVWidth) << c.Name;
            EXPECT_EQ(Renderer->UVHeight, c.UVHeight) << c.Name;
            EXPECT_EQ(Renderer->UVPitch, c.UVPitch) << c.Name;
            ASSERT_NE(Renderer->ConvertImage, nullptr) << c.Name;
            EXPECT_EQ(Renderer->ConvertImage->width, c.Width) << c.Name;
        }
    }
    // The colour table of an 8-bit type is kept.
    Connect(MakeVideoType(MEDIASUBTYPE_RGB8, 8, 8));
    EXPECT_EQ(Renderer->Palette[0], 0x0000FF00u);
    EXPECT_EQ(Renderer->Palette[200], 0x006437C8u);
}

TEST_F(MovieRenderTest, BottomUpRowsEndTopDownAndTopDownRowsStayAsTheyAre)
{
    for (LONG height : {4, -4}) {
        Connect(MakeVideoType(MEDIASUBTYPE_RGB32, 3, height));
        std::vector<uint8_t> frame = Pattern(12 * 4, (uint32_t)height + 100);
        ASSERT_EQ(Render(frame, frame.size()), S_OK);
        EXPECT_EQ(Renderer->NewFrame, 1);
        for (int row = 0; row < 4; row++) {
            const int from = height > 0 ? 3 - row : row;
            EXPECT_EQ(memcmp(Renderer->FrameBuffer + row * 12, frame.data() + from * 12, 12), 0)
                << "height " << height << " row " << row;
        }
    }
}

TEST_F(MovieRenderTest, YuvFramesGoThroughTheImageConvertersAndPlanesFollowEverySample)
{
    struct Case {
        const char* Name;
        GUID Subtype;
        size_t Bytes;
        int (*ToXRGB8)(const uint8_t*, int, int, BaseImage*);
        int (*ToPlanes)(const uint8_t*, int, int, uint8_t*, uint8_t*);
        size_t UVBytes;
    };
    constexpr int W = 16, H = 8;
    const Case cases[] = {
        {"YV12", MEDIASUBTYPE_YV12, W * H * 3 / 2, BaseImage_Yuv_YV12ToXRGB8, BaseImage_Yuv_YV12ToPlanes, W * H / 2},
        {"NV12", MEDIASUBTYPE_NV12, W * H * 3 / 2, BaseImage_Yuv_NV12ToXRGB8, BaseImage_Yuv_NV12ToPlanes, W * H / 2},
        {"NV11", SubtypeNV11, W * H * 3 / 2, BaseImage_Yuv_NV11ToXRGB8, BaseImage_Yuv_NV11ToPlanes, W * H / 2},
        {"YUY2", MEDIASUBTYPE_YUY2, W * H * 2, BaseImage_Yuv_YUY2ToXRGB8, BaseImage_Yuv_YUY2ToPlanes, W * H},
        {"UYVY", MEDIASUBTYPE_UYVY, W * H * 2, BaseImage_Yuv_UYVYToXRGB8, BaseImage_Yuv_UYVYToPlanes, W * H},
        {"YVYU", MEDIASUBTYPE_YVYU, W * H * 2, BaseImage_Yuv_YVYUToXRGB8, BaseImage_Yuv_YVYUToPlanes, W * H},
    };
    for (const Case& c : cases) {
        Connect(MakeVideoType(c.Subtype, W, H));
        // With no shader support there are no planes; with it, the planes come with every sample and
        // the RGB frame only with the first.
        ASSERT_EQ(Renderer->PlaneBlock, nullptr) << c.Name;
        Renderer->NoPlanes = 0;
        Renderer->FirstFrameConverted = 0;
        std::vector<uint8_t> first = Pattern(c.Bytes, 1), second = Pattern(c.Bytes, 2);
        ASSERT_EQ(Render(first, first.size()), S_OK);
        ASSERT_NE(Renderer->PlaneBlock, nullptr) << c.Name;

        BaseImage expected = {};
        ASSERT_EQ(BaseImage_CreateXRGB8(W, H, &expected), 0);
        c.ToXRGB8(first.data(), W, H, &expected);
        for (int y = 0; y < H; y++)
            EXPECT_EQ(memcmp(Renderer->FrameBuffer + y * W * 4, (uint8_t*)expected.pixels + y * expected.pitch, W * 4),
                      0)
                << c.Name << " row " << y;
        BaseImage_Release(&expected);

        Renderer->NewFrame = 0;
        const std::vector<uint8_t> kept(Renderer->FrameBuffer, Renderer->FrameBuffer + W * H * 4);
        ASSERT_EQ(Render(second, second.size()), S_OK);
        EXPECT_EQ(Renderer->NewFrame, 1) << c.Name;
        std::vector<uint8_t> y(W * H), uv(c.UVBytes);
        c.ToPlanes(second.data(), W, H, y.data(), uv.data());
        EXPECT_EQ(memcmp(Renderer->PlaneBlock, y.data(), y.size()), 0) << c.Name;
        EXPECT_EQ(memcmp(Renderer->UVPlane, uv.data(), uv.size()), 0) << c.Name;
        EXPECT_EQ(memcmp(Renderer->FrameBuffer, kept.data(), kept.size()), 0) << c.Name;
    }
}

TEST_F(MovieRenderTest, ASampleShorterThanItsFrameIsNotRead)
{
    struct Case {
        const char* Name;
        GUID Subtype;
        size_t Bytes;
    };
    const Case cases[] = {
        {"RGB24", MEDIASUBTYPE_RGB24, 52 * 8},  // 17 pixels: rows of 52 bytes
        {"YV12", MEDIASUBTYPE_YV12, 16 * 8 * 3 / 2},
        {"YUY2", MEDIASUBTYPE_YUY2, 16 * 8 * 2},
        {"NV11", SubtypeNV11, 16 * 8 * 3 / 2},
    };
    EXPECT_EQ(Renderer->DoRenderSample(nullptr), E_POINTER);
    for (const Case& c : cases) {
        Connect(MakeVideoType(c.Subtype, c.Subtype == MEDIASUBTYPE_RGB24 ? 17 : 16, 8));
        std::vector<uint8_t> frame = Pattern(c.Bytes, 3);
        ASSERT_EQ(Render(frame, c.Bytes - 1), S_OK);
        EXPECT_EQ(Renderer->NewFrame, 0) << c.Name;
        ASSERT_EQ(Render(frame, c.Bytes), S_OK);
        EXPECT_EQ(Renderer->NewFrame, 1) << c.Name;
    }
}
