// Text drawing figures without a device: a 40-character Japanese caption drawn 10,000 times into the
// main memory screen with DrawTextToHandleW, against GDI's TextOutW of the same caption into a 32-bit
// DIB section of the screen's size with the same GDI font (the font handle's own, at the cell height
// the handle asked GDI for, divided by the supersampling of antialiased types), in the same run.
// GDI's own picture is counted too: a face's hinting table may turn GDI's antialiasing off at small
// sizes, and then GDI draws no grey pixels at all for the antialiased run; the bench then also times
// GDI at the nearest larger cell height where it antialiases (not counted against the goal).
#include <windows.h>

#include <stdint.h>
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

// GDI's TextOutW of the caption with one font into the DIB section: its picture on black (full
// pixels in the text colour, grey ones between) and, when asked, the time of the rounds.
struct GdiRun {
    int Full, Grey;
    double Seconds;
};

GdiRun RunGdi(HDC dc, const void* bits, const LOGFONTW& logFont, bool timed)
{
    GdiRun run = {0, 0, 0.0};
    HFONT gdiFont = CreateFontIndirectW(&logFont);
    HGDIOBJ oldFont = WinAPITable.SelectObject(dc, gdiFont);
    WinAPITable.SetBkMode(dc, TRANSPARENT);
    WinAPITable.SetTextColor(dc, RGB(230, 230, 230));
    PatBlt(dc, 0, 0, 860, 560, BLACKNESS);
    const int length = (int)wcslen(Caption);
    TextOutW(dc, 10, 10, Caption, length);
    GdiFlush();
    for (int i = 0; i < 860 * 80; i++) {
        const uint32_t pixel = ((const uint32_t*)bits)[i] & 0xFFFFFF;
        if (pixel != 0) (pixel == 0xE6E6E6 ? run.Full : run.Grey)++;
    }
    if (timed) {
        const double start = Seconds();
        for (int i = 0; i < Rounds; i++) TextOutW(dc, 10, 10 + (i & 255), Caption, length);
        GdiFlush();
        run.Seconds = Seconds() - start;
    }
    WinAPITable.SelectObject(dc, oldFont);
    WinAPITable.DeleteObject(gdiFont);
    return run;
}

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

        // GDI: the same font (the handle's GDI font is made at the supersampled size: the antialiased
        // run takes its height divided back) into a DIB section.
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
        LOGFONTW logFont = {};
        if (font->Win.Font == nullptr || WinAPITable.GetObjectW(font->Win.Font, sizeof(logFont), &logFont) <= 0) {
            printf("the font handle has no GDI font\n");
            return 1;
        }
        logFont.lfHeight /= Font_TypeFactor(type);
        logFont.lfWidth /= Font_TypeFactor(type);
        logFont.lfQuality = type == VT_FONTTYPE_NORMAL ? NONANTIALIASED_QUALITY : ANTIALIASED_QUALITY;
        const GdiRun same = RunGdi(dc, bits, logFont, true);
        const double gdi = same.Seconds;
        // When GDI drew no grey levels for the antialiased run, the nearest larger cell height at
        // which it does, for a figure of GDI's own antialiasing.
        LOGFONTW greyFont = logFont;
        GdiRun grey = {0, 0, 0.0};
        if (type != VT_FONTTYPE_NORMAL && same.Grey == 0)
            for (greyFont.lfHeight = logFont.lfHeight + 1; greyFont.lfHeight <= logFont.lfHeight * 2; greyFont.lfHeight++)
                if (RunGdi(dc, bits, greyFont, false).Grey > 0) {
                    grey = RunGdi(dc, bits, greyFont, true);
                    break;
                }
        WinAPITable.SelectObject(dc, oldBitmap);
        WinAPITable.DeleteObject(bitmap);
        WinAPITable.DeleteDC(dc);

        const double ratio = ours > 0 ? gdi / ours : 0;
        printf("%-32ls %d x 40-character caption: ours %8.2f ms (%6.2f us/text), GDI TextOutW %8.2f ms (%6.2f us/text): %.1f x GDI%s\n",
               Font_TypeName(type), Rounds, ours * 1e3, ours * 1e6 / Rounds, gdi * 1e3, gdi * 1e6 / Rounds, ratio,
               ratio >= 3.0 ? "" : "  (goal: 3 x)");
        printf("%-32ls   of which laying out (measuring the same text): %6.2f us/text\n", L"", layout * 1e6 / Rounds);
        printf("%-32ls   GDI's picture: cell height %ld, %d full and %d grey pixels%s\n", L"", (long)logFont.lfHeight,
               same.Full, same.Grey,
               type != VT_FONTTYPE_NORMAL && same.Grey == 0 ? " (GDI did not antialias: its figure is of plain text)" : "");
        if (grey.Seconds > 0)
            printf("%-32ls   GDI antialiasing from cell height %ld (%d full and %d grey pixels): %6.2f us/text, ours %.1f x that\n",
                   L"", (long)greyFont.lfHeight, grey.Full, grey.Grey, grey.Seconds * 1e6 / Rounds,
                   ours > 0 ? grey.Seconds / ours : 0);
        failures += ratio < 3.0;
        DeleteFontToHandle(handle);
    }
    TerminateLibrary();
    return failures > 0 ? 2 : 0;
}
