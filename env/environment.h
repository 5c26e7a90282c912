// The installation environment: the compilation's registry record, the directory the installer
// was started from, and the main dialog window that owns every message box.
#ifndef DA12_ENV_ENVIRONMENT_H
#define DA12_ENV_ENVIRONMENT_H

#include <windows.h>

// The compilation's record, read once by checkEnvironment and never written afterwards.
struct InstallRecord {
    char installDir[1024]; // "Installed To:", ends with a backslash
    char sourcePath[1024]; // "Installed From:", read but not used
    DWORD firstGameInstalled;
    DWORD secondGameInstalled;
    DWORD thirdGameInstalled;
    DWORD cheater;
};

extern InstallRecord installRecord;
// The working directory at the check, with one backslash appended: where the pack files lie.
extern char sourceDir[1024];
// The main dialog, owner of every message box from the check on.
extern HWND mainDialog;

// Records the dialog, captures sourceDir, reads the record and tests that the second game is
// installed. Returns 1 to go on; 0 after telling the user why the installer cannot run.
int checkEnvironment(HWND window);

// Opens the record's key, reads its six values in order and closes it; 1 on success.
int readInstallRecord(void);

// Reads one value into a buffer of `size` bytes; on failure reports it, closes the key, returns 0.
int readRecordValue(HKEY key, const char *name, BYTE *buffer, DWORD size);

// 1 when the path names an existing file, not a directory; also where the path is too long for
// OpenFile's existence test.
int fileExists(const char *path);

// 1 when the second game's flag is set and its executable exists under the install directory.
int isSecondGameInstalled(void);

#endif
