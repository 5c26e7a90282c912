// Message boxes: a modal dialog of the dialog class with the caption, an icon, the text (control
// 0xFFFF, as Windows numbers it) and the buttons of the box's type under their command ids.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace layer {
namespace win {
namespace {

// The ids of the icon and the text, as Windows and Wine give them.
const WORD iconId = 0x0440;
const WORD textId = 0xFFFF;

struct BoxData {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
};

struct BoxState {
    std::map<HWND, BoxData *> boxes;
};

BoxState &boxState()
{
    static BoxState s;
    return s;
}

struct ButtonKind {
    int id;
    const char *text;
};

// The buttons of each type, in the order they are created (their tab order), as Windows makes them.
std::vector<ButtonKind> buttonsFor(UINT type)
{
    const ButtonKind ok = {IDOK, "OK"}, cancel = {IDCANCEL, "Cancel"}, abort = {IDABORT, "&Abort"},
                     retry = {IDRETRY, "&Retry"}, ignore = {IDIGNORE, "&Ignore"}, yes = {IDYES, "&Yes"},
                     no = {IDNO, "&No"};
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {ok, cancel};
    case MB_ABORTRETRYIGNORE:
        return {abort, retry, ignore};
    case MB_YESNOCANCEL:
        return {cancel, yes, no};
    case MB_YESNO:
        return {yes, no};
    case MB_RETRYCANCEL:
        return {cancel, retry};
    }
    return {ok};
}

// The order the buttons stand in, left to right.
int displayRank(int id)
{
    static const int order[] = {IDYES, IDNO, IDOK, IDABORT, IDRETRY, IDCANCEL, IDIGNORE};
    return static_cast<int>(std::find(std::begin(order), std::end(order), id) - std::begin(order));
}

// Gives the default button (MB_DEFBUTTON1 to 4, counted left to right) the focus and the default
// look. The box's own pixels are never shown, so it is not laid out: the front ends draw a box
// from its text, caption and buttons.
void setDefaultButton(HWND box, const BoxData &data)
{
    std::vector<HWND> buttons;
    for (HWND child : childWindows(box)) {
        Window *w = findWindow(child);
        if (w && w->id != iconId && w->id != textId)
            buttons.push_back(child);
    }
    std::sort(buttons.begin(), buttons.end(),
              [](HWND a, HWND b) { return displayRank(static_cast<int>(findWindow(a)->id)) <
                                          displayRank(static_cast<int>(findWindow(b)->id)); });
    size_t defaultIndex = (data.style & MB_DEFMASK) >> 8;
    if (defaultIndex < buttons.size()) {
        setFocus(buttons[defaultIndex]);
        sendMessage(buttons[defaultIndex], BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    }
}

INT_PTR CALLBACK boxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        BoxData *data = reinterpret_cast<BoxData *>(lParam);
        boxState().boxes[box] = data;
        setDefaultButton(box, *data);
        return FALSE; // the focus is placed
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: {
            // Escape and the close box answer a box without a Cancel button only when it has just
            // OK, and then as OK does; the other kinds wait for one of their own buttons.
            auto it = boxState().boxes.find(box);
            UINT type = it == boxState().boxes.end() ? MB_OK : it->second->style & MB_TYPEMASK;
            if (type == MB_OK)
                endDialog(box, IDOK);
            else if (type == MB_OKCANCEL || type == MB_YESNOCANCEL || type == MB_RETRYCANCEL)
                endDialog(box, IDCANCEL);
            break;
        }
        case IDOK:
        case IDABORT:
        case IDRETRY:
        case IDIGNORE:
        case IDYES:
        case IDNO:
            endDialog(box, static_cast<INT_PTR>(LOWORD(wParam)));
            break;
        }
        return FALSE;
    }
    return FALSE;
}

std::string styleText(UINT style)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", style);
    return text;
}

} // namespace

bool messageBoxView(HWND hwnd, MessageBoxView &view)
{
    auto it = boxState().boxes.find(hwnd);
    if (it == boxState().boxes.end())
        return false;
    view = {it->second->text, it->second->caption, it->second->style, it->second->owner};
    return true;
}

namespace {

const ResetHook resetBoxes([] { boxState().boxes.clear(); });

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    if (layer::failHere("MessageBoxA"))
        return 0;
    // As under Wine, an owner that is no window fails the box's dialog creation.
    if (hWnd && !windowOrFail(hWnd))
        return -1;
    BoxData data;
    data.text = lpText ? lpText : "";
    data.caption = lpCaption ? lpCaption : "Error";
    data.style = uType;
    data.owner = hWnd;

    DialogSpec layout = {};
    layout.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_NOIDLEMSG | DS_SETFONT;
    layout.title = data.caption;
    layout.hasFont = true;
    layout.pointSize = 8;
    layout.items.push_back({"Static", "", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 0, 0, 0, iconId, nullptr});
    bool first = true;
    for (const ButtonKind &button : buttonsFor(uType)) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | (first ? WS_GROUP : 0);
        layout.items.push_back({"Button", button.text, style, 0, 0, 0, 0, 0, static_cast<WORD>(button.id), nullptr});
        first = false;
    }
    layout.items.push_back(
        {"Static", data.text, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX | SS_LEFT, 0, 0, 0, 0, 0, textId, nullptr});

    // A task-modal box without an owner disables every window of the program meanwhile.
    std::vector<HWND> disabled;
    if ((uType & MB_MODEMASK) == MB_TASKMODAL && !hWnd) {
        for (HWND top : topLevelWindows()) {
            if (!enableWindow(top, false))
                disabled.push_back(top);
        }
    }
    HWND owner = hWnd;
    HWND box = createDialog(layout, hWnd, boxProc, reinterpret_cast<LPARAM>(&data), &owner);
    int result = -1;
    if (box) {
        HWND ownerTop = topLevelOf(hWnd);
        Window *ownerWindow = findWindow(ownerTop);
        trace("msgbox caption=" + quoted(data.caption) + " text=" + quoted(data.text) + " style=" +
              styleText(uType) + " owner=" + (ownerWindow ? quoted(ownerWindow->text) : std::string("none")));
        notify(Change::MessageBoxUp, box);
        result = static_cast<int>(runModalLoop(box, owner));
        boxState().boxes.erase(box);
        trace("msgbox result=" + std::to_string(result));
        notify(Change::MessageBoxDown, hWnd);
    }
    for (HWND top : disabled)
        enableWindow(top, true);
    return result;
}
