// The copy engine: installs one manifest's files, with the dialog's progress panel.
#ifndef DA12_INSTALL_COPY_H
#define DA12_INSTALL_COPY_H

#include <windows.h>

#include "install/manifest.h"

// Copies every entry of the manifest from the source directory into its subdirectory of the
// install directory, overwriting, and makes each installed file writable. A file that fails is
// reported in a box of its own and the run goes on. Always returns 1.
int copyFiles(const ManifestEntry *manifest, const char *caption);

// Windows 95, 98 and Me: TRUE where GetVersion's answer has its high bit set.
BOOL isWindows9x(void);

// Deletes a file written under a part's name, read-only or not; TRUE when one was there.
BOOL discardPart(const char *part);

// How many pauses a file's renames may wait in all for another program to let the file go.
const int RENAME_PAUSES = 20;

// Renames a file: over an existing destination with `replace` (MoveFileExA, a stub on Windows 95,
// 98 and Me), else never over one (MoveFileA). While the file is held (a sharing violation, access
// denied) the rename is tried again after a pause taken from `pausesLeft`, the file's allowance.
// On failure the last error is the last try's.
BOOL renameFile(const char *from, const char *to, BOOL replace, int *pausesLeft);

// The progress panel: frame, two status lines and the bar of the main dialog.
void openProgressPanel(void);
void closeProgressPanel(void);
void setStatusLine1(const char *text);
void setStatusLine2(const char *text);
void setProgressRange(int low, int high);
void resetProgress(void);
void stepProgress(void);
void showControl(HWND dlg, int id);
void hideControl(HWND dlg, int id);

#endif
