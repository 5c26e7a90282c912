// A window as a front end shows it: what it is and says, where it stands, and its pixels.
#include "textscreen.h"

namespace layer {
namespace win {

bool viewWindow(HWND hwnd, WindowView &view)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    view.handle = hwnd;
    view.className = w->windowClass->name;
    view.id = static_cast<int>(w->id);
    view.text = w->text;
    view.style = w->style;
    view.exStyle = w->exStyle;
    view.visible = isVisible(hwnd);
    view.enabled = !(w->style & WS_DISABLED);
    view.focused = focusWindow() == hwnd;
    view.defaultButton = isDefaultButton(hwnd);
    view.isProgress = progressState(hwnd, view.progress);
    if (!view.isProgress)
        view.progress = ProgressState{0, 0, 0, 0};
    POINT origin = clientOriginOnScreen(*w);
    RECT m = nonClientMargins(w->style, w->exStyle);
    SIZE size = clientSize(*w);
    view.clientRect = {origin.x, origin.y, origin.x + size.cx, origin.y + size.cy};
    view.windowRect = {origin.x - m.left, origin.y - m.top, origin.x - m.left + (w->rect.right - w->rect.left),
                       origin.y - m.top + (w->rect.bottom - w->rect.top)};
    return true;
}

bool readSurface(HWND hwnd, int &width, int &height, std::vector<COLORREF> &pixels)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    Surface &surface = surfaceOf(*w);
    width = surface.width;
    height = surface.height;
    pixels.clear();
    pixels.reserve(surface.pixels.size());
    for (uint32_t pixel : surface.pixels)
        pixels.push_back(shownColour(pixel));
    return true;
}

} // namespace win
} // namespace layer
