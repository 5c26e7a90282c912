// Window objects as user32 keeps them for the program's one GUI thread: handles, classes, creation
// and destruction, the tree of parents, owners and children, enabling, text, window longs and
// subclassing. Messages, focus and placement have files of their own (messages.cpp, focus.cpp,
// winpos.cpp).
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <strings.h>
#include <unistd.h>

namespace layer {
namespace win {
namespace {

const SIZE defaultDesktop = {1024, 768};

// Window handles are small even numbers, as Windows' are; the desktop has the first.
const uintptr_t firstHandle = 0x10010;

struct State {
    std::map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> topLevel; // stacking order, topmost first
    std::vector<std::unique_ptr<WindowClass>> classes;
    bool systemClassesRegistered = false;
    uintptr_t nextHandle = firstHandle;
    SIZE desktop = defaultDesktop;
    HWND desktopHandle = nullptr;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

namespace {

HWND newHandle()
{
    State &s = state();
    HWND hwnd = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 4;
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

} // namespace

std::vector<HWND> &siblingsOf(Window &window)
{
    if (window.parent) {
        if (Window *parent = findWindow(window.parent))
            return parent->children;
    }
    return state().topLevel;
}

namespace {

void unlink(Window &window)
{
    std::vector<HWND> &siblings = siblingsOf(window);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window.handle), siblings.end());
}

} // namespace

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

Window *windowAnswering(HWND hwnd, const void *out)
{
    Window *w = windowOrFail(hwnd);
    if (w && !out) {
        SetLastError(ERROR_NOACCESS);
        return nullptr;
    }
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
    window->id = child ? params.id : 0;
    window->text = params.text ? params.text : "";
    window->parent = child ? params.parent : nullptr;
    window->owner = child || isDesktop(params.parent) ? nullptr : topLevelOf(params.parent);
    window->rect = {params.x, params.y, params.x + params.width, params.y + params.height};
    s.windows[hwnd] = std::move(window);
    if (child)
        findWindow(params.parent)->children.push_back(hwnd);
    else
        s.topLevel.insert(s.topLevel.begin(), hwnd);

    // Nothing reads the creation parameters that Windows passes with these messages.
    if (!sendMessage(hwnd, WM_NCCREATE, 0, 0) || sendMessage(hwnd, WM_CREATE, 0, 0) == -1) {
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
    hideWindow(hwnd);
    if (activeWindow() == hwnd)
        activateOther(hwnd);
    if (focusWindow() && (focusWindow() == hwnd || isChildOf(hwnd, focusWindow())))
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
    forgetWindow(hwnd);
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
        w->style |= WS_DISABLED;
        if (hwnd == focusWindow())
            setFocus(nullptr);
        sendMessage(hwnd, WM_ENABLE, FALSE, 0);
        notify(Change::Enabled, hwnd);
    }
    return wasDisabled;
}

std::vector<HWND> childWindows(HWND hwnd)
{
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
    s.desktop = defaultDesktop;
    s.desktopHandle = nullptr;
});

} // namespace

void setDesktopSize(SIZE size)
{
    state().desktop = size;
    if (Window *desktop = findWindow(desktopWindow()))
        desktop->rect = {0, 0, size.cx, size.cy};
}

} // namespace win
} // namespace layer

using namespace layer::win;

bool layer::win::windowLong(HWND hwnd, int index, bool replace, LONG_PTR value, LONG_PTR &old)
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
    SetLastError(ERROR_INVALID_INDEX);
    return false;
}

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    LONG_PTR value = 0;
    return windowLong(hWnd, nIndex, false, 0, value) ? value : 0;
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    LONG_PTR old = 0;
    return windowLong(hWnd, nIndex, true, dwNewLong, old) ? old : 0;
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable)
{
    if (!windowOrFail(hWnd))
        return FALSE;
    return enableWindow(hWnd, bEnable != FALSE);
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    if (!windowOrFail(hWnd))
        return 0;
    DWORD id = static_cast<DWORD>(getpid());
    if (lpdwProcessId)
        *lpdwProcessId = id;
    return id;
}

extern "C" HWND WINAPI GetDesktopWindow(void)
{
    return desktopWindow();
}
