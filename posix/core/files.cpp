// Files: existence test, copy, move, delete, flush, attributes and the current directory, over the
// prefix's drives (dospath.h). Free space and the Windows directory are in volumes.cpp.
//
// The program sees files and directories only: a FIFO, socket or device is refused as Windows
// refuses a device it cannot copy, and is opened without waiting. A link that stands in the place
// of a file the program writes or changes is replaced or left alone, never written through: in a
// folder that others may write, it could lead anywhere. Links to directories, drives among them,
// are followed.
#include "dospath.h"
#include "layer.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {


std::string baseName(const std::string &native)
{
    size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string parentOf(const std::string &native)
{
    size_t slash = native.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : native.substr(0, slash);
}

// Windows' read-only attribute is the owner's write bit here: a file without it is read-only
// for every caller, the owner and root included.
bool isReadOnly(const struct stat &st)
{
    return !(st.st_mode & S_IWUSR);
}

// Whether this process may create, delete or rename names in a directory: its mode bits decide, as
// for an ordinary user, since root's bypass of them must not let the layer do what the same
// program could not do run by anyone else.
bool directoryWritable(const std::string &dir)
{
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && layer::modePermits(st, W_OK);
}

// What Windows answers when a file call reaches a device that cannot serve it.
const DWORD notAFileError = ERROR_INVALID_FUNCTION;

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writes all of buffer to fd; returns 0 or the errno.
int writeAll(int fd, const char *buffer, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, buffer, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        buffer += written;
        size -= static_cast<size_t>(written);
    }
    return 0;
}

// Copies at most `limit` bytes from the current offset of `in` to that of `out`, stopping early at
// the end of the source. The kernel copies without a detour through user space where it can:
// copy_file_range (which may share blocks), else sendfile; where it refuses both (other file
// systems, older kernels) the data goes through a buffer. Returns 0 or the errno.
int copyData(int in, int out, ULONGLONG limit, bool plainOnly)
{
    bool tryRange = !plainOnly;
    bool trySendfile = !plainOnly;
    std::vector<char> buffer;
    ULONGLONG done = 0;
    while (done < limit) {
        size_t chunk = static_cast<size_t>(std::min<ULONGLONG>(limit - done, 1u << 30));
        ssize_t moved;
        if (tryRange) {
            moved = copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                tryRange = false;
                continue;
            }
        } else if (trySendfile) {
            moved = sendfile(out, in, nullptr, chunk);
            if (moved < 0 && (errno == EINVAL || errno == ENOSYS)) {
                trySendfile = false;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(1 << 16);
            moved = read(in, buffer.data(), std::min(chunk, buffer.size()));
            if (moved > 0) {
                int error = writeAll(out, buffer.data(), static_cast<size_t>(moved));
                if (error)
                    return error;
            }
        }
        if (moved < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (moved == 0)
            break;
        done += static_cast<ULONGLONG>(moved);
    }
    return 0;
}

} // namespace

