// The installer's entry: it refuses to run beside another copy of itself, the compilation's
// launcher or its games, then runs the main dialog until the user quits.
#include <windows.h>

#include "app/maindlg.h"
#include "common/instance.h"
#include "common/message.h"
#include "resource.h"

// Named objects that running programs hold: the installer's own, the launcher's and the games'.
static const char INSTALLER_MARKER[] = "Nightfane 1 Installer";
static const char LAUNCHER_MARKER[] = "Velkor Launcher";
static const char FIRST_GAME_MARKER[] = "Velkor 1";
static const char SECOND_GAME_MARKER[] = "Velkor 2";
static const char THIRD_GAME_MARKER[] = "Velkor 3 Mutex";
static const char COMPILATION_MARKER[] = "Velkor Zuva";

static const char LAUNCHER_NOTICE[] = "Please quit the Velkor Launcher before running DA12Dero.exe";
static const char NOTICE_CAPTION[] = "Notice";
static const char NO_DIALOG_TEXT[] = "Could not create Main Dialog box";
static const char NO_DIALOG_CAPTION[] = "Error!";

// Held from start to end of the run, so that a second copy finds it.
static HANDLE installerMarker;

static const char COMMON_CONTROLS_DLL[] = "\\comctl32.dll";

typedef BOOL(WINAPI *SetDefaultDllDirectoriesProc)(DWORD flags);
typedef BOOL(WINAPI *SetDllDirectoryAProc)(LPCSTR path);
typedef void(WINAPI *InitCommonControlsProc)(void);

// The installer may run with administrator rights from a folder anyone could have written to (a
// download folder): no DLL is to be loaded from there, nor from the current directory, by the
// installer or by the system DLLs it calls. Windows before 8 (and 7 before an update) lacks the
// first call, and Windows 95 to XP SP1 the second.
static void keepDllsToTheSystemDirectory(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    SetDefaultDllDirectoriesProc setDefault =
        (SetDefaultDllDirectoriesProc)(void (*)(void))GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryAProc setDllDirectory =
        (SetDllDirectoryAProc)(void (*)(void))GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDllDirectory)
        setDllDirectory("");
}

// Registers the common control classes. Their DLL is not one of the Known DLLs that Windows always
// takes from the system directory, so it is loaded by its full path there; it stays loaded, as its
// classes must. Without it the dialog, which holds a progress bar, cannot be created.
static void initCommonControls(void)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path ||
        !formatText(path + length, sizeof path - length, "%s", COMMON_CONTROLS_DLL))
        return;
    HMODULE commonControls = LoadLibraryA(path);
    if (!commonControls)
        return;
    InitCommonControlsProc init =
        (InitCommonControlsProc)(void (*)(void))GetProcAddress(commonControls, "InitCommonControls");
    if (init)
        init();
}

// A create call tells whether the name existed through the last error, read right after it.
static BOOL createdExisting(void)
{
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

// Creates a semaphore of that name and closes it again; TRUE when another program holds one.
// An existing name keeps its probe open until the process ends.
static BOOL semaphoreExists(const char *name)
{
    HANDLE probe = CreateSemaphoreA(NULL, 0, 1, name);
    if (createdExisting())
        return TRUE;
    if (probe)
        CloseHandle(probe);
    return FALSE;
}

static BOOL mutexExists(const char *name)
{
    HANDLE probe = CreateMutexA(NULL, FALSE, name);
    if (createdExisting())
        return TRUE;
    if (probe)
        CloseHandle(probe);
    return FALSE;
}

static void showLauncherNotice(void)
{
    showMessage(LAUNCHER_NOTICE, NOTICE_CAPTION, MB_OK | MB_ICONWARNING, NULL);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    keepDllsToTheSystemDirectory();
    installerMarker = CreateSemaphoreA(NULL, 0, 1, INSTALLER_MARKER);
    if (createdExisting())
        return 0;
    if (semaphoreExists(LAUNCHER_MARKER)) {
        showLauncherNotice();
        return 0;
    }
    if (semaphoreExists(FIRST_GAME_MARKER) || semaphoreExists(SECOND_GAME_MARKER) ||
        mutexExists(THIRD_GAME_MARKER))
        return 0;
    if (semaphoreExists(COMPILATION_MARKER)) {
        showLauncherNotice();
        return 0;
    }

    moduleInstance = instance;
    initCommonControls();
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, mainDlgProc, 0) == -1)
        showMessage(NO_DIALOG_TEXT, NO_DIALOG_CAPTION, MB_OK, NULL);

    CloseHandle(installerMarker);
    return 0;
}
