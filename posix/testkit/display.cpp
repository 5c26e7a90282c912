// The display as tests see it: a 256-colour display with a system palette, into which palettes are
// realised as Windows realises them, in place of the layer's true-colour one; another program that
// realises its palette; and the GDI calls that only tests make (reading pixels and palettes back,
// the device's capabilities).
#include "layer.h"
#include "layer_control.h"
#include "seam.h"
#include "testkit.h"
#include "windowing.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <vector>

using namespace layer::win;

namespace {

// Entries 0-9 and 246-255 of the system palette hold the default palette's 20 static colours;
// entries 10 to 245 belong to the palettes realised in the foreground.
const int firstFree = 10;
const int lastFree = 245;
const int systemSize = 256;

// What GetDeviceCaps reports for RASTERCAPS, as Wine's display does: bit blits, 64K bitmaps,
// DIBs, stretching, flood fill, big fonts, device bitmaps; RC_PALETTE only on a palette display.
const int rasterCaps = 0xBE99;

// Another program's window, through which it realises its palette: a handle that none of ours
// takes, as ours are multiples of 4.
HWND const outsideWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFE));

// Where a palette's entries went at its last realisation.
struct Realisation {
    std::vector<int> mapping; // the system index of each entry
    unsigned at = 0;          // the system palette's generation then; 0: never realised
};

struct DisplayState {
    bool on = false;
    std::vector<PALETTEENTRY> system;
    unsigned generation = 1; // grows with every change of the system palette
    std::map<HPALETTE, Realisation> realised;
};

std::vector<PALETTEENTRY> startingSystemPalette()
{
    const std::vector<PALETTEENTRY> &statics = *paletteEntries(defaultPalette());
    std::vector<PALETTEENTRY> system(systemSize, PALETTEENTRY{0, 0, 0, 0});
    std::copy_n(statics.begin(), 10, system.begin());
    std::copy_n(statics.begin() + 10, 10, system.begin() + lastFree + 1);
    return system;
}

