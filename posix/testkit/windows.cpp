// The window calls that only tests make, to look at what the program did: windows, their texts,
// classes and relations, dialog units, the update region, and the default procedures.
#include "layer.h"
#include "resources.h"
#include "windowing.h"

#include <algorithm>
#include <cstring>

using namespace layer::win;

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    Window *w = windowAnswering(hWnd, lpPoint);
    if (!w)
        return FALSE;
    POINT origin = clientOriginOnScreen(*w);
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd)
{
    Window *w = windowOrFail(hWnd);
    return w ? static_cast<int>(w->id) : 0;
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    if (lpString && cchMax > 0)
        lpString[0] = '\0';
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    if (!control || !lpString || cchMax <= 0)
        return 0;
    return static_cast<UINT>(
        sendMessage(control, WM_GETTEXT, static_cast<WPARAM>(cchMax), reinterpret_cast<LPARAM>(lpString)));
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!windowOrFail(hWnd))
        return 0;
    return defWindowProc(hWnd, Msg, wParam, lParam);
}

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return postMessage(hWnd, Msg, wParam, lParam);
}

extern "C" HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
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

extern "C" HWND WINAPI GetParent(HWND hWnd)
{
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
    if (uCmd > GW_HWNDPREV || hWnd == desktopWindow())
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

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (lpString && nMaxCount > 0)
        lpString[0] = '\0';
    if (!windowOrFail(hWnd) || !lpString || nMaxCount <= 0)
        return 0;
    return static_cast<int>(
        sendMessage(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd)
{
    return windowOrFail(hWnd) != nullptr;
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd)
{
    Window *w = windowOrFail(hWnd);
    return w && !(w->style & WS_DISABLED);
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (!windowOrFail(hWnd))
        return FALSE;
    return sendMessage(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

extern "C" HWND WINAPI GetActiveWindow(void)
{
    return activeWindow();
}

extern "C" HWND WINAPI GetFocus(void)
{
    return focusWindow();
}

extern "C" BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase)
{
    Window *w = windowOrFail(hWnd);
    if (!w)
        return FALSE;
    bool invalid = needsPaint(hWnd);
    if (lpRect)
        *lpRect = invalid ? w->update : RECT{0, 0, 0, 0};
    if (invalid && bErase)
        sendErase(hWnd);
    return invalid;
}

// Tests validate whole windows; a rectangle is not served.
extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect)
{
    if (!windowOrFail(hWnd))
        return FALSE;
    if (lpRect) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    validate(hWnd);
    return TRUE;
}

extern "C" HWND WINAPI WindowFromDC(HDC hDC)
{
    DeviceContext *dc = findDC(hDC);
    if (!dc)
        return nullptr;
    return dc->window ? dc->window : desktopWindow();
}


extern "C" int WINAPI GetSystemMetrics(int nIndex)
{
    SIZE desktop = desktopSize();
    return nIndex == SM_CXSCREEN ? desktop.cx : nIndex == SM_CYSCREEN ? desktop.cy : 0;
}

// On 64-bit Windows the 32-bit call refuses the window procedure, a pointer.
extern "C" LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex)
{
    if (sizeof(LONG_PTR) > sizeof(LONG) && nIndex == GWLP_WNDPROC) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = 0;
    return windowLong(hWnd, nIndex, false, 0, value) ? static_cast<LONG>(value) : 0;
}

extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect)
{
    int baseX, baseY;
    if (!windowOrFail(hDlg) || !dialogBaseUnits(hDlg, baseX, baseY) || !lpRect)
        return FALSE;
    lpRect->left = mulDiv(lpRect->left, baseX, 4);
    lpRect->right = mulDiv(lpRect->right, baseX, 4);
    lpRect->top = mulDiv(lpRect->top, baseY, 8);
    lpRect->bottom = mulDiv(lpRect->bottom, baseY, 8);
    return TRUE;
}
