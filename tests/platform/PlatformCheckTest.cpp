// Checks the test machine itself, not our code: when these fail, the Wine harness is broken
// (missing i386 Mesa, missing Japanese font), and every drawing or text test after them means nothing.
#include <gtest/gtest.h>
#include <windows.h>
#include <d3d11.h>

namespace {

TEST(PlatformCheck, Direct3D11DeviceClearsAndReadsBackAPixel)
{
    HMODULE library = LoadLibraryW(L"d3d11.dll");
    ASSERT_NE(library, nullptr) << "d3d11.dll does not load: is wine32 installed?";
    auto create = reinterpret_cast<PFN_D3D11_CREATE_DEVICE>(GetProcAddress(library, "D3D11CreateDevice"));
    ASSERT_NE(create, nullptr);

    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    HRESULT result = create(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                            &device, nullptr, &context);
    ASSERT_TRUE(SUCCEEDED(result)) << "D3D11CreateDevice failed with 0x" << std::hex << result
                                   << ": are libgl1-mesa-dri:i386 and a display (Xvfb) there?";

    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = 4;
    desc.Height = 4;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    ID3D11Texture2D* target = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &target)));
    ID3D11RenderTargetView* view = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->CreateRenderTargetView(target, nullptr, &view)));
    const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    context->ClearRenderTargetView(view, colour);

    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    ASSERT_TRUE(SUCCEEDED(device->CreateTexture2D(&desc, nullptr, &staging)));
    context->CopyResource(staging, target);
    D3D11_MAPPED_SUBRESOURCE mapped = {};
    ASSERT_TRUE(SUCCEEDED(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped)));
    const unsigned char* pixel = static_cast<const unsigned char*>(mapped.pData);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(pixel[3], 255);
    context->Unmap(staging, 0);

    staging->Release();
    view->Release();
    target->Release();
    context->Release();
    device->Release();
}

TEST(PlatformCheck, ShiftJisGothicFaceHasKana)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    LOGFONTW description = {};
    description.lfHeight = 16;
    description.lfCharSet = SHIFTJIS_CHARSET;
    wcscpy(description.lfFaceName, L"\xFF2D\xFF33\x3000\x30B4\x30B7\x30C3\x30AF");  // "ＭＳ　ゴシック"
    HFONT font = CreateFontIndirectW(&description);
    ASSERT_NE(font, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);

    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    const wchar_t kana[] = L"\x3042\x30A2";  // "あア"
    WORD glyphs[2] = {};
    DWORD found = GetGlyphIndicesW(dc, kana, 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    EXPECT_EQ(found, 2u);
    EXPECT_NE(glyphs[0], 0xFFFF) << "the face has no hiragana: is fonts-ipafont-gothic installed?";
    EXPECT_NE(glyphs[1], 0xFFFF) << "the face has no katakana: is fonts-ipafont-gothic installed?";

    char faceUtf8[128] = {};
    WideCharToMultiByte(CP_UTF8, 0, face, -1, faceUtf8, sizeof faceUtf8, nullptr, nullptr);
    RecordProperty("face", faceUtf8);

    SelectObject(dc, previous);
    DeleteObject(font);
    DeleteDC(dc);
}

}  // namespace