extern "C" HFILE WINAPI OpenFile(LPCSTR lpFileName, LPOFSTRUCT lpReOpenBuff, UINT uStyle)
{
    if (layer::failHere("OpenFile"))
        return HFILE_ERROR;
    if (!lpReOpenBuff)
        return HFILE_ERROR;
    lpReOpenBuff->cBytes = sizeof(OFSTRUCT);
    lpReOpenBuff->nErrCode = 0;
    // Only the existence test is served, as the program asks it: it opens no file through OpenFile.
    if (uStyle != OF_EXIST) {
        SetLastError(ERROR_INVALID_PARAMETER);
        lpReOpenBuff->nErrCode = ERROR_INVALID_PARAMETER;
        return HFILE_ERROR;
    }
    std::string full;
    std::string native;
    DWORD error = ERROR_SUCCESS;
    struct stat st;
    if (!layer::toFullDosPath(lpFileName, full, &error)) {
        // A name that cannot be taken apart is simply not found, as Windows' search reports it.
        error = error == ERROR_INVALID_NAME ? ERROR_FILE_NOT_FOUND : error;
    } else if (full.size() >= OFS_MAXPATHNAME) {
        // The full path must fit szPathName with its terminator; Windows checks before it looks.
        error = ERROR_INVALID_DATA;
    } else {
        memcpy(lpReOpenBuff->szPathName, full.c_str(), full.size() + 1);
        if (!layer::toNativePath(lpFileName, native, &error) || stat(native.c_str(), &st) != 0)
            error = ERROR_FILE_NOT_FOUND;
        else if (S_ISDIR(st.st_mode))
            error = ERROR_ACCESS_DENIED; // a directory cannot be opened as a file
        else if (access(native.c_str(), R_OK) != 0)
            error = layer::errorFromErrno(errno);
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        lpReOpenBuff->nErrCode = static_cast<WORD>(error);
        return HFILE_ERROR;
    }
    lpReOpenBuff->fFixedDisk = 1;
    return TRUE; // OF_EXIST opens and closes the file and returns TRUE instead of a handle
}

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    if (layer::failHere("GetFileAttributesA"))
        return INVALID_FILE_ATTRIBUTES;
    std::string native;
    layer::PathFacts facts;
    if (!layer::resolvePath(lpFileName, native, &facts))
        return INVALID_FILE_ATTRIBUTES;
    if (facts.free) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat &st = facts.status;
    if (!facts.found && stat(native.c_str(), &st) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (isReadOnly(st))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

extern "C" BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    if (layer::failHere("CopyFileA"))
        return FALSE;
    if (!lpExistingFileName || !lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string source;
    std::string destination;
    layer::PathFacts facts;
    if (!layer::resolvePath(lpExistingFileName, source) || !layer::resolvePath(lpNewFileName, destination, &facts))
        return FALSE;
    layer::CopyFault fault = {};
    bool faulty = layer::testKit && layer::testKit->copyFault(baseName(destination), fault);
    if (faulty && fault.kind == layer::CopyFault::Fails) {
        SetLastError(fault.error);
        return FALSE;
    }

    // O_NONBLOCK: a FIFO would otherwise keep the open waiting for a writer; a file ignores it.
    int in = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) {
        SetLastError(errno == ENXIO ? notAFileError : layer::errorFromErrno(errno));
        return FALSE;
    }
    struct stat sourceStat = {};
    if (fstat(in, &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) {
        close(in);
        SetLastError(S_ISDIR(sourceStat.st_mode) ? ERROR_ACCESS_DENIED : notAFileError);
        return FALSE;
    }

    // The checks Windows makes on the destination, in its order; the mode bits decide, not what
    // open() would let root do. A link in the destination's place is checked as a name only.
    struct stat existing;
    bool exists = !facts.free && lstat(destination.c_str(), &existing) == 0; // a free name has no link either
    bool link = exists && S_ISLNK(existing.st_mode);
    struct stat target;
    if (link && stat(destination.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        existing = target;
        link = false;
    }
    DWORD refusal = ERROR_SUCCESS;
    if (exists && bFailIfExists)
        refusal = ERROR_FILE_EXISTS;
    else if (exists && !link && sameFile(existing, sourceStat))
        refusal = ERROR_SHARING_VIOLATION; // the source is open for reading
    else if (exists && !link && (S_ISDIR(existing.st_mode) || isReadOnly(existing)))
        refusal = ERROR_ACCESS_DENIED;
    else if (exists && !link && !S_ISREG(existing.st_mode))
        refusal = notAFileError;
    else if (!(facts.free ? layer::modePermits(facts.directory, W_OK) : directoryWritable(parentOf(destination))))
        refusal = ERROR_ACCESS_DENIED;
    if (refusal == ERROR_SUCCESS && link && unlink(destination.c_str()) != 0)
        refusal = layer::errorFromErrno(errno);
    if (refusal != ERROR_SUCCESS) {
        close(in);
        SetLastError(refusal);
        return FALSE;
    }

    // O_NOFOLLOW and O_EXCL in place of a link: one put there since the checks fails the open. A
    // file that O_EXCL made is a new regular one; an existing one opened must be one too.
    bool create = bFailIfExists || link;
    int out = open(destination.c_str(),
                   O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_EXCL : O_TRUNC), 0666);
    struct stat opened;
    if (out >= 0 && !create && (fstat(out, &opened) != 0 || !S_ISREG(opened.st_mode))) {
        close(out);
        out = -1;
        errno = ENXIO;
    }
    if (out < 0) {
        int openError = errno;
        close(in);
        SetLastError(openError == EEXIST ? ERROR_FILE_EXISTS
                     : openError == ENOENT ? ERROR_PATH_NOT_FOUND
                     : openError == ELOOP  ? ERROR_ACCESS_DENIED
                     : openError == ENXIO  ? notAFileError
                                           : layer::errorFromErrno(openError));
        return FALSE;
    }
    if (!exists)
        layer::noteNameCreated(destination);

    bool plainOnly = layer::testKit && layer::testKit->plainCopy();
    ULONGLONG limit = faulty ? fault.bytes : ~0ull;
    int copyError = copyData(in, out, limit, plainOnly);
    // A simulated fault strikes once the bytes it lets through are written.
    bool failed = copyError != 0 || faulty;
    DWORD failure = copyError ? layer::errorFromErrno(copyError)
                    : !faulty ? ERROR_SUCCESS
                    : fault.kind == layer::CopyFault::DiskFull ? ERROR_DISK_FULL
                                                          : fault.error;
    if (!failed) {
        // The copy takes the source's last-write time and read-only attribute, as on Windows.
        struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
        futimens(out, times);
        if (isReadOnly(sourceStat)) {
            struct stat written;
            if (fstat(out, &written) == 0)
                fchmod(out, written.st_mode & ~0222);
        }
    }
    close(in);
    if (close(out) != 0 && !failed) {
        failed = true;
        failure = layer::errorFromErrno(errno); // a delayed write error, as NFS reports them
    }
    if (failed) {
        // Windows removes a destination it could not finish; a crash (simulated) leaves it.
        if (!(faulty && fault.kind == layer::CopyFault::Interrupted)) {
            unlink(destination.c_str());
            layer::noteNameRemoved(destination);
        }
        SetLastError(failure);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

namespace {

// Makes the names in a directory durable, as a flushed file's data is.
void syncDirectory(const std::string &dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// MoveFileExA's work, within one volume. An existing destination is replaced only with
// MOVEFILE_REPLACE_EXISTING, and never when it is a directory or a read-only file, as on Windows;
// a link in its place is replaced itself, since rename() never follows one.
BOOL moveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD flags)
{
    if (!lpExistingFileName || !lpNewFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string source;
    std::string destination;
    if (!layer::resolvePath(lpExistingFileName, source))
        return FALSE;
    struct stat sourceStat;
    if (lstat(source.c_str(), &sourceStat) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    if (!layer::resolvePath(lpNewFileName, destination))
        return FALSE;
    struct stat existing;
    bool replaces = false;
    if (lstat(destination.c_str(), &existing) == 0) {
        // The program never renames a file to its own name, nor changes the case of one.
        if (sameFile(existing, sourceStat) && layer::lowerAscii(destination) == layer::lowerAscii(source)) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        if (S_ISDIR(existing.st_mode) || S_ISDIR(sourceStat.st_mode) ||
            (S_ISREG(existing.st_mode) && isReadOnly(existing))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        replaces = true;
    }
    if (!directoryWritable(parentOf(source)) ||
        (parentOf(destination) != parentOf(source) && !directoryWritable(parentOf(destination)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Another name of the same file (a hard link) is another file to Windows, but rename() leaves
    // both names when they are links to one file.
    bool renamed = replaces && sameFile(existing, sourceStat) ? unlink(source.c_str()) == 0
                                                              : rename(source.c_str(), destination.c_str()) == 0;
    if (renamed) {
        if (replaces && sameFile(existing, sourceStat))
            layer::noteNameRemoved(source);
        else
            layer::noteNameMoved(source, destination, !replaces);
        if (flags & MOVEFILE_WRITE_THROUGH) {
            syncDirectory(parentOf(destination));
            if (parentOf(source) != parentOf(destination))
                syncDirectory(parentOf(source));
        }
        return TRUE;
    }
    // Another volume (EXDEV) is ERROR_NOT_SAME_DEVICE: the program renames within one directory
    // only, so no move is ever made a copy.
    SetLastError(layer::errorFromErrno(errno));
    return FALSE;
}

// A file the program opens: only to flush what was written to it.
struct OpenedFile : layer::KernelObject {
    explicit OpenedFile(int descriptor) : KernelObject(layer::HandleKind::File), fd(descriptor) {}
    ~OpenedFile() override { close(fd); }
    const int fd;
};

} // namespace

// It writes the new names through to the disk: the program renames a file to commit one that it
// has flushed (the game's backup), and on Linux the name would otherwise wait for the next
// write-back while later writes went first.
extern "C" BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName)
{
    if (layer::failHere("MoveFileA"))
        return FALSE;
    return moveFile(lpExistingFileName, lpNewFileName, MOVEFILE_WRITE_THROUGH);
}

extern "C" BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    if (layer::failHere("MoveFileExA"))
        return FALSE;
    if (layer::isWindows98()) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    // The program calls it only to replace a file.
    if (dwFlags != MOVEFILE_REPLACE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return moveFile(lpExistingFileName, lpNewFileName, dwFlags);
}

// Opens an existing file for writing, the only kind of open the program makes (to flush it). The
// mode bits decide whether it may be written, as elsewhere; the descriptor itself is read-only,
// since fsync needs no more. Windows 95, 98 and Me know no delete sharing and refuse an open that
// asks for it.
extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    (void)lpSecurityAttributes, (void)dwFlagsAndAttributes, (void)hTemplateFile;
    if (layer::failHere("CreateFileA"))
        return INVALID_HANDLE_VALUE;
    if (dwDesiredAccess != GENERIC_WRITE || dwCreationDisposition != OPEN_EXISTING ||
        (layer::isWindows98() && (dwShareMode & FILE_SHARE_DELETE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string native;
    if (!layer::resolvePath(lpFileName, native))
        return INVALID_HANDLE_VALUE;
    int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno == ENXIO ? notAFileError : layer::errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    DWORD refusal = fstat(fd, &st) != 0   ? layer::errorFromErrno(errno)
                    : S_ISDIR(st.st_mode)  ? ERROR_ACCESS_DENIED
                    : !S_ISREG(st.st_mode) ? notAFileError
                    : isReadOnly(st)       ? ERROR_ACCESS_DENIED
                                           : ERROR_SUCCESS;
    if (refusal != ERROR_SUCCESS) {
        close(fd);
        SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return layer::addHandle(std::make_unique<OpenedFile>(fd));
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE hFile)
{
    if (layer::failHere("FlushFileBuffers"))
        return FALSE;
    auto *file = dynamic_cast<OpenedFile *>(layer::findHandle(hFile));
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(file->fd) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (layer::failHere("DeleteFileA"))
        return FALSE;
    std::string native;
    if (!layer::resolvePath(lpFileName, native))
        return FALSE;
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    // Windows refuses to delete a directory or a read-only file; unlink() would take the file.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && isReadOnly(st)) || !directoryWritable(parentOf(native))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(native.c_str()) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        return FALSE;
    }
    layer::noteNameRemoved(native);
    return TRUE;
}

// Of the attributes only the read-only one is kept here, as the owner's write bit.
extern "C" BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    if (layer::failHere("SetFileAttributesA"))
        return FALSE;
    std::string native;
    layer::PathFacts facts;
    if (!layer::resolvePath(lpFileName, native, &facts))
        return FALSE;
    bool readOnly = dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    // A mode that would stay as it is, of a file the caller owns, needs no change: whether the name
    // is a link to it or the file itself (a link is left alone), the answer is the same.
    const struct stat &found = facts.status;
    if (facts.found && found.st_uid == geteuid() &&
        (S_ISDIR(found.st_mode) || (readOnly ? found.st_mode & ~0222 : found.st_mode | S_IWUSR) == found.st_mode))
        return TRUE;
    // O_PATH opens the name itself, without reading the file or waiting on a FIFO.
    int fd = open(native.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        SetLastError(layer::errorFromErrno(errno));
        if (fd >= 0)
            close(fd);
        return FALSE;
    }
    // Like Wine, a directory keeps its write bits: Windows' read-only attribute does not stop
    // anyone writing into a directory. A link has no mode of its own, and what it leads to is
    // left as it is.
    struct stat target;
    if (S_ISLNK(st.st_mode) && stat(native.c_str(), &target) != 0) {
        close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND); // a link that leads nowhere names no file
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
        close(fd);
        return TRUE;
    }
    mode_t wanted = readOnly ? st.st_mode & ~0222 : st.st_mode | S_IWUSR;
    // Changed through the descriptor, so the name cannot be swapped for a link meanwhile; without
    // /proc, by name.
    char byDescriptor[40];
    snprintf(byDescriptor, sizeof byDescriptor, "/proc/self/fd/%d", fd);
    int changed = chmod(byDescriptor, wanted & 07777);
    if (changed != 0 && errno == ENOENT)
        changed = chmod(native.c_str(), wanted & 07777);
    int error = errno;
    close(fd);
    if (changed != 0) {
        SetLastError(layer::errorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

// The length without the terminator; when the buffer is too small, the size it needs with it.
extern "C" DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    if (layer::failHere("GetCurrentDirectoryA"))
        return 0;
    char *cwd = getcwd(nullptr, 0);
    if (!cwd) {
        SetLastError(layer::errorFromErrno(errno));
        return 0;
    }
    std::string dos = layer::toDosPath(cwd);
    free(cwd);
    if (dos.size() >= nBufferLength)
        return static_cast<DWORD>(dos.size() + 1);
    memcpy(lpBuffer, dos.c_str(), dos.size() + 1);
    return static_cast<DWORD>(dos.size());
}
