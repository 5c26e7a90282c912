// The palette display that tests switch on: a system palette with the 20 static colours, foreground
// and background realisation with their counts and WM_PALETTECHANGED, drawing through palettes, and
// UpdateColors after another program took the system palette.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "conformance_ids.h"
#include "dialog_support.h"
#include "layer_control.h"
#include "test_dib.h"

namespace {

class PaletteDisplay : public testing::Test {
protected:
    void SetUp() override
    {
        layerReset();
        layerSetPaletteDisplay(TRUE);
    }
    void TearDown() override { EXPECT_STREQ("", layerReset()) << "scripted but never used"; }
};

struct Palette3 {
    WORD version = 0x300;
    WORD count = 3;
    // A colour of its own, pure red (a static colour, so it needs no entry), the first again.
    PALETTEENTRY entries[3] = {{10, 20, 30, 0}, {255, 0, 0, 0}, {10, 20, 30, 0}};

    HPALETTE create() const { return CreatePalette(reinterpret_cast<const LOGPALETTE *>(this)); }
};

std::vector<PALETTEENTRY> systemPalette(HDC dc)
{
    std::vector<PALETTEENTRY> entries(256);
    EXPECT_EQ(GetSystemPaletteEntries(dc, 0, 256, entries.data()), 256u);
    return entries;
}

COLORREF colourOf(const PALETTEENTRY &entry)
{
    return RGB(entry.peRed, entry.peGreen, entry.peBlue);
}

// Draws one pixel of a colour at (0, 0) through the DC.
void drawPixel(HDC dc, COLORREF colour)
{
    EXPECT_EQ(onePixel(colour).paint(dc, 0, 0, 1, 1), 1);
}

// Runs a check in a step of the picture dialog, shown and active, with a DC of the picture.
void withPicture(std::vector<HWND> &paletteChanges, const std::function<void(HWND dialog, HDC dc)> &check)
{
    DialogTest test;
    test.handler = [&paletteChanges](HWND, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        if (msg == WM_PALETTECHANGED)
            paletteChanges.push_back(reinterpret_cast<HWND>(wParam));
        return FALSE;
    };
    test.steps.push_back([&check](HWND dialog) {
        ShowWindow(dialog, SW_SHOW);
        HWND picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(picture);
        check(dialog, dc);
        ReleaseDC(picture, dc);
    });
    runDialog(IDD_PICTURE, test);
}

TEST_F(PaletteDisplay, ReportsA256ColourDeviceWithTwentyStaticColours)
{
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
    EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
    EXPECT_EQ(GetDeviceCaps(screen, NUMRESERVED), 20);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 0, nullptr), 256u);
    std::vector<PALETTEENTRY> system = systemPalette(screen);
    EXPECT_EQ(colourOf(system[0]), RGB(0, 0, 0));
    EXPECT_EQ(colourOf(system[7]), RGB(192, 192, 192));
    EXPECT_EQ(colourOf(system[246]), RGB(255, 251, 240));
    EXPECT_EQ(colourOf(system[249]), RGB(255, 0, 0));
    EXPECT_EQ(colourOf(system[255]), RGB(255, 255, 255));
    PALETTEENTRY last[4];
    EXPECT_EQ(GetSystemPaletteEntries(screen, 254, 4, last), 2u);
    ReleaseDC(nullptr, screen);
}

TEST_F(PaletteDisplay, AForegroundPaletteClaimsEntriesAndTellsEveryTopLevelWindow)
{
    std::vector<HWND> changes;
    withPicture(changes, [&changes](HWND dialog, HDC dc) {
        ASSERT_EQ(GetActiveWindow(), dialog);
        HPALETTE palette = Palette3().create();
        SelectPalette(dc, palette, FALSE);
        changes.clear();
        EXPECT_EQ(RealizePalette(dc), 3u) << "a first realisation maps every entry";
        std::vector<PALETTEENTRY> system = systemPalette(dc);
        EXPECT_EQ(colourOf(system[10]), RGB(10, 20, 30));
        EXPECT_EQ(colourOf(system[11]), RGB(0, 0, 0)) << "red and the repeated colour took no entry";
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0], WindowFromDC(dc)) << "the window whose DC realised the palette";
        EXPECT_EQ(RealizePalette(dc), 0u) << "nothing changed";
        EXPECT_EQ(changes.size(), 1u);
    });
}

