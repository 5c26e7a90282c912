// Input for the modal loops: the queue of what a user does (keys, clicks, the close box,
// activation), turned into messages when the loop retrieves them, and the sources that give it when
// a loop waits (a test's handlers, the WINLAYER_SCRIPT file, a front end), with the fallback that
// ends a loop that none of them answers.
#include "layer.h"
#include "seam.h"
#include "windowing.h"

#include <cstdio>
#include <deque>
#include <set>

namespace layer {
namespace win {
namespace {

// A message that an input event produced. A key goes to whichever window has the focus when the
// message is retrieved, as Windows decides it; a click has its window from the start.
struct InputMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    HWND target;     // null: whichever window has the focus then (the active one when none has)
    bool shiftAfter; // VK_SHIFT's state once this message is retrieved
};

struct InputEvent {
    enum Kind { Key, Click, CloseBox, Activate, Deactivate } kind;
    UINT vk;
    bool shift;
    HWND target;
    UINT how;
};

struct InputQueue {
    std::deque<InputEvent> events;
    std::deque<InputMessage> messages;
    bool shift = false;
};

InputQueue &queue()
{
    static InputQueue q;
    return q;
}

struct Sources {
    // Loops that the fallback already tried to end with Escape or Enter.
    std::set<HWND> fallbackTried;
};

Sources &sources()
{
    static Sources s;
    return s;
}

LPARAM clientCentre(const Window &window)
{
    SIZE size = clientSize(window);
    return MAKELPARAM(size.cx / 2, size.cy / 2);
}

// Turns one input event into the messages it makes, or acts on it at once (activation).
void translateInput(const InputEvent &event)
{
    InputQueue &q = queue();
    switch (event.kind) {
    case InputEvent::Key: {
        // Repeat count 1; a key release also carries the previous-state and transition bits.
        const LPARAM down = 1;
        const LPARAM up = static_cast<LPARAM>(0xC0000001u);
        if (event.shift)
            q.messages.push_back({WM_KEYDOWN, VK_SHIFT, down, nullptr, true});
        q.messages.push_back({WM_KEYDOWN, event.vk, down, nullptr, event.shift});
        q.messages.push_back({WM_KEYUP, event.vk, up, nullptr, event.shift});
        if (event.shift)
            q.messages.push_back({WM_KEYUP, VK_SHIFT, up, nullptr, false});
        break;
    }
    case InputEvent::Click: {
        if (!takesInput(event.target))
            break;
        HWND top = topLevelOf(event.target);
        if (top != activeWindow())
            activateWindow(top, true, true);
        Window *w = findWindow(event.target);
        if (!w || !takesInput(event.target))
            break;
        LPARAM at = clientCentre(*w);
        q.messages.push_back({WM_LBUTTONDOWN, MK_LBUTTON, at, event.target, q.shift});
        q.messages.push_back({WM_LBUTTONUP, 0, at, event.target, q.shift});
        break;
    }
    case InputEvent::CloseBox: {
        HWND top = topLevelOf(event.target);
        Window *w = findWindow(top);
        if (!w || !takesInput(top) || !(w->style & WS_SYSMENU) || (w->style & WS_CAPTION) != WS_CAPTION)
            break;
        if (top != activeWindow())
            activateWindow(top, true, true);
        if (findWindow(top))
            q.messages.push_back({WM_SYSCOMMAND, SC_CLOSE, 0, top, q.shift});
        break;
    }
    case InputEvent::Activate: {
        HWND top = topLevelOf(event.target);
        if (canActivate(top))
            activateWindow(top, event.how == WA_CLICKACTIVE, true);
        break;
    }
    case InputEvent::Deactivate:
        if (activeWindow() && topLevelOf(event.target) == activeWindow())
            activateWindow(nullptr, false, true);
        break;
    }
}

void queueInput(const InputEvent &event)
{
    queue().events.push_back(event);
}

// Nobody gave input: a dialog ends as Escape ends it, a message box as Enter does. A loop that is
// still there the next time it is idle is ended outright, so that nothing waits forever.
void fallBack(HWND loopWindow)
{
    Sources &s = sources();
    MessageBoxView box;
    bool isBox = messageBoxView(loopWindow, box);
    if (s.fallbackTried.count(loopWindow)) {
        trace("fallback ended window=" + quoted(findWindow(loopWindow)->text));
        endDialog(loopWindow, isBox ? IDOK : IDCANCEL);
        return;
    }
    s.fallbackTried.insert(loopWindow);
    if (isBox)
        pressEnter(loopWindow);
    else
        pressEscape(loopWindow);
}

} // namespace

bool nextInputMessage(MSG &msg)
{
    InputQueue &q = queue();
    for (;;) {
        while (q.messages.empty() && !q.events.empty()) {
            InputEvent event = q.events.front();
            q.events.pop_front();
            translateInput(event);
            // Activation sends messages, and their handlers may post: those come first.
            if (postedMessagesWaiting())
                return false;
        }
        if (q.messages.empty())
            return false;
        InputMessage next = q.messages.front();
        q.messages.pop_front();
        q.shift = next.shiftAfter;
        HWND target = next.target;
        UINT message = next.message;
        if (!target) {
            // Keys go to the focus window; with no focus, the active window gets them as
            // system keys, which the dialog manager leaves alone.
            target = focusWindow();
            if (!target) {
                target = activeWindow();
                message = message == WM_KEYDOWN ? WM_SYSKEYDOWN : WM_SYSKEYUP;
            }
        }
        if (!target || !findWindow(target))
            continue;
        msg = MSG();
        msg.hwnd = target;
        msg.message = message;
        msg.wParam = next.wParam;
        msg.lParam = next.lParam;
        return true;
    }
}

bool inputPending()
{
    const InputQueue &q = queue();
    return !q.events.empty() || !q.messages.empty();
}

bool shiftPressed()
{
    return queue().shift;
}

void pressKey(UINT vk, bool shift)
{
    queueInput({InputEvent::Key, vk, shift, nullptr, 0});
}

void click(HWND hwnd)
{
    queueInput({InputEvent::Click, 0, false, hwnd, 0});
}

void pressCloseBox(HWND hwnd)
{
    queueInput({InputEvent::CloseBox, 0, false, hwnd, 0});
}

void activateByUser(HWND hwnd, UINT how)
{
    queueInput({InputEvent::Activate, 0, false, hwnd, how});
}

void deactivateByUser(HWND hwnd)
{
    queueInput({InputEvent::Deactivate, 0, false, hwnd, 0});
}

void idle(HWND loopWindow)
{
    if (testKit && testKit->idle(loopWindow))
        return;
    if (frontEndInput(loopWindow))
        return;
    fallBack(loopWindow);
}

namespace {

const ResetHook resetInput([] {
    InputQueue &q = queue();
    q.events.clear();
    q.messages.clear();
    q.shift = false;
    sources().fallbackTried.clear();
});

} // namespace
} // namespace win
} // namespace layer
