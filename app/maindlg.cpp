// The main dialog controller: prepares the dialog while it is hidden, routes the buttons'
// commands, and keeps the focus on the dialog window after every repaint.
#include "app/maindlg.h"


#include "common/message.h"
#include "env/environment.h"
#include "install/pack.h"
#include "picture/picture.h"
#include "proc/viewer.h"
#include "resource.h"

static const char CENTER_ERROR_CAPTION[] = "Error!";

// The centring routine formats its errors here rather than in messageText.
static char centerErrorText[1024];

static void reportCenterError(HWND window, const char *format, DWORD error)
{
    formatText(centerErrorText, sizeof centerErrorText, format, (int)error);
    showMessage(centerErrorText, CENTER_ERROR_CAPTION, MB_OK, window);
}

void centerOnDesktop(HWND window)
{
    RECT desktop;
    RECT own;
    if (!GetWindowRect(GetDesktopWindow(), &desktop)) {
        reportCenterError(window, "!getwindowpos, %d", GetLastError());
        return;
    }
    if (!GetWindowRect(window, &own)) {
        reportCenterError(window, "!getwindowpos, %d", GetLastError());
        return;
    }
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    // An arithmetic shift halves towards minus infinity: a dialog 5 pixels wider than the
    // desktop lands at -3. The position counts from the screen's origin.
    int x = (desktop.right - desktop.left - width) >> 1;
    int y = (desktop.bottom - desktop.top - height) >> 1;
    if (!SetWindowPos(window, HWND_TOP, x, y, width, height, 0))
        reportCenterError(window, "!setwindowpos, %d", GetLastError());
}

// Runs while the dialog is still hidden, so that nothing shows before it is in place and the
// environment check's messages appear without it. After a refusal the dialog is shown as well: the
// dialog manager closes it as soon as initialisation returns, before it takes any input.
static void initMainDialog(HWND dlg)
{
    ShowWindow(dlg, SW_HIDE);
    initPicture(dlg);
    centerOnDesktop(dlg);
    if (!checkEnvironment(dlg))
        EndDialog(dlg, 0);
    ShowWindow(dlg, SW_SHOW);
}

// Activation from the keyboard or by the system repaints the whole dialog at once.
static void repaintOnActivation(HWND dlg)
{
    RECT client;
    GetClientRect(dlg, &client);
    InvalidateRect(dlg, &client, FALSE);
    UpdateWindow(dlg);
}

// Nothing is drawn on the dialog itself; the paint only validates, then the focus returns to the
// dialog window.
static void paintMainDialog(HWND dlg)
{
    PAINTSTRUCT paint;
    BeginPaint(dlg, &paint);
    EndPaint(dlg, &paint);
    SetFocus(dlg);
}

INT_PTR CALLBACK mainDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        initMainDialog(dlg);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:          EndDialog(dlg, 0); return TRUE;
        case IDC_INSTALL_PACK1: installPack(1);    return TRUE;
        case IDC_INSTALL_PACK2: installPack(2);    return TRUE;
        case IDC_VIEW_HELP:     viewDocument("install.doc"); return TRUE;
        case IDC_VIEW_CREDITS:  viewDocument("credits.txt"); return TRUE;
        }
        return FALSE;

    // TRUE in every case keeps the dialog manager from saving and restoring the focused control.
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE && (HWND)lParam != dlg)
            repaintOnActivation(dlg);
        return TRUE;

    case WM_PAINT:
        paintMainDialog(dlg);
        return TRUE;

    case WM_QUERYNEWPALETTE:
        armPaletteRealization(dlg);
        return FALSE;

    case WM_PALETTECHANGED:
        followPaletteChange(dlg, (HWND)wParam);
        return TRUE;
    }
    return FALSE;
}
