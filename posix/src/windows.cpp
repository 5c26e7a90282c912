// Window objects as user32 keeps them for the program's one GUI thread: handles, classes, the
// message queue (input comes from input.cpp), focus and activation, showing, enabling, placement, window longs and subclassing.
#include "layer.h"
#include "layer_control.h"
#include "windowing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <strings.h>

namespace layer {
namespace win {
namespace {

// Metrics of the classic look at 96 DPI, as Windows and Wine report them.
const int captionHeight = 19; // SM_CYCAPTION: the caption bar and the line under it
const int edgeWidth = 2;      // SM_CXEDGE: the sunken edge of WS_EX_CLIENTEDGE
const int sizingFrame = 4;    // SM_CXFRAME: the frame of a window that the user can size
const SIZE minTrack = {112, 27}; // SM_CXMINTRACK, SM_CYMINTRACK

// Window coordinates and sizes are 16-bit values in the window manager.
const int coordinateMin = -32768;
const int coordinateMax = 32767;

const SIZE defaultDesktop = {1024, 768};

// Window handles are small even numbers, as Windows' are; the desktop has the first.
const uintptr_t firstHandle = 0x10010;

struct State {
    std::map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> topLevel; // stacking order, topmost first
    std::vector<std::unique_ptr<WindowClass>> classes;
    bool systemClassesRegistered = false;
    std::deque<MSG> posted;
    HWND focus = nullptr;
    HWND active = nullptr;
    uintptr_t nextHandle = firstHandle;
    SIZE desktop = defaultDesktop;
    HWND desktopHandle = nullptr;
};

State &state()
{
    static State s;
    return s;
}

HWND newHandle()
{
    State &s = state();
    HWND hwnd;
    do {
        hwnd = reinterpret_cast<HWND>(s.nextHandle);
        s.nextHandle += 4;
    } while (hwnd == outsideWindow());
    return hwnd;
}

void ensureDesktop()
{
    State &s = state();
    if (s.desktopHandle)
        return;
    auto desktop = std::make_unique<Window>();
    desktop->handle = newHandle();
    desktop->windowClass = registerClass("#32769", defWindowProc);
    desktop->proc = defWindowProc;
    desktop->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    desktop->rect = {0, 0, s.desktop.cx, s.desktop.cy};
    s.desktopHandle = desktop->handle;
    s.windows[desktop->handle] = std::move(desktop);
}

bool isDesktop(HWND hwnd)
{
    return hwnd && hwnd == state().desktopHandle;
}

// SM_CXMAXTRACK, SM_CYMAXTRACK: the largest size the user can drag a window to, a little more than
// the desktop.
SIZE maxTrack()
{
    SIZE desktop = state().desktop;
    return {desktop.cx + 4 + 2 * sizingFrame, desktop.cy + 4 + 2 * sizingFrame};
}

int coordinate(int value)
{
    return std::min(std::max(value, coordinateMin), coordinateMax);
}

int extent(int value)
{
    return std::min(std::max(value, 0), coordinateMax);
}

std::vector<HWND> &siblingsOf(Window &window)
{
    if (window.parent) {
        if (Window *parent = findWindow(window.parent))
            return parent->children;
    }
    return state().topLevel;
}

void unlink(Window &window)
{
    std::vector<HWND> &siblings = siblingsOf(window);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window.handle), siblings.end());
}

void restack(Window &window, HWND insertAfter)
{
    std::vector<HWND> &siblings = siblingsOf(window);
    auto self = std::find(siblings.begin(), siblings.end(), window.handle);
    if (self == siblings.end() || insertAfter == window.handle)
        return;
    if (insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM &&
        std::find(siblings.begin(), siblings.end(), insertAfter) == siblings.end())
        return;
    siblings.erase(self);
    if (insertAfter == HWND_TOP)
        siblings.insert(siblings.begin(), window.handle);
    else if (insertAfter == HWND_BOTTOM)
        siblings.push_back(window.handle);
    else
        siblings.insert(std::find(siblings.begin(), siblings.end(), insertAfter) + 1, window.handle);
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

// The window that Windows activates when the active one goes away: its root owner if that can take
// it, else the next top-level window that can, else none.
void activateOther(HWND leaving)
{
    HWND next = nullptr;
    Window *w = findWindow(leaving);
    if (w && (w->style & WS_POPUP)) {
        HWND root = w->owner;
        while (Window *owner = findWindow(root)) {
            if (!owner->owner)
                break;
            root = owner->owner;
        }
        if (root && canActivate(root))
            next = root;
    }
    if (!next) {
        for (HWND candidate : topLevelWindows()) {
            if (candidate != leaving && canActivate(candidate)) {
                next = candidate;
                break;
            }
        }
    }
    activateWindow(next, false, true);
}

// Moves the focus without the checks of SetFocus: WM_KILLFOCUS to the window losing it (the focus
// has already moved when it arrives), then WM_SETFOCUS to the window gaining it.
HWND moveFocus(HWND hwnd)
{
    State &s = state();
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

void sendToTopLevel(UINT msg, WPARAM wParam, LPARAM lParam)
{
    for (HWND hwnd : topLevelWindows())
        sendMessage(hwnd, msg, wParam, lParam);
}

} // namespace

bool canActivate(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w && !w->parent && !isDesktop(hwnd) && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED);
}

Window *findWindow(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    ensureDesktop();
    auto it = state().windows.find(hwnd);
    return it == state().windows.end() ? nullptr : it->second.get();
}

Window *windowOrFail(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

const WindowClass *registerClass(const char *name, WNDPROC proc)
{
    State &s = state();
    for (auto &existing : s.classes) {
        if (strcasecmp(existing->name.c_str(), name) == 0)
            return existing.get();
    }
    s.classes.push_back(std::make_unique<WindowClass>(WindowClass{name, proc}));
    return s.classes.back().get();
}

const WindowClass *findClass(const char *name)
{
    State &s = state();
    if (!s.systemClassesRegistered) {
        s.systemClassesRegistered = true;
        registerSystemClasses();
    }
    for (auto &existing : s.classes) {
        if (strcasecmp(existing->name.c_str(), name) == 0)
            return existing.get();
    }
    return nullptr;
}

HWND createWindow(const CreateParams &params)
{
    State &s = state();
    ensureDesktop();
    const WindowClass *windowClass = findClass(params.className);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (params.style & WS_CHILD) != 0;
    if (child && !findWindow(params.parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    HWND hwnd = newHandle();
    window->handle = hwnd;
    window->windowClass = windowClass;
    window->proc = windowClass->proc;
    window->style = params.style & ~WS_VISIBLE;
    window->exStyle = params.exStyle;
    if (!child)
        window->style |= WS_CLIPSIBLINGS; // every top-level window clips its siblings
    if ((window->exStyle & WS_EX_DLGMODALFRAME) || (window->style & (WS_DLGFRAME | WS_THICKFRAME)))
        window->exStyle |= WS_EX_WINDOWEDGE;
    window->id = child ? params.id : 0;
    window->instance = params.instance;
    window->text = params.text ? params.text : "";
    window->parent = child ? params.parent : nullptr;
    window->owner = child || isDesktop(params.parent) ? nullptr : topLevelOf(params.parent);
    // A window that the user may size (a sizing frame, or an overlapped window) starts within the
    // tracking sizes of WM_GETMINMAXINFO's defaults; every window within 16-bit coordinates.
    int width = params.width;
    int height = params.height;
    if ((params.style & WS_THICKFRAME) || !(params.style & (WS_POPUP | WS_CHILD))) {
        SIZE largest = maxTrack();
        width = std::max(std::min<int>(width, largest.cx), static_cast<int>(minTrack.cx));
        height = std::max(std::min<int>(height, largest.cy), static_cast<int>(minTrack.cy));
    }
    int x = coordinate(params.x);
    int y = coordinate(params.y);
    window->rect = {x, y, x + extent(width), y + extent(height)};
    s.windows[hwnd] = std::move(window);
    if (child)
        findWindow(params.parent)->children.push_back(hwnd);
    else
        s.topLevel.insert(s.topLevel.begin(), hwnd);

    CREATESTRUCTA create = {};
    create.lpCreateParams = const_cast<void *>(params.createData);
    create.hInstance = params.instance;
    create.hwndParent = params.parent;
    create.x = params.x;
    create.y = params.y;
    create.cx = params.width;
    create.cy = params.height;
    create.style = static_cast<LONG>(params.style);
    create.lpszName = params.text;
    create.lpszClass = params.className;
    create.dwExStyle = params.exStyle;
    if (!sendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        sendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        destroyWindow(hwnd);
        return nullptr;
    }
    notify(Change::Created, hwnd);
    if (params.style & WS_VISIBLE)
        showWindow(hwnd, SW_SHOW);
    return findWindow(hwnd) ? hwnd : nullptr;
}

void destroyWindow(HWND hwnd)
{
    State &s = state();
    Window *w = findWindow(hwnd);
    if (!w || isDesktop(hwnd))
        return;
    for (HWND other : topLevelWindows()) {
        Window *owned = findWindow(other);
        if (owned && owned->owner == hwnd)
            destroyWindow(other);
    }
    if (findWindow(hwnd) && (findWindow(hwnd)->style & WS_VISIBLE))
        setWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (s.active == hwnd)
        activateOther(hwnd);
    if (s.focus && (s.focus == hwnd || isChildOf(hwnd, s.focus)))
        moveFocus(nullptr);
    if (!findWindow(hwnd))
        return;
    sendMessage(hwnd, WM_DESTROY, 0, 0);
    if (Window *still = findWindow(hwnd)) {
        std::vector<HWND> children = still->children;
        for (HWND child : children)
            destroyWindow(child);
    }
    if (!findWindow(hwnd))
        return;
    sendMessage(hwnd, WM_NCDESTROY, 0, 0);
    releaseWindowDCs(hwnd);
    w = findWindow(hwnd);
    if (!w)
        return;
    notify(Change::Destroyed, hwnd);
    unlink(*w);
    if (s.active == hwnd)
        s.active = nullptr;
    if (s.focus == hwnd)
        s.focus = nullptr;
    s.windows.erase(hwnd);
}

HWND desktopWindow()
{
    ensureDesktop();
    return state().desktopHandle;
}

SIZE desktopSize()
{
    return state().desktop;
}

HWND topLevelOf(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    while (w && w->parent) {
        hwnd = w->parent;
        w = findWindow(hwnd);
    }
    return w ? hwnd : nullptr;
}

bool isChildOf(HWND parent, HWND hwnd)
{
    Window *w = findWindow(hwnd);
    while (w && w->parent) {
        if (w->parent == parent)
            return true;
        w = findWindow(w->parent);
    }
    return false;
}

bool isVisible(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    for (; w; w = findWindow(w->parent)) {
        if (!(w->style & WS_VISIBLE))
            return false;
    }
    return true;
}

bool takesInput(HWND hwnd)
{
    if (!isVisible(hwnd))
        return false;
    for (Window *w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        if (w->style & WS_DISABLED)
            return false;
    }
    return true;
}

std::vector<HWND> topLevelWindows()
{
    ensureDesktop();
    return state().topLevel;
}

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

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w || !w->proc)
        return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd && !findWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    MSG posted = {};
    posted.hwnd = hwnd;
    posted.message = msg;
    posted.wParam = wParam;
    posted.lParam = lParam;
    state().posted.push_back(posted);
    return true;
}

bool peekMessage(MSG &msg)
{
    State &s = state();
    msg = MSG();
    if (!s.posted.empty()) {
        msg = s.posted.front();
        s.posted.pop_front();
        return true;
    }
    if (nextInputMessage(msg))
        return true;
    // Input that activated a window may have posted messages; they come before the rest of it.
    if (!s.posted.empty())
        return peekMessage(msg);
    if (HWND paint = nextWindowToPaint()) {
        msg.hwnd = paint;
        msg.message = WM_PAINT;
        return true;
    }
    return false;
}

bool postedMessagesWaiting()
{
    return !state().posted.empty();
}

bool messagePending()
{
    State &s = state();
    return !s.posted.empty() || inputPending() || nextWindowToPaint();
}

void dispatchMessage(const MSG &msg)
{
    if (msg.hwnd)
        sendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

HWND focusWindow()
{
    return state().focus;
}

HWND activeWindow()
{
    return state().active;
}

HWND setFocus(HWND hwnd)
{
    State &s = state();
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
    if (isDesktop(top))
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
    State &s = state();
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
    // The program comes to the front, or goes behind another one.
    if (!previous != !s.active)
        sendToTopLevel(WM_ACTIVATEAPP, s.active != nullptr, 0);
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

bool showWindow(HWND hwnd, int command)
{
    State &s = state();
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool child = w->parent != nullptr;
    if (command == SW_HIDE) {
        if (!wasVisible)
            return false;
        sendMessage(hwnd, WM_SHOWWINDOW, FALSE, 0);
        if (!(w = findWindow(hwnd)))
            return wasVisible;
        becomeHidden(*w);
        if (hwnd == s.active)
            activateOther(hwnd);
        // The focus goes back to the parent; a top-level window leaves none behind.
        if (hwnd == s.focus) {
            Window *hidden = findWindow(hwnd);
            setFocus(hidden ? hidden->parent : nullptr);
        }
        return wasVisible;
    }
    bool activates = !child && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE &&
                     command != SW_SHOWMINNOACTIVE;
    if (wasVisible && (command == SW_SHOW || command == SW_SHOWNA || command == SW_SHOWNOACTIVATE))
        return wasVisible;
    if (!wasVisible) {
        sendMessage(hwnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = findWindow(hwnd)))
            return wasVisible;
        becomeVisible(*w);
    }
    if (activates && findWindow(hwnd))
        activateWindow(hwnd, false, true);
    return wasVisible;
}

bool enableWindow(HWND hwnd, bool enable)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return false;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable && wasDisabled) {
        w->style &= ~WS_DISABLED;
        sendMessage(hwnd, WM_ENABLE, TRUE, 0);
        notify(Change::Enabled, hwnd);
    } else if (!enable && !wasDisabled) {
        sendMessage(hwnd, WM_CANCELMODE, 0, 0);
        if (!(w = findWindow(hwnd)))
            return wasDisabled;
        w->style |= WS_DISABLED;
        if (hwnd == state().focus)
            setFocus(nullptr);
        sendMessage(hwnd, WM_ENABLE, FALSE, 0);
        notify(Change::Enabled, hwnd);
    }
    return wasDisabled;
}

bool setWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    Window *w = windowOrFail(hwnd);
    if (!w)
        return false;
    if (isDesktop(hwnd)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    SIZE oldSize = clientSize(*w);
    RECT oldRect = w->rect;
    // As SetWindowPos does, positions and sizes are kept within 16-bit coordinates.
    x = coordinate(x);
    y = coordinate(y);
    cx = extent(cx);
    cy = extent(cy);
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
        restack(*w, insertAfter);
    bool moved = w->rect.left != oldRect.left || w->rect.top != oldRect.top;
    SIZE newSize = clientSize(*w);
    bool resized = newSize.cx != oldSize.cx || newSize.cy != oldSize.cy;
    bool child = w->parent != nullptr;

    if ((flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
        becomeVisible(*w);
    } else if ((flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
        becomeHidden(*w);
    } else if (resized && !(flags & SWP_NOREDRAW)) {
        invalidate(hwnd, nullptr, true);
    }
    if (!child && !(flags & (SWP_NOACTIVATE | SWP_HIDEWINDOW)))
        activateWindow(hwnd, false, true);
    if (!(w = findWindow(hwnd)))
        return true;
    if (moved || resized)
        notify(Change::Moved, hwnd);
    if (moved) {
        RECT m = nonClientMargins(w->style, w->exStyle);
        sendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(w->rect.left + m.left, w->rect.top + m.top));
    }
    if (resized && findWindow(hwnd))
        sendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(newSize.cx, newSize.cy));
    return true;
}

std::vector<HWND> childWindows(HWND hwnd)
{
    if (isDesktop(hwnd))
        return topLevelWindows();
    Window *w = findWindow(hwnd);
    return w ? w->children : std::vector<HWND>();
}

namespace {

const ResetHook resetWindows([] {
    State &s = state();
    // Leftover windows go without messages: the code that made them belongs to a test that has
    // ended.
    s.windows.clear();
    s.topLevel.clear();
    s.classes.clear();
    s.systemClassesRegistered = false;
    s.posted.clear();
    s.focus = nullptr;
    s.active = nullptr;
    s.desktop = defaultDesktop;
    s.desktopHandle = nullptr;
});

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" void layerSetDesktopSize(int width, int height)
{
    if (width < 1 || height < 1) {
        fprintf(stderr, "layerSetDesktopSize: %d x %d is no desktop size; it stays %ld x %ld\n", width,
                height, static_cast<long>(state().desktop.cx), static_cast<long>(state().desktop.cy));
        return;
    }
    state().desktop = {width, height};
    if (Window *desktop = findWindow(desktopWindow()))
        desktop->rect = {0, 0, width, height};
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (layer::failHere("SendMessageA"))
        return 0;
    if (!windowOrFail(hWnd))
        return 0;
    return sendMessage(hWnd, Msg, wParam, lParam);
}

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (layer::failHere("PostMessageA"))
        return FALSE;
    return postMessage(hWnd, Msg, wParam, lParam);
}

LRESULT layer::win::defWindowProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hWnd);
    if (!w)
        return 0;
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char *>(lParam) : "";
        notify(Change::Text, hWnd);
        return TRUE;
    case WM_GETTEXT: {
        char *buffer = reinterpret_cast<char *>(lParam);
        if (!buffer || wParam == 0)
            return 0;
        size_t count = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
        memcpy(buffer, w->text.data(), count);
        buffer[count] = '\0';
        return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_PAINT: {
        PAINTSTRUCT paint;
        beginPaint(hWnd, paint);
        endPaint(hWnd, paint);
        return 0;
    }
    case WM_CLOSE:
        destroyWindow(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            sendMessage(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_ACTIVATE:
        // An activated window takes the focus itself, unless its procedure placed it.
        if (LOWORD(wParam) != WA_INACTIVE)
            setFocus(hWnd);
        return 0;
    case WM_NCACTIVATE:
        return TRUE;
    }
    return 0;
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (layer::failHere("DefWindowProcA"))
        return 0;
    if (!windowOrFail(hWnd))
        return 0;
    return defWindowProc(hWnd, Msg, wParam, lParam);
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam)
{
    if (layer::failHere("CallWindowProcA"))
        return 0;
    if (!lpPrevWndFunc)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

namespace {

// Reads (and with replace, writes) one window long; false with the last error set when the window
// or the index is not valid.
bool windowLong(HWND hwnd, int index, bool replace, LONG_PTR value, LONG_PTR &old)
{
    Window *w = windowOrFail(hwnd);
    if (!w)
        return false;
    switch (index) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        if (replace)
            w->proc = reinterpret_cast<WNDPROC>(value);
        return true;
    case GWLP_HINSTANCE:
        old = reinterpret_cast<LONG_PTR>(w->instance);
        if (replace)
            w->instance = reinterpret_cast<HINSTANCE>(value);
        return true;
    case GWLP_HWNDPARENT:
        old = reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
        if (replace && !w->parent)
            w->owner = reinterpret_cast<HWND>(value);
        return true;
    case GWLP_ID:
        old = w->id;
        if (replace)
            w->id = value;
        return true;
    case GWLP_USERDATA:
        old = w->userData;
        if (replace)
            w->userData = value;
        return true;
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        if (replace)
            w->style = static_cast<DWORD>(value);
        return true;
    case GWL_EXSTYLE:
        old = static_cast<LONG>(w->exStyle);
        if (replace)
            w->exStyle = static_cast<DWORD>(value);
        return true;
    }
    if (LONG_PTR *slot = dialogLongSlot(hwnd, index)) {
        old = *slot;
        if (replace)
            *slot = value;
        return true;
    }
    SetLastError(ERROR_INVALID_INDEX);
    return false;
}

// On 64-bit Windows the 32-bit calls refuse the indexes that hold pointers.
bool pointerIndex(int index)
{
    return sizeof(LONG_PTR) > sizeof(LONG) &&
           (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT);
}

} // namespace

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    if (layer::failHere("GetWindowLongPtrA"))
        return 0;
    LONG_PTR value = 0;
    return windowLong(hWnd, nIndex, false, 0, value) ? value : 0;
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    if (layer::failHere("SetWindowLongPtrA"))
        return 0;
    LONG_PTR old = 0;
    return windowLong(hWnd, nIndex, true, dwNewLong, old) ? old : 0;
}

