// Focus and activation: which of the program's windows takes the keys and which top-level window
// is in front, with the messages that Windows sends as they move.
#include "layer.h"
#include "windowing.h"

namespace layer {
namespace win {
namespace {

struct FocusState {
    HWND focus = nullptr;
    HWND active = nullptr;
};

FocusState &focusState()
{
    static FocusState s;
    return s;
}

const ResetHook resetFocus([] { focusState() = FocusState(); });

} // namespace

// The window that Windows activates when the active one goes away: the next top-level window that
// can take it, else none. (An owner, which Windows prefers, is disabled while its modal dialog is
// up, and EndDialog gives it activation itself.)
void activateOther(HWND leaving)
{
    HWND next = nullptr;
    for (HWND candidate : topLevelWindows()) {
        if (candidate != leaving && canActivate(candidate)) {
            next = candidate;
            break;
        }
    }
    activateWindow(next, false, true);
}

// Moves the focus without the checks of SetFocus: WM_KILLFOCUS to the window losing it (the focus
// has already moved when it arrives), then WM_SETFOCUS to the window gaining it.
HWND moveFocus(HWND hwnd)
{
    FocusState &s = focusState();
    HWND previous = s.focus;
    if (previous == hwnd)
        return previous;
    s.focus = hwnd;
    notify(Change::Focus, hwnd);
    if (previous && findWindow(previous)) {
        sendMessage(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
        if (s.focus != hwnd)
            return previous;
    }
    if (hwnd && findWindow(hwnd))
        sendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    return previous;
}

bool canActivate(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w && !w->parent && hwnd != desktopWindow() && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

HWND focusWindow()
{
    return focusState().focus;
}

HWND activeWindow()
{
    return focusState().active;
}

HWND setFocus(HWND hwnd)
{
    FocusState &s = focusState();
    HWND previous = s.focus;
    if (!hwnd) {
        if (!previous)
            return nullptr;
        return moveFocus(nullptr);
    }
    if (!windowOrFail(hwnd))
        return nullptr;
    if (hwnd == previous)
        return previous;
    // A disabled window, or one inside a disabled window, cannot take the focus.
    HWND top = hwnd;
    for (;;) {
        Window *w = findWindow(top);
        if (w->style & WS_DISABLED)
            return nullptr;
        if (!w->parent)
            break;
        top = w->parent;
    }
    if (top == desktopWindow())
        return nullptr;
    if (top != s.active) {
        activateWindow(top, false, false);
        if (!findWindow(hwnd) || top != s.active)
            return nullptr;
    }
    return moveFocus(hwnd);
}

void activateWindow(HWND hwnd, bool byMouse, bool moveFocusToo)
{
    FocusState &s = focusState();
    HWND previous = s.active;
    if (previous == hwnd)
        return;
    if (previous && findWindow(previous)) {
        sendMessage(previous, WM_NCACTIVATE, FALSE, reinterpret_cast<LPARAM>(hwnd));
        sendMessage(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hwnd));
    }
    s.active = hwnd && findWindow(hwnd) ? hwnd : nullptr;
    if (s.active)
        sendMessage(hwnd, WM_QUERYNEWPALETTE, 0, 0);
    if (s.active && findWindow(hwnd)) {
        sendMessage(hwnd, WM_NCACTIVATE, TRUE, reinterpret_cast<LPARAM>(previous));
        sendMessage(hwnd, WM_ACTIVATE, MAKEWPARAM(byMouse ? WA_CLICKACTIVE : WA_ACTIVE, 0),
                    reinterpret_cast<LPARAM>(previous));
    }
    notify(Change::Activation, s.active);
    if (!moveFocusToo)
        return;
    if (!s.active) {
        moveFocus(nullptr);
    } else if (s.active == hwnd && (!s.focus || topLevelOf(s.focus) != hwnd)) {
        moveFocus(hwnd);
    }
}

void forgetWindow(HWND hwnd)
{
    FocusState &s = focusState();
    if (s.active == hwnd)
        s.active = nullptr;
    if (s.focus == hwnd)
        s.focus = nullptr;
}

} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" HWND WINAPI SetFocus(HWND hWnd)
{
    return setFocus(hWnd);
}