TEST_F(PaletteDisplay, ABackgroundPaletteMapsOntoTheEntriesThereAre)
{
    std::vector<HWND> changes;
    withPicture(changes, [&changes](HWND, HDC dc) {
        std::vector<PALETTEENTRY> before = systemPalette(dc);
        HPALETTE palette = Palette3().create();
        SelectPalette(dc, palette, TRUE);
        changes.clear();
        EXPECT_EQ(RealizePalette(dc), 3u);
        EXPECT_EQ(RealizePalette(dc), 0u);
        std::vector<PALETTEENTRY> after = systemPalette(dc);
        EXPECT_EQ(colourOf(after[10]), colourOf(before[10]));
        EXPECT_TRUE(changes.empty());
    });
}

TEST_F(PaletteDisplay, ColoursLandOnWhatTheSystemPaletteHolds)
{
    std::vector<HWND> changes;
    withPicture(changes, [](HWND, HDC dc) {
        HPALETTE palette = Palette3().create();
        SelectPalette(dc, palette, FALSE);
        drawPixel(dc, RGB(10, 20, 30));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0)) << "before the realisation, the nearest colour there is";
        RealizePalette(dc);
        drawPixel(dc, RGB(10, 20, 30));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(10, 20, 30));
        drawPixel(dc, RGB(250, 5, 5));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0)) << "the nearest colour of the palette";
    });
}

// The dialog of the installer's picture on a palette display, as the system code drives it.
struct PaletteExchange {
    HPALETTE palette = nullptr;
    HWND picture = nullptr;
    COLORREF beforeUpdate = 0, afterUpdate = 0;
    UINT remapped = 0;
    HWND changedBy = nullptr;
    int step = 0;
};

void exchangeIdle(HWND dialog, void *context)
{
    PaletteExchange &x = *static_cast<PaletteExchange *>(context);
    switch (x.step++) {
    case 0: {
        x.picture = GetDlgItem(dialog, IDC_PICTURE);
        HDC dc = GetDC(x.picture);
        SelectPalette(dc, x.palette, FALSE);
        RealizePalette(dc);
        drawPixel(dc, RGB(10, 20, 30));
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(10, 20, 30));
        ReleaseDC(x.picture, dc);
        layerDeactivate(dialog);
        break;
    }
    case 1: {
        EXPECT_EQ(GetActiveWindow(), nullptr);
        // The dialog handles the message this sends; then, given no input, the loop ends.
        const PALETTEENTRY theirs[2] = {{200, 100, 50, 0}, {1, 1, 1, 0}};
        layerRealizeForeignPalette(theirs, 2);
        break;
    }
    }
}

TEST_F(PaletteDisplay, UpdateColorsRemapsPixelsAfterAnotherProgramTookTheEntries)
{
    PaletteExchange x;
    x.palette = Palette3().create();
    layerSetIdleHandler(exchangeIdle, &x);
    DialogTest test;
    test.handler = [&x](HWND dialog, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR {
        switch (msg) {
        case WM_APP:
            return TRUE; // the idle handler drives the dialog
        case WM_COMMAND:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_PALETTECHANGED: {
            x.changedBy = reinterpret_cast<HWND>(wParam);
            if (x.changedBy == x.picture)
                return TRUE;
            HDC dc = GetDC(x.picture);
            SelectPalette(dc, x.palette, FALSE);
            x.beforeUpdate = GetPixel(dc, 0, 0);
            x.remapped = RealizePalette(dc);
            if (x.remapped) {
                EXPECT_TRUE(UpdateColors(dc));
            }
            x.afterUpdate = GetPixel(dc, 0, 0);
            ReleaseDC(x.picture, dc);
            return TRUE;
        }
        }
        return FALSE;
    };
    EXPECT_EQ(runDialog(IDD_PICTURE, test), 0);
    EXPECT_FALSE(IsWindow(x.changedBy)) << "another program's window";
    EXPECT_EQ(x.beforeUpdate, RGB(200, 100, 50)) << "the entry now shows the other program's colour";
    EXPECT_EQ(x.remapped, 3u) << "in the background the whole palette maps anew";
    EXPECT_EQ(x.afterUpdate, RGB(1, 1, 1)) << "re-mapped to the nearest colour the system palette holds now";
}

TEST_F(PaletteDisplay, SwitchingBackGivesATrueColourDisplay)
{
    layerSetPaletteDisplay(FALSE);
    HDC screen = GetDC(nullptr);
    EXPECT_FALSE(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    HPALETTE palette = Palette3().create();
    SelectPalette(screen, palette, FALSE);
    EXPECT_EQ(RealizePalette(screen), 0u);
    ReleaseDC(nullptr, screen);
}

} // namespace
