// The installation environment, established once while the main dialog is still hidden.
#include "env/environment.h"

#include <string.h>

#include "common/message.h"

InstallRecord installRecord;
char sourceDir[1024];
HWND mainDialog;

static const char RECORD_KEY[] = "Software\\Quorvex\\VK: Zarkhul Zuva";
static const char REGISTRY_CAPTION[] = "REGISTRY";
static const char CLOSE_FAILED_TEXT[] = "!close registry 2";
static const char REFUSAL_TEXT[] =
    "Yo, Rookie, this is a Windows 95 version of Delvarin 1 and 2!  Please install the VK: Zarkhul "
    "Zuva version of Velkor 2 to allow Delvarin 1 and 2 to be installed.";
static const char REFUSAL_CAPTION[] = "Delvarin 1 and 2 Install Aborted";
static const char LONG_DIRECTORY_TEXT[] =
    "The installer's folder has too long a path. Please run the installer from a folder with a "
    "shorter path.";
static const char REMOVED_DIRECTORY_TEXT[] =
    "The installer's folder no longer exists. Please run the installer from the folder that holds "
    "the packs.";
static const char UNREADABLE_DIRECTORY_TEXT[] =
    "The installer cannot read the path of its folder. Please run the installer from the folder "
    "that holds the packs.";
static const char SECOND_GAME_DIR[] = "vk2\\";
static const char SECOND_GAME_EXE[] = "vk2.exe";

// The record's values in the order they are read; a text must hold its terminator.
struct RecordValue {
    const char *name;
    BYTE *buffer;
    DWORD size;
    BOOL isText;
};

static void reportValueNotAccessible(HKEY key, const char *name)
{
    formatMessage("Key: '%s' not accessible", name);
    showMessage(messageText, REGISTRY_CAPTION, MB_OK, mainDialog);
    RegCloseKey(key);
}

int readRecordValue(HKEY key, const char *name, BYTE *buffer, DWORD size)
{
    DWORD type;
    DWORD length = size;
    if (RegQueryValueExA(key, name, NULL, &type, buffer, &length) == ERROR_SUCCESS)
        return 1;
    reportValueNotAccessible(key, name);
    return 0;
}

int readInstallRecord(void)
{
    const RecordValue values[] = {
        {"Installed To:", (BYTE *)installRecord.installDir, sizeof installRecord.installDir, TRUE},
        {"Installed From:", (BYTE *)installRecord.sourcePath, sizeof installRecord.sourcePath, TRUE},
        {"Velk 1 Installed", (BYTE *)&installRecord.firstGameInstalled, sizeof(DWORD), FALSE},
        {"Velk 2 Installed", (BYTE *)&installRecord.secondGameInstalled, sizeof(DWORD), FALSE},
        {"Velk 3 Installed", (BYTE *)&installRecord.thirdGameInstalled, sizeof(DWORD), FALSE},
        {"Cheater", (BYTE *)&installRecord.cheater, sizeof(DWORD), FALSE},
    };

    // Read rights only: the installer never writes the record, and a user who may not write
    // HKEY_LOCAL_MACHINE (NT's limited users) may still read it.
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORD_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    for (const RecordValue &value : values) {
        if (!readRecordValue(key, value.name, value.buffer, value.size))
            return 0;
        // A text stored without its terminator can fill the whole buffer; it is as unusable as
        // one too long for it, and nothing may read past the buffer's end.
        if (value.isText && !memchr(value.buffer, 0, value.size)) {
            value.buffer[0] = 0;
            reportValueNotAccessible(key, value.name);
            return 0;
        }
    }
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        showMessage(CLOSE_FAILED_TEXT, REGISTRY_CAPTION, MB_OK, mainDialog);
        return 0;
    }
    return 1;
}

int fileExists(const char *path)
{
    OFSTRUCT file;
    if (OpenFile(path, &file, OF_EXIST) != HFILE_ERROR)
        return 1;
    // OpenFile refuses a path of OFS_MAXPATHNAME characters or more without looking for it; such a
    // path is looked up by its attributes instead.
    if (strlen(path) < OFS_MAXPATHNAME)
        return 0;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int isSecondGameInstalled(void)
{
    if (installRecord.secondGameInstalled == 0)
        return 0;
    // A path too long for the buffer names no file the installer could use.
    if (!formatMessage("%s%s%s", installRecord.installDir, SECOND_GAME_DIR, SECOND_GAME_EXE))
        return 0;
    return fileExists(messageText);
}

// The working directory with a backslash appended, even after a drive root's own backslash.
// Returns 0, or why it could not be read: ERROR_INSUFFICIENT_BUFFER when the path does not fit.
static DWORD captureSourceDir(void)
{
    // Room is kept for the backslash.
    DWORD length = GetCurrentDirectoryA(sizeof sourceDir - 1, sourceDir);
    if (length == 0 || length >= sizeof sourceDir - 1) {
        DWORD error = length ? ERROR_INSUFFICIENT_BUFFER : GetLastError();
        sourceDir[0] = 0;
        return error ? error : ERROR_PATH_NOT_FOUND;
    }
    sourceDir[length] = '\\';
    sourceDir[length + 1] = 0;
    return 0;
}

int checkEnvironment(HWND window)
{
    mainDialog = window;
    DWORD cwdError = captureSourceDir();
    if (cwdError) {
        const char *text = cwdError == ERROR_INSUFFICIENT_BUFFER ? LONG_DIRECTORY_TEXT
                           : cwdError == ERROR_FILE_NOT_FOUND || cwdError == ERROR_PATH_NOT_FOUND
                               ? REMOVED_DIRECTORY_TEXT
                               : UNREADABLE_DIRECTORY_TEXT;
        showMessage(text, REFUSAL_CAPTION, MB_OK, mainDialog);
        return 0;
    }
    if (readInstallRecord() && isSecondGameInstalled())
        return 1;
    showMessage(REFUSAL_TEXT, REFUSAL_CAPTION, MB_OK, mainDialog);
    return 0;
}
