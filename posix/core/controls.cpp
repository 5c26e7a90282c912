// The system's control classes: Button and Static as user32 provides them, and the progress bar
// (msctls_progress32) that InitCommonControls registers. They draw nothing on their surfaces; a
// front end shows their state. They validate what they are asked to paint, as Windows' controls do.
#include "layer.h"
#include "windowing.h"

#include <commctrl.h>

#include <algorithm>

namespace layer {
namespace win {
namespace {

// Whether a push button is pushed in, and whether the mouse button or the space bar went down on
// it (the click completes when it comes up).
struct ButtonState : WindowExtra {
    bool pushed = false;
    bool pressed = false;
};

ButtonState *buttonOf(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w ? dynamic_cast<ButtonState *>(w->extra.get()) : nullptr;
}

void notifyParent(HWND hwnd, WORD code)
{
    Window *w = findWindow(hwnd);
    if (w && w->parent)
        sendMessage(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(hwnd));
}

void paintOnly(HWND hwnd)
{
    PAINTSTRUCT paint;
    beginPaint(hwnd, paint);
    endPaint(hwnd, paint);
}

void setPushed(HWND hwnd, bool pushed)
{
    ButtonState *button = buttonOf(hwnd);
    if (!button || button->pushed == pushed)
        return;
    button->pushed = pushed;
    invalidate(hwnd, nullptr, false);
}

// The end of a click, by the mouse button or the space bar: the button acts if it was pressed on
// and is still pushed.
void release(HWND hwnd, bool inside)
{
    ButtonState *button = buttonOf(hwnd);
    if (!button || !button->pressed)
        return;
    button->pressed = false;
    if (!button->pushed)
        return;
    setPushed(hwnd, false);
    if (inside)
        notifyParent(hwnd, BN_CLICKED);
}

LRESULT CALLBACK buttonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_CREATE:
        w->extra = std::make_unique<ButtonState>();
        return 0;
    case WM_GETDLGCODE:
        switch (w->style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        }
        return DLGC_BUTTON;
    case WM_ENABLE:
        invalidate(hwnd, nullptr, false);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintOnly(hwnd);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            setPushed(hwnd, true);
            if (ButtonState *button = buttonOf(hwnd))
                button->pressed = true;
        }
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE)
            release(hwnd, true);
        return 0;
    case WM_LBUTTONDOWN:
        setFocus(hwnd);
        if (ButtonState *button = buttonOf(hwnd))
            button->pressed = true;
        setPushed(hwnd, true);
        return 0;
    case WM_LBUTTONUP: {
        SIZE size = clientSize(*w);
        int x = static_cast<short>(LOWORD(lParam));
        int y = static_cast<short>(HIWORD(lParam));
        release(hwnd, x >= 0 && y >= 0 && x < size.cx && y < size.cy);
        return 0;
    }
    case WM_SETFOCUS:
        invalidate(hwnd, nullptr, false);
        return 0;
    case WM_KILLFOCUS:
        if (ButtonState *button = buttonOf(hwnd)) {
            if (button->pressed) {
                button->pressed = false;
                setPushed(hwnd, false);
            }
        }
        invalidate(hwnd, nullptr, false);
        return 0;
    case WM_SETTEXT:
        defWindowProc(hwnd, msg, wParam, lParam);
        invalidate(hwnd, nullptr, true);
        return TRUE;
    case BM_SETSTYLE: {
        UINT oldType = w->style & BS_TYPEMASK;
        w->style = (w->style & ~BS_TYPEMASK) | (static_cast<DWORD>(wParam) & BS_TYPEMASK);
        if (lParam)
            invalidate(hwnd, nullptr, true);
        if (oldType != (w->style & BS_TYPEMASK))
            notify(Change::DefaultButton, hwnd);
        return 0;
    }
    case BM_CLICK:
        sendMessage(hwnd, WM_LBUTTONDOWN, 0, 0);
        sendMessage(hwnd, WM_LBUTTONUP, 0, 0);
        return 0;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK staticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return 0;
    switch (msg) {
    case WM_NCCREATE:
        // A sunken static has the thin sunken edge of WS_EX_STATICEDGE around it.
        if (w->style & SS_SUNKEN)
            w->exStyle |= WS_EX_STATICEDGE;
        return defWindowProc(hwnd, msg, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_ERASEBKGND:
        return 1; // all of it is drawn in WM_PAINT
    case WM_PAINT:
        paintOnly(hwnd);
        return 0;
    case WM_ENABLE:
        invalidate(hwnd, nullptr, false);
        return 0;
    case WM_SETTEXT:
        defWindowProc(hwnd, msg, wParam, lParam);
        invalidate(hwnd, nullptr, true);
        return TRUE;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

struct ProgressInfo : WindowExtra {
    ProgressState state = {0, 100, 0, 10};
};

ProgressInfo *progressOf(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w ? dynamic_cast<ProgressInfo *>(w->extra.get()) : nullptr;
}

void clampPosition(ProgressState &state)
{
    if (state.position < state.low)
        state.position = state.low;
    if (state.position > state.high)
        state.position = state.high;
}

// A new position is painted at once; going back also erases the part of the bar it leaves.
void positionChanged(HWND hwnd, int oldPosition, int newPosition)
{
    invalidate(hwnd, nullptr, oldPosition > newPosition);
    paintNow(hwnd);
    notify(Change::Progress, hwnd);
}

LRESULT setRange(HWND hwnd, ProgressState &state, int low, int high)
{
    // The previous range, in the halves of an unsigned 32-bit value.
    LRESULT previous = static_cast<DWORD>(MAKELONG(LOWORD(state.low), LOWORD(state.high)));
    if (state.low == low && state.high == high)
        return previous;
    state.low = low;
    state.high = high;
    clampPosition(state);
    invalidate(hwnd, nullptr, true);
    notify(Change::Progress, hwnd);
    return previous;
}

LRESULT CALLBACK progressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window *w = findWindow(hwnd);
    if (!w)
        return 0;
    if (msg == WM_CREATE) {
        // The bar draws its own frame, themed as under Wine and Windows XP and later, so the edge
        // that a dialog gives a bordered control goes.
        w->exStyle &= ~WS_EX_CLIENTEDGE;
        w->extra = std::make_unique<ProgressInfo>();
        return 0;
    }
    ProgressInfo *info = progressOf(hwnd);
    if (!info)
        return defWindowProc(hwnd, msg, wParam, lParam);
    ProgressState &state = info->state;
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        paintOnly(hwnd);
        return 0;
    case PBM_SETRANGE:
        // Two 16-bit bounds, unsigned, in lParam.
        return setRange(hwnd, state, LOWORD(lParam), HIWORD(lParam));
    case PBM_GETRANGE:
        if (lParam) {
            PBRANGE *range = reinterpret_cast<PBRANGE *>(lParam);
            range->iLow = state.low;
            range->iHigh = state.high;
        }
        return wParam ? state.low : state.high;
    case PBM_SETPOS: {
        int old = state.position;
        if (old != static_cast<int>(wParam)) {
            state.position = static_cast<int>(wParam);
            clampPosition(state);
            positionChanged(hwnd, old, state.position);
        }
        return old;
    }
    case PBM_SETSTEP: {
        int old = state.step;
        state.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        // A step past either end wraps round into the range, as comctl32 does.
        int old = state.position;
        if (state.low != state.high) {
            int span = state.high - state.low;
            int position = state.position + state.step;
            if (position > state.high)
                position = (position - state.low) % span + state.low;
            if (position < state.low)
                position = (position - state.low) % span + state.high;
            state.position = position;
            if (old != position)
                positionChanged(hwnd, old, position);
        }
        return old;
    }
    case PBM_GETPOS:
        return state.position;
    }
    return defWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace

void registerSystemClasses()
{
    registerClass("Button", buttonProc);
    registerClass("Static", staticProc);
    registerClass("#32770", DefDlgProcA);
}

bool isDefaultButton(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w && w->windowClass->proc == buttonProc && (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

bool progressState(HWND hwnd, ProgressState &state)
{
    ProgressInfo *info = progressOf(hwnd);
    if (!info)
        return false;
    state = info->state;
    return true;
}

} // namespace win
} // namespace layer

extern "C" void WINAPI InitCommonControls(void)
{
    if (layer::failHere("InitCommonControls"))
        return;
    layer::win::registerClass(PROGRESS_CLASSA, layer::win::progressProc);
}
