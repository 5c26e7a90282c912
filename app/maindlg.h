// The main dialog: its dialog procedure and the routine that centres it on the desktop.
#ifndef DA12_APP_MAINDLG_H
#define DA12_APP_MAINDLG_H

#include <windows.h>

INT_PTR CALLBACK mainDlgProc(HWND dlg, UINT message, WPARAM wParam, LPARAM lParam);

// Places the window in the middle of the desktop, keeping its size; reports a failure in a box.
void centerOnDesktop(HWND window);

#endif
