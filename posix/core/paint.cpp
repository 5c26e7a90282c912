// Painting: each window's update region (its bounding rectangle and whether the background needs
// erasing), WM_PAINT and WM_ERASEBKGND as Windows sends them, device contexts, and the pixel
// surfaces that drawing lands on.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <map>

namespace layer {
namespace win {
namespace {

struct PaintState {
    std::map<HDC, DeviceContext> dcs;
    uintptr_t nextDC = 0x0C010010; // device context handles look like Windows' own
};

PaintState &paintState()
{
    static PaintState s;
    return s;
}

bool isEmpty(const RECT &r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT intersect(const RECT &a, const RECT &b)
{
    RECT r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    return isEmpty(r) ? RECT{0, 0, 0, 0} : r;
}

RECT unite(const RECT &a, const RECT &b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

RECT clientArea(const Window &window)
{
    SIZE size = clientSize(window);
    return {0, 0, size.cx, size.cy};
}

// The client area of a child in its parent's client coordinates.
RECT childClientInParent(const Window &child)
{
    RECT m = nonClientMargins(child.style, child.exStyle);
    SIZE size = clientSize(child);
    LONG left = child.rect.left + m.left;
    LONG top = child.rect.top + m.top;
    return {left, top, left + size.cx, top + size.cy};
}

// Applies an invalidation to a window and, unless it clips its children, to the visible children
// under the rectangle, as RedrawWindow does by default.
void redraw(HWND hwnd, const RECT &area, bool erase)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return;
    RECT part = intersect(area, clientArea(*w));
    if (isEmpty(part))
        return;
    w->update = w->invalid ? unite(w->update, part) : part;
    w->invalid = true;
    w->erase = w->erase || erase;
    if (w->style & WS_CLIPCHILDREN)
        return;
    std::vector<HWND> children = w->children;
    for (HWND child : children) {
        Window *c = findWindow(child);
        if (!c || !(c->style & WS_VISIBLE))
            continue;
        RECT childClient = childClientInParent(*c);
        RECT under = intersect(part, childClient);
        if (isEmpty(under))
            continue;
        under = {under.left - childClient.left, under.top - childClient.top, under.right - childClient.left,
                 under.bottom - childClient.top};
        redraw(child, under, erase);
    }
}

HDC newDC(HWND hwnd, const RECT &clip)
{
    PaintState &s = paintState();
    HDC hdc = reinterpret_cast<HDC>(s.nextDC);
    s.nextDC += 4;
    s.dcs[hdc] = DeviceContext{hwnd, defaultPalette(), false, clip};
    return hdc;
}

void releaseDC(HDC hdc)
{
    paintState().dcs.erase(hdc);
}


void collectVisible(HWND hwnd, std::vector<HWND> &order)
{
    Window *w = findWindow(hwnd);
    if (!w || !(w->style & WS_VISIBLE))
        return;
    order.push_back(hwnd);
    for (HWND child : w->children)
        collectVisible(child, order);
}

} // namespace

// Sends WM_ERASEBKGND for a window whose update region asks for it; a handled erase clears the
// request.
bool sendErase(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w || !w->invalid || !w->erase)
        return false;
    HDC hdc = newDC(hwnd, w->update);
    bool erased = sendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) != 0;
    releaseDC(hdc);
    if (erased && (w = findWindow(hwnd)))
        w->erase = false;
    return erased;
}

bool needsPaint(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w && w->invalid && isVisible(hwnd);
}

DeviceContext *findDC(HDC hdc)
{
    auto it = paintState().dcs.find(hdc);
    return it == paintState().dcs.end() ? nullptr : &it->second;
}

HDC beginPaint(HWND hwnd, PAINTSTRUCT &paint)
{
    paint = PAINTSTRUCT();
    Window *w = findWindow(hwnd);
    if (!w)
        return nullptr;
    // The DC draws only where the window needs painting; with nothing to paint it draws nowhere.
    RECT area = w->invalid ? w->update : RECT{0, 0, 0, 0};
    bool erase = w->invalid && w->erase;
    w->invalid = false;
    w->erase = false;
    HDC hdc = newDC(hwnd, area);
    paint.hdc = hdc;
    paint.rcPaint = area;
    if (erase)
        paint.fErase = sendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
    return hdc;
}

void endPaint(HWND hwnd, const PAINTSTRUCT &paint)
{
    DeviceContext *dc = findDC(paint.hdc);
    if (dc && dc->window == hwnd)
        releaseDC(paint.hdc);
    notify(Change::Painted, hwnd);
}

void invalidate(HWND hwnd, const RECT *rect, bool erase)
{
    Window *w = findWindow(hwnd);
    if (!w || !isVisible(hwnd))
        return;
    redraw(hwnd, rect ? *rect : clientArea(*w), erase);
}

void validate(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return;
    w->invalid = false;
    w->erase = false;
    if (w->style & WS_CLIPCHILDREN)
        return;
    for (HWND child : w->children) {
        Window *c = findWindow(child);
        if (c && (c->style & WS_VISIBLE))
            validate(child);
    }
}

HWND nextWindowToPaint()
{
    // Parents before their children, top-level windows from the top of the stacking order.
    std::vector<HWND> order;
    for (HWND top : topLevelWindows())
        collectVisible(top, order);
    for (HWND hwnd : order) {
        if (findWindow(hwnd)->invalid)
            return hwnd;
    }
    return nullptr;
}

void paintNow(HWND hwnd)
{
    if (!isVisible(hwnd))
        return;
    std::vector<HWND> order;
    collectVisible(hwnd, order);
    for (HWND window : order) {
        if (needsPaint(window))
            sendMessage(window, WM_PAINT, 0, 0);
    }
}

void eraseNow(HWND hwnd)
{
    sendErase(hwnd);
}

Surface &surfaceOf(Window &window)
{
    Surface &surface = window.surface;
    // No more of a client area can be on the screen at once than the desktop holds: the surface
    // keeps the client area's top left part up to the desktop's size, and drawing beyond it is
    // clipped away.
    SIZE client = clientSize(window);
    SIZE desktop = desktopSize();
    SIZE size = {std::min(client.cx, desktop.cx), std::min(client.cy, desktop.cy)};
    if (surface.width == size.cx && surface.height == size.cy)
        return surface;
    // A resized client area keeps the pixels that still fit; the rest starts black.
    std::vector<uint32_t> pixels(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy), 0);
    int keepWidth = std::min<int>(surface.width, size.cx);
    int keepHeight = std::min<int>(surface.height, size.cy);
    for (int y = 0; y < keepHeight; ++y) {
        std::copy_n(surface.pixels.begin() + static_cast<size_t>(y) * surface.width, keepWidth,
                    pixels.begin() + static_cast<size_t>(y) * size.cx);
    }
    surface.pixels.swap(pixels);
    surface.width = size.cx;
    surface.height = size.cy;
    return surface;
}

