// Where windows are and whether they show: the non-client metrics of the classic look, moving,
// sizing and stacking (SetWindowPos), showing and hiding, and the coordinates between a window's
// client area and the screen.
#include "layer.h"
#include "windowing.h"

#include <algorithm>

namespace layer {
namespace win {
namespace {

// Metrics of the classic look at 96 DPI, as Windows and Wine report them.
const int captionHeight = 19; // SM_CYCAPTION: the caption bar and the line under it
const int edgeWidth = 2;      // SM_CXEDGE: the sunken edge of WS_EX_CLIENTEDGE

void bringToTop(Window &window)
{
    std::vector<HWND> &siblings = siblingsOf(window);
    auto self = std::find(siblings.begin(), siblings.end(), window.handle);
    if (self == siblings.end())
        return;
    siblings.erase(self);
    siblings.insert(siblings.begin(), window.handle);
}

bool isMessageBoxWindow(HWND hwnd)
{
    MessageBoxView view;
    return messageBoxView(hwnd, view);
}

// Dialogs (not message boxes, which trace themselves) leave a line in the trace when they appear
// and disappear.
void visibilityChanged(Window &window)
{
    bool shown = (window.style & WS_VISIBLE) != 0;
    HWND hwnd = window.handle;
    if (!window.parent && isDialog(hwnd) && !isMessageBoxWindow(hwnd))
        trace(std::string(shown ? "dialog shown" : "dialog hidden") + " title=" + quoted(window.text));
    notify(shown ? Change::Shown : Change::Hidden, hwnd);
}

void becomeVisible(Window &window)
{
    HWND hwnd = window.handle;
    window.style |= WS_VISIBLE;
    invalidate(hwnd, nullptr, true);
    if (window.parent)
        return visibilityChanged(window);
    // A top-level window that appears has its background erased at once, its paint comes later.
    eraseNow(hwnd);
    if (Window *w = findWindow(hwnd))
        visibilityChanged(*w);
}

void becomeHidden(Window &window)
{
    HWND hwnd = window.handle;
    window.style &= ~WS_VISIBLE;
    // What the window covered shows its parent, and the siblings under it, again.
    if (window.parent) {
        RECT under = window.rect;
        invalidate(window.parent, &under, true);
    }
    if (Window *w = findWindow(hwnd))
        visibilityChanged(*w);
}

} // namespace

RECT nonClientMargins(DWORD style, DWORD exStyle)
{
    // The outer frame: one pixel for a static edge alone, two for a dialog or thick frame; then the
    // inner line of a border or frame; then the caption; then a client edge inside all of it.
    int frame = 0;
    if ((exStyle & (WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) == WS_EX_STATICEDGE)
        frame = 1;
    else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_THICKFRAME | WS_DLGFRAME)))
        frame = 2;
    if (style & WS_THICKFRAME)
        frame += 1;
    if ((style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME))
        frame += 1;
    RECT margins = {frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION)
        margins.top += captionHeight;
    if (exStyle & WS_EX_CLIENTEDGE) {
        margins.left += edgeWidth;
        margins.top += edgeWidth;
        margins.right += edgeWidth;
        margins.bottom += edgeWidth;
    }
    return margins;
}

