// GDI on a window: StretchDIBits read back pixel by pixel through GetPixel, and logical palettes on
// the true-colour display.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"

namespace {

// Where the tests draw: clear of the sunken frame's own painting at the picture's edges.
const int at = 4;

// An 8-bit bitmap whose pixel in memory row y and column x has index y * 16 + x, and whose colour i
// is RGB(i, 255 - i, 7): a pixel read back names its source.
struct Bitmap8 {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
    std::vector<BYTE> bits;

    Bitmap8(int width, int height, bool topDown) : header(), colours(), bits()
    {
        header.biSize = sizeof header;
        header.biWidth = width;
        header.biHeight = topDown ? -height : height;
        header.biPlanes = 1;
        header.biBitCount = 8;
        header.biCompression = BI_RGB;
        for (int i = 0; i < 256; ++i) {
            colours[i].rgbRed = static_cast<BYTE>(i);
            colours[i].rgbGreen = static_cast<BYTE>(255 - i);
            colours[i].rgbBlue = 7;
        }
        int stride = (width + 3) & ~3;
        bits.assign(static_cast<size_t>(stride) * height, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                bits[static_cast<size_t>(y) * stride + x] = static_cast<BYTE>(y * 16 + x);
    }

    const BITMAPINFO *info() const { return reinterpret_cast<const BITMAPINFO *>(&header); }
};

// The index a pixel was drawn from, as "yx" in hex, or its colour where it is no single index.
std::string sourceOf(COLORREF colour)
{
    char text[16];
    if (colour == CLR_INVALID)
        snprintf(text, sizeof text, "invalid");
    else if (GetBValue(colour) == 7 && GetGValue(colour) == 255 - GetRValue(colour))
        snprintf(text, sizeof text, "%02x", GetRValue(colour));
    else
        snprintf(text, sizeof text, "#%06lx", static_cast<unsigned long>(colour));
    return text;
}

// The pixels of a rectangle, row by row: "r0c0 r0c1 | r1c0 r1c1".
std::string readBack(HDC dc, int width, int height)
{
    std::string text;
    for (int y = 0; y < height; ++y) {
        if (y)
            text += " | ";
        for (int x = 0; x < width; ++x)
            text += (x ? " " : "") + sourceOf(GetPixel(dc, at + x, at + y));
    }
    return text;
}

// Runs a check with a DC of the picture control, its dialog shown and painted.
void withPictureDC(const std::function<void(HDC dc)> &check)
{
    DialogTest test;
    test.steps.push_back([&check](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(picture);
        ASSERT_NE(dc, nullptr);
        check(dc);
        ReleaseDC(picture, dc);
    });
    runDialog(IDD_PICTURE, test);
}

int stretch(HDC dc, const Bitmap8 &bitmap, int width, int height, int xSrc, int ySrc, int srcWidth, int srcHeight)
{
    return StretchDIBits(dc, at, at, width, height, xSrc, ySrc, srcWidth, srcHeight, bitmap.bits.data(),
                         bitmap.info(), DIB_RGB_COLORS, SRCCOPY);
}

TEST(StretchDIBits, CopiesOneToOneBottomUpAndTopDown)
{
    withPictureDC([](HDC dc) {
        Bitmap8 bottomUp(4, 2, false);
        EXPECT_EQ(stretch(dc, bottomUp, 4, 2, 0, 0, 4, 2), 2) << "the bitmap's height";
        EXPECT_EQ(readBack(dc, 4, 2), "10 11 12 13 | 00 01 02 03") << "the first row in memory is the bottom";
        Bitmap8 topDown(4, 2, true);
        EXPECT_EQ(stretch(dc, topDown, 4, 2, 0, 0, 4, 2), 2);
        EXPECT_EQ(readBack(dc, 4, 2), "00 01 02 03 | 10 11 12 13");
    });
}

TEST(StretchDIBits, EnlargesByRepeatingPixelsAsGdiPicksThem)
{
    withPictureDC([](HDC dc) {
        Bitmap8 row(3, 1, false);
        stretch(dc, row, 7, 1, 0, 0, 3, 1);
        EXPECT_EQ(readBack(dc, 7, 1), "00 00 01 01 01 02 02");
        Bitmap8 square(3, 3, false);
        EXPECT_EQ(stretch(dc, square, 1, 8, 0, 0, 1, 3), 3);
        EXPECT_EQ(readBack(dc, 1, 8), "20 | 20 | 20 | 10 | 10 | 00 | 00 | 00");
        Bitmap8 topDown(3, 3, true);
        stretch(dc, topDown, 5, 5, 0, 0, 3, 3);
        EXPECT_EQ(readBack(dc, 5, 5),
                  "00 00 01 02 02 | 00 00 01 02 02 | 10 10 11 12 12 | 20 20 21 22 22 | 20 20 21 22 22");
    });
}

// COLORONCOLOR keeps one of the merged pixels: of a run of columns the last, of a run of rows the
// first.
TEST(StretchDIBits, ShrinksAsTheStretchModeSays)
{
    withPictureDC([](HDC dc) {
        EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
        Bitmap8 row(7, 1, false);
        EXPECT_EQ(SetStretchBltMode(dc, WHITEONBLACK), BLACKONWHITE);
        EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), WHITEONBLACK);
        stretch(dc, row, 3, 1, 0, 0, 7, 1);
        EXPECT_EQ(readBack(dc, 3, 1), "01 04 06");
        Bitmap8 square(5, 5, true);
        stretch(dc, square, 2, 2, 0, 0, 5, 5);
        EXPECT_EQ(readBack(dc, 2, 2), "02 04 | 32 34");
        Bitmap8 column(1, 7, false);
        stretch(dc, column, 1, 3, 0, 0, 1, 7);
        EXPECT_EQ(readBack(dc, 1, 3), "60 | 40 | 10");
        EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), COLORONCOLOR);
        EXPECT_EQ(GetStretchBltMode(dc), HALFTONE);
    });
}

