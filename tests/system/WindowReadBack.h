// Reading a window back as the user sees it: a top-down 32-bit DIB section, and the client area of
// a window (of this process or another) copied into one with BitBlt, as 0x00RRGGBB pixels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace WindowTest {

// A top-down 32-bit DIB section of width x height with its pixels at *bits.
inline HBITMAP MakeDibSection(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// The window's client area from (0, 0), width x height pixels, as 0x00RRGGBB.
inline std::vector<uint32_t> ReadWindowPixels(HWND window, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xDEADBEEF);
    const HDC windowDC = GetDC(window);
    const HDC memoryDC = CreateCompatibleDC(windowDC);
    void* bits = nullptr;
    const HBITMAP bitmap = MakeDibSection(memoryDC, width, height, &bits);
    const HGDIOBJ old = SelectObject(memoryDC, bitmap);
    BitBlt(memoryDC, 0, 0, width, height, windowDC, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = source[i] & 0x00FFFFFF;
    SelectObject(memoryDC, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    ReleaseDC(window, windowDC);
    return pixels;
}

}  // namespace WindowTest
