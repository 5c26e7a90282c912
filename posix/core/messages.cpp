// Messages: posting them, retrieving them in the order Windows does (posted messages, input, then
// WM_PAINT), sending them to a window's procedure, and the default window procedure.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace layer {
namespace win {
namespace {

struct MessageState {
    std::deque<MSG> posted;
};

MessageState &messageState()
{
    static MessageState s;
    return s;
}

const ResetHook resetMessages([] { messageState().posted.clear(); });

} // namespace

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w || !w->proc)
        return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

// Messages are posted to windows; the thread's own queue, which a null window names, is not served.
bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!findWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    MSG posted = {};
    posted.hwnd = hwnd;
    posted.message = msg;
    posted.wParam = wParam;
    posted.lParam = lParam;
    messageState().posted.push_back(posted);
    return true;
}

bool peekMessage(MSG &msg)
{
    MessageState &s = messageState();
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
    return !messageState().posted.empty();
}

bool messagePending()
{
    MessageState &s = messageState();
    return !s.posted.empty() || inputPending() || nextWindowToPaint();
}

void dispatchMessage(const MSG &msg)
{
    sendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!windowOrFail(hWnd))
        return 0;
    return sendMessage(hWnd, Msg, wParam, lParam);
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
    case WM_PAINT: {
        PAINTSTRUCT paint;
        beginPaint(hWnd, paint);
        endPaint(hWnd, paint);
        return 0;
    }
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            sendMessage(hWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return 0;
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam)
{
    if (!lpPrevWndFunc)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

