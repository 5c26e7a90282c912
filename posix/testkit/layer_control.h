/* Test controls of the POSIX layer. Only tests include this header; the program never does.
 * Every control is undone by layerReset, which puts the layer back as at process start. */
#ifndef POSIX_LAYER_CONTROL_H
#define POSIX_LAYER_CONTROL_H

#include <windows.h>

WIN32_EXTERN_C_BEGIN

/* Puts every family of the layer back as at process start: scripted failures, simulated disks,
   windows, display mode, message box handler, input script. Handles stay open. Returns the
   scripted faults and reports that were dropped without ever taking effect (a misspelt name, a
   call never made), as the control calls that set them up, e.g. `layerFailCall("RegCloseKey")`,
   separated by ", "; "" when there were none. The text stays valid until the next reset. */
const char *layerReset(void);

/* The next call of `function` (its Win32 name, e.g. "RegCloseKey"), after `skip` calls that work,
   fails once with `error` as its last error and the call's own failure value as its result. */
void layerFailCall(const char *function, DWORD error, int skip);

/* As layerFailCall, but the call that fails and every later call of `function` fail, as while
   another program holds the file they name, until layerStopFailingCall(function). */
void layerKeepFailingCall(const char *function, DWORD error, int skip);

/* Drops the failures of `function` still scripted by layerFailCall and layerKeepFailingCall, and
   returns how many calls of it the layer failed since the last reset or stop. */
int layerStopFailingCall(const char *function);

/* With TRUE, the layer answers as Windows 98 does where it differs: GetVersion reports 4.10 with the
   high bit set, MoveFileExA, a stub there, fails with ERROR_CALL_NOT_IMPLEMENTED, and CreateFileA
   refuses FILE_SHARE_DELETE with ERROR_INVALID_PARAMETER. */
void layerPretendWindows98(BOOL on);

/* ---- Files ---- */

/* GetDiskFreeSpaceA on the drive `drive` ('C', case-insensitive) reports `bytes` free bytes, whatever
   the disk has, as sectors per cluster, bytes per sector and free clusters whose product is `bytes`:
   1 x 1 x `bytes` up to 4 GiB - 1, above that one sector of the smallest size up to 65,535 bytes that
   divides `bytes` into a 32-bit count. An amount that no such size divides (one with a large prime
   factor) is reported as a real disk's free space is, rounded down to a whole cluster. */
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

/* ---- Named objects ---- */

/* Copies to `buffer` the native path of the directory where the layer keeps the named objects of
   the current prefix; the directory exists while any of them does. FALSE when the prefix is
   missing or the path does not fit. */
BOOL layerObjectStorePath(char *buffer, DWORD size);

/* ---- Processes ---- */

/* The next GetExitCodeProcess of a process that has ended reports `code` instead of its own exit
   code (a native process cannot end with codes above 255, such as STILL_ACTIVE). */
void layerReportExitCode(DWORD code);

/* ---- Windows (see the window system's section below) ---- */

/* The desktop's size in pixels (GetSystemMetrics, the desktop window); 1024 x 768 until changed. */
void layerSetDesktopSize(int width, int height);

/* TRUE: a 256-colour display with a system palette (the 20 static colours at 0-9 and 246-255), where
   palettes are realised as Windows realises them; FALSE (the default): a true-colour display.
   Switching clears every window's pixels. */
void layerSetPaletteDisplay(BOOL palette);

/* Another program realises a palette of `count` entries in the foreground: it claims system palette
   entries and every top-level window gets WM_PALETTECHANGED with a window that is none of ours.
   Only the palette display has a system palette to change. */
void layerRealizeForeignPalette(const PALETTEENTRY *entries, UINT count);

/* Called once for each message box while it is up (the box exists and is shown, its owner
   disabled), with the box, its owner and what MessageBoxA was given. Its result ends the box as
   that button would; 0 leaves the box to the other input sources. */
typedef int (*LayerMessageBoxHandler)(HWND box, HWND owner, const char *text, const char *caption,
                                      UINT style, void *context);
void layerSetMessageBoxHandler(LayerMessageBoxHandler handler, void *context);

/* Called each time a modal loop (a dialog's or a message box's) has nothing to do: no message
   posted, no input waiting, nothing to paint. It may inspect windows and give input with the calls
   below; when it gives none, the loop ends as Escape (a dialog) or Enter (a message box) would.
   Input sources take turns in this order: the message box handler, the idle handler, the file
   named by WINLAYER_SCRIPT, the terminal front end, then that fallback. */
typedef void (*LayerIdleHandler)(HWND loopWindow, void *context);
void layerSetIdleHandler(LayerIdleHandler handler, void *context);

/* How long the WINLAYER_SCRIPT command `wait <file>` waits for its file (30 seconds until changed).
   When the time runs out the script ends there, as at its end, with a line on standard error. */
void layerSetScriptWaitLimit(DWORD milliseconds);

/* Input as a user gives it, queued and taken in turn by the modal loop. A key goes to the window
   that has the focus when the loop takes it (vk: VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE, ...;
   shift: with Shift held). A click presses and releases the mouse button on a window, activating
   its top-level window first; a hidden or disabled window ignores it, as it ignores a real click.
   layerCloseWindow clicks the close box of a window's caption. layerActivate brings a top-level
   window to the front as the keyboard or the system does (WA_ACTIVE) or as a click does
   (WA_CLICKACTIVE); layerDeactivate sends it behind another program. */
void layerPressKey(UINT vk, BOOL shift);
void layerClick(HWND window);
void layerCloseWindow(HWND window);
void layerActivate(HWND window, UINT how);
void layerDeactivate(HWND window);

WIN32_EXTERN_C_END

#endif
