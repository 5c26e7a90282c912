// Running a test template as a modal dialog, so that a test's checks run inside the dialog's modal
// loop on both platforms, without scripted input: WM_INITDIALOG posts WM_APP, each WM_APP runs the
// next step and posts the next WM_APP behind whatever the step posted, and the last one ends the
// dialog. A dialog therefore ends even when a check fails, under Wine as natively.
#ifndef CONFORMANCE_DIALOG_SUPPORT_H
#define CONFORMANCE_DIALOG_SUPPORT_H

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

#include "conformance_ids.h"

struct DialogTest {
    // Steps run in turn inside the loop; the messages that one posts are handled before the next.
    std::vector<std::function<void(HWND dialog)>> steps;
    // Sees every message first; a nonzero result is the dialog procedure's answer.
    std::function<INT_PTR(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)> handler;
    // What WM_INITDIALOG returns.
    BOOL initResult = TRUE;
    // The result of the dialog when the steps run out.
    INT_PTR result = 0;
};

// Each dialog keeps its test in GWLP_USERDATA, from WM_INITDIALOG on (the test comes as its lParam).
inline INT_PTR CALLBACK dialogTestProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    DialogTest *test = reinterpret_cast<DialogTest *>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    if (!test)
        return FALSE;
    if (test->handler) {
        if (INT_PTR answer = test->handler(dialog, msg, wParam, lParam))
            return answer;
    }
    switch (msg) {
    case WM_INITDIALOG:
        PostMessageA(dialog, WM_APP, 0, 0);
        return test->initResult;
    case WM_APP:
        if (wParam < test->steps.size()) {
            test->steps[wParam](dialog);
            PostMessageA(dialog, WM_APP, wParam + 1, 0);
        } else {
            EndDialog(dialog, test->result);
        }
        return TRUE;
    }
    return FALSE;
}

// Runs a template of the test program; dialogs may nest.
inline INT_PTR runDialog(int templateId, DialogTest &test, HWND owner = nullptr)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, dialogTestProc,
                           reinterpret_cast<LPARAM>(&test));
}

// A window handle that is no longer valid: that of a dialog that has ended.
inline HWND endedWindow()
{
    static HWND ended = nullptr;
    if (!ended) {
        DialogTest test;
        test.steps.push_back([](HWND dialog) { ended = dialog; });
        runDialog(IDD_TAB_ORDER, test);
    }
    return ended;
}

// Where Wine departs from Windows, a check runs only off Wine.
inline bool runningOnWine()
{
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// The window procedures that subclassControl replaced, by control.
inline std::map<HWND, WNDPROC> &ownProcs()
{
    static std::map<HWND, WNDPROC> procs;
    return procs;
}

// Puts `proc` in front of a control's own window procedure, so that a test sees its messages first.
inline void subclassControl(HWND control, WNDPROC proc)
{
    ownProcs()[control] =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}

// Hands a message on to the procedure that subclassControl put `proc` in front of.
inline LRESULT callOwnProc(HWND control, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(ownProcs()[control], control, msg, wParam, lParam);
}

// The rectangle of a child in its parent's client coordinates.
inline RECT rectInParent(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    POINT origin = {0, 0};
    ClientToScreen(GetParent(child), &origin);
    return {rect.left - origin.x, rect.top - origin.y, rect.right - origin.x, rect.bottom - origin.y};
}

#endif
