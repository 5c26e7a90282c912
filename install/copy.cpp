// The copy engine and the progress panel it shows while it runs.
#include "install/copy.h"

#include <commctrl.h>
#include <string.h>

#include "common/message.h"
#include "common/runtime.h"
#include "env/environment.h"
#include "resource.h"

static const char COPY_FAILED_CAPTION[] = "copyFiles";
static const char CHMOD_FAILED_CAPTION[] = "File not found to _chmod";
static const char NO_BAR_TEXT[] = "!GetDlgItem(IDC_INSTALL_BAR) (range)";
static const char NO_BAR_CAPTION[] = "ERROR";

// The panel's controls, in the order they are shown and hidden.
static const int PANEL_CONTROLS[] = {IDC_INSTALL_FRAME, IDC_INSTALL_STATUS1, IDC_INSTALL_STATUS2,
                                     IDC_INSTALL_BAR};

void showControl(HWND dlg, int id)
{
    HWND control = GetDlgItem(dlg, id);
    ShowWindow(control, SW_SHOWNORMAL);
    EnableWindow(control, TRUE);
}

void hideControl(HWND dlg, int id)
{
    HWND control = GetDlgItem(dlg, id);
    ShowWindow(control, SW_HIDE);
    EnableWindow(control, FALSE);
}

void setStatusLine1(const char *text)
{
    SetDlgItemTextA(mainDialog, IDC_INSTALL_STATUS1, text);
}

void setStatusLine2(const char *text)
{
    SetDlgItemTextA(mainDialog, IDC_INSTALL_STATUS2, text);
}

void resetProgress(void)
{
    SendDlgItemMessageA(mainDialog, IDC_INSTALL_BAR, PBM_SETPOS, 0, 0);
}

void stepProgress(void)
{
    SendDlgItemMessageA(mainDialog, IDC_INSTALL_BAR, PBM_STEPIT, 0, 0);
}

// The bar's range travels as two 16-bit bounds in one value, so each bound is cut to 16 bits.
void setProgressRange(int low, int high)
{
    HWND bar = GetDlgItem(mainDialog, IDC_INSTALL_BAR);
    if (!bar)
        showMessage(NO_BAR_TEXT, NO_BAR_CAPTION, MB_OK, mainDialog);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(low, high));
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
}

// Paints the whole dialog at once, without erasing its background first.
static void repaintDialog(void)
{
    RECT client;
    GetClientRect(mainDialog, &client);
    InvalidateRect(mainDialog, &client, FALSE);
    UpdateWindow(mainDialog);
}

void openProgressPanel(void)
{
    setStatusLine1("");
    setStatusLine2("");
    resetProgress();
    for (int id : PANEL_CONTROLS)
        showControl(mainDialog, id);
    repaintDialog();
}

void closeProgressPanel(void)
{
    for (int id : PANEL_CONTROLS)
        hideControl(mainDialog, id);
    setStatusLine1("");
    setStatusLine2("");
    resetProgress();
    repaintDialog();
}

// Entries up to the first one with an empty name or subdirectory.
static int countEntries(const ManifestEntry *manifest)
{
    int count = 0;
    while (manifest[count].fileName[0] && manifest[count].subdirectory[0])
        ++count;
    return count;
}

// A file is copied under this name beside its destination and takes the destination's name only
// when complete. It is no longer than the manifests' shortest names (the programs'), so its path
// fits wherever theirs does.
static const char COPY_PART[] = "~DA12~";
// On Windows 95, 98 and Me the file being replaced steps aside meanwhile, under its own name with
// this in front: a name of its own, so that the replace of one file never touches another's.
static const char ASIDE_PREFIX[] = "~DA12-old~";

// The copy takes its source's read-only attribute, which would keep a part that an interrupted run
// left behind from being replaced or deleted: it is made writable first.
BOOL discardPart(const char *part)
{
    _chmod(part, _S_IWRITE);
    return DeleteFileA(part);
}

// Windows 95, 98 and Me set the high bit of GetVersion's answer; there MoveFileExA is a stub, and
// CreateFileA refuses delete sharing.
BOOL isWindows9x(void)
{
    return (GetVersion() & 0x80000000) != 0;
}

// A virus scanner opens a file as soon as it is written and closed, and while it holds the file a
// rename of it fails with a sharing violation, or access denied. The pauses of one file's renames
// add up to RENAME_PAUSES of these, about a second, before its rename counts as failed.
static const DWORD RENAME_PAUSE = 50; // milliseconds

BOOL renameFile(const char *from, const char *to, BOOL replace, int *pausesLeft)
{
    for (;;) {
        if (replace ? MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) : MoveFileA(from, to))
            return TRUE;
        DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || *pausesLeft <= 0)
            return FALSE;
        --*pausesLeft;
        Sleep(RENAME_PAUSE);
    }
}

