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

/* ---- Files ---- */

/* GetDiskFreeSpaceA on the drive `drive` ('C', case-insensitive) reports exactly `bytes` free bytes
   (as sectors, bytes per sector and free clusters whose product is `bytes`), whatever the disk has. */
void layerSetFreeSpace(char drive, ULONGLONG bytes);

typedef enum {
    LAYER_COPY_FAILS,      /* fails with `error` before the destination is touched */
    LAYER_COPY_DISK_FULL,  /* writes `bytes` bytes of the destination, then fails as a full disk does */
    LAYER_COPY_INTERRUPTED /* writes `bytes` bytes, then fails with `error` and leaves the partial
                              destination behind, as a crash or power loss would */
} LayerCopyFault;

/* The next CopyFileA whose destination's last component is `name` (compared without case; NULL
   for any destination) fails in the given way. */
void layerFailCopy(const char *name, LayerCopyFault fault, ULONGLONG bytes, DWORD error);

/* With TRUE, CopyFileA copies through a buffer with read and write, as it does where the kernel
   refuses copy_file_range and sendfile; FALSE puts the fast copy back. */
void layerUsePlainCopy(BOOL plain);

/* ---- Processes ---- */

/* The next GetExitCodeProcess of a process that has ended reports `code` instead of its own exit
   code (a native process cannot end with codes above 255, such as STILL_ACTIVE). */
void layerReportExitCode(DWORD code);

/* ---- Windows (see the window system's section below) ---- */

WIN32_EXTERN_C_END

#endif
