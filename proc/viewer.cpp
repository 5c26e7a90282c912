// The child process runner and the document viewer.
#include "proc/viewer.h"

#include <string.h>

#include "common/message.h"
#include "env/environment.h"

static const char CANNOT_EXECUTE_CAPTION[] = "Cannot execute file:";
static const char NOT_FOUND_CAPTION[] = "Could not find file:";
static const char VIEWER[] = "notepad.exe";

static void reportCannotExecute(const char *programPath, DWORD error)
{
    formatMessage("%s, %d", programPath, (int)error);
    showMessage(messageText, CANNOT_EXECUTE_CAPTION, MB_OK, mainDialog);
}

int runAndWait(const char *workingDirectory, const char *programPath, char *commandLine, HWND window)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(programPath, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                        workingDirectory, &startup, &child)) {
        reportCannotExecute(programPath, GetLastError());
        return -1;
    }

    // The installer handles no messages while it waits, so its window is hidden meanwhile.
    BOOL wasVisible = IsWindowVisible(window);
    ShowWindow(window, SW_HIDE);
    WaitForSingleObject(child.hProcess, INFINITE);
    if (wasVisible) {
        ShowWindow(window, SW_SHOW);
        InvalidateRect(window, NULL, TRUE);
    }
    SetFocus(window);

    DWORD exitCode;
    BOOL haveCode = GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    if (!haveCode || exitCode == STILL_ACTIVE)
        return -1;
    return (int)exitCode;
}

void viewDocument(const char *documentName)
{
    char documentPath[1024];
    char windowsDir[1024];
    char viewerPath[1024];
    char commandLine[1024];

    BOOL documentFits = formatText(documentPath, sizeof documentPath, "%s%s", sourceDir, documentName);
    if (!documentFits || !fileExists(documentPath)) {
        showMessage(documentPath, NOT_FOUND_CAPTION, MB_OK, mainDialog);
        return;
    }

    // Room is kept for the backslash that follows the directory.
    UINT length = GetWindowsDirectoryA(windowsDir, sizeof windowsDir - 1);
    if (length == 0 || length >= sizeof windowsDir - 1) {
        reportCannotExecute(VIEWER, length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
        return;
    }
    windowsDir[length] = '\\';
    windowsDir[length + 1] = 0;

    // The command line is not quoted: the viewer takes all of its argument text as the file name.
    if (!formatText(viewerPath, sizeof viewerPath, "%s%s", windowsDir, VIEWER) ||
        !formatText(commandLine, sizeof commandLine, "%s %s", viewerPath, documentPath)) {
        reportCannotExecute(viewerPath, ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    runAndWait(windowsDir, viewerPath, commandLine, mainDialog);
}
