// Windows at the limits of their sizes: templates whose size makes a dialog far larger than the
// desktop, and pixel surfaces that never hold more than the desktop shows.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "layer_control.h"
#include "test_dib.h"
#include "textscreen.h"

namespace {

const WORD staticId = 100;
const COLORREF dialogFace = RGB(192, 192, 192);

INT_PTR CALLBACK quietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

class WindowLimits : public testing::Test {
protected:
    void SetUp() override { layerReset(); }
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }

    // A dialog of the given style and size (dialog units) in the 8-point font, with a static control
    // over all of it.
    static HWND dialog(DWORD style, short cx, short cy)
    {
        layer::win::DialogSpec layout = {};
        layout.style = style | DS_SETFONT;
        layout.cx = cx;
        layout.cy = cy;
        layout.hasFont = true;
        layout.pointSize = 8;
        layout.items.push_back({"Static", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0, cx, cy, staticId});
        return layer::win::createDialog(layout, nullptr, quietProc, 0, false);
    }

    static SIZE surfaceSize(HWND hwnd)
    {
        int width = -1, height = -1;
        std::vector<COLORREF> pixels;
        EXPECT_TRUE(layer::win::readSurface(hwnd, width, height, pixels));
        return {width, height};
    }
};

TEST_F(WindowLimits, AGiantTemplateMakesADialogWhosePixelsStopAtTheDesktop)
{
    // At the largest extent a template holds, the dialog is tens of thousands of pixels across.
    HWND giant = dialog(WS_POPUP | WS_CAPTION | WS_VISIBLE, 32767, 32767);
    ASSERT_NE(giant, nullptr);
    HWND control = GetDlgItem(giant, staticId);
    RECT placed = {};
    GetWindowRect(giant, &placed);
    EXPECT_EQ(placed.left, 0); // kept on the desktop as far as it goes
    EXPECT_EQ(placed.top, 0);

    // Shown, it was erased; only its first desktop's worth of pixels exists.
    SIZE pixels = surfaceSize(giant);
    EXPECT_EQ(pixels.cx, 1024);
    EXPECT_EQ(pixels.cy, 768);
    EXPECT_EQ(surfaceSize(control).cx, 1024);
    HDC dc = GetDC(giant);
    EXPECT_EQ(GetPixel(dc, 0, 0), dialogFace);
    EXPECT_EQ(GetPixel(dc, 1023, 767), dialogFace);
    EXPECT_EQ(GetPixel(dc, 1024, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 0, 768), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 20000, 20000), CLR_INVALID);

    // Drawing over all of the client area lands where there are pixels and is clipped elsewhere.
    TestDib red = onePixel(RGB(255, 0, 0));
    RECT client = {};
    GetClientRect(giant, &client);
    EXPECT_EQ(red.paint(dc, 0, 0, client.right, client.bottom), 1);
    EXPECT_EQ(red.paint(dc, 1000, 700, 30000, 30000), 1);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1023, 767), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1024, 767), CLR_INVALID);
    ReleaseDC(giant, dc);
    layer::win::destroyWindow(giant);
}

TEST_F(WindowLimits, ASurfaceFollowsTheDesktopSizeAndKeepsThePixelsThatStillFit)
{
    HWND giant = dialog(WS_POPUP | WS_VISIBLE, 30000, 30000);
    ASSERT_NE(giant, nullptr);
    layerSetDesktopSize(640, 480);
    EXPECT_EQ(surfaceSize(giant).cx, 640);
    EXPECT_EQ(surfaceSize(giant).cy, 480);
    layerSetDesktopSize(800, 600);
    HDC dc = GetDC(giant);
    EXPECT_EQ(GetPixel(dc, 639, 479), dialogFace);
    EXPECT_EQ(GetPixel(dc, 640, 479), RGB(0, 0, 0)); // not drawn on since the surface grew
    EXPECT_EQ(GetPixel(dc, 800, 0), CLR_INVALID);
    ReleaseDC(giant, dc);

    // A window smaller than the desktop keeps a surface of its own size.
    HWND small = dialog(WS_POPUP | WS_VISIBLE, 40, 20);
    EXPECT_EQ(surfaceSize(small).cx, 60);
    EXPECT_EQ(surfaceSize(small).cy, 33);
}

} // namespace
