// The pack install procedure: space check, backup of the game's executable, then the copy.
#include "install/pack.h"

#include <windows.h>

#include "common/message.h"
#include "common/runtime.h"
#include "env/environment.h"
#include "install/copy.h"
#include "install/manifest.h"

static const char GAME_DIR[] = "\\vk2\\";
static const char GAME_EXE[] = "vk2.exe";
static const char BACKUP_EXE[] = "Velk2.exe";
// The backup is written under this name first and renamed only once it is complete.
static const char BACKUP_PART[] = "Velk2.tmp";
static const int REQUIRED_MEGABYTES = 7;

static const char SPACE_CAPTION[] = "Not enough disk space for installation";
static const char SPACE_WARNING[] =
    "Drive %c: only has %3.3f MB of available hard drive space.\nThe game you are trying to install "
    "requires %d MB of hard drive space.\nPlease free up the required disk space and try again.";
static const char BACKUP_FAILED[] = "Unable to copy file:\nfrom '%s' to '%s'";

struct Pack {
    const ManifestEntry *manifest;
    const char *statusCaption;
    const char *abortCaption;
};

static const Pack PACKS[] = {
    {delvarin1Manifest, "Installing VK2: Delvarin 1", "Delvarin 1 Installation Aborted"},
    {delvarin2Manifest, "Installing VK2: Delvarin 2", "Delvarin 2 Installation Aborted"},
};

int checkDiskSpace(char drive, int requiredMegabytes)
{
    formatMessage("C:\\");
    messageText[0] = drive;
    DWORD sectorsPerCluster;
    DWORD bytesPerSector;
    DWORD freeClusters;
    DWORD totalClusters;
    // Without an answer (a path with no drive letter, say) the install goes on, and the copy
    // engine reports whatever cannot be written.
    if (!GetDiskFreeSpaceA(messageText, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return 1;
    unsigned long long freeBytes = (unsigned long long)bytesPerSector * sectorsPerCluster * freeClusters;
    float availableMegabytes = (float)((double)freeBytes / 1048576.0);
    if ((float)requiredMegabytes > availableMegabytes) {
        formatMessage(SPACE_WARNING, drive, (double)availableMegabytes, requiredMegabytes);
        showMessage(messageText, SPACE_CAPTION, MB_OK | MB_ICONWARNING, mainDialog);
        return 0;
    }
    return 1;
}

// TRUE when the path names a file, not a directory.
static BOOL isFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Forces a file's data to the disk. Only a handle that may write can flush, and a read-only file
// gives none: the copy of a read-only game is made writable for the flush and read-only again.
// A virus scanner may have the fresh copy open already, so the handle shares the file every way
// Windows knows: Windows 95, 98 and Me know no delete sharing and refuse an open that asks for it.
static BOOL flushFile(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    BOOL readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly)
        _chmod(path, _S_IWRITE);
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (isWindows9x() ? 0 : FILE_SHARE_DELETE);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    BOOL flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (readOnly)
        _chmod(path, _S_IREAD);
    return flushed;
}

// Saves the game's executable once, as the backup. The copy goes to a temporary name and is
// flushed to the disk before it is renamed, so neither an interrupted copy nor a power cut leaves
// a partial file posing as the backup beside a replaced game; the rename never replaces a file,
// so an existing backup is kept even where the existence test cannot see it (OpenFile refuses
// paths of 128 characters or more).
static BOOL backUpGame(const char *gameExe, const char *backup, const char *backupPart)
{
    OFSTRUCT file;
    if (OpenFile(backup, &file, OF_EXIST) != HFILE_ERROR)
        return TRUE;
    _chmod(backupPart, _S_IWRITE);
    if (!CopyFileA(gameExe, backupPart, FALSE) || !flushFile(backupPart)) {
        discardPart(backupPart);
        return FALSE;
    }
    int pausesLeft = RENAME_PAUSES;
    if (renameFile(backupPart, backup, FALSE, &pausesLeft))
        return TRUE;
    // Only a file under the backup's name is a backup; a directory there saves nothing.
    BOOL backupExists = GetLastError() == ERROR_ALREADY_EXISTS && isFile(backup);
    discardPart(backupPart);
    return backupExists;
}

int installPack(int pack)
{
    const Pack &constants = PACKS[pack == 2 ? 1 : 0];
    char gameDir[1024];
    char gameExe[1024];
    char backup[1024];
    char backupPart[1024];

    // The game directory starts with a backslash after the install directory's own; the file
    // functions take the pair as one separator. Every path is formed, cut where it must be, even
    // after one that did not fit: the box that reports them shows them all.
    BOOL fits = formatText(gameDir, sizeof gameDir, "%s%s", installRecord.installDir, GAME_DIR);
    fits &= formatText(gameExe, sizeof gameExe, "%s%s", gameDir, GAME_EXE);
    fits &= formatText(backup, sizeof backup, "%s%s", gameDir, BACKUP_EXE);
    fits &= formatText(backupPart, sizeof backupPart, "%s%s", gameDir, BACKUP_PART);

    if (!checkDiskSpace(installRecord.installDir[0], REQUIRED_MEGABYTES))
        return 0;
    if (!fits || !backUpGame(gameExe, backup, backupPart)) {
        formatMessage(BACKUP_FAILED, gameExe, backup);
        showMessage(messageText, constants.abortCaption, MB_OK, mainDialog);
        return 0;
    }
    return copyFiles(constants.manifest, constants.statusCaption) != 0;
}
