// Named kernel objects (semaphores and mutexes) shared by all processes of the user that work in the
// same Wine prefix, and CloseHandle for every kind of handle.
//
// A named object is a file in a directory private to the user and the prefix. Every handle to it
// is an open file description of that file holding a shared flock, so the object exists exactly
// while some process holds such a lock: the kernel drops the locks of a process that dies, even by
// SIGKILL, and a crash leaves no name behind. An exclusive flock on the directory makes create-or-
// open and the last close atomic across processes.
#include "dospath.h"
#include "layer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The error Windows gives for a name, or 0. The program's names are plain ones, in the session's
// own directory; a backslash would lead into a directory of the object tree, and those
// (the "Local" and "Global" links among them) are not served here.
DWORD nameError(const std::string &name)
{
    if (name[0] == '\\')
        return ERROR_BAD_PATHNAME;
    return name.find('\\') == std::string::npos ? 0 : ERROR_PATH_NOT_FOUND;
}

// The file name of an object: the 128-bit FNV-1a hash of its name in hex, since a name of up to
// MAX_PATH bytes of any kind does not fit a file name. The file records the name, so that two names
// of one hash are told apart.
std::string fileNameOf(const std::string &name)
{
    unsigned __int128 hash = (static_cast<unsigned __int128>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
    const unsigned __int128 prime = (static_cast<unsigned __int128>(1) << 88) | 0x13b;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= prime;
    }
    char text[33];
    snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash >> 64),
             static_cast<unsigned long long>(hash));
    return text;
}

// Every file of the store lies in a directory that the store makes: ENOENT means a directory on the
// way is gone, which Windows reports for an object's name as ERROR_PATH_NOT_FOUND.
DWORD storeError(int error)
{
    return error == ENOENT ? ERROR_PATH_NOT_FOUND : layer::errorFromErrno(error);
}

int lockFile(int fd, int operation)
{
    int result;
    do
        result = flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

// The objects directory of one prefix, opened and locked: <root>/<device>-<inode of the prefix>.
// The root is ".winlayer-objects-<uid>" in /dev/shm, the memory file system where POSIX keeps named
// IPC objects, else in /tmp, where Wine keeps its server's socket: not in the prefix, which may lie
// on a file system where locks do not work. The objects live only while processes hold them, so
// memory is the place for them: a probe made and closed costs no disk metadata.
struct ObjectStore {
    ObjectStore() = default;
    ObjectStore(const ObjectStore &) = delete;
    ObjectStore &operator=(const ObjectStore &) = delete;
    ~ObjectStore()
    {
        // Closing the directory drops its lock.
        if (dir >= 0)
            close(dir);
        if (root >= 0)
            close(root);
    }

    int root = -1;
    int dir = -1;
};

// The name of the prefix's objects directory within the root: the prefix's device and inode, as
// Wine names its server directory, so every spelling of the prefix's path meets in one place.
DWORD storeNameOfPrefix(std::string &name)
{
    struct stat prefix;
    if (stat(layer::prefixDirectory().c_str(), &prefix) != 0 || !S_ISDIR(prefix.st_mode))
        return ERROR_PATH_NOT_FOUND;
    char text[48];
    snprintf(text, sizeof text, "%llx-%llx", static_cast<unsigned long long>(prefix.st_dev),
             static_cast<unsigned long long>(prefix.st_ino));
    name = text;
    return 0;
}

std::string storeRoot()
{
    static const std::string root = [] {
        struct stat shm;
        bool inMemory = stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode);
        return std::string(inMemory ? "/dev/shm" : "/tmp") + "/.winlayer-objects-" + std::to_string(getuid());
    }();
    return root;
}

DWORD openStore(const std::string &name, ObjectStore &store)
{
    std::string rootPath = storeRoot();
    if (mkdir(rootPath.c_str(), 0700) != 0 && errno != EEXIST)
        return storeError(errno);
    store.root = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (store.root < 0)
        return storeError(errno);
    // Anyone may create a directory in /tmp: one that is not the user's own and private would let
    // others see, forge and hold the user's names.
    struct stat root;
    if (fstat(store.root, &root) != 0 || root.st_uid != getuid() || (root.st_mode & 077) != 0)
        return ERROR_ACCESS_DENIED;
    for (;;) {
        if (mkdirat(store.root, name.c_str(), 0700) != 0 && errno != EEXIST)
            return storeError(errno);
        int dir = openat(store.root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) {
            if (errno == ENOENT)
                continue;
            return storeError(errno);
        }
        if (lockFile(dir, LOCK_EX) != 0) {
            DWORD error = storeError(errno);
            close(dir);
            return error;
        }
        // The last close of a prefix's last object removes the directory; one removed while this
        // process waited for its lock is gone for good, and a new one is made.
        struct stat st;
        if (fstat(dir, &st) == 0 && st.st_nlink > 0) {
            store.dir = dir;
            return 0;
        }
        close(dir);
    }
}

