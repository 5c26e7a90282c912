// GDI for the picture: logical palettes and their realisation on the display, stretched painting of
// device-independent bitmaps, and reading pixels back. The display is true colour, or, for tests, a
// 256-colour display with a system palette that palettes are realised into as Windows does it.
#include "layer.h"
#include "layer_control.h"
#include "windowing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>

namespace layer {
namespace win {
namespace {

// The 20 static colours of a palette display: entries 0-9 and 246-255 of the system palette.
const PALETTEENTRY staticColours[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};
const int firstFree = 10; // entries 10 to 245 belong to the palettes realised in the foreground
const int lastFree = 245;
const int systemSize = 256;

// What GetDeviceCaps reports for RASTERCAPS, as Wine's display does: bit blits, 64K bitmaps,
// DIBs, stretching, flood fill, big fonts, device bitmaps; RC_PALETTE only on a palette display.
const int rasterCaps = 0xBE99;

// A window that is none of ours, for palettes realised by another program.
HWND const outsideHandle = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFE));

struct Palette {
    std::vector<PALETTEENTRY> entries;
    std::vector<int> mapping;  // the system index of each entry at its last realisation
    unsigned realizedAt = 0;   // the system palette's generation then; 0: never realised
};

struct GdiState {
    std::map<HPALETTE, Palette> palettes;
    uintptr_t nextPalette = 0x08800010;
    HPALETTE stock = nullptr;
    bool paletteDisplay = false;
    std::vector<PALETTEENTRY> system;
    unsigned generation = 1; // grows with every change of the system palette
};

std::vector<PALETTEENTRY> startingSystemPalette()
{
    std::vector<PALETTEENTRY> system(systemSize, PALETTEENTRY{0, 0, 0, 0});
    std::copy_n(staticColours, 10, system.begin());
    std::copy_n(staticColours + 10, 10, system.begin() + lastFree + 1);
    return system;
}

GdiState &gdiState()
{
    static GdiState s;
    if (s.system.empty())
        s.system = startingSystemPalette();
    if (!s.stock) {
        s.stock = reinterpret_cast<HPALETTE>(s.nextPalette);
        s.nextPalette += 4;
        s.palettes[s.stock].entries.assign(staticColours, staticColours + 20);
    }
    return s;
}

Palette *findPalette(HPALETTE hpal)
{
    auto it = gdiState().palettes.find(hpal);
    return it == gdiState().palettes.end() ? nullptr : &it->second;
}

bool sameColour(const PALETTEENTRY &a, const PALETTEENTRY &b)
{
    return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

int distance(const PALETTEENTRY &a, int red, int green, int blue)
{
    int dr = a.peRed - red, dg = a.peGreen - green, db = a.peBlue - blue;
    return dr * dr + dg * dg + db * db;
}

bool isStaticIndex(int index)
{
    return index < firstFree || index > lastFree;
}

// The entry nearest to a colour among the system entries that `usable` admits; the lowest index
// wins a tie.
template <typename Usable>
int nearestSystemEntry(const std::vector<PALETTEENTRY> &system, int red, int green, int blue, Usable usable)
{
    int best = 0;
    int bestDistance = INT32_MAX;
    for (int i = 0; i < systemSize; ++i) {
        if (!usable(i))
            continue;
        int d = distance(system[i], red, green, blue);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

// Realises entries in the foreground: each one takes a free system entry, unless it matches a
// static colour or an entry already claimed (without PC_NOCOLLAPSE); PC_EXPLICIT names an index.
// The palette realised before loses the free entries it had.
std::vector<int> claimSystemEntries(const std::vector<PALETTEENTRY> &entries)
{
    GdiState &s = gdiState();
    std::vector<int> mapping(entries.size());
    int next = firstFree;
    auto claimedOrStatic = [&next](int i) { return isStaticIndex(i) || i < next; };
    for (size_t i = 0; i < entries.size(); ++i) {
        const PALETTEENTRY &e = entries[i];
        if (e.peFlags & PC_EXPLICIT) {
            mapping[i] = (e.peRed | (e.peGreen << 8)) % systemSize;
            continue;
        }
        int match = -1;
        if (!(e.peFlags & (PC_NOCOLLAPSE | PC_RESERVED))) {
            for (int j = 0; j < systemSize && match < 0; ++j) {
                if (claimedOrStatic(j) && sameColour(s.system[j], e))
                    match = j;
            }
        }
        if (match < 0 && next <= lastFree) {
            s.system[next] = {e.peRed, e.peGreen, e.peBlue, 0};
            match = next++;
        }
        if (match < 0)
            match = nearestSystemEntry(s.system, e.peRed, e.peGreen, e.peBlue, claimedOrStatic);
        mapping[i] = match;
    }
    return mapping;
}

void paletteChanged(HWND realizer)
{
    for (HWND top : topLevelWindows())
        sendMessage(top, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(realizer), 0);
}

UINT realize(DeviceContext &dc)
{
    GdiState &s = gdiState();
    Palette *palette = findPalette(dc.palette);
    if (!palette || dc.palette == s.stock)
        return 0;
    // In the foreground when the DC's window belongs to the active window and the palette was not
    // selected as a background palette.
    bool foreground = !dc.forceBackground && dc.window && topLevelOf(dc.window) == activeWindow();
    std::vector<PALETTEENTRY> before = s.system;
    std::vector<int> mapping;
    if (foreground) {
        mapping = claimSystemEntries(palette->entries);
    } else {
        // A background palette maps onto whatever the system palette holds.
        for (const PALETTEENTRY &e : palette->entries) {
            if (e.peFlags & PC_EXPLICIT)
                mapping.push_back((e.peRed | (e.peGreen << 8)) % systemSize);
            else
                mapping.push_back(nearestSystemEntry(s.system, e.peRed, e.peGreen, e.peBlue, [](int) { return true; }));
        }
    }
    bool systemChanged = false;
    for (int i = 0; i < systemSize; ++i)
        systemChanged = systemChanged || !sameColour(before[i], s.system[i]);
    // An entry counts when its mapping changed; all count when the system palette has changed
    // since the palette was last realised, or it never was.
    bool stale = palette->realizedAt != s.generation || palette->mapping.size() != mapping.size();
    UINT count = 0;
    for (size_t i = 0; i < mapping.size(); ++i) {
        if (stale || palette->mapping[i] != mapping[i])
            ++count;
    }
    palette->mapping = mapping;
    if (systemChanged)
        ++s.generation;
    palette->realizedAt = s.generation;
    if (systemChanged)
        paletteChanged(dc.window);
    return count;
}

void forEachWindow(HWND hwnd, void (*fn)(Window &))
{
    Window *w = findWindow(hwnd);
    if (!w)
        return;
    fn(*w);
    for (HWND child : w->children)
        forEachWindow(child, fn);
}

void clearSurface(Window &window)
{
    window.surface = Surface();
}

// The range of source pixels that each destination pixel takes, along one axis: the way GDI's
// Bresenham-style stretch, as Wine implements it, pairs them. Enlarging gives each destination
// pixel one source pixel; shrinking gives each a run of source pixels, which the DC's stretch mode
// combines: BLACKONWHITE (a new DC's) with AND, WHITEONBLACK with OR, COLORONCOLOR keeps one.
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
    const BITMAPINFOHEADER *header;
    const unsigned char *bits;
    const RGBQUAD *colours;
    int colourCount;
    int width, height;
    bool topDown;
    size_t stride;
};

} // namespace

uint32_t devicePixel(const DeviceContext &dc, COLORREF colour)
{
    GdiState &s = gdiState();
    if (!s.paletteDisplay)
        return colour & 0x00FFFFFF;
    int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    Palette *palette = findPalette(dc.palette);
    if (!palette || dc.palette == s.stock)
        return static_cast<uint32_t>(nearestSystemEntry(s.system, red, green, blue, isStaticIndex));
    if (!palette->realizedAt) {
        // Through a palette never realised, colours land on what the system palette holds.
        return static_cast<uint32_t>(nearestSystemEntry(s.system, red, green, blue, [](int) { return true; }));
    }
    size_t best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < palette->entries.size(); ++i) {
        int d = distance(palette->entries[i], red, green, blue);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return palette->entries.empty() ? 0 : static_cast<uint32_t>(palette->mapping[best]);
}

COLORREF shownColour(uint32_t pixel)
{
    GdiState &s = gdiState();
    if (!s.paletteDisplay)
        return pixel;
    const PALETTEENTRY &e = s.system[pixel % systemSize];
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

std::vector<PALETTEENTRY> systemPaletteNow()
{
    return gdiState().system;
}

HPALETTE defaultPalette()
{
    return gdiState().stock;
}

HWND outsideWindow()
{
    return outsideHandle;
}

void realizeOutsidePalette(const PALETTEENTRY *entries, UINT count)
{
    GdiState &s = gdiState();
    std::vector<PALETTEENTRY> before = s.system;
    claimSystemEntries(std::vector<PALETTEENTRY>(entries, entries + count));
    if (before.size() == s.system.size() && std::equal(before.begin(), before.end(), s.system.begin(), sameColour))
        return;
    ++s.generation;
    paletteChanged(outsideHandle);
}

namespace {

const ResetHook resetGdi([] {
    GdiState &s = gdiState();
    s.palettes.clear();
    s.stock = nullptr;
    s.paletteDisplay = false;
    s.system = startingSystemPalette();
    ++s.generation;
});

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" void layerSetPaletteDisplay(BOOL palette)
{
    GdiState &s = gdiState();
    s.paletteDisplay = palette != FALSE;
    s.system = startingSystemPalette();
    ++s.generation;
    for (HWND top : topLevelWindows())
        forEachWindow(top, clearSurface);
}

extern "C" void layerRealizeForeignPalette(const PALETTEENTRY *entries, UINT count)
{
    if (!entries && count) {
        fprintf(stderr, "layerRealizeForeignPalette: %u entries without a table\n", count);
        return;
    }
    if (!gdiState().paletteDisplay)
        return;
    realizeOutsidePalette(entries, count);
}

extern "C" HPALETTE WINAPI CreatePalette(const LOGPALETTE *plpal)
{
    if (layer::failHere("CreatePalette"))
        return nullptr;
    if (!plpal)
        return nullptr;
    GdiState &s = gdiState();
    HPALETTE hpal = reinterpret_cast<HPALETTE>(s.nextPalette);
    s.nextPalette += 4;
    s.palettes[hpal].entries.assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
    return hpal;
}

extern "C" HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd)
{
    if (layer::failHere("SelectPalette"))
        return nullptr;
    DeviceContext *dc = findDC(hdc);
    if (!dc || !findPalette(hPal))
        return nullptr;
    HPALETTE previous = dc->palette;
    dc->palette = hPal;
    dc->forceBackground = bForceBkgd != FALSE;
    return previous;
}

extern "C" UINT WINAPI RealizePalette(HDC hdc)
{
    if (layer::failHere("RealizePalette"))
        return GDI_ERROR;
    DeviceContext *dc = findDC(hdc);
    // A true-colour display has no system palette: nothing is ever mapped, as Wine reports it.
    if (!dc || !gdiState().paletteDisplay)
        return 0;
    return realize(*dc);
}

extern "C" BOOL WINAPI UpdateColors(HDC hdc)
{
    if (layer::failHere("UpdateColors"))
        return FALSE;
    DeviceContext *dc = findDC(hdc);
    if (!dc || !gdiState().paletteDisplay)
        return FALSE;
    Window *w = findWindow(dc->window);
    if (!w)
        return TRUE;
    // Each pixel keeps the colour it was drawn in, now found in the current system palette.
    Surface &surface = surfaceOf(*w);
    const std::vector<PALETTEENTRY> &now = gdiState().system;
    for (uint32_t &pixel : surface.pixels) {
        const PALETTEENTRY &was = surface.drawnWith[pixel % systemSize];
        if (sameColour(was, now[pixel % systemSize]))
            continue;
        pixel = static_cast<uint32_t>(nearestSystemEntry(now, was.peRed, was.peGreen, was.peBlue, [](int) { return true; }));
    }
    surface.drawnWith = now;
    notify(Change::Pixels, dc->window);
    return TRUE;
}

extern "C" UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries)
{
    if (layer::failHere("GetPaletteEntries"))
        return 0;
    Palette *palette = findPalette(hpal);
    if (!palette)
        return 0;
    UINT size = static_cast<UINT>(palette->entries.size());
    if (!pPalEntries)
        return size;
    if (iStart >= size)
        return 0;
    UINT count = std::min(cEntries, size - iStart);
    std::copy_n(palette->entries.begin() + iStart, count, pPalEntries);
    return count;
}

extern "C" UINT WINAPI GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries)
{
    if (layer::failHere("GetSystemPaletteEntries"))
        return 0;
    if (!findDC(hdc) || !gdiState().paletteDisplay)
        return 0;
    if (!pPalEntries)
        return systemSize;
    if (iStart >= static_cast<UINT>(systemSize))
        return 0;
    UINT count = std::min(cEntries, static_cast<UINT>(systemSize) - iStart);
    std::copy_n(gdiState().system.begin() + iStart, count, pPalEntries);
    return count;
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    if (layer::failHere("DeleteObject"))
        return FALSE;
    HPALETTE hpal = static_cast<HPALETTE>(ho);
    GdiState &s = gdiState();
    if (!findPalette(hpal))
        return FALSE;
    // Stock objects are never deleted; deleting one only reports success.
    if (hpal == s.stock)
        return TRUE;
    s.palettes.erase(hpal);
    return TRUE;
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    if (layer::failHere("GetDeviceCaps"))
        return 0;
    if (!findDC(hdc))
        return 0;
    bool palette = gdiState().paletteDisplay;
    switch (index) {
    case BITSPIXEL:
        return palette ? 8 : 32;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return palette ? 20 : -1;
    case RASTERCAPS:
        return palette ? rasterCaps | RC_PALETTE : rasterCaps;
    case SIZEPALETTE:
        return palette ? systemSize : 0;
    case NUMRESERVED:
        return 20;
    case COLORRES:
        return palette ? 18 : 24;
    }
    return 0;
}

extern "C" int WINAPI SetStretchBltMode(HDC hdc, int mode)
{
    if (layer::failHere("SetStretchBltMode"))
        return 0;
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

extern "C" int WINAPI GetStretchBltMode(HDC hdc)
{
    DeviceContext *dc = findDC(hdc);
    return dc ? dc->stretchMode : 0;
}

extern "C" int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                                    int ySrc, int SrcWidth, int SrcHeight, const void *lpBits,
                                    const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop)
{
    if (layer::failHere("StretchDIBits"))
        return 0;
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
    // neither mirrors nor flips.
    if (header.biCompression != BI_RGB || (bpp != 8 && bpp != 24 && bpp != 32) || iUsage != DIB_RGB_COLORS ||
        rop != SRCCOPY || DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (bpp == 8 && header.biClrUsed > 256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Dib dib;
    dib.header = &header;
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
    bool direct = !gdiState().paletteDisplay;
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
    // COLORONCOLOR keeps one pixel of what falls together, as Wine picks it: the last of a run of
    // columns, the first of a run of rows. HALFTONE, which Windows averages, keeps one pixel too.
    bool keepOne = dc->stretchMode == COLORONCOLOR || dc->stretchMode == HALFTONE;
    bool orScans = dc->stretchMode == WHITEONBLACK;
    // Each axis's spans as the bitmap's own rows and columns, cut to the bitmap, worked out once.
    std::vector<std::pair<int, int>> columns = stretchSpans(SrcWidth, DestWidth);
    std::vector<std::pair<int, int>> rows = stretchSpans(SrcHeight, DestHeight);
    int usedFrom = dib.width, usedTo = 0; // the columns that any destination pixel takes
    for (int dx = firstColumn; dx < endColumn; ++dx) {
        std::pair<int, int> &span = columns[static_cast<size_t>(dx)];
        if (keepOne)
            span.first = std::max(span.first, span.second - 1);
        span = {std::max(xSrc + span.first, 0), std::min(xSrc + span.second, dib.width)};
        if (span.first < span.second) {
            usedFrom = std::min(usedFrom, span.first);
            usedTo = std::max(usedTo, span.second);
        }
    }
    for (int dy = firstRow; dy < endRow; ++dy) {
        std::pair<int, int> &span = rows[static_cast<size_t>(dy)];
        if (keepOne)
            span.second = std::min(span.second, span.first + 1);
        span = {std::max(top + span.first, 0), std::min(top + span.second, dib.height)};
    }

    // One source row at a time is turned into device values, and a destination row combines the
    // rows its span takes.
    std::vector<uint32_t> line(static_cast<size_t>(dib.width));
    int lineRow = -1;
    std::vector<uint32_t> combined(static_cast<size_t>(endColumn - firstColumn));
    for (int dy = firstRow; dy < endRow; ++dy) {
        std::pair<int, int> rowSpan = rows[static_cast<size_t>(dy)];
        if (rowSpan.first >= rowSpan.second)
            continue;
        size_t rowStart = static_cast<size_t>(yDest + dy) * static_cast<size_t>(surface.width);
        if (rowSpan.first != lineRow) {
            convertRow(rowSpan.first, usedFrom, usedTo, line);
            lineRow = rowSpan.first;
        }
        if (keepOne) { // one bitmap pixel to each destination pixel
            for (int dx = firstColumn; dx < endColumn; ++dx) {
                std::pair<int, int> columnSpan = columns[static_cast<size_t>(dx)];
                if (columnSpan.first < columnSpan.second)
                    surface.pixels[rowStart + static_cast<size_t>(xDest + dx)] = line[static_cast<size_t>(columnSpan.first)];
            }
            continue;
        }
        std::fill(combined.begin(), combined.end(), orScans ? 0u : ~0u);
        for (int row = rowSpan.first; row < rowSpan.second; ++row) {
            if (row != lineRow) {
                convertRow(row, usedFrom, usedTo, line);
                lineRow = row;
            }
            for (int dx = firstColumn; dx < endColumn; ++dx) {
                std::pair<int, int> columnSpan = columns[static_cast<size_t>(dx)];
                uint32_t &value = combined[static_cast<size_t>(dx - firstColumn)];
                for (int column = columnSpan.first; column < columnSpan.second; ++column)
                    value = orScans ? value | line[static_cast<size_t>(column)] : value & line[static_cast<size_t>(column)];
            }
        }
        for (int dx = firstColumn; dx < endColumn; ++dx) {
            std::pair<int, int> columnSpan = columns[static_cast<size_t>(dx)];
            if (columnSpan.first < columnSpan.second)
                surface.pixels[rowStart + static_cast<size_t>(xDest + dx)] = combined[static_cast<size_t>(dx - firstColumn)];
        }
    }
    if (gdiState().paletteDisplay)
        surface.drawnWith = gdiState().system;
    notify(Change::Pixels, dc->window);
    return dib.height;
}

extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
    if (layer::failHere("GetPixel"))
        return CLR_INVALID;
    DeviceContext *dc = findDC(hdc);
    Window *w = dc ? findWindow(dc->window) : nullptr;
    if (!w)
        return CLR_INVALID;
    // Only pixels inside the DC's clipping area can be read.
    if (x < dc->clip.left || x >= dc->clip.right || y < dc->clip.top || y >= dc->clip.bottom)
        return CLR_INVALID;
    Surface &surface = surfaceOf(*w);
    if (x < 0 || y < 0 || x >= surface.width || y >= surface.height)
        return CLR_INVALID;
    return shownColour(surface.pixels[static_cast<size_t>(y) * surface.width + x]);
}
