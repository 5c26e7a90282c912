// Small bitmaps that the layer tests paint on windows with StretchDIBits.
#ifndef LAYER_TEST_DIB_H
#define LAYER_TEST_DIB_H

#include <windows.h>

#include <utility>
#include <vector>

// An uncompressed bottom-up bitmap of `width` x `height` pixels of `bitCount` bits, from the bytes
// of its rows: blue, green, red (and an unused byte in 32 bits) for each pixel, each row padded to
// four bytes, the bottom row first.
struct TestDib {
    BITMAPINFO info = {};
    std::vector<BYTE> bits;

    TestDib(int width, int height, WORD bitCount, std::vector<BYTE> rows) : bits(std::move(rows))
    {
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = bitCount;
        info.bmiHeader.biCompression = BI_RGB;
    }

    // Stretches the whole bitmap over the rectangle at (x, y); what StretchDIBits returns.
    int paint(HDC dc, int x, int y, int width, int height) const
    {
        return StretchDIBits(dc, x, y, width, height, 0, 0, info.bmiHeader.biWidth, info.bmiHeader.biHeight,
                             bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
};

// One pixel of `colour`: its four bytes are those of a 32-bit pixel and of a 24-bit row alike.
inline TestDib onePixel(COLORREF colour, WORD bitCount = 24)
{
    return TestDib(1, 1, bitCount, {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0});
}

#endif
