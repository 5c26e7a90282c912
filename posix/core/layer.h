// What the layer's API families share: the handle table, the reset hooks and a few helpers.
#ifndef POSIX_LAYER_H
#define POSIX_LAYER_H

#include <sys/stat.h>
#include <windows.h>

#include "seam.h"

#include <memory>
#include <string>

namespace layer {

// Kernel objects that a HANDLE may stand for. Closing the last handle destroys the object.
enum class HandleKind { Semaphore, Mutex, Process, Thread, File };

struct KernelObject {
    explicit KernelObject(HandleKind k) : kind(k) {}
    virtual ~KernelObject() = default;
    const HandleKind kind;
};

// Enters an object in the process's handle table and returns its handle (never NULL or
// INVALID_HANDLE_VALUE).
HANDLE addHandle(std::unique_ptr<KernelObject> object);
// The object behind a handle, or nullptr when the handle is not open.
KernelObject *findHandle(HANDLE handle);
// Removes the handle from the table and destroys its object; false when it was not open.
bool closeHandle(HANDLE handle);

// An ASCII letter in lower case; any other byte as it is (names are compared so, whatever the locale).
inline char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A text with its ASCII letters in lower case, as names are compared.
inline std::string lowerAscii(std::string text)
{
    for (char &c : text)
        c = lowerAscii(c);
    return text;
}

// Whether the mode bits of a file with the status `st` grant this process `access` (R_OK, W_OK or
// both), judged as for an ordinary user: the owner's bits for its owner, the group's for a member of
// its group, the others' for anyone else. Root is held to them too, so that the layer refuses what
// the same program run by anyone else would be refused.
bool modePermits(const struct stat &st, int access);

// The monotonic clock in milliseconds, for waits and intervals that a change of the wall clock must
// not stretch or cut short.
long long monotonicMilliseconds();

// The directory where the named objects of the current prefix are kept; "" when the prefix is
// missing.
std::string objectStorePath();

// The Win32 code of a failed system call's errno, as Wine maps it. ENOENT is ERROR_FILE_NOT_FOUND
// (the last component is missing); a caller that knows the missing part is a directory on the way
// answers ERROR_PATH_NOT_FOUND itself, as Windows does.
DWORD errorFromErrno(int error);

// Registers a routine that puts one family's state back as at process start; layerReset runs them.
struct ResetHook {
    explicit ResetHook(void (*fn)());
};
// Runs every reset hook and clears the last error: the layer as at process start, for the test
// kit's layerReset. Handles stay open.
void resetLayer();

// How the window system's terminal front end lends the terminal to a child process: CreateProcessA
// calls release before the child starts, and the wait that sees the child end calls reclaim.
// Either may be null (no front end is running).
struct TerminalHooks {
    void (*release)();
    void (*reclaim)();
};
extern TerminalHooks terminalHooks;

} // namespace layer

#endif