// Puts the complete part in the destination's place with renames alone, for Windows 95, 98 and
// Me: the old file steps aside, the part takes its name, and only then is the old file deleted.
// Whichever step fails, the file under the destination's name is whole, old or new, and nothing
// is deleted that is the last copy of either. Without an aside path (too long for its buffer)
// nothing is replaced. The renames share the file's pauses.
static BOOL swapInPart(const char *part, const char *aside, const char *destination, int *pausesLeft)
{
    if (!aside) {
        discardPart(part);
        return FALSE;
    }
    // An old file left aside by a run cut off before its delete: this file's destination is
    // there, so that one is no one's last copy.
    discardPart(aside);
    if (!renameFile(destination, aside, FALSE, pausesLeft)) {
        discardPart(part);
        return FALSE;
    }
    if (!renameFile(part, destination, FALSE, pausesLeft)) {
        // Put back, the old file is whole again and the part can go; if it cannot be put back,
        // both stay where they are, the old file aside.
        if (renameFile(aside, destination, FALSE, pausesLeft))
            discardPart(part);
        return FALSE;
    }
    discardPart(aside);
    return TRUE;
}

// Copies the source to the part and then puts the part in the destination's place, so that a copy
// that fails half-way (a full disk) leaves the destination exactly as it was. A read-only or busy
// destination is not replaced, as CopyFileA would not overwrite it.
static BOOL replaceFile(const char *source, const char *part, const char *aside, const char *destination)
{
    BOOL copied = CopyFileA(source, part, FALSE);
    // A read-only part left by an interrupted run refuses the copy: once it is gone, the copy is
    // tried again.
    if (!copied && GetLastError() == ERROR_ACCESS_DENIED && discardPart(part))
        copied = CopyFileA(source, part, FALSE);
    if (!copied) {
        discardPart(part);
        return FALSE;
    }
    int pausesLeft = RENAME_PAUSES;
    if (!isWindows9x()) {
        if (renameFile(part, destination, TRUE, &pausesLeft))
            return TRUE;
        if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
            discardPart(part);
            return FALSE;
        }
    }
    return swapInPart(part, aside, destination, &pausesLeft);
}

// Installs one file. A file new to the game has nothing to keep: it is copied straight to its
// name, which must still be free, and what a failed copy left of it is removed. One already there
// is replaced through the part.
static BOOL installFile(const char *source, const char *part, const char *aside, const char *destination)
{
    DWORD attributes = GetFileAttributesA(destination);
    if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND) {
        if (CopyFileA(source, destination, TRUE))
            return TRUE;
        if (GetLastError() != ERROR_FILE_EXISTS) {
            DeleteFileA(destination);
            return FALSE;
        }
        // Another program made the file in the meantime.
        attributes = GetFileAttributesA(destination);
    }
    // Refused before anything is written, as CopyFileA refuses it: Windows' MoveFileExA refuses
    // to replace a read-only file too, but Wine's replaces it.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return FALSE;
    return replaceFile(source, part, aside, destination);
}

int copyFiles(const ManifestEntry *manifest, const char *caption)
{
    char sourcePath[1024];
    char destinationPath[1024];
    char partPath[1024];
    char asidePath[1024];

    openProgressPanel();
    setStatusLine1(caption);
    int count = countEntries(manifest);
    setProgressRange(0, count);

    // The prefixes are written once; each file rewrites only what follows them. Both directory
    // texts are terminated within buffers of this size.
    formatText(sourcePath, sizeof sourcePath, "%s", sourceDir);
    size_t sourceTail = strlen(sourcePath);
    formatText(destinationPath, sizeof destinationPath, "%s", installRecord.installDir);
    size_t destinationTail = strlen(destinationPath);
    formatText(partPath, sizeof partPath, "%s", installRecord.installDir);
    formatText(asidePath, sizeof asidePath, "%s", installRecord.installDir);

    for (int i = 0; i < count; ++i) {
        const ManifestEntry &entry = manifest[i];
        // A path cut short by its buffer would name another file: such an entry is reported as a
        // failed copy and never touched. Every path is formed every time: no buffer keeps the
        // previous entry's path.
        BOOL fits = formatText(sourcePath + sourceTail, sizeof sourcePath - sourceTail, "%s", entry.fileName);
        fits &= formatText(destinationPath + destinationTail, sizeof destinationPath - destinationTail, "%s%s",
                           entry.subdirectory, entry.fileName);
        fits &= formatText(partPath + destinationTail, sizeof partPath - destinationTail, "%s%s", entry.subdirectory,
                           COPY_PART);
        // Only Windows 95, 98 and Me use the aside path; a destination that fits is not refused
        // because it does not.
        BOOL asideFits = formatText(asidePath + destinationTail, sizeof asidePath - destinationTail, "%s%s%s",
                                    entry.subdirectory, ASIDE_PREFIX, entry.fileName);
        setStatusLine2(entry.fileName);
        if (!fits || !installFile(sourcePath, partPath, asideFits ? asidePath : NULL, destinationPath)) {
            formatMessage("Could not copy file '%s' to '%s'", sourcePath, destinationPath);
            showMessage(messageText, COPY_FAILED_CAPTION, MB_OK, mainDialog);
        }
        stepProgress();
        UpdateWindow(mainDialog);
        if (fits && _chmod(destinationPath, _S_IWRITE) == -1)
            showMessage(destinationPath, CHMOD_FAILED_CAPTION, MB_OK, mainDialog);
    }

    closeProgressPanel();
    return 1;
}
