// The child process runner and the document viewer.
#include "proc/viewer.h"

#include <string.h>

#include "common/message.h"
#include "env/environment.h"

static const char CANNOT_EXECUTE_CAPTION[] = "Cannot execute file:";
static const char NOT_FOUND_CAPTION[] = "Could not find file:";
static const char VIEWER[] = "notepad.exe";

static const char USER32[] = "user32.dll";
static const char ADVAPI32[] = "advapi32.dll";

// The rights CreateProcessWithTokenW needs of its token, and those to adjust the token's default
// security and its session, which starting a process with it in this session may call for.
static const DWORD USER_TOKEN_ACCESS =
    TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

typedef HWND(WINAPI *GetShellWindowProc)(void);
typedef BOOL(WINAPI *OpenProcessTokenProc)(HANDLE process, DWORD access, PHANDLE token);
typedef BOOL(WINAPI *GetTokenInformationProc)(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID information,
                                              DWORD size, PDWORD returned);
typedef BOOL(WINAPI *LookupPrivilegeValueAProc)(LPCSTR system, LPCSTR name, PLUID luid);
typedef BOOL(WINAPI *AdjustTokenPrivilegesProc)(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                                                DWORD size, PTOKEN_PRIVILEGES previousState, PDWORD returned);
typedef BOOL(WINAPI *DuplicateTokenExProc)(HANDLE token, DWORD access, LPSECURITY_ATTRIBUTES attributes,
                                           SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE newToken);
typedef BOOL(WINAPI *CreateProcessWithTokenWProc)(HANDLE token, DWORD logonFlags, LPCWSTR programPath,
                                                  LPWSTR commandLine, DWORD creationFlags, LPVOID environment,
                                                  LPCWSTR workingDirectory, LPSTARTUPINFOW startup,
                                                  PROCESS_INFORMATION *child);
typedef void (*AnyCall)(void);

// The calls that start a child as the desktop's user and that Windows 95 does not serve (nor
// Windows XP CreateProcessWithTokenW), found by name in the system's own DLLs: both are Known
// DLLs, loaded with the program, so GetModuleHandleA finds the system's copy.
static GetShellWindowProc getShellWindow;
static OpenProcessTokenProc openProcessToken;
static GetTokenInformationProc getTokenInformation;
static LookupPrivilegeValueAProc lookupPrivilegeValueA;
static AdjustTokenPrivilegesProc adjustTokenPrivileges;
static DuplicateTokenExProc duplicateTokenEx;
static CreateProcessWithTokenWProc createProcessWithTokenW;

static void reportCannotExecute(const char *programPath, DWORD error)
{
    formatMessage("%s, %d", programPath, (int)error);
    showMessage(messageText, CANNOT_EXECUTE_CAPTION, MB_OK, mainDialog);
}

static AnyCall findCall(const char *dll, const char *name)
{
    HMODULE module = GetModuleHandleA(dll);
    return module ? (AnyCall)GetProcAddress(module, name) : NULL;
}

static BOOL findDesktopUserCalls(void)
{
    getShellWindow = (GetShellWindowProc)findCall(USER32, "GetShellWindow");
    openProcessToken = (OpenProcessTokenProc)findCall(ADVAPI32, "OpenProcessToken");
    getTokenInformation = (GetTokenInformationProc)findCall(ADVAPI32, "GetTokenInformation");
    lookupPrivilegeValueA = (LookupPrivilegeValueAProc)findCall(ADVAPI32, "LookupPrivilegeValueA");
    adjustTokenPrivileges = (AdjustTokenPrivilegesProc)findCall(ADVAPI32, "AdjustTokenPrivileges");
    duplicateTokenEx = (DuplicateTokenExProc)findCall(ADVAPI32, "DuplicateTokenEx");
    createProcessWithTokenW = (CreateProcessWithTokenWProc)findCall(ADVAPI32, "CreateProcessWithTokenW");
    return getShellWindow && openProcessToken && getTokenInformation && lookupPrivilegeValueA &&
           adjustTokenPrivileges && duplicateTokenEx && createProcessWithTokenW;
}

// TRUE where the installer runs with the full token of an elevation that has a linked one: Vista
// and later with UAC on. UAC off gives TokenElevationTypeDefault, and Windows before Vista fails
// the query.
static BOOL elevatedWithLinkedToken(HANDLE ownToken)
{
    TOKEN_ELEVATION_TYPE elevation;
    DWORD size;
    return getTokenInformation(ownToken, TokenElevationType, &elevation, sizeof elevation, &size) &&
           elevation == TokenElevationTypeFull;
}

