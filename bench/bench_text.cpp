// Text drawing figures without a device: a 40-character Japanese caption drawn 10,000 times into the
// main memory screen with DrawTextToHandleW, against GDI's TextOutW of the same caption into a 32-bit
// DIB section of the screen's size with the same GDI font (the font handle's own), in the same run.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <initializer_list>

#include "font/VtFont.h"
#include "font/VtFontDraw.h"
#include "foundation/VtWinAPI.h"
#include "graphics/VtGraphics.h"
#include "graphics/VtGraphicsDrawSetting.h"
#include "graphics/VtGraphicsScreen.h"
#include "system/VtSystem.h"
#include "system/VtWindow.h"
#include "system/VtWindowSettings.h"

using namespace Vantrel;

namespace {

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

const wchar_t ToolFace[] = L"\xFF2D\xFF33\x3000\x30B4\x30B7\x30C3\x30AF";
// 40 characters: kana, kanji and full-width punctuation of the tool's pages.
const wchar_t Caption[] = L"ゲームパッドを選択してください。設定ファイルを読み込み、キー設定を保存しました。";
constexpr int Rounds = 10000;

}  // namespace

int main()
{
    SetScreenResolution(860, 560, 32, 60);
    ChangeWindowMode(1);
    SetHardwareGraphicsEnable(0);
    SetRunWhileInactive(1);
    if (InitializeLibrary() < 0) {
        printf("library did not start\n");
        return 1;
    }
    const int length = (int)wcslen(Caption);
    int failures = 0;
    for (const FontType type : {VT_FONTTYPE_NORMAL, VT_FONTTYPE_ANTIALIASING_4X4}) {
        FontCreateParam param = {};
        const int handle = CreateFontToHandleWithParam(&param, ToolFace, 16, 3, type, 1, 1, 0, -1, 0);
        FontHandleRecord* font = Font_GetRecord(handle);
        if (font == nullptr) {
            printf("font could not be made\n");
            return 1;
        }
        const unsigned int color = MakeColorCode(230, 230, 230);
        DrawTextToHandleW(10, 10, Caption, length, color, handle, 0, 0);  // caches the glyphs
        double start = Seconds();
        for (int i = 0; i < Rounds; i++) DrawTextToHandleW(10, 10 + (i & 255), Caption, length, color, handle, 0, 0);
        const double ours = Seconds() - start;
        start = Seconds();
        for (int i = 0; i < Rounds; i++) GetTextWidthToHandleW(Caption, length, -1, handle, 0);
        const double layout = Seconds() - start;

        // GDI: the same font (the handle's GDI font is made at the supersampled size; a plain one of
        // the cell height for the antialiased run) into a DIB section.
        HDC dc = WinAPITable.CreateCompatibleDC(nullptr);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = 860;
        info.bmiHeader.biHeight = -560;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP bitmap = WinAPITable.CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ oldBitmap = WinAPITable.SelectObject(dc, bitmap);
        HFONT gdiFont = WinAPITable.CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                                                CLIP_DEFAULT_PRECIS,
                                                type == VT_FONTTYPE_NORMAL ? NONANTIALIASED_QUALITY : ANTIALIASED_QUALITY,
                                                FIXED_PITCH, ToolFace);
        HGDIOBJ oldFont = WinAPITable.SelectObject(dc, gdiFont);
        WinAPITable.SetBkMode(dc, TRANSPARENT);
        WinAPITable.SetTextColor(dc, RGB(230, 230, 230));
        TextOutW(dc, 10, 10, Caption, length);
        start = Seconds();
        for (int i = 0; i < Rounds; i++) TextOutW(dc, 10, 10 + (i & 255), Caption, length);
        GdiFlush();
        const double gdi = Seconds() - start;
        WinAPITable.SelectObject(dc, oldFont);
        WinAPITable.SelectObject(dc, oldBitmap);
        WinAPITable.DeleteObject(gdiFont);
        WinAPITable.DeleteObject(bitmap);
        WinAPITable.DeleteDC(dc);

        const double ratio = ours > 0 ? gdi / ours : 0;
        printf("%-32ls %d x 40-character caption: ours %8.2f ms (%6.2f us/text), GDI TextOutW %8.2f ms (%6.2f us/text): %.1f x GDI%s\n",
               Font_TypeName(type), Rounds, ours * 1e3, ours * 1e6 / Rounds, gdi * 1e3, gdi * 1e6 / Rounds, ratio,
               ratio >= 3.0 ? "" : "  (goal: 3 x)");
        printf("%-32ls   of which laying out (measuring the same text): %6.2f us/text\n", L"", layout * 1e6 / Rounds);
        failures += ratio < 3.0;
        DeleteFontToHandle(handle);
    }
    TerminateLibrary();
    return failures > 0 ? 2 : 0;
}
