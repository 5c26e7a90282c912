// Message boxes: a modal dialog of the dialog class with the caption, an icon, the text (control
// 0xFFFF, as Windows numbers it) and an OK button. The box's own pixels are never shown, so it is
// not laid out: the front ends draw a box from its text, caption and buttons.
#include "layer.h"
#include "windowing.h"

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

INT_PTR CALLBACK boxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        boxState().boxes[box] = reinterpret_cast<BoxData *>(lParam);
        // The OK button has the focus and the default look.
        HWND ok = GetDlgItem(box, IDOK);
        setFocus(ok);
        sendMessage(ok, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        return FALSE; // the focus is placed
    }
    case WM_COMMAND:
        // Escape and the close box answer a box that has just OK as OK does.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            endDialog(box, IDOK);
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
    // The program shows boxes with an OK button alone, modal to their owner.
    if (uType & (MB_TYPEMASK | MB_DEFMASK | MB_MODEMASK)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    BoxData data;
    data.text = lpText ? lpText : "";
    data.caption = lpCaption ? lpCaption : "Error";
    data.style = uType;
    data.owner = hWnd;

    DialogSpec layout = {};
    layout.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
    layout.title = data.caption;
    layout.hasFont = true;
    layout.pointSize = 8;
    layout.items.push_back({"Static", "", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 0, 0, 0, iconId});
    const DWORD okStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
    layout.items.push_back({"Button", "OK", okStyle, 0, 0, 0, 0, 0, IDOK});
    layout.items.push_back(
        {"Static", data.text, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX | SS_LEFT, 0, 0, 0, 0, 0, textId});

    HWND box = createDialog(layout, hWnd, boxProc, reinterpret_cast<LPARAM>(&data), true);
    int result = -1;
    if (box) {
        HWND ownerTop = topLevelOf(hWnd);
        Window *ownerWindow = findWindow(ownerTop);
        trace("msgbox caption=" + quoted(data.caption) + " text=" + quoted(data.text) + " style=" +
              styleText(uType) + " owner=" + (ownerWindow ? quoted(ownerWindow->text) : std::string("none")));
        notify(Change::MessageBoxUp, box);
        result = static_cast<int>(runModalLoop(box));
        boxState().boxes.erase(box);
        trace("msgbox result=" + std::to_string(result));
        notify(Change::MessageBoxDown, hWnd);
    }
    return result;
}