TEST(SetStretchBltMode, RefusesAModeOutsideTheFour)
{
    withPictureDC([](HDC dc) {
        for (int mode : {0, MAXSTRETCHBLTMODE + 1, -1}) {
            SetLastError(0xdeadbeef);
            EXPECT_EQ(SetStretchBltMode(dc, mode), 0) << mode;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << mode;
        }
        EXPECT_EQ(GetStretchBltMode(dc), BLACKONWHITE);
        EXPECT_EQ(SetStretchBltMode(nullptr, COLORONCOLOR), 0);
        EXPECT_EQ(GetStretchBltMode(nullptr), 0);
    });
}

TEST(StretchDIBits, ASourceRectangleCountsFromTheBottomRow)
{
    withPictureDC([](HDC dc) {
        Bitmap8 bitmap(4, 4, false);
        EXPECT_EQ(stretch(dc, bitmap, 2, 2, 1, 1, 2, 2), 4);
        EXPECT_EQ(readBack(dc, 2, 2), "21 22 | 11 12");
    });
}

TEST(StretchDIBits, PaintsTrueColourBitmaps)
{
    withPictureDC([](HDC dc) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 2;
        info.bmiHeader.biHeight = -1;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        const BYTE bits[8] = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0, 0}; // blue, green, red
        EXPECT_EQ(StretchDIBits(dc, at, at, 2, 1, 0, 0, 2, 1, bits, &info, DIB_RGB_COLORS, SRCCOPY), 1);
        EXPECT_EQ(GetPixel(dc, at, at), RGB(0x10, 0x20, 0x30));
        EXPECT_EQ(GetPixel(dc, at + 1, at), RGB(0x40, 0x50, 0x60));
    });
}

TEST(GetPixel, OutsideTheWindowIsInvalid)
{
    withPictureDC([](HDC dc) {
        EXPECT_EQ(GetPixel(dc, 5000, 5), CLR_INVALID);
        EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    });
}

struct Palette4 {
    WORD version = 0x300;
    WORD count = 4;
    PALETTEENTRY entries[4] = {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}, {1, 2, 3, 0}};

    const LOGPALETTE *logPalette() const { return reinterpret_cast<const LOGPALETTE *>(this); }
};

TEST(Palettes, KeepTheirEntriesAndReadThemInRange)
{
    Palette4 source;
    HPALETTE palette = CreatePalette(source.logPalette());
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 4u);
    PALETTEENTRY entries[4] = {};
    EXPECT_EQ(GetPaletteEntries(palette, 1, 10, entries), 3u);
    EXPECT_EQ(entries[0].peRed, 40);
    EXPECT_EQ(entries[2].peBlue, 3);
    EXPECT_EQ(GetPaletteEntries(palette, 4, 1, entries), 0u);
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_FALSE(DeleteObject(palette));
}

TEST(Palettes, SelectingReturnsThePreviousPaletteAndNullSelectsNothing)
{
    withPictureDC([](HDC dc) {
        Palette4 source;
        HPALETTE palette = CreatePalette(source.logPalette());
        HPALETTE original = SelectPalette(dc, palette, FALSE);
        EXPECT_NE(original, nullptr) << "a DC starts with the default palette";
        EXPECT_EQ(SelectPalette(dc, nullptr, FALSE), nullptr);
        EXPECT_EQ(SelectPalette(dc, original, FALSE), palette) << "the null palette selected nothing";
        EXPECT_TRUE(DeleteObject(palette));
    });
}

TEST(Palettes, ATrueColourDisplayHasNoSystemPaletteToRealiseInto)
{
    withPictureDC([](HDC dc) {
        EXPECT_FALSE(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE);
        EXPECT_EQ(GetDeviceCaps(dc, SIZEPALETTE), 0);
        EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
        EXPECT_EQ(GetDeviceCaps(dc, NUMRESERVED), 20);
        Palette4 source;
        HPALETTE palette = CreatePalette(source.logPalette());
        HPALETTE original = SelectPalette(dc, palette, FALSE);
        EXPECT_EQ(RealizePalette(dc), 0u);
        EXPECT_EQ(RealizePalette(dc), 0u);
        PALETTEENTRY entries[4];
        EXPECT_EQ(GetSystemPaletteEntries(dc, 0, 4, entries), 0u);
        EXPECT_FALSE(UpdateColors(dc));
        SelectPalette(dc, original, FALSE);
        DeleteObject(palette);
    });
}

} // namespace
