// Message boxes: a modal dialog of the dialog class with the caption, an icon, the text (control
// 0xFFFF, as Windows numbers it) and the buttons of the box's type under their command ids.
#include "layer.h"
#include "layer_control.h"
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

// The classic font's average character width and line height, and the classic button size.
const int charWidth = 6;
const int lineHeight = 13;
const int buttonWidth = 75;
const int buttonHeight = 23;
const int iconSize = 32;
const int margin = 11;
const int buttonGap = 6;
const int tabChars = 8; // DT_EXPANDTABS: a tab stop every eight average characters

struct BoxData {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
    bool offered = false; // the test's handler has seen it
};

struct BoxState {
    std::map<HWND, BoxData *> boxes;
    LayerMessageBoxHandler handler = nullptr;
    void *context = nullptr;
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

void place(HWND hwnd, int x, int y, int width, int height)
{
    setWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

// The room a text takes as DrawText lays it out with DT_WORDBREAK | DT_EXPANDTABS |
// DT_EDITCONTROL in lines of `limit` pixels: its widest line and its count of lines.
struct TextExtent {
    int width = 0;
    int lines = 0;
};

// One line feed, carriage return or CR LF ends a line; blanks at a break hang at the end of the
// line before it and take no room; a word that a line cannot hold is broken at the line's end.
TextExtent measureText(const std::string &text, int limit)
{
    const size_t perLine = static_cast<size_t>(std::max(limit / charWidth, 1));
    TextExtent extent;
    size_t column = 0; // where the next character goes
    size_t used = 0;   // the line's width up to the end of its last word
    auto endLine = [&]() {
        extent.width = std::max(extent.width, static_cast<int>(used) * charWidth);
        ++extent.lines;
        column = 0;
        used = 0;
    };
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            i += c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            endLine();
            continue;
        }
        if (c == ' ' || c == '\t') {
            column = c == ' ' ? column + 1 : (column / tabChars + 1) * tabChars;
            ++i;
            continue;
        }
        size_t end = text.find_first_of(" \t\r\n", i);
        size_t length = (end == std::string::npos ? text.size() : end) - i;
        if (column + length <= perLine) {
            column += length;
            used = column;
            i += length;
        } else if (used > 0 || column >= perLine) {
            endLine(); // the word starts the next line
        } else {
            size_t part = perLine - column;
            column += part;
            used = column;
            i += part;
            endLine();
        }
    }
    endLine();
    return extent;
}

// Sizes the box round its text, icon and buttons, centres it on the desktop, and gives the default
// button (MB_DEFBUTTON1 to 4, counted left to right) the focus and the default look. As Windows
// lays a box out, the text takes the lines of the longest of its own, unless the box would then be
// wider than 5/8 of the desktop: then its lines break to keep the box within 5/8 of the desktop's
// width, or if it is then taller than the desktop, within 3/4 or else 7/8 of it.
void layOut(HWND box, const BoxData &data)
{
    bool icon = (data.style & MB_ICONMASK) != 0;
    int textLeft = margin + (icon ? iconSize + margin : 0);
    Window *boxWindow = findWindow(box);
    RECT m = nonClientMargins(boxWindow->style, boxWindow->exStyle);
    SIZE desktop = desktopSize();
    TextExtent text;
    for (int eighths : {5, 6, 7}) {
        int boxWidth = static_cast<int>(desktop.cx) * eighths / 8;
        text = measureText(data.text, boxWidth - textLeft - margin - m.left - m.right);
        int boxHeight = margin + std::max(text.lines * lineHeight, icon ? iconSize : 0) + margin + buttonHeight +
                        margin + m.top + m.bottom;
        if (boxHeight <= desktop.cy)
            break;
    }
    int textWidth = text.width;
    int textHeight = text.lines * lineHeight;

    std::vector<HWND> buttons;
    for (HWND child : childWindows(box)) {
        Window *w = findWindow(child);
        if (w && w->id != iconId && w->id != textId)
            buttons.push_back(child);
    }
    std::sort(buttons.begin(), buttons.end(),
              [](HWND a, HWND b) { return displayRank(static_cast<int>(findWindow(a)->id)) <
                                          displayRank(static_cast<int>(findWindow(b)->id)); });
    int count = static_cast<int>(buttons.size());
    int buttonsWidth = count * buttonWidth + (count - 1) * buttonGap;
    int contentHeight = std::max(textHeight, icon ? iconSize : 0);
    int clientWidth = std::max(textLeft + textWidth + margin, buttonsWidth + 2 * margin);
    int clientHeight = margin + contentHeight + margin + buttonHeight + margin;

    int width = clientWidth + m.left + m.right;
    int height = clientHeight + m.top + m.bottom;
    place(box, (desktop.cx - width) / 2, (desktop.cy - height) / 2, width, height);
    place(findWindow(box)->children.front(), margin, margin, icon ? iconSize : 0, icon ? iconSize : 0);
    for (HWND child : childWindows(box)) {
        if (findWindow(child)->id == textId)
            place(child, textLeft, margin + (contentHeight - textHeight) / 2, textWidth, textHeight);
    }
    int x = (clientWidth - buttonsWidth) / 2;
    int defaultIndex = static_cast<int>((data.style & MB_DEFMASK) >> 8);
    for (int i = 0; i < count; ++i) {
        if (i == defaultIndex) {
            setFocus(buttons[static_cast<size_t>(i)]);
            sendMessage(buttons[static_cast<size_t>(i)], BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        }
        place(buttons[static_cast<size_t>(i)], x, clientHeight - margin - buttonHeight, buttonWidth, buttonHeight);
        x += buttonWidth + buttonGap;
    }
}

INT_PTR CALLBACK boxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        BoxData *data = reinterpret_cast<BoxData *>(lParam);
        boxState().boxes[box] = data;
        layOut(box, *data);
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

bool offerToHandler(HWND box)
{
    BoxState &s = boxState();
    auto it = s.boxes.find(box);
    if (!s.handler || it == s.boxes.end() || it->second->offered)
        return false;
    BoxData &data = *it->second;
    data.offered = true;
    int answer = s.handler(box, data.owner, data.text.c_str(), data.caption.c_str(), data.style, s.context);
    if (!answer || !findWindow(box) || dialogEnded(box))
        return answer != 0;
    return endDialog(box, answer);
}

namespace {

const ResetHook resetBoxes([] {
    boxState().boxes.clear();
    boxState().handler = nullptr;
    boxState().context = nullptr;
});

} // namespace
} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" void layerSetMessageBoxHandler(LayerMessageBoxHandler handler, void *context)
{
    boxState().handler = handler;
    boxState().context = context;
}

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
