// The background picture: painted from the resource over the whole client area, its palette
// realised once per activation, and the answers to palette changes by other windows.
#include "app_fixture.h"

#include <climits>
#include <cstring>
#include <vector>

#include "layer_control.h"
#include "picture/picture.h"
#include "resource.h"
#include "tests/picture_rows.h"

namespace {

const BITMAPINFOHEADER *storedPicture()
{
    HRSRC info = FindResourceA(NULL, MAKEINTRESOURCEA(IDB_PICTURE), RT_BITMAP);
    return (const BITMAPINFOHEADER *)LockResource(LoadResource(NULL, info));
}

// The colour of a bitmap's pixel, (0, 0) being the top left.
COLORREF bitmapPixel(const BITMAPINFOHEADER *header, const BYTE *bits, int x, int y)
{
    const RGBQUAD *table = (const RGBQUAD *)((const BYTE *)header + header->biSize);
    int stride = (header->biWidth + 3) & ~3;
    const RGBQUAD &entry = table[bits[(header->biHeight - 1 - y) * stride + x]];
    return RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
}

// Gives the picture control a client area of the given size and paints it at once.
void paintPictureAt(int width, int height)
{
    RECT window;
    RECT client;
    GetWindowRect(pictureControl, &window);
    GetClientRect(pictureControl, &client);
    int frameX = (window.right - window.left) - client.right;
    int frameY = (window.bottom - window.top) - client.bottom;
    SetWindowPos(pictureControl, NULL, 0, 0, width + frameX, height + frameY, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(pictureControl, NULL, TRUE);
    UpdateWindow(pictureControl);
}

// Pixels of the picture control that differ from the bitmap scaled by a whole factor.
int mismatches(int scale)
{
    HDC dc = GetDC(pictureControl);
    int wrong = 0;
    for (int y = 0; y < pictureHeader->biHeight * scale; ++y)
        for (int x = 0; x < pictureHeader->biWidth * scale; ++x)
            wrong += GetPixel(dc, x, y) != bitmapPixel(pictureHeader, pictureBits, x / scale, y / scale);
    ReleaseDC(pictureControl, dc);
    return wrong;
}

// The picture control's client area as it is on the screen, row by row from the top.
std::vector<COLORREF> paintedPixels(int width, int height)
{
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(pictureControl);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    ReleaseDC(pictureControl, dc);
    return pixels;
}

// Whether the call queued to fail by layerFailCall has been made since: if not, the probe's own
// call meets the failure.
bool realizeWasCalled()
{
    HDC dc = GetDC(pictureControl);
    bool called = RealizePalette(dc) != GDI_ERROR;
    ReleaseDC(pictureControl, dc);
    return called;
}

bool updateColorsWasCalled()
{
    HDC dc = GetDC(pictureControl);
    SetLastError(0);
    UpdateColors(dc);
    bool called = GetLastError() != ERROR_INVALID_HANDLE;
    ReleaseDC(pictureControl, dc);
    return called;
}

} // namespace

using Picture = InstallerTest;

TEST_F(Picture, FillsTheClientAreaPixelForPixelAtMoreThanOneSize)
{
    runDialog({[](HWND) {
        ASSERT_EQ(pictureHeader, storedPicture());
        EXPECT_EQ(pictureBits, (const BYTE *)pictureHeader + 40 + 1024);
        EXPECT_EQ(GetWindowLongPtrA(pictureControl, GWLP_WNDPROC), (LONG_PTR)pictureWndProc);
        paintPictureAt(230, 320);
        EXPECT_EQ(mismatches(1), 0);
        paintPictureAt(460, 640);
        EXPECT_EQ(mismatches(2), 0);
    }});
}

// Stretched over a panel a little smaller than the bitmap, as Windows' and Wine's dialog units make
// it, wider and a little shorter, or twice its size, each painted row is one whole row of the
// bitmap, in order.
TEST_F(Picture, AStretchedPictureShowsWholeRowsInOrder)
{
    runDialog({[](HWND) {
        for (SIZE size : {SIZE{227, 313}, SIZE{265, 313}, SIZE{460, 640}}) {
            paintPictureAt(size.cx, size.cy);
            EXPECT_EQ(paintedRowsFault(pictureHeader, pictureBits, paintedPixels(size.cx, size.cy), size.cx, size.cy),
                      "")
                << size.cx << "x" << size.cy;
        }
    }});
}

// WM_QUERYNEWPALETTE arms one realisation for the picture's next paint, however often it comes;
// a paint with nothing armed realises nothing.
TEST_F(Picture, EachActivationRealisesThePaletteOnceAtTheNextPaint)
{
    runDialog({[](HWND dlg) {
        EXPECT_EQ(paletteRealizePending, 0u) << "the first activation's realisation is done";
        SendMessageA(dlg, WM_QUERYNEWPALETTE, 0, 0);
        SendMessageA(dlg, WM_QUERYNEWPALETTE, 0, 0);
        EXPECT_EQ(paletteRealizePending, 1u);
        layerFailCall("RealizePalette", ERROR_INVALID_HANDLE, 1);
        UpdateWindow(dlg);
        EXPECT_EQ(paletteRealizePending, 0u);
        EXPECT_FALSE(realizeWasCalled()) << "one realisation, and the queued failure still waits";

        layerFailCall("RealizePalette", ERROR_INVALID_HANDLE, 0);
        InvalidateRect(pictureControl, NULL, FALSE);
        UpdateWindow(pictureControl);
        EXPECT_FALSE(realizeWasCalled()) << "this paint realised nothing";
    }});
}

// Changes that the dialog or its picture made are not answered; another window's are, and the
// colours on screen are re-mapped only when the realisation changed something.
TEST_F(Picture, OnlyAnotherWindowsPaletteChangeIsAnswered)
{
    layerSetPaletteDisplay(TRUE);
    runDialog({[](HWND dlg) {
        for (HWND own : {dlg, pictureControl}) {
            layerFailCall("RealizePalette", ERROR_INVALID_HANDLE, 0);
            SendMessageA(dlg, WM_PALETTECHANGED, (WPARAM)own, 0);
            EXPECT_FALSE(realizeWasCalled()) << "the change was the installer's own";
        }

        // Another program takes system colours: the picture takes them back and re-maps.
        PALETTEENTRY greys[236];
        for (int i = 0; i < 236; ++i)
            greys[i] = {(BYTE)i, (BYTE)i, (BYTE)(i + 1), 0};
        layerFailCall("UpdateColors", ERROR_INVALID_HANDLE, 1);
        layerRealizeForeignPalette(greys, 236);
        EXPECT_FALSE(updateColorsWasCalled()) << "UpdateColors ran once for the foreign realisation";

        // With the palette already in place, a change elsewhere needs no re-mapping.
        layerFailCall("UpdateColors", ERROR_INVALID_HANDLE, 0);
        SendMessageA(dlg, WM_PALETTECHANGED, (WPARAM)GetDesktopWindow(), 0);
        EXPECT_FALSE(updateColorsWasCalled());
    }});
}

// On a 256-colour display the picture shows its own colours once the dialog is in front.
TEST_F(Picture, APaletteDisplayShowsThePicturesOwnColoursAfterActivation)
{
    layerSetPaletteDisplay(TRUE);
    runDialog({[](HWND) {
        paintPictureAt(230, 320);
        int total = 230 * 320;
        // 236 of the 256 colours find a free system entry; the rest the nearest one there is.
        EXPECT_LT(mismatches(1), total / 10);
    }});
}

TEST_F(Picture, AFailedPaletteStillPaintsThePicture)
{
    layerFailCall("CreatePalette", ERROR_NOT_ENOUGH_MEMORY, 0);
    runDialog({[](HWND dlg) {
        EXPECT_EQ(picturePalette, nullptr);
        paintPictureAt(230, 320);
        EXPECT_EQ(mismatches(1), 0);
        SendMessageA(dlg, WM_PALETTECHANGED, (WPARAM)GetDesktopWindow(), 0);
    }});
}

// Without its resource the dialog works on without a picture; the control keeps its own painting.
TEST_F(Picture, AMissingResourceLeavesThePanelAsItWas)
{
    pictureHeader = nullptr;
    // The dialog's own template is found first.
    layerFailCall("FindResourceA", ERROR_RESOURCE_NAME_NOT_FOUND, 1);
    bool quit = false;
    runDialog({[](HWND) {
                   EXPECT_NE(GetWindowLongPtrA(pictureControl, GWLP_WNDPROC), (LONG_PTR)pictureWndProc);
                   layerPressKey(VK_TAB, FALSE);
               },
               [&](HWND dlg) { quit = IsWindowVisible(dlg); }});
    EXPECT_TRUE(quit);
    EXPECT_EQ(pictureHeader, nullptr);
}

// A bitmap with fewer colours than its depth allows gets a palette of exactly that many, and its
// bits are read right after them; one that would overrun the palette block gets no palette.
TEST_F(Picture, TheColourCountSizesThePaletteAndPlacesTheBits)
{
    const int width = 8;
    const int height = 4;
    std::vector<BYTE> bitmap(40 + 16 * 4 + width * height);
    BITMAPINFOHEADER *header = (BITMAPINFOHEADER *)bitmap.data();
    header->biSize = 40;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 8;
    header->biClrUsed = 16;
    RGBQUAD *table = (RGBQUAD *)(bitmap.data() + 40);
    for (int i = 0; i < 16; ++i)
        table[i] = {(BYTE)(i * 16), (BYTE)(255 - i * 16), (BYTE)(i * 8), 0};
    BYTE *bits = bitmap.data() + 40 + 64;
    for (int i = 0; i < width * height; ++i)
        bits[i] = (BYTE)(i % 16);

    runDialog({[&](HWND) {
        ASSERT_TRUE(usePicture(header, (DWORD)bitmap.size()));
        EXPECT_EQ(pictureBits, bits);
        ASSERT_NE(picturePalette, nullptr);
        EXPECT_EQ(GetPaletteEntries(picturePalette, 0, 0, NULL), 16u);
        PALETTEENTRY first;
        GetPaletteEntries(picturePalette, 1, 1, &first);
        EXPECT_EQ(first.peRed, 8);
        EXPECT_EQ(first.peGreen, 239);
        EXPECT_EQ(first.peBlue, 16);
        paintPictureAt(width, height);
        EXPECT_EQ(mismatches(1), 0);

        header->biClrUsed = 300;
        picturePalette = NULL;
        EXPECT_FALSE(usePicture(header, (DWORD)bitmap.size())) << "a table that does not fit the resource";
        std::vector<BYTE> larger(40 + 300 * 4 + width * height);
        memcpy(larger.data(), bitmap.data(), 40);
        EXPECT_TRUE(usePicture((BITMAPINFOHEADER *)larger.data(), (DWORD)larger.size()));
        EXPECT_EQ(picturePalette, nullptr) << "more than 256 colours get no palette";
        EXPECT_FALSE(usePicture(header, 39));

        // The smallest LONG has no magnitude to size the bits by.
        header->biClrUsed = 16;
        header->biWidth = INT_MIN;
        EXPECT_FALSE(usePicture(header, (DWORD)bitmap.size()));
        header->biWidth = width;
        header->biHeight = INT_MIN;
        EXPECT_FALSE(usePicture(header, (DWORD)bitmap.size()));
    }});
}