extern "C" LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex)
{
    if (layer::failHere("GetWindowLongA"))
        return 0;
    if (pointerIndex(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = 0;
    return windowLong(hWnd, nIndex, false, 0, value) ? static_cast<LONG>(value) : 0;
}

extern "C" LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong)
{
    if (layer::failHere("SetWindowLongA"))
        return 0;
    if (pointerIndex(nIndex)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR old = 0;
    return windowLong(hWnd, nIndex, true, dwNewLong, old) ? static_cast<LONG>(old) : 0;
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    if (layer::failHere("ShowWindow"))
        return FALSE;
    if (!windowOrFail(hWnd))
        return FALSE;
    return showWindow(hWnd, nCmdShow);
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd)
{
    if (layer::failHere("IsWindow"))
        return FALSE;
    return windowOrFail(hWnd) != nullptr;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    if (layer::failHere("IsWindowVisible"))
        return FALSE;
    return windowOrFail(hWnd) && isVisible(hWnd);
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    if (layer::failHere("IsWindowEnabled"))
        return FALSE;
    Window *w = windowOrFail(hWnd);
    return w && !(w->style & WS_DISABLED);
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    if (layer::failHere("EnableWindow"))
        return FALSE;
    if (!windowOrFail(hWnd))
        return FALSE;
    return enableWindow(hWnd, bEnable != FALSE);
}

extern "C" HWND WINAPI SetFocus(HWND hWnd)
{
    if (layer::failHere("SetFocus"))
        return nullptr;
    return setFocus(hWnd);
}

extern "C" HWND WINAPI GetFocus(void)
{
    if (layer::failHere("GetFocus"))
        return nullptr;
    return focusWindow();
}

extern "C" HWND WINAPI GetActiveWindow(void)
{
    if (layer::failHere("GetActiveWindow"))
        return nullptr;
    return activeWindow();
}

extern "C" HWND WINAPI GetDesktopWindow(void)
{
    if (layer::failHere("GetDesktopWindow"))
        return nullptr;
    return desktopWindow();
}

extern "C" HWND WINAPI GetParent(HWND hWnd)
{
    if (layer::failHere("GetParent"))
        return nullptr;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return nullptr;
    if (w->parent)
        return w->parent;
    // A popup's "parent" is its owner.
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd)
{
    if (layer::failHere("GetWindow"))
        return nullptr;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return nullptr;
    if (uCmd == GW_CHILD) {
        std::vector<HWND> children = childWindows(hWnd);
        return children.empty() ? nullptr : children.front();
    }
    if (uCmd == GW_OWNER)
        return w->parent ? nullptr : w->owner;
    if (uCmd == GW_ENABLEDPOPUP) {
        // The enabled popup that the window owns, else the window itself.
        for (HWND candidate : topLevelWindows()) {
            Window *popup = findWindow(candidate);
            if (popup->owner == hWnd && (popup->style & WS_POPUP) && (popup->style & WS_VISIBLE) &&
                !(popup->style & WS_DISABLED))
                return candidate;
        }
        return hWnd;
    }
    if (uCmd > GW_HWNDPREV || isDesktop(hWnd))
        return nullptr;
    const std::vector<HWND> siblings = siblingsOf(*w);
    auto self = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
    case GW_HWNDFIRST:
        return siblings.front();
    case GW_HWNDLAST:
        return siblings.back();
    case GW_HWNDNEXT:
        return self + 1 < siblings.end() ? *(self + 1) : nullptr;
    default:
        return self > siblings.begin() ? *(self - 1) : nullptr;
    }
}

extern "C" HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    if (layer::failHere("FindWindowA"))
        return nullptr;
    // A class may be given as an atom; the system's classes are named "#<atom>".
    std::string className;
    if (lpClassName)
        className = IS_INTRESOURCE(lpClassName)
                        ? "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(lpClassName)))
                        : std::string(lpClassName);
    if (lpClassName && !findClass(className.c_str())) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    // Titles compare without case, as Windows compares them.
    for (HWND hwnd : topLevelWindows()) {
        Window *w = findWindow(hwnd);
        if (lpClassName && strcasecmp(w->windowClass->name.c_str(), className.c_str()) != 0)
            continue;
        if (lpWindowName && strcasecmp(w->text.c_str(), lpWindowName) != 0)
            continue;
        return hwnd;
    }
    return nullptr;
}