SIZE clientSize(const Window &window)
{
    RECT m = nonClientMargins(window.style, window.exStyle);
    LONG width = window.rect.right - window.rect.left - m.left - m.right;
    LONG height = window.rect.bottom - window.rect.top - m.top - m.bottom;
    return {std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
}

POINT clientOriginOnScreen(const Window &window)
{
    RECT m = nonClientMargins(window.style, window.exStyle);
    POINT origin = {window.rect.left + m.left, window.rect.top + m.top};
    if (Window *parent = findWindow(window.parent)) {
        POINT parentOrigin = clientOriginOnScreen(*parent);
        origin.x += parentOrigin.x;
        origin.y += parentOrigin.y;
    }
    return origin;
}

bool showWindow(HWND hwnd, int command)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
        if (!wasVisible)
            return false;
        sendMessage(hwnd, WM_SHOWWINDOW, FALSE, 0);
        if (!(w = findWindow(hwnd)))
            return wasVisible;
        becomeHidden(*w);
        if (hwnd == activeWindow())
            activateOther(hwnd);
        // The focus goes back to the parent; a top-level window leaves none behind.
        if (hwnd == focusWindow()) {
            Window *hidden = findWindow(hwnd);
            setFocus(hidden ? hidden->parent : nullptr);
        }
        return wasVisible;
    }
    // SW_SHOW leaves a visible window as it is; SW_SHOWNORMAL activates it again.
    if (wasVisible && command == SW_SHOW)
        return wasVisible;
    if (!wasVisible) {
        sendMessage(hwnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = findWindow(hwnd)))
            return wasVisible;
        becomeVisible(*w);
    }
    if ((w = findWindow(hwnd)) && !w->parent)
        activateWindow(hwnd, false, true);
    return wasVisible;
}

void hideWindow(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (w && (w->style & WS_VISIBLE))
        becomeHidden(*w);
}

namespace {

bool setWindowPos(HWND hwnd, int x, int y, int cx, int cy, UINT flags)
{
    Window *w = windowOrFail(hwnd);
    if (!w)
        return false;
    if (hwnd == desktopWindow()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    SIZE oldSize = clientSize(*w);
    RECT oldRect = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        w->rect.right += x - w->rect.left;
        w->rect.bottom += y - w->rect.top;
        w->rect.left = x;
        w->rect.top = y;
    }
    if (!(flags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + cx;
        w->rect.bottom = w->rect.top + cy;
    }
    if (!(flags & SWP_NOZORDER))
        bringToTop(*w);
    bool moved = w->rect.left != oldRect.left || w->rect.top != oldRect.top;
    SIZE newSize = clientSize(*w);
    bool resized = newSize.cx != oldSize.cx || newSize.cy != oldSize.cy;
    if (resized)
        invalidate(hwnd, nullptr, true);
    if (!w->parent)
        activateWindow(hwnd, false, true);
    // Nothing handles WM_MOVE and WM_SIZE: they are not sent.
    if ((moved || resized) && findWindow(hwnd))
        notify(Change::Moved, hwnd);
    return true;
}

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

// The program hides and shows its windows, nothing more.
extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    if (layer::failHere("ShowWindow"))
        return FALSE;
    if (!windowOrFail(hWnd))
        return FALSE;
    if (nCmdShow != SW_HIDE && nCmdShow != SW_SHOW && nCmdShow != SW_SHOWNORMAL) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return showWindow(hWnd, nCmdShow);
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    return windowOrFail(hWnd) && isVisible(hWnd);
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    if (layer::failHere("GetWindowRect"))
        return FALSE;
    Window *w = windowAnswering(hWnd, lpRect);
    if (!w)
        return FALSE;
    RECT rect = w->rect;
    if (Window *parent = findWindow(w->parent)) {
        POINT origin = clientOriginOnScreen(*parent);
        rect.left += origin.x;
        rect.right += origin.x;
        rect.top += origin.y;
        rect.bottom += origin.y;
    }
    *lpRect = rect;
    return TRUE;
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    Window *w = windowAnswering(hWnd, lpRect);
    if (!w)
        return FALSE;
    SIZE size = clientSize(*w);
    *lpRect = {0, 0, size.cx, size.cy};
    return TRUE;
}

// The program moves and sizes a window and brings it to the top, which activates it; other places
// in the stacking order and other flags are refused.
extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    if (layer::failHere("SetWindowPos"))
        return FALSE;
    if ((uFlags & ~(SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER)) ||
        (!(uFlags & SWP_NOZORDER) && hWndInsertAfter != HWND_TOP)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return setWindowPos(hWnd, X, Y, cx, cy, uFlags);
}
