// Dialogs: dialog creation from a template (dlgtemplate.cpp reads them), the dialog manager (DefDlgProcA and the keyboard
// handling of IsDialogMessage) and the modal loop of DialogBoxParamA.
#include "layer.h"
#include "windowing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace layer {
namespace win {
namespace {

// Dialog base units of the classic 8-point "MS Sans Serif" at 96 DPI, the font of the installer's
// template: the average character width and the character height in pixels. A dialog unit is a
// quarter of the one and an eighth of the other.
const int fontPoints = 8;
const int baseX = 6;
const int baseY = 13;
// SM_CXDLGFRAME: how far a dialog keeps from the desktop's right and bottom edges.
const int dialogFrame = 3;

struct DialogInfo : WindowExtra {
    DLGPROC proc = nullptr;
    HWND savedFocus = nullptr;
    // The default push button's id; IDOK unless the template names one, as on Windows.
    int defaultId = IDOK;
    bool ended = false;
    INT_PTR result = 0;
};

DialogInfo *infoOf(HWND hwnd)
{
    Window *w = findWindow(hwnd);
    return w ? dynamic_cast<DialogInfo *>(w->extra.get()) : nullptr;
}

} // namespace

bool dialogBaseUnits(HWND hwnd, int &x, int &y)
{
    x = baseX;
    y = baseY;
    return infoOf(hwnd) != nullptr;
}

int mulDiv(int number, int numerator, int denominator)
{
    int64_t product = static_cast<int64_t>(number) * numerator;
    int64_t half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

namespace {

HWND findDlgItem(HWND dialog, int id)
{
    Window *w = findWindow(dialog);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        Window *c = findWindow(child);
        if (c && c->id == id)
            return child;
    }
    return nullptr;
}

UINT dialogCode(HWND hwnd)
{
    return static_cast<UINT>(sendMessage(hwnd, WM_GETDLGCODE, 0, 0));
}

// A control that the dialog manager may move the focus to: visible and enabled by its own style,
// and with the style bits asked for.
bool canTakeFocus(HWND hwnd, DWORD requiredStyle)
{
    Window *w = findWindow(hwnd);
    return w && (w->style & requiredStyle) == requiredStyle && (w->style & WS_VISIBLE) &&
           !(w->style & WS_DISABLED);
}

// GetNextDlgTabItem: the next (or previous) visible, enabled WS_TABSTOP control after ctrl, round
// the end of the list; ctrl itself when there is no other. Without ctrl, or from a window that is
// not one of the dialog's controls, the search starts at the first control (the last, backwards).
HWND nextTabItem(HWND dialog, HWND ctrl, bool previous)
{
    if (ctrl == dialog)
        ctrl = nullptr;
    if (!ctrl && previous)
        return nullptr;
    std::vector<HWND> controls = childWindows(dialog);
    if (controls.empty())
        return nullptr;
    if (previous)
        std::reverse(controls.begin(), controls.end());
    size_t start = 0;
    auto self = std::find(controls.begin(), controls.end(), ctrl);
    if (ctrl && self != controls.end())
        start = static_cast<size_t>(self - controls.begin()) + 1;
    for (size_t i = 0; i < controls.size(); ++i) {
        HWND candidate = controls[(start + i) % controls.size()];
        if (canTakeFocus(candidate, WS_TABSTOP))
            return candidate;
    }
    return ctrl;
}

// The first visible, enabled control: the focus of a dialog without tab stops.
HWND firstEnabledItem(HWND dialog)
{
    for (HWND control : childWindows(dialog)) {
        if (canTakeFocus(control, 0))
            return control;
    }
    return nullptr;
}

HWND findDefaultButton(HWND dialog)
{
    for (HWND control : childWindows(dialog)) {
        if (dialogCode(control) & DLGC_DEFPUSHBUTTON)
            return control;
    }
    return nullptr;
}

void saveFocus(HWND dialog)
{
    HWND focus = focusWindow();
    DialogInfo *info = infoOf(dialog);
    if (!info || !focus || !isChildOf(dialog, focus))
        return;
    info->savedFocus = focus;
}

// Gives the focus back to the control that had it, or to the first tab stop; on activation only
// when a control was saved. The saved control is used up.
void restoreFocus(HWND dialog, bool justActivated)
{
    DialogInfo *info = infoOf(dialog);
    if (!info || info->ended)
        return;
    if (!findWindow(info->savedFocus) || info->savedFocus == dialog) {
        if (justActivated)
            return;
        HWND first = nextTabItem(dialog, nullptr, false);
        if (!first)
            first = firstEnabledItem(dialog);
        if (!first)
            return;
        info->savedFocus = first;
    }
    HWND target = info->savedFocus;
    info->savedFocus = nullptr;
    setFocus(target);
}

// After the focus moves to a control: a push button that gets the focus becomes the default one;
// any other control gives the default look back to the dialog's default button.
void setDefaultButton(HWND dialog, DialogInfo &info, HWND newDefault)
{
    HWND oldDefault = findDlgItem(dialog, info.defaultId);
    UINT code = newDefault ? dialogCode(newDefault) : 0;
    if (newDefault && !(code & (DLGC_UNDEFPUSHBUTTON | DLGC_DEFPUSHBUTTON))) {
        newDefault = oldDefault;
        code = newDefault ? dialogCode(newDefault) : 0;
    }
    // The look leaves whichever button has it.
    if (!oldDefault || !(dialogCode(oldDefault) & DLGC_DEFPUSHBUTTON))
        oldDefault = findDefaultButton(dialog);
    if (oldDefault && oldDefault != newDefault)
        sendMessage(oldDefault, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (newDefault && (code & DLGC_UNDEFPUSHBUTTON))
        sendMessage(newDefault, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// DefDlgProc's own handling of the messages that the dialog procedure left to it.
LRESULT defaultDialogHandling(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DialogInfo *info = infoOf(dialog);
    switch (msg) {
    case WM_ERASEBKGND: {
        // The dialog's background is the 3D face colour of the classic scheme.
        DeviceContext *dc = findDC(reinterpret_cast<HDC>(wParam));
        Window *w = findWindow(dialog);
        if (dc && w && dc->window == dialog)
            fillSurface(*w, dc->clip, RGB(192, 192, 192));
        return 1;
    }
    case WM_SHOWWINDOW:
        if (!wParam)
            saveFocus(dialog);
        return defWindowProc(dialog, msg, wParam, lParam);
    case WM_ACTIVATE:
        if (wParam)
            restoreFocus(dialog, true);
        else
            saveFocus(dialog);
        return 0;
    case WM_SETFOCUS:
        restoreFocus(dialog, false);
        return 0;
    case DM_GETDEFID:
        return info && !info->ended ? MAKELONG(info->defaultId, DC_HASDEFID) : 0;
    case WM_NEXTDLGCTL:
        // The next control (wParam 0) or the previous one; the form that names a control in
        // wParam is not served.
        if (lParam)
            break;
        if (info) {
            HWND target = nextTabItem(dialog, focusWindow(), wParam != 0);
            if (target)
                setFocus(target);
            if ((info = infoOf(dialog)))
                setDefaultButton(dialog, *info, target);
        }
        return 0;
    case WM_CLOSE:
        // The close box ends a dialog the way its Cancel button does.
        postMessage(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                    reinterpret_cast<LPARAM>(findDlgItem(dialog, IDCANCEL)));
        return 0;
    }
    return defWindowProc(dialog, msg, wParam, lParam);
}

// IsDialogMessage: the dialog manager's keyboard handling for a message of the dialog or one of
// its controls. Everything it does not take is dispatched.
void handleDialogMessage(HWND dialog, const MSG &msg)
{
    if (msg.hwnd != dialog && !isChildOf(dialog, msg.hwnd))
        return dispatchMessage(msg);
    if (msg.message == WM_KEYDOWN) {
        UINT code = static_cast<UINT>(sendMessage(msg.hwnd, WM_GETDLGCODE, msg.wParam,
                                                  reinterpret_cast<LPARAM>(&msg)));
        if (!(code & DLGC_WANTMESSAGE)) {
            switch (msg.wParam) {
            case VK_TAB:
                if (code & DLGC_WANTTAB)
                    break;
                sendMessage(dialog, WM_NEXTDLGCTL, shiftPressed(), 0);
                return;
            case VK_ESCAPE:
                return pressEscape(dialog);
            case VK_RETURN:
                return pressEnter(dialog);
            }
        }
    }
    dispatchMessage(msg);
}

} // namespace

HWND createDialog(const DialogSpec &layout, HWND owner, DLGPROC proc, LPARAM param, bool modal)
{
    // Dialogs are popups measured in the installer's font alone: child dialogs, the system font (no
    // DS_SETFONT) and other sizes are refused.
    if ((layout.style & WS_CHILD) || !layout.hasFont || layout.pointSize != fontPoints) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    DWORD style = layout.style;
    DWORD exStyle = layout.exStyle;
    if (style & DS_MODALFRAME)
        exStyle |= WS_EX_DLGMODALFRAME;

    RECT margins = nonClientMargins(style, exStyle);
    SIZE size = {mulDiv(layout.cx, baseX, 4) + margins.left + margins.right,
                 mulDiv(layout.cy, baseY, 8) + margins.top + margins.bottom};
    SIZE desktop = desktopSize();
    // The template places the client area on the screen, whatever the owner (the program's dialogs
    // with an owner are message boxes, which are not laid out). Windows keeps a dialog on the desktop.
    POINT pos = {mulDiv(layout.x, baseX, 4) - margins.left, mulDiv(layout.y, baseY, 8) - margins.top};
    int overRight = pos.x + size.cx + dialogFrame - desktop.cx;
    int overBottom = pos.y + size.cy + dialogFrame - desktop.cy;
    if (overRight > 0)
        pos.x -= overRight;
    if (overBottom > 0)
        pos.y -= overBottom;
    pos.x = std::max<LONG>(pos.x, 0);
    pos.y = std::max<LONG>(pos.y, 0);

    // A modal dialog disables its owner's top-level window before the dialog exists, so that the
    // owner never takes input meanwhile; a failure gives it back.
    HWND disabledOwner = nullptr;
    if (modal && owner) {
        owner = topLevelOf(owner);
        Window *top = findWindow(owner);
        if (top && !(top->style & WS_DISABLED)) {
            disabledOwner = owner;
            enableWindow(owner, false);
        }
    }

    CreateParams params = {};
    params.className = "#32770";
    params.text = layout.title.c_str();
    params.style = style & ~WS_VISIBLE;
    params.exStyle = exStyle;
    params.x = pos.x;
    params.y = pos.y;
    params.width = size.cx;
    params.height = size.cy;
    params.parent = owner;
    HWND dialog = createWindow(params);
    if (!dialog) {
        if (disabledOwner)
            enableWindow(disabledOwner, true);
        return nullptr;
    }
    auto info = std::make_unique<DialogInfo>();
    info->proc = proc;
    findWindow(dialog)->extra = std::move(info);

    HWND defaultButton = nullptr;
    for (const DialogItem &item : layout.items) {
        CreateParams control = {};
        control.className = item.className.c_str();
        control.text = item.text.c_str();
        control.style = (item.style & ~WS_POPUP) | WS_CHILD;
        control.exStyle = item.exStyle;
        // Dialogs of the 3D look give bordered controls a sunken edge instead of the line.
        if (control.style & WS_BORDER) {
            control.style &= ~WS_BORDER;
            control.exStyle |= WS_EX_CLIENTEDGE;
        }
        control.x = mulDiv(item.x, baseX, 4);
        control.y = mulDiv(item.y, baseY, 8);
        control.width = mulDiv(item.cx, baseX, 4);
        control.height = mulDiv(item.cy, baseY, 8);
        control.parent = dialog;
        control.id = item.id;
        HWND hwnd = createWindow(control);
        if (!hwnd) {
            if (disabledOwner)
                enableWindow(disabledOwner, true);
            destroyWindow(dialog);
            // As Windows does, a control that fails leaves no error behind.
            SetLastError(0);
            return nullptr;
        }
        // When several controls claim to be the default button, the last one is.
        if (dialogCode(hwnd) & DLGC_DEFPUSHBUTTON) {
            if (defaultButton)
                sendMessage(defaultButton, BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            defaultButton = hwnd;
            if (DialogInfo *dialogInfo = infoOf(dialog))
                dialogInfo->defaultId = item.id;
        }
    }

    if (proc) {
        HWND focus = nextTabItem(dialog, nullptr, false);
        if (!focus)
            focus = firstEnabledItem(dialog);
        // TRUE asks for the first tab stop to get the focus; WM_INITDIALOG may have changed them.
        if (sendMessage(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) && findWindow(dialog)) {
            focus = nextTabItem(dialog, nullptr, false);
            if (!focus)
                focus = firstEnabledItem(dialog);
            setFocus(focus ? focus : dialog);
        }
    }
    if (!findWindow(dialog))
        return nullptr;
    if ((layout.style & WS_VISIBLE) && !(findWindow(dialog)->style & WS_VISIBLE))
        showWindow(dialog, SW_SHOWNORMAL);
    return findWindow(dialog) ? dialog : nullptr;
}

INT_PTR runModalLoop(HWND dialog)
{
    if (!infoOf(dialog))
        return -1;
    bool firstEmpty = true;
    while (!infoOf(dialog)->ended) {
        MSG msg;
        if (!peekMessage(msg)) {
            // The dialog appears the first time it has nothing to do.
            if (firstEmpty) {
                firstEmpty = false;
                showWindow(dialog, SW_SHOWNORMAL);
                if (!infoOf(dialog))
                    return 0;
                continue;
            }
            idle(dialog);
            if (!infoOf(dialog))
                return 0;
            continue;
        }
        handleDialogMessage(dialog, msg);
        if (!infoOf(dialog))
            return 0;
    }
    INT_PTR result = infoOf(dialog)->result;
    std::string title = findWindow(dialog)->text;
    MessageBoxView box;
    bool isBox = messageBoxView(dialog, box);
    destroyWindow(dialog);
    if (!isBox)
        trace("dialog ended title=" + quoted(title) + " result=" + std::to_string(static_cast<long long>(result)));
    notify(Change::DialogEnded, dialog);
    return result;
}

bool isDialog(HWND hwnd)
{
    return infoOf(hwnd) != nullptr;
}

bool dialogEnded(HWND hwnd)
{
    DialogInfo *info = infoOf(hwnd);
    return !info || info->ended;
}

bool endDialog(HWND hwnd, INT_PTR result)
{
    DialogInfo *info = infoOf(hwnd);
    if (!info)
        return false;
    info->result = result;
    info->ended = true;
    HWND owner = findWindow(hwnd)->owner;
    if (owner)
        enableWindow(owner, true);
    // The focus leaves the controls for the dialog itself, which then hides without passing on
    // activation; the owner takes it back.
    if (isChildOf(hwnd, focusWindow()))
        setFocus(hwnd);
    hideWindow(hwnd);
    if (hwnd == activeWindow()) {
        if (owner && findWindow(owner))
            activateWindow(owner, false, true);
        else
            activateWindow(nullptr, false, true);
    }
    // Wakes the modal loop, as Windows does.
    postMessage(hwnd, WM_NULL, 0, 0);
    return true;
}

void pressEscape(HWND dialog)
{
    sendMessage(dialog, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(findDlgItem(dialog, IDCANCEL)));
}

void pressEnter(HWND dialog)
{
    // A focused default push button answers for itself; else the dialog's default id, unless that
    // control is disabled; else IDOK.
    HWND focus = focusWindow();
    if (isChildOf(dialog, focus) && (dialogCode(focus) & DLGC_DEFPUSHBUTTON)) {
        sendMessage(dialog, WM_COMMAND, MAKEWPARAM(findWindow(focus)->id, BN_CLICKED),
                    reinterpret_cast<LPARAM>(focus));
        return;
    }
    DWORD defId = static_cast<DWORD>(sendMessage(dialog, DM_GETDEFID, 0, 0));
    if (HIWORD(defId) == DC_HASDEFID) {
        HWND button = findDlgItem(dialog, LOWORD(defId));
        Window *w = findWindow(button);
        if (!w || !(w->style & WS_DISABLED))
            sendMessage(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(defId), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return;
    }
    sendMessage(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(findDlgItem(dialog, IDOK)));
}

} // namespace win
} // namespace layer

using namespace layer::win;

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                                          DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (layer::failHere("DialogBoxParamA"))
        return -1;
    if (hWndParent && !windowOrFail(hWndParent))
        return 0;
    HRSRC resource = FindResourceA(hInstance, lpTemplateName, RT_DIALOG);
    if (!resource)
        return -1;
    const void *data = LockResource(LoadResource(hInstance, resource));
    DWORD size = SizeofResource(hInstance, resource);
    DialogSpec layout = {};
    if (!data || !parseTemplate(static_cast<const unsigned char *>(data), size, layout)) {
        SetLastError(ERROR_INVALID_DATA);
        return -1;
    }
    HWND dialog = createDialog(layout, hWndParent, lpDialogFunc, dwInitParam, true);
    if (!dialog)
        return -1;
    return runModalLoop(dialog);
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    if (!windowOrFail(hDlg))
        return FALSE;
    return endDialog(hDlg, nResult);
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    if (layer::failHere("GetDlgItem"))
        return nullptr;
    if (!windowOrFail(hDlg))
        return nullptr;
    HWND control = findDlgItem(hDlg, nIDDlgItem);
    if (!control)
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return control;
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? sendMessage(control, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control && sendMessage(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

// ==== from dialogs.cpp
extern "C" LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!windowOrFail(hDlg))
        return 0;
    DialogInfo *info = infoOf(hDlg);
    if (!info)
        return defWindowProc(hDlg, Msg, wParam, lParam);
    INT_PTR handled = info->proc ? info->proc(hDlg, Msg, wParam, lParam) : 0;
    if (!handled && findWindow(hDlg)) {
        switch (Msg) {
        case WM_INITDIALOG:
            break;
        case WM_ERASEBKGND:
        case WM_SHOWWINDOW:
        case WM_ACTIVATE:
        case WM_SETFOCUS:
        case DM_GETDEFID:
        case WM_NEXTDLGCTL:
        case WM_CLOSE:
            return defaultDialogHandling(hDlg, Msg, wParam, lParam);
        default:
            return defWindowProc(hDlg, Msg, wParam, lParam);
        }
    }
    // WM_INITDIALOG returns what the dialog procedure returned; a message that it handled, 0.
    return Msg == WM_INITDIALOG ? handled : 0;
}