void fillSurface(Window &window, const RECT &rect, COLORREF colour)
{
    Surface &surface = surfaceOf(window);
    RECT area = intersect(rect, RECT{0, 0, surface.width, surface.height});
    DeviceContext dc = {window.handle, defaultPalette(), false, area};
    uint32_t pixel = devicePixel(dc, colour);
    for (LONG y = area.top; y < area.bottom; ++y)
        std::fill_n(surface.pixels.begin() + static_cast<size_t>(y) * surface.width + area.left,
                    area.right - area.left, pixel);
    drewOn(surface);
}

void releaseWindowDCs(HWND hwnd)
{
    auto &dcs = paintState().dcs;
    for (auto it = dcs.begin(); it != dcs.end();) {
        if (it->second.window == hwnd)
            it = dcs.erase(it);
        else
            ++it;
    }
}

namespace {

const ResetHook resetPaint([] { paintState().dcs.clear(); });

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

// The program names the window; a null window, which would stand for all of them, fails.
extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase)
{
    if (!windowOrFail(hWnd))
        return FALSE;
    invalidate(hWnd, lpRect, bErase != FALSE);
    return TRUE;
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd)
{
    if (!windowOrFail(hWnd))
        return FALSE;
    paintNow(hWnd);
    notify(Change::Painted, hWnd);
    return TRUE;
}

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    if (!windowAnswering(hWnd, lpPaint))
        return nullptr;
    return beginPaint(hWnd, *lpPaint);
}

extern "C" BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT *lpPaint)
{
    if (lpPaint)
        endPaint(hWnd, *lpPaint);
    return TRUE;
}

extern "C" HDC WINAPI GetDC(HWND hWnd)
{
    if (layer::failHere("GetDC"))
        return nullptr;
    if (!hWnd) {
        SIZE desktop = desktopSize();
        return newDC(nullptr, RECT{0, 0, desktop.cx, desktop.cy});
    }
    Window *w = windowOrFail(hWnd);
    if (!w)
        return nullptr;
    return newDC(hWnd, clientArea(*w));
}

// Windows releases the DC whichever window is named.
extern "C" int WINAPI ReleaseDC(HWND, HDC hDC)
{
    if (!findDC(hDC))
        return 0;
    releaseDC(hDC);
    return 1;
}