// A handle to a named object: its own open file description, holding a shared lock.
struct NamedObject : layer::KernelObject {
    NamedObject(layer::HandleKind kind, int fd, const std::string &store, const std::string &file)
        : KernelObject(kind), fd(fd), store(store), file(file)
    {
    }
    ~NamedObject() override;

    const int fd;
    const std::string store;
    const std::string file;
};

NamedObject::~NamedObject()
{
    ObjectStore locked;
    // Turning the shared lock into an exclusive one succeeds only when no other handle holds the
    // file, in this process or another: this was the last, and the name goes with it.
    if (openStore(store, locked) == 0 && lockFile(fd, LOCK_EX | LOCK_NB) == 0) {
        unlinkat(locked.dir, file.c_str(), 0);
        close(fd);
        // Fails while other objects (or files that ended processes left unlocked) remain.
        unlinkat(locked.root, store.c_str(), AT_REMOVEDIR);
        return;
    }
    close(fd);
}

char kindLetter(layer::HandleKind kind)
{
    return kind == layer::HandleKind::Mutex ? 'M' : 'S';
}

// What an object's file records: the letter of its kind, then its name.
std::string readRecord(int fd)
{
    // One byte more than the longest record, so that a longer file never matches one.
    char buffer[2 + MAX_PATH + 1];
    ssize_t length = pread(fd, buffer, sizeof buffer, 0);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

HANDLE failWith(DWORD error)
{
    SetLastError(error);
    return nullptr;
}

// Creates the object, or opens the existing one of the same kind and name, and sets the last error
// to 0 or ERROR_ALREADY_EXISTS, as Windows does.
HANDLE createObject(layer::HandleKind kind, const std::string &name)
{
    if (DWORD error = nameError(name))
        return failWith(error);
    std::string storeName;
    if (DWORD error = storeNameOfPrefix(storeName))
        return failWith(error);
    ObjectStore store;
    if (DWORD error = openStore(storeName, store))
        return failWith(error);

    const std::string file = fileNameOf(name);
    int fd = openat(store.dir, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return failWith(storeError(errno));
    const std::string record = kindLetter(kind) + name;
    bool existed;
    DWORD error = 0;
    if (lockFile(fd, LOCK_EX | LOCK_NB) == 0) {
        // No handle holds the file: the name is free, whatever an ended process left in it.
        // The record is written before the file is cut to its length: some file systems (ext4)
        // write back at the last close a file that was cut to nothing, which would cost every
        // object a disk write.
        existed = false;
        if (pwrite(fd, record.data(), record.size(), 0) != static_cast<ssize_t>(record.size()) ||
            ftruncate(fd, static_cast<off_t>(record.size())) != 0)
            error = storeError(errno);
    } else if (errno == EWOULDBLOCK) {
        existed = true;
        std::string held = readRecord(fd);
        // Another kind of object of that name (or another name of the same hash) holds the file.
        if (held != record)
            error = ERROR_INVALID_HANDLE;
    } else {
        existed = false;
        error = storeError(errno);
    }
    // Under the directory's lock nothing competes: this takes a share beside the other holders,
    // or turns the new object's exclusive lock into a shared one.
    if (!error && lockFile(fd, LOCK_SH) != 0)
        error = storeError(errno);
    if (error) {
        close(fd);
        return failWith(error);
    }
    HANDLE handle = layer::addHandle(std::make_unique<NamedObject>(kind, fd, storeName, file));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : 0);
    return handle;
}

HANDLE createObject(layer::HandleKind kind, LPCSTR lpName)
{
    // Without a name (NULL or empty) the object is the process's own.
    if (!lpName || !*lpName) {
        HANDLE handle = layer::addHandle(std::make_unique<layer::KernelObject>(kind));
        SetLastError(0);
        return handle;
    }
    return createObject(kind, std::string(lpName));
}

// Windows converts the name in the thread's static buffer of MAX_PATH + 1 wide characters.
bool nameTooLong(LPCSTR lpName)
{
    return lpName && strlen(lpName) > MAX_PATH;
}

} // namespace

std::string layer::objectStorePath()
{
    std::string name;
    return storeNameOfPrefix(name) == 0 ? storeRoot() + "/" + name : std::string();
}

// The program closes the handles it was given, never a pseudo handle of its process or thread:
// those are unknown handles here.
extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (!layer::closeHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount,
                                          LPCSTR lpName)
{
    // Windows measures the name first, then the counts, and only then looks at the name.
    if (nameTooLong(lpName))
        return failWith(ERROR_FILENAME_EXCED_RANGE);
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount)
        return failWith(ERROR_INVALID_PARAMETER);
    return createObject(layer::HandleKind::Semaphore, lpName);
}

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName)
{
    if (nameTooLong(lpName))
        return failWith(ERROR_FILENAME_EXCED_RANGE);
    return createObject(layer::HandleKind::Mutex, lpName);
}
