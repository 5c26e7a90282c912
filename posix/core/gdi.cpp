// GDI for the picture: logical palettes, their realisation on the display, and stretched painting
// of device-independent bitmaps. The display is true colour; a test may put a 256-colour display
// with a system palette in its place (the test kit's PaletteDisplay).
#include "layer.h"
#include "seam.h"
#include "windowing.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace layer {
namespace win {
namespace {

// The 20 colours of the default palette, the static colours of a palette display.
const PALETTEENTRY defaultColours[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

struct GdiState {
    std::map<HPALETTE, std::vector<PALETTEENTRY>> palettes;
    uintptr_t nextPalette = 0x08800010;
    HPALETTE stock = nullptr;
};

GdiState &gdiState()
{
    static GdiState s;
    if (!s.stock) {
        s.stock = reinterpret_cast<HPALETTE>(s.nextPalette);
        s.nextPalette += 4;
        s.palettes[s.stock].assign(defaultColours, defaultColours + 20);
    }
    return s;
}

// The range of source pixels that each destination pixel takes, along one axis: the way GDI's
// Bresenham-style stretch, as Wine implements it, pairs them. Enlarging gives each destination
// pixel one source pixel; shrinking gives each a run of source pixels, of which one is kept.
std::vector<std::pair<int, int>> stretchSpans(int source, int destination)
{
    std::vector<std::pair<int, int>> spans(static_cast<size_t>(destination), {0, 0});
    int64_t src = source, dst = destination;
    if (dst >= src) {
        int64_t err = 3 * src - 2 * dst;
        int s = 0;
        for (int d = 0; d < destination; ++d) {
            spans[static_cast<size_t>(d)] = {s, s + 1};
            if (err > 0) {
                ++s;
                err += 2 * src - 2 * dst;
            } else {
                err += 2 * src;
            }
        }
    } else {
        int64_t err = 3 * dst - 2 * src;
        int d = 0;
        spans[0] = {0, 0};
        for (int s = 0; s < source && d < destination; ++s) {
            spans[static_cast<size_t>(d)].second = s + 1;
            if (err > 0) {
                ++d;
                if (d < destination)
                    spans[static_cast<size_t>(d)] = {s + 1, s + 1};
                err += 2 * dst - 2 * src;
            } else {
                err += 2 * dst;
            }
        }
    }
    return spans;
}

struct Dib {
    const unsigned char *bits;
    const RGBQUAD *colours;
    int colourCount;
    int width, height;
    bool topDown;
    size_t stride;
};
} // namespace

std::vector<PALETTEENTRY> *paletteEntries(HPALETTE hpal)
{
    auto it = gdiState().palettes.find(hpal);
    return it == gdiState().palettes.end() ? nullptr : &it->second;
}

HPALETTE defaultPalette()
{
    return gdiState().stock;
}

bool deletePalette(HPALETTE hpal)
{
    GdiState &s = gdiState();
    if (!paletteEntries(hpal))
        return false;
    // Stock objects are never deleted; deleting one only reports success.
    if (hpal != s.stock)
        s.palettes.erase(hpal);
    return true;
}

uint32_t devicePixel(const DeviceContext &dc, COLORREF colour)
{
    const PaletteDisplay *display = paletteDisplay();
    return display ? display->devicePixel(dc, colour) : colour & 0x00FFFFFF;
}

COLORREF shownColour(uint32_t pixel)
{
    const PaletteDisplay *display = paletteDisplay();
    return display ? display->shownColour(pixel) : pixel;
}

void drewOn(Surface &surface)
{
    if (const PaletteDisplay *display = paletteDisplay())
        display->drew(surface);
}

namespace {

const ResetHook resetGdi([] {
    GdiState &s = gdiState();
    s.palettes.clear();
    s.stock = nullptr;
});

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" HPALETTE WINAPI CreatePalette(const LOGPALETTE *plpal)
{
    if (layer::failHere("CreatePalette"))
        return nullptr;
    if (!plpal)
        return nullptr;
    GdiState &s = gdiState();
    HPALETTE hpal = reinterpret_cast<HPALETTE>(s.nextPalette);
    s.nextPalette += 4;
    s.palettes[hpal].assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
    return hpal;
}

extern "C" HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd)
{
    DeviceContext *dc = findDC(hdc);
    if (!dc || !paletteEntries(hPal))
        return nullptr;
    HPALETTE previous = dc->palette;
    dc->palette = hPal;
    dc->forceBackground = bForceBkgd != FALSE;
    return previous;
}

// A true-colour display has no system palette: nothing is ever mapped, as Wine reports it.
extern "C" UINT WINAPI RealizePalette(HDC hdc)
{
    if (layer::failHere("RealizePalette"))
        return GDI_ERROR;
    DeviceContext *dc = findDC(hdc);
    const layer::PaletteDisplay *display = layer::paletteDisplay();
    return dc && display ? display->realize(*dc) : 0;
}

extern "C" BOOL WINAPI UpdateColors(HDC hdc)
{
    if (layer::failHere("UpdateColors"))
        return FALSE;
    DeviceContext *dc = findDC(hdc);
    const layer::PaletteDisplay *display = layer::paletteDisplay();
    return dc && display ? display->updateColors(*dc) : FALSE;
}

extern "C" int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    DeviceContext *dc = findDC(hdc);
    if (!dc)
        return 0;
    if (mode < BLACKONWHITE || mode > MAXSTRETCHBLTMODE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

extern "C" int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                                    int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                                    const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop)
{
    DeviceContext *dc = findDC(hdc);
    if (!dc || !lpBits)
        return 0;
    if (!lpbmi || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || lpbmi->bmiHeader.biWidth <= 0 ||
        lpbmi->bmiHeader.biHeight == 0 || lpbmi->bmiHeader.biPlanes != 1 ||
        (iUsage != DIB_RGB_COLORS && iUsage != DIB_PAL_COLORS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const BITMAPINFOHEADER &header = lpbmi->bmiHeader;
    WORD bpp = header.biBitCount;
    // The layer paints uncompressed 8, 24 and 32-bit DIBs with literal colours, copied, and
    // neither mirrors nor flips. A shrink keeps one of the pixels that fall together, as
    // COLORONCOLOR does; the modes that combine them are not painted.
    bool shrinks = SrcWidth > DestWidth || SrcHeight > DestHeight;
    if (header.biCompression != BI_RGB || (bpp != 8 && bpp != 24 && bpp != 32) || iUsage != DIB_RGB_COLORS ||
        rop != SRCCOPY || DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0 ||
        (shrinks && dc->stretchMode != COLORONCOLOR && dc->stretchMode != HALFTONE)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (bpp == 8 && header.biClrUsed > 256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Dib dib;
    dib.bits = static_cast<const unsigned char *>(lpBits);
    dib.colours = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const unsigned char *>(lpbmi) + header.biSize);
    dib.colourCount = bpp == 8 ? (header.biClrUsed ? static_cast<int>(header.biClrUsed) : 256) : 0;
    dib.width = header.biWidth;
    dib.height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    dib.topDown = header.biHeight < 0;
    dib.stride = ((static_cast<size_t>(dib.width) * bpp + 31) / 32) * 4;

    // ySrc counts from the bitmap's bottom row, except for a top-down bitmap copied unstretched
    // from its origin, as Windows measures it.
    bool unstretchedFromOrigin = xSrc == 0 && ySrc == 0 && SrcWidth == DestWidth && SrcHeight == DestHeight;
    int top = (!dib.topDown || !unstretchedFromOrigin) ? dib.height - ySrc - SrcHeight : ySrc;
    if (xSrc >= dib.width || xSrc + SrcWidth <= 0 || top >= dib.height || top + SrcHeight <= 0)
        return 0;

    Window *w = findWindow(dc->window);
    if (!w)
        return dib.height;
    Surface &surface = surfaceOf(*w);
    RECT clip = dc->clip;
    clip.left = std::max<LONG>(clip.left, 0);
    clip.top = std::max<LONG>(clip.top, 0);
    clip.right = std::min<LONG>(clip.right, surface.width);
    clip.bottom = std::min<LONG>(clip.bottom, surface.height);

    // A bitmap's colour table gives at most 256 device values, worked out once.
    std::vector<uint32_t> tableValues;
    for (int i = 0; i < dib.colourCount; ++i) {
        const RGBQUAD &c = dib.colours[i];
        tableValues.push_back(devicePixel(*dc, RGB(c.rgbRed, c.rgbGreen, c.rgbBlue)));
    }
    // On a display without a palette a colour is its own device value: no lookup per pixel.
    const layer::PaletteDisplay *display = layer::paletteDisplay();
    bool direct = !display;
    uint32_t black = devicePixel(*dc, RGB(0, 0, 0)); // an index past the colour table
    // The device values of columns [from, to) of a bitmap row, into `out`.
    auto convertRow = [&](int row, int from, int to, std::vector<uint32_t> &out) {
        size_t memoryRow = static_cast<size_t>(dib.topDown ? row : dib.height - 1 - row);
        const unsigned char *bits = dib.bits + memoryRow * dib.stride;
        if (bpp == 8) {
            for (int column = from; column < to; ++column) {
                int index = bits[column];
                out[static_cast<size_t>(column)] = index < dib.colourCount ? tableValues[static_cast<size_t>(index)] : black;
            }
            return;
        }
        size_t bytes = bpp / 8;
        for (int column = from; column < to; ++column) {
            const unsigned char *p = bits + static_cast<size_t>(column) * bytes;
            COLORREF colour = RGB(p[2], p[1], p[0]);
            out[static_cast<size_t>(column)] = direct ? colour : devicePixel(*dc, colour);
        }
    };

    // Only the destination pixels inside the clipping area are worked out.
    int firstRow = static_cast<int>(
        std::min<int64_t>(std::max<int64_t>(0, static_cast<int64_t>(clip.top) - yDest), DestHeight));
    int endRow = static_cast<int>(std::min<int64_t>(DestHeight, static_cast<int64_t>(clip.bottom) - yDest));
    int firstColumn = static_cast<int>(
        std::min<int64_t>(std::max<int64_t>(0, static_cast<int64_t>(clip.left) - xDest), DestWidth));
    int endColumn = static_cast<int>(std::min<int64_t>(DestWidth, static_cast<int64_t>(clip.right) - xDest));
    if (firstRow >= endRow || firstColumn >= endColumn)
        return dib.height;
    // Each axis's spans as the bitmap's own rows and columns, cut to the bitmap, worked out once.
    // One pixel of what falls together is kept, as Wine's COLORONCOLOR picks it: the last of a run
    // of columns, the first of a run of rows. HALFTONE, which Windows averages, keeps one pixel too.
    std::vector<std::pair<int, int>> columns = stretchSpans(SrcWidth, DestWidth);
    std::vector<std::pair<int, int>> rows = stretchSpans(SrcHeight, DestHeight);
    int usedFrom = dib.width, usedTo = 0; // the columns that any destination pixel takes
    for (int dx = firstColumn; dx < endColumn; ++dx) {
        std::pair<int, int> &span = columns[static_cast<size_t>(dx)];
        span.first = std::max(span.first, span.second - 1);
        span = {std::max(xSrc + span.first, 0), std::min(xSrc + span.second, dib.width)};
        if (span.first < span.second) {
            usedFrom = std::min(usedFrom, span.first);
            usedTo = std::max(usedTo, span.second);
        }
    }
    for (int dy = firstRow; dy < endRow; ++dy) {
        std::pair<int, int> &span = rows[static_cast<size_t>(dy)];
        span.second = std::min(span.second, span.first + 1);
        span = {std::max(top + span.first, 0), std::min(top + span.second, dib.height)};
    }

    // One source row at a time is turned into device values, and gives each destination pixel of
    // a row its one bitmap pixel.
    std::vector<uint32_t> line(static_cast<size_t>(dib.width));
    int lineRow = -1;
    for (int dy = firstRow; dy < endRow; ++dy) {
        std::pair<int, int> rowSpan = rows[static_cast<size_t>(dy)];
        if (rowSpan.first >= rowSpan.second)
            continue;
        size_t rowStart = static_cast<size_t>(yDest + dy) * static_cast<size_t>(surface.width);
        if (rowSpan.first != lineRow) {
            convertRow(rowSpan.first, usedFrom, usedTo, line);
            lineRow = rowSpan.first;
        }
        for (int dx = firstColumn; dx < endColumn; ++dx) {
            std::pair<int, int> columnSpan = columns[static_cast<size_t>(dx)];
            if (columnSpan.first < columnSpan.second)
                surface.pixels[rowStart + static_cast<size_t>(xDest + dx)] = line[static_cast<size_t>(columnSpan.first)];
        }
    }
    if (display)
        display->drew(surface);
    notify(Change::Pixels, dc->window);
    return dib.height;
}

