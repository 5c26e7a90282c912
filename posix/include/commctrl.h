/* Common controls: the progress bar. */
#ifndef POSIX_COMMCTRL_H
#define POSIX_COMMCTRL_H

#include <windows.h>

#define PROGRESS_CLASSA "msctls_progress32"

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)


typedef struct {
    int iLow;
    int iHigh;
} PBRANGE, *PPBRANGE;

WIN32_EXTERN_C_BEGIN
void WINAPI InitCommonControls(void);
WIN32_EXTERN_C_END

#endif
