// Input as a test gives it: a user's keys, clicks and activations, queued as the terminal queues
// them, the handlers that a modal loop asks first when it waits (a message box handler, an idle
// handler), and how long a script waits for its files.
#include "layer_control.h"
#include "testkit.h"
#include "windowing.h"

#include <cstdio>
#include <set>

using namespace layer::win;

namespace {

struct Handlers {
    LayerMessageBoxHandler box = nullptr;
    void *boxContext = nullptr;
    LayerIdleHandler idle = nullptr;
    void *idleContext = nullptr;
    std::set<HWND> offered; // the boxes the message box handler has seen
};

Handlers &handlers()
{
    static Handlers h;
    return h;
}

// Gives a message box to the message box handler, once; true when the handler answered it.
bool offerBox(HWND box)
{
    Handlers &h = handlers();
    MessageBoxView view;
    if (!h.box || !messageBoxView(box, view) || !h.offered.insert(box).second)
        return false;
    int answer = h.box(box, view.owner, view.text.c_str(), view.caption.c_str(), view.style, h.boxContext);
    if (!answer || !findWindow(box) || dialogEnded(box))
        return answer != 0;
    return endDialog(box, answer);
}

} // namespace

namespace testkit {

bool idle(HWND loopWindow)
{
    Handlers &h = handlers();
    if (offerBox(loopWindow))
        return true;
    if (!h.idle)
        return false;
    h.idle(loopWindow, h.idleContext);
    return messagePending() || !findWindow(loopWindow) || dialogEnded(loopWindow);
}

void resetInput()
{
    handlers() = Handlers();
}

} // namespace testkit

extern "C" void layerSetMessageBoxHandler(LayerMessageBoxHandler handler, void *context)
{
    handlers().box = handler;
    handlers().boxContext = context;
}

extern "C" void layerSetIdleHandler(LayerIdleHandler handler, void *context)
{
    handlers().idle = handler;
    handlers().idleContext = context;
}

extern "C" void layerPressKey(UINT vk, BOOL shift)
{
    pressKey(vk, shift != FALSE);
}

extern "C" void layerClick(HWND window)
{
    click(window);
}

extern "C" void layerCloseWindow(HWND window)
{
    pressCloseBox(window);
}

extern "C" void layerActivate(HWND window, UINT how)
{
    if (how != WA_ACTIVE && how != WA_CLICKACTIVE) {
        fprintf(stderr, "layerActivate: %u is neither WA_ACTIVE nor WA_CLICKACTIVE\n", how);
        return;
    }
    activateByUser(window, how);
}

extern "C" void layerDeactivate(HWND window)
{
    deactivateByUser(window);
}

extern "C" void layerSetScriptWaitLimit(DWORD milliseconds)
{
    setScriptWaitLimit(milliseconds);
}