DisplayState &display()
{
    static DisplayState s;
    if (s.system.empty())
        s.system = startingSystemPalette();
    return s;
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

bool anyIndex(int)
{
    return true;
}

// The entry nearest to a colour among the system entries that `usable` admits; the lowest index
// wins a tie.
template <typename Usable>
int nearestSystemEntry(const std::vector<PALETTEENTRY> &system, int red, int green, int blue, Usable usable)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < systemSize; ++i) {
        int d = usable(i) ? distance(system[static_cast<size_t>(i)], red, green, blue) : INT_MAX;
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

int explicitIndex(const PALETTEENTRY &e)
{
    return (e.peRed | (e.peGreen << 8)) % systemSize;
}

// Realises entries in the foreground: each one takes a free system entry, unless it matches a
// static colour or an entry already claimed (without PC_NOCOLLAPSE); PC_EXPLICIT names an index.
// The palette realised before loses the free entries it had.
std::vector<int> claimSystemEntries(const std::vector<PALETTEENTRY> &entries)
{
    std::vector<PALETTEENTRY> &system = display().system;
    std::vector<int> mapping(entries.size());
    int next = firstFree;
    auto claimedOrStatic = [&next](int i) { return isStaticIndex(i) || i < next; };
    for (size_t i = 0; i < entries.size(); ++i) {
        const PALETTEENTRY &e = entries[i];
        if (e.peFlags & PC_EXPLICIT) {
            mapping[i] = explicitIndex(e);
            continue;
        }
        int match = -1;
        if (!(e.peFlags & (PC_NOCOLLAPSE | PC_RESERVED))) {
            for (int j = 0; j < systemSize && match < 0; ++j) {
                if (claimedOrStatic(j) && sameColour(system[static_cast<size_t>(j)], e))
                    match = j;
            }
        }
        if (match < 0 && next <= lastFree) {
            system[static_cast<size_t>(next)] = {e.peRed, e.peGreen, e.peBlue, 0};
            match = next++;
        }
        if (match < 0)
            match = nearestSystemEntry(system, e.peRed, e.peGreen, e.peBlue, claimedOrStatic);
        mapping[i] = match;
    }
    return mapping;
}

// Every top-level window hears of a change of the system palette, with the window that caused it.
void paletteChanged(HWND realizer)
{
    for (HWND top : topLevelWindows())
        sendMessage(top, WM_PALETTECHANGED, reinterpret_cast<WPARAM>(realizer), 0);
}

UINT realizeOnDisplay(DeviceContext &dc)
{
    DisplayState &s = display();
    const std::vector<PALETTEENTRY> *entries = paletteEntries(dc.palette);
    if (!entries || dc.palette == defaultPalette())
        return 0;
    // In the foreground when the DC's window belongs to the active window and the palette was not
    // selected as a background palette.
    bool foreground = !dc.forceBackground && dc.window && topLevelOf(dc.window) == activeWindow();
    std::vector<PALETTEENTRY> before = s.system;
    std::vector<int> mapping;
    if (foreground) {
        mapping = claimSystemEntries(*entries);
    } else {
        // A background palette maps onto whatever the system palette holds.
        for (const PALETTEENTRY &e : *entries)
            mapping.push_back(e.peFlags & PC_EXPLICIT ? explicitIndex(e)
                                                     : nearestSystemEntry(s.system, e.peRed, e.peGreen, e.peBlue, anyIndex));
    }
    bool systemChanged = !std::equal(before.begin(), before.end(), s.system.begin(), sameColour);
    // An entry counts when its mapping changed; all count when the system palette has changed
    // since the palette was last realised, or it never was.
    Realisation &last = s.realised[dc.palette];
    bool stale = last.at != s.generation || last.mapping.size() != mapping.size();
    UINT count = 0;
    for (size_t i = 0; i < mapping.size(); ++i) {
        if (stale || last.mapping[i] != mapping[i])
            ++count;
    }
    last.mapping = mapping;
    if (systemChanged)
        ++s.generation;
    last.at = s.generation;
    if (systemChanged)
        paletteChanged(dc.window);
    return count;
}

uint32_t displayPixel(const DeviceContext &dc, COLORREF colour)
{
    DisplayState &s = display();
    int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    const std::vector<PALETTEENTRY> *entries = paletteEntries(dc.palette);
    if (!entries || dc.palette == defaultPalette())
        return static_cast<uint32_t>(nearestSystemEntry(s.system, red, green, blue, isStaticIndex));
    const Realisation &last = s.realised[dc.palette];
    // Through a palette never realised, colours land on what the system palette holds.
    if (!last.at)
        return static_cast<uint32_t>(nearestSystemEntry(s.system, red, green, blue, anyIndex));
    size_t best = 0;
    int bestDistance = INT_MAX;
    for (size_t i = 0; i < entries->size(); ++i) {
        int d = distance((*entries)[i], red, green, blue);
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return entries->empty() ? 0 : static_cast<uint32_t>(last.mapping[best]);
}

COLORREF displayedColour(uint32_t pixel)
{
    const PALETTEENTRY &e = display().system[pixel % systemSize];
    return RGB(e.peRed, e.peGreen, e.peBlue);
}

void drawnNow(Surface &surface)
{
    surface.drawnWith = display().system;
}

// Each pixel keeps the colour it was drawn in, now found in the current system palette.
BOOL updateDisplayedColours(DeviceContext &dc)
{
    Window *w = findWindow(dc.window);
    if (!w)
        return TRUE;
    Surface &surface = surfaceOf(*w);
    const std::vector<PALETTEENTRY> &now = display().system;
    if (surface.drawnWith.empty())
        surface.drawnWith = now;
    for (uint32_t &pixel : surface.pixels) {
        const PALETTEENTRY &was = surface.drawnWith[pixel % systemSize];
        if (!sameColour(was, now[pixel % systemSize]))
            pixel = static_cast<uint32_t>(nearestSystemEntry(now, was.peRed, was.peGreen, was.peBlue, anyIndex));
    }
    surface.drawnWith = now;
    notify(Change::Pixels, dc.window);
    return TRUE;
}

const layer::PaletteDisplay paletteDisplay = {realizeOnDisplay, updateDisplayedColours, displayPixel, displayedColour,
                                               drawnNow};

void clearSurfaces(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return;
    w->surface = Surface();
    for (HWND child : w->children)
        clearSurfaces(child);
}

} // namespace

namespace testkit {

const layer::PaletteDisplay *activeDisplay()
{
    return display().on ? &paletteDisplay : nullptr;
}

void resetDisplay()
{
    DisplayState &s = display();
    s.on = false;
    s.system = startingSystemPalette();
    s.realised.clear();
    ++s.generation;
}

} // namespace testkit

extern "C" void layerSetPaletteDisplay(BOOL palette)
{
    testkit::resetDisplay();
    display().on = palette != FALSE;
    for (HWND top : topLevelWindows())
        clearSurfaces(top);
}

extern "C" void layerRealizeForeignPalette(const PALETTEENTRY *entries, UINT count)
{
    if (!entries && count) {
        fprintf(stderr, "layerRealizeForeignPalette: %u entries without a table\n", count);
        return;
    }
    if (!display().on)
        return;
    DisplayState &s = display();
    std::vector<PALETTEENTRY> before = s.system;
    claimSystemEntries(std::vector<PALETTEENTRY>(entries, entries + count));
    if (std::equal(before.begin(), before.end(), s.system.begin(), sameColour))
        return;
    ++s.generation;
    paletteChanged(outsideWindow);
}

extern "C" UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries)
{
    const std::vector<PALETTEENTRY> *entries = paletteEntries(hpal);
    if (!entries)
        return 0;
    UINT size = static_cast<UINT>(entries->size());
    if (!pPalEntries)
        return size;
    if (iStart >= size)
        return 0;
    UINT count = std::min(cEntries, size - iStart);
    std::copy_n(entries->begin() + iStart, count, pPalEntries);
    return count;
}

extern "C" UINT WINAPI GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, LPPALETTEENTRY pPalEntries)
{
    if (!findDC(hdc) || !display().on)
        return 0;
    if (!pPalEntries)
        return systemSize;
    if (iStart >= static_cast<UINT>(systemSize))
        return 0;
    UINT count = std::min(cEntries, static_cast<UINT>(systemSize) - iStart);
    std::copy_n(display().system.begin() + iStart, count, pPalEntries);
    return count;
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho)
{
    return deletePalette(static_cast<HPALETTE>(ho));
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    if (!findDC(hdc))
        return 0;
    bool palette = display().on;
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

extern "C" int WINAPI GetStretchBltMode(HDC hdc)
{
    DeviceContext *dc = findDC(hdc);
    return dc ? dc->stretchMode : 0;
}

extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y)
{
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
