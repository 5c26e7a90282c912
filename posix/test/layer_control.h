/* Test controls of the POSIX layer. Only tests include this header; the program never does.
 * Every control is undone by layerReset, which puts the layer back as at process start. */
#ifndef POSIX_LAYER_CONTROL_H
#define POSIX_LAYER_CONTROL_H

#include <windows.h>

WIN32_EXTERN_C_BEGIN

/* Puts every family of the layer back as at process start: scripted failures, simulated disks,
   windows, display mode, message box handler, input script. Handles stay open. */
void layerReset(void);

/* The next call of `function` (its Win32 name, e.g. "RegCloseKey"), after `skip` calls that work,
   fails once with `error` as its last error and the call's own failure value as its result. */
void layerFailCall(const char *function, DWORD error, int skip);

WIN32_EXTERN_C_END

#endif