extern "C" int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    if (layer::failHere("GetClassNameA"))
        return 0;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return 0;
    if (!lpClassName || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::string &name = w->windowClass->name;
    size_t count = std::min(name.size(), static_cast<size_t>(nMaxCount) - 1);
    memcpy(lpClassName, name.data(), count);
    lpClassName[count] = '\0';
    return static_cast<int>(count);
}

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (layer::failHere("GetWindowTextA"))
        return 0;
    if (lpString && nMaxCount > 0)
        lpString[0] = '\0';
    if (!windowOrFail(hWnd) || !lpString || nMaxCount <= 0)
        return 0;
    return static_cast<int>(
        sendMessage(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (layer::failHere("SetWindowTextA"))
        return FALSE;
    if (!windowOrFail(hWnd))
        return FALSE;
    return sendMessage(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

extern "C" int WINAPI GetSystemMetrics(int nIndex)
{
    if (layer::failHere("GetSystemMetrics"))
        return 0;
    switch (nIndex) {
    case SM_CXSCREEN:
        return state().desktop.cx;
    case SM_CYSCREEN:
        return state().desktop.cy;
    case SM_CXMINTRACK:
        return minTrack.cx;
    case SM_CYMINTRACK:
        return minTrack.cy;
    case SM_CXMAXTRACK:
        return maxTrack().cx;
    case SM_CYMAXTRACK:
        return maxTrack().cy;
    }
    return 0;
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    if (layer::failHere("GetWindowRect"))
        return FALSE;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
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
    if (layer::failHere("GetClientRect"))
        return FALSE;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return FALSE;
    if (!lpRect) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    SIZE size = clientSize(*w);
    *lpRect = {0, 0, size.cx, size.cy};
    return TRUE;
}

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    if (layer::failHere("ClientToScreen"))
        return FALSE;
    Window *w = windowOrFail(hWnd);
    if (!w)
        return FALSE;
    if (!lpPoint) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    POINT origin = clientOriginOnScreen(*w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    if (layer::failHere("SetWindowPos"))
        return FALSE;
    return setWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
}