// The process of the desktop's shell; 0 where there is no shell window.
static DWORD shellProcessId(void)
{
    DWORD processId = 0;
    HWND shell = getShellWindow();
    if (shell)
        GetWindowThreadProcessId(shell, &processId);
    return processId;
}

// Opens the token of the shell's process for duplication. Where the shell runs under another
// account (an administrator typed a password for the user at the desk), both opens need the debug
// privilege: it is enabled for them alone, and put back as it was.
static HANDLE openShellToken(HANDLE ownToken, DWORD shellId)
{
    TOKEN_PRIVILEGES debug;
    TOKEN_PRIVILEGES previous;
    DWORD previousSize;
    debug.PrivilegeCount = 1;
    debug.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // The previous state holds what the call changed, to be put back: nothing where the privilege
    // was enabled already, or where the token lacks it (ERROR_NOT_ALL_ASSIGNED).
    previous.PrivilegeCount = 0;
    BOOL adjusted = lookupPrivilegeValueA(NULL, SE_DEBUG_NAME, &debug.Privileges[0].Luid) &&
                    adjustTokenPrivileges(ownToken, FALSE, &debug, sizeof previous, &previous, &previousSize);

    HANDLE shellToken = NULL;
    HANDLE shell = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellId);
    if (shell) {
        if (!openProcessToken(shell, TOKEN_DUPLICATE, &shellToken))
            shellToken = NULL;
        CloseHandle(shell);
    }
    if (adjusted && previous.PrivilegeCount)
        adjustTokenPrivileges(ownToken, FALSE, &previous, 0, NULL, NULL);
    return shellToken;
}

// A primary token of the desktop's user, duplicated from the shell's process; NULL where the
// installer is not elevated with a linked token, where there is no shell, and when a step fails.
static HANDLE desktopUserToken(void)
{
    HANDLE ownToken;
    if (!openProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &ownToken))
        return NULL;
    HANDLE shellToken = NULL;
    if (elevatedWithLinkedToken(ownToken)) {
        DWORD shellId = shellProcessId();
        if (shellId)
            shellToken = openShellToken(ownToken, shellId);
    }
    CloseHandle(ownToken);
    if (!shellToken)
        return NULL;
    HANDLE userToken;
    if (!duplicateTokenEx(shellToken, USER_TOKEN_ACCESS, NULL, SecurityImpersonation, TokenPrimary, &userToken))
        userToken = NULL;
    CloseHandle(shellToken);
    return userToken;
}

// A text of the ANSI code page in a 1024-character buffer of UTF-16.
static BOOL toWide(const char *text, WCHAR *wide)
{
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024) != 0;
}

// Starts the program as the installer's CreateProcessA would, but with the desktop user's rights
// and environment, where the installer runs elevated with a linked token: the person at the desk
// may be a standard user whom an administrator's password elevated, and an elevated Notepad's Open
// dialog starts anything as administrator. FALSE, with nothing started, everywhere else.
static BOOL startAsDesktopUser(const char *workingDirectory, const char *programPath, const char *commandLine,
                               PROCESS_INFORMATION *child)
{
    if (!findDesktopUserCalls())
        return FALSE;
    HANDLE token = desktopUserToken();
    if (!token)
        return FALSE;
    WCHAR widePath[1024];
    WCHAR wideCommandLine[1024];
    WCHAR wideDirectory[1024];
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    // No environment block: the child gets the token's user's own, not the installer's.
    BOOL started = toWide(programPath, widePath) && toWide(commandLine, wideCommandLine) &&
                   toWide(workingDirectory, wideDirectory) &&
                   createProcessWithTokenW(token, 0, widePath, wideCommandLine, NORMAL_PRIORITY_CLASS, NULL,
                                           wideDirectory, &startup, child);
    CloseHandle(token);
    return started;
}

int runAndWait(const char *workingDirectory, const char *programPath, char *commandLine, HWND window)
{
    PROCESS_INFORMATION child;
    if (!startAsDesktopUser(workingDirectory, programPath, commandLine, &child)) {
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        if (!CreateProcessA(programPath, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                            workingDirectory, &startup, &child)) {
            reportCannotExecute(programPath, GetLastError());
            return -1;
        }
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
